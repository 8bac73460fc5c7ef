// A random road grid kept beside the graph built from it, so tests can reason about the network
// without asking the code under test.
#pragma once

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "KeloGeomNet.h"

namespace kelo::testing {

struct GridLine {
    int a, b;  // vertex numbers in the grid (row-major), drawn a -> b
    float speed;
    bool twoWay, blocked;
};

struct RoadGrid {
    int n = 0;                      // n x n crossings
    std::vector<Point3D> pos;       // crossing positions, metres, far from the degree range
    std::vector<GridLine> lines;
    std::vector<int16_t> kind;      // node kind per crossing
    std::vector<float> ownCost;     // crossing cost for kinds other than 0 and 1
    float defaultCross = 0.5f;
};

// Jittered grid with random one-way, blocked and two-way lines, random speeds and node kinds.
inline RoadGrid MakeRoadGrid(int n, unsigned seed, double oneWayShare = 0.25, double blockedShare = 0.08) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> jitter(-20.0, 20.0), unit(0.0, 1.0);
    std::uniform_real_distribution<float> speed(10.0f, 80.0f), cross(0.05f, 2.0f);
    RoadGrid g;
    g.n = n;
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
            // On the 0.1 m snapping grid, so vertex positions equal the drawn ones.
            const double x = std::round((500000.0 + c * 100.0 + jitter(rng)) * 10.0) / 10.0;
            const double y = std::round((3000000.0 + r * 100.0 + jitter(rng)) * 10.0) / 10.0;
            g.pos.push_back({x, y, 0.0});
        }
    auto add = [&](int a, int b) {
        GridLine l{a, b, speed(rng), true, false};
        const double u = unit(rng);
        if (u < blockedShare) l.blocked = true;
        else if (u < blockedShare + oneWayShare) {
            l.twoWay = false;
            if (unit(rng) < 0.5) std::swap(l.a, l.b);
        }
        g.lines.push_back(l);
    };
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
            if (c + 1 < n) add(r * n + c, r * n + c + 1);
            if (r + 1 < n) add(r * n + c, (r + 1) * n + c);
        }
    for (int v = 0; v < n * n; ++v) {
        const double u = unit(rng);
        g.kind.push_back(u < 0.4 ? 0 : (u < 0.7 ? 1 : 2));
        g.ownCost.push_back(cross(rng));
    }
    return g;
}

inline void LoadRoadGrid(const RoadGrid& g, Dijkstra_Route& graph) {
    graph.Init_Initial(klRoutePlanarMetre, true, g.defaultCross, 4096);
    for (const GridLine& l : g.lines) {
        const Point3D pts[2] = {g.pos[l.a], g.pos[l.b]};
        graph.Init_Lines(pts, 2, l.speed, l.twoWay, l.blocked, 7u, int16_t{3});
    }
    for (size_t v = 0; v < g.pos.size(); ++v) graph.Init_Nodes(&g.pos[v], 1, g.kind[v], g.ownCost[v], false);
}

inline double LineCost(const RoadGrid& g, const GridLine& l, int flag) {
    const double len = std::hypot(g.pos[l.b].x - g.pos[l.a].x, g.pos[l.b].y - g.pos[l.a].y);
    const double perLength = 0.06 / l.speed;
    if (flag == 1) return len;
    if (flag == 9) return perLength;
    return len * perLength;
}

inline double CrossOf(const RoadGrid& g, int v) {
    return g.kind[v] == 0 ? 0.0 : (g.kind[v] == 1 ? g.defaultCross : g.ownCost[v]);
}

// Label-setting search in double precision with the graph's crossing rule: a vertex is settled by
// its cheapest arrival, and its own predecessor's crossing time is paid when it is left.
struct Reference {
    std::vector<double> arrive;
    std::vector<int> pre;
};

inline Reference ReferenceSearch(const RoadGrid& g, int start, int flag) {
    const int nv = static_cast<int>(g.pos.size());
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<std::vector<std::pair<int, double>>> out(nv);
    for (const GridLine& l : g.lines) {
        if (l.blocked) continue;
        const double c = LineCost(g, l, flag);
        out[l.a].push_back({l.b, c});
        if (l.twoWay) out[l.b].push_back({l.a, c});
    }
    Reference ref{std::vector<double>(nv, inf), std::vector<int>(nv, -1)};
    std::vector<bool> done(nv, false);
    ref.arrive[start] = 0.0;
    ref.pre[start] = -2;
    for (;;) {
        int v = -1;
        for (int i = 0; i < nv; ++i)
            if (!done[i] && ref.arrive[i] < inf && (v < 0 || ref.arrive[i] < ref.arrive[v])) v = i;
        if (v < 0) break;
        done[v] = true;
        const double leave = ref.arrive[v] + (flag == 0 && ref.pre[v] >= 0 ? CrossOf(g, ref.pre[v]) : 0.0);
        for (auto [w, c] : out[v])
            if (!done[w] && leave + c < ref.arrive[w]) {
                ref.arrive[w] = leave + c;
                ref.pre[w] = v;
            }
    }
    return ref;
}

}  // namespace kelo::testing
