// kelvast -flash, -cardMode and -file (one handler, every sub-command under each of
// the three words): the firmware update and the flash read, the configuration module
// saved and put back, the boot block compared, the commit requests, the card mode,
// and files copied between the host and the card's file system.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "filecloser.h"
#include "fmh.h"
#include "imgver.h"

#include "zunaCmd.h"

namespace {

constexpr const char* kServerInfoName = "serverInfo.conf";
constexpr const char* kServerInfoDir = "x9config/";

// A card path the record cannot hold is refused here, before anything is sent.
// The size of a host file the command has just written whole, for --json.
nlohmann::ordered_json WrittenFile(const char* path)
{
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(path, error);
    return {{"host_file", path}, {"bytes", error ? nlohmann::ordered_json() : nlohmann::ordered_json(bytes)}};
}

bool CardPathFits(const char* path)
{
    if (std::strlen(path) < FILE_NAME_LEN) return true;
    std::printf("Error:  the card path has %zu characters, at most %zu are allowed\n", std::strlen(path),
                FILE_NAME_LEN - 1);
    return false;
}

Outcome UploadFile(Run& run, const char* hostFile, const char* cardFile)
{
    if (!CardPathFits(cardFile)) return Outcome::LocalFailure(kExitCardPathTooLong, "card path too long");
    const ZUNA_ERROR status = run.client.UploadFile(hostFile, cardFile);
    return ReportedLine(status, "Error:  %s\n", GetZunaErrorString(status));
}

Outcome DownloadFile(Run& run, const char* cardFile, const char* hostFile)
{
    if (!CardPathFits(cardFile)) return Outcome::LocalFailure(kExitCardPathTooLong, "card path too long");
    const Outcome outcome = Reported(run.client.DownloadFile(cardFile, hostFile), "Error while get number of Records");
    if (outcome.ok()) run.result() = WrittenFile(hostFile);
    return outcome;
}

// Only a path whose first "serverInfo.conf" ends it is taken.
Outcome UploadServerInfo(Run& run, const char* hostFile)
{
    const char* found = std::strstr(hostFile, kServerInfoName);
    if (found == nullptr || std::strlen(found) != std::strlen(kServerInfoName)) {
        return ReportedLine(Outcome::InvalidWords("invalid words"), "Filename should be %s \n", kServerInfoName);
    }
    const std::string cardFile = std::string(kServerInfoDir) + kServerInfoName;
    return UploadFile(run, hostFile, cardFile.c_str());
}

constexpr const char* kOk = "\t\t\t[ OK ]\n";
constexpr const char* kFailed = "\t\t\t[ FAILED ]\n";
constexpr const char* kSkipped = "\t\t\t[ SKIPPED ]\n";
constexpr const char* kImageReadError = "Unable to read from image file !\n";

// A block record for block n, its checkSum and status zeroed.
void StartBlock(FLASH_BLOCK_RECORD& rec, uint32_t n)
{
    rec.blockNum = n;
    rec.checkSum = 0;
    rec.status = 0;
}

// The same with data from `file`; false when the file has fewer than 65536 bytes left.
bool ReadFileBlock(std::FILE* file, FLASH_BLOCK_RECORD& rec, uint32_t n)
{
    StartBlock(rec, n);
    return std::fread(rec.flashData, 1, FLASH_BLOCK_LEN, file) == FLASH_BLOCK_LEN;
}

Outcome UpdateFirmware(Run& run, const char* imageFile, bool withBoot)
{
    std::printf("\n");
    char prompt[256];
    std::snprintf(prompt, sizeof(prompt),
                  "Firmware upgrade is a crucial operation.This operation should not be interrupted.\n The %s will "
                  "also be reset after this command is completed.Are you Sure (y/n)?",
                  kProductWord);
    if (!run.Confirm(prompt)) {
        std::printf("\nCommand cancelled by user\n");
        run.result()["cancelled"] = true;
        return Outcome::Success();
    }
    const bool keepConfig = run.Confirm("Do you want to retain the current configuration after upgrade (y/n)?");
    std::printf("Firmware Image File : \t\t\t[ %s ]\n", imageFile);

    // The image is checked whole (BOOT too when the boot block is written) before
    // anything is written: a short file or a broken module is refused here.
    std::printf("Validating Image File :");
    if (run.client.ValidateImageFile(imageFile, withBoot) != ZUNA_E_SUCCESS) {
        std::printf("%sThe Image file you specified is not in the correct format or is corrupted.Please specify a "
                    "valid image file!\n",
                    kFailed);
        return Outcome::LocalFailure(kExitImageFile, "image not valid");
    }
    std::printf("%s", kOk);

    std::printf("Opening Image File : ");
    HostFile file(std::fopen(imageFile, "rb"));
    if (!file) {
        return ReportedLine(Outcome::LocalFailure(kExitImageFile, "image file not opened"),
                            "%sUnable to open image file, %s\n", kFailed, imageFile);
    }
    std::printf("%s", kOk);

    std::printf("Getting MAC address : ");
    unsigned char mac[MAC_TEXT_LEN] = {};
    ZUNA_ERROR macStatus = run.client.GetCurrentMACAddressString(mac);
    if (macStatus == ZUNA_E_SUCCESS)
        std::printf("%s", kOk);
    else
        std::printf("%s\nUnable to retreive existing MAC address from card. Flashing may cause MAC address loss.\n",
                    kFailed);

    auto rec = std::make_unique<FLASH_BLOCK_RECORD>();
    std::printf("Boot Block Flash : ");
    if (!ReadFileBlock(file.get(), *rec, 0)) {
        return ReportedLine(Outcome::LocalFailure(kExitImageFile, "image file short"), "%s", kImageReadError);
    }
    if (!withBoot) {
        std::printf("%s", kSkipped);
    } else if (const ZUNA_ERROR status = run.client.WriteBlock(rec.get()); status != ZUNA_E_SUCCESS) {
        return ReportedLine(status, "%s", kFailed);
    } else {
        std::printf("%s", kOk);
    }

    const BlockLoopResult flashed = run.client.WriteImageBlocks(file.get(), 1, [](unsigned done, unsigned total) {
        std::printf("Flashing ... Block %u of %u \r", done, total);
        std::fflush(stdout);
    });
    if (flashed.hostFile) {
        return ReportedLine(Outcome::LocalFailure(kExitImageFile, "image file short"), "%s", kImageReadError);
    }
    if (flashed.status != ZUNA_E_SUCCESS) {
        return ReportedLine(flashed.status, "\nError during flashing\t\t\t\t\n");
    }
    file.reset();
    std::printf("Flashing :       %s", kOk);
    std::fflush(stdout);

    std::printf("Saving MAC Address : ");
    if (macStatus == ZUNA_E_SUCCESS) macStatus = run.client.SetMACAddressString(mac);
    std::printf("%s", macStatus == ZUNA_E_SUCCESS ? kOk : kFailed);

    std::printf(keepConfig ? "Resetting %s (Config Retained):" : "Resetting %s (Config Defaults):", kProductWord);
    std::fflush(stdout);
    const ZUNA_ERROR reset = keepConfig ? run.client.ResetX9SaveConfig() : run.client.ResetX9NoConfig();
    std::printf("%s", reset == ZUNA_E_SUCCESS ? kOk : kFailed);
    run.result() = {{"boot_block_written", withBoot}, {"config_retained", keepConfig}};
    // The card is reset either way; an address that could not be kept is the result.
    return macStatus != ZUNA_E_SUCCESS ? macStatus : reset;
}

Outcome ReadFirmware(Run& run, const char* imageFile)
{
    CX9HostFileReplacement file(imageFile);
    if (file.Stream() == nullptr) {
        return ReportedLine(Outcome::LocalFailure(kExitHostFileWrite, "image file not created"),
                            "Unable to open/create image file, %s\n", imageFile);
    }
    std::printf("Reading from Flash ... \n");
    const BlockLoopResult read = run.client.ReadImageBlocks(file.Stream(), [](unsigned done, unsigned total) {
        std::printf("Reading Block... %u of %u \r", done, total);
        std::fflush(stdout);
    });
    if (read.hostFile) {
        return ReportedLine(Outcome::LocalFailure(kExitHostFileWrite, "image file not written"),
                            "Error writing file %s, check disk space ! \n", imageFile);
    }
    if (read.status != ZUNA_E_SUCCESS) {
        return ReportedLine(read.status, "Error during reading from flash...\n");
    }
    // Data still buffered must reach the file: a failed commit is a short write.
    if (!file.Commit()) {
        return ReportedLine(Outcome::LocalFailure(kExitHostFileWrite, "image file not committed"),
                            "Error writing file %s, check disk space ! \n", imageFile);
    }
    std::printf("Reading Block... %u. Done \n", FLASH_BLOCK_COUNT);
    std::printf("Firmware stored in file %s. \n", imageFile);
    run.result() = WrittenFile(imageFile);
    return Outcome::Success();
}

Outcome SaveConfig(Run& run, const char* configFile)
{
    const ZUNA_ERROR status = run.client.ConfigGetFile(configFile);
    if (status == ZUNA_E_SUCCESS) run.result() = WrittenFile(configFile);
    return ReportedLine(status, "Error: %s\n", GetZunaErrorString(status));
}

Outcome RestoreConfig(Run& run, const char* configFile)
{
    HostFile file(std::fopen(configFile, "rb"));
    if (!file) {
        return ReportedLine(Outcome::LocalFailure(kExitConfigFile, "config file not opened"),
                            "Unable to open config file %s\n", configFile);
    }
    fmh header{};
    if (std::fread(&header, 1, FMH_LEN, file.get()) != FMH_LEN) {
        return ReportedLine(Outcome::LocalFailure(kExitConfigFile, "config file header short"),
                            "Unable to get config info from file ! Aborting\n");
    }
    make_fmh_little_endian(&header);
    FLASH_MODULE_INFO info{};
    std::memcpy(info.modName, kFlashModules[FLASH_MODULE_CONFIG].signature, FLASH_MOD_NAME_LEN);
    if (const ZUNA_ERROR status = run.client.ModuleGetNumBlocks(&info); status != ZUNA_E_SUCCESS) {
        return ReportedLine(status, "Unbale to read from %s %s\n", kProductWord, configFile);
    }
    if (info.allocSpace != header.fmh_alloc_space) {
        return ReportedLine(Outcome::LocalFailure(kExitConfigFile, "config section size differs"),
                            "Config section size mismatch ! Can not put back the config section.\n");
    }
    // The whole module is read before its first block is written: a file cut short
    // leaves the flash as it was.
    std::rewind(file.get());
    const std::size_t moduleLen = std::size_t{info.numBlocks} * FLASH_BLOCK_LEN;
    std::vector<unsigned char> module(moduleLen);
    if (std::fread(module.data(), 1, moduleLen, file.get()) != moduleLen) {
        std::printf("Config file %s holds less than the %u blocks of the config section ! Aborting\n", configFile,
                    unsigned{info.numBlocks});
        return Outcome::LocalFailure(kExitConfigFile, "config file short");
    }
    file.reset();
    const ZUNA_ERROR status = run.client.WriteModuleBlocks(info, module, [](unsigned done, unsigned total) {
        std::printf("Flashing the config section block %u of %u\r", done + 1, total);
        std::fflush(stdout);
    });
    if (status != ZUNA_E_SUCCESS) {
        std::printf("\n");
        return Reported(status, "Put Config Failed");
    }
    std::printf("\nConfig section put back successfully. Restart the card...\n");
    return Outcome::Success();
}

Outcome CompareBootBlocks(Run& run, const char* imageFile)
{
    auto boot = std::make_unique<unsigned char[]>(FLASH_BLOCK_LEN);
    HostFile file(std::fopen(imageFile, "rb"));
    if (!file || std::fread(boot.get(), 1, FLASH_BLOCK_LEN, file.get()) != FLASH_BLOCK_LEN) {
        return ReportedLine(Outcome::LocalFailure(kExitImageFile, "image file short"), "%s", kImageReadError);
    }
    file.reset();
    // The card's block is read here, so that a failed read is never taken for a
    // difference (the comparison's own result 1 is also a status).
    auto card = std::make_unique<FLASH_BLOCK_RECORD>();
    StartBlock(*card, 0);
    if (const ZUNA_ERROR status = run.client.ReadBlock(card.get()); status != ZUNA_E_SUCCESS)
        return Reported(status, "Read Boot Block Failed");
    const int result = std::memcmp(card->flashData, boot.get(), FLASH_BLOCK_LEN) != 0 ? 1 : 0;
    if (result == 1)
        std::printf("Different : The boot block in the image file you selected differs from the boot block "
                    "currently on the %s\n",
                    kProductWord);
    else if (result == 0)
        std::printf("Match : The boot block in the image file you selected is the same as the boot block on the %s\n",
                    kProductWord);
    if (result == 1) return Outcome::LocalFailure(kExitBootBlocksDiffer, "boot blocks differ");
    run.result()["boot_block_matches"] = true;
    return Outcome::Success();
}

Outcome ShowCardMode(Run& run)
{
    char mode = 0;
    const ZUNA_ERROR status = run.client.GetCardMode(&mode);
    if (status != ZUNA_E_SUCCESS)
        std::printf("Unable to get Card Mode\n");
    else {
        std::printf(mode != 0 ? "Card is being flashed, back-off!\n" : "Card is in Normal Mode\n");
        run.result()["mode"] = mode != 0 ? "flash" : "normal";
    }
    return status;
}

// -update -boot FILE: word 3 must be the dash word "boot".
Outcome UpdateWithBoot(Run& run, char** argv)
{
    if (argv[3][0] != '-' || x9strcasecmp(argv[3] + 1, "boot") != 0) return Outcome::InvalidWords("invalid words");
    return UpdateFirmware(run, argv[4], true);
}

// The flash and the card-mode commands; no (word, count) of it is in kFileCommands.
const SubCommand kFlashCommands[] = {
    {"read", 4, [](Run& run, char** argv) -> Outcome { return ReadFirmware(run, argv[3]); },
     "     -flash -read filename \n", HelpShown::kAlways},
    {"update", 4, [](Run& run, char** argv) -> Outcome { return UpdateFirmware(run, argv[3], false); },
     "     -flash -update [-boot] filename \n", HelpShown::kAlways},
    {"update", 5, UpdateWithBoot, nullptr, HelpShown::kCovered},
    {"SaveConfig", 3, [](Run& run, char**) { return Reported(run.client.ConfigFlash(), "Save Config Failed"); },
     "     -flash -saveconfig \n", HelpShown::kAlways},
    {"SaveSDK", 3, [](Run& run, char**) { return Reported(run.client.SDKFlash(), "Save SDK Failed"); },
     "     -flash -saveSDK \n", HelpShown::kAlways},
    {"GetConfig", 4, [](Run& run, char** argv) -> Outcome { return SaveConfig(run, argv[3]); },
     "     -flash -getconfig filename\n", HelpShown::kAlways},
    {"PutConfig", 4, [](Run& run, char** argv) -> Outcome { return RestoreConfig(run, argv[3]); },
     "     -flash -putconfig filename\n", HelpShown::kAlways},
    {"CompareBoot", 4, [](Run& run, char** argv) -> Outcome { return CompareBootBlocks(run, argv[3]); },
     "     -flash -compareboot filename\n", HelpShown::kAlways},
    // The whole-image transfers (no question, the MAC address not kept, no reset) are
    // not in the help, which offers -update and -read; the README describes them.
    {"upload", 4,
     [](Run& run, char** argv) { return Reported(run.client.UploadFirmware(argv[3]), "Upload Firmware Failed"); },
     nullptr, HelpShown::kHidden},
    {"download", 4,
     [](Run& run, char** argv) {
         const Outcome outcome = Reported(run.client.DownloadFirmware(argv[3]), "Download Firmware Failed");
         if (outcome.ok()) run.result() = WrittenFile(argv[3]);
         return outcome;
     },
     nullptr, HelpShown::kHidden},
    // The card-mode commands (-Flash sets flash mode, -get shows the mode) are not in
    // the help either; the README describes them.
    {"Flash", 3, [](Run& run, char**) { return Reported(run.client.SetCardToFlashMode(), "Set Flash Mode Failed"); },
     nullptr, HelpShown::kHidden},
    {"get", 3, [](Run& run, char**) -> Outcome { return ShowCardMode(run); }, nullptr, HelpShown::kHidden},
};

// The file transfers, shown in the full help only.
const SubCommand kFileCommands[] = {
    {"upload", 5, [](Run& run, char** argv) -> Outcome { return UploadFile(run, argv[3], argv[4]); },
     "     -file -upload src-filename dst-filename \n", HelpShown::kFullOnly},
    {"download", 5, [](Run& run, char** argv) -> Outcome { return DownloadFile(run, argv[3], argv[4]); },
     "     -file -download src-filename dst-filename \n ", HelpShown::kFullOnly},
    {"uploadServerInfo", 4, [](Run& run, char** argv) -> Outcome { return UploadServerInfo(run, argv[3]); },
     "     -file -uploadServerInfo filename \n"
     "        All the filenames are in full path. \n",
     HelpShown::kFullOnly},
};

}  // namespace

constinit const std::span<const SubCommand> kFlashSubCommands = kFlashCommands;
constinit const std::span<const SubCommand> kFileSubCommands = kFileCommands;

Outcome ProcessFlashCommands(Run& run, int argc, char** argv)
{
    if (const SubCommand* transfer = FindSubCommand(kFileCommands, argc, argv)) return transfer->run(run, argv);
    return RunSubCommand(run, kFlashCommands, argc, argv);
}
