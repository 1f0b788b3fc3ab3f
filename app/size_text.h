#pragma once
// Numbers and pixel sizes as the user types them on the command line: plain
// decimal digits (no sign, no spaces, no exponent), a side never wrapping
// round however many digits it has.

#include <cstdint>
#include <string_view>

namespace globaro {

// A whole number in lo..hi written in digits only.
bool parseWholeNumber(std::string_view text, std::int32_t lo, std::int32_t hi, std::int32_t& value) noexcept;

// "WIDTHxHEIGHT" (or "X"), each side in 1..most. With `sidesOptional`, also
// "WIDTH" alone (height 0) and "xHEIGHT" (width 0): the missing side is left
// to the caller. On failure width and height are 0.
bool parsePixelSize(std::string_view text, std::int32_t most, bool sidesOptional, std::int32_t& width,
                    std::int32_t& height) noexcept;

}  // namespace globaro
