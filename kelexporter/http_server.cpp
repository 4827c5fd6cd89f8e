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
    Exporter& exporter = *static_cast<Exporter*>(cls);
    const Response response =
        exporter.Handle(method, url, MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "target"),
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

}  // namespace

HttpServer::~HttpServer() { Stop(); }

bool HttpServer::Start(uint32_t address, uint16_t port, unsigned connections)
{
    sockaddr_in listen{};
    listen.sin_family = AF_INET;
    listen.sin_port = htons(port);
    listen.sin_addr.s_addr = htonl(address);
    m_daemon = MHD_start_daemon(MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD, port, nullptr,
                                nullptr, Answer, &m_exporter, MHD_OPTION_SOCK_ADDR, &listen,
                                MHD_OPTION_CONNECTION_LIMIT, connections, MHD_OPTION_CONNECTION_TIMEOUT,
                                kIdleSeconds, MHD_OPTION_END);
    return m_daemon != nullptr;
}

void HttpServer::Stop()
{
    if (m_daemon != nullptr) MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
}

}  // namespace kelexporter
