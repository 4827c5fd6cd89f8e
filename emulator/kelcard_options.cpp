#include "kelcard_options.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "login.h"
#include "sel.h"
#include "tcp_server.h"

namespace kelcard {

const char* const kUsage =
    "Usage: kelcard serve --address A [options]\n"
    "       kelcard run [options] [--serve A] [drive options] -- PROGRAM [ARGS...]\n"
    "       kelcard --help\n"
    "\n"
    "kelcard is an ORVA management card: \"serve\" answers the card's ZUNA protocol on\n"
    "TCP port 6577 of the loopback address A (127.x.y.z), one connection after\n"
    "another, until SIGINT or SIGTERM.\n"
    "\n"
    "\"run\" runs PROGRAM with the card's virtual CD-ROM drive on its SCSI bus (the\n"
    "second device of /proc/scsi/scsi, node /dev/sg1; the program runs with the\n"
    "umockdev preload library), standard input, output and error passed on. The drive\n"
    "serves the same card as --serve A, which also answers on A:6577. kelcard run\n"
    "waits until PROGRAM and every process it left behind have ended, passing SIGINT,\n"
    "SIGTERM and SIGHUP on to them, and exits with PROGRAM's exit status (128 + N\n"
    "when signal N ended it; 127 when it cannot be started). It prints nothing itself\n"
    "but its errors, on standard error.\n"
    "\n"
    "Options of serve and run (run takes no --address):\n"
    "  --address A           loopback IPv4 address to listen on (required)\n"
    "  --user NAME:PASSWORD  an account of the card (repeatable; default admin:admin)\n"
    "  --fail CODE:STATUS    answer command CODE (0x0907 or decimal) with STATUS\n"
    "                        and no data (repeatable)\n"
    "  --drop CODE           end the connection instead of answering CODE (repeatable)\n"
    "  --clock EPOCH         the card's time at start, in seconds since 1970\n"
    "  --frozen-clock        the card's clock stands still\n"
    "  --fw-version TEXT     firmware version text (a line end is added)\n"
    "  --fw-date TEXT        firmware build date text (a line end is added)\n"
    "  --mac MAC             the card's MAC address, XX:XX:XX:XX:XX:XX\n"
    "                        (default 00:2A:3B:4C:5D:1D)\n"
    "  --link-down           the card's network interface is not up\n"
    "  --sel-records N       start with N sample event-log records (0 to 64), one a\n"
    "                        minute up to the card's start time\n";

const char* const kRunUsage =
    "\n"
    "Drive options of run:\n"
    "  --serve A             also serve the card on A:6577 (a loopback address)\n"
    "  --heartbeat SECONDS   the card's answer to every OS heartbeat (default 10)\n"
    "  --busy-polls N        readings of the command block answered busy after each\n"
    "                        mailbox command (default 1)\n"
    "  --mouse-script FILE   the remote pointer's packets, answered one per mouse\n"
    "                        query; afterwards nothing new (IsValidData 0). One packet\n"
    "                        a line: EVENT ABSX ABSY VALID (button bits 0-255,\n"
    "                        position 0-65535 each on the 1024x768 scale, IsValidData\n"
    "                        0-255); empty lines and lines starting with # are skipped\n"
    "Over the drive, --drop CODE answers CODE with an empty reply.\n";

namespace {

constexpr uint32_t kMaxBusyPolls = 100000;

bool ParseAccount(const std::string& value, Account& account, std::string& error)
{
    const auto colon = value.find(':');
    if (colon == std::string::npos) {
        error = "--user needs NAME:PASSWORD, got '" + value + "'";
        return false;
    }
    account.user = value.substr(0, colon);
    account.password = value.substr(colon + 1);
    if (account.user.empty() || account.user.size() > ZUNA_LOGIN_MAX_TEXT ||
        account.password.size() > ZUNA_LOGIN_MAX_TEXT) {
        error = "--user: the name must have 1 to 31 characters and the password at most 31";
        return false;
    }
    return true;
}

bool ParseFault(const std::string& value, std::pair<uint16_t, uint16_t>& fault, std::string& error)
{
    const auto colon = value.find(':');
    const auto code = ParseNumber(value.substr(0, colon), 0xFFFF);
    const auto status = colon == std::string::npos ? std::nullopt : ParseNumber(value.substr(colon + 1), 0xFFFF);
    if (!code || !status) {
        error = "--fail needs CODE:STATUS (numbers up to 65535), got '" + value + "'";
        return false;
    }
    fault = {static_cast<uint16_t>(*code), static_cast<uint16_t>(*status)};
    return true;
}

// Exactly six hex pairs joined by colons, either letter case.
std::optional<std::array<uint8_t, 6>> ParseMac(const std::string& text)
{
    std::array<uint8_t, 6> mac{};
    if (text.size() != 3 * mac.size() - 1) return std::nullopt;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        const char* pair = text.data() + 3 * i;
        if (i > 0 && pair[-1] != ':') return std::nullopt;
        const auto [ptr, ec] = std::from_chars(pair, pair + 2, mac[i], 16);
        if (ec != std::errc() || ptr != pair + 2) return std::nullopt;
    }
    return mac;
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

}  // namespace

std::optional<uint32_t> ParseNumber(const std::string& text, uint32_t max)
{
    int base = 10;
    std::size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        start = 2;
    }
    if (start >= text.size() || text[start] == '+' || text[start] == '-') return std::nullopt;
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data() + start, end, value, base);
    if (ec != std::errc() || ptr != end || value > max) return std::nullopt;
    return value;
}

