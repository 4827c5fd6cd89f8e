// The -sel group: the card's event log listed, described, added to, deleted from,
// cleared, and its fill policy read and set; each on its success path and when the
// card refuses. Record times come from a frozen card clock, so every listing is
// compared byte for byte (the event data lines show a '.' for each zero byte).
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "command_runs.h"
#include "expected_text.h"
#include "harness.h"

namespace e2e {
namespace {

using groups::Accepted;
using groups::Concat;
using groups::Refused;
using groups::Words;
using groups::operator<<;

// The card's clock, frozen: Sun Sep 13 12:26:40 2020 UTC.
const Words kFrozenAt2020 = {"--clock", "1600000000", "--frozen-clock"};
const std::string kEpochText = "Thu Jan  1 00:00:00 1970";

// One listed record: what the card holds and how the tool shows it.
struct Record {
    unsigned number;
    std::string time;  // asctime text without its line end
    unsigned eventId;
    std::optional<std::string> severity;  // the severity line's word, if one is shown
    std::string text;                     // the card's description
};

std::string Hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%x", value);
    return text;
}

std::string RecordText(const Record& r, bool withDescription)
{
    std::string t = "\nRecord Number : " + std::to_string(r.number) + " \n";
    t += "Time          : " + r.time + "\n";
    t += "Event Id      : " + Hex(r.eventId) + " \n";
    t += "Module Number : " + std::to_string(r.eventId >> 8) + " \n";
    t += "Event Number  : " + std::to_string(r.eventId & 0xFF) + " \n";
    if (r.severity) t += "Event Severity: " + *r.severity + "\n";
    t += "Event Data is  : \n";
    for (int line = 0; line < 4; ++line) t += kZeroDataLine;
    if (withDescription) t += "Event String is: " + r.text + "\n";
    return t + "\n";
}

// -listall (withDescriptions = false) or -listallex of these records.
std::string Listing(const std::vector<Record>& records, bool withDescriptions)
{
    std::string t = "Number of Record : " + std::to_string(records.size()) + " \n";
    for (const Record& r : records) t += RecordText(r, withDescriptions);
    return t;
}

// -selInfo of this card's log (64 places of 48 bytes).
std::string SelInfoText(unsigned count, const std::string& lastAdd, const std::string& lastDel)
{
    std::string t = "SEL Version         : 1.5\n";
    t += "Number of Records   : " + std::to_string(count) + " \n";
    t += "Free Space          : " + std::to_string((64 - count) * 48) + " (Bytes) \n";
    t += "Last Additon        : " + lastAdd + "\n";
    t += "Last Deletion       : " + lastDel + "\n";
    t += "Operation Supported : SEL_DEL_SUPPORT \n";
    t += "Operation Supported : SEL_ALLOC_INFO_SUPPORT \n";
    return t;
}

// The sample records that `--sel-records 6` logs on a card frozen at 12:26:40, one a
// minute before it.
const std::vector<Record> kSamples = {
    {1, "Sun Sep 13 12:20:40 2020", 0x0101, "INFORMATION", "Card started"},
    {2, "Sun Sep 13 12:21:40 2020", 0x0201, "INFORMATION", "Server powered on"},
    {3, "Sun Sep 13 12:22:40 2020", 0x0305, "WARNING", "Server temperature above warning threshold"},
    {4, "Sun Sep 13 12:23:40 2020", 0x0306, "RETURN TO OK", "Server temperature back to normal"},
    {5, "Sun Sep 13 12:24:40 2020", 0x0402, "CRITICAL", "Server fan stopped"},
    {6, "Sun Sep 13 12:25:40 2020", 0x0203, "FATAL", "Server power supply failed"},
};

// The record under another number (the log renumbers on deletion).
Record Numbered(Record r, unsigned number)
{
    r.number = number;
    return r;
}

std::string PolicyLine(const char* policy)
{
    return std::string("SEL Fill policy : ") + policy + "\n";
}

using Sel = CardTest;

// --- Listing and state -----------------------------------------------------------------

TEST_F(Sel, EmptyLogListsNoRecords)
{
    ASSERT_TRUE(StartCard(kFrozenAt2020));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-listall"}), 0, Accepted("Number of Record : 0 \n"), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-listallex"}), 0, Accepted("Number of Record : 0 \n"), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-selInfo"}), 0, Accepted(SelInfoText(0, kEpochText, kEpochText)),
                           kPasswordTerminal));
}

