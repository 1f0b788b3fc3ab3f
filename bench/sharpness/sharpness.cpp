// Sharpness and aliasing harness: writes panoramas of an analytic sphere
// function, computes the exact reference of a view of it, and scores renders
// against that reference.
//
//   globaro_sharpness source OUT.png WxH BAND [SEED]
//       An equirectangular panorama of the analytic function (16-bit PNG),
//       every pixel the function at the pixel's centre. BAND is the highest
//       frequency in cycles per radian along any great circle.
//   globaro_sharpness checker OUT.png WxH DEGREES
//       An equirectangular checker of squares DEGREES wide (16-bit PNG).
//   globaro_sharpness reference OUT.png SIZE FOV LON LAT BAND [SEED]
//       The rectilinear view SIZE x SIZE, FOV degrees across, looking at
//       (LON, LAT) degrees, of the same function: every pixel the mean of
//       4 x 4 stratified exact samples over its square on the image plane.
//   globaro_sharpness demo-reference OUT.png SIZE FOV LON LAT
//       The same view of the built-in demo scene (`globaro demo` draws its
//       panorama, 3 x 3 exact samples a pixel).
//   globaro_sharpness psnr IMAGE REFERENCE
//       Peak signal-to-noise ratio of IMAGE against REFERENCE (dB; colour
//       channels, full scale 1).
//   globaro_sharpness ellipse-std IMAGE
//       The standard deviation of grey over the pixels well inside the
//       image's inscribed ellipse (a world map's outline).
//
// Directions: x to the right of the panorama's centre, y up, z the centre.
// Not part of CI: bench/sharpness.sh runs the whole comparison.

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imageio.h>

#include "app/demo_panorama.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kWavesPerChannel = 12;

// One plane wave over the sphere: amplitude · cos(k · (n · d) + phase). Along
// any great circle its frequency is at most k / 2π cycles per radian.
struct Wave {
    double nx, ny, nz, k, phase, amplitude;
};

// A sum of plane waves per colour channel, their frequencies spread
// logarithmically up to `band` cycles per radian, amplitudes falling as
// 1/sqrt(frequency) and summing to 0.45 about a mean of 0.5.
struct SphereFunction {
    std::vector<Wave> waves[3];

    SphereFunction(double band, unsigned seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> uni(0.0, 1.0);
        for (auto& channel : waves) {
            double total = 0.0;
            for (int i = 0; i < kWavesPerChannel; ++i) {
                const double z = 2.0 * uni(rng) - 1.0, a = 2.0 * kPi * uni(rng);
                const double r = std::sqrt(1.0 - z * z);
                const double f = band * std::pow(1.0 / 16.0, uni(rng));
                const Wave w{r * std::cos(a), r * std::sin(a),      z,
                             2.0 * kPi * f,   2.0 * kPi * uni(rng), 1.0 / std::sqrt(f)};
                total += w.amplitude;
                channel.push_back(w);
            }
            for (Wave& w : channel) w.amplitude *= 0.45 / total;
        }
    }

    void at(double x, double y, double z, float out[3]) const {
        for (int c = 0; c < 3; ++c) {
            double s = 0.5;
            for (const Wave& w : waves[c])
                s += w.amplitude * std::cos(w.k * (w.nx * x + w.ny * y + w.nz * z) + w.phase);
            out[c] = static_cast<float>(s);
        }
    }
};

void direction(double lon, double lat, double d[3]) {
    d[0] = std::cos(lat) * std::sin(lon);
    d[1] = std::sin(lat);
    d[2] = std::cos(lat) * std::cos(lon);
}

// Runs body(row) for every row on all processors.
template <typename Body>
void forRows(int rows, Body body) {
    const int n = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> threads;
    for (int t = 0; t < n; ++t)
        threads.emplace_back([&, t] {
            for (int y = t; y < rows; y += n) body(y);
        });
    for (auto& th : threads) th.join();
}

bool parseSize(const char* text, int& w, int& h) {
    return std::sscanf(text, "%dx%d", &w, &h) == 2 && w > 0 && h > 0 && w <= 65536 && h <= 65536;
}

