// kelcard: an ORVA management card on the host's loopback network.
//   kelcard serve --address A [options]   the card's ZUNA service on A:6577
//   kelcard --help
// Exit status: 0 after SIGINT/SIGTERM or --help, 1 when the card cannot start
// serving, 2 for bad arguments.
#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include <pthread.h>

#include "card_model.h"
#include "kelcard_options.h"
#include "tcp_server.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "kelcard: %s\n\n%s", message.c_str(), kelcard::kUsage);
    return kExitUsage;
}

// Blocks SIGINT and SIGTERM in this thread and in the threads it starts later, so that
// WaitForStopSignal() can take them.
sigset_t BlockStopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return set;
}

void WaitForStopSignal(const sigset_t& set)
{
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
}

int RunServe(const std::vector<std::string>& words)
{
    kelcard::ServeOptions options;
    std::string error;
    if (!kelcard::ParseServeOptions(words, options, error)) return UsageError(error);

    const sigset_t stopSignals = BlockStopSignals();
    kelcard::CardModel card(options.accounts);
    kelcard::ConfigureCard(card, options, static_cast<int64_t>(std::time(nullptr)));
    kelcard::TcpServer server(card, options.address);
    if (!server.Start(&error)) {
        std::fprintf(stderr, "kelcard: cannot serve on %s:6577: %s\n", options.address.c_str(), error.c_str());
        return kExitFailed;
    }
    std::printf("kelcard: card ready on %s:6577\n", options.address.c_str());
    std::fflush(stdout);

    WaitForStopSignal(stopSignals);
    server.Stop();
    return kExitOk;
}

struct SubCommand {
    std::string_view word;
    int (*run)(const std::vector<std::string>& words);  // the words after the sub-command
};

constexpr SubCommand kSubCommands[] = {
    {"serve", RunServe},
};

bool IsHelp(std::string_view word)
{
    return word == "--help" || word == "-h" || word == "help";
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (words.empty()) return UsageError("a sub-command is needed");
    if (IsHelp(words[0]) || (words.size() > 1 && IsHelp(words[1]))) {
        std::fputs(kelcard::kUsage, stdout);
        return kExitOk;
    }
    for (const SubCommand& sub : kSubCommands) {
        if (words[0] == sub.word) return sub.run({words.begin() + 1, words.end()});
    }
    return UsageError("unknown sub-command '" + words[0] + "'");
}
