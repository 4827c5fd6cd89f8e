// The card's flash, one 65536-byte block per request (0x0601, 0x0602), module
// locations (0x0605) and the commit requests (0x0603, 0x0606); and file transfer
// between the host and the card's file system (0x060A, 0x060B): one request and one
// reply per fragment of at most 65536 bytes, each fragment carrying its number,
// length, status and the CRC-32 of its data.
#include <sys/stat.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "fieldtext.h"
#include "filecloser.h"
#include "imgver.h"
#include "x9endian.h"
#include "x9reader.h"
#include "zunacmds.h"
#include "x9zunaifc.h"

namespace {

// A zeroed record naming the card path; false for a path that does not fit.
bool StartRecord(FILE_API_RECORD& rec, const char* cardPath)
{
    std::memset(&rec, 0, FILE_API_HEADER_LEN);
    return cardPath != nullptr && cardPath[0] != '\0' && PutTextField(rec.filename, cardPath);
}

// A failed fragment or block exchange inside a transfer: failures below the card (33)
// stay as they are, anything the card refused becomes 30.
ZUNA_ERROR FragmentFailure(ZUNA_ERROR status)
{
    return status == ZUNA_E_CONNECTION ? ZUNA_E_CONNECTION : ZUNA_E_GENERAL;
}

// A block record for block `n`, its checkSum and status zeroed.
void StartBlock(FLASH_BLOCK_RECORD& rec, uint32_t n)
{
    rec.blockNum = n;
    rec.checkSum = 0;
    rec.status = 0;
}

constexpr char kConfigSignature[] = "$$CONF$$";

}  // namespace

namespace {

// The numbers of the flash and file records, big-endian on the wire.
constexpr WireFields kBlockFields = {
    {offsetof(FLASH_BLOCK_RECORD, blockNum), 4},
    {offsetof(FLASH_BLOCK_RECORD, checkSum), 4},
    {offsetof(FLASH_BLOCK_RECORD, status), 2},
};
constexpr WireFields kModuleFields = {
    {offsetof(FLASH_MODULE_INFO, startAddr), 4},  {offsetof(FLASH_MODULE_INFO, allocSpace), 4},
    {offsetof(FLASH_MODULE_INFO, usedSpace), 4},  {offsetof(FLASH_MODULE_INFO, blockStart), 2},
    {offsetof(FLASH_MODULE_INFO, numBlocks), 2},  {offsetof(FLASH_MODULE_INFO, version), 2},
};
constexpr WireFields kFileFields = {
    {offsetof(FILE_API_RECORD, packetNum), 2},
    {offsetof(FILE_API_RECORD, dataLength), 4},
    {offsetof(FILE_API_RECORD, status), 2},
    {offsetof(FILE_API_RECORD, checkSum), 4},
};

}  // namespace

ZUNA_ERROR CX9ZunaIfc::WriteBlock(FLASH_BLOCK_RECORD* rec)
{
    if (rec->blockNum >= FLASH_BLOCK_COUNT) return ZUNA_E_INVALID;
    rec->checkSum = CalculateCrc32(rec->flashData, FLASH_BLOCK_LEN);
    return SendFields(ZUNACMD_WRITE_BLOCK, rec, sizeof(*rec), kBlockFields);
}

ZUNA_ERROR CX9ZunaIfc::ReadBlock(FLASH_BLOCK_RECORD* rec)
{
    if (rec->blockNum >= FLASH_BLOCK_COUNT) return ZUNA_E_INVALID;
    unsigned char request[FLASH_BLOCK_HEADER_LEN];
    WireWriter w(request, sizeof(request));
    w.Be32(rec->blockNum), w.Be32(rec->checkSum), w.Be16(static_cast<uint16_t>(rec->status));
    std::vector<unsigned char> reply;
    const ZUNA_ERROR status = Exchange(ZUNACMD_READ_BLOCK, request, sizeof(request), sizeof(*rec), reply);
    if (status != ZUNA_E_SUCCESS) return status;
    WireReader r(reply.data(), reply.size());
    const uint32_t blockNum = r.Be32();
    const uint32_t checkSum = r.Be32();
    const auto blockStatus = static_cast<int16_t>(r.Be16());
    const unsigned char* data = r.Span(FLASH_BLOCK_LEN);
    // A reply that does not fill the record, or names another block than the one asked
    // for, is no answer to the request.
    if (!r.AtEnd() || blockNum != rec->blockNum) return ZUNA_E_CONNECTION;
    if (CalculateCrc32(data, FLASH_BLOCK_LEN) != checkSum) return ZUNA_E_CHECKSUM;
    rec->checkSum = checkSum;
    rec->status = blockStatus;
    std::memcpy(rec->flashData, data, FLASH_BLOCK_LEN);
    return ZUNA_E_SUCCESS;
}

