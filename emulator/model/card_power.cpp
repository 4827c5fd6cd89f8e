// Host power control (0x0300) and the card's health readings (0x0100).
//
// A power action is 1 reset, 2 power down, 3 power up or 4 power cycle (another byte:
// 28). The card carries out every action it is given, logs it and tells the hook (the
// command line prints it); down turns the host off, up and cycle turn it on, reset
// leaves it as it was. The host's power is not configuration.
//
// The health reply holds six readings of the card's supplies, each in thousandths of a
// volt with thresholds 5 % (warning) and 10 % (fatal) either side of its ideal value;
// its status reads "Fatal" beyond a fatal threshold, "Warning" beyond a warning one,
// else "Normal". The numbers are big-endian on the wire.
#include "card_state.h"
#include "powermgr.h"
#include "x9endian.h"
#include "zunacmds.h"
#include "zunahdr.h"

namespace kelcard {
namespace detail {
namespace {

constexpr const char* kHealthUnits = "Volts";
constexpr uint32_t kWarningPercent = 5;
constexpr uint32_t kFatalPercent = 10;

uint32_t PercentOf(uint32_t value, uint32_t percent)
{
    return static_cast<uint32_t>(static_cast<uint64_t>(value) * percent / 100);
}

X9_HEALTH_INFO_tag WireReading(const HealthReading& reading)
{
    const uint32_t fatalLower = reading.ideal - PercentOf(reading.ideal, kFatalPercent);
    const uint32_t warningLower = reading.ideal - PercentOf(reading.ideal, kWarningPercent);
    const uint32_t warningUpper = reading.ideal + PercentOf(reading.ideal, kWarningPercent);
    const uint32_t fatalUpper = reading.ideal + PercentOf(reading.ideal, kFatalPercent);
    const char* status = "Normal";
    if (reading.value < fatalLower || reading.value > fatalUpper)
        status = "Fatal";
    else if (reading.value < warningLower || reading.value > warningUpper)
        status = "Warning";

    X9_HEALTH_INFO_tag out{};
    PutTextField(out.paramName, reading.name);
    PutTextField(out.units, kHealthUnits);
    PutTextField(out.status, status);
    auto* bytes = reinterpret_cast<uint8_t*>(&out);
    PutBe32(bytes + offsetof(X9_HEALTH_INFO_tag, value), reading.value);
    PutBe32(bytes + offsetof(X9_HEALTH_INFO_tag, FatalLower), fatalLower);
    PutBe32(bytes + offsetof(X9_HEALTH_INFO_tag, WarningLower), warningLower);
    PutBe32(bytes + offsetof(X9_HEALTH_INFO_tag, IdealValue), reading.ideal);
    PutBe32(bytes + offsetof(X9_HEALTH_INFO_tag, WarningUpper), warningUpper);
    PutBe32(bytes + offsetof(X9_HEALTH_INFO_tag, FatalUpper), fatalUpper);
    return out;
}

void GetCardHealth(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    for (const HealthReading& reading : card.host.health) {
        const X9_HEALTH_INFO_tag entry = WireReading(reading);
        const auto* bytes = reinterpret_cast<const uint8_t*>(&entry);
        reply.data.insert(reply.data.end(), bytes, bytes + sizeof(entry));
    }
}

void HostPowerControl(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    HostPowerAction action;
    switch (request[0]) {
    case HOST_POWER_RESET: action = HostPowerAction::kReset; break;
    case HOST_POWER_DOWN: action = HostPowerAction::kDown; break;
    case HOST_POWER_UP: action = HostPowerAction::kUp; break;
    case HOST_POWER_CYCLE: action = HostPowerAction::kCycle; break;
    default: reply.status = ZUNA_E_INVALID; return;
    }
    if (action == HostPowerAction::kDown)
        card.host.hostPowered = false;
    else if (action != HostPowerAction::kReset)
        card.host.hostPowered = true;
    card.host.powerLog.push_back(action);
    if (card.host.powerHook) card.host.powerHook(action);
}

}  // namespace

void AddPowerCommands(CommandTable& table)
{
    table[ZUNACMD_GET_CARD_HEALTH] = {GetCardHealth, 0};
    table[ZUNACMD_HOST_POWER_CONTROL] = {HostPowerControl, HOST_POWER_ACTION_LEN};
}

}  // namespace detail

const char* HostPowerWord(HostPowerAction action)
{
    switch (action) {
    case HostPowerAction::kReset: return "reset";
    case HostPowerAction::kDown: return "down";
    case HostPowerAction::kUp: return "up";
    case HostPowerAction::kCycle: return "cycle";
    }
    return "?";
}

void CardModel::SetHostPowerHook(HostPowerHook hook)
{
    std::lock_guard lock(m_mutex);
    m_state->host.powerHook = std::move(hook);
}

std::vector<HostPowerAction> CardModel::HostPowerLog() const
{
    std::lock_guard lock(m_mutex);
    return m_state->host.powerLog;
}

bool CardModel::HostPowered() const
{
    std::lock_guard lock(m_mutex);
    return m_state->host.hostPowered;
}

bool CardModel::SetHealthValue(std::size_t index, uint32_t thousandths)
{
    std::lock_guard lock(m_mutex);
    if (index >= m_state->host.health.size()) return false;
    m_state->host.health[index].value = thousandths;
    return true;
}

}  // namespace kelcard
