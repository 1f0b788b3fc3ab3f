// Runs tests/data/geo_cases.txt: georeferences read by GDAL's own tools
// (gdalinfo, gdaltransform), which know nothing of our code, against our own
// mapping. Skipped when gdal-bin is absent.

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
#include "projection/output_mapping.h"
#include "render/render_setup.h"
#include "support/case_table.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;
using testing::TextCase;
using Place = std::array<double, 2>;  // lon, lat

constexpr int kWidth = 360, kHeight = 180;
// On every continent and ocean, away from the poles and the back meridian.
constexpr std::array<Place, 10> kPlaces{
    {{0, 0}, {90, 45}, {-120, -30}, {150, 60}, {-60, -70}, {20, -10}, {45, 20}, {-170, 10}, {10, 50}, {-15, 25}}};

std::string capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    std::array<char, 4096> buffer;
    for (std::size_t n; pipe && (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
        out.append(buffer.data(), n);
    if (pipe) pclose(pipe);
    return out;
}

// The first two numbers of each line gdaltransform prints (NaN where none).
std::vector<Place> gdaltransform(const std::string& arguments, const std::string& placesFile) {
    std::istringstream out(capture("gdaltransform " + arguments + " < '" + placesFile + "'"));
    std::vector<Place> points;
    for (std::string line; std::getline(out, line);) {
        Place p{NAN, NAN};
        std::sscanf(line.c_str(), "%lf %lf", &p[0], &p[1]);
        points.push_back(p);
    }
    return points;
}

RunSettingsOptions caseOptions(const TextCase& c) {
    RunSettingsOptions o;
    o.output = static_cast<ProjectionId>(std::stoi(c.fields.at(0)));
    for (auto [key, field] : {std::pair{"lon", &o.longitude}, {"lat", &o.latitude}, {"spin", &o.spin}, {"fov", &o.fov}})
        if (c.named.count(key)) *field = static_cast<float>(c.namedOr(key, 0));
    return o;
}

// Where our own mapping shows places: the (lon, lat) an output position
// looks up in an equirectangular input.
class OwnMapping {
public:
    explicit OwnMapping(const SettingsRecord& s) {
        setupRenderContext(ctx_, s, RenderSizes{kWidth, kHeight, 720, 360});
    }
    bool lonLat(double px, double py, double& lon, double& lat) {
        RenderCell cell{};
        MappingScratch scratch;
        const bool hit = outputToSphere(float(px / kWidth), float(py / kHeight), ctx_, cell, scratch);
        lon = (cell.inputU - 0.5) * 360.0, lat = (0.5 - cell.inputV) * 180.0;
        return hit && cell.inputU >= 0.0f;
    }
    // How many pixels (px, py) lies from where the mapping shows `place` (one
    // Newton step on the mapping's local linear form); −1 where it misses.
    double pixelsFrom(double px, double py, const Place& place) {
        double lon, lat, lonX, latX, lonY, latY;
        if (!lonLat(px, py, lon, lat) || !lonLat(px + 1, py, lonX, latX) || !lonLat(px, py + 1, lonY, latY)) return -1;
        const auto wrap = [](double d) { return std::remainder(d, 360.0); };
        const double a = wrap(lonX - lon), b = wrap(lonY - lon), c = latX - lat, d = latY - lat, det = a * d - b * c;
        const double el = wrap(place[0] - lon), ep = place[1] - lat;
        return std::fabs(det) < 1e-12 ? -1 : std::hypot((d * el - b * ep) / det, (a * ep - c * el) / det);
    }

private:
    RenderContext ctx_;
};

class Georeference : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("gdaltransform --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "gdal-bin is not installed";
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        // Red and green hold the position (u, v) of each pixel's centre.
        Document doc;
        std::string error;
        ASSERT_TRUE(makeDocument(doc, 720, 360, 3, false, 16, error)) << error;
        for (int y = 0; y < doc.height; ++y)
            for (int x = 0; x < doc.width; ++x)
                doc.setValue(x, y, 0, (x + 0.5f) / doc.width), doc.setValue(x, y, 1, (y + 0.5f) / doc.height);
        ASSERT_TRUE(saveDocument(ramp_, doc, 16, error)) << error;
        std::ofstream places(places_);
        for (const Place& p : kPlaces) places << p[0] << " " << p[1] << "\n";
    }
    const fs::path folder_ = fs::path(::testing::TempDir()) / "globaro_geo";
    const std::string ramp_ = (folder_ / "ramp.png").string(), places_ = (folder_ / "places.txt").string();
};

