#include "app/image_io.h"

#include "app/filter_host.h"
#include "app/metadata.h"
#include "platform/checked_file.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>

namespace globaro {

namespace OIIO = OIIO_NAMESPACE;

namespace {

std::string firstLine(std::string text) {
    const auto end = text.find('\n');
    if (end != std::string::npos) text.resize(end);
    return text;
}

int depthFor(const OIIO::TypeDesc& type) {
    switch (type.basetype) {
        case OIIO::TypeDesc::UINT8:
        case OIIO::TypeDesc::INT8:
            return 8;
        case OIIO::TypeDesc::UINT16:
        case OIIO::TypeDesc::INT16:
            return 16;
        default:
            return 32;
    }
}

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

// The PNG writer's deflate level and row filter. zlib level 4 with the
// "sub" filter on every row: on smooth renders the file is about 15% larger
// than with libpng's defaults (level 6, a filter chosen per row by trying all
// five) in well under half the time, and on noisy, photographic content it is
// within 7% of their size at a fifth of their time; it is also smaller than
// the common "level 6, no filter" setting there, and faster everywhere.
constexpr int kPngCompressionLevel = 4;
constexpr int kPngFilterSub = 16;  // libpng's PNG_FILTER_SUB
// The TIFF writer's deflate level (its default is 6), for the same reason.
constexpr int kTiffZipQuality = 4;

// Hands the image writer's bytes to a checked file: every write is checked
// there, and the file is put in place only when all of it is on disk.
//
// With a segment to insert (the keyword marker of a JPEG file), the file
// holds the writer's bytes with the segment placed after the start-of-image
// marker and the JFIF marker that follows it: offsets below that point stay
// as they are, those beyond it move by the segment's size. The first bytes
// are held here until they say where that point is.
class CheckedFileProxy final : public OIIO::Filesystem::IOProxy {
public:
    CheckedFileProxy(CheckedFile& file, const std::string& path, std::string segment = {})
        : IOProxy(path, Write), file_(file), segment_(std::move(segment)), at_(segment_.empty() ? 0 : -1) {}
    const char* proxytype() const override { return "checked file"; }
    void close() override {
        if (at_ < 0) place(true);
        m_mode = Closed;
    }
    size_t read(void* buf, size_t size) override {
        const size_t n = pread(buf, size, m_pos);
        m_pos += static_cast<int64_t>(n);
        return n;
    }
    size_t write(const void* buf, size_t size) override {
        const size_t n = pwrite(buf, size, m_pos);
        m_pos += static_cast<int64_t>(n);
        return n;
    }
    size_t pread(void* buf, size_t size, int64_t offset) override {
        if (at_ < 0) {
            const size_t n = offset < static_cast<int64_t>(head_.size())
                                 ? std::min(size, head_.size() - static_cast<size_t>(offset))
                                 : 0;
            if (n > 0) std::memcpy(buf, head_.data() + offset, n);
            return n;
        }
        return mapped(buf, size, offset, [this](void* b, size_t n, int64_t o) { return file_.readAt(b, n, o); });
    }
    size_t pwrite(const void* buf, size_t size, int64_t offset) override {
        if (at_ < 0) {
            if (offset + size > head_.size()) head_.resize(static_cast<size_t>(offset) + size);
            std::memcpy(head_.data() + offset, buf, size);
            place(false);
            return size;
        }
        return mapped(const_cast<void*>(buf), size, offset,
                      [this](void* b, size_t n, int64_t o) { return file_.writeAt(b, n, o); });
    }
    size_t size() const override {
        if (at_ < 0) return head_.size();
        return static_cast<size_t>(file_.size()) - (file_.size() > at_ ? segment_.size() : 0);
    }

private:
    // Reads or writes through the mapping of offsets, in two pieces when
    // the range straddles the inserted segment.
    template <typename Io>
    size_t mapped(void* buf, size_t size, int64_t offset, Io io) {
        auto* bytes = static_cast<char*>(buf);
        size_t done = 0;
        if (offset < at_) {
            const size_t before = std::min(size, static_cast<size_t>(at_ - offset));
            done = io(bytes, before, offset);
            if (done < before) return done;
        }
        if (done < size) done += io(bytes + done, size - done, offset + static_cast<int64_t>(done + segment_.size()));
        return done;
    }
    // Places the segment once the first bytes show where it goes: after
    // the start of image, and after a JFIF marker right behind it. A file
    // that is not a JPEG stream takes no segment; so does a stream that
    // ends (`closing`) before its first marker is complete.
    void place(bool closing) {
        const auto byte = [this](size_t i) { return static_cast<std::uint8_t>(head_[i]); };
        int64_t at = -1;
        if (head_.size() >= 2 && (byte(0) != 0xff || byte(1) != 0xd8)) {
            segment_.clear();
            at = 0;
        } else if (head_.size() >= 4) {
            at = 2;
            if (byte(2) == 0xff && byte(3) == 0xe0)
                at = head_.size() >= 6 ? 4 + (byte(4) << 8 | byte(5)) : std::numeric_limits<int64_t>::max();
        }
        if (at < 0 || at > static_cast<int64_t>(head_.size())) {
            if (!closing) return;
            segment_.clear();
            at = 0;
        }
        at_ = at;
        file_.writeAt(head_.data(), static_cast<size_t>(at), 0);
        file_.writeAt(segment_.data(), segment_.size(), at);
        file_.writeAt(head_.data() + at, head_.size() - static_cast<size_t>(at), at + segment_.size());
        head_.clear();
        head_.shrink_to_fit();
    }

