#include "geom_command.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "geo_files.h"
#include "noding_tool.h"
#include "partition_tool.h"
#include "progress_bar.h"
#include "svg_picture.h"

namespace kelo_tool {

using namespace kelo;

namespace {

// ---- building objects from plain pieces -----------------------------------------------------

Point3D* NewPoints(const std::vector<Point2D>& pts) {
    Point3D* p = new Point3D[pts.size()];
    for (size_t i = 0; i < pts.size(); ++i) p[i] = {pts[i].x, pts[i].y, kUnknownZ};
    return p;
}

LineString NewLine(const std::vector<Point2D>& pts) {
    LineString l{1, new CurveSegment[1]};
    l.parts[0] = {klLTPolyline, static_cast<uint32_t>(pts.size()), NewPoints(pts)};
    return l;
}

using Ring2D = std::vector<Point2D>;
using Polygon2D = std::vector<Ring2D>;

WKBPolygon NewPolygon(const Polygon2D& rings) {
    WKBPolygon p{static_cast<int32_t>(rings.size()), new LineString[rings.size()]};
    for (size_t i = 0; i < rings.size(); ++i) p.rings[i] = NewLine(rings[i]);
    return p;
}

// The record goes into the object, which frees it from now on.
void Adopt(GM_Object& out, const WKBGeometry& rec) {
    out.DeleteContent();
    static_cast<WKBGeometry&>(out) = rec;
}

struct Pieces {
    std::vector<Point3D> points;
    std::vector<Ring2D> lines;
    std::vector<Polygon2D> polygons;
};

void Close(Ring2D& r) {
    if (!r.empty() && (r.front().x != r.back().x || r.front().y != r.back().y)) r.push_back(r.front());
}

void ClipLine(CRectClip& c, const LineString& l, Pieces& out) {
    std::vector<std::vector<Point2D>*> pieces;
    c.cutpolyline(l, pieces);
    for (auto* p : pieces) {
        if (p->size() > 1) out.lines.push_back(*p);
        delete p;
    }
}

void ClipPolygon(CRectClip& c, const WKBPolygon& p, Pieces& out) {
    Polygon2D result;
    for (int32_t i = 0; p.rings && i < p.ringCount; ++i) {
        std::vector<std::vector<Point2D>*> rings;
        c.cutpolygon(p.rings[i], rings);
        for (auto* r : rings) {
            Close(*r);
            if (r->size() >= 4) result.push_back(*r);
            delete r;
        }
        if (i == 0 && result.empty()) return;  // nothing of the outer ring is inside: no holes either
    }
    if (!result.empty()) out.polygons.push_back(std::move(result));
}

void ClipRecord(CRectClip& c, const WKBGeometry& g, Pieces& out) {
    switch (g.type) {
        case wkbPoint:
            if (c.incode(g.point.x, g.point.y) == 0) out.points.push_back(g.point);
            break;
        case wkbMultiPoint:
            for (uint32_t i = 0; i < g.multiPoint.pointCount; ++i)
                if (c.incode(g.multiPoint.points[i].x, g.multiPoint.points[i].y) == 0)
                    out.points.push_back(g.multiPoint.points[i]);
            break;
        case wkbLineString: ClipLine(c, g.line, out); break;
        case wkbMultiLineString:
            for (uint32_t i = 0; i < g.multiLine.lineCount; ++i) ClipLine(c, g.multiLine.lines[i], out);
            break;
        case wkbPolygon: ClipPolygon(c, g.polygon, out); break;
        case wkbMultiPolygon:
            for (uint32_t i = 0; i < g.multiPolygon.polygonCount; ++i) ClipPolygon(c, g.multiPolygon.polygons[i], out);
            break;
        case wkbGeometryCollection:
            for (uint32_t i = 0; i < g.collection.memberCount; ++i) ClipRecord(c, g.collection.members[i], out);
            break;
        default: break;
    }
}

// One kind of piece as a record of the single or multi type.
bool PiecesRecord(const Pieces& p, int which, WKBGeometry& rec) {
    rec = WKBGeometry{};
    if (which == 0 && !p.points.empty()) {
        if (p.points.size() == 1) {
            rec.type = wkbPoint;
            rec.point = p.points[0];
        } else {
            rec.type = wkbMultiPoint;
            rec.multiPoint = {static_cast<uint32_t>(p.points.size()), new Point3D[p.points.size()]};
            std::copy(p.points.begin(), p.points.end(), rec.multiPoint.points);
        }
        return true;
    }
    if (which == 1 && !p.lines.empty()) {
        if (p.lines.size() == 1) {
            rec.type = wkbLineString;
            rec.line = NewLine(p.lines[0]);
        } else {
            rec.type = wkbMultiLineString;
            rec.multiLine = {static_cast<uint32_t>(p.lines.size()), new LineString[p.lines.size()]};
            for (size_t i = 0; i < p.lines.size(); ++i) rec.multiLine.lines[i] = NewLine(p.lines[i]);
        }
        return true;
    }
    if (which == 2 && !p.polygons.empty()) {
        if (p.polygons.size() == 1) {
            rec.type = wkbPolygon;
            rec.polygon = NewPolygon(p.polygons[0]);
        } else {
            rec.type = wkbMultiPolygon;
            rec.multiPolygon = {static_cast<uint32_t>(p.polygons.size()), new WKBPolygon[p.polygons.size()]};
            for (size_t i = 0; i < p.polygons.size(); ++i) rec.multiPolygon.polygons[i] = NewPolygon(p.polygons[i]);
        }
        return true;
    }
    return false;
}

// ---- the verbs ------------------------------------------------------------------------------

bool ConvertShape(const GM_Object& in, const double*, GM_Object& out, std::string&) {
    out.Create(static_cast<const WKBGeometry&>(in));
    return true;
}

bool CentroidShape(const GM_Object& in, const double*, GM_Object& out, std::string&) {
    if (in.isEmpty()) return true;
    out.Create(in.centroid());
    return true;
}

bool InnerPointShape(const GM_Object& in, const double*, GM_Object& out, std::string&) {
    if (in.isEmpty()) return true;
    out.Create(in.representativePoint());
    return true;
}

bool HullShape(const GM_Object& in, const double*, GM_Object& out, std::string&) {
    if (GM_Object* hull = in.convex_Hull()) {
        out.Create(static_cast<const WKBGeometry&>(*hull));
        delete hull;
    }
    return true;
}

bool ClipShape(const GM_Object& in, const double* p, GM_Object& out, std::string&) {
    CRectClip c(p[0], p[1], p[2], p[3]);
    Pieces pieces;
    ClipRecord(c, in, pieces);
    std::vector<WKBGeometry> kinds;
    for (int which = 0; which < 3; ++which) {
        WKBGeometry rec;
        if (PiecesRecord(pieces, which, rec)) kinds.push_back(rec);
    }
    if (kinds.size() == 1) {
        Adopt(out, kinds[0]);
    } else if (kinds.size() > 1) {
        WKBGeometry rec;
        rec.type = wkbGeometryCollection;
        rec.collection = {static_cast<uint32_t>(kinds.size()), new WKBSimpleGeometry[kinds.size()]};
        for (size_t i = 0; i < kinds.size(); ++i) static_cast<WKBGeometry&>(rec.collection.members[i]) = kinds[i];
        Adopt(out, rec);
    }
    return true;
}

bool TransformShape(const GM_Object& in, const double* p, GM_Object& out, std::string&) {
    out.Create(static_cast<const WKBGeometry&>(in));
    const SpatialReferenceSystem frame{{p[0], p[1], 0}, {p[2], p[3], 0}, {p[4], p[5], 0}};
    TransformGeom(out, frame);
    return true;
}

// Every straight run thinned so that no dropped point lies farther than TOL from what is kept.
bool SimplifyShape(const GM_Object& in, const double* p, GM_Object& out, std::string& error) {
    if (!(p[0] >= 0)) {
        error = "TOL must be a number >= 0";
        return false;
    }
    out.Create(static_cast<const WKBGeometry&>(in));
    Geometry_Dilute(out, 1, p[0]);
    return true;
}

// p[1] to p[4] carry the buffer options: cap, join, side and the circle tolerance.
bool BufferShape(const GM_Object& in, const double* p, GM_Object& out, std::string& error) {
    std::vector<GM_Object*> objects{const_cast<GM_Object*>(&in)};
    if (!ComputeBuffer(objects, p[0], out, static_cast<int>(p[1]), static_cast<int>(p[2]), static_cast<int>(p[3]), p[4], 1)) {
        error = "DIST must be at least 1e-8 and --tol below 1";
        return false;
    }
    return true;
}

double AreaMeasure(const GM_Object& g) { return g.GetArea(); }
double LengthMeasure(const GM_Object& g) { return g.GetPerimeter(); }

// Verbs over a whole layer: every feature's lines together make one result set.
bool NodeLayer(const std::vector<const GM_Object*>& in, double tol, std::vector<GM_Object>& out) {
    return NodeLines(in, tol, out);
}
bool PolygonizeLayer(const std::vector<const GM_Object*>& in, double tol, std::vector<GM_Object>& out) {
    return PolygonizeLines(in, tol, out);
}

// Polygons are triangulated inside; points and line vertices together, the lines as breaklines.
bool TriangulateLayer(const std::vector<const GM_Object*>& in, double, std::vector<GM_Object>& out) {
    std::vector<Point3D> points, breaklines, triangles;
    auto keep = [&](const std::vector<Point3D>& tri) {
        for (size_t t = 0; t + 2 < tri.size(); t += 3) {
            std::vector<Point3D> ring(tri.begin() + static_cast<std::ptrdiff_t>(t),
                                      tri.begin() + static_cast<std::ptrdiff_t>(t + 3));
            out.emplace_back();
            out.back().Create(ring, 1, klLTPolyline);
        }
    };
    for (const GM_Object* g : in) {
        if (g->GetPolygonCount() > 0) {
            DelaunayGeometryTriangulation(const_cast<GM_Object&>(*g), triangles);
            keep(triangles);
            continue;
        }
        for (int i = 0; i < g->GetPartsCount(); ++i) {
            keloParts line;
            std::vector<Point3D> pts;
            if (!g->GetPartsAt(line, i)) continue;
            line.GetDiscreteToPnts(pts, g_epsZero);
            for (size_t k = 0; k < pts.size(); ++k) {
                points.push_back(pts[k]);
                if (k + 1 < pts.size()) breaklines.insert(breaklines.end(), {pts[k], pts[k + 1]});
            }
        }
        if (g->GetPartsCount() == 0)
            for (int i = 0; i < g->GetPointCount(); ++i) {
                Point3D p;
                if (g->GetPointAt(p, i)) points.push_back(p);
            }
    }
    if (!points.empty()) {
        DelaunayTriangulation(points, triangles, breaklines);
        keep(triangles);
    }
    return true;
}

bool NeatenShape(const GM_Object& in, const double* p, GM_Object& out, std::string& error) {
    if (!(p[0] >= 0)) {
        error = "TOL must be a number >= 0";
        return false;
    }
    out.Create(static_cast<const WKBGeometry&>(in));
    FullNeaten(p[0], false).GeometryNeaten(&out);
    return true;
}

// Parcels of AREA each (the last one takes what is left), one feature each.
bool PartitionMoved(const GM_Object& in, const double* p, std::vector<GM_Object>& out, std::string& error) {
    return PartitionByArea(in, p[0], p[1], p[2], p[3], p[4], false, out, error);
}
bool PartitionTurned(const GM_Object& in, const double* p, std::vector<GM_Object>& out, std::string& error) {
    return PartitionByArea(in, p[0], p[1], p[2], p[3], p[4], true, out, error);
}

// The first defect of a feature: its code and text; 0 and "no error" when clean.
std::string CheckReport(const GM_Object& g, const double* p) {
    std::string text;
    const int code = CheckGeometry(g, p[0], text);
    return std::to_string(code) + "\t" + GbkToTerminal(text);
}

enum class Kind { Info, Measure, Shape, Layer, Report, Split };

struct Verb {
    const char* name;
    const char* params;  // shown in the usage
    int paramCount;
    Kind kind;
    double (*measure)(const GM_Object&);
    bool (*shape)(const GM_Object& in, const double* params, GM_Object& out, std::string& error);
    const char* help;
    bool (*layer)(const std::vector<const GM_Object*>& in, double tol, std::vector<GM_Object>& out) = nullptr;
    std::string (*report)(const GM_Object& g, const double* params) = nullptr;
    // Several result features from one (attributes copied to each).
    bool (*split)(const GM_Object& in, const double* params, std::vector<GM_Object>& out, std::string& error) = nullptr;
};

// Later operations add one line each here.
const Verb kVerbs[] = {
    {"info", "", 0, Kind::Info, nullptr, nullptr, "layers, feature counts, geometry types and extent"},
    {"area", "", 0, Kind::Measure, AreaMeasure, nullptr, "area of each feature and the total"},
    {"length", "", 0, Kind::Measure, LengthMeasure, nullptr, "length (perimeter of areas) and the total"},
    {"centroid", "", 0, Kind::Shape, nullptr, CentroidShape, "the centre point of each feature"},
    {"inner-point", "", 0, Kind::Shape, nullptr, InnerPointShape, "a point inside each feature"},
    {"hull", "", 0, Kind::Shape, nullptr, HullShape, "the convex hull of each feature"},
    {"clip", "X0 Y0 X1 Y1", 4, Kind::Shape, nullptr, ClipShape, "the part of each feature inside the rectangle"},
    {"transform", "OX OY XX XY YX YY", 6, Kind::Shape, nullptr, TransformShape,
     "map (x, y) to origin + x * x-axis + y * y-axis"},
    {"convert", "", 0, Kind::Shape, nullptr, ConvertShape, "copy the features into another format"},
    {"node", "TOL", 1, Kind::Layer, nullptr, nullptr, "the layer's lines split where they meet (within TOL), overlaps once", NodeLayer},
    {"polygonize", "TOL", 1, Kind::Layer, nullptr, nullptr, "the faces enclosed by the layer's lines (noded within TOL)", PolygonizeLayer},
    {"simplify", "TOL", 1, Kind::Shape, nullptr, SimplifyShape, "lines and rings thinned to input points within TOL"},
    {"buffer", "DIST", 1, Kind::Shape, nullptr, BufferShape,
     "the zone within DIST [--cap round|square|flat] [--join round|bevel|mitre] [--side both|left|right] [--tol T|--arc]"},
    {"check", "TOL", 1, Kind::Report, nullptr, nullptr, "first defect of each feature (code and text) at tolerance TOL", nullptr,
     CheckReport},
    {"neaten", "TOL", 1, Kind::Shape, nullptr, NeatenShape, "each feature with its defects repaired at tolerance TOL"},
    {"partition", "X1 Y1 X2 Y2 AREA", 5, Kind::Split, nullptr, nullptr,
     "parcels of AREA right of the line X1 Y1 X2 Y2 moved parallel", nullptr, nullptr, PartitionMoved},
    {"partition-turn", "PX PY QX QY AREA", 5, Kind::Split, nullptr, nullptr,
     "parcels of AREA right of the line P-Q turned about P", nullptr, nullptr, PartitionTurned},
    {"triangulate", "", 0, Kind::Layer, nullptr, nullptr,
     "Delaunay triangles of the layer's points (lines as breaklines), or of its polygons' insides", TriangulateLayer},
};

const Verb* FindVerb(const std::string& name) {
    for (const Verb& v : kVerbs)
        if (name == v.name) return &v;
    return nullptr;
}

const char* TypeName(int type) {
    static const char* const names[] = {"empty",        "point",         "line",       "polygon", "multipoint",
                                        "multiline",    "multipolygon",  "collection", "tin",     "grid"};
    return type >= 0 && type <= 9 ? names[type] : "unknown";
}

struct Options {
    std::string layer, output, format, svg;
    std::string cap, join, side, tol;  // buffer styles
    bool arc = false;
    std::vector<std::string> positional;
};

int Usage(const char* what) {
    std::fprintf(stderr, "kelo geom: %s\n", what);
    PrintGeomUsage(stderr);
    return 2;
}

bool ParseOptions(int argc, char** argv, int first, Options& o, std::string& error) {
    for (int i = first; i < argc; ++i) {
        const std::string a = argv[i];
        std::string* target = a == "-l" || a == "--layer" ? &o.layer
                              : a == "-o" || a == "--output" ? &o.output
                              : a == "-f" || a == "--format" ? &o.format
                              : a == "--svg" ? &o.svg
                              : a == "--cap" ? &o.cap
                              : a == "--join" ? &o.join
                              : a == "--side" ? &o.side
                              : a == "--tol" ? &o.tol
                              : nullptr;
        if (a == "--arc") {
            o.arc = true;
        } else if (target) {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return false;
            }
            *target = argv[++i];
        } else if (a.size() > 1 && a[0] == '-' && !(std::isdigit(static_cast<unsigned char>(a[1])) || a[1] == '.')) {
            error = "unknown option '" + a + "'";
            return false;
        } else {
            o.positional.push_back(a);
        }
    }
    return true;
}

// The buffer options as numbers: cap, join, side, and the circle tolerance as a fraction of the
// distance (0.01 unless given; --arc makes circles exact arcs).
bool BufferStyle(const Options& o, double* style, std::string& error) {
    auto pick = [&](const std::string& value, const char* option, const std::vector<std::string>& names, double& out) {
        if (value.empty()) return true;
        for (size_t i = 0; i < names.size(); ++i)
            if (value == names[i]) {
                out = static_cast<double>(i);
                return true;
            }
        error = std::string(option) + " takes ";
        for (size_t i = 0; i < names.size(); ++i) error += (i ? "|" : "") + names[i];
        return false;
    };
    style[0] = kBufferCapRound;
    style[1] = kBufferJoinRound;
    style[2] = 0;
    style[3] = 0.01;
    if (!pick(o.cap, "--cap", {"round", "square", "flat"}, style[0]) || !pick(o.join, "--join", {"round", "bevel", "mitre"}, style[1]) ||
        !pick(o.side, "--side", {"both", "left", "right"}, style[2]))
        return false;
    style[2] = style[2] == 0 ? kBufferBoth : style[2] == 1 ? kBufferLeft : kBufferRight;
    if (!o.tol.empty()) {
        char* end = nullptr;
        style[3] = std::strtod(o.tol.c_str(), &end);
        if (end == o.tol.c_str() || *end != '\0' || !(style[3] >= 0 && style[3] < 1)) {
            error = "--tol takes a fraction of the distance, at least 0 and below 1";
            return false;
        }
    }
    if (o.arc) style[3] = 0;
    return true;
}

int Fail(const std::string& message) {
    Progress::Finish();
    std::fprintf(stderr, "kelo geom: %s\n", message.c_str());
    return 1;
}

void PrintInfo(const std::vector<GeoLayer>& layers) {
    for (const GeoLayer& l : layers) {
        std::map<std::string, size_t> counts;
        Box box;
        bool curves = false;
        for (const GeoFeature& f : l.features) {
            ++counts[f.hasGeometry ? TypeName(f.geom.type) : "no geometry"];
            if (!f.geom.isEmpty()) box.add(f.geom.mbRegion());
            curves = curves || f.geom.bWithCurve();
        }
        std::printf("layer %s: %zu features (declared %s)\n", l.name.c_str(), l.features.size(), l.declaredType.c_str());
        for (const auto& [name, n] : counts) std::printf("  %-12s %zu\n", name.c_str(), n);
        if (box.minx <= box.maxx)
            std::printf("  extent       %.17g %.17g %.17g %.17g\n", box.minx, box.miny, box.maxx, box.maxy);
        if (curves) std::printf("  curves       yes\n");
    }
}

// Results go to the output file, or as WKT lines to standard output.
bool EmitResults(const Options& o, const std::vector<GeoLayer>& results, std::string& error) {
    if (!o.output.empty()) return WriteGeoFile(o.output, o.format, results, error);
    std::string text;
    for (const GeoLayer& l : results)
        for (const GeoFeature& f : l.features) {
            std::string wkt;
            if (!GeometryToWkt(f.geom, wkt)) {
                error = "feature " + std::to_string(f.fid) + ": no WKT form";
                return false;
            }
            text += wkt + "\n";
        }
    std::fputs(text.c_str(), stdout);
    return true;
}

bool WriteSvg(const std::string& path, const std::vector<PlotLayer>& plot, std::string& error) {
    return WriteTextFile(path, SvgPicture(plot), error);
}

// Verbs over two inputs: every feature of A against every feature of B, one line a pair.
struct PairVerb {
    const char* name;
    const char* help;
    void (*print)(const GeoFeature& a, const GeoFeature& b, double tol);
};

void PrintRelation(const GeoFeature& a, const GeoFeature& b, double tol) {
    int code = 0, dims[8];
    const int result = C9iObjIndex(&a.geom).Get9iResultEx(&b.geom, tol, &code, dims);
    std::printf("%lld\t%lld\t%s\t%s\t", a.fid, b.fid, NineIntersectionName(result), NineIntersectionText(dims).c_str());
    for (int i = 0; i < 8; ++i) std::printf(i ? " %d" : "%d", dims[i]);
    std::printf("\n");
}

void PrintDistance(const GeoFeature& a, const GeoFeature& b, double) {
    std::printf("%lld\t%lld\t%.17g\n", a.fid, b.fid, DistanceOfGMObject(a.geom, b.geom));
}

const PairVerb kPairVerbs[] = {
    {"relate", "named relation, DE-9IM text and the eight dimensions (II IB IE BI BB BE EI EB) of each pair",
     PrintRelation},
    {"distance", "least distance of each pair (0 where they meet)", PrintDistance},
};

const PairVerb* FindPairVerb(const std::string& name) {
    for (const PairVerb& v : kPairVerbs)
        if (name == v.name) return &v;
    return nullptr;
}

int PairCommand(const PairVerb& verb, int argc, char** argv) {
    Options o;
    std::string error;
    if (!ParseOptions(argc, argv, 1, o, error)) return Usage(error.c_str());
    if (o.positional.size() < 2 || o.positional.size() > 3)
        return Usage((std::string(verb.name) + " takes A B [TOL]").c_str());
    if (o.positional[0] == "-" && o.positional[1] == "-") return Usage("only one input can be standard input");
    double tol = g_epsZero;
    if (o.positional.size() == 3) {
        char* end = nullptr;
        tol = std::strtod(o.positional[2].c_str(), &end);
        if (end == o.positional[2].c_str() || *end != '\0' || !std::isfinite(tol) || tol < 0)
            return Usage(("'" + o.positional[2] + "' is not a tolerance (a number >= 0)").c_str());
    }
    std::vector<GeoLayer> a, b;
    if (!ReadGeoFile(o.positional[0], o.layer, a, error, Progress::Tick)) return Fail(error);
    if (!ReadGeoFile(o.positional[1], o.layer, b, error, Progress::Tick)) return Fail(error);
    Progress::Finish();
    for (const GeoLayer& la : a)
        for (const GeoFeature& fa : la.features)
            for (const GeoLayer& lb : b)
                for (const GeoFeature& fb : lb.features)
                    if (fa.hasGeometry && fb.hasGeometry) verb.print(fa, fb, tol);
    return 0;
}

// ---- overlay of two inputs and dissolve ------------------------------------------------------------

// Every feature of every layer of the inputs, with geometry.
std::vector<const GeoFeature*> FeaturesOf(const std::vector<GeoLayer>& layers) {
    std::vector<const GeoFeature*> out;
    for (const GeoLayer& l : layers)
        for (const GeoFeature& f : l.features)
            if (f.hasGeometry && f.geom.GetPolygonCount() > 0) out.push_back(&f);
    return out;
}

GM_Object Dissolved(const std::vector<const GeoFeature*>& features) {
    std::vector<GM_Object*> objects;
    for (const GeoFeature* f : features) objects.push_back(const_cast<GM_Object*>(&f->geom));
    GM_Object out;
    mergePolygons(objects, out);
    return out;
}

bool BoxesMeet(const Box& a, const Box& b) { return a.minx <= b.maxx && b.minx <= a.maxx && a.miny <= b.maxy && b.miny <= a.maxy; }

const char* const kOverlayVerbs[][2] = {
    {"union", "one area covered by A or B"},
    {"intersection", "each feature of A cut to every feature of B it overlaps (A's attributes)"},
    {"difference", "each feature of A less all of B (A's attributes)"},
    {"symdifference", "one area covered by A or B but not both"},
    {"split", "three areas: common to A and B, only in A, only in B"},
};

bool IsOverlayVerb(const std::string& name) {
    for (const auto& v : kOverlayVerbs)
        if (name == v[0]) return true;
    return false;
}

// Results as a layer: one feature per result object, in order.
void AddResult(GeoLayer& layer, GM_Object&& g, const GeoFeature* from) {
    if (g.isEmpty()) return;
    GeoFeature r;
    r.fid = static_cast<long long>(layer.features.size());
    if (from) r.attributes = from->attributes;
    r.geom = std::move(g);
    layer.features.push_back(std::move(r));
}

int FinishLayer(const Options& o, GeoLayer& result, std::vector<PlotLayer>& plot) {
    std::string error;
    Progress::Finish();
    std::vector<GeoLayer> results;
    results.push_back(std::move(result));
    if (!EmitResults(o, results, error)) return Fail(error);
    PlotLayer p{results[0].name, {}};
    for (const GeoFeature& f : results[0].features) p.geoms.push_back(&f.geom);
    plot.push_back(std::move(p));
    if (!o.svg.empty() && !WriteSvg(o.svg, plot, error)) return Fail(error);
    return 0;
}

int OverlayCommand(const std::string& verb, int argc, char** argv) {
    Options o;
    std::string error;
    if (!ParseOptions(argc, argv, 1, o, error)) return Usage(error.c_str());
    if (o.positional.size() != 2) return Usage((verb + " takes A B").c_str());
    if (o.positional[0] == "-" && o.positional[1] == "-") return Usage("only one input can be standard input");
    std::vector<GeoLayer> a, b;
    if (!ReadGeoFile(o.positional[0], o.layer, a, error, Progress::Tick)) return Fail(error);
    if (!ReadGeoFile(o.positional[1], o.layer, b, error, Progress::Tick)) return Fail(error);
    const std::vector<const GeoFeature*> fa = FeaturesOf(a), fb = FeaturesOf(b);
    GeoLayer result;
    result.name = verb;
    result.declaredType = "Polygon";
    if (verb == "intersection" || verb == "difference") {
        if (!a.empty()) result.schema = a[0].schema;
        std::vector<Box> boxes;
        for (const GeoFeature* f : fb) boxes.push_back(f->geom.mbRegion());
        size_t done = 0;
        for (const GeoFeature* f : fa) {
            Progress::Tick(++done, fa.size());
            const Box box = f->geom.mbRegion();
            std::vector<GM_Object*> near;
            for (size_t k = 0; k < fb.size(); ++k)
                if (BoxesMeet(box, boxes[k])) near.push_back(const_cast<GM_Object*>(&fb[k]->geom));
            if (verb == "difference") {
                GM_Object left;
                if (near.empty()) left = f->geom;
                else DoObjectsBoolOp(1, &f->geom, near, kBoolDifference, left, g_epsZero);
                AddResult(result, std::move(left), f);
                continue;
            }
            for (GM_Object* g : near) {
                GM_Object common;
                BoolOp2DGeometry(&f->geom, g, kBoolIntersection, common);
                AddResult(result, std::move(common), f);
            }
        }
    } else {
        const GM_Object da = Dissolved(fa), db = Dissolved(fb);
        if (verb == "union") {
            std::vector<GM_Object*> both{const_cast<GM_Object*>(&da), const_cast<GM_Object*>(&db)};
            GM_Object all;
            mergePolygons(both, all);
            AddResult(result, std::move(all), nullptr);
        } else {
            std::vector<GM_Object> parts;
            if (da.isEmpty() || db.isEmpty()) parts = {GM_Object(), da, db};
            else BoolOp2DObjects(&da, &db, verb == "split" ? kBoolSplit : kBoolSymDifference, parts);
            if (verb == "symdifference" && parts.size() == 3) {
                std::vector<GM_Object*> rest{&parts[1], &parts[2]};
                GM_Object joined;
                mergePolygons(rest, joined);
                parts = {std::move(joined)};
            }
            for (GM_Object& g : parts) AddResult(result, std::move(g), nullptr);
        }
    }
    std::vector<PlotLayer> plot;
    for (const auto* layers : {&a, &b})
        for (const GeoLayer& l : *layers) {
            PlotLayer p{l.name, {}};
            for (const GeoFeature& f : l.features) p.geoms.push_back(&f.geom);
            plot.push_back(std::move(p));
        }
    return FinishLayer(o, result, plot);
}

// The layer's areas merged, one feature per value of FIELD (or one in all), carrying the
// attributes of the group's first feature.
int DissolveCommand(int argc, char** argv) {
    Options o;
    std::string error;
    if (!ParseOptions(argc, argv, 1, o, error)) return Usage(error.c_str());
    if (o.positional.size() > 2) return Usage("dissolve takes [FILE|-] [FIELD]");
    const std::string input = o.positional.empty() ? "-" : o.positional[0];
    const std::string field = o.positional.size() == 2 ? o.positional[1] : "";
    std::vector<GeoLayer> layers;
    if (!ReadGeoFile(input, o.layer, layers, error, Progress::Tick)) return Fail(error);
    GeoLayer result;
    result.name = "dissolve";
    result.declaredType = "Polygon";
    if (!layers.empty()) result.schema = layers[0].schema;
    std::vector<std::string> order;
    std::map<std::string, std::vector<const GeoFeature*>> groups;
    for (const GeoFeature* f : FeaturesOf(layers)) {
        std::string key;
        if (!field.empty() && !FieldText(*f, field, key)) return Fail("no field '" + field + "' in " + input);
        if (!groups.count(key)) order.push_back(key);
        groups[key].push_back(f);
    }
    for (const std::string& key : order) AddResult(result, Dissolved(groups[key]), groups[key].front());
    std::vector<PlotLayer> plot;
    return FinishLayer(o, result, plot);
}

}  // namespace

