// Image files in and out of the standalone host: every format and depth, grey
// and RGB, with and without transparency, against the per-sample definitions.

#include "app/image_io.h"

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>

namespace globaro {
namespace {

std::string tempPath(const std::string& name) { return ::testing::TempDir() + "globaro_io_" + name; }

Document pattern(std::int32_t width, std::int32_t height, int planes, bool alpha, int depth) {
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, width, height, planes, alpha, depth, error)) << error;
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (std::int32_t y = 0; y < d.height; ++y)
        for (std::int32_t x = 0; x < d.width; ++x)
            for (int p = 0; p < d.planes(); ++p) d.setValue(x, y, p, u(rng));
    return d;
}

// A document of depth `from` saved at `to` (0: as it is) comes back at depth
// `got` with the samples convertDepth makes, within `tolerance`. With
// `writeAlpha` false the (opaque) transparency plane stays out of the file.
struct FileCase {
    const char* extension;
    int planes;
    bool alpha;
    int from, to, got;
    bool writeAlpha;
    double tolerance;
};

const FileCase kFiles[] = {
    {".png", 3, false, 8, 0, 8, true, 0},   {".png", 1, true, 8, 0, 8, true, 0},
    {".png", 3, true, 16, 0, 16, true, 0},  {".png", 1, false, 16, 0, 16, true, 0},
    {".png", 3, true, 8, 16, 16, true, 0},  {".png", 3, true, 16, 8, 8, true, 0},
    {".png", 3, true, 32, 16, 16, true, 0}, {".png", 3, true, 32, 8, 8, true, 0},
    {".tif", 3, true, 8, 0, 8, true, 0},    {".tif", 1, false, 16, 0, 16, true, 0},
    {".tif", 3, false, 32, 0, 32, true, 0}, {".tif", 3, true, 8, 32, 32, true, 0},
    {".tif", 3, true, 16, 32, 32, true, 0}, {".tif", 3, true, 32, 16, 16, true, 0},
    {".tif", 3, true, 8, 0, 8, false, 0},   {".tif", 1, true, 16, 0, 16, false, 0},
    {".tif", 3, true, 32, 0, 32, false, 0}, {".tif", 3, true, 32, 8, 8, false, 0},
    {".tif", 1, true, 8, 16, 16, false, 0}, {".exr", 3, true, 32, 0, 32, true, 0},
    {".exr", 1, false, 32, 0, 32, true, 0}, {".hdr", 3, false, 32, 0, 32, true, 0.01},
    {".jpg", 3, false, 8, 0, 8, true, 1.0},
};

TEST(ImageFiles, EveryFormatAndDepthComesBackAsConvertDepthMakesIt) {
    for (const FileCase& c : kFiles) {
        const std::string name = std::string(c.extension) + " " + std::to_string(c.planes) + (c.alpha ? "a " : " ") +
                                 std::to_string(c.from) + "->" + std::to_string(c.to) +
                                 (c.writeAlpha ? "" : " no alpha");
        SCOPED_TRACE(name);
        Document doc = pattern(13, 150, c.planes, c.alpha, c.from);  // 150 rows cross strips
        if (!c.writeAlpha) {
            EXPECT_FALSE(everyPixelOpaque(doc));
            for (std::int32_t y = 0; y < doc.height; ++y)
                for (std::int32_t x = 0; x < doc.width; ++x) doc.setValue(x, y, c.planes, 1.0f);
            EXPECT_TRUE(everyPixelOpaque(doc));
        }
        const std::string path = tempPath(std::string("rt") + c.extension);
        std::string error;
        ASSERT_TRUE(saveDocument(path, doc, c.to, error, c.writeAlpha)) << error;
        Document back;
        ASSERT_TRUE(loadDocument(path, back, error)) << error;
        ASSERT_EQ(back.width, doc.width);
        ASSERT_EQ(back.height, doc.height);
        ASSERT_EQ(back.colorPlanes, doc.colorPlanes);
        ASSERT_EQ(back.hasAlpha, c.alpha && c.writeAlpha);
        ASSERT_EQ(back.depth, c.got);
        const Document want = convertDepth(doc, c.got);
        double worst = 0;
        for (std::int32_t y = 0; y < doc.height; ++y)
            for (std::int32_t x = 0; x < doc.width; ++x)
                for (int p = 0; p < back.planes(); ++p)
                    worst = std::max(worst, double(std::fabs(back.value(x, y, p) - want.value(x, y, p))));
        EXPECT_LE(worst, c.tolerance);
        std::filesystem::remove(path);
    }
    EXPECT_FALSE(everyPixelOpaque(pattern(3, 3, 3, false, 8)));  // no plane at all
}

