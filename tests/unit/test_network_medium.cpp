// The TCP medium's framing, driven through a socket pair with a scripted peer.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "fake_medium.h"
#include "paired_network.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The short waits of the tests, and the longest any of them may take.
constexpr CX9Network_Linux::Waits kShortWaits{200ms, 200ms};
constexpr auto kGenerousBound = 2s;

class NetworkMediumTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Pair();
        reply.assign(ZUNA_MAX_PACKET_LEN, 0);
    }
    void TearDown() override
    {
        if (peer >= 0) close(peer);
    }
    // A fresh connection to a fresh medium.
    void Pair(CX9Network_Linux::Waits waits = {})
    {
        TearDown();
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        medium = std::make_unique<PairedNetwork>(fds[0], waits);
        peer = fds[1];
    }

    void PeerWrites(const Bytes& b) { ASSERT_EQ(write(peer, b.data(), b.size()), static_cast<ssize_t>(b.size())); }
    void PeerCloses()
    {
        shutdown(peer, SHUT_WR);
    }
    // What the medium has written so far.
    Bytes PeerReads()
    {
        Bytes got(ZUNA_MAX_PACKET_LEN + 64);
        const int flags = fcntl(peer, F_GETFL);
        fcntl(peer, F_SETFL, flags | O_NONBLOCK);
        const ssize_t n = read(peer, got.data(), got.size());
        fcntl(peer, F_SETFL, flags);
        got.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return got;
    }
    int Exchange(Bytes request, unsigned long* recvLen)
    {
        return medium->IssueZUNACommand(reinterpret_cast<char*>(request.data()), recvLen,
                                        reinterpret_cast<char*>(reply.data()), 0);
    }
    uint16_t ReplyStatus() const { return GetLe16(&reply[22]); }

    std::unique_ptr<PairedNetwork> medium;
    int peer = -1;
    Bytes reply;
};

TEST_F(NetworkMediumTest, SendsHeaderPlusDataLength)
{
    PeerWrites(MakeReply(0, {}));
    unsigned long recvLen = 0;
    EXPECT_EQ(Exchange(MakeReply(0, {}), &recvLen), 0);
    EXPECT_EQ(PeerReads().size(), 32u);
    EXPECT_EQ(recvLen, 32u);

    PeerWrites(MakeReply(0, {1, 2, 3}));
    Bytes request = MakeReply(0, Bytes(100, 0x5A));
    EXPECT_EQ(Exchange(request, &recvLen), 0);
    EXPECT_EQ(PeerReads(), request);
    EXPECT_EQ(recvLen, 35u);
    EXPECT_EQ(reply[34], 3);
}

TEST_F(NetworkMediumTest, SkipsStrayBytesBeforeTheSignature)
{
    Bytes stream = {0x00, 0xFF, 'T', 'A', 'X', 0x20};
    const Bytes packet = MakeReply(9, {0xAB});
    stream.insert(stream.end(), packet.begin(), packet.end());
    PeerWrites(stream);
    unsigned long recvLen = 0;
    EXPECT_EQ(Exchange(MakeReply(0, {}), &recvLen), 0);
    EXPECT_EQ(ReplyStatus(), 9);
    EXPECT_EQ(recvLen, 33u);
}

TEST_F(NetworkMediumTest, PartialSignatureJustBeforeTheReplyDoesNotHideIt)
{
    // The byte that breaks the partial match is the reply's own first 'T'.
    for (const std::string stray : {"T", "TAV", "TAV U"}) {
        Bytes stream(stray.begin(), stray.end());
        const Bytes packet = MakeReply(7, {0x01});
        stream.insert(stream.end(), packet.begin(), packet.end());
        PeerWrites(stream);
        unsigned long recvLen = 0;
        EXPECT_EQ(Exchange(MakeReply(0, {}), &recvLen), 0) << stray;
        EXPECT_EQ(ReplyStatus(), 7) << stray;
        EXPECT_EQ(recvLen, 33u) << stray;
    }
}