void PrintGeomUsage(FILE* out) {
    std::fprintf(out, "  kelo geom VERB [PARAMS] [FILE|-] [-l LAYER] [-o OUT [-f FORMAT]] [--svg OUT.svg]\n");
    for (const Verb& v : kVerbs)
        std::fprintf(out, "      %-12s %-18s %s\n", v.name, v.params, v.help);
    for (const PairVerb& v : kPairVerbs)
        std::fprintf(out, "      %-12s %-18s %s\n", v.name, "A B [TOL]", v.help);
    std::fprintf(out,
                 "      FILE: GeoPackage, Shapefile, GeoJSON, FlatGeobuf, CSV with WKT, .wkt text; without\n"
                 "      FILE (or with -) WKT geometries are read from standard input. Results go to OUT\n"
                 "      (any of those formats, attributes kept) or as WKT to standard output.\n"
                 "  kelo geom VERB A B [-o OUT] [--svg OUT.svg]     area overlay of two inputs:\n");
    for (const auto& v : kOverlayVerbs) std::fprintf(out, "      %-12s %s\n", v[0], v[1]);
    std::fprintf(out,
                 "  kelo geom dissolve [FILE|-] [FIELD] [-o OUT] [--svg OUT.svg]\n"
                 "                      merge the areas of a layer, one feature per value of FIELD\n"
                 "  kelo plot FILE... -o OUT.svg [-l LAYER]\n"
                 "                      draw files (one colour each) into an SVG picture\n");
}

