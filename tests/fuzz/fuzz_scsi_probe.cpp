// The SCSI probe against arbitrary device listings.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "scsi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    char* path = scsiProbeText(reinterpret_cast<const char*>(data), size);
    if (path != nullptr) {
        if (std::strcmp(path, "Unknown") != 0 && std::strncmp(path, "/dev/sg", 7) != 0) std::abort();
        std::free(path);
    }
    return 0;
}
