// The card model driven with raw request packets, as a front end hands them over.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "card_model.h"
#include "x9endian.h"
#include "md5.h"
#include "zuna_packets.h"

namespace {

using Bytes = std::vector<uint8_t>;
using kelcard::CardModel;
using kelcard::ResetKind;
using kelcard::Session;

using zunatest::kSignature;

// Status codes as the card answers them.
constexpr uint16_t kOk = 0, kAuth = 1, kNeedAuth = 2, kRange = 26, kInvalid = 28, kUnsupported = 32, kChecksum = 34;

uint8_t HeaderSum(const Bytes& b)
{
    unsigned sum = 0;
    for (int i = 0; i < 32; ++i) sum += b[i];
    return static_cast<uint8_t>(sum);
}

// A request packet as the tool sends it: header (checksum over the 32 bytes) and data.
Bytes Request(uint16_t command, const Bytes& data = {})
{
    return zunatest::MakeRequest(command, data);
}

void FixChecksum(Bytes& p)
{
    zunatest::FixChecksum(p);
}

struct ReplyView {
    uint16_t status = 0xFFFF;
    uint16_t command = 0xFFFF;
    Bytes data;
};

// Checks the reply's framing and returns its status, command and data.
ReplyView Parse(const Bytes& reply)
{
    ReplyView view;
    EXPECT_GE(reply.size(), 32u);
    if (reply.size() < 32) return view;
    EXPECT_EQ(0, std::memcmp(reply.data(), kSignature, 8));
    EXPECT_EQ(0, reply[8]);
    EXPECT_EQ(4, reply[9]);
    EXPECT_EQ(32, reply[10]);
    EXPECT_EQ(0, HeaderSum(reply)) << "reply header checksum";
    EXPECT_EQ(0, reply[26]) << "originator: the card";
    EXPECT_EQ(reply.size() - 32, GetLe32(&reply[12]));
    view.command = GetLe16(&reply[20]);
    view.status = GetLe16(&reply[22]);
    view.data.assign(reply.begin() + 32, reply.end());
    return view;
}

Bytes Text(const std::string& text, std::size_t field)
{
    Bytes b(field, 0);
    std::memcpy(b.data(), text.data(), std::min(text.size(), field));
    return b;
}

std::string TextAt(const Bytes& b, std::size_t at, std::size_t field)
{
    std::string s;
    for (std::size_t i = at; i < at + field && i < b.size() && b[i] != 0; ++i) s += static_cast<char>(b[i]);
    return s;
}

Bytes Digest(const std::string& password, const Bytes& challenge)
{
    Bytes input(password.begin(), password.end());
    input.insert(input.end(), challenge.begin(), challenge.end());
    MD5_CTX ctx;
    MD5Init(&ctx);
    MD5Update(&ctx, input.data(), static_cast<unsigned>(input.size()));
    MD5Final(&ctx);
    return Bytes(ctx.digest, ctx.digest + 16);
}

// CONN_LOGIN_DATA: user name field, digest in password[0..15], challenge field unused.
Bytes LoginRecord(const Bytes& usernameField, const Bytes& digest)
{
    Bytes record = usernameField;
    Bytes password(32, 0);
    std::copy(digest.begin(), digest.end(), password.begin());
    record.insert(record.end(), password.begin(), password.end());
    record.resize(72, 0);
    return record;
}

Bytes TimeRecord(uint8_t rollback, uint32_t epoch)
{
    Bytes record(5, rollback);
    PutBe32(&record[1], epoch);
    return record;
}

class CardModelTest : public ::testing::Test {
protected:
    explicit CardModelTest(std::vector<kelcard::Account> accounts = {}) : card(std::move(accounts))
    {
        card.SetClockSource([this] { return hostClock; });
    }

    ReplyView Send(uint16_t command, const Bytes& data = {}) { return SendRaw(Request(command, data)); }
    ReplyView SendRaw(const Bytes& packet) { return Parse(card.HandlePacket(session, packet.data(), packet.size())); }

    Bytes Challenge()
    {
        const ReplyView r = Send(0x0001);
        EXPECT_EQ(kOk, r.status);
        EXPECT_EQ(8u, r.data.size());
        return r.data;
    }

    uint16_t Login(const std::string& user, const std::string& password)
    {
        const Bytes challenge = Challenge();
        return Send(0x0002, LoginRecord(Text(user, 32), Digest(password, challenge))).status;
    }

    void LogInAsAdmin() { ASSERT_EQ(kOk, Login("admin", "admin")); }

