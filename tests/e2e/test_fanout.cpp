// kelvast -nw with a list of cards: a range or a list file, one child per card, the
// password asked once, one block of output per card, a summary and exit status 1 when
// a card failed; a list that is not valid is refused before anything is asked or sent.
//
// Addresses: 127.T.250.N. TestAddress() keeps the third number below 100 and the
// kelcard fleet tests take 100 to 249, so 250 is this file's alone; each test here
// that starts cards takes its own hundred of the last number.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "expected_text.h"
#include "harness.h"

namespace e2e {
namespace {

constexpr int kCards = 50;  // served; card kCards + 1 of the list has no card

class FanOut : public ::testing::Test {
protected:
    void SetUp() override
    {
        unsigned t = 0;
        ASSERT_EQ(std::sscanf(TestAddress().c_str(), "127.%u.", &t), 1);
        m_net = "127." + std::to_string(t) + ".250.";
    }
    void TearDown() override
    {
        card.Stop();
        for (const std::string& file : m_files) std::remove(file.c_str());
    }
    std::string CardAddress(int index) const { return m_net + std::to_string(m_first + index); }
    // The list's range: the kCards served cards and one address with no card.
    std::string ListRange() const { return CardAddress(0) + "-" + std::to_string(m_first + kCards); }
    // The test's own hundred of addresses (0 or 1).
    ::testing::AssertionResult StartCards(int hundred)
    {
        m_first = 100 * hundred + 1;
        return card.Start(CardAddress(0) + "-" + CardAddress(kCards - 1));
    }
    std::string File(const std::string& text, mode_t mode = 0600)
    {
        const std::string path = ::testing::TempDir() + "kelvast-fanout-" + std::to_string(::getpid()) + "-" +
                                 std::to_string(m_files.size());
        std::ofstream(path) << text;
        ::chmod(path.c_str(), mode);
        m_files.push_back(path);
        return path;
    }
    std::string Summary() const
    {
        return "kelvast: 51 cards: 50 succeeded, 1 failed: " + CardAddress(kCards) + " (exit status 33)\n";
    }

    Card card;
    std::string m_net;
    int m_first = 1;
    std::vector<std::string> m_files;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Text: the password asked once on the terminal; each card's lines in one block of
// their own, prefixed with its address; the summary on standard error; exit status 1.
TEST_F(FanOut, TextBlocksOnePerCardAndASummary)
{
    ASSERT_TRUE(StartCards(0));
    KelvastRun run;
    run.args = {"-nw", ListRange(), "admin", "-gen", "-GetName"};
    run.password = "admin";
    const RunResult result = RunKelvast(run);
    ASSERT_TRUE(result.exited) << Describe(result);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.terminal, kPasswordTerminal);
    EXPECT_EQ(result.err, Summary());
    ASSERT_EQ(result.out.substr(0, 1), "\n");  // the line end after the password

    // The blocks: consecutive lines of one card. A card seen in two blocks would be
    // output interleaved with another's.
    std::vector<std::pair<std::string, std::string>> blocks;
    for (const std::string& line : Lines(result.out.substr(1))) {
        const std::string card = line.substr(0, line.find(": "));
        if (blocks.empty() || blocks.back().first != card) blocks.emplace_back(card, "");
        blocks.back().second += line.substr(card.size() + 2) + "\n";
    }
    std::map<std::string, std::string> byCard(blocks.begin(), blocks.end());
    ASSERT_EQ(blocks.size(), byCard.size()) << result.out;
    ASSERT_EQ(byCard.size(), static_cast<std::size_t>(kCards + 1));
    for (int i = 0; i < kCards; ++i)
        EXPECT_EQ(byCard[CardAddress(i)], kConnected + "Login Successful !\nORVA Name : " + kBanner) << i;
    EXPECT_EQ(byCard[CardAddress(kCards)], "Connecting..Error during connect \n");
}

// --json: one line per card, exactly the single-card object; with --fanout 1 the
// cards run one after the other, in the list's order. The list file's comments and
// empty lines are skipped.
TEST_F(FanOut, JsonLinesOnePerCardInListOrderWithFanoutOne)
{
    ASSERT_TRUE(StartCards(1));
    const std::string list = File("# rack 1\n" + CardAddress(0) + "-" + CardAddress(kCards - 1) + "\n\n" +
                                  CardAddress(kCards) + "   # no card here\n");
    KelvastRun run;
    run.args = {"--json", "--fanout", "1", "--password-file", File("admin\n"), "-nw", "@" + list,
                "admin", "-gen", "-GetName"};
    const RunResult result = RunKelvast(run);
    ASSERT_TRUE(result.exited) << Describe(result);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.terminal, "");
    const std::vector<std::string> errLines = Lines(result.err);
    ASSERT_FALSE(errLines.empty());
    EXPECT_EQ(errLines.back() + "\n", Summary());

    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kCards + 1)) << result.out;
    for (int i = 0; i <= kCards; ++i) {
        RunResult one;
        one.exited = true;
        one.status = i < kCards ? 0 : 33;
        one.out = lines[i] + "\n";
        nlohmann::json object;
        ASSERT_TRUE(ParsedJsonRun(one, &object)) << i;
        EXPECT_EQ(object["card"], CardAddress(i));
        EXPECT_EQ(object["command"], nlohmann::json({"-gen", "-GetName"}));
        if (i < kCards) {
            EXPECT_EQ(object["result"], nlohmann::json({{"name", ""}}));
        }
    }
}

// A list that names an address that is not valid, or one twice, is refused whole,
// naming its line: exit status 8, nothing asked, nothing sent.
TEST_F(FanOut, InvalidOrRepeatedAddressesAreRefusedNamingTheLine)
{
    const std::string bad = File("127.0.0.1\n\n127.0.0.300\n");
    const std::string twice = File("127.0.0.1-3\n# again\n127.0.0.2\n");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"@" + bad, "card list '" + bad + "' line 3: '127.0.0.300' is not an IPv4 address (A.B.C.D) or a range "
                    "(A.B.C.D-E)"},
        {"@" + twice, "card list '" + twice + "' line 3: 127.0.0.2 is given twice (first on line 1)"},
        {"127.0.0.9-3", "card range '127.0.0.9-3' is not a range A.B.C.D-E of the last number (D to E, at most 255)"},
        {"@" + ::testing::TempDir() + "no-such-list", "card list '" + ::testing::TempDir() +
                                                          "no-such-list': No such file or directory"},
    };
    for (const auto& [word, reason] : cases) {
        KelvastRun run;
        run.args = {"-nw", word, "admin", "-gen", "-GetName"};
        run.password = "admin";
        const RunResult result = RunKelvast(run);
        EXPECT_TRUE(result.exited && result.status == 8 && result.out.empty() && result.terminal.empty())
            << Describe(result);
        EXPECT_EQ(result.err, "kelvast: " + reason + "\n");
    }
}

}  // namespace
}  // namespace e2e
