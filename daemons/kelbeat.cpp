// kelbeat: tells the card, at the intervals the card chooses, that the host's
// operating system is alive (heartbeat start, heartbeat, heartbeat end over the
// host interface). Survives the card going away: it reconnects and carries on. A
// failed command, and every unsuccessful search for the card, is followed by a pause
// of 1 s growing to 6 s (RetryPause) before the next try.
//   kelbeat             detach and run the service until SIGTERM, SIGINT or SIGHUP
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
// Between a failed command or search and the next try; shorter again after a success.
GrowingPause retryPause = RetryPause();

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
    return WaitForCardWhile(g_x9cd, kAttemptsPerPass, retryPause, running);
}

// After a failed command: the pause (still connected, so that a stop in it can still
// send heartbeat end), then a fresh connection. False when the service was stopped.
bool PauseAndReconnect()
{
    if (!retryPause.Sleep(running)) return false;
    g_x9cd.Disconnect();
    return RunDetectWaitForConnection() == 0;
}

// The seconds to wait after a heartbeat answer: 0, and answers below -1 (which are
// not meaningful), mean the default.
int WaitAfterAnswer(long answer)
{
    return answer <= 0 ? kDefaultHeartbeatSeconds : static_cast<int>(answer);
}

// Connects and sends heartbeat start; a failed start is retried once, after the pause
// and a fresh connection. Returns whether the card answered the start (whatever it
// answered, it sets no wait).
bool InitHeartbeat()
{
    if (RunDetectWaitForConnection() == -1) return false;
    long answer = g_x9cd.IssueHBStart();
    if (answer == -1) {
        if (!PauseAndReconnect()) return false;
        answer = g_x9cd.IssueHBStart();
    }
    heartbeatTimeout = static_cast<int>(answer);
    if (answer == -1) return false;
    retryPause.Reset();
    return true;
}

void RunOSHBService()
{
    // A failed command (a start that failed twice, a heartbeat) is followed by the
    // pause and a fresh connection before the next heartbeat.
    bool failed = !InitHeartbeat();
    while (running) {
        if (failed && !PauseAndReconnect()) break;
        const long answer = g_x9cd.IssueHB();
        failed = answer == -1;
        if (failed) continue;
        retryPause.Reset();
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
