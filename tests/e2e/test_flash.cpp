// -flash: updates checked block by block against the flash read back, updates that
// stop part way, the configuration module saved and put back, boot blocks compared.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "command_runs.h"
#include "imgbuild.h"
#include "x9endian.h"

namespace e2e {
namespace {

using groups::Accepted;
using groups::Refused;
using groups::kMacRecord;
using groups::WithMac;
using Image = std::vector<unsigned char>;
constexpr std::size_t kBlock = IMG_BLOCK_SIZE;

std::string ReadFile(const std::string& path) { return std::string(std::istreambuf_iterator<char>(*std::make_unique<std::ifstream>(path)), {}); }
void WriteFile(const std::string& path, const Image& bytes, std::size_t size = IMG_FILE_SIZE)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(size));
}
// The image with bytes changed where no module's data lies (in blocks 0, 2 and 63): it
// stays sound, and a write of any of these blocks shows in the card's flash.
Image Marked(Image image)
{
    image[60000] ^= 0x11, image[2 * kBlock + 60000] ^= 0x33, image.back() ^= 0x22;
    return image;
}
Image NewImage() { return Marked(BuildFirmwareImage()); }

const std::string kOk = "\t\t\t[ OK ]\n";
const std::string kAsked = "\nFirmware upgrade is a crucial operation.This operation should not be interrupted.\n The ORVA will also be "
                           "reset after this command is completed.Are you Sure (y/n)?\n";
const std::string kFailed = "\t\t\t[ FAILED ]\n";
const std::string kNoMac = kFailed + "\nUnable to retreive existing MAC address from card. Flashing may cause MAC address loss.\n";
// What an update prints up to its boot block (`check`: the image refused), then while writing blocks 1..to.
std::string UpdateHead(const std::string& file, bool boot, bool check = true, const std::string& mac = kOk)
{
    return kAsked + "Do you want to retain the current configuration after upgrade (y/n)?\nFirmware Image File : \t\t\t[ " + file +
           " ]\nValidating Image File :" + (check ? kOk + "Opening Image File : " + kOk + "Getting MAC address : " + mac +
                                                        "Boot Block Flash : " + (boot ? kOk : "\t\t\t[ SKIPPED ]\n")
                                                  : kFailed);
}
std::string Blocks(unsigned to, const char* line = "Flashing ... Block %u of 64 \r", unsigned from = 1)
{
    std::string text;
    for (char buf[64]; from <= to; ++from) text += (std::snprintf(buf, sizeof buf, line, from), buf);
    return text;
}
std::string Done(const char* reset, const std::string& mac = kOk)
{
    return "Flashing :       " + kOk + "Saving MAC Address : " + mac + "Resetting ORVA " + reset + ":" + kOk;
}

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
    const Image flash = WithMac(NewImage(), {0x02, 0x11, 0x22, 0x33, 0x44, 0x55});
    EXPECT_TRUE(std::string(flash.begin(), flash.end()) == ReadFile(Path("b.ima"))) << "the flash is the image, block for block";
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
    image = WithMac(image);
    EXPECT_TRUE(std::string(image.begin(), image.end()) == ReadFile(copy));
    std::remove(file.c_str()), std::remove(copy.c_str());
}

// A flash command that stops before its end, or is refused before it writes anything:
// the card's options, the module the image damages, the bytes of the image in the file
// (from, size), the words after -flash (the file's name follows), the answers, what it
// prints, the exit status, and what the card's flash holds afterwards.
enum class After { kSame, kImage, kNotRead };
struct Stop {
    std::string name;
    groups::Words cardOptions;
    std::pair<tag_FLASH_MODULE_NUMBERS, IMG_MODULE_DAMAGE> damage;
    std::size_t from, size;
    groups::Words words;
    std::string input;
    std::function<std::string(const std::string& file)> output;
    int status;
    After after;
};
using groups::operator<<;
struct FlashStop : Flash, ::testing::WithParamInterface<Stop> {};

