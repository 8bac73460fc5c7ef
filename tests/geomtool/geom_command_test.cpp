// kelo geom and kelo plot end to end: files made here with ogr2ogr, areas checked against GEOS on
// the same features, attributes through every output format, refusals that leave existing
// output alone, and a picture rendered to pixels.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <geos_c.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class GeomTool : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        std::string t = (fs::temp_directory_path() / "kelo-geom-XXXXXX").string();
        ASSERT_NE(mkdtemp(t.data()), nullptr);
        dir = t;
    }
    void TearDown() override { fs::remove_all(dir); }

    struct Result {
        int status;
        std::string out, err;
    };
    Result Sh(const std::string& command, const std::string& input = "") {
        const fs::path in = dir / "stdin.txt", err = dir / "stderr.txt";
        std::ofstream(in) << input;
        FILE* p = ::popen(("cd " + dir.string() + " && " + command + " <" + in.string() + " 2>" + err.string()).c_str(), "r");
        Result r{};
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
        r.status = WEXITSTATUS(::pclose(p));
        r.err = Read(err);
        return r;
    }
    Result Kelo(const std::string& args, const std::string& input = "") {
        return Sh(std::string(KELO_TOOL_PATH) + " " + args, input);
    }
    static std::string Read(const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    }
    void Write(const std::string& name, const std::string& text) { std::ofstream(dir / name) << text; }
};

// Star-shaped parcels with holes, some many-sided, written as a CSV with a WKT column.
std::vector<std::string> Parcels(int n) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<std::string> out;
    for (int k = 0; k < n; ++k) {
        const double cx = 500000 + 300 * k, cy = 4000000 + 50 * (k % 7), r = 20 + 100 * u(rng);
        auto ring = [&](double r0, double r1, int m, bool reverse) {
            std::ostringstream s;
            s.precision(17);
            s << "(";
            for (int i = 0; i <= m; ++i) {
                const int j = i % m;
                const double a = 2 * M_PI * (reverse ? m - j : j) / m, rr = r0 + (r1 - r0) * std::fabs(std::sin(j * 7.1));
                s << (i ? ", " : "") << cx + rr * std::cos(a) << " " << cy + rr * std::sin(a);
            }
            return s.str() + ")";
        };
        std::string wkt = "POLYGON (" + ring(0.8 * r, r, 5 + k % 40, false);
        if (k % 2) wkt += ", " + ring(0.1 * r, 0.3 * r, 4 + k % 5, true);
        out.push_back(wkt + ")");
    }
    return out;
}

std::vector<double> Numbers(const std::string& text, size_t column) {
    std::vector<double> v;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream cells(line);
        std::string cell;
        for (size_t c = 0; c <= column && std::getline(cells, cell, '\t'); ++c) {
        }
        if (line.rfind("total", 0) != 0) v.push_back(std::stod(cell));
    }
    return v;
}

