// Advanced-settings operations (command codes 0x0C00 to 0x0C0B): PPP addresses, modem
// ports, automatic server recovery, the I2C slave address and the IPMI settings.
#include <cstddef>

#include "x9reader.h"
#include "zunacmds.h"
#include "x9zunaifc.h"

namespace {

constexpr WireFields kAsrFields = {{offsetof(ASR_REC_tag, asr_delay), 2}};
// The IPMI record's numbers are little-endian on the wire.
constexpr WireFields kIpmiFields = {
    {offsetof(IPMI_CONFIG_INFO_tag, bmc_present), 4, false},
    {offsetof(IPMI_CONFIG_INFO_tag, ipmi_power), 4, false},
    {offsetof(IPMI_CONFIG_INFO_tag, ipmi_sensors), 4, false},
    {offsetof(IPMI_CONFIG_INFO_tag, log_ipmi_events), 4, false},
};

}  // namespace

ZUNA_ERROR CX9ZunaIfc::GetPppServerIps(PPP_SERVER_IP_REC* ips)
{
    return QueryRecord(ZUNACMD_GET_PPP_SERVER_IPS, ips, sizeof(*ips));
}

ZUNA_ERROR CX9ZunaIfc::SetPppServerIps(PPP_SERVER_IP_REC* ips)
{
    return SendRecord(ZUNACMD_SET_PPP_SERVER_IPS, ips, sizeof(*ips));
}

ZUNA_ERROR CX9ZunaIfc::GetModemConfig(MODEM_CONFIG_REC* cfg)
{
    return ExchangeRecord(ZUNACMD_GET_MODEM_CONFIG, cfg, sizeof(*cfg), sizeof(*cfg));
}

ZUNA_ERROR CX9ZunaIfc::SetModemConfig(MODEM_CONFIG_REC* cfg)
{
    return SendRecord(ZUNACMD_SET_MODEM_CONFIG, cfg, sizeof(*cfg));
}

ZUNA_ERROR CX9ZunaIfc::GetASRConfig(ASR_REC_tag* asr)
{
    return ExchangeFields(ZUNACMD_GET_ASR_CONFIG, asr, sizeof(*asr), asr, sizeof(*asr), kAsrFields);
}

ZUNA_ERROR CX9ZunaIfc::SetASRConfig(ASR_REC_tag* asr)
{
    return SendFields(ZUNACMD_SET_ASR_CONFIG, asr, sizeof(*asr), kAsrFields);
}

ZUNA_ERROR CX9ZunaIfc::GetI2CConfig(unsigned char* address)
{
    return QueryRecord(ZUNACMD_GET_I2C_CONFIG, address, I2C_ADDRESS_LEN);
}

ZUNA_ERROR CX9ZunaIfc::SetI2CConfig(unsigned char* address)
{
    return SendRecord(ZUNACMD_SET_I2C_CONFIG, address, I2C_ADDRESS_LEN);
}

ZUNA_ERROR CX9ZunaIfc::GetIPMIConfig(IPMI_CONFIG_INFO_tag* cfg)
{
    return ExchangeFields(ZUNACMD_GET_IPMI_CONFIG, nullptr, 0, cfg, sizeof(*cfg), kIpmiFields);
}

ZUNA_ERROR CX9ZunaIfc::SetIPMIConfig(IPMI_CONFIG_INFO_tag* cfg)
{
    return SendFields(ZUNACMD_SET_IPMI_CONFIG, cfg, sizeof(*cfg), kIpmiFields);
}
