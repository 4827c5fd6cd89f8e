// The long options before the medium word, the password file, and the trace's packet
// lines.
#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "fanOut.h"
#include "runOptions.h"
#include "x9zunaifc.h"

namespace {

struct OptionCase {
    std::vector<std::string> words;  // after the program name
    bool parsed;
    int consumed;
    std::string error;  // a part of the reason
};

TEST(RunOptions, ParsesTheLeadingLongOptionsOnly)
{
    const OptionCase cases[] = {
        {{"-nw", "1.2.3.4"}, true, 0, ""},
        {{"--json", "--yes", "--trace", "-cd", "--json"}, true, 3, ""},
        {{"--timeout", "5", "--password-file=pw", "-nw"}, true, 3, ""},
        {{"--timeout=3600", "-cd"}, true, 1, ""},
        {{"--bogus", "-cd"}, false, 0, "unknown option '--bogus'"},
        {{"--json", "--json"}, false, 0, "given twice"},
        {{"--timeout"}, false, 0, "needs a value"},
        {{"--timeout", "0"}, false, 0, "from 1 to 3600"},
        {{"--timeout", "3601"}, false, 0, "from 1 to 3600"},
        {{"--timeout", "5s"}, false, 0, "from 1 to 3600"},
        {{"--json=1"}, false, 0, "takes no value"},
        {{"--password-file="}, false, 0, "empty"},
        {{"--fanout=1024", "-nw"}, true, 1, ""},
        {{"--fanout", "0"}, false, 0, "from 1 to 1024"},
        {{"--fanout", "1025"}, false, 0, "from 1 to 1024"},
    };
    for (const OptionCase& c : cases) {
        std::vector<std::string> words = c.words;
        std::vector<char*> argv{const_cast<char*>("kelvast")};
        for (std::string& w : words) argv.push_back(w.data());
        RunOptions options;
        int consumed = -1;
        std::string error;
        const bool parsed = ParseRunOptions(static_cast<int>(argv.size()), argv.data(), &options, &consumed, &error);
        SCOPED_TRACE(c.words.front());
        EXPECT_EQ(parsed, c.parsed);
        if (parsed) {
            EXPECT_EQ(consumed, c.consumed);
        } else {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        }
    }
}

TEST(RunOptions, KeepsTheValuesGiven)
{
    char a0[] = "kelvast", a1[] = "--timeout", a2[] = "7", a3[] = "--password-file", a4[] = "/x/pw", a5[] = "--json";
    char* argv[] = {a0, a1, a2, a3, a4, a5};
    RunOptions options;
    int consumed = 0;
    std::string error;
    ASSERT_TRUE(ParseRunOptions(6, argv, &options, &consumed, &error));
    EXPECT_EQ(options.timeout, std::chrono::seconds(7));
    EXPECT_EQ(options.passwordFile, "/x/pw");
    EXPECT_TRUE(options.json);
    EXPECT_FALSE(options.yes);
}

struct PasswordCase {
    std::string content;
    mode_t mode;
    bool accepted;
    std::string password;  // or a part of the reason
};

TEST(PasswordFile, FirstLineOfAPrivateRegularFile)
{
    const std::string path = "/tmp/kelvast-pw-" + std::to_string(getpid());
    const PasswordCase cases[] = {
        {"s3cret\nsecond line\n", 0600, true, "s3cret"},
        {"s3cret", 0400, true, "s3cret"},
        {"dos\r\n", 0600, true, "dos"},
        {"", 0600, true, ""},
        {"s3cret\n", 0640, false, "group or others"},
        {"s3cret\n", 0604, false, "group or others"},
        {"s3cret\n", 0602, false, "group or others"},
        {std::string(300, 'x'), 0600, false, "too long"},
    };
    for (const PasswordCase& c : cases) {
        unlink(path.c_str());
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, c.content.data(), c.content.size()), static_cast<ssize_t>(c.content.size()));
        close(fd);
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        char buf[256];
        std::memset(buf, 'z', sizeof buf);
        std::string error;
        const bool ok = ReadPasswordFile(path, buf, sizeof buf, &error);
        SCOPED_TRACE(c.content.substr(0, 10));
        EXPECT_EQ(ok, c.accepted);
        if (ok) {
            EXPECT_EQ(std::string(buf), c.password);
        } else {
            EXPECT_NE(error.find(c.password), std::string::npos) << error;
        }
        // Nothing of the file is left in the buffer past the password.
        if (ok || c.content.size() > sizeof buf) {
            for (std::size_t i = std::strlen(buf); i < sizeof buf; ++i) ASSERT_EQ(buf[i], '\0') << i;
        }
    }
    unlink(path.c_str());
    char buf[256];
    std::string error;
    EXPECT_FALSE(ReadPasswordFile("/tmp", buf, sizeof buf, &error));
    EXPECT_EQ(error, "not a regular file");
    EXPECT_FALSE(ReadPasswordFile(path, buf, sizeof buf, &error));
}