TEST_F(GeomTool, AreasOfGeoPackageAndShapefileFeaturesAreThoseGeosGives) {
    const std::vector<std::string> parcels = Parcels(60);
    std::string csv = "id,name,WKT\n";
    for (size_t i = 0; i < parcels.size(); ++i)
        csv += std::to_string(i) + ",parcel " + std::to_string(i) + ",\"" + parcels[i] + "\"\n";
    Write("parcels.csv", csv);
    ASSERT_EQ(Sh("ogr2ogr -f GPKG parcels.gpkg parcels.csv -nln parcels").status, 0);
    ASSERT_EQ(Sh("ogr2ogr parcels.shp parcels.csv").status, 0);

    GEOSContextHandle_t h = GEOS_init_r();
    GEOSWKTReader* reader = GEOSWKTReader_create_r(h);
    std::vector<double> want;
    for (const std::string& wkt : parcels) {
        GEOSGeometry* g = GEOSWKTReader_read_r(h, reader, wkt.c_str());
        double a = 0;
        GEOSArea_r(h, g, &a);
        want.push_back(a);
        GEOSGeom_destroy_r(h, g);
    }
    GEOSWKTReader_destroy_r(h, reader);
    GEOS_finish_r(h);

    for (const char* file : {"parcels.gpkg", "parcels.shp"}) {
        Result r = Kelo(std::string("geom area ") + file);
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<double> got = Numbers(r.out, 1);
        ASSERT_EQ(got.size(), want.size()) << file;
        int agreed = 0;
        for (size_t i = 0; i < got.size(); ++i) agreed += std::fabs(got[i] - want[i]) <= 1e-9 * want[i];
        EXPECT_EQ(agreed, static_cast<int>(want.size())) << file;
    }

    Result info = Kelo("geom info parcels.gpkg");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("layer parcels: 60 features"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("polygon      60"), std::string::npos) << info.out;

    // Areas written into a file as a new field beside the old ones.
    ASSERT_EQ(Kelo("geom area parcels.gpkg -o areas.csv").status, 0);
    const std::string areas = Read(dir / "areas.csv");
    EXPECT_NE(areas.find(",area"), std::string::npos) << areas.substr(0, 200);
    EXPECT_NE(areas.find("parcel 59"), std::string::npos);
}

TEST_F(GeomTool, ConvertKeepsAttributesAndCurvesInEveryFormat) {
    Write("in.csv",
          "id,name,height\n"
          "1,north field,12.5\n"
          "2,\"mill, old\",7\n");
    // The CSV's geometries come from WKT text: a curved parcel and a plain one.
    Write("in.wkt",
          "CURVEPOLYGON (COMPOUNDCURVE ((0 0, 10 0, 10 10), CIRCULARSTRING (10 10, 5 15, 0 10), (0 10, 0 0)))\n"
          "POLYGON ((20 0, 30 0, 25 8, 20 0))\n");
    ASSERT_EQ(Kelo("geom convert in.wkt -o plain.gpkg").status, 0);
    Result wkt = Kelo("geom convert plain.gpkg");
    ASSERT_EQ(wkt.status, 0) << wkt.err;
    EXPECT_EQ(wkt.out, Read(dir / "in.wkt")) << "GeoPackage keeps curves";

    ASSERT_EQ(Sh("ogr2ogr -f GPKG attrs.gpkg in.csv -nln parcels -oo AUTODETECT_TYPE=YES").status, 0);
    // Attach the two geometries to the attribute rows with ogr's SQL, so the input has both.
    ASSERT_EQ(Sh("ogr2ogr -f GPKG both.gpkg in.csv -nln parcels -oo AUTODETECT_TYPE=YES "
                 "-dialect sqlite -sql \"SELECT id, name, height, CASE id WHEN 1 THEN "
                 "ST_GeomFromText('POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (2 2, 2 4, 4 4, 4 2, 2 2))') ELSE "
                 "ST_GeomFromText('POLYGON ((20 0, 30 0, 25 8, 20 0))') END AS geom FROM \\\"in\\\"\"")
                  .status,
              0);
    for (const char* out : {"out.shp", "out.geojson", "out.fgb", "out.csv", "out.gpkg"}) {
        Result r = Kelo(std::string("geom convert both.gpkg -o ") + out);
        ASSERT_EQ(r.status, 0) << out << ": " << r.err;
        Result dump = Sh(std::string("ogr2ogr -f CSV /vsistdout/ ") + out + " -lco GEOMETRY=AS_WKT");
        ASSERT_EQ(dump.status, 0) << dump.err;
        EXPECT_NE(dump.out.find("north field"), std::string::npos) << out << "\n" << dump.out;
        EXPECT_NE(dump.out.find("mill, old"), std::string::npos) << out;
        EXPECT_NE(dump.out.find("12.5"), std::string::npos) << out;
        // The hole comes through, whichever way the format turns the rings.
        Result area = Kelo(std::string("geom area ") + out);
        EXPECT_NE(area.out.find("\t96\n"), std::string::npos) << out << "\n" << area.out;
    }
}

