// kelexporter's renderer.
#include "metrics_text.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace kelexporter {
namespace {

// The length of the valid UTF-8 character at text[0] (1 to 4), or 0 when the bytes
// there are not one (overlong forms, surrogates and code points past U+10FFFF
// included).
std::size_t Utf8Length(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t len = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF)
        len = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        len = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        len = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else
        return 0;
    if (text.size() < len || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < len; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return len;
}

const char* TypeWord(MetricsWriter::Type type) { return type == MetricsWriter::Type::kCounter ? "counter" : "gauge"; }

}  // namespace

MetricFormat FormatForAccept(const char* accept)
{
    return accept != nullptr && std::strstr(accept, "application/openmetrics-text") != nullptr
               ? MetricFormat::kOpenMetrics
               : MetricFormat::kText;
}

const char* ContentTypeOf(MetricFormat format)
{
    return format == MetricFormat::kOpenMetrics ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
                                                : "text/plain; version=0.0.4; charset=utf-8";
}

std::string LabelValue(std::string_view text)
{
    std::string safe;
    std::size_t kept = 0;
    while (!text.empty()) {
        std::size_t len = Utf8Length(text);
        const unsigned char c = static_cast<unsigned char>(text[0]);
        const bool control = len == 1 && (c < 0x20 || c == 0x7F) && c != '\n';
        const std::size_t take = len == 0 || control ? 1 : len;
        if (kept + take > kMaxLabelBytes) break;
        kept += take;
        if (len == 0 || control)
            safe += '?';
        else if (c == '\\')
            safe += "\\\\";
        else if (c == '"')
            safe += "\\\"";
        else if (c == '\n')
            safe += "\\n";
        else
            safe.append(text.substr(0, len));
        text.remove_prefix(take);
    }
    return safe;
}

std::string MetricNumber(double value)
{
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    char text[32];
    const auto end = std::abs(value) < 1e15 && value == std::trunc(value)
                         ? std::to_chars(text, text + sizeof(text), static_cast<long long>(value)).ptr
                         : std::to_chars(text, text + sizeof(text), value).ptr;
    return std::string(text, end);
}

void MetricsWriter::Family(std::string_view name, Type type, std::string_view help)
{
    m_name = std::string(name) + (type == Type::kCounter ? "_total" : "");
    const std::string& shown = m_format == MetricFormat::kOpenMetrics ? std::string(name) : m_name;
    m_out += "# HELP " + shown + " " + std::string(help) + "\n";
    m_out += "# TYPE " + shown + " " + TypeWord(type) + "\n";
}

void MetricsWriter::Sample(const Labels& labels, double value)
{
    m_out += m_name;
    if (!labels.empty()) {
        m_out += '{';
        for (std::size_t i = 0; i < labels.size(); ++i) {
            if (i > 0) m_out += ',';
            m_out += std::string(labels[i].first) + "=\"" + LabelValue(labels[i].second) + "\"";
        }
        m_out += '}';
    }
    m_out += ' ' + MetricNumber(value) + '\n';
}

std::string MetricsWriter::Finish()
{
    if (m_format == MetricFormat::kOpenMetrics) m_out += "# EOF\n";
    return std::move(m_out);
}

