#pragma once
// Shared pieces of the host tests: documents, quiet runs, settings, a scripting host, handles.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/descriptor_store.h"
#include "app/document.h"
#include "app/filter_host.h"
#include "host/filter_record.h"
#include "settings/filter_data.h"
#include "settings/settings_record.h"

#pragma GCC diagnostic ignored \
    "-Wmissing-field-initializers"  // designated initialisers leave the rest at their defaults

extern "C" void PluginMain(std::int16_t selector, FilterRecord* record, intptr_t* data, std::int16_t* result);

namespace globaro::host_test {

// Random samples in every plane; `opaque` sets the transparency plane to 1.
inline Document randomDocument(std::int32_t w, std::int32_t h, int colorPlanes, bool alpha, int depth, unsigned seed,
                               bool opaque = false) {
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, w, h, colorPlanes, alpha, depth, error)) << error;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x)
            for (int p = 0; p < d.planes(); ++p) d.setValue(x, y, p, opaque && p == colorPlanes ? 1.0f : u(rng));
    return d;
}

// Largest difference between two documents of one layout, in 0..1 units.
inline float maxDifference(const Document& a, const Document& b) {
    float worst = 0.0f;
    for (std::int32_t y = 0; y < a.height; ++y)
        for (std::int32_t x = 0; x < a.width; ++x)
            for (int p = 0; p < a.planes(); ++p) worst = std::max(worst, std::abs(a.value(x, y, p) - b.value(x, y, p)));
    return worst;
}

// The tolerance of an identity render: two steps of 8 bits, four of 16; floats
// pass through the pyramid's 0..65535 scale.
inline float oneStep(const Document& d) {
    return d.depth == 8 ? 2.01f / 255.0f : d.depth == 16 ? 4.0f / 32768.0f : 1e-4f;
}

// A whole run with the module's messages captured; they are returned in `said`.
inline RunReport quietRun(FilterHost& host, PluginMainProc entry, bool withParameters, std::string* said = nullptr) {
    ::testing::internal::CaptureStderr();
    RunReport report = host.run(entry, withParameters);
    const std::string text = ::testing::internal::GetCapturedStderr();
    if (said != nullptr) *said = text;
    return report;
}

inline SettingsRecord preparedSettings() {
    SettingsRecord s;
    std::memset(static_cast<void*>(&s), 0, sizeof s);
    resetRunState(s), resetToDefaults(s), resetExportOptions(s);
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
    static inline std::map<Handle, std::unique_ptr<std::vector<char>>> blocks;
    static inline int descriptorDisposals = 0;
    static std::vector<char>* block(Handle h) {
        const auto it = blocks.find(h);
        return it != blocks.end() ? it->second.get() : nullptr;
    }
    static HandleProcs procs() {
        return {1,
                6,
                [](std::int32_t size) {
                    auto b = std::make_unique<std::vector<char>>(static_cast<std::size_t>(size));
                    const Handle h = reinterpret_cast<Handle>(b.get());
                    blocks[h] = std::move(b);
                    return h;
                },
                [](Handle h) {
                    if (blocks.erase(h) == 0 && releaseDescriptorHandle(h)) ++descriptorDisposals;
                },
                [](Handle h) { return block(h) ? static_cast<std::int32_t>(block(h)->size()) : 0; },
                [](Handle, std::int32_t) -> OSErr { return -108; },
                [](Handle h, Boolean) -> Ptr { return block(h) ? block(h)->data() : nullptr; },
                [](Handle) {}};
    }
};

// A filter record of a host with descriptor support through `store`.
struct ScriptingHost {
    DescriptorStore store;
    HandleProcs handles = TestHandles::procs();
    FilterRecord record{};
    ScriptingHost() {
        record.hostSig = GLOBARO_FOURCC('8', 'B', 'I', 'M'), record.handleProcs = &handles;
        record.descriptorParameters = &store.parameters();
        store.setHandleProcs(&handles);
        TestHandles::descriptorDisposals = 0;
    }
};

}  // namespace globaro::host_test
