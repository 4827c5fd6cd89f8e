// The client against any file-fragment reply, answered once: nothing is read or written
// past the record or the reply, and a refused fragment leaves the caller's record as it
// was. The input's first byte can make the header's checksum (bit 0) and the record's
// CRC (bit 1) right, so that replies get past both checks; bit 2 sends a fragment
// instead of asking for one.
#include <cstdlib>
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

    OneReplyMedium* medium = nullptr;
    CX9ZunaIfc& client = OneReplyClient(medium);
    medium->Answer(&reply);
    // The record's head and the data of the fragment before, as a download has them.
    static auto* fragment = new FILE_API_RECORD{};
    std::strcpy(fragment->filename, "/c/f");
    fragment->packetNum = 0;
    if (data[0] & 4) {
        fragment->dataLength = 0;
        client.SendFileFragment(fragment);
        return 0;
    }
    static auto* before = new FILE_API_RECORD;
    std::memcpy(before, fragment, FILE_API_HEADER_LEN);
    if (client.GetFileFragment(fragment) != ZUNA_E_SUCCESS &&
        std::memcmp(before, fragment, FILE_API_HEADER_LEN) != 0)
        std::abort();
    return 0;
}
