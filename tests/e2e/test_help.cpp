// The help: its two forms, what brings each up, and the program name it shows.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>
#include <string>

#include "expected_text.h"
#include "harness.h"

namespace e2e {
namespace {

// No words: the short help; with standard input at its end the five waits return at
// once and the whole help is printed.
TEST(Help, NoWordsShowsTheShortHelp)
{
    EXPECT_TRUE(RunMatches(RunWords({}), 8, HelpText(KELVAST_BIN, false), ""));
}

// A first word whose second character is a lower-case h: the full help, whatever the
// first character and whatever follows.
struct FirstWordCase {
    const char* name;
    const char* word;
};

std::ostream& operator<<(std::ostream& os, const FirstWordCase& c)
{
    return os << c.name;
}

class FullHelp : public ::testing::TestWithParam<FirstWordCase> {};

TEST_P(FullHelp, ShowsTheFullHelp)
{
    EXPECT_TRUE(RunMatches(RunWords({GetParam().word}), 8, HelpText(KELVAST_BIN, true), ""));
}

INSTANTIATE_TEST_SUITE_P(FirstWords, FullHelp,
                         ::testing::Values(FirstWordCase{"DashH", "-h"}, FirstWordCase{"DashHelp", "-help"},
                                           FirstWordCase{"DashHb", "-hb"}, FirstWordCase{"AnyFirstCharacter", "xh"},
                                           FirstWordCase{"SlashHello", "/hello"}),
                         CaseName());

TEST(Help, FullHelpIgnoresTheWordsAfterIt)
{
    EXPECT_TRUE(RunMatches(RunWords({"-h", "-nw", TestAddress(), "admin"}), 8, HelpText(KELVAST_BIN, true), ""));
}

// Only a backslash separates the program's name from a path: started through a
// path with slashes the whole path shows (every other test starts kelvast by its
// absolute path); through a name with backslashes only the part after the last one.
TEST(Help, ProgramNameIsThePartAfterTheLastBackslash)
{
    char dirTemplate[] = "/tmp/kelvast-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string dir = dirTemplate;
    const std::string link = dir + "/tools\\bin\\kv-admin";
    ASSERT_EQ(symlink(KELVAST_BIN, link.c_str()), 0);

    KelvastRun run;
    run.program = link;
    const RunResult result = RunKelvast(run);
    unlink(link.c_str());
    rmdir(dir.c_str());

    EXPECT_TRUE(RunMatches(result, 8, HelpText("kv-admin", false), ""));
}

}  // namespace
}  // namespace e2e
