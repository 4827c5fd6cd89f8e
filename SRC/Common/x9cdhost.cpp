// The generic host-interface mailbox: command block, split transfers, completion poll.
#include "x9cdhost.h"

#include <cstdio>
#include <cstring>

#include "x9endian.h"
#include "zunahdr.h"

namespace {
constexpr unsigned long kHeartbeatReplySpace = 32;

// Staging size for n bytes: whole blocks, with one spare block when n is a multiple.
unsigned long StagingSize(unsigned long n)
{
    return (n / X9CD_BLOCK_SIZE + 1) * X9CD_BLOCK_SIZE;
}
}  // namespace

void CX9DebugLog::Add(const char* pszFormat, va_list args)
{
    char text[kLineMax + 1];
    const int n = std::vsnprintf(text, sizeof(text), pszFormat, args);
    if (n < 0) text[0] = '\0';
    if (m_count == kLines)
        ++m_dropped;
    else
        ++m_count;
    m_lines[m_next] = text;
    m_next = (m_next + 1) % kLines;
    if (m_sink) m_sink(m_lines[(m_next + kLines - 1) % kLines]);
}

std::vector<std::string> CX9DebugLog::Lines() const
{
    std::vector<std::string> lines;
    lines.reserve(m_count);
    for (std::size_t i = 0; i < m_count; ++i) lines.push_back(m_lines[(m_next + kLines - m_count + i) % kLines]);
    return lines;
}

void CX9CDHost::InitCmdHeader(CONFIG_CMD* pX9CDCmdHeader)
{
    std::memset(pX9CDCmdHeader, 0, sizeof(*pX9CDCmdHeader));
    std::memcpy(pX9CDCmdHeader->BeginSig, X9CD_BEGIN_SIG, sizeof(pX9CDCmdHeader->BeginSig));
    pX9CDCmdHeader->EndSig[0] = X9CD_END_SIG[0];
    pX9CDCmdHeader->EndSig[1] = X9CD_END_SIG[1];
}

int CX9CDHost::WriteSplitData(char* Buffer, char Sector, unsigned long NumBytes)
{
    for (unsigned long offset = 0; offset < NumBytes; offset += X9CD_BLOCK_SIZE)
        if (WriteCD(Sector, Buffer + offset) != 0) return 1;
    return 0;
}

int CX9CDHost::ReadSplitData(char* Buffer, char Sector, unsigned long NumBytes)
{
    for (unsigned long offset = 0; offset < NumBytes; offset += X9CD_BLOCK_SIZE)
        if (ReadCD(Sector, Buffer + offset) != 0) return 1;
    return 0;
}

int CX9CDHost::WaitForCommandCompletion(CONFIG_CMD* pX9CDCmdHeader, unsigned long timeout)
{
    const auto giveUp = std::chrono::steady_clock::now() + m_completionLimit;
    unsigned long busyReadings = 0;
    for (;;) {
        if (ReadCD(X9CD_CMD_SECTOR, reinterpret_cast<char*>(pX9CDCmdHeader)) != 0) return 1;
        if ((Le16ToHost(pX9CDCmdHeader->Status) & X9CD_STATUS_BUSY) == 0) return 0;
        MsecsSleep(1);
        if (timeout != 0 && ++busyReadings == timeout + 1) return 2;
        if (std::chrono::steady_clock::now() >= giveUp) return 2;
    }
}

int CX9CDHost::IssueX9Command(unsigned short CommandNo, unsigned long DataLenToX9, unsigned long* DataLenFromX9,
                              char* DataBufferToX9, char* DataBufferFromX9, unsigned long timeout,
                              unsigned long replySpace)
{
    CONFIG_CMD block;
    InitCmdHeader(&block);
    block.Command = HostToLe16(CommandNo);
    block.DataInLen = HostToLe32(static_cast<uint32_t>(DataLenToX9));
    block.DataOutLen = HostToLe32(static_cast<uint32_t>(*DataLenFromX9));
    if (WriteCD(X9CD_CMD_SECTOR, reinterpret_cast<char*>(&block)) != 0) return -1;

    {
        CX9CDAutoBuffer out(StagingSize(DataLenToX9));
        std::memset(out.GiveBuffer(), 0, StagingSize(DataLenToX9));
        if (DataLenToX9 != 0) std::memcpy(out.GiveBuffer(), DataBufferToX9, DataLenToX9);
        if (WriteSplitData(out.GiveBuffer(), X9CD_DATA_SECTOR, DataLenToX9) != 0) return -1;
    }

    const int waited = WaitForCommandCompletion(&block, timeout);
    if (waited != 0) return -waited;

    const uint16_t status = Le16ToHost(block.Status);
    switch (status) {
    case X9CD_STATUS_SUCCESS: {
        const unsigned long dataOut = Le32ToHost(block.DataOutLen);
        // A reply that would not fit the caller's space is not read at all.
        if (dataOut > replySpace) {
            DebugOut("Reply too long\n");
            return -1;
        }
        *DataLenFromX9 = dataOut;
        CX9CDAutoBuffer in(StagingSize(dataOut));
        if (ReadSplitData(in.GiveBuffer(), X9CD_DATA_SECTOR, dataOut) != 0) return -1;
        ReadCD(X9CD_CMD_SECTOR, reinterpret_cast<char*>(&block));
        if (dataOut != 0) std::memcpy(DataBufferFromX9, in.GiveBuffer(), dataOut);
        return Le16ToHost(block.Status);
    }
    case X9CD_STATUS_TOO_MUCH_DATA:
        DebugOut("Too much data\n");
        break;
    case X9CD_STATUS_TOO_LITTLE_DATA:
        DebugOut("Too little data\n");
        break;
    case X9CD_STATUS_UNSUPPORTED:
        DebugOut("Unsupported command\n");
        break;
    default:
        DebugOut("Unknown status\n");
        break;
    }
    return status;
}

int CX9CDHost::IssueZUNACommand(char* sendBuf, unsigned long* recvLen, char* recvBuf, unsigned long timeout)
{
    const unsigned long dataLen = GetLe32(sendBuf + offsetof(ZUNA_HEADER, dwDataLen));
    // A header announcing more than a packet can hold is never read past its buffer.
    if (dataLen > ZUNA_MAX_DATA_LEN) return 1;
    const unsigned long sendLen = dataLen + ZUNA_HEADER_LEN;
    const int rc = IssueX9Command(X9CD_CMD_ZUNA, sendLen, recvLen, sendBuf, recvBuf, timeout, ZUNA_MAX_PACKET_LEN);
    if (rc == 0) return 0;
    if (rc == -2) return ZUNA_E_TMOUT;
    return 1;
}

int CX9CDHost::IssueOSHeartbeat(OS_HB_PACKET* pOsHbPkt)
{
    char reply[kHeartbeatReplySpace] = {};
    unsigned long replyLen = 0;
    const int rc = IssueX9Command(X9CD_CMD_OS_HEARTBEAT, sizeof(*pOsHbPkt), &replyLen,
                                  reinterpret_cast<char*>(pOsHbPkt), reply, 0, sizeof(reply));
    std::memcpy(pOsHbPkt, reply, sizeof(*pOsHbPkt));
    return rc;
}
