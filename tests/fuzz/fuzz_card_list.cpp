// The card lists of -nw: the text of a list file (the whole input) and a list word
// (the input's first line), never a file. A list is taken only whole: at least one
// card, at most kMaxCards, each a canonical dotted IPv4 address given once; a refusal
// names its reason. A word that expands names a list.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "fanOut.h"
#include "network.h"

namespace {

void CheckList(bool taken, const std::vector<std::string>& cards, const std::string& error)
{
    if (!taken) {
        if (error.empty()) std::abort();
        return;
    }
    if (cards.empty() || cards.size() > kMaxCards) std::abort();
    std::unordered_set<std::string_view> seen;
    for (const std::string& card : cards) {
        const auto address = ParseDottedIPv4(card.data(), card.size());
        if (!address || !seen.insert(card).second) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> cards;
    std::string error;
    CheckList(ParseCardListText(text, "list", &cards, &error), cards, error);

    // A word holds no NUL and no line end; a word naming a file is not opened here.
    const std::string_view word = text.substr(0, text.find_first_of(std::string_view("\n\0", 2)));
    if (word.empty() || word[0] == '@') return 0;
    error.clear();
    const bool taken = ExpandCardList(word, &cards, &error);
    CheckList(taken, cards, error);
    if (taken && !NamesCardList(word) && cards.size() != 1) std::abort();
    return 0;
}
