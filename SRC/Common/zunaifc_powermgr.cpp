// Host power control (0x0300) and the card's health readings (0x0100).
#include <cstddef>

#include "x9endian.h"
#include "zunacmds.h"
#include "x9zunaifc.h"

void CX9ZunaIfc::b2l_healthInfo(X9_HEALTH_INFO_tag* pEntry)
{
    FixBe32InPlace(pEntry, offsetof(X9_HEALTH_INFO_tag, value));
    FixBe32InPlace(pEntry, offsetof(X9_HEALTH_INFO_tag, FatalLower));
    FixBe32InPlace(pEntry, offsetof(X9_HEALTH_INFO_tag, WarningLower));
    FixBe32InPlace(pEntry, offsetof(X9_HEALTH_INFO_tag, IdealValue));
    FixBe32InPlace(pEntry, offsetof(X9_HEALTH_INFO_tag, WarningUpper));
    FixBe32InPlace(pEntry, offsetof(X9_HEALTH_INFO_tag, FatalUpper));
}

ZUNA_ERROR CX9ZunaIfc::RemoteHostPowerControl(unsigned char* action)
{
    return SendRecord(ZUNACMD_HOST_POWER_CONTROL, action, HOST_POWER_ACTION_LEN);
}

ZUNA_ERROR CX9ZunaIfc::GetCardHealth(X9_HEALTH_INFO_tag* entries)
{
    // Only a reply with all six readings is taken, so no reading is converted or shown
    // from bytes the card did not send.
    const ZUNA_ERROR status =
        QueryRecord(ZUNACMD_GET_CARD_HEALTH, entries, static_cast<uint32_t>(sizeof(*entries) * X9_HEALTH_ENTRIES));
    if (status != ZUNA_E_SUCCESS) return status;
    for (std::size_t i = 0; i < X9_HEALTH_ENTRIES; ++i) b2l_healthInfo(&entries[i]);
    return status;
}
