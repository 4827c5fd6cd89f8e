// The frame both host daemons share: the command-line rule, the fork-and-detach
// start, the termination signal and the waits of their service loops.
//
// SIGTERM, SIGINT and SIGHUP stop a daemon alike: the handler of each daemon only
// clears a flag (`volatile sig_atomic_t`); everything else - releasing the buttons,
// closing the X display and the drive, sending heartbeat end, exiting with 0 - happens
// in the service loop, which reads the flag between steps. SIGPIPE, SIGUSR1 and SIGUSR2
// are ignored: a daemon has no use for them and must not die of them without its
// closing steps. Every wait of a loop (its sleeps and its waits for the card) is cut
// into short slices and ends within a fraction of a second of the flag clearing.
#pragma once

#include <csignal>

#include "x9cdhostLinux.h"

// The product word of the banners.
inline constexpr const char* kProductWord = "ORVA";

enum class DaemonCommand {
    kRun,      // no argument: detach and run the service
    kVersion,  // "-v" or "-version", any letter case: print the banner
    kUsage,    // anything else: print the usage text
};

// What tells one daemon from the other to the shared start-up.
struct DaemonProgram {
    const char* name;                  // for the usage text when the command line has none
    void (*displayVersion)();          // the version banner
    void (*usage)(const char* name);   // the usage text, with the invocation name
    void (*atExit)();                  // registered with atexit before the service runs
    void (*onTerm)(int);               // the SIGTERM/SIGINT/SIGHUP handler: clears *running
    volatile sig_atomic_t* running;    // set to 1 before the handler is installed
    void (*service)();                 // runs until *running clears (or it gives up)
};

// The whole start-up: standard descriptors opened on /dev/null where closed, the
// command line, then (without arguments) daemon_init, the exit handler, the
// termination handler and the service. Returns the exit status.
int DaemonMain(int argc, char** argv, const DaemonProgram& program);

// Only the first argument counts; further ones are ignored.
DaemonCommand ReadDaemonCommand(int argc, char** argv);

// The first word of the command line, for the usage text.
const char* InvocationName(int argc, char** argv, const char* fallback);

// Forks: the parent exits with 0; the child starts a new session, works in "/" with a
// file-creation mask of 0 and keeps its standard descriptors. -1 when the fork fails
// (the program then carries on in the foreground), else 0 in the child.
int daemon_init();

// Installs `handler` for SIGTERM, SIGINT and SIGHUP with sigaction, without
// SA_RESTART (a blocking call ends early), and ignores SIGPIPE, SIGUSR1 and SIGUSR2.
// False when one of them cannot be set.
bool InstallStopHandlers(void (*handler)(int));

// Sleeps `millis` milliseconds, in slices, while `keepGoing` stays nonzero. Returns
// whether `keepGoing` is still nonzero.
bool SleepWhile(long millis, const volatile sig_atomic_t& keepGoing);

// A pause that doubles each time it is taken, from a first length up to a longest
// one, and starts again from the first after Reset.
class GrowingPause {
public:
    constexpr GrowingPause(long firstMillis, long longestMillis)
        : m_first(firstMillis), m_longest(longestMillis), m_millis(firstMillis)
    {
    }
    // Sleeps the current pause (SleepWhile) and lengthens the next one. Returns
    // whether `keepGoing` is still nonzero.
    bool Sleep(const volatile sig_atomic_t& keepGoing);
    // The pause the next Sleep takes.
    long Millis() const { return m_millis; }
    void Reset() { m_millis = m_first; }

private:
    long m_first;
    long m_longest;
    long m_millis;
};

// The pause after a failure before the next try: 1 s, growing to 6 s; back to 1 s
// after a success. It keeps a card that fails every command, or a missing card, from
// being asked thousands of times a second.
inline constexpr GrowingPause RetryPause()
{
    return GrowingPause(1000, 6000);
}

// Waits for the card, each pass being WaitForCDConnection(attemptsPerPass), until it
// answers (0) or `keepGoing` is zero (-1). An unsuccessful pass is followed by
// `pause`'s Sleep.
int WaitForCardWhile(CX9CDHost_Linux& medium, unsigned long attemptsPerPass, GrowingPause& pause,
                     const volatile sig_atomic_t& keepGoing);
