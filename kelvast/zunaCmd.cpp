// kelvast: dispatcher and the helpers shared by the command groups.
#include "zunaCmd.h"
#include "fanOut.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <strings.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <bsd/readpassphrase.h>

#include "login.h"
#include "runContext.h"

namespace {

struct GroupEntry {
    const char* word;  // group word past its dash
    Outcome (*handler)(Run& run, int argc, char** argv);
};

// Group words with a sub-command table; the single commands follow in their own tables.
// Every word is distinct, so the order of matching does not matter.
const GroupEntry kGroups[] = {
    {"user", ProcessUserCommands},
    {"sel", ProcessSelCommands},
    {"pef", ProcessPefCommands},
    {"Flash", ProcessFlashCommands},
    {"cardMode", ProcessFlashCommands},
    {"file", ProcessFlashCommands},
    {"net", ProcessNetworkCommands},
    {"gen", ProcessGeneralCommands},
    {"HB", ProcessHeartbeatCommands},
    {"SDK", ProcessSDKCommands},
    {"ModemCfg", ProcessModemCommands},
    {"PppCfg", ProcessPppCfgCommands},
    {"ASRCfg", ProcessASRCfgCommands},
};

const SingleCommand kServerInfoCommands[] = {
    {"GetServerInfo", [](Run& run, int, char**) { return ShowServerInfo(run); },
     "    -Getserverinfo\n", HelpShown::kAlways},
    {"setServerInfo", ProcessServerInfo,
     "    -Setserverinfo -ServerName <Name> -ServerLocn <Location> -ServerOS <OS> -ServerDesc <Description>\n",
     HelpShown::kAlways},
};

const SingleCommand kAdvancedCommands[] = {
    {"GetI2CCfg", [](Run& run, int, char**) { return ShowI2CConfig(run); }, "    -GetI2CCfg  \n",
     HelpShown::kAlways},
    {"SetI2CCfg", SetI2CAddress, "    -SetI2CCfg new_slave_addr format : 0x22\n", HelpShown::kAlways},
    {"GetIpmiCfg", [](Run& run, int, char**) { return ShowIpmiConfig(run); }, "    -GetIpmiCfg  \n",
     HelpShown::kAlways},
    {"SetIpmiCfg", SetIpmiConfig,
     "    -SetIpmiCfg BMC BMC_addr IPMI_Power_Control IPMI_Sensors Log_IPMI_Events\n"
     "\t\tExample: -SetIpmiCfg yes 0x20 yes yes yes\n",
     HelpShown::kAlways},
};

const SingleCommand kRemoteControlCommands[] = {
    {"HostCtrl", HostPowerControl, "    -HostCtrl <PowerUp | PowerDown | PowerCycle | Reset> \n", HelpShown::kAlways},
};

const SingleCommand kCardHealthCommands[] = {
    {"GetCardHealth", [](Run& run, int, char**) { return GetCardHealthInfo(run); },
     "    -GetCardHealth \n", HelpShown::kAlways},
};

const std::span<const SingleCommand> kSingleCommandTables[] = {
    kServerInfoCommands, kAdvancedCommands, kRemoteControlCommands, kCardHealthCommands,
};

const char kBannerRule[] =
    "___________________________________________________________________________________\n";

// The part of a medium or script word after its first character ("" for an empty word).
const char* PastFirstChar(const char* word)
{
    return word[0] != '\0' ? word + 1 : word;
}

}  // namespace

constinit const std::span<const SingleCommand> kServerInfoSingleCommands = kServerInfoCommands;
constinit const std::span<const SingleCommand> kAdvancedSingleCommands = kAdvancedCommands;
constinit const std::span<const SingleCommand> kRemoteControlSingleCommands = kRemoteControlCommands;
constinit const std::span<const SingleCommand> kCardHealthSingleCommands = kCardHealthCommands;

int x9strcasecmp(const char* a, const char* b)
{
    return strcasecmp(a, b);
}

