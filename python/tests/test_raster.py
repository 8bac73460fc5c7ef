import subprocess

import numpy as np
import pytest
from osgeo import gdal

from kelogeomnet import Geometry, raster

gdal.UseExceptions()


def terrain(rng_seed=7, rows=37, cols=53):
    """A rough surface with ridges, pits and flat patches, so every neighbour rule is exercised."""
    rng = np.random.default_rng(rng_seed)
    y, x = np.mgrid[0:rows, 0:cols]
    z = 800 * np.sin(x / 6.0) * np.cos(y / 5.0) + rng.integers(0, 150, (rows, cols))
    z[5:9, 10:16] = 300
    return z.astype(np.int32)


def run_tool(kelo_tool, tmp_path, dem, cell, verb, out, *options):
    """The kelo program's answer for a GeoTIFF of dem whose top-left corner is (1000, 5000)."""
    src = tmp_path / "dem.tif"
    ds = gdal.GetDriverByName("GTiff").Create(str(src), dem.shape[1], dem.shape[0], 1, gdal.GDT_Int32)
    ds.SetGeoTransform((1000.0, cell[0], 0, 5000.0, 0, -cell[1]))
    ds.GetRasterBand(1).WriteArray(dem)
    ds = None
    subprocess.run([kelo_tool, "raster", verb, str(src), str(out), "--zscale", "1", *options], check=True)


def tool_result(kelo_tool, tmp_path, dem, cell, verb, *options):
    out = tmp_path / f"{verb}.tif"
    run_tool(kelo_tool, tmp_path, dem, cell, verb, out, *options)
    return gdal.Open(str(out)).ReadAsArray().astype(np.int32)


def test_contours_agree_with_the_command_line_tool(kelo_tool, tmp_path):
    from osgeo import ogr
    dem, cell = terrain(), (10.0, 25.0)
    out = tmp_path / "contours.gpkg"
    run_tool(kelo_tool, tmp_path, dem, cell, "contour", out, "--interval", "150")
    ds = ogr.Open(str(out))  # the layer lives only as long as its dataset
    want = sorted((round(f.GetGeometryRef().Length(), 6), f.GetField("elev")) for f in ds.GetLayer(0))
    # The grid's first cell point lies half a cell inside the corner the file names.
    lines = raster.contours(dem, cell, (1000.0 + cell[0] / 2, 5000.0 - cell[1] / 2), 150)
    got = sorted((round(g.length, 6), g.__geo_interface__["coordinates"][0][2]) for g in lines)
    assert len(got) > 10 and got == want


@pytest.mark.parametrize("verb,call,options", [
    ("slope", lambda d, c: raster.slope(d, c, method=4), ["--method", "4"]),
    ("slope", lambda d, c: raster.slope(d, c, method=1), ["--method", "1"]),
    ("aspect", lambda d, c: raster.aspect(d, c, method=1), ["--method", "1"]),
    ("aspect", lambda d, c: raster.aspect(d, c), []),
    ("hillshade", lambda d, c: raster.hillshade(d, c, azimuth=135, altitude=30), ["--azimuth", "135", "--altitude", "30"]),
    ("fill", lambda d, c: raster.fill_sinks(d), []),
    ("flowacc", lambda d, c: raster.flow_accumulation(d), []),
])
def test_agrees_with_the_command_line_tool(kelo_tool, tmp_path, verb, call, options):
    # Unequal cell sizes catch a swapped row and column step.
    dem, cell = terrain(), (10.0, 25.0)
    assert np.array_equal(call(dem, cell), tool_result(kelo_tool, tmp_path, dem, cell, verb, *options))


def test_strided_and_transposed_input_read_correctly():
    dem = terrain()
    view = dem[::2, 1::3]
    assert np.array_equal(raster.slope(view, 10), raster.slope(np.ascontiguousarray(view), 10))
    assert np.array_equal(raster.aspect(dem.T, 10), raster.aspect(dem.T.copy(), 10))


def test_nodata_is_skipped_and_kept():
    dem = terrain()
    raster.set_nodata(-9999)
    dem[10:14, 20:25] = -9999
    for out in (raster.slope(dem, 10), raster.aspect(dem, 10), raster.hillshade(dem, 10)):
        assert np.all(out[10:14, 20:25] == -9999)
        assert not np.any(out[dem != -9999] == -9999)


def test_resample_sample_and_surface_area():
    dem = np.arange(12, dtype=np.int32).reshape(3, 4) * 100
    origin = (0.0, 20.0)
    same = raster.resample(dem, 10, origin, dem.shape, 10, origin)
    assert np.array_equal(same, dem)
    fine = raster.resample(dem, 10, origin, (5, 7), 5, origin, bilinear=True)
    assert fine[2, 2] == 500 and fine[4, 6] == raster.nodata()
    z = raster.sample(dem, 10, origin, [(5.0, 15.0), (-100.0, 0.0)])
    assert z[0] == 250 and z[1] == raster.nodata()
    flat = np.zeros((4, 4), np.int32)
    square = Geometry("POLYGON ((-1 -1, 31 -1, 31 31, -1 31, -1 -1))")
    # Every cell of a flat grid adds a quarter of its area.
    assert raster.surface_area(flat, 10, (0.0, 30.0), square) == pytest.approx(16 * 25)


def test_drainage_and_sight():
    dem = terrain()
    filled = raster.fill_sinks(dem)
    assert np.all(filled >= dem)
    acc = raster.flow_accumulation(dem)
    # Every cell drains somewhere, so the outlets at the edge carry the whole grid.
    assert acc.min() >= 1 and acc.max() <= dem.size
    seen = raster.viewshed(dem, (18, 26), height=50, mark=7)
    assert seen[18, 26] == 7 and set(np.unique(seen)) <= {0, 7}
    flat = np.zeros((20, 20), np.int32)
    assert np.all(raster.viewshed(flat, (3, 4), height=10) == 1)
