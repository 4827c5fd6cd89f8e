#include "vdrive.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <sstream>

#include "x9endian.h"
#include "zunahdr.h"
#include "number_text.h"

namespace kelcard {
namespace {

constexpr std::size_t kCdbLen = 10;
constexpr uint32_t kMaxDataIn = ZUNA_MAX_PACKET_LEN;

// Sense keys and additional sense codes the drive reports.
constexpr uint8_t kNotReady = 0x02;
constexpr uint8_t kAscMediumNotPresent = 0x3A;
constexpr uint8_t kIllegalRequest = 0x05;
constexpr uint8_t kAscInvalidOpcode = 0x20;
constexpr uint8_t kAscLbaOutOfRange = 0x21;
constexpr uint8_t kAscInvalidField = 0x24;
constexpr uint8_t kAscSequenceError = 0x2C;

CONFIG_CMD EmptyBlock()
{
    CONFIG_CMD block{};
    std::memcpy(block.BeginSig, X9CD_BEGIN_SIG, sizeof(block.BeginSig));
    std::memcpy(block.EndSig, X9CD_END_SIG, sizeof(block.EndSig));
    return block;
}

bool HasSignatures(const CONFIG_CMD& block)
{
    return std::memcmp(block.BeginSig, X9CD_BEGIN_SIG, sizeof(block.BeginSig)) == 0 &&
           std::memcmp(block.EndSig, X9CD_END_SIG, sizeof(block.EndSig)) == 0;
}

}  // namespace

std::array<uint8_t, kDriveSenseLen> DriveSenseData(const DriveOutcome& outcome)
{
    std::array<uint8_t, kDriveSenseLen> sense{};
    sense[0] = 0x70;  // current error, fixed format
    sense[2] = outcome.senseKey;
    sense[7] = kDriveSenseLen - 8;  // additional sense length
    sense[12] = outcome.asc;
    sense[13] = outcome.ascq;
    return sense;
}

VirtualDrive::VirtualDrive(CardModel& card, DriveSettings settings)
    : m_card(card), m_settings(std::move(settings)), m_block(EmptyBlock())
{
    m_session.requireLogin = false;
}

DriveCounts VirtualDrive::Counts() const
{
    std::lock_guard lock(m_mutex);
    return m_counts;
}

DriveOutcome VirtualDrive::Refuse(uint8_t asc, uint8_t ascq)
{
    ++m_counts.refused;
    DriveOutcome outcome;
    outcome.good = false;
    outcome.senseKey = kIllegalRequest;
    outcome.asc = asc;
    outcome.ascq = ascq;
    return outcome;
}

bool VirtualDrive::Away() const
{
    if (!m_settings.awayFrom) return false;
    const auto now = std::chrono::steady_clock::now() - m_created;
    return now >= *m_settings.awayFrom && (!m_settings.awayUntil || now < *m_settings.awayUntil);
}

DriveOutcome VirtualDrive::Answer(const void* answer, std::size_t answerLen, uint8_t* data, std::size_t dataLen)
{
    DriveOutcome outcome;
    outcome.transferred = std::min(answerLen, dataLen);
    if (outcome.transferred != 0) std::memcpy(data, answer, outcome.transferred);
    return outcome;
}

DriveOutcome VirtualDrive::Execute(const uint8_t* cdb, std::size_t cdbLen, DriveDirection direction, uint8_t* data,
                                   std::size_t dataLen)
{
    std::lock_guard lock(m_mutex);
    if (Away()) {
        ++m_counts.whileAway;
        DriveOutcome outcome = Refuse(kAscMediumNotPresent);
        outcome.senseKey = kNotReady;
        return outcome;
    }
    if (cdb == nullptr || cdbLen < kCdbLen) return Refuse(kAscInvalidField);
    if (data == nullptr) dataLen = 0;
    const uint8_t opcode = cdb[0];

    if (opcode == X9CD_OP_WRITE_SECTOR || opcode == X9CD_OP_READ_SECTOR) {
        const bool write = opcode == X9CD_OP_WRITE_SECTOR;
        if (direction != (write ? DriveDirection::kToDevice : DriveDirection::kFromDevice) ||
            GetBe16(cdb + 7) != 1 || dataLen != X9CD_BLOCK_SIZE)
            return Refuse(kAscInvalidField);
        const uint32_t sector = GetBe32(cdb + 2);
        if (sector != static_cast<uint32_t>(X9CD_CMD_SECTOR) && sector != static_cast<uint32_t>(X9CD_DATA_SECTOR))
            return Refuse(kAscLbaOutOfRange);
        if (write) return WriteSector(sector, data);
        if (!m_settings.shortReads) return ReadSector(sector, data);
        uint8_t block[X9CD_BLOCK_SIZE];
        DriveOutcome outcome = ReadSector(sector, block);
        outcome.transferred = std::min(outcome.transferred, *m_settings.shortReads);
        std::memcpy(data, block, outcome.transferred);
        return outcome;
    }

    // The remaining commands all answer from the drive.
    const bool known = opcode == X9CD_OP_IDENTIFY || opcode == X9CD_OP_HB_START || opcode == X9CD_OP_HB ||
                       opcode == X9CD_OP_HB_END || opcode == X9CD_OP_MOUSE;
    if (!known) return Refuse(kAscInvalidOpcode);
    if (direction != DriveDirection::kFromDevice) return Refuse(kAscInvalidField);

    if (opcode == X9CD_OP_IDENTIFY) {
        ++m_counts.identify;
        return Answer(X9CD_IDENTIFY_ANSWER, sizeof(X9CD_IDENTIFY_ANSWER), data, dataLen);
    }
    if (opcode == X9CD_OP_MOUSE) {
        ++m_counts.mouse;
        HOST_MOUSE_PKT packet{};  // after the script: nothing new
        if (m_mouseNext < m_settings.mouseScript.size()) packet = m_settings.mouseScript[m_mouseNext++];
        return Answer(&packet, sizeof(packet), data, dataLen);
    }
    if (opcode == X9CD_OP_HB_START)
        ++m_counts.heartbeatStart;
    else if (opcode == X9CD_OP_HB)
        ++m_counts.heartbeat;
    else
        ++m_counts.heartbeatEnd;
    if (m_settings.onHeartbeat)
        m_settings.onHeartbeat(opcode, std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - m_created));
    uint8_t answer[sizeof(OS_HB_PACKET)];
    PutLe32(answer, static_cast<uint32_t>(m_settings.heartbeatSeconds));
    return Answer(answer, sizeof(answer), data, dataLen);
}

