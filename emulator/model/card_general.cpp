// General commands (group 0x09) and the card mode (0x0607, 0x0608): card name, clock,
// SMTP settings, server information, firmware information and the restarts.
#include <limits>

#include "card_state.h"
#include "x9endian.h"
#include "zunacmds.h"
#include "zunahdr.h"

namespace kelcard::detail {
namespace {

constexpr uint8_t kModeFlash = 1;  // a restart returns the card to mode 0

void SetFlashMode(CardState& card, Session&, std::span<const uint8_t>, Reply&)
{
    card.mode = kModeFlash;
}

void GetCardMode(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    reply.data = {card.mode};
}

// 0x0900: the running configuration becomes the saved one, then the card restarts.
void ResetSaveConfig(CardState& card, Session& session, std::span<const uint8_t>, Reply&)
{
    card.SaveConfig();
    card.Restart(ResetKind::kSaveConfig);
    session.closeAfterReply = true;
}

// 0x0901: the card restarts with its last saved configuration; unsaved changes are lost.
void ResetNoConfig(CardState& card, Session& session, std::span<const uint8_t>, Reply&)
{
    card.running = card.saved;
    card.Restart(ResetKind::kNoConfig);
    session.closeAfterReply = true;
}

void KillProcesses(CardState&, Session&, std::span<const uint8_t>, Reply&) {}

void GetFwInfo(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    SetReplyRecord(reply, card.fwInfo);
}

void SetServerInfo(CardState& card, Session&, std::span<const uint8_t> request, Reply&)
{
    const auto in = ReadRecord<SERVER_INFO_STRUCT_tag>(request);
    SERVER_INFO_STRUCT_tag& info = card.running.serverInfo;
    CopyTextField(info.serverName, sizeof(info.serverName), in.serverName, sizeof(in.serverName));
    CopyTextField(info.serverLocation, sizeof(info.serverLocation), in.serverLocation, sizeof(in.serverLocation));
    CopyTextField(info.serverOs, sizeof(info.serverOs), in.serverOs, sizeof(in.serverOs));
    CopyTextField(info.serverDescription, sizeof(info.serverDescription), in.serverDescription,
                  sizeof(in.serverDescription));
}

void GetServerInfo(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    SetReplyRecord(reply, card.running.serverInfo);
}

void SetCardName(CardState& card, Session&, std::span<const uint8_t> request, Reply&)
{
    CopyTextField(card.running.name.data(), card.running.name.size(), reinterpret_cast<const char*>(request.data()),
                  request.size());
}

void GetCardName(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    reply.data.assign(card.running.name.begin(), card.running.name.end());
}

void SetSmtpConfig(CardState& card, Session&, std::span<const uint8_t> request, Reply&)
{
    const auto in = ReadRecord<SMTP_CONFIG_INFO_tag>(request);
    SMTP_CONFIG_INFO_tag& smtp = card.running.smtp;
    CopyTextField(smtp.server1, sizeof(smtp.server1), in.server1, sizeof(in.server1));
    CopyTextField(smtp.mailId1, sizeof(smtp.mailId1), in.mailId1, sizeof(in.mailId1));
    CopyTextField(smtp.server2, sizeof(smtp.server2), in.server2, sizeof(in.server2));
    CopyTextField(smtp.mailId2, sizeof(smtp.mailId2), in.mailId2, sizeof(in.mailId2));
}

void GetSmtpConfig(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    SetReplyRecord(reply, card.running.smtp);
}

// 0x090A: epochtime is big-endian and read as a signed 32-bit number, as the tool
// compares it. Times before 1970 are out of range (26). Moving the clock back needs
// rollback 1 (else 26) and makes the card save its configuration and restart.
void SetCardTime(CardState& card, Session& session, std::span<const uint8_t> request, Reply& reply)
{
    const auto in = ReadRecord<X9_TIME_STRUCT_tag>(request);
    const auto requested = static_cast<int32_t>(Be32ToHost(in.epochtime));
    if (requested < 0) {
        reply.status = ZUNA_E_RANGE;
        return;
    }
    if (requested >= card.Now()) {
        card.SetTime(requested);
        return;
    }
    if (in.rollback != 1) {
        reply.status = ZUNA_E_RANGE;
        return;
    }
    card.SetTime(requested);
    card.SaveConfig();
    card.Restart(ResetKind::kClockRollback);
    session.closeAfterReply = true;
}

void GetCardTime(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    X9_TIME_STRUCT_tag out{};
    const int64_t now = card.Now();
    const int64_t clamped = now < 0 ? 0 : std::min<int64_t>(now, std::numeric_limits<uint32_t>::max());
    out.epochtime = HostToBe32(static_cast<uint32_t>(clamped));
    SetReplyRecord(reply, out);
}

}  // namespace

void AddGeneralCommands(CommandTable& table)
{
    table[ZUNACMD_SET_CARD_TO_FLASH_MODE] = {SetFlashMode, 0};
    table[ZUNACMD_GET_CARD_MODE] = {GetCardMode, 0};
    table[ZUNACMD_RESET_SAVE_CONFIG] = {ResetSaveConfig, 0};
    table[ZUNACMD_RESET_NO_CONFIG] = {ResetNoConfig, 0};
    table[ZUNACMD_KILL_PROCESSES] = {KillProcesses, 0};
    table[ZUNACMD_GET_FW_INFO] = {GetFwInfo, 0};
    table[ZUNACMD_SET_SERVER_INFO] = {SetServerInfo, sizeof(SERVER_INFO_STRUCT_tag)};
    table[ZUNACMD_GET_SERVER_INFO] = {GetServerInfo, 0};
    table[ZUNACMD_SET_CARD_NAME] = {SetCardName, CARD_NAME_LEN};
    table[ZUNACMD_GET_CARD_NAME] = {GetCardName, 0};
    table[ZUNACMD_SET_SMTP_CONFIG] = {SetSmtpConfig, sizeof(SMTP_CONFIG_INFO_tag)};
    table[ZUNACMD_GET_SMTP_CONFIG] = {GetSmtpConfig, 0};
    table[ZUNACMD_SET_CARD_TIME] = {SetCardTime, sizeof(X9_TIME_STRUCT_tag)};
    table[ZUNACMD_GET_CARD_TIME] = {GetCardTime, 0};
}

}  // namespace kelcard::detail
