// kelcard: an ORVA management card on the host's loopback network and on a SCSI bus.
//   kelcard serve --address A [options]   the card's ZUNA service on A:6577
//   kelcard serve --address FIRST-LAST [options]   a card of its own on each address
//   kelcard run [options] -- PROGRAM ARGS  PROGRAM with the card's virtual drive present
//   kelcard mkimage FILE [--corrupt MODULE] [--omit MODULE]   a firmware image file
//   kelcard --help
// Exit status of serve: 0 after SIGINT/SIGTERM or --help, 1 when the card cannot start
// serving, 2 for bad arguments. Of run: PROGRAM's (128 + N after signal N, 127 when it
// cannot be started), 1 when the card cannot start, 2 for bad arguments.
#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <algorithm>
#include <system_error>
#include <vector>

#include <dirent.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "card_model.h"
#include "filecloser.h"
#include "kelcard_options.h"
#include "kelcard_state.h"
#include "stdfds.h"
#include "tcp_server.h"
#include "vdrive.h"
#include "vdrive_umockdev.h"

extern char** environ;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "kelcard: %s\n\n%s%s", message.c_str(), kelcard::kUsage, kelcard::kRunUsage);
    return kExitUsage;
}

// Blocks SIGINT and SIGTERM in this thread and in the threads it starts later, so that
// WaitForStopSignal() can take them.
sigset_t BlockStopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return set;
}

void WaitForStopSignal(const sigset_t& set)
{
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
}

// Prints each host power action of the card as it happens; `suffix` follows the action
// word ("" for a single card).
void PrintHostPowerActions(kelcard::CardModel& card, std::string suffix = {})
{
    card.SetHostPowerHook([suffix = std::move(suffix)](kelcard::HostPowerAction action) {
        std::fprintf(stderr, "host power: %s%s\n", kelcard::HostPowerWord(action), suffix.c_str());
        std::fflush(stderr);
    });
}

// Each card's TCP service holds its listening socket and a wake-up pipe; connections
// take one more each. The soft limit is raised towards the hard one so that a range of
// cards fits; false with a message when it cannot.
constexpr std::size_t kDescriptorsPerCard = 3;
constexpr std::size_t kSpareDescriptors = 256;

bool MakeRoomForDescriptors(std::size_t cards, std::string& error)
{
    const rlim_t needed = cards * kDescriptorsPerCard + kSpareDescriptors;
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return true;  // nothing known: try
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? needed : std::min<rlim_t>(limit.rlim_max, needed);
        setrlimit(RLIMIT_NOFILE, &limit);
        if (limit.rlim_cur < needed) {
            error = std::to_string(cards) + " cards need " + std::to_string(needed) +
                    " file descriptors; the limit is " + std::to_string(limit.rlim_max);
            return false;
        }
    }
    return true;
}

// False when --state-dir names something other than a directory.
bool StateDirUsable(const kelcard::ServeOptions& options)
{
    struct stat dir{};
    return !options.stateDir || (::stat(options.stateDir->c_str(), &dir) == 0 && S_ISDIR(dir.st_mode));
}

// One card of serve: its model, then its TCP service on the model.
struct ServedCard {
    std::string address;
    kelcard::CardModel card;
    std::optional<kelcard::TcpServer> server;

    ServedCard(std::string at, const std::vector<kelcard::Account>& accounts)
        : address(std::move(at)), card(accounts)
    {
    }
};

int RunServe(const std::vector<std::string>& words)
{
    kelcard::ServeOptions options;
    std::string error;
    if (!kelcard::ParseServeOptions(words, options, error)) return UsageError(error);
    const bool fleet = options.cardCount > 1;
    if (!StateDirUsable(options)) return UsageError("--state-dir needs a directory, not '" + *options.stateDir + "'");
    if (!MakeRoomForDescriptors(options.cardCount, error)) {
        std::fprintf(stderr, "kelcard: %s\n", error.c_str());
        return kExitFailed;
    }

    const sigset_t stopSignals = BlockStopSignals();
    const auto hostNow = static_cast<int64_t>(std::time(nullptr));
    std::vector<std::unique_ptr<ServedCard>> cards;
    for (std::size_t i = 0; i < options.cardCount; ++i) {
        auto& served = *cards.emplace_back(
            std::make_unique<ServedCard>(kelcard::CardAddress(options, i), options.accounts));
        kelcard::ConfigureCard(served.card, options, hostNow, i);
        if (options.stateDir)
            kelcard::KeepCardState(served.card, kelcard::StateFilePath(*options.stateDir, served.address));
        PrintHostPowerActions(served.card, fleet ? " (" + served.address + ")" : std::string());
        served.server.emplace(served.card, served.address);
        kelcard::ConfigureServer(*served.server, options);
        if (!served.server->Start(&error)) {
            std::fprintf(stderr, "kelcard: cannot serve on %s:6577: %s\n", served.address.c_str(), error.c_str());
            return kExitFailed;  // the cards started so far stop as `cards` goes
        }
    }
    if (fleet) {
        std::printf("kelcard: %zu cards ready on %s-%s:6577\n", cards.size(), cards.front()->address.c_str(),
                    cards.back()->address.c_str());
    } else {
        std::printf("kelcard: card ready on %s:6577\n", options.address.c_str());
    }
    std::fflush(stdout);

    WaitForStopSignal(stopSignals);
    for (auto& served : cards) served->server->Stop();
    return kExitOk;
}

