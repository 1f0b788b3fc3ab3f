#include "export/iptc.h"

#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <iterator>
#include <string_view>
#include <utility>

#include "projection/catalogue.h"
#include "render/blend_modes.h"

namespace globaro {

namespace {

// Dataset numbers of record 2 (the application record).
constexpr std::uint8_t kRecordVersion = 0;
constexpr std::uint8_t kKeywordDataset = 25;
constexpr std::uint8_t kDateCreated = 55;
constexpr std::uint8_t kSource = 115;
constexpr std::uint8_t kCaption = 120;
constexpr std::uint16_t kIptcResourceId = 1028;

void putU16(std::string& out, std::uint32_t v) {
    out += static_cast<char>((v >> 8) & 0xff);
    out += static_cast<char>(v & 0xff);
}

void putU32(std::string& out, std::uint32_t v) {
    putU16(out, v >> 16);
    putU16(out, v & 0xffff);
}

void putDataset(std::string& out, std::uint8_t dataset, std::string_view data) {
    out += '\x1c';
    out += '\x02';
    out += static_cast<char>(dataset);
    putU16(out, static_cast<std::uint32_t>(data.size()));
    out += data;
}

// The names of the cube faces 1..6 as keywords: the face, and its turn.
constexpr std::string_view kCubeFaceWords[6][2] = {{"bottom", ""},  {"top", ""},     {"left", "270"},
                                                   {"back", "180"}, {"right", "90"}, {"front", "0"}};

}  // namespace

bool addKeyword(KeywordList& list, std::string_view word) {
    if (!keywordListAccepts(list.words, word)) return false;
    list.words.emplace_back(word);
    return true;
}

void addSettingsKeywords(KeywordList& list, const SettingsRecord& s) {
    if (s.exportKind > kExportCubeMap) {
        // A special render names its real output in the inner projection.
        const ProjectionId id = s.outputProjection == kSpecialRenderProjection ? s.innerProjection : s.outputProjection;
        if (hasOutputEntry(id)) addKeyword(list, outputProjectionName(id));
        forEachOutputKeyword(id, [&list](std::string_view word) { addKeyword(list, word); });
    }
    if (s.exportKind == kExportBrickSphere) addKeyword(list, s.brickPlates != 0 ? "plates" : "bricks");
    if (s.gridLegacy > 1) {
        addKeyword(list, "grid");
        addKeyword(list, "graticule");
    }
    if (s.anamorphosis != 0) addKeyword(list, "anamorphic");
    if (s.glue != kBlendNormal) addKeyword(list, blendModeName(s.glue));
}

void addExportKeywords(KeywordList& list, const ExportPicture& picture, std::int32_t job) {
    if (hasOutputEntry(picture.projection)) addKeyword(list, outputProjectionName(picture.projection));
    if (picture.bytesPerChannel == 4) {
        addKeyword(list, "HDR");
        addKeyword(list, "high dynamic range");
    }
    addKeyword(list, "panorama");
    auto add = [&list](std::initializer_list<std::string_view> words) {
        for (const std::string_view word : words) addKeyword(list, word);
    };
    switch (picture.layout) {
        case kExportBrickSphere:
            add({"lego", "sphere"});
            break;
        case kExportPolyGeometry:
            add({"3D", "texturemap", "obj"});
            break;
        case kExportCubeMap:
            add({"cube", "cubemap"});
            if (picture.cubeFace >= 1 && picture.cubeFace <= 6)
                add({kCubeFaceWords[picture.cubeFace - 1][0], kCubeFaceWords[picture.cubeFace - 1][1]});
            break;
        case kExportPolyFaces:
            add({"polyhedron"});
            break;
        default:
            break;
    }
    if (job == kKeywordJobTexture) add({"texturemap", "3D", "obj"});
    if (job == kKeywordJobGallery) add({"gallery", "preset"});
}

IptcDate todaysDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string buildIptcResource(const KeywordList& list, bool withHeader, const IptcDate& date) {
    std::string data;
    putDataset(data, kRecordVersion, std::string_view("\0\2", 2));
    putDataset(data, kSource, kMakerWebAddress);
    char day[32];
    std::snprintf(day, sizeof day, "%04d%02d%02d", date.year % 10000, date.month % 100, date.day % 100);
    putDataset(data, kDateCreated, day);
    putDataset(data, kCaption, kImageCaption);
    putDataset(data, kKeywordDataset, kProductKeyword);
    for (const std::string& word : list.words) putDataset(data, kKeywordDataset, word);
    if (data.size() % 2 != 0) data += '\0';

    std::string out;
    if (withHeader) out.append("Photoshop 3.0", 14);  // with its terminating zero
    out += "8BIM";
    putU16(out, kIptcResourceId);
    putU16(out, 0);  // an empty name, padded to even
    putU32(out, static_cast<std::uint32_t>(data.size()));
    return out + data;
}

std::string buildExifBlock(const std::tm& when) {
    char date[80];
    std::snprintf(date, sizeof date, "%04d:%02d:%02d %02d:%02d:%02d", when.tm_year + 1900, when.tm_mon + 1,
                  when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec);
    // Tag, and its text with the terminating zero; in ascending tag order.
    const std::pair<std::uint16_t, std::string> entries[] = {
        {0x010E, std::string(kImageCaption) + '\0'},    // ImageDescription
        {0x0131, std::string(kProductKeyword) + '\0'},  // Software
        {0x0132, std::string(date, 19) + '\0'},         // DateTime
    };
    auto be = [](std::string& out, std::uint32_t v, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    std::string out = "MM";
    be(out, 42, 2);
    be(out, 8, 4);  // the directory follows the header
    constexpr std::uint32_t kCount = std::size(entries);
    std::uint32_t valueAt = 8 + 2 + kCount * 12 + 4;  // values after the directory
    std::string values;
    be(out, kCount, 2);
    for (const auto& [tag, text] : entries) {
        be(out, tag, 2);
        be(out, 2, 2);  // ASCII
        be(out, static_cast<std::uint32_t>(text.size()), 4);
        if (text.size() <= 4) {
            std::string inline4 = text;
            inline4.resize(4, '\0');
            out += inline4;
            continue;
        }
        be(out, valueAt + static_cast<std::uint32_t>(values.size()), 4);
        values += text;
        if (values.size() % 2 != 0) values.push_back('\0');  // word-aligned offsets
    }
    be(out, 0, 4);  // no further directory
    return out + values;
}

std::string buildExifBlockNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return buildExifBlock(local);
}

}  // namespace globaro
