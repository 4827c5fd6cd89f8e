// Writes the seed inputs of the fuzz targets for what a card sends: the card model
// answers the client's requests and its replies are written in each target's input
// form, into DIR/<target>/<name>. To make them again (from the default build):
//   build/default/tests/make_fuzz_seeds tests/fuzz/corpus
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "card_model.h"
#include "card_record_queries.h"
#include "hostifc.h"
#include "imgbuild.h"
#include "imgver.h"
#include "scripted_replies.h"
#include "x9endian.h"
#include "x9zunaifc.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A medium whose card is the model: each request is answered by it, and each reply is
// kept in turn.
class ModelMedium : public CX9ZunaMedium {
public:
    ModelMedium(kelcard::CardModel& card, kelcard::Session session) : m_card(card), m_session(session) {}
    int IssueZUNACommand(char* sendBuf, unsigned long* recvLen, char* recvBuf, unsigned long) override
    {
        const auto* packet = reinterpret_cast<const uint8_t*>(sendBuf);
        const Bytes reply =
            m_card.HandlePacket(m_session, packet, ZUNA_HEADER_LEN + GetLe32(packet + offsetof(ZUNA_HEADER, dwDataLen)));
        if (reply.empty() || reply.size() > ZUNA_MAX_PACKET_LEN) return 1;
        std::memcpy(recvBuf, reply.data(), reply.size());
        *recvLen = reply.size();
        replies->push_back(reply);
        return 0;
    }
    int Connect() override { return 0; }
    int Disconnect() override { return 0; }

    std::vector<Bytes>* replies = nullptr;

private:
    kelcard::CardModel& m_card;
    kelcard::Session m_session;
};

// A client of the model that keeps the replies of what `run` asks.
template <typename Run>
std::vector<Bytes> Replies(kelcard::CardModel& card, kelcard::Session session, Run run)
{
    std::vector<Bytes> replies;
    auto medium = std::make_unique<ModelMedium>(card, session);
    medium->replies = &replies;
    CX9ZunaIfc client(std::move(medium));
    client.resetWaitMicros = 0;
    run(client);
    return replies;
}

Bytes DataOf(const Bytes& packet)
{
    return Bytes(packet.begin() + ZUNA_HEADER_LEN, packet.end());
}

Bytes Script(const std::vector<Bytes>& replies)
{
    Bytes script;
    for (const Bytes& reply : replies) AppendScriptedReply(script, kScriptSeedFlags, reply.data(), reply.size());
    return script;
}

Bytes Join(Bytes head, const Bytes& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

class SeedWriter {
public:
    explicit SeedWriter(std::filesystem::path dir) : m_dir(std::move(dir)) {}
    void Write(const char* target, const std::string& name, const Bytes& bytes)
    {
        const std::filesystem::path dir = m_dir / target;
        std::filesystem::create_directories(dir);
        std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) ok = false;
    }
    bool ok = true;

private:
    std::filesystem::path m_dir;
};

// The mailbox's blocks for one reply of `data`: the command block done with that
// reply length, the data's blocks, the command block read again.
Bytes MailboxBlocks(const Bytes& data)
{
    CONFIG_CMD block{};
    std::memcpy(block.BeginSig, X9CD_BEGIN_SIG, sizeof(block.BeginSig));
    block.EndSig[0] = X9CD_END_SIG[0];
    block.EndSig[1] = X9CD_END_SIG[1];
    block.Status = HostToLe16(X9CD_STATUS_SUCCESS);
    block.DataOutLen = HostToLe32(static_cast<uint32_t>(data.size()));
    const auto* raw = reinterpret_cast<const uint8_t*>(&block);
    Bytes blocks(raw, raw + sizeof(block));
    Bytes padded = data;
    padded.resize((data.size() + X9CD_BLOCK_SIZE - 1) / X9CD_BLOCK_SIZE * X9CD_BLOCK_SIZE, 0);
    blocks.insert(blocks.end(), padded.begin(), padded.end());
    blocks.insert(blocks.end(), raw, raw + sizeof(block));
    return blocks;
}

