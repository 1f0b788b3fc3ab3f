// The host's own TIFF reader: every layout it takes gives the samples the
// image library reads from the same file, the kinds it does not take go to
// the library, and damaged or hostile files are refused in one line with
// nothing written.

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/cli_runner.h"
#include "app/image_codec.h"
#include "app/image_io.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;

std::string tempPath(const std::string& name) { return ::testing::TempDir() + "globaro_tiff_" + name; }

std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A file as the image library writes it, and the samples it reads back.
struct Layout {
    int channels, alpha;  // alpha: the channel marked as transparency, -1 none
    OIIO::TypeDesc::BASETYPE type;
    int tile;  // tile side, 0 for strips
    bool separate;
    const char* compression;
};

const Layout kLayouts[] = {
    {3, -1, OIIO::TypeDesc::UINT8, 0, false, "none"},      {3, -1, OIIO::TypeDesc::UINT8, 0, false, "zip"},
    {4, 3, OIIO::TypeDesc::UINT8, 0, true, "lzw"},         {1, -1, OIIO::TypeDesc::UINT16, 0, false, "zip"},
    {2, 1, OIIO::TypeDesc::UINT16, 16, false, "none"},     {3, -1, OIIO::TypeDesc::UINT16, 16, true, "packbits"},
    {3, -1, OIIO::TypeDesc::FLOAT, 0, false, "zip"},       {4, 3, OIIO::TypeDesc::FLOAT, 32, false, "lzw"},
    {1, -1, OIIO::TypeDesc::FLOAT, 0, true, "none"},       {5, 3, OIIO::TypeDesc::UINT8, 16, true, "zip"},
    {3, -1, OIIO::TypeDesc::UINT8, 48, false, "packbits"},
};

std::vector<std::uint8_t> libraryWrite(const std::string& path, const Layout& l, int width, int height) {
    OIIO::ImageSpec spec(width, height, l.channels, l.type);
    spec.alpha_channel = l.alpha;
    spec.attribute("oiio:UnassociatedAlpha", 1);
    spec.attribute("compression", l.compression);
    if (l.separate) spec.attribute("tiff:planarconfig", "separate");
    if (l.tile > 0) spec.tile_width = spec.tile_height = l.tile;
    std::vector<std::uint8_t> samples(spec.image_bytes());
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = std::uint8_t((i * 2654435761u) >> 13);
    if (l.type == OIIO::TypeDesc::FLOAT)  // numbers, not the NaNs random bits make
        for (std::size_t i = 0; i + 4 <= samples.size(); i += 4) {
            const float v = float(i % 1013) / 1000.0f - 0.01f;
            std::memcpy(samples.data() + i, &v, 4);
        }
    auto out = OIIO::ImageOutput::create(path);
    EXPECT_TRUE(out && out->open(path, spec) && out->write_image(l.type, samples.data()) && out->close());
    return samples;
}

TEST(TiffFiles, EveryLayoutReadsAsWritten) {
    const int width = 37, height = 41;  // neither a whole number of tiles nor of strips
    for (const Layout& l : kLayouts) {
        const OIIO::TypeDesc type(l.type);
        SCOPED_TRACE(std::to_string(l.channels) + " channels, " + type.c_str() + ", tile " + std::to_string(l.tile) +
                     (l.separate ? ", separate, " : ", interleaved, ") + l.compression);
        const std::string path = tempPath("layout.tif");
        const std::vector<std::uint8_t> samples = libraryWrite(path, l, width, height);
        ImageFileHeader header;
        std::string error;
        auto in = openTiffFile(path, header, error);
        ASSERT_TRUE(in) << error;
        EXPECT_EQ(header.width, width);
        EXPECT_EQ(header.height, height);
        EXPECT_EQ(header.channels, l.channels);
        EXPECT_EQ(header.alphaChannel, l.alpha);
        EXPECT_EQ(header.depth, int(type.size()) * 8);
        // The first channels only, in uneven steps of rows.
        const int channels = l.channels > 1 ? l.channels - 1 : 1;
        const std::size_t bytes = type.size();
        std::vector<std::uint8_t> got(std::size_t(width) * height * channels * bytes);
        for (std::int32_t y = 0, step = 1; y < height; y += step, step = step * 2 % 15 + 1) {
            const std::int32_t rows = std::min(step, height - y);
            ASSERT_TRUE(in->readRows(y, rows, channels, got.data() + std::size_t(y) * width * channels * bytes, error))
                << error;
        }
        for (std::size_t p = 0; p < std::size_t(width) * height; ++p)
            ASSERT_EQ(std::memcmp(got.data() + p * channels * bytes, samples.data() + p * l.channels * bytes,
                                  channels * bytes),
                      0)
                << "pixel " << p;
    }
}

// Files libtiff writes in kinds the host's reader leaves to the library.
void libtiffWrite(const std::string& path, int photometric, int bits, int format, int samples) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(t, nullptr);
    const std::uint32_t width = 8, height = 6;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, format);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, height);
    if (photometric == PHOTOMETRIC_PALETTE) {
        std::vector<std::uint16_t> map(std::size_t(1) << bits, 0x8000);
        TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
    }
    std::vector<std::uint8_t> row(TIFFScanlineSize(t), 0x40);
    for (std::uint32_t y = 0; y < height; ++y) TIFFWriteScanline(t, row.data(), y, 0);
    TIFFClose(t);
}

