// CX9CDHost_Linux: the Linux half of the host-interface medium. Finds the card's drive
// with the SCSI probe, opens its SCSI generic node, checks it with the identify command,
// moves 512-byte mailbox blocks with vendor commands through SG_IO, and carries the
// host-only heartbeat and mouse commands. Each mailbox sequence and each identify runs
// under an exclusive flock on the node.
#pragma once

#include <cstdio>

#include "scsi.h"
#include "x9cdhost.h"

struct sg_io_hdr;

inline constexpr const char* CX9CDHost_Version = "1.0.0.0";

class CX9CDHost_Linux : public CX9CDHost {
public:
    CX9CDHost_Linux();
    ~CX9CDHost_Linux() override;

    // 0 when the drive was found, opened and identified; 1 otherwise.
    int Connect() override;
    int Disconnect() override;
    int FindX9CDROM() override;
    int ReadCD(char CmdData, char* Buffer) override;
    int WriteCD(char CmdData, char* Buffer) override;
    int OpenCD() override;
    int CloseCD() override;
    void MsecsSleep(unsigned long millisecs) override;
    // Keeps the message in DebugLog(); prints nothing.
    void DebugOut(const char* pszFormat, ...) override;
    int IssueX9Command(unsigned short CommandNo, unsigned long DataLenToX9, unsigned long* DataLenFromX9,
                       char* DataBufferToX9, char* DataBufferFromX9, unsigned long timeout,
                       unsigned long replySpace) override;

    // Disconnects, then tries to connect up to RetryTimeInSeconds times, 1 ms apart
    // (0: until it succeeds). 1 when connected, 0 when it gave up.
    int WaitForCDConnection(unsigned long RetryTimeInSeconds);
    // Mouse state (0xEB): 0, or -1 on failure or an answer shorter than the packet. No lock.
    int GetRedirectionMousePos(HOST_MOUSE_PKT* pHostappMouseRep);
    // Heartbeat start / heartbeat: the card's OsHbByte, or -1 on failure or an answer
    // shorter than the packet. No lock.
    long IssueHBStart();
    long IssueHB();
    // Heartbeat end: the outcome is not reported.
    void IssueHBEnd();

protected:
    int IsX9CDDrive();
    // One SG_IO request on m_lock_fd (data_len bytes in `direction`, up to slen bytes
    // of sense data into sense_buf) and what it came to: the errno of a failing
    // request, or the SCSI, host and driver statuses, the decoded sense and the
    // residual count. A result that is not Whole() is passed to DebugOut with its causes.
    SCSI_RESULT SendScsiCommand(unsigned char* cdb_buf, unsigned char cdb_len, void* data_buf,
                                unsigned long data_len, int direction, void* sense_buf, unsigned int slen,
                                long timeout);
    // The same request as 0 (completed without error status, whatever the residual)
    // or 1; the value at data_len is not changed.
    int sendscsicmd_SGIO(unsigned char* cdb_buf, unsigned char cdb_len, void* data_buf, unsigned long* data_len,
                         int direction, void* sense_buf, unsigned int slen, long timeout);
    // Hands one request to the SCSI generic driver: 0, or the errno of the failing
    // ioctl. Tests put a drive behind it.
    virtual int IssueSgIo(sg_io_hdr* io);
    int TAV_SPT_CMD_Identify(char* szSignature);
    // One 512-byte mailbox block: 0 when the whole block moved, else 1 (a failed
    // command, or a short transfer whose residual is not 0).
    int TAV_SPT_CMD_SendCmd(char* Buffer, char type, unsigned short buflen);
    int TAV_SPT_CMD_RecvCmd(char* Buffer, char type, unsigned short buflen);
    // A vendor command (BuildVendorCdb) moving `len` bytes of `data`, with a sense buffer.
    SCSI_RESULT VendorCommand(unsigned char opcode, char sector, unsigned short blocks, void* data,
                              unsigned long len, int direction, long timeout);
    long HeartbeatCommand(unsigned char opcode);

    char m_szX9CD_Devic[128] = {};  // kept, never used: the node path is m_x9cd_name
    char m_x9cd_name[256] = {};
    int m_lock_fd = -1;
    FILE* dbout_file = nullptr;  // not written to: DebugOut keeps diagnostics in DebugLog()
};

// The 10-byte CDB of a vendor command (bytes 2..5 the sector, big-endian; 7..8 the
// block count). Exposed for tests.
void BuildVendorCdb(unsigned char opcode, char sector, unsigned short blocks, unsigned char cdb[10]);
