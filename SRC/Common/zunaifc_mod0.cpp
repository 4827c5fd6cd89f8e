// Login: challenge (0x0001) and response (0x0002).
#include <cstring>

#include "cksum.h"
#include "fieldtext.h"
#include "zunacmds.h"
#include "x9zunaifc.h"

namespace {
constexpr int kDigestLen = 16;
}  // namespace

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
    const int userLen = TerminatedTextLength(username, ZUNA_LOGIN_FIELD_LEN);
    const int passLen = TerminatedTextLength(password, ZUNA_LOGIN_FIELD_LEN);
    if (userLen < 0 || passLen < 0) return ZUNA_E_ARG;
    std::memcpy(login.username, username, static_cast<std::size_t>(userLen));
    std::memcpy(login.password, password, static_cast<std::size_t>(passLen));

    unsigned char challenge[ZUNA_CHALLENGE_LEN];
    if (const int got = GetChallenge(challenge); got != ZUNA_E_SUCCESS) {
        explicit_bzero(&login, sizeof(login));
        return got == ZUNA_E_CONNECTION ? ZUNA_E_CONNECTION : ZUNA_E_AUTH;
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
