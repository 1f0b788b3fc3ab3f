#pragma once
// `globaro probe`: follows output positions through the mapping of one render
// (output position → direction → view rotation → input position) and prints
// what each sample would read.

#include <cstdint>
#include <ostream>
#include <utility>
#include <vector>

namespace globaro::cli {

struct ProbeOptions {
    std::int32_t input = 1;                       // input projection id (1..38)
    std::int32_t output = 81;                     // output projection id (any of the catalogue)
    int width = 1024, height = 512;               // output image size
    int inputWidth = 2048, inputHeight = 1024;    // input image size (its aspect matters)
    float lat = 0, lon = 0, spin = 0, fov = 120;  // orientation, degrees
    bool flip = false, anamorph = false;
    std::vector<std::pair<double, double>> points;  // output positions (a, b), fractions 0..1
};

// Every sample goes through the render setup and `outputToSphere`, as in a
// render (outputs drawn by the polyhedron model build their model first).
// Prints one JSON object per line for every point, in order:
//   {"a", "b", "direction": [x, y, z] (null when the output shows nothing
//    there), "u", "v", "miss", "face", "regionTag", "pieceTag", "subTag",
//    "weight"}
// where direction is the one looked up in the input (after the fold, the
// output's pre-warp and the view rotation), u and v the input position (−1
// when nothing is looked up or the lookup missed), miss whether u or v lies
// outside [0, 1], face the cube face of the layout inputs or the output's own
// face or gore number (−1 otherwise), regionTag the sample's region (−7 plain
// map, −9 second half, face/gore numbers, ≥ 3010 a glue tab, −5 empty,
// −10001 and below a gap or a missed lookup), pieceTag the input's region
// code, subTag 1 when u or v lies outside [0, 1], and weight the zenith &
// nadir seam weight (b for the equirectangular output, −1 otherwise).
// Outputs drawn by samplers of their own (45, 394..396, 486) answer empty
// samples. Returns 0, or 2 with a one-line message on `err` (and nothing on
// `out`) for an unknown output or input, bad sizes or angles, no points, or a
// point outside the image.
int runProbe(const ProbeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace globaro::cli
