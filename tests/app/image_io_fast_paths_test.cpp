// The fast paths of reading and writing: straight reads into the document,
// channel picking, strip-wise depth conversion on write, and the sample
// conversion loops, each checked against the per-sample definitions.

#include "app/image_io.h"

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>

namespace globaro {
namespace {

namespace OIIO = OIIO_NAMESPACE;

std::string tempPath(const std::string& name) { return ::testing::TempDir() + "globaro_iofast_" + name; }

Document pattern(std::int32_t width, std::int32_t height, int planes, bool alpha, int depth, unsigned seed) {
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, width, height, planes, alpha, depth, error)) << error;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (std::int32_t y = 0; y < d.height; ++y)
        for (std::int32_t x = 0; x < d.width; ++x)
            for (int p = 0; p < d.planes(); ++p) d.setValue(x, y, p, u(rng));
    return d;
}

TEST(SampleConversion, MatchesValueAndSetValueForEveryPairOfDepths) {
    for (int from : {8, 16, 32}) {
        Document src = pattern(23, 5, 3, true, from, 3);
        if (from == 32) {
            // Out-of-range and non-finite floats too.
            src.setValue(0, 0, 0, -0.5f);
            src.setValue(1, 0, 0, 7.0f);
            src.setValue(2, 0, 0, std::numeric_limits<float>::quiet_NaN());
            src.setValue(3, 0, 0, std::numeric_limits<float>::infinity());
        } else if (from == 16) {
            const std::uint16_t over = 40000;  // above full scale
            std::memcpy(src.sample(0, 0, 0), &over, 2);
        }
        // The same depth is a plain copy.
        EXPECT_EQ(convertDepth(src, from).pixels, src.pixels);
        for (int to : {8, 16, 32}) {
            if (to == from) continue;
            Document expected;
            std::string error;
            ASSERT_TRUE(makeDocument(expected, src.width, src.height, 3, true, to, error));
            for (std::int32_t y = 0; y < src.height; ++y)
                for (std::int32_t x = 0; x < src.width; ++x)
                    for (int p = 0; p < 4; ++p) expected.setValue(x, y, p, src.value(x, y, p));
            const Document converted = convertDepth(src, to);
            EXPECT_EQ(converted.pixels, expected.pixels) << from << " -> " << to;
        }
    }
}

// Writes through OpenImageIO directly: `channels` channels of 8-bit samples,
// channel c of pixel i being (i * 7 + c * 31) & 255.
std::string writeRawFile(const std::string& name, int channels, int alphaChannel, std::int32_t width,
                         std::int32_t height) {
    const std::string path = tempPath(name);
    OIIO::ImageSpec spec(width, height, channels, OIIO::TypeDesc::UINT8);
    spec.alpha_channel = alphaChannel;
    spec.attribute("oiio:UnassociatedAlpha", 1);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(width) * height * channels);
    for (std::size_t i = 0; i < bytes.size() / channels; ++i)
        for (int c = 0; c < channels; ++c) bytes[i * channels + c] = static_cast<std::uint8_t>((i * 7 + c * 31) & 255);
    auto out = OIIO::ImageOutput::create(path);
    EXPECT_TRUE(out && out->open(path, spec) && out->write_image(OIIO::TypeDesc::UINT8, bytes.data()) && out->close());
    return path;
}

// The document a reader must make of a file: the file's own description of
// its alpha channel decides, sample by sample.
Document referenceLoad(const std::string& path) {
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    EXPECT_TRUE(in);
    const OIIO::ImageSpec spec = in->spec();
    std::vector<std::uint8_t> all(static_cast<std::size_t>(spec.width) * spec.height * spec.nchannels);
    EXPECT_TRUE(in->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::UINT8, all.data()));
    const int alpha = spec.alpha_channel >= 0                        ? spec.alpha_channel
                      : (spec.nchannels == 2 || spec.nchannels == 4) ? spec.nchannels - 1
                                                                     : -1;
    const int colour = (spec.nchannels - (alpha >= 0 ? 1 : 0)) >= 3 ? 3 : 1;
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, spec.width, spec.height, colour, alpha >= 0, 8, error));
    for (std::int32_t y = 0; y < d.height; ++y)
        for (std::int32_t x = 0; x < d.width; ++x)
            for (int p = 0; p < d.planes(); ++p)
                *d.sample(x, y, p) =
                    all[(static_cast<std::size_t>(y) * spec.width + x) * spec.nchannels + (p < colour ? p : alpha)];
    return d;
}

