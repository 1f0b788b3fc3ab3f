// The extent of an equirectangular GeoTIFF input, read from its GeoTIFF
// tags (OpenImageIO does not pass them on), and the whole-sphere canvas the
// input is placed on when it covers only part of the globe.
//
// Only the tags needed for a north-up latitude/longitude grid are read:
// ModelPixelScale (33550), ModelTiepoint (33922), ModelTransformation
// (34264) and the GeoKey directory (34735) with GTModelType (1024),
// GTRasterType (1025) and GeogAngularUnits (2054) (GeoTIFF 1.1, OGC
// 19-008r4). Every count is bounded before anything is read; nothing is
// allocated from the file's header.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "app/georeference.h"

namespace globaro {
namespace {

constexpr std::uint16_t kTagPixelScale = 33550;
constexpr std::uint16_t kTagTiepoint = 33922;
constexpr std::uint16_t kTagTransformation = 34264;
constexpr std::uint16_t kTagGeoKeys = 34735;
constexpr std::uint16_t kKeyModelType = 1024, kKeyRasterType = 1025, kKeyAngularUnits = 2054;
constexpr std::uint16_t kModelGeographic = 2, kRasterPixelIsPoint = 2, kUnitDegree = 9102;
constexpr std::uint16_t kTypeShort = 3, kTypeDouble = 12;
constexpr std::size_t kMaxKeyShorts = 4 + 4 * 64;  // a directory of at most 64 keys
constexpr std::size_t kMaxEntries = 4096;          // IFD entries looked at

// A TIFF file read at offsets, every read checked against the file's size.
class TiffBytes {
public:
    explicit TiffBytes(const std::string& path) : in_(path, std::ios::binary) {
        if (in_) {
            in_.seekg(0, std::ios::end);
            size_ = static_cast<std::uint64_t>(std::max<std::streamoff>(0, in_.tellg()));
        }
    }
    bool read(std::uint64_t offset, void* out, std::size_t n) {
        if (!in_ || offset > size_ || n > size_ - offset) return false;
        in_.seekg(static_cast<std::streamoff>(offset));
        return static_cast<bool>(in_.read(static_cast<char*>(out), static_cast<std::streamsize>(n)));
    }
    std::uint64_t unsignedAt(std::uint64_t offset, int bytes, bool& ok) {
        std::array<unsigned char, 8> b{};
        if (!read(offset, b.data(), static_cast<std::size_t>(bytes))) {
            ok = false;
            return 0;
        }
        std::uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) v |= std::uint64_t(b[bigEndian ? bytes - 1 - i : i]) << (8 * i);
        return v;
    }
    bool bigEndian = false;

private:
    std::ifstream in_;
    std::uint64_t size_ = 0;
};

struct GeoTags {
    std::vector<double> scale, tiepoint, transformation;
    std::vector<std::uint16_t> keys;
};

// Reads a tag's values (doubles or shorts) when it has at most `limit`.
template <typename T>
bool readValues(TiffBytes& f, std::uint64_t entry, bool big, std::uint16_t type, std::uint64_t count, std::size_t limit,
                std::vector<T>& out) {
    const int size = type == kTypeDouble ? 8 : 2;
    if (count == 0 || count > limit) return false;
    const std::uint64_t bytes = count * size;
    bool ok = true;
    const std::uint64_t inlineAt = entry + (big ? 12 : 8);
    const std::uint64_t at = bytes <= (big ? 8u : 4u) ? inlineAt : f.unsignedAt(inlineAt, big ? 8 : 4, ok);
    std::vector<T> values(count);
    for (std::uint64_t i = 0; i < count && ok; ++i) {
        const std::uint64_t raw = f.unsignedAt(at + i * size, size, ok);
        if constexpr (sizeof(T) == 8) {
            double d;
            std::memcpy(&d, &raw, 8);
            values[i] = d;
        } else {
            values[i] = static_cast<T>(raw);
        }
    }
    // A tag that cannot be read whole is absent.
    if (ok) out = std::move(values);
    return ok;
}

// The GeoTIFF tags of the first image of a TIFF; false when the file is not
// a TIFF (or the tags cannot be read, which makes them absent).
bool readGeoTags(const std::string& path, GeoTags& tags) {
    // A pipe or a device is read once, by the image reader.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    TiffBytes f(path);
    std::array<unsigned char, 4> head{};
    if (!f.read(0, head.data(), 4)) return false;
    if (head[0] == 'M' && head[1] == 'M')
        f.bigEndian = true;
    else if (!(head[0] == 'I' && head[1] == 'I'))
        return false;
    bool ok = true;
    const std::uint64_t version = f.unsignedAt(2, 2, ok);
    const bool big = version == 43;
    if (!ok || (version != 42 && !big)) return false;
    const std::uint64_t ifd = big ? f.unsignedAt(8, 8, ok) : f.unsignedAt(4, 4, ok);
    const std::uint64_t count = big ? f.unsignedAt(ifd, 8, ok) : f.unsignedAt(ifd, 2, ok);
    if (!ok) return false;
    const std::uint64_t first = ifd + (big ? 8 : 2), step = big ? 20 : 12;
    for (std::uint64_t i = 0; i < std::min<std::uint64_t>(count, kMaxEntries) && ok; ++i) {
        const std::uint64_t e = first + i * step;
        const auto tag = static_cast<std::uint16_t>(f.unsignedAt(e, 2, ok));
        const auto type = static_cast<std::uint16_t>(f.unsignedAt(e + 2, 2, ok));
        const std::uint64_t n = f.unsignedAt(e + 4, big ? 8 : 4, ok);
        if (!ok) break;
        if (type == kTypeDouble && tag == kTagPixelScale) readValues(f, e, big, type, n, 3, tags.scale);
        if (type == kTypeDouble && tag == kTagTiepoint) readValues(f, e, big, type, n, 6, tags.tiepoint);
        if (type == kTypeDouble && tag == kTagTransformation) readValues(f, e, big, type, n, 16, tags.transformation);
        if (type == kTypeShort && tag == kTagGeoKeys) readValues(f, e, big, type, n, kMaxKeyShorts, tags.keys);
    }
    return true;
}

// A key of the directory that is stored in the directory itself.
int geoKey(const std::vector<std::uint16_t>& keys, std::uint16_t id, int absent) {
    if (keys.size() < 4) return absent;
    const std::size_t n = std::min<std::size_t>(keys[3], (keys.size() - 4) / 4);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint16_t* k = &keys[4 + 4 * i];
        if (k[0] == id && k[1] == 0) return k[3];
    }
    return absent;
}

}  // namespace

