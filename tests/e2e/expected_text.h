// The texts kelvast shows, built line by line, for exact comparison.
#pragma once

#include <string>

namespace e2e {

// "Connecting.." and "Connected" on one line, the empty line after the password, and
// the login's success line.
inline const std::string kConnected = "Connecting..Connected\n";
inline const std::string kLoggedIn = kConnected + "\nLogin Successful !\n";

// An event-data line of eight zero bytes: their hex, two blanks, then a '.' for each.
inline const std::string kZeroDataLine = "0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00   ........\n";

// The three lines that close every accepted command.
extern const std::string kBanner;

// The question asked for invalid words, with the line end printed after the answer.
inline const std::string kInvalidWordsAsked = "\nSome arguments are invalid.Do you want usage help (y/n)?\n";

// The help as shown when started by `prog`: short (full = false) or full.
std::string HelpText(const std::string& prog, bool full);

}  // namespace e2e
