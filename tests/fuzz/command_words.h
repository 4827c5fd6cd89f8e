// What the targets of an administrator's or a file's input share: the input as the
// words of a command line, and a client whose card never answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "x9zunaifc.h"

namespace commandwords {

// The input split at each NUL: the words of a command line or of a request's
// parameters, none of which can hold a NUL. Argv() gives them as main() gets them:
// `program` as word 0, a null pointer after the last. One copy of the input holds
// every word.
class Words {
public:
    Words(const uint8_t* data, std::size_t size, const char* program = "kelvast")
        : m_text(data, data + size), m_argv{const_cast<char*>(program)}
    {
        m_text.push_back('\0');
        char* word = m_text.data();
        char* const end = word + size;
        for (;;) {
            m_argv.push_back(word);
            char* const nul = static_cast<char*>(std::memchr(word, '\0', static_cast<std::size_t>(end - word) + 1));
            if (nul == end) break;
            word = nul + 1;
        }
        m_argv.push_back(nullptr);
    }
    int Argc() const { return static_cast<int>(m_argv.size()) - 1; }
    char** Argv() { return m_argv.data(); }
    const char* operator[](std::size_t i) const { return m_argv[i]; }

private:
    std::vector<char> m_text;
    std::vector<char*> m_argv;
};

// A medium whose card never answers: the connection is made (or refused, as told) and
// every request ends as the wait for its reply would end, at once, so a client's every
// operation gives 33 (the medium's code, kept by the client, the time-out's).
struct SilentMedium : CX9ZunaMedium {
    explicit SilentMedium(bool connects) : connects(connects) {}
    bool connects;
    int IssueZUNACommand(char*, unsigned long*, char*, unsigned long) override { return ZUNA_E_TMOUT; }
    int Connect() override { return connects ? 0 : 1; }
    int Disconnect() override { return 0; }
};

inline std::unique_ptr<CX9ZunaIfc> SilentClient(bool connects)
{
    auto client = std::make_unique<CX9ZunaIfc>(std::make_unique<SilentMedium>(connects));
    client->resetWaitMicros = 0;
    return client;
}

}  // namespace commandwords
