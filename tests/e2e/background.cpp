#include "background.h"
#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>

extern char** environ;

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;
constexpr Millis kStopLimit{3000};
constexpr Millis kXServerReady{10000};

int UnnamedFile()
{
    FILE* file = std::tmpfile();
    if (file == nullptr) return -1;
    const int fd = ::dup(::fileno(file));
    std::fclose(file);
    if (fd >= 0) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

// The processes whose parent is `parent`.
std::vector<pid_t> ChildrenOf(pid_t parent)
{
    std::vector<pid_t> children;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return children;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') continue;
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
        std::istringstream rest(line.substr(line.rfind(')') + 1));
        std::string state;
        long ppid = 0;
        if (rest >> state >> ppid && ppid == parent) children.push_back(static_cast<pid_t>(pid));
    }
    ::closedir(proc);
    return children;
}

}  // namespace

Background::~Background()
{
    Kill();
    if (m_out >= 0) ::close(m_out);
    if (m_err >= 0) ::close(m_err);
}

::testing::AssertionResult Background::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                                             int passFd)
{
    Kill();
    if (m_out < 0) m_out = UnnamedFile();
    if (m_err < 0) m_err = UnnamedFile();
    if (m_out < 0 || m_err < 0 || argv.empty()) return ::testing::AssertionFailure() << "harness: no output files";
    std::vector<std::string> envWords;
    for (char** e = environ; *e != nullptr; ++e) envWords.emplace_back(*e);
    envWords.insert(envWords.end(), env.begin(), env.end());
    std::vector<std::string> args = argv;
    std::vector<char*> argPtrs, envPtrs;
    for (std::string& a : args) argPtrs.push_back(a.data());
    for (std::string& e : envWords) envPtrs.push_back(e.data());
    argPtrs.push_back(nullptr);
    envPtrs.push_back(nullptr);

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) return ::testing::AssertionFailure() << "harness: fork failed";
    if (pid == 0) {
        // Ends with the test process, whatever way that ends.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        const int null = ::open("/dev/null", O_RDONLY);
        if (null < 0 || ::dup2(null, STDIN_FILENO) < 0 || ::dup2(m_out, STDOUT_FILENO) < 0 ||
            ::dup2(m_err, STDERR_FILENO) < 0 || (passFd >= 0 && ::dup2(passFd, 3) < 0))
            ::_exit(127);
        if (passFd == 3) ::fcntl(3, F_SETFD, 0);  // dup2 onto itself keeps close-on-exec
        ::execve(argPtrs[0], argPtrs.data(), envPtrs.data());
        ::_exit(127);
    }
    m_pid = pid;
    return ::testing::AssertionSuccess();
}

bool Background::WaitForExit(Millis limit, int& waitStatus)
{
    if (m_pid <= 0) return false;
    const Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        const pid_t r = ::waitpid(m_pid, &waitStatus, WNOHANG);
        if (r == m_pid) {
            m_pid = -1;
            return true;
        }
        if (r < 0 && errno != EINTR) return false;
        if (Clock::now() >= deadline) return false;
        ::poll(nullptr, 0, 10);
    }
}

bool Background::Terminate(Millis limit, int& waitStatus, Millis& took, int signal)
{
    if (m_pid <= 0) return false;
    const Clock::time_point start = Clock::now();
    ::kill(m_pid, signal);
    const bool ended = WaitForExit(limit, waitStatus);
    took = std::chrono::duration_cast<Millis>(Clock::now() - start);
    return ended;
}

std::vector<pid_t> Background::Children() const
{
    return m_pid > 0 ? ChildrenOf(m_pid) : std::vector<pid_t>{};
}

int Background::Threads() const
{
    const std::string status = m_pid > 0 ? FileText("/proc/" + std::to_string(m_pid) + "/status") : std::string();
    const auto at = status.find("\nThreads:");
    return at == std::string::npos ? 0 : std::atoi(status.c_str() + at + 9);
}

void Background::Kill()
{
    if (m_pid <= 0) return;
    int status = 0;
    ::kill(m_pid, SIGTERM);
    if (WaitForExit(kStopLimit, status)) return;
    for (const pid_t child : ChildrenOf(m_pid)) ::kill(child, SIGKILL);
    ::kill(m_pid, SIGKILL);
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
}

std::string Background::Out() const
{
    return WholeFileAt(m_out);
}

std::string Background::Err() const
{
    return WholeFileAt(m_err);
}

::testing::AssertionResult XServer::Start(int width, int height)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return ::testing::AssertionFailure() << "harness: pipe failed";
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    ::testing::AssertionResult started =
        m_process.Start({"/usr/bin/Xvfb", "-noreset", "-displayfd", "3", "-screen", "0", screen}, {}, fds[1]);
    ::close(fds[1]);
    std::string number;
    const Clock::time_point deadline = Clock::now() + kXServerReady;
    while (started && number.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        const auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now()).count();
        if (::poll(&p, 1, static_cast<int>(left > 0 ? left : 0)) <= 0) continue;
        char buf[32];
        const ssize_t n = ::read(fds[0], buf, sizeof(buf));
        if (n <= 0) break;
        number.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (!started) return started;
    if (number.empty() || number.back() != '\n')
        return ::testing::AssertionFailure() << "Xvfb reported no display; it wrote: " << m_process.Err();
    number.pop_back();
    m_display = ":" + number;
    return ::testing::AssertionSuccess();
}

bool WaitUntil(Millis limit, const std::function<bool()>& done)
{
    const Clock::time_point deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= deadline) return done();
        ::poll(nullptr, 0, 20);
    }
    return true;
}

std::string FileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

TempFile::TempFile(const std::string& name)
{
    char dir[] = "/tmp/kelvast-e2e-XXXXXX";
    if (::mkdtemp(dir) != nullptr) m_dir = dir;
    m_path = m_dir + "/" + name;
}

TempFile::~TempFile()
{
    ::unlink(m_path.c_str());
    if (!m_dir.empty()) ::rmdir(m_dir.c_str());
}

bool TempFile::Write(const std::string& text) const
{
    std::ofstream file(m_path, std::ios::binary);
    file << text;
    return static_cast<bool>(file.flush());
}

}  // namespace e2e
