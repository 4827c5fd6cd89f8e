// kelexporter against kelcard cards on loopback: the exporter listens on the test's
// address (port 9577), its cards answer on 6577. Every scrape's answer must pass
// `promtool check metrics`.
//
// Addresses besides TestAddress(): hosts 101-110 of the test's spare block, hosts 1-50
// for the test under load.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "background.h"
#include "harness.h"

namespace e2e {
namespace {

constexpr int kExporterPort = 9577;

// True when promtool accepts the text as metrics.
::testing::AssertionResult PromtoolAccepts(const std::string& text)
{
    const TempFile file("metrics-" + std::to_string(::getpid()) + ".txt");
    if (!file.Write(text)) return ::testing::AssertionFailure() << "cannot write " << file.Path();
    const std::string command = "timeout 30 promtool check metrics < '" + file.Path() + "' > /dev/null 2>&1";
    const int status = std::system(command.c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "promtool refuses:\n" << text;
}

// The configuration and password files of a test, private to it.
struct ExporterFiles {
    TempFile config{"kelexporter-" + std::to_string(::getpid()) + ".ini"};
    std::string passwordPath = config.Path() + ".password";

    // A [default] module (admin, password `password`) and a [slow] one with a 3-second
    // timeout; `mode` of the configuration file.
    bool Write(const std::string& password = "admin", mode_t mode = 0600, mode_t passwordMode = 0600) const
    {
        const TempFile& file = config;
        FILE* pw = std::fopen(passwordPath.c_str(), "w");
        if (pw == nullptr) return false;
        std::fprintf(pw, "%s\n", password.c_str());
        std::fclose(pw);
        return file.Write("; kelexporter test\n[default]\nuser = admin\npassword_file = " + passwordPath +
                          "\n\n[slow]\nuser = admin\npassword_file = " + passwordPath + "\ntimeout = 3\n") &&
               ::chmod(passwordPath.c_str(), passwordMode) == 0 && ::chmod(file.Path().c_str(), mode) == 0;
    }
    ~ExporterFiles() { std::remove(passwordPath.c_str()); }
};

class Exporter : public ::testing::Test {
protected:
    void TearDown() override
    {
        Millis took{};
        int status = 0;
        if (exporter.Running()) exporter.Terminate(Millis(5000), status, took);
        card.Stop();
    }

    ::testing::AssertionResult StartExporter(const std::string& password = "admin")
    {
        if (!files.Write(password)) return ::testing::AssertionFailure() << "cannot write the configuration";
        auto started = exporter.Start({KELEXPORTER_BIN, "--config", files.config.Path(), "--listen",
                                       TestAddress() + ":" + std::to_string(kExporterPort)});
        if (!started) return started;
        if (WaitUntil(Millis(10000), [&] { return HttpGet(TestAddress(), kExporterPort, "/", {}, 2).status == 200; }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "kelexporter does not answer: " << exporter.Err();
    }

    // A scrape of `target` that promtool accepts.
    HttpAnswer Scrape(const std::string& target, const std::string& module = {})
    {
        HttpAnswer answer = HttpGet(TestAddress(), kExporterPort,
                                    "/metrics?target=" + target + (module.empty() ? "" : "&module=" + module));
        EXPECT_EQ(answer.status, 200) << answer.body;
        EXPECT_EQ(answer.contentType, "text/plain; version=0.0.4; charset=utf-8");
        EXPECT_TRUE(PromtoolAccepts(answer.body));
        return answer;
    }

    ExporterFiles files;
    Background exporter;
    Card card;
};

::testing::AssertionResult HasLines(const std::string& text, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        if (("\n" + text).find("\n" + line + "\n") == std::string::npos)
            return ::testing::AssertionFailure() << "no line '" << line << "' in:\n" << text;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult LacksFamily(const std::string& text, const std::string& family)
{
    if (text.find("\n" + family) == std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << family << " present in:\n" << text;
}

TEST_F(Exporter, EveryFamilyWithTheCardsValues)
{
    ASSERT_TRUE(card.Start(TestAddress(), {"--health", "1:3150", "--health", "6:2875", "--sel-records", "4",
                                           "--fw-version", "2.9.\"x\"\\1", "--mac", "00:11:22:33:44:55"}));
    ASSERT_TRUE(StartExporter());
    const HttpAnswer answer = Scrape(TestAddress());
    EXPECT_TRUE(HasLines(answer.body, {
        "# HELP orva_up 1 when the exporter logged in to the card, else 0.",
        "# TYPE orva_up gauge",
        "orva_up 1",
        "orva_collector_up{collector=\"health\"} 1",
        "orva_collector_up{collector=\"sensors\"} 1",
        "orva_collector_up{collector=\"sel\"} 1",
        "orva_collector_up{collector=\"firmware\"} 1",
        "orva_collector_up{collector=\"network\"} 1",
        "orva_health_reading{reading=\"Card 3.3V Supply\"} 3.15",
        "orva_health_reading{reading=\"Card 12V Supply\"} 12",
        "orva_health_reading{reading=\"Card Battery\"} 2.875",
        "orva_sensor_value{category=\"Temperatures\",sensor=\"System board\",unit=\"celsius\"} 31.5",
        "orva_sensor_value{category=\"Voltages\",sensor=\"+3.3V\",unit=\"volts\"} 3.312",
        "orva_sensor_value{category=\"Fans\",sensor=\"CPU fan\",unit=\"rpm\"} 4320",
        "orva_sensor_ok{category=\"Temperatures\",sensor=\"CPU 2\"} 0",
        "orva_sensor_ok{category=\"Temperatures\",sensor=\"CPU 1\"} 1",
        "orva_sel_entries 4",
        "orva_sel_policy_info{policy=\"rollover\"} 1",
        "orva_firmware_info{version=\"2.9.\\\"x\\\"\\\\1\",build_date=\"Mar 14 2005 10:22:51\"} 1",
        "orva_network_info{mac=\"00:11:22:33:44:55\",method=\"Static\"} 1",
        "# TYPE orva_scrape_duration_seconds gauge",
    }));
    // A failed reading has no value.
    EXPECT_EQ(answer.body.find("sensor=\"CPU 2\",unit"), std::string::npos);

    const HttpAnswer open = HttpGet(TestAddress(), kExporterPort, "/metrics?target=" + TestAddress(),
                                    "application/openmetrics-text;version=1.0.0,text/plain;version=0.0.4;q=0.5");
    EXPECT_EQ(open.status, 200);
    EXPECT_EQ(open.contentType, "application/openmetrics-text; version=1.0.0; charset=utf-8");
    EXPECT_TRUE(HasLines(open.body, {"orva_up 1", "orva_sel_entries 4"}));
    EXPECT_TRUE(open.body.ends_with("\n# EOF\n")) << open.body;

    // The exporter's own figures count the two scrapes.
    const HttpAnswer own = HttpGet(TestAddress(), kExporterPort, "/metrics");
    EXPECT_EQ(own.status, 200);
    EXPECT_TRUE(PromtoolAccepts(own.body));
    EXPECT_TRUE(HasLines(own.body, {"kelexporter_scrapes_total{result=\"up\"} 2",
                                    "kelexporter_scrapes_total{result=\"down\"} 0",
                                    "kelexporter_scrapes_in_progress 0"}));
    for (const char* family : {"process_resident_memory_bytes ", "process_cpu_seconds_total ", "process_open_fds ",
                               "process_start_time_seconds "})
        EXPECT_NE(own.body.find(std::string("\n") + family), std::string::npos) << family;
}

// One collector failing leaves the others; a card not logged in to shows orva_up 0
// and no family of the card.
struct CardCase {
    const char* name;
    std::vector<std::string> cardOptions;  // no card at all when it holds "none"
    std::string up;                        // "1" or "0"
    std::vector<std::string> collectorsDown;
    std::vector<std::string> absentFamilies;
};

void PrintTo(const CardCase& c, std::ostream* os) { *os << c.name; }

class ExporterCard : public Exporter, public ::testing::WithParamInterface<CardCase> {};

TEST_P(ExporterCard, Scrape)
{
    const CardCase& c = GetParam();
    if (c.cardOptions != std::vector<std::string>{"none"}) {
        ASSERT_TRUE(card.Start(TestAddress(), c.cardOptions));
    }
    ASSERT_TRUE(StartExporter());
    const HttpAnswer answer = Scrape(TestAddress());
    EXPECT_TRUE(HasLines(answer.body, {"orva_up " + c.up}));
    for (const std::string& family : c.absentFamilies) EXPECT_TRUE(LacksFamily(answer.body, family));
    if (c.up == "0") return;
    for (const char* collector : {"health", "sensors", "sel", "firmware", "network"}) {
        const bool down = std::find(c.collectorsDown.begin(), c.collectorsDown.end(), collector) != c.collectorsDown.end();
        EXPECT_TRUE(HasLines(answer.body, {std::string("orva_collector_up{collector=\"") + collector + "\"} " +
                                           (down ? "0" : "1")}));
    }
}

const std::vector<std::string> kCardFamilies = {"orva_collector_up", "orva_health_reading", "orva_sensor_value",
                                                "orva_sel_entries", "orva_firmware_info", "orva_network_info"};

INSTANTIATE_TEST_SUITE_P(
    Cards, ExporterCard,
    ::testing::Values(
        CardCase{"NoSdk", {"--no-sdk"}, "1", {"sensors"}, {"orva_sensor_value", "orva_sensor_ok"}},
        CardCase{"SelInfoRefused", {"--fail", "0x0400:5"}, "1", {"sel"}, {"orva_sel_entries", "orva_sel_policy_info"}},
        CardCase{"WrongPassword", {"--user", "admin:secret"}, "0", {}, kCardFamilies},
        CardCase{"DeadAddress", {"none"}, "0", {}, kCardFamilies}),
    CaseName());

// Requests refused before any card is asked, and other paths.
TEST_F(Exporter, RefusedRequests)
{
    ASSERT_TRUE(StartExporter());
    struct Row {
        std::string target;
        int status;
        std::string body;
    };
    const Row rows[] = {
        {"/metrics?target=1.2.3", 400, "target must be a dotted IPv4 address (target=A.B.C.D)\n"},
        {"/metrics?target=010.0.0.1", 400, "target must be a dotted IPv4 address (target=A.B.C.D)\n"},
        {"/metrics?target=card.example", 400, "target must be a dotted IPv4 address (target=A.B.C.D)\n"},
        {"/metrics?module=default", 400, "target must be a dotted IPv4 address (target=A.B.C.D)\n"},
        {"/metrics?target=" + TestAddress() + "&module=nosuch", 400, "unknown module\n"},
        {"/other", 404, "not found: try /metrics\n"},
    };
    for (const Row& row : rows) {
        const HttpAnswer answer = HttpGet(TestAddress(), kExporterPort, row.target);
        EXPECT_EQ(answer.status, row.status) << row.target;
        EXPECT_EQ(answer.body, row.body) << row.target;
    }
    const HttpAnswer index = HttpGet(TestAddress(), kExporterPort, "/");
    EXPECT_EQ(index.status, 200);
    EXPECT_NE(index.body.find("/metrics?target=A.B.C.D"), std::string::npos) << index.body;
    EXPECT_TRUE(HasLines(HttpGet(TestAddress(), kExporterPort, "/metrics").body,
                         {"kelexporter_scrapes_total{result=\"bad_request\"} 5",
                          "kelexporter_scrapes_total{result=\"up\"} 0", "kelexporter_scrapes_total{result=\"down\"} 0"}));
}

// Files that others (or, for a password file, group) can use are refused at start.
TEST_F(Exporter, PrivateFilesOnly)
{
    struct Row {
        mode_t config;
        mode_t password;
        std::string reason;
    };
    const Row rows[] = {
        {0644, 0600, "others can use it (chmod o-rwx it)"},
        {0602, 0600, "others can use it (chmod o-rwx it)"},
        {0600, 0640, "group or others can use it (chmod 600 it)"},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(files.Write("admin", row.config, row.password));
        Background refused;
        ASSERT_TRUE(refused.Start({KELEXPORTER_BIN, "--config", files.config.Path(), "--listen",
                                   TestAddress() + ":" + std::to_string(kExporterPort)}));
        int status = 0;
        ASSERT_TRUE(refused.WaitForExit(Millis(10000), status));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
        const std::string file = row.config != 0600 ? "configuration '" + files.config.Path() + "'"
                                                    : "password file '" + files.passwordPath + "' of module [default]";
        EXPECT_EQ(refused.Err(), "kelexporter: " + file + ": " + row.reason + "\n");
    }
}

// A card that never answers holds up neither a scrape of another card nor the end of
// the exporter; its own scrape ends with its module's timeout.
TEST_F(Exporter, HangingCardHoldsUpNothing)
{
    ASSERT_TRUE(card.Start(TestAddress(), {"--late", "0x0001:60"}));
    Card healthy;
    ASSERT_TRUE(healthy.Start(SpareAddress(101)));
    ASSERT_TRUE(StartExporter());
    const auto inProgress = [&](int n) {
        return HttpGet(TestAddress(), kExporterPort, "/metrics").body.find(
                   "\nkelexporter_scrapes_in_progress " + std::to_string(n) + "\n") != std::string::npos;
    };

    std::atomic<bool> hangingDone{false};
    HttpAnswer hanging;
    std::thread slow([&] {
        hanging = HttpGet(TestAddress(), kExporterPort, "/metrics?target=" + TestAddress() + "&module=slow");
        hangingDone = true;
    });
    ASSERT_TRUE(WaitUntil(Millis(10000), [&] { return inProgress(1); }));
    EXPECT_TRUE(HasLines(Scrape(SpareAddress(101)).body, {"orva_up 1"}));
    EXPECT_FALSE(hangingDone.load()) << "the healthy card's scrape waited for the hanging one";
    slow.join();
    EXPECT_EQ(hanging.status, 200);
    EXPECT_TRUE(HasLines(hanging.body, {"orva_up 0"}));
    EXPECT_TRUE(PromtoolAccepts(hanging.body));

    // SIGTERM during a scrape of the hanging card: the exporter ends within a second.
    std::thread again([&] { HttpGet(TestAddress(), kExporterPort, "/metrics?target=" + TestAddress()); });
    ASSERT_TRUE(WaitUntil(Millis(10000), [&] { return inProgress(1); }));
    int status = 0;
    Millis took{};
    EXPECT_TRUE(exporter.Terminate(Millis(1000), status, took)) << took.count() << " ms";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    again.join();
    healthy.Stop();
}

// 200 scrapes at once over 50 cards: each is answered, 200 with the card up or 503
// busy; the exporter answers afterwards and its threads are back to their idle count.
TEST_F(Exporter, TwoHundredScrapesAtOnceOverFiftyCards)
{
    constexpr int kCards = 50, kScrapes = 200;
    ASSERT_TRUE(card.Start(SpareAddress(1) + "-" + SpareAddress(kCards)));
    ASSERT_TRUE(StartExporter());
    EXPECT_TRUE(HasLines(Scrape(SpareAddress(1)).body, {"orva_up 1"}));
    const int idleThreads = exporter.Threads();

    std::vector<HttpAnswer> answers(kScrapes);
    std::vector<std::thread> scrapes;
    for (int i = 0; i < kScrapes; ++i)
        scrapes.emplace_back([&, i] {
            answers[i] = HttpGet(TestAddress(), kExporterPort, "/metrics?target=" + SpareAddress(1 + i % kCards), {}, 15);
        });
    for (std::thread& scrape : scrapes) scrape.join();
    int up = 0, busy = 0;
    for (int i = 0; i < kScrapes; ++i) {
        if (answers[i].status == 200 && HasLines(answers[i].body, {"orva_up 1"}))
            ++up;
        else if (answers[i].status == 503)
            ++busy;
        else
            ADD_FAILURE() << "scrape " << i << ": status " << answers[i].status << "\n" << answers[i].body;
    }
    EXPECT_EQ(kScrapes, up + busy) << busy << " busy";
    RecordProperty("busy", busy);
    EXPECT_TRUE(WaitUntil(Millis(5000), [&] {
        return HasLines(HttpGet(TestAddress(), kExporterPort, "/metrics?target=" + SpareAddress(kCards), {}, 5).body,
                        {"orva_up 1"});
    })) << "answers afterwards";
    EXPECT_TRUE(WaitUntil(Millis(5000), [&] { return exporter.Threads() <= idleThreads; }))
        << exporter.Threads() << " threads, " << idleThreads << " at rest";
}

TEST(ExporterExamples, PromtoolAcceptsTheRules)
{
    const std::string command =
        "timeout 30 promtool check rules '" + std::string(KELVAST_SOURCE_DIR) + "/examples/prometheus/rules.yml' > /dev/null 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// A real Prometheus server scrapes ten cards through the exporter with the scrape
// configuration of examples/prometheus/prometheus.yml.
TEST_F(Exporter, PrometheusSeesTenCardsThenNine)
{
    ASSERT_TRUE(card.Start(SpareAddress(101) + "-" + SpareAddress(109)));
    Card separate;
    ASSERT_TRUE(separate.Start(SpareAddress(110)));
    ASSERT_TRUE(StartExporter());

    // The example's configuration, for these cards and this exporter, every second.
    std::string text = FileText(std::string(KELVAST_SOURCE_DIR) + "/examples/prometheus/prometheus.yml");
    std::string targets;
    for (int host = 1; host <= 10; ++host) targets += (host > 1 ? ", '" : "'") + SpareAddress(100 + host) + "'";
    const std::string exporterAddress = TestAddress() + ":" + std::to_string(kExporterPort);
    const std::pair<std::string, std::string> changes[] = {
        {"scrape_interval: 15s", "scrape_interval: 1s"},
        {"scrape_timeout: 10s", "scrape_timeout: 1s"},
        {"- rules.yml", std::string("- ") + KELVAST_SOURCE_DIR + "/examples/prometheus/rules.yml"},
        {"'192.0.2.10', '192.0.2.11', '192.0.2.12'", targets},
        {"replacement: 127.0.0.1:9577", "replacement: " + exporterAddress},
        {"targets: ['127.0.0.1:9577']", "targets: ['" + exporterAddress + "']"},
    };
    for (const auto& [from, to] : changes) {
        const auto at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
    }
    const TempFile config("prometheus-" + std::to_string(::getpid()) + ".yml");
    ASSERT_TRUE(config.Write(text));
    const std::string storage = config.Path() + ".tsdb";
    Background prometheus;
    ASSERT_TRUE(prometheus.Start({"/usr/bin/prometheus", "--config.file=" + config.Path(),
                                  "--storage.tsdb.path=" + storage, "--web.listen-address=" + TestAddress() + ":9090"}));
    const auto sumUp = [&] {
        const HttpAnswer answer = HttpGet(TestAddress(), 9090, "/api/v1/query?query=sum(orva_up)", {}, 5);
        const nlohmann::json reply = nlohmann::json::parse(answer.body, nullptr, false);
        if (answer.status != 200 || reply.is_discarded() || reply["data"]["result"].empty()) return std::string();
        return reply["data"]["result"][0]["value"][1].get<std::string>();
    };
    EXPECT_TRUE(WaitUntil(Millis(60000), [&] { return sumUp() == "10"; })) << sumUp() << prometheus.Err();
    separate.Stop();
    EXPECT_TRUE(WaitUntil(Millis(30000), [&] { return sumUp() == "9"; })) << sumUp();
    int status = 0;
    Millis took{};
    prometheus.Terminate(Millis(10000), status, took);
    std::system(("rm -rf '" + storage + "'").c_str());
}

}  // namespace
}  // namespace e2e
