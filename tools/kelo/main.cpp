// kelo: the command-line host of KeloGeomNet.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "KeloGeomNet.h"

namespace {

void PrintUsage(FILE* out) {
    std::fprintf(out,
                 "kelo %s - command-line host of the KeloGeomNet geometry library\n"
                 "usage:\n"
                 "  kelo version        print the version\n"
                 "  kelo demo           run a short self-check of the library\n"
                 "  kelo run SCRIPT [ARGS...]\n"
                 "                      run a KeloScript file; ARGS become main's array args\n"
                 "  kelo help           this text\n",
                 KELO_VERSION_STRING);
}

// Script output goes to standard output as the script wrote it; error texts are GBK and are
// converted for the terminal.
int RunScript(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "kelo run: missing script file\n");
        return 2;
    }
    std::vector<std::string> args(argv + 3, argv + argc);
    std::string error;
    if (kelo::RunKeloScriptFile(argv[2], args, nullptr, error)) return 0;
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", kelo::GbkToTerminal(error).c_str());
    return 1;
}

int Check(bool ok, const char* what) {
    std::printf("  %-48s %s\n", what, ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}

int RunDemo() {
    using namespace kelo;
    std::printf("KeloGeomNet %s self-check\n", KELO_VERSION_STRING);
    int failures = 0;
    failures += Check(GetGzCoordEpsZero() == 1e-6 && GetGzSys01mmRealLen() == 0.001, "tolerances at their defaults");
    failures += Check(GetNodata() == 999999, "nodata value 999999");
    Box b;
    b.add(3, 4);
    b.add(-1, 2);
    double w = 0, h = 0;
    failures += Check(b.GetSize(w, h) && w == 4 && h == 2, "box grows to its points");
    keloPoint p(3, 4, 0);
    p.SetMF(7, 2.5f);
    uint16_t id = 0;
    float v = 0;
    failures += Check(p.GetMF(id, v) && id == 7 && v == 2.5f && p.length2D() == 5, "vertex measure carried in z");
    Point3D eq[2] = {{0, 0, 0}, {1, 0, 0}};
    DistandAreaInquiry geo(eq, 2, 1);
    geo.SetEllipse(kEllipsoidWgs84);
    double len = geo.GetDist();
    std::printf("  one degree of longitude on the equator (WGS 84): %.2f m\n", len);
    failures += Check(len > 111319.4 && len < 111319.6, "geodesic length");
    std::string text = GbkToTerminal(ToGbk("文件不存在!"));
    std::printf("  GBK message round trip: %s\n", text.c_str());
    std::printf("%s\n", failures == 0 ? "all checks passed" : "some checks FAILED");
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    if (argc < 2 || std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0) {
        PrintUsage(stdout);
        return argc < 2 ? 2 : 0;
    }
    std::string cmd = argv[1];
    if (cmd == "version" || cmd == "--version") {
        std::printf("kelo %s\n", KELO_VERSION_STRING);
        return 0;
    }
    if (cmd == "demo") return RunDemo();
    if (cmd == "run") return RunScript(argc, argv);
    std::fprintf(stderr, "kelo: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
