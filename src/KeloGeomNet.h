// KeloGeomNet: the whole public interface in one include.
#pragma once

#include "kelo_api.h"

#include "companion/companion.h"

#include "geometry/bezier.h"
#include "geometry/box.h"
#include "geometry/cardinal_spline.h"
#include "geometry/circle_arc.h"
#include "geometry/convex_hull.h"
#include "geometry/discrete.h"
#include "geometry/ellipse.h"
#include "geometry/geometry_object.h"
#include "geometry/path_export.h"
#include "geometry/point.h"
#include "geometry/records.h"
#include "geometry/parts.h"
#include "geometry/point_run.h"
#include "geometry/tolerance.h"

#include "network/hamilton_route.h"
#include "network/route_graph.h"
#include "network/service_area_convex.h"
#include "network/street_route.h"

#include "platform/graphics_path.h"

#include "relations/geometry_index.h"
#include "relations/hide_index.h"
#include "relations/kelo_avl_ids.h"
#include "relations/kelo_ids.h"
#include "relations/node_info.h"
#include "relations/segment.h"
#include "relations/set_operation_type.h"

#include "overlay/rect_clip.h"

#include "io/standard_forms.h"

#include "raster/classification.h"
#include "raster/inner_cells.h"
#include "raster/nodata.h"
#include "raster/point_surfaces.h"
#include "raster/resample.h"
#include "raster/terrain.h"

#include "sun/sun_times.h"

#include "transform/gauss_elimination.h"
#include "transform/quad_distortion.h"
#include "transform/spatial_reference_system.h"
#include "transform/uniform_coordinate.h"

#include "script/front/compiler.h"
#include "script/front/front_end.h"
#include "script/front/lexer.h"
#include "script/front/preprocessor.h"
#include "script/front/script_folder.h"
#include "script/vm/script_engine.h"
#include "platform/break_poll.h"
#include "script/host/host_call.h"
#include "script/host/script_debugger.h"
#include "script/host/script_host.h"
#include "script/vm/script_error.h"
#include "script/vm/script_program.h"
#include "script/vm/system_functions.h"
#include "script/vm/tdata.h"
#include "script/vm/value_ops.h"
