// Georeferences of rendered world maps, and the placing of a GeoTIFF input
// that covers only part of the globe.

#include "app/georeference.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <span>

#include "app/batch_names.h"
#include "app/exit_status.h"
#include "geometry/sphere_frame.h"
#include "platform/checked_file.h"
#include "projection/render_context.h"
#include "render/render_setup.h"

namespace globaro {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegree = kPi / 180.0;

// ---- the outputs PROJ knows ---------------------------------------------------------------

// How the routine's plane point follows from the output position (a, b).
enum class Plane : std::uint8_t {
    kFrame,  // the view frame's point ((a − 0.5)·S + cx, (b − 0.5)·A·S + cy)
    kImage,  // the image itself, its width one unit: (a − 0.5, (b − 0.5)·A) (Mercator)
};

// The map's centre: the meridian only, or (for the azimuthal views) any
// point, turned by latitude and longitude but never spun.
enum class Aspect : std::uint8_t { kMeridian, kAnyCentre };

struct WktParameter {
    std::string_view name;
    double value;
};

// One output with a PROJ equivalent. PROJ's unit-sphere coordinates are
// (x, y) = (scaleX·X, −scaleY·Y) of the routine's plane point (X, Y) (Y
// grows downwards), plus (0, offsetY); `fovScale` outputs take their scale from the field of
// view instead.
struct GeoRow {
    std::int32_t id;
    std::string_view proj;       // "+proj=moll" and fixed parameters
    std::string_view wktMethod;  // WKT 1's PROJECTION name; "" for none (PROJ string extension)
    std::string_view lonParameter = "central_meridian";
    std::string_view latParameter = "";  // the centre's latitude (azimuthal views)
    std::array<WktParameter, 2> fixed = {};
    double scaleX = 1.0, scaleY = 1.0;
    double offsetY = 0.0;  // PROJ's y at the plane's origin (Werner's pole sits above the box's centre)
    std::string_view parallelKey = "+lat_ts=";  // PROJ's name of standard_parallel_1
    Plane plane = Plane::kFrame;
    Aspect aspect = Aspect::kMeridian;
    bool fovScale = false;
};

// Constants of the forward equations, from their definitions (Snyder, "Map
// Projections: A Working Manual", 1987, and "Flattening the Earth", 1993).
const double kSqrt8 = std::sqrt(8.0);                         // Mollweide and Hammer: x reaches 2√2 at the rim
const double kWinkelParallel = std::acos(2.0 / kPi);          // Winkel's standard parallel, 50°28′
const double kCeaCos = std::sqrt(2.0 / kPi);                  // equal-area cylinder 2:1: cos of the standard parallel
const double kEckert4Y = 2.0 * std::sqrt(kPi / (4.0 + kPi));  // Eckert IV: y = 1.3265·sin θ
constexpr double kRobinsonX = 0.8487, kRobinsonY = 1.3523;    // Robinson's table scale (Snyder 1993)
constexpr double kWernerFit = 4.1, kWernerPole = 1.112;       // Werner's heart in its box: radii across, pole height

// The plane scales follow the routines: Mollweide's 2:1 box is the ellipse
// of semi-axes 2√2 and √2 scaled by 1/(4√2); the equirectangular and
// sinusoidal boxes span 2π; the Newton-solved maps work in PROJ's units.
// One row a line, as the table is read: clang-format leaves it alone.
// clang-format off
const GeoRow kGeoRows[] = {
    {.id = 1, .proj = "+proj=eqc", .wktMethod = "Equirectangular", .fixed = {{{"standard_parallel_1", 0.0}}}, .scaleX = 2.0 * kPi, .scaleY = 2.0 * kPi},
    {.id = 3, .proj = "+proj=aeqd", .wktMethod = "Azimuthal_Equidistant", .lonParameter = "longitude_of_center", .latParameter = "latitude_of_center", .scaleX = 2.0 * kPi, .scaleY = 2.0 * kPi, .aspect = Aspect::kAnyCentre},
    {.id = 5, .proj = "+proj=ortho", .wktMethod = "Orthographic", .latParameter = "latitude_of_origin", .scaleX = 2.0, .scaleY = 2.0, .aspect = Aspect::kAnyCentre},
    {.id = 11, .proj = "+proj=hammer", .wktMethod = "", .scaleX = 2.0 * kSqrt8, .scaleY = 2.0 * kSqrt8},
    {.id = 12, .proj = "+proj=bonne", .wktMethod = "Bonne", .fixed = {{{"standard_parallel_1", 90.0}}}, .scaleX = kWernerFit, .scaleY = kWernerFit, .offsetY = -kWernerPole, .parallelKey = "+lat_1="},
    {.id = 13, .proj = "+proj=sinu", .wktMethod = "Sinusoidal", .lonParameter = "longitude_of_center", .scaleX = 2.0 * kPi, .scaleY = 2.0 * kPi},
    {.id = 16, .proj = "+proj=stere", .wktMethod = "Stereographic", .latParameter = "latitude_of_origin", .fixed = {{{"scale_factor", 1.0}}}, .aspect = Aspect::kAnyCentre, .fovScale = true},
    {.id = 35, .proj = "+proj=wintri", .wktMethod = "Winkel_Tripel", .fixed = {{{"standard_parallel_1", kWinkelParallel / kDegree}}}, .parallelKey = "+lat_1="},
    {.id = 46, .proj = "+proj=moll", .wktMethod = "Mollweide", .scaleX = 2.0 * kSqrt8, .scaleY = 2.0 * kSqrt8},
    {.id = 62, .proj = "+proj=merc", .wktMethod = "Mercator_1SP", .fixed = {{{"scale_factor", 1.0}}}, .scaleX = 2.0 * kPi, .scaleY = 2.0 * kPi, .plane = Plane::kImage},
    {.id = 69, .proj = "+proj=lagrng +W=2", .wktMethod = "", .scaleX = 4.0, .scaleY = 4.0},
    {.id = 80, .proj = "+proj=robin", .wktMethod = "Robinson", .lonParameter = "longitude_of_center", .scaleX = kRobinsonX * kPi, .scaleY = 2.0 * kRobinsonY},
    {.id = 138, .proj = "+proj=cea", .wktMethod = "Cylindrical_Equal_Area", .fixed = {{{"standard_parallel_1", std::acos(kCeaCos) / kDegree}}}, .scaleX = 2.0 * kPi * kCeaCos, .scaleY = 2.0 * kPi * kCeaCos},
    {.id = 340, .proj = "+proj=lask", .wktMethod = ""},
    {.id = 346, .proj = "+proj=bonne", .wktMethod = "Bonne", .fixed = {{{"standard_parallel_1", 45.0}}}, .scaleX = 2.0, .scaleY = 2.0, .parallelKey = "+lat_1="},
    {.id = 355, .proj = "+proj=natearth", .wktMethod = "Natural_Earth"},
    {.id = 358, .proj = "+proj=gins8", .wktMethod = ""},
    {.id = 359, .proj = "+proj=larr", .wktMethod = ""},
    {.id = 398, .proj = "+proj=eck4", .wktMethod = "Eckert_IV", .scaleX = 4.0 * kEckert4Y, .scaleY = 4.0 * kEckert4Y},
    {.id = 900, .proj = "+proj=laea", .wktMethod = "Lambert_Azimuthal_Equal_Area", .lonParameter = "longitude_of_center", .latParameter = "latitude_of_center", .scaleX = 4.0, .scaleY = 4.0, .aspect = Aspect::kAnyCentre},
};
// clang-format on

const GeoRow* findGeoRow(std::int32_t id) {
    for (const GeoRow& row : kGeoRows)
        if (row.id == id) return &row;
    return nullptr;
}

// The fixed parameters of a row in PROJ's form, e.g. " +lat_ts=37.0687".
std::string projFixed(const GeoRow& row) {
    std::string out;
    for (const WktParameter& p : row.fixed) {
        if (p.name.empty()) continue;
        const std::string_view key = p.name == "scale_factor" ? "+k_0=" : row.parallelKey;
        char number[64];
        std::snprintf(number, sizeof number, "%.10g", p.value);
        out += " " + std::string(key) + number;
    }
    return out;
}

std::string formatNumber(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", v == 0.0 ? 0.0 : v);  // no "-0"
    return text;
}

std::string wktFor(const GeoRow& row, const std::string& name, double lon0, double lat0,
                   const std::string& projString) {
    const std::string sphere = formatNumber(kGeoSphereRadius);
    std::string w = "PROJCS[\"" + name + "\",GEOGCS[\"Sphere R" + sphere + "\",DATUM[\"Sphere_R" + sphere +
                    "\",SPHEROID[\"Sphere R" + sphere + "\"," + sphere +
                    ",0]],PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]],";
    auto parameter = [&w](std::string_view key, double value) {
        w += "PARAMETER[\"" + std::string(key) + "\"," + formatNumber(value) + "],";
    };
    if (row.wktMethod.empty()) {
        w += "PROJECTION[\"custom_proj4\"],UNIT[\"metre\",1],EXTENSION[\"PROJ4\",\"" + projString + "\"]]";
        return w;
    }
    w += "PROJECTION[\"" + std::string(row.wktMethod) + "\"],";
    if (!row.latParameter.empty()) parameter(row.latParameter, lat0);
    parameter(row.lonParameter, lon0);
    for (const WktParameter& p : row.fixed)
        if (!p.name.empty()) parameter(p.name, p.value);
    parameter("false_easting", 0.0);
    parameter("false_northing", 0.0);
    w += "UNIT[\"metre\",1]]";
    return w;
}

// ---- the view --------------------------------------------------------------------------

// The centre of the map after the view's turn, and whether the turn keeps
// north up there (the only aspect PROJ's forms have).
bool viewCentre(const RenderContext& ctx, double& lon0, double& lat0) {
    const SphereDir centre = rotate(ctx.rotation, SphereDir{0.0f, 0.0f, 1.0f});
    const SphereDir up = rotate(ctx.rotation, SphereDir{0.0f, 1.0f, 0.0f});
    lat0 = std::asin(std::clamp(double(centre.y), -1.0, 1.0)) / kDegree;
    // At a pole the meridian pointing up names the longitude.
    const bool polar = std::hypot(centre.x, centre.z) < 1e-6;
    lon0 = polar ? std::atan2(double(up.x) * (lat0 > 0 ? 1 : -1), double(-up.z) * (lat0 > 0 ? 1 : -1)) / kDegree
                 : std::atan2(-double(centre.x), double(centre.z)) / kDegree;
    const double lon = lon0 * kDegree, lat = lat0 * kDegree;
    const SphereDir north{static_cast<float>(std::sin(lat) * std::sin(lon)), static_cast<float>(std::cos(lat)),
                          static_cast<float>(-std::sin(lat) * std::cos(lon))};
    return up.x * north.x + up.y * north.y + up.z * north.z > 1.0f - 1e-5f;
}

double wrapLongitude(double lon) {
    lon = std::fmod(lon + 180.0, 360.0);
    if (lon < 0.0) lon += 360.0;
    const double wrapped = lon - 180.0;
    return std::fabs(wrapped) < 1e-9 ? 0.0 : wrapped;
}

}  // namespace

