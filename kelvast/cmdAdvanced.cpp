// kelvast -ModemCfg, -PppCfg, -ASRCfg and the single commands -GetI2CCfg, -SetI2CCfg,
// -GetIpmiCfg and -SetIpmiCfg: the card's modem ports, PPP addresses, automatic server
// recovery, I2C slave address and IPMI settings.
#include <charconv>
#include <cstdio>
#include <cstring>

#include "zunaCmd.h"

namespace {

constexpr int kInvalidValue = ZUNA_E_RANGE;  // a modem value that fails its check

const char* const kModemBauds[] = {"9600", "19200", "38400", "57600"};

// A card text for --json: the field's bytes up to its NUL or its end.
template <std::size_t N>
std::string FieldString(const char (&field)[N])
{
    return TextOfField(field, N);
}

// A modem port for --json. The speed is the card's decimal text: a number, or null
// when the field is empty or holds anything else.
nlohmann::ordered_json ToJson(const MODEM_CONFIG_REC& rec)
{
    const std::string baudText = FieldString(rec.baud);
    unsigned long baud = 0;
    const auto [end, ec] = std::from_chars(baudText.data(), baudText.data() + baudText.size(), baud);
    const bool number = !baudText.empty() && ec == std::errc() && end == baudText.data() + baudText.size();
    return {{"port", FieldString(rec.dev)},
            {"baud", number ? nlohmann::ordered_json(baud) : nlohmann::ordered_json(nullptr)},
            {"init_string", FieldString(rec.initStr)},
            {"phone_number", FieldString(rec.phoneNum)}};
}

nlohmann::ordered_json ToJson(const PPP_SERVER_IP_REC& ips)
{
    return {{"server_ip", FieldString(ips.serverIp)}, {"client_ip", FieldString(ips.clientIp)}};
}

// The words as the text shows them (any state but enabled reads as disabled, any
// method but power cycle as reset), with the card's numbers beside them.
nlohmann::ordered_json ToJson(const ASR_REC_tag& asr)
{
    return {{"state", asr.asr_state == ASR_STATE_ENABLED ? "enabled" : "disabled"},
            {"state_number", +asr.asr_state},
            {"method", asr.asr_method == ASR_METHOD_POWER_CYCLE ? "power_cycle" : "reset"},
            {"method_number", +asr.asr_method},
            {"delay_seconds", +asr.asr_delay}};
}

nlohmann::ordered_json ToJson(const IPMI_CONFIG_INFO_tag& cfg)
{
    return {{"bmc_present", cfg.bmc_present != 0},
            {"bmc_address", static_cast<unsigned char>(cfg.bmc_addr)},
            {"ipmi_power", cfg.ipmi_power != 0},
            {"ipmi_sensors", cfg.ipmi_sensors != 0},
            {"log_ipmi_events", cfg.log_ipmi_events != 0}};
}

// -ModemCfg -get PORT: the port word goes to the card as it is (the card answers for
// the ports it has); a word that does not fit the record's field is refused.
Outcome GetModemConfig(Run& run, const char* port)
{
    MODEM_CONFIG_REC rec{};
    if (!PutTextField(rec.dev, port))
        return ReportedLine(Outcome::InvalidWords("invalid words"), "Device can be ttyS2 or ttyS3\n");
    const ZUNA_ERROR status = run.client.GetModemConfig(&rec);
    if (status != ZUNA_E_SUCCESS) return ReportedLine(status, "Error when getting Modem configuration!\n");
    std::printf("Serial Port : %s\n", CardText(rec.dev).c_str());
    std::printf("Speed       : %s\n", CardText(rec.baud).c_str());
    std::printf("Init String : %s\n", CardText(rec.initStr).c_str());
    std::printf("Phone Number: %s\n", CardText(rec.phoneNum).c_str());
    nlohmann::ordered_json& ports = run.result()["ports"];
    if (!ports.is_array()) ports = nlohmann::ordered_json::array();
    ports.push_back(ToJson(rec));
    return status;
}

// -ModemCfg -get: both ports; the second only when the first could be read.
Outcome GetBothModemPorts(Run& run)
{
    if (const Outcome first = GetModemConfig(run, MODEM_PORT_1); !first.ok()) return first;
    return GetModemConfig(run, MODEM_PORT_2);
}

// -ModemCfg -set PORT OPTIONS (argc words): nothing is sent unless every word is right.
Outcome SetModemPort(Run& run, int argc, char** argv)
{
    MODEM_CONFIG_REC rec{};
    // A value that fails its check is an invalid option too (after its message).
    if (parseModemArg(argc, argv, &rec) != 0) return Outcome::InvalidWords("modem options");
    return Reported(run.client.SetModemConfig(&rec), "Set Modem Config Failed");
}

bool IsOption(const char* word, const char* option)
{
    return x9strcasecmp(word, option) == 0;
}

// Checks `value` with `check` and stores it in its field: 0, or the check's result.
template <std::size_t N>
int StoreModemValue(char (&field)[N], const char* value, int (*check)(const char*))
{
    if (const int result = check(value); result != 0) return result;
    PutTextField(field, value);  // every check keeps the value within its field
    return 0;
}

int StoreBaud(MODEM_CONFIG_REC* rec, const char* value)
{
    return StoreModemValue(rec->baud, value, CheckModemBaud);
}
int StoreInitStr(MODEM_CONFIG_REC* rec, const char* value)
{
    return StoreModemValue(rec->initStr, value, CheckInitStrLen);
}
int StorePhoneNum(MODEM_CONFIG_REC* rec, const char* value)
{
    return StoreModemValue(rec->phoneNum, value, CheckPhoneNum);
}

// The -ModemCfg -set options, each with the field it fills.
struct ModemOption {
    const char* word;
    int (*store)(MODEM_CONFIG_REC* rec, const char* value);
};
const ModemOption kModemOptions[] = {{"-s", StoreBaud}, {"-i", StoreInitStr}, {"-p", StorePhoneNum}};
constexpr std::size_t kPhoneOption = 2;

// --- PPP addresses ---------------------------------------------------------------------

Outcome GetPppAddresses(Run& run)
{
    PPP_SERVER_IP_REC ips{};
    const ZUNA_ERROR status = run.client.GetPppServerIps(&ips);
    if (status != ZUNA_E_SUCCESS) return ReportedLine(status, "Error when getting PPP server IPs !\n");
    std::printf("PPP Server IP Configuration\n");
    std::printf("Server IP : %s \n", CardText(ips.serverIp).c_str());
    std::printf("Client IP : %s \n", CardText(ips.clientIp).c_str());
    run.result() = ToJson(ips);
    return status;
}

// Plain dotted decimal, as the medium takes the card's own address: four numbers 0 to
// 255 without leading zeros, nothing before or after ("010.2.3.4", " 1.2.3.4" and
// "1.2.3.4x" are refused).
bool IsPlainDottedAddress(const char* word)
{
    return ParseDottedIPv4(word, std::strlen(word)).has_value();
}

// Both addresses must be plain dotted IPv4 texts (which always fit their fields).
Outcome SetPppAddresses(Run& run, const char* server, const char* clientIp)
{
    PPP_SERVER_IP_REC ips{};
    if (!IsPlainDottedAddress(server) || !IsPlainDottedAddress(clientIp) || !PutTextField(ips.serverIp, server) ||
        !PutTextField(ips.clientIp, clientIp))
        return ReportedLine(Outcome::InvalidWords("invalid words"), "Invalid IP address !\n");
    return ReportedLine(run.client.SetPppServerIps(&ips), "Error when setting PPP server IPs !\n");
}

// --- Automatic server recovery ---------------------------------------------------------

Outcome GetAsr(Run& run)
{
    ASR_REC_tag asr{};
    const ZUNA_ERROR status = run.client.GetASRConfig(&asr);
    if (status != ZUNA_E_SUCCESS) return ReportedLine(status, "Not able to get ASR config !\n");
    std::printf("ASR Configuration : \n%s = ", "ASR_STATE");
    std::printf("%s\n", asr.asr_state == ASR_STATE_ENABLED ? "ENABLED" : "DISABLED");
    std::printf("%s = ", "ASR_METHOD");
    std::printf("%s\n", asr.asr_method == ASR_METHOD_POWER_CYCLE ? "POWER_CYCLE" : "RESET");
    std::printf("%s=%d\n", "ASR_DELAY", static_cast<int>(asr.asr_delay));
    run.result() = ToJson(asr);
    return Outcome::Success();
}

// -ASRCfg -set DISABLED: recovery off, with the reset method and the least delay.
Outcome DisableAsr(Run& run, const char* stateWord)
{
    if (x9strcasecmp(stateWord, "DISABLED") != 0)
        return ReportedLine(Outcome::InvalidWords("invalid words"), "ASR method was not given !\n");
    ASR_REC_tag asr{ASR_STATE_DISABLED, ASR_METHOD_RESET, ASR_MIN_DELAY};
    return Reported(run.client.SetASRConfig(&asr), "Set ASR Config Failed");
}

// -ASRCfg -set STATE METHOD DELAY. The delay is a decimal number that is the whole word
// ("100abc", " 300" and "" are refused) and fits the card's 16-bit field.
Outcome SetAsr(Run& run, const char* stateWord, const char* methodWord, const char* delayWord)
{
    ASR_REC_tag asr{};
    if (x9strcasecmp(stateWord, "DISABLED") == 0)
        asr.asr_state = ASR_STATE_DISABLED;
    else if (x9strcasecmp(stateWord, "ENABLED") == 0)
        asr.asr_state = ASR_STATE_ENABLED;
    else
        return Outcome::InvalidWords("invalid words");
    if (x9strcasecmp(methodWord, "POWERCYCLE") == 0)
        asr.asr_method = ASR_METHOD_POWER_CYCLE;
    else if (x9strcasecmp(methodWord, "RESET") == 0)
        asr.asr_method = ASR_METHOD_RESET;
    else
        return Outcome::InvalidWords("invalid words");
    long delay = 0;
    if (!ReadWholeNumber(delayWord, delay) || delay < 0 || delay > UINT16_MAX) return Outcome::InvalidWords("invalid words");
    asr.asr_delay = static_cast<uint16_t>(delay);
    if (asr.asr_delay < ASR_MIN_DELAY) {
        std::printf("Defaulting ASR delay to %d seconds\n", ASR_MIN_DELAY);
        asr.asr_delay = ASR_MIN_DELAY;
    }
    std::printf("asr->asr_status: %d asr->asr_method: %d asr->asr_delay: %d\n", asr.asr_state, asr.asr_method,
                asr.asr_delay);
    return Reported(run.client.SetASRConfig(&asr), "Set ASR Config Failed");
}

const char* YesNo(int flag)
{
    return flag != 0 ? "YES" : "NO";
}

int IsYes(const char* word)
{
    return x9strcasecmp(word, "Yes") == 0 ? 1 : 0;
}

const SubCommand kModemCommands[] = {
    {"get", 4, [](Run& run, char** argv) -> Outcome { return GetModemConfig(run, argv[3]); },
     "    -ModemCfg -get <dev> ..dev can be ttyS2 or ttyS3 (case sensitive)\n"
     "                           if dev is omitted both ports are shown\n",
     HelpShown::kAlways},
    {"get", 3, [](Run& run, char**) -> Outcome { return GetBothModemPorts(run); }, nullptr,
     HelpShown::kCovered},
    {"set", 6, [](Run& run, char** argv) -> Outcome { return SetModemPort(run, 6, argv); },
     "    -ModemCfg -set <dev> <-s baud> <-i initString> <-p phoneNumber>\n", HelpShown::kAlways},
    {"set", 8, [](Run& run, char** argv) -> Outcome { return SetModemPort(run, 8, argv); }, nullptr,
     HelpShown::kCovered},
    {"set", 10, [](Run& run, char** argv) -> Outcome { return SetModemPort(run, 10, argv); }, nullptr,
     HelpShown::kCovered},
};

const SubCommand kPppCommands[] = {
    {"get", 3, [](Run& run, char**) -> Outcome { return GetPppAddresses(run); }, "    -PPPCfg -get\n",
     HelpShown::kAlways},
    {"set", 5, [](Run& run, char** argv) -> Outcome { return SetPppAddresses(run, argv[3], argv[4]); },
     "    -PPPCfg -set ServerIP ClientIP \n", HelpShown::kAlways},
};

const SubCommand kAsrCommands[] = {
    {"get", 3, [](Run& run, char**) -> Outcome { return GetAsr(run); }, "    -ASRCfg -Get\n",
     HelpShown::kAlways},
    {"set", 6, [](Run& run, char** argv) -> Outcome { return SetAsr(run, argv[3], argv[4], argv[5]); },
     "    -ASRCfg -Set ENABLED|DISABLED POWERCYCLE|RESET  Delay\n"
     "                 Minimum ASR Delay is 240 Seconds\n"
     "                 DISABLED does not require extra arguments\n",
     HelpShown::kAlways},
    {"set", 4, [](Run& run, char** argv) -> Outcome { return DisableAsr(run, argv[3]); }, nullptr,
     HelpShown::kCovered},
};

}  // namespace

