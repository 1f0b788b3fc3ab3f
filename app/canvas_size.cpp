// The natural canvas of a render, measured through the mapping itself: the
// output is sampled on a coarse grid to find the proportions of what it
// draws, and around the view centre to find how much of the sphere one of
// its pixels covers; the input lookup is differentiated at the input's
// centre to find how many of its pixels a radian holds there.

#include "app/canvas_size.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <optional>

#include "app/document.h"
#include "app/size_text.h"
#include "polyhedra/poly_model.h"
#include "projection/catalogue.h"
#include "projection/input_layouts.h"
#include "projection/input_projection.h"
#include "projection/output_mapping.h"
#include "projection/render_context.h"
#include "render/render_setup.h"
#include "settings/settings_record.h"

namespace globaro {
namespace {

// The long side of the canvases the mapping is measured on, and the grid
// that looks for what the output draws (one sample every 8 pixels).
constexpr std::int32_t kProbeSide = 1024;
constexpr std::int32_t kGridColumns = 128;
// A drawing that fills this much of the canvas each way fills it: the
// output's box gives its proportions exactly.
constexpr double kFillsCanvas = 0.97;
// Steps of the numerical derivatives: half an output pixel, and a thousandth
// of a radian on the input (well above float rounding, well below any
// curvature that matters).
constexpr double kOutputStepPixels = 0.5;
constexpr double kInputStepRadians = 1e-3;
// The least long side of a natural canvas (or the input's, when smaller).
constexpr std::int32_t kLeastLongSide = 64;
constexpr double kMostInputPixels = 4.0;  // a natural canvas holds at most this many times the input's pixels
// An input position that jumps this far for the small step crossed a seam.
constexpr double kSeamJump = 0.05;

// One render's context with the polyhedron model it may need, released on
// every path.
class Probe {
public:
    Probe(const SettingsRecord& settings, std::int32_t width, std::int32_t height, std::int32_t inW, std::int32_t inH)
        : width_(width), height_(height) {
        ctx_ = std::make_unique<RenderContext>();
        RenderSetupOptions setup;
        if (usesPolyModel(settings.outputProjection)) {
            model_ = createPolyModel();
            setup.polyModel = model_;
        }
        setupRenderContext(*ctx_, settings, RenderSizes{width, height, inW, inH}, setup);
        if (model_ != nullptr) {
            job_ = std::make_unique<PolyJobState>();
            buildSweepList(*model_, *job_);
            scratch_.polyJob = job_.get();
        }
    }
    ~Probe() { releasePolyModel(model_); }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    const RenderContext& context() const { return *ctx_; }
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }

