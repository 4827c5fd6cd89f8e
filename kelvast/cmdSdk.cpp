// kelvast -SDK: the card's sensor SDK and the sensor readings.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "zunaCmd.h"

namespace {

struct UnitName {
    uint8_t code;
    const char* name;
};
constexpr UnitName kUnitNames[] = {
    {1, "milli Degrees C"}, {2, "milli Degrees F"}, {3, "K"},          {4, "milli Volts"},     {5, "Amps"},
    {6, "Watts"},           {9, "VA"},              {17, "CFM"},       {18, "RPM"},            {19, "Hz"},
    {20, "microseconds"},   {21, "milliseconds"},   {22, "seconds"},   {23, "minutes"},        {24, "hours"},
    {25, "days"},           {26, "weeks"},          {41, "revolutions"}, {42, "cycles"},       {54, "ohms"},
    {66, "bits"},           {67, "kilobits"},       {68, "megabits"},  {69, "gigabits"},       {70, "bytes"},
    {71, "kilobytes"},      {72, "megabytes"},      {73, "gigabytes"}, {74, "words"},          {75, "dwords"},
    {76, "qwords"},         {101, "enable/disable"}, {102, "yes/no"},  {103, "ok/cancel"},
};

// The column where every reading starts: four blanks, the name and its colon, blanks.
constexpr std::size_t kNameColumns = 40;
// What the tool gives sdk_unit_to_string.
constexpr std::size_t kUnitTextLen = 30;

// Each sub-command reports the card's failure with its own line and passes the status
// on, so that a refused command never exits 0; success has its own line.
Outcome Report(ZUNA_ERROR status, const char* failure, const char* success)
{
    if (status != ZUNA_E_SUCCESS) return ReportedLine(status, "%s", failure);
    std::printf("%s", success);
    return status;
}

Outcome UploadSdk(Run& run, char** argv)
{
    return Report(run.client.UploadSDK(argv[3]), "Error uploading SDK\n", "Upload successful\n");
}

// The sensor tree as a value: its categories in order, each with its sensors.
struct SensorReading {
    std::string name;  // the card's bytes, bounded by the field
    bool ok = false;   // false when the card's access failed (value and unit then unused)
    int32_t value = 0;
    uint8_t unit = 0;
};
struct SensorCategory {
    std::string name;
    std::vector<SensorReading> sensors;
};
std::vector<SensorCategory> DecodeSensorTree(const unsigned char* tree, std::size_t len);
void PrintSensors(const std::vector<SensorCategory>& categories);

std::string UnitText(uint8_t unit)
{
    char text[kUnitTextLen];
    sdk_unit_to_string(unit, text, sizeof(text));
    return text;
}

// For --json: a failed reading has no value; the unit's code stays beside its name,
// which may be "Unrecognized".
nlohmann::ordered_json ToJson(const std::vector<SensorCategory>& categories)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const SensorCategory& category : categories) {
        nlohmann::ordered_json sensors = nlohmann::ordered_json::array();
        for (const SensorReading& sensor : category.sensors)
            sensors.push_back({{"name", sensor.name},
                               {"value", sensor.ok ? nlohmann::ordered_json(sensor.value) : nlohmann::ordered_json()},
                               {"unit", UnitText(sensor.unit)},
                               {"unit_code", sensor.unit},
                               {"ok", sensor.ok}});
        list.push_back({{"name", category.name}, {"sensors", std::move(sensors)}});
    }
    return {{"categories", std::move(list)}};
}

Outcome ReadSensorsCommand(Run& run, char**)
{
    std::vector<unsigned char> tree(SDK_SENSOR_BUFFER_LEN);
    const ZUNA_ERROR status = run.client.ReadSensors(tree.data(), static_cast<uint32_t>(tree.size()));
    Report(status, "Cannot read sensors - no SDK found\n", "Sensor data retrieved, displaying...\n");
    if (status != ZUNA_E_SUCCESS) return status;
    const std::vector<SensorCategory> categories = DecodeSensorTree(tree.data(), tree.size());
    PrintSensors(categories);
    run.result() = ToJson(categories);
    return status;
}

