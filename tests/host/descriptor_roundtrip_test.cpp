// Recording the settings into the host's descriptor and replaying them, and the hosts read from.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "app/descriptor_store.h"
#include "host/descriptor_keys.h"
#include "host/scripting_parameters.h"
#include "projection/catalogue.h"
#include "tests/host/host_test_support.h"

namespace globaro {
namespace {

using host_test::freshFilterData;
using host_test::preparedSettings;
using host_test::ScriptingHost;
using host_test::TestHandles;

DescriptorValue enumKey(const char (&type)[5], const char (&key)[5]) {
    return DescriptorValue::makeEnumerated(fourCharCode(type), fourCharCode(key));
}

TEST(DescriptorReplay, WhatEachDescriptorGives) {
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, DescriptorValue>> items;
        std::function<void(SettingsRecord&)> expected;
    };
    using V = DescriptorValue;
    const Case cases[] = {
        {"only the output key",
         {{"Koky", enumKey("Koty", "Kp##")}},
         [](SettingsRecord& s) { s.outputProjection = 1043; }},
        {"a colour of 255 reads as 65280",
         {{"0004", V::makeInteger(255)}, {"0001", V::makeInteger(215)}},
         [](SettingsRecord& s) { s.backdropColor.red = 65280, s.tabColor.red = 55040; }},
        {"unknown enumeration keys store 0",
         {{"GLUE", enumKey("GLty", "GL99")}, {"Kgky", enumKey("Kgty", "<NO>")}, {"Kiky", enumKey("Kity", "Ki17")}},
         [](SettingsRecord& s) { s.glue = s.grid = s.inputProjection = 0; }},
        {"wrong types and other keys are skipped",
         {{"0018", V::makeFloat(40)},
          {"0011", V::makeInteger(1)},
          {"0034", V::makeInteger(12)},
          {"Koky", V::makeInteger(7)},
          {"0001", V::makeText("215")},
          {"0015", V::makeInteger(5)},
          {"Xtra", V::makeInteger(5)},
          {"0026", V::makeInteger(640)}},
         [](SettingsRecord& s) { s.faceSize = 640; }},
        {"the preview quality is not replayed", {{"0032", V::makeInteger(1)}}, [](SettingsRecord&) {}},
        {"hqpr as a Boolean", {{"hqpr", V::makeBoolean(true)}}, [](SettingsRecord& s) { s.hqpr = 1; }},
        {"hqpr as an integer", {{"hqpr", V::makeInteger(5)}}, [](SettingsRecord& s) { s.hqpr = 1; }},
        {"version 46 takes its angles from the whole numbers",
         {{"Vers", V::makeInteger(46)},
          {"0008", V::makeInteger(20)},
          {"0034", V::makeFloat(20.5)},
          {"0014", V::makeInteger(100)}},
         [](SettingsRecord& s) {
             s.version = 46, s.latitudeInteger = 20, s.latitude = 20, s.fovInteger = 100, s.fov = 100;
         }},
        {"version 47 keeps its floats",
         {{"Vers", V::makeInteger(47)},
          {"0008", V::makeInteger(20)},
          {"0034", V::makeFloat(20.5)},
          {"0014", V::makeInteger(100)}},
         [](SettingsRecord& s) { s.version = 47, s.latitudeInteger = 20, s.latitude = 20.5f, s.fovInteger = 100; }},
        {"an old version's wild whole number stays in range",
         {{"Vers", V::makeInteger(30)}, {"0008", V::makeInteger(2000000000)}},
         [](SettingsRecord& s) { s.version = 30, s.latitudeInteger = 2000000000, s.latitude = 90; }},
    };
    for (const Case& c : cases) {
        ScriptingHost host;
        RecordedDescriptor d;
        for (const auto& [key, value] : c.items) d.put(GLOBARO_FOURCC(key[0], key[1], key[2], key[3]), value);
        host.store.offer(d, plugInDialogDisplay);
        SettingsRecord read = preparedSettings();
        read.latitude = 33.0f;  // anything from before is reset
        read.previewQuality = 2;
        FilterData data = freshFilterData();
        data.dialogRequested = 0;
        ASSERT_EQ(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kRead) << c.what;
        SettingsRecord expected = preparedSettings();
        c.expected(expected);
        EXPECT_EQ(std::memcmp(&read, &expected, sizeof read), 0) << c.what;
        EXPECT_EQ(data.dialogRequested, 1) << c.what;
        EXPECT_EQ(host.store.parameters().descriptor, nullptr) << c.what;  // disposed of and cleared
        EXPECT_EQ(TestHandles::descriptorDisposals, 1) << c.what;
        EXPECT_EQ(host.store.liveDescriptors() + host.store.openReadTokens(), 0u) << c.what;
    }
}

TEST(DescriptorReplay, EveryCatalogueProjectionTravelsThroughAnActionFile) {
    auto travel = [](std::int32_t SettingsRecord::*field, std::int32_t id) {
        ScriptingHost host;
        SettingsRecord s = preparedSettings();
        s.*field = id;
        EXPECT_TRUE(writeDescriptor(&host.record, s));
        RecordedAction action{plugInDialogDontDisplay, *host.store.current()};
        std::string error;
        EXPECT_TRUE(actionFromJson(actionToJson(action), action, error));
        host.store.offer(action.descriptor, action.playInfo);
        SettingsRecord read = preparedSettings();
        FilterData data = freshFilterData();
        readDescriptor(&host.record, read, data);
        return read.*field;
    };
    for (const OutputProjectionInfo& p : outputProjections())
        EXPECT_EQ(travel(&SettingsRecord::outputProjection, p.id), p.id) << p.name;
    for (const InputProjectionInfo& p : inputProjections())
        EXPECT_EQ(travel(&SettingsRecord::inputProjection, p.id), p.id) << p.name;
}

TEST(DescriptorReplay, PlayInformationDecidesTheDialog) {
    for (std::int16_t play : {plugInDialogDontDisplay, plugInDialogDisplay, plugInDialogSilent})
        for (bool offered : {false, true}) {
            ScriptingHost host;
            if (offered) host.store.offer(RecordedDescriptor{}, play);
            host.store.parameters().playInfo = play;
            SettingsRecord read = preparedSettings();
            read.version = 40;  // as an old cached settings file left it
            read.latitudeInteger = 12;
            read.glue = 5;
            FilterData data = freshFilterData();
            EXPECT_EQ(hasDescriptor(&host.record), offered);
            EXPECT_EQ(readDescriptor(&host.record, read, data),
                      offered ? DescriptorReadOutcome::kRead : DescriptorReadOutcome::kNoDescriptor);
            EXPECT_EQ(data.dialogRequested, play == plugInDialogDisplay ? 1 : 0);
            EXPECT_EQ(read.latitude, offered ? 0.0f : 12.0f);  // synced, without a reset
            EXPECT_EQ(read.glue, offered ? 1 : 5);
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
        RecordedDescriptor d;
        d.put(fourCharCode("0026"), DescriptorValue::makeInteger(640));
        host.store.offer(d, plugInDialogDontDisplay);
        breaks[i](host);
        SettingsRecord read = preparedSettings();
        read.version = 40;
        read.latitudeInteger = 7;
        const SettingsRecord before = read;
        FilterData data = freshFilterData();
        EXPECT_FALSE(hasDescriptor(&host.record)) << i;
        EXPECT_NE(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kRead) << i;
        EXPECT_EQ(std::memcmp(&read, &before, sizeof read), 0) << i;  // not even the angle sync
        EXPECT_EQ(data.dialogRequested, 1) << i;
        EXPECT_NE(host.store.parameters().descriptor, nullptr) << i;  // left with the host
        SettingsRecord w = preparedSettings();
        EXPECT_EQ(writeDescriptor(&host.record, w), i >= 6) << i;  // PSP hosts are written to, not read from
    }
}

TEST(DescriptorRecord, ReplacesThePreviousDescriptorOrKeepsItWhenOpeningFails) {
    for (bool failOpen : {false, true}) {
        ScriptingHost host;
        RecordedDescriptor old;
        old.put(fourCharCode("0026"), DescriptorValue::makeInteger(640));
        const PIDescriptorHandle before = host.store.offer(old, plugInDialogDontDisplay);
        host.store.parameters().recordInfo = plugInDialogDisplay;
        host.store.setFailWriteOpen(failOpen);
        SettingsRecord s = preparedSettings();
        s.flip = 0x100;  // Booleans are written from their low byte
        s.faces = 0x101;
        EXPECT_EQ(writeDescriptor(&host.record, s), !failOpen);
        EXPECT_EQ(s.version, failOpen ? kVersionUnread : kSettingsVersion);
        EXPECT_EQ(TestHandles::descriptorDisposals, failOpen ? 0 : 1);
        EXPECT_EQ(host.store.parameters().recordInfo, failOpen ? plugInDialogDisplay : 0);
        if (failOpen) {
            EXPECT_EQ(host.store.parameters().descriptor, before);
            continue;
        }
        EXPECT_EQ(host.store.liveDescriptors(), 1u);
        EXPECT_FALSE(host.store.current()->find(fourCharCode("0011"))->boolean);
        EXPECT_TRUE(host.store.current()->find(fourCharCode("0017"))->boolean);
    }
}

}  // namespace
}  // namespace globaro