// ---- planning and writing ----------------------------------------------------------------

bool planGeoreference(const SettingsRecord& settings, std::int32_t width, std::int32_t height,
                      double inputCentreLongitude, Georeference& geo, std::string& error) {
    const GeoRow* row = findGeoRow(settings.outputProjection);
    if (row == nullptr) {
        error = "--geo: output " + std::to_string(settings.outputProjection) +
                " has no PROJ equivalent; see the list in docs/projections.md";
        return false;
    }
    if (settings.flip != 0 || settings.anamorphosis != 0) {
        error = "--geo: a mirrored or folded map cannot be georeferenced; leave out --flip and --anamorphosis";
        return false;
    }
    auto ctx = std::make_unique<RenderContext>();
    setupRenderContext(*ctx, settings, RenderSizes{width, height, 2, 1});
    double lon0 = 0.0, lat0 = 0.0;
    const bool northUp = viewCentre(*ctx, lon0, lat0);
    if (!northUp || (row->aspect == Aspect::kMeridian && std::fabs(lat0) > 1e-4)) {
        error = row->aspect == Aspect::kMeridian
                    ? "--geo: this map is turned (--lat or --spin); PROJ's form of it has only a central meridian "
                      "(--lon)"
                    : "--geo: this map is spun (--spin); PROJ's form of it keeps north up";
        return false;
    }
    // The turn is kept in single precision: rounded to 1e-5° (about a metre)
    // the settings' own angles come back.
    const auto round5 = [](double deg) { return std::round(deg * 1e5) / 1e5; };
    lon0 = wrapLongitude(round5(lon0) + inputCentreLongitude);
    lat0 = row->aspect == Aspect::kMeridian ? 0.0 : round5(lat0);

    double scaleX = row->scaleX, scaleY = row->scaleY;
    if (row->fovScale) scaleX = scaleY = double(ctx->wideTan) * ctx->wideTan;  // ρ = t²·|X| = 2·tan(c/2)
    double S = 1.0, A = double(height) / width, cx = 0.0, cy = 0.0;
    if (row->plane == Plane::kFrame)
        S = ctx->frame.scale, A = ctx->frame.aspect, cx = ctx->frame.cx, cy = ctx->frame.cy;
    const double R = kGeoSphereRadius;
    geo.transform = {
        R * scaleX * (cx - 0.5 * S), R * scaleX * S / width, 0.0, R * (row->offsetY - scaleY * (cy - 0.5 * A * S)), 0.0,
        -R * scaleY * A * S / height};

    std::string proj = std::string(row->proj) + projFixed(*row);
    if (row->aspect == Aspect::kAnyCentre) proj += " +lat_0=" + formatNumber(lat0);
    proj += " +lon_0=" + formatNumber(lon0) + " +R=" + formatNumber(R) + " +units=m +no_defs";
    geo.projString = proj;
    geo.wkt = wktFor(*row, "Globaro " + std::string(row->proj.substr(6, row->proj.find(' ') - 6)), lon0, lat0, proj);
    return true;
}

