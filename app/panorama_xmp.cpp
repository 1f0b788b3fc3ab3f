// The panorama tags as XMP properties (the GPano namespace that photo sites
// and viewers read to show an equirectangular image as a 360° photo).

#include <cstdio>

#include "app/metadata.h"

namespace globaro {

std::vector<std::pair<std::string, std::string>> panoramaProperties(const PanoramaTags& t) {
    const auto number = [](double v) {
        char text[32];
        std::snprintf(text, sizeof text, "%.6g", v);
        return std::string(text);
    };
    return {{"GPano:ProjectionType", "equirectangular"},
            {"GPano:UsePanoramaViewer", "True"},
            {"GPano:FullPanoWidthPixels", std::to_string(t.fullWidth)},
            {"GPano:FullPanoHeightPixels", std::to_string(t.fullHeight)},
            {"GPano:CroppedAreaImageWidthPixels", std::to_string(t.croppedWidth)},
            {"GPano:CroppedAreaImageHeightPixels", std::to_string(t.croppedHeight)},
            {"GPano:CroppedAreaLeftPixels", std::to_string(t.croppedLeft)},
            {"GPano:CroppedAreaTopPixels", std::to_string(t.croppedTop)},
            {"GPano:PoseHeadingDegrees", number(t.pose.heading)},
            {"GPano:PosePitchDegrees", number(t.pose.pitch)},
            {"GPano:PoseRollDegrees", number(t.pose.roll)}};
}

std::string panoramaXmp(const ImageMetadata& m) {
    if (!m.panorama) return {};
    std::string x =
        "<?xpacket begin=\"\xef\xbb\xbf\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
        " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
        "  <rdf:Description rdf:about=\"\" xmlns:GPano=\"http://ns.google.com/photos/1.0/panorama/\"";
    for (const auto& [name, value] : panoramaProperties(*m.panorama)) x += "\n   " + name + "=\"" + value + "\"";
    x += "/>\n </rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?>";
    return x;
}

}  // namespace globaro
