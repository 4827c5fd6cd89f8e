// contrib/wireshark/zuna.lua read by the real tshark: sessions with kelcard captured on
// lo by dumpcap, then decoded, compared line by line with the exchange that was made.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "background.h"
#include "../unit/zuna_packets.h"
#include "cksum.h"
#include "harness.h"
#include "zunahdr.h"

namespace e2e {
namespace {

const std::string kLua = std::string(KELVAST_SOURCE_DIR) + "/contrib/wireshark/zuna.lua";

std::string Hex(uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%0*x", digits, value);
    return text;
}

// Value -> name of every line of `text` that `row` matches, up to a line "}".
std::map<std::string, std::string> Names(const std::string& text, const std::string& row, int value, int name)
{
    std::map<std::string, std::string> names;
    std::istringstream lines(text);
    std::smatch m;
    for (std::string line; std::getline(lines, line) && line != "}";)
        if (std::regex_search(line, m, std::regex(row))) names[std::to_string(std::stoul(m[value], nullptr, 0))] = m[name];
    return names;
}

// The Lua tables of command and status names are the headers' constants, without
// their prefixes.
TEST(WireNames, CommandAndStatusNamesAreTheHeaders)
{
    const std::string lua = FileText(kLua), firmware = std::string(KELVAST_SOURCE_DIR) + "/INCLUDE/firmware/";
    const std::string luaRow = R"re(^\s*\[(\w+)\] = "(\w+)",)re";
    const auto commands = Names(FileText(firmware + "zunacmds.h"), R"(^inline constexpr uint16_t ZUNACMD_(\w+) = (\w+);)", 2, 1);
    EXPECT_EQ(commands.size(), 66u);
    EXPECT_EQ(Names(lua.substr(lua.find("local commands = {")), luaRow, 1, 2), commands);
    const auto statuses = Names(FileText(firmware + "zunahdr.h"), R"(^    ZUNA_E_(\w+) = (\w+),)", 2, 1);
    EXPECT_EQ(statuses.size(), 38u);
    EXPECT_EQ(Names(lua.substr(lua.find("local statuses = {")), luaRow, 1, 2), statuses);
}

class Wire : public CardTest {
protected:
    void SetUp() override
    {
        if (std::system("command -v tshark >/dev/null && command -v dumpcap >/dev/null") != 0)
            GTEST_SKIP() << "tshark and dumpcap are not installed (scripts/common.sh installs tshark)";
        if (::geteuid() != 0) GTEST_SKIP() << "capturing on lo needs root";
    }
    // dumpcap on lo for this test's address, until it has opened its file.
    void StartCapture()
    {
        ASSERT_TRUE(m_dumpcap.Start({"/usr/bin/env", "dumpcap", "-i", "lo", "-f",
                                     "host " + card.Address() + " and tcp port 6577", "-w", m_capture.Path()}));
        ASSERT_TRUE(WaitUntil(Millis(20000), [this] { return m_dumpcap.Err().find("File:") != std::string::npos; }))
            << m_dumpcap.Err();
    }
    // tshark over the capture: one line per packet that `filter` keeps, the fields
    // asked for, separated by tabs.
    std::string Fields(const std::string& filter, const std::vector<std::string>& fields, bool lua, RunResult& run)
    {
        KelvastRun tshark;
        tshark.program = "/usr/bin/env";
        tshark.args = {"WIRESHARK_CONFIG_DIR=" + m_capture.Path() + ".config", "tshark", "-n", "-r", m_capture.Path(),
                       "-o", "tcp.analyze_sequence_numbers:FALSE", "-Y", filter, "-T", "fields"};
        if (lua) tshark.args.insert(tshark.args.end(), {"-X", "lua_script:" + kLua});
        for (const std::string& field : fields) tshark.args.insert(tshark.args.end(), {"-e", field});
        run = RunKelvast(tshark);
        return run.out;
    }
    // The capture read with the dissector. The first call waits (bounded) until the
    // FINs of both ends, which follow every packet of the session, are in the file
    // (dumpcap writes what it has read every 100 ms), then stops dumpcap.
    std::string Decoded(const std::string& filter, const std::vector<std::string>& fields)
    {
        RunResult run;
        if (m_dumpcap.Running()) {
            EXPECT_TRUE(WaitUntil(Millis(30000), [&] {
                const std::string fins = Fields("tcp.flags.fin == 1", {"frame.number"}, false, run);
                return std::count(fins.begin(), fins.end(), '\n') >= 2;
            }));
            int status = 0;
            Millis took{};
            EXPECT_TRUE(m_dumpcap.Terminate(Millis(10000), status, took, SIGINT)) << m_dumpcap.Err();
        }
        const std::string text = Fields(filter, fields, true, run);
        EXPECT_TRUE(run.exited && run.status == 0) << Describe(run);
        return text;
    }
    TempFile m_capture{"session.pcapng"};
    Background m_dumpcap;
};

// One scripted session: login, the card name, a file of a fragment and a bit sent and
// read back (the card spoils the second fragment's CRC on the way back), and flash
// block 0 read to compare boot blocks.
TEST_F(Wire, SessionDecodesCommandByCommand)
{
    ASSERT_TRUE(StartCard({"--download-crc-error", "1"}));
    TempFile file("file"), copy("copy"), script("script");
    std::string content(70000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 131 + i / 65536);
    ASSERT_TRUE(file.Write(content));
    ASSERT_TRUE(script.Write("-gen -GetName\n-file -upload " + file.Path() + " /v/f\n-file -download /v/f " +
                             copy.Path() + "\n-flash -CompareBoot " + file.Path() + "\n"));
    StartCapture();
    const RunResult run = Kelvast({"-script", script.Path()});
    ASSERT_TRUE(run.exited && run.status == 1) << Describe(run);

    EXPECT_EQ(Decoded("zuna", {"zuna.command", "zuna.status", "_ws.col.Info"}),
              "0x0001\t0\tGET_CHALLENGE request\n0x0001\t0\tGET_CHALLENGE reply, SUCCESS\n"
              "0x0002\t0\tLOGIN request\n0x0002\t0\tLOGIN reply, SUCCESS\n"
              "0x0907\t0\tGET_CARD_NAME request\n0x0907\t0\tGET_CARD_NAME reply, SUCCESS\n"
              "0x060b\t0\tSEND_FILE_FRAGMENT request\n0x060b\t0\tSEND_FILE_FRAGMENT reply, SUCCESS\n"
              "0x060b\t0\tSEND_FILE_FRAGMENT request\n0x060b\t0\tSEND_FILE_FRAGMENT reply, SUCCESS\n"
              "0x060a\t0\tGET_FILE_FRAGMENT request\n0x060a\t0\tGET_FILE_FRAGMENT reply, SUCCESS\n"
              "0x060a\t0\tGET_FILE_FRAGMENT request\n0x060a\t0\tGET_FILE_FRAGMENT reply, SUCCESS\n"
              "0x0602\t0\tREAD_BLOCK request\n0x0602\t0\tREAD_BLOCK reply, SUCCESS\n");

    const auto crc = [&](std::size_t at, std::size_t len) {
        return calc_cksum32(reinterpret_cast<const unsigned char*>(content.data()) + at, len);
    };
    const std::string first = "0x" + Hex(crc(0, 65536), 8), second = "0x" + Hex(crc(65536, 4464), 8),
                      spoilt = "0x" + Hex(crc(65536, 4464) ^ 1, 8);
    EXPECT_EQ(Decoded("zuna.file.fragment or zuna.block.number",
                      {"zuna.file.fragment", "zuna.file.length", "zuna.file.status", "zuna.file.crc",
                       "zuna.block.number", "_ws.expert.message"}),
              "0\t65536\t6\t" + first + "\t\t\n1\t4464\t5\t" + second + "\t\t\n" +  // upload
                  "0\t0\t5\t0x00000000\t\t\n0\t65536\t5\t" + first + "\t\t\n" +    // download
                  "1\t0\t5\t0x00000000\t\t\n1\t4464\t6\t" + spoilt + "\t\tCRC-32 " + spoilt +
                  " does not match the data (" + second + ")\n" + "\t\t\t\t0\t\n\t\t\t\t0\t\n");

    // The login shows the user and the digest of password and challenge, not the password.
    std::istringstream login(Decoded("zuna.challenge or zuna.login.username",
                                     {"zuna.challenge", "zuna.login.username", "zuna.login.digest"}));
    std::string challengeHex, user, digestHex;
    ASSERT_TRUE(std::getline(login, challengeHex, '\n') && login >> user >> digestHex) << login.str();
    unsigned char challenge[8], digest[16];
    for (int i = 0; i < 8; ++i) challenge[i] = static_cast<unsigned char>(std::stoul(challengeHex.substr(2 * i, 2), nullptr, 16));
    CalculateMD5Digest(digest, challenge, "admin");
    std::string expected;
    for (unsigned char byte : digest) expected += Hex(byte, 2);
    EXPECT_EQ(user, "admin");
    EXPECT_EQ(digestHex, expected);
}

// Bytes that are no packet, as a client might send them: stray bytes before a
// request's signature (skipped, as the card skips them), a request whose header
// checksum is wrong (the card answers CHECKSUM), and a header announcing 16 MiB (the
// card drops the connection; the dissector refuses the header instead of waiting).
TEST_F(Wire, StrayAndRefusedBytesAreMarked)
{
    ASSERT_TRUE(StartCard());
    StartCapture();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(ZUNA_TCP_PORT);
    ASSERT_TRUE(fd >= 0 && ::inet_pton(AF_INET, card.Address().c_str(), &address.sin_addr) == 1 &&
                ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0);
    const auto request = [](uint16_t command, uint32_t dataLen, uint8_t checksumError) {
        zunatest::Bytes packet = zunatest::MakeRequest(command, {}, dataLen);
        packet[offsetof(ZUNA_HEADER, bChecksum)] += checksumError;
        return std::string(packet.begin(), packet.end());
    };
    // Sends `bytes` in one write and waits (bounded) until the card answers or hangs up.
    const auto exchange = [fd](const std::string& bytes) {
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        pollfd ready{fd, POLLIN, 0};
        ASSERT_EQ(::poll(&ready, 1, 10000), 1);
        char reply[ZUNA_MAX_PACKET_LEN];
        ASSERT_GE(::read(fd, reply, sizeof(reply)), 0);
    };
    exchange(std::string(40, 'x') + request(0x0001, 0, 0));
    exchange(request(0x0907, 0, 1));
    exchange(request(0x0907, 16 << 20, 0));
    ::close(fd);

    EXPECT_EQ(Decoded("zuna", {"zuna.command", "zuna.status", "zuna.checksum.status", "_ws.col.Info",
                               "_ws.expert.message"}),
              "0x0001\t0\t1\tGET_CHALLENGE request\t40 bytes before a header signature\n"
              "0x0001\t0\t1\tGET_CHALLENGE reply, SUCCESS\t\n"
              "0x0907\t0\t0\tGET_CARD_NAME request\tThe 32 header bytes sum to 0x01, not 0\n"
              "0x0907\t34\t1\tGET_CARD_NAME reply, CHECKSUM\tThe card answered CHECKSUM\n"
              "\t\t\tRefused ZUNA header\tNot a valid ZUNA header: announces 16777248 bytes, more than a packet "
              "holds (66560)\n");
}

}  // namespace
}  // namespace e2e
