#include "app/image_io.h"

#include "app/filter_host.h"
#include "app/metadata.h"
#include "platform/checked_file.h"

#include "app/image_codec.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>

namespace globaro {

namespace {

// Host 16-bit samples run 0..32768; files use 0..65535.
std::uint16_t fileToHost16(std::uint16_t v) { return static_cast<std::uint16_t>((v * 32768u + 32767u) / 65535u); }
std::uint16_t hostToFile16(std::uint16_t v) {
    return static_cast<std::uint16_t>((std::min<std::uint32_t>(v, 32768u) * 65535u + 16384u) / 32768u);
}

// Rescales `count` 16-bit samples in place.
template <std::uint16_t (*Convert)(std::uint16_t)>
void rescale16(std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::uint16_t v;
        std::memcpy(&v, bytes + 2 * i, 2);
        v = Convert(v);
        std::memcpy(bytes + 2 * i, &v, 2);
    }
}

// Bytes of the document's file-value bits for one row: rows start on a byte
// of their own, so that the reader and a writer of earlier rows never share
// one.
std::size_t fileValueBitRowBytes(const Document& doc) {
    return (static_cast<std::size_t>(doc.width) * static_cast<std::size_t>(doc.planes()) + 7) / 8;
}

// Sets the file-value bit of every sample of rows [y0, y0 + rows), still
// holding its file value, that is not the value its host value maps back to.
void noteFileValues(Document& doc, std::int32_t y0, std::int32_t rows) {
    if (doc.fileValueBits.empty()) return;
    const std::size_t rowSamples = static_cast<std::size_t>(doc.width) * static_cast<std::size_t>(doc.planes());
    for (std::int32_t y = y0; y < y0 + rows; ++y) {
        const std::uint8_t* samples = doc.sample(0, y, 0);
        std::uint8_t* bits = doc.fileValueBits.data() + static_cast<std::size_t>(y) * fileValueBitRowBytes(doc);
        for (std::size_t i = 0; i < rowSamples; ++i) {
            std::uint16_t v;
            std::memcpy(&v, samples + 2 * i, 2);
            if (hostToFile16(fileToHost16(v)) != v) bits[i >> 3] |= static_cast<std::uint8_t>(1u << (i & 7));
        }
    }
}

// File values of `count` 16-bit host samples that start at the beginning of
// document row `y0`, in place: a sample whose file-value bit is set gets the
// other file value of its host value, when it has one (a sample the filter
// changed still reads back as the same host value).
void hostToFileRows(const Document& doc, std::int32_t y0, std::uint8_t* samples, std::size_t count) {
    const std::size_t rowSamples = static_cast<std::size_t>(doc.width) * static_cast<std::size_t>(doc.planes());
    if (rowSamples == 0) return;
    const bool bitsKept =
        doc.depth == 16 && doc.fileValueBits.size() == fileValueBitRowBytes(doc) * static_cast<std::size_t>(doc.height);
    for (std::size_t first = 0, row = static_cast<std::size_t>(y0); first < count; first += rowSamples, ++row) {
        const std::uint8_t* bits = bitsKept ? doc.fileValueBits.data() + row * fileValueBitRowBytes(doc) : nullptr;
        std::uint8_t* rowStart = samples + 2 * first;
        const std::size_t n = std::min(rowSamples, count - first);
        for (std::size_t at = 0; at < n; ++at) {
            std::uint16_t h;
            std::memcpy(&h, rowStart + 2 * at, 2);
            std::uint16_t v = hostToFile16(h);
            if (bits != nullptr && ((bits[at >> 3] >> (at & 7)) & 1u)) {
                if (v < 65535 && fileToHost16(static_cast<std::uint16_t>(v + 1)) == h)
                    ++v;
                else if (v > 0 && fileToHost16(static_cast<std::uint16_t>(v - 1)) == h)
                    --v;
            }
            std::memcpy(rowStart + 2 * at, &v, 2);
        }
    }
}

// Picks planes out of file pixels: plane p of each document pixel comes from
// channel `channels[p]` of the file pixel.
template <int Bytes>
void pickChannels(const std::uint8_t* file, int fileChannels, std::uint8_t* doc, int planes, const int* channels,
                  std::size_t pixels) {
    for (std::size_t x = 0; x < pixels; ++x) {
        const std::uint8_t* src = file + x * static_cast<std::size_t>(fileChannels) * Bytes;
        std::uint8_t* dst = doc + x * static_cast<std::size_t>(planes) * Bytes;
        for (int p = 0; p < planes; ++p) std::memcpy(dst + p * Bytes, src + channels[p] * Bytes, Bytes);
    }
}

// Packs `pixels` pixels of `planes` samples of `bytes` bytes each, in place,
// into pixels without their last sample.
void dropLastPlane(std::uint8_t* samples, std::size_t pixels, int planes, std::size_t bytes) {
    const std::size_t from = static_cast<std::size_t>(planes) * bytes, to = from - bytes;
    if (bytes == 1 && planes == 4) {
        for (std::size_t i = 0; i < pixels; ++i) {
            samples[i * 3] = samples[i * 4];
            samples[i * 3 + 1] = samples[i * 4 + 1];
            samples[i * 3 + 2] = samples[i * 4 + 2];
        }
        return;
    }
    for (std::size_t i = 0; i < pixels; ++i) std::memmove(samples + i * to, samples + i * from, to);
}

// Rows per read or write call: strips keep the extra memory small.
constexpr std::int32_t kStripRows = 64;
// The most a file's top rows, read before its document is made, may take
// (but always one row).
constexpr std::size_t kTopRowsBytes = std::size_t{4} << 20;

// Hands an encoder's bytes to a checked file: every write is checked
// there, and the file is put in place only when all of it is on disk.
class CheckedFileSink final : public ByteSink {
public:
    explicit CheckedFileSink(CheckedFile& file) : file_(file) {}
    std::size_t writeAt(const void* bytes, std::size_t size, std::int64_t offset) override {
        return file_.writeAt(bytes, size, offset);
    }
    std::size_t readAt(void* bytes, std::size_t size, std::int64_t offset) override {
        return file_.readAt(bytes, size, offset);
    }
    std::int64_t size() const override { return file_.size(); }
    bool failed() const override { return file_.failed(); }

private:
    CheckedFile& file_;
};

// The JPEG marker that carries the keyword record: APP13, its length, the
// record behind the "Photoshop 3.0" header.
std::string keywordMarker(const Document& doc) {
    KeywordList keywords = doc.keywords;
    addExportKeywords(keywords, ExportPicture{}, kKeywordJobPlain);
    const std::string record = buildIptcResource(keywords, true);
    const std::size_t length = record.size() + 2;
    return std::string{'\xff', '\xed', static_cast<char>(length >> 8), static_cast<char>(length & 0xff)} + record;
}

}  // namespace

