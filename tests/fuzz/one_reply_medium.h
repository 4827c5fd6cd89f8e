// A medium that answers the first request with the fuzz input's reply and fails every
// later one.
#pragma once

#include <cstring>
#include <vector>

#include "x9zunaifc.h"

struct OneReplyMedium : CX9ZunaMedium {
    std::vector<uint8_t> reply;
    int IssueZUNACommand(char*, unsigned long* recvLen, char* recvBuf, unsigned long) override
    {
        if (reply.empty()) return 1;
        std::memcpy(recvBuf, reply.data(), *recvLen = reply.size());
        reply.clear();
        return 0;
    }
    int Connect() override { return 0; }
    int Disconnect() override { return 0; }
};

