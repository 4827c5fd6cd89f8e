// Inside the card model: the card's state and the command table that the area sources
// (card_login.cpp, card_general.cpp, ...) fill. Not for the front ends.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "card_adv.h"
#include "card_model.h"
#include "fieldtext.h"
#include "flashblk.h"
#include "general.h"
#include "network.h"
#include "pef.h"
#include "sel.h"
#include "zunahdr.h"

namespace kelcard::detail {

using MacBytes = std::array<uint8_t, MAC_ADDRESS_LEN>;

// The card's address settings, numbers in host order (10.0.0.5 is 0x0A000005).
struct NetworkSettings {
    bool dhcp = false;
    uint32_t ip = kDefaultIpAddress;
    uint32_t netmask = kDefaultNetmask;
    uint32_t gateway = kDefaultGateway;
};

struct SnmpUser {
    std::string name;
    std::string password;
    std::string auth;  // "MD5" or "SHA"
    std::string priv;  // "DES" or "NONE"
};

// The card's event filtering tables (card_pef.cpp), entries numbered from 1; every
// entry is zero in a new card and after the default configuration (0x040D).
inline constexpr std::size_t kPefEventFilters = 16;
inline constexpr std::size_t kPefAlertPolicies = 16;
inline constexpr std::size_t kPefDestinations = 4;
struct PefConfig {
    std::array<PEF_EVENT_FILTER_tag, kPefEventFilters> filters{};
    std::array<PEF_ALERT_POLICY_tag, kPefAlertPolicies> policies{};
    std::array<PEF_MODEM_RECORD_tag, kPefDestinations> modemDests{};
    std::array<PEF_LAN_RECORD_tag, kPefDestinations> lanDests{};
    std::array<PEF_LAN_RECORD_tag, kPefDestinations> thirdDests{};
};

// One alert recipient: the name/value pairs the card keeps for it (card_pef.cpp).
using AlertRecipient = std::vector<std::pair<std::string, std::string>>;

// What the card keeps across a restart only when it is saved (0x0900).
struct CardConfig {
    std::vector<Account> accounts;  // at most kMaxAccounts, in the order added
    std::vector<SnmpUser> snmpUsers;  // at most kMaxSnmpUsers
    std::array<char, CARD_NAME_LEN> name{};
    SMTP_CONFIG_INFO_tag smtp{};
    SERVER_INFO_STRUCT_tag serverInfo{};
    NetworkSettings network;
    MacBytes mac = kDefaultMac;
    uint8_t selPolicy = SEL_POLICY_ROLLOVER;
    PefConfig pef;
    std::array<AlertRecipient, ALERT_RECP_COUNT> alertRecipients;
    uint32_t heartbeatInterval = kDefaultHeartbeatInterval;
    AdvancedSettings advanced;
};

// One record of the event log, numbers in host order. Its record number is its place
// in the log, counted from 1.
struct SelEntry {
    uint32_t time = 0;
    uint8_t recordType = 0;
    std::array<uint8_t, 3> manufacturer{};
    uint16_t eventId = 0;
    uint8_t severity = 0;
    uint8_t value1 = 0;
    uint16_t value2 = 0;
    std::array<uint8_t, SEL_EVENT_DATA_LEN> data{};
    std::string text;  // the description that 0x0408 reports
};

// The event log: not configuration, a restart keeps it.
struct SelLog {
    std::deque<SelEntry> records;  // oldest first, at most kSelCapacity
    uint32_t lastAddTime = 0;
    uint32_t lastDelTime = 0;
};

// The card's file system as the file fragments (0x060A, 0x060B) see it: whole files
// by path, at most kFileStoreLimit bytes in all, and the faults tests inject into it.
struct FileStore {
    std::map<std::string, std::vector<uint8_t>> files;
    std::size_t totalBytes = 0;
    std::optional<uint32_t> uploadCrcError;    // this upload fragment is taken as corrupt
    std::optional<uint32_t> downloadCrcError;  // this download fragment carries a wrong CRC
    std::optional<uint32_t> vanishAfter;       // fragments answered before the card vanishes
    std::optional<std::pair<uint32_t, uint16_t>> renumber;  // the reply to this download
                                                            // fragment carries this number
    uint32_t fragmentsAnswered = 0;
};

// The card's flash (card_flash.cpp): 64 blocks of 65536 bytes, a sound firmware image
// from the first request that touches it on; a restart keeps it. Every card of the
// process reads the one starting image; a card holds a block of its own only once it
// has written that block.
using FlashBlockBytes = std::array<uint8_t, FLASH_BLOCK_LEN>;
struct FlashStore {
    std::shared_ptr<const std::vector<uint8_t>> base;  // the starting image; null until first used
    std::array<std::unique_ptr<FlashBlockBytes>, FLASH_BLOCK_COUNT> own;  // the blocks written
    std::optional<uint32_t> crcError;  // this block: a write is taken as corrupt, a read
                                       // is sent with a wrong CRC
    std::optional<std::pair<uint32_t, uint16_t>> refused;  // this block: every read and write
                                                           // is answered this status
};

struct Fault {
    enum class Kind { kStatus, kDrop, kRawReply } kind = Kind::kStatus;
    uint16_t status = 0;
    std::vector<uint8_t> raw;
};

struct CardState {
    CardConfig running;  // what the card uses now
    CardConfig saved;    // what a restart without saving returns to
    STRUCT_FW_INFO fwInfo{};
    ClockSource clock;
    int64_t clockOffset = 0;
    uint8_t mode = 0;  // 0 normal, 1 flash mode
    int resetCount = 0;
    int generation = 0;  // restarts and network setting changes: each ends TCP sessions
    ResetKind lastReset = ResetKind::kNone;
    std::map<uint16_t, Fault> faults;
    SelLog sel;
    bool interfaceUp = true;
    HostAndHealth host;
    FileStore fileStore;
    FlashStore flash;
    std::optional<std::vector<uint8_t>> sensors;  // the sensor tree's stream, while an SDK is read
    std::random_device random;

