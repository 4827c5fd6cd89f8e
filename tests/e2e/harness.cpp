#include "harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

extern char** environ;

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char kPasswordPrompt[] = "Please Enter Password : ";
constexpr int kCardReadySeconds = 15;
constexpr int kCardStopSeconds = 10;

// A file descriptor closed when it goes out of scope.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd)
    {
        Close();
        m_fd = fd;
    }
    void Close()
    {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

struct Pipe {
    Fd read;
    Fd write;
};

bool MakePipe(Pipe& p)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    p.read.Reset(fds[0]);
    p.write.Reset(fds[1]);
    return true;
}

void SetNonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

void SetCloseOnExec(int fd)
{
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

// Appends what can be read now. False at end of file or on an error other than
// "nothing yet".
bool Drain(int fd, std::string& into)
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof(buf));
        if (n > 0) {
            into.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        return false;
    }
}

void WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // the reader is gone; what it did not read stays unread
        done += static_cast<std::size_t>(n);
    }
}

int MillisLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Waits for the child to end, until the deadline; then kills it. Returns the wait
// status; `killed` tells whether the harness had to kill it.
int Reap(pid_t pid, Clock::time_point deadline, int lastSignal, bool& killed)
{
    killed = false;
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return status;
        if (r < 0 && errno != EINTR) return 0;
        if (Clock::now() >= deadline) break;
        ::poll(nullptr, 0, 10);
    }
    killed = true;
    ::kill(pid, lastSignal);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// The environment of a child, with the time zone fixed.
std::vector<std::string> ChildEnvironment(const std::string& timeZone)
{
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "TZ=", 3) != 0) env.emplace_back(*e);
    env.emplace_back("TZ=" + timeZone);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& words)
{
    std::vector<char*> ptrs;
    for (std::string& w : words) ptrs.push_back(w.data());
    ptrs.push_back(nullptr);
    return ptrs;
}

// In a child before exec: end with the test process, whatever way it ends.
void DieWithParent(pid_t parent, int signal)
{
    ::prctl(PR_SET_PDEATHSIG, signal);
    if (::getppid() != parent) ::_exit(127);
}

std::string Printable(const std::string& text)
{
    std::string s;
    for (const char c : text) {
        switch (c) {
            case '\n':
                s += "\\n\n";
                break;
            case '\r':
                s += "\\r";
                break;
            case '\t':
                s += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char hex[8];
                    std::snprintf(hex, sizeof(hex), "\\x%02x", static_cast<unsigned char>(c));
                    s += hex;
                } else {
                    s += c;
                }
        }
    }
    return s;
}

// What kelcard serve prints once it listens on `address`: one address, or a range
// FIRST-LAST of them.
std::string ReadyLine(const std::string& address)
{
    unsigned a[4], b[4];
    const std::size_t dash = address.find('-');
    if (dash == std::string::npos ||
        std::sscanf(address.c_str(), "%u.%u.%u.%u-%u.%u.%u.%u", &a[0], &a[1], &a[2], &a[3], &b[0], &b[1], &b[2],
                    &b[3]) != 8)
        return "kelcard: card ready on " + address + ":6577\n";
    auto number = [](const unsigned* q) { return (q[0] << 24) | (q[1] << 16) | (q[2] << 8) | q[3]; };
    return "kelcard: " + std::to_string(number(b) - number(a) + 1) + " cards ready on " + address + ":6577\n";
}

}  // namespace

std::string TestAddress()
{
    const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
    const ::testing::TestInfo* current = unit.current_test_info();
    if (current == nullptr) return "127.0.39.1";  // outside a test: nobody else's address
    const std::string mine = std::string(current->test_suite_name()) + "." + current->name();

    std::vector<std::string> names;
    for (int i = 0; i < unit.total_test_suite_count(); ++i) {
        const ::testing::TestSuite& suite = *unit.GetTestSuite(i);
        for (int j = 0; j < suite.total_test_count(); ++j) {
            const ::testing::TestInfo& info = *suite.GetTestInfo(j);
            names.push_back(std::string(info.test_suite_name()) + "." + info.name());
        }
    }
    std::sort(names.begin(), names.end());
    const auto rank = static_cast<int>(std::lower_bound(names.begin(), names.end(), mine) - names.begin());
    // The second number belongs to the build tree, so that suites of two trees (the
    // default and the sanitizer build, or two checkouts) can run at the same time.
    const std::size_t tree = std::hash<std::string>{}(KELVAST_BIN) % 250;
    return "127." + std::to_string(1 + tree) + "." + std::to_string(40 + rank / 250) + "." +
           std::to_string(1 + rank % 250);
}

