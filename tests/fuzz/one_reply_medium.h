// A medium that answers the first request after each Answer() with the given reply (as
// many bytes as it has), with the request's command code put in as a card gives it,
// and fails every later one. The reply stays the caller's; one client can serve every
// input.
#pragma once

#include <cstring>
#include <vector>

#include "../unit/zuna_packets.h"
#include "x9zunaifc.h"

struct OneReplyMedium : CX9ZunaMedium {
    void Answer(std::vector<uint8_t>* next) { reply = next; }
    int IssueZUNACommand(char* sendBuf, unsigned long* recvLen, char* recvBuf, unsigned long) override
    {
        if (reply == nullptr || reply->empty()) return 1;
        zunatest::EchoCommand(reinterpret_cast<const uint8_t*>(sendBuf), *reply);
        std::memcpy(recvBuf, reply->data(), *recvLen = reply->size());
        reply = nullptr;
        return 0;
    }
    int Connect() override { return 0; }
    int Disconnect() override { return 0; }

    std::vector<uint8_t>* reply = nullptr;
};

// The one client of a fuzz target, over a OneReplyMedium.
inline CX9ZunaIfc& OneReplyClient(OneReplyMedium*& medium)
{
    static auto* own = new OneReplyMedium;
    static CX9ZunaIfc client{std::unique_ptr<CX9ZunaMedium>(own)};
    medium = own;
    return client;
}
