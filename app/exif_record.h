#pragma once
// A camera's EXIF record as a list of tags, read from and written as the
// TIFF-structured block that JPEG files carry in their APP1 marker (and that
// the image library encodes and decodes for every other format).
//
// Only the three directories worth carrying are kept: the main one (IFD0),
// the EXIF directory and the GPS directory. The thumbnail directory, the
// maker's private note (its offsets point into the block it came from) and
// every pointer between directories are left behind; the writer lays the
// pointers out anew.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace globaro {

struct ExifTag {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;  // the TIFF field type (1 BYTE, 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL, ...)
    std::uint32_t count = 0;
    std::vector<std::uint8_t> value;  // count values, big-endian
};

struct ExifRecord {
    std::vector<ExifTag> main, exif, gps;

    bool empty() const { return main.empty() && exif.empty() && gps.empty(); }
    // Sets (or replaces) a text tag of the main directory.
    void setText(std::uint16_t tag, std::string_view text);
    // The text of a main-directory tag, empty when absent.
    std::string text(std::uint16_t tag) const;
    // The resolution of the main directory: pixels per `unit` (2 inch,
    // 3 centimetre) across and down. False when it holds none.
    bool resolution(double& x, double& y, int& unit) const;
    // Sets the resolution of the main directory (whole pixels per unit).
    void setResolution(std::uint32_t x, std::uint32_t y, int unit);
};

// Tags of the main directory.
constexpr std::uint16_t kExifArtist = 0x013b;

// Reads a block that starts with the TIFF header ("II*\0" or "MM\0*"),
// optionally behind JPEG's "Exif\0\0". Damaged or truncated directories and
// values pointing outside the block are skipped; false only when the block
// has no readable main directory.
bool parseExif(const std::uint8_t* bytes, std::size_t size, ExifRecord& record);

// The part of a record that goes from an input to a render of it: the
// camera, author, date and resolution of the main directory, the whole EXIF
// directory except the image's own pixel dimensions, and the GPS directory.
ExifRecord carriedExif(const ExifRecord& record);

// The block (big-endian TIFF header first) of a record written into an image
// of `width` x `height`: its tags, orientation 1 (upright) and the EXIF pixel
// dimensions.
std::vector<std::uint8_t> encodeExif(const ExifRecord& record, std::int32_t width, std::int32_t height);

}  // namespace globaro
