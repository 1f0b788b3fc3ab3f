// Runs tests/data/geo_cases.txt: georeferenced renders checked with GDAL's
// own tools (gdalsrsinfo, gdaltransform), which know nothing of our code,
// against our own mapping. Skipped when gdal-bin is absent.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli_runner.h"
#include "app/georeference.h"
#include "app/image_io.h"
#include "app/run_settings.h"
#include "projection/output_mapping.h"
#include "render/render_setup.h"
#include "support/case_table.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;
using testing::TextCase;

constexpr int kWidth = 360, kHeight = 180;
// Places on every continent and ocean, away from the poles and the back
// meridian (lon, lat).
constexpr std::array<std::array<double, 2>, 10> kPlaces{
    {{0, 0}, {90, 45}, {-120, -30}, {150, 60}, {-60, -70}, {20, -10}, {45, 20}, {-170, 10}, {10, 50}, {-15, 25}}};

std::string capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return out;
    std::array<char, 4096> buffer;
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) out.append(buffer.data(), n);
    pclose(pipe);
    return out;
}

bool gdalPresent() { return std::system("gdaltransform --version >/dev/null 2>&1") == 0; }

// A 16-bit equirectangular image whose red and green hold the position
// (u, v) of each pixel's centre: any pixel of a render says where it came from.
std::string rampImage(const fs::path& folder) {
    const std::string path = (folder / "ramp.png").string();
    Document doc;
    std::string error;
    EXPECT_TRUE(makeDocument(doc, 720, 360, 3, false, 16, error)) << error;
    for (int y = 0; y < doc.height; ++y)
        for (int x = 0; x < doc.width; ++x) {
            doc.setValue(x, y, 0, (x + 0.5f) / doc.width);
            doc.setValue(x, y, 1, (y + 0.5f) / doc.height);
            doc.setValue(x, y, 2, 0.5f);
        }
    EXPECT_TRUE(saveDocument(path, doc, 16, error)) << error;
    return path;
}

// The settings options of a case's named fields.
RunSettingsOptions caseOptions(const TextCase& c) {
    RunSettingsOptions o;
    o.output = static_cast<ProjectionId>(std::stoi(c.fields.at(0)));
    if (c.named.count("lon")) o.longitude = static_cast<float>(c.namedOr("lon", 0));
    if (c.named.count("lat")) o.latitude = static_cast<float>(c.namedOr("lat", 0));
    if (c.named.count("spin")) o.spin = static_cast<float>(c.namedOr("spin", 0));
    if (c.named.count("fov")) o.fov = static_cast<float>(c.namedOr("fov", 0));
    return o;
}

// Where our own mapping shows a place: the (lon, lat) an output position
// looks up in an equirectangular input, in degrees.
class OwnMapping {
public:
    explicit OwnMapping(const RunSettingsOptions& o) {
        auto s = std::make_unique<SettingsRecord>();
        std::string error;
        EXPECT_TRUE(readRunSettings(o, *s, error)) << error;
        s->inputProjection = 1;
        setupRenderContext(ctx_, *s, RenderSizes{kWidth, kHeight, 720, 360});
    }
    bool lonLat(double px, double py, double& lon, double& lat) {
        RenderCell cell{};
        MappingScratch scratch;
        if (!outputToSphere(static_cast<float>(px / kWidth), static_cast<float>(py / kHeight), ctx_, cell, scratch))
            return false;
        lon = (cell.inputU - 0.5) * 360.0, lat = (0.5 - cell.inputV) * 180.0;
        return cell.inputU >= 0.0f;
    }
    // How many pixels (P, L) lies from where the mapping shows `place`
    // (one Newton step on the mapping's local linear form); −1 when the
    // mapping does not show it near there.
    double pixelsFrom(double px, double py, const std::array<double, 2>& place) {
        double lon, lat, lonX, latX, lonY, latY;
        if (!lonLat(px, py, lon, lat) || !lonLat(px + 1, py, lonX, latX) || !lonLat(px, py + 1, lonY, latY)) return -1;
        const auto wrap = [](double d) { return std::remainder(d, 360.0); };
        const double a = wrap(lonX - lon), b = wrap(lonY - lon), c = latX - lat, d = latY - lat;
        const double det = a * d - b * c;
        if (std::fabs(det) < 1e-12) return -1;
        const double el = wrap(place[0] - lon), ep = place[1] - lat;
        return std::hypot((d * el - b * ep) / det, (a * ep - c * el) / det);
    }

private:
    RenderContext ctx_;
};