DriveOutcome VirtualDrive::WriteSector(uint32_t sector, const uint8_t* block)
{
    if (sector == static_cast<uint32_t>(X9CD_CMD_SECTOR)) {
        StartCommand(block);
    } else {
        if (m_mailbox != Mailbox::kReceiving) return Refuse(kAscSequenceError);
        if (!m_discardRequest) {
            const std::size_t take = std::min<std::size_t>(X9CD_BLOCK_SIZE, m_dataInLen - m_request.size());
            m_request.insert(m_request.end(), block, block + take);
        }
        if (++m_blocksReceived == m_blocksExpected) RunCommand();
    }
    // The whole block was taken.
    DriveOutcome outcome;
    outcome.transferred = X9CD_BLOCK_SIZE;
    return outcome;
}

DriveOutcome VirtualDrive::ReadSector(uint32_t sector, uint8_t* block)
{
    if (sector == static_cast<uint32_t>(X9CD_CMD_SECTOR)) {
        if (m_mailbox == Mailbox::kReceiving) {
            // The host stopped sending: the card answers at once.
            m_reply.clear();
            Complete(X9CD_STATUS_TOO_LITTLE_DATA);
            m_busyLeft = 0;
        }
        CONFIG_CMD shown = m_block;
        if (m_busyLeft > 0) {
            --m_busyLeft;
            ++m_counts.busyReadings;
            shown.Status = HostToLe16(X9CD_STATUS_BUSY);
            shown.DataOutLen = 0;
        }
        std::memcpy(block, &shown, sizeof(shown));
    } else {
        if (m_mailbox != Mailbox::kDone || m_busyLeft > 0 || m_status != X9CD_STATUS_SUCCESS ||
            m_replyRead >= m_reply.size())
            return Refuse(kAscSequenceError);
        const std::size_t take = std::min(X9CD_BLOCK_SIZE, m_reply.size() - m_replyRead);
        std::memcpy(block, m_reply.data() + m_replyRead, take);
        std::memset(block + take, 0, X9CD_BLOCK_SIZE - take);
        m_replyRead += take;
    }
    DriveOutcome outcome;
    outcome.transferred = X9CD_BLOCK_SIZE;
    return outcome;
}

