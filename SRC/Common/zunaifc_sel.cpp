// Event-log operations (command codes 0x0400 to 0x0408).
#include <cstddef>
#include <cstring>
#include <vector>

#include "x9endian.h"
#include "zunacmds.h"
#include "x9zunaifc.h"

namespace {

// The big-endian numbers of the event-log records. The first 48 bytes of both record
// kinds share one layout.
constexpr WireFields kSelRecordFields = {
    {offsetof(DUVX9_SEL_RECORD_TAG, record_no), 2},
    {offsetof(DUVX9_SEL_RECORD_TAG, time), 4},
    {offsetof(DUVX9_SEL_RECORD_TAG, duvx9_event_id), 2},
    {offsetof(DUVX9_SEL_RECORD_TAG, value2), 2},
};
static_assert(offsetof(EVENT_RECORD_EXT_tag, value2) == offsetof(DUVX9_SEL_RECORD_TAG, value2));
constexpr WireFields kSelInfoFields = {
    {offsetof(SEL_STATE_INFO_TAG, no_of_records), 2},
    {offsetof(SEL_STATE_INFO_TAG, free_space), 2},
    {offsetof(SEL_STATE_INFO_TAG, last_add_time), 4},
    {offsetof(SEL_STATE_INFO_TAG, last_del_time), 4},
};

}  // namespace

ZUNA_ERROR CX9ZunaIfc::GetSelInfo(SEL_STATE_INFO_TAG* pSelState)
{
    return ExchangeFields(ZUNACMD_GET_SEL_INFO, nullptr, 0, pSelState, sizeof(*pSelState), kSelInfoFields);
}

ZUNA_ERROR CX9ZunaIfc::GetSelRecord(DUVX9_SEL_RECORD_TAG* pSelRec)
{
    return ExchangeFields(ZUNACMD_GET_SEL_RECORD, pSelRec, sizeof(*pSelRec), pSelRec, sizeof(*pSelRec),
                          kSelRecordFields);
}

ZUNA_ERROR CX9ZunaIfc::GetSelRecordEx(EVENT_RECORD_EXT_tag* pSelRecEx)
{
    return ExchangeFields(ZUNACMD_GET_SEL_RECORD_EX, pSelRecEx, sizeof(*pSelRecEx), pSelRecEx, sizeof(*pSelRecEx),
                          kSelRecordFields);
}

ZUNA_ERROR CX9ZunaIfc::AddSelRecord(DUVX9_SEL_RECORD_TAG* pSelRec)
{
    return SendFields(ZUNACMD_ADD_SEL_RECORD, pSelRec, sizeof(*pSelRec), kSelRecordFields);
}

ZUNA_ERROR CX9ZunaIfc::PostEvent(DUVX9_SEL_RECORD_TAG* pSelRec)
{
    return SendFields(ZUNACMD_POST_EVENT, pSelRec, sizeof(*pSelRec), kSelRecordFields);
}

ZUNA_ERROR CX9ZunaIfc::DelSelRecord(DUVX9_SEL_RECORD_TAG* pSelRec)
{
    unsigned char number[sizeof(pSelRec->record_no)];
    PutBe16(number, pSelRec->record_no);
    std::vector<unsigned char> reply;
    return Exchange(ZUNACMD_DEL_SEL_RECORD, number, sizeof(number), sizeof(*pSelRec), reply);
}

ZUNA_ERROR CX9ZunaIfc::ClearSelList(uint16_t* numRecs)
{
    uint16_t count = 0;
    const ZUNA_ERROR status = ExchangeFields(ZUNACMD_CLEAR_SEL_LIST, nullptr, 0, &count, sizeof(count), {{0, 2}});
    if (status == ZUNA_E_SUCCESS) *numRecs = count;
    return status;
}

ZUNA_ERROR CX9ZunaIfc::GetSelPolicy(uint8_t* policy)
{
    return QueryRecord(ZUNACMD_GET_SEL_POLICY, policy, sizeof(*policy));
}

ZUNA_ERROR CX9ZunaIfc::SetSelPolicy(uint8_t policy)
{
    return SendRecord(ZUNACMD_SET_SEL_POLICY, &policy, sizeof(policy));
}
