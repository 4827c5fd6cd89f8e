// The sensor tree's decoder against any stream: it reads nothing past the stream (a
// copy of exactly its size) and never changes it, writes its output only when it
// accepts the stream, and a tree it accepts has every link inside the stream, each
// leading forward, one node a place.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>

#include "sensor_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::vector<unsigned char> stream(data, data + size);
    std::vector<unsigned char> tree(size, 0xA5);
    const ZUNA_ERROR status = DecodeSensorStream(stream.data(), static_cast<uint32_t>(size), tree.data());
    if (size != 0 && std::memcmp(stream.data(), data, size) != 0) std::abort();
    if (status != ZUNA_E_SUCCESS) {
        const std::vector<unsigned char> untouched(size, 0xA5);
        if (tree != untouched) std::abort();
        return 0;
    }
    const std::vector<uint32_t> offsets = SensorTreeOffsets(tree);
    SDK_node head;
    std::memcpy(&head, tree.data(), sizeof(head));
    const bool empty = head.init_accesses == 0 && head.categories == 0;
    if (offsets.empty() != empty || std::set<uint32_t>(offsets.begin(), offsets.end()).size() != offsets.size())
        std::abort();
    return 0;
}
