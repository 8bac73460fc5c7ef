// A small host of the library: reads a parcel as WKT (standard input, or the argument), prints its
// area, perimeter, box and a point inside, and hands it back as WKT and as the binary record
// a host would store.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "KeloGeomNet.h"

int main(int argc, char** argv) {
    std::string text = argc > 1 ? argv[1]
                                : std::string((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    kelo::GM_Object parcel;
    kelo::StandardFormInfo info;
    if (!kelo::WktToGeometry(text, parcel, &info)) {
        std::fprintf(stderr, "not a geometry: %s\n", info.error.c_str());
        return 1;
    }
    const kelo::Box box = parcel.mbRegion();
    const kelo::Point3D inside = parcel.representativePoint();
    std::printf("area %.6f\nperimeter %.6f\nbox %g %g %g %g\n", parcel.GetArea(), parcel.GetPerimeter(), box.minx,
                box.miny, box.maxx, box.maxy);
    std::printf("a point inside %g %g\n", inside.x, inside.y);

    std::string wkt;
    kelo::GeometryToWkt(parcel, wkt);
    std::vector<uint8_t> record(kelo::CalWkbGeomSize(&parcel));
    kelo::WkbGeom2Binary(record.data(), &parcel);
    kelo::GM_Object stored(record.data());
    std::printf("wkt %s\nrecord %zu bytes, reads back %s\n", wkt.c_str(), record.size(),
                stored.GetArea() == parcel.GetArea() ? "equal" : "different");
    return 0;
}
