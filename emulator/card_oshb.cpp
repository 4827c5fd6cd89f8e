// Heartbeat-interval commands (group 0x0A): the interval in seconds, a big-endian
// 32-bit number, kept as given (the card does not limit it) in the saved
// configuration.
#include "card_state.h"
#include "oshb.h"
#include "x9endian.h"
#include "zunacmds.h"

namespace kelcard::detail {
namespace {

void GetHeartbeatInterval(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    SetReplyRecord(reply, HostToBe32(card.running.heartbeatInterval));
}

void SetHeartbeatInterval(CardState& card, Session&, std::span<const uint8_t> request, Reply&)
{
    card.running.heartbeatInterval = Be32ToHost(ReadRecord<uint32_t>(request));
}

}  // namespace

void AddHeartbeatCommands(CommandTable& table)
{
    table[ZUNACMD_GET_HEARTBEAT_INTERVAL] = {GetHeartbeatInterval, 0};
    table[ZUNACMD_SET_HEARTBEAT_INTERVAL] = {SetHeartbeatInterval, HB_INTERVAL_LEN};
}

}  // namespace kelcard::detail

// The public methods of this area.
namespace kelcard {

uint32_t CardModel::HeartbeatInterval() const
{
    std::lock_guard lock(m_mutex);
    return m_state->running.heartbeatInterval;
}

}  // namespace kelcard
