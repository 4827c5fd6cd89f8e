#include "expected_text.h"

namespace e2e {

const std::string kBanner =
    "\n___________________________________________________________________________________\n"
    "Remember to run kelvast with -flash -saveconfig to make changes permanent\n"
    "___________________________________________________________________________________\n";

std::string HelpText(const std::string& prog, bool full)
{
    std::string t;
    // Page 1.
    t += "_______________________\n";
    t += "\nkelvast version " KELVAST_VERSION "\n";
    t += "_______________________\n";
    t += "\n\n";
    t += " Usage   : " + prog + " -[nw IP username] [cd] <arguments> \n";
    t += " -----\n";
    t += "\n Example : " + prog + " -nw 10.10.1.10 username  -sel -listall to connect on network\n";
    t += " -------   " + prog + " -cd -sel -listall to connect via host interface\n";
    t += "\n";
    t += " Logging in\n";
    t += " -----------\n";
    t += " Host '-cd' based access does not require you to login\n\n";
    t += " Network access '-nw' requires a login. Password cannot be specified on the command line.\n";
    t += " You will be prompted for the password.\n";
    t += " Scripting option will prompt for password only once at the beginning\n";
    t += "\n Exit status\n -----------\n";
    t += "    0  success\n";
    t += "    1  too few words, an unknown SEL policy, boot blocks that differ, or a card of a list that failed\n";
    t += "    8  invalid words or options\n";
    t += "   26  a user name or password refused before sending\n";
    t += "   28  a card path of 80 characters or more\n";
    t += "   33  the card not reached, or its reply refused\n";
    t += "   40  an image file that cannot be opened, read or verified\n";
    t += "   41  a host file that cannot be created or written whole\n";
    t += "   42  a configuration file that cannot be read or does not fit the card\n";
    t += "   43  a card time the host cannot show as a date\n";
    t += "  255  a card status above 255\n";
    t += " Any other status is the card's own; 1, 8, 26, 28 and 33 are also card statuses.\n";
    t += "\n      ---------------------Press Enter to see Command Details----------------";
    // Page 2.
    t += "\n";
    t += "\nScript mode Commands:\n";
    t += "-----------------------------\n";
    t += "Script file format is any of the other argument formats mentioned below\n";
    t += "For e.g : kelvast -script myscr.scr\n";
    t += "     -script ScriptFile\n";
    t += "      myscr.scr can contain the fllowing lines if you want to get all users\n";
    t += "      and then get network config\n";
    t += "     -user -listall\n";
    t += "     -net -getconfig\n";
    t += "\nUser Manger Commands \n";
    t += "-----------------------------\n";
    t += "     -user -add username password\n";
    t += "     -user -del username \n";
    t += "     -user -add username password auth\tpvt\n";
    t += "     -user -listAllUser\n";
    t += "     -user -listAll\n";
    t += "     -user -getSnmp\n";
    t += "\nSystem Event Log (SEL) Commands \n";
    t += "-----------------------------\n";
    if (full) t += "     -sel -add moduleNum eventId severity (F-Fatal, W-Warning, I-Information)\n";
    if (full) t += "     -sel -del recordNum\n";
    t += "     -sel -listAll\n";
    t += "     -sel -listAllEx\n";
    t += "     -sel -selInfo \n";
    t += "     -sel -clear \n";
    t += "     -sel -setPolicy <ROLLOVER | STOP> \n";
    t += "     -sel -getPolicy \n";
    t += "\n      ---------------------Press Enter to see more----------------";
    // Page 3.
    t += "\n";
    t += "\nPlatform Event Filtering (PEF) commands \n";
    t += "-----------------------------\n";
    t += "     -pef -ARInfoSet index name mailId SNMPDest PPPID NotifyMethod NotifyMedium\n";
    t += "      PPPPass AlertType\n";
    t += "           NotifyMethod can be \"Mail\" or \"SNMP\" and NotifyMedium can be\n";
    t += "           \"Lan\" or \"PPP\" and AlertType can be All,Disable or Critical.\n";
    t += "     -pef -ARInfoGet index \n";
    t += "\nFirmware flasher commands \n";
    t += "-----------------------------\n";
    t += "     -flash -read filename \n";
    t += "     -flash -update [-boot] filename \n";
    t += "     -flash -saveconfig \n";
    t += "     -flash -saveSDK \n";
    t += "     -flash -getconfig filename\n";
    t += "     -flash -putconfig filename\n";
    t += "     -flash -compareboot filename\n";
    if (full) t += "\nFile Upload/Download commands \n";
    if (full) t += "-----------------------------\n";
    if (full) t += "     -file -upload src-filename dst-filename \n";
    if (full) t += "     -file -download src-filename dst-filename \n ";
    if (full) t += "     -file -uploadServerInfo filename \n";
    if (full) t += "        All the filenames are in full path. \n";
    t += "\nHost HeartBeat commands \n";
    t += "-----------------------\n";
    t += "     -HB -GetHB\n";
    t += "     -HB -SetHB <Heartbeat Time Interval (Seconds)> - <Between 6 and 2147483646>\n";
    t += "\n      ---------------------Press Enter to see more----------------";
    // Page 4.
    t += "\n";
    t += "\nNetwork configuration commands \n";
    t += "-----------------------------\n";
    t += "     -Net -GetMac \n";
    t += "     -Net -SetMac <MAC Address> - <Ex: 00:2a:3b:4c:5d:1d> \n";
    t += "     -Net -GetConfig \n";
    t += "     -Net -SetDHCP \n";
    t += "     -Net -SetSTATIC  IP Netmask Gateway\n";
    t += "\nGeneral purpose commands \n";
    t += "-----------------------------\n";
    t += "     -Gen -Reset -SaveConfig|-NoConfig (Reset ORVA card)\n";
    t += "\t\t -SaveConfig (Save Configuration)\n";
    t += "\t\t -NoConfig (Don't save Configuration)\n";
    t += "     -Gen -fwInfo (Get Firmware Info)\n";
    t += "     -Gen -GetName\n";
    t += "     -Gen -GetSmtpCfg\n";
    t += "     -Gen -SetSmtpCfg server1-IP MailId1 server2-IP MailId2 \n";
    t += "     -Gen -GetTime\n";
    t += "\nSDK commands\n";
    t += "-----------------------\n";
    t += "    -SDK -uploadSDK <sdkfile.dat>\n";
    t += "    -SDK -deleteSDK\n";
    t += "    -SDK -rereadSDK\n";
    t += "    -SDK -readsensors\n";
    t += "\n      ---------------------Press Enter to see more----------------";
    // Page 5.
    t += "\n";
    t += "\nServer Information Configuration commands\n";
    t += "-----------------------------------------\n";
    t += "    -Getserverinfo\n";
    t += "    -Setserverinfo -ServerName <Name> -ServerLocn <Location> -ServerOS <OS> -ServerDesc <Description>\n";
    t += "\n      ---------------------Press Enter to see more----------------";
    // Page 6.
    t += "\n";
    t += "\nAdvanced Configuration commands\n";
    t += "-----------------------\n";
    t += "    -ModemCfg -get <dev> ..dev can be ttyS2 or ttyS3 (case sensitive)\n";
    t += "                           if dev is omitted both ports are shown\n";
    t += "    -ModemCfg -set <dev> <-s baud> <-i initString> <-p phoneNumber>\n";
    t += "    -PPPCfg -get\n";
    t += "    -PPPCfg -set ServerIP ClientIP \n";
    t += "    -ASRCfg -Get\n";
    t += "    -ASRCfg -Set ENABLED|DISABLED POWERCYCLE|RESET  Delay\n";
    t += "                 Minimum ASR Delay is 240 Seconds\n";
    t += "                 DISABLED does not require extra arguments\n";
    t += "    -GetI2CCfg  \n";
    t += "    -SetI2CCfg new_slave_addr format : 0x22\n";
    t += "    -GetIpmiCfg  \n";
    t += "    -SetIpmiCfg BMC BMC_addr IPMI_Power_Control IPMI_Sensors Log_IPMI_Events\n";
    t += "\t\tExample: -SetIpmiCfg yes 0x20 yes yes yes\n";
    t += "\nServer Remote Control commands\n";
    t += "-------------------------------\n";
    t += "    -HostCtrl <PowerUp | PowerDown | PowerCycle | Reset> \n";
    t += "\nCard Health Status commands\n";
    t += "----------------------------\n";
    t += "    -GetCardHealth \n";
    return t;
}

}  // namespace e2e
