#include "settings/undo.h"

#include <cstring>

#include "platform/temp_folder.h"
#include "settings/memory_dots.h"
#include "settings/settings_file.h"

namespace globaro {

namespace {

// Controls whose undo record does not depend on the state of the dialog.
struct FixedUndoKind {
    int control;
    UndoKind kind;
};

constexpr FixedUndoKind kFixedKinds[] = {
    {2, UndoKind::kNone},   // Cancel
    {3, UndoKind::kNone},   // OK
    {32, UndoKind::kNone},  // zoom buttons
    {33, UndoKind::kNone},
    {34, UndoKind::kNone},
    {26, UndoKind::kNone},      // Save
    {74, UndoKind::kNone},      // Undo
    {25, UndoKind::kNone},      // the icon of the about box
    {15, UndoKind::kNone},      // "Z"
    {35, UndoKind::kWithFile},  // Load
    {kCommandTypingSettled, UndoKind::kWithoutFile},
};

bool isSlot(int slot) { return slot == 0 || slot == 1; }

}  // namespace

std::string undoPath(int slot) {
    if (!isSlot(slot)) return {};
    return tempFolder() + kUndoFileNames[slot];
}

void resetUndo(UndoStore& store) {
    store.valid[0] = store.valid[1] = 0;
    store.inFile[0] = store.inFile[1] = 0;
    store.undoIndex = 0;
}

int recordUndo(UndoStore& store, SettingsRecord& record, bool withFile) {
    const int slot = store.undoIndex == 0 ? 1 : 0;
    store.undoIndex = slot;
    saveSnapshot(record, store.slots[slot]);
    int status = kFileOk;
    if (withFile) status = writeSettingsFile(undoPath(slot), record, nullptr);
    store.inFile[slot] = withFile && status == kFileOk ? 1 : 0;
    store.valid[slot] = 1;
    return status;
}

bool undo(UndoStore& store, SettingsRecord& record) {
    const int other = store.undoIndex == 0 ? 1 : 0;
    if (!store.valid[other]) return false;
    restoreSnapshot(store.slots[other], record);
    if (store.inFile[other]) readSettingsFile(undoPath(other), SettingsReadMode::kLoad, record, nullptr);
    store.undoIndex = other;
    return true;
}

UndoKind undoKind(const DialogCommand& command) {
    for (const FixedUndoKind& row : kFixedKinds)
        if (row.control == command.control) return row.kind;
    if (dotForControl(command.control) >= 0)
        return command.dotLeftFilled && !command.ctrlHeld ? UndoKind::kWithFile : UndoKind::kNone;
    if (command.control == kDotThumbnailControl)
        return command.currentDotExists ? UndoKind::kWithFile : UndoKind::kNone;
    return command.changesSettings ? UndoKind::kWithoutFile : UndoKind::kNone;
}

}  // namespace globaro
