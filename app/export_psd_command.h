#pragma once
// `globaro export psd|cube …`: layered Photoshop documents made from renders
// of an image, one layer rendered at a time.

#include <vector>

#include "app/export_commands.h"

namespace globaro::cli {

void addPsdExports(CLI::App& exportCommand, const ExportContext& context, std::vector<ExportKind>& kinds);

}  // namespace globaro::cli
