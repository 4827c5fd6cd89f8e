// A medium that answers the first request with the fuzz input's reply, given the
// request's command code as a card gives it, and fails every later one.
#pragma once

#include <cstring>
#include <vector>

#include "../unit/zuna_packets.h"
#include "x9zunaifc.h"

struct OneReplyMedium : CX9ZunaMedium {
    std::vector<uint8_t> reply;
    int IssueZUNACommand(char* sendBuf, unsigned long* recvLen, char* recvBuf, unsigned long) override
    {
        if (reply.empty()) return 1;
        zunatest::EchoCommand(reinterpret_cast<const uint8_t*>(sendBuf), reply);
        std::memcpy(recvBuf, reply.data(), *recvLen = reply.size());
        reply.clear();
        return 0;
    }
    int Connect() override { return 0; }
    int Disconnect() override { return 0; }
};

