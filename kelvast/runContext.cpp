// kelvast: the run's context, the trace and the JSON writer.
#include "runContext.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "zunaCmd.h"

void RunTrace::Print(const std::string& line) const
{
    const std::chrono::duration<double, std::milli> since = std::chrono::steady_clock::now() - m_start;
    std::size_t len = line.size();
    while (len > 0 && (line[len - 1] == '\n' || line[len - 1] == '\r')) --len;
    std::fprintf(stderr, "[%10.3f ms] %.*s\n", since.count(), static_cast<int>(len), line.c_str());
}

JsonStdout::~JsonStdout()
{
    if (m_fd >= 0) close(m_fd);
}

void JsonStdout::Begin()
{
    std::fflush(stdout);
    m_fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    dup2(STDERR_FILENO, STDOUT_FILENO);
}

void JsonStdout::Write(const nlohmann::ordered_json& object)
{
    std::fflush(stdout);
    // Card texts are the card's bytes: what is not UTF-8 becomes U+FFFD.
    WriteRaw(object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
}

void JsonStdout::WriteRaw(std::string_view bytes)
{
    m_emitted = true;
    std::size_t done = 0;
    while (m_fd >= 0 && done < bytes.size()) {
        const ssize_t n = write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
}

void RunContext::SetCommand(int count, char** words)
{
    command.clear();
    for (int i = 0; i < count; ++i) command.emplace_back(words[i]);
}

bool RunContext::Confirm(const char* prompt, bool yesAnswers)
{
    if (options.json) return yesAnswers && options.yes;
    if (unattended) {
        const bool yes = yesAnswers && options.yes;
        std::printf("%s%s\n", prompt, yes ? "y" : "n");
        return yes;
    }
    return msgyn(prompt) == 'Y';
}

void RunContext::EmitResult(const Outcome& outcome, int exitStatus)
{
    nlohmann::ordered_json object;
    object["format_version"] = 1;
    object["card"] = card;
    object["command"] = command;
    object["exit_status"] = exitStatus;
    const bool ownStatus =
        outcome.kind() == Outcome::Kind::kCardStatus || outcome.kind() == Outcome::Kind::kNotReached;
    object["status"] = ownStatus ? outcome.code() : exitStatus;
    if (outcome.ok() && exitStatus == kExitSuccess)
        object["message"] = nullptr;
    else if (!message.empty())
        object["message"] = message;
    else if (ownStatus)
        object["message"] = GetZunaErrorString(outcome.code());
    else
        object["message"] = outcome.reason();
    object["result"] = outcome.ok() && exitStatus == kExitSuccess ? result : nlohmann::ordered_json(nullptr);
    json.Write(object);
    result = nlohmann::ordered_json::object();
    message.clear();
}
