// What a render carries from its input file to its output, read back with
// exiftool (a reader we did not write), and the pose arithmetic behind the
// panorama tags.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "app/cli_runner.h"
#include "app/demo_panorama.h"
#include "app/image_io.h"
#include "app/metadata.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr const char* kProfileName = "Globaro test RGB";

// A minimal ICC v2 display profile whose one tag is its description.
std::vector<std::uint8_t> testProfile() {
    std::vector<std::uint8_t> p(128, 0);
    auto u32 = [&p](std::size_t at, std::uint32_t v) {
        if (p.size() < at + 4) p.resize(at + 4, 0);
        for (int i = 0; i < 4; ++i) p[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    };
    auto text = [&p](std::size_t at, std::string_view s) {
        if (p.size() < at + s.size()) p.resize(at + s.size(), 0);
        std::copy(s.begin(), s.end(), p.begin() + static_cast<std::ptrdiff_t>(at));
    };
    const std::string name = std::string(kProfileName) + '\0';
    text(12, "mntrRGB XYZ ");
    u32(8, 0x02100000);
    text(36, "acsp");
    u32(68, 63190), u32(72, 65536), u32(76, 54061);  // the D50 white point
    u32(128, 1);                                     // one tag: desc
    text(132, "desc"), u32(136, 144);
    const std::size_t tagBytes = 12 + name.size() + 8 + 70;
    u32(140, static_cast<std::uint32_t>(tagBytes));
    text(144, "desc"), u32(152, static_cast<std::uint32_t>(name.size())), text(156, name);
    p.resize((144 + tagBytes + 3) / 4 * 4, 0);
    u32(0, static_cast<std::uint32_t>(p.size()));
    return p;
}

bool haveExiftool() { return std::system("exiftool -ver >/dev/null 2>&1") == 0; }

// The tags exiftool reads in a file, as numbers where they are numbers.
Json exif(const fs::path& file) {
    std::string text;
    if (FILE* pipe = popen(("exiftool -j -n '" + file.string() + "' 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
        pclose(pipe);
    }
    const Json all = Json::parse(text, nullptr, false);
    return all.is_array() && !all.empty() ? all[0] : Json::object();
}

class Metadata : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveExiftool()) GTEST_SKIP() << "exiftool is not installed";
        dir_ = fs::temp_directory_path() / "metadata";
        fs::create_directories(dir_);
    }
    // An equirectangular JPEG with an artist, a profile and, when asked, a pose.
    fs::path input(const char* name, const std::optional<ViewPose>& pose) {
        Document d;
        std::string error;
        EXPECT_TRUE(makeDemoPanorama(d, 128, 64, 8, error)) << error;
        auto m = std::make_shared<ImageMetadata>();
        m->carried.exif.setText(kExifArtist, "Tester");
        m->carried.iccProfile = testProfile();
        if (pose) m->panorama = PanoramaTags{128, 64, 0, 0, 128, 64, *pose};
        d.metadata = m;
        const fs::path path = dir_ / name;
        EXPECT_TRUE(saveDocument(path.string(), d, 0, error)) << error;
        return path;
    }
    fs::path render(const fs::path& in, const std::string& out, const std::string& options) {
        const fs::path path = dir_ / out;
        const auto o = testing_cli::runCli("render '" + in.string() + "' '" + path.string() + "' --quiet " + options);
        EXPECT_EQ(o.status, 0) << o.output;
        return path;
    }
    fs::path dir_;
};