TEST(ReadingFiles, ChannelsArePickedAsTheFileDescribesThem) {
    struct Case {
        const char* name;
        int channels;
        int alpha;
    };
    // Taller than one strip of rows so that strips meet.
    const Case cases[] = {{"grey.tif", 1, -1},      {"greyalpha.tif", 2, 1}, {"rgb.tif", 3, -1},
                          {"rgba.tif", 4, 3},       {"rgbaz.tif", 5, 3},     {"fivenoalpha.tif", 5, -1},
                          {"greyxalpha.tif", 3, 2}, {"rgbx.tif", 4, -1},     {"rgbza.tif", 5, 4}};
    for (const Case& c : cases) {
        const std::string path = writeRawFile(c.name, c.channels, c.alpha, 19, 150);
        const Document expected = referenceLoad(path);
        Document doc;
        std::string error;
        ASSERT_TRUE(loadDocument(path, doc, error)) << c.name << ": " << error;
        EXPECT_EQ(doc.colorPlanes, expected.colorPlanes) << c.name;
        EXPECT_EQ(doc.hasAlpha, expected.hasAlpha) << c.name;
        EXPECT_EQ(doc.pixels, expected.pixels) << c.name;
        std::filesystem::remove(path);
    }
}

TEST(WritingFiles, EveryDepthConversionWritesWhatConvertDepthMakes) {
    // PNG holds 8 and 16 bits, TIFF all three depths; 150 rows cross strips.
    struct Case {
        const char* extension;
        int from, to;
    };
    const Case cases[] = {{".png", 8, 16}, {".png", 16, 8},  {".png", 32, 16}, {".png", 32, 8},
                          {".tif", 8, 32}, {".tif", 16, 32}, {".tif", 32, 16}, {".tif", 16, 16}};
    for (const Case& c : cases) {
        const Document doc = pattern(13, 150, 3, true, c.from, 5);
        const std::string path =
            tempPath(std::string("conv") + std::to_string(c.from) + "to" + std::to_string(c.to) + c.extension);
        std::string error;
        ASSERT_TRUE(saveDocument(path, doc, c.to, error)) << error;
        Document back;
        ASSERT_TRUE(loadDocument(path, back, error)) << error;
        EXPECT_EQ(back.depth, c.to) << path;
        EXPECT_EQ(back.pixels, convertDepth(doc, c.to).pixels) << path;
        std::filesystem::remove(path);
    }
}

TEST(WritingFiles, PngIsCompressedLosslessly) {
    // A smooth picture compresses well; every sample comes back exactly.
    Document doc;
    std::string error;
    ASSERT_TRUE(makeDocument(doc, 256, 130, 3, true, 8, error));
    for (std::int32_t y = 0; y < doc.height; ++y)
        for (std::int32_t x = 0; x < doc.width; ++x) {
            *doc.sample(x, y, 0) = static_cast<std::uint8_t>(x);
            *doc.sample(x, y, 1) = static_cast<std::uint8_t>(y);
            *doc.sample(x, y, 2) = static_cast<std::uint8_t>(x ^ y);
            *doc.sample(x, y, 3) = 255;
        }
    const std::string path = tempPath("smooth.png");
    ASSERT_TRUE(saveDocument(path, doc, 0, error)) << error;
    EXPECT_LT(std::filesystem::file_size(path), doc.pixels.size() / 4);
    Document back;
    ASSERT_TRUE(loadDocument(path, back, error)) << error;
    EXPECT_EQ(back.pixels, doc.pixels);
    EXPECT_TRUE(back.hasAlpha);  // an opaque transparency plane is still written
    std::filesystem::remove(path);
}

TEST(WritingFiles, ImpossibleDepthsAndEmptyImagesAreRefused) {
    const Document doc = pattern(4, 4, 3, false, 8, 1);
    std::string error;
    EXPECT_FALSE(saveDocument(tempPath("bad.png"), doc, 12, error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(tempPath("bad.png")));
    Document empty;
    EXPECT_FALSE(saveDocument(tempPath("empty.png"), empty, 0, error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(tempPath("empty.png")));
}

}  // namespace
}  // namespace globaro
