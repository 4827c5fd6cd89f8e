// kelvast --json for the general, network, heartbeat, server-information and host-power
// commands: each command's JSON object on success (its result member for member, with
// kelcard's values) and when the card refuses it (status, message, result null), over
// the network and over the virtual drive.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <vector>

#include "harness.h"

namespace e2e {
namespace {

using Words = std::vector<std::string>;
using Json = nlohmann::json;

struct JsonCase {
    std::string name;
    Words cardOptions;
    Words setup;       // a plain run first, over the network (it must succeed)
    Words words;       // the command of the --json run
    bool overDrive;    // -cd instead of -nw
    int status;        // exit_status and status
    Json message;      // null on success
    Json result;       // null on failure
};

std::ostream& operator<<(std::ostream& os, const JsonCase& c)
{
    return os << c.name;
}

const Words kFrozenAt2020 = {"--clock", "1600000000", "--frozen-clock"};
const Json kDefaultNetwork = {{"method", "static"},      {"interface", "eth0"},          {"mac", "00:2a:3b:4c:5d:1d"},
                              {"ip", "10.0.0.5"},        {"broadcast", "10.0.0.255"},   {"netmask", "255.255.255.0"},
                              {"gateway", "10.0.0.1"}};

Json With(Json object, const char* member, const char* value)
{
    object[member] = value;
    return object;
}

const JsonCase kCases[] = {
    // -gen
    // The card's bytes, control characters and all (the text shows them as '?').
    {"FwInfoControlCharacters", {"--fw-version", "\x1b]0;x\x07", "--fw-date", "a\tb"}, {}, {"-gen", "-fwInfo"}, false,
     0, nullptr, {{"firmware_version", "\x1b]0;x\x07\n"}, {"build_date", "a\tb\n"}}},
    {"GetNameRefused", {"--fail", "0x0907:5"}, {}, {"-gen", "-GetName"}, false, 5, "Permission denied", nullptr},
    {"GetTime", kFrozenAt2020, {}, {"-gen", "-GetTime"}, false, 0, nullptr, {{"time", "2020-09-13T12:26:40Z"}}},
    {"GetSmtpCfg", {}, {"-gen", "-SetSmtpCfg", "10.0.0.9", "a@b.c", "10.0.0.10", "d@e.f"}, {"-gen", "-GetSmtpCfg"},
     false, 0, nullptr,
     {{"smtp_server_1", "10.0.0.9"}, {"mail_id_1", "a@b.c"}, {"smtp_server_2", "10.0.0.10"}, {"mail_id_2", "d@e.f"}}},
    {"ResetNotConfirmed", {}, {}, {"-gen", "-Reset", "-SaveConfig"}, false, 0, nullptr, {{"cancelled", true}}},
    // -net
    {"GetConfigOverDrive", {}, {}, {"-net", "-GetConfig"}, true, 0, nullptr, kDefaultNetwork},
    {"GetConfigDhcp", {}, {"-net", "-SetDHCP"}, {"-net", "-GetConfig"}, false, 0, nullptr,
     With(With(kDefaultNetwork, "method", "dhcp"), "ip", "10.0.0.57")},
    // The interface down: the method and the MAC, the rest empty.
    {"GetConfigLinkDown", {"--link-down"}, {}, {"-net", "-GetConfig"}, false, 0, nullptr,
     {{"method", "static"}, {"interface", ""}, {"mac", "00:2a:3b:4c:5d:1d"}, {"ip", ""}, {"broadcast", ""},
      {"netmask", ""}, {"gateway", ""}}},
    {"GetConfigRefused", {"--fail", "0x0700:20"}, {}, {"-net", "-GetConfig"}, false, 20, "No such device", nullptr},
    {"GetMac", {"--mac", "AB:CD:EF:01:02:03"}, {}, {"-net", "-GetMAC"}, false, 0, nullptr,
     {{"mac", "ab:cd:ef:01:02:03"}}},
    // -HB: the card's unsigned value (the text shows it as -1294967296).
    {"GetHB", {}, {"-HB", "-SetHB", "3000000000"}, {"-HB", "-GetHB"}, false, 0, nullptr,
     {{"interval_seconds", 3000000000u}}},
    {"GetHBRefused", {"--fail", "0x0A00:24"}, {}, {"-HB", "-GetHB"}, false, 24, "Operation Timeout", nullptr},
    // -GetServerInfo, -setServerInfo
    {"GetServerInfo", {},
     {"-setServerInfo", "-ServerName", "web1", "-ServerLocn", "hall4", "-ServerOS", "linux", "-ServerDesc", "db"},
     {"-GetServerInfo"}, false, 0, nullptr,
     {{"server_name", "web1"}, {"server_location", "hall4"}, {"server_os", "linux"}, {"server_description", "db"}}},
    {"GetServerInfoRefused", {"--fail", "0x0905:19"}, {}, {"-GetServerInfo"}, false, 19, "Read only", nullptr},
    // -HostCtrl
    {"HostCtrl", {}, {}, {"-HostCtrl", "PowerUp"}, false, 0, nullptr, Json::object()},
    {"HostCtrlRefused", {"--fail", "0x0300:5"}, {}, {"-HostCtrl", "PowerCycle"}, false, 5, "Permission denied",
     nullptr},
};

class JsonGeneral : public CardTest, public ::testing::WithParamInterface<JsonCase> {};

TEST_P(JsonGeneral, ObjectOfTheCommand)
{
    const JsonCase& c = GetParam();
    RunResult run;
    if (c.overDrive) {
        Words program = {KELVAST_BIN, "--json", "-cd"};
        program.insert(program.end(), c.words.begin(), c.words.end());
        run = RunWithDrive(c.cardOptions, program);
    } else {
        ASSERT_TRUE(StartCard(c.cardOptions));
        if (!c.setup.empty()) {
            ASSERT_EQ(Kelvast(c.setup).status, 0);
        }
        run = KelvastJson(c.words);
    }
    Json object;
    ASSERT_TRUE(ParsedJsonRun(run, &object));
    EXPECT_EQ(object["card"], c.overDrive ? "cd" : TestAddress());
    EXPECT_EQ(object["command"], Json(c.words));
    EXPECT_EQ(object["exit_status"], c.status);
    EXPECT_EQ(object["status"], c.status);
    EXPECT_EQ(object["message"], c.message);
    EXPECT_EQ(object["result"], c.result) << object["result"].dump();
}

INSTANTIATE_TEST_SUITE_P(Rows, JsonGeneral, ::testing::ValuesIn(kCases), CaseName());

}  // namespace
}  // namespace e2e