const SubCommand kSdkCommands[] = {
    {"uploadSDK", 4, UploadSdk, "    -SDK -uploadSDK <sdkfile.dat>\n", HelpShown::kAlways},
    {"uploadSDK", 3,
     [](Run&, char**) -> Outcome {
         return ReportedLine(Outcome::InvalidWords("no SDK file"), "Please supply an SDK file to upload\n");
     },
     nullptr, HelpShown::kCovered},
    {"deleteSDK", 3,
     [](Run& run, char**) -> Outcome { return Report(run.client.DeleteSDK(), "Error deleting SDK\n", "SDK deleted\n"); },
     "    -SDK -deleteSDK\n", HelpShown::kAlways},
    {"rereadSDK", 3,
     [](Run& run, char**) -> Outcome {
         return Report(run.client.RereadSDK(), "Error restarting HHMD\n", "HHMD restarted, rereading SDK\n");
     },
     "    -SDK -rereadSDK\n", HelpShown::kAlways},
    {"readsensors", 3, ReadSensorsCommand, "    -SDK -readsensors\n", HelpShown::kAlways},
};

std::vector<SensorCategory> DecodeSensorTree(const unsigned char* tree, std::size_t len)
{
    std::vector<SensorCategory> categories;
    WalkSdkTree(
        tree, len,
        [&](const category_node& category) {
            categories.emplace_back().name = TextOfField(category.category_header.category_name, SDK_NAME_LEN);
        },
        [&](const subdivision_node& sensor) {
            SensorReading& reading = categories.back().sensors.emplace_back();
            reading.name = TextOfField(sensor.subdivision_header.subdivision_name, SDK_NAME_LEN);
            reading.ok = static_cast<uint32_t>(sensor.value.value) != SDK_ACCESS_FAILED;
            reading.value = sensor.value.value;
            reading.unit = sensor.value.unit_type;
        });
    return categories;
}

void PrintSensors(const std::vector<SensorCategory>& categories)
{
    for (const SensorCategory& category : categories) {
        std::printf("%s\n", CardText(category.name.data(), category.name.size()).c_str());
        for (const SensorReading& sensor : category.sensors) {
            const std::string name = CardText(sensor.name.data(), sensor.name.size());
            std::printf("    %s:%*s", name.c_str(), static_cast<int>(kNameColumns - std::min(name.size(), kNameColumns)), "");
            if (!sensor.ok)
                std::printf("access failed\n");
            else
                std::printf("%d %s\n", static_cast<int>(sensor.value), UnitText(sensor.unit).c_str());
        }
    }
}

}  // namespace

constinit const std::span<const SubCommand> kSdkSubCommands = kSdkCommands;

void sdk_unit_to_string(uint8_t unit, char* text, std::size_t size)
{
    if (text == nullptr || size == 0) return;
    const auto found = std::find_if(std::begin(kUnitNames), std::end(kUnitNames),
                                    [unit](const UnitName& entry) { return entry.code == unit; });
    std::snprintf(text, size, "%s", found != std::end(kUnitNames) ? found->name : "Unrecognized");
}

void SDK_sensors_display(const unsigned char* tree, std::size_t len)
{
    PrintSensors(DecodeSensorTree(tree, len));
}

Outcome ProcessSDKCommands(Run& run, int argc, char** argv)
{
    if (argc < 3 || argv[2][0] != '-') return Outcome::InvalidWords("invalid words");
    const SubCommand* command = FindSubCommand(kSdkCommands, argc, argv);
    if (command == nullptr) return ReportedLine(Outcome::InvalidWords("invalid words"), "Unknown command\n");
    return command->run(run, argv);
}
