// The entry point: every way a run ends and its exit status, the connection, the
// login and the question asked for invalid words.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <ostream>
#include <string>
#include <vector>

#include "expected_text.h"
#include "harness.h"
#include "zunahdr.h"

namespace e2e {
namespace {

// Parameters print as their case name (ctest shows it beside the test's name).
template <typename Case>
    requires requires(const Case& c) { c.name; }
std::ostream& operator<<(std::ostream& os, const Case& c)
{
    return os << c.name;
}

const std::string kShortHelp = HelpText(KELVAST_BIN, false);

// --- Runs that end before any connection ------------------------------------------

TEST(Entry, NetworkWithoutAddressShowsTheShortHelp)
{
    EXPECT_TRUE(RunMatches(RunWords({"-nw"}), 8, kShortHelp, ""));
}

// An address word beginning with a dash is taken for a missing address: no
// connection is tried.
TEST(Entry, NetworkWithGroupWordForAddressShowsTheShortHelp)
{
    EXPECT_TRUE(RunMatches(RunWords({"-nw", "-sel", "-listall"}), 8, kShortHelp, ""));
}

TEST(Entry, UnreachableCardEndsWithConnectionStatus)
{
    // Nothing listens on this test's own address.
    EXPECT_TRUE(RunMatches(RunWords({"-nw", TestAddress(), "admin", "-gen", "-GetName"}), 33,
                           "Connecting..Error during connect \n", ""));
}

// Only four plain numbers name a card: texts that other parsers read as some address
// (leading zeros, an octal group, a single number, three groups) are refused before
// any connection and before the password.
struct AddressCase {
    const char* name;
    const char* text;
};

class NotADottedAddress : public ::testing::TestWithParam<AddressCase> {};

TEST_P(NotADottedAddress, EndsWithConnectionStatus)
{
    EXPECT_TRUE(RunMatches(RunWords({"-nw", GetParam().text, "admin", "-gen", "-GetName"}), 33,
                           "Connecting..Error during connect \n", ""));
}

INSTANTIATE_TEST_SUITE_P(Texts, NotADottedAddress,
                         ::testing::Values(AddressCase{"LeadingZeros", "010.000.000.005"},
                                           AddressCase{"OctalGroup", "127.0.0133.2"},
                                           AddressCase{"SingleNumber", "2130729730"},
                                           AddressCase{"ThreeGroups", "1.2.3"}),
                         CaseName());

// A first word that is no medium word: the question, no connection; yes shows the
// short help. Either way the status is 8.
struct InvalidFirstWordCase {
    const char* name;
    std::vector<std::string> words;
    std::string answer;
    bool helpShown;
};

class InvalidFirstWord : public ::testing::TestWithParam<InvalidFirstWordCase> {};

TEST_P(InvalidFirstWord, AsksWhetherToShowTheHelp)
{
    const InvalidFirstWordCase& c = GetParam();
    const std::string expected = kInvalidWordsAsked + (c.helpShown ? kShortHelp : "");
    EXPECT_TRUE(RunMatches(RunWords(c.words, c.answer), 8, expected, ""));
}

INSTANTIATE_TEST_SUITE_P(
    Words, InvalidFirstWord,
    ::testing::Values(InvalidFirstWordCase{"UnknownAnsweredNo", {"-foo"}, "n\n", false},
                      InvalidFirstWordCase{"UnknownAnsweredYes", {"-foo", "-gen", "-GetName"}, "y\n", true},
                      InvalidFirstWordCase{"UnknownAnsweredYesInCapitals", {"-foo"}, "YES\n", true},
                      InvalidFirstWordCase{"UnknownNoAnswer", {"-foo"}, "", false},
                      // Only a lower-case h asks for the help.
                      InvalidFirstWordCase{"CapitalH", {"-H"}, "n\n", false},
                      // The medium word's first character is not compared, so it
                      // takes one character before "nw".
                      InvalidFirstWordCase{"MediumWordWithoutItsFirstCharacter",
                                           {"nw", "127.0.39.1", "admin", "-gen", "-GetName"},
                                           "no\n",
                                           false}),
    CaseName());

// --- Runs against a card -------------------------------------------------------------

// A card that takes the connection (the kernel completes it for the listening socket)
// and never answers: the login's first exchange gives up once the tool's reply wait
// (--timeout 2 here; 60 s by default, which the network medium's unit tests check
// with shorter waits) has passed.
TEST(EntryWithSilentCard, EndsWithConnectionStatusAfterTheReplyWait)
{
    const int card = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(ZUNA_TCP_PORT);
    ASSERT_TRUE(card >= 0 && ::inet_pton(AF_INET, TestAddress().c_str(), &address.sin_addr) == 1 &&
                ::bind(card, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 && ::listen(card, 4) == 0);
    KelvastRun run;
    run.args = {"--timeout", "2", "-nw", TestAddress(), "admin", "-gen", "-GetName"};
    run.password = "admin";
    run.limitSeconds = 20;
    const auto start = std::chrono::steady_clock::now();
    const RunResult result = RunKelvast(run);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(RunMatches(result, 33, kConnected + "\nInvalid Username/Password!\n", kPasswordTerminal));
    ::close(card);
}

using EntryWithCard = CardTest;

TEST_F(EntryWithCard, SuccessfulCommandEndsWithTheBanner)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetName"}), 0, kLoggedIn + "ORVA Name : " + kBanner, kPasswordTerminal));
}

// Medium and group words are compared without regard to case, and the medium word's
// first character is not compared at all.
TEST_F(EntryWithCard, MediumAndGroupWordsIgnoreCase)
{
    ASSERT_TRUE(StartCard());
    for (const char* medium : {"-NW", "+nw", "-nW"}) {
        SCOPED_TRACE(medium);
        KelvastRun run;
        run.args = {medium, TestAddress(), "admin", "-GEN", "-getname"};
        run.password = "admin";
        EXPECT_TRUE(RunMatches(RunKelvast(run), 0, kLoggedIn + "ORVA Name : " + kBanner, kPasswordTerminal));
    }
}

// A card failure ends the run with the card's status, after the banner.
TEST_F(EntryWithCard, CardFailureBecomesTheExitStatus)
{
    ASSERT_TRUE(StartCard({"--fail", "0x0907:31"}));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetName"}), 31, kLoggedIn + "Error when getting ORVA Name!\n" + kBanner,
                           kPasswordTerminal));
}

