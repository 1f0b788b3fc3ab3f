#include "app/cube_engines.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <numbers>
#include <optional>

#include "app/batch_names.h"
#include "app/cube_face_view.h"
#include "app/exit_status.h"
#include "app/filter_host.h"
#include "app/image_io.h"
#include "app/run_settings.h"
#include "app/size_text.h"
#include "projection/cube_engines.h"

namespace globaro::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kMinFaceSide = 4, kMaxFaceSide = 32768;
// The input the module reads a converted cube layout as: "Unity 6 frames",
// right, left, up, down, front, back, each face as seen from inside.
constexpr InputProjectionId kUnityFramesInput = 33;
constexpr std::string_view kFacePlaceholder = "{face}";

// Face numbers of the rectilinear face views (down, up, left, back, right,
// front), by CubeFace.
int faceViewNumber(CubeFace face) {
    constexpr int kNumbers[kCubeFaceCount] = {5, 3, 2, 1, 6, 4};
    return kNumbers[static_cast<std::size_t>(face)];
}

// The layout words of --cube-layout and of PRESET/LAYOUT.
struct LayoutWord {
    std::string_view word;
    CubeLayout layout;
};
constexpr LayoutWord kLayoutWords[] = {
    {"files", CubeLayout::kFiles},
    {"strip", CubeLayout::kStrip},
    {"cross", CubeLayout::kCross},
    {"3x2", CubeLayout::kGrid3x2},
};

std::optional<CubeLayout> layoutFromWord(std::string_view word) {
    for (const LayoutWord& w : kLayoutWords)
        if (w.word == word) return w.layout;
    return std::nullopt;
}

std::string presetWords() {
    std::string words;
    for (const CubePreset& p : cubePresets()) words += (words.empty() ? "" : ", ") + std::string(p.name);
    return words;
}

int fail(const std::string& error, int status = kExitFailure) {
    std::cerr << "globaro: " << error << "\n";
    return status;
}

// Bilinear sample of plane `plane` at the continuous pixel position (x, y)
// (pixel centres at whole numbers plus one half), kept inside the box
// [x0, x1) x [y0, y1) of pixels so that a cell never borrows from its
// neighbour.
float sampleBilinear(const Document& d, float x, float y, int plane, std::int32_t x0, std::int32_t y0, std::int32_t x1,
                     std::int32_t y1) {
    const float fx = std::clamp(x - 0.5f, static_cast<float>(x0), static_cast<float>(x1 - 1));
    const float fy = std::clamp(y - 0.5f, static_cast<float>(y0), static_cast<float>(y1 - 1));
    const auto ix = static_cast<std::int32_t>(fx), iy = static_cast<std::int32_t>(fy);
    const std::int32_t jx = std::min(ix + 1, x1 - 1), jy = std::min(iy + 1, y1 - 1);
    const float tx = fx - static_cast<float>(ix), ty = fy - static_cast<float>(iy);
    const float top = d.value(ix, iy, plane) * (1.0f - tx) + d.value(jx, iy, plane) * tx;
    const float bottom = d.value(ix, jy, plane) * (1.0f - tx) + d.value(jx, jy, plane) * tx;
    return top * (1.0f - ty) + bottom * ty;
}

// ---------------------------------------------------------------------------
// export cubemap

struct CubemapCommand {
    std::string input, output;
    std::string preset = "opengl";
    std::string layout;     // empty: the preset's own
    std::string faceNames;  // engine (default), axes or words
    std::string side;       // pixels per face; empty: a quarter of the input's width
    std::string pad = "0";
    bool quiet = false;
    RunSettingsOptions run;
    const std::string* modulePath = nullptr;
};

// What one face export needs, checked.
struct FacesPlan {
    const CubePreset* preset = nullptr;
    CubeLayout layout = CubeLayout::kFiles;
    std::int32_t side = 0, pad = 0;
    std::string names = "engine";
};

std::string faceFileName(const FacesPlan& plan, const std::string& pattern, int slot) {
    const CubeSlot& s = plan.preset->slots[static_cast<std::size_t>(slot)];
    const std::string_view name = plan.names == "axes" ? s.axis : plan.names == "words" ? cubeFaceWord(s.face) : s.name;
    std::string path = pattern;
    for (std::size_t at = path.find(kFacePlaceholder); at != std::string::npos;
         at = path.find(kFacePlaceholder, at + name.size()))
        path.replace(at, kFacePlaceholder.size(), name);
    return path;
}