constinit const std::span<const SubCommand> kModemSubCommands = kModemCommands;
constinit const std::span<const SubCommand> kPppSubCommands = kPppCommands;
constinit const std::span<const SubCommand> kAsrSubCommands = kAsrCommands;

int CheckModemBaud(const char* text)
{
    if (text[0] == '\0') return 0;
    for (const char* baud : kModemBauds)
        if (std::strcmp(text, baud) == 0) return 0;
    ReportedLine(Outcome::InvalidWords("modem baud rate"),
                 "Invalid baud rate. Baud rate can only be 9600,19200,38400 or 57600!!\n");
    return kInvalidValue;
}

int CheckInitStrLen(const char* text)
{
    if (std::strlen(text) <= MODEM_INIT_STR_MAX) return 0;
    ReportedLine(Outcome::InvalidWords("modem init string"), "init string cannot be more than 60 characters\n");
    return kInvalidValue;
}

int CheckPhoneNum(const char* text)
{
    if (std::strlen(text) <= MODEM_PHONE_NUM_MAX) return 0;
    ReportedLine(Outcome::InvalidWords("modem phone number"), "Phone number cannot be more than 30 characters\n");
    return kInvalidValue;
}

int parseModemArg(int argc, char** argv, MODEM_CONFIG_REC* rec)
{
    const char* port = argv[3];
    if (std::strcmp(port, MODEM_PORT_1) != 0 && std::strcmp(port, MODEM_PORT_2) != 0) {
        ReportedLine(Outcome::InvalidWords("modem port"), "Device can be ttyS2 or ttyS3\n");
        return -1;
    }
    PutTextField(rec->dev, port);
    // Option and value pairs, in any order; each option at most once, so that a value is
    // never stored as another option's.
    if (argc < 6 || argc > 10 || argc % 2 != 0) return -1;
    bool given[std::size(kModemOptions)] = {};
    for (int i = 0; i < (argc - 4) / 2; ++i) {
        const char* option = argv[4 + 2 * i];
        const char* value = argv[5 + 2 * i];
        std::size_t which = std::size(kModemOptions);
        for (std::size_t k = 0; k < std::size(kModemOptions); ++k)
            if (IsOption(option, kModemOptions[k].word)) which = k;
        // The form "-i INIT WORD PHONE": the word before the phone number is not examined.
        if (which == std::size(kModemOptions) && argc == 8 && i == 1 && IsOption(argv[4], "-i")) which = kPhoneOption;
        if (which == std::size(kModemOptions) || given[which]) return -1;
        given[which] = true;
        if (const int result = kModemOptions[which].store(rec, value); result != 0) return result;
    }
    return 0;
}

