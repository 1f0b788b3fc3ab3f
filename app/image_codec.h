#pragma once
// The image file codecs behind app/image_io: one reader and one writer
// interface, served by the host's own JPEG, PNG and TIFF codecs
// (libjpeg-turbo, libpng, libtiff) for the common files, and by the image
// library (OpenImageIO), loaded only when a file of another format is met,
// for everything else.
// The rest of the host never learns which codec served a file.
//
// The image library lives in a shared library of ours beside the program
// (globaro_oiio.so): linking it into the program would have every start,
// even `globaro --version`, map and relocate the two hundred and more
// libraries it depends on.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/exif_record.h"
#include "app/metadata.h"

namespace globaro {

// What a file says about itself besides its pixels (see app/metadata.h for
// what becomes of it).
struct FileMetadata {
    CarriedMetadata carried;
    std::string xmp;  // the XMP packet, or the panorama properties the library read
};

// A file's header as the document needs it.
struct ImageFileHeader {
    std::int32_t width = 0, height = 0;
    int channels = 0;
    int alphaChannel = -1;  // -1 when none is marked
    int depth = 8;          // samples as read: 8, 16 (0..65535) or 32 (float)
    FileMetadata metadata;
};

// Reads a file's rows top to bottom.
class ImageDecoder {
public:
    virtual ~ImageDecoder() = default;
    // Reads rows [y0, y0 + rows), channels [0, channels) of each pixel, as
    // samples of the header's depth, into `into`. Rows come in order: y0 is
    // where the previous call ended. False with a one-line reason naming the
    // file.
    virtual bool readRows(std::int32_t y0, std::int32_t rows, int channels, void* into, std::string& error) = 0;
};

// Where a writer's bytes go (a file put in place only when complete).
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual std::size_t writeAt(const void* bytes, std::size_t size, std::int64_t offset) = 0;
    virtual std::size_t readAt(void* bytes, std::size_t size, std::int64_t offset) = 0;
    virtual std::int64_t size() const = 0;
    virtual bool failed() const = 0;
};

// How a file is to be written.
struct ImageEncoding {
    std::string format;  // "jpeg", "png", "tiff", or the image library's name of another format
    std::string target;  // the path the user named, for messages (the bytes go to a file beside it)
    std::int32_t width = 0, height = 0;
    int channels = 0;  // colour (1 or 3) and, when `alpha`, the transparency last
    bool alpha = false;
    int depth = 8;           // samples handed over: 8, 16 (0..65535) or 32 (float)
    bool halfFloat = false;  // 32-bit samples stored as half floats
    const ImageMetadata* metadata = nullptr;
    std::string keywordSegment;  // a JPEG APP13 marker, whole, for the keyword record
    int quality = 98;            // JPEG and WebP
    std::string subsampling = "4:2:0";
};

// Writes a file's rows top to bottom.
class ImageEncoder {
public:
    virtual ~ImageEncoder() = default;
    virtual bool writeRows(std::int32_t y0, std::int32_t rows, const void* samples, std::string& error) = 0;
    // Ends the file; false with a one-line reason.
    virtual bool finish(std::string& error) = 0;
};

// The one-line reasons of the host's own codecs: `cannot read "PATH": ...`
// and `cannot write "PATH": ...` with the codec library's message, or, when
// it left none (an empty string), that the file is damaged or could not be
// written.
std::string readFailure(const std::string& path, const char* message);
std::string writeFailure(const std::string& path, const char* message);

// The host's own codecs. Each returns null with `error` empty when the file
// is one it leaves to the image library (a CMYK JPEG, an interlaced PNG, a
// palette TIFF).
std::unique_ptr<ImageDecoder> openJpegFile(const std::string& path, ImageFileHeader& header, std::string& error);
std::unique_ptr<ImageDecoder> openPngFile(const std::string& path, ImageFileHeader& header, std::string& error);
std::unique_ptr<ImageEncoder> createJpegFile(ByteSink& sink, const std::string& path, const ImageEncoding& encoding,
                                             std::string& error);
std::unique_ptr<ImageEncoder> createPngFile(ByteSink& sink, const std::string& path, const ImageEncoding& encoding,
                                            std::string& error);
std::unique_ptr<ImageDecoder> openTiffFile(const std::string& path, ImageFileHeader& header, std::string& error);
std::unique_ptr<ImageEncoder> createTiffFile(ByteSink& sink, const std::string& path, const ImageEncoding& encoding,
                                             std::string& error);

// The entry the image library's shared library exports, by this name.
constexpr const char* kImageLibraryEntry = "globaroImageLibrary";
constexpr int kImageLibraryVersion = 1;
struct ImageLibrary {
    int version;
    // The library's name for the format it would write `path` in; empty when none.
    std::string (*formatFor)(const std::string& path);
    ImageDecoder* (*open)(const std::string& path, ImageFileHeader& header, std::string& error);
    ImageEncoder* (*create)(ByteSink& sink, const std::string& path, const ImageEncoding& encoding, std::string& error);
};

// Finds a codec by the file's first bytes (reading) or its name (writing):
// the host's own for JPEG, PNG and TIFF, the image library for the rest.
std::unique_ptr<ImageDecoder> openImageFile(const std::string& path, ImageFileHeader& header, std::string& error);
std::unique_ptr<ImageEncoder> createImageFile(ByteSink& sink, const std::string& path, const ImageEncoding& encoding,
                                              std::string& error);
// The format `path` is written in ("jpeg", "png", "tiff", or the library's name);
// empty when no format is known for its name (or the library is missing).
std::string imageFormatFor(const std::string& path);

}  // namespace globaro