std::string RenderCardMetrics(const CardScrape& scrape, MetricFormat format)
{
    using Type = MetricsWriter::Type;
    MetricsWriter out(format);
    out.Family("orva_up", Type::kGauge, "1 when the exporter logged in to the card, else 0.");
    out.Sample({}, scrape.up ? 1 : 0);
    if (scrape.up) {
        out.Family("orva_collector_up", Type::kGauge, "1 when the collector read its area of the card, else 0.");
        const bool collected[] = {scrape.health.ok(), scrape.sensors.ok(), scrape.sel.ok(), scrape.firmware.ok(),
                                  scrape.network.ok()};
        static_assert(std::size(collected) == std::size(kCollectorNames));
        for (std::size_t i = 0; i < std::size(collected); ++i)
            out.Sample({{"collector", kCollectorNames[i]}}, collected[i] ? 1 : 0);
    }
    if (scrape.health.ok()) {
        out.Family("orva_health_reading", Type::kGauge, "The card's health readings, in volts.");
        for (const HealthReading& reading : *scrape.health.value) out.Sample({{"reading", reading.name}}, reading.volts);
    }
    if (scrape.sensors.ok()) {
        out.Family("orva_sensor_value", Type::kGauge, "The SDK sensors' readings in base units (absent when failed).");
        for (const SensorReading& sensor : *scrape.sensors.value)
            if (sensor.ok)
                out.Sample({{"category", sensor.category}, {"sensor", sensor.name}, {"unit", sensor.unit}},
                           sensor.value);
        out.Family("orva_sensor_ok", Type::kGauge, "1 when the card read the sensor, 0 when its access failed.");
        for (const SensorReading& sensor : *scrape.sensors.value)
            out.Sample({{"category", sensor.category}, {"sensor", sensor.name}}, sensor.ok ? 1 : 0);
    }
    if (scrape.sel.ok()) {
        const SelSummary& sel = *scrape.sel.value;
        out.Family("orva_sel_entries", Type::kGauge, "Records in the card's event log.");
        out.Sample({}, sel.entries);
        out.Family("orva_sel_free_bytes", Type::kGauge, "Free space of the card's event log, in bytes.");
        out.Sample({}, sel.freeBytes);
        out.Family("orva_sel_policy_info", Type::kGauge, "The event log's fill policy.");
        out.Sample({{"policy", sel.policy}}, 1);
    }
    if (scrape.firmware.ok()) {
        out.Family("orva_firmware_info", Type::kGauge, "The card's firmware version and build date.");
        out.Sample({{"version", scrape.firmware.value->version}, {"build_date", scrape.firmware.value->buildDate}}, 1);
    }
    if (scrape.network.ok()) {
        out.Family("orva_network_info", Type::kGauge, "The card's MAC address and network configuration method.");
        out.Sample({{"mac", scrape.network.value->mac}, {"method", scrape.network.value->method}}, 1);
    }
    out.Family("orva_scrape_duration_seconds", Type::kGauge, "How long the scrape of the card took.");
    out.Sample({}, scrape.seconds);
    return out.Finish();
}

std::string RenderExporterMetrics(const ProcessStats& stats, const ScrapeCounts& counts, MetricFormat format)
{
    using Type = MetricsWriter::Type;
    MetricsWriter out(format);
    out.Family("process_resident_memory_bytes", Type::kGauge, "Resident memory size in bytes.");
    out.Sample({}, stats.residentBytes);
    out.Family("process_cpu_seconds", Type::kCounter, "User and system CPU time spent in seconds.");
    out.Sample({}, stats.cpuSeconds);
    out.Family("process_open_fds", Type::kGauge, "Number of open file descriptors.");
    out.Sample({}, stats.openFds);
    out.Family("process_max_fds", Type::kGauge, "Maximum number of open file descriptors.");
    out.Sample({}, stats.maxFds);
    out.Family("process_start_time_seconds", Type::kGauge, "Start time of the process since 1970 in seconds.");
    out.Sample({}, stats.startTimeSeconds);
    out.Family("kelexporter_scrapes", Type::kCounter, "Requests for a card's metrics, by result.");
    out.Sample({{"result", "up"}}, static_cast<double>(counts.up));
    out.Sample({{"result", "down"}}, static_cast<double>(counts.down));
    out.Sample({{"result", "bad_request"}}, static_cast<double>(counts.badRequest));
    out.Sample({{"result", "busy"}}, static_cast<double>(counts.busy));
    out.Family("kelexporter_scrapes_in_progress", Type::kGauge, "Scrapes of cards under way.");
    out.Sample({}, static_cast<double>(counts.inProgress));
    return out.Finish();
}

}  // namespace kelexporter
