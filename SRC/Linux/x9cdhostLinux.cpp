// The Linux virtual CD-ROM channel: SCSI generic vendor commands to the card's drive.
#include "x9cdhostLinux.h"

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "x9endian.h"
#include "scsi.h"

namespace {
constexpr long kCommandTimeoutMs = 120000;
constexpr long kMouseTimeoutMs = 12000;
constexpr unsigned int kSenseLen = 32;
constexpr unsigned char kCdbLen = 10;
constexpr std::size_t kIdentifyAnswerLen = 10;
constexpr std::size_t kIdentifyBuffer = 15;

// Holds the exclusive drive lock for one scope.
class DriveLock {
public:
    explicit DriveLock(int fd) : m_fd(fd) { flock(m_fd, LOCK_EX); }
    ~DriveLock() { flock(m_fd, LOCK_UN); }
    DriveLock(const DriveLock&) = delete;
    DriveLock& operator=(const DriveLock&) = delete;

private:
    int m_fd;
};
}  // namespace

void BuildVendorCdb(unsigned char opcode, char sector, unsigned short blocks, unsigned char cdb[10])
{
    // The block is the first kCdbLen bytes of a SCSI_COMMAND_PACKET.
    std::memset(cdb, 0, kCdbLen);
    cdb[offsetof(SCSI_COMMAND_PACKET, OpCode)] = opcode;
    // The sector is sign-extended to 32 bits, as the drive expects.
    PutBe32(cdb + offsetof(SCSI_COMMAND_PACKET, Lba), static_cast<uint32_t>(static_cast<int32_t>(sector)));
    PutBe16(cdb + offsetof(SCSI_COMMAND_PACKET, u.Cmd10.Length), blocks);
}

CX9CDHost_Linux::CX9CDHost_Linux() : dbout_file(stderr)
{
    DebugOut("Log started, Version: %s\n", CX9CDHost_Version);
    m_fIsX9CDOpened = 0;
    m_fIsX9CDFound = 0;
}

CX9CDHost_Linux::~CX9CDHost_Linux()
{
    CX9CDHost_Linux::Disconnect();
}

void CX9CDHost_Linux::MsecsSleep(unsigned long millisecs)
{
    usleep(static_cast<useconds_t>(millisecs * 1000));
}

void CX9CDHost_Linux::DebugOut(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    m_debugLog.Add(pszFormat, args);
    va_end(args);
}

int CX9CDHost_Linux::FindX9CDROM()
{
    char* path = scsiProbe(0);
    if (path == nullptr) {
        DebugOut("Unable to find X9 CDROM Device\n");
        return 1;
    }
    std::snprintf(m_x9cd_name, sizeof(m_x9cd_name), "%s", path);
    std::free(path);
    m_fIsX9CDFound = 1;
    return 0;
}

int CX9CDHost_Linux::OpenCD()
{
    if (m_fIsX9CDOpened) {
        DebugOut("OpenCD:The device is already opened\n");
        return 0;
    }
    if (!m_fIsX9CDFound) {
        DebugOut("OpenCD:X9 CDROM is not found\n");
        return 1;
    }
    m_lock_fd = open(m_x9cd_name, O_RDWR | O_CLOEXEC);
    if (m_lock_fd < 0) {
        const int error = errno;
        m_lock_fd = -1;
        DebugOut("OpenCD:Unable to open the device\n");
        DebugOut("OpenCD: %s: errno %d (%s)\n", m_x9cd_name, error, std::generic_category().message(error).c_str());
        return 1;
    }
    m_fIsX9CDOpened = 1;
    return 0;
}

int CX9CDHost_Linux::CloseCD()
{
    m_fIsX9CDOpened = 0;
    if (m_lock_fd != -1) {
        close(m_lock_fd);
        m_lock_fd = -1;
    }
    return 0;
}

