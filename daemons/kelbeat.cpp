// kelbeat: tells the card, at the intervals the card chooses, that the host's
// operating system is alive (heartbeat start, heartbeat, heartbeat end over the
// host interface). Survives the card going away: it reconnects and carries on.
//   kelbeat             detach and run the service until SIGTERM
//   kelbeat -v|-version print the version banner
// Any other first argument prints the usage text and ends with 1.
#include <cstdio>
#include <cstdlib>

#include "daemonize.h"

namespace {

const char* const version = "1.6.5.2, Thu May 15 19:22:29 EDT 2003";

// The card's answer 0 (and any answer below -1) means this many seconds.
constexpr int kDefaultHeartbeatSeconds = 6;
constexpr long kSecondMillis = 1000;
// Connection attempts of one pass of RunDetectWaitForConnection.
constexpr unsigned long kAttemptsPerPass = 2;

CX9CDHost_Linux g_x9cd;
// 1 while the service is to go on; the termination handler clears it.
volatile sig_atomic_t running = 0;
int heartbeatTimeout = 0;

void DisplayVersion()
{
    std::printf("%s Heartbeat Service Version %s \n", kProductWord, version);
}

void Usage(const char* name)
{
    std::printf("Usage:\n");
    std::printf("%s start - to start the service\n", name);
    std::printf("%s stop - to stop the service\n", name);
}

void sigtermhandler(int)
{
    running = 0;
}

void atexithandler()
{
    running = 0;
    g_x9cd.IssueHBEnd();  // after the service's own, the medium is closed: no effect
    g_x9cd.Disconnect();
}

// 0 once the medium is connected; -1 if the service was stopped first.
int RunDetectWaitForConnection()
{
    return WaitForCardWhile(g_x9cd, kAttemptsPerPass, running);
}

// The seconds to wait after a heartbeat answer: 0, and answers below -1 (which are
// not meaningful), mean the default.
int WaitAfterAnswer(long answer)
{
    return answer <= 0 ? kDefaultHeartbeatSeconds : static_cast<int>(answer);
}

void InitHeartbeat()
{
    if (RunDetectWaitForConnection() == -1) return;
    const long answer = g_x9cd.IssueHBStart();
    if (answer != -1) {
        heartbeatTimeout = static_cast<int>(answer);
        return;
    }
    g_x9cd.Disconnect();
    if (RunDetectWaitForConnection() == -1) return;
    heartbeatTimeout = static_cast<int>(g_x9cd.IssueHBStart());
}

void RunOSHBService()
{
    InitHeartbeat();
    while (running) {
        const long answer = g_x9cd.IssueHB();
        if (answer == -1) {
            g_x9cd.Disconnect();
            if (RunDetectWaitForConnection() == -1) break;
            continue;  // the first heartbeat after a reconnection goes at once
        }
        heartbeatTimeout = WaitAfterAnswer(answer);
        // One second per count; the next heartbeat once the count passes below 0.
        while (--heartbeatTimeout >= 0 && SleepWhile(kSecondMillis, running)) {
        }
    }
    g_x9cd.IssueHBEnd();
    g_x9cd.Disconnect();
}

}  // namespace

int main(int argc, char** argv)
{
    return DaemonMain(argc, argv,
                      {"kelbeat", DisplayVersion, Usage, atexithandler, sigtermhandler, &running, RunOSHBService});
}
