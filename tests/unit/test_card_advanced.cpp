// The card model's advanced settings, host power and health readings, driven with raw
// request packets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "card_model.h"
#include "x9endian.h"
#include "zuna_packets.h"

namespace {

using Bytes = std::vector<uint8_t>;

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
    kelcard::Session session = kelcard::HostInterfaceSession();
};

// The settings are configuration: a restart without saving brings back the saved ones.
TEST_F(CardAdvanced, SettingsAreSavedConfiguration)
{
    EXPECT_EQ(Send(0x0C03, Modem("ttyS3", "19200", "", "5551234")).first, kOk);
    EXPECT_EQ(Send(0x0C07, {1, 1, 0x01, 0x2C}).first, kOk);
    EXPECT_EQ(Send(0x0C0B, {1, 0, 0, 0, 0x82, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0}).first, kOk);
    EXPECT_EQ(Send(0x0900).first, kOk);  // saved, restarted
    EXPECT_EQ(Send(0x0C09, {0x30}).first, kOk);
    EXPECT_EQ(Send(0x0901).first, kOk);  // restarted without saving
    EXPECT_EQ(Send(0x0C02, Modem("ttyS3")).second, Modem("ttyS3", "19200", "ATZ", "5551234"));
    EXPECT_EQ(Send(0x0C06, Bytes(4, 0)).second, (Bytes{1, 1, 0x01, 0x2C}));
    EXPECT_EQ(Send(0x0C08).second, Bytes{0x42});
    EXPECT_EQ(Send(0x0C0A).second, (Bytes{1, 0, 0, 0, 0x82, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
}

// What the tool never sends, the card refuses too, and keeps its settings.
TEST_F(CardAdvanced, RefusesValuesItCannotTake)
{
    for (const Bytes& rec : {Modem("ttyS4"), Modem("ttyS2", "4800"), Modem("ttyS2", "", std::string(61, 'A')),
                             Modem("ttyS2", "", "", std::string(31, '5'))})
        EXPECT_EQ(Send(0x0C03, rec).first, rec[4] == '4' ? kNoDevice : kInvalid);
    EXPECT_EQ(Send(0x0C02, Modem("ttyS2")).second, Modem("ttyS2", "57600", "ATZ"));
    Bytes ppp(64, 0);
    std::memcpy(&ppp[0], "10.1.1.1", 8);
    std::memcpy(&ppp[32], "10.1.1.2x", 9);
    EXPECT_EQ(Send(0x0C01, ppp).first, kInvalid);
    for (const Bytes& asr : {Bytes{3, 1, 0, 240}, Bytes{1, 0, 0, 240}}) EXPECT_EQ(Send(0x0C07, asr).first, kInvalid);
    for (uint8_t action : {0, 5}) EXPECT_EQ(Send(0x0300, {action}).first, kInvalid);
    EXPECT_TRUE(card.HostPowerLog().empty());
    EXPECT_FALSE(card.SetHealthValue(6, 1));
}

}  // namespace
