// Pictures of geometry as SVG: a map frame around everything drawn, a scale bar, one colour per
// input, arcs as true SVG arcs and holes left open by even-odd filling.
#pragma once

#include <string>
#include <vector>

#include "KeloGeomNet.h"

namespace kelo_tool {

struct PlotLayer {
    std::string label;
    std::vector<const kelo::GM_Object*> geoms;
};

std::string SvgPicture(const std::vector<PlotLayer>& layers);

}  // namespace kelo_tool
