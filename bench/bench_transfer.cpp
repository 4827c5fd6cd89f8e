// Transfers of a whole flash's worth (4 MiB) between kelvast and a running kelcard,
// against what the machine itself can do, and what a full firmware update costs.
//
//   bench_transfer KELVAST KELCARD ADDRESS DIR SGIO_COUNTER
//
// Starts `kelcard serve --address ADDRESS` and, over TCP, times in each of several
// runs: `-gen -GetName` (start, login and one exchange), `-flash -read`, `-file
// -upload` and `-file -download` of 4 MiB, a plain copy of 4 MiB over a loopback
// socket, and the same 4 MiB in 64 answers of 64 KiB to 32-byte requests (the floor
// of the card's protocol). Each transfer's cost is its time minus GetName's, divided
// by the plain copy's of the same run, and again by the floor's, with a GetName and a
// floor timed right before the transfer; a row gives the median over the runs. Then
// kelvast's peak resident memory during a full `-flash -update`. Then under `kelcard
// run --serve ADDRESS`, whose one card answers both over its virtual drive and over
// TCP, the same transfers over `-cd` against over TCP, run by this program itself as
// kelcard's child (below); and over the drive the SG_IO calls per 64 KiB block,
// counted by SGIO_COUNTER (a preloaded library) against the least the mailbox needs.
// Prints one markdown table row per measure: | Measure | Result | Target | Met |.
// Exits 1 when a command fails or a transfer moves other bytes than it should (the
// figures would mean nothing).
//
//   bench_transfer --inside-run KELVAST ADDRESS DIR
//
// The child of `kelcard run`: times the transfers over `-cd` and over TCP (ADDRESS)
// in turns and writes their table rows to DIR/drive-rows.
#include <arpa/inet.h>
#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kTransferLen = 4u << 20;
constexpr std::size_t kBlockLen = 64u << 10;
constexpr int kRuns = 9;
constexpr int kTcpRuns = 15;  // the TCP transfers, quick enough for more runs than 9
constexpr std::size_t kRequestLen = 32;  // a request header
constexpr int kLimitSeconds = 120;  // any one command

struct Bench {
    std::string kelvast, kelcard, address, dir, counter;
};

// The most a transfer may take above GetName, in times the floor's time of its run.
constexpr double kFloorTarget = 1.25;

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "bench_transfer: %s\n", what.c_str());
    std::exit(1);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Outcome {
    int status = -1;     // exit status, -1 when it did not exit by itself in time
    double seconds = 0;  // wall time from start to exit
    long peakKiB = 0;    // peak resident memory
    std::string terminal;
};

// How Run starts a command.
struct Start {
    bool terminal = true;          // standard error on a terminal of its own, else a pipe
    char* const* env = environ;    // the command's environment
    int limitSeconds = kLimitSeconds;
};

// Runs argv with a terminal of its own (where "admin" is typed when a password is
// asked for; or, as `how` says, a pipe), `input` on its standard input, standard
// output discarded and standard error kept in the terminal's text.
Outcome Run(const std::vector<std::string>& argv, const std::string& input = {}, const Start& how = {})
{
    int master = -1, slave = -1;  // without a terminal, the two ends of a pipe
    if (how.terminal) {
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) Fail("openpty failed");
    } else {
        int err[2];
        if (pipe(err) != 0) Fail("pipe failed");
        master = err[0], slave = err[1];
    }
    int in[2];
    if (pipe(in) != 0) Fail("pipe failed");
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0) Fail("fork failed");
    if (pid == 0) {
        if (how.terminal) setsid(), ioctl(slave, TIOCSCTTY, 0);
        const int null = open("/dev/null", O_WRONLY);
        dup2(in[0], 0), dup2(null, 1), dup2(slave, 2);
        std::vector<char*> args;
        for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
        args.push_back(nullptr);
        execve(args[0], args.data(), how.env);
        _exit(127);
    }
    close(slave), close(in[0]);
    if (!input.empty() && write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size()))
        Fail("cannot write the answers");
    close(in[1]);

    Outcome outcome;
    bool typed = false;
    const auto giveUp = start + std::chrono::seconds(how.limitSeconds);
    for (char buf[4096];;) {
        pollfd p{master, POLLIN, 0};
        if (Clock::now() > giveUp) break;
        if (poll(&p, 1, 1000) <= 0) continue;
        const ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;  // the terminal (or pipe) closes when the program has ended
        outcome.terminal.append(buf, static_cast<std::size_t>(n));
        if (how.terminal && !typed && outcome.terminal.find("Password") != std::string::npos) {
            typed = write(master, "admin\n", 6) == 6;
        }
    }
    int status = 0;
    rusage usage{};
    if (Clock::now() > giveUp) kill(pid, SIGKILL);
    if (wait4(pid, &status, 0, &usage) != pid) Fail("wait4 failed");
    outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    close(master);
    if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
    outcome.peakKiB = usage.ru_maxrss;
    return outcome;
}

