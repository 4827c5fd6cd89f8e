// The text primitives that the client, the tool and the card share: dotted IPv4, MAC
// text and fixed fields.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fieldtext.h"
#include "network.h"

namespace {

TEST(DottedIPv4, TakesOnlyPlainDottedDecimal)
{
    const struct {
        const char* text;
        bool ok;
        uint32_t address;
    } cases[] = {
        {"10.0.0.5", true, 0x0A000005},     {"0.0.0.0", true, 0},
        {"255.255.255.255", true, 0xFFFFFFFF}, {"127.0.133.2", true, 0x7F008502},
        {"010.000.000.005", false, 0},      {"127.0.0133.2", false, 0},
        {"2130729730", false, 0},           {"1.2.3", false, 0},
        {"1.2.3.4.5", false, 0},            {"256.0.0.1", false, 0},
        {"1.2.3.4 ", false, 0},             {" 1.2.3.4", false, 0},
        {"1..3.4", false, 0},               {"", false, 0},
        {"0x7f.0.0.1", false, 0},           {"1.2.3.-4", false, 0},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseDottedIPv4(c.text, std::strlen(c.text));
        EXPECT_EQ(parsed.has_value(), c.ok) << c.text;
        if (c.ok && parsed) {
            EXPECT_EQ(*parsed, c.address) << c.text;
        }
    }
    // The length bounds the reading: a field without its NUL is read no further.
    EXPECT_EQ(ParseDottedIPv4("10.0.0.59", 8).value_or(0), 0x0A000005u);
}

TEST(MacText, ParsesPairsWithOrWithoutSeparatorChecks)
{
    unsigned char mac[MAC_ADDRESS_LEN] = {};
    ASSERT_TRUE(ParseMacPairs("00:2a:3B:4c:5D:1d", mac, true));
    const unsigned char expected[] = {0x00, 0x2A, 0x3B, 0x4C, 0x5D, 0x1D};
    EXPECT_EQ(0, std::memcmp(mac, expected, sizeof(mac)));
    EXPECT_TRUE(ParseMacPairs("00-2A-3B-4C-5D-1D", mac, false));
    EXPECT_TRUE(ParseMacPairs("00:2A:3B:4C:5D:1Dxyz", mac, true));  // the rest is not examined

    unsigned char untouched[MAC_ADDRESS_LEN] = {1, 2, 3, 4, 5, 6};
    for (const char* bad : {"00-2A-3B-4C-5D-1D", "00:2A:3B:4C:5D", "00:2A:3B:4C:5D:1", "0:2A:3B:4C:5D:1D",
                            "00:2A:3G:4C:5D:1D", "", "00:2A:3B:4C:5D:"}) {
        EXPECT_FALSE(ParseMacPairs(bad, untouched, true)) << bad;
    }
    EXPECT_FALSE(ParseMacPairs("00:2A", untouched, false));  // ends before the third pair
    EXPECT_EQ(untouched[0], 1);

    unsigned char text[MAC_TEXT_LEN];
    form_mac_string(text, expected, MAC_ADDRESS_LEN);
    EXPECT_STREQ(reinterpret_cast<const char*>(text), "00:2A:3B:4C:5D:1D");
}

TEST(FieldText, ReadsAndWritesWithinTheField)
{
    char full[4] = {'a', 'b', 'c', 'd'};  // no NUL: the card filled the field
    EXPECT_EQ(FieldLen(full), 4);
    EXPECT_EQ(TextOfField(full, sizeof(full)), "abcd");
    EXPECT_EQ(TerminatedTextLength(full, sizeof(full)), -1);

    char field[4] = {'x', 'x', 'x', 'x'};
    EXPECT_FALSE(PutTextField(field, "abcd"));  // no room for the NUL: never cut short
    EXPECT_EQ(field[0], 'x');
    EXPECT_TRUE(PutTextField(field, "abc"));
    EXPECT_STREQ(field, "abc");
    EXPECT_TRUE(PutTextField(field, ""));
    EXPECT_EQ(std::string(field, 4), std::string(4, '\0'));

    char copy[3];
    CopyTextField(copy, sizeof(copy), "hello", 5);
    EXPECT_STREQ(copy, "he");
    CopyTextField(copy, sizeof(copy), "h\0llo", 5);
    EXPECT_EQ(std::string(copy, 3), std::string("h\0\0", 3));
}

}  // namespace