struct DocumentReader::File {
    std::unique_ptr<ImageDecoder> in;
    std::string path;
    int fileChannels = 0;               // channels read from each file pixel: 0 up to the last one used
    int channels[4] = {0, 1, 2, 3};     // the file channel of each document plane
    bool direct = true;                 // the channels read are the document's planes, in order
    std::vector<std::uint8_t> topRows;  // the rows open() read, as read
    std::int32_t topRowCount = 0;

    // Reads rows [y0, y0 + rows) into `into`; false with a one-line reason.
    bool read(std::int32_t y0, std::int32_t rows, void* into, std::string& error) {
        return in->readRows(y0, rows, fileChannels, into, error);
    }
};

DocumentReader::DocumentReader() = default;
DocumentReader::~DocumentReader() = default;

bool DocumentReader::open(const std::string& path, Document& doc, std::string& error) {
    file_.reset();
    path_ = path;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = "cannot read \"" + path + "\": no such file";
        return false;
    }
    ImageFileHeader header;
    auto in = openImageFile(path, header, error);
    if (!in) return false;
    if (header.channels < 1) {
        error = "cannot read \"" + path + "\": the image has no channels";
        return false;
    }
    // Which channels become colour and alpha.
    const int alphaChannel = header.alphaChannel >= 0                         ? header.alphaChannel
                             : (header.channels == 2 || header.channels == 4) ? header.channels - 1
                                                                              : -1;
    const int colorChannels = (header.channels - (alphaChannel >= 0 ? 1 : 0)) >= 3 ? 3 : 1;
    const bool hasAlpha = alphaChannel >= 0;
    const int depth = header.depth;
    if (!checkDocument(header.width, header.height, colorChannels, hasAlpha, depth, error)) {
        error = "cannot read \"" + path + "\": " + error;
        return false;
    }
    auto file = std::make_unique<File>();
    const int planes = colorChannels + (hasAlpha ? 1 : 0);
    file->fileChannels = 0;
    for (int p = 0; p < planes; ++p) {
        file->channels[p] = p < colorChannels ? p : alphaChannel;
        file->fileChannels = std::max(file->fileChannels, file->channels[p] + 1);
        file->direct = file->direct && file->channels[p] == p;
    }
    file->path = path;
    file->in = std::move(in);
    // The header alone never decides the document's memory: the file must
    // first deliver its top rows (a few MiB at most), which a damaged or
    // hostile file claiming a huge size cannot.
    const std::size_t fileRowBytes = static_cast<std::size_t>(header.width) * file->fileChannels * (depth / 8);
    file->topRowCount = static_cast<std::int32_t>(std::clamp<std::size_t>(
        kTopRowsBytes / fileRowBytes, 1, static_cast<std::size_t>(std::min(kStripRows, header.height))));
    try {
        file->topRows.resize(fileRowBytes * static_cast<std::size_t>(file->topRowCount));
    } catch (const std::bad_alloc&) {
        error = "cannot read \"" + path + "\": not enough memory";
        return false;
    }
    if (!file->read(0, file->topRowCount, file->topRows.data(), error)) return false;
    Document d;
    if (!makeDocument(d, header.width, header.height, colorChannels, hasAlpha, depth, error)) {
        error = "cannot read \"" + path + "\": " + error;
        return false;
    }
    if (depth == 16) {
        try {
            d.fileValueBits.resize(fileValueBitRowBytes(d) * static_cast<std::size_t>(d.height));
        } catch (const std::bad_alloc&) {
            error = "cannot read \"" + path + "\": not enough memory";
            return false;
        }
    }
    d.metadata = readMetadata(std::move(header.metadata.carried), header.metadata.xmp, path);
    file_ = std::move(file);
    doc = std::move(d);
    return true;
}

