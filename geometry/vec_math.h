#pragma once
// Small vector, matrix, plane and complex-number helpers shared by the
// projection formulas and the polyhedron model, and four-lane float vectors
// for the mapping of whole rows of corners. Everything here is pure,
// allocation-free and safe to call from any thread.
//
// Float versions work on `SphereDir` (the per-sample path); double versions
// work on `Vec3d` (the polyhedron model and the exports); the four-lane
// versions (namespace vector_math, at the end) on `Vec4f`.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <utility>

#include "geometry/fast_math.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace globaro {

// A direction on the unit sphere, single precision. +z is the centre of an
// equirectangular input, +y the north pole, +x a quarter turn to the left of
// the centre.
struct SphereDir {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// Three doubles: a direction or a point for the polyhedron model.
struct Vec3d {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// A point or vector in the plane, double precision.
struct Vec2d {
    double x = 0.0;
    double y = 0.0;
};

// A complex number, real part first.
struct Complex {
    double re = 0.0;
    double im = 0.0;
};

// A 3x3 float matrix stored row by row, each row three floats padded to four.
struct Mat3 {
    float m[3][4] = {{1.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f, 0.0f}};
};

// ---- float directions -------------------------------------------------------

inline float dot(const SphereDir& a, const SphereDir& b) noexcept { return a.x * b.x + a.y * b.y + a.z * b.z; }

// v/|v|; a zero vector becomes (0, 0, 1).
inline SphereDir normalise(const SphereDir& v) noexcept {
    const float len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (len == 0.0f) return {0.0f, 0.0f, 1.0f};
    return {v.x / len, v.y / len, v.z / len};
}

// v·(1/sqrt(v·v)) with the reciprocal square root taken in double; a zero
// vector gives values that are not numbers.
inline SphereDir normaliseUnguarded(const SphereDir& v) noexcept {
    const float inv = static_cast<float>(1.0 / std::sqrt(static_cast<double>(dot(v, v))));
    return {v.x * inv, v.y * inv, v.z * inv};
}

// ---- double vectors ----------------------------------------------------------

inline Vec3d toVec3d(const SphereDir& v) noexcept { return {v.x, v.y, v.z}; }
inline SphereDir toSphereDir(const Vec3d& v) noexcept {
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

inline double dot(const Vec3d& a, const Vec3d& b) noexcept { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double length(const Vec3d& v) noexcept { return std::sqrt(dot(v, v)); }

// v/|v|; a zero vector becomes (0, 0, 1).
inline Vec3d normalise(const Vec3d& v) noexcept {
    const double len = length(v);
    if (len == 0.0) return {0.0, 0.0, 1.0};
    return {v.x / len, v.y / len, v.z / len};
}

// v/|v|; a zero vector stays (0, 0, 0).
inline Vec3d normaliseZeroSafe(const Vec3d& v) noexcept {
    const double len = length(v);
    if (len == 0.0) return {0.0, 0.0, 0.0};
    return {v.x / len, v.y / len, v.z / len};
}

// b − a.
inline Vec3d difference(const Vec3d& a, const Vec3d& b) noexcept { return {b.x - a.x, b.y - a.y, b.z - a.z}; }

// (b − a)/|b − a|; zero when a = b.
inline Vec3d directionBetween(const Vec3d& a, const Vec3d& b) noexcept { return normaliseZeroSafe(difference(a, b)); }

inline Vec3d sum3(const Vec3d& a, const Vec3d& b, const Vec3d& c) noexcept {
    return {a.x + b.x + c.x, a.y + b.y + c.y, a.z + b.z + c.z};
}
inline Vec3d midpoint(const Vec3d& a, const Vec3d& b) noexcept {
    return {(a.x + b.x) / 2.0, (a.y + b.y) / 2.0, (a.z + b.z) / 2.0};
}
// a + (b − a)·t.
inline Vec3d lerp(const Vec3d& a, const Vec3d& b, double t) noexcept {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}
inline Vec3d cross(const Vec3d& a, const Vec3d& b) noexcept {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline Vec3d negate(const Vec3d& v) noexcept { return {-v.x, -v.y, -v.z}; }

// Componentwise −1, 0 or +1.
inline Vec3d sign(const Vec3d& v) noexcept {
    auto s = [](double x) { return x > 0.0 ? 1.0 : (x < 0.0 ? -1.0 : 0.0); };
    return {s(v.x), s(v.y), s(v.z)};
}

// v/|v|·s; zero when v = 0.
inline Vec3d scaledDirection(const Vec3d& v, double s) noexcept {
    const Vec3d n = normaliseZeroSafe(v);
    return {n.x * s, n.y * s, n.z * s};
}

// v − 2(v·n)·n, float in, double out.
inline Vec3d reflect(const SphereDir& v, const SphereDir& n) noexcept {
    const Vec3d vd = toVec3d(v);
    const Vec3d nd = toVec3d(n);
    const double k = 2.0 * dot(vd, nd);
    return {vd.x - k * nd.x, vd.y - k * nd.y, vd.z - k * nd.z};
}

// ---- matrices ------------------------------------------------------------------

// Mᵀ·v (equivalently the row vector v times M).
inline SphereDir applyTransposed(const Mat3& m, const SphereDir& v) noexcept {
    return {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0], v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1],
            v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2]};
}

// A·B.
inline Mat3 matMul(const Mat3& a, const Mat3& b) noexcept {
    Mat3 r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
        }
        r.m[i][3] = 0.0f;
    }
    return r;
}

