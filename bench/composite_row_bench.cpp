// Compositing one finished 128 x 128 tile into an 8-bit RGB interleaved host
// tile, as the driver delivers it: pixel by pixel through compositePixel
// against a row at a time through compositeRow, the colours read from the
// tile's cells. Arg 0: every pixel opaque (the usual full-frame output);
// arg 1: every third pixel half transparent (read, blend over the pixel
// already there).
//
// For instruction counts, run under callgrind and read the inclusive cost of
// compositeTilePixelByPixel / compositeTileByRows (one call = one tile):
//   valgrind --tool=callgrind globaro_bench --benchmark_filter=CompositeTile
//            --benchmark_min_time=0.01

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "projection/render_context.h"
#include "render/composite.h"

namespace globaro {
namespace {

constexpr std::int32_t kTile = 128;

struct TileBench {
    std::vector<RenderCell> cells;  // kTile x kTile, row by row
    std::vector<std::uint8_t> in, out;
    CompositeTarget target;

    explicit TileBench(bool someTransparent)
        : cells(static_cast<std::size_t>(kTile) * kTile),
          in(static_cast<std::size_t>(kTile) * kTile * 3, 0x40),
          out(in.size(), 0) {
        for (std::int32_t y = 0; y < kTile; ++y) {
            for (std::int32_t x = 0; x < kTile; ++x) {
                RenderCell& c = cells[static_cast<std::size_t>(y * kTile + x)];
                std::memset(static_cast<void*>(&c), 0, sizeof c);
                c.colour[0] = x / 128.0f;
                c.colour[1] = y / 128.0f;
                c.colour[2] = (x + y) % 7 == 0 ? 1.2f : 0.5f;  // some highlights to spill
                c.colour[3] = someTransparent && (x ^ y) % 3 == 0 ? 0.5f : 1.0f;
            }
        }
        const CompositeRect rect{0, 0, kTile, kTile};
        target.renderTarget = kTargetHostImage;
        target.glue = kBlendNormal;
        target.destination = interleavedGrid(in.data(), kTile * 3, 3, 8, false, -1, rect);
        target.output = interleavedGrid(out.data(), kTile * 3, 3, 8, false, -1, rect);
    }
};

[[gnu::noinline]] void compositeTilePixelByPixel(const TileBench& t) {
    for (std::int32_t y = 0; y < kTile; ++y) {
        for (std::int32_t x = 0; x < kTile; ++x) {
            const RenderCell& cell = t.cells[static_cast<std::size_t>(y * kTile + x)];
            ColorRgba c{cell.colour[0], cell.colour[1], cell.colour[2], cell.colour[3]};
            compositePixel(x, y, c, t.target);
        }
    }
}

[[gnu::noinline]] void compositeTileByRows(const TileBench& t) {
    constexpr std::ptrdiff_t kCellFloats = sizeof(RenderCell) / sizeof(float);
    for (std::int32_t y = 0; y < kTile; ++y) {
        compositeRow(0, y, kTile, t.cells[static_cast<std::size_t>(y * kTile)].colour, kCellFloats, t.target);
    }
}

void BM_CompositeTilePixelByPixel(benchmark::State& state) {
    TileBench t(state.range(0) != 0);
    for (auto _ : state) {
        compositeTilePixelByPixel(t);
        benchmark::ClobberMemory();
    }
    state.counters["Mpx/s"] =
        benchmark::Counter(static_cast<double>(kTile) * kTile / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_CompositeTilePixelByPixel)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_CompositeTileByRows(benchmark::State& state) {
    TileBench t(state.range(0) != 0);
    for (auto _ : state) {
        compositeTileByRows(t);
        benchmark::ClobberMemory();
    }
    state.counters["Mpx/s"] =
        benchmark::Counter(static_cast<double>(kTile) * kTile / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_CompositeTileByRows)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace globaro
