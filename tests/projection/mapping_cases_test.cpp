// Every line of tests/data/mapping_cases.txt, and what every input projection must satisfy.

#include <gtest/gtest.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>
#include "output_test_support.h"
#include "polyhedra/sphere_lattice.h"
#include "projection/catalogue.h"
#include "projection/input_projection.h"
#include "support/case_table.h"

namespace globaro {
namespace {

using testing::distance;
using testing::Mapper;

using Case = testing::TextCase;

std::vector<Case> readCases() { return testing::readTextCases(GLOBARO_TEST_DATA "/mapping_cases.txt"); }

SphereDir parseDirection(const std::string& text) {
    SphereDir d{};
    char comma = 0;
    std::istringstream(text) >> d.x >> comma >> d.y >> comma >> d.z;
    return d;
}

void parseSize(const std::string& text, int& w, int& h) {
    char x = 0;
    std::istringstream(text) >> w >> x >> h;
}

// out OUTPUT WxH FOV A B (X,Y,Z TOL | miss) [tag=T]
void checkOutput(const Case& c) {
    int w = 0, h = 0;
    parseSize(c.fields.at(1), w, h);
    Mapper m(std::stoi(c.fields[0]), 1, w, h, static_cast<float>(c.num(2)));
    SphereDir d{};
    const bool hit = m.direction(c.num(3), c.num(4), d);
    const bool wantMiss = c.fields.at(5) == "miss";
    ASSERT_EQ(hit, !wantMiss);
    if (wantMiss) {
        EXPECT_EQ(m.sample(c.num(3), c.num(4)).regionTag, kTagEmpty);
        return;
    }
    EXPECT_LT(distance(d, parseDirection(c.fields[5])), c.num(6)) << d.x << "," << d.y << "," << d.z;
    const std::int32_t tag = m.sample(c.num(3), c.num(4)).regionTag;
    EXPECT_EQ(tag, static_cast<std::int32_t>(c.namedOr("tag", tag)));
}

// in INPUT ASPECT FLIP X,Y,Z (U V TOL | miss U V) [face=F] [region=R] [weight=W]
void checkInput(const Case& c) {
    const bool wantMiss = c.fields.at(4) == "miss";
    const std::size_t at = wantMiss ? 5 : 4;
    const InputSample s = sphereToInput(std::stoi(c.fields[0]), std::stoi(c.fields[2]), static_cast<float>(c.num(1)),
                                        parseDirection(c.fields[3]));
    EXPECT_EQ(s.miss, wantMiss);
    const double tol = wantMiss ? 0.0 : c.num(6);
    EXPECT_NEAR(s.u, c.num(at), tol);
    EXPECT_NEAR(s.v, c.num(at + 1), tol);
    EXPECT_EQ(s.faceIndex, static_cast<int>(c.namedOr("face", -1)));
    EXPECT_EQ(static_cast<std::int32_t>(s.regionCode), static_cast<std::int32_t>(c.namedOr("region", 2)));
    EXPECT_NEAR(s.weight, c.namedOr("weight", s.weight), 1e-4);
}

// pair OUTPUT INPUT WxH FOV TOL [wrap] [aspect=A]
void checkPair(const Case& c) {
    int w = 0, h = 0;
    parseSize(c.fields.at(2), w, h);
    Mapper m(std::stoi(c.fields[0]), std::stoi(c.fields[1]), w, h, static_cast<float>(c.num(3)), w, h);
    if (c.named.contains("aspect")) testing::setExactAspect(*m.ctx, c.namedOr("aspect", 1.0));
    const double tol = c.num(4);
    const bool wraps = c.has("wrap");
    constexpr int kGrid = 48;
    int hits = 0;
    for (int i = 1; i < kGrid; ++i)
        for (int j = 1; j < kGrid; ++j) {
            // Off the exact rims, where a whole circle of positions shows one direction.
            const double a = (i + 0.37) / (kGrid + 1), b = (j + 0.29) / (kGrid + 1);
            const RenderCell cell = m.sample(a, b);
            if (cell.regionTag == kTagEmpty || cell.regionTag <= kTagInputMiss || cell.subTag != 0) continue;
            ++hits;
            const double du = wraps ? testing::wrappedDistance(cell.inputU, a) : std::fabs(cell.inputU - a);
            ASSERT_LT(du, tol) << "at (" << a << ", " << b << "): u " << cell.inputU;
            ASSERT_LT(std::fabs(cell.inputV - b), tol) << "at (" << a << ", " << b << "): v " << cell.inputV;
        }
    EXPECT_GT(hits, kGrid * kGrid / 3);
}

// near OUTPUT WxH FOV A1 B1 A2 B2 TOL
void checkSeam(const Case& c) {
    int w = 0, h = 0;
    parseSize(c.fields.at(1), w, h);
    Mapper m(std::stoi(c.fields[0]), 1, w, h, static_cast<float>(c.num(2)));
    SphereDir d1{}, d2{};
    ASSERT_TRUE(m.direction(c.num(3), c.num(4), d1));
    ASSERT_TRUE(m.direction(c.num(5), c.num(6), d2));
    EXPECT_LT(distance(d1, d2), c.num(7));
}

// rim OUTPUT WxH FOV B TOL
void checkRim(const Case& c) {
    int w = 0, h = 0;
    parseSize(c.fields.at(1), w, h);
    Mapper m(std::stoi(c.fields[0]), 1, w, h, static_cast<float>(c.num(2)));
    SphereDir left{}, right{};
    bool foundLeft = false, foundRight = false;
    for (int i = 0; i < w / 2 && !foundLeft; ++i) foundLeft = m.direction(double(i) / w, c.num(3), left);
    for (int i = 0; i < w / 2 && !foundRight; ++i) foundRight = m.direction(1.0 - double(i) / w, c.num(3), right);
    ASSERT_TRUE(foundLeft && foundRight);
    EXPECT_LT(distance(left, right), c.num(4));
}

// pieces OUTPUT WxH FOV REGIONS [jumps=N]
void checkPieces(const Case& c) {
    int w = 0, h = 0;
    parseSize(c.fields.at(1), w, h);
    Mapper m(std::stoi(c.fields[0]), 1, w, h, static_cast<float>(c.num(2)));
    constexpr int kN = 240;
    struct Point {
        bool hit = false;
        std::int32_t tag = 0;
        SphereDir d{};
    };
    std::vector<Point> above(kN), row(kN);
    std::set<std::int32_t> tags;
    int jumps = 0;
    for (int j = 0; j < kN; ++j) {
        for (int i = 0; i < kN; ++i) {
            const double a = (i + 0.5) / kN, b = (j + 0.5) / kN;
            Point& p = row[i];
            p.hit = m.direction(a, b, p.d);
            if (!p.hit) continue;
            p.tag = m.sample(a, b).regionTag;
            tags.insert(p.tag);
            for (const Point* n : {i > 0 ? &row[i - 1] : nullptr, j > 0 ? &above[i] : nullptr})
                jumps += n != nullptr && n->hit && n->tag == p.tag && distance(n->d, p.d) > 0.2f ? 1 : 0;
        }
        std::swap(above, row);
    }
    EXPECT_EQ(static_cast<int>(tags.size()), c.num(3));
    EXPECT_LE(jumps, c.namedOr("jumps", 0)) << "jumps inside a region";
}

// sym OUTPUT WxH FOV SYMMETRY...
void checkSymmetry(const Case& c) {
    int w = 0, h = 0;
    parseSize(c.fields.at(1), w, h);
    Mapper m(std::stoi(c.fields[0]), 1, w, h, static_cast<float>(c.num(2)));
    for (std::size_t k = 3; k < c.fields.size(); ++k) {
        const std::string& s = c.fields[k];
        const int turn = s.starts_with("turn") ? std::stoi(s.substr(4)) : 0;
        const double t = turn > 0 ? 2.0 * std::numbers::pi / turn : 0.0;
        const float ct = static_cast<float>(std::cos(t)), st = static_cast<float>(std::sin(t));
        int compared = 0, mismatched = 0;
        for (int j = 0; j < 40; ++j)
            for (int i = 0; i < 40; ++i) {
                const double a = (i + 0.5) / 40 - 0.5, b = (j + 0.5) / 40 - 0.5;
                const double a2 = turn > 0 ? a * std::cos(t) - b * std::sin(t) : s == "ud" ? a : -a;
                const double b2 = turn > 0 ? a * std::sin(t) + b * std::cos(t) : s == "ud" ? -b : b;
                SphereDir d, e;
                const bool hit = m.direction(a + 0.5, b + 0.5, d);
                if (hit != m.direction(a2 + 0.5, b2 + 0.5, e)) {
                    ++mismatched;
                    continue;
                }
                if (!hit) continue;
                const SphereDir want = s == "lr"   ? SphereDir{-d.x, d.y, d.z}
                                       : s == "ud" ? SphereDir{d.x, -d.y, d.z}
                                       : s == "ab" ? SphereDir{d.x, d.y, -d.z}
                                                   : SphereDir{d.x * ct - d.y * st, d.x * st + d.y * ct, d.z};
                ASSERT_TRUE(turn > 0 || s == "lr" || s == "ud" || s == "ab") << "unknown symmetry " << s;
                ++compared;
                ASSERT_LT(distance(want, e), 2e-3f) << s << " at " << a + 0.5 << ", " << b + 0.5;
            }
        EXPECT_EQ(mismatched, 0) << s << ": a hit whose image misses";
        EXPECT_GT(compared, 200) << s;
    }
}

// straight OUTPUT WxH FOV COLUMNS ROWS
void checkStraight(const Case& c) {
    int w = 0, h = 0;
    parseSize(c.fields.at(1), w, h);
    Mapper m(std::stoi(c.fields[0]), 1, w, h, static_cast<float>(c.num(2)));
    const int columns = static_cast<int>(c.num(3)), rows = static_cast<int>(c.num(4));
    for (int col = 0; col < columns; ++col)
        for (int row = 0; row < rows; ++row) {
            SphereDir p{}, q{}, r{};
            const auto at = [&](double x, double y, SphereDir& d) {
                return m.direction((col + x) / columns, (row + y) / rows, d);
            };
            ASSERT_TRUE(at(0.1, 0.1, p) && at(0.9, 0.9, q) && at(0.3, 0.3, r));
            EXPECT_NEAR(dot(toVec3d(p), cross(toVec3d(q), toVec3d(r))), 0.0, 1e-5) << "window " << col << ", " << row;
        }
}

// angle OUTPUT WxH A B PERFOV DEGREES
void checkAngle(const Case& c) {
    int w = 0, h = 0;
    parseSize(c.fields.at(1), w, h);
    for (const float fov : {60.0f, 150.0f}) {
        Mapper m(std::stoi(c.fields[0]), 1, w, h, fov);
        SphereDir d{};
        ASSERT_TRUE(m.direction(c.num(2), c.num(3), d));
        const double angle = std::acos(std::clamp(static_cast<double>(d.z), -1.0, 1.0)) * 180.0 / std::numbers::pi;
        EXPECT_NEAR(angle, c.num(4) * fov + c.num(5), 0.5) << "at fov " << fov;
    }
}

// cover OUTPUT WxH FOV whole|part [with=OTHER]
void checkCover(const Case& c) {
    int w = 0, h = 0;
    parseSize(c.fields.at(1), w, h);
    std::array<int, 288> cells{};
    std::vector<ProjectionId> ids{std::stoi(c.fields[0])};
    if (c.named.contains("with")) ids.push_back(static_cast<ProjectionId>(c.namedOr("with", 0)));
    const bool whole = c.fields.at(3) == "whole";
    for (ProjectionId id : ids) {
        Mapper m(id, 1, w, h, static_cast<float>(c.num(2)));
        for (int j = 0; j < h; j += whole ? 1 : 3)
            for (int i = 0; i < w; i += whole ? 1 : 3) {
                SphereDir d;
                if (!m.direction((i + 0.5) / w, (j + 0.5) / h, d)) continue;
                ++cells[std::size_t(testing::equalAreaCell(d))];
            }
    }
    const auto [lo, hi] = std::minmax_element(cells.begin(), cells.end());
    if (!whole) {
        EXPECT_GT(std::count_if(cells.begin(), cells.end(), [](int n) { return n > 0; }), 20);
        return;
    }
    EXPECT_GT(*lo, 0) << "a cell of the sphere is missing";
    // An equal-area map shows every cell about equally often; a direction drawn twice doubles its count.
    EXPECT_TRUE(ids.size() > 1 || !isEqualArea(ids[0]) || *hi < *lo * 1.5) << *lo << " to " << *hi;
}

TEST(MappingCases, EveryLineHolds) {
    std::map<std::string, int> counts;
    for (const Case& c : readCases()) {
        SCOPED_TRACE(::testing::Message()
                     << "mapping_cases.txt:" << c.line << " " << c.kind << " " << c.fields.at(0) << " |" << c.source);
        ++counts[c.kind];
        static const std::map<std::string, void (*)(const Case&)> kCheck = {
            {"out", checkOutput},  {"in", checkInput},      {"pair", checkPair},    {"rim", checkRim},
            {"near", checkSeam},   {"pieces", checkPieces}, {"sym", checkSymmetry}, {"straight", checkStraight},
            {"angle", checkAngle}, {"cover", checkCover}};
        const auto check = kCheck.find(c.kind);
        ASSERT_NE(check, kCheck.end()) << "unknown kind";
        check->second(c);
    }
    EXPECT_GT(counts["out"], 50);
    EXPECT_GT(counts["in"], 100);
    EXPECT_GT(counts["pair"], 10);
}

TEST(MappingCases, EveryInputHasACase) {
    std::map<int, int> cases;
    for (const Case& c : readCases())
        if (c.kind == "in") ++cases[std::stoi(c.fields.at(0))];
    for (const InputProjectionInfo& info : inputProjections()) EXPECT_GT(cases[info.id], 0) << info.id;
}

// What every input projection must do.
class EveryInput : public ::testing::TestWithParam<InputProjectionId> {};

TEST_P(EveryInput, HitsInsideTheImageMirroredByTheFlipAndMarkedMisses) {
    const InputProjectionId id = GetParam();
    int hits = 0;
    for (const SphereDir& d : testing::fibonacciSphere(1500)) {
        for (float aspect : {0.5f, 1.0f}) {
            const InputSample a = sphereToInput(id, 0, aspect, d);
            const InputSample b = sphereToInput(id, 7, aspect, d);
            ASSERT_TRUE(std::isfinite(a.u) && std::isfinite(a.v));
            ASSERT_EQ(a.miss, b.miss);
            EXPECT_EQ(std::tuple(a.faceIndex, a.regionCode, a.v), std::tuple(b.faceIndex, b.regionCode, b.v));
            if (a.miss) {
                EXPECT_EQ(a.faceIndex, -1);
                EXPECT_TRUE(id == 10 || id == kInputSoccer || a.u == -1.0f) << a.u;
                continue;
            }
            ++hits;
            ASSERT_TRUE(a.u >= 0.0f && a.u <= 1.0f && a.v >= 0.0f && a.v <= 1.0f) << a.u << ", " << a.v;
            EXPECT_FLOAT_EQ(b.u, 1.0f - a.u);
            EXPECT_EQ(a.weight >= 0.0f, id == kInputZenithNadir);
            EXPECT_LE(a.weight, 1.0f);
        }
    }
    EXPECT_TRUE(id == kInputSoccer || hits > 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const InputSample s = sphereToInput(id, 1, 0.5f, SphereDir{nan, 0.0f, 1.0f});
    EXPECT_TRUE(s.miss && s.u == -1.0f);
}

std::vector<InputProjectionId> everyInput() {
    std::vector<InputProjectionId> ids;
    for (const InputProjectionInfo& info : inputProjections()) ids.push_back(info.id);
    return ids;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EveryInput, ::testing::ValuesIn(everyInput()),
                         [](const auto& info) { return "input" + std::to_string(info.param); });

}  // namespace
}  // namespace globaro
