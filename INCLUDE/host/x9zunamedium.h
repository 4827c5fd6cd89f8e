// The abstract transport between the client and the card.
//
// Exchange contract of IssueZUNACommand:
//  - sendBuf holds one request packet: a 32-byte ZUNA header and dwDataLen data bytes;
//    exactly dwDataLen + 32 bytes are transmitted (the length comes from the header).
//  - recvBuf is the caller's reply buffer of ZUNA_MAX_PACKET_LEN (66,560) bytes; the
//    medium places the whole reply packet in it, header at offset 0. A reply that would
//    not fit is refused, never written past the buffer.
//  - *recvLen receives the number of reply bytes placed in recvBuf. The host-interface
//    medium also reads it on entry (the reply length the caller expects).
//  - timeout: ignored by the network medium, which gives up on a reply 60 s after the
//    request went out; the host interface counts status polls with it (0 = no count
//    limit) and gives up after 60 s of polling either way.
//  - Result: 0 when a complete reply packet is in recvBuf; otherwise nonzero (1 for
//    every failure, 24 when the host interface timed out).
// Connect returns 0 on success, nonzero otherwise; Disconnect always returns 0 and is
// harmless when nothing is connected.
//
// SetWaitLimit replaces the medium's fixed waits (the connection, each reply, the host
// interface's busy poll) with one limit; SetTrace hands the medium a sink for what it
// does below the packets (the host interface: each SCSI call's result). Both are
// optional: a medium without them ignores them.
#pragma once

#include <chrono>
#include <functional>
#include <string>

class CX9ZunaMedium {
public:
    CX9ZunaMedium() = default;
    CX9ZunaMedium(const CX9ZunaMedium&) = delete;
    CX9ZunaMedium& operator=(const CX9ZunaMedium&) = delete;
    virtual ~CX9ZunaMedium() = default;

    virtual int IssueZUNACommand(char* sendBuf, unsigned long* recvLen, char* recvBuf,
                                 unsigned long timeout) = 0;
    virtual int Connect() = 0;
    virtual int Disconnect() = 0;

    using TraceSink = std::function<void(const std::string&)>;
    virtual void SetWaitLimit(std::chrono::milliseconds) {}
    // By value: a medium that keeps the sink moves it.
    virtual void SetTrace(TraceSink) {}  // NOLINT(performance-unnecessary-value-param)
};
