#pragma once
// The dialog's undo: two snapshot slots that the Undo button toggles
// between, each optionally backed by a full settings file.

#include <cstdint>
#include <string>
#include <type_traits>

#include "settings/settings_record.h"

namespace globaro {

inline constexpr const char* kUndoFileNames[2] = {"Globaro 2 undo 0", "Globaro 2 undo 1"};

struct UndoStore {
    SettingsSnapshot slots[2];
    std::uint8_t valid[2];   // the slot holds a recorded state
    std::uint8_t inFile[2];  // the full settings were also written to the slot's file
    std::int32_t undoIndex;  // the slot of the most recent recording
};

static_assert(std::is_trivially_copyable_v<UndoStore>);

// Temporary folder plus "Globaro 2 undo 0" or "... 1"; empty for other slots.
std::string undoPath(int slot);

// At every start call: no slot valid, `undoIndex` 0.
void resetUndo(UndoStore& store);

// Flips `undoIndex` and records the current settings into that slot; with
// file, the full settings also go to the slot's undo file (`inFile` tells
// whether that write succeeded). Returns the status of the file write
// (kFileOk without file).
int recordUndo(UndoStore& store, SettingsRecord& record, bool withFile);

// Switches to the other slot when it is valid: restores its snapshot and,
// when it is in a file, reads that file in load mode too. Returns false
// (and changes nothing) when the other slot is not valid.
bool undo(UndoStore& store, SettingsRecord& record);

// What a dialog command records after it has been carried out.
enum class UndoKind : std::uint8_t { kNone, kWithoutFile, kWithFile };

// The pseudo-command of the delayed preview render after typing in an edit box.
inline constexpr int kCommandTypingSettled = 777;

struct DialogCommand {
    int control = 0;
    bool changesSettings = false;  // the dialog marks the control as changing the settings
    bool dotLeftFilled = false;    // a click on a memory dot that leaves the dot filled
    bool ctrlHeld = false;
    bool currentDotExists = false;  // for a click on the thumbnail control
};

UndoKind undoKind(const DialogCommand& command);

}  // namespace globaro