std::string SpareAddress(int host)
{
    unsigned t = 0, x = 0, y = 0;
    EXPECT_EQ(std::sscanf(TestAddress().c_str(), "127.%u.%u.%u", &t, &x, &y), 3);
    return "127." + std::to_string(t) + "." + std::to_string(100 + ((x - 40) * 250 + y - 1) % 150) + "." +
           std::to_string(host);
}

RunResult RunKelvast(const KelvastRun& run)
{
    RunResult result;
    ::signal(SIGPIPE, SIG_IGN);

    Pipe in, out, err;
    if (!MakePipe(in) || !MakePipe(out) || !MakePipe(err)) {
        result.err = "harness: pipe failed";
        return result;
    }
    int masterFd = -1, slaveFd = -1;
    if (::openpty(&masterFd, &slaveFd, nullptr, nullptr, nullptr) != 0) {
        result.err = "harness: openpty failed";
        return result;
    }
    Fd master(masterFd), slave(slaveFd);
    SetCloseOnExec(masterFd);
    SetCloseOnExec(slaveFd);
    // The terminal passes the program's output on as written (no CR added to LF).
    termios tio{};
    ::tcgetattr(slaveFd, &tio);
    tio.c_oflag &= ~static_cast<tcflag_t>(ONLCR);
    ::tcsetattr(slaveFd, TCSANOW, &tio);

    std::string program = run.program.empty() ? std::string(KELVAST_BIN) : run.program;
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), run.args.begin(), run.args.end());
    std::vector<std::string> env = ChildEnvironment(run.timeZone);
    std::vector<char*> argvPtrs = Pointers(argv);
    std::vector<char*> envPtrs = Pointers(env);

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        result.err = "harness: fork failed";
        return result;
    }
    if (pid == 0) {
        DieWithParent(parent, SIGKILL);
        // The harness ignores SIGPIPE; the program gets it as an administrator's shell
        // would give it.
        ::signal(SIGPIPE, SIG_DFL);
        // A session of its own whose controlling terminal is the pseudo-terminal.
        if (::setsid() < 0 || ::ioctl(slaveFd, TIOCSCTTY, 0) != 0) ::_exit(127);
        if (::dup2(in.read.Get(), STDIN_FILENO) < 0 || ::dup2(out.write.Get(), STDOUT_FILENO) < 0 ||
            ::dup2(err.write.Get(), STDERR_FILENO) < 0)
            ::_exit(127);
        ::execve(program.c_str(), argvPtrs.data(), envPtrs.data());
        ::_exit(127);
    }

    in.read.Close();
    out.write.Close();
    err.write.Close();
    // The answers go in as the program reads them; then end of input.
    std::size_t inputSent = 0;
    if (run.input.empty()) in.write.Close();

    if (in.write.Get() >= 0) SetNonBlocking(in.write.Get());
    SetNonBlocking(out.read.Get());
    SetNonBlocking(err.read.Get());
    SetNonBlocking(master.Get());

    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(run.limitSeconds);
    bool outOpen = true, errOpen = true;
    std::size_t promptsAnswered = 0;
    bool signalling = false;
    bool paused = !run.pauseAt.empty();
    while ((outOpen || errOpen) && Clock::now() < deadline) {
        // The harness keeps the terminal's other side open, so the terminal never
        // hangs up while the program runs.
        pollfd fds[4] = {{outOpen ? out.read.Get() : -1, POLLIN, 0},
                         {errOpen ? err.read.Get() : -1, POLLIN, 0},
                         {master.Get(), POLLIN, 0},
                         {paused ? -1 : in.write.Get(), POLLOUT, 0}};
        // A signal sent at the prompt is sent again every 50 ms until the program ends,
        // as a user presses Ctrl-C again: one that lands between the prompt's write and
        // the read that follows is taken without ending the read.
        if (signalling) ::kill(pid, run.signalAtPrompt);
        const int n = ::poll(fds, 4, signalling ? std::min(50, MillisLeft(deadline)) : MillisLeft(deadline));
        if (n < 0 && errno != EINTR) break;
        if (fds[3].revents & (POLLOUT | POLLERR | POLLHUP)) {
            const ssize_t sent = ::write(in.write.Get(), run.input.data() + inputSent, run.input.size() - inputSent);
            if (sent > 0) inputSent += static_cast<std::size_t>(sent);
            // Done, or the program no longer reads: end of input.
            if (inputSent == run.input.size() || (sent < 0 && errno != EAGAIN && errno != EINTR)) in.write.Close();
        }
        if (outOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) outOpen = Drain(out.read.Get(), result.out);
        if (paused && result.out.find(run.pauseAt) != std::string::npos) {
            if (run.atPause) run.atPause(pid);
            paused = false;
        }
        if (errOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) errOpen = Drain(err.read.Get(), result.err);
        if (fds[2].revents & POLLIN) {
            Drain(master.Get(), result.terminal);
            // Type the password once per prompt shown. A run that should not ask
            // gets an empty line, so that it goes on and its output shows the fault.
            std::size_t prompts = 0;
            for (std::size_t at = result.terminal.find(kPasswordPrompt); at != std::string::npos;
                 at = result.terminal.find(kPasswordPrompt, at + 1))
                ++prompts;
            while (promptsAnswered < prompts) {
                if (run.signalAtPrompt != 0)
                    signalling = true;
                else
                    WriteAll(master.Get(), run.password.value_or("") + "\n");
                ++promptsAnswered;
            }
        }
    }

    bool killed = false;
    const int wstatus = Reap(pid, deadline, SIGKILL, killed);
    Drain(out.read.Get(), result.out);
    Drain(err.read.Get(), result.err);
    Drain(master.Get(), result.terminal);
    result.timedOut = killed;
    termios after{};
    result.echoAfter = ::tcgetattr(slave.Get(), &after) == 0 && (after.c_lflag & ECHO) != 0;
    if (!killed && WIFEXITED(wstatus)) {
        result.exited = true;
        result.status = WEXITSTATUS(wstatus);
    } else if (WIFSIGNALED(wstatus)) {
        result.signal = WTERMSIG(wstatus);
    }
    return result;
}

