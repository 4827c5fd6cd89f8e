// kelexporter's HTTP server: libmicrohttpd, one thread per connection, handing every
// request to the Exporter.
#pragma once

#include <cstdint>
#include <string>

#include "exporter.h"

struct MHD_Daemon;

namespace kelexporter {

class HttpServer {
public:
    explicit HttpServer(Exporter& exporter) : m_exporter(exporter) {}
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on address:port (address in host order) with at most `connections`
    // connections at once (a further one is closed at once); a connection idle for
    // kIdleSeconds is closed. False when the address cannot be taken.
    bool Start(uint32_t address, uint16_t port, unsigned connections);
    // Stops listening and ends the connections; waits for the requests under way.
    void Stop();

    static constexpr unsigned kIdleSeconds = 30;

private:
    Exporter& m_exporter;
    MHD_Daemon* m_daemon = nullptr;
};

}  // namespace kelexporter
