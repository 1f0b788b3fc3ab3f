#pragma once
// The canvas a render draws on when it makes a new image: the output's own
// proportions at the resolution that keeps the input's detail, or what
// --size asks for ("W", "xH" or "WxH").

#include <cstdint>
#include <string>

namespace globaro {

struct SettingsRecord;

// The natural canvas of a render: `aspect` is width / height of what the
// output draws; `width` x `height` the size at which a pixel at the centre of
// the view covers as much of the sphere as a pixel at the centre of the
// input does.
struct NaturalCanvas {
    double aspect = 1.0;
    double width = 1.0, height = 1.0;  // unrounded, may exceed any limit
    // Input pixels per radian at the input's centre and the output's radians
    // per pixel at the view centre, the latter on a canvas `probeWidth` wide.
    double inputPixelsPerRadian = 0.0;
    double outputRadiansPerPixel = 0.0;
    double probeWidth = 0.0;
    bool measured = false;       // false: no density found, the input's pixel count is kept
    bool fillsAnyShape = false;  // the output fills a canvas of any proportions (a rectilinear view)
};

// How much of the natural canvas a render needs measured: its proportions
// (a --size that gives one side), with whether the output fills a canvas of
// any proportions (one that gives both), or its size too (no --size).
enum class CanvasMeasure { kAspect, kAspectAndFill, kSize };

// A --size, parsed: sides of 0 are the ones to derive (both, for an empty
// text: the natural size).
struct CanvasSpec {
    std::string text;  // as the user gave it, for messages
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// What `spec` needs measured.
CanvasMeasure canvasMeasureFor(const CanvasSpec& spec);

// Measures the natural canvas of `settings` for an input image of
// `inputWidth` x `inputHeight`, through the output mapping and the input
// lookup themselves, as far as `measure` asks: what it leaves out keeps the
// defaults (no fill; the input's pixel count at the output's proportions).
NaturalCanvas naturalCanvas(const SettingsRecord& settings, std::int32_t inputWidth, std::int32_t inputHeight,
                            CanvasMeasure measure = CanvasMeasure::kSize);

// A --size text: "WxH", "W" (height from the proportions), "xH" (width
// from them) or empty (the natural size). False with one line naming the
// option when the text is none of these.
bool parseCanvasSpec(const std::string& text, CanvasSpec& spec, std::string& error);

// The canvas of a render that makes a new image: `spec` (may be empty, for
// the natural size) completed from `natural`. `warning` receives one line
// when a given WxH does not have the proportions of an output that has
// proportions of its own (not one that fills any canvas). False with one
// line when a side would exceed kMaxDocumentSide (the memory an image may
// take is checked where it is made).
bool chooseCanvasSize(const CanvasSpec& spec, const NaturalCanvas& natural, std::int32_t& width, std::int32_t& height,
                      std::string& warning, std::string& error);

}  // namespace globaro
