// Hostile input for the thumbnail decoder: mutated JPEG streams and frames declaring huge sides.

#include <gtest/gtest.h>

#include <vector>

#include "settings/hostile_mutator.h"
#include "settings/persist_test_support.h"
#include "settings/thumbnail.h"

namespace globaro {
namespace {

using persist_test::gradient;

TEST(HostileThumbnail, MutatedStreamsFailCleanlyOrDecodeWhole) {
    std::vector<std::vector<std::uint8_t>> samples;
    for (auto [w, h, q] : {std::tuple{128, 128, 80}, {16, 16, 80}, {33, 7, 30}, {1, 1, 100}}) {
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

}  // namespace
}  // namespace globaro