TEST_F(GeomTool, VerbsOnStandardInput) {
    struct Case {
        const char* args;
        const char* input;
        const char* output;
    } cases[] = {
        {"geom transform 10 20 0 1 -1 0", "POINT (1 2)\n", "POINT (8 21)\n"},
        {"geom clip 5 -10 25 5", "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0))\nPOINT (100 100)\nLINESTRING (0 1, 20 1)",
         "POLYGON ((5 0, 10 0, 10 5, 5 5, 5 0))\nLINESTRING (5 1, 20 1)\n"},
        {"geom hull -", "MULTIPOINT ((0 0), (4 0), (2 1), (0 4))", "POLYGON ((0 0, 4 0, 0 4, 0 0))\n"},
        {"geom length", "LINESTRING (0 0, 3 4)\nCIRCULARSTRING (0 0, 1 1, 2 0)", "0\t5\n1\t3.1415926535897931\ntotal\t8.1415926535897931\n"},
        {"geom inner-point", "POLYGON ((0 0, 10 0, 10 2, 0 2, 0 0))", nullptr},
    };
    for (const Case& c : cases) {
        Result r = Kelo(c.args, c.input);
        ASSERT_EQ(r.status, 0) << c.args << ": " << r.err;
        if (c.output) {
            EXPECT_EQ(r.out, c.output) << c.args;
        }
    }
    // The inner point lies inside the thin rectangle.
    Result r = Kelo("geom inner-point", "POLYGON ((0 0, 10 0, 10 2, 0 2, 0 0))");
    double x = 0, y = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "POINT (%lf %lf)", &x, &y), 2) << r.out;
    EXPECT_TRUE(x > 0 && x < 10 && y > 0 && y < 2) << r.out;
}

// Check reports each feature's first defect code, neaten repairs, partition cuts equal parcels.
TEST_F(GeomTool, CheckNeatenAndPartition) {
    const std::string features =
        "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0))\nLINESTRING (0 0, 1 1, 1 1, 2 2)\n"
        "POLYGON ((0 0, 10 0, 0 10, 10 10, 0 0))\nPOLYGON ((0 0, 10 0, 10 10, 0 10))\n";
    Result r = Kelo("geom check 1e-8", features);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<int> codes;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) codes.push_back(std::stoi(line.substr(line.find('\t') + 1)));
    EXPECT_EQ(codes, (std::vector<int>{0, -3, -11, -2}));
    r = Kelo("geom neaten 1e-8", features);
    EXPECT_EQ(r.out,
              "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0))\nLINESTRING (0 0, 1 1, 2 2)\n"
              "MULTIPOLYGON (((5 5, 0 0, 10 0, 5 5)), ((0 10, 5 5, 10 10, 0 10)))\n"
              "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0))\n");
    Write("field.wkt", "POLYGON ((0 0, 100 0, 100 50, 0 50, 0 0))");
    for (const char* verb : {"partition 0 0 0 50 1200", "partition-turn 0 0 100 0 1000"}) {
        ASSERT_EQ(Kelo(std::string("geom ") + verb + " field.wkt -o parcels.wkt").status, 0) << verb;
        r = Kelo("geom area parcels.wkt");
        ASSERT_EQ(r.status, 0) << verb << r.err;
        std::istringstream rows(r.out);
        std::vector<double> areas;
        for (std::string id, value; rows >> id >> value;) areas.push_back(std::stod(value));
        const double parcel = std::string(verb).find("turn") != std::string::npos ? 1000 : 1200;
        ASSERT_EQ(areas.size(), 6u) << verb << r.out;  // the parcels and the total
        for (size_t i = 0; i + 2 < areas.size(); ++i) EXPECT_NEAR(areas[i], parcel, 1e-6) << verb;
        EXPECT_NEAR(areas.back(), 5000, 1e-6);
    }
    r = Kelo("geom partition 0 0 0 50 0", "POLYGON ((0 0, 100 0, 100 50, 0 50, 0 0))");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("parcel area"), std::string::npos) << r.err;
}

