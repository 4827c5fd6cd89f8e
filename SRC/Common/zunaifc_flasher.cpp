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
#include <span>
#include <vector>

#include "fieldtext.h"
#include "filecloser.h"
#include "imgver.h"
#include "transferworker.h"
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

// Whether a card path fits a record's filename field.
bool CardPathFits(const char* cardPath)
{
    char field[sizeof(FILE_API_RECORD::filename)];
    return cardPath != nullptr && cardPath[0] != '\0' && PutTextField(field, cardPath);
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

// A flash block on its way between the card and a file, with its CRC-32.
struct FlashBlockBuffer {
    unsigned char data[FLASH_BLOCK_LEN];
    uint32_t checkSum;
};

// A file fragment on its way: the record as sent or received, and for an upload the
// bytes read from the file and their CRC-32.
struct FragmentBuffer {
    FILE_API_RECORD rec;
    std::size_t count;
    uint32_t checkSum;
};

}  // namespace

namespace {

// The numbers of the module and file records, big-endian on the wire (a flash block's
// are written and read one by one: SendBlock, ReceiveBlock).
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
    return SendBlock(rec->blockNum, rec->flashData, rec->checkSum);
}

ZUNA_ERROR CX9ZunaIfc::SendBlock(uint32_t n, const unsigned char* data, uint32_t checkSum)
{
    WireWriter w(RequestData(), sizeof(FLASH_BLOCK_RECORD));
    w.Be32(n), w.Be32(checkSum), w.Be16(0), w.Bytes(data, FLASH_BLOCK_LEN);
    std::span<const unsigned char> reply;
    return ExchangeInPlace(ZUNACMD_WRITE_BLOCK, sizeof(FLASH_BLOCK_RECORD), sizeof(FLASH_BLOCK_RECORD), reply);
}

ZUNA_ERROR CX9ZunaIfc::ReceiveBlock(uint32_t n, std::span<const unsigned char>& data, uint32_t& checkSum,
                                    int16_t& blockStatus)
{
    WireWriter w(RequestData(), FLASH_BLOCK_HEADER_LEN);
    w.Be32(n), w.Be32(checkSum), w.Be16(static_cast<uint16_t>(blockStatus));
    std::span<const unsigned char> reply;
    const ZUNA_ERROR status = ExchangeInPlace(ZUNACMD_READ_BLOCK, FLASH_BLOCK_HEADER_LEN, sizeof(FLASH_BLOCK_RECORD), reply);
    if (status != ZUNA_E_SUCCESS) return status;
    WireReader r(reply.data(), reply.size());
    const uint32_t blockNum = r.Be32();
    checkSum = r.Be32();
    blockStatus = static_cast<int16_t>(r.Be16());
    const unsigned char* bytes = r.Span(FLASH_BLOCK_LEN);
    // A reply that does not fill the record, or names another block than the one asked
    // for, is no answer to the request.
    if (!r.AtEnd() || blockNum != n) return ZUNA_E_CONNECTION;
    data = std::span<const unsigned char>(bytes, FLASH_BLOCK_LEN);
    return ZUNA_E_SUCCESS;
}

