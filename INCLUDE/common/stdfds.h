// Every program of the toolkit starts by making sure that standard input, output and
// error are open: a socket or drive opened later must never take descriptor 0, 1 or 2,
// or the program would read its answers from the card, or write its output to it.
#pragma once

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

// Opens /dev/null on any of descriptors 0, 1 and 2 that is closed.
inline void OpenNullOnClosedStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int null = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
}
