// Recording the settings into the host's descriptor and replaying them,
// through the standalone host's descriptor store.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "app/descriptor_store.h"
#include "host/descriptor_keys.h"
#include "host/scripting_parameters.h"
#include "projection/catalogue.h"
#include "tests/host/descriptor_test_support.h"

namespace globaro {
namespace {

using descriptor_test::freshFilterData;
using descriptor_test::preparedSettings;
using descriptor_test::ScriptingHost;
using descriptor_test::TestHandles;

bool sameBytes(const SettingsRecord& a, const SettingsRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Settings with every scripted field away from its default.
SettingsRecord unusualSettings() {
    SettingsRecord s = preparedSettings();
    // Whole high bytes, as a replay gives them back.
    s.tabColor = {0x1200, 0x3400, 0xFE00};
    s.backdropColor = {0x0100, 0x0000, 0xFF00};
    s.lineColor = {0x7F00, 0x8000, 0x0A00};
    s.inputProjection = 33;
    s.latitudeInteger = -45;
    s.spinInteger = 170;
    s.outputProjection = 1043;
    s.flip = 1;
    s.hqpr = 1;
    s.longitudeInteger = -120;
    s.tabsInteger = 70;
    s.fovInteger = 90;
    s.glue = 63;
    s.faces = 1;
    s.brickLayers = 42;
    s.spherePlan = 0;
    s.sphereStats = 0;
    s.cubeSide = 1024;
    s.ldraw = 1;
    s.brickDiffusion = 1;
    s.brickColorset = 4095;
    s.brickPlates = 1;
    s.faceSize = 777;
    s.sharpeningInteger = 12;
    s.transparentGaps = 0;
    s.edges = 1;
    s.anamorphosis = 1;
    s.dehalo = 1;
    s.grid = 7;
    s.indicatrix = 1;
    s.latitude = -45.25f;
    s.longitude = -120.5f;
    s.spin = 170.125f;
    s.fov = 90.75f;
    s.tabs = 70.5f;
    s.sharpen = 12.25f;
    return s;
}

TEST(DescriptorRoundTrip, EveryKeyComesBack) {
    ScriptingHost host;
    SettingsRecord written = unusualSettings();
    ASSERT_TRUE(writeDescriptor(&host.record, written));
    EXPECT_EQ(written.version, 48);
    EXPECT_EQ(host.store.parameters().recordInfo, 0);
    const RecordedDescriptor* recorded = host.store.current();
    ASSERT_NE(recorded, nullptr);
    ASSERT_EQ(recorded->items.size(), 44u);
    for (std::size_t i = 0; i < recorded->items.size(); ++i)
        EXPECT_EQ(recorded->items[i].key, descriptorKeys()[i].key) << i;

    host.store.parameters().playInfo = plugInDialogDontDisplay;
    SettingsRecord read = preparedSettings();
    FilterData data = freshFilterData();
    EXPECT_EQ(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kRead);
    EXPECT_EQ(data.dialogRequested, 0);
    EXPECT_EQ(host.store.parameters().descriptor, nullptr);  // disposed of and cleared
    EXPECT_EQ(TestHandles::descriptorDisposals, 1);
    EXPECT_EQ(host.store.liveDescriptors(), 0u);
    EXPECT_EQ(host.store.openReadTokens(), 0u);
    EXPECT_EQ(host.store.openWriteTokens(), 0u);

    // Colours come back as high byte x 256; everything else exactly, except
    // the preview quality, which a replay does not take.
    SettingsRecord expected = written;
    expected.previewQuality = 3;
    EXPECT_TRUE(sameBytes(read, expected));
    EXPECT_EQ(read.tabColor, (Rgb16{0x1200, 0x3400, 0xFE00}));
    EXPECT_EQ(read.outputProjection, 1043);
    EXPECT_EQ(read.glue, 63);
    EXPECT_EQ(read.inputProjection, 33);
    EXPECT_EQ(read.grid, 7);
    EXPECT_EQ(read.hqpr, 1);
    EXPECT_FLOAT_EQ(read.spin, 170.125f);
}

TEST(DescriptorRoundTrip, RecordedValuesHaveTheirTypes) {
    ScriptingHost host;
    SettingsRecord s = unusualSettings();
    s.previewQuality = 2;
    ASSERT_TRUE(writeDescriptor(&host.record, s));
    const RecordedDescriptor& d = *host.store.current();
    EXPECT_EQ(d.find(fourCharCode("Vers"))->integer, 48);
    EXPECT_EQ(d.find(fourCharCode("0001"))->integer, 0x12);
    EXPECT_EQ(d.find(fourCharCode("0003"))->integer, 0xFE);
    EXPECT_EQ(d.find(fourCharCode("hqpr"))->type, DescriptorValueType::kInteger);
    EXPECT_EQ(d.find(fourCharCode("0011"))->type, DescriptorValueType::kBoolean);
    EXPECT_EQ(d.find(fourCharCode("0032"))->integer, 2);
    const DescriptorValue* out = d.find(fourCharCode("Koky"));
    EXPECT_EQ(out->type, DescriptorValueType::kEnumerated);
    EXPECT_EQ(out->enumType, fourCharCode("Koty"));
    EXPECT_EQ(out->enumValue, fourCharCode("Kp##"));
    EXPECT_EQ(d.find(fourCharCode("GLUE"))->enumValue, fourCharCode("GL63"));
    EXPECT_EQ(d.find(fourCharCode("Kiky"))->enumValue, fourCharCode("Ki35"));
    EXPECT_EQ(d.find(fourCharCode("Kgky"))->enumValue, fourCharCode("Kgr7"));
    EXPECT_EQ(d.find(fourCharCode("0034"))->type, DescriptorValueType::kFloat);
    EXPECT_DOUBLE_EQ(d.find(fourCharCode("0034"))->number, -45.25);
    EXPECT_EQ(d.find(fourCharCode("0015")), nullptr);
}

TEST(DescriptorRoundTrip, TabColourIsScriptedAsItsHighByte) {
    ScriptingHost host;
    SettingsRecord s = preparedSettings();
    ASSERT_EQ(s.tabColor.red, 55255);
    ASSERT_TRUE(writeDescriptor(&host.record, s));
    EXPECT_EQ(host.store.current()->find(fourCharCode("0001"))->integer, 215);
    EXPECT_EQ(host.store.current()->find(fourCharCode("0004"))->integer, 255);

    SettingsRecord read = preparedSettings();
    FilterData data = freshFilterData();
    ASSERT_EQ(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kRead);
    EXPECT_EQ(read.tabColor.red, 55040);
    EXPECT_EQ(read.backdropColor.red, 65280);  // not 65535
}

TEST(DescriptorRoundTrip, BooleansAreWrittenFromTheLowByte) {
    ScriptingHost host;
    SettingsRecord s = preparedSettings();
    s.flip = 0x100;  // low byte 0
    s.faces = 0x101;
    ASSERT_TRUE(writeDescriptor(&host.record, s));
    EXPECT_FALSE(host.store.current()->find(fourCharCode("0011"))->boolean);
    EXPECT_TRUE(host.store.current()->find(fourCharCode("0017"))->boolean);
}

TEST(DescriptorRoundTrip, OnlyOutputKeyGivesFloretAndDefaults) {
    ScriptingHost host;
    RecordedDescriptor d;
    d.put(fourCharCode("Koky"), DescriptorValue::makeEnumerated(fourCharCode("Koty"), fourCharCode("Kp##")));
    host.store.offer(d, plugInDialogDisplay);

    SettingsRecord read = preparedSettings();
    read.latitude = 33.0f;  // anything left from before is reset
    read.glue = 12;
    FilterData data = freshFilterData();
    data.dialogRequested = 0;
    ASSERT_EQ(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kRead);
    EXPECT_EQ(data.dialogRequested, 1);
    SettingsRecord expected = preparedSettings();
    expected.outputProjection = 1043;
    EXPECT_TRUE(sameBytes(read, expected));
    EXPECT_EQ(read.outputProjection, 1043);
}

// Every projection of the catalogue survives the trip a recorded action
// takes: written into a descriptor, saved as an action file, replayed.
TEST(DescriptorRoundTrip, EveryCatalogueProjectionTravels) {
    auto travel = [](std::int32_t SettingsRecord::*field, std::int32_t id) {
        ScriptingHost host;
        SettingsRecord s = preparedSettings();
        s.*field = id;
        if (!writeDescriptor(&host.record, s)) return -1;
        RecordedAction action{plugInDialogDontDisplay, *host.store.current()};
        std::string error;
        if (!actionFromJson(actionToJson(action), action, error)) return -1;
        host.store.offer(action.descriptor, action.playInfo);
        SettingsRecord read = preparedSettings();
        FilterData data = freshFilterData();
        if (readDescriptor(&host.record, read, data) != DescriptorReadOutcome::kRead) return -1;
        return read.*field;
    };
    for (const OutputProjectionInfo& p : outputProjections())
        EXPECT_EQ(travel(&SettingsRecord::outputProjection, p.id), p.id) << p.name;
    for (const InputProjectionInfo& p : inputProjections())
        EXPECT_EQ(travel(&SettingsRecord::inputProjection, p.id), p.id) << p.name;
}

TEST(DescriptorRoundTrip, UnknownEnumerationKeysStoreZero) {
    ScriptingHost host;
    RecordedDescriptor d;
    d.put(fourCharCode("GLUE"), DescriptorValue::makeEnumerated(fourCharCode("GLty"), fourCharCode("GL99")));
    d.put(fourCharCode("Kgky"), DescriptorValue::makeEnumerated(fourCharCode("Kgty"), fourCharCode("<NO>")));
    d.put(fourCharCode("Kiky"), DescriptorValue::makeEnumerated(fourCharCode("Kity"), fourCharCode("Ki17")));
    host.store.offer(d, plugInDialogDontDisplay);
    SettingsRecord read = preparedSettings();
    FilterData data = freshFilterData();
    ASSERT_EQ(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kRead);
    EXPECT_EQ(read.glue, 0);
    EXPECT_EQ(read.grid, 0);
    EXPECT_EQ(read.inputProjection, 0);
}

TEST(DescriptorRoundTrip, PreviewQualityIsRecordedButNotReplayed) {
    ScriptingHost host;
    SettingsRecord s = preparedSettings();
    s.previewQuality = 1;
    ASSERT_TRUE(writeDescriptor(&host.record, s));
    SettingsRecord read = preparedSettings();
    read.previewQuality = 2;
    FilterData data = freshFilterData();
    ASSERT_EQ(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kRead);
    EXPECT_EQ(read.previewQuality, 3);  // the default set by the reset
}

TEST(DescriptorRoundTrip, WrongTypedAndMissingKeysKeepDefaults) {
    ScriptingHost host;
    RecordedDescriptor d;
    d.put(fourCharCode("0018"), DescriptorValue::makeFloat(40.0));           // integer expected
    d.put(fourCharCode("0011"), DescriptorValue::makeInteger(1));            // Boolean expected
    d.put(fourCharCode("0034"), DescriptorValue::makeInteger(12));           // float expected
    d.put(fourCharCode("Koky"), DescriptorValue::makeInteger(7));            // enumeration expected
    d.put(fourCharCode("0001"), DescriptorValue::makeText("215"));           // integer expected
    d.put(fourCharCode("0015"), DescriptorValue::makeInteger(5));            // asked for, never used
    d.put(fourCharCode("Xtra"), DescriptorValue::makeInteger(5));            // not ours
    d.put(fourCharCode("0026"), DescriptorValue::makeInteger(640));          // the one good value
    host.store.offer(d, plugInDialogSilent);
    SettingsRecord read = preparedSettings();
    FilterData data = freshFilterData();
    ASSERT_EQ(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kRead);
    EXPECT_EQ(data.dialogRequested, 0);
    SettingsRecord expected = preparedSettings();
    expected.faceSize = 640;
    EXPECT_TRUE(sameBytes(read, expected));
}

TEST(DescriptorRoundTrip, HqprAcceptsABooleanOrAnInteger) {
    for (const DescriptorValue& v : {DescriptorValue::makeBoolean(true), DescriptorValue::makeInteger(5)}) {
        ScriptingHost host;
        RecordedDescriptor d;
        d.put(fourCharCode("hqpr"), v);
        host.store.offer(d, plugInDialogDontDisplay);
        SettingsRecord read = preparedSettings();
        FilterData data = freshFilterData();
        ASSERT_EQ(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kRead);
        EXPECT_EQ(read.hqpr, 1);
    }
}

TEST(DescriptorRoundTrip, OldVersionsTakeTheWholeNumberAngles) {
    for (int version : {46, 47}) {
        ScriptingHost host;
        RecordedDescriptor d;
        d.put(fourCharCode("Vers"), DescriptorValue::makeInteger(version));
        d.put(fourCharCode("0008"), DescriptorValue::makeInteger(20));
        d.put(fourCharCode("0034"), DescriptorValue::makeFloat(20.5));
        d.put(fourCharCode("0014"), DescriptorValue::makeInteger(100));
        host.store.offer(d, plugInDialogDontDisplay);
        SettingsRecord read = preparedSettings();
        FilterData data = freshFilterData();
        ASSERT_EQ(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kRead);
        EXPECT_EQ(read.version, version);
        if (version == 46) {
            EXPECT_FLOAT_EQ(read.latitude, 20.0f);
            EXPECT_FLOAT_EQ(read.fov, 100.0f);
        } else {
            EXPECT_FLOAT_EQ(read.latitude, 20.5f);
            EXPECT_FLOAT_EQ(read.fov, 120.0f);
        }
    }
}

TEST(DescriptorRoundTrip, HostileValuesAreBroughtIntoRange) {
    ScriptingHost host;
    RecordedDescriptor d;
    d.put(fourCharCode("0001"), DescriptorValue::makeInteger(1000));   // colour channel above 255
    d.put(fourCharCode("0002"), DescriptorValue::makeInteger(-7));
    d.put(fourCharCode("0018"), DescriptorValue::makeInteger(1 << 30)); // brick layers
    d.put(fourCharCode("0021"), DescriptorValue::makeInteger(-5));      // cube side
    d.put(fourCharCode("0034"), DescriptorValue::makeFloat(std::numeric_limits<double>::quiet_NaN()));
    d.put(fourCharCode("0035"), DescriptorValue::makeFloat(1e300));
    d.put(fourCharCode("0037"), DescriptorValue::makeFloat(-1e300));
    host.store.offer(d, plugInDialogDontDisplay);
    SettingsRecord read = preparedSettings();
    FilterData data = freshFilterData();
    ASSERT_EQ(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kRead);
    EXPECT_EQ(read.tabColor.red, 255 * 256);
    EXPECT_EQ(read.tabColor.green, 0);
    EXPECT_EQ(read.brickLayers, 150);
    EXPECT_EQ(read.cubeSide, 2);
    EXPECT_FLOAT_EQ(read.latitude, 0.0f);
    EXPECT_FLOAT_EQ(read.longitude, 180.0f);
    EXPECT_FLOAT_EQ(read.fov, 0.0f);
}

TEST(DescriptorRoundTrip, OldVersionWithWildWholeNumbersStaysInRange) {
    ScriptingHost host;
    RecordedDescriptor d;
    d.put(fourCharCode("Vers"), DescriptorValue::makeInteger(30));
    d.put(fourCharCode("0008"), DescriptorValue::makeInteger(2000000000));
    host.store.offer(d, plugInDialogDontDisplay);
    SettingsRecord read = preparedSettings();
    FilterData data = freshFilterData();
    ASSERT_EQ(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kRead);
    EXPECT_FLOAT_EQ(read.latitude, 90.0f);
}

TEST(DescriptorRead, PspHostsReadNothing) {
    for (ResType sig : {GLOBARO_FOURCC('P', 'S', 'P', '8'), GLOBARO_FOURCC('P', 'S', 'P', '9')}) {
        ScriptingHost host;
        host.record.hostSig = sig;
        RecordedDescriptor d;
        d.put(fourCharCode("Koky"), DescriptorValue::makeEnumerated(fourCharCode("Koty"), fourCharCode("Kp##")));
        host.store.offer(d, plugInDialogDontDisplay);
        SettingsRecord read = preparedSettings();
        read.version = 40;
        read.latitudeInteger = 7;
        const SettingsRecord before = read;
        FilterData data = freshFilterData();
        EXPECT_FALSE(hasDescriptor(&host.record));
        EXPECT_EQ(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kRefusedHost);
        EXPECT_TRUE(sameBytes(read, before));  // not even the angle sync
        EXPECT_EQ(data.dialogRequested, 1);
        EXPECT_NE(host.store.parameters().descriptor, nullptr);  // left with the host
    }
}

TEST(DescriptorRead, WithoutSupportNothingChanges) {
    ScriptingHost host;
    RecordedDescriptor d;
    d.put(fourCharCode("0026"), DescriptorValue::makeInteger(640));
    host.store.offer(d, plugInDialogDontDisplay);

    auto expectUnchanged = [&](const char* what) {
        SettingsRecord read = preparedSettings();
        read.version = 40;
        const SettingsRecord before = read;
        FilterData data = freshFilterData();
        EXPECT_FALSE(descriptorsSupported(&host.record)) << what;
        EXPECT_FALSE(hasDescriptor(&host.record)) << what;
        EXPECT_EQ(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kNotSupported) << what;
        EXPECT_TRUE(sameBytes(read, before)) << what;
        EXPECT_EQ(data.dialogRequested, 1) << what;
        SettingsRecord w = preparedSettings();
        EXPECT_FALSE(writeDescriptor(&host.record, w)) << what;
        EXPECT_EQ(w.version, preparedSettings().version) << what;
    };

    PIDescriptorParameters* params = &host.store.parameters();
    host.record.descriptorParameters = nullptr;
    expectUnchanged("no parameters");
    host.record.descriptorParameters = params;

    params->descriptorParametersVersion = 1;
    expectUnchanged("version 1");
    params->descriptorParametersVersion = 0;

    host.store.readProcs().numReadDescriptorProcs = 17;
    expectUnchanged("17 read procedures");
    host.store.readProcs().numReadDescriptorProcs = 18;

    host.store.writeProcs().numWriteDescriptorProcs = 15;
    expectUnchanged("15 write procedures");
    host.store.writeProcs().numWriteDescriptorProcs = 16;

    auto savedGet = host.store.readProcs().getPinnedUnitFloatProc;
    host.store.readProcs().getPinnedUnitFloatProc = nullptr;
    expectUnchanged("a missing read procedure");
    host.store.readProcs().getPinnedUnitFloatProc = savedGet;

    auto savedPut = host.store.writeProcs().putScopedObjectProc;
    host.store.writeProcs().putScopedObjectProc = nullptr;
    expectUnchanged("a missing write procedure");
    host.store.writeProcs().putScopedObjectProc = savedPut;

    EXPECT_TRUE(descriptorsSupported(&host.record));
}

TEST(DescriptorRead, NoDescriptorSyncsAnglesAndTakesPlayInfo) {
    ScriptingHost host;
    host.store.parameters().playInfo = plugInDialogDisplay;
    SettingsRecord read = preparedSettings();
    read.version = 40;  // as a cached settings file of an old version left it
    read.latitudeInteger = 12;
    read.glue = 5;
    FilterData data = freshFilterData();
    data.dialogRequested = 0;
    EXPECT_FALSE(hasDescriptor(&host.record));
    EXPECT_EQ(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kNoDescriptor);
    EXPECT_EQ(data.dialogRequested, 1);
    EXPECT_FLOAT_EQ(read.latitude, 12.0f);
    EXPECT_EQ(read.glue, 5);  // no reset without a descriptor

    host.store.parameters().playInfo = plugInDialogSilent;
    EXPECT_EQ(readDescriptor(&host.record, read, data), DescriptorReadOutcome::kNoDescriptor);
    EXPECT_EQ(data.dialogRequested, 0);
}

TEST(DescriptorRead, HasDescriptorLeavesItWithTheHost) {
    ScriptingHost host;
    RecordedDescriptor d;
    d.put(fourCharCode("0026"), DescriptorValue::makeInteger(640));
    host.store.offer(d, plugInDialogDontDisplay);
    EXPECT_TRUE(hasDescriptor(&host.record));
    EXPECT_TRUE(hasDescriptor(&host.record));
    EXPECT_NE(host.store.parameters().descriptor, nullptr);
    EXPECT_EQ(host.store.openReadTokens(), 0u);
    EXPECT_EQ(TestHandles::descriptorDisposals, 0);
}

TEST(DescriptorWrite, ReplacesAndDisposesOfThePreviousDescriptor) {
    ScriptingHost host;
    RecordedDescriptor old;
    old.put(fourCharCode("0026"), DescriptorValue::makeInteger(640));
    host.store.offer(old, plugInDialogDontDisplay);
    host.store.parameters().recordInfo = plugInDialogDisplay;
    SettingsRecord s = preparedSettings();
    ASSERT_TRUE(writeDescriptor(&host.record, s));
    EXPECT_EQ(TestHandles::descriptorDisposals, 1);
    EXPECT_EQ(host.store.liveDescriptors(), 1u);
    EXPECT_EQ(host.store.parameters().recordInfo, 0);
    EXPECT_EQ(host.store.current()->items.size(), 44u);
}

TEST(DescriptorWrite, FailedOpenRecordsNothing) {
    ScriptingHost host;
    RecordedDescriptor old;
    old.put(fourCharCode("0026"), DescriptorValue::makeInteger(640));
    const PIDescriptorHandle before = host.store.offer(old, plugInDialogDontDisplay);
    host.store.parameters().recordInfo = plugInDialogDisplay;
    host.store.setFailWriteOpen(true);
    SettingsRecord s = preparedSettings();
    EXPECT_FALSE(writeDescriptor(&host.record, s));
    EXPECT_EQ(host.store.parameters().descriptor, before);
    EXPECT_EQ(host.store.parameters().recordInfo, plugInDialogDisplay);
    EXPECT_EQ(s.version, preparedSettings().version);
    EXPECT_EQ(TestHandles::descriptorDisposals, 0);
}

TEST(DescriptorRoundTrip, ThroughAnActionFile) {
    ScriptingHost host;
    SettingsRecord written = unusualSettings();
    ASSERT_TRUE(writeDescriptor(&host.record, written));
    RecordedAction action;
    action.playInfo = plugInDialogDisplay;
    action.descriptor = *host.store.current();
    const std::string json = actionToJson(action);

    RecordedAction loaded;
    std::string error;
    ASSERT_TRUE(actionFromJson(json, loaded, error)) << error;
    EXPECT_EQ(actionToJson(loaded), json);

    ScriptingHost replay;
    replay.store.offer(loaded.descriptor, loaded.playInfo);
    SettingsRecord read = preparedSettings();
    FilterData data = freshFilterData();
    data.dialogRequested = 0;
    ASSERT_EQ(readDescriptor(&replay.record, read, data), DescriptorReadOutcome::kRead);
    EXPECT_EQ(data.dialogRequested, 1);
    SettingsRecord expected = written;
    expected.previewQuality = 3;
    EXPECT_TRUE(sameBytes(read, expected));
}

}  // namespace
}  // namespace globaro
