// CX9ZunaIfc core: construction, header building and checking, the exchange and
// the status messages.
#include "x9zunaifc.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "cksum.h"
#include "x9endian.h"

namespace {

constexpr std::size_t kErrorRows = 36;
const char zuna_err_strings[kErrorRows][40] = {
    "Operation Success",
    "Authentication failed",
    "Authentication required",
    "System is busy",
    "Try again",
    "Permission denied",
    "Operation canceled",
    "Operation interrupted",
    "Argument nedded",
    "Argument count insufficient",
    "Operation in progress",
    "System shutdown",
    "Error during access",
    "Handle error",
    "Unable to open file",
    "Already exists",
    "Resource not exist",
    "Insufficient memory",
    "Insufficient space",
    "Read only",
    "No such device",
    "Error during I/O",
    "Fault",
    "No such file",
    "Operation Timeout",
    "Deadlock",
    "Out of Range",
    "Null argument",
    "Invalid argument/data",
    "Buffer error",
    "General error",
    "Version Conflict",
    "Unsuported command.operation",
    "Error during connect ",
    "Checksum error",
    "File read error",
};
const char UnknownZunaError[] = "Unknown ZUNA error";
constexpr uint16_t kLoginCommand = 0x0002;

}  // namespace

std::string DescribeZunaPacket(bool toCard, const unsigned char* packet, std::size_t len)
{
    char text[256];
    if (len < ZUNA_HEADER_LEN) {
        std::snprintf(text, sizeof(text), "%s %zu bytes, shorter than a header", toCard ? "request" : "reply", len);
        return text;
    }
    const unsigned headerLen = packet[offsetof(ZUNA_HEADER, bHeaderLen)];
    const uint32_t dataLen = GetLe32(packet + offsetof(ZUNA_HEADER, dwDataLen));
    const uint16_t command = GetLe16(packet + offsetof(ZUNA_HEADER, wCommand));
    int n = std::snprintf(text, sizeof(text), "%s command 0x%04x status %u data %u header %u version %u.%u api %u.%u",
                          toCard ? "request" : "reply  ", command,
                          unsigned{GetLe16(packet + offsetof(ZUNA_HEADER, wStatus))}, dataLen, headerLen,
                          unsigned{packet[offsetof(ZUNA_HEADER, ZunaVersion)]},
                          unsigned{packet[offsetof(ZUNA_HEADER, ZunaVersion) + 1]},
                          unsigned{packet[offsetof(ZUNA_HEADER, APIVersion)]},
                          unsigned{packet[offsetof(ZUNA_HEADER, APIVersion) + 1]});
    std::string line(text, static_cast<std::size_t>(std::max(n, 0)));
    // The data the packet holds, from where its header ends.
    const std::size_t start = std::max<std::size_t>(headerLen, ZUNA_HEADER_LEN);
    const std::size_t present = len > start ? std::min<std::size_t>(len - start, dataLen) : 0;
    if (present == 0) return line;
    const unsigned char* data = packet + start;
    if (toCard && command == kLoginCommand) {
        char user[ZUNA_LOGIN_FIELD_LEN + 1] = {};
        const std::size_t userLen = std::min(present, ZUNA_LOGIN_FIELD_LEN);
        for (std::size_t i = 0; i < userLen && data[i] != 0; ++i)
            user[i] = data[i] >= 0x20 && data[i] < 0x7F ? static_cast<char>(data[i]) : '?';
        return line + " user \"" + user + "\" digest <hidden>";
    }
    line += ":";
    for (std::size_t i = 0; i < std::min(present, kTraceDataBytes); ++i) {
        std::snprintf(text, sizeof(text), " %02x", data[i]);
        line += text;
    }
    if (present > kTraceDataBytes) line += " ...";
    return line;
}

const char* GetZunaErrorString(int code)
{
    if (code < 0 || static_cast<std::size_t>(code) >= kErrorRows) return UnknownZunaError;
    return zuna_err_strings[code];
}

