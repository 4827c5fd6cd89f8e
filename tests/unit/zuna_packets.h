// ZUNA packets for the tests, built here independently of the code under test: the
// header's checksum makes its 32 bytes sum to 0 (mod 256).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zunatest {

using Bytes = std::vector<uint8_t>;

inline constexpr uint8_t kSignature[8] = {0x54, 0x41, 0x56, 0x20, 0x55, 0xAA, 0x5A, 0xA5};

// Recomputes byte 11 so the header sums to 0.
inline void FixChecksum(Bytes& p)
{
    p[11] = 0;
    unsigned sum = 0;
    for (int i = 0; i < 32; ++i) sum += p[i];
    p[11] = static_cast<uint8_t>((0x100 - (sum & 0xFF)) & 0xFF);
}

// A packet: version 0.4, header length 32, `announcedLen` as dwDataLen (default: the
// data's length), command, status and originator, then the data.
inline Bytes MakePacket(uint16_t command, uint16_t status, const Bytes& data, uint8_t originator,
                        uint32_t announcedLen = UINT32_MAX)
{
    const uint32_t len = announcedLen == UINT32_MAX ? static_cast<uint32_t>(data.size()) : announcedLen;
    Bytes p(32 + data.size(), 0);
    std::memcpy(p.data(), kSignature, sizeof(kSignature));
    p[9] = 4;
    p[10] = 32;
    for (int i = 0; i < 4; ++i) p[12 + i] = static_cast<uint8_t>(len >> (8 * i));
    p[20] = static_cast<uint8_t>(command);
    p[21] = static_cast<uint8_t>(command >> 8);
    p[22] = static_cast<uint8_t>(status);
    p[23] = static_cast<uint8_t>(status >> 8);
    p[26] = originator;
    FixChecksum(p);
    std::copy(data.begin(), data.end(), p.begin() + 32);
    return p;
}

// Gives a reply of at least a header the command code of `request`, keeping the sum
// of its header bytes as it was (a right checksum stays right, a wrong one wrong): a
// card answers with the code it was asked.
inline void EchoCommand(const uint8_t* request, Bytes& reply)
{
    if (reply.size() < 32) return;
    const unsigned oldSum = reply[20] + reply[21];
    reply[20] = request[20];
    reply[21] = request[21];
    reply[11] = static_cast<uint8_t>(reply[11] + oldSum - reply[20] - reply[21]);
}

// A request as the tool sends it (originator 1, status 0).
inline Bytes MakeRequest(uint16_t command, const Bytes& data = {}, uint32_t announcedLen = UINT32_MAX)
{
    return MakePacket(command, 0, data, 1, announcedLen);
}

}  // namespace zunatest