// Renders the faces of one source one at a time, each turned as the preset
// stores it.
class FaceRenderer {
public:
    FaceRenderer(const CubemapCommand& c, const FacesPlan& plan, const Document& source, const SettingsRecord& view)
        : c_(c), plan_(plan), source_(source), view_{view.latitude, view.longitude, view.spin} {}

    // The picture of cell `cell` with `pad` pixels of neighbouring content
    // on every side, turned as the cell holds it.
    bool render(const CubeCell& cell, std::int32_t pad, Document& picture, std::string& error) {
        const std::int32_t full = plan_.side + 2 * pad;
        // The half-width of the padded face in face-local units.
        const double reach = static_cast<double>(full) / plan_.side;
        Document face;
        if (plan_.preset->equiAngular) {
            // An equi-angular face is resampled from a rectilinear view that
            // reaches as far and is finer than it at the centre.
            const double tangentReach = std::tan(reach * std::numbers::pi / 4.0);
            const auto viewSide = static_cast<std::int32_t>(std::ceil(2.0 * plan_.side * tangentReach));
            if (!renderView(cell.face, viewSide, tangentReach, face, error)) return false;
            Document eac;
            if (!makeDocument(eac, full, full, source_.colorPlanes, source_.hasAlpha, source_.depth, error))
                return false;
            resampleEquiAngular(face, static_cast<float>(tangentReach), eac);
            face = std::move(eac);
        } else if (!renderView(cell.face, full, reach, face, error)) {
            return false;
        }
        return turn(face, cell.quarterTurns, picture, error);
    }

private:
    // A rectilinear view of `face` reaching `reach` tangent units from its
    // centre on every side, `pixels` a side.
    bool renderView(CubeFace face, std::int32_t pixels, double reach, Document& out, std::string& error) {
        const std::optional<FaceTurn> turn = cubeFaceViewTurn(faceViewNumber(face), view_);
        if (!turn) {
            error = "the view's turn cannot be carried to the face \"" + std::string(cubeFaceWord(face)) + "\"";
            return false;
        }
        RunSettingsOptions run = c_.run;
        run.output = kRectilinearOutput;
        run.fov = static_cast<float>(std::atan(reach) * 360.0 / std::numbers::pi);
        run.latitude = turn->latitude;
        run.longitude = turn->longitude;
        run.spin = turn->spin;
        out = Document{};
        if (!makeDocument(out, pixels, pixels, source_.colorPlanes, source_.hasAlpha, source_.depth, error))
            return false;
        return runFilter(out, *c_.modulePath, run, !c_.quiet, error, &source_) == 0;
    }

    // Each equi-angular pixel is the mean of 2 x 2 bilinear samples of the
    // rectilinear view.
    void resampleEquiAngular(const Document& view, float tangentReach, Document& eac) const {
        const float full = static_cast<float>(eac.width);
        const float unit = static_cast<float>(plan_.side) / 2.0f;  // pixels per equi-angular unit
        const float scale = static_cast<float>(view.width) / (2.0f * tangentReach);
        for (std::int32_t y = 0; y < eac.height; ++y)
            for (std::int32_t x = 0; x < eac.width; ++x)
                for (int p = 0; p < eac.planes(); ++p) {
                    float sum = 0.0f;
                    for (const float oy : {0.25f, 0.75f})
                        for (const float ox : {0.25f, 0.75f}) {
                            const float eu = (static_cast<float>(x) + ox - full / 2.0f) / unit;
                            const float ev = (static_cast<float>(y) + oy - full / 2.0f) / unit;
                            const float vx = (tangentFromEquiAngular(eu) + tangentReach) * scale;
                            const float vy = (tangentFromEquiAngular(ev) + tangentReach) * scale;
                            sum += sampleBilinear(view, vx, vy, p, 0, 0, view.width, view.height);
                        }
                    eac.setValue(x, y, p, sum * 0.25f);
                }
    }

