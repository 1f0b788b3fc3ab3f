#pragma once
// Cube maps for game engines and panorama viewers:
// - `globaro export cubemap INPUT OUTPUT --cube-preset NAME`: the six faces as
//   the engine reads them (six files named by a `{face}` pattern, one strip,
//   the cross seen from inside, or the equi-angular 3 x 2 layout), each face
//   rendered through the module, with `--cube-pad N` pixels of true
//   neighbouring content around every face;
// - `globaro render --input-layout NAME`: such a single-image cube map read
//   as the input;
// - `globaro demo --test-cube DIR`: a lettered test cube, as a panorama and
//   as every preset's faces.

#include <string>
#include <vector>

#include "app/document.h"
#include "app/export_commands.h"
#include "app/run_settings.h"

namespace globaro::cli {

void addCubeEngineExports(CLI::App& exportCommand, const ExportContext& context, std::vector<ExportKind>& kinds);

// `render INPUT OUTPUT --input-layout NAME`: reads INPUT as the single-image
// cube layout NAME (a preset with one image, "eac" for youtube-eac, or
// PRESET/cross, PRESET/strip, PRESET/3x2), renders it onto a canvas of `size`
// (WIDTHxHEIGHT; empty: four faces by two) and writes OUTPUT at `depth`
// (0: the input's). Returns the exit status.
int renderFromCubeLayout(const std::string& input, const std::string& output, const std::string& layout,
                         const std::string& size, int depth, const std::string& modulePath,
                         const RunSettingsOptions& run, bool quiet);

// `demo --test-cube DIR`: the lettered test panorama and the faces of every
// preset (DIR/PRESET/...). Returns the exit status.
int commandTestCube(const std::string& folder, const std::string& modulePath);

// The lettered test cube as an equirectangular panorama of 4·side x 2·side:
// each face in its own colour, its name in capitals and an arrow to the
// top of its picture as the faces are seen from inside.
bool makeTestCubePanorama(Document& doc, std::int32_t side, std::string& error);

}  // namespace globaro::cli