CX9ZunaIfc::CX9ZunaIfc(X9ZUNAIFC_MEDIUM medium, X9ZUNAIFC_OS /*os*/, const char* IPAddress, int nPort)
    : CX9ZunaIfc(CreateZunaMedium(medium, IPAddress, nPort))
{
}

CX9ZunaIfc::CX9ZunaIfc(std::unique_ptr<CX9ZunaMedium> medium)
    : zunaVer{ZUNA_VERSION_MAJOR, ZUNA_VERSION_MINOR},
      maxHostDataLen(ZUNA_MAX_DATA_LEN),
      zunaSendLen(0),
      IssueLastError(0),
      m_pZunaMedium(std::move(medium))
{
    std::memset(&ZunaHeader, 0, sizeof(ZunaHeader));
    std::memcpy(ZunaHeader.bSignature, ZUNA_SIGNATURE, sizeof(ZunaHeader.bSignature));
    ZunaHeader.bHeaderLen = ZUNA_HEADER_LEN;
    ZunaHeader.APIVersion = zunaVer;
    ZunaHeader.bOriginator = 1;
}

CX9ZunaIfc::~CX9ZunaIfc()
{
    if (m_pZunaMedium) m_pZunaMedium->Disconnect();
}

ZUNA_ERROR CX9ZunaIfc::Connect()
{
    if (!m_pZunaMedium || m_pZunaMedium->Connect() != 0) return ZUNA_E_CONNECTION;
    return ZUNA_E_SUCCESS;
}

ZUNA_ERROR CX9ZunaIfc::Disconnect()
{
    if (m_pZunaMedium) m_pZunaMedium->Disconnect();
    return ZUNA_E_SUCCESS;
}

unsigned char CX9ZunaIfc::CalculateModule100(const unsigned char* Buffer, uint16_t wSize)
{
    return static_cast<unsigned char>(0x100 - ZunaByteSum(Buffer, wSize));
}

unsigned char CX9ZunaIfc::ValidateCheckSum(const unsigned char* Buffer, uint16_t wSize)
{
    return ZunaByteSum(Buffer, wSize);
}

int CX9ZunaIfc::SetZunaHeader(uint16_t cmdNum, unsigned char* pBuf, uint32_t cmdDataLen)
{
    ZUNA_HEADER hdr;
    std::memset(&hdr, 0, sizeof(hdr));
    maxHostDataLen = ZUNA_MAX_DATA_LEN;
    std::memcpy(hdr.bSignature, ZUNA_SIGNATURE, sizeof(hdr.bSignature));
    hdr.ZunaVersion = {ZUNA_VERSION_MAJOR, ZUNA_VERSION_MINOR};
    hdr.bOriginator = 1;
    hdr.bHeaderLen = ZUNA_HEADER_LEN;
    hdr.wCommand = HostToLe16(cmdNum);
    if (cmdDataLen > maxHostDataLen) {
        std::memcpy(pBuf, &hdr, sizeof(hdr));
        return -1;
    }
    hdr.dwDataLen = HostToLe32(cmdDataLen);
    zunaSendLen = cmdDataLen;
    hdr.bChecksum = CalculateModule100(reinterpret_cast<const unsigned char*>(&hdr), sizeof(hdr));
    std::memcpy(pBuf, &hdr, sizeof(hdr));
    return 0;
}

int CX9ZunaIfc::SetZunaSendDataLength(unsigned char* pBuf, uint32_t dataLength)
{
    if (dataLength > maxHostDataLen) return -1;
    PutLe32(pBuf + offsetof(ZUNA_HEADER, dwDataLen), dataLength);
    return 0;
}

void CX9ZunaIfc::SetWaitLimit(std::chrono::milliseconds limit)
{
    if (m_pZunaMedium) m_pZunaMedium->SetWaitLimit(limit);
}

void CX9ZunaIfc::SetTrace(TraceSink sink)
{
    m_trace = sink;
    if (m_pZunaMedium) m_pZunaMedium->SetTrace(std::move(sink));
}

