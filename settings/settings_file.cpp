#include "settings/settings_file.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "platform/temp_folder.h"

namespace globaro {

namespace {

std::int32_t saturate(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

std::int32_t saturate(double v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<std::int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
}

// A legacy float travels as hundredths truncated toward zero. A value that
// is a whole number of hundredths up to float rounding (0.29f is
// 0.2899999...) keeps its hundredths, so that reading and writing a file
// again gives the same words.
std::int32_t floatToHundredths(float value) {
    if (!std::isfinite(value)) return 0;
    const double scaled = static_cast<double>(value) * 100.0;
    const double nearest = std::nearbyint(scaled);
    if (std::fabs(scaled - nearest) <= 1e-4 * std::max(1.0, std::fabs(nearest))) return saturate(nearest);
    return saturate(std::trunc(scaled));
}

float hundredthsToFloat(std::int32_t word) { return static_cast<float>(static_cast<double>(word) / 100.0); }

class WordWriter {
public:
    void word(std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        bytes_.push_back(static_cast<std::uint8_t>(u >> 24));
        bytes_.push_back(static_cast<std::uint8_t>(u >> 16));
        bytes_.push_back(static_cast<std::uint8_t>(u >> 8));
        bytes_.push_back(static_cast<std::uint8_t>(u));
    }
    void real(float v) { word(static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(v))); }
    void color(const Rgb16& c) {
        word(c.red);
        word(c.green);
        word(c.blue);
    }
    void raw(std::span<const std::uint8_t> data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// Reads words from the front of the data; once the data run out every
// further read fails and the reader stays at the end.
class WordReader {
public:
    explicit WordReader(std::span<const std::uint8_t> data) : data_(data) {}

    bool word(std::int32_t& v) {
        if (data_.size() - at_ < 4) {
            short_ = true;
            at_ = data_.size();
            return false;
        }
        const std::uint8_t* p = data_.data() + at_;
        v = static_cast<std::int32_t>((std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                                      (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]});
        at_ += 4;
        return true;
    }
    bool real(float& v) {
        std::int32_t w;
        if (!word(w)) return false;
        v = std::bit_cast<float>(static_cast<std::uint32_t>(w));
        return true;
    }
    bool channel(std::uint16_t& v) {
        std::int32_t w;
        if (!word(w)) return false;
        v = static_cast<std::uint16_t>(static_cast<std::uint32_t>(w) & 0xFFFFu);
        return true;
    }
    bool color(Rgb16& c) { return channel(c.red) && channel(c.green) && channel(c.blue); }
    bool skip(std::size_t n) {
        if (data_.size() - at_ < n) {
            short_ = true;
            at_ = data_.size();
            return false;
        }
        at_ += n;
        return true;
    }
    std::span<const std::uint8_t> take(std::size_t n) {
        if (data_.size() - at_ < n) {
            short_ = true;
            at_ = data_.size();
            return {};
        }
        auto out = data_.subspan(at_, n);
        at_ += n;
        return out;
    }
    bool ranShort() const { return short_; }
    void markShort() { short_ = true; }

private:
    std::span<const std::uint8_t> data_;
    std::size_t at_ = 0;
    bool short_ = false;
};

// The old-style thumbnail block: a flag word; for flag 1 the width and
// height (clamped to 0..128) and then width x height RGB pixels; any other
// nonzero flag has width and height and a fixed-size pixel block we skip.
bool readOldThumbnailBlock(WordReader& in, Thumbnail* thumbnail, bool& found) {
    found = false;
    std::int32_t flag, width, height;
    if (!in.word(flag)) return false;
    if (flag == 0) return true;
    if (!in.word(width) || !in.word(height)) return false;
    if (flag != 1) return in.skip(kOldThumbnailSkip);
    width = std::clamp(width, 0, kOldThumbnailMaxSide);
    height = std::clamp(height, 0, kOldThumbnailMaxSide);
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    if (thumbnail == nullptr || count == 0) return in.skip(count);
    auto pixels = in.take(count);
    if (pixels.size() != count) return false;
    thumbnail->width = width;
    thumbnail->height = height;
    thumbnail->rgb.assign(pixels.begin(), pixels.end());
    found = true;
    return true;
}

// The thumbnail block of version 40 and later: a flag word; for a nonzero
// flag the width, height and byte count n, then n bytes of JPEG.
bool readThumbnailBlock(WordReader& in, Thumbnail* thumbnail, bool& found) {
    found = false;
    std::int32_t flag, width, height, count;
    if (!in.word(flag)) return false;
    if (flag == 0) return true;
    if (!in.word(width) || !in.word(height) || !in.word(count)) return false;
    if (count < 0) {
        // A negative size cannot be skipped: nothing after it can be trusted.
        in.markShort();
        return false;
    }
    const auto n = static_cast<std::size_t>(count);
    if (flag != 1 || thumbnail == nullptr || n > kThumbnailJpegLimit) return in.skip(n);
    auto jpeg = in.take(n);
    if (jpeg.size() != n) return false;
    found = decodeThumbnailJpeg(jpeg, *thumbnail);
    return true;
}

// The changes that bring the fields of an older version to the current
// meaning, in the order they have always been applied.
void convertOlderVersion(SettingsRecord& r, std::int32_t v) {
    if (v < 15) r.longitudeInteger = saturate(std::int64_t{100} - r.longitudeInteger);
    if (v < 11) r.gridLegacy = saturate(std::int64_t{r.gridLegacy} + 1);
    if (v < 25) r.faces = 0;
    if (v < 13) r.legacyWords[17] = saturate(std::int64_t{100} - r.legacyWords[17]);
    if (v < 7) {
        r.legacyColors[3] = r.tabColor;
        r.legacyWords[16] = 100;
        r.outputProjection = 50;
    }
    if (v < 9) r.fovInteger = 0;
    if (v < 19) r.spinInteger = 57;
    if (v < 20) r.tabsInteger = 0;
    if (v < 21) r.fovInteger = 50;
    if (v < 27) r.faces = 0;
    if (v < 28) r.outputProjection = saturate(std::int64_t{r.outputProjection} + 1);
    if (v < 29 && r.outputProjection >= 25) r.outputProjection = saturate(std::int64_t{r.outputProjection} + 1);
    if (v < 32 && r.outputProjection >= 34) r.outputProjection = saturate(std::int64_t{r.outputProjection} + 1);
    if (v < 24) {
        r.legacyWords[13] = 0;
        r.inputProjection = saturate(std::trunc(static_cast<double>(r.inputProjection) / 0.3));
    }
    if (v < 40 && r.outputProjection >= 16) r.outputProjection = saturate(std::int64_t{r.outputProjection} + 1);
    if (r.outputProjection == 14 && v < 34) {
        float t = static_cast<float>(r.fovInteger) / 180.0f;
        if (t < 0.0f) t = 0.0f;
        if (t < 1.0f) {
            const auto g = static_cast<float>(std::atan(std::tan(static_cast<double>(t) * 1.5707963265) * 0.5) *
                                              0.6366197724870984);
            r.fov = g * 180.0f;
            r.fovInteger = saturate(std::trunc(static_cast<double>(g) * 180.0));
        }
    }
    if (v <= 44 && r.outputProjection == 35) {
        r.outputProjection = 38;
        r.fovInteger = 33;
    }
}

// Reads the fields of version `v` in file order into `r`. Returns false when
// the data end early. Sets `found` when a thumbnail was decoded.
bool readFields(WordReader& in, std::int32_t v, SettingsRecord& r, Thumbnail* thumbnail, bool& found) {
    found = false;
    std::int32_t ignored;
    std::int32_t* lw = r.legacyWords;
    // Words 2-36.
    if (!(in.color(r.tabColor) && in.color(r.backdropColor) && in.color(r.legacyColors[0]) &&
          in.word(r.inputProjection) && in.word(lw[1]) && in.word(lw[2]) && in.word(lw[3]) &&
          in.word(r.latitudeInteger) && in.word(r.spinInteger) && in.word(lw[4]) && in.word(lw[5]) &&
          in.word(lw[6]) && in.word(lw[7]) && in.word(r.outputProjection) && in.word(r.flip) &&
          in.word(r.hqpr) && in.word(lw[8]) && in.word(r.longitudeInteger) && in.word(r.tabsInteger) &&
          in.word(lw[20]) && in.word(lw[9]) && in.word(lw[11]) && in.word(lw[12]) &&
          in.color(r.legacyColors[3]) && in.color(r.legacyColors[3])))
        return false;
    if (v >= 2 && !(in.color(r.legacyColors[5]) && in.word(r.fovInteger) && in.word(lw[10]) &&
                    in.word(r.gridLegacy)))
        return false;
    if (v >= 3 && !(in.word(r.glue) && in.word(ignored))) return false;
    if (v >= 4 && !(in.word(lw[13]) && in.word(lw[14]) && in.word(r.faces))) return false;
    if (v >= 5 && !(in.word(lw[16]) && in.word(lw[17]))) return false;
    if (v >= 8) {
        for (float& f : r.legacyFloats) {
            std::int32_t w;
            if (!in.word(w)) return false;
            f = hundredthsToFloat(w);
        }
    }
    if (v >= 12 && !in.word(lw[0])) return false;
    if (v >= 14 && !in.word(lw[15])) return false;
    if (v >= 16 && !in.word(ignored)) return false;
    if (v >= 17 && !in.word(lw[18])) return false;
    if (v >= 18 && !(in.color(r.legacyColors[1]) && in.color(r.legacyColors[2]))) return false;
    if (v >= 22 && !readOldThumbnailBlock(in, thumbnail, found)) return false;
    if (v == 30) {
        // Version 30 files end their readable part here, without thumbnail.
        found = false;
        return true;
    }
    if (v >= 23 && !in.color(r.legacyColors[4])) return false;
    if (v >= 26) {
        for (int i = 0; i < 2; ++i) {
            std::int32_t w;
            if (!in.word(w)) return false;
            // -1 is what the writer puts here; the word itself is at word 59.
            if (w != -1) lw[18] = saturate(std::trunc(static_cast<double>(w) / 65536.0));
        }
    }
    if (v >= 30 && !(in.word(r.brickLayers) && in.word(lw[19]) && in.word(r.spherePlan) &&
                     in.word(r.sphereStats)))
        return false;
    if (v >= 33 && !in.word(r.cubeSide)) return false;
    if (v >= 35 && !(in.word(r.ldraw) && in.word(r.brickDiffusion) && in.word(r.brickColorset) &&
                     in.word(r.brickPlates)))
        return false;
    if (v >= 36 && !in.word(r.faceSize)) return false;
    if (v >= 37 && !in.word(r.sharpeningInteger)) return false;
    if (v >= 38 && !(in.word(r.transparentGaps) && in.word(r.edges))) return false;
    if (v >= 40) {
        bool newFound = false;
        if (!readThumbnailBlock(in, thumbnail, newFound)) return false;
        found = found || newFound;
    }
    if (v >= 41 && !in.word(r.anamorphosis)) return false;
    if (v >= 42 && !in.word(r.dehalo)) return false;
    if (v >= 43 && !in.word(r.grid)) return false;
    if (v >= 44 && !in.word(r.previewQuality)) return false;
    if (v >= 46 && !in.word(r.indicatrix)) return false;
    if (v >= 47 && !(in.real(r.latitude) && in.real(r.longitude) && in.real(r.spin) && in.real(r.fov) &&
                     in.real(r.tabs) && in.real(r.sharpen)))
        return false;
    if (v >= 48 && !in.color(r.lineColor)) return false;
    return true;
}

}  // namespace

std::vector<std::uint8_t> encodeSettings(const SettingsRecord& r, const Thumbnail* thumbnail) {
    WordWriter out;
    const std::int32_t* lw = r.legacyWords;
    out.word(kSettingsVersion);                                     // 1
    out.color(r.tabColor);                                          // 2-4
    out.color(r.backdropColor);                                     // 5-7
    out.color(r.legacyColors[0]);                                   // 8-10
    out.word(r.inputProjection);                                    // 11
    for (int i = 1; i <= 3; ++i) out.word(lw[i]);                   // 12-14
    out.word(r.latitudeInteger);                                    // 15
    out.word(r.spinInteger);                                        // 16
    for (int i = 4; i <= 7; ++i) out.word(lw[i]);                   // 17-20
    out.word(r.outputProjection);                                   // 21
    out.word(r.flip);                                               // 22
    out.word(r.hqpr);                                               // 23
    out.word(lw[8]);                                                // 24
    out.word(r.longitudeInteger);                                   // 25
    out.word(r.tabsInteger);                                        // 26
    out.word(lw[20]);                                               // 27
    out.word(lw[9]);                                                // 28
    out.word(lw[11]);                                               // 29
    out.word(lw[12]);                                               // 30
    out.color(r.legacyColors[3]);                                   // 31-33
    out.color(r.legacyColors[3]);                                   // 34-36
    out.color(r.legacyColors[5]);                                   // 37-39
    out.word(r.fovInteger);                                         // 40
    out.word(lw[10]);                                               // 41
    out.word(r.gridLegacy);                                         // 42
    out.word(r.glue);                                               // 43
    out.word(1);                                                    // 44
    out.word(lw[13]);                                               // 45
    out.word(lw[14]);                                               // 46
    out.word(r.faces);                                              // 47
    out.word(lw[16]);                                               // 48
    out.word(lw[17]);                                               // 49
    for (float f : r.legacyFloats) out.word(floatToHundredths(f));  // 50-55
    out.word(lw[0]);                                                // 56
    out.word(lw[15]);                                               // 57
    out.word(1);                                                    // 58
    out.word(lw[18]);                                               // 59
    out.color(r.legacyColors[1]);                                   // 60-62
    out.color(r.legacyColors[2]);                                   // 63-65
    out.word(0);                                                    // 66: empty old thumbnail block
    out.color(r.legacyColors[4]);                                   // 67-69
    out.word(-1);                                                   // 70
    out.word(-1);                                                   // 71
    out.word(r.brickLayers);                                        // 72
    out.word(lw[19]);                                               // 73
    out.word(r.spherePlan);                                         // 74
    out.word(r.sphereStats);                                        // 75
    out.word(r.cubeSide);                                           // 76
    out.word(r.ldraw);                                              // 77
    out.word(r.brickDiffusion);                                     // 78
    out.word(r.brickColorset);                                      // 79
    out.word(r.brickPlates);                                        // 80
    out.word(r.faceSize);                                           // 81
    out.word(r.sharpeningInteger);                                  // 82
    out.word(r.transparentGaps);                                    // 83
    out.word(r.edges);                                              // 84
    std::vector<std::uint8_t> jpeg;
    if (thumbnail != nullptr && !thumbnail->empty() &&
        encodeThumbnailJpeg(*thumbnail, kThumbnailQuality, jpeg)) {
        out.word(1);
        out.word(std::max(16, thumbnail->width));
        out.word(std::max(16, thumbnail->height));
        out.word(static_cast<std::int32_t>(jpeg.size()));
        out.raw(jpeg);
    } else {
        out.word(0);
    }
    out.word(r.anamorphosis);
    out.word(r.dehalo);
    out.word(r.grid);
    out.word(r.previewQuality);
    out.word(r.indicatrix);
    out.real(r.latitude);
    out.real(r.longitude);
    out.real(r.spin);
    out.real(r.fov);
    out.real(r.tabs);
    out.real(r.sharpen);
    out.color(r.lineColor);
    return std::move(out.bytes());
}

SettingsReadResult decodeSettings(std::span<const std::uint8_t> bytes, SettingsReadMode mode,
                                  SettingsRecord& record, Thumbnail* thumbnail) {
    SettingsReadResult result;
    WordReader in(bytes);
    std::int32_t version = 0;
    if (!in.word(version) || version < 1 || version > kSettingsVersion) {
        result.status = kSettingsFileUnknown;
        return result;
    }
    result.version = version;
    // Work on copies so that nothing changes unless the read succeeds.
    SettingsRecord work = record;
    Thumbnail picture;
    bool found = false;
    result.complete = readFields(in, version, work, thumbnail != nullptr ? &picture : nullptr, found);
    result.hasThumbnail = found && !picture.empty();
    if (mode == SettingsReadMode::kLoad) {
        work.version = version;
        convertOlderVersion(work, version);
        syncAnglesFromIntegers(work);
        clampToRanges(work);
        record = work;
    }
    if (thumbnail != nullptr) {
        if (result.hasThumbnail)
            *thumbnail = std::move(picture);
        else
            thumbnail->clear();
    }
    result.status = kFileOk;
    return result;
}

int writeSettingsFile(const std::string& path, SettingsRecord& record, const Thumbnail* thumbnail) {
    record.version = kSettingsVersion;
    const std::vector<std::uint8_t> bytes = encodeSettings(record, thumbnail);
    return writeWholeFile(path, bytes);
}

SettingsReadResult readSettingsFile(const std::string& path, SettingsReadMode mode, SettingsRecord& record,
                                    Thumbnail* thumbnail) {
    std::vector<std::uint8_t> bytes;
    const int status = readWholeFile(path, kSettingsFileLimit, bytes);
    if (status != kFileOk) {
        SettingsReadResult result;
        result.status = status;
        return result;
    }
    return decodeSettings(bytes, mode, record, thumbnail);
}

SettingsReadResult readSettingsThumbnail(const std::string& path, Thumbnail& thumbnail) {
    SettingsRecord scratch{};
    return readSettingsFile(path, SettingsReadMode::kThumbnail, scratch, &thumbnail);
}

}  // namespace globaro
