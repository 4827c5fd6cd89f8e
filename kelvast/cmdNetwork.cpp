// kelvast -net: MAC address and IP configuration of the card.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "zunaCmd.h"

namespace {

// A card's text in lower case (ASCII letters only), bounded by its field: a MAC address
// as xx:xx:xx:xx:xx:xx, a configuration method as "static" or "dhcp".
std::string LowerText(const char* field, std::size_t size)
{
    std::string text = TextOfField(field, size);
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The network configuration as --json shows it; "interface" is "" when the interface
// is not up.
nlohmann::ordered_json ToJson(const ZUNA_API_GET_NETWORK_CFG_REC& cfg)
{
    return {{"method", LowerText(cfg.configuration_method, sizeof(cfg.configuration_method))},
            {"interface", TextOfField(cfg.network_link, sizeof(cfg.network_link))},
            {"mac", LowerText(cfg.mac_address, sizeof(cfg.mac_address))},
            {"ip", TextOfField(cfg.ip_address, sizeof(cfg.ip_address))},
            {"broadcast", TextOfField(cfg.broadcast, sizeof(cfg.broadcast))},
            {"netmask", TextOfField(cfg.netmask, sizeof(cfg.netmask))},
            {"gateway", TextOfField(cfg.gateway, sizeof(cfg.gateway))}};
}

Outcome GetMac(Run& run)
{
    unsigned char text[MAC_TEXT_LEN] = {};
    const ZUNA_ERROR status = run.client.GetCurrentMACAddressString(text);
    if (status != ZUNA_E_SUCCESS) return ReportedLine(status, "Error while getting MAC address !\n");
    std::printf("MAC Address is : %s \n", reinterpret_cast<const char*>(text));
    run.result()["mac"] = LowerText(reinterpret_cast<const char*>(text), sizeof(text));
    return status;
}

Outcome SetDhcp(Run& run)
{
    const ZUNA_ERROR status = run.client.SetNetworkwithDHCP();
    if (status != ZUNA_E_SUCCESS) return ReportedLine(status, "Error while changing the configuration! \n");
    std::printf("Network configuration changed successfully !\n");
    return status;
}

Outcome GetConfig(Run& run)
{
    ZUNA_API_GET_NETWORK_CFG_REC cfg{};
    const ZUNA_ERROR status = run.client.GetCurrentNetworkConfiguration(reinterpret_cast<char*>(&cfg));
    if (status != ZUNA_E_SUCCESS) return ReportedLine(status, "Unable to get Network configuration ! \n");
    run.result() = ToJson(cfg);
    if (cfg.network_link[0] == '\0') {
        std::printf("Network interface is not up.\n");
        return status;
    }
    std::printf("Current Network Configuration : \n");
    std::printf("Configuration method: %s\n", CardText(cfg.configuration_method).c_str());
    std::printf("Interface Name      : %s\n", CardText(cfg.network_link).c_str());
    std::printf("MAC Address         : %s\n", CardText(cfg.mac_address).c_str());
    std::printf("IP Address          : %s\n", CardText(cfg.ip_address).c_str());
    std::printf("Broadcast           : %s\n", CardText(cfg.broadcast).c_str());
    std::printf("Netmask             : %s\n", CardText(cfg.netmask).c_str());
    std::printf("Gateway             : %s\n", CardText(cfg.gateway).c_str());
    return status;
}

Outcome SetMac(Run& run, const char* text)
{
    char prompt[128];
    std::snprintf(prompt, sizeof(prompt), "This operation will reset the %s card after completion.Are you Sure (y/n)?",
                  kProductWord);
    if (!run.Confirm(prompt)) {
        std::printf("\nCommand cancelled by user\n");
        run.result()["cancelled"] = true;
        return Outcome::Success();
    }
    // The address is checked before its pairs are read, so a short text is never
    // read past its end.
    if (ValidateMACAddress(text, nullptr) != 0)
        return ReportedLine(Outcome::InvalidWords("invalid words"), "Invalid MAC address: %s \n", text);
    unsigned char mac[MAC_ADDRESS_LEN];
    ParseMacPairs(text, mac, true);
    const ZUNA_ERROR status = run.client.SetMACAddressBytesAndResetX9(mac);
    if (status != ZUNA_E_SUCCESS) return ReportedLine(status, "Unable to set MAC address  ! \n");
    std::printf("MAC address set successfully! \n");
    std::printf("Card has been reset! \n");
    return status;
}

Outcome SetStatic(Run& run, const char* ip, const char* netmask, const char* gateway)
{
    if (ValidateIPAddress(ip) != 0 || ValidateIPAddress(netmask) != 0 || ValidateIPAddress(gateway) != 0)
        return ReportedLine(Outcome::InvalidWords("invalid words"), "Wrong IP address : IP: %s Netmask: %s Gateway: %s\n",
                            ip, netmask, gateway);
    const ZUNA_ERROR status = run.client.SetNetworkStatically(ip, netmask, gateway, 1);
    if (status == ZUNA_E_SUCCESS) {
        std::printf("Network Configuration changed successfully! \n");
        return Outcome::Success();
    }
    // The card drops the connection when it takes its new address; a card that stays
    // busy past the one try (the host interface's time-out) has not taken it.
    if (status == ZUNA_E_CONNECTION && run.client.GetIssueLastError() != ZUNA_E_TMOUT) {
        std::printf("The IP address of %s card has been changed to %s.\nPlease use the new IP to connect to the card.\n",
                    kProductWord, ip);
        return Outcome::Success();
    }
    return ReportedLine(status, "Error while setting network configuration ! \n");
}

const SubCommand kNetworkCommands[] = {
    {"GetMAC", 3, [](Run& run, char**) -> Outcome { return GetMac(run); }, "     -Net -GetMac \n",
     HelpShown::kAlways},
    {"SetMAC", 4, [](Run& run, char** argv) -> Outcome { return SetMac(run, argv[3]); },
     "     -Net -SetMac <MAC Address> - <Ex: 00:2a:3b:4c:5d:1d> \n", HelpShown::kAlways},
    {"GetConfig", 3, [](Run& run, char**) -> Outcome { return GetConfig(run); },
     "     -Net -GetConfig \n", HelpShown::kAlways},
    {"SetDHCP", 3, [](Run& run, char**) -> Outcome { return SetDhcp(run); }, "     -Net -SetDHCP \n",
     HelpShown::kAlways},
    {"SetStatic", 6, [](Run& run, char** argv) -> Outcome { return SetStatic(run, argv[3], argv[4], argv[5]); },
     "     -Net -SetSTATIC  IP Netmask Gateway\n", HelpShown::kAlways},
};

}  // namespace

constinit const std::span<const SubCommand> kNetworkSubCommands = kNetworkCommands;

int IsHexa(char c)
{
    return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ? 1 : 0;
}

int ValidateIPAddress(const char* text)
{
    int part[4];
    if (std::sscanf(text, "%03d.%03d.%03d.%03d", &part[0], &part[1], &part[2], &part[3]) != 4) return -1;
    for (int value : part)
        if (value < 0 || value > 255) return -1;
    return 0;
}

int ValidateMACAddress(const char* text, unsigned char* /*bytes*/)
{
    // Six hex pairs (digits, or letters IsHexa accepts) joined by ':'; a NUL fails.
    unsigned char mac[MAC_ADDRESS_LEN];
    return ParseMacPairs(text, mac, true) ? 0 : -1;
}

Outcome ProcessNetworkCommands(Run& run, int argc, char** argv)
{
    return RunSubCommand(run, kNetworkCommands, argc, argv);
}
