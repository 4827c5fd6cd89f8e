// Event-log commands (0x0400 to 0x0408): the card's System Event Log.
//
// The log holds up to kSelCapacity records in the order they were added. A record's
// number is its place in the log counted from 1, so the numbers are always 1 to the
// count and a deletion renumbers the records behind it. The card stamps each added
// record with its clock and takes the event id, severity, values, manufacturer bytes
// and event data from the request; every record has record type 0x02. Its description
// (0x0408) is "Module M event N" from the event id's high and low byte, unless the
// record was logged with a text of its own. Free space counts 48 bytes per free place.
// When the log is full, the fill policy decides: rollover drops the oldest record to
// make room, stop refuses the addition with 18. A new card's log is empty; the log is
// not configuration, so a restart leaves it as it is (the fill policy is part of the
// saved configuration).
#include <limits>

#include "card_state.h"
#include "x9endian.h"
#include "zunacmds.h"
#include "zunahdr.h"

namespace kelcard::detail {
namespace {

static_assert(offsetof(EVENT_RECORD_EXT_tag, event_string) == sizeof(DUVX9_SEL_RECORD_TAG),
              "the extended record starts with the plain record");

constexpr uint8_t kSelVersion = 0x51;  // shown as 1.5
constexpr uint8_t kSelOperations = SEL_DEL_SUPPORT | SEL_ALLOC_INFO_SUPPORT;
constexpr uint8_t kRecordType = 0x02;

uint32_t EpochField(int64_t epochSeconds)
{
    if (epochSeconds < 0) return 0;
    return static_cast<uint32_t>(std::min<int64_t>(epochSeconds, std::numeric_limits<uint32_t>::max()));
}

// The record with number `recordNo` (1 = the oldest), or null.
const SelEntry* FindEntry(const CardState& card, uint16_t recordNo)
{
    if (recordNo == 0 || recordNo > card.sel.records.size()) return nullptr;
    return &card.sel.records[recordNo - 1u];
}

DUVX9_SEL_RECORD_TAG WireRecord(const SelEntry& entry, uint16_t recordNo)
{
    DUVX9_SEL_RECORD_TAG out{};
    out.record_no = HostToBe16(recordNo);
    out.record_type = entry.recordType;
    out.time = HostToBe32(entry.time);
    out.manufacture_id1 = entry.manufacturer[0];
    out.manufacture_id2 = entry.manufacturer[1];
    out.manufacture_id3 = entry.manufacturer[2];
    out.duvx9_event_id = HostToBe16(entry.eventId);
    out.eventType.event_type = entry.severity;
    out.value1 = entry.value1;
    out.value2 = HostToBe16(entry.value2);
    std::memcpy(out.event_data, entry.data.data(), sizeof(out.event_data));
    return out;
}

uint16_t RequestedRecordNo(std::span<const uint8_t> request)
{
    return Be16ToHost(ReadRecord<uint16_t>(request));
}

void GetSelInfo(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    const std::size_t count = card.sel.records.size();
    SEL_STATE_INFO_TAG out{};
    out.bcdVersion = kSelVersion;
    out.no_of_records = HostToBe16(static_cast<uint16_t>(count));
    out.free_space = HostToBe16(static_cast<uint16_t>((kSelCapacity - count) * sizeof(DUVX9_SEL_RECORD_TAG)));
    out.last_add_time = HostToBe32(card.sel.lastAddTime);
    out.last_del_time = HostToBe32(card.sel.lastDelTime);
    out.bmop_support = kSelOperations;
    SetReplyRecord(reply, out);
}

void GetSelRecord(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    const uint16_t recordNo = RequestedRecordNo(request);
    const SelEntry* entry = FindEntry(card, recordNo);
    if (entry == nullptr) {
        reply.status = ZUNA_E_NOEXIST;
        return;
    }
    SetReplyRecord(reply, WireRecord(*entry, recordNo));
}

void GetSelRecordEx(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    const uint16_t recordNo = RequestedRecordNo(request);
    const SelEntry* entry = FindEntry(card, recordNo);
    if (entry == nullptr) {
        reply.status = ZUNA_E_NOEXIST;
        return;
    }
    EVENT_RECORD_EXT_tag out{};
    const DUVX9_SEL_RECORD_TAG plain = WireRecord(*entry, recordNo);
    std::memcpy(&out, &plain, sizeof(plain));
    CopyTextField(out.event_string, sizeof(out.event_string), entry->text.data(), entry->text.size());
    SetReplyRecord(reply, out);
}

// 0x0402 and 0x0405: the request's record, numbered and stamped by the card.
void AddSelRecord(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    const auto in = ReadRecord<DUVX9_SEL_RECORD_TAG>(request);
    SelEntry entry;
    entry.manufacturer = {in.manufacture_id1, in.manufacture_id2, in.manufacture_id3};
    entry.eventId = Be16ToHost(in.duvx9_event_id);
    entry.severity = in.eventType.event_type;
    entry.value1 = in.value1;
    entry.value2 = Be16ToHost(in.value2);
    std::memcpy(entry.data.data(), in.event_data, entry.data.size());
    reply.status = AppendSelEntry(card, std::move(entry), card.Now());
}

void DelSelRecord(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    const uint16_t recordNo = RequestedRecordNo(request);
    if (FindEntry(card, recordNo) == nullptr) {
        reply.status = ZUNA_E_NOEXIST;
        return;
    }
    card.sel.records.erase(card.sel.records.begin() + (recordNo - 1));
    card.sel.lastDelTime = EpochField(card.Now());
}

// Answers the number of records removed.
void ClearSelList(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    const auto removed = static_cast<uint16_t>(card.sel.records.size());
    card.sel.records.clear();
    card.sel.lastDelTime = EpochField(card.Now());
    SetReplyRecord(reply, HostToBe16(removed));
}

void GetSelPolicy(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    reply.data = {card.running.selPolicy};
}

void SetSelPolicy(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    const uint8_t policy = request[0];
    if (policy != SEL_POLICY_ROLLOVER && policy != SEL_POLICY_STOP) {
        reply.status = ZUNA_E_INVALID;
        return;
    }
    card.running.selPolicy = policy;
}

}  // namespace

uint16_t AppendSelEntry(CardState& card, SelEntry entry, int64_t epochSeconds)
{
    SelLog& log = card.sel;
    const uint32_t stamp = EpochField(epochSeconds);
    if (log.records.size() >= kSelCapacity) {
        if (card.running.selPolicy != SEL_POLICY_ROLLOVER) return ZUNA_E_SPACE;
        log.records.pop_front();
        log.lastDelTime = stamp;
    }
    entry.time = stamp;
    entry.recordType = kRecordType;
    if (entry.text.empty()) {
        entry.text = "Module " + std::to_string(entry.eventId >> 8) + " event " + std::to_string(entry.eventId & 0xFF);
    }
    log.records.push_back(std::move(entry));
    log.lastAddTime = stamp;
    return ZUNA_E_SUCCESS;
}

void AddSelCommands(CommandTable& table)
{
    table[ZUNACMD_GET_SEL_INFO] = {GetSelInfo, 0};
    table[ZUNACMD_GET_SEL_RECORD] = {GetSelRecord, sizeof(DUVX9_SEL_RECORD_TAG)};
    table[ZUNACMD_ADD_SEL_RECORD] = {AddSelRecord, sizeof(DUVX9_SEL_RECORD_TAG)};
    table[ZUNACMD_CLEAR_SEL_LIST] = {ClearSelList, 0};
    table[ZUNACMD_DEL_SEL_RECORD] = {DelSelRecord, sizeof(uint16_t)};
    table[ZUNACMD_POST_EVENT] = {AddSelRecord, sizeof(DUVX9_SEL_RECORD_TAG)};
    table[ZUNACMD_GET_SEL_POLICY] = {GetSelPolicy, 0};
    table[ZUNACMD_SET_SEL_POLICY] = {SetSelPolicy, 1};
    table[ZUNACMD_GET_SEL_RECORD_EX] = {GetSelRecordEx, sizeof(EVENT_RECORD_EXT_tag)};
}

}  // namespace kelcard::detail

// The public methods of this area.
namespace kelcard {

bool CardModel::AddSelRecordAt(int64_t epochSeconds, uint16_t eventId, uint8_t severity, const std::string& text)
{
    std::lock_guard lock(m_mutex);
    detail::SelEntry entry;
    entry.eventId = eventId;
    entry.severity = severity;
    entry.text = text;
    return detail::AppendSelEntry(*m_state, std::move(entry), epochSeconds) == ZUNA_E_SUCCESS;
}

std::size_t CardModel::SelRecordCount() const
{
    std::lock_guard lock(m_mutex);
    return m_state->sel.records.size();
}

}  // namespace kelcard
