// Well-Known Text: a recursive-descent reader over the fixed grammar of the standard kinds, and
// the writer. Numbers are written shortest-exact, so text round trips every double.
#include <cctype>
#include <charconv>
#include <cmath>
#include <string>

#include "geometry/geometry_object.h"
#include "io/standard_forms.h"
#include "io/standard_model.h"

namespace kelo {

using namespace detail;

namespace {

// Coordinates per point: none means the text did not say, and the first point decides.
enum class Dims { Unset, XY, XYZ, XYM, XYZM };

int DimsCount(Dims d) { return d == Dims::XY ? 2 : d == Dims::XYZM ? 4 : d == Dims::Unset ? 0 : 3; }

class WktReader {
public:
    WktReader(std::string_view text, size_t pos) : s_(text), i_(pos) {}

    size_t pos() const { return i_; }
    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    size_t errorOffset() const { return errorAt_; }
    int32_t srid = 0;
    bool hasSrid = false, hasZ = false, droppedM = false;

    void SkipBlanks() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    bool AtEnd() {
        SkipBlanks();
        return i_ >= s_.size();
    }

    // An optional "SRID=n;" prefix, then one geometry.
    bool Geometry(StdGeom& g) {
        SkipBlanks();
        if (s_.substr(i_, 5).size() == 5 && Upper(s_.substr(i_, 5)) == "SRID=") {
            i_ += 5;
            double v = 0;
            size_t at = i_;
            if (!Number(v) || v != std::floor(v) || std::fabs(v) > 2147483647.0) return Fail("expected an integer SRID", at);
            srid = static_cast<int32_t>(v);
            hasSrid = true;
            if (!Expect(';')) return false;
        }
        return Tagged(g, Dims::Unset, false);
    }

    bool Fail(const std::string& what, size_t at) {
        if (error_.empty()) {
            error_ = what + " at " + std::to_string(at);
            errorAt_ = at;
        }
        return false;
    }

private:
    std::string_view s_;
    size_t i_;
    std::string error_;
    size_t errorAt_ = 0;

    static std::string Upper(std::string_view w) {
        std::string u(w);
        for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return u;
    }

    bool Peek(char c) {
        SkipBlanks();
        return i_ < s_.size() && s_[i_] == c;
    }
    bool Expect(char c) {
        if (Peek(c)) {
            ++i_;
            return true;
        }
        return Fail(std::string("expected '") + c + "'", i_);
    }
    std::string Word() {
        SkipBlanks();
        size_t b = i_;
        while (i_ < s_.size() && std::isalpha(static_cast<unsigned char>(s_[i_]))) ++i_;
        return Upper(s_.substr(b, i_ - b));
    }
    // The keyword with its dimension tag, written apart ("POINT Z") or joined ("POINTZ").
    bool Keyword(StdKind& kind, Dims& dims, size_t& at) {
        SkipBlanks();
        at = i_;
        std::string w = Word();
        if (w.empty()) return Fail("expected a geometry type", at);
        static const StdKind kinds[] = {
            StdKind::Point, StdKind::LineString, StdKind::Polygon, StdKind::MultiPoint, StdKind::MultiLineString,
            StdKind::MultiPolygon, StdKind::GeometryCollection, StdKind::CircularString, StdKind::CompoundCurve,
            StdKind::CurvePolygon, StdKind::MultiCurve, StdKind::MultiSurface, StdKind::PolyhedralSurface,
            StdKind::Tin, StdKind::Triangle};
        for (const char* suffix : {"", "ZM", "Z", "M"}) {
            std::string_view sv(suffix);
            if (w.size() <= sv.size() || w.compare(w.size() - sv.size(), sv.size(), sv) != 0) continue;
            std::string base = w.substr(0, w.size() - sv.size());
            for (StdKind k : kinds) {
                if (base != StdKindName(k)) continue;
                kind = k;
                if (sv.empty()) {
                    size_t save = i_;
                    std::string tag = Word();
                    if (tag == "Z") dims = Dims::XYZ;
                    else if (tag == "M") dims = Dims::XYM;
                    else if (tag == "ZM") dims = Dims::XYZM;
                    else i_ = save;
                } else {
                    dims = sv == "ZM" ? Dims::XYZM : sv == "Z" ? Dims::XYZ : Dims::XYM;
                }
                return true;
            }
        }
        return Fail("unknown geometry type '" + w + "'", at);
    }
    // "EMPTY" in place of a body.
    bool Empty() {
        SkipBlanks();
        size_t save = i_;
        if (Word() == "EMPTY") return true;
        i_ = save;
        return false;
    }

