// The layered Photoshop writer: each file is walked by the published layout
// of the format (header, colour mode data, resources, layer and mask
// section, merged image) and every length must land exactly where the next
// part begins.

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "export/net_faces.h"
#include "export/psd_writer.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;

struct Walk {
    std::string error;  // empty when the file's lengths all agree
    int version = 0, channels = 0, depth = 0;
    std::uint32_t width = 0, height = 0, colourModeLength = 0;
    std::vector<int> resources;
    std::string names;                        // separated by commas
    std::vector<std::uint32_t> extraLengths;  // each record's extra data length
    std::vector<int> opacities;
    std::string firstLayer;  // the channel data of the first layer (4 planes)
    std::string merged;      // the merged planes, after the compression word
};

struct Reader {
    std::string text(std::size_t n) {
        if (at_ + n > b_.size()) throw std::runtime_error("read past the end at " + std::to_string(at_));
        at_ += n;
        return b_.substr(at_ - n, n);
    }
    std::uint64_t be(int n) {
        std::uint64_t v = 0;
        for (const char c : text(static_cast<std::size_t>(n))) v = v << 8 | static_cast<std::uint8_t>(c);
        return v;
    }
    std::size_t at_ = 0;
    std::string b_;
};

void expectAt(Reader& r, std::uint64_t end, const char* what) {
    if (r.at_ != end) throw std::runtime_error(std::string(what) + " ends at " + std::to_string(r.at_));
}

Walk walk(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    Reader r{0, std::string(std::istreambuf_iterator<char>(in), {})};
    Walk w;
    try {
        if (r.text(4) != "8BPS") throw std::runtime_error("no signature");
        w.version = static_cast<int>(r.be(2));
        const int big = w.version == 2 ? 8 : 4;
        r.at_ += 6;
        w.channels = static_cast<int>(r.be(2));
        w.height = static_cast<std::uint32_t>(r.be(4));
        w.width = static_cast<std::uint32_t>(r.be(4));
        w.depth = static_cast<int>(r.be(2));
        if (r.be(2) != 3) throw std::runtime_error("not RGB");
        w.colourModeLength = static_cast<std::uint32_t>(r.be(4));
        r.at_ += w.colourModeLength;
        const std::uint64_t resourcesEnd = r.be(4) + r.at_;
        while (r.at_ < resourcesEnd) {
            if (r.text(4) != "8BIM") throw std::runtime_error("resource without signature");
            w.resources.push_back(static_cast<int>(r.be(2)));
            const std::uint64_t nameLength = r.be(1);
            r.at_ += nameLength + (nameLength % 2 == 0 ? 1 : 0);
            const std::uint64_t length = r.be(4);
            r.at_ += length + length % 2;
        }
        expectAt(r, resourcesEnd, "the resources");
        const std::uint64_t sectionEnd = r.be(big) + r.at_;
        const std::size_t bpc = static_cast<std::size_t>(w.depth / 8);
        std::uint64_t infoLength = r.be(big);
        if (w.depth > 8 && r.at_ + 4 < sectionEnd) {
            if (infoLength != 0 || r.be(4) != 0) throw std::runtime_error("legacy layer info not empty");
            const std::string key = w.depth == 16 ? "16" : "32";
            if (r.text(8) != "8BIMMt" + key || r.be(big) != 0) throw std::runtime_error("no Mt block");
            if (r.text(8) != "8BIMLr" + key) throw std::runtime_error("no Lr block");
            infoLength = r.be(big);
        }
        const std::uint64_t infoEnd = r.at_ + infoLength;
        if (infoLength > 0) {
            const int count = static_cast<int>(r.be(2));
            std::vector<std::uint64_t> channelLengths;
            for (int k = 0; k < count; ++k) {
                r.at_ += 16;
                const int channels = static_cast<int>(r.be(2));
                for (int c = 0; c < channels; ++c) {
                    r.be(2);
                    channelLengths.push_back(r.be(big));
                }
                if (r.text(8) != "8BIMnorm") throw std::runtime_error("no blend key");
                w.opacities.push_back(static_cast<int>(r.be(1)));
                r.at_ += 3;
                w.extraLengths.push_back(static_cast<std::uint32_t>(r.be(4)));
                const std::uint64_t extraEnd = r.at_ + w.extraLengths.back();
                r.at_ += r.be(4);  // the layer mask
                r.at_ += r.be(4);  // the blending ranges
                const std::size_t n = static_cast<std::size_t>(r.be(1));
                w.names += (w.names.empty() ? "" : ",") + r.text(n);
                r.at_ = extraEnd;
            }
            const std::uint64_t firstStart = r.at_;
            for (const std::uint64_t length : channelLengths) {
                if (length != 2 + w.width * w.height * bpc) throw std::runtime_error("channel length");
                if (r.be(2) != 0) throw std::runtime_error("compressed channel");
                r.at_ += length - 2;
            }
            w.firstLayer = r.b_.substr(firstStart, 4 * (2 + w.width * w.height * bpc));
        }
        expectAt(r, infoEnd, "the layer info");
        r.at_ = sectionEnd;
        if (r.be(2) != 0) throw std::runtime_error("compressed merged image");
        w.merged = r.b_.substr(r.at_);
    } catch (const std::exception& e) {
        w.error = e.what();
    }
    return w;
}