bool readGeoExtent(const std::string& path, std::int32_t width, std::int32_t height, GeoExtent& extent,
                   std::string& error) {
    extent = GeoExtent{};
    GeoTags tags;
    if (!readGeoTags(path, tags) || (tags.transformation.empty() && tags.tiepoint.size() < 6)) return true;
    const auto refuse = [&](const std::string& why) {
        error = "\"" + path + "\": " + why;
        return false;
    };
    if (geoKey(tags.keys, kKeyModelType, kModelGeographic) != kModelGeographic)
        return refuse("its GeoTIFF grid is not in latitude and longitude; reproject it to EPSG:4326 first");
    if (geoKey(tags.keys, kKeyAngularUnits, kUnitDegree) != kUnitDegree)
        return refuse("its GeoTIFF angles are not in degrees");
    // Pixel (P, L) of the grid's corners (0, 0 the top-left corner) lies at
    // lon = lon0 + P·dx, lat = lat0 + L·dy.
    double lon0 = 0.0, lat0 = 0.0, dx = 0.0, dy = 0.0;
    const double centre = geoKey(tags.keys, kKeyRasterType, 1) == kRasterPixelIsPoint ? 0.5 : 0.0;
    if (!tags.transformation.empty()) {
        const auto& m = tags.transformation;
        if (m.size() != 16 || m[1] != 0.0 || m[4] != 0.0) return refuse("its GeoTIFF grid is rotated");
        dx = m[0], dy = m[5];
        lon0 = m[3] - centre * dx, lat0 = m[7] - centre * dy;
    } else {
        if (tags.scale.size() < 2) return refuse("its GeoTIFF tie point has no pixel size");
        const auto& t = tags.tiepoint;
        dx = tags.scale[0], dy = -tags.scale[1];
        lon0 = t[3] - (t[0] + centre) * dx, lat0 = t[4] - (t[1] + centre) * dy;
    }
    if (!(dx > 0.0 && dy < 0.0 && std::isfinite(lon0) && std::isfinite(lat0)))
        return refuse("its GeoTIFF grid is not north-up with positive pixel sizes");
    extent.found = true;
    extent.west = lon0, extent.east = lon0 + width * dx;
    extent.north = lat0, extent.south = lat0 + height * dy;
    const double halfX = dx / 2.0, halfY = -dy / 2.0;
    if (extent.east - extent.west > 360.0 + halfX || extent.north > 90.0 + halfY || extent.south < -90.0 - halfY)
        return refuse("its GeoTIFF extent (" + std::to_string(extent.west) + ".." + std::to_string(extent.east) +
                      " E, " + std::to_string(extent.south) + ".." + std::to_string(extent.north) +
                      " N) does not fit on the globe");
    return true;
}

