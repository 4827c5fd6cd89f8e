// File transfer between the host and the card's file system (0x060A, 0x060B): one
// request and one reply per fragment of at most 65536 bytes, each fragment carrying
// its number, length, status and the CRC-32 of its data.
#include <sys/stat.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>

#include "fieldtext.h"
#include "x9endian.h"
#include "zunacmds.h"
#include "x9zunaifc.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using HostFile = std::unique_ptr<std::FILE, FileCloser>;

// A zeroed record naming the card path; false for a path that does not fit.
bool StartRecord(FILE_API_RECORD& rec, const char* cardPath)
{
    std::memset(&rec, 0, FILE_API_HEADER_LEN);
    return cardPath != nullptr && cardPath[0] != '\0' && PutTextField(rec.filename, cardPath);
}

// A failed fragment exchange: failures below the card (33) stay as they are, anything
// the card refused becomes 30.
ZUNA_ERROR FragmentFailure(ZUNA_ERROR status)
{
    return status == ZUNA_E_CONNECTION ? ZUNA_E_CONNECTION : ZUNA_E_GENERAL;
}

}  // namespace

void CX9ZunaIfc::b2l_FlashFileAPIRecord(FILE_API_RECORD* pRec)
{
    FixBe16InPlace(pRec, offsetof(FILE_API_RECORD, packetNum));
    FixBe32InPlace(pRec, offsetof(FILE_API_RECORD, dataLength));
    FixBe16InPlace(pRec, offsetof(FILE_API_RECORD, status));
    FixBe32InPlace(pRec, offsetof(FILE_API_RECORD, checkSum));
}

void CX9ZunaIfc::b2l_FileApiRecord(FILE_API_RECORD* pRec)
{
    b2l_FlashFileAPIRecord(pRec);
}

ZUNA_ERROR CX9ZunaIfc::SendFileFragment(FILE_API_RECORD* rec)
{
    b2l_FlashFileAPIRecord(rec);
    uint32_t recvLen = 0;
    const ZUNA_ERROR status = SendZunaCommand(ZUNACMD_SEND_FILE_FRAGMENT, rec, sizeof(*rec), &recvLen, 0, sizeof(*rec));
    b2l_FlashFileAPIRecord(rec);
    return status;
}

ZUNA_ERROR CX9ZunaIfc::GetFileFragment(FILE_API_RECORD* rec)
{
    b2l_FlashFileAPIRecord(rec);
    uint32_t recvLen = 0;
    const ZUNA_ERROR status =
        SendZunaCommand(ZUNACMD_GET_FILE_FRAGMENT, rec, FILE_API_HEADER_LEN, &recvLen, 0, sizeof(*rec));
    b2l_FlashFileAPIRecord(rec);
    if (status != ZUNA_E_SUCCESS) return status;
    // The data the reply announces must lie within both the record and the reply.
    if (recvLen < FILE_API_HEADER_LEN || rec->dataLength > FILE_FRAGMENT_LEN ||
        rec->dataLength > recvLen - FILE_API_HEADER_LEN)
        return ZUNA_E_CONNECTION;
    return ZUNA_E_SUCCESS;
}

ZUNA_ERROR CX9ZunaIfc::UploadFile(const char* srcFile, const char* dstFile)
{
    auto rec = std::make_unique<FILE_API_RECORD>();
    if (!StartRecord(*rec, dstFile)) return ZUNA_E_INVALID;
    HostFile file(srcFile != nullptr ? std::fopen(srcFile, "rb") : nullptr);
    if (!file) return ZUNA_E_FILEOPEN;
    struct stat info {};
    if (fstat(fileno(file.get()), &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<uint64_t>(info.st_size) > uint64_t{FILE_MAX_FRAGMENTS} * FILE_FRAGMENT_LEN)
        return ZUNA_E_INVALID;

    for (uint32_t i = 0;; ++i) {
        if (i >= FILE_MAX_FRAGMENTS) return ZUNA_E_INVALID;
        const std::size_t count = std::fread(rec->fileData, 1, FILE_FRAGMENT_LEN, file.get());
        if (std::ferror(file.get())) return ZUNA_E_IO;
        // After the first fragment an empty read means the file has ended; the first is
        // sent even when empty, so that the card's file is made empty too.
        if (count == 0 && i != 0) break;
        StartRecord(*rec, dstFile);
        rec->packetNum = static_cast<uint16_t>(i);
        rec->dataLength = static_cast<uint32_t>(count);
        rec->status = count == FILE_FRAGMENT_LEN ? FILE_FRAGMENT_FULL : FILE_FRAGMENT_PARTIAL;
        rec->checkSum = CalculateCrc32(rec->fileData, count);
        const ZUNA_ERROR status = SendFileFragment(rec.get());
        if (status != ZUNA_E_SUCCESS) return FragmentFailure(status);
        if (count < FILE_FRAGMENT_LEN) break;
    }
    return ZUNA_E_SUCCESS;
}

ZUNA_ERROR CX9ZunaIfc::DownloadFile(const char* srcFile, const char* dstFile)
{
    auto rec = std::make_unique<FILE_API_RECORD>();
    if (!StartRecord(*rec, srcFile)) return ZUNA_E_INVALID;
    HostFile file(dstFile != nullptr ? std::fopen(dstFile, "wb") : nullptr);
    if (!file) return ZUNA_E_FILEOPEN;

    for (uint32_t i = 0; i < FILE_MAX_FRAGMENTS; ++i) {
        StartRecord(*rec, srcFile);
        rec->packetNum = static_cast<uint16_t>(i);
        rec->status = FILE_FRAGMENT_PARTIAL;
        const ZUNA_ERROR status = GetFileFragment(rec.get());
        if (status != ZUNA_E_SUCCESS) return FragmentFailure(status);
        if (CalculateCrc32(rec->fileData, rec->dataLength) != rec->checkSum) return ZUNA_E_CHECKSUM;
        const off_t at = static_cast<off_t>(rec->packetNum) * FILE_FRAGMENT_LEN;
        if (fseeko(file.get(), at, SEEK_SET) != 0 ||
            std::fwrite(rec->fileData, 1, rec->dataLength, file.get()) != rec->dataLength)
            return ZUNA_E_SPACE;
        if (rec->status == FILE_FRAGMENT_LAST) {
            // Data still buffered must reach the file: a failed close is a short write.
            return std::fclose(file.release()) == 0 ? ZUNA_E_SUCCESS : ZUNA_E_SPACE;
        }
    }
    return ZUNA_E_CONNECTION;
}