ZUNA_ERROR CX9ZunaIfc::ReadBlock(FLASH_BLOCK_RECORD* rec)
{
    if (rec->blockNum >= FLASH_BLOCK_COUNT) return ZUNA_E_INVALID;
    std::span<const unsigned char> data;
    uint32_t checkSum = rec->checkSum;
    int16_t blockStatus = rec->status;
    if (const ZUNA_ERROR status = ReceiveBlock(rec->blockNum, data, checkSum, blockStatus); status != ZUNA_E_SUCCESS)
        return status;
    if (CalculateCrc32(data.data(), FLASH_BLOCK_LEN) != checkSum) return ZUNA_E_CHECKSUM;
    rec->checkSum = checkSum;
    rec->status = blockStatus;
    std::memcpy(rec->flashData, data.data(), FLASH_BLOCK_LEN);
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
    // Block i + 1 is read from the file, and its CRC-32 computed, while block i goes
    // to the card; a block is read only once the one before it is sent.
    const auto blocks = std::make_unique<FlashBlockBuffer[]>(2);
    TransferWorker worker(image);
    const auto readBlock = [&blocks, image](uint32_t i) {
        return [&block = blocks[i % 2], image] {
            if (std::fread(block.data, 1, FLASH_BLOCK_LEN, image) != FLASH_BLOCK_LEN)
                return BlockLoopResult{ZUNA_E_IO, true};
            block.checkSum = CalculateCrc32(block.data, FLASH_BLOCK_LEN);
            return BlockLoopResult{};
        };
    };
    if (first < FLASH_BLOCK_COUNT) worker.Start(readBlock(first));
    for (uint32_t i = first; i < FLASH_BLOCK_COUNT; ++i) {
        if (const BlockLoopResult read = worker.Wait(); read.status != ZUNA_E_SUCCESS) return read;
        if (i + 1 < FLASH_BLOCK_COUNT) worker.Start(readBlock(i + 1));
        if (progress) progress(i, FLASH_BLOCK_COUNT);
        const FlashBlockBuffer& block = blocks[i % 2];
        if (const ZUNA_ERROR status = SendBlock(i, block.data, block.checkSum); status != ZUNA_E_SUCCESS)
            return {status, false};
    }
    return {};
}

BlockLoopResult CX9ZunaIfc::ReadBlockRange(uint32_t first, uint32_t count, std::FILE* stream,
                                           const BlockProgress& progress, const BlockTake& take)
{
    // Block i's CRC check, progress and `take` run on the worker while block i + 1 is
    // asked for; its result is in before block i + 2 is, and a failure of block i
    // comes before any failure of block i + 1's exchange.
    const auto blocks = std::make_unique<FlashBlockBuffer[]>(2);
    TransferWorker worker(stream);
    for (uint32_t i = 0; i < count; ++i) {
        FlashBlockBuffer& block = blocks[i % 2];
        std::span<const unsigned char> data;
        block.checkSum = 0;
        int16_t blockStatus = 0;
        const ZUNA_ERROR status = ReceiveBlock(first + i, data, block.checkSum, blockStatus);
        if (status == ZUNA_E_SUCCESS) std::memcpy(block.data, data.data(), FLASH_BLOCK_LEN);
        if (const BlockLoopResult done = worker.Wait(); done.status != ZUNA_E_SUCCESS) return done;
        if (status != ZUNA_E_SUCCESS) return {status, false};
        worker.Start([&block, i, count, &progress, &take] {
            if (CalculateCrc32(block.data, FLASH_BLOCK_LEN) != block.checkSum) return BlockLoopResult{ZUNA_E_CHECKSUM, false};
            if (progress) progress(i, count);
            return take(i, block.data);
        });
    }
    return worker.Wait();
}

BlockLoopResult CX9ZunaIfc::ReadImageBlocks(std::FILE* image, const BlockProgress& progress)
{
    if (image == nullptr) return {ZUNA_E_FILEOPEN, true};
    return ReadBlockRange(0, FLASH_BLOCK_COUNT, image, progress, [image](uint32_t, const unsigned char* data) {
        if (std::fwrite(data, 1, FLASH_BLOCK_LEN, image) != FLASH_BLOCK_LEN) return BlockLoopResult{ZUNA_E_IO, true};
        return BlockLoopResult{};
    });
}

