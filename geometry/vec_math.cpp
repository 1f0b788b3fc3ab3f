#include "geometry/vec_math.h"

#include <cmath>
#include <numbers>

namespace globaro {

float planeAngle(float p, float q) noexcept {
    using std::numbers::pi_v;
    if (q == 0.0f) return p > 0.0f ? 1.5f * pi_v<float> : pi_v<float> / 2.0f;
    const float t = std::atan(p / q);
    if (q > 0.0f) return t + pi_v<float>;
    if (p >= 0.0f) return t + 2.0f * pi_v<float>;
    return t;
}

double planeAngle(double p, double q) noexcept {
    using std::numbers::pi;
    if (q == 0.0) return p > 0.0 ? 1.5 * pi : pi / 2.0;
    const double t = std::atan(p / q);
    if (q > 0.0) return t + pi;
    if (p >= 0.0) return t + 2.0 * pi;
    return t;
}

Complex complexNormalise(const Complex& a) noexcept {
    const double m = complexAbs(a);
    if (m == 0.0) return {0.0, 0.0};
    return {a.re / m, a.im / m};
}

Complex complexPow(const Complex& z, double p) noexcept {
    if (z.re == 0.0 && z.im == 0.0) return {0.0, 0.0};
    const double r = std::pow(complexAbs(z), p);
    const double angle = p * std::atan2(z.im, z.re);
    return {r * std::cos(angle), r * std::sin(angle)};
}

Complex complexDivide(const Complex& a, const Complex& b) noexcept {
    if (std::fabs(b.re) >= std::fabs(b.im)) {
        const double r = b.im / b.re;
        const double den = b.re + b.im * r;
        return {(a.re + a.im * r) / den, (a.im - a.re * r) / den};
    }
    const double r = b.re / b.im;
    const double den = b.re * r + b.im;
    return {(a.re * r + a.im) / den, (a.im * r - a.re) / den};
}

Complex complexTanh(const Complex& z) noexcept {
    // Beyond this the exponentials overflow while tanh is ±1 to double precision.
    if (z.re > 40.0) return {1.0, 0.0};
    if (z.re < -40.0) return {-1.0, 0.0};
    const double ep = std::exp(z.re);
    const double em = std::exp(-z.re);
    const double s = std::sin(z.im);
    const double c = std::cos(z.im);
    // sinh(z) = sinh(re)·cos(im) + i·cosh(re)·sin(im)
    const Complex num{(ep * c - em * c) / 2.0, (ep * s + em * s) / 2.0};
    // cosh(z) = cosh(re)·cos(im) + i·sinh(re)·sin(im)
    const Complex den{(ep * c + em * std::cos(-z.im)) / 2.0, (ep * s + em * std::sin(-z.im)) / 2.0};
    return complexDivide(num, den);
}

Complex discAutomorphism(const Complex& z, const Complex& w) noexcept {
    const Complex num{z.re - w.re, z.im - w.im};
    const Complex zw = complexMul(z, complexConjugate(w));
    return complexDivide(num, Complex{1.0 - zw.re, -zw.im});
}

}  // namespace globaro
