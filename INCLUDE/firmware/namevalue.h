// Name/value lists: settings that travel as pairs of texts rather than as a binary
// record. A pair is 512 bytes: the name NUL-terminated in its first 256 bytes, the value
// in its last 256, the rest of each half zero. A list is pairs one after another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "fieldtext.h"

inline constexpr std::size_t NV_TEXT_LEN = 256;

#pragma pack(push, 1)
struct NameValue_tag {
    char name[NV_TEXT_LEN];
    char value[NV_TEXT_LEN];
};
typedef NameValue_tag NAME_VALUE_PAIR;

// The wider pair of the card's interface; only its size matters to the client (the
// alert-recipient query sends eight of them).
struct name_value_tag {
    char name[NV_TEXT_LEN];
    char value[NV_TEXT_LEN];
    uint8_t id;
    char description[NV_TEXT_LEN];
};
typedef name_value_tag NAME_VALUE;
#pragma pack(pop)

static_assert(sizeof(NAME_VALUE_PAIR) == 512);
static_assert(offsetof(NAME_VALUE_PAIR, value) == 256);
static_assert(sizeof(NAME_VALUE) == 769);
static_assert(offsetof(NAME_VALUE, id) == 512);
static_assert(offsetof(NAME_VALUE, description) == 513);

// Fills a pair with a name and a value. False, with the pair all zero, when either
// text does not fit its half with its NUL (more than 255 characters): nothing is cut.
inline bool PutNameValue(NAME_VALUE_PAIR& pair, std::string_view name, std::string_view value)
{
    std::memset(&pair, 0, sizeof(pair));
    if (name.size() >= NV_TEXT_LEN || value.size() >= NV_TEXT_LEN) return false;
    std::memcpy(pair.name, name.data(), name.size());
    std::memcpy(pair.value, value.data(), value.size());
    return true;
}

// Reads the pairs at the start of a list of `len` bytes, at most `maxPairs` of them,
// and calls visit(name, value) for each, in order; each text ends at its NUL or at the
// end of its half. Bytes after the first maxPairs pairs are not looked at. A list that
// ends inside a pair before maxPairs is malformed: false, and nothing is visited.
template <typename Visit>
bool ReadNameValueList(const void* list, std::size_t len, std::size_t maxPairs, Visit&& visit)
{
    const std::size_t whole = len / sizeof(NAME_VALUE_PAIR);
    if (whole < maxPairs && len % sizeof(NAME_VALUE_PAIR) != 0) return false;
    const auto* bytes = static_cast<const char*>(list);
    for (std::size_t i = 0; i < whole && i < maxPairs; ++i) {
        const char* name = bytes + i * sizeof(NAME_VALUE_PAIR);
        const char* value = name + NV_TEXT_LEN;
        visit(std::string_view(name, FieldTextLength(name, NV_TEXT_LEN)),
              std::string_view(value, FieldTextLength(value, NV_TEXT_LEN)));
    }
    return true;
}
