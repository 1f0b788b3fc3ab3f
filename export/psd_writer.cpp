#include "export/psd_writer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <vector>

#include "export/export_job.h"
#include "platform/checked_file.h"

namespace globaro {
namespace {

// Where the maker's pages are; stored in every file (resource 1035).

// Big-endian bytes, either counted (the measuring pass) or written to the
// file through a buffer.
class PsdOut {
public:
    explicit PsdOut(CheckedFile* file) : file_(file) {
        if (file_ != nullptr) buffer_.reserve(kBufferBytes);
    }
    bool measuring() const { return file_ == nullptr; }
    std::uint64_t position() const { return position_; }

    void bytes(const void* data, std::size_t size) {
        position_ += size;
        if (measuring()) return;
        const auto* p = static_cast<const std::uint8_t*>(data);
        buffer_.insert(buffer_.end(), p, p + size);
        if (buffer_.size() >= kBufferBytes) flush();
    }
    void text(std::string_view s) { bytes(s.data(), s.size()); }
    void u8(std::uint8_t v) { bytes(&v, 1); }
    void u16(std::uint16_t v) { be(v, 2); }
    void u32(std::uint32_t v) { be(v, 4); }
    void u64(std::uint64_t v) { be(v, 8); }
    void zeros(std::size_t count) {
        static constexpr std::array<std::uint8_t, 64> kZeros{};
        for (; count > 0; count -= std::min(count, kZeros.size())) bytes(kZeros.data(), std::min(count, kZeros.size()));
    }
    // Writes out what is buffered; false once a write has failed.
    bool flush() {
        if (measuring()) return true;
        if (!buffer_.empty()) {
            file_->writeAt(buffer_.data(), buffer_.size(), written_);
            written_ += static_cast<std::int64_t>(buffer_.size());
            buffer_.clear();
        }
        return !file_->failed();
    }

private:
    static constexpr std::size_t kBufferBytes = 1 << 20;
    void be(std::uint64_t v, int count) {
        std::uint8_t b[8];
        for (int i = 0; i < count; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * (count - 1 - i)));
        bytes(b, static_cast<std::size_t>(count));
    }

