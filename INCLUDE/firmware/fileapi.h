// File fragments (commands 0x060A and 0x060B): a file travels between the host and the
// card's file system in fragments of at most 65536 bytes, one record per fragment.
// The four numeric fields are big-endian on the wire; fileData is never byte-swapped.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t FILE_NAME_LEN = 80;  // a card path of at most 79 characters and its NUL
inline constexpr uint32_t FILE_FRAGMENT_LEN = 65536;
// Fragment k holds the file's bytes from k * FILE_FRAGMENT_LEN on; packetNum is 16 bits.
inline constexpr uint32_t FILE_MAX_FRAGMENTS = 65536;

// Fragment status. Upload: 6 for a fragment of a full 65536 bytes, else 5. Download:
// the host asks with 5, the card marks the file's last fragment with 6.
inline constexpr uint16_t FILE_FRAGMENT_PARTIAL = 5;
inline constexpr uint16_t FILE_FRAGMENT_FULL = 6;
inline constexpr uint16_t FILE_FRAGMENT_LAST = 6;

#pragma pack(push, 1)
struct FILE_API_RECORD {
    char filename[FILE_NAME_LEN];  // NUL-terminated path on the card
    uint16_t packetNum;            // BE, fragment number from 0
    uint32_t dataLength;           // BE, valid bytes in fileData, 0..65536
    uint16_t status;               // BE, fragment status (above)
    uint32_t checkSum;             // BE, CRC-32 of the first dataLength bytes of fileData
    unsigned char fileData[FILE_FRAGMENT_LEN];
};
#pragma pack(pop)

// What a download request carries: the record without its data.
inline constexpr std::size_t FILE_API_HEADER_LEN = 92;

static_assert(sizeof(FILE_API_RECORD) == 65628);
static_assert(offsetof(FILE_API_RECORD, packetNum) == 80);
static_assert(offsetof(FILE_API_RECORD, dataLength) == 82);
static_assert(offsetof(FILE_API_RECORD, status) == 86);
static_assert(offsetof(FILE_API_RECORD, checkSum) == 88);
static_assert(offsetof(FILE_API_RECORD, fileData) == FILE_API_HEADER_LEN);
