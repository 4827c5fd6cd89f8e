// Network commands (group 0x07) and the MAC address (group 0x08).
//
// The card has one interface, "eth0". Its configuration method reads "Static" or
// "DHCP"; the address, netmask and gateway are kept as numbers and shown as dotted
// text, the broadcast address is derived from address and netmask, and the MAC
// address text is always the current MAC in the form 00:2A:3B:4C:5D:1D. With the
// interface down the card reports an empty interface name and empty addresses (the
// method and the MAC still show).
//
// A static configuration is taken only when all three texts are plain dotted IPv4
// (four decimal numbers 0 to 255 of one to three digits without a leading zero, nothing
// else in the field), the netmask is contiguous and not 0.0.0.0, and the address is
// not 0.0.0.0;
// otherwise the card answers 28 and keeps its settings. Reconfiguring the interface
// cuts the card's network connections: a static change arriving over the network
// takes effect and the connection ends without an answer; over the host interface the
// card answers 0. Switching to DHCP answers 0 first; over the network the connection
// then ends. The pretend DHCP server always leases 10.0.0.57/255.255.255.0 with
// gateway 10.0.0.1.
#include <cstdio>

#include "card_state.h"
#include "zunacmds.h"
#include "zunahdr.h"

namespace kelcard::detail {
namespace {

constexpr const char* kInterfaceName = "eth0";
constexpr const char* kMethodStatic = "Static";
constexpr const char* kMethodDhcp = "DHCP";

constexpr uint32_t kDhcpLeaseAddress = 0x0A000039;  // 10.0.0.57
constexpr uint32_t kDhcpLeaseNetmask = 0xFFFFFF00;  // 255.255.255.0
constexpr uint32_t kDhcpLeaseGateway = 0x0A000001;  // 10.0.0.1

// A request that came in over the card's network port, not the host interface.
bool OverNetwork(const Session& session)
{
    return session.requireLogin;
}

std::optional<uint32_t> ParseIPv4Field(const char* field, std::size_t size)
{
    return ParseDottedIPv4(field, FieldTextLength(field, size));
}

// Ones from the top, then only zeros.
bool IsContiguousNetmask(uint32_t mask)
{
    const uint32_t hostBits = ~mask;
    return mask != 0 && (hostBits & (hostBits + 1)) == 0;
}

std::string DottedText(uint32_t address)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", (address >> 24) & 0xFF, (address >> 16) & 0xFF,
                  (address >> 8) & 0xFF, address & 0xFF);
    return text;
}

// 00:2A:3B:4C:5D:1D: upper-case hex pairs joined by colons.
std::string MacText(const MacBytes& mac)
{
    unsigned char text[MAC_TEXT_LEN];
    form_mac_string(text, mac.data(), static_cast<int>(mac.size()));
    return reinterpret_cast<const char*>(text);
}

template <std::size_t N>
void SetField(char (&field)[N], const std::string& text)
{
    CopyTextField(field, N, text.data(), text.size());
}

void GetNetworkConfig(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    const NetworkSettings& net = card.running.network;
    ZUNA_API_GET_NETWORK_CFG_REC out{};
    SetField(out.configuration_method, net.dhcp ? kMethodDhcp : kMethodStatic);
    SetField(out.mac_address, MacText(card.running.mac));
    if (card.interfaceUp) {
        SetField(out.network_link, kInterfaceName);
        SetField(out.ip_address, DottedText(net.ip));
        SetField(out.broadcast, DottedText(net.ip | ~net.netmask));
        SetField(out.netmask, DottedText(net.netmask));
        SetField(out.gateway, DottedText(net.gateway));
    }
    SetReplyRecord(reply, out);
}

void SetNetworkStatic(CardState& card, Session& session, std::span<const uint8_t> request, Reply& reply)
{
    const auto in = ReadRecord<ZUNA_API_SET_NETWORK_CFG_REC>(request);
    const auto ip = ParseIPv4Field(in.ip_address, sizeof(in.ip_address));
    const auto netmask = ParseIPv4Field(in.netmask, sizeof(in.netmask));
    const auto gateway = ParseIPv4Field(in.gateway, sizeof(in.gateway));
    if (!ip || !netmask || !gateway || *ip == 0 || !IsContiguousNetmask(*netmask)) {
        reply.status = ZUNA_E_INVALID;
        return;
    }
    card.running.network = {false, *ip, *netmask, *gateway};
    ++card.generation;
    if (OverNetwork(session)) session.dropWithoutReply = true;
}

void SetNetworkDhcp(CardState& card, Session& session, std::span<const uint8_t>, Reply&)
{
    card.running.network = {true, kDhcpLeaseAddress, kDhcpLeaseNetmask, kDhcpLeaseGateway};
    ++card.generation;
    if (OverNetwork(session)) session.closeAfterReply = true;
}

void GetMacAddress(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    reply.data.assign(card.running.mac.begin(), card.running.mac.end());
}

// Six address bytes and their check byte (byte sum modulo 100); a wrong check byte
// is refused with 28 and the address stays.
void SetMacAddress(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    MacBytes mac{};
    std::copy_n(request.begin(), mac.size(), mac.begin());
    if (request[MAC_ADDRESS_LEN] != calc_chksum(mac.data(), static_cast<int>(mac.size()))) {
        reply.status = ZUNA_E_INVALID;
        return;
    }
    card.running.mac = mac;
}

}  // namespace

void AddNetworkCommands(CommandTable& table)
{
    table[ZUNACMD_GET_NETWORK_CONFIG] = {GetNetworkConfig, 0};
    table[ZUNACMD_SET_NETWORK_STATIC] = {SetNetworkStatic, sizeof(ZUNA_API_SET_NETWORK_CFG_REC)};
    table[ZUNACMD_SET_NETWORK_DHCP] = {SetNetworkDhcp, 0};
    table[ZUNACMD_GET_MAC_ADDRESS] = {GetMacAddress, 0};
    table[ZUNACMD_SET_MAC_ADDRESS] = {SetMacAddress, MAC_WRITE_LEN};
}

}  // namespace kelcard::detail

// The public methods of this area.
namespace kelcard {

void CardModel::SetInterfaceUp(bool up)
{
    std::lock_guard lock(m_mutex);
    m_state->interfaceUp = up;
}

void CardModel::SetMacAddress(const std::array<uint8_t, 6>& mac)
{
    std::lock_guard lock(m_mutex);
    m_state->running.mac = mac;
    m_state->saved.mac = mac;
}

std::array<uint8_t, 6> CardModel::MacAddress() const
{
    std::lock_guard lock(m_mutex);
    return m_state->running.mac;
}

}  // namespace kelcard
