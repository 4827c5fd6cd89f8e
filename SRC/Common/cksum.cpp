// The ZUNA header checksum and the login digest.
#include "cksum.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

namespace {

// The CRC register (not complemented) carried over `len` bytes, eight at a step.
uint32_t CrcBySlices(uint32_t crc, const unsigned char* buf, unsigned long len)
{
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
    return crc;
}

#if defined(__x86_64__)
// The same register carried by carry-less multiplication: four 128-bit lanes folded
// 64 bytes at a step, then into one lane, then reduced to 32 bits (Barrett). The
// constants are powers of x modulo the polynomial in the reflected bit order:
// x^(512+32), x^(512-32) for the four-lane fold, x^(128+32), x^(128-32) for the
// one-lane fold, x^64 for the last 32 bits, and floor(x^64 / P) with P itself for the
// reduction. Bytes past the last whole 16 go through the tables.
constexpr std::size_t kClmulMinLen = 64;

#define KELVAST_CLMUL __attribute__((target("pclmul,sse4.1")))

KELVAST_CLMUL inline __m128i load(const unsigned char* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x moved 128 (or 512) bits on by k, added to the next 16 bytes.
KELVAST_CLMUL inline __m128i fold(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

KELVAST_CLMUL uint32_t CrcByClmul(uint32_t crc, const unsigned char* buf, unsigned long len)
{
    const __m128i k4Lanes = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
    const __m128i k1Lane = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    const __m128i kLast32 = _mm_set_epi64x(0, 0x163cd6124);
    const __m128i kBarrett = _mm_set_epi64x(0x1f7011641, 0x1db710641);
    const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);

    __m128i x0 = _mm_xor_si128(load(buf), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = load(buf + 16), x2 = load(buf + 32), x3 = load(buf + 48);
    buf += 64;
    len -= 64;
    for (; len >= 64; buf += 64, len -= 64) {
        x0 = fold(x0, k4Lanes, load(buf));
        x1 = fold(x1, k4Lanes, load(buf + 16));
        x2 = fold(x2, k4Lanes, load(buf + 32));
        x3 = fold(x3, k4Lanes, load(buf + 48));
    }
    __m128i x = fold(fold(fold(x0, k1Lane, x1), k1Lane, x2), k1Lane, x3);
    for (; len >= 16; buf += 16, len -= 16) x = fold(x, k1Lane, load(buf));

    x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(x, k1Lane, 0x10));
    x = _mm_xor_si128(_mm_srli_si128(x, 4), _mm_clmulepi64_si128(_mm_and_si128(x, mask32), kLast32, 0x00));
    __m128i t = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x, mask32), kBarrett, 0x10), mask32);
    x = _mm_xor_si128(x, _mm_clmulepi64_si128(t, kBarrett, 0x00));
    crc = static_cast<uint32_t>(_mm_extract_epi32(x, 1));
    return CrcBySlices(crc, buf, len);
}

const bool kHaveClmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
#else
constexpr bool kHaveClmul = false;
#endif

}  // namespace

const char* Cksum32Method()
{
    return kHaveClmul ? "carry-less multiplication" : "slice-by-8 tables";
}

uint32_t calc_cksum32(const unsigned char* buf, unsigned long len)
{
    return ExtendCksum32(0, buf, len);
}

uint32_t ExtendCksum32(uint32_t crc, const unsigned char* buf, unsigned long len)
{
#if defined(__x86_64__)
    if (kHaveClmul && len >= kClmulMinLen) return ~CrcByClmul(~crc, buf, len);
#endif
    return ~CrcBySlices(~crc, buf, len);
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
    // The digest's input is bytes (the password's, then the challenge), not a string.
    std::memcpy(input, Pass, passLen);  // NOLINT(bugprone-not-null-terminated-result)
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
