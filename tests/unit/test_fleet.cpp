// A range of cards in one kelcard: the address range and each card's MAC address, the
// saved configuration as bytes (a card's state file) and its refusals, and the flash
// image the cards share until one writes a block.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "card_model.h"
#include "cksum.h"
#include "flashblk.h"
#include "kelcard_options.h"
#include "x9endian.h"
#include "zuna_packets.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Sends one request on the host interface (no login) and returns the reply's status and data.
std::pair<uint16_t, Bytes> Ask(kelcard::CardModel& card, uint16_t command, const Bytes& data = {})
{
    kelcard::Session session = kelcard::HostInterfaceSession();
    const Bytes request = zunatest::MakeRequest(command, data);
    const Bytes reply = card.HandlePacket(session, request.data(), request.size());
    if (reply.size() < 32) return {0xFFFF, {}};
    return {GetLe16(&reply[22]), Bytes(reply.begin() + 32, reply.end())};
}

void SetName(kelcard::CardModel& card, const std::string& name)
{
    Bytes field(256, 0);
    std::copy(name.begin(), name.end(), field.begin());
    ASSERT_EQ(0, Ask(card, 0x0906, field).first);
}

TEST(FleetOptions, AddressRangesAndMacs)
{
    struct Case {
        const char* address;
        std::size_t count;     // 0: refused
        const char* lastCard;  // CardAddress(count - 1)
    };
    const Case cases[] = {
        {"127.0.10.1-127.0.10.200", 200, "127.0.10.200"},
        {"127.0.10.250-127.0.11.5", 12, "127.0.11.5"},
        {"127.0.10.7-127.0.10.7", 1, "127.0.10.7"},
        {"127.0.0.1-127.0.4.0", 1024, "127.0.4.0"},
        {"127.0.0.1-127.0.4.1", 0, ""},   // 1025 addresses
        {"127.0.10.9-127.0.10.8", 0, ""},  // LAST before FIRST
        {"127.0.10.1-10.0.0.5", 0, ""},
        {"127.0.10.1-", 0, ""},
    };
    for (const Case& c : cases) {
        kelcard::ServeOptions options;
        std::string error;
        const bool parsed = kelcard::ParseServeOptions({"--address", c.address}, options, error);
        ASSERT_EQ(c.count != 0, parsed) << c.address << ": " << error;
        if (!parsed) continue;
        EXPECT_EQ(c.count, options.cardCount) << c.address;
        EXPECT_EQ(c.lastCard, kelcard::CardAddress(options, c.count - 1)) << c.address;
    }

    kelcard::ServeOptions options;
    EXPECT_EQ(kelcard::kDefaultMac, kelcard::CardMac(options, 0)) << "a single card keeps the default";
    EXPECT_EQ((std::array<uint8_t, 6>{0x00, 0x2A, 0x3B, 0x4C, 0x5E, 0x1C}), kelcard::CardMac(options, 0xFF));
    options.mac = std::array<uint8_t, 6>{1, 2, 3, 4, 0xFF, 0xFF};
    EXPECT_EQ((std::array<uint8_t, 6>{1, 2, 3, 4, 0x00, 0x01}), kelcard::CardMac(options, 2)) << "16 bits wrap";

    kelcard::RunOptions run;
    std::string error;
    EXPECT_FALSE(kelcard::ParseRunOptions({"--state-dir", "/tmp", "--", "true"}, run, error));
    EXPECT_TRUE(kelcard::ParseRunOptions({"--state-dir", "/tmp", "--serve", "127.0.0.1", "--", "true"}, run, error));
}