    int64_t Now() const { return clock() + clockOffset; }
    void SetTime(int64_t epochSeconds) { clockOffset = epochSeconds - clock(); }
    // The card restarts: counted (also in `generation`), back in normal mode; the caller sets
    // Session::closeAfterReply and decides what happens to the configuration.
    void Restart(ResetKind kind);
    // The running configuration becomes the saved one, which goes to the hook, if any.
    void SaveConfig();
    ConfigSavedHook configSaved;
};

// The saved configuration's bytes (card_saved.cpp), and back: false, with the reason,
// for bytes that do not parse (`config` is then unchanged).
std::vector<uint8_t> EncodeConfig(const CardConfig& config);
bool DecodeConfig(std::span<const uint8_t> blob, CardConfig& config, std::string& why);

// The reply a handler builds: its status and, for status 0, its data: in `data`, or,
// for a large answer, written straight into the reply packet through Room().
struct Reply {
    uint16_t status = 0;
    std::vector<uint8_t> data;

    // `len` data bytes in the reply packet itself, after the header; they are not
    // cleared, so the handler writes every one of them. Replaces `data`.
    uint8_t* Room(std::size_t len)
    {
        data.clear();
        packet.resize(ZUNA_HEADER_LEN + len);
        inPacket = true;
        return packet.data() + ZUNA_HEADER_LEN;
    }

    explicit Reply(PacketBuffer& into) : packet(into) {}
    PacketBuffer& packet;   // the reply packet being built
    bool inPacket = false;  // whether Room() holds the data
};

using Handler = void (*)(CardState& card, Session& session, std::span<const uint8_t> request,
                         Reply& reply);

struct Command {
    Handler handler = nullptr;
    // Exact request data length; requests of another length answer 28. Unset: the
    // handler checks the length itself.
    std::optional<std::size_t> requestLen;
    // Whether the command is refused with 2 before a login on a session that needs one.
    bool needsLogin = true;
};

using CommandTable = std::map<uint16_t, Command>;

// One per area of commands.
void AddLoginCommands(CommandTable& table);
void AddGeneralCommands(CommandTable& table);
void AddNetworkCommands(CommandTable& table);  // network (0x07) and MAC address (0x08)
void AddSelCommands(CommandTable& table);
void AddPefCommands(CommandTable& table);  // PEF tables and alert recipients
void AddHeartbeatCommands(CommandTable& table);
void AddUserCommands(CommandTable& table);
void AddAdvancedCommands(CommandTable& table);  // advanced settings (0x0C)
void AddPowerCommands(CommandTable& table);     // host power (0x03) and card health (0x01)
void AddFileCommands(CommandTable& table);      // file fragments (0x060A, 0x060B)
void AddFlashCommands(CommandTable& table);     // flash blocks, modules, commits (0x0601..0x0606)
void AddSdkCommands(CommandTable& table);       // sensor SDK (0x0200..0x0202)
// A new card's SDK file and the sensors its monitoring service watches.
void InstallDefaultSdk(CardState& card);
// Removes the SDK file; the monitoring service then watches nothing.
void RemoveSdk(CardState& card);

// Counts one transfer request (a file fragment or a flash block); false once the card
// has vanished (--vanish-after): the connection is then dropped without a reply.
bool StillThere(CardState& card, Session& session);

// Adds a record to the end of the event log, stamped `epochSeconds` (kept within
// 0 to 2^32 - 1), with the card's record type and, when it has no text, the text
// "Module M event N". A full log follows the fill policy: rollover drops the oldest
// record, stop refuses. Returns 0, or 18 (ZUNA_E_SPACE) when refused.
uint16_t AppendSelEntry(CardState& card, SelEntry entry, int64_t epochSeconds);

// Reads a packed record from request data whose length the command table checked.
template <typename Record>
Record ReadRecord(std::span<const uint8_t> request)
{
    Record record{};
    std::memcpy(&record, request.data(), std::min(request.size(), sizeof(Record)));
    return record;
}

// Puts a packed record into the reply's data.
template <typename Record>
void SetReplyRecord(Reply& reply, const Record& record)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    reply.data.assign(bytes, bytes + sizeof(Record));
}

}  // namespace kelcard::detail
