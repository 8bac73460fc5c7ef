// The numbered cell grid: its configuration text, the numbering at and beyond the grid's ends,
// and which cells a geometry is found in.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "geometry/geometry_object.h"
#include "relations/hide_index.h"

using namespace kelo;

namespace {

CKeloHideIndexBase UnitGrid() {
    CKeloHideIndexBase grid;
    grid.Create(0, 0, 1, 1, 1000);
    return grid;
}

std::vector<uint32_t> CellsOf(const CKeloHideIndexBase& grid, const GM_Object& g) {
    CKeloIds ids;
    grid.GetCellIds(&g, ids);
    return ids.GetData();
}

}  // namespace

TEST(CellGrid, LayerMemoSetsOriginAndScaledCellSize) {
    CKeloHideIndexBase grid;
    EXPECT_EQ(grid.CreateFromLayerMemo("0#10#500#0#10#300#2000#ignored#7"), 1);
    EXPECT_DOUBLE_EQ(grid.GetCellWidth(), 20);
    EXPECT_DOUBLE_EQ(grid.GetCellHeight(), 20);
    EXPECT_DOUBLE_EQ(grid.GetOriginX(), 500);
    EXPECT_DOUBLE_EQ(grid.GetOriginY(), 300);
    EXPECT_EQ(grid.GetCellId(500, 300), 10001u);

    // Non-numbers read as 0, so the scale and with it the cell sizes vanish.
    EXPECT_EQ(grid.CreateFromLayerMemo("x#abc#1#"), 1);
    EXPECT_DOUBLE_EQ(grid.GetOriginX(), 1);
    EXPECT_DOUBLE_EQ(grid.GetCellWidth(), 0);
    EXPECT_EQ(grid.GetCellId(2, 0), 9999u);  // every point still gets a cell
    EXPECT_EQ(grid.CreateFromLayerMemo(nullptr), 1);
}

TEST(CellGrid, NumberingAtTheEnds) {
    CKeloHideIndexBase grid;
    grid.Create(500, 300, 20, 10, 1000);
    struct Case {
        double x, y;
        uint32_t id;
    } cases[] = {
        {499, 299, 0},                        // left of and below the origin
        {500, 300, 10001},                    // the origin opens cell (1, 1)
        {519.999, 309.999, 10001},
        {520, 310, 20002},
        {-1e9, 305, 10000},                   // column 0 gathers all that lies left
        {500 + 9997 * 20 + 1, 300, 10000 + 9998},
        {500 + 9998 * 20, 300, 10000 + 9999},  // 9998 steps onward is the last column
        {1e12, 1e12, 99999999},
    };
    for (const Case& c : cases) EXPECT_EQ(grid.GetCellId(c.x, c.y), c.id) << c.x << ", " << c.y;
}

TEST(CellGrid, CellBoxesFollowTheNumbering) {
    CKeloHideIndexBase grid;
    grid.Create(500, 300, 20, 10, 1000);
    Box b = grid.GetCellBox(0);
    EXPECT_DOUBLE_EQ(b.minx, 500 - 9999 * 20.0);
    b = grid.GetCellBox(99999999);
    EXPECT_DOUBLE_EQ(b.minx, 500 + 9999 * 20.0);
    EXPECT_DOUBLE_EQ(b.maxx, 500 + 2 * 9999 * 20.0);
    EXPECT_DOUBLE_EQ(b.miny, 300 + 9999 * 10.0);

    std::mt19937 g(2);
    std::uniform_real_distribution<double> x(500, 500 + 9998 * 20), y(300, 300 + 9998 * 10);
    for (int k = 0; k < 1000; ++k) {
        double px = x(g), py = y(g);
        Box cell = grid.GetCellBox(grid.GetCellId(px, py));
        EXPECT_TRUE(cell.minx <= px && px < cell.maxx && cell.miny <= py && py < cell.maxy) << px << ", " << py;
    }
}

TEST(CellGrid, BoxCellsSpanCornerToCorner) {
    CKeloHideIndexBase grid = UnitGrid();
    CKeloIds ids;
    Box box(0.5, 1.5, 2.5, 2.5);
    EXPECT_EQ(grid.GetCellIds(&box, ids), 6);
    EXPECT_EQ(ids.GetData(), (std::vector<uint32_t>{20001, 20002, 20003, 30001, 30002, 30003}));
    Box straddle(-0.5, -0.5, 0.5, 0.5);  // cell 0 is never listed
    EXPECT_EQ(grid.GetCellIds(&straddle, ids), 3);
    EXPECT_EQ(grid.GetCellIds(static_cast<const Box*>(nullptr), ids), 0);
}

TEST(CellGrid, LineCellsAreTheCellsItPassesThrough) {
    CKeloHideIndexBase grid = UnitGrid();
    std::mt19937 g(9);
    std::uniform_real_distribution<double> pos(0.1, 7.9);
    for (int k = 0; k < 40; ++k) {
        Point3D a{pos(g), pos(g), 0}, b{pos(g), pos(g), 0};
        GM_Object line;
        line.Create(a, b, klLTPolyline);
        // Dense sampling away from cell edges names every cell the segment enters.
        std::set<uint32_t> want;
        for (int s = 0; s <= 20000; ++s) {
            double t = s / 20000.0, x = a.x + t * (b.x - a.x), y = a.y + t * (b.y - a.y);
            if (std::fabs(x - std::round(x)) < 1e-3 || std::fabs(y - std::round(y)) < 1e-3) continue;
            want.insert(grid.GetCellId(x, y));
        }
        std::vector<uint32_t> got = CellsOf(grid, line);
        // A cell only clipped at a corner may escape the samples, never the other way round.
        EXPECT_TRUE(std::includes(got.begin(), got.end(), want.begin(), want.end()));
        EXPECT_LE(got.size(), want.size() + 2);
    }
}

TEST(CellGrid, AreasIncludeTheirInteriorCellsAndGrazedCellsAreSkipped) {
    CKeloHideIndexBase grid = UnitGrid();
    std::vector<Point3D> ring{{0.5, 0.5, 0}, {4.5, 0.5, 0}, {4.5, 4.5, 0}, {0.5, 4.5, 0}};
    GM_Object polygon, outline;
    std::vector<Point3D> pts = ring;
    polygon.Create(pts, 1, klLTPolyline);
    pts = ring;
    pts.push_back(ring[0]);
    outline.Create(pts, 0, klLTPolyline);
    EXPECT_EQ(CellsOf(grid, polygon).size(), 25u);
    EXPECT_EQ(CellsOf(grid, outline).size(), 16u);  // no interior without an area

    // Starting 5e-9 short of a cell edge does not count as entering that cell.
    GM_Object line;
    line.Create(Point3D{1 - 5e-9, 0.5, 0}, Point3D{3.5, 0.5, 0}, klLTPolyline);
    EXPECT_EQ(CellsOf(grid, line), (std::vector<uint32_t>{10002, 10003, 10004}));

    GM_Object point(Point3D{2.5, 3.5, 0}), outside(Point3D{-2, -2, 0});
    EXPECT_EQ(CellsOf(grid, point), (std::vector<uint32_t>{40003}));
    EXPECT_TRUE(CellsOf(grid, outside).empty());
}