bool coversWholeGlobe(const GeoExtent& e, std::int32_t width, std::int32_t height) {
    const double halfX = (e.east - e.west) / width / 2.0, halfY = (e.north - e.south) / height / 2.0;
    return !e.found || (e.east - e.west >= 360.0 - halfX && e.north >= 90.0 - halfY && e.south <= -90.0 + halfY);
}

bool placementCanvasSize(const std::string& path, const GeoExtent& e, std::int32_t width, std::int32_t height,
                         std::int32_t& canvasWidth, std::int32_t& canvasHeight, std::string& error) {
    const double dx = (e.east - e.west) / width, dy = (e.north - e.south) / height;
    const double w = std::round(360.0 / dx), h = std::round(180.0 / dy);
    if (!(w <= kMaxDocumentSide && h <= kMaxDocumentSide)) {
        error = "\"" + path + "\" covers too little of the globe to be placed on it at its own resolution (a " +
                std::to_string(static_cast<long long>(std::min(w, 1e12))) + " pixels wide canvas)";
        return false;
    }
    canvasWidth = std::max<std::int32_t>(width, static_cast<std::int32_t>(w));
    canvasHeight = std::max<std::int32_t>(height, static_cast<std::int32_t>(h));
    return true;
}

bool placeOnGlobe(const std::string& path, const GeoExtent& e, Document& doc, std::string& error) {
    std::int32_t w = 0, h = 0;
    if (!placementCanvasSize(path, e, doc.width, doc.height, w, h, error)) return false;
    Document canvas;
    if (!makeDocument(canvas, w, h, doc.colorPlanes, true, doc.depth, error)) {
        error = "\"" + path + "\" cannot be placed on the globe: " + error;
        return false;
    }
    const double dy = (e.north - e.south) / doc.height;
    const auto top = static_cast<std::int32_t>(
        std::clamp(std::round((90.0 - e.north) / dy), 0.0, static_cast<double>(h - doc.height)));
    const int planes = doc.colorPlanes;
    for (std::int32_t y = 0; y < doc.height; ++y) {
        for (std::int32_t x = 0; x < doc.width; ++x) {
            for (int p = 0; p < planes; ++p) canvas.setValue(x, top + y, p, doc.value(x, y, p));
            canvas.setValue(x, top + y, planes, doc.hasAlpha ? doc.value(x, y, planes) : 1.0f);
        }
    }
    canvas.keywords = std::move(doc.keywords);
    canvas.mask.clear();
    doc = std::move(canvas);
    return true;
}

}  // namespace globaro
