// kelexporter's collectors: the card's areas as values.
#include "collectors.h"

#include <cstring>

#include "fieldtext.h"

namespace kelexporter {
namespace {

template <typename T>
Collected<T> Failed(ZUNA_ERROR status)
{
    return {status == ZUNA_E_SUCCESS ? ZUNA_E_CONNECTION : status, std::nullopt};
}

template <typename T>
Collected<T> Got(T value)
{
    return {ZUNA_E_SUCCESS, std::move(value)};
}

// A field's text without the line end (and blanks) the card may end it with.
template <std::size_t N>
std::string TrimmedText(const char (&field)[N])
{
    std::string text = TextOfField(field, N);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

// The card's unit codes (the SDK's) with a base unit: the reading times `times`
// divided by `per` (a division, so that 3312 thousandths read 3.312 exactly as
// written). 2 (milli degrees F) is turned to Celsius apart.
struct BaseUnit {
    uint8_t code;
    const char* unit;
    double times;
    double per;
};
constexpr BaseUnit kBaseUnits[] = {
    {1, "celsius", 1, 1000},  {3, "kelvin", 1, 1},      {4, "volts", 1, 1000},   {5, "amperes", 1, 1},
    {6, "watts", 1, 1},       {17, "cfm", 1, 1},        {18, "rpm", 1, 1},       {19, "hertz", 1, 1},
    {20, "seconds", 1, 1e6},  {21, "seconds", 1, 1000}, {22, "seconds", 1, 1},   {23, "seconds", 60, 1},
    {24, "seconds", 3600, 1}, {25, "seconds", 86400, 1}, {26, "seconds", 604800, 1}, {54, "ohms", 1, 1},
    {66, "bits", 1, 1},       {70, "bytes", 1, 1},
};
constexpr uint8_t kMilliFahrenheit = 2;

}  // namespace

BaseUnitValue ToBaseUnit(uint8_t unitCode, int32_t reading)
{
    const double raw = static_cast<double>(reading);
    if (unitCode == kMilliFahrenheit) return {"celsius", (raw / 1000.0 - 32.0) * 5.0 / 9.0};
    for (const BaseUnit& base : kBaseUnits)
        if (base.code == unitCode) return {base.unit, raw * base.times / base.per};
    return {"code_" + std::to_string(unitCode), raw};
}

std::vector<SensorReading> SensorsOfTree(const unsigned char* tree, std::size_t len)
{
    std::vector<SensorReading> sensors;
    std::string categoryName;
    WalkSdkTree(
        tree, len,
        [&](const category_node& category) {
            categoryName = TextOfField(category.category_header.category_name, SDK_NAME_LEN);
        },
        [&](const subdivision_node& node) {
            SensorReading& sensor = sensors.emplace_back();
            sensor.category = categoryName;
            sensor.name = TextOfField(node.subdivision_header.subdivision_name, SDK_NAME_LEN);
            sensor.ok = static_cast<uint32_t>(node.value.value) != SDK_ACCESS_FAILED;
            BaseUnitValue base = ToBaseUnit(node.value.unit_type, node.value.value);
            sensor.unit = std::move(base.unit);
            if (sensor.ok) sensor.value = base.value;
        });
    return sensors;
}

Collected<std::vector<HealthReading>> CollectHealth(CX9ZunaIfc& client)
{
    X9_HEALTH_INFO_tag entries[X9_HEALTH_ENTRIES] = {};
    if (const ZUNA_ERROR status = client.GetCardHealth(entries); status != ZUNA_E_SUCCESS)
        return Failed<std::vector<HealthReading>>(status);
    std::vector<HealthReading> readings;
    for (const X9_HEALTH_INFO_tag& entry : entries)
        readings.push_back({TextOfField(entry.paramName, sizeof(entry.paramName)), entry.value / 1000.0});
    return Got(std::move(readings));
}

Collected<std::vector<SensorReading>> CollectSensors(CX9ZunaIfc& client)
{
    std::vector<unsigned char> tree(SDK_SENSOR_BUFFER_LEN);
    if (const ZUNA_ERROR status = client.ReadSensors(tree.data(), static_cast<uint32_t>(tree.size()));
        status != ZUNA_E_SUCCESS)
        return Failed<std::vector<SensorReading>>(status);
    return Got(SensorsOfTree(tree.data(), tree.size()));
}

Collected<SelSummary> CollectSel(CX9ZunaIfc& client)
{
    SEL_STATE_INFO_TAG info{};
    if (const ZUNA_ERROR status = client.GetSelInfo(&info); status != ZUNA_E_SUCCESS)
        return Failed<SelSummary>(status);
    uint8_t policy = 0;
    if (const ZUNA_ERROR status = client.GetSelPolicy(&policy); status != ZUNA_E_SUCCESS)
        return Failed<SelSummary>(status);
    SelSummary summary;
    summary.entries = info.no_of_records;
    summary.freeBytes = info.free_space;
    summary.policy = policy == SEL_POLICY_ROLLOVER ? "rollover" : policy == SEL_POLICY_STOP ? "stop" : "unknown";
    return Got(std::move(summary));
}

Collected<FirmwareInfo> CollectFirmware(CX9ZunaIfc& client)
{
    STRUCT_FW_INFO info{};
    if (const ZUNA_ERROR status = client.GetFWInfo(&info); status != ZUNA_E_SUCCESS)
        return Failed<FirmwareInfo>(status);
    return Got(FirmwareInfo{TrimmedText(info.fwVersion), TrimmedText(info.fwBuildDate)});
}

Collected<NetworkInfo> CollectNetwork(CX9ZunaIfc& client)
{
    ZUNA_API_GET_NETWORK_CFG_REC cfg{};
    if (const ZUNA_ERROR status = client.GetCurrentNetworkConfiguration(reinterpret_cast<char*>(&cfg));
        status != ZUNA_E_SUCCESS)
        return Failed<NetworkInfo>(status);
    return Got(NetworkInfo{TrimmedText(cfg.mac_address), TrimmedText(cfg.configuration_method)});
}

CardScrape ScrapeCard(CX9ZunaIfc& client, const std::string& user, const std::string& password,
                      std::chrono::milliseconds limit)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + limit;
    // Gives the client the time left; false when none is.
    const auto timeLeft = [&] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        client.SetWaitLimit(left);
        return true;
    };
    const auto run = [&](auto collect, auto& into) {
        if (timeLeft())
            into = collect(client);
        else
            into.status = ZUNA_E_TMOUT;
    };

    CardScrape scrape;
    if (timeLeft()) scrape.loginStatus = client.Connect();
    if (scrape.loginStatus == ZUNA_E_SUCCESS && timeLeft())
        scrape.loginStatus = static_cast<ZUNA_ERROR>(client.ZunaLogin(user.c_str(), password.c_str()));
    else if (scrape.loginStatus == ZUNA_E_SUCCESS)
        scrape.loginStatus = ZUNA_E_TMOUT;
    scrape.up = scrape.loginStatus == ZUNA_E_SUCCESS;
    if (scrape.up) {
        run(CollectHealth, scrape.health);
        run(CollectSensors, scrape.sensors);
        run(CollectSel, scrape.sel);
        run(CollectFirmware, scrape.firmware);
        run(CollectNetwork, scrape.network);
    }
    client.Disconnect();
    scrape.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return scrape;
}

}  // namespace kelexporter
