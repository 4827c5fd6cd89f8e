// The firmware image: 64 blocks of 64 KiB, a byte-for-byte copy of the card's flash,
// and the 48-byte module header (`fmh`) at the start of each module's first block.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t IMG_BLOCK_SIZE = 65536;
inline constexpr std::size_t IMG_BLOCK_COUNT = 64;
inline constexpr std::size_t IMG_FILE_SIZE = IMG_BLOCK_SIZE * IMG_BLOCK_COUNT;  // 4 MiB
inline constexpr std::size_t FMH_LEN = 48;
inline constexpr std::size_t FMH_SIG_LEN = 8;

// All numbers are big-endian in the file and the flash; make_fmh_little_endian turns
// them to host order in place. The byte arrays and fmh_header_cksum are never turned.
#pragma pack(push, 1)
struct fmh {
    unsigned char fmh_signature[8];  // header signature, carried
    unsigned char fmh_mod_name[8];   // module signature ("$$CONF$$"), no NUL
    uint32_t fmh_alloc_space;        // flash bytes allocated to the module
    uint32_t fmh_used_space;         // data bytes after the header, covered by the CRC
    uint32_t fmh_load_addr;
    uint32_t fmh_module_cksum;       // CRC-32 of the fmh_used_space data bytes
    uint16_t fmh_flags;
    uint16_t fmh_version;
    uint16_t fmh_ext_dlen;
    unsigned char fmh_reserved[7];
    uint8_t fmh_header_cksum;        // byte sum of the other 47 bytes modulo 100
    uint16_t fmh_end_sig;            // carried
};
#pragma pack(pop)
static_assert(sizeof(fmh) == FMH_LEN, "fmh is 48 bytes");
static_assert(offsetof(fmh, fmh_mod_name) == 8);
static_assert(offsetof(fmh, fmh_alloc_space) == 16);
static_assert(offsetof(fmh, fmh_used_space) == 20);
static_assert(offsetof(fmh, fmh_module_cksum) == 28);
static_assert(offsetof(fmh, fmh_flags) == 32);
static_assert(offsetof(fmh, fmh_ext_dlen) == 36);
static_assert(offsetof(fmh, fmh_header_cksum) == 45);
static_assert(offsetof(fmh, fmh_end_sig) == 46);

enum tag_FLASH_MODULE_NUMBERS {
    FLASH_MODULE_DIAG = 0,
    FLASH_MODULE_OS = 1,
    FLASH_MODULE_WEB = 2,
    FLASH_MODULE_FPGA = 3,
    FLASH_MODULE_CONFIG = 4,
    FLASH_MODULE_SDK = 5,
    FLASH_MODULE_BOOT = 6,
    FLASH_MODULE_COUNT = 7,
};

struct FLASH_MODULE_NAME_TAG {
    const char* name;       // the name accepted on input, any case
    const char* signature;  // the eight bytes of fmh_mod_name
};

// Indexed by tag_FLASH_MODULE_NUMBERS.
inline constexpr FLASH_MODULE_NAME_TAG kFlashModules[FLASH_MODULE_COUNT] = {
    {"DIAG", "$$DIAG$$"}, {"OS", "$$$OS$$$"},     {"WEB", "$$WEBP$$"}, {"FPGA", "$$FPGA$$"},
    {"CONFIG", "$$CONF$$"}, {"SDK", "$$SDKS$$"}, {"BOOT", "$$BOOT$$"},
};

// The signature of a name that is no module's: "UNKNOWN" and a NUL; it matches nothing.
inline constexpr char kUnknownModuleSig[FMH_SIG_LEN] = {'U', 'N', 'K', 'N', 'O', 'W', 'N', '\0'};
