// kelcard serving a range of cards, each keeping its saved configuration in a state
// file of --state-dir across a restart of kelcard.
//
// Addresses: TestAddress() is 127.T.X.Y with T at least 1 and X.Y from the test's rank
// (X below 100 for fewer than 15000 tests); the other tests' fixed addresses are all in
// 127.0.0.0/16. A test here takes 127.T.(100 + rank % 150).1-50, which no other test
// uses, and the tests of this file, consecutive in rank, never share one.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "expected_text.h"
#include "harness.h"

namespace e2e {
namespace {

constexpr int kCards = 50;

// Card `index` (0 to kCards - 1) of this test's block, or the whole block for -1.
std::string FleetAddress(int index)
{
    unsigned t = 0, x = 0, y = 0;
    EXPECT_EQ(std::sscanf(TestAddress().c_str(), "127.%u.%u.%u", &t, &x, &y), 3);
    const std::string net = "127." + std::to_string(t) + "." + std::to_string(100 + ((x - 40) * 250 + y - 1) % 150) + ".";
    return index < 0 ? net + "1-" + net + std::to_string(kCards) : net + std::to_string(1 + index);
}

RunResult KelvastOn(int card, const std::vector<std::string>& words, const std::string& input = {})
{
    KelvastRun run;
    run.args = {"-nw", FleetAddress(card), "admin"};
    run.args.insert(run.args.end(), words.begin(), words.end());
    run.password = "admin";
    run.input = input;
    return RunKelvast(run);
}

std::string Accepted(const std::string& output)
{
    return kLoggedIn + output + kBanner;
}

class FleetCard : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path() / ("kelcard-fleet-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directory(m_dir);
    }
    void TearDown() override
    {
        card.Stop();
        std::filesystem::remove_all(m_dir);
    }
    ::testing::AssertionResult StartFleet() { return card.Start(FleetAddress(-1), {"--state-dir", m_dir.string()}); }
    std::string StateFile(int index) const { return (m_dir / FleetAddress(index)).string(); }
    ::testing::AssertionResult NameIs(int index, const std::string& name)
    {
        return RunMatches(KelvastOn(index, {"-gen", "-GetName"}), 0, Accepted("ORVA Name : " + name),
                          kPasswordTerminal);
    }
    ::testing::AssertionResult SetName(int index, const std::string& name)
    {
        return RunMatches(KelvastOn(index, {"-gen", "-SetName", name}), 0, Accepted(""), kPasswordTerminal);
    }

    Card card;
    std::filesystem::path m_dir;
};

// A name saved by -flash -saveconfig or by a reset that saves comes back after kelcard
// restarts; a name set but not saved does not. Each card has a MAC address of its own.
TEST_F(FleetCard, SavedConfigurationSurvivesARestartUnsavedDoesNot)
{
    ASSERT_TRUE(StartFleet());
    ASSERT_TRUE(SetName(7, "flashsaved"));
    ASSERT_TRUE(RunMatches(KelvastOn(7, {"-flash", "-saveconfig"}), 0, Accepted(""), kPasswordTerminal));
    ASSERT_TRUE(SetName(8, "unsaved"));
    ASSERT_TRUE(SetName(kCards - 1, "resetsaved"));
    ASSERT_TRUE(RunMatches(KelvastOn(kCards - 1, {"-gen", "-Reset", "-SaveConfig"}, "y\n"), 0,
                           Accepted("Are you sure you want to reset the ORVA(y/n)?\n"
                                    "The ORVA has been reset successfully !\n"),
                           kPasswordTerminal));
    EXPECT_TRUE(std::filesystem::exists(StateFile(7)));
    EXPECT_FALSE(std::filesystem::exists(StateFile(8)));

    ASSERT_TRUE(StartFleet());
    EXPECT_TRUE(NameIs(7, "flashsaved"));
    EXPECT_TRUE(NameIs(8, ""));
    EXPECT_TRUE(NameIs(kCards - 1, "resetsaved"));
    EXPECT_TRUE(RunMatches(KelvastOn(0, {"-net", "-GetMAC"}), 0, Accepted("MAC Address is : 00:2A:3B:4C:5D:1D \n"),
                           kPasswordTerminal));
    EXPECT_TRUE(RunMatches(KelvastOn(kCards - 1, {"-net", "-GetMAC"}), 0,
                           Accepted("MAC Address is : 00:2A:3B:4C:5D:4E \n"), kPasswordTerminal));
    EXPECT_EQ(card.ErrorText(), "");
}

// A state file that does not parse is named on standard error and that card starts
// from its defaults; the others load theirs.
TEST_F(FleetCard, DamagedStateFileIsReportedAndThatCardStartsClean)
{
    ASSERT_TRUE(StartFleet());
    for (const int index : {3, 4}) {
        ASSERT_TRUE(SetName(index, "card" + std::to_string(index)));
        ASSERT_TRUE(RunMatches(KelvastOn(index, {"-flash", "-saveconfig"}), 0, Accepted(""), kPasswordTerminal));
    }
    card.Stop();
    {
        std::fstream file(StateFile(3), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(-1, std::ios::end);
        file.put('\xA5');
    }

    ASSERT_TRUE(StartFleet());
    EXPECT_EQ(card.ErrorText(), "kelcard: " + StateFile(3) + ": bad checksum; the card starts from its defaults\n");
    EXPECT_TRUE(NameIs(3, ""));
    EXPECT_TRUE(NameIs(4, "card4"));
}

}  // namespace
}  // namespace e2e
