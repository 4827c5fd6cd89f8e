// The client's record queries (card_record_queries.h) against any replies: the input's
// first byte picks the query, the rest is the script of replies it gets
// (scripted_replies.h). Nothing is read or written past a reply or a record, and a
// query that fails leaves its record as the caller gave it.
#include <cstdlib>
#include <memory>

#include "card_record_queries.h"
#include "scripted_replies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    // One client for every input; its medium starts each input's script afresh.
    static auto* medium = new ScriptedReplies(nullptr, 0);
    static CX9ZunaIfc client{std::unique_ptr<CX9ZunaMedium>(medium)};
    medium->Restart(data + 1, size - 1);
    const cardrecords::RecordQuery& query = cardrecords::kRecordQueries[data[0] % cardrecords::kRecordQueryCount];
    query.run(client, [](bool changed, ZUNA_ERROR status) {
        if (changed && status != ZUNA_E_SUCCESS) std::abort();
    });
    return 0;
}
