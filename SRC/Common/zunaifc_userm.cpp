// User and SNMP-user operations (command codes 0x0500 to 0x0507) and the decoders of
// their column lists.
#include <algorithm>
#include <cstring>
#include <vector>

#include "fieldtext.h"
#include "zunacmds.h"
#include "x9zunaifc.h"

namespace {

// A list reply read column by column. `entries` is how many whole entries the reply
// holds (where each column starts); `shown` how many of them fit the caller's table.
template <std::size_t N>
class ListReply {
public:
    ListReply(const std::array<std::size_t, N>& columns, const unsigned char* data, uint32_t len, int tableSize)
        : m_columns(columns),
          m_data(reinterpret_cast<const char*>(data)),
          m_entries(data == nullptr ? 0 : len / ListEntryLen(columns)),
          m_shown(tableSize <= 0 ? 0 : std::min<std::size_t>(m_entries, static_cast<std::size_t>(tableSize)))
    {
    }
    int Shown() const { return static_cast<int>(m_shown); }
    // Copies field `column` of entry `index` into dst (its NUL always within dst).
    template <std::size_t Size>
    void Copy(char (&dst)[Size], std::size_t column, std::size_t index) const
    {
        CopyTextField(dst, Size, m_data + ListFieldOffset(m_columns, m_entries, column, index), m_columns[column]);
    }

private:
    const std::array<std::size_t, N>& m_columns;
    const char* m_data;
    std::size_t m_entries;
    std::size_t m_shown;
};

// Column numbers of the lists.
constexpr std::size_t kName = 0, kPassword = 1, kAuth = 2, kPriv = 3;

// Hands each entry that fits the table to fill(list, i); returns how many there were.
template <std::size_t N, typename Fill>
int UnpackList(const std::array<std::size_t, N>& columns, const unsigned char* data, uint32_t len, int tableSize,
               Fill fill)
{
    const ListReply list(columns, data, len, tableSize);
    for (int i = 0; i < list.Shown(); ++i) fill(list, static_cast<std::size_t>(i));
    return list.Shown();
}

}  // namespace

int UnpackUserNames(const unsigned char* data, uint32_t len, char (*names)[USER_TEXT_LEN], int tableSize)
{
    return UnpackList(USER_NAME_LIST_COLUMNS, data, len, tableSize,
                      [names](const auto& list, std::size_t i) { list.Copy(names[i], kName, i); });
}

int UnpackUserList(const unsigned char* data, uint32_t len, ZUNA_API_USER_REC* users, int tableSize)
{
    return UnpackList(USER_LIST_COLUMNS, data, len, tableSize, [users](const auto& list, std::size_t i) {
        list.Copy(users[i].username, kName, i);
        list.Copy(users[i].password, kPassword, i);
    });
}

int UnpackSnmpUserList(const unsigned char* data, uint32_t len, ZUNA_API_SNMP_USER_REC* users, int tableSize)
{
    return UnpackList(SNMP_USER_LIST_COLUMNS, data, len, tableSize, [users](const auto& list, std::size_t i) {
        list.Copy(users[i].name, kName, i);
        list.Copy(users[i].pass, kPassword, i);
        list.Copy(users[i].authPro, kAuth, i);
        list.Copy(users[i].privPro, kPriv, i);
    });
}

ZUNA_ERROR CX9ZunaIfc::QueryList(uint16_t cmdNum, const ListDecoder& decode, int* count)
{
    std::vector<unsigned char> list;
    const ZUNA_ERROR status = Exchange(cmdNum, nullptr, 0, USER_LIST_MAX_LEN, list);
    *count = status == ZUNA_E_SUCCESS && !list.empty() ? decode(list.data(), static_cast<uint32_t>(list.size()))
                                                       : decode(nullptr, 0);
    return status;
}

ZUNA_ERROR CX9ZunaIfc::AddNewUser(ZUNA_API_USER_REC* user)
{
    return SendRecord(ZUNACMD_ADD_NEW_USER, user, sizeof(*user));
}

ZUNA_ERROR CX9ZunaIfc::AddNewUser(const char* username, const char* password)
{
    ZUNA_API_USER_REC rec;
    std::memset(&rec, 0, sizeof(rec));
    if (!PutTextField(rec.username, username) || !PutTextField(rec.password, password)) return ZUNA_E_INVALID;
    return AddNewUser(&rec);
}

ZUNA_ERROR CX9ZunaIfc::RemoveUser(ZUNA_API_USER_REC* user)
{
    return SendRecord(ZUNACMD_REMOVE_USER, user, sizeof(*user));
}

ZUNA_ERROR CX9ZunaIfc::AddSNMPUser(ZUNA_API_SNMP_USER_REC* user)
{
    return SendRecord(ZUNACMD_ADD_SNMP_USER, user, sizeof(*user));
}

ZUNA_ERROR CX9ZunaIfc::GetAllUsernames(char (*names)[USER_TEXT_LEN], int tableSize, int* count)
{
    return QueryList(
        ZUNACMD_GET_ALL_USERNAMES,
        [&](const unsigned char* data, uint32_t len) { return UnpackUserNames(data, len, names, tableSize); }, count);
}

ZUNA_ERROR CX9ZunaIfc::GetAllUsernamePassword(ZUNA_API_USER_REC* users, int tableSize, int* count)
{
    return QueryList(
        ZUNACMD_GET_ALL_USERNAME_PASSWORD,
        [&](const unsigned char* data, uint32_t len) { return UnpackUserList(data, len, users, tableSize); }, count);
}

ZUNA_ERROR CX9ZunaIfc::GetAllSNMPUserInfo(ZUNA_API_SNMP_USER_REC* users, int tableSize, int* count)
{
    return QueryList(
        ZUNACMD_GET_ALL_SNMP_USER_INFO,
        [&](const unsigned char* data, uint32_t len) { return UnpackSnmpUserList(data, len, users, tableSize); },
        count);
}
