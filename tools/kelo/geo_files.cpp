#include "geo_files.h"

#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>
#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <iostream>
#include <sstream>
#include <unistd.h>

namespace kelo_tool {

using namespace kelo;
namespace fs = std::filesystem;

struct Attributes {
    OGRFeatureH feature = nullptr;
    ~Attributes() {
        if (feature) OGR_F_Destroy(feature);
    }
};

struct Schema {
    OGRFeatureDefnH defn = nullptr;
    OGRSpatialReferenceH srs = nullptr;
    ~Schema() {
        if (defn) OGR_FD_Release(defn);
        if (srs) OSRRelease(srs);
    }
};

GeoFeature::GeoFeature() = default;
GeoFeature::~GeoFeature() = default;
GeoFeature::GeoFeature(GeoFeature&& o) noexcept { *this = std::move(o); }
GeoFeature& GeoFeature::operator=(GeoFeature&& o) noexcept {
    // The object's record moves by adoption; the source is left empty.
    geom.DeleteContent();
    static_cast<WKBGeometry&>(geom) = static_cast<WKBGeometry&>(o.geom);
    static_cast<WKBGeometry&>(o.geom) = WKBGeometry{};
    hasGeometry = o.hasGeometry;
    fid = o.fid;
    attributes = std::move(o.attributes);
    return *this;
}

namespace {

// GDAL is set up once, quietly: its own messages become our error texts.
void EnsureGdal() {
    static bool done = false;
    if (done) return;
    done = true;
    GDALAllRegister();
    CPLSetErrorHandler(CPLQuietErrorHandler);
}

std::string LastGdalError() {
    const char* m = CPLGetLastErrorMsg();
    return m && *m ? std::string(": ") + m : std::string();
}

bool FromOgr(OGRGeometryH g, GM_Object& out, std::string& error) {
    const size_t n = OGR_G_WkbSizeEx(g);
    std::vector<unsigned char> wkb(n);
    if (OGR_G_ExportToIsoWkb(g, wkbNDR, wkb.data()) != OGRERR_NONE) {
        error = "cannot export the geometry" + LastGdalError();
        return false;
    }
    StandardFormInfo info;
    if (!WkbToGeometry(wkb.data(), wkb.size(), out, &info)) {
        error = info.error;
        return false;
    }
    return true;
}

OGRGeometryH ToOgr(const GM_Object& g, std::string& error) {
    std::vector<uint8_t> wkb;
    StandardFormInfo info;
    if (!GeometryToWkb(g, wkb, {}, &info)) {
        error = info.error;
        return nullptr;
    }
    OGRGeometryH out = nullptr;
    if (OGR_G_CreateFromWkbEx(wkb.data(), nullptr, &out, wkb.size()) != OGRERR_NONE) {
        error = "GDAL refused a geometry" + LastGdalError();
        return nullptr;
    }
    return out;
}

bool ReadLayer(OGRLayerH layer, GeoLayer& out, std::string& error, void (*progress)(size_t, size_t)) {
    out.name = OGR_L_GetName(layer);
    out.declaredType = OGRGeometryTypeToName(OGR_L_GetGeomType(layer));
    out.schema = std::make_shared<Schema>();
    out.schema->defn = OGR_L_GetLayerDefn(layer);
    OGR_FD_Reference(out.schema->defn);
    if (OGRSpatialReferenceH srs = OGR_L_GetSpatialRef(layer)) out.schema->srs = OSRClone(srs);
    const GIntBig total = OGR_L_GetFeatureCount(layer, FALSE);
    OGR_L_ResetReading(layer);
    size_t done = 0;
    while (OGRFeatureH f = OGR_L_GetNextFeature(layer)) {
        GeoFeature feature;
        feature.fid = OGR_F_GetFID(f);
        OGRGeometryH g = OGR_F_GetGeometryRef(f);
        feature.hasGeometry = g != nullptr;
        if (g && !FromOgr(g, feature.geom, error)) {
            error = "layer '" + out.name + "', feature " + std::to_string(feature.fid) + ": " + error;
            OGR_F_Destroy(f);
            return false;
        }
        // Attributes only: the geometry lives in the object from now on.
        OGR_F_SetGeometryDirectly(f, nullptr);
        feature.attributes = std::make_shared<Attributes>();
        feature.attributes->feature = f;
        out.features.push_back(std::move(feature));
        if (progress) progress(++done, total > 0 ? static_cast<size_t>(total) : 0);
    }
    return true;
}

}  // namespace

bool ReadWktText(const std::string& text, const std::string& name, GeoLayer& out, std::string& error,
                 void (*progress)(size_t, size_t)) {
    out.name = name;
    out.declaredType = "WKT";
    size_t pos = 0;
    for (long long fid = 0;; ++fid) {
        GeoFeature f;
        StandardFormInfo info;
        if (!WktNextGeometry(text, pos, f.geom, &info)) {
            if (info.error.empty()) return true;
            // Offsets in a long input mean little; the line and column do.
            size_t line = 1, col = 1;
            for (size_t i = 0; i < info.errorOffset && i < text.size(); ++i) {
                if (text[i] == '\n') {
                    ++line;
                    col = 1;
                } else {
                    ++col;
                }
            }
            error = name + ":" + std::to_string(line) + ":" + std::to_string(col) + ": " + info.error;
            return false;
        }
        f.fid = fid;
        out.features.push_back(std::move(f));
        if (progress) progress(pos, text.size());
    }
}

bool ReadGeoFile(const std::string& path, const std::string& layer, std::vector<GeoLayer>& out, std::string& error,
                 void (*progress)(size_t, size_t)) {
    if (path == "-") {
        std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
        out.emplace_back();
        if (!layer.empty() && layer != "stdin") {
            error = "no layer '" + layer + "' in standard input (its one layer is 'stdin')";
            return false;
        }
        return ReadWktText(text, "stdin", out.back(), error, progress);
    }
    std::error_code ec;
    // GDAL's virtual paths (/vsizip/..., /vsicurl/...) and URLs are GDAL's to find.
    const bool virtualPath = path.rfind("/vsi", 0) == 0 || path.find("://") != std::string::npos;
    if (!virtualPath && !fs::exists(path, ec)) {
        error = path + ": no such file";
        return false;
    }
    const std::string ext = fs::path(path).extension().string();
    if (ext == ".wkt" || ext == ".txt") {
        std::ifstream in(path, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        out.emplace_back();
        return ReadWktText(text, path, out.back(), error, progress);
    }
    EnsureGdal();
    GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    if (!ds) {
        error = path + ": not a vector file GDAL can read" + LastGdalError();
        return false;
    }
    bool ok = true;
    if (!layer.empty()) {
        OGRLayerH l = GDALDatasetGetLayerByName(ds, layer.c_str());
        if (!l) {
            error = path + ": no layer '" + layer + "'";
            ok = false;
        } else {
            out.emplace_back();
            ok = ReadLayer(l, out.back(), error, progress);
        }
    } else {
        const int n = GDALDatasetGetLayerCount(ds);
        for (int i = 0; ok && i < n; ++i) {
            out.emplace_back();
            ok = ReadLayer(GDALDatasetGetLayer(ds, i), out.back(), error, progress);
        }
        if (ok && n == 0) {
            error = path + ": no vector layers";
            ok = false;
        }
    }
    if (!ok && error.rfind(path, 0) != 0) error = path + ": " + error;
    GDALClose(ds);
    return ok;
}

void DropSpatialReference(GeoLayer& layer) {
    if (!layer.schema || !layer.schema->srs) return;
    auto plain = std::make_shared<Schema>();
    plain->defn = layer.schema->defn;
    if (plain->defn) OGR_FD_Reference(plain->defn);
    layer.schema = plain;
}

std::string DriverFor(const std::string& path, const std::string& format) {
    if (!format.empty()) return format;
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".gpkg") return "GPKG";
    if (ext == ".shp") return "ESRI Shapefile";
    if (ext == ".geojson" || ext == ".json") return "GeoJSON";
    if (ext == ".fgb") return "FlatGeobuf";
    if (ext == ".csv") return "CSV";
    if (ext == ".wkt" || ext == ".txt") return "WKT";
    return "";
}

namespace {

// A fresh directory beside the output; removed with whatever it holds unless committed.
struct TempDir {
    fs::path dir;
    bool committed = false;
    explicit TempDir(const fs::path& near) {
        fs::path parent = near.parent_path().empty() ? fs::path(".") : near.parent_path();
        std::string templ = (parent / ".kelo-out-XXXXXX").string();
        if (char* made = mkdtemp(templ.data())) dir = made;
    }
    ~TempDir() {
        std::error_code ec;
        if (!dir.empty()) fs::remove_all(dir, ec);
    }
    // Moves every file written into the output's directory, replacing what was there.
    bool Commit(const fs::path& target, std::string& error) {
        fs::path parent = target.parent_path().empty() ? fs::path(".") : target.parent_path();
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir, ec)) {
            fs::rename(e.path(), parent / e.path().filename(), ec);
            if (ec) {
                error = (parent / e.path().filename()).string() + ": " + ec.message();
                return false;
            }
        }
        return true;
    }
};

