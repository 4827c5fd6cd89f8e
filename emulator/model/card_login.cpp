// Login commands (group 0x00): the challenge and the check of the MD5 digest.
#include <cstring>

#include "card_state.h"
#include "cksum.h"
#include "login.h"
#include "zunacmds.h"
#include "zunahdr.h"

namespace kelcard::detail {
namespace {

// The digest the client sends: MD5 over the password text followed by the challenge.
std::array<uint8_t, 16> LoginDigest(const std::string& password, const std::array<uint8_t, ZUNA_CHALLENGE_LEN>& challenge)
{
    std::array<uint8_t, 16> digest{};
    CalculateMD5Digest(digest.data(), challenge.data(), password.c_str());
    return digest;
}

bool SameDigest(const std::array<uint8_t, 16>& expected, const char* received)
{
    uint8_t difference = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        difference |= static_cast<uint8_t>(expected[i] ^ static_cast<uint8_t>(received[i]));
    }
    return difference == 0;
}

// 0x0001: a fresh 8-byte challenge, remembered by the session for one login.
void GetChallenge(CardState& card, Session& session, std::span<const uint8_t>, Reply& reply)
{
    std::uniform_int_distribution<unsigned> byte(0, 255);
    for (auto& b : session.challenge) b = static_cast<uint8_t>(byte(card.random));
    session.haveChallenge = true;
    reply.data.assign(session.challenge.begin(), session.challenge.end());
}

// 0x0002: CONN_LOGIN_DATA with the user name and MD5(password + challenge). The
// session's login is the outcome of its latest attempt; the challenge is used up,
// also by a request of the wrong length (answered 28).
void Login(CardState& card, Session& session, std::span<const uint8_t> request, Reply& reply)
{
    const bool hadChallenge = session.haveChallenge;
    session.haveChallenge = false;
    session.loggedIn = false;
    if (request.size() != sizeof(CONN_LOGIN_DATA)) {
        reply.status = ZUNA_E_INVALID;
        return;
    }
    const auto login = ReadRecord<CONN_LOGIN_DATA>(request);
    reply.status = ZUNA_E_AUTH;
    if (!hadChallenge) return;
    const std::string user = TextOfField(login.username, sizeof(login.username));
    if (user.size() == sizeof(login.username)) return;  // no terminator in the field
    for (const Account& account : card.running.accounts) {
        if (account.user != user) continue;
        if (SameDigest(LoginDigest(account.password, session.challenge), login.password)) {
            session.loggedIn = true;
            session.user = user;
            reply.status = ZUNA_E_SUCCESS;
        }
        return;
    }
}

}  // namespace

void AddLoginCommands(CommandTable& table)
{
    table[ZUNACMD_GET_CHALLENGE] = {GetChallenge, 0, false};
    table[ZUNACMD_LOGIN] = {Login, std::nullopt, false};
}

}  // namespace kelcard::detail
