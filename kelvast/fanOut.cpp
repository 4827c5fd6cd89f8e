// kelvast: the card list and the children that run one card each.
#include "fanOut.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <unordered_map>

#include "runContext.h"
#include "zunaCmd.h"

namespace {

bool IsListCharacter(char c) { return (c >= '0' && c <= '9') || c == '.' || c == '-'; }

// The address in canonical dotted form, or false for anything but a dotted IPv4
// address (four decimal numbers, no leading zeros).
bool Canonical(std::string_view word, std::string* address, in_addr* value)
{
    if (word.empty() || word.size() > 15) return false;
    const std::string text(word);
    if (inet_pton(AF_INET, text.c_str(), value) != 1) return false;
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, value, buf, sizeof buf);
    *address = buf;
    return true;
}

// Appends the addresses of one entry: an address, or a range FIRST-E or FIRST-LAST.
// The entry in single quotes (built in steps: GCC 12 warns, wrongly, of an overlapping
// copy in the one-expression form when optimising).
std::string Quoted(std::string_view entry)
{
    std::string text(1, '\'');
    text.append(entry);
    text.push_back('\'');
    return text;
}

// False with the reason (without the place it came from).
bool AppendEntry(std::string_view entry, std::vector<std::string>* cards, std::string* reason)
{
    const std::size_t dash = entry.find('-');
    std::string first;
    in_addr start{};
    if (!Canonical(entry.substr(0, dash), &first, &start)) {
        *reason = Quoted(entry) + " is not an IPv4 address (A.B.C.D) or a range (A.B.C.D-E)";
        return false;
    }
    if (dash == std::string_view::npos) {
        cards->push_back(first);
        return true;
    }
    const std::string_view end = entry.substr(dash + 1);
    const uint32_t low = ntohl(start.s_addr);
    unsigned last = 0;
    const auto [ptr, ec] = std::from_chars(end.data(), end.data() + end.size(), last, 10);
    bool valid = ec == std::errc() && ptr == end.data() + end.size() && !end.empty() && last <= 255 &&
                 (end.size() == 1 || end[0] != '0');
    if (!valid && end.find('.') != std::string_view::npos) {
        // Written in full: the first three numbers must be the same.
        std::string lastText;
        in_addr stop{};
        valid = Canonical(end, &lastText, &stop) && (ntohl(stop.s_addr) & ~0xFFu) == (low & ~0xFFu);
        last = ntohl(stop.s_addr) & 0xFFu;
    }
    if (!valid || last < (low & 0xFFu)) {
        *reason = Quoted(entry) + " is not a range A.B.C.D-E of the last number (D to E, at most 255)";
        return false;
    }
    for (uint32_t host = low; host <= ((low & ~0xFFu) | last); ++host) {
        in_addr one{htonl(host)};
        char buf[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &one, buf, sizeof buf);
        cards->push_back(buf);
    }
    return true;
}

// The list's cards checked as a whole: each address once, not too many. lines[i] is
// the line of card i in the list file `name` (0 for a range).
bool CheckedList(const std::vector<std::string>& cards, const std::vector<std::size_t>& lines,
                 const std::string& name, std::string* error)
{
    const auto place = [&](std::size_t i) { return lines[i] == 0 ? name : name + " line " + std::to_string(lines[i]); };
    if (cards.empty()) {
        *error = name + ": names no card";
        return false;
    }
    if (cards.size() > kMaxCards) {
        *error = name + ": names more than " + std::to_string(kMaxCards) + " cards";
        return false;
    }
    std::unordered_map<std::string, std::size_t> seen;
    for (std::size_t i = 0; i < cards.size(); ++i) {
        const auto [at, added] = seen.emplace(cards[i], i);
        if (!added) {
            *error = place(i) + ": " + cards[i] + " is given twice (first on line " + std::to_string(lines[at->second]) + ")";
            return false;
        }
    }
    return true;
}

// A file for a card's output: an anonymous file in memory (as a pipe's buffer would
// be, without its limit), else an unlinked file under TMPDIR.
int OutputFile()
{
    int fd = memfd_create("kelvast-card", MFD_CLOEXEC);
    if (fd >= 0) return fd;
    const char* dir = std::getenv("TMPDIR");  // NOLINT(concurrency-mt-unsafe): kelvast has one thread
    if (dir == nullptr || dir[0] == '\0') dir = "/tmp";
    std::string path = std::string(dir) + "/kelvast-card-XXXXXX";
    fd = mkostemp(path.data(), O_CLOEXEC);
    if (fd >= 0) unlink(path.c_str());
    return fd;
}

void WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

using Sink = std::function<void(const char* data, std::size_t size)>;

Sink ToDescriptor(int fd)
{
    return [fd](const char* data, std::size_t size) { WriteAll(fd, data, size); };
}

// Copies what the file holds to the sink, each line prefixed (none when prefix is
// empty); a last line without its end gets one. Read a piece at a time, never whole.
void CopyLines(int from, const Sink& to, const std::string& prefix)
{
    lseek(from, 0, SEEK_SET);
    char buf[64 * 1024];
    bool lineStart = true;
    std::string piece;
    for (;;) {
        const ssize_t n = read(from, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        piece.clear();
        for (ssize_t i = 0; i < n; ++i) {
            if (lineStart) piece += prefix;
            piece += buf[i];
            lineStart = buf[i] == '\n';
        }
        to(piece.data(), piece.size());
    }
    if (!lineStart) to("\n", 1);
}

struct Child {
    pid_t pid = -1;
    std::string card;
    int out = -1;
    int err = -1;
};

void CloseFiles(Child& child)
{
    if (child.out >= 0) close(child.out);
    if (child.err >= 0) close(child.err);
    child.out = child.err = -1;
}

[[noreturn]] void RunChild(const Child& child, int noInput, const std::function<int(const std::string&)>& runOne)
{
    dup2(child.out, STDOUT_FILENO);
    dup2(child.err, STDERR_FILENO);
    if (noInput >= 0) dup2(noInput, STDIN_FILENO);
    const int status = runOne(child.card);
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(status);  // NOLINT(concurrency-mt-unsafe): kelvast has one thread
}

}  // namespace

