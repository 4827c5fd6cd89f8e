// Advanced-settings, host power and card-health operations against a scripted medium:
// record layouts and byte order on the wire; and the tool's modem option forms and
// address words.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fake_medium.h"
#include "zunaCmd.h"
#include "zunacmds.h"

namespace {

using Bytes = std::vector<unsigned char>;

class AdvancedOps : public ::testing::Test {
protected:
    AdvancedOps() : client(std::make_unique<FakeMedium>(log)) {}
    void Reply(uint16_t status, const Bytes& data = {}) { log.replies.push_back({0, MakeReply(status, data)}); }
    // Whether the last request was exactly this packet.
    bool Sent(uint16_t command, const Bytes& data = {}) const
    {
        return log.requests.back() == zunatest::MakeRequest(command, data);
    }

    FakeMediumLog log;
    CX9ZunaIfc client;
};

TEST_F(AdvancedOps, AsrDelayIsBigEndianBothWays)
{
    Reply(0);
    ASR_REC_tag asr{ASR_STATE_ENABLED, ASR_METHOD_RESET, 240};
    EXPECT_EQ(client.SetASRConfig(&asr), ZUNA_E_SUCCESS);
    EXPECT_TRUE(Sent(ZUNACMD_SET_ASR_CONFIG, {0x01, 0x02, 0x00, 0xF0}));
    Reply(0, {0x02, 0x01, 0x01, 0x2C});
    ASR_REC_tag got{};
    EXPECT_EQ(client.GetASRConfig(&got), ZUNA_E_SUCCESS);
    EXPECT_TRUE(Sent(ZUNACMD_GET_ASR_CONFIG, Bytes(4, 0)));
    EXPECT_EQ(got.asr_state * 10 + got.asr_method, 21);
    EXPECT_EQ(static_cast<int>(got.asr_delay), 300);
    Reply(5);  // a refused query converts nothing
    EXPECT_EQ(client.GetASRConfig(&got), 5);
    EXPECT_EQ(static_cast<int>(got.asr_delay), 300);
}

TEST_F(AdvancedOps, HealthNumbersAreBigEndianInAllSixReadings)
{
    Bytes reply(816, 0);
    for (std::size_t entry = 0; entry < 6; ++entry)
        for (std::size_t field = 0; field < 6; ++field) PutBe32(&reply[entry * 136 + 80 + field * 4], 3300 + field);
    Reply(0, reply);
    X9_HEALTH_INFO_tag entries[6] = {};
    ASSERT_EQ(client.GetCardHealth(entries), ZUNA_E_SUCCESS);
    EXPECT_TRUE(Sent(ZUNACMD_GET_CARD_HEALTH));
    for (const X9_HEALTH_INFO_tag& e : entries) {
        const uint32_t numbers[] = {e.value, e.FatalLower, e.WarningLower, e.IdealValue, e.WarningUpper, e.FatalUpper};
        for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(numbers[i], 3300 + i);
    }
    Reply(0, Bytes(815, 0));  // not all six readings
    EXPECT_EQ(client.GetCardHealth(entries), ZUNA_E_CONNECTION);
}

TEST_F(AdvancedOps, IpmiFlagsAreLittleEndian)
{
    Reply(0);
    IPMI_CONFIG_INFO_tag cfg{1, 0x20, 0, 1, 0x01020304};
    EXPECT_EQ(client.SetIPMIConfig(&cfg), ZUNA_E_SUCCESS);
    EXPECT_TRUE(Sent(ZUNACMD_SET_IPMI_CONFIG, {1, 0, 0, 0, 0x20, 0, 0, 0, 0, 1, 0, 0, 0, 4, 3, 2, 1}));
    EXPECT_EQ(static_cast<int>(cfg.log_ipmi_events), 0x01020304) << "the caller's record stays as it was";
    Reply(0, {0, 0, 0, 0, 0x82, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0});
    EXPECT_EQ(client.GetIPMIConfig(&cfg), ZUNA_E_SUCCESS);
    EXPECT_EQ(static_cast<unsigned char>(cfg.bmc_addr), 0x82);
    EXPECT_EQ(cfg.ipmi_power + cfg.ipmi_sensors + cfg.bmc_present, 1);
    EXPECT_EQ(static_cast<int>(cfg.log_ipmi_events), 0x100);
}

// --- The tool's words ------------------------------------------------------------------

struct ModemForm {
    std::vector<std::string> options;  // the words after "-ModemCfg -set PORT"
    int result;
    std::string stored;  // speed|init string|phone number
};

TEST(ModemOptions, FormsAndChecks)
{
    const std::string init60(60, 'A'), phone30(30, '5');
    const ModemForm forms[] = {
        {{"-s", "57600"}, 0, "57600||"},
        {{"-S", "9600"}, 0, "9600||"},
        {{"-s", "4800"}, 26, "||"},
        {{"-i", init60}, 0, "|" + init60 + "|"},
        {{"-i", init60 + "A"}, 26, "||"},
        {{"-p", phone30}, 0, "||" + phone30},
        {{"-P", phone30 + "5"}, 26, "||"},
        {{"-s", "19200", "-i", "ATZ"}, 0, "19200|ATZ|"},
        {{"-s", "38400", "-p", "555"}, 0, "38400||555"},
        {{"-i", "ATZ", "-x", "5551234"}, 0, "|ATZ|5551234"},
        {{"-s", "38400", "-x", "555"}, -1, "||"},
        {{"-s", "9600", "-i", "ATZ", "-p", "555"}, 0, "9600|ATZ|555"},
        // Any order; a value is never stored as another option's, an option never twice.
        {{"-i", "ATZ", "-s", "19200"}, 0, "19200|ATZ|"},
        {{"-s", "9600", "-p", "555", "-i", "ATZ"}, 0, "9600|ATZ|555"},
        {{"-i", "ATZ", "-s", "4800"}, 26, "||"},
        {{"-i", "ATZ", "-i", "555"}, -1, "||"},
        {{"-p", "555", "-x", "ATZ"}, -1, "||"},
        {{"-s", "9600", "-i", "ATZ", "-x", "555"}, -1, "||"},
        {{"-s", "9600", "-i", "ATZ", "-p", "555", "-s", "9600"}, -1, "||"},
    };
    for (const ModemForm& form : forms) {
        std::vector<std::string> words = {"", "-ModemCfg", "-set", "ttyS2"};
        words.insert(words.end(), form.options.begin(), form.options.end());
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        MODEM_CONFIG_REC rec{};
        ::testing::internal::CaptureStdout();
        const int result = parseModemArg(static_cast<int>(argv.size()), argv.data(), &rec);
        ::testing::internal::GetCapturedStdout();
        SCOPED_TRACE(::testing::PrintToString(form.options));
        EXPECT_EQ(result, form.result);
        if (result == 0) {
            EXPECT_STREQ(rec.dev, "ttyS2");
            EXPECT_EQ(std::string(rec.baud) + "|" + rec.initStr + "|" + rec.phoneNum, form.stored);
        }
    }
}

TEST(AddressWords, HexOrDecimalByteOnly)
{
    const std::pair<const char*, int> words[] = {
        {"0x22", 0x22}, {"34", 0x22}, {"0X2F", 0x2F}, {"0xf", 0x0F}, {"255", 255}, {"0", 0}, {"034", 34},
        {"0x", -1},     {"0x123", -1}, {"0xZZ", -1}, {"256", -1},   {"-1", -1},  {"", -1}, {"12ab", -1},
        {"x22", -1},    {"0x2 ", -1},
    };
    for (const auto& [word, expected] : words) {
        unsigned char address = 0xEE;
        const bool read = ReadAddressWord(word, &address);
        EXPECT_EQ(read ? address : -1, expected) << word;
        EXPECT_TRUE(read || address == 0xEE) << word << ": a refused word leaves the address alone";
    }
}

}  // namespace