int GeomCommand(int argc, char** argv) {
    if (argc < 1) return Usage("which verb?");
    if (const PairVerb* pair = FindPairVerb(argv[0])) return PairCommand(*pair, argc, argv);
    if (IsOverlayVerb(argv[0])) return OverlayCommand(argv[0], argc, argv);
    if (std::string(argv[0]) == "dissolve") return DissolveCommand(argc, argv);
    const Verb* verb = FindVerb(argv[0]);
    if (!verb) return Usage((std::string("unknown verb '") + argv[0] + "'").c_str());
    Options o;
    std::string error;
    if (!ParseOptions(argc, argv, 1, o, error)) return Usage(error.c_str());
    if (o.positional.size() < static_cast<size_t>(verb->paramCount) ||
        o.positional.size() > static_cast<size_t>(verb->paramCount) + 1)
        return Usage((std::string(verb->name) + " takes " + (verb->paramCount ? verb->params : std::string("no parameters")) +
                      " and at most one input")
                         .c_str());
    double params[6] = {};
    for (int i = 0; i < verb->paramCount; ++i) {
        char* end = nullptr;
        params[i] = std::strtod(o.positional[static_cast<size_t>(i)].c_str(), &end);
        if (end == o.positional[static_cast<size_t>(i)].c_str() || *end != '\0' || !std::isfinite(params[i]))
            return Usage(("'" + o.positional[static_cast<size_t>(i)] + "' is not a number").c_str());
    }
    const bool styled = !o.cap.empty() || !o.join.empty() || !o.side.empty() || !o.tol.empty() || o.arc;
    if (styled && verb->shape != BufferShape) return Usage("--cap, --join, --side, --tol and --arc go with buffer");
    if (verb->shape == BufferShape && !BufferStyle(o, params + 1, error)) return Usage(error.c_str());
    const std::string input =
        o.positional.size() > static_cast<size_t>(verb->paramCount) ? o.positional.back() : std::string("-");
    if (!o.output.empty() && DriverFor(o.output, o.format).empty())
        return Fail(o.output + ": unknown output format (name it with -f, or use .gpkg .shp .geojson .fgb .csv .wkt)");

    std::vector<GeoLayer> layers;
    if (!ReadGeoFile(input, o.layer, layers, error, Progress::Tick)) return Fail(error);
    Progress::Finish();

    std::vector<PlotLayer> plot;
    for (const GeoLayer& l : layers) {
        PlotLayer p{l.name, {}};
        for (const GeoFeature& f : l.features) p.geoms.push_back(&f.geom);
        plot.push_back(std::move(p));
    }

    if (verb->kind == Kind::Info) {
        PrintInfo(layers);
    } else if (verb->kind == Kind::Report) {
        if (!(params[0] >= 0)) return Fail(std::string(verb->name) + ": TOL must be a number >= 0");
        for (const GeoLayer& l : layers)
            for (const GeoFeature& f : l.features) {
                if (layers.size() > 1) std::printf("%s\t", l.name.c_str());
                std::printf("%lld\t%s\n", f.fid, f.hasGeometry ? verb->report(f.geom, params).c_str() : "0\t-");
            }
    } else if (verb->kind == Kind::Measure) {
        std::vector<std::vector<double>> values;
        double total = 0;
        for (const GeoLayer& l : layers) {
            values.emplace_back();
            for (const GeoFeature& f : l.features) {
                values.back().push_back(verb->measure(f.geom));
                total += values.back().back();
            }
        }
        if (!o.output.empty()) {
            if (!WriteGeoFile(o.output, o.format, layers, error, verb->name, &values)) return Fail(error);
        } else {
            for (size_t li = 0; li < layers.size(); ++li)
                for (size_t fi = 0; fi < layers[li].features.size(); ++fi) {
                    if (layers.size() > 1) std::printf("%s\t", layers[li].name.c_str());
                    std::printf("%lld\t%.17g\n", layers[li].features[fi].fid, values[li][fi]);
                }
            std::printf("total\t%.17g\n", total);
        }
    } else if (verb->kind == Kind::Layer) {
        std::vector<GeoLayer> results(layers.size());
        for (size_t li = 0; li < layers.size(); ++li) {
            std::vector<const GM_Object*> in;
            for (const GeoFeature& f : layers[li].features)
                if (f.hasGeometry) in.push_back(&f.geom);
            std::vector<GM_Object> made;
            if (!verb->layer(in, params[0], made)) return Fail(std::string(verb->name) + ": TOL must be a number >= 0");
            results[li].name = layers[li].name;
            results[li].declaredType = verb->layer == NodeLayer ? "LineString" : "Polygon";
            for (GM_Object& g : made) {
                GeoFeature r;
                r.fid = static_cast<long long>(results[li].features.size());
                r.geom = std::move(g);
                results[li].features.push_back(std::move(r));
            }
        }
        if (!EmitResults(o, results, error)) return Fail(error);
        for (const GeoLayer& l : results) {
            PlotLayer p{std::string(verb->name) + " of " + l.name, {}};
            for (const GeoFeature& f : l.features) p.geoms.push_back(&f.geom);
            plot.push_back(std::move(p));
        }
        if (!o.svg.empty() && !WriteSvg(o.svg, plot, error)) return Fail(error);
        return 0;
    } else {
        std::vector<GeoLayer> results(layers.size());
        size_t total = 0, done = 0;
        for (const GeoLayer& l : layers) total += l.features.size();
        for (size_t li = 0; li < layers.size(); ++li) {
            results[li].name = layers[li].name;
            results[li].declaredType = layers[li].declaredType;
            results[li].schema = layers[li].schema;
            if (verb->shape == TransformShape) DropSpatialReference(results[li]);
            for (const GeoFeature& f : layers[li].features) {
                Progress::Tick(++done, total);
                if (verb->kind == Kind::Split) {
                    std::vector<GM_Object> made;
                    if (f.hasGeometry && !verb->split(f.geom, params, made, error))
                        return Fail(layers[li].name + ", feature " + std::to_string(f.fid) + ": " + error);
                    for (GM_Object& g : made) {
                        GeoFeature r;
                        r.fid = static_cast<long long>(results[li].features.size());
                        r.attributes = f.attributes;
                        r.geom = std::move(g);
                        results[li].features.push_back(std::move(r));
                    }
                    continue;
                }
                GeoFeature r;
                r.fid = f.fid;
                r.attributes = f.attributes;
                r.hasGeometry = f.hasGeometry;
                if (f.hasGeometry && !verb->shape(f.geom, params, r.geom, error))
                    return Fail(layers[li].name + ", feature " + std::to_string(f.fid) + ": " + error);
                // A clip that leaves nothing of a feature leaves the feature out.
                if (verb->shape == ClipShape && r.geom.isEmpty()) continue;
                results[li].features.push_back(std::move(r));
            }
        }
        Progress::Finish();
        if (!EmitResults(o, results, error)) return Fail(error);
        if (!o.svg.empty()) {
            // A copy would only cover its input.
            for (size_t li = 0; verb->shape != ConvertShape && li < results.size(); ++li) {
                PlotLayer p{std::string(verb->name) + " of " + results[li].name, {}};
                for (const GeoFeature& f : results[li].features) p.geoms.push_back(&f.geom);
                plot.push_back(std::move(p));
            }
            if (!WriteSvg(o.svg, plot, error)) return Fail(error);
        }
        return 0;
    }
    if (!o.svg.empty() && !WriteSvg(o.svg, plot, error)) return Fail(error);
    return 0;
}

int PlotCommand(int argc, char** argv) {
    Options o;
    std::string error;
    if (!ParseOptions(argc, argv, 0, o, error)) return Usage(error.c_str());
    if (o.output.empty() || o.positional.empty()) return Usage("plot needs FILE... and -o OUT.svg");
    std::vector<std::vector<GeoLayer>> files(o.positional.size());
    std::vector<PlotLayer> plot;
    for (size_t i = 0; i < o.positional.size(); ++i) {
        if (!ReadGeoFile(o.positional[i], o.layer, files[i], error, Progress::Tick)) return Fail(error);
        for (const GeoLayer& l : files[i]) {
            PlotLayer p{files[i].size() > 1 ? o.positional[i] + ":" + l.name : o.positional[i], {}};
            for (const GeoFeature& f : l.features) p.geoms.push_back(&f.geom);
            plot.push_back(std::move(p));
        }
    }
    Progress::Finish();
    if (!WriteTextFile(o.output, SvgPicture(plot), error)) return Fail(error);
    return 0;
}

}  // namespace kelo_tool
