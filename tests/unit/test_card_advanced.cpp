// The card model's advanced settings, host power and health readings, driven with raw
// request packets; and kelcard's --health option.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "card_model.h"
#include "kelcard_options.h"
#include "x9endian.h"
#include "zuna_packets.h"

namespace {

using Bytes = std::vector<uint8_t>;
using kelcard::HostPowerAction;

constexpr uint16_t kOk = 0, kNoDevice = 20, kInvalid = 28;

class CardAdvanced : public ::testing::Test {
protected:
    // The reply's status and data (status 0xFFFF when no reply came).
    std::pair<uint16_t, Bytes> Send(uint16_t command, const Bytes& data = {})
    {
        const Bytes packet = zunatest::MakeRequest(command, data);
        const Bytes reply = card.HandlePacket(session, packet.data(), packet.size());
        if (reply.size() < 32) return {0xFFFF, {}};
        return {GetLe16(&reply[22]), Bytes(reply.begin() + 32, reply.end())};
    }
    // A 140-byte modem record: port, speed, init string, phone number.
    static Bytes Modem(const std::string& port, const std::string& baud = "", const std::string& init = "",
                       const std::string& phone = "")
    {
        Bytes rec(140, 0);
        std::memcpy(&rec[0], port.data(), port.size());
        std::memcpy(&rec[32], baud.data(), baud.size());
        std::memcpy(&rec[44], init.data(), init.size());
        std::memcpy(&rec[108], phone.data(), phone.size());
        return rec;
    }