// A picture of `set`'s size whose samples are a function of the position.
struct TestPicture {
    LayerSet set;
    int colorPlanes = 3;
    bool hasAlpha = true;
    std::vector<std::uint8_t> pixels;
    int filled = 0;

    bool fill(int number, LayerPicture& p) {
        const int planes = colorPlanes + (hasAlpha ? 1 : 0);
        const std::size_t bytes = static_cast<std::size_t>(set.bytesPerChannel);
        const std::size_t rowBytes = static_cast<std::size_t>(set.width) * planes * bytes;
        pixels.assign(rowBytes * static_cast<std::size_t>(set.height), 0);
        for (std::int32_t y = 0; y < set.height; ++y)
            for (std::int32_t x = 0; x < set.width; ++x)
                for (int c = 0; c < planes; ++c) {
                    // Transparent in the first column, opaque elsewhere.
                    const bool alpha = hasAlpha && c == colorPlanes;
                    const float v = alpha ? (x == 0 ? 0.0f : 1.0f) : 0.25f * static_cast<float>(c + number % 2);
                    std::uint8_t* at = pixels.data() + y * rowBytes + (x * planes + c) * bytes;
                    const auto s8 = static_cast<std::uint8_t>(v * 255.0f);
                    const auto s16 = static_cast<std::uint16_t>(v * 32768.0f);
                    std::memcpy(at,
                                bytes == 1   ? static_cast<const void*>(&s8)
                                : bytes == 2 ? static_cast<const void*>(&s16)
                                             : &v,
                                bytes);
                }
        p = {pixels.data(), rowBytes, colorPlanes, hasAlpha};
        ++filled;
        return true;
    }
};

