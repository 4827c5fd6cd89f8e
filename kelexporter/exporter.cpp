// kelexporter's requests.
#include "exporter.h"

#include <cstdio>
#include <cstring>

#include "network.h"
#include "process_stats.h"

namespace kelexporter {
namespace {

constexpr const char* kPlainText = "text/plain; charset=utf-8";

const char kIndexPage[] =
    "<!DOCTYPE html>\n"
    "<html><head><title>kelexporter</title></head><body>\n"
    "<h1>kelexporter</h1>\n"
    "<p>Metrics of ORVA management cards.</p>\n"
    "<ul>\n"
    "<li><a href=\"/metrics\">/metrics</a>: the exporter's own metrics</li>\n"
    "<li>/metrics?target=A.B.C.D&amp;module=NAME: the metrics of the card at A.B.C.D, logged in with the "
    "credentials of module NAME (default: the module named default)</li>\n"
    "</ul>\n"
    "</body></html>\n";

Response Text(unsigned status, std::string line) { return {status, kPlainText, std::move(line) + "\n"}; }

}  // namespace

Exporter::Exporter(ExporterConfig config, unsigned workers, std::chrono::milliseconds queueWait,
                   ClientFactory makeClient, LogLine log)
    : m_config(std::move(config)),
      m_queueWait(queueWait),
      m_makeClient(std::move(makeClient)),
      m_log(std::move(log)),
      m_slots(workers)
{
}

void Exporter::LogToStderr(const std::string& line)
{
    std::fprintf(stderr, "kelexporter: %s\n", line.c_str());
}

std::unique_ptr<CX9ZunaIfc> Exporter::NetworkClient(const std::string& target)
{
    return std::make_unique<CX9ZunaIfc>(MEDIUM_NW, OS_LINUX, target.c_str(), kCardPort);
}

ScrapeCounts Exporter::Counts() const
{
    return {m_up.load(), m_down.load(), m_badRequest.load(), m_busy.load(), m_inProgress.load()};
}

Response Exporter::Handle(std::string_view method, std::string_view path, const char* target, const char* module,
                          const char* accept)
{
    if (method != "GET" && method != "HEAD") return Text(405, "only GET and HEAD");
    if (path == "/") return {200, "text/html; charset=utf-8", kIndexPage};
    if (path != "/metrics") return Text(404, "not found: try /metrics");
    const MetricFormat format = FormatForAccept(accept);
    if (target == nullptr && module == nullptr)
        return {200, ContentTypeOf(format), RenderExporterMetrics(ReadProcessStats(), Counts(), format)};
    if (target == nullptr || !ParseDottedIPv4(target, std::strlen(target))) {
        ++m_badRequest;
        return Text(400, "target must be a dotted IPv4 address (target=A.B.C.D)");
    }
    const Module* found = FindModule(m_config, module);
    if (found == nullptr) {
        ++m_badRequest;
        return Text(400, "unknown module");
    }
    return Scrape(target, *found, format);
}

Response Exporter::Busy(const std::string& reason)
{
    ++m_busy;
    return Text(503, reason);
}

Response Exporter::Scrape(const std::string& target, const Module& module, MetricFormat format)
{
    if (!m_slots.try_acquire_for(m_queueWait)) return Busy("too many scrapes at once: try again later");
    ++m_inProgress;
    struct Release {
        Exporter& exporter;
        ~Release()
        {
            --exporter.m_inProgress;
            exporter.m_slots.release();
        }
    } release{*this};
    const std::unique_ptr<CX9ZunaIfc> client = m_makeClient(target);
    const CardScrape scrape = ScrapeCard(*client, module.user, module.password, module.timeout);
    if (scrape.up) {
        ++m_up;
    } else {
        ++m_down;
        m_log(target + ": login failed, " + GetZunaErrorString(scrape.loginStatus));
    }
    return {200, ContentTypeOf(format), RenderCardMetrics(scrape, format)};
}

}  // namespace kelexporter
