// Firmware image files: the header checksum, the module search and the checks of one
// module and of a whole image, on images built in memory.
#include <gtest/gtest.h>

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

// Runs `check` on a read-only stream over `bytes` (an empty file for none).
long OnStream(const Bytes& bytes, const std::function<long(FILE*)>& check)
{
    FILE* fp = bytes.empty() ? std::tmpfile() : fmemopen(const_cast<unsigned char*>(bytes.data()), bytes.size(), "r");
    EXPECT_NE(fp, nullptr);
    const long result = check(fp);
    std::fclose(fp);
    return result;
}
long VerifyImage(const Bytes& bytes) { return OnStream(bytes, VerifyImageFile); }

long Find(const Bytes& bytes, const char* sig)
{
    const auto* s = reinterpret_cast<const unsigned char*>(sig);
    return OnStream(bytes, [s](FILE* fp) { return imgfile_find_module(fp, s, nullptr); });
}
long Section(const Bytes& bytes, const char* name, long& offset, fmh* header = nullptr)
{
    return OnStream(bytes, [&](FILE* fp) { return VerifySection(name, fp, header, &offset); });
}
std::size_t BlockOf(tag_FLASH_MODULE_NUMBERS module)
{
    for (const IMG_LAYOUT_TAG& at : kImageLayout)
        if (at.module == module) return at.firstBlock * IMG_BLOCK_SIZE;
    return 0;
}

TEST(HeaderChecksum, IsTheByteSumModulo100WithoutItsOwnByte)
{
    fmh h{};
    auto* bytes = reinterpret_cast<unsigned char*>(&h);
    bytes[0] = bytes[1] = bytes[2] = bytes[3] = 250, bytes[4] = 234;  // 1234
    h.fmh_header_cksum = 34;
    EXPECT_EQ(calc_header_cksum(bytes), 34);
    EXPECT_TRUE(fmh_header_cksum_valid(&h));
    h.fmh_header_cksum = 1234 % 256;  // a byte sum modulo 256 is not the checksum
    EXPECT_FALSE(fmh_header_cksum_valid(&h));
    EXPECT_FALSE(fmh_header_cksum_valid(nullptr));
    const unsigned char digits[] = "123456789";  // pieces carry the CRC of the whole
    EXPECT_EQ(ExtendCksum32(calc_cksum32(digits, 4), digits + 4, 5), 0xCBF43926u);
}

