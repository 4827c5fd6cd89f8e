// The offsets of every node of a decoded sensor tree, found by its links, ascending;
// empty when a link leads outside the tree or backwards.
#pragma once

#include <algorithm>
#include <vector>

#include "x9zunaifc.h"

inline std::vector<uint32_t> SensorTreeOffsets(const std::vector<unsigned char>& tree)
{
    std::vector<uint32_t> offsets;
    bool sound = tree.size() >= sizeof(SDK_node);
    auto walk = [&](uint32_t link, auto node, auto next, auto each) {
        for (uint32_t from = 0; sound && link != 0; from = link, link = next(node)) {
            sound = link > from && SdkNodeAt(tree.data(), tree.size(), link, node);
            if (sound) offsets.push_back(link), each(node);
        }
    };
    if (!sound) return {};
    SDK_node head;
    std::memcpy(&head, tree.data(), sizeof(head));
    const auto noMore = [](const auto&) {};
    const auto accessNext = [](const access_node& n) { return n.next; };
    walk(head.init_accesses, access_node{}, accessNext, noMore);
    walk(head.categories, category_node{}, [](const category_node& n) { return n.next; }, [&](const category_node& c) {
        std::vector<uint32_t> accessLists;
        walk(c.subdivisions, subdivision_node{}, [](const subdivision_node& n) { return n.next; },
             [&](const subdivision_node& n) { accessLists.push_back(+n.access); });
        for (uint32_t list : accessLists) walk(list, access_node{}, accessNext, noMore);
    });
    std::sort(offsets.begin(), offsets.end());
    return sound ? offsets : std::vector<uint32_t>{};
}
