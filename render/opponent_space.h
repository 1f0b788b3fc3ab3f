#pragma once

#include <array>
#include <cstdint>

// The lightness-opponent colour space of glue modes 54 to 57. A 15-bit RGB
// triple (0..32768) becomes a lightness L and two opponent components A
// (green-red) and B (blue-yellow), each on the same 0..32768 scale, and back.
//
// Both directions are tetrahedral interpolations in tables of 16 x 16 x 16
// nodes of three 8-bit values (node spacing 17 on the 8-bit scale, 32768 / 15
// on the 15-bit scale). The tables hold CIELAB (D65, sRGB primaries and
// transfer curve) with L* scaled to 0..255 and a*, b* stretched by 1.2 and
// 1.18 and offset by 128: black is (0, 128, 128) and white (255, 128, 128).
// The inverse table's opponent nodes sit at a*, b* = (17 j - 136) / stretch,
// so the neutral axis runs through nodes and greys come back as greys; nodes
// outside the RGB cube hold the clipped colour. Both are computed once, on
// first use, in a thread-safe way.
//
// The 8-bit entries and the coarse grid limit the accuracy of the way back:
// greys return within one 8-bit step and without tint; other colours return
// within about 2 % on average (under 1 % away from the cube's surface), and
// saturated colours near the surface within about 23 %.
//
// 15-bit scale of the components: L15 = L8 x 32768 / 255; the opponent axes
// are centred so that the neutral value 128 is exactly HALF:
// A15 = (A8 - 128) x 32768 / 255 + 16384 (about -64 .. 32704).

namespace globaro {

inline constexpr int kOpponentNodes = 16;        // nodes per axis
inline constexpr int kOpponentNodeCount = 4096;  // 16 x 16 x 16

struct OpponentTables {
    // Node (i, j, k) is at index ((i x 16) + j) x 16 + k, three bytes each.
    // forward: i, j, k index red, green, blue; entries L, A, B.
    // inverse: i, j, k index L, A, B; entries red, green, blue.
    std::array<std::uint8_t, kOpponentNodeCount * 3> forward{};
    std::array<std::uint8_t, kOpponentNodeCount * 3> inverse{};
};

// The two tables (built on first call; later calls return the same object).
const OpponentTables& opponentTables();

// 15-bit red, green, blue (values outside 0..32768 are limited to it) to
// 15-bit L, A, B.
void rgbToOpponent(const std::int32_t rgb[3], std::int32_t lab[3]);

// 15-bit L, A, B (limited to the table's range) to 15-bit red, green, blue,
// each in 0..32768.
void opponentToRgb(const std::int32_t lab[3], std::int32_t rgb[3]);

}  // namespace globaro
