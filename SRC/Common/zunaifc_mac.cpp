// MAC-address operations (command codes 0x0800 and 0x0801).
#include <cstring>

#include "zunacmds.h"
#include "x9zunaifc.h"

ZUNA_ERROR CX9ZunaIfc::GetCurrentMACAddressBytes(unsigned char* mac)
{
    unsigned char bytes[MAC_ADDRESS_LEN] = {};
    uint32_t recvLen = 0;
    const ZUNA_ERROR status = SendZunaCommand(ZUNACMD_GET_MAC_ADDRESS, bytes, 0, &recvLen, 0, sizeof(bytes));
    if (status != ZUNA_E_SUCCESS) return status;
    if (recvLen != MAC_ADDRESS_LEN) return ZUNA_E_CONNECTION;
    std::memcpy(mac, bytes, sizeof(bytes));
    return status;
}

ZUNA_ERROR CX9ZunaIfc::GetCurrentMACAddressString(unsigned char* text)
{
    unsigned char bytes[MAC_ADDRESS_LEN];
    const ZUNA_ERROR status = GetCurrentMACAddressBytes(bytes);
    if (status == ZUNA_E_SUCCESS) form_mac_string(text, bytes, MAC_ADDRESS_LEN);
    return status;
}

ZUNA_ERROR CX9ZunaIfc::SetMACAddressString(const unsigned char* text)
{
    unsigned char mac[MAC_ADDRESS_LEN];
    if (!ParseMacPairs(reinterpret_cast<const char*>(text), mac, false)) return ZUNA_E_INVALID;
    return SetMACAddressBytes(mac);
}

ZUNA_ERROR CX9ZunaIfc::SetMACAddressBytes(const unsigned char* mac)
{
    unsigned char request[MAC_WRITE_LEN];
    std::memcpy(request, mac, MAC_ADDRESS_LEN);
    request[MAC_ADDRESS_LEN] = calc_chksum(mac, MAC_ADDRESS_LEN);
    return SendRecord(ZUNACMD_SET_MAC_ADDRESS, request, sizeof(request));
}

ZUNA_ERROR CX9ZunaIfc::SetMACAddressBytesAndResetX9(const unsigned char* mac)
{
    // A refused write is reported as such; the card is not reset for nothing.
    const ZUNA_ERROR written = SetMACAddressBytes(mac);
    if (written != ZUNA_E_SUCCESS) return written;
    return ResetX9SaveConfig();
}
