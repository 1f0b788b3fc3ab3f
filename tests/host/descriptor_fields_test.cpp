// Each settings field's descriptor keys, and recorded actions against golden files and their mutants.

#include <limits>
#include <nlohmann/json.hpp>

#include "app/descriptor_store.h"
#include "host/descriptor_keys.h"
#include "host/scripting_parameters.h"
#include "settings/golden_files.h"
#include "settings/hostile_mutator.h"
#include "settings/persist_test_support.h"
#include "tests/host/host_test_support.h"

namespace globaro {
namespace {

using namespace host_test;

// A value for the row's field, other than its default and inside its range;
// one that every enumeration lists, and whole high bytes for colours.
void setOtherValue(const SettingsField& f, SettingsRecord& r) {
    if (f.type == FieldType::kBoolean) f.place.integerIn(r) = f.value != 0 ? 0 : 1;
    if (f.type == FieldType::kColor)
        f.place.colorIn(r) = {std::uint16_t(f.word << 8), std::uint16_t((f.word + 1) << 8), 0xFF00};
    if (f.type == FieldType::kFloat)
        f.place.floatIn(r) =
            f.hundredths ? 12.34f : static_cast<float>(f.range.lo + (f.range.hi - f.range.lo) / 4 + 0.125);
    if (f.type != FieldType::kInteger) return;
    std::int32_t v = f.range.any() ? static_cast<std::int32_t>(f.range.lo) + 1 : 1000 + f.word;
    if (f.scripted >= Scripted::kInputKey && f.scripted <= Scripted::kGridKey) v = 2;
    if (f.scripted == Scripted::kReadAsBoolean) v = 1;
    f.place.integerIn(r) = f.word == 1 ? kSettingsVersion : v;  // files and descriptors carry this build's version
}

std::string defaultText(const SettingsField& f) {
    SettingsRecord r{};
    if (f.type == FieldType::kColor)
        f.place.colorIn(r) = f.color;
    else if (f.type == FieldType::kFloat)
        f.place.floatIn(r) = static_cast<float>(f.value);
    else
        f.place.integerIn(r) = static_cast<std::int32_t>(f.value);
    return golden::fieldText(f, r);
}

class FieldRow : public ::testing::TestWithParam<std::size_t> {};

TEST_P(FieldRow, ItsDescriptorKeysRoundTrip) {
    const SettingsField& f = settingsFields()[GetParam()];
    if (f.scripted == Scripted::kNo) return;
    const auto readKeys = descriptorReadKeys();
    ScriptingHost host;
    SettingsRecord r = preparedSettings();
    setOtherValue(f, r);
    ASSERT_TRUE(writeDescriptor(&host.record, r));
    for (int c = 0; c < (f.type == FieldType::kColor ? 3 : 1); ++c) {
        const DescriptorKeyID key = fourCharCode(f.key[c]);
        EXPECT_NE(std::find(readKeys.begin(), readKeys.end(), key), readKeys.end()) << f.key[c];
        EXPECT_EQ(host.store.current()->find(key) != nullptr, f.scripted != Scripted::kAskOnly) << f.key[c];
    }
    SettingsRecord back = preparedSettings();
    FilterData data = freshFilterData();
    ASSERT_EQ(readDescriptor(&host.record, back, data), DescriptorReadOutcome::kRead);
    const bool replayed = f.scripted != Scripted::kAskOnly && f.scripted != Scripted::kWriteOnly;
    EXPECT_EQ(golden::fieldText(f, back), replayed ? golden::fieldText(f, r) : defaultText(f));
}

std::string rowName(const ::testing::TestParamInfo<std::size_t>& info) {
    std::string name = settingsFields()[info.param].name;
    for (char& c : name)
        if (c == '[' || c == ']') c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(SettingsFields, FieldRow, ::testing::Range<std::size_t>(0, settingsFields().size()), rowName);

SettingsRecord replayed(const RecordedAction& action) {
    ScriptingHost host;
    host.store.offer(action.descriptor, action.playInfo);
    SettingsRecord r = preparedSettings();
    FilterData data = freshFilterData();
    EXPECT_EQ(readDescriptor(&host.record, r, data), DescriptorReadOutcome::kRead);
    EXPECT_EQ(host.store.liveDescriptors(), 0u);
    return r;
}

std::string recorded(SettingsRecord r, std::int16_t playInfo) {
    ScriptingHost host;
    EXPECT_TRUE(writeDescriptor(&host.record, r));
    return actionToJson({playInfo, *host.store.current()});
}

// Every scripted field in range (enumerations: an id of their table, or 0).
void expectScriptedInRange(const SettingsRecord& r, const std::string& what) {
    for (const DescriptorKey& k : descriptorKeys()) {
        const SettingsField& f = *k.field;
        if (k.enumTable != nullptr) {
            const std::int32_t id = f.place.integerIn(r);
            ASSERT_TRUE(id == 0 || k.enumTable->hasId(id)) << f.name << " = " << id << what;
        } else if (f.type == FieldType::kBoolean || k.readKind == DescriptorValueKind::kBooleanOrInteger) {
            ASSERT_TRUE(f.place.integerIn(r) == 0 || f.place.integerIn(r) == 1) << f.name << what;
        } else if (f.range.any() && k.readKind != DescriptorValueKind::kIgnored) {
            const double v = f.type == FieldType::kFloat ? f.place.floatIn(r) : f.place.integerIn(r);
            ASSERT_TRUE(v >= f.range.lo && v <= f.range.hi) << f.name << " = " << v << what;
        }
    }
}

SettingsRecord scriptedRecord() {
    SettingsRecord r = persist_test::distinctRecord();
    // What a replay gives back: whole high bytes, and the quality it keeps.
    r.tabColor = {0x1200, 0x3400, 0xFE00}, r.backdropColor = {0x0100, 0x0000, 0xFF00},
    r.lineColor = {0x7F00, 0x8000, 0x0A00};
    r.previewQuality = 3, r.hqpr = 1;
    return r;
}

TEST(ActionGolden, EachActionReplaysAsItsRecordAndRecordsTheSameText) {
    struct Action {
        const char* name;
        SettingsRecord record;
        std::int16_t playInfo;
        bool rewrites;
    };
    SettingsRecord wild = scriptedRecord();
    wild.outputProjection = 351;  // travels under its '#' key
    wild.inputProjection = 39;    // has no key: "<NO>", read back as 0
    wild.glue = 70, wild.brickLayers = 1 << 30, wild.cubeSide = -5, wild.previewQuality = 1;
    wild.latitude = std::numeric_limits<float>::quiet_NaN(), wild.longitude = -1e30f;
    const Action actions[] = {{"action-v48.json", scriptedRecord(), plugInDialogDisplay, true},
                              {"action-defaults.json", preparedSettings(), plugInDialogDontDisplay, true},
                              {"action-wild.json", wild, plugInDialogSilent, false}};
    for (const Action& a : actions) {
        if (golden::updating()) {
            const std::string text = recorded(a.record, a.playInfo);
            golden::save(a.name, {text.begin(), text.end()});
        }
        const auto bytes = golden::load(a.name);
        const std::string text(bytes.begin(), bytes.end());
        EXPECT_EQ(recorded(a.record, a.playInfo), text) << a.name << ": its record no longer records this text";
        RecordedAction action;
        std::string error;
        ASSERT_TRUE(actionFromJson(text, action, error) && action.playInfo == a.playInfo) << a.name << ": " << error;
        const SettingsRecord r = replayed(action);
        if (golden::updating()) golden::saveExpectedLine(a.name, golden::describe(r));
        golden::expectDescription(a.name, golden::describe(r));
        expectScriptedInRange(r, std::string(" in ") + a.name);
        EXPECT_TRUE(!a.rewrites || recorded(r, a.playInfo) == text) << a.name << " records other text";
    }
}

// A well-formed action with some items changed: other values (extreme or of
// the wrong kind), other types, other keys.
std::vector<std::uint8_t> mutateItems(hostile::Mutator& m, const std::vector<std::uint8_t>& sample) {
    nlohmann::json j = nlohmann::json::parse(sample.begin(), sample.end());
    nlohmann::json& items = j["descriptor"];
    const nlohmann::json values[] = {
        1e308, -1e308, "NaN", "-Infinity", 2147483647, -2147483648LL, 4294967295ULL, -1,
        true,  0.5,    256,   30001,       "Kp##",     "Kgr9",        "abcd",        nlohmann::json::array()};
    const char* types[] = {"integer", "float", "boolean", "enumerated", "text", "count"};
    const char* keys[] = {"zzzz", "0015", "Koky", "GLUE", "0026", "0034"};
    for (std::size_t c = 1 + m.below(6); c > 0; --c) {
        nlohmann::json& item = items[m.below(items.size())];
        const std::size_t what = m.below(4);
        if (what < 2) item["value"] = values[m.below(std::size(values))];
        if (what == 2) item["type"] = types[m.below(std::size(types))];
        if (what == 3) item["key"] = keys[m.below(std::size(keys))];
    }
    const std::string text = j.dump();
    return {text.begin(), text.end()};
}

TEST(ActionGolden, MutantsAreRefusedWithAReasonOrReplayInRange) {
    std::vector<std::vector<std::uint8_t>> samples;
    for (const char* name : {"action-v48.json", "action-defaults.json", "action-wild.json"})
        samples.push_back(golden::load(name));
    hostile::Mutator m(0xAC7104u);
    std::size_t replays = 0;
    for (std::size_t n = 0; n < 1500; ++n) {
        const auto bytes = n % 2 == 0 ? m.mutate(samples) : mutateItems(m, samples[m.below(samples.size())]);
        RecordedAction action;
        std::string error;
        if (!actionFromJson(std::string(bytes.begin(), bytes.end()), action, error)) {
            ASSERT_FALSE(error.empty()) << n;
            continue;
        }
        ++replays;
        expectScriptedInRange(replayed(action), ", case " + std::to_string(n));
    }
    EXPECT_GT(replays, 100u);
}

}  // namespace
}  // namespace globaro
