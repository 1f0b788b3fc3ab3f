// The geodesic spheres: base solid → triangles (fans about the centres of
// the faces that are not triangles) → subdivision at the frequency, every
// point on the unit sphere, coincident points merged.

#include "polyhedra/geodesic.h"

#include <cmath>
#include <cstring>
#include <new>

namespace globaro {
namespace {

struct GeodesicRow {
    PolyKind first;
    PolyKind last;
    PolyKind base;
    int firstFrequency;
};

constexpr GeodesicRow kGeodesicRows[] = {
    {88, 91, 16, 2},    // tetrahedron, 2..5
    {92, 96, 18, 1},    // cube, 1..5
    {97, 100, 19, 2},   // octahedron, 2..5
    {101, 105, 9, 1},   // dodecahedron, 1..5
    {106, 109, 17, 2},  // icosahedron of the strip net, 2..5
};

// A temporary model from the allocator, or null.
PolyModel* temporaryModel(const PolyAllocator& allocator) {
    PolyModel* m = createPolyModel(allocator);
    return m;
}

}  // namespace

bool geodesicParams(PolyKind kind, PolyKind& baseKind, int& frequency) noexcept {
    for (const GeodesicRow& r : kGeodesicRows) {
        if (kind >= r.first && kind <= r.last) {
            baseKind = r.base;
            frequency = r.firstFrequency + (kind - r.first);
            return true;
        }
    }
    return false;
}

SolidMesh generateGeodesic(const PolyModel& target, PolyKind kind, const PolyAllocator& allocator) {
    SolidMesh mesh;
    PolyKind baseKind = kNoPolyKind;
    int frequency = 1;
    if (!geodesicParams(kind, baseKind, frequency)) return mesh;

    // The base solid, built as a solid alone.
    PolyModel* base = temporaryModel(allocator);
    if (base == nullptr) return mesh;
    base->frameHeight = target.frameHeight;
    base->tabSize = target.tabSize;
    buildPolyModel(*base, baseKind, kPolyModeSolid, kFitNone, 0.0, 0, allocator, 1);

    // The base cut into triangles, each corner on the unit sphere.
    struct Tri {
        Vec3d a, b, c;
    };
    std::vector<Tri> tris;
    auto solidOf = [&](int v) {
        const NetVertex& n = base->vertices[v];
        return normalise(Vec3d{n.solidX, n.solidY, n.solidZ});
    };
    for (int f = 0; f < base->faceCount; ++f) {
        const PolyFace& face = base->faces[f];
        const int n = face.cornerCount;
        if (n < 3) continue;
        if (n == 3) {
            tris.push_back({solidOf(face.corners[0]), solidOf(face.corners[1]), solidOf(face.corners[2])});
            continue;
        }
        Vec3d c{};
        for (int k = 0; k < n; ++k) {
            const NetVertex& v = base->vertices[face.corners[k]];
            c = {c.x + v.solidX, c.y + v.solidY, c.z + v.solidZ};
        }
        c = normalise(Vec3d{c.x / n, c.y / n, c.z / n});
        for (int k = 0; k < n; ++k) {
            tris.push_back({solidOf(face.corners[k]), solidOf(face.corners[(k + 1) % n]), c});
        }
    }
    releasePolyModel(base);

    const int M = frequency < 1 ? 1 : frequency;
    const double tol = 0.002;
    for (const Tri& tri : tris) {
        auto point = [&](float s, float t) {
            const double u = 1.0 - static_cast<double>(t);
            const double w = 1.0 - static_cast<double>(s) - u;
            const Vec3d p{static_cast<float>(s * tri.a.x + u * tri.b.x + w * tri.c.x),
                          static_cast<float>(s * tri.a.y + u * tri.b.y + w * tri.c.y),
                          static_cast<float>(s * tri.a.z + u * tri.b.z + w * tri.c.z)};
            return normalise(p);
        };
        for (int i = 0; i < M; ++i) {
            const float t0 = static_cast<float>(i) / static_cast<float>(M);
            const float t1 = static_cast<float>(i + 1) / static_cast<float>(M);
            for (int j = 0; j <= i; ++j) {
                const float s0 = static_cast<float>(j) / static_cast<float>(M);
                const float s1 = static_cast<float>(j + 1) / static_cast<float>(M);
                const int p1 = mesh.addVertex(point(s0, t0), tol);
                const int p2 = mesh.addVertex(point(s0, t1), tol);
                const int p3 = mesh.addVertex(point(s1, t1), tol);
                const int first[3] = {p1, p2, p3};
                mesh.addFace(first, 3, -1, true);
                if (j < i) {
                    const int p4 = mesh.addVertex(point(s1, t0), tol);
                    const int second[3] = {p3, p4, p1};
                    mesh.addFace(second, 3, -1, true);
                }
            }
        }
    }
    return mesh;
}

}  // namespace globaro