RunResult RunWords(const std::vector<std::string>& args, const std::string& input)
{
    KelvastRun run;
    run.args = args;
    run.input = input;
    return RunKelvast(run);
}

RunResult RunWithDrive(const std::vector<std::string>& cardOptions, const std::vector<std::string>& program,
                       const std::string& input, const std::string& password)
{
    KelvastRun run;
    run.program = KELCARD_BIN;
    run.args = {"run"};
    run.args.insert(run.args.end(), cardOptions.begin(), cardOptions.end());
    run.args.push_back("--");
    run.args.insert(run.args.end(), program.begin(), program.end());
    run.input = input;
    if (!password.empty()) run.password = password;
    return RunKelvast(run);
}

std::string Describe(const RunResult& result)
{
    std::ostringstream s;
    if (result.timedOut)
        s << "killed at the time limit";
    else if (result.exited)
        s << "exit status " << result.status;
    else
        s << "ended by signal " << result.signal;
    s << "\n--- standard output ---\n"
      << Printable(result.out) << "\n--- terminal ---\n"
      << Printable(result.terminal) << "\n--- standard error ---\n"
      << result.err << "\n";
    return s.str();
}

::testing::AssertionResult RunMatches(const RunResult& result, int status, const std::string& out,
                                      const std::string& terminal)
{
    std::ostringstream problems;
    if (!result.exited || result.status != status) problems << "expected exit status " << status << "\n";
    if (result.out != out) problems << "standard output differs; expected:\n" << Printable(out) << "\n";
    if (result.terminal != terminal) problems << "terminal text differs; expected:\n" << Printable(terminal) << "\n";
    if (!result.err.empty()) problems << "standard error is not empty\n";
    if (problems.str().empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << problems.str() << "--- the run ---\n" << Describe(result);
}

Card::~Card()
{
    Stop();
}

::testing::AssertionResult Card::Start(const std::string& address, const std::vector<std::string>& options)
{
    Stop();
    m_address = address;
    Pipe out;
    if (!MakePipe(out)) return ::testing::AssertionFailure() << "harness: pipe failed";
    // The card's standard error goes to an unnamed file, read if the card fails.
    FILE* errFile = std::tmpfile();
    if (errFile == nullptr) return ::testing::AssertionFailure() << "harness: tmpfile failed";
    m_stderrFile = ::dup(::fileno(errFile));
    std::fclose(errFile);
    SetCloseOnExec(m_stderrFile);
    Fd devNull(::open("/dev/null", O_RDONLY | O_CLOEXEC));

    std::vector<std::string> argv{KELCARD_BIN, "serve", "--address", address};
    argv.insert(argv.end(), options.begin(), options.end());
    std::vector<std::string> env = ChildEnvironment("UTC");
    std::vector<char*> argvPtrs = Pointers(argv);
    std::vector<char*> envPtrs = Pointers(env);

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) return ::testing::AssertionFailure() << "harness: fork failed";
    if (pid == 0) {
        DieWithParent(parent, SIGTERM);
        ::signal(SIGPIPE, SIG_DFL);
        if (::dup2(devNull.Get(), STDIN_FILENO) < 0 || ::dup2(out.write.Get(), STDOUT_FILENO) < 0 ||
            ::dup2(m_stderrFile, STDERR_FILENO) < 0)
            ::_exit(127);
        ::execve(argvPtrs[0], argvPtrs.data(), envPtrs.data());
        ::_exit(127);
    }
    m_pid = pid;
    out.write.Close();
    SetNonBlocking(out.read.Get());

    const std::string ready = ReadyLine(address);
    std::string text;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(kCardReadySeconds);
    bool open = true;
    while (open && text.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd fd{out.read.Get(), POLLIN, 0};
        if (::poll(&fd, 1, MillisLeft(deadline)) > 0) open = Drain(out.read.Get(), text);
    }
    // Keep the card's standard output open (unread) for the rest of its life.
    m_stdout = out.read.Release();
    if (text != ready) {
        Stop();
        return ::testing::AssertionFailure() << "kelcard did not report ready with \"" << Printable(ready)
                                             << "\"; it printed \"" << Printable(text) << "\"";
    }
    return ::testing::AssertionSuccess();
}

