// Inside the card model: the advanced settings (card_adv.cpp), the host's power and the
// card's health readings (card_power.cpp). Numbers in host order.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "adv.h"
#include "card_model.h"

namespace kelcard::detail {

// One modem port's settings.
struct ModemSettings {
    std::string baud;
    std::string initStr;
    std::string phoneNum;
};

// Part of the card's configuration (running and saved).
struct AdvancedSettings {
    std::array<ModemSettings, 2> modems{{{"57600", "ATZ", ""}, {"9600", "ATZ", ""}}};  // ttyS2, ttyS3
    std::string pppServerIp = "192.168.10.1";
    std::string pppClientIp = "192.168.10.2";
    uint8_t asrState = ASR_STATE_DISABLED;
    uint8_t asrMethod = ASR_METHOD_RESET;
    uint16_t asrDelay = ASR_MIN_DELAY;
    uint8_t i2cAddress = 0x42;
    bool bmcPresent = false;
    uint8_t bmcAddress = 0x20;
    bool ipmiPower = false;
    bool ipmiSensors = false;
    bool logIpmiEvents = false;
};

// One health reading, in thousandths of a volt.
struct HealthReading {
    const char* name;
    uint32_t value;
    uint32_t ideal;
};

// The host's power and the card's own readings; not configuration.
struct HostAndHealth {
    bool hostPowered = true;
    std::vector<HostPowerAction> powerLog;
    HostPowerHook powerHook;
    std::array<HealthReading, kHealthReadings> health{{
        {"Card 3.3V Supply", 3300, 3300},
        {"Card 5V Supply", 5000, 5000},
        {"Card 12V Supply", 12000, 12000},
        {"Card 2.5V Supply", 2500, 2500},
        {"Card 1.8V Core", 1800, 1800},
        {"Card Battery", 3000, 3000},
    }};
};

}  // namespace kelcard::detail
