// Vector files through GDAL/OGR, and WKT text on standard input: layers of features, each a
// geometry object with its attributes, read whole and written through a temporary that replaces
// the output only when everything was written.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "KeloGeomNet.h"

namespace kelo_tool {

struct Attributes;  // the feature's fields, kept in GDAL's own form

struct GeoFeature {
    GeoFeature();
    ~GeoFeature();
    GeoFeature(GeoFeature&&) noexcept;
    GeoFeature& operator=(GeoFeature&&) noexcept;

    kelo::GM_Object geom;
    bool hasGeometry = true;
    long long fid = -1;
    std::shared_ptr<Attributes> attributes;  // null for text input
};

struct Schema;  // field definitions and spatial reference, shared by the layer's features

struct GeoLayer {
    std::string name;
    std::string declaredType;  // what the file says the layer holds
    std::vector<GeoFeature> features;
    std::shared_ptr<Schema> schema;  // null for text input
};

// Reads every layer of a file (or only `layer` when it is not empty). "-" reads WKT from stdin
// as one layer named "stdin". progress(done, total) is called as features are read.
bool ReadGeoFile(const std::string& path, const std::string& layer, std::vector<GeoLayer>& out,
                 std::string& error, void (*progress)(size_t, size_t) = nullptr);
// WKT geometries from a text, one layer; progress counts bytes.
bool ReadWktText(const std::string& text, const std::string& name, GeoLayer& out, std::string& error,
                 void (*progress)(size_t, size_t) = nullptr);

// The layer's coordinates no longer follow its spatial reference (after a transform): forget it.
void DropSpatialReference(GeoLayer& layer);

// The driver for an output name: -f FORMAT when given, else its extension; empty when unknown.
// ".wkt" and ".txt" are written by kelo itself as one WKT per line.
std::string DriverFor(const std::string& path, const std::string& format);

// Writes the layers; the output appears only when the whole write succeeded. extraField, when
// not empty, is a real field added to every feature, with the values in extraValues (per layer,
// per feature).
bool WriteGeoFile(const std::string& path, const std::string& format, const std::vector<GeoLayer>& layers,
                  std::string& error, const std::string& extraField = "",
                  const std::vector<std::vector<double>>* extraValues = nullptr);

// Writes file atomically: a temporary beside it, renamed over it.
bool WriteTextFile(const std::string& path, const std::string& text, std::string& error);

// The feature's field as text; false when the feature has no such field.
bool FieldText(const GeoFeature& feature, const std::string& field, std::string& out);

}  // namespace kelo_tool
