// kelexporter's configuration file: one INI section per module (a credential group),
//
//     [default]
//     user = admin
//     password_file = admin.password   ; relative to the configuration's folder
//     timeout = 10                      ; seconds for a whole scrape, 1 to 3600
//
// The file must be a regular file that others can neither read nor write; each
// password file follows the rules of ReadPasswordFile (passwordfile.h) and is read once,
// at start.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace kelexporter {

struct Module {
    std::string user;
    std::string password;
    std::chrono::seconds timeout{10};
};

struct ExporterConfig {
    std::map<std::string, Module> modules;
};

// What a configuration's text names, before any password file is read.
struct ConfigText {
    ExporterConfig config;                              // each module's password still empty
    std::map<std::string, std::string> passwordFiles;  // module, password file as written
};

inline constexpr long kMinTimeoutSeconds = 1;
// The largest configuration file taken (a configuration of a few modules is a few hundred bytes).
inline constexpr std::size_t kMaxConfigBytes = 1 << 20;
inline constexpr long kMaxTimeoutSeconds = 3600;
// The module a request without one uses.
inline constexpr const char* kDefaultModule = "default";

// Reads the file at `path` and every module's password file. False with one line in
// `error` naming the file (and its line, or the module) and the reason: a file that
// cannot be opened, is not a regular file or that others can use; a line that does not
// parse, a key outside a section, an unknown key or one given twice; a module without
// user or password_file; a user of more than 31 characters; a timeout that is not a
// whole number of seconds from 1 to 3600; a password file refused; no module at all;
// a file larger than kMaxConfigBytes.
bool LoadConfig(const std::string& path, ExporterConfig& config, std::string& error);

// The text of a configuration, as LoadConfig reads its file (a NUL ends the line that
// holds it): every rule above but the file's own and the password files'. `name` names
// the configuration in the error line ("configuration 'NAME' line N: ..."). Touches no
// file.
bool ParseConfigText(std::string_view text, const std::string& name, ConfigText& parsed, std::string& error);

// The module a request names, or the default module for none (null name or empty);
// null when there is no such module.
const Module* FindModule(const ExporterConfig& config, const char* name);

}  // namespace kelexporter
