// kelexporter's configuration file, parsed by inih.
#include "exporter_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <system_error>

#include <ini.h>

#include "filecloser.h"
#include "login.h"
#include "passwordfile.h"

namespace kelexporter {
namespace {

// The keys of a module, each a bit of the keys a module has been given.
enum Key : unsigned { kUser = 1, kPasswordFile = 2, kTimeout = 4 };

Key KeyNamed(std::string_view name)
{
    if (name == "user") return kUser;
    if (name == "password_file") return kPasswordFile;
    if (name == "timeout") return kTimeout;
    return Key{};
}

// The text, handed to inih a line at a time as fgets would hand it from the file: up
// to and with the line end, at most size - 1 bytes. `line` counts the lines handed, as
// inih numbers them.
struct Parsing {
    std::string_view rest;
    int line = 0;
    ConfigText text;
    std::map<std::string, unsigned> seen;  // module, the keys it was given
    std::string reason;                    // of the first line refused here
    int reasonLine = 0;                    // that line
};

char* ReadTextLine(char* line, int size, void* stream)
{
    Parsing& parsing = *static_cast<Parsing*>(stream);
    std::string_view& rest = parsing.rest;
    if (rest.empty() || size < 2) return nullptr;
    const std::size_t end = rest.find('\n');
    const std::size_t take = std::min({end == std::string_view::npos ? rest.size() : end + 1, rest.size(),
                                       static_cast<std::size_t>(size - 1)});
    std::memcpy(line, rest.data(), take);
    line[take] = '\0';
    rest.remove_prefix(take);
    ++parsing.line;
    return line;
}

int Refused(Parsing& parsing, std::string reason)
{
    parsing.reason = std::move(reason);
    parsing.reasonLine = parsing.line;
    return 0;
}

// inih's handler: one key of one section; 0 refuses the line. Once a line is refused
// the text is, so the lines after it are refused unread.
int TakeKey(void* user, const char* section, const char* name, const char* value)
{
    Parsing& parsing = *static_cast<Parsing*>(user);
    if (parsing.reasonLine != 0) return 0;
    const std::string key = name;
    if (section[0] == '\0') return Refused(parsing, "'" + key + "' outside a [module] section");
    const Key which = KeyNamed(key);
    if (which == Key{}) return Refused(parsing, "unknown key '" + key + "' (user, password_file, timeout)");
    unsigned& given = parsing.seen[section];
    if ((given & which) != 0) return Refused(parsing, "'" + key + "' given twice in [" + section + "]");
    given |= which;
    Module& module = parsing.text.config.modules[section];
    if (which == kUser) {
        module.user = value;
        if (module.user.empty() || module.user.size() > ZUNA_LOGIN_MAX_TEXT)
            return Refused(parsing, "user must have 1 to 31 characters");
    } else if (which == kPasswordFile) {
        if (value[0] == '\0') return Refused(parsing, "password_file is empty");
        parsing.text.passwordFiles[section] = value;
    } else {
        long seconds = 0;
        const char* end = value + std::strlen(value);
        const auto [at, ec] = std::from_chars(value, end, seconds, 10);
        if (ec != std::errc() || at != end || seconds < kMinTimeoutSeconds || seconds > kMaxTimeoutSeconds)
            return Refused(parsing, "timeout must be whole seconds from 1 to 3600, not '" + std::string(value) + "'");
        module.timeout = std::chrono::seconds(seconds);
    }
    return 1;
}

// The file opened for reading when it is a regular file others cannot use; null with
// the reason otherwise.
HostFile OpenPrivateFile(const std::string& path, std::string& reason)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        reason = std::generic_category().message(errno);
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        reason = "not a regular file";
        close(fd);
        return nullptr;
    }
    if ((st.st_mode & S_IRWXO) != 0) {
        reason = "others can use it (chmod o-rwx it)";
        close(fd);
        return nullptr;
    }
    HostFile file(fdopen(fd, "r"));
    if (!file) {
        reason = std::generic_category().message(errno);
        close(fd);
    }
    return file;
}

// The whole file, up to kMaxConfigBytes; false with the reason for a read error or a
// larger file.
bool ReadWhole(std::FILE* file, std::string& text, std::string& reason)
{
    char buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof(buf), file)) > 0) {
        text.append(buf, n);
        if (text.size() > kMaxConfigBytes) {
            reason = "larger than " + std::to_string(kMaxConfigBytes) + " bytes";
            return false;
        }
    }
    if (std::ferror(file)) {
        reason = std::generic_category().message(errno);
        return false;
    }
    return true;
}

// A password file's path: as written when absolute, else beside the configuration.
std::string BesideConfig(const std::string& config, const std::string& path)
{
    if (path.front() == '/') return path;
    const auto slash = config.rfind('/');
    return slash == std::string::npos ? path : config.substr(0, slash + 1) + path;
}

}  // namespace

bool ParseConfigText(std::string_view text, const std::string& name, ConfigText& parsed, std::string& error)
{
    Parsing parsing;
    parsing.rest = text;
    const int line = ini_parse_stream(ReadTextLine, &parsing, TakeKey, &parsing);
    if (line != 0) {
        // inih names the first line it or this handler refused; a reason is this
        // handler's only for its own line.
        error = "configuration '" + name + "' line " + std::to_string(line) + ": " +
                (line == parsing.reasonLine ? parsing.reason : std::string("not a section, key = value or comment"));
        return false;
    }
    if (parsing.text.config.modules.empty()) {
        error = "configuration '" + name + "': no [module] section";
        return false;
    }
    for (const auto& [module, settings] : parsing.text.config.modules) {
        if (settings.user.empty() || parsing.text.passwordFiles.count(module) == 0) {
            error = "configuration '" + name + "': module [" + module + "] needs user and password_file";
            return false;
        }
    }
    parsed = std::move(parsing.text);
    return true;
}

bool LoadConfig(const std::string& path, ExporterConfig& config, std::string& error)
{
    std::string reason;
    HostFile file = OpenPrivateFile(path, reason);
    std::string text;
    if (!file || !ReadWhole(file.get(), text, reason)) {
        error = "configuration '" + path + "': " + reason;
        return false;
    }
    ConfigText parsed;
    if (!ParseConfigText(text, path, parsed, error)) return false;
    for (auto& [name, module] : parsed.config.modules) {
        const std::string passwordPath = BesideConfig(path, parsed.passwordFiles.at(name));
        char password[ZUNA_LOGIN_FIELD_LEN];
        if (!ReadPasswordFile(passwordPath, password, sizeof(password), &reason)) {
            error = "password file '" + passwordPath + "' of module [" + name + "]: " + reason;
            return false;
        }
        module.password = password;
        explicit_bzero(password, sizeof(password));
    }
    config = std::move(parsed.config);
    return true;
}

const Module* FindModule(const ExporterConfig& config, const char* name)
{
    const auto found = config.modules.find(name == nullptr || name[0] == '\0' ? kDefaultModule : name);
    return found == config.modules.end() ? nullptr : &found->second;
}

}  // namespace kelexporter
