// kelexporter without a network: the label values, the renderer, the collectors and
// a scrape against the scripted medium, the configuration file, the requests.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "card_sdk.h"
#include "collectors.h"
#include "exporter.h"
#include "exporter_config.h"
#include "fake_medium.h"
#include "metrics_text.h"

namespace kelexporter {
namespace {

using Bytes = std::vector<unsigned char>;

TEST(ExporterText, LabelValues)
{
    struct Row {
        std::string text, label;
    };
    const Row rows[] = {
        {"CPU 1", "CPU 1"},
        {"a\"b\\c\nd", "a\\\"b\\\\c\\nd"},
        {"\x01tab\t\x7f", "?tab??"},
        {"70\xC2\xB0" "C", "70\xC2\xB0" "C"},                   // a valid two-byte character
        {"\xFF\xC3(", "?" "?("},                                  // stray and cut-short bytes
        {"\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80", "?????????"},   // overlong, surrogate, past U+10FFFF
        {std::string(200, 'a'), std::string(128, 'a')},
        {std::string(127, 'a') + "\xC3\xA9", std::string(127, 'a')},  // cut before a character
        {std::string(127, 'a') + "\"", std::string(127, 'a') + "\\\""},  // counted before escaping
    };
    for (const Row& row : rows) EXPECT_EQ(LabelValue(row.text), row.label) << row.text;
}

TEST(ExporterText, NumbersAndFormats)
{
    EXPECT_EQ(MetricNumber(1), "1");
    EXPECT_EQ(MetricNumber(-40), "-40");
    EXPECT_EQ(MetricNumber(3312 / 1000.0), "3.312");
    EXPECT_EQ(MetricNumber(std::nan("")), "NaN");
    EXPECT_EQ(MetricNumber(-std::numeric_limits<double>::infinity()), "-Inf");
    EXPECT_EQ(MetricNumber(1e20), "1e+20");
    EXPECT_EQ(FormatForAccept(nullptr), MetricFormat::kText);
    EXPECT_EQ(FormatForAccept("text/plain;version=0.0.4"), MetricFormat::kText);
    EXPECT_EQ(FormatForAccept("application/openmetrics-text;version=1.0.0;q=0.5,*/*;q=0.1"),
              MetricFormat::kOpenMetrics);
}

TEST(ExporterText, CardDownAndCounters)
{
    CardScrape down;
    down.seconds = 0.25;
    const char* const kDown =
        "# HELP orva_up 1 when the exporter logged in to the card, else 0.\n"
        "# TYPE orva_up gauge\n"
        "orva_up 0\n"
        "# HELP orva_scrape_duration_seconds How long the scrape of the card took.\n"
        "# TYPE orva_scrape_duration_seconds gauge\n"
        "orva_scrape_duration_seconds 0.25\n";
    EXPECT_EQ(RenderCardMetrics(down, MetricFormat::kText), kDown);
    EXPECT_EQ(RenderCardMetrics(down, MetricFormat::kOpenMetrics), std::string(kDown) + "# EOF\n");

    // A counter's family is named without _total in OpenMetrics, with it in the text format.
    const std::string text = RenderExporterMetrics({}, {3, 1, 0, 0, 0}, MetricFormat::kText);
    const std::string open = RenderExporterMetrics({}, {3, 1, 0, 0, 0}, MetricFormat::kOpenMetrics);
    EXPECT_NE(text.find("# TYPE kelexporter_scrapes_total counter\n"), std::string::npos) << text;
    EXPECT_NE(open.find("# TYPE kelexporter_scrapes counter\n"), std::string::npos) << open;
    EXPECT_NE(open.find("\nkelexporter_scrapes_total{result=\"up\"} 3\n"), std::string::npos) << open;
}

TEST(ExporterCollectors, BaseUnits)
{
    struct Row {
        uint8_t code;
        int32_t reading;
        std::string unit;
        double value;
    };
    const Row rows[] = {
        {1, 47000, "celsius", 47},  {2, 212000, "celsius", 100}, {4, 3312, "volts", 3.312},
        {18, 4320, "rpm", 4320},    {21, 1500, "seconds", 1.5},  {23, 2, "seconds", 120},
        {99, -7, "code_99", -7},
    };
    for (const Row& row : rows) {
        const BaseUnitValue base = ToBaseUnit(row.code, row.reading);
        EXPECT_EQ(base.unit, row.unit) << +row.code;
        EXPECT_DOUBLE_EQ(base.value, row.value) << +row.code;
    }
}

// kelcard's sensor tree, decoded as the client decodes it.
Bytes DecodedDefaultTree()
{
    const std::vector<uint8_t> stream = kelcard::detail::SerializeSensorTree(kelcard::detail::DefaultSensorTree());
    Bytes tree(stream.size());
    EXPECT_EQ(DecodeSensorStream(stream.data(), static_cast<uint32_t>(stream.size()), tree.data()), ZUNA_E_SUCCESS);
    return tree;
}

TEST(ExporterCollectors, SensorsOfTheTreeAndOfACutTree)
{
    const Bytes tree = DecodedDefaultTree();
    const std::vector<SensorReading> sensors = SensorsOfTree(tree.data(), tree.size());
    ASSERT_EQ(sensors.size(), 7u);
    EXPECT_EQ(sensors[2].category, "Temperatures");
    EXPECT_EQ(sensors[2].name, "CPU 2");
    EXPECT_FALSE(sensors[2].ok);
    EXPECT_EQ(sensors[3].name, "+12V");
    EXPECT_EQ(sensors[3].unit, "volts");
    EXPECT_DOUBLE_EQ(sensors[3].value, 12.094);
    // A buffer that ends inside the tree gives the sensors that fit whole, nothing past it.
    EXPECT_TRUE(SensorsOfTree(tree.data(), 0).empty());
    EXPECT_TRUE(SensorsOfTree(tree.data(), sizeof(SDK_node) - 1).empty());
    const std::size_t half = SensorsOfTree(tree.data(), tree.size() / 2).size();
    EXPECT_GT(half, 0u);
    EXPECT_LT(half, 7u);
}

// A scrape against the scripted medium: each collector's answer in order.
class ScrapeTest : public ::testing::Test {
protected:
    void Reply(uint16_t status, const Bytes& data = {}) { log.replies.push_back({0, MakeReply(status, data)}); }
    void LoggedIn()
    {
        Reply(0, Bytes(8, 1));
        Reply(0);
    }
    FakeMediumLog log;
    CX9ZunaIfc client{std::make_unique<FakeMedium>(log)};
};

Bytes TextField(const std::string& text, std::size_t size)
{
    Bytes field(size, 0);
    std::copy(text.begin(), text.end(), field.begin());
    return field;
}

TEST_F(ScrapeTest, AMalformedReplyAndARefusalLeaveTheOtherCollectors)
{
    LoggedIn();
    Reply(0, Bytes(100, 0));          // health: 100 of its 816 bytes, refused
    Reply(ZUNA_E_GENERAL);            // sensors: no SDK, no data
    Reply(0, {0x51, 0x00, 0x03, 0x0B, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0x0B});  // SEL info: 3 records, 2880 bytes
    Reply(0, {SEL_POLICY_STOP});
    Bytes firmware = TextField("1.0\n", 80);
    const Bytes date = TextField("today\n", 80);
    firmware.insert(firmware.end(), date.begin(), date.end());
    Reply(0, firmware);
    Bytes network = TextField("dhcp", 32);
    for (const char* field : {"eth0", "00:2A:3B:4C:5D:1D", "10.0.0.5", "", "", ""}) {
        const Bytes bytes = TextField(field, 32);
        network.insert(network.end(), bytes.begin(), bytes.end());
    }
    Reply(0, network);

    const CardScrape scrape = ScrapeCard(client, "admin", "admin", std::chrono::seconds(10));
    EXPECT_TRUE(scrape.up);
    EXPECT_EQ(scrape.health.status, ZUNA_E_CONNECTION);
    EXPECT_EQ(scrape.sensors.status, ZUNA_E_GENERAL);
    ASSERT_TRUE(scrape.sel.ok() && scrape.firmware.ok() && scrape.network.ok());
    EXPECT_EQ(scrape.sel.value->entries, 3u);
    EXPECT_EQ(scrape.sel.value->freeBytes, 2880u);
    EXPECT_EQ(scrape.sel.value->policy, "stop");
    EXPECT_EQ(scrape.firmware.value->version, "1.0");
    EXPECT_EQ(scrape.firmware.value->buildDate, "today");
    EXPECT_EQ(scrape.network.value->mac, "00:2A:3B:4C:5D:1D");
    EXPECT_EQ(scrape.network.value->method, "dhcp");
    EXPECT_EQ(log.replies.size(), 0u);

    const std::string text = RenderCardMetrics(scrape, MetricFormat::kText);
    for (const char* line : {"orva_collector_up{collector=\"health\"} 0\n", "orva_collector_up{collector=\"sensors\"} 0\n",
                             "orva_collector_up{collector=\"sel\"} 1\n", "orva_sel_policy_info{policy=\"stop\"} 1\n",
                             "orva_firmware_info{version=\"1.0\",build_date=\"today\"} 1\n",
                             "orva_network_info{mac=\"00:2A:3B:4C:5D:1D\",method=\"dhcp\"} 1\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    for (const char* family : {"orva_health_reading", "orva_sensor_value", "orva_sensor_ok"})
        EXPECT_EQ(text.find(family), std::string::npos) << family;
}

TEST_F(ScrapeTest, NoTimeLeftAsksNothing)
{
    const CardScrape scrape = ScrapeCard(client, "admin", "admin", std::chrono::milliseconds(0));
    EXPECT_FALSE(scrape.up);
    EXPECT_TRUE(log.requests.empty());
    EXPECT_EQ(log.connects, 0);
}

// The configuration files of one test, in a folder of its own.
class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(m_dir); }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::string Write(const std::string& name, const std::string& text, mode_t mode = 0600) const
    {
        const std::string path = m_dir + "/" + name;
        std::ofstream(path) << text;
        ::chmod(path.c_str(), mode);
        return path;
    }
    const std::string m_dir = (std::filesystem::temp_directory_path() /
                               ("kelexporter-config-" + std::to_string(::getpid()))).string();
};

TEST_F(ConfigTest, ModulesAndRefusals)
{
    Write("pw", "s3cret\n");
    const std::string absolute = Write("other.pw", "other\n");
    const std::string good = Write("good.ini", "# comment\n[default]\nuser = admin\npassword_file = pw\n\n[lab]\n"
                                               "user=monitor\npassword_file=" + absolute + "\ntimeout = 3 ; short\n");
    ExporterConfig config;
    std::string error;
    ASSERT_TRUE(LoadConfig(good, config, error)) << error;
    const Module* module = FindModule(config, nullptr);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->user, "admin");
    EXPECT_EQ(module->password, "s3cret");
    EXPECT_EQ(module->timeout, std::chrono::seconds(10));
    ASSERT_NE(module = FindModule(config, "lab"), nullptr);
    EXPECT_EQ(module->password, "other");
    EXPECT_EQ(module->timeout, std::chrono::seconds(3));
    EXPECT_EQ(FindModule(config, "nosuch"), nullptr);

