// The projection catalogue: lookups over the registry's rows and the
// predicates and keyword rules built on them.

#include "projection/catalogue.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "polyhedra/poly_spec.h"
#include "projection/registry.h"

namespace globaro {
namespace {

constexpr std::size_t kNamedOutputs = static_cast<std::size_t>(kOutputProjectionCount);
constexpr std::span<const OutputProjectionInfo> kNamedOutputRows = kAllOutputRows.first(kNamedOutputs);

struct FamilyName {
    ProjectionFamily family;
    std::string_view name;
};
constexpr FamilyName kFamilyNames[] = {
    {ProjectionFamily::kNone, "none"},
    {ProjectionFamily::kGeodesic, "geodesic"},
    {ProjectionFamily::kSphericon, "sphericon"},
    {ProjectionFamily::kCurlicue, "curlicue"},
    {ProjectionFamily::kHyperbolicTiling, "hyperbolicTiling"},
    {ProjectionFamily::kViews, "views"},
    {ProjectionFamily::kFloretOutputs, "floretOutputs"},
};

char foldCase(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameIgnoringCase(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return foldCase(x) == foldCase(y); });
}

// The row named exactly `name`, else the one named so but for letter case
// (names are distinct either way).
template <typename Rows>
auto byName(const Rows& rows, std::string_view name) noexcept -> std::optional<decltype(rows[0].id)> {
    for (const auto& row : rows)
        if (row.name == name) return row.id;
    for (const auto& row : rows)
        if (sameIgnoringCase(row.name, name)) return row.id;
    return std::nullopt;
}

// Edits (insert, delete, replace, swap of neighbours; letter case ignored)
// that turn a into b, counted up to `cap`.
int editDistance(std::string_view a, std::string_view b, int cap) noexcept {
    constexpr std::size_t kLongest = 64;
    if (a.size() >= kLongest || b.size() >= kLongest) return cap;
    std::array<std::array<int, kLongest>, kLongest> d{};
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = static_cast<int>(i);
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = static_cast<int>(j);
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const int cost = foldCase(a[i - 1]) == foldCase(b[j - 1]) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && foldCase(a[i - 1]) == foldCase(b[j - 2]) && foldCase(a[i - 2]) == foldCase(b[j - 1]))
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return std::min(d[a.size()][b.size()], cap);
}

// The name nearest to `text` when it is near enough to be a slip (at most a
// quarter of its letters, and at least one), else "".
template <typename Rows>
std::string_view nearestName(const Rows& rows, std::string_view text) noexcept {
    const int allowed = std::max<int>(1, static_cast<int>(text.size()) / 4);
    std::string_view best;
    int bestDistance = allowed + 1;
    for (const auto& row : rows) {
        const int d = editDistance(text, row.name, bestDistance);
        if (d < bestDistance) {
            bestDistance = d;
            best = row.name;
        }
    }
    return best;
}

