// Advanced settings (group 0x0C): the PPP link's addresses, the two modem ports, automatic
// server recovery (ASR), the card's I2C slave address and its IPMI settings. All are
// part of the configuration.
//
// The card answers for its ports "ttyS2" and "ttyS3" only (20 for another name). A
// modem write changes the values it carries and keeps those it leaves empty; a speed
// other than 9600, 19200, 38400 or 57600, an init string above 60 characters or a
// phone number above 30 is refused with 28 and nothing changes. The PPP addresses must
// both be plain dotted IPv4 (else 28). ASR takes state 1 or 2 and method 1 or 2 (else
// 28) and any delay; the delay is big-endian on the wire. The IPMI record's 32-bit
// flags are little-endian; any nonzero flag is kept as 1.
#include "card_state.h"
#include "x9endian.h"
#include "zunacmds.h"
#include "zunahdr.h"

namespace kelcard::detail {
namespace {

constexpr const char* kModemBauds[] = {"9600", "19200", "38400", "57600"};

// The settings of the port the record names, or null.
ModemSettings* FindPort(CardState& card, const MODEM_CONFIG_REC& rec)
{
    const std::string port = TextOfField(rec.dev, sizeof(rec.dev));
    if (port == MODEM_PORT_1) return &card.running.advanced.modems[0];
    if (port == MODEM_PORT_2) return &card.running.advanced.modems[1];
    return nullptr;
}

bool IsModemBaud(const std::string& baud)
{
    for (const char* known : kModemBauds)
        if (baud == known) return true;
    return baud.empty();
}

void GetModemConfig(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    const auto in = ReadRecord<MODEM_CONFIG_REC>(request);
    const ModemSettings* port = FindPort(card, in);
    if (port == nullptr) {
        reply.status = ZUNA_E_NODEV;
        return;
    }
    MODEM_CONFIG_REC out{};
    CopyTextField(out.dev, sizeof(out.dev), in.dev, sizeof(in.dev));
    PutTextField(out.baud, port->baud.c_str());
    PutTextField(out.initStr, port->initStr.c_str());
    PutTextField(out.phoneNum, port->phoneNum.c_str());
    SetReplyRecord(reply, out);
}

void SetModemConfig(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    const auto in = ReadRecord<MODEM_CONFIG_REC>(request);
    ModemSettings* port = FindPort(card, in);
    if (port == nullptr) {
        reply.status = ZUNA_E_NODEV;
        return;
    }
    const std::string baud = TextOfField(in.baud, sizeof(in.baud));
    const std::string initStr = TextOfField(in.initStr, sizeof(in.initStr));
    const std::string phoneNum = TextOfField(in.phoneNum, sizeof(in.phoneNum));
    if (!IsModemBaud(baud) || initStr.size() > MODEM_INIT_STR_MAX || phoneNum.size() > MODEM_PHONE_NUM_MAX) {
        reply.status = ZUNA_E_INVALID;
        return;
    }
    if (!baud.empty()) port->baud = baud;
    if (!initStr.empty()) port->initStr = initStr;
    if (!phoneNum.empty()) port->phoneNum = phoneNum;
}

void GetPppServerIps(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    PPP_SERVER_IP_REC out{};
    PutTextField(out.serverIp, card.running.advanced.pppServerIp.c_str());
    PutTextField(out.clientIp, card.running.advanced.pppClientIp.c_str());
    SetReplyRecord(reply, out);
}

void SetPppServerIps(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    const auto in = ReadRecord<PPP_SERVER_IP_REC>(request);
    const std::string server = TextOfField(in.serverIp, sizeof(in.serverIp));
    const std::string client = TextOfField(in.clientIp, sizeof(in.clientIp));
    if (!ParseDottedIPv4(server.data(), server.size()) || !ParseDottedIPv4(client.data(), client.size())) {
        reply.status = ZUNA_E_INVALID;
        return;
    }
    card.running.advanced.pppServerIp = server;
    card.running.advanced.pppClientIp = client;
}

void GetAsrConfig(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    const AdvancedSettings& adv = card.running.advanced;
    ASR_REC_tag out{adv.asrState, adv.asrMethod, 0};
    PutBe16(reinterpret_cast<uint8_t*>(&out) + offsetof(ASR_REC_tag, asr_delay), adv.asrDelay);
    SetReplyRecord(reply, out);
}

void SetAsrConfig(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    const uint8_t state = request[offsetof(ASR_REC_tag, asr_state)];
    const uint8_t method = request[offsetof(ASR_REC_tag, asr_method)];
    if ((state != ASR_STATE_ENABLED && state != ASR_STATE_DISABLED) ||
        (method != ASR_METHOD_POWER_CYCLE && method != ASR_METHOD_RESET)) {
        reply.status = ZUNA_E_INVALID;
        return;
    }
    AdvancedSettings& adv = card.running.advanced;
    adv.asrState = state;
    adv.asrMethod = method;
    adv.asrDelay = GetBe16(request.data() + offsetof(ASR_REC_tag, asr_delay));
}

void GetI2cConfig(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    reply.data = {card.running.advanced.i2cAddress};
}

void SetI2cConfig(CardState& card, Session&, std::span<const uint8_t> request, Reply&)
{
    card.running.advanced.i2cAddress = request[0];
}

// A flag of the IPMI record at `offset` of the wire bytes.
bool IpmiFlag(std::span<const uint8_t> request, std::size_t offset)
{
    return GetLe32(request.data() + offset) != 0;
}

void GetIpmiConfig(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    const AdvancedSettings& adv = card.running.advanced;
    reply.data.assign(sizeof(IPMI_CONFIG_INFO_tag), 0);
    uint8_t* out = reply.data.data();
    PutLe32(out + offsetof(IPMI_CONFIG_INFO_tag, bmc_present), adv.bmcPresent ? 1 : 0);
    out[offsetof(IPMI_CONFIG_INFO_tag, bmc_addr)] = adv.bmcAddress;
    PutLe32(out + offsetof(IPMI_CONFIG_INFO_tag, ipmi_power), adv.ipmiPower ? 1 : 0);
    PutLe32(out + offsetof(IPMI_CONFIG_INFO_tag, ipmi_sensors), adv.ipmiSensors ? 1 : 0);
    PutLe32(out + offsetof(IPMI_CONFIG_INFO_tag, log_ipmi_events), adv.logIpmiEvents ? 1 : 0);
}

void SetIpmiConfig(CardState& card, Session&, std::span<const uint8_t> request, Reply&)
{
    AdvancedSettings& adv = card.running.advanced;
    adv.bmcPresent = IpmiFlag(request, offsetof(IPMI_CONFIG_INFO_tag, bmc_present));
    adv.bmcAddress = request[offsetof(IPMI_CONFIG_INFO_tag, bmc_addr)];
    adv.ipmiPower = IpmiFlag(request, offsetof(IPMI_CONFIG_INFO_tag, ipmi_power));
    adv.ipmiSensors = IpmiFlag(request, offsetof(IPMI_CONFIG_INFO_tag, ipmi_sensors));
    adv.logIpmiEvents = IpmiFlag(request, offsetof(IPMI_CONFIG_INFO_tag, log_ipmi_events));
}

}  // namespace

void AddAdvancedCommands(CommandTable& table)
{
    table[ZUNACMD_GET_PPP_SERVER_IPS] = {GetPppServerIps, 0};
    table[ZUNACMD_SET_PPP_SERVER_IPS] = {SetPppServerIps, sizeof(PPP_SERVER_IP_REC)};
    table[ZUNACMD_GET_MODEM_CONFIG] = {GetModemConfig, sizeof(MODEM_CONFIG_REC)};
    table[ZUNACMD_SET_MODEM_CONFIG] = {SetModemConfig, sizeof(MODEM_CONFIG_REC)};
    table[ZUNACMD_GET_ASR_CONFIG] = {GetAsrConfig, sizeof(ASR_REC_tag)};
    table[ZUNACMD_SET_ASR_CONFIG] = {SetAsrConfig, sizeof(ASR_REC_tag)};
    table[ZUNACMD_GET_I2C_CONFIG] = {GetI2cConfig, 0};
    table[ZUNACMD_SET_I2C_CONFIG] = {SetI2cConfig, I2C_ADDRESS_LEN};
    table[ZUNACMD_GET_IPMI_CONFIG] = {GetIpmiConfig, 0};
    table[ZUNACMD_SET_IPMI_CONFIG] = {SetIpmiConfig, sizeof(IPMI_CONFIG_INFO_tag)};
}

}  // namespace kelcard::detail
