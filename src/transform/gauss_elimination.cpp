#include "transform/gauss_elimination.h"

#include <cmath>
#include <utility>

#include "geometry/point.h"

namespace kelo {

GaussElimination::GaussElimination(int n, int m) : n_(n), m_(m) {
    if (n >= 1 && m >= 1) rows_.assign(static_cast<size_t>(m) * (static_cast<size_t>(n) + 1), 0.0);
}

void GaussElimination::Set(int row, int column, double value) {
    if (rows_.empty() || row < 0 || row >= m_ || column < 0 || column >= n_) return;
    At(row, column) = value;
}

void GaussElimination::SetConstant(int row, double value) {
    if (rows_.empty() || row < 0 || row >= m_) return;
    At(row, n_) = value;
}

int GaussElimination::Solve(double* x) {
    if (n_ < 1 || m_ < 1 || rows_.empty() || x == nullptr) return -1;

    std::vector<int> pivotColumn(static_cast<size_t>(m_), -1);
    int rank = 0;
    for (int k = 0; k < m_; ++k) {
        int prow = -1, pcol = -1;
        double best = 0.0;
        for (int i = k; i < m_; ++i)
            for (int j = 0; j < n_; ++j)
                if (std::fabs(At(i, j)) > best) {  // strictly larger: the first maximum wins
                    best = std::fabs(At(i, j));
                    prow = i;
                    pcol = j;
                }
        if (prow < 0 || best <= kEpsInner) break;

        if (prow != k)
            for (int j = 0; j <= n_; ++j) std::swap(At(prow, j), At(k, j));
        pivotColumn[static_cast<size_t>(k)] = pcol;

        const double pivot = At(k, pcol);
        for (int i = k + 1; i < m_; ++i) {
            const double f = At(i, pcol) / pivot;
            if (f == 0.0) continue;
            for (int j = 0; j <= n_; ++j) At(i, j) -= f * At(k, j);
            // Exactly zero, not a rounding residue: a residue in a large system could
            // otherwise be picked again as a pivot in a column already used.
            At(i, pcol) = 0.0;
        }
        rank = k + 1;
    }

    for (int i = rank; i < m_; ++i)
        if (std::fabs(At(i, n_)) > kEpsInner) return -1;
    if (rank < n_) return 0;

    for (int j = 0; j < n_; ++j) x[j] = 0.0;
    for (int k = rank - 1; k >= 0; --k) {
        const int pc = pivotColumn[static_cast<size_t>(k)];
        double sum = At(k, n_);
        for (int j = 0; j < n_; ++j)
            if (j != pc) sum -= At(k, j) * x[j];
        x[pc] = sum / At(k, pc);
    }
    return 1;
}

}  // namespace kelo
