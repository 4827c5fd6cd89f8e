// kelvast -file (and, as they come, the card's flash and card-mode commands, which
// share this handler): files copied between the host and the card's file system.
#include <cstdio>
#include <cstring>
#include <string>

#include "zunaCmd.h"

namespace {

constexpr const char* kServerInfoName = "serverInfo.conf";
constexpr const char* kServerInfoDir = "x9config/";

// A card path the record cannot hold is refused here, before anything is sent.
bool CardPathFits(const char* path)
{
    if (std::strlen(path) < FILE_NAME_LEN) return true;
    std::printf("Error:  the card path has %zu characters, at most %zu are allowed\n", std::strlen(path),
                FILE_NAME_LEN - 1);
    return false;
}

int UploadFile(const char* hostFile, const char* cardFile)
{
    if (!CardPathFits(cardFile)) return ZUNA_E_INVALID;
    const ZUNA_ERROR status = pmyIfc->UploadFile(hostFile, cardFile);
    if (status != ZUNA_E_SUCCESS) std::printf("Error:  %s\n", GetZunaErrorString(status));
    return status;
}

int DownloadFile(const char* cardFile, const char* hostFile)
{
    if (!CardPathFits(cardFile)) return ZUNA_E_INVALID;
    const ZUNA_ERROR status = pmyIfc->DownloadFile(cardFile, hostFile);
    if (status != ZUNA_E_SUCCESS) std::printf("Error while get number of Records, %s\n", GetZunaErrorString(status));
    return status;
}

// Only a path whose first "serverInfo.conf" ends it is taken.
int UploadServerInfo(const char* hostFile)
{
    const char* found = std::strstr(hostFile, kServerInfoName);
    if (found == nullptr || std::strlen(found) != std::strlen(kServerInfoName)) {
        std::printf("Filename should be %s \n", kServerInfoName);
        return -1;
    }
    const std::string cardFile = std::string(kServerInfoDir) + kServerInfoName;
    return UploadFile(hostFile, cardFile.c_str());
}

const SubCommand kFlashCommands[] = {
    {"upload", 5, [](char** argv) { return UploadFile(argv[3], argv[4]); }},
    {"download", 5, [](char** argv) { return DownloadFile(argv[3], argv[4]); }},
    {"uploadServerInfo", 4, [](char** argv) { return UploadServerInfo(argv[3]); }},
};

}  // namespace

int ProcessFlashCommands(int argc, char** argv)
{
    return RunSubCommand(kFlashCommands, argc, argv);
}
