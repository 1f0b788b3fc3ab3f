// Throughput of the render path: corner mapping per output family, the
// pyramid reductions, the filtered lookups, the shading pass at each quality,
// compositing at each depth, and whole renders of a large synthetic panorama
// through RenderSession (megapixels per second and peak resident memory).

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "geometry/sphere_frame.h"
#include "polyhedra/poly_model.h"
#include "projection/catalogue.h"
#include "projection/render_context.h"
#include "render/composite.h"
#include "render/image_pyramid.h"
#include "render/pixel_pipeline.h"
#include "render/render_session.h"
#include "render/render_setup.h"
#include "settings/settings_record.h"

namespace globaro {
namespace {

// ---- helpers ------------------------------------------------------------------------------

// A smooth, detailed 8-bit RGB panorama (bands of several frequencies, so the
// lookups and reductions see real texture).
std::vector<std::uint8_t> syntheticPanorama(std::int32_t width, std::int32_t height) {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(width) * height * 3);
    constexpr float kTau = 6.2831853f;
    std::vector<float> su(static_cast<std::size_t>(width)), cu(static_cast<std::size_t>(width));
    for (std::int32_t x = 0; x < width; ++x) {
        const float u = (x + 0.5f) / width;
        su[static_cast<std::size_t>(x)] = std::sin(kTau * 37.0f * u);
        cu[static_cast<std::size_t>(x)] = std::cos(kTau * 5.0f * u);
    }
    for (std::int32_t y = 0; y < height; ++y) {
        const float v = (y + 0.5f) / height;
        const float sv = std::sin(9.0f * v), cv = std::cos(21.0f * v);
        std::uint8_t* row = px.data() + static_cast<std::size_t>(y) * width * 3;
        for (std::int32_t x = 0; x < width; ++x) {
            const float a = su[static_cast<std::size_t>(x)], b = cu[static_cast<std::size_t>(x)];
            row[3 * x + 0] = static_cast<std::uint8_t>(127.5f + 60.0f * a * sv + 50.0f * b);
            row[3 * x + 1] = static_cast<std::uint8_t>(127.5f + 70.0f * b * cv + 30.0f * v);
            row[3 * x + 2] = static_cast<std::uint8_t>(127.5f + 40.0f * a + 60.0f * cv);
        }
    }
    return px;
}

SourceImageView viewOf(const std::vector<std::uint8_t>& px, std::int32_t width, std::int32_t height) {
    SourceImageView v;
    v.pixels = px.data();
    v.width = width;
    v.height = height;
    v.rowBytes = static_cast<std::ptrdiff_t>(width) * 3;
    v.channels = 3;
    v.depth = 8;
    return v;
}

SettingsRecord defaultSettings() {
    SettingsRecord s;
    std::memset(static_cast<void*>(&s), 0, sizeof s);
    resetRunState(s);
    resetToDefaults(s);
    s.progressDone = 0;  // no progress reports
    return s;
}

// Peak resident memory of the process in MiB (VmHWM; ru_maxrss when /proc is missing).
double peakResidentMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Starts a new peak (Linux: writing 5 to clear_refs resets VmHWM to the current size).
void resetPeakResident() {
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// A float RGBA export image as the render's target.
class ImageSink : public RenderSink {
public:
    ImageSink(std::int32_t width, std::int32_t height)
        : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height * 4, 0.0f) {}
    std::int16_t fetchTile(const TileRect&, CompositeTarget& target) override {
        target.renderTarget = kTargetExportImage;
        target.glue = kBlendNormal;
        const CompositeRect all{0, 0, height_, width_};
        target.output = interleavedGrid(pixels_.data(), static_cast<std::ptrdiff_t>(width_) * 16, 4, 32, false, 3, all);
        target.destination = target.output;
        return kRenderOk;
    }

private:
    std::int32_t width_, height_;
    std::vector<float> pixels_;
};

struct ModelDeleter {
    void operator()(PolyModel* m) const { releasePolyModel(m); }
};

// One render setup over a small input: context, mapping, pyramid and the
// pipeline configuration, as RenderSession builds them.
struct PipelineFixture {
    std::vector<std::uint8_t> source;
    ImagePyramid pyramid;
    SettingsRecord settings = defaultSettings();
    std::unique_ptr<PolyModel, ModelDeleter> model{createPolyModel()};
    RenderContext ctx;
    std::unique_ptr<ContextSampleMapping> mapping;
    PipelineConfig config;
    std::int32_t outW, outH;
    bool ok = false;