TEST(ImageBuilder, SoundImageVerifiesAndEachDamageIsRefusedWithItsCode)
{
    const struct {
        tag_FLASH_MODULE_NUMBERS module;
        IMG_MODULE_DAMAGE damage;
        long image, section;  // VerifyImageFile, VerifySection of the module
    } cases[] = {
        {FLASH_MODULE_WEB, IMG_DAMAGE_NONE, 0, 0},   {FLASH_MODULE_DIAG, IMG_DAMAGE_DATA, 2, 2},
        {FLASH_MODULE_OS, IMG_DAMAGE_HEADER, 2, 2},  {FLASH_MODULE_SDK, IMG_DAMAGE_OMIT, 1, 1},
        {FLASH_MODULE_BOOT, IMG_DAMAGE_OMIT, 0, 1},  {FLASH_MODULE_BOOT, IMG_DAMAGE_DATA, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(kFlashModules[c.module].name + std::to_string(c.damage));
        IMG_MODULE_DAMAGE all[FLASH_MODULE_COUNT] = {};
        all[c.module] = c.damage;
        const Bytes image = BuildFirmwareImage(all);
        ASSERT_EQ(image.size(), IMG_FILE_SIZE);
        EXPECT_EQ(VerifyImage(image), c.image);
        fmh header{};
        long offset = 0;
        EXPECT_EQ(Section(image, kFlashModules[c.module].name, offset, &header), c.section);
        EXPECT_EQ(offset, c.damage == IMG_DAMAGE_OMIT ? -1L : static_cast<long>(BlockOf(c.module)));
        if (c.damage == IMG_DAMAGE_NONE) { EXPECT_EQ(header.fmh_alloc_space, 16 * IMG_BLOCK_SIZE); }  // host order
    }
}

TEST(ModuleSearch, OnlyBlockStartsOfTheFlashAnyCaseTheFirstOfTwoAndNoUnknownName)
{
    Bytes image = BuildFirmwareImage();
    const std::size_t sdk = BlockOf(FLASH_MODULE_SDK), diag = BlockOf(FLASH_MODULE_DIAG);
    long offset = 0;
    EXPECT_EQ(Section(image, "config", offset), 0);
    std::memcpy(image.data() + BlockOf(FLASH_MODULE_OS) + 8, kUnknownModuleSig, FMH_SIG_LEN);
    EXPECT_EQ(Find(image, kUnknownModuleSig), -1);  // even where a block carries "UNKNOWN"
    EXPECT_EQ(Section(image, "XYZ", offset), 1);
    EXPECT_EQ(offset, -1);
    std::memcpy(image.data() + diag + 8, "$$SDKS$$", FMH_SIG_LEN);
    EXPECT_EQ(Find(image, "$$SDKS$$"), static_cast<long>(sdk));
    std::memmove(image.data() + sdk + 512, image.data() + sdk, FMH_LEN);  // off its block start
    std::memset(image.data() + sdk, 0xFF, 512);
    EXPECT_EQ(Find(image, "$$SDKS$$"), static_cast<long>(diag));
    // The last block of the flash is looked at too.
    std::memset(image.data() + diag + 8, 0xFF, FMH_SIG_LEN);
    std::memcpy(image.data() + 63 * IMG_BLOCK_SIZE + 8, "$$SDKS$$", FMH_SIG_LEN);
    EXPECT_EQ(Find(image, "$$SDKS$$"), 4128768L);
    // Past the 64 blocks of the flash nothing is looked for.
    Bytes longer = BuildFirmwareImage();
    longer.insert(longer.end(), longer.begin() + sdk, longer.begin() + sdk + IMG_BLOCK_SIZE);
    std::memset(longer.data() + sdk + 8, 0xFF, FMH_SIG_LEN);
    EXPECT_EQ(Find(longer, "$$SDKS$$"), -1);
    EXPECT_EQ(VerifyImage(longer), 1);
}

// A file of `fileLen` bytes starting with a CONFIG header for `used` bytes and `cksum`.
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

TEST(ModuleCheck, ShortFilesAndLengthsPastTheEndAreBounded)
{
    const struct {
        const char* name;
        Bytes file;
        long found, verify;  // imgfile_find_module, imgfile_verify_module at 0
    } cases[] = {
        {"empty file", {}, -1, 1},
        {"less than a header", OneModule(0, 0, FMH_LEN - 1), -1, 1},
        {"used space 0, CRC 0", OneModule(0, 0, FMH_LEN), 0, 0},
        {"used space 0, CRC 1", OneModule(0, 1, FMH_LEN), 0, 2},
        {"data cut short", OneModule(1000, 0, 500), 0, 2},
        {"used space past the flash", OneModule(0xFFFFFFFFu, 0, 4096), 0, 2},
        {"one byte past the flash", OneModule(IMG_FILE_SIZE - FMH_LEN + 1, 0, 4096), 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Find(c.file, "$$CONF$$"), c.found);
        EXPECT_EQ(OnStream(c.file, [](FILE* fp) { return imgfile_verify_module(fp, 0); }), c.verify);
        EXPECT_EQ(VerifyImage(c.file), 1);
    }
    for (long offset : {-1L, static_cast<long>(IMG_FILE_SIZE - FMH_LEN + 1), 1L})
        EXPECT_EQ(OnStream(BuildFirmwareImage(), [offset](FILE* fp) { return imgfile_verify_module(fp, offset); }), 1);
}

}  // namespace
