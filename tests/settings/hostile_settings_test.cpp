// Hostile input for the thumbnail decoder and the file reader: mutated JPEG
// streams, frames declaring huge sides, and files that are not files.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <vector>

#include "platform/temp_folder.h"
#include "settings/hostile_mutator.h"
#include "settings/thumbnail.h"

namespace globaro {
namespace {

Thumbnail gradient(int width, int height) {
    Thumbnail t;
    t.width = width;
    t.height = height;
    for (int i = 0; i < width * height; ++i)
        t.rgb.insert(t.rgb.end(), {std::uint8_t(i * 7), std::uint8_t(i / width), 99});
    return t;
}

TEST(HostileThumbnail, MutatedStreamsFailCleanlyOrDecodeWhole) {
    std::vector<std::vector<std::uint8_t>> samples;
    for (auto [w, h, q] :
         {std::tuple{128, 128, 80}, std::tuple{16, 16, 80}, std::tuple{33, 7, 30}, std::tuple{1, 1, 100}}) {
        samples.emplace_back();
        ASSERT_TRUE(encodeThumbnailJpeg(gradient(w, h), q, samples.back()));
    }
    hostile::Mutator m(0x7B0A11u);
    std::size_t decoded = 0, refused = 0;
    for (std::size_t n = 0; n < 2500; ++n) {
        Thumbnail t = gradient(3, 3);
        if (decodeThumbnailJpeg(m.mutate(samples), t)) {
            ++decoded;
            ASSERT_TRUE(t.width > 0 && t.width <= kThumbnailMaxSide && t.height <= kThumbnailMaxSide) << n;
            ASSERT_EQ(t.rgb.size(), static_cast<std::size_t>(t.width) * t.height * 3) << n;
        } else {
            ++refused;
            ASSERT_TRUE(t.empty() && t.rgb.empty()) << n;
        }
    }
    EXPECT_GT(decoded, 0u);
    EXPECT_GT(refused, 100u);
}

TEST(HostileThumbnail, TinyStreamsAndHugeDeclaredSidesAreRefused) {
    std::vector<std::uint8_t> jpeg;
    ASSERT_TRUE(encodeThumbnailJpeg(gradient(16, 16), 80, jpeg));
    std::size_t sof = 0;  // the frame header, FF C0, with height and width
    while (sof + 9 < jpeg.size() && !(jpeg[sof] == 0xFF && jpeg[sof + 1] == 0xC0)) ++sof;
    ASSERT_LT(sof + 9, jpeg.size());
    std::vector<std::vector<std::uint8_t>> streams = {
        {}, {0xFF, 0xD8, 0xFF, 0xD9}, std::vector<std::uint8_t>(5000, 0), std::vector<std::uint8_t>(5000, 0xFF)};
    for (unsigned side : {0u, 4097u, 65535u}) {
        streams.push_back(jpeg);
        for (std::size_t i : {sof + 5, sof + 7}) {
            streams.back()[i] = static_cast<std::uint8_t>(side >> 8);
            streams.back()[i + 1] = static_cast<std::uint8_t>(side);
        }
    }
    for (const auto& s : streams) {
        Thumbnail t = gradient(2, 2);
        EXPECT_FALSE(decodeThumbnailJpeg(s, t)) << s.size();
        EXPECT_TRUE(t.empty());
    }
    Thumbnail bad;  // the encoder refuses what is not an image
    EXPECT_FALSE(encodeThumbnailJpeg(bad, 80, jpeg));
    bad.width = bad.height = 4;
    bad.rgb.resize(5);
    EXPECT_FALSE(encodeThumbnailJpeg(bad, 80, jpeg));
}

TEST(HostileFiles, PipesAndFoldersAreNotReadAsSettings) {
    const std::string folder = tempFolder();
    const std::string pipe = folder + "globaro-test-pipe";
    ::unlink(pipe.c_str());
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(readWholeFile(pipe, 1024, bytes), kFileReadFailed);  // would block for ever
    ::unlink(pipe.c_str());
    EXPECT_EQ(readWholeFile(folder, 1024, bytes), kFileReadFailed);
    EXPECT_EQ(readWholeFile(folder + "no-such-file", 1024, bytes), kFileNotFound);
}

}  // namespace
}  // namespace globaro
