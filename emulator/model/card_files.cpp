// File fragments (0x060A get, 0x060B send): the card's file store. An upload's
// fragment 0 starts the file anew; fragment k is written at k * 65536. A download
// answers the whole record, its status 6 on the file's last fragment.
#include "card_state.h"
#include "cksum.h"
#include "fileapi.h"
#include "x9endian.h"
#include "zunacmds.h"
#include "zunahdr.h"

namespace kelcard::detail {
namespace {

// The fragment's numbers and card path, or the status that refuses the request.
struct FragmentRequest {
    std::string path;
    uint32_t number = 0;
    uint32_t length = 0;
    uint32_t checkSum = 0;
};

uint16_t ReadFragment(std::span<const uint8_t> request, FragmentRequest& fragment)
{
    const char* name = reinterpret_cast<const char*>(request.data());
    if (TerminatedTextLength(name, FILE_NAME_LEN) <= 0) return ZUNA_E_INVALID;
    fragment.path = name;
    fragment.number = GetBe16(request.data() + offsetof(FILE_API_RECORD, packetNum));
    fragment.length = GetBe32(request.data() + offsetof(FILE_API_RECORD, dataLength));
    fragment.checkSum = GetBe32(request.data() + offsetof(FILE_API_RECORD, checkSum));
    return fragment.length > FILE_FRAGMENT_LEN ? ZUNA_E_INVALID : ZUNA_E_SUCCESS;
}

void SendFileFragment(CardState& card, Session& session, std::span<const uint8_t> request, Reply& reply)
{
    FileStore& store = card.fileStore;
    if (!StillThere(card, session)) return;
    FragmentRequest fragment;
    if ((reply.status = ReadFragment(request, fragment)) != ZUNA_E_SUCCESS) return;
    const uint8_t* data = request.data() + FILE_API_HEADER_LEN;
    if (calc_cksum32(data, fragment.length) != fragment.checkSum || store.uploadCrcError == fragment.number) {
        reply.status = ZUNA_E_CHECKSUM;
        return;
    }
    auto found = store.files.find(fragment.path);
    const std::size_t oldSize = found == store.files.end() ? 0 : found->second.size();
    const std::size_t offset = std::size_t{fragment.number} * FILE_FRAGMENT_LEN;
    const std::size_t keep = fragment.number == 0 ? 0 : oldSize;
    const std::size_t newSize = std::max(keep, offset + fragment.length);
    if (store.totalBytes - oldSize + newSize > kFileStoreLimit) {
        reply.status = ZUNA_E_SPACE;
        return;
    }
    // The bytes kept, zeros up to the fragment, the fragment over what it covers and
    // appended past the end (a file written in order is never cleared first).
    std::vector<uint8_t>& file = store.files[fragment.path];
    file.resize(std::max(keep, offset));
    const std::size_t over = std::min<std::size_t>(fragment.length, file.size() - offset);
    std::copy_n(data, over, file.begin() + static_cast<std::ptrdiff_t>(offset));
    file.insert(file.end(), data + over, data + fragment.length);
    store.totalBytes = store.totalBytes - oldSize + newSize;
}

void GetFileFragment(CardState& card, Session& session, std::span<const uint8_t> request, Reply& reply)
{
    FileStore& store = card.fileStore;
    if (!StillThere(card, session)) return;
    FragmentRequest fragment;
    if ((reply.status = ReadFragment(request, fragment)) != ZUNA_E_SUCCESS) return;
    const auto found = store.files.find(fragment.path);
    if (found == store.files.end()) {
        reply.status = ZUNA_E_NFILE;
        return;
    }
    const std::vector<uint8_t>& file = found->second;
    const std::size_t offset = std::size_t{fragment.number} * FILE_FRAGMENT_LEN;
    if (fragment.number != 0 && offset >= file.size()) {
        reply.status = ZUNA_E_RANGE;
        return;
    }
    const std::size_t length = std::min<std::size_t>(FILE_FRAGMENT_LEN, file.size() - offset);
    // The whole record, its data past `length` zeros.
    uint8_t* rec = reply.Room(sizeof(FILE_API_RECORD));
    std::copy_n(request.data(), FILE_API_HEADER_LEN, rec);
    std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(offset), length, rec + FILE_API_HEADER_LEN);
    std::fill(rec + FILE_API_HEADER_LEN + length, rec + sizeof(FILE_API_RECORD), uint8_t{0});
    uint32_t checkSum = calc_cksum32(rec + FILE_API_HEADER_LEN, length);
    if (store.downloadCrcError == fragment.number) checkSum ^= 1;
    PutBe32(rec + offsetof(FILE_API_RECORD, dataLength), static_cast<uint32_t>(length));
    PutBe16(rec + offsetof(FILE_API_RECORD, status),
            offset + length >= file.size() ? FILE_FRAGMENT_LAST : FILE_FRAGMENT_PARTIAL);
    PutBe32(rec + offsetof(FILE_API_RECORD, checkSum), checkSum);
    if (store.renumber && store.renumber->first == fragment.number)
        PutBe16(rec + offsetof(FILE_API_RECORD, packetNum), store.renumber->second);
}

}  // namespace

bool StillThere(CardState& card, Session& session)
{
    FileStore& store = card.fileStore;
    if (store.vanishAfter && store.fragmentsAnswered >= *store.vanishAfter) {
        session.dropWithoutReply = true;
        return false;
    }
    ++store.fragmentsAnswered;
    return true;
}

void AddFileCommands(CommandTable& table)
{
    table[ZUNACMD_SEND_FILE_FRAGMENT] = {SendFileFragment, sizeof(FILE_API_RECORD)};
    table[ZUNACMD_GET_FILE_FRAGMENT] = {GetFileFragment, FILE_API_HEADER_LEN};
}

}  // namespace kelcard::detail

// The public methods of this area.
namespace kelcard {

void CardModel::InjectUploadCrcError(uint32_t n)
{
    std::lock_guard lock(m_mutex);
    m_state->fileStore.uploadCrcError = n;
}

void CardModel::InjectDownloadCrcError(uint32_t n)
{
    std::lock_guard lock(m_mutex);
    m_state->fileStore.downloadCrcError = n;
}

void CardModel::RenumberDownloadFragment(uint32_t n, uint16_t number)
{
    std::lock_guard lock(m_mutex);
    m_state->fileStore.renumber = std::pair(n, number);
}

void CardModel::VanishAfterFragments(uint32_t count)
{
    std::lock_guard lock(m_mutex);
    m_state->fileStore.vanishAfter = count;
}

std::optional<std::vector<uint8_t>> CardModel::StoredFile(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_state->fileStore.files.find(path);
    if (found == m_state->fileStore.files.end()) return std::nullopt;
    return found->second;
}

}  // namespace kelcard