    CheckedFile* file_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t position_ = 0;
    std::int64_t written_ = 0;
};

std::uint64_t roundUp(std::uint64_t n, std::uint64_t to) { return (n + to - 1) / to * to; }

// The layout of one file: what the measuring pass found.
struct Plan {
    const LayerSet& set;
    bool large = false;              // version 2 with 64-bit lengths
    int depthBits = 8;               // 8, 16 or 32
    std::uint64_t channelBytes = 0;  // one channel's data: compression word and samples
};

// A length word of the layer section: 64-bit in large documents.
void lengthWord(PsdOut& out, const Plan& plan, std::uint64_t value) {
    if (plan.large)
        out.u64(value);
    else
        out.u32(static_cast<std::uint32_t>(value));
}

void resourceHeader(PsdOut& out, std::uint16_t id, std::uint32_t length) {
    out.text("8BIM");
    out.u16(id);
    out.u16(0);  // empty name
    out.u32(length);
}

void resource(PsdOut& out, std::uint16_t id, std::string_view data) {
    resourceHeader(out, id, static_cast<std::uint32_t>(data.size()));
    out.text(data);
    if (data.size() % 2 != 0) out.u8(0);
}

void header(PsdOut& out, const Plan& plan) {
    out.text("8BPS");
    out.u16(plan.large ? 2 : 1);
    out.zeros(6);
    out.u16(plan.depthBits == 16 ? 4 : 3);
    out.u32(static_cast<std::uint32_t>(plan.set.height));
    out.u32(static_cast<std::uint32_t>(plan.set.width));
    out.u16(static_cast<std::uint16_t>(plan.depthBits));
    out.u16(3);  // RGB
}

// 32-bit files carry their high-dynamic-range toning record here: its tag,
// version 1, then a neutral toning (radius 16, threshold 0.5, exposure 0,
// gamma 1, method 0), the rest zero.
void colourModeData(PsdOut& out, const Plan& plan) {
    if (plan.depthBits != 32) {
        out.u32(0);
        return;
    }
    constexpr std::uint32_t kLength = 74;
    out.u32(kLength);
    out.text("hdrt");
    out.u32(1);
    for (const float v : {16.0f, 0.5f, 0.0f, 1.0f}) out.u32(std::bit_cast<std::uint32_t>(v));
    out.u32(0);
    out.zeros(kLength - 4 - 4 - 16 - 4);
}

void imageResources(PsdOut& out, const Plan& plan, const PsdExtras& extras) {
    static constexpr std::int16_t kPrintRecord[60] = {
        40, 0,    72,   72,  0,  0,    743,   594, -9, -9,  783, 603, 8194, 1320, 1020, 0,   0,     360, 360,   0,
        0,  3715, 2970, 372, 50, 2970, 18600, 75,  1,  257, 0,   1,   9999, 1,    1,    0,   0,     0,   0,     0,
        0,  0,    0,    0,   0,  1,    100,   768, 0,  0,   0,   515, 8369, 1024, 4608, 768, 17664, 0,   13892, 24864};
    resourceHeader(out, 1001, sizeof kPrintRecord);
    for (const std::int16_t v : kPrintRecord) out.u16(static_cast<std::uint16_t>(v));

    resourceHeader(out, 1005, 16);  // resolution: 72 pixels per inch both ways
    for (int axis = 0; axis < 2; ++axis) {
        out.u16(72);
        out.u16(0);
        out.u16(1);
        out.u16(1);
    }

    resourceHeader(out, 1011, 9);
    out.zeros(8);
    out.u8(1);
    out.u8(0);

    resourceHeader(out, 1016, 112);
    for (int i = 0; i < 4; ++i) {
        out.u16(0);
        for (int j = 0; j < 11; ++j) out.u16(65535);
        out.u16(1000);
        out.u16(0);
    }

    resource(out, 1035, kMakerWebAddress);
    if (!extras.iccProfile.empty()) resource(out, 1039, extras.iccProfile);
    out.text(extras.keywordResource);
    if (extras.keywordResource.size() % 2 != 0) out.u8(0);
    if (!extras.exifData.empty()) resource(out, 1058, extras.exifData);

    if (plan.set.flat) return;
    const auto count = static_cast<std::uint32_t>(plan.set.layerCount);
    if (plan.depthBits == 32) {
        resource(out, 1069, std::string_view("\x00\x01\x00\x00\x00\x0C", 6));
        resourceHeader(out, 1072, count);
        for (std::uint32_t i = 0; i < count; ++i) out.u8(1);
        if (count % 2 != 0) out.u8(0);
    }
    resourceHeader(out, 1024, 2);
    out.u16(static_cast<std::uint16_t>(count));
    resourceHeader(out, 1026, 2 * count);
    out.zeros(2 * count);
}

// The layer name as a length-prefixed string padded to a multiple of 4.
void pascalName(PsdOut& out, const std::string& name) {
    const std::size_t length = std::min<std::size_t>(name.size(), 255);
    out.u8(static_cast<std::uint8_t>(length));
    out.bytes(name.data(), length);
    out.zeros(roundUp(length + 1, 4) - (length + 1));
}

void layerRecord(PsdOut& out, const Plan& plan, int number) {
    const LayerSet& set = plan.set;
    out.u32(0);
    out.u32(0);
    out.u32(static_cast<std::uint32_t>(set.height));
    out.u32(static_cast<std::uint32_t>(set.width));
    out.u16(4);
    for (const std::int16_t id : {-1, 0, 1, 2}) {
        out.u16(static_cast<std::uint16_t>(id));
        lengthWord(out, plan, plan.channelBytes);
    }
    out.text("8BIMnorm");
    const bool faded = set.layout == kExportBrickSphere && number > 1;
    out.u8(faded ? 230 : 255);
    out.u8(0);                              // clipping
    out.u8(plan.depthBits == 32 ? 8 : 40);  // flags
    out.u8(0);
    PsdOut nameSize(nullptr);
    const std::string name = layerName(set, number);
    pascalName(nameSize, name);
    out.u32(static_cast<std::uint32_t>(nameSize.position() + 48));
    out.u32(0);  // no layer mask
    out.u32(40);
    for (int i = 0; i < 5; ++i) {
        for (const std::uint8_t b : {0, 0, 255, 255, 0, 0, 255, 255}) out.u8(b);
    }
    pascalName(out, name);
}

// The layer info up to its channel data: length, count, records.
void layerInfoFront(PsdOut& out, const Plan& plan, std::uint64_t infoLength) {
    lengthWord(out, plan, infoLength);
    out.u16(static_cast<std::uint16_t>(plan.set.layerCount));
    for (int k = 0; k < plan.set.layerCount; ++k) layerRecord(out, plan, plan.set.firstLayer + k);
}

// Samples of one plane of one row, in the file's form.
class PlaneRow {
public:
    PlaneRow(const Plan& plan) : plan_(plan), row_(static_cast<std::size_t>(plan.set.width) * (plan.depthBits / 8)) {}

