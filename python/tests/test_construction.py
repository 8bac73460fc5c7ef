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


def right_of(a, b, p):
    return (b[0] - a[0]) * (p[1] - a[1]) - (b[1] - a[1]) * (p[0] - a[0]) < 0


@pytest.mark.parametrize("rotate", [False, True])
def test_cut_by_area_leaves_the_area_to_the_right(rng, rotate):
    for _ in range(20):
        parcel = random_area(rng)
        g = Geometry.from_shapely(parcel)
        minx, miny, maxx, maxy = parcel.bounds
        # Heading north along the parcel's west side: all of it lies to the right.
        start, end = (minx, miny - 1), (minx, maxy + 1)
        assert g.area_right_of(start, end) == pytest.approx(parcel.area)
        want = parcel.area * rng.uniform(0.2, 0.8)
        (a, b), pieces = g.cut_by_area(start, end, want, rotate=rotate)
        assert g.area_right_of(a, b) == pytest.approx(want, abs=1e-5)
        assert sum(p.area for p in pieces) == pytest.approx(parcel.area, abs=1e-7)
        inner = [shapely.wkb.loads(p.inner_point().wkb) for p in pieces]
        right = sum(p.area for p, q in zip(pieces, inner) if right_of(a, b, (q.x, q.y)))
        assert right == pytest.approx(want, abs=1e-5)
    with pytest.raises(ValueError, match="area"):
        Geometry("POLYGON ((0 0, 1 0, 1 1, 0 1, 0 0))").cut_by_area((0, -1), (0, 2), 5)
