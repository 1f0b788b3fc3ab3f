#include "export/net_faces.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "polyhedra/poly_model.h"
#include "polyhedra/poly_spec.h"
#include "projection/catalogue.h"
#include "render/composite.h"
#include "render/render_session.h"

namespace globaro {
namespace {

struct ModelRelease {
    void operator()(PolyModel* model) const noexcept { releasePolyModel(model); }
};

// The net box of a face: its corners in net units (a square render of the
// net spans 0..1 both ways).
struct FaceBox {
    double minX, minY, maxX, maxY;
};

// A face the net draws: at least three corners and triangles of its own.
bool drawnFace(const PolyFace& f) {
    return f.hidden == 0 && f.triangleSpan > 0 && f.cornerCount >= 3 && f.cornerCount <= kPolyMaxCorners;
}

// The export image of one face: red, green, blue and transparency at the
// picture's depth; the render rectangle is the whole picture.
class FaceSink : public RenderSink {
public:
    FaceSink(std::uint8_t* pixels, std::int32_t width, std::int32_t height, int depth, BlendMode glue,
             const std::atomic<bool>* cancel)
        : pixels_(pixels), width_(width), height_(height), depth_(depth), glue_(glue), cancel_(cancel) {}

    bool testAbort() override { return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed); }
    std::int16_t fetchTile(const TileRect&, CompositeTarget& target) override {
        const CompositeRect rect{0, 0, height_, width_};
        const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(width_) * 4 * (depth_ / 8);
        target.renderTarget = kTargetExportImage;
        target.glue = glue_;
        target.output = interleavedGrid(pixels_, rowBytes, 4, depth_, false, 3, rect);
        target.destination = target.output;
        return kRenderOk;
    }

private:
    std::uint8_t* pixels_;
    std::int32_t width_, height_;
    int depth_;
    BlendMode glue_;
    const std::atomic<bool>* cancel_;
};

// Scales the transparency of one row by the face's coverage.
void maskRow(std::uint8_t* row, std::int32_t width, int depth, const float* coverage) {
    for (std::int32_t x = 0; x < width; ++x) {
        const float c = coverage[x];
        if (c >= 1.0f) continue;
        if (depth == 8) {
            std::uint8_t& a = row[static_cast<std::size_t>(x) * 4 + 3];
            a = static_cast<std::uint8_t>(std::lround(a * c));
        } else if (depth == 16) {
            std::uint16_t a;
            std::memcpy(&a, row + static_cast<std::size_t>(x) * 8 + 6, 2);
            a = static_cast<std::uint16_t>(std::lround(a * c));
            std::memcpy(row + static_cast<std::size_t>(x) * 8 + 6, &a, 2);
        } else {
            float a;
            std::memcpy(&a, row + static_cast<std::size_t>(x) * 16 + 12, 4);
            a *= c;
            std::memcpy(row + static_cast<std::size_t>(x) * 16 + 12, &a, 4);
        }
    }
}

}  // namespace

FaceLayoutResult layOutNetFaces(ProjectionId id, std::int32_t faceSize, NetFaceLayout& layout, std::string& error) {
    const std::string named = "output " + std::to_string(id) + " \"" + std::string(outputProjectionName(id)) + "\"";
    if (!isPolyhedral(id)) {
        error = named + " is not a net of faces; faces are exported from polyhedral outputs";
        return FaceLayoutResult::kNoFaces;
    }
    const std::unique_ptr<PolyModel, ModelRelease> model(createPolyModel());
    if (model == nullptr) {
        error = "not enough memory for the net of " + named;
        return FaceLayoutResult::kTooLarge;
    }
    // The net exactly as a square render without glue tabs lays it out.
    preparePolyModel(id, *model, 1.0f, 0.0f, kFitToFrame, 0.0f, kPolyModeNet, 0, defaultPolyAllocator(), 1);
    const PolyModel& m = *model;
    std::vector<FaceBox> boxes;
    std::vector<int> drawn;
    double largest = 0.0, widest = 0.0, tallest = 0.0;
    for (int f = 0; f < std::min(m.faceCount, kPolyMaxFaces); ++f) {
        const PolyFace& face = m.faces[f];
        if (!drawnFace(face)) continue;
        FaceBox box{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                    std::numeric_limits<double>::lowest(), std::numeric_limits<double>::lowest()};
        for (int k = 0; k < face.cornerCount; ++k) {
            const NetVertex& v = m.vertices[std::clamp(face.corners[k], 0, kPolyMaxVertices - 1)];
            box = {std::min<double>(box.minX, v.netX), std::min<double>(box.minY, v.netY),
                   std::max<double>(box.maxX, v.netX), std::max<double>(box.maxY, v.netY)};
        }
        if (!(box.maxX > box.minX) || !(box.maxY > box.minY)) continue;
        widest = std::max(widest, box.maxX - box.minX);
        tallest = std::max(tallest, box.maxY - box.minY);
        boxes.push_back(box);
        drawn.push_back(f);
    }
    largest = std::max(widest, tallest);
    if (drawn.empty() || !(largest > 0.0)) {
        error = named + " has no faces to export";
        return FaceLayoutResult::kNoFaces;
    }
    const double side = std::ceil(faceSize / largest);
    if (side > kMaxNetSide) {
        error = "the faces of " + named + " at " + std::to_string(faceSize) +
                " pixels would be cut from a net too large to render; choose a smaller face size";
        return FaceLayoutResult::kTooLarge;
    }
    layout.output = id;
    layout.netSide = static_cast<std::int32_t>(side);
    layout.width = static_cast<std::int32_t>(std::ceil(widest * side - 1e-6)) + 1;
    layout.height = static_cast<std::int32_t>(std::ceil(tallest * side - 1e-6)) + 1;
    layout.faces.clear();
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        const PolyFace& face = m.faces[drawn[i]];
        const FaceBox& b = boxes[i];
        // The face centred in its picture, on the net render's pixel grid.
        NetFaceWindow w;
        w.left = static_cast<std::int32_t>(std::floor((b.minX + b.maxX) / 2.0 * side - layout.width / 2.0));
        w.top = static_cast<std::int32_t>(std::floor((b.minY + b.maxY) / 2.0 * side - layout.height / 2.0));
        for (int k = 0; k < face.cornerCount; ++k) {
            const NetVertex& v = m.vertices[std::clamp(face.corners[k], 0, kPolyMaxVertices - 1)];
            w.polygon.push_back(v.netX * side - w.left);
            w.polygon.push_back(v.netY * side - w.top);
        }
        layout.faces.push_back(std::move(w));
    }
    return FaceLayoutResult::kOk;
}