    CheckedFile& file_;
    std::string segment_;
    int64_t at_;        // where the segment goes; -1 until known
    std::string head_;  // the first bytes, until then
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
    std::unique_ptr<OIIO::ImageInput> in;
    std::string path;
    int fileChannels = 0;            // channels read from each file pixel: 0 up to the last one used
    int firstRow = 0;                // the file's own y of the image's top row
    int channels[4] = {0, 1, 2, 3};  // the file channel of each document plane
    bool direct = true;              // the channels read are the document's planes, in order
    OIIO::TypeDesc type;
    std::vector<std::uint8_t> topRows;  // the rows open() read, as read
    std::int32_t topRowCount = 0;

    // Reads rows [y0, y0 + rows) into `into`; false with a one-line reason.
    bool read(std::int32_t y0, std::int32_t rows, void* into, std::string& error) {
        const int fy = firstRow + y0;
        // Some readers fill what a damaged or short file lacks and still
        // answer true; the error they recorded says what happened.
        if (in->read_scanlines(0, 0, fy, fy + rows, 0, 0, fileChannels, type, into) && !in->has_error()) return true;
        error = "cannot read \"" + path + "\": " + firstLine(in->geterror());
        if (error.back() == ' ') error += "the file is damaged";
        return false;
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
    // Editors keep colour and transparency apart (not premultiplied): ask
    // for the samples as the file stores them.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    if (!in) {
        error = "cannot read \"" + path + "\": " + firstLine(OIIO::geterror());
        if (error.back() == ' ') error += "unsupported or damaged image file";
        return false;
    }
    const OIIO::ImageSpec& spec = in->spec();
    if (spec.nchannels < 1) {
        error = "cannot read \"" + path + "\": the image has no channels";
        return false;
    }
    // Which channels become colour and alpha.
    const int alphaChannel = spec.alpha_channel >= 0                        ? spec.alpha_channel
                             : (spec.nchannels == 2 || spec.nchannels == 4) ? spec.nchannels - 1
                                                                            : -1;
    const int colorChannels = (spec.nchannels - (alphaChannel >= 0 ? 1 : 0)) >= 3 ? 3 : 1;
    const bool hasAlpha = alphaChannel >= 0;
    const int depth = depthFor(spec.format);
    if (!checkDocument(spec.width, spec.height, colorChannels, hasAlpha, depth, error)) {
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
    file->firstRow = spec.y;
    file->path = path;
    file->type = depth == 8 ? OIIO::TypeDesc::UINT8 : depth == 16 ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::FLOAT;
    file->in = std::move(in);
    // The header alone never decides the document's memory: the file must
    // first deliver its top rows (a few MiB at most), which a damaged or
    // hostile file claiming a huge size cannot.
    const std::size_t fileRowBytes = static_cast<std::size_t>(spec.width) * file->fileChannels * (depth / 8);
    file->topRowCount = static_cast<std::int32_t>(std::clamp<std::size_t>(
        kTopRowsBytes / fileRowBytes, 1, static_cast<std::size_t>(std::min(kStripRows, spec.height))));
    try {
        file->topRows.resize(fileRowBytes * static_cast<std::size_t>(file->topRowCount));
    } catch (const std::bad_alloc&) {
        error = "cannot read \"" + path + "\": not enough memory";
        return false;
    }
    if (!file->read(0, file->topRowCount, file->topRows.data(), error)) return false;
    Document d;
    if (!makeDocument(d, spec.width, spec.height, colorChannels, hasAlpha, depth, error)) {
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
    d.metadata = readMetadata(file->in->spec(), path);
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
    f.in->close();
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
    auto in = OIIO::ImageInput::open(path);
    if (!in) {
        error = "cannot read mask \"" + path + "\": " + firstLine(OIIO::geterror());
        return false;
    }
    const OIIO::ImageSpec& spec = in->spec();
    if (spec.width != width || spec.height != height) {
        error = "mask \"" + path + "\" is " + std::to_string(spec.width) + " x " + std::to_string(spec.height) +
                ", the image is " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(width) * height);
    // A short or damaged mask must not pass for one whose missing rows are
    // unselected: the reader's error counts even when the read answers true.
    if (!in->read_image(0, 0, 0, 1, OIIO::TypeDesc::UINT8, bytes.data()) || in->has_error()) {
        error = "cannot read mask \"" + path + "\": " + firstLine(in->geterror());
        if (error.back() == ' ') error += "the file is damaged";
        return false;
    }
    mask = std::move(bytes);
    return true;
}

bool checkImageTarget(const std::string& path, std::string& error) {
    if (!checkWritableTarget(path, error)) return false;
    if (!OIIO::ImageOutput::create(path)) {
        error = "cannot write \"" + path + "\": no image format is known for this file name";
        OIIO::geterror();  // the message is ours
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
    const auto out = OIIO::ImageOutput::create(path);
    OIIO::geterror();  // an unknown format is said elsewhere
    if (!out || out->format_name() == std::string("jpeg")) return {};
    return "--subsampling " + asked + " is for JPEG files; \"" + path + "\" is written without it" +
           (out->format_name() == std::string("webp") ? " (WebP is always 4:2:0)" : "");
}

bool checkImageFits(const std::string& path, std::int64_t width, std::int64_t height, std::string& error) {
    const auto out = OIIO::ImageOutput::create(path);
    OIIO::geterror();  // an unknown format is said elsewhere
    if (!out) return true;
    const std::string format = out->format_name();
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
    std::unique_ptr<CheckedFileProxy> proxy;
    std::unique_ptr<OIIO::ImageOutput> out;
    OIIO::TypeDesc type;  // of the samples handed to the writer
    int depth = 8;        // their depth
    int fileChannels = 0;
    bool asStored = false;
    std::int32_t written = 0;
    std::vector<std::uint8_t> strip;

    std::string failure(const char* fallback) const {
        // A failed write of the file itself says best what went wrong.
        if (file.failed()) return file.failureReason();
        std::string e = "cannot write \"" + path + "\": " + firstLine(out ? out->geterror() : OIIO::geterror());
        if (e.back() == ' ') e += fallback;
        return e;
    }
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
    auto s = std::make_unique<State>();
    s->doc = &doc;
    s->path = path;
    s->depth = depth;
    s->out = OIIO::ImageOutput::create(path);
    if (!s->out) {
        error = s->failure("unsupported file format");
        return false;
    }
    const std::string format = s->out->format_name();
    // Formats that hold only floating-point samples (OpenEXR, Radiance) take
    // 16 bits as half floats (Radiance keeps its own): the samples go to the
    // writer as floats, light above full scale included, not through the
    // integer scale that would clip them to 1.
    const bool half = depth == 16 && (format == "openexr" || format == "hdr");
    if (half) s->depth = 32;
    s->type = s->depth == 8 ? OIIO::TypeDesc::UINT8 : s->depth == 16 ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::FLOAT;
    const bool alpha = doc.hasAlpha && writeAlpha;
    s->fileChannels = doc.colorPlanes + (alpha ? 1 : 0);
    OIIO::ImageSpec spec(doc.width, doc.height, s->fileChannels, half ? OIIO::TypeDesc::HALF : s->type);
    if (alpha) spec.alpha_channel = doc.colorPlanes;
    spec.attribute("oiio:UnassociatedAlpha", 1);  // our samples are not premultiplied
    spec.channelnames = doc.colorPlanes == 1 ? std::vector<std::string>{"Y"} : std::vector<std::string>{"R", "G", "B"};
    if (alpha) spec.channelnames.push_back("A");
    writeMetadata(doc.metadata.get(), spec, format);
    if (format == "png") {
        spec.attribute("png:compressionLevel", kPngCompressionLevel);
        spec.attribute("png:filter", kPngFilterSub);
    } else if (format == "tiff") {
        spec.attribute("tiff:zipquality", kTiffZipQuality);
    } else if (format == "jpeg" || format == "webp") {
        const LossyFileOptions& lossy = lossyFileOptions();
        spec.attribute("Compression", format + ":" + std::to_string(lossy.quality));
        if (format == "jpeg") spec.attribute("jpeg:subsampling", lossy.subsampling);
    }
    // The document's own samples go to the writer as they are. Samples of
    // another depth, 16-bit samples (the file's scale differs) and pixels
    // whose transparency stays out are converted and packed strip by strip
    // (the writer's own gathering of strided pixels is several times slower).
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
    s->proxy = std::make_unique<CheckedFileProxy>(s->file, s->file.partialPath().string(),
                                                  format == "jpeg" ? keywordMarker(doc) : std::string());
    s->out->set_ioproxy(s->proxy.get());
    if (!s->out->open(s->file.partialPath().string(), spec)) {
        error = s->failure("the file could not be created");
        s->out.reset();
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
        if (s.asStored) {
            ok = s.out->write_scanlines(y0, y0 + rows, 0, s.type, doc.sample(0, y0, 0));
        } else {
            const std::size_t count = rowSamples * rows;
            convertSamples(doc.sample(0, y0, 0), doc.depth, s.strip.data(), s.depth, count);
            if (s.depth == 16) hostToFileRows(doc, y0, s.strip.data(), count);
            if (s.fileChannels != doc.planes())
                dropLastPlane(s.strip.data(), static_cast<std::size_t>(doc.width) * rows, doc.planes(), outBytes);
            ok = s.out->write_scanlines(y0, y0 + rows, 0, s.type, s.strip.data());
        }
        if (!ok || s.file.failed()) {
            error = s.failure("the file could not be written");
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
    if (!s.out->close() || s.file.failed()) {
        error = s.failure("the file could not be written");
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
