// Firmware image files: the header checksum, the module search and the checks of one
// module and of a whole image, on images built in memory.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "cksum.h"
#include "imgbuild.h"
#include "imgver.h"
#include "x9endian.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Runs `check` on a read-only stream over `bytes` and returns its result.
long OnStream(const Bytes& bytes, const std::function<long(FILE*)>& check)
{
    FILE* fp = bytes.empty() ? std::tmpfile() : fmemopen(const_cast<unsigned char*>(bytes.data()), bytes.size(), "r");
    EXPECT_NE(fp, nullptr);
    const long result = check(fp);
    std::fclose(fp);
    return result;
}

int VerifyImage(const Bytes& bytes)
{
    return static_cast<int>(OnStream(bytes, [](FILE* fp) { return VerifyImageFile(fp); }));
}

long FindOffset(const Bytes& bytes, const char* sig)
{
    return OnStream(bytes, [sig](FILE* fp) {
        return imgfile_find_module(fp, reinterpret_cast<const unsigned char*>(sig), nullptr);
    });
}

std::size_t BlockOf(tag_FLASH_MODULE_NUMBERS module)
{
    for (const IMG_LAYOUT_TAG& at : kImageLayout)
        if (at.module == module) return at.firstBlock * IMG_BLOCK_SIZE;
    return 0;
}

Bytes Damaged(tag_FLASH_MODULE_NUMBERS module, IMG_MODULE_DAMAGE damage)
{
    IMG_MODULE_DAMAGE all[FLASH_MODULE_COUNT] = {};
    all[module] = damage;
    return BuildFirmwareImage(all);
}

TEST(HeaderChecksum, IsTheByteSumModulo100WithoutItsOwnByte)
{
    unsigned char header[FMH_LEN] = {};
    header[0] = 250, header[1] = 250, header[2] = 250, header[3] = 250, header[4] = 234;  // 1234
    header[45] = 99;  // not counted
    EXPECT_EQ(calc_header_cksum(header), 34);
    fmh h;
    std::memcpy(&h, header, FMH_LEN);
    h.fmh_header_cksum = 34;
    EXPECT_TRUE(fmh_header_cksum_valid(&h));
    h.fmh_header_cksum = 1234 % 256;  // a byte sum modulo 256 is not the checksum
    EXPECT_FALSE(fmh_header_cksum_valid(&h));
    EXPECT_FALSE(fmh_header_cksum_valid(nullptr));
}

TEST(Cksum32, PiecesCarryTheCrcOfTheWhole)
{
    const unsigned char digits[] = "123456789";
    EXPECT_EQ(ExtendCksum32(calc_cksum32(digits, 4), digits + 4, 5), 0xCBF43926u);
    EXPECT_EQ(calc_cksum32(digits, 0), 0u);
}

TEST(ModuleNames, AnyCaseMapsAndUnknownNamesMatchNothing)
{
    unsigned char sig[FMH_SIG_LEN];
    EXPECT_EQ(modulesigfromname("config", sig), 0);
    EXPECT_EQ(std::memcmp(sig, "$$CONF$$", FMH_SIG_LEN), 0);
    EXPECT_EQ(modulesigfromname("XYZ", sig), 1);
    EXPECT_EQ(std::memcmp(sig, kUnknownModuleSig, FMH_SIG_LEN), 0);
    // A block that carries "UNKNOWN" is still not found for an unknown name.
    Bytes image = BuildFirmwareImage();
    std::memcpy(image.data() + BlockOf(FLASH_MODULE_OS) + 8, kUnknownModuleSig, FMH_SIG_LEN);
    EXPECT_EQ(FindOffset(image, kUnknownModuleSig), -1);
    fmh header;
    long offset = 0;
    EXPECT_EQ(OnStream(image, [&](FILE* fp) { return VerifySection("XYZ", fp, &header, &offset); }), 1);
    EXPECT_EQ(offset, -1);
}

TEST(ImageBuilder, SoundImageVerifiesAndEachSectionIsWhereItWasPut)
{
    const Bytes image = BuildFirmwareImage();
    ASSERT_EQ(image.size(), IMG_FILE_SIZE);
    EXPECT_EQ(VerifyImage(image), 0);
    for (const IMG_LAYOUT_TAG& at : kImageLayout) {
        fmh header;
        long offset = -1;
        EXPECT_EQ(OnStream(image, [&](FILE* fp) {
                      return VerifySection(kFlashModules[at.module].name, fp, &header, &offset);
                  }), 0);
        EXPECT_EQ(offset, static_cast<long>(at.firstBlock * IMG_BLOCK_SIZE));
        EXPECT_EQ(header.fmh_alloc_space, at.numBlocks * IMG_BLOCK_SIZE);  // host order
    }
}

struct DamageCase {
    tag_FLASH_MODULE_NUMBERS module;
    IMG_MODULE_DAMAGE damage;
    int image;    // VerifyImageFile
    int section;  // VerifySection of the module
};

