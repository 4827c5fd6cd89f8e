// Firmware image files (.ima): module search and the checks of one module and of a
// whole image. Every operation takes an open, readable, seekable stream, moves its
// position, leaves it open, never writes it and prints nothing.
//
// Only the first 64 blocks are the flash: a header is looked for at the start of each
// of them, and a module must end inside them. Every read is bounded by the stream's
// end and by the operation's own buffer, whatever the headers say.
#pragma once

#include <cstdint>
#include <cstdio>

#include "fmh.h"

// Results of imgfile_verify_module, VerifyImageFile and VerifySection.
enum IMG_VERIFY_RESULT {
    IMG_VERIFY_OK = 0,
    IMG_VERIFY_HEADER = 1,   // imgfile_verify_module: bad header checksum (or no header)
    IMG_VERIFY_MISSING = 1,  // VerifyImageFile, VerifySection: module not found
    IMG_VERIFY_FAILED = 2,   // data CRC wrong, data cut short, or (whole image) any failed check
};

// Swaps the eight multi-byte fields of a header in place (big-endian <-> host).
void make_fmh_little_endian(fmh* header);

// Writes the eight-byte signature of a module name (any case) to sig; returns 0, or 1
// with the "UNKNOWN" signature for a name that is no module's.
int modulesigfromname(const char* name, unsigned char sig[FMH_SIG_LEN]);

// The offset of the first of the 64 blocks whose bytes 8..15 are `sig` and that holds
// a whole header; the header (host order) is copied to *header. -1 when there is none.
long imgfile_find_module(FILE* fp, const unsigned char sig[FMH_SIG_LEN], fmh* header);

// Checks the module whose header starts at `offset`: 0 sound, 1 header checksum wrong
// or header unreadable, 2 data CRC wrong or data past the file's or the flash's end.
int imgfile_verify_module(FILE* fp, long offset);

// Checks DIAG, OS, WEB, FPGA, CONFIG and SDK in this order: 0 all sound, 1 one missing,
// 2 one found but failing its check.
int VerifyImageFile(FILE* fp);

// Finds and checks one module by name: 0 sound, 1 not found (*offset -1), 2 failing.
// *header (host order) and *offset are written when it is found.
int VerifySection(const char* name, FILE* fp, fmh* header, long* offset);

// True when the stored fmh_header_cksum equals the checksum of the header's bytes.
bool fmh_header_cksum_valid(const fmh* header);
