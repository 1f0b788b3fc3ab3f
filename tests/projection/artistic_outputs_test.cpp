// The artistic outputs: one table of outputs with the pieces each is cut
// into and the symmetries its name implies, checked by shared helpers on a
// fine grid of plane points (no jumps inside a piece, the number of pieces,
// the picture turned or mirrored with the plane).

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "output_test_support.h"

namespace globaro {
namespace {

using testing::Mapper;

// A symmetry of the picture: the plane turned by a 1/`turn` of a full turn
// about its centre turns the direction the same way about the centre (+z);
// or, with `turn` 0, the plane mirrored (`mirrorX`: left and right, else up
// and down) multiplies the direction's components by `signs`.
struct Symmetry {
    int turn;
    bool mirrorX;
    float signs[3];
};

constexpr Symmetry kLeftRight{0, true, {-1, 1, 1}};
constexpr Symmetry kUpDown{0, false, {1, -1, 1}};
constexpr Symmetry kAheadBehind{0, true, {1, 1, -1}};  // mirrored left and right, ahead and behind swap
constexpr Symmetry turns(int n) { return {n, false, {1, 1, 1}}; }

struct ArtisticCase {
    ProjectionId id;
    int pieces;  // region tags at fov 90
    std::vector<Symmetry> symmetries;
};

const ArtisticCase kCases[] = {
    {48, 1, {turns(3), kLeftRight}},   // star 3
    {49, 1, {turns(5), kLeftRight}},   // star 5
    {19, 1, {turns(4)}},               // pinwheel: turned, not mirrored
    {20, 1, {kLeftRight, kUpDown}},    // lozenge
    {22, 1, {kLeftRight, kUpDown}},    // curvy
    {23, 2, {kLeftRight, kUpDown}},    // goggles: two lenses
    {24, 1, {kLeftRight}},             // quasar
    {39, 1, {kAheadBehind, kUpDown}},  // loop
    {40, 2, {kAheadBehind, kUpDown}},  // two circles
    {52, 1, {}},                       // swoop
    {159, 4, {kLeftRight, kUpDown}},   // two cylinders
    {160, 12, {kLeftRight, kUpDown}},  // three cylinders
    {300, 18, {turns(18)}},            // disc sphere A: fov/5 petals
    {301, 1, {turns(18)}},             // disc sphere B: petals joined by the cap
    {288, 18, {kLeftRight}},           // folding sphere
    {63, 8, {turns(8)}},               // umbrella
    {73, 12, {kLeftRight, kUpDown}},   // tunable ellipsoid
    {74, 12, {kLeftRight}},            // tunable egg: not the same up and down
};

constexpr int kGrid = 240;

double at(int i) { return (i + 0.5) / kGrid; }

class ArtisticOutput : public ::testing::TestWithParam<ArtisticCase> {};

TEST_P(ArtisticOutput, ContinuousInsideEachPieceAndCutIntoItsPieces) {
    const ArtisticCase& c = GetParam();
    Mapper m(c.id, 1, 400, 400);
    std::vector<SphereDir> dirs(kGrid * kGrid);
    std::vector<int> tag(dirs.size(), 0);  // 0: a miss
    std::set<int> tags;
    for (int j = 0; j < kGrid; ++j)
        for (int i = 0; i < kGrid; ++i) {
            const int k = j * kGrid + i;
            if (!m.direction(at(i), at(j), dirs[k])) continue;
            const RenderCell cell = m.sample(at(i), at(j));
            tag[k] = cell.regionTag == 0 ? -1 : cell.regionTag;
            tags.insert(tag[k]);
        }
    EXPECT_EQ(static_cast<int>(tags.size()), c.pieces);
    int worst = 0;
    for (int j = 0; j + 1 < kGrid; ++j)
        for (int i = 0; i + 1 < kGrid; ++i) {
            const int k = j * kGrid + i;
            for (const int n : {k + 1, k + kGrid})
                if (tag[k] != 0 && tag[k] == tag[n] && testing::distance(dirs[k], dirs[n]) > 0.2f) ++worst;
        }
    EXPECT_EQ(worst, 0) << "jumps inside a piece";
}

TEST_P(ArtisticOutput, HasTheSymmetriesOfItsName) {
    const ArtisticCase& c = GetParam();
    Mapper m(c.id, 1, 400, 400);
    constexpr int kStep = 6;
    for (const Symmetry& s : c.symmetries) {
        int compared = 0;
        for (int j = 0; j < kGrid; j += kStep)
            for (int i = 0; i < kGrid; i += kStep) {
                const double a = at(i) - 0.5, b = at(j) - 0.5;
                double a2, b2;
                if (s.turn > 0) {
                    const double t = 2.0 * std::numbers::pi / s.turn;
                    a2 = 0.5 + a * std::cos(t) - b * std::sin(t);
                    b2 = 0.5 + a * std::sin(t) + b * std::cos(t);
                } else {
                    a2 = 0.5 + (s.mirrorX ? -a : a);
                    b2 = 0.5 + (s.mirrorX ? b : -b);
                }
                SphereDir d, d2;
                if (!m.direction(a + 0.5, b + 0.5, d) || !m.direction(a2, b2, d2)) continue;
                SphereDir want{d.x * s.signs[0], d.y * s.signs[1], d.z * s.signs[2]};
                if (s.turn > 0) {
                    const float t = 2.0f * std::numbers::pi_v<float> / static_cast<float>(s.turn);
                    want = {d.x * std::cos(t) - d.y * std::sin(t), d.x * std::sin(t) + d.y * std::cos(t), d.z};
                }
                ++compared;
                ASSERT_LT(testing::distance(want, d2), 2e-3f) << "at " << a + 0.5 << ", " << b + 0.5;
            }
        EXPECT_GT(compared, 200);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ArtisticOutput, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return "id" + std::to_string(info.param.id); });

}  // namespace
}  // namespace globaro
