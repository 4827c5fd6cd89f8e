// Event-log, network, MAC and heartbeat-interval operations against a scripted
// medium: record layouts and byte order on the wire, the big-endian load and store
// helpers, and the tool's validators.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "fake_medium.h"
#include "x9endian.h"
#include "zunacmds.h"
#include "x9zunaifc.h"
#include "zunaCmd.h"

namespace {

using Bytes = std::vector<unsigned char>;

class AreaTest : public ::testing::Test {
protected:
    AreaTest() : client(std::make_unique<FakeMedium>(log)) { client.resetWaitMicros = 0; }
    void Reply(uint16_t status, const Bytes& data = {}) { log.replies.push_back({0, MakeReply(status, data)}); }
    Bytes RequestData(std::size_t i) const { return Bytes(log.requests.at(i).begin() + 32, log.requests.at(i).end()); }
    uint16_t RequestCommand(std::size_t i) const { return GetLe16(&log.requests.at(i)[20]); }

    FakeMediumLog log;
    CX9ZunaIfc client;
};

TEST_F(AreaTest, SelStateRecordIsBigEndian)
{
    const Bytes wire = {0x51, 0x00, 0x03, 0x01, 0xF4, 0x5F, 0x5E, 0x10, 0x00, 0x00, 0x00, 0x00, 0x01, 0x09};
    Reply(0, wire);
    SEL_STATE_INFO_TAG info{};
    ASSERT_EQ(client.GetSelInfo(&info), ZUNA_E_SUCCESS);
    EXPECT_EQ(info.bcdVersion, 0x51);
    EXPECT_EQ(static_cast<unsigned>(info.no_of_records), 3u);
    EXPECT_EQ(static_cast<unsigned>(info.free_space), 500u);
    EXPECT_EQ(static_cast<uint32_t>(info.last_add_time), 1600000000u);
    EXPECT_EQ(static_cast<uint32_t>(info.last_del_time), 1u);
    EXPECT_EQ(info.bmop_support, 0x09);
    EXPECT_TRUE(log.requests[0].size() == 32u);
    // A refused or short reply leaves the record as it was, in host order.
    const SEL_STATE_INFO_TAG before = info;
    Reply(ZUNA_E_BUSY, wire);
    EXPECT_EQ(client.GetSelInfo(&info), ZUNA_E_BUSY);
    Reply(0, Bytes(wire.begin(), wire.end() - 1));
    EXPECT_EQ(client.GetSelInfo(&info), ZUNA_E_CONNECTION);
    EXPECT_EQ(0, std::memcmp(&info, &before, sizeof(info)));
}

TEST_F(AreaTest, SelRecordsTravelInWireOrder)
{
    // A record query sends the whole record BE and turns the reply back.
    Bytes reply(48, 0);
    reply[0] = 0x00, reply[1] = 0x02;                                    // record 2
    reply[3] = 0x5F, reply[4] = 0x5E, reply[5] = 0x10, reply[6] = 0x00;  // time
    reply[10] = 0x03, reply[11] = 0x07;                                  // event 0x0307
    reply[12] = 0x08;
    reply[14] = 0x12, reply[15] = 0x34;
    Reply(0, reply);
    DUVX9_SEL_RECORD_TAG rec{};
    rec.record_no = 2;
    ASSERT_EQ(client.GetSelRecord(&rec), ZUNA_E_SUCCESS);
    Bytes sent = RequestData(0);
    ASSERT_EQ(sent.size(), 48u);
    EXPECT_EQ(sent[0], 0x00);
    EXPECT_EQ(sent[1], 0x02);
    EXPECT_EQ(static_cast<uint32_t>(rec.time), 1600000000u);
    EXPECT_EQ(static_cast<unsigned>(rec.duvx9_event_id), 0x0307u);
    EXPECT_EQ(static_cast<unsigned>(rec.value2), 0x1234u);
    EXPECT_EQ(rec.eventType.event_type, 0x08);
    // A refused query leaves the record as it was; sending it gives the wire bytes
    // back and leaves it in host order too.
    Reply(ZUNA_E_BUSY, Bytes(48, 0xEE));
    EXPECT_EQ(client.GetSelRecord(&rec), ZUNA_E_BUSY);
    Reply(ZUNA_E_BUSY);
    EXPECT_EQ(client.AddSelRecord(&rec), ZUNA_E_BUSY);
    EXPECT_EQ(RequestData(2), reply);
    EXPECT_EQ(static_cast<unsigned>(rec.duvx9_event_id), 0x0307u);
    log.requests.erase(log.requests.begin() + 1, log.requests.end());

    // A deletion of record 258 sends exactly 01 02.
    Reply(0);
    DUVX9_SEL_RECORD_TAG del{};
    del.record_no = 258;
    EXPECT_EQ(client.DelSelRecord(&del), ZUNA_E_SUCCESS);
    EXPECT_EQ(RequestData(1), (Bytes{0x01, 0x02}));
    EXPECT_EQ(static_cast<unsigned>(del.record_no), 258u);

    // The extended query sends all 304 bytes; the policy set one byte; the pure
    // queries none.
    Reply(0, Bytes(304, 0));
    EVENT_RECORD_EXT_tag ext{};
    EXPECT_EQ(client.GetSelRecordEx(&ext), ZUNA_E_SUCCESS);
    EXPECT_EQ(RequestData(2).size(), 304u);
    Reply(0);
    EXPECT_EQ(client.SetSelPolicy(SEL_POLICY_STOP), ZUNA_E_SUCCESS);
    EXPECT_EQ(RequestData(3), (Bytes{0x02}));
    Reply(0, {0x00, 0x05});
    uint16_t cleared = 0;
    EXPECT_EQ(client.ClearSelList(&cleared), ZUNA_E_SUCCESS);
    EXPECT_EQ(cleared, 5u);
    EXPECT_EQ(RequestData(4).size(), 0u);
    const uint16_t codes[] = {ZUNACMD_GET_SEL_RECORD, ZUNACMD_DEL_SEL_RECORD, ZUNACMD_GET_SEL_RECORD_EX,
                              ZUNACMD_SET_SEL_POLICY, ZUNACMD_CLEAR_SEL_LIST};
    for (std::size_t i = 0; i < std::size(codes); ++i) EXPECT_EQ(RequestCommand(i), codes[i]) << i;
}

TEST_F(AreaTest, AddedRecordGoesOutBigEndian)
{
    Reply(0);
    DUVX9_SEL_RECORD_TAG rec{};
    rec.duvx9_event_id = 0x0307;
    rec.eventType.event_type = SEL_SEVERITY_WARNING;
    EXPECT_EQ(client.AddSelRecord(&rec), ZUNA_E_SUCCESS);
    const Bytes sent = RequestData(0);
    EXPECT_EQ(sent[10], 0x03);
    EXPECT_EQ(sent[11], 0x07);
    EXPECT_EQ(sent[12], 0x08);
}

// Each store at an odd offset writes the field's bytes and leaves its neighbours; the
// load gives the value back.
TEST(ByteOrder, BigEndianHelpersAtTheirBoundaries)
{
    const struct {
        uint32_t value;
        Bytes wire;
    } cases[] = {{0x0000, {0x00, 0x00}}, {0x0001, {0x00, 0x01}}, {0x00FF, {0x00, 0xFF}}, {0xFF00, {0xFF, 0x00}},
                 {0x7FFF, {0x7F, 0xFF}}, {0x8000, {0x80, 0x00}}, {0xFFFF, {0xFF, 0xFF}}, {0, {0, 0, 0, 0}},
                 {1, {0, 0, 0, 1}}, {0x12345678, {0x12, 0x34, 0x56, 0x78}}, {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF}}};
    for (const auto& c : cases) {
        Bytes buffer(9, 0xA5), expected(9, 0xA5);
        std::copy(c.wire.begin(), c.wire.end(), expected.begin() + 3);
        const bool narrow = c.wire.size() == 2;
        if (narrow) PutBe16(&buffer[3], static_cast<uint16_t>(c.value));
        else PutBe32(&buffer[3], c.value);
        EXPECT_EQ(buffer, expected) << std::hex << c.value;
        EXPECT_EQ(narrow ? GetBe16(&buffer[3]) : GetBe32(&buffer[3]), c.value);
    }
}