TEST_F(Sel, SampleRecordsAreListedWithTheirDescriptions)
{
    ASSERT_TRUE(StartCard(Concat(kFrozenAt2020, {"--sel-records", "6"})));
    EXPECT_TRUE(RunMatches(Kelvast({"-SEL", "-ListAllEx"}), 0, Accepted(Listing(kSamples, true)), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-SELINFO"}), 0, Accepted(SelInfoText(6, kSamples[5].time, kEpochText)),
                           kPasswordTerminal));
}

// Times are shown in the local time zone (here five hours west of UTC, without
// daylight-saving time).
TEST_F(Sel, TimesAreLocalTime)
{
    ASSERT_TRUE(StartCard(Concat(kFrozenAt2020, {"--sel-records", "1"})));
    auto inZone = [this](const Words& words) {
        KelvastRun run;
        run.args = Concat({"-nw", card.Address(), "admin"}, words);
        run.password = "admin";
        run.timeZone = "XST5";
        return RunKelvast(run);
    };
    const Record local{1, "Sun Sep 13 07:25:40 2020", 0x0101, "INFORMATION", "Card started"};
    EXPECT_TRUE(RunMatches(inZone({"-sel", "-listall"}), 0, Accepted(Listing({local}, false)), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(inZone({"-sel", "-selInfo"}), 0,
                           Accepted(SelInfoText(1, local.time, "Wed Dec 31 19:00:00 1969")), kPasswordTerminal));
}

// --- Adding ----------------------------------------------------------------------------

// The event id is the module number shifted by eight OR the event number, kept to
// 16 bits; the severity comes from the word's first character (F, W, I; anything
// else, a lower-case f too, is information). The card stamps each with its clock.
TEST_F(Sel, AddedRecordsAreListedWithTheirTimes)
{
    ASSERT_TRUE(StartCard(kFrozenAt2020));
    auto add = [this](const Words& words) {
        SCOPED_TRACE(testing::PrintToString(words));
        EXPECT_TRUE(RunMatches(Kelvast(Concat({"-sel"}, words)), 0, Accepted(""), kPasswordTerminal));
    };
    add({"-add", "3", "7", "Warning"});
    add({"-ADD", "1", "2", "fatal"});
    // The card's clock moves on to 12:30:00 for the later records.
    ASSERT_TRUE(RunMatches(Kelvast({"-gen", "-SetTime", "091312302020.00"}), 0, Accepted(""), kPasswordTerminal));
    add({"-add", "4", "9", "I"});
    add({"-add", "5", "1", "F"});
    add({"-add", "300", "7", "W"});
    add({"-add", "module", "258", "x"});

    const std::vector<Record> records = {
        {1, "Sun Sep 13 12:26:40 2020", 0x0307, "WARNING", "Module 3 event 7"},
        {2, "Sun Sep 13 12:26:40 2020", 0x0102, "INFORMATION", "Module 1 event 2"},
        {3, "Sun Sep 13 12:30:00 2020", 0x0409, "RETURN TO OK", "Module 4 event 9"},
        {4, "Sun Sep 13 12:30:00 2020", 0x0501, "FATAL", "Module 5 event 1"},
        {5, "Sun Sep 13 12:30:00 2020", 0x2C07, "WARNING", "Module 44 event 7"},     // 300 << 8 kept to 16 bits
        {6, "Sun Sep 13 12:30:00 2020", 0x0102, "INFORMATION", "Module 1 event 2"},  // 0 << 8 | 258
    };
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-listall"}), 0, Accepted(Listing(records, false)), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-LISTALLEX"}), 0, Accepted(Listing(records, true)), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-selInfo"}), 0,
                           Accepted(SelInfoText(6, "Sun Sep 13 12:30:00 2020", kEpochText)), kPasswordTerminal));
}

// -postEvent sends nothing: were the record sent, this card would end the connection
// instead of answering, and a card that answered would log it.
TEST_F(Sel, PostEventSendsNothing)
{
    ASSERT_TRUE(StartCard(Concat(kFrozenAt2020, {"--drop", "0x0405"})));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-postEvent", "3", "7", "W"}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-POSTEVENT", "a", "b", "c"}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-listall"}), 0, Accepted("Number of Record : 0 \n"), kPasswordTerminal));
}

