// kelcard's virtual drive: the card's CD-ROM drive on the host's SCSI bus, one SCSI
// command at a time. Plain C++ with no I/O; a front end (the SCSI generic node of
// `kelcard run`, or a test) hands it each command's CDB, data direction and data
// buffer. The drive shares its card with any other front end; every public method is
// safe to call from several threads.
//
// How the drive answers (CDBs are 10 bytes; a longer CDB's extra bytes are ignored):
//   0xEE identify   data in: "$$$TAV$$$" and its NUL, 10 bytes.
//   0xE5/E6/E7      heartbeat start / heartbeat / end, data in: OS_HB_PACKET with
//                   the configured seconds (little-endian).
//   0xEB mouse      data in: the next HOST_MOUSE_PKT of the script; once the script
//                   is used up, a packet of zeros (IsValidData 0: nothing new).
//   0xE2 / 0xE3     write / read one 512-byte block of a mailbox sector: CDB bytes 2-5
//                   the sector (1 or 2, big-endian), bytes 7-8 the block count (1);
//                   exactly 512 data bytes.
// Data-in answers are cut to the buffer given; the outcome says how much was moved.
//
// The mailbox (sector 1 the CONFIG_CMD command block, sector 2 the data stream):
//   - A command block written to sector 1 starts a new command and abandons the old
//     one. A block without "$X9-CONFIG-HOST$" and 55 AA completes at once with status
//     3 (unsupported) and no reply.
//   - Then ceil(DataInLen / 512) blocks are accepted on sector 2 (the request; bytes
//     past DataInLen are padding). When the last one has arrived the command runs:
//       DataInLen above 66560     status 1 (too much data); the blocks are discarded
//       command 0x0000            the request goes to the card as one ZUNA packet
//                                 (a session without login); the reply packet is the
//                                 reply data (empty when the card drops the request)
//       command 0xFFFE            OS heartbeat: 4 reply bytes, the configured seconds;
//                                 status 2 (too little data) for fewer than 4 bytes
//       any other command         status 3 (unsupported)
//   - Reading sector 1 returns the command block as written, with Status and
//     DataOutLen set by the card: after a command ran, the first `busyPolls` reads
//     show Status 0x8000 (busy) and DataOutLen 0, later ones the final status and
//     the reply length. Reading it while request blocks are still missing completes
//     the command with status 2 (too little data).
//   - Reading sector 2 returns the next 512 bytes of the reply, zero padded, once the
//     command has completed with status 0 and is no longer shown busy.
// With DriveSettings::shortReads N, every mailbox block read (sector 1 or 2) moves only
// its first N bytes and leaves the rest of the host's buffer untouched, with status
// GOOD: a transfer the host can tell only by its residual count.
// While the card is away (DriveSettings::awayFrom up to awayUntil, measured from the
// drive's creation) every command is refused with a check condition (NOT READY,
// medium not present) and changes no state: to the host the card is gone.
// Everything else is refused with a check condition (ILLEGAL REQUEST) and moves no
// data: unknown opcodes, a CDB shorter than 10 bytes, a data direction other than the
// command's, a sector or block count other than above, a mailbox block of another
// size, a sector-2 block beyond the request or with no command pending, a sector-2
// read with no reply (left) to read. A refused command changes no state.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

#include "card_model.h"
#include "hostifc.h"

