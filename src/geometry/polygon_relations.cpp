// How the rings of a polygon stand to one another, and how a ring stands to a polygon, through
// the ring indexes of the nine-intersection engine.
#include <memory>
#include <vector>

#include "geometry/parts.h"
#include "relations/nine_intersection.h"

namespace kelo {

namespace {

std::unique_ptr<C9iPartsIndex> RingIndex(const keloParts* ring) {
    auto idx = std::make_unique<C9iPartsIndex>();
    idx->SetIndex(ring, 1);
    return idx;
}

}  // namespace

int keloPolygon::GetRelationPolygon(double eps) const {
    const int n = GetRingsCount();
    if (n == 0) return 0;
    if (n == 1) return 1;
    std::vector<std::unique_ptr<C9iPartsIndex>> rings;
    for (int i = 0; i < n; ++i) rings.push_back(RingIndex(GetOriginalRingAt(i)));
    // Every hole strictly inside the outer ring, and the holes apart from one another.
    for (int i = 1; i < n; ++i) {
        int direction = 0, code = 0;
        if (rings[0]->Parts9i(*rings[i], eps, direction, code) != kl9iInside || !direction) return 0;
        for (int j = i + 1; j < n; ++j)
            if (rings[i]->Parts9i(*rings[j], eps) != kl9iDisjoint) return 0;
    }
    return 1;
}

int keloPolygon::GetRelationRing(const keloParts& ring, int& index, double eps) const {
    index = -1;
    const int n = GetRingsCount();
    if (n == 0) return kl9iDisjoint;
    const auto r = RingIndex(&ring);
    const auto outer = RingIndex(GetOriginalRingAt(0));
    int direction = 0, code = 0;
    const int r0 = r->Parts9i(*outer, eps, direction, code);
    index = 0;
    const bool within = (r0 == kl9iInside || r0 == kl9iInsideTouch) && direction == 0;
    if (!within) return r0;
    // Inside the outer ring: a hole may still hold the ring, cut into it or lie within it.
    for (int h = 1; h < n; ++h) {
        const int rh = r->Parts9i(*RingIndex(GetOriginalRingAt(h)), eps, direction, code);
        if (rh == kl9iDisjoint || rh == kl9iTouch || rh == kl9iBoundaryTouch) continue;
        index = h;
        if ((rh == kl9iInside || rh == kl9iInsideTouch) && direction == 1) return kl9iOverlap;  // covers the hole
        gz_nPgAContainPgB = direction;
        return rh;
    }
    gz_nPgAContainPgB = 0;
    return r0;
}

}  // namespace kelo