// Parses a whole string of decimal digits; anything else is not an id.
std::optional<std::int32_t> parseDecimalId(std::string_view text) {
    if (text.empty()) return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

struct HyperbolicRow {
    ProjectionId first;  // the disc variant; square, pentagon and band follow
    int p;
    int q;
};
constexpr HyperbolicRow kHyperbolicRows[] = {{371, 3, 9}, {375, 4, 8}, {379, 5, 4}};

struct GeodesicRow {
    ProjectionId first;
    ProjectionId last;
    int baseFaces;
    int firstFrequency;
};
constexpr GeodesicRow kGeodesicRows[] = {
    {177, 180, 4, 2}, {181, 185, 6, 1}, {186, 189, 8, 2}, {190, 194, 12, 1}, {195, 198, 20, 2},
};

// The keyword rules, in the order the words are appended. A rule with a
// fixed word adds it when its predicate holds; a rule without one adds the
// word its function returns (when not empty).
struct KeywordRule {
    std::string_view word;
    bool (*applies)(ProjectionId) noexcept;
    std::string_view (*wordOf)(ProjectionId) noexcept;
};

constexpr KeywordRule kKeywordRules[] = {
    {{}, nullptr, &outputShapeWord},
    {"hyperbolic tiling", &isHyperbolicTiling, nullptr},
    {"conformal", &isConformal, nullptr},
    {"floret", &isFloretFamily, nullptr},
    {"sphericon", &isSphericon, nullptr},
    {"voronoi", &isVoronoiShape, nullptr},
    {"developable", &isDevelopable, nullptr},
    {"origami", &isOrigami, nullptr},
    {"curved origami", &isCurvedOrigami, nullptr},
    {"cubemap", &isCubemap, nullptr},
    {"globe gores", &isGlobeGores, nullptr},
    {"geodesic", &isGeodesicSphere, nullptr},
    {{}, nullptr, &outputThemeWord},
    {"polyhedron", &isPolyhedron, nullptr},
    {"shaded", &isShaded, nullptr},
    {"cylindrical", &isCylindrical, nullptr},
    {"gnomonic", &isGnomonic, nullptr},
    {"equal-area", &isEqualArea, nullptr},
    {"oceans", &showsOceans, nullptr},
    {"rind", &isRind, nullptr},
    {"Steinmetz solid", &isSteinmetzSolid, nullptr},
    {"orthoapsidal", &isOrthoapsidal, nullptr},
    {"circle", &hasCircleOutline, nullptr},
    {"ellipse", &hasEllipseOutline, nullptr},
    {"square", &hasSquareOutline, nullptr},
    {"exportable 3D geometry", &hasExportableGeometry, nullptr},
};

bool hasShadedGlobe(ProjectionId id) noexcept { return shadedGlobe(id) != 0; }

constexpr OutputPredicate kPredicates[] = {
    {"conformal", &isConformal},
    {"circleOutline", &hasCircleOutline},
    {"ellipseOutline", &hasEllipseOutline},
    {"squareOutline", &hasSquareOutline},
    {"shadedGlobe", &hasShadedGlobe},
    {"shaded", &isShaded},
    {"floret", &isFloretFamily},
    {"hyperbolicTiling", &isHyperbolicTiling},
    {"sphericon", &isSphericon},
    {"geodesic", &isGeodesicSphere},
    {"curlicue", &isCurlicue},
    {"views", &isViewsOutput},
    {"voronoi", &isVoronoiShape},
    {"stripNet", &isStripNet},
    {"curvedOrigami", &isCurvedOrigami},
    {"developable", &isDevelopable},
    {"origami", &isOrigami},
    {"cubemap", &isCubemap},
    {"globeGores", &isGlobeGores},
    {"cylindrical", &isCylindrical},
    {"gnomonic", &isGnomonic},
    {"equalArea", &isEqualArea},
    {"oceans", &showsOceans},
    {"rind", &isRind},
    {"steinmetzSolid", &isSteinmetzSolid},
    {"orthoapsidal", &isOrthoapsidal},
    {"exportable3DGeometry", &hasExportableGeometry},
    {"polyhedron", &isPolyhedron},
    {"usesPolyModel", &usesPolyModel},
};

}  // namespace

// ---- Tables and lookups -----------------------------------------------------

std::span<const InputProjectionInfo> inputProjections() noexcept { return kAllInputRows; }

std::span<const OutputProjectionInfo> outputProjections() noexcept { return kNamedOutputRows; }

const InputProjectionInfo* findInputInfo(InputProjectionId id) noexcept { return findInputRow(id); }

const OutputProjectionInfo* findOutputInfo(ProjectionId id) noexcept { return findOutputRow(id); }

bool hasInputEntry(InputProjectionId id) noexcept { return findInputInfo(id) != nullptr; }

bool hasOutputEntry(ProjectionId id) noexcept {
    const OutputProjectionInfo* row = findOutputInfo(id);
    return row != nullptr && !row->has(kTraitInternal);
}

bool isInternalOutputId(ProjectionId id) noexcept {
    const OutputProjectionInfo* row = findOutputInfo(id);
    return row != nullptr && row->has(kTraitInternal);
}

std::string_view inputProjectionName(InputProjectionId id) noexcept {
    const InputProjectionInfo* row = findInputInfo(id);
    return row ? row->name : kUnknownInputName;
}

