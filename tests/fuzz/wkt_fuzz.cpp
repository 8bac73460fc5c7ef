// libFuzzer target for the WKT reader: arbitrary text is refused with an offset inside it, or read
// into an object whose own text reads back to the same record. Built apart from the test suite;
// see build_wkb_fuzz.sh.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/geometry_object.h"
#include "io/standard_forms.h"

using namespace kelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size heap copy, so that any read past the end is an address-sanitizer report.
    std::vector<char> text(data, data + size);
    const std::string_view view(text.data(), text.size());
    GM_Object g;
    StandardFormInfo info;
    if (!WktToGeometry(view, g, &info)) {
        if (g.type != wkbEmpty || info.error.empty() || info.errorOffset > size) std::abort();
        return 0;
    }
    std::string again;
    if (GeometryToWkt(g, again) != 1) std::abort();
    GM_Object back;
    std::string third;
    if (WktToGeometry(again, back) != 1 || GeometryToWkt(back, third) != 1 || third != again) std::abort();
    // The stream reader agrees with the whole-text reader on the first geometry.
    size_t pos = 0;
    GM_Object first;
    if (WktNextGeometry(view, pos, first) != 1 || pos > size) std::abort();
    return 0;
}
