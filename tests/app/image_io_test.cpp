// Image files in and out of the standalone host: every depth, grey and RGB,
// with and without transparency, kept exactly where the format allows.

#include "app/image_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace globaro {
namespace {

std::string tempPath(const std::string& name) { return ::testing::TempDir() + "globaro_io_" + name; }

Document pattern(int planes, bool alpha, int depth) {
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, 37, 21, planes, alpha, depth, error)) << error;
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (std::int32_t y = 0; y < d.height; ++y)
        for (std::int32_t x = 0; x < d.width; ++x)
            for (int p = 0; p < d.planes(); ++p) d.setValue(x, y, p, u(rng));
    return d;
}

struct FileCase {
    const char* extension;
    int planes;
    bool alpha;
    int depth;
};

class RoundTrip : public ::testing::TestWithParam<FileCase> {};

TEST_P(RoundTrip, KeepsDepthChannelsAndSamples) {
    const FileCase c = GetParam();
    const Document doc = pattern(c.planes, c.alpha, c.depth);
    const std::string path = tempPath(std::string("rt") + std::to_string(c.planes) + (c.alpha ? "a" : "") +
                                      std::to_string(c.depth) + c.extension);
    std::string error;
    ASSERT_TRUE(saveDocument(path, doc, 0, error)) << error;
    Document back;
    ASSERT_TRUE(loadDocument(path, back, error)) << error;
    EXPECT_EQ(back.width, doc.width);
    EXPECT_EQ(back.height, doc.height);
    EXPECT_EQ(back.colorPlanes, doc.colorPlanes);
    EXPECT_EQ(back.hasAlpha, doc.hasAlpha);
    EXPECT_EQ(back.depth, doc.depth);
    // 16-bit samples pass through 0..65535 in the file and come back exactly.
    EXPECT_EQ(back.pixels, doc.pixels);
    std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip,
                         ::testing::Values(FileCase{".png", 3, false, 8}, FileCase{".png", 1, true, 8},
                                           FileCase{".png", 3, true, 16}, FileCase{".png", 1, false, 16},
                                           FileCase{".tif", 3, true, 8}, FileCase{".tif", 1, false, 16},
                                           FileCase{".tif", 3, false, 32}, FileCase{".exr", 3, true, 32},
                                           FileCase{".exr", 1, false, 32}));

TEST(ImageFiles, JpegAndRadianceKeepTheirPictureClosely) {
    const Document doc = pattern(3, false, 8);
    std::string error;
    const std::string jpeg = tempPath("lossy.jpg");
    ASSERT_TRUE(saveDocument(jpeg, doc, 0, error)) << error;
    Document back;
    ASSERT_TRUE(loadDocument(jpeg, back, error)) << error;
    EXPECT_EQ(back.depth, 8);
    EXPECT_EQ(back.colorPlanes, 3);

    const Document hdr = pattern(3, false, 32);
    const std::string radiance = tempPath("scene.hdr");
    ASSERT_TRUE(saveDocument(radiance, hdr, 0, error)) << error;
    ASSERT_TRUE(loadDocument(radiance, back, error)) << error;
    EXPECT_EQ(back.depth, 32);
    double worst = 0;
    for (std::int32_t y = 0; y < hdr.height; ++y)
        for (std::int32_t x = 0; x < hdr.width; ++x)
            for (int p = 0; p < 3; ++p) worst = std::max(worst, double(std::abs(back.value(x, y, p) - hdr.value(x, y, p))));
    EXPECT_LT(worst, 0.01);
}

TEST(ImageFiles, DepthConversionOnWrite) {
    const Document doc = pattern(3, false, 32);
    std::string error;
    const std::string path = tempPath("to8.png");
    ASSERT_TRUE(saveDocument(path, doc, 8, error)) << error;
    Document back;
    ASSERT_TRUE(loadDocument(path, back, error)) << error;
    EXPECT_EQ(back.depth, 8);
    EXPECT_NEAR(back.value(3, 4, 1), doc.value(3, 4, 1), 1.0 / 255.0);
}