    static bool turn(const Document& face, int quarterTurns, Document& out, std::string& error) {
        if ((quarterTurns & 3) == 0) {
            out = face;
            return true;
        }
        out = Document{};
        if (!makeDocument(out, face.width, face.height, face.colorPlanes, face.hasAlpha, face.depth, error))
            return false;
        const std::size_t bytes = static_cast<std::size_t>(face.planes()) * face.bytesPerSample();
        const float n = static_cast<float>(face.width);
        for (std::int32_t y = 0; y < face.height; ++y)
            for (std::int32_t x = 0; x < face.width; ++x) {
                float tx = 0.0f, ty = 0.0f;
                turnFacePosition(quarterTurns, (static_cast<float>(x) + 0.5f) / n, (static_cast<float>(y) + 0.5f) / n,
                                 tx, ty);
                std::copy_n(face.sample(x, y, 0), bytes,
                            out.sample(static_cast<std::int32_t>(tx * n), static_cast<std::int32_t>(ty * n), 0));
            }
        return true;
    }

    const CubemapCommand& c_;
    const FacesPlan& plan_;
    const Document& source_;
    FaceTurn view_;
};

// Checks the options; the default face side needs the input's width, so
// without it (before the input is read) the side and the pad wait.
bool planFaces(const CubemapCommand& c, std::optional<std::int32_t> inputWidth, FacesPlan& plan, std::string& error) {
    const std::string cannot = "cannot write \"" + c.output + "\": ";
    plan.preset = findCubePreset(c.preset);
    if (plan.preset == nullptr) {
        error = cannot + "--cube-preset wants one of " + presetWords() + ", got \"" + c.preset + "\"";
        return false;
    }
    plan.layout = plan.preset->layout;
    if (!c.layout.empty()) {
        const std::optional<CubeLayout> layout = layoutFromWord(c.layout);
        if (!layout) {
            error = cannot + "--cube-layout wants files, strip, cross or 3x2, got \"" + c.layout + "\"";
            return false;
        }
        plan.layout = *layout;
    }
    if (plan.preset->equiAngular && plan.layout == CubeLayout::kCross) {
        error = cannot + "the equi-angular faces of \"" + c.preset + "\" have no cross layout";
        return false;
    }

    if (!c.faceNames.empty()) {
        if (c.faceNames != "engine" && c.faceNames != "axes" && c.faceNames != "words") {
            error = cannot + "--face-names wants engine, axes or words, got \"" + c.faceNames + "\"";
            return false;
        }
        plan.names = c.faceNames;
    }
    if (c.side.empty() && !inputWidth) {
        plan.side = 0;
    } else if (c.side.empty()) {
        plan.side = std::clamp(*inputWidth / 4, kMinFaceSide, kMaxFaceSide);
    } else if (!parseWholeNumber(c.side, kMinFaceSide, kMaxFaceSide, plan.side)) {
        error = cannot + "--cube-side wants " + std::to_string(kMinFaceSide) + ".." + std::to_string(kMaxFaceSide) +
                " pixels, got \"" + c.side + "\"";
        return false;
    }
    // A pad reaches at most a quarter face beyond the face, which keeps the
    // padded view of an equi-angular face short of the face's horizon.
    if (plan.side > 0 && !parseWholeNumber(c.pad, 0, plan.side / 4, plan.pad)) {
        error = cannot + "--cube-pad wants 0.." + std::to_string(plan.side / 4) + " pixels for faces of " +
                std::to_string(plan.side) + ", got \"" + c.pad + "\"";
        return false;
    }
    if (plan.preset->margin > 0 && plan.layout != CubeLayout::kFiles && plan.pad > 0) {
        error = cannot + "the \"" + c.preset + "\" frame carries its own " + std::to_string(plan.preset->margin) +
                "-pixel margins; --cube-pad is for six files";
        return false;
    }
    const bool pattern = c.output.find(kFacePlaceholder) != std::string::npos;
    if (plan.layout == CubeLayout::kFiles && !pattern) {
        error = cannot + "six face files want a {face} in the name, e.g. \"sky_{face}.png\"";
        return false;
    }
    if (plan.layout != CubeLayout::kFiles && pattern) {
        error = cannot + "this layout is one image; {face} names six files (--cube-layout files)";
        return false;
    }
    if (c.run.output || c.run.fov) {
        error = cannot + "the faces of a cube map are views of their own; --output and --fov are not taken";
        return false;
    }
    return true;
}