    int64_t hostClock = 1'600'000'000;
    CardModel card;
    Session session;
};

// ---- Login ---------------------------------------------------------------------------

TEST_F(CardModelTest, CommandsBeforeLoginAnswerNeedAuthWithoutData)
{
    for (uint16_t code : {0x0907, 0x0903, 0x0900, 0x0FFF}) {
        const ReplyView r = Send(code);
        EXPECT_EQ(kNeedAuth, r.status) << std::hex << code;
        EXPECT_EQ(code, r.command);
        EXPECT_TRUE(r.data.empty());
    }
    EXPECT_EQ(0, card.ResetCount()) << "a refused reset must not restart the card";
    EXPECT_FALSE(session.closeAfterReply);

    session.requireLogin = false;  // the host interface
    EXPECT_EQ(kOk, Send(0x0907).status);
}

TEST_F(CardModelTest, DefaultAccountLogsInWithRandomChallenges)
{
    EXPECT_NE(Challenge(), Challenge());
    LogInAsAdmin();
    EXPECT_TRUE(session.loggedIn);
    EXPECT_EQ(kOk, Send(0x0907).status);
}

TEST_F(CardModelTest, WrongPasswordOrUnknownUserIsRefused)
{
    EXPECT_EQ(kAuth, Login("admin", "Admin"));
    EXPECT_EQ(kAuth, Login("nobody", "admin"));
    EXPECT_EQ(kAuth, Login("ADMIN", "admin"));
    EXPECT_FALSE(session.loggedIn);
    EXPECT_EQ(kNeedAuth, Send(0x0907).status);
}

TEST_F(CardModelTest, DigestMustUseTheIssuedChallengeOnce)
{
    const Bytes none(8, 0);
    EXPECT_EQ(kAuth, Send(0x0002, LoginRecord(Text("admin", 32), Digest("admin", none))).status)
        << "no challenge issued";

    Bytes other = Challenge();
    other[7] ^= 0x01;
    EXPECT_EQ(kAuth, Send(0x0002, LoginRecord(Text("admin", 32), Digest("admin", other))).status);

    const Bytes record = LoginRecord(Text("admin", 32), Digest("admin", Challenge()));
    EXPECT_EQ(kOk, Send(0x0002, record).status);
    EXPECT_EQ(kAuth, Send(0x0002, record).status) << "replayed login";
    EXPECT_FALSE(session.loggedIn) << "the latest attempt decides";

    const Bytes next = Challenge();
    Bytes shortRecord = LoginRecord(Text("admin", 32), Digest("admin", next));
    shortRecord.pop_back();
    EXPECT_EQ(kInvalid, Send(0x0002, shortRecord).status);
    EXPECT_EQ(kAuth, Send(0x0002, LoginRecord(Text("admin", 32), Digest("admin", next))).status)
        << "a failed attempt also uses the challenge up";
}

TEST_F(CardModelTest, UnterminatedUserNameFieldFailsTheLogin)
{
    // Accounts whose names fill the field with or without room for the terminator.
    CardModel longNames({{std::string(32, 'u'), "pw"}, {std::string(31, 'u'), "pw"}});
    Session s;
    auto exchange = [&](const Bytes& p) { return Parse(longNames.HandlePacket(s, p.data(), p.size())); };
    Bytes challenge = exchange(Request(0x0001)).data;
    EXPECT_EQ(kAuth, exchange(Request(0x0002, LoginRecord(Bytes(32, 'u'), Digest("pw", challenge)))).status);

    challenge = exchange(Request(0x0001)).data;
    const Bytes name = Text(std::string(31, 'u'), 32);
    EXPECT_EQ(kOk, exchange(Request(0x0002, LoginRecord(name, Digest("pw", challenge)))).status);
}

class CardModelAccountsTest : public CardModelTest {
protected:
    CardModelAccountsTest() : CardModelTest({{"ops", "s3cret"}, {"audit", ""}}) {}
};

TEST_F(CardModelAccountsTest, GivenAccountsReplaceTheDefault)
{
    EXPECT_EQ(kAuth, Login("admin", "admin"));
    EXPECT_EQ(kOk, Login("ops", "s3cret"));
    EXPECT_EQ(kOk, Login("audit", "")) << "empty password: digest of the challenge alone";
}

// ---- Framing ---------------------------------------------------------------------------

TEST_F(CardModelTest, MalformedPacketsAnswerErrorStatus)
{
    LogInAsAdmin();
    const Bytes good = Request(0x0906, Text("x", 256));

    EXPECT_EQ(kInvalid, SendRaw({}).status);
    EXPECT_EQ(kInvalid, SendRaw(Bytes(good.begin(), good.begin() + 31)).status) << "short header";
    EXPECT_EQ(kInvalid, Parse(card.HandlePacket(session, nullptr, 0)).status);

    Bytes badSignature = good;
    badSignature[5] = 0xAB;
    FixChecksum(badSignature);
    EXPECT_EQ(kInvalid, SendRaw(badSignature).status);

    Bytes badChecksum = good;
    badChecksum[11] ^= 0x40;
    const ReplyView checksum = SendRaw(badChecksum);
    EXPECT_EQ(kChecksum, checksum.status);
    EXPECT_EQ(0x0906, checksum.command);

    Bytes badHeaderLen = good;
    badHeaderLen[10] = 33;
    FixChecksum(badHeaderLen);
    EXPECT_EQ(kInvalid, SendRaw(badHeaderLen).status);

    EXPECT_EQ(kInvalid, SendRaw(Bytes(good.begin(), good.end() - 1)).status) << "data shorter than dwDataLen";
    Bytes longer = good;
    longer.push_back(0);
    EXPECT_EQ(kInvalid, SendRaw(longer).status) << "data longer than dwDataLen";
    Bytes trailing = Request(0x0FFF);
    trailing.push_back(0);
    EXPECT_EQ(kInvalid, SendRaw(trailing).status) << "a byte behind a request without data";
    Bytes huge = good;
    PutLe32(&huge[12], 0xFFFFFFF0u);
    FixChecksum(huge);
    EXPECT_EQ(kInvalid, SendRaw(huge).status);

    EXPECT_EQ("", card.CardName()) << "no malformed packet may set the name";
}

TEST_F(CardModelTest, UnknownCodeOrWrongRequestLength)
{
    LogInAsAdmin();
    const ReplyView r = Send(0x0FFF);
    EXPECT_EQ(kUnsupported, r.status);
    EXPECT_EQ(0x0FFF, r.command);
    EXPECT_TRUE(r.data.empty());

    EXPECT_EQ(kInvalid, Send(0x0907, Bytes(1, 0)).status) << "query with data";
    EXPECT_EQ(kInvalid, Send(0x0906, Text("short", 255)).status);
    EXPECT_EQ(kInvalid, Send(0x0908, Bytes(543, 0)).status);
    EXPECT_EQ(kInvalid, Send(0x0904, Bytes(153, 0)).status);
    EXPECT_EQ(kInvalid, Send(0x090A, Bytes(4, 0)).status);
    EXPECT_EQ(kInvalid, Send(0x0900, Bytes(1, 0)).status);
    EXPECT_EQ(0, card.ResetCount());
}

// ---- General settings ---------------------------------------------------------------------

TEST_F(CardModelTest, CardNameRoundTripInA256ByteField)
{
    LogInAsAdmin();
    Bytes field = Text("rack7-web", 256);
    field[200] = 'Z';  // bytes after the terminator are not part of the name
    EXPECT_EQ(kOk, Send(0x0906, field).status);
    EXPECT_EQ("rack7-web", card.CardName());
    EXPECT_EQ(Text("rack7-web", 256), Send(0x0907).data);

    EXPECT_EQ(kOk, Send(0x0906, Bytes(256, 'n')).status) << "no terminator";
    const Bytes unterminated = Send(0x0907).data;
    ASSERT_EQ(256u, unterminated.size());
    EXPECT_EQ(std::string(255, 'n'), TextAt(unterminated, 0, 256));
    EXPECT_EQ(0, unterminated[255]);
}

TEST_F(CardModelTest, SmtpSettingsRoundTripWithEachFieldTerminated)
{
    LogInAsAdmin();
    Bytes record(544, 0);
    std::memcpy(&record[0], "10.1.2.3", 8);
    std::memcpy(&record[16], "ops@example.org", 15);
    std::memset(&record[272], '9', 16);  // server2 without a terminator
    std::memcpy(&record[288], "night@example.org", 17);
    EXPECT_EQ(kOk, Send(0x0908, record).status);

    const ReplyView r = Send(0x0909);
    ASSERT_EQ(544u, r.data.size());
    EXPECT_EQ("10.1.2.3", TextAt(r.data, 0, 16));
    EXPECT_EQ("ops@example.org", TextAt(r.data, 16, 256));
    EXPECT_EQ(std::string(15, '9'), TextAt(r.data, 272, 16));
    EXPECT_EQ(0, r.data[287]);
    EXPECT_EQ("night@example.org", TextAt(r.data, 288, 256));
}

TEST_F(CardModelTest, ServerInfoRoundTrip)
{
    LogInAsAdmin();
    Bytes record(152, 0);
    std::memcpy(&record[0], "web1", 4);
    std::memcpy(&record[32], "hall4", 5);
    std::memcpy(&record[64], "linux", 5);
    std::memset(&record[96], 'd', 56);
    EXPECT_EQ(kOk, Send(0x0904, record).status);

    const ReplyView r = Send(0x0905);
    ASSERT_EQ(152u, r.data.size());
    EXPECT_EQ("web1", TextAt(r.data, 0, 32));
    EXPECT_EQ("hall4", TextAt(r.data, 32, 32));
    EXPECT_EQ("linux", TextAt(r.data, 64, 32));
    EXPECT_EQ(std::string(55, 'd'), TextAt(r.data, 96, 56));
}

TEST_F(CardModelTest, FirmwareInfoTexts)
{
    LogInAsAdmin();
    ReplyView r = Send(0x0903);
    ASSERT_EQ(160u, r.data.size());
    EXPECT_EQ(kelcard::kDefaultFwVersion, TextAt(r.data, 0, 80));
    EXPECT_EQ(kelcard::kDefaultFwBuildDate, TextAt(r.data, 80, 80));

    card.SetFirmwareInfo("9.8.7\n", std::string(100, 'b'));
    r = Send(0x0903);
    EXPECT_EQ("9.8.7\n", TextAt(r.data, 0, 80));
    EXPECT_EQ(std::string(79, 'b'), TextAt(r.data, 80, 80));
}

// ---- Clock ---------------------------------------------------------------------------

TEST_F(CardModelTest, ClockFollowsItsSourceAndMovesForwardWithoutRestart)
{
    LogInAsAdmin();
    EXPECT_EQ(TimeRecord(0, 1'600'000'000), Send(0x090B).data);  // epochtime 5F 5E 10 00
    hostClock += 10;
    EXPECT_EQ(TimeRecord(0, 1'600'000'010), Send(0x090B).data);

    EXPECT_EQ(kOk, Send(0x090A, TimeRecord(0, 1'700'000'000)).status);
    EXPECT_EQ(kOk, Send(0x090A, TimeRecord(0, 1'700'000'000)).status) << "the same time";
    hostClock += 5;
    EXPECT_EQ(TimeRecord(0, 1'700'000'005), Send(0x090B).data) << "runs on from the new time";
    EXPECT_EQ(0, card.ResetCount());
    EXPECT_FALSE(session.closeAfterReply);
}

TEST_F(CardModelTest, ClockBackwardNeedsRollbackAndRestartsTheCard)
{
    LogInAsAdmin();
    Send(0x0906, Text("kept", 256));
    for (uint8_t notOne : {0, 2}) {
        EXPECT_EQ(kRange, Send(0x090A, TimeRecord(notOne, 1'599'999'999)).status);
    }
    EXPECT_EQ(kRange, Send(0x090A, TimeRecord(1, 0xFFFFFFFFu)).status) << "before 1970";
    EXPECT_EQ(1'600'000'000, card.CardTime());
    EXPECT_EQ(0, card.ResetCount());
    EXPECT_FALSE(session.closeAfterReply);

    const ReplyView r = Send(0x090A, TimeRecord(1, 1'500'000'000));
    EXPECT_EQ(kOk, r.status);
    EXPECT_TRUE(r.data.empty());
    EXPECT_EQ(1'500'000'000, card.CardTime());
    EXPECT_EQ(1, card.ResetCount());
    EXPECT_EQ(ResetKind::kClockRollback, card.LastReset());
    EXPECT_TRUE(session.closeAfterReply);

    Send(0x0901);
    EXPECT_EQ("kept", card.CardName()) << "the rollback restart saved the configuration";
}

TEST_F(CardModelTest, SetCardTimeMovesTheOffsetOverTheSource)
{
    card.SetCardTime(1'234'567'890);
    EXPECT_EQ(1'234'567'890, card.CardTime());
    hostClock += 3;
    EXPECT_EQ(1'234'567'893, card.CardTime());
    card.SetClockSource([] { return int64_t{1'600'000'100}; });
    EXPECT_EQ(1'234'567'990, card.CardTime()) << "a new source keeps the offset";
}

// ---- Card mode and restarts ---------------------------------------------------------------

TEST_F(CardModelTest, FlashModeUntilRestart)
{
    LogInAsAdmin();
    EXPECT_EQ(Bytes{0}, Send(0x0608).data);
    EXPECT_EQ(kOk, Send(0x0607).status);
    const Bytes mode = Send(0x0608).data;
    ASSERT_EQ(1u, mode.size());
    EXPECT_NE(0, mode[0]);

    EXPECT_EQ(kOk, Send(0x0901).status);
    EXPECT_EQ(0, card.CardMode());
}

TEST_F(CardModelTest, ResetsAnswerThenCloseAndAreCounted)
{
    LogInAsAdmin();
    ReplyView r = Send(0x0900);
    EXPECT_EQ(kOk, r.status);
    EXPECT_TRUE(r.data.empty());
    EXPECT_TRUE(session.closeAfterReply);
    EXPECT_EQ(ResetKind::kSaveConfig, card.LastReset());

    r = Send(0x0902);
    EXPECT_EQ(kOk, r.status) << "KillProcesses";
    EXPECT_FALSE(session.closeAfterReply) << "flags are per reply";

    EXPECT_EQ(kOk, Send(0x0901).status);
    EXPECT_TRUE(session.closeAfterReply);
    EXPECT_EQ(ResetKind::kNoConfig, card.LastReset());
    EXPECT_EQ(2, card.ResetCount());
}

TEST_F(CardModelTest, ResetWithoutSavingRestoresTheLastSavedConfiguration)
{
    LogInAsAdmin();
    Send(0x0906, Text("temp", 256));
    Send(0x0901);
    EXPECT_EQ("", card.CardName()) << "nothing saved yet: the first configuration";

    Bytes smtp(544, 0);
    std::memcpy(&smtp[0], "10.0.0.1", 8);
    Send(0x0906, Text("saved-name", 256));
    Send(0x0908, smtp);
    Send(0x0900);

    smtp[7] = '9';
    Send(0x0906, Text("unsaved-name", 256));
    Send(0x0908, smtp);
    EXPECT_EQ("unsaved-name", card.CardName());
    Send(0x0901);

    EXPECT_EQ("saved-name", card.CardName());
    EXPECT_EQ("10.0.0.1", TextAt(Send(0x0909).data, 0, 16));
}

// ---- Fault injection ---------------------------------------------------------------------

TEST_F(CardModelTest, ForcedStatusAnswersWithoutDataOrEffect)
{
    card.ForceStatus(0x0906, 16);
    card.ForceStatus(0x0907, 5);
    card.ForceStatus(0x0FFF, 0);
    EXPECT_EQ(kNeedAuth, Send(0x0907).status) << "the login check comes first";

    LogInAsAdmin();
    ReplyView r = Send(0x0907);
    EXPECT_EQ(5, r.status);
    EXPECT_TRUE(r.data.empty());
    EXPECT_EQ(16, Send(0x0906, Text("never", 256)).status);
    EXPECT_EQ("", card.CardName());
    EXPECT_EQ(kOk, Send(0x0FFF).status) << "also for a code the card does not know";

    card.ClearForcedStatus(0x0907);
    r = Send(0x0907);
    EXPECT_EQ(kOk, r.status);
    EXPECT_EQ(256u, r.data.size());

    card.ForceStatus(0x0002, kAuth);
    session = Session{};
    EXPECT_EQ(kAuth, Login("admin", "admin"));
    EXPECT_FALSE(session.loggedIn);
}

TEST_F(CardModelTest, ForcedDropAndRawReply)
{
    LogInAsAdmin();
    card.ForceDrop(0x0905);
    const Bytes get = Request(0x0905);
    EXPECT_TRUE(card.HandlePacket(session, get.data(), get.size()).empty());
    EXPECT_TRUE(session.dropWithoutReply);

    const Bytes raw = {1, 2, 3};
    card.ForceRawReply(0x0903, raw);
    const Bytes fw = Request(0x0903);
    EXPECT_EQ(raw, card.HandlePacket(session, fw.data(), fw.size()));
    EXPECT_FALSE(session.dropWithoutReply);

    card.ForceRawReply(0x0903, {});
    EXPECT_TRUE(card.HandlePacket(session, fw.data(), fw.size()).empty());
    EXPECT_TRUE(session.dropWithoutReply);
}

}  // namespace
