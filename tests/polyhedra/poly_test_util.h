#pragma once
// Helpers shared by the polyhedron model tests.

#include <cmath>
#include <memory>
#include <vector>
#include "polyhedra/net_unfold.h"
#include "polyhedra/poly_model.h"

namespace globaro::testing {

struct ModelDeleter {
    void operator()(PolyModel* m) const { releasePolyModel(m); }
};
using ModelPtr = std::unique_ptr<PolyModel, ModelDeleter>;

inline ModelPtr newModel() { return ModelPtr(createPolyModel()); }

// Builds `kind` straight (mode, fit param) and returns the status.
inline int build(PolyModel& m, PolyKind kind, std::uint16_t mode = kPolyModeNet, std::uint32_t param = kFitToFrame,
                 double angle = 0.0) {
    return buildPolyModel(m, kind, mode, param, angle, 0, defaultPolyAllocator(), 1);
}

inline std::vector<Vec2d> netOutline(const PolyModel& m, int f) {
    std::vector<Vec2d> out;
    const PolyFace& face = m.faces[f];
    for (int k = 0; k < face.cornerCount; ++k) {
        const NetVertex& v = m.vertices[face.corners[k]];
        out.push_back({v.netX, v.netY});
    }
    return out;
}

inline Vec3d solidOf(const NetVertex& v) { return {v.solidX, v.solidY, v.solidZ}; }

// det(A, B, C) of three stored solid points.
inline double det3(const Vec3d& a, const Vec3d& b, const Vec3d& c) { return dot(a, cross(b, c)); }

// Tiny deterministic generator for test points.
struct Lcg {
    std::uint64_t s = 12345;
    double next() {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>((s >> 11) & ((1ULL << 53) - 1)) / static_cast<double>(1ULL << 53);
    }
};

}  // namespace globaro::testing
