// TIFF files through libtiff: grey and RGB, 8 and 16 bits and 32-bit floats,
// in strips or tiles, with their samples interleaved or in separate planes,
// with whatever compression libtiff was built with. Anything else (palette,
// CMYK, YCbCr, bilevel, half floats, signed or 32-bit integers) is left to
// the image library.

#include <sys/mman.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "app/image_codec.h"
#include "app/metadata.h"

namespace globaro {

namespace {

// The most one strip or tile, decoded, or one band of them across the image
// may take: a header alone never makes the reader allocate more.
constexpr std::size_t kMaxBandBytes = std::size_t{256} << 20;
// The most channels a pixel of a file read may have.
constexpr int kMaxSamples = 64;
// Rows per strip of the files written, each strip deflated on its own.
constexpr std::uint32_t kRowsPerStrip = 32;
// The deflate level of the files written (libtiff's default is 6): 4 costs
// a little size for a large saving in time.
constexpr int kDeflateLevel = 4;
// Above this many bytes of samples a file is written as BigTIFF.
constexpr std::uint64_t kClassicTiffLimit = std::uint64_t{4000} << 20;

// libtiff's messages for one file: the first error is kept for the user,
// warnings (an unknown tag, a damaged one it skips) are not their concern.
// Handled here, none of them reaches the terminal.
struct Messages {
    char error[200] = {};
};

int onError(TIFF*, void* user, const char*, const char* format, va_list args) {
    auto* m = static_cast<Messages*>(user);
    if (m->error[0] != 0) return 1;
    std::vsnprintf(m->error, sizeof m->error, format, args);
    std::replace(std::begin(m->error), std::end(m->error), '\n', ' ');  // one line for the user
    return 1;
}
int onWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Options for one file: its messages go to `messages`, and no single
// allocation of libtiff's exceeds the reader's bound.
struct OpenOptions {
    explicit OpenOptions(Messages& messages) : options(TIFFOpenOptionsAlloc()) {
        TIFFOpenOptionsSetErrorHandlerExtR(options, onError, &messages);
        TIFFOpenOptionsSetWarningHandlerExtR(options, onWarning, &messages);
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kMaxBandBytes));
    }
    ~OpenOptions() { TIFFOpenOptionsFree(options); }
    OpenOptions(const OpenOptions&) = delete;
    OpenOptions& operator=(const OpenOptions&) = delete;
    TIFFOpenOptions* options;
};

// The carried EXIF record of a TIFF file: the file is itself a block of
// directories like a JPEG file's EXIF block, so its main directory and the
// EXIF and GPS directories it points to are read from the file mapped into
// memory (only the pages those directories lie on are touched).
ExifRecord fileExif(const std::string& path) {
    ExifRecord record;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return record;
    struct stat st {};
    if (fstat(fileno(f), &st) == 0 && st.st_size > 0) {
        const auto size = static_cast<std::size_t>(st.st_size);
        void* base = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fileno(f), 0);
        if (base != MAP_FAILED) {
            ExifRecord all;
            if (parseExif(static_cast<const std::uint8_t*>(base), size, all)) record = carriedExif(all);
            munmap(base, size);
        }
    }
    std::fclose(f);
    return record;
}

class TiffDecoder final : public ImageDecoder {
public:
    ~TiffDecoder() override {
        if (tiff_ != nullptr) TIFFClose(tiff_);
    }

    static std::unique_ptr<TiffDecoder> open(const std::string& path, ImageFileHeader& header, std::string& error) {
        std::unique_ptr<TiffDecoder> d(new TiffDecoder(path));
        {
            OpenOptions options(d->messages_);
            // Read, not mapped: pages of a mapped file would count as the
            // program's memory until the file is closed.
            d->tiff_ = TIFFOpenExt(path.c_str(), "rm", options.options);
        }
        if (d->tiff_ == nullptr) {
            error = d->failure();
            return nullptr;
        }
        if (!d->start(header)) {
            if (!d->declined_) error = d->failure();
            return nullptr;
        }
        return d;
    }

    bool readRows(std::int32_t y0, std::int32_t rows, int channels, void* into, std::string& error) override {
        if (y0 != next_ || channels < 1 || channels > samples_ || rows < 0 || rows > height_ - y0) {
            error = "cannot read \"" + path_ + "\": rows asked out of order";
            return false;
        }
        const std::size_t outRow = static_cast<std::size_t>(width_) * static_cast<std::size_t>(channels) * bytes_;
        auto* out = static_cast<std::uint8_t*>(into);
        for (std::int32_t j = 0; j < rows; ++j, out += outRow) {
            const std::uint8_t* row = fileRow(y0 + j, channels == samples_ ? out : nullptr);
            if (row == nullptr) {
                error = failure();
                return false;
            }
            if (row != out) pick(row, channels, out);
        }
        next_ += rows;
        return true;
    }

private:
    explicit TiffDecoder(std::string path) : path_(std::move(path)) {}

