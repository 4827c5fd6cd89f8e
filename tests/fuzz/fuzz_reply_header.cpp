// The client's reply check and copy (SendZunaCommand) against any reply, into a buffer
// whose size the input chooses, then a login against the replies that follow (the
// challenge, then the digest's answer). A refused reply leaves the buffer as it was and
// the length 0; an accepted one copies exactly its dwDataLen bytes from where its
// header ends, never more than the buffer holds.
//
// Input: two bytes of buffer size (little-endian, at most 66,528), then a script of
// replies (scripted_replies.h).
#include <cstdlib>
#include <cstring>
#include <memory>

#include "scripted_replies.h"
#include "x9zunaifc.h"
#include "zunacmds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const uint32_t bufSize = GetLe16(data) % (ZUNA_MAX_DATA_LEN + 1);
    static uint8_t before[ZUNA_MAX_DATA_LEN];
    const std::unique_ptr<uint8_t[]> buffer(new uint8_t[bufSize == 0 ? 1 : bufSize]);  // exact: a write past it is caught
    std::memset(buffer.get(), 0xA5, bufSize);
    std::memset(before, 0xA5, bufSize);

    auto owned = std::make_unique<ScriptedReplies>(data + 2, size - 2);
    CX9ZunaIfc client(std::move(owned));
    uint32_t recvLen = 0;
    client.SendZunaCommand(ZUNACMD_GET_CARD_NAME, buffer.get(), 0, &recvLen, 0, bufSize);
    // A card's own status may be any number, 33 too, so the length tells a refusal.
    if (recvLen == 0) {
        if (std::memcmp(buffer.get(), before, bufSize) != 0) std::abort();
    } else {
        // The reply is the script's first: flags, length, bytes.
        const uint8_t* reply = data + 5;
        if (recvLen > bufSize || size < 5 + ZUNA_HEADER_LEN + recvLen ||
            std::memcmp(buffer.get(), reply + reply[offsetof(ZUNA_HEADER, bHeaderLen)], recvLen) != 0)
            std::abort();
    }
    client.ZunaLogin("admin", "admin");
    return 0;
}
