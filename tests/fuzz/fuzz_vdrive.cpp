// kelcard's virtual drive against arbitrary SCSI commands: each input is a series of
// commands (direction, CDB length, CDB, data length, data); the drive must stay within
// the buffers it is given.
#include <cstdint>
#include <vector>

#include "card_model.h"
#include "vdrive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    static kelcard::CardModel card;
    kelcard::VirtualDrive drive(card);
    std::size_t pos = 0;
    auto next = [&](std::size_t n) {
        std::vector<uint8_t> out;
        for (std::size_t i = 0; i < n && pos < size; ++i) out.push_back(data[pos++]);
        return out;
    };
    while (pos + 3 <= size) {
        const uint8_t mode = data[pos++];
        const std::size_t cdbLen = data[pos++] % 17;
        const std::size_t dataLen = static_cast<std::size_t>(data[pos++]) * 8;
        std::vector<uint8_t> cdb = next(cdbLen);
        std::vector<uint8_t> buffer = next(dataLen);
        buffer.resize(dataLen);
        const auto direction = static_cast<kelcard::DriveDirection>(mode % 3);
        drive.Execute(cdb.data(), cdb.size(), direction, buffer.data(), buffer.size());
    }
    return 0;
}