    bool Number(double& v) {
        SkipBlanks();
        size_t at = i_;
        if (i_ < s_.size() && s_[i_] == '+') ++i_;
        const char* b = s_.data() + i_;
        const char* e = s_.data() + s_.size();
        auto r = std::from_chars(b, e, v);
        if (r.ec == std::errc::result_out_of_range) return Fail("number out of range", at);
        if (r.ec != std::errc() || (i_ > at && (*b == '-' || *b == '+'))) return Fail("expected a number", at);
        i_ += static_cast<size_t>(r.ptr - b);
        if (!std::isfinite(v)) return Fail("expected a finite number", at);
        if (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '.' || s_[i_] == '_'))
            return Fail(std::string("unexpected '") + s_[i_] + "' after a number", i_);
        return true;
    }

    bool NumberAhead() {
        SkipBlanks();
        return i_ < s_.size() && s_[i_] != ',' && s_[i_] != ')';
    }

    bool Coordinate(Point3D& p, Dims& dims) {
        double v[4];
        int n = 0;
        SkipBlanks();
        size_t at = i_;
        while (n < 4 && NumberAhead()) {
            if (!Number(v[n])) return false;
            ++n;
        }
        if (n == 4 && NumberAhead()) return Fail("more than four coordinates", i_);
        if (dims == Dims::Unset) {
            if (n < 2) return Fail("expected at least two coordinates", at);
            dims = n == 2 ? Dims::XY : n == 3 ? Dims::XYZ : Dims::XYZM;
        }
        if (n != DimsCount(dims)) return Fail("expected " + std::to_string(DimsCount(dims)) + " coordinates", at);
        p = {v[0], v[1], kUnknownZ};
        if (dims == Dims::XYZ || dims == Dims::XYZM) {
            p.z = v[2];
            hasZ = true;
        }
        if (dims == Dims::XYM || dims == Dims::XYZM) droppedM = true;
        return true;
    }

    // "(x y, x y, ...)"
    bool PointList(std::vector<Point3D>& pts, Dims& dims) {
        if (!Expect('(')) return false;
        do {
            Point3D p;
            if (!Coordinate(p, dims)) return false;
            pts.push_back(p);
        } while (Peek(',') && ++i_);
        return Expect(')');
    }

    bool RunBody(StdKind kind, StdCurve& c, Dims dims) {
        if (Empty()) return true;
        size_t at = i_;
        StdRun r;
        r.type = kind == StdKind::CircularString ? klLT3PArc : klLTPolyline;
        if (!PointList(r.pts, dims)) return false;
        if (r.type == klLT3PArc && (r.pts.size() < 3 || r.pts.size() % 2 == 0))
            return Fail("a circular string needs an odd number of points, at least 3", at);
        c.push_back(std::move(r));
        return true;
    }

    bool CompoundBody(StdCurve& c, Dims dims) {
        if (Empty()) return true;
        if (!Expect('(')) return false;
        do {
            SkipBlanks();
            if (Peek('(')) {
                if (!RunBody(StdKind::LineString, c, dims)) return false;
                continue;
            }
            StdKind k;
            Dims d = dims;
            size_t at;
            if (!Keyword(k, d, at)) return false;
            if (k != StdKind::LineString && k != StdKind::CircularString)
                return Fail("expected '(' or CIRCULARSTRING in a compound curve", at);
            if (!RunBody(k, c, d)) return false;
        } while (Peek(',') && ++i_);
        return Expect(')');
    }

