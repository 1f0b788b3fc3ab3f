// The natural canvas measured only as far as a --size needs it.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/canvas_size.h"
#include "app/run_settings.h"
#include "projection/catalogue.h"
#include "settings/settings_record.h"

namespace globaro {
namespace {

// A --size that gives both sides needs the proportions and whether the output fills any canvas;
// one that gives one side, the proportions alone; none, the size too. What each measures agrees
// with the whole measurement, over outputs with their own proportions, views that fill any
// canvas, nets wider than their box and outputs that draw with samplers of their own; and the
// size a --size then gets is the same.
TEST(NaturalCanvas, MeasuresAsFarAsTheSizeNeeds) {
    auto measureFor = [](const std::string& text) {
        CanvasSpec spec;
        std::string error;
        EXPECT_TRUE(parseCanvasSpec(text, spec, error)) << error;
        return canvasMeasureFor(spec);
    };
    EXPECT_EQ(measureFor(""), CanvasMeasure::kSize);
    EXPECT_EQ(measureFor("512x256"), CanvasMeasure::kAspectAndFill);
    EXPECT_EQ(measureFor("512"), CanvasMeasure::kAspect);
    EXPECT_EQ(measureFor("x300"), CanvasMeasure::kAspect);
    for (const char* output : {"Mollweide", "rectilinear", "Unity 6 frames", "icosahedron", "Adams 1", "stereographic",
                               "mirror ball", "blob world"}) {
        SCOPED_TRACE(output);
        RunSettingsOptions options;
        options.output = findOutputProjection(output);
        ASSERT_TRUE(options.output.has_value());
        auto settings = std::make_unique<SettingsRecord>();
        std::string error;
        ASSERT_TRUE(readRunSettings(options, *settings, error)) << error;
        const NaturalCanvas whole = naturalCanvas(*settings, 2048, 1024);
        const NaturalCanvas fill = naturalCanvas(*settings, 2048, 1024, CanvasMeasure::kAspectAndFill);
        const NaturalCanvas aspect = naturalCanvas(*settings, 2048, 1024, CanvasMeasure::kAspect);
        EXPECT_EQ(whole.aspect, fill.aspect);
        EXPECT_EQ(whole.aspect, aspect.aspect);
        EXPECT_EQ(whole.fillsAnyShape, fill.fillsAnyShape);
        for (const char* spec : {"300x300", "640x200", "640", "x200"}) {
            const NaturalCanvas& partial = measureFor(spec) == CanvasMeasure::kAspect ? aspect : fill;
            CanvasSpec size;
            ASSERT_TRUE(parseCanvasSpec(spec, size, error)) << error;
            std::int32_t w[2] = {0, 0}, h[2] = {0, 0};
            std::string warning[2];
            ASSERT_TRUE(chooseCanvasSize(size, whole, w[0], h[0], warning[0], error) &&
                        chooseCanvasSize(size, partial, w[1], h[1], warning[1], error))
                << error;
            EXPECT_TRUE(w[0] == w[1] && h[0] == h[1] && warning[0] == warning[1]) << spec;
        }
    }
}

}  // namespace
}  // namespace globaro