bool DocumentReader::readRows(Document& doc, RowGate* gate, std::string& error) {
    // However it ends, a waiting consumer learns that no more rows come.
    struct EndGate {
        RowGate* gate;
        ~EndGate() {
            if (gate != nullptr) gate->end();
        }
    } ending{gate};
    if (!file_) {
        error = "cannot read the image: no file is open";
        return false;
    }
    File& f = *file_;
    const int planes = doc.planes();
    // When the document's planes are the file's first channels in order, the
    // strips are read straight into the document; otherwise through a strip
    // of file pixels.
    const int bps = doc.bytesPerSample();
    const std::size_t fileRowBytes = static_cast<std::size_t>(doc.width) * f.fileChannels * bps;
    std::vector<std::uint8_t> strip;
    if (!f.direct) {
        try {
            strip.resize(fileRowBytes * static_cast<std::size_t>(std::min(kStripRows, doc.height)));
        } catch (const std::bad_alloc&) {
            error = "cannot read \"" + f.path + "\": not enough memory";
            return false;
        }
    }
    const std::size_t rowSamples = static_cast<std::size_t>(doc.width) * planes;
    for (std::int32_t y0 = 0; y0 < doc.height;) {
        const bool top = y0 == 0 && f.topRowCount > 0;
        const std::int32_t rows = top ? f.topRowCount : std::min(kStripRows, doc.height - y0);
        std::uint8_t* target = doc.sample(0, y0, 0);
        std::uint8_t* fileRows = top ? f.topRows.data() : f.direct ? target : strip.data();
        if (!top && !f.read(y0, rows, fileRows, error)) return false;
        if (f.direct) {
            if (top) std::memcpy(target, fileRows, doc.rowBytes() * static_cast<std::size_t>(rows));
        } else {
            for (std::int32_t j = 0; j < rows; ++j) {
                const std::uint8_t* src = fileRows + static_cast<std::size_t>(j) * fileRowBytes;
                std::uint8_t* dst = target + static_cast<std::size_t>(j) * doc.rowBytes();
                if (bps == 1)
                    pickChannels<1>(src, f.fileChannels, dst, planes, f.channels, doc.width);
                else if (bps == 2)
                    pickChannels<2>(src, f.fileChannels, dst, planes, f.channels, doc.width);
                else
                    pickChannels<4>(src, f.fileChannels, dst, planes, f.channels, doc.width);
            }
        }
        if (top) std::vector<std::uint8_t>().swap(f.topRows);
        if (doc.depth == 16) {
            noteFileValues(doc, y0, rows);
            rescale16<fileToHost16>(target, rowSamples * rows);
        }
        y0 += rows;
        if (gate != nullptr && !gate->publish(y0)) {
            error = "cannot read \"" + f.path + "\": stopped";
            return false;
        }
    }
    file_.reset();
    return true;
}

