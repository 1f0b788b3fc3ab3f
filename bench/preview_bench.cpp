// The dialog's preview: one change of the settings on a 8192 x 4096
// panorama, drawn at the preview's scale (a 640 x 320 preview, step 13)
// through RenderSession as the dialog's preview thread draws it: the quick
// pass ("good") and the finished one ("best"). The dialog wants the quick
// pass within 150 ms and the finished preview within 1 s on two cores.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "render/composite.h"
#include "render/pixel_pipeline.h"
#include "render/render_session.h"
#include "settings/settings_record.h"

namespace globaro {
namespace {

constexpr std::int32_t kImageWidth = 8192, kImageHeight = 4096, kStep = 13;
constexpr std::int32_t kPreviewWidth = (kImageWidth + kStep - 1) / kStep,
                       kPreviewHeight = (kImageHeight + kStep - 1) / kStep;

class PlanarPreviewSink : public RenderSink {
public:
    PlanarPreviewSink() : pixels_(static_cast<std::size_t>(kPreviewWidth) * kPreviewHeight * 3) {}
    std::int16_t fetchTile(const TileRect&, CompositeTarget& target) override {
        const std::ptrdiff_t plane = static_cast<std::ptrdiff_t>(kPreviewWidth) * kPreviewHeight;
        target.renderTarget = kTargetPreview;
        target.output =
            planarGrid8(pixels_.data(), kPreviewWidth, plane, 3, CompositeRect{0, 0, kPreviewHeight, kPreviewWidth});
        target.destination = target.output;
        return kRenderOk;
    }

private:
    std::vector<std::uint8_t> pixels_;
};

RenderSession& largeSession() {
    static RenderSession* session = [] {
        std::vector<std::uint8_t> px(static_cast<std::size_t>(kImageWidth) * kImageHeight * 3);
        for (std::size_t i = 0; i < px.size(); ++i) px[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 24);
        auto* s = new RenderSession;
        s->beginInput(kImageWidth, kImageHeight, pyramidStorageFor(8));
        s->storeInput(SourceImageView{px.data(), kImageWidth, kImageHeight, kImageWidth * 3, 3, 8}, 0, 0);
        s->finishInput();
        return s;
    }();
    return *session;
}

void previewPass(benchmark::State& state) {
    RenderSession& session = largeSession();
    SettingsRecord s;
    std::memset(static_cast<void*>(&s), 0, sizeof s);
    resetRunState(s);
    resetToDefaults(s);
    s.renderTarget = kRenderToPreview;
    s.previewStep = kStep;
    s.previewQuality = static_cast<std::int32_t>(state.range(0));
    s.outputProjection = static_cast<ProjectionId>(state.range(1));
    RenderPass pass;
    pass.renderTarget = kTargetPreview;
    pass.renderRect = TileRect{0, 0, kPreviewHeight, kPreviewWidth};
    pass.outputWidth = kImageWidth;
    pass.outputHeight = kImageHeight;
    pass.step = static_cast<float>(kStep);
    PlanarPreviewSink sink;
    float longitude = 0.0f;
    for (auto _ : state) {
        s.longitude = longitude;  // every pass is a change of the view
        longitude = longitude > 170.0f ? -170.0f : longitude + 7.0f;
        benchmark::DoNotOptimize(session.render(s, pass, sink));
    }
}
// Quality good and best, for the equirectangular output, Mollweide (62) and
// the icosahedron net (a polyhedral output).
BENCHMARK(previewPass)
    ->ArgsProduct({{kQualityGood, kQualityBest}, {1, 62, 10}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace globaro
