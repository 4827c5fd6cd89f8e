// The host interface's mailbox (CX9CDHost) against a drive whose command blocks and data
// come from the input: the completion poll, the command block's status and reply length
// (DataOutLen), the reply's blocks. Nothing is copied past the room the caller gave,
// for a raw mailbox command (room chosen by the input, a buffer of exactly that size),
// a client's exchange and the OS heartbeat.
//
// Input: a byte that picks the operation (raw command, client exchange, heartbeat), two
// bytes of reply room for the raw command (little-endian), then the 512-byte blocks the
// drive gives to every read of sector 1 or 2, in turn; past the input's end it reads
// zeros.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "block_host.h"
#include "x9endian.h"
#include "x9zunaifc.h"

namespace {

class ReplayDrive : public BlockHost {
public:
    // Reads from the start of another input.
    void Restart(const uint8_t* data, std::size_t size)
    {
        m_bytes = data;
        m_size = size;
        m_pos = 0;
    }
    int WriteCD(char, char*) override { return 0; }
    int ReadCD(char, char* buffer) override
    {
        const std::size_t n = std::min(X9CD_BLOCK_SIZE, m_size - m_pos);
        std::memcpy(buffer, m_bytes + m_pos, n);
        std::memset(buffer + n, 0, X9CD_BLOCK_SIZE - n);
        m_pos += n;
        return 0;
    }

private:
    const uint8_t* m_bytes = nullptr;
    std::size_t m_size = 0;
    std::size_t m_pos = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 3) return 0;
    const unsigned operation = data[0] % 3;
    const unsigned long room = GetLe16(data + 1);
    data += 3, size -= 3;
    // The drives and the client are made once (a drive's diagnostics ring is no small
    // thing to build for every input); each input starts them afresh.
    static ReplayDrive raw;
    static auto* overClient = new ReplayDrive;
    static CX9ZunaIfc client{std::unique_ptr<CX9ZunaMedium>(overClient)};

    if (operation == 0) {
        raw.Restart(data, size);
        const std::unique_ptr<char[]> reply(new char[room == 0 ? 1 : room]);  // exact: a write past it is caught
        char request[ZUNA_HEADER_LEN] = {};
        unsigned long replyLen = 0;
        const int rc = raw.IssueX9Command(X9CD_CMD_ZUNA, sizeof(request), &replyLen, request, reply.get(), 0, room);
        if (rc == 0 && replyLen > room) std::abort();
    } else if (operation == 1) {
        overClient->Restart(data, size);
        char name[CARD_NAME_LEN];
        client.GetCardName(name);
    } else {
        raw.Restart(data, size);
        OS_HB_PACKET hb{};
        raw.IssueOSHeartbeat(&hb);
    }
    return 0;
}
