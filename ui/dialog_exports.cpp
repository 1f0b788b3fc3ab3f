#include "ui/dialog_exports.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <regex>

namespace globaro {
namespace {

constexpr DialogExportRow kExports[] = {
    {DialogExport::kCube, 65, "cube", "Cube map.psd", "Save a cube map", "Photoshop documents (*.psd)"},
    {DialogExport::kPsd, 40, "psd", "Globaro 2 result.psd", "Save a PSD file", "Photoshop documents (*.psd)"},
    {DialogExport::kBricks, 64, "bricks", "Brick sphere.ldr", "Save an LDraw file", "LDraw models (*.ldr)"},
    {DialogExport::kFaces, 83, "faces", "Poly faces.psd", "Save a PSD file", "Photoshop documents (*.psd)"},
    {DialogExport::kGeometry, 83, "geometry", "Polyhedron.obj", "Save a Wavefront .obj file",
     "Wavefront files (*.obj)"},
    {DialogExport::kFacesMap, 83, "psd", "Globaro 2 result.psd", "Save a PSD file", "Photoshop documents (*.psd)"},
    {DialogExport::kDotsPage, 98, "dots", "Globaro 2 memory dots.html", "Save an HTML page", "Web pages (*.html)"},
};

std::int32_t clampSide(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, kExportSideMin, kExportSideMax));
}

// The file name without its extension, in its folder.
std::string stemPath(const std::string& path) {
    const std::filesystem::path p(path);
    return (p.parent_path() / p.stem()).string();
}

}  // namespace

std::span<const DialogExportRow> dialogExports() { return kExports; }

const DialogExportRow& dialogExport(DialogExport kind) {
    for (const DialogExportRow& row : kExports)
        if (row.kind == kind) return row;
    return kExports[0];
}

void chooseCubeSide(SettingsRecord& s, std::int64_t side) { s.cubeSide = clampSide(side); }

void choosePsdSize(SettingsRecord& s, std::int32_t mode, std::int64_t width, std::int64_t height) {
    s.psdSizeMode = std::clamp(mode, 1, 3);
    s.psdWidth = clampSide(width);
    s.psdHeight = clampSide(height);
}

std::int32_t proportionalSide(std::int64_t edited, bool editedIsWidth, std::int32_t imageW, std::int32_t imageH) {
    const double from = std::max(editedIsWidth ? imageW : imageH, 1);
    const double to = std::max(editedIsWidth ? imageH : imageW, 1);
    return clampSide(std::llround(static_cast<double>(clampSide(edited)) * to / from));
}

void chooseBricks(SettingsRecord& s, const BrickChoice& choice) {
    s.brickLayers =
        static_cast<std::int32_t>(std::clamp<std::int64_t>(choice.layers, kBrickLayersMin, kBrickLayersMax));
    s.brickPlates = choice.plates ? 1 : 0;
    s.brickColorset = static_cast<std::int32_t>(choice.colours & ((1u << kBrickColourGroups) - 1));
    s.brickDiffusion = choice.diffusion ? 1 : 0;
    s.spherePlan = choice.plan ? 1 : 0;
    s.sphereStats = choice.statistics ? 1 : 0;
    s.ldraw = choice.ldraw ? 1 : 0;
}

BrickChoice brickChoiceOf(const SettingsRecord& s) {
    return {s.brickLayers,         s.brickPlates != 0, static_cast<std::uint32_t>(s.brickColorset),
            s.brickDiffusion != 0, s.spherePlan != 0,  s.sphereStats != 0,
            s.ldraw != 0};
}

void chooseFacets(SettingsRecord& s, std::int32_t choice, std::int64_t size) {
    s.facesExportChoice = std::clamp(choice, 0, 2);
    s.faceSize = clampSide(size);
}

DialogExport facetExport(const SettingsRecord& s) {
    switch (s.facesExportChoice) {
        case 1:
            return DialogExport::kGeometry;
        case 2:
            return DialogExport::kFacesMap;
        default:
            return DialogExport::kFaces;
    }
}

std::string brickStatisticsPath(const std::string& output) { return stemPath(output) + " statistics.html"; }
std::string brickPlanFolder(const std::string& output) { return stemPath(output) + " plan"; }
std::string brickScratchModel(const std::string& settingsFile) { return settingsFile + ".ldr"; }

std::vector<std::string> exportArguments(DialogExport kind, const SettingsRecord& s, const std::string& input,
                                         const std::string& output, const std::string& settingsFile) {
    const std::string subcommand = dialogExport(kind).subcommand;
    std::vector<std::string> args = {"export", subcommand};
    switch (kind) {
        case DialogExport::kCube:
            args.insert(args.end(),
                        {input, output, "--separate", "--cube-side", std::to_string(clampSide(s.cubeSide))});
            break;
        case DialogExport::kPsd:
            args.insert(args.end(), {input, output});
            if (s.psdSizeMode != 1)
                args.insert(args.end(), {"--size", std::to_string(clampSide(s.psdWidth)) + "x" +
                                                       std::to_string(clampSide(s.psdHeight))});
            break;
        case DialogExport::kBricks: {
            if (s.ldraw == 0 && s.sphereStats == 0 && s.spherePlan == 0) return {};
            args.insert(args.end(), {input, s.ldraw != 0 ? output : brickScratchModel(settingsFile), "--layers",
                                     std::to_string(std::clamp(s.brickLayers, kBrickLayersMin, kBrickLayersMax)),
                                     "--colors", std::to_string(s.brickColorset & ((1 << kBrickColourGroups) - 1))});
            if (s.brickPlates != 0) args.emplace_back("--plates");
            if (s.brickDiffusion != 0) args.emplace_back("--diffusion");
            if (s.sphereStats != 0) args.insert(args.end(), {"--stats", brickStatisticsPath(output)});
            if (s.spherePlan != 0) args.insert(args.end(), {"--plan", brickPlanFolder(output)});
            break;
        }
        case DialogExport::kFaces:
        case DialogExport::kFacesMap:
            args.insert(args.end(), {input, output});
            break;
        case DialogExport::kGeometry:
            args.insert(args.end(), {input, output, "--face-size", std::to_string(clampSide(s.faceSize))});
            break;
        case DialogExport::kDotsPage:
            // The page renders each dot's own settings; the current ones do not enter.
            args.insert(args.end(), {output, input});
            return args;
    }
    args.insert(args.end(), {"--preset", settingsFile});
    return args;
}

std::optional<double> progressOfLine(const std::string& line) {
    static const std::regex layer(R"(^layer (\d+) of (\d+)\b)");
    std::smatch m;
    if (!std::regex_search(line, m, layer)) return std::nullopt;
    const double n = std::stod(m[1].str()), of = std::stod(m[2].str());
    if (of < 1 || n < 1 || n > of) return std::nullopt;
    return (n - 1) / of;
}

}  // namespace globaro
