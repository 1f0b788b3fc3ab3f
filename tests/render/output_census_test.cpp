// The census of the outputs: every output of the catalogue that says it is
// drawn covers part of a small canvas rendered from a synthetic panorama,
// and every other one leaves the canvas empty (the command line refuses
// those before a render starts).

#include <gtest/gtest.h>

#include <string>

#include "polyhedra/poly_model.h"
#include "projection/catalogue.h"
#include "projection/output_mapping.h"
#include "projection/output_test_support.h"
#include "render/pipeline_test_support.h"
#include "render/render_setup.h"

namespace globaro {
namespace {

using namespace testing_support;

constexpr std::int32_t kWidth = 32, kHeight = 24;

// Pixels of a render of `output` that are not fully transparent.
int coveredPixels(ProjectionId output, const ImagePyramid& pyramid, PolyModel& model) {
    const SettingsRecord s = testing::plainSettings(output, 1);
    RenderContext ctx;
    RenderSetupOptions options;
    options.polyModel = &model;
    setupRenderContext(ctx, s, RenderSizes{kWidth, kHeight, 64, 32}, options);
    const ContextSampleMapping mapping(ctx);
    BufferSink sink(kWidth, kHeight);
    EXPECT_EQ(renderInto(makeConfig(mapping, &pyramid, kWidth, kHeight, shadingOptionsFor(s, ctx, kTargetExportImage)),
                         sink)
                  .result,
              0);
    int covered = 0;
    for (std::int32_t y = 0; y < kHeight; ++y)
        for (std::int32_t x = 0; x < kWidth; ++x) covered += sink.at(x, y)[3] > 0.0f ? 1 : 0;
    return covered;
}

class OutputCensus : public ::testing::TestWithParam<ProjectionId> {
protected:
    static void SetUpTestSuite() {
        pyramid_ = new ImagePyramid;
        ASSERT_TRUE(loadPyramid(*pyramid_, photographicImage(64, 32), kWrapHorizontal));
        model_ = createPolyModel();
        ASSERT_NE(model_, nullptr);
    }
    static void TearDownTestSuite() {
        releasePolyModel(model_);
        delete pyramid_;
    }
    static ImagePyramid* pyramid_;
    static PolyModel* model_;
};
ImagePyramid* OutputCensus::pyramid_ = nullptr;
PolyModel* OutputCensus::model_ = nullptr;

TEST_P(OutputCensus, DrawsExactlyWhenItSaysSo) {
    const ProjectionId id = GetParam();
    const int covered = coveredPixels(id, *pyramid_, *model_);
    if (outputIsDrawn(id)) {
        EXPECT_GT(covered, 0) << id << " \"" << outputProjectionName(id) << "\" is said to draw but covers nothing";
    } else {
        EXPECT_EQ(covered, 0) << id << " \"" << outputProjectionName(id) << "\" is said not to draw but covers pixels";
    }
}

std::vector<ProjectionId> catalogueOutputs() {
    std::vector<ProjectionId> ids;
    for (const OutputProjectionInfo& info : outputProjections()) ids.push_back(info.id);
    return ids;
}

INSTANTIATE_TEST_SUITE_P(EveryOutput, OutputCensus, ::testing::ValuesIn(catalogueOutputs()),
                         [](const ::testing::TestParamInfo<ProjectionId>& info) {
                             return "output" + std::to_string(info.param);
                         });

}  // namespace
}  // namespace globaro
