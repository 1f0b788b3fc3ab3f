#pragma once
// `globaro export bricks`: the input picture as a sphere of toy bricks, written
// as an LDraw model, with its statistics page and its building plan.

#include <vector>

#include <CLI/CLI.hpp>

#include "app/export_commands.h"

namespace globaro::cli {

void addBrickExports(CLI::App& exportCommand, const ExportContext& context, std::vector<ExportKind>& kinds);

}  // namespace globaro::cli
