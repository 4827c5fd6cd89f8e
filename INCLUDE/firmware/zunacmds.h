// ZUNA command codes: high byte the function group, low byte the operation.
#pragma once

#include <cstdint>

// 0x00 login
inline constexpr uint16_t ZUNACMD_GET_CHALLENGE = 0x0001;
inline constexpr uint16_t ZUNACMD_LOGIN = 0x0002;
// 0x01 card health
inline constexpr uint16_t ZUNACMD_GET_CARD_HEALTH = 0x0100;
// 0x02 sensor SDK
inline constexpr uint16_t ZUNACMD_DELETE_SDK = 0x0200;
inline constexpr uint16_t ZUNACMD_REREAD_SDK = 0x0201;
inline constexpr uint16_t ZUNACMD_READ_SENSORS = 0x0202;
// 0x03 host power
inline constexpr uint16_t ZUNACMD_HOST_POWER_CONTROL = 0x0300;
// 0x04 event log and alerting
inline constexpr uint16_t ZUNACMD_GET_SEL_INFO = 0x0400;
inline constexpr uint16_t ZUNACMD_GET_SEL_RECORD = 0x0401;
inline constexpr uint16_t ZUNACMD_ADD_SEL_RECORD = 0x0402;
inline constexpr uint16_t ZUNACMD_CLEAR_SEL_LIST = 0x0403;
inline constexpr uint16_t ZUNACMD_DEL_SEL_RECORD = 0x0404;
inline constexpr uint16_t ZUNACMD_POST_EVENT = 0x0405;
inline constexpr uint16_t ZUNACMD_GET_SEL_POLICY = 0x0406;
inline constexpr uint16_t ZUNACMD_SET_SEL_POLICY = 0x0407;
inline constexpr uint16_t ZUNACMD_GET_SEL_RECORD_EX = 0x0408;
inline constexpr uint16_t ZUNACMD_GET_PEF_INFO = 0x040A;
inline constexpr uint16_t ZUNACMD_SET_PEF_CONFIG = 0x040B;
inline constexpr uint16_t ZUNACMD_GET_PEF_CONFIG = 0x040C;
inline constexpr uint16_t ZUNACMD_MAKE_DEFAULT_PEF_CONFIG = 0x040D;
inline constexpr uint16_t ZUNACMD_SET_ALERT_RECP_DATA = 0x040E;
inline constexpr uint16_t ZUNACMD_GET_ALERT_RECP_DATA = 0x040F;
// 0x05 users
inline constexpr uint16_t ZUNACMD_ADD_NEW_USER = 0x0500;
inline constexpr uint16_t ZUNACMD_REMOVE_USER = 0x0501;
inline constexpr uint16_t ZUNACMD_GET_ALL_USERNAME_PASSWORD = 0x0502;
inline constexpr uint16_t ZUNACMD_GET_ALL_USERNAMES = 0x0503;
inline constexpr uint16_t ZUNACMD_ADD_SNMP_USER = 0x0506;
inline constexpr uint16_t ZUNACMD_GET_ALL_SNMP_USER_INFO = 0x0507;
// 0x06 flash and files
inline constexpr uint16_t ZUNACMD_WRITE_BLOCK = 0x0601;
inline constexpr uint16_t ZUNACMD_READ_BLOCK = 0x0602;
inline constexpr uint16_t ZUNACMD_CONFIG_FLASH = 0x0603;
inline constexpr uint16_t ZUNACMD_MODULE_GET_NUM_BLOCKS = 0x0605;
inline constexpr uint16_t ZUNACMD_SDK_FLASH = 0x0606;
inline constexpr uint16_t ZUNACMD_SET_CARD_TO_FLASH_MODE = 0x0607;
inline constexpr uint16_t ZUNACMD_GET_CARD_MODE = 0x0608;
inline constexpr uint16_t ZUNACMD_GET_FILE_FRAGMENT = 0x060A;
inline constexpr uint16_t ZUNACMD_SEND_FILE_FRAGMENT = 0x060B;
// 0x07 network
inline constexpr uint16_t ZUNACMD_GET_NETWORK_CONFIG = 0x0700;
inline constexpr uint16_t ZUNACMD_SET_NETWORK_STATIC = 0x0701;
inline constexpr uint16_t ZUNACMD_SET_NETWORK_DHCP = 0x0702;
// 0x08 MAC address
inline constexpr uint16_t ZUNACMD_GET_MAC_ADDRESS = 0x0800;
inline constexpr uint16_t ZUNACMD_SET_MAC_ADDRESS = 0x0801;
// 0x09 general
inline constexpr uint16_t ZUNACMD_RESET_SAVE_CONFIG = 0x0900;
inline constexpr uint16_t ZUNACMD_RESET_NO_CONFIG = 0x0901;
inline constexpr uint16_t ZUNACMD_KILL_PROCESSES = 0x0902;
inline constexpr uint16_t ZUNACMD_GET_FW_INFO = 0x0903;
inline constexpr uint16_t ZUNACMD_SET_SERVER_INFO = 0x0904;
inline constexpr uint16_t ZUNACMD_GET_SERVER_INFO = 0x0905;
inline constexpr uint16_t ZUNACMD_SET_CARD_NAME = 0x0906;
inline constexpr uint16_t ZUNACMD_GET_CARD_NAME = 0x0907;
inline constexpr uint16_t ZUNACMD_SET_SMTP_CONFIG = 0x0908;
inline constexpr uint16_t ZUNACMD_GET_SMTP_CONFIG = 0x0909;
inline constexpr uint16_t ZUNACMD_SET_CARD_TIME = 0x090A;
inline constexpr uint16_t ZUNACMD_GET_CARD_TIME = 0x090B;
// 0x0A OS heartbeat
inline constexpr uint16_t ZUNACMD_GET_HEARTBEAT_INTERVAL = 0x0A00;
inline constexpr uint16_t ZUNACMD_SET_HEARTBEAT_INTERVAL = 0x0A01;
// 0x0C advanced settings
inline constexpr uint16_t ZUNACMD_GET_PPP_SERVER_IPS = 0x0C00;
inline constexpr uint16_t ZUNACMD_SET_PPP_SERVER_IPS = 0x0C01;
inline constexpr uint16_t ZUNACMD_GET_MODEM_CONFIG = 0x0C02;
inline constexpr uint16_t ZUNACMD_SET_MODEM_CONFIG = 0x0C03;
inline constexpr uint16_t ZUNACMD_GET_ASR_CONFIG = 0x0C06;
inline constexpr uint16_t ZUNACMD_SET_ASR_CONFIG = 0x0C07;
inline constexpr uint16_t ZUNACMD_GET_I2C_CONFIG = 0x0C08;
inline constexpr uint16_t ZUNACMD_SET_I2C_CONFIG = 0x0C09;
inline constexpr uint16_t ZUNACMD_GET_IPMI_CONFIG = 0x0C0A;
inline constexpr uint16_t ZUNACMD_SET_IPMI_CONFIG = 0x0C0B;
