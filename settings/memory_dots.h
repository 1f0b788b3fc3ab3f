#pragma once
// The cached last-used settings and the 25 memory dots: settings files in
// the state folder (see stateFolder), plus the map of dots kept between runs.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "settings/settings_file.h"
#include "settings/settings_record.h"
#include "settings/thumbnail.h"

namespace globaro {

inline constexpr int kDotCount = 25;
// The scratch slot the page exporter parks the current settings in.
inline constexpr int kScratchDot = 25;
// The dialog control that shows the thumbnail of a dot.
inline constexpr int kDotThumbnailControl = 98;
// Side at which the dialog shows a hovered dot's thumbnail.
inline constexpr int kDotThumbnailShownSide = 88;

inline constexpr const char* kCachedSettingsName = "Globaro 2 cached settings D";
inline constexpr const char* kDotMapName = "Globaro 2 memdot map 2";
inline constexpr const char* kDotNameFormat = "%s A memory dot %d%s";
inline constexpr const char* kDotNamePrefix = "Globaro 2";
inline constexpr const char* kDotNameFormatOfLoaded = "dot %d";
// First word of the map file.
inline constexpr std::int32_t kDotMapVersion = 48;

// Which dots persist: nonzero means the dot is shown filled the next time
// the dialog opens. Index = dot number. Lives in FilterData.
struct DotMap {
    std::int32_t words[kDotCount];
};

enum DotStateValue : std::uint16_t {
    kDotEmpty = 0,
    kDotFilled = 1,
    kDotCurrent = 2,  // filled, and the dot last loaded or saved
};

struct DotState {
    std::uint16_t words[kDotCount];
};

// The dialog-side state of the dots.
struct MemoryDots {
    DotState state{};
    std::int32_t currentDot = -1;
    std::int32_t hoverDot = -1;
};

// Control ids of dots 0..24, and the reverse look-up (-1: not a dot).
std::span<const int, kDotCount> dotControls();
int dotForControl(int control);

// State folder plus the file names. `dotPath` takes 0..25 and gives an
// empty string for any other number.
std::string cachedSettingsPath();
std::string dotPath(int n);
std::string dotMapPath();

// The cached settings file, without thumbnail. Loading a missing file
// leaves the settings as they are.
int saveCachedSettings(SettingsRecord& record);
SettingsReadResult loadCachedSettings(SettingsRecord& record);

// The map file: the word 48, then the 25 words of the map. `loadDotMap`
// skips the first word and reads as many map words as the file holds; a
// missing file leaves the map as it is.
void clearDotMap(DotMap& map);
int saveDotMap(const DotMap& map);
int loadDotMap(DotMap& map);

// The first dot whose map word is zero, or -1 when all are nonzero.
int firstFreeDot(const DotMap& map);

// When the dialog opens: kept dots become filled, the others empty; no
// current or hovered dot.
void showDotsAtOpening(const DotMap& map, MemoryDots& dots);
// The dialog's clear operation: every dot empty.
void clearDots(MemoryDots& dots);

// What the dialog has to show after a dot operation.
struct DotUpdate {
    std::uint32_t redraw = 0;      // bit n: redraw dot n
    bool showThumbnail = false;    // show the dot's thumbnail in control 98
    bool clearThumbnail = false;   // clear control 98
    bool settingsChanged = false;  // refresh the controls and re-render the preview
    int status = kFileOk;          // of the file written or read
};

// Writes the settings with `thumbnail` (may be null) to dot n's file and
// makes n the current, hovered dot in state 2 (other state-2 dots become 1).
// A dot number outside 0..24 is ignored. A file that cannot be written is
// skipped; the state still changes and the status tells.
DotUpdate saveDot(int n, SettingsRecord& record, const Thumbnail* thumbnail, MemoryDots& dots);

// Reads dot n's file in load mode, names the settings "dot <n + 1>" and puts
// n in state 2 (other state-2 dots become 1). A dot outside 0..24, or a file
// that cannot be read, changes nothing.
DotUpdate loadDot(int n, SettingsRecord& record, MemoryDots& dots);

// Supplies the thumbnail of the current preview; returns false when none.
using ThumbnailSource = std::function<bool(Thumbnail&)>;

enum class DotClick : std::uint8_t {
    kNotADot,
    kFilled,   // an empty dot was filled (kept unless Ctrl was held)
    kCleared,  // right button on a filled dot
    kUnkept,   // Ctrl on a filled dot: stays filled for this run only
    kLoaded,   // a plain click on a filled dot
};

struct DotClickOutcome {
    DotClick what = DotClick::kNotADot;
    int dot = -1;
    DotUpdate update;
};

// The dialog's handler for a click on a dot control.
DotClickOutcome clickDot(int control, bool rightButton, bool ctrlHeld, SettingsRecord& record, DotMap& map,
                         MemoryDots& dots, const ThumbnailSource& takeThumbnail);

// The pointer rests on dot n: when n is filled and not already the hovered
// dot, reads only the thumbnail of its file into `shown`, and n becomes the
// current and hovered dot. Returns true when `shown` is to be displayed.
bool hoverOverDot(int n, MemoryDots& dots, Thumbnail& shown);
// The pointer left the dots: control 98 is cleared, no current or hovered dot.
void leaveDots(MemoryDots& dots);

// What a click on the thumbnail control 98 does.
enum class ThumbnailClick : std::uint8_t {
    kNone,
    kWriteDotPage,    // right button: the page of memory dots
    kRefreshPresets,  // Ctrl: the preset renaming
    kLoadCurrentDot,  // otherwise, when there is a current dot
};
ThumbnailClick thumbnailClickAction(bool rightButton, bool ctrlHeld, const MemoryDots& dots);

}  // namespace globaro
