// The card's virtual drive, one SCSI command at a time: the vendor commands, the
// mailbox block by block, the host's own mailbox code against it, and every way a
// command can be malformed. Also the mouse script and `kelcard run`'s options.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <ostream>
#include <string>
#include <vector>

#include "card_model.h"
#include "x9endian.h"
#include "zunacmds.h"
#include "kelcard_options.h"
#include "vdrive.h"
#include "vdrive_sgio.h"
#include "x9cdhost.h"
#include "x9cdhostLinux.h"
#include "zuna_packets.h"
#include "block_host.h"

namespace {

using Bytes = std::vector<uint8_t>;
using kelcard::DriveDirection;
using kelcard::DriveOutcome;
using kelcard::DriveSettings;
using kelcard::VirtualDrive;

using zunatest::kSignature;
constexpr uint16_t kZunaUnsupported = 32;
constexpr uint8_t kIllegalRequest = 0x05;
constexpr uint8_t kAscInvalidOpcode = 0x20, kAscLbaOutOfRange = 0x21, kAscInvalidField = 0x24,
                  kAscSequenceError = 0x2C;

// A ZUNA request packet: header (bytes summing to 0) and data.
Bytes Request(uint16_t command, const Bytes& data = {})
{
    return zunatest::MakeRequest(command, data);
}

Bytes Cdb(uint8_t opcode, uint32_t sector = 0, uint16_t blocks = 0)
{
    Bytes cdb = {opcode, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    PutBe32(&cdb[2], sector);
    PutBe16(&cdb[7], blocks);
    return cdb;
}

// A command block as the host writes it.
Bytes CommandBlock(uint16_t command, uint32_t dataInLen)
{
    Bytes block(512, 0);
    std::memcpy(block.data(), "$X9-CONFIG-HOST$", 16);
    PutLe16(&block[16], command);
    PutLe32(&block[20], dataInLen);
    block[510] = 0x55;
    block[511] = 0xAA;
    return block;
}

uint16_t StatusOf(const Bytes& block)
{
    return GetLe16(&block[18]);
}

uint32_t DataOutLenOf(const Bytes& block)
{
    return GetLe32(&block[24]);
}

::testing::AssertionResult Refused(const DriveOutcome& outcome, uint8_t asc)
{
    if (outcome.good) return ::testing::AssertionFailure() << "the command was accepted";
    if (outcome.senseKey != kIllegalRequest || outcome.asc != asc || outcome.transferred != 0)
        return ::testing::AssertionFailure() << "sense key " << int(outcome.senseKey) << ", asc 0x" << std::hex
                                             << int(outcome.asc) << ", " << std::dec << outcome.transferred
                                             << " bytes moved";
    return ::testing::AssertionSuccess();
}

class DriveTest : public ::testing::Test {
protected:
    void MakeDrive(DriveSettings settings) { drive = std::make_unique<VirtualDrive>(card, std::move(settings)); }

    DriveOutcome In(uint8_t opcode, Bytes& data) { return Run(Cdb(opcode), DriveDirection::kFromDevice, data); }
    DriveOutcome Run(const Bytes& cdb, DriveDirection direction, Bytes& data)
    {
        return drive->Execute(cdb.data(), cdb.size(), direction, data.empty() ? nullptr : data.data(), data.size());
    }
    DriveOutcome Write(uint32_t sector, Bytes block)
    {
        return Run(Cdb(0xE2, sector, 1), DriveDirection::kToDevice, block);
    }
    Bytes Read(uint32_t sector, DriveOutcome* outcome = nullptr)
    {
        Bytes block(512, 0xEE);
        const DriveOutcome o = Run(Cdb(0xE3, sector, 1), DriveDirection::kFromDevice, block);
        if (outcome != nullptr) *outcome = o;
        EXPECT_TRUE(o.good || outcome != nullptr) << "sector " << sector << " read refused";
        return block;
    }
    // Writes a command block and its data in blocks, as the host does.
    void Send(uint16_t command, const Bytes& data)
    {
        ASSERT_TRUE(Write(1, CommandBlock(command, static_cast<uint32_t>(data.size()))).good);
        for (std::size_t at = 0; at < data.size(); at += 512) {
            Bytes block(512, 0xA5);  // padding past the data
            std::memcpy(block.data(), data.data() + at, std::min<std::size_t>(512, data.size() - at));
            ASSERT_TRUE(Write(2, block).good) << "data block at " << at;
        }
    }
    // Polls sector 1 until the busy bit clears (bounded); returns the final block.
    Bytes Poll(unsigned* busy = nullptr)
    {
        unsigned seen = 0;
        Bytes block = Read(1);
        while ((StatusOf(block) & 0x8000) != 0 && seen < 100) {
            EXPECT_EQ(0u, DataOutLenOf(block)) << "DataOutLen while busy";
            ++seen;
            block = Read(1);
        }
        if (busy != nullptr) *busy = seen;
        return block;
    }
    Bytes ReadReply(uint32_t length)
    {
        Bytes reply;
        for (uint32_t at = 0; at < length; at += 512) {
            const Bytes block = Read(2);
            reply.insert(reply.end(), block.begin(), block.end());
        }
        return reply;
    }

    kelcard::CardModel card;
    std::unique_ptr<VirtualDrive> drive = std::make_unique<VirtualDrive>(card);
};

// --- Vendor commands outside the mailbox -----------------------------------------------

TEST_F(DriveTest, IdentifyAnswersTheSignatureCutToTheBuffer)
{
    Bytes answer(15, 0xEE);
    DriveOutcome o = In(0xEE, answer);
    ASSERT_TRUE(o.good);
    EXPECT_EQ(10u, o.transferred);
    EXPECT_EQ(Bytes({'$', '$', '$', 'T', 'A', 'V', '$', '$', '$', 0, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}), answer);

    Bytes shorter(4, 0);
    o = In(0xEE, shorter);
    ASSERT_TRUE(o.good);
    EXPECT_EQ(4u, o.transferred);
    EXPECT_EQ(Bytes({'$', '$', '$', 'T'}), shorter);
    EXPECT_EQ(2u, drive->Counts().identify);
}

TEST_F(DriveTest, HeartbeatCommandsAnswerTheConfiguredSecondsAndAreCounted)
{
    DriveSettings settings;
    settings.heartbeatSeconds = 0x01020304;
    MakeDrive(settings);
    for (const uint8_t opcode : {0xE5, 0xE6, 0xE6, 0xE7}) {
        Bytes packet(4, 0xEE);
        const DriveOutcome o = In(opcode, packet);
        ASSERT_TRUE(o.good);
        EXPECT_EQ(4u, o.transferred);
        EXPECT_EQ(Bytes({0x04, 0x03, 0x02, 0x01}), packet) << "opcode " << int(opcode);
    }
    const kelcard::DriveCounts counts = drive->Counts();
    EXPECT_EQ(1u, counts.heartbeatStart);
    EXPECT_EQ(2u, counts.heartbeat);
    EXPECT_EQ(1u, counts.heartbeatEnd);
}

TEST_F(DriveTest, MouseAnswersTheScriptInOrderThenNothingNew)
{
    DriveSettings settings;
    std::string error;
    ASSERT_TRUE(kelcard::ParseMouseScript("1 512 384 1\n0 0x400 768 2\n", settings.mouseScript, error)) << error;
    MakeDrive(settings);
    const Bytes expected[] = {
        {1, 0, 0, 0x00, 0x02, 0x80, 0x01, 0, 0, 0, 0, 1},
        {0, 0, 0, 0x00, 0x04, 0x00, 0x03, 0, 0, 0, 0, 2},
        Bytes(12, 0),
        Bytes(12, 0),
    };
    for (const Bytes& want : expected) {
        Bytes packet(12, 0xEE);
        const DriveOutcome o = In(0xEB, packet);
        ASSERT_TRUE(o.good);
        EXPECT_EQ(12u, o.transferred);
        EXPECT_EQ(want, packet);
    }
    EXPECT_EQ(4u, drive->Counts().mouse);
}

// --- The mailbox, block by block --------------------------------------------------------

TEST_F(DriveTest, ZunaPacketTravelsBlockByBlockWithBusyReadings)
{
    DriveSettings settings;
    settings.busyPolls = 2;
    MakeDrive(settings);

    // Set the name, then read it back: the request reaches the card, the reply the host.
    Bytes name(256, 0);
    std::memcpy(name.data(), "drive", 5);
    Send(0, Request(ZUNACMD_SET_CARD_NAME, name));
    unsigned busy = 0;
    Bytes block = Poll(&busy);
    EXPECT_EQ(2u, busy);
    EXPECT_EQ(0, StatusOf(block));
    ASSERT_EQ(32u, DataOutLenOf(block));
    EXPECT_EQ("drive", card.CardName());
    ReadReply(32);

    Send(0, Request(ZUNACMD_GET_CARD_NAME));
    block = Poll(&busy);
    EXPECT_EQ(2u, busy);
    // The card keeps the host's block and sets Status and DataOutLen.
    Bytes expectedBlock = CommandBlock(0, 32);
    PutLe32(&expectedBlock[24], 32 + 256);
    EXPECT_EQ(expectedBlock, block);
    const Bytes reply = ReadReply(DataOutLenOf(block));
    ASSERT_EQ(512u, reply.size());
    EXPECT_EQ(0, std::memcmp(reply.data(), kSignature, 8));
    EXPECT_EQ(256u, GetLe32(&reply[12]));
    EXPECT_EQ(ZUNACMD_GET_CARD_NAME, GetLe16(&reply[20]));
    EXPECT_EQ(0u, GetLe16(&reply[22]));
    EXPECT_EQ(0, std::memcmp(reply.data() + 32, "drive\0", 6));
    EXPECT_EQ(Bytes(512 - 32 - 256, 0), Bytes(reply.begin() + 32 + 256, reply.end())) << "zero padding";

    // The final re-read still shows the outcome; the reply is used up.
    EXPECT_EQ(expectedBlock, Read(1));
    DriveOutcome o;
    Read(2, &o);
    EXPECT_TRUE(Refused(o, kAscSequenceError));
    EXPECT_EQ(4u, drive->Counts().busyReadings);
    EXPECT_EQ(2u, drive->Counts().mailboxCommands);
}

TEST_F(DriveTest, RequestAndReplyOfSeveralBlocksKeepTheirExactLength)
{
    // 600 data bytes: two request blocks, the second padded. A card that got the
    // padding too, or lost bytes, would answer 28 (invalid) instead of 32 (unknown code).
    Send(0, Request(0x7777, Bytes(600, 0x11)));
    Bytes block = Poll();
    ASSERT_EQ(32u, DataOutLenOf(block));
    EXPECT_EQ(kZunaUnsupported, GetLe16(&ReadReply(32)[22]));

    Bytes raw(700);
    for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i * 7 + 1);
    card.ForceRawReply(ZUNACMD_GET_CARD_NAME, raw);
    Send(0, Request(ZUNACMD_GET_CARD_NAME));
    block = Poll();
    ASSERT_EQ(700u, DataOutLenOf(block));
    const Bytes reply = ReadReply(700);
    ASSERT_EQ(1024u, reply.size());
    EXPECT_EQ(raw, Bytes(reply.begin(), reply.begin() + 700));
    EXPECT_EQ(Bytes(324, 0), Bytes(reply.begin() + 700, reply.end()));
}

TEST_F(DriveTest, MailboxStatusesForSizeCommandAndSignatureFaults)
{
    DriveSettings settings;
    settings.busyPolls = 0;
    settings.heartbeatSeconds = 77;
    MakeDrive(settings);

    // A maximal packet is taken; one byte more is too much data, after all its blocks.
    Send(0, Bytes(66560, 0));
    Bytes block = Poll();
    EXPECT_EQ(0, StatusOf(block));
    EXPECT_EQ(32u, DataOutLenOf(block));
    Send(0, Bytes(66561, 0));
    block = Poll();
    EXPECT_EQ(1, StatusOf(block));
    EXPECT_EQ(0u, DataOutLenOf(block));
    EXPECT_TRUE(Refused(Write(2, Bytes(512, 0)), kAscSequenceError)) << "a block beyond DataInLen";

    Send(0x1234, Bytes(10, 0));
    EXPECT_EQ(3, StatusOf(Poll()));

    Send(0xFFFE, Bytes(4, 0));
    block = Poll();
    EXPECT_EQ(0, StatusOf(block));
    ASSERT_EQ(4u, DataOutLenOf(block));
    const Bytes answer = ReadReply(4);
    EXPECT_EQ(Bytes({77, 0, 0, 0}), Bytes(answer.begin(), answer.begin() + 4));
    Send(0xFFFE, Bytes(2, 0));
    EXPECT_EQ(2, StatusOf(Poll()));

    // Signatures: a bad block is unsupported and abandons the command before it.
    for (const std::size_t at : {0u, 15u, 510u, 511u}) {
        ASSERT_TRUE(Write(1, CommandBlock(0, 1000)).good);
        ASSERT_TRUE(Write(2, Bytes(512, 0)).good);
        Bytes bad = CommandBlock(0, 32);
        bad[at] ^= 0xFF;
        ASSERT_TRUE(Write(1, bad).good);
        block = Read(1);
        EXPECT_EQ(3, StatusOf(block)) << "byte " << at;
        EXPECT_EQ(0u, DataOutLenOf(block));
        EXPECT_TRUE(Refused(Write(2, Bytes(512, 0)), kAscSequenceError)) << "byte " << at;
    }
}

TEST_F(DriveTest, PollWhileBlocksAreMissingAnswersTooLittleDataAtOnce)
{
    ASSERT_TRUE(Write(1, CommandBlock(0, 1000)).good);
    ASSERT_TRUE(Write(2, Bytes(512, 0)).good);
    const Bytes block = Read(1);
    EXPECT_EQ(2, StatusOf(block));
    EXPECT_EQ(0u, drive->Counts().busyReadings);
    EXPECT_TRUE(Refused(Write(2, Bytes(512, 0)), kAscSequenceError));

    // A new command block starts afresh.
    Send(0, Request(ZUNACMD_GET_CARD_NAME));
    EXPECT_EQ(0, StatusOf(Poll()));
}

// --- Malformed commands ------------------------------------------------------------------

struct MalformedCase {
    const char* name;
    Bytes cdb;
    DriveDirection direction;
    std::size_t dataLen;
    uint8_t asc;
};

void PrintTo(const MalformedCase& c, std::ostream* os)
{
    *os << c.name;
}

class Malformed : public DriveTest, public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(Malformed, IsRefusedAndLeavesTheMailboxAlone)
{
    const MalformedCase& c = GetParam();
    // A command in flight: its request block is written, its reply not yet read.
    Bytes request = Request(ZUNACMD_GET_CARD_NAME);
    ASSERT_TRUE(Write(1, CommandBlock(0, static_cast<uint32_t>(request.size()))).good);

