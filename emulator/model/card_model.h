// kelcard's card model: the state of one ORVA card and one handler per ZUNA command
// code. Plain C++ with no I/O: a complete request packet goes in, a complete reply
// packet comes out. The front ends (TCP server, virtual drive) share one model; every
// public method is safe to call from several threads.
//
// How the card answers a request packet, in this order:
//   0. A connection does not outlive the card's restart or a change of its network
//      settings: on a session with Session::endsWithRestart (TCP) that made requests
//      before such a change, every request is dropped (Session::dropWithoutReply).
//   1. Malformed packet: shorter than a header, wrong signature, bHeaderLen not 32, or
//      dwDataLen not matching the packet length (or above 66528): status 28
//      (ZUNA_E_INVALID). Header bytes not summing to 0 mod 256: status 34
//      (ZUNA_E_CHECKSUM). wCommand is echoed when the header is complete, else 0.
//   2. Session requires a login and has none: every code but 0x0001 and 0x0002
//      answers 2 (ZUNA_E_NEEDAUTH).
//   3. An injected fault for the code (ForceStatus, ForceDrop, ForceRawReply).
//   4. Unknown code: 32 (ZUNA_E_UNSUPPORTED). Request data of the wrong length for
//      the code: 28 (ZUNA_E_INVALID).
//   5. The command's handler. A reply whose status is not 0 carries no data.
// Reply header: signature, ZunaVersion 0.4, bHeaderLen 32, dwDataLen, wCommand echoed,
// wStatus, bOriginator 0 (the card); all 32 bytes sum to 0 mod 256.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace kelcard {

