// kelvast -gen: firmware information, card name, clock, SMTP settings and resets.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "zunaCmd.h"

namespace {

const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr std::size_t kMaxCardName = 32;

// The records as --json shows them: each text bounded by its field, as the card sent it.
nlohmann::ordered_json ToJson(const STRUCT_FW_INFO& info)
{
    return {{"firmware_version", TextOfField(info.fwVersion, sizeof(info.fwVersion))},
            {"build_date", TextOfField(info.fwBuildDate, sizeof(info.fwBuildDate))}};
}

nlohmann::ordered_json ToJson(const SMTP_CONFIG_INFO_tag& cfg)
{
    return {{"smtp_server_1", TextOfField(cfg.server1, sizeof(cfg.server1))},
            {"mail_id_1", TextOfField(cfg.mailId1, sizeof(cfg.mailId1))},
            {"smtp_server_2", TextOfField(cfg.server2, sizeof(cfg.server2))},
            {"mail_id_2", TextOfField(cfg.mailId2, sizeof(cfg.mailId2))}};
}

nlohmann::ordered_json ToJson(const X9_TIME_STRUCT_tag& t)
{
    return {{"time", IsoUtcTime(t.epochtime)}};
}

Outcome ShowFirmwareInfo(Run& run)
{
    STRUCT_FW_INFO info{};
    const ZUNA_ERROR status = run.client.GetFWInfo(&info);
    if (status != ZUNA_E_SUCCESS) return ReportedLine(status, "Error when getting firmware info !\n");
    std::printf("Firmware Version: %s", CardText(info.fwVersion).c_str());
    std::printf("Firmware Build Date: %s", CardText(info.fwBuildDate).c_str());
    run.result() = ToJson(info);
    return status;
}

Outcome ShowCardName(Run& run)
{
    char name[CARD_NAME_LEN] = {};
    const ZUNA_ERROR status = run.client.GetCardName(name);
    if (status != ZUNA_E_SUCCESS) return ReportedLine(status, "Error when getting %s Name!\n", kProductWord);
    std::printf("%s Name : %s", kProductWord, CardText(name).c_str());
    run.result()["name"] = TextOfField(name, sizeof(name));
    return status;
}

Outcome ShowSmtpConfig(Run& run)
{
    SMTP_CONFIG_INFO_tag cfg{};
    const ZUNA_ERROR status = run.client.GetSmtpConfig(&cfg);
    if (status != ZUNA_E_SUCCESS) return ReportedLine(status, "Error when getting SMTP Config!\n");
    std::printf("SMTP Server 1 : %s\n", CardText(cfg.server1).c_str());
    std::printf("Mail Id 1     : %s\n", CardText(cfg.mailId1).c_str());
    std::printf("SMTP Server 2 : %s\n", CardText(cfg.server2).c_str());
    std::printf("Mail Id 2     : %s\n", CardText(cfg.mailId2).c_str());
    run.result() = ToJson(cfg);
    return status;
}

Outcome ShowCardTime(Run& run)
{
    X9_TIME_STRUCT_tag t{};
    const ZUNA_ERROR status = run.client.GetCardTime(&t);
    if (status != ZUNA_E_SUCCESS) return ReportedLine(status, "Error when getting %s time!\n", kProductWord);
    const time_t when = static_cast<time_t>(t.epochtime);
    struct tm local {};
    char text[64];
    if (localtime_r(&when, &local) == nullptr || asctime_r(&local, text) == nullptr)
        return ReportedLine(Outcome::LocalFailure(kExitTimeNotShown, "card time not shown"), "Error when getting %s time!\n",
                            kProductWord);
    std::printf("Time          : %s", text);
    run.result() = ToJson(t);
    return status;
}

Outcome SetTime(Run& run, const char* dateWord)
{
    X9_TIME_STRUCT_tag t{};
    uint32_t epoch = 0;
    if (ReadDateWord(dateWord, &epoch) != 0) return ReportedLine(Outcome::InvalidWords("invalid words"), "Invalid date!\n");
    t.epochtime = epoch;
    t.rollback = 0;
    const ZUNA_ERROR status = run.client.SetCardTime(&t);
    if (status == ZUNA_E_RANGE)
        return ReportedLine(status, "You may be rolling back the time on the card. This involves a reset of the \n"
                                    "card to ensure proper functionality. To rollback the time use FORCE option.");
    return ReportedLine(status, "Error while setting time!\n");
}

Outcome SetTimeForced(Run& run, const char* dateWord, const char* forceWord)
{
    X9_TIME_STRUCT_tag t{};
    uint32_t epoch = 0;
    if (ReadDateWord(dateWord, &epoch) != 0) return ReportedLine(Outcome::InvalidWords("invalid words"), "Invalid date!\n");
    t.epochtime = epoch;
    if (x9strcasecmp(forceWord, "Force") != 0) return Outcome::InvalidWords("invalid words");
    t.rollback = 1;
    const ZUNA_ERROR status = run.client.SetCardTime(&t);
    if (status != ZUNA_E_SUCCESS) return ReportedLine(status, "Error while setting time!\n");
    std::printf("Card has been reset.\n");
    return status;
}

Outcome SetName(Run& run, const char* name)
{
    if (validateCardName(name) != 0)
        return ReportedLine(
            Outcome::InvalidWords("invalid words"),
            "Invalid card name!\nMaximum allowed card name legth is 32 and should not contain any special sharacters\n");
    return ReportedLine(run.client.SetCardName(name), "Error while setting name!\n");
}

Outcome ResetCard(Run& run, const char* kindWord)
{
    const char* kind = kindWord[0] != '\0' ? kindWord + 1 : kindWord;
    const bool save = x9strcasecmp(kind, "SaveConfig") == 0;
    if (!save && x9strcasecmp(kind, "NoConfig") != 0)
        return ReportedLine(Outcome::InvalidWords("invalid words"), "Invalid arguments...\n");
    char prompt[64];
    std::snprintf(prompt, sizeof(prompt), "Are you sure you want to reset the %s(y/n)?", kProductWord);
    if (!run.Confirm(prompt)) {
        std::printf("\nCommand cancelled by user\n");
        run.result()["cancelled"] = true;
        return Outcome::Success();
    }
    const ZUNA_ERROR status = save ? run.client.ResetX9SaveConfig() : run.client.ResetX9NoConfig();
    if (status != ZUNA_E_SUCCESS) return ReportedLine(status, "Error when resetting the card...\n");
    std::printf("The %s has been reset successfully !\n", kProductWord);
    return status;
}

// Copies a value into its field; false (with a message) when it does not fit.
template <std::size_t N>
bool PutSmtpValue(char (&field)[N], const char* value, const char* what)
{
    if (PutTextField(field, value)) return true;
    ReportedLine(Outcome::InvalidWords("value too long"), "Invalid %s: at most %zu characters are allowed!\n", what, N - 1);
    return false;
}

Outcome SetSmtpConfig(Run& run, char** words)
{
    SMTP_CONFIG_INFO_tag cfg{};
    if (!PutSmtpValue(cfg.server1, words[0], "SMTP server 1") || !PutSmtpValue(cfg.mailId1, words[1], "mail id 1") ||
        !PutSmtpValue(cfg.server2, words[2], "SMTP server 2") || !PutSmtpValue(cfg.mailId2, words[3], "mail id 2"))
        return Outcome::InvalidWords("invalid words");
    return ReportedLine(run.client.SetSmtpConfig(&cfg), "Error when setting SMTP Config!\n");
}

// Each word is listed once per count, so the order is the help's.
const SubCommand kGeneralCommands[] = {
    {"Reset", 4, [](Run& run, char** argv) -> Outcome { return ResetCard(run, argv[3]); },
     // The product word is kProductWord.
     "     -Gen -Reset -SaveConfig|-NoConfig (Reset ORVA card)\n"
     "\t\t -SaveConfig (Save Configuration)\n"
     "\t\t -NoConfig (Don't save Configuration)\n",
     HelpShown::kAlways},
    {"fwInfo", 3, [](Run& run, char**) -> Outcome { return ShowFirmwareInfo(run); },
     "     -Gen -fwInfo (Get Firmware Info)\n", HelpShown::kAlways},
    {"GetName", 3, [](Run& run, char**) -> Outcome { return ShowCardName(run); },
     "     -Gen -GetName\n", HelpShown::kAlways},
    {"GetSmtpCfg", 3, [](Run& run, char**) -> Outcome { return ShowSmtpConfig(run); },
     "     -Gen -GetSmtpCfg\n", HelpShown::kAlways},
    {"SetSmtpCfg", 7, [](Run& run, char** argv) -> Outcome { return SetSmtpConfig(run, argv + 3); },
     "     -Gen -SetSmtpCfg server1-IP MailId1 server2-IP MailId2 \n", HelpShown::kAlways},
    {"GetTime", 3, [](Run& run, char**) -> Outcome { return ShowCardTime(run); },
     "     -Gen -GetTime\n", HelpShown::kAlways},
    // The help has never listed setting the clock or the card's name; its text stays as
    // it is, so these are hidden (the README describes them).
    {"SetTime", 4, [](Run& run, char** argv) -> Outcome { return SetTime(run, argv[3]); }, nullptr,
     HelpShown::kHidden},
    {"SetTime", 5, [](Run& run, char** argv) -> Outcome { return SetTimeForced(run, argv[3], argv[4]); },
     nullptr, HelpShown::kHidden},
    {"SetName", 4, [](Run& run, char** argv) -> Outcome { return SetName(run, argv[3]); }, nullptr,
     HelpShown::kHidden},
};

}  // namespace

