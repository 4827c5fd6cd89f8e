// The checks of the ZUNA protocol that the client and the card compute alike: the
// header checksum and the login digest.
#pragma once

#include <cstddef>
#include <cstdint>

// The sum of `len` bytes modulo 256. A ZUNA header is intact when its 32 bytes sum to 0.
uint8_t ZunaByteSum(const void* bytes, std::size_t len);

// The checksum byte (bChecksum) that makes a 32-byte header sum to 0 modulo 256, for a
// header whose checksum byte is still 0.
uint8_t ZunaHeaderChecksum(const void* header);

// MD5 over the password text (without its NUL) followed by the 8 challenge bytes, as
// the login sends it. Texts of more than 72 characters are cut to 72. Writes 16 bytes
// to Digest and returns 16. The digest input buffer is wiped before returning.
int CalculateMD5Digest(unsigned char* Digest, const unsigned char* Challange, const char* Pass);
