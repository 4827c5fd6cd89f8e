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
    // The command code and the data of the last request.
    uint16_t SentCommand() const { return GetLe16(&log.requests.back()[20]); }
    Bytes SentData() const { return Bytes(log.requests.back().begin() + 32, log.requests.back().end()); }

    FakeMediumLog log;
    CX9ZunaIfc client;
};

TEST_F(AdvancedOps, AsrDelayIsBigEndianBothWays)
{
    Reply(0);
    ASR_REC_tag asr{ASR_STATE_ENABLED, ASR_METHOD_RESET, 240};
    EXPECT_EQ(client.SetASRConfig(&asr), ZUNA_E_SUCCESS);
    EXPECT_EQ(SentCommand(), ZUNACMD_SET_ASR_CONFIG);
    EXPECT_EQ(SentData(), (Bytes{0x01, 0x02, 0x00, 0xF0}));

    Reply(0, {0x02, 0x01, 0x01, 0x2C});
    ASR_REC_tag got{};
    EXPECT_EQ(client.GetASRConfig(&got), ZUNA_E_SUCCESS);
    EXPECT_EQ(SentData(), Bytes(4, 0)) << "the query carries the caller's zero-filled record";
    EXPECT_EQ(got.asr_state, 2);
    EXPECT_EQ(got.asr_method, 1);
    EXPECT_EQ(got.asr_delay, 300);

    // A refused query converts nothing.
    Reply(5);
    ASR_REC_tag refused{1, 1, 0x1234};
    EXPECT_EQ(client.GetASRConfig(&refused), 5);
    EXPECT_EQ(refused.asr_delay, 0x1234);
}

TEST_F(AdvancedOps, HealthNumbersAreBigEndianInAllSixReadings)
{
    Bytes reply(816, 0);
    for (std::size_t entry = 0; entry < 6; ++entry)
        for (std::size_t field = 0; field < 6; ++field) PutBe32(&reply[entry * 136 + 80 + field * 4], 3300 + field);
    reply[0] = 'V';
    std::memcpy(&reply[104], "Normal", 6);
    Reply(0, reply);
    X9_HEALTH_INFO_tag entries[6] = {};
    ASSERT_EQ(client.GetCardHealth(entries), ZUNA_E_SUCCESS);
    EXPECT_EQ(SentCommand(), ZUNACMD_GET_CARD_HEALTH);
    EXPECT_TRUE(SentData().empty());
    for (const X9_HEALTH_INFO_tag& e : entries) {
        const uint32_t numbers[] = {e.value, e.FatalLower, e.WarningLower, e.IdealValue, e.WarningUpper, e.FatalUpper};
        for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(numbers[i], 3300 + i);
    }
    EXPECT_STREQ(entries[0].paramName, "V");
    EXPECT_STREQ(entries[0].status, "Normal");

    // A reply that does not hold all six readings is refused.
    Reply(0, Bytes(815, 0));
    EXPECT_EQ(client.GetCardHealth(entries), ZUNA_E_CONNECTION);
}

TEST_F(AdvancedOps, IpmiFlagsAreLittleEndian)
{
    Reply(0);
    IPMI_CONFIG_INFO_tag cfg{1, 0x20, 0, 1, 0x01020304};
    EXPECT_EQ(client.SetIPMIConfig(&cfg), ZUNA_E_SUCCESS);
    EXPECT_EQ(SentCommand(), ZUNACMD_SET_IPMI_CONFIG);
    EXPECT_EQ(SentData(), (Bytes{1, 0, 0, 0, 0x20, 0, 0, 0, 0, 1, 0, 0, 0, 4, 3, 2, 1}));
    EXPECT_EQ(cfg.log_ipmi_events, 0x01020304) << "the caller's record stays as it was";

    Reply(0, {0, 0, 0, 0, 0x82, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0});
    IPMI_CONFIG_INFO_tag got{};
    EXPECT_EQ(client.GetIPMIConfig(&got), ZUNA_E_SUCCESS);
    EXPECT_EQ(static_cast<unsigned char>(got.bmc_addr), 0x82);
    EXPECT_EQ(got.ipmi_power, 1);
    EXPECT_EQ(got.log_ipmi_events, 0x100);
}

