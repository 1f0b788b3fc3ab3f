#pragma once
// The scripting terminology resource: readable names for the filter's event,
// its descriptor keys and its enumerations, which hosts use to label recorded
// actions. Laid out as the resource of type 'AETE', id 16000, language 1033:
// 16-bit values and four-character codes in little-endian byte order (so each
// code's characters appear reversed), strings as a length byte followed by
// the bytes, and no padding anywhere.

#include <cstdint>
#include <span>

namespace globaro {

inline constexpr const char* kTerminologyResourceType = "AETE";
inline constexpr std::int32_t kTerminologyResourceId = 16000;
inline constexpr std::int32_t kTerminologyLanguage = 1033;

// What the resource describes.
inline constexpr int kTerminologyParameterCount = 41;
inline constexpr int kTerminologyEnumerationCount = 4;
// The output enumeration names the first this many outputs of the 'Koty'
// table, in id order (ids 1..382 without 351 and 352).
inline constexpr int kTerminologyOutputEntries = 380;

// The exact bytes of the resource (built once, on first use).
std::span<const std::uint8_t> terminologyBytes();

}  // namespace globaro
