#pragma once
// Four floats at once for the mapping of whole rows of corners: the
// compiler's vector types (SSE on x86-64, NEON on ARM, plain code
// elsewhere), and float versions of the arctangent and arccosine of
// fast_math, with the same reductions and the same polynomial kernels. Their
// results lie within a few float units in the last place of the double
// versions rounded to float (the kernels' own error, 4e-11, is far below a
// float's step).

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace globaro::vector_math {

using Vec4f = float __attribute__((vector_size(16)));
using Vec4i = std::int32_t __attribute__((vector_size(16)));

inline constexpr float kPi = 3.14159265f;
inline constexpr float kHalfPi = 1.57079633f;
inline constexpr float kQuarterPi = 0.785398163f;
inline constexpr float kTanPiOver8 = 0.414213562f;

inline Vec4f splat(float f) noexcept { return Vec4f{f, f, f, f}; }

inline Vec4f sqrt(Vec4f x) noexcept {
#if defined(__SSE__)
    return reinterpret_cast<Vec4f>(_mm_sqrt_ps(reinterpret_cast<__m128>(x)));
#else
    return Vec4f{std::sqrt(x[0]), std::sqrt(x[1]), std::sqrt(x[2]), std::sqrt(x[3])};
#endif
}

// The lanes whose sign bit is set (negative zero included).
inline Vec4i signBit(Vec4f x) noexcept { return reinterpret_cast<Vec4i>(x) < 0; }

inline Vec4f abs(Vec4f x) noexcept { return reinterpret_cast<Vec4f>(reinterpret_cast<Vec4i>(x) & 0x7fffffff); }

// atan t for t in [−tan(π/8), tan(π/8)].
inline Vec4f atanKernel(Vec4f t) noexcept {
    const Vec4f z = t * t;
    Vec4f p = splat(0.050481385120797443928f);
    p = p * z - splat(0.086246761452494936521f);
    p = p * z + splat(0.11071365021884793981f);
    p = p * z - splat(0.14284151193628613917f);
    p = p * z + splat(0.19999977258688385552f);
    p = p * z - splat(0.33333333279254800128f);
    return t + t * z * p;
}

// asin x for x in [−1/2, 1/2].
inline Vec4f asinKernel(Vec4f x) noexcept {
    const Vec4f z = x * x;
    Vec4f q = splat(0.030974540371355073082f);
    q = q * z + splat(0.010574415516912908371f);
    q = q * z + splat(0.02361181700889175101f);
    q = q * z + splat(0.030269138728589183899f);
    q = q * z + splat(0.044647663888134845398f);
    q = q * z + splat(0.074999924044018382173f);
    q = q * z + splat(0.16666666686085643949f);
    return x + x * z * q;
}

// atan2(y, x) lane by lane, with the library's quadrants and signed zeros,
// for finite lanes that are not zero on both axes (the caller keeps those
// for the scalar path).
inline Vec4f atan2(Vec4f y, Vec4f x) noexcept {
    const Vec4f ax = abs(x), ay = abs(y);
    const Vec4i steep = ay > ax;
    const Vec4f lo = steep ? ax : ay;
    const Vec4f hi = steep ? ay : ax;
    const Vec4f t = lo / hi;
    // atan t = π/4 + atan((t − 1)/(t + 1)) above tan(π/8).
    const Vec4i far = t > splat(kTanPiOver8);
    const Vec4f r = far ? (t - splat(1.0f)) / (t + splat(1.0f)) : t;
    Vec4f a = (far ? splat(kQuarterPi) : splat(0.0f)) + atanKernel(r);
    a = steep ? splat(kHalfPi) - a : a;
    a = signBit(x) ? splat(kPi) - a : a;
    return signBit(y) ? -a : a;
}

// acos c lane by lane for c in [−1, 1].
inline Vec4f acos(Vec4f c) noexcept {
    const Vec4f ac = abs(c);
    const Vec4i small = ac <= splat(0.5f);
    // acos c = 2·asin(√((1 − |c|)/2)) for c above 1/2, π minus that below −1/2.
    const Vec4f s = sqrt((splat(1.0f) - ac) * splat(0.5f));
    const Vec4f k = asinKernel(small ? c : s);
    const Vec4f r = splat(2.0f) * k;
    return small ? splat(kHalfPi) - k : (c > splat(0.0f) ? r : splat(kPi) - r);
}

}  // namespace globaro::vector_math
