#include "projection/input_projection.h"

#include <array>
#include <cmath>

#include "projection/input_formulas.h"

namespace globaro {

namespace {

using namespace input_detail;

// One row per input projection, in id order.
struct InputEntry {
    InputProjectionId id;
    InputFormula lookup;
    bool rightHalfRule;  // region code 3 when the position lies in the right half
    // Every direction lands inside the image with the one default region
    // code: the input adds no edges of its own to a render.
    bool seamless = false;
};

constexpr std::array<InputEntry, 38> kInputTable{{
    {1, lookupEquirectangular, false, true},
    {2, lookupMirrorBall, false},
    {3, lookupPolar, false},
    {4, lookupOrthographic, false},
    {5, lookupCylindrical, true},
    {6, lookupEllipsoid, false},
    {7, lookupMollweide, true},
    {8, lookupCircular180, false},
    {9, lookupFullFrame180, false},
    {10, lookupOneCubeFace, false},
    {11, lookupTilingCubeFace, false},
    {12, lookupGores, false},
    {13, lookupHalfEqui, false},
    {14, lookupNicolosi, false},
    {15, lookupStereographic, false},
    {16, lookupQuarterEqui, false},
    {17, lookupRobinson, true},
    {18, lookupEllipsoid, false},
    {19, lookupGores, false},
    {20, lookupMercator, false},
    {21, lookupLagrange, true},
    {22, lookupWinkelTripel, true},
    {23, lookupHammer, true},
    {24, lookupEqualAreaCylinder, false},
    {25, lookupGores, false},
    {26, lookupZenithNadir, false},
    {27, lookupCubeLayoutFace, false},
    {28, lookupVerticalCrossFace, false},
    {29, lookupSoccer, false},
    {30, lookupOrtelius, true},
    {31, lookupSpinner, true},
    {32, lookupSpinner, true},
    {33, lookupCubeLayoutFace, false},
    {34, lookupCubeLayoutFace, false},
    {35, lookupCubeLayoutFace, false},
    {36, lookupGores, false},
    {37, lookupStrebe1995, false},
    {38, lookupEckertIV, false},
}};

constexpr bool tableIsInIdOrder() {
    for (std::size_t i = 0; i < kInputTable.size(); ++i) {
        if (kInputTable[i].id != static_cast<InputProjectionId>(i) + kFirstInputProjection) return false;
    }
    return kInputTable.back().id == kLastInputProjection;
}
static_assert(tableIsInIdOrder(), "the input table lists the ids 1..38 in order");

const InputEntry* findInput(InputProjectionId input) noexcept {
    if (input < kFirstInputProjection || input > kLastInputProjection) return nullptr;
    return &kInputTable[static_cast<std::size_t>(input - kFirstInputProjection)];
}

}  // namespace

bool isInputProjection(InputProjectionId input) noexcept { return findInput(input) != nullptr; }

bool inputIsSeamless(InputProjectionId input) noexcept {
    const InputEntry* entry = findInput(input);
    return entry != nullptr && entry->seamless;
}

void sphereToInput(InputProjectionId input, std::int32_t flip, float aspect, const SphereDir& direction,
                   InputSample& sample, const PolyModel* model) noexcept {
    sample.miss = false;
    sample.faceIndex = -1;
    sample.regionCode = InputSample::kDefaultRegionCode;

    const InputEntry* entry = findInput(input);
    if (entry == nullptr) {
        // Not an input projection: the top-left corner, accepted by the caller.
        sample.u = 0.0f;
        sample.v = 0.0f;
        return;
    }

    sample.u = -1.0f;
    sample.v = -1.0f;
    if (!std::isfinite(direction.x) || !std::isfinite(direction.y) || !std::isfinite(direction.z)) {
        // No direction at all: nothing of the source is shown there.
        sample.miss = true;
        return;
    }
    const InputCall call{input, aspect, direction, model};
    entry->lookup(call, sample);

    if (entry->rightHalfRule && sample.u > 0.5f) sample.regionCode = InputSample::kRightHalfRegionCode;
    // The mirror is the very last step; a miss keeps its marker position.
    if (flip != 0 && !sample.miss) sample.u = 1.0f - sample.u;
}

}  // namespace globaro
