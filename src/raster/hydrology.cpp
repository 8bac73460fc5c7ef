#include "raster/hydrology.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <functional>
#include <limits>
#include <memory>
#include <queue>
#include <vector>

#include "raster/grid_detail.h"

namespace kelo {

namespace {

using Owned = std::unique_ptr<int32_t[]>;

// Downstream markers beside real cell indexes; grids must stay below them.
constexpr uint32_t kSink = 0xFFFFFFFDu;  // code 0: the water stays in the cell
constexpr uint32_t kOut = 0xFFFFFFFEu;   // leaves across the grid edge or into a nodata cell
constexpr uint32_t kVoid = 0xFFFFFFFFu;  // a nodata cell, outside the drainage
constexpr double kSqrt2 = 1.4142135623730951;

// Neighbour k of the first set direction of each 8-bit code, -1 for 0.
constexpr std::array<int8_t, 256> kFirstK = [] {
    std::array<int8_t, 256> t{};
    for (int code = 0; code < 256; ++code) {
        t[code] = -1;
        for (int k = 0; k < 8; ++k)
            if (code & kFlowCode[k]) {
                t[code] = static_cast<int8_t>(k);
                break;
            }
    }
    return t;
}();

inline int FirstK(int32_t code) { return code > 0 ? kFirstK[code & 0xFF] : -1; }

bool Usable(const int32_t* dem, int cols, int rows) {
    if (!dem || cols <= 0 || rows <= 0) return false;
    // The framed grid's indexes share 32 bits with the markers above.
    return (static_cast<uint64_t>(cols) + 2) * (static_cast<uint64_t>(rows) + 2) < kSink;
}

bool Fillable(int cols, int rows) { return cols >= kMinFillSize && rows >= kMinFillSize && cols <= kMaxFillCols; }

// The grid inside a one-cell frame of nodata, so that neighbour reads need no bounds test and the
// grid edge behaves like any nodata cell: water leaves there.
struct Framed {
    Framed(const int32_t* dem, int cols_, int rows_)
        : cols(cols_), rows(rows_), stride(static_cast<size_t>(cols_) + 2), nodata(GetNodata()),
          size(stride * (static_cast<size_t>(rows_) + 2)), z(new int32_t[size]) {
        int32_t* p = z.get();
        std::fill(p, p + Cell(0, 0), nodata);
        for (int r = 0; r < rows; ++r) {
            std::copy(dem + static_cast<size_t>(r) * cols, dem + static_cast<size_t>(r + 1) * cols, p + Cell(r, 0));
            std::fill(p + Cell(r, cols), p + Cell(r + 1, 0), nodata);
        }
        std::fill(p + Cell(rows, 0), p + size, nodata);
        for (int k = 0; k < 8; ++k) off[k] = kFlowDr[k] * static_cast<ptrdiff_t>(stride) + kFlowDc[k];
    }
    size_t Cell(int r, int c) const { return (static_cast<size_t>(r) + 1) * stride + c + 1; }