TEST_F(GeomTool, BadInputIsRefusedWithExitOneAndExistingOutputKept) {
    Write("keep.geojson", "old content");
    Write("keep.shp", "old shapefile");
    Write("notgeo.gpkg", "this is not a database");
    Write("bad.wkt", "POINT (1 2)\nPOLYGON ((0 0, 1 0, 0 1, 0 0)\n");
    ASSERT_EQ(Sh("printf 'id,WKT\\n1,\"POINT (1 2)\"\\n' > p.csv && ogr2ogr -f GPKG p.gpkg p.csv -nln pts").status, 0);
    struct Case {
        std::string args;
        std::string input;
        std::string message;
    } cases[] = {
        {"geom area missing.gpkg -o keep.geojson", "", "missing.gpkg: no such file"},
        {"geom convert notgeo.gpkg -o keep.geojson", "", "notgeo.gpkg: not a vector file GDAL can read"},
        {"geom convert p.gpkg -l roads -o keep.geojson", "", "p.gpkg: no layer 'roads'"},
        {"geom convert bad.wkt -o keep.geojson", "", "bad.wkt:3:1: expected ')' at 42"},
        {"geom convert -o keep.geojson", "POLYHEDRALSURFACE EMPTY", "stdin:1:1: POLYHEDRALSURFACE cannot be held"},
        {"geom convert -o keep.geojson", "POINT (1 NaN)", "expected a finite number"},
        // The second feature is refused by the format half way through the write.
        {"geom convert -o keep.shp", "POINT (1 2)\nPOLYGON ((0 0, 1 0, 0 1, 0 0))", "cannot write feature 1"},
        {"geom convert -o keep.xyz", "POINT (1 2)", "unknown output format"},
    };
    for (const Case& c : cases) {
        Result r = Kelo(c.args, c.input);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
    }
    EXPECT_EQ(Read(dir / "keep.geojson"), "old content");
    EXPECT_EQ(Read(dir / "keep.shp"), "old shapefile");
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().filename().string().rfind(".kelo-out", 0), std::string::npos) << "temporary left behind";
    EXPECT_EQ(Kelo("geom frobnicate").status, 2);
    EXPECT_EQ(Kelo("geom clip 1 2 3").status, 2);
}

// One RGBA pixel of a PNG, read with GDAL's command-line tool.
std::vector<int> Pixel(const std::string& dir, int x, int y) {
    FILE* p = ::popen(("gdallocationinfo -valonly " + dir + "/pic.png " + std::to_string(x) + " " + std::to_string(y)).c_str(), "r");
    std::vector<int> v;
    int n;
    while (std::fscanf(p, "%d", &n) == 1) v.push_back(n);
    ::pclose(p);
    return v;
}

