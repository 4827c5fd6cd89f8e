// kelvast -sel: the card's event log.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "zunaCmd.h"

namespace {

constexpr int kDataLines = 4;
constexpr int kBytesPerLine = 8;

// The local-time text of a card time stamp, as asctime writes it (ends in a newline).
const char* LocalTimeText(uint32_t seconds, char (&text)[64])
{
    const time_t when = static_cast<time_t>(seconds);
    struct tm local {};
    if (localtime_r(&when, &local) == nullptr || asctime_r(&local, text) == nullptr)
        std::snprintf(text, sizeof(text), "%u\n", seconds);
    return text;
}

struct Named {
    uint8_t value;
    const char* text;  // as the listing shows it
    const char* word;  // as --json gives it
};

// The severities the listing names; any other byte shows no severity line.
constexpr Named kSeverities[] = {
    {SEL_SEVERITY_INFORMATION, "INFORMATION", "information"},
    {SEL_SEVERITY_RETURN_TO_OK, "RETURN TO OK", "return_to_ok"},
    {SEL_SEVERITY_WARNING, "WARNING", "warning"},
    {SEL_SEVERITY_CRITICAL, "CRITICAL", "critical"},
    {SEL_SEVERITY_FATAL, "FATAL", "fatal"},
};
constexpr Named kPolicies[] = {
    {SEL_POLICY_STOP, "SEL_POLICY_STOP", "stop"},
    {SEL_POLICY_ROLLOVER, "SEL_POLICY_ROLLOVER", "rollover"},
};
// The operations the log supports, bits of bmop_support, in the order they are shown.
constexpr Named kOperations[] = {
    {SEL_DEL_SUPPORT, "SEL_DEL_SUPPORT", "delete"},
    {SEL_RES_SUPPORT, "SEL_RES_SUPPORT", "reserve"},
    {SEL_ALLOC_INFO_SUPPORT, "SEL_ALLOC_INFO_SUPPORT", "allocation_info"},
};

template <std::size_t N>
const Named* FindNamed(const Named (&table)[N], uint8_t value)
{
    for (const Named& named : table)
        if (named.value == value) return &named;
    return nullptr;
}

// The word of a value, or null for a value without a name.
template <std::size_t N>
nlohmann::ordered_json WordOf(const Named (&table)[N], uint8_t value)
{
    const Named* named = FindNamed(table, value);
    return named != nullptr ? nlohmann::ordered_json(named->word) : nlohmann::ordered_json(nullptr);
}

// A record as --json gives it (severity null for a byte without a name; its number
// always).
nlohmann::ordered_json ToJson(const DUVX9_SEL_RECORD_TAG& rec)
{
    // Built in place: a listing makes one per record, and a list of pairs would build
    // and copy each pair first.
    const unsigned eventId = rec.duvx9_event_id;
    nlohmann::ordered_json json = nlohmann::ordered_json::object();
    json.emplace("number", +rec.record_no);
    json.emplace("time", IsoUtcTime(rec.time));
    json.emplace("event_id", eventId);
    json.emplace("module", eventId >> 8);
    json.emplace("event", eventId & 0xFF);
    json.emplace("severity", WordOf(kSeverities, rec.eventType.event_type));
    json.emplace("severity_code", +rec.eventType.event_type);
    json.emplace("data", HexText(rec.event_data, sizeof(rec.event_data)));
    return json;
}

// The log's version, "1.5" for 0x51.
std::string VersionText(uint8_t bcdVersion)
{
    char text[8];
    std::snprintf(text, sizeof(text), "%1x.%1x", bcdVersion & 0x0F, bcdVersion >> 4);
    return text;
}

nlohmann::ordered_json ToJson(const SEL_STATE_INFO_TAG& info)
{
    nlohmann::ordered_json operations = nlohmann::ordered_json::array();
    for (const Named& operation : kOperations)
        if (info.bmop_support & operation.value) operations.push_back(operation.word);
    return {{"version", VersionText(info.bcdVersion)},
            {"records", +info.no_of_records},
            {"free_space_bytes", +info.free_space},
            {"last_addition", IsoUtcTime(info.last_add_time)},
            {"last_deletion", IsoUtcTime(info.last_del_time)},
            {"operations", operations}};
}

// The lines every listed record shows, from its first 48 bytes (host order).
void PrintRecord(const DUVX9_SEL_RECORD_TAG& rec)
{
    char text[64];
    const unsigned eventId = rec.duvx9_event_id;
    std::printf("\nRecord Number : %u \n", static_cast<unsigned>(rec.record_no));
    std::printf("Time          : %s", LocalTimeText(rec.time, text));
    std::printf("Event Id      : %x \n", eventId);
    std::printf("Module Number : %u \n", eventId >> 8);
    std::printf("Event Number  : %d \n", static_cast<int>(eventId & 0xFF));
    if (const Named* severity = FindNamed(kSeverities, rec.eventType.event_type))
        std::printf("Event Severity: %s\n", severity->text);
    std::printf("Event Data is  : \n");
    for (std::size_t line = 0; line < kDataLines; ++line) PrintLineHexAndAsc(rec.event_data + line * kBytesPerLine, kBytesPerLine);
}

Outcome AddSelRecord(Run& run, const char* moduleWord, const char* eventWord, const char* severityWord)
{
    DUVX9_SEL_RECORD_TAG rec;
    std::memset(&rec, 0, sizeof(rec));
    const unsigned module = static_cast<unsigned>(std::atoi(moduleWord));
    const unsigned event = static_cast<unsigned>(std::atoi(eventWord));
    rec.duvx9_event_id = static_cast<uint16_t>((module << 8) | event);
    switch (severityWord[0]) {
    case 'F': rec.eventType.event_type = SEL_SEVERITY_FATAL; break;
    case 'W': rec.eventType.event_type = SEL_SEVERITY_WARNING; break;
    case 'I': rec.eventType.event_type = SEL_SEVERITY_RETURN_TO_OK; break;
    default: rec.eventType.event_type = SEL_SEVERITY_INFORMATION; break;
    }
    return Reported(run.client.AddSelRecord(&rec), "Add SEL Record Failed");
}

Outcome DelSelRecord(Run& run, const char* numberWord)
{
    DUVX9_SEL_RECORD_TAG rec;
    std::memset(&rec, 0, sizeof(rec));
    rec.record_no = static_cast<uint16_t>(std::atoi(numberWord));
    return Reported(run.client.DelSelRecord(&rec), "Del SEL Record Failed");
}

// Lists records 1..count with one query each; `query` fetches record n into the
// buffer, prints it and adds it to the records of the result (a record the card could
// not give is left out). Stops early for status 65535 and for a lost connection (33),
// which every later query would meet again.
template <typename Query>
Outcome ListRecords(Run& run, Query query)
{
    SEL_STATE_INFO_TAG info{};
    const ZUNA_ERROR infoStatus = run.client.GetSelInfo(&info);
    if (infoStatus != ZUNA_E_SUCCESS) return Reported(infoStatus, "Error while getting number of Records");
    const unsigned count = info.no_of_records;
    std::printf("Number of Record : %d \n", static_cast<int>(count));
    run.result()["count"] = count;
    nlohmann::ordered_json& records = run.result()["records"] = nlohmann::ordered_json::array();
    ZUNA_ERROR status = ZUNA_E_SUCCESS;
    for (unsigned n = 1; n <= count; ++n) {
        status = query(static_cast<uint16_t>(n), records);
        // A record the card could not give is reported and the listing goes on.
        Reported(status, "Error while retreiving Records");
        if (status == ZUNA_E_LASTERR || status == ZUNA_E_CONNECTION) return status;
    }
    return status;
}

Outcome ListAllSelRecords(Run& run)
{
    return ListRecords(run, [&run](uint16_t n, nlohmann::ordered_json& records) {
        DUVX9_SEL_RECORD_TAG rec;
        std::memset(&rec, 0, sizeof(rec));
        rec.record_no = n;
        const ZUNA_ERROR status = run.client.GetSelRecord(&rec);
        if (status == ZUNA_E_SUCCESS) {
            PrintRecord(rec);
            std::printf("\n");
            records.push_back(ToJson(rec));
        }
        return status;
    });
}

Outcome ListAllSelRecordsEx(Run& run)
{
    return ListRecords(run, [&run](uint16_t n, nlohmann::ordered_json& records) {
        EVENT_RECORD_EXT_tag rec;
        std::memset(&rec, 0, sizeof(rec));
        rec.record_no = n;
        const ZUNA_ERROR status = run.client.GetSelRecordEx(&rec);
        if (status == ZUNA_E_SUCCESS) {
            DUVX9_SEL_RECORD_TAG head;
            std::memcpy(&head, &rec, sizeof(head));
            PrintRecord(head);
            std::printf("Event String is: %s\n", CardText(rec.event_string).c_str());
            std::printf("\n");
            nlohmann::ordered_json& record = records.emplace_back(ToJson(head));
            record["event_string"] = TextOfField(rec.event_string, sizeof(rec.event_string));
        }
        return status;
    });
}

Outcome DispSelInfo(Run& run)
{
    SEL_STATE_INFO_TAG info{};
    const ZUNA_ERROR status = run.client.GetSelInfo(&info);
    if (status != ZUNA_E_SUCCESS) return Reported(status, "Error while get number of Records");
    char text[64];
    std::printf("SEL Version         : %s\n", VersionText(info.bcdVersion).c_str());
    std::printf("Number of Records   : %d \n", static_cast<int>(info.no_of_records));
    std::printf("Free Space          : %d (Bytes) \n", static_cast<int>(info.free_space));
    std::printf("Last Additon        : %s", LocalTimeText(info.last_add_time, text));
    std::printf("Last Deletion       : %s", LocalTimeText(info.last_del_time, text));
    for (const Named& operation : kOperations)
        if (info.bmop_support & operation.value) std::printf("Operation Supported : %s \n", operation.text);
    run.result() = ToJson(info);
    return status;
}

Outcome ClearAllSelRecords(Run& run)
{
    uint16_t count = 0;
    const ZUNA_ERROR status = run.client.ClearSelList(&count);
    if (status != ZUNA_E_SUCCESS) return Reported(status, "Del SEL Record Failed");
    std::printf("%d Record(s) Deleted.\n", static_cast<int>(count));
    run.result()["deleted"] = count;
    return status;
}

Outcome GetSelPolicy(Run& run)
{
    uint8_t policy = 0;
    const ZUNA_ERROR status = run.client.GetSelPolicy(&policy);
    if (status != ZUNA_E_SUCCESS) return Reported(status, "Get SEL policy failed");
    if (const Named* named = FindNamed(kPolicies, policy)) std::printf("SEL Fill policy : %s\n", named->text);
    run.result() = {{"policy", WordOf(kPolicies, policy)}, {"policy_code", policy}};
    return status;
}

Outcome SetSelPolicy(Run& run, const char* word)
{
    uint8_t policy;
    if (x9strcasecmp(word, "Rollover") == 0) {
        policy = SEL_POLICY_ROLLOVER;
    } else if (x9strcasecmp(word, "Stop") == 0) {
        policy = SEL_POLICY_STOP;
    } else {
        return ReportedLine(Outcome::LocalFailure(kExitSelPolicyUnknown, "unknown event-log policy"),
                            "Unknown SEL policy !!!\n");
    }
    std::printf("Policy: %d\n", policy);
    const ZUNA_ERROR status = run.client.SetSelPolicy(policy);
    if (status != ZUNA_E_SUCCESS) return Reported(status, "Set SEL policy failed");
    std::printf("Set SEL Fill policy Success\n");
    return status;
}

const SubCommand kSelCommands[] = {
    {"add", 6, [](Run& run, char** argv) -> Outcome { return AddSelRecord(run, argv[3], argv[4], argv[5]); },
     "     -sel -add moduleNum eventId severity (F-Fatal, W-Warning, I-Information)\n", HelpShown::kFullOnly},
    // Accepted for the scripts that use it, but it does nothing and sends nothing to
    // the card (the card's post-event operation is never called), so the help does
    // not offer it.
    {"postEvent", 6, [](Run&, char**) -> Outcome { return Outcome::Success(); }, nullptr, HelpShown::kHidden},
    {"del", 4, [](Run& run, char** argv) -> Outcome { return DelSelRecord(run, argv[3]); },
     "     -sel -del recordNum\n", HelpShown::kFullOnly},
    {"listAll", 3, [](Run& run, char**) -> Outcome { return ListAllSelRecords(run); },
     "     -sel -listAll\n", HelpShown::kAlways},
    {"LISTALLEX", 3, [](Run& run, char**) -> Outcome { return ListAllSelRecordsEx(run); },
     "     -sel -listAllEx\n", HelpShown::kAlways},
    {"selInfo", 3, [](Run& run, char**) -> Outcome { return DispSelInfo(run); },
     "     -sel -selInfo \n", HelpShown::kAlways},
    {"clear", 3, [](Run& run, char**) -> Outcome { return ClearAllSelRecords(run); },
     "     -sel -clear \n", HelpShown::kAlways},
    {"setPolicy", 4, [](Run& run, char** argv) -> Outcome { return SetSelPolicy(run, argv[3]); },
     "     -sel -setPolicy <ROLLOVER | STOP> \n", HelpShown::kAlways},
    {"getPolicy", 3, [](Run& run, char**) -> Outcome { return GetSelPolicy(run); },
     "     -sel -getPolicy \n", HelpShown::kAlways},
};

}  // namespace

constinit const std::span<const SubCommand> kSelSubCommands = kSelCommands;

void PrintLineHexAndAsc(const unsigned char* bytes, int count)
{
    for (int i = 0; i < count; ++i) std::printf("0x%02x ", bytes[i]);
    std::printf("  ");
    for (int i = 0; i < count; ++i) std::printf("%c", bytes[i] >= 0x20 && bytes[i] <= 0x7E ? bytes[i] : '.');
    std::printf("\n");
}

Outcome ProcessSelCommands(Run& run, int argc, char** argv)
{
    return RunSubCommand(run, kSelCommands, argc, argv);
}
