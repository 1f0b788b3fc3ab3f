#include "app/exif_record.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace globaro {

namespace {

constexpr std::uint16_t kOrientation = 0x0112;
constexpr std::uint16_t kExifPointer = 0x8769;
constexpr std::uint16_t kGpsPointer = 0x8825;
constexpr std::uint16_t kInteropPointer = 0xa005;
constexpr std::uint16_t kMakerNote = 0x927c;
constexpr std::uint16_t kPixelXDimension = 0xa002;
constexpr std::uint16_t kPixelYDimension = 0xa003;
constexpr std::uint16_t kTypeAscii = 2, kTypeShort = 3, kTypeLong = 4;
// Most tags one directory may bring (a damaged count claims thousands).
constexpr std::uint16_t kMaxTags = 1024;

// Bytes of one value of each TIFF field type (0: unknown type).
std::uint32_t typeSize(std::uint16_t type) {
    static constexpr std::uint8_t kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < std::size(kSizes) ? kSizes[type] : 0;
}

// The main-directory tags carried: make, model, date, artist, copyright
// and the resolution.
constexpr std::uint16_t kCarriedMain[] = {0x010f, 0x0110, 0x011a, 0x011b, 0x0128, 0x0132, 0x013b, 0x8298};

class Reader {
public:
    Reader(const std::uint8_t* bytes, std::size_t size, bool big) : bytes_(bytes), size_(size), big_(big) {}
    bool fits(std::size_t at, std::size_t n) const { return at <= size_ && n <= size_ - at; }
    std::uint32_t u16(std::size_t at) const {
        return big_ ? (bytes_[at] << 8 | bytes_[at + 1]) : (bytes_[at + 1] << 8 | bytes_[at]);
    }
    std::uint32_t u32(std::size_t at) const {
        return big_ ? (u16(at) << 16 | u16(at + 2)) : (u16(at + 2) << 16 | u16(at));
    }

    // Reads the directory at `offset`; the pointers to the EXIF and GPS
    // directories come back in `exifAt` and `gpsAt` (0 when absent).
    bool directory(std::uint32_t offset, std::vector<ExifTag>& tags, std::uint32_t* exifAt, std::uint32_t* gpsAt) {
        if (!fits(offset, 2)) return false;
        const std::uint32_t count = u16(offset);
        if (count > kMaxTags || !fits(offset + 2, std::size_t{count} * 12)) return false;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t at = offset + 2 + std::size_t{i} * 12;
            ExifTag t;
            t.tag = static_cast<std::uint16_t>(u16(at));
            t.type = static_cast<std::uint16_t>(u16(at + 2));
            t.count = u32(at + 4);
            if (t.tag == kExifPointer || t.tag == kGpsPointer) {
                std::uint32_t* into = t.tag == kExifPointer ? exifAt : gpsAt;
                if (into != nullptr) *into = u32(at + 8);
                continue;
            }
            const std::uint32_t unit = typeSize(t.type);
            if (unit == 0 || t.tag == kInteropPointer || t.tag == kMakerNote) continue;
            const std::uint64_t bytes = std::uint64_t{unit} * t.count;
            const std::size_t valueAt = bytes <= 4 ? at + 8 : u32(at + 8);
            if (bytes > size_ || !fits(valueAt, static_cast<std::size_t>(bytes))) continue;
            t.value.resize(static_cast<std::size_t>(bytes));
            // Values are kept big-endian: multi-byte numbers are turned
            // round one by one (a rational is two LONGs).
            const std::uint32_t word = t.type == 5 || t.type == 10 ? 4 : t.type == 12 ? 8 : unit;
            for (std::size_t k = 0; k < t.value.size(); k += word)
                for (std::uint32_t b = 0; b < word; ++b)
                    t.value[k + b] = bytes_[valueAt + k + (big_ ? b : word - 1 - b)];
            tags.push_back(std::move(t));
        }
        return true;
    }

private:
    const std::uint8_t* bytes_;
    std::size_t size_;
    bool big_;
};

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v >> 16);
    put16(out, v & 0xffff);
}

ExifTag numberTag(std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
    ExifTag t{tag, type, 1, {}};
    if (type == kTypeShort)
        put16(t.value, value);
    else
        put32(t.value, value);
    return t;
}

// Writes a directory at the end of `out`: its entries sorted by tag, then
// the values that do not fit an entry. Returns where each pointer tag's
// value sits, so that the caller can fill it in.
void writeDirectory(std::vector<std::uint8_t>& out, std::vector<ExifTag> tags,
                    std::vector<std::pair<std::uint16_t, std::size_t>>& pointers) {
    std::stable_sort(tags.begin(), tags.end(), [](const ExifTag& a, const ExifTag& b) { return a.tag < b.tag; });
    const std::size_t start = out.size();
    std::size_t data = start + 2 + tags.size() * 12 + 4;
    put16(out, static_cast<std::uint32_t>(tags.size()));
    std::vector<std::uint8_t> values;
    for (const ExifTag& t : tags) {
        put16(out, t.tag);
        put16(out, t.type);
        put32(out, t.count);
        if (t.tag == kExifPointer || t.tag == kGpsPointer) pointers.emplace_back(t.tag, out.size());
        if (t.value.size() <= 4) {
            for (std::size_t i = 0; i < 4; ++i) out.push_back(i < t.value.size() ? t.value[i] : 0);
        } else {
            put32(out, static_cast<std::uint32_t>(data + values.size()));
            values.insert(values.end(), t.value.begin(), t.value.end());
            if (values.size() % 2 != 0) values.push_back(0);  // values start on a word
        }
    }
    put32(out, 0);  // no further directory
    out.insert(out.end(), values.begin(), values.end());
}

}  // namespace

