// The password file: its first line, from a file only its owner can use.
#include "passwordfile.h"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool ReadPasswordFile(const std::string& path, char* buf, std::size_t bufSize, std::string* error)
{
    buf[0] = '\0';
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *error = std::generic_category().message(errno);
        return false;
    }
    struct FdCloser {
        int fd;
        ~FdCloser() { close(fd); }
    } closer{fd};
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        *error = std::generic_category().message(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = "not a regular file";
        return false;
    }
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        *error = "group or others can use it (chmod 600 it)";
        return false;
    }
    // The first line, read a byte at a time so that nothing past it is ever buffered
    // in memory.
    std::size_t len = 0;
    bool tooLong = false;
    char c = 0;
    while (read(fd, &c, 1) == 1 && c != '\n') {
        if (len + 1 >= bufSize) {
            tooLong = true;
            break;
        }
        buf[len++] = c;
    }
    explicit_bzero(&c, sizeof c);
    if (len > 0 && buf[len - 1] == '\r') --len;  // a line end written on another system
    if (tooLong) {
        explicit_bzero(buf, bufSize);
        *error = "the first line is too long";
        return false;
    }
    explicit_bzero(buf + len, bufSize - len);
    return true;
}
