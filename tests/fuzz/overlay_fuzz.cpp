// libFuzzer target for the area overlay: two records read from the bytes by the length-checked
// reader go through all four set operations. Whatever the rings look like (crossing, spiked,
// without area, huge or not finite coordinates) the overlay must return, without crash, hang or
// leak, and every result polygon it hands back must be freeable. Built apart from the test suite
// by scripts/fuzz.sh.
//
// Input: one byte of operation choice, two bytes (little-endian) giving the length of the first
// record, the first record, then the second record up to the end.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "geometry/records.h"
#include "overlay/boolean_overlay.h"

using namespace kelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const size_t firstLength = data[1] | size_t(data[2]) << 8;
    if (firstLength > size - 3) return 0;
    // Exact-size heap copies, so that a read past either record is an address-sanitizer report.
    std::vector<unsigned char> first(data + 3, data + 3 + firstLength), second(data + 3 + firstLength, data + size);
    WKBGeometry a, b;
    const int readA = Binary2WkbGeom(first.data(), first.size(), &a);
    const int readB = Binary2WkbGeom(second.data(), second.size(), &b);
    if (readA && readB) {
        // The choice byte picks which operations run, so short runs still reach all four.
        static const uint32_t kOps[] = {kBoolIntersection, kBoolUnion, kBoolDifference, kBoolSymDifference};
        for (int k = 0; k < 4; ++k) {
            if (!(data[0] & (1 << k)) && (data[0] & 15) != 0) continue;
            std::vector<WKBPolygon*> out;
            const bool areas = (a.type == wkbPolygon || a.type == wkbMultiPolygon) && (b.type == wkbPolygon || b.type == wkbMultiPolygon);
            if (BoolOp2DGeometry(&a, &b, kOps[k], out) != (areas ? 1 : 0)) std::abort();
            for (WKBPolygon* p : out) FreeWKBPolygon(p);
        }
    }
    if (readA) DeleteWKBGeometry(&a);
    if (readB) DeleteWKBGeometry(&b);
    return 0;
}
