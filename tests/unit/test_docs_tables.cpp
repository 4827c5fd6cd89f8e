// The manual pages and the bash completion follow the command tables: the pages name
// every command word of kelvast and every option of kelcard, and the completion's word
// lists are exactly the tables' words (all compared in lower case).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "kelcard_options.h"
#include "zunaCmd.h"

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The file of the source tree, in lower case, its lines joined by blanks.
std::string SourceFile(const std::string& path)
{
    std::ifstream in(std::string(KELVAST_SOURCE_DIR) + "/" + path);
    EXPECT_TRUE(in.is_open()) << path;
    std::ostringstream text;
    text << in.rdbuf();
    std::string joined = Lower(text.str());
    std::replace(joined.begin(), joined.end(), '\n', ' ');
    return joined;
}

// True when the roff text names the word (dashes written "\-") as a whole word.
bool PageNames(const std::string& page, const std::string& word)
{
    std::string roff;
    for (char c : Lower(word)) roff += c == '-' ? std::string("\\-") : std::string(1, c);
    for (std::size_t at = page.find(roff); at != std::string::npos; at = page.find(roff, at + 1)) {
        const std::size_t end = at + roff.size();
        if (end == page.size() || !std::isalnum(static_cast<unsigned char>(page[end]))) return true;
    }
    return false;
}

// The words of the quoted list that follows `opening` in the script.
std::set<std::string> ListAfter(const std::string& script, const std::string& opening)
{
    const std::size_t start = script.find(Lower(opening));
    if (start == std::string::npos) return {"(no list " + opening + ")"};
    const std::size_t from = start + opening.size();
    std::istringstream list(script.substr(from, script.find('"', from) - from));
    std::set<std::string> words;
    for (std::string word; list >> word;) words.insert(word);
    return words;
}

template <typename Entry>
std::set<std::string> DashWords(std::span<const Entry> table)
{
    std::set<std::string> words;
    for (const Entry& entry : table) words.insert(Lower(std::string("-") + entry.word));
    return words;
}

}  // namespace

TEST(DocsTables, ManPagesNameEveryCommandWordOptionAndExitStatus)
{
    const std::string kelvast = SourceFile("docs/man/kelvast.8");
    std::set<std::string> words;
    for (const char* group : GroupWords()) words.insert(std::string("-") + group);
    for (const HelpBlock& block : HelpBlocks()) {
        words.merge(DashWords(block.commands));
        words.merge(DashWords(block.singles));
    }
    for (const std::string& word : words) EXPECT_TRUE(PageNames(kelvast, word)) << word;
    for (const ExitStatusRow& row : kExitStatusTable)
        EXPECT_NE(kelvast.find(".b " + std::to_string(row.status) + " " + Lower(row.meaning)), std::string::npos)
            << row.status;
    const std::string kelcard = SourceFile("docs/man/kelcard.1");
    for (std::string_view option : kelcard::OptionWords()) EXPECT_TRUE(PageNames(kelcard, std::string(option))) << option;
}

TEST(DocsTables, CompletionListsAreTheTables)
{
    const std::string kelvast = SourceFile("contrib/completion/kelvast");
    std::set<std::string> groups = {"-script"};
    for (const char* group : GroupWords()) groups.insert(Lower(std::string("-") + group));
    for (const HelpBlock& block : HelpBlocks()) {
        groups.merge(DashWords(block.singles));
        if (block.group != nullptr) {
            EXPECT_EQ(ListAfter(kelvast, "[" + Lower(block.group) + "]=\""), DashWords(block.commands)) << block.group;
        }
    }
    EXPECT_EQ(ListAfter(kelvast, "_kelvast_groups=\""), groups);

    const std::string kelcard = SourceFile("contrib/completion/kelcard");
    std::set<std::string> listed;
    for (const char* list : {"_kelcard_serve_options=\"", "_kelcard_drive_options=\"", "_kelcard_mkimage_options=\""})
        listed.merge(ListAfter(kelcard, list));
    const std::vector<std::string_view> options = kelcard::OptionWords();
    EXPECT_EQ(listed, std::set<std::string>(options.begin(), options.end()));
}
