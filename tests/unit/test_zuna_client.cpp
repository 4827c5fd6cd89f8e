// The client core: request headers, the exchange's checks on replies, the status
// messages, the login and the general operations, against a scripted medium.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fake_medium.h"
#include "x9endian.h"
#include "zunacmds.h"
#include "md5.h"
#include "x9reader.h"
#include "x9zunaifc.h"

namespace {

using Bytes = std::vector<unsigned char>;

class ClientTest : public ::testing::Test {
protected:
    ClientTest() : client(std::make_unique<FakeMedium>(log)) { client.resetWaitMicros = 0; }

    void Reply(uint16_t status, const Bytes& data = {}) { log.replies.push_back({0, MakeReply(status, data)}); }

    Bytes RequestData(std::size_t i) const { return Bytes(log.requests.at(i).begin() + 32, log.requests.at(i).end()); }
    uint16_t RequestCommand(std::size_t i) const { return GetLe16(&log.requests.at(i)[20]); }

    FakeMediumLog log;
    CX9ZunaIfc client;
};

TEST_F(ClientTest, RequestHeadersMatchTheWorkedExamples)
{
    Reply(0);
    Reply(0);
    uint32_t recvLen = 0;
    unsigned char data[48] = {};
    EXPECT_EQ(client.SendZunaCommand(0x0400, data, 0, &recvLen, 0, sizeof(data)), ZUNA_E_SUCCESS);
    EXPECT_EQ(client.SendZunaCommand(0x0401, data, 48, &recvLen, 0, sizeof(data)), ZUNA_E_SUCCESS);

    const Bytes first = {0x54, 0x41, 0x56, 0x20, 0x55, 0xAA, 0x5A, 0xA5, 0x00, 0x04, 0x20, 0xCE, 0, 0, 0, 0,
                         0, 0, 0, 0, 0x00, 0x04, 0, 0, 0, 0, 0x01, 0, 0, 0, 0, 0};
    const Bytes second = {0x54, 0x41, 0x56, 0x20, 0x55, 0xAA, 0x5A, 0xA5, 0x00, 0x04, 0x20, 0x9D, 0x30, 0, 0, 0,
                          0, 0, 0, 0, 0x01, 0x04, 0, 0, 0, 0, 0x01, 0, 0, 0, 0, 0};
    ASSERT_EQ(log.requests.size(), 2u);
    EXPECT_EQ(log.requests[0], first);
    EXPECT_EQ(Bytes(log.requests[1].begin(), log.requests[1].begin() + 32), second);
    EXPECT_EQ(log.requests[1].size(), 32u + 48u);
}

TEST_F(ClientTest, DataLengthLimit)
{
    std::vector<unsigned char> big(ZUNA_MAX_DATA_LEN + 1, 0x11);
    uint32_t recvLen = 0;
    Reply(0);
    EXPECT_EQ(client.SendZunaCommand(0x0601, big.data(), ZUNA_MAX_DATA_LEN, &recvLen, 0, big.size()), ZUNA_E_SUCCESS);
    ASSERT_EQ(log.requests.size(), 1u);
    EXPECT_EQ(log.requests[0].size(), ZUNA_MAX_PACKET_LEN);

    // One byte more is refused before the medium is called.
    recvLen = 7;
    EXPECT_EQ(client.SendZunaCommand(0x0601, big.data(), ZUNA_MAX_DATA_LEN + 1, &recvLen, 0, big.size()),
              ZUNA_E_CONNECTION);
    EXPECT_EQ(log.requests.size(), 1u);
    EXPECT_EQ(recvLen, 7u);
}

TEST_F(ClientTest, RepliesAreCheckedBeforeAnythingIsCopied)
{
    unsigned char buf[8];
    uint32_t recvLen = 0;

    // No data: the buffer stays as it was.
    std::memset(buf, 0xEE, sizeof(buf));
    Reply(0);
    EXPECT_EQ(client.SendZunaCommand(0x0907, buf, 0, &recvLen, 0, sizeof(buf)), ZUNA_E_SUCCESS);
    EXPECT_EQ(recvLen, 0u);
    EXPECT_EQ(buf[0], 0xEE);

    // A card failure still hands back its data.
    Reply(5, {1, 2, 3});
    EXPECT_EQ(client.SendZunaCommand(0x0907, buf, 0, &recvLen, 0, sizeof(buf)), ZUNA_E_PERM);
    EXPECT_EQ(recvLen, 3u);
    EXPECT_EQ(buf[2], 3);

    // A wrong checksum is a connection failure, whatever the status says.
    std::memset(buf, 0xEE, sizeof(buf));
    Bytes bad = MakeReply(0, {9, 9});
    bad[11] ^= 1;
    log.replies.push_back({0, bad});
    recvLen = 0;
    EXPECT_EQ(client.SendZunaCommand(0x0907, buf, 0, &recvLen, 0, sizeof(buf)), ZUNA_E_CONNECTION);
    EXPECT_EQ(recvLen, 0u);
    EXPECT_EQ(buf[0], 0xEE);

    // A reply to another command (the name's to the health query) answers nothing.
    log.replies.push_back({0, MakeReply(0, {9, 9}, ZUNACMD_GET_CARD_NAME)});
    recvLen = 0;
    EXPECT_EQ(client.SendZunaCommand(ZUNACMD_GET_CARD_HEALTH, buf, 0, &recvLen, 0, sizeof(buf)), ZUNA_E_CONNECTION);
    EXPECT_EQ(recvLen, 0u);
    EXPECT_EQ(buf[0], 0xEE);

    // More data than the caller's buffer holds is refused, not copied.
    Reply(0, Bytes(9, 0x42));
    EXPECT_EQ(client.SendZunaCommand(0x0907, buf, 0, &recvLen, 0, sizeof(buf)), ZUNA_E_CONNECTION);
    EXPECT_EQ(recvLen, 0u);
    EXPECT_EQ(buf[0], 0xEE);

    // A header announcing more data than the medium delivered is refused too.
    Bytes truncated = MakeReply(0, Bytes(8, 0x42));
    truncated.resize(36);
    log.replies.push_back({0, truncated});
    EXPECT_EQ(client.SendZunaCommand(0x0907, buf, 0, &recvLen, 0, sizeof(buf)), ZUNA_E_CONNECTION);
    EXPECT_EQ(buf[0], 0xEE);
}

// A successful reply one byte short of the record its command returns is refused,
// never read as zeros or stale bytes (a 1-byte answer to the log's clear once read as
// 23040 records).
TEST_F(ClientTest, SuccessfulRepliesMustFillTheirRecord)
{
    struct Query {
        const char* name;
        std::size_t size;
        ZUNA_ERROR (*run)(CX9ZunaIfc&);
    };
    const Query queries[] = {
        {"ClearSelList", 2, [](CX9ZunaIfc& c) { uint16_t n = 0; return c.ClearSelList(&n); }},
        {"GetSelInfo", 14, [](CX9ZunaIfc& c) { SEL_STATE_INFO_TAG i{}; return c.GetSelInfo(&i); }},
        {"GetSelRecord", 48, [](CX9ZunaIfc& c) { DUVX9_SEL_RECORD_TAG r{}; return c.GetSelRecord(&r); }},
        {"GetSelRecordEx", 304, [](CX9ZunaIfc& c) { EVENT_RECORD_EXT_tag r{}; return c.GetSelRecordEx(&r); }},
        {"GetFWInfo", 160, [](CX9ZunaIfc& c) { STRUCT_FW_INFO i{}; return c.GetFWInfo(&i); }},
        {"GetSmtpConfig", 544, [](CX9ZunaIfc& c) { SMTP_CONFIG_INFO_tag i{}; return c.GetSmtpConfig(&i); }},
        {"GetCardTime", 5, [](CX9ZunaIfc& c) { X9_TIME_STRUCT_tag t{}; return c.GetCardTime(&t); }},
        {"GetHeartbeatInterval", 4, [](CX9ZunaIfc& c) { unsigned long v = 0; return c.GetHeartbeatInterval(&v); }},
    };
    for (const Query& q : queries) {
        Reply(0, Bytes(q.size - 1, 0x11));
        EXPECT_EQ(q.run(client), ZUNA_E_CONNECTION) << q.name;
        Reply(0, Bytes(q.size, 0x11));
        EXPECT_EQ(q.run(client), ZUNA_E_SUCCESS) << q.name;
    }
    // The card's name is a text of any length: a short one reads with zeros after it.
    char name[CARD_NAME_LEN];
    std::memset(name, 'x', sizeof(name));
    Reply(0, {'a', 'b'});
    ASSERT_EQ(client.GetCardName(name), ZUNA_E_SUCCESS);
    EXPECT_STREQ(name, "ab");
    // A refusal's text is not taken as the name.
    Reply(ZUNA_E_BUSY, {'n', 'o'});
    EXPECT_EQ(client.GetCardName(name), ZUNA_E_BUSY);
    EXPECT_EQ(std::string(CARD_NAME_LEN, '\0'), std::string(name, CARD_NAME_LEN));
}

// The data starts where the reply's header ends; a header shorter than its fields
// is no reply.
TEST_F(ClientTest, ReplyDataFollowsTheHeaderItsLengthNames)
{
    auto withHeader = [](uint8_t headerLen, const Bytes& data) {
        Bytes p = MakeReply(0, data);
        p.insert(p.begin() + 32, headerLen > 32 ? headerLen - 32 : 0, 0xAB);  // the header's padding
        p[10] = headerLen;
        zunatest::FixChecksum(p);
        return p;
    };
    char name[CARD_NAME_LEN];
    log.replies.push_back({0, withHeader(255, {'o', 'k'})});
    ASSERT_EQ(client.GetCardName(name), ZUNA_E_SUCCESS);
    EXPECT_STREQ(name, "ok");
    log.replies.push_back({0, withHeader(31, {'o', 'k'})});
    EXPECT_EQ(client.GetCardName(name), ZUNA_E_CONNECTION);
    // A wide header with the most data a packet carries still fits; one byte more does not.
    std::vector<unsigned char> big(ZUNA_MAX_DATA_LEN);
    uint32_t recvLen = 0;
    log.replies.push_back({0, withHeader(64, Bytes(ZUNA_MAX_PACKET_LEN - 64, 0x5A))});
    EXPECT_EQ(client.SendZunaCommand(0x0602, big.data(), 0, &recvLen, 0, big.size()), ZUNA_E_SUCCESS);
    EXPECT_EQ(recvLen, ZUNA_MAX_PACKET_LEN - 64);
    Bytes over = withHeader(64, Bytes(ZUNA_MAX_PACKET_LEN - 64, 0x5A));
    PutLe32(&over[12], ZUNA_MAX_PACKET_LEN - 63);
    zunatest::FixChecksum(over);
    log.replies.push_back({0, over});
    EXPECT_EQ(client.SendZunaCommand(0x0602, big.data(), 0, &recvLen, 0, big.size()), ZUNA_E_CONNECTION);
}

// The bounded reader at its edges, over the bytes 01 02 03 04 05 06: each row reads
// a sequence ('B' Be32, 'b' Be16, 'L' Le32, 'l' Le16, 'u' U8, 'x' four bytes taken
// as they are) from the first `len` bytes.
TEST(WireReader, StopsAtItsEndAndStaysFailed)
{
    struct Row {
        const char* name;
        std::size_t len;
        const char* reads;
        std::vector<uint32_t> values;
        bool ok, atEnd;
    };
    const Row rows[] = {
        {"ExactEnd", 6, "Bb", {0x01020304, 0x0506}, true, true},
        {"LittleEndian", 6, "Ll", {0x04030201, 0x0605}, true, true},
        {"ShortOfTheEnd", 6, "Bu", {0x01020304, 0x05}, true, false},
        {"OnePast", 5, "Bb", {0x01020304, 0}, false, false},
        {"FailureStaysSet", 5, "bLu", {0x0102, 0, 0}, false, false},
        {"BytesPastTheEndAreZeros", 3, "x", {0}, false, false},
        {"BytesToTheEnd", 4, "x", {0x01020304}, true, true},
        {"ZeroLengthUnread", 0, "", {}, true, true},
        {"ZeroLengthRead", 0, "u", {0}, false, false},
    };
    const unsigned char bytes[] = {1, 2, 3, 4, 5, 6};
    for (const Row& row : rows) {
        WireReader r(bytes, row.len);
        std::vector<uint32_t> got;
        for (const char* op = row.reads; *op != '\0'; ++op) {
            unsigned char four[4] = {9, 9, 9, 9};
            switch (*op) {
            case 'B': got.push_back(r.Be32()); break;
            case 'b': got.push_back(r.Be16()); break;
            case 'L': got.push_back(r.Le32()); break;
            case 'l': got.push_back(r.Le16()); break;
            case 'u': got.push_back(r.U8()); break;
            default: r.Bytes(four, 4), got.push_back(GetBe32(four));
            }
        }
        EXPECT_EQ(row.values, got) << row.name;
        EXPECT_EQ(row.ok, r.ok()) << row.name;
        EXPECT_EQ(row.atEnd, r.AtEnd()) << row.name;
        EXPECT_EQ(row.ok ? row.len - r.Position() : 0u, r.Remaining()) << row.name;
    }
    // The writer likewise: a field that does not fit is not written, and nothing after it.
    unsigned char out[5] = {0, 0, 0, 0, 0xEE};
    WireWriter w(out, 5);
    w.Be16(0x0102), w.Be32(0x03040506), w.U8(7);
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(Bytes({1, 2, 0, 0, 0xEE}), Bytes(out, out + 5));
}

// Records in host order whatever happens: a refused reply (status 3, data and all) and
// a short successful one leave the caller's record as given; a whole one is decoded
// into host order. Each row reads one number of its record, set to 7 before.
TEST_F(ClientTest, RecordsAreInHostOrderAfterSuccessAndFailure)
{
    struct Row {
        const char* name;
        Bytes wire;
        uint32_t decoded;
        uint32_t (*run)(CX9ZunaIfc&, ZUNA_ERROR&);
    };
    const auto wire = [](std::size_t size, std::size_t at, std::size_t width) {
        Bytes b(size, 0);
        width == 2 ? PutBe16(&b[at], 0x1234) : PutBe32(&b[at], 0x12345678);
        return b;
    };
    Bytes ipmi(17, 0);
    PutLe32(&ipmi[5], 0x12345678);
    const Row rows[] = {
        {"GetCardTime", wire(5, 1, 4), 0x12345678,
         [](CX9ZunaIfc& c, ZUNA_ERROR& st) { X9_TIME_STRUCT_tag t{0, 7}; st = c.GetCardTime(&t); return uint32_t{t.epochtime}; }},
        {"GetSelInfo", wire(14, 1, 2), 0x1234,
         [](CX9ZunaIfc& c, ZUNA_ERROR& st) { SEL_STATE_INFO_TAG i{}; i.no_of_records = 7; st = c.GetSelInfo(&i); return uint32_t{i.no_of_records}; }},
        {"GetSelRecordEx", wire(304, 3, 4), 0x12345678,
         [](CX9ZunaIfc& c, ZUNA_ERROR& st) { EVENT_RECORD_EXT_tag r{}; r.time = 7; st = c.GetSelRecordEx(&r); return uint32_t{r.time}; }},
        {"GetCardHealth", wire(816, 136 * 5 + 100, 4), 0x12345678,
         [](CX9ZunaIfc& c, ZUNA_ERROR& st) {
             X9_HEALTH_INFO_tag e[X9_HEALTH_ENTRIES]{};
             e[5].FatalUpper = 7;
             st = c.GetCardHealth(e);
             return uint32_t{e[5].FatalUpper};
         }},
        {"GetASRConfig", wire(4, 2, 2), 0x1234,
         [](CX9ZunaIfc& c, ZUNA_ERROR& st) { ASR_REC_tag a{1, 1, 7}; st = c.GetASRConfig(&a); return uint32_t{a.asr_delay}; }},
        {"GetIPMIConfig", ipmi, 0x12345678,
         [](CX9ZunaIfc& c, ZUNA_ERROR& st) { IPMI_CONFIG_INFO_tag i{}; i.ipmi_power = 7; st = c.GetIPMIConfig(&i); return uint32_t(i.ipmi_power); }},
    };
    for (const Row& row : rows) {
        ZUNA_ERROR status = ZUNA_E_SUCCESS;
        Reply(ZUNA_E_BUSY, row.wire);
        EXPECT_EQ(7u, row.run(client, status)) << row.name;
        EXPECT_EQ(ZUNA_E_BUSY, status) << row.name;
        Reply(0, Bytes(row.wire.begin(), row.wire.end() - 1));
        EXPECT_EQ(7u, row.run(client, status)) << row.name;
        EXPECT_EQ(ZUNA_E_CONNECTION, status) << row.name;
        Reply(0, row.wire);
        EXPECT_EQ(row.decoded, row.run(client, status)) << row.name;
        EXPECT_EQ(ZUNA_E_SUCCESS, status) << row.name;
    }
    // Records sent keep their numbers in host order, whatever the card answers.
    ASR_REC_tag asr{1, 1, 0x0102};
    Reply(ZUNA_E_BUSY);
    EXPECT_EQ(ZUNA_E_BUSY, client.SetASRConfig(&asr));
    EXPECT_EQ(0x0102, asr.asr_delay);
    EXPECT_EQ(Bytes({1, 1, 1, 2}), RequestData(log.requests.size() - 1));
    Reply(0, wire(5, 1, 4));
    Reply(ZUNA_E_BUSY);
    X9_TIME_STRUCT_tag t{0, 0x12345679};
    EXPECT_EQ(ZUNA_E_BUSY, client.SetCardTime(&t));
    EXPECT_EQ(0x12345679u, uint32_t{t.epochtime});
}

TEST_F(ClientTest, MediumFailureKeepsItsCode)
{
    unsigned char buf[4] = {7, 7, 7, 7};
    uint32_t recvLen = 0;
    log.replies.push_back({24, {}});
    EXPECT_EQ(client.SendZunaCommand(0x0907, buf, 0, &recvLen, 0, sizeof(buf)), ZUNA_E_CONNECTION);
    EXPECT_EQ(client.GetIssueLastError(), 24u);
    EXPECT_EQ(buf[0], 7);
}

TEST_F(ClientTest, ConnectAndDisconnect)
{
    log.connectResult = 33;
    EXPECT_EQ(client.Connect(), ZUNA_E_CONNECTION);
    log.connectResult = 0;
    EXPECT_EQ(client.Connect(), ZUNA_E_SUCCESS);
    log.disconnectResult = 1;
    EXPECT_EQ(client.Disconnect(), ZUNA_E_SUCCESS);
}

TEST(ZunaErrorString, Table)
{
    EXPECT_STREQ(GetZunaErrorString(0), "Operation Success");
    EXPECT_STREQ(GetZunaErrorString(8), "Argument nedded");
    EXPECT_STREQ(GetZunaErrorString(16), "Resource not exist");
    EXPECT_STREQ(GetZunaErrorString(32), "Unsuported command.operation");
    EXPECT_STREQ(GetZunaErrorString(33), "Error during connect ");
    EXPECT_STREQ(GetZunaErrorString(34), "Checksum error");
    EXPECT_STREQ(GetZunaErrorString(35), "File read error");
    for (int code : {36, -1, 65535, 1000}) EXPECT_STREQ(GetZunaErrorString(code), "Unknown ZUNA error") << code;
}

TEST_F(ClientTest, LoginSendsNameAndDigestNeverThePassword)
{
    const Bytes challenge = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7};
    Reply(0, challenge);
    Reply(0);
    EXPECT_EQ(client.ZunaLogin("admin", "s3cret"), 0);

