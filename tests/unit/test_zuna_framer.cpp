// The framer that both ends of a TCP connection use to find packets in the stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "fake_medium.h"
#include "zunaframe.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Rule = ZunaStreamFramer::HeaderLength;
using State = ZunaStreamFramer::State;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A reply announcing `dataLen` data bytes behind a header of `headerLen` bytes (at
// least the 11 up to the length byte; dwDataLen set where the header holds it), with
// `carried` of those data bytes.
Bytes Packet(std::size_t dataLen, std::size_t headerLen = ZUNA_HEADER_LEN, std::size_t carried = SIZE_MAX)
{
    Bytes packet = MakeReply(0, {});
    packet.resize(std::max<std::size_t>(headerLen, 11), 0x48);
    packet[10] = static_cast<unsigned char>(headerLen);
    if (headerLen >= 16) PutLe32(&packet[12], static_cast<uint32_t>(dataLen));
    packet.resize(packet.size() + std::min(dataLen, carried), 0x6B);
    return packet;
}

struct Outcome {
    State state;
    std::size_t takenSoFar;  // of the whole stream, when this packet ends
    std::size_t packetLen;   // when whole
};

struct Case {
    const char* name;
    Rule rule;
    Bytes stream;
    std::size_t piece;  // bytes offered per feed
    bool direct;        // data put into DataSpace() instead of fed
    std::vector<Outcome> outcomes;  // one per packet, the framer started anew after each
};

TEST(ZunaStreamFramer, FindsWholePacketsAndRefusesWhatDoesNotFit)
{
    const Bytes small = Packet(3);
    Bytes oddLength = Packet(3);
    oddLength[10] = 10;
    const std::size_t mostData = ZUNA_MAX_DATA_LEN;
    const Case cases[] = {
        {"two packets at once", Rule::kAnnounced, Join({small, Packet(0)}), 1000, false,
         {{State::kWhole, 35, 35}, {State::kWhole, 67, 32}}},
        {"signature split across feeds of 3", Rule::kAnnounced, Join({Text("xy"), small}), 3, false,
         {{State::kWhole, 37, 35}}},
        {"stray bytes and partial signatures", Rule::kAnnounced,
         Join({Text("\x01TAX "), Text("TAV U\xAA\x5Ax"), Text("TAV"), small}), 4, false, {{State::kWhole, 51, 35}}},
        {"a signature but its last byte", Rule::kAnnounced, Text("TAV U\xAA\x5A"), 2, false,
         {{State::kSignature, 7, 0}}},
        {"header length 10 refused, the next packet found", Rule::kAnnounced,
         Join({Packet(0, 10), small}), 1000, false, {{State::kRefused, 11, 0}, {State::kWhole, 46, 35}}},
        {"header length 11, no data length in it", Rule::kAnnounced, Packet(0, 11), 1000, false,
         {{State::kWhole, 11, 11}}},
        {"header length 255 with data", Rule::kAnnounced, Packet(4, 255), 7, false, {{State::kWhole, 259, 259}}},
        {"fixed header length ignores bHeaderLen", Rule::kFixed, oddLength, 1000, false,
         {{State::kWhole, 35, 35}}},
        {"the most data that fits", Rule::kAnnounced, Packet(mostData), 4096, false,
         {{State::kWhole, ZUNA_MAX_PACKET_LEN, ZUNA_MAX_PACKET_LEN}}},
        {"the most data, put in place", Rule::kFixed, Packet(mostData), 100, true,
         {{State::kWhole, ZUNA_MAX_PACKET_LEN, ZUNA_MAX_PACKET_LEN}}},
        {"data length past the maximum", Rule::kAnnounced, Join({Packet(mostData + 1, 32, 0), small}), 1000, false,
         {{State::kRefused, 32, 0}, {State::kWhole, 67, 35}}},
        {"wide header with data one past the buffer", Rule::kAnnounced, Packet(ZUNA_MAX_PACKET_LEN - 254, 255, 0),
         1000, false, {{State::kRefused, 255, 0}}},
        {"data length 2^32 - 1", Rule::kAnnounced, Packet(0xFFFFFFFF, 32, 0), 1000, false, {{State::kRefused, 32, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ZunaStreamFramer framer(c.rule);
        // Exactly the largest packet: a write past it is caught by the sanitizer build.
        Bytes buffer(ZUNA_MAX_PACKET_LEN);
        std::size_t taken = 0;
        for (const Outcome& expected : c.outcomes) {
            std::fill(buffer.begin(), buffer.end(), 0xEE);
            framer.Start(buffer.data(), buffer.size());
            const std::size_t begun = taken;
            while (taken < c.stream.size() && !framer.Done()) {
                const std::size_t offer = std::min(c.piece, c.stream.size() - taken);
                if (c.direct && framer.GetState() == State::kData) {
                    const std::size_t n = std::min(offer, framer.Missing());
                    std::memcpy(framer.DataSpace(), c.stream.data() + taken, n);
                    framer.Advance(n);
                    taken += n;
                    continue;
                }
                const std::size_t n = framer.Feed(c.stream.data() + taken, offer);
                EXPECT_TRUE(n == offer || framer.Done()) << "takes all it is offered until the packet ends";
                taken += n;
            }
            EXPECT_EQ(expected.state, framer.GetState());
            EXPECT_EQ(expected.takenSoFar, taken);
            if (expected.state != State::kWhole) continue;
            ASSERT_EQ(expected.packetLen, framer.PacketLength());
            const auto packet = c.stream.begin() + static_cast<std::ptrdiff_t>(taken - expected.packetLen);
            EXPECT_GE(taken - expected.packetLen, begun);
            EXPECT_TRUE(std::equal(packet, packet + static_cast<std::ptrdiff_t>(expected.packetLen), buffer.begin()));
            for (std::size_t i = expected.packetLen; i < ZUNA_HEADER_LEN; ++i)
                EXPECT_EQ(0, buffer[i]) << "header byte " << i << " that a short header does not carry";
            EXPECT_EQ(0u, framer.Feed(c.stream.data(), c.stream.size())) << "nothing taken past the packet";
        }
    }
}

}  // namespace
