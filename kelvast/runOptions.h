// kelvast: the long options that may stand before the medium word, and the password
// file. Without them the tool behaves exactly as without this layer.
//
//   kelvast [--json] [--yes] [--password-file FILE] [--timeout SECONDS] [--trace]
//           [--fanout N] -nw ...
//
// Each option is given once at most, as "--name VALUE" or "--name=VALUE".
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "passwordfile.h"  // ReadPasswordFile, for --password-file

struct RunOptions {
    bool json = false;   // one JSON object on standard output, nothing else
    bool yes = false;    // with --json: the confirmations are answered "yes"
    bool trace = false;  // every exchange on standard error
    std::string passwordFile;  // empty: the password is asked for
    std::optional<std::chrono::seconds> timeout;  // replaces the fixed waits
    unsigned fanout = 32;  // cards of a list run at once

    static constexpr long kMaxFanout = 1024;
    static constexpr long kMinTimeout = 1;
    static constexpr long kMaxTimeout = 3600;
};

// Reads the options at argv[1..]; *consumed receives how many words they took. On a
// word that starts with "--" and is not one of the options, an option given twice, a
// missing or out-of-range value: false, with the reason (naming the word) in *error.
bool ParseRunOptions(int argc, char** argv, RunOptions* options, int* consumed, std::string* error);
