// The advanced settings (-ModemCfg, -PppCfg, -ASRCfg, -GetI2CCfg, -SetI2CCfg,
// -GetIpmiCfg, -SetIpmiCfg), host power (-HostCtrl) and the card's health
// (-GetCardHealth): each setting read back in a later run, every command refused by
// the card, and the words the tool refuses before sending anything.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_runs.h"
#include "expected_text.h"
#include "harness.h"

namespace e2e {
namespace {

using groups::Accepted;
using groups::CardFailure;
using groups::Concat;
using groups::FailureCase;
using groups::Refused;
using groups::Words;
using groups::operator<<;

std::string ModemText(const std::string& port, const std::string& baud, const std::string& init,
                      const std::string& phone = "")
{
    return "Serial Port : " + port + "\nSpeed       : " + baud + "\nInit String : " + init +
           "\nPhone Number: " + phone + "\n";
}

std::string AsrText(const std::string& state, const std::string& method, const std::string& delay)
{
    return "ASR Configuration : \nASR_STATE = " + state + "\nASR_METHOD = " + method + "\nASR_DELAY=" + delay + "\n";
}

using Advanced = CardTest;

// Each setting, written and read back in later runs.
TEST_F(Advanced, SettingsReadBack)
{
    ASSERT_TRUE(StartCard());
    const std::vector<std::pair<Words, std::string>> steps = {
        {{"-ModemCfg", "-get"}, ModemText("ttyS2", "57600", "ATZ") + ModemText("ttyS3", "9600", "ATZ")},
        // The word before the phone number is not examined; option letters take either case.
        {{"-ModemCfg", "-set", "ttyS3", "-i", "AT&F", "-x", "5551234"}, ""},
        {{"-modemcfg", "-SET", "ttyS3", "-S", "19200"}, ""},
        {{"-ModemCfg", "-get", "ttyS3"}, ModemText("ttyS3", "19200", "AT&F", "5551234")},
        // Options in any order: the speed after the init string is still the speed.
        {{"-ModemCfg", "-set", "ttyS2", "-i", "ATZ", "-s", "19200"}, ""},
        {{"-ModemCfg", "-set", "ttyS3", "-p", "5550000", "-s", "38400", "-i", "ATE0"}, ""},
        {{"-ModemCfg", "-get"}, ModemText("ttyS2", "19200", "ATZ") + ModemText("ttyS3", "38400", "ATE0", "5550000")},
        {{"-PppCfg", "-get"}, "PPP Server IP Configuration\nServer IP : 192.168.10.1 \nClient IP : 192.168.10.2 \n"},
        {{"-PPPCFG", "-set", "10.1.1.1", "10.1.1.2"}, ""},
        {{"-PppCfg", "-Get"}, "PPP Server IP Configuration\nServer IP : 10.1.1.1 \nClient IP : 10.1.1.2 \n"},
        {{"-ASRCfg", "-set", "ENABLED", "RESET", "100"},
         "Defaulting ASR delay to 240 seconds\nasr->asr_status: 1 asr->asr_method: 2 asr->asr_delay: 240\n"},
        {{"-ASRCfg", "-get"}, AsrText("ENABLED", "RESET", "240")},
        {{"-asrcfg", "-Set", "disabled", "PowerCycle", "300"}, "asr->asr_status: 2 asr->asr_method: 1 asr->asr_delay: 300\n"},
        {{"-ASRCfg", "-get"}, AsrText("DISABLED", "POWER_CYCLE", "300")},
        // The longest delay the 16-bit field holds is taken and read back as it is.
        {{"-ASRCfg", "-set", "ENABLED", "RESET", "65535"}, "asr->asr_status: 1 asr->asr_method: 2 asr->asr_delay: 65535\n"},
        {{"-ASRCfg", "-get"}, AsrText("ENABLED", "RESET", "65535")},
        {{"-ASRCfg", "-set", "Disabled"}, ""},
        {{"-ASRCfg", "-get"}, AsrText("DISABLED", "RESET", "240")},
        {{"-GetI2CCfg"}, "Current ORVA I2C Slave Address: 0x42\n"},
        {{"-SetI2CCfg", "0X2F"}, ""},
        {{"-geti2ccfg", "extra"}, "Current ORVA I2C Slave Address: 0x2f\n"},
        {{"-SetIpmiCfg", "yes", "0x82", "no", "yes", "YES"}, ""},
        {{"-GetIpmiCfg"}, "Host system has BMC                          : YES\n"
                          "Host System BMC I2C Address                  : 0x82\n"
                          "Use IPMI to Control System Power             : NO\n"
                          "Use BMC's SDRs for Sensor Information        : YES\n"
                          "ORVA Maintains Private System Health Event Log : YES\n"}};
    for (const auto& [words, output] : steps)
        EXPECT_TRUE(RunMatches(Kelvast(words), 0, Accepted(output), kPasswordTerminal)) << testing::PrintToString(words);
}

// Each action reaches the card, which prints it as it carries it out.
TEST_F(Advanced, HostPowerActionsReachTheCard)
{
    ASSERT_TRUE(StartCard());
    for (const char* word : {"Reset", "POWERDOWN", "powerup", "PowerCycle"})
        EXPECT_TRUE(RunMatches(Kelvast({"-HostCtrl", word}), 0, Accepted(""), kPasswordTerminal)) << word;
    EXPECT_EQ(card.ErrorText(), "host power: reset\nhost power: down\nhost power: up\nhost power: cycle\n");
}

TEST_F(Advanced, HealthShowsVoltsAndStatus)
{
    ASSERT_TRUE(StartCard({"--health", "1:2900", "--health", "6:3160"}));
    const std::string rule = "--------------------------------------------------------\n";
    EXPECT_TRUE(RunMatches(Kelvast({"-GetCardHealth"}), 0,
                           Accepted(rule + "             ORVA card Health\n" + rule +
                                    "Parameter                       Reading           Status\n" + rule +
                                    "Card 3.3V Supply                 2.9      Volts      Fatal\n"
                                    "Card 5V Supply                   5        Volts      Normal\n"
                                    "Card 12V Supply                  12       Volts      Normal\n"
                                    "Card 2.5V Supply                 2.5      Volts      Normal\n"
                                    "Card 1.8V Core                   1.8      Volts      Normal\n"
                                    "Card Battery                     3.16     Volts      Warning\n" +
                                    rule),
                           kPasswordTerminal));
}

// Refused words: the help question, and nothing sent (every write of this card would
// end the connection instead of answering).
struct RefusedCase {
    const char* name;
    Words cardOptions;
    Words words;
    std::string output;
};

class AdvancedRefused : public CardTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(AdvancedRefused, AsksWhetherToShowTheHelp)
{
    const RefusedCase& c = GetParam();
    const Words noWrites = {"--drop", "0x0C01", "--drop", "0x0C03", "--drop", "0x0C07",
                            "--drop", "0x0C09", "--drop", "0x0C0B", "--drop", "0x0300"};
    ASSERT_TRUE(StartCard(Concat(noWrites, c.cardOptions)));
    EXPECT_TRUE(RunMatches(Kelvast(c.words, "n\n"), 8, Refused(c.output), kPasswordTerminal));
}

INSTANTIATE_TEST_SUITE_P(
    Words, AdvancedRefused,
    ::testing::Values(
        RefusedCase{"ModemBaud", {}, {"-ModemCfg", "-set", "ttyS2", "-s", "4800"},
                    "Invalid baud rate. Baud rate can only be 9600,19200,38400 or 57600!!\n"},
        RefusedCase{"ModemPortTooLong", {}, {"-ModemCfg", "-get", std::string(32, 'S')}, "Device can be ttyS2 or ttyS3\n"},
        RefusedCase{"ModemInit61", {}, {"-ModemCfg", "-set", "ttyS2", "-i", std::string(61, 'A')},
                    "init string cannot be more than 60 characters\n"},
        RefusedCase{"ModemSetsNothing", {}, {"-ModemCfg", "-set", "ttyS2", "-s"}, ""},
        RefusedCase{"ModemOptionTwice", {}, {"-ModemCfg", "-set", "ttyS2", "-i", "ATZ", "-i", "19200"}, ""},
        RefusedCase{"ModemUnknownOption", {}, {"-ModemCfg", "-set", "ttyS2", "-p", "555", "-x", "ATZ"}, ""},
        RefusedCase{"PppShort", {}, {"-PppCfg", "-set", "10.1.1.1", "10.1.1"}, "Invalid IP address !\n"},
        RefusedCase{"PppLeadingZero", {}, {"-PppCfg", "-set", "010.2.3.4", "10.1.1.2"}, "Invalid IP address !\n"},
        RefusedCase{"PppLeadingBlank", {}, {"-PppCfg", "-set", "10.1.1.1", " 1.2.3.4"}, "Invalid IP address !\n"},
        RefusedCase{"PppTrailingLetter", {}, {"-PppCfg", "-set", "1.2.3.4x", "10.1.1.2"}, "Invalid IP address !\n"},
        RefusedCase{"AsrDelayTrailingLetters", {}, {"-ASRCfg", "-set", "ENABLED", "RESET", "300abc"}, ""},
        RefusedCase{"AsrDelayLeadingBlank", {}, {"-ASRCfg", "-set", "ENABLED", "RESET", " 300"}, ""},
        RefusedCase{"AsrDelayEmpty", {}, {"-ASRCfg", "-set", "ENABLED", "RESET", ""}, ""},
        RefusedCase{"PppTooLong", {}, {"-PppCfg", "-set", "10.1.1.1", "10.1.1.2" + std::string(24, '0')},
                    "Invalid IP address !\n"},
        RefusedCase{"AsrNotDisabled", {}, {"-ASRCfg", "-set", "ENABLED"}, "ASR method was not given !\n"},
        RefusedCase{"AsrDelayBeyond16Bits", {}, {"-ASRCfg", "-set", "ENABLED", "RESET", "65536"}, ""},
        RefusedCase{"I2cHexWithoutDigits", {}, {"-SetI2CCfg", "0x"}, ""},
        RefusedCase{"I2cAboveAByte", {}, {"-SetI2CCfg", "300"}, ""},
        RefusedCase{"HostCtrlOff", {}, {"-HostCtrl", "Off"}, ""},
        RefusedCase{"HostCtrlExtraWord", {}, {"-HostCtrl", "PowerDown", "please-ask"}, ""}),
    CaseName());

// Over the host interface: no login, the same card.
TEST(AdvancedCd, ModemAndI2c)
{
    const RunResult run = RunWithDrive({}, {"/bin/sh", "-c",
                                            R"("$0" -cd -ModemCfg -set ttyS2 -p 5551234 && "$0" -cd -ModemCfg -get ttyS2 &&
                                               "$0" -cd -SetI2CCfg 34 && "$0" -cd -GetI2CCfg)",
                                            KELVAST_BIN});
    const std::string none = kConnected + kBanner;
    EXPECT_TRUE(RunMatches(run, 0,
                           none + kConnected + ModemText("ttyS2", "57600", "ATZ", "5551234") + kBanner + none +
                               kConnected + "Current ORVA I2C Slave Address: 0x22\n" + kBanner,
                           ""));
}

}  // namespace
}  // namespace e2e
