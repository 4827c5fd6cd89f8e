// kelexporter's one renderer: metric families in the text format 0.0.4 or in
// OpenMetrics 1.0, the card's texts made safe as label values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "collectors.h"

namespace kelexporter {

enum class MetricFormat { kText, kOpenMetrics };

// The format an Accept header asks for: OpenMetrics when it names
// application/openmetrics-text, else the text format (also for no header).
MetricFormat FormatForAccept(const char* accept);
// The Content-Type of an answer in that format.
const char* ContentTypeOf(MetricFormat format);

// The most bytes of a card's text kept in a label value (before escaping).
inline constexpr std::size_t kMaxLabelBytes = 128;
// A text as a label value: a byte that is not part of a valid UTF-8 character, and
// every control character but the line end, becomes '?'; the text is cut to
// kMaxLabelBytes bytes at a character's boundary; then '\\', '"' and the line end are
// escaped as the formats ask.
std::string LabelValue(std::string_view text);

using Labels = std::vector<std::pair<const char*, std::string>>;  // name, raw value

// Writes families one after the other. A counter is named without "_total": its
// sample (and, in the text format, its HELP and TYPE lines) get the suffix.
class MetricsWriter {
public:
    explicit MetricsWriter(MetricFormat format) : m_format(format) {}
    enum class Type { kGauge, kCounter };
    void Family(std::string_view name, Type type, std::string_view help);
    // A sample of the last family.
    void Sample(const Labels& labels, double value);
    // The whole answer (OpenMetrics ends with "# EOF").
    std::string Finish();

private:
    MetricFormat m_format;
    std::string m_name;  // the last family's sample name
    std::string m_out;
};

// A number as both formats write it: an integer without a point, NaN, +Inf, -Inf, or
// the shortest text that reads back as the same double.
std::string MetricNumber(double value);

// The answer to a scrape of a card: orva_up, and when it is 1 orva_collector_up for
// each collector and the families of those that succeeded; orva_scrape_duration_seconds
// always.
std::string RenderCardMetrics(const CardScrape& scrape, MetricFormat format);

// The exporter's own figures.
struct ProcessStats {
    double residentBytes = 0;
    double cpuSeconds = 0;
    double openFds = 0;
    double maxFds = 0;
    double startTimeSeconds = 0;  // since 1970
};
// Scrapes of cards by result: "up" (logged in), "down", and requests refused
// before any card was asked: "bad_request" (400), "busy" (503).
struct ScrapeCounts {
    uint64_t up = 0;
    uint64_t down = 0;
    uint64_t badRequest = 0;
    uint64_t busy = 0;
    uint64_t inProgress = 0;  // scrapes under way now
};
std::string RenderExporterMetrics(const ProcessStats& stats, const ScrapeCounts& counts, MetricFormat format);

}  // namespace kelexporter
