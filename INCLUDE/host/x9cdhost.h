// CX9CDHost: the operating-system-independent half of the host-interface medium.
// The card's virtual CD-ROM drive is used as a mailbox: a 512-byte command block
// (CONFIG_CMD) in sector 1, the data stream in sector 2, and a busy bit polled until
// the card has answered. The platform class moves single 512-byte blocks.
#pragma once

#include <array>
#include <chrono>
#include <cstdarg>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "hostifc.h"
#include "x9zunamedium.h"

// A scoped heap buffer for transfer staging.
class CX9CDAutoBuffer {
public:
    explicit CX9CDAutoBuffer(unsigned long size) : m_pBuff(new char[size]) {}
    ~CX9CDAutoBuffer() { delete[] m_pBuff; }
    CX9CDAutoBuffer(const CX9CDAutoBuffer&) = delete;
    CX9CDAutoBuffer& operator=(const CX9CDAutoBuffer&) = delete;
    char* GiveBuffer() { return m_pBuff; }

private:
    char* m_pBuff;
};

// The medium's diagnostics, kept instead of printed: the last kLines messages, each
// cut to kLineMax bytes, and an optional sink told of each message as it comes (none
// by default, so the medium prints nothing by itself).
class CX9DebugLog {
public:
    static constexpr std::size_t kLines = 64;
    static constexpr std::size_t kLineMax = 255;

    // Formats one message (printf-style) into the ring, dropping the oldest when full.
    void Add(const char* pszFormat, va_list args);
    // The kept messages, oldest first.
    std::vector<std::string> Lines() const;
    // Messages pushed out of the ring so far.
    unsigned long Dropped() const { return m_dropped; }
    void SetSink(std::function<void(const std::string&)> sink) { m_sink = std::move(sink); }

private:
    std::array<std::string, kLines> m_lines;
    std::size_t m_next = 0;   // where the next message goes
    std::size_t m_count = 0;  // messages held
    unsigned long m_dropped = 0;
    std::function<void(const std::string&)> m_sink;
};

class CX9CDHost : public CX9ZunaMedium {
public:
    CX9CDHost() = default;
    ~CX9CDHost() override = default;

    // The medium contract: the ZUNA packet goes out as mailbox command 0; the reply
    // packet comes back into recvBuf (ZUNA_MAX_PACKET_LEN bytes), its length in
    // *recvLen (whose entry value is handed to the card as the expected length).
    // 0 success; 24 when the completion poll ran out of `timeout`; 1 otherwise.
    int IssueZUNACommand(char* sendBuf, unsigned long* recvLen, char* recvBuf,
                         unsigned long timeout) override;

    virtual int FindX9CDROM() = 0;
    // One 512-byte block from/to mailbox sector CmdData: 0 or -1.
    virtual int ReadCD(char CmdData, char* Buffer) = 0;
    virtual int WriteCD(char CmdData, char* Buffer) = 0;
    virtual int OpenCD() = 0;
    virtual int CloseCD() = 0;
    virtual void MsecsSleep(unsigned long millisecs) = 0;
    // printf-style diagnostic sink; the platform class keeps the text in DebugLog().
    virtual void DebugOut(const char* pszFormat, ...) = 0;

    virtual void InitCmdHeader(CONFIG_CMD* pX9CDCmdHeader);
    // ceil(NumBytes / 512) blocks between Buffer and Sector, ascending; the first
    // failing block stops with 1; else 0. Buffer must hold whole blocks.
    virtual int WriteSplitData(char* Buffer, char Sector, unsigned long NumBytes);
    virtual int ReadSplitData(char* Buffer, char Sector, unsigned long NumBytes);
    // Polls sector 1 until the busy bit clears: 0 done, 1 read failure, 2 after
    // timeout + 1 busy readings (timeout 0: no count limit) or, whatever the timeout,
    // once m_completionLimit has passed since the poll began. Sleeps 1 ms after each
    // busy reading.
    virtual int WaitForCommandCompletion(CONFIG_CMD* pX9CDCmdHeader, unsigned long timeout);
    // One mailbox command (pure, with the generic body defined in CX9CDHost; the
    // platform override wraps that body in the drive lock). replySpace is the room in
    // DataBufferFromX9: a card that announces more reply bytes is refused as a
    // transfer failure and nothing is copied. Returns 0 success, -1 block transfer
    // failure, -2 time-out, else the card's nonzero completion status.
    virtual int IssueX9Command(unsigned short CommandNo, unsigned long DataLenToX9, unsigned long* DataLenFromX9,
                               char* DataBufferToX9, char* DataBufferFromX9, unsigned long timeout,
                               unsigned long replySpace) = 0;

    // The busy poll of one mailbox command gives up after `limit`.
    void SetWaitLimit(std::chrono::milliseconds limit) override { m_completionLimit = limit; }
    // Every message DebugOut is given also goes to the sink.
    void SetTrace(TraceSink sink) override { m_debugLog.SetSink(std::move(sink)); }

    int IsX9CDFound() const { return m_fIsX9CDFound; }
    // What DebugOut was given, for a trace; the medium itself never prints it.
    CX9DebugLog& DebugLog() { return m_debugLog; }
    const CX9DebugLog& DebugLog() const { return m_debugLog; }
    // Mailbox command 0xFFFE with the 4 heartbeat bytes; the answer's first 4 bytes
    // come back into the packet. Returns IssueX9Command's result.
    int IssueOSHeartbeat(OS_HB_PACKET* pOsHbPkt);

    int GetRedirectionMousePos(HOST_MOUSE_PKT*) { return 0; }
    long IssueHBStart() { return 0; }
    long IssueHB() { return 0; }
    void IssueHBEnd() {}

protected:
    int m_fIsX9CDFound = 0;
    int m_fIsX9CDOpened = 0;
    // The longest a card may stay busy with one mailbox command.
    std::chrono::milliseconds m_completionLimit{std::chrono::seconds(60)};
    CX9DebugLog m_debugLog;
};
