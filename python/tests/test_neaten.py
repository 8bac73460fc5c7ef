import random

import pytest
import shapely.geometry
import shapely.validation
import shapely.wkb
import shapely.wkt

from kelogeomnet import Geometry

# (name, WKT, where the defect is: None for valid, else a vertex the report must name)
SHAPES = [
    ("bow tie", "POLYGON ((0 0, 2 2, 2 0, 0 2, 0 0))", (1, 1)),
    ("spike out", "POLYGON ((0 0, 4 0, 4 4, 2 4, 2 6, 2 4, 0 4, 0 0))", (2, 4)),
    ("spike in", "POLYGON ((0 0, 4 0, 4 4, 2 4, 2 2, 2 4, 0 4, 0 0))", (2, 4)),
    ("ring touching itself at a vertex", "POLYGON ((0 0, 10 0, 10 10, 5 10, 7 5, 3 5, 5 10, 0 10, 0 0))", (5, 10)),
    ("vertex on its own edge", "POLYGON ((0 0, 10 0, 10 10, 5 0, 0 10, 0 0))", (5, 0)),
    ("hole outside shell", "POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0), (5 5, 6 5, 6 6, 5 6, 5 5))", (5, 5)),
    ("hole crossing shell", "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (5 5, 12 5, 12 6, 5 6, 5 5))", (10, 5)),
    ("hole along shell", "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (0 2, 3 2, 3 5, 0 5, 0 2))", None),
    ("overlapping holes", "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (1 1, 5 1, 5 5, 1 5, 1 1), (3 3, 7 3, 7 7, 3 7, 3 3))", None),
    ("nested holes", "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (1 1, 9 1, 9 9, 1 9, 1 1), (3 3, 6 3, 6 6, 3 6, 3 3))", None),
    ("overlapping polygons", "MULTIPOLYGON (((0 0, 4 0, 4 4, 0 4, 0 0)), ((2 2, 6 2, 6 6, 2 6, 2 2)))", None),
    ("polygon inside another", "MULTIPOLYGON (((0 0, 4 0, 4 4, 0 4, 0 0)), ((1 1, 2 1, 2 2, 1 2, 1 1)))", (1, 1)),
    ("polygons sharing an edge", "MULTIPOLYGON (((0 0, 4 0, 4 4, 0 4, 0 0)), ((4 0, 6 0, 6 4, 4 4, 4 0)))", None),
    ("flat ring", "POLYGON ((0 0, 1 0, 2 0, 0 0))", None),
    ("line of no length", "LINESTRING (0 0, 0 0)", (0, 0)),
    # valid: repeated vertices, touches in a point, lines crossing themselves
    ("repeated vertex", "POLYGON ((0 0, 4 0, 4 0, 4 4, 0 4, 0 0))", None),
    ("repeated vertex in a line", "LINESTRING (0 0, 1 1, 1 1, 2 0)", None),
    ("hole touching shell in a point", "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (0 0, 5 2, 2 5, 0 0))", None),
    ("holes touching in a point", "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (1 1, 5 1, 5 5, 1 1), (5 5, 8 5, 8 8, 5 5))", None),
    ("polygons touching in a point", "MULTIPOLYGON (((0 0, 4 0, 4 4, 0 4, 0 0)), ((4 4, 6 4, 6 6, 4 6, 4 4)))", None),
    ("line crossing itself", "LINESTRING (0 0, 2 2, 2 0, 0 2)", None),
    ("collinear vertices", "POLYGON ((0 0, 2 0, 4 0, 4 4, 0 4, 0 0))", None),
]


@pytest.mark.parametrize("name,wkt,where", SHAPES, ids=[s[0] for s in SHAPES])
def test_validity_agrees_with_shapely(name, wkt, where):
    s, g = shapely.wkt.loads(wkt), Geometry(wkt)
    assert g.is_valid == s.is_valid, shapely.validation.explain_validity(s)
    text = g.explain_validity()
    if g.is_valid:
        assert text == "无错误"
        return
    assert text != "无错误" and text.endswith("]")
    if where is not None:
        x, y = (float(v) for v in text[text.rindex("[") + 1:-1].split())
        assert (x, y) == pytest.approx(where)
    repaired = shapely.wkb.loads(g.neaten().wkb)
    assert repaired.is_valid and Geometry(repaired.wkb).is_valid


def random_polygon(rng):
    """Rings drawn on a small grid: most cross, spike or touch themselves somewhere."""
    shell = [(rng.randrange(6), rng.randrange(6)) for _ in range(rng.randrange(4, 8))]
    holes = [[(rng.randrange(6), rng.randrange(6)) for _ in range(rng.randrange(3, 5))]] if rng.random() < 0.4 else []
    return shapely.geometry.Polygon(shell, holes)


def test_random_validity_and_repair_agree_with_shapely():
    rng = random.Random(5)
    invalid = 0
    for _ in range(300):
        s = random_polygon(rng)
        g = Geometry.from_shapely(s)
        assert g.is_valid == s.is_valid, s.wkt
        if s.is_valid:
            continue
        invalid += 1
        repaired = g.neaten()
        assert repaired.is_valid and shapely.wkb.loads(repaired.wkb).is_valid, s.wkt
    assert invalid > 100


def test_default_options_find_crossings_and_report_repairs():
    bow = Geometry("POLYGON ((0 0, 2 2, 2 0, 0 2, 0 0))")
    assert bow.check() == (-11, "环自交或面单刺", (1.0, 1.0))
    assert bow.check(crossings=False, spikes=False) is None
    fixed, texts = bow.neaten(report=True)
    assert texts == ["环自交或面单刺"] and fixed.area == pytest.approx(2.0) and fixed.type == "MultiPolygon"
    assert bow.neaten(crossings=False, spikes=False).wkt == bow.wkt
    dup = Geometry("LINESTRING (0 0, 1 1, 1.0000001 1, 2 0)")
    assert dup.check(1e-3)[0] == -3 and dup.check() is None
    merged = shapely.wkb.loads(dup.neaten(1e-3).wkb)
    assert merged.equals_exact(shapely.geometry.LineString([(0, 0), (1, 1), (2, 0)]), 1e-6)
    rounded = Geometry("POINT (1.26 9.5)").neaten(decimals=1, extent=(0, 0, 5, 5))
    assert rounded.wkt == "POINT (1.3 5)"
    circle = Geometry("CURVEPOLYGON (CIRCULARSTRING (0 0, 2 0, 0 0))")
    assert circle.is_valid and circle.neaten().wkt == circle.wkt
    arc = Geometry("CIRCULARSTRING (0 0, 1 1, 2 0)")
    assert arc.neaten().has_curves and not arc.neaten(arcs=True, discretise=True).has_curves
