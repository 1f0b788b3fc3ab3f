#pragma once
// The keyword record every JPEG and PSD file we write carries: an IPTC
// record (Photoshop image resource 1028) naming the maker, the date, a
// caption and the keywords that let picture libraries find an image by
// projection, layout and options.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_job.h"
#include "geometry/projection_id.h"
#include "settings/settings_record.h"

namespace globaro {

// The caption of every record.
inline constexpr std::string_view kImageCaption = "Made with Globaro 2";
// The first keyword of every record.
inline constexpr std::string_view kProductKeyword = "Globaro 2";

// Up to 19 keywords of at most 49 characters; no empty word and no word
// twice. A word the list cannot take is dropped without a word.
struct KeywordList {
    std::vector<std::string> words;
};

// Adds `word` when the list takes it; returns whether it did.
bool addKeyword(KeywordList& list, std::string_view word);

// The keywords of the settings of a render: for a page thumbnail or a PSD
// of a render (`exportKind` above 1) the output projection's name and its
// catalogue keywords, "plates" or "bricks" for a brick sphere, "grid" and
// "graticule" when a graticule is drawn, "anamorphic", and the glue mode's
// name unless it is the plain one.
void addSettingsKeywords(KeywordList& list, const SettingsRecord& settings);

// What the keywords of an exported picture depend on.
struct ExportPicture {
    // Which pictures: the `exportKind` value of the export (brick sphere 0,
    // cube map 1, polyhedron faces 2, geometry texture 4), or -1 for a
    // picture of none of these (a plain render).
    std::int32_t layout = -1;
    ProjectionId projection = 0;       // named when it has a catalogue entry
    std::int32_t bytesPerChannel = 1;  // 4 for 32-bit float pictures
    std::int32_t cubeFace = 0;         // 1..6 for a cube-map face (layout 1)
};

// The job that made a picture, for the keywords of its kind.
enum KeywordJob : std::int32_t {
    kKeywordJobPlain = 0,
    kKeywordJobTexture = 4,  // the texture of a geometry export
    kKeywordJobGallery = 5,  // a thumbnail of a page of presets
};

// The keywords of an exported picture: its projection's name, "HDR" for
// float pictures, "panorama" always, then those of its layout and job.
void addExportKeywords(KeywordList& list, const ExportPicture& picture, std::int32_t job);

// A calendar date, for the record's creation date.
struct IptcDate {
    int year = 0;
    int month = 0;
    int day = 0;
};
IptcDate todaysDate();

// The record as Photoshop image resource 1028, optionally preceded by the
// "Photoshop 3.0" header of a JPEG APP13 marker: the record version, the
// maker's address, `date`, the caption, "Globaro 2" and one keyword dataset
// per word of `list`. Its size is the string's size.
std::string buildIptcResource(const KeywordList& list, bool withHeader, const IptcDate& date = todaysDate());

// The picture's description as Photoshop image resource 1058 holds it: an
// EXIF block (a big-endian TIFF header and one directory) naming the caption
// as the image description, "Globaro 2" as the software, and `when` (local
// time) as the date and time.
std::string buildExifBlock(const std::tm& when);

// The same for the present moment.
std::string buildExifBlockNow();

}  // namespace globaro