    // Plane -1 is the transparency, 0..2 red, green and blue. With
    // `checkerboard` the colour is laid over the preview's checkerboard.
    const std::vector<std::uint8_t>& make(const LayerPicture& p, std::int32_t y, int plane, bool checkerboard) {
        const int planes = p.colorPlanes + (p.hasAlpha ? 1 : 0);
        const int source = plane < 0 ? p.colorPlanes : std::min(plane, p.colorPlanes - 1);
        const bool opaque = plane < 0 && !p.hasAlpha;
        const std::uint8_t* at = p.pixels + static_cast<std::size_t>(y) * p.rowBytes;
        const int bytes = plan_.depthBits / 8;
        std::uint8_t* o = row_.data();
        for (std::int32_t x = 0; x < plan_.set.width; ++x, o += bytes) {
            const std::uint8_t* px = at + static_cast<std::size_t>(x) * planes * bytes;
            const bool white = ((x >> 3) + (y >> 3)) % 2 == 0;
            if (bytes == 1) {
                std::uint32_t v = opaque ? 255 : px[source];
                if (checkerboard && p.hasAlpha) {
                    const std::uint32_t a = px[p.colorPlanes];
                    v = (v * a + (white ? 255u : 204u) * (255 - a) + 127) / 255;
                }
                o[0] = static_cast<std::uint8_t>(v);
            } else if (bytes == 2) {
                std::uint16_t s;
                std::memcpy(&s, px + source * 2, 2);
                std::uint32_t v = opaque ? 32768 : std::min<std::uint32_t>(s, 32768);
                if (checkerboard && p.hasAlpha) {
                    std::uint16_t as;
                    std::memcpy(&as, px + p.colorPlanes * 2, 2);
                    const std::uint32_t a = std::min<std::uint32_t>(as, 32768);
                    const std::uint32_t back = white ? 32768 : 204 * 32768 / 255;
                    v = (v * a + back * (32768 - a) + 16384) / 32768;
                }
                const std::uint32_t file = v >= 32768 ? 65535 : 2 * v;
                o[0] = static_cast<std::uint8_t>(file >> 8);
                o[1] = static_cast<std::uint8_t>(file);
            } else {
                float f = 1.0f;
                if (!opaque) std::memcpy(&f, px + source * 4, 4);
                const std::uint32_t bits = std::bit_cast<std::uint32_t>(f);
                for (int i = 0; i < 4; ++i) o[i] = static_cast<std::uint8_t>(bits >> (24 - 8 * i));
            }
        }
        return row_;
    }

private:
    const Plan& plan_;
    std::vector<std::uint8_t> row_;
};

// One raw channel: its compression word and its rows, top first.
void channel(PsdOut& out, PlaneRow& rows, const LayerPicture& p, const LayerSet& set, int plane) {
    out.u16(0);
    for (std::int32_t y = 0; y < set.height; ++y) {
        const auto& row = rows.make(p, y, plane, false);
        out.bytes(row.data(), row.size());
    }
}

class Writer {
public:
    Writer(const std::string& path, const LayerSet& set, const LayerSource& source, const PsdExtras& extras,
           const ExportJob& job)
        : path_(path), plan_{set}, source_(source), extras_(extras), job_(job) {
        plan_.large = needsLargeDocument(set);
        plan_.depthBits = 8 * set.bytesPerChannel;
        plan_.channelBytes = 2 + static_cast<std::uint64_t>(set.width) * static_cast<std::uint64_t>(set.height) *
                                     static_cast<std::uint64_t>(set.bytesPerChannel);
    }

