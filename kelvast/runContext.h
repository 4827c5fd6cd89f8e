// kelvast: one run's context: its options, the card and command words it was given,
// the trace, and the JSON object that --json writes on standard output.
//
// With --json, standard output is kept for the JSON alone: everything the tool prints
// for a person (the connection lines, progress, results as text, the banner) goes to
// standard error, and no question is asked. The JSON object holds format_version,
// card, command, exit_status, status, message and result (see docs/json.md).
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "runOptions.h"

class Outcome;

// --trace: lines on standard error, each with the milliseconds since the run began.
class RunTrace {
public:
    void Print(const std::string& line) const;

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// Standard output kept aside for the JSON: Begin sends what the tool prints to
// standard error, Write puts one line on the real standard output.
class JsonStdout {
public:
    JsonStdout() = default;
    JsonStdout(const JsonStdout&) = delete;
    JsonStdout& operator=(const JsonStdout&) = delete;
    ~JsonStdout();
    void Begin();
    void Write(const nlohmann::ordered_json& object);
    // Lines already made (another run's JSON lines), written as they are.
    void WriteRaw(std::string_view bytes);
    bool Emitted() const { return m_emitted; }

private:
    int m_fd = -1;
    bool m_emitted = false;
};

struct RunContext {
    explicit RunContext(const RunOptions& opts) : options(opts) {}

    const RunOptions& options;
    std::string card;                   // the address as given, or "cd"
    std::vector<std::string> command;   // the command words as given
    RunTrace trace;
    JsonStdout json;
    std::string message;                // a reason that replaces the outcome's own
    bool unattended = false;            // one card of many: no question is asked
    nlohmann::ordered_json result = nlohmann::ordered_json::object();  // what the command read

    void SetCommand(int count, char** words);
    // A confirmation: asked at a terminal (true for yes). With --json, or for one card
    // of many, it is never asked: the answer is yes only when --yes was given and the
    // question is one that --yes answers (for one card of many the question and the
    // answer are printed).
    bool Confirm(const char* prompt, bool yesAnswers);
    // Writes the JSON object of a command with its outcome and exit status, then
    // starts a new result for the next command.
    void EmitResult(const Outcome& outcome, int exitStatus);
};
