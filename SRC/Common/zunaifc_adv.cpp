// Advanced-settings operations (command codes 0x0C00 to 0x0C0B): PPP addresses, modem
// ports, automatic server recovery, the I2C slave address and the IPMI settings.
#include <cstddef>

#include "x9endian.h"
#include "zunacmds.h"
#include "x9zunaifc.h"

void CX9ZunaIfc::l2h_ipmiConfig(IPMI_CONFIG_INFO_tag* pCfg)
{
    FixLe32InPlace(pCfg, offsetof(IPMI_CONFIG_INFO_tag, bmc_present));
    FixLe32InPlace(pCfg, offsetof(IPMI_CONFIG_INFO_tag, ipmi_power));
    FixLe32InPlace(pCfg, offsetof(IPMI_CONFIG_INFO_tag, ipmi_sensors));
    FixLe32InPlace(pCfg, offsetof(IPMI_CONFIG_INFO_tag, log_ipmi_events));
}

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
    const ZUNA_ERROR status = ExchangeRecord(ZUNACMD_GET_ASR_CONFIG, asr, sizeof(*asr), sizeof(*asr));
    if (status == ZUNA_E_SUCCESS) FixBe16InPlace(asr, offsetof(ASR_REC_tag, asr_delay));
    return status;
}

ZUNA_ERROR CX9ZunaIfc::SetASRConfig(ASR_REC_tag* asr)
{
    FixBe16InPlace(asr, offsetof(ASR_REC_tag, asr_delay));
    return SendRecord(ZUNACMD_SET_ASR_CONFIG, asr, sizeof(*asr));
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
    const ZUNA_ERROR status = QueryRecord(ZUNACMD_GET_IPMI_CONFIG, cfg, sizeof(*cfg));
    if (status == ZUNA_E_SUCCESS) l2h_ipmiConfig(cfg);
    return status;
}

ZUNA_ERROR CX9ZunaIfc::SetIPMIConfig(IPMI_CONFIG_INFO_tag* cfg)
{
    IPMI_CONFIG_INFO_tag wire = *cfg;
    l2h_ipmiConfig(&wire);
    return SendRecord(ZUNACMD_SET_IPMI_CONFIG, &wire, sizeof(wire));
}
