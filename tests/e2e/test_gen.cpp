// The -gen group: firmware information, card name, SMTP settings, clock and resets,
// each on its success path and when the card refuses it. The card keeps its state
// between runs, so a setting is checked by reading it back in a later run.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "expected_text.h"
#include "harness.h"

namespace e2e {
namespace {

// Parameters print as their case name (ctest shows it beside the test's name).
template <typename Case>
    requires requires(const Case& c) { c.name; }
std::ostream& operator<<(std::ostream& os, const Case& c)
{
    return os << c.name;
}

using Words = std::vector<std::string>;

// The card's clock, frozen: Sun Sep 13 12:26:40 2020 UTC.
const std::vector<std::string> kFrozenAt2020 = {"--clock", "1600000000", "--frozen-clock"};
const std::string kTime2020 = "Time          : Sun Sep 13 12:26:40 2020\n";

const std::string kResetQuestion = "Are you sure you want to reset the ORVA(y/n)?\n";
const std::string kRollbackText =
    "You may be rolling back the time on the card. This involves a reset of the \n"
    "card to ensure proper functionality. To rollback the time use FORCE option.";
const std::string kInvalidCardName =
    "Invalid card name!\nMaximum allowed card name legth is 32 and should not contain any special sharacters\n";

// What a logged-in run prints around the command's own output.
std::string Accepted(const std::string& commandOutput)
{
    return kLoggedIn + commandOutput + kBanner;
}

std::string Refused(const std::string& commandOutput)
{
    return kLoggedIn + commandOutput + kInvalidWordsAsked;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

using Gen = CardTest;

// --- Firmware information ------------------------------------------------------------

TEST_F(Gen, FirmwareInfoPrintsTheCardsTexts)
{
    ASSERT_TRUE(StartCard({"--fw-version", "9.8.7", "--fw-date", "Jan 02 2024 12:00:00"}));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-fwInfo"}), 0,
                           Accepted("Firmware Version: 9.8.7\nFirmware Build Date: Jan 02 2024 12:00:00\n"),
                           kPasswordTerminal));
}

// The card's texts never drive the terminal: each control character but the line end
// and tab shows as '?' (here an escape sequence that would retitle the window, a
// carriage return and a DEL).
TEST_F(Gen, ControlCharactersOfTheCardsTextsShowAsQuestionMarks)
{
    ASSERT_TRUE(StartCard({"--fw-version", "\x1b]0;owned\x07", "--fw-date", "Jan\t02\r2024\x7f"}));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-fwInfo"}), 0,
                           Accepted("Firmware Version: ?]0;owned?\nFirmware Build Date: Jan\t02?2024?\n"),
                           kPasswordTerminal));
}

// --- Card name -----------------------------------------------------------------------

TEST_F(Gen, NewCardHasAnEmptyName)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetName"}), 0, Accepted("ORVA Name : "), kPasswordTerminal));
}

struct CardNameCase {
    const char* name;
    std::string cardName;
    bool valid;
};

class SetName : public CardTest, public ::testing::WithParamInterface<CardNameCase> {};

// A valid name replaces the card's; an invalid one is reported, changes nothing and
// ends as invalid words (the question, 8).
TEST_P(SetName, SetsValidNamesOnly)
{
    const CardNameCase& c = GetParam();
    ASSERT_TRUE(StartCard());
    ASSERT_TRUE(RunMatches(Kelvast({"-gen", "-SetName", "before"}), 0, Accepted(""), kPasswordTerminal));

    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-SetName", c.cardName}, "n\n"), c.valid ? 0 : 8,
                           c.valid ? Accepted("") : Refused(kInvalidCardName), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetName"}), 0,
                           Accepted("ORVA Name : " + (c.valid ? c.cardName : std::string("before"))),
                           kPasswordTerminal));
}

