// The sensor tree: streams built here byte by byte, decoded by the client; the card's
// SDK commands; the tool's listing and unit names.
#include <gtest/gtest.h>

#include "fake_medium.h"
#include "sensor_walk.h"
#include "x9zunaifc.h"
#include "zunaCmd.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A stream laid out as the card sends it, each node appended in stream order; a link
// is written as 0xFFFFFFFF (any nonzero value announces the next item) or 0.
struct Stream {
    Bytes b = Bytes(56, 0);
    Stream(bool inits, bool categories)
    {
        Link(48, inits), Link(52, categories);
        PutBe32(&b[8], 1);  // init.access_count
    }
    void Link(std::size_t at, bool present) { PutBe32(&b[at], present ? 0xFFFFFFFFu : 0); }
    std::size_t Append(std::size_t size)
    {
        b.resize(b.size() + size);
        return b.size() - size;
    }
    Stream& Access(bool next)
    {
        const std::size_t n = Append(26);
        b[n] = 0x12, b[n + 1] = 0x34, b[n + 2] = 0x90;
        PutBe32(&b[n + 10], 0x01020304);
        Link(n + 22, next);
        return *this;
    }
    Stream& Category(bool subdivisions, bool next, uint16_t count = 0)
    {
        const std::size_t n = Append(48);
        PutBe16(&b[n + 38], count);
        std::copy_n("Temperatures", 12, &b[n + 6]);
        Link(n + 40, subdivisions), Link(n + 44, next);
        return *this;
    }
    Stream& Subdivision(bool accesses, bool next, uint16_t count = 0)
    {
        const std::size_t n = Append(118);
        b[n] = 0x12, b[n + 1] = 0x34;
        std::copy_n("CPU 1", 5, &b[n + 6]);
        PutBe16(&b[n + 42], count);
        b[n + 54] = 0x77;                   // formulaID
        PutBe32(&b[n + 59], 0xFFFFFFFEu);   // conversion.b: -2
        PutBe32(&b[n + 75], 0x80000000u);   // a failed reading
        b[n + 109] = 0x12;                  // unit_type
        Link(n + 110, accesses), Link(n + 114, next);
        return *this;
    }
    Stream& Cut(std::size_t bytes)
    {
        b.resize(b.size() - bytes);
        return *this;
    }
};

struct DecodeCase {
    const char* name;
    Bytes stream;
    ZUNA_ERROR status;
    std::vector<uint32_t> offsets;  // every node, ascending (a sound tree's walk is)
};

void PrintTo(const DecodeCase& c, std::ostream* os)
{
    *os << c.name;
}

const Bytes kSampleStream = Stream(true, true)
                                .Access(false)
                                .Category(true, true, 2)
                                .Category(true, false, 1)
                                .Subdivision(true, true, 1)
                                .Subdivision(false, false)
                                .Access(false)
                                .Subdivision(true, false, 2)
                                .Access(true)
                                .Access(false)
                                .b;

const DecodeCase kDecodeCases[] = {
    {"SixHundredTenBytes", kSampleStream, ZUNA_E_SUCCESS, {56, 82, 130, 178, 296, 414, 440, 558, 584}},
    {"EmptyTree", Stream(false, false).b, ZUNA_E_SUCCESS, {}},
    {"NoInitialisationAccesses", Stream(false, true).Category(false, false).b, ZUNA_E_SUCCESS, {56}},
    {"CategoriesWithoutSubdivisions",
     Stream(false, true).Category(false, true).Category(true, true).Category(false, false).Subdivision(false, false).b,
     ZUNA_E_SUCCESS, {56, 104, 152, 200}},
    {"ShorterThanTheHead", Bytes(55, 0), ZUNA_E_CONNECTION, {}},
    {"LinkPastTheEnd", Stream(false, true).Category(false, true).b, ZUNA_E_CONNECTION, {}},
    {"TruncatedNode", Stream(true, false).Access(false).Cut(1).b, ZUNA_E_CONNECTION, {}},
    {"AccessListPastTheEnd", Stream(false, true).Category(true, false).Subdivision(true, false).b, ZUNA_E_CONNECTION, {}},
    {"SubdivisionCountLargerThanTheData", Stream(false, true).Category(true, false, 2).Subdivision(false, false).b,
     ZUNA_E_CONNECTION, {}},
    {"AccessCountLargerThanTheData", Stream(false, true).Category(true, false).Subdivision(true, false, 2).Access(false).b,
     ZUNA_E_CONNECTION, {}},
    {"EveryLinkSet", Bytes(ZUNA_MAX_DATA_LEN, 0xFF), ZUNA_E_CONNECTION, {}},
};