    std::string failure() const { return readFailure(path_, messages_.error); }
    bool refuse(const char* why) {
        std::snprintf(messages_.error, sizeof messages_.error, "%s", why);
        return false;
    }
    bool decline() {
        declined_ = true;
        return false;
    }

    bool start(ImageFileHeader& header) {
        std::uint32_t width = 0, height = 0;
        std::uint16_t bits = 0, samples = 0, format = 0, photometric = 0, planar = 0, compression = 0;
        if (!TIFFGetField(tiff_, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tiff_, TIFFTAG_IMAGELENGTH, &height))
            return refuse("the file has no image size");
        if (!TIFFGetField(tiff_, TIFFTAG_PHOTOMETRIC, &photometric)) return decline();
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_SAMPLEFORMAT, &format);
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_PLANARCONFIG, &planar);
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_COMPRESSION, &compression);
        const int colour = photometric == PHOTOMETRIC_RGB ? 3 : photometric == PHOTOMETRIC_MINISBLACK ? 1 : 0;
        const bool sampleKnown =
            (format == SAMPLEFORMAT_UINT && (bits == 8 || bits == 16)) || (format == SAMPLEFORMAT_IEEEFP && bits == 32);
        if (colour == 0 || !sampleKnown || samples < colour || !TIFFIsCODECConfigured(compression) ||
            compression == COMPRESSION_OJPEG)
            return decline();
        if (width == 0 || height == 0 || width > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()) ||
            height > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
            return refuse("the image size is out of range");
        if (samples > kMaxSamples || double(width) * samples * (bits / 8) > double(kMaxBandBytes))
            return refuse("its pixels have too many channels");
        width_ = static_cast<std::int32_t>(width);
        height_ = static_cast<std::int32_t>(height);
        samples_ = samples;
        bytes_ = bits / 8;
        separate_ = planar == PLANARCONFIG_SEPARATE && samples > 1;
        if (TIFFIsTiled(tiff_)) {
            std::uint32_t tileWidth = 0, tileLength = 0;
            TIFFGetField(tiff_, TIFFTAG_TILEWIDTH, &tileWidth);
            TIFFGetField(tiff_, TIFFTAG_TILELENGTH, &tileLength);
            if (tileWidth == 0 || tileLength == 0) return refuse("its tiles have no size");
            unitWidth_ = tileWidth;
            bandRows_ = tileLength;
        } else {
            std::uint32_t rowsPerStrip = 0;
            TIFFGetFieldDefaulted(tiff_, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
            unitWidth_ = width;
            bandRows_ = std::clamp<std::uint32_t>(rowsPerStrip, 1, height);
            // Interleaved strips are read a row at a time, straight into the
            // caller's rows, with no strip held.
            scanlines_ = !separate_;
        }
        if (!scanlines_) {
            // One band of strips or tiles across the image, as interleaved
            // pixels, and one strip or tile as the file holds it.
            const double band = double(bandRows_) * double(std::max<std::uint32_t>(unitWidth_, width)) *
                                double(samples_) * double(bytes_);
            const tmsize_t unit = TIFFIsTiled(tiff_) ? TIFFTileSize(tiff_) : TIFFStripSize(tiff_);
            if (band > double(kMaxBandBytes) || unit <= 0 || static_cast<std::size_t>(unit) > kMaxBandBytes)
                return refuse("its strips or tiles are too large to read");
            unitBytes_ = static_cast<std::size_t>(unit);
        }
        header.width = width_;
        header.height = height_;
        header.channels = samples_;
        header.depth = bits;
        std::uint16_t extraCount = 0;
        std::uint16_t* extra = nullptr;
        if (TIFFGetField(tiff_, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extra != nullptr)
            for (int i = 0; i < extraCount && colour + i < samples_; ++i)
                if (extra[i] == EXTRASAMPLE_ASSOCALPHA || extra[i] == EXTRASAMPLE_UNASSALPHA) {
                    header.alphaChannel = colour + i;
                    break;
                }
        readMetadata(header.metadata);
        return true;
    }

    void readMetadata(FileMetadata& m) {
        std::uint32_t size = 0;
        void* data = nullptr;
        if (TIFFGetField(tiff_, TIFFTAG_ICCPROFILE, &size, &data) && data != nullptr) {
            const auto* bytes = static_cast<const std::uint8_t*>(data);
            m.carried.iccProfile.assign(bytes, bytes + size);
        }
        if (TIFFGetField(tiff_, TIFFTAG_XMLPACKET, &size, &data) && data != nullptr)
            m.xmp.assign(static_cast<const char*>(data), size);
        m.carried.exif = fileExif(path_);
    }

    // Row `y` as interleaved file samples: straight into `direct` when that
    // is given and the file allows it, else into the decoder's own memory.
    // Null on failure.
    const std::uint8_t* fileRow(std::int32_t y, std::uint8_t* direct) {
        const std::size_t rowBytes = static_cast<std::size_t>(width_) * samples_ * bytes_;
        if (scanlines_) {
            std::uint8_t* to = direct;
            if (to == nullptr) {
                if (!reserve(line_, rowBytes)) return nullptr;
                to = line_.data();
            }
            return TIFFReadScanline(tiff_, to, static_cast<std::uint32_t>(y), 0) == 1 ? to : nullptr;
        }
        const auto band = static_cast<std::int64_t>(static_cast<std::uint32_t>(y) / bandRows_);
        if (band != bandIndex_ && !readBand(static_cast<std::uint32_t>(band))) return nullptr;
        return band_.data() + (static_cast<std::size_t>(y) - static_cast<std::size_t>(band) * bandRows_) * rowBytes;
    }

    bool reserve(std::vector<std::uint8_t>& buffer, std::size_t bytes) {
        if (buffer.size() >= bytes) return true;
        try {
            buffer.resize(bytes);
        } catch (const std::bad_alloc&) {
            return refuse("not enough memory");
        }
        return true;
    }

    // Decodes band `band` (its strips or tiles across the image, every plane)
    // into `band_` as interleaved pixels.
    bool readBand(std::uint32_t band) {
        bandIndex_ = -1;
        const std::size_t rowBytes = static_cast<std::size_t>(width_) * samples_ * bytes_;
        const std::uint32_t y0 = band * bandRows_;
        const std::uint32_t rows = std::min<std::uint32_t>(bandRows_, static_cast<std::uint32_t>(height_) - y0);
        if (!reserve(band_, rowBytes * bandRows_) || !reserve(unit_, unitBytes_)) return false;
        const bool tiled = TIFFIsTiled(tiff_);
        const int planes = separate_ ? samples_ : 1;
        const int unitSamples = separate_ ? 1 : samples_;
        for (int plane = 0; plane < planes; ++plane) {
            for (std::uint32_t x0 = 0; x0 < static_cast<std::uint32_t>(width_); x0 += unitWidth_) {
                const tmsize_t got =
                    tiled ? TIFFReadEncodedTile(tiff_,
                                                TIFFComputeTile(tiff_, x0, y0, 0, static_cast<std::uint16_t>(plane)),
                                                unit_.data(), static_cast<tmsize_t>(unitBytes_))
                          : TIFFReadEncodedStrip(tiff_, TIFFComputeStrip(tiff_, y0, static_cast<std::uint16_t>(plane)),
                                                 unit_.data(), static_cast<tmsize_t>(unitBytes_));
                const std::size_t unitRow = static_cast<std::size_t>(unitWidth_) * unitSamples * bytes_;
                if (got < 0 || static_cast<std::size_t>(got) < unitRow * (tiled ? bandRows_ : rows))
                    return messages_.error[0] != 0 ? false : refuse("the file ends early");
                const std::uint32_t across = std::min<std::uint32_t>(unitWidth_, width_ - x0);
                for (std::uint32_t j = 0; j < rows; ++j) {
                    const std::uint8_t* from = unit_.data() + j * unitRow;
                    std::uint8_t* to = band_.data() + j * rowBytes + (x0 * samples_ + plane) * bytes_;
                    if (!separate_) {
                        std::memcpy(to, from, static_cast<std::size_t>(across) * samples_ * bytes_);
                        continue;
                    }
                    for (std::uint32_t i = 0; i < across; ++i)
                        std::memcpy(to + i * samples_ * bytes_, from + i * bytes_, bytes_);
                }
            }
        }
        bandIndex_ = band;
        return true;
    }

    // The first `channels` samples of each pixel of `row`.
    void pick(const std::uint8_t* row, int channels, std::uint8_t* out) const {
        const std::size_t from = static_cast<std::size_t>(samples_) * bytes_,
                          to = static_cast<std::size_t>(channels) * bytes_;
        if (from == to) {
            std::memcpy(out, row, static_cast<std::size_t>(width_) * to);
            return;
        }
        for (std::int32_t x = 0; x < width_; ++x) std::memcpy(out + x * to, row + x * from, to);
    }

    std::string path_;
    Messages messages_;
    TIFF* tiff_ = nullptr;
    std::int32_t width_ = 0, height_ = 0;
    int samples_ = 0;
    std::size_t bytes_ = 1;
    bool separate_ = false;
    bool scanlines_ = false;
    std::uint32_t unitWidth_ = 0, bandRows_ = 1;
    std::size_t unitBytes_ = 0;
    std::vector<std::uint8_t> line_, band_, unit_;
    std::int64_t bandIndex_ = -1;
    std::int32_t next_ = 0;
    bool declined_ = false;
};

