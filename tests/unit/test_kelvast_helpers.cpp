// The tool's shared helpers: yes/no answers, user-name check, program name, card texts
// on the terminal, the date word, the card-name rule and the sub-command lookup.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <stdio_ext.h>
#include <string>
#include <vector>
#include <unistd.h>

#include "fake_medium.h"
#include "zunaCmd.h"
#include "tool_run.h"

namespace {

// Runs msgyn with the given text on standard input.
char AnswerWith(const std::string& input)
{
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    EXPECT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(fds[1]);
    const int saved = dup(STDIN_FILENO);
    dup2(fds[0], STDIN_FILENO);
    close(fds[0]);
    __fpurge(stdin);
    clearerr(stdin);
    const char answer = msgyn("");
    __fpurge(stdin);
    clearerr(stdin);
    dup2(saved, STDIN_FILENO);
    close(saved);
    return answer;
}

TEST(Msgyn, FirstCharacterOfTheAnswerWordInUpperCase)
{
    EXPECT_EQ(AnswerWith("y\n"), 'Y');
    EXPECT_EQ(AnswerWith("Yes\n"), 'Y');
    EXPECT_EQ(AnswerWith("   yellow submarine\n"), 'Y');
    EXPECT_EQ(AnswerWith("n\n"), 'N');
    EXPECT_EQ(AnswerWith("x\n"), 'X');
    EXPECT_EQ(AnswerWith(std::string(100, 'y') + "\n"), 'Y');
    EXPECT_EQ(AnswerWith(""), '\0');
}

TEST(RunSubCommand, WordAndCountBothMatch)
{
    const SubCommand table[] = {
        {"SetTime", 4, [](::Run&, char**) { return Outcome(ZUNA_E_AGAIN); }, nullptr, HelpShown::kHidden},
        {"SetTime", 5, [](::Run&, char**) { return Outcome(ZUNA_E_PERM); }, nullptr, HelpShown::kHidden},
        {"GetTime", 3, [](::Run&, char** argv) { return Outcome(argv[2][1] == 'g' ? ZUNA_E_GENERAL : ZUNA_E_BUSY); },
         nullptr, HelpShown::kHidden},
    };
    const std::vector<std::pair<std::vector<std::string>, int>> cases = {
        {{"", "-gen", "-SetTime", "d"}, 4},
        {{"", "-gen", "-SETTIME", "d", "force"}, 5},
        {{"", "-gen", "-getTime"}, 30},
        {{"", "-gen", "-GetTime", "extra"}, -1},
        {{"", "-gen", "-SetTime"}, -1},
        {{"", "-gen", "SetTime", "d"}, -1},
        {{"", "-gen", "-Set", "d"}, -1},
        {{"", "-gen"}, -1},
    };
    FakeMediumLog log;
    CX9ZunaIfc client(std::make_unique<FakeMedium>(log));
    ToolRun tool(client);
    for (const auto& [words, expected] : cases) {
        std::vector<std::string> copy = words;
        std::vector<char*> argv;
        for (std::string& word : copy) argv.push_back(word.data());
        const Outcome outcome = RunSubCommand(tool.run, table, static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(expected, outcome.invalidWords() ? -1 : outcome.code())
            << testing::PrintToString(words);
    }
}

// Numbers the tool sends to the card (recipient numbers, delays) are whole words.
TEST(WholeNumber, DigitsAndASignOnly)
{
    const std::pair<const char*, long> words[] = {
        {"0", 0},    {"8", 8},    {"08", 8},    {"-3", -3}, {"+3", 3},  {"65536", 65536},
        {"1abc", -99}, {" 2", -99}, {"2 ", -99}, {"", -99},  {"-", -99}, {"+-3", -99}, {"--3", -99},
        {"0x10", -99}, {"1e3", -99}, {"99999999999999999999", -99},
    };
    for (const auto& [word, expected] : words) {
        long value = -99;
        EXPECT_EQ(ReadWholeNumber(word, value), expected != -99) << '"' << word << '"';
        EXPECT_EQ(value, expected) << '"' << word << '"';
    }
}

TEST(ValidateUserOrPwd, LettersDigitsDashUnderscore)
{
    EXPECT_EQ(ValidateUserOrPwd("admin_01-B"), 0);
    EXPECT_EQ(ValidateUserOrPwd(""), 0);
    EXPECT_EQ(ValidateUserOrPwd("ad min"), 1);
    EXPECT_EQ(ValidateUserOrPwd("admin."), 1);
    EXPECT_EQ(ValidateUserOrPwd("adm\xC3\xA9"), 1);
    EXPECT_EQ(ValidateUserOrPwd("a*b"), 1);
}

TEST(FindProgName, OnlyBackslashSeparates)
{
    EXPECT_STREQ(findprogname("/usr/bin/kelvast"), "/usr/bin/kelvast");
    EXPECT_STREQ(findprogname("C:\\tools\\kelvast.exe"), "kelvast.exe");
    EXPECT_STREQ(findprogname("kelvast"), "kelvast");
}

TEST(CardText, ControlCharactersShowAsQuestionMarks)
{
    struct Row {
        std::string field;
        std::string shown;
    };
    std::vector<Row> rows = {
        {"tab\there\n", "tab\there\n"},
        {"del\x7f", "del?"},
        {" ~\x80\xff", " ~\x80\xff"},
        {std::string("ab\0\x1b", 4), "ab"},  // the text ends at its NUL
    };
    for (char c = 0x01; c < 0x20; ++c)
        if (c != '\n' && c != '\t') rows.push_back({std::string(1, c) + "x", "?x"});
    for (const Row& row : rows)
        EXPECT_EQ(CardText(row.field.data(), row.field.size()), row.shown) << testing::PrintToString(row.field);
    // A field filled to its end, without a NUL: the field's size bounds the text.
    const char full[4] = {'\x1b', ']', '0', '\a'};
    EXPECT_EQ(CardText(full), "?]0?");
}

class DateWord : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tz = getenv("TZ");
        savedTz = tz ? tz : "";
        hadTz = tz != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override
    {
        if (hadTz)
            setenv("TZ", savedTz.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::string savedTz;
    bool hadTz = false;
};

TEST_F(DateWord, LeapDaysOfTheCalendar)
{
    uint32_t epoch = 0;
    EXPECT_EQ(ReadDateWord("022912002000.00", &epoch), 0);
    EXPECT_EQ(epoch, 951825600u);
    EXPECT_EQ(ReadDateWord("022912002001.00", &epoch), -1);
    // A century is a leap year only when 400 divides it (found by fuzz_words: the date
    // word 022912002100.00 set the card to March 1st).
    struct tm feb29 {};
    feb29.tm_mday = 29;
    feb29.tm_mon = 1;
    feb29.tm_year = 2100 - 1900;
    EXPECT_EQ(validateDate(&feb29), 1);
    feb29.tm_year = 2400 - 1900;
    EXPECT_EQ(validateDate(&feb29), 0);
    epoch = 12345;
    EXPECT_EQ(ReadDateWord("022912002100.00", &epoch), -1);
    EXPECT_EQ(epoch, 12345u);
}

TEST_F(DateWord, FieldRanges)
{
    uint32_t epoch = 0;
    EXPECT_EQ(ReadDateWord("123124002004.00", &epoch), -1);  // hour 24
    EXPECT_EQ(ReadDateWord("043112002004.00", &epoch), -1);  // April 31
    EXPECT_EQ(ReadDateWord("010100602004.00", &epoch), -1);  // minute 60
    EXPECT_EQ(ReadDateWord("010100002004.60", &epoch), -1);  // second 60
    EXPECT_EQ(ReadDateWord("130112002004.00", &epoch), -1);  // month 13
    EXPECT_EQ(ReadDateWord("010012002004.00", &epoch), -1);  // day 00
    EXPECT_EQ(ReadDateWord("1301", &epoch), -1);             // not six numbers
    EXPECT_EQ(ReadDateWord("010100001969.59", &epoch), -1);  // before the card's clock begins
    EXPECT_EQ(ReadDateWord("123123592004.59", &epoch), 0);
    EXPECT_EQ(epoch, 1104537599u);
}

// Fields sscanf reads as negative or zero, and the two ends of the card's clock field.
TEST_F(DateWord, NegativeOrZeroFieldsAndTheClockFieldsEnds)
{
    const struct {
        const char* word;
        int result;
        uint32_t epoch;
    } rows[] = {
        {"000112002004.00", -1, 0},           // month 00
        {"-10112002004.00", -1, 0},           // month -1
        {"01-112002004.00", -1, 0},           // day -1
        {"0101-1002004.00", -1, 0},           // hour -1
        {"010100-12004.00", -1, 0},           // minute -1
        {"010100002004.-1", -1, 0},           // second -1
        {"010112000000.00", -1, 0},           // year 0000
        {"123123591969.59", -1, 0},           // one second before the clock field begins
        {"010100001970.00", 0, 0},            // its first second
        {"020706282106.15", 0, 4294967295u},  // its last second
        {"020706282106.16", -1, 0},           // one second past it
    };
    for (const auto& row : rows) {
        uint32_t epoch = 12345;
        EXPECT_EQ(ReadDateWord(row.word, &epoch), row.result) << row.word;
        EXPECT_EQ(epoch, row.result == 0 ? row.epoch : 12345u) << row.word;
    }
}

TEST_F(DateWord, DaylightSavingFollowsTheDateNotTheZone)
{
    // A zone with daylight-saving rules: a winter date is standard time, a summer
    // date daylight time, each converted by its own offset.
    setenv("TZ", "XST5XDT,M3.2.0,M11.1.0", 1);
    tzset();
    uint32_t epoch = 0;
    ASSERT_EQ(ReadDateWord("010112002020.00", &epoch), 0);
    EXPECT_EQ(epoch, 1577898000u);  // 17:00 UTC
    ASSERT_EQ(ReadDateWord("070112002020.00", &epoch), 0);
    EXPECT_EQ(epoch, 1593619200u);  // 16:00 UTC
}

TEST(CardName, LengthAndCharacters)
{
    EXPECT_EQ(validateCardName(std::string(32, 'a').c_str()), 0);
    EXPECT_EQ(validateCardName(std::string(33, 'a').c_str()), 1);
    EXPECT_EQ(validateCardName("srv_01-A*"), 0);
    EXPECT_EQ(validateCardName(""), 0);
    EXPECT_EQ(validateCardName("srv 01"), 1);
    EXPECT_EQ(validateCardName("srv.01"), 1);
}

}  // namespace

TEST(ScriptLine, SplitsAtTheSeparatorsOnly)
{
    const struct {
        const char* line;
        int count;
        std::vector<std::string> words;
    } cases[] = {
        {"-sel,-listall;  \n", 2, {"-sel", "-listall"}},
        {"!!-a!b c;d,e\n", 5, {"-a", "b", "c", "d", "e"}},
        {"-sel\t-x\r\n", 1, {"-sel\t-x\r"}},
        {" ,;!\n", 0, {}},
        {"", 0, {}},
        {"a b c d e f g h i j k l m n o p q r s t u v w x", 24, {}},
        {"a b c d e f g h i j k l m n o p q r s t u v w x y", -1, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> words;
        EXPECT_EQ(SplitScriptLine(c.line, words), c.count) << c.line;
        if (!c.words.empty()) {
            EXPECT_EQ(words, c.words) << c.line;
        }
    }
    // A word fills its slot of the word table at 254 characters.
    std::vector<std::string> words;
    const std::string slotFull(kScriptMaxWordChars, 'w');
    EXPECT_EQ(SplitScriptLine(("-gen " + slotFull).c_str(), words), 2);
    EXPECT_EQ(SplitScriptLine(("-gen " + slotFull + "w").c_str(), words), -1);
}