// A client that keeps a connection to the card open and says nothing (another
// administrator at kelvast's password prompt) holds up no other run.
TEST_F(EntryWithCard, RunsWhileAnotherClientHoldsAConnection)
{
    ASSERT_TRUE(StartCard());
    struct Held {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ~Held() { ::close(fd); }
    } held;
    sockaddr_in addr{AF_INET, htons(ZUNA_TCP_PORT), {}, {}};
    ASSERT_EQ(1, ::inet_pton(AF_INET, card.Address().c_str(), &addr.sin_addr));
    ASSERT_EQ(0, ::connect(held.fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetName"}), 0, kLoggedIn + "ORVA Name : " + kBanner, kPasswordTerminal));
}

// Medium, address and user name but no group word: connected, then the short help
// and status 1; no password is asked.
TEST_F(EntryWithCard, NoGroupWordConnectsAndShowsTheShortHelp)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({}), 1, kConnected + kShortHelp, ""));
}

TEST_F(EntryWithCard, WrongPasswordIsRefused)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetName"}, "", "Admin"), 1, kConnected + "\nInvalid Username/Password!\n",
                           kPasswordTerminal));
}

TEST_F(EntryWithCard, UnknownUserIsRefused)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetName"}, "", "admin", "operator"), 1,
                           kConnected + "\nInvalid Username/Password!\n", kPasswordTerminal));
}

// The card's own accounts decide; the longest name and password the login record
// holds (31 characters each) get through.
TEST_F(EntryWithCard, LogsInWithTheCardsAccounts)
{
    const std::string user(31, 'u');
    const std::string password = "P4ss-word_" + std::string(21, 'x');
    ASSERT_EQ(password.size(), 31u);
    ASSERT_TRUE(StartCard({"--user", "ops:S3cret-1", "--user", user + ":" + password}));

    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetName"}, "", "S3cret-1", "ops"), 0,
                           kLoggedIn + "ORVA Name : " + kBanner, kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetName"}, "", password, user), 0, kLoggedIn + "ORVA Name : " + kBanner,
                           kPasswordTerminal));
    // The default account is not there when accounts are given.
    EXPECT_TRUE(
        RunMatches(Kelvast({"-gen", "-GetName"}), 1, kConnected + "\nInvalid Username/Password!\n", kPasswordTerminal));
}

// Ctrl-C or SIGTERM at the password prompt ends kelvast by that signal (130 or 143 in
// the shell) with the terminal's echo back on.
TEST_F(EntryWithCard, SignalAtThePasswordPromptRestoresTheTerminal)
{
    ASSERT_TRUE(StartCard());
    for (const int sig : {SIGINT, SIGTERM}) {
        KelvastRun run;
        run.args = {"-nw", TestAddress(), "admin", "-gen", "-GetName"};
        run.signalAtPrompt = sig;
        const RunResult result = RunKelvast(run);
        EXPECT_EQ(result.signal, sig) << Describe(result);
        EXPECT_TRUE(result.echoAfter) << "signal " << sig;
        EXPECT_EQ(result.out, "Connecting..Connected\n");
        EXPECT_EQ(result.terminal, kPasswordTerminal);
    }
}

