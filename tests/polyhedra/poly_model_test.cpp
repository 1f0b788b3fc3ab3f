// The model: caching, fitting, marks, tabs, triangulation, locating, capacity errors.

#include "polyhedra/poly_model.h"
#include <gtest/gtest.h>
#include <span>
#include <thread>
#include "poly_test_util.h"
#include "polyhedra/poly_summary.h"

namespace globaro {
namespace {

using testing::build;
using testing::Lcg;
using testing::newModel;

int prepare(PolyModel& m, ProjectionId id, float frameHeight = 1.0f, float tabSize = 0.0f, std::uint32_t param = 0,
            float angle = 0.0f, std::uint32_t mode = kPolyModeNet) {
    return preparePolyModel(id, m, frameHeight, tabSize, param, angle, mode, 0, defaultPolyAllocator(), 1);
}

std::pair<float, float> centroid(const PolyModel& m, int t) {
    const NetVertex &a = m.vertices[m.triangles[t].a], &b = m.vertices[m.triangles[t].b],
                    &c = m.vertices[m.triangles[t].c];
    return {(a.netX + b.netX + c.netX) / 3, (a.netY + b.netY + c.netY) / 3};
}

TEST(PolyModelPrepare, TheSelectedFaceAndAResetRebuild) {
    auto m = newModel();
    prepare(*m, 6, 0.5f, 0.01f);
    m->errorCode = 77;  // a fresh build clears it
    m->selectedFace = 1;
    prepare(*m, 6, 0.5f, 0.01f);
    EXPECT_EQ(std::pair(m->errorCode, m->selectedFaceCopy), std::pair(0, 1));
    m->errorCode = 77;
    resetPolyModel(*m);
    prepare(*m, 6, 0.5f, 0.01f);
    EXPECT_EQ(m->errorCode, 0);
}

// Every field of the request is a key field; lookups and sweep lists leave the key alone.
TEST(PolyModelPrepare, ModelIsRebuiltOnlyWhenTheKeyChanges) {
    struct Request {
        ProjectionId id = 9;
        float frameHeight = 0.5f, tabSize = 0.01f;
        std::uint32_t param = 0;
        float angle = 0.0f;
        std::uint32_t mode = kPolyModeNet;
        std::uint8_t flagA = 0, flagB = 1;
    };
    auto rebuilds = [](PolyModel& m, const Request& r) {
        m.errorCode = 77;  // a fresh build clears it
        preparePolyModel(r.id, m, r.frameHeight, r.tabSize, r.param, r.angle, r.mode, r.flagA, defaultPolyAllocator(),
                         r.flagB);
        return m.errorCode != 77;
    };
    auto m = newModel();
    const Request base;
    EXPECT_TRUE(rebuilds(*m, base) && !rebuilds(*m, base));
    const Request changed[] = {{.id = 10},   {.param = kFitNone}, {.angle = 0.25f},      {.mode = kPolyModeSolid},
                               {.flagA = 1}, {.flagB = 0},        {.frameHeight = 0.75f}};
    for (const Request& r : changed) {
        ASSERT_TRUE(rebuilds(*m, r));
        EXPECT_FALSE(rebuilds(*m, r));    // now cached
        EXPECT_TRUE(rebuilds(*m, base));  // the key holds only the last request
    }
    PolyJobState job;
    SphereDir d{};
    InverseHit hit;
    buildSweepList(*m, job), netPointToSphere(*m, job, 0.5f, 0.25f, d), inverseLookup(*m, d, &job, hit);
    EXPECT_FALSE(rebuilds(*m, base));
}

TEST(PolyModelPrepare, UnusableNumbersNonPolyhedralIdsAndKindsWithoutTables) {
    auto m = newModel();
    prepare(*m, 9, std::nanf(""), std::nanf(""), 0, std::nanf(""));
    EXPECT_EQ(std::pair(m->frameHeight, m->tabSize), std::pair(1.0f, 0.0f));
    prepare(*m, 9, -2.0f, -1.0f);
    EXPECT_EQ(m->frameHeight, 1.0f);
    PolyJobState job;
    SphereDir d{};
    buildSweepList(*m, job);
    EXPECT_EQ(netPointToSphere(*m, job, 0.5f, 0.5f, d).kind, NetHitKind::kFace);
    prepare(*m, 6);
    const int faces = m->faceCount;
    EXPECT_EQ(std::pair(prepare(*m, 1), m->faceCount), std::pair(0, faces));  // equirectangular leaves the model alone
    EXPECT_EQ(std::pair(buildPolyModel(*m, kNoPolyKind, 1, 0, 0.0, 0, defaultPolyAllocator(), 1), m->kind),
              std::pair(0, 16));
    build(*m, 22);  // a kind without tables
    EXPECT_TRUE(m->faceCount == 0 && m->triangleCount == 0);
}

TEST(PolyModelFit, NoFitMovesNothingFixedZoomScalesAboutTheCentreAndTurnsTurn) {
    auto m = newModel();
    m->frameHeight = 1.0f;
    build(*m, 16, kPolyModeNet, kFitNone);
    EXPECT_EQ(std::tuple(m->vertices[0].netX, m->vertices[0].netY, m->fitScale), std::tuple(0.5f, 0.0f, 1.0f));
    // Box of the table net: x 0.245735..0.754265, y 0..0.440399.
    m->faceZoom = 2.0f, m->faceOffsetX = 0.1f, m->faceOffsetY = -0.05f;
    build(*m, 16, kPolyModeNet, kFitFixedZoom);
    const float bx = (0.245735f + 0.754265f) / 2, by = 0.440399f / 2;
    EXPECT_NEAR(m->vertices[0].netX, (0.5f - 0.1f - bx) * 2.0f + 0.5f, 1e-6f);
    EXPECT_NEAR(m->vertices[0].netY, (0.0f + 0.05f - by) * 2.0f + 0.5f, 1e-6f);
    EXPECT_FLOAT_EQ(m->fitScale, 2.0f);
    build(*m, 16, kPolyModeNet, kFitNone, 3.14159265358979 / 2);  // a net turn: (x, y) -> (-y, x)
    EXPECT_LT(std::hypot(m->vertices[1].netX + 0.2202f, m->vertices[1].netY - 0.372868f), 1.5e-6f);
}

TEST(PolyModelMarks, PlainModeAddsFourCornerMarks) {
    auto m = newModel();
    build(*m, 16, kPolyModePlain, kFitNone);
    EXPECT_EQ(m->vertexCount, 6 + 12);
    // A point in the top-left mark and in no face is a mark hit; one near the top corner samples the face.
    PolyJobState job;
    buildSweepList(*m, job);
    const float leg = 0.0625f * 0.440399f;
    EXPECT_EQ(std::pair(locateTriangle(*m, job, 0.245735f + leg / 4, leg / 4).kind,
                        locateTriangle(*m, job, 0.5f, 0.01f).kind),
              std::pair(NetHitKind::kMark, NetHitKind::kFace));
}

TEST(PolyModelMarks, MarkOverflowAndTriangleOverflow) {
    auto m = newModel();
    build(*m, 16, kPolyModeNet, kFitNone);
    m->vertexCount = kPolyMaxVertices - 3;
    const int tris = m->triangleCount;
    addMarkTriangle(*m, 0, 0, 1, 0, 0, 1, -1, -1);
    EXPECT_EQ(std::pair(m->errorCode, m->triangleCount), std::pair(int(kPolyMarkOverflow), tris));
    m->errorCode = 0, m->vertexCount = 100, m->triangleCount = kPolyMaxTriangles - 1;
    addMarkTriangle(*m, 0, 0, 1, 0, 0, 1, -1, -1);
    EXPECT_EQ(m->errorCode, kPolyTriangleTableFull);
    m->errorCode = 0, m->triangleCount = kPolyMaxTriangles;
    triangulateFace(*m, 0);
    EXPECT_TRUE(m->errorCode == kPolyTriangleTableFull && m->triangleCount == kPolyMaxTriangles);
    // A triangle naming a vertex beyond the table.
    m->errorCode = 0, m->triangleCount = 1, m->triangles[0].b = kPolyMaxVertices;
    prepareTriangle(*m, 0);
    EXPECT_EQ(m->errorCode, kPolyBadVertexIndex);
    PolyJobState job;  // such a triangle is never tested by a lookup
    buildSweepList(*m, job);
    for (float x = 0.0f; x <= 1.0f; x += 0.05f) EXPECT_EQ(locateTriangle(*m, job, x, 0.2f).kind, NetHitKind::kMiss);
    // A face naming a vertex beyond the table gives no triangles.
    m->errorCode = 0, m->triangleCount = 0, m->faces[0].corners[1] = kPolyMaxVertices + 5;
    triangulateFace(*m, 0);
    EXPECT_TRUE(m->triangleCount == 0 && m->errorCode == kPolyBadVertexIndex);
}

TEST(PolyModelTriangulate, EarClippingCoversConcaveFaces) {
    // An L-shaped hexagon and a pentagon, from hand-made tables.
    static const double net[] = {0, 0, 2, 0, 2, 1, 1, 1, 1, 2, 0, 2, 5, 0, 6, 0, 6.3, 1, 5.5, 1.6, 4.7, 1};
    static const double solid[] = {0, 0, 1};
    auto m = newModel();
    m->netPositions = net, m->netRowCount = 11, m->netSolidPositions = solid, m->solidRowCount = 1;
    m->faceCount = 2, m->faces[0].cornerCount = 6, m->faces[1].cornerCount = 5, m->triangleCount = 0;
    for (int v = 0; v < 11; ++v) {
        m->faces[v < 6 ? 0 : 1].corners[v < 6 ? v : v - 6] = v;
        m->vertices[v].netX = static_cast<float>(net[2 * v]), m->vertices[v].netY = static_cast<float>(net[2 * v + 1]);
    }
    triangulateFace(*m, 0);
    ASSERT_EQ(m->triangleCount, 4);
    double area = 0;
    for (int t = 0; t < 4; ++t) {
        const NetTriangle& tri = m->triangles[t];
        const NetVertex &a = m->vertices[tri.a], &b = m->vertices[tri.b], &c = m->vertices[tri.c];
        const double s = (b.netX - a.netX) * (c.netY - a.netY) - (b.netY - a.netY) * (c.netX - a.netX);
        EXPECT_GT(s, 0.0);  // every ear inside the outline
        area += s / 2;
    }
    EXPECT_NEAR(area, 3.0, 1e-9);
    triangulateFace(*m, 1);
    EXPECT_EQ(m->triangleCount, 7);
    // Side flags: the last triangle of the pentagon has two sides of the face; faces of two corners give nothing.
    int sides = 0;
    for (int t = 4; t < 7; ++t)
        sides += m->triangles[t].edgeIsSide[0] + m->triangles[t].edgeIsSide[1] + m->triangles[t].edgeIsSide[2];
    m->faces[2].cornerCount = 2;
    triangulateFace(*m, 2);
    EXPECT_EQ(std::pair(sides, m->triangleCount), std::pair(5, 7));
}

TEST(PolyModelTabs, SingleFaceRendersPairEveryGluedEdge) {
    auto m = newModel();
    m->selectedFace = 2, m->faceZoom = 1.0f;
    prepare(*m, 9, 1.0f, 0.02f, kFitFixedZoom, 0.3f, kPolyModeSingleFace);
    EXPECT_EQ(m->selectedFaceCopy, 2);
    for (const PolyFace& face : std::span(m->faces, m->faceCount))
        for (int k = 0; k < 5; ++k)
            EXPECT_EQ(face.tabMark[k] + m->faces[face.neighbourFace[k]].tabMark[face.neighbourEdge[k]], 1);
    // The face's three triangles and the tab triangles on its marked edges.
    int tabTriangles = 0;
    for (int t = 0; t < m->triangleCount; ++t) tabTriangles += m->triangles[t].isMark && m->triangles[t].face == 2;
    EXPECT_GT(tabTriangles, 0);
    PolyJobState job;
    buildSweepList(*m, job);
    EXPECT_EQ(job.events.size(), static_cast<std::size_t>(2 * (3 + tabTriangles) + 2));
}

TEST(PolyModelBuild, DegenerateTrianglesGetUnitInverse) {
    auto m = newModel();
    build(*m, 16, kPolyModeNet, kFitNone);
    NetTriangle& t = m->triangles[0];
    m->vertices[t.b] = m->vertices[t.c] = m->vertices[t.a];
    prepareTriangle(*m, 0);
    EXPECT_EQ(t.invDet, 1.0f);
}

TEST(PolyModelTabs, LoopIdsOfFixedSolidsAndNoMarksWithoutATabSize) {
    auto m = newModel();
    m->tabSize = 0.01f;
    build(*m, 9, kPolyModeNet);
    int reached = 0;  // faces reached by the boundary walk carry its loop number
    for (const PolyFace& face : std::span(m->faces, m->faceCount)) {
        const bool onBoundary = std::any_of(face.netNeighbour, face.netNeighbour + 5, [](auto n) { return n < 0; });
        EXPECT_EQ(face.loopId, onBoundary ? 1 : 0);
        reached += onBoundary;
    }
    EXPECT_GE(reached, 10);
    m->tabSize = 0.0f;
    build(*m, 18, kPolyModeNet);
    for (const PolyFace& face : std::span(m->faces, m->faceCount))
        EXPECT_EQ(std::count(face.tabMark, face.tabMark + 4, 0), 4);
}

TEST(PolyModelLocate, NeighbouringSamplesUseTheRecentHits) {
    auto m = newModel();
    build(*m, 2);
    PolyJobState job;
    buildSweepList(*m, job);
    const auto [x, y] = centroid(*m, 5);
    ASSERT_EQ(std::pair(locateTriangle(*m, job, x, y).triangle, job.recent[0]), std::pair(5, 5));
    EXPECT_EQ(std::pair(locateTriangle(*m, job, x + 1e-5f, y).triangle, job.recent[1]),
              std::pair(5, -1));  // a repeat changes nothing
    // A miss outside the bounds sets the miss flag; the hint is tried next.
    EXPECT_TRUE(locateTriangle(*m, job, -5.0f, -5.0f).kind == NetHitKind::kMiss && job.lastMissed);
    EXPECT_TRUE(locateTriangle(*m, job, x, y, 5).triangle == 5 && !job.lastMissed);
    // Not-a-number points miss.
    EXPECT_EQ(locateTriangle(*m, job, std::nanf(""), y).kind, NetHitKind::kMiss);
}

TEST(PolyModelLocate, HiddenFacesMissAndSelectedFacesRestrict) {
    auto m = newModel();
    build(*m, 9);
    PolyJobState job;
    const auto [x, y] = centroid(*m, 0);
    m->triangles[0].hidden = 1;
    buildSweepList(*m, job);
    EXPECT_EQ(locateTriangle(*m, job, x, y).kind, NetHitKind::kMiss);
    // A single face of the dodecahedron: only its triangles take part.
    m->triangles[0].hidden = 0, m->selectedFace = 3, m->cacheKey.id = 9;
    buildSweepList(*m, job);
    EXPECT_EQ(job.events.size(), static_cast<std::size_t>(2 * m->faces[3].triangleSpan + 2));
    EXPECT_EQ(locateTriangle(*m, job, x, y).kind, NetHitKind::kMiss);
    // Outputs without single-unit renders keep every triangle.
    m->cacheKey.id = 21;
    buildSweepList(*m, job);
    EXPECT_EQ(job.events.size(), static_cast<std::size_t>(2 * m->triangleCount + 2));
    m->selectedFace = -1;
    // Clipping to a job rectangle drops triangles wholly outside it.
    const SweepClip clip{0.0f, 0.1f, 0.0f, 0.1f, 0.0f};
    buildSweepList(*m, job, &clip);
    EXPECT_LT(job.events.size(), static_cast<std::size_t>(2 * m->triangleCount + 2));
}

TEST(PolyModelLocate, WorkersShareOneModelWithTheirOwnJobs) {
    auto m = newModel();
    prepare(*m, 33, 0.6f);  // "60 faces"
    auto run = [&](std::vector<int>& out, std::uint64_t seed) {
        PolyJobState job;
        buildSweepList(*m, job);
        Lcg rng{seed};
        for (int i = 0; i < 2000; ++i) {
            SphereDir d{};
            const NetHit h =
                netPointToSphere(*m, job, static_cast<float>(rng.next()), static_cast<float>(rng.next() * 0.6), d);
            out.push_back(h.kind == NetHitKind::kFace ? m->triangles[h.triangle].face : -1);
        }
    };
    std::vector<int> expected;
    run(expected, 99);
    std::vector<std::vector<int>> results(4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) threads.emplace_back([&, i] { run(results[i], 99); });
    for (auto& t : threads) t.join();
    for (const auto& r : results) EXPECT_EQ(r, expected);
}

TEST(PolyModelSphere, BadInputsGiveTheAxisAndCentredSamplingSubtractsTheReferencePoint) {
    auto m = newModel();
    build(*m, 18);
    EXPECT_EQ(triangleToSolid(*m, -1, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f).z, 1.0f);
    const SphereDir zero = triangleToSolid(*m, 0, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(zero.x == 0.0f && zero.y == 0.0f && zero.z == 1.0f);
    EXPECT_EQ(std::pair(m->referencePoint[0], m->referencePoint[2]),
              std::pair(m->faces[4].centre[0], m->faces[4].centre[2]));  // face 4's centre
    const NetVertex& a = m->vertices[m->triangles[0].a];
    const SphereDir d = triangleToSolid(*m, 0, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 3);
    const Vec3d s = normalise(
        Vec3d{a.solidX - m->referencePoint[0], a.solidY - m->referencePoint[1], a.solidZ - m->referencePoint[2]});
    EXPECT_LT(length(difference(toVec3d(d), s)), 2e-6);
}

TEST(PolyModelSphere, LongitudeLatitudeBlendKeepsCornersAndStaysOnTheSphere) {
    auto m = newModel();
    build(*m, 97);
    m->lonLatInterpolation = 1;
    for (int t = 0; t < m->triangleCount; ++t) {
        const NetTriangle& tri = m->triangles[t];
        const SphereDir d = triangleToSolid(*m, t, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f);
        const Vec3d s = normalise(testing::solidOf(m->vertices[tri.b]));
        EXPECT_NEAR(length(toVec3d(d)), 1.0, 1e-5);
        EXPECT_TRUE(std::fabs(s.y) >= 0.99 || length(difference(toVec3d(d), s)) < 2e-4) << t;  // away from the poles
        EXPECT_NEAR(length(toVec3d(triangleToSolid(*m, t, 0.3f, 0.3f, 0.4f, 0.0f, 0.0f))), 1.0, 1e-5);
    }
}

TEST(PolyModelSphere, CurvedPatchBlendsFourPoints) {
    auto m = newModel();
    build(*m, 18, kPolyModeNet, kFitNone);
    // Face 0 of the cube as a patch: corners 0, 1, 2 and its fourth corner.
    PolyFace& f = m->faces[0];
    f.curvedIndex = f.corners[3];
    const NetVertex& c2 = m->vertices[f.corners[2]];
    const int t = f.firstTriangle;
    const SphereDir d = triangleToSolid(*m, t, 0.0f, 0.0f, 1.0f, c2.netX, c2.netY);
    EXPECT_LT(length(difference(toVec3d(d), normalise(testing::solidOf(c2)))), 2e-5);
    // The middle of the square maps to the face centre.
    float cx = 0, cy = 0;
    for (int k = 0; k < 4; ++k) cx += m->vertices[f.corners[k]].netX / 4, cy += m->vertices[f.corners[k]].netY / 4;
    const SphereDir mid = triangleToSolid(*m, t, 0.3f, 0.3f, 0.4f, cx, cy);
    EXPECT_LT(length(difference(toVec3d(mid), normalise(Vec3d{f.centre[0], f.centre[1], f.centre[2]}))), 2e-5);
}

TEST(PolyModelInverse, DirectionsThatAreNoDirectionFindNothing) {
    auto m = newModel();
    prepare(*m, 30);  // "soccer ball"
    InverseHit none;
    EXPECT_FALSE(inverseLookup(*m, SphereDir{std::nanf(""), 0, 0}, nullptr, none));
    EXPECT_FALSE(inverseLookup(*m, SphereDir{0, 0, 0}, nullptr, none));
}

int gLive = 0;

TEST(PolyModelLifetime, TablesGoBackToTheirAllocatorAndFailuresLeaveNoFaces) {
    const PolyAllocator counted{[](std::size_t bytes) { return ++gLive, std::malloc(bytes); },
                                [](void* p) { --gLive, std::free(p); }};
    const PolyAllocator failing{[](std::size_t) -> void* { return nullptr; }, [](void*) {}};
    EXPECT_EQ(createPolyModel(failing), nullptr);
    releasePolyModel(nullptr);
    PolyModel* m = createPolyModel();  // the model from the default heap
    EXPECT_EQ(std::pair(m->cacheKey.id, m->selectedFace), std::pair(ProjectionId(kPolyResetId), -1));
    preparePolyModel(186, *m, 1.0f, 0.0f, 0, 0.0f, kPolyModeNet, 0, counted, 1);
    EXPECT_EQ(std::pair(gLive, m->faceCount), std::pair(1, 32));  // the owned tables; the temporary models are gone
    preparePolyModel(6, *m, 1.0f, 0.0f, 0, 0.0f, kPolyModeNet, 0, counted, 1);
    EXPECT_EQ(gLive, 0);  // a fixed solid frees them at set-up
    preparePolyModel(187, *m, 1.0f, 0.0f, 0, 0.0f, kPolyModeNet, 0, counted, 1);
    releasePolyModel(m);
    EXPECT_EQ(gLive, 0);
    auto failed = newModel();
    preparePolyModel(185, *failed, 1.0f, 0.0f, 0, 0.0f, kPolyModeNet, 0, failing, 1);
    EXPECT_TRUE(failed->faceCount == 0 && failed->triangleCount == 0);
    Lcg rng;
    PolyJobState job;
    buildSweepList(*failed, job);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(locateTriangle(*failed, job, float(rng.next()), float(rng.next())).kind, NetHitKind::kMiss);
}

TEST(PolySummary, CountsOfBuiltModelsAndNoneForOtherOutputs) {
    PolyModelSummary s;
    ASSERT_TRUE(summarisePolyOutput(6, 0.5f, s));  // the tetrahedron
    EXPECT_TRUE(s.kind == 16 && s.faces == 4 && s.netVertices == 6 && s.triangles == 4 && s.markTriangles == 0 &&
                s.pieces == 1 && s.errorCode == kPolyOk);
    auto m = newModel();
    EXPECT_TRUE(summarisePolyModel(*m).faces == 0 && summarisePolyModel(*m).pieces == 0);
    build(*m, 16, kPolyModePlain);  // plain mode adds the four corner marks
    EXPECT_TRUE(summarisePolyModel(*m).triangles == 8 && summarisePolyModel(*m).markTriangles == 4);
    // Equirectangular; an output replaced by its inner projection first; no output.
    for (ProjectionId id : {1, 1045, -3}) EXPECT_FALSE(summarisePolyOutput(id, 0.5f, s)) << id;
}

}  // namespace
}  // namespace globaro
