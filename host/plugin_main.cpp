// The module's one entry point: the host calls PluginMain once for each step
// of a filter run, naming the step by a selector.

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "host/filter_record.h"
#include "host/host_services.h"
#include "host/messages.h"
#include "host/module_dialog.h"
#include "host/render_host_adapter.h"
#include "host/scripting_parameters.h"
#include "host/working_memory.h"
#include "settings/filter_data.h"
#include "settings/memory_dots.h"
#include "settings/random_settings.h"
#include "settings/settings_record.h"
#include "settings/undo.h"

namespace globaro {

namespace {

// Module-wide state for the duration of one call.
struct CallState {
    FilterRecord* record = nullptr;
    intptr_t* data = nullptr;
    std::int16_t* result = nullptr;
    SPBasicSuite* basic = nullptr;
    SettingsRecord* settings = nullptr;  // locked parameter handle
    FilterData* filterData = nullptr;    // locked data handle
};

CallState g;

void setResult(std::int16_t code) { *g.result = code; }
std::int16_t result() { return *g.result; }

Handle dataHandle() { return reinterpret_cast<Handle>(*g.data); }

bool handleSuiteUsable() {
    const HandleProcs* procs = g.record->handleProcs;
    return procs != nullptr && procs->newProc != nullptr && procs->lockProc != nullptr && procs->unlockProc != nullptr;
}

// Locks both handles when both exist: -108 when a lock fails, -30100 when
// either handle is missing.
void lockHandles() {
    if (g.record->parameters == nullptr || dataHandle() == nullptr || !handleSuiteUsable()) {
        setResult(filterBadParameters);
        return;
    }
    HandleProcs* procs = g.record->handleProcs;
    g.settings = reinterpret_cast<SettingsRecord*>(procs->lockProc(g.record->parameters, 1));
    g.filterData = reinterpret_cast<FilterData*>(procs->lockProc(dataHandle(), 1));
    if (g.settings == nullptr || g.filterData == nullptr) setResult(memFullErr);
}

void unlockHandles() {
    if (!handleSuiteUsable()) return;
    if (dataHandle() != nullptr) g.record->handleProcs->unlockProc(dataHandle());
    if (g.record->parameters != nullptr) g.record->handleProcs->unlockProc(g.record->parameters);
    g.settings = nullptr;
    g.filterData = nullptr;
}

// Creates whichever handle is missing; then locks both. A newly created
// settings record starts at its defaults and a new data record with the
// dialog requested and an empty preview rectangle.
void ensureHandles() {
    if (!handleSuiteUsable()) {
        setResult(filterBadParameters);
        return;
    }
    HandleProcs* procs = g.record->handleProcs;
    bool newSettings = false, newData = false;
    if (g.record->parameters == nullptr) {
        g.record->parameters = procs->newProc(static_cast<std::int32_t>(sizeof(SettingsRecord)));
        if (g.record->parameters == nullptr) {
            setResult(memFullErr);
            return;
        }
        newSettings = true;
    }
    if (dataHandle() == nullptr) {
        Handle h = procs->newProc(static_cast<std::int32_t>(sizeof(FilterData)));
        if (h == nullptr) {
            setResult(memFullErr);
            return;
        }
        *g.data = reinterpret_cast<intptr_t>(h);
        newData = true;
    }
    lockHandles();
    if (result() != noErr) return;
    if (newSettings) {
        std::memset(static_cast<void*>(g.settings), 0, sizeof(SettingsRecord));
        resetRunState(*g.settings);
        resetToDefaults(*g.settings);
        resetExportOptions(*g.settings);
    }
    if (newData) {
        std::memset(static_cast<void*>(g.filterData), 0, sizeof(FilterData));
        g.filterData->dialogRequested = 1;
    }
}

void releaseWorkingMemory() {
    if (g.filterData == nullptr) return;
    delete g.filterData->working;
    g.filterData->working = nullptr;
}

void clearRectangles() {
    HostServices host(g.record, g.settings);
    host.clearRequest();
}

void doParameters() {
    ensureHandles();
    if (result() != noErr) return;
    g.filterData->dialogRequested = 1;
    g.filterData->firstCall = 1;
}

void doPrepare() {
    ensureHandles();
    if (result() != noErr) return;
    FilterRecord& f = *g.record;
    f.bufferSpace = 0;
    HostServices host(g.record, g.settings);
    const VRect r = host.filterRect();
    const std::int64_t planes = f.planes + (f.haveMask ? 1 : 0);
    const std::int64_t width = std::clamp<std::int64_t>(r.right - r.left, 0, 256);
    const std::int64_t height = std::clamp<std::int64_t>(r.bottom - r.top, 0, 256);
    const std::int64_t wanted = planes * width * height * 2;
    if (wanted < f.maxSpace) f.maxSpace = static_cast<std::int32_t>(wanted);

    SettingsRecord& s = *g.settings;
    resetRunState(s);
    resetToDefaults(s);
    setName(s.settingsName, "Globaro 2 settings");
    for (auto& text : s.dialogStrings) text[0] = '\0';
    g.filterData->dialogUp = 0;
    seedFromClock(settingsRandom());
}

// Shows the dialog on the host's image. False when the run ends here (the
// user cancelled, or the image or the dialog's answer could not be had), with
// the result set and the working memory released.
bool runDialogStep(HostServices& host, SettingsRecord& s) {
    RenderSession& session = g.filterData->working->session;
    std::int16_t loaded = session.inputLoaded() ? std::int16_t{noErr} : loadHostInput(host, s, session);
    std::string why = "the image could not be read";
    const ModuleDialogOutcome outcome =
        loaded == noErr ? runModuleDialog(session, host.pixelFormat().grey, s, why) : ModuleDialogOutcome::kUnavailable;
    // The dialog keeps its memory dots in their files.
    clearDotMap(g.filterData->dotMap);
    loadDotMap(g.filterData->dotMap);
    if (outcome == ModuleDialogOutcome::kUnavailable && loaded == noErr) {
        const std::string text = "The dialog cannot be shown: " + why + ". Rendering with the current settings.";
        showMessage("Globaro 2", text.c_str());
        return true;
    }
    if (outcome == ModuleDialogOutcome::kAccepted) return true;
    if (outcome == ModuleDialogOutcome::kFailed) {
        showMessage("Globaro 2", ("The dialog's choice was lost: " + why + ".").c_str());
        loaded = filterAlreadyReported;
    }
    setResult(loaded != noErr ? loaded : std::int16_t{userCanceledErr});
    releaseWorkingMemory();
    return false;
}

void doStart() {
    lockHandles();
    if (result() != noErr) return;
    FilterRecord& f = *g.record;
    SettingsRecord& s = *g.settings;
    HostServices host(g.record, g.settings);
    s.dialog.hostDisplay = (f.advanceState != nullptr && f.displayPixels != nullptr) ? 1 : 0;

    releaseWorkingMemory();  // left by a start that no finish followed
    g.filterData->working = new (std::nothrow) WorkingMemory();
    if (g.filterData->working == nullptr || !g.filterData->working->initialise()) {
        releaseWorkingMemory();
        setResult(memFullErr);
        return;
    }
    clearDotMap(g.filterData->dotMap);
    loadDotMap(g.filterData->dotMap);
    s.exportKind = kExportThumbnail;
    // The last-used settings, unless the host replays recorded ones.
    if (!hasDescriptor(g.record)) loadCachedSettings(s);
    if (g.filterData->firstCall) {
        g.filterData->firstCall = 0;
        resetExportOptions(s);
    }

    if (f.advanceState == nullptr) {
        showMessage(kPluginErrorTitle, kRefusalOldHost);
        setResult(filterAlreadyReported);
    }
    if (f.imageMode == plugInModeMultichannel) {
        showMessage(kPluginErrorTitle, kRefusalMultichannel);
        setResult(filterAlreadyReported);
    }
    if (result() != noErr) {
        releaseWorkingMemory();
        clearRectangles();
        return;
    }

    readDescriptor(g.record, s, *g.filterData);

    const bool dialog = g.filterData->dialogRequested != 0;
    g.filterData->dialogRequested = 0;
    if (dialog) {
        recordUndo(g.filterData->undo, s, true);
        if (!runDialogStep(host, s)) return;
    }

    setResult(renderTo(kRenderToHost, host, s, g.filterData->working->session, {}, g.result));
    if (result() != noErr) {
        releaseWorkingMemory();
        return;
    }
    saveCachedSettings(s);
}

// All work is done during start: empty rectangles tell the host to end.
void doContinue() { clearRectangles(); }

void doFinish() {
    lockHandles();
    if (result() != noErr) return;
    writeDescriptor(g.record, *g.settings);
    saveDotMap(g.filterData->dotMap);
    releaseWorkingMemory();
}

}  // namespace

}  // namespace globaro

extern "C" __attribute__((visibility("default"))) void PluginMain(std::int16_t selector, FilterRecord* record,
                                                                  intptr_t* data, std::int16_t* result) {
    using namespace globaro;
    if (result == nullptr) return;
    *result = noErr;
    if (selector == filterSelectorAbout) {
        // Nothing is locked or unlocked for the about box.
        showMessage("Globaro 2", "Globaro 2: reprojects spherical panoramas and world maps.");
        return;
    }
    if (record == nullptr || data == nullptr) {
        *result = filterBadParameters;
        return;
    }
    g = CallState{record, data, result, record->sSPBasic, nullptr, nullptr};
    switch (selector) {
        case filterSelectorParameters:
            doParameters();
            break;
        case filterSelectorPrepare:
            doPrepare();
            break;
        case filterSelectorStart:
            doStart();
            break;
        case filterSelectorContinue:
            doContinue();
            break;
        case filterSelectorFinish:
            doFinish();
            break;
        default:
            *result = filterBadParameters;
            break;
    }
    unlockHandles();
    g = CallState{};
}
