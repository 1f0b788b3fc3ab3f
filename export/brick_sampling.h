#pragma once
// Where a brick takes its colour: the picture's colour in the direction of
// the brick from the sphere's centre, turned by the view settings exactly as
// a render turns it (the same rotation, fold, flip and input projection),
// filtered over about a brick's width of the picture.

#include <cstdint>
#include <memory>
#include <string>

#include "export/brick_sphere.h"
#include "projection/render_context.h"
#include "render/image_pyramid.h"

namespace globaro {

struct SettingsRecord;

class BrickPictureLookup {
public:
    BrickPictureLookup();
    ~BrickPictureLookup();
    BrickPictureLookup(const BrickPictureLookup&) = delete;
    BrickPictureLookup& operator=(const BrickPictureLookup&) = delete;

    // Takes the picture and the view of `settings` for a sphere of `layers`
    // layers. False when the picture cannot be held (one line in `error`).
    bool load(const SettingsRecord& settings, const SourceImageView& picture, std::int32_t layers, std::string& error);

    // The colour (0..255) the picture shows in `direction`, over the
    // settings' backdrop colour where it is transparent or shows nothing.
    void colourOf(const SphereDir& direction, float rgb[3]) const;

    BrickColourLookup asLookup() const {
        return [this](const SphereDir& d, float rgb[3]) { colourOf(d, rgb); };
    }

private:
    ImagePyramid pyramid_;
    RenderContext ctx_;
    PolyModel* soccer_ = nullptr;
    float detail_ = 0.0f;  // the pyramid level of a brick's footprint
};

}  // namespace globaro
