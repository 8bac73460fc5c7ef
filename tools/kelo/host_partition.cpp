#include "host_partition.h"

#include <cmath>

#include "host_geometry.h"
#include "partition_tool.h"

namespace kelo_tool {

using namespace kelo;

namespace {

bool Number(const Tdata& v, double& out) {
    if (v.dataType == kTypeInt) out = v.value.i;
    else if (v.dataType == kTypeDouble) out = v.value.d;
    else return false;
    return std::isfinite(out);
}

// args[first ...] as numbers; `optional` trailing ones may be missing (they keep their value).
bool Numbers(Tdata* cells, const std::vector<int32_t>& args, size_t first, double* out, size_t need, size_t optional) {
    if (args.size() < first + need || args.size() > first + need + optional) return false;
    for (size_t k = first; k < args.size(); ++k)
        if (!Number(cells[args[k]], out[k - first])) return false;
    return true;
}

intptr_t ReturnList(Tdata* cells, int32_t result, const std::vector<Tdata>& values) {
    ScriptEngine* e = GetCurrentScriptEngine();
    if (e == nullptr || !KeloScriptCurReserveMemory(cells, static_cast<int32_t>(values.size()) + 1)) return 0;
    Tdata list;
    list.setDataType(kTypeArray);
    for (const Tdata& v : values) {
        const int32_t c = e->allocCell();
        e->cells[c] = v;
        list.value.a->push_back(c);
    }
    e->cells[result].copyFrom(list);
    return 1;
}

intptr_t ReturnObjects(Tdata* cells, int32_t result, const std::vector<GM_Object>& objects) {
    std::vector<Tdata> values;
    for (const GM_Object& o : objects) values.emplace_back(kTypePoints, KeepObject(o));
    return ReturnList(cells, result, values);
}

intptr_t Fail(std::string& text, const char* name, const char* usage) {
    text = std::string(name) + ": " + usage;
    return 0;
}

}  // namespace

intptr_t CallPartitionFunction(PartitionFn fn, Tdata* cells, const std::vector<int32_t>& args, int32_t result,
                               std::string& text) {
    if (fn == PartitionFn::kNeatenText) {
        double code = 0;
        if (!Numbers(cells, args, 0, &code, 1, 0) || std::abs(code) > 1e9)
            return Fail(text, "geoNeatenText", "takes a defect code");
        std::string gbk;
        Point3D at{};
        GetNeatenErrorInfo(static_cast<int>(code), gbk, at);
        // Scripts print bytes as they are: the text goes out in the terminal's encoding.
        return setValue(cells[result], Tdata(GbkToTerminal(gbk)));
    }
    const HostGeometry* g = args.empty() ? nullptr : FindGeometry(cells[args[0]]);
    if (g == nullptr) return Fail(text, "geo function", "the first argument must be a geometry");
    GM_Object object;
    GeometryObject(*g, object);
    const keloPolygon* poly = object.GetOriginalPolygonAt(0);
    double v[6] = {0, 0, 0, 0, 0, 1e-6};
    switch (fn) {
        case PartitionFn::kCheck:
        case PartitionFn::kNeaten: {
            v[0] = 1e-8;
            if (!Numbers(cells, args, 1, v, 0, 1) || v[0] < 0)
                return Fail(text, fn == PartitionFn::kCheck ? "geoCheck" : "geoNeaten", "takes a geometry and a tolerance >= 0");
            if (fn == PartitionFn::kCheck) {
                std::string unused;
                return setValue(cells[result], Tdata(CheckGeometry(object, v[0], unused)));
            }
            FullNeaten(v[0], false).GeometryNeaten(&object);
            return setValue(cells[result], Tdata(kTypePoints, KeepObject(object)));
        }
        case PartitionFn::kAreaCut:
            if (!poly || !Numbers(cells, args, 1, v, 4, 0))
                return Fail(text, "geoAreaCut", "takes a polygon and x1, y1, x2, y2");
            return setValue(cells[result], Tdata(getAreaCutPolygon(poly, v[0], v[1], v[2], v[3])));
        case PartitionFn::kCutParallel:
        case PartitionFn::kCutRotate: {
            const bool turn = fn == PartitionFn::kCutRotate;
            if (!poly || !Numbers(cells, args, 1, v, 5, 1))
                return Fail(text, turn ? "geoCutRotate" : "geoCutParallel", "takes a polygon, x1, y1, x2, y2, area [, eps]");
            double o[4] = {v[0], v[1], v[2], v[3]};
            const int ok = turn ? cutPolygonByAreaRotate(poly, v[0], v[1], v[2], v[3], v[4], o[2], o[3], v[5])
                                : cutPolygonByAreaParallelMove(poly, v[0], v[1], v[2], v[3], v[4], o[0], o[1], o[2],
                                                               o[3], v[5]);
            // No line for that area: an empty array, which a script can test.
            std::vector<Tdata> out;
            if (ok)
                for (double c : o) out.emplace_back(c);
            return ReturnList(cells, result, out);
        }
        case PartitionFn::kCutByLine: {
            if (!poly || !Numbers(cells, args, 1, v, 4, 0))
                return Fail(text, "geoCutByLine", "takes a polygon and x1, y1, x2, y2");
            std::vector<GM_Object*> pieces;
            cutPolygonByLine(poly, v[0], v[1], v[2], v[3], pieces, 1e-9);
            std::vector<GM_Object> objects;
            for (GM_Object* p : pieces) {
                objects.push_back(*p);
                delete p;
            }
            return ReturnObjects(cells, result, objects);
        }
        case PartitionFn::kPartition: {
            v[5] = 0;
            if (!Numbers(cells, args, 1, v, 5, 1))
                return Fail(text, "geoPartition", "takes a polygon, x1, y1, x2, y2, parcel area [, turn]");
            std::vector<GM_Object> parcels;
            std::string error;
            if (!PartitionByArea(object, v[0], v[1], v[2], v[3], v[4], v[5] != 0, parcels, error))
                return Fail(text, "geoPartition", error.c_str());
            return ReturnObjects(cells, result, parcels);
        }
        default: return 0;
    }
}

}  // namespace kelo_tool
