// The host daemons under kelcard run, as an administrator runs them: kelbeat's
// heartbeats as the card receives them (its --heartbeat-log), the drive's command
// counts and how the daemon ended (its --report), kelpointer's pointer and buttons as
// the X server has them, and how both stop.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "background.h"
#include "command_runs.h"
#include "harness.h"

// After the test's own headers: Xlib defines macros with common names.
#include <X11/Xlib.h>

namespace e2e {
namespace {

using Words = std::vector<std::string>;
using groups::operator<<;

// How late a daemon may end after SIGTERM, and how far a heartbeat may stray from
// its time (command time and scheduling on a busy machine).
constexpr Millis kStopWithin{1500};
constexpr long kSlackMs = 600;

// kelcard run DRIVE_OPTIONS -- DAEMON [ENV...], in the background.
::testing::AssertionResult StartUnderCard(Background& run, const Words& driveOptions, const char* daemon,
                                          const Words& env = {})
{
    Words argv{KELCARD_BIN, "run"};
    argv.insert(argv.end(), driveOptions.begin(), driveOptions.end());
    argv.push_back("--");
    argv.push_back(daemon);
    return run.Start(argv, env);
}

// The daemon under kelcard run: the process left to it that leads a session of its own.
pid_t DetachedDaemon(const Background& run)
{
    pid_t daemon = -1;
    WaitUntil(Millis(2000), [&] {
        for (const pid_t pid : run.Children())
            if (::getsid(pid) == pid) daemon = pid;
        return daemon > 0;
    });
    return daemon;
}

// `signal` to kelcard run, which passes SIGTERM, SIGINT and SIGHUP on to the detached
// daemon: both end, with status 0, within kStopWithin. The signal goes out once the
// daemon is kelcard run's own child: until the program that started it has ended (which
// may take a while under the sanitizers), kelcard run cannot reach it.
::testing::AssertionResult StopsPromptly(Background& run, int signal = SIGTERM)
{
    DetachedDaemon(run);
    int status = 0;
    Millis took{};
    if (!run.Terminate(kStopWithin, status, took, signal))
        return ::testing::AssertionFailure() << "still running " << kStopWithin.count() << " ms after signal "
                                             << signal;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return ::testing::AssertionFailure() << "wait status " << status << "; standard error:\n" << run.Err();
    return ::testing::AssertionSuccess() << "ended after " << took.count() << " ms";
}

// kelcard run's --report, read after it ended: the drive's command counts by name, and
// how each process left behind (the detached daemon) ended: "exit 0", "signal 13".
struct Report {
    std::map<std::string, long> counts;
    std::vector<std::string> daemons;
};

Report ReadReport(const std::string& path)
{
    Report report;
    std::istringstream lines(FileText(path));
    for (std::string name, rest; lines >> name && std::getline(lines >> std::ws, rest);) {
        if (name == "daemon")
            report.daemons.push_back(rest);
        else
            report.counts[name] = std::strtol(rest.c_str(), nullptr, 10);
    }
    return report;
}

// --- The command line -------------------------------------------------------------------

struct CommandLineCase {
    const char* name;
    const char* program;
    Words args;
    int status;
    std::string out;  // "%s" stands for the program's path
};

std::string WithName(std::string text, const std::string& name)
{
    for (std::size_t at; (at = text.find("%s")) != std::string::npos;) text.replace(at, 2, name);
    return text;
}

class DaemonCommandLine : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(DaemonCommandLine, PrintsBannerOrUsageWithoutDetaching)
{
    const CommandLineCase& c = GetParam();
    KelvastRun run;
    run.program = c.program;
    run.args = c.args;
    run.limitSeconds = 10;
    EXPECT_TRUE(RunMatches(RunKelvast(run), c.status, WithName(c.out, c.program), ""));
}

const std::string kBeatBanner = "ORVA Heartbeat Service Version 1.6.5.2, Thu May 15 19:22:29 EDT 2003 \n";
const std::string kPointerBanner = "ORVA Host Mouse Application 1.6.5.2, Thu May 15 19:22:30 EDT 2003 \n";
const std::string kBeatUsage = "Usage:\n%s start - to start the service\n%s stop - to stop the service\n";
const std::string kPointerUsage = "Usage:\n%s -v or -version - to display version information \n";

INSTANTIATE_TEST_SUITE_P(
    Rows, DaemonCommandLine,
    ::testing::Values(CommandLineCase{"KelbeatV", KELBEAT_BIN, {"-v"}, 0, kBeatBanner},
                      CommandLineCase{"KelbeatVersionAnyCase", KELBEAT_BIN, {"-VerSion", "x"}, 0, kBeatBanner},
                      CommandLineCase{"KelbeatStart", KELBEAT_BIN, {"start"}, 1, kBeatUsage},
                      CommandLineCase{"KelbeatStop", KELBEAT_BIN, {"stop"}, 1, kBeatUsage},
                      CommandLineCase{"KelpointerVERSION", KELPOINTER_BIN, {"-VERSION"}, 0, kPointerBanner},
                      CommandLineCase{"KelpointerFooBar", KELPOINTER_BIN, {"foo", "bar"}, 1, kPointerUsage},
                      CommandLineCase{"KelpointerDoubleDash", KELPOINTER_BIN, {"--v"}, 1, kPointerUsage}),
    CaseName());

// --- kelbeat ----------------------------------------------------------------------------

struct Beat {
    std::string word;  // start, heartbeat, end
    long ms;           // since kelcard run started
};

std::vector<Beat> ReadBeats(const std::string& path)
{
    std::vector<Beat> beats;
    std::istringstream lines(FileText(path));
    for (Beat beat; lines >> beat.word >> beat.ms;) beats.push_back(beat);
    return beats;
}

std::vector<long> TimesOf(const std::vector<Beat>& beats, const std::string& word)
{
    std::vector<long> times;
    for (const Beat& beat : beats)
        if (beat.word == word) times.push_back(beat.ms);
    return times;
}

std::string Describe(const std::vector<Beat>& beats)
{
    std::ostringstream s;
    for (const Beat& beat : beats) s << beat.word << " " << beat.ms << "\n";
    return s.str();
}

// Waits for `count` heartbeats in the card's log; returns the log.
std::vector<Beat> WaitForHeartbeats(const std::string& log, std::size_t count, Millis limit)
{
    WaitUntil(limit, [&] { return TimesOf(ReadBeats(log), "heartbeat").size() >= count; });
    return ReadBeats(log);
}

struct PaceCase {
    const char* name;
    const char* answer;  // the card's answer to every heartbeat
    long seconds;        // the wait kelbeat keeps between heartbeats
    std::size_t beats;   // heartbeats to watch
};

class KelbeatPace : public ::testing::TestWithParam<PaceCase> {};

TEST_P(KelbeatPace, FirstHeartbeatAtOnceThenAtTheCardsInterval)
{
    const PaceCase& c = GetParam();
    TempFile log("heartbeats");
    Background run;
    ASSERT_TRUE(StartUnderCard(run, {"--heartbeat", c.answer, "--heartbeat-log", log.Path()}, KELBEAT_BIN));
    const std::vector<Beat> beats = WaitForHeartbeats(log.Path(), c.beats, Millis(c.seconds * 1000 * c.beats + 5000));
    EXPECT_TRUE(StopsPromptly(run));

    const std::vector<long> heartbeats = TimesOf(beats, "heartbeat");
    ASSERT_GE(heartbeats.size(), c.beats) << Describe(beats);
    ASSERT_EQ("start", beats[0].word) << Describe(beats);
    EXPECT_EQ(1u, TimesOf(beats, "start").size()) << Describe(beats);
    EXPECT_LT(heartbeats[0] - beats[0].ms, kSlackMs) << Describe(beats);
    for (std::size_t i = 1; i < c.beats; ++i) {
        const long gap = heartbeats[i] - heartbeats[i - 1];
        EXPECT_GE(gap, c.seconds * 1000) << Describe(beats);
        EXPECT_LT(gap, c.seconds * 1000 + kSlackMs) << Describe(beats);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, KelbeatPace,
                         ::testing::Values(PaceCase{"Answer2", "2", 2, 3}, PaceCase{"Answer0Means6", "0", 6, 2},
                                           PaceCase{"AnswerBelowMinus1Means6", "-7", 6, 2}),
                         CaseName());

TEST(Kelbeat, ReconnectsWhenTheCardComesBackAndBeatsAtOnceWithoutANewStart)
{
    // Heartbeats due at 0 s and 3 s; the card is away from 1 s to 4 s.
    TempFile log("heartbeats");
    Background run;
    ASSERT_TRUE(StartUnderCard(run, {"--heartbeat", "3", "--gone-at", "1", "--back-at", "4", "--heartbeat-log",
                                     log.Path()},
                               KELBEAT_BIN));
    const std::vector<Beat> beats = WaitForHeartbeats(log.Path(), 3, Millis(12000));
    EXPECT_TRUE(StopsPromptly(run));

    const std::vector<long> heartbeats = TimesOf(beats, "heartbeat");
    ASSERT_GE(heartbeats.size(), 3u) << Describe(beats);
    EXPECT_EQ(1u, TimesOf(beats, "start").size()) << Describe(beats);
    EXPECT_LT(heartbeats[0], 1000) << Describe(beats);
    // The beat due at 3 s failed; the next goes after the 1-second pause, the card
    // being back by then.
    EXPECT_GE(heartbeats[1], 4000) << Describe(beats);
    EXPECT_GE(heartbeats[1] - heartbeats[0], 4000) << Describe(beats);
    EXPECT_LT(heartbeats[1] - heartbeats[0], 4000 + kSlackMs) << Describe(beats);
    EXPECT_GE(heartbeats[2] - heartbeats[1], 3000) << Describe(beats);
}

TEST(Kelbeat, KeepsProbingForAMissingCardWithPausesAndStartsWhenItAppears)
{
    // Searches (two identify commands each) at 0 s and 1 s fail; the one after the
    // 2-second pause, at 3 s, finds the card that came back at 2 s.
    TempFile log("heartbeats"), report("report");
    Background run;
    ASSERT_TRUE(StartUnderCard(run, {"--gone-at", "0", "--back-at", "2", "--heartbeat-log", log.Path(), "--report",
                                     report.Path()},
                               KELBEAT_BIN));
    const std::vector<Beat> beats = WaitForHeartbeats(log.Path(), 1, Millis(8000));
    EXPECT_TRUE(StopsPromptly(run));
    ASSERT_GE(beats.size(), 2u) << Describe(beats);
    EXPECT_EQ("start", beats[0].word);
    EXPECT_GE(beats[0].ms, 3000) << Describe(beats);
    EXPECT_LT(beats[0].ms, 3000 + kSlackMs) << Describe(beats);
    EXPECT_EQ(4, ReadReport(report.Path()).counts["while-away"]);
}

TEST(Kelbeat, PausesOneSecondThenLongerAfterEachMinus1Answer)
{
    // Start, start again 1 s later, the heartbeat 2 s after that, the next one 4 s
    // after that (at 7 s, then every 6 s): at most 2 heartbeats in 10 s. SIGTERM in
    // the 4-second pause.
    TempFile log("heartbeats"), report("report");
    Background run;
    ASSERT_TRUE(StartUnderCard(run, {"--heartbeat", "-1", "--heartbeat-log", log.Path(), "--report", report.Path()},
                               KELBEAT_BIN));
    WaitForHeartbeats(log.Path(), 1, Millis(6000));
    WaitUntil(Millis(500), [] { return false; });  // nothing more within half a second
    EXPECT_TRUE(StopsPromptly(run));

    const std::vector<Beat> beats = ReadBeats(log.Path());
    ASSERT_EQ(4u, beats.size()) << Describe(beats);
    EXPECT_EQ("start start heartbeat end", beats[0].word + " " + beats[1].word + " " + beats[2].word + " " +
                                                   beats[3].word);
    for (const std::size_t i : {1u, 2u}) {
        EXPECT_GE(beats[i].ms - beats[i - 1].ms, 1000L * i) << Describe(beats);
        EXPECT_LT(beats[i].ms - beats[i - 1].ms, 1000L * i + kSlackMs) << Describe(beats);
    }
    Report counts = ReadReport(report.Path());
    EXPECT_EQ(2, counts.counts["heartbeat-start"]);
    EXPECT_EQ(1, counts.counts["heartbeat"]);
    EXPECT_EQ(std::vector<std::string>{"exit 0"}, counts.daemons);
}

struct StopCase {
    const char* name;
    Words driveOptions;
    std::size_t heartbeatsFirst;  // heartbeats to wait for before the signal
    std::string logAfter;         // the card's log after the stop, times left out
    int signal = SIGTERM;         // to kelcard run, which passes it on
    int ignored = 0;              // sent to the daemon itself first, when not 0
};

class KelbeatStop : public ::testing::TestWithParam<StopCase> {};

TEST_P(KelbeatStop, EndsWithinASecondOfAStopSignalWithHeartbeatEndAndStatus0)
{
    const StopCase& c = GetParam();
    TempFile log("heartbeats"), report("report");
    Background run;
    Words options = c.driveOptions;
    options.insert(options.end(), {"--heartbeat-log", log.Path(), "--report", report.Path()});
    ASSERT_TRUE(StartUnderCard(run, options, KELBEAT_BIN));
    WaitForHeartbeats(log.Path(), c.heartbeatsFirst, Millis(5000));
    if (c.ignored != 0) {
        const pid_t daemon = DetachedDaemon(run);
        ASSERT_GT(daemon, 0);
        ASSERT_EQ(0, ::kill(daemon, c.ignored));
    }
    WaitUntil(Millis(500), [] { return false; });  // into the wait (or the probing)
    EXPECT_TRUE(StopsPromptly(run, c.signal));
    std::string words;
    for (const Beat& beat : ReadBeats(log.Path())) words += beat.word + "\n";
    EXPECT_EQ(c.logAfter, words);
    EXPECT_EQ(std::vector<std::string>{"exit 0"}, ReadReport(report.Path()).daemons);
}

const std::string kStartBeatEnd = "start\nheartbeat\nend\n";
INSTANTIATE_TEST_SUITE_P(
    Rows, KelbeatStop,
    ::testing::Values(StopCase{"DuringA30SecondWait", {"--heartbeat", "30"}, 1, kStartBeatEnd},
                      StopCase{"BySigint", {"--heartbeat", "30"}, 1, kStartBeatEnd, SIGINT},
                      StopCase{"BySighup", {"--heartbeat", "30"}, 1, kStartBeatEnd, SIGHUP},
                      StopCase{"AfterIgnoringSigpipe", {"--heartbeat", "30"}, 1, kStartBeatEnd, SIGTERM, SIGPIPE},
                      StopCase{"AfterIgnoringSigusr1", {"--heartbeat", "30"}, 1, kStartBeatEnd, SIGTERM, SIGUSR1},
                      StopCase{"AfterIgnoringSigusr2", {"--heartbeat", "30"}, 1, kStartBeatEnd, SIGTERM, SIGUSR2},
                      // The heartbeat end goes to no card: nothing reaches it.
                      StopCase{"WhileNoCardIsPresent", {"--gone-at", "0"}, 0, ""}),
    CaseName());

// --- kelpointer ---------------------------------------------------------------------------

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;

// An X client watching the root window: button presses and releases in order, and
// the pointer's position.
class RootWatcher {
public:
    ~RootWatcher()
    {
        if (m_display != nullptr) XCloseDisplay(m_display);
    }
    bool Open(const std::string& name)
    {
        m_display = XOpenDisplay(name.c_str());
        if (m_display == nullptr) return false;
        XSelectInput(m_display, DefaultRootWindow(m_display), ButtonPressMask | ButtonReleaseMask);
        XSync(m_display, False);
        return true;
    }
    // "press N" / "release N" lines, in the order the server delivered them.
    const std::string& Buttons()
    {
        while (XPending(m_display) > 0) {
            XEvent event;
            XNextEvent(m_display, &event);
            if (event.type == ButtonPress || event.type == ButtonRelease)
                m_buttons += std::string(event.type == ButtonPress ? "press " : "release ") +
                              std::to_string(event.xbutton.button) + "\n";
        }
        return m_buttons;
    }
    std::pair<int, int> Pointer()
    {
        unsigned mask;
        return Query(mask);
    }
    // The buttons the server holds pressed: Button1Mask (0x100) and up.
    unsigned ButtonMask()
    {
        unsigned mask = 0;
        Query(mask);
        return mask & (Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask);
    }

private:
    std::pair<int, int> Query(unsigned& mask)
    {
        Window rootWindow, child;
        int x = -1, y = -1, wx, wy;
        XQueryPointer(m_display, DefaultRootWindow(m_display), &rootWindow, &child, &x, &y, &wx, &wy, &mask);
        return {x, y};
    }

    ::Display* m_display = nullptr;
    std::string m_buttons;
};

// Xvfb, a watcher on it, and kelpointer under kelcard run with a mouse script.
class KelpointerTest : public ::testing::Test {
protected:
    ::testing::AssertionResult Start(const std::string& script, const Words& moreOptions = {})
    {
        if (!script_.Write(script)) return ::testing::AssertionFailure() << "cannot write the mouse script";
        ::testing::AssertionResult x = xserver_.Start(kScreenWidth, kScreenHeight);
        if (!x) return x;
        if (!watcher_.Open(xserver_.Display())) return ::testing::AssertionFailure() << "cannot watch the display";
        Words options{"--mouse-script", script_.Path(), "--report", report_.Path()};
        options.insert(options.end(), moreOptions.begin(), moreOptions.end());
        return StartUnderCard(run_, options, KELPOINTER_BIN, {"DISPLAY=" + xserver_.Display()});
    }

    TempFile script_{"mouse"};
    TempFile report_{"report"};
    XServer xserver_;
    RootWatcher watcher_;
    Background run_;
};

struct PointerCase {
    const char* name;
    std::string script;   // EVENT ABSX ABSY VALID a line
    std::string buttons;  // what the X server delivers
    int x, y;             // where the pointer ends
};

class KelpointerReplay : public KelpointerTest, public ::testing::WithParamInterface<PointerCase> {};

TEST_P(KelpointerReplay, XServerGetsTheCardsPointerAndButtons)
{
    const PointerCase& c = GetParam();
    ASSERT_TRUE(Start(c.script));
    const std::pair<int, int> expected{c.x, c.y};
    WaitUntil(Millis(5000), [&] { return watcher_.Buttons() == c.buttons && watcher_.Pointer() == expected; });
    WaitUntil(Millis(300), [] { return false; });  // nothing more follows
    EXPECT_EQ(c.buttons, watcher_.Buttons());
    EXPECT_EQ(expected, watcher_.Pointer());
    EXPECT_TRUE(StopsPromptly(run_));
    EXPECT_EQ("", run_.Out());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, KelpointerReplay,
    ::testing::Values(
        // The 1024x768 grid scaled to the screen.
        PointerCase{"CentreScaled", "0 512 384 1\n", "", 640, 512},
        PointerCase{"CornerScaled", "0 100 700 1\n", "", 125, 933},
        PointerCase{"LeftRightMiddle", "1 10 10 1\n0 10 10 1\n2 10 10 1\n0 10 10 1\n4 10 10 1\n0 20 30 1\n",
                    "press 1\nrelease 1\npress 3\nrelease 3\npress 2\nrelease 2\n", 25, 40},
        // All presses before all releases; repeated packets only move the pointer.
        PointerCase{"PressBeforeRelease", "1 0 0 1\n2 0 0 1\n2 0 0 1\n6 0 0 1\n1 8 6 1\n",
                    "press 1\npress 3\nrelease 1\npress 2\npress 1\nrelease 3\nrelease 2\n", 10, 8}),
    CaseName());

TEST_F(KelpointerTest, IgnoresPacketsNotValidAndPausesFiveSecondsOnValidData2)
{
    ASSERT_TRUE(Start("1 100 100 0\n7 200 200 2\n0 256 192 1\n"));
    const auto started = std::chrono::steady_clock::now();
    const std::pair<int, int> target{320, 256};
    ASSERT_TRUE(WaitUntil(Millis(8000), [&] { return watcher_.Pointer() == target; }));
    const auto moved = std::chrono::steady_clock::now() - started;
    EXPECT_GE(moved, Millis(4500));
    EXPECT_EQ("", watcher_.Buttons());
    EXPECT_TRUE(StopsPromptly(run_));
}

struct PointerStopCase {
    const char* name;
    std::string script;
    Words options;
    int waitMs;       // before SIGTERM
    long mostPolls;   // mouse queries the card may see in that time
    long mostAway;    // commands refused while the card was away
};

class KelpointerStop : public KelpointerTest, public ::testing::WithParamInterface<PointerStopCase> {};

TEST_P(KelpointerStop, EndsWithinASecondOfSigtermWithoutFloodingTheCard)
{
    const PointerStopCase& c = GetParam();
    ASSERT_TRUE(Start(c.script, c.options));
    WaitUntil(Millis(c.waitMs), [] { return false; });
    EXPECT_TRUE(StopsPromptly(run_));
    EXPECT_EQ("", run_.Out());
    Report report = ReadReport(report_.Path());
    EXPECT_LE(report.counts["mouse"], c.mostPolls);
    EXPECT_LE(report.counts["while-away"], c.mostAway);
    EXPECT_EQ(std::vector<std::string>{"exit 0"}, report.daemons);
}

// Polling a pointer at rest: pauses of 2 ms doubling to 64 ms, about 20 queries in the
// first second. Searching for a card: a pass, 1 s, a pass, 2 s, a pass.
INSTANTIATE_TEST_SUITE_P(
    Rows, KelpointerStop,
    ::testing::Values(PointerStopCase{"WhilePolling", "", {}, 1000, 40, 0},
                      PointerStopCase{"InTheFiveSecondPause", "0 0 0 2\n", {}, 1000, 1, 0},
                      PointerStopCase{"WaitingForTheCard", "", {"--gone-at", "0"}, 1500, 0, 2},
                      // The card goes at 1 s: SIGTERM in the 2-second pause.
                      PointerStopCase{"InThePauseAfterLosingTheCard", "", {"--gone-at", "1"}, 1500, 40, 1}),
    CaseName());

struct ButtonCase {
    const char* name;
    Words options;
    int signal;  // 0: the card goes away (at 1 s), then SIGTERM
};

class KelpointerButtons : public KelpointerTest, public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(KelpointerButtons, ReleasesEveryButtonItPressedOnStopAndWhenTheCardGoes)
{
    const ButtonCase& c = GetParam();
    // Every Event bit set: left, right and middle pressed; the higher bits mean nothing.
    ASSERT_TRUE(Start("0xFF 100 100 1\n", c.options));
    const unsigned all = Button1Mask | Button2Mask | Button3Mask;
    ASSERT_TRUE(WaitUntil(Millis(5000), [&] { return watcher_.ButtonMask() == all; })) << watcher_.ButtonMask();
    if (c.signal == 0) {
        EXPECT_TRUE(WaitUntil(Millis(3000), [&] { return watcher_.ButtonMask() == 0; })) << watcher_.ButtonMask();
        EXPECT_TRUE(run_.Running());
    }
    EXPECT_TRUE(StopsPromptly(run_, c.signal == 0 ? SIGTERM : c.signal));
    EXPECT_EQ(0u, watcher_.ButtonMask());
    EXPECT_EQ("press 1\npress 3\npress 2\nrelease 1\nrelease 3\nrelease 2\n", watcher_.Buttons());
    EXPECT_EQ(std::vector<std::string>{"exit 0"}, ReadReport(report_.Path()).daemons);
}

INSTANTIATE_TEST_SUITE_P(Rows, KelpointerButtons,
                         ::testing::Values(ButtonCase{"Sigterm", {}, SIGTERM}, ButtonCase{"Sigint", {}, SIGINT},
                                           ButtonCase{"Sighup", {}, SIGHUP},
                                           ButtonCase{"CardGoesAway", {"--gone-at", "1"}, 0}),
                         CaseName());

TEST(Kelpointer, WithoutADisplaySaysSoAndEnds)
{
    Background run;
    ASSERT_TRUE(StartUnderCard(run, {}, KELPOINTER_BIN, {"DISPLAY=:59999"}));
    int status = 0;
    ASSERT_TRUE(run.WaitForExit(Millis(5000), status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ("Unable to open Local X-Display\n", run.Out());
}

}  // namespace
}  // namespace e2e
