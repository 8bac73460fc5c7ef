// KeloGeomNet: the whole public interface in one include.
#pragma once

#include "kelo_api.h"

#include "companion/companion.h"

#include "geometry/box.h"
#include "geometry/point.h"
#include "geometry/tolerance.h"

#include "raster/nodata.h"

#include "script/front/compiler.h"
#include "script/front/front_end.h"
#include "script/front/lexer.h"
#include "script/front/preprocessor.h"
#include "script/front/script_folder.h"
#include "script/vm/script_engine.h"
#include "script/vm/script_error.h"
#include "script/vm/script_program.h"
#include "script/vm/system_functions.h"
#include "script/vm/tdata.h"
#include "script/vm/value_ops.h"
