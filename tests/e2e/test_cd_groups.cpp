// A sample of the network, event-log, heartbeat and server-information commands over
// the host interface: the same card answers through its virtual drive, with no login.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expected_text.h"
#include "harness.h"

namespace e2e {
namespace {

using Words = std::vector<std::string>;

// PROGRAM = a shell script in which "$0" is kelvast.
Words Script(const std::string& script)
{
    return {"/bin/sh", "-c", script, KELVAST_BIN};
}

std::string Accepted(const std::string& commandOutput)
{
    return kConnected + commandOutput + kBanner;
}

const Words kFrozenAt2020 = {"--clock", "1600000000", "--frozen-clock"};

TEST(CdGroups, NetworkConfigurationAndStaticChange)
{
    // Over the drive the card answers a static change (there is no connection to drop).
    const RunResult run = RunWithDrive({}, Script(R"("$0" -cd -net -SetStatic 10.9.8.7 255.255.0.0 10.9.0.1 &&
                                                   "$0" -cd -net -GetConfig && "$0" -cd -net -GetMAC)"));
    EXPECT_TRUE(RunMatches(run, 0,
                           Accepted("Network Configuration changed successfully! \n") +
                               Accepted("Current Network Configuration : \n"
                                        "Configuration method: Static\n"
                                        "Interface Name      : eth0\n"
                                        "MAC Address         : 00:2A:3B:4C:5D:1D\n"
                                        "IP Address          : 10.9.8.7\n"
                                        "Broadcast           : 10.9.255.255\n"
                                        "Netmask             : 255.255.0.0\n"
                                        "Gateway             : 10.9.0.1\n") +
                               Accepted("MAC Address is : 00:2A:3B:4C:5D:1D \n"),
                           ""));
}

TEST(CdGroups, EventLogAddListAndClear)
{
    const RunResult run = RunWithDrive(kFrozenAt2020, Script(R"("$0" -cd -sel -add 3 7 Warning &&
                                                               "$0" -cd -sel -listall && "$0" -cd -sel -clear)"));
    EXPECT_TRUE(RunMatches(run, 0,
                           Accepted("") +
                               Accepted("Number of Record : 1 \n"
                                        "\nRecord Number : 1 \n"
                                        "Time          : Sun Sep 13 12:26:40 2020\n"
                                        "Event Id      : 307 \n"
                                        "Module Number : 3 \n"
                                        "Event Number  : 7 \n"
                                        "Event Severity: WARNING\n"
                                        "Event Data is  : \n" +
                                        kZeroDataLine + kZeroDataLine + kZeroDataLine + kZeroDataLine + "\n") +
                               Accepted("1 Record(s) Deleted.\n"),
                           ""));
}

TEST(CdGroups, HeartbeatIntervalAndServerInformation)
{
    const RunResult run = RunWithDrive(
        {}, Script(R"("$0" -cd -HB -SetHB 600 && "$0" -cd -HB -GetHB &&
                      "$0" -cd -setServerInfo -ServerName web1 -ServerLocn hall4 -ServerOS linux -ServerDesc db &&
                      "$0" -cd -GetServerInfo)"));
    EXPECT_TRUE(RunMatches(run, 0,
                           Accepted("Heartbeat interval is set successfully!\n") +
                               Accepted("Heartbeat interval is 600 seconds\n") +
                               Accepted("Server Information set successfully\n") +
                               Accepted("Server Name: web1\nServer Location: hall4\nServer OS: linux\n"
                                        "Server Description: db\n"),
                           ""));
}

// Over the drive there is no login to protect, but the last account is kept.
TEST(CdGroups, UsersAddedListedAndRemoved)
{
    const RunResult run = RunWithDrive({}, Script(R"("$0" -cd -user -add ops password1 && "$0" -cd -user -del admin &&
                                                   "$0" -cd -user -listAll && "$0" -cd -user -del ops)"));
    EXPECT_TRUE(RunMatches(run, 5,
                           Accepted("") + Accepted("") + Accepted("User 1: ops Password: password1 \n") +
                               Accepted("Remove user failed, Permission denied\n"),
                           ""));
}

TEST(CdGroups, CardFailureOverTheDrive)
{
    const RunResult run = RunWithDrive({"--fail", "0x0400:5"}, Words{KELVAST_BIN, "-cd", "-sel", "-selInfo"});
    EXPECT_TRUE(RunMatches(run, 5, Accepted("Error while get number of Records, Permission denied\n"), ""));
}

}  // namespace
}  // namespace e2e
