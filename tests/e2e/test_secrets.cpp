// After the login no copy of the password is left in kelvast's memory: the test stops
// kelvast at a question that comes after the login and reads its whole memory through
// /proc/PID/mem, looking for the password.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "harness.h"

namespace e2e {
namespace {

// The password of the test's card. Written backwards here, so that the only forward
// copies are the ones the test makes at run time.
std::string Marker()
{
    const std::string backwards = "4Zq-drowssaPrekraM";
    return std::string(backwards.rbegin(), backwards.rend());
}

// How many times `needle` occurs in the readable memory of process `pid`, or -1 (with
// the reason) when its memory cannot be read.
int CopiesInMemory(pid_t pid, const std::string& needle, std::string* error)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream maps(proc + "/maps");
    const int mem = ::open((proc + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
    if (!maps || mem < 0) {
        *error = "cannot read " + proc + "/mem";
        if (mem >= 0) ::close(mem);
        return -1;
    }
    int copies = 0;
    std::vector<char> chunk(1 << 20);
    for (std::string line; std::getline(maps, line);) {
        unsigned long start = 0, end = 0;
        char perms[5] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %4s", &start, &end, perms) != 3 || perms[0] != 'r') continue;
        if (line.find("[vvar]") != std::string::npos || line.find("[vsyscall]") != std::string::npos) continue;
        // Chunks overlap by the needle's length less one, so no copy is cut in two.
        for (unsigned long at = start; at < end; at += chunk.size() - (needle.size() - 1)) {
            const std::size_t want = std::min<unsigned long>(chunk.size(), end - at);
            const ssize_t got = ::pread(mem, chunk.data(), want, static_cast<off_t>(at));
            if (got <= 0) break;
            const auto last = chunk.begin() + got;
            for (auto it = std::search(chunk.begin(), last, needle.begin(), needle.end()); it != last;
                 it = std::search(it + 1, last, needle.begin(), needle.end()))
                ++copies;
            if (static_cast<std::size_t>(got) < want || at + want >= end) break;
        }
    }
    ::close(mem);
    return copies;
}

class Secrets : public CardTest {};

// The password typed at the terminal, and the password read from a file: in both,
// kelvast's memory holds no copy of it once the login is done.
TEST_F(Secrets, NoCopyOfThePasswordAfterTheLogin)
{
    if (::geteuid() != 0) GTEST_SKIP() << "reading another process's memory needs root here";
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's shadow memory spans terabytes of address space: the default build
    // reads the whole memory instead.
    GTEST_SKIP() << "not under AddressSanitizer: its shadow memory is too large to read whole";
#endif
    ASSERT_TRUE(StartCard({"--user", "admin:" + Marker()}));
    const std::string file = ::testing::TempDir() + "kelvast-secret-" + std::to_string(::getpid());
    std::ofstream(file) << Marker() << "\n";
    ::chmod(file.c_str(), 0600);

    for (const bool fromFile : {false, true}) {
        SCOPED_TRACE(fromFile ? "password file" : "terminal");
        KelvastRun run;
        if (fromFile) run.args = {"--password-file", file};
        for (const char* word : {"-nw", "", "admin", "-gen", "-Reset", "-NoConfig"}) run.args.emplace_back(word);
        run.args[fromFile ? 3 : 1] = TestAddress();
        if (!fromFile) run.password = Marker();
        run.input = "n\n";
        run.pauseAt = "(y/n)?";
        int copies = -2;
        std::string error;
        run.atPause = [&](pid_t pid) { copies = CopiesInMemory(pid, Marker(), &error); };
        const RunResult result = RunKelvast(run);
        EXPECT_TRUE(result.exited && result.status == 0) << Describe(result);
        EXPECT_NE(result.out.find("Login Successful !"), std::string::npos) << result.out;
        EXPECT_EQ(copies, 0) << error;
    }
    std::remove(file.c_str());
}

}  // namespace
}  // namespace e2e
