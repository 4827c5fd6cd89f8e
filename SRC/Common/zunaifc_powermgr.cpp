// Host power control (0x0300) and the card's health readings (0x0100).
#include <algorithm>
#include <cstddef>
#include <iterator>
#include <vector>

#include "x9reader.h"
#include "zunacmds.h"
#include "x9zunaifc.h"

namespace {

constexpr WireFields kHealthFields = {
    {offsetof(X9_HEALTH_INFO_tag, value), 4},        {offsetof(X9_HEALTH_INFO_tag, FatalLower), 4},
    {offsetof(X9_HEALTH_INFO_tag, WarningLower), 4}, {offsetof(X9_HEALTH_INFO_tag, IdealValue), 4},
    {offsetof(X9_HEALTH_INFO_tag, WarningUpper), 4}, {offsetof(X9_HEALTH_INFO_tag, FatalUpper), 4},
};

}  // namespace

ZUNA_ERROR CX9ZunaIfc::RemoteHostPowerControl(unsigned char* action)
{
    return SendRecord(ZUNACMD_HOST_POWER_CONTROL, action, HOST_POWER_ACTION_LEN);
}

ZUNA_ERROR CX9ZunaIfc::GetCardHealth(X9_HEALTH_INFO_tag* entries)
{
    // Only a reply with all six readings is taken, so no reading is converted or shown
    // from bytes the card did not send.
    std::vector<unsigned char> reply;
    const ZUNA_ERROR status =
        Exchange(ZUNACMD_GET_CARD_HEALTH, nullptr, 0, sizeof(*entries) * X9_HEALTH_ENTRIES, reply);
    if (status != ZUNA_E_SUCCESS) return status;
    X9_HEALTH_INFO_tag got[X9_HEALTH_ENTRIES];
    WireReader r(reply.data(), reply.size());
    for (X9_HEALTH_INFO_tag& entry : got) ReadRecord(r, &entry, sizeof(entry), kHealthFields);
    if (!r.AtEnd()) return ZUNA_E_CONNECTION;
    std::copy(std::begin(got), std::end(got), entries);
    return status;
}