// The geotransform GDAL reads for `image`, and its CRS as a PROJ string.
bool gdalGeoreference(const std::string& image, std::array<double, 6>& t, std::string& proj) {
    const auto info = nlohmann::json::parse(capture("gdalinfo -json -proj4 '" + image + "'"), nullptr, false);
    if (info.is_discarded() || !info.contains("geoTransform") || !info.contains("coordinateSystem")) return false;
    for (std::size_t i = 0; i < 6; ++i) t[i] = info["geoTransform"][i].get<double>();
    proj = info["coordinateSystem"].value("proj4", "");
    return true;
}

class Georeference : public ::testing::Test {
protected:
    void SetUp() override {
        if (!gdalPresent()) GTEST_SKIP() << "gdal-bin is not installed";
        folder_ = fs::path(::testing::TempDir()) / "globaro_geo";
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        ramp_ = rampImage(folder_);
    }
    // The pixel GDAL puts each place at: lon/lat to the map's CRS (the .prj
    // beside `image`) by gdaltransform, then through the geotransform GDAL
    // read. NaN where GDAL has none.
    std::vector<std::array<double, 2>> gdalPixels(const std::string& image) {
        std::array<double, 6> t{};
        std::string proj;
        EXPECT_TRUE(gdalGeoreference(image, t, proj));
        std::istringstream out(capture("gdaltransform -s_srs EPSG:4326 -t_srs '" + georeferenceFiles(image)[1] +
                                       "' < '" + placesFile() + "'"));
        std::vector<std::array<double, 2>> pixels;
        for (std::string line; std::getline(out, line);) {
            double x = NAN, y = NAN;
            if (std::sscanf(line.c_str(), "%lf %lf", &x, &y) != 2) x = y = NAN;
            pixels.push_back({(x - t[0]) / t[1], (y - t[3]) / t[5]});
        }
        return pixels;
    }
    // The places as gdaltransform reads them, one "lon lat" a line.
    std::string placesFile() const {
        const fs::path list = folder_ / "places.txt";
        std::ofstream file(list);
        for (const auto& p : kPlaces) file << p[0] << " " << p[1] << "\n";
        return list.string();
    }
    fs::path folder_;
    std::string ramp_;
};

// A case's georeference written beside a blank image of the case's size,
// as a render writes it.
bool planCase(const TextCase& c, const std::string& image, std::string& error) {
    auto s = std::make_unique<SettingsRecord>();
    if (!readRunSettings(caseOptions(c), *s, error)) return false;
    globaro::Georeference geo;
    if (!planGeoreference(*s, kWidth, kHeight, 0.0, geo, error)) return false;
    Document blank;
    return makeDocument(blank, kWidth, kHeight, 1, false, 8, error) && saveDocument(image, blank, 8, error) &&
           writeGeoreference(image, geo, error);
}