void Card::Stop()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        bool killed = false;
        const int wstatus = Reap(m_pid, Clock::now() + std::chrono::seconds(kCardStopSeconds), SIGKILL, killed);
        m_pid = -1;
        const bool clean = !killed && ((WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0) ||
                                       (WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == SIGTERM));
        if (!clean) {
            std::string errText;
            ::lseek(m_stderrFile, 0, SEEK_SET);
            Drain(m_stderrFile, errText);
            ADD_FAILURE() << "kelcard on " << m_address << " did not end cleanly on SIGTERM ("
                          << (killed               ? std::string("killed after the time limit")
                              : WIFEXITED(wstatus) ? "exit status " + std::to_string(WEXITSTATUS(wstatus))
                                                   : "signal " + std::to_string(WTERMSIG(wstatus)))
                          << "); its standard error:\n"
                          << errText;
        }
    }
    if (m_stdout >= 0) ::close(m_stdout);
    if (m_stderrFile >= 0) ::close(m_stderrFile);
    m_stdout = -1;
    m_stderrFile = -1;
}

std::string WholeFileAt(int fd)
{
    std::string text;
    char buf[4096];
    ssize_t n = 0;
    for (off_t at = 0; fd >= 0 && (n = ::pread(fd, buf, sizeof(buf), at)) > 0; at += n)
        text.append(buf, static_cast<std::size_t>(n));
    return text;
}

std::string Card::ErrorText() const
{
    return WholeFileAt(m_stderrFile);
}

::testing::AssertionResult CardTest::StartCard(const std::vector<std::string>& options)
{
    return card.Start(TestAddress(), options);
}

void CardTest::TearDown()
{
    card.Stop();
}