TEST(ImageFiles, AnOpaqueTransparencyPlaneCanBeLeftOut) {
    // Every depth, as stored and converted: the colour samples come back as
    // they would with the plane, and the file has no transparency.
    struct Case {
        int planes, depth, writeDepth;
    };
    for (const Case c : {Case{3, 8, 0}, Case{1, 16, 0}, Case{3, 32, 0}, Case{3, 32, 8}, Case{1, 8, 16}}) {
        Document doc = pattern(c.planes, true, c.depth);
        EXPECT_FALSE(everyPixelOpaque(doc));
        for (std::int32_t y = 0; y < doc.height; ++y)
            for (std::int32_t x = 0; x < doc.width; ++x) doc.setValue(x, y, c.planes, 1.0f);
        EXPECT_TRUE(everyPixelOpaque(doc));
        const std::string with = tempPath("opaque-with.tif"), without = tempPath("opaque-without.tif");
        std::string error;
        ASSERT_TRUE(saveDocument(with, doc, c.writeDepth, error)) << error;
        ASSERT_TRUE(saveDocument(without, doc, c.writeDepth, error, false)) << error;
        Document a, b;
        ASSERT_TRUE(loadDocument(with, a, error)) << error;
        ASSERT_TRUE(loadDocument(without, b, error)) << error;
        EXPECT_TRUE(a.hasAlpha);
        EXPECT_FALSE(b.hasAlpha);
        ASSERT_EQ(a.depth, b.depth);
        for (std::int32_t y = 0; y < doc.height; ++y)
            for (std::int32_t x = 0; x < doc.width; ++x)
                for (int p = 0; p < c.planes; ++p)
                    ASSERT_EQ(a.value(x, y, p), b.value(x, y, p)) << c.depth << " " << x << ", " << y << ", " << p;
        std::filesystem::remove(with);
        std::filesystem::remove(without);
    }
    EXPECT_FALSE(everyPixelOpaque(pattern(3, false, 8)));  // no plane at all
}

TEST(ImageFiles, BadInputGivesOneLineReasons) {
    Document doc;
    std::string error;
    EXPECT_FALSE(loadDocument("/nonexistent/picture.png", doc, error));
    EXPECT_EQ(error, "cannot read \"/nonexistent/picture.png\": no such file");

    const std::string junk = tempPath("junk.png");
    std::ofstream(junk) << "this is not a picture";
    EXPECT_FALSE(loadDocument(junk, doc, error));
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_NE(error.find("cannot read"), std::string::npos);

    // A PNG cut in half.
    const Document good = pattern(3, false, 8);
    const std::string whole = tempPath("whole.png");
    ASSERT_TRUE(saveDocument(whole, good, 0, error));
    std::ifstream in(whole, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string cut = tempPath("cut.png");
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    EXPECT_FALSE(loadDocument(cut, doc, error));
    EXPECT_EQ(error.find('\n'), std::string::npos);

    EXPECT_FALSE(loadDocument(::testing::TempDir(), doc, error));  // a folder
}

TEST(ImageFiles, FailedWritesLeaveNothingBehind) {
    const Document doc = pattern(3, false, 8);
    std::string error;
    EXPECT_FALSE(saveDocument("/nonexistent/folder/out.png", doc, 0, error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
    EXPECT_FALSE(saveDocument(tempPath("out.unknownformat"), doc, 0, error));
    EXPECT_FALSE(std::filesystem::exists(tempPath("out.unknownformat")));

    // An existing good file stays as it was when a write to it fails.
    const std::string keep = tempPath("keep.png");
    ASSERT_TRUE(saveDocument(keep, doc, 0, error));
    const auto size = std::filesystem::file_size(keep);
    Document empty;
    EXPECT_FALSE(saveDocument(keep, empty, 0, error));
    EXPECT_EQ(std::filesystem::file_size(keep), size);
    for (const auto& entry : std::filesystem::directory_iterator(::testing::TempDir()))
        EXPECT_EQ(entry.path().filename().string().find(".keep.partial"), std::string::npos);
}

TEST(Documents, ImpossibleSizesAreRefused) {
    Document d;
    std::string error;
    EXPECT_FALSE(makeDocument(d, 0, 10, 3, false, 8, error));
    EXPECT_FALSE(makeDocument(d, 10, -1, 3, false, 8, error));
    EXPECT_FALSE(makeDocument(d, 300001, 1, 3, false, 8, error));
    EXPECT_FALSE(makeDocument(d, 10, 10, 2, false, 8, error));
    EXPECT_FALSE(makeDocument(d, 10, 10, 3, false, 12, error));
    EXPECT_FALSE(makeDocument(d, 300000, 300000, 3, true, 32, error));
    EXPECT_NE(error.find("too large"), std::string::npos);
}

TEST(Documents, ModesAndCases) {
    Document d;
    std::string error;
    ASSERT_TRUE(makeDocument(d, 2, 2, 1, false, 16, error));
    EXPECT_EQ(d.imageMode(), plugInModeGray16);
    EXPECT_EQ(d.filterCase(), filterCaseFlatImageNoSelection);
    d.mask.assign(4, 255);
    EXPECT_EQ(d.filterCase(), filterCaseFlatImageWithSelection);
    ASSERT_TRUE(makeDocument(d, 2, 2, 3, true, 32, error));
    EXPECT_EQ(d.imageMode(), plugInModeRGB96);
    EXPECT_EQ(d.filterCase(), filterCaseEditableTransparencyNoSelection);
}

}  // namespace
}  // namespace globaro
