// Network and MAC-address records (command groups 0x07 and 0x08). Every field is a
// NUL-terminated text; addresses are dotted IPv4 text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

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

// Text form of `count` address bytes: upper-case hex pairs separated by ':' and a NUL
// (six bytes give 17 characters, 00:2A:3B:4C:5D:1D). dest must hold 3 * count bytes.
inline void form_mac_string(unsigned char* dest, const unsigned char* bytes, int count)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    unsigned char* p = dest;
    for (int i = 0; i < count; ++i) {
        *p++ = static_cast<unsigned char>(kDigits[bytes[i] >> 4]);
        *p++ = static_cast<unsigned char>(kDigits[bytes[i] & 0x0F]);
        if (i + 1 < count) *p++ = ':';
    }
    *p = '\0';
}

// The value of one hexadecimal digit of either case, or -1.
inline int HexDigitValue(unsigned char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the six hex pairs of a MAC text at positions 0, 3, ..., 15 into mac. With
// `separators`, each of the first five pairs must be followed by ':'; without, the
// characters between pairs are not examined. What follows the sixth pair is not
// examined. A text that ends (NUL) before the sixth pair is never read past its end.
// False, with mac untouched, when a pair or separator is wrong.
inline bool ParseMacPairs(const char* text, unsigned char (&mac)[MAC_ADDRESS_LEN], bool separators)
{
    unsigned char bytes[MAC_ADDRESS_LEN];
    for (std::size_t i = 0; i < MAC_ADDRESS_LEN; ++i) {
        const auto* pair = reinterpret_cast<const unsigned char*>(text) + 3 * i;
        const int high = HexDigitValue(pair[0]);
        const int low = high < 0 ? -1 : HexDigitValue(pair[1]);  // a NUL stops the reading
        if (low < 0) return false;
        bytes[i] = static_cast<unsigned char>(high << 4 | low);
        if (i + 1 < MAC_ADDRESS_LEN && (separators ? pair[2] != ':' : pair[2] == '\0')) return false;
    }
    for (std::size_t i = 0; i < MAC_ADDRESS_LEN; ++i) mac[i] = bytes[i];
    return true;
}

// Strict dotted-decimal IPv4: four numbers 0 to 255 joined by '.', each of one to three
// digits without a leading zero, and nothing else ("010.0.0.5", "1.2.3", "2130706433"
// and "1.2.3.4 " are refused). The address in host order (10.0.0.5 is 0x0A000005).
inline std::optional<uint32_t> ParseDottedIPv4(const char* text, std::size_t len)
{
    uint32_t address = 0;
    std::size_t pos = 0;
    for (int group = 0; group < 4; ++group) {
        if (group > 0) {
            if (pos >= len || text[pos] != '.') return std::nullopt;
            ++pos;
        }
        const std::size_t start = pos;
        uint32_t value = 0;
        while (pos < len && pos - start < 3 && text[pos] >= '0' && text[pos] <= '9')
            value = value * 10 + static_cast<uint32_t>(text[pos++] - '0');
        const std::size_t digits = pos - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return std::nullopt;
        address = (address << 8) | value;
    }
    if (pos != len) return std::nullopt;
    return address;
}