// An allocator whose growth of a vector leaves the new elements uninitialised (a
// default-initialised uint8_t), for buffers that are written whole once grown.
template <typename T>
struct NoFillAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = NoFillAllocator<U>;
    };
    NoFillAllocator() = default;
    template <typename U>
    NoFillAllocator(const NoFillAllocator<U>&) noexcept
    {
    }
    template <typename U>
    void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void*>(at)) U;
    }
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args)
    {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

// A reply packet that a front end keeps from one request to the next: its capacity
// stays, so a 64 KiB answer costs no allocation, and growing it clears nothing.
using PacketBuffer = std::vector<uint8_t, NoFillAllocator<uint8_t>>;

struct Account {
    std::string user;
    std::string password;
};

// The account a card has when none is given.
inline constexpr const char* kDefaultUser = "admin";
inline constexpr const char* kDefaultPassword = "admin";
// The most accounts, and the most SNMP users, the card holds.
inline constexpr std::size_t kMaxAccounts = 16;
inline constexpr std::size_t kMaxSnmpUsers = 16;

// The firmware texts a card reports unless told otherwise (the tool prints them
// without adding a line end, so they end in one).
inline constexpr const char* kDefaultFwVersion = "2.3.1\n";
inline constexpr const char* kDefaultFwBuildDate = "Mar 14 2005 10:22:51\n";

// A new card's network settings: the static address 10.0.0.5, netmask 255.255.255.0,
// gateway 10.0.0.1 on its interface "eth0", and the MAC address 00:2A:3B:4C:5D:1D.
// Numbers in host order.
inline constexpr uint32_t kDefaultIpAddress = 0x0A000005;
inline constexpr uint32_t kDefaultNetmask = 0xFFFFFF00;
inline constexpr uint32_t kDefaultGateway = 0x0A000001;
inline constexpr std::array<uint8_t, 6> kDefaultMac = {0x00, 0x2A, 0x3B, 0x4C, 0x5D, 0x1D};

// Where the card keeps its MAC address: in its configuration module (flash blocks 1
// and 2), as six address bytes and their check byte at this offset of block 2, where
// the images the tools build hold erased bytes. A flash read shows the card's address
// there; a write of block 2 gives the running card the address the block carries (an
// update writes the image's, so the tool writes the address it read before back
// afterwards); as with every setting, a reset with the saved configuration saves it.
inline constexpr uint32_t kMacRecordBlock = 2;
inline constexpr std::size_t kMacRecordOffset = 65536 - 16;

// A new card's heartbeat interval, in seconds.
inline constexpr uint32_t kDefaultHeartbeatInterval = 300;

// The event log holds this many records (48 bytes each in its free-space count).
inline constexpr std::size_t kSelCapacity = 64;

// What the card does to the host's power, as asked by 0x0300.
enum class HostPowerAction { kReset, kDown, kUp, kCycle };
// The action's word: "reset", "down", "up" or "cycle".
const char* HostPowerWord(HostPowerAction action);
// Called for each power action as the card carries it out.
using HostPowerHook = std::function<void(HostPowerAction)>;

// The most bytes the card's file store holds, all files together.
inline constexpr std::size_t kFileStoreLimit = 32u << 20;

// The card's health readings (0x0100), always this many.
inline constexpr std::size_t kHealthReadings = 6;

// The saved configuration as bytes (the card's state file): at most this long, of this
// version. Called with those bytes each time the card saves its configuration.
inline constexpr std::size_t kMaxSavedConfigBytes = 1u << 20;
inline constexpr uint32_t kSavedConfigVersion = 1;
using ConfigSavedHook = std::function<void(const std::vector<uint8_t>& savedConfig)>;

// Per-connection state kept by a front end and handed to every call.
struct Session {
    bool requireLogin = true;   // TCP: true; host interface: false
    bool loggedIn = false;
    std::string user;  // the account of the latest successful login
    bool haveChallenge = false;
    std::array<uint8_t, 8> challenge{};
    // Set by the model: the connection ends after this reply (the card restarts, or
    // leaves the network address that the connection uses).
    bool closeAfterReply = false;
    bool dropWithoutReply = false; // set by the model: the connection ends, no reply sent
    // Set by a front end whose sessions are connections (TCP); see step 0 above.
    bool endsWithRestart = false;
    int generation = -1;  // kept by the model: the card's restarts and network changes
                          // counted at the session's first request
};

// A session as the host interface has it: no login is needed.
inline Session HostInterfaceSession()
{
    Session session;
    session.requireLogin = false;
    return session;
}

// Why the card last restarted.
enum class ResetKind {
    kNone,           // not restarted since the model was made
    kSaveConfig,     // 0x0900: configuration saved, then restart
    kNoConfig,       // 0x0901: restart with the last saved configuration
    kClockRollback,  // 0x090A with rollback 1 and an earlier time
};

// Where the card's clock comes from (seconds since the epoch); tests may freeze it.
// The card's time is the source's value plus an offset that setting the time moves.
using ClockSource = std::function<int64_t()>;

namespace detail {
struct CardState;
}

class CardModel {
public:
    // The card's accounts; an empty list gives the one account kDefaultUser with
    // kDefaultPassword. The accounts are part of the saved configuration.
    explicit CardModel(std::vector<Account> accounts = {});
    ~CardModel();
    CardModel(const CardModel&) = delete;
    CardModel& operator=(const CardModel&) = delete;

    // Handles one request packet (header and data, `len` bytes) and returns the
    // reply packet. Clears and then may set session.closeAfterReply (the card
    // restarts: the front end closes the connection after sending the reply) or
    // session.dropWithoutReply (the front end closes without sending; the returned
    // packet is then empty). Never reads outside [packet, packet + len).
    std::vector<uint8_t> HandlePacket(Session& session, const uint8_t* packet, std::size_t len);
    // The same, the reply packet written into `reply` (its old contents replaced, its
    // capacity kept): what a front end calls for every request.
    void HandlePacket(Session& session, const uint8_t* packet, std::size_t len, PacketBuffer& reply);

    // Fault injection, each for every later request with this command code (after the
    // login check, also for codes the card does not know); the state is not changed.
    // ForceStatus: answer this status with no data.
    void ForceStatus(uint16_t command, uint16_t status);
    // ForceDrop: end the connection without a reply.
    void ForceDrop(uint16_t command);
    // ForceRawReply: answer exactly these bytes (any header, checksum and length);
    // an empty reply acts as ForceDrop.
    void ForceRawReply(uint16_t command, std::vector<uint8_t> reply);
    // Removes any fault injected for this code.
    void ClearForcedStatus(uint16_t command);

    // Replaces the clock source, keeping the offset (0 until the time is set); a null
    // source returns the clock to the host's time().
    void SetClockSource(ClockSource clock);
    // Sets the card's clock, as the card's own setting would but without a restart.
    void SetCardTime(int64_t epochSeconds);
    // Texts longer than 79 characters are cut to 79.
    void SetFirmwareInfo(const std::string& version, const std::string& buildDate);

    // Read-only views for tests.
    std::string CardName() const;
    int64_t CardTime() const;
    int ResetCount() const;
    ResetKind LastReset() const;
    uint8_t CardMode() const;

    // Network and MAC address (card_network.cpp).
    // Brings the card's network interface up or down; while it is down the card
    // reports an empty interface name and no addresses. Not configuration.
    void SetInterfaceUp(bool up);
    // Gives the card this MAC address, running and saved, as if it had been made so.
    void SetMacAddress(const std::array<uint8_t, 6>& mac);
    std::array<uint8_t, 6> MacAddress() const;

    // Event log (card_sel.cpp).
    // Logs a record stamped `epochSeconds` (instead of the card's clock) with this
    // event id (module << 8 | event) and severity byte; an empty text gives the
    // description "Module M event N". Follows the fill policy when the log is full;
    // returns false when the policy "stop" refused the record.
    bool AddSelRecordAt(int64_t epochSeconds, uint16_t eventId, uint8_t severity, const std::string& text = {});
    std::size_t SelRecordCount() const;

    // Heartbeat interval (card_oshb.cpp), in seconds.
    uint32_t HeartbeatInterval() const;

    // Host power and card health (card_power.cpp).
    // The hook is called for every power action the card carries out, with the card's
    // lock held: it must not call the model. A null hook removes it.
    void SetHostPowerHook(HostPowerHook hook);
    // The power actions carried out so far, oldest first, and whether the host is on
    // (a new card's host is on; down turns it off, up and cycle on, reset leaves it).
    std::vector<HostPowerAction> HostPowerLog() const;
    bool HostPowered() const;
    // Sets reading `index` (0 to kHealthReadings - 1) to `thousandths` of a volt; the
    // card derives the reading's status from it. False for another index.
    bool SetHealthValue(std::size_t index, uint32_t thousandths);
    // Removes the card's SDK file: the sensor read then answers no data, as the
    // card does before an SDK is uploaded (card_sdk.cpp).
    void RemoveSdk();

    // File store (card_files.cpp): files sent in fragments, kFileStoreLimit bytes in all.
    // A fragment that would take the store past it is refused with 18 (ZUNA_E_SPACE).
    // Faults: the card finds the CRC of upload fragment `n` wrong (answers 34), or
    // sends download fragment `n` with a wrong CRC; after `count` fragments (either
    // way, flash blocks counted too) the card drops the connection at every further
    // fragment or block; the reply to download fragment `n` carries the fragment
    // number `number` instead of its own.
    void InjectUploadCrcError(uint32_t n);
    void InjectDownloadCrcError(uint32_t n);
    void RenumberDownloadFragment(uint32_t n, uint16_t number);
    void VanishAfterFragments(uint32_t count);
    // The file at this path, if the card has one.
    std::optional<std::vector<uint8_t>> StoredFile(const std::string& path) const;

    // Saved configuration (card_saved.cpp): what the card keeps across a restart. The
    // hook is called each time the card saves it (0x0900, 0x0603, a clock rollback),
    // with the card's lock held: it must not call the model. A null hook removes it.
    void SetConfigSavedHook(ConfigSavedHook hook);
    // The saved configuration's bytes, as the hook gets them.
    std::vector<uint8_t> SavedConfig() const;
    // The card takes these bytes as its saved and running configuration, as if it had
    // restarted with them. False, with the reason in `why` and the card unchanged, for
    // bytes that do not parse: too long, another format or version, a wrong length or
    // checksum, a field out of its bounds.
    bool LoadSavedConfig(std::span<const uint8_t> blob, std::string& why);

    // Flash (card_flash.cpp): 64 blocks of 65536 bytes that start as a sound image.
    // Fault: a write of block `n` is answered 34, a read of it carries a wrong CRC.
    void InjectFlashCrcError(uint32_t n);
    // Fault: every read and write of block `n` is answered `status`, nothing written.
    void RefuseFlashBlock(uint32_t n, uint16_t status);

private:
    mutable std::mutex m_mutex;
    std::unique_ptr<detail::CardState> m_state;
};

}  // namespace kelcard
