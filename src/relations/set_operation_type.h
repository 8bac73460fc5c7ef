// The operation codes shared by both id sets.
#pragma once

namespace kelo {

enum klSetOperationType : int {
    klSetUnion = 0,
    klSetIntersection = 1,
    klSetDifference = 2,  // removes the other's ids
};

}  // namespace kelo
