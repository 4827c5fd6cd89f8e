// Texts in fixed-width record fields. A text shorter than its field ends in a NUL and
// the rest of the field is zero; a card may also fill a field to its end and leave the
// NUL out, so every read of a field is bounded by the field's size.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

// The length of the text at the start of a field: up to its NUL or the field's end.
inline std::size_t FieldTextLength(const char* field, std::size_t size)
{
    return strnlen(field, size);
}

// The same for printing a card's field with "%.*s".
template <std::size_t N>
int FieldLen(const char (&field)[N])
{
    return static_cast<int>(FieldTextLength(field, N));
}

// The text at the start of a field, as a string.
inline std::string TextOfField(const char* field, std::size_t size)
{
    return std::string(field, FieldTextLength(field, size));
}

// The length of a text that ends with a NUL within `size` bytes, or -1 when it does
// not (the text would not fit a field of that size with its NUL).
inline int TerminatedTextLength(const char* text, std::size_t size)
{
    const std::size_t len = FieldTextLength(text, size);
    return len < size ? static_cast<int>(len) : -1;
}

// Copies the text at the start of `src` (up to its NUL or the end of `src`, at most
// dstSize - 1 characters) into `dst` and zero-fills the rest of `dst`.
inline void CopyTextField(char* dst, std::size_t dstSize, const char* src, std::size_t srcSize)
{
    if (dstSize == 0) return;
    std::size_t n = FieldTextLength(src, srcSize < dstSize - 1 ? srcSize : dstSize - 1);
    std::memcpy(dst, src, n);
    std::memset(dst + n, 0, dstSize - n);
}

// Places a NUL-terminated text in its zero-filled field of `size` bytes. False, with
// the field left as it was, when the text does not fit with its NUL: a text is never
// cut short.
inline bool PutTextField(char* field, std::size_t size, const char* text)
{
    const int len = TerminatedTextLength(text, size);
    if (len < 0) return false;
    std::memset(field, 0, size);
    std::memcpy(field, text, static_cast<std::size_t>(len));
    return true;
}
template <std::size_t N>
bool PutTextField(char (&field)[N], const char* text)
{
    return PutTextField(field, N, text);
}