unsigned char* CX9ZunaIfc::RequestData()
{
    // Made at the first exchange and kept: a transfer's every block uses them.
    if (!m_request) {
        m_request = std::make_unique_for_overwrite<unsigned char[]>(ZUNA_MAX_PACKET_LEN);
        m_reply = std::make_unique_for_overwrite<unsigned char[]>(ZUNA_MAX_PACKET_LEN);
    }
    return m_request.get() + ZUNA_HEADER_LEN;
}

ZUNA_ERROR CX9ZunaIfc::Transact(uint16_t cmdNum, uint32_t sendDataLen, uint32_t bufSize, unsigned long expected,
                                uint32_t timeout, std::span<const unsigned char>& data, bool& answered)
{
    data = {};
    answered = false;
    if (!m_pZunaMedium || sendDataLen > bufSize || sendDataLen > ZUNA_MAX_DATA_LEN) return ZUNA_E_CONNECTION;
    unsigned char* const request = RequestData() - ZUNA_HEADER_LEN;
    unsigned char* const reply = m_reply.get();
    // Only the reply's header is cleared: the medium says how much of the rest it filled.
    std::memset(reply, 0, ZUNA_HEADER_LEN);
    if (SetZunaHeader(cmdNum, request, sendDataLen) != 0) return ZUNA_E_CONNECTION;

    unsigned long recvLen = expected;
    if (m_trace) m_trace(DescribeZunaPacket(true, request, ZUNA_HEADER_LEN + sendDataLen));
    const int rc = m_pZunaMedium->IssueZUNACommand(reinterpret_cast<char*>(request), &recvLen,
                                                   reinterpret_cast<char*>(reply), timeout);
    if (rc != 0) {
        IssueLastError = static_cast<uint32_t>(rc);
        if (m_trace) m_trace("no reply: the medium failed with " + std::to_string(rc));
        return ZUNA_E_CONNECTION;
    }
    answered = true;
    if (m_trace) m_trace(DescribeZunaPacket(false, reply, std::min<unsigned long>(recvLen, ZUNA_MAX_PACKET_LEN)));
    // A reply to another command (a late one, say) does not answer this request.
    if (ValidateCheckSum(reply, ZUNA_HEADER_LEN) != 0 || GetLe16(reply + offsetof(ZUNA_HEADER, wCommand)) != cmdNum)
        return ZUNA_E_CONNECTION;

    const uint32_t dataLen = GetLe32(reply + offsetof(ZUNA_HEADER, dwDataLen));
    // The reply's data starts where its header ends (bHeaderLen); a header too short to
    // hold the header's fields is no reply. The data must have arrived whole and fit
    // the caller's buffer.
    const uint32_t headerLen = reply[offsetof(ZUNA_HEADER, bHeaderLen)];
    if (headerLen < ZUNA_HEADER_LEN || dataLen > ZUNA_MAX_DATA_LEN || dataLen > bufSize ||
        recvLen > ZUNA_MAX_PACKET_LEN || headerLen + dataLen > recvLen)
        return ZUNA_E_CONNECTION;
    data = std::span<const unsigned char>(reply + headerLen, dataLen);
    return static_cast<ZUNA_ERROR>(GetLe16(reply + offsetof(ZUNA_HEADER, wStatus)));
}

ZUNA_ERROR CX9ZunaIfc::SendZunaCommand(uint16_t cmdNum, void* sendData, uint32_t sendDataLen,
                                       uint32_t* pRecvLen, uint32_t timeout, uint32_t bufSize)
{
    if (!m_pZunaMedium || sendDataLen > bufSize) return ZUNA_E_CONNECTION;
    if (sendDataLen > 0 && sendDataLen <= ZUNA_MAX_DATA_LEN) std::memcpy(RequestData(), sendData, sendDataLen);
    std::span<const unsigned char> data;
    bool answered = false;
    const ZUNA_ERROR status = Transact(cmdNum, sendDataLen, bufSize, *pRecvLen, timeout, data, answered);
    // Refused before anything was sent, or no reply: *pRecvLen is left as it was.
    if (!answered) return ZUNA_E_CONNECTION;
    if (status == ZUNA_E_CONNECTION && data.data() == nullptr) {
        *pRecvLen = 0;
        return ZUNA_E_CONNECTION;
    }
    *pRecvLen = static_cast<uint32_t>(data.size());
    if (!data.empty()) std::memcpy(sendData, data.data(), data.size());
    return status;
}