    PipelineFixture(const char* output, std::int32_t outputWidth, std::int32_t outputHeight)
        : outW(outputWidth), outH(outputHeight) {
        constexpr std::int32_t kInW = 2048, kInH = 1024;
        const auto id = findOutputProjection(output);
        if (!id) return;
        settings.outputProjection = *id;
        source = syntheticPanorama(kInW, kInH);
        if (!pyramid.allocate(kInW, kInH, kWrapHorizontal) || !pyramid.storeImage(viewOf(source, kInW, kInH))) return;
        if (buildPyramid(pyramid, 1) != kRenderOk) return;
        RenderSizes sizes{outW, outH, kInW, kInH};
        RenderSetupOptions options;
        options.polyModel = model.get();
        setupRenderContext(ctx, settings, sizes, options);
        mapping = std::make_unique<ContextSampleMapping>(ctx);
        config.mapping = mapping.get();
        config.pyramid = &pyramid;
        config.placement.image = makeOutputImageRecord(outW, outH);
        config.shading = shadingOptionsFor(settings, ctx, kTargetExportImage);
        config.shading.centreCheck = centreCheckNeeded(ctx, config.placement);
        ok = true;
    }

    // A tile state for the 128 x 128 tile at (left, top), ready to map.
    bool prepare(TileState& state, std::int32_t left, std::int32_t top) const {
        const TileRect rect{top, left, std::min(top + kTileSize, outH), std::min(left + kTileSize, outW)};
        if (!state.grid.allocate(rect)) return false;
        tileCornerArea(config, state);
        config.mapping->prepareJob(state);
        return true;
    }
};

// ---- corner mapping per output family -------------------------------------------------------

void BM_CornerMapping(benchmark::State& state, const char* output, std::int32_t w, std::int32_t h) {
    PipelineFixture f(output, w, h);
    if (!f.ok) {
        state.SkipWithError("cannot set the render up");
        return;
    }
    // Tiles across the middle row of the output (nets have gaps at the edges).
    std::vector<TileState> tiles(4);
    for (int i = 0; i < 4; ++i)
        if (!f.prepare(tiles[static_cast<std::size_t>(i)], (w / 4) * i, (h / 2 / kTileSize) * kTileSize)) {
            state.SkipWithError("cannot allocate the tiles");
            return;
        }
    std::int64_t corners = 0;
    for (auto _ : state) {
        for (TileState& t : tiles) {
            mapTileCorners(f.config, t);
            corners += static_cast<std::int64_t>(t.grid.columns - 1) * (t.grid.rows - 1);
        }
        benchmark::ClobberMemory();
    }
    state.counters["corners/s"] = benchmark::Counter(static_cast<double>(corners), benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_CornerMapping, equirectangular, "equirectangular", 2048, 1024)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_CornerMapping, rectilinear, "rectilinear", 1024, 1024)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_CornerMapping, Mollweide, "Mollweide", 2048, 1024)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_CornerMapping, Unity_6_frames, "Unity 6 frames", 3072, 512)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_CornerMapping, icosahedron_net, "icosahedron", 2048, 1024)->Unit(benchmark::kMicrosecond);

// ---- pyramid reductions ------------------------------------------------------------------------

