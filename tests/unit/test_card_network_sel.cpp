// The card model's network, MAC address, event log and heartbeat-interval commands,
// driven with raw request packets; and kelcard's options for them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "card_model.h"
#include "x9endian.h"
#include "kelcard_options.h"
#include "zuna_packets.h"

namespace {

using Bytes = std::vector<uint8_t>;
using kelcard::CardModel;
using kelcard::Session;

constexpr uint16_t kOk = 0, kNoExist = 16, kSpace = 18, kInvalid = 28;
constexpr uint8_t kWarning = 0x08;

Bytes Request(uint16_t command, const Bytes& data)
{
    return zunatest::MakeRequest(command, data);
}

struct ReplyView {
    uint16_t status = 0xFFFF;
    Bytes data;
};

ReplyView Exchange(CardModel& card, Session& session, uint16_t command, const Bytes& data = {})
{
    const Bytes packet = Request(command, data);
    const Bytes reply = card.HandlePacket(session, packet.data(), packet.size());
    ReplyView view;
    if (reply.size() < 32) return view;
    view.status = GetLe16(&reply[22]);
    view.data.assign(reply.begin() + 32, reply.end());
    return view;
}

Bytes Be16(uint16_t v)
{
    Bytes b(2);
    PutBe16(b.data(), v);
    return b;
}
Bytes Be32(uint32_t v)
{
    Bytes b(4);
    PutBe32(b.data(), v);
    return b;
}
// The 2- or 4-byte big-endian number at `at`.
uint32_t BeAt(const Bytes& b, std::size_t at, int size)
{
    (void)b.at(at + size - 1);  // out of range throws
    return size == 2 ? GetBe16(&b[at]) : GetBe32(&b[at]);
}

std::string TextAt(const Bytes& b, std::size_t at, std::size_t field = 32)
{
    std::string s;
    for (std::size_t i = at; i < at + field && i < b.size() && b[i] != 0; ++i) s += static_cast<char>(b[i]);
    return s;
}

// ZUNA_API_SET_NETWORK_CFG_REC: three zero-filled 32-byte text fields.
Bytes StaticRecord(const std::string& ip, const std::string& mask, const std::string& gateway)
{
    Bytes b(96, 0);
    std::memcpy(&b[0], ip.data(), std::min<std::size_t>(ip.size(), 32));
    std::memcpy(&b[32], mask.data(), std::min<std::size_t>(mask.size(), 32));
    std::memcpy(&b[64], gateway.data(), std::min<std::size_t>(gateway.size(), 32));
    return b;
}

// A 48-byte event record with the given record number (which the card ignores on add).
Bytes SelRecord(uint16_t recordNo, uint16_t eventId = 0, uint8_t severity = 0)
{
    Bytes b(48, 0);
    PutBe16(&b[0], recordNo);
    PutBe16(&b[10], eventId);
    b[12] = severity;
    return b;
}

// The 304-byte request of the extended record query.
Bytes ExRecord(uint16_t recordNo)
{
    Bytes b = SelRecord(recordNo);
    b.resize(304, 0);
    return b;
}

struct Network {
    std::string method, link, mac, ip, broadcast, netmask, gateway;
};

class CardAreasTest : public ::testing::Test {
protected:
    CardAreasTest()
    {
        card.SetClockSource([this] { return hostClock; });
        host.requireLogin = false;
    }

    ReplyView Send(uint16_t command, const Bytes& data = {}) { return SendOn(host, command, data); }

    ReplyView SendOn(Session& session, uint16_t command, const Bytes& data = {})
    {
        return Exchange(card, session, command, data);
    }

    // A session over the card's network port, logged in.
    Session NetworkSession()
    {
        Session session;
        session.loggedIn = true;
        return session;
    }

    Network GetNetwork()
    {
        const ReplyView r = Send(0x0700);
        EXPECT_EQ(kOk, r.status);
        EXPECT_EQ(224u, r.data.size());
        if (r.data.size() != 224) return {};
        return {TextAt(r.data, 0),   TextAt(r.data, 32),  TextAt(r.data, 64), TextAt(r.data, 96),
                TextAt(r.data, 128), TextAt(r.data, 160), TextAt(r.data, 192)};
    }