// --- run -------------------------------------------------------------------------------

constexpr int kExitNotStarted = 127;
constexpr int kRunStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::vector<char*> Pointers(std::vector<std::string>& words)
{
    std::vector<char*> ptrs;
    ptrs.reserve(words.size() + 1);
    for (std::string& w : words) ptrs.push_back(w.data());
    ptrs.push_back(nullptr);
    return ptrs;
}

bool ReadMouseScript(const std::string& path, std::vector<HOST_MOUSE_PKT>& packets, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    // An empty script inserts nothing, which the stream counts as a failure: it is not.
    if (file) text << file.rdbuf();
    if (!file || file.bad()) {
        error = "cannot read the mouse script '" + path + "'";
        return false;
    }
    return kelcard::ParseMouseScript(text.str(), packets, error);
}

// One line of --heartbeat-log, written out at once.
void WriteHeartbeatLine(std::FILE* log, uint8_t opcode, std::chrono::milliseconds at)
{
    const char* word = opcode == X9CD_OP_HB_START ? "start" : opcode == X9CD_OP_HB ? "heartbeat" : "end";
    std::fprintf(log, "%s %lld\n", word, static_cast<long long>(at.count()));
    std::fflush(log);
}

// The processes whose parent is this one: the program and, as this process is a
// subreaper, whatever the program left behind.
std::vector<pid_t> Children()
{
    std::vector<pid_t> children;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return children;
    const pid_t self = getpid();
    // The stream is this call's own; readdir shares nothing between streams.
    while (const dirent* entry = readdir(proc)) {  // NOLINT(concurrency-mt-unsafe)
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') continue;
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        std::string state;
        long ppid = 0;
        if (rest >> state >> ppid && ppid == self) children.push_back(static_cast<pid_t>(pid));
    }
    closedir(proc);
    return children;
}

// Waits until the program and every process left to this one have ended; stop signals
// are passed on to them meanwhile. Returns the program's wait status; the wait statuses
// of the others go to `leftBehind`, in the order they ended. `signals` holds SIGCHLD
// and the stop signals, all blocked.
int WaitForAll(pid_t program, const sigset_t& signals, std::vector<int>& leftBehind)
{
    int programStatus = 0;
    for (;;) {
        for (;;) {
            int status = 0;
            const pid_t ended = waitpid(-1, &status, WNOHANG);
            if (ended > 0) {
                if (ended == program)
                    programStatus = status;
                else
                    leftBehind.push_back(status);
                continue;
            }
            if (ended < 0 && errno == EINTR) continue;
            if (ended < 0) return programStatus;  // ECHILD: nobody left
            break;                                // some still run
        }
        siginfo_t info;
        const int signal = sigwaitinfo(&signals, &info);
        if (signal <= 0 || signal == SIGCHLD) continue;
        for (const pid_t child : Children()) kill(child, signal);
    }
}

int ExitStatusOf(int waitStatus)
{
    if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
    return WEXITSTATUS(waitStatus);
}

// The --report file: the drive's command counts, then how each process the program
// left behind ended. False when it cannot be written.
bool WriteReport(const std::string& path, const kelcard::DriveCounts& counts, const std::vector<int>& leftBehind)
{
    std::ofstream report(path, std::ios::binary);
    const std::pair<const char*, unsigned> rows[] = {
        {"identify", counts.identify},        {"heartbeat-start", counts.heartbeatStart},
        {"heartbeat", counts.heartbeat},      {"heartbeat-end", counts.heartbeatEnd},
        {"mouse", counts.mouse},              {"mailbox", counts.mailboxCommands},
        {"refused", counts.refused},          {"while-away", counts.whileAway},
    };
    for (const auto& [name, count] : rows) report << name << " " << count << "\n";
    for (const int status : leftBehind) {
        if (WIFSIGNALED(status))
            report << "daemon signal " << WTERMSIG(status) << "\n";
        else
            report << "daemon exit " << WEXITSTATUS(status) << "\n";
    }
    return static_cast<bool>(report.flush());
}

