#pragma once
// Evenly spread test directions: the Fibonacci lattice on the unit sphere.

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

}  // namespace globaro::testing
