// The SCSI device probe: finds the card's virtual CD-ROM drive in the kernel's list of
// attached SCSI devices.
#pragma once

// Returns a newly allocated copy (free() it) of the node path of the first device
// whose description reads "Tav Virtual CDROM" (any letter case), or nullptr. The flags
// are not used. Reads /proc/scsi/scsi.
char* scsiProbe(int probeFlags);

// The same walk over a listing held in memory (at most its first 16,383 bytes).
char* scsiProbeText(const char* text, unsigned long len);