    struct Row {
        std::string text;
        mode_t mode;
        std::string error;  // after "configuration 'PATH'"
    };
    const Row rows[] = {
        {"[default]\nuser = a\npassword_file = pw\n", 0604, ": others can use it (chmod o-rwx it)"},
        {"user = a\n", 0600, " line 1: 'user' outside a [module] section"},
        {"[m]\nuser = a\nuser = b\n", 0600, " line 3: 'user' given twice in [m]"},
        {"[m]\npassword = x\n", 0600, " line 2: unknown key 'password' (user, password_file, timeout)"},
        {"[m]\ntimeout = 0\n", 0600, " line 2: timeout must be whole seconds from 1 to 3600, not '0'"},
        {"[m]\ntimeout = 10s\n", 0600, " line 2: timeout must be whole seconds from 1 to 3600, not '10s'"},
        {"[m]\nuser = " + std::string(32, 'u') + "\n", 0600, " line 2: user must have 1 to 31 characters"},
        {"[m\n", 0600, " line 1: not a section, key = value or comment"},
        {"[m]\nuser = a\n", 0600, ": module [m] needs user and password_file"},
        {"; nothing\n", 0600, ": no [module] section"},
    };
    for (const Row& row : rows) {
        const std::string path = Write("bad.ini", row.text, row.mode);
        EXPECT_FALSE(LoadConfig(path, config, error)) << row.text;
        EXPECT_EQ(error, "configuration '" + path + "'" + row.error) << row.text;
    }
    const std::string missing = Write("missing.ini", "[default]\nuser = a\npassword_file = none\n");
    EXPECT_FALSE(LoadConfig(missing, config, error));
    EXPECT_EQ(error, "password file '" + m_dir + "/none' of module [default]: No such file or directory");
}

// The text parses as its file does, without opening one: the password files are only
// named, a NUL ends its line. A file larger than the bound is refused unread.
TEST_F(ConfigTest, TextWithoutFilesAndAFileTooLarge)
{
    ConfigText parsed;
    std::string error;
    ASSERT_TRUE(ParseConfigText("[default]\nuser = admin\npassword_file = none\n", "a.ini", parsed, error)) << error;
    EXPECT_EQ(parsed.passwordFiles.at("default"), "none");
    EXPECT_EQ(parsed.config.modules.at("default").password, "");
    const char cut[] = "[m]\nuser = a\0junk\npassword_file = pw\ntimeout = 5\0x\n";
    ASSERT_TRUE(ParseConfigText(std::string_view(cut, sizeof(cut) - 1), "a.ini", parsed, error)) << error;
    EXPECT_EQ(parsed.config.modules.at("m").timeout, std::chrono::seconds(5));
    EXPECT_FALSE(ParseConfigText("[m]\nuser\n", "a.ini", parsed, error));
    EXPECT_EQ(error, "configuration 'a.ini' line 2: not a section, key = value or comment");
    // A malformed line, then a refused key (found by fuzz_exporter_config): the first
    // line is named with its own reason, not the second line's.
    EXPECT_FALSE(ParseConfigText("e\nrs=e`", "a.ini", parsed, error));
    EXPECT_EQ(error, "configuration 'a.ini' line 1: not a section, key = value or comment");

    const std::string large = Write("large.ini", "[default]\n" + std::string(kMaxConfigBytes, ';'));
    ExporterConfig config;
    EXPECT_FALSE(LoadConfig(large, config, error));
    EXPECT_EQ(error, "configuration '" + large + "': larger than 1048576 bytes");
}

TEST(ExporterRequests, RefusalsAskNoCard)
{
    ExporterConfig config;
    config.modules["default"] = {"admin", "admin", std::chrono::seconds(1)};
    int clients = 0;
    FakeMediumLog log;
    log.connectResult = 1;
    std::vector<std::string> lines;  // what goes to standard error
    Exporter exporter(
        std::move(config), 1, std::chrono::milliseconds(10),
        [&](const std::string&) {
            ++clients;
            return std::make_unique<CX9ZunaIfc>(std::make_unique<FakeMedium>(log));
        },
        [&](const std::string& line) { lines.push_back(line); });
    struct Row {
        const char* method;
        const char* path;
        const char* target;
        const char* module;
        unsigned status;
    };
    const Row rows[] = {
        {"GET", "/metrics", "1.2.3.4.5", nullptr, 400}, {"GET", "/metrics", "", nullptr, 400},
        {"GET", "/metrics", nullptr, "default", 400},   {"GET", "/metrics", "10.0.0.5", "lab", 400},
        {"GET", "/metric", "10.0.0.5", nullptr, 404},   {"POST", "/metrics", "10.0.0.5", nullptr, 405},
    };
    for (const Row& row : rows)
        EXPECT_EQ(exporter.Handle(row.method, row.path, row.target, row.module, nullptr).status, row.status) << row.path;
    EXPECT_EQ(clients, 0);
    const Response scrape = exporter.Handle("GET", "/metrics", "10.0.0.5", "", "application/openmetrics-text");
    EXPECT_EQ(clients, 1);
    EXPECT_EQ(scrape.status, 200u);
    EXPECT_EQ(scrape.contentType, ContentTypeOf(MetricFormat::kOpenMetrics));
    EXPECT_EQ(scrape.body.rfind("# HELP orva_up", 0), 0u) << scrape.body;
    EXPECT_NE(scrape.body.find("\norva_up 0\n"), std::string::npos);
    EXPECT_EQ(lines, std::vector<std::string>{"10.0.0.5: login failed, Error during connect "});
    const Response own = exporter.Handle("GET", "/metrics", nullptr, nullptr, nullptr);
    EXPECT_NE(own.body.find("kelexporter_scrapes_total{result=\"bad_request\"} 4\n"), std::string::npos) << own.body;
    EXPECT_NE(own.body.find("kelexporter_scrapes_total{result=\"down\"} 1\n"), std::string::npos);
}

// With every worker busy a further scrape waits its bounded time, then gets 503: here
// the one worker's scrape asks for another while it holds the place.
TEST(ExporterRequests, BusyWhenEveryWorkerIsTaken)
{
    ExporterConfig config;
    config.modules["default"] = {"admin", "admin", std::chrono::seconds(1)};
    FakeMediumLog log;
    log.connectResult = 1;
    unsigned nested = 0;
    Exporter* self = nullptr;
    Exporter exporter(std::move(config), 1, std::chrono::milliseconds(20), [&](const std::string& target) {
        if (target == "10.0.0.1") nested = self->Handle("GET", "/metrics", "10.0.0.2", nullptr, nullptr).status;
        return std::make_unique<CX9ZunaIfc>(std::make_unique<FakeMedium>(log));
    });
    self = &exporter;
    EXPECT_EQ(exporter.Handle("GET", "/metrics", "10.0.0.1", nullptr, nullptr).status, 200u);
    EXPECT_EQ(nested, 503u);
    // The place is given back: the next scrape gets it.
    EXPECT_EQ(exporter.Handle("GET", "/metrics", "10.0.0.2", nullptr, nullptr).status, 200u);
    EXPECT_NE(exporter.Handle("GET", "/metrics", nullptr, nullptr, nullptr).body.find("result=\"busy\"} 1\n"),
              std::string::npos);
}

}  // namespace
}  // namespace kelexporter
