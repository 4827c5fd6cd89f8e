// Firmware image files: the module table, the module search and the module and
// whole-image checks.
#include "imgver.h"

#include <cstddef>
#include <cstring>
#include <initializer_list>

#include <strings.h>

#include "cksum.h"
#include "x9endian.h"

namespace {

// The order of the whole-image check: every module but BOOT.
constexpr tag_FLASH_MODULE_NUMBERS kCheckedModules[] = {
    FLASH_MODULE_DIAG, FLASH_MODULE_OS, FLASH_MODULE_WEB, FLASH_MODULE_FPGA, FLASH_MODULE_CONFIG, FLASH_MODULE_SDK,
};

// The scratch block through which the file is read; one per operation on the stack,
// so the operations stay reentrant and allocate nothing.
struct ImgScratch {
    unsigned char gTempBuff[IMG_BLOCK_SIZE];
};

long FindModule(FILE* fp, const unsigned char sig[FMH_SIG_LEN], fmh* header, ImgScratch& scratch)
{
    if (fp == nullptr || sig == nullptr || std::memcmp(sig, kUnknownModuleSig, FMH_SIG_LEN) == 0) return -1;
    std::rewind(fp);
    unsigned char* const buf = scratch.gTempBuff;
    for (std::size_t block = 0; block < IMG_BLOCK_COUNT; ++block) {
        const std::size_t got = std::fread(buf, 1, IMG_BLOCK_SIZE, fp);
        if (got < FMH_LEN) return -1;  // the file ends before this block could hold a header
        if (std::memcmp(buf + offsetof(fmh, fmh_mod_name), sig, FMH_SIG_LEN) == 0) {
            if (header != nullptr) {
                std::memcpy(header, buf, FMH_LEN);
                make_fmh_little_endian(header);
            }
            return static_cast<long>(block * IMG_BLOCK_SIZE);
        }
        if (got < IMG_BLOCK_SIZE) return -1;
    }
    return -1;
}

int VerifyModule(FILE* fp, long offset, ImgScratch& scratch)
{
    constexpr long kLastHeader = static_cast<long>(IMG_FILE_SIZE - FMH_LEN);
    if (fp == nullptr || offset < 0 || offset > kLastHeader) return IMG_VERIFY_HEADER;
    fmh header;
    if (std::fseek(fp, offset, SEEK_SET) != 0 || std::fread(&header, 1, FMH_LEN, fp) != FMH_LEN)
        return IMG_VERIFY_HEADER;
    make_fmh_little_endian(&header);
    if (!fmh_header_cksum_valid(&header)) return IMG_VERIFY_HEADER;

    // The data must end inside the flash; the stream's position is already offset + 48.
    unsigned long remaining = header.fmh_used_space;
    if (remaining > static_cast<unsigned long>(kLastHeader - offset)) return IMG_VERIFY_FAILED;
    uint32_t crc = 0;
    while (remaining > 0) {
        const std::size_t want = remaining < IMG_BLOCK_SIZE ? remaining : IMG_BLOCK_SIZE;
        if (std::fread(scratch.gTempBuff, 1, want, fp) != want) return IMG_VERIFY_FAILED;  // cut short
        crc = ExtendCksum32(crc, scratch.gTempBuff, want);
        remaining -= want;
    }
    return crc == header.fmh_module_cksum ? IMG_VERIFY_OK : IMG_VERIFY_FAILED;
}

int VerifyNamed(const char* name, FILE* fp, fmh* header, long* offset, ImgScratch& scratch)
{
    unsigned char sig[FMH_SIG_LEN];
    fmh found;
    const long at = modulesigfromname(name, sig) == 0 ? FindModule(fp, sig, &found, scratch) : -1;
    if (offset != nullptr) *offset = at;
    if (at < 0) return IMG_VERIFY_MISSING;
    if (header != nullptr) *header = found;
    return VerifyModule(fp, at, scratch) == IMG_VERIFY_OK ? IMG_VERIFY_OK : IMG_VERIFY_FAILED;
}

}  // namespace

void make_fmh_little_endian(fmh* header)
{
    if (header == nullptr) return;
    for (std::size_t at : {offsetof(fmh, fmh_alloc_space), offsetof(fmh, fmh_used_space),
                           offsetof(fmh, fmh_load_addr), offsetof(fmh, fmh_module_cksum)})
        FixBe32InPlace(header, at);
    for (std::size_t at : {offsetof(fmh, fmh_flags), offsetof(fmh, fmh_version), offsetof(fmh, fmh_ext_dlen),
                           offsetof(fmh, fmh_end_sig)})
        FixBe16InPlace(header, at);
}

int modulesigfromname(const char* name, unsigned char sig[FMH_SIG_LEN])
{
    for (const FLASH_MODULE_NAME_TAG& module : kFlashModules) {
        if (name != nullptr && strcasecmp(name, module.name) == 0) {
            std::memcpy(sig, module.signature, FMH_SIG_LEN);
            return 0;
        }
    }
    std::memcpy(sig, kUnknownModuleSig, FMH_SIG_LEN);
    return 1;
}

long imgfile_find_module(FILE* fp, const unsigned char sig[FMH_SIG_LEN], fmh* header)
{
    ImgScratch scratch;
    return FindModule(fp, sig, header, scratch);
}

int imgfile_verify_module(FILE* fp, long offset)
{
    ImgScratch scratch;
    return VerifyModule(fp, offset, scratch);
}

int VerifyImageFile(FILE* fp)
{
    ImgScratch scratch;
    for (tag_FLASH_MODULE_NUMBERS module : kCheckedModules) {
        const int result = VerifyNamed(kFlashModules[module].name, fp, nullptr, nullptr, scratch);
        if (result != IMG_VERIFY_OK) return result;
    }
    return IMG_VERIFY_OK;
}

int VerifySection(const char* name, FILE* fp, fmh* header, long* offset)
{
    ImgScratch scratch;
    return VerifyNamed(name, fp, header, offset, scratch);
}

bool fmh_header_cksum_valid(const fmh* header)
{
    if (header == nullptr) return false;
    return calc_header_cksum(reinterpret_cast<const unsigned char*>(header)) == header->fmh_header_cksum;
}
