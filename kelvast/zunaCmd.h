// kelvast: shared declarations of the entry point, the dispatcher, the shared helpers
// and the command-group handlers.
//
// Handler convention: every group handler takes the Run (the run's client, created,
// connected and destroyed by the entry point only, and the run's context), the word count and the word vector
// (word 0 an unread slot, word 1 the group word, word 2 the sub-command, words 3.. its
// arguments). It returns its Outcome: success, invalid words (the entry point then
// offers the help), a local failure, the card's status, or the card not reached; the
// entry point turns it into the exit status with ExitStatusOf. Handlers print their own
// results to standard output, and one failure line for every failure through the
// failure reporter (Reported, ReportedLine below).
#pragma once

#include <cstring>
#include <ctime>
#include <string>
#include <vector>
#include <span>
#include <string>

#include "fieldtext.h"
#include "runContext.h"
#include "x9zunaifc.h"

// What a handler works with: the run's client and the run's context. A handler reads
// what it needs into a value, prints it as text, and puts it in result() for --json.
struct Run {
    CX9ZunaIfc& client;
    RunContext& context;

    // What the command read, for --json (an object, empty for a command that only acts).
    nlohmann::ordered_json& result() { return context.result; }
    // A confirmation a command asks for: at a terminal the question (true for yes);
    // with --json never asked, yes only when --yes was given.
    bool Confirm(const char* prompt) { return context.Confirm(prompt, true); }
};

inline constexpr const char* kToolName = "kelvast";
inline constexpr const char* kToolVersion = KELVAST_VERSION;  // set by the build
inline constexpr const char* kProductWord = "ORVA";
// The tool's exit statuses, the one table (the README and the help's first page list
// it). A card's status is the exit status as it is (255 for any status above 255), so
// some of the tool's own numbers are also card statuses: 1 is the card's refused login
// (ZUNA_E_AUTH), 8 its ZUNA_E_ARG, 26 its ZUNA_E_RANGE, 28 its ZUNA_E_INVALID, 33 is
// ZUNA_E_CONNECTION itself.
enum ExitStatus : int {
    kExitSuccess = 0,
    kExitTooFewWords = 1,        // too few words after connecting (after the short help)
    kExitSelPolicyUnknown = 1,   // -sel -setPolicy with a word other than Rollover or Stop
    kExitBootBlocksDiffer = 1,   // -flash -CompareBoot: the card's boot block differs
    kExitCardOfListFailed = 1,   // -nw with a list of cards: at least one card failed
    kExitInvalidWords = 8,       // invalid words or options
    kExitValueRefused = 26,      // a user name or password refused before sending
    kExitNotReached = 33,        // the card not reached, or its reply refused
    kExitCardPathTooLong = 28,   // a card path of 80 characters or more
    kExitImageFile = 40,         // an image file that cannot be opened, read or verified
    kExitHostFileWrite = 41,     // a host file that cannot be created or written whole
    kExitConfigFile = 42,        // a configuration file that cannot be read or does not fit
    kExitTimeNotShown = 43,      // a card time the host cannot show as a local date
    kExitStatusMax = 255,        // a card status above 255
};

// The exit-status table as the help and the README show it, in this order.
struct ExitStatusRow {
    int status;
    const char* meaning;
};
inline constexpr ExitStatusRow kExitStatusTable[] = {
    {kExitSuccess, "success"},
    {kExitTooFewWords, "too few words, an unknown SEL policy, boot blocks that differ, or a card of a list that failed"},
    {kExitInvalidWords, "invalid words or options"},
    {kExitValueRefused, "a user name or password refused before sending"},
    {kExitCardPathTooLong, "a card path of 80 characters or more"},
    {kExitNotReached, "the card not reached, or its reply refused"},
    {kExitImageFile, "an image file that cannot be opened, read or verified"},
    {kExitHostFileWrite, "a host file that cannot be created or written whole"},
    {kExitConfigFile, "a configuration file that cannot be read or does not fit the card"},
    {kExitTimeNotShown, "a card time the host cannot show as a date"},
    {kExitStatusMax, "a card status above 255"},
};

// What a command did. A client operation's status converts to its outcome: 0 success,
// 33 the card not reached or its reply refused, any other the card's status.
class Outcome {
public:
    enum class Kind { kSuccess, kInvalidWords, kLocalFailure, kCardStatus, kNotReached };