void VirtualDrive::StartCommand(const uint8_t* block)
{
    std::memcpy(&m_block, block, sizeof(m_block));
    m_request.clear();
    m_reply.clear();
    m_replyRead = 0;
    m_busyLeft = 0;
    m_blocksReceived = 0;
    m_discardRequest = false;
    if (!HasSignatures(m_block)) {
        m_dataInLen = 0;
        m_blocksExpected = 0;
        Complete(X9CD_STATUS_UNSUPPORTED);
        return;
    }
    m_dataInLen = Le32ToHost(m_block.DataInLen);
    m_discardRequest = m_dataInLen > kMaxDataIn;
    m_blocksExpected = (static_cast<uint64_t>(m_dataInLen) + X9CD_BLOCK_SIZE - 1) / X9CD_BLOCK_SIZE;
    if (!m_discardRequest) m_request.reserve(m_dataInLen);
    m_mailbox = Mailbox::kReceiving;
    if (m_blocksExpected == 0) RunCommand();
}

void VirtualDrive::RunCommand()
{
    m_reply.clear();
    if (m_discardRequest) {
        Complete(X9CD_STATUS_TOO_MUCH_DATA);
        return;
    }
    switch (Le16ToHost(m_block.Command)) {
    case X9CD_CMD_ZUNA:
        m_card.HandlePacket(m_session, m_request.data(), m_request.size(), m_reply);
        if (m_session.dropWithoutReply) m_reply.clear();
        Complete(X9CD_STATUS_SUCCESS);
        break;
    case X9CD_CMD_OS_HEARTBEAT: {
        if (m_request.size() < sizeof(OS_HB_PACKET)) {
            Complete(X9CD_STATUS_TOO_LITTLE_DATA);
            break;
        }
        uint8_t answer[sizeof(OS_HB_PACKET)];
        PutLe32(answer, static_cast<uint32_t>(m_settings.heartbeatSeconds));
        m_reply.assign(std::begin(answer), std::end(answer));
        Complete(X9CD_STATUS_SUCCESS);
        break;
    }
    default:
        Complete(X9CD_STATUS_UNSUPPORTED);
        break;
    }
}

void VirtualDrive::Complete(uint16_t status)
{
    ++m_counts.mailboxCommands;
    m_mailbox = Mailbox::kDone;
    m_request.clear();
    m_status = status;
    m_replyRead = 0;
    m_busyLeft = m_settings.busyPolls;
    m_block.Status = HostToLe16(status);
    m_block.DataOutLen = HostToLe32(static_cast<uint32_t>(m_reply.size()));
}

bool ParseMouseScript(const std::string& text, std::vector<HOST_MOUSE_PKT>& packets, std::string& error)
{
    packets.clear();
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::vector<std::string> fields;
        for (std::string word; words >> word;) fields.push_back(word);
        if (fields.empty() || fields[0][0] == '#') continue;

        const uint32_t limits[] = {0xFF, 0xFFFF, 0xFFFF, 0xFF};
        uint32_t values[4] = {};
        bool ok = fields.size() == 4;
        for (std::size_t i = 0; ok && i < 4; ++i) {
            const auto value = ParseNumber(fields[i], limits[i]);
            ok = value.has_value();
            if (ok) values[i] = *value;
        }
        if (!ok) {
            error = "mouse script line " + std::to_string(number) +
                    ": expected EVENT ABSX ABSY VALID (0-255, 0-65535, 0-65535, 0-255), got '" + line + "'";
            return false;
        }
        HOST_MOUSE_PKT packet{};
        packet.Event = static_cast<uint8_t>(values[0]);
        packet.AbsX = HostToLe16(static_cast<uint16_t>(values[1]));
        packet.AbsY = HostToLe16(static_cast<uint16_t>(values[2]));
        packet.IsValidData = static_cast<uint8_t>(values[3]);
        packets.push_back(packet);
    }
    return true;
}

}  // namespace kelcard
