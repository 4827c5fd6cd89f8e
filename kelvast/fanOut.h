// kelvast: one command on many cards. The -nw word may name a list of cards instead
// of one address:
//
//   @FILE             one address a line (or a range); empty lines and # comments skipped
//   A.B.C.D-E         the addresses A.B.C.D to A.B.C.E
//   A.B.C.D-A.B.C.E   the same, written in full
//
// Each card runs in a child process of its own through the single-card path, at most
// --fanout of them at once. A card's output is kept aside while it runs and printed as
// one block when it ends, each line prefixed "ADDRESS: " (with --json its JSON line
// as it is), blocks in the order the cards end. A summary line on standard error ends
// the run.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class JsonStdout;

inline constexpr std::size_t kMaxCards = 65536;          // addresses in one list
inline constexpr std::size_t kMaxCardListBytes = 4 << 20; // size of a list file

// True when the -nw word names a list of cards (a word starting with '@', or one
// made of digits and dots with one '-'); any other word is one card's address, as
// before.
bool NamesCardList(std::string_view word);

// The addresses the list word names, in order. False with the reason in *error (the
// word, or the file and line) for a file that cannot be read, a line or range that is
// not an IPv4 address, an address given twice, an empty list or more than kMaxCards.
bool ExpandCardList(std::string_view word, std::vector<std::string>* cards, std::string* error);
// The same for the text of a list file; `name` names it in the reasons.
bool ParseCardListText(std::string_view text, std::string_view name, std::vector<std::string>* cards,
                       std::string* error);

// How one card ended: its address and exit status (128 + the signal for a card whose
// process was killed).
struct CardEnd {
    std::string card;
    int exitStatus;
};

// Runs runOne(card) in a child process for every card, at most `inFlight` at once,
// and prints each card's output when it ends. `json` set: the child's standard
// output holds JSON lines, written unchanged through it; its standard error is
// prefixed on ours. runOne's return value is the child's exit status. The children
// have no standard input. allStarted is called once, as soon as the last card's child
// has started (or could not be). Returns the cards in the order they ended.
std::vector<CardEnd> RunOnEveryCard(const std::vector<std::string>& cards, unsigned inFlight, JsonStdout* json,
                                    const std::function<int(const std::string& card)>& runOne,
                                    const std::function<void()>& allStarted);

// The summary line: "N cards: S succeeded, F failed" and each failed card with its
// exit status.
std::string FanOutSummary(const std::vector<CardEnd>& ends);
