// kelcard's command line: the sub-commands and the options of "serve" and "run".
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "card_model.h"
#include "imgbuild.h"
#include "number_text.h"
#include "tcp_server.h"
#include "vdrive.h"

namespace kelcard {

// The usage text, printed by --help and after a bad argument.
extern const char* const kUsage;
// The drive options of "run", printed after kUsage.
extern const char* const kRunUsage;

// The most cards one kelcard serves (--address FIRST-LAST).
inline constexpr std::size_t kMaxCards = 1024;

struct ServeOptions {
    std::string address;                                // --address, a 127.x.y.z address (FIRST
                                                        // of a range)
    std::size_t cardCount = 1;                          // the range's addresses, FIRST counted
    std::optional<std::string> stateDir;                // --state-dir DIR
    std::vector<Account> accounts;                      // --user NAME:PASSWORD...
    std::vector<std::pair<uint16_t, uint16_t>> faults;  // --fail CODE:STATUS...
    std::vector<uint16_t> drops;                        // --drop CODE...
    std::vector<std::pair<uint16_t, uint32_t>> lateReplies;  // --late CODE:SECONDS...
    std::vector<std::pair<uint16_t, std::vector<std::size_t>>> cutReplies;  // --cut-reply CODE:N[,N...]...
    std::optional<int64_t> clock;                       // --clock EPOCH
    bool frozenClock = false;                           // --frozen-clock
    std::optional<std::string> fwVersion;               // --fw-version TEXT
    std::optional<std::string> fwDate;                  // --fw-date TEXT
    std::optional<std::array<uint8_t, 6>> mac;          // --mac XX:XX:XX:XX:XX:XX
    bool linkDown = false;                              // --link-down
    bool noSdk = false;                                 // --no-sdk
    uint32_t selRecords = 0;                            // --sel-records N
    std::vector<std::pair<std::size_t, uint32_t>> health;  // --health N:VALUE... (N from 1)
    std::optional<uint32_t> uploadCrcError;             // --upload-crc-error N
    std::optional<uint32_t> downloadCrcError;           // --download-crc-error N
    std::optional<uint32_t> vanishAfter;                // --vanish-after N
    std::optional<std::pair<uint32_t, uint16_t>> renumberFragment;  // --renumber-fragment N:M
    std::optional<uint32_t> flashCrcError;              // --flash-crc-error N
    std::optional<std::pair<uint32_t, uint16_t>> refusedBlock;  // --refuse-block N:STATUS
};

// Parses the words after "serve". On a bad word returns false with a one-line
// message in `error` (no usage text).
bool ParseServeOptions(const std::vector<std::string>& words, ServeOptions& options, std::string& error);

struct RunOptions {
    ServeOptions card;                           // the card's options; card.address is --serve's
                                                 // ADDRESS, empty without --serve
    DriveSettings drive;                         // --heartbeat, --busy-polls, --gone-at, --back-at
                                                 // (not the script, not the log)
    std::optional<std::string> mouseScriptPath;  // --mouse-script FILE
    std::optional<std::string> heartbeatLogPath; // --heartbeat-log FILE
    std::optional<std::string> reportPath;       // --report FILE
    std::vector<std::string> program;            // the words after "--": PROGRAM ARGS...
};

// Parses the words after "run": options, "--", then at least the program. The card's
// options are those of "serve" (without --address); the drive's are checked here. On
// a bad word returns false with a one-line message in `error`.
bool ParseRunOptions(const std::vector<std::string>& words, RunOptions& options, std::string& error);

struct MkImageOptions {
    std::string file;                                         // FILE
    IMG_MODULE_DAMAGE damage[FLASH_MODULE_COUNT] = {};        // --corrupt, --corrupt-header, --omit
};

// Parses the words after "mkimage". On a bad word returns false with a one-line
// message in `error`.
bool ParseMkImageOptions(const std::vector<std::string>& words, MkImageOptions& options, std::string& error);

// Every option word of the command line: serve's (which run takes too), run's drive
// options and mkimage's, each once.
std::vector<std::string_view> OptionWords();

// The address of card `index` (0 for FIRST): FIRST counted up by `index`.
std::string CardAddress(const ServeOptions& options, std::size_t index);

// The MAC address of card `index`: --mac's (or the default one) with its last two
// bytes, a big-endian 16-bit number, counted up by `index`.
std::array<uint8_t, 6> CardMac(const ServeOptions& options, std::size_t index);

// Puts the options of the TCP front end (--late, --cut-reply) into the server, before it starts.
void ConfigureServer(TcpServer& server, const ServeOptions& options);

// Puts the options other than the accounts (given to the model's constructor) into
// the card. `hostNow` is the host's time at start: a frozen clock stands at it (or at
// --clock).
// Card `index` of a range gets its own MAC address (CardMac).
void ConfigureCard(CardModel& card, const ServeOptions& options, int64_t hostNow, std::size_t index = 0);

}  // namespace kelcard
