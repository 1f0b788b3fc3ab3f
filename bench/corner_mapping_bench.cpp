// The output mapping alone: `mapOutputSample` over every pixel corner of a
// render (the (w + 2) × (h + 2) corners the pixel pipeline maps), per output
// family, each over an equirectangular input of 8192 × 4096 pixels, and
// `mapOutputRow` a row at a time where a render has a row path (the cube
// layouts). Reports corners per second; for instruction counts run one case under
//   valgrind --tool=callgrind --toggle-collect='globaro::mapOutputSample*'
// with --benchmark_filter and --benchmark_min_time small.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "geometry/sphere_frame.h"
#include "projection/output_mapping.h"
#include "projection/render_context.h"
#include "render/render_setup.h"
#include "settings/settings_record.h"

namespace globaro {
namespace {

struct CornerJob {
    ProjectionId output;
    std::int32_t width, height;
    float fov, longitude, latitude, spin;
};

std::unique_ptr<RenderContext> contextFor(const CornerJob& job) {
    auto settings = std::make_unique<SettingsRecord>();
    std::memset(static_cast<void*>(settings.get()), 0, sizeof(SettingsRecord));
    resetRunState(*settings);
    resetToDefaults(*settings);
    settings->outputProjection = job.output;
    settings->inputProjection = 1;
    settings->fov = job.fov;
    settings->longitude = job.longitude;
    settings->latitude = job.latitude;
    settings->spin = job.spin;
    auto ctx = std::make_unique<RenderContext>();
    setupRenderContext(*ctx, *settings, RenderSizes{job.width, job.height, 8192, 4096});
    return ctx;
}

// Maps every corner of the job's render, corner by corner or (`rows`) a row
// at a time.
void mapCorners(benchmark::State& state, const CornerJob& job, bool rows) {
    const std::unique_ptr<RenderContext> ctx = contextFor(job);
    const OutputImageRecord image = makeOutputImageRecord(job.width, job.height);
    std::vector<RenderCell> row(static_cast<std::size_t>(job.width) + 2);
    MappingScratch scratch;
    std::int64_t corners = 0;
    for (auto _ : state) {
        for (std::int32_t y = -1; y <= job.height; ++y) {
            if (rows) {
                if (!mapOutputRow(-1.0f, static_cast<float>(y), job.width + 2, 1.0f, 0.0f, 0.0f, image, *ctx,
                                  row.data(), scratch)) {
                    state.SkipWithError("no row path for this output");
                    return;
                }
            } else {
                for (std::int32_t x = -1; x <= job.width; ++x)
                    mapOutputSample(static_cast<float>(x), static_cast<float>(y), 1.0f, 0.0f, 0.0f, image,
                                    (static_cast<std::uint32_t>(x) * 7607u) ^ (static_cast<std::uint32_t>(y) * 661u),
                                    *ctx, row[static_cast<std::size_t>(x + 1)], scratch);
            }
            benchmark::DoNotOptimize(row.data());
        }
        corners += static_cast<std::int64_t>(job.width + 2) * (job.height + 2);
        benchmark::ClobberMemory();
    }
    state.counters["corners/s"] = benchmark::Counter(static_cast<double>(corners), benchmark::Counter::kIsRate);
}

void BM_MapOutputSample(benchmark::State& state, CornerJob job) { mapCorners(state, job, false); }
void BM_MapOutputRow(benchmark::State& state, CornerJob job) { mapCorners(state, job, true); }

BENCHMARK_CAPTURE(BM_MapOutputRow, cube_Unity_6_frames, CornerJob{337, 1536, 256, 120.0f, 30.0f, 20.0f, 10.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputRow, cube_Pano2VR_3x2, CornerJob{339, 768, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_CAPTURE(BM_MapOutputSample, cube_Unity_6_frames, CornerJob{337, 1536, 256, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, cube_Facebook_3x2, CornerJob{338, 768, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, cube_Pano2VR_3x2, CornerJob{339, 768, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, rectilinear_fov90, CornerJob{14, 512, 512, 90.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, equirectangular_turned, CornerJob{1, 1024, 512, 120.0f, 30.0f, 20.0f, 10.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, Mollweide, CornerJob{46, 1024, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
// The curved outlines against the stereographic output they are measured by:
// Theodorsen's series (5-floret), a rounded star (calyx 5), a closed form
// (ellipse).
BENCHMARK_CAPTURE(BM_MapOutputSample, stereographic, CornerJob{16, 512, 512, 90.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, floret_5, CornerJob{1040, 512, 512, 90.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, calyx_5, CornerJob{148, 512, 512, 90.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, ellipse, CornerJob{121, 512, 512, 90.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);

// The conformal maps by elliptic functions and Schwarz–Christoffel inverses,
// against the stereographic view they should cost at most three times.
BENCHMARK_CAPTURE(BM_MapOutputSample, stereographic, CornerJob{16, 512, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, sexacunx, CornerJob{95, 512, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, Lee_tetrahedric, CornerJob{106, 512, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, conformal_octahedron, CornerJob{402, 512, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, Spilhaus, CornerJob{410, 512, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, Adams_1, CornerJob{90, 512, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, Peirce_quincunx, CornerJob{94, 512, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, pentagon, CornerJob{98, 512, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, sunburst, CornerJob{158, 512, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
// The tilings against the same stereographic map: the elliptic functions, the
// Schwarz-Christoffel inverse and the hyperbolic fold.
BENCHMARK_CAPTURE(BM_MapOutputSample, tetra_tile, CornerJob{64, 512, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, triangle_tile, CornerJob{368, 512, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, hexagon_tile, CornerJob{370, 512, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, hyperbolic_4_8_square, CornerJob{376, 512, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, hyperbolic_5_4_pentagon, CornerJob{381, 512, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapOutputSample, quilt_5, CornerJob{413, 512, 512, 120.0f, 0.0f, 0.0f, 0.0f})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace globaro
