#pragma once
// Evenly spread test directions (the Fibonacci lattice on the unit sphere), and equal-area cells of it.

#include <algorithm>
#include <cmath>
#include <vector>
#include "geometry/vec_math.h"

namespace globaro::testing {

inline std::vector<SphereDir> fibonacciSphere(int count) {
    std::vector<SphereDir> out;
    out.reserve(static_cast<std::size_t>(count));
    const double golden = 3.141592653589793 * (3.0 - std::sqrt(5.0));
    for (int i = 0; i < count; ++i) {
        const double y = 1.0 - 2.0 * (i + 0.5) / count;
        const double r = std::sqrt(std::max(0.0, 1.0 - y * y));
        const double a = golden * i;
        out.push_back(
            SphereDir{static_cast<float>(r * std::cos(a)), static_cast<float>(y), static_cast<float>(r * std::sin(a))});
    }
    return out;
}

// One of 288 cells of equal area: 24 bands of equal height by 12 sectors of longitude.
inline int equalAreaCell(const SphereDir& d) {
    const double lon = std::atan2(-static_cast<double>(d.x), static_cast<double>(d.z));
    return std::clamp(static_cast<int>((d.y + 1.0) * 12.0), 0, 23) * 12 +
           std::clamp(static_cast<int>((lon / 3.141592653589793 + 1.0) * 6.0), 0, 11);
}

}  // namespace globaro::testing
