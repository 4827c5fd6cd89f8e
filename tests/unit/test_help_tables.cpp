// The help comes from the command tables: every entry shows its words, or is covered by
// an entry of the same word, or is one of the few deliberately hidden.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <set>
#include <span>
#include <string>
#include <strings.h>
#include <unistd.h>

#include "zunaCmd.h"

namespace {

// The help as Usage prints it, with standard input a file of Enter presses.
std::string CapturedHelp(int full)
{
    const std::string name = "/tmp/help_enter_" + std::to_string(::getpid());
    const int enter = ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    EXPECT_GE(enter, 0);
    EXPECT_EQ(::write(enter, "\n\n\n\n\n\n", 6), 6);
    ::lseek(enter, 0, SEEK_SET);
    const int savedStdin = ::dup(STDIN_FILENO);
    ::dup2(enter, STDIN_FILENO);
    ::testing::internal::CaptureStdout();
    Usage("kelvast", full);
    const std::string help = ::testing::internal::GetCapturedStdout();
    ::dup2(savedStdin, STDIN_FILENO);
    ::close(savedStdin);
    ::close(enter);
    ::unlink(name.c_str());
    std::clearerr(stdin);
    return help;
}

bool HasWords(const std::string& text, const std::string& words)
{
    return strcasestr(text.c_str(), words.c_str()) != nullptr;
}

template <typename Entry>
void CheckTable(std::span<const Entry> table, const char* group, const std::string& shortHelp,
                const std::string& fullHelp, std::set<std::string>& hidden)
{
    for (const Entry& entry : table) {
        const std::string words = (group ? "-" + std::string(group) + " -" : "-") + entry.word;
        SCOPED_TRACE(words);
        switch (entry.shown) {
        case HelpShown::kAlways:
        case HelpShown::kFullOnly:
            ASSERT_NE(entry.help, nullptr);
            EXPECT_TRUE(HasWords(entry.help, words + ' ') || HasWords(entry.help, words + '\n')) << entry.help;
            EXPECT_NE(fullHelp.find(entry.help), std::string::npos);
            EXPECT_EQ(shortHelp.find(entry.help) != std::string::npos, entry.shown == HelpShown::kAlways);
            break;
        case HelpShown::kCovered: {
            EXPECT_EQ(entry.help, nullptr);
            const bool covered = std::any_of(table.begin(), table.end(), [&](const Entry& other) {
                return other.help != nullptr && strcasecmp(other.word, entry.word) == 0;
            });
            EXPECT_TRUE(covered);
            break;
        }
        case HelpShown::kHidden:
            EXPECT_EQ(entry.help, nullptr);
            if constexpr (requires { entry.wordCount; })
                hidden.insert(words + '/' + std::to_string(entry.wordCount));
            else
                hidden.insert(words);
            break;
        }
    }
}

TEST(HelpTables, EveryEntryIsInTheHelpOrCoveredOrHidden)
{
    const std::string shortHelp = CapturedHelp(0);
    const std::string fullHelp = CapturedHelp(1);
    ASSERT_NE(fullHelp.find("    -GetCardHealth \n"), std::string::npos) << "the help ran to its last page";

    std::set<std::string> hidden;
    for (const HelpBlock& block : HelpBlocks()) {
        CheckTable(block.commands, block.group, shortHelp, fullHelp, hidden);
        CheckTable(block.singles, nullptr, shortHelp, fullHelp, hidden);
    }
    const std::set<std::string> expected = {
        "-sel -postEvent/6",    "-Gen -SetTime/4",  "-Gen -SetTime/5",  "-Gen -SetName/4",
        "-flash -upload/4",     "-flash -download/4", "-flash -Flash/3", "-flash -get/3",
    };
    EXPECT_EQ(hidden, expected);
}

}  // namespace
