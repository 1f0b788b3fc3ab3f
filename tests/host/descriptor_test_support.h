#pragma once
// Shared pieces of the descriptor tests: a settings record as prepare leaves
// it, a filter record wired to a descriptor store, and a small handle suite.

#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "app/descriptor_store.h"
#include "host/filter_record.h"
#include "settings/filter_data.h"
#include "settings/settings_record.h"

namespace globaro::descriptor_test {

inline SettingsRecord preparedSettings() {
    SettingsRecord s;
    std::memset(static_cast<void*>(&s), 0, sizeof s);
    resetRunState(s);
    resetToDefaults(s);
    resetExportOptions(s);
    return s;
}

inline FilterData freshFilterData() {
    FilterData d;
    std::memset(static_cast<void*>(&d), 0, sizeof d);
    d.dialogRequested = 1;
    return d;
}

// A handle suite for the tests: plain blocks, and descriptor handles of the
// active store released when the module disposes of them.
struct TestHandles {
    struct Block {
        std::vector<char> bytes;
    };
    static inline std::map<Handle, std::unique_ptr<Block>> blocks;
    static inline int descriptorDisposals = 0;

    static Handle newHandle(std::int32_t size) {
        auto b = std::make_unique<Block>();
        b->bytes.resize(static_cast<std::size_t>(size));
        Handle h = reinterpret_cast<Handle>(b.get());
        blocks[h] = std::move(b);
        return h;
    }
    static void dispose(Handle h) {
        if (blocks.erase(h) != 0) return;
        if (releaseDescriptorHandle(h)) ++descriptorDisposals;
    }
    static std::int32_t size(Handle h) {
        auto it = blocks.find(h);
        return it != blocks.end() ? static_cast<std::int32_t>(it->second->bytes.size()) : 0;
    }
    static OSErr setSize(Handle, std::int32_t) { return -108; }
    static Ptr lock(Handle h, Boolean) {
        auto it = blocks.find(h);
        return it != blocks.end() ? it->second->bytes.data() : nullptr;
    }
    static void unlock(Handle) {}

    static HandleProcs procs() {
        HandleProcs p{};
        p.handleProcsVersion = 1;
        p.numHandleProcs = 6;
        p.newProc = newHandle;
        p.disposeProc = dispose;
        p.getSizeProc = size;
        p.setSizeProc = setSize;
        p.lockProc = lock;
        p.unlockProc = unlock;
        return p;
    }
};

// A filter record of a host with descriptor support through `store`.
struct ScriptingHost {
    DescriptorStore store;
    HandleProcs handles = TestHandles::procs();
    FilterRecord record{};

    ScriptingHost() {
        record.hostSig = GLOBARO_FOURCC('8', 'B', 'I', 'M');
        record.handleProcs = &handles;
        record.descriptorParameters = &store.parameters();
        store.setHandleProcs(&handles);
        TestHandles::descriptorDisposals = 0;
    }
};

}  // namespace globaro::descriptor_test