    Bytes GetRecord(uint16_t n)
    {
        const ReplyView r = Send(0x0401, SelRecord(n));
        EXPECT_EQ(kOk, r.status) << "record " << n;
        return r.data;
    }

    uint16_t GetPolicy()
    {
        const ReplyView r = Send(0x0406);
        EXPECT_EQ(1u, r.data.size());
        return r.data.empty() ? 0xFFFF : r.data[0];
    }

    Bytes SelInfo() { return Send(0x0400).data; }

    int64_t hostClock = 1'600'000'000;
    CardModel card;
    Session host;
};

// ---- Network and MAC address -------------------------------------------------------------

TEST_F(CardAreasTest, NewCardConfigurationAndInterfaceDown)
{
    Network n = GetNetwork();
    EXPECT_EQ("Static", n.method);
    EXPECT_EQ("eth0", n.link);
    EXPECT_EQ("00:2A:3B:4C:5D:1D", n.mac);
    EXPECT_EQ("10.0.0.5", n.ip);
    EXPECT_EQ("10.0.0.255", n.broadcast);
    EXPECT_EQ("255.255.255.0", n.netmask);
    EXPECT_EQ("10.0.0.1", n.gateway);

    card.SetInterfaceUp(false);
    n = GetNetwork();
    EXPECT_EQ("", n.link);
    EXPECT_EQ("", n.ip);
    EXPECT_EQ("", n.gateway);
    EXPECT_EQ("Static", n.method);
    EXPECT_EQ("00:2A:3B:4C:5D:1D", n.mac);

    card.SetInterfaceUp(true);
    EXPECT_EQ("10.0.0.5", GetNetwork().ip);
}

TEST_F(CardAreasTest, StaticChangeDropsANetworkConnectionAndAnswersTheHostInterface)
{
    Session net = NetworkSession();
    const Bytes packet = Request(0x0701, StaticRecord("192.168.7.20", "255.255.240.0", "192.168.0.1"));
    EXPECT_TRUE(card.HandlePacket(net, packet.data(), packet.size()).empty());
    EXPECT_TRUE(net.dropWithoutReply);
    Network n = GetNetwork();
    EXPECT_EQ("192.168.7.20", n.ip) << "taken before the connection went";
    EXPECT_EQ("192.168.15.255", n.broadcast);
    EXPECT_EQ("255.255.240.0", n.netmask);
    EXPECT_EQ("192.168.0.1", n.gateway);

    const ReplyView r = Send(0x0701, StaticRecord("172.16.1.2", "255.255.255.252", "172.16.1.1"));
    EXPECT_EQ(kOk, r.status);
    EXPECT_TRUE(r.data.empty());
    EXPECT_FALSE(host.dropWithoutReply);
    EXPECT_FALSE(host.closeAfterReply);
    n = GetNetwork();
    EXPECT_EQ("172.16.1.2", n.ip);
    EXPECT_EQ("172.16.1.3", n.broadcast);
}

TEST_F(CardAreasTest, StaticChangeWithABadTextIsRefusedAndChangesNothing)
{
    const std::string unterminated(32, '1');
    const std::vector<std::vector<std::string>> bad = {
        {"1.2.3.4x", "255.255.255.0", "1.2.3.1"},  {"256.1.1.1", "255.0.0.0", "1.1.1.1"},
        {"1.2.3", "255.0.0.0", "1.1.1.1"},         {"1000.1.1.1", "255.0.0.0", "1.1.1.1"},
        {"10.1.1.1", "255.0.255.0", "10.1.1.2"},   {"10.1.1.1", "0.0.0.0", "10.1.1.2"},
        {"10.1.1.1", "255.255.254.1", "10.1.1.2"}, {"0.0.0.0", "255.0.0.0", "10.1.1.2"},
        {"10.1.1.1", "255.0.0.0", "10.1.1"},       {"10.1..1", "255.0.0.0", "10.1.1.2"},
        {"", "255.0.0.0", "10.1.1.2"},             {unterminated, "255.0.0.0", "10.1.1.2"},
        {"-1.1.1.1", "255.0.0.0", "10.1.1.2"},     {" 10.1.1.1", "255.0.0.0", "10.1.1.2"},
        {"0010.1.1.1", "255.0.0.0", "10.1.1.2"}};
    Session net = NetworkSession();
    for (const auto& words : bad) {
        const std::string what = words[0] + " " + words[1] + " " + words[2];
        EXPECT_EQ(kInvalid, Send(0x0701, StaticRecord(words[0], words[1], words[2])).status) << what;
        EXPECT_EQ(kInvalid, SendOn(net, 0x0701, StaticRecord(words[0], words[1], words[2])).status) << what;
        EXPECT_FALSE(net.dropWithoutReply) << what;
    }
    EXPECT_EQ(kInvalid, Send(0x0701, Bytes(95, 0)).status) << "short record";
    const Network n = GetNetwork();
    EXPECT_EQ("10.0.0.5", n.ip);
    EXPECT_EQ("255.255.255.0", n.netmask);
    EXPECT_EQ("10.0.0.1", n.gateway);
}

TEST_F(CardAreasTest, DhcpTakesTheLeaseAndEndsANetworkConnectionAfterAnswering)
{
    Session net = NetworkSession();
    ReplyView r = SendOn(net, 0x0702);
    EXPECT_EQ(kOk, r.status);
    EXPECT_TRUE(net.closeAfterReply);
    EXPECT_FALSE(net.dropWithoutReply);
    Network n = GetNetwork();
    EXPECT_EQ("DHCP", n.method);
    EXPECT_EQ("10.0.0.57", n.ip);
    EXPECT_EQ("10.0.0.255", n.broadcast);
    EXPECT_EQ("255.255.255.0", n.netmask);
    EXPECT_EQ("10.0.0.1", n.gateway);

    EXPECT_EQ(kOk, Send(0x0702).status);
    EXPECT_FALSE(host.closeAfterReply) << "the host interface stays";
    EXPECT_EQ(kOk, Send(0x0701, StaticRecord("10.0.0.9", "255.255.255.0", "10.0.0.1")).status);
    EXPECT_EQ("Static", GetNetwork().method);
}

TEST_F(CardAreasTest, MacWriteNeedsTheCheckByteModulo100)
{
    const Bytes original = {0x00, 0x2A, 0x3B, 0x4C, 0x5D, 0x1D};
    EXPECT_EQ(original, Send(0x0800).data);

    Bytes ff(6, 0xFF);
    ff.push_back(250);  // 6 * 255 mod 256, the wrong modulus
    EXPECT_EQ(kInvalid, Send(0x0801, ff).status);
    ff.back() = 30;
    Bytes shifted = original;
    shifted.push_back(98);
    EXPECT_EQ(kInvalid, Send(0x0801, shifted).status) << "one off";
    EXPECT_EQ(kInvalid, Send(0x0801, original).status) << "six bytes without a check byte";
    EXPECT_EQ(original, Send(0x0800).data) << "refused writes change nothing";

    EXPECT_EQ(kOk, Send(0x0801, ff).status);
    EXPECT_EQ(Bytes(6, 0xFF), Send(0x0800).data);
    EXPECT_EQ("FF:FF:FF:FF:FF:FF", GetNetwork().mac);

    const Bytes letters = {0x0A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 30};  // sum 730
    EXPECT_EQ(kOk, Send(0x0801, letters).status);
    EXPECT_EQ("0A:BC:DE:F0:12:34", GetNetwork().mac);

    shifted.back() = 99;
    EXPECT_EQ(kOk, Send(0x0801, shifted).status);
    EXPECT_EQ((std::array<uint8_t, 6>{0x00, 0x2A, 0x3B, 0x4C, 0x5D, 0x1D}), card.MacAddress());
}

// ---- Heartbeat interval --------------------------------------------------------------------

TEST_F(CardAreasTest, HeartbeatIntervalRoundTripsBigEndianAsGiven)
{
    EXPECT_EQ(Be32(300), Send(0x0A00).data);
    EXPECT_EQ(kOk, Send(0x0A01, {0x00, 0x00, 0x0E, 0x10}).status);
    EXPECT_EQ(3600u, card.HeartbeatInterval());
    EXPECT_EQ(Be32(3600), Send(0x0A00).data);
    EXPECT_EQ(kOk, Send(0x0A01, Be32(0xFFFFFFFF)).status);
    EXPECT_EQ(Be32(0xFFFFFFFF), Send(0x0A00).data);
    EXPECT_EQ(kInvalid, Send(0x0A01, {0x00, 0x10}).status);
    EXPECT_EQ(0xFFFFFFFFu, card.HeartbeatInterval());
}

// ---- Saved configuration -------------------------------------------------------------------

TEST_F(CardAreasTest, NetworkMacHeartbeatAndPolicyFollowTheSavedConfigurationButTheLogStays)
{
    const auto change = [this](const std::string& ip, uint8_t macByte, uint32_t hb, uint8_t policy) {
        EXPECT_EQ(kOk, Send(0x0701, StaticRecord(ip, "255.255.0.0", "10.9.0.1")).status);
        EXPECT_EQ(kOk, Send(0x0801, {macByte, 0, 0, 0, 0, 0, static_cast<uint8_t>(macByte % 100)}).status);
        EXPECT_EQ(kOk, Send(0x0A01, Be32(hb)).status);
        EXPECT_EQ(kOk, Send(0x0407, {policy}).status);
    };
    change("10.9.0.2", 0x02, 600, 2);
    card.AddSelRecordAt(1000, 0x0101, 2);
    EXPECT_EQ(kOk, Send(0x0901).status);
    Network n = GetNetwork();
    EXPECT_EQ("10.0.0.5", n.ip) << "nothing saved yet: a new card's settings";
    EXPECT_EQ("255.255.255.0", n.netmask);
    EXPECT_EQ("00:2A:3B:4C:5D:1D", n.mac);
    EXPECT_EQ(Be32(300), Send(0x0A00).data);
    EXPECT_EQ(1, GetPolicy());
    EXPECT_EQ(1u, card.SelRecordCount()) << "the log is not configuration";

    change("10.9.0.3", 0x04, 900, 2);
    EXPECT_EQ(kOk, Send(0x0702).status);
    EXPECT_EQ(kOk, Send(0x0900).status);
    change("10.9.0.4", 0x06, 1200, 1);
    EXPECT_EQ(kOk, Send(0x0901).status);
    n = GetNetwork();
    EXPECT_EQ("DHCP", n.method);
    EXPECT_EQ("10.0.0.57", n.ip);
    EXPECT_EQ("04:00:00:00:00:00", n.mac);
    EXPECT_EQ(Be32(900), Send(0x0A00).data);
    EXPECT_EQ(2, GetPolicy());
}

// ---- Event log -----------------------------------------------------------------------------

TEST_F(CardAreasTest, EmptyLogStateRecordInBigEndian)
{
    // version 1.5, 0 records, 64 * 48 = 3072 bytes free, no times, delete and
    // allocation information supported
    const Bytes expected = {0x51, 0x00, 0x00, 0x0C, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0x09};
    EXPECT_EQ(expected, SelInfo());
    EXPECT_EQ(kNoExist, Send(0x0401, SelRecord(1)).status);
}

TEST_F(CardAreasTest, AddedRecordsAreNumberedFromOneAndStampedByTheCard)
{
    Bytes add = SelRecord(99, 0x0307, kWarning);
    add[2] = 0x77;  // record type: the card's own
    std::memcpy(&add[3], "\x00\x00\x00\x07", 4);
    add[7] = 0xA1;
    add[8] = 0xA2;
    add[9] = 0xA3;
    add[13] = 5;
    add[14] = 0x12;
    add[15] = 0x34;
    for (int i = 0; i < 32; ++i) add[16 + i] = static_cast<uint8_t>(0x40 + i);
    EXPECT_EQ(kOk, Send(0x0402, add).status);
    hostClock += 90;
    EXPECT_EQ(kOk, Send(0x0405, SelRecord(0, 0x0A01, 0x20)).status) << "posting an event logs it too";

    Bytes expected = add;
    expected[0] = 0;
    expected[1] = 1;
    expected[2] = 0x02;
    const Bytes stamp = Be32(1'600'000'000);
    std::copy(stamp.begin(), stamp.end(), expected.begin() + 3);
    EXPECT_EQ(expected, GetRecord(1));
    const Bytes second = GetRecord(2);
    ASSERT_EQ(48u, second.size());
    EXPECT_EQ(2u, BeAt(second, 0, 2));
    EXPECT_EQ(1'600'000'090u, BeAt(second, 3, 4));
    EXPECT_EQ(0x0A01u, BeAt(second, 10, 2));
    EXPECT_EQ(0x20, second[12]);

    const ReplyView ex = Send(0x0408, ExRecord(1));
    ASSERT_EQ(kOk, ex.status);
    ASSERT_EQ(304u, ex.data.size());
    EXPECT_EQ(expected, Bytes(ex.data.begin(), ex.data.begin() + 48));
    EXPECT_EQ("Module 3 event 7", TextAt(ex.data, 48, 256));
    EXPECT_EQ(kInvalid, Send(0x0408, SelRecord(1)).status) << "the extended query sends 304 bytes";

    const Bytes info = SelInfo();
    ASSERT_EQ(14u, info.size());
    EXPECT_EQ(2u, BeAt(info, 1, 2));
    EXPECT_EQ(62u * 48u, BeAt(info, 3, 2));
    EXPECT_EQ(1'600'000'090u, BeAt(info, 5, 4));
    EXPECT_EQ(0u, BeAt(info, 9, 4));

    EXPECT_EQ(kNoExist, Send(0x0401, SelRecord(0)).status);
    const ReplyView past = Send(0x0401, SelRecord(3));
    EXPECT_EQ(kNoExist, past.status);
    EXPECT_TRUE(past.data.empty());
    EXPECT_EQ(kNoExist, Send(0x0401, SelRecord(0x0100)).status) << "record number 1 read little-endian";
}

TEST_F(CardAreasTest, DeletionRenumbersAndClearAnswersTheCount)
{
    EXPECT_TRUE(card.AddSelRecordAt(1000, 0x0101, 0x02, "Card started"));
    EXPECT_TRUE(card.AddSelRecordAt(2000, 0x0202, 0x04));
    EXPECT_TRUE(card.AddSelRecordAt(-5, 0x0303, 0x08));
    EXPECT_EQ(1000u, BeAt(GetRecord(1), 3, 4));
    EXPECT_EQ(0u, BeAt(GetRecord(3), 3, 4)) << "times before 1970 are kept at 0";
    EXPECT_EQ("Card started", TextAt(Send(0x0408, ExRecord(1)).data, 48, 256));

    EXPECT_EQ(kNoExist, Send(0x0404, {0x02, 0x00}).status) << "record number 2 read little-endian";
    EXPECT_EQ(kNoExist, Send(0x0404, Be16(0)).status);
    EXPECT_EQ(kNoExist, Send(0x0404, Be16(4)).status);
    EXPECT_EQ(kInvalid, Send(0x0404, SelRecord(2)).status) << "deletion sends two bytes";
    EXPECT_EQ(3u, card.SelRecordCount());

    hostClock = 1'700'000'000;
    EXPECT_EQ(kOk, Send(0x0404, Be16(2)).status);
    ASSERT_EQ(2u, card.SelRecordCount());
    const Bytes moved = GetRecord(2);
    EXPECT_EQ(2u, BeAt(moved, 0, 2)) << "renumbered";
    EXPECT_EQ(0x0303u, BeAt(moved, 10, 2));
    EXPECT_EQ(kNoExist, Send(0x0401, SelRecord(3)).status);
    EXPECT_EQ(1'700'000'000u, BeAt(SelInfo(), 9, 4)) << "last deletion";

    ReplyView r = Send(0x0403);
    EXPECT_EQ(kOk, r.status);
    EXPECT_EQ(Be16(2), r.data);
    EXPECT_EQ(0u, card.SelRecordCount());
    EXPECT_EQ(Be16(0), Send(0x0403).data);
}

TEST_F(CardAreasTest, FullLogFollowsTheFillPolicy)
{
    EXPECT_EQ(1, GetPolicy()) << "rollover";
    for (uint16_t i = 1; i <= kelcard::kSelCapacity; ++i) ASSERT_TRUE(card.AddSelRecordAt(i, i, 0x02));
    EXPECT_EQ(0u, BeAt(SelInfo(), 3, 2)) << "no free space";

    hostClock = 1'650'000'000;
    EXPECT_EQ(kOk, Send(0x0402, SelRecord(0, 0x0999, kWarning)).status);
    EXPECT_EQ(kelcard::kSelCapacity, card.SelRecordCount());
    EXPECT_EQ(2u, BeAt(GetRecord(1), 10, 2)) << "the oldest went";
    EXPECT_EQ(0x0999u, BeAt(GetRecord(kelcard::kSelCapacity), 10, 2));
    EXPECT_EQ(1'650'000'000u, BeAt(SelInfo(), 9, 4)) << "dropping a record is a deletion";

    EXPECT_EQ(kOk, Send(0x0407, {2}).status);
    EXPECT_EQ(2, GetPolicy());
    EXPECT_EQ(kSpace, Send(0x0402, SelRecord(0, 0x0777, kWarning)).status);
    EXPECT_EQ(kSpace, Send(0x0405, SelRecord(0, 0x0777, kWarning)).status);
    EXPECT_FALSE(card.AddSelRecordAt(5, 0x0777, 0x02));
    EXPECT_EQ(0x0999u, BeAt(GetRecord(kelcard::kSelCapacity), 10, 2));
    EXPECT_EQ(2u, BeAt(GetRecord(1), 10, 2));

    EXPECT_EQ(kOk, Send(0x0404, Be16(1)).status);
    EXPECT_EQ(kOk, Send(0x0402, SelRecord(0, 0x0777, kWarning)).status) << "room again";

    for (uint8_t policy : {0, 3, 0xFF}) EXPECT_EQ(kInvalid, Send(0x0407, {policy}).status) << int(policy);
    EXPECT_EQ(kInvalid, Send(0x0407, {}).status);
    EXPECT_EQ(2, GetPolicy());
}

// ---- kelcard options -----------------------------------------------------------------------

std::optional<kelcard::ServeOptions> ParseServe(std::vector<std::string> words)
{
    words.insert(words.begin(), {"--address", "127.0.0.1"});
    kelcard::ServeOptions options;
    std::string error;
    if (!kelcard::ParseServeOptions(words, options, error)) return std::nullopt;
    return options;
}

TEST(KelcardServeAreaOptions, MacLinkAndSampleRecordsReachTheCard)
{
    const auto options = ParseServe({"--mac", "0a:BC:de:F0:12:34", "--link-down", "--sel-records", "8", "--clock",
                                     "1000000", "--frozen-clock"});
    ASSERT_TRUE(options);
    CardModel card;
    kelcard::ConfigureCard(card, *options, 5);
    EXPECT_EQ((std::array<uint8_t, 6>{0x0A, 0xBC, 0xDE, 0xF0, 0x12, 0x34}), card.MacAddress());
    EXPECT_EQ(8u, card.SelRecordCount());

    Session host;
    host.requireLogin = false;
    const Bytes net = Exchange(card, host, 0x0700).data;
    EXPECT_EQ("", TextAt(net, 32)) << "interface down";
    EXPECT_EQ("0A:BC:DE:F0:12:34", TextAt(net, 64));
    const Bytes first = Exchange(card, host, 0x0408, ExRecord(1)).data;
    EXPECT_EQ(1000000u - 8 * 60, BeAt(first, 3, 4)) << "one a minute up to the start";
    EXPECT_EQ("Card started", TextAt(first, 48, 256));
    EXPECT_EQ(1000000u - 60, BeAt(Exchange(card, host, 0x0408, ExRecord(8)).data, 3, 4));

    const auto none = ParseServe({});
    ASSERT_TRUE(none);
    CardModel plain;
    kelcard::ConfigureCard(plain, *none, 5);
    EXPECT_EQ(kelcard::kDefaultMac, plain.MacAddress());
    EXPECT_EQ(0u, plain.SelRecordCount());
}

TEST(KelcardServeAreaOptions, BadValuesAreRefused)
{
    for (const char* mac : {"00-2a-3b-4c-5d-1d", "00:2a:3b:4c:5d", "0g:2a:3b:4c:5d:1d", "00:2a:3b:4c:5d:1d:",
                            "00:2a:3b:4c:5d:1", "+0:2a:3b:4c:5d:1d", ""}) {
        EXPECT_FALSE(ParseServe({"--mac", mac})) << mac;
    }
    EXPECT_FALSE(ParseServe({"--mac"}));
    EXPECT_FALSE(ParseServe({"--sel-records", "65"}));
    EXPECT_FALSE(ParseServe({"--sel-records", "-1"}));
    EXPECT_TRUE(ParseServe({"--sel-records", "64"}));
}

}  // namespace
