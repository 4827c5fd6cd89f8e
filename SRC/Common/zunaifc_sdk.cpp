// Sensor SDK operations (command codes 0x0200 to 0x0202) and the sensor tree's decoder.
#include <cstddef>
#include <cstring>
#include <vector>

#include "sdk.h"
#include "x9endian.h"
#include "x9reader.h"
#include "zunacmds.h"
#include "x9zunaifc.h"

namespace {

// Each node's numbers in ascending order, its links among them (read big-endian: any
// nonzero value announces the next item).
constexpr WireFields kAccessFields = {
    {offsetof(access_node, access.access_flag), 2},
    {offsetof(access_node, access.port.i2c_access.byte_count), 2},
    {offsetof(access_node, access.operand), 4},
    {offsetof(access_node, access.operand) + 4, 4},
    {offsetof(access_node, access.operand) + 8, 4},
    {offsetof(access_node, next), 4},
};
constexpr WireFields kCategoryFields = {
    {offsetof(category_node, category_header.length), 2},
    {offsetof(category_node, category_header.catID), 4},
    {offsetof(category_node, category_header.subdivision_count), 2},
    {offsetof(category_node, subdivisions), 4},
    {offsetof(category_node, next), 4},
};
constexpr WireFields kSubdivisionFields = {
    {offsetof(subdivision_node, subdivision_header.length), 2},
    {offsetof(subdivision_node, subdivision_header.subID), 4},
    {offsetof(subdivision_node, subdivision_header.data), 4},
    {offsetof(subdivision_node, subdivision_header.access_count), 2},
    {offsetof(subdivision_node, schedule.flag), 2},
    {offsetof(subdivision_node, schedule.programmed_time), 4},
    {offsetof(subdivision_node, schedule.time_left), 4},
    {offsetof(subdivision_node, conversion.m), 4},
    {offsetof(subdivision_node, conversion.b), 4},
    {offsetof(subdivision_node, conversion.k1), 4},
    {offsetof(subdivision_node, conversion.k2), 4},
    {offsetof(subdivision_node, value.length), 2},
    {offsetof(subdivision_node, value.flag), 2},
    {offsetof(subdivision_node, value.value), 4},
    {offsetof(subdivision_node, value.low_critical_limit), 4},
    {offsetof(subdivision_node, value.high_critical_limit), 4},
    {offsetof(subdivision_node, value.low_warning_limit), 4},
    {offsetof(subdivision_node, value.high_warning_limit), 4},
    {offsetof(subdivision_node, value.range_low_limit), 4},
    {offsetof(subdivision_node, value.range_high_limit), 4},
    {offsetof(subdivision_node, value.last_value), 4},
    {offsetof(subdivision_node, value.event), 2},
    {offsetof(subdivision_node, access), 4},
    {offsetof(subdivision_node, next), 4},
};

// How a node kind is read: its fields, where its next link is, and where the count
// of the nodes it announces (each `countedSize` bytes) is, if it has one.
struct NodeKind {
    std::size_t size;
    WireFields fields;
    std::size_t linkAt;
    std::size_t countAt;  // 0: no count
    std::size_t countedSize;
};
constexpr NodeKind kAccess{sizeof(access_node), kAccessFields, offsetof(access_node, next), 0, 0};
constexpr NodeKind kCategory{sizeof(category_node), kCategoryFields, offsetof(category_node, next),
                             offsetof(category_node, category_header.subdivision_count), sizeof(subdivision_node)};
constexpr NodeKind kSubdivision{sizeof(subdivision_node), kSubdivisionFields, offsetof(subdivision_node, next),
                                offsetof(subdivision_node, subdivision_header.access_count), sizeof(access_node)};

uint32_t HostU32(const unsigned char* field)
{
    uint32_t v = 0;
    std::memcpy(&v, field, sizeof(v));
    return v;
}

void SetLink(unsigned char* field, uint32_t offset)
{
    std::memcpy(field, &offset, sizeof(offset));
}

struct List {
    uint32_t first = 0;
    uint32_t count = 0;
};

// Reads the list that starts at the reader's position into the same place of `tree`:
// each node must fit in what is left, a count in it may not claim more nodes than the
// rest holds, and its next link becomes the next node's offset (0 for the last).
bool PlaceList(WireReader& r, unsigned char* tree, const NodeKind& kind, List& list)
{
    list = {static_cast<uint32_t>(r.Position()), 0};
    for (;;) {
        // The node is read in place in the tree only when all of it is there.
        if (r.Remaining() < kind.size) return false;
        unsigned char* node = tree + r.Position();
        ReadRecord(r, node, kind.size, kind.fields);
        ++list.count;
        if (kind.countAt != 0) {
            uint16_t count = 0;
            std::memcpy(&count, node + kind.countAt, sizeof(count));
            if (std::size_t{count} * kind.countedSize > r.Remaining()) return false;
        }
        const bool more = HostU32(node + kind.linkAt) != 0;
        SetLink(node + kind.linkAt, more ? static_cast<uint32_t>(r.Position()) : 0);
        if (!more) return true;
    }
}

// A list announced by the link at `field` of `tree` (host order by now): placed (the
// link then holds its offset), or none (the link stays 0).
bool PlaceListAt(WireReader& r, unsigned char* tree, unsigned char* field, const NodeKind& kind, List& list)
{
    list = {};
    if (HostU32(field) == 0) return true;
    if (!PlaceList(r, tree, kind, list)) return false;
    SetLink(field, list.first);
    return true;
}

}  // namespace

