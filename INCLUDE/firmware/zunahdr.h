// The ZUNA packet header and status codes, shared by the client and the card.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint8_t ZUNA_BYTE;
typedef uint16_t ZUNA_WORD;
typedef uint32_t ZUNA_DWORD;

#pragma pack(push, 1)
struct ZUNA_VER {
    ZUNA_BYTE bMajor;
    ZUNA_BYTE bMinor;
};

// 32 bytes; every multi-byte field is little-endian on the wire.
struct ZUNA_HEADER {
    unsigned char bSignature[8];  // "TAV U" AA 5A A5
    ZUNA_VER ZunaVersion;         // 0.4
    ZUNA_BYTE bHeaderLen;         // 32
    ZUNA_BYTE bChecksum;          // the 32 header bytes sum to 0 mod 256
    ZUNA_DWORD dwDataLen;
    ZUNA_WORD wVendorID;
    ZUNA_WORD wProductID;
    ZUNA_WORD wCommand;
    ZUNA_WORD wStatus;
    ZUNA_VER APIVersion;
    ZUNA_BYTE bOriginator;
    ZUNA_BYTE bClientData;
    unsigned char bReserved[4];
};
#pragma pack(pop)

static_assert(sizeof(ZUNA_VER) == 2);
static_assert(sizeof(ZUNA_HEADER) == 32);
static_assert(offsetof(ZUNA_HEADER, bHeaderLen) == 10);
static_assert(offsetof(ZUNA_HEADER, bChecksum) == 11);
static_assert(offsetof(ZUNA_HEADER, dwDataLen) == 12);
static_assert(offsetof(ZUNA_HEADER, wCommand) == 20);
static_assert(offsetof(ZUNA_HEADER, wStatus) == 22);
static_assert(offsetof(ZUNA_HEADER, APIVersion) == 24);
static_assert(offsetof(ZUNA_HEADER, bOriginator) == 26);

inline constexpr unsigned char ZUNA_SIGNATURE[8] = {0x54, 0x41, 0x56, 0x20, 0x55, 0xAA, 0x5A, 0xA5};
inline constexpr std::size_t ZUNA_SIGNATURE_LEN = 8;
inline constexpr std::size_t ZUNA_HEADER_LEN = 32;
inline constexpr std::size_t ZUNA_MAX_DATA_LEN = 66528;    // 0x103E0
inline constexpr std::size_t ZUNA_MAX_PACKET_LEN = 66560;  // 0x10400
inline constexpr ZUNA_BYTE ZUNA_VERSION_MAJOR = 0;
inline constexpr ZUNA_BYTE ZUNA_VERSION_MINOR = 4;
inline constexpr uint16_t ZUNA_TCP_PORT = 6577;

// Status of every card operation and of every reply (wStatus).
enum ZUNA_ERROR : int {
    ZUNA_E_SUCCESS = 0,
    ZUNA_E_AUTH = 1,
    ZUNA_E_NEEDAUTH = 2,
    ZUNA_E_BUSY = 3,
    ZUNA_E_AGAIN = 4,
    ZUNA_E_PERM = 5,
    ZUNA_E_CANCEL = 6,
    ZUNA_E_INTR = 7,
    ZUNA_E_ARG = 8,
    ZUNA_E_ARGCOUNT = 9,
    ZUNA_E_PROGRESS = 10,
    ZUNA_E_SHUTDOWN = 11,
    ZUNA_E_ACCESS = 12,
    ZUNA_E_HANDLE = 13,
    ZUNA_E_FILEOPEN = 14,
    ZUNA_E_EXIST = 15,
    ZUNA_E_NOEXIST = 16,
    ZUNA_E_MEMORY = 17,
    ZUNA_E_SPACE = 18,
    ZUNA_E_RDONLY = 19,
    ZUNA_E_NODEV = 20,
    ZUNA_E_IO = 21,
    ZUNA_E_FAULT = 22,
    ZUNA_E_NFILE = 23,
    ZUNA_E_TMOUT = 24,
    ZUNA_E_DEADLOCK = 25,
    ZUNA_E_RANGE = 26,
    ZUNA_E_NULL = 27,
    ZUNA_E_INVALID = 28,
    ZUNA_E_BUFFER = 29,
    ZUNA_E_GENERAL = 30,
    ZUNA_E_VERSION = 31,
    ZUNA_E_UNSUPPORTED = 32,
    ZUNA_E_CONNECTION = 33,
    ZUNA_E_CHECKSUM = 34,
    ZUNA_E_FILEREAD = 35,
    ZUNA_E_FILEWRITE = 36,
    ZUNA_E_LASTERR = 65535,
};
