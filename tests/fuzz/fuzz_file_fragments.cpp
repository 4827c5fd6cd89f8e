// The client's handling of any file-fragment reply: a download and an upload against
// a card that answers the fuzzer's packet once and then fails. Whatever the reply
// announces, nothing is read or written past the record or the reply (the sanitizers
// watch), and a refused reply ends the transfer with a status.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "cksum.h"
#include "x9endian.h"
#include "x9zunaifc.h"

namespace {

class OneReplyMedium : public CX9ZunaMedium {
public:
    explicit OneReplyMedium(std::vector<uint8_t> reply) : m_reply(std::move(reply)) {}
    int IssueZUNACommand(char*, unsigned long* recvLen, char* recvBuf, unsigned long) override
    {
        if (m_used) return 1;
        m_used = true;
        if (!m_reply.empty()) std::memcpy(recvBuf, m_reply.data(), m_reply.size());
        *recvLen = m_reply.size();
        return 0;
    }
    int Connect() override { return 0; }
    int Disconnect() override { return 0; }

private:
    std::vector<uint8_t> m_reply;
    bool m_used = false;
};

// The fuzzer's first byte: bit 0 makes the header's checksum right, bit 1 the
// record's CRC of the data present, so that replies get past both checks.
std::vector<uint8_t> ReplyOf(const uint8_t* data, std::size_t size)
{
    if (size == 0) return {};
    const uint8_t flags = data[0];
    std::vector<uint8_t> reply(data + 1, data + std::min<std::size_t>(size, ZUNA_MAX_PACKET_LEN + 1));
    if ((flags & 2) != 0 && reply.size() >= ZUNA_HEADER_LEN + FILE_API_HEADER_LEN) {
        uint8_t* rec = reply.data() + ZUNA_HEADER_LEN;
        const std::size_t present = reply.size() - ZUNA_HEADER_LEN - FILE_API_HEADER_LEN;
        const std::size_t length = std::min<std::size_t>(present, GetBe32(rec + offsetof(FILE_API_RECORD, dataLength)));
        PutBe32(rec + offsetof(FILE_API_RECORD, checkSum), calc_cksum32(rec + FILE_API_HEADER_LEN, length));
    }
    if ((flags & 1) != 0 && reply.size() >= ZUNA_HEADER_LEN) {
        reply[offsetof(ZUNA_HEADER, bChecksum)] = 0;
        uint8_t sum = 0;
        for (std::size_t i = 0; i < ZUNA_HEADER_LEN; ++i) sum = static_cast<uint8_t>(sum + reply[i]);
        reply[offsetof(ZUNA_HEADER, bChecksum)] = static_cast<uint8_t>(0x100 - sum);
    }
    return reply;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::vector<uint8_t> reply = ReplyOf(data, size);
    {
        CX9ZunaIfc client(std::make_unique<OneReplyMedium>(reply));
        client.DownloadFile("/card/file", "/dev/null");
    }
    {
        CX9ZunaIfc client(std::make_unique<OneReplyMedium>(reply));
        client.UploadFile("/dev/null", "/card/file");
    }
    return 0;
}
