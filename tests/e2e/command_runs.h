// Small helpers shared by the tests of the command groups: word lists and the text a
// logged-in run prints around a command's own output.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "card_model.h"
#include "expected_text.h"
#include "harness.h"
#include "network.h"

namespace e2e::groups {

using Words = std::vector<std::string>;

// Parameters print as their case name (ctest shows it beside the test's name). A test
// file whose cases live in its own unnamed namespace brings this in there with
// `using groups::operator<<;`, where the printer's argument-dependent lookup finds it.
template <typename Case>
    requires requires(const Case& c) { c.name; }
std::ostream& operator<<(std::ostream& os, const Case& c)
{
    return os << c.name;
}

// The names in path's directory that start with path's own name and are not it.
inline Words Leftovers(const std::string& path)
{
    const std::filesystem::path file(path);
    Words found;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path())) {
        const std::string name = entry.path().filename();
        if (name != file.filename() && name.starts_with(file.filename().string())) found.push_back(name);
    }
    return found;
}

// The flash as a card reads it back: `image` with the card's MAC address record.
inline constexpr std::size_t kMacRecord = std::size_t{kelcard::kMacRecordBlock} * 65536 + kelcard::kMacRecordOffset;
inline std::vector<unsigned char> WithMac(std::vector<unsigned char> image, std::array<uint8_t, 6> mac = kelcard::kDefaultMac)
{
    unsigned char* record = &image.at(kMacRecord);
    std::copy(mac.begin(), mac.end(), record);
    record[mac.size()] = calc_chksum(mac.data(), int(mac.size()));
    return image;
}

inline Words Concat(Words a, const Words& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// An accepted command: the login, the command's output, the closing banner.
inline std::string Accepted(const std::string& commandOutput)
{
    return kLoggedIn + commandOutput + kBanner;
}

// Words found invalid: the login, what the command printed, the help question.
inline std::string Refused(const std::string& commandOutput = {})
{
    return kLoggedIn + commandOutput + kInvalidWordsAsked;
}

// A command the card refuses: its failure line between the login and the banner, and
// the card's status as the exit status. `words` start after the group word.
struct FailureCase {
    const char* name;
    Words cardOptions;
    Words words;
    std::string output;  // between the login line and the banner
    int status;
};

class CardFailure : public CardTest, public ::testing::WithParamInterface<FailureCase> {};

// The cases of one group, with the group word put in front of their words.
inline std::vector<FailureCase> InGroup(const std::string& group, std::vector<FailureCase> cases)
{
    for (FailureCase& c : cases) c.words.insert(c.words.begin(), group);
    return cases;
}

}  // namespace e2e::groups
