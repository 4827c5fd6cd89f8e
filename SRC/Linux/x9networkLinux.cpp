// The TCP network medium.
#include "x9networkLinux.h"

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "network.h"
#include "x9endian.h"
#include "zunahdr.h"

namespace {
constexpr std::size_t kHeaderFixedBytes = 11;  // signature, version and bHeaderLen

using Clock = std::chrono::steady_clock;

// The signature's first byte stands nowhere else in it, so a byte that breaks a
// partial match can only start a new match as that first byte.
constexpr bool FirstSignatureByteIsUnique()
{
    for (std::size_t i = 1; i < ZUNA_SIGNATURE_LEN; ++i)
        if (ZUNA_SIGNATURE[i] == ZUNA_SIGNATURE[0]) return false;
    return true;
}
static_assert(FirstSignatureByteIsUnique());

// Waits until fd reports one of `events` (or an error or hang-up, which the next call
// on it then reports). False once the deadline has passed.
bool WaitReady(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, static_cast<int>(std::min<decltype(left)>(left, INT_MAX)));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

bool WouldBlock(int error)
{
    return error == EINTR || error == EAGAIN || error == EWOULDBLOCK;
}

// One connection attempt, waited for until the deadline: the connected socket, or -1
// with errno set (ETIMEDOUT when the deadline passed).
int ConnectOnce(const sockaddr_in& peer, Clock::time_point deadline)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int error = 0;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            socklen_t len = sizeof(error);
            if (!WaitReady(fd, POLLOUT, deadline))
                error = ETIMEDOUT;
            else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
                error = errno;
        }
    }
    if (error != 0) {
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}
}  // namespace

CX9Network_Linux::CX9Network_Linux(const char* IPAddress, int Port, Waits waits)
    : m_hSocket(-1), nPort(Port), m_waits(waits)
{
    std::memset(strIPAddress, 0, sizeof(strIPAddress));
    // A text that does not fit is not cut short (that could name another card): it is
    // kept empty, and Connect refuses the empty address.
    if (IPAddress != nullptr && std::strlen(IPAddress) < sizeof(strIPAddress))
        std::strcpy(strIPAddress, IPAddress);
}

CX9Network_Linux::~CX9Network_Linux()
{
    Disconnect();
}

int CX9Network_Linux::Connect()
{
    // Four plain numbers, as an administrator writes a card's address: no octal, hex,
    // shortened or single-number forms, which would name another host.
    const std::optional<uint32_t> address = ParseDottedIPv4(strIPAddress, std::strlen(strIPAddress));
    if (!address || *address == INADDR_BROADCAST) return ZUNA_E_CONNECTION;

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<uint16_t>(nPort & 0xFFFF));
    peer.sin_addr.s_addr = htonl(*address);

    const Clock::time_point deadline = Clock::now() + m_waits.connect;
    for (;;) {
        const int fd = ConnectOnce(peer, deadline);
        if (fd >= 0) {
            Disconnect();
            m_hSocket = fd;
            return ZUNA_E_SUCCESS;
        }
        if (errno != EADDRINUSE || Clock::now() >= deadline) return ZUNA_E_CONNECTION;
        usleep(100);
    }
}

int CX9Network_Linux::Disconnect()
{
    m_receivedPos = m_receivedLen = 0;
    if (m_hSocket != -1) {
        shutdown(m_hSocket, SHUT_RDWR);
        close(m_hSocket);
        m_hSocket = -1;
    }
    return 0;
}

int CX9Network_Linux::IssueZUNACommand(char* sendBuf, unsigned long* recvLen, char* recvBuf,
                                       unsigned long timeout)
{
    const auto sendLen = static_cast<int>(GetLe32(sendBuf + offsetof(ZUNA_HEADER, dwDataLen)) + ZUNA_HEADER_LEN);
    return IssueCommand(sendLen, recvLen, sendBuf, recvBuf, timeout) != ZUNA_E_SUCCESS ? 1 : 0;
}

int CX9Network_Linux::IssueCommand(int /*sendLen*/, unsigned long* recvLen, char* sendBuf, char* recvBuf,
                                   unsigned long timeout)
{
    if (m_hSocket == -1) return ZUNA_E_CONNECTION;
    if (SendZUNAPacket(reinterpret_cast<unsigned char*>(sendBuf), timeout) == ZUNA_E_SUCCESS &&
        RecvZUNAPacket(reinterpret_cast<unsigned char*>(recvBuf), recvLen, timeout) == ZUNA_E_SUCCESS)
        return ZUNA_E_SUCCESS;
    // A reply that has not come within the wait may still come, and the next exchange
    // would take it for its own: the connection is out of step and is closed.
    if (Clock::now() >= m_replyDeadline) Disconnect();
    return ZUNA_E_CONNECTION;
}

int CX9Network_Linux::SendZUNAPacket(unsigned char* CmdBuffer, unsigned long /*timeout*/)
{
    m_replyDeadline = Clock::now() + m_waits.reply;
    const std::size_t dataLen = GetLe32(CmdBuffer + offsetof(ZUNA_HEADER, dwDataLen));
    // A header announcing more than a packet can hold is never read past its buffer.
    if (dataLen > ZUNA_MAX_DATA_LEN) return ZUNA_E_CONNECTION;
    std::size_t remaining = dataLen + ZUNA_HEADER_LEN;
    const unsigned char* p = CmdBuffer;
    const Clock::time_point deadline = m_replyDeadline;
    while (remaining > 0) {
        // A card that has gone away ends the exchange; it must not end the program.
        // The send is tried first: a card that keeps up costs no wait call.
        const ssize_t n = send(m_hSocket, p, remaining, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (!WouldBlock(errno) || !WaitReady(m_hSocket, POLLOUT, deadline)) return ZUNA_E_CONNECTION;
            continue;
        }
        p += n;
        remaining -= static_cast<std::size_t>(n);
    }
    return ZUNA_E_SUCCESS;
}

