// The surface verbs of kelo end to end on the example terrain: each runs, reports what it made,
// and refuses bad requests with a message instead of an empty file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status;
    std::string out;
};

ToolRun Kelo(const std::string& args) {
    const std::string cmd = std::string(KELO_TOOL_PATH) + " " + args + " 2>&1";
    ToolRun r{0, ""};
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return {-1, ""};
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    r.status = ::pclose(p);
    return r;
}

TEST(SurfaceTool, VerbsRunAndRefuseBadRequests) {
    const fs::path dir = fs::temp_directory_path() / ("kelo_surface_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string dem = std::string(KELO_SOURCE_DIR) + "/examples/terrain.asc", d = dir.string() + "/";
    struct Case {
        std::string args, expect;
        bool ok;
    };
    const Case cases[] = {
        {"raster contour " + dem + " " + d + "c.geojson --interval 40 --png " + d + "c.png", " contours", true},
        {"raster contour " + dem + " " + d + "x.geojson --interval 0.0001", "more than 30000 levels", false},
        {"raster viewshed " + dem + " " + d + "v.tif --at 500640,4200640 --height 2", "visible\t", true},
        {"raster viewshed " + dem + " " + d + "v.tif --at 0,0", "outside the grid", false},
        {"raster profile " + dem + " --from 500100,4200100 --to 500300,4200100", "200\t500300\t4200100\t", true},
        {"raster profile " + dem + " --from 500100,4200100 --to 500900,4200900 --height 2", "distance\theight\tvisible", true},
        {"raster grid " + d + "c.geojson " + d + "g.tif --cell 20 --method idw", " cells from ", true},
        {"geom triangulate " + d + "c.geojson -o " + d + "t.geojson", "", true},
    };
    for (const Case& c : cases) {
        const ToolRun r = Kelo(c.args);
        EXPECT_EQ(r.status == 0, c.ok) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.expect), std::string::npos) << c.args << "\n" << r.out;
    }
    EXPECT_GT(fs::file_size(d + "c.png"), 1000u);
    EXPECT_GT(fs::file_size(d + "t.geojson"), 1000u);
    EXPECT_FALSE(fs::exists(d + "x.geojson"));
    fs::remove_all(dir);
}

}  // namespace