TEST_F(Metadata, CarriedIntoEveryFormatAndPanoramaTagsOnlyOnTheEquirectangularMap) {
    struct Case {
        const char* file;
        const char* options;
        bool exif, panorama;  // what the format can hold and the output should have
    };
    const Case cases[] = {
        {"eq.jpg", "--output equirectangular --size 96x48", true, true},
        {"moll.jpg", "--output Mollweide --size 96x48", true, false},
        {"eq.tif", "--output equirectangular --size 96x48", true, true},
        {"moll.tif", "--output Mollweide --size 96x48", true, false},
        {"eq.png", "--output equirectangular --size 96x48", true, true},
        {"moll.png", "--output Mollweide --size 96x48", true, false},
        {"square.jpg", "--output equirectangular --size 96x96", true, false},  // empty bands: not describable
    };
    const fs::path in = input("in.jpg", ViewPose{30.0, 10.0, 0.0});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Json tags = exif(render(in, c.file, c.options));
        EXPECT_EQ(tags.value("ProfileDescription", ""), kProfileName);
        EXPECT_EQ(tags.value("Artist", ""), c.exif ? "Tester" : "");
        if (c.exif) {
            EXPECT_EQ(tags.value("Orientation", 0), 1);
        }
        EXPECT_EQ(tags.contains("ProjectionType"), c.panorama);
        EXPECT_EQ(tags.contains("PoseHeadingDegrees"), c.panorama);
        if (c.panorama) {
            EXPECT_EQ(tags.value("ProjectionType", ""), "equirectangular");
            EXPECT_EQ(tags.value("FullPanoWidthPixels", 0), 96);
            EXPECT_EQ(tags.value("FullPanoHeightPixels", 0), 48);
            EXPECT_EQ(tags.value("CroppedAreaImageWidthPixels", 0), 96);
            EXPECT_EQ(tags.value("CroppedAreaTopPixels", -1), 0);
            EXPECT_NEAR(tags.value("PoseHeadingDegrees", 0.0), 30.0, 1e-3);  // an unturned view keeps the pose
            EXPECT_NEAR(tags.value("PosePitchDegrees", 0.0), 10.0, 1e-3);
        }
        // The keyword record of the render's settings is still there.
        if (std::string(c.file).ends_with(".jpg")) {
            EXPECT_EQ(tags.value("ExifImageWidth", 0), 96);  // the output's, not the input's 128
            EXPECT_EQ(tags.value("Caption-Abstract", ""), "Made with Globaro 2");
        }
    }
}

TEST_F(Metadata, PoseFollowsTheViewAndUsePoseLevels) {
    const fs::path level = input("level.jpg", std::nullopt);
    const Json turned = exif(render(level, "turned.jpg",
                                    "--output equirectangular --size 128x64 --lat 20 --lon -40 "
                                    "--spin 15"));
    EXPECT_NEAR(turned.value("PoseHeadingDegrees", 0.0), 320.0, 1e-3);
    EXPECT_NEAR(turned.value("PosePitchDegrees", 0.0), 20.0, 1e-3);
    EXPECT_NEAR(turned.value("PoseRollDegrees", 0.0), -15.0, 1e-3);

    const fs::path tilted = input("tilted.jpg", ViewPose{30.0, 10.0, -5.0});
    const Json levelled = exif(render(tilted, "levelled.jpg", "--output equirectangular --size 128x64 --use-pose"));
    EXPECT_NEAR(levelled.value("PoseHeadingDegrees", 0.0), 30.0, 1e-3);
    EXPECT_NEAR(levelled.value("PosePitchDegrees", 1.0), 0.0, 1e-3);
    EXPECT_NEAR(levelled.value("PoseRollDegrees", 1.0), 0.0, 1e-3);
}

// A pose followed by the view that levels it faces the same way, level,
// over poses all round the sphere (short of straight up, where heading and
// roll are one turn).
TEST(PoseArithmetic, LevellingViewUndoesPitchAndRoll) {
    for (double heading = 0.0; heading < 360.0; heading += 45.0)
        for (double pitch = -80.0; pitch <= 80.0; pitch += 20.0)
            for (double roll = -170.0; roll <= 170.0; roll += 34.0) {
                const ViewPose p = composePose(ViewPose{heading, pitch, roll}, levellingView({heading, pitch, roll}));
                ASSERT_NEAR(p.pitch, 0.0, 1e-9) << heading << " " << pitch << " " << roll;
                ASSERT_NEAR(p.roll, 0.0, 1e-9) << heading << " " << pitch << " " << roll;
                ASSERT_NEAR(std::remainder(p.heading - heading, 360.0), 0.0, 1e-9);
            }
}

}  // namespace
}  // namespace globaro