int CX9Network_Linux::WaitForZUNAPacket(unsigned long timeout)
{
    std::size_t matched = 0;
    while (matched < ZUNA_SIGNATURE_LEN) {
        char byte;
        if (ReceiveBytes(&byte, 1, timeout) != ZUNA_E_SUCCESS) return ZUNA_E_CONNECTION;
        // A byte that breaks a partial match may begin the signature itself ("TAV"
        // then a whole packet).
        if (static_cast<unsigned char>(byte) == ZUNA_SIGNATURE[matched])
            ++matched;
        else
            matched = static_cast<unsigned char>(byte) == ZUNA_SIGNATURE[0] ? 1 : 0;
    }
    return ZUNA_E_SUCCESS;
}

int CX9Network_Linux::ReceiveHeader(char* Buffer, unsigned long timeout)
{
    if (WaitForZUNAPacket(timeout) != ZUNA_E_SUCCESS) return ZUNA_E_CONNECTION;
    std::memcpy(Buffer, ZUNA_SIGNATURE, ZUNA_SIGNATURE_LEN);
    if (ReceiveBytes(Buffer + ZUNA_SIGNATURE_LEN, kHeaderFixedBytes - ZUNA_SIGNATURE_LEN, timeout) != ZUNA_E_SUCCESS)
        return ZUNA_E_CONNECTION;
    const unsigned headerLen = static_cast<unsigned char>(Buffer[offsetof(ZUNA_HEADER, bHeaderLen)]);
    if (headerLen < kHeaderFixedBytes) return ZUNA_E_CONNECTION;
    return ReceiveBytes(Buffer + kHeaderFixedBytes, headerLen - kHeaderFixedBytes, timeout);
}

int CX9Network_Linux::ReceiveBytes(char* Buffer, unsigned long wLen, unsigned long /*timeout*/)
{
    return ReceiveUntilDeadline(Buffer, wLen);
}

int CX9Network_Linux::ReceiveBlocks(char* Buffer, unsigned long wLen, unsigned long /*timeout*/)
{
    return ReceiveUntilDeadline(Buffer, wLen);
}

unsigned long CX9Network_Linux::TakeReceived(char* Buffer, unsigned long wLen)
{
    const unsigned long n = std::min<unsigned long>(wLen, m_receivedLen - m_receivedPos);
    std::memcpy(Buffer, m_received.data() + m_receivedPos, n);
    m_receivedPos += n;
    return n;
}

int CX9Network_Linux::ReceiveUntilDeadline(char* Buffer, unsigned long wLen)
{
    unsigned long got = TakeReceived(Buffer, wLen);
    while (got < wLen) {
        // A card that keeps sending bytes without ever completing a reply is given up
        // on at the deadline as well.
        if (Clock::now() >= m_replyDeadline) return ZUNA_E_CONNECTION;
        // What is missing of a long stretch is read straight into the caller's
        // buffer; a short one (a header) fills the read-ahead buffer in one call.
        const unsigned long missing = wLen - got;
        const bool direct = missing >= m_received.size();
        char* into = direct ? Buffer + got : m_received.data();
        const ssize_t n = recv(m_hSocket, into, direct ? missing : m_received.size(), MSG_DONTWAIT);
        if (n == 0) return ZUNA_E_CONNECTION;
        if (n < 0) {
            if (!WouldBlock(errno) || !WaitReady(m_hSocket, POLLIN, m_replyDeadline)) return ZUNA_E_CONNECTION;
            continue;
        }
        if (direct) {
            got += static_cast<unsigned long>(n);
        } else {
            m_receivedPos = 0;
            m_receivedLen = static_cast<std::size_t>(n);
            got += TakeReceived(Buffer + got, missing);
        }
    }
    return ZUNA_E_SUCCESS;
}

int CX9Network_Linux::RecvZUNAPacket(unsigned char* pResponseBuffer, unsigned long* npBytesRecd,
                                     unsigned long timeout)
{
    m_replyDeadline = Clock::now() + m_waits.reply;
    char* buf = reinterpret_cast<char*>(pResponseBuffer);
    // Header fields that a short header does not carry read as zero, never as what
    // an earlier reply left in the buffer.
    std::memset(buf, 0, ZUNA_HEADER_LEN);
    if (ReceiveHeader(buf, timeout) != ZUNA_E_SUCCESS) return ZUNA_E_CONNECTION;

    const unsigned long headerLen = static_cast<unsigned char>(buf[offsetof(ZUNA_HEADER, bHeaderLen)]);
    const unsigned long dataLen = GetLe32(buf + offsetof(ZUNA_HEADER, dwDataLen));
    if (dataLen > ZUNA_MAX_PACKET_LEN || headerLen + dataLen > ZUNA_MAX_PACKET_LEN) return ZUNA_E_CONNECTION;
    if (ReceiveBlocks(buf + headerLen, dataLen, timeout) != ZUNA_E_SUCCESS) return ZUNA_E_CONNECTION;

    *npBytesRecd = headerLen + dataLen;
    return ZUNA_E_SUCCESS;
}
