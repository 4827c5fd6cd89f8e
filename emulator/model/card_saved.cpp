// The saved configuration as bytes, for a front end that keeps it across a restart of
// the card. The layout, numbers big-endian:
//   8 bytes   "KCSTATE\0"
//   4 bytes   version (kSavedConfigVersion)
//   4 bytes   length of the body (at most kMaxSavedConfigBytes in all)
//   4 bytes   CRC-32 of the body
//   body      the fields of CardConfig in their order: a list as a 16-bit count and its
//             entries, a text as a 16-bit length and its bytes, a record as its bytes.
#include <type_traits>

#include "card_state.h"
#include "cksum.h"
#include "x9endian.h"
#include "x9reader.h"

namespace kelcard::detail {
namespace {

constexpr char kMagic[8] = {'K', 'C', 'S', 'T', 'A', 'T', 'E', '\0'};
constexpr std::size_t kHeaderLen = sizeof(kMagic) + 12;
constexpr std::size_t kMaxText = 4096;
constexpr std::size_t kMaxRecipientPairs = 256;

// Appends the body's fields to a growing buffer.
class Encoder {
public:
    void U8(uint8_t v) { m_bytes.push_back(v); }
    void Be16(uint16_t v)
    {
        uint8_t b[2];
        PutBe16(b, v);
        Bytes(b, sizeof(b));
    }
    void Be32(uint32_t v)
    {
        uint8_t b[4];
        PutBe32(b, v);
        Bytes(b, sizeof(b));
    }
    void Bytes(const void* data, std::size_t n)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        m_bytes.insert(m_bytes.end(), p, p + n);
    }
    void Text(const std::string& text)
    {
        const std::size_t n = std::min(text.size(), kMaxText);
        Be16(static_cast<uint16_t>(n));
        Bytes(text.data(), n);
    }
    template <typename Record>
    void Raw(const Record& record)
    {
        Bytes(&record, sizeof(Record));
    }
    std::vector<uint8_t>& Out() { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

// Reads the body's fields; a field past the end, a count or length beyond its bound or
// a flag other than 0 or 1 makes the whole body fail.
class Decoder {
public:
    explicit Decoder(std::span<const uint8_t> body) : m_in(body.data(), body.size()) {}
    uint8_t U8() { return m_in.U8(); }
    uint16_t Be16() { return m_in.Be16(); }
    uint32_t Be32() { return m_in.Be32(); }
    bool Flag()
    {
        const uint8_t v = m_in.U8();
        if (v > 1) m_ok = false;
        return v == 1;
    }
    std::size_t Count(std::size_t max)
    {
        const std::size_t n = m_in.Be16();
        if (n > max) m_ok = false;
        return m_ok ? n : 0;
    }
    std::string Text()
    {
        const std::size_t n = Count(kMaxText);
        const unsigned char* p = m_in.Span(n);
        return p != nullptr ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
    }
    template <typename Record>
    void Raw(Record& record)
    {
        m_in.Bytes(&record, sizeof(Record));
    }
    bool AtEnd() const { return m_ok && m_in.AtEnd(); }
    bool ok() const { return m_ok && m_in.ok(); }

private:
    WireReader m_in;
    bool m_ok = true;
};

// Both directions walk the fields in one order, through Field(): a text, a flag or a
// number of the width it has.
void Field(Encoder& e, const std::string& text) { e.Text(text); }
void Field(Decoder& d, std::string& text) { text = d.Text(); }
void Field(Encoder& e, const bool& flag) { e.U8(flag ? 1 : 0); }
void Field(Decoder& d, bool& flag) { flag = d.Flag(); }
void Field(Encoder& e, const uint8_t& v) { e.U8(v); }
void Field(Decoder& d, uint8_t& v) { v = d.U8(); }
void Field(Encoder& e, const uint16_t& v) { e.Be16(v); }
void Field(Decoder& d, uint16_t& v) { v = d.Be16(); }
void Field(Encoder& e, const uint32_t& v) { e.Be32(v); }
void Field(Decoder& d, uint32_t& v) { v = d.Be32(); }

template <typename Coder, typename T, typename Each>
void List(Coder& c, T& list, std::size_t max, Each each)
{
    if constexpr (std::is_same_v<Coder, Encoder>) {
        c.Be16(static_cast<uint16_t>(std::min(list.size(), max)));
        for (std::size_t i = 0; i < list.size() && i < max; ++i) each(c, list[i]);
    } else {
        list.resize(c.Count(max));
        for (auto& entry : list) each(c, entry);
    }
}

// Walks every field of the configuration; `Config` is const for the encoder.
template <typename Coder, typename Config>
void Walk(Coder& c, Config& config)
{
    List(c, config.accounts, kMaxAccounts, [](Coder& c, auto& a) {
        Field(c, a.user);
        Field(c, a.password);
    });
    List(c, config.snmpUsers, kMaxSnmpUsers, [](Coder& c, auto& u) {
        Field(c, u.name);
        Field(c, u.password);
        Field(c, u.auth);
        Field(c, u.priv);
    });
    c.Raw(config.name);
    c.Raw(config.smtp);
    c.Raw(config.serverInfo);
    Field(c, config.network.dhcp);
    Field(c, config.network.ip);
    Field(c, config.network.netmask);
    Field(c, config.network.gateway);
    c.Raw(config.mac);
    Field(c, config.selPolicy);
    c.Raw(config.pef.filters);
    c.Raw(config.pef.policies);
    c.Raw(config.pef.modemDests);
    c.Raw(config.pef.lanDests);
    c.Raw(config.pef.thirdDests);
    for (auto& recipient : config.alertRecipients) {
        List(c, recipient, kMaxRecipientPairs, [](Coder& c, auto& pair) {
            Field(c, pair.first);
            Field(c, pair.second);
        });
    }
    Field(c, config.heartbeatInterval);
    auto& adv = config.advanced;
    for (auto& modem : adv.modems) {
        Field(c, modem.baud);
        Field(c, modem.initStr);
        Field(c, modem.phoneNum);
    }
    Field(c, adv.pppServerIp);
    Field(c, adv.pppClientIp);
    Field(c, adv.asrState);
    Field(c, adv.asrMethod);
    Field(c, adv.asrDelay);
    Field(c, adv.i2cAddress);
    Field(c, adv.bmcPresent);
    Field(c, adv.bmcAddress);
    Field(c, adv.ipmiPower);
    Field(c, adv.ipmiSensors);
    Field(c, adv.logIpmiEvents);
}

}  // namespace

std::vector<uint8_t> EncodeConfig(const CardConfig& config)
{
    Encoder body;
    Walk(body, config);
    std::vector<uint8_t> out(kHeaderLen);
    std::memcpy(out.data(), kMagic, sizeof(kMagic));
    PutBe32(out.data() + 8, kSavedConfigVersion);
    PutBe32(out.data() + 12, static_cast<uint32_t>(body.Out().size()));
    PutBe32(out.data() + 16, calc_cksum32(body.Out().data(), body.Out().size()));
    out.insert(out.end(), body.Out().begin(), body.Out().end());
    return out;
}

bool DecodeConfig(std::span<const uint8_t> blob, CardConfig& config, std::string& why)
{
    if (blob.size() > kMaxSavedConfigBytes) {
        why = "longer than " + std::to_string(kMaxSavedConfigBytes) + " bytes";
        return false;
    }
    WireReader header(blob.data(), blob.size());
    char magic[sizeof(kMagic)];
    header.Bytes(magic, sizeof(magic));
    const uint32_t version = header.Be32();
    const uint32_t length = header.Be32();
    const uint32_t crc = header.Be32();
    if (!header.ok() || std::memcmp(magic, kMagic, sizeof(kMagic)) != 0) {
        why = "not a card state file";
        return false;
    }
    if (version != kSavedConfigVersion) {
        why = "version " + std::to_string(version) + ", not " + std::to_string(kSavedConfigVersion);
        return false;
    }
    const std::span<const uint8_t> body = blob.subspan(kHeaderLen);
    if (length != body.size()) {
        why = "its length does not match";
        return false;
    }
    if (calc_cksum32(body.data(), body.size()) != crc) {
        why = "bad checksum";
        return false;
    }
    CardConfig decoded;
    Decoder in(body);
    Walk(in, decoded);
    if (!in.AtEnd() || decoded.accounts.empty()) {
        why = "its fields do not parse";
        return false;
    }
    config = std::move(decoded);
    return true;
}

void CardState::SaveConfig()
{
    saved = running;
    if (configSaved) configSaved(EncodeConfig(saved));
}

}  // namespace kelcard::detail

// The public methods of this area.
namespace kelcard {

void CardModel::SetConfigSavedHook(ConfigSavedHook hook)
{
    std::lock_guard lock(m_mutex);
    m_state->configSaved = std::move(hook);
}

std::vector<uint8_t> CardModel::SavedConfig() const
{
    std::lock_guard lock(m_mutex);
    return detail::EncodeConfig(m_state->saved);
}

bool CardModel::LoadSavedConfig(std::span<const uint8_t> blob, std::string& why)
{
    detail::CardConfig config;
    if (!detail::DecodeConfig(blob, config, why)) return false;
    std::lock_guard lock(m_mutex);
    m_state->saved = config;
    m_state->running = std::move(config);
    return true;
}

}  // namespace kelcard
