#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "transform/gauss_elimination.h"

namespace {

using kelo::GaussElimination;

void Fill(GaussElimination& g, const std::vector<std::vector<double>>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        for (size_t j = 0; j + 1 < rows[i].size(); ++j) g.Set(int(i), int(j), rows[i][j]);
        g.SetConstant(int(i), rows[i].back());
    }
}

TEST(GaussElimination, SolvesWellConditionedSystems) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int iter = 0; iter < 300; ++iter) {
        const int n = 1 + iter % 8, extra = iter % 3;
        // Diagonally dominant, then rows shuffled so the diagonal no longer carries the pivots.
        std::vector<std::vector<double>> a(n, std::vector<double>(n + 1));
        std::vector<double> x(n);
        for (double& v : x) v = 100 * u(rng);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) a[i][j] = u(rng) + (i == j ? n + 1.0 : 0.0);
        // Redundant equations: combinations of the first rows, so the system stays consistent.
        for (int e = 0; e < extra; ++e) {
            std::vector<double> row(n + 1);
            for (int j = 0; j < n; ++j) row[j] = a[0][j] - 2 * a[n - 1][j];
            a.push_back(row);
        }
        for (auto& row : a) {
            row[n] = 0;
            for (int j = 0; j < n; ++j) row[n] += row[j] * x[j];
        }
        std::shuffle(a.begin(), a.end(), rng);
        GaussElimination g(n, int(a.size()));
        Fill(g, a);
        std::vector<double> got(n, -7);
        ASSERT_EQ(g.Solve(got.data()), 1) << n;
        for (int j = 0; j < n; ++j) EXPECT_NEAR(got[j], x[j], 1e-9) << n << " " << j;
    }
}

TEST(GaussElimination, RankAndConsistency) {
    struct Case {
        int n;
        std::vector<std::vector<double>> rows;
        int expected;
    };
    const Case cases[] = {
        {2, {{1, 2, 3}, {0, 0, 0}}, 0},                           // zero row, zero constant
        {2, {{1, 2, 3}, {0, 0, 1}}, -1},                          // zero row, nonzero constant
        {3, {{1, 2, 3, 1}, {0, 1, 1, 2}, {1, 3, 4, 3}}, 0},       // third = first + second
        {3, {{1, 2, 3, 1}, {0, 1, 1, 2}, {1, 3, 4, 3.5}}, -1},    // ... with a clashing constant
        {2, {{1, 0, 1}, {0, 1e-9, 0}}, 0},                        // pivots up to 1e-8 count as zero
        {2, {{1, 0, 1}, {0, 1e-9, 1e-9}}, 0},                     // and so do constants
        {2, {{1, 0, 1}, {0, 1e-9, 1e-7}}, -1},
        {2, {{1, 0, 1}, {0, 1e-7, 1}}, 1},
        {3, {{1, 1, 1, 3}, {2, 2, 2, 6}}, 0},                     // fewer equations than unknowns
        {1, {{2, 4}, {3, 6}, {1, 2.5}}, -1},                      // overdetermined and inconsistent
    };
    for (const Case& c : cases) {
        GaussElimination g(c.n, int(c.rows.size()));
        Fill(g, c.rows);
        std::vector<double> x(c.n, 42);
        EXPECT_EQ(g.Solve(x.data()), c.expected) << c.rows.back().back();
        if (c.expected != 1) {
            for (double v : x) EXPECT_EQ(v, 42);  // nothing written without a unique solution
        }
    }
}

TEST(GaussElimination, EmptySystemsAndStrayIndexes) {
    double x[3] = {0, 0, 0};
    EXPECT_EQ(GaussElimination(0, 3).Solve(x), -1);
    EXPECT_EQ(GaussElimination(3, 0).Solve(x), -1);
    EXPECT_EQ(GaussElimination(-1, -1).Solve(x), -1);

    GaussElimination g(2, 2);
    Fill(g, {{2, 1, 5}, {1, 3, 10}});  // x = 1, y = 3
    for (int bad : {-1, 2, 3, 1000}) {
        g.Set(bad, 0, 99);
        g.Set(0, bad, 99);
        g.SetConstant(bad, 99);
    }
    ASSERT_EQ(g.Solve(x), 1);
    EXPECT_NEAR(x[0], 1, 1e-12);
    EXPECT_NEAR(x[1], 3, 1e-12);
    EXPECT_EQ(x[2], 0);  // only n entries are written
}

}  // namespace
