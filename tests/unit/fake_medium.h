// A scripted medium: records every request packet and answers from a queue of
// canned replies, so client operations can be checked byte for byte without a card.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include "x9endian.h"
#include "zuna_packets.h"
#include "zunahdr.h"
#include "x9zunamedium.h"

struct ScriptedReply {
    int rc = 0;                        // medium result
    std::vector<unsigned char> packet; // bytes placed in the reply buffer; a packet
                                       // whose command code is 0 gets the request's
};

// Builds a reply packet with a correct checksum (computed here, independently of the
// client's code). Command 0: the fake medium answers with the request's code.
inline std::vector<unsigned char> MakeReply(uint16_t status, const std::vector<unsigned char>& data,
                                            uint16_t command = 0)
{
    return zunatest::MakePacket(command, status, data, 0);
}

struct FakeMediumLog {
    std::vector<std::vector<unsigned char>> requests;
    std::deque<ScriptedReply> replies;
    int connects = 0;
    int disconnects = 0;
    int connectResult = 0;
    int disconnectResult = 0;
};

class FakeMedium : public CX9ZunaMedium {
public:
    explicit FakeMedium(FakeMediumLog& log) : m_log(log) {}

    int IssueZUNACommand(char* sendBuf, unsigned long* recvLen, char* recvBuf, unsigned long) override
    {
        const uint32_t len = GetLe32(sendBuf + 12) + 32;
        m_log.requests.emplace_back(sendBuf, sendBuf + len);
        if (m_log.replies.empty()) return 1;
        ScriptedReply r = m_log.replies.front();
        m_log.replies.pop_front();
        if (r.rc != 0) return r.rc;
        if (r.packet.size() >= 32 && GetLe16(r.packet.data() + 20) == 0)
            zunatest::EchoCommand(reinterpret_cast<const uint8_t*>(sendBuf), r.packet);
        std::memcpy(recvBuf, r.packet.data(), r.packet.size());
        *recvLen = r.packet.size();
        return 0;
    }
    int Connect() override
    {
        ++m_log.connects;
        return m_log.connectResult;
    }
    int Disconnect() override
    {
        ++m_log.disconnects;
        return m_log.disconnectResult;
    }

private:
    FakeMediumLog& m_log;
};
