// Heartbeat-interval operations (command codes 0x0A00 and 0x0A01).
#include "oshb.h"
#include "x9endian.h"
#include "zunacmds.h"
#include "x9zunaifc.h"

ZUNA_ERROR CX9ZunaIfc::SetHeartbeatInterval(unsigned long hbInterval)
{
    uint32_t hbValue = HostToBe32(static_cast<uint32_t>(hbInterval));
    return SendRecord(ZUNACMD_SET_HEARTBEAT_INTERVAL, &hbValue, sizeof(hbValue));
}

ZUNA_ERROR CX9ZunaIfc::GetHeartbeatInterval(unsigned long* hbInterval)
{
    uint32_t hbValue = 0;
    const ZUNA_ERROR status = QueryRecord(ZUNACMD_GET_HEARTBEAT_INTERVAL, &hbValue, sizeof(hbValue));
    *hbInterval = Be32ToHost(hbValue);
    return status;
}
