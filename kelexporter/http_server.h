// kelexporter's HTTP server: libmicrohttpd, one thread per connection, handing every
// request to the Exporter.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "exporter.h"

struct MHD_Daemon;

namespace kelexporter {

class HttpServer {
public:
    explicit HttpServer(Exporter& exporter) : m_gate{exporter} {}
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on address:port (address in host order). The first `connections`
    // connections open at once are served; up to kSpareConnections more get 503 to
    // each request (counted as busy) and are closed, so that no client is left
    // without an answer; one beyond those (a flood) is closed at once. A connection
    // idle for kIdleSeconds is closed. False when the address cannot be taken.
    bool Start(uint32_t address, uint16_t port, unsigned connections);
    // Stops listening and ends the connections; waits for the requests under way.
    void Stop();

    static constexpr unsigned kIdleSeconds = 30;
    static constexpr unsigned kSpareConnections = 512;

    // What the server's callbacks share: where requests go, how many connections are
    // served at once, how many of those places are taken now.
    struct Gate {
        Exporter& exporter;
        unsigned served = 0;
        std::atomic<unsigned> taken{0};
    };

private:
    Gate m_gate;
    MHD_Daemon* m_daemon = nullptr;
};

}  // namespace kelexporter
