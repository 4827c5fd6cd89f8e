// File transfer in fragments: the client against a scripted medium (fragment counts,
// statuses, write positions, refused replies) and the card's file store.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "card_model.h"
#include "cksum.h"
#include "fake_medium.h"
#include "x9zunaifc.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr uint32_t kFrag = 65536;
constexpr std::size_t kHead = 92, kRecord = 65628;

// A fragment record in wire order, `size` bytes of it (the data after `kHead`).
Bytes Fragment(uint16_t number, uint32_t length, uint16_t status, const Bytes& data, std::size_t size = kRecord,
               bool rightCrc = true)
{
    Bytes rec(size, 0);
    std::copy(data.begin(), data.begin() + std::min(data.size(), size - kHead), rec.begin() + kHead);
    const uint32_t crc = calc_cksum32(data.data(), std::min<std::size_t>(data.size(), length));
    PutBe16(&rec[80], number);
    PutBe32(&rec[82], length);
    PutBe16(&rec[86], status);
    PutBe32(&rec[88], rightCrc ? crc : crc ^ 1);
    return rec;
}

Bytes Pattern(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(i * 7 + i / 251);
    return b;
}

int OpenFds()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr) ++n;
        closedir(d);
    }
    return n;
}

class FileTransferTest : public ::testing::Test {
protected:
    FileTransferTest() : client(std::make_unique<FakeMedium>(log)) {}
    ~FileTransferTest() override { std::remove(path.c_str()); }
    void Reply(uint16_t status, const Bytes& data = {}) { log.replies.push_back({0, MakeReply(status, data)}); }
    void WriteHost(const Bytes& content) { std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size())); }
    Bytes ReadHost() const
    {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    std::string path = ::testing::TempDir() + "file_transfer_" + std::to_string(getpid());
    FakeMediumLog log;
    CX9ZunaIfc client;
};

struct UploadCase {
    std::size_t size;
    std::vector<std::pair<uint32_t, uint16_t>> fragments;  // length and status of each
};

TEST_F(FileTransferTest, UploadSendsFragmentsByLength)
{
    const UploadCase cases[] = {
        {0, {{0, 5}}}, {100, {{100, 5}}}, {kFrag, {{kFrag, 6}}}, {kFrag + 1, {{kFrag, 6}, {1, 5}}}};
    for (const UploadCase& c : cases) {
        log.requests.clear();
        const Bytes content = Pattern(c.size);
        WriteHost(content);
        for (std::size_t i = 0; i < c.fragments.size(); ++i) Reply(0);
        ASSERT_EQ(ZUNA_E_SUCCESS, client.UploadFile(path.c_str(), "/etc/card.bin")) << c.size;
        ASSERT_EQ(c.fragments.size(), log.requests.size()) << c.size;
        for (std::size_t i = 0; i < c.fragments.size(); ++i) {
            const Bytes& req = log.requests[i];
            ASSERT_EQ(32 + kRecord, req.size());
            EXPECT_EQ(0x060B, GetLe16(&req[20]));
            EXPECT_STREQ("/etc/card.bin", reinterpret_cast<const char*>(&req[32]));
            EXPECT_EQ(i, GetBe16(&req[32 + 80]));
            EXPECT_EQ(c.fragments[i].first, GetBe32(&req[32 + 82]));
            EXPECT_EQ(c.fragments[i].second, GetBe16(&req[32 + 86]));
            EXPECT_EQ(calc_cksum32(content.data() + i * kFrag, c.fragments[i].first), GetBe32(&req[32 + 88]));
        }
    }
}

TEST_F(FileTransferTest, ReplysFragmentNumberDecidesWritePosition)
{
    Reply(0, Fragment(2, 3, 6, {'a', 'b', 'c'}));
    ASSERT_EQ(ZUNA_E_SUCCESS, client.DownloadFile("/f", path.c_str()));
    const Bytes got = ReadHost();
    ASSERT_EQ(2 * kFrag + 3, got.size());
    EXPECT_EQ('a', got[2 * kFrag]);
    ASSERT_EQ(1u, log.requests.size());
    EXPECT_EQ(32 + kHead, log.requests[0].size()) << "a download request carries the record without its data";
    EXPECT_EQ(5, GetBe16(&log.requests[0][32 + 86]));
}

TEST_F(FileTransferTest, DownloadOfFullAndPartialFragments)
{
    const Bytes content = Pattern(kFrag + 1);
    Reply(0, Fragment(0, kFrag, 5, Bytes(content.begin(), content.begin() + kFrag)));
    Reply(0, Fragment(1, 1, 6, {content.back()}));
    ASSERT_EQ(ZUNA_E_SUCCESS, client.DownloadFile("/f", path.c_str()));
    EXPECT_EQ(content, ReadHost());
    EXPECT_EQ(1, GetBe16(&log.requests[1][32 + 80]));
}

struct RefusedReply {
    const char* name;
    Bytes record;
    int rc;  // the medium's result
    ZUNA_ERROR expected;
};