Outcome Kelvast(const Bench& b, std::vector<std::string> words, const std::string& input = {})
{
    words.insert(words.begin(), {b.kelvast, "-nw", b.address, "admin"});
    Outcome outcome = Run(words, input);
    if (outcome.status != 0) Fail(words[4] + " " + words[5] + " failed:\n" + outcome.terminal);
    return outcome;
}

// `kelcard serve` on the bench's address until destroyed.
class Card {
public:
    explicit Card(const Bench& b)
    {
        int out[2];
        if (pipe(out) != 0) Fail("pipe failed");
        m_pid = fork();
        if (m_pid < 0) Fail("fork failed");
        if (m_pid == 0) {
            dup2(out[1], 1);
            execl(b.kelcard.c_str(), b.kelcard.c_str(), "serve", "--address", b.address.c_str(), nullptr);
            _exit(127);
        }
        close(out[1]);
        pollfd p{out[0], POLLIN, 0};
        char line[256] = {};
        if (poll(&p, 1, 10000) <= 0 || read(out[0], line, sizeof line - 1) <= 0 || !std::strstr(line, "ready"))
            Fail("kelcard did not start on " + b.address);
        close(out[0]);
    }
    ~Card()
    {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }

private:
    pid_t m_pid = -1;
};

// A connected pair of loopback sockets on the bench's address (a port of the system's
// choosing): {sender, receiver}.
std::pair<int, int> LoopbackPair(const std::string& address)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    inet_pton(AF_INET, address.c_str(), &at.sin_addr);
    socklen_t atLen = sizeof at;
    if (bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&at), &atLen) != 0)
        Fail("cannot listen on " + address);
    const int sender = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(sender, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) Fail("cannot connect on " + address);
    const int receiver = accept(listener, nullptr, nullptr);
    close(listener);
    return {sender, receiver};
}

