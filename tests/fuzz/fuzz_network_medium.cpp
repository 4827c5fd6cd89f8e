// The network medium's receive path against an arbitrary stream from the card: each
// exchange places a whole packet within the reply buffer or fails, and the stream's
// end ends them (no wait is reached).
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "paired_network.h"
#include "x9endian.h"
#include "zunahdr.h"

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
    return 0;
}
