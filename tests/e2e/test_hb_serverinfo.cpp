// The -HB group (the card's heartbeat interval) and the server information commands
// -GetServerInfo and -setServerInfo, each on its success path and when the card
// refuses. A setting is checked by reading it back in a later run.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "command_runs.h"
#include "expected_text.h"
#include "harness.h"

namespace e2e {
namespace {

using groups::Accepted;
using groups::Concat;
using groups::Refused;
using groups::Words;
using groups::CardFailure;
using groups::FailureCase;
using groups::InGroup;
using groups::operator<<;

// --- Heartbeat interval ----------------------------------------------------------------

const std::string kDefaulting = "Defaulting HB interval to minimum of 240 seconds\n";
const std::string kHeartbeatSet = "Heartbeat interval is set successfully!\n";

std::string IntervalLine(const std::string& seconds)
{
    return "Heartbeat interval is " + seconds + " seconds\n";
}

using Heartbeat = CardTest;

TEST_F(Heartbeat, NewCardHasTheDefaultInterval)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-HB", "-GetHB"}), 0, Accepted(IntervalLine("300")), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-hb", "-gethb"}), 0, Accepted(IntervalLine("300")), kPasswordTerminal));
}

// The value as atoi reads it; 0 to 239 are raised to 240, negative values are sent
// as their 32-bit pattern and read back as signed numbers.
struct SetHbCase {
    const char* name;
    std::string word;
    bool defaulted;
    std::string shown;  // what -GetHB then prints
};

class SetHb : public CardTest, public ::testing::WithParamInterface<SetHbCase> {};

TEST_P(SetHb, SetsTheIntervalTheCardReadsBack)
{
    const SetHbCase& c = GetParam();
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-HB", "-SetHB", c.word}), 0,
                           Accepted((c.defaulted ? kDefaulting : "") + kHeartbeatSet), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-HB", "-GetHB"}), 0, Accepted(IntervalLine(c.shown)), kPasswordTerminal));
}

INSTANTIATE_TEST_SUITE_P(
    Values, SetHb,
    ::testing::Values(SetHbCase{"BelowTheMinimum", "100", true, "240"}, SetHbCase{"Zero", "0", true, "240"},
                      SetHbCase{"JustBelowTheMinimum", "239", true, "240"}, SetHbCase{"NotANumber", "abc", true, "240"},
                      SetHbCase{"DigitsThenLetters", "12x", true, "240"}, SetHbCase{"TheMinimum", "240", false, "240"},
                      SetHbCase{"AboveTheMinimum", "6000", false, "6000"},
                      SetHbCase{"LeadingBlankAndPlus", " +6000", false, "6000"},
                      SetHbCase{"LargestInTheHelp", "2147483646", false, "2147483646"},
                      SetHbCase{"MinusOne", "-1", false, "-1"},
                      SetHbCase{"ThreeBillion", "3000000000", false, "-1294967296"}),
    CaseName());

TEST_F(Heartbeat, SubCommandWordsIgnoreLetterCase)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-Hb", "-sethb", "600"}), 0, Accepted(kHeartbeatSet), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-HB", "-GETHB"}), 0, Accepted(IntervalLine("600")), kPasswordTerminal));
}

struct InvalidWordsCase {
    const char* name;
    Words words;
};

class HeartbeatInvalidWords : public CardTest, public ::testing::WithParamInterface<InvalidWordsCase> {};

// The question, and the card's interval untouched.
TEST_P(HeartbeatInvalidWords, AsksWhetherToShowTheHelp)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast(Concat({"-HB"}, GetParam().words), "n\n"), 8, Refused(), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-HB", "-GetHB"}), 0, Accepted(IntervalLine("300")), kPasswordTerminal));
}

