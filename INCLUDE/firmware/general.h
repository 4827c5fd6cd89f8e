// General-group records (command group 0x09 and the card mode of group 0x06).
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t CARD_NAME_LEN = 256;

#pragma pack(push, 1)
struct STRUCT_FW_INFO {
    char fwVersion[80];
    char fwBuildDate[80];
};

struct SERVER_INFO_STRUCT_tag {
    char serverName[32];
    char serverLocation[32];
    char serverOs[32];
    char serverDescription[56];
};

struct SMTP_CONFIG_INFO_tag {
    char server1[16];
    char mailId1[256];
    char server2[16];
    char mailId2[256];
};

// epochtime is big-endian on the wire.
struct X9_TIME_STRUCT_tag {
    char rollback;
    uint32_t epochtime;
};
#pragma pack(pop)

static_assert(sizeof(STRUCT_FW_INFO) == 160);
static_assert(offsetof(STRUCT_FW_INFO, fwBuildDate) == 80);
static_assert(sizeof(SERVER_INFO_STRUCT_tag) == 152);
static_assert(offsetof(SERVER_INFO_STRUCT_tag, serverOs) == 64);
static_assert(offsetof(SERVER_INFO_STRUCT_tag, serverDescription) == 96);
static_assert(sizeof(SMTP_CONFIG_INFO_tag) == 544);
static_assert(offsetof(SMTP_CONFIG_INFO_tag, mailId1) == 16);
static_assert(offsetof(SMTP_CONFIG_INFO_tag, server2) == 272);
static_assert(offsetof(SMTP_CONFIG_INFO_tag, mailId2) == 288);
static_assert(sizeof(X9_TIME_STRUCT_tag) == 5);
static_assert(offsetof(X9_TIME_STRUCT_tag, epochtime) == 1);
