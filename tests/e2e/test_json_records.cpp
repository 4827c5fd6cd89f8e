// --json results of the event-log, alert-recipient and user commands: the result the
// card's answer gives on success, and the status and message when the card refuses.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <vector>

#include "harness.h"

namespace e2e {
namespace {

using Words = std::vector<std::string>;
using nlohmann::json;

// The card's clock stands at 2020-09-13T12:26:40Z, with `records` sample records
// logged one a minute up to it.
Words FrozenWithRecords(const char* records)
{
    return {"--clock", "1600000000", "--frozen-clock", "--sel-records", records};
}
const std::string kZeroData(64, '0');

json Record(int number, const char* time, int eventId, const char* severity, int code)
{
    return {{"number", number},          {"time", time},           {"event_id", eventId},
            {"module", eventId >> 8},    {"event", eventId & 0xFF}, {"severity", severity},
            {"severity_code", code},     {"data", kZeroData}};
}

struct JsonCase {
    std::string name;
    Words cardOptions;
    Words setup;  // a command run first with --json, which must succeed
    Words words;
    int exitStatus;
    int status;
    json message;  // null on success
    json result;   // the whole result on success
};

void PrintTo(const JsonCase& c, std::ostream* os)
{
    *os << c.name;
}

class JsonRecords : public CardTest, public ::testing::WithParamInterface<JsonCase> {};

TEST_P(JsonRecords, ResultOrRefusal)
{
    const JsonCase& c = GetParam();
    ASSERT_TRUE(StartCard(c.cardOptions));
    json object;
    if (!c.setup.empty()) {
        ASSERT_TRUE(ParsedJsonRun(KelvastJson(c.setup), &object));
        ASSERT_EQ(object["exit_status"], 0) << object.dump();
    }
    ASSERT_TRUE(ParsedJsonRun(KelvastJson(c.words), &object));
    EXPECT_EQ(object["exit_status"], c.exitStatus);
    EXPECT_EQ(object["status"], c.status);
    EXPECT_EQ(object["message"], c.message);
    if (c.exitStatus == 0) {
        EXPECT_EQ(object["result"], c.result) << object["result"].dump();
    }
}

// A recipient name with a control character and a byte that is not UTF-8: the JSON
// carries the control character escaped and the byte as U+FFFD (no '?' as in the text).
const Words kSetRecipient = {"-pef", "-ARInfoSet", "2", "op\x01s\xff", "ops@example.com", "10.0.0.9", "none",
                             "SNMP", "Lan", "none", "Critical"};

INSTANTIATE_TEST_SUITE_P(
    Rows, JsonRecords,
    ::testing::Values(
        JsonCase{"SelListAllSeverities", FrozenWithRecords("6"), {},
                 {"-sel", "-listAll"}, 0, 0, nullptr,
                 {{"count", 6},
                  {"records",
                   json::array({Record(1, "2020-09-13T12:20:40Z", 0x0101, "information", 2),
                    Record(2, "2020-09-13T12:21:40Z", 0x0201, "information", 2),
                    Record(3, "2020-09-13T12:22:40Z", 0x0305, "warning", 8),
                    Record(4, "2020-09-13T12:23:40Z", 0x0306, "return_to_ok", 4),
                    Record(5, "2020-09-13T12:24:40Z", 0x0402, "critical", 16),
                    Record(6, "2020-09-13T12:25:40Z", 0x0203, "fatal", 32)})}}},
        JsonCase{"SelInfo", FrozenWithRecords("2"), {},
                 {"-sel", "-selInfo"}, 0, 0, nullptr,
                 {{"version", "1.5"},
                  {"records", 2},
                  {"free_space_bytes", 62 * 48},
                  {"last_addition", "2020-09-13T12:25:40Z"},
                  {"last_deletion", "1970-01-01T00:00:00Z"},
                  {"operations", json::array({"delete", "allocation_info"})}}},
        JsonCase{"SelClear", {"--sel-records", "4"}, {}, {"-sel", "-clear"}, 0, 0, nullptr, {{"deleted", 4}}},
        JsonCase{"SelPolicyAfterSet", {}, {"-sel", "-setPolicy", "stop"}, {"-sel", "-getPolicy"}, 0, 0, nullptr,
                 {{"policy", "stop"}, {"policy_code", 2}}},
        JsonCase{"SelRefused", {"--fail", "0x0400:5"}, {}, {"-sel", "-listAll"}, 5, 5, "Permission denied", {}},
        JsonCase{"PefRecipientTexts", {}, kSetRecipient, {"-pef", "-ARInfoGet", "2"}, 0, 0, nullptr,
                 {{"recipient", 2},
                  {"name", "op\x01s\xef\xbf\xbd"},
                  {"email", "ops@example.com"},
                  {"snmp_destination", "10.0.0.9"},
                  {"ppp_login", "none"},
                  {"ppp_password", "none"},
                  {"notification_method", "SNMP via LAN"},
                  {"alert_level", "Critical Only"}}},
        JsonCase{"PefRefused", {"--fail", "0x040F:7"}, {}, {"-pef", "-ARInfoGet", "3"}, 7, 7,
                 "Operation interrupted", {}},
        JsonCase{"UserListAll", {"--user", "admin:admin", "--user", "bob:builder99"}, {}, {"-user", "-listAll"}, 0,
                 0, nullptr,
                 {{"users", json::array({{{"name", "admin"}, {"password", "admin"}}, {{"name", "bob"}, {"password", "builder99"}}})}}},
        JsonCase{"UserNames", {}, {}, {"-user", "-listAllUser"}, 0, 0, nullptr, {{"users", json::array({{{"name", "admin"}}})}}},
        JsonCase{"SnmpUsers", {}, {"-user", "-add", "snmpa", "s3cret", "SHA", "DES"}, {"-user", "-getSnmp"}, 0, 0,
                 nullptr,
                 {{"users", json::array({{{"name", "snmpa"},
                                          {"password", "s3cret"},
                                          {"auth_protocol", "SHA"},
                                          {"priv_protocol", "DES"}}})}}},
        JsonCase{"UserRefusedUnclamped", {"--fail", "0x0502:65535"}, {}, {"-user", "-listAll"}, 255, 65535,
                 "Unknown ZUNA error", {}}),
    CaseName());

// Over the host interface: the card is "cd" and the extended listing carries the texts.
TEST(JsonRecordsCd, ExtendedListing)
{
    const RunResult run = RunWithDrive(FrozenWithRecords("1"),
                                       {KELVAST_BIN, "--json", "-cd", "-sel", "-listAllEx"});
    json object;
    ASSERT_TRUE(ParsedJsonRun(run, &object));
    EXPECT_EQ(object["card"], "cd");
    json record = Record(1, "2020-09-13T12:25:40Z", 0x0101, "information", 2);
    record["event_string"] = "Card started";
    EXPECT_EQ(object["result"], json({{"count", 1}, {"records", json::array({record})}})) << object.dump();
}

}  // namespace
}  // namespace e2e
