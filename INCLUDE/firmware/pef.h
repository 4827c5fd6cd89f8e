// Alerting records (command group 0x04, codes 0x040A to 0x040F): the platform event
// filtering (PEF) tables, which decide which logged events raise alerts, and the up to
// eight alert recipients, which travel as a name/value list. Every field is one byte or
// a text; there is no byte order to mind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "namevalue.h"

// Selectors (paramSelect) of the PEF configuration parameters.
inline constexpr uint8_t PEF_PARAM_EVENT_FILTER_COUNT = 6;
inline constexpr uint8_t PEF_PARAM_EVENT_FILTER = 7;
inline constexpr uint8_t PEF_PARAM_EVENT_FILTER_BYTE = 8;  // the filter's filterConfig byte
inline constexpr uint8_t PEF_PARAM_ALERT_POLICY_COUNT = 9;
inline constexpr uint8_t PEF_PARAM_ALERT_POLICY = 10;
// Three destination tables of one layout: modem, LAN, and a third the card defines.
inline constexpr uint8_t PEF_PARAM_MODEM_DEST = 0xC0;
inline constexpr uint8_t PEF_PARAM_LAN_DEST = 0xC1;
inline constexpr uint8_t PEF_PARAM_THIRD_DEST = 0xC2;

inline constexpr std::size_t PEF_DEST_LEN = 256;

#pragma pack(push, 1)
struct PEF_INFO_tag {
    uint8_t bcdVersion;
    uint8_t bmActions;
    uint8_t eventFilters;
    uint8_t alertPolicies;
    uint8_t modemEntries;
    uint8_t lanEntries;
};

struct PEF_EVENT_FILTER_tag {
    uint8_t filterConfig;
    uint8_t filterAction;
    uint8_t alertPolicyNo;
    uint8_t eventSens;
    uint8_t reserved[16];
};

struct PEF_ALERT_POLICY_tag {
    uint8_t policy;
    uint8_t channelDest;
    uint8_t alertStringIndex;
};

struct PEF_MODEM_RECORD_tag {
    uint8_t index;
    uint8_t alertMethod;
    char dest[PEF_DEST_LEN];
};

struct PEF_LAN_RECORD_tag {
    uint8_t index;
    uint8_t alertMethod;
    char dest[PEF_DEST_LEN];
};

// The head of every parameter record: its selector and the first byte of its data.
struct PEF_CONFIG_PARAM_tag {
    uint8_t paramSelect;
    uint8_t data;
};

struct PEF_GET_EVENT_FILTER_COUNT_tag {
    uint8_t paramSelect;
    uint8_t count;
};

struct PEF_GET_ALERT_POLICY_COUNT_tag {
    uint8_t paramSelect;
    uint8_t count;
};

struct PEF_CONFIG_EVENT_FILTER_tag {
    uint8_t paramSelect;
    uint8_t index;
    PEF_EVENT_FILTER_tag data;
};

struct PEF_CONFIG_EVENT_FILTER_BYTE_tag {
    uint8_t paramSelect;
    uint8_t index;
    uint8_t filterConfig;
};

struct PEF_CONFIG_ALERT_POLICY_tag {
    uint8_t paramSelect;
    uint8_t index;
    PEF_ALERT_POLICY_tag data;
};

struct PEF_CONFIG_MODEM_DATA_tag {
    uint8_t paramSelect;
    uint8_t index;
    PEF_MODEM_RECORD_tag data;
};

struct PEF_CONFIG_LAN_DATA_tag {
    uint8_t paramSelect;
    uint8_t index;
    PEF_LAN_RECORD_tag data;
};
#pragma pack(pop)

static_assert(sizeof(PEF_INFO_tag) == 6);
static_assert(offsetof(PEF_INFO_tag, lanEntries) == 5);
static_assert(sizeof(PEF_EVENT_FILTER_tag) == 20);
static_assert(offsetof(PEF_EVENT_FILTER_tag, reserved) == 4);
static_assert(sizeof(PEF_ALERT_POLICY_tag) == 3);
static_assert(sizeof(PEF_MODEM_RECORD_tag) == 258);
static_assert(sizeof(PEF_LAN_RECORD_tag) == 258);
static_assert(offsetof(PEF_LAN_RECORD_tag, dest) == 2);
static_assert(sizeof(PEF_CONFIG_PARAM_tag) == 2);
static_assert(sizeof(PEF_GET_EVENT_FILTER_COUNT_tag) == 2);
static_assert(sizeof(PEF_GET_ALERT_POLICY_COUNT_tag) == 2);
static_assert(sizeof(PEF_CONFIG_EVENT_FILTER_tag) == 22);
static_assert(offsetof(PEF_CONFIG_EVENT_FILTER_tag, data) == 2);
static_assert(sizeof(PEF_CONFIG_EVENT_FILTER_BYTE_tag) == 3);
static_assert(sizeof(PEF_CONFIG_ALERT_POLICY_tag) == 5);
static_assert(sizeof(PEF_CONFIG_MODEM_DATA_tag) == 260);
static_assert(sizeof(PEF_CONFIG_LAN_DATA_tag) == 260);
static_assert(offsetof(PEF_CONFIG_LAN_DATA_tag, data) == 2);