INSTANTIATE_TEST_SUITE_P(Words, HeartbeatInvalidWords,
                         ::testing::Values(InvalidWordsCase{"NoSubCommand", {}},
                                           InvalidWordsCase{"SubCommandWithoutDash", {"SetHB", "600"}},
                                           InvalidWordsCase{"UnknownSubCommand", {"-Interval"}},
                                           InvalidWordsCase{"GetHbWithExtraWord", {"-GetHB", "600"}},
                                           InvalidWordsCase{"SetHbWithoutValue", {"-SetHB"}},
                                           InvalidWordsCase{"SetHbWithTwoValues", {"-SetHB", "600", "700"}}),
                         CaseName());

// --- Server information ----------------------------------------------------------------

struct ServerInfo {
    std::string name;
    std::string location;
    std::string os;
    std::string description;
};

std::string ServerInfoText(const ServerInfo& i)
{
    return "Server Name: " + i.name + "\nServer Location: " + i.location + "\nServer OS: " + i.os +
           "\nServer Description: " + i.description + "\n";
}

const std::string kServerInfoSet = "Server Information set successfully\n";
// What every card in the tests below holds before the command under test.
const Words kSetBefore = {"-setServerInfo", "-ServerName", "old-name",    "-ServerLocn", "old-locn",
                          "-ServerOS",      "old-os",      "-ServerDesc", "old-desc"};
const ServerInfo kBefore{"old-name", "old-locn", "old-os", "old-desc"};

using ServerInfoCommands = CardTest;

TEST_F(ServerInfoCommands, NewCardHasEmptyServerInformation)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-GetServerInfo"}), 0, Accepted(ServerInfoText({})), kPasswordTerminal));
}

// The words after -GetServerInfo are not looked at.
TEST_F(ServerInfoCommands, GetServerInfoIgnoresFurtherWords)
{
    ASSERT_TRUE(StartCard());
    ASSERT_TRUE(RunMatches(Kelvast(kSetBefore), 0, Accepted(kServerInfoSet), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-getserverinfo", "-ServerName", "x"}), 0, Accepted(ServerInfoText(kBefore)),
                           kPasswordTerminal));
}

// Each command replaces all four fields: an option not given leaves its field empty.
struct SetServerInfoCase {
    const char* name;
    Words words;  // after -setServerInfo
    ServerInfo stored;
};

class SetServerInfo : public CardTest, public ::testing::WithParamInterface<SetServerInfoCase> {};

