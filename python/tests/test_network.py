import shapely.wkb

from kelogeomnet import Geometry, Network


def grid_network(one_way_top=False):
    """A 2 km square of roads with a slow middle road across it."""
    lines = [
        [(0, 0), (1000, 0), (2000, 0)],
        [(0, 2000), (1000, 2000), (2000, 2000)],
        [(0, 0), (0, 1000), (0, 2000)],
        [(2000, 0), (2000, 1000), (2000, 2000)],
        [(1000, 0), (1000, 2000)],
    ]
    speeds = [60, 60, 60, 60, 6]
    one_way = [False, one_way_top, False, False, False]
    return Network(lines, speeds, one_way)


def test_route_prefers_fast_roads_and_respects_one_way():
    n = grid_network()
    r = n.route((1000, 0), (1000, 2000))
    # 2 km across at 6 km/h is 20 minutes; 4 km round at 60 km/h is 4 minutes.
    assert abs(r.length - 4000) < 1e-3 and abs(r.time - 4) < 1e-3
    line = shapely.wkb.loads(r.geometry.wkb)
    assert line.coords[0] == (1000, 0) and line.coords[-1] == (1000, 2000)
    back = grid_network(one_way_top=True).route((2000, 2000), (0, 2000))
    assert abs(back.length - 6000) < 1e-3  # the top road runs west to east only


def test_nearest_tour_and_service_area():
    n = grid_network()
    index, r = n.nearest((0, 0), [(2000, 2000), (0, 1500), (1000, 1000)])
    assert index == 1 and abs(r.length - 1500) < 1e-3
    tours = n.tour([(0, 0)], [(2000, 0), (0, 2000), (2000, 2000)])
    assert len(tours) == 1 and abs(tours[0].length - 8000) < 1e-3
    area = n.service_area((0, 0), 1500)
    assert area.type == "Polygon" and area.contains("POINT (700 700)")
    assert not area.contains(Geometry("POINT (1900 1900)"))
