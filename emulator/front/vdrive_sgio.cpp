#include "vdrive_sgio.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kelcard {
namespace {
constexpr unsigned kMaxTransfer = 1u << 20;
constexpr unsigned char kStatusGood = 0x00;
constexpr unsigned char kStatusCheckCondition = 0x02;
constexpr unsigned short kDriverSense = 0x08;
}  // namespace

int CheckSgIo(const sg_io_hdr_t& io, DriveDirection& direction, bool& dataPhase)
{
    if (io.interface_id != 'S') return ENOSYS;
    if (io.cmdp == nullptr || io.cmd_len < 6 || io.cmd_len > 16) return EMSGSIZE;
    if (io.iovec_count != 0) return EINVAL;
    if (io.dxfer_len > kMaxTransfer) return ENOMEM;
    switch (io.dxfer_direction) {
    case SG_DXFER_NONE:
        direction = DriveDirection::kNone;
        break;
    case SG_DXFER_TO_DEV:
        direction = DriveDirection::kToDevice;
        break;
    case SG_DXFER_FROM_DEV:
    case SG_DXFER_TO_FROM_DEV:
        direction = DriveDirection::kFromDevice;
        break;
    default:
        return EINVAL;
    }
    dataPhase = direction != DriveDirection::kNone && io.dxfer_len != 0;
    if (dataPhase && io.dxferp == nullptr) return EFAULT;
    return 0;
}

void CompleteSgIo(const DriveOutcome& outcome, bool dataPhase, uint8_t* sense, sg_io_hdr_t& io)
{
    io.status = outcome.good ? kStatusGood : kStatusCheckCondition;
    io.masked_status = static_cast<unsigned char>(io.status >> 1);
    io.msg_status = 0;
    io.host_status = 0;
    io.driver_status = outcome.good ? 0 : kDriverSense;
    io.sb_len_wr = 0;
    io.resid = dataPhase ? static_cast<int>(io.dxfer_len - outcome.transferred) : 0;
    io.duration = 0;
    io.info = outcome.good ? SG_INFO_OK : SG_INFO_CHECK;
    if (!outcome.good && sense != nullptr) {
        const auto data = DriveSenseData(outcome);
        const std::size_t len = std::min<std::size_t>(io.mx_sb_len, data.size());
        std::memcpy(sense, data.data(), len);
        io.sb_len_wr = static_cast<unsigned char>(len);
    }
}

}  // namespace kelcard