ZUNA_ERROR CX9ZunaIfc::WriteModuleBlocks(const FLASH_MODULE_INFO& info, const std::vector<unsigned char>& data,
                                         const BlockProgress& progress)
{
    if (data.size() != std::size_t{info.numBlocks} * FLASH_BLOCK_LEN ||
        uint32_t{info.blockStart} + info.numBlocks > FLASH_BLOCK_COUNT)
        return ZUNA_E_INVALID;
    for (uint32_t i = 0; i < info.numBlocks; ++i) {
        const unsigned char* block = data.data() + std::size_t{i} * FLASH_BLOCK_LEN;
        if (progress) progress(i, info.numBlocks);
        const ZUNA_ERROR status = SendBlock(info.blockStart + i, block, CalculateCrc32(block, FLASH_BLOCK_LEN));
        if (status != ZUNA_E_SUCCESS) return status;
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

}  // namespace

ZUNA_ERROR CX9ZunaIfc::CopyModuleBlocks(const FLASH_MODULE_INFO& info, std::FILE* stream, const BlockProgress& progress,
                                        const BlockTake& take)
{
    const BlockLoopResult copied = ReadBlockRange(info.blockStart, info.numBlocks, stream, progress, take);
    if (copied.status == ZUNA_E_SUCCESS || copied.hostFile) return copied.status;
    return FragmentFailure(copied.status);
}

ZUNA_ERROR CX9ZunaIfc::ConfigGetFile(const char* fileName, const BlockProgress& progress)
{
    CX9HostFileReplacement file(fileName);
    if (file.Stream() == nullptr) return ZUNA_E_FILEOPEN;
    FLASH_MODULE_INFO info{};
    if (const ZUNA_ERROR status = LocateConfig(*this, info); status != ZUNA_E_SUCCESS) return status;
    std::FILE* const stream = file.Stream();
    const ZUNA_ERROR status = CopyModuleBlocks(info, stream, progress, [stream](uint32_t, const unsigned char* data) {
        if (std::fwrite(data, 1, FLASH_BLOCK_LEN, stream) != FLASH_BLOCK_LEN) return BlockLoopResult{ZUNA_E_SPACE, true};
        return BlockLoopResult{};
    });
    if (status != ZUNA_E_SUCCESS) return status;
    return file.Commit() ? ZUNA_E_SUCCESS : ZUNA_E_SPACE;
}

ZUNA_ERROR CX9ZunaIfc::ConfigGetBuffer(std::vector<unsigned char>& data, const BlockProgress& progress)
{
    FLASH_MODULE_INFO info{};
    if (const ZUNA_ERROR status = LocateConfig(*this, info); status != ZUNA_E_SUCCESS) return status;
    data.assign(std::size_t{info.numBlocks} * FLASH_BLOCK_LEN, 0);
    return CopyModuleBlocks(info, nullptr, progress, [&data](uint32_t i, const unsigned char* block) {
        std::memcpy(data.data() + std::size_t{i} * FLASH_BLOCK_LEN, block, FLASH_BLOCK_LEN);
        return BlockLoopResult{};
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
    WireWriter w(RequestData(), FILE_API_HEADER_LEN);
    WriteRecord(w, rec, FILE_API_HEADER_LEN, kFileFields);
    std::span<const unsigned char> reply;
    const ZUNA_ERROR status = ExchangeInPlace(ZUNACMD_GET_FILE_FRAGMENT, FILE_API_HEADER_LEN, sizeof(*rec), reply);
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
    if (!CardPathFits(dstFile)) return ZUNA_E_INVALID;
    HostFile file(srcFile != nullptr ? std::fopen(srcFile, "rb") : nullptr);
    if (!file) return ZUNA_E_FILEOPEN;
    struct stat info {};
    if (fstat(fileno(file.get()), &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<uint64_t>(info.st_size) > uint64_t{FILE_MAX_FRAGMENTS} * FILE_FRAGMENT_LEN)
        return ZUNA_E_INVALID;

    // Fragment i + 1 is read from the file, and its CRC-32 computed, while fragment i
    // goes to the card.
    const auto fragments = std::make_unique<FragmentBuffer[]>(2);
    std::FILE* const stream = file.get();
    TransferWorker worker(stream);
    const auto readFragment = [&fragments, stream](uint32_t i) {
        return [&fragment = fragments[i % 2], stream] {
            fragment.count = std::fread(fragment.rec.fileData, 1, FILE_FRAGMENT_LEN, stream);
            if (std::ferror(stream)) return BlockLoopResult{ZUNA_E_IO, true};
            fragment.checkSum = CalculateCrc32(fragment.rec.fileData, fragment.count);
            return BlockLoopResult{};
        };
    };
    worker.Start(readFragment(0));
    for (uint32_t i = 0;; ++i) {
        if (i >= FILE_MAX_FRAGMENTS) return ZUNA_E_INVALID;
        if (const BlockLoopResult read = worker.Wait(); read.status != ZUNA_E_SUCCESS) return read.status;
        FragmentBuffer& fragment = fragments[i % 2];
        const std::size_t count = fragment.count;
        // After the first fragment an empty read means the file has ended; the first is
        // sent even when empty, so that the card's file is made empty too.
        if (count == 0 && i != 0) break;
        if (count == FILE_FRAGMENT_LEN) worker.Start(readFragment(i + 1));
        FILE_API_RECORD& rec = fragment.rec;
        StartRecord(rec, dstFile);
        rec.packetNum = static_cast<uint16_t>(i);
        rec.dataLength = static_cast<uint32_t>(count);
        rec.status = count == FILE_FRAGMENT_LEN ? FILE_FRAGMENT_FULL : FILE_FRAGMENT_PARTIAL;
        rec.checkSum = fragment.checkSum;
        const ZUNA_ERROR status = SendFileFragment(&rec);
        if (status != ZUNA_E_SUCCESS) return FragmentFailure(status);
        if (count < FILE_FRAGMENT_LEN) break;
    }
    return ZUNA_E_SUCCESS;
}

ZUNA_ERROR CX9ZunaIfc::DownloadFile(const char* srcFile, const char* dstFile)
{
    if (!CardPathFits(srcFile)) return ZUNA_E_INVALID;
    CX9HostFileReplacement file(dstFile);
    if (file.Stream() == nullptr) return ZUNA_E_FILEOPEN;

    // Fragment i's CRC check and file write run on the worker while fragment i + 1 is
    // asked for; a failure of fragment i is in before fragment i + 2 is asked for.
    const auto fragments = std::make_unique<FragmentBuffer[]>(2);
    std::FILE* const stream = file.Stream();
    TransferWorker worker(stream);
    for (uint32_t i = 0; i < FILE_MAX_FRAGMENTS; ++i) {
        FILE_API_RECORD& rec = fragments[i % 2].rec;
        StartRecord(rec, srcFile);
        rec.packetNum = static_cast<uint16_t>(i);
        rec.status = FILE_FRAGMENT_PARTIAL;
        const ZUNA_ERROR status = GetFileFragment(&rec);
        if (const BlockLoopResult done = worker.Wait(); done.status != ZUNA_E_SUCCESS) return done.status;
        if (status != ZUNA_E_SUCCESS) return FragmentFailure(status);
        const bool last = rec.status == FILE_FRAGMENT_LAST;
        worker.Start([&rec, stream] {
            const uint32_t length = rec.dataLength;
            const uint32_t checkSum = rec.checkSum;
            if (CalculateCrc32(rec.fileData, length) != checkSum) return BlockLoopResult{ZUNA_E_CHECKSUM, false};
            const off_t at = static_cast<off_t>(rec.packetNum) * FILE_FRAGMENT_LEN;
            if (fseeko(stream, at, SEEK_SET) != 0 || std::fwrite(rec.fileData, 1, length, stream) != length)
                return BlockLoopResult{ZUNA_E_SPACE, true};
            return BlockLoopResult{};
        });
        if (!last) continue;
        if (const BlockLoopResult done = worker.Wait(); done.status != ZUNA_E_SUCCESS) return done.status;
        // Data still buffered must reach the file: a failed commit is a short write.
        return file.Commit() ? ZUNA_E_SUCCESS : ZUNA_E_SPACE;
    }
    if (const BlockLoopResult done = worker.Wait(); done.status != ZUNA_E_SUCCESS) return done.status;
    return ZUNA_E_CONNECTION;
}
