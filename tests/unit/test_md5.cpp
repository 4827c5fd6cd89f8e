// MD5 against the test suite of RFC 1321, and the login digest built on it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "md5.h"
#include "x9zunaifc.h"

namespace {

std::string Hex(const unsigned char* bytes, std::size_t n)
{
    std::string out;
    char two[3];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(two, sizeof(two), "%02x", bytes[i]);
        out += two;
    }
    return out;
}

std::string Md5Hex(const std::string& text, std::size_t chunk = 0)
{
    MD5_CTX ctx;
    MD5Init(&ctx);
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    if (chunk == 0) chunk = text.size() ? text.size() : 1;
    for (std::size_t off = 0; off < text.size(); off += chunk)
        MD5Update(&ctx, p + off, static_cast<unsigned>(std::min(chunk, text.size() - off)));
    MD5Final(&ctx);
    return Hex(ctx.digest, 16);
}

struct Vector {
    const char* input;
    const char* digest;
};

const Vector kRfcVectors[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5, RfcTestSuite)
{
    for (const Vector& v : kRfcVectors) {
        EXPECT_EQ(Md5Hex(v.input), v.digest) << "input \"" << v.input << "\"";
        // Fed in pieces that straddle block boundaries, the digest is the same.
        EXPECT_EQ(Md5Hex(v.input, 7), v.digest) << "input \"" << v.input << "\" in 7-byte pieces";
    }
}

TEST(Md5, PaddingBoundaries)
{
    // 55, 56 and 64 bytes put the length field in the same, the next, and a fresh block.
    EXPECT_EQ(Md5Hex(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(Md5Hex(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(Md5Hex(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
}

TEST(LoginDigest, PasswordFollowedByChallenge)
{
    // MD5 of the password's text and the 8 challenge bytes, worked out apart from this project.
    const unsigned char digits[8] = {'1', '2', '3', '4', '5', '6', '7', '8'};
    const unsigned char binary[8] = {0xFF, 0xFE, 0x80, 0x7F, 0x00, 0x01, 0xA5, 0x5A};
    const struct {
        std::string password;
        const unsigned char* challenge;
        const char* digest;
    } cases[] = {{"secret", digits, "7ee080c6739056454793b9864669d85f"},
                 {"", digits, "25d55ad283aa400af464c76d713c07ad"},  // the challenge alone
                 {std::string(31, 'p'), digits, "04acdf1bb42e20d04aadc402936f540a"},
                 {"admin", binary, "dc4d9d58ae79c32a6e92b951fa857078"}};
    for (const auto& c : cases) {
        unsigned char digest[16];
        EXPECT_EQ(CalculateMD5Digest(digest, c.challenge, c.password.c_str()), 16);
        EXPECT_EQ(Hex(digest, 16), c.digest) << "password \"" << c.password << "\"";
    }
}

}  // namespace

// The CRC of flash blocks and file fragments: the check value, and the fast paths
// (eight-byte tables; carry-less multiplication, its 64- and 16-byte steps and its
// table tail) against the byte-at-a-time definition on every length and alignment up
// to 320 bytes.
TEST(Crc32, MatchesItsDefinition)
{
    EXPECT_EQ(calc_cksum32(reinterpret_cast<const unsigned char*>("123456789"), 9), 0xCBF43926u);
    EXPECT_EQ(calc_cksum32(nullptr, 0), 0u);
    EXPECT_EQ(CrcLookUpTable[1], 0x77073096u);
    EXPECT_EQ(CrcLookUpTable[255], 0x2D02EF8Du);
    unsigned char bytes[328];
    for (unsigned i = 0; i < sizeof(bytes); ++i) bytes[i] = static_cast<unsigned char>(i * 37 + 11);
    for (unsigned start = 0; start < 8; ++start) {
        for (unsigned long len = 0; len + start <= 320; ++len) {
            uint32_t crc = 0xFFFFFFFFu;
            for (unsigned long i = 0; i < len; ++i) {
                crc ^= bytes[start + i];
                for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
            }
            EXPECT_EQ(calc_cksum32(bytes + start, len), ~crc) << start << "+" << len;
        }
    }
}
