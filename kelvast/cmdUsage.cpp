// kelvast: the help, six pages with a wait for Enter after each of the first five.
#include <algorithm>
#include <cstdio>
#include <stdio_ext.h>
#include <termios.h>
#include <unistd.h>

#include "zunaCmd.h"

namespace {

const char kPressEnterDetails[] = "\n      ---------------------Press Enter to see Command Details----------------";
const char kPressEnterMore[] = "\n      ---------------------Press Enter to see more----------------";

// Shows the prompt and reads one character; the first wait drops input typed ahead.
void WaitForEnter(const char* prompt, bool first)
{
    std::fputs(prompt, stdout);
    std::fflush(stdout);
    if (first) {
        __fpurge(stdin);
        if (isatty(STDIN_FILENO)) tcflush(STDIN_FILENO, TCIFLUSH);
    }
    (void)std::getchar();
}

void PageHeading(const char* prog)
{
    std::printf("_______________________\n");
    std::printf("\n%s version %s\n", kToolName, kToolVersion);
    std::printf("_______________________\n");
    std::printf("\n\n");
    std::printf(" Usage   : %s -[nw IP username] [cd] <arguments> \n", prog);
    std::printf(" -----\n");
    std::printf("\n Example : %s -nw 10.10.1.10 username  -sel -listall to connect on network\n", prog);
    std::printf(" -------   %s -cd -sel -listall to connect via host interface\n", prog);
    std::printf("\n");
    std::printf(" Logging in\n");
    std::printf(" -----------\n");
    std::printf(" Host '-cd' based access does not require you to login\n\n");
    std::printf(" Network access '-nw' requires a login. Password cannot be specified on the command line.\n");
    std::printf(" You will be prompted for the password.\n");
    std::printf(" Scripting option will prompt for password only once at the beginning\n");
    std::printf("\n Exit status\n");
    std::printf(" -----------\n");
    for (const ExitStatusRow& row : kExitStatusTable) std::printf(" %4d  %s\n", row.status, row.meaning);
    std::printf(" Any other status is the card's own; 1, 8, 26, 28 and 33 are also card statuses.\n");
}

void PageScript()
{
    std::printf("\n");
    std::printf("\nScript mode Commands:\n");
    std::printf("-----------------------------\n");
    std::printf("Script file format is any of the other argument formats mentioned below\n");
    std::printf("For e.g : %s -script myscr.scr\n", kToolName);
    std::printf("     -script ScriptFile\n");
    std::printf("      myscr.scr can contain the fllowing lines if you want to get all users\n");
    std::printf("      and then get network config\n");
    std::printf("     -user -listall\n");
    std::printf("     -net -getconfig\n");
}

// The tables are constant-initialized (constinit), so this table may copy their spans.
const HelpBlock kHelpBlocks[] = {
    {false, "\nUser Manger Commands \n-----------------------------\n", "user", kUserSubCommands, {}},
    {false, "\nSystem Event Log (SEL) Commands \n-----------------------------\n", "sel", kSelSubCommands, {}},
    {true, "\nPlatform Event Filtering (PEF) commands \n-----------------------------\n", "pef", kPefSubCommands, {}},
    {false, "\nFirmware flasher commands \n-----------------------------\n", "flash", kFlashSubCommands, {}},
    {false, "\nFile Upload/Download commands \n-----------------------------\n", "file", kFileSubCommands, {}},
    {false, "\nHost HeartBeat commands \n-----------------------\n", "HB", kHeartbeatSubCommands, {}},
    {true, "\nNetwork configuration commands \n-----------------------------\n", "Net", kNetworkSubCommands, {}},
    {false, "\nGeneral purpose commands \n-----------------------------\n", "Gen", kGeneralSubCommands, {}},
    {false, "\nSDK commands\n-----------------------\n", "SDK", kSdkSubCommands, {}},
    {true, "\nServer Information Configuration commands\n-----------------------------------------\n", nullptr, {},
     kServerInfoSingleCommands},
    {true, "\nAdvanced Configuration commands\n-----------------------\n", "ModemCfg", kModemSubCommands, {}},
    {false, nullptr, "PPPCfg", kPppSubCommands, {}},
    {false, nullptr, "ASRCfg", kAsrSubCommands, {}},
    {false, nullptr, nullptr, {}, kAdvancedSingleCommands},
    {false, "\nServer Remote Control commands\n-------------------------------\n", nullptr, {},
     kRemoteControlSingleCommands},
    {false, "\nCard Health Status commands\n----------------------------\n", nullptr, {}, kCardHealthSingleCommands},
};

bool ShownIn(HelpShown shown, bool full)
{
    return shown == HelpShown::kAlways || (full && shown == HelpShown::kFullOnly);
}

// True when the table has no entry or one that shows in this form.
template <typename Entry>
bool AnyShown(std::span<const Entry> table, bool full)
{
    return table.empty() ||
           std::any_of(table.begin(), table.end(), [full](const Entry& entry) { return ShownIn(entry.shown, full); });
}

template <typename Entry>
void PrintEntries(std::span<const Entry> table, bool full)
{
    for (const Entry& entry : table)
        if (ShownIn(entry.shown, full)) std::fputs(entry.help, stdout);
}

void PrintBlock(const HelpBlock& block, bool full)
{
    if (block.heading != nullptr && AnyShown(block.commands, full) && AnyShown(block.singles, full))
        std::fputs(block.heading, stdout);
    PrintEntries(block.commands, full);
    PrintEntries(block.singles, full);
}

}  // namespace

std::span<const HelpBlock> HelpBlocks()
{
    return kHelpBlocks;
}

void Usage(const char* startName, int full, bool pause)
{
    const char* prog = findprogname(startName);
    PageHeading(prog);
    if (pause) WaitForEnter(kPressEnterDetails, true);
    PageScript();
    for (const HelpBlock& block : kHelpBlocks) {
        if (block.newPage) {
            if (pause) WaitForEnter(kPressEnterMore, false);
            std::printf("\n");
        }
        PrintBlock(block, full != 0);
    }
    std::fflush(stdout);
}
