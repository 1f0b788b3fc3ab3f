#include "app/size_text.h"

namespace globaro {

bool parseWholeNumber(std::string_view text, std::int32_t lo, std::int32_t hi, std::int32_t& value) noexcept {
    if (text.empty()) return false;
    std::int64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        if (v <= hi) v = v * 10 + (c - '0');  // past hi it can only grow: stop before it could wrap
    }
    if (v < lo || v > hi) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

bool parsePixelSize(std::string_view text, std::int32_t most, bool sidesOptional, std::int32_t& width,
                    std::int32_t& height) noexcept {
    width = height = 0;
    const std::size_t x = text.find_first_of("xX");
    bool ok;
    if (x == std::string_view::npos) {
        ok = sidesOptional && parseWholeNumber(text, 1, most, width);
    } else {
        const std::string_view left = text.substr(0, x), right = text.substr(x + 1);
        ok = parseWholeNumber(right, 1, most, height) &&
             ((sidesOptional && left.empty()) || parseWholeNumber(left, 1, most, width));
    }
    if (!ok) width = height = 0;
    return ok;
}

}  // namespace globaro