// What a card saves comes back whole in another card; the hook sees every save.
TEST(SavedConfig, SavedBytesGiveAnotherCardTheSameConfiguration)
{
    kelcard::CardModel card(std::vector<kelcard::Account>{{"ops", "secret"}});
    std::vector<Bytes> saves;
    card.SetConfigSavedHook([&](const Bytes& saved) { saves.push_back(saved); });
    SetName(card, "rack 7");
    EXPECT_TRUE(saves.empty()) << "setting is not saving";
    ASSERT_EQ(0, Ask(card, 0x0603).first);
    ASSERT_EQ(1u, saves.size());
    EXPECT_EQ(saves[0], card.SavedConfig());

    kelcard::CardModel other;
    std::string why;
    ASSERT_TRUE(other.LoadSavedConfig(saves[0], why)) << why;
    EXPECT_EQ("rack 7", other.CardName());
    EXPECT_EQ(saves[0], other.SavedConfig()) << "accounts and all other fields too";
    SetName(other, "changed");
    ASSERT_EQ(0, Ask(other, 0x0901).first);
    EXPECT_EQ("rack 7", other.CardName()) << "loaded as saved, not only as running";
}

// Each kind of damage is refused with its reason and leaves the card as it was.
TEST(SavedConfig, DamagedBytesAreRefused)
{
    kelcard::CardModel source;
    SetName(source, "source");
    ASSERT_EQ(0, Ask(source, 0x0603).first);
    const Bytes good = source.SavedConfig();
    const auto withCrc = [](Bytes b) {
        PutBe32(&b[16], calc_cksum32(b.data() + 20, b.size() - 20));
        return b;
    };
    struct Case {
        const char* name;
        Bytes bytes;
        const char* why;
    };
    Bytes magic = good, version = good, crc = good, flag = good, count = good, tooLong = good;
    magic[0] = 'X';
    PutBe32(&version[8], 2);
    crc.back() ^= 1;
    flag.back() = 2;  // the last field is a flag
    PutBe16(&count[20], 17);  // 17 accounts
    tooLong.resize(kelcard::kMaxSavedConfigBytes + 1);
    const Case cases[] = {
        {"Empty", {}, "not a card state file"},
        {"Magic", magic, "not a card state file"},
        {"Version", version, "version 2, not 1"},
        {"Truncated", Bytes(good.begin(), good.end() - 1), "its length does not match"},
        {"Checksum", crc, "bad checksum"},
        {"FlagOutOfRange", withCrc(flag), "its fields do not parse"},
        {"TooManyAccounts", withCrc(count), "its fields do not parse"},
        {"FieldsShort", withCrc([&] { Bytes b = good; b.resize(b.size() - 3); PutBe32(&b[12], b.size() - 20); return b; }()),
         "its fields do not parse"},
        {"TooLong", tooLong, "longer than 1048576 bytes"},
    };
    for (const Case& c : cases) {
        kelcard::CardModel card;
        SetName(card, "mine");
        std::string why;
        EXPECT_FALSE(card.LoadSavedConfig(c.bytes, why)) << c.name;
        EXPECT_EQ(c.why, why) << c.name;
        EXPECT_EQ("mine", card.CardName()) << c.name;
    }
}

// Cards read one starting image; a block written by one card is that card's alone.
TEST(FleetFlash, WrittenBlockBelongsToItsCard)
{
    kelcard::CardModel writer, reader;
    const auto block = [](kelcard::CardModel& card, uint32_t number) {
        Bytes request(FLASH_BLOCK_HEADER_LEN, 0);
        PutBe32(request.data(), number);
        const Bytes data = Ask(card, 0x0602, request).second;
        return data.size() > FLASH_BLOCK_HEADER_LEN ? Bytes(data.begin() + FLASH_BLOCK_HEADER_LEN, data.end()) : data;
    };
    const Bytes original = block(reader, 5);
    ASSERT_EQ(FLASH_BLOCK_LEN, original.size());
    Bytes write(sizeof(FLASH_BLOCK_RECORD), 0x5A);
    PutBe32(&write[0], 5);
    PutBe32(&write[4], calc_cksum32(&write[FLASH_BLOCK_HEADER_LEN], FLASH_BLOCK_LEN));
    PutBe16(&write[8], 0);
    ASSERT_EQ(0, Ask(writer, 0x0601, write).first);
    EXPECT_EQ(Bytes(FLASH_BLOCK_LEN, 0x5A), block(writer, 5));
    EXPECT_EQ(original, block(reader, 5));
    EXPECT_EQ(block(reader, 6), block(writer, 6)) << "blocks not written stay shared";
}

}  // namespace
