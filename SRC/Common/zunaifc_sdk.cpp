// Sensor SDK operations (command codes 0x0200 to 0x0202) and the sensor tree's decoder.
#include <cstddef>
#include <cstring>

#include "sdk.h"
#include "x9endian.h"
#include "zunacmds.h"
#include "x9zunaifc.h"

namespace {

// A link of the decoded tree: the offset of the item it announces, in host order.
void SetLink(unsigned char* field, uint32_t offset)
{
    std::memcpy(field, &offset, sizeof(offset));
}

bool LinkPresent(const unsigned char* field)
{
    return GetBe32(field) != 0;
}

// Each node's numbers to host order; false when a count in it claims more nodes than
// the `room` bytes after it can hold.
bool FixAccess(unsigned char* node, uint32_t)
{
    FixBe16InPlace(node, offsetof(access_node, access.access_flag));
    FixBe16InPlace(node, offsetof(access_node, access.port.i2c_access.byte_count));
    for (std::size_t i = 0; i < 3; ++i) FixBe32InPlace(node, offsetof(access_node, access.operand) + 4 * i);
    return true;
}

bool FixCategory(unsigned char* node, uint32_t room)
{
    FixBe16InPlace(node, offsetof(category_node, category_header.length));
    FixBe32InPlace(node, offsetof(category_node, category_header.catID));
    FixBe16InPlace(node, offsetof(category_node, category_header.subdivision_count));
    uint16_t count = 0;
    std::memcpy(&count, node + offsetof(category_node, category_header.subdivision_count), sizeof(count));
    return std::size_t{count} * sizeof(subdivision_node) <= room;
}

constexpr std::size_t kSubdivision16[] = {
    offsetof(subdivision_node, subdivision_header.length), offsetof(subdivision_node, subdivision_header.access_count),
    offsetof(subdivision_node, schedule.flag),             offsetof(subdivision_node, value.length),
    offsetof(subdivision_node, value.flag),                offsetof(subdivision_node, value.event),
};
constexpr std::size_t kSubdivision32[] = {
    offsetof(subdivision_node, subdivision_header.subID), offsetof(subdivision_node, subdivision_header.data),
    offsetof(subdivision_node, schedule.programmed_time), offsetof(subdivision_node, schedule.time_left),
    offsetof(subdivision_node, conversion.m),             offsetof(subdivision_node, conversion.b),
    offsetof(subdivision_node, conversion.k1),            offsetof(subdivision_node, conversion.k2),
    offsetof(subdivision_node, value.value),              offsetof(subdivision_node, value.low_critical_limit),
    offsetof(subdivision_node, value.high_critical_limit), offsetof(subdivision_node, value.low_warning_limit),
    offsetof(subdivision_node, value.high_warning_limit), offsetof(subdivision_node, value.range_low_limit),
    offsetof(subdivision_node, value.range_high_limit),   offsetof(subdivision_node, value.last_value),
};

bool FixSubdivision(unsigned char* node, uint32_t room)
{
    for (std::size_t offset : kSubdivision16) FixBe16InPlace(node, offset);
    for (std::size_t offset : kSubdivision32) FixBe32InPlace(node, offset);
    uint16_t count = 0;
    std::memcpy(&count, node + offsetof(subdivision_node, subdivision_header.access_count), sizeof(count));
    return std::size_t{count} * sizeof(access_node) <= room;
}

// The stream being placed: every list starts at `pos`, the first byte not yet placed
// (never past len).
struct Stream {
    unsigned char* data;
    uint32_t len;
    uint32_t pos;
};

struct List {
    uint32_t first = 0;
    uint32_t count = 0;
};

// Places the list that starts at s.pos: each node must fit in what is left, is
// converted by `fix`, and its link at `linkAt` is turned into the next node's offset
// (0 for the last). False for a node that does not fit or that fix refuses.
template <typename Node>
bool PlaceList(Stream& s, std::size_t linkAt, bool (*fix)(unsigned char*, uint32_t), List& list)
{
    list = {s.pos, 0};
    for (;;) {
        if (s.len - s.pos < sizeof(Node)) return false;
        unsigned char* node = s.data + s.pos;
        s.pos += sizeof(Node);
        ++list.count;
        if (!fix(node, s.len - s.pos)) return false;
        const bool more = LinkPresent(node + linkAt);
        SetLink(node + linkAt, more ? s.pos : 0);
        if (!more) return true;
    }
}

// A list announced by the link at `field`: placed (the link then holds its offset), or
// none (the link stays 0).
template <typename Node>
bool PlaceListAt(Stream& s, unsigned char* field, std::size_t linkAt, bool (*fix)(unsigned char*, uint32_t),
                 List& list)
{
    list = {};
    if (!LinkPresent(field)) return true;
    if (!PlaceList<Node>(s, linkAt, fix, list)) return false;
    SetLink(field, list.first);
    return true;
}

}  // namespace

ZUNA_ERROR DecodeSensorStream(unsigned char* data, uint32_t len)
{
    if (data == nullptr || len < sizeof(SDK_node)) return ZUNA_E_CONNECTION;
    Stream s{data, len, sizeof(SDK_node)};
    List inits, categories;
    if (!PlaceListAt<access_node>(s, data + offsetof(SDK_node, init_accesses), offsetof(access_node, next), FixAccess,
                                  inits) ||
        !PlaceListAt<category_node>(s, data + offsetof(SDK_node, categories), offsetof(category_node, next),
                                    FixCategory, categories))
        return ZUNA_E_CONNECTION;
    for (uint32_t c = 0; c < categories.count; ++c) {
        unsigned char* category = data + categories.first + c * sizeof(category_node);
        List subdivisions;
        if (!PlaceListAt<subdivision_node>(s, category + offsetof(category_node, subdivisions),
                                           offsetof(subdivision_node, next), FixSubdivision, subdivisions))
            return ZUNA_E_CONNECTION;
        for (uint32_t n = 0; n < subdivisions.count; ++n) {
            unsigned char* subdivision = data + subdivisions.first + n * sizeof(subdivision_node);
            List accesses;
            if (!PlaceListAt<access_node>(s, subdivision + offsetof(subdivision_node, access),
                                          offsetof(access_node, next), FixAccess, accesses))
                return ZUNA_E_CONNECTION;
        }
    }
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
    uint32_t recvLen = 0;
    const ZUNA_ERROR status = SendZunaCommand(ZUNACMD_READ_SENSORS, buffer, 0, &recvLen, 0, bufSize);
    if (status == ZUNA_E_CONNECTION) return status;
    if (recvLen == 0) return ZUNA_E_GENERAL;
    if (DecodeSensorStream(buffer, recvLen) != ZUNA_E_SUCCESS) return ZUNA_E_CONNECTION;
    return status;
}
