// kelexporter's requests: what each path answers, without the HTTP server around it.
//
//   GET /                                the endpoints, as a short HTML page
//   GET /metrics                         the exporter's own process figures and counters
//   GET /metrics?target=A.B.C.D[&module=NAME]
//                                        a scrape of the card at A.B.C.D (port 6577)
//   anything else                        404 (a method other than GET or HEAD: 405)
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <semaphore>
#include <string>
#include <string_view>

#include "exporter_config.h"
#include "metrics_text.h"
#include "x9zunaifc.h"

namespace kelexporter {

struct Response {
    unsigned status = 200;
    std::string contentType;
    std::string body;
};

// The card's ZUNA port.
inline constexpr int kCardPort = 6577;
// The most scrapes at the same time (--workers).
inline constexpr unsigned kMaxWorkers = 1024;

class Exporter {
public:
    // A new, unconnected client for a card's address.
    using ClientFactory = std::function<std::unique_ptr<CX9ZunaIfc>(const std::string& target)>;
    // Where a failed scrape's line goes (its text without the line end).
    using LogLine = std::function<void(const std::string& line)>;
    // `workers` scrapes run at the same time (1 to kMaxWorkers); a further one waits up
    // to `queueWait` for a place, then gets 503.
    Exporter(ExporterConfig config, unsigned workers, std::chrono::milliseconds queueWait,
             ClientFactory makeClient = NetworkClient, LogLine log = LogToStderr);

    // One request: the method, the path (without the query), the query's target and
    // module (null when absent) and the Accept header (null when absent). Safe to call
    // from several threads at once.
    Response Handle(std::string_view method, std::string_view path, const char* target, const char* module,
                    const char* accept);

    // A 503 answer with `reason`, counted as busy: for a request the server cannot
    // take now.
    Response Busy(const std::string& reason);

    // A client of the network medium for target:6577.
    static std::unique_ptr<CX9ZunaIfc> NetworkClient(const std::string& target);
    // "kelexporter: LINE" on standard error.
    static void LogToStderr(const std::string& line);

private:
    Response Scrape(const std::string& target, const Module& module, MetricFormat format);
    ScrapeCounts Counts() const;

    ExporterConfig m_config;
    std::chrono::milliseconds m_queueWait;
    ClientFactory m_makeClient;
    LogLine m_log;
    std::counting_semaphore<kMaxWorkers> m_slots;
    std::atomic<uint64_t> m_up{0}, m_down{0}, m_badRequest{0}, m_busy{0}, m_inProgress{0};
};

}  // namespace kelexporter