TEST_F(FileTransferTest, RefusedRepliesEndTheDownloadWithTheFileClosed)
{
    const Bytes data = Pattern(64);
    const RefusedReply cases[] = {
        {"length over 65536", Fragment(0, kFrag + 1, 6, data), 0, ZUNA_E_CONNECTION},
        {"data past the reply", Fragment(0, 64, 6, data, kHead + 63), 0, ZUNA_E_CONNECTION},
        {"shorter than the record head", Bytes(kHead - 1, 0), 0, ZUNA_E_CONNECTION},
        {"crc mismatch", Fragment(0, 64, 6, data, kRecord, false), 0, ZUNA_E_CHECKSUM},
        {"card vanished", {}, 5, ZUNA_E_CONNECTION},
    };
    const int fdsBefore = OpenFds();
    for (const RefusedReply& c : cases) {
        log.replies.push_back({c.rc, MakeReply(0, c.record)});
        EXPECT_EQ(c.expected, client.DownloadFile("/f", path.c_str())) << c.name;
        EXPECT_EQ(fdsBefore, OpenFds()) << c.name;
    }
    Reply(ZUNA_E_NFILE);
    EXPECT_EQ(ZUNA_E_GENERAL, client.DownloadFile("/f", path.c_str())) << "the card's refusal";
}

TEST_F(FileTransferTest, LongCardPathAndMidUploadFailures)
{
    WriteHost(Pattern(3 * kFrag));
    const std::string longPath(80, 'p');
    EXPECT_EQ(ZUNA_E_INVALID, client.UploadFile(path.c_str(), longPath.c_str()));
    EXPECT_EQ(ZUNA_E_INVALID, client.DownloadFile(longPath.c_str(), path.c_str()));
    EXPECT_TRUE(log.requests.empty());
    EXPECT_EQ(ZUNA_E_FILEOPEN, client.UploadFile("/nonexistent/x", "/f"));

    Reply(0);
    log.replies.push_back({7, {}});
    EXPECT_EQ(ZUNA_E_CONNECTION, client.UploadFile(path.c_str(), std::string(79, 'p').c_str()));
    EXPECT_EQ(2u, log.requests.size());
    Reply(ZUNA_E_CHECKSUM);
    EXPECT_EQ(ZUNA_E_GENERAL, client.UploadFile(path.c_str(), "/f"));
}

// ---- The card's file store ---------------------------------------------------------------

class CardFileTest : public ::testing::Test {
protected:
    CardFileTest() { session.requireLogin = false; }
    // The reply's status and data.
    std::pair<uint16_t, Bytes> Send(uint16_t command, const Bytes& data)
    {
        const Bytes packet = zunatest::MakeRequest(command, data);
        const Bytes reply = card.HandlePacket(session, packet.data(), packet.size());
        if (reply.size() < 32) return {0xFFFF, {}};
        return {GetLe16(&reply[22]), Bytes(reply.begin() + 32, reply.end())};
    }
    Bytes Named(Bytes rec, const char* name = "/f")
    {
        std::copy(name, name + std::strlen(name), rec.begin());
        return rec;
    }

    kelcard::CardModel card;
    kelcard::Session session;
};

TEST_F(CardFileTest, StoresFragmentsAndAnswersThemBack)
{
    const Bytes content = Pattern(kFrag + 5);
    EXPECT_EQ(0, Send(0x060B, Named(Fragment(0, kFrag, 6, content))).first);
    EXPECT_EQ(0, Send(0x060B, Named(Fragment(1, 5, 5, Bytes(content.begin() + kFrag, content.end())))).first);
    EXPECT_EQ(content, card.StoredFile("/f"));
    const auto [status, rec] = Send(0x060A, Named(Bytes(kHead, 0)));
    ASSERT_EQ(0, status);
    ASSERT_EQ(kRecord, rec.size());
    EXPECT_EQ(Named(Fragment(0, kFrag, 5, content)), rec);
    EXPECT_EQ(6, GetBe16(&Send(0x060A, Named(Fragment(1, 0, 5, {}, kHead))).second[86]));
    EXPECT_EQ(34, Send(0x060B, Named(Fragment(0, 5, 5, content, kRecord, false))).first);
    EXPECT_EQ(23, Send(0x060A, Named(Bytes(kHead, 0), "/none")).first);
    EXPECT_EQ(28, Send(0x060B, Named(Fragment(0, kFrag + 1, 5, {}))).first);
}

TEST_F(CardFileTest, StoreIsBoundedAndFaultsAreInjected)
{
    const Bytes full(kFrag, 1);
    const uint16_t last = kelcard::kFileStoreLimit / kFrag;
    EXPECT_EQ(0, Send(0x060B, Named(Fragment(last - 1, kFrag, 6, full))).first);
    EXPECT_EQ(18, Send(0x060B, Named(Fragment(last, 1, 5, full))).first);
    EXPECT_EQ(18, Send(0x060B, Named(Fragment(0, 1, 5, full), "/g")).first);
    EXPECT_EQ(0, Send(0x060B, Named(Fragment(0, 1, 5, full))).first) << "fragment 0 starts the file anew";
    EXPECT_EQ(0, Send(0x060B, Named(Fragment(0, 1, 5, full), "/g")).first);

    card.InjectUploadCrcError(1);
    card.InjectDownloadCrcError(0);
    card.VanishAfterFragments(7);
    EXPECT_EQ(34, Send(0x060B, Named(Fragment(1, 1, 5, full))).first);
    const Bytes rec = Send(0x060A, Named(Bytes(kHead, 0))).second;
    EXPECT_NE(calc_cksum32(&rec[kHead], 1), GetBe32(&rec[88]));
    EXPECT_EQ(0xFFFF, Send(0x060A, Named(Bytes(kHead, 0))).first) << "the card has vanished";
    EXPECT_TRUE(session.dropWithoutReply);
}

}  // namespace
