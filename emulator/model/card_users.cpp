// User commands (0x0500 to 0x0507): the accounts that the login checks, and the SNMP
// users. Both lists are configuration (saved by 0x0900, brought back by 0x0901) and
// keep the order in which the names were added. The card's rules:
//  - a name or password that fills its 32-byte field without a NUL, or an empty
//    name: 28 (ZUNA_E_INVALID); so are SNMP protocol words other than "MD5" or "SHA"
//    and "DES" or "NONE" (case matters);
//  - a name the list already holds (names compare exactly): 15 (ZUNA_E_EXIST);
//  - a list already holding kMaxAccounts (kMaxSnmpUsers) names: 18 (ZUNA_E_SPACE);
//  - removing a name the card does not hold: 16 (ZUNA_E_NOEXIST);
//  - removing the account that this connection logged in with, or the card's last
//    account, which would lock everyone out: 5 (ZUNA_E_PERM).
// Names and passwords are otherwise the sender's business (the tool checks them).
#include <algorithm>

#include "card_state.h"
#include "users.h"
#include "zunacmds.h"
#include "zunahdr.h"

namespace kelcard::detail {
namespace {

// The text of a field that holds its NUL; nothing when it does not.
template <std::size_t N>
std::optional<std::string> FieldText(const char (&field)[N])
{
    const int len = TerminatedTextLength(field, N);
    if (len < 0) return std::nullopt;
    return std::string(field, static_cast<std::size_t>(len));
}

// 0 when a name may join a list of at most `limit` entries, else the status that
// refuses it; `nameField` is the entries' name.
template <typename Entry>
uint16_t AdmitName(const std::vector<Entry>& list, const std::optional<std::string>& name, std::size_t limit,
                   std::string Entry::*nameField)
{
    if (!name || name->empty()) return ZUNA_E_INVALID;
    if (std::any_of(list.begin(), list.end(), [&](const Entry& entry) { return entry.*nameField == *name; }))
        return ZUNA_E_EXIST;
    if (list.size() >= limit) return ZUNA_E_SPACE;
    return ZUNA_E_SUCCESS;
}

// `count` entries laid out column by column; textOf(i, c) is entry i's text in column c
// (it fits its column with a NUL to spare).
template <std::size_t N, typename TextOf>
void SetColumnList(Reply& reply, const std::array<std::size_t, N>& columns, std::size_t count, TextOf textOf)
{
    reply.data.assign(count * ListEntryLen(columns), 0);
    for (std::size_t i = 0; i < count; ++i) {
        for (std::size_t c = 0; c < N; ++c) {
            const std::string& text = textOf(i, c);
            std::copy_n(text.begin(), std::min(text.size(), columns[c] - 1),
                        reply.data.begin() + static_cast<std::ptrdiff_t>(ListFieldOffset(columns, count, c, i)));
        }
    }
}

void AddNewUser(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    const auto in = ReadRecord<ZUNA_API_USER_REC>(request);
    const auto name = FieldText(in.username);
    const auto password = FieldText(in.password);
    std::vector<Account>& accounts = card.running.accounts;
    reply.status = password ? AdmitName(accounts, name, kMaxAccounts, &Account::user) : uint16_t{ZUNA_E_INVALID};
    if (reply.status == ZUNA_E_SUCCESS) accounts.push_back({*name, *password});
}

void RemoveUser(CardState& card, Session& session, std::span<const uint8_t> request, Reply& reply)
{
    const auto in = ReadRecord<ZUNA_API_USER_REC>(request);
    const auto name = FieldText(in.username);
    std::vector<Account>& accounts = card.running.accounts;
    const auto found = std::find_if(accounts.begin(), accounts.end(),
                                    [&](const Account& account) { return name && account.user == *name; });
    if (!name) {
        reply.status = ZUNA_E_INVALID;
    } else if (found == accounts.end()) {
        reply.status = ZUNA_E_NOEXIST;
    } else if ((session.loggedIn && session.user == *name) || accounts.size() == 1) {
        reply.status = ZUNA_E_PERM;
    } else {
        accounts.erase(found);
    }
}

void GetAllUsernamePassword(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    const std::vector<Account>& accounts = card.running.accounts;
    SetColumnList(reply, USER_LIST_COLUMNS, accounts.size(), [&](std::size_t i, std::size_t c) -> const std::string& {
        return c == 0 ? accounts[i].user : accounts[i].password;
    });
}

void GetAllUsernames(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    const std::vector<Account>& accounts = card.running.accounts;
    SetColumnList(reply, USER_NAME_LIST_COLUMNS, accounts.size(),
                  [&](std::size_t i, std::size_t) -> const std::string& { return accounts[i].user; });
}

bool OneOf(const std::optional<std::string>& word, const char* a, const char* b)
{
    return word && (*word == a || *word == b);
}

void AddSnmpUser(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    const auto in = ReadRecord<ZUNA_API_SNMP_USER_REC>(request);
    const auto name = FieldText(in.name);
    const auto password = FieldText(in.pass);
    const auto auth = FieldText(in.authPro);
    const auto priv = FieldText(in.privPro);
    std::vector<SnmpUser>& users = card.running.snmpUsers;
    const bool wordsValid = password && OneOf(auth, "MD5", "SHA") && OneOf(priv, "DES", "NONE");
    reply.status = wordsValid ? AdmitName(users, name, kMaxSnmpUsers, &SnmpUser::name) : uint16_t{ZUNA_E_INVALID};
    if (reply.status == ZUNA_E_SUCCESS) users.push_back({*name, *password, *auth, *priv});
}

void GetAllSnmpUserInfo(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    const std::vector<SnmpUser>& users = card.running.snmpUsers;
    SetColumnList(reply, SNMP_USER_LIST_COLUMNS, users.size(), [&](std::size_t i, std::size_t c) -> const std::string& {
        const std::string* texts[] = {&users[i].name, &users[i].password, &users[i].auth, &users[i].priv};
        return *texts[c];
    });
}

}  // namespace

void AddUserCommands(CommandTable& table)
{
    table[ZUNACMD_ADD_NEW_USER] = {AddNewUser, sizeof(ZUNA_API_USER_REC)};
    table[ZUNACMD_REMOVE_USER] = {RemoveUser, sizeof(ZUNA_API_USER_REC)};
    table[ZUNACMD_GET_ALL_USERNAME_PASSWORD] = {GetAllUsernamePassword, 0};
    table[ZUNACMD_GET_ALL_USERNAMES] = {GetAllUsernames, 0};
    table[ZUNACMD_ADD_SNMP_USER] = {AddSnmpUser, sizeof(ZUNA_API_SNMP_USER_REC)};
    table[ZUNACMD_GET_ALL_SNMP_USER_INFO] = {GetAllSnmpUserInfo, 0};
}

}  // namespace kelcard::detail