TEST(MacText, FormAndCheckByte)
{
    const unsigned char mac[6] = {0x00, 0x2A, 0x3B, 0x4C, 0x5D, 0x1D};
    unsigned char text[MAC_TEXT_LEN];
    form_mac_string(text, mac, 6);
    EXPECT_STREQ(reinterpret_cast<char*>(text), "00:2A:3B:4C:5D:1D");
    EXPECT_EQ(calc_chksum(mac, 6), 99);
    const unsigned char ff[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(calc_chksum(ff, 6), 30);
    const unsigned char zero[6] = {};
    EXPECT_EQ(calc_chksum(zero, 6), 0);
}

TEST_F(AreaTest, MacWriteAndRead)
{
    Reply(0);
    EXPECT_EQ(client.SetMACAddressString(reinterpret_cast<const unsigned char*>("00:2a:3b:4c:5d:1d")), ZUNA_E_SUCCESS);
    EXPECT_EQ(RequestData(0), (Bytes{0x00, 0x2A, 0x3B, 0x4C, 0x5D, 0x1D, 0x63}));
    // Texts that are not the 17-character form are refused before sending.
    EXPECT_EQ(client.SetMACAddressString(reinterpret_cast<const unsigned char*>("00:2a:3b")), ZUNA_E_INVALID);
    EXPECT_EQ(client.SetMACAddressString(reinterpret_cast<const unsigned char*>("00:2a:3b:4c:5d:1g")), ZUNA_E_INVALID);
    EXPECT_EQ(log.requests.size(), 1u);

    Reply(0, {0x00, 0x2A, 0x3B, 0x4C, 0x5D, 0x1D});
    unsigned char text[MAC_TEXT_LEN] = {};
    EXPECT_EQ(client.GetCurrentMACAddressString(text), ZUNA_E_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(text), "00:2A:3B:4C:5D:1D");
    // A reply of another length is no address.
    Reply(0, {0x00, 0x2A, 0x3B});
    std::memset(text, 'x', sizeof(text));
    EXPECT_EQ(client.GetCurrentMACAddressString(text), ZUNA_E_CONNECTION);
    EXPECT_EQ(text[0], 'x');
}

TEST_F(AreaTest, MacWriteAndResetSkipsTheResetWhenTheWriteFails)
{
    const unsigned char mac[6] = {0x00, 0x2A, 0x3B, 0x4C, 0x5D, 0x1D};
    Reply(ZUNA_E_INVALID);
    EXPECT_EQ(client.SetMACAddressBytesAndResetX9(mac), ZUNA_E_INVALID);
    ASSERT_EQ(log.requests.size(), 1u);

    Reply(0);
    Reply(0);
    EXPECT_EQ(client.SetMACAddressBytesAndResetX9(mac), ZUNA_E_SUCCESS);
    ASSERT_EQ(log.requests.size(), 3u);
    EXPECT_EQ(RequestCommand(2), ZUNACMD_RESET_SAVE_CONFIG);

    // A refused reset after a good write is reported.
    Reply(0);
    Reply(ZUNA_E_BUSY);
    EXPECT_EQ(client.SetMACAddressBytesAndResetX9(mac), ZUNA_E_BUSY);
}

TEST_F(AreaTest, StaticNetworkRecordAndItsTimeout)
{
    Reply(0);
    EXPECT_EQ(client.SetNetworkStatically("10.1.2.3", "255.255.0.0", "10.1.0.1", 1), ZUNA_E_SUCCESS);
    Bytes expected(96, 0);
    std::memcpy(&expected[0], "10.1.2.3", 8);
    std::memcpy(&expected[32], "255.255.0.0", 11);
    std::memcpy(&expected[64], "10.1.0.1", 8);
    EXPECT_EQ(RequestData(0), expected);
    EXPECT_EQ(client.SetNetworkStatically(std::string(32, '1').c_str(), "255.255.0.0", "10.1.0.1", 1), ZUNA_E_INVALID);
    EXPECT_EQ(log.requests.size(), 1u);
}

TEST_F(AreaTest, HeartbeatIntervalIsBigEndian)
{
    Reply(0);
    EXPECT_EQ(client.SetHeartbeatInterval(300), ZUNA_E_SUCCESS);
    EXPECT_EQ(RequestData(0), (Bytes{0x00, 0x00, 0x01, 0x2C}));
    Reply(0);
    EXPECT_EQ(client.SetHeartbeatInterval(0xFFFFFFFFul), ZUNA_E_SUCCESS);
    EXPECT_EQ(RequestData(1), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));

    Reply(0, {0x00, 0x00, 0x0E, 0x10});
    unsigned long interval = 0;
    EXPECT_EQ(client.GetHeartbeatInterval(&interval), ZUNA_E_SUCCESS);
    EXPECT_EQ(interval, 3600u);
    EXPECT_EQ(RequestData(2).size(), 0u);
    // More than four bytes do not fit the interval: refused.
    Reply(0, {0, 0, 0x0E, 0x10, 0x99});
    EXPECT_EQ(client.GetHeartbeatInterval(&interval), ZUNA_E_CONNECTION);
    // The value a refusal carries is stored, in host order; a short one reads as 0.
    Reply(ZUNA_E_BUSY, {0, 0, 0x0E, 0x11});
    EXPECT_EQ(client.GetHeartbeatInterval(&interval), ZUNA_E_BUSY);
    EXPECT_EQ(interval, 3601u);
    Reply(0, {0, 0, 0x0E});
    EXPECT_EQ(client.GetHeartbeatInterval(&interval), ZUNA_E_CONNECTION);
    EXPECT_EQ(interval, 0u);
    log.replies.push_back({1, {}});
    EXPECT_EQ(client.SetHeartbeatInterval(300), ZUNA_E_CONNECTION);
}