// Started with standard input closed, kelvast reads its answer from /dev/null (end of
// input: the reset is cancelled), never from the card's connection.
TEST_F(EntryWithCard, ClosedStandardInputIsNeverTheCardsConnection)
{
    ASSERT_TRUE(StartCard());
    KelvastRun run;
    run.program = "/bin/sh";
    run.args = {"-c", "exec \"$0\" -nw \"$1\" admin -gen -Reset -SaveConfig <&-", KELVAST_BIN, TestAddress()};
    run.password = "admin";
    EXPECT_TRUE(RunMatches(RunKelvast(run), 0,
                           kLoggedIn + "Are you sure you want to reset the ORVA(y/n)?\n\nCommand cancelled by user\n" + kBanner,
                           kPasswordTerminal));
}

TEST_F(EntryWithCard, UserNameLongerThanTheLoginRecordIsRefusedBeforeThePassword)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetName"}, "", "admin", std::string(32, 'u')), 8,
                           kConnected + "The user name is too long: at most 31 characters are allowed!\n", ""));
}

TEST_F(EntryWithCard, PasswordLongerThanTheLoginRecordIsRefused)
{
    ASSERT_TRUE(StartCard({"--user", "admin:" + std::string(31, 'p')}));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetName"}, "", std::string(32, 'p')), 8,
                           kConnected + "\nThe password is too long: at most 31 characters are allowed!\n",
                           kPasswordTerminal));
}

// A challenge the card refuses ends the login with 1, whatever the card's status; a
// refused login record ends with the card's status.
TEST_F(EntryWithCard, RefusedChallengeEndsWithAuthenticationStatus)
{
    ASSERT_TRUE(StartCard({"--fail", "0x0001:3"}));
    EXPECT_TRUE(
        RunMatches(Kelvast({"-gen", "-GetName"}), 1, kConnected + "\nInvalid Username/Password!\n", kPasswordTerminal));
}

TEST_F(EntryWithCard, RefusedLoginEndsWithTheCardsStatus)
{
    ASSERT_TRUE(StartCard({"--fail", "0x0002:5"}));
    EXPECT_TRUE(
        RunMatches(Kelvast({"-gen", "-GetName"}), 5, kConnected + "\nInvalid Username/Password!\n", kPasswordTerminal));
}

// A status above 255 ends the run with 255, never with its low byte (256 would read as
// success): a card's failure and a refused login alike.
TEST_F(EntryWithCard, StatusAbove255EndsWith255)
{
    ASSERT_TRUE(StartCard({"--fail", "0x0907:256"}));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetName"}), 255, kLoggedIn + "Error when getting ORVA Name!\n" + kBanner,
                           kPasswordTerminal));
    ASSERT_TRUE(StartCard({"--fail", "0x0002:256"}));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetName"}), 255, kConnected + "\nInvalid Username/Password!\n",
                           kPasswordTerminal));
}

// Invalid group words are found after the login; the question follows.
struct InvalidGroupCase {
    const char* name;
    std::vector<std::string> words;
    std::string answer;
    bool helpShown;
};

class InvalidGroupWord : public CardTest, public ::testing::WithParamInterface<InvalidGroupCase> {};

TEST_P(InvalidGroupWord, AsksWhetherToShowTheHelp)
{
    const InvalidGroupCase& c = GetParam();
    ASSERT_TRUE(StartCard());
    const std::string expected = kLoggedIn + kInvalidWordsAsked + (c.helpShown ? kShortHelp : "");
    EXPECT_TRUE(RunMatches(Kelvast(c.words, c.answer), 8, expected, kPasswordTerminal));
}

INSTANTIATE_TEST_SUITE_P(Words, InvalidGroupWord,
                         ::testing::Values(InvalidGroupCase{"WithoutDashAnsweredNo", {"gen", "-GetName"}, "n\n", false},
                                           InvalidGroupCase{"WithoutDashAnsweredYes", {"gen", "-GetName"}, "y\n", true},
                                           InvalidGroupCase{
                                               "UnknownAnsweredNo", {"-general", "-GetName"}, "n\n", false},
                                           InvalidGroupCase{"UnknownAnsweredYes", {"-xyz"}, "y\n", true}),
                         CaseName());

}  // namespace
}  // namespace e2e
