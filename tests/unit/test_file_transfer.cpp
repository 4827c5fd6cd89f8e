// File fragments: the client against a scripted medium, and the card's bounded store.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <unistd.h>

#include "card_model.h"
#include "fake_medium.h"
#include "x9zunaifc.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Fields = std::vector<uint32_t>;
constexpr uint32_t kFrag = 65536, kHead = 92, kRecord = 65628;

// A fragment record in wire order, cut to `size` bytes; `crcFlip` spoils its CRC.
Bytes Fragment(uint16_t number, uint32_t length, uint16_t status, std::size_t size = kRecord, uint32_t crcFlip = 0)
{
    Bytes rec(std::max<std::size_t>(size, kHead), 0x5A);
    std::fill_n(rec.begin(), kHead, 0);
    PutBe16(&rec[80], number), PutBe32(&rec[82], length), PutBe16(&rec[86], status);
    PutBe32(&rec[88], calc_cksum32(rec.data() + kHead, std::min<std::size_t>(length, rec.size() - kHead)) ^ crcFlip);
    rec.resize(size);
    return rec;
}

struct FileTransfer : ::testing::Test {
    FileTransfer() : client(std::make_unique<FakeMedium>(log)) {}
    Bytes Host() { return Bytes(std::istreambuf_iterator<char>(*std::make_unique<std::ifstream>(path)), {}); }
    // A file of this test's own: ctest runs the tests of this program side by side.
    std::string path = ::testing::TempDir() + "file_transfer_" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                       std::to_string(::getpid()) + ".bin";
    ~FileTransfer() override { std::remove(path.c_str()); }
    FakeMediumLog log;
    CX9ZunaIfc client;
};

TEST_F(FileTransfer, UploadFragmentsByFileLength)
{
    const std::vector<std::pair<uint32_t, std::vector<uint32_t>>> cases = {  // size, fragment lengths
        {0, {0}}, {kFrag, {kFrag}}, {kFrag + 1, {kFrag, 1}}};
    for (const auto& [size, lengths] : cases) {
        std::ofstream(path) << std::string(size, 'z');
        log.requests.clear();
        for (std::size_t i = 0; i < lengths.size(); ++i) log.replies.push_back({0, MakeReply(0, {})});
        ASSERT_EQ(ZUNA_E_SUCCESS, client.UploadFile(path.c_str(), "/c/f")) << size;
        ASSERT_EQ(lengths.size(), log.requests.size());
        for (std::size_t i = 0; i < lengths.size(); ++i) {
            const unsigned char* rec = &log.requests[i][32];
            EXPECT_EQ(32 + kRecord, log.requests[i].size());
            EXPECT_EQ(Fields({uint32_t(i), lengths[i], lengths[i] == kFrag ? 6u : 5u, calc_cksum32(rec + kHead, lengths[i])}),
                      Fields({GetBe16(rec + 80), GetBe32(rec + 82), GetBe16(rec + 86), GetBe32(rec + 88)}));
        }
    }
}

// A fragment record is in host order before and after each exchange: a successful
// reply is decoded over it, a refused one leaves it as the caller gave it.
TEST_F(FileTransfer, FragmentRecordsStayInHostOrder)
{
    auto rec = std::make_unique<FILE_API_RECORD>();
    const auto given = [&] {
        rec->packetNum = 4, rec->dataLength = 7, rec->status = 5, rec->checkSum = 0x11223344;
        rec->fileData[0] = 0x11;
    };
    const auto fields = [&] { return Fields({rec->packetNum, rec->dataLength, rec->status, rec->checkSum, rec->fileData[0]}); };
    const Fields asGiven = {4, 7, 5, 0x11223344, 0x11};
    const std::vector<std::tuple<uint16_t, Bytes, ZUNA_ERROR>> gets = {
        {0, Fragment(4, 3, 6, kHead + 3), ZUNA_E_SUCCESS}, {ZUNA_E_BUSY, Fragment(4, 3, 6, kHead + 3), ZUNA_E_BUSY},
        {0, Fragment(4, 3, 6, kHead - 1), ZUNA_E_CONNECTION}, {0, Fragment(5, 3, 6, kHead + 3), ZUNA_E_CONNECTION}};
    for (const auto& [cardStatus, reply, status] : gets) {
        given();
        log.replies.push_back({0, MakeReply(cardStatus, reply)});
        EXPECT_EQ(status, client.GetFileFragment(rec.get())) << reply.size();
        EXPECT_EQ(Bytes(log.requests.back().begin() + 32 + 80, log.requests.back().end()),
                  Bytes({0, 4, 0, 0, 0, 7, 0, 5, 0x11, 0x22, 0x33, 0x44}))
            << "a request of 92 bytes, its numbers big-endian";
        EXPECT_EQ(status == ZUNA_E_SUCCESS ? Fields({4, 3, 6, GetBe32(&reply[88]), 0x5A}) : asGiven, fields());
    }
    given();
    log.replies.push_back({0, MakeReply(ZUNA_E_BUSY, {})});
    EXPECT_EQ(ZUNA_E_BUSY, client.SendFileFragment(rec.get()));
    EXPECT_EQ(asGiven, fields()) << "a sent record is not changed";
}