TEST_F(Georeference, Cases) {
    for (const TextCase& c : testing::readTextCases(std::string(GLOBARO_TEST_DATA) + "/geo_cases.txt")) {
        if (c.kind != "map" && c.kind != "refuse") continue;
        SCOPED_TRACE("geo_cases.txt line " + std::to_string(c.line) + ":" + c.source);
        const std::string out = (folder_ / ("map" + std::to_string(c.line) + ".png")).string();
        std::string error;
        const bool planned = planCase(c, out, error);
        if (c.kind == "refuse") {
            EXPECT_FALSE(planned);
            EXPECT_EQ(error.find('\n'), std::string::npos);
            continue;
        }
        ASSERT_TRUE(planned) << error;
        std::array<double, 6> t{};
        std::string proj;
        ASSERT_TRUE(gdalGeoreference(out, t, proj));
        EXPECT_NE(proj.find("+proj=" + c.fields.at(1) + " "), std::string::npos) << proj;
        if (c.named.count("lon")) {
            EXPECT_NE(proj.find("+lon_0=" + c.named.at("lon") + " "), std::string::npos) << proj;
        }
        OwnMapping mapping(caseOptions(c));
        const auto pixels = gdalPixels(out);
        ASSERT_EQ(pixels.size(), kPlaces.size());
        int checked = 0;
        for (std::size_t i = 0; i < kPlaces.size(); ++i) {
            const auto [px, py] = pixels[i];
            if (!(px >= 1 && px < kWidth - 1 && py >= 1 && py < kHeight - 1)) continue;  // not on this map
            const double off = mapping.pixelsFrom(px, py, kPlaces[i]);
            if (off < 0) continue;  // the far side of an azimuthal view
            ++checked;
            EXPECT_LE(off, 1.0) << "place " << kPlaces[i][0] << ", " << kPlaces[i][1] << " at pixel " << px << ", "
                                << py;
        }
        EXPECT_GE(checked, 3);
    }
}

// An equirectangular GeoTIFF of part of the globe, rendered as a whole
// georeferenced map through the real program: GDAL finds each place inside
// the box on the input's own pixel for it, and the backdrop outside.
TEST_F(Georeference, PartialInputIsPlaced) {
    for (const TextCase& c : testing::readTextCases(std::string(GLOBARO_TEST_DATA) + "/geo_cases.txt")) {
        if (c.kind != "place") continue;
        SCOPED_TRACE("geo_cases.txt line " + std::to_string(c.line) + ":" + c.source);
        const double west = c.num(0), north = c.num(1), east = c.num(2), south = c.num(3);
        const std::string part = (folder_ / "part.tif").string(), out = (folder_ / "placed.png").string();
        std::ostringstream box;
        box << west << " " << north << " " << east << " " << south;
        ASSERT_EQ(std::system(("gdal_translate -q -of GTiff -a_srs EPSG:4326 -outsize 180 90 -a_ullr " + box.str() +
                               " '" + ramp_ + "' '" + part + "'")
                                  .c_str()),
                  0);
        const auto run = testing_cli::runCli("render '" + part + "' '" + out +
                                             "' --quiet --geo --size 720x360 --backdrop-color ff00ff");
        ASSERT_EQ(run.status, 0) << run.output;
        Document placed;
        std::string error;
        ASSERT_TRUE(loadDocument(out, placed, error)) << error;
        std::istringstream pixels(capture("gdaltransform -i -t_srs EPSG:4326 '" + out + "' < '" + placesFile() + "'"));
        int inside = 0, outside = 0;
        for (const auto& place : kPlaces) {
            std::string line;
            double px = NAN, py = NAN;
            ASSERT_TRUE(std::getline(pixels, line));
            ASSERT_EQ(std::sscanf(line.c_str(), "%lf %lf", &px, &py), 2) << line;
            const auto x = static_cast<std::int32_t>(px), y = static_cast<std::int32_t>(py);
            ASSERT_TRUE(x >= 0 && x < placed.width && y >= 0 && y < placed.height) << line;
            const bool within = place[0] > west && place[0] < east && place[1] > south && place[1] < north;
            if (!within) {
                ++outside;
                // The input's transparent surround: the backdrop shows.
                EXPECT_NEAR(placed.value(x, y, 0) + placed.value(x, y, 2) - placed.value(x, y, 1), 2.0f, 0.02f)
                    << place[0] << ", " << place[1];
                continue;
            }
            ++inside;
            // The ramp's red and green: where in the input this pixel came from.
            const double lon = west + placed.value(x, y, 0) * (east - west);
            const double lat = north - placed.value(x, y, 1) * (north - south);
            EXPECT_NEAR(lon, place[0], 0.75) << place[0] << ", " << place[1];
            EXPECT_NEAR(lat, place[1], 0.75) << place[0] << ", " << place[1];
        }
        EXPECT_GE(inside, 2);
        EXPECT_GE(outside, 2);
    }
}

