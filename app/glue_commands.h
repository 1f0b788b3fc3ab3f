#pragma once

#include <ostream>

namespace globaro::cli {

// `globaro list glue`: the glue (blend) modes, one line each: the id, a tab,
// the exact name. Returns the process exit code (0).
int runListGlue(std::ostream& out);

}  // namespace globaro::cli
