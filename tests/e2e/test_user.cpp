// The -user group: the card's accounts added, listed and removed (an added user logs
// in, a removed one no longer can), its SNMP users, the checks made before anything is
// sent, and the card's refusals.
#include <gtest/gtest.h>

#include <string>

#include "command_runs.h"

namespace e2e {
namespace {

using groups::Accepted;
using groups::CardFailure;
using groups::Concat;
using groups::FailureCase;
using groups::InGroup;
using groups::Refused;
using groups::Words;
using groups::operator<<;

using Users = CardTest;

const std::string kLoginRefused = kConnected + "\nInvalid Username/Password!\n";

TEST_F(Users, AddedUserLogsInUntilRemoved)
{
    ASSERT_TRUE(StartCard());
    const std::string longest(30, 'n');
    EXPECT_TRUE(RunMatches(Kelvast({"-user", "-add", "ops-admin_2", "Pass_w0rd"}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-USER", "-ADD", longest, "12345678"}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-user", "-listAll"}, "", "Pass_w0rd", "ops-admin_2"), 0,
                           Accepted("User 1: admin Password: admin \nUser 2: ops-admin_2 Password: Pass_w0rd \n"
                                    "User 3: " + longest + " Password: 12345678 \n"),
                           kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-user", "-del", "ops-admin_2"}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-user", "-listAllUser"}, "", "Pass_w0rd", "ops-admin_2"), 1, kLoginRefused,
                           kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-user", "-listallUSER"}), 0, Accepted("User 1: admin \nUser 2: " + longest + " \n"),
                           kPasswordTerminal));
}

// No name twice, at most 16 accounts, no removal of a missing name or of the account
// the command logged in with.
TEST_F(Users, CardRules)
{
    Words accounts = {"--user", "admin:admin"};
    for (int i = 2; i <= 16; ++i) accounts = Concat(accounts, {"--user", "u" + std::to_string(i) + ":password"});
    ASSERT_TRUE(StartCard(accounts));
    auto run = [this](const Words& words, int status, const std::string& out) {
        EXPECT_TRUE(RunMatches(Kelvast(Concat({"-user"}, words)), status, Accepted(out), kPasswordTerminal)) << words[1];
    };
    run({"-add", "u2", "password1"}, 15, "Add user failed, Already exists\n");
    run({"-add", "u17", "password1"}, 18, "Add user failed, Insufficient space\n");
    run({"-del", "nobody"}, 16, "Remove user failed, Resource not exist\n");
    run({"-del", "admin"}, 5, "Remove user failed, Permission denied\n");
    run({"-del", "u2"}, 0, "");
    run({"-add", "u17", "password1"}, 0, "");
}

TEST_F(Users, SnmpUsersAreAddedAndListed)
{
    ASSERT_TRUE(StartCard());
    auto run = [this](const Words& words, int status, const std::string& out) {
        EXPECT_TRUE(RunMatches(Kelvast(Concat({"-user"}, words)), status, Accepted(out), kPasswordTerminal));
    };
    run({"-getSnmp"}, 0, "No SNMP user found in the system !\n");
    run({"-add", "trap1", "abc", "MD5", "DES"}, 0, "");
    run({"-add", "trap_2", "snmp-pass", "SHA", "NONE"}, 0, "");
    run({"-add", "trap1", "other", "SHA", "NONE"}, 15, "Add SNMP user failed, Already exists\n");
    run({"-GETSNMP"}, 0,
        "SNMP users in the system:\n"
        "User 1: trap1 Password: abc Auth Protocol: MD5 Priv Protocol: DES\n"
        "User 2: trap_2 Password: snmp-pass Auth Protocol: SHA Priv Protocol: NONE\n");
}

// Words refused before anything is sent: the card would end the connection on any add
// or removal. Status 8 is an invalid invocation (the help question, answered no).
struct CheckCase {
    const char* name;
    Words words;
    std::string output;
    int status;
};

class UserChecks : public CardTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(UserChecks, RefusedBeforeAnythingIsSent)
{
    ASSERT_TRUE(StartCard({"--drop", "0x0500", "--drop", "0x0501", "--drop", "0x0506"}));
    const CheckCase& c = GetParam();
    EXPECT_TRUE(RunMatches(Kelvast(Concat({"-user"}, c.words), "n\n"), c.status,
                           c.status == 8 ? Refused(c.output) : Accepted(c.output), kPasswordTerminal));
}

