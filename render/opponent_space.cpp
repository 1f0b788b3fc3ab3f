#include "render/opponent_space.h"

#include <algorithm>
#include <cmath>

namespace globaro {

namespace {

constexpr double kNodeStep = 17.0;  // node spacing on the 8-bit scale
// The inverse table's opponent nodes j sit at the 8-bit values 17 j - 136
// around the neutral 0 (instead of 17 j - 128), so that the neutral axis runs
// through node 8 and greys come back as exact greys.
constexpr double kInverseNeutral = 136.0;
// a* and b* are stretched to fill the 8-bit range (sRGB colours span about
// -86..98 in a* and -108..95 in b*): finer cells around the RGB cube make the
// way back more accurate.
constexpr double kScaleA = 1.2;
constexpr double kScaleB = 1.18;
constexpr double kOne15 = 32768.0;
constexpr double kHalf15 = 16384.0;

// sRGB primaries with the D65 white point.
constexpr double kRgbToXyz[3][3] = {
    {0.4124564, 0.3575761, 0.1804375},
    {0.2126729, 0.7151522, 0.0721750},
    {0.0193339, 0.1191920, 0.9503041},
};

double decodeSrgb(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }

double encodeSrgb(double v) { return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055; }

constexpr double kLabEpsilon = 216.0 / 24389.0;  // (6/29)^3
constexpr double kLabKappa = 24389.0 / 27.0;

double labF(double t) { return t > kLabEpsilon ? std::cbrt(t) : (kLabKappa * t + 16.0) / 116.0; }

double labFInverse(double f) {
    const double f3 = f * f * f;
    return f3 > kLabEpsilon ? f3 : (116.0 * f - 16.0) / kLabKappa;
}

// The white point is the image of RGB white, so that white has a* = b* = 0.
void whitePoint(double white[3]) {
    for (int row = 0; row < 3; ++row) {
        white[row] = kRgbToXyz[row][0] + kRgbToXyz[row][1] + kRgbToXyz[row][2];
    }
}

std::uint8_t toByte(double v) {
    const double r = std::floor(v + 0.5);
    return static_cast<std::uint8_t>(std::clamp(r, 0.0, 255.0));
}

void buildForward(std::array<std::uint8_t, kOpponentNodeCount * 3>& table) {
    double white[3];
    whitePoint(white);
    for (int i = 0; i < kOpponentNodes; ++i) {
        for (int j = 0; j < kOpponentNodes; ++j) {
            for (int k = 0; k < kOpponentNodes; ++k) {
                const double lin[3] = {decodeSrgb(i / 15.0), decodeSrgb(j / 15.0), decodeSrgb(k / 15.0)};
                double f[3];
                for (int row = 0; row < 3; ++row) {
                    const double xyz =
                        kRgbToXyz[row][0] * lin[0] + kRgbToXyz[row][1] * lin[1] + kRgbToXyz[row][2] * lin[2];
                    f[row] = labF(xyz / white[row]);
                }
                const double lStar = 116.0 * f[1] - 16.0;
                const double aStar = 500.0 * (f[0] - f[1]);
                const double bStar = 200.0 * (f[1] - f[2]);
                const int at = ((i * kOpponentNodes) + j) * kOpponentNodes + k;
                table[at * 3 + 0] = toByte(lStar * 255.0 / 100.0);
                table[at * 3 + 1] = toByte(aStar * kScaleA + 128.0);
                table[at * 3 + 2] = toByte(bStar * kScaleB + 128.0);
            }
        }
    }
}

// Inverse of a 3 x 3 matrix (the RGB to XYZ matrix is well conditioned).
void invert3(const double m[3][3], double out[3][3]) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    const double r = 1.0 / det;
    out[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) * r;
    out[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * r;
    out[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * r;
    out[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) * r;
    out[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * r;
    out[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * r;
    out[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) * r;
    out[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * r;
    out[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * r;
}

void buildInverse(std::array<std::uint8_t, kOpponentNodeCount * 3>& table) {
    double white[3];
    whitePoint(white);
    double xyzToRgb[3][3];
    invert3(kRgbToXyz, xyzToRgb);
    for (int i = 0; i < kOpponentNodes; ++i) {
        for (int j = 0; j < kOpponentNodes; ++j) {
            for (int k = 0; k < kOpponentNodes; ++k) {
                const double lStar = i * kNodeStep * 100.0 / 255.0;
                const double aStar = (j * kNodeStep - kInverseNeutral) / kScaleA;
                const double bStar = (k * kNodeStep - kInverseNeutral) / kScaleB;
                const double fy = (lStar + 16.0) / 116.0;
                const double fx = fy + aStar / 500.0;
                const double fz = fy - bStar / 200.0;
                const double xyz[3] = {labFInverse(fx) * white[0], labFInverse(fy) * white[1],
                                       labFInverse(fz) * white[2]};
                const int at = ((i * kOpponentNodes) + j) * kOpponentNodes + k;
                for (int c = 0; c < 3; ++c) {
                    double lin = xyzToRgb[c][0] * xyz[0] + xyzToRgb[c][1] * xyz[1] + xyzToRgb[c][2] * xyz[2];
                    lin = std::clamp(lin, 0.0, 1.0);  // colours outside the RGB cube land on its surface
                    table[at * 3 + c] = toByte(encodeSrgb(lin) * 255.0);
                }
            }
        }
    }
}

OpponentTables buildTables() {
    OpponentTables t;
    buildForward(t.forward);
    buildInverse(t.inverse);
    return t;
}

// Tetrahedral interpolation at a position given in 8-bit units (0..255 on
// each axis). Ties between equal fractions go to the earlier axis.
void interpolate(const std::array<std::uint8_t, kOpponentNodeCount * 3>& table, const float pos[3], float out[3]) {
    int base[3];
    float frac[3];
    for (int a = 0; a < 3; ++a) {
        float u = pos[a];
        if (!(u > 0.0f)) u = 0.0f;
        if (u > 255.0f) u = 255.0f;
        const float node = u * (1.0f / 17.0f);
        int i = static_cast<int>(node);
        if (i > kOpponentNodes - 2) i = kOpponentNodes - 2;
        base[a] = i;
        frac[a] = std::clamp(node - static_cast<float>(i), 0.0f, 1.0f);
    }
    // Order the axes by decreasing fraction; the walk from the base corner
    // along them visits the four corners of the tetrahedron holding the point.
    int order[3] = {0, 1, 2};
    if (frac[order[1]] > frac[order[0]]) std::swap(order[0], order[1]);
    if (frac[order[2]] > frac[order[1]]) std::swap(order[1], order[2]);
    if (frac[order[1]] > frac[order[0]]) std::swap(order[0], order[1]);

    auto entry = [&table](const int idx[3], int channel) {
        const int at = ((idx[0] * kOpponentNodes) + idx[1]) * kOpponentNodes + idx[2];
        return static_cast<float>(table[at * 3 + channel]);
    };
    int corner[3] = {base[0], base[1], base[2]};
    float prev[3];
    for (int c = 0; c < 3; ++c) {
        prev[c] = entry(corner, c);
        out[c] = prev[c];
    }
    for (int step = 0; step < 3; ++step) {
        const int axis = order[step];
        corner[axis] += 1;
        const float w = frac[axis];
        for (int c = 0; c < 3; ++c) {
            const float next = entry(corner, c);
            out[c] += w * (next - prev[c]);
            prev[c] = next;
        }
    }
}

std::int32_t roundToInt(float v) { return static_cast<std::int32_t>(std::floor(v + 0.5f)); }

}  // namespace

const OpponentTables& opponentTables() {
    static const OpponentTables tables = buildTables();  // thread-safe one-time construction
    return tables;
}

void rgbToOpponent(const std::int32_t rgb[3], std::int32_t lab[3]) {
    const OpponentTables& t = opponentTables();
    float pos[3];
    for (int c = 0; c < 3; ++c) {
        const std::int32_t v = std::clamp<std::int32_t>(rgb[c], 0, 32768);
        pos[c] = static_cast<float>(v) * (255.0f / 32768.0f);
    }
    float out[3];
    interpolate(t.forward, pos, out);
    lab[0] = roundToInt(out[0] * static_cast<float>(kOne15 / 255.0));
    lab[1] = roundToInt((out[1] - 128.0f) * static_cast<float>(kOne15 / 255.0) + static_cast<float>(kHalf15));
    lab[2] = roundToInt((out[2] - 128.0f) * static_cast<float>(kOne15 / 255.0) + static_cast<float>(kHalf15));
}

void opponentToRgb(const std::int32_t lab[3], std::int32_t rgb[3]) {
    const OpponentTables& t = opponentTables();
    constexpr float k8 = static_cast<float>(255.0 / kOne15);
    // Limit to a range whose products stay far from overflow; the
    // interpolation limits further to the table.
    float pos[3];
    for (int c = 0; c < 3; ++c) {
        const float v = static_cast<float>(std::clamp<std::int32_t>(lab[c], -65536, 98304));
        pos[c] = c == 0 ? v * k8 : (v - static_cast<float>(kHalf15)) * k8 + static_cast<float>(kInverseNeutral);
    }
    float out[3];
    interpolate(t.inverse, pos, out);
    for (int c = 0; c < 3; ++c) {
        rgb[c] = std::clamp<std::int32_t>(roundToInt(out[c] * static_cast<float>(kOne15 / 255.0)), 0, 32768);
    }
}

}  // namespace globaro