namespace kelcard {

enum class DriveDirection {
    kNone,        // no data phase
    kToDevice,    // the host sends the data buffer
    kFromDevice,  // the drive fills the data buffer
};

// The outcome of one SCSI command.
struct DriveOutcome {
    bool good = true;              // false: check condition, with the sense below
    std::size_t transferred = 0;   // data bytes moved (the rest of the buffer is residue)
    uint8_t senseKey = 0;
    uint8_t asc = 0;               // additional sense code
    uint8_t ascq = 0;              // its qualifier
};

// Fixed-format sense data (response code 0x70) for a check condition.
inline constexpr std::size_t kDriveSenseLen = 18;
std::array<uint8_t, kDriveSenseLen> DriveSenseData(const DriveOutcome& outcome);

inline constexpr int32_t kDefaultHeartbeatSeconds = 10;
inline constexpr unsigned kDefaultBusyPolls = 1;

struct DriveSettings {
    int32_t heartbeatSeconds = kDefaultHeartbeatSeconds;  // every heartbeat answer
    unsigned busyPolls = kDefaultBusyPolls;  // busy readings of sector 1 after each command
    std::optional<std::size_t> shortReads;   // bytes each mailbox block read moves (below 512)
    std::vector<HOST_MOUSE_PKT> mouseScript;  // in wire byte order, answered in turn
    // The card is away from awayFrom (since the drive's creation) until awayUntil
    // (for good without it).
    std::optional<std::chrono::milliseconds> awayFrom;
    std::optional<std::chrono::milliseconds> awayUntil;
    // Told of every heartbeat command answered (opcode 0xE5, 0xE6 or 0xE7) and when,
    // since the drive's creation. Called with the drive's lock held.
    std::function<void(uint8_t opcode, std::chrono::milliseconds at)> onHeartbeat;
};

// What the drive has been asked, for tests.
struct DriveCounts {
    unsigned identify = 0;
    unsigned heartbeatStart = 0;
    unsigned heartbeat = 0;
    unsigned heartbeatEnd = 0;
    unsigned mouse = 0;
    unsigned mailboxCommands = 0;  // commands run (any status), bad blocks included
    unsigned busyReadings = 0;     // sector-1 reads answered busy
    unsigned refused = 0;          // check conditions
    unsigned whileAway = 0;        // commands refused while the card was away
};

class VirtualDrive {
public:
    // The card must outlive the drive.
    explicit VirtualDrive(CardModel& card, DriveSettings settings = {});
    VirtualDrive(const VirtualDrive&) = delete;
    VirtualDrive& operator=(const VirtualDrive&) = delete;

    // Executes one command. `cdb` holds `cdbLen` bytes; `data` holds `dataLen` bytes
    // and is read (kToDevice) or written (kFromDevice) within them only. With kNone
    // the buffer is not touched.
    DriveOutcome Execute(const uint8_t* cdb, std::size_t cdbLen, DriveDirection direction, uint8_t* data,
                         std::size_t dataLen);

    DriveCounts Counts() const;

private:
    enum class Mailbox {
        kIdle,       // no command yet
        kReceiving,  // request blocks outstanding
        kDone,       // completed: busy readings, then the final status and the reply
    };

    DriveOutcome WriteSector(uint32_t sector, const uint8_t* block);
    DriveOutcome ReadSector(uint32_t sector, uint8_t* block);
    void StartCommand(const uint8_t* block);
    void RunCommand();
    void Complete(uint16_t status);  // the reply is what m_reply holds
    DriveOutcome Answer(const void* answer, std::size_t answerLen, uint8_t* data, std::size_t dataLen);
    DriveOutcome Refuse(uint8_t asc, uint8_t ascq = 0);
    bool Away() const;

    CardModel& m_card;
    const DriveSettings m_settings;
    const std::chrono::steady_clock::time_point m_created = std::chrono::steady_clock::now();
    mutable std::mutex m_mutex;
    Session m_session;
    std::size_t m_mouseNext = 0;
    DriveCounts m_counts;

    Mailbox m_mailbox = Mailbox::kIdle;
    CONFIG_CMD m_block{};              // as the host wrote it, Status and DataOutLen the card's
    uint32_t m_dataInLen = 0;
    uint64_t m_blocksExpected = 0;
    uint64_t m_blocksReceived = 0;
    bool m_discardRequest = false;     // DataInLen too large: blocks are counted, not kept
    std::vector<uint8_t> m_request;
    uint16_t m_status = 0;
    unsigned m_busyLeft = 0;
    PacketBuffer m_reply;              // kept from command to command, as m_request
    std::size_t m_replyRead = 0;       // reply bytes handed out on sector 2
};

// The mouse script of `kelcard run --mouse-script`: one packet per line, four numbers
// (decimal, or hexadecimal after "0x") separated by blanks:
//     EVENT ABSX ABSY VALID
// EVENT the button bits (0-255), ABSX and ABSY the position (0-65535), VALID the
// packet's IsValidData (0-255). Empty lines and lines starting with '#' are skipped.
// The packets come out in wire byte order. On a bad line returns false with a message
// naming the line in `error`.
bool ParseMouseScript(const std::string& text, std::vector<HOST_MOUSE_PKT>& packets, std::string& error);

}  // namespace kelcard
