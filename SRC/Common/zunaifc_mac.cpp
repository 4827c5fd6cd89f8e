// MAC-address operations (command codes 0x0800 and 0x0801).
#include <cctype>
#include <cstring>

#include "zunacmds.h"
#include "x9zunaifc.h"

namespace {
int HexValue(unsigned char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

void form_mac_string(unsigned char* dest, const unsigned char* bytes, int count)
{
    static const char kDigits[] = "0123456789ABCDEF";
    unsigned char* p = dest;
    for (int i = 0; i < count; ++i) {
        *p++ = static_cast<unsigned char>(kDigits[bytes[i] >> 4]);
        *p++ = static_cast<unsigned char>(kDigits[bytes[i] & 0x0F]);
        if (i + 1 < count) *p++ = ':';
    }
    *p = '\0';
}

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
    for (std::size_t i = 0; i < MAC_ADDRESS_LEN; ++i) {
        const std::size_t at = 3 * i;
        // Every character up to the pair is there (the text has no NUL before it).
        if (std::memchr(text, '\0', at + 2) != nullptr) return ZUNA_E_INVALID;
        const int high = HexValue(text[at]);
        const int low = HexValue(text[at + 1]);
        if (high < 0 || low < 0) return ZUNA_E_INVALID;
        mac[i] = static_cast<unsigned char>(high << 4 | low);
    }
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