// The length of a parameter record, fixed by its selector; 0 for a selector the
// records do not know (then nothing but the command travels).
inline constexpr std::size_t PefConfigParamLen(uint8_t paramSelect)
{
    switch (paramSelect) {
    case PEF_PARAM_EVENT_FILTER_COUNT: return sizeof(PEF_GET_EVENT_FILTER_COUNT_tag);
    case PEF_PARAM_EVENT_FILTER: return sizeof(PEF_CONFIG_EVENT_FILTER_tag);
    case PEF_PARAM_EVENT_FILTER_BYTE: return sizeof(PEF_CONFIG_EVENT_FILTER_BYTE_tag);
    case PEF_PARAM_ALERT_POLICY_COUNT: return sizeof(PEF_GET_ALERT_POLICY_COUNT_tag);
    case PEF_PARAM_ALERT_POLICY: return sizeof(PEF_CONFIG_ALERT_POLICY_tag);
    case PEF_PARAM_MODEM_DEST:
    case PEF_PARAM_LAN_DEST:
    case PEF_PARAM_THIRD_DEST: return sizeof(PEF_CONFIG_LAN_DATA_tag);
    default: return 0;
    }
}

// One alert recipient as the client sees it; texts NUL-terminated in 32-byte fields.
inline constexpr std::size_t ALERT_RECP_TEXT_LEN = 32;
inline constexpr unsigned ALERT_RECP_COUNT = 8;  // recipients 1 to 8

#pragma pack(push, 1)
struct ALERT_RECEP_INFO_tag {
    uint8_t arId;  // recipient number
    char recpName[ALERT_RECP_TEXT_LEN];
    char emailId[ALERT_RECP_TEXT_LEN];
    char snmpDest[ALERT_RECP_TEXT_LEN];  // SNMP trap destination
    char pppId[ALERT_RECP_TEXT_LEN];     // PPP login name
    char NotifyMethod[ALERT_RECP_TEXT_LEN];
    char pppPass[ALERT_RECP_TEXT_LEN];
    char alertLevel[ALERT_RECP_TEXT_LEN];
};
#pragma pack(pop)

static_assert(sizeof(ALERT_RECEP_INFO_tag) == 225);
static_assert(offsetof(ALERT_RECEP_INFO_tag, recpName) == 1);
static_assert(offsetof(ALERT_RECEP_INFO_tag, snmpDest) == 65);
static_assert(offsetof(ALERT_RECEP_INFO_tag, NotifyMethod) == 129);
static_assert(offsetof(ALERT_RECEP_INFO_tag, alertLevel) == 193);

// A recipient travels as a list of eight pairs: the recipient number first (decimal
// text), then the seven texts in this order, the SNMP destination last. The query
// (0x040F) sends eight NAME_VALUE places with only the number filled in.
inline constexpr std::size_t ALERT_RECP_PAIRS = 8;
inline constexpr std::size_t ALERT_RECP_LIST_LEN = ALERT_RECP_PAIRS * sizeof(NAME_VALUE_PAIR);  // 4096
inline constexpr std::size_t ALERT_RECP_QUERY_LEN = ALERT_RECP_PAIRS * sizeof(NAME_VALUE);      // 6152
inline constexpr const char* ALERT_RECP_SELECT_KEY = "RECIPIENT_SELECT";

struct AlertRecpTextKey {
    const char* name;
    std::size_t field;  // offset of the text's field in ALERT_RECEP_INFO_tag
};
inline constexpr AlertRecpTextKey ALERT_RECP_TEXT_KEYS[] = {
    {"RECIPIENT_NAME", offsetof(ALERT_RECEP_INFO_tag, recpName)},
    {"EMAIL_ID", offsetof(ALERT_RECEP_INFO_tag, emailId)},
    {"PPP_LOGIN_ID", offsetof(ALERT_RECEP_INFO_tag, pppId)},
    {"NOTIFICATION_METHOD", offsetof(ALERT_RECEP_INFO_tag, NotifyMethod)},
    {"PPP_PASSWORD", offsetof(ALERT_RECEP_INFO_tag, pppPass)},
    {"ALERT_LEVEL", offsetof(ALERT_RECEP_INFO_tag, alertLevel)},
    {"SNMP_TRAP_DESTINATION", offsetof(ALERT_RECEP_INFO_tag, snmpDest)},
};
static_assert(std::size(ALERT_RECP_TEXT_KEYS) + 1 == ALERT_RECP_PAIRS);
