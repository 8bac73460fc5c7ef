// Class breaks and per-class counts, grey-level recolouring, statistics per zone (the zone packed
// in the high bits of each value) and neighbourhood statistics. Nodata cells are skipped.
#pragma once

#include <cstdint>
#include <vector>

#include "kelo_api.h"

namespace kelo {

class keloPolygon;

// Methods: 0 distinct values, 1 equal interval, 2 fixed unit, 3 quantile, 4 square-root scale,
// 5 square scale, 6 logarithmic scale, 7 the caller's breaks. Returns 1, or 0 on bad input or
// fewer than two valid values. Breaks are 32-bit values stored in the unsigned list.
KELO_API int Classification(const int32_t* cells, int count, std::vector<uint32_t>& breaks,
                            std::vector<uint32_t>& counts, int method, int classes, int32_t unit);
// Grey colours g * 0x10100 + 128, evenly spaced, one per break.
KELO_API void AutoColors(const std::vector<uint32_t>& breaks, std::vector<uint32_t>& colours);
// Replaces every valid cell by the colour of its class; 0 when there are fewer colours than breaks.
KELO_API int RecolorByClass(int32_t* cells, int count, const std::vector<uint32_t>& breaks,
                            const std::vector<uint32_t>& colours);
KELO_API int Reclassification(int32_t* cells, int count, int method, int classes, int32_t unit);

struct KELO_API ZonalStats {
    uint32_t count = 0;
    uint32_t zone = 0;
    int32_t maximum = 0;
    int32_t minimum = 0;
    double sum = 0;
    double mean = 0;
    double deviation = 0;
    // Summary of one zone's run of ascending values; sums use the bits below shift.
    void Statistics(const int32_t* sortedValues, int count, int shift);
};

// Zones are the runs of equal value >> shift (0 <= shift <= 31), ascending.
KELO_API int ZonalStat(const int32_t* cells, int count, std::vector<ZonalStats>& zones, int shift);

KELO_API int NeighborhoodStatistics(const int32_t* cells, int count, int32_t& majority, int32_t& minority,
                                    int32_t& maximum, int32_t& minimum, int32_t& range, int32_t& mean,
                                    int32_t& median, int32_t& deviation, double& sum, int32_t& variety);
KELO_API int NeighborhoodStatistics(const keloPolygon& area, const int32_t* dem, int cols, int rows, double x0,
                                    double yTop, double cellX, double cellY, double tolerance, int32_t& majority,
                                    int32_t& minority, int32_t& maximum, int32_t& minimum, int32_t& range,
                                    int32_t& mean, int32_t& median, int32_t& deviation, double& sum,
                                    int32_t& variety);

}  // namespace kelo
