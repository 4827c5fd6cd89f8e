// The sensor tree (command 0x0202): one byte stream of packed nodes. Every U16, U32
// and S32 of a node is big-endian on the wire; names are NUL-padded. The stream holds,
// in this order: the head; the initialisation accesses; the categories; then for each
// category its subdivisions (sensors) followed by the accesses of each of them.
// A link field (32 bits) only says whether a list has a first, or an item a next,
// element: zero none, any other value the item at the stream's next position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

inline constexpr std::size_t SDK_NAME_LEN = 32;
// Where the card keeps an uploaded SDK file.
inline constexpr const char* SDK_CARD_PATH = "/x9sdk/x9sdk.dat";
// A reading the card could not take.
inline constexpr uint32_t SDK_ACCESS_FAILED = 0x80000000u;

#pragma pack(push, 1)
struct init_header {
    uint8_t init_signature[8];
    uint32_t access_count;
};

struct HHF_class_header {
    uint16_t length;
    char class_name[SDK_NAME_LEN];
    uint16_t category_count;
};

struct SDK_node {
    init_header init;              // not converted, not used
    HHF_class_header class_header; // not converted, not used
    uint32_t init_accesses;        // link
    uint32_t categories;           // link
};

struct I2C_ACCESS_TAG {
    uint8_t slave_address;
    uint8_t I2C_opcode;
    uint16_t byte_count;
};

struct IPMI_ACCESS_TAG {
    uint8_t slave_address;
    uint8_t sensor_number;
    uint16_t byte_count;
};

struct port_access {
    uint16_t access_flag;
    union {
        I2C_ACCESS_TAG i2c_access;
        IPMI_ACCESS_TAG ipmi_access;
    } port;
    uint8_t data[4];
    uint32_t operand[3];
};

struct access_node {
    port_access access;
    uint32_t next;  // link
};

struct HHF_category_header {
    uint16_t length;
    uint32_t catID;
    char category_name[SDK_NAME_LEN];
    uint16_t subdivision_count;
};

struct category_node {
    HHF_category_header category_header;
    uint32_t subdivisions;  // link
    uint32_t next;          // link
};

struct HHF_subdivision_header {
    uint16_t length;
    uint32_t subID;
    char subdivision_name[SDK_NAME_LEN];
    uint32_t data;
    uint16_t access_count;
};

struct HHF_schedule {
    uint16_t flag;
    uint32_t programmed_time;
    uint32_t time_left;
};

struct HHF_conversion {
    uint8_t formulaID;
    int32_t m;
    int32_t b;
    int32_t k1;
    int32_t k2;
};

struct HHF_value {
    uint16_t length;
    uint16_t flag;
    int32_t value;  // SDK_ACCESS_FAILED when the access failed
    int32_t low_critical_limit;
    int32_t high_critical_limit;
    int32_t low_warning_limit;
    int32_t high_warning_limit;
    int32_t range_low_limit;
    int32_t range_high_limit;
    int32_t last_value;
    uint16_t event;
    uint8_t unit_type;
};

struct subdivision_node {
    HHF_subdivision_header subdivision_header;
    HHF_schedule schedule;
    HHF_conversion conversion;
    HHF_value value;
    uint32_t access;  // link: the subdivision's own accesses
    uint32_t next;    // link
};
#pragma pack(pop)

static_assert(sizeof(SDK_node) == 56);
static_assert(offsetof(SDK_node, class_header) == 12);
static_assert(offsetof(SDK_node, init_accesses) == 48);
static_assert(offsetof(SDK_node, categories) == 52);
static_assert(sizeof(port_access) == 22);
static_assert(sizeof(access_node) == 26);
static_assert(offsetof(access_node, access.port) == 2);
static_assert(offsetof(access_node, access.port.i2c_access.byte_count) == 4);
static_assert(offsetof(access_node, access.data) == 6);
static_assert(offsetof(access_node, access.operand) == 10);
static_assert(offsetof(access_node, next) == 22);
static_assert(sizeof(category_node) == 48);
static_assert(offsetof(category_node, category_header.catID) == 2);
static_assert(offsetof(category_node, category_header.category_name) == 6);
static_assert(offsetof(category_node, category_header.subdivision_count) == 38);
static_assert(offsetof(category_node, subdivisions) == 40);
static_assert(offsetof(category_node, next) == 44);
static_assert(sizeof(HHF_subdivision_header) == 44);
static_assert(sizeof(HHF_schedule) == 10);
static_assert(sizeof(HHF_conversion) == 17);
static_assert(sizeof(HHF_value) == 39);
static_assert(sizeof(subdivision_node) == 118);
static_assert(offsetof(subdivision_node, subdivision_header.data) == 38);
static_assert(offsetof(subdivision_node, subdivision_header.access_count) == 42);
static_assert(offsetof(subdivision_node, schedule) == 44);
static_assert(offsetof(subdivision_node, conversion) == 54);
static_assert(offsetof(subdivision_node, conversion.m) == 55);
static_assert(offsetof(subdivision_node, value) == 71);
static_assert(offsetof(subdivision_node, value.value) == 75);
static_assert(offsetof(subdivision_node, value.event) == 107);
static_assert(offsetof(subdivision_node, value.unit_type) == 109);
static_assert(offsetof(subdivision_node, access) == 110);
static_assert(offsetof(subdivision_node, next) == 114);

// A node of a decoded tree: a copy of the `Node` at `offset` of the len bytes at data,
// or false when it does not fit (offset 0, a missing link, gives false too: the head
// is never a link's target).
template <typename Node>
bool SdkNodeAt(const unsigned char* data, std::size_t len, uint32_t offset, Node& node)
{
    if (offset == 0 || offset > len || len - offset < sizeof(Node)) return false;
    std::memcpy(&node, data + offset, sizeof(Node));
    return true;
}

// Walks a decoded tree of `len` bytes (ReadSensors's buffer): onCategory(category_node)
// for each category in order, each followed by onSensor(subdivision_node) for each of
// its sensors. Links lead forward only and every node is checked to fit, so a walk over
// any buffer ends inside it.
template <typename OnCategory, typename OnSensor>
void WalkSdkTree(const unsigned char* tree, std::size_t len, OnCategory onCategory, OnSensor onSensor)
{
    const auto follow = [&](uint32_t from, uint32_t link, auto& node) {
        return link > from && SdkNodeAt(tree, len, link, node);
    };
    SDK_node head;
    if (len < sizeof(head)) return;
    std::memcpy(&head, tree, sizeof(head));
    category_node category;
    for (uint32_t at = 0, link = head.categories; follow(at, link, category); at = link, link = category.next) {
        onCategory(category);
        subdivision_node sensor;
        for (uint32_t from = link, next = category.subdivisions; follow(from, next, sensor);
             from = next, next = sensor.next)
            onSensor(sensor);
    }
}
