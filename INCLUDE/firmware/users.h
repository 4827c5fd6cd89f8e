// User and SNMP-user records (command group 0x05). Texts are NUL-terminated in their
// fields; the bytes after the terminator are zero.
#pragma once

#include <array>
#include <cstddef>

inline constexpr std::size_t USER_TEXT_LEN = 32;          // names, passwords, protocol words
inline constexpr std::size_t SNMP_LIST_PROTOCOL_LEN = 8;  // a protocol word in the SNMP list
// The most list data a client takes in: 256 entries of 0x0502, 204 of 0x0507.
inline constexpr std::size_t USER_LIST_MAX_LEN = 16384;

#pragma pack(push, 1)
// Data of 0x0500 (add) and 0x0501 (remove: only username counts).
struct ZUNA_API_USER_REC {
    char username[USER_TEXT_LEN];
    char password[USER_TEXT_LEN];  // in clear text
};

// Data of 0x0506. authPro "MD5" or "SHA", privPro "DES" or "NONE".
struct ZUNA_API_SNMP_USER_REC {
    char name[USER_TEXT_LEN];
    char authPro[USER_TEXT_LEN];
    char privPro[USER_TEXT_LEN];
    char pass[USER_TEXT_LEN];  // in clear text
};
#pragma pack(pop)

static_assert(sizeof(ZUNA_API_USER_REC) == 64);
static_assert(offsetof(ZUNA_API_USER_REC, password) == 32);
static_assert(sizeof(ZUNA_API_SNMP_USER_REC) == 128);
static_assert(offsetof(ZUNA_API_SNMP_USER_REC, authPro) == 32);
static_assert(offsetof(ZUNA_API_SNMP_USER_REC, privPro) == 64);
static_assert(offsetof(ZUNA_API_SNMP_USER_REC, pass) == 96);

// The list replies are columns, not records: for N entries, N fields of the first
// column, then N of the second, and so on; N is the reply's length divided by the
// sum of the widths (a shorter tail is no entry).
//   0x0503: names.   0x0502: names, passwords.
//   0x0507: names, passwords, authentication words (8 bytes), privacy words (8 bytes).
inline constexpr std::array<std::size_t, 1> USER_NAME_LIST_COLUMNS = {USER_TEXT_LEN};
inline constexpr std::array<std::size_t, 2> USER_LIST_COLUMNS = {USER_TEXT_LEN, USER_TEXT_LEN};
inline constexpr std::array<std::size_t, 4> SNMP_USER_LIST_COLUMNS = {USER_TEXT_LEN, USER_TEXT_LEN,
                                                                      SNMP_LIST_PROTOCOL_LEN, SNMP_LIST_PROTOCOL_LEN};

// The bytes of one entry: the sum of the column widths.
template <std::size_t N>
constexpr std::size_t ListEntryLen(const std::array<std::size_t, N>& columns)
{
    std::size_t len = 0;
    for (std::size_t width : columns) len += width;
    return len;
}

// Where field `column` of entry `index` lies in a list of `count` entries.
template <std::size_t N>
constexpr std::size_t ListFieldOffset(const std::array<std::size_t, N>& columns, std::size_t count,
                                      std::size_t column, std::size_t index)
{
    std::size_t offset = 0;
    for (std::size_t c = 0; c < column; ++c) offset += count * columns[c];
    return offset + index * columns[column];
}

static_assert(ListEntryLen(USER_LIST_COLUMNS) == 64);
static_assert(ListEntryLen(SNMP_USER_LIST_COLUMNS) == 80);
static_assert(ListFieldOffset(SNMP_USER_LIST_COLUMNS, 2, 2, 1) == 136);
static_assert(ListFieldOffset(SNMP_USER_LIST_COLUMNS, 2, 3, 0) == 144);