    // The direction looked up at (a, b) (after fold and rotation) and the
    // sample's region; nothing when the output shows nothing there.
    std::optional<SphereDir> lookedUp(double a, double b, std::int32_t& region) {
        RenderCell cell{};
        SphereDir d;
        if (!outputToSphere(static_cast<float>(a), static_cast<float>(b), *ctx_, cell, scratch_, &d)) {
            region = cell.regionTag;
            return std::nullopt;
        }
        region = cell.regionTag;
        return d;
    }
    // The direction the output shows at (a, b) before fold and rotation.
    std::optional<SphereDir> shown(double a, double b) {
        SphereDir d;
        if (!outputDirection(static_cast<float>(a), static_cast<float>(b), *ctx_, scratch_, d)) return std::nullopt;
        return d;
    }

private:
    std::int32_t width_, height_;
    PolyModel* model_ = nullptr;
    std::unique_ptr<PolyJobState> job_;
    std::unique_ptr<RenderContext> ctx_;
    MappingScratch scratch_;
};

// What a grid scan of a probe finds: the bounding box of the drawn samples
// (fractions of the canvas) and the sample nearest the view centre.
struct Scan {
    bool any = false;
    double a0 = 1.0, a1 = 0.0, b0 = 1.0, b1 = 0.0;
    double centreA = 0.5, centreB = 0.5;
    double centreDot = -2.0;
};

Scan scanGrid(Probe& probe) {
    Scan scan;
    const double step = static_cast<double>(probe.width()) / kGridColumns;
    const auto rows = std::max<std::int32_t>(1, static_cast<std::int32_t>(std::lround(probe.height() / step)));
    for (std::int32_t j = 0; j < rows; ++j) {
        const double b = (j + 0.5) / rows;
        for (std::int32_t i = 0; i < kGridColumns; ++i) {
            const double a = (i + 0.5) / kGridColumns;
            std::int32_t region = 0;
            const bool drawn = probe.lookedUp(a, b, region).has_value() || region >= kTagFirstTab;
            if (!drawn) continue;
            scan.any = true;
            scan.a0 = std::min(scan.a0, a - 0.5 / kGridColumns);
            scan.a1 = std::max(scan.a1, a + 0.5 / kGridColumns);
            scan.b0 = std::min(scan.b0, b - 0.5 / rows);
            scan.b1 = std::max(scan.b1, b + 0.5 / rows);
            if (const auto d = probe.shown(a, b); d && d->z > scan.centreDot) {
                scan.centreDot = d->z;
                scan.centreA = a;
                scan.centreB = b;
            }
        }
    }
    return scan;
}

// Closes in on the view centre from the grid sample nearest it: steps of
// half the grid spacing, halved whenever no neighbour is nearer.
void refineCentre(Probe& probe, Scan& scan) {
    double stepA = 0.5 / kGridColumns;
    double stepB = stepA * probe.width() / probe.height();
    for (int round = 0; round < 24; ++round) {
        bool moved = false;
        for (const auto& [i, j] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
            const double a = scan.centreA + i * stepA, b = scan.centreB + j * stepB;
            if (a < 0.0 || a > 1.0 || b < 0.0 || b > 1.0) continue;
            if (const auto d = probe.shown(a, b); d && d->z > scan.centreDot) {
                scan.centreDot = d->z;
                scan.centreA = a;
                scan.centreB = b;
                moved = true;
            }
        }
        if (!moved) {
            stepA /= 2.0;
            stepB /= 2.0;
        }
    }
}

double angleBetween(const SphereDir& p, const SphereDir& q) {
    const double cx = static_cast<double>(p.y) * q.z - static_cast<double>(p.z) * q.y;
    const double cy = static_cast<double>(p.z) * q.x - static_cast<double>(p.x) * q.z;
    const double cz = static_cast<double>(p.x) * q.y - static_cast<double>(p.y) * q.x;
    const double dot = static_cast<double>(p.x) * q.x + static_cast<double>(p.y) * q.y + static_cast<double>(p.z) * q.z;
    return std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz), dot);
}

// The solid angle of the small parallelogram spanned at p by q and r
// (radians squared), from the angles of its sides and the one between them.
double spannedArea(const SphereDir& p, const SphereDir& q, const SphereDir& r) {
    const double ex[3] = {q.x - p.x, q.y - p.y, q.z - p.z};
    const double ey[3] = {r.x - p.x, r.y - p.y, r.z - p.z};
    const double c[3] = {ex[1] * ey[2] - ex[2] * ey[1], ex[2] * ey[0] - ex[0] * ey[2], ex[0] * ey[1] - ex[1] * ey[0]};
    const double chordArea = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
    // Chords are a hair shorter than their arcs: scale each side back.
    const double chordToArc = [&] {
        const double a = angleBetween(p, q), b = angleBetween(p, r);
        const double ca = 2.0 * std::sin(a / 2.0), cb = 2.0 * std::sin(b / 2.0);
        return (ca > 0.0 ? a / ca : 1.0) * (cb > 0.0 ? b / cb : 1.0);
    }();
    return chordArea * chordToArc;
}

