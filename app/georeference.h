#pragma once
// Maps a GIS can place. A world map rendered with --geo gets the files GDAL,
// QGIS and ESRI tools read beside an image: a world file (".pgw" beside a
// PNG, ".tfw" beside a TIFF, ".jgw" beside a JPEG ...) with the pixel grid,
// a ".prj" with the coordinate system as WKT, and a GDAL ".aux.xml" with
// both (the one GDAL reads for every image format). The coordinates are
// metres on a sphere of radius kGeoSphereRadius.
//
// And an equirectangular GeoTIFF input that covers only part of the globe
// is placed where it belongs on a whole-sphere canvas (transparent
// elsewhere) instead of being stretched over the whole sphere.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/document.h"
#include "app/run_settings.h"
#include "settings/settings_record.h"

namespace globaro {

// The sphere of every georeference: the radius of the sphere with the area
// of the GRS 80 ellipsoid (the "authalic" sphere, 6371007.2 m), as PROJ's
// +R takes it.
inline constexpr double kGeoSphereRadius = 6371007.0;

// Where an equirectangular input lies on the globe, in degrees: the edges of
// its pixel grid. `found` false: the file says nothing (a whole-sphere
// panorama centred on longitude 0, as always).
struct GeoExtent {
    bool found = false;
    double west = -180.0, east = 180.0, south = -90.0, north = 90.0;
    // The longitude at the middle of the whole-sphere image the render reads.
    double centreLongitude() const { return west + 180.0; }
};

// Reads the GeoTIFF tags of `path` (a TIFF of `width` × `height` pixels)
// into `extent`. A file that is not a TIFF, or a TIFF without them, leaves
// `found` false and succeeds. False with a one-line reason naming the file
// for tags that cannot be honoured: a projected or rotated grid, units that
// are not degrees, or an extent that does not fit on the globe.
bool readGeoExtent(const std::string& path, std::int32_t width, std::int32_t height, GeoExtent& extent,
                   std::string& error);

// Whether the extent covers the whole globe (to within half a pixel).
bool coversWholeGlobe(const GeoExtent& extent, std::int32_t width, std::int32_t height);

// The size of the whole-sphere canvas an input of `width` × `height` pixels
// covering `extent` is placed on, at the input's own pixel size. False with
// a one-line reason naming `path` when that canvas would be unreasonably
// large.
bool placementCanvasSize(const std::string& path, const GeoExtent& extent, std::int32_t width, std::int32_t height,
                         std::int32_t& canvasWidth, std::int32_t& canvasHeight, std::string& error);

// Replaces `doc` by the whole-sphere canvas of placementCanvasSize with the
// image at its place (west edge at the canvas's left edge), everything else
// transparent. The document's keywords and depth are kept.
bool placeOnGlobe(const std::string& path, const GeoExtent& extent, Document& doc, std::string& error);

// The georeference of one rendered map.
struct Georeference {
    std::string projString;             // "+proj=moll +lon_0=0 +R=6371007 +units=m +no_defs"
    std::string wkt;                    // the same as WKT 1 (ESRI and GDAL read it)
    std::array<double, 6> transform{};  // GDAL's geotransform: x = t0 + P·t1, y = t3 + L·t5
};

// The georeference of a render of `settings` into a `width` × `height`
// image from an input centred on `inputCentreLongitude`. False with a
// one-line reason when the output has no PROJ equivalent, or the view turns
// the map in a way PROJ's form of it cannot express.
bool planGeoreference(const SettingsRecord& settings, std::int32_t width, std::int32_t height,
                      double inputCentreLongitude, Georeference& geo, std::string& error);

// The files written beside `imagePath`: world file, .prj, .aux.xml.
std::vector<std::string> georeferenceFiles(const std::string& imagePath);

// Writes them (each complete or not at all). False with a one-line reason.
bool writeGeoreference(const std::string& imagePath, const Georeference& geo, std::string& error);

// What a render needs of the globe, decided before any work: where its
// input lies (an equirectangular GeoTIFF is placed on the globe when it
// covers only part of it), and with --geo the georeference to write.
struct GeoRender {
    GeoExtent extent;
    bool place = false;         // read the input whole and placeOnGlobe() it
    bool georeference = false;  // --geo: write `geo` beside the output
    Georeference geo;
};

// Plans a render of `input` (`width` × `height` pixels) into `output` with
// the run's settings, sized for the input (fitGeoreference sizes it for the
// canvas once that is known). Returns 0, or an exit status with a one-line reason: 1 for an input whose
// tags cannot be honoured or a file beside the output that cannot be
// written, 2 for a map --geo cannot describe.
int planGeoRender(const std::string& input, const std::string& output, const SettingsRecord& settings, bool geo,
                  std::int32_t width, std::int32_t height, GeoRender& plan, std::string& error);

// Sizes a planned georeference for the canvas the render draws on, once that
// is known (a natural canvas is chosen after the input is placed).
bool fitGeoreference(const SettingsRecord& settings, std::int32_t width, std::int32_t height, GeoRender& plan,
                     std::string& error);

// One line per output that --geo supports: its name and PROJ's name, for
// the documentation and `--help`.
struct GeoOutputName {
    std::int32_t id;
    std::string_view proj;  // PROJ's +proj= name
};
std::vector<GeoOutputName> georeferencedOutputs();

}  // namespace globaro