    int cols, rows;
    size_t stride;
    int32_t nodata;
    size_t size;
    std::unique_ptr<int32_t[]> z;
    ptrdiff_t off[8];
};

// Open cells by height. Heights within a modest range get one list per height, threaded through
// the cells (each cell is opened once), so taking the lowest is a step of a level pointer that
// only moves up, as the flood never opens a cell below its current level. Wider ranges use a heap.
class OpenCells {
public:
    OpenCells(const int32_t* z, size_t size, int32_t nodata) {
        int64_t lo = std::numeric_limits<int64_t>::max(), hi = std::numeric_limits<int64_t>::min();
        for (size_t i = 0; i < size; ++i)
            if (z[i] != nodata) lo = std::min<int64_t>(lo, z[i]), hi = std::max<int64_t>(hi, z[i]);
        if (lo <= hi && hi - lo < std::max<int64_t>(static_cast<int64_t>(size), 1 << 16)) {
            lo_ = static_cast<int32_t>(lo);
            levels_.resize(static_cast<size_t>(hi - lo + 1));
            level_ = levels_.size();
        }
    }
    void Push(int32_t h, size_t i) {
        if (levels_.empty()) {
            heap_.push((static_cast<uint64_t>(static_cast<uint32_t>(h) ^ 0x80000000u) << 32) | static_cast<uint32_t>(i));
            return;
        }
        const size_t l = static_cast<size_t>(static_cast<int64_t>(h) - lo_);
        levels_[l].push_back(static_cast<uint32_t>(i));
        level_ = std::min(level_, l);
    }
    bool Pop(size_t& i) {
        if (levels_.empty()) {
            if (heap_.empty()) return false;
            i = static_cast<uint32_t>(heap_.top());
            heap_.pop();
            return true;
        }
        while (level_ < levels_.size() && levels_[level_].empty()) ++level_;
        if (level_ == levels_.size()) return false;
        i = levels_[level_].back();
        levels_[level_].pop_back();
        return true;
    }

private:
    int32_t lo_ = 0;
    size_t level_ = 0;
    std::vector<std::vector<uint32_t>> levels_;
    std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<uint64_t>> heap_;
};

// Priority flood. Cells beside the frame or a nodata cell start the flood at their own height. The
// lowest open cell is taken next; its lower unvisited neighbours are flooded up to its height
// (plain stack, same level), and higher neighbours climb: a rising cell with no lower unvisited
// neighbour keeps its height and passes the climb on without opening, so only cells at the rim of
// an undecided depression wait in the open set.
void Fill(Framed& g) {
    int32_t* z = g.z.get();
    const int32_t nodata = g.nodata;
    std::unique_ptr<uint8_t[]> closed(new uint8_t[g.size]);
    for (size_t i = 0; i < g.size; ++i) closed[i] = z[i] == nodata;
    OpenCells open(z, g.size, nodata);
    auto seed = [&](size_t i) {
        if (closed[i]) return;
        closed[i] = 1;
        open.Push(z[i], i);
    };
    for (int c = 0; c < g.cols; ++c) {
        seed(g.Cell(0, c));
        seed(g.Cell(g.rows - 1, c));
    }
    for (int r = 0; r < g.rows; ++r) {
        seed(g.Cell(r, 0));
        seed(g.Cell(r, g.cols - 1));
    }
    for (int r = 0; r < g.rows; ++r)
        for (int c = 0; c < g.cols; ++c) {
            const size_t i = g.Cell(r, c);
            if (z[i] == nodata)
                for (ptrdiff_t o : g.off) seed(i + o);
        }

    std::vector<uint32_t> flood, climb;
    auto spread = [&](size_t from, int32_t level) {
        for (ptrdiff_t o : g.off) {
            const size_t n = from + o;
            if (closed[n]) continue;
            closed[n] = 1;
            if (z[n] <= level) {
                z[n] = level;
                flood.push_back(static_cast<uint32_t>(n));
            } else {
                climb.push_back(static_cast<uint32_t>(n));
            }
        }
    };
    for (size_t c; open.Pop(c);) {
        const int32_t level = z[c];
        spread(c, level);
        while (!flood.empty()) {
            const size_t d = flood.back();
            flood.pop_back();
            spread(d, level);
        }
        while (!climb.empty()) {
            const size_t t = climb.back();
            climb.pop_back();
            const int32_t h = z[t];
            size_t up[8];
            int ups = 0;
            bool lowerOpen = false;
            for (ptrdiff_t o : g.off) {
                if (closed[t + o]) continue;
                if (z[t + o] < h) {
                    lowerOpen = true;
                    break;
                }
                up[ups++] = t + o;
            }
            if (lowerOpen) {
                open.Push(h, t);
                continue;
            }
            for (int k = 0; k < ups; ++k) {
                closed[up[k]] = 1;
                climb.push_back(static_cast<uint32_t>(up[k]));
            }
        }
    }
}

Owned Unframe(const Framed& g) {
    Owned out(detail::NewGrid(g.cols, g.rows));
    for (int r = 0; r < g.rows; ++r)
        std::copy(&g.z[g.Cell(r, 0)], &g.z[g.Cell(r, 0)] + g.cols, out.get() + static_cast<size_t>(r) * g.cols);
    return out;
}

Framed FilledFramed(const int32_t* dem, int cols, int rows) {
    Framed g(dem, cols, rows);
    if (Fillable(cols, rows)) Fill(g);
    return g;
}

// Flats (cells whose best drop is level) take, outwards from the cells that drain, the direction
// towards the first draining or already resolved neighbour that reaches them. settled is 0 for
// flat cells, 1 for every other cell and the frame.
void ResolveFlats(const Framed& g, std::vector<uint8_t>& code, std::vector<uint8_t>& settled) {
    std::vector<uint32_t> queue;
    for (int r = 0; r < g.rows; ++r)
        for (int c = 0; c < g.cols; ++c) {
            const size_t i = g.Cell(r, c);
            if (!settled[i] || g.z[i] == g.nodata) continue;
            bool besideFlat = false;
            for (ptrdiff_t o : g.off) besideFlat |= !settled[i + o];
            if (besideFlat) queue.push_back(static_cast<uint32_t>(i));
        }
    for (size_t head = 0; head < queue.size(); ++head) {
        const size_t q = queue[head];
        for (int k = 0; k < 8; ++k) {
            if (code[q] & kFlowCode[k]) continue;
            const size_t n = q + g.off[k];
            const int back = kFlowCode[k ^ 1];
            if (settled[n] || !(code[n] & back)) continue;
            code[n] = static_cast<uint8_t>(back);
            settled[n] = 1;
            queue.push_back(static_cast<uint32_t>(n));
        }
    }
    // A level floor no draining cell reaches (only in grids too small to fill) holds its water.
    for (size_t i = 0; i < code.size(); ++i)
        if (!settled[i]) code[i] = 0;
}

Owned Directions(const int32_t* dem, int cols, int rows) {
    const Framed g = FilledFramed(dem, cols, rows);
    std::vector<uint8_t> code(g.size), settled(g.size, 1);
    bool flats = false;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const size_t i = g.Cell(r, c);
            const int32_t z = g.z[i];
            if (z == g.nodata) continue;
            double best = -1;
            unsigned bits = 0;
            for (int k = 0; k < 8; ++k) {
                const int32_t zn = g.z[i + g.off[k]];
                double drop = zn == g.nodata ? 1e100 : static_cast<double>(z) - zn;
                // Water never runs uphill: a cell with only higher neighbours keeps code 0.
                if (drop < 0) continue;
                if (k >= 4) drop /= kSqrt2;
                if (drop > best + 0.001) {
                    best = drop;
                    bits = kFlowCode[k];
                } else if (std::fabs(drop - best) <= 0.001) {
                    bits |= kFlowCode[k];
                }
            }
            if (best > 0.001) {
                bits &= 0u - bits;
            } else if (bits != 0) {
                settled[i] = 0;
                flats = true;
            }
            code[i] = static_cast<uint8_t>(bits);
        }
    if (flats) ResolveFlats(g, code, settled);
    Owned out(detail::NewGrid(cols, rows));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const size_t i = g.Cell(r, c);
            out[static_cast<size_t>(r) * cols + c] = g.z[i] == g.nodata ? g.nodata : code[i];
        }
    return out;
}

