// The ZUNA header checksum and the login digest.
#include "cksum.h"

#include <cstring>

#include "fmh.h"
#include "login.h"
#include "md5.h"
#include "x9endian.h"
#include "zunahdr.h"

namespace {
constexpr std::size_t kDigestInputLen = 80;
constexpr uint32_t kCrcPolynomial = 0xEDB88320u;

// Tables for eight bytes at a time: table[0] is the byte-at-a-time table, table[k][i]
// the CRC of byte i followed by k zero bytes. The same CRC, eight table look-ups per
// eight bytes instead of eight dependent steps.
struct CrcTables {
    uint32_t t[8][256];
    constexpr CrcTables() : t{}
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kCrcPolynomial : c >> 1;
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
};
constexpr CrcTables kCrc;
constexpr int kDigestLen = 16;
}  // namespace

uint8_t ZunaByteSum(const void* bytes, std::size_t len)
{
    const auto* p = static_cast<const unsigned char*>(bytes);
    uint8_t sum = 0;
    for (std::size_t i = 0; i < len; ++i) sum = static_cast<uint8_t>(sum + p[i]);
    return sum;
}

uint8_t ZunaHeaderChecksum(const void* header)
{
    return static_cast<uint8_t>(0x100 - ZunaByteSum(header, ZUNA_HEADER_LEN));
}

const uint32_t (&CrcLookUpTable)[256] = kCrc.t[0];

uint32_t calc_cksum32(const unsigned char* buf, unsigned long len)
{
    return ExtendCksum32(0, buf, len);
}

uint32_t ExtendCksum32(uint32_t crc, const unsigned char* buf, unsigned long len)
{
    crc = ~crc;
    const auto& t = kCrc.t;
    while (len >= 8) {
        const uint32_t lo = crc ^ GetLe32(buf);
        const uint32_t hi = GetLe32(buf + 4);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        buf += 8;
        len -= 8;
    }
    while (len-- > 0) crc = (crc >> 8) ^ t[0][(crc ^ *buf++) & 0xFF];
    return ~crc;
}

uint8_t calc_header_cksum(const unsigned char* header)
{
    uint32_t sum = 0;
    for (std::size_t i = 0; i < FMH_LEN; ++i)
        if (i != offsetof(fmh, fmh_header_cksum)) sum += header[i];
    return static_cast<uint8_t>(sum % 100);
}

int CalculateMD5Digest(unsigned char* Digest, const unsigned char* Challange, const char* Pass)
{
    unsigned char input[kDigestInputLen];
    std::size_t passLen = std::strlen(Pass);
    if (passLen > kDigestInputLen - ZUNA_CHALLENGE_LEN) passLen = kDigestInputLen - ZUNA_CHALLENGE_LEN;
    std::memcpy(input, Pass, passLen);
    std::memcpy(input + passLen, Challange, ZUNA_CHALLENGE_LEN);

    MD5_CTX ctx;
    MD5Init(&ctx);
    MD5Update(&ctx, input, static_cast<unsigned int>(passLen + ZUNA_CHALLENGE_LEN));
    MD5Final(&ctx);
    std::memcpy(Digest, ctx.digest, kDigestLen);

    explicit_bzero(input, sizeof(input));
    explicit_bzero(&ctx, sizeof(ctx));
    return kDigestLen;
}
