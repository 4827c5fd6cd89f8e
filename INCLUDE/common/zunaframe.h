// Finding ZUNA packets in a byte stream, as both ends of a TCP connection read them:
// the client's network medium its replies, the card's TCP front end its requests. The
// framer does no I/O: it is fed the bytes that have arrived and says when a whole
// packet stands in the caller's buffer, or that the packet is refused.
//
// A packet is found by scanning for the eight signature bytes (bytes before them are
// skipped; a byte that breaks a partial match may itself begin the signature). Then
// comes the rest of the header, and then dwDataLen data bytes behind the header. A
// packet whose header and data would not fit the buffer is refused once its header is
// read, before any of its data is taken.
#pragma once

#include <cstddef>

class ZunaStreamFramer {
public:
    // How long a header is.
    enum class HeaderLength {
        kAnnounced,  // bHeaderLen bytes (the reader of replies); below 11 is refused
        kFixed,      // always 32, whatever bHeaderLen says (the card checks it itself)
    };
    enum class State {
        kSignature,  // looking for the signature
        kHeader,     // reading the header behind it
        kData,       // reading the data
        kWhole,      // a whole packet stands in the buffer
        kRefused,    // the header is malformed or announces more than the buffer holds
    };

    explicit ZunaStreamFramer(HeaderLength headerLength) : m_headerLength(headerLength) {}

    // Begins a new packet in `packet`, of `capacity` bytes (at least 32), which must
    // stay valid until the packet is whole or refused. The first 32 bytes are zeroed,
    // so that the fields a short header does not carry read as 0; the signature is
    // looked for anew (a partial match of before is forgotten).
    void Start(unsigned char* packet, std::size_t capacity);

    // Takes bytes that arrived, as many as the packet needs and never past its end or
    // its refusal, and returns how many it took; the rest belong to what follows.
    // Takes nothing once the packet is whole or refused.
    std::size_t Feed(const unsigned char* bytes, std::size_t len);

    State GetState() const { return m_state; }
    bool Done() const { return m_state == State::kWhole || m_state == State::kRefused; }

    // While reading the data: where the missing data bytes go and how many are
    // missing, so that a long stretch can be read straight into the buffer; Advance
    // then counts the bytes that were put there (at most Missing()).
    unsigned char* DataSpace() const { return m_packet + m_filled; }
    std::size_t Missing() const { return m_state == State::kData ? m_packetLen - m_filled : 0; }
    void Advance(std::size_t n);

    // Header length plus data length, once the header has been read.
    std::size_t PacketLength() const { return m_packetLen; }

private:
    void HeaderRead();

    HeaderLength m_headerLength;
    State m_state = State::kSignature;
    unsigned char* m_packet = nullptr;
    std::size_t m_capacity = 0;
    std::size_t m_matched = 0;    // signature bytes matched so far
    std::size_t m_filled = 0;     // bytes of the packet in the buffer
    std::size_t m_headerLen = 0;  // known once bHeaderLen has been read (or fixed)
    std::size_t m_packetLen = 0;  // known once the header has been read
};
