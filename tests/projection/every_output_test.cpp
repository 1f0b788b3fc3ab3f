// What every output must satisfy: clean samples, unit directions, seams, nets, drawn flags.

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>
#include "output_test_support.h"
#include "polyhedra/net_unfold.h"
#include "projection/catalogue.h"
#include "render/pipeline_test_support.h"

namespace globaro {
namespace {

using testing::Mapper;

class EveryOutput : public ::testing::TestWithParam<ProjectionId> {};

// Wide, square and tall canvases; the ordinary field of view and both its ends, views of both poles.
TEST_P(EveryOutput, SamplesAreCleanAndDirectionsAreUnit) {
    const ProjectionId id = GetParam();
    for (const auto& [w, h, fov, latitude] : {std::tuple{300, 150, 120.0f, 0.0f}, std::tuple{200, 200, 0.0f, 90.0f},
                                              std::tuple{150, 300, 180.0f, -90.0f}}) {
        Mapper m(id, 1, w, h, fov, 2000, 1000, latitude);
        const bool mapped = outputHasMapping(*m.ctx);
        constexpr int kGrid = 24;
        for (int i = 0; i <= kGrid; ++i)
            for (int j = 0; j <= kGrid; ++j) {
                const double a = i / double(kGrid), b = j / double(kGrid);
                const RenderCell c = m.sample(a, b);
                ASSERT_FALSE(std::isnan(c.inputU) || std::isnan(c.inputV)) << a << ", " << b;
                const bool outside = !(c.inputU >= 0 && c.inputU <= 1 && c.inputV >= 0 && c.inputV <= 1);
                ASSERT_EQ(c.subTag, outside ? 1u : 0u) << a << ", " << b;
                SphereDir d;
                const bool hit = m.direction(a, b, d);
                ASSERT_TRUE(mapped || (!hit && c.inputU == -1.0f)) << a << ", " << b;
                ASSERT_TRUE(!hit || std::fabs(testing::length(d) - 1.0f) < 1e-4f)
                    << a << ", " << b << " at fov " << fov << ", latitude " << latitude;
            }
    }
}

// Cuts are lines, so few neighbour pairs jump; an open or misturned seam makes bands of jumps.
// A hyperbolic tiling's tiles shrink without bound towards the model's rim: only its middle is
// resolved by the grid.
TEST_P(EveryOutput, JumpsOnlyAlongItsCuts) {
    const ProjectionId id = GetParam();
    Mapper m(id, 1, 400, 400, 90.0f);
    if (!outputHasMapping(*m.ctx)) return;  // nothing to compare
    constexpr int kGrid = 160;
    const bool rimless = findOutputRow(id)->family == ProjectionFamily::kHyperbolicTiling;
    const auto resolved = [&](int i, int j) {
        return !rimless || std::max(std::abs(2 * i - kGrid), std::abs(2 * j - kGrid)) < kGrid / 2;
    };
    std::vector<SphereDir> dirs((kGrid + 1) * (kGrid + 1));
    std::vector<char> hit(dirs.size());
    for (int j = 0; j <= kGrid; ++j)
        for (int i = 0; i <= kGrid; ++i) {
            const std::size_t k = std::size_t(j) * (kGrid + 1) + i;
            hit[k] = m.direction((i + 0.5) / (kGrid + 1.0), (j + 0.5) / (kGrid + 1.0), dirs[k]) ? 1 : 0;
        }
    int pairs = 0, jumps = 0;
    for (int j = 0; j <= kGrid; ++j)
        for (int i = 0; i <= kGrid; ++i) {
            const std::size_t k = std::size_t(j) * (kGrid + 1) + i;
            for (const std::size_t n : {k + 1, k + kGrid + 1}) {
                if ((n == k + 1 && i == kGrid) || n >= dirs.size() || !hit[k] || !hit[n] || !resolved(i, j)) continue;
                ++pairs;
                jumps += testing::distance(dirs[k], dirs[n]) > 0.25f ? 1 : 0;
            }
        }
    if (pairs == 0) return;  // drawn by a sampler of its own
    EXPECT_LT(jumps, pairs / 20) << jumps << " jumps among " << pairs << " neighbouring pairs";
}

// A row of corners gives each corner's tags and input position; outputs without a row path say so.
// A pseudocylindrical output's row form answers, cell for cell, what its routine called corner by
// corner does, also on the rows just inside and outside the top and bottom of its outline (the
// poles): the same tags, and positions within two float roundings.
TEST_P(EveryOutput, RowPathMatchesCornerByCorner) {
    const ProjectionId id = GetParam();
    struct Variant {
        InputProjectionId input;
        std::int32_t flip;
        float turn, step, originX, originY;
    };
    for (const Variant& v : {Variant{1, 0, 0, 1, 0, 0}, Variant{1, 1, 20, 1, 0, 0}, Variant{1, 1, 0, 1, 0, 0},
                             Variant{33, 0, 20, 2.5f, 3, 7}, Variant{27, 1, 0, 1, 0, 0}, Variant{7, 0, 20, 1, 0, 0}}) {
        SettingsRecord s = testing::plainSettings(id, v.input);
        s.latitude = v.turn, s.longitude = 1.5f * v.turn, s.spin = 0.5f * v.turn, s.flip = v.flip;
        constexpr std::int32_t kW = 300, kH = 200, kCount = kW / 2 + 2;
        RenderContext ctx;
        setupRenderContext(ctx, s, RenderSizes{kW, kH, 2000, 1000});
        const OutputImageRecord image = makeOutputImageRecord(kW, kH);
        std::vector<float> rows{-1, 0, 37, kH / 3, kH / 2, kH};
        // The same render with the routine alone, corner by corner.
        const output_detail::PseudoRowForm* form = ctx.entry->pseudoRow;
        OutputRow routineOnly = *ctx.entry;
        routineOnly.pseudoRow = nullptr;
        RenderContext plainCtx = ctx;
        plainCtx.entry = &routineOnly;
        if (form != nullptr) {
            // Where the row form's start changes its answer, the last row on either side of it.
            const auto starts = [&](float y) {
                const OutputPosition p = normalisedOutputPosition(0.0f, y, v.step, v.originX, v.originY, image);
                output_detail::PseudoRow row;
                return form->start(output_detail::OutputCall{ctx, *ctx.entry, p.a, p.b}, row);
            };
            for (float y = -1; y < float(kH); ++y) {
                if (starts(y) == starts(y + 1)) continue;
                float lo = y, hi = y + 1;
                for (int step = 0; step < 40; ++step) {
                    const float mid = 0.5f * (lo + hi);
                    if (mid == lo || mid == hi) break;
                    (starts(mid) == starts(lo) ? lo : hi) = mid;
                }
                rows.insert(rows.end(), {lo, hi});
            }
            ASSERT_GE(rows.size(), 10u) << "the outline's top and bottom not found";
        }
        // One scratch for the rows of a variant, as for the rows of a job.
        MappingScratch scratch;
        for (float x0 : {-1.0f, float(kW / 2 - 1)})
            for (float y : rows) {
                std::vector<RenderCell> row(kCount);
                row[0].regionTag = 12345;
                if (!mapOutputRow(x0, y, kCount, v.step, v.originX, v.originY, image, ctx, row.data(), scratch)) {
                    ASSERT_EQ(row[0].regionTag, 12345) << "a refused row wrote a cell";
                    continue;
                }
                std::vector<RenderCell> plain(kCount);
                if (form != nullptr) {
                    ASSERT_TRUE(mapOutputRow(x0, y, kCount, v.step, v.originX, v.originY, image, plainCtx, plain.data(),
                                             scratch));
                }
                for (std::int32_t i = 0; i < kCount; ++i) {
                    RenderCell want;
                    MappingScratch own;
                    mapOutputSample(x0 + float(i), y, v.step, v.originX, v.originY, image, 0, ctx, want, own);
                    const RenderCell& got = row[i];
                    SCOPED_TRACE(::testing::Message()
                                 << "input " << v.input << " corner (" << x0 + float(i) << ", " << y << ")");
                    ASSERT_TRUE(got.regionTag == want.regionTag && got.pieceTag == want.pieceTag &&
                                got.subTag == want.subTag && got.faceIndex == want.faceIndex);
                    float du = std::fabs(got.inputU - want.inputU);
                    if (v.input == 1) du = std::min(du, 1.0f - du);  // the panorama's seam
                    // Float roundings, grown where a lookup is steep; an input pixel is 1e-3 wide.
                    ASSERT_LT(du, 2e-5f);
                    ASSERT_NEAR(got.inputV, want.inputV, 2e-5f);
                    ASSERT_TRUE(got.weight == want.weight && got.lineValue == want.lineValue &&
                                std::equal(got.normal, got.normal + 3, want.normal));
                    if (form == nullptr) continue;
                    const RenderCell& same = plain[i];
                    ASSERT_TRUE(got.regionTag == same.regionTag && got.pieceTag == same.pieceTag &&
                                got.subTag == same.subTag && got.faceIndex == same.faceIndex &&
                                got.weight == same.weight && got.lineValue == same.lineValue);
                    // Without a turn the row path reads the equirectangular input's position
                    // straight from the row form, not from the direction: two float roundings.
                    float dSame = std::fabs(got.inputU - same.inputU);
                    if (v.input == 1) dSame = std::min(dSame, 1.0f - dSame);
                    ASSERT_LE(dSame, 2.5e-7f);
                    // And near a pole, what the arc cosine of a float height resolves there.
                    const float poleSlack =
                        1.2e-7f / (std::numbers::pi_v<float> *
                                   std::max(std::sin(std::numbers::pi_v<float> * same.inputV), 1e-3f));
                    ASSERT_LE(std::fabs(got.inputV - same.inputV), 2.5e-7f + poleSlack);
                }
            }
    }
}

// Net outlines of the built model, and the solid's edges by their end points.
TEST_P(EveryOutput, PolyhedronNetsAreClosedAndDoNotOverlap) {
    const ProjectionId id = GetParam();
    if (!isPolyhedron(id)) return;
    Mapper m(id, 1, 400, 400);
    const PolyModel& model = *m.model;
    if (model.faceCount == 0) return;  // no model yet: the census checks it draws nothing
    std::vector<std::vector<Vec2d>> outlines;
    using Point = std::tuple<long, long, long>;
    std::map<std::pair<Point, Point>, int> edges;
    auto key = [](const NetVertex& v) {
        return Point{std::lround(v.solidX * 1e4), std::lround(v.solidY * 1e4), std::lround(v.solidZ * 1e4)};
    };
    for (int f = 0; f < model.faceCount; ++f) {
        const PolyFace& face = model.faces[f];
        if (face.hidden) continue;
        std::vector<Vec2d> outline;
        for (int k = 0; k < face.cornerCount; ++k) {
            const NetVertex& v = model.vertices[face.corners[k]];
            const NetVertex& next = model.vertices[face.corners[(k + 1) % face.cornerCount]];
            outline.push_back({v.netX, v.netY});
            ++edges[{key(v), key(next)}];
        }
        outlines.push_back(outline);
    }
    // Closed: every edge of the solid is walked once each way (a family with
    // its own mapping has a flat net that only locates points).
    for (const auto& [edge, count] : edges) {
        if (model.specialMapping != 0) break;
        const auto back = edges.find({edge.second, edge.first});
        ASSERT_TRUE(count == 1 && back != edges.end() && back->second == 1) << "an open or doubled edge";
    }
    for (std::size_t a = 0; a < outlines.size(); ++a)
        for (std::size_t b = a + 1; b < outlines.size(); ++b)
            ASSERT_FALSE(outlinesOverlap(outlines[a], outlines[b], 1e-5)) << "faces " << a << " and " << b;
}

// A small render writes every pixel with numbers and covers some exactly when the output is drawn.
TEST_P(EveryOutput, DrawsExactlyWhenItSaysSo) {
    using namespace testing_support;
    const ProjectionId id = GetParam();
    constexpr std::int32_t kWidth = 32, kHeight = 24;
    static ImagePyramid* pyramid = [] {
        auto* p = new ImagePyramid;
        EXPECT_TRUE(loadPyramid(*p, photographicImage(64, 32), kWrapHorizontal));
        return p;
    }();
    Mapper m(id, 1, kWidth, kHeight, 90.0f, 64, 32);
    const ContextSampleMapping mapping(*m.ctx);
    const SettingsRecord s = testing::plainSettings(id, 1);
    BufferSink sink(kWidth, kHeight);
    ASSERT_EQ(renderInto(
                  makeConfig(mapping, pyramid, kWidth, kHeight, shadingOptionsFor(s, *m.ctx, kTargetExportImage)), sink)
                  .result,
              0);
    int covered = 0;
    for (std::int32_t y = 0; y < kHeight; ++y)
        for (std::int32_t x = 0; x < kWidth; ++x) {
            const float* p = sink.at(x, y);
            ASSERT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]) && p[3] >= 0.0f)
                << "pixel " << x << ", " << y << " not written or not a number";
            covered += p[3] > 0.0f ? 1 : 0;
        }
    EXPECT_EQ(covered > 0, outputIsDrawn(id)) << covered << " pixels covered";
}