void ExifRecord::setText(std::uint16_t tag, std::string_view text) {
    std::erase_if(main, [tag](const ExifTag& t) { return t.tag == tag; });
    ExifTag t{tag, kTypeAscii, static_cast<std::uint32_t>(text.size() + 1), {text.begin(), text.end()}};
    t.value.push_back(0);
    main.push_back(std::move(t));
}

std::string ExifRecord::text(std::uint16_t tag) const {
    for (const ExifTag& t : main)
        if (t.tag == tag && t.type == kTypeAscii)
            return std::string(t.value.begin(), std::find(t.value.begin(), t.value.end(), std::uint8_t{0}));
    return {};
}

bool ExifRecord::resolution(double& x, double& y, int& unit) const {
    const auto find = [this](std::uint16_t tag, std::uint16_t type) -> const ExifTag* {
        for (const ExifTag& t : main)
            if (t.tag == tag && t.type == type && t.value.size() >= typeSize(type)) return &t;
        return nullptr;
    };
    const auto rational = [](const ExifTag* t) {
        const auto word = [t](std::size_t at) {
            return std::uint32_t{t->value[at]} << 24 | std::uint32_t{t->value[at + 1]} << 16 |
                   std::uint32_t{t->value[at + 2]} << 8 | t->value[at + 3];
        };
        return word(4) != 0 ? static_cast<double>(word(0)) / word(4) : 0.0;
    };
    const ExifTag *across = find(0x011a, 5), *down = find(0x011b, 5), *units = find(0x0128, kTypeShort);
    if (across == nullptr || down == nullptr) return false;
    x = rational(across);
    y = rational(down);
    unit = units != nullptr ? (units->value[0] << 8 | units->value[1]) : 2;  // inches unless said
    return x > 0.0 && y > 0.0;
}

void ExifRecord::setResolution(std::uint32_t x, std::uint32_t y, int unit) {
    std::erase_if(main, [](const ExifTag& t) { return t.tag == 0x011a || t.tag == 0x011b || t.tag == 0x0128; });
    for (const auto& [tag, value] : {std::pair{std::uint16_t{0x011a}, x}, {std::uint16_t{0x011b}, y}}) {
        ExifTag t{tag, 5, 1, {}};
        put32(t.value, value);
        put32(t.value, 1);
        main.push_back(std::move(t));
    }
    main.push_back(numberTag(0x0128, kTypeShort, static_cast<std::uint32_t>(unit)));
}

bool parseExif(const std::uint8_t* bytes, std::size_t size, ExifRecord& record) {
    if (size >= 6 && std::memcmp(bytes, "Exif\0\0", 6) == 0) bytes += 6, size -= 6;
    if (size < 8) return false;
    const bool big = bytes[0] == 'M' && bytes[1] == 'M';
    if (!big && !(bytes[0] == 'I' && bytes[1] == 'I')) return false;
    Reader r(bytes, size, big);
    if (r.u16(2) != 42) return false;
    ExifRecord out;
    std::uint32_t exifAt = 0, gpsAt = 0;
    if (!r.directory(r.u32(4), out.main, &exifAt, &gpsAt)) return false;
    if (exifAt != 0) r.directory(exifAt, out.exif, nullptr, nullptr);
    if (gpsAt != 0) r.directory(gpsAt, out.gps, nullptr, nullptr);
    record = std::move(out);
    return true;
}

ExifRecord carriedExif(const ExifRecord& record) {
    ExifRecord out;
    for (const ExifTag& t : record.main)
        if (std::find(std::begin(kCarriedMain), std::end(kCarriedMain), t.tag) != std::end(kCarriedMain))
            out.main.push_back(t);
    for (const ExifTag& t : record.exif)
        if (t.tag != kPixelXDimension && t.tag != kPixelYDimension) out.exif.push_back(t);
    out.gps = record.gps;
    return out;
}

std::vector<std::uint8_t> encodeExif(const ExifRecord& record, std::int32_t width, std::int32_t height) {
    std::vector<ExifTag> main = record.main, exif = record.exif;
    std::erase_if(main, [](const ExifTag& t) { return t.tag == kOrientation; });
    std::erase_if(exif, [](const ExifTag& t) { return t.tag == kPixelXDimension || t.tag == kPixelYDimension; });
    main.push_back(numberTag(kOrientation, kTypeShort, 1));
    exif.push_back(numberTag(kPixelXDimension, kTypeLong, static_cast<std::uint32_t>(width)));
    exif.push_back(numberTag(kPixelYDimension, kTypeLong, static_cast<std::uint32_t>(height)));
    main.push_back(numberTag(kExifPointer, kTypeLong, 0));
    if (!record.gps.empty()) main.push_back(numberTag(kGpsPointer, kTypeLong, 0));

    std::vector<std::uint8_t> out = {'M', 'M', 0, 42, 0, 0, 0, 8};
    std::vector<std::pair<std::uint16_t, std::size_t>> pointers;
    writeDirectory(out, main, pointers);
    std::vector<std::pair<std::uint16_t, std::size_t>> none;
    for (const auto& [tag, at] : pointers) {
        const auto offset = static_cast<std::uint32_t>(out.size());
        for (int b = 0; b < 4; ++b) out[at + b] = static_cast<std::uint8_t>(offset >> (24 - 8 * b));
        writeDirectory(out, tag == kExifPointer ? exif : record.gps, none);
    }
    return out;
}

}  // namespace globaro
