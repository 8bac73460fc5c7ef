import numpy as np
import pytest

from kelogeomnet import Geometry, Network, raster, script

SQUARE = Geometry("POLYGON ((0 0, 1 0, 1 1, 0 1, 0 0))")
DEM = np.zeros((4, 4), np.int32)
NET = Network([[(0, 0), (100, 0)]], [50])

# (call, exception, words the message must hold)
CASES = [
    (lambda: Geometry(None), TypeError, "data"),
    (lambda: Geometry(3.5), TypeError, "data"),
    (lambda: Geometry("POLYGON ((0 0, 1 0"), ValueError, "wkt"),
    (lambda: Geometry.from_wkb(b"\x01\x03\x00"), ValueError, "wkb"),
    (lambda: Geometry.from_wkb("POINT (1 2)"), TypeError, "wkb"),
    (lambda: Geometry.from_wkt(b"POINT (1 2)"), TypeError, "wkt"),
    (lambda: Geometry.from_shapely(None), TypeError, "shape"),
    (lambda: Geometry.from_geo_interface({"type": "Blob"}), ValueError, "Blob"),
    (lambda: SQUARE.intersects(None), TypeError, "other"),
    (lambda: SQUARE.relate(SQUARE, tolerance=float("nan")), ValueError, "tolerance"),
    (lambda: SQUARE.transform(dx=float("inf")), ValueError, "dx"),
    (lambda: SQUARE.transform(origin=(1, None)), TypeError, "origin[1]"),
    (lambda: SQUARE.neaten(float("nan")), ValueError, "tolerance"),
    (lambda: SQUARE.neaten(-1), ValueError, "tolerance"),
    (lambda: SQUARE.neaten(extent=(0, 0, 1)), TypeError, "extent"),
    (lambda: SQUARE.neaten(extent=(2, 0, 1, 1)), ValueError, "extent"),
    (lambda: SQUARE.neaten(decimals=-1), ValueError, "decimals"),
    (lambda: SQUARE.check(spikes=None), TypeError, "spikes"),
    (lambda: SQUARE.explain_validity("1e-8"), TypeError, "tolerance"),
    (lambda: raster.slope(None, 10), TypeError, "dem"),
    (lambda: raster.slope(DEM.astype(np.float64), 10), TypeError, "int32"),
    (lambda: raster.slope(DEM.astype(np.int64), 10), TypeError, "int32"),
    (lambda: raster.slope(DEM.astype(">i4"), 10), TypeError, "int32"),
    (lambda: raster.slope(np.zeros((0, 4), np.int32), 10), ValueError, "empty"),
    (lambda: raster.slope(np.zeros(16, np.int32), 10), ValueError, "2-d"),
    (lambda: raster.slope(DEM, float("nan")), ValueError, "cell_size"),
    (lambda: raster.slope(DEM, -1), ValueError, "cell_size"),
    (lambda: raster.slope(DEM, "10"), TypeError, "cell_size"),
    (lambda: raster.slope(DEM, 10, method=9), ValueError, "method"),
    (lambda: raster.hillshade(DEM, 10, azimuth=1.5), TypeError, "azimuth"),
    (lambda: raster.hillshade(DEM, 10, z_scale=0), ValueError, "z_scale"),
    (lambda: raster.resample(DEM, 10, (0, 0), (60001, 2), 10, (0, 0)), ValueError, "shape[0]"),
    (lambda: raster.sample(DEM, 10, (0, 0), [(1, float("nan"))]), ValueError, "points[0][1]"),
    (lambda: raster.surface_area(DEM, 10, (0, 0), "POINT (1 1)"), ValueError, "polygon"),
    (lambda: Network([[(0, 0), (1, 0)]], None), TypeError, "speeds"),
    (lambda: Network([[(0, 0), (1, 0)]], [10, 20]), ValueError, "speeds"),
    (lambda: Network([[(0, 0)]], [10]), ValueError, "lines[0]"),
    (lambda: Network([[(0, 0), (1, 0)]], [float("nan")]), ValueError, "speed"),
    (lambda: Network([[(0, 0), (1, 0)]], [10], unit=7), ValueError, "unit"),
    (lambda: Network([[(0, 0), (1e9, 0)]], [10]), ValueError, "range"),
    (lambda: Network().route((0, 0), (1, 1)), ValueError, "no roads"),
    (lambda: NET.route(None, (1, 1)), TypeError, "start"),
    (lambda: NET.nearest((0, 0), []), ValueError, "facilities"),
    (lambda: NET.tour([(0, 0)], [(1, float("nan"))]), ValueError, "targets[0][1]"),
    (lambda: NET.service_area((0, 0), -5), ValueError, "limit"),
    (lambda: NET.service_area((0, 0), 5, whole=1), TypeError, "whole"),
    (lambda: script.run(None), TypeError, "text"),
    (lambda: script.run("void main(array a) {}", [1]), TypeError, "args"),
]


@pytest.mark.parametrize("call,error,words", CASES)
def test_bad_input_raises_and_names_the_argument(call, error, words):
    with pytest.raises(error, match=words.replace("[", r"\[").replace("]", r"\]")):
        call()