std::vector<std::string> georeferenceFiles(const std::string& imagePath) {
    const std::filesystem::path p(imagePath);
    std::string ext = p.extension().string();
    // The world file's extension: the image's first and last letter and a
    // "w" (".png" → ".pgw", ".tiff" → ".tfw"); ".wld" when there is none.
    std::string world = ext.size() >= 3 ? std::string(".") + ext[1] + ext.back() + "w" : ".wld";
    std::filesystem::path worldPath = p, prjPath = p;
    worldPath.replace_extension(world);
    prjPath.replace_extension(".prj");
    return {worldPath.string(), prjPath.string(), imagePath + ".aux.xml"};
}

namespace {

bool writeText(const std::string& path, const std::string& text, std::string& error) {
    CheckedFile file;
    if (!file.create(path, error)) return false;
    file.writeAt(text.data(), text.size(), 0);
    return file.commit(error);
}

std::string xmlEscaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

}  // namespace

bool writeGeoreference(const std::string& imagePath, const Georeference& geo, std::string& error) {
    const std::vector<std::string> files = georeferenceFiles(imagePath);
    const auto& t = geo.transform;
    // A world file names the centre of the top-left pixel.
    std::string world;
    for (double v : {t[1], t[4], t[2], t[5], t[0] + t[1] / 2.0, t[3] + t[5] / 2.0}) world += formatNumber(v) + "\n";
    std::string aux =
        "<PAMDataset>\n  <SRS dataAxisToSRSAxisMapping=\"1,2\">" + xmlEscaped(geo.wkt) + "</SRS>\n  <GeoTransform>";
    for (std::size_t i = 0; i < t.size(); ++i) aux += (i ? ", " : " ") + formatNumber(t[i]);
    aux += "</GeoTransform>\n</PAMDataset>\n";
    return writeText(files[0], world, error) && writeText(files[1], geo.wkt + "\n", error) &&
           writeText(files[2], aux, error);
}

