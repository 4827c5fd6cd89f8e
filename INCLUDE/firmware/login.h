// Login records (command group 0x00).
#pragma once

#include <cstddef>

inline constexpr std::size_t ZUNA_CHALLENGE_LEN = 8;
inline constexpr std::size_t ZUNA_LOGIN_FIELD_LEN = 32;  // user name / password fields
inline constexpr std::size_t ZUNA_LOGIN_MAX_TEXT = ZUNA_LOGIN_FIELD_LEN - 1;

#pragma pack(push, 1)
// Data of command 0x0002: the user name as text, the MD5 digest of
// password + challenge in password[0..15] (binary), password[16..31] zero.
struct CONN_LOGIN_DATA {
    char username[32];
    char password[32];
    char challenge[8];
};
#pragma pack(pop)

static_assert(sizeof(CONN_LOGIN_DATA) == 72);
static_assert(offsetof(CONN_LOGIN_DATA, password) == 32);
static_assert(offsetof(CONN_LOGIN_DATA, challenge) == 64);
