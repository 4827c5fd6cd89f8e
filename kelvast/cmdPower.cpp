// kelvast -HostCtrl and -GetCardHealth: the host's power through the card, and the
// card's health readings.
#include <cstdio>

#include "zunaCmd.h"

namespace {

const char kHealthRule[] = "--------------------------------------------------------\n";

struct PowerWord {
    const char* word;
    unsigned char action;
};
// Tried in this order.
const PowerWord kPowerWords[] = {
    {"PowerUp", HOST_POWER_UP},
    {"PowerDown", HOST_POWER_DOWN},
    {"Reset", HOST_POWER_RESET},
    {"PowerCycle", HOST_POWER_CYCLE},
};

// One reading for --json: its value in the card's unit (the record holds thousandths),
// and the card's texts as they are.
nlohmann::ordered_json ToJson(const X9_HEALTH_INFO_tag& entry)
{
    return {{"name", TextOfField(entry.paramName, sizeof(entry.paramName))},
            {"value", static_cast<double>(entry.value) / 1000.0},
            {"unit", TextOfField(entry.units, sizeof(entry.units))},
            {"status", TextOfField(entry.status, sizeof(entry.status))}};
}

}  // namespace

Outcome HostPowerControl(Run& run, int argc, char** argv)
{
    // Exactly the action word: a power action never goes out with words it ignored.
    if (argc != 3) return Outcome::InvalidWords("invalid words");
    for (const PowerWord& power : kPowerWords) {
        if (x9strcasecmp(argv[2], power.word) != 0) continue;
        unsigned char action = power.action;
        // A power action the card did not take is a failure, also for the exit status.
        return ReportedLine(run.client.RemoteHostPowerControl(&action), "Unable to perform Remote Power management\n");
    }
    return Outcome::InvalidWords("invalid words");
}

Outcome GetCardHealthInfo(Run& run)
{
    X9_HEALTH_INFO_tag entries[X9_HEALTH_ENTRIES] = {};
    if (const ZUNA_ERROR status = run.client.GetCardHealth(entries); status != ZUNA_E_SUCCESS)
        return Reported(status, "Get Card Health Failed");
    std::printf("%s", kHealthRule);
    std::printf("             %s card Health\n", kProductWord);
    std::printf("%s", kHealthRule);
    std::printf("Parameter                       Reading           Status\n");
    std::printf("%s", kHealthRule);
    nlohmann::ordered_json& readings = run.result()["readings"] = nlohmann::ordered_json::array();
    for (const X9_HEALTH_INFO_tag& entry : entries) {
        readings.push_back(ToJson(entry));
        std::printf("%-32s %-8.4g Volts      %-s\n", CardText(entry.paramName).c_str(),
                    static_cast<double>(entry.value) / 1000.0, CardText(entry.status).c_str());
    }
    std::printf("%s", kHealthRule);
    return Outcome::Success();
}
