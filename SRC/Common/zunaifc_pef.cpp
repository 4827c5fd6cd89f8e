// Alerting operations (command codes 0x040A to 0x040F): the PEF tables and the alert
// recipients, which travel as name/value pairs.
#include <cstring>
#include <string>
#include <vector>

#include "zunacmds.h"
#include "x9zunaifc.h"

namespace {

char* TextField(ALERT_RECEP_INFO_tag& info, const AlertRecpTextKey& key)
{
    return reinterpret_cast<char*>(&info) + key.field;
}

// The recipient number as a list carries it ("%d").
std::string RecipientNumberText(uint8_t arId)
{
    return std::to_string(arId);
}

// The recipient number as the first pair of a list.
void PutRecipientSelect(NAME_VALUE_PAIR& pair, uint8_t arId)
{
    PutNameValue(pair, ALERT_RECP_SELECT_KEY, RecipientNumberText(arId));
}

}  // namespace

ZUNA_ERROR CX9ZunaIfc::GetPEFInfo(PEF_INFO_tag* info)
{
    return QueryRecord(ZUNACMD_GET_PEF_INFO, info, sizeof(*info));
}

unsigned int CX9ZunaIfc::GetPefConfigDataLen(void* param)
{
    if (param == nullptr) return 0;
    return static_cast<unsigned int>(PefConfigParamLen(*static_cast<const uint8_t*>(param)));
}

ZUNA_ERROR CX9ZunaIfc::SetPEFConfig(void* param)
{
    return SendRecord(ZUNACMD_SET_PEF_CONFIG, param, GetPefConfigDataLen(param));
}

ZUNA_ERROR CX9ZunaIfc::GetPEFConfig(void* param)
{
    const uint32_t len = GetPefConfigDataLen(param);
    return ExchangeRecord(ZUNACMD_GET_PEF_CONFIG, param, len, len);
}

ZUNA_ERROR CX9ZunaIfc::MakeDefaPefConfig()
{
    std::vector<unsigned char> ignored;
    return Exchange(ZUNACMD_MAKE_DEFAULT_PEF_CONFIG, nullptr, 0, ZUNA_MAX_DATA_LEN, ignored);
}

ZUNA_ERROR CX9ZunaIfc::SetAlertRecpData(ALERT_RECEP_INFO_tag* info)
{
    NAME_VALUE_PAIR list[ALERT_RECP_PAIRS];
    PutRecipientSelect(list[0], info->arId);
    for (std::size_t i = 0; i < std::size(ALERT_RECP_TEXT_KEYS); ++i) {
        const AlertRecpTextKey& key = ALERT_RECP_TEXT_KEYS[i];
        // A field is read up to its end at most, so every text fits its 256-byte half.
        const char* field = TextField(*info, key);
        PutNameValue(list[i + 1], key.name, std::string_view(field, FieldTextLength(field, ALERT_RECP_TEXT_LEN)));
    }
    return SendRecord(ZUNACMD_SET_ALERT_RECP_DATA, list, sizeof(list));
}

ZUNA_ERROR CX9ZunaIfc::GetAlertRecpData(ALERT_RECEP_INFO_tag* info)
{
    unsigned char query[ALERT_RECP_QUERY_LEN] = {};
    NAME_VALUE_PAIR first;
    PutRecipientSelect(first, info->arId);
    std::memcpy(query, &first, sizeof(first));

    uint32_t recvLen = 0;
    const ZUNA_ERROR status =
        SendZunaCommand(ZUNACMD_GET_ALERT_RECP_DATA, query, sizeof(query), &recvLen, 0, sizeof(query));
    if (status != ZUNA_E_SUCCESS) return status;

    ALERT_RECEP_INFO_tag filled = *info;
    const std::string asked = RecipientNumberText(info->arId);
    bool named = false;        // the reply carries at least one of the recipient's keys
    bool otherNumber = false;  // ... or names a recipient other than the one asked for
    const bool whole = ReadNameValueList(query, recvLen, ALERT_RECP_PAIRS, [&](std::string_view name,
                                                                              std::string_view value) {
        if (name == ALERT_RECP_SELECT_KEY) {
            named = true;
            otherNumber = otherNumber || value != asked;
        }
        for (const AlertRecpTextKey& key : ALERT_RECP_TEXT_KEYS) {
            if (name != key.name) continue;
            named = true;
            CopyTextField(TextField(filled, key), ALERT_RECP_TEXT_LEN, value.data(), value.size());
        }
    });
    if (!whole || !named || otherNumber) return ZUNA_E_CONNECTION;
    *info = filled;
    return ZUNA_E_SUCCESS;
}
