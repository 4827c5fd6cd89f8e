// The name/value pair reader against arbitrary lists, on its own and as the data of a
// card's reply to the recipient query: a list is whole exactly when it does not end
// inside one of its first eight pairs; the client takes it exactly when it is whole, names
// a recipient's key and no other recipient; every text the client keeps ends within its
// 32-byte field.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "../unit/zuna_packets.h"
#include "x9zunaifc.h"
#include "zunacmds.h"

namespace {

struct ListMedium : CX9ZunaMedium {
    zunatest::Bytes reply;
    int IssueZUNACommand(char*, unsigned long* len, char* buf, unsigned long) override
    {
        std::memcpy(buf, reply.data(), *len = reply.size());
        return 0;
    }
    int Connect() override { return 0; }
    int Disconnect() override { return 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const zunatest::Bytes list(data, data + std::min(size, ALERT_RECP_QUERY_LEN));
    std::size_t visited = 0;
    bool named = false, otherNumber = false;  // as the client judges a reply to recipient 1
    const bool whole = ReadNameValueList(list.data(), list.size(), ALERT_RECP_PAIRS, [&](auto name, auto value) {
        if (name.size() > NV_TEXT_LEN || value.size() > NV_TEXT_LEN) std::abort();
        ++visited;
        for (const AlertRecpTextKey& key : ALERT_RECP_TEXT_KEYS) named = named || name == key.name;
        if (name == ALERT_RECP_SELECT_KEY) {
            named = true;
            otherNumber = otherNumber || value != "1";
        }
    });
    const std::size_t pairs = list.size() / sizeof(NAME_VALUE_PAIR);
    if (whole != (pairs >= ALERT_RECP_PAIRS || list.size() % sizeof(NAME_VALUE_PAIR) == 0)) std::abort();
    if (visited != (whole ? std::min(pairs, ALERT_RECP_PAIRS) : 0)) std::abort();

    auto medium = std::make_unique<ListMedium>();
    medium->reply = zunatest::MakePacket(ZUNACMD_GET_ALERT_RECP_DATA, 0, list, 0);
    CX9ZunaIfc client(std::move(medium));
    ALERT_RECEP_INFO_tag info{};
    info.arId = 1;
    const bool accepted = whole && named && !otherNumber;
    if (client.GetAlertRecpData(&info) != (accepted ? ZUNA_E_SUCCESS : ZUNA_E_CONNECTION) || info.arId != 1)
        std::abort();
    for (const AlertRecpTextKey& key : ALERT_RECP_TEXT_KEYS)  // each text ends within its field
        if (reinterpret_cast<const char*>(&info)[key.field + ALERT_RECP_TEXT_LEN - 1] != '\0') std::abort();
    return 0;
}