TEST(Validators, IpAddresses)
{
    for (const char* good : {"10.0.0.1", "1.2.3.4x", "0.0.0.0", "255.255.255.255", "010.001.000.009"})
        EXPECT_EQ(ValidateIPAddress(good), 0) << good;
    for (const char* bad : {"256.1.1.1", "1.2.3", "1000.1.1.1", "", "a.b.c.d", "-1.2.3.4", "1.2.3.256"})
        EXPECT_EQ(ValidateIPAddress(bad), -1) << bad;
}

TEST(Validators, MacAddresses)
{
    for (const char* good : {"00:2a:3b:4c:5d:1d", "00:2A:3B:4C:5D:1D", "00:2a:3b:4c:5d:1dxyz"})
        EXPECT_EQ(ValidateMACAddress(good, nullptr), 0) << good;
    for (const char* bad : {"00-2a-3b-4c-5d-1d", "00:2a:3b:4c:5d", "0g:2a:3b:4c:5d:1d", "", "00:2a:3b:4c:5d:1", "0"})
        EXPECT_EQ(ValidateMACAddress(bad, nullptr), -1) << bad;
    EXPECT_EQ(IsHexa('a'), 1);
    EXPECT_EQ(IsHexa('F'), 1);
    EXPECT_EQ(IsHexa('0'), 0);
    EXPECT_EQ(IsHexa('g'), 0);
}

}  // namespace