int CX9CDHost_Linux::Connect()
{
    if (FindX9CDROM() != 0) {
        DebugOut("problem finding X9 CDROM \n");
        return 1;
    }
    if (OpenCD() != 0) {
        DebugOut("problem opening X9 CDROM \n");
        return 1;
    }
    if (IsX9CDDrive() != 0) {
        DebugOut("Unable to find X9 CD Drive\n");
        return 1;
    }
    return 0;
}

int CX9CDHost_Linux::Disconnect()
{
    m_fIsX9CDFound = 0;
    CloseCD();
    return 0;
}

int CX9CDHost_Linux::IsX9CDDrive()
{
    char answer[kIdentifyBuffer] = {};
    int rc;
    {
        DriveLock lock(m_lock_fd);
        rc = TAV_SPT_CMD_Identify(answer);
    }
    if (rc != 0) {
        DebugOut("IsX9CDDrive:Unable to send ID command to the device\n");
        return 1;
    }
    if (std::strcmp(answer, X9CD_IDENTIFY_ANSWER) != 0) {
        DebugOut("IsX9CDDrive:Signature mismatch when ID command is sent\n");
        return 1;
    }
    return 0;
}

int CX9CDHost_Linux::WaitForCDConnection(unsigned long RetryTimeInSeconds)
{
    Disconnect();
    for (;;) {
        if (Connect() == 0) return 1;
        MsecsSleep(1);
        if (RetryTimeInSeconds != 0 && --RetryTimeInSeconds == 0) return 0;
    }
}

int CX9CDHost_Linux::IssueSgIo(sg_io_hdr* io)
{
    return ioctl(m_lock_fd, SG_IO, io) < 0 ? errno : 0;
}

SCSI_RESULT CX9CDHost_Linux::SendScsiCommand(unsigned char* cdb_buf, unsigned char cdb_len, void* data_buf,
                                             unsigned long data_len, int direction, void* sense_buf,
                                             unsigned int slen, long timeout)
{
    sg_io_hdr_t io;
    std::memset(&io, 0, sizeof(io));
    io.interface_id = 'S';
    io.dxfer_direction = direction;
    io.cmd_len = cdb_len;
    io.mx_sb_len = static_cast<unsigned char>(slen);
    io.dxfer_len = static_cast<unsigned int>(data_len);
    io.dxferp = data_buf;
    io.cmdp = cdb_buf;
    io.sbp = static_cast<unsigned char*>(sense_buf);
    io.timeout = static_cast<unsigned int>(timeout);

    SCSI_RESULT result;
    result.nOsError = IssueSgIo(&io);
    if (result.nOsError != 0) {
        DebugOut("sendscsicmd_SGIO:  SG_IO ioctl error\n");
    } else {
        DebugOut("ioctl came back ok\n");
        result.bStatus = io.status;
        result.wHostStatus = io.host_status;
        result.wDriverStatus = io.driver_status;
        result.nResidual = io.resid;
        // Only the bytes the kernel wrote, and never more than were offered.
        DecodeScsiSense(io.sbp, io.sb_len_wr < io.mx_sb_len ? io.sb_len_wr : io.mx_sb_len, result);
        DebugOut(result.Good() ? "sendscsicmd_SGIO : OK GOT!!\n" : "sendscsicmd_SGIO: No OK\n");
    }
    // Every call's result, for the trace (and the ring, should it fail).
    DebugOut("sendscsicmd_SGIO: opcode 0x%02x: %s\n", cdb_len != 0 ? cdb_buf[0] : 0,
             DescribeScsiResult(result).c_str());
    return result;
}

int CX9CDHost_Linux::sendscsicmd_SGIO(unsigned char* cdb_buf, unsigned char cdb_len, void* data_buf,
                                      unsigned long* data_len, int direction, void* sense_buf, unsigned int slen,
                                      long timeout)
{
    return SendScsiCommand(cdb_buf, cdb_len, data_buf, *data_len, direction, sense_buf, slen, timeout).Good() ? 0 : 1;
}

