// A card that answers a client's exchanges in turn from one byte string, so that a fuzz
// input reaches the decoders behind a first good reply (a login's digest after its
// challenge, the records of a listing after its count). The string is a series of
// replies, each a flags byte, a 2-byte little-endian length and that many bytes (cut
// at the string's end); once it is used up every exchange fails as a medium failure.
// What the reply's bytes become, by the flags:
//   kScriptFail      the medium fails this exchange (its bytes are skipped);
//   kScriptLength    dwDataLen is set to the bytes after the 32-byte header;
//   kScriptOwnCode   the reply keeps its own wCommand (else it gets the request's);
//   kScriptChecksum  the header's checksum is made right (after the changes above).
// The seeds are the card model's own replies written the same way (make_seeds.cpp).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "cksum.h"
#include "x9endian.h"
#include "x9zunamedium.h"
#include "zunahdr.h"

inline constexpr uint8_t kScriptFail = 1;
inline constexpr uint8_t kScriptLength = 2;
inline constexpr uint8_t kScriptOwnCode = 4;
inline constexpr uint8_t kScriptChecksum = 8;
// How the seeds are written: the card's bytes kept as they are, the header's length,
// code and checksum made right after any change the fuzzer makes to them.
inline constexpr uint8_t kScriptSeedFlags = kScriptLength | kScriptChecksum;

// Appends one reply in the script's form (a reply longer than 65,535 bytes is cut).
inline void AppendScriptedReply(std::vector<uint8_t>& script, uint8_t flags, const uint8_t* bytes, std::size_t len)
{
    len = std::min<std::size_t>(len, 0xFFFF);
    script.push_back(flags);
    script.push_back(static_cast<uint8_t>(len));
    script.push_back(static_cast<uint8_t>(len >> 8));
    script.insert(script.end(), bytes, bytes + len);
}

class ScriptedReplies : public CX9ZunaMedium {
public:
    ScriptedReplies(const uint8_t* script, std::size_t size) : m_script(script), m_size(size) {}
    // Answers from another script, from its start.
    void Restart(const uint8_t* script, std::size_t size)
    {
        m_script = script;
        m_size = size;
        m_pos = 0;
    }

    int IssueZUNACommand(char* sendBuf, unsigned long* recvLen, char* recvBuf, unsigned long) override
    {
        ++exchanges;
        if (m_size - m_pos < 3) return 1;
        const uint8_t flags = m_script[m_pos];
        std::size_t len = GetLe16(m_script + m_pos + 1);
        m_pos += 3;
        len = std::min(len, m_size - m_pos);
        const uint8_t* bytes = m_script + m_pos;
        m_pos += len;
        if (flags & kScriptFail) return 1;
        std::memcpy(recvBuf, bytes, len);
        *recvLen = len;
        if (len < ZUNA_HEADER_LEN) return 0;
        auto* header = reinterpret_cast<unsigned char*>(recvBuf);
        if (flags & kScriptLength)
            PutLe32(header + offsetof(ZUNA_HEADER, dwDataLen), static_cast<uint32_t>(len - ZUNA_HEADER_LEN));
        if ((flags & kScriptOwnCode) == 0)
            std::memcpy(header + offsetof(ZUNA_HEADER, wCommand), sendBuf + offsetof(ZUNA_HEADER, wCommand), 2);
        if (flags & kScriptChecksum) {
            header[offsetof(ZUNA_HEADER, bChecksum)] = 0;
            header[offsetof(ZUNA_HEADER, bChecksum)] = static_cast<uint8_t>(-ZunaByteSum(header, ZUNA_HEADER_LEN));
        }
        return 0;
    }
    int Connect() override { return 0; }
    int Disconnect() override { return 0; }

    unsigned long exchanges = 0;

private:
    const uint8_t* m_script;
    std::size_t m_size;
    std::size_t m_pos = 0;
};
