// The host-interface mailbox against a fake drive, the vendor CDBs and the probe.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "fake_medium.h"
#include "block_host.h"
#include "scsi.h"
#include "x9cdhost.h"
#include "x9cdhostLinux.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct BlockOp {
    char op;  // 'R' or 'W'
    char sector;
};

// A drive whose card answers after `busyReadings` busy polls with `status` and `reply`.
class FakeDrive : public BlockHost {
public:

    int WriteCD(char sector, char* buffer) override
    {
        ops.push_back({'W', sector});
        if (failWrites) return -1;
        if (sector == X9CD_CMD_SECTOR)
            std::memcpy(&command, buffer, sizeof(command));
        else
            dataIn.insert(dataIn.end(), buffer, buffer + X9CD_BLOCK_SIZE);
        return 0;
    }
    int ReadCD(char sector, char* buffer) override
    {
        ops.push_back({'R', sector});
        if (sector == X9CD_CMD_SECTOR) {
            CONFIG_CMD answer = command;
            answer.Status = busyReadings != 0 ? X9CD_STATUS_BUSY : status;
            if (busyReadings > 0) --busyReadings;
            answer.DataOutLen = static_cast<uint32_t>(reply.size());
            std::memcpy(buffer, &answer, sizeof(answer));
        } else {
            std::memset(buffer, 0, X9CD_BLOCK_SIZE);
            const std::size_t n = std::min<std::size_t>(X9CD_BLOCK_SIZE, reply.size() - replyPos);
            std::memcpy(buffer, reply.data() + replyPos, n);
            replyPos += n;
        }
        return 0;
    }

    int Count(char op, char sector) const
    {
        int n = 0;
        for (const BlockOp& o : ops) n += (o.op == op && o.sector == sector);
        return n;
    }

    static constexpr int kForever = -1;
    CONFIG_CMD command{};
    Bytes dataIn;
    Bytes reply;
    std::size_t replyPos = 0;
    uint16_t status = 0;
    int busyReadings = 0;
    bool failWrites = false;
    std::vector<BlockOp> ops;
};

Bytes Request(std::size_t totalLen)
{
    return MakeReply(0, Bytes(totalLen - 32, 0x33));
}

TEST(Mailbox, RequestsGoOutInWholeBlocks)
{
    for (const auto& [length, blocks] : {std::pair<std::size_t, int>{32, 1}, {512, 1}, {513, 2}, {66560, 130}}) {
        FakeDrive drive;
        drive.reply = MakeReply(0, {});
        Bytes request = Request(length);
        Bytes replyBuf(ZUNA_MAX_PACKET_LEN);
        unsigned long recvLen = 0;
        EXPECT_EQ(drive.IssueZUNACommand(reinterpret_cast<char*>(request.data()), &recvLen,
                                         reinterpret_cast<char*>(replyBuf.data()), 0),
                  0);
        EXPECT_EQ(drive.Count('W', X9CD_DATA_SECTOR), blocks) << length;
        EXPECT_EQ(Bytes(drive.dataIn.begin(), drive.dataIn.begin() + length), request);
        EXPECT_EQ(recvLen, 32u);
        // The command block as the card saw it.
        EXPECT_EQ(std::memcmp(drive.command.BeginSig, "$X9-CONFIG-HOST$", 16), 0);
        EXPECT_EQ(drive.command.Command, 0);
        EXPECT_EQ(drive.command.DataInLen, length);
        EXPECT_EQ(drive.command.EndSig[0], 0x55);
        EXPECT_EQ(drive.command.EndSig[1], 0xAA);
    }
}

TEST(Mailbox, ReplyIsReadBackWithAFinalCommandBlockRead)
{
    FakeDrive drive;
    drive.reply = MakeReply(0, Bytes(600, 0x44));
    Bytes request = Request(32);
    Bytes replyBuf(ZUNA_MAX_PACKET_LEN);
    unsigned long recvLen = 0;
    ASSERT_EQ(drive.IssueZUNACommand(reinterpret_cast<char*>(request.data()), &recvLen,
                                     reinterpret_cast<char*>(replyBuf.data()), 0),
              0);
    EXPECT_EQ(recvLen, 632u);
    EXPECT_EQ(Bytes(replyBuf.begin(), replyBuf.begin() + 632), drive.reply);
    EXPECT_EQ(drive.Count('R', X9CD_DATA_SECTOR), 2);
    EXPECT_EQ(drive.Count('R', X9CD_CMD_SECTOR), 2);  // the poll and the final re-read

    // No reply data: no data block read, but the command block is read again.
    FakeDrive empty;
    unsigned long len = 0;
    char one[X9CD_BLOCK_SIZE];
    EXPECT_EQ(empty.IssueX9Command(0, 4, &len, one, one, 0, sizeof(one)), 0);
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(empty.Count('R', X9CD_DATA_SECTOR), 0);
    EXPECT_EQ(empty.Count('R', X9CD_CMD_SECTOR), 2);
}

