// The noding pass. Vertices closer than the tolerance are merged first, so that the later tests
// can compare shared ends exactly; then candidate pairs from a grid of the segment boxes are
// classified by IntersectInfo and every contact becomes a split point on the segments it lies
// inside. A split point that is only near a segment bends it by up to the tolerance, which can
// make new contacts, so rounds repeat until one finds nothing to split. Overlaps need no
// geometry of their own: once every end lying on another segment splits it, overlapping
// stretches are equal pieces, and the mode only decides how many of each group survive.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numeric>
#include <utility>
#include <unordered_map>

#include "geometry/buckets.h"
#include "geometry/circle_arc.h"
#include "overlay/line_handler.h"
#include "platform/huge_pages.h"
#include "relations/segment_tally.h"

namespace kelo::detail {

namespace {

constexpr double kFlat = 1e-8;
constexpr int kMaxRounds = 12;

struct ArcCircle {
    double cx, cy, r, a0, sweep;
};

bool ArcOf(const OwnedSeg& s, ArcCircle& c) {
    if (!s.arc) return false;
    if (!Circle3P(s.p[0].x, s.p[0].y, s.p[1].x, s.p[1].y, s.p[2].x, s.p[2].y, c.cx, c.cy, c.r)) return false;
    auto ang = [&](const Point3D& p) { return std::atan2(p.y - c.cy, p.x - c.cx); };
    c.a0 = ang(s.p[0]);
    double toMid = ang(s.p[1]) - c.a0, toEnd = ang(s.p[2]) - c.a0;
    while (toMid < 0) toMid += 2 * M_PI;
    while (toEnd < 0) toEnd += 2 * M_PI;
    // Counter-clockwise when the middle comes before the end going counter-clockwise.
    c.sweep = toMid <= toEnd ? toEnd : toEnd - 2 * M_PI;
    return true;
}

Point3D OnArc(const ArcCircle& c, double t, double z) {
    const double a = c.a0 + t * c.sweep;
    return {c.cx + c.r * std::cos(a), c.cy + c.r * std::sin(a), z};
}

bool Near(const Point3D& a, const Point3D& b, double w) {
    const double dx = a.x - b.x, dy = a.y - b.y;
    return std::abs(dx) <= w && std::abs(dy) <= w && dx * dx + dy * dy <= w * w;
}

// Lower-left first, so that equal segments compare equal whatever their input direction.
[[gnu::always_inline]] inline void Orient(OwnedSeg& s) {
    const Point3D &h = s.head(), &t = s.tail();
    if (h.x > t.x + kFlat || (std::abs(h.x - t.x) <= kFlat && h.y > t.y)) std::swap(s.p[0], s.tail());
}

// Arcs whose points are collinear are their chords; arcs that close on themselves become two,
// the second appended to segs.
void Regularise(std::vector<OwnedSeg>& segs, size_t i, double w) {
    OwnedSeg& s = segs[i];
    if (Near(s.p[0], s.p[2], w) && !Near(s.p[0], s.p[1], w)) {
        const Point3D a = s.p[0], m = s.p[1];
        const double cx = (a.x + m.x) / 2, cy = (a.y + m.y) / 2;
        const double rx = a.x - cx, ry = a.y - cy;
        OwnedSeg second;
        second.arc = true;
        second.p[0] = m;
        second.p[1] = {cx + ry, cy - rx, a.z};
        second.p[2] = a;
        s.p[1] = {cx - ry, cy + rx, a.z};
        s.p[2] = m;
        segs.push_back(second);
        return;
    }
    ArcCircle c;
    if (!ArcOf(s, c)) {
        s.arc = false;
        s.p[1] = s.p[2];
    }
}

// The extent uc centres on, as adding every segment's box to it would make it (an empty box, of
// a segment without a finite x or y, adds nothing), without calls per straight segment.
void AddExtent(UniformCoordinate& uc, std::vector<OwnedSeg>& segs) {
    const Box none;
    double minx = uc.extent.minx, miny = uc.extent.miny, maxx = uc.extent.maxx, maxy = uc.extent.maxy;
    for (OwnedSeg& s : segs) {
        if (s.arc) [[unlikely]] {
            uc.extent.minx = minx, uc.extent.miny = miny, uc.extent.maxx = maxx, uc.extent.maxy = maxy;
            uc.Add(s.View());
            minx = uc.extent.minx, miny = uc.extent.miny, maxx = uc.extent.maxx, maxy = uc.extent.maxy;
            continue;
        }
        double x0 = none.minx, y0 = none.miny, x1 = none.maxx, y1 = none.maxy;
        for (int k = 0; k < 2; ++k) {
            const Point3D& p = s.p[k];
            if (p.x > x1) x1 = p.x;
            if (p.x < x0) x0 = p.x;
            if (p.y > y1) y1 = p.y;
            if (p.y < y0) y0 = p.y;
        }
        if (x0 > x1 || y0 > y1) continue;
        minx = std::min(minx, x0);
        miny = std::min(miny, y0);
        maxx = std::max(maxx, x1);
        maxy = std::max(maxy, y1);
    }
    uc.extent.minx = minx, uc.extent.miny = miny, uc.extent.maxx = maxx, uc.extent.maxy = maxy;
}

bool Finite(const OwnedSeg& s) {
    for (int k = 0; k < (s.arc ? 3 : 2); ++k)
        if (!std::isfinite(s.p[k].x) || !std::isfinite(s.p[k].y)) return false;
    return true;
}

// Shifts every segment by uc, regularises arcs and orients, in one pass; whether every
// coordinate is finite then.
bool ShiftAndOrient(std::vector<OwnedSeg>& segs, const UniformCoordinate& uc, double w) {
    const size_t n = segs.size();
    const double ox = uc.offsetX, oy = uc.offsetY, scale = uc.scale;
    bool finite = true;
    for (size_t i = 0; i < n; ++i) {
        OwnedSeg& s = segs[i];
        for (int k = 0; k < (s.arc ? 3 : 2); ++k) {
            s.p[k].x = (s.p[k].x + ox) * scale;
            s.p[k].y = (s.p[k].y + oy) * scale;
        }
        if (s.arc) [[unlikely]] Regularise(segs, i, w);
        Orient(segs[i]);
        finite = Finite(segs[i]) && finite;
    }
    for (size_t i = n; i < segs.size(); ++i) {
        Orient(segs[i]);
        finite = Finite(segs[i]) && finite;
    }
    return finite;
}

// A vertex or box edge with the index it came from, sorted by value without chasing pointers.
struct Keyed {
    double x, y;
    size_t i;
};

// Merges ends closer than w (transitively) onto the first of them.
bool SnapVertices(std::vector<OwnedSeg>& segs, double w) {
    const size_t n = segs.size() * 2;
    auto end = [&](size_t k) -> Point3D& { return k % 2 ? segs[k / 2].tail() : segs[k / 2].p[0]; };
    KeptVector<size_t> parent = HugeVector<size_t>(n);
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](size_t a) {
        while (parent[a] != a) a = parent[a] = parent[parent[a]];
        return a;
    };
    auto join = [&](size_t k, size_t m) {
        const size_t a = find(k), b = find(m);
        if (a != b) parent[std::max(a, b)] = std::min(a, b);
    };
    // An end at exactly the place of one of the previous segment's ends (the vertex two
    // segments of a line share) joins that end at once and stays out of the sort: whatever
    // lies near it lies as near the other. The clusters, each merged onto its first end, are
    // the same whatever order they are joined in.
    bool near = false;
    KeptVector<Keyed> order;
    ReserveHuge(order, n);
    for (size_t k = 0; k < n; ++k) {
        const Point3D& p = end(k);
        if (k >= 2) {
            const size_t prev = (k / 2 - 1) * 2;
            const Point3D &a = end(prev), &b = end(prev + 1);
            const size_t twin = a.x == p.x && a.y == p.y ? prev : b.x == p.x && b.y == p.y ? prev + 1 : n;
            if (twin < n) {
                join(k, twin);
                near = true;
                continue;
            }
        }
        order.push_back({p.x, p.y, k});
    }
    const size_t kept = order.size();
    auto test = [&](const Keyed& a, const Keyed& b) {
        const double dx = b.x - a.x, dy = b.y - a.y;
        if (std::abs(dx) > w || std::abs(dy) > w || dx * dx + dy * dy > w * w) return;
        join(a.i, b.i);
        near = true;
    };
    std::sort(order.begin(), order.end(), [](const Keyed& a, const Keyed& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    // The sweep along x compares each end with every end less than w to its right: with many
    // ends at one x (a lattice), every pair of a column. Counted first, in one pass.
    size_t work = 0;
    for (size_t k = 0, m = 0; k < kept && work <= 8 * kept + 4096; ++k) {
        m = std::max(m, k + 1);
        while (m < kept && order[m].x - order[k].x <= w) ++m;
        work += m - k - 1;
    }
    bool columns = work > 8 * kept + 4096;
    for (size_t k = 0; k < kept && columns; ++k)
        columns = std::abs(std::floor(order[k].x / (2 * w))) < 0x1p50 && !std::isnan(order[k].y);
    if (!columns) {
        for (size_t k = 0; k < kept; ++k)
            for (size_t m = k + 1; m < kept && order[m].x - order[k].x <= w; ++m) test(order[k], order[m]);
    } else {
        // Columns 2w wide: ends within w of each other lie in one column or in two neighbouring
        // ones, rounding of the column included, and each column is searched along y.
        struct InColumn {
            double column;
            Keyed end;
        };
        std::vector<InColumn> at(kept);
        for (size_t k = 0; k < kept; ++k) at[k] = {std::floor(order[k].x / (2 * w)), order[k]};
        std::sort(at.begin(), at.end(), [](const InColumn& a, const InColumn& b) {
            return a.column < b.column || (a.column == b.column && a.end.y < b.end.y);
        });
        // From k on, the first entry at or after (column, y).
        auto first = [&](size_t k, double column, double y) {
            return static_cast<size_t>(std::lower_bound(at.begin() + static_cast<std::ptrdiff_t>(k), at.end(), std::make_pair(column, y),
                                                        [](const InColumn& e, const std::pair<double, double>& c) {
                                                            return e.column < c.first || (e.column == c.first && e.end.y < c.second);
                                                        }) -
                                       at.begin());
        };
        // The y windows are wider than w so that their own rounding loses no pair.
        for (size_t k = 0; k < kept; ++k) {
            const InColumn& a = at[k];
            for (size_t m = k + 1; m < kept && at[m].column == a.column && at[m].end.y - a.end.y <= 2 * w; ++m) test(a.end, at[m].end);
            for (size_t m = first(k, a.column + 1, a.end.y - 2 * w); m < kept && at[m].column == a.column + 1 && at[m].end.y <= a.end.y + 2 * w; ++m)
                test(a.end, at[m].end);
        }
    }
    if (!near) return false;
    bool any = false;
    for (size_t k = 0; k < n; ++k) {
        const size_t r = find(k);
        if (r == k) continue;
        const Point3D& to = end(r);
        Point3D& p = end(k);
        if (p.x != to.x || p.y != to.y) {
            p.x = to.x;
            p.y = to.y;
            any = true;
        }
    }
    return any;
}

// Marks of the splitting rounds: kDirty for a segment new, cut or moved since the last round,
// kTouched for one cut or moved at any time since the first reduction of equal segments.
constexpr char kDirty = 1, kTouched = 2;

// The snapping after a round. Only ends of dirty segments can have come near another end: two
// unchanged ends were either merged or more than w apart at the last snapping. So only ends
// within w of a dirty end take part, found among the sorted dirty ends, and the clusters and
// where they go are those a snapping of every end would give, without sorting every end.
// Dirty ends at one place are looked up once: a vertex where hundreds of pieces meet would
// otherwise link every end there with every other, and a tangle has many such vertices.
void SnapNearDirty(std::vector<OwnedSeg>& segs, std::vector<char>& marks, double w) {
    auto end = [&](size_t k) -> Point3D& { return k % 2 ? segs[k / 2].tail() : segs[k / 2].p[0]; };
    std::vector<Keyed> moved;
    for (size_t s = 0; s < segs.size(); ++s)
        if (marks[s] & kDirty)
            for (size_t k : {2 * s, 2 * s + 1}) moved.push_back({end(k).x, end(k).y, k});
    if (moved.empty()) return;
    std::sort(moved.begin(), moved.end(), [](const Keyed& a, const Keyed& b) {
        return a.x < b.x || (a.x == b.x && (a.y < b.y || (a.y == b.y && a.i < b.i)));
    });
    // Places of dirty ends: the first entry of each run of equal points in moved, and its length.
    std::vector<Keyed> places;
    std::vector<size_t> first;
    for (size_t k = 0; k < moved.size(); ++k)
        if (k == 0 || moved[k].x != moved[k - 1].x || moved[k].y != moved[k - 1].y) {
            places.push_back({moved[k].x, moved[k].y, places.size()});
            first.push_back(k);
        }
    first.push_back(moved.size());
    // An end joins a place within w that holds a dirty end other than itself. Unless some end
    // joins a place it is not exactly at, every cluster lies at one place and nothing moves.
    std::vector<std::pair<size_t, size_t>> links;  // (end, place)
    bool apart = false;
    // Buckets over x with the first place of each, so that the search for an end's first place
    // at or after its x - w starts from its bucket rather than from all places.
    const size_t nb = places.size();
    const double x0 = places.front().x, width = (places.back().x - x0) / double(nb);
    const bool bucketed = width > 0 && std::isfinite(width) && nb < (size_t{1} << 32);
    auto bucket = [&](double v) { return BucketOf((v - x0) / width, nb); };
    std::vector<uint32_t> start(bucketed ? nb + 1 : 0, 0);
    if (bucketed) {
        for (const Keyed& q : places) ++start[bucket(q.x) + 1];
        for (size_t b = 0; b < nb; ++b) start[b + 1] += start[b];
    }
    for (size_t k = 0; k < 2 * segs.size(); ++k) {
        const Point3D& p = end(k);
        auto from = places.begin(), to = places.end();
        if (bucketed) {
            // Places before the bucket lie left of x - w, and those after it right of it.
            const size_t b = bucket(p.x - w);
            from = places.begin() + start[b];
            to = places.begin() + start[b + 1];
        }
        auto it = std::lower_bound(from, to, p.x - w, [](const Keyed& a, double x) { return a.x < x; });
        for (; it != places.end() && it->x <= p.x + w; ++it) {
            const double dx = it->x - p.x, dy = it->y - p.y;
            if (std::abs(dy) > w || dx * dx + dy * dy > w * w) continue;
            const size_t q = it->i;
            if (first[q + 1] - first[q] == 1 && moved[first[q]].i == k) continue;
            links.emplace_back(k, q);
            apart = apart || dx != 0 || dy != 0;
        }
    }
    if (!apart) return;
    // Nodes: the linked ends, then the places; a place joins all its dirty ends.
    std::vector<size_t> ids;
    std::vector<char> active(places.size(), 0);
    for (const auto& [k, q] : links) {
        ids.push_back(k);
        active[q] = 1;
    }
    for (size_t q = 0; q < places.size(); ++q)
        if (active[q])
            for (size_t m = first[q]; m < first[q + 1]; ++m) ids.push_back(moved[m].i);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    auto slot = [&](size_t id) { return static_cast<size_t>(std::lower_bound(ids.begin(), ids.end(), id) - ids.begin()); };
    const size_t m0 = ids.size();
    std::vector<size_t> parent(m0 + places.size());
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](size_t a) {
        while (parent[a] != a) a = parent[a] = parent[parent[a]];
        return a;
    };
    // Slots of ends are in id order and below those of places, so the smallest slot of a
    // cluster is its first end.
    auto join = [&](size_t a, size_t b) {
        const size_t ra = find(a), rb = find(b);
        if (ra != rb) parent[std::max(ra, rb)] = std::min(ra, rb);
    };
    for (const auto& [k, q] : links) join(slot(k), m0 + q);
    for (size_t q = 0; q < places.size(); ++q)
        if (active[q])
            for (size_t m = first[q]; m < first[q + 1]; ++m) join(slot(moved[m].i), m0 + q);
    for (size_t c = 0; c < m0; ++c) {
        const size_t r = find(c);
        if (r == c) continue;
        const Point3D& to = end(ids[r]);
        Point3D& p = end(ids[c]);
        if (p.x == to.x && p.y == to.y) continue;
        p.x = to.x;
        p.y = to.y;
        marks[ids[c] / 2] |= kDirty | kTouched;
    }
}

bool Degenerate(const OwnedSeg& s, double w) {
    return Near(s.head(), s.tail(), w) && (!s.arc || Near(s.head(), s.p[1], w));
}

void DropDegenerate(std::vector<OwnedSeg>& segs, double w) {
    segs.erase(std::remove_if(segs.begin(), segs.end(), [&](const OwnedSeg& s) { return Degenerate(s, w); }), segs.end());
}

// The same, keeping the dirty marks in step.
void DropDegenerate(std::vector<OwnedSeg>& segs, std::vector<char>& dirty, double w) {
    size_t k = 0;
    for (size_t i = 0; i < segs.size(); ++i)
        if (!Degenerate(segs[i], w)) {
            segs[k] = segs[i];
            dirty[k++] = dirty[i];
        }
    segs.resize(k);
    dirty.resize(k);
}

Box BoxOf(OwnedSeg& s) {
    if (s.arc) return s.View().GetBox();
    const Point3D &a = s.p[0], &b = s.p[1];
    return Box(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y));
}

void CountContact(int code) {
    SegContactTally& t = SegIntersectTally();
    auto bump = [](uint8_t& c) {
        if (c < 255) ++c;
    };
    for (int slot = 0; slot < 2; ++slot) {
        const int pos = (code >> (8 * slot)) & 15, kind = (code >> (8 * slot + 4)) & 3;
        if (kind == kSegContactEndOnEnd) {
            if (pos & kSegPosStartA) bump(t.endStart);
            if (pos & kSegPosEndA) bump(t.endEnd);
        } else if (kind == kSegContactEndOnSeg) {
            bump(t.touch);
        } else if (kind == kSegContactCross) {
            bump(t.cross);
        }
    }
    if ((code >> 14) & 3) t.overlap = 1;
}

// Parameter of p along the segment in [0, 1], or a value outside when p is not within it.
double ParamOf(const OwnedSeg& s, const ArcCircle* c, const Point3D& p) {
    if (c) {
        const double ax = s.p[0].x - c->cx, ay = s.p[0].y - c->cy, bx = p.x - c->cx, by = p.y - c->cy;
        double d = std::atan2(ax * by - ay * bx, ax * bx + ay * by);
        if (c->sweep > 0 && d < 0) d += 2 * M_PI;
        if (c->sweep < 0 && d > 0) d -= 2 * M_PI;
        return d / c->sweep;
    }
    const double dx = s.p[1].x - s.p[0].x, dy = s.p[1].y - s.p[0].y;
    return ((p.x - s.p[0].x) * dx + (p.y - s.p[0].y) * dy) / (dx * dx + dy * dy);
}

// Cuts s at the given points (those within w of its ends or of each other count once) and
// appends the pieces; returns false when nothing was cut.
bool SplitAt(const OwnedSeg& s, std::vector<Point3D>& at, double w, std::vector<OwnedSeg>& out) {
    ArcCircle circle;
    const ArcCircle* c = s.arc && ArcOf(s, circle) ? &circle : nullptr;
    std::vector<std::pair<double, Point3D>> cuts;
    for (Point3D p : at) {
        if (Near(p, s.head(), w) || Near(p, s.tail(), w)) continue;
        const double t = ParamOf(s, c, p);
        if (!(t > 0 && t < 1)) continue;
        p.z = s.head().z + t * (s.tail().z - s.head().z);
        cuts.emplace_back(t, p);
    }
    if (cuts.empty()) return false;
    std::sort(cuts.begin(), cuts.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    double prevT = 0;
    Point3D prev = s.head();
    auto piece = [&](double t, const Point3D& to) {
        OwnedSeg o;
        o.arc = c != nullptr;
        o.p[0] = prev;
        if (c) {
            o.p[1] = OnArc(*c, (prevT + t) / 2, (prev.z + to.z) / 2);
            o.p[2] = to;
        } else {
            o.p[1] = to;
        }
        out.push_back(o);
        prevT = t;
        prev = to;
    };
    for (const auto& [t, p] : cuts) {
        if (Near(p, prev, w)) continue;
        piece(t, p);
    }
    if (Near(prev, s.tail(), w)) {
        // The last cut fell next to the end: let the end itself close the last piece.
        out.back().tail() = s.tail();
    } else {
        piece(1, s.tail());
    }
    return true;
}

// The grid of segment boxes that pairs are found through. Its cells are about as large as a
// typical box, so that a pair is looked at only where both boxes are; the pair is taken in the
// cell holding the lower left corner of the boxes' common part. A sweep along x alone would pair
// every segment with all those in its column (the islands of a lake lying in one column), which
// is what the grid avoids. The few boxes spanning many cells are tested against all others.
struct PairGrid {
    struct Span {
        size_t x0, x1, y0, y1;
    };
    static constexpr size_t kBig = 64;
    double w = 0, g = 0, cell = 0;
    Box all;
    size_t nx = 0, ny = 0;
    std::vector<Span> spans;
    std::vector<size_t> big;

    // Without spans, only the long boxes are listed.
    PairGrid(const std::vector<Box>& boxes, double tolerance, bool keepSpans = true) : w(tolerance), g(tolerance / 2) {
        // Boxes grown by half of w meet when the boxes are within w.
        const size_t n = boxes.size();
        KeptVector<double> sizes = HugeVector<double>(n);
        for (size_t i = 0; i < n; ++i) {
            all.add(boxes[i]);
            sizes[i] = std::max(boxes[i].maxx - boxes[i].minx, boxes[i].maxy - boxes[i].miny);
        }
        std::nth_element(sizes.begin(), sizes.begin() + static_cast<std::ptrdiff_t>(n / 2), sizes.end());
        const double width = all.maxx - all.minx + w, height = all.maxy - all.miny + w;
        cell = std::max({2 * sizes[n / 2], 4 * w, 1e-300});
        // At most about two cells per box, however the boxes cluster.
        if (width / cell * (height / cell) > 2.0 * double(n)) cell = std::sqrt(width * height / (2.0 * double(n)));
        if (!(cell > 0) || !std::isfinite(cell) || !std::isfinite(width) || !std::isfinite(height)) cell = std::max(width, height);
        auto cells = [&](double extent) {
            return BucketOf(extent / cell, 65536) + 1;  // NaN for infinite coordinates: one cell
        };
        nx = cells(width);
        ny = cells(height);
        if (keepSpans) spans = HugeVector<Span>(n);
        for (size_t i = 0; i < n; ++i) {
            const Span s = SpanOf(boxes[i]);
            if (keepSpans) spans[i] = s;
            if (IsBig(s)) big.push_back(i);
        }
    }
    Span SpanOf(const Box& b) const { return {CellX(b.minx - g), CellX(b.maxx + g), CellY(b.miny - g), CellY(b.maxy + g)}; }
    size_t CellX(double v) const { return BucketOf((v - all.minx) / cell, nx); }
    size_t CellY(double v) const { return BucketOf((v - all.miny) / cell, ny); }
    static bool IsBig(const Span& s) { return (s.x1 - s.x0 + 1) * (s.y1 - s.y0 + 1) > kBig; }
    bool IsBig(size_t i) const { return IsBig(spans[i]); }
    bool Near(const Box& a, const Box& b) const {
        return b.minx <= a.maxx + w && b.maxx >= a.minx - w && b.miny <= a.maxy + w && b.maxy >= a.miny - w;
    }
    // The one cell in which a near pair is taken.
    size_t PairCell(const Box& a, const Box& b) const {
        return CellY(std::max(a.miny, b.miny) - g) * nx + CellX(std::max(a.minx, b.minx) - g);
    }
};

// Calls f(i, j) once for every pair of boxes within w of each other.
template <class F>
void ForEachNearPair(const std::vector<Box>& boxes, double w, F f) {
    const size_t n = boxes.size();
    if (n < 2) return;
    const PairGrid grid(boxes, w);
    const size_t nx = grid.nx, ny = grid.ny;
    if (grid.big.size() > 256) {
        // Many long segments (spokes, long thin shapes, a coarse layer over a fine one): testing
        // each against all others would grow with their count times n, so sweep along x instead.
        std::vector<Keyed> order(n);
        for (size_t i = 0; i < n; ++i) order[i] = {boxes[i].minx, 0, i};
        std::sort(order.begin(), order.end(), [](const Keyed& a, const Keyed& b) { return a.x < b.x; });
        for (size_t k = 0; k < n; ++k) {
            const Box& bi = boxes[order[k].i];
            for (size_t m = k + 1; m < n && order[m].x <= bi.maxx + w; ++m) {
                const Box& bj = boxes[order[m].i];
                if (bj.miny <= bi.maxy + w && bj.maxy >= bi.miny - w) f(order[k].i, order[m].i);
            }
        }
        return;
    }
    std::vector<uint32_t> start(nx * ny + 1, 0);
    for (size_t i = 0; i < n; ++i) {
        if (grid.IsBig(i)) continue;
        const PairGrid::Span& s = grid.spans[i];
        for (size_t y = s.y0; y <= s.y1; ++y)
            for (size_t x = s.x0; x <= s.x1; ++x) ++start[y * nx + x + 1];
    }
    for (size_t c = 0; c < nx * ny; ++c) start[c + 1] += start[c];
    std::vector<uint32_t> fill(start.begin(), start.end() - 1), items = HugeVector<uint32_t>(start.back());
    for (size_t i = 0; i < n; ++i) {
        if (grid.IsBig(i)) continue;
        const PairGrid::Span& s = grid.spans[i];
        for (size_t y = s.y0; y <= s.y1; ++y)
            for (size_t x = s.x0; x <= s.x1; ++x) items[fill[y * nx + x]++] = static_cast<uint32_t>(i);
    }
    for (size_t c = 0; c < nx * ny; ++c)
        for (uint32_t k = start[c]; k < start[c + 1]; ++k) {
            const size_t i = items[k];
            const Box& bi = boxes[i];
            for (uint32_t m = k + 1; m < start[c + 1]; ++m) {
                const size_t j = items[m];
                const Box& bj = boxes[j];
                if (grid.Near(bi, bj) && grid.PairCell(bi, bj) == c) f(i, j);
            }
        }
    std::vector<char> isBig(n, 0);
    for (size_t i : grid.big) isBig[i] = 1;
    for (size_t i : grid.big)
        for (size_t j = 0; j < n; ++j)
            if (j != i && (!isBig[j] || j > i) && grid.Near(boxes[i], boxes[j])) f(i, j);
}

// The pairs that give something, kept to be applied in the order ForEachNearPair takes pairs
// in: cell by cell of its grid, then the long boxes' pass, which takes a pair with the long box
// first, or the first of two long ones.
template <class What>
class GridOrder {
public:
    GridOrder(const PairGrid& grid, const std::vector<Box>& boxes) : m_grid(grid), m_boxes(boxes), m_isBig(boxes.size(), 0) {
        for (size_t i : grid.big) m_isBig[i] = 1;
    }
    bool IsBig(size_t i) const { return m_isBig[i] != 0; }
    void Keep(size_t i, size_t j, const What& what) {
        if (m_isBig[i] || m_isBig[j]) {
            const size_t first = m_isBig[i] && m_isBig[j] ? std::min(i, j) : m_isBig[i] ? i : j, second = i + j - first;
            m_found.push_back({m_grid.nx * m_grid.ny, static_cast<uint32_t>(first), static_cast<uint32_t>(second), what});
        } else {
            m_found.push_back({m_grid.PairCell(m_boxes[i], m_boxes[j]), static_cast<uint32_t>(std::min(i, j)),
                               static_cast<uint32_t>(std::max(i, j)), what});
        }
    }
    template <class A>
    void Replay(A apply) {
        std::sort(m_found.begin(), m_found.end());
        for (const Found& p : m_found) apply(p.i, p.j, p.what);
    }

private:
    struct Found {
        size_t cell;  // cells for the grid pass, then one past them for the long boxes
        uint32_t i, j;
        What what;
        bool operator<(const Found& o) const { return cell != o.cell ? cell < o.cell : i != o.i ? i < o.i : j < o.j; }
    };
    const PairGrid& m_grid;
    const std::vector<Box>& m_boxes;
    std::vector<char> m_isBig;
    std::vector<Found> m_found;
};

// For every pair of boxes within w of each other with a marked one: classify(i, j) tells what
// the pair gives, and apply(i, j, what) is called for those that give something, in the order
// ForEachNearPair would take the pairs (cell by cell of its grid, then the long boxes), so that
// whatever apply does comes out the same however the pairs were found. When few boxes are
// marked, only those go into a grid, every box looks up the cells it spans, and the pairs that
// give something are sorted into that order; when many are, the full pass runs.
template <class C, class A>
void ForEachNearMarkedPair(const std::vector<Box>& boxes, const std::vector<char>& marks, char mark, double w, C classify,
                           A apply) {
    const size_t n = boxes.size();
    if (n < 2) return;
    using What = decltype(classify(size_t(0), size_t(0)));
    auto direct = [&](size_t i, size_t j) {
        if (!(marks[i] & mark) && !(marks[j] & mark)) return;
        const What what = classify(i, j);
        if (what) apply(i, j, what);
    };
    std::vector<size_t> marked;
    for (size_t i = 0; i < n; ++i)
        if (marks[i] & mark) marked.push_back(i);
    if (marked.size() * 8 > n || n >= (size_t{1} << 32)) {
        ForEachNearPair(boxes, w, direct);
        return;
    }
    const PairGrid grid(boxes, w);
    if (grid.big.size() > 256) {
        ForEachNearPair(boxes, w, direct);
        return;
    }
    const size_t nx = grid.nx, cells = grid.nx * grid.ny;
    GridOrder<What> order(grid, boxes);
    auto isBig = [&](size_t i) { return order.IsBig(i); };
    auto keep = [&](size_t i, size_t j) {
        if (!(marks[i] & mark) && !(marks[j] & mark)) return;
        if (const What what = classify(i, j)) order.Keep(i, j, what);
    };
    auto isMarked = [&](size_t i) { return (marks[i] & mark) != 0; };
    // (cell, segment) of every cell a marked ordinary box spans, sorted.
    std::vector<std::pair<size_t, uint32_t>> at;
    std::vector<char> occupied(cells, 0);
    for (size_t i : marked) {
        if (isBig(i)) continue;
        const PairGrid::Span& s = grid.spans[i];
        for (size_t y = s.y0; y <= s.y1; ++y)
            for (size_t x = s.x0; x <= s.x1; ++x) {
                at.emplace_back(y * nx + x, static_cast<uint32_t>(i));
                occupied[y * nx + x] = 1;
            }
    }
    std::sort(at.begin(), at.end());
    for (size_t i = 0; i < n; ++i) {
        if (isBig(i)) continue;
        const PairGrid::Span& s = grid.spans[i];
        const Box& bi = boxes[i];
        for (size_t y = s.y0; y <= s.y1; ++y)
            for (size_t x = s.x0; x <= s.x1; ++x) {
                const size_t c = y * nx + x;
                if (!occupied[c]) continue;
                auto it = std::lower_bound(at.begin(), at.end(), std::make_pair(c, uint32_t(0)));
                for (; it != at.end() && it->first == c; ++it) {
                    const size_t j = it->second;
                    // A pair of two marked boxes is taken from its first one.
                    if (j == i || (isMarked(i) && j < i)) continue;
                    const Box& bj = boxes[j];
                    if (grid.Near(bi, bj) && grid.PairCell(bi, bj) == c) keep(i, j);
                }
            }
    }
    for (size_t i : grid.big) {
        auto take = [&](size_t j) {
            if (j != i && (!isBig(j) || j > i) && grid.Near(boxes[i], boxes[j])) keep(i, j);
        };
        if (isMarked(i)) {
            for (size_t j = 0; j < n; ++j) take(j);
        } else {
            for (size_t j : marked) take(j);
        }
    }
    order.Replay(apply);
}

// Whether two segments share an end exactly, and if so the other end of each.
bool JointOf(const OwnedSeg& a, const OwnedSeg& b, Point3D& far0, Point3D& far1) {
    auto same = [](const Point3D& p, const Point3D& q) { return p.x == q.x && p.y == q.y; };
    for (int ea = 0; ea < 2; ++ea)
        for (int eb = 0; eb < 2; ++eb) {
            const Point3D& pa = ea ? a.tail() : a.head();
            const Point3D& pb = eb ? b.tail() : b.head();
            if (!same(pa, pb)) continue;
            far0 = ea ? a.head() : a.tail();
            far1 = eb ? b.head() : b.tail();
            return true;
        }
    return false;
}

// Two straight segments joined at an end whose other ends lie well outside each other's box
// touch only at the joint: neither far end is near the other segment, so they cannot cross or
// overlap, and their contact is one end on one end, which cuts nothing.
template <class B>
bool PlainJoint(const OwnedSeg& a, const OwnedSeg& b, const B& ba, const B& bb, double w) {
    if (a.arc || b.arc) return false;
    Point3D fa, fb;
    if (!JointOf(a, b, fa, fb)) return false;
    const double m = 2 * w;
    auto outside = [m](const Point3D& p, const B& x) {
        return p.x < x.minx - m || p.x > x.maxx + m || p.y < x.miny - m || p.y > x.maxy + m;
    };
    return outside(fa, bb) && outside(fb, ba);
}

// ForEachNearMarkedPair when many boxes are marked, for segments that still come mostly in
// their input order, where a ring's consecutive segments share ends. Runs of up to kRun such
// segments are paired by their boxes, and segments only within paired runs: far fewer box tests
// than a grid of single boxes, whose cells, sized for the whole extent, hold dozens of a
// coastline's boxes. The pairs that give something are applied in ForEachNearPair's order.
template <class C, class A>
void ForEachNearPairAlongRuns(const std::vector<OwnedSeg>& segs, const std::vector<Box>& boxes, const std::vector<char>& marks,
                              char mark, double w, C classify, A apply) {
    const size_t n = boxes.size();
    if (n < 2) return;
    auto wanted = [&](size_t i, size_t j) { return ((marks[i] | marks[j]) & mark) != 0; };
    auto direct = [&](size_t i, size_t j) {
        if (!wanted(i, j)) return;
        if (auto what = classify(i, j)) apply(i, j, what);
    };
    if (n >= (size_t{1} << 32)) {
        ForEachNearPair(boxes, w, direct);
        return;
    }
    const PairGrid grid(boxes, w, false);
    if (grid.big.size() > 256) {
        ForEachNearPair(boxes, w, direct);
        return;
    }
    constexpr size_t kRun = 8;
    std::vector<uint32_t> runStart;
    std::vector<Box> runBox;
    Point3D fa, fb;
    for (size_t s = 0; s < n; ++s) {
        if (s == 0 || s - runStart.back() >= kRun || !JointOf(segs[s - 1], segs[s], fa, fb)) {
            runStart.push_back(static_cast<uint32_t>(s));
            runBox.push_back(boxes[s]);
        } else {
            runBox.back().add(boxes[s]);
        }
    }
    runStart.push_back(static_cast<uint32_t>(n));
    GridOrder<decltype(classify(size_t(0), size_t(0)))> order(grid, boxes);
    auto keep = [&](size_t i, size_t j) {
        if (!wanted(i, j) || !grid.Near(boxes[i], boxes[j])) return;
        if (const auto what = classify(i, j)) order.Keep(i, j, what);
    };
    for (size_t r = 0; r + 1 < runStart.size(); ++r)
        for (size_t i = runStart[r]; i < runStart[r + 1]; ++i)
            for (size_t j = i + 1; j < runStart[r + 1]; ++j) keep(i, j);
    // Each side's segments near the other run's box, then the pairs among those.
    std::vector<uint32_t> near0, near1;
    ForEachNearPair(runBox, w, [&](size_t r0, size_t r1) {
        near0.clear();
        near1.clear();
        for (uint32_t i = runStart[r0]; i < runStart[r0 + 1]; ++i)
            if (grid.Near(boxes[i], runBox[r1])) near0.push_back(i);
        if (near0.empty()) return;
        for (uint32_t j = runStart[r1]; j < runStart[r1 + 1]; ++j)
            if (grid.Near(boxes[j], runBox[r0])) near1.push_back(j);
        for (uint32_t i : near0)
            for (uint32_t j : near1) keep(i, j);
    });
    order.Replay(apply);
}

// One round of splitting; returns whether anything was split. Only pairs with a dirty segment
// (new, cut or moved since the last round) are classified: two unchanged segments were found
// clean before. The pieces cut in this round come back dirty, everything else clean.
// With parents, the segment each appended piece was cut from is listed in the order of pieces.
bool SplitRound(std::vector<OwnedSeg>& segs, std::vector<char>& dirty, double w, bool tally, std::vector<size_t>* parents = nullptr) {
    const size_t n = segs.size();
    KeptVector<Box> boxes = HugeVector<Box>(n);
    for (size_t i = 0; i < n; ++i) boxes[i] = BoxOf(segs[i]);
    // The cut points in the order they come, with the segment each cuts: few, where a list per
    // segment would be a large block to clear and free every round.
    std::vector<std::pair<size_t, Point3D>> cuts;
    // What a pair gives: its code and points, kept only when it cuts something.
    struct Contact {
        int code = 0;
        Point3D p[2];
        explicit operator bool() const { return code != 0; }
    };
    auto cutsAny = [](int code) {
        for (int slot = 0; slot < 2; ++slot) {
            const int kind = (code >> (8 * slot + 4)) & 3;
            if (kind == kSegContactCross || kind == kSegContactEndOnSeg) return true;
        }
        return false;
    };
    // Plain joints, most of the pairs, are left out once their counts can no longer change the
    // tally: they give nothing else.
    const SegContactTally& counts = SegIntersectTally();
    auto classify = [&](size_t i, size_t j) {
        if ((!tally || (counts.endStart == 255 && counts.endEnd == 255)) && PlainJoint(segs[i], segs[j], boxes[i], boxes[j], w))
            return Contact{};
        const size_t a = std::min(i, j), b = std::max(i, j);
        CsSegment A = segs[a].View(), B = segs[b].View();
        Contact c;
        c.code = A.IntersectInfo(B, c.p[0], c.p[1], w);
        if (c.code != 0 && tally) CountContact(c.code);  // the tally counts in any order
        if (!cutsAny(c.code)) c.code = 0;
        return c;
    };
    auto apply = [&](size_t i, size_t j, const Contact& c) {
        const size_t a = std::min(i, j), b = std::max(i, j);
        const int code = c.code;
        for (int slot = 0; slot < 2; ++slot) {
            const int pos = (code >> (8 * slot)) & 15, kind = (code >> (8 * slot + 4)) & 3;
            if (kind == kSegContactCross) {
                cuts.emplace_back(a, c.p[slot]);
                cuts.emplace_back(b, c.p[slot]);
            } else if (kind == kSegContactEndOnSeg) {
                if (pos & kSegPosStartA) cuts.emplace_back(b, segs[a].head());
                if (pos & kSegPosEndA) cuts.emplace_back(b, segs[a].tail());
                if (pos & kSegPosStartB) cuts.emplace_back(a, segs[b].head());
                if (pos & kSegPosEndB) cuts.emplace_back(a, segs[b].tail());
            }
        }
    };
    if (static_cast<size_t>(std::count_if(dirty.begin(), dirty.end(), [](char d) { return d & kDirty; })) * 8 > n) {
        ForEachNearPairAlongRuns(segs, boxes, dirty, kDirty, w, classify, apply);
    } else {
        ForEachNearMarkedPair(boxes, dirty, kDirty, w, classify, apply);
    }
    for (char& d : dirty) d &= kTouched;
    if (cuts.empty()) return false;
    // Each segment's points stay in the order they came.
    std::stable_sort(cuts.begin(), cuts.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    // The first piece of a cut segment takes its place, the others go to the end: the array is
    // not copied every round.
    bool any = false;
    std::vector<OwnedSeg> pieces;
    std::vector<Point3D> at;
    for (size_t k = 0; k < cuts.size();) {
        const size_t i = cuts[k].first;
        at.clear();
        for (; k < cuts.size() && cuts[k].first == i; ++k) at.push_back(cuts[k].second);
        pieces.clear();
        if (!SplitAt(segs[i], at, w, pieces)) continue;
        any = true;
        dirty[i] = kDirty | kTouched;
        segs[i] = pieces[0];
        if (segs.size() + pieces.size() > segs.capacity()) ReserveHuge(segs, segs.size() + segs.size() / 4 + pieces.size());
        segs.insert(segs.end(), pieces.begin() + 1, pieces.end());
        dirty.resize(segs.size(), kDirty | kTouched);
        if (parents) parents->resize(parents->size() + pieces.size() - 1, i);
    }
    return any;
}

// The order that brings equal segments together whatever their input direction (after Orient):
// kind, first end, last end, and for arcs the middle. Sorting goes through 40-byte handles that
// carry the ends, instead of whole 80-byte records: std::sort moves elements by the outcomes of
// its comparisons alone, so the handles end in exactly the order the records would, ties
// between equal segments included. Only arcs with the same ends look at their records.
struct SegHandle {
    double k[4];
    uint32_t i, arc;
};

SegHandle HandleOf(const OwnedSeg& a, size_t i) {
    return {{a.p[0].x, a.p[0].y, a.tail().x, a.tail().y}, static_cast<uint32_t>(i), uint32_t(a.arc)};
}

struct HandleLess {
    const std::vector<OwnedSeg>& segs;
    static bool Before(const SegHandle& a, const SegHandle& b, const OwnedSeg& sa, const OwnedSeg& sb) {
        if (a.arc != b.arc) return a.arc < b.arc;
        for (int c = 0; c < 4; ++c) {
            if (a.k[c] < b.k[c]) return true;
            if (b.k[c] < a.k[c]) return false;
        }
        if (!a.arc) return false;
        if (sa.p[1].x < sb.p[1].x) return true;
        if (sb.p[1].x < sa.p[1].x) return false;
        return sa.p[1].y < sb.p[1].y;
    }
    bool operator()(const SegHandle& a, const SegHandle& b) const { return Before(a, b, segs[a.i], segs[b.i]); }
};

// Whether two segments have the same kind and ends, once oriented (which the reduction would do
// to every segment anyway). After the first snapping, ends within w of each other are equal, so
// without such a pair no two segments are equal and the reduction has nothing to do. Hashed
// rather than sorted; NaN coordinates answer yes, leaving them to the sort.
bool AnyEqualEnds(std::vector<OwnedSeg>& segs) {
    size_t slots = 16;
    int shift = 60;
    while (slots < 2 * segs.size()) slots *= 2, --shift;
    const size_t mask = slots - 1;
    // A slot holds an index and 32 more bits of its hash, so that most probes that pass over
    // another segment need not read its record.
    constexpr uint64_t kEmpty = ~uint64_t(0);
    KeptVector<uint64_t> table = HugeVector<uint64_t>(slots, kEmpty);
    using Key = std::array<double, 5>;
    auto key = [&](const OwnedSeg& s) {
        // Adding zero turns -0 into 0, which compare equal.
        return Key{double(s.arc), s.head().x + 0.0, s.head().y + 0.0, s.tail().x + 0.0, s.tail().y + 0.0};
    };
    for (size_t i = 0; i < segs.size(); ++i) {
        Orient(segs[i]);
        const Key k = key(segs[i]);
        uint64_t h = 0;
        for (double v : k) {
            if (std::isnan(v)) return true;
            uint64_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            h = (h ^ bits) * 0x9E3779B97F4A7C15ull;
        }
        const uint64_t tag = h << 32;
        for (size_t slot = size_t(h >> shift);; slot = (slot + 1) & mask) {
            if (table[slot] == kEmpty) {
                table[slot] = tag | i;
                break;
            }
            if ((table[slot] >> 32) == (tag >> 32) && key(segs[table[slot] & 0xffffffffu]) == k) return true;
        }
    }
    return false;
}

// Equal within w: same kind, the same ends, and for arcs middles near each other.
bool SameSeg(const OwnedSeg& a, const OwnedSeg& b, double w) {
    return a.arc == b.arc && Near(a.head(), b.head(), w) && Near(a.tail(), b.tail(), w) && (!a.arc || Near(a.p[1], b.p[1], w));
}

// Marks in keep one of each group of equal segments among ids, or (odd) only groups of odd size.
void ReduceEqual(std::vector<OwnedSeg>& segs, const std::vector<size_t>& ids, double w, bool odd, std::vector<char>& keep) {
    KeptVector<SegHandle> keys = HugeVector<SegHandle>(ids.size());
    for (size_t k = 0; k < ids.size(); ++k) {
        Orient(segs[ids[k]]);
        keys[k] = HandleOf(segs[ids[k]], ids[k]);
    }
    std::sort(keys.begin(), keys.end(), HandleLess{segs});
    for (size_t i = 0; i < keys.size();) {
        const OwnedSeg& first = segs[keys[i].i];
        size_t j = i + 1;
        while (j < keys.size() && SameSeg(first, segs[keys[j].i], w)) ++j;
        if (!odd || (j - i) % 2 == 1) keep[keys[i].i] = 1;
        i = j;
    }
}

// Drops the segments not marked, keeping the order of the others.
void KeepMarked(std::vector<OwnedSeg>& segs, const std::vector<char>& keep) {
    size_t k = 0;
    for (size_t i = 0; i < segs.size(); ++i)
        if (keep[i]) segs[k++] = segs[i];
    segs.resize(k);
}

// The reduction after the rounds. Two segments never touched since the first reduction were not
// equal then and are not now, so only touched segments and those with the same ends as one (ends
// within w are equal after snapping) are compared; the others stay where they are.
void ReduceTouched(std::vector<OwnedSeg>& segs, const std::vector<char>& marks, double w, bool odd) {
    using Ends = std::array<double, 5>;
    auto ends = [&](const OwnedSeg& s) { return Ends{double(s.arc), s.head().x, s.head().y, s.tail().x, s.tail().y}; };
    std::vector<Ends> touched;
    for (size_t i = 0; i < segs.size(); ++i) {
        Orient(segs[i]);
        if (marks[i] & kTouched) touched.push_back(ends(segs[i]));
    }
    if (touched.empty()) return;
    std::sort(touched.begin(), touched.end());
    std::vector<size_t> ids;
    KeptVector<char> keep = HugeVector<char>(segs.size(), 1);
    for (size_t i = 0; i < segs.size(); ++i)
        if ((marks[i] & kTouched) || std::binary_search(touched.begin(), touched.end(), ends(segs[i]))) {
            ids.push_back(i);
            keep[i] = 0;
        }
    ReduceEqual(segs, ids, w, odd, keep);
    KeepMarked(segs, keep);
}

// The box split of large inputs: equal segments have equal boxes and so always fall into the
// same half, which keeps each half's reduction exact while bounding the sort.
void ReduceInBox(std::vector<OwnedSeg>& segs, const std::vector<Box>& boxes, std::vector<size_t>& ids, const Box& box,
                 size_t limit, double w, bool odd, int depth, std::vector<char>& out) {
    if (ids.size() <= limit || depth > 40) {
        ReduceEqual(segs, ids, w, odd, out);
        return;
    }
    Box first = box, second = box;
    if (box.maxy - box.miny >= box.maxx - box.minx) {
        first.maxy = second.miny = (box.miny + box.maxy) / 2;
    } else {
        first.maxx = second.minx = (box.minx + box.maxx) / 2;
    }
    std::vector<size_t> a, b;
    for (size_t i : ids) {
        const Box& sb = boxes[i];
        const bool meetsFirst = sb.minx <= first.maxx && sb.maxx >= first.minx && sb.miny <= first.maxy && sb.maxy >= first.miny;
        (meetsFirst ? a : b).push_back(i);
    }
    if (a.empty() || b.empty()) {
        ReduceEqual(segs, ids, w, odd, out);
        return;
    }
    std::vector<size_t>().swap(ids);
    ReduceInBox(segs, boxes, a, first, limit, w, odd, depth + 1, out);
    ReduceInBox(segs, boxes, b, second, limit, w, odd, depth + 1, out);
}


// The noded segments in their final order, shifted back by uc, into out (replacing it); the
// segments are numbered by forEach, which calls f(number, segment, known finite) for each, and
// rec gives a segment by its number. No two segments are equal once reduced, so any sort in the order of
// HandleLess gives the same order: here the bucket of the first x, then a sort within each
// bucket, and one copy of each record into its place, instead of a sort moving 80-byte
// records. False, changing nothing, when some key is not a finite number.
template <class ForEach, class Rec>
bool ArrangeShifted(size_t total, ForEach forEach, Rec rec, const UniformCoordinate& uc, std::vector<OwnedSeg>& out) {
    if (total >= (size_t{1} << 32)) return false;
    if (total == 0) {
        out.clear();
        return true;
    }
    struct Item {
        double x;
        uint32_t i, arc;  // arc: whether an arc among the keys, the bucket among the items
    };
    static_assert(sizeof(OwnedSeg) >= sizeof(Item) && alignof(OwnedSeg) % alignof(Item) == 0);
    // One pass over the records gathers the keys; the bucketing then runs on those alone. The
    // keys live at the end of the room for the result, which the records fill only once they
    // are no longer needed.
    KeptVector<OwnedSeg> sorted;
    ReserveHuge(sorted, total);
    Item* keys = reinterpret_cast<Item*>(reinterpret_cast<char*>(sorted.data()) + total * (sizeof(OwnedSeg) - sizeof(Item)));
    double x0 = HUGE_VAL, x1 = -HUGE_VAL;
    bool finite = true;
    size_t kept = 0;
    forEach([&](uint32_t i, const OwnedSeg& s, bool knownFinite) {
        finite = finite && (knownFinite || (std::isfinite(s.head().x) && std::isfinite(s.head().y) && std::isfinite(s.tail().x) &&
                                            std::isfinite(s.tail().y) && (!s.arc || (std::isfinite(s.p[1].x) && std::isfinite(s.p[1].y)))));
        x0 = std::min(x0, s.head().x);
        x1 = std::max(x1, s.head().x);
        keys[kept++] = {s.head().x, i, uint32_t(s.arc)};
    });
    if (!finite) return false;
    const size_t nb = std::max<size_t>(total / 2, 1);
    const double width = (x1 - x0) / double(nb);
    const bool spread = width > 0 && std::isfinite(width);
    // Straight segments come before arcs: the buckets of arcs follow those of straight ones.
    KeptVector<uint32_t> end = HugeVector<uint32_t>(2 * nb + 1, 0);
    for (size_t k = 0; k < total; ++k) {
        Item& key = keys[k];
        key.arc = static_cast<uint32_t>((key.arc ? nb : 0) + (spread ? BucketOf((key.x - x0) / width, nb) : 0));
        ++end[key.arc + 1];
    }
    for (size_t b = 0; b < 2 * nb; ++b) end[b + 1] += end[b];
    KeptVector<Item> items = HugeVector<Item>(total);
    for (size_t k = 0; k < total; ++k) items[end[keys[k].arc]++] = keys[k];
    auto less = [&](const Item& p, const Item& q) {
        if (p.x != q.x) return p.x < q.x;
        const OwnedSeg &a = rec(p.i), &b = rec(q.i);
        return HandleLess::Before(HandleOf(a, 0), HandleOf(b, 0), a, b);
    };
    for (size_t b = 0, from = 0; b < 2 * nb; from = end[b++])
        if (end[b] - from > 1) std::sort(items.begin() + static_cast<std::ptrdiff_t>(from), items.begin() + end[b], less);
    // The records are read in key order, scattered over the input: fetched some way ahead.
    const double ox = uc.offsetX, oy = uc.offsetY, scale = uc.scale;
    constexpr size_t kAhead = 12;
    for (size_t k = 0; k < total; ++k) {
        if (k + kAhead < total) {
            const char* ahead = reinterpret_cast<const char*>(&rec(items[k + kAhead].i));
            __builtin_prefetch(ahead);
            __builtin_prefetch(ahead + sizeof(OwnedSeg) - 1);
        }
        sorted.push_back(rec(items[k].i));
        OwnedSeg& s = sorted.back();
        // As UniformInv does it; a division by one changes nothing that the subtraction keeps.
        for (int c = 0; c < (s.arc ? 3 : 2); ++c) {
            if (scale == 1.0) {
                s.p[c].x = s.p[c].x - ox;
                s.p[c].y = s.p[c].y - oy;
            } else {
                s.p[c].x = s.p[c].x / scale - ox;
                s.p[c].y = s.p[c].y / scale - oy;
            }
        }
    }
    out.swap(sorted);
    return true;
}

// The noding after the first snapping, in steps that the pass over set-aside segments below
// shares. Rounds keep their marks and the tangle count between calls.
struct Rounds {
    std::vector<char> dirty;
    size_t lastDirty = 0;
    int growing = 0;
};

// The reduction of equal segments before the rounds, where the first snapping made any.
void ReduceFirst(std::vector<OwnedSeg>& segs, int mode, double eps, double w) {
    if (segs.size() < (size_t{1} << 32) && !AnyEqualEnds(segs)) return;
    Box all;
    KeptVector<Box> boxes = HugeVector<Box>(segs.size());
    for (size_t i = 0; i < segs.size(); ++i) all.add(boxes[i] = BoxOf(segs[i]));
    all.minx -= eps, all.miny -= eps, all.maxx += eps, all.maxy += eps;
    KeptVector<size_t> ids = HugeVector<size_t>(segs.size());
    std::iota(ids.begin(), ids.end(), 0);
    KeptVector<char> keep = HugeVector<char>(segs.size(), 0);
    ReduceInBox(segs, boxes, ids, all, mode == 3 ? 1000000 : 50000, w, mode == 2 || mode == 3, 0, keep);
    KeepMarked(segs, keep);
}

// The splitting of one round: whether the rounds go on to its snapping.
bool SplitStep(std::vector<OwnedSeg>& segs, Rounds& r, int round, double w, std::vector<size_t>* parents = nullptr) {
    // Without a split every vertex is where the last snapping left it.
    if (!SplitRound(segs, r.dirty, w, round == 0, parents)) return false;
    // Three vertices each within w of the opposite side but further than w from each other
    // cut each side at the opposite vertex into the other two, round after round, doubling
    // the pieces each time; rounds that settle cut fewer and fewer. Stop when the cut
    // pieces keep growing: more rounds would not settle such a tangle, only multiply it.
    const size_t nowDirty = static_cast<size_t>(std::count_if(r.dirty.begin(), r.dirty.end(), [](char d) { return d & kDirty; }));
    r.growing = round >= 2 && nowDirty > r.lastDirty ? r.growing + 1 : 0;
    r.lastDirty = nowDirty;
    return r.growing < 3;
}

void RunRounds(std::vector<OwnedSeg>& segs, Rounds& r, int from, double w) {
    for (int round = from; round < kMaxRounds && SplitStep(segs, r, round, w); ++round) {
        SnapNearDirty(segs, r.dirty, w);
        DropDegenerate(segs, r.dirty, w);
    }
}

// Segments that nothing comes near. A straight segment longer than the margin below, further
// than the margin from every other segment (from the box of an arc) except the one joined to each
// of its ends exactly, in a joint giving one end on one end and nothing else, and whose joined
// segments are such segments too, is never snapped, cut, merged or dropped by the noding:
// nothing comes within w of it as long as the other segments stay within half the margin of the
// input segment they came from, which is checked after every step. Such segments are set aside before the first snapping and only come back for the
// final order, so that large inputs whose segments meet at few places cost little more than
// their shift and sort. Where a check fails, the set-aside segments go back in their places and
// the step is done again on everything: the results are those of noding everything.
constexpr double kQuietMargin = 16;      // in tolerances
constexpr size_t kQuietFrom = 4096;      // smaller inputs are noded whole
constexpr size_t kChainMax = 16;
constexpr uint32_t kNoJoint = ~uint32_t(0), kManyJoints = kNoJoint - 1;

template <class A, class B>
bool NearBoxes(const A& a, const B& b, double m) {
    return b.minx <= a.maxx + m && b.maxx >= a.minx - m && b.miny <= a.maxy + m && b.maxy >= a.miny - m;
}

// A box without the z range and out-of-line constructors of Box, for the passes over every segment.
struct Rect {
    double minx, miny, maxx, maxy;
};

[[gnu::always_inline]] inline Rect RectOf(OwnedSeg& s) {
    if (s.arc) [[unlikely]] {
        const Box b = BoxOf(s);
        return {b.minx, b.miny, b.maxx, b.maxy};
    }
    const Point3D &a = s.p[0], &b = s.p[1];
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

double PointSegDist2(const Point3D& p, const OwnedSeg& s) {
    const Point3D &a = s.head(), &b = s.tail();
    const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
    const double t = l2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / l2, 0.0, 1.0) : 0.0;
    const double ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
    return ex * ex + ey * ey;
}

// Whether two segments may come within m of each other: always for arcs, whose boxes met.
bool StraightWithin(const OwnedSeg& s, const OwnedSeg& t, double m) {
    if (s.arc || t.arc) return true;
    auto side = [](const Point3D& a, const Point3D& b, const Point3D& c) {
        const double v = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
        return (v > 0) - (v < 0);
    };
    if (side(s.head(), s.tail(), t.head()) * side(s.head(), s.tail(), t.tail()) <= 0 &&
        side(t.head(), t.tail(), s.head()) * side(t.head(), t.tail(), s.tail()) <= 0)
        return true;
    const double m2 = m * m;
    return PointSegDist2(s.head(), t) <= m2 || PointSegDist2(s.tail(), t) <= m2 || PointSegDist2(t.head(), s) <= m2 ||
           PointSegDist2(t.tail(), s) <= m2;
}

// A joint of straight segments sharing an end exactly whose far ends come near each other's box
// (a sharp turn), where the first round finds one end on one end and nothing else.
bool LooseJoint(std::vector<OwnedSeg>& segs, size_t a, size_t b, double w) {
    Point3D fa, fb;
    if (segs[a].arc || segs[b].arc || !JointOf(segs[a], segs[b], fa, fb)) return false;
    CsSegment A = segs[std::min(a, b)].View(), B = segs[std::max(a, b)].View();
    Point3D p0, p1;
    const int code = A.IntersectInfo(B, p0, p1, w);
    return ((code >> 4) & 3) == kSegContactEndOnEnd && (code >> 8) == 0;
}

// Whether enough segments look quiet to pay for the search: the chains in a band across the
// middle of the input (by the y of their boxes' centres) are searched among those near the band,
// marking busy segments only, and the segments of the chains wholly inside it are counted as
// the search would set them aside, each with its neighbours in the input order standing for
// its joints. Inputs where most segments meet others (many small rings overlapping many
// others) would only find that out after searching everything; the marks made here are among
// those the full search makes, so where it goes on its result is unchanged.
template <class F>
bool QuietSampleFits(const std::vector<OwnedSeg>& segs, const std::vector<uint32_t>& chainStart, const std::vector<Box>& chainBox,
                     double m, const std::vector<char>& busy, F examine) {
    const size_t chains = chainBox.size();
    constexpr size_t kSampleChains = 512;
    if (chains < 4 * kSampleChains) return true;
    std::vector<double> mid(chains);
    for (size_t c = 0; c < chains; ++c) mid[c] = (chainBox[c].miny + chainBox[c].maxy) / 2;
    const size_t half = std::max(kSampleChains, chains / 32) / 2;
    std::nth_element(mid.begin(), mid.begin() + (chains / 2 - half), mid.end());
    const double y0 = mid[chains / 2 - half];
    std::nth_element(mid.begin() + (chains / 2 - half), mid.begin() + (chains / 2 + half), mid.end());
    const double y1 = mid[chains / 2 + half];
    std::vector<uint32_t> near;
    std::vector<Box> boxes;
    for (size_t c = 0; c < chains; ++c)
        if (chainBox[c].maxy >= y0 - m && chainBox[c].miny <= y1 + m) {
            near.push_back(static_cast<uint32_t>(c));
            boxes.push_back(chainBox[c]);
        }
    ForEachNearPair(boxes, m, [&](size_t i, size_t j) { examine(near[i], near[j]); });
    size_t counted = 0, quiet = 0;
    const size_t n = segs.size();
    for (uint32_t c : near) {
        if (chainBox[c].miny < y0 || chainBox[c].maxy > y1) continue;
        for (size_t i = chainStart[c]; i < chainStart[c + 1]; ++i) {
            ++counted;
            quiet += !busy[i] && (i == 0 || !busy[i - 1]) && (i + 1 == n || !busy[i + 1]);
        }
    }
    // Set-aside noding needs half the segments quiet; the estimate leaves room for the band
    // not being typical.
    return counted < 512 || 5 * quiet >= 2 * counted;
}

// Marks the segments to set aside, and gives each end the one segment joined to it there.
// Consecutive straight segments that share ends and run monotone in x and y form chains, whose
// boxes are those of their first and last vertex; only chains whose boxes come within the
// margin are searched for near segments. Within a chain, two segments not joined are further
// apart than the one between them is long, so only short segments make their neighbours busy.
// Every coordinate is finite. The ends whose joint is not plain (see PlainJoint) go to loose, in
// order; every other joint given is plain.
void FindQuiet(std::vector<OwnedSeg>& segs, double w, std::vector<char>& aside, std::vector<uint32_t>& joint,
               std::vector<size_t>& loose) {
    const size_t n = segs.size();
    const double m = kQuietMargin * w;
    std::vector<char> busy = HugeVector<char>(n, 0);
    joint = HugeVector<uint32_t>(2 * n, kNoJoint);
    auto same = [](const Point3D& p, const Point3D& q) { return p.x == q.x && p.y == q.y; };
    // Once half the segments are busy, too few can be set aside to pay: the search stops.
    size_t busyCount = 0;
    auto mark = [&](size_t i) {
        busyCount += !busy[i];
        busy[i] = 1;
    };
    auto link = [&](size_t a, int end, size_t b) {
        uint32_t& j = joint[2 * a + size_t(end)];
        j = j == kNoJoint ? static_cast<uint32_t>(b) : kManyJoints;
    };
    // Two segments with boxes within the margin: a joint that gives one end on one end and
    // nothing else links their ends, anything else makes both busy.
    // Without linking (for the sample below, whose pairs the full search meets again), only
    // the busy marks are made.
    auto meet = [&](size_t a, size_t b, const Rect& ba, const Rect& bb, bool linking = true) {
        Point3D fa, fb;
        if (!JointOf(segs[a], segs[b], fa, fb)) {
            if (StraightWithin(segs[a], segs[b], m)) mark(a), mark(b);
            return;
        }
        const bool plain = PlainJoint(segs[a], segs[b], ba, bb, w);
        if (!plain && !LooseJoint(segs, a, b, w)) {
            mark(a), mark(b);
            return;
        }
        if (!linking) return;
        const OwnedSeg &sa = segs[a], &sb = segs[b];
        const bool atHeadA = same(sa.head(), sb.head()) || same(sa.head(), sb.tail());
        const bool atHeadB = same(sb.head(), sa.head()) || same(sb.head(), sa.tail());
        link(a, atHeadA ? 0 : 1, b);
        link(b, atHeadB ? 0 : 1, a);
        if (!plain) {
            loose.push_back(2 * a + (atHeadA ? 0 : 1));
            loose.push_back(2 * b + (atHeadB ? 0 : 1));
        }
    };
    std::vector<uint32_t> chainStart;
    std::vector<Box> chainBox;
    std::vector<int8_t> chainDir;  // the sign of the x steps along a chain, 0 when none is seen
    auto sign = [](double v) { return (v > 0) - (v < 0); };
    size_t start = 0;
    bool open = false;
    Point3D first{}, last{};
    int sx = 0, sy = 0;
    auto close = [&](size_t end) {
        chainStart.push_back(static_cast<uint32_t>(start));
        chainDir.push_back(static_cast<int8_t>(end - start == 1 ? 0 : sx));
        if (end - start == 1) {
            chainBox.push_back(BoxOf(segs[start]));
        } else {
            chainBox.push_back(Box(std::min(first.x, last.x), std::min(first.y, last.y), std::max(first.x, last.x), std::max(first.y, last.y)));
        }
    };
    for (size_t i = 0; i < n; ++i) {
        OwnedSeg& s = segs[i];
        auto isShort = [m](const OwnedSeg& t) { return std::max(std::abs(t.tail().x - t.head().x), std::abs(t.tail().y - t.head().y)) <= m; };
        if (s.arc || isShort(s)) {
            // Short: near the segments two steps along its chain as well.
            mark(i);
            if (i > 0) mark(i - 1);
            if (i + 1 < n) mark(i + 1);
        }
        if (open && !s.arc && i - start < kChainMax) {
            Point3D from = first, at = last;
            int tx = sx, ty = sy;
            bool joined = true;
            if (i - start == 1) {
                const OwnedSeg& prev = segs[start];
                if (same(prev.tail(), s.head()) || same(prev.tail(), s.tail())) {
                    from = prev.head(), at = prev.tail();
                } else if (same(prev.head(), s.head()) || same(prev.head(), s.tail())) {
                    from = prev.tail(), at = prev.head();
                } else {
                    joined = false;
                }
                tx = sign(at.x - from.x), ty = sign(at.y - from.y);
            }
            if (joined && (same(s.head(), at) || same(s.tail(), at))) {
                const Point3D& to = same(s.head(), at) ? s.tail() : s.head();
                const int ux = sign(to.x - at.x), uy = sign(to.y - at.y);
                if ((ux == 0 || tx == 0 || ux == tx) && (uy == 0 || ty == 0 || uy == ty)) {
                    first = from;
                    last = to;
                    sx = tx ? tx : ux;
                    sy = ty ? ty : uy;
                    // Two segments of a monotone run longer than the margin each form a plain
                    // joint: each far end lies beyond the other's box by its length.
                    const OwnedSeg& prev = segs[i - 1];
                    if (!isShort(prev) && !isShort(s)) {
                        link(i - 1, same(prev.head(), at) ? 0 : 1, i);
                        link(i, same(s.head(), at) ? 0 : 1, i - 1);
                    } else {
                        meet(i - 1, i, RectOf(segs[i - 1]), RectOf(s));
                    }
                    continue;
                }
            }
        }
        if (i > 0) close(i);
        start = i;
        open = !s.arc;
        first = s.head(), last = s.tail();
        sx = sy = 0;
    }
    close(n);
    chainStart.push_back(static_cast<uint32_t>(n));
    std::vector<std::pair<uint32_t, Rect>> near0, near1;
    auto examine = [&](size_t c0, size_t c1, bool linking) {
        auto gather = [&](size_t c, const Box& other, std::vector<std::pair<uint32_t, Rect>>& out) {
            out.clear();
            uint32_t from = chainStart[c], to = chainStart[c + 1];
            if (const int d = chainDir[c]; d != 0 && to - from > 4) {
                // Along a chain the segments' x ranges advance: those left of the other box's x
                // range (for a chain going right) come first, those right of it last.
                const double lo = other.minx - m, hi = other.maxx + m;
                auto first = [&](uint32_t a, uint32_t b, auto past) {
                    while (a < b) {
                        const uint32_t k = a + (b - a) / 2;
                        const Rect r = RectOf(segs[k]);
                        if (past(r)) b = k;
                        else a = k + 1;
                    }
                    return a;
                };
                from = first(from, to, [&](const Rect& r) { return d > 0 ? r.maxx >= lo : r.minx <= hi; });
                to = first(from, to, [&](const Rect& r) { return d > 0 ? r.minx > hi : r.maxx < lo; });
            }
            for (uint32_t i = from; i < to; ++i) {
                const Rect b = RectOf(segs[i]);
                if (NearBoxes(b, other, m)) out.emplace_back(i, b);
            }
        };
        gather(c0, chainBox[c1], near0);
        if (near0.empty()) return;
        gather(c1, chainBox[c0], near1);
        for (const auto& [a, ba] : near0)
            for (const auto& [b, bb] : near1)
                if (NearBoxes(ba, bb, m)) meet(a, b, ba, bb, linking);
    };
    aside = HugeVector<char>(n, 0);
    if (!QuietSampleFits(segs, chainStart, chainBox, m, busy, [&](size_t c0, size_t c1) { examine(c0, c1, false); })) return;
    ForEachNearPair(chainBox, m, [&](size_t c0, size_t c1) {
        if (2 * busyCount <= n) examine(c0, c1, true);
    });
    if (2 * busyCount > n) return;
    std::sort(loose.begin(), loose.end());
    auto quiet = [&](uint32_t i) { return !busy[i] && joint[2 * size_t(i)] != kManyJoints && joint[2 * size_t(i) + 1] != kManyJoints; };
    for (size_t i = 0; i < n; ++i) {
        const uint32_t j0 = joint[2 * i], j1 = joint[2 * i + 1];
        aside[i] = quiet(static_cast<uint32_t>(i)) && (j0 == kNoJoint || quiet(j0)) && (j1 == kNoJoint || quiet(j1));
    }
}

// The segments not set aside, noded on their own, with what it takes to put the set-aside ones
// back: each one's index among all (pieces cut later come after every input segment, in the
// order they were cut, as they would among all) and the input segment it came from.
class AsideNoding {
public:
    AsideNoding(std::vector<OwnedSeg>& segs, double w) : m_segs(segs), m_w(w), m_n(segs.size()) {}

    // Sets the quiet segments aside and snaps the others; false when some coordinate is not
    // finite, too few are quiet to pay or the snapping moved something too far, leaving segs as
    // they were.
    bool Start(bool finite) {
        if (!finite || m_n < kQuietFrom || m_n >= (size_t{1} << 32) - 2) return false;
        FindQuiet(m_segs, m_w, m_aside, m_joint, m_loose);
        const size_t quiet = static_cast<size_t>(std::count(m_aside.begin(), m_aside.end(), 1));
        if (quiet < m_n / 2) return false;
        for (size_t i = 0; i < m_n; ++i) {
            if (m_aside[i]) continue;
            m_work.push_back(m_segs[i]);
            m_rank.push_back(i);
            m_origin.push_back(i);
        }
        SnapVertices(m_work, m_w);
        if (!Inside()) return false;
        Drop(nullptr);
        return true;
    }
    std::vector<OwnedSeg>& Work() { return m_work; }

    // The rounds on the segments not set aside; where a step takes something too far, that
    // round is done again on everything.
    void Run(Rounds& r) {
        struct Saved {
            std::vector<OwnedSeg> work;
            std::vector<size_t> rank;
            std::vector<size_t> origin;
            Rounds r;
        } saved;
        std::vector<size_t> parents;
        for (int round = 0; round < kMaxRounds; ++round) {
            saved = {m_work, m_rank, m_origin, r};
            parents.clear();
            const bool more = SplitStep(m_work, r, round, m_w, &parents);
            for (size_t k = 0; k < parents.size(); ++k) {
                m_rank.push_back(m_n + m_cut++);
                m_origin.push_back(m_origin[parents[k]]);
            }
            bool fits = Inside();
            if (fits && more) {
                SnapNearDirty(m_work, r.dirty, m_w);
                Drop(&r.dirty);
                fits = Inside();
            }
            if (!fits) {
                if (round == 0) SegIntersectTally() = SegContactTally{};
                m_work.swap(saved.work);
                m_rank.swap(saved.rank);
                r = std::move(saved.r);
                if (m_tallyDue) TallyJoints();
                PutBack(&r.dirty, round == 0 ? kDirty : 0);
                detail::RunRounds(m_segs, r, round, m_w);
                m_whole = true;
                return;
            }
            // The joints are counted on the way through the final order, unless noding everything
            // after all comes first.
            if (round == 0) m_tallyDue = true;
            if (!more) break;
        }
    }

    // Puts the set-aside segments back among the others, in the order noding everything would
    // have them, with the marks given for those set aside.
    void PutBack(std::vector<char>* marks, char mark) {
        KeptVector<OwnedSeg> all;
        ReserveHuge(all, m_n + m_work.size());
        std::vector<char> allMarks;
        if (marks) allMarks.reserve(m_n + m_work.size());
        size_t k = 0;
        auto take = [&](const OwnedSeg& s, char c) {
            all.push_back(s);
            if (marks) allMarks.push_back(c);
        };
        for (size_t i = 0; i < m_n; ++i) {
            if (m_aside[i]) {
                take(m_segs[i], mark);
            } else if (k < m_work.size() && m_rank[k] == i) {
                take(m_work[k], marks ? (*marks)[k] : 0);
                ++k;
            }
        }
        for (; k < m_work.size(); ++k) take(m_work[k], marks ? (*marks)[k] : 0);
        m_segs.swap(all);
        if (marks) marks->swap(allMarks);
        m_whole = true;
    }
    bool Whole() const { return m_whole; }

    // The set-aside segments and the others in their final order, shifted back by uc (see
    // ArrangeShifted).
    bool Arrange(const UniformCoordinate& uc) {
        const size_t na = m_n, total = static_cast<size_t>(std::count(m_aside.begin(), m_aside.end(), 1)) + m_work.size();
        auto rec = [&](uint32_t i) -> const OwnedSeg& { return i < na ? m_segs[i] : m_work[i - na]; };
        auto forEach = [&](auto f) {
            const bool tally = m_tallyDue;
            m_tallyDue = false;
            for (size_t i = 0; i < na; ++i)
                if (m_aside[i]) {
                    if (tally) TallyJointsOf(i);
                    f(static_cast<uint32_t>(i), m_segs[i], true);  // the search saw them finite
                }
            for (size_t k = 0; k < m_work.size(); ++k) f(static_cast<uint32_t>(na + k), m_work[k], false);
        };
        const bool arranged = ArrangeShifted(total, forEach, rec, uc, m_segs);
        if (m_tallyDue) TallyJoints();
        return arranged;
    }

    // The set-aside segments followed by the others.
    void Finish() {
        KeptVector<OwnedSeg> all;
        ReserveHuge(all, static_cast<size_t>(std::count(m_aside.begin(), m_aside.end(), 1)) + m_work.size());
        for (size_t i = 0; i < m_n; ++i)
            if (m_aside[i]) all.push_back(m_segs[i]);
        all.insert(all.end(), m_work.begin(), m_work.end());
        m_segs.swap(all);
    }

private:
    // Whether every segment lies within half the margin of the input segment it came from: of
    // the segment itself when both are straight, of its box otherwise.
    bool Inside() {
        const double half = kQuietMargin * m_w / 2;
        for (size_t k = 0; k < m_work.size(); ++k) {
            OwnedSeg& s = m_work[k];
            OwnedSeg o = m_segs[m_origin[k]];
            if (!s.arc && !o.arc) {
                if (!(PointSegDist2(s.head(), o) <= half * half && PointSegDist2(s.tail(), o) <= half * half)) return false;
                continue;
            }
            const Box b = BoxOf(s), h = BoxOf(o);
            if (!(b.minx >= h.minx - half && b.miny >= h.miny - half && b.maxx <= h.maxx + half && b.maxy <= h.maxy + half)) return false;
        }
        return true;
    }
    void Drop(std::vector<char>* marks) {
        size_t k = 0;
        for (size_t i = 0; i < m_work.size(); ++i) {
            if (Degenerate(m_work[i], m_w)) continue;
            m_work[k] = m_work[i];
            m_rank[k] = m_rank[i];
            m_origin[k] = m_origin[i];
            if (marks) (*marks)[k] = (*marks)[i];
            ++k;
        }
        m_work.resize(k);
        m_rank.resize(k);
        m_origin.resize(k);
        if (marks) marks->resize(k);
    }
    // What the first round would have counted at the joints of set-aside segments, which keep
    // their input shape until then, as do the segments joined to them.
    void TallyJoints() {
        m_tallyDue = false;
        for (size_t i = 0; i < m_n; ++i)
            if (m_aside[i]) TallyJointsOf(i);
    }
    [[gnu::always_inline]] void TallyJointsOf(size_t i) {
        const SegContactTally& t = SegIntersectTally();
        for (int end = 0; end < 2; ++end) {
            const uint32_t j = m_joint[2 * i + size_t(end)];
            if (j == kNoJoint || (m_aside[j] && j < i)) continue;
            // Plain joints give one end on one end, which a full count no longer changes. The
            // search found them plain, all but the loose ones.
            if (t.endStart == 255 && t.endEnd == 255 &&
                (!std::binary_search(m_loose.begin(), m_loose.end(), 2 * i + size_t(end)) ||
                 PlainJoint(m_segs[i], m_segs[j], RectOf(m_segs[i]), RectOf(m_segs[j]), m_w)))
                continue;
            CsSegment A = m_segs[std::min<size_t>(i, j)].View(), B = m_segs[std::max<size_t>(i, j)].View();
            Point3D p0, p1;
            if (const int code = A.IntersectInfo(B, p0, p1, m_w)) CountContact(code);
        }
    }

    std::vector<OwnedSeg>& m_segs;
    const double m_w;
    const size_t m_n;
    std::vector<char> m_aside;
    std::vector<uint32_t> m_joint;
    std::vector<size_t> m_loose;  // ends whose joint is not plain
    std::vector<OwnedSeg> m_work;
    std::vector<size_t> m_rank;
    std::vector<size_t> m_origin;
    size_t m_cut = 0;
    bool m_whole = false;
    bool m_tallyDue = false;
};

}  // namespace

void NodeSegments(std::vector<OwnedSeg>& segs, int mode, double eps) {
    SegContactTally& tally = SegIntersectTally();
    tally = SegContactTally{};
    if (segs.empty()) return;
    UniformCoordinate uc;
    AddExtent(uc, segs);
    uc.Ready();
    // A zero tolerance still has to absorb the rounding of computed crossing points.
    const double w = std::max(eps, 1e-9);
    const bool finite = ShiftAndOrient(segs, uc, w);

    Rounds rounds;
    AsideNoding aside(segs, w);
    if (aside.Start(finite)) {
        std::vector<OwnedSeg>& work = aside.Work();
        if (work.size() >= (size_t{1} << 32) || AnyEqualEnds(work)) {
            aside.PutBack(nullptr, 0);
            ReduceFirst(segs, mode, eps, w);
            rounds.dirty.assign(segs.size(), kDirty);
            RunRounds(segs, rounds, 0, w);
        } else {
            rounds.dirty.assign(work.size(), kDirty);
            aside.Run(rounds);
            if (!aside.Whole()) {
                ReduceTouched(work, rounds.dirty, w, mode == 2);
                if (aside.Arrange(uc)) return;
                aside.Finish();
            }
        }
        if (aside.Whole()) ReduceTouched(segs, rounds.dirty, w, mode == 2);
    } else {
        SnapVertices(segs, w);
        DropDegenerate(segs, w);
        ReduceFirst(segs, mode, eps, w);
        rounds.dirty.assign(segs.size(), kDirty);
        RunRounds(segs, rounds, 0, w);
        // Overlapping stretches are equal pieces now; modes 0, 1 and 3 keep one of each, mode 2 only
        // those covered an odd number of times.
        ReduceTouched(segs, rounds.dirty, w, mode == 2);
    }
    // Callers trace rings and chains from the first segment on: the order of the ends keeps their
    // results the same whatever order the rounds left the segments in.
    auto each = [&](auto f) {
        for (size_t i = 0; i < segs.size(); ++i) f(static_cast<uint32_t>(i), segs[i], false);
    };
    if (ArrangeShifted(segs.size(), each, [&](uint32_t i) -> const OwnedSeg& { return segs[i]; }, uc, segs)) return;
    std::sort(segs.begin(), segs.end(), [](const OwnedSeg& a, const OwnedSeg& b) {
        return HandleLess::Before(HandleOf(a, 0), HandleOf(b, 0), a, b);
    });

    for (OwnedSeg& s : segs) {
        CsSegment v = s.View();
        uc.UniformInv(v);
    }
}

}  // namespace kelo::detail
