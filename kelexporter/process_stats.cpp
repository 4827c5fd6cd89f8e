// The exporter's own process figures, from /proc.
#include "process_stats.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace kelexporter {
namespace {

// The seconds since 1970 at which the system booted ("btime" of /proc/stat).
double BootTime()
{
    std::ifstream stat("/proc/stat");
    std::string word;
    double seconds = 0;
    while (stat >> word)
        if (word == "btime" && stat >> seconds) return seconds;
    return 0;
}

double OpenFds()
{
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return 0;
    double count = 0;
    // The stream is this call's own; readdir shares nothing between streams.
    while (const dirent* entry = readdir(dir))  // NOLINT(concurrency-mt-unsafe)
        if (entry->d_name[0] != '.') ++count;
    closedir(dir);
    return count - 1;  // the directory's own descriptor
}

}  // namespace

ProcessStats ReadProcessStats()
{
    ProcessStats stats;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    const double page = static_cast<double>(sysconf(_SC_PAGESIZE));
    // /proc/self/stat: the command name in parentheses may hold blanks, so the fields
    // are counted from the last ')': state is field 3, utime 14, stime 15, starttime 22.
    std::ifstream statFile("/proc/self/stat");
    const std::string line((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    if (const auto close = line.rfind(')'); close != std::string::npos && ticks > 0) {
        std::istringstream fields(line.substr(close + 1));
        std::string field;
        double utime = 0, stime = 0, start = 0;
        for (int number = 3; fields >> field; ++number) {
            if (number == 14) utime = std::stod(field);
            if (number == 15) stime = std::stod(field);
            if (number == 22) {
                start = std::stod(field);
                break;
            }
        }
        stats.cpuSeconds = (utime + stime) / ticks;
        stats.startTimeSeconds = BootTime() + start / ticks;
    }
    std::ifstream statm("/proc/self/statm");
    double size = 0, resident = 0;
    if (statm >> size >> resident) stats.residentBytes = resident * page;
    stats.openFds = OpenFds();
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) stats.maxFds = static_cast<double>(limit.rlim_cur);
    return stats;
}

}  // namespace kelexporter