    ASSERT_EQ(log.requests.size(), 2u);
    EXPECT_EQ(RequestCommand(0), ZUNACMD_GET_CHALLENGE);
    EXPECT_EQ(log.requests[0].size(), 32u);
    EXPECT_EQ(RequestCommand(1), ZUNACMD_LOGIN);
    const Bytes rec = RequestData(1);
    ASSERT_EQ(rec.size(), 72u);
    EXPECT_STREQ(reinterpret_cast<const char*>(rec.data()), "admin");

    unsigned char input[14];
    std::memcpy(input, "s3cret", 6);
    std::memcpy(input + 6, challenge.data(), 8);
    MD5_CTX ctx;
    MD5Init(&ctx);
    MD5Update(&ctx, input, sizeof(input));
    MD5Final(&ctx);
    EXPECT_EQ(Bytes(rec.begin() + 32, rec.begin() + 48), Bytes(ctx.digest, ctx.digest + 16));
    EXPECT_EQ(Bytes(rec.begin() + 48, rec.begin() + 64), Bytes(16, 0));
}

TEST_F(ClientTest, LoginFailures)
{
    // A refused challenge ends the login with 1, whatever the card said.
    Reply(ZUNA_E_NEEDAUTH);
    EXPECT_EQ(client.ZunaLogin("admin", "pw"), ZUNA_E_AUTH);
    EXPECT_EQ(log.requests.size(), 1u);
    // A challenge exchange that failed below the card is a connection failure.
    log.replies.push_back({1, {}});
    EXPECT_EQ(client.ZunaLogin("admin", "pw"), ZUNA_E_CONNECTION);
    EXPECT_EQ(log.requests.size(), 2u);

    // The card's refusal of the credentials passes through.
    Reply(0, Bytes(8, 1));
    Reply(ZUNA_E_AUTH);
    EXPECT_EQ(client.ZunaLogin("admin", "wrong"), ZUNA_E_AUTH);

    // A dropped login exchange is a connection failure.
    Reply(0, Bytes(8, 1));
    log.replies.push_back({1, {}});
    EXPECT_EQ(client.ZunaLogin("admin", "pw"), ZUNA_E_CONNECTION);

    // Texts that do not fit the record are refused before anything is sent.
    const std::size_t before = log.requests.size();
    EXPECT_EQ(client.ZunaLogin(std::string(32, 'u').c_str(), "pw"), ZUNA_E_ARG);
    EXPECT_EQ(client.ZunaLogin("admin", std::string(32, 'p').c_str()), ZUNA_E_ARG);
    EXPECT_EQ(log.requests.size(), before);
    // 31 characters fit.
    Reply(0, Bytes(8, 1));
    Reply(0);
    EXPECT_EQ(client.ZunaLogin(std::string(31, 'u').c_str(), std::string(31, 'p').c_str()), 0);
}

