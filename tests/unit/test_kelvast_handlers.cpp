// The tool's handlers against the scripted medium: what each prints when the card
// refuses it and the outcome it returns, without a card or a process. The end-to-end
// files keep one run per group; the refusals of each group are rows here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <stdio_ext.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "fake_medium.h"
#include "zunaCmd.h"
#include "tool_run.h"

namespace {

TEST(Outcome, OneExitStatusForEachKind)
{
    struct Row {
        Outcome outcome;
        int exit;
        bool help;
    };
    const Row rows[] = {
        {Outcome::Success(), 0, false},
        {Outcome(ZUNA_E_SUCCESS), 0, false},
        {Outcome::InvalidWords("unknown word"), 8, true},
        {Outcome::InvalidWords("script line", false), 8, false},
        {Outcome(ZUNA_E_ARG), 8, false},  // the card's 8: no help question
        {Outcome(ZUNA_E_AUTH), 1, false},
        {Outcome(ZUNA_E_RANGE), 26, false},
        {Outcome(ZUNA_E_CONNECTION), 33, false},
        {Outcome(ZUNA_E_FILEREAD), 35, false},
        {Outcome(ZUNA_E_LASTERR), 255, false},
        {Outcome(static_cast<ZUNA_ERROR>(256)), 255, false},
        {Outcome::LocalFailure(kExitImageFile, "image"), 40, false},
        {Outcome::LocalFailure(kExitHostFileWrite, "file"), 41, false},
        {Outcome::LocalFailure(kExitConfigFile, "config"), 42, false},
        {Outcome::LocalFailure(kExitTimeNotShown, "time"), 43, false},
        {Outcome::LocalFailure(kExitCardPathTooLong, "path"), 28, false},
        {Outcome::LocalFailure(kExitValueRefused, "name"), 26, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ExitStatusOf(row.outcome), row.exit) << row.outcome.code();
        EXPECT_EQ(row.outcome.offersHelp(), row.help) << row.outcome.code();
        EXPECT_EQ(row.outcome.invalidWords(), row.exit == 8 && row.outcome.kind() == Outcome::Kind::kInvalidWords);
    }
    EXPECT_EQ(Outcome(ZUNA_E_CONNECTION).kind(), Outcome::Kind::kNotReached);
    EXPECT_EQ(Outcome(ZUNA_E_BUSY).kind(), Outcome::Kind::kCardStatus);
}

// The local codes differ from one another except where the table says they share one.
TEST(Outcome, LocalCodesOfTheTableAreDistinct)
{
    std::vector<int> seen;
    for (const ExitStatusRow& row : kExitStatusTable) {
        EXPECT_EQ(std::count(seen.begin(), seen.end(), row.status), 0) << row.status;
        seen.push_back(row.status);
    }
}

// The reporter prints a failure's one line, nothing for success, and gives back the
// outcome it was handed (kind, code, help question).
TEST(FailureReporter, PrintsOnlyAFailuresLineAndGivesTheOutcomeBack)
{
    struct Row {
        Outcome (*report)();
        std::string line;
        int exit;
        Outcome::Kind kind;
        bool help;
    };
    const Row rows[] = {
        {[] { return Reported(ZUNA_E_SUCCESS, "Add user failed"); }, "", 0, Outcome::Kind::kSuccess, false},
        {[] { return Reported(ZUNA_E_PERM, "Add user failed"); }, "Add user failed, Permission denied\n", 5,
         Outcome::Kind::kCardStatus, false},
        {[] { return Reported(ZUNA_E_CONNECTION, "X Failed"); }, "X Failed, Error during connect \n", 33,
         Outcome::Kind::kNotReached, false},
        {[] { return ReportedLine(ZUNA_E_SUCCESS, "Error when getting %s Name!\n", "ORVA"); }, "", 0,
         Outcome::Kind::kSuccess, false},
        {[] { return ReportedLine(ZUNA_E_BUSY, "Error when getting %s Name!\n", "ORVA"); },
         "Error when getting ORVA Name!\n", 3, Outcome::Kind::kCardStatus, false},
        {[] { return ReportedLine(Outcome::LocalFailure(kExitTimeNotShown, "time"), "Error when getting %s time!\n", "ORVA"); },
         "Error when getting ORVA time!\n", 43, Outcome::Kind::kLocalFailure, false},
        // A line without its own newline stays without one.
        {[] { return ReportedLine(Outcome::InvalidWords("words"), "Invalid Auth Protocol:%s\nValid input:MD5/SHA", "X"); },
         "Invalid Auth Protocol:X\nValid input:MD5/SHA", 8, Outcome::Kind::kInvalidWords, true},
        {[] { return ReportedLine(Outcome::InvalidWords("line", false), "%s", std::string(600, 'e').c_str()); },
         std::string(600, 'e'), 8, Outcome::Kind::kInvalidWords, false},
    };
    for (const Row& row : rows) {
        ::testing::internal::CaptureStdout();
        const Outcome outcome = row.report();
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), row.line);
        EXPECT_EQ(ExitStatusOf(outcome), row.exit) << row.line;
        EXPECT_EQ(outcome.kind(), row.kind) << row.line;
        EXPECT_EQ(outcome.offersHelp(), row.help) << row.line;
    }
}

