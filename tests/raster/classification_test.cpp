// Class breaks and counts for every method, recolouring, zonal and neighbourhood statistics, each
// against values worked out by hand from the documented rules.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "raster/classification.h"
#include "raster/nodata.h"

using namespace kelo;

namespace {

using U = std::vector<uint32_t>;

TEST(Classification, MethodZeroListsDistinctValuesAndSummary) {
    const int32_t v[] = {2, 1, 999999, 1};
    U breaks{9}, counts{9, 9};
    ASSERT_EQ(Classification(v, 4, breaks, counts, 0, 0, 0), 1);
    EXPECT_EQ(breaks, (U{1, 2}));
    EXPECT_EQ(counts, (U{2, 1, 3, 2, 1, 2}));
}

TEST(Classification, EveryMethodGivesHandWorkedBreaksAndCounts) {
    // Eight values from 0 to 100 and one nodata cell.
    const std::vector<int32_t> v = {60, 0, 3, 999999, 100, 10, 40, 20, 75};
    struct Case {
        int method, classes;
        int32_t unit;
        U given, breaks, counts;
    };
    const Case cases[] = {
        {1, 3, 0, {}, {0, 34, 68}, {4, 2, 2}},                // step floor(100/3)+1
        {1, 3, 10, {}, {0, 30, 60}, {4, 1, 3}},               // rounded down to tens
        {2, 0, 30, {}, {0, 30, 60, 90}, {4, 1, 2, 1}},        // class count from the unit
        {3, 3, 0, {}, {0, 20, 75}, {3, 3, 2}},                // sorted values at 0, 3, 6
        {4, 3, 0, {}, {0, 11, 44}, {3, 2, 3}},                // (k*10/3)^2
        {4, 3, 20, {}, {0, 20, 40}, {3, 1, 4}},               // 0, 0, 40 kept a unit apart
        {5, 3, 0, {}, {0, 58, 82}, {5, 2, 1}},                // sqrt(k*10000/3)
        {6, 3, 0, {}, {0, 4, 21}, {2, 2, 4}},                 // offset -1: exp(k*ln(101)/3) - 1
        {7, 0, 0, {10, 50}, {10, 50}, {3, 3}},                // values below the first break uncounted
    };
    for (const Case& k : cases) {
        U breaks = k.given, counts{7};
        ASSERT_EQ(Classification(v.data(), static_cast<int>(v.size()), breaks, counts, k.method, k.classes, k.unit), 1)
            << "method " << k.method;
        EXPECT_EQ(breaks, k.breaks) << "method " << k.method << " unit " << k.unit;
        EXPECT_EQ(counts, k.counts) << "method " << k.method << " unit " << k.unit;
    }
}

TEST(Classification, BadInputFailsAndEmptiesCounts) {
    const int32_t one[] = {5, 999999, 999999};
    const int32_t two[] = {5, 9};
    struct Case {
        const int32_t* cells;
        int count, method, classes;
        U given;
    };
    const Case cases[] = {{one, 3, 1, 3, {}}, {nullptr, 0, 0, 0, {}}, {two, 2, 7, 0, {}},     {two, 2, 7, 0, {6, 6}},
                          {two, 2, 7, 0, {8, 2}}, {two, 2, 1, 0, {}},   {two, 2, 2, 0, {}}, {two, 2, 9, 3, {}}};
    for (const Case& k : cases) {
        U breaks = k.given, counts{1, 2};
        EXPECT_EQ(Classification(k.cells, k.count, breaks, counts, k.method, k.classes, 0), 0) << k.method;
        EXPECT_TRUE(counts.empty());
    }
}

TEST(Classification, ColoursAndRecolouring) {
    U colours;
    AutoColors(U{1, 2, 3, 4}, colours);
    EXPECT_EQ(colours, (U{128, 63 * 0x10100u + 128, 126 * 0x10100u + 128, 189 * 0x10100u + 128}));
    AutoColors(U{}, colours);
    EXPECT_TRUE(colours.empty());

    std::vector<int32_t> cells = {5, 10, 25, 30, 99, 999999, -4};
    const U breaks{10, 20, 30};
    AutoColors(breaks, colours);
    ASSERT_EQ(RecolorByClass(cells.data(), 7, breaks, colours), 1);
    const int32_t c0 = 128, c1 = 85 * 0x10100 + 128, c2 = 170 * 0x10100 + 128;
    EXPECT_EQ(cells, (std::vector<int32_t>{c0, c0, c1, c2, c2, 999999, c0}));
    EXPECT_EQ(RecolorByClass(cells.data(), 7, breaks, U{1}), 0);

    // Reclassification chains the three: two equal-interval classes over 0..9.
    std::vector<int32_t> g = {0, 3, 5, 9, 999999};
    ASSERT_EQ(Reclassification(g.data(), 5, 1, 2, 0), 1);
    const int32_t grey = 127 * 0x10100 + 128;
    EXPECT_EQ(g, (std::vector<int32_t>{128, 128, grey, grey, 999999}));
    std::vector<int32_t> lone = {4};
    EXPECT_EQ(Reclassification(lone.data(), 1, 1, 2, 0), 0);
    EXPECT_EQ(lone[0], 4);
}

TEST(ZonalStatistics, ZonesFromHighBits) {
    const int32_t v[] = {0x20001, 0x10007, 999999, 3, 0x10005};
    std::vector<ZonalStats> zones(5);
    ASSERT_EQ(ZonalStat(v, 5, zones, 16), 1);
    ASSERT_EQ(zones.size(), 3u);
    EXPECT_EQ(zones[0].zone, 0u);
    EXPECT_EQ(zones[0].count, 1u);
    EXPECT_EQ(zones[0].sum, 3);
    EXPECT_EQ(zones[0].deviation, 0);
    EXPECT_EQ(zones[1].zone, 1u);
    EXPECT_EQ(zones[1].count, 2u);
    EXPECT_EQ(zones[1].minimum, 0x10005);
    EXPECT_EQ(zones[1].maximum, 0x10007);
    EXPECT_EQ(zones[1].sum, 12);
    EXPECT_EQ(zones[1].mean, 6);
    EXPECT_DOUBLE_EQ(zones[1].deviation, std::sqrt(2.0));  // (1 + 1) / (2 - 1)
    EXPECT_EQ(zones[2].zone, 2u);
    EXPECT_EQ(zones[2].sum, 1);

    // Shift 0: every distinct value is its own zone and nothing is left in the low bits.
    const int32_t w[] = {4, 4, 9};
    ASSERT_EQ(ZonalStat(w, 3, zones, 0), 1);
    ASSERT_EQ(zones.size(), 2u);
    EXPECT_EQ(zones[0].count, 2u);
    EXPECT_EQ(zones[0].zone, 4u);
    EXPECT_EQ(zones[0].sum, 0);

    std::vector<ZonalStats> kept(1);
    kept[0].count = 77;
    EXPECT_EQ(ZonalStat(w, 1, kept, 4), 0);
    EXPECT_EQ(ZonalStat(w, 3, kept, 40), 0);
    EXPECT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].count, 77u);
}

