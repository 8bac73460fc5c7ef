// The standard interchange forms of geometry: Well-Known Text and Well-Known Binary, ISO and the
// extended binary form with an SRID, curves included. Everything other GIS tools exchange reaches
// the library through these four functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/records.h"
#include "kelo_api.h"

namespace kelo {

class GM_Object;

// What a reader or writer noticed besides the geometry itself. Readers fill the first group,
// writers the second; a failed call fills error and errorOffset.
struct StandardFormInfo {
    int32_t srid = 0;
    bool hasSrid = false;        // an SRID came with the geometry (EWKT prefix or extended WKB)
    bool hasZ = false;           // z values were read (or written)
    bool measuresDropped = false;  // M values were read and thrown away: the library holds no M
    bool discretised = false;    // the writer turned curves with no standard form into chords or arcs
    std::string error;           // "expected ')' at 57"
    size_t errorOffset = 0;      // byte offset of the fault in the input
};

enum klWkbFlavor : int32_t {
    klWkbIso = 0,       // type codes 1..17 plus 1000 for Z
    klWkbExtended = 1,  // type codes 1..17 with the high Z flag and an optional SRID
};

struct StandardWriteOptions {
    // 0: write z when any point has a known elevation (z other than kUnknownZ); 2: never; 3: always.
    int dims = 0;
    klWkbFlavor flavor = klWkbIso;
    bool bigEndian = false;
    bool withSrid = false;  // extended WKB only
    int32_t srid = 0;
};

// Reads one geometry that fills the whole text (blanks around it allowed). 1 on success; 0 with
// `out` emptied and info->error set otherwise. Coordinates without z get kUnknownZ.
KELO_API int WktToGeometry(std::string_view text, GM_Object& out, StandardFormInfo* info = nullptr);
// Reads the next geometry of a text holding several (separated by blanks, newlines or ';') from
// byte `pos` on, and moves pos past it. 0 at the end of the text with no error, or on a fault.
KELO_API int WktNextGeometry(std::string_view text, size_t& pos, GM_Object& out, StandardFormInfo* info = nullptr);
// Writes the geometry; 0 (text empty, info->error set) for a value grid, which has no standard form.
KELO_API int GeometryToWkt(const WKBGeometry& geom, std::string& text, const StandardWriteOptions& options = {},
                           StandardFormInfo* info = nullptr);

// Reads exactly `length` bytes of one geometry, either byte order, ISO or extended.
KELO_API int WkbToGeometry(const unsigned char* bytes, size_t length, GM_Object& out,
                           StandardFormInfo* info = nullptr);
KELO_API int GeometryToWkb(const WKBGeometry& geom, std::vector<uint8_t>& bytes,
                           const StandardWriteOptions& options = {}, StandardFormInfo* info = nullptr);

}  // namespace kelo
