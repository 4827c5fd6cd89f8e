// Heartbeat-interval operations (command codes 0x0A00 and 0x0A01).
#include <vector>

#include "oshb.h"
#include "x9endian.h"
#include "x9reader.h"
#include "zunacmds.h"
#include "x9zunaifc.h"

ZUNA_ERROR CX9ZunaIfc::SetHeartbeatInterval(unsigned long hbInterval)
{
    uint32_t hbValue = HostToBe32(static_cast<uint32_t>(hbInterval));
    return SendRecord(ZUNACMD_SET_HEARTBEAT_INTERVAL, &hbValue, sizeof(hbValue));
}

ZUNA_ERROR CX9ZunaIfc::GetHeartbeatInterval(unsigned long* hbInterval)
{
    std::vector<unsigned char> reply;
    const ZUNA_ERROR status = Exchange(ZUNACMD_GET_HEARTBEAT_INTERVAL, nullptr, 0, sizeof(uint32_t), reply);
    WireReader r(reply.data(), reply.size());
    *hbInterval = r.Be32();
    if (status == ZUNA_E_SUCCESS && !r.AtEnd()) return ZUNA_E_CONNECTION;
    return status;
}
