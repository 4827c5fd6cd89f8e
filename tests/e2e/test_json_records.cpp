// --json results of the event-log, alert-recipient and user commands: the whole result
// on success, the status and message when the card refuses.
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
using namespace nlohmann::literals;

// `records` sample records logged one a minute up to the card's frozen 2020-09-13T12:26:40Z.
Words FrozenWithRecords(const char* records)
{
    return {"--clock", "1600000000", "--frozen-clock", "--sel-records", records};
}

// A record without data bytes; with its text as -listAllEx gives it when `text` is given.
json Record(int number, const char* time, int eventId, const char* severity, int code, const char* text = nullptr)
{
    json record = {{"number", number}, {"time", time}, {"event_id", eventId}, {"module", eventId >> 8},
                   {"event", eventId & 0xFF}, {"severity", severity}, {"severity_code", code},
                   {"data", std::string(64, '0')}};
    if (text != nullptr) record["event_string"] = text;
    return record;
}

struct JsonCase {
    std::string name;
    Words cardOptions;
    Words setup;  // run first with --json; must succeed
    Words words;
    int exitStatus;
    int status;
    json message;  // null on success
    json result;   // the whole result on success
    bool overDrive = false;  // over -cd, through the card's drive, instead of -nw
};
void PrintTo(const JsonCase& c, std::ostream* os)
{
    *os << c.name;
}

class JsonRecords : public CardTest, public ::testing::WithParamInterface<JsonCase> {};

TEST_P(JsonRecords, ResultOrRefusal)
{
    const JsonCase& c = GetParam();
    json object;
    if (c.overDrive) {
        Words program = {KELVAST_BIN, "--json", "-cd"};
        program.insert(program.end(), c.words.begin(), c.words.end());
        ASSERT_TRUE(ParsedJsonRun(RunWithDrive(c.cardOptions, program), &object));
        EXPECT_EQ(object["card"], "cd");
    } else {
        ASSERT_TRUE(StartCard(c.cardOptions));
        if (!c.setup.empty()) {
            ASSERT_TRUE(ParsedJsonRun(KelvastJson(c.setup), &object));
            ASSERT_EQ(object["exit_status"], 0) << object.dump();
        }
        ASSERT_TRUE(ParsedJsonRun(KelvastJson(c.words), &object));
    }
    EXPECT_EQ(object["exit_status"], c.exitStatus);
    EXPECT_EQ(object["status"], c.status);
    EXPECT_EQ(object["message"], c.message);
    EXPECT_EQ(object["result"], c.exitStatus == 0 ? c.result : json(nullptr)) << object.dump();
}

// The recipient's name holds a control character (escaped, not '?' as in the text) and
// a byte that is not UTF-8 (U+FFFD).
INSTANTIATE_TEST_SUITE_P(
    Rows, JsonRecords,
    ::testing::Values(
        JsonCase{"SelListAllSeverities", FrozenWithRecords("6"), {}, {"-sel", "-listAll"}, 0, 0, nullptr,
                 {{"count", 6},
                  {"records", json::array({Record(1, "2020-09-13T12:20:40Z", 0x0101, "information", 2),
                                           Record(2, "2020-09-13T12:21:40Z", 0x0201, "information", 2),
                                           Record(3, "2020-09-13T12:22:40Z", 0x0305, "warning", 8),
                                           Record(4, "2020-09-13T12:23:40Z", 0x0306, "return_to_ok", 4),
                                           Record(5, "2020-09-13T12:24:40Z", 0x0402, "critical", 16),
                                           Record(6, "2020-09-13T12:25:40Z", 0x0203, "fatal", 32)})}}},
        JsonCase{"SelInfo", FrozenWithRecords("2"), {}, {"-sel", "-selInfo"}, 0, 0, nullptr,
                 R"({"version":"1.5","records":2,"free_space_bytes":2976,"last_addition":"2020-09-13T12:25:40Z",
                     "last_deletion":"1970-01-01T00:00:00Z","operations":["delete","allocation_info"]})"_json},
        JsonCase{"SelClear", FrozenWithRecords("4"), {}, {"-sel", "-clear"}, 0, 0, nullptr, R"({"deleted":4})"_json},
        JsonCase{"SelPolicy", {}, {"-sel", "-setPolicy", "stop"}, {"-sel", "-getPolicy"}, 0, 0, nullptr,
                 R"({"policy":"stop","policy_code":2})"_json},
        JsonCase{"SelRefused", {"--fail", "0x0400:5"}, {}, {"-sel", "-listAll"}, 5, 5, "Permission denied", {}},
        JsonCase{"PefRecipientTexts", {},
                 {"-pef", "-ARInfoSet", "2", "op\x01s\xff", "o@example.com", "10.0.0.9", "none", "SNMP", "Lan", "ab",
                  "Critical"},
                 {"-pef", "-ARInfoGet", "2"}, 0, 0, nullptr,
                 R"({"recipient":2,"name":"op\u0001s\ufffd","email":"o@example.com","snmp_destination":"10.0.0.9",
                     "ppp_login":"none","ppp_password":"","notification_method":"SNMP via LAN",
                     "alert_level":"Critical Only"})"_json},
        JsonCase{"PefRefused", {"--fail", "0x040F:7"}, {}, {"-pef", "-ARInfoGet", "3"}, 7, 7, "Operation interrupted",
                 {}},
        JsonCase{"UserListAll", {"--user", "admin:admin", "--user", "bob:builder99"}, {}, {"-user", "-listAll"}, 0, 0,
                 nullptr,
                 R"({"users":[{"name":"admin","password":"admin"},{"name":"bob","password":"builder99"}]})"_json},
        JsonCase{"SnmpUsers", {}, {"-user", "-add", "snmpa", "s3cret", "SHA", "DES"}, {"-user", "-getSnmp"}, 0, 0,
                 nullptr,
                 R"({"users":[{"name":"snmpa","password":"s3cret","auth_protocol":"SHA",
                                "priv_protocol":"DES"}]})"_json},
        JsonCase{"UserRefusedUnclamped", {"--fail", "0x0502:65535"}, {}, {"-user", "-listAll"}, 255, 65535,
                 "Unknown ZUNA error", {}},
        JsonCase{"CdSelListAllEx", FrozenWithRecords("1"), {}, {"-sel", "-listAllEx"}, 0, 0, nullptr,
                 {{"count", 1},
                  {"records",
                   json::array({Record(1, "2020-09-13T12:25:40Z", 0x0101, "information", 2, "Card started")})}},
                 true},
        JsonCase{"CdUserRefused", {"--fail", "0x0503:3"}, {}, {"-user", "-listAllUser"}, 3, 3, "System is busy", {},
                 true}),
    CaseName());

}  // namespace
}  // namespace e2e
