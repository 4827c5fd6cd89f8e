// kelvast -sel: the card's event log.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

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

const char* SeverityText(uint8_t severity)
{
    switch (severity) {
    case SEL_SEVERITY_INFORMATION: return "INFORMATION";
    case SEL_SEVERITY_RETURN_TO_OK: return "RETURN TO OK";
    case SEL_SEVERITY_WARNING: return "WARNING";
    case SEL_SEVERITY_CRITICAL: return "CRITICAL";
    case SEL_SEVERITY_FATAL: return "FATAL";
    default: return nullptr;
    }
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
    if (const char* severity = SeverityText(rec.eventType.event_type))
        std::printf("Event Severity: %s\n", severity);
    std::printf("Event Data is  : \n");
    for (int line = 0; line < kDataLines; ++line) PrintLineHexAndAsc(rec.event_data + line * kBytesPerLine, kBytesPerLine);
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
// buffer and prints it. Stops early for status 65535 and for a lost connection (33),
// which every later query would meet again.
template <typename Query>
Outcome ListRecords(Run& run, Query query)
{
    SEL_STATE_INFO_TAG info{};
    const ZUNA_ERROR infoStatus = run.client.GetSelInfo(&info);
    if (infoStatus != ZUNA_E_SUCCESS) return Reported(infoStatus, "Error while getting number of Records");
    const unsigned count = info.no_of_records;
    std::printf("Number of Record : %d \n", static_cast<int>(count));
    ZUNA_ERROR status = ZUNA_E_SUCCESS;
    for (unsigned n = 1; n <= count; ++n) {
        status = query(static_cast<uint16_t>(n));
        // A record the card could not give is reported and the listing goes on.
        Reported(status, "Error while retreiving Records");
        if (status == ZUNA_E_LASTERR || status == ZUNA_E_CONNECTION) return status;
    }
    return status;
}

Outcome ListAllSelRecords(Run& run)
{
    return ListRecords(run, [&run](uint16_t n) {
        DUVX9_SEL_RECORD_TAG rec;
        std::memset(&rec, 0, sizeof(rec));
        rec.record_no = n;
        const ZUNA_ERROR status = run.client.GetSelRecord(&rec);
        if (status == ZUNA_E_SUCCESS) {
            PrintRecord(rec);
            std::printf("\n");
        }
        return status;
    });
}

Outcome ListAllSelRecordsEx(Run& run)
{
    return ListRecords(run, [&run](uint16_t n) {
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
    std::printf("SEL Version         : %1x.%1x\n", info.bcdVersion & 0x0F, info.bcdVersion >> 4);
    std::printf("Number of Records   : %d \n", static_cast<int>(info.no_of_records));
    std::printf("Free Space          : %d (Bytes) \n", static_cast<int>(info.free_space));
    std::printf("Last Additon        : %s", LocalTimeText(info.last_add_time, text));
    std::printf("Last Deletion       : %s", LocalTimeText(info.last_del_time, text));
    if (info.bmop_support & SEL_DEL_SUPPORT) std::printf("Operation Supported : SEL_DEL_SUPPORT \n");
    if (info.bmop_support & SEL_RES_SUPPORT) std::printf("Operation Supported : SEL_RES_SUPPORT \n");
    if (info.bmop_support & SEL_ALLOC_INFO_SUPPORT) std::printf("Operation Supported : SEL_ALLOC_INFO_SUPPORT \n");
    return status;
}

Outcome ClearAllSelRecords(Run& run)
{
    uint16_t count = 0;
    const ZUNA_ERROR status = run.client.ClearSelList(&count);
    if (status != ZUNA_E_SUCCESS) return Reported(status, "Del SEL Record Failed");
    std::printf("%d Record(s) Deleted.\n", static_cast<int>(count));
    return status;
}

Outcome GetSelPolicy(Run& run)
{
    uint8_t policy = 0;
    const ZUNA_ERROR status = run.client.GetSelPolicy(&policy);
    if (status != ZUNA_E_SUCCESS) return Reported(status, "Get SEL policy failed");
    if (policy == SEL_POLICY_STOP)
        std::printf("SEL Fill policy : %s\n", "SEL_POLICY_STOP");
    else if (policy == SEL_POLICY_ROLLOVER)
        std::printf("SEL Fill policy : %s\n", "SEL_POLICY_ROLLOVER");
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
