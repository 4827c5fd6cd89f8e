// kelvast -pef: the card's eight alert recipients: who receives alerts, by mail or SNMP
// trap over the LAN or a PPP link, and for which alert level.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "zunaCmd.h"

namespace {

// A destination word shorter than this counts as absent.
constexpr std::size_t kMinDestinationLen = 3;

// Reads the recipient number: a decimal number that is the whole word. Outside 1 to 8
// prints the range line with the number (kept within int); a word that is not a number
// ("1abc", " 2", "") prints it with the word as given. Either gives false.
bool ReadRecipientNumber(const char* word, uint8_t& arId)
{
    long number = 0;
    if (!ReadWholeNumber(word, number)) {
        ReportedLine(Outcome::InvalidWords("recipient number"), "Alert Receipients ID range is 1 to 8. Given = %s \n", word);
        return false;
    }
    if (number < 1 || number > static_cast<long>(ALERT_RECP_COUNT)) {
        ReportedLine(Outcome::InvalidWords("recipient number"), "Alert Receipients ID range is 1 to 8. Given = %d \n",
                     static_cast<int>(std::clamp<long>(number, INT_MIN, INT_MAX)));
        return false;
    }
    arId = static_cast<uint8_t>(number);
    return true;
}

// Places a word in its record field; a word too long for it is refused with a message.
bool PutWord(char (&field)[ALERT_RECP_TEXT_LEN], const char* word, const char* what)
{
    if (PutTextField(field, word)) return true;
    ReportedLine(Outcome::InvalidWords("value too long"), "Invalid %s: at most %zu characters are allowed!\n", what,
                 ALERT_RECP_TEXT_LEN - 1);
    return false;
}

void PrintRecipient(const ALERT_RECEP_INFO_tag& info)
{
    std::printf("Alert Receipient    : %d \n", info.arId);
    std::printf("Name                : %s \n", CardText(info.recpName).c_str());
    std::printf("Email-Id            : %s \n", CardText(info.emailId).c_str());
    std::printf("SNMP Destination    : %s \n", CardText(info.snmpDest).c_str());
    std::printf("PPP Login name      : %s \n", CardText(info.pppId).c_str());
    std::printf("PPP Password        : %s \n", CardText(info.pppPass).c_str());
    std::printf("Notification Method : %s \n", CardText(info.NotifyMethod).c_str());
    std::printf("Alert Level         : %s \n", CardText(info.alertLevel).c_str());
}

// A recipient as --json gives it.
nlohmann::ordered_json ToJson(const ALERT_RECEP_INFO_tag& info)
{
    return {{"recipient", +info.arId},
            {"name", TextOfField(info.recpName, sizeof(info.recpName))},
            {"email", TextOfField(info.emailId, sizeof(info.emailId))},
            {"snmp_destination", TextOfField(info.snmpDest, sizeof(info.snmpDest))},
            {"ppp_login", TextOfField(info.pppId, sizeof(info.pppId))},
            {"ppp_password", TextOfField(info.pppPass, sizeof(info.pppPass))},
            {"notification_method", TextOfField(info.NotifyMethod, sizeof(info.NotifyMethod))},
            {"alert_level", TextOfField(info.alertLevel, sizeof(info.alertLevel))}};
}

struct AlertLevel {
    const char* word;
    const char* text;
    bool disables;
};
const AlertLevel kAlertLevels[] = {
    {"All", "All Alerts", false},
    {"Disable", "Disable Alerts", true},
    {"Critical", "Critical Only", false},
};

// What the method and medium words ask for: the method's text and the destinations
// it needs.
struct Notification {
    bool mail = false;
    bool snmp = false;
    bool ppp = false;
};

// Reads the method over its medium into the record. False (after its message) when an
// enabled alert level has no medium, or a medium has a method other than Mail or SNMP.
bool ReadNotification(const char* method, const char* medium, bool disabled, ALERT_RECEP_INFO_tag& info,
                      Notification& needs)
{
    const bool lan = x9strcasecmp(medium, "lan") == 0;
    needs.ppp = x9strcasecmp(medium, "PPP") == 0;
    if (!lan && !needs.ppp) {
        if (disabled) return true;
        ReportedLine(Outcome::InvalidWords("no notification medium"), "Alerts Level is enabled, Notification method required !\n");
        return false;
    }
    needs.mail = x9strcasecmp(method, "Mail") == 0;
    needs.snmp = x9strcasecmp(method, "SNMP") == 0;
    if (!needs.mail && !needs.snmp) {
        ReportedLine(Outcome::InvalidWords("notification method"), "Wrong Notification Method !\n");
        return false;
    }
    std::snprintf(info.NotifyMethod, sizeof(info.NotifyMethod), "%s via %s", needs.mail ? "Mail" : "SNMP",
                  needs.ppp ? "PPP" : "LAN");
    return true;
}

// words: index name mailId SNMPDest PPPID NotifyMethod NotifyMedium PPPPass AlertType.
Outcome SetAlertRecpInfo(Run& run, char** words)
{
    ALERT_RECEP_INFO_tag info;
    std::memset(&info, 0, sizeof(info));
    if (!ReadRecipientNumber(words[0], info.arId) || !PutWord(info.recpName, words[1], "recipient name")) return Outcome::InvalidWords("invalid words");

    const AlertLevel* level = nullptr;
    for (const AlertLevel& known : kAlertLevels)
        if (x9strcasecmp(words[8], known.word) == 0) level = &known;
    if (level == nullptr) return ReportedLine(Outcome::InvalidWords("invalid words"), "Wrong Alert Level !\n");
    PutTextField(info.alertLevel, level->text);

    Notification needs;
    if (!ReadNotification(words[5], words[6], level->disables, info, needs)) return Outcome::InvalidWords("invalid words");

    struct Destination {
        const char* word;
        char (&field)[ALERT_RECP_TEXT_LEN];
        bool required;
        const char* missing;
        const char* what;
    };
    const Destination destinations[] = {
        {words[2], info.emailId, needs.mail, "Vaild Mail Id required !", "mail id"},
        {words[3], info.snmpDest, needs.snmp, "Vaild SNMP Destination required !", "SNMP destination"},
        {words[4], info.pppId, needs.ppp, "Vaild PPP Login Id required !", "PPP login id"},
        {words[7], info.pppPass, needs.ppp, "Vaild PPP Password required !", "PPP password"},
    };
    for (const Destination& d : destinations) {
        if (std::strlen(d.word) >= kMinDestinationLen) {
            if (!PutWord(d.field, d.word, d.what)) return Outcome::InvalidWords("invalid words");
        } else if (d.required) {
            return ReportedLine(Outcome::InvalidWords("invalid words"), "%s", d.missing);
        }
    }

    PrintRecipient(info);
    return Reported(run.client.SetAlertRecpData(&info), "Error while get number of Records");
}

Outcome GetAlertRecpInfo(Run& run, const char* indexWord)
{
    ALERT_RECEP_INFO_tag info;
    std::memset(&info, 0, sizeof(info));
    if (!ReadRecipientNumber(indexWord, info.arId)) return Outcome::InvalidWords("invalid words");
    const ZUNA_ERROR status = run.client.GetAlertRecpData(&info);
    if (status != ZUNA_E_SUCCESS) return Reported(status, "Error while get number of Records");
    PrintRecipient(info);
    run.result() = ToJson(info);
    return status;
}

const SubCommand kPefCommands[] = {
    {"ARInfoSet", 12, [](Run& run, char** argv) -> Outcome { return SetAlertRecpInfo(run, argv + 3); },
     "     -pef -ARInfoSet index name mailId SNMPDest PPPID NotifyMethod NotifyMedium\n"
     "      PPPPass AlertType\n"
     "           NotifyMethod can be \"Mail\" or \"SNMP\" and NotifyMedium can be\n"
     "           \"Lan\" or \"PPP\" and AlertType can be All,Disable or Critical.\n",
     HelpShown::kAlways},
    {"ARInfoGet", 4, [](Run& run, char** argv) -> Outcome { return GetAlertRecpInfo(run, argv[3]); },
     "     -pef -ARInfoGet index \n", HelpShown::kAlways},
};

}  // namespace

constinit const std::span<const SubCommand> kPefSubCommands = kPefCommands;

Outcome ProcessPefCommands(Run& run, int argc, char** argv)
{
    return RunSubCommand(run, kPefCommands, argc, argv);
}
