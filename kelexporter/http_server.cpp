// kelexporter's HTTP server.
#include "http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <microhttpd.h>

namespace kelexporter {
namespace {

MHD_Result Answer(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                  const char*, size_t*, void**)
{
    HttpServer::Gate& gate = *static_cast<HttpServer::Gate*>(cls);
    const Response response =
        gate.open.load() > gate.served
            ? gate.exporter.Busy("too many connections at once: try again later")
            : gate.exporter.Handle(method, url, MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "target"),
                                   MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "module"),
                                   MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT));
    MHD_Response* answer = MHD_create_response_from_buffer(response.body.size(), const_cast<char*>(response.body.data()),
                                                           MHD_RESPMEM_MUST_COPY);
    if (answer == nullptr) return MHD_NO;
    MHD_add_response_header(answer, MHD_HTTP_HEADER_CONTENT_TYPE, response.contentType.c_str());
    const MHD_Result queued = MHD_queue_response(connection, response.status, answer);
    MHD_destroy_response(answer);
    return queued;
}

void Notify(void* cls, MHD_Connection*, void**, MHD_ConnectionNotificationCode code)
{
    HttpServer::Gate& gate = *static_cast<HttpServer::Gate*>(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED)
        ++gate.open;
    else if (code == MHD_CONNECTION_NOTIFY_CLOSED)
        --gate.open;
}

}  // namespace

HttpServer::~HttpServer() { Stop(); }

bool HttpServer::Start(uint32_t address, uint16_t port, unsigned connections)
{
    sockaddr_in listen{};
    listen.sin_family = AF_INET;
    listen.sin_port = htons(port);
    listen.sin_addr.s_addr = htonl(address);
    m_gate.served = connections;
    m_daemon = MHD_start_daemon(MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD, port, nullptr,
                                nullptr, Answer, &m_gate, MHD_OPTION_SOCK_ADDR, &listen, MHD_OPTION_CONNECTION_LIMIT,
                                connections + kSpareConnections, MHD_OPTION_NOTIFY_CONNECTION, Notify, &m_gate,
                                MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, MHD_OPTION_END);
    return m_daemon != nullptr;
}

void HttpServer::Stop()
{
    if (m_daemon != nullptr) MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
}

}  // namespace kelexporter