Bytes TimeRecord(uint8_t rollback, uint32_t epoch)
{
    Bytes record(5, rollback);
    PutBe32(&record[1], epoch);
    return record;
}

TEST_F(ClientTest, CardTimeIsBigEndian)
{
    Reply(0, {0, 0x5F, 0x5E, 0x10, 0x00});
    X9_TIME_STRUCT_tag t{};
    EXPECT_EQ(client.GetCardTime(&t), ZUNA_E_SUCCESS);
    const uint32_t epoch = t.epochtime;
    EXPECT_EQ(epoch, 1600000000u);
}

TEST_F(ClientTest, SetCardTimeForwardBackwardAndRollback)
{
    const uint32_t card = 1600000000;

    // Equal time: sent, rollback forced to 0.
    Reply(0, TimeRecord(0, card));
    Reply(0);
    X9_TIME_STRUCT_tag t{1, card};
    EXPECT_EQ(client.SetCardTime(&t), ZUNA_E_SUCCESS);
    ASSERT_EQ(log.requests.size(), 2u);
    EXPECT_EQ(RequestCommand(1), ZUNACMD_SET_CARD_TIME);
    EXPECT_EQ(RequestData(1), TimeRecord(0, card));

    // One second back without rollback: 26, nothing sent.
    Reply(0, TimeRecord(0, card));
    t = {0, card - 1};
    EXPECT_EQ(client.SetCardTime(&t), ZUNA_E_RANGE);
    EXPECT_EQ(log.requests.size(), 3u);

    // With rollback 1 it is sent as such.
    Reply(0, TimeRecord(0, card));
    Reply(0);
    t = {1, card - 1};
    EXPECT_EQ(client.SetCardTime(&t), ZUNA_E_SUCCESS);
    EXPECT_EQ(RequestData(4), TimeRecord(1, card - 1));

    // An unreadable card clock gives 30 and nothing more is sent.
    Reply(ZUNA_E_BUSY);
    t = {1, card};
    EXPECT_EQ(client.SetCardTime(&t), ZUNA_E_GENERAL);
    EXPECT_EQ(log.requests.size(), 6u);
}

