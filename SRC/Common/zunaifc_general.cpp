// General operations: card mode, resets, firmware information, server information,
// card name, SMTP settings and the card's clock.
#include <cstddef>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "x9reader.h"
#include "zunacmds.h"
#include "x9zunaifc.h"

ZUNA_ERROR CX9ZunaIfc::SetCardToFlashMode()
{
    return SendRecord(ZUNACMD_SET_CARD_TO_FLASH_MODE, nullptr, 0);
}

ZUNA_ERROR CX9ZunaIfc::GetCardMode(char* mode)
{
    return QueryRecord(ZUNACMD_GET_CARD_MODE, mode, 1);
}

ZUNA_ERROR CX9ZunaIfc::ResetX9SaveConfig()
{
    const ZUNA_ERROR status = SendRecord(ZUNACMD_RESET_SAVE_CONFIG, nullptr, 0);
    usleep(resetWaitMicros);
    return status;
}

ZUNA_ERROR CX9ZunaIfc::ResetX9NoConfig()
{
    const ZUNA_ERROR status = SendRecord(ZUNACMD_RESET_NO_CONFIG, nullptr, 0);
    usleep(resetWaitMicros);
    return status;
}

ZUNA_ERROR CX9ZunaIfc::KillProcesses()
{
    return SendRecord(ZUNACMD_KILL_PROCESSES, nullptr, 0);
}

ZUNA_ERROR CX9ZunaIfc::GetFWInfo(STRUCT_FW_INFO* info)
{
    return QueryRecord(ZUNACMD_GET_FW_INFO, info, sizeof(*info));
}

ZUNA_ERROR CX9ZunaIfc::SetServerInfo(SERVER_INFO_STRUCT_tag* info)
{
    return SendRecord(ZUNACMD_SET_SERVER_INFO, info, sizeof(*info));
}

ZUNA_ERROR CX9ZunaIfc::GetServerInfo(SERVER_INFO_STRUCT_tag* info)
{
    return QueryRecord(ZUNACMD_GET_SERVER_INFO, info, sizeof(*info));
}

ZUNA_ERROR CX9ZunaIfc::SetCardName(const char* name)
{
    char field[CARD_NAME_LEN] = {};
    std::strncpy(field, name, sizeof(field) - 1);
    return SendRecord(ZUNACMD_SET_CARD_NAME, field, sizeof(field));
}

ZUNA_ERROR CX9ZunaIfc::GetCardName(char* name)
{
    std::memset(name, 0, CARD_NAME_LEN);
    std::vector<unsigned char> reply;
    const ZUNA_ERROR status = Exchange(ZUNACMD_GET_CARD_NAME, nullptr, 0, CARD_NAME_LEN, reply);
    if (status == ZUNA_E_SUCCESS && !reply.empty()) std::memcpy(name, reply.data(), reply.size());
    return status;
}

ZUNA_ERROR CX9ZunaIfc::SetSmtpConfig(SMTP_CONFIG_INFO_tag* cfg)
{
    return SendRecord(ZUNACMD_SET_SMTP_CONFIG, cfg, sizeof(*cfg));
}

ZUNA_ERROR CX9ZunaIfc::GetSmtpConfig(SMTP_CONFIG_INFO_tag* cfg)
{
    return QueryRecord(ZUNACMD_GET_SMTP_CONFIG, cfg, sizeof(*cfg));
}

namespace {
constexpr WireFields kTimeFields = {{offsetof(X9_TIME_STRUCT_tag, epochtime), 4}};
}  // namespace

ZUNA_ERROR CX9ZunaIfc::GetCardTime(X9_TIME_STRUCT_tag* t)
{
    return ExchangeFields(ZUNACMD_GET_CARD_TIME, nullptr, 0, t, sizeof(*t), kTimeFields);
}

ZUNA_ERROR CX9ZunaIfc::SetCardTime(X9_TIME_STRUCT_tag* t)
{
    X9_TIME_STRUCT_tag now{};
    if (GetCardTime(&now) != ZUNA_E_SUCCESS) return ZUNA_E_GENERAL;

    const auto cardTime = static_cast<int32_t>(now.epochtime);
    const auto wanted = static_cast<int32_t>(t->epochtime);
    if (cardTime <= wanted) {
        t->rollback = 0;
    } else if (t->rollback != 1) {
        return ZUNA_E_RANGE;
    }
    return SendFields(ZUNACMD_SET_CARD_TIME, t, sizeof(*t), kTimeFields);
}
