// kelexporter's HTTP server.
#include "http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <microhttpd.h>

namespace kelexporter {
namespace {

// The socket context of a connection that has a place among those served.
int g_served;

MHD_Result Answer(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                  const char*, size_t*, void**)
{
    HttpServer::Gate& gate = *static_cast<HttpServer::Gate*>(cls);
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    const bool served = info != nullptr && info->socket_context == &g_served;
    const Response response =
        served ? gate.exporter.Handle(method, url, MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "target"),
                                      MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "module"),
                                      MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT))
               : gate.exporter.Busy("too many connections at once: try again later");
    MHD_Response* answer = MHD_create_response_from_buffer(response.body.size(), const_cast<char*>(response.body.data()),
                                                           MHD_RESPMEM_MUST_COPY);
    if (answer == nullptr) return MHD_NO;
    MHD_add_response_header(answer, MHD_HTTP_HEADER_CONTENT_TYPE, response.contentType.c_str());
    // A connection without a place is not kept for a further request.
    if (!served) MHD_add_response_header(answer, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result queued = MHD_queue_response(connection, response.status, answer);
    MHD_destroy_response(answer);
    return queued;
}

// A new connection takes a place among the served ones while there is one; its
// socket context says whether it did, and a closed one gives its place back.
void Notify(void* cls, MHD_Connection*, void** context, MHD_ConnectionNotificationCode code)
{
    HttpServer::Gate& gate = *static_cast<HttpServer::Gate*>(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        unsigned taken = gate.taken.load();
        while (taken < gate.served && !gate.taken.compare_exchange_weak(taken, taken + 1)) {
        }
        *context = taken < gate.served ? &g_served : nullptr;
    } else if (code == MHD_CONNECTION_NOTIFY_CLOSED && *context == &g_served) {
        --gate.taken;
    }
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
