// The -file group: files copied to the card and back over the network and the host
// interface, compared byte for byte; a CRC mismatch on a fragment either way, a card
// that vanishes in mid-transfer, the server-information file and a card path too long.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "command_runs.h"
#include "expected_text.h"
#include "harness.h"

namespace e2e {
namespace {

using groups::Accepted;
using groups::Refused;
using groups::Words;
using groups::operator<<;

using Bytes = std::string;

// A temporary host file of the test; removed with it.
struct HostFile {
    explicit HostFile(const std::string& name)
        : path(::testing::TempDir() + std::to_string(getpid()) + "_" + name)
    {
    }
    ~HostFile() { std::remove(path.c_str()); }
    void Write(const Bytes& content) const { std::ofstream(path, std::ios::binary) << content; }
    Bytes Read() const
    {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    std::string path;
};

Bytes Content(std::size_t size)
{
    Bytes b(size, '\0');
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<char>((i * 131 + i / 65536) & 0xFF);
    return b;
}

constexpr std::size_t kFrag = 65536;

class FileTest : public CardTest {
protected:
    RunResult Upload(const std::string& from, const std::string& to) { return Kelvast({"-file", "-upload", from, to}); }
    RunResult Download(const std::string& from, const std::string& to)
    {
        return Kelvast({"-file", "-download", from, to});
    }
    HostFile source{"source"}, copy{"copy"};
};

struct SizeCase {
    const char* name;
    std::size_t size;
};

class FileRoundTrip : public FileTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(FileRoundTrip, DownloadGivesBackTheUploadedFile)
{
    ASSERT_TRUE(StartCard());
    const Bytes content = Content(GetParam().size);
    source.Write(content);
    copy.Write("stale");
    EXPECT_TRUE(RunMatches(Upload(source.path, "/var/files/data.bin"), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Download("/var/files/data.bin", copy.path), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(copy.Read() == content) << "downloaded " << copy.Read().size() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Sizes, FileRoundTrip,
                         ::testing::Values(SizeCase{"Empty", 0}, SizeCase{"OneFullFragment", kFrag},
                                           SizeCase{"FullAndOneByte", kFrag + 1},
                                           SizeCase{"FourMiB", 64 * kFrag}),
                         CaseName());

struct FaultCase {
    const char* name;
    Words cardOptions;
    bool download;  // the fault hits the download (the upload before it succeeds)
    std::string output;
    int status;
};

class FileFault : public FileTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FileFault, TransferFailsWithItsStatus)
{
    const FaultCase& c = GetParam();
    ASSERT_TRUE(StartCard(c.cardOptions));
    source.Write(Content(3 * kFrag + 10));
    copy.Write("");
    RunResult run = Upload(source.path, "/f");
    if (c.download) {
        ASSERT_TRUE(RunMatches(run, 0, Accepted(""), kPasswordTerminal));
        run = Download("/f", copy.path);
    }
    EXPECT_TRUE(RunMatches(run, c.status, Accepted(c.output), kPasswordTerminal));
    if (c.download) {
        EXPECT_EQ(kFrag, copy.Read().size()) << "the fragment before the fault stays written";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FileFault,
    ::testing::Values(
        FaultCase{"UploadCrcMismatch", {"--upload-crc-error", "2"}, false, "Error:  General error\n", 30},
        FaultCase{"DownloadCrcMismatch",
                  {"--download-crc-error", "1"},
                  true,
                  "Error while get number of Records, Checksum error\n",
                  34},
        FaultCase{"CardVanishesInUpload", {"--vanish-after", "2"}, false, "Error:  Error during connect \n", 33},
        FaultCase{"CardVanishesInDownload",
                  {"--vanish-after", "5"},
                  true,
                  "Error while get number of Records, Error during connect \n",
                  33}),
    CaseName());

TEST_F(FileTest, ServerInfoFileGoesToItsPlace)
{
    ASSERT_TRUE(StartCard());
    HostFile info("serverInfo.conf"), wrong("serverInfo.conf.bak");
    info.Write("name=web1\n");
    EXPECT_TRUE(RunMatches(Kelvast({"-file", "-uploadServerInfo", info.path}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Download("x9config/serverInfo.conf", copy.path), 0, Accepted(""), kPasswordTerminal));
    EXPECT_EQ("name=web1\n", copy.Read());
    EXPECT_TRUE(RunMatches(Kelvast({"-file", "-uploadServerInfo", wrong.path}), 8,
                           Refused("Filename should be serverInfo.conf \n"), kPasswordTerminal));
}

TEST_F(FileTest, CardPathOf80CharactersIsRefusedBeforeSending)
{
    ASSERT_TRUE(StartCard());
    source.Write("x");
    const std::string longPath = "/" + std::string(79, 'p');
    EXPECT_TRUE(RunMatches(Upload(source.path, longPath), 28,
                           Accepted("Error:  the card path has 80 characters, at most 79 are allowed\n"),
                           kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Download(longPath.substr(0, 79), copy.path), 30,
                           Accepted("Error while get number of Records, General error\n"), kPasswordTerminal))
        << "nothing was stored under the 79 first characters";
}

TEST(FileCd, TransferOverTheHostInterface)
{
    HostFile source("cd_source"), copy("cd_copy");
    const Bytes content = Content(kFrag + 1);
    source.Write(content);
    const RunResult run =
        RunWithDrive({}, {"/bin/sh", "-c", R"("$0" -cd -file -upload "$1" /cd.bin && "$0" -cd -file -download /cd.bin "$2")",
                          KELVAST_BIN, source.path, copy.path});
    EXPECT_TRUE(RunMatches(run, 0, kConnected + kBanner + kConnected + kBanner, ""));
    EXPECT_TRUE(copy.Read() == content);
}

}  // namespace
}  // namespace e2e