class SensorStream : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(SensorStream, DecodesWithinTheReply)
{
    const DecodeCase& c = GetParam();
    FakeMediumLog log;
    CX9ZunaIfc client(std::make_unique<FakeMedium>(log));
    log.replies.push_back({0, MakeReply(0, c.stream)});
    Bytes tree(SDK_SENSOR_BUFFER_LEN + 1, 0xEE);
    ASSERT_EQ(c.status, client.ReadSensors(tree.data(), SDK_SENSOR_BUFFER_LEN));
    EXPECT_EQ(0xEE, tree.back()) << "nothing written past the buffer";
    EXPECT_EQ(32u, log.requests.at(0).size()) << "0x0202 carries no data";
    if (c.status != ZUNA_E_SUCCESS) {
        EXPECT_EQ(Bytes(tree.size(), 0xEE), tree) << "a refused tree leaves the caller's buffer as given";
        return;
    }
    tree.resize(c.stream.size());
    EXPECT_EQ(c.offsets, SensorTreeOffsets(tree));
}

INSTANTIATE_TEST_SUITE_P(Rows, SensorStream, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SensorStream, ConvertsMarkedFieldsOnlyAndPassesTheStatusOn)
{
    const Bytes stream = kSampleStream;
    Bytes tree(stream.size());
    ASSERT_EQ(610u, tree.size());
    ASSERT_EQ(ZUNA_E_SUCCESS, DecodeSensorStream(stream.data(), static_cast<uint32_t>(stream.size()), tree.data()));
    EXPECT_EQ(kSampleStream, stream) << "the decoder reads its input, never changes it";
    access_node access;
    subdivision_node sensor;
    ASSERT_TRUE(SdkNodeAt(tree.data(), tree.size(), 56, access) && SdkNodeAt(tree.data(), tree.size(), 178, sensor));
    EXPECT_EQ(0x1234, +access.access.access_flag);
    EXPECT_EQ(0x90, access.access.port.i2c_access.slave_address);
    EXPECT_EQ(0x01020304u, +access.access.operand[0]);
    EXPECT_EQ(0x1234, +sensor.subdivision_header.length);
    EXPECT_EQ(1, +sensor.subdivision_header.access_count);
    EXPECT_EQ(-2, +sensor.conversion.b);
    EXPECT_EQ(SDK_ACCESS_FAILED, static_cast<uint32_t>(sensor.value.value));
    EXPECT_EQ(0x77, sensor.conversion.formulaID);
    EXPECT_EQ(0x12, sensor.value.unit_type);
    EXPECT_STREQ("CPU 1", sensor.subdivision_header.subdivision_name);
    EXPECT_EQ(1u, GetBe32(&tree[8])) << "the head's own numbers stay as they came";

    FakeMediumLog log;
    CX9ZunaIfc client(std::make_unique<FakeMedium>(log));
    log.replies.push_back({0, MakeReply(5, Stream(false, false).b)});
    log.replies.push_back({0, MakeReply(5, {})});
    log.replies.push_back({0, MakeReply(0, {})});
    log.replies.push_back({1, {}});
    const Bytes decoded = tree;
    for (ZUNA_ERROR status : {ZUNA_E_PERM, ZUNA_E_GENERAL, ZUNA_E_GENERAL, ZUNA_E_CONNECTION}) {
        EXPECT_EQ(status, client.ReadSensors(tree.data(), static_cast<uint32_t>(tree.size())));
        EXPECT_EQ(decoded, tree) << "a refusal's tree is not handed over";
    }
}

TEST(SensorListing, AlignsReadingsAndNamesUnits)
{
    const std::string name31(31, 'n');
    Stream s(false, true);
    s.Category(true, true).Category(false, false).Subdivision(false, true).Subdivision(false, true).Subdivision(false, false);
    const auto sensorAt = [&](std::size_t n) { return &s.b[56 + 96 + 118 * n]; };
    std::copy_n("Fan", 4, sensorAt(0) + 6);
    std::copy(name31.begin(), name31.end(), sensorAt(1) + 6);
    PutBe32(sensorAt(1) + 75, 0xFFFFFFF6u), sensorAt(1)[109] = 7;
    std::copy_n("V\x1b", 3, sensorAt(2) + 6);
    PutBe32(sensorAt(2) + 75, 12094), sensorAt(2)[109] = 4;
    std::copy_n("Empty", 6, &s.b[104 + 6]);
    ASSERT_EQ(ZUNA_E_SUCCESS, DecodeSensorStream(s.b.data(), static_cast<uint32_t>(s.b.size()), s.b.data()));
    ::testing::internal::CaptureStdout();
    SDK_sensors_display(s.b.data(), s.b.size());
    EXPECT_EQ("Temperatures\n    Fan:" + std::string(37, ' ') + "access failed\n    " + name31 + ":" +
                  std::string(9, ' ') + "-10 Unrecognized\n    V?:" + std::string(38, ' ') + "12094 milli Volts\nEmpty\n",
              ::testing::internal::GetCapturedStdout());

    const std::pair<uint8_t, const char*> units[] = {{1, "milli Degrees C"}, {9, "VA"}, {41, "revolutions"},
                                                      {76, "qwords"}, {103, "ok/cancel"}, {0, "Unrecognized"}};
    for (const auto& [code, name] : units) {
        char text[30];
        sdk_unit_to_string(code, text, sizeof(text));
        EXPECT_STREQ(name, text) << int(code);
    }
    char small[6];
    sdk_unit_to_string(1, small, sizeof(small));
    EXPECT_STREQ("milli", small);
}

}  // namespace
