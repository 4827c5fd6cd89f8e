// The -user group: accounts added, listed and removed (an added user logs in, a removed
// one no longer can), SNMP users, the checks made before anything is sent, the card's
// rules and refusals.
#include "command_runs.h"

namespace e2e {
namespace {

using namespace groups;

class Users : public CardTest {
protected:
    // -user WORDS as `user`, with the command's output between login and banner.
    void Expect(const Words& words, int status, const std::string& out, const std::string& user = "admin",
                const std::string& password = "admin")
    {
        EXPECT_TRUE(RunMatches(Kelvast(Concat({"-user"}, words), "", password, user), status, Accepted(out),
                               kPasswordTerminal)) << testing::PrintToString(words);
    }
};

TEST_F(Users, AddedUserLogsInUntilRemoved)
{
    ASSERT_TRUE(StartCard());
    const std::string longest(30, 'n');
    Expect({"-add", "ops-admin_2", "Pass_w0rd"}, 0, "");
    Expect({"-ADD", longest, "12345678"}, 0, "");
    Expect({"-listAll"}, 0, "User 1: admin Password: admin \nUser 2: ops-admin_2 Password: Pass_w0rd \nUser 3: " +
           longest + " Password: 12345678 \n", "ops-admin_2", "Pass_w0rd");
    Expect({"-del", "ops-admin_2"}, 0, "");
    EXPECT_TRUE(RunMatches(Kelvast({"-user", "-listAllUser"}, "", "Pass_w0rd", "ops-admin_2"), 1,
                           kConnected + "\nInvalid Username/Password!\n", kPasswordTerminal));
    Expect({"-listallUSER"}, 0, "User 1: admin \nUser 2: " + longest + " \n");
}

// Each name once, at most 16 accounts, no removal of a missing name or of one's own.
TEST_F(Users, CardRules)
{
    Words accounts = {"--user", "admin:admin"};
    for (int i = 2; i <= 16; ++i) accounts = Concat(accounts, {"--user", "u" + std::to_string(i) + ":password"});
    ASSERT_TRUE(StartCard(accounts));
    Expect({"-add", "u2", "password1"}, 15, "Add user failed, Already exists\n");
    Expect({"-add", "u17", "password1"}, 18, "Add user failed, Insufficient space\n");
    Expect({"-del", "nobody"}, 16, "Remove user failed, Resource not exist\n");
    Expect({"-del", "admin"}, 5, "Remove user failed, Permission denied\n");
    Expect({"-del", "u2"}, 0, "");
    Expect({"-add", "u17", "password1"}, 0, "");
}

TEST_F(Users, SnmpUsersAreAddedAndListed)
{
    ASSERT_TRUE(StartCard());
    Expect({"-getSnmp"}, 0, "No SNMP user found in the system !\n");
    Expect({"-add", "trap1", "abc", "MD5", "DES"}, 0, "");
    Expect({"-add", "trap_2", "snmp-pass", "SHA", "NONE"}, 0, "");
    Expect({"-add", "trap1", "other", "SHA", "NONE"}, 15, "Add SNMP user failed, Already exists\n");
    Expect({"-GETSNMP"}, 0,
           "SNMP users in the system:\nUser 1: trap1 Password: abc Auth Protocol: MD5 Priv Protocol: DES\n"
           "User 2: trap_2 Password: snmp-pass Auth Protocol: SHA Priv Protocol: NONE\n");
}

// Refused before anything is sent (the card would end the connection on any add or
// removal): 26 with the first failing check's line, or 8 for invalid words.
TEST_F(Users, ChecksInTheirOrder)
{
    ASSERT_TRUE(StartCard({"--drop", "0x0500", "--drop", "0x0501", "--drop", "0x0506"}));
    const std::string n31(31, 'n'), longName = "Username cannot be more than 30 characters long\n";
    const struct {
        Words words;
        std::string out;
        int status;
    } cases[] = {{{"-add", n31, n31}, longName, 26},
                 {{"-add", std::string(30, 'n') + ".", "pw"}, longName, 26},
                 {{"-add", "ops", n31}, "Password cannot be more than 30 characters long\n", 26},
                 {{"-add", "ops admin", "pw"}, "Username contains invalid characters\n", 26},
                 {{"-add", "ops", "pass.77"}, "Password needs to be a minimum of 8 characters\n", 26},
                 {{"-add", "ops", "pass word1"}, "Password contains invalid characters\n", 26},
                 {{"-add", "trap.1", "pw", "md5", "DES"}, "Username contains invalid characters\n", 26},
                 {{"-add", "trap", "pw", "md5", "DES"}, "Invalid Auth Protocol:md5\nValid input:MD5/SHA", 8},
                 {{"-add", "trap", "pw", "SHA", "AES"}, "Invalid Priv Protocol:AES\nValid input:DES/NONE", 8},
                 {{"-del", n31 + "n"}, "The user name is too long: at most 31 characters are allowed!\n", 26},
                 {{"-add", "ops"}, "", 8}};
    for (const auto& c : cases)
        EXPECT_TRUE(RunMatches(Kelvast(Concat({"-user"}, c.words), "n\n"), c.status,
                               c.status == 8 ? Refused(c.out) : Accepted(c.out), kPasswordTerminal))
            << testing::PrintToString(c.words);
}

}  // namespace
}  // namespace e2e
