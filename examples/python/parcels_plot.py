"""Parcels from a GeoPackage: read with GDAL's Python binding, dissolved and buffered with
kelogeomnet, drawn with matplotlib.

    PYTHONPATH=build/release/python python3 examples/python/parcels_plot.py OUT.png [IN.gpkg [LAYER]]

Without IN.gpkg the village parcels of examples/village.geojson are first written to a
GeoPackage in a temporary folder, so the example always reads one.
"""
import os
import sys
import tempfile

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
from matplotlib.patches import PathPatch
from matplotlib.path import Path
from osgeo import gdal, ogr

import kelogeomnet as kg

gdal.UseExceptions()
HERE = os.path.dirname(os.path.abspath(__file__))


def read_layer(path, layer_name=None):
    """(attributes, Geometry) of every feature, geometry handed over as ISO WKB."""
    ds = ogr.Open(path)
    layer = ds.GetLayerByName(layer_name) if layer_name else ds.GetLayer(0)
    out = []
    for f in layer:
        g = f.GetGeometryRef()
        if g is not None:
            out.append((f.items(), kg.Geometry.from_wkb(bytes(g.ExportToIsoWkb()))))
    return out


def polygon_path(geometry):
    """A matplotlib path of every ring (curves as chords), filled even-odd like the rings."""
    shape = geometry.__geo_interface__
    polygons = {"Polygon": [shape.get("coordinates")], "MultiPolygon": shape.get("coordinates")}.get(shape["type"], [])
    vertices, codes = [], []
    for rings in polygons:
        for ring in rings:
            vertices += [p[:2] for p in ring]
            codes += [Path.MOVETO] + [Path.LINETO] * (len(ring) - 2) + [Path.CLOSEPOLY]
    return Path(vertices, codes) if vertices else None


def draw(ax, geometry, **style):
    path = polygon_path(geometry)
    if path is not None:
        ax.add_patch(PathPatch(path, **style))


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    with tempfile.TemporaryDirectory() as tmp:
        source = sys.argv[2] if len(sys.argv) > 2 else None
        if source is None:
            source = os.path.join(tmp, "village.gpkg")
            gdal.VectorTranslate(source, os.path.join(HERE, "..", "village.geojson"), format="GPKG")
        parcels = read_layer(source, sys.argv[3] if len(sys.argv) > 3 else None)

    fig, ax = plt.subplots(figsize=(8, 6))
    for attributes, g in parcels:
        draw(ax, g, facecolor="#d9e8c4", edgecolor="#4a6b2a", linewidth=1)
        label = g.inner_point()
        if label is not None:
            x, y = label.__geo_interface__["coordinates"][:2]
            name = attributes.get("parcel") or ""
            ax.annotate(f"{name}\n{g.area:,.0f}", (x, y), ha="center", va="center", fontsize=7)
    extra = combine(parcels)
    for name, g, style in extra:
        draw(ax, g, **style)
        print(f"{name}: area {g.area:,.1f}, length {g.length:,.1f}")
    total = sum(g.area for _, g in parcels)
    print(f"{len(parcels)} parcels, total area {total:,.1f}")
    ax.autoscale_view()
    ax.set_aspect("equal")
    ax.set_title(f"{len(parcels)} parcels, {total:,.0f} m²")
    fig.savefig(out, dpi=120)
    print(f"wrote {out}")


def combine(parcels):
    """The shapes drawn over the parcels: the village dissolved into one area, a 10 m buffer
    around it (its round corners kept as exact arcs, drawn as chords) and its hull."""
    village = kg.union_all(g for _, g in parcels)
    margin = village.buffer(10)
    return [
        ("buffer 10 m", margin, dict(facecolor="none", edgecolor="#3060b0", linewidth=1.5)),
        ("dissolved", village, dict(facecolor="none", edgecolor="#202020", linewidth=2.5)),
        ("hull", village.convex_hull(), dict(facecolor="none", edgecolor="#b03030", linestyle="--", linewidth=1)),
    ]


if __name__ == "__main__":
    main()