char msgyn(const char* prompt)
{
    constexpr std::size_t kMaxAnswer = 39;
    char answer[kMaxAnswer + 1] = {};
    std::size_t len = 0;

    std::fputs(prompt, stdout);
    std::fflush(stdout);

    int c = std::getchar();
    while (c != EOF && std::isspace(c)) c = std::getchar();
    // Only the first character matters; the rest of a long word is read and dropped.
    while (c != EOF && !std::isspace(c)) {
        if (len < kMaxAnswer) answer[len++] = static_cast<char>(c);
        c = std::getchar();
    }
    if (c != EOF) std::ungetc(c, stdin);

    std::printf("\n");
    return static_cast<char>(std::toupper(static_cast<unsigned char>(answer[0])));
}

void GetPasswordInput(char* buf)
{
    constexpr std::size_t kPasswordBuffer = 256;
    std::fflush(stdout);
    // Asks on the controlling terminal with its echo off; a signal at the prompt (Ctrl-C,
    // SIGTERM) restores the echo before it ends the program. Without a terminal the
    // password is read from standard input.
    if (readpassphrase("Please Enter Password : ", buf, kPasswordBuffer, RPP_ECHO_OFF) == nullptr) buf[0] = '\0';
}

int ValidateUserOrPwd(const char* text)
{
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        const bool ok = (c < 0x80 && std::isalnum(c)) || c == '-' || c == '_';
        if (!ok) return 1;
    }
    return 0;
}

bool ReadWholeNumber(const char* word, long& value)
{
    const char* digits = word[0] == '-' || word[0] == '+' ? word + 1 : word;
    const char* end = digits + std::strlen(digits);
    if (digits == end) return false;
    long magnitude = 0;
    const auto [ptr, ec] = std::from_chars(digits, end, magnitude, 10);
    if (ec != std::errc() || ptr != end || digits[0] == '-') return false;
    value = word[0] == '-' ? -magnitude : magnitude;
    return true;
}

std::string CardText(const char* field, std::size_t size)
{
    std::string text = TextOfField(field, size);
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\n' && c != '\t') || byte == 0x7F) c = '?';
    }
    return text;
}

static_assert(sizeof(time_t) >= 8, "every card time stamp is a date");

