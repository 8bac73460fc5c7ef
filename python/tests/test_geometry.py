import math
import pickle

import pytest
import shapely.affinity
import shapely.geometry
import shapely.wkb
import shapely.wkt

from kelogeomnet import Geometry


def star(rng, cx, cy, n, rmin, rmax):
    """A star-shaped (so simple) polygon with vertices on a half-unit grid."""
    pts = []
    for k in range(n):
        a = 2 * math.pi * k / n
        r = rng.uniform(rmin, rmax)
        pts.append((round(2 * (cx + r * math.cos(a))) / 2, round(2 * (cy + r * math.sin(a))) / 2))
    poly = shapely.geometry.Polygon(pts)
    return poly if poly.is_valid and poly.area > 0 else shapely.geometry.box(cx - 1, cy - 1, cx + 1, cy + 1)


def random_shape(rng):
    kind = rng.randrange(5)
    cx, cy = rng.randrange(0, 20) / 2, rng.randrange(0, 20) / 2
    if kind == 0:
        return shapely.geometry.Point(cx, cy)
    if kind == 1:
        return shapely.geometry.LineString([(cx, cy), (cx + rng.randrange(-8, 9) / 2, cy + rng.randrange(1, 9) / 2)])
    if kind == 2:
        return shapely.geometry.box(cx, cy, cx + rng.randrange(1, 10) / 2, cy + rng.randrange(1, 10) / 2)
    if kind == 3:
        outer = shapely.geometry.box(cx - 3, cy - 3, cx + 3, cy + 3)
        return outer.difference(shapely.geometry.box(cx - 1, cy - 1, cx + 1, cy + 1))
    return star(rng, cx, cy, rng.randrange(5, 12), 1, 4)


def test_random_shapes_agree_with_shapely(rng):
    pairs = 0
    for _ in range(400):
        a, b = random_shape(rng), random_shape(rng)
        ka, kb = Geometry.from_shapely(a), Geometry.from_shapely(b)
        assert ka.area == pytest.approx(a.area, abs=1e-9)
        assert ka.length == pytest.approx(a.length, abs=1e-9)
        assert ka.bounds == pytest.approx(a.bounds)
        assert ka.distance(kb) == pytest.approx(a.distance(b), abs=1e-9)
        assert ka.relate(kb) == a.relate(b), (a.wkt, b.wkt)
        for name in ("intersects", "contains", "within", "touches", "equals"):
            assert getattr(ka, name)(kb) == getattr(a, name)(b), (name, a.wkt, b.wkt)
        if a.geom_type == "Polygon":
            assert ka.centroid.distance(Geometry.from_shapely(a.centroid)) < 1e-9
            assert a.contains(shapely.wkb.loads(ka.inner_point().wkb))
        pairs += 1
    assert pairs == 400


CURVES = [
    "CIRCULARSTRING (0 0, 1 1, 2 0)",
    "COMPOUNDCURVE (CIRCULARSTRING (0 0, 1 1, 2 0), (2 0, 4 0))",
    "CURVEPOLYGON (CIRCULARSTRING (0 0, 2 -2, 4 0, 2 2, 0 0), (1.5 0.5, 2.5 0.5, 2.5 1.5, 1.5 0.5))",
    "MULTICURVE ((0 0, 1 0), CIRCULARSTRING (3 0, 4 1, 5 0))",
    "MULTISURFACE (CURVEPOLYGON (CIRCULARSTRING (0 0, 1 1, 2 0, 1 -1, 0 0)), ((5 5, 6 5, 6 6, 5 5)))",
]


@pytest.mark.parametrize("text", CURVES)
def test_curves_survive_wkb_and_wkt(text):
    g = Geometry.from_wkt(text)
    again = Geometry.from_wkb(g.wkb)
    assert again.has_curves and again.wkt == g.wkt == Geometry(g.wkt).wkt
    # The chords approximate the arcs from inside, so a curved area is a little larger than
    # its chords' and both agree closely.
    chords = shapely.geometry.shape(g.__geo_interface__)
    assert g.area >= chords.area - 1e-12
    assert g.area == pytest.approx(chords.area, rel=1e-3)
    assert not Geometry.from_geo_interface(chords).has_curves


def test_circle_area_is_exact():
    assert Geometry("CURVEPOLYGON (CIRCULARSTRING (0 0, 2 0, 0 0))").area == pytest.approx(math.pi, rel=1e-12)


@pytest.mark.parametrize("text", [
    "POINT (1 2)", "MULTIPOINT ((1 2), (3 4))", "LINESTRING (0 0, 1 1, 2 0)",
    "POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0), (1 1, 1 2, 2 2, 1 1))",
    "MULTILINESTRING ((0 0, 1 1), (2 2, 3 3))",
    "MULTIPOLYGON (((0 0, 1 0, 1 1, 0 0)), ((5 5, 6 5, 6 6, 5 5)))",
    "GEOMETRYCOLLECTION (POINT (1 1), LINESTRING (0 0, 1 0))",
])
def test_interchange_with_shapely(text):
    s = shapely.wkt.loads(text)
    g = Geometry.from_shapely(s)
    assert shapely.wkb.loads(g.wkb).equals(s)
    assert shapely.geometry.shape(g.__geo_interface__).equals(s)
    assert Geometry.from_geo_interface(s).wkt == g.wkt
    assert pickle.loads(pickle.dumps(g)).wkt == g.wkt


def test_transform_matches_shapely_affinity(rng):
    s = star(rng, 3, 4, 9, 1, 3)
    dx, dy, angle, sx, sy, origin = 2.5, -1.0, 0.7, 1.5, 0.5, (1.0, 2.0)
    moved = Geometry.from_shapely(s).transform(dx, dy, angle, sx, sy, origin)
    # Shift, then turn clockwise about origin, then scale from origin.
    want = shapely.affinity.translate(s, dx, dy)
    want = shapely.affinity.rotate(want, -angle, origin=origin, use_radians=True)
    want = shapely.affinity.scale(want, sx, sy, origin=origin)
    assert shapely.wkb.loads(moved.wkb).equals_exact(want, 1e-9)


def test_hull_and_empty():
    hull = Geometry("MULTIPOINT ((0 0), (4 0), (2 1), (0 4), (4 4))").convex_hull()
    assert hull.type == "Polygon" and hull.area == pytest.approx(16)
    empty = Geometry("GEOMETRYCOLLECTION EMPTY")
    assert empty.is_empty and empty.centroid is None and math.isnan(empty.bounds[0])
    assert math.isnan(empty.distance("POINT (0 0)"))