// A shaded globe is lit: a grey globe has a bright and a dark side (those with samplers of their own shade
// their own way).
TEST_P(EveryOutput, ShadedGlobesShowTheirLight) {
    const ProjectionId id = GetParam();
    if (shadedGlobe(id) == 0 || hasOutputTrait(id, kTraitShadedRender) || !outputIsDrawn(id)) return;
    Mapper m(id, 1, 384, 256);
    float darkest = 1.0f, brightest = 0.0f;
    for (int j = 0; j < 64; ++j)
        for (int i = 0; i < 96; ++i) {
            const RenderCell cell = m.sample((i + 0.5) / 96, (j + 0.5) / 64);
            float grey[3] = {0.5f, 0.5f, 0.5f};
            if (cell.inputU < 0.0f) continue;
            shadeGlobeColour(*m.ctx, cell, grey);
            darkest = std::min(darkest, grey[0]), brightest = std::max(brightest, grey[0]);
        }
    EXPECT_GT(brightest - darkest, 0.3f);
}

// Conformal outputs keep angles, equal-area ones the area scale, away from cuts.
TEST_P(EveryOutput, KeepsAnglesOrAreasAsFlagged) {
    const ProjectionId id = GetParam();
    const bool conformal = isConformal(id), equalArea = isEqualArea(id);
    if ((!conformal && !equalArea) || !outputIsDrawn(id)) return;
    Mapper m(id, 1, 400, 400);
    constexpr double h = 1e-3;
    std::vector<double> areas;
    int points = 0, skew = 0;
    for (int i = 1; i < 40; ++i)
        for (int j = 1; j < 40; ++j) {
            const double a = (i + 0.31) / 40.0, b = (j + 0.17) / 40.0;
            SphereDir c, l, r, u, d;
            if (!m.direction(a, b, c) || !m.direction(a - h, b, l) || !m.direction(a + h, b, r) ||
                !m.direction(a, b - h, u) || !m.direction(a, b + h, d))
                continue;
            const Vec3d ja = difference(toVec3d(r), toVec3d(l)), jb = difference(toVec3d(d), toVec3d(u));
            const double la = length(ja), lb = length(jb);
            // Away from cuts: both halves of each step about as long.
            const double ra = testing::distance(l, c) / std::max(testing::distance(c, r), 1e-12f);
            const double rb = testing::distance(u, c) / std::max(testing::distance(c, d), 1e-12f);
            if (ra < 0.8 || ra > 1.25 || rb < 0.8 || rb > 1.25 || la < 1e-9 || lb < 1e-9) continue;
            ++points;
            areas.push_back(length(cross(ja, jb)));
            skew += std::fabs(la / lb - 1.0) > 0.02 || std::fabs(dot(ja, jb)) / (la * lb) > 0.02;
        }
    ASSERT_GT(points, 100) << "too few sample points away from cuts";
    EXPECT_TRUE(!conformal || skew < points / 20) << skew << " of " << points << " points are not conformal";
    if (equalArea) {
        std::nth_element(areas.begin(), areas.begin() + long(areas.size() / 2), areas.end());
        const double median = areas[areas.size() / 2];
        const auto off =
            std::count_if(areas.begin(), areas.end(), [&](double s) { return std::fabs(s / median - 1) > 0.02; });
        EXPECT_LT(off, points / 10) << off << " of " << points << " points off the median area scale";
    }
}

std::vector<ProjectionId> everyOutput() {
    std::vector<ProjectionId> ids;
    for (const OutputProjectionInfo& info : outputProjections()) ids.push_back(info.id);
    return ids;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EveryOutput, ::testing::ValuesIn(everyOutput()),
                         [](const auto& info) { return "output" + std::to_string(info.param); });

}  // namespace
}  // namespace globaro