TEST(Mailbox, CardStatusFailuresLeaveTheLengthUntouched)
{
    for (uint16_t status : {1, 2, 3, 77}) {
        FakeDrive drive;
        drive.status = status;
        drive.reply = MakeReply(0, {1, 2});
        Bytes request = Request(32);
        Bytes replyBuf(ZUNA_MAX_PACKET_LEN);
        unsigned long recvLen = 1234;
        EXPECT_EQ(drive.IssueZUNACommand(reinterpret_cast<char*>(request.data()), &recvLen,
                                         reinterpret_cast<char*>(replyBuf.data()), 0),
                  1)
            << status;
        EXPECT_EQ(recvLen, 1234u);
        EXPECT_EQ(drive.Count('R', X9CD_DATA_SECTOR), 0);
        // The caller's value travelled to the card as the expected reply length.
        EXPECT_EQ(drive.command.DataOutLen, 1234u);
    }
}

TEST(Mailbox, BusyCardTimesOut)
{
    FakeDrive drive;
    drive.busyReadings = FakeDrive::kForever;
    Bytes request = Request(32);
    Bytes replyBuf(ZUNA_MAX_PACKET_LEN);
    unsigned long recvLen = 0;
    EXPECT_EQ(drive.IssueZUNACommand(reinterpret_cast<char*>(request.data()), &recvLen,
                                     reinterpret_cast<char*>(replyBuf.data()), 5),
              ZUNA_E_TMOUT);
    EXPECT_EQ(drive.Count('R', X9CD_CMD_SECTOR), 6);
    EXPECT_EQ(drive.sleptMs, 6u);

    // With no limit, the poll goes on until the card is done.
    FakeDrive slow;
    slow.busyReadings = 40;
    recvLen = 0;
    EXPECT_EQ(slow.IssueZUNACommand(reinterpret_cast<char*>(request.data()), &recvLen,
                                    reinterpret_cast<char*>(replyBuf.data()), 0),
              0);
    EXPECT_EQ(slow.sleptMs, 40u);
}

// A card that stays busy: the poll gives up once its time has passed, even with no
// count limit (0), and not before.
TEST(Mailbox, CardBusyPastThePollTimeTimesOut)
{
    struct SleepingDrive : FakeDrive {
        void MsecsSleep(unsigned long ms) override
        {
            FakeDrive::MsecsSleep(ms);
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        }
    } drive;
    drive.m_completionLimit = std::chrono::milliseconds(200);
    drive.busyReadings = FakeDrive::kForever;
    Bytes request = Request(32);
    Bytes replyBuf(ZUNA_MAX_PACKET_LEN);
    unsigned long recvLen = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(drive.IssueZUNACommand(reinterpret_cast<char*>(request.data()), &recvLen,
                                     reinterpret_cast<char*>(replyBuf.data()), 0),
              ZUNA_E_TMOUT);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, drive.m_completionLimit);
    EXPECT_LT(took, std::chrono::seconds(2));
}

TEST(Mailbox, FailedCommandBlockWriteStopsAtOnce)
{
    FakeDrive drive;
    drive.failWrites = true;
    Bytes request = Request(100);
    Bytes replyBuf(ZUNA_MAX_PACKET_LEN);
    unsigned long recvLen = 0;
    EXPECT_EQ(drive.IssueZUNACommand(reinterpret_cast<char*>(request.data()), &recvLen,
                                     reinterpret_cast<char*>(replyBuf.data()), 0),
              1);
    ASSERT_EQ(drive.ops.size(), 1u);
    EXPECT_EQ(drive.ops[0].op, 'W');
    EXPECT_EQ(drive.ops[0].sector, X9CD_CMD_SECTOR);
}

TEST(Mailbox, OversizeRequestHeaderIsRefusedUnsent)
{
    FakeDrive drive;
    Bytes request = Request(32);
    PutLe32(&request[12], ZUNA_MAX_DATA_LEN + 1);
    Bytes replyBuf(ZUNA_MAX_PACKET_LEN);
    unsigned long recvLen = 0;
    EXPECT_EQ(drive.IssueZUNACommand(reinterpret_cast<char*>(request.data()), &recvLen,
                                     reinterpret_cast<char*>(replyBuf.data()), 0),
              1);
    EXPECT_TRUE(drive.ops.empty());
}