void polygonRowCoverage(const std::vector<double>& polygon, std::int32_t y, std::int32_t width, float* coverage) {
    constexpr int kLines = 8;
    std::fill(coverage, coverage + width, 0.0f);
    const std::size_t corners = polygon.size() / 2;
    std::vector<double> crossings;
    for (int line = 0; line < kLines; ++line) {
        const double yy = y + (line + 0.5) / kLines;
        crossings.clear();
        for (std::size_t k = 0; k < corners; ++k) {
            const double x0 = polygon[2 * k], y0 = polygon[2 * k + 1];
            const double x1 = polygon[2 * ((k + 1) % corners)], y1 = polygon[2 * ((k + 1) % corners) + 1];
            if ((y0 <= yy) == (y1 <= yy)) continue;
            crossings.push_back(x0 + (yy - y0) / (y1 - y0) * (x1 - x0));
        }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
            const double a = std::clamp(crossings[i], 0.0, static_cast<double>(width));
            const double b = std::clamp(crossings[i + 1], 0.0, static_cast<double>(width));
            if (!(b > a)) continue;
            const auto first = static_cast<std::int32_t>(a), last = std::min(static_cast<std::int32_t>(b), width - 1);
            for (std::int32_t x = first; x <= last; ++x) {
                const double overlap = std::min<double>(b, x + 1) - std::max<double>(a, x);
                if (overlap > 0.0) coverage[x] += static_cast<float>(overlap / kLines);
            }
        }
    }
}

bool renderNetFace(RenderSession& session, const SettingsRecord& settings, const NetFaceLayout& layout, int index,
                   int depth, std::vector<std::uint8_t>& pixels, const std::atomic<bool>* cancel, std::string& error) {
    const NetFaceWindow& face = layout.faces.at(static_cast<std::size_t>(index));
    const std::size_t rowBytes = static_cast<std::size_t>(layout.width) * 4 * (depth / 8);
    pixels.assign(rowBytes * static_cast<std::size_t>(layout.height), 0);

    auto s = std::make_unique<SettingsRecord>(settings);
    s->outputProjection = layout.output;
    s->tabs = 0.0f;
    s->tabsInteger = 0;
    s->forceTransparent = 1;
    s->exportKind = kExportPolyFaces;
    s->renderTarget = kRenderToExport;
    s->previewStep = 1;
    s->previewTop = 0;
    s->previewLeft = 0;
    RenderPass pass;
    pass.renderTarget = kTargetExportImage;
    pass.renderRect = TileRect{0, 0, layout.height, layout.width};
    pass.outputWidth = layout.netSide;
    pass.outputHeight = layout.netSide;
    pass.originX = static_cast<float>(face.left);
    pass.originY = static_cast<float>(face.top);
    FaceSink sink(pixels.data(), layout.width, layout.height, depth, static_cast<BlendMode>(s->glue), cancel);
    const RenderOutcome outcome = session.render(*s, pass, sink);
    if (outcome.result != kRenderOk || outcome.cancelled) {
        error = outcome.result == kRenderCancelled ? "stopped"
                : outcome.outOfMemory              ? "not enough memory to render a face"
                                                   : "the render stopped with error " + std::to_string(outcome.result);
        return false;
    }
    std::vector<float> coverage(static_cast<std::size_t>(layout.width));
    for (std::int32_t y = 0; y < layout.height; ++y) {
        polygonRowCoverage(face.polygon, y, layout.width, coverage.data());
        maskRow(pixels.data() + rowBytes * static_cast<std::size_t>(y), layout.width, depth, coverage.data());
    }
    return true;
}

}  // namespace globaro