// The real program refuses a map --geo cannot describe, before any work,
// and writes nothing.
TEST_F(Georeference, RefusalWritesNothing) {
    const std::string out = (folder_ / "guyou.png").string();
    const auto run = testing_cli::runCli("render '" + ramp_ + "' '" + out + "' --geo --output 99");
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    EXPECT_NE(run.output.find("--geo"), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(out));
    for (const std::string& f : georeferenceFiles(out)) EXPECT_FALSE(fs::exists(f)) << f;
}

// docs/projections.md names every output --geo writes, with its PROJ name.
TEST(GeoreferenceDocs, ListEveryOutput) {
    std::ifstream in(std::string(GLOBARO_TEST_DATA) + "/../../docs/projections.md");
    const std::string docs((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const GeoOutputName& o : georeferencedOutputs()) {
        const std::string row = "| " + std::to_string(o.id) + " |";
        const std::size_t at = docs.rfind(row);
        ASSERT_NE(at, std::string::npos) << row;
        EXPECT_NE(docs.substr(at, docs.find('\n', at) - at).find("+proj=" + std::string(o.proj)), std::string::npos)
            << row;
    }
}

// Damaged and hostile GeoTIFF headers: nothing is read past the file, no
// count decides an allocation, and tags that cannot be honoured are refused
// in one line naming the file.
TEST(GeoExtent, HostileHeaders) {
    const auto le = [](std::uint64_t v, int n) {
        std::string b;
        for (int i = 0; i < n; ++i) b += static_cast<char>((v >> (8 * i)) & 0xff);
        return b;
    };
    // One IFD entry (tag, type, count, value or offset).
    const auto entry = [&](int tag, int type, std::uint64_t count, std::uint64_t value) {
        return le(tag, 2) + le(type, 2) + le(count, 4) + le(value, 4);
    };
    const std::string head = "II" + le(42, 2) + le(8, 4);
    const std::string projectedKeys = le(1, 2) + le(1, 2) + le(0, 2) + le(1, 2) + le(1024, 2) + le(0, 2) + le(1, 2) +
                                      le(1, 2);  // GTModelType = projected
    struct Case {
        const char* what;
        std::string bytes;
        bool ok, found;
    };
    const Case cases[] = {
        {"not a TIFF", "GIF89a", true, false},
        {"IFD past the end", "II" + le(42, 2) + le(0xfffffff0u, 4), true, false},
        {"huge entry count, no entries", head + le(65535, 2), true, false},
        {"tie point of 2^31 doubles", head + le(1, 2) + entry(33922, 12, 1u << 31, 26), true, false},
        {"tie point offset past the end", head + le(1, 2) + entry(33922, 12, 6, 0xffffff00u), true, false},
        {"projected grid",
         head + le(3, 2) + entry(33550, 12, 3, 50) + entry(33922, 12, 6, 74) + entry(34735, 3, 8, 122) + le(0, 4) +
             std::string(24, '\0') + std::string(48, '\0') + projectedKeys,
         false, false},
    };
    const fs::path folder = fs::path(::testing::TempDir()) / "globaro_geo_hostile";
    fs::create_directories(folder);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = (folder / "hostile.tif").string();
        std::ofstream(path, std::ios::binary) << c.bytes;
        GeoExtent extent;
        std::string error;
        EXPECT_EQ(readGeoExtent(path, 100, 50, extent, error), c.ok) << error;
        EXPECT_EQ(extent.found, c.found);
        if (!c.ok) {
            EXPECT_NE(error.find(path), std::string::npos) << error;
        }
    }
}

}  // namespace
}  // namespace globaro
