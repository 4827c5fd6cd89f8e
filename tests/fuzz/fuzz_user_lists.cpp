// The user-list decoders against arbitrary list replies: every count stays within the
// reply and the caller's table, and every text ends within its field.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "x9zunaifc.h"

namespace {

constexpr int kTable = 16;

void Check(bool ok)
{
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0 || size > USER_LIST_MAX_LEN) return 0;
    // The first byte picks the table's size (0 to 16); the rest, copied to a buffer of
    // its own length so that any read past it is caught, is the reply.
    const int table = data[0] % (kTable + 1);
    const std::vector<unsigned char> reply(data + 1, data + size);
    const auto len = static_cast<uint32_t>(reply.size());

    char names[kTable][USER_TEXT_LEN];
    ZUNA_API_USER_REC users[kTable];
    ZUNA_API_SNMP_USER_REC snmp[kTable];
    const int nameCount = UnpackUserNames(reply.data(), len, names, table);
    const int userCount = UnpackUserList(reply.data(), len, users, table);
    const int snmpCount = UnpackSnmpUserList(reply.data(), len, snmp, table);

    Check(nameCount >= 0 && nameCount <= table && nameCount * 32u <= len);
    Check(userCount >= 0 && userCount <= table && userCount * 64u <= len);
    Check(snmpCount >= 0 && snmpCount <= table && snmpCount * 80u <= len);
    for (int i = 0; i < nameCount; ++i) Check(strnlen(names[i], USER_TEXT_LEN) < USER_TEXT_LEN);
    for (int i = 0; i < userCount; ++i)
        Check(strnlen(users[i].username, USER_TEXT_LEN) < USER_TEXT_LEN &&
              strnlen(users[i].password, USER_TEXT_LEN) < USER_TEXT_LEN);
    for (int i = 0; i < snmpCount; ++i)
        Check(strnlen(snmp[i].authPro, USER_TEXT_LEN) <= SNMP_LIST_PROTOCOL_LEN &&
              strnlen(snmp[i].privPro, USER_TEXT_LEN) <= SNMP_LIST_PROTOCOL_LEN &&
              strnlen(snmp[i].pass, USER_TEXT_LEN) < USER_TEXT_LEN);
    return 0;
}