Bytes Le16(unsigned value)
{
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
        return 2;
    }
    SeedWriter seeds(argv[1]);
    kelcard::CardModel card;
    card.SetClockSource([] { return int64_t{1600000000}; });
    card.AddSelRecordAt(1600000000, 0x0102, 2, "fan failed");
    const kelcard::Session host = kelcard::HostInterfaceSession();
    kelcard::Session network;

    // The record queries, one seed each, and their replies joined as a stream.
    Bytes stream;
    for (std::size_t i = 0; i < cardrecords::kRecordQueryCount; ++i) {
        const cardrecords::RecordQuery& query = cardrecords::kRecordQueries[i];
        const std::vector<Bytes> replies =
            Replies(card, host, [&](CX9ZunaIfc& client) { query.run(client, [](bool, ZUNA_ERROR) {}); });
        seeds.Write("fuzz_card_records", query.name, Join({static_cast<uint8_t>(i)}, Script(replies)));
        if (i < 4)
            for (const Bytes& reply : replies) stream = Join(stream, reply);
    }

    // The event-log listings: the log's state, then each record (the first byte picks
    // -listAll, -listAllEx or -selInfo). The record queries above cleared the log.
    card.AddSelRecordAt(1600000100, 0x0301, 8, "power supply \x1b[2J lost");
    card.AddSelRecordAt(1600000200, 0x0102, 1);
    for (uint8_t listing = 0; listing < 3; ++listing) {
        const std::vector<Bytes> replies = Replies(card, host, [&](CX9ZunaIfc& client) {
            SEL_STATE_INFO_TAG info{};
            client.GetSelInfo(&info);
            for (uint16_t n = 1; listing < 2 && n <= info.no_of_records && n <= 3; ++n) {
                DUVX9_SEL_RECORD_TAG rec{};
                EVENT_RECORD_EXT_tag ext{};
                rec.record_no = ext.record_no = n;
                if (listing == 0) client.GetSelRecord(&rec);
                if (listing == 1) client.GetSelRecordEx(&ext);
            }
        });
        static const char* const names[] = {"list_all", "list_all_ex", "sel_info"};
        seeds.Write("fuzz_sel_listing", names[listing], Join({listing}, Script(replies)));
    }

    // A card name query, then a login: the name's reply, the challenge, the digest's answer.
    const Bytes name = Replies(card, host, [](CX9ZunaIfc& client) {
        char text[CARD_NAME_LEN];
        client.GetCardName(text);
    })[0];
    const std::vector<Bytes> login = Replies(card, network, [](CX9ZunaIfc& client) {
        client.ZunaLogin(kelcard::kDefaultUser, kelcard::kDefaultPassword);
    });
    const Bytes nameThenLogin = Script({name, login[0], login[1]});
    seeds.Write("fuzz_reply_header", "name_then_login", Join(Le16(CARD_NAME_LEN), nameThenLogin));
    seeds.Write("fuzz_reply_header", "short_buffer", Join(Le16(16), nameThenLogin));

    // The same replies as a TCP stream, read whole, in small pieces, and cut off.
    const Bytes tcp = Join(Join(login[0], login[1]), stream);
    seeds.Write("fuzz_network_medium", "whole", Join({0x00}, tcp));
    seeds.Write("fuzz_network_medium", "pieces_silent", Join({(7 << 2) | 1}, tcp));
    seeds.Write("fuzz_network_medium", "card_framer", Join({0x02}, tcp));
    seeds.Write("fuzz_network_medium", "cut_short", Join({(3 << 2) | 1}, Bytes(tcp.begin(), tcp.end() - 5)));

    // The mailbox: a card name reply, raw and through the client, and a heartbeat.
    seeds.Write("fuzz_mailbox", "raw", Join(Join({0}, Le16(ZUNA_MAX_PACKET_LEN & 0xFFFF)), MailboxBlocks(name)));
    seeds.Write("fuzz_mailbox", "client", Join(Join({1}, Le16(0)), MailboxBlocks(name)));
    seeds.Write("fuzz_mailbox", "heartbeat", Join(Join({2}, Le16(0)), MailboxBlocks({30, 0, 0, 0})));

    // The user lists (the first byte is the table's size).
    Replies(card, host, [](CX9ZunaIfc& client) {
        client.AddNewUser("operator", "secret-1");
        ZUNA_API_SNMP_USER_REC snmp{};
        std::strcpy(snmp.name, "monitor");
        std::strcpy(snmp.authPro, "MD5");
        std::strcpy(snmp.privPro, "DES");
        std::strcpy(snmp.pass, "secret-2");
        client.AddSNMPUser(&snmp);
    });
    char names[16][USER_TEXT_LEN];
    ZUNA_API_USER_REC users[16];
    ZUNA_API_SNMP_USER_REC snmpUsers[16];
    int count = 0;
    const Bytes nameList = Replies(card, host, [&](CX9ZunaIfc& c) { c.GetAllUsernames(names, 16, &count); })[0];
    const Bytes userList = Replies(card, host, [&](CX9ZunaIfc& c) { c.GetAllUsernamePassword(users, 16, &count); })[0];
    const Bytes snmpList = Replies(card, host, [&](CX9ZunaIfc& c) { c.GetAllSNMPUserInfo(snmpUsers, 16, &count); })[0];
    seeds.Write("fuzz_user_lists", "names", Join({16}, DataOf(nameList)));
    seeds.Write("fuzz_user_lists", "users", Join({16}, DataOf(userList)));
    seeds.Write("fuzz_user_lists", "snmp_users_small_table", Join({1}, DataOf(snmpList)));

    // An alert recipient's pairs, as texts.
    const std::vector<Bytes> recipient = Replies(card, host, [](CX9ZunaIfc& client) {
        ALERT_RECEP_INFO_tag info{};
        info.arId = 1;
        std::strcpy(info.emailId, "ops@example.org");
        client.SetAlertRecpData(&info);
        client.GetAlertRecpData(&info);
    });
    const Bytes pairs = DataOf(recipient[1]);
    Bytes texts{static_cast<uint8_t>(pairs.size() / sizeof(NAME_VALUE_PAIR)), 0};
    for (std::size_t half = 0; half < pairs.size() / NV_TEXT_LEN; ++half) {
        const char* text = reinterpret_cast<const char*>(pairs.data()) + half * NV_TEXT_LEN;
        texts.insert(texts.end(), text, text + FieldTextLength(text, NV_TEXT_LEN));
        texts.push_back('\n');
    }
    seeds.Write("fuzz_name_value", "recipient", texts);
    texts[1] = 0x80 | 40;
    seeds.Write("fuzz_name_value", "recipient_cut", texts);

    // The sensor tree of the card's SDK.
    const std::vector<Bytes> sensors = Replies(card, host, [](CX9ZunaIfc& client) {
        std::vector<unsigned char> tree(SDK_SENSOR_BUFFER_LEN);
        client.ReadSensors(tree.data(), static_cast<uint32_t>(tree.size()));
    });
    seeds.Write("fuzz_sensor_tree", "card_sdk", DataOf(sensors[0]));

    // A file's first and only fragment (checksum and CRC made right by the first byte).
    const std::vector<Bytes> file = Replies(card, host, [](CX9ZunaIfc& client) {
        auto rec = std::make_unique<FILE_API_RECORD>();
        std::strcpy(rec->filename, "/c/notes.txt");
        const char text[] = "the card's notes\n";
        rec->dataLength = sizeof(text) - 1;
        rec->status = 6;
        std::memcpy(rec->fileData, text, sizeof(text) - 1);
        rec->checkSum = CX9ZunaIfc::CalculateCrc32(rec->fileData, rec->dataLength);
        client.SendFileFragment(rec.get());
        std::memset(rec.get(), 0, FILE_API_HEADER_LEN);
        std::strcpy(rec->filename, "/c/notes.txt");
        client.GetFileFragment(rec.get());
    });
    // Only the data the fragment holds (the card sends the whole record), the
    // length in the header to match; bits 0 and 1 make the checksum and CRC right.
    Bytes fragment = file[1];
    fragment.resize(ZUNA_HEADER_LEN + FILE_API_HEADER_LEN + GetBe32(fragment.data() + ZUNA_HEADER_LEN + 82));
    PutLe32(fragment.data() + offsetof(ZUNA_HEADER, dwDataLen), static_cast<uint32_t>(fragment.size() - ZUNA_HEADER_LEN));
    seeds.Write("fuzz_file_fragments", "fragment", Join({3}, fragment));
    seeds.Write("fuzz_file_fragments", "send", Join({7}, file[0]));

    // Flash: the configuration module's place, and block 0's first bytes stretched to
    // a whole record (bits 1 to 3: CRC, number and length made right).
    const std::vector<Bytes> flash = Replies(card, host, [](CX9ZunaIfc& client) {
        FLASH_MODULE_INFO info{};
        std::memcpy(info.modName, "$$CONF$$", sizeof(info.modName));
        client.ModuleGetNumBlocks(&info);
        auto block = std::make_unique<FLASH_BLOCK_RECORD>();
        client.ReadBlock(block.get());
    });
    seeds.Write("fuzz_flash_blocks", "config_place", Join({1, 1}, flash[0]));
    seeds.Write("fuzz_flash_blocks", "block0", Join({0, 0x8F}, Bytes(flash[1].begin(), flash[1].begin() + 96)));
    seeds.Write("fuzz_flash_blocks", "boot_compare", Join({2, 0x8F}, Bytes(flash[1].begin(), flash[1].begin() + 96)));

    // The image search: the first 64 bytes of the image's first four blocks.
    const std::vector<unsigned char> image = BuildFirmwareImage();
    Bytes pieces{0};
    for (std::size_t block = 0; block < 4; ++block)
        pieces.insert(pieces.end(), image.begin() + block * IMG_BLOCK_SIZE, image.begin() + block * IMG_BLOCK_SIZE + 64);
    seeds.Write("fuzz_image", "block_starts", pieces);

    // The kernel's device list with the card's drive after a disk.
    const std::string listing =
        "Attached devices: \n"
        "Host: scsi0 Channel: 00 Id: 00 Lun: 00\n  Vendor: ATA      Model: VIRTUAL DISK     Rev: 1.00\n"
        "  Type:   Direct-Access                    ANSI  SCSI revision: 05\n"
        "Host: scsi1 Channel: 00 Id: 00 Lun: 00\n  Vendor: TAV      Model: Virtual CDROM    Rev: 1.00\n"
        "  Type:   CD-ROM                           ANSI  SCSI revision: 05\n";
    seeds.Write("fuzz_scsi_probe", "disk_and_card", Bytes(listing.begin(), listing.end()));
    return seeds.ok ? 0 : 1;
}
