import math

import pytest
import shapely.geometry
import shapely.ops
import shapely.wkb

from kelogeomnet import Geometry, union_all
from test_geometry import random_shape


def random_area(rng):
    while True:
        s = random_shape(rng)
        if s.geom_type == "Polygon":
            return s


def test_overlay_areas_agree_with_shapely(rng):
    for _ in range(150):
        a, b = random_area(rng), random_area(rng)
        ka, kb = Geometry.from_shapely(a), Geometry.from_shapely(b)
        for name in ("union", "intersection", "difference", "symmetric_difference"):
            got = getattr(ka, name)(kb)
            assert got.area == pytest.approx(getattr(a, name)(b).area, abs=1e-7), (name, a.wkt, b.wkt)
    parcels = [random_area(rng) for _ in range(12)]
    want = shapely.ops.unary_union(parcels).area
    assert union_all(Geometry.from_shapely(p) for p in parcels).area == pytest.approx(want, abs=1e-7)


def test_line_overlay():
    a, b = Geometry("LINESTRING (0 0, 10 0)"), Geometry("LINESTRING (5 0, 15 0)")
    assert a.intersection(b).length == pytest.approx(5)
    assert a.union(b).length == pytest.approx(15)
    assert a.difference(b).length == pytest.approx(5)


@pytest.mark.parametrize("wkt,cap,want", [
    ("POINT (0 0)", "round", math.pi * 4),
    ("LINESTRING (0 0, 10 0)", "round", 40 + math.pi * 4),
    ("LINESTRING (0 0, 10 0)", "flat", 40),
    ("LINESTRING (0 0, 10 0)", "square", 56),
    ("POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0))", "round", 100 + 80 + math.pi * 4),
])
def test_buffer_areas(wkt, cap, want):
    exact = Geometry(wkt).buffer(2, cap=cap)
    # The exact arcs run 1e-5 of the distance outside the true circle.
    assert exact.area == pytest.approx(want, rel=2e-5)
    chords = Geometry(wkt).buffer(2, cap=cap, tolerance=0.01)
    assert not chords.has_curves and want * 0.98 < chords.area <= want + 1e-9


def test_one_sided_buffer_follows_direction():
    left = Geometry("LINESTRING (0 0, 10 0)").buffer(1, cap="flat", side="left")
    assert left.area == pytest.approx(10) and left.contains("POINT (5 0.5)")


def test_simplify_keeps_input_points_within_tolerance():
    wiggle = shapely.geometry.LineString([(x, math.sin(x) * 0.05 + (x % 3) * 0.01) for x in range(100)])
    out = shapely.wkb.loads(Geometry.from_shapely(wiggle).simplify(0.1).wkb)
    assert len(out.coords) < len(wiggle.coords) / 4
    assert set(out.coords) <= set(wiggle.coords)
    assert wiggle.hausdorff_distance(out) <= 0.1 + 1e-12
