// Boolean overlay: union, intersection, difference and symmetric difference of areas (noding all
// rings together, tracing the faces and keeping those the operation selects) and of lines (stretch
// by stretch with the overlap calculator); folds over lists, the three-way split, and the union of
// many polygons at once.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/geometry_object.h"
#include "geometry/records.h"
#include "kelo_api.h"

namespace kelo {

// Operation codes.
inline constexpr uint32_t kBoolIntersection = 0;
inline constexpr uint32_t kBoolUnion = 1;
inline constexpr uint32_t kBoolDifference = 2;        // first minus second
inline constexpr uint32_t kBoolSymDifference = 3;
inline constexpr uint32_t kBoolSplit = 9;             // first ∩ second, first − second, second − first
inline constexpr uint32_t kBoolFineIntersection = 10; // intersection at tolerance 1e-8
inline constexpr uint32_t kBoolFineDifference = 12;   // difference at tolerance 1e-8

// Area overlay of two records of type 3 or 6: appends a new polygon record (free it with
// FreeWKBPolygon) for every result polygon; split appends the polygons of its three results in
// order. 1, or 0 when an operand is not an area or the code is unknown.
KELO_API int BoolOp2DGeometry(const WKBGeometry* a, const WKBGeometry* b, uint32_t op, std::vector<WKBPolygon*>& out);
// The same on objects: when it succeeds with at least one polygon, out is emptied and receives
// them all (for split: the intersection). Returns the overlay's result.
KELO_API int BoolOp2DGeometry(const GM_Object* a, const GM_Object* b, uint32_t op, GM_Object& out);
KELO_API int BoolOp2D(const WKBPolygon* a, const WKBPolygon* b, uint32_t op, std::vector<WKBPolygon*>& out);
// The record-level operation behind the object's set members: out is emptied and receives one new
// Polygon record (free with FreeWKBGeometry) per result polygon. Operands other than areas get
// the message that only areas combine and 0.
KELO_API int BoolOpWKBGeometry(const WKBGeometry* a, const WKBGeometry* b, uint32_t op, std::vector<WKBGeometry*>& out);

// The results of an area overlay as objects: one for codes 0 to 3, 10 and 12, three for split
// (empty objects where a result is empty). 0 when refused.
KELO_API int BoolOp2DObjects(const WKBGeometry* a, const WKBGeometry* b, uint32_t op, std::vector<GM_Object>& out);

// Line overlay at tol: out receives the lines (empty when nothing is left). 1, or 0 when an
// operand has no line parts.
KELO_API int BoolOp1DGeometry(const GM_Object* a, const GM_Object* b, uint32_t op, double tol, GM_Object& out);

// out = first op list[0] op list[1] ... (areas nonzero: area overlay, else lines at tol), stopping
// at the first empty result. Returns 1 when out holds something.
KELO_API int DoObjectsBoolOp(int areas, const GM_Object* first, const std::vector<GM_Object*>& list, uint32_t op,
                             GM_Object& out, double tol);
// Appends three new objects: a ∩ b, a − b, b − a. Returns 1, or 0 when nothing was appended.
KELO_API int DoObjectsOverlap(int areas, const GM_Object* a, const GM_Object* b, std::vector<GM_Object*>& out,
                              double tol);

// Unions the polygons one after another; out receives new polygon records. 1 when the union holds
// at least one polygon.
KELO_API int UnionOfPolygons(const std::vector<WKBPolygon*>& in, std::vector<WKBPolygon*>& out);

// Unions every polygon of the objects, merging spatially close groups pairwise and passing
// polygons far from the other group straight through. out is replaced by the union. 0 for an
// empty list, else 1.
KELO_API int mergePolygons(const std::vector<GM_Object*>& objects, GM_Object& out);

}  // namespace kelo