// One refused command: the words after the group's, the medium's answers in order
// (a status with its data, or a medium failure as rc), what is printed, the exit
// status and what is typed on standard input.
struct Answer {
    int rc;
    uint16_t status;
    std::vector<unsigned char> data = {};
};
struct Refusal {
    const char* name;
    std::vector<std::string> words;  // group word first
    std::vector<Answer> answers;
    std::string output;
    int exit;
    std::string input = {};
};

// Standard input read from a file holding the text, for as long as it lives.
class TypedInput {
public:
    explicit TypedInput(const std::string& text)
    {
        const std::string path = "/tmp/kelvast-unit-input-" + std::to_string(::getpid());
        std::FILE* f = std::fopen(path.c_str(), "w");
        EXPECT_NE(f, nullptr);
        if (f != nullptr) {
            std::fputs(text.c_str(), f);
            std::fclose(f);
        }
        const int fd = ::open(path.c_str(), O_RDONLY);
        ::unlink(path.c_str());
        m_saved = ::dup(STDIN_FILENO);
        ::dup2(fd, STDIN_FILENO);
        ::close(fd);
        Fresh();
    }
    ~TypedInput()
    {
        Fresh();
        ::dup2(m_saved, STDIN_FILENO);
        ::close(m_saved);
    }
    TypedInput(const TypedInput&) = delete;
    TypedInput& operator=(const TypedInput&) = delete;

private:
    static void Fresh()
    {
        __fpurge(stdin);
        clearerr(stdin);
    }
    int m_saved = -1;
};

void PrintTo(const Refusal& r, std::ostream* os)
{
    *os << r.name;
}

class CardRefused : public ::testing::TestWithParam<Refusal> {};

TEST_P(CardRefused, PrintsOneFailureLineAndGivesTheStatus)
{
    const Refusal& r = GetParam();
    FakeMediumLog log;
    for (const Answer& a : r.answers) log.replies.push_back({a.rc, MakeReply(a.status, a.data)});
    CX9ZunaIfc client(std::make_unique<FakeMedium>(log));
    client.resetWaitMicros = 0;

    std::vector<std::string> words = r.words;
    for (std::string& w : words)
        if (const auto at = w.find("%pid"); at != std::string::npos) w.replace(at, 4, std::to_string(::getpid()));
    std::vector<char*> argv{const_cast<char*>("")};
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    const TypedInput typed(r.input);
    ::testing::internal::CaptureStdout();
    ToolRun tool(client);
    const Outcome outcome = parseArguments(tool.run, static_cast<int>(argv.size() - 1), argv.data());
    const std::string out = ::testing::internal::GetCapturedStdout();

    EXPECT_EQ(out, r.output);
    EXPECT_EQ(ExitStatusOf(outcome), r.exit);
    EXPECT_FALSE(outcome.invalidWords()) << outcome.reason();
    EXPECT_TRUE(log.replies.empty()) << "every scripted answer is asked for";
}

