#include "kelcard_options.h"

#include <charconv>
#include <cstdint>

#include "firmware/login.h"
#include "tcp_server.h"

namespace kelcard {

const char* const kUsage =
    "Usage: kelcard serve --address A [options]\n"
    "       kelcard --help\n"
    "\n"
    "kelcard is an ORVA management card: \"serve\" answers the card's ZUNA protocol on\n"
    "TCP port 6577 of the loopback address A (127.x.y.z), one connection after\n"
    "another, until SIGINT or SIGTERM.\n"
    "\n"
    "Options of serve:\n"
    "  --address A           loopback IPv4 address to listen on (required)\n"
    "  --user NAME:PASSWORD  an account of the card (repeatable; default admin:admin)\n"
    "  --fail CODE:STATUS    answer command CODE (0x0907 or decimal) with STATUS\n"
    "                        and no data (repeatable)\n"
    "  --drop CODE           end the connection instead of answering CODE (repeatable)\n"
    "  --clock EPOCH         the card's time at start, in seconds since 1970\n"
    "  --frozen-clock        the card's clock stands still\n"
    "  --fw-version TEXT     firmware version text (a line end is added)\n"
    "  --fw-date TEXT        firmware build date text (a line end is added)\n";

namespace {

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
        const bool takesValue = word == "--address" || word == "--user" || word == "--fail" || word == "--drop" ||
                                word == "--clock" || word == "--fw-version" || word == "--fw-date";
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

void ConfigureCard(CardModel& card, const ServeOptions& options, int64_t hostNow)
{
    if (options.frozenClock) card.SetClockSource([hostNow] { return hostNow; });
    if (options.clock) card.SetCardTime(*options.clock);
    for (const auto& [code, status] : options.faults) card.ForceStatus(code, status);
    for (uint16_t code : options.drops) card.ForceDrop(code);
    if (options.fwVersion || options.fwDate) {
        card.SetFirmwareInfo(WithLineEnd(options.fwVersion.value_or(kDefaultFwVersion)),
                             WithLineEnd(options.fwDate.value_or(kDefaultFwBuildDate)));
    }
}

}  // namespace kelcard