    // A curve where any curve kind may stand: a bare point list is a line string.
    bool CurveItem(StdCurve& c, Dims dims, bool curvesAllowed) {
        if (Peek('(')) return RunBody(StdKind::LineString, c, dims);
        if (Empty()) return true;
        StdKind k;
        Dims d = dims;
        size_t at;
        if (!Keyword(k, d, at)) return false;
        if (!curvesAllowed && k != StdKind::LineString) return Fail("expected '('", at);
        if (k == StdKind::LineString || k == StdKind::CircularString) return RunBody(k, c, d);
        if (k == StdKind::CompoundCurve) return CompoundBody(c, d);
        return Fail("expected a curve", at);
    }

    bool SurfaceBody(StdSurface& s, Dims dims, bool curvesAllowed) {
        if (Empty()) return true;
        if (!Expect('(')) return false;
        do {
            s.emplace_back();
            if (!CurveItem(s.back(), dims, curvesAllowed)) return false;
        } while (Peek(',') && ++i_);
        return Expect(')');
    }

    bool SurfaceItem(StdSurface& s, Dims dims, bool curvesAllowed) {
        if (Peek('(')) return SurfaceBody(s, dims, false);
        if (Empty()) return true;
        StdKind k;
        Dims d = dims;
        size_t at;
        if (!Keyword(k, d, at)) return false;
        if (k == StdKind::Polygon) return SurfaceBody(s, d, false);
        if (k == StdKind::CurvePolygon && curvesAllowed) return SurfaceBody(s, d, true);
        return Fail(curvesAllowed ? "expected a surface" : "expected '('", at);
    }

    bool Triangles(std::vector<Triangle>& out, Dims dims) {
        if (Empty()) return true;
        if (!Expect('(')) return false;
        do {
            SkipBlanks();
            size_t at = i_;
            StdSurface s;
            if (!SurfaceItem(s, dims, false)) return false;
            if (!TriangleFrom(s, out)) return Fail("a triangle needs one closed ring of 4 points", at);
        } while (Peek(',') && ++i_);
        return Expect(')');
    }

    static bool TriangleFrom(const StdSurface& s, std::vector<Triangle>& out) {
        if (s.size() != 1 || s[0].size() != 1 || s[0][0].pts.size() != 4) return false;
        const std::vector<Point3D>& p = s[0][0].pts;
        if (p[0].x != p[3].x || p[0].y != p[3].y) return false;
        out.push_back(Triangle{{p[0], p[1], p[2]}});
        return true;
    }

