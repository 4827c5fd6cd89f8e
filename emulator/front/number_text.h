// Numbers given as text to kelcard: on its command line and in a mouse script.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

namespace kelcard {

// Command codes and statuses: "0x" followed by hex digits, or decimal digits; at most
// `max`. Anything else (signs, blanks, trailing characters) is refused.
inline std::optional<uint32_t> ParseNumber(const std::string& text, uint32_t max)
{
    int base = 10;
    std::size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        start = 2;
    }
    if (start >= text.size() || text[start] == '+' || text[start] == '-') return std::nullopt;
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data() + start, end, value, base);
    if (ec != std::errc() || ptr != end || value > max) return std::nullopt;
    return value;
}

}  // namespace kelcard
