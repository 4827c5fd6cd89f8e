// The SCSI side of the host interface: the device probe, which finds the card's
// virtual CD-ROM drive in the kernel's list of attached SCSI devices, and the outcome
// of one SCSI pass-through command with its causes.
#pragma once

#include <string>

// Returns a newly allocated copy (free() it) of the node path of the first device
// whose description reads "Tav Virtual CDROM" (any letter case), or nullptr. The flags
// are not used. Reads /proc/scsi/scsi.
char* scsiProbe(int probeFlags);

// The same walk over a listing held in memory (at most its first 16,383 bytes).
char* scsiProbeText(const char* text, unsigned long len);

inline constexpr unsigned char SCSI_STATUS_GOOD = 0x00;
inline constexpr unsigned char SCSI_STATUS_CHECK_CONDITION = 0x02;
inline constexpr unsigned char SCSI_SENSE_NOT_READY = 0x02;

// What one SCSI pass-through command came to. A command that reached the device has
// nOsError 0 and the statuses the kernel reported; one that did not (the request or
// the node's open failed) has the errno and nothing else.
struct SCSI_RESULT {
    int nOsError = 0;                 // errno of the open or the ioctl; 0: the device was reached
    unsigned char bStatus = 0;        // SCSI status: 0 GOOD, 2 CHECK CONDITION, 8 BUSY, ...
    unsigned short wHostStatus = 0;   // the adapter's status; 0: no transport error
    unsigned short wDriverStatus = 0; // the driver's status; 0x08: sense data came back
    bool fSense = false;              // sense data were returned and decoded below
    unsigned char bResponseCode = 0;  // 0x70/0x71 fixed format, 0x72/0x73 descriptor format
    unsigned char bSenseKey = 0;
    unsigned char bAsc = 0;           // additional sense code
    unsigned char bAscq = 0;          // its qualifier
    int nResidual = 0;                // data bytes the command did not move

    // The device completed the command without any error status.
    bool Good() const
    {
        return nOsError == 0 && bStatus == SCSI_STATUS_GOOD && wHostStatus == 0 && wDriverStatus == 0;
    }
    // Good, and every byte of the data phase moved.
    bool Whole() const { return Good() && nResidual == 0; }
    // The card answered NOT READY: it is away (reset, or the drive is detached).
    bool NotReady() const { return fSense && bSenseKey == SCSI_SENSE_NOT_READY; }
};

// Decodes the sense data of a check condition into `result` (fSense and the
// response code, key, ASC and ASCQ). `len` is the number of bytes the kernel wrote
// (never more than the buffer); fixed format (0x70, 0x71) is further bounded by its
// additional length byte. A field outside the bytes given stays 0; data too short
// for a sense key, or of another response code, leaves fSense false.
void DecodeScsiSense(const unsigned char* sense, unsigned int len, SCSI_RESULT& result);

// One line for a diagnostic: "errno 0, status 0x02, host 0x0000, driver 0x0008,
// sense 2/3a/00, residual 0" ("sense none" without sense data; only the errno and its
// text when the device was not reached).
std::string DescribeScsiResult(const SCSI_RESULT& result);