ZUNA_ERROR CX9ZunaIfc::ValidateImageFile(const char* fileName, bool withBoot)
{
    if (fileName == nullptr || std::strstr(fileName, ".ima") == nullptr) return ZUNA_E_INVALID;
    HostFile file(std::fopen(fileName, "rb"));
    if (!file) return ZUNA_E_FILEOPEN;
    if (VerifyImageFile(file.get()) != IMG_VERIFY_OK) return ZUNA_E_CHECKSUM;
    fmh boot{};
    long bootAt = -1;
    if (withBoot && VerifySection(kFlashModules[FLASH_MODULE_BOOT].name, file.get(), &boot, &bootAt) != IMG_VERIFY_OK)
        return ZUNA_E_CHECKSUM;
    // Every block the flash takes from the file is there before the first is written.
    if (fseeko(file.get(), 0, SEEK_END) != 0 || ftello(file.get()) < off_t{FLASH_BLOCK_COUNT} * FLASH_BLOCK_LEN)
        return ZUNA_E_IO;
    return ZUNA_E_SUCCESS;
}

ZUNA_ERROR CX9ZunaIfc::UploadFirmware(const char* fileName, const BlockProgress& progress)
{
    // The boot block is written too: the BOOT module is checked with the others.
    if (const ZUNA_ERROR valid = ValidateImageFile(fileName, true); valid != ZUNA_E_SUCCESS)
        return valid == ZUNA_E_IO ? ZUNA_E_IO : ZUNA_E_INVALID;
    HostFile file(std::fopen(fileName, "rb"));
    if (!file) return ZUNA_E_FILEOPEN;
    const BlockLoopResult written = WriteImageBlocks(file.get(), 0, progress);
    if (written.status == ZUNA_E_SUCCESS || written.hostFile) return written.status;
    return FragmentFailure(written.status);
}

ZUNA_ERROR CX9ZunaIfc::DownloadFirmware(const char* fileName, const BlockProgress& progress)
{
    if (ValidateImageFile(fileName) != ZUNA_E_SUCCESS) return ZUNA_E_INVALID;
    CX9HostFileReplacement file(fileName);
    if (file.Stream() == nullptr) return ZUNA_E_FILEOPEN;
    const BlockLoopResult read = ReadImageBlocks(file.Stream(), progress);
    if (read.status != ZUNA_E_SUCCESS) return read.hostFile ? read.status : FragmentFailure(read.status);
    return file.Commit() ? ZUNA_E_SUCCESS : ZUNA_E_IO;
}

BlockLoopResult CX9ZunaIfc::WriteImageBlocks(std::FILE* image, uint32_t first, const BlockProgress& progress)
{
    if (image == nullptr) return {ZUNA_E_FILEOPEN, true};
    if (first > FLASH_BLOCK_COUNT) return {ZUNA_E_INVALID, false};
    auto rec = std::make_unique<FLASH_BLOCK_RECORD>();
    for (uint32_t i = first; i < FLASH_BLOCK_COUNT; ++i) {
        if (std::fread(rec->flashData, 1, FLASH_BLOCK_LEN, image) != FLASH_BLOCK_LEN) return {ZUNA_E_IO, true};
        StartBlock(*rec, i);
        if (progress) progress(i, FLASH_BLOCK_COUNT);
        if (const ZUNA_ERROR status = WriteBlock(rec.get()); status != ZUNA_E_SUCCESS) return {status, false};
    }
    return {};
}

BlockLoopResult CX9ZunaIfc::ReadImageBlocks(std::FILE* image, const BlockProgress& progress)
{
    if (image == nullptr) return {ZUNA_E_FILEOPEN, true};
    auto rec = std::make_unique<FLASH_BLOCK_RECORD>();
    for (uint32_t i = 0; i < FLASH_BLOCK_COUNT; ++i) {
        StartBlock(*rec, i);
        if (const ZUNA_ERROR status = ReadBlock(rec.get()); status != ZUNA_E_SUCCESS) return {status, false};
        if (progress) progress(i, FLASH_BLOCK_COUNT);
        if (std::fwrite(rec->flashData, 1, FLASH_BLOCK_LEN, image) != FLASH_BLOCK_LEN) return {ZUNA_E_IO, true};
    }
    return {};
}

ZUNA_ERROR CX9ZunaIfc::WriteModuleBlocks(const FLASH_MODULE_INFO& info, const std::vector<unsigned char>& data,
                                         const BlockProgress& progress)
{
    if (data.size() != std::size_t{info.numBlocks} * FLASH_BLOCK_LEN ||
        uint32_t{info.blockStart} + info.numBlocks > FLASH_BLOCK_COUNT)
        return ZUNA_E_INVALID;
    auto rec = std::make_unique<FLASH_BLOCK_RECORD>();
    for (uint32_t i = 0; i < info.numBlocks; ++i) {
        StartBlock(*rec, info.blockStart + i);
        std::memcpy(rec->flashData, data.data() + std::size_t{i} * FLASH_BLOCK_LEN, FLASH_BLOCK_LEN);
        if (progress) progress(i, info.numBlocks);
        if (const ZUNA_ERROR status = WriteBlock(rec.get()); status != ZUNA_E_SUCCESS) return status;
    }
    return ZUNA_E_SUCCESS;
}