// The output's radians per pixel at (a, b): the square root of the solid
// angle one pixel covers there. Steps stay within the sample's own region
// (the other way round at a seam). Zero when it cannot be measured.
double outputRadiansPerPixel(Probe& probe, double a, double b) {
    std::int32_t region = 0;
    const auto centre = probe.lookedUp(a, b, region);
    if (!centre) return 0.0;
    const double da = kOutputStepPixels / probe.width(), db = kOutputStepPixels / probe.height();
    auto neighbour = [&](double sa, double sb) -> std::optional<SphereDir> {
        for (const double sign : {1.0, -1.0}) {
            std::int32_t other = 0;
            const auto d = probe.lookedUp(a + sign * sa, b + sign * sb, other);
            if (d && other == region) return d;
        }
        return std::nullopt;
    };
    const auto across = neighbour(da, 0.0), down = neighbour(0.0, db);
    if (!across || !down) return 0.0;
    const double area = spannedArea(*centre, *across, *down);
    const double perPixel = std::sqrt(area / (kOutputStepPixels * kOutputStepPixels));
    return std::isfinite(perPixel) ? perPixel : 0.0;
}

// Where the input shows `d`, in input pixels; nothing on a miss.
std::optional<std::array<double, 2>> inputPixel(InputProjectionId input, float aspect, std::int32_t w, std::int32_t h,
                                                const SphereDir& d) {
    InputSample s = sphereToInput(input, 0, aspect, d);
    if (s.miss || !std::isfinite(s.u) || !std::isfinite(s.v)) return std::nullopt;
    if (s.faceIndex >= 0 && !placeInCubeLayout(input, s.faceIndex, s.u, s.v)) return std::nullopt;
    return std::array<double, 2>{static_cast<double>(s.u) * w, static_cast<double>(s.v) * h};
}

