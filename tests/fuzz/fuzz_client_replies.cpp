// The client against arbitrary card replies: whatever a card sends back, every
// operation stays within its buffers (the sanitizers watch) and reports a status.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "../unit/zuna_packets.h"
#include "block_host.h"
#include "x9endian.h"
#include "x9zunaifc.h"

namespace {

// A medium that answers every request with the fuzzer's bytes, as a medium would place
// them in the reply buffer (at most a whole packet). A reply whose command code is 0
// gets the request's, so that replies get past that check too.
class ReplayMedium : public CX9ZunaMedium {
public:
    ReplayMedium(const uint8_t* data, std::size_t size) : m_reply(data, data + size) {}
    int IssueZUNACommand(char* sendBuf, unsigned long* recvLen, char* recvBuf, unsigned long) override
    {
        std::vector<uint8_t> reply = m_reply;
        if (reply.size() >= ZUNA_HEADER_LEN && GetLe16(reply.data() + offsetof(ZUNA_HEADER, wCommand)) == 0)
            zunatest::EchoCommand(reinterpret_cast<const uint8_t*>(sendBuf), reply);
        const std::size_t n = reply.size() < ZUNA_MAX_PACKET_LEN ? reply.size() : ZUNA_MAX_PACKET_LEN;
        if (n != 0) std::memcpy(recvBuf, reply.data(), n);
        *recvLen = n;
        return 0;
    }
    int Connect() override { return 0; }
    int Disconnect() override { return 0; }

private:
    std::vector<uint8_t> m_reply;
};

// The mailbox against a drive whose command block and data come from the fuzzer.
class ReplayDrive : public BlockHost {
public:
    ReplayDrive(const uint8_t* data, std::size_t size) : m_bytes(data, data + size) {}
    int WriteCD(char, char*) override { return 0; }
    int ReadCD(char, char* buffer) override
    {
        // Blocks are cut from the input in turn; past its end they are zero.
        for (std::size_t i = 0; i < X9CD_BLOCK_SIZE; ++i)
            buffer[i] = static_cast<char>(m_pos < m_bytes.size() ? m_bytes[m_pos++] : 0);
        return 0;
    }

private:
    std::vector<uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

void RunOperations(CX9ZunaIfc& client)
{
    client.resetWaitMicros = 0;
    STRUCT_FW_INFO fw{};
    client.GetFWInfo(&fw);
    char name[CARD_NAME_LEN];
    client.GetCardName(name);
    X9_TIME_STRUCT_tag t{};
    client.GetCardTime(&t);
    t = X9_TIME_STRUCT_tag{1, 1600000000};
    client.SetCardTime(&t);
    SEL_STATE_INFO_TAG info{};
    client.GetSelInfo(&info);
    EVENT_RECORD_EXT_tag ext{};
    client.GetSelRecordEx(&ext);
    uint16_t cleared = 0;
    client.ClearSelList(&cleared);
    char cfg[sizeof(ZUNA_API_GET_NETWORK_CFG_REC)];
    client.GetCurrentNetworkConfiguration(cfg);
    unsigned char mac[MAC_TEXT_LEN];
    client.GetCurrentMACAddressString(mac);
    unsigned long hb = 0;
    client.GetHeartbeatInterval(&hb);
    X9_HEALTH_INFO_tag health[X9_HEALTH_ENTRIES];
    client.GetCardHealth(health);
    MODEM_CONFIG_REC modem{"ttyS2", "", "", ""};
    client.GetModemConfig(&modem);
    ASR_REC_tag asr{};
    client.GetASRConfig(&asr);
    IPMI_CONFIG_INFO_tag ipmi{};
    client.GetIPMIConfig(&ipmi);
    client.ZunaLogin("admin", "admin");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    CX9ZunaIfc overMedium(std::make_unique<ReplayMedium>(data, size));
    RunOperations(overMedium);

    CX9ZunaIfc overDrive(std::make_unique<ReplayDrive>(data, size));
    RunOperations(overDrive);
    OS_HB_PACKET hb{};
    ReplayDrive(data, size).IssueOSHeartbeat(&hb);
    return 0;
}
