// Event-log records (command group 0x04, codes 0x0400 to 0x0408). Fields marked BE
// are big-endian on the wire.
#pragma once

#include <cstddef>
#include <cstdint>

// Severity bits of the event-type byte.
inline constexpr uint8_t SEL_SEVERITY_MONITOR = 0x01;
inline constexpr uint8_t SEL_SEVERITY_INFORMATION = 0x02;
inline constexpr uint8_t SEL_SEVERITY_RETURN_TO_OK = 0x04;
inline constexpr uint8_t SEL_SEVERITY_WARNING = 0x08;
inline constexpr uint8_t SEL_SEVERITY_CRITICAL = 0x10;
inline constexpr uint8_t SEL_SEVERITY_FATAL = 0x20;

// Operations the log supports (bmop_support).
inline constexpr uint8_t SEL_DEL_SUPPORT = 0x08;
inline constexpr uint8_t SEL_RES_SUPPORT = 0x02;
inline constexpr uint8_t SEL_ALLOC_INFO_SUPPORT = 0x01;

// Fill policy.
inline constexpr uint8_t SEL_POLICY_ROLLOVER = 1;
inline constexpr uint8_t SEL_POLICY_STOP = 2;

inline constexpr std::size_t SEL_EVENT_DATA_LEN = 32;
inline constexpr std::size_t SEL_EVENT_STRING_LEN = 256;

#pragma pack(push, 1)
struct BM_EVENT_TYPE {
    uint8_t monitor : 1;
    uint8_t information : 1;
    uint8_t return_to_ok : 1;
    uint8_t warning : 1;
    uint8_t critical : 1;
    uint8_t fatal : 1;
    uint8_t reserved : 2;
};

struct DUVX9_SEL_RECORD_TAG {
    uint16_t record_no;  // BE
    uint8_t record_type;
    uint32_t time;  // BE, seconds since 1970-01-01 00:00 UTC
    uint8_t manufacture_id1;
    uint8_t manufacture_id2;
    uint8_t manufacture_id3;
    uint16_t duvx9_event_id;  // BE: module number << 8 | event number
    union {
        uint8_t event_type;
        BM_EVENT_TYPE bm_event_type;
    } eventType;
    uint8_t value1;
    uint16_t value2;  // BE
    uint8_t event_data[SEL_EVENT_DATA_LEN];
};

struct EVENT_RECORD_EXT_tag {
    uint16_t record_no;  // BE
    uint8_t record_type;
    uint32_t time;  // BE
    uint8_t manufacture_id1;
    uint8_t manufacture_id2;
    uint8_t manufacture_id3;
    uint16_t duvx9_event_id;  // BE
    uint8_t event_type;
    uint8_t value1;
    uint16_t value2;  // BE
    uint8_t event_data[SEL_EVENT_DATA_LEN];
    char event_string[SEL_EVENT_STRING_LEN];
};

struct SEL_STATE_INFO_TAG {
    uint8_t bcdVersion;      // 0x51 is version 1.5
    uint16_t no_of_records;  // BE
    uint16_t free_space;     // BE, bytes
    uint32_t last_add_time;  // BE
    uint32_t last_del_time;  // BE
    uint8_t bmop_support;
};
#pragma pack(pop)

static_assert(sizeof(BM_EVENT_TYPE) == 1);
static_assert(sizeof(DUVX9_SEL_RECORD_TAG) == 48);
static_assert(offsetof(DUVX9_SEL_RECORD_TAG, time) == 3);
static_assert(offsetof(DUVX9_SEL_RECORD_TAG, manufacture_id1) == 7);
static_assert(offsetof(DUVX9_SEL_RECORD_TAG, duvx9_event_id) == 10);
static_assert(offsetof(DUVX9_SEL_RECORD_TAG, eventType) == 12);
static_assert(offsetof(DUVX9_SEL_RECORD_TAG, value2) == 14);
static_assert(offsetof(DUVX9_SEL_RECORD_TAG, event_data) == 16);
static_assert(sizeof(EVENT_RECORD_EXT_tag) == 304);
static_assert(offsetof(EVENT_RECORD_EXT_tag, event_type) == 12);
static_assert(offsetof(EVENT_RECORD_EXT_tag, event_string) == 48);
static_assert(sizeof(SEL_STATE_INFO_TAG) == 14);
static_assert(offsetof(SEL_STATE_INFO_TAG, no_of_records) == 1);
static_assert(offsetof(SEL_STATE_INFO_TAG, free_space) == 3);
static_assert(offsetof(SEL_STATE_INFO_TAG, last_add_time) == 5);
static_assert(offsetof(SEL_STATE_INFO_TAG, last_del_time) == 9);
static_assert(offsetof(SEL_STATE_INFO_TAG, bmop_support) == 13);
