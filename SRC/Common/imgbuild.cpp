// A firmware image built in memory, sound or damaged on purpose.
#include "imgbuild.h"

#include <cstddef>
#include <cstring>

#include "cksum.h"
#include "x9endian.h"

const IMG_LAYOUT_TAG kImageLayout[FLASH_MODULE_COUNT] = {
    {FLASH_MODULE_BOOT, 0, 1},  {FLASH_MODULE_CONFIG, 1, 2}, {FLASH_MODULE_OS, 3, 32},
    {FLASH_MODULE_WEB, 35, 16}, {FLASH_MODULE_FPGA, 51, 4},  {FLASH_MODULE_SDK, 55, 4},
    {FLASH_MODULE_DIAG, 59, 5},
};

namespace {

constexpr unsigned char kErased = 0xFF;
constexpr char kHeaderSignature[FMH_SIG_LEN] = {'K', 'E', 'L', 'F', 'M', 'H', '0', '1'};
constexpr uint16_t kEndSignature = 0x55AA;
constexpr uint16_t kVersion = 0x0104;

// The module's data: a fixed pseudo-random sequence (xorshift), different per module.
void FillData(unsigned char* data, std::size_t len, uint32_t seed)
{
    uint32_t x = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < len; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        data[i] = static_cast<unsigned char>(x);
    }
}

void PutModule(unsigned char* block, const IMG_LAYOUT_TAG& at, IMG_MODULE_DAMAGE damage)
{
    if (damage == IMG_DAMAGE_OMIT) return;
    const uint32_t alloc = static_cast<uint32_t>(at.numBlocks * IMG_BLOCK_SIZE);
    const uint32_t moduleNumber = static_cast<uint32_t>(at.module) + 1;  // 1 to FLASH_MODULE_COUNT
    // Three quarters of the allocation used, less an odd tail so that the last piece is short.
    const uint32_t used = alloc / 4 * 3 - static_cast<uint32_t>(FMH_LEN) - 13 * moduleNumber;
    unsigned char* data = block + FMH_LEN;
    FillData(data, used, moduleNumber);

    std::memcpy(block, kHeaderSignature, FMH_SIG_LEN);
    std::memcpy(block + offsetof(fmh, fmh_mod_name), kFlashModules[at.module].signature, FMH_SIG_LEN);
    PutBe32(block + offsetof(fmh, fmh_alloc_space), alloc);
    PutBe32(block + offsetof(fmh, fmh_used_space), used);
    PutBe32(block + offsetof(fmh, fmh_load_addr), static_cast<uint32_t>(at.firstBlock * IMG_BLOCK_SIZE));
    PutBe32(block + offsetof(fmh, fmh_module_cksum), calc_cksum32(data, used));
    PutBe16(block + offsetof(fmh, fmh_flags), 0);
    PutBe16(block + offsetof(fmh, fmh_version), kVersion);
    PutBe16(block + offsetof(fmh, fmh_ext_dlen), 0);
    std::memset(block + offsetof(fmh, fmh_reserved), 0, sizeof(fmh::fmh_reserved));
    PutBe16(block + offsetof(fmh, fmh_end_sig), kEndSignature);
    block[offsetof(fmh, fmh_header_cksum)] = calc_header_cksum(block);

    if (damage == IMG_DAMAGE_DATA) data[used / 2] ^= 0x01;
    if (damage == IMG_DAMAGE_HEADER) block[offsetof(fmh, fmh_alloc_space) + 3] ^= 0x01;
}

}  // namespace

std::vector<unsigned char> BuildFirmwareImage(const IMG_MODULE_DAMAGE (&damage)[FLASH_MODULE_COUNT])
{
    std::vector<unsigned char> image(IMG_FILE_SIZE, kErased);
    for (const IMG_LAYOUT_TAG& at : kImageLayout)
        PutModule(image.data() + at.firstBlock * IMG_BLOCK_SIZE, at, damage[at.module]);
    return image;
}

std::vector<unsigned char> BuildFirmwareImage()
{
    const IMG_MODULE_DAMAGE none[FLASH_MODULE_COUNT] = {};
    return BuildFirmwareImage(none);
}