// --- Deleting and clearing ---------------------------------------------------------------

// Records are numbered 1 to the count: a deletion renumbers those behind it. The
// number is kept to 16 bits (65537 is record 1).
TEST_F(Sel, DeletionRenumbersTheRecords)
{
    ASSERT_TRUE(StartCard(Concat(kFrozenAt2020, {"--sel-records", "3"})));
    // With three samples the first three sample texts are logged 3, 2 and 1 minutes
    // before the card's time.
    const Record first{1, "Sun Sep 13 12:23:40 2020", 0x0101, "INFORMATION", "Card started"};
    const Record third{3, "Sun Sep 13 12:25:40 2020", 0x0305, "WARNING", "Server temperature above warning threshold"};

    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-del", "2"}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-listallex"}), 0, Accepted(Listing({first, Numbered(third, 2)}, true)),
                           kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-selInfo"}), 0,
                           Accepted(SelInfoText(2, third.time, "Sun Sep 13 12:26:40 2020")), kPasswordTerminal));

    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-del", "65537"}), 0, Accepted(""), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-listall"}), 0, Accepted(Listing({Numbered(third, 1)}, false)),
                           kPasswordTerminal));
}

// A number the log does not hold: the card's 16 is reported and is the exit status.
TEST_F(Sel, DeletingAMissingRecordFails)
{
    ASSERT_TRUE(StartCard(Concat(kFrozenAt2020, {"--sel-records", "2"})));
    const std::string failed = "Del SEL Record Failed, Resource not exist\n";
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-del", "3"}), 16, Accepted(failed), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-del", "0"}), 16, Accepted(failed), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-del", "first"}), 16, Accepted(failed), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-selInfo"}), 0,
                           Accepted(SelInfoText(2, "Sun Sep 13 12:25:40 2020", kEpochText)), kPasswordTerminal));
}

TEST_F(Sel, ClearRemovesEveryRecord)
{
    ASSERT_TRUE(StartCard(Concat(kFrozenAt2020, {"--sel-records", "6"})));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-clear"}), 0, Accepted("6 Record(s) Deleted.\n"), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-listall"}), 0, Accepted("Number of Record : 0 \n"), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-CLEAR"}), 0, Accepted("0 Record(s) Deleted.\n"), kPasswordTerminal));
}

// --- Fill policy -----------------------------------------------------------------------

// An unknown policy word is a result of 1 (banner, no question) and changes nothing.
TEST_F(Sel, PolicyIsReadAndSet)
{
    ASSERT_TRUE(StartCard());
    EXPECT_TRUE(
        RunMatches(Kelvast({"-sel", "-getPolicy"}), 0, Accepted(PolicyLine("SEL_POLICY_ROLLOVER")), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-setPolicy", "Stop"}), 0,
                           Accepted("Policy: 2\nSet SEL Fill policy Success\n"), kPasswordTerminal));
    EXPECT_TRUE(
        RunMatches(Kelvast({"-sel", "-GETPOLICY"}), 0, Accepted(PolicyLine("SEL_POLICY_STOP")), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-setPolicy", "wrap"}), 1, Accepted("Unknown SEL policy !!!\n"),
                           kPasswordTerminal));
    EXPECT_TRUE(
        RunMatches(Kelvast({"-sel", "-getPolicy"}), 0, Accepted(PolicyLine("SEL_POLICY_STOP")), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-SetPolicy", "ROLLOVER"}), 0,
                           Accepted("Policy: 1\nSet SEL Fill policy Success\n"), kPasswordTerminal));
    EXPECT_TRUE(
        RunMatches(Kelvast({"-sel", "-getPolicy"}), 0, Accepted(PolicyLine("SEL_POLICY_ROLLOVER")), kPasswordTerminal));
}

