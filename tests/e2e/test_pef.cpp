// The -pef group: alert recipients set and shown on a real card, over the network and
// the drive; the rules -ARInfoSet checks before it sends anything; the card's refusals.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "command_runs.h"

namespace e2e {
namespace {

using namespace groups;
using groups::operator<<;

Words Split(const std::string& text)
{
    std::istringstream in(text);
    Words words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

// What both sub-commands print: the number, then name, mail id, SNMP destination, PPP
// login and password, method and level (missing texts empty).
std::string Block(int id, Words texts)
{
    const char* labels[] = {"Name                : ", "Email-Id            : ", "SNMP Destination    : ",
                            "PPP Login name      : ", "PPP Password        : ", "Notification Method : ",
                            "Alert Level         : "};
    texts.resize(std::size(labels));
    std::string t = "Alert Receipient    : " + std::to_string(id) + " \n";
    for (std::size_t i = 0; i < texts.size(); ++i) t += labels[i] + texts[i] + " \n";
    return t;
}

const std::string kSetOps = "-ARInfoSet 3 ops ops@example.com 10.0.0.9 x Mail lan xx All";
const std::string kOps = Block(3, {"ops", "ops@example.com", "10.0.0.9", "", "", "Mail via LAN", "All Alerts"});

using Pef = CardTest;

// Destination words under three characters count as absent; a recipient never set
// shows empty texts.
TEST_F(Pef, RecipientsAreSetAndShown)
{
    ASSERT_TRUE(StartCard());
    const std::string dialer = Block(8, {"dialer", "", "10.1.1.1", "pppuser", "secret", "SNMP via PPP", "Critical Only"});
    EXPECT_TRUE(RunMatches(Kelvast(Split("-pef " + kSetOps)), 0, Accepted(kOps), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast(Split("-PEF -arinfoset 8 dialer ab 10.1.1.1 pppuser snmp ppp secret critical")), 0,
                           Accepted(dialer), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-pef", "-arinfoget", "8"}), 0, Accepted(dialer), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-pef", "-ARInfoGet", "1"}), 0, Accepted(Block(1, {})), kPasswordTerminal));
}

struct RuleCase {
    const char* name;
    const char* words;  // after -pef, split at blanks
    int status;
    std::string output;  // what the command prints
};
class PefRules : public CardTest, public ::testing::WithParamInterface<RuleCase> {};

// A refused command sends nothing: this card would end the connection at a write.
TEST_P(PefRules, CheckedBeforeSending)
{
    const RuleCase& c = GetParam();
    ASSERT_TRUE(StartCard(c.status == 0 ? Words{} : Words{"--drop", "0x040E"}));
    const std::string shown = c.status == 0 ? Accepted(c.output) : Refused(c.output);
    EXPECT_TRUE(RunMatches(Kelvast(Split(std::string("-pef ") + c.words), "n\n"), c.status, shown, kPasswordTerminal));
}

const std::string kTooLong = ": at most 31 characters are allowed!\n";
INSTANTIATE_TEST_SUITE_P(
    Words, PefRules,
    ::testing::Values(
        RuleCase{"IndexNine", "-ARInfoSet 9 o m@x s p Mail lan q All", 8,
                 "Alert Receipients ID range is 1 to 8. Given = 9 \n"},
        RuleCase{"IndexZero", "-ARInfoGet 0", 8, "Alert Receipients ID range is 1 to 8. Given = 0 \n"},
        RuleCase{"IndexTrailingLetters", "-ARInfoSet 1abc o m@x s p Mail lan q All", 8,
                 "Alert Receipients ID range is 1 to 8. Given = 1abc \n"},
        RuleCase{"LevelWarn", "-ARInfoSet 2 o m@x s p Mail lan q Warn", 8, "Wrong Alert Level !\n"},
        RuleCase{"EnabledWithoutMedium", "-ARInfoSet 2 o m@x s p Mail modem q All", 8,
                 "Alerts Level is enabled, Notification method required !\n"},
        RuleCase{"DisabledWithoutMedium", "-ARInfoSet 2 o m s p Mail modem q Disable", 0,
                 Block(2, {"o", "", "", "", "", "", "Disable Alerts"})},
        RuleCase{"UnknownMethod", "-ARInfoSet 2 o m@x s p Fax lan q All", 8, "Wrong Notification Method !\n"},
        RuleCase{"ShortMailId", "-ARInfoSet 2 o m@ s p Mail lan q All", 8, "Vaild Mail Id required !"},
        RuleCase{"ShortSnmpDest", "-ARInfoSet 2 o m@x 10 p SNMP LAN q All", 8, "Vaild SNMP Destination required !"},
        RuleCase{"ShortPppLogin", "-ARInfoSet 2 o m@x s pp Mail PPP q All", 8, "Vaild PPP Login Id required !"},
        RuleCase{"ShortPppPassword", "-ARInfoSet 2 o m@x s ppp Mail PPP qq All", 8, "Vaild PPP Password required !"},
        RuleCase{"LongName", "-ARInfoSet 2 nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn m@x s p Mail lan q All", 8,
                 "Invalid recipient name" + kTooLong},
        RuleCase{"LongMailId", "-ARInfoSet 2 o mmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmm s p Mail lan q All", 8,
                 "Invalid mail id" + kTooLong},
        RuleCase{"OneWordMissing", "-ARInfoSet 2 o m@x s p Mail lan q", 8, ""}),
    CaseName());

// The recipient number is the whole word: nothing is asked of the card (which would end
// the connection) for a word that only begins with a number.
TEST_F(Pef, RecipientNumberIsTheWholeWord)
{
    ASSERT_TRUE(StartCard({"--drop", "0x040F"}));
    for (const std::string word : {" 2", "2 ", "2abc", ""})
        EXPECT_TRUE(RunMatches(Kelvast({"-pef", "-ARInfoGet", word}, "n\n"), 8,
                               Refused("Alert Receipients ID range is 1 to 8. Given = " + word + " \n"),
                               kPasswordTerminal))
            << '"' << word << '"';
}

INSTANTIATE_TEST_SUITE_P(
    PefFailures, CardFailure,
    ::testing::ValuesIn(InGroup(
        "-pef", {FailureCase{"Set", {"--fail", "0x040E:5"}, Split(kSetOps),
                             kOps + "Error while get number of Records, Permission denied\n", 5}})),
    CaseName());

TEST(PefOverTheDrive, RecipientSetAndShown)
{
    const std::string script = "\"$0\" -cd -pef " + kSetOps + " && \"$0\" -cd -pef -ARInfoGet 3";
    const RunResult run = RunWithDrive({}, {"/bin/sh", "-c", script, KELVAST_BIN});
    EXPECT_TRUE(RunMatches(run, 0, kConnected + kOps + kBanner + kConnected + kOps + kBanner, ""));
}

}  // namespace
}  // namespace e2e
