// Login: challenge (0x0001) and response (0x0002).
#include <cstring>

#include "zunacmds.h"
#include "md5.h"
#include "x9zunaifc.h"

namespace {
constexpr std::size_t kDigestInputLen = 80;
constexpr int kDigestLen = 16;

// Length of a text within a field, or -1 when it has no terminator there.
int FieldTextLen(const char* text, std::size_t field)
{
    const void* end = std::memchr(text, '\0', field);
    return end ? static_cast<int>(static_cast<const char*>(end) - text) : -1;
}
}  // namespace

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

int CX9ZunaIfc::GetChallenge(unsigned char* challenge)
{
    unsigned char reply[sizeof(CONN_LOGIN_DATA)] = {};
    uint32_t recvLen = 0;
    const ZUNA_ERROR status = SendZunaCommand(ZUNACMD_GET_CHALLENGE, reply, 0, &recvLen, 0, sizeof(reply));
    if (status == ZUNA_E_SUCCESS) {
        // A challenge shorter than 8 bytes is no challenge.
        if (recvLen < ZUNA_CHALLENGE_LEN) return ZUNA_E_CONNECTION;
        std::memcpy(challenge, reply, ZUNA_CHALLENGE_LEN);
    }
    return status;
}

int CX9ZunaIfc::ZunaLogin(CONN_LOGIN_DATA* pData)
{
    return ZunaLogin(pData->username, pData->password);
}

int CX9ZunaIfc::ZunaLogin(const char* username, const char* password)
{
    CONN_LOGIN_DATA login;
    std::memset(&login, 0, sizeof(login));

    // The fields hold at most 31 characters and a terminator: a longer text is
    // refused rather than cut, so the card is never asked about another account.
    const int userLen = FieldTextLen(username, ZUNA_LOGIN_FIELD_LEN);
    const int passLen = FieldTextLen(password, ZUNA_LOGIN_FIELD_LEN);
    if (userLen < 0 || passLen < 0) return ZUNA_E_ARG;
    std::memcpy(login.username, username, static_cast<std::size_t>(userLen));
    std::memcpy(login.password, password, static_cast<std::size_t>(passLen));

    unsigned char challenge[ZUNA_CHALLENGE_LEN];
    if (GetChallenge(challenge) != ZUNA_E_SUCCESS) {
        explicit_bzero(&login, sizeof(login));
        return ZUNA_E_AUTH;
    }

    unsigned char digest[kDigestLen];
    CalculateMD5Digest(digest, challenge, login.password);
    std::memset(login.password, 0, sizeof(login.password));
    std::memcpy(login.password, digest, sizeof(digest));
    std::memcpy(login.challenge, challenge, sizeof(challenge));
    explicit_bzero(digest, sizeof(digest));

    uint32_t recvLen = 0;
    const ZUNA_ERROR status = SendZunaCommand(ZUNACMD_LOGIN, &login, sizeof(login), &recvLen, 0, sizeof(login));
    explicit_bzero(&login, sizeof(login));
    return status;
}