TEST(PsdWriter, FilesFollowTheLayout) {
    struct Case {
        const char* what;
        ExportKind layout;
        int layers, width, height, bytes;
        bool flat;
        int colorPlanes;
        // expected
        int version, channels, colourModeLength, mergedPlanes;
        const char* names;  // all, or first,...,last for long series
        std::uint32_t secondExtra;
        int secondOpacity;
    };
    const Case cases[] = {
        {"8-bit result", kExportResultPsd, 1, 5, 3, 1, false, 3, 1, 3, 0, 4, "Layer 1", 0, 0},
        {"16-bit cube map declares 4 channels", kExportCubeMap, 6, 4, 4, 2, false, 3, 1, 4, 0, 4, "_d,_u,_l,_b,_r,_f",
         52, 255},
        {"32-bit net faces with the toning record", kExportPolyFaces, 2, 3, 2, 4, false, 3, 1, 3, 74, 4,
         "face 1,face 2", 56, 255},
        {"grey picture, odd sizes", kExportResultPsd, 1, 3, 3, 1, false, 1, 1, 3, 0, 4, "Layer 1", 0, 0},
        {"a single brick layer is the top", kExportBrickSphere, 1, 2, 2, 1, false, 3, 1, 3, 0, 4, "1 top", 0, 0},
        {"brick layers: 3-character name takes 4 bytes, faded above the first", kExportBrickSphere, 120, 1, 1, 1, false,
         3, 1, 3, 0, 4, "1 bottom,002,...,119,120 top", 52, 230},
        {"flat file has no layers", kExportResultPsd, 1, 4, 2, 1, true, 3, 1, 3, 0, 3, "", 0, 0},
        {"flat 16-bit keeps 4 merged planes", kExportResultPsd, 1, 4, 2, 2, true, 3, 1, 4, 0, 4, "", 0, 0},
        {"wide 8-bit is a large document", kExportResultPsd, 1, 40000, 1, 1, false, 3, 2, 3, 0, 4, "Layer 1", 0, 0},
        {"tall 32-bit is a large document", kExportCubeMap, 2, 1, 30001, 4, false, 3, 2, 3, 74, 4, "_d,_u", 52, 255},
    };
    const fs::path folder = fs::temp_directory_path() / ("psd_test_" + std::to_string(getpid()));
    fs::create_directories(folder);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestPicture picture;
        picture.set = {.layerCount = c.layers,
                       .width = c.width,
                       .height = c.height,
                       .layout = c.layout,
                       .bytesPerChannel = c.bytes,
                       .flat = c.flat};
        picture.colorPlanes = c.colorPlanes;
        const fs::path path = folder / "out.psd";
        std::string error;
        ASSERT_EQ(writeLayeredPsd(
                      path.string(), picture.set,
                      [&](int k, LayerPicture& p, std::string&) { return picture.fill(k, p); }, {}, {}, error),
                  kPsdOk)
            << error;
        EXPECT_EQ(picture.filled, c.layers);
        const Walk w = walk(path);
        ASSERT_EQ(w.error, "");
        EXPECT_EQ(w.version, c.version);
        EXPECT_EQ(w.channels, c.channels);
        EXPECT_EQ(w.depth, 8 * c.bytes);
        EXPECT_EQ(w.width, static_cast<std::uint32_t>(c.width));
        EXPECT_EQ(w.colourModeLength, static_cast<std::uint32_t>(c.colourModeLength));
        const std::size_t plane = static_cast<std::size_t>(c.width) * c.height * c.bytes;
        EXPECT_EQ(w.merged.size(), c.mergedPlanes * plane);
        const std::string expected = c.names, names = w.names, cut = expected.substr(0, expected.find("..."));
        EXPECT_TRUE(names.starts_with(cut) &&
                    names.ends_with(expected.substr(std::min(cut.size() + 3, expected.size()))))
            << names;
        if (c.layers > 1) {
            EXPECT_EQ(w.extraLengths[1], c.secondExtra);
            EXPECT_EQ(w.opacities[1], c.secondOpacity);
        }
        const bool layered = !c.flat;
        EXPECT_EQ(std::count(w.resources.begin(), w.resources.end(), 1024), layered ? 1 : 0);
        EXPECT_EQ(std::count(w.resources.begin(), w.resources.end(), 1072), layered && c.bytes == 4 ? 1 : 0);
    }
    fs::remove_all(folder);
}

// Samples as the format wants them: transparency first, 16-bit full scale
// as 65535, the merged picture over the checkerboard except for floats.
TEST(PsdWriter, SamplesKeepTheirValues) {
    struct Case {
        int bytes;
        std::uint32_t layerAlphaAt0, layerAlphaAt1, layerRedAt1, mergedRedAt0;
    };
    const Case cases[] = {
        {1, 0, 255, 63, 255},
        {2, 0, 65535, 16384, 65535},
        {4, 0, std::bit_cast<std::uint32_t>(1.0f), std::bit_cast<std::uint32_t>(0.25f),
         std::bit_cast<std::uint32_t>(0.25f)},
    };
    const fs::path path = fs::temp_directory_path() / ("psd_samples_" + std::to_string(getpid()) + ".psd");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        TestPicture picture;
        picture.set = {.width = 16, .height = 1, .bytesPerChannel = c.bytes};
        std::string error;
        ASSERT_EQ(writeLayeredPsd(
                      path.string(), picture.set,
                      [&](int k, LayerPicture& p, std::string&) { return picture.fill(k, p); }, {}, {}, error),
                  kPsdOk);
        const Walk w = walk(path);
        ASSERT_EQ(w.error, "");
        auto sample = [&](const std::string& data, std::size_t offset) {
            return static_cast<std::uint32_t>(Reader{offset, data}.be(c.bytes));
        };
        const std::size_t b = static_cast<std::size_t>(c.bytes), plane = 2 + 16 * b;
        EXPECT_EQ(sample(w.firstLayer, 2), c.layerAlphaAt0);
        EXPECT_EQ(sample(w.firstLayer, 2 + b), c.layerAlphaAt1);
        EXPECT_EQ(sample(w.firstLayer, plane + 2 + b), c.layerRedAt1);
        EXPECT_EQ(sample(w.merged, 0), c.mergedRedAt0);
    }
    fs::remove(path);
}

