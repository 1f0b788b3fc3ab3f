// Polyhedron model throughput: net lookups over a 1024 x 512 output grid (the
// forward mapping of a render), inverse lookups over the same grid of
// directions (the "soccer" input), and the time to build a model: a few named
// ones and the biggest of every family.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "polyhedra/poly_model.h"
#include "polyhedra/poly_summary.h"
#include "projection/catalogue.h"
#include "projection/output_mapping.h"

namespace globaro {
namespace {

constexpr int kGridWidth = 1024;
constexpr int kGridHeight = 512;
constexpr int kBandRows = 64;  // rows of one render job
constexpr float kFrameHeight = 0.5f;

struct ModelDeleter {
    void operator()(PolyModel* m) const { releasePolyModel(m); }
};
using ModelPtr = std::unique_ptr<PolyModel, ModelDeleter>;

// The model of the output named `name`, built as a render of the whole net
// builds it; null (with the benchmark marked as failed) when that is not
// possible.
ModelPtr modelFor(benchmark::State& state, const char* name, ProjectionId& id) {
    const auto found = findOutputProjection(name);
    if (!found) {
        state.SkipWithError("no such output projection");
        return nullptr;
    }
    id = *found;
    ModelPtr m(createPolyModel());
    if (m == nullptr) {
        state.SkipWithError("cannot allocate the model");
        return nullptr;
    }
    preparePolyModel(id, *m, kFrameHeight, 0.0f, kFitToFrame, 0.0f, kPolyModeNet, 0, defaultPolyAllocator(), 1);
    if (m->triangleCount == 0) {
        state.SkipWithError("the model has no triangles");
        return nullptr;
    }
    return m;
}

// Output pixels to directions: one job per band of rows, each with its own
// sweep list clipped to the band; the last face hit is the hint.
void BM_NetLookup(benchmark::State& state, const char* name) {
    ProjectionId id = 0;
    ModelPtr m = modelFor(state, name, id);
    if (m == nullptr) return;
    PolyJobState job;
    std::int64_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        for (int band = 0; band < kGridHeight; band += kBandRows) {
            const SweepClip clip{0.0f, 1.0f, kFrameHeight * band / kGridHeight,
                                 kFrameHeight * (band + kBandRows) / kGridHeight, 0.01f};
            buildSweepList(*m, job, &clip);
            int hint = -1;
            for (int row = band; row < band + kBandRows; ++row) {
                const float y = (static_cast<float>(row) + 0.5f) * (kFrameHeight / kGridHeight);
                for (int col = 0; col < kGridWidth; ++col) {
                    const float x = (static_cast<float>(col) + 0.5f) / kGridWidth;
                    SphereDir d;
                    const NetHit hit = netPointToSphere(*m, job, x, y, d, hint);
                    if (hit.kind == NetHitKind::kFace) {
                        hint = hit.triangle;
                        ++hits;
                    }
                    benchmark::DoNotOptimize(d);
                }
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * kGridWidth * kGridHeight);
    state.counters["triangles"] = m->triangleCount;
    state.counters["hitFraction"] = static_cast<double>(hits) / (kGridWidth * kGridHeight);
}

// Directions to net points (the "soccer" input's lookup): an equirectangular
// grid of directions, one job per band with its sweep list and recent hits.
void inverseGrid(benchmark::State& state, const char* name, bool withJob) {
    ProjectionId id = 0;
    ModelPtr m = modelFor(state, name, id);
    if (m == nullptr) return;
    PolyJobState job;
    std::int64_t hits = 0;
    double tried = 0.0;
    for (auto _ : state) {
        hits = 0;
        job.inverseTried = 0;
        for (int band = 0; band < kGridHeight; band += kBandRows) {
            buildSweepList(*m, job);
            job.inverseRecent[0] = job.inverseRecent[1] = -1;
            for (int row = band; row < band + kBandRows; ++row) {
                const double lat = (0.5 - (row + 0.5) / kGridHeight) * 3.141592653589793;
                for (int col = 0; col < kGridWidth; ++col) {
                    const double lon = ((col + 0.5) / kGridWidth - 0.5) * 6.283185307179586;
                    const SphereDir d{static_cast<float>(std::cos(lat) * std::sin(lon)),
                                      static_cast<float>(std::sin(lat)),
                                      static_cast<float>(std::cos(lat) * std::cos(lon))};
                    InverseHit hit;
                    if (inverseLookup(*m, d, withJob ? &job : nullptr, hit)) ++hits;
                    benchmark::DoNotOptimize(hit);
                }
            }
        }
        tried = static_cast<double>(job.inverseTried);
    }
    state.SetItemsProcessed(state.iterations() * kGridWidth * kGridHeight);
    state.counters["triangles"] = m->triangleCount;
    state.counters["hitFraction"] = static_cast<double>(hits) / (kGridWidth * kGridHeight);
    if (withJob) state.counters["triedPerLookup"] = tried / (kGridWidth * kGridHeight);
}

void BM_InverseLookup(benchmark::State& state, const char* name) { inverseGrid(state, name, true); }

// The same without a job: no recent hits, every triangle in index order (what
// the "soccer" input does, as its samples carry no per-worker state).
void BM_InverseLookupNoJob(benchmark::State& state, const char* name) { inverseGrid(state, name, false); }

// A full build of the model of output `id` (the cache is reset each time).
void modelBuild(benchmark::State& state, ProjectionId id, ModelPtr m) {
    if (m == nullptr) return;
    for (auto _ : state) {
        resetPolyModel(*m);
        benchmark::DoNotOptimize(preparePolyModel(id, *m, kFrameHeight, 0.0f, kFitToFrame, 0.0f, kPolyModeNet, 0,
                                                  defaultPolyAllocator(), 1));
    }
    state.counters["faces"] = m->faceCount;
    state.counters["triangles"] = m->triangleCount;
}

void BM_ModelBuild(benchmark::State& state, const char* name) {
    ProjectionId id = 0;
    ModelPtr m = modelFor(state, name, id);
    modelBuild(state, id, std::move(m));
}

void BM_ModelBuildId(benchmark::State& state, ProjectionId id) {
    const std::string key = std::to_string(id);
    modelBuild(state, id, modelFor(state, key.c_str(), id));
}

// The biggest model (most triangles in a whole net) of every family of drawn
// polyhedral outputs, registered as BM_ModelBuild/biggest/FAMILY/ID: these
// are the builds a user waits for when picking the largest solid of a family.
const bool kBiggestModelsRegistered = [] {
    std::map<std::string, std::pair<std::int32_t, ProjectionId>> biggest;  // family: triangles, id
    for (const OutputProjectionInfo& row : outputProjections()) {
        if (!usesPolyModel(row.id) || !outputIsDrawn(row.id)) continue;
        PolyModelSummary summary;
        if (!summarisePolyOutput(row.id, kFrameHeight, summary) || summary.errorCode != kPolyOk) continue;
        auto& best = biggest[std::string(projectionFamilyName(outputFamily(row.id)))];
        if (summary.triangles > best.first) best = {summary.triangles, row.id};
    }
    for (const auto& [family, best] : biggest) {
        const std::string name = "BM_ModelBuild/biggest/" + family + "/" + std::to_string(best.second);
        benchmark::RegisterBenchmark(name.c_str(), BM_ModelBuildId, best.second)->Unit(benchmark::kMillisecond);
    }
    return true;
}();

BENCHMARK_CAPTURE(BM_NetLookup, cube, "cube")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NetLookup, 60_faces, "60 faces")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NetLookup, geodesic_12_5, "geodesic 12 | 5")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_InverseLookup, cube, "cube")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_InverseLookup, 60_faces, "60 faces")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_InverseLookup, geodesic_12_5, "geodesic 12 | 5")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_InverseLookup, soccer_ball, "soccer ball")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_InverseLookupNoJob, soccer_ball, "soccer ball")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ModelBuild, cube, "cube")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ModelBuild, 60_faces, "60 faces")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ModelBuild, geodesic_12_5, "geodesic 12 | 5")->Unit(benchmark::kMicrosecond);
// The largest strip nets: 300 faces, ten strips or six ribbons curling a whole turn.
BENCHMARK_CAPTURE(BM_ModelBuild, Urania, "Urania")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ModelBuild, curlicue_12, "curlicue 12")->Unit(benchmark::kMicrosecond);
// The biggest peels: a long rind, the most pieces, the most faces.
BENCHMARK_CAPTURE(BM_ModelBuild, rind_3, "rind 3")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ModelBuild, pentaskelion, "pentaskelion")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ModelBuild, baseball, "baseball")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ModelBuild, quatretat, "quatretat")->Unit(benchmark::kMicrosecond);
// The largest curved-origami box, the thirtysphere and the longest tattoo
// band: each must build in well under 50 ms.
BENCHMARK_CAPTURE(BM_ModelBuild, YangIcosahedron, "YangIcosahedron")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ModelBuild, thirtysphere, "thirtysphere")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ModelBuild, tattoo_2, "tattoo 2")->Unit(benchmark::kMicrosecond);
// The late solids; boxball computes its outer surface and is the biggest.
BENCHMARK_CAPTURE(BM_ModelBuild, boxball, "boxball")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ModelBuild, rhombic_hexecontahedron_B, "rhombic hexecontahedron B")->Unit(benchmark::kMicrosecond);
// The outer surfaces of the two icosahedral duals; the cinquefoil is the biggest late solid.
BENCHMARK_CAPTURE(BM_ModelBuild, cinquefoil, "cinquefoil")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ModelBuild, rhombicosacron, "rhombicosacron")->Unit(benchmark::kMicrosecond);
// The layered stellation: every cell of thirty planes sorted into its layer.
BENCHMARK_CAPTURE(BM_ModelBuild, sawtooth, "sawtooth")->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace globaro