INSTANTIATE_TEST_SUITE_P(
    Names, SetName,
    ::testing::Values(CardNameCase{"LettersDigitsDashUnderscoreStar", "srv_01-A*", true},
                      CardNameCase{"ThirtyTwoCharacters", "abcdefghijklmnopqrstuvwxyz-_*789", true},
                      CardNameCase{"Empty", "", true},
                      CardNameCase{"ThirtyThreeCharacters", "abcdefghijklmnopqrstuvwxyz-_*7890", false},
                      CardNameCase{"Dot", "srv.01", false}, CardNameCase{"Blank", "srv 01", false},
                      CardNameCase{"NonAscii", "caf\xc3\xa9", false}),
    CaseName());

// --- SMTP settings -------------------------------------------------------------------

std::string SmtpText(const std::string& server1, const std::string& mail1, const std::string& server2,
                     const std::string& mail2)
{
    return "SMTP Server 1 : " + server1 + "\nMail Id 1     : " + mail1 + "\nSMTP Server 2 : " + server2 +
           "\nMail Id 2     : " + mail2 + "\n";
}

TEST_F(Gen, SmtpSettingsAreKeptByTheCard)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetSmtpCfg"}), 0, Accepted(SmtpText("", "", "", "")), kPasswordTerminal));

    // Fifteen characters fill a server field.
    EXPECT_TRUE(RunMatches(
        Kelvast({"-gen", "-SetSmtpCfg", "10.0.0.25", "ops@example.com", "192.168.100.200", "backup@example.org"}), 0,
        Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-GEN", "-getsmtpcfg"}), 0,
                           Accepted(SmtpText("10.0.0.25", "ops@example.com", "192.168.100.200", "backup@example.org")),
                           kPasswordTerminal));
}

// A value longer than its field is refused before anything is sent: the question
// follows, and the card's settings stay as they were.
TEST_F(Gen, SmtpValuesLongerThanTheirFieldsAreRefused)
{
    ASSERT_TRUE(StartCard());
    ASSERT_TRUE(RunMatches(Kelvast({"-gen", "-SetSmtpCfg", "10.0.0.1", "a@b.c", "10.0.0.2", "d@e.f"}), 0, Accepted(""),
                           kPasswordTerminal));

    const std::string longServer = "192.168.100.2001";                    // 16 characters
    const std::string longMail = std::string(244, 'm') + "@example.org";  // 256 characters
    struct Row {
        Words values;
        std::string message;
    };
    const Row rows[] = {
        {{longServer, "x@y.z", "10.0.0.3", "x@y.z"}, "Invalid SMTP server 1: at most 15 characters are allowed!\n"},
        {{"10.0.0.3", longMail, "10.0.0.3", "x@y.z"}, "Invalid mail id 1: at most 255 characters are allowed!\n"},
        {{"10.0.0.3", "x@y.z", longServer, "x@y.z"}, "Invalid SMTP server 2: at most 15 characters are allowed!\n"},
        {{"10.0.0.3", "x@y.z", "10.0.0.3", longMail}, "Invalid mail id 2: at most 255 characters are allowed!\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        EXPECT_TRUE(RunMatches(Kelvast(Concat({"-gen", "-SetSmtpCfg"}, row.values), "n\n"), 8, Refused(row.message),
                               kPasswordTerminal));
    }
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetSmtpCfg"}), 0,
                           Accepted(SmtpText("10.0.0.1", "a@b.c", "10.0.0.2", "d@e.f")), kPasswordTerminal));
}

// --- Clock ---------------------------------------------------------------------------

TEST_F(Gen, GetTimeShowsTheCardsClock)
{
    ASSERT_TRUE(StartCard(kFrozenAt2020));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetTime"}), 0, Accepted(kTime2020), kPasswordTerminal));
}

