// Faults of the card and of the host, end to end: a card that closes inside its reply,
// a storm of signals during a 4 MiB transfer, a card that closes while kelvast sends,
// a file system that fills up during a download.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <thread>

#include "command_runs.h"
#include "imgbuild.h"

namespace e2e {
namespace {

using groups::Accepted;
using groups::Leftovers;
using groups::Words;

std::string ReadFile(const std::string& path)
{
    return std::string(std::istreambuf_iterator<char>(*std::make_unique<std::ifstream>(path)), {});
}

std::string ReadProgress(unsigned to)
{
    std::string text;
    for (unsigned block = 0; block <= to; ++block) text += "Reading Block... " + std::to_string(block) + " of 64 \r";
    return text;
}

struct Faults : CardTest {
    std::string Path(const std::string& name) { return ::testing::TempDir() + TestAddress() + "-" + name; }
    ~Faults() override
    {
        for (const char* name : {"flash.ima", "big", "copy", "script"}) std::remove(Path(name).c_str());
    }
};

// The card sends the first N bytes of its answer and closes, for every N inside the
// header and a few inside the data; the answer after the last cut goes whole.
TEST_F(Faults, CardClosingAtEveryByteOfTheReplyHeader)
{
    std::vector<unsigned> cuts;
    for (unsigned n = 0; n < 32; ++n) cuts.push_back(n);
    cuts.insert(cuts.end(), {33, 48, 63});
    std::string list;
    for (unsigned n : cuts) list += (list.empty() ? "" : ",") + std::to_string(n);
    ASSERT_TRUE(StartCard({"--cut-reply", "0x0907:" + list}));
    for (unsigned n : cuts) {
        SCOPED_TRACE("cut after " + std::to_string(n) + " bytes");
        EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetName"}), 33, Accepted("Error when getting ORVA Name!\n"),
                               kPasswordTerminal));
    }
    EXPECT_EQ(0, Kelvast({"-gen", "-GetName"}).status) << "the answer after the cuts";
}

// Thousands of signals a second that kelvast does not act on (window size, child
// status, continue, and stop with continue as a shell's job control does) during a
// 4 MiB flash read: the file is the card's flash, the output exact.
TEST_F(Faults, SignalStormDuringAFlashRead)
{
    ASSERT_TRUE(StartCard());
    std::atomic<bool> stop{false};
    std::atomic<unsigned> sent{0};
    std::thread storm;
    KelvastRun run;
    run.args = {"-nw", card.Address(), "admin", "-flash", "-read", Path("flash.ima")};
    run.password = "admin";
    run.pauseAt = "Reading from Flash";
    run.atPause = [&](pid_t pid) {
        // A process descriptor: a signal can never reach another process that gets the
        // number once kelvast has been reaped.
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
        if (pidfd < 0) return;
        storm = std::thread([&, pidfd] {
            const int signals[] = {SIGWINCH, SIGCHLD, SIGCONT, SIGSTOP, SIGCONT};
            for (unsigned i = 0; !stop; ++i) {
                if (::syscall(SYS_pidfd_send_signal, pidfd, signals[i % std::size(signals)], nullptr, 0) != 0) break;
                ++sent;
                if (i % 8 == 0) std::this_thread::yield();
            }
            // Never left stopped.
            ::syscall(SYS_pidfd_send_signal, pidfd, SIGCONT, nullptr, 0);
            ::close(pidfd);
        });
    };
    const RunResult result = RunKelvast(run);
    stop = true;
    if (storm.joinable()) storm.join();
    EXPECT_TRUE(RunMatches(result, 0,
                           Accepted("Reading from Flash ... \n" + ReadProgress(63) +
                                    "Reading Block... 64. Done \nFirmware stored in file " + Path("flash.ima") + ". \n"),
                           kPasswordTerminal));
    const auto flash = groups::WithMac(BuildFirmwareImage());
    EXPECT_TRUE(std::string(flash.begin(), flash.end()) == ReadFile(Path("flash.ima")));
    EXPECT_GT(sent.load(), 100u) << "signals sent during the transfer";
    RecordProperty("signals", static_cast<int>(sent.load()));
}