bool loadDocument(const std::string& path, Document& doc, std::string& error) {
    Document d;
    DocumentReader reader;
    if (!reader.open(path, d, error) || !reader.readRows(d, nullptr, error)) return false;
    doc = std::move(d);
    return true;
}

bool loadMask(const std::string& path, std::int32_t width, std::int32_t height, std::vector<std::uint8_t>& mask,
              std::string& error) {
    ImageFileHeader header;
    std::string why;
    auto in = openImageFile(path, header, why);
    if (!in) {
        error = "cannot read mask \"" + path + "\": " + why.substr(why.find("\": ") + 3);
        return false;
    }
    if (header.width != width || header.height != height) {
        error = "mask \"" + path + "\" is " + std::to_string(header.width) + " x " + std::to_string(header.height) +
                ", the image is " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    // The first channel of each pixel, read a strip at a time as the file
    // stores it. A short or damaged mask must not pass for one whose
    // missing rows are unselected.
    const int bytes = header.depth / 8;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * header.channels * bytes;
    std::vector<std::uint8_t> selected(static_cast<std::size_t>(width) * height);
    std::vector<std::uint8_t> strip(rowBytes * static_cast<std::size_t>(std::min(kStripRows, height)));
    for (std::int32_t y0 = 0; y0 < height; y0 += kStripRows) {
        const std::int32_t rows = std::min(kStripRows, height - y0);
        if (!in->readRows(y0, rows, header.channels, strip.data(), why)) {
            error = "cannot read mask \"" + path + "\": " + why.substr(why.find("\": ") + 3);
            return false;
        }
        std::uint8_t* to = selected.data() + static_cast<std::size_t>(y0) * width;
        const std::size_t pixels = static_cast<std::size_t>(width) * rows;
        for (std::size_t i = 0; i < pixels; ++i) {
            const std::uint8_t* sample = strip.data() + i * header.channels * bytes;
            if (bytes == 1) {
                to[i] = sample[0];
            } else if (bytes == 2) {
                std::uint16_t v;
                std::memcpy(&v, sample, 2);
                to[i] = static_cast<std::uint8_t>((v * 255u + 32767u) / 65535u);
            } else {
                float v;
                std::memcpy(&v, sample, 4);
                to[i] = static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
            }
        }
    }
    mask = std::move(selected);
    return true;
}

bool checkImageTarget(const std::string& path, std::string& error) {
    if (!checkWritableTarget(path, error)) return false;
    if (imageFormatFor(path).empty()) {
        error = "cannot write \"" + path + "\": no image format is known for this file name";
        return false;
    }
    return true;
}

namespace {

LossyFileOptions& lossyFileOptions() {
    static LossyFileOptions options;
    return options;
}

// The largest side each format holds, where it is smaller than ours.
struct SideLimit {
    const char* format;
    std::int64_t side;
};
constexpr SideLimit kSideLimits[] = {{"jpeg", 65500}, {"webp", 16383}};

}  // namespace

void setLossyFileOptions(const LossyFileOptions& options) { lossyFileOptions() = options; }

std::string unusedSubsamplingNote(const std::string& path) {
    const std::string& asked = lossyFileOptions().subsampling;
    if (asked == LossyFileOptions{}.subsampling) return {};
    const std::string format = imageFormatFor(path);  // an unknown format is said elsewhere
    if (format.empty() || format == "jpeg") return {};
    return "--subsampling " + asked + " is for JPEG files; \"" + path + "\" is written without it" +
           (format == "webp" ? " (WebP is always 4:2:0)" : "");
}

bool checkImageFits(const std::string& path, std::int64_t width, std::int64_t height, std::string& error) {
    const std::string format = imageFormatFor(path);  // an unknown format is said elsewhere
    for (const SideLimit& limit : kSideLimits) {
        if (format != limit.format || (width <= limit.side && height <= limit.side)) continue;
        error = "cannot write \"" + path + "\": the image is " + std::to_string(width) + " x " +
                std::to_string(height) + " pixels, and a " + (format == "jpeg" ? "JPEG" : "WebP") +
                " file holds at most " + std::to_string(limit.side) + " a side";
        return false;
    }
    return true;
}

struct ImageFileWriter::State {
    const Document* doc = nullptr;
    std::string path;
    CheckedFile file;
    std::unique_ptr<CheckedFileSink> sink;
    std::unique_ptr<ImageEncoder> out;
    int depth = 8;  // of the samples handed to the encoder
    int fileChannels = 0;
    bool asStored = false;
    std::int32_t written = 0;
    std::vector<std::uint8_t> strip;

    // A failed write of the file itself says best what went wrong.
    std::string failure(const std::string& reason) const { return file.failed() ? file.failureReason() : reason; }
};

ImageFileWriter::ImageFileWriter() = default;
ImageFileWriter::~ImageFileWriter() { abandon(); }

bool ImageFileWriter::begin(const std::string& path, const Document& doc, int depth, bool writeAlpha,
                            std::string& error) {
    abandon();
    if (depth == 0) depth = doc.depth;
    if (depth != 8 && depth != 16 && depth != 32) {
        error = "cannot write \"" + path + "\": only 8-bit, 16-bit and 32-bit float images can be written";
        return false;
    }
    const std::size_t rowSamples = static_cast<std::size_t>(doc.width) * doc.planes();
    if (doc.width < 1 || doc.height < 1 || doc.pixels.size() < rowSamples * doc.height * doc.bytesPerSample()) {
        error = "cannot write \"" + path + "\": the image is empty";
        return false;
    }
    if (!checkImageFits(path, doc.width, doc.height, error)) return false;
    ImageEncoding e;
    e.format = imageFormatFor(path);
    if (e.format.empty()) {
        error = "cannot write \"" + path + "\": no image format is known for this file name";
        return false;
    }
    auto s = std::make_unique<State>();
    s->doc = &doc;
    s->path = path;
    s->depth = depth;
    // JPEG files hold 8-bit colour without transparency; PNG files hold 8
    // or 16 bits, floats becoming 8 bits (as a float image shown on screen). Formats that hold only
    // floating-point samples (OpenEXR, Radiance) take 16 bits as half
    // floats (Radiance keeps its own): the samples go to the writer as
    // floats, light above full scale included, not through the integer
    // scale that would clip them to 1.
    if (e.format == "jpeg") s->depth = 8;
    if (e.format == "png" && depth == 32) s->depth = 8;
    e.halfFloat = depth == 16 && (e.format == "openexr" || e.format == "hdr");
    if (e.halfFloat) s->depth = 32;
    const bool alpha = doc.hasAlpha && writeAlpha && e.format != "jpeg";
    s->fileChannels = doc.colorPlanes + (alpha ? 1 : 0);
    e.target = path;
    e.width = doc.width;
    e.height = doc.height;
    e.channels = s->fileChannels;
    e.alpha = alpha;
    e.depth = s->depth;
    e.metadata = doc.metadata.get();
    if (e.format == "jpeg") e.keywordSegment = keywordMarker(doc);
    e.quality = lossyFileOptions().quality;
    e.subsampling = lossyFileOptions().subsampling;
    // The document's own samples go to the writer as they are. Samples of
    // another depth, 16-bit samples (the file's scale differs) and pixels
    // whose transparency stays out are converted and packed strip by strip.
    s->asStored = s->depth == doc.depth && s->depth != 16 && s->fileChannels == doc.planes();
    if (!s->asStored) {
        try {
            s->strip.resize(rowSamples * static_cast<std::size_t>(s->depth / 8) * kStripRows);
        } catch (const std::bad_alloc&) {
            error = "cannot write \"" + path + "\": not enough memory";
            return false;
        }
    }
    if (!s->file.create(path, error)) return false;
    s->sink = std::make_unique<CheckedFileSink>(s->file);
    std::string why;
    s->out = createImageFile(*s->sink, s->file.partialPath().string(), e, why);
    if (!s->out) {
        error = s->failure(why);
        s->file.abandon();
        return false;
    }
    state_ = std::move(s);
    return true;
}

bool ImageFileWriter::writeRows(std::int32_t end, std::string& error) {
    if (!state_) {
        error = "cannot write the image: no file is open";
        return false;
    }
    State& s = *state_;
    const Document& doc = *s.doc;
    end = std::min(end, doc.height);
    const std::size_t rowSamples = static_cast<std::size_t>(doc.width) * doc.planes();
    const std::size_t outBytes = static_cast<std::size_t>(s.depth / 8);
    while (s.written < end) {
        if (cancelRequested().load()) {
            error = "cannot write \"" + s.path + "\": stopped";
            abandon();
            return false;
        }
        const std::int32_t y0 = s.written;
        const std::int32_t rows = std::min(kStripRows, end - y0);
        bool ok;
        std::string why;
        if (s.asStored) {
            ok = s.out->writeRows(y0, rows, doc.sample(0, y0, 0), why);
        } else {
            const std::size_t count = rowSamples * rows;
            convertSamples(doc.sample(0, y0, 0), doc.depth, s.strip.data(), s.depth, count);
            if (s.depth == 16) hostToFileRows(doc, y0, s.strip.data(), count);
            if (s.fileChannels != doc.planes())
                dropLastPlane(s.strip.data(), static_cast<std::size_t>(doc.width) * rows, doc.planes(), outBytes);
            ok = s.out->writeRows(y0, rows, s.strip.data(), why);
        }
        if (!ok || s.file.failed()) {
            error = s.failure(why.empty() ? "cannot write \"" + s.path + "\": the file could not be written" : why);
            abandon();
            return false;
        }
        s.written = y0 + rows;
    }
    return true;
}

bool ImageFileWriter::commit(std::string& error) {
    if (!state_) {
        error = "cannot write the image: no file is open";
        return false;
    }
    State& s = *state_;
    if (s.written < s.doc->height && !writeRows(s.doc->height, error)) return false;
    std::string why = "cannot write \"" + s.path + "\": the file could not be written";
    if (!s.out->finish(why) || s.file.failed()) {
        error = s.failure(why);
        abandon();
        return false;
    }
    s.out.reset();
    // Only a complete file on disk replaces the target, and only while the
    // run has not been cancelled.
    const bool ok = s.file.commit(error, &cancelRequested());
    state_.reset();
    return ok;
}

void ImageFileWriter::abandon() {
    if (!state_) return;
    state_->out.reset();
    state_->file.abandon();
    state_.reset();
}

bool saveDocument(const std::string& path, const Document& doc, int depth, std::string& error, bool writeAlpha) {
    ImageFileWriter writer;
    return writer.begin(path, doc, depth, writeAlpha, error) && writer.commit(error);
}

}  // namespace globaro
