#include "projection/input_projection.h"

#include <cmath>

#include "projection/input_formulas.h"
#include "projection/input_layouts.h"

namespace globaro {

using namespace input_detail;

ResolvedInput resolveInput(InputProjectionId input) noexcept {
    ResolvedInput r;
    r.id = input;
    r.entry = findInputRow(input);
    r.cubeLayout = findCubeInputLayout(input);
    r.resolved = true;
    return r;
}

bool isInputProjection(InputProjectionId input) noexcept { return findInputRow(input) != nullptr; }

bool inputIsSeamless(InputProjectionId input) noexcept {
    const InputRow* entry = findInputRow(input);
    return entry != nullptr && entry->seamless;
}

void sphereToInput(InputProjectionId input, std::int32_t flip, float aspect, const SphereDir& direction,
                   InputSample& sample, const PolyModel* model) noexcept {
    lookUpInput(findInputRow(input), flip, aspect, direction, sample, model);
}

}  // namespace globaro
