// Advanced-settings records (command group 0x0C): the PPP link's addresses, the modem
// ports, automatic server recovery (ASR), the card's I2C slave address and its work
// with the host's baseboard management controller (BMC) over IPMI. Texts are
// NUL-terminated in their fields.
#pragma once

#include <cstddef>
#include <cstdint>

// The modem ports the card has.
inline constexpr const char* MODEM_PORT_1 = "ttyS2";
inline constexpr const char* MODEM_PORT_2 = "ttyS3";
// The longest modem texts the card takes (their fields hold a NUL more, and some spare).
inline constexpr std::size_t MODEM_INIT_STR_MAX = 60;
inline constexpr std::size_t MODEM_PHONE_NUM_MAX = 30;

// ASR settings.
inline constexpr uint8_t ASR_STATE_ENABLED = 1;
inline constexpr uint8_t ASR_STATE_DISABLED = 2;
inline constexpr uint8_t ASR_METHOD_POWER_CYCLE = 1;
inline constexpr uint8_t ASR_METHOD_RESET = 2;
inline constexpr uint16_t ASR_MIN_DELAY = 240;  // seconds

// The I2C slave address travels as one byte.
inline constexpr std::size_t I2C_ADDRESS_LEN = 1;

#pragma pack(push, 1)
// The server and the client address of the PPP link, dotted IPv4 texts.
struct PPP_SERVER_IP_REC {
    char serverIp[32];
    char clientIp[32];
};

// One modem port: "ttyS2" or "ttyS3"; the speed as decimal text; an empty field is a
// value not given.
struct MODEM_CONFIG_REC {
    char dev[32];
    char baud[12];
    char initStr[64];
    char phoneNum[32];
};

// asr_delay (seconds) is big-endian on the wire.
struct ASR_REC_tag {
    uint8_t asr_state;
    uint8_t asr_method;
    uint16_t asr_delay;
};

// The 32-bit fields are little-endian on the wire and not aligned. Each flag is 1 or 0.
struct IPMI_CONFIG_INFO_tag {
    int bmc_present;      // the host has a BMC
    char bmc_addr;        // the BMC's I2C address
    int ipmi_power;       // the host's power is controlled through IPMI
    int ipmi_sensors;     // sensor information comes from the BMC's sensor data records
    int log_ipmi_events;  // the card keeps a private system health event log
};
#pragma pack(pop)

static_assert(sizeof(PPP_SERVER_IP_REC) == 64);
static_assert(offsetof(PPP_SERVER_IP_REC, clientIp) == 32);
static_assert(sizeof(MODEM_CONFIG_REC) == 140);
static_assert(offsetof(MODEM_CONFIG_REC, baud) == 32);
static_assert(offsetof(MODEM_CONFIG_REC, initStr) == 44);
static_assert(offsetof(MODEM_CONFIG_REC, phoneNum) == 108);
static_assert(sizeof(ASR_REC_tag) == 4);
static_assert(offsetof(ASR_REC_tag, asr_method) == 1);
static_assert(offsetof(ASR_REC_tag, asr_delay) == 2);
static_assert(sizeof(IPMI_CONFIG_INFO_tag) == 17);
static_assert(offsetof(IPMI_CONFIG_INFO_tag, bmc_addr) == 4);
static_assert(offsetof(IPMI_CONFIG_INFO_tag, ipmi_power) == 5);
static_assert(offsetof(IPMI_CONFIG_INFO_tag, ipmi_sensors) == 9);
static_assert(offsetof(IPMI_CONFIG_INFO_tag, log_ipmi_events) == 13);