    Bytes data(c.dataLen + 16, 0xEE);  // a guard area past what the drive is told
    const DriveOutcome o = drive->Execute(c.cdb.empty() ? nullptr : c.cdb.data(), c.cdb.size(), c.direction,
                                          c.dataLen == 0 ? nullptr : data.data(), c.dataLen);
    EXPECT_TRUE(Refused(o, c.asc));
    EXPECT_EQ(Bytes(data.size(), 0xEE), data) << "the data buffer was touched";
    EXPECT_EQ(1u, drive->Counts().refused);

    request.resize(512);
    ASSERT_TRUE(Write(2, request).good);
    const Bytes block = Poll();
    EXPECT_EQ(0, StatusOf(block));
    EXPECT_EQ(32u + 256u, DataOutLenOf(block));
}

const Bytes kRead1 = Cdb(0xE3, 1, 1);
const Bytes kWrite1 = Cdb(0xE2, 1, 1);

INSTANTIATE_TEST_SUITE_P(
    Cdbs, Malformed,
    ::testing::Values(
        MalformedCase{"NoCdb", {}, DriveDirection::kFromDevice, 512, kAscInvalidField},
        MalformedCase{"SixByteCdb", Bytes(kRead1.begin(), kRead1.begin() + 6), DriveDirection::kFromDevice, 512,
                      kAscInvalidField},
        MalformedCase{"UnknownOpcode", Cdb(0xE4), DriveDirection::kFromDevice, 512, kAscInvalidOpcode},
        MalformedCase{"StandardOpcode", Cdb(0x12), DriveDirection::kFromDevice, 36, kAscInvalidOpcode},
        MalformedCase{"IdentifyWithoutDataIn", Cdb(0xEE), DriveDirection::kNone, 0, kAscInvalidField},
        MalformedCase{"MouseAsDataOut", Cdb(0xEB), DriveDirection::kToDevice, 12, kAscInvalidField},
        MalformedCase{"ReadAsDataOut", kRead1, DriveDirection::kToDevice, 512, kAscInvalidField},
        MalformedCase{"WriteAsDataIn", Cdb(0xE2, 2, 1), DriveDirection::kFromDevice, 512, kAscInvalidField},
        MalformedCase{"ZeroBlocks", Cdb(0xE3, 1, 0), DriveDirection::kFromDevice, 512, kAscInvalidField},
        MalformedCase{"TwoBlocks", Cdb(0xE3, 1, 2), DriveDirection::kFromDevice, 1024, kAscInvalidField},
        MalformedCase{"ShortBlock", kWrite1, DriveDirection::kToDevice, 511, kAscInvalidField},
        MalformedCase{"LongBlock", kRead1, DriveDirection::kFromDevice, 513, kAscInvalidField},
        MalformedCase{"NoBuffer", kWrite1, DriveDirection::kToDevice, 0, kAscInvalidField},
        MalformedCase{"SectorZero", Cdb(0xE3, 0, 1), DriveDirection::kFromDevice, 512, kAscLbaOutOfRange},
        MalformedCase{"SectorThree", Cdb(0xE2, 3, 1), DriveDirection::kToDevice, 512, kAscLbaOutOfRange},
        MalformedCase{"SectorMinusOne", Cdb(0xE3, 0xFFFFFFFF, 1), DriveDirection::kFromDevice, 512,
                      kAscLbaOutOfRange},
        MalformedCase{"ReplyReadBeforeTheRequest", Cdb(0xE3, 2, 1), DriveDirection::kFromDevice, 512,
                      kAscSequenceError}),
    [](const ::testing::TestParamInfo<MalformedCase>& info) { return std::string(info.param.name); });

// --- The host's mailbox code against the drive -------------------------------------------

// The host-interface medium with its block transfers going straight to a drive, as the
// Linux channel sends them (same CDBs, 512-byte buffers).
class DirectHost : public BlockHost {
public:
    explicit DirectHost(VirtualDrive& drive) : m_drive(drive) {}
    int ReadCD(char sector, char* buffer) override { return Block(X9CD_OP_READ_SECTOR, sector, buffer); }
    int WriteCD(char sector, char* buffer) override { return Block(X9CD_OP_WRITE_SECTOR, sector, buffer); }

private:
    int Block(unsigned char opcode, char sector, char* buffer)
    {
        unsigned char cdb[10];
        BuildVendorCdb(opcode, sector, 1, cdb);
        const DriveOutcome o =
            m_drive.Execute(cdb, sizeof(cdb),
                            opcode == X9CD_OP_WRITE_SECTOR ? DriveDirection::kToDevice : DriveDirection::kFromDevice,
                            reinterpret_cast<uint8_t*>(buffer), X9CD_BLOCK_SIZE);
        return o.good ? 0 : -1;
    }
    VirtualDrive& m_drive;
};

TEST_F(DriveTest, HostMediumExchangesPacketsAndHeartbeatsThroughTheDrive)
{
    DriveSettings settings;
    settings.heartbeatSeconds = 45;
    MakeDrive(settings);
    card.ForceStatus(0x0101, 5);
    DirectHost host(*drive);

    std::vector<char> request(32 + 256, 0);
    const Bytes header = Request(ZUNACMD_SET_CARD_NAME, Bytes(256, 0));
    std::memcpy(request.data(), header.data(), 32);
    std::memcpy(request.data() + 32, "host", 4);
    std::vector<char> reply(66560, 0);
    unsigned long replyLen = 0;
    ASSERT_EQ(0, host.IssueZUNACommand(request.data(), &replyLen, reply.data(), 0));
    EXPECT_EQ(32u, replyLen);
    EXPECT_EQ("host", card.CardName());
    EXPECT_EQ(1u, host.sleptMs) << "one busy reading, one 1-ms pause";

    const Bytes refused = Request(0x0101);
    ASSERT_EQ(0, host.IssueZUNACommand(reinterpret_cast<char*>(const_cast<uint8_t*>(refused.data())), &replyLen,
                                       reply.data(), 0));
    EXPECT_EQ(32u, replyLen);
    EXPECT_EQ(5u, GetLe16(&reply[22]));

    OS_HB_PACKET packet{};
    EXPECT_EQ(0, host.IssueOSHeartbeat(&packet));
    EXPECT_EQ(45, packet.OsHbByte);
    EXPECT_EQ(3u, drive->Counts().busyReadings);
    EXPECT_EQ(0u, drive->Counts().refused);
}

// --- The Linux channel's results, with the drive standing in for the sg driver ------------

class DriveChannel : public CX9CDHost_Linux {
public:
    explicit DriveChannel(VirtualDrive& drive) : m_drive(drive) {}
    using CX9CDHost_Linux::m_lock_fd;
    using CX9CDHost_Linux::SendScsiCommand;
    // With a node open, the request goes to the kernel instead.
    int IssueSgIo(sg_io_hdr* io) override
    {
        if (m_lock_fd >= 0) return CX9CDHost_Linux::IssueSgIo(io);
        DriveDirection direction;
        bool data = false;
        if (const int error = kelcard::CheckSgIo(*io, direction, data); error != 0) return error;
        kelcard::CompleteSgIo(m_drive.Execute(io->cmdp, io->cmd_len, direction,
                                              data ? static_cast<uint8_t*>(io->dxferp) : nullptr,
                                              data ? io->dxfer_len : 0),
                              data, io->sbp, *io);
        return 0;
    }
    VirtualDrive& m_drive;
};

struct ResultCase {
    const char* name;
    bool away;                              // the card is away from the start
    std::optional<std::size_t> shortReads;  // the drive's fault
    const char* node;                       // opened as the channel's node: the kernel answers
    SCSI_RESULT expected;  // of one read of sector 1
};

class ScsiResults : public DriveTest, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(ScsiResults, CarryTheirCausesAndOnlyAWholeBlockCounts)
{
    const ResultCase& c = GetParam();
    DriveSettings settings;
    settings.shortReads = c.shortReads;
    if (c.away) settings.awayFrom = std::chrono::milliseconds(0);
    MakeDrive(settings);
    DriveChannel channel(*drive);
    if (c.node != nullptr) channel.m_lock_fd = ::open(c.node, O_RDWR | O_CLOEXEC);
    unsigned char cdb[10], sense[32];
    BuildVendorCdb(X9CD_OP_READ_SECTOR, X9CD_CMD_SECTOR, 1, cdb);
    Bytes block(512);
    const SCSI_RESULT r = channel.SendScsiCommand(cdb, 10, block.data(), 512, SG_DXFER_FROM_DEV, sense, 32, 1000);
    EXPECT_EQ(DescribeScsiResult(c.expected), DescribeScsiResult(r));
    EXPECT_EQ(c.expected.NotReady(), r.NotReady());

