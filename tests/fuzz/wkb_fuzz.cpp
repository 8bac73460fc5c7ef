// libFuzzer target for the standard binary reader: arbitrary bytes are refused with an offset
// inside the input, or read into an object that writes back (binary and text) and reads again to
// the same record. Built apart from the test suite; see build_wkb_fuzz.sh.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "geometry/geometry_object.h"
#include "io/standard_forms.h"

using namespace kelo;

namespace {

std::vector<uint8_t> Encoded(const WKBGeometry& g) {
    std::vector<uint8_t> b(CalWkbGeomSize(&g));
    if (!b.empty()) WkbGeom2Binary(b.data(), &g);
    return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size heap copy, so that any read past the end is an address-sanitizer report.
    std::vector<unsigned char> bytes(data, data + size);
    GM_Object g;
    StandardFormInfo info;
    if (!WkbToGeometry(bytes.data(), bytes.size(), g, &info)) {
        if (g.type != wkbEmpty || info.error.empty() || info.errorOffset > size) std::abort();
        return 0;
    }
    const std::vector<uint8_t> want = Encoded(g);

    std::vector<uint8_t> again;
    StandardWriteOptions big;
    big.bigEndian = true;
    big.flavor = klWkbExtended;
    if (GeometryToWkb(g, again, big) != 1) std::abort();
    GM_Object back;
    if (WkbToGeometry(again.data(), again.size(), back) != 1 || back.type != g.type || Encoded(back) != want)
        std::abort();

    std::string text;
    if (GeometryToWkt(g, text) != 1) std::abort();
    GM_Object fromText;
    if (WktToGeometry(text, fromText) != 1 || Encoded(fromText) != want) std::abort();

    (void)g.GetArea();
    (void)g.mbRegion();
    return 0;
}