TEST_F(GeomTool, PictureLeavesHolesOpenAndDrawsArcsAsArcs) {
    // A square with a half-disc on top and a square hole: 10 wide and 15 high, so the frame puts
    // x = 0 at pixel 40 and y = 15 at pixel 40, 48 pixels to a unit.
    Write("shape.wkt",
          "CURVEPOLYGON (COMPOUNDCURVE ((0 0, 10 0, 10 10), CIRCULARSTRING (10 10, 5 15, 0 10), (0 10, 0 0)), "
          "(3 3, 7 3, 7 7, 3 7, 3 3))\n");
    Result r = Kelo("geom convert shape.wkt --svg pic.svg");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string svg = Read(dir / "pic.svg");
    EXPECT_NE(svg.find("fill-rule=\"evenodd\""), std::string::npos);
    EXPECT_NE(svg.find(" A240.00 240.00 0 0 0 "), std::string::npos) << svg;
    ASSERT_EQ(Sh("rsvg-convert -o pic.png pic.svg").status, 0);
    auto X = [](double x) { return static_cast<int>(40 + x * 48); };
    auto Y = [](double y) { return static_cast<int>(40 + (15 - y) * 48); };
    auto white = [&](double x, double y) {
        std::vector<int> px = Pixel(dir.string(), X(x), Y(y));
        return px.size() >= 3 && px[0] == 255 && px[1] == 255 && px[2] == 255;
    };
    EXPECT_FALSE(white(1.5, 1.5)) << "inside the area";
    EXPECT_TRUE(white(5, 5)) << "inside the hole";
    EXPECT_FALSE(white(1.5, 13.4)) << "under the arc but outside its chords";
    EXPECT_TRUE(white(0.8, 14.2)) << "outside the arc";
    EXPECT_TRUE(white(-0.5, 5)) << "outside the shape";

    // kelo plot draws several files, one colour each.
    Write("b.wkt", "LINESTRING (0 0, 10 15)\n");
    ASSERT_EQ(Kelo("plot shape.wkt b.wkt -o two.svg").status, 0);
    const std::string two = Read(dir / "two.svg");
    EXPECT_NE(two.find("#1f77b4"), std::string::npos);
    EXPECT_NE(two.find("#d62728"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(GeomTool, ScriptsReadAndWriteFilesAndWktThroughHostFunctions) {
    Write("in.wkt", "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (2 2, 2 4, 4 4, 4 2, 2 2))\nLINESTRING (0 0, 3 4)\n");
    Write("io.wsp",
          "void main(array args) {\n"
          "    array g = geoRead(\"in.wkt\");\n"
          "    for (int i = 0; i < g.getSize(); i++) println(geoToWkt(g[i]), \" \", geoArea(g[i]), \" \", geoLength(g[i]));\n"
          "    klPoints c = geoFromWkt(\"CURVEPOLYGON (CIRCULARSTRING (0 0, 2 0, 0 0))\");\n"
          "    println(\"%.6f\".format(c.area()));\n"
          "    array out = {c, g[1], geoFromText(\"POINT (5 6)\")};\n"
          "    println(geoWrite(\"out.gpkg\", out));\n"
          "}\n");
    Result r = Kelo("run io.wsp");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (2 2, 2 4, 4 4, 4 2, 2 2)) 96.0 48.0\n"
              "LINESTRING (0 0, 3 4) 0.0 5.0\n"
              "3.141593\n"
              "3\n");
    Result back = Kelo("geom convert out.gpkg");
    EXPECT_EQ(back.out, "CURVEPOLYGON (CIRCULARSTRING (0 0, 2 0, 0 0))\nLINESTRING (0 0, 3 4)\nPOINT (5 6)\n") << back.err;

    Write("bad.wsp", "void main(array args) { klPoints c = geoFromWkt(\"POINT (1 2\"); }\n");
    r = Kelo("run bad.wsp");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("geoFromWkt: expected ')' at 10"), std::string::npos) << r.err;
    Write("missing.wsp", "void main(array args) { array g = geoRead(\"nope.gpkg\"); }\n");
    r = Kelo("run missing.wsp");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("geoRead: nope.gpkg: no such file"), std::string::npos) << r.err;
}