// The input's pixels per radian at the direction `centre` (the square root
// of the pixels one steradian holds there), from steps along the two
// directions `east` and `north` at right angles to it. Zero when it cannot be
// measured there (a miss, a seam on both sides).
double inputPixelsPerRadian(InputProjectionId input, std::int32_t w, std::int32_t h, const Vec3d& centre,
                            const Vec3d& east, const Vec3d& north) {
    const float aspect = static_cast<float>(h) / static_cast<float>(w);
    auto dir = [](const Vec3d& v) {
        return SphereDir{static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
    };
    const auto p0 = inputPixel(input, aspect, w, h, dir(centre));
    if (!p0) return 0.0;
    const double c = std::cos(kInputStepRadians), s = std::sin(kInputStepRadians);
    auto derivative = [&](const Vec3d& towards) -> std::optional<std::array<double, 2>> {
        for (const double sign : {1.0, -1.0}) {
            const Vec3d v{centre.x * c + towards.x * s * sign, centre.y * c + towards.y * s * sign,
                          centre.z * c + towards.z * s * sign};
            const auto p = inputPixel(input, aspect, w, h, dir(v));
            if (!p) continue;
            const double du = ((*p)[0] - (*p0)[0]) * sign, dv = ((*p)[1] - (*p0)[1]) * sign;
            if (std::abs(du) > kSeamJump * w || std::abs(dv) > kSeamJump * h) continue;
            return std::array<double, 2>{du / kInputStepRadians, dv / kInputStepRadians};
        }
        return std::nullopt;
    };
    const auto je = derivative(east), jn = derivative(north);
    if (!je || !jn) return 0.0;
    const double det = std::abs((*je)[0] * (*jn)[1] - (*je)[1] * (*jn)[0]);
    const double perRadian = std::sqrt(det);
    return std::isfinite(perRadian) ? perRadian : 0.0;
}

// The input's centre is the direction +z; an input that does not show it
// (or has a seam there) is measured at the first of the other axes it shows.
double inputCentreDensity(InputProjectionId input, std::int32_t w, std::int32_t h) {
    struct Frame {
        Vec3d centre, east, north;
    };
    const Frame frames[] = {
        {{0, 0, 1}, {-1, 0, 0}, {0, 1, 0}},  {{0, 0, -1}, {1, 0, 0}, {0, 1, 0}},  {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
        {{-1, 0, 0}, {0, 0, -1}, {0, 1, 0}}, {{0, 1, 0}, {-1, 0, 0}, {0, 0, -1}}, {{0, -1, 0}, {-1, 0, 0}, {0, 0, 1}},
    };
    for (const Frame& f : frames) {
        if (const double d = inputPixelsPerRadian(input, w, h, f.centre, f.east, f.north); d > 0.0) return d;
    }
    return 0.0;
}

std::pair<std::int32_t, std::int32_t> probeSides(double aspect) {
    const double a = std::clamp(aspect, 1.0 / kGridColumns, static_cast<double>(kGridColumns));
    if (a >= 1.0)
        return {kProbeSide, std::max<std::int32_t>(8, static_cast<std::int32_t>(std::lround(kProbeSide / a)))};
    return {std::max<std::int32_t>(8, static_cast<std::int32_t>(std::lround(kProbeSide * a))), kProbeSide};
}

std::string sizeText(std::int64_t w, std::int64_t h) { return std::to_string(w) + "x" + std::to_string(h); }

}  // namespace

CanvasMeasure canvasMeasureFor(const CanvasSpec& spec) {
    if (spec.width == 0 && spec.height == 0) return CanvasMeasure::kSize;
    return spec.width != 0 && spec.height != 0 ? CanvasMeasure::kAspectAndFill : CanvasMeasure::kAspect;
}

NaturalCanvas naturalCanvas(const SettingsRecord& settings, std::int32_t inputWidth, std::int32_t inputHeight,
                            CanvasMeasure measure) {
    NaturalCanvas n;
    const std::int32_t inW = std::max(inputWidth, 1), inH = std::max(inputHeight, 1);

    // 1. The proportions of the output's box.
    double boxAspect = 1.0;
    {
        Probe square(settings, kProbeSide, kProbeSide, inW, inH);
        const ViewFrame& f = square.context().frame;
        if (f.width > 0.0 && f.height > 0.0 && std::isfinite(f.width / f.height)) boxAspect = f.width / f.height;
    }
    // 2. On a canvas of those proportions, what the output really draws: a
    //    net laid out in a square box may be wider than tall.
    auto [w0, h0] = probeSides(boxAspect);
    n.aspect = boxAspect;
    {
        Probe boxed(settings, w0, h0, inW, inH);
        const Scan scan = scanGrid(boxed);
        const double spanA = scan.a1 - scan.a0, spanB = scan.b1 - scan.b0;
        if (scan.any && (spanA < kFillsCanvas || spanB < kFillsCanvas)) n.aspect = spanA * w0 / (spanB * h0);
    }
    // The input's pixel count at the output's proportions, unless the
    // density is measured below.
    const double pixels = static_cast<double>(inW) * inH;
    n.width = std::sqrt(pixels * n.aspect);
    n.height = n.width / n.aspect;
    if (measure == CanvasMeasure::kAspect) return n;
    // Views that fill whatever canvas they get (a rectilinear view, a
    // little planet) take any proportions: they show more to the sides.
    n.fillsAnyShape = true;
    for (const double other : {n.aspect * 2.0, n.aspect / 2.0}) {
        const auto [w, h] = probeSides(other);
        Probe wider(settings, w, h, inW, inH);
        const Scan s = scanGrid(wider);
        n.fillsAnyShape = n.fillsAnyShape && s.any && s.a1 - s.a0 >= kFillsCanvas && s.b1 - s.b0 >= kFillsCanvas;
    }
    if (measure == CanvasMeasure::kAspectAndFill) return n;
    // 3. The density at the view centre on a canvas of the output's own
    //    proportions, against the input's at its centre.
    const auto [w1, h1] = probeSides(n.aspect);
    Probe natural(settings, w1, h1, inW, inH);
    Scan scan = scanGrid(natural);
    if (scan.any) refineCentre(natural, scan);
    n.probeWidth = w1;
    n.outputRadiansPerPixel = scan.any ? outputRadiansPerPixel(natural, scan.centreA, scan.centreB) : 0.0;
    n.inputPixelsPerRadian = inputCentreDensity(settings.inputProjection, inW, inH);
    n.measured = n.outputRadiansPerPixel > 0.0 && n.inputPixelsPerRadian > 0.0;
    // (Outputs with samplers of their own have nothing to measure: the
    // input's pixel count stays.)
    if (n.measured) {
        // Input pixels per probe pixel: the probe canvas scaled by it puts
        // one output pixel on one input pixel at the view centre.
        const double scale = n.outputRadiansPerPixel * n.inputPixelsPerRadian;
        n.width = w1 * scale;
        n.height = n.width / n.aspect;
    }
    // A view that squeezes the sphere into a point (a stereographic map of
    // 180 degrees) would ask for a few pixels: its long side gets at least
    // a quarter of the input's, up to kLeastLongSide.
    const double least = std::min<double>(kLeastLongSide, std::max(inW, inH) / 4.0);
    if (const double longSide = std::max(n.width, n.height); longSide < least) {
        n.width *= least / longSide;
        n.height *= least / longSide;
    }
    // Beyond that, a view that spreads the sphere's centre over a wide field
    // (a stereographic map of 170 degrees) would keep the centre's detail
    // only on a canvas of hundreds of millions of pixels, nearly all of them
    // magnified: the natural canvas holds at most kMostInputPixels times the
    // input's pixels, and --size asks for more.
    const double most = kMostInputPixels * static_cast<double>(inW) * inH;
    if (const double pixels = n.width * n.height; pixels > most) {
        n.width *= std::sqrt(most / pixels);
        n.height *= std::sqrt(most / pixels);
    }
    return n;
}

bool parseCanvasSpec(const std::string& text, CanvasSpec& spec, std::string& error) {
    spec = CanvasSpec{text};
    const bool ok = text.empty() || parsePixelSize(text, kMaxDocumentSide, true, spec.width, spec.height);
    if (!ok) {
        error = "--size wants WIDTHxHEIGHT, WIDTH or xHEIGHT with sides of 1.." + std::to_string(kMaxDocumentSide) +
                " pixels, got \"" + text + "\"";
    }
    return ok;
}

bool chooseCanvasSize(const CanvasSpec& spec, const NaturalCanvas& natural, std::int32_t& width, std::int32_t& height,
                      std::string& warning, std::string& error) {
    const std::int32_t w = spec.width, h = spec.height;
    const double aspect = natural.aspect;
    double fw = w, fh = h;
    if (w == 0 && h == 0) {
        // The short side is rounded and the long one follows from it, so
        // that a strip of six square faces stays six faces wide.
        if (aspect >= 1.0) {
            fh = std::max(1.0, std::round(std::min(natural.height, 1e12)));
            fw = fh * aspect;
        } else {
            fw = std::max(1.0, std::round(std::min(natural.width, 1e12)));
            fh = fw / aspect;
        }
    } else if (h == 0) {
        fh = w / aspect;
    } else if (w == 0) {
        fw = h * aspect;
    }
    const std::int64_t rw = std::max<std::int64_t>(1, std::llround(std::min(fw, 1e12)));
    const std::int64_t rh = std::max<std::int64_t>(1, std::llround(std::min(fh, 1e12)));
    if (rw > kMaxDocumentSide || rh > kMaxDocumentSide) {
        error = (spec.text.empty() ? "the natural canvas " : "the canvas of --size " + spec.text + ", ") +
                sizeText(rw, rh) + " is larger than " + std::to_string(kMaxDocumentSide) +
                " pixels a side; give a smaller --size";
        return false;
    }
    width = static_cast<std::int32_t>(rw);
    height = static_cast<std::int32_t>(rh);
    // A given WxH one pixel off the proportions either way is theirs.
    if (w != 0 && h != 0 && !natural.fillsAnyShape && std::abs(w / aspect - h) > 1.0 &&
        std::abs(h * aspect - w) > 1.0) {
        const std::int64_t suggested = std::max<std::int64_t>(1, std::llround(w / aspect));
        warning = "warning: --size " + spec.text + " does not have the output's proportions (" +
                  sizeText(w, suggested) + " would); it is fitted inside";
    }
    return true;
}

}  // namespace globaro
