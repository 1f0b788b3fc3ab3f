#pragma once
// The faces of a net as pictures of their own ("Poly faces.psd"): every face
// of the unfolded solid is cut from a render of the whole net (glue tabs
// left out) at a scale where the largest face spans `faceSize` pixels, so
// that all faces share one scale and keep the orientation the net gives
// them. Only the face's own window of the net is rendered, one face at a
// time; the pixels outside the face's polygon are made transparent, with
// the polygon's edges antialiased by its exact coverage of each pixel.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "geometry/projection_id.h"
#include "settings/settings_record.h"

namespace globaro {

class RenderSession;

// One face: where its picture lies in the net render, and its polygon in the
// picture's pixels (x, y pairs, y downwards).
struct NetFaceWindow {
    std::int32_t left = 0, top = 0;  // the picture's corner in the net render
    std::vector<double> polygon;
};

struct NetFaceLayout {
    ProjectionId output = 0;           // the output whose net is cut
    std::int32_t netSide = 0;          // the net is rendered as a square of this side
    std::int32_t width = 0;            // every face picture's size: the largest face's box,
    std::int32_t height = 0;           // rounded up, plus 1
    std::vector<NetFaceWindow> faces;  // the net's faces in the model's order
};

// The largest net render a face picture is cut from (float positions keep
// well under a tenth of a pixel up to here).
inline constexpr std::int32_t kMaxNetSide = 1 << 24;

// Lays out the faces of output `id` (the settings' output, with the special
// render replaced by its inner projection) for pictures whose largest face
// spans `faceSize` pixels. A one-line reason when the output has
// no faces or the net would be too large.
enum class FaceLayoutResult { kOk, kNoFaces, kTooLarge };
FaceLayoutResult layOutNetFaces(ProjectionId id, std::int32_t faceSize, NetFaceLayout& layout, std::string& error);

// The share (0..1) of each pixel of row `y` (`width` pixels) that `polygon`
// (x, y pairs, even-odd rule) covers, measured exactly across and on eight
// lines within the row.
void polygonRowCoverage(const std::vector<double>& polygon, std::int32_t y, std::int32_t width, float* coverage);

// Renders face `index` (0-based) of the layout with `settings` from the
// session's loaded input into `pixels`: layout.width x layout.height
// pixels of red, green, blue and transparency at `depth` (8: 0..255, 16:
// 0..32768, 32: float 0..1, native byte order). False with a one-line
// reason when the render fails or is cancelled.
bool renderNetFace(RenderSession& session, const SettingsRecord& settings, const NetFaceLayout& layout, int index,
                   int depth, std::vector<std::uint8_t>& pixels, const std::atomic<bool>* cancel, std::string& error);

}  // namespace globaro
