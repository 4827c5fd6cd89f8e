// The processor time the host daemons and the card's drive use in the states a daemon
// spends most of its life in: kelbeat with no card, kelbeat with a card that answers
// every heartbeat -1, kelpointer with a card whose pointer stands still, and
// kelpointer with no card.
//
//   bench_daemons KELCARD KELBEAT KELPOINTER XVFB
//
// Each case runs `kelcard run OPTIONS -- DAEMON` (kelpointer on an Xvfb of its own),
// lets it settle, then reads the user and system time of kelcard and of the detached
// daemon from /proc/PID/stat at the start and the end of a window. Prints one markdown
// table row per case: | Measure | Result | Target | Met |, the result in percent of
// one processor (both processes together, then each). Exits 1 when a process cannot be
// started or found.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;
constexpr auto kSettle = std::chrono::seconds(1);
constexpr auto kStopLimit = std::chrono::seconds(5);
constexpr double kTargetPercent = 1.0;

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "bench_daemons: %s\n", what.c_str());
    std::exit(1);
}

// Starts argv with `env` added, standard input and output on /dev/null; when `passFd`
// is not -1 it becomes descriptor 3.
pid_t Start(const std::vector<std::string>& argv, const std::vector<std::string>& env, int passFd = -1)
{
    const pid_t pid = fork();
    if (pid < 0) Fail("fork failed");
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        if (passFd >= 0) dup2(passFd, 3);
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

void Stop(pid_t pid)
{
    kill(pid, SIGTERM);
    const Clock::time_point deadline = Clock::now() + kStopLimit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return;
        }
        poll(nullptr, 0, 20);
    }
}

// The fields of /proc/PID/stat after the command name, from the state on ("" when gone).
std::vector<std::string> StatFields(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) return {};
    std::istringstream rest(line.substr(line.rfind(')') + 1));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;) fields.push_back(field);
    return fields;
}

// User plus system time of the process (all its threads), in clock ticks.
long long CpuTicks(pid_t pid)
{
    const std::vector<std::string> fields = StatFields(pid);
    if (fields.size() < 13) Fail("process " + std::to_string(pid) + " has ended");
    return std::stoll(fields[11]) + std::stoll(fields[12]);  // utime, stime
}

pid_t ChildOf(pid_t parent)
{
    DIR* proc = opendir("/proc");
    if (proc == nullptr) Fail("cannot read /proc");
    pid_t found = -1;
    while (const dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') continue;
        const std::vector<std::string> fields = StatFields(static_cast<pid_t>(pid));
        if (fields.size() > 1 && std::stol(fields[1]) == parent) found = static_cast<pid_t>(pid);
    }
    closedir(proc);
    return found;
}

std::string Format(const char* format, double a, double b = 0, double c = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

struct Case {
    const char* measure;
    std::vector<std::string> cardOptions;
    std::string daemon;
    double windowSeconds;
};

// Runs one case and prints its row.
void Measure(const std::string& kelcard, const Case& c, const std::vector<std::string>& env)
{
    std::vector<std::string> argv{kelcard, "run"};
    argv.insert(argv.end(), c.cardOptions.begin(), c.cardOptions.end());
    argv.push_back("--");
    argv.push_back(c.daemon);
    const pid_t card = Start(argv, env);
    std::this_thread::sleep_for(kSettle);
    const pid_t daemon = ChildOf(card);
    if (daemon < 0) {
        Stop(card);
        Fail(std::string("no daemon under kelcard run for: ") + c.measure);
    }
    const long long cardBefore = CpuTicks(card), daemonBefore = CpuTicks(daemon);
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(Seconds(c.windowSeconds));
    const long long cardTicks = CpuTicks(card) - cardBefore, daemonTicks = CpuTicks(daemon) - daemonBefore;
    const double elapsed = Seconds(Clock::now() - start).count();
    Stop(card);

    const double perTick = 100.0 / static_cast<double>(sysconf(_SC_CLK_TCK)) / elapsed;
    const double cardPercent = cardTicks * perTick, daemonPercent = daemonTicks * perTick;
    const double both = cardPercent + daemonPercent;
    std::printf("| %s | %s | %s | %s |\n", c.measure,
                Format("%.2f %% (daemon %.2f %%, card %.2f %%)", both, daemonPercent, cardPercent).c_str(),
                Format("under %.0f %% of one processor", kTargetPercent).c_str(),
                both < kTargetPercent ? "yes" : "no");
    std::fflush(stdout);
}

// An Xvfb of its own; returns its pid and sets `display`.
pid_t StartXServer(const std::string& xvfb, std::string& display)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) Fail("pipe failed");
    fcntl(fds[1], F_SETFD, 0);
    const pid_t pid =
        Start({xvfb, "-noreset", "-displayfd", "3", "-screen", "0", "1280x1024x24"}, {}, fds[1]);
    close(fds[1]);
    std::string number;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buf[32];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        number.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (number.empty() || number.back() != '\n') {
        Stop(pid);
        Fail("Xvfb reported no display");
    }
    number.pop_back();
    display = ":" + number;
    return pid;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench_daemons KELCARD KELBEAT KELPOINTER XVFB\n");
        return 2;
    }
    const std::string kelcard = argv[1], kelbeat = argv[2], kelpointer = argv[3];
    Measure(kelcard, {"kelbeat and the drive, no card (kelcard run --gone-at 0), 10 s", {"--gone-at", "0"}, kelbeat, 10},
            {});
    Measure(kelcard,
            {"kelbeat and the drive, every heartbeat answered -1, 10 s", {"--heartbeat", "-1"}, kelbeat, 10}, {});
    std::string display;
    const pid_t xserver = StartXServer(argv[4], display);
    Measure(kelcard, {"kelpointer and the drive, the remote pointer standing still, 10 s", {}, kelpointer, 10},
            {"DISPLAY=" + display});
    Measure(kelcard, {"kelpointer and the drive, no card, 10 s", {"--gone-at", "0"}, kelpointer, 10},
            {"DISPLAY=" + display});
    Stop(xserver);
    return 0;
}
