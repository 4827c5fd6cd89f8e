// The user-list decoders against arbitrary list replies: every count stays within the
// reply and the caller's table (the sanitizers watch every read and copy).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "x9zunaifc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0 || size > USER_LIST_MAX_LEN) return 0;
    // The first byte picks the table's size (0 to 16); the rest, in a buffer of its own
    // length so that a read past it is caught, is the reply.
    const int table = data[0] % 17;
    const std::vector<unsigned char> reply(data + 1, data + size);
    const auto len = static_cast<uint32_t>(reply.size());
    char names[16][USER_TEXT_LEN];
    ZUNA_API_USER_REC users[16];
    ZUNA_API_SNMP_USER_REC snmp[16];
    const int counts[] = {UnpackUserNames(reply.data(), len, names, table),
                          UnpackUserList(reply.data(), len, users, table),
                          UnpackSnmpUserList(reply.data(), len, snmp, table)};
    const unsigned entryLen[] = {32, 64, 80};
    for (int k = 0; k < 3; ++k)
        if (counts[k] < 0 || counts[k] > table || counts[k] * entryLen[k] > len) std::abort();
    return 0;
}
