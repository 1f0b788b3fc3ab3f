#pragma once
// The small dialogs the export buttons open to ask for their options. Each
// shows the options the settings hold, and on OK stores the answers into
// them (clamped, see ui/dialog_exports.h) and returns true.

#include "settings/settings_record.h"

class QWidget;

namespace globaro {

// "Cube map": the side of each face in pixels.
bool askCubeSide(QWidget* owner, SettingsRecord& settings);
// "Export PSD image": the input's size, its proportions, or a custom size,
// for an input of imageW x imageH.
bool askPsdSize(QWidget* owner, SettingsRecord& settings, int imageW, int imageH);
// "Brick sphere": layers, plates, colours, diffusion and the results.
bool askBricks(QWidget* owner, SettingsRecord& settings);
// "Export Polyhedron": what to export and the size of a face or map.
bool askFacets(QWidget* owner, SettingsRecord& settings);

}  // namespace globaro
