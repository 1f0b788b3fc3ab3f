// The engine cube layouts as projections: every pixel of every preset's
// sheet, in every layout it takes, goes to a direction and back to itself,
// and every face point comes back from its direction.

#include <gtest/gtest.h>

#include <cmath>

#include "projection/cube_engines.h"

namespace globaro {
namespace {

TEST(CubeEngineLayouts, EverySheetPixelComesBackFromItsDirection) {
    for (const CubePreset& preset : cubePresets())
        for (const CubeLayout layout : {CubeLayout::kStrip, CubeLayout::kCross, CubeLayout::kGrid3x2}) {
            if (preset.equiAngular && layout == CubeLayout::kCross) continue;
            SCOPED_TRACE(preset.name);
            const CubeSheet sheet{&preset, layout, 12, 0};
            for (int slot = 0; slot < kCubeFaceCount; ++slot) {
                int fx = 0, fy = 0;
                sheet.faceOrigin(slot, fx, fy);
                for (int y = fy; y < fy + sheet.side; ++y)
                    for (int x = fx; x < fx + sheet.side; ++x) {
                        const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
                        const std::optional<SphereDir> d = sheet.direction(px, py);
                        ASSERT_TRUE(d.has_value());
                        float bx = 0.0f, by = 0.0f;
                        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
                        sheet.position(*d, bx, by, x0, y0, x1, y1);
                        ASSERT_NEAR(bx, px, 1e-3f);
                        ASSERT_NEAR(by, py, 1e-3f);
                    }
            }
            // Every pixel of a strip or grid (margins too) shows the sphere;
            // the cross leaves half its cells empty.
            int hits = 0;
            for (int y = 0; y < sheet.height(); ++y)
                for (int x = 0; x < sheet.width(); ++x)
                    hits += sheet.direction(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f) ? 1 : 0;
            EXPECT_EQ(hits, sheet.width() * sheet.height() / (layout == CubeLayout::kCross ? 2 : 1));
        }
}

TEST(CubeEngineLayouts, FacePointsAndEquiAngularCoordinatesComeBack) {
    for (int f = 0; f < kCubeFaceCount; ++f)
        for (const float fu : {-0.9f, -0.3f, 0.2f, 0.8f})
            for (const float fv : {-0.7f, 0.1f, 0.95f}) {
                const CubeFaceHit hit = cubeFaceOfDirection(normalise(cubeFacePoint(static_cast<CubeFace>(f), fu, fv)));
                EXPECT_EQ(static_cast<int>(hit.face), f);
                EXPECT_NEAR(hit.fu, fu, 1e-5f);
                EXPECT_NEAR(hit.fv, fv, 1e-5f);
                EXPECT_NEAR(equiAngularFromTangent(tangentFromEquiAngular(fu)), fu, 1e-6f);
            }
}

}  // namespace
}  // namespace globaro