// The remaining operations: their codes and the sizes that travel.
TEST_F(AdvancedOps, RecordsTravelWhole)
{
    unsigned char action = HOST_POWER_CYCLE;
    Reply(0);
    EXPECT_EQ(client.RemoteHostPowerControl(&action), ZUNA_E_SUCCESS);
    EXPECT_EQ(SentCommand(), ZUNACMD_HOST_POWER_CONTROL);
    EXPECT_EQ(SentData(), Bytes{0x04});

    unsigned char address = 0x22;
    Reply(0);
    EXPECT_EQ(client.SetI2CConfig(&address), ZUNA_E_SUCCESS);
    EXPECT_EQ(SentData(), Bytes{0x22});
    Reply(0, {0x2F});
    EXPECT_EQ(client.GetI2CConfig(&address), ZUNA_E_SUCCESS);
    EXPECT_EQ(address, 0x2F);
    Reply(0, {});
    EXPECT_EQ(client.GetI2CConfig(&address), ZUNA_E_CONNECTION) << "an empty reply fills no address";

    MODEM_CONFIG_REC modem{};
    std::strcpy(modem.dev, "ttyS3");
    Bytes modemReply(140, 0);
    std::memcpy(&modemReply[32], "9600", 4);
    Reply(0, modemReply);
    EXPECT_EQ(client.GetModemConfig(&modem), ZUNA_E_SUCCESS);
    EXPECT_EQ(SentData().size(), 140u);
    EXPECT_EQ(SentData()[4], '3');
    EXPECT_STREQ(modem.baud, "9600");
    Reply(0);
    EXPECT_EQ(client.SetModemConfig(&modem), ZUNA_E_SUCCESS);
    EXPECT_EQ(SentCommand(), ZUNACMD_SET_MODEM_CONFIG);

    PPP_SERVER_IP_REC ppp{};
    Reply(0, Bytes(64, '1'));
    EXPECT_EQ(client.GetPppServerIps(&ppp), ZUNA_E_SUCCESS);
    Reply(0);
    EXPECT_EQ(client.SetPppServerIps(&ppp), ZUNA_E_SUCCESS);
    EXPECT_EQ(SentData(), Bytes(64, '1'));
}

// --- The tool's words ------------------------------------------------------------------

struct ModemForm {
    std::vector<std::string> options;  // the words after "-ModemCfg -set PORT"
    int result;
    const char *baud, *initStr, *phoneNum;
};

TEST(ModemOptions, FormsAndChecks)
{
    const std::string init60(60, 'A'), phone30(30, '5');
    const ModemForm forms[] = {
        {{"-s", "57600"}, 0, "57600", "", ""},
        {{"-S", "9600"}, 0, "9600", "", ""},
        {{"-s", "4800"}, 26, "", "", ""},
        {{"-s", ""}, 0, "", "", ""},
        {{"-i", init60}, 0, "", init60.c_str(), ""},
        {{"-i", init60 + "A"}, 26, "", "", ""},
        {{"-p", phone30}, 0, "", "", phone30.c_str()},
        {{"-P", phone30 + "5"}, 26, "", "", ""},
        {{"-x", "1"}, -1, "", "", ""},
        {{"-s", "19200", "-i", "ATZ"}, 0, "19200", "ATZ", ""},
        {{"-s", "38400", "-p", "555"}, 0, "38400", "", "555"},
        {{"-i", "ATZ", "-x", "5551234"}, 0, "", "ATZ", "5551234"},
        {{"-s", "38400", "-x", "555"}, -1, "", "", ""},
        {{"-p", "555", "-s", "9600"}, -1, "", "", ""},
        {{"-s", "9600", "-i", "ATZ", "-p", "555"}, 0, "9600", "ATZ", "555"},
        {{"-s", "9600", "-p", "555", "-i", "ATZ"}, -1, "", "", ""},
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
        if (result != 0) continue;
        EXPECT_STREQ(rec.dev, "ttyS2");
        EXPECT_STREQ(rec.baud, form.baud);
        EXPECT_STREQ(rec.initStr, form.initStr);
        EXPECT_STREQ(rec.phoneNum, form.phoneNum);
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
