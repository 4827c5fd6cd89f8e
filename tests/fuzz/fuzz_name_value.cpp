// The name/value pair reader against arbitrary lists, on its own and as the data of a
// card's reply to the recipient query: a list is whole exactly when it does not end
// inside one of its first eight pairs; the client takes it exactly when it is whole, names
// a recipient's key and no other recipient; every text the client keeps ends within its
// 32-byte field.
//
// Input: the number of whole pairs (first byte, 0 to 8), a byte whose top bit adds a
// piece of a pair (its low bits plus one bytes), then the texts, each ended by a
// newline, filling the names and values in turn (cut at 256 bytes, the rest of each
// half zero; a text may leave out its NUL). So short inputs make whole lists.
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
    if (size < 2) return 0;
    zunatest::Bytes list((data[0] % (ALERT_RECP_PAIRS + 1)) * sizeof(NAME_VALUE_PAIR) +
                             ((data[1] & 0x80) ? (data[1] & 0x7F) + 1 : 0),
                         0);
    for (std::size_t at = 2, half = 0; at < size && half * NV_TEXT_LEN < list.size(); ++half) {
        const uint8_t* end = static_cast<const uint8_t*>(std::memchr(data + at, '\n', size - at));
        const std::size_t len = (end != nullptr ? static_cast<std::size_t>(end - data) : size) - at;
        std::memcpy(list.data() + half * NV_TEXT_LEN, data + at,
                    std::min({len, NV_TEXT_LEN, list.size() - half * NV_TEXT_LEN}));
        at += len + 1;
    }
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

    static auto* medium = new ListMedium;
    static CX9ZunaIfc client{std::unique_ptr<CX9ZunaMedium>(medium)};
    medium->reply = zunatest::MakePacket(ZUNACMD_GET_ALERT_RECP_DATA, 0, list, 0);
    ALERT_RECEP_INFO_tag info{};
    info.arId = 1;
    const bool accepted = whole && named && !otherNumber;
    if (client.GetAlertRecpData(&info) != (accepted ? ZUNA_E_SUCCESS : ZUNA_E_CONNECTION) || info.arId != 1)
        std::abort();
    for (const AlertRecpTextKey& key : ALERT_RECP_TEXT_KEYS)  // each text ends within its field
        if (reinterpret_cast<const char*>(&info)[key.field + ALERT_RECP_TEXT_LEN - 1] != '\0') std::abort();
    return 0;
}
