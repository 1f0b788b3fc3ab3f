// Solid meshes: vertex and face bookkeeping, convex hulls with coplanar
// faces merged, and polar duals.

#include "polyhedra/solid_mesh.h"

#include <algorithm>
#include <cmath>

#include "polyhedra/poly_model.h"

namespace globaro {

int SolidMesh::addVertex(const Vec3d& p, double tolerance) {
    const double t2 = tolerance * tolerance;
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const Vec3d d = difference(vertices[i], p);
        if (dot(d, d) < t2) return static_cast<int>(i);
    }
    if (vertices.size() >= static_cast<std::size_t>(kPolyMaxVertices)) {
        errorCode = kPolySolidTableFull;
        return -1;
    }
    vertices.push_back(p);
    return static_cast<int>(vertices.size()) - 1;
}

bool SolidMesh::addFace(const int* corners, int count, std::int16_t group, bool bulk) {
    if (count <= 0) return false;
    std::vector<int> f(corners, corners + std::min(count, kPolyMaxCorners));
    for (int v : f) {
        // A point that found no room, or a vertex that does not exist.
        if (v < 0 || v >= static_cast<int>(vertices.size())) return false;
    }
    for (std::size_t k = 0; k < f.size(); ++k) {
        if (f[k] == f[(k + 1) % f.size()] && f.size() > 1) {
            errorCode = kPolyRepeatedCorner;
            return false;
        }
    }
    if (!bulk) {
        std::vector<int> key = f;
        std::sort(key.begin(), key.end());
        for (const auto& g : faces) {
            std::vector<int> other = g;
            std::sort(other.begin(), other.end());
            if (other == key) {
                errorCode = kPolyDuplicateFace;
                return false;
            }
        }
    }
    if (faces.size() >= static_cast<std::size_t>(kPolyMaxFaces)) return false;
    faces.push_back(std::move(f));
    groups.push_back(group);
    return true;
}

Vec3d faceNormal(const SolidMesh& mesh, int face) {
    const auto& f = mesh.faces[face];
    Vec3d n{};
    for (std::size_t k = 0; k < f.size(); ++k) {
        const Vec3d& a = mesh.vertices[f[k]];
        const Vec3d& b = mesh.vertices[f[(k + 1) % f.size()]];
        n.x += (a.y - b.y) * (a.z + b.z);
        n.y += (a.z - b.z) * (a.x + b.x);
        n.z += (a.x - b.x) * (a.y + b.y);
    }
    return n;
}

Vec3d faceCentre(const SolidMesh& mesh, int face) {
    const auto& f = mesh.faces[face];
    Vec3d c{};
    for (int v : f) c = {c.x + mesh.vertices[v].x, c.y + mesh.vertices[v].y, c.z + mesh.vertices[v].z};
    const double n = f.empty() ? 1.0 : static_cast<double>(f.size());
    return {c.x / n, c.y / n, c.z / n};
}

SolidMesh convexHull(const std::vector<Vec3d>& pts, double tolerance) {
    SolidMesh mesh;
    mesh.vertices = pts;
    const int n = static_cast<int>(pts.size());
    double scale = 0.0;
    for (const Vec3d& p : pts) scale = std::max(scale, length(p));
    const double eps = tolerance * std::max(scale, 1.0);
    std::vector<std::pair<Vec3d, double>> planes;  // unit normal, offset
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            for (int k = j + 1; k < n; ++k) {
                Vec3d nrm = cross(difference(pts[i], pts[j]), difference(pts[i], pts[k]));
                const double len = length(nrm);
                if (len < eps) continue;
                nrm = {nrm.x / len, nrm.y / len, nrm.z / len};
                double d = dot(nrm, pts[i]);
                bool pos = false, neg = false;
                for (int m = 0; m < n && !(pos && neg); ++m) {
                    const double s = dot(nrm, pts[m]) - d;
                    if (s > eps) pos = true;
                    if (s < -eps) neg = true;
                }
                if (pos && neg) continue;
                if (pos) {
                    nrm = negate(nrm);
                    d = -d;
                }
                bool known = false;
                for (const auto& pl : planes) {
                    if (dot(pl.first, nrm) > 1.0 - 1e-9 && std::fabs(pl.second - d) < eps) {
                        known = true;
                        break;
                    }
                }
                if (!known) planes.emplace_back(nrm, d);
            }
        }
    }
    for (const auto& pl : planes) {
        std::vector<int> on;
        Vec3d c{};
        for (int m = 0; m < n; ++m) {
            if (std::fabs(dot(pl.first, pts[m]) - pl.second) <= eps) {
                on.push_back(m);
                c = {c.x + pts[m].x, c.y + pts[m].y, c.z + pts[m].z};
            }
        }
        c = {c.x / on.size(), c.y / on.size(), c.z / on.size()};
        // Order anticlockwise about the outward normal.
        Vec3d e1 = directionBetween(c, pts[on[0]]);
        const Vec3d e2 = cross(pl.first, e1);
        std::sort(on.begin(), on.end(), [&](int a, int b) {
            const Vec3d da = difference(c, pts[a]), db = difference(c, pts[b]);
            return std::atan2(dot(da, e2), dot(da, e1)) < std::atan2(dot(db, e2), dot(db, e1));
        });
        mesh.faces.push_back(on);
        mesh.groups.push_back(-1);
    }
    return mesh;
}

SolidMesh polarDual(const SolidMesh& mesh) {
    SolidMesh dual;
    const int nf = static_cast<int>(mesh.faces.size());
    for (int f = 0; f < nf; ++f) {
        const Vec3d nrm = normalise(faceNormal(mesh, f));
        const double d = dot(nrm, mesh.vertices[mesh.faces[f][0]]);
        dual.vertices.push_back({nrm.x / d, nrm.y / d, nrm.z / d});
    }
    // One face per original vertex: the faces around it, in turning order.
    for (std::size_t v = 0; v < mesh.vertices.size(); ++v) {
        std::vector<int> around;
        for (int f = 0; f < nf; ++f) {
            if (std::find(mesh.faces[f].begin(), mesh.faces[f].end(), static_cast<int>(v)) != mesh.faces[f].end()) {
                around.push_back(f);
            }
        }
        if (around.size() < 3) continue;
        const Vec3d axis = normalise(mesh.vertices[v]);
        Vec3d c{};
        for (int f : around) c = {c.x + dual.vertices[f].x, c.y + dual.vertices[f].y, c.z + dual.vertices[f].z};
        c = {c.x / around.size(), c.y / around.size(), c.z / around.size()};
        const Vec3d e1 = directionBetween(c, dual.vertices[around[0]]);
        const Vec3d e2 = cross(axis, e1);
        std::sort(around.begin(), around.end(), [&](int a, int b) {
            const Vec3d da = difference(c, dual.vertices[a]), db = difference(c, dual.vertices[b]);
            return std::atan2(dot(da, e2), dot(da, e1)) < std::atan2(dot(db, e2), dot(db, e1));
        });
        dual.faces.push_back(around);
        dual.groups.push_back(-1);
    }
    return dual;
}

}  // namespace globaro
