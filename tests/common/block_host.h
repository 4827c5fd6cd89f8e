// The generic mailbox (CX9CDHost) with the platform's connection steps stubbed out and
// its sleeps counted: a test supplies only ReadCD and WriteCD.
#pragma once

#include <cstdarg>

#include "x9cdhost.h"

class BlockHost : public CX9CDHost {
public:
    int Connect() override { return 0; }
    int Disconnect() override { return 0; }
    int FindX9CDROM() override { return 0; }
    int OpenCD() override { return 0; }
    int CloseCD() override { return 0; }
    void MsecsSleep(unsigned long ms) override { sleptMs += ms; }
    void DebugOut(const char* pszFormat, ...) override
    {
        va_list args;
        va_start(args, pszFormat);
        m_debugLog.Add(pszFormat, args);
        va_end(args);
    }
    int IssueX9Command(unsigned short CommandNo, unsigned long DataLenToX9, unsigned long* DataLenFromX9,
                       char* DataBufferToX9, char* DataBufferFromX9, unsigned long timeout,
                       unsigned long replySpace) override
    {
        return CX9CDHost::IssueX9Command(CommandNo, DataLenToX9, DataLenFromX9, DataBufferToX9, DataBufferFromX9,
                                         timeout, replySpace);
    }

    using CX9CDHost::m_completionLimit;  // tests shorten the poll's time
    unsigned long sleptMs = 0;
};
