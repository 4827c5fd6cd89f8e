// The card's sensor SDK (0x0200 delete, 0x0201 reread, 0x0202 sensor tree). The
// monitoring service watches the sensors that the SDK file at SDK_CARD_PATH describes,
// as the file stood when the service last (re)started; without the file it watches
// nothing and the sensor tree is answered without data. kelcard's SDK files carry the
// sensor tree in the very stream the card answers (the card comes with one, built from
// DefaultSensorTree), so an uploaded file is answered as it was uploaded.
#include "card_sdk.h"

#include "card_model.h"
#include "card_state.h"
#include "sdk.h"
#include "x9endian.h"
#include "zunacmds.h"
#include "zunahdr.h"

namespace kelcard::detail {
namespace {

// Appends a zeroed node of `size` bytes; returns its offset.
std::size_t AppendNode(std::vector<uint8_t>& stream, std::size_t size)
{
    stream.resize(stream.size() + size);
    return stream.size() - size;
}

// A link on the wire: the offset of the item it announces, or 0 for none.
void PutLink(std::vector<uint8_t>& stream, std::size_t field, bool present)
{
    PutBe32(stream.data() + field, present ? static_cast<uint32_t>(stream.size()) : 0);
}

void PutName(std::vector<uint8_t>& stream, std::size_t field, const std::string& name)
{
    PutTextField(reinterpret_cast<char*>(stream.data() + field), SDK_NAME_LEN, name.c_str());
}

// Each list is written node by node; a node's link is set once the next node's place
// is known (the end of the stream when its item is written).
void AppendAccesses(std::vector<uint8_t>& stream, const std::vector<SensorAccess>& accesses)
{
    for (std::size_t i = 0; i < accesses.size(); ++i) {
        const SensorAccess& a = accesses[i];
        const std::size_t node = AppendNode(stream, sizeof(access_node));
        uint8_t* p = stream.data() + node;
        PutBe16(p + offsetof(access_node, access.access_flag), a.flag);
        p[offsetof(access_node, access.port.i2c_access.slave_address)] = a.slaveAddress;
        p[offsetof(access_node, access.port.i2c_access.I2C_opcode)] = a.opcode;
        PutBe16(p + offsetof(access_node, access.port.i2c_access.byte_count), a.byteCount);
        std::copy(a.data.begin(), a.data.end(), p + offsetof(access_node, access.data));
        for (std::size_t k = 0; k < a.operand.size(); ++k)
            PutBe32(p + offsetof(access_node, access.operand) + 4 * k, a.operand[k]);
        PutLink(stream, node + offsetof(access_node, next), i + 1 < accesses.size());
    }
}

std::size_t AppendSensor(std::vector<uint8_t>& stream, const Sensor& s, bool more)
{
    const std::size_t node = AppendNode(stream, sizeof(subdivision_node));
    uint8_t* p = stream.data() + node;
    PutBe16(p + offsetof(subdivision_node, subdivision_header.length), sizeof(subdivision_node));
    PutBe32(p + offsetof(subdivision_node, subdivision_header.subID), s.id);
    PutName(stream, node + offsetof(subdivision_node, subdivision_header.subdivision_name), s.name);
    PutBe16(p + offsetof(subdivision_node, subdivision_header.access_count), static_cast<uint16_t>(s.accesses.size()));
    PutBe32(p + offsetof(subdivision_node, schedule.programmed_time), kSensorPeriodSeconds);
    PutBe32(p + offsetof(subdivision_node, schedule.time_left), kSensorPeriodSeconds);
    p[offsetof(subdivision_node, conversion.formulaID)] = 1;
    PutBe32(p + offsetof(subdivision_node, conversion.m), 1);
    PutBe16(p + offsetof(subdivision_node, value.length), sizeof(HHF_value));
    const int32_t numbers[] = {s.value, s.lowCritical, s.highCritical, s.lowWarning, s.highWarning,
                               s.lowCritical, s.highCritical, s.value};
    for (std::size_t k = 0; k < std::size(numbers); ++k)
        PutBe32(p + offsetof(subdivision_node, value.value) + 4 * k, static_cast<uint32_t>(numbers[k]));
    p[offsetof(subdivision_node, value.unit_type)] = s.unit;
    PutLink(stream, node + offsetof(subdivision_node, next), more);
    return node;
}

void DeleteSdk(CardState& card, Session&, std::span<const uint8_t>, Reply&) { RemoveSdk(card); }

void RereadSdk(CardState& card, Session&, std::span<const uint8_t>, Reply&)
{
    const auto found = card.fileStore.files.find(SDK_CARD_PATH);
    if (found == card.fileStore.files.end())
        card.sensors.reset();
    else
        card.sensors = found->second;
}

void ReadSensors(CardState& card, Session&, std::span<const uint8_t>, Reply& reply)
{
    if (card.sensors) reply.data = *card.sensors;
}

}  // namespace

std::vector<uint8_t> SerializeSensorTree(const SensorTree& tree)
{
    std::vector<uint8_t> stream;
    AppendNode(stream, sizeof(SDK_node));
    std::copy_n("$$INIT$$", 8, stream.begin());
    PutBe32(stream.data() + offsetof(SDK_node, init.access_count), static_cast<uint32_t>(tree.inits.size()));
    PutBe16(stream.data() + offsetof(SDK_node, class_header.length), sizeof(HHF_class_header));
    PutName(stream, offsetof(SDK_node, class_header.class_name), tree.className);
    PutBe16(stream.data() + offsetof(SDK_node, class_header.category_count), static_cast<uint16_t>(tree.categories.size()));
    PutLink(stream, offsetof(SDK_node, init_accesses), !tree.inits.empty());
    AppendAccesses(stream, tree.inits);
    PutLink(stream, offsetof(SDK_node, categories), !tree.categories.empty());
    std::vector<std::size_t> categoryNodes;
    for (std::size_t c = 0; c < tree.categories.size(); ++c) {
        const SensorCategory& category = tree.categories[c];
        const std::size_t node = AppendNode(stream, sizeof(category_node));
        categoryNodes.push_back(node);
        uint8_t* p = stream.data() + node;
        PutBe16(p + offsetof(category_node, category_header.length), sizeof(HHF_category_header));
        PutBe32(p + offsetof(category_node, category_header.catID), category.id);
        PutName(stream, node + offsetof(category_node, category_header.category_name), category.name);
        PutBe16(p + offsetof(category_node, category_header.subdivision_count),
                static_cast<uint16_t>(category.sensors.size()));
        PutLink(stream, node + offsetof(category_node, next), c + 1 < tree.categories.size());
    }
    for (std::size_t c = 0; c < tree.categories.size(); ++c) {
        const std::vector<Sensor>& sensors = tree.categories[c].sensors;
        PutLink(stream, categoryNodes[c] + offsetof(category_node, subdivisions), !sensors.empty());
        std::vector<std::size_t> sensorNodes;
        for (std::size_t s = 0; s < sensors.size(); ++s)
            sensorNodes.push_back(AppendSensor(stream, sensors[s], s + 1 < sensors.size()));
        for (std::size_t s = 0; s < sensors.size(); ++s) {
            PutLink(stream, sensorNodes[s] + offsetof(subdivision_node, access), !sensors[s].accesses.empty());
            AppendAccesses(stream, sensors[s].accesses);
        }
    }
    return stream;
}

SensorTree DefaultSensorTree()
{
    const SensorAccess lm75 = {0x0001, 0x90, 0x00, 2, {}, {0, 0, 0}};
    const auto ipmi = [](uint8_t number) { return SensorAccess{0x0002, 0x20, number, 1, {}, {0, 0, 0}}; };
    const int32_t failed = static_cast<int32_t>(SDK_ACCESS_FAILED);
    SensorTree tree;
    tree.className = "ORVA server health";
    tree.inits = {{0x0001, 0x90, 0x01, 1, {0x00, 0, 0, 0}, {0, 0, 0}}};
    tree.categories = {
        {"Temperatures", 1, {
            {"CPU 1", 0x101, 47000, 1, 5000, 95000, 10000, 85000, {lm75}},
            {"System board", 0x102, 31500, 1, 5000, 70000, 10000, 60000, {ipmi(0x30)}},
            {"CPU 2", 0x103, failed, 1, 5000, 95000, 10000, 85000, {ipmi(0x31)}},
        }},
        {"Voltages", 2, {
            {"+12V", 0x201, 12094, 4, 10800, 13200, 11400, 12600, {ipmi(0x40)}},
            {"+5V", 0x202, 5031, 4, 4500, 5500, 4750, 5250, {ipmi(0x41)}},
            {"+3.3V", 0x203, 3312, 4, 2970, 3630, 3135, 3465, {ipmi(0x42)}},
        }},
        {"Fans", 3, {
            {"CPU fan", 0x301, 4320, 18, 1000, 9000, 1500, 8000, {ipmi(0x50)}},
        }},
    };
    return tree;
}

void InstallDefaultSdk(CardState& card)
{
    std::vector<uint8_t> file = SerializeSensorTree(DefaultSensorTree());
    card.fileStore.totalBytes += file.size();
    card.sensors = file;
    card.fileStore.files[SDK_CARD_PATH] = std::move(file);
}

void RemoveSdk(CardState& card)
{
    FileStore& store = card.fileStore;
    if (const auto found = store.files.find(SDK_CARD_PATH); found != store.files.end()) {
        store.totalBytes -= found->second.size();
        store.files.erase(found);
    }
    card.sensors.reset();
}

void AddSdkCommands(CommandTable& table)
{
    table[ZUNACMD_DELETE_SDK] = {DeleteSdk, 0};
    table[ZUNACMD_REREAD_SDK] = {RereadSdk, 0};
    table[ZUNACMD_READ_SENSORS] = {ReadSensors, 0};
}

}  // namespace kelcard::detail

void kelcard::CardModel::RemoveSdk() { detail::RemoveSdk(*m_state); }
