// kelexporter's collectors: each reads one area of a logged-in card through the client
// and gives it back as a value (or the status of the operation that failed), with
// nothing printed and nothing kept. ScrapeCard logs in and runs them all.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "x9zunaifc.h"

namespace kelexporter {

// What a collector gives: its value when every operation succeeded, else the status
// of the first that failed (the card's, or 33 for the card not reached or its reply
// refused).
template <typename T>
struct Collected {
    ZUNA_ERROR status = ZUNA_E_CONNECTION;
    std::optional<T> value;
    bool ok() const { return value.has_value(); }
};

// The card's six health readings, in volts (the card's thousandths divided by 1000).
struct HealthReading {
    std::string name;
    double volts = 0;
};
Collected<std::vector<HealthReading>> CollectHealth(CX9ZunaIfc& client);

// One sensor of the SDK tree. ok is false when the card's access failed (no value
// then); value is in the base unit `unit` ("celsius", "volts", "rpm", ...): the card's
// milli units divided by 1000, degrees Fahrenheit turned to Celsius.
struct SensorReading {
    std::string category;
    std::string name;
    bool ok = false;
    double value = 0;
    std::string unit;
};
// The base unit of the card's unit code and the reading in it; a code without a
// known base unit gives "code_N" and the card's number as it is.
struct BaseUnitValue {
    std::string unit;
    double value;
};
BaseUnitValue ToBaseUnit(uint8_t unitCode, int32_t reading);
// The sensors of a decoded tree (ReadSensors's buffer, `len` bytes), in the tree's
// order: the walk follows links forward only and stays inside the buffer.
std::vector<SensorReading> SensorsOfTree(const unsigned char* tree, std::size_t len);
// A card without an SDK answers the sensor read with no data: 30 here.
Collected<std::vector<SensorReading>> CollectSensors(CX9ZunaIfc& client);

// The event log's record count, free space (bytes, as the card reports it) and fill
// policy ("rollover", "stop", or "unknown" for another code).
struct SelSummary {
    unsigned entries = 0;
    unsigned freeBytes = 0;
    std::string policy;
};
Collected<SelSummary> CollectSel(CX9ZunaIfc& client);

// The firmware's version and build date texts, without the line end the card ends
// them with.
struct FirmwareInfo {
    std::string version;
    std::string buildDate;
};
Collected<FirmwareInfo> CollectFirmware(CX9ZunaIfc& client);

// The card's MAC address text and configuration method ("dhcp", "static") as the
// network configuration reports them.
struct NetworkInfo {
    std::string mac;
    std::string method;
};
Collected<NetworkInfo> CollectNetwork(CX9ZunaIfc& client);

// The collectors by name, in the order they run and are shown.
inline constexpr const char* kCollectorNames[] = {"health", "sensors", "sel", "firmware", "network"};

// One scrape of one card.
struct CardScrape {
    bool up = false;              // logged in
    ZUNA_ERROR loginStatus = ZUNA_E_CONNECTION;
    Collected<std::vector<HealthReading>> health;
    Collected<std::vector<SensorReading>> sensors;
    Collected<SelSummary> sel;
    Collected<FirmwareInfo> firmware;
    Collected<NetworkInfo> network;
    double seconds = 0;           // the scrape's wall time
};

// Connects the client, logs in as user/password and runs the collectors, all within
// `limit`: before each step the client's wait limit is set to the time left, and a
// step for which no time is left is not started (its status 24, ZUNA_E_TMOUT). A
// collector that fails leaves the others to run.
CardScrape ScrapeCard(CX9ZunaIfc& client, const std::string& user, const std::string& password,
                      std::chrono::milliseconds limit);

}  // namespace kelexporter
