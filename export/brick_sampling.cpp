#include "export/brick_sampling.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "polyhedra/poly_model.h"
#include "polyhedra/soccer_input_model.h"
#include "projection/output_mapping.h"
#include "render/pixel_pipeline.h"
#include "render/render_setup.h"
#include "settings/settings_record.h"

namespace globaro {
namespace {

// "equi tall": the whole sphere over the unit square, the position (a, b)
// showing the direction of longitude (0.5 - a)·2π and latitude (0.5 - b)·π.
// Every direction is looked up through it, so that the bricks see the
// picture through the very steps of a render.
constexpr ProjectionId kWholeSphereOutput = 81;
constexpr float kPi = std::numbers::pi_v<float>;

}  // namespace

BrickPictureLookup::BrickPictureLookup() = default;

BrickPictureLookup::~BrickPictureLookup() { releasePolyModel(soccer_); }

bool BrickPictureLookup::load(const SettingsRecord& settings, const SourceImageView& picture, std::int32_t layers,
                              std::string& error) {
    SettingsRecord view = settings;
    view.outputProjection = kWholeSphereOutput;
    view.indicatrix = 0;
    view.grid = 1;
    RenderSizes sizes;
    sizes.outputWidth = sizes.outputHeight = 2 * std::max(layers, 1);
    sizes.inputWidth = picture.width;
    sizes.inputHeight = picture.height;
    setupRenderContext(ctx_, view, sizes);
    if (ctx_.inputProjection == kInputSoccer) {
        soccer_ = prepareSoccerInputModel(ctx_.inputAspect);
        ctx_.inputModel = soccer_;
    }
    const PyramidWrap wrap = inputWrapOf(ctx_.inputProjection) == kInputNoWrap ? kWrapNone : kWrapHorizontal;
    if (!pyramid_.allocate(picture.width, picture.height, wrap, pyramidStorageFor(picture.depth)) ||
        !pyramid_.storeImage(picture) || buildPyramid(pyramid_) != 0) {
        pyramid_.clear();
        error = "not enough memory for the picture";
        return false;
    }
    // A brick spans about 1/(2·layers) of a panorama's width.
    detail_ = std::log2(std::max(1.0f, static_cast<float>(picture.width) / (2.0f * std::max(layers, 1))));
    return true;
}

void BrickPictureLookup::colourOf(const SphereDir& d, float rgb[3]) const {
    const float a = 0.5f - std::atan2(d.x, d.z) / (2.0f * kPi);
    const float b = 0.5f - std::asin(std::clamp(d.y, -1.0f, 1.0f)) / kPi;
    RenderCell cell;
    MappingScratch scratch;
    ColorRgba c;
    if (outputToSphere(std::clamp(a, 0.0f, 1.0f), std::clamp(b, 0.0f, 1.0f), ctx_, cell, scratch) &&
        cell.regionTag > kTagInputMiss && cell.subTag == 0)
        c = sampleTrilinear(pyramid_, cell.inputU, cell.inputV, detail_, 0.0f);
    const float alpha = std::clamp(c.a, 0.0f, 1.0f);
    const float own[3] = {c.r, c.g, c.b};
    for (int k = 0; k < 3; ++k) rgb[k] = 255.0f * (own[k] * alpha + ctx_.backdropColour[k] * (1.0f - alpha));
}

}  // namespace globaro
