// kelo's road-network functions as scripts use them: answers worked out by hand on a small
// network, the same answers wherever the network lies, and the errors bad input gets.
#include <gtest/gtest.h>

#include <string>

#include "kelo_shell.h"

namespace kelo {
namespace {

using test::kKelo;
using test::Sh;
using test::Shell;

// Four corners A(0 0), B(1000 0), C(0 1000), D(1000 1000) in metres: A-B and B-D at 60 km/h
// (1 min each), A-C at 30 (2 min), C-D at 40 (1.5 min), a one-way diagonal C -> B at 120
// (0.7071 min), and far away an isolated one-way road. Every position goes through at() and
// every printed point through shown(), so the script prints the same text wherever OX, OY put it.
const char* const kCornersScript = R"wsp(#define OX @OX@
#define OY @OY@
array at(double x, double y) { return {x + OX, y + OY}; }
string shown(klPoints g) {
    string s = "";
    array pts = g.points();
    for (int i = 0; i < pts.getSize(); i++) s = s + "(%.1f %.1f)".format(pts[i][0] - OX, pts[i][1] - OY);
    return s;
}
void route(string name, map r) {
    if (r.isEmpty()) { println(name, " none"); return; }
    klPoints g = r["route"];
    string facility = "";
    if (r.containsKey("facility")) facility = " facility %d".format(r["facility"]);
    println(name, facility, " %.2f %.4f ".format(r["length"], r["time"]), shown(g));
}
void main() {
    klHandle net = netCreate();
    netAddRoad(net, {at(0, 0), at(1000, 0), at(1000, 1000)}, 60);
    netAddRoad(net, {at(0, 0), at(0, 1000)}, 30);
    netAddRoad(net, {at(0, 1000), at(1000, 1000)}, 40);
    netAddRoad(net, {at(0, 1000), at(1000, 0)}, 120, true);
    netAddRoad(net, {at(5000, 5000), at(6000, 5000)}, 120, true);
    route("A-D", netRoute(net, at(0, 0), at(1000, 1000)));
    route("B-C", netRoute(net, at(1000, 0), at(0, 1000)));
    route("C-B", netRoute(net, at(0, 1000), at(1000, 0)));
    route("off", netRoute(net, at(500, -100), at(1000, 1000)));
    route("far", netRoute(net, at(5000, 5000), at(6000, 5000)));
    route("far back", netRoute(net, at(6000, 5000), at(5000, 5000)));
    route("cut off", netRoute(net, at(0, 0), at(5000, 5000)));
    route("from C", netNearest(net, at(0, 1000), {at(1000, 0), at(1000, 1000)}));
    route("to C", netNearest(net, at(0, 1000), {at(1000, 0), at(1000, 1000)}, true));
    route("none near", netNearest(net, at(0, 0), {at(6000, 5000)}));
    array tour = netTour(net, {at(0, 0)}, {at(1000, 1000), at(0, 1000), at(1000, 0)});
    route("tour", tour[0]);
    tour = netTour(net, {at(0, 0)}, {at(1000, 1000), at(0, 1000), at(1000, 0)}, false);
    route("open tour", tour[0]);
    println("lost tour ", netTour(net, {at(0, 0)}, {at(5000, 5000)}).getSize());

    klHandle plus = netCreate();
    netAddRoad(plus, {at(-1000, 0), at(0, 0), at(1000, 0)}, 50);
    netAddRoad(plus, {at(0, -1000), at(0, 0), at(0, 1000)}, 50);
    array limits = {500, 500, 2000, 2000};
    array whole = {true, false, true, false};
    for (int i = 0; i < 4; i++) {
        map a = netArea(plus, at(0, 0), limits[i], whole[i]);
        if (a.isEmpty()) { println("area none"); continue; }
        klPoints ring = a["area"];
        println("area %.1f %.2f %d".format(ring.area(), a["perimeter"], ring.count()));
    }
    println(netFree(plus));
}
)wsp";

const char* const kCornersAnswer =
    "A-D 2000.00 2.0000 (0.0 0.0)(1000.0 0.0)(1000.0 1000.0)\n"
    "B-C 2000.00 2.5000 (1000.0 0.0)(1000.0 1000.0)(0.0 1000.0)\n"
    "C-B 1414.21 0.7071 (0.0 1000.0)(1000.0 0.0)\n"
    // Snapped onto A-B with a 100 m connector at 30 km/h (0.2 min).
    "off 1600.00 1.7000 (500.0 -100.0)(500.0 0.0)(1000.0 0.0)(1000.0 1000.0)\n"
    "far 1000.00 0.5000 (5000.0 5000.0)(6000.0 5000.0)\n"
    "far back none\n"
    "cut off none\n"
    "from C facility 0 1414.21 0.7071 (0.0 1000.0)(1000.0 0.0)\n"
    "to C facility 1 1000.00 1.5000 (1000.0 1000.0)(0.0 1000.0)\n"
    "none near none\n"
    // Of the six orders A D C B A is the cheapest round trip (5.2071 min), A B D C the cheapest
    // open one (3.5 min).
    "tour 5414.21 5.2071 (0.0 0.0)(1000.0 0.0)(1000.0 1000.0)(0.0 1000.0)(1000.0 0.0)(0.0 0.0)\n"
    "open tour 3000.00 3.5000 (0.0 0.0)(1000.0 0.0)(1000.0 1000.0)(0.0 1000.0)\n"
    "lost tour 0\n"
    // 500 m of road from the crossing: a diamond of half-diagonal 500, whether hulled or traced.
    "area 500000.0 2828.43 5\n"
    "area 500000.0 2828.43 5\n"
    // Beyond every vertex: the hull of all of them, or (traced) no boundary at all.
    "area 2000000.0 5656.85 5\n"
    "area none\n"
    "true\n";

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
    return s;
}

