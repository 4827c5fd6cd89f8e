// kelexporter's configuration, the text of its file given whole (never a file): a text
// is taken only with at least one module, each with a user of 1 to 31 characters, a
// password file and a timeout from 1 to 3600 seconds; a refusal is one line naming the
// configuration, and the line it names holds the key its reason names.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "exporter_config.h"
#include "login.h"

namespace {

constexpr std::string_view kName = "configuration 'fuzz.ini'";

// Line `number` (from 1) as the parser is handed it: up to its end, at most 199 bytes
// (the parser's line buffer), cut at a NUL. Empty when it is a continuation (it begins
// with a blank), the rest of a longer line, or cut short.
std::string_view ParserLine(std::string_view text, unsigned long number)
{
    constexpr std::size_t kLineBytes = 199;
    bool rest = false;
    for (unsigned long i = 1; !text.empty(); ++i) {
        std::size_t take = std::min(text.find('\n') == std::string_view::npos ? text.size() : text.find('\n') + 1,
                                    kLineBytes);
        std::string_view line = text.substr(0, take);
        text.remove_prefix(take);
        const bool whole = line.back() == '\n';
        if (i == number) {
            line = line.substr(0, line.find('\0'));
            if (rest || !whole || line.empty() || std::isspace(static_cast<unsigned char>(line[0]))) return {};
            return line;
        }
        rest = !whole;
    }
    return {};
}

// The key a reason names: the first quoted text, else its first word.
std::string_view KeyOf(std::string_view reason)
{
    const std::size_t open = reason.find('\'');
    if (open == std::string_view::npos) return reason.substr(0, reason.find(' '));
    const std::string_view quoted = reason.substr(open + 1);
    return quoted.substr(0, quoted.find('\''));
}

void CheckErrorLine(std::string_view text, const std::string& error)
{
    const std::string prefix = std::string(kName) + " line ";
    if (error.rfind(prefix, 0) != 0) return;
    char* end = nullptr;
    const unsigned long number = std::strtoul(error.c_str() + prefix.size(), &end, 10);
    const std::string_view reason = std::string_view(end).substr(2);
    if (reason == "not a section, key = value or comment") return;
    const std::string_view line = ParserLine(text, number);
    if (!line.empty() && line.find(KeyOf(reason)) == std::string_view::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    kelexporter::ConfigText parsed;
    std::string error;
    if (!kelexporter::ParseConfigText(text, "fuzz.ini", parsed, error)) {
        if (error.rfind(kName, 0) != 0 || !parsed.config.modules.empty()) std::abort();
        CheckErrorLine(text, error);
        return 0;
    }
    if (!error.empty() || parsed.config.modules.empty()) std::abort();
    for (const auto& [name, module] : parsed.config.modules) {
        const auto file = parsed.passwordFiles.find(name);
        if (module.user.empty() || module.user.size() > ZUNA_LOGIN_MAX_TEXT || !module.password.empty() ||
            file == parsed.passwordFiles.end() || file->second.empty())
            std::abort();
        if (module.timeout.count() < kelexporter::kMinTimeoutSeconds ||
            module.timeout.count() > kelexporter::kMaxTimeoutSeconds)
            std::abort();
    }
    // Every module's user and password file: nothing else.
    if (parsed.passwordFiles.size() != parsed.config.modules.size()) std::abort();
    return 0;
}