    bool Tagged(StdGeom& g, Dims dims, bool member) {
        StdKind kind;
        size_t at;
        if (!Keyword(kind, dims, at)) return false;
        switch (kind) {
            case StdKind::Point: {
                if (Empty()) {
                    if (member) return Fail("an empty point cannot be held in a collection", at);
                    g.type = wkbEmpty;
                    return true;
                }
                g.type = wkbPoint;
                if (!Expect('(')) return false;
                Point3D p;
                if (!Coordinate(p, dims)) return false;
                g.points.push_back(p);
                return Expect(')');
            }
            case StdKind::LineString:
            case StdKind::CircularString:
            case StdKind::CompoundCurve:
                g.type = wkbLineString;
                g.curves.emplace_back();
                return kind == StdKind::CompoundCurve ? CompoundBody(g.curves.back(), dims)
                                                      : RunBody(kind, g.curves.back(), dims);
            case StdKind::Polygon:
            case StdKind::CurvePolygon:
            case StdKind::Triangle:
                g.type = wkbPolygon;
                g.surfaces.emplace_back();
                return SurfaceBody(g.surfaces.back(), dims, kind == StdKind::CurvePolygon);
            case StdKind::MultiPoint:
                g.type = wkbMultiPoint;
                if (Empty()) return true;
                if (!Expect('(')) return false;
                do {
                    Point3D p;
                    if (Peek('(')) {
                        ++i_;
                        if (!Coordinate(p, dims) || !Expect(')')) return false;
                    } else {
                        SkipBlanks();
                        size_t e = i_;
                        if (Empty()) return Fail("an empty point cannot be held in a multipoint", e);
                        if (!Coordinate(p, dims)) return false;
                    }
                    g.points.push_back(p);
                } while (Peek(',') && ++i_);
                return Expect(')');
            case StdKind::MultiLineString:
            case StdKind::MultiCurve:
                g.type = wkbMultiLineString;
                if (Empty()) return true;
                if (!Expect('(')) return false;
                do {
                    g.curves.emplace_back();
                    if (!CurveItem(g.curves.back(), dims, kind == StdKind::MultiCurve)) return false;
                } while (Peek(',') && ++i_);
                return Expect(')');
            case StdKind::MultiPolygon:
            case StdKind::MultiSurface:
                g.type = wkbMultiPolygon;
                if (Empty()) return true;
                if (!Expect('(')) return false;
                do {
                    g.surfaces.emplace_back();
                    if (!SurfaceItem(g.surfaces.back(), dims, kind == StdKind::MultiSurface)) return false;
                } while (Peek(',') && ++i_);
                return Expect(')');
            case StdKind::GeometryCollection:
                if (member) return Fail("a collection inside a collection cannot be held", at);
                g.type = wkbGeometryCollection;
                if (Empty()) return true;
                if (!Expect('(')) return false;
                do {
                    g.members.emplace_back();
                    SkipBlanks();
                    size_t m = i_;
                    if (!Tagged(g.members.back(), dims, true)) return false;
                    if (g.members.back().type == wkbTin) return Fail("a TIN inside a collection cannot be held", m);
                } while (Peek(',') && ++i_);
                return Expect(')');
            case StdKind::Tin:
                g.type = wkbTin;
                return Triangles(g.triangles, dims);
            case StdKind::PolyhedralSurface:
                break;
        }
        return Fail(std::string(StdKindName(kind)) + " cannot be held", at);
    }
};

// ---- writer -----------------------------------------------------------------------------------

class WktWriter {
public:
    WktWriter(std::string& out, bool z) : o_(out), z_(z) {}

    void Geom(const StdGeom& g) {
        StdKind k = GeomKind(g);
        Head(k);
        switch (g.type) {
            case wkbEmpty:
                o_ += " EMPTY";
                return;
            case wkbPoint:
                o_ += " (";
                Coord(g.points[0]);
                o_ += ')';
                return;
            case wkbLineString:
                o_ += ' ';
                CurveBody(g.curves[0]);
                return;
            case wkbPolygon:
                o_ += ' ';
                SurfaceBody(g.surfaces[0]);
                return;
            case wkbMultiPoint:
                if (Emptied(g.points.empty())) return;
                for (size_t i = 0; i < g.points.size(); ++i) {
                    o_ += i ? ", (" : " ((";
                    Coord(g.points[i]);
                    o_ += ')';
                }
                o_ += ')';
                return;
            case wkbMultiLineString:
                if (Emptied(g.curves.empty())) return;
                for (size_t i = 0; i < g.curves.size(); ++i) {
                    o_ += i ? ", " : " (";
                    if (k == StdKind::MultiCurve) CurveItem(g.curves[i]);
                    else CurveBody(g.curves[i]);
                }
                o_ += ')';
                return;
            case wkbMultiPolygon:
                if (Emptied(g.surfaces.empty())) return;
                for (size_t i = 0; i < g.surfaces.size(); ++i) {
                    o_ += i ? ", " : " (";
                    if (k == StdKind::MultiSurface && !SurfaceIsLinear(g.surfaces[i])) {
                        o_ += "CURVEPOLYGON ";
                    }
                    SurfaceBody(g.surfaces[i]);
                }
                o_ += ')';
                return;
            case wkbGeometryCollection:
                if (Emptied(g.members.empty())) return;
                for (size_t i = 0; i < g.members.size(); ++i) {
                    o_ += i ? ", " : " (";
                    Geom(g.members[i]);
                }
                o_ += ')';
                return;
            case wkbTin:
                if (Emptied(g.triangles.empty())) return;
                for (size_t i = 0; i < g.triangles.size(); ++i) {
                    o_ += i ? ", ((" : " (((";
                    for (int k3 = 0; k3 < 4; ++k3) {
                        if (k3) o_ += ", ";
                        Coord(g.triangles[i].p[k3 % 3]);
                    }
                    o_ += "))";
                }
                o_ += ')';
                return;
            default:
                return;
        }
    }

private:
    std::string& o_;
    bool z_;

