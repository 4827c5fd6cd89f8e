// Host files that a download replaces whole or not at all: the bytes go to a new file
// beside the target, renamed over it once everything has arrived and reached the disk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "x9zunaifc.h"

namespace {

// The directory that holds `path`.
std::string DirectoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The renamed entry reaches the disk with its directory.
void SyncDirectory(const std::string& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

CX9HostFileReplacement::CX9HostFileReplacement(const char* target)
{
    if (target == nullptr || target[0] == '\0') return;
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(target, nullptr), &std::free);
    m_target = real ? real.get() : target;
    struct stat existing {};
    const bool exists = ::stat(m_target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        m_file = std::fopen(m_target.c_str(), "wb");
        return;
    }
    std::string name = m_target + ".XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return;
    m_temporary = name;
    // The new file is made 0600: it gets the target's mode, or the mode a new target
    // would have had. Only root may give a file to another owner; otherwise it stays ours.
    mode_t mode = existing.st_mode & 07777;
    if (exists) {
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) mode &= 0777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0 || (m_file = ::fdopen(fd, "wb")) == nullptr) ::close(fd);
}

CX9HostFileReplacement::~CX9HostFileReplacement()
{
    if (m_file != nullptr) std::fclose(m_file);
    if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
}

bool CX9HostFileReplacement::Commit()
{
    if (m_file == nullptr) return false;
    std::FILE* file = std::exchange(m_file, nullptr);
    if (m_temporary.empty()) return std::fclose(file) == 0;
    const bool synced = std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
    const bool closed = std::fclose(file) == 0;
    const std::string temporary = std::exchange(m_temporary, std::string());
    if (!synced || !closed || ::rename(temporary.c_str(), m_target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncDirectory(DirectoryOf(m_target));
    return true;
}
