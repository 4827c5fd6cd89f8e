// Alerting commands (0x040A to 0x040F): the event filtering (PEF) tables and the eight
// alert recipients, both part of the configuration.
//
// PEF: kPefEventFilters event filters, kPefAlertPolicies alert policies and three
// tables of kPefDestinations destinations (modem 0xC0, LAN 0xC1, a third 0xC2), each
// numbered from 1. A parameter request is exactly as long as its selector makes it
// (else 28): selector, entry number, data. A read answers the request with the entry's
// data in place, a write stores the data; selector 8 reaches a filter's first byte
// (filterConfig) alone. A number outside the table answers 26. The two counts (6, 9)
// can be read, not written (19). 0x040D brings back the default tables.
//
// Recipients: each is the list of pairs the card was last given for it, of the seven
// texts it knows (RECIPIENT_NAME ... SNMP_TRAP_DESTINATION; other names are dropped, a
// repeated name keeps its last value). A write (eight pairs) names its recipient in its
// RECIPIENT_SELECT pair and replaces that recipient's list; a query names it in its
// first pair and is answered with eight pairs: the number, the recipient's pairs, then
// empty pairs. The number is 1 to 8 in decimal (else 26); a list without it answers 28.
// A new card's recipients are empty.
#include <charconv>
#include <optional>
#include <string_view>

#include "card_state.h"
#include "zunacmds.h"
#include "zunahdr.h"

