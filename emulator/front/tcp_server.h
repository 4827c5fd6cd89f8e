// kelcard's TCP front end: the card's ZUNA service on a loopback IPv4 address.
// Connections are served at the same time, each in a thread of its own with a fresh
// Session that needs a login, all on the one shared CardModel. At most
// kMaxConnections are open at once; one accepted beyond them is closed at once. A
// connection that stays idle for the idle limit is closed (see the constructor).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "card_model.h"
#include "zunahdr.h"

namespace kelcard {

// True for dotted-decimal IPv4 text in 127.0.0.0/8 (e.g. "127.0.31.1").
bool IsLoopbackIPv4(const std::string& address);

class TcpServer {
public:
    // The most connections served at the same time.
    static constexpr std::size_t kMaxConnections = 64;

    // Five minutes: time enough to type the password at kelvast's prompt, which comes
    // after kelvast has connected, and not so long that forgotten clients keep the
    // places of the others.
    static constexpr std::chrono::milliseconds kDefaultIdleLimit = std::chrono::minutes(5);

    // The model must outlive the server. `port` other than 6577 is for tests only.
    // A connection is closed once `idleLimit` passes with no request byte arriving,
    // or with no reply byte taken by a client that does not read its replies.
    TcpServer(CardModel& model, std::string address, uint16_t port = ZUNA_TCP_PORT,
              std::chrono::milliseconds idleLimit = kDefaultIdleLimit);
    ~TcpServer();  // Stop()
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    // The reply to every request of `command` is written only `delay` after the card
    // has answered it (a late card); Stop() ends the wait. Set before Start().
    void AnswerLate(uint16_t command, std::chrono::milliseconds delay) { m_lateReplies[command] = delay; }

    // The replies to `command` are cut in turn: of the Kth reply to it (counted over
    // every connection) only the first `bytes[K]` bytes are written (the whole reply
    // when it is shorter), then the connection is closed, as by a card that goes away
    // in the middle of its answer. Replies after the last one listed go whole. Set
    // before Start().
    void CutReplies(uint16_t command, std::vector<std::size_t> bytes) { m_cutReplies[command] = std::move(bytes); }

    // Binds address:port with SO_REUSEADDR, listens and starts serving in a background
    // thread. Returns false, with a message in *error if given, when the address is not
    // a loopback IPv4 address, the socket cannot be bound, no thread can be started, or
    // the server already runs.
    bool Start(std::string* error = nullptr);

    // Stops promptly, also in the middle of connections: ends every connection's thread
    // and the accepting one, waits for them all and closes the listening socket.
    // Harmless when not started or called twice.
    void Stop();

    // Per connection: requests are found by scanning for the header signature (stray
    // bytes are skipped); a dwDataLen above 66528 ends the connection. Each request
    // goes to the model; its reply is written, after which the connection is closed if
    // the model set Session::closeAfterReply. Session::dropWithoutReply closes it
    // without writing. Either ends that connection alone. Once the card has restarted or
    // changed its network settings, its other connections end at their next request,
    // unanswered (Session::endsWithRestart): the card no longer knows them.

private:
    void Serve();
    void ServeConnection(int fd) const;
    // How many bytes of the reply to `command` (of `length` bytes) to write, and
    // whether the connection is then closed (--cut-reply).
    std::size_t CutLength(uint16_t command, std::size_t length, bool& close) const;

    CardModel& m_model;
    std::string m_address;
    uint16_t m_port;
    std::chrono::milliseconds m_idleLimit;
    std::map<uint16_t, std::chrono::milliseconds> m_lateReplies;
    std::map<uint16_t, std::vector<std::size_t>> m_cutReplies;
    mutable std::mutex m_cutMutex;
    mutable std::map<uint16_t, std::size_t> m_repliesCut;  // replies to each command cut so far
    int m_listenFd = -1;
    int m_wakeRead = -1;   // readable once Stop() has been called
    std::atomic<bool> m_stopping{false};  // set by Stop(), read before every receive
    int m_wakeWrite = -1;
    std::thread m_thread;
};

}  // namespace kelcard