// Downstream cell index of each cell of a direction grid, or one of the markers.
std::vector<uint32_t> Downstream(const int32_t* dirs, int cols, int rows) {
    const int32_t nodata = GetNodata();
    std::vector<uint32_t> down(detail::GridCells(cols, rows));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const size_t i = static_cast<size_t>(r) * cols + c;
            if (dirs[i] == nodata) {
                down[i] = kVoid;
                continue;
            }
            const int k = FirstK(dirs[i]);
            if (k < 0) {
                down[i] = kSink;
                continue;
            }
            const int rr = r + kFlowDr[k], cc = c + kFlowDc[k];
            const size_t j = static_cast<size_t>(rr) * cols + cc;
            down[i] = rr < 0 || rr >= rows || cc < 0 || cc >= cols || dirs[j] == nodata ? kOut
                                                                                          : static_cast<uint32_t>(j);
        }
    return down;
}

// Visits every cell of the drainage after all cells draining into it. Each cell without inflow
// starts a walk down its path that goes on while the next cell has nothing else left to wait for,
// which keeps the visits close in memory.
template <typename Visit>
void InFlowOrder(const std::vector<uint32_t>& down, Visit visit) {
    constexpr uint8_t kDone = 0xFF;  // more than the 8 possible inflows
    std::vector<uint8_t> waiting(down.size());
    for (uint32_t d : down)
        if (d < kSink) ++waiting[d];
    for (size_t i = 0; i < down.size(); ++i) {
        if (waiting[i] != 0 || down[i] == kVoid) continue;
        for (size_t cur = i;;) {
            visit(cur);
            const uint32_t d = down[cur];
            if (d >= kSink || --waiting[d] != 0) break;
            waiting[d] = kDone;
            cur = d;
        }
    }
}

// Everything the derived functions share: the direction grid and its downstream cells.
struct Drainage {
    Drainage(const int32_t* dem, int cols, int rows) : dirs(Directions(dem, cols, rows)), down(Downstream(dirs.get(), cols, rows)) {}
    double Step(size_t cell) const { return FirstK(dirs[cell]) >= 4 ? kSqrt2 : 1.0; }
    Owned dirs;
    std::vector<uint32_t> down;
};

