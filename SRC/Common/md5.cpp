// MD5 message digest as RFC 1321 defines it.
#include "md5.h"

#include <cstring>

#include "x9endian.h"

namespace {

const unsigned char PADDING[64] = {0x80};

inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & z) | (y & ~z); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }
inline uint32_t RotateLeft(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

// Per-step shift amounts and sine-derived constants, in step order.
const unsigned kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
const uint32_t kT[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

// The block function: four rounds of sixteen steps over sixteen input words.
void Transform(uint32_t* buf, const uint32_t* in)
{
    uint32_t a = buf[0], b = buf[1], c = buf[2], d = buf[3];
    for (unsigned step = 0; step < 64; ++step) {
        const unsigned round = step / 16;
        uint32_t f;
        unsigned k;
        switch (round) {
        case 0: f = F(b, c, d); k = step; break;
        case 1: f = G(b, c, d); k = (5 * step + 1) % 16; break;
        case 2: f = H(b, c, d); k = (3 * step + 5) % 16; break;
        default: f = I(b, c, d); k = (7 * step) % 16; break;
        }
        const uint32_t next = b + RotateLeft(a + f + in[k] + kT[step], kShift[round][step % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    buf[0] += a;
    buf[1] += b;
    buf[2] += c;
    buf[3] += d;
}

// Input bytes are little-endian words.
void BlockWords(const unsigned char* block, uint32_t* words)
{
    for (unsigned w = 0; w < 16; ++w) {
        words[w] = GetLe32(block + std::size_t{4} * w);
    }
}

}  // namespace

void MD5Init(MD5_CTX* mdContext)
{
    std::memset(mdContext, 0, sizeof(*mdContext));
    mdContext->buf[0] = 0x67452301;
    mdContext->buf[1] = 0xefcdab89;
    mdContext->buf[2] = 0x98badcfe;
    mdContext->buf[3] = 0x10325476;
}

void MD5Update(MD5_CTX* mdContext, const unsigned char* inBuf, unsigned int inLen)
{
    unsigned mdi = (mdContext->i[0] >> 3) & 0x3F;  // bytes already in the partial block

    const uint32_t bits = static_cast<uint32_t>(inLen) << 3;
    if (mdContext->i[0] + bits < mdContext->i[0]) mdContext->i[1]++;
    mdContext->i[0] += bits;
    mdContext->i[1] += static_cast<uint32_t>(inLen) >> 29;

    uint32_t words[16];
    while (inLen-- > 0) {
        mdContext->in[mdi++] = *inBuf++;
        if (mdi == 64) {
            BlockWords(mdContext->in, words);
            Transform(mdContext->buf, words);
            mdi = 0;
        }
    }
    // The block's words are the input's bytes (a password, for the login's digest).
    explicit_bzero(words, sizeof(words));
}

void MD5Final(MD5_CTX* mdContext)
{
    // Save the length before padding changes it.
    unsigned char lengthBytes[8];
    for (unsigned b = 0; b < 4; ++b) {
        lengthBytes[b] = static_cast<unsigned char>(mdContext->i[0] >> (8 * b));
        lengthBytes[4 + b] = static_cast<unsigned char>(mdContext->i[1] >> (8 * b));
    }
    const unsigned mdi = (mdContext->i[0] >> 3) & 0x3F;
    const unsigned padLen = (mdi < 56) ? (56 - mdi) : (120 - mdi);
    MD5Update(mdContext, PADDING, padLen);
    MD5Update(mdContext, lengthBytes, 8);

    for (unsigned w = 0; w < 4; ++w)
        for (unsigned b = 0; b < 4; ++b)
            mdContext->digest[4 * w + b] = static_cast<unsigned char>(mdContext->buf[w] >> (8 * b));
}
