// The long options before the medium word: refusals before anything is sent, the
// password file, --json without questions and in script mode, and --trace.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "expected_text.h"
#include "harness.h"

namespace e2e {
namespace {

using Words = std::vector<std::string>;

// A file of the test's own (the pid in its name) with the given text and mode.
std::string WriteFile(const std::string& tag, const std::string& text, mode_t mode)
{
    const std::string path = "/tmp/kelvast-e2e-" + tag + "-" + std::to_string(::getpid());
    ::unlink(path.c_str());
    std::ofstream(path) << text;
    ::chmod(path.c_str(), mode);
    return path;
}

struct Refusal {
    std::string name;
    Words options;         // before -nw ADDRESS admin -gen -GetName
    std::string mode;      // "open" or "private": the password file's mode, if one is named
    std::string reason;    // what the standard error line says
};

void PrintTo(const Refusal& r, std::ostream* os)
{
    *os << r.name;
}

class OptionRefused : public ::testing::TestWithParam<Refusal> {};

// No card listens: had kelvast tried to connect it would have said "Connecting..".
TEST_P(OptionRefused, BeforeAnythingIsSentOrAsked)
{
    const Refusal& r = GetParam();
    const std::string file = WriteFile("refused", "admin\n", r.mode == "open" ? 0644 : 0600);
    KelvastRun run;
    for (const std::string& o : r.options) run.args.push_back(o == "FILE" ? file : o);
    run.args.insert(run.args.end(), {"-nw", TestAddress(), "admin", "-gen", "-GetName"});
    run.password = "admin";
    const RunResult result = RunKelvast(run);
    ::unlink(file.c_str());
    EXPECT_TRUE(result.exited && result.status == 8) << Describe(result);
    EXPECT_EQ(result.terminal, "") << "nothing is asked";
    EXPECT_NE(result.err.find(r.reason), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
    const bool json = r.options.front() == "--json";
    if (!json) {
        EXPECT_EQ(result.out, "");
        return;
    }
    nlohmann::json object;
    ASSERT_TRUE(ParsedJsonRun(result, &object));
    EXPECT_EQ(object["status"], 8);
}

INSTANTIATE_TEST_SUITE_P(Rows, OptionRefused,
                         ::testing::Values(Refusal{"Unknown", {"--bogus"}, "", "unknown option '--bogus'"},
                                           Refusal{"EmptyValue", {"--json", "--timeout="}, "", "'' is not a number"},
                                           Refusal{"TimeoutRange", {"--timeout", "0"}, "", "from 1 to 3600"},
                                           Refusal{"Twice", {"--trace", "--trace"}, "", "given twice"},
                                           Refusal{"OpenPasswordFile", {"--json", "--password-file", "FILE"}, "open",
                                                   "group or others"},
                                           Refusal{"NoPasswordFile", {"--password-file", "/nonexistent/pw"}, "",
                                                   "No such file or directory"}),
                         CaseName());

using Options = CardTest;

TEST_F(Options, PasswordFileLogsInWithoutAPrompt)
{
    ASSERT_TRUE(StartCard());
    const std::string file = WriteFile("pw", "admin\n", 0600);
    KelvastRun run;
    run.args = {"--password-file", file, "-nw", TestAddress(), "admin", "-gen", "-GetName"};
    const RunResult result = RunKelvast(run);
    ::unlink(file.c_str());
    EXPECT_TRUE(RunMatches(result, 0, kConnected + "Login Successful !\nORVA Name : " + kBanner, ""));
}

// With --json nothing is asked: invalid words get no help question, and the text a
// person reads goes to standard error.
TEST_F(Options, JsonInvalidWordsAskNothing)
{
    ASSERT_TRUE(StartCard());
    const RunResult result = KelvastJson({"-gen", "-Bogus"}, {}, "y\n");
    nlohmann::json object;
    ASSERT_TRUE(ParsedJsonRun(result, &object));
    EXPECT_EQ(result.status, 8);
    EXPECT_EQ(object["command"], nlohmann::json({"-gen", "-Bogus"}));
    EXPECT_EQ(object["message"], "unknown sub-command or word count");
    EXPECT_EQ(result.err, kLoggedIn);
    EXPECT_EQ(result.terminal, kPasswordTerminal);
}

// Script mode with --json: one object per line run (JSON Lines), the last one the
// refused line that ends the script.
TEST_F(Options, JsonScriptGivesOneObjectPerLine)
{
    ASSERT_TRUE(StartCard());
    const std::string script = WriteFile("script", "-gen -SetName rack12\n-gen -GetName\n-gen -Nope\n", 0600);
    const RunResult result = KelvastJson({"-script", script});
    ::unlink(script.c_str());
    ASSERT_TRUE(result.exited) << Describe(result);
    EXPECT_EQ(result.status, 8);
    std::vector<nlohmann::json> lines;
    for (std::size_t at = 0, end; (end = result.out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(nlohmann::json::parse(result.out.substr(at, end - at)));
    ASSERT_EQ(lines.size(), 3u) << result.out;
    EXPECT_EQ(lines[0]["command"], nlohmann::json({"-gen", "-SetName", "rack12"}));
    EXPECT_EQ(lines[0]["result"], nlohmann::json::object());
    EXPECT_EQ(lines[1]["result"], nlohmann::json({{"name", "rack12"}}));
    EXPECT_EQ(lines[2]["exit_status"], 8);
    EXPECT_TRUE(lines[2]["result"].is_null());
}

// --trace: every header on standard error with its time, the login's digest hidden;
// standard output as without it.
TEST_F(Options, TraceShowsEachHeaderButNotTheDigest)
{
    ASSERT_TRUE(StartCard());
    KelvastRun run;
    run.args = {"--trace", "-nw", TestAddress(), "admin", "-gen", "-GetName"};
    run.password = "admin";
    const RunResult result = RunKelvast(run);
    EXPECT_TRUE(result.exited && result.status == 0) << Describe(result);
    EXPECT_EQ(result.out, kLoggedIn + "ORVA Name : " + kBanner);
    for (const char* line : {"ms] request command 0x0001 ", "ms] reply   command 0x0001 status 0 data 8 ",
                             "ms] request command 0x0002 status 0 data 72 header 32 version 0.4 api 0.0 user \"admin\" "
                             "digest <hidden>\n",
                             "ms] request command 0x0907 ", "ms] reply   command 0x0907 status 0 data 256 "})
        EXPECT_NE(result.err.find(line), std::string::npos) << line << "\n" << result.err;
}

TEST(OptionsCd, TraceShowsEachScsiCallsResult)
{
    const RunResult result = RunWithDrive({}, {KELVAST_BIN, "--trace", "--json", "-cd", "-gen", "-GetName"});
    nlohmann::json object;
    ASSERT_TRUE(ParsedJsonRun(result, &object));
    EXPECT_EQ(object["card"], "cd");
    EXPECT_NE(result.err.find("sendscsicmd_SGIO: opcode 0x"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("residual 0"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("reply   command 0x0907 status 0"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace e2e
