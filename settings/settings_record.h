#pragma once
// The settings record: every choice the user can make in the filter, plus the
// small amount of run state that the render driver, the dialog and the
// exporters share. It lives in the host's parameter handle, so it must stay a
// plain, trivially copyable record with no pointers.

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "geometry/projection_id.h"

namespace globaro {

// Paths and names hold at most this many characters, NUL included.
inline constexpr std::size_t kNameCapacity = 260;

// A colour as three unsigned 16-bit channels, 0..65535. A colour picked as
// 8-bit values v is stored as v * 257.
struct Rgb16 {
    std::uint16_t red = 0;
    std::uint16_t green = 0;
    std::uint16_t blue = 0;

    static constexpr Rgb16 from8(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        return {static_cast<std::uint16_t>(r * 257), static_cast<std::uint16_t>(g * 257),
                static_cast<std::uint16_t>(b * 257)};
    }
    friend constexpr bool operator==(const Rgb16&, const Rgb16&) = default;
};

// Where a render writes (`renderTarget`).
enum RenderTarget : std::int32_t {
    kRenderToHost = 0,     // the host's image
    kRenderToPreview = 1,  // the dialog preview
    kRenderToExport = 2,   // the module's own export image
};

// Which export is being produced (`exportKind`).
enum ExportKind : std::int32_t {
    kExportBrickSphere = 0,
    kExportCubeMap = 1,
    kExportPolyFaces = 2,
    kExportThumbnail = 3,
    kExportPolyGeometry = 4,
    kExportResultPsd = 6,
    kExportCurrentPsd = 7,
};

// The settings format version written by this build.
inline constexpr std::int32_t kSettingsVersion = 48;
// `version` after prepare, until a settings source has been read.
inline constexpr std::int32_t kVersionUnread = -999;

// Number of `legacyWords`: words 0 to 20.
inline constexpr int kLegacyWordCount = 21;

// State owned by the filter dialog. Not persisted; its layout is the dialog's.
struct DialogState {
    // Set by each start call to whether the host offers both `advanceState`
    // and `displayPixels`; cleared by the dialog when it stops using the
    // host's display for the preview.
    std::uint8_t hostDisplay = 0;
    std::uint8_t reserved[3] = {};
    std::int32_t zoom = 0;
};

struct SettingsRecord {
    // 1. Dialog state (not persisted).
    DialogState dialog;

    // 2. Six floats, persisted as hundredths, carried in snapshots, otherwise unused.
    float legacyFloats[6];

    // 3. Glue (blend) mode, 1..69.
    std::int32_t glue;

    // 4. Run state (not persisted; reset on every prepare call).
    std::int32_t previewStep;    // preview subsampling step, at least 1
    std::int32_t renderTarget;   // RenderTarget
    std::int32_t progressTotal;  // set through setProgressTotal
    std::int32_t progressDone;   // set through setProgressDone
    std::int32_t previewTop;     // preview scroll offsets in image pixels
    std::int32_t previewLeft;

    // 5. Settings format version; 48 right before the record is written,
    //    kVersionUnread after prepare until a source is read.
    std::int32_t version;

    // 6. and the rest: words no current code reads, kept so that settings
    //    files come back unchanged. Indexed by their historical numbers 0..20.
    std::int32_t legacyWords[kLegacyWordCount];

    // 7. Export dialog options (not persisted).
    std::int32_t facesExportChoice;  // 0 images of all faces, 1 3D geometry, 2 equirectangular map of faces
    std::int32_t psdSizeMode;        // 1 same size, 2 same proportions, 3 custom
    std::int32_t psdWidth;           // custom export size, 2..30000
    std::int32_t psdHeight;

    // 8. Colours (persisted).
    Rgb16 lineColor;
    Rgb16 tabColor;
    Rgb16 backdropColor;
    Rgb16 legacyColors[6];

    // 9. Projections and whole-number mirrors (persisted). Legacy words 1..17
    //    interleave with these in the settings files.
    InputProjectionId inputProjection;
    std::int32_t latitudeInteger;
    std::int32_t spinInteger;
    ProjectionId outputProjection;
    std::int32_t flip;
    std::int32_t hqpr;        // read and written, used by nothing
    std::int32_t gridLegacy;  // graticule choice in the numbering of `grid`, 0 after a reset
    std::int32_t longitudeInteger;
    std::int32_t tabsInteger;
    std::int32_t sharpeningInteger;
    std::int32_t fovInteger;
    std::int32_t faces;

    // 10. Brick sphere and export sizes (persisted, not in snapshots).
    std::int32_t brickLayers;    // 3..150
    std::int32_t brickColorset;  // 12-bit mask of colour groups
    std::int32_t spherePlan;
    std::int32_t sphereStats;
    std::int32_t ldraw;
    std::int32_t brickDiffusion;
    std::int32_t brickPlates;
    std::int32_t cubeSide;  // 2..30000
    std::int32_t faceSize;  // 2..30000

