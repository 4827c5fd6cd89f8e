// kelvast -script FILE: command-group lines run one after another over the run's one
// connection and login.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "zunaCmd.h"
#include "filecloser.h"

namespace {

constexpr const char* kSeparators = " ,;!\n";
constexpr const char* kRule = "****************************************************\n";

enum class LineRead { kLine, kEnd, kError };

// One whole line with its line end, if it has one. A line longer than
// kScriptMaxLineChars is read only that far and one character more, which is enough to
// refuse it. kError when the file cannot be read (a directory, say).
LineRead ReadScriptLine(std::FILE* file, std::string& line)
{
    line.clear();
    for (;;) {
        const int c = std::getc(file);
        if (c == EOF) {
            if (std::ferror(file)) return LineRead::kError;
            return line.empty() ? LineRead::kEnd : LineRead::kLine;
        }
        line.push_back(static_cast<char>(c));
        if (c == '\n' || line.size() > kScriptMaxLineChars) return LineRead::kLine;
    }
}

}  // namespace

int SplitScriptLine(const char* line, std::vector<std::string>& words)
{
    words.clear();
    const char* p = line;
    for (;;) {
        p += std::strspn(p, kSeparators);
        if (*p == '\0') break;
        const std::size_t len = std::strcspn(p, kSeparators);
        if (words.size() == kScriptMaxWords || len > kScriptMaxWordChars) return -1;
        words.emplace_back(p, len);
        p += len;
    }
    return static_cast<int>(words.size());
}

Outcome handleScript(Run& run, int argc, char** argv, int type)
{
    int nameWord = 0;
    if (type == kScriptNetwork) {
        nameWord = 5;
    } else if (type == kScriptHostInterface) {
        nameWord = 3;
    } else {
        return ReportedLine(Outcome::InvalidWords("unknown script type"), "Invalid Type \n");
    }
    // The script word must be followed by the file's name.
    if (argc <= nameWord) return Outcome::InvalidWords("no script file name");
    const char* slot0 = type == kScriptNetwork ? argv[2] : argv[1];
    const char* fileName = argv[nameWord];

    HostFile file(std::fopen(fileName, "r"));
    if (!file)
        return ReportedLine(Outcome::InvalidWords("script file cannot be opened"), "canot open '%s':No such  file\n",
                            fileName);

    // A file without any line has run nothing, and nothing failed.
    Outcome result = Outcome::Success();
    std::string line;
    std::vector<std::string> words;
    for (;;) {
        const LineRead read = ReadScriptLine(file.get(), line);
        if (read == LineRead::kEnd) break;
        if (read == LineRead::kError)
            return ReportedLine(Outcome::InvalidWords("script file cannot be read"), "canot open '%s':No such  file\n",
                                fileName);
        // An empty line ends the script: the lines after it are not run.
        if (line[0] == '\n') return Outcome::Success();

        // A line holding a NUL, or too long for the word table, is not run at all.
        const std::size_t chars = line.size() - (line.back() == '\n' ? 1 : 0);
        const bool fits = line.find('\0') == std::string::npos && chars <= kScriptMaxLineChars;
        const int count = fits ? SplitScriptLine(line.c_str(), words) : -1;
        std::printf("%s", kRule);
        std::printf("Processing script line : %s\n", line.c_str());
        std::printf("%s", kRule);

        std::vector<char*> table{const_cast<char*>(slot0)};
        if (count > 0) {
            for (std::string& word : words) table.push_back(word.data());
            table.push_back(nullptr);
            result = parseArguments(run, count + 1, table.data());
        } else {
            result = Outcome::InvalidWords("script line refused", false);
        }
        // With --json each line gives its own object (JSON Lines).
        if (run.context.options.json) {
            run.context.SetCommand(count > 0 ? count : 0, table.data() + 1);
            run.context.EmitResult(result, ExitStatusOf(result));
        }
        // A line of separators only, a line that does not fit the word table, or a line
        // the command refuses ends the script: the lines before it have taken effect.
        if (result.invalidWords())
            return ReportedLine(Outcome::InvalidWords("script line refused", false),
                                "Error processing Command Script line : %s\n", line.c_str());
        std::printf("%s\n\n", kRule);
    }
    return result;
}
