#include "raster/classification.h"

#include <algorithm>
#include <cmath>

#include "raster/grid_detail.h"
#include "raster/inner_cells.h"
#include "raster/nodata.h"

namespace kelo {

namespace {

// A fixed-unit classification of a wide range would otherwise allocate without bound.
constexpr int64_t kMaxBreaks = 1 << 20;

std::vector<int32_t> SortedValid(const int32_t* cells, int count) {
    std::vector<int32_t> v;
    if (!cells || count <= 0) return v;
    const int32_t nodata = GetNodata();
    v.reserve(count);
    for (int i = 0; i < count; ++i)
        if (cells[i] != nodata) v.push_back(cells[i]);
    std::sort(v.begin(), v.end());
    return v;
}

int64_t FloorMod(int64_t a, int64_t m) { return ((a % m) + m) % m; }

bool ComputeBreaks(const std::vector<int32_t>& v, std::vector<int64_t>& b, const std::vector<uint32_t>& given,
                   int method, int n, int32_t unit) {
    const int64_t lo = v.front(), hi = v.back(), span = hi - lo;
    if (method != 2 && method != 7 && n <= 0) return false;
    switch (method) {
        case 1:
            for (int k = 0; k < n; ++k) b.push_back(lo + k * (span / n + 1));
            return true;
        case 2: {
            if (unit <= 0 || span / unit + 1 > kMaxBreaks) return false;
            for (int64_t k = 0; k <= span / unit; ++k) b.push_back(lo + k * unit);
            return true;
        }
        case 3: {
            const int64_t step = static_cast<int64_t>(v.size()) / n + 1, last = static_cast<int64_t>(v.size()) - 1;
            for (int k = 0; k < n; ++k) b.push_back(v[std::min<int64_t>(k * step, last)]);
            return true;
        }
        case 4:
            for (int k = 0; k < n; ++k) {
                double t = k * std::sqrt(static_cast<double>(span)) / n;
                b.push_back(detail::Trunc32(t * t + lo + 0.5));
            }
            return true;
        case 5:
            for (int k = 0; k < n; ++k)
                b.push_back(detail::Trunc32(std::sqrt(k * static_cast<double>(span) * span / n) + lo + 0.5));
            return true;
        case 6: {
            const int64_t off = lo - 1 < 1 ? lo - 1 : 0;
            const double l0 = std::log(static_cast<double>(lo - off)), l1 = std::log(static_cast<double>(hi - off));
            for (int k = 0; k < n; ++k) b.push_back(detail::Trunc32(std::exp(l0 + k * (l1 - l0) / n) + 0.5) + off);
            return true;
        }
        case 7:
            if (given.empty()) return false;
            for (size_t k = 0; k < given.size(); ++k) {
                int64_t x = static_cast<int32_t>(given[k]);
                if (k > 0 && x <= b.back()) return false;
                b.push_back(x);
            }
            return true;
        default:
            return false;
    }
}

}  // namespace

int Classification(const int32_t* cells, int count, std::vector<uint32_t>& breaks, std::vector<uint32_t>& counts,
                   int method, int classes, int32_t unit) {
    counts.clear();
    const std::vector<int32_t> v = SortedValid(cells, count);
    if (v.size() < 2) return 0;
    if (method == 0) {
        breaks.clear();
        uint32_t distinct = 0;
        for (size_t i = 0; i < v.size();) {
            size_t j = i;
            while (j < v.size() && v[j] == v[i]) ++j;
            breaks.push_back(static_cast<uint32_t>(v[i]));
            counts.push_back(static_cast<uint32_t>(j - i));
            ++distinct;
            i = j;
        }
        counts.push_back(static_cast<uint32_t>(v.size()));
        counts.push_back(distinct);
        counts.push_back(static_cast<uint32_t>(v.front()));
        counts.push_back(static_cast<uint32_t>(v.back()));
        return 1;
    }
    std::vector<int64_t> b;
    if (!ComputeBreaks(v, b, breaks, method, classes, unit)) return 0;
    if (unit > 1) {
        // Round down to whole units, keeping the breaks at least one unit apart.
        for (size_t k = 0; k < b.size(); ++k) {
            b[k] -= FloorMod(b[k], unit);
            if (k > 0 && b[k] < b[k - 1] + unit) b[k] = b[k - 1] + unit;
        }
    }
    breaks.assign(b.size(), 0);
    counts.assign(b.size(), 0);
    for (size_t k = 0; k < b.size(); ++k) breaks[k] = static_cast<uint32_t>(static_cast<int32_t>(b[k]));
    for (int32_t x : v) {
        auto it = std::upper_bound(b.begin(), b.end(), static_cast<int64_t>(x));
        if (it != b.begin()) ++counts[it - b.begin() - 1];
    }
    return 1;
}

void AutoColors(const std::vector<uint32_t>& breaks, std::vector<uint32_t>& colours) {
    colours.clear();
    if (breaks.empty()) return;
    const uint32_t step = static_cast<uint8_t>(255 / breaks.size());
    for (size_t k = 0; k < breaks.size(); ++k) colours.push_back(((step * k) & 255u) * 0x10100u + 128u);
}

int RecolorByClass(int32_t* cells, int count, const std::vector<uint32_t>& breaks,
                   const std::vector<uint32_t>& colours) {
    if (breaks.empty() || colours.size() < breaks.size()) return 0;
    if (!cells) return 1;
    const int32_t nodata = GetNodata();
    std::vector<int32_t> b(breaks.begin(), breaks.end());
    for (int i = 0; i < count; ++i) {
        if (cells[i] == nodata) continue;
        auto it = std::upper_bound(b.begin(), b.end(), cells[i]);
        size_t k = it == b.begin() ? 0 : static_cast<size_t>(it - b.begin() - 1);
        cells[i] = static_cast<int32_t>(colours[k]);
    }
    return 1;
}

int Reclassification(int32_t* cells, int count, int method, int classes, int32_t unit) {
    std::vector<uint32_t> breaks, counts, colours;
    if (!Classification(cells, count, breaks, counts, method, classes, unit)) return 0;
    AutoColors(breaks, colours);
    return RecolorByClass(cells, count, breaks, colours);
}

void ZonalStats::Statistics(const int32_t* sortedValues, int n, int shift) {
    *this = ZonalStats{};
    if (!sortedValues || n <= 0 || shift < 0 || shift > 31) return;
    const uint32_t mask = (1u << shift) - 1u;
    count = static_cast<uint32_t>(n);
    zone = static_cast<uint32_t>(sortedValues[0] >> shift);
    minimum = sortedValues[0];
    maximum = sortedValues[n - 1];
    for (int i = 0; i < n; ++i) sum += static_cast<uint32_t>(sortedValues[i]) & mask;
    mean = sum / n;
    if (n >= 2) {
        double ss = 0;
        for (int i = 0; i < n; ++i) {
            double d = mean - (static_cast<uint32_t>(sortedValues[i]) & mask);
            ss += d * d;
        }
        deviation = std::sqrt(ss / (n - 1));
    }
}

int ZonalStat(const int32_t* cells, int count, std::vector<ZonalStats>& zones, int shift) {
    if (shift < 0 || shift > 31) return 0;
    const std::vector<int32_t> v = SortedValid(cells, count);
    if (v.size() < 2) return 0;
    std::vector<ZonalStats> out;
    for (size_t i = 0; i < v.size();) {
        size_t j = i;
        while (j < v.size() && (v[j] >> shift) == (v[i] >> shift)) ++j;
        out.emplace_back().Statistics(v.data() + i, static_cast<int>(j - i), shift);
        i = j;
    }
    zones = std::move(out);
    return 1;
}

namespace {

int StatsOfSorted(const std::vector<int32_t>& v, int32_t& majority, int32_t& minority, int32_t& maximum,
                  int32_t& minimum, int32_t& range, int32_t& mean, int32_t& median, int32_t& deviation, double& sum,
                  int32_t& variety) {
    if (v.empty()) return 0;
    const int64_t n = static_cast<int64_t>(v.size());
    int64_t s = 0;
    double s2 = 0;
    int32_t distinct = 0, maj = v[0], mino = v[0];
    int64_t majLen = 0, minLen = INT64_MAX;
    for (int64_t i = 0; i < n;) {
        int64_t j = i;
        while (j < n && v[j] == v[i]) ++j;
        ++distinct;
        if (j - i > majLen) majLen = j - i, maj = v[i];
        if (j - i < minLen) minLen = j - i, mino = v[i];
        i = j;
    }
    for (int32_t x : v) {
        s += x;
        s2 += static_cast<double>(x) * x;
    }
    const double m = static_cast<double>(s) / n;
    maximum = v.back();
    minimum = v.front();
    range = detail::Trunc32(static_cast<double>(maximum) - minimum);
    if (n % 2) {
        median = v[n / 2];
    } else {
        const int64_t lo = v[n / 2 - 1], hi = v[n / 2];
        median = static_cast<int32_t>(lo + (hi - lo + 1) / 2);
    }
    sum = static_cast<double>(s);
    mean = static_cast<int32_t>((s + n / 2) / n);
    deviation = detail::Trunc32(std::floor(std::sqrt(std::max(0.0, s2 / n - m * m)) + 0.5));
    variety = distinct;
    majority = maj;
    minority = mino;
    return 1;
}

}  // namespace

int NeighborhoodStatistics(const int32_t* cells, int count, int32_t& majority, int32_t& minority, int32_t& maximum,
                           int32_t& minimum, int32_t& range, int32_t& mean, int32_t& median, int32_t& deviation,
                           double& sum, int32_t& variety) {
    return StatsOfSorted(SortedValid(cells, count), majority, minority, maximum, minimum, range, mean, median,
                         deviation, sum, variety);
}

int NeighborhoodStatistics(const keloPolygon& area, const int32_t* dem, int cols, int rows, double x0, double yTop,
                           double cellX, double cellY, double tolerance, int32_t& majority, int32_t& minority,
                           int32_t& maximum, int32_t& minimum, int32_t& range, int32_t& mean, int32_t& median,
                           int32_t& deviation, double& sum, int32_t& variety) {
    std::vector<uint32_t> list;
    if (!dem || !GetAllInnerPoint(area, cols, rows, x0, yTop, cellX, cellY, tolerance, list)) return 0;
    std::vector<int32_t> values;
    values.reserve(list.size() / 2);
    for (size_t k = 0; k + 1 < list.size(); k += 2) values.push_back(dem[static_cast<size_t>(list[k]) * cols + list[k + 1]]);
    return StatsOfSorted(SortedValid(values.data(), static_cast<int>(values.size())), majority, minority, maximum,
                         minimum, range, mean, median, deviation, sum, variety);
}

}  // namespace kelo
