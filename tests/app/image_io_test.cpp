// Image files in and out of the standalone host: every depth, grey and RGB,
// with and without transparency, kept exactly where the format allows.

#include "app/image_io.h"

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <cstring>

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

// 16-bit samples as a file holds them (0..65535), written and read with
// OpenImageIO directly.
bool writeRaw16(const std::string& path, int width, int height, int channels, const std::vector<std::uint16_t>& v) {
    auto out = OIIO::ImageOutput::create(path);
    OIIO::ImageSpec spec(width, height, channels, OIIO::TypeDesc::UINT16);
    if (channels == 4) spec.alpha_channel = 3;
    spec.attribute("oiio:UnassociatedAlpha", 1);
    return out && out->open(path, spec) && out->write_image(OIIO::TypeDesc::UINT16, v.data()) && out->close();
}

std::vector<std::uint16_t> readRaw16(const std::string& path) {
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    if (!in) return {};
    const OIIO::ImageSpec& spec = in->spec();
    std::vector<std::uint16_t> v(static_cast<std::size_t>(spec.width) * spec.height * spec.nchannels);
    if (!in->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::UINT16, v.data())) return {};
    return v;
}

// The host holds 16-bit samples as 0..32768, so two file values share most
// host values. A 16-bit file passed through comes back bit-identical, with
// every one of the 65536 file values in it; samples changed in between
// (whichever of the two their neighbours were) read back as the host values
// they were given.
TEST(ImageFiles, SixteenBitFilesPassThroughBitIdentical) {
    struct Case {
        const char* extension;
        int channels;
    };
    for (const Case c : {Case{".png", 4}, Case{".png", 1}, Case{".tif", 3}}) {
        const int width = 256, height = (65536 + width * c.channels - 1) / (width * c.channels);
        std::vector<std::uint16_t> file(static_cast<std::size_t>(width) * height * c.channels);
        for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<std::uint16_t>((i * 40503u + 7u) & 0xFFFFu);
        const std::string in = tempPath(std::string("raw16") + c.extension),
                          out = tempPath(std::string("out16") + c.extension);
        ASSERT_TRUE(writeRaw16(in, width, height, c.channels, file)) << c.extension;
        Document doc;
        std::string error;
        ASSERT_TRUE(loadDocument(in, doc, error)) << error;
        ASSERT_EQ(doc.planes(), c.channels);
        ASSERT_TRUE(saveDocument(out, doc, 0, error)) << error;
        EXPECT_EQ(readRaw16(out), file) << c.extension;

        // Change the top row to every host value in turn.
        const std::size_t rowSamples = static_cast<std::size_t>(width) * c.channels;
        for (std::size_t i = 0; i < rowSamples; ++i) {
            const auto h = static_cast<std::uint16_t>((i * 129u) % 32769u);
            std::memcpy(doc.pixels.data() + 2 * i, &h, 2);
        }
        ASSERT_TRUE(saveDocument(out, doc, 0, error)) << error;
        Document back;
        ASSERT_TRUE(loadDocument(out, back, error)) << error;
        EXPECT_EQ(back.pixels, doc.pixels) << c.extension;
        const std::vector<std::uint16_t> again = readRaw16(out);
        ASSERT_EQ(again.size(), file.size());
        EXPECT_TRUE(std::equal(again.begin() + static_cast<std::ptrdiff_t>(rowSamples), again.end(),
                               file.begin() + static_cast<std::ptrdiff_t>(rowSamples)))
            << c.extension;
        std::filesystem::remove(in);
        std::filesystem::remove(out);
    }
}

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
            for (int p = 0; p < 3; ++p)
                worst = std::max(worst, double(std::abs(back.value(x, y, p) - hdr.value(x, y, p))));
    EXPECT_LT(worst, 0.01);
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

TEST(Documents, ImpossibleSizesAreRefused) {
    Document d;
    std::string error;
    EXPECT_FALSE(makeDocument(d, 0, 10, 3, false, 8, error));
    EXPECT_FALSE(makeDocument(d, 10, -1, 3, false, 8, error));
    EXPECT_FALSE(makeDocument(d, 300001, 1, 3, false, 8, error));
    EXPECT_FALSE(makeDocument(d, 10, 10, 2, false, 8, error));
    EXPECT_FALSE(makeDocument(d, 10, 10, 3, false, 12, error));
    EXPECT_FALSE(makeDocument(d, 300000, 300000, 3, true, 32, error));
    EXPECT_NE(error.find("allowed for one image"), std::string::npos);
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
