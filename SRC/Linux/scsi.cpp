// The SCSI device probe over the kernel's /proc/scsi/scsi listing, and the decoding of
// a pass-through command's outcome.
#include "scsi.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <algorithm>
#include <system_error>
#include <unistd.h>

namespace {

constexpr const char* kScsiList = "/proc/scsi/scsi";
constexpr std::size_t kListBuffer = 16384;
constexpr std::size_t kDescArea = 80;   // description, terminator included
constexpr std::size_t kPathArea = 128;  // node path, terminator included
constexpr const char* kCardDescription = "Tav Virtual CDROM";

// Reads the decimal number right after `key` in `line` from `from` on; advances `from`
// past it. False when the key is missing.
bool NumberAfter(std::string_view line, std::string_view key, std::size_t& from, unsigned int& value)
{
    const std::size_t at = line.find(key, from);
    if (at == std::string_view::npos) return false;
    std::size_t pos = at + key.size();
    unsigned long number = 0;
    while (pos < line.size() && std::isdigit(static_cast<unsigned char>(line[pos]))) {
        number = number * 10 + static_cast<unsigned long>(line[pos] - '0');
        if (number > 0xFFFFFFFFul) number = 0xFFFFFFFFul;
        ++pos;
    }
    value = static_cast<unsigned int>(number);
    from = pos;
    return true;
}

std::string_view TrimRight(std::string_view s)
{
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

// Vendor and model of a "  Vendor: " line as the description, within its area.
// False when "Model:" or "Rev:" is missing.
bool Describe(std::string_view line, std::string& desc)
{
    constexpr std::string_view kVendor = "  Vendor: ";
    const std::size_t modelAt = line.find("Model:", kVendor.size());
    if (modelAt == std::string_view::npos) return false;
    const std::size_t revAt = line.find("Rev:", modelAt);
    if (revAt == std::string_view::npos) return false;

    std::string_view vendor = TrimRight(line.substr(kVendor.size(), modelAt - kVendor.size()));
    desc.assign(vendor.empty() ? std::string_view("Unknown") : vendor);
    for (std::size_t i = 0; i < desc.size(); ++i) {
        const auto c = static_cast<unsigned char>(desc[i]);
        desc[i] = static_cast<char>(i == 0 ? std::toupper(c) : std::tolower(c));
    }
    const std::size_t modelStart = modelAt + 7;
    std::string_view model =
        modelStart < revAt ? TrimRight(line.substr(modelStart, revAt - modelStart)) : std::string_view();
    desc += ' ';
    desc.append(model);
    // Longer text than the area holds is cut, never written past it.
    if (desc.size() > kDescArea - 1) desc.resize(kDescArea - 1);
    return true;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

char* scsiProbeText(const char* text, unsigned long len)
{
    std::string_view rest(text, len < kListBuffer - 1 ? len : kListBuffer - 1);
    // The text ends at its first NUL, if any.
    const std::size_t nul = rest.find('\0');
    if (nul != std::string_view::npos) rest = rest.substr(0, nul);

    int state = 0;
    int counter = 0;
    unsigned int host = ~0u, channel = ~0u, id = ~0u, lun = ~0u;
    std::string desc;

    while (!rest.empty()) {
        const std::size_t nl = rest.find('\n');
        const std::string_view line = rest.substr(0, nl);
        rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);

        switch (state) {
        case 0:
            if (line != "Attached devices: ") return nullptr;
            state = 1;
            break;
        case 1: {
            if (!StartsWith(line, "Host: ")) return nullptr;
            std::size_t from = line.find("scsi");
            if (from == std::string_view::npos) return nullptr;
            if (!NumberAfter(line, "scsi", from, host) || !NumberAfter(line, "Channel: ", from, channel) ||
                !NumberAfter(line, "Id: ", from, id) || !NumberAfter(line, "Lun: ", from, lun))
                return nullptr;
            state = 2;
            break;
        }
        case 2:
            if (!StartsWith(line, "  Vendor: ") || !Describe(line, desc)) return nullptr;
            state = 3;
            break;
        case 3: {
            if (!StartsWith(line, "  Type:")) return nullptr;
            char path[kPathArea];
            if (line.find("CD-ROM") != std::string_view::npos)
                std::snprintf(path, sizeof(path), "/dev/sg%d", counter);
            else
                std::snprintf(path, sizeof(path), "Unknown");
            if (EqualsIgnoringCase(desc, kCardDescription)) return strdup(path);
            ++counter;
            state = 1;
            break;
        }
        }
    }
    return nullptr;
}

char* scsiProbe(int /*probeFlags*/)
{
    if (access(kScsiList, R_OK) != 0) return nullptr;
    const int fd = open(kScsiList, O_RDONLY);
    if (fd < 0) return nullptr;
    char buffer[kListBuffer];
    const ssize_t n = read(fd, buffer, kListBuffer - 1);
    close(fd);
    if (n <= 0) return nullptr;
    return scsiProbeText(buffer, static_cast<unsigned long>(n));
}

void DecodeScsiSense(const unsigned char* sense, unsigned int len, SCSI_RESULT& result)
{
    result.fSense = false;
    if (sense == nullptr || len == 0) return;
    const unsigned char code = sense[0] & 0x7F;
    if (code == 0x70 || code == 0x71) {
        // Fixed format: key in byte 2, ASC and ASCQ in bytes 12 and 13, the valid
        // length 8 + the additional length of byte 7.
        if (len < 3) return;
        if (len >= 8 && len > 8u + sense[7]) len = 8u + sense[7];
        result.bSenseKey = sense[2] & 0x0F;
        result.bAsc = len > 12 ? sense[12] : 0;
        result.bAscq = len > 13 ? sense[13] : 0;
    } else if (code == 0x72 || code == 0x73) {
        // Descriptor format: key, ASC and ASCQ in bytes 1 to 3.
        if (len < 2) return;
        result.bSenseKey = sense[1] & 0x0F;
        result.bAsc = len > 2 ? sense[2] : 0;
        result.bAscq = len > 3 ? sense[3] : 0;
    } else {
        return;
    }
    result.bResponseCode = code;
    result.fSense = true;
}

std::string DescribeScsiResult(const SCSI_RESULT& result)
{
    char text[160];
    if (result.nOsError != 0) {
        std::snprintf(text, sizeof(text), "errno %d (%s)", result.nOsError, std::generic_category().message(result.nOsError).c_str());
        return text;
    }
    char sense[24] = "none";
    if (result.fSense)
        std::snprintf(sense, sizeof(sense), "%x/%02x/%02x", result.bSenseKey, result.bAsc, result.bAscq);
    std::snprintf(text, sizeof(text), "errno 0, status 0x%02x, host 0x%04x, driver 0x%04x, sense %s, residual %d",
                  result.bStatus, result.wHostStatus, result.wDriverStatus, sense, result.nResidual);
    return text;
}
