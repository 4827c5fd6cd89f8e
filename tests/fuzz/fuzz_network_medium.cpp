// The network medium's receive path against an arbitrary stream from the card, with no
// socket: the medium's one read (Receive) takes the stream from the input in pieces
// whose sizes the input chooses. Each exchange places a whole packet within the reply
// buffer or fails; at the stream's end the card either closes the connection (it stays
// open, every exchange fails) or goes silent until the reply wait has passed (the
// medium closes the connection and reads nothing more). The same stream then goes to
// the framer that the medium and the card's TCP front end share, under one of its
// header rules: it never takes more than it is offered, and each whole packet lies
// within the buffer and starts with the signature.
//
// Input: one control byte, then the stream. Control bit 0: the card goes silent at the
// end (else it closes); bit 1: the framer's rule (the card's fixed header, else the
// announced one); bits 2-7: an eighth of the largest piece a read returns (0: as much as
// the read has room for), each piece's size taken from the stream's own bytes.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "x9endian.h"
#include "x9networkLinux.h"
#include "zunaframe.h"
#include "zunahdr.h"

namespace {

class ScriptedNetwork : public CX9Network_Linux {
public:
    ScriptedNetwork(const uint8_t* stream, std::size_t size, std::size_t largestPiece, bool silentAtEnd)
        : CX9Network_Linux("127.0.0.1", 6577), m_stream(stream), m_size(size), m_largest(largestPiece),
          m_silent(silentAtEnd)
    {
        m_hSocket = kNoSocket;  // never used: every read is Receive's below
    }
    ~ScriptedNetwork() override { m_hSocket = -1; }

    int SendZUNAPacket(unsigned char*, unsigned long) override
    {
        m_replyDeadline = std::chrono::steady_clock::now() + m_waits.reply;
        return ZUNA_E_SUCCESS;
    }
    int Receive(char* into, unsigned long room, std::size_t& got) override
    {
        ++reads;
        if (room == 0) std::abort();
        if (m_pos == m_size) {
            // The reply wait has passed: the medium must see it as such.
            if (m_silent) m_replyDeadline = std::chrono::steady_clock::time_point{};
            return ZUNA_E_CONNECTION;
        }
        std::size_t piece = std::min<std::size_t>(room, m_size - m_pos);
        if (m_largest != 0) piece = std::min<std::size_t>(piece, 1 + m_stream[m_pieces++ % m_size] % m_largest);
        std::memcpy(into, m_stream + m_pos, piece);
        m_pos += piece;
        got = piece;
        return ZUNA_E_SUCCESS;
    }
    int Disconnect() override
    {
        closed = closed || m_hSocket != -1;
        m_hSocket = -1;
        return CX9Network_Linux::Disconnect();
    }

    bool closed = false;
    unsigned long reads = 0;

private:
    static constexpr int kNoSocket = INT_MAX;
    const uint8_t* m_stream;
    std::size_t m_size;
    std::size_t m_pos = 0;
    std::size_t m_largest;
    std::size_t m_pieces = 0;
    bool m_silent;
};

void FrameInPieces(const uint8_t* data, std::size_t size, ZunaStreamFramer::HeaderLength rule,
                   std::vector<unsigned char>& packet)
{
    ZunaStreamFramer framer(rule);
    std::size_t taken = 0;
    std::size_t feeds = 0;
    while (taken < size) {
        framer.Start(packet.data(), packet.size());
        while (taken < size && !framer.Done()) {
            // Piece sizes from 1 to 32, taken from the stream itself.
            const std::size_t offer = std::min<std::size_t>(size - taken, 1 + data[feeds++ % size] % 32);
            const std::size_t n = framer.Feed(data + taken, offer);
            if (n > offer || (n < offer && !framer.Done())) std::abort();
            taken += n;
        }
        if (framer.GetState() != ZunaStreamFramer::State::kWhole) continue;
        if (framer.PacketLength() > packet.size() || framer.PacketLength() > taken ||
            std::memcmp(packet.data(), ZUNA_SIGNATURE, ZUNA_SIGNATURE_LEN) != 0)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    // Exactly the maximum, made once: a write past it is caught.
    static std::vector<char> reply(ZUNA_MAX_PACKET_LEN);
    static std::vector<unsigned char> packet(ZUNA_MAX_PACKET_LEN);
    const uint8_t control = data[0];
    ++data, --size;

    ScriptedNetwork medium(data, size, (control >> 2) * 8, control & 1);
    char request[ZUNA_HEADER_LEN] = {};
    unsigned long recvLen = 0;
    // Each exchange that succeeds consumes at least a signature, so the loop ends.
    while (medium.IssueZUNACommand(request, &recvLen, reply.data(), 0) == 0) {
        // (A header shorter than 16 bytes ends inside dwDataLen, whose later bytes the
        // data then overwrites: the length is only checked where the header holds it.)
        const unsigned headerLen = static_cast<unsigned char>(reply[offsetof(ZUNA_HEADER, bHeaderLen)]);
        const bool lengthKept = headerLen >= offsetof(ZUNA_HEADER, dwDataLen) + 4;
        if (headerLen < 11 || recvLen < headerLen || recvLen > ZUNA_MAX_PACKET_LEN ||
            (lengthKept && recvLen != headerLen + GetLe32(reply.data() + offsetof(ZUNA_HEADER, dwDataLen))) ||
            std::memcmp(reply.data(), ZUNA_SIGNATURE, ZUNA_SIGNATURE_LEN) != 0)
            std::abort();
    }
    // Only silence past the wait closes the connection, and nothing is read after it.
    const unsigned long reads = medium.reads;
    if (medium.closed && ((control & 1) == 0 || medium.IssueZUNACommand(request, &recvLen, reply.data(), 0) == 0 ||
                          medium.reads != reads))
        std::abort();

    FrameInPieces(data, size,
                  (control & 2) ? ZunaStreamFramer::HeaderLength::kFixed : ZunaStreamFramer::HeaderLength::kAnnounced,
                  packet);
    return 0;
}