std::string IsoUtcTime(uint32_t epoch)
{
    const time_t when = static_cast<time_t>(epoch);
    struct tm utc {};
    char text[32] = "";
    if (gmtime_r(&when, &utc) != nullptr) std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string HexText(const uint8_t* bytes, std::size_t count)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

const char* findprogname(const char* name)
{
    const char* last = std::strrchr(name, '\\');
    return last ? last + 1 : name;
}

std::vector<const char*> GroupWords()
{
    std::vector<const char*> words;
    for (const GroupEntry& entry : kGroups) words.push_back(entry.word);
    return words;
}

Outcome parseArguments(Run& run, int argc, char** argv)
{
    if (argc < 2 || argv[1][0] != '-') return Outcome::InvalidWords("no group word");
    const char* group = argv[1] + 1;
    for (const GroupEntry& entry : kGroups)
        if (x9strcasecmp(group, entry.word) == 0) return entry.handler(run, argc, argv);
    for (std::span<const SingleCommand> table : kSingleCommandTables)
        for (const SingleCommand& command : table)
            if (x9strcasecmp(group, command.word) == 0) return command.run(run, argc, argv);
    return Outcome::InvalidWords("unknown group word");
}

const SubCommand* FindSubCommand(std::span<const SubCommand> table, int argc, char** argv)
{
    if (argc < 3 || argv[2][0] != '-') return nullptr;
    for (const SubCommand& command : table)
        if (argc == command.wordCount && x9strcasecmp(argv[2] + 1, command.word) == 0) return &command;
    return nullptr;
}

Outcome RunSubCommand(Run& run, std::span<const SubCommand> table, int argc, char** argv)
{
    if (argc < 3 || argv[2][0] != '-') return Outcome::InvalidWords("no sub-command word");
    const SubCommand* command = FindSubCommand(table, argc, argv);
    if (command == nullptr) return Outcome::InvalidWords("unknown sub-command or word count");
    return command->run(run, argv);
}

namespace {

// Where every failure line goes.
void PrintFailureLine(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
}

}  // namespace

Outcome Reported(ZUNA_ERROR status, const char* failure)
{
    if (status != ZUNA_E_SUCCESS) PrintFailureLine(std::string(failure) + ", " + GetZunaErrorString(status) + "\n");
    return status;
}

Outcome ReportedLine(const Outcome& outcome, const char* format, ...)
{
    if (outcome.ok()) return outcome;
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string line(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(line.data(), line.size() + 1, format, again);
    va_end(again);
    PrintFailureLine(line);
    return outcome;
}

int ExitStatusOf(const Outcome& outcome)
{
    switch (outcome.kind()) {
    case Outcome::Kind::kSuccess: return kExitSuccess;
    case Outcome::Kind::kInvalidWords: return kExitInvalidWords;
    case Outcome::Kind::kNotReached: return kExitNotReached;
    case Outcome::Kind::kLocalFailure:
    case Outcome::Kind::kCardStatus: break;
    }
    return outcome.code() > kExitStatusMax ? kExitStatusMax : outcome.code();
}

namespace {

// Connects the run's client; prints the connection lines. False when it failed.
bool ConnectClient(CX9ZunaIfc& client)
{
    std::printf("Connecting..");
    std::fflush(stdout);
    if (!ReportedLine(client.Connect(), "Error during connect \n").ok()) return false;
    std::printf("Connected\n");
    return true;
}

constexpr std::size_t kPasswordBuffer = 256;

// Logs in with the password (wiped here once the login is done). Returns the login's
// outcome: success, invalid words for a text too long, or the card's status.
Outcome LoginClient(CX9ZunaIfc& client, const char* user, char (&password)[kPasswordBuffer])
{
    if (std::strlen(password) > ZUNA_LOGIN_MAX_TEXT) {
        explicit_bzero(password, sizeof(password));
        return ReportedLine(Outcome::InvalidWords("the password is too long", false),
                            "The password is too long: at most %zu characters are allowed!\n", ZUNA_LOGIN_MAX_TEXT);
    }
    const int status = client.ZunaLogin(user, password);
    explicit_bzero(password, sizeof(password));
    if (status != 0) {
        return ReportedLine(static_cast<ZUNA_ERROR>(status), "Invalid Username/Password!\n");
    }
    std::printf("Login Successful !\n");
    return Outcome::Success();
}

// The password: from the password file when one was given, else asked for.
bool ObtainPassword(const RunOptions& options, char (&password)[kPasswordBuffer])
{
    if (options.passwordFile.empty()) {
        GetPasswordInput(password);
        std::printf("\n");
        return true;
    }
    std::string reason;
    if (ReadPasswordFile(options.passwordFile, password, sizeof(password), &reason)) return true;
    std::fprintf(stderr, "%s: password file '%s': %s\n", kToolName, options.passwordFile.c_str(), reason.c_str());
    return false;
}

// What the run reports: the outcome, and the exit status when it is not the outcome's
// own (the short help's cases).
struct RunEnd {
    Outcome outcome;
    int exitStatus;
};
RunEnd Ended(const Outcome& outcome) { return {outcome, ExitStatusOf(outcome)}; }

// A new client on the medium, with the run's wait limit and trace.
std::unique_ptr<CX9ZunaIfc> MakeClient(X9ZUNAIFC_MEDIUM medium, const char* address, const RunOptions& options,
                                       const RunTrace& trace)
{
    auto client = std::make_unique<CX9ZunaIfc>(medium, OS_WINDOWS, address, ZUNA_TCP_PORT);
    if (options.timeout) client->SetWaitLimit(*options.timeout);
    if (options.trace) client->SetTrace([&trace](const std::string& line) { trace.Print(line); });
    return client;
}

RunEnd RunCardList(int argc, char** argv, RunContext& context);

// One run of the command line. knownPassword: the password already obtained (one card
// of many), taken from there and wiped there; null: read or asked for here.
RunEnd RunCommandLine(int argc, char** argv, RunContext& context, std::unique_ptr<CX9ZunaIfc>& client,
                      char (*knownPassword)[kPasswordBuffer] = nullptr)
{
    const RunOptions& options = context.options;
    if (argc < 2) {
        Usage(argv[0], 0, !options.json);
        return {Outcome::InvalidWords("no medium word"), kExitInvalidWords};
    }
    const char* first = argv[1];
    if (first[0] != '\0' && first[1] == 'h') {
        Usage(argv[0], 1, !options.json);
        return {Outcome::InvalidWords("help"), kExitInvalidWords};
    }

    Outcome result = Outcome::InvalidWords("unknown medium word");
    if (x9strcasecmp(PastFirstChar(first), "nw") == 0) {
        if (argc < 3 || argv[2][0] == '-') {
            Usage(argv[0], 0, !options.json);
            return {Outcome::InvalidWords("no card address"), kExitInvalidWords};
        }
        context.card = argv[2];
        context.SetCommand(argc - 4, argv + 4);
        // A run that will hold a password leaves no core dump and cannot be traced by
        // another process of the same user (the cards of a list inherit it).
        prctl(PR_SET_DUMPABLE, 0);
        if (NamesCardList(argv[2])) return RunCardList(argc, argv, context);
        // A password file that cannot be used is refused before anything is sent.
        char password[kPasswordBuffer] = {};
        const bool known = knownPassword != nullptr;
        if (known) {
            std::memcpy(password, *knownPassword, sizeof(password));
            explicit_bzero(*knownPassword, sizeof(*knownPassword));
        } else if (argc >= 4 && !options.passwordFile.empty() && !ObtainPassword(options, password)) {
            return Ended(Outcome::InvalidWords("the password file cannot be used", false));
        }
        client = MakeClient(MEDIUM_NW, argv[2], options, context.trace);
        if (!ConnectClient(*client)) {
            explicit_bzero(password, sizeof(password));
            return Ended(ZUNA_E_CONNECTION);
        }
        if (argc - 1 < 4) {
            explicit_bzero(password, sizeof(password));
            Usage(argv[0], 0, !options.json);
            return {Outcome::InvalidWords("too few words"), kExitTooFewWords};
        }
        if (std::strlen(argv[3]) > ZUNA_LOGIN_MAX_TEXT) {
            explicit_bzero(password, sizeof(password));
            return Ended(ReportedLine(Outcome::InvalidWords("the user name is too long", false),
                                      "The user name is too long: at most %zu characters are allowed!\n",
                                      ZUNA_LOGIN_MAX_TEXT));
        }
        if (!known && options.passwordFile.empty()) ObtainPassword(options, password);
        const Outcome login = LoginClient(*client, argv[3], password);
        if (!login.ok()) return Ended(login);
        Run run{*client, context};
        if (x9strcasecmp(PastFirstChar(argv[4]), "script") == 0)
            result = handleScript(run, argc, argv, kScriptNetwork);
        else
            result = parseArguments(run, argc - 3, argv + 3);
    } else if (x9strcasecmp(PastFirstChar(first), "cd") == 0) {
        context.card = "cd";
        context.SetCommand(argc - 2, argv + 2);
        client = MakeClient(MEDIUM_CD, nullptr, options, context.trace);
        if (!ConnectClient(*client)) return Ended(ZUNA_E_CONNECTION);
        if (argc - 1 < 2) {
            Usage(argv[0], 0, !options.json);
            return {Outcome::InvalidWords("too few words"), kExitTooFewWords};
        }
        Run run{*client, context};
        if (x9strcasecmp(PastFirstChar(argv[2]), "script") == 0)
            result = handleScript(run, argc, argv, kScriptHostInterface);
        else
            result = parseArguments(run, argc - 1, argv + 1);
    }

    if (result.invalidWords()) {
        if (result.offersHelp() && context.Confirm("\nSome arguments are invalid.Do you want usage help (y/n)?", false))
            Usage(argv[0], 0, !options.json);
        return Ended(result);
    }
    std::printf("\n%s", kBannerRule);
    std::printf("Remember to run %s with -flash -saveconfig to make changes permanent\n", kToolName);
    std::printf("%s", kBannerRule);
    return Ended(result);
}

// The end of a run: output flushed, the client closed, the JSON object written (when
// --json and the run has not written its own). Returns the exit status, at most 255.
int FinishRun(RunContext& context, const RunEnd& end, std::unique_ptr<CX9ZunaIfc>& client)
{
    std::fflush(stdout);
    client.reset();
    // An exit status keeps only its low byte: a status of 256 would read as success.
    const int status = end.exitStatus > kExitStatusMax ? kExitStatusMax : end.exitStatus;
    if (context.options.json && !context.json.Emitted()) context.EmitResult(end.outcome, status);
    return status;
}

// One card of many, in its own process: the single-card run with the card's address
// in place of the list, the password already obtained, and no question asked.
int RunOneCard(int argc, char** argv, const RunOptions& options, const std::string& card,
               char (*password)[kPasswordBuffer])
{
    RunContext context(options);
    context.unattended = true;
    if (options.json) context.json.Begin();
    std::string address = card;
    argv[2] = address.data();
    std::unique_ptr<CX9ZunaIfc> client;
    const RunEnd end = RunCommandLine(argc, argv, context, client, password);
    return FinishRun(context, end, client);
}

// -nw with a list of cards: the list checked whole before anything is sent, the
// password obtained once, then every card run in a child of its own.
RunEnd RunCardList(int argc, char** argv, RunContext& context)
{
    const RunOptions& options = context.options;
    std::vector<std::string> cards;
    std::string error;
    if (!ExpandCardList(argv[2], &cards, &error)) {
        std::fprintf(stderr, "%s: %s\n", kToolName, error.c_str());
        context.message = error;
        return Ended(Outcome::InvalidWords("the card list is refused", false));
    }
    // As for one card: a password file is read once there is a user; the password is
    // asked once there is a command for a user name that fits.
    char password[kPasswordBuffer] = {};
    bool obtained = false;
    if (argc >= 4 && !options.passwordFile.empty()) {
        if (!ObtainPassword(options, password))
            return Ended(Outcome::InvalidWords("the password file cannot be used", false));
        obtained = true;
    } else if (argc >= 5 && options.passwordFile.empty() && std::strlen(argv[3]) <= ZUNA_LOGIN_MAX_TEXT) {
        obtained = ObtainPassword(options, password);
    }
    // Each child gets the password in its copy of this process's memory, never in its
    // arguments or environment; this process wipes it once the last child has started.
    const std::vector<CardEnd> ends = RunOnEveryCard(
        cards, options.fanout, options.json ? &context.json : nullptr,
        [&](const std::string& card) { return RunOneCard(argc, argv, options, card, obtained ? &password : nullptr); },
        [&password] { explicit_bzero(password, sizeof(password)); });
    explicit_bzero(password, sizeof(password));
    std::fprintf(stderr, "%s: %s\n", kToolName, FanOutSummary(ends).c_str());
    const bool allSucceeded = std::all_of(ends.begin(), ends.end(), [](const CardEnd& end) { return end.exitStatus == 0; });
    if (allSucceeded) return {Outcome::Success(), kExitSuccess};
    context.message = "a card of the list failed";
    return {Outcome::LocalFailure(kExitCardOfListFailed, "a card of the list failed"), kExitCardOfListFailed};
}

}  // namespace

int KelvastMain(int argc, char** argv)
{
    RunOptions options;
    int consumed = 0;
    std::string error;
    const bool parsed = ParseRunOptions(argc, argv, &options, &consumed, &error);
    RunContext context(options);
    if (options.json) context.json.Begin();
    RunEnd end{Outcome::Success(), kExitSuccess};
    std::unique_ptr<CX9ZunaIfc> client;
    if (!parsed) {
        // Nothing is sent and nothing is asked.
        std::fprintf(stderr, "%s: %s\n", kToolName, error.c_str());
        end = Ended(Outcome::InvalidWords(error.c_str(), false));
        context.message = error;
    } else {
        // The words after the options, word 0 still the program's name.
        argv[consumed] = argv[0];
        end = RunCommandLine(argc - consumed, argv + consumed, context, client);
    }
    return FinishRun(context, end, client);
}