TEST(ImageBuilder, EachDamageIsRefusedWithItsCode)
{
    const DamageCase cases[] = {
        {FLASH_MODULE_DIAG, IMG_DAMAGE_DATA, 2, 2},    {FLASH_MODULE_OS, IMG_DAMAGE_HEADER, 2, 2},
        {FLASH_MODULE_SDK, IMG_DAMAGE_OMIT, 1, 1},     {FLASH_MODULE_CONFIG, IMG_DAMAGE_DATA, 2, 2},
        {FLASH_MODULE_BOOT, IMG_DAMAGE_OMIT, 0, 1},    {FLASH_MODULE_BOOT, IMG_DAMAGE_DATA, 0, 2},
    };
    for (const DamageCase& c : cases) {
        const Bytes image = Damaged(c.module, c.damage);
        SCOPED_TRACE(kFlashModules[c.module].name + std::to_string(c.damage));
        EXPECT_EQ(VerifyImage(image), c.image);
        long offset = 0;
        EXPECT_EQ(OnStream(image, [&](FILE* fp) {
                      return VerifySection(kFlashModules[c.module].name, fp, nullptr, &offset);
                  }), c.section);
    }
}

TEST(ModuleSearch, OnlyBlockStartsOfTheFlashAndTheFirstOfTwoWins)
{
    Bytes image = BuildFirmwareImage();
    const std::size_t sdk = BlockOf(FLASH_MODULE_SDK);
    // A second SDK header in a later block: the first one is used.
    std::memcpy(image.data() + BlockOf(FLASH_MODULE_DIAG) + 8, "$$SDKS$$", FMH_SIG_LEN);
    EXPECT_EQ(FindOffset(image, "$$SDKS$$"), static_cast<long>(sdk));
    // Moved off its block start, the SDK header is not found.
    std::memmove(image.data() + sdk + 512, image.data() + sdk, FMH_LEN);
    std::memset(image.data() + sdk, 0xFF, 512);
    EXPECT_EQ(FindOffset(image, "$$SDKS$$"), static_cast<long>(BlockOf(FLASH_MODULE_DIAG)));
    // Past the 64 blocks of the flash nothing is looked for.
    Bytes longer = BuildFirmwareImage();
    std::memset(longer.data() + BlockOf(FLASH_MODULE_SDK) + 8, 0xFF, FMH_SIG_LEN);
    longer.resize(IMG_FILE_SIZE + IMG_BLOCK_SIZE, 0xFF);
    std::memcpy(longer.data() + IMG_FILE_SIZE, BuildFirmwareImage().data() + sdk, IMG_BLOCK_SIZE);
    EXPECT_EQ(FindOffset(longer, "$$SDKS$$"), -1);
    EXPECT_EQ(VerifyImage(longer), 1);
}

// A one-block file holding one module of `used` bytes whose header says `cksum`.
Bytes OneModule(uint32_t used, uint32_t cksum, std::size_t fileLen)
{
    Bytes file(FMH_LEN, 0x5A);
    std::memcpy(file.data() + 8, "$$CONF$$", FMH_SIG_LEN);
    PutBe32(file.data() + offsetof(fmh, fmh_used_space), used);
    PutBe32(file.data() + offsetof(fmh, fmh_module_cksum), cksum);
    file[offsetof(fmh, fmh_header_cksum)] = calc_header_cksum(file.data());
    file.resize(fileLen, 0x5A);
    return file;
}

struct ShortCase {
    const char* name;
    Bytes file;
    long found;  // imgfile_find_module
    int verify;  // imgfile_verify_module at 0
};

TEST(ModuleCheck, ShortFilesAndLengthsPastTheEndAreBounded)
{
    const ShortCase cases[] = {
        {"empty file", {}, -1, 1},
        {"less than a header", OneModule(0, 0, FMH_LEN - 1), -1, 1},
        {"used space 0, CRC 0", OneModule(0, 0, FMH_LEN), 0, 0},
        {"used space 0, CRC 1", OneModule(0, 1, FMH_LEN), 0, 2},
        {"data cut short", OneModule(1000, 0, 500), 0, 2},
        {"used space past the flash", OneModule(0xFFFFFFFFu, 0, 4096), 0, 2},
        {"used space to the flash's end", OneModule(IMG_FILE_SIZE - FMH_LEN + 1, 0, 4096), 0, 2},
    };
    for (const ShortCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FindOffset(c.file, "$$CONF$$"), c.found);
        EXPECT_EQ(OnStream(c.file, [](FILE* fp) { return imgfile_verify_module(fp, 0); }), c.verify);
        EXPECT_EQ(VerifyImage(c.file), 1);
    }
    const Bytes image = BuildFirmwareImage();
    for (long offset : {-1L, static_cast<long>(IMG_FILE_SIZE - FMH_LEN + 1), 1L})
        EXPECT_EQ(OnStream(image, [offset](FILE* fp) { return imgfile_verify_module(fp, offset); }), 1);
}

}  // namespace
