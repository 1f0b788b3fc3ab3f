#pragma once
// The built-in demo panorama: an equirectangular scene drawn by the program
// itself (sky with a sun, a ring of mountains, a chequered ground plane and
// coloured marker posts at the four compass points), so that the main job
// can be shown without any download.

#include "app/document.h"

namespace globaro {

// Draws the scene into an RGB document of width x height (2:1 is natural).
bool makeDemoPanorama(Document& doc, std::int32_t width, std::int32_t height, int depth, std::string& error);

}  // namespace globaro
