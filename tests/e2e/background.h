// Processes a test starts in the background and stops itself: kelcard run with a
// daemon under it, or an X server. Each is stopped by its process id - SIGTERM, a
// bounded wait, then SIGKILL to it and to every process it is the parent of (kelcard
// run adopts what the daemon detaches) - also when the test fails half-way.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

using Millis = std::chrono::milliseconds;

class Background {
public:
    Background() = default;
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    // Starts argv[0] (a path) with the test's environment plus `env` ("NAME=VALUE"),
    // standard input from /dev/null, standard output and error into files. `passFd`,
    // when not -1, becomes descriptor 3 of the child.
    ::testing::AssertionResult Start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                                     int passFd = -1);
    // `signal` (SIGTERM unless told), then waits up to `limit` for the process to end.
    // True when it ended by itself in time, with its wait status and how long it took.
    bool Terminate(Millis limit, int& waitStatus, Millis& took, int signal = SIGTERM);
    // The processes whose parent is this one (under kelcard run: what the program left
    // behind, such as a detached daemon).
    std::vector<pid_t> Children() const;
    // Waits up to `limit` for the process to end by itself.
    bool WaitForExit(Millis limit, int& waitStatus);
    bool Running() const { return m_pid > 0; }
    // The threads of the process (0 when it does not run).
    int Threads() const;
    std::string Out() const;
    std::string Err() const;

private:
    void Kill();
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
};

// An X server of the test's own (Xvfb -noreset, one screen WIDTHxHEIGHT), on the
// display number it reports.
class XServer {
public:
    ::testing::AssertionResult Start(int width, int height);
    const std::string& Display() const { return m_display; }

private:
    Background m_process;
    std::string m_display;
};

// Polls `done` every 20 ms until it holds or `limit` has passed; returns its last value.
bool WaitUntil(Millis limit, const std::function<bool()>& done);

// The whole of a file ("" when it cannot be read).
std::string FileText(const std::string& path);

// A file name in a fresh temporary folder, both removed on destruction.
class TempFile {
public:
    explicit TempFile(const std::string& name);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& Path() const { return m_path; }
    // Writes `text` into the file.
    bool Write(const std::string& text) const;

private:
    std::string m_dir;
    std::string m_path;
};

}  // namespace e2e