TEST(Mailbox, ReplyLongerThanTheCallersSpaceIsRefused)
{
    FakeDrive drive;
    drive.reply = Bytes(33, 0x55);
    OS_HB_PACKET hb{7};
    // The heartbeat's reply area is 32 bytes.
    EXPECT_EQ(drive.IssueOSHeartbeat(&hb), -1);
    EXPECT_EQ(drive.Count('R', X9CD_DATA_SECTOR), 0);

    FakeDrive fits;
    fits.reply = {0x10, 0, 0, 0, 9, 9};
    hb.OsHbByte = 1;
    EXPECT_EQ(fits.IssueOSHeartbeat(&hb), 0);
    EXPECT_EQ(hb.OsHbByte, 16);
    EXPECT_EQ(fits.command.Command, 0xFFFE);
    EXPECT_EQ(fits.command.DataInLen, 4u);
}

TEST(VendorCdb, SectorIsBigEndianAndOneBlockLong)
{
    unsigned char cdb[10];
    BuildVendorCdb(X9CD_OP_WRITE_SECTOR, 1, 1, cdb);
    EXPECT_EQ(Bytes(cdb, cdb + 10), (Bytes{0xE2, 0, 0, 0, 0, 0x01, 0, 0, 0x01, 0}));
    BuildVendorCdb(X9CD_OP_READ_SECTOR, 2, 1, cdb);
    EXPECT_EQ(Bytes(cdb, cdb + 10), (Bytes{0xE3, 0, 0, 0, 0, 0x02, 0, 0, 0x01, 0}));
    BuildVendorCdb(X9CD_OP_MOUSE, 0, 0, cdb);
    EXPECT_EQ(Bytes(cdb, cdb + 10), (Bytes{0xEB, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// Sense data decoded within the length the kernel reports, in both formats.
TEST(ScsiSense, FixedAndDescriptorFormatsWithinTheirLength)
{
    Bytes fixed(18, 0);
    fixed[0] = 0xF0;  // valid bit, current error, fixed format
    fixed[2] = 0x22;  // ILI and NOT READY
    fixed[7] = 10;
    fixed[12] = 0x3A;
    fixed[13] = 0x01;
    Bytes bounded = fixed;
    bounded[7] = 4;  // the additional length ends the record before ASC and ASCQ
    const Bytes descriptor = {0x72, 0x05, 0x24, 0x07, 0, 0, 0, 0};
    const struct {
        const Bytes& sense;
        unsigned len;
        std::string want;
    } cases[] = {
        {fixed, 18, "2/3a/01"},     {fixed, 13, "2/3a/00"},     {fixed, 3, "2/00/00"},
        {fixed, 2, "none"},         {bounded, 18, "2/00/00"},   {descriptor, 8, "5/24/07"},
        {descriptor, 3, "5/24/00"}, {descriptor, 1, "none"},    {Bytes(18, 0), 18, "none"},
    };
    for (const auto& c : cases) {
        SCSI_RESULT r;
        DecodeScsiSense(c.sense.data(), c.len, r);
        const std::string text = DescribeScsiResult(r);
        EXPECT_EQ("sense " + c.want + ",", text.substr(text.find("sense "), c.want.size() + 7)) << c.len;
        EXPECT_EQ(c.want[0] == '2', r.NotReady());
    }
}

TEST(DebugLog, KeepsTheLastMessagesCutToTheirLimitAndTellsTheSink)
{
    FakeDrive drive;
    std::vector<std::string> told;
    drive.DebugLog().SetSink([&told](const std::string& line) { told.push_back(line); });
    for (std::size_t i = 0; i < CX9DebugLog::kLines + 3; ++i) drive.DebugOut("message %zu\n", i);
    drive.DebugOut("%s", std::string(1000, 'x').c_str());
    const std::vector<std::string> lines = drive.DebugLog().Lines();
    ASSERT_EQ(CX9DebugLog::kLines, lines.size());
    EXPECT_EQ("message 4\n", lines.front());
    EXPECT_EQ(std::string(CX9DebugLog::kLineMax, 'x'), lines.back());
    EXPECT_EQ(4u, drive.DebugLog().Dropped());
    EXPECT_EQ(CX9DebugLog::kLines + 4, told.size());
}

std::string Pad(const std::string& text, std::size_t width)
{
    return text.size() < width ? text + std::string(width - text.size(), ' ') : text;
}

// One device in the kernel's format.
std::string Device(const std::string& vendor, const std::string& model, const std::string& type)
{
    return "Host: scsi0 Channel: 00 Id: 00 Lun: 00\n  Vendor: " + Pad(vendor, 8) + " Model: " + Pad(model, 16) +
           " Rev: 1.00\n  Type:   " + Pad(type, 33) + "ANSI  SCSI revision: 05\n";
}

std::string Probe(const std::string& listing)
{
    char* path = scsiProbeText(listing.data(), listing.size());
    std::string result = path ? path : "(none)";
    std::free(path);
    return result;
}

const std::string kHead = "Attached devices: \n";

TEST(ScsiProbe, NumbersDevicesInListedOrder)
{
    const std::string disk = Device("ATA", "VIRTUAL DISK", "Direct-Access");
    const std::string card = Device("TAV", "Virtual CDROM", "CD-ROM");
    EXPECT_EQ(Probe(kHead + disk + card), "/dev/sg1");
    EXPECT_EQ(Probe(kHead + disk + disk + Device("GENERIC", "DVD-RW DRIVE", "CD-ROM") + card), "/dev/sg3");
    EXPECT_EQ(Probe(kHead + card), "/dev/sg0");
    EXPECT_EQ(Probe(kHead + disk), "(none)");
}

TEST(ScsiProbe, LetterCaseTypeAndLineEnds)
{
    EXPECT_EQ(Probe(kHead + Device("tav", "VIRTUAL cdrom", "CD-ROM")), "/dev/sg0");
    // The card's description but not a CD-ROM: its path is "Unknown".
    EXPECT_EQ(Probe(kHead + Device("TAV", "Virtual CDROM", "Direct-Access")), "Unknown");
    // A final line without a newline is still read.
    std::string listing = kHead + Device("TAV", "Virtual CDROM", "CD-ROM");
    listing.pop_back();
    EXPECT_EQ(Probe(listing), "/dev/sg0");
}

TEST(ScsiProbe, MalformedListings)
{
    const std::string card = Device("TAV", "Virtual CDROM", "CD-ROM");
    EXPECT_EQ(Probe("Attached devices:\n" + card), "(none)");
    EXPECT_EQ(Probe("Attached Devices: \n" + card), "(none)");
    EXPECT_EQ(Probe(""), "(none)");
    // A device line without its Model: or Rev: ends the walk.
    EXPECT_EQ(Probe(kHead + "Host: scsi0 Channel: 00 Id: 00 Lun: 00\n  Vendor: TAV Virtual CDROM\n  Type: CD-ROM\n"),
              "(none)");
    EXPECT_EQ(Probe(kHead + "Host: scsi0 Channel: 00 Id: 00\n" + card), "(none)");
    // Overlong vendor and model text is cut to the description's area, never overrun.
    EXPECT_EQ(Probe(kHead + Device(std::string(200, 'V'), std::string(300, 'M'), "CD-ROM") + card), "/dev/sg1");
}

TEST(ScsiProbe, OnlyTheFirst16383BytesAreRead)
{
    const std::string disk = Device("ATA", "VIRTUAL DISK", "Direct-Access");
    const std::string card = Device("TAV", "Virtual CDROM", "CD-ROM");
    std::string listing = kHead;
    while (listing.size() + disk.size() + card.size() <= 16383) listing += disk;
    const std::size_t disks = (listing.size() - kHead.size()) / disk.size();
    EXPECT_EQ(Probe(listing + card), "/dev/sg" + std::to_string(disks));

    // Pushed past the first 16,383 bytes, the card is not seen.
    while (listing.size() < 16383) listing += disk;
    EXPECT_EQ(Probe(listing + card), "(none)");
}

}  // namespace

namespace {

// The Linux channel with its connection attempts counted instead of made.
class CountingChannel : public CX9CDHost_Linux {
public:
    int Connect() override
    {
        ++attempts;
        return attempts >= succeedAt && succeedAt > 0 ? 0 : 1;
    }
    int Disconnect() override
    {
        ++disconnects;
        return 0;
    }
    void MsecsSleep(unsigned long ms) override { sleptMs += ms; }

    int attempts = 0;
    int succeedAt = 0;  // 0: never
    int disconnects = 0;
    unsigned long sleptMs = 0;
};

TEST(WaitForCDConnection, CountsAttemptsOneMillisecondApart)
{
    CountingChannel absent;
    EXPECT_EQ(absent.WaitForCDConnection(2), 0);
    EXPECT_EQ(absent.attempts, 2);
    EXPECT_EQ(absent.disconnects, 1);
    EXPECT_EQ(absent.sleptMs, 2u);

    // 0 keeps trying until the card answers.
    CountingChannel late;
    late.succeedAt = 50;
    EXPECT_EQ(late.WaitForCDConnection(0), 1);
    EXPECT_EQ(late.attempts, 50);

    CountingChannel present;
    present.succeedAt = 1;
    EXPECT_EQ(present.WaitForCDConnection(5), 1);
    EXPECT_EQ(present.attempts, 1);
}

}  // namespace
