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

    // Listens on address:port (address in host order). At most `connections`
    // connections are served at once; up to kSpareConnections more are answered 503
    // at once (counted as busy) and closed, so that no client is left without an
    // answer; one beyond those (a flood) is closed at once. A connection idle for
    // kIdleSeconds is closed. False when the address cannot be taken.
    bool Start(uint32_t address, uint16_t port, unsigned connections);
    // Stops listening and ends the connections; waits for the requests under way.
    void Stop();

    static constexpr unsigned kIdleSeconds = 30;
    static constexpr unsigned kSpareConnections = 512;

    // What the server's callbacks share: where requests go, how many connections are
    // served, how many are open now.
    struct Gate {
        Exporter& exporter;
        unsigned served = 0;
        std::atomic<unsigned> open{0};
    };

private:
    Gate m_gate;
    MHD_Daemon* m_daemon = nullptr;
};

}  // namespace kelexporter