ZUNA_ERROR CX9ZunaIfc::Exchange(uint16_t cmdNum, const void* request, uint32_t sendLen, uint32_t replyMax,
                                std::vector<unsigned char>& reply)
{
    reply.clear();
    if (sendLen > ZUNA_MAX_DATA_LEN) return ZUNA_E_CONNECTION;
    if (sendLen != 0) std::memcpy(RequestData(), request, sendLen);
    std::span<const unsigned char> data;
    const ZUNA_ERROR status = ExchangeInPlace(cmdNum, sendLen, replyMax, data);
    if (status == ZUNA_E_CONNECTION) return ZUNA_E_CONNECTION;
    reply.assign(data.begin(), data.end());
    return status;
}

ZUNA_ERROR CX9ZunaIfc::ExchangeInPlace(uint16_t cmdNum, uint32_t sendLen, uint32_t replyMax,
                                       std::span<const unsigned char>& data)
{
    bool answered = false;
    const ZUNA_ERROR status = Transact(cmdNum, sendLen, std::max(sendLen, replyMax), 0, 0, data, answered);
    if (status == ZUNA_E_CONNECTION || data.size() > replyMax) {
        data = {};
        return ZUNA_E_CONNECTION;
    }
    return status;
}

ZUNA_ERROR CX9ZunaIfc::ExchangeFields(uint16_t cmdNum, const void* request, uint32_t sendLen, void* out,
                                      uint32_t size, WireFields fields)
{
    std::vector<unsigned char> wire(size);
    if (sendLen != 0) {
        WireWriter w(wire.data(), wire.size());
        WriteRecord(w, request, size, fields);
    }
    std::vector<unsigned char> reply;
    const ZUNA_ERROR status = Exchange(cmdNum, wire.data(), sendLen, size, reply);
    if (status != ZUNA_E_SUCCESS) return status;
    // A successful reply that leaves part of the record unfilled is malformed: its
    // fields would read as whatever the record held before.
    WireReader r(reply.data(), reply.size());
    ReadRecord(r, wire.data(), size, fields);
    if (!r.AtEnd()) return ZUNA_E_CONNECTION;
    std::memcpy(out, wire.data(), size);
    return ZUNA_E_SUCCESS;
}

ZUNA_ERROR CX9ZunaIfc::SendFields(uint16_t cmdNum, const void* rec, uint32_t size, WireFields fields)
{
    if (size > ZUNA_MAX_DATA_LEN) return ZUNA_E_CONNECTION;
    // Written straight into the request: a flash block or file fragment is copied once.
    WireWriter w(RequestData(), size);
    WriteRecord(w, rec, size, fields);
    std::span<const unsigned char> reply;
    return ExchangeInPlace(cmdNum, size, size, reply);
}

ZUNA_ERROR CX9ZunaIfc::QueryRecord(uint16_t cmdNum, void* rec, uint32_t size)
{
    return ExchangeFields(cmdNum, nullptr, 0, rec, size, {});
}

ZUNA_ERROR CX9ZunaIfc::ExchangeRecord(uint16_t cmdNum, void* rec, uint32_t sendLen, uint32_t size)
{
    return ExchangeFields(cmdNum, rec, sendLen, rec, size, {});
}

ZUNA_ERROR CX9ZunaIfc::SendRecord(uint16_t cmdNum, void* rec, uint32_t size)
{
    return SendFields(cmdNum, rec, size, {});
}
