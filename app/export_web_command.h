#pragma once
// `globaro export presets|dots|modes`: web pages of thumbnails, the pictures
// in a folder "web_images" beside the page.

#include <vector>

#include <CLI/CLI.hpp>

#include "app/export_commands.h"

namespace globaro::cli {

void addWebExports(CLI::App& exportCommand, const ExportContext& context, std::vector<ExportKind>& kinds);

}  // namespace globaro::cli
