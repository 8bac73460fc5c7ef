#include "svg_picture.h"

#include <cmath>
#include <cstdio>

namespace kelo_tool {

using namespace kelo;

namespace {

constexpr double kWidth = 800, kMargin = 40, kBottom = 60;
const char* const kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b", "#e377c2"};

struct Frame {
    double minx, maxy, scale, height;
    double X(double x) const { return kMargin + (x - minx) * scale; }
    double Y(double y) const { return kMargin + (maxy - y) * scale; }
};

std::string Num(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%.2f", v);
    return b;
}

class PathBuilder {
public:
    explicit PathBuilder(const Frame& f) : f_(f) {}
    std::string d;

    void Line(const LineString& line) {
        started_ = false;
        for (uint32_t i = 0; line.parts && i < line.partCount; ++i) Run(line.parts[i]);
    }
    void Ring(const LineString& ring) {
        Line(ring);
        if (started_) d += "Z ";
    }

private:
    const Frame& f_;
    bool started_ = false;
    double lx_ = 0, ly_ = 0;

    void To(double x, double y) {
        const double sx = f_.X(x), sy = f_.Y(y);
        if (!started_) {
            d += "M" + Num(sx) + " " + Num(sy) + " ";
            started_ = true;
        } else if (sx != lx_ || sy != ly_) {
            d += "L" + Num(sx) + " " + Num(sy) + " ";
        }
        lx_ = sx;
        ly_ = sy;
    }
    // The arc from the current point through m to e, in screen coordinates.
    void Arc(const Point3D& m, const Point3D& e) {
        const double x0 = lx_, y0 = ly_, xm = f_.X(m.x), ym = f_.Y(m.y), x1 = f_.X(e.x), y1 = f_.Y(e.y);
        if (std::hypot(x1 - x0, y1 - y0) < 1e-9) {
            // A closed arc is the full circle through the start and the opposite middle point.
            const double cx = (x0 + xm) / 2, cy = (y0 + ym) / 2, r = std::hypot(xm - cx, ym - cy);
            if (r < 1e-9) return;
            d += "A" + Num(r) + " " + Num(r) + " 0 0 1 " + Num(xm) + " " + Num(ym) + " ";
            d += "A" + Num(r) + " " + Num(r) + " 0 0 1 " + Num(x0) + " " + Num(y0) + " ";
            return;
        }
        const double ax = xm - x0, ay = ym - y0, bx = x1 - x0, by = y1 - y0;
        const double cross = ax * by - ay * bx;
        const double den = 2 * cross;
        if (std::fabs(cross) < 1e-9 * (ax * ax + ay * ay + bx * bx + by * by)) {
            To(m.x, m.y);
            To(e.x, e.y);
            return;
        }
        const double a2 = ax * ax + ay * ay, b2 = bx * bx + by * by;
        const double ux = (by * a2 - ay * b2) / den, uy = (ax * b2 - bx * a2) / den;  // centre minus start
        const double r = std::hypot(ux, uy);
        // Large when the centre lies on the middle point's side of the chord.
        const double sideM = bx * ay - by * ax, sideC = bx * uy - by * ux;
        const int large = (sideM > 0) == (sideC > 0) ? 1 : 0;
        const int sweep = cross > 0 ? 1 : 0;
        d += "A" + Num(r) + " " + Num(r) + " 0 " + std::to_string(large) + " " + std::to_string(sweep) + " " +
             Num(x1) + " " + Num(y1) + " ";
        lx_ = x1;
        ly_ = y1;
    }
    void Run(const CurveSegment& seg) {
        if (seg.pointCount == 0 || !seg.points) return;
        keloPoints run(seg.lineType, static_cast<int>(seg.pointCount), seg.points);
        if (run.IsArc()) run.Normalizing(0.0, 8);
        if (run.lineType == klLT3PArc && run.pointCount >= 3) {
            To(run.points[0].x, run.points[0].y);
            for (uint32_t k = 0; k + 2 < run.pointCount; k += 2) Arc(run.points[k + 1], run.points[k + 2]);
            return;
        }
        std::vector<Point3D> pts;
        if (run.lineType == klLTPolyline || run.lineType == klLTNone) pts.assign(run.points, run.points + run.pointCount);
        else run.Discrete(pts, 0.25 / f_.scale);  // a quarter pixel
        for (const Point3D& p : pts) To(p.x, p.y);
    }
};

void Polygon(const WKBPolygon& p, PathBuilder& b) {
    for (int32_t i = 0; p.rings && i < p.ringCount; ++i) b.Ring(p.rings[i]);
}

// Draws one record: areas filled even-odd, lines stroked, points as dots.
void Draw(const WKBGeometry& g, const Frame& f, const char* colour, std::string& out) {
    auto path = [&](const std::string& d, bool area) {
        if (d.empty()) return;
        out += "  <path d=\"" + d + "\" ";
        out += area ? std::string("fill=\"") + colour + "\" fill-opacity=\"0.35\" fill-rule=\"evenodd\" "
                    : std::string("fill=\"none\" ");
        out += std::string("stroke=\"") + colour + "\" stroke-width=\"1.5\"/>\n";
    };
    auto dot = [&](const Point3D& p) {
        out += "  <circle cx=\"" + Num(f.X(p.x)) + "\" cy=\"" + Num(f.Y(p.y)) + "\" r=\"3\" fill=\"" + colour + "\"/>\n";
    };
    PathBuilder b(f);
    switch (g.type) {
        case wkbPoint: dot(g.point); break;
        case wkbMultiPoint:
            for (uint32_t i = 0; i < g.multiPoint.pointCount; ++i) dot(g.multiPoint.points[i]);
            break;
        case wkbLineString: b.Line(g.line); path(b.d, false); break;
        case wkbMultiLineString:
            for (uint32_t i = 0; i < g.multiLine.lineCount; ++i) b.Line(g.multiLine.lines[i]);
            path(b.d, false);
            break;
        case wkbPolygon: Polygon(g.polygon, b); path(b.d, true); break;
        case wkbMultiPolygon:
            for (uint32_t i = 0; i < g.multiPolygon.polygonCount; ++i) Polygon(g.multiPolygon.polygons[i], b);
            path(b.d, true);
            break;
        case wkbGeometryCollection:
            for (uint32_t i = 0; i < g.collection.memberCount; ++i) Draw(g.collection.members[i], f, colour, out);
            break;
        case wkbTin:
            for (uint32_t i = 0; i < g.tin.triangleCount; ++i) {
                const Point3D* p = g.tin.triangles[i].p;
                std::string d = "M" + Num(f.X(p[0].x)) + " " + Num(f.Y(p[0].y));
                for (int k = 1; k < 3; ++k) d += " L" + Num(f.X(p[k].x)) + " " + Num(f.Y(p[k].y));
                path(d + " Z", true);
            }
            break;
        default: break;
    }
}

std::string Escape(const std::string& s) {
    std::string o;
    for (char c : s) {
        if (c == '&') o += "&amp;";
        else if (c == '<') o += "&lt;";
        else if (c == '>') o += "&gt;";
        else if (c == '"') o += "&quot;";
        else o += c;
    }
    return o;
}

// 1, 2 or 5 times a power of ten, about a fifth of the width.
double NiceLength(double world) {
    double target = world / 5, p = std::pow(10.0, std::floor(std::log10(target)));
    for (double m : {5.0, 2.0, 1.0})
        if (m * p <= target) return m * p;
    return p;
}

}  // namespace

std::string SvgPicture(const std::vector<PlotLayer>& layers) {
    Box box;
    for (const PlotLayer& l : layers)
        for (const GM_Object* g : l.geoms)
            if (g && !g->isEmpty()) {
                Box b = g->mbRegion();
                if (b.minx <= b.maxx) {
                    box.add(b.minx, b.miny);
                    box.add(b.maxx, b.maxy);
                }
            }
    if (!(box.minx <= box.maxx)) box = Box(0, 0, 1, 1);
    double w = box.maxx - box.minx, h = box.maxy - box.miny;
    if (w <= 0 && h <= 0) w = h = 1;
    else if (w <= 0) w = h;
    else if (h <= 0) h = w;
    const double inner = kWidth - 2 * kMargin;
    Frame f{box.minx - (w - (box.maxx - box.minx)) / 2, box.maxy + (h - (box.maxy - box.miny)) / 2,
            inner / std::max(w, h * 1.0), 0};
    if (h * f.scale > inner) f.scale = inner / h;
    f.height = h * f.scale;
    const double width = w * f.scale + 2 * kMargin, height = f.height + kMargin + kBottom;

    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(width) + "\" height=\"" + Num(height) +
           "\" viewBox=\"0 0 " + Num(width) + " " + Num(height) + "\">\n";
    out += "  <rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    out += "  <rect x=\"" + Num(kMargin / 2) + "\" y=\"" + Num(kMargin / 2) + "\" width=\"" + Num(width - kMargin) +
           "\" height=\"" + Num(f.height + kMargin) + "\" fill=\"none\" stroke=\"#888\"/>\n";
    for (size_t i = 0; i < layers.size(); ++i) {
        const char* colour = kColours[i % (sizeof kColours / sizeof kColours[0])];
        out += "  <g id=\"layer" + std::to_string(i) + "\">\n";
        for (const GM_Object* g : layers[i].geoms)
            if (g) Draw(*g, f, colour, out);
        out += "  </g>\n";
        out += "  <text x=\"" + Num(kMargin + 220 + 180.0 * static_cast<double>(i)) + "\" y=\"" +
               Num(f.height + kMargin + 40) + "\" font-family=\"sans-serif\" font-size=\"12\" fill=\"" + colour +
               "\">" + Escape(layers[i].label) + "</text>\n";
    }
    // The scale bar, in the units of the coordinates.
    const double len = NiceLength(w), y = f.height + kMargin + 35, x1 = kMargin + len * f.scale;
    out += "  <path d=\"M" + Num(kMargin) + " " + Num(y - 5) + " V" + Num(y) + " H" + Num(x1) + " V" + Num(y - 5) +
           "\" fill=\"none\" stroke=\"black\" stroke-width=\"1.5\"/>\n";
    char label[64];
    std::snprintf(label, sizeof label, "%g", len);
    out += "  <text x=\"" + Num(kMargin) + "\" y=\"" + Num(y + 15) +
           "\" font-family=\"sans-serif\" font-size=\"12\">0</text>\n";
    out += "  <text x=\"" + Num(x1) + "\" y=\"" + Num(y + 15) +
           "\" font-family=\"sans-serif\" font-size=\"12\" text-anchor=\"middle\">" + label + "</text>\n";
    out += "</svg>\n";
    return out;
}

}  // namespace kelo_tool