// Bytes read ahead of one reply (here the whole of the next, with data longer than the
// read-ahead buffer) stay for the next exchange.
TEST_F(NetworkMediumTest, RepliesArrivingTogetherAreTakenInTurn)
{
    Bytes stream = MakeReply(4, {0x11});
    const Bytes second = MakeReply(5, Bytes(9000, 0x22));
    stream.insert(stream.end(), second.begin(), second.end());
    PeerWrites(stream);
    unsigned long recvLen = 0;
    EXPECT_EQ(Exchange(MakeReply(0, {}), &recvLen), 0);
    EXPECT_EQ(ReplyStatus(), 4);
    EXPECT_EQ(recvLen, 33u);
    EXPECT_EQ(Exchange(MakeReply(0, {}), &recvLen), 0);
    EXPECT_EQ(ReplyStatus(), 5);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(recvLen)), second);
}

// A card that says nothing, stops halfway or keeps sending bytes that never make a
// signature: the exchange fails once the reply wait has passed, not before.
TEST_F(NetworkMediumTest, ReplyNotArrivedWithinTheWaitFails)
{
    const Bytes packet = MakeReply(0, Bytes(20, 1));
    const struct {
        const char* name;
        std::size_t bytesSent;  // of packet
        bool noise;
    } cases[] = {{"Silent", 0, false}, {"HalfHeader", 16, false}, {"HalfData", 42, false}, {"Noise", 0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pair(kShortWaits);
        PeerWrites(Bytes(packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(c.bytesSent)));
        std::jthread noise;
        if (c.noise)
            noise = std::jthread([fd = peer](std::stop_token stop) {
                // The signature but its last byte, over and over.
                const Bytes junk = {'T', 'A', 'V', ' ', 'U', 0xAA, 0x5A, 'x'};
                const auto until = Clock::now() + kGenerousBound;
                while (!stop.stop_requested() && Clock::now() < until)
                    if (send(fd, junk.data(), junk.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0)
                        std::this_thread::sleep_for(1ms);
            });
        unsigned long recvLen = 0;
        const auto start = Clock::now();
        EXPECT_EQ(Exchange(MakeReply(0, {}), &recvLen), 1);
        const auto took = Clock::now() - start;
        EXPECT_GE(took, kShortWaits.reply);
        EXPECT_LT(took, kGenerousBound);
    }
}

// A reply that comes after the wait would be taken as the next request's: the
// exchange that timed out closes the connection, and the next fails at once.
TEST_F(NetworkMediumTest, ExchangeThatTimedOutClosesTheConnection)
{
    Pair(kShortWaits);
    unsigned long recvLen = 0;
    EXPECT_EQ(Exchange(MakeReply(0, {}), &recvLen), 1);
    // The late reply: its bytes can no longer reach the medium.
    const Bytes late = MakeReply(0, {0x11});
    EXPECT_EQ(send(peer, late.data(), late.size(), MSG_NOSIGNAL), -1);
    const auto start = Clock::now();
    EXPECT_EQ(Exchange(MakeReply(0, {}), &recvLen), 1);
    EXPECT_LT(Clock::now() - start, kShortWaits.reply);
    PeerReads();  // the first request
    pollfd closed{peer, POLLIN, 0};
    char byte;
    EXPECT_TRUE(poll(&closed, 1, 2000) == 1 && read(peer, &byte, 1) == 0) << "the medium has closed its end";
}

TEST_F(NetworkMediumTest, PeerClosingMidPacketFails)
{
    const Bytes packet = MakeReply(0, Bytes(20, 1));
    // Mid-header.
    PeerWrites(Bytes(packet.begin(), packet.begin() + 17));
    PeerCloses();
    unsigned long recvLen = 0;
    EXPECT_EQ(Exchange(MakeReply(0, {}), &recvLen), 1);
}

TEST_F(NetworkMediumTest, PeerClosingMidDataFails)
{
    const Bytes packet = MakeReply(0, Bytes(20, 1));
    PeerWrites(Bytes(packet.begin(), packet.begin() + 40));
    PeerCloses();
    unsigned long recvLen = 0;
    EXPECT_EQ(Exchange(MakeReply(0, {}), &recvLen), 1);
}

std::atomic<unsigned> g_interruptions{0};

// A signal with a handler (installed without SA_RESTART) sent to the exchanging thread
// every few microseconds: every wait and transfer it interrupts is taken up again with
// the time left, and the largest packets go both ways intact, slowly.
TEST_F(NetworkMediumTest, SignalsInterruptingEveryWaitLoseNothing)
{
    TearDown();
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    const int small = 4096;
    ASSERT_EQ(0, setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof(small)));
    medium = std::make_unique<PairedNetwork>(fds[0], CX9Network_Linux::Waits{5s, 5s});
    peer = fds[1];

    struct sigaction interrupt{}, before{};
    interrupt.sa_handler = [](int) { ++g_interruptions; };
    sigemptyset(&interrupt.sa_mask);
    ASSERT_EQ(0, sigaction(SIGUSR1, &interrupt, &before));
    const Bytes request = MakeReply(0, Bytes(ZUNA_MAX_DATA_LEN, 0x3C));
    const Bytes answer = MakeReply(0, Bytes(ZUNA_MAX_DATA_LEN, 0xC3));
    std::atomic<bool> done{false};
    Bytes received;
    // The card reads the request and writes its answer a little at a time.
    std::thread card([&] {
        unsigned char chunk[1500];
        while (received.size() < request.size()) {
            const ssize_t n = recv(peer, chunk, sizeof(chunk), 0);
            if (n <= 0) return;
            received.insert(received.end(), chunk, chunk + n);
            usleep(100);
        }
        for (std::size_t at = 0; at < answer.size(); at += sizeof(chunk), usleep(100))
            if (send(peer, answer.data() + at, std::min(sizeof(chunk), answer.size() - at), MSG_NOSIGNAL) <= 0) return;
    });
    const pthread_t exchanging = pthread_self();
    std::thread storm([&] {
        while (!done) {
            pthread_kill(exchanging, SIGUSR1);
            usleep(20);
        }
    });
    unsigned long recvLen = 0;
    const int result = Exchange(request, &recvLen);
    shutdown(peer, SHUT_RDWR);  // a card still reading or writing stops
    done = true;
    storm.join();
    card.join();
    sigaction(SIGUSR1, &before, nullptr);
    EXPECT_EQ(0, result);
    EXPECT_TRUE(received == request) << received.size();
    ASSERT_EQ(answer.size(), recvLen);
    EXPECT_TRUE(Bytes(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(recvLen)) == answer);
    EXPECT_GT(g_interruptions.load(), 10u) << "signals arrived during the exchange";
}

TEST_F(NetworkMediumTest, MalformedHeadersAreRefused)
{
    unsigned long recvLen = 0;
    // A header length below 11.
    Bytes shortHeader = MakeReply(0, {});
    shortHeader[10] = 10;
    PeerWrites(shortHeader);
    EXPECT_EQ(Exchange(MakeReply(0, {}), &recvLen), 1);

    // A data length that would not fit the reply buffer: refused after the header,
    // nothing written past the buffer (the sanitizer build checks that).
    Bytes oversize = MakeReply(0, {});
    PutLe32(&oversize[12], ZUNA_MAX_PACKET_LEN - 31);
    PeerWrites(oversize);
    EXPECT_EQ(Exchange(MakeReply(0, {}), &recvLen), 1);

    // The largest header length with the most data that still fits is taken.
    Bytes wideHeader(255, 0);
    const Bytes base = MakeReply(0, {});
    std::copy(base.begin(), base.end(), wideHeader.begin());
    wideHeader[10] = 255;
    PutLe32(&wideHeader[12], 4);
    wideHeader.insert(wideHeader.end(), {1, 2, 3, 4});
    PeerWrites(wideHeader);
    EXPECT_EQ(Exchange(MakeReply(0, {}), &recvLen), 0);
    EXPECT_EQ(recvLen, 259u);
}

// The widest header with the most data that fits is taken whole; one byte more is
// refused without writing past the reply buffer (the sanitizer build checks that).
TEST_F(NetworkMediumTest, WideHeaderWithTheMostDataFitsTheBuffer)
{
    for (const std::size_t total : {ZUNA_MAX_PACKET_LEN, ZUNA_MAX_PACKET_LEN + 1}) {
        Bytes packet = MakeReply(0, {});
        packet.resize(total, 0x6B);
        packet[10] = 255;
        PutLe32(&packet[12], static_cast<uint32_t>(total - 255));
        PeerWrites(packet);
        unsigned long recvLen = 0;
        const bool fits = total == ZUNA_MAX_PACKET_LEN;
        EXPECT_EQ(Exchange(MakeReply(0, {}), &recvLen), fits ? 0 : 1) << total;
        if (fits) {
            EXPECT_EQ(recvLen, total);
            EXPECT_EQ(reply, packet);
        }
    }
}

TEST_F(NetworkMediumTest, OversizeRequestHeaderIsRefusedUnsent)
{
    Bytes request = MakeReply(0, {});
    PutLe32(&request[12], ZUNA_MAX_DATA_LEN + 1);
    unsigned long recvLen = 0;
    EXPECT_EQ(Exchange(request, &recvLen), 1);
    EXPECT_TRUE(PeerReads().empty());
}

TEST(NetworkMediumConnect, RefusesWhatIsNotADottedAddress)
{
    // Leading zeros, octal or hexadecimal groups, a single number and shortened forms
    // would all name another host.
    for (const char* address : {"localhost", "", "255.255.255.255", "127.0.0.1.5", "010.000.000.005", "127.0.0133.2",
                                "2130729730", "1.2.3", "0x7f.0.0.1", " 127.0.0.1"}) {
        CX9Network_Linux medium(address, 6577);
        EXPECT_EQ(medium.Connect(), ZUNA_E_CONNECTION) << address;
        EXPECT_EQ(medium.Disconnect(), 0);
        EXPECT_EQ(medium.Disconnect(), 0);
    }
    // An address longer than its field is never cut to another address.
    CX9Network_Linux tooLong("127.0.0.1                               ", 6577);
    EXPECT_EQ(tooLong.Connect(), ZUNA_E_CONNECTION);
}

TEST(NetworkMediumConnect, NothingListeningFails)
{
    // 127.0.51.1:6577 has no listener in the unit tests.
    CX9Network_Linux medium("127.0.51.1", 6577);
    EXPECT_EQ(medium.Connect(), ZUNA_E_CONNECTION);
}

// A listener whose queue of one is taken: the kernel answers no further connection,
// and Connect gives up once the connect wait has passed.
TEST(NetworkMediumConnect, CardThatNeverTakesTheConnectionFailsWithinTheWait)
{
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(address);
    ASSERT_TRUE(listener >= 0 && bind(listener, reinterpret_cast<sockaddr*>(&address), len) == 0 &&
                listen(listener, 0) == 0 && getsockname(listener, reinterpret_cast<sockaddr*>(&address), &len) == 0);
    const int port = ntohs(address.sin_port);

    CX9Network_Linux first("127.0.0.1", port, kShortWaits);
    ASSERT_EQ(first.Connect(), ZUNA_E_SUCCESS);
    pollfd queued{listener, POLLIN, 0};
    ASSERT_EQ(poll(&queued, 1, 2000), 1);  // the first connection fills the queue

    CX9Network_Linux second("127.0.0.1", port, kShortWaits);
    const auto start = Clock::now();
    EXPECT_EQ(second.Connect(), ZUNA_E_CONNECTION);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, kShortWaits.connect);
    EXPECT_LT(took, kGenerousBound);
    close(listener);
}

}  // namespace
