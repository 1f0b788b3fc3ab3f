#pragma once
// The strip nets built on the curve families: the muses and graces (kinds
// 216 to 235, built on the curves of kinds 196 to 215) and the curlicues
// (kinds 270 to 302, built on the curves of kinds 236 to 268).
//
// A curve kind is one border curve on the sphere, running from the north
// pole to the south pole, given in longitude λ as a function of latitude φ:
//
//   λ(φ) = 2π·twist·u + (2π/N)·amplitude·w(2π·waves·u + phase),  u = (90° − φ)/180°
//
// where u runs from 0 at the north pole to 1 at the south pole and w is a
// sine or a zigzag (triangle) wave of unit height. The curve turned N times
// by 360°/N about the polar axis cuts the sphere into N strips from pole to
// pole; every second border may take its wave a few degrees out of phase,
// which makes the strips alternately wide and narrow instead of congruent.
// A twist winds every strip into a spiral: unrolled, the strip curls.
//
// Each strip is faceted into flat triangles between its two borders at
// equal steps of latitude (a fan at each pole), so it unrolls without
// stretching; a strip wider than 90° of longitude is first cut lengthwise
// into equal ribbons (a flat strip spanning a hemisphere would lie flat
// through the centre). The unfolder never unfolds across a border, so every
// ribbon stays whole in the net unless it would overlap itself, in which
// case it is cut where the overlap test refuses a face. The solid's
// vertices lie on the unit sphere and every face is seen from the centre the
// same way round, so central projection carries the sphere onto it once.

#include <cstdint>

#include "polyhedra/poly_spec.h"
#include "polyhedra/solid_mesh.h"

namespace globaro {

enum class StripWave : std::uint8_t {
    kSine,
    kZigzag,  // a triangle wave: straight runs between sharp turns
};

// One curve kind: the border curve and how many times it is turned.
struct StripCurve {
    int strips = 0;          // N, 2 to 12
    double waves = 0.0;      // whole waves of the border from pole to pole
    double amplitude = 0.0;  // sideways swing of the wave, in strip widths (360°/N)
    double twist = 0.0;      // turns of the border about the axis from pole to pole
    double phase = 0.0;      // phase of the wave at the north pole, degrees
    double oddPhase = 0.0;   // added to the phase of every second border, degrees
    StripWave wave = StripWave::kSine;
};

// The curve of a curve kind (196 to 215, 236 to 268) or of a strip-net kind
// built on one (216 to 235, 270 to 302); false for other kinds.
bool stripCurveOf(PolyKind kind, StripCurve& curve) noexcept;

// Ribbons per strip: a strip wider than 90° of longitude is cut lengthwise
// into equal ribbons, each its own piece of the net.
int stripRibbons(const StripCurve& curve) noexcept;

// Latitude steps of the strips: enough to follow the wave and the twist,
// few enough that a model stays at a few hundred faces.
int stripRings(const StripCurve& curve) noexcept;

// The border curve's longitude (radians) at latitude φ (radians) for border
// number `border`.
double stripBorderLongitude(const StripCurve& curve, int border, double latitude) noexcept;

// The faceted solid: vertices on the unit sphere, the polar axis along y
// (the solid's −y end is the sky's north once the model mirrors it), faces
// turning clockwise seen from outside, strip by strip from the north pole
// down; border edges forbid unfolding.
SolidMesh generateCurveStrips(const StripCurve& curve);

}  // namespace globaro
