// kelexporter: the metrics of ORVA cards for Prometheus.
//
//   kelexporter --config FILE [--listen ADDRESS:PORT] [--workers N]
#include <sys/prctl.h>
#include <signal.h>

#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "exporter.h"
#include "http_server.h"
#include "network.h"
#include "stdfds.h"

namespace {

using namespace kelexporter;

const char kUsage[] =
    "Usage: kelexporter --config FILE [--listen ADDRESS:PORT] [--workers N]\n"
    "\n"
    "Answers Prometheus's scrapes of ORVA cards: GET /metrics?target=A.B.C.D[&module=NAME]\n"
    "logs in to the card at A.B.C.D (port 6577) with the credentials of module NAME of\n"
    "the configuration (default: the module named default) and answers its metrics.\n"
    "GET /metrics alone answers the exporter's own.\n"
    "\n"
    "  --config FILE          the modules: [NAME] sections with user, password_file and\n"
    "                         timeout (seconds for a whole scrape, default 10); others\n"
    "                         may not read the file\n"
    "  --listen ADDRESS:PORT  where to answer (IPv4; default 127.0.0.1:9577)\n"
    "  --workers N            scrapes at the same time (1 to 1024, default 32); a further\n"
    "                         one waits up to 5 seconds for a place, then gets 503\n"
    "\n"
    "SIGTERM or SIGINT ends it. Exit status: 0 after a signal, 1 when the configuration\n"
    "or the address is refused, 2 for bad arguments.\n";

constexpr auto kQueueWait = std::chrono::seconds(5);
// How long a stop waits for the scrapes under way before the process ends anyway.
constexpr auto kStopWait = std::chrono::milliseconds(700);

struct Options {
    std::string config;
    uint32_t address = 0x7F000001;
    uint16_t port = 9577;
    unsigned workers = 32;
};

bool ParseNumber(std::string_view text, unsigned long min, unsigned long max, unsigned long& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    return ec == std::errc() && end == text.data() + text.size() && value >= min && value <= max;
}

bool ParseListen(std::string_view text, Options& options)
{
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos) return false;
    const auto address = ParseDottedIPv4(text.data(), colon);
    unsigned long port = 0;
    if (!address || !ParseNumber(text.substr(colon + 1), 1, 65535, port)) return false;
    options.address = *address;
    options.port = static_cast<uint16_t>(port);
    return true;
}

std::string ListenText(const Options& options)
{
    const uint32_t a = options.address;
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." + std::to_string((a >> 8) & 0xFF) +
           "." + std::to_string(a & 0xFF) + ":" + std::to_string(options.port);
}

// False with the reason for a bad word; --help prints the usage and exits.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--help" || word == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);  // NOLINT(concurrency-mt-unsafe): no thread has started yet
        }
        if (word != "--config" && word != "--listen" && word != "--workers") {
            error = "unknown option '" + std::string(word) + "'";
            return false;
        }
        if (i + 1 >= argc) {
            error = "option '" + std::string(word) + "' needs a value";
            return false;
        }
        const std::string_view value = argv[++i];
        unsigned long workers = 0;
        if (word == "--config")
            options.config = value;
        else if (word == "--listen" && !ParseListen(value, options)) {
            error = "--listen needs ADDRESS:PORT (IPv4, port 1 to 65535), not '" + std::string(value) + "'";
            return false;
        } else if (word == "--workers") {
            if (!ParseNumber(value, 1, kMaxWorkers, workers)) {
                error = "--workers needs a number from 1 to 1024, not '" + std::string(value) + "'";
                return false;
            }
            options.workers = static_cast<unsigned>(workers);
        }
    }
    if (options.config.empty()) {
        error = "--config FILE is required";
        return false;
    }
    return true;
}

// Stops the server, giving the scrapes under way kStopWait to end; the process then
// ends whatever they do.
int StopWithin(HttpServer& server)
{
    std::mutex mutex;
    std::condition_variable stopped;
    bool done = false;
    std::thread stopper([&] {
        server.Stop();
        std::lock_guard lock(mutex);
        done = true;
        stopped.notify_one();
    });
    std::unique_lock lock(mutex);
    if (stopped.wait_for(lock, kStopWait, [&] { return done; })) {
        lock.unlock();
        stopper.join();
        return 0;
    }
    std::fflush(nullptr);
    std::_Exit(0);
}

}  // namespace

int main(int argc, char** argv)
{
    OpenNullOnClosedStandardDescriptors();
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "kelexporter: %s (kelexporter --help)\n", error.c_str());
        return 2;
    }
    // The exporter holds its modules' passwords for as long as it runs: no core dump,
    // and no other process of its user may trace it.
    prctl(PR_SET_DUMPABLE, 0);
    ExporterConfig config;
    if (!LoadConfig(options.config, config, error)) {
        std::fprintf(stderr, "kelexporter: %s\n", error.c_str());
        return 1;
    }

    // Every thread started from here on has the signals blocked; this one takes them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    Exporter exporter(std::move(config), options.workers, kQueueWait);
    HttpServer server(exporter);
    const std::string listen = ListenText(options);
    if (!server.Start(options.address, options.port, options.workers * 2 + 16)) {
        std::fprintf(stderr, "kelexporter: cannot listen on %s\n", listen.c_str());
        return 1;
    }
    std::fprintf(stderr, "kelexporter: listening on %s\n", listen.c_str());
    int received = 0;
    while (sigwait(&signals, &received) != 0) {
    }
    return StopWithin(server);
}
