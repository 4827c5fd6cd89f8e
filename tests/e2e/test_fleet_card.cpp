// kelcard serving a range of cards, each keeping its saved configuration in a state
// file of --state-dir across a restart of kelcard.
//
// Addresses: a test here takes hosts 1-50 of its spare block (SpareAddress).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
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
    const std::string first = SpareAddress(1);
    return index < 0 ? first + "-" + SpareAddress(kCards) : SpareAddress(1 + index);
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
    // kelvast -nw CARD admin WORDS... succeeds and prints `output` between the login and the banner.
    static ::testing::AssertionResult Runs(int index, const std::vector<std::string>& words, const std::string& output,
                                           const std::string& input = {})
    {
        KelvastRun run;
        run.args = {"-nw", FleetAddress(index), "admin"};
        run.args.insert(run.args.end(), words.begin(), words.end());
        run.password = "admin";
        run.input = input;
        return RunMatches(RunKelvast(run), 0, kLoggedIn + output + kBanner, kPasswordTerminal);
    }

    Card card;
    std::filesystem::path m_dir;
};

// A name saved by -flash -saveconfig or by a reset that saves comes back after kelcard
// restarts; a name set but not saved does not. Each card has a MAC address of its own.
TEST_F(FleetCard, SavedConfigurationSurvivesARestartUnsavedDoesNot)
{
    ASSERT_TRUE(StartFleet());
    ASSERT_TRUE(Runs(7, {"-gen", "-SetName", "flashsaved"}, ""));
    ASSERT_TRUE(Runs(7, {"-flash", "-saveconfig"}, ""));
    ASSERT_TRUE(Runs(8, {"-gen", "-SetName", "unsaved"}, ""));
    ASSERT_TRUE(Runs(kCards - 1, {"-gen", "-SetName", "resetsaved"}, ""));
    ASSERT_TRUE(Runs(kCards - 1, {"-gen", "-Reset", "-SaveConfig"},
                     "Are you sure you want to reset the ORVA(y/n)?\nThe ORVA has been reset successfully !\n", "y\n"));
    std::vector<std::string> files;  // the two saves, no temporary file left
    for (const auto& entry : std::filesystem::directory_iterator(m_dir)) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ((std::vector<std::string>{StateFile(kCards - 1), StateFile(7)}), files);

    ASSERT_TRUE(StartFleet());
    EXPECT_TRUE(Runs(7, {"-gen", "-GetName"}, "ORVA Name : flashsaved"));
    EXPECT_TRUE(Runs(8, {"-gen", "-GetName"}, "ORVA Name : "));
    EXPECT_TRUE(Runs(kCards - 1, {"-gen", "-GetName"}, "ORVA Name : resetsaved"));
    EXPECT_TRUE(Runs(0, {"-net", "-GetMAC"}, "MAC Address is : 00:2A:3B:4C:5D:1D \n"));
    EXPECT_TRUE(Runs(kCards - 1, {"-net", "-GetMAC"}, "MAC Address is : 00:2A:3B:4C:5D:4E \n"));
    EXPECT_EQ(card.ErrorText(), "");
}

// A state file that does not parse is named on standard error and that card starts
// from its defaults; the others load theirs.
TEST_F(FleetCard, DamagedStateFileIsReportedAndThatCardStartsClean)
{
    ASSERT_TRUE(StartFleet());
    for (const int index : {3, 4}) {
        ASSERT_TRUE(Runs(index, {"-gen", "-SetName", "card" + std::to_string(index)}, ""));
        ASSERT_TRUE(Runs(index, {"-flash", "-saveconfig"}, ""));
    }
    card.Stop();
    {
        std::fstream file(StateFile(3), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(-1, std::ios::end);
        file.put('\xA5');
    }

    ASSERT_TRUE(StartFleet());
    EXPECT_EQ(card.ErrorText(), "kelcard: " + StateFile(3) + ": bad checksum; the card starts from its defaults\n");
    EXPECT_TRUE(Runs(3, {"-gen", "-GetName"}, "ORVA Name : "));
    EXPECT_TRUE(Runs(4, {"-gen", "-GetName"}, "ORVA Name : card4"));
}

}  // namespace
}  // namespace e2e