TEST_F(ClientTest, GeneralRecordsTravelWithTheirSizes)
{
    Reply(0);
    EXPECT_EQ(client.SetCardName("web-7"), ZUNA_E_SUCCESS);
    Bytes name(256, 0);
    std::memcpy(name.data(), "web-7", 5);
    EXPECT_EQ(RequestData(0), name);

    Reply(0);
    SMTP_CONFIG_INFO_tag smtp{};
    EXPECT_EQ(client.SetSmtpConfig(&smtp), ZUNA_E_SUCCESS);
    EXPECT_EQ(RequestData(1).size(), 544u);

    Reply(0);
    SERVER_INFO_STRUCT_tag server{};
    EXPECT_EQ(client.SetServerInfo(&server), ZUNA_E_SUCCESS);
    EXPECT_EQ(RequestData(2).size(), 152u);

    Reply(0, {1});
    char mode = 0;
    EXPECT_EQ(client.GetCardMode(&mode), ZUNA_E_SUCCESS);
    EXPECT_EQ(mode, 1);

    // A firmware record longer than 160 bytes is refused.
    Reply(0, Bytes(161, 'x'));
    STRUCT_FW_INFO fw{};
    EXPECT_EQ(client.GetFWInfo(&fw), ZUNA_E_CONNECTION);
    EXPECT_EQ(fw.fwVersion[0], 0);

    const uint16_t codes[] = {ZUNACMD_SET_CARD_NAME, ZUNACMD_SET_SMTP_CONFIG, ZUNACMD_SET_SERVER_INFO,
                              ZUNACMD_GET_CARD_MODE, ZUNACMD_GET_FW_INFO};
    for (std::size_t i = 0; i < std::size(codes); ++i) EXPECT_EQ(RequestCommand(i), codes[i]) << i;
}

TEST_F(ClientTest, ResetsReportTheirStatus)
{
    Reply(0);
    EXPECT_EQ(client.ResetX9SaveConfig(), ZUNA_E_SUCCESS);
    log.replies.push_back({1, {}});
    EXPECT_EQ(client.ResetX9NoConfig(), ZUNA_E_CONNECTION);
    EXPECT_EQ(RequestCommand(0), ZUNACMD_RESET_SAVE_CONFIG);
    EXPECT_EQ(RequestCommand(1), ZUNACMD_RESET_NO_CONFIG);
}

}  // namespace
