// Network operations (command codes 0x0700 to 0x0702).
#include <cstring>

#include "zunacmds.h"
#include "x9zunaifc.h"

namespace {
// Places a text in its zero-filled field; false when it does not fit with its NUL.
template <std::size_t N>
bool PutField(char (&field)[N], const char* text)
{
    const std::size_t len = strnlen(text, N);
    if (len >= N) return false;
    std::memcpy(field, text, len);
    return true;
}
}  // namespace

ZUNA_ERROR CX9ZunaIfc::GetCurrentNetworkConfiguration(char* record)
{
    return QueryRecord(ZUNACMD_GET_NETWORK_CONFIG, record, sizeof(ZUNA_API_GET_NETWORK_CFG_REC));
}

ZUNA_ERROR CX9ZunaIfc::SetNetworkStatically(const char* ip, const char* netmask, const char* gateway,
                                            unsigned long timeout)
{
    ZUNA_API_SET_NETWORK_CFG_REC rec;
    std::memset(&rec, 0, sizeof(rec));
    if (!PutField(rec.ip_address, ip) || !PutField(rec.netmask, netmask) || !PutField(rec.gateway, gateway))
        return ZUNA_E_INVALID;
    uint32_t recvLen = 0;
    return SendZunaCommand(ZUNACMD_SET_NETWORK_STATIC, &rec, sizeof(rec), &recvLen, static_cast<uint32_t>(timeout),
                           sizeof(rec));
}

ZUNA_ERROR CX9ZunaIfc::SetNetworkwithDHCP()
{
    return SendRecord(ZUNACMD_SET_NETWORK_DHCP, nullptr, 0);
}
