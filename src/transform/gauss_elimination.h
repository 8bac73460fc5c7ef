// Dense linear solver with full pivoting, sized for the small systems of the warping and
// fitting code.
#pragma once

#include <cstddef>
#include <vector>

#include "kelo_api.h"

namespace kelo {

class KELO_API GaussElimination {
public:
    // n unknowns, m equations, all coefficients and constants zero. A size below 1 leaves the
    // solver empty; Solve then reports -1.
    GaussElimination(int n, int m);

    // Indexes outside the system are ignored, so callers can fill rows without bounds checks.
    void Set(int row, int column, double value);
    void SetConstant(int row, double value);

    // 1: unique solution written to x[0..n-1]; 0: consistent but underdetermined (x untouched);
    // -1: inconsistent, or an empty system. Elimination works on the stored rows.
    int Solve(double* x);

private:
    int n_;
    int m_;
    std::vector<double> rows_;  // m rows of n coefficients followed by the constant

    double& At(int row, int column) {
        return rows_[static_cast<std::size_t>(row) * (static_cast<std::size_t>(n_) + 1) + static_cast<std::size_t>(column)];
    }
};

}  // namespace kelo
