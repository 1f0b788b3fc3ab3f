#pragma once
// Layered Photoshop documents: one layer per picture of an export (the faces
// of a net, the six faces of a cube map, the layers of a brick sphere, or a
// single result). The file is written front to back in one pass: every
// length is found first by running the same routines without writing, and
// the pictures are asked for one at a time, each just before its pixels are
// written, so that only one of them is ever held.
//
// Documents with a side above 30000 pixels, or too large for 32-bit lengths,
// are written in the large document format (version 2, 64-bit lengths,
// sides up to 300000), so that a large request is never cut.

#include <cstdint>
#include <functional>
#include <string>

#include "export/export_job.h"
#include "settings/settings_record.h"

namespace globaro {

// The sides above which the large document format is needed, and its limit.
inline constexpr std::int32_t kPsdMaxSide = 30000;
inline constexpr std::int32_t kPsbMaxSide = 300000;

// What an export writes: how many pictures, of which size and depth, and
// how they are named.
struct LayerSet {
    int channelKind = 4;  // RGB with transparency, the only kind written
    int layerCount = 1;   // layers in this file
    std::int32_t width = 0;
    std::int32_t height = 0;
    int firstLayer = 1;    // the number of this file's first layer in its series
    int seriesLayers = 0;  // layers in the whole series (0: layerCount); names depend on it
    ExportKind layout = kExportResultPsd;
    ProjectionId output = 0;  // the output projection the pictures show
    int bytesPerChannel = 1;  // 1, 2 or 4 (float)
    bool flat = false;        // no layer section: the merged picture only
    bool large = false;       // the large document format whatever the size (a .psb file)
};

// The name of layer `number` (firstLayer .. firstLayer + layerCount - 1) of
// a set; also the suffix of its file when every layer goes to a file of its
// own.
std::string layerName(const LayerSet& set, int number);

// Whether the set needs the large document format.
bool needsLargeDocument(const LayerSet& set);

// One picture as the host holds it: interleaved rows of colour planes (1
// grey or 3 RGB) and an optional transparency plane, at the set's depth
// (8-bit 0..255, 16-bit 0..32768, 32-bit float 0..1, native byte order).
struct LayerPicture {
    const std::uint8_t* pixels = nullptr;
    std::size_t rowBytes = 0;
    int colorPlanes = 3;
    bool hasAlpha = false;
};

// Fills layer `number` and points `picture` at it; the pixels stay valid
// until the next call. False with a one-line reason stops the export.
using LayerSource = std::function<bool(int number, LayerPicture& picture, std::string& error)>;

// What a file carries beside its pixels; each may be empty.
struct PsdExtras {
    std::string keywordResource;  // a complete image resource block (it carries its own header)
    std::string exifData;         // the data of resource 1058
    std::string iccProfile;       // the data of resource 1039
};

// Results of writeLayeredPsd.
inline constexpr int kPsdOk = 0;
inline constexpr int kPsdNoLayers = -1;
inline constexpr int kPsdWriteError = -20;
inline constexpr int kPsdNoMemory = -99;
inline constexpr int kPsdCancelled = -128;
inline constexpr int kPsdPictureFailed = -2;

// Writes the set to `path`: beside it under a hidden name, renamed into place
// only when complete (a failed or cancelled export leaves nothing). Returns
// kPsdOk, or one of the negative results with a one-line reason naming the
// path in `error`.
int writeLayeredPsd(const std::string& path, const LayerSet& set, const LayerSource& source, const PsdExtras& extras,
                    const ExportJob& job, std::string& error);

}  // namespace globaro
