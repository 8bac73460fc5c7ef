// libFuzzer target for the spatial index: the bytes are a script of adds, replacements, deletions,
// bulk adds and queries with raw coordinates (huge, tiny, infinite, not a number, inverted boxes).
// The index must never crash, hang, read freed records or leak, and every box or point query
// must hand back ids in strictly rising order that include every live record whose finite box
// meets the query. Small ids make replacements frequent, which is where a record freed while a
// list still held it used to show. Built apart from the test suite by scripts/fuzz.sh.
//
// Input: steps of 33 bytes: one command byte (low 3 bits the command, high 5 bits the id), then
// four little-endian doubles x1, y1, x2, y2.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "relations/geometry_index.h"

using namespace kelo;

namespace {

constexpr size_t kStep = 33;

bool Finite(const Box& b) {
    return std::isfinite(b.minx) && std::isfinite(b.miny) && std::isfinite(b.maxx) && std::isfinite(b.maxy);
}

// Mirrors what the index holds for ids whose last box was finite; other ids are forgotten, since
// what an index makes of a box that is no place is its own affair.
void Mirror(std::map<uint32_t, Box>& live, uint32_t id, const Box& b) {
    if (!b.IsEmpty() && Finite(b))
        live[id] = b;
    else
        live.erase(id);
}

void CheckOrder(const CNodeInfoArray& out) {
    for (size_t k = 1; k < out.size(); ++k)
        if (!(out[k - 1]->id < out[k]->id)) std::abort();
}

// Every live record whose box meets q (closed comparisons, no margin) must be among the hits.
void CheckHits(const CNodeInfoArray& out, const std::map<uint32_t, Box>& live, const Box& q) {
    CheckOrder(out);
    if (!Finite(q) || q.IsEmpty()) return;
    for (const auto& [id, b] : live) {
        if (b.minx > q.maxx || q.minx > b.maxx || b.miny > q.maxy || q.miny > b.maxy) continue;
        int pos = 0;
        if (!out.Pos(id, &pos)) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    GeometryIndex index;
    std::map<uint32_t, Box> live;
    CNodeInfoArray out;
    std::vector<Box> bulkBoxes;
    std::vector<NodeInfoType> bulk;
    for (size_t at = 0; at + kStep <= size; at += kStep) {
        const uint8_t command = data[at] & 7;
        const uint32_t id = data[at] >> 3;
        double v[4];
        std::memcpy(v, data + at + 1, sizeof v);
        Box b;
        b.minx = v[0], b.miny = v[1], b.maxx = v[2], b.maxy = v[3];
        switch (command) {
            case 0:
            case 1:
                index.Add(&b, id);
                Mirror(live, id, b);
                break;
            case 2:
                index.Delete(id);
                live.erase(id);
                break;
            case 3:  // gathered, then added in one call by a command 7
                bulkBoxes.push_back(b);
                break;
            case 4:
                index.BoxQuery(b, out);
                CheckHits(out, live, b);
                break;
            case 5: {
                Point3D p;
                p.x = v[0], p.y = v[1], p.z = 0;
                index.PointQuery(p, out);
                CheckHits(out, live, Box(v[0], v[1], v[0], v[1]));
                break;
            }
            case 6:
                index.BoxRelatedQuery(b, out, std::fabs(v[0] - v[2]));
                CheckOrder(out);
                {
                    Point3D p;
                    p.x = v[0], p.y = v[1], p.z = 0;
                    index.PointRelatedQuery(p, out, std::fabs(v[3]));
                }
                CheckOrder(out);
                break;
            case 7: {
                // Ids of the gathered boxes count up from this step's id; the last of a repeated id wins.
                bulk.clear();
                for (size_t k = 0; k < bulkBoxes.size(); ++k)
                    bulk.push_back({static_cast<uint32_t>((id + k) & 31), &bulkBoxes[k]});
                index.Add(static_cast<int>(bulk.size()), bulk.data());
                for (const NodeInfoType& r : bulk) Mirror(live, r.id, *r.box);
                bulkBoxes.clear();
                break;
            }
        }
    }
    // Every id whose last box was finite must still be in the record array.
    for (const auto& [id, b] : live) {
        int pos = 0;
        if (!index.GetNodeInfoArray().Pos(id, &pos)) std::abort();
    }
    return 0;
}