    kelcard::CardModel card;
    kelcard::Session session{.requireLogin = false};
};

TEST_F(CardAdvanced, ModemWriteKeepsTheValuesItLeavesEmpty)
{
    EXPECT_EQ(Send(0x0C03, Modem("ttyS3", "19200", "", "5551234")).first, kOk);
    EXPECT_EQ(Send(0x0C02, Modem("ttyS3")), std::make_pair(kOk, Modem("ttyS3", "19200", "ATZ", "5551234")));
    EXPECT_EQ(Send(0x0C02, Modem("ttyS2")).second, Modem("ttyS2", "57600", "ATZ"));
    // Refused writes change nothing.
    EXPECT_EQ(Send(0x0C03, Modem("ttyS3", "4800")).first, kInvalid);
    EXPECT_EQ(Send(0x0C03, Modem("ttyS3", "", std::string(61, 'A'))).first, kInvalid);
    EXPECT_EQ(Send(0x0C03, Modem("ttyS3", "", "", std::string(31, '5'))).first, kInvalid);
    EXPECT_EQ(Send(0x0C02, Modem("ttyS3")).second, Modem("ttyS3", "19200", "ATZ", "5551234"));
    EXPECT_EQ(Send(0x0C02, Modem("ttyS4")).first, kNoDevice);
    EXPECT_EQ(Send(0x0C03, Modem("TTYS2", "9600")).first, kNoDevice);
}

// The settings are configuration: a restart without saving brings back the saved ones.
TEST_F(CardAdvanced, SettingsAreSavedConfiguration)
{
    Bytes ppp(64, 0);
    std::memcpy(&ppp[0], "10.1.1.1", 8);
    std::memcpy(&ppp[32], "10.1.1.2", 8);
    EXPECT_EQ(Send(0x0C01, ppp).first, kOk);
    EXPECT_EQ(Send(0x0C07, {1, 1, 0x01, 0x2C}).first, kOk);
    EXPECT_EQ(Send(0x0C09, {0x22}).first, kOk);
    EXPECT_EQ(Send(0x0C0B, {1, 0, 0, 0, 0x82, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0}).first, kOk);
    EXPECT_EQ(Send(0x0900).first, kOk);  // saved, restarted
    EXPECT_EQ(Send(0x0C09, {0x30}).first, kOk);
    EXPECT_EQ(Send(0x0901).first, kOk);  // restarted without saving
    EXPECT_EQ(Send(0x0C00).second, ppp);
    EXPECT_EQ(Send(0x0C06, Bytes(4, 0)).second, (Bytes{1, 1, 0x01, 0x2C}));
    EXPECT_EQ(Send(0x0C08).second, Bytes{0x22});
    EXPECT_EQ(Send(0x0C0A).second, (Bytes{1, 0, 0, 0, 0x82, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
    // Values the card does not take.
    EXPECT_EQ(Send(0x0C07, {3, 1, 0, 240}).first, kInvalid);
    EXPECT_EQ(Send(0x0C07, {1, 0, 0, 240}).first, kInvalid);
    ppp[39] = 'x';
    EXPECT_EQ(Send(0x0C01, ppp).first, kInvalid);
    EXPECT_EQ(Send(0x0C08, {0x22}).first, kInvalid) << "a query carries no data";
}

TEST_F(CardAdvanced, PowerActionsAreLoggedAsTheyHappen)
{
    std::vector<HostPowerAction> heard;
    card.SetHostPowerHook([&heard](HostPowerAction action) { heard.push_back(action); });
    EXPECT_EQ(Send(0x0300, {4}).first, kOk);
    EXPECT_TRUE(card.HostPowered());
    EXPECT_EQ(Send(0x0300, {2}).first, kOk);
    EXPECT_FALSE(card.HostPowered());
    EXPECT_EQ(Send(0x0300, {1}).first, kOk);
    EXPECT_FALSE(card.HostPowered()) << "a reset does not power the host up";
    EXPECT_EQ(Send(0x0300, {3}).first, kOk);
    EXPECT_TRUE(card.HostPowered());
    EXPECT_EQ(Send(0x0300, {5}).first, kInvalid);
    EXPECT_EQ(Send(0x0300, {0}).first, kInvalid);
    const std::vector<HostPowerAction> done = {HostPowerAction::kCycle, HostPowerAction::kDown,
                                               HostPowerAction::kReset, HostPowerAction::kUp};
    EXPECT_EQ(card.HostPowerLog(), done);
    EXPECT_EQ(heard, done);
    EXPECT_STREQ(kelcard::HostPowerWord(HostPowerAction::kCycle), "cycle");
}

TEST_F(CardAdvanced, HealthReadingsCarryTheirStatus)
{
    ASSERT_TRUE(card.SetHealthValue(0, 2900));  // 3.3 V: fatal below 2970
    ASSERT_TRUE(card.SetHealthValue(5, 3160));  // 3.0 V: warning above 3150
    EXPECT_FALSE(card.SetHealthValue(6, 1));
    const auto [status, data] = Send(0x0100);
    ASSERT_EQ(status, kOk);
    ASSERT_EQ(data.size(), 816u);
    auto text = [&data](std::size_t at) { return std::string(reinterpret_cast<const char*>(&data[at])); };
    EXPECT_EQ(text(0), "Card 3.3V Supply");
    EXPECT_EQ(text(64), "Volts");
    const uint32_t numbers[] = {2900, 2970, 3135, 3300, 3465, 3630};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(GetBe32(&data[80 + 4 * i]), numbers[i]);
    EXPECT_EQ(text(104), "Fatal");
    EXPECT_EQ(text(136 + 104), "Normal");
    EXPECT_EQ(GetBe32(&data[5 * 136 + 80]), 3160u);
    EXPECT_EQ(text(5 * 136 + 104), "Warning");
}

TEST(KelcardOptions, HealthReadings)
{
    kelcard::ServeOptions options;
    std::string error;
    ASSERT_TRUE(kelcard::ParseServeOptions({"--address", "127.0.0.2", "--health", "1:2900", "--health", "6:0x10"},
                                           options, error));
    EXPECT_EQ(options.health, (std::vector<std::pair<std::size_t, uint32_t>>{{1, 2900}, {6, 16}}));
    for (const char* bad : {"0:1", "7:1", "1", "1:", "1:-5", "x:1", "1:4294967296"}) {
        EXPECT_FALSE(kelcard::ParseServeOptions({"--address", "127.0.0.2", "--health", bad}, options, error)) << bad;
        EXPECT_NE(error.find("--health"), std::string::npos) << error;
    }
}

}  // namespace
