// --json results of the flash, file, SDK, advanced-settings and card-health commands:
// for each group a run that succeeds (its result, exactly where kelcard's defaults fix
// it) and a run that the card refuses (status and message, result null).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

#include "harness.h"
#include "imgbuild.h"

namespace e2e {
namespace {

using nlohmann::json;
using Words = std::vector<std::string>;

struct Row {
    std::string name;
    Words words;  // after -nw ADDRESS admin; "FILE" stands for a temporary image file
    std::string refused;  // --fail CODE:5 for the run that the card refuses ("": none)
    json result = json::object();  // the result at `part`
    std::string part = "";  // a JSON pointer into the result
    Words options = {};
    int refusedStatus = 5;  // 5, or 30 where the client turns a refusal into its own failure
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

const json kPorts = json::parse(R"({"ports":[{"port":"ttyS2","baud":57600,"init_string":"ATZ","phone_number":""},
    {"port":"ttyS3","baud":9600,"init_string":"ATZ","phone_number":""}]})");

class JsonDevice : public CardTest, public ::testing::WithParamInterface<Row> {
protected:
    std::string File() { return ::testing::TempDir() + "json_device_" + std::to_string(getpid()) + ".ima"; }
    void TearDown() override { std::remove(File().c_str()), CardTest::TearDown(); }
    json Run(const Row& row)
    {
        Words words = row.words;
        for (std::string& word : words)
            if (word == "FILE") word = File();
        json o;
        EXPECT_TRUE(ParsedJsonRun(KelvastJson(words, row.options), &o));
        return o;
    }
};

TEST_P(JsonDevice, ResultThenRefusal)
{
    const Row& row = GetParam();
    const std::vector<unsigned char> image = BuildFirmwareImage();
    std::ofstream(File(), std::ios::binary).write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    ASSERT_TRUE(StartCard());
    json o = Run(row);
    EXPECT_EQ(0, o["status"]) << o;
    EXPECT_EQ(row.result, o["result"].value(json::json_pointer(row.part), json())) << o;
    if (row.refused.empty()) return;
    ASSERT_TRUE(StartCard({"--fail", row.refused + ":5"}));
    o = Run(row);
    EXPECT_EQ(row.refusedStatus, o["status"]) << o;
    EXPECT_EQ(row.refusedStatus == 5 ? "Permission denied" : "General error", o["message"]) << o;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, JsonDevice,
    ::testing::Values(
        Row{"CardMode", {"-cardMode", "-get"}, "0x0608", {{"mode", "normal"}}},
        Row{"Read", {"-flash", "-read", "FILE"}, "0x0602", IMG_FILE_SIZE, "/bytes"},
        Row{"UpdateNotConfirmed", {"-flash", "-update", "FILE"}, "", {{"cancelled", true}}},
        Row{"UpdateConfirmed", {"-flash", "-update", "FILE"}, "0x0601",
            {{"boot_block_written", false}, {"config_retained", true}}, "", {"--yes"}},
        Row{"SdkReadSensors", {"-SDK", "-readsensors"}, "0x0202",
            json::parse(R"({"name":"CPU 2","value":null,"unit":"milli Degrees C","unit_code":1,"ok":false})"),
            "/categories/0/sensors/2", {}, 30},
        Row{"ModemBothPorts", {"-ModemCfg", "-get"}, "0x0C02", kPorts},
        Row{"Ppp", {"-PppCfg", "-get"}, "0x0C00", {{"server_ip", "192.168.10.1"}, {"client_ip", "192.168.10.2"}}},
        Row{"Asr", {"-ASRCfg", "-get"}, "0x0C06",
            json::parse(R"({"state":"disabled","state_number":2,"method":"reset","method_number":2,"delay_seconds":240})")},
        Row{"I2C", {"-GetI2CCfg"}, "0x0C08", {{"slave_address", 0x42}}},
        Row{"SetI2C", {"-SetI2CCfg", "0x44"}, "0x0C09"},
        Row{"Ipmi", {"-GetIpmiCfg"}, "0x0C0A",
            json::parse(R"({"bmc_present":false,"bmc_address":32,"ipmi_power":false,"ipmi_sensors":false,"log_ipmi_events":false})")},
        Row{"SetIpmi", {"-SetIpmiCfg", "no", "0x20", "no", "no", "no"}, "0x0C0B"},
        Row{"Health", {"-GetCardHealth"}, "0x0100", 12.0, "/readings/2/value"}),
    CaseName());

// Over the host interface, with a reading the card was given.
TEST(JsonDeviceCd, CardHealth)
{
    const RunResult run = RunWithDrive({"--health", "6:2875"}, {KELVAST_BIN, "--json", "-cd", "-GetCardHealth"});
    json o;
    ASSERT_TRUE(ParsedJsonRun(run, &o));
    EXPECT_EQ("cd", o["card"]);
    ASSERT_EQ(6u, o["result"]["readings"].size()) << o;
    EXPECT_EQ(json::parse(R"({"name":"Card 3.3V Supply","value":3.3,"unit":"Volts","status":"Normal"})"),
              o["result"]["readings"][0]);
    EXPECT_EQ(2.875, o["result"]["readings"][5]["value"]);
}

}  // namespace
}  // namespace e2e