    Outcome(ZUNA_ERROR status)  // NOLINT: a status is an outcome
        : m_kind(status == ZUNA_E_SUCCESS      ? Kind::kSuccess
                 : status == ZUNA_E_CONNECTION ? Kind::kNotReached
                                               : Kind::kCardStatus),
          m_code(static_cast<int>(status))
    {
    }
    static Outcome Success() { return Outcome(ZUNA_E_SUCCESS); }
    // Words not valid for the command; offerHelp false for a refused script line, which
    // ends the run at once without the help question.
    static Outcome InvalidWords(const char* reason, bool offerHelp = true)
    {
        return Outcome(Kind::kInvalidWords, kExitInvalidWords, reason, offerHelp);
    }
    // The tool's own failure on the host, one of the local codes of ExitStatus.
    static Outcome LocalFailure(ExitStatus code, const char* reason)
    {
        return Outcome(Kind::kLocalFailure, code, reason, false);
    }

    Kind kind() const { return m_kind; }
    // The card's status, the local code, or 8 for invalid words.
    int code() const { return m_code; }
    const char* reason() const { return m_reason; }
    bool ok() const { return m_kind == Kind::kSuccess; }
    bool invalidWords() const { return m_kind == Kind::kInvalidWords; }
    bool offersHelp() const { return m_offerHelp; }

private:
    Outcome(Kind kind, int code, const char* reason, bool offerHelp)
        : m_kind(kind), m_code(code), m_reason(reason), m_offerHelp(offerHelp)
    {
    }
    Kind m_kind;
    int m_code;
    const char* m_reason = "";
    bool m_offerHelp = false;
};

// The exit status of an outcome (the table above).
int ExitStatusOf(const Outcome& outcome);