namespace kelcard::detail {
namespace {

static_assert(offsetof(PEF_EVENT_FILTER_tag, filterConfig) == 0, "selector 8 reaches the filter's first byte");

constexpr uint8_t kPefVersion = 0x51;
constexpr uint8_t kPefActions = 0x0F;  // alert, power down, reset, power cycle
constexpr std::size_t kParamHead = 2;  // selector and entry number

template <typename Table>
std::span<uint8_t> EntryBytes(Table& table, uint8_t number)
{
    if (number == 0 || number > table.size()) return {};
    return {reinterpret_cast<uint8_t*>(&table[number - 1u]), sizeof(table[0])};
}

// The bytes of the entry a parameter reaches; empty for a number outside its table.
std::span<uint8_t> ParamEntry(PefConfig& pef, uint8_t select, uint8_t number)
{
    switch (select) {
    case PEF_PARAM_EVENT_FILTER: return EntryBytes(pef.filters, number);
    case PEF_PARAM_EVENT_FILTER_BYTE: {
        const std::span<uint8_t> filter = EntryBytes(pef.filters, number);
        return filter.empty() ? filter : filter.first(1);
    }
    case PEF_PARAM_ALERT_POLICY: return EntryBytes(pef.policies, number);
    case PEF_PARAM_MODEM_DEST: return EntryBytes(pef.modemDests, number);
    case PEF_PARAM_LAN_DEST: return EntryBytes(pef.lanDests, number);
    case PEF_PARAM_THIRD_DEST: return EntryBytes(pef.thirdDests, number);
    default: return {};
    }
}

std::optional<uint8_t> ParamCount(uint8_t select)
{
    if (select == PEF_PARAM_EVENT_FILTER_COUNT) return kPefEventFilters;
    if (select == PEF_PARAM_ALERT_POLICY_COUNT) return kPefAlertPolicies;
    return std::nullopt;
}

// The entry a well-formed parameter request reaches, or the status to answer in
// reply.status (the entry is then empty). Counts reach no entry and answer 0.
std::span<uint8_t> RequestedEntry(CardState& card, std::span<const uint8_t> request, Reply& reply)
{
    if (request.empty() || request.size() != PefConfigParamLen(request[0])) {
        reply.status = ZUNA_E_INVALID;
        return {};
    }
    if (ParamCount(request[0])) return {};
    const std::span<uint8_t> entry = ParamEntry(card.running.pef, request[0], request[1]);
    if (entry.size() != request.size() - kParamHead) reply.status = ZUNA_E_RANGE;
    return entry;
}

void GetPefInfo(CardState&, Session&, std::span<const uint8_t>, Reply& reply)
{
    const PEF_INFO_tag info = {kPefVersion, kPefActions, kPefEventFilters, kPefAlertPolicies, kPefDestinations,
                               kPefDestinations};
    SetReplyRecord(reply, info);
}

void SetPefConfig(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    const std::span<uint8_t> entry = RequestedEntry(card, request, reply);
    if (reply.status != ZUNA_E_SUCCESS) return;
    if (entry.empty()) {
        reply.status = ZUNA_E_RDONLY;
        return;
    }
    std::copy(request.begin() + kParamHead, request.end(), entry.begin());
}

void GetPefConfig(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    const std::span<uint8_t> entry = RequestedEntry(card, request, reply);
    if (reply.status != ZUNA_E_SUCCESS) return;
    reply.data.assign(request.begin(), request.end());
    if (const auto count = ParamCount(request[0]))
        reply.data[1] = *count;
    else
        std::copy(entry.begin(), entry.end(), reply.data.begin() + kParamHead);
}

void MakeDefaultPefConfig(CardState& card, Session&, std::span<const uint8_t>, Reply&)
{
    card.running.pef = PefConfig{};
}

// A recipient number in decimal, 1 to 8.
std::optional<std::size_t> RecipientNumber(std::string_view text)
{
    std::size_t number = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (error != std::errc{} || stop != end || number < 1 || number > ALERT_RECP_COUNT) return std::nullopt;
    return number;
}

bool IsRecipientText(std::string_view name)
{
    for (const AlertRecpTextKey& key : ALERT_RECP_TEXT_KEYS)
        if (name == key.name) return true;
    return false;
}

void SetAlertRecipient(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    std::optional<std::string_view> select;
    AlertRecipient pairs;
    ReadNameValueList(request.data(), request.size(), ALERT_RECP_PAIRS, [&](std::string_view name,
                                                                            std::string_view value) {
        if (name == ALERT_RECP_SELECT_KEY) {
            if (!select) select = value;
            return;
        }
        if (!IsRecipientText(name)) return;
        const auto same = std::find_if(pairs.begin(), pairs.end(), [&](const auto& pair) { return pair.first == name; });
        if (same != pairs.end())
            same->second = value;
        else
            pairs.emplace_back(name, value);
    });
    const auto number = select ? RecipientNumber(*select) : std::nullopt;
    if (!number) {
        reply.status = select ? ZUNA_E_RANGE : ZUNA_E_INVALID;
        return;
    }
    card.running.alertRecipients[*number - 1] = std::move(pairs);
}

void GetAlertRecipient(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    std::string_view name, value;
    ReadNameValueList(request.data(), request.size(), 1, [&](std::string_view n, std::string_view v) {
        name = n;
        value = v;
    });
    const auto number = RecipientNumber(value);
    if (name != ALERT_RECP_SELECT_KEY || !number) {
        reply.status = name != ALERT_RECP_SELECT_KEY ? ZUNA_E_INVALID : ZUNA_E_RANGE;
        return;
    }
    NAME_VALUE_PAIR list[ALERT_RECP_PAIRS] = {};
    PutNameValue(list[0], ALERT_RECP_SELECT_KEY, std::to_string(*number));
    std::size_t next = 1;
    for (const auto& [pairName, pairValue] : card.running.alertRecipients[*number - 1]) {
        if (next == ALERT_RECP_PAIRS) break;
        PutNameValue(list[next++], pairName, pairValue);
    }
    SetReplyRecord(reply, list);
}

}  // namespace

void AddPefCommands(CommandTable& table)
{
    table[ZUNACMD_GET_PEF_INFO] = {GetPefInfo, 0};
    table[ZUNACMD_SET_PEF_CONFIG] = {SetPefConfig, std::nullopt};
    table[ZUNACMD_GET_PEF_CONFIG] = {GetPefConfig, std::nullopt};
    table[ZUNACMD_MAKE_DEFAULT_PEF_CONFIG] = {MakeDefaultPefConfig, 0};
    table[ZUNACMD_SET_ALERT_RECP_DATA] = {SetAlertRecipient, ALERT_RECP_LIST_LEN};
    table[ZUNACMD_GET_ALERT_RECP_DATA] = {GetAlertRecipient, ALERT_RECP_QUERY_LEN};
}

}  // namespace kelcard::detail
