// Byte-order helpers for wire records.
// ZUNA headers and host-interface records are little-endian on the wire; several
// card records carry big-endian numbers. Every change of byte order goes through
// the helpers below; no other code reinterprets wire bytes as native integers.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

inline constexpr uint16_t EndianFixU16(uint16_t v)
{
    return static_cast<uint16_t>((v >> 8) | (v << 8));
}

inline constexpr uint32_t EndianFixU32(uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

// Host order <-> little-endian (the ZUNA header, CONFIG_CMD, OS_HB_PACKET, HOST_MOUSE_PKT).
inline constexpr uint16_t HostToLe16(uint16_t v)
{
    if constexpr (std::endian::native == std::endian::little) return v;
    else return EndianFixU16(v);
}
inline constexpr uint32_t HostToLe32(uint32_t v)
{
    if constexpr (std::endian::native == std::endian::little) return v;
    else return EndianFixU32(v);
}
inline constexpr uint16_t Le16ToHost(uint16_t v) { return HostToLe16(v); }
inline constexpr uint32_t Le32ToHost(uint32_t v) { return HostToLe32(v); }

// Host order <-> big-endian (numbers inside card records).
inline constexpr uint16_t HostToBe16(uint16_t v)
{
    if constexpr (std::endian::native == std::endian::big) return v;
    else return EndianFixU16(v);
}
inline constexpr uint32_t HostToBe32(uint32_t v)
{
    if constexpr (std::endian::native == std::endian::big) return v;
    else return EndianFixU32(v);
}
inline constexpr uint16_t Be16ToHost(uint16_t v) { return HostToBe16(v); }
inline constexpr uint32_t Be32ToHost(uint32_t v) { return HostToBe32(v); }

// Unaligned little-endian access to a byte buffer (used where a field is read
// straight out of a stream, e.g. dwDataLen at offset 12 of a header being received).
inline uint32_t GetLe32(const void* p)
{
    const auto* b = static_cast<const unsigned char*>(p);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}
inline uint16_t GetLe16(const void* p)
{
    const auto* b = static_cast<const unsigned char*>(p);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}
inline void PutLe32(void* p, uint32_t v)
{
    auto* b = static_cast<unsigned char*>(p);
    b[0] = static_cast<unsigned char>(v);
    b[1] = static_cast<unsigned char>(v >> 8);
    b[2] = static_cast<unsigned char>(v >> 16);
    b[3] = static_cast<unsigned char>(v >> 24);
}
inline void PutLe16(void* p, uint16_t v)
{
    auto* b = static_cast<unsigned char*>(p);
    b[0] = static_cast<unsigned char>(v);
    b[1] = static_cast<unsigned char>(v >> 8);
}

// Unaligned big-endian access to a byte buffer (numbers inside card records and SCSI
// command blocks).
inline uint32_t GetBe32(const void* p)
{
    const auto* b = static_cast<const unsigned char*>(p);
    return (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
           (static_cast<uint32_t>(b[2]) << 8) | static_cast<uint32_t>(b[3]);
}
inline uint16_t GetBe16(const void* p)
{
    const auto* b = static_cast<const unsigned char*>(p);
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
}
inline void PutBe32(void* p, uint32_t v)
{
    auto* b = static_cast<unsigned char*>(p);
    b[0] = static_cast<unsigned char>(v >> 24);
    b[1] = static_cast<unsigned char>(v >> 16);
    b[2] = static_cast<unsigned char>(v >> 8);
    b[3] = static_cast<unsigned char>(v);
}
inline void PutBe16(void* p, uint16_t v)
{
    auto* b = static_cast<unsigned char*>(p);
    b[0] = static_cast<unsigned char>(v >> 8);
    b[1] = static_cast<unsigned char>(v);
}

// A big-endian number field of a record turned to host order in place, or back: the
// same call both ways, on any host (the image's module headers use them). Replies from
// the card are decoded through x9reader.h instead, never in place.
inline void FixBe16InPlace(void* record, std::size_t offset)
{
    auto* p = static_cast<unsigned char*>(record) + offset;
    const uint16_t v = GetBe16(p);
    std::memcpy(p, &v, sizeof(v));
}
inline void FixBe32InPlace(void* record, std::size_t offset)
{
    auto* p = static_cast<unsigned char*>(record) + offset;
    const uint32_t v = GetBe32(p);
    std::memcpy(p, &v, sizeof(v));
}
