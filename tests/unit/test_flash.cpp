// Flash blocks and module locations: the client against a scripted medium, and the
// card's flash and its own headers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>

#include "card_model.h"
#include "fake_medium.h"
#include "filecloser.h"
#include "imgbuild.h"
#include "x9zunaifc.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr uint32_t kBlock = 65536, kRecord = 65546;

// A block record in wire order for block `n`, data 0x5A, cut to `size`; `crcFlip` spoils its CRC.
Bytes BlockRecord(uint32_t n, std::size_t size = kRecord, uint32_t crcFlip = 0)
{
    Bytes rec(kRecord, 0x5A);
    PutBe32(&rec[0], n), PutBe32(&rec[4], calc_cksum32(&rec[10], kBlock) ^ crcFlip), PutBe16(&rec[8], 0);
    rec.resize(size);
    return rec;
}

TEST(FlashClient, BlocksCarryTheirCrcAndRepliesOfAnotherSizeOrBlockAreRefused)
{
    FakeMediumLog log;
    CX9ZunaIfc client(std::make_unique<FakeMedium>(log));
    auto rec = std::make_unique<FLASH_BLOCK_RECORD>();
    std::fill_n(rec->flashData, kBlock, 0x5A);
    rec->blockNum = 3;
    log.replies.push_back({0, MakeReply(0, {})});
    ASSERT_EQ(ZUNA_E_SUCCESS, client.WriteBlock(rec.get()));
    EXPECT_EQ(Bytes(BlockRecord(3)), Bytes(log.requests[0].begin() + 32, log.requests[0].end()));
    EXPECT_EQ(3u, rec->blockNum) << "the record stays in host order";
    EXPECT_EQ(calc_cksum32(rec->flashData, kBlock), rec->checkSum);
    // A read fills the record in host order on success; after a failure it holds what
    // the caller gave (block 3, checkSum 0, data 0x11).
    const std::vector<std::pair<Bytes, ZUNA_ERROR>> reads = {
        {BlockRecord(3), ZUNA_E_SUCCESS},          {BlockRecord(3, kRecord, 1), ZUNA_E_CHECKSUM},
        {BlockRecord(3, kRecord - 1), ZUNA_E_CONNECTION}, {BlockRecord(4), ZUNA_E_CONNECTION}};
    for (const auto& [reply, status] : reads) {
        log.replies.push_back({0, MakeReply(0, reply)});
        rec->blockNum = 3, rec->checkSum = 0;
        std::fill_n(rec->flashData, kBlock, 0x11);
        EXPECT_EQ(status, client.ReadBlock(rec.get())) << reply.size();
        EXPECT_EQ(32u + 10u, log.requests.back().size()) << "a read request carries 10 bytes";
        const bool ok = status == ZUNA_E_SUCCESS;
        EXPECT_EQ(3u, rec->blockNum);
        EXPECT_EQ(ok ? GetBe32(&reply[4]) : 0u, rec->checkSum) << reply.size();
        EXPECT_EQ(ok ? 0x5A : 0x11, rec->flashData[kBlock - 1]) << reply.size();
    }
    rec->blockNum = 64;
    EXPECT_EQ(ZUNA_E_INVALID, client.WriteBlock(rec.get()));
    EXPECT_EQ(5u, log.requests.size()) << "block 64 is not asked for";
    for (const auto& [count, status] : {std::pair{4, ZUNA_E_SUCCESS}, {5, ZUNA_E_CONNECTION}, {0, ZUNA_E_CONNECTION}}) {
        Bytes info(26, 0);
        PutBe16(&info[20], 60), PutBe16(&info[22], uint16_t(count));
        log.replies.push_back({0, MakeReply(0, info)});
        FLASH_MODULE_INFO got{};
        got.numBlocks = 9;
        EXPECT_EQ(status, client.ModuleGetNumBlocks(&got)) << "blocks 60 + " << count;
        EXPECT_EQ(status == ZUNA_E_SUCCESS ? count : 9, got.numBlocks) << "host order, or as given when refused";
    }
    // A configuration module of no block, or one whose second block fails: no file made.
    const std::string file = ::testing::TempDir() + "flash_config_" + std::to_string(::getpid());
    Bytes info(26, 0);
    PutBe16(&info[20], 1);
    log.replies.push_back({0, MakeReply(0, info)});
    PutBe16(&info[22], 2);
    log.replies.insert(log.replies.end(), {{0, MakeReply(0, info)}, {0, MakeReply(0, BlockRecord(1))}, {0, MakeReply(5, {})}});
    EXPECT_EQ(ZUNA_E_CONNECTION, client.ConfigGetFile(file.c_str()));
    EXPECT_EQ(ZUNA_E_GENERAL, client.ConfigGetFile(file.c_str()));
    EXPECT_TRUE(std::none_of(std::filesystem::directory_iterator(::testing::TempDir()), {},
                             [&](const auto& entry) { return entry.path().string().starts_with(file); }));
}

