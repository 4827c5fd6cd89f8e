// The client against any file-fragment reply, answered once: nothing is read or written
// past the record or the reply. The first input byte can make the header's checksum
// (bit 0) and the record's CRC (bit 1) right, so that replies get past both checks.
#include <cstring>

#include "one_reply_medium.h"
#include "x9endian.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 1 + ZUNA_HEADER_LEN + FILE_API_HEADER_LEN) return 0;
    std::vector<uint8_t> reply(data + 1, data + std::min<std::size_t>(size, ZUNA_MAX_PACKET_LEN + 1));
    uint8_t* rec = reply.data() + ZUNA_HEADER_LEN;
    const std::size_t present = reply.size() - ZUNA_HEADER_LEN - FILE_API_HEADER_LEN;
    if (data[0] & 2)
        PutBe32(rec + 88, calc_cksum32(rec + FILE_API_HEADER_LEN, std::min<std::size_t>(present, GetBe32(rec + 82))));
    reply[offsetof(ZUNA_HEADER, bChecksum)] = 0;
    if (data[0] & 1) reply[offsetof(ZUNA_HEADER, bChecksum)] = static_cast<uint8_t>(-ZunaByteSum(reply.data(), 32));
    for (int upload = 0; upload < 2; ++upload) {
        auto medium = std::make_unique<OneReplyMedium>();
        medium->reply = reply;
        CX9ZunaIfc client(std::move(medium));
        upload ? client.UploadFile("/dev/null", "/c/f") : client.DownloadFile("/c/f", "/dev/null");
    }
    return 0;
}