// libtiff's view of the sink: a file it writes, seeks in and reads back.
struct SinkFile {
    ByteSink* sink;
    std::int64_t at = 0;
};

tmsize_t sinkRead(thandle_t h, void* bytes, tmsize_t size) {
    auto* f = static_cast<SinkFile*>(h);
    const std::size_t n = f->sink->readAt(bytes, static_cast<std::size_t>(size), f->at);
    f->at += static_cast<std::int64_t>(n);
    return static_cast<tmsize_t>(n);
}
tmsize_t sinkWrite(thandle_t h, void* bytes, tmsize_t size) {
    auto* f = static_cast<SinkFile*>(h);
    const std::size_t n = f->sink->writeAt(bytes, static_cast<std::size_t>(size), f->at);
    f->at += static_cast<std::int64_t>(n);
    return static_cast<tmsize_t>(n);
}
toff_t sinkSeek(thandle_t h, toff_t offset, int whence) {
    auto* f = static_cast<SinkFile*>(h);
    const auto o = static_cast<std::int64_t>(offset);
    f->at = whence == SEEK_SET ? o : whence == SEEK_CUR ? f->at + o : f->sink->size() + o;
    return static_cast<toff_t>(f->at);
}
int sinkClose(thandle_t) { return 0; }
toff_t sinkSize(thandle_t h) { return static_cast<toff_t>(static_cast<SinkFile*>(h)->sink->size()); }
int sinkMap(thandle_t, void**, toff_t*) { return 0; }
void sinkUnmap(thandle_t, void*, toff_t) {}