int RunProgram(const std::vector<std::string>& words)
{
    kelcard::RunOptions options;
    std::string error;
    if (!kelcard::ParseRunOptions(words, options, error)) return UsageError(error);
    if (!StateDirUsable(options.card))
        return UsageError("--state-dir needs a directory, not '" + *options.card.stateDir + "'");
    if (options.mouseScriptPath && !ReadMouseScript(*options.mouseScriptPath, options.drive.mouseScript, error)) {
        std::fprintf(stderr, "kelcard: %s\n", error.c_str());
        return kExitUsage;
    }

    HostFile heartbeatLog;
    if (options.heartbeatLogPath) {
        heartbeatLog.reset(std::fopen(options.heartbeatLogPath->c_str(), "w"));
        if (!heartbeatLog) {
            std::fprintf(stderr, "kelcard: cannot write the heartbeat log '%s': %s\n",
                         options.heartbeatLogPath->c_str(), std::generic_category().message(errno).c_str());
            return kExitUsage;
        }
        options.drive.onHeartbeat = [log = heartbeatLog.get()](uint8_t opcode, std::chrono::milliseconds at) {
            WriteHeartbeatLine(log, opcode, at);
        };
    }

    // Every thread started from here on (umockdev's, the TCP server's) leaves these
    // signals to the wait below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGCHLD);
    for (const int stop : kRunStopSignals) sigaddset(&signals, stop);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Orphans of the program become this process's children, so that daemons it
    // starts are waited for too.
    if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) {
        std::fprintf(stderr, "kelcard: cannot become a subreaper: %s\n", std::generic_category().message(errno).c_str());
        return kExitFailed;
    }

    kelcard::CardModel card(options.card.accounts);
    kelcard::ConfigureCard(card, options.card, static_cast<int64_t>(std::time(nullptr)));
    if (options.card.stateDir)
        kelcard::KeepCardState(card, kelcard::StateFilePath(*options.card.stateDir, options.card.address));
    PrintHostPowerActions(card);
    kelcard::VirtualDrive drive(card, options.drive);
    kelcard::DriveSandbox sandbox(drive);
    if (!sandbox.Start(&error)) {
        std::fprintf(stderr, "kelcard: %s\n", error.c_str());
        return kExitFailed;
    }
    std::optional<kelcard::TcpServer> server;
    if (!options.card.address.empty()) {
        server.emplace(card, options.card.address);
        kelcard::ConfigureServer(*server, options.card);
        if (!server->Start(&error)) {
            std::fprintf(stderr, "kelcard: cannot serve on %s:6577: %s\n", options.card.address.c_str(),
                         error.c_str());
            return kExitFailed;
        }
    }

    // The program starts with default signal handling and nothing blocked.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    for (const int stop : kRunStopSignals) sigaddset(&defaults, stop);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<std::string> argv = options.program;
    std::vector<std::string> env = kelcard::SandboxEnvironment(environ, sandbox.RootDir());
    std::vector<char*> argvPtrs = Pointers(argv);
    std::vector<char*> envPtrs = Pointers(env);
    pid_t program = -1;
    const int spawned = posix_spawnp(&program, argvPtrs[0], nullptr, &attributes, argvPtrs.data(), envPtrs.data());
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        std::fprintf(stderr, "kelcard: cannot run '%s': %s\n", argv[0].c_str(), std::generic_category().message(spawned).c_str());
        return kExitNotStarted;
    }

    std::vector<int> leftBehind;
    const int status = WaitForAll(program, signals, leftBehind);
    if (server) server->Stop();
    if (options.reportPath && !WriteReport(*options.reportPath, drive.Counts(), leftBehind)) {
        std::fprintf(stderr, "kelcard: cannot write the report '%s'\n", options.reportPath->c_str());
        return kExitFailed;
    }
    return ExitStatusOf(status);
}

// --- mkimage --------------------------------------------------------------------------

int RunMkImage(const std::vector<std::string>& words)
{
    kelcard::MkImageOptions options;
    std::string error;
    if (!kelcard::ParseMkImageOptions(words, options, error)) return UsageError(error);
    const std::vector<unsigned char> image = BuildFirmwareImage(options.damage);
    std::FILE* file = std::fopen(options.file.c_str(), "wb");
    bool written = file != nullptr && std::fwrite(image.data(), 1, image.size(), file) == image.size();
    if (file != nullptr && std::fclose(file) != 0) written = false;
    if (!written) {
        std::fprintf(stderr, "kelcard: cannot write %s: %s\n", options.file.c_str(), std::generic_category().message(errno).c_str());
        return kExitFailed;
    }
    return kExitOk;
}

// --- sub-commands ----------------------------------------------------------------------

struct SubCommand {
    std::string_view word;
    int (*run)(const std::vector<std::string>& words);  // the words after the sub-command
};

constexpr SubCommand kSubCommands[] = {
    {"serve", RunServe},
    {"run", RunProgram},
    {"mkimage", RunMkImage},
};

bool IsHelp(std::string_view word)
{
    return word == "--help" || word == "-h" || word == "help";
}

}  // namespace

int main(int argc, char** argv)
{
    OpenNullOnClosedStandardDescriptors();
    const std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (words.empty()) return UsageError("a sub-command is needed");
    if (IsHelp(words[0]) || (words.size() > 1 && IsHelp(words[1]))) {
        std::fputs(kelcard::kUsage, stdout);
        std::fputs(kelcard::kRunUsage, stdout);
        return kExitOk;
    }
    for (const SubCommand& sub : kSubCommands) {
        if (words[0] == sub.word) return sub.run({words.begin() + 1, words.end()});
    }
    return UsageError("unknown sub-command '" + words[0] + "'");
}