// The card answers the first fragment of an upload, then closes: kelvast sends the
// next one into the closed connection (the card resets it), and a script's second
// upload sends again on the reset connection, where a send raises SIGPIPE unless
// told not to. kelvast is not ended by it; the card keeps the fragment it took.
TEST_F(Faults, CardClosingDuringAnUploadEndsNoProgram)
{
    ASSERT_TRUE(StartCard({"--cut-reply", "0x060B:66560"}));
    std::string content(4 << 20, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 65536);
    std::ofstream(Path("big"), std::ios::binary) << content;
    const std::string line = "-file -upload " + Path("big") + " /v/big\n";
    std::ofstream(Path("script")) << line << line;
    const RunResult run = Kelvast({"-script", Path("script")});
    EXPECT_EQ(0, run.signal) << Describe(run);
    const std::string rule = std::string(52, '*') + "\n";
    const std::string ran = rule + "Processing script line : " + line + "\n" + rule + "Error:  Error during connect \n" +
                            rule + "\n\n";
    EXPECT_TRUE(RunMatches(run, 33, kLoggedIn + ran + ran + kBanner, kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-file", "-download", "/v/big", Path("copy")}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(content.substr(0, 65536) == ReadFile(Path("copy"))) << ReadFile(Path("copy")).size();
}

// A 4 MiB flash read and a 2 MiB file download into a 1 MiB file system (a tmpfs in a
// mount namespace of the run's own): the command's message and status, the older
// host file as it was, no new file left beside it.
TEST_F(Faults, FullFileSystemDuringADownload)
{
    const std::string mount = Path("tmpfs");
    ASSERT_EQ(0, ::mkdir(mount.c_str(), 0700));
    const std::string probe = "unshare -m --propagation private mount -t tmpfs -o size=1m none '" + mount + "' 2>/dev/null";
    if (std::system(probe.c_str()) != 0) {
        ::rmdir(mount.c_str());
        GTEST_SKIP() << "no private mount namespace with a tmpfs here (needs root or user namespaces)";
    }
    ASSERT_TRUE(StartCard());
    std::ofstream(Path("big"), std::ios::binary) << std::string(2 << 20, 'x');
    ASSERT_EQ(0, Kelvast({"-file", "-upload", Path("big"), "/v/big"}).status);

    struct Row {
        Words words;
        int status;
        std::string failure;
    };
    const std::string target = mount + "/file";
    const Row rows[] = {
        {{"-flash", "-read", target}, 41, "Error writing file " + target + ", check disk space ! \n"},
        {{"-file", "-download", "/v/big", target}, 18, "Error while get number of Records, "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.words[1]);
        // In its own mount namespace: a tmpfs of 1 MiB over the folder, an older file in
        // it, kelvast, then what the folder holds written beside it.
        KelvastRun run;
        run.program = "/usr/bin/unshare";
        run.args = {"-m", "--propagation", "private", "/bin/sh", "-c",
                    "mount -t tmpfs -o size=1m none \"$1\" && printf older > \"$1/file\" && shift && \"$@\"; s=$?; "
                    "ls -A \"$0\" > \"$0.after\"; cat \"$0/file\" >> \"$0.after\"; exit $s",
                    mount, mount, KELVAST_BIN, "-nw", card.Address(), "admin"};
        run.args.insert(run.args.end(), row.words.begin(), row.words.end());
        run.password = "admin";
        const RunResult result = RunKelvast(run);
        std::string expected = row.failure;
        if (row.words[0] == "-flash") {
            // The block whose write fails depends on the file system's bookkeeping.
            const auto last = result.out.rfind(" of 64 \r");
            const auto from = result.out.rfind("Reading Block... ", last);
            ASSERT_NE(std::string::npos, last) << Describe(result);
            const unsigned block = static_cast<unsigned>(std::stoul(result.out.substr(from + 17, last - from - 17)));
            EXPECT_GT(block, 10u);
            EXPECT_LT(block, 17u);
            expected = "Reading from Flash ... \n" + ReadProgress(block) + expected;
        } else {
            expected += "Insufficient space\n";
        }
        EXPECT_TRUE(RunMatches(result, row.status, Accepted(expected), kPasswordTerminal));
        EXPECT_EQ("file\nolder", ReadFile(mount + ".after")) << "only the older file, as it was";
        std::remove((mount + ".after").c_str());
    }
    ::rmdir(mount.c_str());
}

}  // namespace
}  // namespace e2e

