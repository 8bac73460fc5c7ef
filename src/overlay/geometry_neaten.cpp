#include "overlay/geometry_neaten.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>
#include <vector>

#include "companion/gbk.h"
#include "geometry/circle_arc.h"
#include "geometry/geometry_object.h"
#include "geometry/gmobject_detail.h"
#include "geometry/tolerance.h"
#include "overlay/arc_polygon.h"
#include "overlay/line_handler.h"
#include "overlay/pinched_faces.h"
#include "relations/segment.h"

namespace kelo {

using detail::AsParts;
using detail::GmItem;
using detail::OwnedSeg;

CGeometryNeatenSet::CGeometryNeatenSet()
    : eps(1e-8), hNeaten(0), xyNeaten(0), range(), decimalOn(0), decimals(0), optOverlap(0), optSingle(0),
      optTwoPointFace(0), exExt(0), checkOnly(0), discretArc(0), discretCurve(0), byDiscretising(0),
      adjustArcMiddle(0) {}

namespace {

constexpr double kTouch = 1e-8;

void Record(const Point3D& p) { g_lastAbnormalPoint = p; }

Point3D Mid(const Point3D& a, const Point3D& b) { return {(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2}; }

double Dist(const Point3D& a, const Point3D& b) { return std::hypot(a.x - b.x, a.y - b.y); }

// Distance of p from the infinite line through a and b (from a when they coincide).
double LineDistance(const Point3D& p, const Point3D& a, const Point3D& b) {
    const double len = Dist(a, b);
    if (len < kTouch) return Dist(p, a);
    return std::abs((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x)) / len;
}

// Several steps run under the neatening tolerance as the global one.
struct GlobalEps {
    double saved;
    explicit GlobalEps(double e) : saved(g_epsZero) { g_epsZero = e; }
    ~GlobalEps() { g_epsZero = saved; }
    GlobalEps(const GlobalEps&) = delete;
    GlobalEps& operator=(const GlobalEps&) = delete;
};

bool IsCurveType(int t) { return t == klLTBezier || t == klLTEllipse || t == klLTSpline || t == klLTSpline2; }

// Runs without points, or whose array is missing, leave the record; lines left without runs stay
// as empty lines for the item pass below. Returns how many runs went (or would go).
int RemoveEmptyRuns(WKBGeometry& g, bool remove) {
    int n = 0;
    detail::WalkParts(g, [&](LineString& l, bool, WKBPolygon*, int) {
        if (!l.parts) {
            n += l.partCount ? 1 : 0;
            if (remove) l.partCount = 0;
            return false;
        }
        uint32_t kept = 0;
        for (uint32_t k = 0; k < l.partCount; ++k) {
            CurveSegment& s = l.parts[k];
            if (s.pointCount && s.points) {
                if (remove) l.parts[kept] = s;
                ++kept;
                continue;
            }
            ++n;
            if (remove) delete[] s.points;
        }
        if (remove && kept != l.partCount) {
            l.partCount = kept;
            if (kept == 0) {
                delete[] l.parts;
                l.parts = nullptr;
            }
        }
        return false;
    });
    return n;
}

// The part of arc `s` between two of its points, as a new arc through the middle of that piece.
OwnedSeg SubArc(const OwnedSeg& s, const Point3D& from, const Point3D& to) {
    OwnedSeg out;
    out.p[0] = from;
    out.p[1] = to;
    Point3D c;
    double r = 0, start = 0, sweep = 0;
    if (!s.arc || Dist(from, to) < kTouch || !ArcSweep3P(s.p, c, r, start, sweep)) return out;
    auto param = [&](const Point3D& p) {
        double t = std::atan2(p.y - c.y, p.x - c.x) - start;
        const double turn = 2 * M_PI;
        if (sweep >= 0) {
            while (t < 0) t += turn;
            while (t >= turn) t -= turn;
        } else {
            while (t > 0) t -= turn;
            while (t <= -turn) t += turn;
        }
        return t;
    };
    const double m = start + (param(from) + param(to)) / 2;
    out.arc = true;
    out.p[1] = {c.x + r * std::cos(m), c.y + r * std::sin(m), (from.z + to.z) / 2};
    out.p[2] = to;
    return out;
}

void FixArcRuns(keloParts& part) {
    for (int k = 0; k < part.GetPartsCount(); ++k) {
        keloPoints* run = part.GetOriginalPointsAt(k);
        if (run && run->IsArc()) run->Normalizing(0, 8);
    }
}

int RemoveSinglePointRuns(keloParts& part) {
    int n = 0;
    for (int k = part.GetPartsCount() - 1; k >= 0; --k)
        if (part.parts[k].pointCount == 1) {
            Record(part.parts[k].points[0]);
            part.DeletePointsAt(k);
            ++n;
        }
    return n;
}

// Where the object meets itself, for the defect position: the first crossing or overlap of two
// segments, else the first touch of two segments that are not neighbours along their line (a ring
// touching itself at a vertex has no crossing, and its place must still be told).
bool FirstCrossing(const GM_Object& g, double eps, Point3D& where) {
    std::vector<CsSegment> segs;
    std::vector<Box> boxes;
    // Per segment: the first and last segment index of its line, and whether that line is closed.
    struct Line {
        size_t first, last;
        bool closed;
    };
    std::vector<Line> lines;
    detail::ForEachOriginalParts(g, [&](int, keloParts& p, bool) {
        const size_t first = segs.size();
        for (int k = 0; k < p.GetPartsCount(); ++k)
            for (int s = 0; s < p.GetOriginalPointsAt(k)->GetSegmentCount(); ++s) {
                segs.emplace_back(p.GetOriginalPointsAt(k), s);
                boxes.push_back(segs.back().GetBox());
            }
        lines.resize(segs.size(), Line{first, segs.size() - 1, p.IsClosed()});
    });
    auto neighbours = [&](size_t a, size_t b) {  // a < b
        const Line& l = lines[a];
        return b <= l.last && (b == a + 1 || (l.closed && a == l.first && b == l.last));
    };
    // A sweep along x finds the pairs whose boxes meet; of those the lowest pair (by first, then
    // second segment) that crosses or overlaps wins, else the lowest that touches, as a scan of
    // every pair in that order would find them, without its cost on a large polygon.
    std::vector<size_t> byX;  // a box without an x range meets nothing, and would break the sort
    for (size_t i = 0; i < segs.size(); ++i)
        if (!std::isnan(boxes[i].minx) && !std::isnan(boxes[i].maxx)) byX.push_back(i);
    std::sort(byX.begin(), byX.end(), [&](size_t i, size_t j) { return boxes[i].minx < boxes[j].minx; });
    constexpr size_t kNone = std::numeric_limits<size_t>::max();
    std::pair<size_t, size_t> cross{kNone, kNone}, touch{kNone, kNone};
    Point3D crossAt{}, touchAt{};
    for (size_t u = 0; u < byX.size(); ++u)
        for (size_t v = u + 1; v < byX.size() && boxes[byX[v]].minx <= boxes[byX[u]].maxx + eps; ++v) {
            const std::pair<size_t, size_t> ab = std::minmax(byX[u], byX[v]);
            if (ab >= cross || !IsBoxIntersect(boxes[ab.first], boxes[ab.second], eps)) continue;
            Point3D p1, p2;
            const int code = segs[ab.first].IntersectInfo(segs[ab.second], p1, p2, eps);
            if (!code) continue;
            if (IntersectInfoOverlap(code) > 2 || IntersectInfoType(code, 1, nullptr, nullptr) == kSegContactCross) {
                cross = ab;
                crossAt = p1;
            } else if (ab < touch && !neighbours(ab.first, ab.second)) {
                touch = ab;
                touchAt = p1;
            }
        }
    if (cross.first != kNone) where = crossAt;
    else if (touch.first != kNone) where = touchAt;
    return cross.first != kNone || touch.first != kNone;
}

// Deletes vertices closer than eps to a neighbour, keeping the shape (the overlapping-vertex pass);
// with check set it only reports the first such pair. Returns the number of pairs found.
int NeatenOverlapVertices(keloParts& part, double eps, bool check) {
    int count = 0;
    auto vertex = [&](int v) { return *part.GetPointByVertexAt(v); };
    for (bool restart = true; restart;) {
        restart = false;
        bool closed = part.IsClosed();
        int n = part.GetVertexCount();
        for (int i = n - 1 + (closed ? 1 : 0); i >= 1 && n >= 2; --i) {
            const Point3D a = vertex(i % n), b = vertex(i - 1);
            const double d = Dist(a, b);
            if (d > eps) continue;
            ++count;
            if (check) {
                Record(b);
                return 1;
            }
            if (d < kTouch) {
                Record(i == 1 ? a : b);
                part.DeleteVertexAt(i == 1 ? 1 : i - 1);
            } else if ((!closed || n < 4) && (i == 1 || i == n - 1)) {
                Record(i == 1 ? a : b);
                part.DeleteVertexAt(i == 1 ? 1 : n - 2);
            } else {
                const Point3D c = vertex((i + 1) % n), dd = vertex((i + n - 2) % n);
                if (Dist(c, b) < kTouch) {
                    Record(a);
                    part.DeleteVertexAt(i % n);
                } else {
                    const double hA = LineDistance(a, c, b);
                    if (Dist(a, dd) < kTouch) {
                        Record(b);
                        part.DeleteVertexAt(i - 1);
                    } else {
                        const double hB = LineDistance(b, a, dd);
                        if (hA < hB && hA < d / 2) {
                            Record(a);
                            part.DeleteVertexAt(i % n);
                        } else if (hA > hB && hB < d / 2) {
                            Record(b);
                            part.DeleteVertexAt(i - 1);
                        } else {
                            Record(a);
                            part.ReplaceVertexAt(i - 1, Mid(a, b));
                            part.DeleteVertexAt(i % n);
                        }
                    }
                }
            }
            const int now = part.GetVertexCount();
            if (now != n - 1) {
                restart = now >= 2 && now < n;
                break;
            }
            n = now;
            closed = part.IsClosed();
        }
    }
    return count;
}


class Neatener {
public:
    Neatener(const CGeometryNeatenSet& set, GM_Object& object)
        : set_(set), obj_(object), check_(set.checkOnly != 0), original_(object.GetType()) {
        eps_ = std::isfinite(set.eps) && set.eps >= 0 ? set.eps : 1e-8;
    }
    int Run();

private:
    enum Act { kKeep, kRemove, kStop };

    void Load() { items_ = detail::Decompose(obj_); }
    void Store() {
        wkbGeometryType t = detail::SimplestType(items_);
        if ((original_ == wkbMultiPoint && t == wkbPoint) || (original_ == wkbMultiLineString && t == wkbLineString) ||
            (original_ == wkbMultiPolygon && t == wkbPolygon) ||
            (original_ == wkbGeometryCollection && t != wkbEmpty))
            t = original_;
        detail::Rebuild(obj_, items_, t);
        items_.clear();
    }
    void Reorder() {
        Store();
        if (obj_.GetPartsCount() > 0) obj_.PutGMInOrder();
        Load();
    }
    bool HasParts() const {
        for (const GmItem& it : items_)
            if (it.kind != 1) return true;
        return false;
    }

    // Every line and ring, last to first. A removed outer ring takes its polygon with it: its holes
    // bound nothing once the shell is gone.
    template <class F>
    bool Parts(F&& f, bool ringsOnly = false) {
        for (size_t i = items_.size(); i-- > 0;) {
            GmItem& it = items_[i];
            if (it.kind == 2 && !ringsOnly) {
                const Act a = f(it.line, false);
                if (a == kStop) return true;
                if (a == kRemove) items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
            } else if (it.kind == 3) {
                for (int r = it.poly.GetRingsCount() - 1; r >= 0; --r) {
                    const Act a = f(*it.poly.GetOriginalRingAt(r), true);
                    if (a == kStop) return true;
                    if (a != kRemove) continue;
                    if (r == 0) {
                        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
                        break;
                    }
                    it.poly.DeleteRingAt(r);
                }
            }
        }
        return false;
    }

    int EmptyParts(bool remove);
    int OddLineTypes();
    int OpenRings();
    int OverlapVertices();
    int SinglePointLines();
    int TwoPointFaces();
    int Curves();
    int Coordinates();
    int BrokenOrder();
    int ZeroLength();
    int ZeroArea();
    int SelfIntersection();
    int Spikes();
    int SpikesOfPart(keloParts& part, bool ring, bool& drop);
    void RebuildNoded();
    bool Clamp(double& v, double lo, double hi) const;

    const CGeometryNeatenSet& set_;
    GM_Object& obj_;
    bool check_;
    wkbGeometryType original_;
    double eps_;
    std::vector<GmItem> items_;
};

int Neatener::EmptyParts(bool remove) {
    int n = 0;
    Parts([&](keloParts& part, bool) {
        if (part.GetPartsCount() > 0) return kKeep;
        ++n;
        return remove ? kRemove : kKeep;
    });
    return n;
}

int Neatener::OddLineTypes() {
    int n = 0;
    Parts(
        [&](keloParts& ring, bool) {
            for (int k = 0; k < ring.GetPartsCount(); ++k) {
                keloPoints& run = *ring.GetOriginalPointsAt(k);
                if (run.lineType >= 1 && run.lineType <= 10) continue;
                ++n;
                if (run.pointCount) Record(run.points[0]);
                if (check_) return kStop;
                run.lineType = klLTPolyline;
            }
            return kKeep;
        },
        true);
    return n;
}

int Neatener::OpenRings() {
    int n = 0;
    Parts(
        [&](keloParts& ring, bool) {
            Point3D* f = ring.GetOriginalPointsAt(0)->points;
            keloPoints& lastRun = *ring.GetOriginalPointsAt(ring.GetPartsCount() - 1);
            Point3D* l = lastRun.points + lastRun.pointCount - 1;
            if (Dist(*f, *l) <= kTouch) return kKeep;
            ++n;
            Record(*f);
            if (check_) return kStop;
            // Two segments or fewer have no separate ends to meet: the ring is closed by a new
            // closing point, not by folding it onto itself.
            if (ring.GetSegmentCount() < 3) {
                ring.MakeClose();
                return kKeep;
            }
            CsSegment first(ring.GetOriginalPointsAt(0), 0);
            CsSegment last(&lastRun, lastRun.GetSegmentCount() - 1);
            Point3D join = Mid(*f, *l);
            Point3D p1, p2;
            if (first.points && last.points && lastRun.GetSegmentCount() > 0 &&
                IntersectInfoOverlap(first.IntersectInfo(last, p1, p2, eps_)) == 1) {
                join = {p1.x, p1.y, f->z};
            } else if (Dist(*f, *l) > eps_) {
                // Ends far apart and not meeting: the closing segment is missing, not misplaced;
                // moving both ends to their middle would cut off two corners.
                ring.MakeClose();
                return kKeep;
            }
            *f = join;
            *l = join;
            return kKeep;
        },
        true);
    return n;
}

int Neatener::OverlapVertices() {
    int n = 0;
    Parts([&](keloParts& part, bool) {
        const int found = NeatenOverlapVertices(part, eps_, check_);
        n += found;
        if (check_ && found) return kStop;
        if (found) FixArcRuns(part);
        return kKeep;
    });
    return n;
}

int Neatener::SinglePointLines() {
    int n = 0;
    Parts([&](keloParts& part, bool) {
        for (int k = part.GetPartsCount() - 1; k >= 0; --k)
            if (part.parts[k].pointCount == 1) {
                ++n;
                Record(part.parts[k].points[0]);
                if (check_) return kStop;
                // DeletePointsAt keeps a line's last run; a line of one lone point goes whole.
                if (part.GetPartsCount() == 1) return kRemove;
                part.DeletePointsAt(k);
            }
        return kKeep;
    });
    return n;
}

int Neatener::TwoPointFaces() {
    int n = 0;
    Parts(
        [&](keloParts& ring, bool) {
            // One arc that returns to its start is a whole circle, not a face of two points.
            if (ring.GetSegmentCount() >= 2 || (ring.bWithCurve() && std::abs(ring.GetArea()) >= eps_ * eps_))
                return kKeep;
            ++n;
            if (Point3D* p = ring.GetPointByVertexAt(0)) Record(*p);
            return check_ ? kStop : kRemove;
        },
        true);
    return n;
}

int Neatener::Curves() {
    if (!set_.discretArc && !set_.discretCurve && !set_.adjustArcMiddle) return 0;
    GlobalEps scope(eps_);
    int n = 0;
    const bool stopped = Parts([&](keloParts& part, bool) {
        for (int k = 0; k < part.GetPartsCount(); ++k) {
            keloPoints& run = *part.GetOriginalPointsAt(k);
            const int t = run.lineType;
            if (t == klLTPolyline) continue;
            const int before = n;
            if (t == klLT3PArc && set_.adjustArcMiddle) {
                keloPoints copy;
                copy = run;
                keloPoints& target = check_ ? copy : run;
                target.Normalizing();
                n += target.Adj3PArcMiddlePt(-1, kTouch);
            }
            const bool defect = (t == klLT3PArc && set_.discretArc) || (IsCurveType(t) && set_.discretCurve);
            if (defect) {
                ++n;
                if (!check_) {
                    if (set_.byDiscretising) run.Discrete(0);
                    else run.lineType = klLTPolyline;
                }
            }
            if (n != before && run.pointCount) Record(run.points[0]);
            if (check_ && n) return kStop;
        }
        return kKeep;
    });
    if (n && !stopped && !check_) Reorder();
    return n;
}

bool Neatener::Clamp(double& v, double lo, double hi) const {
    if (!(lo <= hi)) return false;  // an empty range bounds nothing
    const double old = v;
    if (!std::isfinite(v)) v = lo - 1;
    v = std::clamp(v, lo, hi);
    return v != old || std::isnan(old);
}

int Neatener::Coordinates() {
    if (!set_.hNeaten && !set_.xyNeaten && !set_.decimalOn) return 0;
    const Box& b = set_.range;
    // Past this many decimals a double prints its exact value and rounding changes nothing.
    const int places = std::min(set_.decimals, 400);
    int n = 0;
    auto round = [&](double& v) {
        if (!std::isfinite(v)) return;
        const int len = std::snprintf(nullptr, 0, "%.*lf", places, v);
        std::vector<char> buf(static_cast<size_t>(len) + 1);
        std::snprintf(buf.data(), buf.size(), "%.*lf", places, v);
        v = std::strtod(buf.data(), nullptr);
    };
    auto visit = [&](Point3D& p) {
        bool counted = false;
        if (set_.xyNeaten) {
            const bool cx = Clamp(p.x, b.minx, b.maxx);
            const bool cy = Clamp(p.y, b.miny, b.maxy);
            counted = cx || cy;
        }
        // The marker of a point without height is no height to clamp or round: rounded, it would
        // turn a plane geometry into one at height 0.
        const bool hasZ = p.z != kUnknownZ;
        if (set_.hNeaten && hasZ && Clamp(p.z, b.minz, b.maxz)) counted = true;
        if (set_.decimalOn && set_.decimals >= 0) {
            round(p.x);
            round(p.y);
            if (hasZ) round(p.z);
            counted = true;
        }
        if (counted) {
            ++n;
            Record(p);
        }
    };
    for (GmItem& it : items_) {
        if (it.kind == 1) visit(it.pt);
        auto runs = [&](keloParts& part) {
            for (int k = 0; k < part.GetPartsCount(); ++k)
                for (uint32_t i = 0; i < part.parts[k].pointCount; ++i) visit(part.parts[k].points[i]);
        };
        if (it.kind == 2) runs(it.line);
        if (it.kind == 3)
            for (int r = 0; r < it.poly.GetRingsCount(); ++r) runs(*it.poly.GetOriginalRingAt(r));
    }
    return n;
}

int Neatener::BrokenOrder() {
    int n = 0;
    Parts([&](keloParts& part, bool ring) {
        for (int k = 0; k + 1 < part.GetPartsCount(); ++k) {
            const CurveSegment &a = part.parts[k], &b = part.parts[k + 1];
            if (Dist(a.points[a.pointCount - 1], b.points[0]) <= kTouch) continue;
            ++n;
            Record(b.points[0]);
            if (check_) return kStop;
            // Chaining cannot reorder a ring, so its runs are joined where they are.
            if (!ring) return kStop;
            b.points[0] = a.points[a.pointCount - 1];
        }
        return kKeep;
    });
    if (n && !check_) Reorder();
    return n;
}

int Neatener::ZeroLength() {
    int n = 0;
    Parts([&](keloParts& part, bool) {
        int shortRuns = 0;
        for (int k = 0; k < part.GetPartsCount(); ++k)
            if (part.GetOriginalPointsAt(k)->GetPerimeter() < eps_) ++shortRuns;
        if (shortRuns == 0) return kKeep;
        const bool whole = shortRuns == part.GetPartsCount();
        if (check_) {
            if (!whole) return kKeep;
            ++n;
            Record(part.parts[0].points[0]);
            return kStop;
        }
        n += shortRuns;
        for (int k = part.GetPartsCount() - 1; k >= 0; --k)
            if (part.GetOriginalPointsAt(k)->GetPerimeter() < eps_) {
                Record(part.parts[k].points[0]);
                if (whole) break;
                part.DeletePointsAt(k);
            }
        return whole ? kRemove : kKeep;
    });
    return n;
}

// A ring whose lobes cancel (a figure eight) has no net area but is no collapsed ring: only a ring
// whose every vertex lies within eps of one line counts, the rest is left to the crossing repair.
bool Collapsed(const keloParts& ring, double eps) {
    std::vector<Point3D> v;
    ring.GetAllVertex(v);
    if (v.size() < 3) return true;
    size_t far = 0;
    for (size_t i = 1; i < v.size(); ++i)
        if (Dist(v[0], v[i]) > Dist(v[0], v[far])) far = i;
    for (const Point3D& p : v)
        if (LineDistance(p, v[0], v[far]) > eps) return false;
    return true;
}

int Neatener::ZeroArea() {
    int n = 0;
    Parts(
        [&](keloParts& ring, bool) {
            if (std::abs(ring.GetArea()) >= eps_ * eps_ || !Collapsed(ring, eps_)) return kKeep;
            ++n;
            if (Point3D* p = ring.GetPointByVertexAt(0)) Record(*p);
            return check_ ? kStop : kRemove;
        },
        true);
    return n;
}

// Polygons are re-formed from the faces of their noded rings: a face belongs to the result when
// it lies inside some polygon by the even-odd rule of that polygon's rings, and faces of the
// result that share an edge are merged so no two result polygons overlap or abut.
void Neatener::RebuildNoded() {
    std::vector<GmItem> kept, polygons;
    CLineHandler lines(eps_);
    bool anyLine = false;
    for (GmItem& it : items_) {
        if (it.kind == 1) kept.push_back(std::move(it));
        if (it.kind == 3) polygons.push_back(std::move(it));
        if (it.kind == 2) {
            for (int k = 0; k < it.line.GetPartsCount(); ++k) lines.AddLine(it.line.GetOriginalPointsAt(k));
            anyLine = true;
        }
    }
    if (anyLine) {
        lines.OrOverLines(0);
        std::vector<keloParts*> out;
        lines.CombineToParts(out, false);
        for (keloParts* p : out) {
            GmItem l;
            l.kind = 2;
            l.line = std::move(*p);
            delete p;
            kept.push_back(std::move(l));
        }
    }
    auto inside = [&](const keloPolygon& face) {
        double x = 0, y = 0, z = 0;
        if (!innerPoint(face, x, y, z, eps_, 0)) return false;
        const Point3D p{x, y, z};
        for (const GmItem& poly : polygons) {
            int crossings = 0;
            for (int r = 0; r < poly.poly.GetRingsCount(); ++r)
                crossings += poly.poly.GetOriginalRingAt(r)->PointInside(p, 0);
            if (crossings % 2) return true;
        }
        return false;
    };
    if (!polygons.empty()) {
        CKeloMakeArcPolygon faces(eps_);
        for (GmItem& poly : polygons)
            for (int r = 0; r < poly.poly.GetRingsCount(); ++r) {
                keloParts& ring = *poly.poly.GetOriginalRingAt(r);
                for (int k = 0; k < ring.GetPartsCount(); ++k) faces.AddArc(ring.GetOriginalPointsAt(k));
            }
        faces.Solve();
        std::vector<int> uses(static_cast<size_t>(faces.GetArcCount()), 0);
        for (int i = 0; i + 1 < faces.GetPolygonCount(); ++i) {
            keloPolygon face;
            faces.GetPolygon(i, face);
            if (!inside(face)) continue;
            std::vector<int> ids;
            faces.GetPolygonArcs(i, ids);
            for (int id : ids) ++uses[static_cast<size_t>(std::abs(id) - 1)];
        }
        CKeloMakeArcPolygon merged(eps_);
        for (int a = 0; a < faces.GetArcCount(); ++a)
            if (uses[static_cast<size_t>(a)] == 1) {
                keloPoints arc;
                faces.GetArc(a, arc);
                merged.AddArc(&arc);
            }
        merged.Solve();
        for (int i = 0; i + 1 < merged.GetPolygonCount(); ++i) {
            keloPolygon face;
            merged.GetPolygon(i, face);
            if (!inside(face)) continue;
            std::vector<keloPolygon> split;
            detail::SplitPinchedFace(face, eps_, split);
            for (keloPolygon& piece : split) {
                GmItem p;
                p.kind = 3;
                p.poly = std::move(piece);
                kept.push_back(std::move(p));
            }
        }
    }
    items_ = std::move(kept);
}

int Neatener::SelfIntersection() {
    if (!check_) {
        Store();
        Load();
    }
    bool crossed;
    {
        GlobalEps scope(eps_);
        crossed = IsGeometrySelfIntersect(&obj_, 0) != 0;
    }
    if (!crossed) return 0;
    Point3D where;
    if (FirstCrossing(obj_, eps_, where)) Record(where);
    if (!check_) RebuildNoded();
    return 1;
}

int Neatener::SpikesOfPart(keloParts& part, bool ring, bool& drop) {
    for (int k = 0; k < part.GetPartsCount(); ++k)
        if (IsCurveType(part.parts[k].lineType)) return 0;  // only straight pieces and arcs can be cut back
    std::vector<OwnedSeg> segs;
    for (int k = 0; k < part.GetPartsCount(); ++k) {
        keloPoints* run = part.GetOriginalPointsAt(k);
        for (int s = 0; s < run->GetSegmentCount(); ++s) {
            CsSegment v(run, s);
            OwnedSeg o;
            o.arc = v.Is3PArc();
            for (int i = 0; i < v.PtCount(); ++i) o.p[i] = v.points[i];
            segs.push_back(o);
        }
    }
    const bool closed = part.IsClosed();
    int n = 0;
    // Every repair replaces two segments by one, so the scan ends.
    for (bool found = true; found && segs.size() >= 2;) {
        found = false;
        const size_t m = segs.size();
        const size_t pairs = closed && m > 2 ? m : m - 1;
        for (size_t k = 0; k < pairs && !found; ++k) {
            const size_t next = (k + 1) % m;
            OwnedSeg &a = segs[k], &b = segs[next];
            const bool backOnLater = b.View().IsOverlapPt(a.head(), eps_) != 0;
            const bool backOnEarlier = !backOnLater && a.View().IsOverlapPt(b.tail(), eps_) != 0;
            if (!backOnLater && !backOnEarlier) continue;
            ++n;
            Record(a.tail());
            if (check_) return n;
            const OwnedSeg& keep = backOnLater ? b : a;
            OwnedSeg joined = keep.arc ? SubArc(keep, a.head(), b.tail()) : OwnedSeg{{a.head(), b.tail(), {}}, false};
            segs[k] = joined;
            segs.erase(segs.begin() + static_cast<std::ptrdiff_t>(next));
            found = true;
        }
    }
    if (!n) return 0;
    keloParts rebuilt = detail::ChainToParts(segs);
    part = std::move(rebuilt);
    NeatenOverlapVertices(part, eps_, false);
    FixArcRuns(part);
    RemoveSinglePointRuns(part);
    // A ring cut back to nothing bounds nothing.
    drop = part.GetSegmentCount() == 0 || (ring && (std::abs(part.GetArea()) < eps_ * eps_ || part.GetSegmentCount() < 2));
    return n;
}

int Neatener::Spikes() {
    int n = 0;
    Parts([&](keloParts& part, bool ring) {
        bool drop = false;
        n += SpikesOfPart(part, ring, drop);
        if (check_ && n) return kStop;
        return drop ? kRemove : kKeep;
    });
    if (check_ && !n) {
        GlobalEps scope(eps_);
        Parts([&](keloParts& part, bool) {
            if (!part.IsSelfIntersect()) return kKeep;
            ++n;
            if (part.GetPartsCount() && part.parts[0].pointCount) Record(part.parts[0].points[0]);
            return kStop;
        });
    }
    return n;
}

int Neatener::Run() {
    int result = 0;
    // 1: empty runs and parts go even when only checking.
    int empty = RemoveEmptyRuns(obj_, true);
    if (!detail::Decomposable(obj_)) return empty ? (check_ ? -7 : klNeatenEmptyPart) : 0;
    Load();
    empty += EmptyParts(true);
    if (empty) {
        // Written back at once: check-only mode drops empty parts too.
        Store();
        Load();
        if (check_) return -7;
        result |= klNeatenEmptyPart;
    }
    const bool hadParts = !items_.empty();
    auto step = [&](int (Neatener::*run)(), int bit) {
        const int found = (this->*run)();
        if (!found) return 0;
        if (check_) {
            int code = 1;
            while ((1 << (code - 1)) != bit) ++code;
            return -code;
        }
        result |= bit;
        return 0;
    };
    int code = 0;
    if ((code = step(&Neatener::OddLineTypes, klNeatenOddLineType))) return code;
    if ((code = step(&Neatener::OpenRings, klNeatenOpenRing))) return code;
    if (set_.optOverlap && (code = step(&Neatener::OverlapVertices, klNeatenOverlapVertex))) return code;
    if (set_.optSingle && (code = step(&Neatener::SinglePointLines, klNeatenSinglePointLine))) return code;
    if (set_.optTwoPointFace && (code = step(&Neatener::TwoPointFaces, klNeatenTwoPointFace))) return code;
    if (!check_ && (result & 127) && HasParts()) Reorder();
    if ((code = step(&Neatener::Curves, klNeatenCurve))) return code;
    if (!check_ && Coordinates()) result |= klNeatenCoordinate;
    if (set_.optOverlap && (code = step(&Neatener::BrokenOrder, klNeatenBrokenOrder))) return code;
    if (set_.optSingle && (code = step(&Neatener::ZeroLength, klNeatenZeroLength))) return code;
    if (set_.optTwoPointFace && (code = step(&Neatener::ZeroArea, klNeatenZeroArea))) return code;
    if ((set_.exExt & 1) && (code = step(&Neatener::SelfIntersection, klNeatenSelfIntersect))) return code;
    if ((set_.exExt & 2) && (code = step(&Neatener::Spikes, klNeatenSelfIntersect))) return code;
    if (check_) return 0;
    if (EmptyParts(false) || (hadParts && items_.empty())) result |= klNeatenEmptyObject;
    Store();
    return result;
}

}  // namespace


int CGeometryNeatenSet::GeometryNeaten(GM_Object* object) const {
    if (!object) return 1;
    return Neatener(*this, *object).Run();
}

int GetNeatenErrorInfo(int code, std::string& text, Point3D& pos) {
    static const char* const kMessages[] = {
        "奇异线型",   "面边界不闭合",  "线上重点", "有单点线", "有两点面", "有曲线或3点弧或弧中点不居中",
        "空几何体",   "线裂开",        "0长度线",  "0面积面",  "环自交或面单刺",
        "坐标区域处理, 精度对齐处理", "空几何体",
    };
    constexpr int kCount = static_cast<int>(sizeof(kMessages) / sizeof(kMessages[0]));
    if (code == 0) {
        text = KELO_GBK("无错误");
        return 0;
    }
    auto append = [&](int index) {
        if (!text.empty()) text += "\n";
        text += index >= 0 && index < kCount ? ToGbk(kMessages[index]) : KELO_GBK("未知错误类型");
    };
    if (code < 0) {
        // Only the first eleven classes have check-only codes.
        append(code >= -11 ? -code - 1 : kCount);
    } else {
        for (int bit = 0; bit < 16; ++bit)
            if (code & (1 << bit)) append(bit);
        if (code >= (1 << 16)) append(kCount);
    }
    pos = g_lastAbnormalPoint;
    return 1;
}

}  // namespace kelo