TEST_F(FileTransfer, DownloadReplacesTheHostFileOnlyWhenWholeAndRefusesBadReplies)
{
    const auto leftovers = [this] {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(::testing::TempDir()))
            if (entry.path().string().starts_with(path + ".")) found.push_back(entry.path());
        return found;
    };
    const auto fds = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const auto fdsBefore = fds();
    std::ofstream(path) << "old";
    const std::vector<std::pair<std::vector<Bytes>, ZUNA_ERROR>> refused = {
        {{Fragment(0, kFrag + 1, 6)}, ZUNA_E_CONNECTION},      {{Fragment(0, 64, 6, kHead + 63)}, ZUNA_E_CONNECTION},
        {{Fragment(0, 64, 6, kHead - 1)}, ZUNA_E_CONNECTION},  {{Fragment(0, 64, 6, kRecord, 1)}, ZUNA_E_CHECKSUM},
        {{Fragment(2, 3, 6)}, ZUNA_E_CONNECTION},  // the card answers fragment 2 to the request for 0
        {{Fragment(0, kFrag, 5), Fragment(0, 3, 6)}, ZUNA_E_CONNECTION}};
    for (const auto& [replies, status] : refused) {
        for (const Bytes& reply : replies) log.replies.push_back({0, MakeReply(0, reply)});
        EXPECT_EQ(status, client.DownloadFile("/c/f", path.c_str())) << replies.size();
        EXPECT_EQ(Bytes({'o', 'l', 'd'}), Host()) << "the host file as it was";
        EXPECT_TRUE(leftovers().empty()) << leftovers()[0];
        EXPECT_EQ(fdsBefore, fds()) << "the host file is closed";
    }
    log.replies.push_back({0, MakeReply(0, Fragment(0, kFrag, 5))});
    log.replies.push_back({0, MakeReply(0, Fragment(1, 3, 6))});
    ASSERT_EQ(ZUNA_E_SUCCESS, client.DownloadFile("/c/f", path.c_str()));
    EXPECT_EQ(Bytes(kFrag + 3, 0x5A), Host());
    EXPECT_TRUE(leftovers().empty());
}

TEST(CardFileStore, RefusesFragmentsPastItsSize)
{
    kelcard::CardModel card;
    kelcard::Session session = kelcard::HostInterfaceSession();
    auto send = [&](const char* name, uint16_t number) {
        Bytes rec = Fragment(number, kFrag, 6);
        std::copy(name, name + 2, rec.begin());
        const Bytes packet = zunatest::MakeRequest(0x060B, rec);
        return GetLe16(&card.HandlePacket(session, packet.data(), packet.size())[22]);
    };
    const Bytes deleteSdk = zunatest::MakeRequest(0x0200);  // the whole store free
    ASSERT_EQ(0, GetLe16(&card.HandlePacket(session, deleteSdk.data(), deleteSdk.size())[22]));
    EXPECT_EQ(0, send("/f", kelcard::kFileStoreLimit / kFrag - 1));
    EXPECT_EQ(18, send("/g", 0));
    EXPECT_EQ(0, send("/f", 0)) << "fragment 0 starts the file anew";
    EXPECT_EQ(0, send("/g", 0));
    EXPECT_EQ(Bytes(kFrag, 0x5A), card.StoredFile("/g"));
}

// Fragments in any order, over, inside and past what the file holds, make the file
// that writing each at number * 65536 makes (fragment 0 starting it anew, gaps zeros).
TEST(CardFileStore, FragmentsInAnyOrderMakeTheFile)
{
    const std::vector<std::vector<std::pair<uint16_t, uint32_t>>> orders = {  // {number, length}
        {{0, kFrag}, {1, kFrag}, {2, 100}},           {{0, 10}, {2, 5}},
        {{0, kFrag}, {2, kFrag}, {1, 7}},             {{0, kFrag}, {1, 10}, {1, kFrag}},
        {{0, kFrag}, {1, kFrag}, {0, 3}, {1, 20}},    {{0, 0}, {1, kFrag}}};
    for (const auto& order : orders) {
        kelcard::CardModel card;
        kelcard::Session session = kelcard::HostInterfaceSession();
        Bytes expected;
        unsigned char fill = 0;
        for (const auto& [number, length] : order) {
            Bytes rec = Fragment(number, length, 6);
            rec[0] = '/', rec[1] = 'f';
            std::fill(rec.begin() + kHead, rec.end(), ++fill);
            PutBe32(&rec[88], calc_cksum32(rec.data() + kHead, length));
            const Bytes packet = zunatest::MakeRequest(0x060B, rec);
            ASSERT_EQ(0, GetLe16(&card.HandlePacket(session, packet.data(), packet.size())[22]));
            if (number == 0) expected.clear();
            const std::size_t at = std::size_t{number} * kFrag;
            expected.resize(std::max(expected.size(), at + length));
            std::copy_n(rec.begin() + kHead, length, expected.begin() + static_cast<std::ptrdiff_t>(at));
        }
        EXPECT_EQ(expected, card.StoredFile("/f")) << "order " << &order - orders.data();
    }
}

}  // namespace