bool WriteWktLines(const std::string& path, const std::vector<GeoLayer>& layers, std::string& error) {
    std::string text;
    for (const GeoLayer& l : layers)
        for (const GeoFeature& f : l.features) {
            std::string wkt;
            if (!GeometryToWkt(f.geom, wkt)) {
                error = "feature " + std::to_string(f.fid) + ": cannot be written as WKT";
                return false;
            }
            text += wkt + "\n";
        }
    return WriteTextFile(path, text, error);
}

}  // namespace

bool WriteTextFile(const std::string& path, const std::string& text, std::string& error) {
    TempDir tmp{fs::path(path)};
    if (tmp.dir.empty()) {
        error = path + ": cannot create a temporary beside it: " + std::strerror(errno);
        return false;
    }
    fs::path file = tmp.dir / fs::path(path).filename();
    {
        std::ofstream out(file, std::ios::binary);
        out << text;
        out.flush();
        if (!out) {
            error = path + ": write failed";
            return false;
        }
    }
    return tmp.Commit(fs::path(path), error);
}

bool WriteGeoFile(const std::string& path, const std::string& format, const std::vector<GeoLayer>& layers,
                  std::string& error, const std::string& extraField,
                  const std::vector<std::vector<double>>* extraValues) {
    const std::string driverName = DriverFor(path, format);
    if (driverName.empty()) {
        error = path + ": unknown output format (name it with -f, or use .gpkg .shp .geojson .fgb .csv .wkt)";
        return false;
    }
    if (driverName == "WKT") return WriteWktLines(path, layers, error);
    EnsureGdal();
    GDALDriverH driver = GDALGetDriverByName(driverName.c_str());
    if (!driver) {
        error = "GDAL has no driver '" + driverName + "'";
        return false;
    }
    TempDir tmp{fs::path(path)};
    if (tmp.dir.empty()) {
        error = path + ": cannot create a temporary beside it: " + std::strerror(errno);
        return false;
    }
    const std::string file = (tmp.dir / fs::path(path).filename()).string();
    GDALDatasetH ds = GDALCreate(driver, file.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
    if (!ds) {
        error = path + ": cannot create" + LastGdalError();
        return false;
    }
    bool ok = true;
    // One transaction for the whole write where the format has them (GeoPackage): a commit per
    // feature would make large outputs crawl.
    const bool transaction = GDALDatasetStartTransaction(ds, FALSE) == OGRERR_NONE;
    for (size_t li = 0; ok && li < layers.size(); ++li) {
        const GeoLayer& l = layers[li];
        char** options = nullptr;
        if (driverName == "CSV") options = CSLSetNameValue(options, "GEOMETRY", "AS_WKT");
        OGRSpatialReferenceH srs = l.schema ? l.schema->srs : nullptr;
        std::string name = layers.size() == 1 ? fs::path(path).stem().string() : l.name;
        OGRLayerH out = GDALDatasetCreateLayer(ds, name.c_str(), srs, wkbUnknown, options);
        CSLDestroy(options);
        if (!out) {
            error = path + ": cannot create layer '" + name + "'" + LastGdalError();
            ok = false;
            break;
        }
        if (l.schema && l.schema->defn) {
            for (int i = 0; ok && i < OGR_FD_GetFieldCount(l.schema->defn); ++i)
                if (OGR_L_CreateField(out, OGR_FD_GetFieldDefn(l.schema->defn, i), TRUE) != OGRERR_NONE) {
                    error = path + ": cannot create a field" + LastGdalError();
                    ok = false;
                }
        }
        if (ok && !extraField.empty()) {
            OGRFieldDefnH fd = OGR_Fld_Create(extraField.c_str(), OFTReal);
            if (OGR_L_CreateField(out, fd, TRUE) != OGRERR_NONE) {
                error = path + ": cannot create field '" + extraField + "'" + LastGdalError();
                ok = false;
            }
            OGR_Fld_Destroy(fd);
        }
        OGRFeatureDefnH defn = OGR_L_GetLayerDefn(out);
        const int extraIndex = extraField.empty() ? -1 : OGR_FD_GetFieldIndex(defn, extraField.c_str());
        for (size_t fi = 0; ok && fi < l.features.size(); ++fi) {
            const GeoFeature& src = l.features[fi];
            OGRFeatureH f = OGR_F_Create(defn);
            if (src.attributes && src.attributes->feature) OGR_F_SetFrom(f, src.attributes->feature, TRUE);
            if (extraIndex >= 0 && extraValues) OGR_F_SetFieldDouble(f, extraIndex, (*extraValues)[li][fi]);
            if (src.hasGeometry) {
                OGRGeometryH g = ToOgr(src.geom, error);
                if (!g) ok = false;
                else OGR_F_SetGeometryDirectly(f, g);
            }
            if (ok && OGR_L_CreateFeature(out, f) != OGRERR_NONE) {
                error = path + ": cannot write feature " + std::to_string(src.fid) + LastGdalError();
                ok = false;
            }
            OGR_F_Destroy(f);
        }
    }
    if (transaction && ok && GDALDatasetCommitTransaction(ds) != OGRERR_NONE) {
        error = path + ": commit failed" + LastGdalError();
        ok = false;
    }
    CPLErrorReset();
    GDALClose(ds);
    if (CPLGetLastErrorType() >= CE_Failure && ok) {
        error = path + ": closing failed" + LastGdalError();
        ok = false;
    }
    return ok && tmp.Commit(fs::path(path), error);
}

bool FieldText(const GeoFeature& feature, const std::string& field, std::string& out) {
    if (!feature.attributes || !feature.attributes->feature) return false;
    const int k = OGR_F_GetFieldIndex(feature.attributes->feature, field.c_str());
    if (k < 0) return false;
    out = OGR_F_IsFieldSetAndNotNull(feature.attributes->feature, k) ? OGR_F_GetFieldAsString(feature.attributes->feature, k) : "";
    return true;
}

}  // namespace kelo_tool
