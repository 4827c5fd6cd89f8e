// kelvast -script FILE: lines run over one connection and one login, each between its
// rules; an invalid line ends the run with 8 at once.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "command_runs.h"

namespace e2e {
namespace {

using namespace groups;
using groups::operator<<;

const std::string kRule = "****************************************************\n";
const std::string kHbLine = "Heartbeat interval is 300 seconds\n";

// A script file of the test's own, removed afterwards.
class ScriptFile {
public:
    explicit ScriptFile(const std::string& text)
    {
        char name[] = "/tmp/kelvast-script-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd >= 0) {
            m_path = name;
            EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
            ::close(fd);
        }
    }
    ~ScriptFile() { ::unlink(m_path.c_str()); }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// One line run: its rules around the line as read, then the command's output.
std::string Ran(const std::string& line, const std::string& output)
{
    return kRule + "Processing script line : " + line + "\n" + kRule + output + kRule + "\n\n";
}

std::string Rejected(const std::string& line)
{
    return kRule + "Processing script line : " + line + "\n" + kRule + "Error processing Command Script line : " + line +
           "\n";
}

struct ScriptCase {
    const char* name;
    std::string text;
    Words cardOptions;
    int status;
    std::string output;  // after the login
};

class Script : public CardTest, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(Script, RunsOverOneLogin)
{
    const ScriptCase& c = GetParam();
    ASSERT_TRUE(StartCard(c.cardOptions));
    const ScriptFile file(c.text);
    EXPECT_TRUE(RunMatches(Kelvast({"-script", file.Path()}), c.status, kLoggedIn + c.output, kPasswordTerminal));
}

const std::string kLongLine = "-HB -GetHB a b c d e f g h i j k l m n o p q r s t u v w\n";
const std::string kBlanksPast254 = "-HB -GetHB" + std::string(300, ' ') + "\n";
const std::string kTwoLines = Ran("-gen -GetName\n", "ORVA Name : ") + Ran("-HB -GetHB\n", kHbLine);

INSTANTIATE_TEST_SUITE_P(
    Lines, Script,
    ::testing::Values(
        ScriptCase{"TwoLines", "-gen -GetName\n-HB -GetHB\n", {}, 0, kTwoLines + kBanner},
        ScriptCase{"LastLineGivesTheStatus", "-gen -GetName\n-HB -GetHB\n", {"--fail", "0x0A00:5"}, 5,
                   Ran("-gen -GetName\n", "ORVA Name : ") +
                       Ran("-HB -GetHB\n", "Get Heartbeat Interval Failed, Permission denied\n") + kBanner},
        ScriptCase{"EmptyLineEndsTheScript", "-gen -GetName\n\n-HB -GetHB\n", {}, 0,
                   Ran("-gen -GetName\n", "ORVA Name : ") + kBanner},
        ScriptCase{"Separators", "-HB,-GetHB;  !\n", {}, 0, Ran("-HB,-GetHB;  !\n", kHbLine) + kBanner},
        ScriptCase{"NoLineAtAll", "", {}, 0, kBanner},
        ScriptCase{"CarriageReturnsStayInWords", "-HB -GetHB\r\n", {}, 8, Rejected("-HB -GetHB\r\n")},
        ScriptCase{"InvalidThirdLine", "-gen -GetName\n-HB -GetHB\n-bogus -x\n-HB -GetHB\n", {}, 8,
                   kTwoLines + Rejected("-bogus -x\n")},
        ScriptCase{"SeparatorsOnly", " ,; \n-HB -GetHB\n", {}, 8, Rejected(" ,; \n")},
        // Lines are read whole: blanks past column 254 are separators at a line's end.
        ScriptCase{"TrailingBlanksPastColumn254", kBlanksPast254 + "-gen -GetName\n", {}, 0,
                   Ran(kBlanksPast254, kHbLine) + Ran("-gen -GetName\n", "ORVA Name : ") + kBanner},
        // Two words and 23 letters: 25 words, one more than a line holds.
        ScriptCase{"MoreWordsThanALineHolds", kLongLine, {}, 8, Rejected(kLongLine)}),
    CaseName());

using ScriptWords = CardTest;

TEST_F(ScriptWords, MissingOrUnreadableFileIsInvalidWords)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-script"}), 8, Refused(), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-script", "/nonexistent/script"}), 8,
                           Refused("canot open '/nonexistent/script':No such  file\n"), kPasswordTerminal));
}

TEST(ScriptOverDrive, RunsTheSameLinesWithoutLogin)
{
    const ScriptFile file("-gen -GetName\n-HB -GetHB\n");
    const RunResult run = RunWithDrive({}, {KELVAST_BIN, "-cd", "-script", file.Path()});
    EXPECT_TRUE(RunMatches(run, 0, kConnected + kTwoLines + kBanner, ""));
}

}  // namespace
}  // namespace e2e