std::string_view outputProjectionName(ProjectionId id) noexcept {
    const OutputProjectionInfo* row = findOutputInfo(id);
    return (row && !row->name.empty()) ? row->name : kUnknownOutputName;
}

std::string_view outputShapeWord(ProjectionId id) noexcept {
    const OutputProjectionInfo* row = findOutputInfo(id);
    return row ? row->shapeWord : std::string_view{};
}

ProjectionFamily outputFamily(ProjectionId id) noexcept {
    const OutputProjectionInfo* row = findOutputInfo(id);
    return row ? row->family : ProjectionFamily::kNone;
}

std::string_view projectionFamilyName(ProjectionFamily family) noexcept {
    for (const FamilyName& f : kFamilyNames) {
        if (f.family == family) return f.name;
    }
    return "none";
}

std::optional<ProjectionId> findOutputProjection(std::string_view idOrName) noexcept {
    if (const auto id = parseDecimalId(idOrName)) {
        if (hasOutputEntry(*id)) return *id;
        return std::nullopt;
    }
    return byName(kNamedOutputRows, idOrName);
}

std::optional<InputProjectionId> findInputProjection(std::string_view idOrName) noexcept {
    if (const auto id = parseDecimalId(idOrName)) {
        if (hasInputEntry(*id)) return *id;
        return std::nullopt;
    }
    return byName(kAllInputRows, idOrName);
}

std::string_view nearestOutputName(std::string_view text) noexcept { return nearestName(kNamedOutputRows, text); }
std::string_view nearestInputName(std::string_view text) noexcept { return nearestName(kAllInputRows, text); }

// ---- Predicates -----------------------------------------------------------------

bool hasOutputTrait(ProjectionId id, OutputTrait trait) noexcept {
    const OutputProjectionInfo* row = findOutputInfo(id);
    return row != nullptr && row->has(trait);
}

bool isConformal(ProjectionId id) noexcept { return hasOutputTrait(id, kTraitConformal); }
bool hasCircleOutline(ProjectionId id) noexcept { return hasOutputTrait(id, kTraitCircleOutline); }
bool hasEllipseOutline(ProjectionId id) noexcept { return hasOutputTrait(id, kTraitEllipseOutline); }
bool hasSquareOutline(ProjectionId id) noexcept { return hasOutputTrait(id, kTraitSquareOutline); }

int shadedGlobe(ProjectionId id) noexcept {
    const OutputProjectionInfo* row = findOutputInfo(id);
    return row ? row->shadedGlobe : 0;
}

bool isShaded(ProjectionId id) noexcept { return hasOutputTrait(id, kTraitShadedRender) || shadedGlobe(id) != 0; }

bool isFloretFamily(ProjectionId id) noexcept { return hasOutputTrait(id, kTraitFloret); }
bool isHyperbolicTiling(ProjectionId id) noexcept { return outputFamily(id) == ProjectionFamily::kHyperbolicTiling; }
bool isSphericon(ProjectionId id) noexcept { return outputFamily(id) == ProjectionFamily::kSphericon; }
bool isGeodesicSphere(ProjectionId id) noexcept { return outputFamily(id) == ProjectionFamily::kGeodesic; }
bool isCurlicue(ProjectionId id) noexcept { return outputFamily(id) == ProjectionFamily::kCurlicue; }
bool isViewsOutput(ProjectionId id) noexcept { return outputFamily(id) == ProjectionFamily::kViews; }

bool isVoronoiShape(ProjectionId id) noexcept { return polyShapeClassFor(id) == PolyShapeClass::kVoronoi; }

bool isStripNet(ProjectionId id) noexcept { return polyShapeClassFor(id) == PolyShapeClass::kStripNet; }

bool isCurvedOrigami(ProjectionId id) noexcept {
    return hasOutputTrait(id, kTraitCurvedOrigami) || polyShapeClassFor(id) == PolyShapeClass::kCurvedOrigami;
}

bool isDevelopable(ProjectionId id) noexcept {
    if (isFloretFamily(id)) return false;
    return isSphericon(id) || isVoronoiShape(id) || isStripNet(id) || isCurvedOrigami(id) ||
           hasOutputTrait(id, kTraitDevelopable);
}

