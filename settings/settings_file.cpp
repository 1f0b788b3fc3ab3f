#include "settings/settings_file.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <iterator>
#include <limits>

#include "platform/temp_folder.h"
#include "settings/settings_fields.h"

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

// What fills a stretch of the file's words.
enum class Slot : std::uint8_t {
    kVersion,           // word 1
    kField,             // a field of the settings table
    kFieldAgain,        // a field written a second time; the reader keeps the second copy
    kOne,               // a word written as 1 and dropped when read
    kOldThumbnail,      // the old-style thumbnail block, written empty
    kWordEighteenHigh,  // words 70-71: written as -1; read as legacy word 18 in their high half
    kThumbnail,         // the thumbnail block
};

struct FileItem {
    int word;   // first word, in a version-48 file without thumbnail
    int since;  // first version that carries it
    Slot slot;
    const SettingsField* field = nullptr;
};

// The words of the format itself; the fields' words come from their table.
constexpr FileItem kFormatItems[] = {
    {44, 3, Slot::kOne},        {58, 16, Slot::kOne}, {66, 22, Slot::kOldThumbnail}, {70, 26, Slot::kWordEighteenHigh},
    {85, 40, Slot::kThumbnail},
};

// The whole file in word order.
const std::vector<FileItem>& fileLayout() {
    static const std::vector<FileItem> layout = [] {
        std::vector<FileItem> items(std::begin(kFormatItems), std::end(kFormatItems));
        for (const SettingsField& f : settingsFields()) {
            if (f.word == 0) continue;
            items.push_back({f.word, f.since, f.word == 1 ? Slot::kVersion : Slot::kField, &f});
            if (f.againAt != 0) items.push_back({f.againAt, f.since, Slot::kFieldAgain, &f});
        }
        std::sort(items.begin(), items.end(), [](const FileItem& a, const FileItem& b) { return a.word < b.word; });
        return items;
    }();
    return layout;
}

bool readField(WordReader& in, const SettingsField& f, SettingsRecord& r) {
    switch (f.type) {
        case FieldType::kInteger:
        case FieldType::kBoolean:
            return in.word(f.place.integerIn(r));
        case FieldType::kFloat:
            if (f.hundredths) {
                std::int32_t w;
                if (!in.word(w)) return false;
                f.place.floatIn(r) = hundredthsToFloat(w);
                return true;
            }
            return in.real(f.place.floatIn(r));
        case FieldType::kColor:
            return in.color(f.place.colorIn(r));
    }
    return false;
}

void writeField(WordWriter& out, const SettingsField& f, const SettingsRecord& r) {
    switch (f.type) {
        case FieldType::kInteger:
        case FieldType::kBoolean:
            out.word(f.place.integerIn(r));
            break;
        case FieldType::kFloat:
            if (f.hundredths)
                out.word(floatToHundredths(f.place.floatIn(r)));
            else
                out.real(f.place.floatIn(r));
            break;
        case FieldType::kColor:
            out.color(f.place.colorIn(r));
            break;
    }
}

// Reads the fields of version `v` in file order into `r`. Returns false when
// the data end early. Sets `found` when a thumbnail was decoded.
bool readFields(WordReader& in, std::int32_t v, SettingsRecord& r, Thumbnail* thumbnail, bool& found) {
    found = false;
    for (const FileItem& item : fileLayout()) {
        if (v < item.since) continue;
        switch (item.slot) {
            case Slot::kVersion:
                break;  // read before the fields
            case Slot::kField:
            case Slot::kFieldAgain:
                if (!readField(in, *item.field, r)) return false;
                break;
            case Slot::kOne: {
                std::int32_t ignored;
                if (!in.word(ignored)) return false;
                break;
            }
            case Slot::kOldThumbnail:
                if (!readOldThumbnailBlock(in, thumbnail, found)) return false;
                if (v == 30) {
                    // Version 30 files end their readable part here, without thumbnail.
                    found = false;
                    return true;
                }
                break;
            case Slot::kWordEighteenHigh:
                for (int i = 0; i < 2; ++i) {
                    std::int32_t w;
                    if (!in.word(w)) return false;
                    // -1 is what the writer puts here; the word itself is at word 59.
                    if (w != -1) r.legacyWords[18] = saturate(std::trunc(static_cast<double>(w) / 65536.0));
                }
                break;
            case Slot::kThumbnail: {
                bool newFound = false;
                if (!readThumbnailBlock(in, thumbnail, newFound)) return false;
                found = found || newFound;
                break;
            }
        }
    }
    return true;
}

}  // namespace

std::vector<std::uint8_t> encodeSettings(const SettingsRecord& r, const Thumbnail* thumbnail) {
    WordWriter out;
    for (const FileItem& item : fileLayout()) {
        switch (item.slot) {
            case Slot::kVersion:
                out.word(kSettingsVersion);
                break;
            case Slot::kField:
            case Slot::kFieldAgain:
                writeField(out, *item.field, r);
                break;
            case Slot::kOne:
                out.word(1);
                break;
            case Slot::kOldThumbnail:
                out.word(0);
                break;
            case Slot::kWordEighteenHigh:
                out.word(-1);
                out.word(-1);
                break;
            case Slot::kThumbnail: {
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
                break;
            }
        }
    }
    return std::move(out.bytes());
}

SettingsReadResult decodeSettings(std::span<const std::uint8_t> bytes, SettingsReadMode mode, SettingsRecord& record,
                                  Thumbnail* thumbnail) {
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
