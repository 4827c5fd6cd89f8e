// kelexporter's configuration file, parsed by inih.
#include "exporter_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <set>
#include <system_error>

#include <ini.h>

#include "filecloser.h"
#include "login.h"
#include "passwordfile.h"

namespace kelexporter {
namespace {

struct Parsing {
    ExporterConfig config;
    std::map<std::string, std::string> passwordFiles;  // module, path as written
    std::set<std::pair<std::string, std::string>> seen;  // module, key
    std::string reason;                                  // of the first line refused
};

bool Refused(Parsing& parsing, std::string reason)
{
    if (parsing.reason.empty()) parsing.reason = std::move(reason);
    return false;
}

// inih's handler: one key of one section; 0 refuses the line.
int TakeKey(void* user, const char* section, const char* name, const char* value)
{
    Parsing& parsing = *static_cast<Parsing*>(user);
    const std::string key = name;
    if (section[0] == '\0') return Refused(parsing, "'" + key + "' outside a [module] section");
    if (!parsing.seen.emplace(section, key).second)
        return Refused(parsing, "'" + key + "' given twice in [" + section + "]");
    Module& module = parsing.config.modules[section];
    if (key == "user") {
        module.user = value;
        if (module.user.empty() || module.user.size() > ZUNA_LOGIN_MAX_TEXT)
            return Refused(parsing, "user must have 1 to 31 characters");
    } else if (key == "password_file") {
        if (value[0] == '\0') return Refused(parsing, "password_file is empty");
        parsing.passwordFiles[section] = value;
    } else if (key == "timeout") {
        long seconds = 0;
        const char* end = value + std::strlen(value);
        const auto [at, ec] = std::from_chars(value, end, seconds, 10);
        if (ec != std::errc() || at != end || seconds < kMinTimeoutSeconds || seconds > kMaxTimeoutSeconds)
            return Refused(parsing, "timeout must be whole seconds from 1 to 3600, not '" + std::string(value) + "'");
        module.timeout = std::chrono::seconds(seconds);
    } else
        return Refused(parsing, "unknown key '" + key + "' (user, password_file, timeout)");
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

// A password file's path: as written when absolute, else beside the configuration.
std::string BesideConfig(const std::string& config, const std::string& path)
{
    if (path.front() == '/') return path;
    const auto slash = config.rfind('/');
    return slash == std::string::npos ? path : config.substr(0, slash + 1) + path;
}

}  // namespace

bool LoadConfig(const std::string& path, ExporterConfig& config, std::string& error)
{
    std::string reason;
    HostFile file = OpenPrivateFile(path, reason);
    if (!file) {
        error = "configuration '" + path + "': " + reason;
        return false;
    }
    Parsing parsing;
    const int line = ini_parse_file(file.get(), TakeKey, &parsing);
    if (line != 0) {
        error = "configuration '" + path + "' line " + std::to_string(line) + ": " +
                (parsing.reason.empty() ? std::string("not a section, key = value or comment") : parsing.reason);
        return false;
    }
    if (parsing.config.modules.empty()) {
        error = "configuration '" + path + "': no [module] section";
        return false;
    }
    for (auto& [name, module] : parsing.config.modules) {
        const auto found = parsing.passwordFiles.find(name);
        if (module.user.empty() || found == parsing.passwordFiles.end()) {
            error = "configuration '" + path + "': module [" + name + "] needs user and password_file";
            return false;
        }
        const std::string passwordPath = BesideConfig(path, found->second);
        char password[ZUNA_LOGIN_FIELD_LEN];
        if (!ReadPasswordFile(passwordPath, password, sizeof(password), &reason)) {
            error = "password file '" + passwordPath + "' of module [" + name + "]: " + reason;
            return false;
        }
        module.password = password;
        explicit_bzero(password, sizeof(password));
    }
    config = std::move(parsing.config);
    return true;
}

const Module* FindModule(const ExporterConfig& config, const char* name)
{
    const auto found = config.modules.find(name == nullptr || name[0] == '\0' ? kDefaultModule : name);
    return found == config.modules.end() ? nullptr : &found->second;
}

}  // namespace kelexporter
