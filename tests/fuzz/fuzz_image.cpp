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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    constexpr std::size_t kPiece = 64, kMaxBlocks = 4;
    if (size == 0) return 0;
    // One buffer for every input (its room kept): a new 256 KiB buffer per input costs
    // more than the checks.
    static std::vector<unsigned char> file;
    file.assign(data + 1, data + size);
    if ((data[0] & 1) == 0) {
        const std::size_t blocks = std::clamp<std::size_t>((size - 1 + kPiece - 1) / kPiece, 1, kMaxBlocks);
        file.assign(blocks * IMG_BLOCK_SIZE - (data[0] >> 1) * 509u, 0xFF);
        for (std::size_t i = 0, at = 1; i < blocks && at < size; ++i, at += kPiece)
            std::memcpy(file.data() + i * IMG_BLOCK_SIZE, data + at, std::min(kPiece, size - at));
    }
    FILE* fp = file.empty() ? nullptr : fmemopen(file.data(), file.size(), "r");
    if (fp == nullptr) return 0;
    if (const int image = VerifyImageFile(fp); image < 0 || image > 2) std::abort();
    for (const FLASH_MODULE_NAME_TAG& module : kFlashModules) {
        fmh header;
        long offset = 0;
        const int result = VerifySection(module.name, fp, &header, &offset);
        if (result < 0 || result > 2 || (result == 1) != (offset == -1)) std::abort();
        if (offset != -1 && (offset % IMG_BLOCK_SIZE != 0 || offset >= static_cast<long>(IMG_FILE_SIZE))) std::abort();
        if (result == 0 && header.fmh_used_space > IMG_FILE_SIZE - FMH_LEN - offset) std::abort();
    }
    if (const int verify = imgfile_verify_module(fp, data[0] * 4099L - 1); verify < 0 || verify > 2) std::abort();
    std::fclose(fp);
    return 0;
}
