// Buffers: the region within a distance of points and lines, together with the polygons, built
// from one small polygon per point, segment, line end and turn and unioned in one merge.
#pragma once

#include <vector>

#include "geometry/geometry_object.h"
#include "kelo_api.h"

namespace kelo {

// Cap styles for the ends of open lines.
inline constexpr int kBufferCapRound = 0;
inline constexpr int kBufferCapSquare = 1;
inline constexpr int kBufferCapNone = 2;  // any other value as well
// Join styles for the turns of lines.
inline constexpr int kBufferJoinRound = 0;
inline constexpr int kBufferJoinBevel = 1;
inline constexpr int kBufferJoinMitre = 2;  // mitred up to a right angle, clipped beyond
// Sides of each line's direction of travel.
inline constexpr int kBufferLeft = 1;
inline constexpr int kBufferRight = 2;
inline constexpr int kBufferBoth = 3;

// The buffer of the objects at distance into out (replaced). tolerance bounds how far a polygonal
// circle may fall inside the true one: in coordinate units (tolIsRelative 0) or as a fraction of
// the distance; a relative tolerance not above 1e-8 makes circles exact three-point arcs.
// A distance below 1e-8 or a relative tolerance of 1 or more shows its message and returns 0
// with out unchanged. Otherwise 1 (out empty when the objects have no elements).
KELO_API int ComputeBuffer(const std::vector<GM_Object*>& objects, double distance, GM_Object& out, int capStyle,
                           int joinStyle, int side, double tolerance, int tolIsRelative);

// The pieces whose union is that buffer, as new one-polygon objects appended to pieces (the
// caller frees them). Same refusals and messages as ComputeBuffer.
KELO_API int MakeBufferPieces(const std::vector<GM_Object*>& objects, double distance, int capStyle, int joinStyle,
                              int side, double tolerance, int tolIsRelative, std::vector<GM_Object*>& pieces);

}  // namespace kelo