// Dates are read and shown in the local time zone (here five hours west of UTC,
// without daylight-saving time).
TEST_F(Gen, ClockDatesAreLocalTime)
{
    ASSERT_TRUE(StartCard(kFrozenAt2020));
    auto inZone = [this](const Words& words) {
        KelvastRun run;
        run.args = Concat({"-nw", card.Address(), "admin"}, words);
        run.password = "admin";
        run.timeZone = "XST5";
        return RunKelvast(run);
    };
    EXPECT_TRUE(RunMatches(inZone({"-gen", "-GetTime"}), 0, Accepted("Time          : Sun Sep 13 07:26:40 2020\n"),
                           kPasswordTerminal));
    EXPECT_TRUE(RunMatches(inZone({"-gen", "-SetTime", "010112002021.30"}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetTime"}), 0, Accepted("Time          : Fri Jan  1 17:00:30 2021\n"),
                           kPasswordTerminal));
}

TEST_F(Gen, SetTimeForwardMovesTheClock)
{
    ASSERT_TRUE(StartCard(kFrozenAt2020));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-SetTime", "010112002021.30"}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetTime"}), 0, Accepted("Time          : Fri Jan  1 12:00:30 2021\n"),
                           kPasswordTerminal));
}

// The card's own time is no rollback.
TEST_F(Gen, SetTimeToTheCardsTimeIsAccepted)
{
    ASSERT_TRUE(StartCard(kFrozenAt2020));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-SetTime", "091312262020.40"}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetTime"}), 0, Accepted(kTime2020), kPasswordTerminal));
}

// One second back without Force: refused by the tool with status 26, clock kept.
TEST_F(Gen, SetTimeBackwardsWithoutForceIsRefused)
{
    ASSERT_TRUE(StartCard(kFrozenAt2020));
    EXPECT_TRUE(
        RunMatches(Kelvast({"-gen", "-SetTime", "091312262020.39"}), 26, Accepted(kRollbackText), kPasswordTerminal));
    // A date past 2038 fits the clock field, but the card compares times as signed
    // 32-bit numbers: to it this is a move back too.
    EXPECT_TRUE(
        RunMatches(Kelvast({"-gen", "-SetTime", "030112002100.00"}), 26, Accepted(kRollbackText), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetTime"}), 0, Accepted(kTime2020), kPasswordTerminal));
}

// With Force (in any case) the card takes the earlier time and restarts.
TEST_F(Gen, SetTimeBackwardsWithForceResetsTheCard)
{
    ASSERT_TRUE(StartCard(kFrozenAt2020));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-SetTime", "010112002020.00", "force"}), 0,
                           Accepted("Card has been reset.\n"), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetTime"}), 0, Accepted("Time          : Wed Jan  1 12:00:00 2020\n"),
                           kPasswordTerminal));
}

// Force also moves the clock forward.
TEST_F(Gen, SetTimeForwardWithForceIsAccepted)
{
    ASSERT_TRUE(StartCard(kFrozenAt2020));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-SetTime", "010112002021.30", "Force"}), 0,
                           Accepted("Card has been reset.\n"), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetTime"}), 0, Accepted("Time          : Fri Jan  1 12:00:30 2021\n"),
                           kPasswordTerminal));
}

// A fifth word other than Force: invalid words after the date was checked.
TEST_F(Gen, SetTimeWithAnotherWordThanForceIsInvalid)
{
    ASSERT_TRUE(StartCard(kFrozenAt2020));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-SetTime", "010112002020.00", "Now"}), 8, Refused(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetTime"}), 0, Accepted(kTime2020), kPasswordTerminal));
}

// Good dates: the card's clock reads them back (card frozen at 2000-01-01 00:00:00).
struct GoodDateCase {
    const char* name;
    const char* word;
    const char* shown;  // asctime text
};

class SetTimeGoodDate : public CardTest, public ::testing::WithParamInterface<GoodDateCase> {};

