#include "app/glue_commands.h"

#include "render/blend_modes.h"

namespace globaro::cli {

int runListGlue(std::ostream& out) {
    for (BlendMode id = 1; id <= kBlendModeCount; ++id) {
        out << id << '\t' << blendModeName(id) << '\n';
    }
    return out ? 0 : 1;
}

}  // namespace globaro::cli