int runFacesExport(const CubemapCommand& c) {
    std::string error;
    FacesPlan plan;
    if (!planFaces(c, std::nullopt, plan, error)) return fail(error, kExitUsage);
    Document source;
    if (!loadDocument(c.input, source, error)) return fail(error);
    if (!planFaces(c, source.width, plan, error)) return fail(error, kExitUsage);
    // The runs replace the cached settings and the dot map; damaged ones are kept aside first.
    setAsideDamagedStateBeforeRuns(c.run, std::cerr);
    std::vector<std::string> targets;
    if (plan.layout == CubeLayout::kFiles) {
        for (int slot = 0; slot < kCubeFaceCount; ++slot) targets.push_back(faceFileName(plan, c.output, slot));
        for (std::size_t i = 0; i < targets.size(); ++i)
            for (std::size_t j = 0; j < i; ++j)
                if (identity(targets[i]) == identity(targets[j]))
                    return fail("cannot write \"" + targets[i] + "\": two faces would share the file", kExitUsage);
    } else {
        targets.push_back(c.output);
    }
    for (const std::string& target : targets) {
        if (!checkImageTarget(target, error)) return fail(error);
        if (identity(target) == identity(c.input))
            return fail("cannot write \"" + target + "\": it is the input image");
    }
    SettingsRecord settings{};
    if (!buildRunSettings(c.run, settings, error)) return fail(error);

    FaceRenderer renderer(c, plan, source, settings);
    const CubeSheet geometry{plan.preset, plan.layout, plan.side, plan.pad};
    // A preset with margins draws them from its faces' own pads.
    const std::int32_t renderPad = geometry.margin() > 0 ? geometry.margin() : plan.pad;
    Document sheet;
    if (plan.layout != CubeLayout::kFiles && !makeDocument(sheet, geometry.width(), geometry.height(),
                                                           source.colorPlanes, source.hasAlpha, source.depth, error))
        return fail("cannot write \"" + c.output + "\": " + error);

    std::vector<std::string> written;
    const auto abandon = [&](const std::string& why) {
        for (const std::string& done : written) fs::remove(done);
        return fail(why, cancelRequested() ? kExitInterrupted : kExitFailure);
    };
    try {
        for (int slot = 0; slot < kCubeFaceCount; ++slot) {
            const CubeCell cell = cubeLayoutCell(*plan.preset, plan.layout, slot);
            const std::string target = targets[plan.layout == CubeLayout::kFiles ? slot : 0];
            if (!c.quiet) std::cerr << "face " << slot + 1 << " of 6: " << cubeFaceWord(cell.face) << "\n";
            Document picture;
            if (!renderer.render(cell, renderPad, picture, error))
                return abandon("cannot write \"" + target + "\": " + error);
            if (plan.layout == CubeLayout::kFiles) {
                if (!saveDocument(target, picture, 0, error)) return abandon(error);
                written.push_back(target);
                continue;
            }
            // The picture's share of the sheet: the face and its pad, or
            // the face and the margins beside it.
            int fx = 0, fy = 0, x0 = 0, y0 = 0, x1 = 0, y1 = 0;
            geometry.faceOrigin(slot, fx, fy);
            geometry.faceBlock(slot, x0, y0, x1, y1);
            const std::size_t bytes = static_cast<std::size_t>(x1 - x0) * picture.planes() * picture.bytesPerSample();
            for (int y = y0; y < y1; ++y)
                std::copy_n(picture.sample(x0 - fx + renderPad, y - fy + renderPad, 0), bytes, sheet.sample(x0, y, 0));
        }
        if (plan.layout != CubeLayout::kFiles) {
            if (!saveDocument(c.output, sheet, 0, error)) return abandon(error);
            written.push_back(c.output);
        }
    } catch (const std::bad_alloc&) {
        return abandon("cannot write \"" + c.output + "\": not enough memory");
    }
    if (!c.quiet)
        for (const std::string& path : written) std::cout << "wrote " << path << "\n";
    return 0;
}

// ---------------------------------------------------------------------------
// cube layouts as input