ZUNA_ERROR CX9ZunaIfc::ConfigFlash()
{
    return SendRecord(ZUNACMD_CONFIG_FLASH, nullptr, 0);
}

ZUNA_ERROR CX9ZunaIfc::SDKFlash()
{
    return SendRecord(ZUNACMD_SDK_FLASH, nullptr, 0);
}

ZUNA_ERROR CX9ZunaIfc::ModuleGetNumBlocks(FLASH_MODULE_INFO* info)
{
    FLASH_MODULE_INFO got{};
    const ZUNA_ERROR status =
        ExchangeFields(ZUNACMD_MODULE_GET_NUM_BLOCKS, info, sizeof(*info), &got, sizeof(got), kModuleFields);
    if (status != ZUNA_E_SUCCESS) return status;
    // A module holds at least its header's block, and lies inside the flash.
    if (got.numBlocks == 0 || uint32_t{got.blockStart} + got.numBlocks > FLASH_BLOCK_COUNT) return ZUNA_E_CONNECTION;
    *info = got;
    return ZUNA_E_SUCCESS;
}

namespace {

// The configuration module's location, asked of the card.
ZUNA_ERROR LocateConfig(CX9ZunaIfc& ifc, FLASH_MODULE_INFO& info)
{
    info = FLASH_MODULE_INFO{};
    std::memcpy(info.modName, kConfigSignature, FLASH_MOD_NAME_LEN);
    return ifc.ModuleGetNumBlocks(&info);
}

// Reads the module's blocks one by one, handing each block's data to `take`, which
// returns 0 or the status that ends the copy.
template <typename Take>
ZUNA_ERROR CopyModuleBlocks(CX9ZunaIfc& ifc, const FLASH_MODULE_INFO& info, const BlockProgress& progress, Take take)
{
    auto rec = std::make_unique<FLASH_BLOCK_RECORD>();
    for (uint32_t i = 0; i < info.numBlocks; ++i) {
        StartBlock(*rec, info.blockStart + i);
        const ZUNA_ERROR status = ifc.ReadBlock(rec.get());
        if (status != ZUNA_E_SUCCESS) return FragmentFailure(status);
        if (progress) progress(i, info.numBlocks);
        if (const ZUNA_ERROR taken = take(i, rec->flashData); taken != ZUNA_E_SUCCESS) return taken;
    }
    return ZUNA_E_SUCCESS;
}

}  // namespace

ZUNA_ERROR CX9ZunaIfc::ConfigGetFile(const char* fileName, const BlockProgress& progress)
{
    CX9HostFileReplacement file(fileName);
    if (file.Stream() == nullptr) return ZUNA_E_FILEOPEN;
    FLASH_MODULE_INFO info{};
    if (const ZUNA_ERROR status = LocateConfig(*this, info); status != ZUNA_E_SUCCESS) return status;
    const ZUNA_ERROR status = CopyModuleBlocks(*this, info, progress, [&](uint32_t, const unsigned char* data) {
        return std::fwrite(data, 1, FLASH_BLOCK_LEN, file.Stream()) == FLASH_BLOCK_LEN ? ZUNA_E_SUCCESS : ZUNA_E_SPACE;
    });
    if (status != ZUNA_E_SUCCESS) return status;
    return file.Commit() ? ZUNA_E_SUCCESS : ZUNA_E_SPACE;
}

ZUNA_ERROR CX9ZunaIfc::ConfigGetBuffer(std::vector<unsigned char>& data, const BlockProgress& progress)
{
    FLASH_MODULE_INFO info{};
    if (const ZUNA_ERROR status = LocateConfig(*this, info); status != ZUNA_E_SUCCESS) return status;
    data.assign(std::size_t{info.numBlocks} * FLASH_BLOCK_LEN, 0);
    return CopyModuleBlocks(*this, info, progress, [&](uint32_t i, const unsigned char* block) {
        std::memcpy(data.data() + std::size_t{i} * FLASH_BLOCK_LEN, block, FLASH_BLOCK_LEN);
        return ZUNA_E_SUCCESS;
    });
}