// Networks left unfreed must not leak either: kelo runs under LeakSanitizer here.
TEST(KeloRoutes, HandWorkedAnswersWhereverTheNetworkLies) {
    test::ScratchDir dir;
    const struct {
        const char* ox;
        const char* oy;
    } frames[] = {{"0", "0"}, {"-7300", "-2500.5"}, {"250000", "-40"}};
    for (const auto& f : frames) {
        dir.write("corners.wsp", Replace(Replace(kCornersScript, "@OX@", f.ox), "@OY@", f.oy));
        const Shell run = Sh(dir, kKelo + "run corners.wsp");
        EXPECT_EQ(run.status, 0) << f.ox << " " << f.oy << "\n" << run.err;
        EXPECT_EQ(run.out, kCornersAnswer) << f.ox << " " << f.oy;
    }
}

// Ellipsoidal lengths do not change when a road is mirrored across the equator or moved to the
// other side of the prime meridian.
TEST(KeloRoutes, DegreeNetworksAgreeInEveryQuadrant) {
    test::ScratchDir dir;
    dir.write("deg.wsp", R"wsp(void main() {
    array signs = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
    for (int i = 0; i < 4; i++) {
        double sx = signs[i][0], sy = signs[i][1];
        klHandle n = netCreate(1);
        netAddRoad(n, {{sx * 70.5, sy * 33.4}, {sx * 70.6, sy * 33.4}, {sx * 70.6, sy * 33.5}}, 60);
        map r = netRoute(n, {sx * 70.5, sy * 33.4}, {sx * 70.6, sy * 33.5});
        println("%.1f %.3f".format(r["length"], r["time"]));
    }
}
)wsp");
    const Shell run = Sh(dir, kKelo + "run deg.wsp");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string first = run.out.substr(0, run.out.find('\n') + 1);
    EXPECT_EQ(run.out, first + first + first + first);
    // 0.1 degree of longitude at 33.4 N is about 9.3 km, 0.1 degree of latitude about 11.1 km.
    EXPECT_NEAR(std::stod(first), 9300 + 11090, 100) << first;
    // A road across the equator: two degrees of latitude along a meridian are about 221 km.
    dir.write("equator.wsp", R"wsp(void main() {
    klHandle n = netCreate(1);
    netAddRoad(n, "LINESTRING(10 -1, 10 0, 10 1)", 60);
    map r = netRoute(n, {10, -1}, {10, 1});
    println("%.0f".format(r["length"]));
}
)wsp");
    const Shell across = Sh(dir, kKelo + "run equator.wsp");
    ASSERT_EQ(across.status, 0) << across.err;
    EXPECT_NEAR(std::stod(across.out), 221149, 300) << across.out;
}

