// Recording the settings into the host's descriptor and replaying them, and the hosts read from.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>

#include "app/descriptor_store.h"
#include "host/descriptor_keys.h"
#include "host/scripting_parameters.h"
#include "tests/host/host_test_support.h"

namespace globaro {
namespace {

using host_test::freshFilterData;
using host_test::preparedSettings;
using host_test::ScriptingHost;
using host_test::TestHandles;

std::uint32_t code(const std::string& s) { return GLOBARO_FOURCC(s[0], s[1], s[2], s[3]); }

// "KEY=iN" an integer, "=fN" a float, "=bN" a Boolean, "=tTEXT" text, "=eTYPE:KEY" an enumeration.
RecordedDescriptor items(const std::string& text) {
    RecordedDescriptor d;
    std::istringstream in(text);
    for (std::string item; in >> item;) {
        const std::string v = item.substr(6);
        d.put(code(item), item[5] == 'i'   ? DescriptorValue::makeInteger(std::stoi(v))
                          : item[5] == 'f' ? DescriptorValue::makeFloat(std::stod(v))
                          : item[5] == 'b' ? DescriptorValue::makeBoolean(v == "1")
                          : item[5] == 't' ? DescriptorValue::makeText(v)
                                           : DescriptorValue::makeEnumerated(code(v), code(v.substr(5))));
    }
    return d;
}

TEST(DescriptorReplay, WhatEachDescriptorGives) {
    using Set = void (*)(SettingsRecord&);
    // clang-format off
    const std::tuple<const char*, const char*, Set> cases[] = {
        {"only the output key", "Koky=eKoty:Kp##", [](SettingsRecord& s) { s.outputProjection = 1043; }},
        {"a colour of 255 reads as 65280", "0004=i255 0001=i215",
         [](SettingsRecord& s) { s.backdropColor.red = 65280, s.tabColor.red = 55040; }},
        {"unknown enumeration keys store 0", "GLUE=eGLty:GL99 Kgky=eKgty:<NO> Kiky=eKity:Ki17",
         [](SettingsRecord& s) { s.glue = s.grid = s.inputProjection = 0; }},
        {"wrong types and other keys are skipped",
         "0018=f40 0011=i1 0034=i12 Koky=i7 0001=t215 0015=i5 Xtra=i5 0026=i640",
         [](SettingsRecord& s) { s.faceSize = 640; }},
        {"the preview quality is not replayed", "0032=i1", [](SettingsRecord&) {}},
        {"hqpr as a Boolean", "hqpr=b1", [](SettingsRecord& s) { s.hqpr = 1; }},
        {"hqpr as an integer", "hqpr=i5", [](SettingsRecord& s) { s.hqpr = 1; }},
        {"version 46 takes its angles from the whole numbers", "Vers=i46 0008=i20 0034=f20.5 0014=i100",
         [](SettingsRecord& s) { s.version = 46, s.latitude = s.latitudeInteger = 20, s.fov = s.fovInteger = 100; }},
        {"version 47 keeps its floats", "Vers=i47 0008=i20 0034=f20.5 0014=i100",
         [](SettingsRecord& s) { s.version = 47, s.latitudeInteger = 20, s.latitude = 20.5f, s.fovInteger = 100; }},
        {"an old version's wild whole number stays in range", "Vers=i30 0008=i2000000000",
         [](SettingsRecord& s) { s.version = 30, s.latitudeInteger = 2000000000, s.latitude = 90; }}};
    // clang-format on
    for (const auto& [what, given, expect] : cases) {
        ScriptingHost host;
        host.store.offer(items(given), plugInDialogDisplay);
        SettingsRecord read = preparedSettings();
        read.latitude = 33.0f;  // anything from before is reset
        read.previewQuality = 2;
        FilterData data = freshFilterData();
        data.dialogRequested = 0;
        ASSERT_EQ(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kRead) << what;
        SettingsRecord expected = preparedSettings();
        expect(expected);
        EXPECT_EQ(std::memcmp(&read, &expected, sizeof read), 0) << what;
        // The descriptor disposed of and cleared, nothing left open.
        EXPECT_EQ(std::tuple(data.dialogRequested, host.store.parameters().descriptor, TestHandles::descriptorDisposals,
                             host.store.liveDescriptors() + host.store.openReadTokens()),
                  std::tuple(1, PIDescriptorHandle{}, 1, std::size_t{0}))
            << what;
    }
}

TEST(DescriptorReplay, PlayInformationDecidesTheDialog) {
    for (std::int16_t play : {plugInDialogDontDisplay, plugInDialogDisplay, plugInDialogSilent})
        for (bool offered : {false, true}) {
            ScriptingHost host;
            if (offered) host.store.offer(RecordedDescriptor{}, play);
            host.store.parameters().playInfo = play;
            SettingsRecord read = preparedSettings();
            read.version = 40, read.latitudeInteger = 12, read.glue = 5;  // as an old cached settings file left it
            FilterData data = freshFilterData();
            EXPECT_EQ(hasDescriptor(&host.record), offered);
            EXPECT_EQ(readDescriptor(&host.record, read, data),
                      offered ? DescriptorReadOutcome::kRead : DescriptorReadOutcome::kNoDescriptor);
            EXPECT_EQ(std::tuple(data.dialogRequested, read.latitude, read.glue),  // synced, without a reset
                      std::tuple(play == plugInDialogDisplay ? 1 : 0, offered ? 0.0f : 12.0f, offered ? 1 : 5));
        }
}

TEST(DescriptorReplay, HostsWithoutSupportOrOfRefusedKindsChangeNothing) {
    const std::function<void(ScriptingHost&)> breaks[] = {
        [](ScriptingHost& h) { h.record.descriptorParameters = nullptr; },
        [](ScriptingHost& h) { h.store.parameters().descriptorParametersVersion = 1; },
        [](ScriptingHost& h) { h.store.readProcs().numReadDescriptorProcs = 17; },
        [](ScriptingHost& h) { h.store.writeProcs().numWriteDescriptorProcs = 15; },
        [](ScriptingHost& h) { h.store.readProcs().getPinnedUnitFloatProc = nullptr; },
        [](ScriptingHost& h) { h.store.writeProcs().putScopedObjectProc = nullptr; },
        [](ScriptingHost& h) { h.record.hostSig = GLOBARO_FOURCC('P', 'S', 'P', '8'); },
        [](ScriptingHost& h) { h.record.hostSig = GLOBARO_FOURCC('P', 'S', 'P', '9'); },
    };
    for (std::size_t i = 0; i < std::size(breaks); ++i) {
        ScriptingHost host;
        host.store.offer(items("0026=i640"), plugInDialogDontDisplay);
        breaks[i](host);
        SettingsRecord read = preparedSettings();
        read.version = 40, read.latitudeInteger = 7;
        const SettingsRecord before = read;
        FilterData data = freshFilterData();
        EXPECT_FALSE(hasDescriptor(&host.record)) << i;
        EXPECT_NE(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kRead) << i;
        EXPECT_EQ(std::memcmp(&read, &before, sizeof read), 0) << i;  // not even the angle sync
        // The dialog is asked for; the descriptor is left with the host.
        EXPECT_TRUE(data.dialogRequested == 1 && host.store.parameters().descriptor != nullptr) << i;
        SettingsRecord w = preparedSettings();
        EXPECT_EQ(writeDescriptor(&host.record, w), i >= 6) << i;  // PSP hosts are written to, not read from
    }
}

TEST(DescriptorRecord, ReplacesThePreviousDescriptorOrKeepsItWhenOpeningFails) {
    for (bool failOpen : {false, true}) {
        ScriptingHost host;
        const PIDescriptorHandle before = host.store.offer(items("0026=i640"), plugInDialogDontDisplay);
        host.store.parameters().recordInfo = plugInDialogDisplay;
        host.store.setFailWriteOpen(failOpen);
        SettingsRecord s = preparedSettings();
        s.flip = 0x100, s.faces = 0x101;  // Booleans are written from their low byte
        EXPECT_EQ(writeDescriptor(&host.record, s), !failOpen);
        EXPECT_EQ(std::tuple(s.version, TestHandles::descriptorDisposals, host.store.parameters().recordInfo),
                  std::tuple(failOpen ? kVersionUnread : kSettingsVersion, failOpen ? 0 : 1,
                             failOpen ? plugInDialogDisplay : 0));
        if (failOpen) {
            EXPECT_EQ(host.store.parameters().descriptor, before);
            continue;
        }
        EXPECT_TRUE(host.store.liveDescriptors() == 1u && !host.store.current()->find(fourCharCode("0011"))->boolean &&
                    host.store.current()->find(fourCharCode("0017"))->boolean);
    }
}

}  // namespace
}  // namespace globaro
