#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "KeloGeomNet.h"
#include "support/temp_home.h"

using namespace kelo;

namespace {

// Restores the process-wide tolerances whatever a test does to them.
class ToleranceTest : public ::testing::Test {
protected:
    void SetUp() override {
        eps_ = g_epsZero;
        lim_ = g_epsLimit;
        ten_ = GetGzZlytParameter();
    }
    void TearDown() override {
        g_epsZero = eps_;
        g_epsLimit = lim_;
        SetGzZlytParameter(ten_);
    }
    double eps_, lim_, ten_;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(ToleranceDefaults, SetWhenTheLibraryLoads) {
    // Runs first in its own process under ctest: nothing has touched the globals yet.
    EXPECT_EQ(g_epsZero, 1e-6);
    EXPECT_EQ(g_epsLimit, 0.001);
    EXPECT_EQ(GetGzZlytParameter(), 15.0);
    EXPECT_EQ(GetNodata(), 999999);
    EXPECT_EQ(SetCoordEps(123), 1e-6);
    EXPECT_EQ(SetCoordEps(0), 1e-6);  // reports, never changes
}

TEST_F(ToleranceTest, ClampsAndCompanionHandOver) {
    EXPECT_EQ(SetGzCoordEpsZero(1e-9), 1e-6);
    EXPECT_EQ(g_epsZero, 1e-8);
    EXPECT_EQ(GetMINI(), 1e-10);
    SetGzCoordEpsZero(1e-6);
    EXPECT_EQ(GetMINI(), 1e-8);
    SetGzCoordEpsZero(5e-7);
    EXPECT_EQ(GetMINI(), 1e-10);
    EXPECT_EQ(GetGzCoordEpsZero(), 5e-7);

    SetGzCoordEpsZero(1e-4);
    EXPECT_EQ(SetGzSys01mmRealLen(0), 0.001);
    EXPECT_EQ(g_epsLimit, 1e-4);
    SetGzSys01mmRealLen(0.5);
    EXPECT_EQ(GetGzSys01mmRealLen(), 0.5);
    g_epsLimit = 1e-12;
    EXPECT_EQ(GetGzSys01mmRealLen(), 0.001);

    EXPECT_EQ(SetGzZlytParameter(40), 15.0);
    EXPECT_EQ(GetGzZlytParameter(), 15.0);
    SetGzZlytParameter(0.49);
    EXPECT_EQ(GetGzZlytParameter(), 0.49);
    SetGzZlytParameter(30.01);
    EXPECT_EQ(GetGzZlytParameter(), 30.01);
    EXPECT_EQ(SetGzZlytParameter(0.48), 30.01);
    EXPECT_EQ(GetGzZlytParameter(), 15.0);
}

TEST(ToleranceScale, Bands) {
    struct { double s, eps; } bands[] = {
        {0, 1e-8}, {9.99, 1e-8}, {10, 1e-7}, {-500, 1e-7}, {999.9, 1e-7}, {1000, 1e-6}, {9999, 1e-6},
        {10000, 1e-5}, {999999, 1e-5}, {1e6, 0.001}, {5e6, 0.001}, {-5e6, 0.001}, {1e8, 0.1}, {1e300, 0.1}};
    for (auto& b : bands) EXPECT_EQ(Cal_epsZero_ByScale(b.s), b.eps) << b.s;
}

TEST_F(ToleranceTest, LoadAndWriteThroughARealSettingsFile) {
    kelo_test::TempHome home;
    // No file yet: the documented defaults.
    EXPECT_EQ(LoadGzCoordEpsZero(false), 0.0001);
    EXPECT_EQ(LoadGzCoordEpsZero(true), 1e-8);

    WriteGzCoordEpsZero(0.00025, false);
    WriteGzCoordEpsZero(3e-9, true);
    std::string text = ReadFile(home.path("Kelo.ini"));
    EXPECT_NE(text.find("[SysPara]"), std::string::npos);
    EXPECT_NE(text.find("CoordEps0Met=0.00025"), std::string::npos);  // "%g"
    EXPECT_NE(text.find("CoordEps0Deg=3e-09"), std::string::npos);
    EXPECT_EQ(LoadGzCoordEpsZero(false), 0.00025);
    EXPECT_EQ(LoadGzCoordEpsZero(true), 1e-8);  // raised to the floor
    EXPECT_EQ(g_epsZero, eps_);                 // loading never sets the tolerance

    // Other sections and keys survive a write; text that is no number reads as 0, then the floor.
    {
        std::ofstream out(home.path("Kelo.ini"));
        out << "; comment\n[Other]\nCoordEps0Met=7\n\n[syspara]\nCoordEps0Met = garbage\nKeep=1\n";
    }
    EXPECT_EQ(LoadGzCoordEpsZero(false), 1e-8);
    WriteGzCoordEpsZero(0.002, false);
    text = ReadFile(home.path("Kelo.ini"));
    EXPECT_NE(text.find("[Other]\nCoordEps0Met=7"), std::string::npos);
    EXPECT_NE(text.find("Keep=1"), std::string::npos);
    EXPECT_NE(text.find("; comment"), std::string::npos);
    EXPECT_EQ(LoadGzCoordEpsZero(false), 0.002);
}

TEST_F(ToleranceTest, UnwritableSettingsLeaveTheOldFile) {
    kelo_test::TempHome home;
    WriteGzCoordEpsZero(0.003, false);
    std::string before = ReadFile(home.path("Kelo.ini"));
    // Permissions do not stop root, so block the write another way: a directory holds the
    // temporary file's name.
    std::string blocker = home.path("Kelo.ini.tmp." + std::to_string(getpid()));
    ASSERT_EQ(mkdir(blocker.c_str(), 0700), 0);
    EXPECT_EQ(WriteKeloProfileString("SysPara", "CoordEps0Met", "9", "Kelo.ini", -1), 0);
    EXPECT_EQ(ReadFile(home.path("Kelo.ini")), before);
    EXPECT_EQ(LoadGzCoordEpsZero(false), 0.003);
    rmdir(blocker.c_str());
}

TEST_F(ToleranceTest, NonFiniteSettingsAreClamped) {
    SetGzCoordEpsZero(std::nan(""));
    EXPECT_EQ(g_epsZero, 1e-8);
    SetGzSys01mmRealLen(std::nan(""));
    EXPECT_EQ(g_epsLimit, g_epsZero);
    g_epsLimit = std::nan("");
    EXPECT_EQ(GetGzSys01mmRealLen(), 0.001);
    EXPECT_EQ(SetGzZlytParameter(std::nan("")), 15.0);
    EXPECT_EQ(GetGzZlytParameter(), 15.0);
}

TEST_F(ToleranceTest, SettingsFileIgnoresTheHostLocale) {
    kelo_test::TempHome home;
    // A host may run in a comma-decimal locale; the file always uses a decimal point.
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    bool switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    WriteGzCoordEpsZero(0.00025, false);
    EXPECT_EQ(LoadGzCoordEpsZero(false), 0.00025);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_NE(ReadFile(home.path("Kelo.ini")).find("CoordEps0Met=0.00025"), std::string::npos);
    if (!switched) GTEST_LOG_(INFO) << "no comma-decimal locale installed; checked in the C locale only";
    // Line breaks cannot be written into keys or values.
    EXPECT_EQ(WriteKeloProfileString("SysPara", "K", "1\n[Evil]", "Kelo.ini"), 0);
    EXPECT_EQ(ReadFile(home.path("Kelo.ini")).find("Evil"), std::string::npos);
}
