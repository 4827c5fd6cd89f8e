// Event-log operations (command codes 0x0400 to 0x0408).
#include <cstddef>
#include <cstring>

#include "x9endian.h"
#include "zunacmds.h"
#include "x9zunaifc.h"

namespace {
// Turns one big-endian field of a record into host order in place, or back: each is
// its own inverse on any host (a little-endian host reverses the bytes, a big-endian
// one leaves them as they are).
}  // namespace

void CX9ZunaIfc::b2l_selRecord(void* pRec)
{
    // The first 48 bytes of both record kinds share one layout.
    FixBe16InPlace(pRec, offsetof(DUVX9_SEL_RECORD_TAG, record_no));
    FixBe32InPlace(pRec, offsetof(DUVX9_SEL_RECORD_TAG, time));
    FixBe16InPlace(pRec, offsetof(DUVX9_SEL_RECORD_TAG, duvx9_event_id));
    FixBe16InPlace(pRec, offsetof(DUVX9_SEL_RECORD_TAG, value2));
}

void CX9ZunaIfc::b2l_selInfo(SEL_STATE_INFO_TAG* pInfo)
{
    FixBe16InPlace(pInfo, offsetof(SEL_STATE_INFO_TAG, no_of_records));
    FixBe16InPlace(pInfo, offsetof(SEL_STATE_INFO_TAG, free_space));
    FixBe32InPlace(pInfo, offsetof(SEL_STATE_INFO_TAG, last_add_time));
    FixBe32InPlace(pInfo, offsetof(SEL_STATE_INFO_TAG, last_del_time));
}

ZUNA_ERROR CX9ZunaIfc::GetSelInfo(SEL_STATE_INFO_TAG* pSelState)
{
    const ZUNA_ERROR status = QueryRecord(ZUNACMD_GET_SEL_INFO, pSelState, sizeof(*pSelState));
    if (status == ZUNA_E_SUCCESS) b2l_selInfo(pSelState);
    return status;
}

ZUNA_ERROR CX9ZunaIfc::GetSelRecord(DUVX9_SEL_RECORD_TAG* pSelRec)
{
    b2l_selRecord(pSelRec);
    const ZUNA_ERROR status = ExchangeRecord(ZUNACMD_GET_SEL_RECORD, pSelRec, sizeof(*pSelRec), sizeof(*pSelRec));
    if (status == ZUNA_E_SUCCESS) b2l_selRecord(pSelRec);
    return status;
}

ZUNA_ERROR CX9ZunaIfc::GetSelRecordEx(EVENT_RECORD_EXT_tag* pSelRecEx)
{
    b2l_selRecord(pSelRecEx);
    const ZUNA_ERROR status =
        ExchangeRecord(ZUNACMD_GET_SEL_RECORD_EX, pSelRecEx, sizeof(*pSelRecEx), sizeof(*pSelRecEx));
    if (status == ZUNA_E_SUCCESS) b2l_selRecord(pSelRecEx);
    return status;
}

ZUNA_ERROR CX9ZunaIfc::AddSelRecord(DUVX9_SEL_RECORD_TAG* pSelRec)
{
    b2l_selRecord(pSelRec);
    return SendRecord(ZUNACMD_ADD_SEL_RECORD, pSelRec, sizeof(*pSelRec));
}

ZUNA_ERROR CX9ZunaIfc::PostEvent(DUVX9_SEL_RECORD_TAG* pSelRec)
{
    b2l_selRecord(pSelRec);
    return SendRecord(ZUNACMD_POST_EVENT, pSelRec, sizeof(*pSelRec));
}

ZUNA_ERROR CX9ZunaIfc::DelSelRecord(DUVX9_SEL_RECORD_TAG* pSelRec)
{
    b2l_selRecord(pSelRec);
    uint32_t recvLen = 0;
    return SendZunaCommand(ZUNACMD_DEL_SEL_RECORD, pSelRec, sizeof(pSelRec->record_no), &recvLen, 0,
                           sizeof(*pSelRec));
}

ZUNA_ERROR CX9ZunaIfc::ClearSelList(uint16_t* numRecs)
{
    uint16_t count = 0;
    const ZUNA_ERROR status = QueryRecord(ZUNACMD_CLEAR_SEL_LIST, &count, sizeof(count));
    if (status == ZUNA_E_SUCCESS) *numRecs = Be16ToHost(count);
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