// With the log full, stop makes the card refuse a record (18); rollover makes it drop
// the oldest one for the new record.
TEST_F(Sel, PolicyDecidesWhatAFullLogDoes)
{
    ASSERT_TRUE(StartCard(Concat(kFrozenAt2020, {"--sel-records", "64"})));
    const std::string lastSample = "Sun Sep 13 12:25:40 2020";
    ASSERT_TRUE(RunMatches(Kelvast({"-sel", "-setPolicy", "stop"}), 0,
                           Accepted("Policy: 2\nSet SEL Fill policy Success\n"), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-add", "3", "7", "W"}), 18,
                           Accepted("Add SEL Record Failed, Insufficient space\n"), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-selInfo"}), 0, Accepted(SelInfoText(64, lastSample, kEpochText)),
                           kPasswordTerminal));

    ASSERT_TRUE(RunMatches(Kelvast({"-sel", "-setPolicy", "rollover"}), 0,
                           Accepted("Policy: 1\nSet SEL Fill policy Success\n"), kPasswordTerminal));
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-add", "3", "7", "W"}), 0, Accepted(""), kPasswordTerminal));
    const std::string now = "Sun Sep 13 12:26:40 2020";
    EXPECT_TRUE(RunMatches(Kelvast({"-sel", "-selInfo"}), 0, Accepted(SelInfoText(64, now, now)), kPasswordTerminal));
}

// --- Card failures ---------------------------------------------------------------------

// The listings' refusals by the card are rows of the handlers' unit table; this run
// keeps the lost connection, which only a real socket shows.
// The card ends the connection at the first record query: the failure is reported
// once, the listing stops there and the run ends normally with the connection's
// status. A shell starts the tool with SIGPIPE at its default action; the harness
// ignores it, and an ignored signal stays ignored across exec, so this run restores
// the default: the closed connection must not end the program.
TEST_F(Sel, ListingStopsWhenTheConnectionIsLost)
{
    ASSERT_TRUE(StartCard(Concat(kFrozenAt2020, {"--sel-records", "3", "--drop", "0x0401"})));
    KelvastRun run;
    run.program = "/usr/bin/env";
    run.args = {"--default-signal=PIPE", KELVAST_BIN, "-nw", card.Address(), "admin", "-sel", "-listall"};
    run.password = "admin";
    const std::string lost = "Number of Record : 3 \nError while retreiving Records, Error during connect \n";
    EXPECT_TRUE(RunMatches(RunKelvast(run), 33, Accepted(lost), kPasswordTerminal));
}

// --- Invalid words ---------------------------------------------------------------------

struct InvalidWordsCase {
    const char* name;
    Words words;
};

class SelInvalidWords : public CardTest, public ::testing::WithParamInterface<InvalidWordsCase> {};

// The question, and the card's log untouched.
TEST_P(SelInvalidWords, AsksWhetherToShowTheHelp)
{
    ASSERT_TRUE(StartCard(Concat(kFrozenAt2020, {"--sel-records", "1"})));
    EXPECT_TRUE(RunMatches(Kelvast(Concat({"-sel"}, GetParam().words), "n\n"), 8, Refused(), kPasswordTerminal));
    EXPECT_TRUE(
        RunMatches(Kelvast({"-sel", "-listall"}), 0,
                   Accepted(Listing({{1, "Sun Sep 13 12:25:40 2020", 0x0101, "INFORMATION", "Card started"}}, false)),
                   kPasswordTerminal));
}

INSTANTIATE_TEST_SUITE_P(Words, SelInvalidWords,
                         ::testing::Values(InvalidWordsCase{"NoSubCommand", {}},
                                           InvalidWordsCase{"SubCommandWithoutDash", {"listall"}},
                                           InvalidWordsCase{"UnknownSubCommand", {"-list"}},
                                           InvalidWordsCase{"ListAllWithExtraWord", {"-listall", "1"}},
                                           InvalidWordsCase{"ListAllExWithExtraWord", {"-listallex", "1"}},
                                           InvalidWordsCase{"SelInfoWithExtraWord", {"-selInfo", "now"}},
                                           InvalidWordsCase{"ClearWithExtraWord", {"-clear", "1"}},
                                           InvalidWordsCase{"GetPolicyWithExtraWord", {"-getPolicy", "stop"}},
                                           InvalidWordsCase{"DelWithoutNumber", {"-del"}},
                                           InvalidWordsCase{"DelWithTwoNumbers", {"-del", "1", "2"}},
                                           InvalidWordsCase{"SetPolicyWithoutPolicy", {"-setPolicy"}},
                                           InvalidWordsCase{"AddWithoutSeverity", {"-add", "3", "7"}},
                                           InvalidWordsCase{"AddWithExtraWord", {"-add", "3", "7", "W", "now"}},
                                           InvalidWordsCase{"PostEventWithTwoWords", {"-postEvent", "a", "b"}}),
                         CaseName());

}  // namespace
}  // namespace e2e
