// -SDK: the card's sensor SDK uploaded, deleted and reread, and the sensors it
// describes read, over -nw and -cd; the card's refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <unistd.h>

#include "command_runs.h"

namespace e2e {
namespace {

using groups::Accepted;
using groups::CardFailure;
using groups::FailureCase;
using groups::InGroup;
using groups::operator<<;

// A sensor line: the name, its colon, blanks up to column 40 of the name, the reading.
std::string Sensor(const std::string& name, const std::string& reading)
{
    return "    " + name + ":" + std::string(40 - name.size(), ' ') + reading + "\n";
}

// What kelcard's own SDK describes.
const std::string kDefaultSensors =
    "Sensor data retrieved, displaying...\nTemperatures\n" + Sensor("CPU 1", "47000 milli Degrees C") +
    Sensor("System board", "31500 milli Degrees C") + Sensor("CPU 2", "access failed") + "Voltages\n" +
    Sensor("+12V", "12094 milli Volts") + Sensor("+5V", "5031 milli Volts") + Sensor("+3.3V", "3312 milli Volts") +
    "Fans\n" + Sensor("CPU fan", "4320 RPM");
const std::string kNoSdk = "Cannot read sensors - no SDK found\n";

class Sdk : public CardTest {
protected:
    std::string Path(const std::string& name) { return ::testing::TempDir() + card.Address() + name; }
    ~Sdk() override { for (const char* name : {"sdk.dat", "bad.dat"}) std::remove(Path(name).c_str()); }
    ::testing::AssertionResult Runs(const groups::Words& words, int status, const std::string& out)
    {
        return RunMatches(Kelvast(groups::Concat({"-SDK"}, words)), status, Accepted(out), kPasswordTerminal);
    }
};

TEST_F(Sdk, SensorsFollowTheUploadedFileAndTheDelete)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(Runs({"-readsensors"}, 0, kDefaultSensors));
    ASSERT_TRUE(RunMatches(Kelvast({"-file", "-download", "/x9sdk/x9sdk.dat", Path("sdk.dat")}), 0, Accepted(""),
                           kPasswordTerminal));
    EXPECT_TRUE(Runs({"-deleteSDK"}, 0, "SDK deleted\n"));
    EXPECT_TRUE(Runs({"-readsensors"}, 30, kNoSdk));
    EXPECT_TRUE(Runs({"-rereadSDK"}, 0, "HHMD restarted, rereading SDK\n"));
    EXPECT_TRUE(Runs({"-readsensors"}, 30, kNoSdk)) << "a reread finds no SDK";
    // An SDK whose tree runs past its own end: the card answers it, the tool refuses it.
    std::ofstream(Path("bad.dat")) << std::string(52, '\0') << "\1\1\1\1" << std::string(47, 'x');
    EXPECT_TRUE(Runs({"-uploadSDK", Path("bad.dat")}, 0, "Upload successful\n"));
    EXPECT_TRUE(Runs({"-readsensors"}, 33, kNoSdk)) << "no partial listing of a malformed tree";
    EXPECT_TRUE(Runs({"-uploadSDK", Path("sdk.dat")}, 0, "Upload successful\n"));
    EXPECT_TRUE(Runs({"-readsensors"}, 0, kDefaultSensors));
}

TEST_F(Sdk, WordsTheGroupRefuses)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-SDK", "-uploadSDK"}), 8, groups::Refused("Please supply an SDK file to upload\n"),
                           kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-SDK", "-readsensors", "now"}), 8, groups::Refused("Unknown command\n"),
                           kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sdk", "readsensors"}), 8, groups::Refused(), kPasswordTerminal));
}

// Over the host interface: the same sensors, a delete and an upload.
TEST(SdkOverDrive, DeleteUploadAndRead)
{
    const std::string file = ::testing::TempDir() + std::to_string(::getpid()) + "sdk-drive.dat";
    const RunResult run = RunWithDrive(
        {}, {"/bin/sh", "-c",
             R"("$0" -cd -file -download /x9sdk/x9sdk.dat "$1" && "$0" -cd -SDK -deleteSDK && "$0" -cd -SDK -readsensors;
                "$0" -cd -SDK -uploadSDK "$1" && "$0" -cd -SDK -readsensors)",
             KELVAST_BIN, file});
    std::remove(file.c_str());
    EXPECT_TRUE(RunMatches(run, 0,
                           kConnected + kBanner + kConnected + "SDK deleted\n" + kBanner + kConnected + kNoSdk + kBanner +
                               kConnected + "Upload successful\n" + kBanner + kConnected + kDefaultSensors + kBanner,
                           ""));
}

INSTANTIATE_TEST_SUITE_P(
    SdkFailures, CardFailure,
    ::testing::ValuesIn(InGroup(
        "-SDK", {
        // The other upload failures are rows of the handlers' unit table.
        FailureCase{"UploadCommit", {"--fail", "0x0606:5"}, {"-uploadSDK", "/dev/null"}, "Error uploading SDK\n", 5},
    })),
    CaseName());

}  // namespace
}  // namespace e2e
