// MD5 message digest (RFC 1321), used by the login only.
#pragma once

#include <cstdint>

struct MD5_CTX {
    uint32_t i[2];        // number of message bits so far, mod 2^64, low word first
    uint32_t buf[4];      // chaining state
    unsigned char in[64]; // partial input block
    unsigned char digest[16];
};
static_assert(sizeof(MD5_CTX) == 104);

void MD5Init(MD5_CTX* mdContext);
void MD5Update(MD5_CTX* mdContext, const unsigned char* inBuf, unsigned int inLen);
void MD5Final(MD5_CTX* mdContext);
