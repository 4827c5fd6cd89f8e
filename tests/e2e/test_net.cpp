// The -net group: the card's MAC address and IP configuration, read and changed, each
// on its success path and when the card refuses. The card keeps its state between
// runs, so a change is checked by reading it back in a later run.
#include <gtest/gtest.h>

#include <string>
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

const std::string kDefaultMac = "00:2A:3B:4C:5D:1D";
const std::string kMacQuestion = "This operation will reset the ORVA card after completion.Are you Sure (y/n)?\n";
const std::string kSetMacDone = "MAC address set successfully! \nCard has been reset! \n";
const std::string kCancelled = "\nCommand cancelled by user\n";
const std::string kSetStaticFailed = "Error while setting network configuration ! \n";

std::string MacLine(const std::string& mac)
{
    return "MAC Address is : " + mac + " \n";
}

struct NetworkConfig {
    std::string method;
    std::string ip;
    std::string broadcast;
    std::string netmask;
    std::string gateway;
    std::string mac = kDefaultMac;
};

const NetworkConfig kFactoryConfig{"Static", "10.0.0.5", "10.0.0.255", "255.255.255.0", "10.0.0.1"};

std::string ConfigText(const NetworkConfig& c)
{
    std::string t = "Current Network Configuration : \n";
    t += "Configuration method: " + c.method + "\n";
    t += "Interface Name      : eth0\n";
    t += "MAC Address         : " + c.mac + "\n";
    t += "IP Address          : " + c.ip + "\n";
    t += "Broadcast           : " + c.broadcast + "\n";
    t += "Netmask             : " + c.netmask + "\n";
    t += "Gateway             : " + c.gateway + "\n";
    return t;
}

std::string WrongAddressLine(const Words& addresses)
{
    return "Wrong IP address : IP: " + addresses[0] + " Netmask: " + addresses[1] + " Gateway: " + addresses[2] + "\n";
}

std::string AddressChangedText(const std::string& ip)
{
    return "The IP address of ORVA card has been changed to " + ip +
           ".\nPlease use the new IP to connect to the card.\n";
}

using Net = CardTest;

// --- Reading ---------------------------------------------------------------------------

TEST_F(Net, GetMacShowsTheAddressInCapitals)
{
    ASSERT_TRUE(StartCard({"--mac", "0a:1b:2c:3d:4e:5f"}));
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-GetMAC"}), 0, Accepted(MacLine("0A:1B:2C:3D:4E:5F")), kPasswordTerminal));
}

TEST_F(Net, GetConfigShowsTheCardsSettings)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(
        RunMatches(Kelvast({"-NET", "-getconfig"}), 0, Accepted(ConfigText(kFactoryConfig)), kPasswordTerminal));
}

TEST_F(Net, GetConfigOfAnInterfaceThatIsDownSaysOnlyThat)
{
    ASSERT_TRUE(StartCard({"--link-down"}));
    EXPECT_TRUE(
        RunMatches(Kelvast({"-net", "-GetConfig"}), 0, Accepted("Network interface is not up.\n"), kPasswordTerminal));
}

// --- DHCP and static configuration -----------------------------------------------------

TEST_F(Net, SetDhcpMakesTheCardTakeALease)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-SetDHCP"}), 0, Accepted("Network configuration changed successfully !\n"),
                           kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-GetConfig"}), 0,
                           Accepted(ConfigText({"DHCP", "10.0.0.57", "10.0.0.255", "255.255.255.0", "10.0.0.1"})),
                           kPasswordTerminal));
}

// The card takes the address and drops the connection without answering; the tool
// reports the change and ends with 0. Here the card was on DHCP before.
TEST_F(Net, SetStaticChangesTheAddress)
{
    ASSERT_TRUE(StartCard());
    ASSERT_TRUE(RunMatches(Kelvast({"-net", "-SetDHCP"}), 0, Accepted("Network configuration changed successfully !\n"),
                           kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-SetSTATIC", "192.168.1.20", "255.255.0.0", "192.168.1.1"}), 0,
                           Accepted(AddressChangedText("192.168.1.20")), kPasswordTerminal));
    EXPECT_TRUE(
        RunMatches(Kelvast({"-net", "-GetConfig"}), 0,
                   Accepted(ConfigText({"Static", "192.168.1.20", "192.168.255.255", "255.255.0.0", "192.168.1.1"})),
                   kPasswordTerminal));
}