// Node and polygonize work on a whole layer: a square cut by a line through it and a dangle.
TEST_F(GeomTool, NodeAndPolygonizeTakeTheLayerTogether) {
    const std::string input = "POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0))\nLINESTRING (-1 2, 5 2)\nLINESTRING (1 0, 1 1)\n";
    Result r = Kelo("geom node 0", input);
    ASSERT_EQ(r.status, 0) << r.err;
    int lines = 0;
    for (size_t at = 0; (at = r.out.find("LINESTRING", at)) != std::string::npos; ++at) ++lines;
    EXPECT_EQ(lines, 7) << r.out;  // two outer stubs, the cut, two square halves, two dangle pieces
    r = Kelo("geom polygonize 1e-6 -o faces.wkt", input);
    ASSERT_EQ(r.status, 0) << r.err;
    Result areas = Kelo("geom area faces.wkt");
    EXPECT_EQ(areas.out, "0\t8\n1\t8\ntotal\t16\n");
    r = Kelo("geom polygonize x", input);
    EXPECT_EQ(r.status, 2);

    Write("faces.wsp",
          "void main(array args) {\n"
          "    array g = {geoFromWkt(\"POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0))\"), geoFromWkt(\"LINESTRING (0 2, 4 2)\")};\n"
          "    array f = geoPolygonize(g, 0.000001);\n"
          "    println(f.getSize(), \" \", geoArea(f[0]) + geoArea(f[1]), \" \", geoNode(g, 0).getSize());\n"
          "}\n");
    r = Kelo("run faces.wsp");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2 16.0 3\n");
}

}  // namespace

// relate and distance take two inputs and answer for every pair of their features.
TEST_F(GeomTool, RelateAndDistanceAnswerEveryPair) {
    Write("a.wkt", "POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0))\nPOINT (10 10)\n");
    Write("b.wkt", "POLYGON ((2 2, 6 2, 6 6, 2 6, 2 2))\nLINESTRING (4 0, 4 4)\n");
    Result r = Kelo("geom relate a.wkt b.wkt");
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::vector<std::string> de9im;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream f(line);
        std::string fa, fb, name, text;
        f >> fa >> fb >> name >> text;
        de9im.push_back(text);
    }
    // Overlapping squares; a square and a line along its edge; a point apart from both.
    ASSERT_EQ(de9im.size(), 4u) << r.out;
    EXPECT_EQ(de9im[0], "212101212");
    EXPECT_EQ(de9im[1], "FF2101FF2");
    EXPECT_EQ(de9im[2], "FF0FFF212");
    EXPECT_EQ(de9im[3], "FF0FFF102");

    r = Kelo("geom distance a.wkt b.wkt");
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream d(r.out);
    std::vector<double> dist;
    for (std::string fa, fb; d >> fa >> fb;) dist.emplace_back(), d >> dist.back();
    ASSERT_EQ(dist.size(), 4u) << r.out;
    EXPECT_EQ(dist[0], 0);
    EXPECT_EQ(dist[1], 0);
    EXPECT_NEAR(dist[2], std::hypot(4, 4), 1e-12);
    EXPECT_NEAR(dist[3], std::hypot(6, 6), 1e-12);

    EXPECT_EQ(Kelo("geom relate a.wkt").status, 2);
    EXPECT_EQ(Kelo("geom relate a.wkt b.wkt -1").status, 2);
    EXPECT_EQ(Kelo("geom distance a.wkt missing.wkt").status, 1);
}

#include "support/geos_oracle.h"

