// The ZUNA header checksum and the login digest.
#include "cksum.h"

#include <cstring>

#include "login.h"
#include "md5.h"
#include "zunahdr.h"

namespace {
constexpr std::size_t kDigestInputLen = 80;
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
