// The virtual drive on a SCSI bus of its own: a umockdev sandbox in which programs
// started with the sandbox's environment (SandboxEnvironment) see the card's drive.
//   /proc/scsi/scsi  lists a disk first and the card second ("TAV" "Virtual CDROM",
//                    type CD-ROM), so the card is the SCSI generic node kCardNode;
//   /dev/sg1         answers SG_IO requests from the VirtualDrive, and
//                    SG_GET_VERSION_NUM like the sg driver 3.5.36; any other request
//                    fails with ENOTTY.
// SG_IO as the sg driver does it for a device (vdrive_sgio.h), and an unreadable
// buffer fails with EFAULT.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "vdrive.h"

namespace kelcard {

inline constexpr const char* kCardNode = "/dev/sg1";
inline constexpr const char* kUmockdevPreload = "libumockdev-preload.so.0";

// The /proc/scsi/scsi text of the sandbox.
extern const char* const kScsiListing;

class DriveSandbox {
public:
    // The drive must outlive the sandbox.
    explicit DriveSandbox(VirtualDrive& drive);
    // Removes the sandbox directory.
    ~DriveSandbox();
    DriveSandbox(const DriveSandbox&) = delete;
    DriveSandbox& operator=(const DriveSandbox&) = delete;

    // Creates the sandbox and attaches the drive to its node. Requests are answered on
    // a thread of umockdev's own from then on. False, with a message in *error, when
    // the sandbox cannot be made. Sets UMOCKDEV_DIR in this process's environment, so
    // call it before starting threads of your own.
    bool Start(std::string* error);

    // The sandbox's root directory (empty before Start).
    std::string RootDir() const;

private:
    struct Impl;
    VirtualDrive& m_drive;
    std::unique_ptr<Impl> m_impl;
};

// `base` (an environ-style array, null-terminated) with what a program needs to see
// the drive of the sandbox at `root`: LD_PRELOAD with the umockdev preload library
// added after any libraries already there, UMOCKDEV_DIR the sandbox, and
// verify_asan_link_order=0 added to ASAN_OPTIONS (a sanitized program otherwise
// refuses to run with a library preloaded before its sanitizer runtime).
std::vector<std::string> SandboxEnvironment(char* const* base, const std::string& root);

}  // namespace kelcard
