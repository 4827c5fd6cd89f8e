// kelvast -HB: the card's heartbeat interval.
#include <cstdio>
#include <cstdlib>

#include "zunaCmd.h"

namespace {

constexpr uint32_t kMinimumInterval = 240;

int GetHeartbeat()
{
    unsigned long interval = 0;
    const ZUNA_ERROR status = pmyIfc->GetHeartbeatInterval(&interval);
    if (status != ZUNA_E_SUCCESS) {
        std::printf("Get Heartbeat Interval Failed, %s\n", GetZunaErrorString(status));
        return status;
    }
    std::printf("Heartbeat interval is %d seconds\n", static_cast<int32_t>(static_cast<uint32_t>(interval)));
    return status;
}

int SetHeartbeat(const char* secondsWord)
{
    // As atoi reads it: blanks and a sign, digits up to the first other character.
    uint32_t interval = static_cast<uint32_t>(std::strtol(secondsWord, nullptr, 10));
    if (interval < kMinimumInterval) {
        std::printf("Defaulting HB interval to minimum of 240 seconds\n");
        interval = kMinimumInterval;
    }
    const ZUNA_ERROR status = pmyIfc->SetHeartbeatInterval(interval);
    if (status != ZUNA_E_SUCCESS)
        std::printf("Set Heartbeat Failed, %s\n", GetZunaErrorString(status));
    else
        std::printf("Heartbeat interval is set successfully!\n");
    return status;
}

const SubCommand kHeartbeatCommands[] = {
    {"GetHB", 3, [](char**) { return GetHeartbeat(); }},
    {"SetHB", 4, [](char** argv) { return SetHeartbeat(argv[3]); }},
};

}  // namespace

int ProcessHeartbeatCommands(int argc, char** argv)
{
    return RunSubCommand(kHeartbeatCommands, argc, argv);
}
