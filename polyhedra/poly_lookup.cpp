// Per-job and per-sample lookups on a built model: the sweep list, locating
// the triangle under a net point, carrying it to the solid, and the inverse
// lookup from a direction to a net point. Nothing here writes the model.

#include <algorithm>
#include <cmath>

#include "geometry/sphere_frame.h"
#include "polyhedra/poly_model.h"

namespace globaro {
namespace {

// Outputs whose every triangle takes part even when a face is selected.
constexpr ProjectionId kNoSingleUnit[] = {
    21,  41,  42,  64,  86,  97,  98,  100, 101, 102, 103, 104, 105, 106, 107, 113, 114, 115, 116, 117,
    122, 123, 124, 125, 126, 127, 128, 129, 137, 144, 145, 150, 151, 152, 153, 154, 155, 156, 157, 158,
    161, 162, 163, 166, 167, 168, 169, 170, 247, 253, 263, 277, 302, 303, 351, 352, 368, 370, 371, 372,
    373, 374, 375, 376, 377, 378, 379, 380, 381, 382, 385, 386, 387, 392, 393, 411, 412, 413};

bool takesEveryTriangle(ProjectionId id) {
    return std::binary_search(std::begin(kNoSingleUnit), std::end(kNoSingleUnit), id) || !isPolyhedral(id);
}

// Single-unit renders that always select by face.
bool selectsByFace(ProjectionId id) {
    return (id >= 177 && id <= 198) || id == 174 || id == 292 || id == 293 || (id >= 403 && id <= 408);
}

}  // namespace

void buildSweepList(const PolyModel& m, PolyJobState& job, const SweepClip* clip) {
    job.events.clear();
    job.events.reserve(static_cast<std::size_t>(m.triangleCount) * 2 + 2);
    job.rangeMinX = 100.0f;
    job.rangeMaxX = -100.0f;
    const ProjectionId id = m.cacheKey.id;
    int rule = 0;  // 0 every triangle, 1 by piece, 2 by face
    if (m.selectedFace >= 0 && !takesEveryTriangle(id)) {
        rule = (!selectsByFace(id) && m.flags.tablesOwned && m.fullPieceCount >= 2) ? 1 : 2;
    }
    for (int t = 0; t < m.triangleCount; ++t) {
        const NetTriangle& tri = m.triangles[t];
        if (rule == 1 && tri.loop != m.selectedFace + 1) continue;
        if (rule == 2 && tri.face != m.selectedFace) continue;
        if (!(tri.minX <= tri.maxX)) continue;  // an empty or not-a-number box is never found
        if (clip != nullptr) {
            if (tri.maxX < clip->minX - clip->margin || tri.minX > clip->maxX + clip->margin ||
                tri.maxY < clip->minY - clip->margin || tri.minY > clip->maxY + clip->margin) {
                continue;
            }
        }
        job.rangeMinX = std::min(job.rangeMinX, tri.minX);
        job.rangeMaxX = std::max(job.rangeMaxX, tri.maxX);
        job.events.push_back(SweepEvent{tri.minX, +1, t, tri.minX, tri.maxX, 0});
        job.events.push_back(SweepEvent{tri.maxX, -1, t, tri.minX, tri.maxX, 0});
    }
    job.events.push_back(SweepEvent{-99999.0f, 0, -1, 0.0f, 0.0f, 0});
    job.events.push_back(SweepEvent{99999.0f, 0, -1, 0.0f, 0.0f, 0});
    // Starts before ends at equal keys, so that the open count never drops
    // below zero; the head sentinel first, the tail sentinel last.
    std::stable_sort(job.events.begin(), job.events.end(), [](const SweepEvent& a, const SweepEvent& b) {
        if (a.key != b.key) return a.key < b.key;
        return a.delta > b.delta;
    });
    int running = 0;
    for (SweepEvent& e : job.events) {
        running += e.delta;
        e.count = running;
    }
    job.cursor = 0;
    job.recent[0] = job.recent[1] = job.recent[2] = -1;
    job.lastMissed = false;
    job.inverseRecent[0] = job.inverseRecent[1] = -1;
}

bool triangleContains(const NetTriangle& t, const PolyModel& m, float x, float y, float& b0, float& b1,
                      float& b2) noexcept {
    if (x < t.minX || x > t.maxX) return false;
    const NetVertex& A = m.vertices[t.a];
    const NetVertex& B = m.vertices[t.b];
    const NetVertex& C = m.vertices[t.c];
    const float i = t.invDet;
    b0 = ((B.netX - x) * (C.netY - y) - (B.netY - y) * (C.netX - x)) * i;
    if (b0 < -1e-6f) return false;
    b1 = ((A.netY - y) * (C.netX - x) - (A.netX - x) * (C.netY - y)) * i;
    if (b1 < -1e-6f) return false;
    b2 = ((A.netX - x) * (B.netY - y) - (A.netY - y) * (B.netX - x)) * i;
    return b2 >= -1e-6f;
}

namespace {

void fillFaceHit(const PolyModel& m, int t, float b0, float b1, float b2, NetHit& hit) {
    const NetTriangle& tri = m.triangles[t];
    hit.kind = NetHitKind::kFace;
    hit.triangle = t;
    hit.b0 = b0;
    hit.b1 = b1;
    hit.b2 = b2;
    hit.face = tri.face;
    hit.loop = tri.loop;
    hit.attribute = tri.attribute;
    hit.flagsWord = tri.flagsWord;
    hit.markTag = -1;
    // Nearest side: edge b-c opposite a (b0), c-a opposite b (b1), a-b opposite c (b2).
    const float vab = b2 - (tri.edgeIsSide[0] ? 1.0f : 0.0f);
    const float vbc = b0 - (tri.edgeIsSide[1] ? 1.0f : 0.0f);
    const float vca = b1 - (tri.edgeIsSide[2] ? 1.0f : 0.0f);
    int e = 1;
    if (vca < vab && vca < vbc) {
        e = 2;
    } else if (vab < vbc && vab < vca) {
        e = 0;
    }
    hit.nearestEdge = static_cast<std::int8_t>(e);
    hit.nearestIsSide = tri.edgeIsSide[e];
    hit.nearestHasTab = tri.edgeTab[e];
}

bool isRecent(const PolyJobState& job, int t) { return t == job.recent[0] || t == job.recent[1] || t == job.recent[2]; }

}  // namespace

NetHit locateTriangle(const PolyModel& m, PolyJobState& job, float x, float y, int hint) noexcept {
    NetHit hit;
    if (job.events.size() < 2 || std::isnan(x) || std::isnan(y)) {
        job.lastMissed = true;
        return hit;
    }
    if (x < job.rangeMinX || x < m.boundsMinX || x > job.rangeMaxX || x > m.boundsMaxX || y < m.boundsMinY ||
        y > m.boundsMaxY) {
        job.lastMissed = true;
        return hit;
    }
    const int last = static_cast<int>(job.events.size()) - 1;
    int c = std::clamp(job.cursor, 0, last);
    while (c < last && job.events[c + 1].key <= x) ++c;
    while (c > 0 && job.events[c].key > x) --c;
    job.cursor = c;
    if (job.events[c].count == 0) {
        job.lastMissed = true;
        return hit;
    }

    int markTri = -1;
    float b0 = 0, b1 = 0, b2 = 0;
    int found = -1;
    float fb0 = 0, fb1 = 0, fb2 = 0;
    auto test = [&](int t) -> bool {
        if (t < 0 || t >= m.triangleCount) return false;
        const NetTriangle& tri = m.triangles[t];
        if (!triangleContains(tri, m, x, y, b0, b1, b2)) return false;
        if (tri.isMark) {
            if (markTri < 0) markTri = t;
            return false;
        }
        found = t;
        fb0 = b0;
        fb1 = b1;
        fb2 = b2;
        return true;
    };

    bool done = false;
    if (job.lastMissed && hint >= 0) done = test(hint);
    for (int r = 0; r < 3 && !done; ++r) done = test(job.recent[r]);
    if (!done) {
        int counter = job.events[c].count;
        for (int i = c; i > 0 && !done; --i) {
            const SweepEvent& e = job.events[i];
            if (e.delta > 0 && e.maxX >= x && !isRecent(job, e.triangle)) done = test(e.triangle);
            if (done) break;
            counter -= e.delta;
            if (counter <= 0 && e.delta > 0) break;
        }
    }

    if (found >= 0) {
        const NetTriangle& tri = m.triangles[found];
        if (tri.hidden) {
            job.lastMissed = true;
            return hit;
        }
        if (job.recent[0] != found) {
            job.recent[2] = job.recent[1];
            job.recent[1] = job.recent[0];
            job.recent[0] = found;
        }
        job.lastMissed = false;
        fillFaceHit(m, found, fb0, fb1, fb2, hit);
        return hit;
    }
    job.lastMissed = true;
    if (markTri >= 0) {
        const NetTriangle& tri = m.triangles[markTri];
        hit.kind = NetHitKind::kMark;
        hit.triangle = markTri;
        hit.face = tri.face;
        hit.markTag = tri.markTag;
    }
    return hit;
}

namespace {

// (s, t) of a net point in the bilinear patch lerp(lerp(p0, p1, s), lerp(p3, p2, s), t).
void inverseBilinear(const Vec2d& p, const Vec2d& p0, const Vec2d& p1, const Vec2d& p2, const Vec2d& p3, double& s,
                     double& t) {
    // Newton iterations from the patch centre; the patches are near-parallelograms.
    s = 0.5;
    t = 0.5;
    for (int it = 0; it < 12; ++it) {
        const Vec2d a = planeLerp(p0, p1, s), b = planeLerp(p3, p2, s);
        const Vec2d q = planeLerp(a, b, t);
        const Vec2d ds{(1 - t) * (p1.x - p0.x) + t * (p2.x - p3.x), (1 - t) * (p1.y - p0.y) + t * (p2.y - p3.y)};
        const Vec2d dt{b.x - a.x, b.y - a.y};
        const double det = ds.x * dt.y - ds.y * dt.x;
        if (det == 0.0) break;
        const double rx = p.x - q.x, ry = p.y - q.y;
        const double us = (rx * dt.y - ry * dt.x) / det;
        const double ut = (ds.x * ry - ds.y * rx) / det;
        s += us;
        t += ut;
        if (std::fabs(us) + std::fabs(ut) < 1e-12) break;
    }
}

// The longitude-latitude blend of three corners.
Vec3d lonLatBlend(const double* solid, double w0, double w1, double w2) {
    const double w[3] = {w0, w1, w2};
    double u[3], v[3];
    int flag[3];
    for (int i = 0; i < 3; ++i) {
        const Vec2d uv = modelEquirectFromDirection(normalise(Vec3d{solid[3 * i], solid[3 * i + 1], solid[3 * i + 2]}));
        u[i] = uv.x;
        v[i] = uv.y;
        flag[i] = (v[i] >= 0.001 && v[i] <= 0.999) ? 1 : 0;
    }
    int admitted = flag[0] + flag[1] + flag[2];
    // Near the poles: admit the pole corners nearest in latitude to an admitted one.
    for (int round = 0; round < 2 && admitted <= 1; ++round) {
        int best = -1;
        double bestGap = 1e30;
        for (int i = 0; i < 3; ++i) {
            if (flag[i]) continue;
            for (int j = 0; j < 3; ++j) {
                if (!flag[j] && admitted > 0) continue;
                const double gap = admitted > 0 ? std::fabs(v[i] - v[j]) : std::fabs(v[i] - 0.5);
                if (gap < bestGap) {
                    bestGap = gap;
                    best = i;
                }
            }
        }
        if (best < 0) break;
        flag[best] = 1;
        ++admitted;
    }
    bool first = false, lastQ = false, other = false;
    for (int i = 0; i < 3; ++i) {
        if (!flag[i]) continue;
        if (u[i] < 0.25)
            first = true;
        else if (u[i] > 0.75)
            lastQ = true;
        else
            other = true;
    }
    if (first && lastQ && !other) {
        for (int i = 0; i < 3; ++i) {
            if (flag[i] && u[i] < 0.25) u[i] += 1.0;
        }
    }
    double su = 0, sw = 0, sv = 0;
    for (int i = 0; i < 3; ++i) {
        su += w[i] * flag[i] * u[i];
        sw += w[i] * flag[i];
        sv += w[i] * v[i];
    }
    double lon = sw != 0.0 ? su / sw : 0.5;
    lon -= std::floor(lon);
    return modelDirectionFromEquirect(lon, sv);
}

}  // namespace

SphereDir triangleToSolid(const PolyModel& m, int triangle, float b0, float b1, float b2, float x, float y,
                          std::int32_t sampleMode) noexcept {
    if (triangle < 0 || triangle >= m.triangleCount) return {0.0f, 0.0f, 1.0f};
    const NetTriangle& tri = m.triangles[triangle];
    Vec3d p;
    const PolyFace* face = (tri.face >= 0 && tri.face < m.faceCount) ? &m.faces[tri.face] : nullptr;
    if (face != nullptr && face->curvedIndex >= 0 && face->curvedIndex < kPolyMaxVertices && face->cornerCount >= 3) {
        const int idx[4] = {face->corners[0], face->corners[1], face->corners[2], face->curvedIndex};
        Vec2d net[4];
        Vec3d sol[4];
        for (int i = 0; i < 4; ++i) {
            const NetVertex& v = m.vertices[idx[i]];
            net[i] = {v.netX, v.netY};
            sol[i] = {v.solidX, v.solidY, v.solidZ};
        }
        double s, t;
        inverseBilinear(Vec2d{x, y}, net[0], net[1], net[2], net[3], s, t);
        p = lerp(lerp(sol[0], sol[1], s), lerp(sol[3], sol[2], s), t);
        p = normalise(p);
    } else if (m.lonLatInterpolation) {
        p = lonLatBlend(tri.solid, b0, b1, b2);
    } else {
        p = {b0 * tri.solid[0] + b1 * tri.solid[3] + b2 * tri.solid[6],
             b0 * tri.solid[1] + b1 * tri.solid[4] + b2 * tri.solid[7],
             b0 * tri.solid[2] + b1 * tri.solid[5] + b2 * tri.solid[8]};
    }
    if (sampleMode == 3) {
        p = {p.x - m.referencePoint[0], p.y - m.referencePoint[1], p.z - m.referencePoint[2]};
    }
    const SphereDir d = normalise(toSphereDir(p));
    if (std::isnan(d.x) || std::isnan(d.y) || std::isnan(d.z)) return {0.0f, 0.0f, 1.0f};
    return d;
}

NetHit netPointToSphere(const PolyModel& m, PolyJobState& job, float x, float y, SphereDir& dir, int hint) noexcept {
    NetHit hit = locateTriangle(m, job, x, y, hint);
    if (hit.kind == NetHitKind::kFace) {
        dir = triangleToSolid(m, hit.triangle, hit.b0, hit.b1, hit.b2, x, y, job.sampleMode);
    }
    return hit;
}

namespace {

bool inverseCandidate(const PolyModel& m, int t, const Vec3d& d, InverseHit& out) {
    if (t < 0 || t >= m.triangleCount) return false;
    const NetTriangle& tri = m.triangles[t];
    if (tri.isMark || tri.hidden) return false;
    const Vec3d A{tri.solid[0], tri.solid[1], tri.solid[2]};
    const Vec3d B{tri.solid[3], tri.solid[4], tri.solid[5]};
    const Vec3d C{tri.solid[6], tri.solid[7], tri.solid[8]};
    if (static_cast<float>(-dot(d, cross(A, B))) < 0.0f) return false;
    if (static_cast<float>(-dot(d, cross(B, C))) < 0.0f) return false;
    if (static_cast<float>(-dot(d, cross(C, A))) < 0.0f) return false;
    // Moller-Trumbore with the ray from the origin along d.
    const Vec3d e1 = difference(A, B), e2 = difference(A, C);
    const Vec3d pv = cross(d, e2);
    const double det = dot(e1, pv);
    if (std::fabs(det) <= 1e-6) return false;
    const double inv = 1.0 / det;
    const Vec3d s = negate(A);
    const double u = dot(s, pv) * inv;
    const Vec3d q = cross(s, e1);
    const double v = dot(d, q) * inv;
    const double w = 1.0 - u - v;
    const NetVertex& na = m.vertices[tri.a];
    const NetVertex& nb = m.vertices[tri.b];
    const NetVertex& nc = m.vertices[tri.c];
    out.triangle = t;
    out.face = tri.face;
    out.w0 = static_cast<float>(w);
    out.w1 = static_cast<float>(u);
    out.w2 = static_cast<float>(v);
    out.netX = static_cast<float>(w * na.netX + u * nb.netX + v * nc.netX);
    out.netY = static_cast<float>(w * na.netY + u * nb.netY + v * nc.netY);
    out.u = (out.netX - m.frameX0) * m.fitInverseWidth;
    out.v = (out.netY - m.frameY0) * m.fitInverseHeight;
    return true;
}

}  // namespace

bool inverseLookup(const PolyModel& m, const SphereDir& dir, PolyJobState* job, InverseHit& out) noexcept {
    const Vec3d d = toVec3d(dir);
    if (std::isnan(d.x) || std::isnan(d.y) || std::isnan(d.z)) return false;
    int r0 = -1, r1 = -1;
    if (job != nullptr) {
        r0 = job->inverseRecent[0];
        r1 = job->inverseRecent[1];
    }
    std::uint32_t tried = 0;
    int found = -1;
    for (int t : {r0, r1}) {
        if (t < 0) continue;
        ++tried;
        if (inverseCandidate(m, t, d, out)) {
            found = t;
            break;
        }
    }
    if (found < 0) {
        if (job != nullptr && !job->events.empty()) {
            for (const SweepEvent& e : job->events) {
                if (e.delta <= 0 || e.triangle == r0 || e.triangle == r1) continue;
                ++tried;
                if (inverseCandidate(m, e.triangle, d, out)) {
                    found = e.triangle;
                    break;
                }
            }
        } else {
            for (int t = 0; t < m.triangleCount; ++t) {
                if (t == r0 || t == r1) continue;
                ++tried;
                if (inverseCandidate(m, t, d, out)) {
                    found = t;
                    break;
                }
            }
        }
    }
    if (job != nullptr) {
        job->inverseTried += tried;
        if (found >= 0) {
            ++job->inverseHits;
            if (job->inverseRecent[0] != found) {
                job->inverseRecent[1] = job->inverseRecent[0];
                job->inverseRecent[0] = found;
            }
        } else {
            ++job->inverseMisses;
        }
    }
    return found >= 0;
}

}  // namespace globaro
