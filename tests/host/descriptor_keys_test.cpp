// The enumeration keys and the terminology resource against golden files; the tables both ways.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "host/descriptor_keys.h"
#include "host/terminology_resource.h"
#include "projection/catalogue.h"
#include "settings/golden_files.h"

namespace globaro {
namespace {

const EnumKeyTable* const kTables[] = {&gridKeyTable(), &glueKeyTable(), &inputKeyTable(), &outputKeyTable()};

TEST(EnumKeyTables, EveryKeyIsItsGoldenKey) {
    // Every id from 0 to 1100 and a few beyond, with its key ("<NO>" for none).
    std::vector<std::int32_t> ids = {100335, kMaxCarriedId, kMaxCarriedId + 1};
    for (std::int32_t id = -1; id <= 1100; ++id) ids.push_back(id);
    std::string text;
    for (const EnumKeyTable* t : kTables)
        for (std::int32_t id : ids)
            text += fourCharText(t->type()) + " " + std::to_string(id) + " " + fourCharText(t->keyFor(id)) + "\n";
    if (golden::updating()) golden::save("enum-keys.txt", {text.begin(), text.end()});
    const auto bytes = golden::load("enum-keys.txt");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text);
}

TEST(EnumKeyTables, AreTwoWay) {
    for (const EnumKeyTable* t : kTables) {
        std::set<DescriptorEnumID> keys;
        t->forEach([&](std::int32_t id, DescriptorEnumID key) {
            EXPECT_TRUE(keys.insert(key).second) << "duplicate key " << fourCharText(key);
            EXPECT_EQ(t->idFor(key), id) << fourCharText(key);
        });
        EXPECT_EQ(std::pair(static_cast<std::int32_t>(keys.size()), t->idFor(kNoEnumKey)), std::pair(t->size(), 0));
        for (std::int32_t id = -1; id <= 1100; ++id) EXPECT_EQ(t->idFor(t->keyFor(id)), t->hasId(id) ? id : 0) << id;
    }
    // Every catalogue projection has a key, so that it travels through descriptors and action files.
    for (const OutputProjectionInfo& p : outputProjections()) EXPECT_TRUE(outputKeyTable().hasId(p.id)) << p.name;
    for (const InputProjectionInfo& p : inputProjections()) EXPECT_TRUE(inputKeyTable().hasId(p.id)) << p.name;
    // Another table's key, a gap, a '#' key of an id with a listed key, a '#' key with a stray character.
    for (const char* key : {"GL01", "Kp07", "Ko34", "#001", "#05-", "#5 f"})
        EXPECT_EQ(outputKeyTable().idFor(GLOBARO_FOURCC(key[0], key[1], key[2], key[3])), 0) << key;
    EXPECT_EQ(glueKeyTable().idFor(fourCharCode("#01A")), 0);
}

TEST(DescriptorKeys, ReadListIsTheWrittenKeysWith0015AfterFovAndAZero) {
    const auto read = descriptorReadKeys();
    ASSERT_EQ(std::pair(read.size(), descriptorKeys().size()),
              std::pair(kDescriptorReadKeyCount, kDescriptorWriteKeyCount));
    EXPECT_EQ(read.data()[read.size()], 0u);
    std::size_t w = 0;
    for (DescriptorKeyID key : read) {
        if (fourCharText(key) == "0015") {
            EXPECT_EQ(fourCharText(descriptorKeys()[w - 1].key), "0014");
            continue;
        }
        EXPECT_EQ(key, descriptorKeys()[w++].key);
    }
}

TEST(Terminology, IsItsGoldenResourceAndBuiltOnce) {
    const auto bytes = terminologyBytes();
    if (golden::updating()) golden::save("terminology.bin", {bytes.begin(), bytes.end()});
    const auto expected = golden::load("terminology.bin");
    EXPECT_TRUE(std::vector<std::uint8_t>(bytes.begin(), bytes.end()) == expected &&
                terminologyBytes().data() == bytes.data());
}

}  // namespace
}  // namespace globaro