TEST_P(SetServerInfo, StoresTheValues)
{
    const SetServerInfoCase& c = GetParam();
    ASSERT_TRUE(StartCard());
    ASSERT_TRUE(RunMatches(Kelvast(kSetBefore), 0, Accepted(kServerInfoSet), kPasswordTerminal));
    EXPECT_TRUE(
        RunMatches(Kelvast(Concat({"-setServerInfo"}, c.words)), 0, Accepted(kServerInfoSet), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-GetServerInfo"}), 0, Accepted(ServerInfoText(c.stored)), kPasswordTerminal));
}

// Values that fill their fields.
constexpr std::string_view kLongest31 = "abcdefghijklmnopqrstuvwxyz-1234";
constexpr std::string_view kLongest55 = "Database server for the accounts department, rack 4 AB.";
static_assert(kLongest31.size() == 31 && kLongest55.size() == 55);
const std::string k31(kLongest31);
const std::string k55(kLongest55);

INSTANTIATE_TEST_SUITE_P(
    Words, SetServerInfo,
    ::testing::Values(
        SetServerInfoCase{"AllFour",
                          {"-ServerName", "web1", "-ServerLocn", "hall4", "-ServerOS", "linux", "-ServerDesc", "db"},
                          {"web1", "hall4", "linux", "db"}},
        SetServerInfoCase{"AnyOrderAnyCase",
                          {"-serverdesc", "db", "-SERVEROS", "linux", "-servername", "web1", "-ServerLocn", "hall4"},
                          {"web1", "hall4", "linux", "db"}},
        // Nine words: three pairs and one word that is no option; the description is
        // sent empty.
        SetServerInfoCase{"ThreePairsAndAnUnknownWord",
                          {"-ServerName", "web1", "-ServerLocn", "hall4", "-ServerOS", "linux", "extra"},
                          {"web1", "hall4", "linux", ""}},
        SetServerInfoCase{"RepeatedOptionTakesItsFirstValue",
                          {"-ServerName", "first", "-ServerName", "second", "-ServerOS", "linux", "end"},
                          {"first", "", "linux", ""}},
        // A value position is never read as an option.
        SetServerInfoCase{"OptionWordAsAValue",
                          {"-ServerName", "-ServerOS", "-ServerLocn", "hall4", "-ServerDesc", "db", "end"},
                          {"-ServerOS", "hall4", "", "db"}},
        SetServerInfoCase{"UnknownOptionsAreSkipped",
                          {"-ServerRack", "r4", "-ServerName", "web1", "-ServerOs", "bsd", "-Owner", "ops"},
                          {"web1", "", "bsd", ""}},
        SetServerInfoCase{"BlanksInValues",
                          {"-ServerName", "web 1", "-ServerLocn", "Hall 4, rack B", "-ServerOS", "Linux 6.1",
                           "-ServerDesc", "two words"},
                          {"web 1", "Hall 4, rack B", "Linux 6.1", "two words"}},
        SetServerInfoCase{"LongestValues",
                          {"-ServerName", k31, "-ServerLocn", k31, "-ServerOS", k31, "-ServerDesc", k55},
                          {k31, k31, k31, k55}}),
    CaseName());

// Refused words: the question follows and the card keeps what it had.
TEST_F(ServerInfoCommands, RefusedWordsChangeNothing)
{
    ASSERT_TRUE(StartCard());
    ASSERT_TRUE(RunMatches(Kelvast(kSetBefore), 0, Accepted(kServerInfoSet), kPasswordTerminal));
    struct Row {
        Words words;  // after -setServerInfo
        std::string message;
    };
    const Row rows[] = {
        // Three pairs alone are too few words.
        {{"-ServerName", "web1", "-ServerLocn", "hall4", "-ServerOS", "linux"}, ""},
        // An option in the last position has no value.
        {{"-ServerName", "web1", "-ServerLocn", "hall4", "-ServerOS", "linux", "-ServerDesc"}, ""},
        {{"-ServerName", k31 + "5", "-ServerLocn", "hall4", "-ServerOS", "linux", "-ServerDesc", "db"},
         "Invalid server name: at most 31 characters are allowed!\n"},
        {{"-ServerName", "web1", "-ServerLocn", k31 + "5", "-ServerOS", "linux", "-ServerDesc", "db"},
         "Invalid server location: at most 31 characters are allowed!\n"},
        {{"-ServerName", "web1", "-ServerLocn", "hall4", "-ServerOS", k31 + "5", "-ServerDesc", "db"},
         "Invalid server OS: at most 31 characters are allowed!\n"},
        {{"-ServerName", "web1", "-ServerLocn", "hall4", "-ServerOS", "linux", "-ServerDesc", k55 + "."},
         "Invalid server description: at most 55 characters are allowed!\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.words));
        EXPECT_TRUE(RunMatches(Kelvast(Concat({"-setServerInfo"}, row.words), "n\n"), 8, Refused(row.message),
                               kPasswordTerminal));
    }
    EXPECT_TRUE(RunMatches(Kelvast({"-GetServerInfo"}), 0, Accepted(ServerInfoText(kBefore)), kPasswordTerminal));
}

// A refused read still ends with 0.
TEST_F(ServerInfoCommands, SetServerInfoRefusedByTheCard)
{
    ASSERT_TRUE(StartCard({"--fail", "0x0904:19"}));
    EXPECT_TRUE(RunMatches(Kelvast({"-SETSERVERINFO", "-ServerName", "web1", "-ServerLocn", "hall4", "-ServerOS",
                                    "linux", "-ServerDesc", "db"}),
                           19, Accepted("Set Server Information Failed, Read only\n"), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-GetServerInfo"}), 0, Accepted(ServerInfoText({})), kPasswordTerminal));
}

}  // namespace
}  // namespace e2e
