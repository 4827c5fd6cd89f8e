// kelvast -HB: the card's heartbeat interval.
#include <cstdio>
#include <cstdlib>

#include "zunaCmd.h"

namespace {

constexpr uint32_t kMinimumInterval = 240;

Outcome GetHeartbeat(Run& run)
{
    unsigned long interval = 0;
    const ZUNA_ERROR status = run.client.GetHeartbeatInterval(&interval);
    if (status != ZUNA_E_SUCCESS) return Reported(status, "Get Heartbeat Interval Failed");
    std::printf("Heartbeat interval is %d seconds\n", static_cast<int32_t>(static_cast<uint32_t>(interval)));
    // The card's 32-bit value as it is (the text shows it signed).
    run.result()["interval_seconds"] = static_cast<uint32_t>(interval);
    return status;
}

Outcome SetHeartbeat(Run& run, const char* secondsWord)
{
    // As atoi reads it: blanks and a sign, digits up to the first other character.
    uint32_t interval = static_cast<uint32_t>(std::strtol(secondsWord, nullptr, 10));
    if (interval < kMinimumInterval) {
        std::printf("Defaulting HB interval to minimum of 240 seconds\n");
        interval = kMinimumInterval;
    }
    const ZUNA_ERROR status = run.client.SetHeartbeatInterval(interval);
    if (status != ZUNA_E_SUCCESS) return Reported(status, "Set Heartbeat Failed");
    std::printf("Heartbeat interval is set successfully!\n");
    return status;
}

const SubCommand kHeartbeatCommands[] = {
    {"GetHB", 3, [](Run& run, char**) -> Outcome { return GetHeartbeat(run); }, "     -HB -GetHB\n",
     HelpShown::kAlways},
    {"SetHB", 4, [](Run& run, char** argv) -> Outcome { return SetHeartbeat(run, argv[3]); },
     "     -HB -SetHB <Heartbeat Time Interval (Seconds)> - <Between 6 and 2147483646>\n", HelpShown::kAlways},
};

}  // namespace

constinit const std::span<const SubCommand> kHeartbeatSubCommands = kHeartbeatCommands;

Outcome ProcessHeartbeatCommands(Run& run, int argc, char** argv)
{
    return RunSubCommand(run, kHeartbeatCommands, argc, argv);
}
