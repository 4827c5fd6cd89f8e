// kelcard's TCP front end, run in-process on its own loopback address per test and
// driven by a raw socket client; and kelcard's "serve" options.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "card_model.h"
#include "x9endian.h"
#include "kelcard_options.h"
#include "md5.h"
#include "tcp_server.h"
#include "zuna_packets.h"

namespace {

using Bytes = std::vector<uint8_t>;

using zunatest::kSignature;

Bytes Request(uint16_t command, const Bytes& data = {}, uint32_t announcedLen = UINT32_MAX)
{
    return zunatest::MakeRequest(command, data, announcedLen);
}

struct Reply {
    uint16_t command = 0;
    uint16_t status = 0;
    Bytes data;
};

Bytes NameField(const std::string& name)
{
    Bytes b(256, 0);
    std::memcpy(b.data(), name.data(), name.size());
    return b;
}

// A socket client with bounded waits: every read gives up after 10 s.
class RawClient {
public:
    explicit RawClient(const std::string& address)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval limit{10, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
        ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(6577);
        ::inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    }
    ~RawClient() { Close(); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool Connected() const { return m_connected; }

    void Close()
    {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

    bool Send(const Bytes& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    std::optional<Reply> ReadReply()
    {
        Bytes header(32);
        if (!ReadExact(header.data(), header.size())) return std::nullopt;
        if (std::memcmp(header.data(), kSignature, 8) != 0) return std::nullopt;
        Reply reply;
        const uint32_t len = GetLe32(&header[12]);
        reply.command = GetLe16(&header[20]);
        reply.status = GetLe16(&header[22]);
        if (len > 66528) return std::nullopt;
        reply.data.resize(len);
        if (!ReadExact(reply.data.data(), len)) return std::nullopt;
        return reply;
    }

    // True when the card has closed the connection (end of stream or reset) with no
    // further byte sent; false when a byte arrives or the wait runs out.
    bool ClosedByCard()
    {
        uint8_t byte = 0;
        const ssize_t n = ::recv(m_fd, &byte, 1, 0);
        return n == 0 || (n < 0 && errno == ECONNRESET);
    }

    // Logs in with the given account; returns the card's status of the login.
    std::optional<uint16_t> Login(const std::string& user, const std::string& password)
    {
        if (!Send(Request(0x0001))) return std::nullopt;
        const auto challenge = ReadReply();
        if (!challenge || challenge->data.size() != 8) return std::nullopt;
        Bytes input(password.begin(), password.end());
        input.insert(input.end(), challenge->data.begin(), challenge->data.end());
        MD5_CTX ctx;
        MD5Init(&ctx);
        MD5Update(&ctx, input.data(), static_cast<unsigned>(input.size()));
        MD5Final(&ctx);
        Bytes record(72, 0);
        std::memcpy(record.data(), user.data(), user.size());
        std::memcpy(record.data() + 32, ctx.digest, 16);
        if (!Send(Request(0x0002, record))) return std::nullopt;
        const auto reply = ReadReply();
        if (!reply) return std::nullopt;
        return reply->status;
    }

    std::optional<Reply> Exchange(uint16_t command, const Bytes& data = {})
    {
        if (!Send(Request(command, data))) return std::nullopt;
        return ReadReply();
    }

private:
    bool ReadExact(uint8_t* out, std::size_t len)
    {
        while (len > 0) {
            const ssize_t n = ::recv(m_fd, out, len, 0);
            if (n <= 0) return false;
            out += n;
            len -= static_cast<std::size_t>(n);
        }
        return true;
    }

    int m_fd = -1;
    bool m_connected = false;
};

// Each test names its own address, so that tests never share a listening socket.
class KelcardTcpTest : public ::testing::Test {
protected:
    void Serve(const std::string& address,
               std::chrono::milliseconds idleLimit = kelcard::TcpServer::kDefaultIdleLimit)
    {
        m_address = address;
        m_server = std::make_unique<kelcard::TcpServer>(card, address, ZUNA_TCP_PORT, idleLimit);
        std::string error;
        ASSERT_TRUE(m_server->Start(&error)) << error;
    }

    // True when the card answers a challenge request on this connection.
    static bool Answers(RawClient& client)
    {
        const auto reply = client.Exchange(0x0001);
        return reply && reply->status == 0;
    }

    void LoggedInClient(RawClient& client)
    {
        ASSERT_TRUE(client.Connected());
        ASSERT_EQ(std::optional<uint16_t>(0), client.Login("admin", "admin"));
    }

    const std::string& Address() const { return m_address; }

    kelcard::CardModel card;
    std::unique_ptr<kelcard::TcpServer> m_server;

private:
    std::string m_address;
};

TEST_F(KelcardTcpTest, LoginThenSettingsOverOneConnection)
{
    Serve("127.0.31.1");
    RawClient client(Address());
    ASSERT_TRUE(client.Connected());
    auto reply = client.Exchange(0x0907);
    ASSERT_TRUE(reply);
    EXPECT_EQ(2, reply->status) << "login required";

    LoggedInClient(client);
    reply = client.Exchange(0x0906, NameField("over-tcp"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(0, reply->status);
    reply = client.Exchange(0x0907);
    ASSERT_TRUE(reply);
    EXPECT_EQ(0x0907, reply->command);
    EXPECT_EQ(NameField("over-tcp"), reply->data);
}

TEST_F(KelcardTcpTest, StrayBytesBeforeARequestAreSkipped)
{
    Serve("127.0.31.2");
    RawClient client(Address());
    ASSERT_TRUE(client.Connected());
    Bytes stream = {'n', 'o', 'i', 's', 'e', 0x00, 0xA5};
    stream.insert(stream.end(), kSignature, kSignature + 6);  // a broken start of a header
    stream.insert(stream.end(), {'x', 'T', 'A', 'V'});  // a partial match broken by the real start
    const Bytes request = Request(0x0001);
    stream.insert(stream.end(), request.begin(), request.end());
    ASSERT_TRUE(client.Send(stream));

    const auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(0x0001, reply->command);
    EXPECT_EQ(0, reply->status);
    EXPECT_EQ(8u, reply->data.size());

    Bytes bad = Request(0x0907);
    bad[11] ^= 0xFF;
    ASSERT_TRUE(client.Send(bad));
    const auto next = client.ReadReply();
    ASSERT_TRUE(next) << "the connection goes on after the skipped bytes";
    EXPECT_EQ(34, next->status);
    EXPECT_EQ(std::optional<uint16_t>(0), client.Login("admin", "admin")) << "and after a bad checksum";
}

TEST_F(KelcardTcpTest, RequestSentInPiecesAndRequestsSentTogether)
{
    Serve("127.0.31.3");
    RawClient client(Address());
    LoggedInClient(client);

    const Bytes set = Request(0x0906, NameField("pieces"));
    for (std::size_t at = 0; at < set.size(); at += 7) {
        ASSERT_TRUE(client.Send(Bytes(set.begin() + at, set.begin() + std::min(at + 7, set.size()))));
    }
    auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(0, reply->status);

    Bytes both = Request(0x0903);
    const Bytes second = Request(0x0907);
    both.insert(both.end(), second.begin(), second.end());
    ASSERT_TRUE(client.Send(both));
    reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(0x0903, reply->command);
    reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(0x0907, reply->command);
    EXPECT_EQ(NameField("pieces"), reply->data);
}

TEST_F(KelcardTcpTest, ResetAnswersThenClosesAndADroppedCommandClosesWithoutReply)
{
    Serve("127.0.31.5");
    {
        RawClient client(Address());
        LoggedInClient(client);
        const auto reply = client.Exchange(0x0900);
        ASSERT_TRUE(reply);
        EXPECT_EQ(0, reply->status);
        EXPECT_TRUE(client.ClosedByCard());
        EXPECT_EQ(1, card.ResetCount());
    }
    card.ForceDrop(0x0903);
    RawClient client(Address());
    LoggedInClient(client);
    ASSERT_TRUE(client.Send(Request(0x0903)));
    EXPECT_TRUE(client.ClosedByCard());
}

TEST_F(KelcardTcpTest, ARestartOrNetworkChangeEndsTheOtherConnectionsAtTheirNextRequest)
{
    Serve("127.0.31.15");
    for (const uint16_t code : {0x0900, 0x0901, 0x0702}) {
        RawClient other(Address()), changer(Address());
        LoggedInClient(other);
        LoggedInClient(changer);
        const auto reply = changer.Exchange(code);
        ASSERT_TRUE(reply) << code;
        EXPECT_EQ(0, reply->status) << code;
        EXPECT_TRUE(changer.ClosedByCard()) << code;
        ASSERT_TRUE(other.Send(Request(0x0907))) << code;
        EXPECT_TRUE(other.ClosedByCard()) << code;
        RawClient next(Address());
        LoggedInClient(next);
    }
}

TEST_F(KelcardTcpTest, AnIdleConnectionHoldsUpNoOtherAndEachLogsInForItself)
{
    Serve("127.0.31.7");
    RawClient idle(Address());  // as kelvast at its password prompt
    ASSERT_TRUE(idle.Connected());
    RawClient first(Address());
    LoggedInClient(first);
    RawClient second(Address());
    ASSERT_TRUE(second.Connected());
    const auto refused = second.Exchange(0x0907);
    ASSERT_TRUE(refused);
    EXPECT_EQ(2, refused->status) << "the login of another connection does not carry over";
    const auto name = first.Exchange(0x0907);
    ASSERT_TRUE(name);
    EXPECT_EQ(0, name->status);
    LoggedInClient(idle);
}

TEST_F(KelcardTcpTest, AConnectionBeyondTheCapIsClosedAndAFreedPlaceIsTakenAgain)
{
    Serve("127.0.31.13");
    std::vector<std::unique_ptr<RawClient>> open;
    for (std::size_t i = 0; i < kelcard::TcpServer::kMaxConnections; ++i) {
        open.push_back(std::make_unique<RawClient>(Address()));
        ASSERT_TRUE(open.back()->Connected()) << i;
    }
    RawClient extra(Address());
    ASSERT_TRUE(extra.Connected());
    EXPECT_TRUE(extra.ClosedByCard());
    for (auto& client : open) EXPECT_TRUE(Answers(*client));

    open.pop_back();
    bool served = false;
    for (int attempt = 0; attempt < 100 && !served; ++attempt) {
        RawClient next(Address());
        served = Answers(next);
        if (!served) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(served) << "the place of a connection that ended is free again";
}

TEST_F(KelcardTcpTest, AConnectionIsClosedAfterTheIdleLimitWithoutARequestByte)
{
    using namespace std::chrono;
    constexpr auto kLimit = milliseconds(300);
    Serve("127.0.31.14", kLimit);
    const Bytes request = Request(0x0907);
    const struct {
        const char* name;
        Bytes sent;  // before falling silent
    } cases[] = {{"before any request", {}}, {"inside a header", Bytes(request.begin(), request.begin() + 20)}};
    for (const auto& c : cases) {
        // Taken before the connection: the card's last wait starts after it.
        const auto silentSince = steady_clock::now();
        RawClient client(Address());
        ASSERT_TRUE(client.Send(c.sent)) << c.name;
        EXPECT_TRUE(client.ClosedByCard()) << c.name;
        EXPECT_GE(steady_clock::now() - silentSince, kLimit) << c.name;
    }

    RawClient busy(Address());
    LoggedInClient(busy);
    for (int i = 0; i < 4; ++i) {
        std::this_thread::sleep_for(kLimit / 2);
        EXPECT_TRUE(Answers(busy)) << "a connection in use stays open past the limit, " << i;
    }
}

TEST_F(KelcardTcpTest, OversizeDataLengthClosesTheConnection)
{
    Serve("127.0.31.8");
    RawClient client(Address());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send(Request(0x0906, {}, 66529)));
    EXPECT_TRUE(client.ClosedByCard());

    RawClient next(Address());
    ASSERT_TRUE(next.Connected());
    ASSERT_TRUE(next.Send(Request(0x0FFF, Bytes(66528, 0x11))));
    const auto reply = next.ReadReply();
    ASSERT_TRUE(reply) << "the largest data area is read and answered";
    EXPECT_EQ(0x0FFF, reply->command);
    EXPECT_EQ(2, reply->status);
}

TEST_F(KelcardTcpTest, PeerClosingInsideARequestLeavesTheCardServing)
{
    Serve("127.0.31.9");
    {
        RawClient client(Address());
        const Bytes request = Request(0x0001);
        ASSERT_TRUE(client.Send(Bytes(request.begin(), request.begin() + 12)));
    }
    {
        RawClient client(Address());
        ASSERT_TRUE(client.Send(Request(0x0906, {}, 256)));
        ASSERT_TRUE(client.Send(Bytes(100, 'x')));
    }
    RawClient client(Address());
    LoggedInClient(client);
    EXPECT_EQ("", card.CardName());
}

TEST_F(KelcardTcpTest, StopPromptlyEndsEveryOpenConnectionAndTheListener)
{
    Serve("127.0.31.11");
    RawClient idle(Address()), midRequest(Address());
    ASSERT_TRUE(idle.Connected());
    const Bytes request = Request(0x0906, NameField("never"));
    ASSERT_TRUE(midRequest.Send(Bytes(request.begin(), request.begin() + 40)));
    RawClient loggedIn(Address());
    LoggedInClient(loggedIn);  // accepted after the two above, which are served by now too

    const auto started = std::chrono::steady_clock::now();
    m_server->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    for (RawClient* client : {&loggedIn, &idle, &midRequest}) EXPECT_TRUE(client->ClosedByCard());
    RawClient late(Address());
    EXPECT_FALSE(late.Connected());
    m_server->Stop();  // a second stop is harmless
}

TEST_F(KelcardTcpTest, StartRefusesOtherAddressesAndABusyPort)
{
    std::string error;
    kelcard::TcpServer outside(card, "10.0.0.1");
    EXPECT_FALSE(outside.Start(&error));
    EXPECT_NE(std::string::npos, error.find("loopback")) << error;
    kelcard::TcpServer name(card, "localhost");
    EXPECT_FALSE(name.Start());

    Serve("127.0.31.12");
    kelcard::TcpServer twin(card, "127.0.31.12");
    EXPECT_FALSE(twin.Start(&error));
    RawClient client(Address());
    LoggedInClient(client);
}

// ---- kelcard serve options ------------------------------------------------------------------

std::optional<kelcard::ServeOptions> Parse(const std::vector<std::string>& words, std::string* errorOut = nullptr)
{
    kelcard::ServeOptions options;
    std::string error;
    if (!kelcard::ParseServeOptions(words, options, error)) {
        EXPECT_FALSE(error.empty());
        if (errorOut) *errorOut = error;
        return std::nullopt;
    }
    return options;
}

TEST(KelcardServeOptions, AllOptionsReachTheCard)
{
    const auto options = Parse({"--address", "127.0.32.1", "--user", "ops:pa:ss", "--user", "ro:", "--fail",
                                "0x0907:16", "--fail", "2305:5", "--drop", "0x0903", "--frozen-clock",
                                "--fw-version", "4.5.6", "--fw-date", "today", "--late", "0x0100:61",
                                "--cut-reply", "0x0907:31,0"});
    ASSERT_TRUE(options);
    EXPECT_EQ("127.0.32.1", options->address);
    ASSERT_EQ(2u, options->accounts.size());
    EXPECT_EQ("pa:ss", options->accounts[0].password);
    EXPECT_EQ("", options->accounts[1].password);
    const std::vector<std::pair<uint16_t, uint16_t>> faults = {{0x0907, 16}, {0x0901, 5}};
    EXPECT_EQ(faults, options->faults);
    EXPECT_EQ(std::vector<uint16_t>{0x0903}, options->drops);
    EXPECT_EQ((std::vector<std::pair<uint16_t, uint32_t>>{{0x0100, 61}}), options->lateReplies);
    EXPECT_EQ((std::vector<std::pair<uint16_t, std::vector<std::size_t>>>{{0x0907, {31, 0}}}), options->cutReplies);

    kelcard::CardModel card;
    kelcard::ConfigureCard(card, *options, 1'234'567'890);
    EXPECT_EQ(1'234'567'890, card.CardTime()) << "frozen at the start time";
    kelcard::Session session;
    session.requireLogin = false;
    const Bytes get = Request(0x0907);
    const Bytes reply = card.HandlePacket(session, get.data(), get.size());
    ASSERT_EQ(32u, reply.size());
    EXPECT_EQ(16, GetLe16(&reply[22]));
    const Bytes fw = Request(0x0903);
    EXPECT_TRUE(card.HandlePacket(session, fw.data(), fw.size()).empty()) << "dropped";

    const auto withClock = Parse({"--address", "127.0.0.1", "--clock", "1000", "--fw-date", "today"});
    ASSERT_TRUE(withClock);
    kelcard::ConfigureCard(card, *withClock, 1'234'567'890);
    EXPECT_EQ(1000, card.CardTime());
    card.ClearForcedStatus(0x0903);
    const Bytes info = card.HandlePacket(session, fw.data(), fw.size());
    ASSERT_EQ(32u + 160u, info.size());
    EXPECT_EQ(kelcard::kDefaultFwVersion, std::string(reinterpret_cast<const char*>(&info[32])));
    EXPECT_EQ("today\n", std::string(reinterpret_cast<const char*>(&info[32 + 80]))) << "a line end is added";
}

TEST(KelcardServeOptions, BadWordsAreRefused)
{
    std::string error;
    EXPECT_FALSE(Parse({"--address", "192.168.1.5"}, &error));
    EXPECT_NE(std::string::npos, error.find("loopback")) << error;
    const std::vector<std::vector<std::string>> bad = {
        {}, {"--address"}, {"--bogus"}, {"--user", "nocolon"}, {"--user", ":pw"},
        {"--user", std::string(32, 'u') + ":pw"}, {"--user", "a:b", "--user", "a:c"}, {"--fail", "0x0907"},
        {"--fail", "0x10000:1"}, {"--fail", "0x0907:65536"}, {"--drop", "-1"}, {"--late", "0x0907"}, {"--late", "0x0907:3601"},
        {"--cut-reply", "0x0907"}, {"--cut-reply", "0x0907:66561"}, {"--cut-reply", "0x0907:1,"}, {"--clock", "0x10"},
        {"--clock", "2147483648"}};
    for (size_t i = 0; i < bad.size(); ++i) {
        std::vector<std::string> words = bad[i];
        if (i > 0) words.insert(words.begin(), {"--address", "127.0.0.1"});
        EXPECT_FALSE(Parse(words)) << "case " << i;
    }
}

TEST(KelcardServeOptions, UnknownOptionsAndMissingValuesAreRefusedByName)
{
    std::string error;
    EXPECT_FALSE(Parse({"--address", "127.0.0.1", "--xyz"}, &error));
    EXPECT_EQ("unknown option '--xyz'", error);
    for (const char* name :
         {"--address", "--user", "--fail", "--drop", "--late", "--cut-reply", "--clock", "--fw-version", "--fw-date", "--mac", "--sel-records"}) {
        EXPECT_FALSE(Parse({"--address", "127.0.0.1", name}, &error)) << name;
        EXPECT_EQ(std::string(name) + " needs a value", error);
    }
    kelcard::RunOptions run;
    EXPECT_FALSE(kelcard::ParseRunOptions({"--xyz", "--", "true"}, run, error));
    EXPECT_EQ("unknown option '--xyz'", error) << "the card's options are read as serve reads them";
    for (const char* name : {"--serve", "--heartbeat", "--busy-polls", "--mouse-script"}) {
        EXPECT_FALSE(kelcard::ParseRunOptions({name, "--", "true"}, run, error)) << name;
        EXPECT_EQ(std::string(name) + " needs a value", error);
    }
}

TEST(KelcardServeOptions, Numbers)
{
    EXPECT_EQ(std::optional<uint32_t>(0xABCD), kelcard::ParseNumber("0XabCD", 0xFFFF));
    EXPECT_EQ(std::optional<uint32_t>(10), kelcard::ParseNumber("010", 0xFFFF)) << "decimal, not octal";
    EXPECT_EQ(std::optional<uint32_t>(65535), kelcard::ParseNumber("65535", 0xFFFF));
    for (const char* bad : {"", "0x", "65536", "+5", "-5", "5 ", "0x1g", "x10"}) {
        EXPECT_FALSE(kelcard::ParseNumber(bad, 0xFFFF)) << bad;
    }
}

}  // namespace