// Level `level` + 1 of a float pyramid, or (`depth` 8) of an 8-bit one: bytes
// at level 0, words above.
void BM_PyramidReduce(benchmark::State& state, bool wideTaps, int depth, int level) {
    constexpr std::int32_t kW = 2048, kH = 1024;
    const auto source = syntheticPanorama(kW, kH);
    ImagePyramid pyramid;
    const PyramidStorage storage = depth == 8 ? pyramidStorageFor(8) : PyramidStorage{};
    if (!pyramid.allocate(kW, kH, kWrapHorizontal, storage) || !pyramid.storeImage(viewOf(source, kW, kH)) ||
        (level > 0 && buildPyramid(pyramid, 1) != kRenderOk)) {
        state.SkipWithError("cannot allocate the pyramid");
        return;
    }
    const PyramidLevel& next = pyramid.level(level + 1);
    const TileRect all{0, 0, next.height, next.width};
    for (auto _ : state) {
        pyramid.reduceTile(level, all, wideTaps);
        benchmark::ClobberMemory();
    }
    state.counters["Mpx/s"] = benchmark::Counter(static_cast<double>(next.width) * next.height / 1e6,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK_CAPTURE(BM_PyramidReduce, whole_pixels, false, 32, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PyramidReduce, interpolated_taps, true, 32, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PyramidReduce, whole_pixels_from_bytes, false, 8, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PyramidReduce, whole_pixels_from_words, false, 8, 1)->Unit(benchmark::kMillisecond);

// ---- filtered lookups ----------------------------------------------------------------------------

struct LookupFixture {
    std::vector<std::uint8_t> source = syntheticPanorama(2048, 1024);
    ImagePyramid pyramid;
    bool ok = pyramid.allocate(2048, 1024, kWrapHorizontal) && pyramid.storeImage(viewOf(source, 2048, 1024)) &&
              buildPyramid(pyramid, 1) == kRenderOk;
};

constexpr int kLookups = 65536;

void BM_Trilinear(benchmark::State& state) {
    LookupFixture f;
    if (!f.ok) {
        state.SkipWithError("cannot build the pyramid");
        return;
    }
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kLookups; ++i) {
            const float u = static_cast<float>((std::int64_t{i} * 7919) % kLookups) / kLookups;
            const float v = static_cast<float>((std::int64_t{i} * 104729) % kLookups) / kLookups;
            sum += sampleTrilinear(f.pyramid, u, v, 1.37f, 0.3f).g;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["lookups/s"] = benchmark::Counter(kLookups, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Trilinear)->Unit(benchmark::kMicrosecond);

// Footprints of a given axis ratio (1: round, one trilinear probe; 8: the probe limit).
void BM_Anisotropic(benchmark::State& state) {
    LookupFixture f;
    if (!f.ok) {
        state.SkipWithError("cannot build the pyramid");
        return;
    }
    const float ratio = static_cast<float>(state.range(0));
    const float minor = 3.0f / 2048.0f;
    Footprint fp;
    fp.du1 = minor * ratio * 0.8f;
    fp.dv1 = minor * ratio * 0.6f * 2.0f;
    fp.du2 = -minor * 0.6f;
    fp.dv2 = minor * 0.8f * 2.0f;
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < kLookups; ++i) {
            const float u = static_cast<float>((std::int64_t{i} * 7919) % kLookups) / kLookups;
            const float v = static_cast<float>((std::int64_t{i} * 104729) % kLookups) / kLookups;
            sum += sampleInput(f.pyramid, u, v, fp, 0.3f).g;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["lookups/s"] = benchmark::Counter(kLookups, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Anisotropic)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);

// ---- the shading pass ------------------------------------------------------------------------------

void BM_Shading(benchmark::State& state, const char* output, std::int32_t w, std::int32_t h) {
    PipelineFixture f(output, w, h);
    if (!f.ok) {
        state.SkipWithError("cannot set the render up");
        return;
    }
    f.config.shading.quality = static_cast<int>(state.range(0));
    TileState tile;
    if (!f.prepare(tile, w / 2, (h / 2 / kTileSize) * kTileSize)) {
        state.SkipWithError("cannot allocate the tile");
        return;
    }
    mapTileCorners(f.config, tile);
    const std::int64_t pixels = static_cast<std::int64_t>(tile.grid.columns - 2) * (tile.grid.rows - 2);
    for (auto _ : state) {
        shadeTile(f.config, tile);
        benchmark::ClobberMemory();
    }
    state.counters["Mpx/s"] =
        benchmark::Counter(static_cast<double>(pixels) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
// 1 good, 2 better, 3 best.
BENCHMARK_CAPTURE(BM_Shading, rectilinear, "rectilinear", 1024, 1024)->DenseRange(1, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Shading, Unity_6_frames, "Unity 6 frames", 3072, 512)
    ->DenseRange(1, 3)
    ->Unit(benchmark::kMicrosecond);

// ---- compositing ------------------------------------------------------------------------------------

void BM_CompositePixel(benchmark::State& state) {
    const int depth = static_cast<int>(state.range(0));
    constexpr std::int32_t kW = 128, kH = 128;
    const int bps = depth / 8;
    std::vector<std::uint8_t> in(static_cast<std::size_t>(kW) * kH * 4 * bps, 0x40);
    std::vector<std::uint8_t> out(in.size(), 0);
    const CompositeRect rect{0, 0, kH, kW};
    CompositeTarget target;
    target.renderTarget = kTargetHostImage;
    target.glue = kBlendNormal;
    target.destination =
        interleavedGrid(in.data(), static_cast<std::ptrdiff_t>(kW) * 4 * bps, 4, depth, false, 3, rect);
    target.output = interleavedGrid(out.data(), static_cast<std::ptrdiff_t>(kW) * 4 * bps, 4, depth, false, 3, rect);
    for (auto _ : state) {
        for (std::int32_t y = 0; y < kH; ++y)
            for (std::int32_t x = 0; x < kW; ++x) {
                ColorRgba c{x / 128.0f, y / 128.0f, 0.5f, (x ^ y) % 3 == 0 ? 0.5f : 1.0f};
                compositePixel(x, y, c, target);
            }
        benchmark::ClobberMemory();
    }
    state.counters["Mpx/s"] =
        benchmark::Counter(static_cast<double>(kW) * kH / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_CompositePixel)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMicrosecond);

// ---- whole renders ------------------------------------------------------------------------------------

constexpr std::int32_t kPanoramaWidth = 8192;
constexpr std::int32_t kPanoramaHeight = 4096;

// The 8192 x 4096 input, loaded once for every whole render.
RenderSession& bigSession(double& loadSeconds, bool& ok) {
    static double seconds = 0.0;
    static bool loaded = false;
    static RenderSession session;
    static bool tried = false;
    if (!tried) {
        tried = true;
        const auto px = syntheticPanorama(kPanoramaWidth, kPanoramaHeight);
        const auto start = std::chrono::steady_clock::now();
        loaded = session.loadInput(viewOf(px, kPanoramaWidth, kPanoramaHeight)) == kRenderOk;
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    loadSeconds = seconds;
    ok = loaded;
    return session;
}

// One whole render of `output` at w x h from the big panorama, with the
// settings `adjust` changes from the defaults.
template <typename Adjust>
void runWholeRender(benchmark::State& state, const char* output, std::int32_t w, std::int32_t h, Adjust adjust) {
    double loadSeconds = 0.0;
    bool ok = false;
    RenderSession& session = bigSession(loadSeconds, ok);
    const auto id = findOutputProjection(output);
    if (!ok || !id) {
        state.SkipWithError("cannot load the panorama or find the output");
        return;
    }
    SettingsRecord s = defaultSettings();
    s.outputProjection = *id;
    adjust(s);
    RenderPass pass;
    pass.renderTarget = kTargetExportImage;  // "best"
    pass.renderRect = TileRect{0, 0, h, w};
    pass.outputWidth = w;
    pass.outputHeight = h;
    resetPeakResident();
    for (auto _ : state) {
        ImageSink sink(w, h);
        const RenderOutcome o = session.render(s, pass, sink);
        if (o.result != kRenderOk) {
            state.SkipWithError("the render failed");
            return;
        }
    }
    state.counters["Mpx/s"] =
        benchmark::Counter(static_cast<double>(w) * h / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["peak_MiB"] = peakResidentMiB();
    state.counters["input_load_s"] = loadSeconds;
}

void BM_WholeRender(benchmark::State& state, const char* output, std::int32_t w, std::int32_t h, float fov) {
    runWholeRender(state, output, w, h, [fov](SettingsRecord& s) {
        if (fov > 0.0f) s.fov = fov;
    });
}
BENCHMARK_CAPTURE(BM_WholeRender, Unity_6_frames_6144x1024, "Unity 6 frames", 6144, 1024, 0.0f)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_WholeRender, rectilinear_2048x2048_90deg, "rectilinear", 2048, 2048, 90.0f)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_WholeRender, Mollweide_4096x2048, "Mollweide", 4096, 2048, 0.0f)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
// A Schwarz–Christoffel star (series and Newton's method per sample) against
// the stereographic view it is meant to stay within three times of.
BENCHMARK_CAPTURE(BM_WholeRender, stereographic_2048x2048, "stereographic", 2048, 2048, 0.0f)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_WholeRender, five_star_2048x2048, "5-star", 2048, 2048, 0.0f)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_WholeRender, sexacunx_2048x2048, "sexacunx", 2048, 2048, 0.0f)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_WholeRender, Lee_tetrahedric_2048x2048, "Lee tetrahedric", 2048, 2048, 0.0f)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_WholeRender, Spilhaus_2048x2048, "Spilhaus", 2048, 2048, 0.0f)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
// The tilings: an elliptic function per sample (hexagon tile) and the
// hyperbolic fold behind a Jacobi model map (the {4,8} square).
BENCHMARK_CAPTURE(BM_WholeRender, hexagon_tile_2048x2048, "hexagon tile", 2048, 2048, 0.0f)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_WholeRender, hyperbolic_4_8_square_2048x2048, "hyperbolic 4,8 square", 2048, 2048, 0.0f)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
// Figures of the general Schwarz–Christoffel solver (the nearest node's
// Taylor series per sample, quadrature near the corners): a cross and the
// trident, which has nineteen corners and no symmetry to share, and the
// waffle, whose outline has thirty-six corners.
BENCHMARK_CAPTURE(BM_WholeRender, cross_2048x2048, "cross", 2048, 2048, 0.0f)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_WholeRender, trident_2048x2048, "trident", 2048, 2048, 0.0f)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_WholeRender, waffle_2048x2048, "waffle", 2048, 2048, 0.0f)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

// The cost of the overlays: the same render plain and with the graticule
// (15 degrees) and the edge lines.
void BM_OverlayRender(benchmark::State& state, const char* output, std::int32_t w, std::int32_t h, bool overlays) {
    runWholeRender(state, output, w, h, [overlays](SettingsRecord& s) {
        if (overlays) {
            s.grid = 5;
            s.edges = 1;
        }
    });
}
BENCHMARK_CAPTURE(BM_OverlayRender, Mollweide_plain, "Mollweide", 2048, 1024, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_OverlayRender, Mollweide_grid_edges, "Mollweide", 2048, 1024, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_OverlayRender, cube_net_plain, "cube", 2048, 1536, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_OverlayRender, cube_net_grid_edges, "cube", 2048, 1536, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace
}  // namespace globaro
