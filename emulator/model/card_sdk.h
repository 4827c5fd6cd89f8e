// The card's sensor tree as kelcard models it, and its stream (layouts in sdk.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kelcard::detail {

// How often the monitoring service reads each sensor.
inline constexpr uint32_t kSensorPeriodSeconds = 10;

// One hardware access (I2C or IPMI: the same layout).
struct SensorAccess {
    uint16_t flag = 0;
    uint8_t slaveAddress = 0;
    uint8_t opcode = 0;  // I2C opcode or IPMI sensor number
    uint16_t byteCount = 0;
    std::array<uint8_t, 4> data{};
    std::array<uint32_t, 3> operand{};
};

// One sensor (a subdivision): its reading in its unit (SDK_ACCESS_FAILED when the
// access failed) and its limits.
struct Sensor {
    std::string name;
    uint32_t id = 0;
    int32_t value = 0;
    uint8_t unit = 0;
    int32_t lowCritical = 0;
    int32_t highCritical = 0;
    int32_t lowWarning = 0;
    int32_t highWarning = 0;
    std::vector<SensorAccess> accesses;
};

struct SensorCategory {
    std::string name;
    uint32_t id = 0;
    std::vector<Sensor> sensors;
};

struct SensorTree {
    std::string className;
    std::vector<SensorAccess> inits;  // the initialisation accesses
    std::vector<SensorCategory> categories;
};

// The tree in the card's stream: head, initialisation accesses, categories, then each
// category's sensors followed by their accesses; every number big-endian, each link
// the offset of the item it announces (0 for none).
std::vector<uint8_t> SerializeSensorTree(const SensorTree& tree);
// The sensors kelcard watches when it starts: temperatures (one reading failed),
// voltages and a fan.
SensorTree DefaultSensorTree();

}  // namespace kelcard::detail
