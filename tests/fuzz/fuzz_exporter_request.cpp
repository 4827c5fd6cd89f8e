// kelexporter's request parameters: target, module and the Accept header of a GET of
// /metrics, given as the input's first three NUL-separated parts (a part left out is
// absent), against a card that never answers. A scrape is tried exactly when the
// target is a strict dotted IPv4 address and the module is configured (the default
// for none), and only for that address; every other request is 400.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command_words.h"
#include "exporter.h"
#include "network.h"

namespace {

std::string g_scraped;  // the address of the last client made

kelexporter::Exporter& TheExporter()
{
    static kelexporter::Exporter exporter(
        [] {
            kelexporter::ExporterConfig config;
            config.modules["default"] = {"admin", "secret", std::chrono::seconds(10)};
            config.modules["lab"] = {"monitor", "other", std::chrono::seconds(3)};
            return config;
        }(),
        1, std::chrono::milliseconds(0),
        [](const std::string& target) {
            g_scraped = target;
            return commandwords::SilentClient(false);
        },
        [](const std::string&) {});
    return exporter;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    commandwords::Words words(data, size, "");
    const char* target = words[1];  // always given: a request without one reads the process's figures
    const char* module = words.Argc() > 2 ? words[2] : nullptr;
    const char* accept = words.Argc() > 3 ? words[3] : nullptr;
    g_scraped.clear();
    const kelexporter::Response response = TheExporter().Handle("GET", "/metrics", target, module, accept);

    const bool strict = ParseDottedIPv4(target, std::strlen(target)).has_value();
    const bool known = module == nullptr || module[0] == '\0' || std::strcmp(module, "default") == 0 ||
                       std::strcmp(module, "lab") == 0;
    const bool scraped = strict && known;
    if (response.status != (scraped ? 200u : 400u) || response.body.empty()) std::abort();
    if (scraped != !g_scraped.empty() || (scraped && g_scraped != target)) std::abort();
    if (scraped && response.body.find("orva_up 0") == std::string::npos) std::abort();
    return 0;
}