TEST(NeighborhoodStatistics, TableOfInputs) {
    struct Out {
        int32_t maj, mino, max, min, range, mean, median, dev;
        double sum;
        int32_t variety;
    };
    struct Case {
        std::vector<int32_t> cells;
        Out want;
    };
    const Case cases[] = {
        // variance 18/4 - 4 = 0.5
        {{1, 2, 2, 3}, {2, 1, 3, 1, 2, 2, 2, 1, 8, 3}},
        // runs 1x2 5 7 9x2: smallest longest 1, smallest shortest 5; median 5 + (2 + 1) / 2
        {{5, 1, 9, 999999, 1, 9, 7}, {1, 5, 9, 1, 8, 5, 6, 3, 32, 4}},
        // even count with an odd gap; variance 14.5 - 12.25
        {{5, 2}, {2, 2, 5, 2, 3, 4, 4, 2, 7, 2}},
        {{-7}, {-7, -7, -7, -7, 0, -7, -7, 0, -7, 1}},
    };
    for (const Case& k : cases) {
        Out o{};
        ASSERT_EQ(NeighborhoodStatistics(k.cells.data(), static_cast<int>(k.cells.size()), o.maj, o.mino, o.max, o.min,
                                         o.range, o.mean, o.median, o.dev, o.sum, o.variety),
                  1);
        const Out& w = k.want;
        EXPECT_EQ(std::vector<double>({1.0 * o.maj, 1.0 * o.mino, 1.0 * o.max, 1.0 * o.min, 1.0 * o.range, 1.0 * o.mean,
                                       1.0 * o.median, 1.0 * o.dev, o.sum, 1.0 * o.variety}),
                  std::vector<double>({1.0 * w.maj, 1.0 * w.mino, 1.0 * w.max, 1.0 * w.min, 1.0 * w.range, 1.0 * w.mean,
                                       1.0 * w.median, 1.0 * w.dev, w.sum, 1.0 * w.variety}))
            << k.cells.size();
    }
    Out o{11, 11, 11, 11, 11, 11, 11, 11, 11, 11};
    const int32_t none[] = {999999, 999999};
    EXPECT_EQ(NeighborhoodStatistics(none, 2, o.maj, o.mino, o.max, o.min, o.range, o.mean, o.median, o.dev, o.sum,
                                     o.variety),
              0);
    EXPECT_EQ(o.mean, 11);
}

}  // namespace