// Resolves NAME, "eac", "cross" or PRESET/LAYOUT to a single-image layout.
bool resolveInputLayout(const std::string& text, const CubePreset*& preset, CubeLayout& layout, std::string& error) {
    std::string name = text, word;
    if (const std::size_t slash = text.find('/'); slash != std::string::npos) {
        name = text.substr(0, slash);
        word = text.substr(slash + 1);
    }
    if (name == "eac") name = "youtube-eac";
    if (name == "cross" && word.empty()) {
        name = "opengl";
        word = "cross";
    }
    preset = findCubePreset(name);
    layout = preset != nullptr ? preset->layout : CubeLayout::kFiles;
    if (!word.empty()) {
        const std::optional<CubeLayout> w = layoutFromWord(word);
        layout = w.value_or(CubeLayout::kFiles);
    }
    if (preset == nullptr || layout == CubeLayout::kFiles || (preset->equiAngular && layout == CubeLayout::kCross)) {
        error =
            "--input-layout wants a one-image cube layout: eac, cross, unity, unreal, youtube-eac or "
            "PRESET/strip, PRESET/cross, PRESET/3x2; got \"" +
            text + "\"";
        return false;
    }
    return true;
}

// The layout image as the "Unity 6 frames" strip the module reads. Faces
// keep their pixels where the layout's faces are rectilinear (each strip
// pixel centre falls on a layout pixel centre); equi-angular faces are
// resampled at twice their side.
bool stripFromLayout(const Document& image, const CubePreset& preset, CubeLayout layout, Document& strip,
                     std::string& error) {
    const CubeGrid grid = cubeLayoutGrid(layout);
    CubeSheet sheet{&preset, layout, 0, 0};
    const int m = sheet.margin();
    sheet.side = (image.width - 2 * m) / grid.columns;
    if (sheet.side < kMinFaceSide || sheet.width() != image.width || sheet.height() != image.height) {
        error = "it is " + std::to_string(image.width) + " x " + std::to_string(image.height) + ", not " +
                std::to_string(grid.columns) + " x " + std::to_string(grid.rows) + " square faces" +
                (m > 0 ? " with " + std::to_string(m) + "-pixel margins" : "");
        return false;
    }
    const std::int32_t side = preset.equiAngular ? 2 * sheet.side : sheet.side;
    if (!makeDocument(strip, 6 * side, side, image.colorPlanes, image.hasAlpha, image.depth, error)) return false;
    const CubeSheet unity{findCubePreset("unity"), CubeLayout::kStrip, side, 0};
    for (std::int32_t y = 0; y < strip.height; ++y)
        for (std::int32_t x = 0; x < strip.width; ++x) {
            const std::optional<SphereDir> d =
                unity.direction(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f);
            float px = 0.0f, py = 0.0f;
            int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
            sheet.position(*d, px, py, x0, y0, x1, y1);
            for (int p = 0; p < strip.planes(); ++p)
                strip.setValue(x, y, p, sampleBilinear(image, px, py, p, x0, y0, x1, y1));
        }
    return true;
}

// ---------------------------------------------------------------------------
// the lettered test cube

// Capitals drawn with strokes on a grid 4 wide and 6 high (y down); a
// negative x ends a stroke.
struct Glyph {
    char letter;
    std::string_view strokes;  // points as digit pairs "xy", '|' between strokes
};
constexpr Glyph kGlyphs[] = {
    {'A', "062046|1333"},    {'B', "00063645443303|0030414233"},
    {'C', "40000646"},       {'D', "00062644422000"},
    {'E', "40000646|0333"},  {'F', "400006|0333"},
    {'G', "400006464323"},   {'H', "0006|4046|0343"},
    {'I', "2026|1030|1636"}, {'K', "0006|400346"},
    {'L', "000646"},         {'N', "06004640"},
    {'O', "0040460600"},     {'P', "0600404303"},
    {'R', "060040430346"},   {'T', "0040|2026"},
    {'U', "00064640"},       {'W', "0016233640"},
};