// ---- plane pairs -----------------------------------------------------------------

inline Vec2d planeFloor(const Vec2d& p) noexcept { return {std::floor(p.x), std::floor(p.y)}; }
inline Vec2d planeFraction(const Vec2d& p) noexcept { return {p.x - std::floor(p.x), p.y - std::floor(p.y)}; }
inline double planeLength(const Vec2d& p) noexcept { return std::sqrt(p.x * p.x + p.y * p.y); }
inline Vec2d planeMidpoint(const Vec2d& a, const Vec2d& b) noexcept { return {(a.x + b.x) / 2.0, (a.y + b.y) / 2.0}; }
inline Vec2d planeLerp(const Vec2d& a, const Vec2d& b, double t) noexcept {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

// ---- barycentric points ------------------------------------------------------------

// w0·A + w1·B + w2·C.
inline Vec3d barycentricPoint(const Vec3d& a, const Vec3d& b, const Vec3d& c, double w0, double w1,
                              double w2) noexcept {
    return {w0 * a.x + w1 * b.x + w2 * c.x, w0 * a.y + w1 * b.y + w2 * c.y, w0 * a.z + w1 * b.z + w2 * c.z};
}
inline Vec2d barycentricPoint(const Vec2d& a, const Vec2d& b, const Vec2d& c, double w0, double w1,
                              double w2) noexcept {
    return {w0 * a.x + w1 * b.x + w2 * c.x, w0 * a.y + w1 * b.y + w2 * c.y};
}
// The weights (w, 1 − w − s, s) with s given as a float.
inline Vec3d barycentricPointWS(const Vec3d& a, const Vec3d& b, const Vec3d& c, double w, float s) noexcept {
    const double sd = s;
    return barycentricPoint(a, b, c, w, 1.0 - w - sd, sd);
}

// ---- plane angle ---------------------------------------------------------------------

// The angle of the plane vector (p, q): atan2(p, q) + π for every input except
// (0, 0), which gives π/2. Single precision, float π.
float planeAngle(float p, float q) noexcept;
// The same in double precision.
double planeAngle(double p, double q) noexcept;

// ---- complex numbers -----------------------------------------------------------------

// e^{ix} = (cos x, sin x).
inline Complex complexUnit(double x) noexcept { return {std::cos(x), std::sin(x)}; }
inline Complex complexMul(const Complex& a, const Complex& b) noexcept {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
inline Complex complexSquare(const Complex& a) noexcept { return complexMul(a, a); }
inline Complex complexNegate(const Complex& a) noexcept { return {-a.re, -a.im}; }
inline Complex complexConjugate(const Complex& a) noexcept { return {a.re, -a.im}; }
// Multiplication by −i: (a, b) → (b, −a).
inline Complex complexTimesMinusI(const Complex& a) noexcept { return {a.im, -a.re}; }
inline double complexAbs(const Complex& a) noexcept { return std::hypot(a.re, a.im); }

// a/|a|; zero stays zero.
Complex complexNormalise(const Complex& a) noexcept;
// z^p = |z|^p·e^{i·p·arg z}; 0 is mapped to 0.
Complex complexPow(const Complex& z, double p) noexcept;
// a/b by Smith's rule (the denominator term of larger magnitude is divided
// first). Dividing by zero gives values that are not numbers.
Complex complexDivide(const Complex& a, const Complex& b) noexcept;
// The hyperbolic tangent sinh(z)/cosh(z), both built from e^{±re} and the
// sine and cosine of im, divided by Smith's rule. Far from the imaginary axis
// the result settles on ±1.
Complex complexTanh(const Complex& z) noexcept;
// The disc automorphism (z − w)/(1 − z·w̄), divided by Smith's rule.
Complex discAutomorphism(const Complex& z, const Complex& w) noexcept;

}  // namespace globaro

// ---- four lanes ----------------------------------------------------------------------
// Four floats at once: the compiler's vector types (SSE on x86-64, NEON on
// ARM, plain code elsewhere), and float versions of the arctangent and
// arccosine of fast_math, with the same reductions and the same polynomial
// kernels. Their results lie within a few float units in the last place of
// the double versions rounded to float (the kernels' own error, 4e-11, is far
// below a float's step).

namespace globaro::vector_math {

using Vec4f = float __attribute__((vector_size(16)));
using Vec4i = std::int32_t __attribute__((vector_size(16)));

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

// fast_math's polynomials lane by lane, each coefficient rounded to float.
template <std::size_t N, std::size_t... I>
inline Vec4f horner(const double (&c)[N], Vec4f z, std::index_sequence<I...>) noexcept {
    Vec4f p = splat(static_cast<float>(c[0]));
    ((p = p * z + splat(static_cast<float>(c[I + 1]))), ...);
    return p;
}
template <std::size_t N>
inline Vec4f polynomial(const double (&coefficients)[N], Vec4f z) noexcept {
    return horner(coefficients, z, std::make_index_sequence<N - 1>{});
}

// atan t for t in [−tan(π/8), tan(π/8)].
inline Vec4f atanKernel(Vec4f t) noexcept {
    const Vec4f z = t * t;
    return t + t * z * polynomial(fast_math::kAtanCoefficients, z);
}

// asin x for x in [−1/2, 1/2].
inline Vec4f asinKernel(Vec4f x) noexcept {
    const Vec4f z = x * x;
    return x + x * z * polynomial(fast_math::kAsinCoefficients, z);
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
    const Vec4i far = t > splat(static_cast<float>(fast_math::kTanPiOver8));
    const Vec4f r = far ? (t - splat(1.0f)) / (t + splat(1.0f)) : t;
    Vec4f a = (far ? splat(std::numbers::pi_v<float> / 4.0f) : splat(0.0f)) + atanKernel(r);
    a = steep ? splat(std::numbers::pi_v<float> / 2.0f) - a : a;
    a = signBit(x) ? splat(std::numbers::pi_v<float>) - a : a;
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
    const Vec4f pi = splat(std::numbers::pi_v<float>);
    return small ? pi * splat(0.5f) - k : (c > splat(0.0f) ? r : pi - r);
}

}  // namespace globaro::vector_math
