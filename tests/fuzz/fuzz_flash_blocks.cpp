// The client against any flash-block or module-location reply, answered once: nothing
// is read or written past the record or the reply, and a module placed past the flash
// never sizes a copy. The input's first byte picks the operation (a block read, the
// configuration module's copy, the boot block's comparison); the second can make the
// header's checksum (bit 0), the block's CRC (bit 1) and its number (bit 2) right, and
// (bit 3) stretch the reply, its data length announced, to a whole block record give
// or take up to 8 bytes (bits 4-7), so that replies get past the checks.
#include <cstring>

#include "one_reply_medium.h"
#include "x9endian.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 2 + ZUNA_HEADER_LEN) return 0;
    const unsigned operation = data[0] % 3;
    const uint8_t control = data[1];
    std::vector<uint8_t> reply(data + 2, data + std::min<std::size_t>(size, ZUNA_MAX_PACKET_LEN + 2));
    if (control & 8) {
        const std::size_t dataLen = sizeof(FLASH_BLOCK_RECORD) + (control >> 4) - 8;
        reply.resize(ZUNA_HEADER_LEN + dataLen, 0xFF);
        PutLe32(reply.data() + offsetof(ZUNA_HEADER, dwDataLen), static_cast<uint32_t>(dataLen));
    }
    uint8_t* rec = reply.data() + ZUNA_HEADER_LEN;
    if (reply.size() >= ZUNA_HEADER_LEN + sizeof(FLASH_BLOCK_RECORD)) {
        if (control & 4) PutBe32(rec, 0);
        if (control & 2) PutBe32(rec + 4, calc_cksum32(rec + FLASH_BLOCK_HEADER_LEN, FLASH_BLOCK_LEN));
    }
    reply[offsetof(ZUNA_HEADER, bChecksum)] = 0;
    if (control & 1) reply[offsetof(ZUNA_HEADER, bChecksum)] = static_cast<uint8_t>(-ZunaByteSum(reply.data(), 32));

    OneReplyMedium* medium = nullptr;
    CX9ZunaIfc& client = OneReplyClient(medium);
    medium->Answer(&reply);
    static auto* block = new FLASH_BLOCK_RECORD;
    static const std::vector<unsigned char> boot(FLASH_BLOCK_LEN, 0xFF);
    std::vector<unsigned char> config;
    if (operation == 0) client.ReadBlock(block);
    if (operation == 1) client.ConfigGetBuffer(config);
    if (operation == 2) client.IsBootBlockChanged(boot.data(), static_cast<int>(boot.size()));
    if (config.size() > FLASH_BLOCK_COUNT * FLASH_BLOCK_LEN) __builtin_trap();
    return 0;
}
