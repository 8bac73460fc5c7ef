"""Terrain analysis on integer elevation grids (2-d numpy int32 arrays).

Row 0 is the northern row. cell_size is one number or (x, y); origin (x0, y_top) is the
position of cell (0, 0), so cell (r, c) stands for (x0 + c * cell_x, y_top - r * cell_y).
Input arrays are read in place when C-contiguous int32 (other int32 layouts are copied once;
other dtypes are refused). Results are new arrays that own the library's output directly.
Cells equal to nodata() are skipped and stay nodata.
"""
from ._core import raster as _r

nodata = _r.nodata
set_nodata = _r.set_nodata
slope = _r.slope
aspect = _r.aspect
hillshade = _r.hillshade
resample = _r.resample
sample = _r.sample
surface_area = _r.surface_area
fill_sinks = _r.fill_sinks
flow_direction = _r.flow_direction
flow_accumulation = _r.flow_accumulation
contours = _r.contours
viewshed = _r.viewshed

__all__ = ["nodata", "set_nodata", "slope", "aspect", "hillshade", "resample", "sample", "surface_area",
           "fill_sinks", "flow_direction", "flow_accumulation", "contours", "viewshed"]