TEST_F(Georeference, Cases) {
    for (const TextCase& c : testing::readTextCases(std::string(GLOBARO_TEST_DATA) + "/geo_cases.txt")) {
        if (c.kind != "map" && c.kind != "refuse") continue;
        SCOPED_TRACE("geo_cases.txt line " + std::to_string(c.line) + ":" + c.source);
        // The georeference a render writes, beside a blank image of its size.
        const std::string image = (folder_ / ("map" + std::to_string(c.line) + ".png")).string();
        auto s = std::make_unique<SettingsRecord>();
        globaro::Georeference geo;
        Document blank;
        std::string error;
        ASSERT_TRUE(readRunSettings(caseOptions(c), *s, error)) << error;
        const bool planned = planGeoreference(*s, kWidth, kHeight, 0.0, geo, error);
        EXPECT_EQ(planned, c.kind == "map") << error;
        if (!planned) continue;
        ASSERT_TRUE(makeDocument(blank, kWidth, kHeight, 1, false, 8, error) && saveDocument(image, blank, 8, error) &&
                    writeGeoreference(image, geo, error))
            << error;
        const auto info = nlohmann::json::parse(capture("gdalinfo -json -proj4 '" + image + "'"), nullptr, false);
        ASSERT_TRUE(info.contains("geoTransform") && info.contains("coordinateSystem")) << info.dump();
        const std::string proj = info["coordinateSystem"].value("proj4", "");
        EXPECT_NE(proj.find("+proj=" + c.fields.at(1) + " "), std::string::npos) << proj;
        if (c.named.count("lon")) {
            EXPECT_NE(proj.find("+lon_0=" + c.named.at("lon") + " "), std::string::npos) << proj;
        }
        // Lon/lat to the map's CRS (forward only: PROJ has no inverse of
        // some), then to pixels through the geotransform GDAL read.
        const auto t = info["geoTransform"].get<std::vector<double>>();
        const auto xy = gdaltransform("-s_srs EPSG:4326 -t_srs '" + georeferenceFiles(image)[1] + "'", places_);
        ASSERT_EQ(xy.size(), kPlaces.size());
        OwnMapping mapping(*s);
        int checked = 0;
        for (std::size_t i = 0; i < kPlaces.size(); ++i) {
            const double px = (xy[i][0] - t[0]) / t[1], py = (xy[i][1] - t[3]) / t[5];
            if (!(px >= 1 && px < kWidth - 1 && py >= 1 && py < kHeight - 1)) continue;  // not on this map
            const double off = mapping.pixelsFrom(px, py, kPlaces[i]);
            if (off < 0) continue;  // the far side of an azimuthal view
            ++checked;
            EXPECT_LE(off, 1.0) << kPlaces[i][0] << ", " << kPlaces[i][1] << " at pixel " << px << ", " << py;
        }
        EXPECT_GE(checked, 3);
    }
}