bool ReadAddressWord(const char* word, unsigned char* address)
{
    const bool hex = word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
    const char* digits = hex ? word + 2 : word;
    const char* end = digits + std::strlen(digits);
    if (digits == end || (hex && end - digits > 2)) return false;
    unsigned value = 0;
    const auto [ptr, ec] = std::from_chars(digits, end, value, hex ? 16 : 10);
    if (ec != std::errc() || ptr != end || value > UINT8_MAX) return false;
    *address = static_cast<unsigned char>(value);
    return true;
}

Outcome ProcessModemCommands(Run& run, int argc, char** argv)
{
    return RunSubCommand(run, kModemCommands, argc, argv);
}

Outcome ProcessPppCfgCommands(Run& run, int argc, char** argv)
{
    return RunSubCommand(run, kPppCommands, argc, argv);
}

Outcome ProcessASRCfgCommands(Run& run, int argc, char** argv)
{
    return RunSubCommand(run, kAsrCommands, argc, argv);
}

Outcome ShowI2CConfig(Run& run)
{
    unsigned char address = 0;
    const ZUNA_ERROR status = run.client.GetI2CConfig(&address);
    if (status != ZUNA_E_SUCCESS) return ReportedLine(status, "Unable to get I2C slave adress\n");
    std::printf("Current %s I2C Slave Address: 0x%02x\n", kProductWord, address);
    run.result()["slave_address"] = address;
    return status;
}