int write16(const std::string& path, int w, int h, const std::vector<float>& rgb) {
    OIIO::ImageSpec spec(w, h, 3, OIIO::TypeDesc::UINT16);
    auto out = OIIO::ImageOutput::create(path);
    if (!out || !out->open(path, spec) || !out->write_image(OIIO::TypeDesc::FLOAT, rgb.data()) || !out->close()) {
        std::fprintf(stderr, "%s: cannot write: %s\n", path.c_str(), OIIO::geterror().c_str());
        return 1;
    }
    return 0;
}

bool readRgb(const std::string& path, int& w, int& h, std::vector<float>& rgb) {
    auto in = OIIO::ImageInput::open(path);
    if (!in) {
        std::fprintf(stderr, "%s: cannot read: %s\n", path.c_str(), OIIO::geterror().c_str());
        return false;
    }
    const OIIO::ImageSpec& spec = in->spec();
    w = spec.width;
    h = spec.height;
    rgb.assign(static_cast<std::size_t>(w) * h * 3, 0.0f);
    const int channels = std::min(spec.nchannels, 3);
    if (!in->read_image(0, 0, 0, channels, OIIO::TypeDesc::FLOAT, rgb.data(), 3 * sizeof(float))) {
        std::fprintf(stderr, "%s: cannot read: %s\n", path.c_str(), in->geterror().c_str());
        return false;
    }
    if (channels == 1)
        for (std::size_t i = 0; i < rgb.size(); i += 3) rgb[i + 1] = rgb[i + 2] = rgb[i];
    return true;
}

int source(int argc, char** argv) {
    int w, h;
    if (argc < 5 || !parseSize(argv[3], w, h)) return 2;
    const SphereFunction fn(std::atof(argv[4]), argc > 5 ? static_cast<unsigned>(std::atoi(argv[5])) : 1u);
    std::vector<float> rgb(static_cast<std::size_t>(w) * h * 3);
    forRows(h, [&](int y) {
        const double lat = (0.5 - (y + 0.5) / h) * kPi;
        for (int x = 0; x < w; ++x) {
            double d[3];
            direction(((x + 0.5) / w - 0.5) * 2.0 * kPi, lat, d);
            fn.at(d[0], d[1], d[2], &rgb[(static_cast<std::size_t>(y) * w + x) * 3]);
        }
    });
    return write16(argv[2], w, h, rgb);
}

int checker(int argc, char** argv) {
    int w, h;
    if (argc < 5 || !parseSize(argv[3], w, h)) return 2;
    const double square = std::atof(argv[4]);
    if (!(square > 0.0)) return 2;
    std::vector<float> rgb(static_cast<std::size_t>(w) * h * 3);
    forRows(h, [&](int y) {
        const double lat = 90.0 - (y + 0.5) / h * 180.0;
        for (int x = 0; x < w; ++x) {
            const double lon = (x + 0.5) / w * 360.0;
            const long parity =
                static_cast<long>(std::floor(lon / square)) + static_cast<long>(std::floor(lat / square));
            const float v = (parity & 1) != 0 ? 1.0f : 0.0f;
            float* p = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
            p[0] = p[1] = p[2] = v;
        }
    });
    return write16(argv[2], w, h, rgb);
}

// Writes the rectilinear view SIZE x SIZE, FOV degrees across, looking at
// (LON, LAT) degrees, of fn: every pixel the mean of 4 x 4 stratified exact
// samples over its square on the image plane. argv holds OUT SIZE FOV LON LAT.
template <typename Function>
int writeView(char** argv, const Function& fn) {
    const int n = std::atoi(argv[1]);
    if (n < 1 || n > 16384) return 2;
    const double t = std::tan(std::atof(argv[2]) * kPi / 360.0);
    const double lon = std::atof(argv[3]) * kPi / 180.0, lat = std::atof(argv[4]) * kPi / 180.0;
    // The view's frame: forward, right and up.
    double f[3];
    direction(lon, lat, f);
    const double r[3] = {std::cos(lon), 0.0, -std::sin(lon)};
    const double u[3] = {-std::sin(lat) * std::sin(lon), std::cos(lat), -std::sin(lat) * std::cos(lon)};
    std::vector<float> rgb(static_cast<std::size_t>(n) * n * 3);
    forRows(n, [&](int y) {
        for (int x = 0; x < n; ++x) {
            float sum[3] = {0, 0, 0};
            for (int j = 0; j < 4; ++j) {
                for (int i = 0; i < 4; ++i) {
                    const double a = (2.0 * (x + (i + 0.5) / 4.0) / n - 1.0) * t;
                    const double b = (1.0 - 2.0 * (y + (j + 0.5) / 4.0) / n) * t;
                    double d[3];
                    for (int k = 0; k < 3; ++k) d[k] = f[k] + a * r[k] + b * u[k];
                    const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
                    float c[3];
                    fn(d[0] / len, d[1] / len, d[2] / len, c);
                    for (int k = 0; k < 3; ++k) sum[k] += c[k];
                }
            }
            float* p = &rgb[(static_cast<std::size_t>(y) * n + x) * 3];
            for (int k = 0; k < 3; ++k) p[k] = sum[k] / 16.0f;
        }
    });
    return write16(argv[0], n, n, rgb);
}