RunResult CardTest::KelvastJson(const std::vector<std::string>& words, const std::vector<std::string>& options,
                                const std::string& input)
{
    KelvastRun run;
    run.args = {"--json"};
    run.args.insert(run.args.end(), options.begin(), options.end());
    run.args.insert(run.args.end(), {"-nw", TestAddress(), "admin"});
    run.args.insert(run.args.end(), words.begin(), words.end());
    run.password = "admin";
    run.input = input;
    return RunKelvast(run);
}

::testing::AssertionResult ParsedJsonRun(const RunResult& result, nlohmann::json* object)
{
    if (!result.exited) return ::testing::AssertionFailure() << "did not exit\n" << Describe(result);
    const std::string& out = result.out;
    if (out.empty() || out.back() != '\n' || out.find('\n') != out.size() - 1)
        return ::testing::AssertionFailure() << "standard output is not one line\n" << Describe(result);
    *object = nlohmann::json::parse(out, nullptr, false);
    if (object->is_discarded() || !object->is_object())
        return ::testing::AssertionFailure() << "standard output is not a JSON object\n" << Describe(result);
    for (const char* member : {"format_version", "card", "command", "exit_status", "status", "message", "result"})
        if (!object->contains(member)) return ::testing::AssertionFailure() << "no member " << member << ": " << out;
    const nlohmann::json& o = *object;
    if (o["format_version"] != 1 || !o["card"].is_string() || !o["command"].is_array())
        return ::testing::AssertionFailure() << "bad format_version, card or command: " << out;
    if (o["exit_status"] != result.status)
        return ::testing::AssertionFailure() << "exit_status is not the process's " << result.status << ": " << out;
    const bool success = result.status == 0;
    if (success != o["message"].is_null() || success != o["result"].is_object() || success == o["result"].is_null())
        return ::testing::AssertionFailure() << "message/result do not match the status: " << out;
    return ::testing::AssertionSuccess();
}

RunResult CardTest::Kelvast(const std::vector<std::string>& words, const std::string& input,
                            const std::string& password, const std::string& user)
{
    KelvastRun run;
    run.args = {"-nw", TestAddress(), user};
    run.args.insert(run.args.end(), words.begin(), words.end());
    run.password = password;
    run.input = input;
    return RunKelvast(run);
}

HttpAnswer HttpGet(const std::string& address, int port, const std::string& target, const std::string& accept,
                   int limitSeconds)
{
    HttpAnswer answer;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
    const auto millisLeft = [&] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<long long>(0, left.count()));
    };
    Fd sock(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    if (sock.Get() < 0 || ::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) return answer;
    if (::connect(sock.Get(), reinterpret_cast<const sockaddr*>(&to), sizeof(to)) != 0 && errno != EINPROGRESS)
        return answer;
    std::string request = "GET " + target + " HTTP/1.0\r\nHost: " + address + "\r\n";
    if (!accept.empty()) request += "Accept: " + accept + "\r\n";
    request += "\r\n";
    std::string reply;
    std::size_t sent = 0;
    while (true) {
        pollfd p{sock.Get(), static_cast<short>(sent < request.size() ? POLLOUT : POLLIN), 0};
        if (::poll(&p, 1, millisLeft()) <= 0) return answer;
        if (sent < request.size()) {
            const ssize_t n = ::send(sock.Get(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return answer;
            sent += static_cast<std::size_t>(n);
            continue;
        }
        char buf[4096];
        const ssize_t n = ::read(sock.Get(), buf, sizeof(buf));
        if (n < 0 && errno != EAGAIN) return answer;
        if (n == 0) break;
        if (n > 0) reply.append(buf, static_cast<std::size_t>(n));
    }
    const auto end = reply.find("\r\n\r\n");
    if (end == std::string::npos || std::sscanf(reply.c_str(), "HTTP/1.%*d %d", &answer.status) != 1) return answer;
    const std::string head = reply.substr(0, end);
    if (const auto type = head.find("Content-Type: "); type != std::string::npos)
        answer.contentType = head.substr(type + 14, head.find("\r\n", type) - type - 14);
    answer.body = reply.substr(end + 4);
    return answer;
}

}  // namespace e2e