// 16-bit samples as a file holds them (0..65535), through OpenImageIO directly.
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
// host values: a file passed through comes back bit-identical with all 65536
// values, and samples changed in between read back as the host values given.
TEST(ImageFiles, SixteenBitFilesPassThroughBitIdentical) {
    for (const auto& [extension, channels] : {std::pair{".png", 4}, {".png", 1}, {".tif", 3}}) {
        SCOPED_TRACE(extension + std::to_string(channels));
        const int width = 256, height = (65536 + width * channels - 1) / (width * channels);
        std::vector<std::uint16_t> file(static_cast<std::size_t>(width) * height * channels);
        for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<std::uint16_t>((i * 40503u + 7u) & 0xFFFFu);
        const std::string in = tempPath(std::string("raw16") + extension),
                          out = tempPath(std::string("out16") + extension);
        ASSERT_TRUE(writeRaw16(in, width, height, channels, file));
        Document doc;
        std::string error;
        ASSERT_TRUE(loadDocument(in, doc, error)) << error;
        for (int x = 0; x < width; ++x)  // the values the file holds, not their bytes turned round
            EXPECT_NEAR(doc.value(x, 0, 0), file[static_cast<std::size_t>(x) * channels] / 65535.0, 1e-4) << x;
        ASSERT_TRUE(saveDocument(out, doc, 0, error)) << error;
        EXPECT_EQ(readRaw16(out), file);
        const std::size_t rowSamples = static_cast<std::size_t>(width) * channels;
        for (std::size_t i = 0; i < rowSamples; ++i) {  // the top row: every host value in turn
            const auto h = static_cast<std::uint16_t>((i * 129u) % 32769u);
            std::memcpy(doc.pixels.data() + 2 * i, &h, 2);
        }
        ASSERT_TRUE(saveDocument(out, doc, 0, error)) << error;
        Document back;
        ASSERT_TRUE(loadDocument(out, back, error)) << error;
        EXPECT_EQ(back.pixels, doc.pixels);
        const std::vector<std::uint16_t> again = readRaw16(out);
        ASSERT_EQ(again.size(), file.size());
        EXPECT_TRUE(std::equal(again.begin() + std::ptrdiff_t(rowSamples), again.end(),
                               file.begin() + std::ptrdiff_t(rowSamples)));
    }
}

TEST(SampleConversion, MatchesValueAndSetValueForEveryPairOfDepths) {
    for (int from : {8, 16, 32}) {
        Document src = pattern(23, 5, 3, true, from);
        if (from == 32) {  // out of range and not numbers too
            src.setValue(1, 0, 0, 7.0f);
            src.setValue(2, 0, 0, std::numeric_limits<float>::quiet_NaN());
            src.setValue(3, 0, 0, std::numeric_limits<float>::infinity());
            src.setValue(0, 0, 0, -0.5f);
        } else if (from == 16) {
            const std::uint16_t over = 40000;  // above full scale
            std::memcpy(src.sample(0, 0, 0), &over, 2);
        }
        for (int to : {8, 16, 32}) {
            Document expected;
            std::string error;
            ASSERT_TRUE(makeDocument(expected, src.width, src.height, 3, true, to, error));
            if (to == from)
                expected = src;  // a plain copy
            else
                for (std::int32_t y = 0; y < src.height; ++y)
                    for (std::int32_t x = 0; x < src.width; ++x)
                        for (int p = 0; p < 4; ++p) expected.setValue(x, y, p, src.value(x, y, p));
            EXPECT_EQ(convertDepth(src, to).pixels, expected.pixels) << from << " -> " << to;
        }
    }
}

