// Script lines of any bytes: the split never yields an empty word, a word holding a
// separator or longer than its slot, or more words than a line holds.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zunaCmd.h"

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
    return 0;
}