    // Through the mailbox only a command whose every block moved whole succeeds; a
    // failing block's causes are kept just before the mailbox's own line.
    const bool whole = c.expected.Whole();
    Bytes request = Request(ZUNACMD_GET_CARD_NAME);
    std::vector<char> reply(ZUNA_MAX_PACKET_LEN);
    unsigned long replyLen = 7;
    EXPECT_EQ(whole ? 0 : 1, channel.IssueZUNACommand(reinterpret_cast<char*>(request.data()), &replyLen,
                                                      reply.data(), 0));
    EXPECT_EQ(whole ? 32u + 256u : 7u, replyLen);
    const std::vector<std::string> log = channel.DebugLog().Lines();
    EXPECT_EQ(!whole, log.at(log.size() - 2).find(DescribeScsiResult(r)) != std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Channel, ScsiResults,
    ::testing::Values(
        ResultCase{"Good", false, {}, nullptr, {}},
        ResultCase{"NotReady", true, {}, nullptr,
                   {.bStatus = 2, .wDriverStatus = 8, .fSense = true, .bSenseKey = 2, .bAsc = 0x3A, .nResidual = 512}},
        ResultCase{"ShortTransfer", false, 200, nullptr, {.nResidual = 312}},
        ResultCase{"IoctlFails", false, {}, "/dev/null", {.nOsError = ENOTTY}}),
    [](const ::testing::TestParamInfo<ResultCase>& info) { return std::string(info.param.name); });

// --- Mouse script and the run options ----------------------------------------------------

TEST(MouseScript, ReadsPacketsSkippingCommentsAndBlankLines)
{
    std::vector<HOST_MOUSE_PKT> packets;
    std::string error;
    ASSERT_TRUE(kelcard::ParseMouseScript("# event x y valid\n\n  7 0x3FF 65535 0x2\r\n0 0 0 0", packets, error))
        << error;
    ASSERT_EQ(2u, packets.size());
    Bytes wire(sizeof(HOST_MOUSE_PKT) * 2);
    std::memcpy(wire.data(), packets.data(), wire.size());
    EXPECT_EQ(Bytes({7, 0, 0, 0xFF, 0x03, 0xFF, 0xFF, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), wire);
}

TEST(MouseScript, BadLinesAreRefusedByNumber)
{
    for (const char* text : {"1 2 3\n", "1 2 3 4 5\n", "256 0 0 1\n", "0 65536 0 1\n", "0 0 -1 1\n", "0 0 0 x\n",
                             "0 0 0 256\n"}) {
        std::vector<HOST_MOUSE_PKT> packets;
        std::string error;
        EXPECT_FALSE(kelcard::ParseMouseScript(std::string("1 1 1 1\n") + text, packets, error)) << text;
        EXPECT_NE(std::string::npos, error.find("line 2")) << error;
    }
}

TEST(KelcardRunOptions, OptionsReachTheCardTheDriveAndTheProgram)
{
    kelcard::RunOptions options;
    std::string error;
    ASSERT_TRUE(kelcard::ParseRunOptions({"--user", "op:pw", "--serve", "127.0.9.1", "--fail", "0x0907:5",
                                          "--frozen-clock", "--heartbeat", "30", "--busy-polls", "3", "--short-reads", "0",
                                          "--mouse-script", "m.txt", "--", "sh", "-c", "--x", "--"},
                                         options, error))
        << error;
    ASSERT_EQ(1u, options.card.accounts.size());
    EXPECT_EQ("op", options.card.accounts[0].user);
    EXPECT_EQ("127.0.9.1", options.card.address);
    ASSERT_EQ(1u, options.card.faults.size());
    EXPECT_EQ(0x0907, options.card.faults[0].first);
    EXPECT_TRUE(options.card.frozenClock);
    EXPECT_EQ(30, options.drive.heartbeatSeconds);
    EXPECT_EQ(3u, options.drive.busyPolls);
    EXPECT_EQ(0u, options.drive.shortReads.value_or(512));
    EXPECT_EQ("m.txt", options.mouseScriptPath.value_or(""));
    EXPECT_EQ((std::vector<std::string>{"sh", "-c", "--x", "--"}), options.program);

    ASSERT_TRUE(kelcard::ParseRunOptions({"--", "true"}, options, error)) << error;
    EXPECT_EQ("", options.card.address) << "no TCP front end without --serve";
    EXPECT_EQ(kelcard::kDefaultHeartbeatSeconds, options.drive.heartbeatSeconds);
    EXPECT_EQ(kelcard::kDefaultBusyPolls, options.drive.busyPolls);
}

// Whether the word after an option is its value comes from the option table, not
// from how that word looks.
TEST(KelcardRunOptions, ArityComesFromTheOptionTable)
{
    struct Case {
        std::vector<std::string> words;  // before "-- true"
        std::string error;               // empty when accepted
        std::string fwVersion;
        bool frozenClock;
    };
    const Case cases[] = {
        {{"--fw-version", "--beta"}, "", "--beta", false},
        {{"--fw-version", "-1", "--frozen-clock"}, "", "-1", true},
        {{"--frozen-clock", "--fw-version", "--frozen-clock"}, "", "--frozen-clock", true},
        {{"--frozen-clock", "stray"}, "unexpected word 'stray'", "", false},
        {{"--link-down", "7"}, "unexpected word '7'", "", false},
        {{"--frozen-clock", "--xyz"}, "unknown option '--xyz'", "", false},
        {{"--fw-version"}, "--fw-version needs a value", "", false},
        {{"--user", "--op:pw", "--fail"}, "--fail needs a value", "", false},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words = c.words;
        words.insert(words.end(), {"--", "true"});
        kelcard::RunOptions options;
        std::string error;
        const bool parsed = kelcard::ParseRunOptions(words, options, error);
        std::string shown;
        for (const std::string& w : c.words) shown += w + " ";
        EXPECT_EQ(c.error, parsed ? "" : error) << shown;
        if (!parsed) continue;
        EXPECT_EQ(c.fwVersion, options.card.fwVersion.value_or("")) << shown;
        EXPECT_EQ(c.frozenClock, options.card.frozenClock) << shown;
    }
}

TEST(KelcardRunOptions, BadWordsAreRefused)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"true"},
        {"--"},
        {"--heartbeat", "5"},
        {"--address", "127.0.0.1", "--", "true"},
        {"--serve", "10.0.0.1", "--", "true"},
        {"--serve", "--", "true"},
        {"--heartbeat", "-2147483649", "--", "true"},
        {"--heartbeat", "--", "true"},
        {"--back-at", "3", "--", "true"},
        {"--gone-at", "3", "--back-at", "3", "--", "true"},
        {"--gone-at", "86401", "--", "true"},
        {"--heartbeat", "2147483648", "--", "true"},
        {"--busy-polls", "many", "--", "true"},
        {"--short-reads", "512", "--", "true"},
        {"--fail", "0x0907", "--", "true"},
        {"--bogus", "--", "true"},
        {"stray", "--", "true"},
    };
    for (const auto& words : bad) {
        kelcard::RunOptions options;
        std::string error;
        std::string shown;
        for (const auto& w : words) shown += w + " ";
        EXPECT_FALSE(kelcard::ParseRunOptions(words, options, error)) << shown;
        EXPECT_FALSE(error.empty()) << shown;
    }
}

}  // namespace