std::string CaseName(const ::testing::TestParamInfo<Refusal>& info)
{
    return info.param.name;
}

constexpr Answer kDropped{1, 0};
Answer Refused(uint16_t status)
{
    return {0, status};
}
// The card's answer of success with its record.
Answer Gives(std::vector<unsigned char> data)
{
    return {0, 0, std::move(data)};
}

INSTANTIATE_TEST_SUITE_P(
    Advanced, CardRefused,
    ::testing::Values(
        Refusal{"ModemGet", {"-ModemCfg", "-get", "ttyS3"}, {Refused(20)}, "Error when getting Modem configuration!\n", 20},
        Refusal{"ModemFirstPortFails", {"-ModemCfg", "-get"}, {Refused(20)}, "Error when getting Modem configuration!\n", 20},
        Refusal{"ModemSet", {"-ModemCfg", "-set", "ttyS2", "-s", "9600"}, {Refused(19)},
                "Set Modem Config Failed, Read only\n", 19},
        Refusal{"PppGet", {"-PppCfg", "-get"}, {Refused(5)}, "Error when getting PPP server IPs !\n", 5},
        Refusal{"PppSet", {"-PppCfg", "-set", "10.1.1.1", "10.1.1.2"}, {Refused(28)},
                "Error when setting PPP server IPs !\n", 28},
        Refusal{"AsrGet", {"-ASRCfg", "-get"}, {Refused(3)}, "Not able to get ASR config !\n", 3},
        Refusal{"AsrDisable", {"-ASRCfg", "-set", "DISABLED"}, {Refused(12)},
                "Set ASR Config Failed, Error during access\n", 12},
        Refusal{"AsrSet", {"-ASRCfg", "-set", "ENABLED", "RESET", "300"}, {Refused(28)},
                "asr->asr_status: 1 asr->asr_method: 2 asr->asr_delay: 300\n"
                "Set ASR Config Failed, Invalid argument/data\n",
                28},
        Refusal{"I2cGet", {"-GetI2CCfg"}, {Refused(5)}, "Unable to get I2C slave adress\n", 5},
        Refusal{"I2cSet", {"-SetI2CCfg", "0x22"}, {Refused(5)}, "Unable to set I2C slave adress\n", 5},
        Refusal{"IpmiGet", {"-GetIpmiCfg"}, {Refused(5)}, "Unable to get IPMI configuration information\n", 5},
        Refusal{"IpmiSet", {"-SetIpmiCfg", "yes", "0x20", "yes", "yes", "yes"}, {Refused(21)},
                "Unable to set IPMI configuration information\nCheck the IPMB connectivity and try again\n"
                "Note: To do this configuration you motherboard should have BMC \nand ORVA should be "
                "connected to BMC using proper connector\n",
                21},
        Refusal{"HostCtrl", {"-HostCtrl", "PowerCycle"}, {Refused(5)}, "Unable to perform Remote Power management\n", 5},
        Refusal{"HealthRefused", {"-GetCardHealth"}, {Refused(5)}, "Get Card Health Failed, Permission denied\n", 5},
        Refusal{"HealthLastError", {"-GetCardHealth"}, {Refused(65535)}, "Get Card Health Failed, Unknown ZUNA error\n",
                255},
        Refusal{"HealthNotReached", {"-GetCardHealth"}, {kDropped}, "Get Card Health Failed, Error during connect \n", 33},
        Refusal{"ServerInfoGet", {"-GetServerInfo"}, {Refused(5)}, "Unable to get server information\n", 5}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    User, CardRefused,
    ::testing::Values(
        Refusal{"ListAllUser", {"-user", "-listAllUser"}, {Refused(5)}, "List Users Failed, Permission denied\n", 5},
        Refusal{"ListAll", {"-user", "-listAll"}, {Refused(3)}, "List Users Failed, System is busy\n", 3},
        Refusal{"GetSnmp", {"-user", "-getSnmp"}, {Refused(12)}, "Error in getting SNMP users' infomation\n", 12},
        Refusal{"Add", {"-user", "-add", "ops", "password1"}, {Refused(19)}, "Add user failed, Read only\n", 19},
        Refusal{"AddSnmp", {"-user", "-add", "t", "pw", "SHA", "NONE"}, {Refused(21)},
                "Add SNMP user failed, Error during I/O\n", 21},
        Refusal{"Del", {"-user", "-del", "admin"}, {Refused(30)}, "Remove user failed, General error\n", 30}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Heartbeat, CardRefused,
    ::testing::Values(
        Refusal{"GetHb", {"-HB", "-GetHB"}, {Refused(5)}, "Get Heartbeat Interval Failed, Permission denied\n", 5},
        Refusal{"GetHbConnectionLost", {"-HB", "-GetHB"}, {kDropped},
                "Get Heartbeat Interval Failed, Error during connect \n", 33},
        Refusal{"SetHb", {"-HB", "-SetHB", "600"}, {Refused(28)}, "Set Heartbeat Failed, Invalid argument/data\n", 28},
        Refusal{"SetHbRaised", {"-HB", "-SetHB", "100"}, {Refused(19)},
                "Defaulting HB interval to minimum of 240 seconds\nSet Heartbeat Failed, Read only\n", 19}),
    CaseName);

const std::string kSetStaticFailed = "Error while setting network configuration ! \n";
INSTANTIATE_TEST_SUITE_P(
    Network, CardRefused,
    ::testing::Values(
        Refusal{"GetMac", {"-net", "-GetMAC"}, {Refused(5)}, "Error while getting MAC address !\n", 5},
        Refusal{"GetConfig", {"-net", "-GetConfig"}, {Refused(21)}, "Unable to get Network configuration ! \n", 21},
        Refusal{"SetDhcp", {"-net", "-SetDHCP"}, {Refused(5)}, "Error while changing the configuration! \n", 5},
        Refusal{"SetStatic", {"-net", "-SetStatic", "10.0.0.9", "255.255.255.0", "10.0.0.1"}, {Refused(28)},
                kSetStaticFailed, 28},
        Refusal{"SetStaticBusy", {"-net", "-SetStatic", "10.0.0.9", "255.255.255.0", "10.0.0.1"}, {Refused(3)},
                kSetStaticFailed, 3},
        // The host interface's one try ran out while the card stayed busy: not a move.
        Refusal{"SetStaticBusyPastTheTry", {"-net", "-SetStatic", "10.0.0.9", "255.255.255.0", "10.0.0.1"},
                {{ZUNA_E_TMOUT, 0}}, kSetStaticFailed, 33},
        // Only a connection that ends counts as the card having moved.
        Refusal{"SetStaticConnectionEnds", {"-net", "-SetStatic", "10.0.0.9", "255.255.255.0", "10.0.0.1"},
                {{-1, 0}},
                "The IP address of ORVA card has been changed to 10.0.0.9.\nPlease use the new IP to connect to the "
                "card.\n",
                0},
        Refusal{"GetMacConnectionLost", {"-net", "-GetMAC"}, {kDropped}, "Error while getting MAC address !\n", 33}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Pef, CardRefused,
    ::testing::Values(Refusal{"Get", {"-pef", "-ARInfoGet", "4"}, {Refused(16)},
                              "Error while get number of Records, Resource not exist\n", 16},
                      // Success without a record is no recipient: never shown as one.
                      Refusal{"GetSuccessWithoutData", {"-pef", "-ARInfoGet", "4"}, {Refused(0)},
                              "Error while get number of Records, Error during connect \n", 33},
                      // The recipient is shown as sent, then the refusal.
                      Refusal{"Set",
                              {"-pef", "-ARInfoSet", "3", "ops", "ops@example.com", "10.0.0.9", "x", "Mail", "lan",
                               "xx", "All"},
                              {Refused(5)},
                              "Alert Receipient    : 3 \nName                : ops \n"
                              "Email-Id            : ops@example.com \nSNMP Destination    : 10.0.0.9 \n"
                              "PPP Login name      :  \nPPP Password        :  \n"
                              "Notification Method : Mail via LAN \nAlert Level         : All Alerts \n"
                              "Error while get number of Records, Permission denied\n",
                              5}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Flash, CardRefused,
    ::testing::Values(
        Refusal{"CardModeUnread", {"-flash", "-get"}, {Refused(5)}, "Unable to get Card Mode\n", 5},
        Refusal{"SaveConfig", {"-flash", "-SaveConfig"}, {Refused(19)}, "Save Config Failed, Read only\n", 19},
        Refusal{"SaveSdk", {"-flash", "-SaveSDK"}, {Refused(21)}, "Save SDK Failed, Error during I/O\n", 21},
        Refusal{"FlashMode", {"-cardMode", "-Flash"}, {kDropped}, "Set Flash Mode Failed, Error during connect \n", 33},
        // A refused read with status 1 is never taken for "Different" (also 1).
        Refusal{"CompareBootReadRefused", {"-flash", "-CompareBoot", "/tmp/kelvast-unit-boot-%pid"}, {Refused(1)},
                "Read Boot Block Failed, Authentication failed\n", 1},
        Refusal{"CompareBootReadLost", {"-flash", "-CompareBoot", "/tmp/kelvast-unit-boot-%pid"}, {kDropped},
                "Read Boot Block Failed, Error during connect \n", 33}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    General, CardRefused,
    ::testing::Values(
        Refusal{"FwInfo", {"-gen", "-fwInfo"}, {Refused(5)}, "Error when getting firmware info !\n", 5},
        Refusal{"GetName", {"-gen", "-GetName"}, {Refused(16)}, "Error when getting ORVA Name!\n", 16},
        Refusal{"SetName", {"-gen", "-SetName", "srv1"}, {Refused(19)}, "Error while setting name!\n", 19},
        Refusal{"GetSmtpCfg", {"-gen", "-GetSmtpCfg"}, {Refused(12)}, "Error when getting SMTP Config!\n", 12},
        Refusal{"SetSmtpCfg", {"-gen", "-SetSmtpCfg", "10.0.0.1", "a@b.c", "10.0.0.2", "d@e.f"}, {Refused(28)},
                "Error when setting SMTP Config!\n", 28},
        Refusal{"GetTime", {"-gen", "-GetTime"}, {Refused(21)}, "Error when getting ORVA time!\n", 21},
        // The card's clock must be read before it is set; failing that gives 30.
        Refusal{"SetTimeClockUnreadable", {"-gen", "-SetTime", "010112002021.00"}, {Refused(5)},
                "Error while setting time!\n", 30},
        Refusal{"SetTimeForceClockUnreadable", {"-gen", "-SetTime", "010112002020.00", "Force"}, {Refused(3)},
                "Error while setting time!\n", 30},
        // The clock read (at 0 and in 2038), then the setting refused: forward, and back with Force.
        Refusal{"SetTime", {"-gen", "-SetTime", "010112002021.00"}, {Gives({0, 0, 0, 0, 0}), Refused(5)},
                "Error while setting time!\n", 5},
        Refusal{"SetTimeForce", {"-gen", "-SetTime", "010112002020.00", "Force"},
                {Gives({0, 0x7F, 0xFF, 0xFF, 0xFF}), Refused(5)}, "Error while setting time!\n", 5},
        Refusal{"Reset", {"-gen", "-Reset", "-NoConfig"}, {Refused(5)},
                "Are you sure you want to reset the ORVA(y/n)?\nError when resetting the card...\n", 5, "Yes\n"}),
    CaseName);

// The event log's state: version, two records (big-endian), the rest zero.
const Answer kTwoRecords = Gives({0x01, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
INSTANTIATE_TEST_SUITE_P(
    EventLog, CardRefused,
    ::testing::Values(
        Refusal{"ListAllCount", {"-sel", "-listall"}, {Refused(5)},
                "Error while getting number of Records, Permission denied\n", 5},
        Refusal{"ListAllExCount", {"-sel", "-listallex"}, {Refused(3)},
                "Error while getting number of Records, System is busy\n", 3},
        Refusal{"SelInfo", {"-sel", "-selInfo"}, {Refused(3)}, "Error while get number of Records, System is busy\n", 3},
        Refusal{"Add", {"-sel", "-add", "3", "7", "W"}, {Refused(19)}, "Add SEL Record Failed, Read only\n", 19},
        Refusal{"Del", {"-sel", "-del", "1"}, {Refused(5)}, "Del SEL Record Failed, Permission denied\n", 5},
        // A refused clear reports the deletion's line.
        Refusal{"Clear", {"-sel", "-clear"}, {Refused(16)}, "Del SEL Record Failed, Resource not exist\n", 16},
        Refusal{"GetPolicy", {"-sel", "-getPolicy"}, {Refused(12)}, "Get SEL policy failed, Error during access\n", 12},
        Refusal{"SetPolicy", {"-sel", "-setPolicy", "stop"}, {Refused(28)},
                "Policy: 2\nSet SEL policy failed, Invalid argument/data\n", 28},
        // Of two records: a record the card cannot give is reported and the listing goes
        // on; status 65535 ends it at once.
        Refusal{"ListAllRecords", {"-sel", "-listall"}, {kTwoRecords, Refused(5), Refused(5)},
                "Number of Record : 2 \nError while retreiving Records, Permission denied\n"
                "Error while retreiving Records, Permission denied\n",
                5},
        Refusal{"ListAllExRecords", {"-sel", "-listallex"}, {kTwoRecords, Refused(21), Refused(21)},
                "Number of Record : 2 \nError while retreiving Records, Error during I/O\n"
                "Error while retreiving Records, Error during I/O\n",
                21},
        Refusal{"ListAllLastError", {"-sel", "-listall"}, {kTwoRecords, Refused(65535)},
                "Number of Record : 2 \nError while retreiving Records, Unknown ZUNA error\n", 255},
        Refusal{"ListAllExLastError", {"-sel", "-listallex"}, {kTwoRecords, Refused(65535)},
                "Number of Record : 2 \nError while retreiving Records, Unknown ZUNA error\n", 255}),
    CaseName);

const std::string kNoSdk = "Cannot read sensors - no SDK found\n";
INSTANTIATE_TEST_SUITE_P(
    Sdk, CardRefused,
    ::testing::Values(
        Refusal{"UploadNoHostFile", {"-SDK", "-uploadSDK", "/nonexistent/sdk.dat"}, {}, "Error uploading SDK\n", 14},
        // An empty file: its one fragment, the commit, the reread; a refused fragment is 30.
        Refusal{"UploadFragment", {"-SDK", "-uploadSDK", "/dev/null"}, {Refused(19)}, "Error uploading SDK\n", 30},
        Refusal{"UploadCommit", {"-SDK", "-uploadSDK", "/dev/null"}, {Refused(0), Refused(5)}, "Error uploading SDK\n", 5},
        Refusal{"UploadReread", {"-SDK", "-uploadSDK", "/dev/null"}, {Refused(0), Refused(0), Refused(3)},
                "Error uploading SDK\n", 3},
        Refusal{"Delete", {"-SDK", "-deleteSDK"}, {Refused(5)}, "Error deleting SDK\n", 5},
        Refusal{"Reread", {"-SDK", "-rereadSDK"}, {Refused(3)}, "Error restarting HHMD\n", 3},
        Refusal{"ReadRefused", {"-SDK", "-readsensors"}, {Refused(5)}, kNoSdk, 30},
        Refusal{"ReadDropped", {"-SDK", "-readsensors"}, {kDropped}, kNoSdk, 33}),
    CaseName);

// The image file the -CompareBoot rows read: one whole block.
class BootFile : public ::testing::Environment {
public:
    void SetUp() override
    {
        std::FILE* f = std::fopen(Path().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const std::vector<unsigned char> block(FLASH_BLOCK_LEN, 0x5A);
        ASSERT_EQ(std::fwrite(block.data(), 1, block.size(), f), block.size());
        std::fclose(f);
    }
    void TearDown() override { ::unlink(Path().c_str()); }
    static std::string Path() { return "/tmp/kelvast-unit-boot-" + std::to_string(::getpid()); }
};
const auto* const kBootFile = ::testing::AddGlobalTestEnvironment(new BootFile);

}  // namespace