int planGeoRender(const std::string& input, const std::string& output, const SettingsRecord& settings, bool geo,
                  std::int32_t width, std::int32_t height, GeoRender& plan, std::string& error) {
    plan = GeoRender{};
    if (settings.inputProjection == 1) {
        if (!readGeoExtent(input, width, height, plan.extent, error)) return kExitFailure;
        plan.place = !coversWholeGlobe(plan.extent, width, height);
        if (plan.place && !placementCanvasSize(input, plan.extent, width, height, width, height, error))
            return kExitFailure;
    }
    if (!geo) return 0;
    plan.georeference = true;
    if (!planGeoreference(settings, width, height, plan.extent.centreLongitude(), plan.geo, error)) return kExitUsage;
    for (const std::string& file : georeferenceFiles(output)) {
        if (identity(file) == identity(input)) {
            error = "--geo: \"" + file + "\" beside the output would overwrite the input";
            return kExitUsage;
        }
        if (!checkWritableTarget(file, error)) return kExitFailure;
    }
    return 0;
}

bool fitGeoreference(const SettingsRecord& settings, std::int32_t width, std::int32_t height, GeoRender& plan,
                     std::string& error) {
    if (!plan.georeference) return true;
    return planGeoreference(settings, width, height, plan.extent.centreLongitude(), plan.geo, error);
}

std::vector<GeoOutputName> georeferencedOutputs() {
    std::vector<GeoOutputName> out;
    for (const GeoRow& row : kGeoRows) out.push_back({row.id, row.proj.substr(6, row.proj.find(' ') - 6)});
    return out;
}

}  // namespace globaro
