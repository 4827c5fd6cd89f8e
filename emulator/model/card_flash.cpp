// The card's flash: block write (0x0601) and read (0x0602), each block carrying the
// CRC-32 of its 65536 bytes; module location (0x0605) from the headers in the flash
// itself; the commit requests (0x0603 configuration, 0x0606 sensor SDK).
#include "card_state.h"
#include "cksum.h"
#include "flashblk.h"
#include "imgbuild.h"
#include "imgver.h"
#include "network.h"
#include "x9endian.h"
#include "zunacmds.h"
#include "zunahdr.h"

namespace kelcard::detail {
namespace {

// The starting image, built once for every card of the process.
std::shared_ptr<const std::vector<uint8_t>> StartingImage()
{
    static const auto image = std::make_shared<const std::vector<uint8_t>>(BuildFirmwareImage());
    return image;
}

// The bytes of `block` (below FLASH_BLOCK_COUNT) as the card reads them.
const uint8_t* BlockBytes(CardState& card, uint32_t block)
{
    if (const auto& own = card.flash.own[block]) return own->data();
    if (!card.flash.base) card.flash.base = StartingImage();
    return card.flash.base->data() + std::size_t{block} * FLASH_BLOCK_LEN;
}

// The card's own copy of `block`, made for a write.
FlashBlockBytes& OwnBlock(CardState& card, uint32_t block)
{
    std::unique_ptr<FlashBlockBytes>& own = card.flash.own[block];
    if (!own) own = std::make_unique<FlashBlockBytes>();
    return *own;
}

// The block a request names, or the status that refuses it.
uint16_t ReadBlockNumber(const CardState& card, std::span<const uint8_t> request, uint32_t& block)
{
    block = GetBe32(request.data() + offsetof(FLASH_BLOCK_RECORD, blockNum));
    if (block >= FLASH_BLOCK_COUNT) return ZUNA_E_RANGE;
    if (card.flash.refused && card.flash.refused->first == block) return card.flash.refused->second;
    return ZUNA_E_SUCCESS;
}

void WriteBlock(CardState& card, Session& session, std::span<const uint8_t> request, Reply& reply)
{
    if (!StillThere(card, session)) return;
    uint32_t block = 0;
    if ((reply.status = ReadBlockNumber(card, request, block)) != ZUNA_E_SUCCESS) return;
    const uint8_t* data = request.data() + FLASH_BLOCK_HEADER_LEN;
    if (calc_cksum32(data, FLASH_BLOCK_LEN) != GetBe32(request.data() + offsetof(FLASH_BLOCK_RECORD, checkSum)) ||
        card.flash.crcError == block) {
        reply.status = ZUNA_E_CHECKSUM;
        return;
    }
    std::copy_n(data, FLASH_BLOCK_LEN, OwnBlock(card, block).begin());
    if (block == kMacRecordBlock) std::copy_n(data + kMacRecordOffset, MAC_ADDRESS_LEN, card.running.mac.begin());
}

void ReadBlock(CardState& card, Session& session, std::span<const uint8_t> request, Reply& reply)
{
    if (!StillThere(card, session)) return;
    uint32_t block = 0;
    if ((reply.status = ReadBlockNumber(card, request, block)) != ZUNA_E_SUCCESS) return;
    uint8_t* rec = reply.Room(sizeof(FLASH_BLOCK_RECORD));
    std::fill_n(rec, FLASH_BLOCK_HEADER_LEN, uint8_t{0});
    std::copy_n(BlockBytes(card, block), FLASH_BLOCK_LEN, rec + FLASH_BLOCK_HEADER_LEN);
    if (block == kMacRecordBlock) {
        uint8_t* macRecord = rec + FLASH_BLOCK_HEADER_LEN + kMacRecordOffset;
        std::copy(card.running.mac.begin(), card.running.mac.end(), macRecord);
        macRecord[MAC_ADDRESS_LEN] = calc_chksum(card.running.mac.data(), MAC_ADDRESS_LEN);
    }
    uint32_t checkSum = calc_cksum32(rec + FLASH_BLOCK_HEADER_LEN, FLASH_BLOCK_LEN);
    if (card.flash.crcError == block) checkSum ^= 1;
    PutBe32(rec + offsetof(FLASH_BLOCK_RECORD, blockNum), block);
    PutBe32(rec + offsetof(FLASH_BLOCK_RECORD, checkSum), checkSum);
}

// The first block whose bytes 8..15 are the module's signature under a sound header.
void LocateModule(CardState& card, Session&, std::span<const uint8_t> request, Reply& reply)
{
    FLASH_MODULE_INFO info = ReadRecord<FLASH_MODULE_INFO>(request);
    for (uint32_t block = 0; block < FLASH_BLOCK_COUNT; ++block) {
        fmh header{};
        std::memcpy(&header, BlockBytes(card, block), FMH_LEN);
        if (std::memcmp(header.fmh_mod_name, info.modName, FLASH_MOD_NAME_LEN) != 0 ||
            !fmh_header_cksum_valid(&header))
            continue;
        make_fmh_little_endian(&header);
        const uint32_t blocks = (header.fmh_alloc_space + FLASH_BLOCK_LEN - 1) / FLASH_BLOCK_LEN;
        PutBe32(&info.startAddr, block * FLASH_BLOCK_LEN);
        PutBe32(&info.allocSpace, header.fmh_alloc_space);
        PutBe32(&info.usedSpace, header.fmh_used_space);
        PutBe16(&info.blockStart, static_cast<uint16_t>(block));
        PutBe16(&info.numBlocks, static_cast<uint16_t>(std::min(blocks, FLASH_BLOCK_COUNT - block)));
        PutBe16(&info.version, header.fmh_version);
        SetReplyRecord(reply, info);
        return;
    }
    reply.status = ZUNA_E_NOEXIST;
}

void CommitConfig(CardState& card, Session&, std::span<const uint8_t>, Reply&)
{
    card.SaveConfig();
}

// The card keeps no sensor SDK of its own apart from the flash: nothing to commit.
void CommitSdk(CardState&, Session&, std::span<const uint8_t>, Reply&) {}

}  // namespace

void AddFlashCommands(CommandTable& table)
{
    table[ZUNACMD_WRITE_BLOCK] = {WriteBlock, sizeof(FLASH_BLOCK_RECORD)};
    table[ZUNACMD_READ_BLOCK] = {ReadBlock, FLASH_BLOCK_HEADER_LEN};
    table[ZUNACMD_MODULE_GET_NUM_BLOCKS] = {LocateModule, sizeof(FLASH_MODULE_INFO)};
    table[ZUNACMD_CONFIG_FLASH] = {CommitConfig, 0};
    table[ZUNACMD_SDK_FLASH] = {CommitSdk, 0};
}

}  // namespace kelcard::detail

// The public methods of this area.
namespace kelcard {

void CardModel::InjectFlashCrcError(uint32_t n)
{
    std::lock_guard lock(m_mutex);
    m_state->flash.crcError = n;
}

void CardModel::RefuseFlashBlock(uint32_t n, uint16_t status)
{
    std::lock_guard lock(m_mutex);
    m_state->flash.refused = {n, status};
}

}  // namespace kelcard
