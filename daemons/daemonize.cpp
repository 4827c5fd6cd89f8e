#include "daemonize.h"

#include "stdfds.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The longest single sleep of a wait: how late a loop may notice the flag.
constexpr long kSliceMillis = 100;
constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kIgnoredSignals[] = {SIGPIPE, SIGUSR1, SIGUSR2};
}  // namespace

DaemonCommand ReadDaemonCommand(int argc, char** argv)
{
    if (argc < 2 || argv[1] == nullptr) return DaemonCommand::kRun;
    if (strcasecmp(argv[1], "-v") == 0 || strcasecmp(argv[1], "-version") == 0) return DaemonCommand::kVersion;
    return DaemonCommand::kUsage;
}

const char* InvocationName(int argc, char** argv, const char* fallback)
{
    return argc > 0 && argv[0] != nullptr ? argv[0] : fallback;
}

int daemon_init()
{
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid != 0) std::exit(0);  // NOLINT(concurrency-mt-unsafe): the daemons have one thread
    setsid();
    if (chdir("/") != 0) {
        // Stays where it was started; nothing it does depends on the folder.
    }
    umask(0);
    return 0;
}

bool InstallStopHandlers(void (*handler)(int))
{
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    bool installed = true;
    action.sa_handler = handler;
    for (const int stop : kStopSignals) installed = sigaction(stop, &action, nullptr) == 0 && installed;
    action.sa_handler = SIG_IGN;
    for (const int ignored : kIgnoredSignals) installed = sigaction(ignored, &action, nullptr) == 0 && installed;
    return installed;
}

bool SleepWhile(long millis, const volatile sig_atomic_t& keepGoing)
{
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += millis / 1000;
    deadline.tv_nsec += (millis % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    while (keepGoing) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long long left = (deadline.tv_sec - now.tv_sec) * 1000000000LL + (deadline.tv_nsec - now.tv_nsec);
        if (left <= 0) break;
        const long long slice = left < kSliceMillis * 1000000LL ? left : kSliceMillis * 1000000LL;
        const timespec nap{static_cast<time_t>(slice / 1000000000LL), static_cast<long>(slice % 1000000000LL)};
        nanosleep(&nap, nullptr);  // a signal ends it early; the flag is read again
    }
    return keepGoing != 0;
}

bool GrowingPause::Sleep(const volatile sig_atomic_t& keepGoing)
{
    const long millis = m_millis;
    m_millis = std::min(2 * m_millis, m_longest);
    return SleepWhile(millis, keepGoing);
}

int WaitForCardWhile(CX9CDHost_Linux& medium, unsigned long attemptsPerPass, GrowingPause& pause,
                     const volatile sig_atomic_t& keepGoing)
{
    for (;;) {
        if (medium.WaitForCDConnection(attemptsPerPass) != 0) return 0;
        if (!pause.Sleep(keepGoing)) return -1;
    }
}

int DaemonMain(int argc, char** argv, const DaemonProgram& program)
{
    OpenNullOnClosedStandardDescriptors();
    switch (ReadDaemonCommand(argc, argv)) {
    case DaemonCommand::kVersion:
        program.displayVersion();
        return 0;
    case DaemonCommand::kUsage:
        program.usage(InvocationName(argc, argv, program.name));
        return 1;
    case DaemonCommand::kRun:
        break;
    }
    daemon_init();
    std::atexit(program.atExit);
    // The flag is set before the handler can clear it, so an early SIGTERM is kept.
    *program.running = 1;
    InstallStopHandlers(program.onTerm);
    program.service();
    return 0;
}
