// Hostile recorded descriptors: random keys, wrong types, extreme values,
// NaN and infinite floats, and mutated action files, all offered by the
// standalone host's descriptor store and read back by the module's reader.
// Whatever the descriptor holds, every scripted setting must end within its
// documented range, and the host's descriptor must be disposed of cleanly.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/descriptor_store.h"
#include "host/descriptor_keys.h"
#include "host/scripting_parameters.h"
#include "settings/hostile_mutator.h"
#include "tests/host/descriptor_test_support.h"

namespace globaro {
namespace {

using descriptor_test::freshFilterData;
using descriptor_test::preparedSettings;
using descriptor_test::ScriptingHost;
using hostile::Mutator;

void expectScriptedFieldsInRange(const SettingsRecord& s, std::size_t caseNumber) {
    for (const DescriptorKey& k : descriptorKeys()) {
        const std::string key = fourCharText(k.key);
        const SettingsField& f = *k.field;
        if (f.type == FieldType::kInteger || f.type == FieldType::kBoolean) {
            const std::int32_t v = f.place.integerIn(s);
            if (k.readKind == DescriptorValueKind::kEnumerated) {
                ASSERT_TRUE(v == 0 || k.enumTable->hasId(v)) << key << " = " << v << ", case " << caseNumber;
            } else if (f.range.any()) {
                ASSERT_GE(v, f.range.lo) << key << ", case " << caseNumber;
                ASSERT_LE(v, f.range.hi) << key << ", case " << caseNumber;
            }
            if (k.readKind == DescriptorValueKind::kBoolean || k.readKind == DescriptorValueKind::kBooleanOrInteger) {
                ASSERT_TRUE(v == 0 || v == 1) << key << " = " << v << ", case " << caseNumber;
            }
        } else if (f.type == FieldType::kFloat) {
            const float v = f.place.floatIn(s);
            ASSERT_TRUE(std::isfinite(v)) << key << ", case " << caseNumber;
            ASSERT_GE(v, f.range.lo) << key << ", case " << caseNumber;
            ASSERT_LE(v, f.range.hi) << key << ", case " << caseNumber;
        }
    }
}

// A random value of a random type, with a strong leaning to the edges.
DescriptorValue randomValue(Mutator& m, const DescriptorKey* k) {
    DescriptorValue v;
    const double floats[] = {0.0,
                             -0.0,
                             1.0,
                             -1.0,
                             90.0,
                             -90.0000001,
                             180.0,
                             180.00001,
                             1e10,
                             -1e10,
                             1e300,
                             -1e300,
                             std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::lowest(),
                             std::numeric_limits<double>::quiet_NaN(),
                             -std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::signaling_NaN(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             3.4028235e38,
                             3.4028236e38};
    const std::int32_t integers[] = {0, 1, -1, 2, 3, 7, 8, 69, 70, 150, 151, 255, 256, 4095, 4096, 30000, 30001,
                                     std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
                                     -30000, 1045, 1043, 424, 38};
    // Mostly the type the key expects, often not.
    std::size_t type = m.below(11);
    if (k != nullptr && m.chance(60)) {
        switch (k->readKind) {
            case DescriptorValueKind::kInteger:
            case DescriptorValueKind::kColorChannel: type = 0; break;
            case DescriptorValueKind::kFloat: type = 1; break;
            case DescriptorValueKind::kBoolean: type = 3; break;
            case DescriptorValueKind::kBooleanOrInteger: type = m.chance(50) ? 0 : 3; break;
            case DescriptorValueKind::kEnumerated: type = 6; break;
            case DescriptorValueKind::kIgnored: break;
        }
    }
    v.type = static_cast<DescriptorValueType>(type);
    switch (v.type) {
        case DescriptorValueType::kInteger:
            v.integer = m.chance(70) ? integers[m.below(std::size(integers))] : static_cast<std::int32_t>(m.raw());
            break;
        case DescriptorValueType::kFloat:
        case DescriptorValueType::kUnitFloat:
            v.number = m.chance(80) ? floats[m.below(std::size(floats))]
                                    : (static_cast<double>(m.raw()) - 2147483648.0) / 1000.0;
            v.unit = GLOBARO_FOURCC('#', 'A', 'n', 'g');
            break;
        case DescriptorValueType::kBoolean: v.boolean = m.chance(50); break;
        case DescriptorValueType::kText:
        case DescriptorValueType::kAlias:
            v.bytes = std::string(m.below(40), static_cast<char>(m.raw()));
            break;
        case DescriptorValueType::kEnumerated: {
            const EnumKeyTable* tables[] = {&gridKeyTable(), &glueKeyTable(), &inputKeyTable(), &outputKeyTable()};
            const EnumKeyTable* table =
                k != nullptr && k->enumTable != nullptr && m.chance(70) ? k->enumTable : tables[m.below(4)];
            v.enumType = table->type();
            if (m.chance(60)) {
                // A real key of the table.
                std::vector<DescriptorEnumID> keys;
                table->forEach([&](std::int32_t, DescriptorEnumID key) { keys.push_back(key); });
                v.enumValue = keys[m.below(keys.size())];
            } else {
                const DescriptorEnumID odd[] = {0u, kNoEnumKey, 0xFFFFFFFFu, GLOBARO_FOURCC('K', 'o', '9', '9'),
                                                GLOBARO_FOURCC('K', 'g', 'r', '0'), GLOBARO_FOURCC('K', 'g', 'r', '8'),
                                                m.raw()};
                v.enumValue = odd[m.below(std::size(odd))];
            }
            break;
        }
        case DescriptorValueType::kClass: v.classId = m.raw(); break;
        case DescriptorValueType::kSimpleReference:
            v.reference.desiredClass = m.raw();
            v.reference.keyData.name[0] = static_cast<unsigned char>(m.below(256));
            break;
        case DescriptorValueType::kObject: {
            auto inner = std::make_shared<RecordedDescriptor>();
            inner->put(descriptorKeys()[m.below(descriptorKeys().size())].key, DescriptorValue::makeInteger(-1));
            v.object = inner;
            v.classId = m.raw();
            break;
        }
        case DescriptorValueType::kCount: v.count = m.raw(); break;
    }
    return v;
}

RecordedDescriptor randomDescriptor(Mutator& m) {
    RecordedDescriptor d;
    const std::span<const DescriptorKey> keys = descriptorKeys();
    const std::span<const DescriptorKeyID> readKeys = descriptorReadKeys();
    const std::size_t count = m.chance(5) ? m.below(300) : m.below(60);
    for (std::size_t i = 0; i < count; ++i) {
        DescriptorKeyID key;
        const DescriptorKey* k = nullptr;
        const std::size_t pick = m.below(10);
        if (pick < 7) {
            k = &keys[m.below(keys.size())];
            key = k->key;
        } else if (pick < 8) {
            key = readKeys[m.below(readKeys.size())];
            k = findDescriptorKey(key);
        } else {
            key = m.chance(50) ? m.raw() : 0;
        }
        d.put(key, randomValue(m, k));
    }
    return d;
}

// Reads `descriptor` with the module's reader and checks the outcome.
void readAndCheck(const RecordedDescriptor& descriptor, std::int16_t playInfo, std::size_t caseNumber) {
    ScriptingHost host;
    host.store.offer(descriptor, playInfo);
    SettingsRecord settings = preparedSettings();
    FilterData data = freshFilterData();
    ASSERT_EQ(readDescriptor(&host.record, settings, data), DescriptorReadOutcome::kRead) << caseNumber;
    expectScriptedFieldsInRange(settings, caseNumber);
    EXPECT_EQ(data.dialogRequested, playInfo == plugInDialogDisplay ? 1 : 0);
    EXPECT_EQ(host.store.parameters().descriptor, nullptr);
    EXPECT_EQ(host.store.liveDescriptors(), 0u) << caseNumber;
    EXPECT_EQ(host.store.openReadTokens(), 0u) << caseNumber;
}

TEST(HostileDescriptor, RandomDescriptorsLeaveEverySettingInRange) {
    Mutator m(0xDE5C41u);
    for (std::size_t n = 0; n < 2500; ++n) {
        const RecordedDescriptor d = randomDescriptor(m);
        readAndCheck(d, static_cast<std::int16_t>(m.below(3)), n);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST(HostileDescriptor, EveryKeyWithEveryEdgeValue) {
    // Each scripted key alone, with each edge float and integer, as its own
    // type and as the wrong one.
    const double floats[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(), 1e300, -1e300, 3.5e38, -3.5e38,
                             std::numeric_limits<double>::denorm_min(), -181.0, 181.0};
    const std::int32_t integers[] = {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
                                     -1, 0, 1, 2, 256, 30001};
    std::size_t n = 0;
    for (const DescriptorKey& k : descriptorKeys()) {
        for (double f : floats) {
            RecordedDescriptor d;
            d.put(k.key, DescriptorValue::makeFloat(f));
            readAndCheck(d, plugInDialogDontDisplay, n++);
        }
        for (std::int32_t i : integers) {
            RecordedDescriptor d;
            d.put(k.key, DescriptorValue::makeInteger(i));
            readAndCheck(d, plugInDialogSilent, n++);
            RecordedDescriptor b;
            b.put(k.key, DescriptorValue::makeBoolean(i != 0));
            readAndCheck(b, plugInDialogDisplay, n++);
        }
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// A well-formed action document with some items changed: extreme or
// wrongly typed values, other type names, other keys.
std::vector<std::uint8_t> mutateItems(Mutator& m, const std::vector<std::vector<std::uint8_t>>& samples) {
    const std::vector<std::uint8_t>& sample = samples[m.below(samples.size())];
    nlohmann::json j = nlohmann::json::parse(sample.begin(), sample.end());
    nlohmann::json& items = j["descriptor"];
    const nlohmann::json values[] = {1e308, -1e308, "NaN", "Infinity", "-Infinity", 2147483647, -2147483648LL,
                                     4294967295ULL, 0, -1, 1, true, false, 0.5, -0.0, 255, 256, 30001, "Kp##",
                                     "Kgr9", "abcd", nlohmann::json::array(), nullptr};
    const char* types[] = {"integer", "float", "boolean", "enumerated", "text", "count", "unitFloat"};
    const char* keys[] = {"zzzz", "Klat", "Kfov", "Koky", "Kgrd", "0026"};
    for (std::size_t c = 1 + m.below(6); c > 0 && !items.empty(); --c) {
        nlohmann::json& item = items[m.below(items.size())];
        switch (m.below(4)) {
            case 0:
            case 1: item["value"] = values[m.below(std::size(values))]; break;
            case 2: item["type"] = types[m.below(std::size(types))]; break;
            default: item["key"] = keys[m.below(std::size(keys))]; break;
        }
    }
    const std::string text = j.dump();
    return {text.begin(), text.end()};
}

TEST(HostileDescriptor, MutatedActionFilesReadBackInRange) {
    // Action files recorded from real settings, mutated, loaded as the
    // command line does and replayed.
    std::vector<std::vector<std::uint8_t>> samples;
    for (int variant = 0; variant < 3; ++variant) {
        ScriptingHost host;
        SettingsRecord s = preparedSettings();
        s.latitude = -45.5f + static_cast<float>(variant);
        s.fov = 170.0f;
        s.brickLayers = 140 + variant;
        s.cubeSide = 29999;
        s.glue = 60 + variant;
        ASSERT_TRUE(writeDescriptor(&host.record, s));
        RecordedAction action;
        action.playInfo = static_cast<std::int16_t>(variant);
        action.descriptor = *host.store.current();
        const std::string text = actionToJson(action);
        samples.emplace_back(text.begin(), text.end());
    }
    Mutator m(0xAC7104u);
    std::size_t replayed = 0;
    for (std::size_t n = 0; n < 1500; ++n) {
        // Half the cases damage the bytes; the other half keep the JSON
        // well formed and change values, types and keys of its items.
        const std::vector<std::uint8_t> bytes = n % 2 == 0 ? m.mutate(samples) : mutateItems(m, samples);
        RecordedAction action;
        std::string error;
        if (!actionFromJson(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), action,
                            error)) {
            ASSERT_FALSE(error.empty());
            continue;
        }
        ++replayed;
        readAndCheck(action.descriptor, action.playInfo, n);
        if (::testing::Test::HasFatalFailure()) return;
    }
    EXPECT_GT(replayed, 100u);
}

}  // namespace
}  // namespace globaro