const std::string k31(31, 'n');
const std::string kNameTooLong = "Username cannot be more than 30 characters long\n";
const std::string kBadName = "Username contains invalid characters\n";
const std::string kBadPassword = "Password contains invalid characters\n";
const std::string kShortPassword = "Password needs to be a minimum of 8 characters\n";

INSTANTIATE_TEST_SUITE_P(
    Words, UserChecks,
    ::testing::Values(
        CheckCase{"NameTooLong", {"-add", k31, "password1"}, kNameTooLong, 26},
        CheckCase{"NameLineOnlyWhenBothTooLong", {"-add", k31, k31}, kNameTooLong, 26},
        CheckCase{"LengthBeforeCharacters", {"-add", std::string(30, 'n') + ".", "pass"}, kNameTooLong, 26},
        CheckCase{"PasswordTooLong", {"-add", "ops", k31}, "Password cannot be more than 30 characters long\n", 26},
        CheckCase{"NameWithDot", {"-add", "ops.admin", "password1"}, kBadName, 26},
        CheckCase{"NameBeforeShortPassword", {"-add", "ops admin", "pass"}, kBadName, 26},
        CheckCase{"ShortPassword", {"-add", "ops", "passwd7"}, kShortPassword, 26},
        CheckCase{"ShortBeforeInvalidPassword", {"-add", "ops", "pass.7"}, kShortPassword, 26},
        CheckCase{"PasswordWithBlank", {"-add", "ops", "pass word1"}, kBadPassword, 26},
        CheckCase{"SnmpNameTooLong", {"-add", k31, "pw", "MD5", "DES"}, kNameTooLong, 26},
        CheckCase{"SnmpNameBeforeProtocol", {"-add", "trap.1", "pw", "md5", "DES"}, kBadName, 26},
        CheckCase{"SnmpPassword", {"-add", "trap", "p.w", "MD5", "DES"}, kBadPassword, 26},
        CheckCase{"SnmpLowerCaseAuth", {"-add", "trap", "pw", "md5", "DES"},
                  "Invalid Auth Protocol:md5\nValid input:MD5/SHA", 8},
        CheckCase{"SnmpPriv", {"-add", "trap", "pw", "SHA", "AES"}, "Invalid Priv Protocol:AES\nValid input:DES/NONE",
                  8},
        CheckCase{"DelNameOverItsField", {"-del", std::string(32, 'n')},
                  "The user name is too long: at most 31 characters are allowed!\n", 26},
        CheckCase{"NoSubCommand", {}, "", 8}, CheckCase{"NoDash", {"listAll"}, "", 8},
        CheckCase{"AddOneWord", {"-add", "ops"}, "", 8}, CheckCase{"AddFourWords", {"-add", "a", "b", "MD5"}, "", 8},
        CheckCase{"ListWithWord", {"-listAll", "x"}, "", 8}, CheckCase{"DelNoName", {"-del"}, "", 8}),
    CaseName());

// The plain lists print nothing when the card refuses them.
INSTANTIATE_TEST_SUITE_P(
    UserFailures, CardFailure,
    ::testing::ValuesIn(InGroup(
        "-user",
        {FailureCase{"ListAllUser", {"--fail", "0x0503:5"}, {"-listAllUser"}, "", 5},
         FailureCase{"ListAll", {"--fail", "0x0502:3"}, {"-listAll"}, "", 3},
         FailureCase{"GetSnmp", {"--fail", "0x0507:12"}, {"-getSnmp"}, "Error in getting SNMP users' infomation\n", 12},
         FailureCase{"Add", {"--fail", "0x0500:19"}, {"-add", "ops", "password1"}, "Add user failed, Read only\n", 19},
         FailureCase{"AddSnmp",
                     {"--fail", "0x0506:21"},
                     {"-add", "trap", "pw", "SHA", "NONE"},
                     "Add SNMP user failed, Error during I/O\n",
                     21},
         FailureCase{"Del", {"--fail", "0x0501:30"}, {"-del", "admin"}, "Remove user failed, General error\n", 30}})),
    CaseName());

}  // namespace
}  // namespace e2e
