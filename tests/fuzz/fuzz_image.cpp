// The image-file search and checks on any file content: the content as a file of its
// own, or its 64-byte pieces at the starts of up to four erased blocks (so headers land
// where the search looks) with the last block cut short. Every result is one the
// operations promise, and a module found lies on a block start of the flash.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imgver.h"

namespace {

constexpr std::size_t kPiece = 64;
constexpr std::size_t kMaxBlocks = 4;

std::vector<unsigned char> FileOf(const uint8_t* data, std::size_t size)
{
    if (data[0] & 1) return {data + 1, data + size};
    const std::size_t pieces = std::min((size - 1 + kPiece - 1) / kPiece, kMaxBlocks);
    std::vector<unsigned char> file(std::max<std::size_t>(pieces, 1) * IMG_BLOCK_SIZE, 0xFF);
    for (std::size_t i = 0; i < pieces; ++i)
        std::memcpy(file.data() + i * IMG_BLOCK_SIZE, data + 1 + i * kPiece, std::min(kPiece, size - 1 - i * kPiece));
    file.resize(file.size() - (data[0] >> 1) * 509u);
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    std::vector<unsigned char> file = FileOf(data, size);
    if (file.empty()) return 0;
    FILE* fp = fmemopen(file.data(), file.size(), "r");
    if (fp == nullptr) return 0;
    const int image = VerifyImageFile(fp);
    if (image < 0 || image > 2) std::abort();
    for (const FLASH_MODULE_NAME_TAG& module : kFlashModules) {
        fmh header;
        long offset = 0;
        const int result = VerifySection(module.name, fp, &header, &offset);
        if (result < 0 || result > 2 || (result == 1) != (offset == -1)) std::abort();
        if (offset != -1 && (offset % IMG_BLOCK_SIZE != 0 || offset >= static_cast<long>(IMG_FILE_SIZE))) std::abort();
        if (result == 0 && header.fmh_used_space > IMG_FILE_SIZE - FMH_LEN - offset) std::abort();
    }
    const int verify = imgfile_verify_module(fp, static_cast<long>(data[0]) * 4099 - 1);
    if (verify < 0 || verify > 2) std::abort();
    std::fclose(fp);
    return 0;
}
