// KeloGeomNet: the whole public interface in one include.
#pragma once

#include "kelo_api.h"

#include "companion/companion.h"

#include "geometry/box.h"
#include "geometry/point.h"
#include "geometry/point_run.h"
#include "geometry/tolerance.h"

#include "raster/nodata.h"

#include "sun/sun_times.h"

#include "transform/gauss_elimination.h"
#include "transform/quad_distortion.h"
#include "transform/spatial_reference_system.h"
#include "transform/uniform_coordinate.h"
