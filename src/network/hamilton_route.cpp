// Randomised 2-opt over a cost matrix; the random stream is the library's shared generator.
#include "network/hamilton_route.h"

#include "companion/random.h"

namespace kelo {

namespace {
constexpr int kRounds = 100;
constexpr long long kTotalBudget = 1000000;
constexpr long long kImproveBudget = 100000;
}  // namespace

void Hamilton_Route::GetMemory() {
    Dispose();
    if (n < 0) n = 0;
    const int size = n + 5;
    matrix = new double*[size];
    for (int i = 0; i < size; ++i) matrix[i] = nullptr;
    try {
        for (int i = 0; i < size; ++i) matrix[i] = new double[size]();
        stops = new int[size]();
        bestList = new int[size]();
        curList = new int[size]();
        order = new int[size]();
    } catch (...) {
        Dispose();
        throw;
    }
}

void Hamilton_Route::Dispose() {
    if (matrix != nullptr) {
        for (int i = 0; i < n + 5; ++i) delete[] matrix[i];
        delete[] matrix;
        matrix = nullptr;
    }
    delete[] stops;
    delete[] bestList;
    delete[] curList;
    delete[] order;
    stops = bestList = curList = order = nullptr;
}

void Hamilton_Route::getrandomlist(int list[], int count) {
    for (int k = 0; k + 1 < count; ++k) swap(list[k], list[k + KeloRand() % (count - k)]);
}

void Hamilton_Route::reverse(int i, int j) {
    while (i < j) swap(curList[i++], curList[j--]);
}

double Hamilton_Route::TourCost() const {
    double c = 0.0;
    for (int k = 0; k < stopCount; ++k) c += matrix[curList[k]][curList[k + 1]];
    return c;
}

void Hamilton_Route::check_bestlist() {
    const double c = TourCost();
    if (c < bestCost) {
        bestCost = c;
        for (int k = 0; k <= stopCount; ++k) bestList[k] = curList[k];
    }
}

bool Hamilton_Route::improve() {
    const int legs = stopCount;
    getrandomlist(order + 1, legs - 1);
    bool improved = false;
    for (int a = 1; a < legs; ++a) {
        const int i = order[a];
        if (i >= legs - 1) continue;
        for (int b = 1; b < legs; ++b) {
            const int j = order[b];
            if (j <= i + 1) continue;
            const int p = curList[i], q = curList[i + 1], r = curList[j], s = curList[j + 1];
            if (matrix[p][q] + matrix[r][s] > matrix[p][r] + matrix[q][s]) {
                reverse(i + 1, j);
                improved = true;
            }
        }
    }
    return improved;
}

void Hamilton_Route::Process() {
    if (matrix == nullptr || stopCount < 0 || stopCount > n) return;
    bestCost = 1e36;
    const int inner = stopCount;
    curList[0] = start;
    for (int k = 0; k < inner; ++k) curList[k + 1] = stops[k];
    curList[inner + 1] = start;
    stopCount = inner + 1;
    const int legs = stopCount;
    for (int k = 0; k < legs; ++k) order[k] = k;
    // Without this the best tour would stay unset when every round finds the same cost as none.
    for (int k = 0; k <= legs; ++k) bestList[k] = curList[k];

    long long budget = 0;
    for (int round = 0; round < kRounds && budget <= kTotalBudget; ++round) {
        getrandomlist(curList + 1, legs - 1);
        if (improve()) {
            for (;;) {
                budget += static_cast<long long>(legs) * legs;
                if (budget > kImproveBudget || !improve()) break;
            }
        }
        check_bestlist();
    }
}

}  // namespace kelo