// An address that the tool finds wrong is reported with all three words, the help
// question follows, and nothing reaches the card.
TEST_F(Net, SetStaticWithAWrongAddressIsRefused)
{
    ASSERT_TRUE(StartCard());
    const Words rows[] = {
        {"256.1.1.1", "255.255.255.0", "10.0.0.1"},   // a number above 255
        {"1.2.3", "255.255.255.0", "10.0.0.1"},       // three numbers
        {"1000.1.1.1", "255.255.255.0", "10.0.0.1"},  // four digits
        {"-1.2.3.4", "255.255.255.0", "10.0.0.1"},    // a number below 0
        {"10.0.0.9", "255.255.255.256", "10.0.0.1"},  // wrong netmask
        {"10.0.0.9", "255.255.255.0", "gateway"},     // wrong gateway
    };
    for (const Words& row : rows) {
        SCOPED_TRACE(row[0] + " " + row[1] + " " + row[2]);
        EXPECT_TRUE(RunMatches(Kelvast(Concat({"-net", "-SetStatic"}, row), "n\n"), 8, Refused(WrongAddressLine(row)),
                               kPasswordTerminal));
    }
    EXPECT_TRUE(
        RunMatches(Kelvast({"-net", "-GetConfig"}), 0, Accepted(ConfigText(kFactoryConfig)), kPasswordTerminal));
}

// Addresses that pass the tool's check (which does not look past the fourth number)
// but not the card's: the card's status is reported and becomes the exit status.
TEST_F(Net, SetStaticRefusedByTheCardKeepsTheSettings)
{
    ASSERT_TRUE(StartCard());
    const Words rows[] = {
        {"1.2.3.4x", "255.255.255.0", "10.0.0.1"},      // letters after the fourth number
        {"10.0.0.9", "255.255.255.0", "10.0.0.1.300"},  // a fifth number
        {"10.0.0.9", "255.0.255.0", "10.0.0.1"},        // netmask with a gap
        {"0.0.0.0", "255.255.255.0", "10.0.0.1"},       // no address
    };
    for (const Words& row : rows) {
        SCOPED_TRACE(row[0] + " " + row[1] + " " + row[2]);
        EXPECT_TRUE(RunMatches(Kelvast(Concat({"-net", "-SetStatic"}, row)), 28, Accepted(kSetStaticFailed),
                               kPasswordTerminal));
    }
    EXPECT_TRUE(
        RunMatches(Kelvast({"-net", "-GetConfig"}), 0, Accepted(ConfigText(kFactoryConfig)), kPasswordTerminal));
}

// A text fills its 32-byte field with at most 31 characters. One more is refused with
// 28 before anything is sent; a text that fits is sent (this card drops every static
// change unanswered, which the tool takes for the card having moved).
TEST_F(Net, SetStaticTextLongerThanItsFieldIsNotSent)
{
    ASSERT_TRUE(StartCard({"--drop", "0x0701"}));
    const std::string fits = "10.0.0.9" + std::string(23, 'x');     // 31 characters
    const std::string tooLong = "10.0.0.9" + std::string(24, 'x');  // 32 characters
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-SetStatic", fits, "255.255.255.0", "10.0.0.1"}), 0,
                           Accepted(AddressChangedText(fits)), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-SetStatic", "10.0.0.9", tooLong, "10.0.0.1"}), 28,
                           Accepted(kSetStaticFailed), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-SetStatic", "10.0.0.9", "255.255.255.0", tooLong}), 28,
                           Accepted(kSetStaticFailed), kPasswordTerminal));
}

// --- MAC address -----------------------------------------------------------------------

// Yes writes the address (lower-case digits are read as hexadecimal; the card checks
// the write's check byte) and resets the card with its configuration saved: a later
// reset that does not save keeps the new address.
TEST_F(Net, SetMacAnsweredYesWritesTheAddressAndResetsTheCard)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-SetMAC", "0a:1b:2c:3d:4e:5f"}, "y\n"), 0,
                           Accepted(kMacQuestion + kSetMacDone), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-GetMAC"}), 0, Accepted(MacLine("0A:1B:2C:3D:4E:5F")), kPasswordTerminal));

    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-Reset", "-NoConfig"}, "y\n"), 0,
                           Accepted("Are you sure you want to reset the ORVA(y/n)?\n"
                                    "The ORVA has been reset successfully !\n"),
                           kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-GetMAC"}), 0, Accepted(MacLine("0A:1B:2C:3D:4E:5F")), kPasswordTerminal));
}

// The question comes first; anything but yes cancels without looking at the address.
struct SetMacCancelCase {
    const char* name;
    std::string address;
    std::string answer;
};

class SetMacCancelled : public CardTest, public ::testing::WithParamInterface<SetMacCancelCase> {};

