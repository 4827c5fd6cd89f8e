// kelvast: the help, six pages with a wait for Enter after each of the first five.
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

void PageScriptUserSel(bool full)
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
    std::printf("\nUser Manger Commands \n");
    std::printf("-----------------------------\n");
    std::printf("     -user -add username password\n");
    std::printf("     -user -del username \n");
    std::printf("     -user -add username password auth\tpvt\n");
    std::printf("     -user -listAllUser\n");
    std::printf("     -user -listAll\n");
    std::printf("     -user -getSnmp\n");
    std::printf("\nSystem Event Log (SEL) Commands \n");
    std::printf("-----------------------------\n");
    if (full) {
        std::printf("     -sel -add moduleNum eventId severity (F-Fatal, W-Warning, I-Information)\n");
        std::printf("     -sel -del recordNum\n");
    }
    std::printf("     -sel -listAll\n");
    std::printf("     -sel -listAllEx\n");
    std::printf("     -sel -selInfo \n");
    std::printf("     -sel -clear \n");
    std::printf("     -sel -setPolicy <ROLLOVER | STOP> \n");
    std::printf("     -sel -getPolicy \n");
}

void PagePefFlashFileHb(bool full)
{
    std::printf("\n");
    std::printf("\nPlatform Event Filtering (PEF) commands \n");
    std::printf("-----------------------------\n");
    std::printf("     -pef -ARInfoSet index name mailId SNMPDest PPPID NotifyMethod NotifyMedium\n");
    std::printf("      PPPPass AlertType\n");
    std::printf("           NotifyMethod can be \"Mail\" or \"SNMP\" and NotifyMedium can be\n");
    std::printf("           \"Lan\" or \"PPP\" and AlertType can be All,Disable or Critical.\n");
    std::printf("     -pef -ARInfoGet index \n");
    std::printf("\nFirmware flasher commands \n");
    std::printf("-----------------------------\n");
    std::printf("     -flash -read filename \n");
    std::printf("     -flash -update [-boot] filename \n");
    std::printf("     -flash -saveconfig \n");
    std::printf("     -flash -saveSDK \n");
    std::printf("     -flash -getconfig filename\n");
    std::printf("     -flash -putconfig filename\n");
    std::printf("     -flash -compareboot filename\n");
    if (full) {
        std::printf("\nFile Upload/Download commands \n");
        std::printf("-----------------------------\n");
        std::printf("     -file -upload src-filename dst-filename \n");
        std::printf("     -file -download src-filename dst-filename \n ");
        std::printf("     -file -uploadServerInfo filename \n");
        std::printf("        All the filenames are in full path. \n");
    }
    std::printf("\nHost HeartBeat commands \n");
    std::printf("-----------------------\n");
    std::printf("     -HB -GetHB\n");
    std::printf("     -HB -SetHB <Heartbeat Time Interval (Seconds)> - <Between 6 and 2147483646>\n");
}

void PageNetGenSdk()
{
    std::printf("\n");
    std::printf("\nNetwork configuration commands \n");
    std::printf("-----------------------------\n");
    std::printf("     -Net -GetMac \n");
    std::printf("     -Net -SetMac <MAC Address> - <Ex: 00:2a:3b:4c:5d:1d> \n");
    std::printf("     -Net -GetConfig \n");
    std::printf("     -Net -SetDHCP \n");
    std::printf("     -Net -SetSTATIC  IP Netmask Gateway\n");
    std::printf("\nGeneral purpose commands \n");
    std::printf("-----------------------------\n");
    std::printf("     -Gen -Reset -SaveConfig|-NoConfig (Reset %s card)\n", kProductWord);
    std::printf("\t\t -SaveConfig (Save Configuration)\n");
    std::printf("\t\t -NoConfig (Don't save Configuration)\n");
    std::printf("     -Gen -fwInfo (Get Firmware Info)\n");
    std::printf("     -Gen -GetName\n");
    std::printf("     -Gen -GetSmtpCfg\n");
    std::printf("     -Gen -SetSmtpCfg server1-IP MailId1 server2-IP MailId2 \n");
    std::printf("     -Gen -GetTime\n");
    std::printf("\nSDK commands\n");
    std::printf("-----------------------\n");
    std::printf("    -SDK -uploadSDK <sdkfile.dat>\n");
    std::printf("    -SDK -deleteSDK\n");
    std::printf("    -SDK -rereadSDK\n");
    std::printf("    -SDK -readsensors\n");
}

void PageServerInfo()
{
    std::printf("\n");
    std::printf("\nServer Information Configuration commands\n");
    std::printf("-----------------------------------------\n");
    std::printf("    -Getserverinfo\n");
    std::printf("    -Setserverinfo -ServerName <Name> -ServerLocn <Location> -ServerOS <OS> -ServerDesc <Description>\n");
}

void PageAdvanced()
{
    constexpr int kMinAsrDelay = 240;
    std::printf("\n");
    std::printf("\nAdvanced Configuration commands\n");
    std::printf("-----------------------\n");
    std::printf("    -ModemCfg -get <dev> ..dev can be ttyS2 or ttyS3 (case sensitive)\n");
    std::printf("                           if dev is omitted both ports are shown\n");
    std::printf("    -ModemCfg -set <dev> <-s baud> <-i initString> <-p phoneNumber>\n");
    std::printf("    -PPPCfg -get\n");
    std::printf("    -PPPCfg -set ServerIP ClientIP \n");
    std::printf("    -ASRCfg -Get\n");
    std::printf("    -ASRCfg -Set ENABLED|DISABLED POWERCYCLE|RESET  Delay\n");
    std::printf("                 Minimum ASR Delay is %d Seconds\n", kMinAsrDelay);
    std::printf("                 DISABLED does not require extra arguments\n");
    std::printf("    -GetI2CCfg  \n");
    std::printf("    -SetI2CCfg new_slave_addr format : 0x22\n");
    std::printf("    -GetIpmiCfg  \n");
    std::printf("    -SetIpmiCfg BMC BMC_addr IPMI_Power_Control IPMI_Sensors Log_IPMI_Events\n");
    std::printf("\t\tExample: -SetIpmiCfg yes 0x20 yes yes yes\n");
    std::printf("\nServer Remote Control commands\n");
    std::printf("-------------------------------\n");
    std::printf("    -HostCtrl <PowerUp | PowerDown | PowerCycle | Reset> \n");
    std::printf("\nCard Health Status commands\n");
    std::printf("----------------------------\n");
    std::printf("    -GetCardHealth \n");
}

}  // namespace

void Usage(const char* startName, int full)
{
    const char* prog = findprogname(startName);
    PageHeading(prog);
    WaitForEnter(kPressEnterDetails, true);
    PageScriptUserSel(full != 0);
    WaitForEnter(kPressEnterMore, false);
    PagePefFlashFileHb(full != 0);
    WaitForEnter(kPressEnterMore, false);
    PageNetGenSdk();
    WaitForEnter(kPressEnterMore, false);
    PageServerInfo();
    WaitForEnter(kPressEnterMore, false);
    PageAdvanced();
    std::fflush(stdout);
}
