// Point location and boundary contact for an area made of straight runs only, read from the
// record's own point arrays. It answers exactly what the relation engine's object index answers
// for such an area (the same segments, with the same repeated-point cleaning, the same per-ring
// logic for outer rings and holes) without copying every ring into a segment list, boxing it and
// sorting bands: on a million-vertex operand those copies cost more than the overlay's queries.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/box.h"
#include "geometry/records.h"

namespace kelo {

class CStraightAreaIndex {
public:
    // g is read, never changed, and must outlive the index. Polygons and multipolygons only.
    // Only the rings' boxes are found here; the segment bands are built on the first single
    // query, since a few points located at once need none (WhereAll).
    explicit CStraightAreaIndex(const WKBGeometry& g);

    // 2 inside, 1 within tol of the boundary, 0 outside.
    int Where(const Point3D& p, double tol) const;
    // Where for each point, by one pass over the rings when the bands are not built: for a few
    // hundred points on a million segments that costs less than building them.
    void WhereAll(const std::vector<Point3D>& points, double tol, std::vector<int>& out) const;
    // Whether a boundary segment of this area and one of the other come within tol.
    bool Meets(const CStraightAreaIndex& other, double tol) const;
    // True when the boundaries certainly meet, found without the bands: a ring of this area has a
    // vertex inside the other area and one beyond the other's box, and every ring of the other
    // is closed, so the ring crosses the other's boundary between the two. False says nothing.
    bool SurelyMeets(const CStraightAreaIndex& other, double tol) const;
    // The box of all the record's points, as the record itself finds it; false (box untouched)
    // when a point is not finite.
    bool PointBox(Box& box) const;
    // How many of the record's points lie outside w (points that are not finite count as inside),
    // and how many points there are.
    size_t CountOutside(const Box& w, size_t& all) const;

private:
    struct Seg {
        const Point3D *a, *b;
        uint32_t ring;
    };
    struct Ring {
        Box box;
        uint32_t polygon;
        bool counts;  // has segments: rings without are left out of point location
        // One run whose segments all have finite ends: a chain without gaps. Closed: its last
        // point is its first.
        bool chain;
        bool closed = false;
        const Point3D *first = nullptr, *last = nullptr;
    };
    struct Polygon {
        uint32_t first, count;  // its rings; the first is the outer one
        bool area;              // an outer ring with finite segments
    };

    // A stretch of up to kBlockPoints consecutive points of one run and their box: the one-pass
    // queries step over stretches that no query point comes near, reading a few blocks instead
    // of a million points. The walk over a block resumes at the point kept before it.
    static constexpr uint32_t kBlockPoints = 128;
    struct Block {
        const Point3D* points;  // the run's
        const Point3D* last;    // the point kept before the block; null at the run's start
        const Point3D* tail;    // the last point kept in it
        uint32_t begin, end;    // the run's points begin to end
        uint32_t ring;
        Box box;      // of those points, when all are finite
        bool finite;  // every point has finite x and y
    };

    // Each segment as the relation index takes it: f(a, b, ring); f returns true to stop.
    template <class F>
    bool ForEachSeg(F&& f) const;
    template <class F>
    bool ForEachSegOf(const Block& block, F&& f) const;
    void AddPolygon(const WKBPolygon& p);
    void BuildBands() const;
    Box SegBox(const Seg& s) const;
    std::pair<size_t, size_t> Bands(double y0, double y1) const;
    // The answer from the states of the rings touched, in ring order.
    int Decide(const Point3D& p, const uint8_t* state, const std::vector<uint32_t>& touched) const;

    const WKBGeometry& m_geom;
    mutable bool m_built = false;

    std::vector<Block> m_blocks;
    std::vector<Ring> m_rings;
    std::vector<Polygon> m_polygons;
    Box m_box;
    size_t m_segCount = 0;  // segments with finite ends
    // Segments by horizontal band: band k lists m_items[m_start[k]] to m_items[m_start[k + 1]].
    mutable std::vector<Seg> m_segs;
    mutable double m_y0 = 0, m_h = 1;
    mutable size_t m_count = 0;
    mutable std::vector<uint32_t> m_start, m_items;
    // Per query: the rings touched and, for each, what the query found.
    static constexpr uint8_t kListed = 1, kNear = 2, kOdd = 4;
    mutable std::vector<uint8_t> m_state;
    mutable std::vector<uint32_t> m_touched;
};

}  // namespace kelo