bool WriteAll(int fd, const char* data, std::size_t len)
{
    for (std::size_t sent = 0; sent < len;) {
        const ssize_t n = write(fd, data + sent, len - sent);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, char* into, std::size_t len)
{
    for (std::size_t got = 0; got < len;) {
        const ssize_t n = read(fd, into + got, len - got);
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// Seconds to move 4 MiB from one end of a loopback connection to the other: as one
// stream (`requestLen` 0), or as the card's protocol moves it, one 64 KiB answer to
// each `requestLen`-byte request, the next request sent once the answer is in.
double PlainCopy(const std::string& address, std::size_t requestLen = 0)
{
    const auto [sender, receiver] = LoopbackPair(address);
    std::vector<char> data(kTransferLen, 'x'), into(kTransferLen), request(requestLen + 1);
    const std::size_t piece = requestLen == 0 ? kTransferLen : kBlockLen;
    bool moved = true;
    const auto start = Clock::now();
    std::thread send([&] {
        for (std::size_t at = 0; at < kTransferLen; at += piece)
            if ((requestLen != 0 && !ReadAll(sender, request.data(), requestLen)) ||
                !WriteAll(sender, data.data() + at, piece))
                return;
    });
    for (std::size_t at = 0; moved && at < kTransferLen; at += piece)
        moved = (requestLen == 0 || WriteAll(receiver, request.data(), requestLen)) &&
                ReadAll(receiver, into.data() + at, piece);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    send.join();
    close(sender), close(receiver);
    if (!moved) Fail("the plain copy fell short");
    return seconds;
}

// Seconds to write 4 MiB, 64 KiB a call, into a new file at `path` (removed after).
double FileWrite(const std::string& path)
{
    const std::vector<char> data(kBlockLen, 'x');
    const auto start = Clock::now();
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    bool written = fd >= 0;
    for (std::size_t at = 0; written && at < kTransferLen; at += kBlockLen) written = WriteAll(fd, data.data(), kBlockLen);
    written = fd >= 0 && close(fd) == 0 && written;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::remove(path.c_str());
    if (!written) Fail("cannot write " + path);
    return seconds;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A row with a target (Met says yes or no), or a yardstick's row (Met says "-").
void Row(const std::string& measure, const std::string& result, const std::string& target,
         std::optional<bool> met = std::nullopt)
{
    std::printf("| %s | %s | %s | %s |\n", measure.c_str(), result.c_str(), target.c_str(),
                !met ? "-" : *met ? "yes" : "no");
}

std::string Format(const char* format, double a, double b = 0, double c = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

void TransfersOverTcp(const Bench& b)
{
    const std::string upload = b.dir + "/upload.bin", download = b.dir + "/download.bin", read = b.dir + "/read.bin";
    struct Kind {
        const char* measure;
        std::vector<std::string> words;
        std::vector<double> seconds, ratios, floorRatios;
    } kinds[] = {
        {"`-flash -read` of 4 MiB", {"-flash", "-read", read}, {}, {}, {}},
        {"`-file -upload` of 4 MiB", {"-file", "-upload", upload, "/bench.bin"}, {}, {}, {}},
        {"`-file -download` of 4 MiB", {"-file", "-download", "/bench.bin", download}, {}, {}, {}},
    };
    std::vector<double> copies, names, floors, exchanges, writes;
    for (int run = 0; run < kTcpRuns; ++run) {
        const double name = Kelvast(b, {"-gen", "-GetName"}).seconds;
        const double copy = PlainCopy(b.address);
        const double floorTime = PlainCopy(b.address, kRequestLen);
        names.push_back(name), copies.push_back(copy), floors.push_back(floorTime);
        exchanges.push_back(floorTime / copy);
        writes.push_back(FileWrite(b.dir + "/written.bin") / copy);
        std::remove(read.c_str()), std::remove(download.c_str());  // not a truncation inside the timing
        for (Kind& kind : kinds) {
            // The floor and GetName again right before the transfer, so that the ratio
            // compares moments of the same load on a machine whose speed drifts.
            const double nameNow = Kelvast(b, {"-gen", "-GetName"}).seconds;
            const double floorNow = PlainCopy(b.address, kRequestLen);
            const double took = Kelvast(b, kind.words).seconds;
            kind.seconds.push_back(took);
            kind.ratios.push_back((took - name) / copy);
            kind.floorRatios.push_back((took - nameNow) / floorNow);
        }
        if (ReadFile(download) != ReadFile(upload)) Fail("the file downloaded is not the file uploaded");
        if (ReadFile(read).size() != kTransferLen) Fail("-flash -read did not give 4 MiB");
    }
    Row("`-gen -GetName` (start, login, one exchange)", Format("%.1f ms", Median(names) * 1e3), "the baseline");
    Row("plain loopback socket copy of 4 MiB", Format("%.2f ms (%.0f MB/s)", Median(copies) * 1e3,
                                                      kTransferLen / Median(copies) / 1e6),
        "the yardstick");
    Row("the same in 64 answers of 64 KiB, each to a 32-byte request (no card, no kelvast), / plain copy",
        Format("%.2f (%.2f ms)", Median(exchanges), Median(floors) * 1e3), "the floor of one answer at a time");
    Row("writing 4 MiB to a new file beside the others, 64 KiB a call, / plain copy", Format("%.2f", Median(writes)),
        "what a command that writes the file adds");
    for (const Kind& kind : kinds) {
        const double ratio = Median(kind.ratios);
        Row(std::string(kind.measure) + " over TCP, minus GetName, / plain copy",
            Format("%.2f (%.1f ms in all)", ratio, Median(kind.seconds) * 1e3), "at most 2", ratio <= 2.0);
    }
    for (const Kind& kind : kinds) {
        const double ratio = Median(kind.floorRatios);
        Row(std::string(kind.measure) + " over TCP, minus GetName, / the floor's time in the same run", Format("%.2f", ratio),
            Format("at most %.2f", kFloorTarget), ratio <= kFloorTarget);
    }
}

void UpdateMemory(const Bench& b)
{
    const std::string image = b.dir + "/update.ima";
    if (Run({b.kelcard, "mkimage", image}).status != 0) Fail("kelcard mkimage failed");
    const long baseline = Kelvast(b, {"-gen", "-GetName"}).peakKiB;
    const Outcome update = Kelvast(b, {"-flash", "-update", image}, "y\ny\n");  // exit status 0 checked there
    Row("kelvast's peak resident memory, full `-flash -update`",
        Format("%.2f MiB (`-gen -GetName`: %.2f MiB)", update.peakKiB / 1024.0, baseline / 1024.0), "below 4 MiB",
        update.peakKiB < 4 * 1024);
}

bool SameFile(const std::string& a, const std::string& b)
{
    return ReadFile(a) == ReadFile(b);
}

// The child of `kelcard run --serve ADDRESS`, whose card answers over the drive (in
// this program's environment) and over TCP on ADDRESS: in each run, `-gen -GetName`
// over each, then each transfer over TCP and over `-cd` in turn. A transfer's time is
// its time minus its GetName's of the same run; a row gives the median of those over
// `-cd`, and the median of its per-run ratio to the same over TCP. The rows go to
// DIR/drive-rows.
int InsideRun(const std::string& kelvast, const std::string& address, const std::string& dir)
{
    const std::string password = dir + "/password";
    const int fd = open(password.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || !WriteAll(fd, "admin\n", 6) || close(fd) != 0) Fail("cannot write " + password);
    // Over TCP kelvast runs as on any host: without the drive's preload.
    std::vector<std::string> plain;
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (std::strncmp(*entry, "LD_PRELOAD=", 11) != 0 && std::strncmp(*entry, "UMOCKDEV_DIR=", 13) != 0)
            plain.emplace_back(*entry);
    std::vector<char*> plainEnv;
    for (std::string& entry : plain) plainEnv.push_back(entry.data());
    plainEnv.push_back(nullptr);

    auto timed = [&](std::vector<std::string> words, bool overDrive) {
        const std::vector<std::string> start = overDrive ? std::vector<std::string>{kelvast, "-cd"}
                                                         : std::vector<std::string>{kelvast, "--password-file", password,
                                                                                    "-nw", address, "admin"};
        words.insert(words.begin(), start.begin(), start.end());
        const Outcome outcome = Run(words, {}, {false, overDrive ? environ : plainEnv.data(), kLimitSeconds});
        if (outcome.status != 0)
            Fail(std::string(overDrive ? "over the drive, " : "over TCP, ") + words[start.size()] + " " +
                 words[start.size() + 1] + " failed:\n" + outcome.terminal);
        return outcome.seconds;
    };
    const std::string upload = dir + "/upload.bin";
    struct Kind {
        const char* measure;
        std::vector<std::string> tcp, drive;
        std::vector<double> driveSeconds, tcpSeconds, ratios;
    } kinds[] = {
        {"`-flash -read` of 4 MiB", {"-flash", "-read", dir + "/tcp-read.bin"},
         {"-flash", "-read", dir + "/cd-read.bin"}, {}, {}, {}},
        {"`-file -upload` of 4 MiB", {"-file", "-upload", upload, "/tcp.bin"}, {"-file", "-upload", upload, "/cd.bin"},
         {}, {}, {}},
        {"`-file -download` of 4 MiB", {"-file", "-download", "/tcp.bin", dir + "/tcp-download.bin"},
         {"-file", "-download", "/cd.bin", dir + "/cd-download.bin"}, {}, {}, {}},
    };
    for (int run = 0; run < kRuns; ++run) {
        const double tcpName = timed({"-gen", "-GetName"}, false);
        const double driveName = timed({"-gen", "-GetName"}, true);
        for (const Kind& kind : kinds) std::remove(kind.tcp.back().c_str()), std::remove(kind.drive.back().c_str());
        for (Kind& kind : kinds) {
            const double tcp = timed(kind.tcp, false) - tcpName;
            const double drive = timed(kind.drive, true) - driveName;
            kind.tcpSeconds.push_back(tcp), kind.driveSeconds.push_back(drive), kind.ratios.push_back(drive / tcp);
        }
        if (!SameFile(upload, kinds[2].tcp.back()) || !SameFile(upload, kinds[2].drive.back()))
            Fail("a file downloaded is not the file uploaded");
        if (ReadFile(kinds[0].tcp.back()) != ReadFile(kinds[0].drive.back()) ||
            ReadFile(kinds[0].drive.back()).size() != kTransferLen)
            Fail("-flash -read over the drive did not give the 4 MiB it gives over TCP");
    }
    if (!std::freopen((dir + "/drive-rows").c_str(), "w", stdout)) Fail("cannot write " + dir + "/drive-rows");
    for (const Kind& kind : kinds)
        Row(std::string(kind.measure) + " over `-cd` (kelcard run), minus GetName over `-cd`, / the same over TCP",
            Format("%.1f (%.0f ms over `-cd`, %.1f ms over TCP)", Median(kind.ratios), Median(kind.driveSeconds) * 1e3,
                   Median(kind.tcpSeconds) * 1e3),
            "reported");
    return 0;
}

// The transfers over the drive against over TCP: this program's InsideRun as the child
// of `kelcard run --busy-polls 0 --serve ADDRESS`.
void TransfersOverDrive(const Bench& b)
{
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) Fail("cannot find this program");
    const Outcome outcome = Run({b.kelcard, "run", "--busy-polls", "0", "--serve", b.address, "--", self,
                                 "--inside-run", b.kelvast, b.address, b.dir},
                                {}, {true, environ, 8 * kRuns * kLimitSeconds});
    if (outcome.status != 0) Fail("the transfers under kelcard run failed:\n" + outcome.terminal);
    std::fputs(ReadFile(b.dir + "/drive-rows").c_str(), stdout);
}

// One kelvast command over the virtual drive with the SG_IO counter preloaded first;
// the counter's report line ("sgio: ...") from its standard error.
std::string CountedOverDrive(const Bench& b, const std::vector<std::string>& words)
{
    std::vector<std::string> argv = {b.kelcard, "run", "--busy-polls", "0", "--", "/bin/sh", "-c",
                                     "LD_PRELOAD=\"$0:$LD_PRELOAD\" exec \"$@\"", b.counter, b.kelvast, "-cd"};
    argv.insert(argv.end(), words.begin(), words.end());
    const Outcome outcome = Run(argv);
    if (outcome.status != 0) Fail("over the drive, " + words[0] + " " + words[1] + " failed:\n" + outcome.terminal);
    const std::size_t at = outcome.terminal.find("sgio:");
    if (at == std::string::npos) Fail("the SG_IO counter did not report");
    return outcome.terminal.substr(at, outcome.terminal.find('\n', at) - at);
}

void DriveCalls(const Bench& b)
{
    const std::string read = b.dir + "/cd-read.bin";
    const std::pair<const char*, std::vector<std::string>> kinds[] = {
        {"`-flash -read` of 4 MiB", {"-flash", "-read", read}},
        {"`-file -upload` of 4 MiB", {"-file", "-upload", b.dir + "/upload.bin", "/cd.bin"}},
    };
    for (const auto& [measure, words] : kinds) {
        const std::string report = CountedOverDrive(b, words);
        unsigned long calls = 0, least = 0;
        if (std::sscanf(report.c_str(), "sgio: calls=%lu least=%lu", &calls, &least) != 2) Fail("bad report: " + report);
        const double blocks = static_cast<double>(kTransferLen) / kBlockLen;
        Row(std::string("SG_IO calls per 64 KiB block over `-cd`, ") + measure,
            Format("%.2f (least the mailbox needs: %.2f)", calls / blocks, least / blocks), "no call wasted",
            calls == least);
    }
    if (ReadFile(read).size() != kTransferLen) Fail("-cd -flash -read did not give 4 MiB");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--inside-run") == 0) return InsideRun(argv[2], argv[3], argv[4]);
    if (argc != 6) {
        std::fprintf(stderr, "usage: bench_transfer KELVAST KELCARD ADDRESS DIR SGIO_COUNTER\n");
        return 2;
    }
    const Bench b{argv[1], argv[2], argv[3], argv[4], argv[5]};
    // Large buffers always mapped apart and given back when freed, so that the bench
    // stays small whenever it forks a command whose peak memory is measured.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    {
        // Freed before any command starts: a forked child's peak memory, which wait4
        // reports, begins with the anonymous memory it was forked with.
        std::vector<char> content(kTransferLen);
        uint32_t x = 2463534242u;
        for (char& byte : content) x ^= x << 13, x ^= x >> 17, x ^= x << 5, byte = static_cast<char>(x);
        std::ofstream(b.dir + "/upload.bin", std::ios::binary).write(content.data(), std::streamsize(content.size()));
    }

    {
        Card card(b);
        TransfersOverTcp(b);
        UpdateMemory(b);
    }
    TransfersOverDrive(b);
    DriveCalls(b);
    return 0;
}
