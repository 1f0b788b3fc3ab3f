#include "projection/input_projection.h"

#include <array>
#include <cmath>

#include "projection/input_formulas.h"
#include "projection/input_layouts.h"

namespace globaro {

namespace {

using namespace input_detail;

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

}  // namespace

const input_detail::InputEntry* findInputEntry(InputProjectionId input) noexcept {
    if (input < kFirstInputProjection || input > kLastInputProjection) return nullptr;
    return &kInputTable[static_cast<std::size_t>(input - kFirstInputProjection)];
}

ResolvedInput resolveInput(InputProjectionId input) noexcept {
    ResolvedInput r;
    r.id = input;
    r.entry = findInputEntry(input);
    r.cubeLayout = findCubeInputLayout(input);
    r.resolved = true;
    return r;
}

bool isInputProjection(InputProjectionId input) noexcept { return findInputEntry(input) != nullptr; }

bool inputIsSeamless(InputProjectionId input) noexcept {
    const InputEntry* entry = findInputEntry(input);
    return entry != nullptr && entry->seamless;
}

void sphereToInput(InputProjectionId input, std::int32_t flip, float aspect, const SphereDir& direction,
                   InputSample& sample, const PolyModel* model) noexcept {
    lookUpInput(findInputEntry(input), flip, aspect, direction, sample, model);
}

}  // namespace globaro