ZUNA_ERROR DecodeSensorStream(const unsigned char* data, uint32_t len, unsigned char* out)
{
    if (data == nullptr || out == nullptr || len < sizeof(SDK_node)) return ZUNA_E_CONNECTION;
    // The tree is built in a copy (the head's own numbers and any bytes after the last
    // node stay as they came) and handed over only when whole.
    std::vector<unsigned char> tree(data, data + len);
    unsigned char* head = tree.data();
    SetLink(head + offsetof(SDK_node, init_accesses), GetBe32(data + offsetof(SDK_node, init_accesses)));
    SetLink(head + offsetof(SDK_node, categories), GetBe32(data + offsetof(SDK_node, categories)));
    WireReader r(data, len);
    r.Skip(sizeof(SDK_node));
    List inits, categories;
    if (!PlaceListAt(r, head, head + offsetof(SDK_node, init_accesses), kAccess, inits) ||
        !PlaceListAt(r, head, head + offsetof(SDK_node, categories), kCategory, categories))
        return ZUNA_E_CONNECTION;
    for (uint32_t c = 0; c < categories.count; ++c) {
        unsigned char* category = head + categories.first + c * sizeof(category_node);
        List subdivisions;
        if (!PlaceListAt(r, head, category + offsetof(category_node, subdivisions), kSubdivision, subdivisions))
            return ZUNA_E_CONNECTION;
        for (uint32_t n = 0; n < subdivisions.count; ++n) {
            unsigned char* subdivision = head + subdivisions.first + n * sizeof(subdivision_node);
            List accesses;
            if (!PlaceListAt(r, head, subdivision + offsetof(subdivision_node, access), kAccess, accesses))
                return ZUNA_E_CONNECTION;
        }
    }
    std::memcpy(out, tree.data(), len);
    return ZUNA_E_SUCCESS;
}

ZUNA_ERROR CX9ZunaIfc::DeleteSDK()
{
    return SendRecord(ZUNACMD_DELETE_SDK, nullptr, 0);
}

ZUNA_ERROR CX9ZunaIfc::RereadSDK()
{
    return SendRecord(ZUNACMD_REREAD_SDK, nullptr, 0);
}

ZUNA_ERROR CX9ZunaIfc::UploadSDK(const char* fileName)
{
    ZUNA_ERROR status = UploadFile(fileName, SDK_CARD_PATH);
    if (status == ZUNA_E_SUCCESS) status = SDKFlash();
    if (status == ZUNA_E_SUCCESS) status = RereadSDK();
    return status;
}

ZUNA_ERROR CX9ZunaIfc::ReadSensors(unsigned char* buffer, uint32_t bufSize)
{
    std::vector<unsigned char> reply;
    const ZUNA_ERROR status = Exchange(ZUNACMD_READ_SENSORS, nullptr, 0, bufSize, reply);
    if (status == ZUNA_E_CONNECTION) return status;
    if (reply.empty()) return ZUNA_E_GENERAL;
    const auto len = static_cast<uint32_t>(reply.size());
    // A refusal's data is checked like any reply's but never handed to the caller.
    std::vector<unsigned char> tree(len);
    if (DecodeSensorStream(reply.data(), len, tree.data()) != ZUNA_E_SUCCESS) return ZUNA_E_CONNECTION;
    if (status == ZUNA_E_SUCCESS) std::memcpy(buffer, tree.data(), len);
    return status;
}
