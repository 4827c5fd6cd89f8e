// kelvast -cd through the card's virtual drive (kelcard run), the drive against a
// third-party SCSI client, and kelcard run's own behaviour: exit status, waiting for
// what the program leaves behind, the program's environment.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "expected_text.h"
#include "harness.h"

namespace e2e {
namespace {

using Words = std::vector<std::string>;

// The card's node: the second device of the drive's SCSI listing.
constexpr const char* kCardNode = "/dev/sg1";

Words Kelvast(const Words& words)
{
    Words program{KELVAST_BIN};
    program.insert(program.end(), words.begin(), words.end());
    return program;
}

// PROGRAM = a shell script; "$0" in it is kelvast, "$1" the next word.
Words Shell(const std::string& script, const std::string& arg = {})
{
    Words program{"/bin/sh", "-c", script, KELVAST_BIN};
    if (!arg.empty()) program.push_back(arg);
    return program;
}

std::string Accepted(const std::string& commandOutput)
{
    return kConnected + commandOutput + kBanner;
}

// --- kelvast -cd ----------------------------------------------------------------------

TEST(CdMedium, GetNameOverTheDriveAsksNoPassword)
{
    EXPECT_TRUE(RunMatches(RunWithDrive({}, Kelvast({"-cd", "-gen", "-GetName"})), 0, Accepted("ORVA Name : "), ""));
}

TEST(CdMedium, NameSetOverTheDriveReadsBackInTheSameCard)
{
    const RunResult run = RunWithDrive({"--busy-polls", "3"}, Shell(R"("$0" -cd -gen -SetName drive1 &&
                                                                      "$0" -cd -gen -GetName)"));
    EXPECT_TRUE(RunMatches(run, 0, Accepted("") + Accepted("ORVA Name : drive1"), ""));
}

TEST(CdMedium, DriveAndNetworkShareOneCard)
{
    const std::string address = TestAddress();
    const RunResult run = RunWithDrive({"--serve", address}, Shell(R"("$0" -nw "$1" admin -gen -SetName overTcp &&
                                                                      "$0" -cd -gen -GetName)",
                                                                   address),
                                       "", "admin");
    EXPECT_TRUE(RunMatches(run, 0, kLoggedIn + kBanner + Accepted("ORVA Name : overTcp"), kPasswordTerminal));
}

TEST(CdMedium, CardFailureEndsWithTheCardsStatus)
{
    EXPECT_TRUE(RunMatches(RunWithDrive({"--fail", "0x0907:5"}, Kelvast({"-cd", "-gen", "-GetName"})), 5,
                           Accepted("Error when getting ORVA Name!\n"), ""));
}

TEST(CdMedium, ShortBlockReadIsAFailureBelowTheCard)
{
    EXPECT_TRUE(RunMatches(RunWithDrive({"--short-reads", "256"}, Kelvast({"-cd", "-gen", "-GetName"})), 33,
                           Accepted("Error when getting ORVA Name!\n"), ""));
}

TEST(CdMedium, NoCardPresentFailsToConnect)
{
    EXPECT_TRUE(RunMatches(RunWords({"-cd", "-gen", "-GetName"}), 33, "Connecting..Error during connect \n", ""));
}

TEST(CdMedium, TwoRunsAtOnceBothSucceed)
{
    // Two loops of five runs each at the same time; each loop's output in a file of its own.
    const std::string script = R"(dir=$(mktemp -d) || exit 9
loop() { for i in 1 2 3 4 5; do "$0" -cd -gen -GetName || return 1; done; }
loop > "$dir/a" & a=$!
loop > "$dir/b" & b=$!
wait $a; ra=$?
wait $b; rb=$?
cat "$dir/a" "$dir/b"
rm -r "$dir"
exit $((ra + rb)))";
    std::string expected;
    for (int i = 0; i < 10; ++i) expected += Accepted("ORVA Name : ");
    EXPECT_TRUE(RunMatches(RunWithDrive({}, Shell(script)), 0, expected, ""));
}

// --- The drive against a third-party client ----------------------------------------------

bool HaveSgRaw()
{
    return ::access("/usr/bin/sg_raw", X_OK) == 0;
}

TEST(CdDrive, ThirdPartyClientReadsIdentifyHeartbeatAndMouse)
{
    if (!HaveSgRaw()) GTEST_SKIP() << "sg_raw (package sg3-utils) is not installed";
    char scriptPath[] = "/tmp/kelcard-mouse-XXXXXX";
    const int fd = ::mkstemp(scriptPath);
    ASSERT_GE(fd, 0);
    const std::string script = "# event x y valid\n5 1023 767 1\n";
    ASSERT_EQ(static_cast<ssize_t>(script.size()), ::write(fd, script.data(), script.size()));
    ::close(fd);

    const std::string node = kCardNode;
    const RunResult run = RunWithDrive(
        {"--heartbeat", "42", "--mouse-script", scriptPath},
        {"/bin/sh", "-c",
         "sg_raw -r 10 " + node + " EE 00 00 00 00 00 00 00 00 00 && sg_raw -r 4 " + node +
             " E6 00 00 00 00 00 00 00 00 00 && sg_raw -r 16 " + node +
             " EB 00 00 00 00 00 00 00 00 00 && sg_raw -r 12 " + node + " EB 00 00 00 00 00 00 00 00 00"});
    ::unlink(scriptPath);
    EXPECT_TRUE(run.exited && run.status == 0) << Describe(run);
    EXPECT_EQ("", run.out);
    EXPECT_EQ("SCSI Status: Good \n\nReceived 10 bytes of data:\n"
              " 00     24 24 24 54 41 56 24 24  24 00                      $$$TAV$$$.\n"
              "SCSI Status: Good \n\nReceived 4 bytes of data:\n"
              " 00     2a 00 00 00                                         *...\n"
              "SCSI Status: Good \n\nReceived 12 bytes of data:\n"
              " 00     05 00 00 ff 03 ff 02 00  00 00 00 01                ............\n"
              "SCSI Status: Good \n\nReceived 12 bytes of data:\n"
              " 00     00 00 00 00 00 00 00 00  00 00 00 00                ............\n",
              run.err);
}

TEST(CdDrive, ThirdPartyClientSeesRefusedCommandsAsIllegalRequests)
{
    if (!HaveSgRaw()) GTEST_SKIP() << "sg_raw (package sg3-utils) is not installed";
    const std::string node = kCardNode;
    const RunResult run = RunWithDrive(
        {}, {"/bin/sh", "-c",
             "sg_raw -r 512 " + node + " E3 00 00 00 00 07 00 00 01 00; echo \"status $?\"; sg_raw " + node +
                 " E9 00 00 00 00 00 00 00 00 00; echo \"status $?\""});
    EXPECT_TRUE(run.exited && run.status == 0) << Describe(run);
    EXPECT_EQ("status 22\nstatus 9\n", run.out);
    EXPECT_EQ("SCSI Status: Check Condition \n\nSense Information:\n"
              "Fixed format, current; Sense key: Illegal Request\n"
              "Additional sense: Logical block address out of range\n\n"
              "Error 22 occurred, no data received\n"
              "SCSI Status: Check Condition \n\nSense Information:\n"
              "Fixed format, current; Sense key: Illegal Request\n"
              "Additional sense: Invalid command operation code\n\n",
              run.err);
}

// --- kelcard run itself ------------------------------------------------------------------

TEST(KelcardRun, ExitsWithTheProgramsStatus)
{
    EXPECT_TRUE(RunMatches(RunWithDrive({}, {"/bin/sh", "-c", "echo out; exit 3"}), 3, "out\n", ""));
    // Ended by a signal: 128 + its number.
    EXPECT_TRUE(RunMatches(RunWithDrive({}, {"/bin/sh", "-c", "kill -TERM $$"}), 143, "", ""));

    const RunResult missing = RunWithDrive({}, {"/nonexistent/program"});
    EXPECT_TRUE(missing.exited && missing.status == 127) << Describe(missing);
    EXPECT_EQ("kelcard: cannot run '/nonexistent/program': No such file or directory\n", missing.err);

    const RunResult bad = RunWithDrive({"--heartbeat", "soon"}, {"/bin/true"});
    EXPECT_TRUE(bad.exited && bad.status == 2) << Describe(bad);
    EXPECT_EQ(0u, bad.err.rfind("kelcard: --heartbeat needs seconds (-2147483648 to 2147483647), got 'soon'\n\nUsage:", 0))
        << bad.err;
}

TEST(KelcardRun, WaitsForWhatTheProgramDetached)
{
    // The detached process holds none of the run's output streams (so only kelcard run
    // itself can wait for it) and writes its file only after the program has ended.
    char dir[] = "/tmp/kelcard-run-XXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(dir));
    const std::string file = std::string(dir) + "/detached";
    const RunResult run = RunWithDrive(
        {}, {"/bin/sh", "-c",
             "setsid /bin/sh -c 'while kill -0 \"$1\" 2>/dev/null; do sleep 0.01; done; sleep 0.2; echo done > \"$2\"' "
             "detached $$ \"$0\" </dev/null >/dev/null 2>&1 & exit 4",
             file});
    std::string text;
    if (FILE* f = std::fopen(file.c_str(), "r")) {
        char buf[64];
        text.assign(buf, std::fread(buf, 1, sizeof(buf), f));
        std::fclose(f);
    }
    ::unlink(file.c_str());
    ::rmdir(dir);
    EXPECT_TRUE(RunMatches(run, 4, "", ""));
    EXPECT_EQ("done\n", text) << "kelcard run ended before the detached process";
}

TEST(KelcardRun, ProgramEnvironmentAddsThePreloadAndKeepsSanitizerOptions)
{
    const char* const old = std::getenv("ASAN_OPTIONS");
    const std::string saved = old != nullptr ? old : "";
    const std::string given = saved.empty() ? "halt_on_error=1" : saved;
    ::setenv("ASAN_OPTIONS", given.c_str(), 1);
    const char* const preload = std::getenv("LD_PRELOAD");
    const std::string expectedPreload =
        (preload != nullptr && *preload != '\0' ? std::string(preload) + ":" : "") + "libumockdev-preload.so.0";

    const RunResult run =
        RunWithDrive({}, {"/bin/sh", "-c", R"(printf '%s\n' "$LD_PRELOAD" "$ASAN_OPTIONS"; test -d "$UMOCKDEV_DIR")"});
    if (old != nullptr)
        ::setenv("ASAN_OPTIONS", saved.c_str(), 1);
    else
        ::unsetenv("ASAN_OPTIONS");
    EXPECT_TRUE(RunMatches(run, 0, expectedPreload + "\n" + given + ":verify_asan_link_order=0\n", ""));
}

}  // namespace
}  // namespace e2e
