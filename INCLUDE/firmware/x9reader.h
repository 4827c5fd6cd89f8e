// Bounded reading and writing of wire records. A WireReader is a cursor over the bytes
// of a reply: each read takes the next field through the x9endian.h helpers and moves
// on. A read that would pass the end takes nothing, yields zeros and sets a failure
// that stays set (every later read yields zeros too), so a decoder reads all its
// fields and checks ok() once at the end. The bytes read are never changed.
// A WireWriter is the same cursor over a request being built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "x9endian.h"

class WireReader {
public:
    WireReader(const void* data, std::size_t len) : m_data(static_cast<const unsigned char*>(data)), m_len(len) {}

    uint8_t U8()
    {
        const unsigned char* p = Take(1);
        return p != nullptr ? *p : 0;
    }
    uint16_t Be16() { return Number<uint16_t>(GetBe16); }
    uint32_t Be32() { return Number<uint32_t>(GetBe32); }
    uint16_t Le16() { return Number<uint16_t>(GetLe16); }
    uint32_t Le32() { return Number<uint32_t>(GetLe32); }
    // n bytes copied to out as they are (zeros when they are not all there).
    void Bytes(void* out, std::size_t n)
    {
        const unsigned char* p = Take(n);
        if (n == 0) return;
        if (p != nullptr) std::memcpy(out, p, n);
        else std::memset(out, 0, n);
    }
    void Skip(std::size_t n) { Take(n); }
    // Where the next n bytes are, or null (and the failure set) when they are not all
    // there.
    const unsigned char* Span(std::size_t n) { return Take(n); }

    bool ok() const { return m_ok; }
    // ok() and every byte read: a record that must fill the reply exactly.
    bool AtEnd() const { return m_ok && m_pos == m_len; }
    std::size_t Position() const { return m_pos; }
    std::size_t Remaining() const { return m_ok ? m_len - m_pos : 0; }

private:
    template <typename T>
    T Number(T (*get)(const void*))
    {
        const unsigned char* p = Take(sizeof(T));
        return p != nullptr ? get(p) : 0;
    }
    const unsigned char* Take(std::size_t n)
    {
        if (!m_ok || n > m_len - m_pos) {
            m_ok = false;
            return nullptr;
        }
        const unsigned char* p = m_data + m_pos;
        m_pos += n;
        return p;
    }

    const unsigned char* m_data;
    std::size_t m_len;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

class WireWriter {
public:
    WireWriter(void* data, std::size_t len) : m_data(static_cast<unsigned char*>(data)), m_len(len) {}

    void U8(uint8_t v)
    {
        if (unsigned char* p = Take(1)) *p = v;
    }
    void Be16(uint16_t v) { Number(PutBe16, v); }
    void Be32(uint32_t v) { Number(PutBe32, v); }
    void Le16(uint16_t v) { Number(PutLe16, v); }
    void Le32(uint32_t v) { Number(PutLe32, v); }
    void Bytes(const void* in, std::size_t n)
    {
        unsigned char* p = Take(n);
        if (p != nullptr && n != 0) std::memcpy(p, in, n);
    }

    bool ok() const { return m_ok; }
    std::size_t Position() const { return m_pos; }

private:
    template <typename T>
    void Number(void (*put)(void*, T), T v)
    {
        if (unsigned char* p = Take(sizeof(T))) put(p, v);
    }
    unsigned char* Take(std::size_t n)
    {
        if (!m_ok || n > m_len - m_pos) {
            m_ok = false;
            return nullptr;
        }
        unsigned char* p = m_data + m_pos;
        m_pos += n;
        return p;
    }

    unsigned char* m_data;
    std::size_t m_len;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

// A numeric field of a packed record: its offset, its width (2 or 4) and its byte
// order on the wire. Fields are listed in ascending offset; every other byte of the
// record travels as it is.
struct WireField {
    std::size_t offset;
    uint8_t width;
    bool bigEndian = true;
};
using WireFields = std::initializer_list<WireField>;

// The next `size` bytes of the reader as a record at rec (host order): bytes as they
// come, each listed field through the reader's Be/Le reads. A record that does not
// fit what is left sets the reader's failure (rec then holds zeros where the bytes
// were missing), so the caller reads into its own copy and checks ok().
inline void ReadRecord(WireReader& r, void* rec, std::size_t size, WireFields fields)
{
    auto* out = static_cast<unsigned char*>(rec);
    std::size_t at = 0;
    for (const WireField& f : fields) {
        r.Bytes(out + at, f.offset - at);
        if (f.width == 2) {
            const uint16_t v = f.bigEndian ? r.Be16() : r.Le16();
            std::memcpy(out + f.offset, &v, sizeof(v));
        } else {
            const uint32_t v = f.bigEndian ? r.Be32() : r.Le32();
            std::memcpy(out + f.offset, &v, sizeof(v));
        }
        at = f.offset + f.width;
    }
    r.Bytes(out + at, size - at);
}

// The record at rec (host order) as its `size` wire bytes, the listed fields in their
// wire order; the record itself is not changed.
inline void WriteRecord(WireWriter& w, const void* rec, std::size_t size, WireFields fields)
{
    const auto* in = static_cast<const unsigned char*>(rec);
    std::size_t at = 0;
    for (const WireField& f : fields) {
        w.Bytes(in + at, f.offset - at);
        if (f.width == 2) {
            uint16_t v = 0;
            std::memcpy(&v, in + f.offset, sizeof(v));
            f.bigEndian ? w.Be16(v) : w.Le16(v);
        } else {
            uint32_t v = 0;
            std::memcpy(&v, in + f.offset, sizeof(v));
            f.bigEndian ? w.Be32(v) : w.Le32(v);
        }
        at = f.offset + f.width;
    }
    w.Bytes(in + at, size - at);
}