// Accumulation into out (nodata kept), saturating at the 32-bit limit.
void Accumulate(const Drainage& d, int32_t* out) {
    const int32_t nodata = GetNodata();
    for (size_t i = 0; i < d.down.size(); ++i) out[i] = d.down[i] == kVoid ? nodata : 0;
    InFlowOrder(d.down, [&](size_t cur) {
        out[cur] = out[cur] == std::numeric_limits<int32_t>::max() ? out[cur] : out[cur] + 1;
        const uint32_t next = d.down[cur];
        if (next < kSink)
            out[next] = static_cast<int32_t>(std::min<int64_t>(std::numeric_limits<int32_t>::max(),
                                                               int64_t{out[next]} + out[cur]));
    });
}

}  // namespace

int32_t* FillSinks(const int32_t* dem, int cols, int rows) {
    if (!Usable(dem, cols, rows)) return nullptr;
    return Unframe(FilledFramed(dem, cols, rows)).release();
}

int32_t* FlowDirection(const int32_t* dem, int cols, int rows) {
    if (!Usable(dem, cols, rows)) return nullptr;
    return Directions(dem, cols, rows).release();
}

std::vector<uint32_t> FlowOrder(const int32_t* directions, int cols, int rows) {
    std::vector<uint32_t> order;
    if (!Usable(directions, cols, rows)) return order;
    const std::vector<uint32_t> down = Downstream(directions, cols, rows);
    InFlowOrder(down, [&](size_t cur) { order.push_back(static_cast<uint32_t>(cur)); });
    return order;
}

int32_t* FlowAccumulation(const int32_t* dem, int cols, int rows) {
    if (!Usable(dem, cols, rows)) return nullptr;
    const Drainage d(dem, cols, rows);
    Owned out(detail::NewGrid(cols, rows));
    Accumulate(d, out.get());
    return out.release();
}

int32_t* StreamNetwork(const int32_t* dem, int cols, int rows, double threshold) {
    if (!Usable(dem, cols, rows)) return nullptr;
    const Drainage d(dem, cols, rows);
    std::vector<double> longest(d.down.size());
    Owned out(detail::NewGrid(cols, rows));
    const int32_t nodata = GetNodata();
    InFlowOrder(d.down, [&](size_t cur) {
        const uint32_t next = d.down[cur];
        if (next < kSink) longest[next] = std::max(longest[next], longest[cur] + d.Step(cur));
        out[cur] = threshold <= longest[cur] ? 200 : 0;
    });
    for (size_t i = 0; i < d.down.size(); ++i)
        if (d.down[i] == kVoid) out[i] = nodata;
    return out.release();
}

int32_t* FlowLength(const int32_t* dem, int cols, int rows) {
    if (!Usable(dem, cols, rows)) return nullptr;
    const Drainage d(dem, cols, rows);
    std::vector<uint32_t> order;
    InFlowOrder(d.down, [&](size_t cur) { order.push_back(static_cast<uint32_t>(cur)); });
    std::vector<double> length(d.down.size());
    double longest = 0;
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const uint32_t next = d.down[*it];
        if (next < kSink) length[*it] = d.Step(*it) + length[next];
        longest = std::max(longest, length[*it]);
    }
    const int32_t nodata = GetNodata();
    Owned out(detail::NewGrid(cols, rows));
    for (size_t i = 0; i < d.down.size(); ++i)
        out[i] = d.down[i] == kVoid ? nodata
                 : longest > 0     ? detail::Trunc32(length[i] / longest * 200 + 0.5)
                                   : 0;
    return out.release();
}

int32_t* Watershed(const int32_t* dem, int cols, int rows, int threshold) {
    if (!Usable(dem, cols, rows)) return nullptr;
    const Drainage d(dem, cols, rows);
    Owned out(detail::NewGrid(cols, rows));
    Accumulate(d, out.get());
    std::vector<uint32_t> order;
    InFlowOrder(d.down, [&](size_t cur) { order.push_back(static_cast<uint32_t>(cur)); });
    int32_t basins = 0;
    for (size_t i = 0; i < d.down.size(); ++i)
        if (d.down[i] != kVoid) out[i] = d.down[i] == kOut && out[i] >= threshold ? ++basins : 0;
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const uint32_t next = d.down[*it];
        if (out[*it] == 0 && next < kSink && out[next] > 0) out[*it] = out[next];
    }
    if (basins >= 1 && basins <= 200) {
        const int32_t spread = 200 / basins;
        for (size_t i = 0; i < d.down.size(); ++i)
            if (d.down[i] != kVoid && out[i] > 0) out[i] *= spread;
    }
    return out.release();
}

}  // namespace kelo
