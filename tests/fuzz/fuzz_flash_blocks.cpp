// The client against any flash-block or module-location reply, answered once: nothing
// is read or written past the record or the reply, and a module placed past the flash
// never sizes a copy. The first input byte can make the header's checksum (bit 0), the
// block's CRC (bit 1) and its number (bit 2) right, and (bit 3) stretch the reply, its
// data length announced, to a whole block record give or take up to 8 bytes (bits 4-7),
// so that replies get past the checks.
#include <cstring>

#include "one_reply_medium.h"
#include "x9endian.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 1 + ZUNA_HEADER_LEN) return 0;
    std::vector<uint8_t> reply(data + 1, data + std::min<std::size_t>(size, ZUNA_MAX_PACKET_LEN + 1));
    if (data[0] & 8) {
        const std::size_t dataLen = sizeof(FLASH_BLOCK_RECORD) + (data[0] >> 4) - 8;
        reply.resize(ZUNA_HEADER_LEN + dataLen, 0xFF);
        PutLe32(reply.data() + offsetof(ZUNA_HEADER, dwDataLen), static_cast<uint32_t>(dataLen));
    }
    uint8_t* rec = reply.data() + ZUNA_HEADER_LEN;
    if (reply.size() >= ZUNA_HEADER_LEN + sizeof(FLASH_BLOCK_RECORD)) {
        if (data[0] & 4) PutBe32(rec, 0);
        if (data[0] & 2) PutBe32(rec + 4, calc_cksum32(rec + FLASH_BLOCK_HEADER_LEN, FLASH_BLOCK_LEN));
    }
    reply[offsetof(ZUNA_HEADER, bChecksum)] = 0;
    if (data[0] & 1) reply[offsetof(ZUNA_HEADER, bChecksum)] = static_cast<uint8_t>(-ZunaByteSum(reply.data(), 32));
    for (int operation = 0; operation < 3; ++operation) {
        auto medium = std::make_unique<OneReplyMedium>();
        medium->reply = reply;
        CX9ZunaIfc client(std::move(medium));
        auto block = std::make_unique<FLASH_BLOCK_RECORD>();
        std::vector<unsigned char> config;
        const std::vector<unsigned char> boot(FLASH_BLOCK_LEN, 0xFF);
        if (operation == 0) client.ReadBlock(block.get());
        if (operation == 1) client.ConfigGetBuffer(config);
        if (operation == 2) client.IsBootBlockChanged(boot.data(), static_cast<int>(boot.size()));
        if (config.size() > FLASH_BLOCK_COUNT * FLASH_BLOCK_LEN) __builtin_trap();
    }
    return 0;
}
