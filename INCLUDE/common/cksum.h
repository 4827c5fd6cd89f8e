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

// The standard reflected CRC-32 of IEEE 802.3 (polynomial 0xEDB88320, start
// 0xFFFFFFFF, result complemented) of `len` bytes: the checksum of every flash block and
// file fragment. "123456789" gives 0xCBF43926.
uint32_t calc_cksum32(const unsigned char* buf, unsigned long len);

// How calc_cksum32 runs on this processor, for the benchmark: "slice-by-8 tables" or
// the faster way it found.
const char* Cksum32Method();

// The same CRC carried on over `len` more bytes: `crc` is the CRC of the bytes before
// (0 for none), the result that of all of them. Pieces give the CRC of the whole.
uint32_t ExtendCksum32(uint32_t crc, const unsigned char* buf, unsigned long len);

// The checksum of a 48-byte module header (fmh): its bytes other than byte 45 (the
// checksum itself) added as unsigned values, modulo 100.
uint8_t calc_header_cksum(const unsigned char* header);

// The byte-at-a-time table of that CRC: entry i is i shifted right eight times, each
// time XORed with 0xEDB88320 when the bit shifted out was 1.
extern const uint32_t (&CrcLookUpTable)[256];

// MD5 over the password text (without its NUL) followed by the 8 challenge bytes, as
// the login sends it. Texts of more than 72 characters are cut to 72. Writes 16 bytes
// to Digest and returns 16. The digest input buffer is wiped before returning.
int CalculateMD5Digest(unsigned char* Digest, const unsigned char* Challange, const char* Pass);