TEST(Trace, PacketLinesNeverShowTheLoginDigest)
{
    unsigned char packet[32 + 72] = {0x54, 0x41, 0x56, 0x20, 0x55, 0xAA, 0x5A, 0xA5, 0, 4, 32};
    packet[12] = 72;  // data length
    packet[20] = 0x02;  // command 0x0002
    std::memcpy(packet + 32, "admin", 5);
    std::memset(packet + 64, 0xAB, 16);  // the digest
    const std::string login = DescribeZunaPacket(true, packet, sizeof packet);
    EXPECT_EQ(login, "request command 0x0002 status 0 data 72 header 32 version 0.4 api 0.0 user \"admin\" digest <hidden>");

    packet[20] = 0x07;
    packet[21] = 0x09;
    packet[22] = 5;  // status
    EXPECT_EQ(DescribeZunaPacket(false, packet, 32 + 20),
              "reply   command 0x0907 status 5 data 72 header 32 version 0.4 api 0.0: 61 64 6d 69 6e 00 00 00 00 00 00 "
              "00 00 00 00 00 ...");
    EXPECT_EQ(DescribeZunaPacket(false, packet, 10), "reply 10 bytes, shorter than a header");
}

}  // namespace

// The card list word: what expands, and what is refused with the line it is on.
TEST(CardList, ExpandsRangesAndFilesAndRefusesBadLines)
{
    std::vector<std::string> cards;
    std::string error;
    EXPECT_FALSE(NamesCardList("10.0.0.1"));
    EXPECT_FALSE(NamesCardList("card-7"));
    EXPECT_TRUE(NamesCardList("10.0.0.1-3"));
    ASSERT_TRUE(ExpandCardList("10.0.0.254-255", &cards, &error)) << error;
    EXPECT_EQ(cards, (std::vector<std::string>{"10.0.0.254", "10.0.0.255"}));
    ASSERT_TRUE(ExpandCardList("10.0.0.7-10.0.0.8", &cards, &error)) << error;
    EXPECT_EQ(cards, (std::vector<std::string>{"10.0.0.7", "10.0.0.8"}));
    ASSERT_TRUE(ParseCardListText("\r\n 10.0.0.2\t# a\r\n#10.0.0.2\n10.0.0.3", "L", &cards, &error)) << error;
    EXPECT_EQ(cards, (std::vector<std::string>{"10.0.0.2", "10.0.0.3"}));

    const std::pair<std::string, std::string> refused[] = {
        {"10.0.0.1-256", "card range '10.0.0.1-256' is not a range"},
        {"10.0.0.1-10.0.1.2", "card range '10.0.0.1-10.0.1.2' is not a range"},
        {"10.0.0.1-01", "is not a range"},
        {"010.0.0.1-2", "is not an IPv4 address"},
    };
    for (const auto& [word, reason] : refused) {
        EXPECT_FALSE(ExpandCardList(word, &cards, &error)) << word;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    EXPECT_FALSE(ParseCardListText("\n10.0.0.1-9\n10.0.0.4\n", "L", &cards, &error));
    EXPECT_EQ(error, "L line 3: 10.0.0.4 is given twice (first on line 2)");
    EXPECT_FALSE(ParseCardListText("#\n", "L", &cards, &error));
    EXPECT_EQ(error, "L: names no card");
    std::string many;
    for (int i = 0; i <= 256; ++i) many += "10." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ".0-255\n";
    EXPECT_FALSE(ParseCardListText(many, "L", &cards, &error));
    EXPECT_EQ(error, "L: names more than 65536 cards");
}
