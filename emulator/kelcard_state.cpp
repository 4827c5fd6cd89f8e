#include "kelcard_state.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace kelcard {
namespace {

// Closes the descriptor it holds when it goes.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    // Closes now; false when the close reports a failure.
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

std::string ErrnoText(const std::string& what)
{
    return what + ": " + std::generic_category().message(errno);
}

bool WriteAll(int fd, const uint8_t* data, std::size_t len)
{
    while (len > 0) {
        const ssize_t n = ::write(fd, data, len);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        len -= static_cast<std::size_t>(n);
    }
    return true;
}

// The file's bytes, at most `max` + 1 of them (one more tells a file that is too long).
// False with a message when it cannot be read; `missing` when it does not exist.
bool ReadAtMost(const std::string& path, std::size_t max, std::vector<uint8_t>& bytes, bool& missing,
                std::string& error)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    missing = fd.Get() < 0 && errno == ENOENT;
    if (fd.Get() < 0) {
        error = std::generic_category().message(errno);
        return false;
    }
    bytes.assign(max + 1, 0);
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd.Get(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = std::generic_category().message(errno);
            return false;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return true;
}

}  // namespace

std::string StateFilePath(const std::string& dir, const std::string& address)
{
    return dir + (dir.ends_with('/') ? "" : "/") + address;
}

bool WriteStateFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error)
{
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // The card's lock is held through a save, so one temporary name per card will do.
    const std::string temp = dir + (slash == std::string::npos ? "/." : ".") + name + ".new";
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.Get() < 0) {
        error = ErrnoText(temp);
        return false;
    }
    if (!WriteAll(fd.Get(), bytes.data(), bytes.size()) || ::fsync(fd.Get()) != 0 || !fd.Close()) {
        error = ErrnoText(temp);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = ErrnoText(path);
        ::unlink(temp.c_str());
        return false;
    }
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.Get() < 0 || ::fsync(dirFd.Get()) != 0) {
        error = ErrnoText(dir);
        return false;
    }
    return true;
}

void KeepCardState(CardModel& card, const std::string& path)
{
    std::vector<uint8_t> bytes;
    bool missing = false;
    std::string why;
    if (ReadAtMost(path, kMaxSavedConfigBytes, bytes, missing, why)) {
        if (!card.LoadSavedConfig(bytes, why))
            std::fprintf(stderr, "kelcard: %s: %s; the card starts from its defaults\n", path.c_str(), why.c_str());
    } else if (!missing) {
        std::fprintf(stderr, "kelcard: cannot read %s: %s; the card starts from its defaults\n", path.c_str(),
                     why.c_str());
    }
    card.SetConfigSavedHook([path](const std::vector<uint8_t>& saved) {
        std::string error;
        if (!WriteStateFile(path, saved, error))
            std::fprintf(stderr, "kelcard: cannot keep the card's saved configuration: %s\n", error.c_str());
    });
}

}  // namespace kelcard