// A GeoTIFF input covering only part of the globe, through the real program:
// GDAL finds each place inside its box on the input's own pixel for it, and
// the backdrop outside.
TEST_F(Georeference, PartialInputIsPlaced) {
    for (const TextCase& c : testing::readTextCases(std::string(GLOBARO_TEST_DATA) + "/geo_cases.txt")) {
        if (c.kind != "place") continue;
        SCOPED_TRACE("geo_cases.txt line " + std::to_string(c.line) + ":" + c.source);
        const double west = c.num(0), north = c.num(1), east = c.num(2), south = c.num(3);
        const std::string part = (folder_ / "part.tif").string(), out = (folder_ / "placed.png").string();
        ASSERT_EQ(std::system(("gdal_translate -q -a_srs EPSG:4326 -outsize 180 90 -a_ullr " + c.fields[0] + " " +
                               c.fields[1] + " " + c.fields[2] + " " + c.fields[3] + " '" + ramp_ + "' '" + part + "'")
                                  .c_str()),
                  0);
        const auto run = testing_cli::runCli("render '" + part + "' '" + out +
                                             "' --quiet --geo --size 720x360 --backdrop-color ff00ff");
        ASSERT_EQ(run.status, 0) << run.output;
        Document placed;
        std::string error;
        ASSERT_TRUE(loadDocument(out, placed, error)) << error;
        const auto pixels = gdaltransform("-i -t_srs EPSG:4326 '" + out + "'", places_);
        ASSERT_EQ(pixels.size(), kPlaces.size());
        int inside = 0;
        for (std::size_t i = 0; i < kPlaces.size(); ++i) {
            const auto [lon, lat] = kPlaces[i];
            const auto x = static_cast<std::int32_t>(pixels[i][0]), y = static_cast<std::int32_t>(pixels[i][1]);
            ASSERT_TRUE(x >= 0 && x < placed.width && y >= 0 && y < placed.height) << lon << ", " << lat;
            if (lon > west && lon < east && lat > south && lat < north) {
                ++inside;
                EXPECT_NEAR(west + placed.value(x, y, 0) * (east - west), lon, 0.75);
                EXPECT_NEAR(north - placed.value(x, y, 1) * (north - south), lat, 0.75);
            } else {
                EXPECT_NEAR(placed.value(x, y, 0) + placed.value(x, y, 2) - placed.value(x, y, 1), 2.0f, 0.02f);
            }
        }
        EXPECT_GE(inside, 2);
    }
}

// docs/projections.md names every output --geo writes, with its PROJ name.
TEST(GeoreferenceDocs, ListEveryOutput) {
    std::ifstream in(std::string(GLOBARO_TEST_DATA) + "/../../docs/projections.md");
    const std::string docs((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const GeoOutputName& o : georeferencedOutputs()) {
        const std::size_t at = docs.rfind("| " + std::to_string(o.id) + " |");
        ASSERT_NE(at, std::string::npos) << o.id;
        EXPECT_NE(docs.substr(at, docs.find('\n', at) - at).find("+proj=" + std::string(o.proj)), std::string::npos);
    }
}

// Damaged and hostile GeoTIFF headers: nothing is read past the file, no
// count decides an allocation, and a grid that cannot be honoured is refused
// in one line naming the file.
TEST(GeoExtent, HostileHeaders) {
    const auto le = [](std::uint64_t v, int n) {
        std::string b;
        for (int i = 0; i < n; ++i) b += static_cast<char>((v >> (8 * i)) & 0xff);
        return b;
    };
    const auto entry = [&](int tag, int type, std::uint64_t count, std::uint64_t at) {
        return le(tag, 2) + le(type, 2) + le(count, 4) + le(at, 4);
    };
    const std::string head = "II" + le(42, 2) + le(8, 4);
    // Pixel scale at 50, tie point at 74, keys at 122: GTModelType projected.
    const std::string projected = head + le(3, 2) + entry(33550, 12, 3, 50) + entry(33922, 12, 6, 74) +
                                  entry(34735, 3, 8, 122) + std::string(4 + 24 + 48, '\0') + le(1, 2) + le(1, 2) +
                                  le(0, 2) + le(1, 2) + le(1024, 2) + le(0, 2) + le(1, 2) + le(1, 2);
    const std::pair<std::string, bool> cases[] = {{"GIF89a", true},
                                                  {"II" + le(42, 2) + le(0xfffffff0u, 4), true},
                                                  {head + le(65535, 2), true},
                                                  {head + le(1, 2) + entry(33922, 12, 1u << 31, 26), true},
                                                  {head + le(1, 2) + entry(33922, 12, 6, 0xffffff00u), true},
                                                  {projected, false}};
    const std::string path = ::testing::TempDir() + "/hostile_geo.tif";
    for (const auto& [bytes, ok] : cases) {
        std::ofstream(path, std::ios::binary) << bytes;
        GeoExtent extent;
        std::string error;
        EXPECT_EQ(readGeoExtent(path, 100, 50, extent, error), ok) << bytes.size() << " bytes: " << error;
        EXPECT_FALSE(extent.found);
        EXPECT_EQ(error.find(path) != std::string::npos, !ok) << error;
    }
}

}  // namespace
}  // namespace globaro
