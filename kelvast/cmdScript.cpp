// kelvast -script FILE: command-group lines run one after another over the run's one
// connection and login.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "zunaCmd.h"

namespace {

constexpr int kMaxLineChars = 255;  // a read takes at most 254 characters of a line
constexpr const char* kSeparators = " ,;!\n";
constexpr const char* kRule = "****************************************************\n";

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

int SplitScriptLine(const char* line, std::vector<std::string>& words)
{
    words.clear();
    const char* p = line;
    for (;;) {
        p += std::strspn(p, kSeparators);
        if (*p == '\0') break;
        const std::size_t len = std::strcspn(p, kSeparators);
        if (words.size() == kScriptMaxWords) return -1;
        words.emplace_back(p, len);
        p += len;
    }
    return static_cast<int>(words.size());
}

int handleScript(int argc, char** argv, int type)
{
    int nameWord = 0;
    if (type == kScriptNetwork) {
        nameWord = 5;
    } else if (type == kScriptHostInterface) {
        nameWord = 3;
    } else {
        std::printf("Invalid Type \n");
        return -1;
    }
    // The script word must be followed by the file's name.
    if (argc <= nameWord) return -1;
    const char* slot0 = type == kScriptNetwork ? argv[2] : argv[1];
    const char* fileName = argv[nameWord];

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName, "r"));
    if (!file) {
        std::printf("canot open '%s':No such  file\n", fileName);
        return -1;
    }

    // A file without any line has run nothing, and nothing failed.
    int result = 0;
    char line[kMaxLineChars];
    bool previousCut = false;
    std::vector<std::string> words;
    while (std::fgets(line, sizeof(line), file.get()) != nullptr) {
        const bool cut = std::strchr(line, '\n') == nullptr && !std::feof(file.get());
        // The line end of a line that filled the previous read is no empty line.
        if (previousCut && std::strcmp(line, "\n") == 0) {
            previousCut = false;
            continue;
        }
        previousCut = cut;
        // An empty line ends the script: the lines after it are not run.
        if (line[0] == '\n') return 0;

        const int count = SplitScriptLine(line, words);
        std::printf("%s", kRule);
        std::printf("Processing script line : %s\n", line);
        std::printf("%s", kRule);

        if (count > 0) {
            std::vector<char*> table;
            table.push_back(const_cast<char*>(slot0));
            for (std::string& word : words) table.push_back(word.data());
            table.push_back(nullptr);
            result = parseArguments(count + 1, table.data());
        }
        // A line of separators only, a line of more words than a command has, or a line
        // the command refuses ends the script: the lines before it have taken effect.
        if (count <= 0 || result < 0) {
            std::printf("Error processing Command Script line : %s\n", line);
            return kScriptLineRefused;
        }
        std::printf("%s\n\n", kRule);
    }
    return result;
}