// The document a reader must make of an 8-bit file: the file's own
// description of its alpha channel decides, sample by sample.
Document referenceLoad(const std::string& path) {
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    const OIIO::ImageSpec spec = in->spec();
    std::vector<std::uint8_t> all(static_cast<std::size_t>(spec.width) * spec.height * spec.nchannels);
    EXPECT_TRUE(in->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::UINT8, all.data()));
    const int alpha = spec.alpha_channel >= 0 ? spec.alpha_channel : spec.nchannels % 2 == 0 ? spec.nchannels - 1 : -1;
    const int colour = (spec.nchannels - (alpha >= 0 ? 1 : 0)) >= 3 ? 3 : 1;
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, spec.width, spec.height, colour, alpha >= 0, 8, error));
    for (std::int32_t y = 0; y < d.height; ++y)
        for (std::int32_t x = 0; x < d.width; ++x)
            for (int p = 0; p < d.planes(); ++p)
                *d.sample(x, y, p) = all[(std::size_t(y) * spec.width + x) * spec.nchannels + (p < colour ? p : alpha)];
    return d;
}

TEST(ReadingFiles, ChannelsArePickedAsTheFileDescribesThem) {
    // channels, alpha channel; 150 rows so that strips meet
    for (const auto& [channels, alpha] :
         {std::pair{1, -1}, {2, 1}, {3, -1}, {4, 3}, {5, 3}, {5, -1}, {3, 2}, {4, -1}, {5, 4}}) {
        SCOPED_TRACE(std::to_string(channels) + " channels, alpha " + std::to_string(alpha));
        const std::string path = tempPath("channels.tif");
        OIIO::ImageSpec spec(19, 150, channels, OIIO::TypeDesc::UINT8);
        spec.alpha_channel = alpha;
        spec.attribute("oiio:UnassociatedAlpha", 1);
        std::vector<std::uint8_t> bytes(std::size_t(19) * 150 * channels);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = std::uint8_t((i / channels * 7 + i % channels * 31) & 255);
        auto out = OIIO::ImageOutput::create(path);
        ASSERT_TRUE(out && out->open(path, spec) && out->write_image(OIIO::TypeDesc::UINT8, bytes.data()) &&
                    out->close());
        const Document expected = referenceLoad(path);
        Document doc;
        std::string error;
        ASSERT_TRUE(loadDocument(path, doc, error)) << error;
        EXPECT_EQ(doc.colorPlanes, expected.colorPlanes);
        EXPECT_EQ(doc.hasAlpha, expected.hasAlpha);
        EXPECT_EQ(doc.pixels, expected.pixels);
    }
}

TEST(WritingFiles, PngIsCompressedLosslessly) {
    Document doc;
    std::string error;
    ASSERT_TRUE(makeDocument(doc, 256, 130, 3, true, 8, error));
    for (std::int32_t y = 0; y < doc.height; ++y)
        for (std::int32_t x = 0; x < doc.width; ++x)
            for (int p = 0; p < 4; ++p)
                *doc.sample(x, y, p) = std::uint8_t(p == 0 ? x : p == 1 ? y : p == 2 ? x ^ y : 255);
    const std::string path = tempPath("smooth.png");
    ASSERT_TRUE(saveDocument(path, doc, 0, error)) << error;
    EXPECT_LT(std::filesystem::file_size(path), doc.pixels.size() / 4);
    Document back;
    ASSERT_TRUE(loadDocument(path, back, error)) << error;
    EXPECT_EQ(back.pixels, doc.pixels);
}

TEST(WritingFiles, ImpossibleDepthsAndEmptyImagesAreRefused) {
    std::string error;
    for (const auto& [doc, depth] : {std::pair{pattern(4, 4, 3, false, 8), 12}, {Document{}, 0}}) {
        EXPECT_FALSE(saveDocument(tempPath("bad.png"), doc, depth, error));
        EXPECT_NE(error.find("cannot write"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(tempPath("bad.png")));
    }
}

TEST(Documents, ImpossibleSizesAreRefused) {
    Document d;
    std::string error;
    for (const auto& [w, h, planes, depth] : {std::array{0, 10, 3, 8},
                                              {10, -1, 3, 8},
                                              {300001, 1, 3, 8},
                                              {10, 10, 2, 8},
                                              {10, 10, 3, 12},
                                              {300000, 300000, 3, 32}})
        EXPECT_FALSE(makeDocument(d, w, h, planes, true, depth, error))
            << w << "x" << h << " " << planes << " " << depth;
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
