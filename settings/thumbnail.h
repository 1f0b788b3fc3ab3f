#pragma once
// The thumbnail kept with presets and memory dots: a small RGB image, stored
// in settings files as a baseline JPEG stream.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace globaro {

// Side of the thumbnail taken from the preview.
inline constexpr int kThumbnailSide = 128;
// JPEG quality of thumbnails written into settings files.
inline constexpr int kThumbnailQuality = 80;
// The largest JPEG stream the settings reader decodes; larger blocks are skipped.
inline constexpr std::size_t kThumbnailJpegLimit = 49152;
// The largest image side a thumbnail decoder accepts.
inline constexpr int kThumbnailMaxSide = 4096;

// An 8-bit RGB image, rows top to bottom, three bytes per pixel, no padding.
struct Thumbnail {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // width * height * 3 bytes

    bool empty() const { return width <= 0 || height <= 0; }
    void clear() {
        width = height = 0;
        rgb.clear();
    }
};

// Copies the largest centred square of an image (side = the smaller of its
// width and height) into `out`, resampled by area averaging to
// kThumbnailSide x kThumbnailSide. `pixels` points at the first row;
// `rowBytes` is the distance between rows and `pixelBytes` (3 or 4) between
// pixels, whose first three bytes are red, green, blue. Returns false, and
// leaves `out` empty, for an empty or malformed image.
bool takeThumbnail(const std::uint8_t* pixels, int width, int height, std::ptrdiff_t rowBytes, int pixelBytes,
                   Thumbnail& out);

// Encodes a thumbnail as a baseline JPEG stream, with `app13` (when not
// empty) as the contents of an APP13 marker after the stream's header.
// Returns false (and leaves `jpeg` empty) when the image is empty or the
// encoder fails.
bool encodeThumbnailJpeg(const Thumbnail& image, int quality, std::vector<std::uint8_t>& jpeg,
                         std::string_view app13 = {});

// Decodes a JPEG stream (grey or colour) into an RGB thumbnail. A corrupt or
// truncated stream, or one larger than kThumbnailMaxSide on a side, gives
// false and an empty `out`; the process is never aborted.
bool decodeThumbnailJpeg(std::span<const std::uint8_t> jpeg, Thumbnail& out);

}  // namespace globaro
