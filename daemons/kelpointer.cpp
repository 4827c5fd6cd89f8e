// kelpointer: replays the remote pointer that the card reports (position and
// buttons) on the host's local X display: absolute warps of the X pointer and
// button presses and releases through the XTEST extension. Every button it pressed is
// released again when it stops and when the card goes away.
//   kelpointer             detach and run until SIGTERM, SIGINT or SIGHUP
//   kelpointer -v|-version print the version banner
// Any other first argument prints the usage text and ends with 1.
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "daemonize.h"
#include "x9endian.h"

// After the card's records: Xlib defines Status (a field name of theirs) as a macro.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

const char* const version = "1.6.5.2, Thu May 15 19:22:30 EDT 2003";

// The card's absolute positions lie on this grid, whatever the host's screen.
constexpr long kGridWidth = 1024;
constexpr long kGridHeight = 768;
constexpr long kLostCardPauseMillis = 2000;
constexpr long kNothingNewPauseMillis = 5000;
// After a packet applied the next poll follows at once. After "nothing new" it waits
// 2 ms, and twice as long after each further "nothing new", up to 64 ms: a pointer at
// rest costs about 16 polls a second, while a moving one (a packet at least every
// 20 ms) is applied within 20 ms of reaching the card.
constexpr useconds_t kPollPauseMicros = 20;
constexpr long kFirstIdlePollMillis = 2;
constexpr long kLongestIdlePollMillis = 64;
constexpr unsigned char kValidApply = 1;
constexpr unsigned char kValidIdle = 2;
// One connection attempt per pass, then the growing pause: the wait has no limit but
// the termination signal.
constexpr unsigned long kAttemptsPerPass = 1;

// Event bit (0 left, 1 right, 2 middle) -> index into buttonCodes.
constexpr unsigned kButtonOfBit[] = {1, 3, 2};
const int buttonCodes[6] = {0, 1, 2, 3, 4, 5};

CX9CDHost_Linux g_myx9cd;
Display* display = nullptr;
Window root = 0;
int screen = 0;
unsigned char prevEvent = 0;
// 1 until SIGTERM, SIGINT or SIGHUP; the service loop ends when it clears.
volatile sig_atomic_t running = 0;

void DisplayVersion()
{
    std::printf("%s Host Mouse Application %s \n", kProductWord, version);
}

void Usage(const char* name)
{
    std::printf("Usage:\n");
    std::printf("%s -v or -version - to display version information \n", name);
}

void sigtermhandler(int)
{
    running = 0;
}

void simulateButton(Display* dpy, int button, unsigned char press)
{
    XTestGrabControl(dpy, True);
    XTestFakeButtonEvent(dpy, static_cast<unsigned>(button), press ? True : False, CurrentTime);
    XSync(dpy, False);
    XTestGrabControl(dpy, False);
}

int mouse_event(Display* dpy, unsigned int index, unsigned char press)
{
    simulateButton(dpy, buttonCodes[index], press);
    return 0;
}

int generateMouseEvent(Display* dpy, const HOST_MOUSE_PKT* packet)
{
    const long width = DisplayWidth(dpy, screen);
    const long height = DisplayHeight(dpy, screen);
    const long x = width * static_cast<long>(Le16ToHost(packet->AbsX)) / kGridWidth;
    const long y = height * static_cast<long>(Le16ToHost(packet->AbsY)) / kGridHeight;
    XWarpPointer(dpy, None, root, 0, 0, 0, 0, static_cast<int>(x), static_cast<int>(y));
    XFlush(dpy);

    const unsigned char event = packet->Event;
    for (unsigned bit = 0; bit < 3; ++bit) {
        const unsigned char mask = static_cast<unsigned char>(1u << bit);
        if ((event & mask) && !(prevEvent & mask)) mouse_event(dpy, kButtonOfBit[bit], 1);
    }
    for (unsigned bit = 0; bit < 3; ++bit) {
        const unsigned char mask = static_cast<unsigned char>(1u << bit);
        if (!(event & mask) && (prevEvent & mask)) mouse_event(dpy, kButtonOfBit[bit], 0);
    }
    prevEvent = event;
    return 0;
}

// Releases every button that the card's packets left pressed, in the order of the
// Event bits, and forgets them.
void ReleaseButtons(Display* dpy)
{
    for (unsigned bit = 0; bit < 3; ++bit)
        if (prevEvent & (1u << bit)) mouse_event(dpy, kButtonOfBit[bit], 0);
    prevEvent = 0;
}

// Releases the buttons, closes the display and the drive; harmless when they are
// closed already.
void CloseAll()
{
    if (display != nullptr) {
        Display* const dpy = display;
        display = nullptr;  // should the display fail in between, nothing runs twice
        ReleaseButtons(dpy);
        XCloseDisplay(dpy);
    }
    g_myx9cd.Disconnect();
}

void atexithandler()
{
    CloseAll();
}

// Returns 1 when the display cannot be opened, -1 when the card cannot be reached,
// 0 when stopped by the termination signal.
int MouseRedir()
{
    display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::printf("Unable to open Local X-Display\n");
        return 1;
    }
    screen = DefaultScreen(display);
    root = RootWindow(display, screen);

    GrowingPause searchPause = RetryPause();
    GrowingPause idlePause(kFirstIdlePollMillis, kLongestIdlePollMillis);
    if (WaitForCardWhile(g_myx9cd, kAttemptsPerPass, searchPause, running) != 0) return 0;
    while (running) {
        HOST_MOUSE_PKT packet{};
        if (g_myx9cd.GetRedirectionMousePos(&packet) != 0) {
            // Nobody holds the buttons any more: none stays pressed across the gap.
            ReleaseButtons(display);
            if (!SleepWhile(kLostCardPauseMillis, running)) break;
            searchPause.Reset();
            if (WaitForCardWhile(g_myx9cd, kAttemptsPerPass, searchPause, running) != 0) break;
            continue;
        }
        if (packet.IsValidData == kValidIdle) {
            SleepWhile(kNothingNewPauseMillis, running);
        } else if (packet.IsValidData == kValidApply) {
            generateMouseEvent(display, &packet);
            idlePause.Reset();
            usleep(kPollPauseMicros);
        } else {
            idlePause.Sleep(running);
        }
    }
    return 0;
}

// The service, then the closing that the termination handler leaves to the loop.
// Whatever MouseRedir returns, the process exits with 0.
void RunService()
{
    MouseRedir();
    CloseAll();
}

}  // namespace

int main(int argc, char** argv)
{
    return DaemonMain(argc, argv,
                      {"kelpointer", DisplayVersion, Usage, atexithandler, sigtermhandler, &running, RunService});
}