Outcome SetI2CAddress(Run& run, int argc, char** argv)
{
    unsigned char address = 0;
    if (argc < 3 || !ReadAddressWord(argv[2], &address)) return Outcome::InvalidWords("invalid words");
    return ReportedLine(run.client.SetI2CConfig(&address), "Unable to set I2C slave adress\n");
}

Outcome ShowIpmiConfig(Run& run)
{
    IPMI_CONFIG_INFO_tag cfg{};
    if (const ZUNA_ERROR status = run.client.GetIPMIConfig(&cfg); status != ZUNA_E_SUCCESS)
        return ReportedLine(status, "Unable to get IPMI configuration information\n");
    std::printf("Host system has BMC                          : %s\n", YesNo(cfg.bmc_present));
    std::printf("Host System BMC I2C Address                  : 0x%02x\n", static_cast<unsigned char>(cfg.bmc_addr));
    std::printf("Use IPMI to Control System Power             : %s\n", YesNo(cfg.ipmi_power));
    std::printf("Use BMC's SDRs for Sensor Information        : %s\n", YesNo(cfg.ipmi_sensors));
    std::printf("%s Maintains Private System Health Event Log : %s\n", kProductWord, YesNo(cfg.log_ipmi_events));
    run.result() = ToJson(cfg);
    return Outcome::Success();
}

Outcome SetIpmiConfig(Run& run, int argc, char** argv)
{
    if (argc < 7) return Outcome::InvalidWords("invalid words");
    IPMI_CONFIG_INFO_tag cfg{};
    unsigned char bmcAddress = 0;
    if (!ReadAddressWord(argv[3], &bmcAddress)) return Outcome::InvalidWords("invalid words");
    cfg.bmc_present = IsYes(argv[2]);
    cfg.bmc_addr = static_cast<char>(bmcAddress);
    cfg.ipmi_power = IsYes(argv[4]);
    cfg.ipmi_sensors = IsYes(argv[5]);
    cfg.log_ipmi_events = IsYes(argv[6]);
    return ReportedLine(run.client.SetIPMIConfig(&cfg),
                        "Unable to set IPMI configuration information\n"
                        "Check the IPMB connectivity and try again\n"
                        "Note: To do this configuration you motherboard should have BMC \n"
                        "and %s should be connected to BMC using proper connector\n",
                        kProductWord);
}
