// Builds a whole firmware image (64 blocks, 4 MiB) in memory: a boot block and the
// modules DIAG, OS, WEB, FPGA, CONFIG and SDK, each with a sound header and CRC, the
// rest of the flash erased (0xFF). A module can be left out, or have its data or its
// header damaged, so that the checks have something to refuse. The same bytes every
// time.
#pragma once

#include <vector>

#include "fmh.h"

enum IMG_MODULE_DAMAGE {
    IMG_DAMAGE_NONE = 0,
    IMG_DAMAGE_DATA,    // one data byte changed: the CRC no longer matches
    IMG_DAMAGE_HEADER,  // fmh_alloc_space changed: the header checksum no longer matches
    IMG_DAMAGE_OMIT,    // no header at all: the module is not found
};

struct IMG_LAYOUT_TAG {
    tag_FLASH_MODULE_NUMBERS module;
    unsigned firstBlock;
    unsigned numBlocks;
};

// Where BuildFirmwareImage puts each module, in block order, BOOT in block 0.
extern const IMG_LAYOUT_TAG kImageLayout[FLASH_MODULE_COUNT];

// damage[m] says what to do to module m (tag_FLASH_MODULE_NUMBERS).
std::vector<unsigned char> BuildFirmwareImage(const IMG_MODULE_DAMAGE (&damage)[FLASH_MODULE_COUNT]);
// A sound image.
std::vector<unsigned char> BuildFirmwareImage();