namespace e2e {
namespace {

// A transfer that fails at flash block or file fragment 10 while each block's file work
// runs beside the next exchange: the same message, status and host file as when the
// blocks went one after the other, and, from kelvast's own trace, no request past the
// one after the failed block (none past the failed one when the card refused it).
struct AtTen {
    std::string name;
    Words cardOptions, words;  // T stands for the host file, which holds "older" before
    bool fileLimit;            // writes past 10 blocks of 64 KiB fail (ulimit -f)
    int status;
    std::string output;
    std::string command;  // the transfer's requests in the trace
    unsigned requests;
};
struct FailureAtBlockTen : Faults, ::testing::WithParamInterface<AtTen> {};

TEST_P(FailureAtBlockTen, StopsAsBeforeAndAsksForAtMostOneBlockMore)
{
    const AtTen& c = GetParam();
    ASSERT_TRUE(StartCard(c.cardOptions));
    std::ofstream(Path("big"), std::ios::binary) << std::string(4 << 20, 'b');
    const auto image = BuildFirmwareImage();
    std::ofstream(Path("flash.ima"), std::ios::binary).write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (c.words[1] == "-download") {
        ASSERT_EQ(0, Kelvast({"-file", "-upload", Path("big"), "/v/big"}).status);
    }
    std::ofstream(Path("copy")) << "older";
    KelvastRun run;
    run.program = "/bin/sh";
    run.args = {"-c", "trap '' XFSZ; ulimit -f $1; shift; exec \"$@\"", "sh", c.fileLimit ? "1280" : "unlimited",
                KELVAST_BIN, "--trace", "-nw", card.Address(), "admin"};
    for (const std::string& word : c.words) run.args.push_back(word == "T" ? Path("copy") : word == "B" ? Path("big") : word == "I" ? Path("flash.ima") : word);
    run.password = "admin";
    RunResult result = RunKelvast(run);
    unsigned requests = 0;
    std::string line, untraced;  // standard error without the trace's lines
    for (std::istringstream err(result.err); std::getline(err, line);) {
        if (line.starts_with("[")) {
            requests += line.find("] request command " + c.command) != std::string::npos;
        } else {
            untraced += line + "\n";
        }
    }
    EXPECT_EQ(c.requests, requests);
    result.err = untraced;
    std::string output = c.output;
    if (const auto at = output.find('T'); at != std::string::npos && c.words[1] == "-read") output.replace(at, 1, Path("copy"));
    EXPECT_TRUE(RunMatches(result, c.status, Accepted(output), kPasswordTerminal));
    EXPECT_EQ("older", ReadFile(Path("copy")));
    EXPECT_EQ(Words{}, Leftovers(Path("copy")));
}

const std::string kReadHead = "Reading from Flash ... \n", kReadError = "Error during reading from flash...\n";
const std::string kDownloadError = "Error while get number of Records, ";
INSTANTIATE_TEST_SUITE_P(
    Rows, FailureAtBlockTen,
    ::testing::Values(
        AtTen{"ReadIntoAFullFile", {}, {"-flash", "-read", "T"}, true, 41,
              kReadHead + ReadProgress(10) + "Error writing file T, check disk space ! \n", "0x0602", 12},
        AtTen{"ReadRefused", {"--refuse-block", "10:5"}, {"-flash", "-read", "T"}, false, 5, kReadHead + ReadProgress(9) + kReadError, "0x0602", 11},
        AtTen{"ReadCrc", {"--flash-crc-error", "10"}, {"-flash", "-read", "T"}, false, 34, kReadHead + ReadProgress(9) + kReadError, "0x0602", 12},
        AtTen{"ReadVanishes", {"--vanish-after", "10"}, {"-flash", "-read", "T"}, false, 33, kReadHead + ReadProgress(9) + kReadError, "0x0602", 11},
        AtTen{"DownloadIntoAFullFile", {}, {"-file", "-download", "/v/big", "T"}, true, 18, kDownloadError + "Insufficient space\n", "0x060a", 12},
        AtTen{"DownloadCrc", {"--download-crc-error", "10"}, {"-file", "-download", "/v/big", "T"}, false, 34, kDownloadError + "Checksum error\n", "0x060a", 12},
        // The card counts the 64 fragments of the upload before them.
        AtTen{"DownloadVanishes", {"--vanish-after", "74"}, {"-file", "-download", "/v/big", "T"}, false, 33, kDownloadError + "Error during connect \n", "0x060a", 11},
        AtTen{"UploadCrc", {"--upload-crc-error", "10"}, {"-file", "-upload", "B", "/v/big"}, false, 30, "Error:  General error\n", "0x060b", 11},
        AtTen{"FirmwareUploadRefused", {"--refuse-block", "10:5"}, {"-flash", "-upload", "I"}, false, 30, "Upload Firmware Failed, General error\n", "0x0601", 11}),
    CaseName());

}  // namespace
}  // namespace e2e
