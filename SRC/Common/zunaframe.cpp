// Finding ZUNA packets in a byte stream.
#include "zunaframe.h"

#include <algorithm>
#include <cstring>

#include "x9endian.h"
#include "zunahdr.h"

namespace {
// Signature, version and bHeaderLen: what is read before the header's length is known.
constexpr std::size_t kLengthKnownAt = offsetof(ZUNA_HEADER, bHeaderLen) + 1;

// The signature's first byte stands nowhere else in it, so a byte that breaks a
// partial match can only begin a new match as that first byte.
constexpr bool FirstSignatureByteIsUnique()
{
    for (std::size_t i = 1; i < ZUNA_SIGNATURE_LEN; ++i)
        if (ZUNA_SIGNATURE[i] == ZUNA_SIGNATURE[0]) return false;
    return true;
}
static_assert(FirstSignatureByteIsUnique());
}  // namespace

void ZunaStreamFramer::Start(unsigned char* packet, std::size_t capacity)
{
    m_packet = packet;
    m_capacity = capacity;
    std::memset(packet, 0, std::min(capacity, ZUNA_HEADER_LEN));
    m_state = State::kSignature;
    m_matched = 0;
    m_filled = 0;
    m_headerLen = m_headerLength == HeaderLength::kFixed ? ZUNA_HEADER_LEN : 0;
    m_packetLen = 0;
    if (capacity < ZUNA_HEADER_LEN) m_state = State::kRefused;
}

std::size_t ZunaStreamFramer::Feed(const unsigned char* bytes, std::size_t len)
{
    std::size_t taken = 0;
    while (taken < len && !Done()) {
        if (m_state == State::kSignature) {
            const unsigned char byte = bytes[taken++];
            if (byte == ZUNA_SIGNATURE[m_matched])
                ++m_matched;
            else
                m_matched = byte == ZUNA_SIGNATURE[0] ? 1 : 0;
            if (m_matched == ZUNA_SIGNATURE_LEN) {
                std::memcpy(m_packet, ZUNA_SIGNATURE, ZUNA_SIGNATURE_LEN);
                m_filled = ZUNA_SIGNATURE_LEN;
                m_state = State::kHeader;
            }
            continue;
        }
        // The header up to its length byte, then (once that is known) the rest of it;
        // or the data.
        const std::size_t end = m_state == State::kData ? m_packetLen : m_headerLen != 0 ? m_headerLen : kLengthKnownAt;
        const std::size_t n = std::min(end - m_filled, len - taken);
        std::memcpy(m_packet + m_filled, bytes + taken, n);
        m_filled += n;
        taken += n;
        if (m_filled < end) continue;
        if (m_state == State::kData) {
            m_state = State::kWhole;
            continue;
        }
        if (m_headerLen == 0) {
            m_headerLen = m_packet[offsetof(ZUNA_HEADER, bHeaderLen)];
            if (m_headerLen < kLengthKnownAt || m_headerLen > m_capacity) {
                m_state = State::kRefused;
                continue;
            }
        }
        if (m_filled == m_headerLen) HeaderRead();
    }
    return taken;
}

void ZunaStreamFramer::HeaderRead()
{
    const std::size_t dataLen = GetLe32(m_packet + offsetof(ZUNA_HEADER, dwDataLen));
    if (dataLen > m_capacity - m_headerLen) {
        m_state = State::kRefused;
        return;
    }
    m_packetLen = m_headerLen + dataLen;
    m_state = dataLen == 0 ? State::kWhole : State::kData;
}

void ZunaStreamFramer::Advance(std::size_t n)
{
    m_filled += std::min(n, Missing());
    if (m_state == State::kData && m_filled == m_packetLen) m_state = State::kWhole;
}
