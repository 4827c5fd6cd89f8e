// The sensor tree's decoder against any stream: it reads nothing past the stream (a
// copy of exactly its size), and a tree it accepts has every link inside the stream,
// each leading forward, one node a place.
#include <cstdlib>
#include <set>

#include "sensor_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    std::vector<unsigned char> tree(data, data + size);
    if (DecodeSensorStream(tree.data(), static_cast<uint32_t>(size)) != ZUNA_E_SUCCESS) return 0;
    const std::vector<uint32_t> offsets = SensorTreeOffsets(tree);
    SDK_node head;
    std::memcpy(&head, tree.data(), sizeof(head));
    const bool empty = head.init_accesses == 0 && head.categories == 0;
    if (offsets.empty() != empty || std::set<uint32_t>(offsets.begin(), offsets.end()).size() != offsets.size())
        std::abort();
    return 0;
}