    int run(std::string& error) {
        // The measuring pass: every length before the first byte.
        PsdOut measure(nullptr);
        imageResources(measure, plan_, extras_);
        const std::uint64_t resourcesLength = measure.position();

        if (!file_.create(path_, error)) return kPsdWriteError;
        PsdOut out(&file_);
        header(out, plan_);
        colourModeData(out, plan_);
        out.u32(static_cast<std::uint32_t>(resourcesLength));
        imageResources(out, plan_, extras_);

        LayerPicture last;
        if (plan_.set.flat) {
            lengthWord(out, plan_, plan_.large ? 12 : 8);
            lengthWord(out, plan_, 0);
            out.u32(0);
            if (!picture(plan_.set.firstLayer, last, error)) return failure_;
        } else if (const int result = layerSection(out, last, error); result != kPsdOk) {
            return result;
        }
        merged(out, last);
        if (!out.flush()) return writeFailure(error);
        if (job_.cancelled()) return cancelled(error);
        if (!file_.commit(error, job_.cancel)) return job_.cancelled() ? cancelled(error) : kPsdWriteError;
        return kPsdOk;
    }

private:
    bool picture(int number, LayerPicture& p, std::string& error) {
        if (job_.cancelled()) {
            failure_ = cancelled(error);
            return false;
        }
        std::string why;
        bool ok = false;
        try {
            ok = source_(number, p, why);
        } catch (const std::bad_alloc&) {
            why = "not enough memory for a layer of " + std::to_string(plan_.set.width) + " x " +
                  std::to_string(plan_.set.height) + " pixels";
            failure_ = kPsdNoMemory;
        }
        if (ok) return true;
        if (job_.cancelled()) {
            failure_ = cancelled(error);
        } else {
            error = "cannot write \"" + path_ + "\": " + why;
            if (failure_ == 0) failure_ = kPsdPictureFailed;
        }
        return false;
    }

    int cancelled(std::string& error) {
        error = "stopped; \"" + path_ + "\" was not written";
        return kPsdCancelled;
    }

    int writeFailure(std::string& error) {
        error = file_.failureReason();
        return kPsdWriteError;
    }

    int layerSection(PsdOut& out, LayerPicture& last, std::string& error) {
        const LayerSet& set = plan_.set;
        PsdOut records(nullptr);
        for (int k = 0; k < set.layerCount; ++k) layerRecord(records, plan_, set.firstLayer + k);
        const std::uint64_t pixelBytes = static_cast<std::uint64_t>(set.layerCount) * 4 * plan_.channelBytes;
        const std::uint64_t infoLength = roundUp(2 + records.position() + pixelBytes, 2);
        const std::uint64_t infoPad = roundUp(infoLength, 4) - infoLength;

        // Everything of the section but the channel data, measured.
        auto front = [&](PsdOut& o) {
            if (plan_.depthBits == 8) {
                layerInfoFront(o, plan_, infoLength);
                return;
            }
            const bool half = plan_.depthBits == 16;
            lengthWord(o, plan_, 0);  // no layers outside the tagged block
            o.u32(0);                 // no global mask
            o.text(half ? "8BIMMt16" : "8BIMMt32");
            lengthWord(o, plan_, 0);
            o.text(half ? "8BIMLr16" : "8BIMLr32");
            layerInfoFront(o, plan_, infoLength);
        };
        auto back = [&](PsdOut& o) {
            o.zeros(infoLength - (2 + records.position() + pixelBytes));
            if (plan_.depthBits == 8) {
                o.u32(0);  // no global mask
                return;
            }
            o.zeros(infoPad);
            if (plan_.depthBits == 32) {
                o.text("8BIMLMsk");
                lengthWord(o, plan_, 14);
                for (const std::uint16_t v : {0, 65535, 0, 0, 0, 50}) o.u16(v);
                o.u8(128);
                o.u8(0);
                o.u16(0);
                o.text("8BIMPat3");
                o.u32(0);
            }
        };
        PsdOut measure(nullptr);
        front(measure);
        const std::uint64_t frontBytes = measure.position();
        PsdOut measureBack(nullptr);
        back(measureBack);
        const std::uint64_t sectionLength = frontBytes + pixelBytes + measureBack.position();
        if (!plan_.large && sectionLength > std::numeric_limits<std::uint32_t>::max()) {
            error = "cannot write \"" + path_ + "\": too large for a Photoshop document";
            return kPsdWriteError;
        }
        lengthWord(out, plan_, sectionLength);
        front(out);

        PlaneRow rows(plan_);
        for (int k = 0; k < set.layerCount; ++k) {
            if (!picture(set.firstLayer + k, last, error)) return failure_;
            for (const int plane : {-1, 0, 1, 2}) channel(out, rows, last, set, plane);
            if (!out.flush()) return writeFailure(error);
            job_.report(static_cast<double>(k + 1) / set.layerCount, layerName(set, set.firstLayer + k));
        }
        back(out);
        return kPsdOk;
    }

