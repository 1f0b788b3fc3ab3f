#pragma once
// π in the forms some formulas were written with. Code takes π, π/2, 2π and
// 1/π from std::numbers; these are the other forms, kept to the last digit
// because the projections that use them draw with exactly these values.

#include <numbers>

namespace globaro {

// The float π, π/2, 2π, 1/π and 1/(2π) widened to double, for the formulas
// that compute in double with the float constants.
inline constexpr double kFloatPiWidened = std::numbers::pi_v<float>;
inline constexpr double kFloatHalfPiWidened = std::numbers::pi_v<float> / 2.0f;
inline constexpr double kFloatTwoPiWidened = 2.0f * std::numbers::pi_v<float>;
inline constexpr double kFloatInvPiWidened = std::numbers::inv_pi_v<float>;
inline constexpr double kFloatInvTwoPiWidened = std::numbers::inv_pi_v<float> / 2.0f;

// π and 2π written to nine decimals (3.141592653 and 6.283185307, not the
// roundings of π), as the gore, cylindrical and world-map formulas that use
// them state them.
inline constexpr double kPiNineDecimals = 3.141592653;
inline constexpr double kTwoPiNineDecimals = 6.283185307;

}  // namespace globaro
