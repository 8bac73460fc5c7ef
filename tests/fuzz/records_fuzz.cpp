// libFuzzer target for the length-checked record reader: arbitrary bytes must be refused (0, type 0)
// or read into a record that encodes back to exactly the same bytes, never crash, read past the
// buffer or leak. The record it reads is also copied and measured, since hosts do that next.
// Built apart from the test suite by scripts/fuzz.sh.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "geometry/records.h"

using namespace kelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size heap copy, so that any read past the end is an address-sanitizer report.
    std::vector<unsigned char> bytes(data, data + size);
    WKBGeometry geom;
    geom.type = wkbPoint;
    int ok = Binary2WkbGeom(bytes.data(), bytes.size(), &geom);
    if (!ok) {
        if (geom.type != wkbEmpty) std::abort();
        return 0;
    }
    if (CalWkbGeomSize(&geom) != size) std::abort();
    std::vector<unsigned char> again(size);
    if (WkbGeom2Binary(again.data(), &geom) != 1 || std::memcmp(again.data(), bytes.data(), size) != 0) std::abort();

    // The trusting reader must agree on a complete buffer.
    WKBGeometry trusted;
    if (Binary2WkbGeom(bytes.data(), &trusted) != 1 || CalWkbGeomSize(&trusted) != size) std::abort();

    WKBGeometry* dup = DupWKBGeometry(&geom);
    if (CalWkbGeomSize(dup) != size) std::abort();
    (void)AreaOfWKBGeometry(geom);
    (void)LengthOfWKBGeometry(geom);

    FreeWKBGeometry(dup);
    DeleteWKBGeometry(&trusted);
    DeleteWKBGeometry(&geom);
    return 0;
}