bool ParseServeOptions(const std::vector<std::string>& words, ServeOptions& options, std::string& error)
{
    options = ServeOptions{};
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--frozen-clock") {
            options.frozenClock = true;
            continue;
        }
        if (word == "--link-down") {
            options.linkDown = true;
            continue;
        }
        const bool takesValue = word == "--address" || word == "--user" || word == "--fail" || word == "--drop" ||
                                word == "--clock" || word == "--fw-version" || word == "--fw-date" ||
                                word == "--mac" || word == "--sel-records";
        if (!takesValue) {
            error = "unknown option '" + word + "'";
            return false;
        }
        if (i + 1 >= words.size()) {
            error = word + " needs a value";
            return false;
        }
        const std::string& value = words[++i];
        if (word == "--address") {
            if (!IsLoopbackIPv4(value)) {
                error = "--address must be a loopback IPv4 address (127.x.y.z), not '" + value + "'";
                return false;
            }
            options.address = value;
        } else if (word == "--user") {
            Account account;
            if (!ParseAccount(value, account, error)) return false;
            for (const Account& known : options.accounts) {
                if (known.user == account.user) {
                    error = "--user " + account.user + " given twice";
                    return false;
                }
            }
            options.accounts.push_back(std::move(account));
        } else if (word == "--fail") {
            std::pair<uint16_t, uint16_t> fault;
            if (!ParseFault(value, fault, error)) return false;
            options.faults.push_back(fault);
        } else if (word == "--drop") {
            const auto code = ParseNumber(value, 0xFFFF);
            if (!code) {
                error = "--drop needs a command code up to 0xFFFF, got '" + value + "'";
                return false;
            }
            options.drops.push_back(static_cast<uint16_t>(*code));
        } else if (word == "--clock") {
            const bool decimal = value.find_first_not_of("0123456789") == std::string::npos;
            const auto clock = decimal ? ParseNumber(value, INT32_MAX) : std::nullopt;
            if (!clock) {
                error = "--clock needs seconds since 1970 (0 to 2147483647), got '" + value + "'";
                return false;
            }
            options.clock = *clock;
        } else if (word == "--fw-version") {
            options.fwVersion = value;
        } else if (word == "--mac") {
            options.mac = ParseMac(value);
            if (!options.mac) {
                error = "--mac needs XX:XX:XX:XX:XX:XX (hex pairs), got '" + value + "'";
                return false;
            }
        } else if (word == "--sel-records") {
            const auto count = ParseNumber(value, static_cast<uint32_t>(kSelCapacity));
            if (!count) {
                error = "--sel-records needs a count from 0 to " + std::to_string(kSelCapacity) + ", got '" +
                        value + "'";
                return false;
            }
            options.selRecords = *count;
        } else {
            options.fwDate = value;
        }
    }
    if (options.address.empty()) {
        error = "--address is required";
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

    std::vector<std::string> cardWords;
    std::string serveAddress;
    for (std::size_t i = 0; i < optionCount; ++i) {
        const std::string& word = words[i];
        const bool driveOption =
            word == "--serve" || word == "--heartbeat" || word == "--busy-polls" || word == "--mouse-script";
        if (!driveOption) {
            // The card's options go to serve's parser as they are: an option, and its
            // value when one follows.
            if (word.rfind("--", 0) != 0 || word == "--address") {
                error = word == "--address" ? "run serves with --serve, not --address" : "unexpected word '" + word + "'";
                return false;
            }
            cardWords.push_back(word);
            if (i + 1 < optionCount && words[i + 1].rfind("--", 0) != 0) cardWords.push_back(words[++i]);
            continue;
        }
        if (i + 1 >= optionCount) {
            error = word + " needs a value";
            return false;
        }
        const std::string& value = words[++i];
        if (word == "--serve") {
            if (!IsLoopbackIPv4(value)) {
                error = "--serve must be a loopback IPv4 address (127.x.y.z), not '" + value + "'";
                return false;
            }
            serveAddress = value;
        } else if (word == "--heartbeat") {
            const auto seconds = ParseNumber(value, INT32_MAX);
            if (!seconds) {
                error = "--heartbeat needs seconds (0 to 2147483647), got '" + value + "'";
                return false;
            }
            options.drive.heartbeatSeconds = static_cast<int32_t>(*seconds);
        } else if (word == "--busy-polls") {
            const auto polls = ParseNumber(value, kMaxBusyPolls);
            if (!polls) {
                error = "--busy-polls needs a number (0 to " + std::to_string(kMaxBusyPolls) + "), got '" + value + "'";
                return false;
            }
            options.drive.busyPolls = *polls;
        } else {
            options.mouseScriptPath = value;
        }
    }
    // The card's options are checked as serve checks them; the drive needs no address.
    cardWords.push_back("--address");
    cardWords.push_back(serveAddress.empty() ? "127.0.0.1" : serveAddress);
    if (!ParseServeOptions(cardWords, options.card, error)) return false;
    options.card.address = serveAddress;
    return true;
}

void ConfigureCard(CardModel& card, const ServeOptions& options, int64_t hostNow)
{
    if (options.frozenClock) card.SetClockSource([hostNow] { return hostNow; });
    if (options.clock) card.SetCardTime(*options.clock);
    for (const auto& [code, status] : options.faults) card.ForceStatus(code, status);
    for (uint16_t code : options.drops) card.ForceDrop(code);
    if (options.mac) card.SetMacAddress(*options.mac);
    if (options.linkDown) card.SetInterfaceUp(false);
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
