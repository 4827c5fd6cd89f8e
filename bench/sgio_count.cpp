// Preloaded (first) into a program that talks to the card's virtual drive: counts its
// SG_IO calls, and the least the mailbox needs for the commands it ran, and reports
// both on standard error at exit as "sgio: calls=N least=M".
//
// The least, command by command: the command block written (1), ceil(DataInLen/512)
// request blocks, one reading of the command block per reading the card answers busy
// plus the one that finds the command done, then for a command done with status 0
// ceil(DataOutLen/512) reply blocks and the final reading of the command block whose
// status the command returns. Any other SG_IO (identify, heartbeat) counts as needed.
#include <dlfcn.h>
#include <scsi/sg.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "hostifc.h"
#include "x9endian.h"

namespace {

unsigned long g_calls = 0;
unsigned long g_least = 0;
bool g_polling = false;  // a command has run and its completion is not seen yet

unsigned long Blocks(uint32_t bytes)
{
    return (bytes + X9CD_BLOCK_SIZE - 1) / X9CD_BLOCK_SIZE;
}

CONFIG_CMD BlockOf(const sg_io_hdr_t& io)
{
    CONFIG_CMD block{};
    if (io.dxferp != nullptr && io.dxfer_len >= sizeof block) std::memcpy(&block, io.dxferp, sizeof block);
    return block;
}

// Accounts for one SG_IO call that has been carried out.
void Count(const sg_io_hdr_t& io)
{
    ++g_calls;
    const unsigned char* cdb = io.cmdp;
    const bool mailbox = cdb != nullptr && io.cmd_len >= 6 &&
                         (cdb[0] == X9CD_OP_WRITE_SECTOR || cdb[0] == X9CD_OP_READ_SECTOR);
    if (!mailbox) {
        ++g_least;
        return;
    }
    if (GetBe32(cdb + 2) != static_cast<uint32_t>(X9CD_CMD_SECTOR)) return;  // a data block, counted below
    const CONFIG_CMD block = BlockOf(io);
    if (cdb[0] == X9CD_OP_WRITE_SECTOR) {
        g_least += 1 + Blocks(Le32ToHost(block.DataInLen));
        g_polling = true;
    } else if (g_polling) {
        ++g_least;
        const uint16_t status = Le16ToHost(block.Status);
        if ((status & X9CD_STATUS_BUSY) == 0) {
            g_polling = false;
            if (status == X9CD_STATUS_SUCCESS) g_least += Blocks(Le32ToHost(block.DataOutLen)) + 1;
        }
    }
}

__attribute__((destructor)) void Report()
{
    std::fprintf(stderr, "sgio: calls=%lu least=%lu\n", g_calls, g_least);
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    using Next = int (*)(int, unsigned long, ...);
    static const Next next = reinterpret_cast<Next>(dlsym(RTLD_NEXT, "ioctl"));
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    const int rc = next(fd, request, arg);
    if (request == SG_IO && rc == 0 && arg != nullptr) Count(*static_cast<const sg_io_hdr_t*>(arg));
    return rc;
}
