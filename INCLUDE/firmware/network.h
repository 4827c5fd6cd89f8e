// Network and MAC-address records (command groups 0x07 and 0x08). Every field is a
// NUL-terminated text; addresses are dotted IPv4 text.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t NETWORK_FIELD_LEN = 32;
inline constexpr std::size_t MAC_ADDRESS_LEN = 6;
inline constexpr std::size_t MAC_WRITE_LEN = 7;        // six bytes and the check byte
inline constexpr std::size_t MAC_TEXT_LEN = 18;        // "00:2A:3B:4C:5D:1D" and its NUL

#pragma pack(push, 1)
struct ZUNA_API_GET_NETWORK_CFG_REC {
    char configuration_method[32];
    char network_link[32];  // empty when the interface is not up
    char mac_address[32];
    char ip_address[32];
    char broadcast[32];
    char netmask[32];
    char gateway[32];
};

struct ZUNA_API_SET_NETWORK_CFG_REC {
    char ip_address[32];
    char netmask[32];
    char gateway[32];
};
#pragma pack(pop)

static_assert(sizeof(ZUNA_API_GET_NETWORK_CFG_REC) == 224);
static_assert(offsetof(ZUNA_API_GET_NETWORK_CFG_REC, network_link) == 32);
static_assert(offsetof(ZUNA_API_GET_NETWORK_CFG_REC, ip_address) == 96);
static_assert(offsetof(ZUNA_API_GET_NETWORK_CFG_REC, gateway) == 192);
static_assert(sizeof(ZUNA_API_SET_NETWORK_CFG_REC) == 96);
static_assert(offsetof(ZUNA_API_SET_NETWORK_CFG_REC, gateway) == 64);

// The check byte of a MAC write: the byte sum modulo 100 (not 256).
inline unsigned char calc_chksum(const unsigned char* bytes, int count)
{
    uint32_t sum = 0;
    for (int i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<unsigned char>(sum % 100);
}