// The failure reporter: the one place that prints a handler's failure line. Every
// failure line of the handlers goes through one of its two forms, which print nothing
// when the outcome is success and give the outcome back.
// Reported: a client operation's outcome; when it failed, its one failure line
// "<failure>, <status text>\n" (failure such as "Add SEL Record Failed").
Outcome Reported(ZUNA_ERROR status, const char* failure);
// ReportedLine: an outcome whose failure line is fixed and carries no status text (such
// as "Error when getting %s Name!\n"), a local failure or invalid words; the line is the
// format filled with the arguments, printed as it is (its own newline, or none).
Outcome ReportedLine(const Outcome& outcome, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Case-insensitive comparison of option and command words (0 when equal).
int x9strcasecmp(const char* a, const char* b);
// Prints the prompt, reads one whitespace-delimited answer word from standard input,
// prints "\n" and returns the word's first character in upper case (0 at end of input).
char msgyn(const char* prompt);
// Prompts for the password without echo (on the terminal, else from standard input);
// keeps at most 255 characters in buf (256 bytes).
void GetPasswordInput(char* buf);
// 0 when every character is an ASCII letter, digit, '-' or '_' (empty is valid), else 1.
int ValidateUserOrPwd(const char* text);
// A decimal number that is the whole word: an optional '-' or '+' and one or more digits,
// nothing before or after (no blank, no trailing letter), within long. False otherwise,
// and value is then left alone.
bool ReadWholeNumber(const char* word, long& value);
// The part of a name after its last backslash (only the backslash separates).
const char* findprogname(const char* name);
// The help: full = 0 short help, 1 full help. Five waits for Enter between pages
// (none when pause is false: with --json nothing is asked).
void Usage(const char* startName, int full, bool pause = true);

// One run of the tool: the entry point's work; returns the exit status, at most 255.
int KelvastMain(int argc, char** argv);

// The dispatcher: picks a group handler by word 1.
Outcome parseArguments(Run& run, int argc, char** argv);
// The group words of the dispatcher that have a sub-command table (past the dash), in
// its order; the single commands are in their own tables below.
std::vector<const char*> GroupWords();

// How a command's entry shows in the help.
enum class HelpShown : unsigned char {
    kAlways,    // its help lines in the short and the full help
    kFullOnly,  // its help lines in the full help only
    kCovered,   // no lines of its own: the entry of the same word that has help lines covers it
    kHidden,    // deliberately not in the help (its table says why)
};

// One sub-command of a group: its word past the dash, its word count (word 0 included)
// and its handler, given the whole word vector. A word may be listed once per count, so
// the order of a table does not matter to dispatch; tables are in the help's order.
// help: its lines exactly as the help prints them (a note that follows it included),
// nullptr for an entry covered or hidden.
struct SubCommand {
    const char* word;
    int wordCount;
    Outcome (*run)(Run& run, char** argv);
    const char* help;
    HelpShown shown;
};
// The entry whose word matches word 2 past its dash (either letter case) and whose count
// is argc; nullptr when word 2 is missing or not a dash word or no entry matches.
const SubCommand* FindSubCommand(std::span<const SubCommand> table, int argc, char** argv);
// Runs the entry FindSubCommand finds; invalid words when there is none.
Outcome RunSubCommand(Run& run, std::span<const SubCommand> table, int argc, char** argv);

// A command of the dispatcher without a sub-command table: its word (word 1 past its
// dash) and its handler, given the whole word vector; its help as for SubCommand.
struct SingleCommand {
    const char* word;
    Outcome (*run)(Run& run, int argc, char** argv);
    const char* help;
    HelpShown shown;
};

// The command tables, each beside its handlers. -flash, -cardMode and -file all reach
// the flash and the file tables.
extern const std::span<const SubCommand> kUserSubCommands;
extern const std::span<const SubCommand> kSelSubCommands;
extern const std::span<const SubCommand> kPefSubCommands;
extern const std::span<const SubCommand> kFlashSubCommands;
extern const std::span<const SubCommand> kFileSubCommands;
extern const std::span<const SubCommand> kHeartbeatSubCommands;
extern const std::span<const SubCommand> kNetworkSubCommands;
extern const std::span<const SubCommand> kGeneralSubCommands;
extern const std::span<const SubCommand> kSdkSubCommands;
extern const std::span<const SubCommand> kModemSubCommands;
extern const std::span<const SubCommand> kPppSubCommands;
extern const std::span<const SubCommand> kAsrSubCommands;
// The dispatcher's single commands, one table per help section.
extern const std::span<const SingleCommand> kServerInfoSingleCommands;
extern const std::span<const SingleCommand> kAdvancedSingleCommands;
extern const std::span<const SingleCommand> kRemoteControlSingleCommands;
extern const std::span<const SingleCommand> kCardHealthSingleCommands;

// One block of the help's command pages: a heading, then the help lines of one table.
// The heading shows unless the table has entries and none of them shows in this form.
struct HelpBlock {
    bool newPage;                           // a wait for Enter and a "\n" before it
    const char* heading;                    // nullptr: it goes on under the block before
    const char* group;                      // the group word as the help shows it, past its
                                            // dash; nullptr for single commands
    std::span<const SubCommand> commands;   // the one table of the block: sub-commands,
    std::span<const SingleCommand> singles; // or single commands
};
// The blocks of the help after the script-mode section, in order.
std::span<const HelpBlock> HelpBlocks();

// Script mode: runs the command-group lines of a file, one after another, over the
// run's connection. type kScriptNetwork: the file name is word 5 (-nw, address, user,
// -script, file) and each line's word 0 is the address; kScriptHostInterface: word 3
// (-cd, -script, file) and word 0 "-cd". Lines are read whole. Returns the result of
// the last line run (0 for a file without lines, or when an empty line ends the
// script); invalid words for a missing file name, a file that cannot be opened or read
// (a directory), or another type; invalid words without the help question (the
// program then ends with 8 at once, without the banner) after printing the error line for
// a line that is refused before anything of it runs (separators only, a NUL, more
// than kScriptMaxLineChars characters, a word too long or too many words) or that its
// command refuses.
inline constexpr int kScriptNetwork = 1;
inline constexpr int kScriptHostInterface = 2;
inline constexpr std::size_t kScriptMaxWords = 24;
inline constexpr std::size_t kScriptMaxWordChars = 254;
// The word table's size: 24 words of 254 characters, each with a separator.
inline constexpr std::size_t kScriptMaxLineChars = kScriptMaxWords * (kScriptMaxWordChars + 1);
Outcome handleScript(Run& run, int argc, char** argv, int type);
// The words of a script line, split at blanks, commas, semicolons, exclamation marks
// and newlines (runs of them count as one; tab and carriage return stay in words).
// Returns the count, or -1 when the line has more than kScriptMaxWords words or a word
// longer than kScriptMaxWordChars.
int SplitScriptLine(const char* line, std::vector<std::string>& words);

// Group handlers.
Outcome ProcessUserCommands(Run& run, int argc, char** argv);
Outcome ProcessGeneralCommands(Run& run, int argc, char** argv);
Outcome ProcessSelCommands(Run& run, int argc, char** argv);
Outcome ProcessPefCommands(Run& run, int argc, char** argv);
Outcome ProcessNetworkCommands(Run& run, int argc, char** argv);
Outcome ProcessHeartbeatCommands(Run& run, int argc, char** argv);
Outcome ProcessServerInfo(Run& run, int argc, char** argv);
// -SDK: -uploadSDK FILE, -deleteSDK, -rereadSDK, -readsensors. Each prints its line and
// gives the card's status; an unknown sub-command prints "Unknown command" (invalid
// words).
Outcome ProcessSDKCommands(Run& run, int argc, char** argv);
// The sensor listing of a tree that ReadSensors decoded into the len bytes at tree.
void SDK_sensors_display(const unsigned char* tree, std::size_t len);
// The name of a reading's unit code, cut to fit size bytes ("Unrecognized" for a code
// without one).
void sdk_unit_to_string(uint8_t unit, char* text, std::size_t size);
// -flash, -cardMode and -file: every flash, card-mode and file sub-command under each
// word. Each failure prints one line; a card path of 80 characters or more is refused
// (28) with a message; an image, host or configuration file the tool cannot use is a
// local failure (40, 41, 42) without the help question.
Outcome ProcessFlashCommands(Run& run, int argc, char** argv);
// -GetServerInfo, handled in the dispatcher: prints the four fields, or one failure
// line and gives the card's status.
Outcome ShowServerInfo(Run& run);

// Advanced settings: the groups -ModemCfg, -PppCfg and -ASRCfg, and the single
// commands the dispatcher hands the whole word vector (word 1 the command word). The
// single commands print a card failure's line and give the card's status, so that a
// power action or setting the card refused never exits 0; invalid words otherwise.
// -HostCtrl takes exactly its one action word: any other word count is invalid words.
Outcome ProcessModemCommands(Run& run, int argc, char** argv);
Outcome ProcessPppCfgCommands(Run& run, int argc, char** argv);
Outcome ProcessASRCfgCommands(Run& run, int argc, char** argv);
Outcome ShowI2CConfig(Run& run);
Outcome SetI2CAddress(Run& run, int argc, char** argv);
Outcome ShowIpmiConfig(Run& run);
Outcome SetIpmiConfig(Run& run, int argc, char** argv);
Outcome HostPowerControl(Run& run, int argc, char** argv);
// -GetCardHealth: the six readings, or "Get Card Health Failed, %s" and the status.
Outcome GetCardHealthInfo(Run& run);
// The options of -ModemCfg -set (words 3.. of argv, argc words in all, at least 4) into rec: the
// port (exactly ttyS2 or ttyS3) and the values given, each checked: one to three pairs of
// -s BAUD, -i INIT, -p PHONE in any order, each option at most once (and, of the form
// -i INIT WORD PHONE, any second option word). 0 when all is right, 26 after a value
// check's message, -1 for a bad port, an odd count, an unknown or repeated option.
int parseModemArg(int argc, char** argv, MODEM_CONFIG_REC* rec);
// Modem value checks: 0, or 26 after printing the reason.
int CheckModemBaud(const char* text);
int CheckInitStrLen(const char* text);
int CheckPhoneNum(const char* text);
// An I2C address word: "0x" or "0X" and one or two hex digits, or a decimal number up
// to 255. False for anything else (the address is then left alone).
bool ReadAddressWord(const char* word, unsigned char* address);

// A card's text as the terminal is to show it: the text at the start of the field,
// bounded by the field as FieldLen bounds it, with each control character other than
// newline and tab (0x01-0x1F, 0x7F) as '?'; bytes from 0x80 up pass unchanged. Every
// text that comes from the card is printed through it, so the card never drives the
// terminal.
std::string CardText(const char* field, std::size_t size);
template <std::size_t N>
std::string CardText(const char (&field)[N])
{
    return CardText(field, N);
}

// For --json: a card time stamp (seconds since 1970, UTC) as ISO 8601,
// "2026-12-08T12:10:52Z" (every 32-bit value is a date), and bytes as lower-case hex.
std::string IsoUtcTime(uint32_t epoch);
std::string HexText(const uint8_t* bytes, std::size_t count);

// Bytes as "0x%02x " each, two blanks, then each byte as a character (a '.' for any
// byte outside 0x20-0x7E, as hexdump -C shows them), then "\n".
void PrintLineHexAndAsc(const unsigned char* bytes, int count);
// 0 when the text reads as four numbers 0..255 ("%03d.%03d.%03d.%03d"), else -1.
int ValidateIPAddress(const char* text);
// 0 when the text starts with six pairs of hex digits separated by ':', else -1.
// The second parameter is not used.
int ValidateMACAddress(const char* text, unsigned char* bytes);
// 1 for 'a'..'f' and 'A'..'F' (not digits), else 0.
int IsHexa(char c);

// Date word MMDDhhmmYYYY.ss of the clock commands.
// validateDate: 0 when the broken-down time is a real date (see the -gen group), else 1.
int validateDate(const struct tm* tm);
// Reads and checks a date word (local time); on success stores the seconds since the
// epoch in *epoch and returns 0; returns -1 for a bad date or one the card's unsigned
// 32-bit clock field cannot hold (before 1970-01-01 00:00:00 or after
// 2106-02-07 06:28:15 UTC).
int ReadDateWord(const char* word, uint32_t* epoch);
// 0 when the name is at most 32 ASCII letters, digits, '-', '_' or '*', else 1.
int validateCardName(const char* name);
