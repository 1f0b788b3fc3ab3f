#pragma once
// `globaro export geometry IN OUT.obj`: the solid of a net-like output as an
// OBJ file with its material and texture, and an STL file.

#include <vector>

#include "app/export_commands.h"

namespace globaro::cli {

void addGeometryExports(CLI::App& exportCommand, const ExportContext& context, std::vector<ExportKind>& kinds);

}  // namespace globaro::cli
