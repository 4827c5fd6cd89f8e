// -flash: updates checked block by block against the flash read back, updates that
// stop part way, the configuration module saved and put back, boot blocks compared.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

#include "command_runs.h"
#include "imgbuild.h"
#include "x9endian.h"

namespace e2e {
namespace {

using groups::Accepted;
using groups::Refused;
using Image = std::vector<unsigned char>;
constexpr std::size_t kBlock = IMG_BLOCK_SIZE;

std::string ReadFile(const std::string& path) { return std::string(std::istreambuf_iterator<char>(*std::make_unique<std::ifstream>(path)), {}); }
void WriteFile(const std::string& path, const Image& bytes, std::size_t size = IMG_FILE_SIZE)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(size));
}
// A sound image that differs from the card's own in its boot block and its last byte.
Image NewImage()
{
    Image image = BuildFirmwareImage();
    image[100] ^= 0x11, image.back() ^= 0x22;
    return image;
}

const std::string kOk = "\t\t\t[ OK ]\n";
const std::string kAsked = "\nFirmware upgrade is a crucial operation.This operation should not be interrupted.\n The ORVA will also be "
                           "reset after this command is completed.Are you Sure (y/n)?\n";
// What an update prints up to its boot block (`check`: the image refused), then while writing blocks 1..to.
std::string UpdateHead(const std::string& file, bool boot, bool check = true)
{
    return kAsked + "Do you want to retain the current configuration after upgrade (y/n)?\nFirmware Image File : \t\t\t[ " + file +
           " ]\nValidating Image File :" + (check ? kOk + "Opening Image File : " + kOk + "Getting MAC address : " + kOk +
                                                        "Boot Block Flash : " + (boot ? kOk : "\t\t\t[ SKIPPED ]\n")
                                                  : "\t\t\t[ FAILED ]\n");
}
std::string Blocks(unsigned to, const char* line = "Flashing ... Block %u of 64 \r", unsigned from = 1)
{
    std::string text;
    for (char buf[64]; from <= to; ++from) text += (std::snprintf(buf, sizeof buf, line, from), buf);
    return text;
}
std::string Done(const char* reset) { return "Flashing :       " + kOk + "Saving MAC Address : " + kOk + "Resetting ORVA " + reset + ":" + kOk; }

struct Flash : CardTest {
    std::string Path(const std::string& name) { return ::testing::TempDir() + card.Address() + name; }
    ~Flash() override { for (const char* name : {"a.ima", "b.ima", "c.cfg"}) std::remove(Path(name).c_str()); }
};

TEST_F(Flash, UpdateWithBootWritesEveryBlockKeepsTheMacAndResets)
{
    ASSERT_TRUE(StartCard({"--mac", "02:11:22:33:44:55"}));
    WriteFile(Path("a.ima"), NewImage());
    EXPECT_TRUE(RunMatches(Kelvast({"-flash", "-update", "-boot", Path("a.ima")}, "y\ny\n"), 0,
                           Accepted(UpdateHead(Path("a.ima"), true) + Blocks(63) + Done("(Config Retained)")), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-cardMode", "-read", Path("b.ima")}), 0,
                           Accepted("Reading from Flash ... \n" + Blocks(63, "Reading Block... %u of 64 \r", 0) +
                                    "Reading Block... 64. Done \nFirmware stored in file " + Path("b.ima") + ". \n"),
                           kPasswordTerminal));
    EXPECT_TRUE(ReadFile(Path("a.ima")) == ReadFile(Path("b.ima"))) << "the flash is the image, block for block";
    EXPECT_TRUE(RunMatches(Kelvast({"-net", "-GetMAC"}), 0, Accepted("MAC Address is : 02:11:22:33:44:55 \n"), kPasswordTerminal));
}

TEST(FlashCd, UpdateWithoutBootKeepsTheCardsBootBlock)
{
    const std::string own = ::testing::TempDir() + std::to_string(::getpid());
    const std::string file = own + "cd_update.ima", copy = own + "cd_read.ima";
    Image image = NewImage();
    WriteFile(file, image);
    const RunResult run = RunWithDrive({}, {"/bin/sh", "-c", R"("$0" -cd -flash -update "$1" && "$0" -cd -flash -read "$2" >/dev/null)",
                                            KELVAST_BIN, file, copy}, "y\nn\n");
    EXPECT_TRUE(RunMatches(run, 0, kConnected + UpdateHead(file, false) + Blocks(63) + Done("(Config Defaults)") + kBanner, ""));
    const Image original = BuildFirmwareImage();
    std::copy_n(original.begin(), kBlock, image.begin());
    EXPECT_TRUE(std::string(image.begin(), image.end()) == ReadFile(copy));
    std::remove(file.c_str()), std::remove(copy.c_str());
}