    // The merged picture: the last layer, laid over the checkerboard for 8
    // and 16 bits; red, green and blue, and the transparency where the header
    // counts it or the file has layers.
    void merged(PsdOut& out, const LayerPicture& p) {
        out.u16(0);
        const bool overCheckerboard = plan_.depthBits != 32;
        const bool transparency = plan_.depthBits == 16 || !plan_.set.flat;
        PlaneRow rows(plan_);
        for (const int plane : {0, 1, 2, -1}) {
            if (plane < 0 && !transparency) break;
            for (std::int32_t y = 0; y < plan_.set.height; ++y) {
                const auto& row = rows.make(p, y, plane, overCheckerboard && plane >= 0);
                out.bytes(row.data(), row.size());
            }
        }
    }

    std::string path_;
    Plan plan_;
    const LayerSource& source_;
    const PsdExtras& extras_;
    const ExportJob& job_;
    CheckedFile file_;
    int failure_ = 0;
};

}  // namespace

std::string layerName(const LayerSet& set, int number) {
    const int series = set.seriesLayers > 0 ? set.seriesLayers : set.layerCount;
    switch (set.layout) {
        case kExportBrickSphere: {
            if (number == series) return std::to_string(number) + " top";
            if (number == 1) return "1 bottom";
            const std::size_t width = series >= 100 ? 3 : series >= 10 ? 2 : 1;
            std::string digits = std::to_string(number);
            if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
            return digits;
        }
        case kExportCubeMap: {
            static constexpr const char* kFaces[6] = {"_d", "_u", "_l", "_b", "_r", "_f"};
            return number >= 1 && number <= 6 ? kFaces[number - 1] : "Layer 1";
        }
        case kExportPolyFaces:
        case kExportPolyGeometry:
            return "face " + std::to_string(number);
        default:
            return "Layer 1";
    }
}

bool needsLargeDocument(const LayerSet& set) {
    if (set.large) return true;
    if (set.width > kPsdMaxSide || set.height > kPsdMaxSide) return true;
    // Lengths of the layer section that a 32-bit word cannot hold.
    const std::uint64_t pixels = static_cast<std::uint64_t>(std::max(set.width, 0)) *
                                 static_cast<std::uint64_t>(std::max(set.height, 0)) *
                                 static_cast<std::uint64_t>(set.bytesPerChannel);
    const std::uint64_t layers = set.flat ? 0 : static_cast<std::uint64_t>(std::max(set.layerCount, 0));
    return layers * 4 * (pixels + 2) + layers * 400 + 1024 > std::numeric_limits<std::uint32_t>::max();
}

int writeLayeredPsd(const std::string& path, const LayerSet& set, const LayerSource& source, const PsdExtras& extras,
                    const ExportJob& job, std::string& error) {
    const bool depthKnown = set.bytesPerChannel == 1 || set.bytesPerChannel == 2 || set.bytesPerChannel == 4;
    if (set.layerCount < 1 || set.layerCount > 0xFFFF || !depthKnown || set.channelKind != 4) {
        error = "cannot write \"" + path + "\": no layers to write";
        return kPsdNoLayers;
    }
    if (set.width < 1 || set.height < 1 || set.width > kPsbMaxSide || set.height > kPsbMaxSide) {
        error = "cannot write \"" + path + "\": a side of " + std::to_string(set.width) + " x " +
                std::to_string(set.height) + " pixels is outside 1.." + std::to_string(kPsbMaxSide);
        return kPsdNoLayers;
    }
    // A device or pipe under the name is never replaced by a file.
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        error = "cannot write \"" + path + "\": it is not a regular file";
        return kPsdWriteError;
    }
    Writer writer(path, set, source, extras, job);
    return writer.run(error);
}

}  // namespace globaro
