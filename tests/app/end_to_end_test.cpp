// The globaro program end to end: the built-in demo panorama rendered into a
// few outputs through the real program, each compared with a stored
// reference image within explicit tolerances.
//
// To regenerate the references after a deliberate change of the rendering,
// run this test with GLOBARO_UPDATE_REFERENCES=1, then look at every image in
// tests/data/references/ before keeping it.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <sys/wait.h>

#include "app/image_io.h"
#include "app/cli_runner.h"

namespace globaro {
namespace {

using testing_cli::Outcome;
Outcome runProgram(const std::string& arguments) { return testing_cli::runCli(arguments); }

// How far a render may stray from its reference, in the manner of an image
// diff tool: a cap on the mean absolute difference over all samples, and a
// cap on the fraction of pixels where some channel differs by more than a
// threshold (resampling may round differently between builds at a few
// edges, but not across the image).
struct Tolerance {
    double meanAbs = 1.0 / 255.0;
    double threshold = 8.0 / 255.0;
    double maxFractionOver = 0.005;
};

struct Difference {
    double meanAbs = 0.0;
    double fractionOver = 0.0;
    double maxAbs = 0.0;
};

Difference compare(const Document& a, const Document& b, double threshold) {
    Difference d;
    double sum = 0.0;
    std::size_t over = 0;
    for (std::int32_t y = 0; y < a.height; ++y)
        for (std::int32_t x = 0; x < a.width; ++x) {
            bool pixelOver = false;
            for (int p = 0; p < a.planes(); ++p) {
                const double diff = std::fabs(double(a.value(x, y, p)) - double(b.value(x, y, p)));
                sum += diff;
                d.maxAbs = std::max(d.maxAbs, diff);
                pixelOver = pixelOver || diff > threshold;
            }
            over += pixelOver ? 1 : 0;
        }
    const double pixels = double(a.width) * double(a.height);
    d.meanAbs = sum / (pixels * a.planes());
    d.fractionOver = double(over) / pixels;
    return d;
}

struct Reference {
    const char* file;  // in tests/data/references/
    const char* options;
    std::int32_t width, height;
    Tolerance tolerance;
};

void PrintTo(const Reference& r, std::ostream* os) { *os << r.file; }

const Reference kReferences[] = {
    {"little-planet.png", "--output stereographic --lat -90 --fov 110 --size 128x128", 128, 128, {}},
    {"cube-map-unity.png", "--output \"Unity 6 frames\" --fov 120 --size 384x64", 384, 64, {}},
    {"mollweide.png", "--output Mollweide --size 256x128", 256, 128, {}},
    {"icosahedron-net.png", "--output icosahedron --fov 120 --size 256x128", 256, 128, {}},
    {"rectilinear-90.png", "--output rectilinear --fov 90 --size 128x96", 128, 96, {}},
    {"cube-net-tabs-edges.png", "--output cube --tabs 60 --edges --size 128x96", 128, 96, {}},
    {"mollweide-grid-indicatrix.png", "--output Mollweide --grid 15 --indicatrix --size 192x96", 192, 96, {}},
};

class EndToEnd : public ::testing::TestWithParam<Reference> {
protected:
    static void SetUpTestSuite() {
        folder_ = ::testing::TempDir() + "globaro_end_to_end";
        const Outcome o = runProgram("demo " + folder_ + " --size 256x128");
        ASSERT_EQ(o.status, 0) << o.output;
    }
    static std::string panorama() { return folder_ + "/demo-panorama.png"; }
    static std::string folder_;
};

std::string EndToEnd::folder_;

TEST_P(EndToEnd, MatchesTheReference) {
    const Reference& r = GetParam();
    const std::string rendered = folder_ + "/rendered-" + r.file;
    const Outcome o = runProgram("render --quiet " + panorama() + " " + rendered + " " + r.options);
    ASSERT_EQ(o.status, 0) << o.output;
    ASSERT_TRUE(o.output.empty()) << o.output;

    Document got, want;
    std::string error;
    ASSERT_TRUE(loadDocument(rendered, got, error)) << error;
    EXPECT_EQ(got.width, r.width);
    EXPECT_EQ(got.height, r.height);

    const std::filesystem::path reference = std::filesystem::path(GLOBARO_TEST_DATA) / "references" / r.file;
    if (const char* update = std::getenv("GLOBARO_UPDATE_REFERENCES"); update != nullptr && *update == '1') {
        std::filesystem::copy_file(rendered, reference, std::filesystem::copy_options::overwrite_existing);
        GTEST_SKIP() << "rewrote " << reference.string();
    }
    ASSERT_TRUE(loadDocument(reference.string(), want, error)) << error;
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    ASSERT_EQ(got.planes(), want.planes());
    ASSERT_EQ(got.hasAlpha, want.hasAlpha);
    const Difference d = compare(got, want, r.tolerance.threshold);
    EXPECT_LE(d.meanAbs, r.tolerance.meanAbs) << r.file << ": largest difference " << d.maxAbs;
    EXPECT_LE(d.fractionOver, r.tolerance.maxFractionOver) << r.file << ": largest difference " << d.maxAbs;
}

INSTANTIATE_TEST_SUITE_P(DemoPanorama, EndToEnd, ::testing::ValuesIn(kReferences),
                         [](const ::testing::TestParamInfo<Reference>& info) {
                             std::string name;
                             for (const char* c = info.param.file; *c != '\0' && *c != '.'; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                             return name;
                         });

// The comparison itself: identical images pass, a shifted one does not.
TEST(ReferenceComparison, TellsSameFromDifferent) {
    Document a, b;
    std::string error;
    ASSERT_TRUE(makeDocument(a, 32, 16, 3, true, 8, error)) << error;
    ASSERT_TRUE(makeDocument(b, 32, 16, 3, true, 8, error)) << error;
    for (std::int32_t y = 0; y < 16; ++y)
        for (std::int32_t x = 0; x < 32; ++x)
            for (int p = 0; p < 4; ++p) {
                a.setValue(x, y, p, p == 3 ? 1.0f : float(x) / 31.0f);
                b.setValue(x, y, p, p == 3 ? 1.0f : float((x + 1) % 32) / 31.0f);
            }
    const Tolerance t;
    const Difference same = compare(a, a, t.threshold);
    EXPECT_EQ(same.meanAbs, 0.0);
    EXPECT_EQ(same.fractionOver, 0.0);
    const Difference shifted = compare(a, b, t.threshold);
    EXPECT_GT(shifted.meanAbs, t.meanAbs);
    EXPECT_GT(shifted.fractionOver, t.maxFractionOver);
}

}  // namespace
}  // namespace globaro
