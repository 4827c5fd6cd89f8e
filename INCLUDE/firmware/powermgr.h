// Host power control (command group 0x03) and the card's health readings (group 0x01).
#pragma once

#include <cstddef>
#include <cstdint>

// The power action, one byte.
inline constexpr uint8_t HOST_POWER_RESET = 1;
inline constexpr uint8_t HOST_POWER_DOWN = 2;
inline constexpr uint8_t HOST_POWER_UP = 3;
inline constexpr uint8_t HOST_POWER_CYCLE = 4;
inline constexpr std::size_t HOST_POWER_ACTION_LEN = 1;

// The health reply holds this many readings.
inline constexpr std::size_t X9_HEALTH_ENTRIES = 6;

#pragma pack(push, 1)
// One health reading. The six numbers are thousandths of the unit, unsigned and
// big-endian on the wire.
struct X9_HEALTH_INFO_tag {
    char paramName[64];
    char units[16];
    uint32_t value;
    uint32_t FatalLower;
    uint32_t WarningLower;
    uint32_t IdealValue;
    uint32_t WarningUpper;
    uint32_t FatalUpper;
    char status[32];
};
#pragma pack(pop)

static_assert(sizeof(X9_HEALTH_INFO_tag) == 136);
static_assert(offsetof(X9_HEALTH_INFO_tag, units) == 64);
static_assert(offsetof(X9_HEALTH_INFO_tag, value) == 80);
static_assert(offsetof(X9_HEALTH_INFO_tag, FatalLower) == 84);
static_assert(offsetof(X9_HEALTH_INFO_tag, FatalUpper) == 100);
static_assert(offsetof(X9_HEALTH_INFO_tag, status) == 104);
static_assert(sizeof(X9_HEALTH_INFO_tag) * X9_HEALTH_ENTRIES == 816);