// An update that stops before its end: the card's options, OS damaged or not, the
// image's size, the answers, what it prints after its head, and the exit status.
struct Stop {
    std::string name;
    groups::Words cardOptions;
    bool damaged;
    std::size_t size;
    std::string input, output;
    int status;
};
using groups::operator<<;
struct FlashStop : Flash, ::testing::WithParamInterface<Stop> {};

TEST_P(FlashStop, ReportsTheFailureAndNothingAsDone)
{
    const Stop& c = GetParam();
    ASSERT_TRUE(StartCard(c.cardOptions));
    IMG_MODULE_DAMAGE damage[FLASH_MODULE_COUNT] = {};
    damage[FLASH_MODULE_OS] = c.damaged ? IMG_DAMAGE_DATA : IMG_DAMAGE_NONE;
    WriteFile(Path("a.ima"), BuildFirmwareImage(damage), c.size);
    const std::string out = c.input == "n\n" ? kAsked + c.output : UpdateHead(Path("a.ima"), false, !c.damaged) + c.output;
    EXPECT_TRUE(RunMatches(Kelvast({"-flash", "-update", Path("a.ima")}, c.input), c.status,
                           c.status == 8 ? Refused(out) : Accepted(out), kPasswordTerminal));
}

const std::string kFlashError = "\nError during flashing\t\t\t\t\n";
INSTANTIATE_TEST_SUITE_P(
    Rows, FlashStop,
    ::testing::Values(Stop{"Cancelled", {}, false, IMG_FILE_SIZE, "n\n", "\nCommand cancelled by user\n", 0},
                      Stop{"CorruptImage", {}, true, IMG_FILE_SIZE, "y\ny\n",
                           "The Image file you specified is not in the correct format or is corrupted.Please specify a valid image file!\n", 8},
                      // The DIAG module's data ends inside block 62: an image cut there passes the checks.
                      Stop{"ShortImage", {}, false, 63 * kBlock - 1000, "y\ny\n", Blocks(61) + "Unable to read from image file !\n", 8},
                      Stop{"CrcMismatch", {"--flash-crc-error", "5"}, false, IMG_FILE_SIZE, "y\ny\n", Blocks(5) + kFlashError, 34},
                      Stop{"CardVanishes", {"--vanish-after", "10"}, false, IMG_FILE_SIZE, "y\ny\n", Blocks(11) + kFlashError, 33}),
    CaseName());

TEST_F(Flash, ConfigurationSavedAndPutBackBootBlocksComparedAndABadBlockRead)
{
    ASSERT_TRUE(StartCard({"--flash-crc-error", "40"}));
    const Image image = BuildFirmwareImage();
    EXPECT_TRUE(RunMatches(Kelvast({"-flash", "-GetConfig", Path("c.cfg")}), 0, Accepted(""), kPasswordTerminal));
    Image config(image.begin() + kBlock, image.begin() + 3 * kBlock);
    EXPECT_TRUE(std::string(config.begin(), config.end()) == ReadFile(Path("c.cfg"))) << "blocks 1 and 2";
    EXPECT_TRUE(RunMatches(Kelvast({"-flash", "-PutConfig", Path("c.cfg")}), 0,
                           Accepted(Blocks(2, "Flashing the config section block %u of 2\r") +
                                    "\nConfig section put back successfully. Restart the card...\n"), kPasswordTerminal));
    PutBe32(&config[16], GetBe32(&config[16]) + kBlock);
    WriteFile(Path("c.cfg"), config, config.size());
    EXPECT_TRUE(RunMatches(Kelvast({"-flash", "-PutConfig", Path("c.cfg")}), 8,
                           Refused("Config section size mismatch ! Can not put back the config section.\n"), kPasswordTerminal));
    const std::tuple<Image, std::size_t, int, std::string> compares[] = {
        {image, kBlock, 0, Accepted("Match : The boot block in the image file you selected is the same as the boot block on the ORVA\n")},
        {NewImage(), kBlock, 1, Accepted("Different : The boot block in the image file you selected differs from the boot block currently on the ORVA\n")},
        {image, kBlock - 1, 8, Refused("Unable to read from image file !\n")}};
    for (const auto& [bytes, size, status, out] : compares) {
        WriteFile(Path("a.ima"), bytes, size);
        EXPECT_TRUE(RunMatches(Kelvast({"-file", "-CompareBoot", Path("a.ima")}), status, out, kPasswordTerminal));
    }
    EXPECT_TRUE(RunMatches(Kelvast({"-flash", "-read", Path("b.ima")}), 34,
                           Accepted("Reading from Flash ... \n" + Blocks(39, "Reading Block... %u of 64 \r", 0) +
                                    "Error during reading from flash...\n"), kPasswordTerminal));
}

}  // namespace
}  // namespace e2e
