#pragma once
// The built-in demo panorama: an equirectangular scene drawn by the program
// itself (sky with a sun, a ring of mountains, a chequered ground plane and
// coloured marker posts at the four compass points), so that the main job
// can be shown without any download.

#include <array>

#include "app/document.h"

namespace globaro {

// The scene's colour (linear 0..1 RGB) in the direction of longitude lon and
// latitude lat (radians; longitude 0 at the panorama's centre, growing to the
// right). Exact, so that a view of the demo can be compared with its truth.
std::array<double, 3> demoSceneColor(double lon, double lat);

// Draws the scene into an RGB document of width x height (2:1 is natural).
bool makeDemoPanorama(Document& doc, std::int32_t width, std::int32_t height, int depth, std::string& error);

}  // namespace globaro
