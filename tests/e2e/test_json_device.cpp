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
    Words words;  // after -nw ADDRESS admin; "FILE" stands for a temporary file
    Words cardOptions = {};
    int status = 0;
    json result = json::object();  // the result at `part`; for a failure, the message
    Words options = {};
    std::string part = "";  // a JSON pointer into the result
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

const json kSensorTemperatures = json::parse(R"({"name":"Temperatures","sensors":[
    {"name":"CPU 1","value":47000,"unit":"milli Degrees C","unit_code":1,"ok":true},
    {"name":"System board","value":31500,"unit":"milli Degrees C","unit_code":1,"ok":true},
    {"name":"CPU 2","value":null,"unit":"milli Degrees C","unit_code":1,"ok":false}]})");
const json kPorts = json::parse(R"({"ports":[{"port":"ttyS2","baud":57600,"init_string":"ATZ","phone_number":""},
    {"port":"ttyS3","baud":9600,"init_string":"ATZ","phone_number":""}]})");
const json kRefused = "Permission denied";  // the card's text for status 5

class JsonDevice : public CardTest, public ::testing::WithParamInterface<Row> {
protected:
    std::string File() { return ::testing::TempDir() + "json_device_" + std::to_string(getpid()) + ".ima"; }
    void TearDown() override { std::remove(File().c_str()), CardTest::TearDown(); }
};

TEST_P(JsonDevice, ResultOrRefusal)
{
    const Row& row = GetParam();
    ASSERT_TRUE(StartCard(row.cardOptions));
    const std::vector<unsigned char> image = BuildFirmwareImage();
    std::ofstream(File(), std::ios::binary).write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    Words words = row.words;
    for (std::string& word : words)
        if (word == "FILE") word = File();
    json o;
    ASSERT_TRUE(ParsedJsonRun(KelvastJson(words, row.options), &o));
    EXPECT_EQ(row.status, o["status"]) << o;
    if (row.status != 0)
        EXPECT_EQ(row.result, o["message"]) << o;
    else
        EXPECT_EQ(row.result, o["result"].value(json::json_pointer(row.part), json())) << o;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, JsonDevice,
    ::testing::Values(
        Row{"CardMode", {"-cardMode", "-get"}, {}, 0, {{"mode", "normal"}}},
        Row{"CardModeRefused", {"-flash", "-get"}, {"--fail", "0x0608:5"}, 5, kRefused},
        Row{"UpdateNotConfirmed", {"-flash", "-update", "FILE"}, {}, 0, {{"cancelled", true}}},
        Row{"UpdateConfirmed", {"-flash", "-update", "FILE"}, {}, 0,
            {{"boot_block_written", false}, {"config_retained", true}}, {"--yes"}},
        Row{"Read", {"-flash", "-read", "FILE"}, {}, 0, IMG_FILE_SIZE, {}, "/bytes"},
        Row{"FileDownloadRefused", {"-file", "-download", "/etc/x", "FILE"}, {"--fail", "0x060A:5"}, 30, "General error"},
        Row{"SdkDelete", {"-SDK", "-deleteSDK"}},
        Row{"SdkReadSensors", {"-SDK", "-readsensors"}, {}, 0, kSensorTemperatures, {}, "/categories/0"},
        Row{"SdkReadRefused", {"-SDK", "-readsensors"}, {"--fail", "0x0202:5"}, 30, "General error"},
        Row{"ModemBothPorts", {"-ModemCfg", "-get"}, {}, 0, kPorts},
        Row{"ModemRefused", {"-ModemCfg", "-get", "ttyS3"}, {"--fail", "0x0C02:5"}, 5, kRefused},
        Row{"Ppp", {"-PppCfg", "-get"}, {}, 0, {{"server_ip", "192.168.10.1"}, {"client_ip", "192.168.10.2"}}},
        Row{"PppRefused", {"-PppCfg", "-set", "1.2.3.4", "1.2.3.5"}, {"--fail", "0x0C01:5"}, 5, kRefused},
        Row{"Asr", {"-ASRCfg", "-get"}, {}, 0,
            json::parse(R"({"state":"disabled","state_number":2,"method":"reset","method_number":2,"delay_seconds":240})")},
        Row{"AsrRefused", {"-ASRCfg", "-get"}, {"--fail", "0x0C06:5"}, 5, kRefused},
        Row{"I2C", {"-GetI2CCfg"}, {}, 0, {{"slave_address", 0x42}}},
        Row{"I2CRefused", {"-GetI2CCfg"}, {"--fail", "0x0C08:5"}, 5, kRefused},
        Row{"SetI2C", {"-SetI2CCfg", "0x44"}},
        Row{"SetI2CRefused", {"-SetI2CCfg", "0x44"}, {"--fail", "0x0C09:5"}, 5, kRefused},
        Row{"Ipmi", {"-GetIpmiCfg"}, {}, 0,
            json::parse(R"({"bmc_present":false,"bmc_address":32,"ipmi_power":false,"ipmi_sensors":false,"log_ipmi_events":false})")},
        Row{"IpmiRefused", {"-GetIpmiCfg"}, {"--fail", "0x0C0A:5"}, 5, kRefused},
        Row{"SetIpmi", {"-SetIpmiCfg", "no", "0x20", "no", "no", "no"}},
        Row{"SetIpmiRefused", {"-SetIpmiCfg", "no", "0x20", "no", "no", "no"}, {"--fail", "0x0C0B:5"}, 5, kRefused},
        Row{"HealthRefused", {"-GetCardHealth"}, {"--fail", "0x0100:5"}, 5, kRefused}),
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
