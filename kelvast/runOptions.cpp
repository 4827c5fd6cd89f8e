// kelvast: the long options before the medium word, and the password file.
#include "runOptions.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace {

enum class Takes { kNothing, kValue };

struct OptionEntry {
    std::string_view name;
    Takes takes;
    // Stores the value (or sets the flag); false with the reason for a bad value.
    bool (*store)(RunOptions& options, std::string_view value, std::string& error);
    bool RunOptions::*flag;  // for a flag: the member it sets
};

bool StoreFlag(RunOptions&, std::string_view, std::string&) { return true; }

bool StorePasswordFile(RunOptions& options, std::string_view value, std::string& error)
{
    if (value.empty()) {
        error = "--password-file: the file name is empty";
        return false;
    }
    options.passwordFile = std::string(value);
    return true;
}

bool StoreTimeout(RunOptions& options, std::string_view value, std::string& error)
{
    long seconds = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds, 10);
    if (ec != std::errc() || end != value.data() + value.size() || seconds < RunOptions::kMinTimeout ||
        seconds > RunOptions::kMaxTimeout) {
        error = "--timeout: '" + std::string(value) + "' is not a number of seconds from 1 to 3600";
        return false;
    }
    options.timeout = std::chrono::seconds(seconds);
    return true;
}

bool StoreFanout(RunOptions& options, std::string_view value, std::string& error)
{
    long count = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), count, 10);
    if (ec != std::errc() || end != value.data() + value.size() || count < 1 || count > RunOptions::kMaxFanout) {
        error = "--fanout: '" + std::string(value) + "' is not a number of cards from 1 to 1024";
        return false;
    }
    options.fanout = static_cast<unsigned>(count);
    return true;
}

const OptionEntry kOptions[] = {
    {"json", Takes::kNothing, StoreFlag, &RunOptions::json},
    {"yes", Takes::kNothing, StoreFlag, &RunOptions::yes},
    {"trace", Takes::kNothing, StoreFlag, &RunOptions::trace},
    {"password-file", Takes::kValue, StorePasswordFile, nullptr},
    {"timeout", Takes::kValue, StoreTimeout, nullptr},
    {"fanout", Takes::kValue, StoreFanout, nullptr},
};

}  // namespace

bool ParseRunOptions(int argc, char** argv, RunOptions* options, int* consumed, std::string* error)
{
    bool seen[std::size(kOptions)] = {};
    int i = 1;
    while (i < argc && std::strncmp(argv[i], "--", 2) == 0) {
        const std::string_view word(argv[i] + 2);
        const std::size_t equals = word.find('=');
        const std::string_view name = word.substr(0, equals);
        std::size_t index = 0;
        while (index < std::size(kOptions) && kOptions[index].name != name) ++index;
        if (index == std::size(kOptions)) {
            *error = "unknown option '" + std::string(argv[i]) + "'";
            return false;
        }
        const OptionEntry& entry = kOptions[index];
        if (seen[index]) {
            *error = "option '--" + std::string(name) + "' given twice";
            return false;
        }
        seen[index] = true;
        if (entry.takes == Takes::kNothing) {
            if (equals != std::string_view::npos) {
                *error = "option '--" + std::string(name) + "' takes no value";
                return false;
            }
            options->*entry.flag = true;
            ++i;
            continue;
        }
        std::string_view value;
        if (equals != std::string_view::npos) {
            value = word.substr(equals + 1);
            ++i;
        } else if (i + 1 < argc) {
            value = argv[i + 1];
            i += 2;
        } else {
            *error = "option '--" + std::string(name) + "' needs a value";
            return false;
        }
        if (!entry.store(*options, value, *error)) return false;
    }
    *consumed = i - 1;
    return true;
}
