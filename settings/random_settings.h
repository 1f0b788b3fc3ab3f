#pragma once
// Random and stepped changes of the view: the Dice and Constrained buttons,
// the angle reset and the buttons that advance a choice to its next value.

#include <cstdint>

#include "settings/settings_record.h"

namespace globaro {

inline constexpr const char* kRandomSettingsName = "random settings";

// A small generator with the range of the C library's rand (0..32767),
// explicit and seedable so that a run can be repeated.
class RandomGenerator {
public:
    static constexpr int kMax = 32767;

    explicit RandomGenerator(std::uint32_t seed = 1) : state_(seed) {}
    void seed(std::uint32_t seed) { state_ = seed; }
    // The next value, 0..32767.
    int next();

private:
    std::uint32_t state_;
};

// The module's generator; seeded from the clock on every prepare call.
RandomGenerator& settingsRandom();
void seedFromClock(RandomGenerator& generator);

// The mask randomInt uses for the span d = hi - lo: 1 when d < 2, else the
// smallest 2^k - 1 (k >= 1) that is at least d.
std::uint64_t randomIntMask(std::uint64_t span);

// An integer from lo to hi inclusive (swapped when lo > hi), uniform: draws
// r, takes (r >> 4) & mask, adds lo, and draws again while the result is
// above hi. Spans wider than the 11 bits one draw gives take several draws.
std::int32_t randomInt(RandomGenerator& generator, std::int32_t lo, std::int32_t hi);

// "&Dice": latitude uniform on -90..90; longitude and spin the sum of two
// draws on -180..180. "C&onstrained": quarter turns. Both set the whole-
// number mirrors and name the settings "random settings".
void randomAngles(SettingsRecord& record, RandomGenerator& generator);
void constrainedAngles(SettingsRecord& record, RandomGenerator& generator);

// "r&eset": latitude, longitude, spin and their mirrors become 0.
void resetAngles(SettingsRecord& record);

// The stepping buttons: control 81 glue (1..69), 13 grid (1..7), 110
// previewQuality (1..3), 97 inputProjection (1..38), 94 outputProjection
// (1..414). Adds 1 and wraps to 1 past the last value; grid and quality
// values below 1 are first raised to 1, and any other value below 0 steps
// to 1. Returns false for any other control.
bool stepChoice(SettingsRecord& record, int control);

}  // namespace globaro
