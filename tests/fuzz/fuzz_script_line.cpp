// Script lines of any bytes: the split never yields an empty word, a word holding a
// separator or longer than its slot, or more words than a line holds. A line that
// splits is then run as the script runs it, against a card that never answers, so
// that every command's words are read by its handler; no command can then succeed.
// Lines of the groups that name host files (-flash, -cardMode, -file, -SDK) run only
// without words after the sub-command, so that no file is opened or made.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "command_words.h"
#include "zunaCmd.h"

namespace {

bool NamesHostFiles(const std::string& group)
{
    for (const char* word : {"-flash", "-cardMode", "-file", "-SDK"})
        if (x9strcasecmp(group.c_str(), word) == 0) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // What the handlers print is not looked at.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);  // up to its first NUL
    std::vector<std::string> words;
    const int count = SplitScriptLine(line.c_str(), words);
    if (count < -1 || count > static_cast<int>(kScriptMaxWords)) std::abort();
    if (count >= 0 && words.size() != static_cast<std::size_t>(count)) std::abort();
    for (const std::string& word : words)
        if (word.empty() || word.size() > kScriptMaxWordChars || word.find_first_of(" ,;!\n") != std::string::npos)
            std::abort();
    if (count <= 0 || (NamesHostFiles(words[0]) && count > 2)) return 0;

    // As a script line runs: word 0 the card's slot, then the line's words. Under --json
    // with --yes nothing is asked and every confirmation is yes.
    static const std::unique_ptr<CX9ZunaIfc> client = commandwords::SilentClient(true);
    RunOptions options;
    options.json = true;
    options.yes = true;
    RunContext context(options);
    Run run{*client, context};
    std::vector<char*> table{const_cast<char*>("127.0.0.1")};
    for (std::string& word : words) table.push_back(word.data());
    table.push_back(nullptr);
    if (parseArguments(run, count + 1, table.data()).ok()) std::abort();
    return 0;
}
