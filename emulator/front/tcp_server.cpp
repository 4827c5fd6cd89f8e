#include "tcp_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <list>
#include <optional>
#include <system_error>
#include <vector>

#include "network.h"
#include "x9endian.h"
#include "zunaframe.h"

namespace kelcard {
namespace {

void CloseFd(int& fd)
{
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::string ErrnoText(const char* what)
{
    return std::string(what) + ": " + std::generic_category().message(errno);
}

// Reads and writes one connection; every wait ends when Stop() wakes the server, and
// fails once the idle limit passes without the connection becoming ready. Reads are
// buffered so that scanning for the signature costs no system call per byte.
class Connection {
public:
    enum class Result { kOk, kClosed };

    Connection(int fd, int wakeFd, const std::atomic<bool>& stopping, std::chrono::milliseconds idleLimit)
        : m_fd(fd), m_wakeFd(wakeFd), m_stopping(stopping), m_idleLimit(idleLimit)
    {
    }

    // Feeds the framer until its packet is whole or refused: what the buffer holds
    // first, then a long stretch of data straight into the packet, a short one (and
    // every header) through the buffer.
    Result Frame(ZunaStreamFramer& framer)
    {
        while (!framer.Done()) {
            if (m_pos == m_len) {
                if (framer.Missing() >= sizeof(m_buffer)) {
                    const std::optional<std::size_t> n = Receive(framer.DataSpace(), framer.Missing());
                    if (!n) return Result::kClosed;
                    framer.Advance(*n);
                    continue;
                }
                const std::optional<std::size_t> n = Receive(m_buffer, sizeof(m_buffer));
                if (!n) return Result::kClosed;
                m_pos = 0;
                m_len = *n;
            }
            m_pos += framer.Feed(m_buffer + m_pos, m_len - m_pos);
        }
        return Result::kOk;
    }

    Result WriteAll(const uint8_t* data, std::size_t len)
    {
        while (len > 0) {
            // Tried first: a host that keeps up costs no wait call.
            const ssize_t n = ::send(m_fd, data, len, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0) {
                if (!WouldBlock() || !Wait(POLLOUT)) return Result::kClosed;
                continue;
            }
            data += n;
            len -= static_cast<std::size_t>(n);
        }
        return Result::kOk;
    }

private:
    static bool WouldBlock() { return errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK; }

    // Some bytes (at most `room`) into `into`, waited for when none have arrived;
    // nothing once the host has closed, the server is stopping or the idle limit passed.
    std::optional<std::size_t> Receive(uint8_t* into, std::size_t room)
    {
        for (;;) {
            // A host that never stops sending is not waited for, so it is checked here.
            if (m_stopping.load(std::memory_order_relaxed)) return std::nullopt;
            const ssize_t n = ::recv(m_fd, into, room, MSG_DONTWAIT);
            if (n > 0) return static_cast<std::size_t>(n);
            if (n == 0 || !WouldBlock() || !Wait(POLLIN)) return std::nullopt;
        }
    }

    // Waits until the connection is ready for `events` (or has failed, which the
    // following call reports); false once the server is being stopped or the idle
    // limit has passed.
    bool Wait(short events)
    {
        using namespace std::chrono;
        const auto deadline = steady_clock::now() + m_idleLimit;
        for (;;) {
            const auto left = ceil<milliseconds>(deadline - steady_clock::now()).count();
            if (left <= 0) return false;
            pollfd fds[2] = {{m_fd, events, 0}, {m_wakeFd, POLLIN, 0}};
            const int rc = ::poll(fds, 2, static_cast<int>(std::min<decltype(left)>(left, INT_MAX)));
            if (rc < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (fds[1].revents != 0) return false;
            if (fds[0].revents != 0) return true;
        }
    }

    int m_fd;
    int m_wakeFd;
    const std::atomic<bool>& m_stopping;
    std::chrono::milliseconds m_idleLimit;
    uint8_t m_buffer[4096];
    std::size_t m_pos = 0;
    std::size_t m_len = 0;
};

// A connection's thread. It sets `done` as its last step, so the accepting thread can
// join it without waiting.
struct Worker {
    std::thread thread;
    std::atomic<bool> done{false};
};

void JoinFinished(std::list<Worker>& workers)
{
    for (auto it = workers.begin(); it != workers.end();) {
        if (!it->done) {
            ++it;
            continue;
        }
        it->thread.join();
        it = workers.erase(it);
    }
}

// Sleeps for `delay`; false at once when Stop() wakes the server.
bool WaitUnlessStopped(int wakeFd, std::chrono::milliseconds delay)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + delay;
    for (;;) {
        const auto left = ceil<milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0) return true;
        pollfd wake{wakeFd, POLLIN, 0};
        const int rc = ::poll(&wake, 1, static_cast<int>(std::min<decltype(left)>(left, INT_MAX)));
        if (rc > 0 || (rc < 0 && errno != EINTR)) return false;
    }
}

}  // namespace

bool IsLoopbackIPv4(const std::string& address)
{
    const auto parsed = ParseDottedIPv4(address.data(), address.size());
    return parsed && (*parsed >> 24) == 127;
}

TcpServer::TcpServer(CardModel& model, std::string address, uint16_t port, std::chrono::milliseconds idleLimit)
    : m_model(model), m_address(std::move(address)), m_port(port), m_idleLimit(idleLimit)
{
}

TcpServer::~TcpServer()
{
    Stop();
}

bool TcpServer::Start(std::string* error)
{
    auto fail = [&](std::string message) {
        if (error) *error = std::move(message);
        CloseFd(m_listenFd);
        CloseFd(m_wakeRead);
        CloseFd(m_wakeWrite);
        return false;
    };
    if (m_thread.joinable()) {
        if (error) *error = "already serving";
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(m_port);
    if (!IsLoopbackIPv4(m_address) || ::inet_pton(AF_INET, m_address.c_str(), &addr.sin_addr) != 1) {
        return fail("not a loopback IPv4 address (127.x.y.z): " + m_address);
    }

    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) return fail(ErrnoText("pipe"));
    m_wakeRead = wake[0];
    m_wakeWrite = wake[1];
    m_stopping = false;

    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) return fail(ErrnoText("socket"));
    const int on = 1;
    if (::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0) {
        return fail(ErrnoText("setsockopt"));
    }
    if (::bind(m_listenFd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        return fail(ErrnoText(("bind " + m_address + ":" + std::to_string(m_port)).c_str()));
    }
    if (::listen(m_listenFd, static_cast<int>(kMaxConnections)) != 0) return fail(ErrnoText("listen"));

    try {
        m_thread = std::thread([this] { Serve(); });
    } catch (const std::system_error& e) {  // no thread to be had (a range of many cards)
        return fail(std::string("thread: ") + e.what());
    }
    return true;
}

void TcpServer::Stop()
{
    if (m_thread.joinable()) {
        m_stopping = true;
        const uint8_t byte = 1;
        while (::write(m_wakeWrite, &byte, 1) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    CloseFd(m_listenFd);
    CloseFd(m_wakeRead);
    CloseFd(m_wakeWrite);
}

void TcpServer::Serve()
{
    std::list<Worker> workers;
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
        const int rc = ::poll(fds, 2, -1);
        if (rc < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents != 0) break;
        if (fds[0].revents == 0) continue;
        int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;  // the peer gave up before the accept, or a transient error
        JoinFinished(workers);
        if (workers.size() >= kMaxConnections) {
            CloseFd(fd);
            continue;
        }
        Worker& worker = workers.emplace_back();
        try {
            worker.thread = std::thread([this, fd, &worker] {
                ServeConnection(fd);
                ::close(fd);
                worker.done = true;
            });
        } catch (const std::system_error&) {  // no thread to be had: refused like one too many
            workers.pop_back();
            CloseFd(fd);
        }
    }
    // The wake-up that ended this loop ends every connection's waits as well.
    for (Worker& worker : workers) worker.thread.join();
}

std::size_t TcpServer::CutLength(uint16_t command, std::size_t length, bool& close) const
{
    const auto cuts = m_cutReplies.find(command);
    if (cuts == m_cutReplies.end()) return length;
    const std::lock_guard lock(m_cutMutex);
    const std::size_t done = m_repliesCut[command];
    if (done >= cuts->second.size()) return length;
    m_repliesCut[command] = done + 1;
    close = true;
    return std::min(length, cuts->second[done]);
}

void TcpServer::ServeConnection(int fd) const
{
    using Result = Connection::Result;
    Connection conn(fd, m_wakeRead, m_stopping, m_idleLimit);
    Session session;
    session.requireLogin = true;
    session.endsWithRestart = true;
    // The header is always 32 bytes here: the card answers a bHeaderLen of any other
    // value as malformed.
    ZunaStreamFramer framer(ZunaStreamFramer::HeaderLength::kFixed);
    // Both packets kept for the connection's life (the reply grown by the first large
    // answer): a block costs no allocation.
    std::vector<uint8_t> packet(ZUNA_MAX_PACKET_LEN);
    PacketBuffer reply;

    for (;;) {
        framer.Start(packet.data(), packet.size());
        if (conn.Frame(framer) != Result::kOk || framer.GetState() == ZunaStreamFramer::State::kRefused) return;

        m_model.HandlePacket(session, packet.data(), framer.PacketLength(), reply);
        if (session.dropWithoutReply) return;
        const uint16_t command = GetLe16(packet.data() + offsetof(ZUNA_HEADER, wCommand));
        const auto late = m_lateReplies.find(command);
        if (late != m_lateReplies.end() && !WaitUnlessStopped(m_wakeRead, late->second)) return;
        bool cut = false;
        const std::size_t length = CutLength(command, reply.size(), cut);
        if (conn.WriteAll(reply.data(), length) != Result::kOk || cut) return;
        if (session.closeAfterReply) return;
    }
}

}  // namespace kelcard