// Each loop reports every block it takes up, with the image's or module's counts, and
// stops at a failed block: the card's own status, or the host file's short read (21).
TEST(FlashClient, BlockLoopsReportEachBlockAndStopAtAFailedOne)
{
    using Calls = std::vector<std::pair<unsigned, unsigned>>;
    using Loop = std::function<BlockLoopResult(CX9ZunaIfc&, const BlockProgress&)>;
    FLASH_MODULE_INFO module{};
    module.blockStart = 60, module.numBlocks = 3;
    Bytes image(kBlock * 3 / 2, 0x5A), located(26, 0), config;
    PutBe16(&located[20], 1), PutBe16(&located[22], 2);
    const std::tuple<std::vector<Bytes>, Loop, std::pair<int, bool>, std::vector<uint32_t>, Calls> cases[] = {
        {{MakeReply(0, {}), MakeReply(5, {})},
         [&](auto& c, auto& p) { return BlockLoopResult{c.WriteModuleBlocks(module, Bytes(3 * kBlock), p)}; },
         {5, false}, {60, 61}, {{0, 3}, {1, 3}}},
        {{MakeReply(0, BlockRecord(0)), MakeReply(0, BlockRecord(1)), MakeReply(9, {})},
         [](auto& c, auto& p) { return c.ReadImageBlocks(HostFile(std::tmpfile()).get(), p); },
         {9, false}, {0, 1, 2}, {{0, 64}, {1, 64}}},
        {{MakeReply(0, {}), MakeReply(0, {})},
         [&](auto& c, auto& p) {
             return c.WriteImageBlocks(HostFile(fmemopen(image.data(), image.size(), "r")).get(), 62, p);
         },
         {ZUNA_E_IO, true}, {62}, {{62, 64}}},
        {{MakeReply(0, located), MakeReply(0, BlockRecord(1)), MakeReply(0, BlockRecord(2))},
         [&](auto& c, auto& p) { return BlockLoopResult{c.ConfigGetBuffer(config, p)}; },
         {0, false}, {1, 2}, {{0, 2}, {1, 2}}},
    };
    for (const auto& [replies, loop, result, blocks, calls] : cases) {
        FakeMediumLog log;
        CX9ZunaIfc client(std::make_unique<FakeMedium>(log));
        for (const Bytes& reply : replies) log.replies.push_back({0, reply});
        Calls called;
        const BlockLoopResult got = loop(client, [&](unsigned done, unsigned all) { called.emplace_back(done, all); });
        EXPECT_EQ(result, std::pair(int{got.status}, got.hostFile));
        std::vector<uint32_t> asked;  // the blocks asked for, in order
        for (const Bytes& request : log.requests)
            if (GetLe16(&request[20]) != 0x0605) asked.push_back(GetBe32(&request[32]));
        EXPECT_EQ(blocks, asked);
        EXPECT_EQ(calls, called);
    }
}

TEST(CardFlash, LocatesModulesFromItsOwnHeadersAndChecksBlockCrcs)
{
    kelcard::CardModel card;
    kelcard::Session session = kelcard::HostInterfaceSession();
    auto exchange = [&](uint16_t command, const Bytes& data) {
        const Bytes packet = zunatest::MakeRequest(command, data);
        return card.HandlePacket(session, packet.data(), packet.size());
    };
    for (const IMG_LAYOUT_TAG& module : kImageLayout) {
        Bytes info(26, 0);
        std::copy_n(kFlashModules[module.module].signature, 8, info.begin());
        const Bytes reply = exchange(0x0605, info);
        ASSERT_EQ(0, GetLe16(&reply[22])) << module.module;
        EXPECT_EQ(std::pair(module.firstBlock, module.numBlocks),
                  std::pair(unsigned{GetBe16(&reply[52])}, unsigned{GetBe16(&reply[54])}));
    }
    EXPECT_EQ(ZUNA_E_NOEXIST, GetLe16(&exchange(0x0605, Bytes(26, 'x'))[22]));
    Bytes block = BlockRecord(5);
    EXPECT_EQ(0, GetLe16(&exchange(0x0601, block)[22]));
    block[20] ^= 1;
    EXPECT_EQ(ZUNA_E_CHECKSUM, GetLe16(&exchange(0x0601, block)[22])) << "data that does not match its CRC";
    const Bytes read = exchange(0x0602, Bytes(block.begin(), block.begin() + 10));
    EXPECT_EQ(BlockRecord(5), Bytes(read.begin() + 32, read.end())) << "the block as written, with its CRC";
}

}  // namespace