    // 11. View (persisted, in snapshots), degrees.
    float latitude;   // -90..90
    float longitude;  // -180..180
    float spin;       // -180..180
    float fov;        // 0..180
    float tabs;       // 0..100; tab width factor is tabs * 0.005
    float sharpen;    // 0..100

    // 12. Flags and choices (persisted, in snapshots unless noted).
    std::int32_t transparentGaps;
    std::int32_t indicatrix;
    std::int32_t edges;
    std::int32_t anamorphosis;
    std::int32_t forceTransparent;  // not persisted; set while the PSD exporter renders
    std::int32_t dehalo;
    std::int32_t grid;            // 1 none, 2 5', 3 6', 4 10', 5 15', 6 30', 7 45'
    std::int32_t previewQuality;  // 1 good, 2 better, 3 best; persisted, not in snapshots

    // 13. The real projection of a special render under id 1045 (not persisted).
    ProjectionId innerProjection;

    // 14. Which export is being produced (ExportKind, not persisted).
    std::int32_t exportKind;

    // 15. Folders and names (not persisted), NUL-terminated 8-bit strings.
    char settingsFolder[kNameCapacity];
    char saveFolder[kNameCapacity];
    char sourceFolder[kNameCapacity];
    std::uint8_t renamingPresets;
    char settingsName[kNameCapacity];
    char dialogStrings[3][kNameCapacity];  // emptied on every prepare call
};

static_assert(std::is_trivially_copyable_v<SettingsRecord>);
static_assert(std::is_standard_layout_v<SettingsRecord>);

// The "look" subset of the settings, exchanged by undo, memory dots and
// temporary renders. Restoring one never changes export options or the
// preview quality.
struct SettingsSnapshot {
    char settingsName[kNameCapacity];
    Rgb16 lineColor;
    Rgb16 tabColor;
    Rgb16 backdropColor;
    Rgb16 legacyColors[6];
    // The block from `inputProjection` to legacy word 17.
    InputProjectionId inputProjection;
    std::int32_t legacyWords1to3[3];
    std::int32_t latitudeInteger;
    std::int32_t spinInteger;
    std::int32_t legacyWords4to7[4];
    ProjectionId outputProjection;
    std::int32_t flip;
    std::int32_t hqpr;
    std::int32_t gridLegacy;
    std::int32_t legacyWord8;
    std::int32_t longitudeInteger;
    std::int32_t tabsInteger;
    std::int32_t sharpeningInteger;
    std::int32_t legacyWord9;
    std::int32_t fovInteger;
    std::int32_t legacyWords10to15[6];
    std::int32_t faces;
    std::int32_t legacyWords16to17[2];
    // The rest of the look.
    std::int32_t legacyWord0;
    float legacyFloats[6];
    std::int32_t glue;
    std::int32_t transparentGaps;
    std::int32_t indicatrix;
    std::int32_t edges;
    std::int32_t anamorphosis;
    std::int32_t dehalo;
    std::int32_t grid;
    float latitude;
    float longitude;
    float spin;
    float fov;
    float tabs;
    float sharpen;
};

static_assert(std::is_trivially_copyable_v<SettingsSnapshot>);

// Sets every default of the record. Leaves the legacy colours, floats and
// words 1..18 and 20, the run state, the export dialog options and the
// folders as they are.
void resetToDefaults(SettingsRecord& record);

// Resets the run state the way every prepare call does: step 1, target 0,
// version unread, glue 1, progress 1 of 1, preview offsets 0.
void resetRunState(SettingsRecord& record);

// Gives the export dialog options their defaults (at the first start call
// after a parameters call).
void resetExportOptions(SettingsRecord& record);

void saveSnapshot(const SettingsRecord& record, SettingsSnapshot& snapshot);
void restoreSnapshot(const SettingsSnapshot& snapshot, SettingsRecord& record);

// For settings sources of versions 1..46, whose floats were not yet
// authoritative: sets the view floats from their whole-number mirrors.
void syncAnglesFromIntegers(SettingsRecord& record);

// Setting an angle from a computed float also sets its whole-number mirror
// to the float truncated toward zero. (The dialog's sliders set only floats.)
void setComputedLatitude(SettingsRecord& record, float degrees);
void setComputedLongitude(SettingsRecord& record, float degrees);
void setComputedSpin(SettingsRecord& record, float degrees);
void setComputedFov(SettingsRecord& record, float degrees);

// Progress counters: the total is at least 1; the done count is clamped to
// the total, and a value below 1 stores 1.
void setProgressTotal(SettingsRecord& record, std::int32_t total);
void setProgressDone(SettingsRecord& record, std::int32_t done);
// What the render routine leaves after each render.
inline constexpr std::int32_t kProgressIdle = -1;

// Copies a NUL-terminated name into one of the record's fixed buffers,
// truncating to fit.
void setName(char (&field)[kNameCapacity], const char* text);

// Clamps every ranged field into its range and replaces values that are not
// numbers by the field's default. Used on every settings source the user or
// another program can hand us, so that nothing downstream sees a wild value.
void clampToRanges(SettingsRecord& record);

}  // namespace globaro