// The distance from p to the segment a-b.
float segmentDistance(float px, float py, float ax, float ay, float bx, float by) {
    const float dx = bx - ax, dy = by - ay;
    const float len = dx * dx + dy * dy;
    const float t = len > 0.0f ? std::clamp(((px - ax) * dx + (py - ay) * dy) / len, 0.0f, 1.0f) : 0.0f;
    return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

// True when the face position (x, y) in [0, 1] lies on a stroke of the
// face's lettering or arrow.
bool onMarking(CubeFace face, float x, float y) {
    constexpr float kWidth = 0.012f;
    // The arrow towards the top of the face's picture.
    if (segmentDistance(x, y, 0.5f, 0.4f, 0.5f, 0.1f) < kWidth ||
        segmentDistance(x, y, 0.5f, 0.1f, 0.42f, 0.2f) < kWidth ||
        segmentDistance(x, y, 0.5f, 0.1f, 0.58f, 0.2f) < kWidth)
        return true;
    std::string word(cubeFaceWord(face));
    constexpr float kHeight = 0.16f, kAdvance = 0.15f;
    const float unit = kHeight / 6.0f;
    const float left = 0.5f - (kAdvance * static_cast<float>(word.size()) - (kAdvance - 4.0f * unit)) / 2.0f;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(word[i])));
        const float ox = left + kAdvance * static_cast<float>(i), oy = 0.55f;
        if (x < ox - kWidth || x > ox + 4.0f * unit + kWidth || y < oy - kWidth || y > oy + kHeight + kWidth) continue;
        for (const Glyph& g : kGlyphs) {
            if (g.letter != letter) continue;
            std::size_t at = 0;
            while (at < g.strokes.size()) {
                const std::size_t end = std::min(g.strokes.find('|', at), g.strokes.size());
                for (std::size_t k = at; k + 3 < end; k += 2) {
                    const auto coord = [&](std::size_t j) { return static_cast<float>(g.strokes[j] - '0') * unit; };
                    if (segmentDistance(x, y, ox + coord(k), oy + coord(k + 1), ox + coord(k + 2), oy + coord(k + 3)) <
                        kWidth)
                        return true;
                }
                at = end + 1;
            }
        }
    }
    return false;
}

}  // namespace

bool makeTestCubePanorama(Document& doc, std::int32_t side, std::string& error) {
    if (!makeDocument(doc, 4 * side, 2 * side, 3, false, 8, error)) return false;
    // One light colour per face; the markings and a border in near-black.
    constexpr float kColours[kCubeFaceCount][3] = {
        {0.95f, 0.6f, 0.6f}, {0.6f, 0.75f, 0.95f}, {0.95f, 0.95f, 0.95f},
        {0.7f, 0.6f, 0.45f}, {0.6f, 0.9f, 0.6f},   {0.95f, 0.85f, 0.5f},
    };
    for (std::int32_t y = 0; y < doc.height; ++y)
        for (std::int32_t x = 0; x < doc.width; ++x) {
            // Sphere frame: +z at the panorama's centre, +x a quarter turn left.
            const float lon = (0.5f - (static_cast<float>(x) + 0.5f) / doc.width) * 2.0f * std::numbers::pi_v<float>;
            const float lat = (0.5f - (static_cast<float>(y) + 0.5f) / doc.height) * std::numbers::pi_v<float>;
            const SphereDir d{std::cos(lat) * std::sin(lon), std::sin(lat), std::cos(lat) * std::cos(lon)};
            const CubeFaceHit hit = cubeFaceOfDirection(d);
            const float fx = (hit.fu + 1.0f) * 0.5f, fy = (hit.fv + 1.0f) * 0.5f;
            const bool dark = onMarking(hit.face, fx, fy) || std::min({fx, fy, 1.0f - fx, 1.0f - fy}) < 0.006f;
            for (int p = 0; p < 3; ++p)
                doc.setValue(x, y, p, dark ? 0.08f : kColours[static_cast<std::size_t>(hit.face)][p]);
        }
    return true;
}

