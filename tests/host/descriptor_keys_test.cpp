// The descriptor vocabulary: key order, read list and enumeration tables.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "host/descriptor_keys.h"

namespace globaro {
namespace {

DescriptorKeyID codeOf(const char* s) { return GLOBARO_FOURCC(s[0], s[1], s[2], s[3]); }

std::vector<std::string> texts(std::span<const DescriptorKeyID> keys) {
    std::vector<std::string> out;
    for (DescriptorKeyID k : keys) out.push_back(fourCharText(k));
    return out;
}

TEST(DescriptorKeys, WriteOrderIsTheRecordedOrder) {
    std::vector<std::string> written;
    for (const DescriptorKey& k : descriptorKeys()) written.push_back(fourCharText(k.key));
    const std::vector<std::string> expected = {
        "Vers", "0001", "0002", "0003", "0004", "0005", "0006", "Kiky", "0008", "0009", "Koky",
        "0011", "hqpr", "0012", "0013", "0014", "GLUE", "0017", "0018", "0019", "0020", "0021",
        "0022", "0023", "0024", "0025", "0026", "0027", "0028", "0029", "0030", "0031", "Kgky",
        "0032", "0033", "0034", "0035", "0036", "0037", "0038", "0039", "0040", "0041", "0042"};
    EXPECT_EQ(written, expected);
    EXPECT_EQ(written.size(), kDescriptorWriteKeyCount);
}

TEST(DescriptorKeys, ReadListHas45KeysWith0015AndIsTerminated) {
    const auto read = descriptorReadKeys();
    ASSERT_EQ(read.size(), 45u);
    EXPECT_EQ(read.data()[45], 0u);  // the terminator just past the span
    const auto names = texts(read);
    EXPECT_EQ(names.front(), "Vers");
    EXPECT_EQ(names[15], "0014");
    EXPECT_EQ(names[16], "0015");
    EXPECT_EQ(names[17], "GLUE");
    EXPECT_EQ(names.back(), "0042");
    // Every written key is asked for, in the same relative order.
    std::vector<std::string> withoutExtra;
    for (const auto& n : names)
        if (n != "0015") withoutExtra.push_back(n);
    std::vector<std::string> written;
    for (const DescriptorKey& k : descriptorKeys()) written.push_back(fourCharText(k.key));
    EXPECT_EQ(withoutExtra, written);
    EXPECT_EQ(findDescriptorKey(fourCharCode("0015")), nullptr);
}

TEST(DescriptorKeys, KindsOfTheSpecialKeys) {
    const DescriptorKey* hqpr = findDescriptorKey(fourCharCode("hqpr"));
    ASSERT_NE(hqpr, nullptr);
    EXPECT_EQ(hqpr->writeKind, DescriptorValueKind::kInteger);
    EXPECT_EQ(hqpr->readKind, DescriptorValueKind::kBooleanOrInteger);
    const DescriptorKey* quality = findDescriptorKey(fourCharCode("0032"));
    ASSERT_NE(quality, nullptr);
    EXPECT_EQ(quality->writeKind, DescriptorValueKind::kInteger);
    EXPECT_EQ(quality->readKind, DescriptorValueKind::kIgnored);
    EXPECT_EQ(findDescriptorKey(fourCharCode("0034"))->writeKind, DescriptorValueKind::kFloat);
    EXPECT_EQ(findDescriptorKey(fourCharCode("0040"))->writeKind, DescriptorValueKind::kColorChannel);
    EXPECT_EQ(findDescriptorKey(fourCharCode("Koky"))->enumTable, &outputKeyTable());
    EXPECT_EQ(findDescriptorKey(fourCharCode("GLUE"))->enumTable, &glueKeyTable());
    EXPECT_EQ(findDescriptorKey(fourCharCode("Kiky"))->enumTable, &inputKeyTable());
    EXPECT_EQ(findDescriptorKey(fourCharCode("Kgky"))->enumTable, &gridKeyTable());
}

void expectTwoWay(const EnumKeyTable& table) {
    std::set<DescriptorEnumID> keys;
    table.forEach([&](std::int32_t id, DescriptorEnumID key) {
        EXPECT_TRUE(keys.insert(key).second) << "duplicate key " << fourCharText(key);
        EXPECT_EQ(table.keyFor(id), key);
        EXPECT_EQ(table.idFor(key), id) << fourCharText(key);
    });
    EXPECT_EQ(static_cast<std::int32_t>(keys.size()), table.size());
    EXPECT_EQ(table.idFor(kNoEnumKey), 0);
    EXPECT_EQ(table.keyFor(0), kNoEnumKey);
    EXPECT_EQ(table.idFor(fourCharCode("ZZZZ")), 0);
}

TEST(EnumKeyTables, AreTwoWayWithUniqueKeys) {
    expectTwoWay(gridKeyTable());
    expectTwoWay(glueKeyTable());
    expectTwoWay(inputKeyTable());
    expectTwoWay(outputKeyTable());
    EXPECT_EQ(fourCharText(gridKeyTable().type()), "Kgty");
    EXPECT_EQ(fourCharText(glueKeyTable().type()), "GLty");
    EXPECT_EQ(fourCharText(inputKeyTable().type()), "Kity");
    EXPECT_EQ(fourCharText(outputKeyTable().type()), "Koty");
}

TEST(EnumKeyTables, GridGlueAndInputKeys) {
    EXPECT_EQ(gridKeyTable().size(), 7);
    EXPECT_EQ(fourCharText(gridKeyTable().keyFor(1)), "Kgr1");
    EXPECT_EQ(fourCharText(gridKeyTable().keyFor(7)), "Kgr7");
    EXPECT_EQ(gridKeyTable().keyFor(8), kNoEnumKey);

    EXPECT_EQ(glueKeyTable().size(), 69);
    EXPECT_EQ(fourCharText(glueKeyTable().keyFor(1)), "GL01");
    EXPECT_EQ(fourCharText(glueKeyTable().keyFor(9)), "GL09");
    EXPECT_EQ(fourCharText(glueKeyTable().keyFor(10)), "GL10");
    EXPECT_EQ(fourCharText(glueKeyTable().keyFor(69)), "GL69");
    EXPECT_EQ(glueKeyTable().keyFor(70), kNoEnumKey);

    EXPECT_EQ(inputKeyTable().size(), 38);
    const std::pair<int, const char*> inputs[] = {{1, "Ki01"},  {16, "Ki16"}, {17, "Ki18"}, {30, "Ki31"},
                                                  {31, "Ki33"}, {32, "Ki32"}, {33, "Ki35"}, {34, "Ki37"},
                                                  {38, "Ki41"}};
    for (const auto& [id, key] : inputs) EXPECT_EQ(fourCharText(inputKeyTable().keyFor(id)), key) << id;
    EXPECT_EQ(inputKeyTable().idFor(fourCharCode("Ki17")), 0);
    EXPECT_EQ(inputKeyTable().idFor(fourCharCode("Ki34")), 0);
    EXPECT_EQ(inputKeyTable().keyFor(39), kNoEnumKey);
}

// The output ids with a key: 1..350, 353..414, 486, 566, 800, 900,
// 1038..1043, 1046 and 1047.
std::set<std::int32_t> expectedOutputIds() {
    std::set<std::int32_t> ids;
    for (int id = 1; id <= 414; ++id)
        if (id != 351 && id != 352) ids.insert(id);
    for (int id : {486, 566, 800, 900, 1038, 1039, 1040, 1041, 1042, 1043, 1046, 1047}) ids.insert(id);
    return ids;
}

TEST(EnumKeyTables, OutputTableCoversExactlyTheRecordedIds) {
    std::set<std::int32_t> ids;
    outputKeyTable().forEach([&](std::int32_t id, DescriptorEnumID) { ids.insert(id); });
    EXPECT_EQ(ids.size(), 424u);
    EXPECT_EQ(ids, expectedOutputIds());
    for (std::int32_t id = -5; id <= 1100; ++id)
        EXPECT_EQ(outputKeyTable().hasListedKey(id), ids.count(id) == 1) << id;
    EXPECT_FALSE(outputKeyTable().hasListedKey(100335));
}

TEST(EnumKeyTables, OutputKeysAtRangeEdges) {
    const std::pair<int, const char*> cases[] = {
        {1, "Ko01"},    {15, "Ko15"},   {16, "Ko70"},   {17, "Ko16"},   {34, "Ko33"},   {35, "KP46"},
        {36, "Ko35"},   {55, "Ko54"},   {56, "Ko56"},   {69, "Ko69"},   {70, "Ko71"},   {98, "Ko99"},
        {99, "Kp00"},   {105, "Kp06"},  {106, "Kp08"},  {116, "Kp18"},  {117, "Kp41"},  {120, "Kp31"},
        {137, "KP45"},  {150, "Kp55"},  {176, "Kp90"},  {177, "Kq00"},  {198, "Kq21"},  {199, "Kr00"},
        {202, "Kr30"},  {203, "Kr40"},  {246, "Kr29"},  {254, "Kr55"},  {255, "Kr62"},  {262, "Kr69"},
        {263, "Kr56"},  {267, "Kr60"},  {268, "Kr70"},  {297, "Kr99"},  {298, "Ks00"},  {301, "Kt34"},
        {303, "Ks04"},  {304, "Kt01"},  {336, "Kt33"},  {350, "Kt50"},  {353, "Kt55"},  {367, "Kt69"},
        {373, "Kt82"},  {382, "Kt80"},  {383, "Kt85"},  {397, "Kt99"},  {398, "Ku00"},  {404, "Ku06"},
        {405, "Ku08"},  {413, "Ku16"},  {414, "Ku18"},  {486, "Kt53"},  {566, "Kt35"},  {800, "Ks05"},
        {900, "Ku17"},  {1038, "Kp34"}, {1041, "Kp37"}, {1042, "Kp88"}, {1043, "Kp##"}, {1046, "Ko55"},
        {1047, "Kp87"},
    };
    for (const auto& [id, key] : cases) {
        EXPECT_EQ(fourCharText(outputKeyTable().keyFor(id)), key) << id;
        EXPECT_EQ(outputKeyTable().idFor(codeOf(key)), id) << key;
    }
}

TEST(EnumKeyTables, OutputIdsWithoutAListedKeyTravelAsHashKeys) {
    // id -> the key written for it ("<NO>" reads back as 0).
    const std::pair<std::int32_t, const char*> written[] = {
        {351, "#05f"}, {352, "#05g"}, {1044, "#0Gq"}, {1045, "#0Gr"}, {100335, "#Q6J"}, {kMaxCarriedId, "#zzz"},
        {0, "<NO>"},   {-1, "<NO>"},  {kMaxCarriedId + 1, "<NO>"},
    };
    for (const auto& [id, key] : written) {
        EXPECT_EQ(fourCharText(outputKeyTable().keyFor(id)), key) << id;
        EXPECT_EQ(outputKeyTable().idFor(codeOf(key)), id > 0 && id <= kMaxCarriedId ? id : 0) << key;
    }
    // The other tables keep "<NO>" for ids they do not list.
    EXPECT_EQ(fourCharText(glueKeyTable().keyFor(70)), "<NO>");
    EXPECT_EQ(fourCharText(inputKeyTable().keyFor(39)), "<NO>");
    EXPECT_EQ(glueKeyTable().idFor(fourCharCode("#01A")), 0);
    // Keys that are not a table's: another table's, a gap in the list, a
    // '#' key of an id that has a listed key, a '#' key with a stray character.
    for (const char* key : {"GL01", "Kp07", "Ko34", "#001", "#05-", "#5 f"})
        EXPECT_EQ(outputKeyTable().idFor(codeOf(key)), 0) << key;
}

}  // namespace
}  // namespace globaro
