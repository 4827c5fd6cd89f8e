// kelvast: dispatcher and the helpers shared by the command groups.
#include "zunaCmd.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <strings.h>
#include <unistd.h>

#include <bsd/readpassphrase.h>

#include "login.h"

namespace {

struct GroupEntry {
    const char* word;  // group word past its dash
    Outcome (*handler)(CX9ZunaIfc& client, int argc, char** argv);
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
    {"GetServerInfo", [](CX9ZunaIfc& client, int, char**) { return ShowServerInfo(client); },
     "    -Getserverinfo\n", HelpShown::kAlways},
    {"setServerInfo", ProcessServerInfo,
     "    -Setserverinfo -ServerName <Name> -ServerLocn <Location> -ServerOS <OS> -ServerDesc <Description>\n",
     HelpShown::kAlways},
};

const SingleCommand kAdvancedCommands[] = {
    {"GetI2CCfg", [](CX9ZunaIfc& client, int, char**) { return ShowI2CConfig(client); }, "    -GetI2CCfg  \n",
     HelpShown::kAlways},
    {"SetI2CCfg", SetI2CAddress, "    -SetI2CCfg new_slave_addr format : 0x22\n", HelpShown::kAlways},
    {"GetIpmiCfg", [](CX9ZunaIfc& client, int, char**) { return ShowIpmiConfig(client); }, "    -GetIpmiCfg  \n",
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
    {"GetCardHealth", [](CX9ZunaIfc& client, int, char**) { return GetCardHealthInfo(client); },
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

const char* findprogname(const char* name)
{
    const char* last = std::strrchr(name, '\\');
    return last ? last + 1 : name;
}

Outcome parseArguments(CX9ZunaIfc& client, int argc, char** argv)
{
    if (argc < 2 || argv[1][0] != '-') return Outcome::InvalidWords("no group word");
    const char* group = argv[1] + 1;
    for (const GroupEntry& entry : kGroups)
        if (x9strcasecmp(group, entry.word) == 0) return entry.handler(client, argc, argv);
    for (std::span<const SingleCommand> table : kSingleCommandTables)
        for (const SingleCommand& command : table)
            if (x9strcasecmp(group, command.word) == 0) return command.run(client, argc, argv);
    return Outcome::InvalidWords("unknown group word");
}

const SubCommand* FindSubCommand(std::span<const SubCommand> table, int argc, char** argv)
{
    if (argc < 3 || argv[2][0] != '-') return nullptr;
    for (const SubCommand& command : table)
        if (argc == command.wordCount && x9strcasecmp(argv[2] + 1, command.word) == 0) return &command;
    return nullptr;
}

Outcome RunSubCommand(CX9ZunaIfc& client, std::span<const SubCommand> table, int argc, char** argv)
{
    if (argc < 3 || argv[2][0] != '-') return Outcome::InvalidWords("no sub-command word");
    const SubCommand* command = FindSubCommand(table, argc, argv);
    if (command == nullptr) return Outcome::InvalidWords("unknown sub-command or word count");
    return command->run(client, argv);
}

Outcome Reported(ZUNA_ERROR status, const char* failure)
{
    if (status != ZUNA_E_SUCCESS) std::printf("%s, %s\n", failure, GetZunaErrorString(status));
    return status;
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
    if (client.Connect() != ZUNA_E_SUCCESS) {
        std::printf("Error during connect \n");
        return false;
    }
    std::printf("Connected\n");
    return true;
}

// Asks for the password and logs in. Returns the login status (0 logged in).
int LoginClient(CX9ZunaIfc& client, const char* user)
{
    if (std::strlen(user) > ZUNA_LOGIN_MAX_TEXT) {
        std::printf("The user name is too long: at most %zu characters are allowed!\n", ZUNA_LOGIN_MAX_TEXT);
        return kExitInvalidWords;
    }
    char password[256];
    GetPasswordInput(password);
    std::printf("\n");
    if (std::strlen(password) > ZUNA_LOGIN_MAX_TEXT) {
        explicit_bzero(password, sizeof(password));
        std::printf("The password is too long: at most %zu characters are allowed!\n", ZUNA_LOGIN_MAX_TEXT);
        return kExitInvalidWords;
    }
    const int status = client.ZunaLogin(user, password);
    explicit_bzero(password, sizeof(password));
    if (status != 0) {
        std::printf("Invalid Username/Password!\n");
        return status;
    }
    std::printf("Login Successful !\n");
    return 0;
}

int RunCommandLine(int argc, char** argv, std::unique_ptr<CX9ZunaIfc>& client)
{
    if (argc < 2) {
        Usage(argv[0], 0);
        return kExitInvalidWords;
    }
    const char* first = argv[1];
    if (first[0] != '\0' && first[1] == 'h') {
        Usage(argv[0], 1);
        return kExitInvalidWords;
    }

    Outcome result = Outcome::InvalidWords("unknown medium word");
    if (x9strcasecmp(PastFirstChar(first), "nw") == 0) {
        if (argc < 3 || argv[2][0] == '-') {
            Usage(argv[0], 0);
            return kExitInvalidWords;
        }
        client = std::make_unique<CX9ZunaIfc>(MEDIUM_NW, OS_WINDOWS, argv[2], ZUNA_TCP_PORT);
        if (!ConnectClient(*client)) return kExitNotReached;
        if (argc - 1 < 4) {
            Usage(argv[0], 0);
            return kExitTooFewWords;
        }
        const int login = LoginClient(*client, argv[3]);
        if (login != 0) return login;
        if (x9strcasecmp(PastFirstChar(argv[4]), "script") == 0)
            result = handleScript(*client, argc, argv, kScriptNetwork);
        else
            result = parseArguments(*client, argc - 3, argv + 3);
    } else if (x9strcasecmp(PastFirstChar(first), "cd") == 0) {
        client = std::make_unique<CX9ZunaIfc>(MEDIUM_CD, OS_WINDOWS, nullptr, 0);
        if (!ConnectClient(*client)) return kExitNotReached;
        if (argc - 1 < 2) {
            Usage(argv[0], 0);
            return kExitTooFewWords;
        }
        if (x9strcasecmp(PastFirstChar(argv[2]), "script") == 0)
            result = handleScript(*client, argc, argv, kScriptHostInterface);
        else
            result = parseArguments(*client, argc - 1, argv + 1);
    }

    if (result.invalidWords()) {
        if (result.offersHelp() && msgyn("\nSome arguments are invalid.Do you want usage help (y/n)?") == 'Y')
            Usage(argv[0], 0);
        return kExitInvalidWords;
    }
    std::printf("\n%s", kBannerRule);
    std::printf("Remember to run %s with -flash -saveconfig to make changes permanent\n", kToolName);
    std::printf("%s", kBannerRule);
    return ExitStatusOf(result);
}

}  // namespace

int KelvastMain(int argc, char** argv)
{
    std::unique_ptr<CX9ZunaIfc> client;
    const int status = RunCommandLine(argc, argv, client);
    std::fflush(stdout);
    client.reset();
    // An exit status keeps only its low byte: a status of 256 would read as success.
    return status > kExitStatusMax ? kExitStatusMax : status;
}