TEST_P(FlashStop, ReportsTheFailureAndWritesNothingBeforeTheFileIsChecked)
{
    const Stop& c = GetParam();
    ASSERT_TRUE(StartCard(c.cardOptions));
    IMG_MODULE_DAMAGE damage[FLASH_MODULE_COUNT] = {};
    damage[c.damage.first] = c.damage.second;
    Image image = Marked(BuildFirmwareImage(damage));
    image.erase(image.begin(), image.begin() + std::ptrdiff_t(c.from));
    WriteFile(Path("a.ima"), image, c.size);
    const std::string out = c.output(Path("a.ima"));
    EXPECT_TRUE(RunMatches(Kelvast(groups::Concat(groups::Concat({"-flash"}, c.words), {Path("a.ima")}), c.input), c.status,
                           c.status == 8 ? Refused(out) : Accepted(out), kPasswordTerminal));
    if (c.after == After::kNotRead) return;
    Image flash = BuildFirmwareImage();
    if (c.after == After::kImage) std::copy(image.begin() + kBlock, image.end(), flash.begin() + kBlock);
    // The card's own address, unless an update wrote the image's, could not write it back
    // and the card then saved its configuration.
    std::array<uint8_t, 6> mac = kelcard::kDefaultMac;
    if (c.after == After::kImage && out.find("Saving MAC Address : " + kFailed) != std::string::npos &&
        out.find("(Config Retained)") != std::string::npos)
        std::copy_n(image.begin() + kMacRecord, mac.size(), mac.begin());
    flash = WithMac(flash, mac);
    EXPECT_EQ(0, Kelvast({"-flash", "-read", Path("b.ima")}).status);
    EXPECT_TRUE(std::string(flash.begin(), flash.end()) == ReadFile(Path("b.ima"))) << "the card's flash";
}

const std::string kFlashError = "\nError during flashing\t\t\t\t\n";
const std::string kBadImage = "The Image file you specified is not in the correct format or is corrupted.Please specify a valid image file!\n";
const groups::Words kUpdate = {"-update"}, kBoot = {"-update", "-boot"};
const auto kNone = std::pair(FLASH_MODULE_OS, IMG_DAMAGE_NONE);
const auto kNoBoot = std::pair(FLASH_MODULE_BOOT, IMG_DAMAGE_OMIT);
constexpr std::size_t kShort = 63 * kBlock - 1000;  // DIAG's data ends inside block 62: the modules pass
INSTANTIATE_TEST_SUITE_P(
    Rows, FlashStop,
    ::testing::Values(
        Stop{"Cancelled", {}, kNone, 0, IMG_FILE_SIZE, kUpdate, "n\n", [](auto&) { return kAsked + "\nCommand cancelled by user\n"; }, 0, After::kSame},
        Stop{"CorruptImage", {}, {FLASH_MODULE_OS, IMG_DAMAGE_DATA}, 0, IMG_FILE_SIZE, kUpdate, "y\ny\n",
             [](auto& f) { return UpdateHead(f, false, false) + kBadImage; }, 40, After::kSame},
        Stop{"ShortImage", {}, kNone, 0, kShort, kUpdate, "y\ny\n", [](auto& f) { return UpdateHead(f, false, false) + kBadImage; }, 40, After::kSame},
        Stop{"ShortImageUpload", {}, kNone, 0, kShort, {"-upload"}, "", [](auto&) { return std::string("Upload Firmware Failed, Error during I/O\n"); }, 21, After::kSame},
        Stop{"NoBootWithBoot", {}, kNoBoot, 0, IMG_FILE_SIZE, kBoot, "y\ny\n", [](auto& f) { return UpdateHead(f, true, false) + kBadImage; }, 40, After::kSame},
        Stop{"BadBootHeaderWithBoot", {}, {FLASH_MODULE_BOOT, IMG_DAMAGE_HEADER}, 0, IMG_FILE_SIZE, kBoot, "y\ny\n",
             [](auto& f) { return UpdateHead(f, true, false) + kBadImage; }, 40, After::kSame},
        Stop{"NoBootUpload", {}, kNoBoot, 0, IMG_FILE_SIZE, {"-upload"}, "", [](auto&) { return std::string("Upload Firmware Failed, Invalid argument/data\n"); }, 28, After::kSame},
        // Config block 1 differs from the card's (a changed data byte); the file ends inside block 2.
        Stop{"ShortConfig", {}, {FLASH_MODULE_CONFIG, IMG_DAMAGE_DATA}, kBlock, kBlock + kBlock / 2, {"-PutConfig"}, "",
             [](auto& f) { return "Config file " + f + " holds less than the 2 blocks of the config section ! Aborting\n"; }, 42, After::kSame},
        Stop{"MacUnread", {"--fail", "0x0800:5"}, kNone, 0, IMG_FILE_SIZE, kUpdate, "y\ny\n",
             [](auto& f) { return UpdateHead(f, false, true, kNoMac) + Blocks(63) + Done("(Config Retained)", kFailed); }, 5, After::kImage},
        Stop{"MacUnsaved", {"--fail", "0x0801:5"}, kNone, 0, IMG_FILE_SIZE, kUpdate, "y\nn\n",
             [](auto& f) { return UpdateHead(f, false) + Blocks(63) + Done("(Config Defaults)", kFailed); }, 5, After::kImage},
        Stop{"CrcMismatch", {"--flash-crc-error", "5"}, kNone, 0, IMG_FILE_SIZE, kUpdate, "y\ny\n",
             [](auto& f) { return UpdateHead(f, false) + Blocks(5) + kFlashError; }, 34, After::kNotRead},
        Stop{"CardVanishes", {"--vanish-after", "10"}, kNone, 0, IMG_FILE_SIZE, kUpdate, "y\ny\n",
             [](auto& f) { return UpdateHead(f, false) + Blocks(11) + kFlashError; }, 33, After::kNotRead}),
    CaseName());

