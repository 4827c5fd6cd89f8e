// The client's record queries (general, event log, alerting, network and MAC,
// heartbeat, health and the advanced settings), one table: fuzz_card_records runs the
// one its input's first byte picks against the replies that follow, and make_seeds.cpp
// has the card model answer each for its seeds. A query's record is filled with a
// pattern first; `check` is told whether the record changed and the query's status.
#pragma once

#include <cstring>
#include <functional>
#include <iterator>

#include "x9zunaifc.h"

using RecordCheck = std::function<void(bool changed, ZUNA_ERROR status)>;

namespace cardrecords {

// Runs `query` on a record of the pattern (`prepare` then sets what the request
// needs) and tells `check` what became of it.
template <typename Record, typename Query>
void Ask(const RecordCheck& check, Query query, void (*prepare)(Record&) = nullptr)
{
    Record rec;
    std::memset(&rec, 0x5A, sizeof(rec));
    if (prepare != nullptr) prepare(rec);
    Record before;
    std::memcpy(&before, &rec, sizeof(rec));
    const ZUNA_ERROR status = query(rec);
    check(std::memcmp(&before, &rec, sizeof(rec)) != 0, status);
}

struct RecordQuery {
    const char* name;  // the seed's file name
    void (*run)(CX9ZunaIfc& client, const RecordCheck& check);
};

inline constexpr RecordQuery kRecordQueries[] = {
    {"fw_info", [](CX9ZunaIfc& c, const RecordCheck& k) { Ask<STRUCT_FW_INFO>(k, [&](auto& r) { return c.GetFWInfo(&r); }); }},
    {"card_time", [](CX9ZunaIfc& c, const RecordCheck& k) { Ask<X9_TIME_STRUCT_tag>(k, [&](auto& r) { return c.GetCardTime(&r); }); }},
    {"server_info", [](CX9ZunaIfc& c, const RecordCheck& k) { Ask<SERVER_INFO_STRUCT_tag>(k, [&](auto& r) { return c.GetServerInfo(&r); }); }},
    {"smtp", [](CX9ZunaIfc& c, const RecordCheck& k) { Ask<SMTP_CONFIG_INFO_tag>(k, [&](auto& r) { return c.GetSmtpConfig(&r); }); }},
    {"card_mode", [](CX9ZunaIfc& c, const RecordCheck& k) { Ask<char>(k, [&](auto& r) { return c.GetCardMode(&r); }); }},
    {"sel_info", [](CX9ZunaIfc& c, const RecordCheck& k) { Ask<SEL_STATE_INFO_TAG>(k, [&](auto& r) { return c.GetSelInfo(&r); }); }},
    {"sel_record", [](CX9ZunaIfc& c, const RecordCheck& k) {
         Ask<DUVX9_SEL_RECORD_TAG>(k, [&](auto& r) { return c.GetSelRecord(&r); }, [](auto& r) { r.record_no = 1; });
     }},
    {"sel_record_ex", [](CX9ZunaIfc& c, const RecordCheck& k) {
         Ask<EVENT_RECORD_EXT_tag>(k, [&](auto& r) { return c.GetSelRecordEx(&r); }, [](auto& r) { r.record_no = 1; });
     }},
    {"sel_policy", [](CX9ZunaIfc& c, const RecordCheck& k) { Ask<uint8_t>(k, [&](auto& r) { return c.GetSelPolicy(&r); }); }},
    {"pef_info", [](CX9ZunaIfc& c, const RecordCheck& k) { Ask<PEF_INFO_tag>(k, [&](auto& r) { return c.GetPEFInfo(&r); }); }},
    {"network", [](CX9ZunaIfc& c, const RecordCheck& k) {
         Ask<ZUNA_API_GET_NETWORK_CFG_REC>(k, [&](auto& r) { return c.GetCurrentNetworkConfiguration(reinterpret_cast<char*>(&r)); });
     }},
    {"mac", [](CX9ZunaIfc& c, const RecordCheck& k) {
         Ask<unsigned char[MAC_TEXT_LEN]>(k, [&](auto& r) { return c.GetCurrentMACAddressString(r); });
     }},
    {"health", [](CX9ZunaIfc& c, const RecordCheck& k) {
         Ask<X9_HEALTH_INFO_tag[X9_HEALTH_ENTRIES]>(k, [&](auto& r) { return c.GetCardHealth(r); });
     }},
    {"modem", [](CX9ZunaIfc& c, const RecordCheck& k) {
         Ask<MODEM_CONFIG_REC>(k, [&](auto& r) { return c.GetModemConfig(&r); }, [](auto& r) { std::strcpy(r.dev, "ttyS2"); });
     }},
    {"asr", [](CX9ZunaIfc& c, const RecordCheck& k) { Ask<ASR_REC_tag>(k, [&](auto& r) { return c.GetASRConfig(&r); }); }},
    {"ipmi", [](CX9ZunaIfc& c, const RecordCheck& k) { Ask<IPMI_CONFIG_INFO_tag>(k, [&](auto& r) { return c.GetIPMIConfig(&r); }); }},
    {"ppp", [](CX9ZunaIfc& c, const RecordCheck& k) { Ask<PPP_SERVER_IP_REC>(k, [&](auto& r) { return c.GetPppServerIps(&r); }); }},
    {"i2c", [](CX9ZunaIfc& c, const RecordCheck& k) { Ask<unsigned char>(k, [&](auto& r) { return c.GetI2CConfig(&r); }); }},
    // Replies whose data is a text, a count or a value, kept whatever the status.
    {"card_name", [](CX9ZunaIfc& c, const RecordCheck&) {
         char name[CARD_NAME_LEN];
         c.GetCardName(name);
     }},
    {"sel_clear", [](CX9ZunaIfc& c, const RecordCheck&) {
         uint16_t cleared = 0;
         c.ClearSelList(&cleared);
     }},
    {"heartbeat_interval", [](CX9ZunaIfc& c, const RecordCheck&) {
         unsigned long hb = 0;
         c.GetHeartbeatInterval(&hb);
     }},
    {"set_card_time", [](CX9ZunaIfc& c, const RecordCheck&) {  // reads the clock first
         X9_TIME_STRUCT_tag t{1, 1600000000};
         c.SetCardTime(&t);
     }},
};
inline constexpr std::size_t kRecordQueryCount = std::size(kRecordQueries);

}  // namespace cardrecords
