#pragma once
// The dialog's export buttons without a widget: what each sub-dialog stores
// into the settings, and the `globaro export …` command line that then writes
// the files. The dialog hands the command to the `globaro` program beside it
// (the way OK hands its render over), so that what the dialog writes is
// exactly what the same command writes from a script.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "settings/settings_record.h"

namespace globaro {

// One export the dialog can start.
enum class DialogExport : std::uint8_t {
    kCube,      // "Cu&be": six documents, one per face of a cube map
    kPsd,       // "PSD with size": the result as a layered document
    kBricks,    // "L&ego": the brick sphere (LDraw model, statistics, plan)
    kFaces,     // "F&acet", first choice: the images of all faces
    kGeometry,  // "F&acet", second choice: OBJ/MTL/STL with texture
    kFacesMap,  // "F&acet", third choice: the equirectangular map of the faces
    kDotsPage,  // right click on the thumbnail: the page of memory dots
};

struct DialogExportRow {
    DialogExport kind;
    int control;             // the button (or thumbnail) that starts it
    const char* subcommand;  // `globaro export <subcommand>`
    const char* suggested;   // the file name the save dialog suggests
    const char* saveTitle;   // the save dialog's title
    const char* fileFilter;  // the save dialog's filter
};

std::span<const DialogExportRow> dialogExports();
const DialogExportRow& dialogExport(DialogExport kind);

// The side limits of every export size the sub-dialogs ask for.
inline constexpr std::int32_t kExportSideMin = 2;
inline constexpr std::int32_t kExportSideMax = 30000;
inline constexpr std::int32_t kBrickLayersMin = 3;
inline constexpr std::int32_t kBrickLayersMax = 150;
inline constexpr int kBrickColourGroups = 12;

// What the sub-dialogs store, each value clamped to its range.
void chooseCubeSide(SettingsRecord& s, std::int64_t side);
// `mode` 1 same size as the input, 2 same proportions, 3 custom.
void choosePsdSize(SettingsRecord& s, std::int32_t mode, std::int64_t width, std::int64_t height);
// While "Same proportions as input" is chosen, the other side follows an
// edited one: the side of an imageW x imageH picture in proportion to
// `edited` (a width when `editedIsWidth`), rounded and clamped.
std::int32_t proportionalSide(std::int64_t edited, bool editedIsWidth, std::int32_t imageW, std::int32_t imageH);
struct BrickChoice {
    std::int64_t layers = 20;
    bool plates = false;
    std::uint32_t colours = 63;  // bit k: colour group k + 1
    bool diffusion = false;
    bool plan = true, statistics = true, ldraw = true;
};
void chooseBricks(SettingsRecord& s, const BrickChoice& choice);
BrickChoice brickChoiceOf(const SettingsRecord& s);
// `choice` 0 images of all faces, 1 geometry, 2 the map of the faces.
void chooseFacets(SettingsRecord& s, std::int32_t choice, std::int64_t size);
// The export the facet choice of the settings starts.
DialogExport facetExport(const SettingsRecord& s);

// Where the brick export's page and plan go beside the model `output`
// ("Ball.ldr": "Ball statistics.html" and the folder "Ball plan").
std::string brickStatisticsPath(const std::string& output);
std::string brickPlanFolder(const std::string& output);

// The arguments of `globaro` (without the program) that run `kind` on the
// image `input` into `output`, with the look of the settings read from the
// settings file `settingsFile` (the settings `s` written there) and the
// export options of `s` spelled out. Empty when the export cannot run:
// bricks with none of its results chosen. A brick sphere wanted only for its
// page or plan still has its model written: into `brickScratchModel`
// (settingsFile), which the caller removes with the settings file.
std::vector<std::string> exportArguments(DialogExport kind, const SettingsRecord& s, const std::string& input,
                                         const std::string& output, const std::string& settingsFile);

std::string brickScratchModel(const std::string& settingsFile);

// The "layer N of M" lines the export commands print as they go, as a
// fraction of the whole; nothing for any other line.
std::optional<double> progressOfLine(const std::string& line);

}  // namespace globaro