bool isOrigami(ProjectionId id) noexcept { return hasOutputTrait(id, kTraitOrigami); }
bool isCubemap(ProjectionId id) noexcept { return hasOutputTrait(id, kTraitCubemap); }
bool isGlobeGores(ProjectionId id) noexcept { return hasOutputTrait(id, kTraitGlobeGores); }
bool isCylindrical(ProjectionId id) noexcept { return hasOutputTrait(id, kTraitCylindrical); }
bool isGnomonic(ProjectionId id) noexcept { return hasOutputTrait(id, kTraitGnomonic); }
bool isEqualArea(ProjectionId id) noexcept { return hasOutputTrait(id, kTraitEqualArea); }
bool showsOceans(ProjectionId id) noexcept { return hasOutputTrait(id, kTraitOceans); }
bool isRind(ProjectionId id) noexcept { return hasOutputTrait(id, kTraitRind); }
bool isSteinmetzSolid(ProjectionId id) noexcept { return hasOutputTrait(id, kTraitSteinmetzSolid); }
bool isOrthoapsidal(ProjectionId id) noexcept { return hasOutputTrait(id, kTraitOrthoapsidal); }

bool hasExportableGeometry(ProjectionId id) noexcept {
    if (!isPolyhedral(id)) return false;
    // Floret-family members with a model of their own never export geometry.
    return !hasOutputTrait(id, kTraitNoExportableGeometry) && !isFloretFamily(id);
}

bool isPolyhedron(ProjectionId id) noexcept {
    return hasExportableGeometry(id) && !isSphericon(id) && !isVoronoiShape(id) && !isStripNet(id) &&
           !isCurvedOrigami(id) && !hasOutputTrait(id, kTraitNotPolyhedron);
}

bool usesPolyModel(ProjectionId id) noexcept { return isPolyhedral(id); }

std::string_view outputThemeWord(ProjectionId id) noexcept {
    const OutputProjectionInfo* row = findOutputInfo(id);
    return row ? row->themeWord : std::string_view{};
}

std::span<const OutputPredicate> outputPredicates() noexcept { return kPredicates; }

// ---- Family details ---------------------------------------------------------------

std::optional<HyperbolicTiling> hyperbolicTilingOf(ProjectionId id) noexcept {
    for (const HyperbolicRow& r : kHyperbolicRows) {
        if (id >= r.first && id < r.first + 4) {
            return HyperbolicTiling{r.p, r.q, static_cast<HyperbolicVariant>(id - r.first)};
        }
    }
    return std::nullopt;
}

std::optional<GeodesicSphere> geodesicSphereOf(ProjectionId id) noexcept {
    for (const GeodesicRow& r : kGeodesicRows) {
        if (id >= r.first && id <= r.last) {
            return GeodesicSphere{r.baseFaces, r.firstFrequency + (id - r.first)};
        }
    }
    return std::nullopt;
}

// ---- Keywords -------------------------------------------------------------------------

bool keywordListAccepts(std::span<const std::string> list, std::string_view word) noexcept {
    if (word.empty() || word.size() > kKeywordMaxLength) return false;
    if (list.size() >= kKeywordListCapacity) return false;
    return std::none_of(list.begin(), list.end(), [&](const std::string& w) { return w == word; });
}

void forEachOutputKeyword(ProjectionId id, const std::function<void(std::string_view)>& add) {
    for (const KeywordRule& rule : kKeywordRules) {
        std::string_view word;
        if (rule.wordOf != nullptr) {
            word = rule.wordOf(id);
        } else if (rule.applies(id)) {
            word = rule.word;
        }
        if (!word.empty()) add(word);
    }
}

std::size_t appendOutputKeywords(ProjectionId id, std::vector<std::string>& list) {
    std::size_t taken = 0;
    forEachOutputKeyword(id, [&](std::string_view word) {
        if (keywordListAccepts(list, word)) {
            list.emplace_back(word);
            ++taken;
        }
    });
    return taken;
}

std::vector<std::string> outputKeywords(ProjectionId id) {
    std::vector<std::string> list;
    appendOutputKeywords(id, list);
    return list;
}

}  // namespace globaro
