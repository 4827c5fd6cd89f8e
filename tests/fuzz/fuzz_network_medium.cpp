// The network medium's receive path against an arbitrary stream from the card: each
// exchange places a whole packet within the reply buffer or fails, and the stream's
// end ends them (no wait is reached). The same stream then goes to the framer that the
// medium and the card's TCP front end share, in pieces of varying size, under both
// header rules: it never takes more than it is offered, and each whole packet lies
// within the buffer and starts with the signature.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "paired_network.h"
#include "x9endian.h"
#include "zunaframe.h"
#include "zunahdr.h"

namespace {
void FrameInPieces(const uint8_t* data, std::size_t size, ZunaStreamFramer::HeaderLength rule)
{
    ZunaStreamFramer framer(rule);
    std::vector<unsigned char> packet(ZUNA_MAX_PACKET_LEN);  // exactly the maximum
    std::size_t taken = 0;
    std::size_t feeds = 0;
    while (taken < size) {
        framer.Start(packet.data(), packet.size());
        while (taken < size && !framer.Done()) {
            // Piece sizes from 1 to 8, taken from the stream itself.
            const std::size_t offer = std::min<std::size_t>(size - taken, 1 + data[feeds++ % size] % 8);
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
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) std::abort();
    // What does not fit the socket's buffer at once is not sent.
    if (size != 0 && send(fds[1], data, size, MSG_DONTWAIT | MSG_NOSIGNAL) < 0) std::abort();
    shutdown(fds[1], SHUT_WR);

    PairedNetwork medium(fds[0], {std::chrono::milliseconds(50), std::chrono::milliseconds(50)});
    std::vector<char> request(ZUNA_HEADER_LEN, 0);
    std::vector<char> reply(ZUNA_MAX_PACKET_LEN);  // exactly the maximum: a write past it is caught
    unsigned long recvLen = 0;
    // Each exchange that succeeds consumes at least a signature, so the loop ends.
    while (medium.IssueZUNACommand(request.data(), &recvLen, reply.data(), 0) == 0) {
        const unsigned headerLen = static_cast<unsigned char>(reply[offsetof(ZUNA_HEADER, bHeaderLen)]);
        if (headerLen < 11 || recvLen != headerLen + GetLe32(reply.data() + offsetof(ZUNA_HEADER, dwDataLen)) ||
            recvLen > ZUNA_MAX_PACKET_LEN || std::memcmp(reply.data(), ZUNA_SIGNATURE, ZUNA_SIGNATURE_LEN) != 0)
            std::abort();
    }
    close(fds[1]);

    FrameInPieces(data, size, ZunaStreamFramer::HeaderLength::kAnnounced);
    FrameInPieces(data, size, ZunaStreamFramer::HeaderLength::kFixed);
    return 0;
}