namespace {

// Parcels of a Voronoi diagram against buffered rivers, the kind of layers a dissolve and an
// intersection meet in real work; every total must be GEOS's. GEOS makes the inputs.
TEST_F(GeomTool, DissolveAndIntersectRealisticLayersAgreeWithGeos) {
    kelo_test::GeosOracle geos;
    GEOSContextHandle_t h = geos.ctx();
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(0, 1000);
    GEOSGeometry* pts[2000];
    for (GEOSGeometry*& p : pts) p = GEOSGeom_createPointFromXY_r(h, u(rng), u(rng));
    auto sites = geos.Own(GEOSGeom_createCollection_r(h, GEOS_MULTIPOINT, pts, 2000));
    auto cells = geos.Own(GEOSVoronoiDiagram_r(h, sites.get(), nullptr, 0, 0));
    auto frame = geos.FromWkt("POLYGON((0 0, 1000 0, 1000 1000, 0 1000, 0 0))");
    std::string parcels, rivers;
    std::vector<kelo_test::GeosOracle::Ptr> parcelGeoms, riverGeoms;
    auto wkt = [&](const GEOSGeometry* g) {
        char* t = GEOSGeomToWKT_r(h, g);
        std::string s = t;
        GEOSFree_r(h, t);
        return s + "\n";
    };
    for (int i = 0; i < GEOSGetNumGeometries_r(h, cells.get()); ++i) {
        auto clipped = geos.Own(GEOSIntersection_r(h, GEOSGetGeometryN_r(h, cells.get(), i), frame.get()));
        parcels += wkt(clipped.get());
        parcelGeoms.push_back(std::move(clipped));
    }
    for (int r = 0; r < 3; ++r) {
        std::string line = "LINESTRING(";
        for (int k = 0; k <= 20; ++k)
            line += std::to_string(-50 + k * 55) + " " + std::to_string(150 + 300 * r + 60 * std::sin(k * 0.7 + r)) + (k < 20 ? ", " : ")");
        auto river = geos.Own(GEOSBuffer_r(h, geos.FromWkt(line).get(), 8 + 6 * r, 8));
        rivers += wkt(river.get());
        riverGeoms.push_back(std::move(river));
    }
    Write("parcels.wkt", parcels);
    Write("rivers.wkt", rivers);
    auto total = [&](const std::string& text) {
        double sum = 0;
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);)
            if (!l.empty()) sum += geos.Area(geos.FromWkt(l).get());
        return sum;
    };

    const Result dissolved = Kelo("geom dissolve parcels.wkt --svg d.svg");
    ASSERT_EQ(dissolved.status, 0) << dissolved.err;
    std::vector<GEOSGeometry*> raw;
    for (auto& p : parcelGeoms) raw.push_back(GEOSGeom_clone_r(h, p.get()));
    auto all = geos.Own(GEOSGeom_createCollection_r(h, GEOS_GEOMETRYCOLLECTION, raw.data(), static_cast<unsigned>(raw.size())));
    auto merged = geos.Own(GEOSUnaryUnion_r(h, all.get()));
    EXPECT_NEAR(total(dissolved.out), geos.Area(merged.get()), 1e-9 * 1e6);
    EXPECT_TRUE(fs::exists(dir / "d.svg"));

    const Result common = Kelo("geom intersection parcels.wkt rivers.wkt");
    ASSERT_EQ(common.status, 0) << common.err;
    double want = 0;
    for (auto& p : parcelGeoms)
        for (auto& r : riverGeoms) want += geos.Area(geos.Own(GEOSIntersection_r(h, p.get(), r.get())).get());
    EXPECT_NEAR(total(common.out), want, 1e-9 * 1e6);
    const Result left = Kelo("geom difference rivers.wkt parcels.wkt");
    ASSERT_EQ(left.status, 0) << left.err;
    double outside = 0;  // the rivers run past the parcels' frame
    for (auto& r : riverGeoms) outside += geos.Area(geos.Own(GEOSDifference_r(h, r.get(), merged.get())).get());
    EXPECT_NEAR(total(left.out), outside, 1e-9 * 1e6);
}

}  // namespace

namespace {

// The overlay reaches scripts and the command line: areas, lines, dissolve grouped by a field.
TEST_F(GeomTool, OverlayVerbsAndHostFunctions) {
    Write("ov.wsp",
          "void main(array args) {\n"
          "    klPoints a = geoFromWkt(\"POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0))\");\n"
          "    klPoints b = geoFromWkt(\"POLYGON ((2 0, 6 0, 6 4, 2 4, 2 0))\");\n"
          "    klPoints l = geoFromWkt(\"LINESTRING (0 0, 10 0)\");\n"
          "    klPoints m = geoFromWkt(\"LINESTRING (4 0, 14 0)\");\n"
          "    println(geoArea(geoUnion(a, b)), \" \", geoArea(geoIntersection(a, b)), \" \", geoArea(geoDifference(a, b)), \" \",\n"
          "            geoArea(geoSymDifference(a, b)), \" \", geoLength(geoIntersection(l, m)), \" \", geoArea(geoDissolve({a, b})));\n"
          "}\n");
    Result r = Kelo("run ov.wsp");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "24.0 8.0 8.0 16.0 6.0 24.0\n");

