// The TCP medium's framing, driven through a socket pair with a scripted peer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "fake_medium.h"
#include "x9networkLinux.h"

namespace {

using Bytes = std::vector<unsigned char>;

class PairedNetwork : public CX9Network_Linux {
public:
    explicit PairedNetwork(int fd) : CX9Network_Linux("127.0.0.1", 6577) { m_hSocket = fd; }
};

class NetworkMediumTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        medium = std::make_unique<PairedNetwork>(fds[0]);
        peer = fds[1];
        reply.assign(ZUNA_MAX_PACKET_LEN, 0);
    }
    void TearDown() override
    {
        if (peer >= 0) close(peer);
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

}  // namespace
