// The card model against arbitrary request packets, on a session that needs a login
// and on one that does not: it must never crash, and every reply it gives must be a
// well-formed packet.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "card_model.h"
#include "x9endian.h"
#include "zunahdr.h"

namespace {

void CheckReply(const std::vector<uint8_t>& reply, bool dropped)
{
    if (dropped) return;
    if (reply.size() < ZUNA_HEADER_LEN) std::abort();
    unsigned sum = 0;
    for (std::size_t i = 0; i < ZUNA_HEADER_LEN; ++i) sum += reply[i];
    if ((sum & 0xFF) != 0) std::abort();
    if (GetLe32(reply.data() + 12) != reply.size() - ZUNA_HEADER_LEN) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    static kelcard::CardModel card;
    card.SetClockSource([] { return int64_t{1600000000}; });
    for (bool overNetwork : {true, false}) {
        kelcard::Session session;
        session.requireLogin = overNetwork;
        session.loggedIn = !overNetwork;
        const std::vector<uint8_t> reply = card.HandlePacket(session, data, size);
        CheckReply(reply, session.dropWithoutReply);
    }
    return 0;
}
