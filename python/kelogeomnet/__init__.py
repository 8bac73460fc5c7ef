"""kelogeomnet: the KeloGeomNet geometry and spatial-analysis library from Python.

Geometry values (WKT, WKB, __geo_interface__ and shapely interchange), road networks,
raster terrain analysis over numpy arrays and the embedded script language.

The library's settings (tolerances, nodata) are process-wide and its calls change shared state
as they run, so the package lets one library call run at a time. The long calls (overlay,
buffers, relations, neatening, raster and network functions, scripts) release the GIL while
they compute, so other Python threads go on meanwhile, but two threads never compute in the
library at once. Run parallel library work in worker processes, one library instance each.
"""
import re as _re

from ._core import Geometry, Network, Route, union_all
from . import raster, script

__all__ = ["Geometry", "Network", "Route", "union_all", "raster", "script"]

_TYPE_WORDS = {
    "Point": "POINT", "LineString": "LINESTRING", "Polygon": "POLYGON",
    "MultiPoint": "MULTIPOINT", "MultiLineString": "MULTILINESTRING",
    "MultiPolygon": "MULTIPOLYGON", "GeometryCollection": "GEOMETRYCOLLECTION",
}
_TOKEN = _re.compile(r"\s*([A-Za-z]+|[-+0-9.eE]+|[(),])")


def _coords_text(c, depth, what):
    if depth == 0:
        if len(c) < 2:
            raise ValueError(f"{what}: a position needs at least x and y")
        return " ".join(repr(float(v)) for v in c[:3])
    if len(c) == 0:
        return "EMPTY"
    return "(" + ", ".join(_coords_text(x, depth - 1, what) for x in c) + ")"


def _mapping_to_wkt(m, what="geo_interface"):
    if not hasattr(m, "get"):
        raise TypeError(f"{what} must be a mapping with 'type', not {type(m).__name__}")
    kind = m.get("type")
    if kind == "GeometryCollection":
        parts = [_mapping_to_wkt(g, f"{what}.geometries") for g in m.get("geometries") or []]
        return "GEOMETRYCOLLECTION " + ("(" + ", ".join(parts) + ")" if parts else "EMPTY")
    depth = {"Point": 0, "LineString": 1, "MultiPoint": 1, "Polygon": 2,
             "MultiLineString": 2, "MultiPolygon": 3}.get(kind)
    if depth is None:
        raise ValueError(f"{what}: unknown geometry type {kind!r}")
    coords = m.get("coordinates")
    if coords is None:
        raise ValueError(f"{what}: {kind} without coordinates")
    if depth == 0:
        return "POINT " + ("EMPTY" if len(coords) == 0 else "(" + _coords_text(coords, 0, what) + ")")
    return _TYPE_WORDS[kind] + " " + _coords_text(coords, depth, what)


def _wkt_to_mapping(text):
    """GeoJSON-like mapping of a WKT text whose curves are all made of straight runs."""
    tokens = _TOKEN.findall(text)
    pos = 0

    def peek():
        return tokens[pos].upper()

    def take():
        nonlocal pos
        pos += 1
        return tokens[pos - 1]

    def word():
        w = take().upper()
        while peek() in ("Z", "M", "ZM"):
            take()
        return w

    def listof(item):
        if peek() == "EMPTY":
            take()
            return []
        take()  # "("
        items = []
        while True:
            items.append(item())
            if take() == ")":
                return items

    def position():
        if peek() == "(":  # MULTIPOINT ((1 2), (3 4)) nests each point once more
            p = listof(position)
            return p[0] if p else ()
        values = []
        while tokens[pos] not in (",", ")"):
            values.append(float(take()))
        return tuple(values)

    def curve():
        # A bare point list, or a typed curve; a compound curve joins its runs into one list.
        if peek() == "COMPOUNDCURVE":
            word()
            points = []
            for run in listof(curve):
                points.extend(run[1:] if points and run and run[0] == points[-1] else run)
            return points
        if peek() in ("LINESTRING", "CIRCULARSTRING"):
            word()
        return listof(position)

    def polygon():
        if peek() in ("POLYGON", "CURVEPOLYGON"):
            word()
        return listof(curve)

    def geometry():
        w = peek()
        if w in ("LINESTRING", "CIRCULARSTRING", "COMPOUNDCURVE"):
            return {"type": "LineString", "coordinates": curve()}
        if w in ("POLYGON", "CURVEPOLYGON"):
            return {"type": "Polygon", "coordinates": polygon()}
        w = word()
        if w == "POINT":
            p = listof(position)
            return {"type": "Point", "coordinates": p[0] if p else ()}
        if w == "MULTIPOINT":
            return {"type": "MultiPoint", "coordinates": listof(position)}
        if w in ("MULTILINESTRING", "MULTICURVE"):
            return {"type": "MultiLineString", "coordinates": listof(curve)}
        if w in ("MULTIPOLYGON", "MULTISURFACE"):
            return {"type": "MultiPolygon", "coordinates": listof(polygon)}
        if w == "GEOMETRYCOLLECTION":
            return {"type": "GeometryCollection", "geometries": listof(geometry)}
        raise ValueError(f"no GeoJSON form for {w}")

    return geometry()


def _from_geo_interface(cls, obj):
    """A Geometry from a GeoJSON-like mapping or any object with __geo_interface__."""
    if obj is None:
        raise TypeError("obj must be a mapping or have __geo_interface__, not None")
    m = getattr(obj, "__geo_interface__", obj)
    return cls.from_wkt(_mapping_to_wkt(m))


def _from_shapely(cls, shape):
    """A Geometry from a shapely geometry (through its WKB)."""
    wkb = getattr(shape, "wkb", None)
    if not isinstance(wkb, (bytes, bytearray)):
        raise TypeError(f"shape must be a shapely geometry, not {type(shape).__name__}")
    return cls.from_wkb(wkb)


def _geo_interface(self):
    """GeoJSON-like mapping. GeoJSON has no curves: arcs and other curves are given as chords."""
    return _wkt_to_mapping(self.linearized().wkt)


Geometry.from_geo_interface = classmethod(_from_geo_interface)
Geometry.from_shapely = classmethod(_from_shapely)
Geometry.__geo_interface__ = property(_geo_interface)
