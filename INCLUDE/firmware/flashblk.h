// Flash blocks (0x0601 write, 0x0602 read) and module locations (0x0605): the card's
// flash is 64 blocks of 65536 bytes, block 0 the boot block. The numeric fields are
// big-endian on the wire; flashData and modName are never byte-swapped.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr uint32_t FLASH_BLOCK_LEN = 65536;
inline constexpr uint32_t FLASH_BLOCK_COUNT = 64;
inline constexpr std::size_t FLASH_MOD_NAME_LEN = 8;

#pragma pack(push, 1)
struct FLASH_BLOCK_RECORD {
    uint32_t blockNum;  // BE, 0..63
    uint32_t checkSum;  // BE, CRC-32 of the 65536 bytes of flashData
    int16_t status;     // BE, 0 in every request, not examined in replies
    unsigned char flashData[FLASH_BLOCK_LEN];
};

struct FLASH_MODULE_INFO {
    char modName[FLASH_MOD_NAME_LEN];  // module signature such as "$$CONF$$", no NUL
    uint32_t startAddr;                // BE, the module's start address in the flash
    uint32_t allocSpace;               // BE, bytes allocated to the module
    uint32_t usedSpace;                // BE, bytes the module uses
    uint16_t blockStart;               // BE, the module's first flash block
    uint16_t numBlocks;                // BE, flash blocks the module occupies
    uint16_t version;                  // BE, carried
};

struct FLASH_CHIP_INFO {
    uint32_t blockSize;
    uint32_t numberOfBlocks;
    char flashName[7];
};
#pragma pack(pop)

// What a block read request carries: the record without its data.
inline constexpr std::size_t FLASH_BLOCK_HEADER_LEN = 10;

static_assert(sizeof(FLASH_BLOCK_RECORD) == 65546);
static_assert(offsetof(FLASH_BLOCK_RECORD, checkSum) == 4);
static_assert(offsetof(FLASH_BLOCK_RECORD, status) == 8);
static_assert(offsetof(FLASH_BLOCK_RECORD, flashData) == FLASH_BLOCK_HEADER_LEN);
static_assert(sizeof(FLASH_MODULE_INFO) == 26);
static_assert(offsetof(FLASH_MODULE_INFO, startAddr) == 8);
static_assert(offsetof(FLASH_MODULE_INFO, allocSpace) == 12);
static_assert(offsetof(FLASH_MODULE_INFO, usedSpace) == 16);
static_assert(offsetof(FLASH_MODULE_INFO, blockStart) == 20);
static_assert(offsetof(FLASH_MODULE_INFO, numBlocks) == 22);
static_assert(offsetof(FLASH_MODULE_INFO, version) == 24);
static_assert(sizeof(FLASH_CHIP_INFO) == 15);