TEST(KeloRoutes, BadInputEndsTheRunWithAReason) {
    test::ScratchDir dir;
    struct {
        const char* body;
        const char* reason;
    } cases[] = {
        {"netRoute(n, {0, 0});", "netRoute: arguments are (klHandle net, from, to)"},
        {"netFree(n); netRoute(n, {0, 0}, {1, 1});", "netRoute: unknown network"},
        {"klHandle g = geoFromText(\"POINT(1 2)\"); netArea(g, {0, 0}, 5);", "netArea: unknown network"},
        {"netFree(5);", "netFree: the first argument is a network"},
        {"netCreate(3);", "netCreate: the unit is"},
        {"netAddRoad(n, \"POINT(1 2)\", 50);", "netAddRoad: the road is not a line"},
        {"netAddRoad(n, {{0, 0}, \"x\"}, 50);", "netAddRoad: the road is not a line"},
        {"netAddRoad(n, \"LINESTRING(0 0, 0.01 0)\", 50);", "netAddRoad: the road has no length"},
        {"netAddRoad(n, \"LINESTRING(0 0, 10 0)\", 0);", "netAddRoad: the speed"},
        {"netAddRoad(n, \"LINESTRING(0 0, 10 0)\", 50, \"yes\");", "netAddRoad: oneWay must be a bool"},
        {"netAddRoad(netCreate(1), \"LINESTRING(0 0, 500 0)\", 50);", "outside the network's coordinate range"},
        {"netRoute(n, \"LINESTRING(0 0, 1 1)\", {0, 0});", "netRoute: from is not a position"},
        {"netRoute(n, {0, 0}, {1, 2, 3});", "netRoute: to is not a position"},
        {"array none; netNearest(n, {0, 0}, none);", "netNearest: no facilities given"},
        {"netNearest(n, {0, 0}, {{0, 0}, 7});", "netNearest: facilities[1] is not a position"},
        {"array none; netTour(n, none, {{0, 0}});", "netTour: no depots given"},
        {"netArea(n, {0, 0}, -1);", "netArea: the limit"},
    };
    for (const auto& c : cases) {
        dir.write("bad.wsp", std::string("void main() {\n  klHandle n = netCreate();\n  netAddRoad(n, "
                                         "\"LINESTRING(0 0, 100 0)\", 50);\n  ") +
                                 c.body + "\n  println(\"not reached\");\n}\n");
        const Shell run = Sh(dir, kKelo + "run bad.wsp");
        EXPECT_EQ(run.status, 1) << c.body;
        EXPECT_EQ(run.out.find("not reached"), std::string::npos) << c.body;
        EXPECT_NE(run.err.find("10300"), std::string::npos) << c.body << ": " << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << c.body << ": " << run.err;
    }
}

// The demo's route section, checked against the same reasoning: west along the lane and down
// (155 m at 20 km/h), then east on the main road (200 m at 50 km/h).
TEST(KeloRoutes, DemoShowsTheRouteWorkedOutByHand) {
    test::ScratchDir dir;
    const Shell run = Sh(dir, kKelo + "run " + std::string(KELO_SOURCE_DIR) + "/examples/parcels.wsp");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("farmyard gate to meadow gate: 355.0 m, 0.71 min, 3 turns\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("nearest well to the pond's gate: the village well, 210.0 m\n"), std::string::npos)
        << run.out;
}

}  // namespace
}  // namespace kelo