bool NamesCardList(std::string_view word)
{
    if (!word.empty() && word[0] == '@') return true;
    return std::count(word.begin(), word.end(), '-') == 1 && word.front() != '-' &&
           std::all_of(word.begin(), word.end(), IsListCharacter);
}

bool ParseCardListText(std::string_view text, std::string_view name, std::vector<std::string>* cards,
                       std::string* error)
{
    cards->clear();
    std::vector<std::size_t> lines;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        line = line.substr(0, line.find('#'));
        const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
        while (!line.empty() && blank(line.front())) line.remove_prefix(1);
        while (!line.empty() && blank(line.back())) line.remove_suffix(1);
        if (line.empty()) continue;
        std::string reason;
        if (!AppendEntry(line, cards, &reason)) {
            *error = std::string(name) + " line " + std::to_string(lineNumber) + ": " + reason;
            return false;
        }
        if (cards->size() > kMaxCards) break;
        lines.resize(cards->size(), lineNumber);
    }
    lines.resize(cards->size(), lineNumber);
    return CheckedList(*cards, lines, std::string(name), error);
}

bool ExpandCardList(std::string_view word, std::vector<std::string>* cards, std::string* error)
{
    if (word.empty() || word[0] != '@') {
        cards->clear();
        std::string reason;
        if (!AppendEntry(word, cards, &reason)) {
            *error = "card range " + reason;
            return false;
        }
        return CheckedList(*cards, std::vector<std::size_t>(cards->size(), 0), "card range", error);
    }
    const std::string path(word.substr(1));
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *error = "card list '" + path + "': " + std::generic_category().message(errno);
        return false;
    }
    std::string text;
    char buf[64 * 1024];
    ssize_t n = 0;
    while ((n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > kMaxCardListBytes) break;
    }
    const int readErrno = errno;
    close(fd);
    if (n < 0) {
        *error = "card list '" + path + "': " + std::generic_category().message(readErrno);
        return false;
    }
    if (text.size() > kMaxCardListBytes) {
        *error = "card list '" + path + "': larger than " + std::to_string(kMaxCardListBytes) + " bytes";
        return false;
    }
    return ParseCardListText(text, "card list '" + path + "'", cards, error);
}

std::vector<CardEnd> RunOnEveryCard(const std::vector<std::string>& cards, unsigned inFlight, JsonStdout* json,
                                    const std::function<int(const std::string& card)>& runOne,
                                    const std::function<void()>& allStarted)
{
    bool announced = false;
    std::vector<CardEnd> ends;
    std::vector<Child> running;
    std::size_t next = 0;
    const int noInput = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const auto failToStart = [&ends](const std::string& card, int status, const char* what) {
        std::fprintf(stderr, "%s: %s: %s: %s\n", kToolName, card.c_str(), what, std::generic_category().message(errno).c_str());
        ends.push_back({card, status});
    };
    while (next < cards.size() || !running.empty()) {
        while (next < cards.size() && running.size() < std::max(inFlight, 1u)) {
            Child child;
            child.card = cards[next];
            child.out = OutputFile();
            child.err = child.out < 0 ? -1 : OutputFile();
            if (child.err < 0) {
                failToStart(child.card, kExitHostFileWrite, "cannot keep its output");
                CloseFiles(child);
                ++next;
                continue;
            }
            std::fflush(stdout);
            std::fflush(stderr);
            child.pid = fork();
            if (child.pid == 0) RunChild(child, noInput, runOne);
            if (child.pid < 0) {
                CloseFiles(child);
                if (!running.empty()) break;  // tried again once a running card ends
                failToStart(child.card, kExitNotReached, "cannot start");
                ++next;
                continue;
            }
            running.push_back(child);
            ++next;
        }
        if (next == cards.size() && !announced) {
            announced = true;
            allStarted();
        }
        if (running.empty()) continue;
        int wstatus = 0;
        const pid_t pid = waitpid(-1, &wstatus, 0);
        if (pid < 0) {
            if (errno == EINTR) continue;
            break;  // no child left to wait for: cannot happen while any runs
        }
        const auto found = std::find_if(running.begin(), running.end(), [pid](const Child& c) { return c.pid == pid; });
        if (found == running.end()) continue;
        Child child = *found;
        running.erase(found);
        const std::string prefix = child.card + ": ";
        std::fflush(stdout);
        if (json != nullptr)
            CopyLines(child.out, [json](const char* data, std::size_t size) { json->WriteRaw({data, size}); }, "");
        else
            CopyLines(child.out, ToDescriptor(STDOUT_FILENO), prefix);
        CopyLines(child.err, ToDescriptor(STDERR_FILENO), prefix);
        CloseFiles(child);
        ends.push_back({child.card, WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus)});
    }
    if (noInput >= 0) close(noInput);
    return ends;
}

std::string FanOutSummary(const std::vector<CardEnd>& ends)
{
    std::string failed;
    std::size_t failures = 0;
    for (const CardEnd& end : ends) {
        if (end.exitStatus == 0) continue;
        failed += (failures++ == 0 ? ": " : ", ") + end.card + " (exit status " + std::to_string(end.exitStatus) + ")";
    }
    return std::to_string(ends.size()) + (ends.size() == 1 ? " card: " : " cards: ") +
           std::to_string(ends.size() - failures) + " succeeded, " + std::to_string(failures) + " failed" + failed;
}
