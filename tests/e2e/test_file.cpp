// -file: files to the card and back, compared byte for byte; faults in mid-transfer.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>

#include "command_runs.h"

namespace e2e {
namespace {

using groups::Accepted;
using groups::Leftovers;
using groups::Words;
using groups::operator<<;

std::string ReadFile(const std::string& path)
{
    return std::string(std::istreambuf_iterator<char>(*std::make_unique<std::ifstream>(path)), {});
}


// A file of `size` bytes uploaded, then downloaded onto an older host copy, against a
// card with these faults: the failing command's line, the status, and the bytes of the
// file in the host copy (0: the older copy is untouched).
struct Case {
    std::string name;
    std::size_t size;
    Words cardOptions;
    std::string failure;
    int status;
    std::size_t kept;
};
constexpr std::size_t kAll = std::string::npos;

class FileTransfer : public CardTest, public ::testing::WithParamInterface<Case> {
protected:
    std::string Path(const std::string& name) { return ::testing::TempDir() + card.Address() + name; }
    std::string Read(const std::string& name) { return ReadFile(Path(name)); }
    ~FileTransfer() override { for (const char* name : {"src", "copy", "serverInfo.conf"}) std::remove(Path(name).c_str()); }
};

TEST_P(FileTransfer, UploadThenDownload)
{
    const Case& c = GetParam();
    ASSERT_TRUE(StartCard(c.cardOptions));
    std::string content(c.size, '\0');
    for (std::size_t i = 0; i < c.size; ++i) content[i] = static_cast<char>(i * 131 + i / 65536);
    std::ofstream(Path("src")) << content;
    std::ofstream(Path("copy")) << "stale";
    RunResult run = Kelvast({"-file", "-upload", Path("src"), "/v/f"});
    if (run.status == 0) run = Kelvast({"-file", "-download", "/v/f", Path("copy")});
    EXPECT_TRUE(RunMatches(run, c.status, Accepted(c.failure), kPasswordTerminal));
    EXPECT_TRUE((c.kept == 0 ? "stale" : content.substr(0, c.kept)) == Read("copy")) << Read("copy").size();
    EXPECT_EQ(Words{}, Leftovers(Path("copy"))) << "no new file is left beside the copy";
}

const std::string kDownloadError = "Error while get number of Records, ";
INSTANTIATE_TEST_SUITE_P(
    Rows, FileTransfer,
    ::testing::Values(Case{"Empty", 0, {}, "", 0, kAll}, Case{"OneFragment", 65536, {}, "", 0, kAll},
                      Case{"FragmentAndAByte", 65537, {}, "", 0, kAll}, Case{"FourMiB", 4 << 20, {}, "", 0, kAll},
                      Case{"UploadCrc", 200000, {"--upload-crc-error", "2"}, "Error:  General error\n", 30, 0},
                      Case{"DownloadCrc", 200000, {"--download-crc-error", "1"}, kDownloadError + "Checksum error\n", 34, 0},
                      Case{"VanishInUpload", 200000, {"--vanish-after", "2"}, "Error:  Error during connect \n", 33, 0},
                      // 200000 bytes are 4 fragments: the card vanishes after 3 of the download's.
                      Case{"VanishInDownload", 200000, {"--vanish-after", "7"}, kDownloadError + "Error during connect \n", 33, 0},
                      Case{"FirstFragmentRefused", 200000, {"--fail", "0x060A:5"}, kDownloadError + "General error\n", 30, 0},
                      Case{"SecondNumberedFirst", 200000, {"--renumber-fragment", "1:0"}, kDownloadError + "Error during connect \n", 33, 0},
                      Case{"FirstNumberedLast", 200000, {"--renumber-fragment", "0:65535"}, kDownloadError + "Error during connect \n", 33, 0}),
    CaseName());

TEST_F(FileTransfer, ServerInfoFileAndLongCardPath)
{
    ASSERT_TRUE(StartCard());
    std::ofstream(Path("serverInfo.conf")) << "name=web1\n";
    EXPECT_TRUE(RunMatches(Kelvast({"-file", "-uploadServerInfo", Path("serverInfo.conf")}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-file", "-download", "x9config/serverInfo.conf", Path("copy")}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_EQ("name=web1\n", Read("copy"));
    EXPECT_TRUE(RunMatches(Kelvast({"-file", "-uploadServerInfo", Path("serverInfo.conf.bak")}), 8,
                           groups::Refused("Filename should be serverInfo.conf \n"), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-file", "-upload", Path("copy"), std::string(80, 'p')}), 28,
                           Accepted("Error:  the card path has 80 characters, at most 79 are allowed\n"), kPasswordTerminal));
}

TEST(FileCd, TransferOverTheHostInterface)
{
    const std::string own = ::testing::TempDir() + std::to_string(::getpid());
    const std::string src = own + "cd_src", copy = own + "cd_copy";
    std::ofstream(src) << std::string(65537, 'c');
    const RunResult run = RunWithDrive({}, {"/bin/sh", "-c", R"("$0" -cd -file -upload "$1" /f && "$0" -cd -file -download /f "$2")",
                                            KELVAST_BIN, src, copy});
    EXPECT_TRUE(RunMatches(run, 0, kConnected + kBanner + kConnected + kBanner, ""));
    EXPECT_EQ(std::string(65537, 'c'), ReadFile(copy));
    std::remove(src.c_str()), std::remove(copy.c_str());
}

}  // namespace
}  // namespace e2e
