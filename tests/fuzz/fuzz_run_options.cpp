// The long options before the medium word, given as words of any bytes (the input
// split at each NUL): a parse either takes only words of the form "--NAME[=VALUE]" and
// their values and leaves every value in its range, or refuses with a reason.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command_words.h"
#include "runOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    commandwords::Words words(data, size);
    RunOptions options;
    int consumed = -1;
    std::string error;
    if (!ParseRunOptions(words.Argc(), words.Argv(), &options, &consumed, &error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    if (!error.empty() || consumed < 0 || consumed >= words.Argc()) std::abort();
    // The first word left is the medium word: it does not begin with "--".
    if (consumed + 1 < words.Argc() && std::strncmp(words[consumed + 1], "--", 2) == 0) std::abort();
    if (consumed > 0 && std::strncmp(words[1], "--", 2) != 0) std::abort();
    if (options.fanout < 1 || options.fanout > RunOptions::kMaxFanout) std::abort();
    if (options.timeout && (options.timeout->count() < RunOptions::kMinTimeout ||
                            options.timeout->count() > RunOptions::kMaxTimeout))
        std::abort();
    if (options.yes && consumed == 0) std::abort();
    return 0;
}
