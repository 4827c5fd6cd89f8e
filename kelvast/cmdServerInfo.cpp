// kelvast -GetServerInfo and -setServerInfo: the description of the host server that
// the card keeps.
#include <cstdio>
#include <cstring>

#include "zunaCmd.h"

namespace {

struct ServerInfoOption {
    const char* word;
    char* (*field)(SERVER_INFO_STRUCT_tag& info);
    std::size_t size;
    const char* what;
};

const ServerInfoOption kOptions[] = {
    {"-ServerName", [](SERVER_INFO_STRUCT_tag& i) { return i.serverName; }, sizeof(SERVER_INFO_STRUCT_tag::serverName),
     "server name"},
    {"-ServerLocn", [](SERVER_INFO_STRUCT_tag& i) { return i.serverLocation; },
     sizeof(SERVER_INFO_STRUCT_tag::serverLocation), "server location"},
    {"-ServerOS", [](SERVER_INFO_STRUCT_tag& i) { return i.serverOs; }, sizeof(SERVER_INFO_STRUCT_tag::serverOs),
     "server OS"},
    {"-ServerDesc", [](SERVER_INFO_STRUCT_tag& i) { return i.serverDescription; },
     sizeof(SERVER_INFO_STRUCT_tag::serverDescription), "server description"},
};

// The server's description as --json shows it.
nlohmann::ordered_json ToJson(const SERVER_INFO_STRUCT_tag& info)
{
    return {{"server_name", TextOfField(info.serverName, sizeof(info.serverName))},
            {"server_location", TextOfField(info.serverLocation, sizeof(info.serverLocation))},
            {"server_os", TextOfField(info.serverOs, sizeof(info.serverOs))},
            {"server_description", TextOfField(info.serverDescription, sizeof(info.serverDescription))}};
}

}  // namespace

Outcome ShowServerInfo(Run& run)
{
    SERVER_INFO_STRUCT_tag info{};
    if (const ZUNA_ERROR status = run.client.GetServerInfo(&info); status != ZUNA_E_SUCCESS)
        return ReportedLine(status, "Unable to get server information\n");
    std::printf("Server Name: %s\n", CardText(info.serverName).c_str());
    std::printf("Server Location: %s\n", CardText(info.serverLocation).c_str());
    std::printf("Server OS: %s\n", CardText(info.serverOs).c_str());
    std::printf("Server Description: %s\n", CardText(info.serverDescription).c_str());
    run.result() = ToJson(info);
    return Outcome::Success();
}

Outcome ProcessServerInfo(Run& run, int argc, char** argv)
{
    constexpr int kMinWords = 9;
    if (argc < kMinWords) return Outcome::InvalidWords("invalid words");

    SERVER_INFO_STRUCT_tag info;
    std::memset(&info, 0, sizeof(info));
    for (const ServerInfoOption& option : kOptions) {
        for (int i = 2; i < argc; i += 2) {
            if (x9strcasecmp(argv[i], option.word) != 0) continue;
            if (i + 1 >= argc) return Outcome::InvalidWords("invalid words");
            const char* value = argv[i + 1];
            if (!PutTextField(option.field(info), option.size, value))
                return ReportedLine(Outcome::InvalidWords("invalid words"), "Invalid %s: at most %zu characters are allowed!\n", option.what,
                                    option.size - 1);
            break;
        }
    }
    const ZUNA_ERROR status = run.client.SetServerInfo(&info);
    if (status != ZUNA_E_SUCCESS) return Reported(status, "Set Server Information Failed");
    std::printf("Server Information set successfully\n");
    return Outcome::Success();
}