ZUNA_ERROR CX9ZunaIfc::IsSameImageFormat(unsigned long firstBlk, const char* sec_name, FILE* fp)
{
    unsigned char sig[FMH_SIG_LEN];
    modulesigfromname(sec_name != nullptr ? sec_name : "", sig);
    if (firstBlk >= FLASH_BLOCK_COUNT || fp == nullptr) return ZUNA_E_INVALID;
    auto rec = std::make_unique<FLASH_BLOCK_RECORD>();
    StartBlock(*rec, static_cast<uint32_t>(firstBlk));
    if (const ZUNA_ERROR status = ReadBlock(rec.get()); status != ZUNA_E_SUCCESS) return status;
    if (std::memcmp(rec->flashData + offsetof(fmh, fmh_mod_name), sig, FMH_SIG_LEN) != 0) return ZUNA_E_VERSION;
    fmh onFlash{};
    fmh inFile{};
    std::memcpy(&onFlash, rec->flashData, FMH_LEN);
    make_fmh_little_endian(&onFlash);
    if (fseeko(fp, static_cast<off_t>(firstBlk) * FLASH_BLOCK_LEN, SEEK_SET) != 0 ||
        std::fread(&inFile, 1, FMH_LEN, fp) != FMH_LEN)
        return ZUNA_E_FILEREAD;
    make_fmh_little_endian(&inFile);
    return onFlash.fmh_alloc_space == inFile.fmh_alloc_space ? ZUNA_E_SUCCESS : ZUNA_E_VERSION;
}

int CX9ZunaIfc::IsBootBlockChanged(const unsigned char* fileData, int size)
{
    if (fileData == nullptr || size != static_cast<int>(FLASH_BLOCK_LEN)) return 1;
    auto rec = std::make_unique<FLASH_BLOCK_RECORD>();
    StartBlock(*rec, 0);
    if (const ZUNA_ERROR status = ReadBlock(rec.get()); status != ZUNA_E_SUCCESS) return status;
    return std::memcmp(rec->flashData, fileData, FLASH_BLOCK_LEN) != 0 ? 1 : 0;
}

ZUNA_ERROR CX9ZunaIfc::SendFileFragment(FILE_API_RECORD* rec)
{
    return SendFields(ZUNACMD_SEND_FILE_FRAGMENT, rec, sizeof(*rec), kFileFields);
}

ZUNA_ERROR CX9ZunaIfc::GetFileFragment(FILE_API_RECORD* rec)
{
    unsigned char request[FILE_API_HEADER_LEN];
    WireWriter w(request, sizeof(request));
    WriteRecord(w, rec, FILE_API_HEADER_LEN, kFileFields);
    std::vector<unsigned char> reply;
    const ZUNA_ERROR status = Exchange(ZUNACMD_GET_FILE_FRAGMENT, request, sizeof(request), sizeof(*rec), reply);
    if (status != ZUNA_E_SUCCESS) return status;
    unsigned char header[FILE_API_HEADER_LEN];
    WireReader r(reply.data(), reply.size());
    ReadRecord(r, header, sizeof(header), kFileFields);
    uint16_t packetNum = 0;
    uint32_t dataLength = 0;
    std::memcpy(&packetNum, header + offsetof(FILE_API_RECORD, packetNum), sizeof(packetNum));
    std::memcpy(&dataLength, header + offsetof(FILE_API_RECORD, dataLength), sizeof(dataLength));
    // The data the reply announces must lie within both the record and the reply, and
    // another fragment than the one asked for is no answer to the request.
    if (!r.ok() || dataLength > FILE_FRAGMENT_LEN || dataLength > r.Remaining() || packetNum != rec->packetNum)
        return ZUNA_E_CONNECTION;
    const std::size_t dataLen = r.Remaining();
    std::memcpy(rec, header, sizeof(header));
    r.Bytes(rec->fileData, dataLen);
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
    CX9HostFileReplacement file(dstFile);
    if (file.Stream() == nullptr) return ZUNA_E_FILEOPEN;

    for (uint32_t i = 0; i < FILE_MAX_FRAGMENTS; ++i) {
        StartRecord(*rec, srcFile);
        rec->packetNum = static_cast<uint16_t>(i);
        rec->status = FILE_FRAGMENT_PARTIAL;
        const ZUNA_ERROR status = GetFileFragment(rec.get());
        if (status != ZUNA_E_SUCCESS) return FragmentFailure(status);
        if (CalculateCrc32(rec->fileData, rec->dataLength) != rec->checkSum) return ZUNA_E_CHECKSUM;
        const off_t at = static_cast<off_t>(rec->packetNum) * FILE_FRAGMENT_LEN;
        if (fseeko(file.Stream(), at, SEEK_SET) != 0 ||
            std::fwrite(rec->fileData, 1, rec->dataLength, file.Stream()) != rec->dataLength)
            return ZUNA_E_SPACE;
        // Data still buffered must reach the file: a failed commit is a short write.
        if (rec->status == FILE_FRAGMENT_LAST) return file.Commit() ? ZUNA_E_SUCCESS : ZUNA_E_SPACE;
    }
    return ZUNA_E_CONNECTION;
}