int validateDate(const struct tm* tm)
{
    if (tm->tm_sec < 0 || tm->tm_sec > 59 || tm->tm_min < 0 || tm->tm_min > 59 || tm->tm_hour < 0 ||
        tm->tm_hour > 23 || tm->tm_mon < 0 || tm->tm_mon > 11 || tm->tm_year < 0)
        return 1;
    const int year = tm->tm_year + 1900;
    int days = kMonthDays[tm->tm_mon];
    // Leap years as the calendar has them: 2100 is not one, so its February 29th is
    // refused rather than set as March 1st.
    if (tm->tm_mon == 1 && year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) days = 29;
    // A day of 0 is refused: it would silently name the last day of the month before.
    if (tm->tm_mday < 1 || tm->tm_mday > days) return 1;
    return 0;
}

int ReadDateWord(const char* word, uint32_t* epoch)
{
    int month = 0, day = 0, hour = 0, minute = 0, year = 0, second = 0;
    if (std::sscanf(word, "%02d%02d%02d%02d%04d.%02d", &month, &day, &hour, &minute, &year, &second) != 6)
        return -1;
    struct tm tm {};
    tm.tm_sec = second;
    tm.tm_min = minute;
    tm.tm_hour = hour;
    tm.tm_mday = day;
    tm.tm_mon = month - 1;
    tm.tm_year = year - 1900;
    tm.tm_wday = 0;
    tm.tm_yday = 0;
    // The local time zone decides whether daylight-saving time applies on that date.
    tm.tm_isdst = -1;
    if (validateDate(&tm) != 0) return -1;
    // The bound is on the resulting seconds since the epoch, whatever the local zone.
    const time_t seconds = mktime(&tm);
    // The card's clock field holds seconds since 1970 in 32 bits, unsigned. (The card
    // compares clock values as signed, so a date past 2038 reads to it as a move back.)
    if (seconds < 0 || seconds > static_cast<time_t>(UINT32_MAX)) return -1;
    *epoch = static_cast<uint32_t>(seconds);
    return 0;
}

int validateCardName(const char* name)
{
    std::size_t len = 0;
    for (const char* p = name; *p != '\0'; ++p, ++len) {
        const auto c = static_cast<unsigned char>(*p);
        const bool ok = (c < 0x80 && std::isalnum(c)) || c == '-' || c == '_' || c == '*';
        if (!ok || len >= kMaxCardName) return 1;
    }
    return 0;
}

constinit const std::span<const SubCommand> kGeneralSubCommands = kGeneralCommands;

Outcome ProcessGeneralCommands(Run& run, int argc, char** argv)
{
    return RunSubCommand(run, kGeneralCommands, argc, argv);
}