// What cannot be written is refused with one line naming the file, and
// nothing is left in the folder.
TEST(PsdWriter, RefusesWhatItCannotWrite) {
    const fs::path folder = fs::temp_directory_path() / ("psd_refusals_" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::atomic<bool> stop{false};
    struct Case {
        const char* what;
        std::string path;
        int layers, width;
        int failAt;  // the picture that cannot be made, or 0
        bool cancel;
        int result;
        const char* says;
    };
    const std::string out = (folder / "out.psd").string();
    const Case cases[] = {
        {"no layers", out, 0, 4, 0, false, kPsdNoLayers, "no layers"},
        {"empty picture", out, 1, 0, 0, false, kPsdNoLayers, "outside 1..300000"},
        {"too wide", out, 1, 300001, 0, false, kPsdNoLayers, "outside 1..300000"},
        {"missing folder", (folder / "none" / "out.psd").string(), 1, 4, 0, false, kPsdWriteError, "out.psd"},
        {"a device", "/dev/full", 1, 4, 0, false, kPsdWriteError, "not a regular file"},
        {"a picture fails", out, 3, 4, 2, false, kPsdPictureFailed, "no picture"},
        {"cancelled", out, 3, 4, 2, true, kPsdCancelled, "stopped"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        stop = false;
        TestPicture picture;
        picture.set = {.layerCount = c.layers, .width = c.width, .height = 2, .layout = kExportCubeMap};
        ExportJob job;
        job.cancel = &stop;
        std::string error;
        const int result = writeLayeredPsd(
            c.path, picture.set,
            [&](int k, LayerPicture& p, std::string& why) {
                if (k != c.failAt) return picture.fill(k, p);
                stop = c.cancel;
                why = "no picture";
                return false;
            },
            {}, job, error);
        EXPECT_EQ(result, c.result);
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_NE(error.find(c.path), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
        EXPECT_TRUE(fs::is_empty(folder));
    }
    fs::remove_all(folder);
}

// The coverage that cuts a face from the net adds up to the face's area, and
// a pixel wholly inside or outside is 1 or 0, whatever the polygon's turn.
TEST(NetFaces, CoverageAddsUpToTheArea) {
    struct Case {
        const char* what;
        std::vector<double> polygon;
        double area;
    };
    const Case cases[] = {
        {"square on the pixel grid", {1, 1, 9, 1, 9, 9, 1, 9}, 64.0},
        {"triangle, clockwise", {5, 0.5, 9.5, 8.3, 0.5, 8.3}, 0.5 * 9 * 7.8},
        {"diamond, anticlockwise", {5, 0.25, 0.25, 5, 5, 9.75, 9.75, 5}, 2 * 4.75 * 4.75},
        {"square half outside the picture", {-4, 2, 4, 2, 4, 6, -4, 6}, 16.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        double sum = 0.0;
        std::vector<float> row(10);
        for (std::int32_t y = 0; y < 10; ++y) {
            polygonRowCoverage(c.polygon, y, 10, row.data());
            for (const float v : row) {
                EXPECT_GE(v, 0.0f);
                EXPECT_LE(v, 1.0f + 1e-6f);
                sum += v;
            }
        }
        EXPECT_NEAR(sum, c.area, 0.02 * c.area);
    }
    std::vector<float> row(10);
    polygonRowCoverage(cases[0].polygon, 4, 10, row.data());
    EXPECT_EQ(row, (std::vector<float>{0, 1, 1, 1, 1, 1, 1, 1, 1, 0}));
}

}  // namespace
}  // namespace globaro
