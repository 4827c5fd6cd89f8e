// The TCP network medium: ZUNA packets over a TCP connection to the card.
// Only dotted-decimal IPv4 addresses are accepted; there is no name lookup. Every wait
// is bounded (Waits). Internal operations return ZUNA_E_SUCCESS (0) or
// ZUNA_E_CONNECTION (33).
#pragma once

#include <array>
#include <chrono>
#include <cstddef>

#include "x9zunamedium.h"
#include "zunaframe.h"

// How long the network medium waits for the card.
struct X9NetworkWaits {
    // For the connection to be made, a retry after EADDRINUSE included.
    std::chrono::milliseconds connect{std::chrono::seconds(15)};
    // For a whole reply (signature, header and data) once the request has gone out;
    // also for the card to take a request that does not go out at once.
    std::chrono::milliseconds reply{std::chrono::seconds(60)};
};

class CX9Network_Linux : public CX9ZunaMedium {
public:
    using Waits = X9NetworkWaits;

    // Copies the address text (at most 31 characters; a longer text is kept empty and
    // makes Connect fail) and the port. Nothing touches the network here.
    CX9Network_Linux(const char* IPAddress, int Port, Waits waits = {});
    ~CX9Network_Linux() override;

    // 1 when the request could not be sent or no whole reply came. An exchange whose
    // wait ran out closes the connection (a late reply would answer the next request),
    // and every exchange after it fails at once; any other failure leaves it open.
    int IssueZUNACommand(char* sendBuf, unsigned long* recvLen, char* recvBuf,
                         unsigned long timeout) override;
    // 0 when connected; 33 when the address is not four plain numbers 0-255 (or is the
    // broadcast address), or when the socket or the connection fails or is not made
    // within the connect wait.
    int Connect() override;
    int Disconnect() override;
    // Both the connection wait and the reply wait become `limit`.
    void SetWaitLimit(std::chrono::milliseconds limit) override { m_waits = {limit, limit}; }

protected:
    // Reads one reply packet into pResponseBuffer (ZUNA_MAX_PACKET_LEN bytes) and sets
    // *npBytesRecd to bHeaderLen + dwDataLen. A header length below 11 or a packet that
    // would not fit the buffer is refused (33) without reading the data; so is a reply
    // that has not fully arrived within the reply wait, counted from this call.
    virtual int RecvZUNAPacket(unsigned char* pResponseBuffer, unsigned long* npBytesRecd,
                               unsigned long timeout);
    // Writes dwDataLen + 32 bytes of the request packet, within the reply wait.
    virtual int SendZUNAPacket(unsigned char* CmdBuffer, unsigned long timeout);

    // The reads below give up at m_replyDeadline (set by SendZUNAPacket for the send,
    // then by RecvZUNAPacket for the reply). The header is found and read by the
    // framer that the card's TCP front end uses for requests (zunaframe.h).
    // Consumes the stream up to and including the next header signature (the framer
    // must have been started).
    int WaitForZUNAPacket(unsigned long timeout);
    // Starts the framer on Buffer (ZUNA_MAX_PACKET_LEN bytes) and reads a header into
    // it: signature, bytes 8..10, then bHeaderLen - 11 more bytes. 33 for a header the
    // framer refuses (bHeaderLen below 11, or header and data not fitting the buffer).
    int ReceiveHeader(char* Buffer, unsigned long timeout);
    // Exactly wLen bytes (ReceiveBlocks: a reply's data, the long stretches of it read
    // straight into Buffer). Both take what has arrived ahead first.
    int ReceiveBytes(char* Buffer, unsigned long wLen, unsigned long timeout);
    int ReceiveBlocks(char* Buffer, unsigned long wLen, unsigned long timeout);
    int IssueCommand(int sendLen, unsigned long* recvLen, char* sendBuf, char* recvBuf,
                     unsigned long timeout);
    // Where every byte of a reply comes from: some bytes, at most `room` (at least 1),
    // into `into`, their count in `got`, waited for until m_replyDeadline; 33 when the
    // card has closed the connection, the socket fails or the deadline has passed.
    // The one place the receive path touches the socket, so that tests can feed it a
    // stream of their own in pieces of their choosing.
    virtual int Receive(char* into, unsigned long room, std::size_t& got);

    int m_hSocket;
    char strIPAddress[32];
    int nPort;
    Waits m_waits;
    std::chrono::steady_clock::time_point m_replyDeadline{};

private:
    // Exactly wLen bytes, waited for until m_replyDeadline.
    int ReceiveUntilDeadline(char* Buffer, unsigned long wLen);
    // Up to wLen bytes of m_received, as many as it holds.
    unsigned long TakeReceived(char* Buffer, unsigned long wLen);
    // Refills the empty m_received with what has arrived.
    int FillReceived();
    // Feeds the framer what arrives for as long as it stays in `state`.
    int FeedFramerWhile(ZunaStreamFramer::State state);

    ZunaStreamFramer m_framer{ZunaStreamFramer::HeaderLength::kAnnounced};

    // Bytes the card sent that no read has taken yet: a reply arrives in a few large
    // pieces, and its header is taken from here instead of a read call per byte.
    // Emptied when the connection ends.
    std::array<char, 4096> m_received{};
    std::size_t m_receivedPos = 0;
    std::size_t m_receivedLen = 0;
};
