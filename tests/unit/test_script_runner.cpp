// The script runner over a card served on TCP, with the network medium's waits made
// short: what each kind of line does, down to the bytes printed and the result.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <string>

#include "card_model.h"
#include "tcp_server.h"
#include "x9networkLinux.h"
#include "zunaCmd.h"
#include "tool_run.h"

namespace {

using namespace std::chrono_literals;

const std::string kRule = "****************************************************\n";
const std::string kHbLine = "Heartbeat interval is 300 seconds\n";

std::string Ran(const std::string& line, const std::string& output)
{
    return kRule + "Processing script line : " + line + "\n" + kRule + output + kRule + "\n\n";
}

std::string Rejected(const std::string& line)
{
    return kRule + "Processing script line : " + line + "\n" + kRule + "Error processing Command Script line : " + line +
           "\n";
}

const std::string kMail1 = std::string(130, 'a') + "@example.org";
const std::string kMail2 = std::string(130, 'b') + "@example.org";
// 303 characters: cut at 254, the second address would lose its domain.
const std::string kSmtpLine = "-gen -SetSmtpCfg 10.0.0.25 " + kMail1 + " 10.0.0.26 " + kMail2 + "       \n";
const std::string kSmtpShown = "SMTP Server 1 : 10.0.0.25\nMail Id 1     : " + kMail1 +
                               "\nSMTP Server 2 : 10.0.0.26\nMail Id 2     : " + kMail2 + "\n";
const std::string kLongWordLine = "-gen -SetName " + std::string(255, 'n') + "\n";
// As many characters as the word table holds.
const std::string kTableFull = "-HB -GetHB" + std::string(kScriptMaxLineChars - 10, ' ');

struct ScriptRunCase {
    const char* name;
    int octet;            // the card listens on 127.0.53.octet
    std::string text;     // the script; empty: the script is a directory
    int result;
    std::string output;   // "%s": the script's path
};

void PrintTo(const ScriptRunCase& c, std::ostream* os)
{
    *os << c.name;
}

class ScriptRunner : public ::testing::TestWithParam<ScriptRunCase> {};

TEST_P(ScriptRunner, RunsEachLineWholeOrNotAtAll)
{
    const ScriptRunCase& c = GetParam();
    const std::string address = "127.0.53." + std::to_string(c.octet);
    kelcard::CardModel card;
    kelcard::TcpServer server(card, address);
    server.AnswerLate(0x0907, 450ms);  // after the reply wait, within the next line's
    ASSERT_TRUE(server.Start());
    CX9ZunaIfc client(std::make_unique<CX9Network_Linux>(address.c_str(), ZUNA_TCP_PORT, X9NetworkWaits{2s, 300ms}));
    ASSERT_EQ(client.Connect(), ZUNA_E_SUCCESS);
    ASSERT_EQ(client.ZunaLogin("admin", "admin"), ZUNA_E_SUCCESS);

    char dir[] = "/tmp/kelvast-unit-script-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    std::string path = dir;
    if (!c.text.empty()) {
        path += "/script";
        std::FILE* f = std::fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fwrite(c.text.data(), 1, c.text.size(), f);
        std::fclose(f);
    }
    std::string words[] = {"kelvast", "-nw", address, "admin", "-script", path};
    char* argv[] = {words[0].data(), words[1].data(), words[2].data(), words[3].data(), words[4].data(),
                    words[5].data(), nullptr};
    ToolRun tool(client);
    ::testing::internal::CaptureStdout();
    const Outcome outcome = handleScript(tool.run, 6, argv, kScriptNetwork);
    const std::string out = ::testing::internal::GetCapturedStdout();
    if (!c.text.empty()) ::unlink(path.c_str());
    ::rmdir(dir);

    // -1: invalid words with the help question; a refused line ends the run with 8 without it.
    EXPECT_EQ(outcome.offersHelp() ? -1 : ExitStatusOf(outcome), c.result);
    std::string expected = c.output;
    if (const auto at = expected.find("%s"); at != std::string::npos) expected.replace(at, 2, path);
    EXPECT_EQ(out, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ScriptRunner,
    ::testing::Values(
        // The late answer to line 1 is not taken for line 2's: the connection is closed.
        ScriptRunCase{"LateReplyThenASecondLine", 1, "-gen -GetName\n-gen -GetName\n", ZUNA_E_CONNECTION,
                      Ran("-gen -GetName\n", "Error when getting ORVA Name!\n") +
                          Ran("-gen -GetName\n", "Error when getting ORVA Name!\n")},
        ScriptRunCase{"LineLongerThanARead", 2, kSmtpLine + "-gen -GetSmtpCfg\n", 0,
                      Ran(kSmtpLine, "") + Ran("-gen -GetSmtpCfg\n", kSmtpShown)},
        ScriptRunCase{"WordLongerThanItsSlot", 3, kLongWordLine + "-HB -GetHB\n", kExitInvalidWords,
                      Rejected(kLongWordLine)},
        ScriptRunCase{"LineFillingTheWordTable", 8, kTableFull + "\n", 0, Ran(kTableFull + "\n", kHbLine)},
        ScriptRunCase{"LineLongerThanTheWordTable", 4, kTableFull + " \n", kExitInvalidWords,
                      Rejected(kTableFull + " ")},
        ScriptRunCase{"Nul", 5, std::string("-HB -GetHB") + '\0' + " -x\n\n-HB -GetHB\n", kExitInvalidWords,
                      Rejected("-HB -GetHB")},
        ScriptRunCase{"TrailingBlanksPastColumn254", 6, "-HB -GetHB" + std::string(300, ' ') + "\n-HB -GetHB\n", 0,
                      Ran("-HB -GetHB" + std::string(300, ' ') + "\n", kHbLine) + Ran("-HB -GetHB\n", kHbLine)},
        ScriptRunCase{"Directory", 7, "", -1, "canot open '%s':No such  file\n"}),
    [](const ::testing::TestParamInfo<ScriptRunCase>& info) { return std::string(info.param.name); });

}  // namespace