    Write("a.csv", "WKT,zone\n\"POLYGON((0 0,4 0,4 4,0 4,0 0))\",x\n\"POLYGON((4 0,8 0,8 4,4 4,4 0))\",x\n\"POLYGON((0 10,1 10,1 11,0 11,0 10))\",y\n");
    Result d = Kelo("geom dissolve a.csv zone");
    ASSERT_EQ(d.status, 0) << d.err;
    // The merged square keeps the vertices where the two met.
    EXPECT_EQ(d.out, "POLYGON ((0 4, 0 0, 4 0, 8 0, 8 4, 4 4, 0 4))\nPOLYGON ((0 10, 1 10, 1 11, 0 11, 0 10))\n");
    EXPECT_EQ(Kelo("geom dissolve a.csv nofield").status, 1);
    Write("b.wkt", "POLYGON((2 2, 10 2, 10 3, 2 3, 2 2))\n");
    Result s = Kelo("geom split a.csv b.wkt");
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(std::count(s.out.begin(), s.out.end(), '\n'), 3);
    EXPECT_EQ(Kelo("geom union a.csv").status, 2);
}

}  // namespace

// Simplify and buffer from the command line and from scripts: the styles reach the library (a
// square-capped, mitred L and an exact disc have known areas), and bad styles are refused.
TEST_F(GeomTool, SimplifyAndBufferWithTheirStyles) {
    struct Case {
        const char* args;
        const char* input;
        const char* output;  // WKT, or the area after "area "
        int status;
    } cases[] = {
        {"geom simplify 0.5", "LINESTRING (0 0, 1 0.1, 2 -0.1, 3 0, 4 2)", "LINESTRING (0 0, 3 0, 4 2)\n", 0},
        {"geom buffer 1 --cap square --join mitre", "LINESTRING (0 0, 10 0, 10 5)", "area 34", 0},
        {"geom buffer 1 --cap flat --side left", "LINESTRING (0 0, 10 0)", "area 10", 0},
        {"geom buffer 2 --arc", "POINT (3 3)", "area 12.566", 0},
        {"geom buffer 1 --cap hat", "POINT (0 0)", nullptr, 2},
        {"geom buffer 1 --tol 1", "POINT (0 0)", nullptr, 2},
        {"geom clip 0 0 1 1 --arc", "POINT (0 0)", nullptr, 2},
        {"geom buffer 0", "POINT (0 0)", nullptr, 1},
    };
    for (const Case& c : cases) {
        Result r = Kelo(c.args, c.input);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
        if (!c.output) continue;
        if (std::string(c.output).rfind("area ", 0) != 0) {
            EXPECT_EQ(r.out, c.output) << c.args;
            continue;
        }
        Result a = Kelo("geom area", r.out);
        double area = 0;
        ASSERT_EQ(std::sscanf(a.out.c_str(), "0\t%lf", &area), 1) << a.out << a.err;
        EXPECT_NEAR(area, std::atof(c.output + 5), 1e-3) << c.args;
    }
    Write("b.wsp",
          "void main(array args) {\n"
          "    klPoints line = geoFromWkt(\"LINESTRING (0 0, 1 0.1, 2 -0.1, 3 0)\");\n"
          "    println(geoToWkt(geoSimplify(line, 0.5)));\n"
          "    println(\"%.3f\".format(geoArea(geoBuffer(geoSimplify(line, 0.5), 1, 1, 0, 3, 0.01))));\n"
          "}\n");
    Result r = Kelo("run b.wsp");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "LINESTRING (0 0, 3 0)\n10.000\n");
}
