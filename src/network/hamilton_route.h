// A tour improver over a cost matrix: random restarts of first-improvement 2-opt.
#pragma once

#include <cstdint>

#include "kelo_api.h"

namespace kelo {

class KELO_API Hamilton_Route {
public:
    explicit Hamilton_Route(double tolerance = 0.0) : m_tolerance(tolerance) {}
    ~Hamilton_Route() { Dispose(); }
    // The work arrays are owned; a shallow copy would free them twice.
    Hamilton_Route(const Hamilton_Route&) = delete;
    Hamilton_Route& operator=(const Hamilton_Route&) = delete;

    // Allocates the matrix and the integer arrays for the current n (all zero).
    void GetMemory();
    void Dispose();
    // Best closed tour from start through the stops; the result is in bestCost and bestList.
    void Process();
    bool improve();
    void check_bestlist();
    static void getrandomlist(int list[], int n);
    static void swap(int& a, int& b) {
        const int t = a;
        a = b;
        b = t;
    }
    void reverse(int i, int j);

    double m_tolerance;
    int32_t n = 0;
    double** matrix = nullptr;  // (n + 5) rows of (n + 5) costs, [from][to]
    double bestCost = 1e36;
    int32_t stopCount = 0;
    int* stops = nullptr;
    int32_t start = 0;
    int* bestList = nullptr;  // stopCount + 2 entries after Process, first and last = start
    int* curList = nullptr;
    int* order = nullptr;

private:
    double TourCost() const;
};

}  // namespace kelo