// A big-endian value of an EXIF tag.
std::uint32_t bigEndian(const std::vector<std::uint8_t>& v, std::size_t at, int bytes) {
    std::uint32_t x = 0;
    for (int i = 0; i < bytes; ++i) x = x << 8 | (at + i < v.size() ? v[at + i] : 0u);
    return x;
}

class TiffEncoder final : public ImageEncoder {
public:
    TiffEncoder(ByteSink& sink, std::string path) : path_(std::move(path)) { file_.sink = &sink; }
    ~TiffEncoder() override {
        if (tiff_ != nullptr) TIFFCleanup(tiff_);
    }

    bool begin(const std::string& partialPath, const ImageEncoding& e) {
        const std::uint64_t bytes =
            std::uint64_t(e.width) * std::uint64_t(e.height) * std::uint64_t(e.channels) * std::uint64_t(e.depth / 8);
        {
            OpenOptions options(messages_);
            tiff_ = TIFFClientOpenExt(partialPath.c_str(), bytes > kClassicTiffLimit ? "w8" : "w", &file_, sinkRead,
                                      sinkWrite, sinkSeek, sinkClose, sinkSize, sinkMap, sinkUnmap, options.options);
        }
        if (tiff_ == nullptr) return false;
        const int colour = e.channels - (e.alpha ? 1 : 0);
        const bool floats = e.depth == 32;
        bool ok = TIFFSetField(tiff_, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(e.width)) &&
                  TIFFSetField(tiff_, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(e.height)) &&
                  TIFFSetField(tiff_, TIFFTAG_BITSPERSAMPLE, e.depth) &&
                  TIFFSetField(tiff_, TIFFTAG_SAMPLESPERPIXEL, e.channels) &&
                  TIFFSetField(tiff_, TIFFTAG_SAMPLEFORMAT, floats ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT) &&
                  TIFFSetField(tiff_, TIFFTAG_PHOTOMETRIC, colour == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB) &&
                  TIFFSetField(tiff_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
                  TIFFSetField(tiff_, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
                  TIFFSetField(tiff_, TIFFTAG_ROWSPERSTRIP, kRowsPerStrip) &&
                  TIFFSetField(tiff_, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
                  TIFFSetField(tiff_, TIFFTAG_ZIPQUALITY, kDeflateLevel) &&
                  TIFFSetField(tiff_, TIFFTAG_PREDICTOR, floats ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL);
        if (ok && e.alpha) {
            const std::uint16_t unassociated = EXTRASAMPLE_UNASSALPHA;
            ok = TIFFSetField(tiff_, TIFFTAG_EXTRASAMPLES, 1, &unassociated);
        }
        if (ok && e.metadata != nullptr) ok = writeMetadata(*e.metadata);
        rowBytes_ = static_cast<std::size_t>(e.width) * static_cast<std::size_t>(e.channels) * (e.depth / 8);
        return ok;
    }

    bool writeRows(std::int32_t y0, std::int32_t rows, const void* samples, std::string& error) override {
        // libtiff's scanline writer takes a row it may change (the
        // predictor works in place), so each row goes through a copy.
        if (row_.size() != rowBytes_) row_.resize(rowBytes_);
        const auto* from = static_cast<const std::uint8_t*>(samples);
        for (std::int32_t j = 0; j < rows; ++j, from += rowBytes_) {
            std::memcpy(row_.data(), from, rowBytes_);
            if (TIFFWriteScanline(tiff_, row_.data(), static_cast<std::uint32_t>(y0 + j), 0) != 1) {
                error = failure();
                return false;
            }
        }
        return true;
    }

    bool finish(std::string& error) override {
        const bool ok = TIFFWriteDirectory(tiff_) == 1 && !file_.sink->failed();
        TIFFCleanup(tiff_);
        tiff_ = nullptr;
        if (!ok) error = failure();
        return ok;
    }

    std::string failure() const { return writeFailure(path_, messages_.error); }

private:
    // The camera, author, date and resolution tags of the main directory,
    // the colour profile, and the panorama's XMP packet.
    bool writeMetadata(const ImageMetadata& m) {
        bool ok = true;
        float xResolution = 0, yResolution = 0;
        for (const ExifTag& t : m.carried.exif.main) {
            if (t.type == 2 && t.count > 0) {
                const std::string text(t.value.begin(), std::find(t.value.begin(), t.value.end(), std::uint8_t{0}));
                ok = ok && TIFFSetField(tiff_, t.tag, text.c_str());
            } else if (t.type == 5 && t.count > 0 && (t.tag == TIFFTAG_XRESOLUTION || t.tag == TIFFTAG_YRESOLUTION)) {
                const std::uint32_t den = bigEndian(t.value, 4, 4);
                const float value = den != 0 ? static_cast<float>(double(bigEndian(t.value, 0, 4)) / den) : 0.0f;
                (t.tag == TIFFTAG_XRESOLUTION ? xResolution : yResolution) = value;
            } else if (t.type == 3 && t.count > 0 && t.tag == TIFFTAG_RESOLUTIONUNIT) {
                ok = ok && TIFFSetField(tiff_, t.tag, static_cast<std::uint16_t>(bigEndian(t.value, 0, 2)));
            }
        }
        if (xResolution > 0 && yResolution > 0)
            ok = ok && TIFFSetField(tiff_, TIFFTAG_XRESOLUTION, xResolution) &&
                 TIFFSetField(tiff_, TIFFTAG_YRESOLUTION, yResolution);
        const std::vector<std::uint8_t>& icc = m.carried.iccProfile;
        if (!icc.empty()) ok = ok && TIFFSetField(tiff_, TIFFTAG_ICCPROFILE, std::uint32_t(icc.size()), icc.data());
        xmp_ = panoramaXmp(m);
        if (!xmp_.empty()) ok = ok && TIFFSetField(tiff_, TIFFTAG_XMLPACKET, std::uint32_t(xmp_.size()), xmp_.data());
        return ok;
    }

    std::string path_;
    Messages messages_;
    SinkFile file_;
    TIFF* tiff_ = nullptr;
    std::size_t rowBytes_ = 0;
    std::vector<std::uint8_t> row_;
    std::string xmp_;
};

}  // namespace

std::unique_ptr<ImageDecoder> openTiffFile(const std::string& path, ImageFileHeader& header, std::string& error) {
    return TiffDecoder::open(path, header, error);
}

std::unique_ptr<ImageEncoder> createTiffFile(ByteSink& sink, const std::string& path, const ImageEncoding& encoding,
                                             std::string& error) {
    auto encoder = std::make_unique<TiffEncoder>(sink, encoding.target.empty() ? path : encoding.target);
    if (!encoder->begin(path, encoding)) {
        error = encoder->failure();
        return nullptr;
    }
    return encoder;
}

}  // namespace globaro
