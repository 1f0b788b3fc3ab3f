#pragma once
// The module's plug-in property list: what a host reads from the module file
// before loading it (kind, name, category, entry point, terminology and the
// image modes the filter accepts). On Linux the list lives in the module's
// ".pipl" section, laid out as the resource of id 16000 is on Windows:
// version, count, then per property vendor, key, id, padded length and data,
// in native byte order.

#include <cstdint>
#include <span>

namespace globaro {

inline constexpr std::int32_t kPropertyListResourceId = 16000;
inline constexpr const char* kPropertySectionName = ".pipl";

// The exact bytes of the property list.
std::span<const std::uint8_t> pluginPropertyBytes();

// The condition the host evaluates to enable the filter's menu item.
inline constexpr const char* kEnableCondition =
    "( in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode, Gray32Mode, RGB96Mode) ) && "
    "(PSHOP_ImageMode !=  MultichannelMode) ";

}  // namespace globaro