// The flash read into a file that holds an older image, against a card that fails part
// way: the words after -flash (the file's name follows), what it prints, the status.
struct Download {
    std::string name;
    groups::Words cardOptions, words;
    std::string output;
    int status;
};
struct FlashDownload : Flash, ::testing::WithParamInterface<Download> {};

TEST_P(FlashDownload, LeavesTheOldFileAsItWas)
{
    const Download& c = GetParam();
    ASSERT_TRUE(StartCard(c.cardOptions));
    WriteFile(Path("b.ima"), NewImage());
    EXPECT_TRUE(RunMatches(Kelvast(groups::Concat(groups::Concat({"-flash"}, c.words), {Path("b.ima")})), c.status,
                           Accepted(c.output), kPasswordTerminal));
    const Image old = NewImage();
    EXPECT_TRUE(std::string(old.begin(), old.end()) == ReadFile(Path("b.ima"))) << ReadFile(Path("b.ima")).size();
    EXPECT_EQ(groups::Words{}, groups::Leftovers(Path("b.ima"))) << "no new file is left beside it";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FlashDownload,
    ::testing::Values(
        Download{"DownloadVanishes", {"--vanish-after", "3"}, {"-download"}, "Download Firmware Failed, Error during connect \n", 33},
        Download{"ReadVanishes", {"--vanish-after", "3"}, {"-read"},
                 "Reading from Flash ... \n" + Blocks(2, "Reading Block... %u of 64 \r", 0) + "Error during reading from flash...\n", 33},
        Download{"ConfigFirstBlockRefused", {"--fail", "0x0602:5"}, {"-GetConfig"}, "Error: General error\n", 30},
        Download{"ConfigVanishes", {"--vanish-after", "1"}, {"-GetConfig"}, "Error: Error during connect \n", 33}),
    CaseName());

TEST_F(Flash, ConfigurationSavedAndPutBackBootBlocksComparedAndABadBlockRead)
{
    ASSERT_TRUE(StartCard({"--flash-crc-error", "40"}));
    const Image image = BuildFirmwareImage();
    EXPECT_TRUE(RunMatches(Kelvast({"-flash", "-GetConfig", Path("c.cfg")}), 0, Accepted(""), kPasswordTerminal));
    const Image flash = WithMac(image);
    Image config(flash.begin() + kBlock, flash.begin() + 3 * kBlock);
    EXPECT_TRUE(std::string(config.begin(), config.end()) == ReadFile(Path("c.cfg"))) << "blocks 1 and 2";
    EXPECT_TRUE(RunMatches(Kelvast({"-flash", "-PutConfig", Path("c.cfg")}), 0,
                           Accepted(Blocks(2, "Flashing the config section block %u of 2\r") +
                                    "\nConfig section put back successfully. Restart the card...\n"), kPasswordTerminal));
    PutBe32(&config[16], GetBe32(&config[16]) + kBlock);
    WriteFile(Path("c.cfg"), config, config.size());
    EXPECT_TRUE(RunMatches(Kelvast({"-flash", "-PutConfig", Path("c.cfg")}), 42,
                           Accepted("Config section size mismatch ! Can not put back the config section.\n"), kPasswordTerminal));
    const std::tuple<Image, std::size_t, int, std::string> compares[] = {
        {image, kBlock, 0, Accepted("Match : The boot block in the image file you selected is the same as the boot block on the ORVA\n")},
        {NewImage(), kBlock, 1, Accepted("Different : The boot block in the image file you selected differs from the boot block currently on the ORVA\n")},
        {image, kBlock - 1, 40, Accepted("Unable to read from image file !\n")}};
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