TEST(TiffFiles, OtherKindsGoToTheLibrary) {
    struct Kind {
        const char* what;
        int photometric, bits, format, samples;
    };
    const Kind kinds[] = {{"palette", PHOTOMETRIC_PALETTE, 8, SAMPLEFORMAT_UINT, 1},
                          {"bilevel", PHOTOMETRIC_MINISBLACK, 1, SAMPLEFORMAT_UINT, 1},
                          {"CMYK", PHOTOMETRIC_SEPARATED, 8, SAMPLEFORMAT_UINT, 4},
                          {"half floats", PHOTOMETRIC_RGB, 16, SAMPLEFORMAT_IEEEFP, 3}};
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.what);
        const std::string path = tempPath("kind.tif");
        libtiffWrite(path, k.photometric, k.bits, k.format, k.samples);
        ImageFileHeader header;
        std::string error;
        EXPECT_FALSE(openTiffFile(path, header, error));
        EXPECT_EQ(error, "");
        Document doc;
        EXPECT_TRUE(loadDocument(path, doc, error)) << error;
        EXPECT_EQ(doc.width, 8);
    }
}

// A classic little-endian TIFF of the given directory entries (tag, type,
// count, value or offset), the directory right behind the header, and
// `tail` bytes behind it.
std::vector<std::uint8_t> handMade(const std::vector<std::array<std::uint32_t, 4>>& entries, std::size_t tail) {
    std::vector<std::uint8_t> b = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const auto put = [&](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
    };
    put(std::uint32_t(entries.size()), 2);
    for (const auto& [tag, type, count, value] : entries) {
        put(tag, 2);
        put(type, 2);
        put(count, 4);
        put(value, type == 3 && count == 1 ? 2 : 4);
        if (type == 3 && count == 1) put(0, 2);
    }
    put(0, 4);
    b.resize(b.size() + tail, 0x55);
    return b;
}

// An RGB directory of `width` × `height`, `rows` rows a strip, the one
// strip's samples at offset 200 and `bytes` long.
std::vector<std::array<std::uint32_t, 4>> rgbEntries(std::uint32_t width, std::uint32_t height, std::uint32_t rows,
                                                     std::uint32_t bytes, int planar) {
    return {{256, 4, 1, width}, {257, 4, 1, height},
            {258, 3, 1, 8},     {259, 3, 1, 1},
            {262, 3, 1, 2},     {273, 4, 1, 200},
            {277, 3, 1, 3},     {278, 4, 1, rows},
            {279, 4, 1, bytes}, {284, 3, 1, std::uint32_t(planar)}};
}

TEST(TiffFiles, DamagedAndHostileFilesAreRefusedWithNothingWritten) {
    const std::string good = tempPath("good.tif");
    Document picture;
    std::string error;
    ASSERT_TRUE(makeDocument(picture, 256, 128, 3, false, 8, error)) << error;
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) picture.pixels[i] = std::uint8_t((i * i * 7) >> 5);
    ASSERT_TRUE(saveDocument(good, picture, 8, error)) << error;
    const std::vector<std::uint8_t> bytes = readBytes(good);
    ASSERT_GT(bytes.size(), 4000u);
    std::vector<std::uint8_t> corrupt = bytes;
    for (std::size_t i = 2000; i < 2600; ++i) corrupt[i] ^= 0x5a;  // inside the deflated strips
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* says = "";  // the reason, where it must be the header's and not a failed read
    };
    const Case cases[] = {
        {"cut at the first strip", {bytes.begin(), bytes.begin() + 600}},
        {"cut in half", {bytes.begin(), bytes.begin() + std::ptrdiff_t(bytes.size() / 2)}},
        {"strips damaged", corrupt},
        {"a huge size and no samples", handMade(rgbEntries(60000, 60000, 1, 180000, 1), 100)},
        {"a short strip", handMade(rgbEntries(640, 480, 480, 640 * 480 * 3, 1), 5000)},
        {"a strip of a whole plane, too large to hold", handMade(rgbEntries(16000, 16000, 16000, 1u << 31, 2), 100),
         "too large"},
        {"no size", handMade({{258, 3, 1, 8}, {262, 3, 1, 2}}, 0)},
    };
    const std::string out = tempPath("out.png");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = tempPath("bad.tif");
        writeBytes(path, c.bytes);
        fs::remove(out);
        // At most 2 GiB of address space: no header may make it reserve more
        // (AddressSanitizer reserves terabytes of shadow, so not under it).
#ifdef __SANITIZE_ADDRESS__
        const std::string limit;
#else
        const std::string limit = "ulimit -v 2097152; ";
#endif
        const auto run = testing_cli::runCli("render '" + path + "' '" + out + "' --quiet --output Mollweide", limit);
        EXPECT_NE(run.status, 0);
        EXPECT_NE(run.output.find(path), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
        EXPECT_FALSE(fs::exists(out));
    }
}

}  // namespace
}  // namespace globaro