int CX9CDHost_Linux::TAV_SPT_CMD_Identify(char* szSignature)
{
    unsigned char cdb[kCdbLen];
    BuildVendorCdb(X9CD_OP_IDENTIFY, 0, 0, cdb);
    unsigned long len = kIdentifyAnswerLen;
    return sendscsicmd_SGIO(cdb, kCdbLen, szSignature, &len, SG_DXFER_FROM_DEV, nullptr, 0, kCommandTimeoutMs);
}

SCSI_RESULT CX9CDHost_Linux::VendorCommand(unsigned char opcode, char sector, unsigned short blocks, void* data,
                                           unsigned long len, int direction, long timeout)
{
    unsigned char cdb[kCdbLen];
    unsigned char sense[kSenseLen];
    BuildVendorCdb(opcode, sector, blocks, cdb);
    return SendScsiCommand(cdb, kCdbLen, data, len, direction, sense, kSenseLen, timeout);
}

int CX9CDHost_Linux::TAV_SPT_CMD_SendCmd(char* Buffer, char type, unsigned short buflen)
{
    const SCSI_RESULT r =
        VendorCommand(X9CD_OP_WRITE_SECTOR, type, 1, Buffer, buflen, SG_DXFER_TO_DEV, kCommandTimeoutMs);
    return r.Whole() ? 0 : 1;
}

int CX9CDHost_Linux::TAV_SPT_CMD_RecvCmd(char* Buffer, char type, unsigned short buflen)
{
    // A block that came back short is never taken as data.
    const SCSI_RESULT r =
        VendorCommand(X9CD_OP_READ_SECTOR, type, 1, Buffer, buflen, SG_DXFER_FROM_DEV, kCommandTimeoutMs);
    return r.Whole() ? 0 : 1;
}

int CX9CDHost_Linux::ReadCD(char CmdData, char* Buffer)
{
    if (TAV_SPT_CMD_RecvCmd(Buffer, CmdData, X9CD_BLOCK_SIZE) != 0) {
        DebugOut("Error while reading CD-Drive\n");
        return -1;
    }
    return 0;
}

int CX9CDHost_Linux::WriteCD(char CmdData, char* Buffer)
{
    if (TAV_SPT_CMD_SendCmd(Buffer, CmdData, X9CD_BLOCK_SIZE) != 0) {
        DebugOut("Error while writing to CD-Drive\n");
        return -1;
    }
    return 0;
}

int CX9CDHost_Linux::IssueX9Command(unsigned short CommandNo, unsigned long DataLenToX9, unsigned long* DataLenFromX9,
                                    char* DataBufferToX9, char* DataBufferFromX9, unsigned long timeout,
                                    unsigned long replySpace)
{
    DriveLock lock(m_lock_fd);
    return CX9CDHost::IssueX9Command(CommandNo, DataLenToX9, DataLenFromX9, DataBufferToX9, DataBufferFromX9,
                                     timeout, replySpace);
}

long CX9CDHost_Linux::HeartbeatCommand(unsigned char opcode)
{
    OS_HB_PACKET packet{};
    // A short answer is no number of seconds.
    if (!VendorCommand(opcode, 0, 0, &packet, sizeof(packet), SG_DXFER_FROM_DEV, kCommandTimeoutMs).Whole())
        return -1;
    return static_cast<int32_t>(Le32ToHost(static_cast<uint32_t>(packet.OsHbByte)));
}

long CX9CDHost_Linux::IssueHBStart()
{
    return HeartbeatCommand(X9CD_OP_HB_START);
}

long CX9CDHost_Linux::IssueHB()
{
    return HeartbeatCommand(X9CD_OP_HB);
}

void CX9CDHost_Linux::IssueHBEnd()
{
    (void)HeartbeatCommand(X9CD_OP_HB_END);
}

int CX9CDHost_Linux::GetRedirectionMousePos(HOST_MOUSE_PKT* pHostappMouseRep)
{
    const SCSI_RESULT r = VendorCommand(X9CD_OP_MOUSE, 0, 0, pHostappMouseRep, sizeof(*pHostappMouseRep),
                                        SG_DXFER_FROM_DEV, kMouseTimeoutMs);
    return r.Whole() ? 0 : -1;
}
