#include "kelcard_options.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <string_view>
#include <cstdint>

#include "flashblk.h"
#include "login.h"
#include "network.h"
#include "sel.h"
#include "tcp_server.h"
#include "x9endian.h"

namespace kelcard {

const char* const kUsage =
    "Usage: kelcard serve --address A|FIRST-LAST [options]\n"
    "       kelcard run [options] [--serve A] [drive options] -- PROGRAM [ARGS...]\n"
    "       kelcard mkimage FILE [--corrupt MODULE] [--corrupt-header MODULE] [--omit MODULE]\n"
    "       kelcard --help\n"
    "\n"
    "kelcard is an ORVA management card: \"serve\" answers the card's ZUNA protocol on\n"
    "TCP port 6577 of the loopback address A (127.x.y.z) until SIGINT or SIGTERM,\n"
    "up to 64 connections at the same time, each with a login of its own; one more\n"
    "is closed at once, and so is a connection on which no request byte arrives for\n"
    "5 minutes.\n"
    "\n"
    "With --address FIRST-LAST (at most 1024 addresses, counted up from FIRST) serve\n"
    "answers on each address as a card of its own, with its own configuration, clock,\n"
    "event log, file store and flash, each given every option; card N (0 for FIRST)\n"
    "has the MAC address whose last two bytes are the default's (or --mac's) plus N.\n"
    "serve prints \"kelcard: card ready on A:6577\" once it listens, for a range\n"
    "\"kelcard: COUNT cards ready on FIRST-LAST:6577\" once every card listens; a\n"
    "card's host power actions then end in \" (ADDRESS)\".\n"
    "\n"
    "\"run\" runs PROGRAM with the card's virtual CD-ROM drive on its SCSI bus (the\n"
    "second device of /proc/scsi/scsi, node /dev/sg1; the program runs with the\n"
    "umockdev preload library), standard input, output and error passed on. The drive\n"
    "serves the same card as --serve A, which also answers on A:6577. kelcard run\n"
    "waits until PROGRAM and every process it left behind have ended, passing SIGINT,\n"
    "SIGTERM and SIGHUP on to them, and exits with PROGRAM's exit status (128 + N\n"
    "when signal N ended it; 127 when it cannot be started). It prints nothing itself\n"
    "but its errors and the host power actions, on standard error.\n"
    "\n"
    "Options of serve and run (run takes no --address):\n"
    "  --address A           loopback IPv4 address to listen on (required), or\n"
    "                        FIRST-LAST, a range of them\n"
    "  --state-dir DIR       keep each card's saved configuration in DIR/ADDRESS:\n"
    "                        written each time the card saves it, loaded at start (a\n"
    "                        file that does not parse is reported and left alone;\n"
    "                        the card starts from its defaults); run needs --serve\n"
    "  --user NAME:PASSWORD  an account of the card (repeatable, up to 16; default\n"
    "                        admin:admin)\n"
    "  --fail CODE:STATUS    answer command CODE (0x0907 or decimal) with STATUS\n"
    "                        and no data (repeatable)\n"
    "  --drop CODE           end the connection instead of answering CODE (repeatable)\n"
    "  --late CODE:SECONDS   over TCP, send the answer to CODE only SECONDS (0 to\n"
    "                        3600) after the card has made it (repeatable)\n"
    "  --cut-reply CODE:N[,N...]\n"
    "                        over TCP, send only the first N bytes (0 to 66560) of\n"
    "                        the answer to CODE, then close the connection; with a\n"
    "                        list, the Kth answer to CODE is cut after the Kth N,\n"
    "                        and answers after the list go whole (repeatable)\n"
    "  --clock EPOCH         the card's time at start, in seconds since 1970\n"
    "  --frozen-clock        the card's clock stands still\n"
    "  --fw-version TEXT     firmware version text (a line end is added)\n"
    "  --fw-date TEXT        firmware build date text (a line end is added)\n"
    "  --mac MAC             the card's MAC address, XX:XX:XX:XX:XX:XX\n"
    "                        (default 00:2A:3B:4C:5D:1D)\n"
    "  --link-down           the card's network interface is not up\n"
    "  --no-sdk              the card starts without an SDK file: its sensor read\n"
    "                        answers no data\n"
    "  --sel-records N       start with N sample event-log records (0 to 64), one a\n"
    "                        minute up to the card's start time\n"
    "  --health N:VALUE      health reading N (1 to 6) reads VALUE thousandths of a\n"
    "                        volt (repeatable; default each reading's ideal value)\n"
    "  --upload-crc-error N  the card finds the CRC of file fragment N (from 0) of\n"
    "                        every upload wrong and answers 34\n"
    "  --download-crc-error N\n"
    "                        the card sends file fragment N of every download with\n"
    "                        a wrong CRC\n"
    "  --flash-crc-error N   the card finds the CRC of every write of flash block N\n"
    "                        (0 to 63) wrong and answers 34, and sends every read of\n"
    "                        it with a wrong CRC\n"
    "  --refuse-block N:STATUS\n"
    "                        the card answers every read and write of flash block N\n"
    "                        (0 to 63) with STATUS (up to 65535), writing nothing\n"
    "  --renumber-fragment N:M\n"
    "                        the card numbers its reply to the request for file\n"
    "                        fragment N of every download M (both 0 to 65535)\n"
    "  --vanish-after N      after N file fragments and flash blocks (all transfers\n"
    "                        together) the card ends the connection at every further\n"
    "                        fragment or block\n"
    "\n"
    "The card's file store holds 32 MiB in all; a file fragment beyond that is\n"
    "refused with status 18. The card's flash, 64 blocks of 64 KiB, starts with the\n"
    "image that mkimage writes without options.\n"
    "\n"
    "Each host power action the card carries out is printed on standard error as it\n"
    "happens: \"host power: reset\", \"host power: down\", \"host power: up\" or\n"
    "\"host power: cycle\".\n"
    "\n"
    "\"mkimage\" writes a 4 MiB firmware image to FILE: the boot block and the modules\n"
    "DIAG, OS, WEB, FPGA, CONFIG, SDK and BOOT, each with a sound header and CRC.\n"
    "  --corrupt MODULE      change one data byte of MODULE: its CRC fails (repeatable)\n"
    "  --corrupt-header MODULE  change MODULE's header: its checksum fails (repeatable)\n"
    "  --omit MODULE         leave MODULE out (repeatable)\n"
    "It exits with 0 when the file is written, 1 when it cannot be, 2 for bad\n"
    "arguments.\n";

static_assert(TcpServer::kMaxConnections == 64, "kUsage states the connection limit");
static_assert(ZUNA_MAX_PACKET_LEN == 66560, "kUsage states the longest answer");
static_assert(kMaxCards == 1024, "kUsage states the most cards");
static_assert(kFileStoreLimit == 32u << 20, "kUsage states the file store's size");
static_assert(TcpServer::kDefaultIdleLimit == std::chrono::minutes(5), "kUsage states the idle limit");

const char* const kRunUsage =
    "\n"
    "Drive options of run:\n"
    "  --serve A             also serve the card on A:6577 (a loopback address)\n"
    "  --heartbeat SECONDS   the card's answer to every OS heartbeat (default 10;\n"
    "                        -2147483648 to 2147483647)\n"
    "  --heartbeat-log FILE  write a line to FILE for every heartbeat command the card\n"
    "                        answers: \"start MS\", \"heartbeat MS\" or \"end MS\", MS the\n"
    "                        milliseconds since kelcard run started\n"
    "  --gone-at SECONDS     the card goes away SECONDS after the start: the drive\n"
    "                        stays listed but refuses every command (NOT READY)\n"
    "  --back-at SECONDS     the card comes back SECONDS after the start (needs\n"
    "                        --gone-at, and a later time)\n"
    "  --busy-polls N        readings of the command block answered busy after each\n"
    "                        mailbox command (default 1)\n"
    "  --short-reads N       every mailbox block read moves only its first N bytes\n"
    "                        (0 to 511) with status GOOD: a short transfer\n"
    "  --mouse-script FILE   the remote pointer's packets, answered one per mouse\n"
    "                        query; afterwards nothing new (IsValidData 0). One packet\n"
    "                        a line: EVENT ABSX ABSY VALID (button bits 0-255,\n"
    "                        position 0-65535 each on the 1024x768 scale, IsValidData\n"
    "                        0-255); empty lines and lines starting with # are skipped\n"
    "  --report FILE         when all has ended, write to FILE the drive's command\n"
    "                        counts, \"NAME N\" a line (identify, heartbeat-start,\n"
    "                        heartbeat, heartbeat-end, mouse, mailbox, refused,\n"
    "                        while-away), then \"daemon exit N\" or \"daemon signal N\"\n"
    "                        for each process PROGRAM left behind, as they ended\n"
    "Over the drive, --drop CODE answers CODE with an empty reply.\n";

namespace {

constexpr uint32_t kMaxBusyPolls = 100000;
constexpr uint32_t kMaxAwaySeconds = 86400;
constexpr uint32_t kMaxLateSeconds = 3600;

// "NAME needs WHAT, got 'VALUE'" in `error`; returns false.
bool Refuse(std::string& error, const char* name, const std::string& what, const std::string& value)
{
    error = std::string(name) + " needs " + what + ", got '" + value + "'";
    return false;
}

// Reads a number up to `max` into `target`, or refuses the value as `name` needing `what`.
template <typename T>
bool ReadNumber(const std::string& value, uint32_t max, T& target, const char* name, const std::string& what,
                std::string& error)
{
    const auto number = ParseNumber(value, max);
    if (!number) return Refuse(error, name, what, value);
    target = static_cast<T>(*number);
    return true;
}

// A file fragment number or count, 0 to 65535.
bool ReadFragmentNumber(const std::string& value, std::optional<uint32_t>& target, const char* name,
                        std::string& error)
{
    uint32_t number = 0;
    if (!ReadNumber(value, 0xFFFF, number, name, "a fragment number from 0 to 65535", error)) return false;
    target = number;
    return true;
}

// Seconds since the start, 0 to kMaxAwaySeconds.
bool ReadAwaySeconds(const std::string& value, std::optional<std::chrono::milliseconds>& target, const char* name,
                     std::string& error)
{
    uint32_t seconds = 0;
    if (!ReadNumber(value, kMaxAwaySeconds, seconds, name,
                    "seconds since the start (0 to " + std::to_string(kMaxAwaySeconds) + ")", error))
        return false;
    target = std::chrono::seconds(seconds);
    return true;
}

// FIRST-LAST: two loopback addresses, LAST not before FIRST, at most kMaxCards in all.
bool ReadAddressRange(const std::string& value, ServeOptions& options, std::string& error)
{
    const auto dash = value.find('-');
    const std::string first = value.substr(0, dash);
    const std::string last = value.substr(dash + 1);
    const bool loopback = IsLoopbackIPv4(first) && IsLoopbackIPv4(last);
    const uint32_t from = loopback ? ParseDottedIPv4(first.data(), first.size()).value_or(0) : 0;
    const uint32_t to = loopback ? ParseDottedIPv4(last.data(), last.size()).value_or(0) : 0;
    if (!loopback || to < from || to - from >= kMaxCards) {
        error = "--address needs A or FIRST-LAST, loopback IPv4 addresses (127.x.y.z) with at most " +
                std::to_string(kMaxCards) + " from FIRST to LAST, not '" + value + "'";
        return false;
    }
    options.address = first;
    options.cardCount = to - from + 1;
    return true;
}

bool ReadLoopbackAddress(const std::string& value, std::string& address, const char* name, std::string& error)
{
    if (!IsLoopbackIPv4(value)) {
        error = std::string(name) + " must be a loopback IPv4 address (127.x.y.z), not '" + value + "'";
        return false;
    }
    address = value;
    return true;
}

bool AddAccount(const std::string& value, ServeOptions& options, std::string& error)
{
    const auto colon = value.find(':');
    if (colon == std::string::npos) return Refuse(error, "--user", "NAME:PASSWORD", value);
    Account account;
    account.user = value.substr(0, colon);
    account.password = value.substr(colon + 1);
    if (account.user.empty() || account.user.size() > ZUNA_LOGIN_MAX_TEXT ||
        account.password.size() > ZUNA_LOGIN_MAX_TEXT) {
        error = "--user: the name must have 1 to 31 characters and the password at most 31";
        return false;
    }
    if (options.accounts.size() >= kMaxAccounts) {
        error = "--user: the card holds at most " + std::to_string(kMaxAccounts) + " accounts";
        return false;
    }
    for (const Account& known : options.accounts) {
        if (known.user == account.user) {
            error = "--user " + account.user + " given twice";
            return false;
        }
    }
    options.accounts.push_back(std::move(account));
    return true;
}

bool AddFault(const std::string& value, ServeOptions& options, std::string& error)
{
    const auto colon = value.find(':');
    const auto code = ParseNumber(value.substr(0, colon), 0xFFFF);
    const auto status = colon == std::string::npos ? std::nullopt : ParseNumber(value.substr(colon + 1), 0xFFFF);
    if (!code || !status) return Refuse(error, "--fail", "CODE:STATUS (numbers up to 65535)", value);
    options.faults.emplace_back(static_cast<uint16_t>(*code), static_cast<uint16_t>(*status));
    return true;
}

bool AddLateReply(const std::string& value, ServeOptions& options, std::string& error)
{
    const auto colon = value.find(':');
    const auto code = ParseNumber(value.substr(0, colon), 0xFFFF);
    const auto seconds = colon == std::string::npos ? std::nullopt : ParseNumber(value.substr(colon + 1), kMaxLateSeconds);
    if (!code || !seconds) return Refuse(error, "--late", "CODE:SECONDS (SECONDS from 0 to 3600)", value);
    options.lateReplies.emplace_back(static_cast<uint16_t>(*code), *seconds);
    return true;
}

// CODE:N[,N...]: the cuts of the replies to CODE, in turn.
bool AddCutReply(const std::string& value, ServeOptions& options, std::string& error)
{
    const auto colon = value.find(':');
    const auto code = ParseNumber(value.substr(0, colon), 0xFFFF);
    std::vector<std::size_t> cuts;
    for (std::size_t from = colon; code && from != std::string::npos;) {
        const std::size_t comma = value.find(',', from + 1);
        const auto bytes = ParseNumber(value.substr(from + 1, comma - from - 1), ZUNA_MAX_PACKET_LEN);
        if (!bytes) return Refuse(error, "--cut-reply", "CODE:N[,N...] (each N from 0 to 66560 bytes)", value);
        cuts.push_back(*bytes);
        from = comma;
    }
    if (cuts.empty()) return Refuse(error, "--cut-reply", "CODE:N[,N...] (each N from 0 to 66560 bytes)", value);
    options.cutReplies.emplace_back(static_cast<uint16_t>(*code), std::move(cuts));
    return true;
}

bool AddHealthValue(const std::string& value, ServeOptions& options, std::string& error)
{
    const auto colon = value.find(':');
    const auto index = ParseNumber(value.substr(0, colon), kHealthReadings);
    std::optional<uint32_t> reading;
    if (colon != std::string::npos) reading = ParseNumber(value.substr(colon + 1), UINT32_MAX);
    if (!index || *index == 0 || !reading)
        return Refuse(error, "--health", "N:VALUE (N from 1 to 6, VALUE thousandths of a volt)", value);
    options.health.emplace_back(static_cast<std::size_t>(*index), *reading);
    return true;
}

// Exactly six hex pairs joined by colons, either letter case.
std::optional<std::array<uint8_t, 6>> ParseMac(const std::string& text)
{
    unsigned char mac[MAC_ADDRESS_LEN];
    if (text.size() != MAC_TEXT_LEN - 1 || !ParseMacPairs(text.c_str(), mac, true)) return std::nullopt;
    std::array<uint8_t, 6> bytes{};
    std::copy(std::begin(mac), std::end(mac), bytes.begin());
    return bytes;
}

// The records that --sel-records logs, taken in turn.
struct SampleEvent {
    uint16_t eventId;
    uint8_t severity;
    const char* text;
};
constexpr SampleEvent kSampleEvents[] = {
    {0x0101, SEL_SEVERITY_INFORMATION, "Card started"},
    {0x0201, SEL_SEVERITY_INFORMATION, "Server powered on"},
    {0x0305, SEL_SEVERITY_WARNING, "Server temperature above warning threshold"},
    {0x0306, SEL_SEVERITY_RETURN_TO_OK, "Server temperature back to normal"},
    {0x0402, SEL_SEVERITY_CRITICAL, "Server fan stopped"},
    {0x0203, SEL_SEVERITY_FATAL, "Server power supply failed"},
};

std::string WithLineEnd(std::string text)
{
    if (text.empty() || text.back() != '\n') text += '\n';
    return text;
}

// One option word: its name, whether a value follows it, and what it does to the
// options. apply gets the value ("" for a flag) and returns false with a one-line
// message in `error` when the value is bad.
template <typename Options>
struct Option {
    const char* name;
    bool takesValue;
    bool (*apply)(const std::string& value, Options& options, std::string& error);
};

template <typename Options, std::size_t N>
const Option<Options>* FindOption(const Option<Options> (&table)[N], const std::string& word)
{
    for (const Option<Options>& option : table)
        if (word == option.name) return &option;
    return nullptr;
}

// Applies the option at words[i], stepping i past its value, which must come before
// `end`. False with a message when the value is missing or bad.
template <typename Options>
bool ApplyOption(const Option<Options>& option, const std::vector<std::string>& words, std::size_t end,
                 std::size_t& i, Options& options, std::string& error)
{
    if (!option.takesValue) return option.apply(std::string(), options, error);
    if (i + 1 >= end) {
        error = words[i] + " needs a value";
        return false;
    }
    return option.apply(words[++i], options, error);
}

const Option<ServeOptions> kServeOptions[] = {
    {"--frozen-clock", false,
     [](const std::string&, ServeOptions& options, std::string&) {
         options.frozenClock = true;
         return true;
     }},
    {"--link-down", false,
     [](const std::string&, ServeOptions& options, std::string&) {
         options.linkDown = true;
         return true;
     }},
    {"--no-sdk", false,
     [](const std::string&, ServeOptions& options, std::string&) {
         options.noSdk = true;
         return true;
     }},
    {"--address", true,
     [](const std::string& value, ServeOptions& options, std::string& error) {
         if (value.find('-') != std::string::npos) return ReadAddressRange(value, options, error);
         options.cardCount = 1;
         return ReadLoopbackAddress(value, options.address, "--address", error);
     }},
    {"--state-dir", true,
     [](const std::string& value, ServeOptions& options, std::string& error) {
         if (value.empty()) return Refuse(error, "--state-dir", "a directory", value);
         options.stateDir = value;
         return true;
     }},
    {"--user", true, AddAccount},
    {"--fail", true, AddFault},
    {"--health", true, AddHealthValue},
    {"--late", true, AddLateReply},
    {"--cut-reply", true, AddCutReply},
    {"--drop", true,
     [](const std::string& value, ServeOptions& options, std::string& error) {
         uint16_t code = 0;
         if (!ReadNumber(value, 0xFFFF, code, "--drop", "a command code up to 0xFFFF", error)) return false;
         options.drops.push_back(code);
         return true;
     }},
    {"--clock", true,
     [](const std::string& value, ServeOptions& options, std::string& error) {
         const bool decimal = value.find_first_not_of("0123456789") == std::string::npos;
         const auto clock = decimal ? ParseNumber(value, INT32_MAX) : std::nullopt;
         if (!clock) return Refuse(error, "--clock", "seconds since 1970 (0 to 2147483647)", value);
         options.clock = *clock;
         return true;
     }},
    {"--fw-version", true,
     [](const std::string& value, ServeOptions& options, std::string&) {
         options.fwVersion = value;
         return true;
     }},
    {"--fw-date", true,
     [](const std::string& value, ServeOptions& options, std::string&) {
         options.fwDate = value;
         return true;
     }},
    {"--mac", true,
     [](const std::string& value, ServeOptions& options, std::string& error) {
         options.mac = ParseMac(value);
         return options.mac || Refuse(error, "--mac", "XX:XX:XX:XX:XX:XX (hex pairs)", value);
     }},
    {"--upload-crc-error", true,
     [](const std::string& value, ServeOptions& options, std::string& error) {
         return ReadFragmentNumber(value, options.uploadCrcError, "--upload-crc-error", error);
     }},
    {"--download-crc-error", true,
     [](const std::string& value, ServeOptions& options, std::string& error) {
         return ReadFragmentNumber(value, options.downloadCrcError, "--download-crc-error", error);
     }},
    {"--renumber-fragment", true,
     [](const std::string& value, ServeOptions& options, std::string& error) {
         const auto colon = value.find(':');
         const auto asked = ParseNumber(value.substr(0, colon), 0xFFFF);
         const auto number = colon == std::string::npos ? std::nullopt : ParseNumber(value.substr(colon + 1), 0xFFFF);
         if (!asked || !number) return Refuse(error, "--renumber-fragment", "N:M (fragment numbers 0 to 65535)", value);
         options.renumberFragment = std::pair(*asked, static_cast<uint16_t>(*number));
         return true;
     }},
    {"--vanish-after", true,
     [](const std::string& value, ServeOptions& options, std::string& error) {
         return ReadFragmentNumber(value, options.vanishAfter, "--vanish-after", error);
     }},
    {"--flash-crc-error", true,
     [](const std::string& value, ServeOptions& options, std::string& error) {
         uint32_t block = 0;
         if (!ReadNumber(value, FLASH_BLOCK_COUNT - 1, block, "--flash-crc-error", "a block number from 0 to 63",
                         error))
             return false;
         options.flashCrcError = block;
         return true;
     }},
    {"--refuse-block", true,
     [](const std::string& value, ServeOptions& options, std::string& error) {
         const auto colon = value.find(':');
         const auto block = ParseNumber(value.substr(0, colon), FLASH_BLOCK_COUNT - 1);
         const auto status = colon == std::string::npos ? std::nullopt : ParseNumber(value.substr(colon + 1), 0xFFFF);
         if (!block || !status) return Refuse(error, "--refuse-block", "N:STATUS (N from 0 to 63, STATUS up to 65535)", value);
         options.refusedBlock = {*block, static_cast<uint16_t>(*status)};
         return true;
     }},
    {"--sel-records", true,
     [](const std::string& value, ServeOptions& options, std::string& error) {
         return ReadNumber(value, static_cast<uint32_t>(kSelCapacity), options.selRecords, "--sel-records",
                           "a count from 0 to " + std::to_string(kSelCapacity), error);
     }},
};

// The drive's options of run. --serve's address goes to card.address, which no
// option of the card's own sets in run (--address is refused there).
const Option<RunOptions> kDriveOptions[] = {
    {"--serve", true,
     [](const std::string& value, RunOptions& options, std::string& error) {
         return ReadLoopbackAddress(value, options.card.address, "--serve", error);
     }},
    {"--heartbeat", true,
     [](const std::string& value, RunOptions& options, std::string& error) {
         // A card may answer any 32-bit value, negative ones too.
         const bool negative = value.size() > 1 && value[0] == '-';
         const auto magnitude = ParseNumber(negative ? value.substr(1) : value,
                                            negative ? 0x80000000u : static_cast<uint32_t>(INT32_MAX));
         if (!magnitude) return Refuse(error, "--heartbeat", "seconds (-2147483648 to 2147483647)", value);
         options.drive.heartbeatSeconds =
             static_cast<int32_t>(negative ? -static_cast<int64_t>(*magnitude) : static_cast<int64_t>(*magnitude));
         return true;
     }},
    {"--heartbeat-log", true,
     [](const std::string& value, RunOptions& options, std::string&) {
         options.heartbeatLogPath = value;
         return true;
     }},
    {"--gone-at", true,
     [](const std::string& value, RunOptions& options, std::string& error) {
         return ReadAwaySeconds(value, options.drive.awayFrom, "--gone-at", error);
     }},
    {"--back-at", true,
     [](const std::string& value, RunOptions& options, std::string& error) {
         return ReadAwaySeconds(value, options.drive.awayUntil, "--back-at", error);
     }},
    {"--busy-polls", true,
     [](const std::string& value, RunOptions& options, std::string& error) {
         return ReadNumber(value, kMaxBusyPolls, options.drive.busyPolls, "--busy-polls",
                           "a number (0 to " + std::to_string(kMaxBusyPolls) + ")", error);
     }},
    {"--short-reads", true,
     [](const std::string& value, RunOptions& options, std::string& error) {
         std::size_t bytes = 0;
         if (!ReadNumber(value, X9CD_BLOCK_SIZE - 1, bytes, "--short-reads", "a byte count (0 to 511)", error))
             return false;
         options.drive.shortReads = bytes;
         return true;
     }},
    {"--mouse-script", true,
     [](const std::string& value, RunOptions& options, std::string&) {
         options.mouseScriptPath = value;
         return true;
     }},
    {"--report", true,
     [](const std::string& value, RunOptions& options, std::string&) {
         options.reportPath = value;
         return true;
     }},
};

// The options of mkimage: the damage each does to its module.
constexpr std::pair<std::string_view, IMG_MODULE_DAMAGE> kDamages[] = {
    {"--corrupt", IMG_DAMAGE_DATA}, {"--corrupt-header", IMG_DAMAGE_HEADER}, {"--omit", IMG_DAMAGE_OMIT}};

}  // namespace

std::vector<std::string_view> OptionWords()
{
    std::vector<std::string_view> words;
    for (const Option<ServeOptions>& option : kServeOptions) words.emplace_back(option.name);
    for (const Option<RunOptions>& option : kDriveOptions) words.emplace_back(option.name);
    for (const auto& [word, damage] : kDamages) words.push_back(word);
    return words;
}

bool ParseServeOptions(const std::vector<std::string>& words, ServeOptions& options, std::string& error)
{
    options = ServeOptions{};
    for (std::size_t i = 0; i < words.size(); ++i) {
        const Option<ServeOptions>* option = FindOption(kServeOptions, words[i]);
        if (option == nullptr) {
            error = "unknown option '" + words[i] + "'";
            return false;
        }
        if (!ApplyOption(*option, words, words.size(), i, options, error)) return false;
    }
    if (options.address.empty()) {
        error = "--address is required";
        return false;
    }
    return true;
}

bool ParseMkImageOptions(const std::vector<std::string>& words, MkImageOptions& options, std::string& error)
{
    options = MkImageOptions{};
    for (std::size_t i = 0; i < words.size(); ++i) {
        const auto damage = std::find_if(std::begin(kDamages), std::end(kDamages),
                                         [&](const auto& entry) { return entry.first == words[i]; });
        if (damage == std::end(kDamages)) {
            if (words[i].starts_with("-") || !options.file.empty()) {
                error = "mkimage: unexpected word '" + words[i] + "'";
                return false;
            }
            options.file = words[i];
            continue;
        }
        const std::string name = i + 1 < words.size() ? words[++i] : std::string();
        const auto module = std::find_if(std::begin(kFlashModules), std::end(kFlashModules),
                                         [&](const FLASH_MODULE_NAME_TAG& m) { return name == m.name; });
        if (module == std::end(kFlashModules))
            return Refuse(error, damage->first.data(), "a module (DIAG OS WEB FPGA CONFIG SDK BOOT)", name);
        options.damage[module - std::begin(kFlashModules)] = damage->second;
    }
    if (options.file.empty()) {
        error = "mkimage needs a FILE";
        return false;
    }
    return true;
}

bool ParseRunOptions(const std::vector<std::string>& words, RunOptions& options, std::string& error)
{
    options = RunOptions{};
    const auto dashes = std::find(words.begin(), words.end(), "--");
    if (dashes == words.end() || dashes + 1 == words.end()) {
        error = "run needs \"--\" and the program to run";
        return false;
    }
    const auto optionCount = static_cast<std::size_t>(dashes - words.begin());
    options.program.assign(dashes + 1, words.end());

    for (std::size_t i = 0; i < optionCount; ++i) {
        const std::string& word = words[i];
        if (const Option<RunOptions>* option = FindOption(kDriveOptions, word)) {
            if (!ApplyOption(*option, words, optionCount, i, options, error)) return false;
            continue;
        }
        // The card's options are those of serve; each one's table entry says whether
        // the next word is its value, whatever that word looks like.
        const Option<ServeOptions>* option = FindOption(kServeOptions, word);
        if (option == nullptr || word == "--address") {
            error = word == "--address"          ? "run serves with --serve, not --address"
                    : word.rfind("--", 0) == 0 ? "unknown option '" + word + "'"
                                                 : "unexpected word '" + word + "'";
            return false;
        }
        if (!ApplyOption(*option, words, optionCount, i, options.card, error)) return false;
    }
    if (options.card.stateDir && options.card.address.empty()) {
        error = "--state-dir needs --serve: the state file is named by the address";
        return false;
    }
    if (options.drive.awayUntil && (!options.drive.awayFrom || *options.drive.awayUntil <= *options.drive.awayFrom)) {
        error = "--back-at needs --gone-at with an earlier time";
        return false;
    }
    return true;
}

std::string CardAddress(const ServeOptions& options, std::size_t index)
{
    const auto first = ParseDottedIPv4(options.address.data(), options.address.size());
    const uint32_t address = first.value_or(0) + static_cast<uint32_t>(index);
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::array<uint8_t, 6> CardMac(const ServeOptions& options, std::size_t index)
{
    std::array<uint8_t, 6> mac = options.mac.value_or(kDefaultMac);
    PutBe16(&mac[4], static_cast<uint16_t>(GetBe16(&mac[4]) + index));
    return mac;
}

void ConfigureServer(TcpServer& server, const ServeOptions& options)
{
    for (const auto& [code, seconds] : options.lateReplies) server.AnswerLate(code, std::chrono::seconds(seconds));
    for (const auto& [code, cuts] : options.cutReplies) server.CutReplies(code, cuts);
}

void ConfigureCard(CardModel& card, const ServeOptions& options, int64_t hostNow, std::size_t index)
{
    if (options.frozenClock) card.SetClockSource([hostNow] { return hostNow; });
    if (options.clock) card.SetCardTime(*options.clock);
    for (const auto& [code, status] : options.faults) card.ForceStatus(code, status);
    for (uint16_t code : options.drops) card.ForceDrop(code);
    if (options.mac || index > 0) card.SetMacAddress(CardMac(options, index));
    if (options.linkDown) card.SetInterfaceUp(false);
    if (options.noSdk) card.RemoveSdk();
    for (const auto& [index, reading] : options.health) card.SetHealthValue(index - 1, reading);
    if (options.uploadCrcError) card.InjectUploadCrcError(*options.uploadCrcError);
    if (options.downloadCrcError) card.InjectDownloadCrcError(*options.downloadCrcError);
    if (options.vanishAfter) card.VanishAfterFragments(*options.vanishAfter);
    if (options.renumberFragment)
        card.RenumberDownloadFragment(options.renumberFragment->first, options.renumberFragment->second);
    if (options.flashCrcError) card.InjectFlashCrcError(*options.flashCrcError);
    if (options.refusedBlock) card.RefuseFlashBlock(options.refusedBlock->first, options.refusedBlock->second);
    const int64_t start = card.CardTime();
    for (uint32_t i = 0; i < options.selRecords; ++i) {
        const SampleEvent& event = kSampleEvents[i % std::size(kSampleEvents)];
        card.AddSelRecordAt(start - 60 * static_cast<int64_t>(options.selRecords - i), event.eventId, event.severity,
                            event.text);
    }
    if (options.fwVersion || options.fwDate) {
        card.SetFirmwareInfo(WithLineEnd(options.fwVersion.value_or(kDefaultFwVersion)),
                             WithLineEnd(options.fwDate.value_or(kDefaultFwBuildDate)));
    }
}

}  // namespace kelcard
