#pragma once
// What an image file says about itself besides its pixels, carried from the
// input of a render to its output: the camera's EXIF record, the colour
// profile, and the panorama tags (XMP GPano) that photo sites and viewers
// read to show an equirectangular image as a 360° photo.
//
// The output's own facts replace the input's: its pixel dimensions, the
// orientation (a render is drawn upright, so always 1), and the panorama
// tags, which only an output of the plain equirectangular map gets. The
// input's IPTC record is not carried: the output gets the keyword record of
// its own settings (export/iptc.h).
//
// Pose convention (degrees). A pose says where the centre of a panorama
// looks in the world: its heading (compass degrees, clockwise from north),
// its pitch (above the horizon) and its roll (the horizon in the picture
// turned counterclockwise). The render's view (latitude, longitude, spin)
// picks the direction of the input the output's centre shows: latitude is
// a pitch, longitude (rightwards in the input) a heading, and a positive
// spin turns the picture clockwise, that is a roll of -spin. An output's
// pose is the input's pose (level and facing north when it has none)
// followed by the view.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/exif_record.h"
#include "projection/catalogue.h"

namespace globaro {

struct ViewPose {
    double heading = 0.0;  // 0..360
    double pitch = 0.0;    // -90..90
    double roll = 0.0;     // -180..180
};

// The render's view angles, in the settings' units.
struct ViewAngles {
    double latitude = 0.0;
    double longitude = 0.0;
    double spin = 0.0;
};

// Where an equirectangular panorama sits in its image, and where it looks.
struct PanoramaTags {
    std::int32_t fullWidth = 0, fullHeight = 0;
    std::int32_t croppedLeft = 0, croppedTop = 0, croppedWidth = 0, croppedHeight = 0;
    ViewPose pose;
};

// The input's records worth carrying: the camera's EXIF and GPS tags
// (app/exif_record.h says which) and the colour profile.
struct CarriedMetadata {
    ExifRecord exif;
    std::vector<std::uint8_t> iccProfile;  // empty when none
    bool empty() const { return exif.empty() && iccProfile.empty(); }
};

struct ImageMetadata {
    CarriedMetadata carried;
    // The input's GPano pose, when it has one.
    std::optional<ViewPose> pose;
    // Set for an output of the plain equirectangular map.
    std::optional<PanoramaTags> panorama;
};

// What of a file's records is carried: `carried` as read, and the pose of
// the XMP packet `xmp` (or, failing that, of the packet near the start of
// the file at `path`). Nothing yields null.
std::shared_ptr<const ImageMetadata> readMetadata(CarriedMetadata carried, std::string_view xmp,
                                                  const std::string& path);

// The XMP packet holding the panorama tags, when set (empty otherwise).
std::string panoramaXmp(const ImageMetadata& metadata);

// The panorama tags' property names and values as text, in the order the
// XMP packet lists them.
std::vector<std::pair<std::string, std::string>> panoramaProperties(const PanoramaTags& tags);

// Whether `output` is the plain equirectangular map (the registry's row
// drawn by the equirectangular routine with no shading of its own).
bool isPlainEquirectangular(ProjectionId output);

// The panorama tags of an output of `width` x `height` rendered with
// `view`: null unless the output is the plain equirectangular map and the
// whole sphere fills the image (a panorama with empty margins beside or
// above it cannot be described by the tags).
std::optional<PanoramaTags> panoramaTagsFor(ProjectionId output, std::int32_t width, std::int32_t height,
                                            const ViewAngles& view, const std::optional<ViewPose>& inputPose);

// The pose of an output rendered with `view` from an input with `inputPose`.
ViewPose composePose(const std::optional<ViewPose>& inputPose, const ViewAngles& view);

// The view that levels an input with `pose`: pitch and roll undone, the
// heading kept (the output's pose is then heading, 0, 0).
ViewAngles levellingView(const ViewPose& pose);

struct RunSettingsOptions;

// --use-pose: sets the view angles the options leave open to the view that
// levels an input with a pose. False, with a note naming `path`, when the
// input has none (the view stays as it was).
bool takeViewFromPose(const ImageMetadata* input, const std::string& path, RunSettingsOptions& run, std::string& note);

// The metadata of a render's `width` x `height` output: the input's, with
// the panorama tags when the run draws the plain equirectangular map. Null
// when there is nothing to write.
std::shared_ptr<const ImageMetadata> outputMetadata(const std::shared_ptr<const ImageMetadata>& input,
                                                    const RunSettingsOptions& run, std::int32_t width,
                                                    std::int32_t height);

}  // namespace globaro