TEST_P(SetTimeGoodDate, CardShowsTheDate)
{
    const GoodDateCase& c = GetParam();
    ASSERT_TRUE(StartCard({"--clock", "946684800", "--frozen-clock"}));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-SetTime", c.word}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetTime"}), 0, Accepted(std::string("Time          : ") + c.shown),
                           kPasswordTerminal));
}

INSTANTIATE_TEST_SUITE_P(
    Dates, SetTimeGoodDate,
    ::testing::Values(GoodDateCase{"LeapDay2000", "022912002000.00", "Tue Feb 29 12:00:00 2000\n"},
                      GoodDateCase{"FirstOfMarch", "030112002000.00", "Wed Mar  1 12:00:00 2000\n"},
                      GoodDateCase{"LastSecondOf2037", "123123592037.59", "Thu Dec 31 23:59:59 2037\n"}),
    CaseName());

// Bad dates: both forms report them as invalid words (the question, 8). The card's
// clock is not touched.
struct BadDateCase {
    const char* name;
    const char* word;
};

class SetTimeBadDate : public CardTest, public ::testing::WithParamInterface<BadDateCase> {};

TEST_P(SetTimeBadDate, IsRefusedInBothForms)
{
    const char* word = GetParam().word;
    ASSERT_TRUE(StartCard(kFrozenAt2020));
    EXPECT_TRUE(
        RunMatches(Kelvast({"-gen", "-SetTime", word}, "n\n"), 8, Refused("Invalid date!\n"), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-SetTime", word, "Force"}, "n\n"), 8, Refused("Invalid date!\n"),
                           kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetTime"}), 0, Accepted(kTime2020), kPasswordTerminal));
}

INSTANTIATE_TEST_SUITE_P(
    Dates, SetTimeBadDate,
    ::testing::Values(BadDateCase{"LeapDayOfCommonYear", "022912002021.00"}, BadDateCase{"Hour24", "123124002024.00"},
                      BadDateCase{"April31", "043112002024.00"}, BadDateCase{"Month13", "130112002024.00"},
                      BadDateCase{"Second60", "010112002024.60"}, BadDateCase{"Minute60", "010112602024.00"},
                      BadDateCase{"Day00", "010012002024.00"}, BadDateCase{"SecondsMissing", "010112002024"},
                      BadDateCase{"PastTheClockField", "020706282106.16"},
                      BadDateCase{"NotADate", "tomorrow"}),
    CaseName());

// --- Resets --------------------------------------------------------------------------

// Yes resets the card of the kind asked for: saving keeps a name set since the last
// save, not saving loses it. (Each reset takes the tool some seconds.)
struct ResetCase {
    const char* name;
    const char* kind;
    const char* answer;
    const char* nameAfter;
};

class ResetConfirmed : public CardTest, public ::testing::WithParamInterface<ResetCase> {};

TEST_P(ResetConfirmed, ResetsTheCard)
{
    const ResetCase& c = GetParam();
    ASSERT_TRUE(StartCard());
    ASSERT_TRUE(RunMatches(Kelvast({"-gen", "-SetName", "unsaved"}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-Reset", c.kind}, c.answer), 0,
                           Accepted(kResetQuestion + "The ORVA has been reset successfully !\n"), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetName"}), 0, Accepted(std::string("ORVA Name : ") + c.nameAfter),
                           kPasswordTerminal));
}

INSTANTIATE_TEST_SUITE_P(Kinds, ResetConfirmed,
                         ::testing::Values(ResetCase{"SaveConfig", "-SaveConfig", "y\n", "unsaved"},
                                           // The first character of the kind word is not examined.
                                           ResetCase{"NoConfig", "xnoconfig", "Yes\n", ""}),
                         CaseName());

// Anything but yes cancels and nothing is sent: a name set since the card's last save
// would not survive a reset that does not save.
struct ResetCancelCase {
    const char* name;
    const char* kind;
    const char* answer;
};

class ResetCancelled : public CardTest, public ::testing::WithParamInterface<ResetCancelCase> {};

TEST_P(ResetCancelled, PrintsCancelledAndEndsWithZero)
{
    const ResetCancelCase& c = GetParam();
    ASSERT_TRUE(StartCard());
    ASSERT_TRUE(RunMatches(Kelvast({"-gen", "-SetName", "unsaved"}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-Reset", c.kind}, c.answer), 0,
                           Accepted(kResetQuestion + "\nCommand cancelled by user\n"), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-GetName"}), 0, Accepted("ORVA Name : unsaved"), kPasswordTerminal));
}

INSTANTIATE_TEST_SUITE_P(Answers, ResetCancelled,
                         ::testing::Values(ResetCancelCase{"SaveConfigAnsweredN", "-SaveConfig", "n\n"},
                                           ResetCancelCase{"NoConfigAnsweredNo", "-noconfig", "no\n"},
                                           // The first character of the kind word is not examined.
                                           ResetCancelCase{"AnyFirstCharacter", "xNoConfig", "n\n"},
                                           ResetCancelCase{"NoAnswer", "-SaveConfig", ""}),
                         CaseName());

TEST_F(Gen, ResetOfAnUnknownKindIsInvalid)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast({"-gen", "-Reset", "-Now"}, "n\n"), 8, Refused("Invalid arguments...\n"),
                           kPasswordTerminal));
}

// --- Card failures -------------------------------------------------------------------

// Each sub-command reports a refusal with its own line and ends with the status.
struct FailureCase {
    const char* name;
    std::string fail;  // CODE:STATUS for the card
    Words words;
    std::string input;
    std::string output;  // between the login line and the banner
    int status;
};

class GenCardFailure : public CardTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(GenCardFailure, ReportsTheFailureAndItsStatus)
{
    const FailureCase& c = GetParam();
    ASSERT_TRUE(StartCard(Concat(kFrozenAt2020, {"--fail", c.fail})));
    EXPECT_TRUE(
        RunMatches(Kelvast(Concat({"-gen"}, c.words), c.input), c.status, Accepted(c.output), kPasswordTerminal));
}

// One run here; the group's other refusals are rows of the handlers' unit table.
INSTANTIATE_TEST_SUITE_P(
    Failures, GenCardFailure,
    ::testing::Values(
        FailureCase{"SetTime", "0x090A:5", {"-SetTime", "010112002021.00"}, "", "Error while setting time!\n", 5}),
    CaseName());

// --- Invalid words -------------------------------------------------------------------

struct InvalidWordsCase {
    const char* name;
    Words words;
};

class GenInvalidWords : public CardTest, public ::testing::WithParamInterface<InvalidWordsCase> {};

TEST_P(GenInvalidWords, AsksWhetherToShowTheHelp)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(RunMatches(Kelvast(Concat({"-gen"}, GetParam().words), "n\n"), 8, Refused(""), kPasswordTerminal));
}

INSTANTIATE_TEST_SUITE_P(
    Words, GenInvalidWords,
    ::testing::Values(InvalidWordsCase{"NoSubCommand", {}}, InvalidWordsCase{"SubCommandWithoutDash", {"GetName"}},
                      InvalidWordsCase{"UnknownSubCommand", {"-GetCardName"}},
                      InvalidWordsCase{"FwInfoWithExtraWord", {"-fwInfo", "now"}},
                      InvalidWordsCase{"GetTimeWithExtraWord", {"-GetTime", "now"}},
                      InvalidWordsCase{"SetNameWithoutName", {"-SetName"}},
                      InvalidWordsCase{"SetTimeWithoutDate", {"-SetTime"}},
                      InvalidWordsCase{"ResetWithoutKind", {"-Reset"}},
                      InvalidWordsCase{"SetSmtpCfgWithThreeValues", {"-SetSmtpCfg", "10.0.0.1", "a@b.c", "10.0.0.2"}}),
    CaseName());

}  // namespace
}  // namespace e2e
