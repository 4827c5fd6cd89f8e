#include "card_model.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "card_state.h"
#include "cksum.h"
#include "x9endian.h"
#include "zunacmds.h"
#include "zunahdr.h"

namespace kelcard {
namespace detail {

void CardState::Restart(ResetKind kind)
{
    ++resetCount;
    ++generation;
    lastReset = kind;
    mode = 0;
}

}  // namespace detail

namespace {

using detail::CardState;
using detail::Command;
using detail::CommandTable;
using detail::Reply;

const CommandTable& Commands()
{
    static const CommandTable table = [] {
        CommandTable t;
        detail::AddLoginCommands(t);
        detail::AddGeneralCommands(t);
        detail::AddNetworkCommands(t);
        detail::AddSelCommands(t);
        detail::AddPefCommands(t);
        detail::AddHeartbeatCommands(t);
        detail::AddUserCommands(t);
        detail::AddAdvancedCommands(t);
        detail::AddPowerCommands(t);
        detail::AddFileCommands(t);
        detail::AddFlashCommands(t);
        detail::AddSdkCommands(t);
        return t;
    }();
    return table;
}

int64_t HostTime()
{
    return static_cast<int64_t>(std::time(nullptr));
}

// The reply header for `dataLen` bytes of data, written over the first ZUNA_HEADER_LEN
// bytes of `packet`.
void PutReplyHeader(uint8_t* packet, uint16_t command, uint16_t status, std::size_t dataLen)
{
    ZUNA_HEADER header{};
    std::memcpy(header.bSignature, ZUNA_SIGNATURE, ZUNA_SIGNATURE_LEN);
    header.ZunaVersion = {ZUNA_VERSION_MAJOR, ZUNA_VERSION_MINOR};
    header.bHeaderLen = static_cast<ZUNA_BYTE>(ZUNA_HEADER_LEN);
    header.dwDataLen = HostToLe32(static_cast<uint32_t>(dataLen));
    header.wCommand = HostToLe16(command);
    header.wStatus = HostToLe16(status);
    header.APIVersion = {ZUNA_VERSION_MAJOR, ZUNA_VERSION_MINOR};
    header.bOriginator = 0;
    std::memcpy(packet, &header, ZUNA_HEADER_LEN);
    packet[offsetof(ZUNA_HEADER, bChecksum)] = ZunaHeaderChecksum(packet);
}

// `packet` becomes the reply: the header, then `data`.
void BuildReply(PacketBuffer& packet, uint16_t command, uint16_t status, std::span<const uint8_t> data = {})
{
    packet.resize(ZUNA_HEADER_LEN + data.size());
    std::copy(data.begin(), data.end(), packet.begin() + ZUNA_HEADER_LEN);
    PutReplyHeader(packet.data(), command, status, data.size());
}

// Checks the packet's framing. Returns 0 when it is a well-formed request, else the
// status to answer with.
uint16_t CheckPacket(const uint8_t* packet, std::size_t len)
{
    if (packet == nullptr || len < ZUNA_HEADER_LEN) return ZUNA_E_INVALID;
    if (std::memcmp(packet, ZUNA_SIGNATURE, ZUNA_SIGNATURE_LEN) != 0) return ZUNA_E_INVALID;
    if (ZunaByteSum(packet, ZUNA_HEADER_LEN) != 0) return ZUNA_E_CHECKSUM;
    if (packet[offsetof(ZUNA_HEADER, bHeaderLen)] != ZUNA_HEADER_LEN) return ZUNA_E_INVALID;
    const uint32_t dataLen = GetLe32(packet + offsetof(ZUNA_HEADER, dwDataLen));
    if (dataLen > ZUNA_MAX_DATA_LEN || dataLen != len - ZUNA_HEADER_LEN) return ZUNA_E_INVALID;
    return ZUNA_E_SUCCESS;
}

bool IsLoginCommand(uint16_t command)
{
    return command == ZUNACMD_GET_CHALLENGE || command == ZUNACMD_LOGIN;
}

}  // namespace

CardModel::CardModel(std::vector<Account> accounts) : m_state(std::make_unique<CardState>())
{
    if (accounts.empty()) accounts.push_back({kDefaultUser, kDefaultPassword});
    m_state->running.accounts = std::move(accounts);
    m_state->saved = m_state->running;
    m_state->clock = HostTime;
    detail::InstallDefaultSdk(*m_state);
    CopyTextField(m_state->fwInfo.fwVersion, sizeof(m_state->fwInfo.fwVersion), kDefaultFwVersion,
                          std::strlen(kDefaultFwVersion));
    CopyTextField(m_state->fwInfo.fwBuildDate, sizeof(m_state->fwInfo.fwBuildDate), kDefaultFwBuildDate,
                          std::strlen(kDefaultFwBuildDate));
}

CardModel::~CardModel() = default;

std::vector<uint8_t> CardModel::HandlePacket(Session& session, const uint8_t* packet, std::size_t len)
{
    PacketBuffer reply;
    HandlePacket(session, packet, len, reply);
    return std::vector<uint8_t>(reply.begin(), reply.end());
}

void CardModel::HandlePacket(Session& session, const uint8_t* packet, std::size_t len, PacketBuffer& out)
{
    std::lock_guard lock(m_mutex);
    CardState& card = *m_state;
    session.closeAfterReply = false;
    session.dropWithoutReply = false;
    out.clear();
    if (session.endsWithRestart) {
        if (session.generation >= 0 && session.generation != card.generation) {
            session.dropWithoutReply = true;
            return;
        }
        session.generation = card.generation;
    }

    const uint16_t command =
        (packet != nullptr && len >= ZUNA_HEADER_LEN) ? GetLe16(packet + offsetof(ZUNA_HEADER, wCommand)) : 0;
    if (const uint16_t framing = CheckPacket(packet, len); framing != ZUNA_E_SUCCESS) {
        return BuildReply(out, command, framing);
    }
    const std::span<const uint8_t> request(packet + ZUNA_HEADER_LEN, len - ZUNA_HEADER_LEN);

    if (session.requireLogin && !session.loggedIn && !IsLoginCommand(command)) {
        return BuildReply(out, command, ZUNA_E_NEEDAUTH);
    }

    if (auto fault = card.faults.find(command); fault != card.faults.end()) {
        switch (fault->second.kind) {
        case detail::Fault::Kind::kStatus:
            return BuildReply(out, command, fault->second.status);
        case detail::Fault::Kind::kRawReply:
            if (!fault->second.raw.empty()) {
                out.assign(fault->second.raw.begin(), fault->second.raw.end());
                return;
            }
            [[fallthrough]];
        case detail::Fault::Kind::kDrop:
            session.dropWithoutReply = true;
            return;
        }
    }

    const auto entry = Commands().find(command);
    if (entry == Commands().end()) return BuildReply(out, command, ZUNA_E_UNSUPPORTED);
    const Command& cmd = entry->second;
    if (cmd.requestLen && request.size() != *cmd.requestLen) return BuildReply(out, command, ZUNA_E_INVALID);

    Reply reply(out);
    cmd.handler(card, session, request, reply);
    if (session.dropWithoutReply) {
        out.clear();
    } else if (reply.status != ZUNA_E_SUCCESS) {
        BuildReply(out, command, reply.status);
    } else if (reply.inPacket) {
        PutReplyHeader(out.data(), command, reply.status, out.size() - ZUNA_HEADER_LEN);
    } else {
        BuildReply(out, command, reply.status, reply.data);
    }
}

void CardModel::ForceStatus(uint16_t command, uint16_t status)
{
    std::lock_guard lock(m_mutex);
    m_state->faults[command] = {detail::Fault::Kind::kStatus, status, {}};
}

void CardModel::ForceDrop(uint16_t command)
{
    std::lock_guard lock(m_mutex);
    m_state->faults[command] = {detail::Fault::Kind::kDrop, 0, {}};
}

void CardModel::ForceRawReply(uint16_t command, std::vector<uint8_t> reply)
{
    std::lock_guard lock(m_mutex);
    m_state->faults[command] = {detail::Fault::Kind::kRawReply, 0, std::move(reply)};
}

void CardModel::ClearForcedStatus(uint16_t command)
{
    std::lock_guard lock(m_mutex);
    m_state->faults.erase(command);
}

void CardModel::SetClockSource(ClockSource clock)
{
    std::lock_guard lock(m_mutex);
    m_state->clock = clock ? std::move(clock) : ClockSource(HostTime);
}

void CardModel::SetCardTime(int64_t epochSeconds)
{
    std::lock_guard lock(m_mutex);
    m_state->SetTime(epochSeconds);
}

void CardModel::SetFirmwareInfo(const std::string& version, const std::string& buildDate)
{
    std::lock_guard lock(m_mutex);
    STRUCT_FW_INFO& info = m_state->fwInfo;
    CopyTextField(info.fwVersion, sizeof(info.fwVersion), version.data(), version.size());
    CopyTextField(info.fwBuildDate, sizeof(info.fwBuildDate), buildDate.data(), buildDate.size());
}

std::string CardModel::CardName() const
{
    std::lock_guard lock(m_mutex);
    return TextOfField(m_state->running.name.data(), m_state->running.name.size());
}

int64_t CardModel::CardTime() const
{
    std::lock_guard lock(m_mutex);
    return m_state->Now();
}

int CardModel::ResetCount() const
{
    std::lock_guard lock(m_mutex);
    return m_state->resetCount;
}

ResetKind CardModel::LastReset() const
{
    std::lock_guard lock(m_mutex);
    return m_state->lastReset;
}

uint8_t CardModel::CardMode() const
{
    std::lock_guard lock(m_mutex);
    return m_state->mode;
}

}  // namespace kelcard