int reference(int argc, char** argv) {
    if (argc < 8) return 2;
    const SphereFunction fn(std::atof(argv[7]), argc > 8 ? static_cast<unsigned>(std::atoi(argv[8])) : 1u);
    return writeView(argv + 2, [&](double x, double y, double z, float out[3]) { fn.at(x, y, z, out); });
}

// The exact view of the built-in demo scene (`globaro demo` draws its panorama).
int demoReference(int argc, char** argv) {
    if (argc < 7) return 2;
    return writeView(argv + 2, [](double x, double y, double z, float out[3]) {
        const auto c = globaro::demoSceneColor(std::atan2(x, z), std::asin(std::clamp(y, -1.0, 1.0)));
        for (int k = 0; k < 3; ++k) out[k] = static_cast<float>(c[k]);
    });
}

int psnr(int argc, char** argv) {
    if (argc < 4) return 2;
    int w, h, rw, rh;
    std::vector<float> a, b;
    if (!readRgb(argv[2], w, h, a) || !readRgb(argv[3], rw, rh, b)) return 1;
    if (w != rw || h != rh) {
        std::fprintf(stderr, "%s: %dx%d, the reference is %dx%d\n", argv[2], w, h, rw, rh);
        return 1;
    }
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    const double mse = sum / static_cast<double>(a.size());
    std::printf("%.2f\n", mse > 0.0 ? -10.0 * std::log10(mse) : 99.0);
    return 0;
}

int ellipseStd(int argc, char** argv) {
    if (argc < 3) return 2;
    int w, h;
    std::vector<float> rgb;
    if (!readRgb(argv[2], w, h, rgb)) return 1;
    double sum = 0.0, sum2 = 0.0;
    long count = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double ex = ((x + 0.5) / w - 0.5) * 2.0, ey = ((y + 0.5) / h - 0.5) * 2.0;
            if (ex * ex + ey * ey > 0.95 * 0.95) continue;  // the outline's antialiased rim left out
            const float* p = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
            const double g = (p[0] + p[1] + p[2]) / 3.0;
            sum += g;
            sum2 += g * g;
            ++count;
        }
    }
    if (count == 0) return 1;
    const double mean = sum / count;
    std::printf("%.4f (mean %.4f)\n", std::sqrt(std::max(0.0, sum2 / count - mean * mean)), mean);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    int rc = 2;
    if (what == "source")
        rc = source(argc, argv);
    else if (what == "checker")
        rc = checker(argc, argv);
    else if (what == "reference")
        rc = reference(argc, argv);
    else if (what == "demo-reference")
        rc = demoReference(argc, argv);
    else if (what == "psnr")
        rc = psnr(argc, argv);
    else if (what == "ellipse-std")
        rc = ellipseStd(argc, argv);
    if (rc == 2)
        std::fprintf(stderr,
                     "usage: globaro_sharpness source OUT WxH BAND [SEED] | checker OUT WxH DEGREES |\n"
                     "       reference OUT SIZE FOV LON LAT BAND [SEED] | demo-reference OUT SIZE FOV LON LAT |\n"
                     "       psnr IMAGE REFERENCE | ellipse-std IMAGE\n");
    return rc;
}