TEST_P(SetMacCancelled, ChangesNothing)
{
    const SetMacCancelCase& c = GetParam();
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-SetMAC", c.address}, c.answer), 0, Accepted(kMacQuestion + kCancelled),
                           kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-GetMAC"}), 0, Accepted(MacLine(kDefaultMac)), kPasswordTerminal));
}

INSTANTIATE_TEST_SUITE_P(Answers, SetMacCancelled,
                         ::testing::Values(SetMacCancelCase{"AnsweredN", "0a:1b:2c:3d:4e:5f", "n\n"},
                                           SetMacCancelCase{"AnsweredNo", "0a:1b:2c:3d:4e:5f", "No\n"},
                                           SetMacCancelCase{"NoAnswer", "0a:1b:2c:3d:4e:5f", ""},
                                           SetMacCancelCase{"InvalidAddressAnsweredN", "00-2a-3b-4c-5d-1d", "n\n"}),
                         CaseName());

// Answered yes, an invalid address is reported after the question and the help
// question follows; the card keeps its address.
struct InvalidMacCase {
    const char* name;
    std::string address;
};

class SetMacInvalidAddress : public CardTest, public ::testing::WithParamInterface<InvalidMacCase> {};

TEST_P(SetMacInvalidAddress, IsReportedAfterTheQuestion)
{
    const std::string& address = GetParam().address;
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-SetMAC", address}, "y\nn\n"), 8,
                           Refused(kMacQuestion + "Invalid MAC address: " + address + " \n"), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-GetMAC"}), 0, Accepted(MacLine(kDefaultMac)), kPasswordTerminal));
}

INSTANTIATE_TEST_SUITE_P(Addresses, SetMacInvalidAddress,
                         ::testing::Values(InvalidMacCase{"Dashes", "00-2a-3b-4c-5d-1d"},
                                           InvalidMacCase{"FiveGroups", "00:2a:3b:4c:5d"},
                                           InvalidMacCase{"NotHex", "0g:2a:3b:4c:5d:1d"},
                                           InvalidMacCase{"LastGroupShort", "00:2a:3b:4c:5d:1"},
                                           InvalidMacCase{"Empty", ""}),
                         CaseName());

// A write the card refuses: its status is the exit status and the card is not reset
// (a reset would end the connection here, giving status 33); the address stays.
TEST_F(Net, SetMacRefusedByTheCardDoesNotResetIt)
{
    ASSERT_TRUE(StartCard({"--fail", "0x0801:28", "--drop", "0x0900"}));
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-SetMAC", "0a:1b:2c:3d:4e:5f"}, "y\n"), 28,
                           Accepted(kMacQuestion + "Unable to set MAC address  ! \n"), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-GetMAC"}), 0, Accepted(MacLine(kDefaultMac)), kPasswordTerminal));
}

// --- Card failures ---------------------------------------------------------------------

// --- Invalid words ---------------------------------------------------------------------

struct InvalidWordsCase {
    const char* name;
    Words words;
};

class NetInvalidWords : public CardTest, public ::testing::WithParamInterface<InvalidWordsCase> {};

TEST_P(NetInvalidWords, AsksWhetherToShowTheHelp)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast(Concat({"-net"}, GetParam().words), "n\n"), 8, Refused(), kPasswordTerminal));
}

INSTANTIATE_TEST_SUITE_P(
    Words, NetInvalidWords,
    ::testing::Values(InvalidWordsCase{"NoSubCommand", {}}, InvalidWordsCase{"SubCommandWithoutDash", {"GetMAC"}},
                      InvalidWordsCase{"UnknownSubCommand", {"-GetIP"}},
                      InvalidWordsCase{"GetMacWithExtraWord", {"-GetMAC", "eth0"}},
                      InvalidWordsCase{"GetConfigWithExtraWord", {"-GetConfig", "eth0"}},
                      InvalidWordsCase{"SetDhcpWithExtraWord", {"-SetDHCP", "now"}},
                      InvalidWordsCase{"SetMacWithoutAddress", {"-SetMAC"}},
                      InvalidWordsCase{"SetMacWithTwoWords", {"-SetMAC", "00:2a:3b:4c:5d:1d", "now"}},
                      InvalidWordsCase{"SetStaticWithoutGateway", {"-SetStatic", "10.0.0.9", "255.255.255.0"}},
                      InvalidWordsCase{"SetStaticWithExtraWord",
                                       {"-SetStatic", "10.0.0.9", "255.255.255.0", "10.0.0.1", "now"}},
                      // A sub-command with the words of another.
                      InvalidWordsCase{"GetMacWithStaticWords", {"-GetMAC", "10.0.0.9", "255.255.255.0", "10.0.0.1"}}),
    CaseName());

}  // namespace
}  // namespace e2e
