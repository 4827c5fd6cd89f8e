// A host file that closes itself: for files read, or written where a failed close
// changes nothing for the caller (a file whose close result counts is closed by hand).
#pragma once

#include <cstdio>
#include <memory>

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using HostFile = std::unique_ptr<std::FILE, FileCloser>;
