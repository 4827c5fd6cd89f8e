// End-to-end harness: runs the real kelvast against a real kelcard, as an
// administrator would. kelvast gets a terminal of its own (a pseudo-terminal that is
// its controlling terminal, where the password is typed when it asks), its standard
// input from a pipe (the answers, then end of input) and its standard output and
// error captured through pipes. Every wait is bounded; children that overstay are
// killed.
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

// The loopback address that belongs to the running test alone: 127.T.X.Y, T from the
// build tree, X.Y from the test's rank among all the tests of this program sorted by
// full name, so every test (and every process that ctest starts for one) gets a
// different one, and suites of two build trees can run side by side.
std::string TestAddress();
// Host `host` (1 to 254) of the running test's spare block, 127.T.(100 + rank % 150):
// TestAddress() has X below 100 for fewer than 15000 tests and the other tests' fixed
// addresses are all in 127.0.0.0/16, so no other test uses the block, and tests of
// one file, consecutive in rank, get blocks of their own. The fleet tests take hosts
// 1-50, the exporter's 101-110.
std::string SpareAddress(int host);

// One kelvast run as the administrator does it.
struct KelvastRun {
    std::vector<std::string> args;        // the words after the program name
    std::optional<std::string> password;  // typed at the terminal when it asks
    std::string input;                    // standard input, then end of input
    std::string program;                  // path to start it by; empty: the built kelvast
    std::string timeZone = "UTC";         // TZ of the run
    int limitSeconds = 30;                // the whole run is killed past this
    int signalAtPrompt = 0;               // sent (repeatedly) instead of typing the password
    // When set, the input is held back until standard output holds `pauseAt`; then
    // atPause(pid) runs while the program waits for its answer, and the input follows.
    std::string pauseAt;
    std::function<void(pid_t)> atPause;
};

struct RunResult {
    bool exited = false;    // ended by exit (not by a signal, not killed by the harness)
    int status = -1;        // exit status when exited
    int signal = 0;         // the signal that ended it, if any
    bool timedOut = false;  // killed by the harness at the time limit
    std::string out;        // standard output
    std::string terminal;   // everything written to the terminal
    std::string err;        // standard error
    bool echoAfter = false; // the terminal echoes typing again after the run
};

RunResult RunKelvast(const KelvastRun& run);
// kelvast started by its absolute path with these words, no password, this input.
RunResult RunWords(const std::vector<std::string>& args, const std::string& input = {});

// `kelcard run CARD_OPTIONS... -- PROGRAM...`: the program (e.g. KELVAST_BIN, or a
// shell running several commands) with the card's virtual drive present, run as
// RunKelvast runs kelvast; what the run shows is the program's. The terminal answers
// `password` to every password prompt.
RunResult RunWithDrive(const std::vector<std::string>& cardOptions, const std::vector<std::string>& program,
                       const std::string& input = {}, const std::string& password = {});

// Everything a file open at `fd` holds, read from its start ("" for -1).
std::string WholeFileAt(int fd);

// A printable account of a run, for failure messages.
std::string Describe(const RunResult& result);

// Checks everything a run shows: exit status, standard output byte for byte, the
// terminal's text, and an empty standard error (sanitizer reports end up there).
::testing::AssertionResult RunMatches(const RunResult& result, int status, const std::string& out,
                                      const std::string& terminal);

// The terminal's text of a run that asked for the password once.
inline const std::string kPasswordTerminal = "Please Enter Password : \n";

// Checks a --json run and parses its object: the run exited; standard output is
// exactly one line holding one JSON object with every member of the format
// (format_version 1, card, command, exit_status, status, message, result);
// exit_status is the process's exit status; message and result are null exactly
// when they should be (message null and result an object on success, the other way
// round on failure).
::testing::AssertionResult ParsedJsonRun(const RunResult& result, nlohmann::json* object);

// One HTTP answer: its status (0 when none arrived whole in time) and its body.
struct HttpAnswer {
    int status = 0;
    std::string contentType;
    std::string body;
};
// GET http://ADDRESS:PORT/TARGET (TARGET the path and query as sent) over HTTP/1.0,
// with an Accept header when `accept` is not empty; the whole exchange bounded by
// `limitSeconds`.
HttpAnswer HttpGet(const std::string& address, int port, const std::string& target, const std::string& accept = {},
                   int limitSeconds = 30);

// Names parameterised cases by their `name` member, for test names:
//     INSTANTIATE_TEST_SUITE_P(Rows, Suite, ::testing::Values(...), CaseName());
struct CaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const
    {
        return info.param.name;
    }
};

// A kelcard serving one address; stopped with SIGTERM and reaped on destruction.
class Card {
public:
    Card() = default;
    ~Card();
    Card(const Card&) = delete;
    Card& operator=(const Card&) = delete;

    // Starts `kelcard serve --address ADDRESS OPTIONS...` and waits (bounded) for its
    // ready line. ADDRESS may be a range FIRST-LAST.
    ::testing::AssertionResult Start(const std::string& address, const std::vector<std::string>& options = {});
    // Stops the card: SIGTERM, bounded wait, SIGKILL if it stays. Reports a card that
    // crashed or ended with a failure status.
    void Stop();
    const std::string& Address() const { return m_address; }
    // What the card has written on its standard error so far.
    std::string ErrorText() const;

private:
    pid_t m_pid = -1;
    int m_stdout = -1;
    int m_stderrFile = -1;
    std::string m_address;
};

// A test with its own card at its own address (TestAddress()):
//     ASSERT_TRUE(StartCard({"--fail", "0x0907:5"}));
class CardTest : public ::testing::Test {
protected:
    ::testing::AssertionResult StartCard(const std::vector<std::string>& options = {});
    void TearDown() override;

    // kelvast -nw ADDRESS USER WORDS..., the password typed at the prompt.
    RunResult Kelvast(const std::vector<std::string>& words, const std::string& input = {},
                      const std::string& password = "admin", const std::string& user = "admin");
    // kelvast --json OPTIONS... -nw ADDRESS admin WORDS..., the password typed at the prompt.
    RunResult KelvastJson(const std::vector<std::string>& words, const std::vector<std::string>& options = {},
                          const std::string& input = {});

    Card card;
};

}  // namespace e2e