    void Head(StdKind k) {
        o_ += StdKindName(k);
        if (z_) o_ += " Z";
    }
    bool Emptied(bool empty) {
        if (empty) o_ += " EMPTY";
        return empty;
    }
    void Num(double v) {
        char buf[32];
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        o_.append(buf, r.ptr);
    }
    void Coord(const Point3D& p) {
        Num(p.x);
        o_ += ' ';
        Num(p.y);
        if (z_) {
            o_ += ' ';
            Num(p.z);
        }
    }
    void Points(const std::vector<Point3D>& pts) {
        o_ += '(';
        for (size_t i = 0; i < pts.size(); ++i) {
            if (i) o_ += ", ";
            Coord(pts[i]);
        }
        o_ += ')';
    }
    // The body of a curve whose kind the context already names.
    void CurveBody(const StdCurve& c) {
        if (c.empty()) {
            o_ += "EMPTY";
        } else if (c.size() == 1) {
            Points(c[0].pts);
        } else {
            o_ += '(';
            for (size_t i = 0; i < c.size(); ++i) {
                if (i) o_ += ", ";
                if (c[i].type == klLT3PArc) o_ += "CIRCULARSTRING ";
                Points(c[i].pts);
            }
            o_ += ')';
        }
    }
    // A curve where a bare list means a line string and other kinds carry their name.
    void CurveItem(const StdCurve& c) {
        StdKind k = CurveKind(c);
        if (k != StdKind::LineString) {
            o_ += StdKindName(k);
            o_ += ' ';
        }
        CurveBody(c);
    }
    void SurfaceBody(const StdSurface& s) {
        if (s.empty()) {
            o_ += "EMPTY";
            return;
        }
        o_ += '(';
        for (size_t i = 0; i < s.size(); ++i) {
            if (i) o_ += ", ";
            CurveItem(s[i]);
        }
        o_ += ')';
    }
};

void Report(StandardFormInfo* info, const WktReader& r) {
    if (!info) return;
    *info = StandardFormInfo{};
    info->srid = r.srid;
    info->hasSrid = r.hasSrid;
    info->hasZ = r.hasZ;
    info->measuresDropped = r.droppedM;
    info->error = r.error();
    info->errorOffset = r.errorOffset();
}

void Adopt(const StdGeom& model, GM_Object& out) {
    WKBGeometry rec;
    RecordFromModel(model, rec);
    out.DeleteContent();
    static_cast<WKBGeometry&>(out) = rec;
}

}  // namespace

int WktNextGeometry(std::string_view text, size_t& pos, GM_Object& out, StandardFormInfo* info) {
    out.DeleteContent();
    while (pos < text.size() && (std::isspace(static_cast<unsigned char>(text[pos])) || text[pos] == ';')) ++pos;
    WktReader r(text, pos);
    if (pos >= text.size()) {
        Report(info, r);
        return 0;
    }
    StdGeom model;
    bool ok = r.Geometry(model);
    Report(info, r);
    if (!ok) return 0;
    pos = r.pos();
    Adopt(model, out);
    return 1;
}

int WktToGeometry(std::string_view text, GM_Object& out, StandardFormInfo* info) {
    out.DeleteContent();
    WktReader r(text, 0);
    StdGeom model;
    bool ok = r.Geometry(model);
    if (ok && !r.AtEnd()) ok = r.Fail("unexpected text after the geometry", r.pos());
    Report(info, r);
    if (!ok) return 0;
    Adopt(model, out);
    return 1;
}

int GeometryToWkt(const WKBGeometry& geom, std::string& text, const StandardWriteOptions& options,
                  StandardFormInfo* info) {
    text.clear();
    StdGeom model;
    bool z = false;
    if (!ModelForWriting(geom, options, model, z, info)) return 0;
    WktWriter(text, z).Geom(model);
    return 1;
}

}  // namespace kelo
