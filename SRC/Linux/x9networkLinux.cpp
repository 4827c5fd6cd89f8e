// The TCP network medium.
#include "x9networkLinux.h"

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "network.h"
#include "x9endian.h"
#include "zunahdr.h"

namespace {
using Clock = std::chrono::steady_clock;

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
    // Each request goes out whole at once: its last piece is not held back waiting for
    // the card to acknowledge the first (the card answers only the whole request).
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
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

int CX9Network_Linux::WaitForZUNAPacket(unsigned long /*timeout*/)
{
    return FeedFramerWhile(ZunaStreamFramer::State::kSignature);
}

int CX9Network_Linux::ReceiveHeader(char* Buffer, unsigned long timeout)
{
    m_framer.Start(reinterpret_cast<unsigned char*>(Buffer), ZUNA_MAX_PACKET_LEN);
    if (WaitForZUNAPacket(timeout) != ZUNA_E_SUCCESS || FeedFramerWhile(ZunaStreamFramer::State::kHeader) != ZUNA_E_SUCCESS)
        return ZUNA_E_CONNECTION;
    return m_framer.GetState() == ZunaStreamFramer::State::kRefused ? ZUNA_E_CONNECTION : ZUNA_E_SUCCESS;
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

int CX9Network_Linux::Receive(char* into, unsigned long room, std::size_t& got)
{
    for (;;) {
        // A card that keeps sending bytes without ever completing a reply is given up
        // on at the deadline as well.
        if (Clock::now() >= m_replyDeadline) return ZUNA_E_CONNECTION;
        const ssize_t n = recv(m_hSocket, into, room, MSG_DONTWAIT);
        if (n > 0) {
            got = static_cast<std::size_t>(n);
            return ZUNA_E_SUCCESS;
        }
        if (n == 0 || !WouldBlock(errno) || !WaitReady(m_hSocket, POLLIN, m_replyDeadline)) return ZUNA_E_CONNECTION;
    }
}

int CX9Network_Linux::FillReceived()
{
    m_receivedPos = m_receivedLen = 0;
    return Receive(m_received.data(), m_received.size(), m_receivedLen);
}

int CX9Network_Linux::FeedFramerWhile(ZunaStreamFramer::State state)
{
    while (m_framer.GetState() == state) {
        if (m_receivedPos == m_receivedLen && FillReceived() != ZUNA_E_SUCCESS) return ZUNA_E_CONNECTION;
        m_receivedPos += m_framer.Feed(reinterpret_cast<const unsigned char*>(m_received.data()) + m_receivedPos,
                                       m_receivedLen - m_receivedPos);
    }
    return ZUNA_E_SUCCESS;
}

int CX9Network_Linux::ReceiveUntilDeadline(char* Buffer, unsigned long wLen)
{
    unsigned long got = TakeReceived(Buffer, wLen);
    while (got < wLen) {
        // What is missing of a long stretch is read straight into the caller's
        // buffer; a short one fills the read-ahead buffer.
        const unsigned long missing = wLen - got;
        if (missing >= m_received.size()) {
            std::size_t n = 0;
            if (Receive(Buffer + got, missing, n) != ZUNA_E_SUCCESS) return ZUNA_E_CONNECTION;
            got += static_cast<unsigned long>(n);
        } else {
            if (FillReceived() != ZUNA_E_SUCCESS) return ZUNA_E_CONNECTION;
            got += TakeReceived(Buffer + got, missing);
        }
    }
    return ZUNA_E_SUCCESS;
}

int CX9Network_Linux::RecvZUNAPacket(unsigned char* pResponseBuffer, unsigned long* npBytesRecd,
                                     unsigned long timeout)
{
    m_replyDeadline = Clock::now() + m_waits.reply;
    // The header is read (and checked) by the framer; the data then goes straight to
    // its place behind it.
    if (ReceiveHeader(reinterpret_cast<char*>(pResponseBuffer), timeout) != ZUNA_E_SUCCESS) return ZUNA_E_CONNECTION;
    const std::size_t missing = m_framer.Missing();
    if (ReceiveBlocks(reinterpret_cast<char*>(m_framer.DataSpace()), missing, timeout) != ZUNA_E_SUCCESS)
        return ZUNA_E_CONNECTION;
    m_framer.Advance(missing);

    *npBytesRecd = m_framer.PacketLength();
    return ZUNA_E_SUCCESS;
}
