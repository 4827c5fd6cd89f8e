// SG_IO for the virtual drive, answered as the sg driver answers it for a device.
// Plain C++ with no I/O: the front end (the umockdev node of `kelcard run`, or a test
// standing in for the driver) finds the request's CDB, data and sense areas.
//   CheckSgIo     interface_id other than 'S' fails with ENOSYS, no CDB or a CDB
//                 length outside 6..16 with EMSGSIZE, a scatter list or an unknown
//                 direction with EINVAL, a transfer above 1 MiB with ENOMEM.
//   CompleteSgIo  status GOOD, or CHECK CONDITION with driver_status DRIVER_SENSE,
//                 info SG_INFO_CHECK and the fixed-format sense data in the sense
//                 area (up to mx_sb_len bytes, sb_len_wr); resid is what the data
//                 phase did not move.
#pragma once

#include <scsi/sg.h>

#include <cstdint>

#include "vdrive.h"

namespace kelcard {

// 0 with the request's direction and whether it has a data phase (a direction and a
// length), or the errno the request fails with.
int CheckSgIo(const sg_io_hdr_t& io, DriveDirection& direction, bool& dataPhase);

// Completes the header of a request the drive executed. `sense` is the request's
// sense area (null: none to write).
void CompleteSgIo(const DriveOutcome& outcome, bool dataPhase, uint8_t* sense, sg_io_hdr_t& io);

}  // namespace kelcard
