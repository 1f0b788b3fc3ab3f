// The projection catalogue: names, families, predicates and keywords.

#include "projection/catalogue.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <set>
#include <string>
#include <vector>
#include "polyhedra/poly_spec.h"
#include "settings/settings_record.h"

namespace globaro {
namespace {

// The catalogue's entries, the internal ids and a few without an entry.
std::vector<ProjectionId> probeIds() {
    std::vector<ProjectionId> out;
    for (ProjectionId id = -2; id <= 1100; ++id) out.push_back(id);
    for (ProjectionId id : {9999, 100334, 100335, 100336, 2147483647}) out.push_back(id);
    return out;
}

template <class Pred>
std::vector<ProjectionId> idsWhere(Pred pred) {
    std::vector<ProjectionId> out;
    for (ProjectionId id : probeIds())
        if (pred(id)) out.push_back(id);
    return out;
}

using Words = std::vector<std::string>;

TEST(Catalogue, InputsAreNumberedInOrderAndOutputNamesAreUnique) {
    for (std::size_t i = 0; i < inputProjections().size(); ++i)
        EXPECT_EQ(inputProjections()[i].id, static_cast<InputProjectionId>(i + 1));
    std::set<std::string_view> names;
    for (const OutputProjectionInfo& row : outputProjections()) EXPECT_TRUE(names.insert(row.name).second) << row.name;
}

TEST(Catalogue, NamesOfIdsWithoutEntry) {
    for (ProjectionId id : {0, -1, 415, 1042, 1045, 100334, 2147483647}) {
        EXPECT_EQ(outputProjectionName(id), "***") << id;
        EXPECT_FALSE(hasOutputEntry(id)) << id;
        EXPECT_EQ(outputShapeWord(id), "") << id;
    }
    for (InputProjectionId id : {0, 39, -2147483647 - 1}) {
        EXPECT_EQ(inputProjectionName(id), "") << id;
        EXPECT_FALSE(hasInputEntry(id)) << id;
    }
}

TEST(Catalogue, InternalIds) {
    for (ProjectionId id : {kFloretMemberOutput, kGoreLayoutOutput, kSpecialRenderProjection}) {
        EXPECT_TRUE(isInternalOutputId(id)) << id;
        ASSERT_NE(findOutputInfo(id), nullptr);
        EXPECT_EQ(findOutputInfo(id)->name, "");
    }
    EXPECT_FALSE(isInternalOutputId(1042));
    EXPECT_FALSE(isInternalOutputId(62));
    EXPECT_TRUE(isFloretFamily(1043));
    EXPECT_TRUE(isGlobeGores(1044));
    EXPECT_EQ(outputKeywords(1043), (Words{"floret"}));
    EXPECT_EQ(outputKeywords(1044), (Words{"globe gores"}));
    EXPECT_EQ(outputKeywords(1045), Words{});
    EXPECT_FALSE(usesPolyModel(1045));
}

TEST(Catalogue, FindByIdOrName) {
    EXPECT_EQ(findOutputProjection("062"), 62);
    EXPECT_EQ(findOutputProjection("Mercator"), 62);
    EXPECT_EQ(findOutputProjection("mERCATOR"), 62);  // letter case does not matter
    for (std::string_view bad : {"", "0", "415", "1043", "-62", "+62", " 62", "62 ", "mercator ", "***",
                                 "99999999999999999999", "2147483648", "6.0"})
        EXPECT_EQ(findOutputProjection(bad), std::nullopt) << bad;
    for (const OutputProjectionInfo& row : outputProjections()) {
        EXPECT_EQ(findOutputProjection(row.name), row.id) << row.name;
        EXPECT_EQ(findOutputProjection(std::to_string(row.id)), row.id);
    }
    EXPECT_EQ(findInputProjection("winkel TRIPEL"), 22);
    for (std::string_view bad : {"", "0", "39", "Winkel-tripel", "-1", "equirectangular "})
        EXPECT_EQ(findInputProjection(bad), std::nullopt) << bad;
    for (const InputProjectionInfo& row : inputProjections()) EXPECT_EQ(findInputProjection(row.name), row.id);
    // A slip of a letter or two finds the nearest name; anything further finds none.
    for (const auto& [text, nearest] : {std::pair<std::string_view, std::string_view>{"Mercatr", "Mercator"},
                                        {"mollwiede", "Mollweide"},
                                        {"Robinsen", "Robinson"},
                                        {"xyz", ""},
                                        {"", ""},
                                        {"Mercator cross star", ""}})
        EXPECT_EQ(nearestOutputName(text), nearest) << text;
    EXPECT_EQ(nearestInputName("equirectangulr"), "equirectangular");
}

TEST(CataloguePredicates, ModelRules) {
    // Never developable when in the floret family, even with a Voronoi shape.
    EXPECT_TRUE(isVoronoiShape(393));
    EXPECT_FALSE(isDevelopable(393));
    // Every exporter and every polyhedron has a model.
    for (ProjectionId id : idsWhere(hasExportableGeometry)) EXPECT_TRUE(isPolyhedral(id)) << id;
    for (ProjectionId id : idsWhere(isPolyhedron)) EXPECT_TRUE(isPolyhedral(id)) << id;
    EXPECT_EQ(idsWhere(usesPolyModel), idsWhere(isPolyhedral));
}

TEST(CataloguePredicates, RegistryNamesEveryPredicateOnce) {
    std::set<std::string_view> names;
    for (const OutputPredicate& p : outputPredicates()) {
        EXPECT_TRUE(names.insert(p.name).second) << p.name;
        ASSERT_NE(p.test, nullptr);
        EXPECT_FALSE(p.test(0)) << p.name;
    }
}

TEST(CatalogueKeywords, EveryOutputObeysTheListRules) {
    for (ProjectionId id : probeIds()) {
        Words raw;
        forEachOutputKeyword(id, [&](std::string_view w) { raw.emplace_back(w); });
        EXPECT_LT(raw.size(), kKeywordListCapacity) << id;
        for (const std::string& w : raw) {
            EXPECT_FALSE(w.empty()) << id;
            EXPECT_LE(w.size(), kKeywordMaxLength) << id;
        }
        EXPECT_EQ(outputKeywords(id), raw) << id;  // nothing dropped: no duplicates, none too long
    }
}

TEST(CatalogueKeywords, ListRules) {
    Words list;
    EXPECT_FALSE(keywordListAccepts(list, ""));
    EXPECT_TRUE(keywordListAccepts(list, std::string(49, 'x')));
    EXPECT_FALSE(keywordListAccepts(list, std::string(50, 'x')));
    list.push_back("conformal");
    EXPECT_FALSE(keywordListAccepts(list, "conformal"));
    EXPECT_TRUE(keywordListAccepts(list, "conform"));
    // The output's words are appended after what is there, without repeats.
    EXPECT_EQ(appendOutputKeywords(62, list), 1u);
    EXPECT_EQ(list, (Words{"conformal", "loximuthal"}));
    // A full list accepts nothing more.
    Words full;
    for (int i = 0; i < 19; ++i) full.push_back("word " + std::to_string(i));
    EXPECT_FALSE(keywordListAccepts(full, "conformal"));
    EXPECT_EQ(appendOutputKeywords(7, full), 0u);
    EXPECT_EQ(full.size(), 19u);
    // Filling up part way: only as many as fit.
    Words nearly(full.begin(), full.begin() + 17);
    EXPECT_EQ(appendOutputKeywords(7, nearly), 2u);
    EXPECT_EQ(nearly.back(), "polyhedron");
}

}  // namespace
}  // namespace globaro