void addCubeEngineExports(CLI::App& exportCommand, const ExportContext& context, std::vector<ExportKind>& kinds) {
    auto c = std::make_shared<CubemapCommand>();
    c->modulePath = context.modulePath;
    CLI::App* command = exportCommand.add_subcommand(
        "cubemap", "The six faces of a cube map as a game engine or viewer reads them (--cube-preset)");
    command->add_option("input", c->input, "Input image")->required();
    command->add_option("output", c->output, "Image to write; for six files a name with {face}, e.g. sky_{face}.png")
        ->required();
    std::string presetHelp = "Engine convention (default opengl):";
    for (const CubePreset& p : cubePresets())
        presetHelp += "\n  " + std::string(p.name) + ": " + std::string(p.summary);
    command->add_option("--cube-preset", c->preset, presetHelp);
    command->add_option("--cube-layout", c->layout,
                        "files, strip, cross (seen from inside) or 3x2 instead of the preset's own");
    command->add_option("--face-names", c->faceNames,
                        "What {face} becomes: engine (the preset's names), axes (px nx py ny pz nz) or words "
                        "(front back left right up down)");
    command->add_option("--cube-side", c->side,
                        "Pixels per side of each face (default: a quarter of the input's width)");
    command->add_option("--cube-pad", c->pad,
                        "Pixels of the neighbouring faces' content around every face (default 0)");
    command->add_flag("--quiet", c->quiet, "No progress or summary");
    addRunSettingsOptions(*command, c->run);
    kinds.push_back({command, [c] { return runFacesExport(*c); }});
}

int renderFromCubeLayout(const std::string& input, const std::string& output, const std::string& layoutText,
                         const std::string& size, int depth, const std::string& modulePath,
                         const RunSettingsOptions& run, bool quiet) {
    std::string error;
    const CubePreset* preset = nullptr;
    CubeLayout layout = CubeLayout::kFiles;
    if (!resolveInputLayout(layoutText, preset, layout, error)) return fail(error, kExitUsage);
    if (run.input) return fail("--input-layout reads the input as a cube map; --input is not taken", kExitUsage);
    if (!checkImageTarget(output, error)) return fail(error);
    if (identity(output) == identity(input))
        return fail("cannot write \"" + output + "\": it is the input image", kExitUsage);
    setAsideDamagedStateBeforeRuns(run, std::cerr);
    Document image;
    if (!loadDocument(input, image, error)) return fail(error);
    Document strip;
    try {
        if (!stripFromLayout(image, *preset, layout, strip, error))
            return fail("cannot read \"" + input + "\" as --input-layout " + layoutText + ": " + error);
    } catch (const std::bad_alloc&) {
        return fail("cannot read \"" + input + "\": not enough memory");
    }
    image = Document{};
    std::int32_t width = 2 * strip.height * 2, height = 2 * strip.height;
    if (!size.empty()) {
        if (!parsePixelSize(size, kMaxDocumentSide, false, width, height))
            return fail("--size wants WIDTHxHEIGHT, got \"" + size + "\"", kExitUsage);
    }
    Document canvas;
    if (!makeDocument(canvas, width, height, strip.colorPlanes, strip.hasAlpha, strip.depth, error)) return fail(error);
    RunSettingsOptions converted = run;
    converted.input = kUnityFramesInput;
    if (runFilter(canvas, modulePath, converted, !quiet, error, &strip) != 0)
        return fail(error, cancelRequested() ? kExitInterrupted : kExitFailure);
    if (!saveDocument(output, canvas, depth, error)) return fail(error);
    if (!quiet) std::cout << "wrote " << output << " (" << describeDocument(canvas) << ")\n";
    return 0;
}

int commandTestCube(const std::string& folder, const std::string& modulePath) {
    constexpr std::int32_t kSide = 256;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return fail("cannot create the folder \"" + folder + "\": " + ec.message());
    std::string error;
    Document panorama;
    if (!makeTestCubePanorama(panorama, kSide, error)) return fail(error);
    const std::string panoramaPath = (fs::path(folder) / "test-cube.png").string();
    if (!saveDocument(panoramaPath, panorama, 0, error)) return fail(error);
    std::cout << "wrote " << panoramaPath << " (" << describeDocument(panorama) << ")\n";
    for (const CubePreset& p : cubePresets()) {
        const fs::path sub = fs::path(folder) / std::string(p.name);
        fs::create_directories(sub, ec);
        if (ec) return fail("cannot create the folder \"" + sub.string() + "\": " + ec.message());
        CubemapCommand c;
        c.input = panoramaPath;
        c.preset = std::string(p.name);
        c.output = (sub / (p.layout == CubeLayout::kFiles ? "face_{face}.png" : "cube.png")).string();
        c.side = std::to_string(kSide);
        c.quiet = true;
        c.modulePath = &modulePath;
        if (const int status = runFacesExport(c); status != 0) return status;
        std::cout << "wrote the " << p.name << " faces in " << sub.string() << "\n";
    }
    return 0;
}

}  // namespace globaro::cli
