#pragma once
// The polyhedron and net model shared by every net-like output: a set of
// polygonal faces, each known twice, as a polygon in the plane of the net and
// as a polygon on the surface of the solid. An output point that falls in a
// face of the net is carried to the same place on the solid face by
// barycentric weights; the point on the solid, pushed out from the centre, is
// the direction of that output point.
//
// The model is one flat record with fixed capacities; nothing grows. It is
// built on the thread that prepares a render and only read while workers run.
// Each worker keeps its own `PolyJobState` (sweep list and recent hits), so
// lookups take no locks and allocate nothing.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geometry/projection_id.h"
#include "geometry/vec_math.h"
#include "polyhedra/poly_spec.h"

namespace globaro {

inline constexpr int kPolyMaxVertices = 6010;
inline constexpr int kPolyMaxFaces = 3010;
inline constexpr int kPolyMaxTriangles = 6010;
inline constexpr int kPolyMaxCorners = 10;
inline constexpr int kPolyMaxPieces = 24;
inline constexpr std::uint16_t kPolyNoTag = 65535;
inline constexpr std::int32_t kPolyResetId = -9999;

// `PolyModel::errorCode` values. The build goes on after any of them; the
// code stays for the caller to see.
enum PolyError : std::int32_t {
    kPolyOk = 0,
    kPolyRepeatedCorner = 3,     // a face names the same vertex twice in a row
    kPolyMarkOverflow = 4,       // a mark triangle would need vertex 6010 or more
    kPolySolidTableFull = 5,     // the solid vertex table is full
    kPolyTriangleTableFull = 7,  // the triangle table is full
    kPolyDuplicateFace = 8,      // a face repeats an existing face
    kPolyTooManyPieces = 9,      // more than 24 net pieces
    kPolyBadVertexIndex = 10,    // a vertex index outside 0..6009 was read
};

// Build modes.
enum PolyBuildMode : std::uint32_t {
    kPolyModePlain = 0,       // corner marks, no tabs, reference point (0, 0, -1)
    kPolyModeNet = 1,         // the normal net of a render
    kPolyModeVariant = 2,     // a family-chosen variant: no re-grouping, no tabs
    kPolyModeSingleFace = 3,  // one face at a time; tabs paired across each glued edge
    kPolyModeSetUpOnly = 4,   // no vertex positions, no triangles
    kPolyModePlainRef = 5,    // like 0 for the reference point
    kPolyModeSolid = 6,       // the solid alone (exports, base models): angles and adjacency
};

// Fit modes of `fitNetToFrame` (the build's param).
enum PolyFitMode : std::uint32_t {
    kFitToFrame = 0,    // scale the net box into the frame, centred
    kFitNone = 1,       // nothing moves
    kFitFixedZoom = 2,  // one face with the per-face offset and zoom
};

// Fold classes of a solid edge.
enum PolyFold : std::uint8_t { kFoldNone = 0, kFoldMountain = 2, kFoldValley = 3 };

// Where the model and its owned tables come from. Both functions must be
// safe to call with the sizes used here; `allocate` returns null on failure.
struct PolyAllocator {
    void* (*allocate)(std::size_t bytes) = nullptr;
    void (*release)(void* block) = nullptr;
};

// The default allocator (the C heap).
const PolyAllocator& defaultPolyAllocator() noexcept;

// The static tables of a solid. `netPositions`: (x, y) per net vertex in a unit
// square, y downwards. `netSolidPositions`: (x, y, z) rows. `faceCorners` and
// `faceSolidCorners`: one-based 16-bit numbers, each face's list ended by 0,
// at most 10 entries per face. `solidIndex` (optional): a row of
// `netSolidPositions` (zero-based) for each net vertex.
struct SolidTables {
    const double* netPositions = nullptr;
    const double* netSolidPositions = nullptr;
    const std::uint16_t* faceCorners = nullptr;
    const std::uint16_t* faceSolidCorners = nullptr;
    const std::uint16_t* solidIndex = nullptr;
    std::int32_t netVertexCount = 0;
    std::int32_t solidRowCount = 0;
    std::int32_t faceCount = 0;
};

// Tables a generated kind owns (allocated through the model's allocator).
struct OwnedSolidTables {
    double netPositions[kPolyMaxVertices * 2];
    double netSolidPositions[kPolyMaxVertices * 3];
    std::uint16_t faceCorners[kPolyMaxFaces * (kPolyMaxCorners + 1)];
    std::uint16_t faceSolidCorners[kPolyMaxFaces * (kPolyMaxCorners + 1)];
};

struct NetVertex {
    float netX = 0.0f;
    float netY = 0.0f;
    float solidX = 0.0f;
    float solidY = 0.0f;
    float solidZ = 0.0f;
};

struct PolyFace {
    std::int32_t corners[kPolyMaxCorners];       // net vertices, -1 after the last
    std::int32_t solidCorners[kPolyMaxCorners];  // rows of netSolidPositions, -1 after the last
    float cornerAngleNet[kPolyMaxCorners];
    float edgeDirection[kPolyMaxCorners];  // acos of y of the unit net edge k -> k+1
    float cornerAngleSolid[kPolyMaxCorners];
    std::int32_t cornerCount;
    std::int32_t solidCornerCount;
    std::int32_t firstTriangle;
    std::int32_t triangleSpan;
    std::uint8_t tabMark[kPolyMaxCorners];
    std::uint8_t edgeVisited[kPolyMaxCorners];
    std::int16_t loopId;
    std::int32_t sourceFace;
    std::int32_t cornerShift;
    double centre[3];          // mean of the solid corners (stored coordinates)
    float centreDir[3];        // the centre normalised
    float normal[3];           // unit normal, outward
    std::int32_t curvedIndex;  // -1, or the net vertex that is a curved patch's fourth point
    std::int32_t specialCode;
    std::uint8_t hidden;
    std::int16_t colourGroup;
    std::int16_t attribute;
    std::int16_t depth;    // unfolding depth, -1 when not placed
    std::int8_t foldSide;  // +1 or -1, opposite across every fold of the net (edge lines)
    // Neighbourhood on the solid: the face across edge k (corner k to k+1) and
    // its matching edge, -1 for none; and the fold class of that edge.
    std::int32_t neighbourFace[kPolyMaxCorners];
    std::int8_t neighbourEdge[kPolyMaxCorners];
    std::uint8_t fold[kPolyMaxCorners];
    // Neighbourhood in the net: the face sharing edge k in the net, -1 on the boundary.
    std::int32_t netNeighbour[kPolyMaxCorners];
    std::int8_t netNeighbourEdge[kPolyMaxCorners];
};

struct NetTriangle {
    std::int32_t a, b, c;
    std::int16_t face;
    std::int16_t flagsWord;
    std::int16_t group;
    std::int16_t loop;
    std::uint8_t isMark;
    std::uint8_t edgeTab[3];     // a-b, b-c, c-a carries a glue tab
    std::uint8_t edgeIsSide[3];  // a-b, b-c, c-a is a side of the face
    std::int16_t attribute;
    std::int16_t markTag;
    std::int16_t cornerTags[3];
    std::uint8_t curved;
    std::uint8_t hidden;
    float invDet;
    float minX, maxX, minY, maxY;
    double solid[9];  // solid x, y, z of a, b and c
};

// The request of the last build.
struct PolyCacheKey {
    std::int32_t id = kPolyResetId;
    float frameHeight = 0.0f;
    float tabSize = 0.0f;
    std::uint32_t param = 0;
    float angle = 0.0f;
    std::uint32_t mode = 0;
    std::uint8_t flagA = 0;
    std::uint8_t flagB = 0;
};

// Family switches (the per-kind flags).
struct PolyFamilySwitches {
    std::uint8_t tableSolid;   // the tables are static solid tables
    std::uint8_t tablesOwned;  // the tables are owned by the model
    std::uint8_t noCornerMarks;
    std::uint8_t symmetricFrame;  // fit into -1..1 on both axes
    std::uint8_t missFallback;    // misses fall back to a plain mapping scaled by sampleScale
    std::uint8_t noOverlapTest;
    std::uint8_t depthFirst;
    std::uint8_t hasValley;
};

struct PolyModel {
    std::int32_t errorCode;
    const double* netPositions;
    const double* netSolidPositions;
    const std::uint16_t* faceCorners;
    const std::uint16_t* faceSolidCorners;
    const std::uint16_t* solidIndex;
    const void* extraTable;
    std::uint8_t phaseB;
    std::uint8_t keepLoopIds;
    NetVertex vertices[kPolyMaxVertices];
    std::uint8_t vertexUsed[kPolyMaxVertices];
    std::int16_t maxUsedVertex;
    std::uint16_t vertexTags[kPolyMaxVertices];
    NetTriangle triangles[kPolyMaxTriangles];
    PolyFace faces[kPolyMaxFaces];
    std::int32_t vertexCount;
    std::int32_t vertexCountCopy;
    std::int32_t triangleCount;
    std::int32_t faceCount;
    std::int32_t selectedFace;
    std::int32_t selectedFaceCopy;
    std::int32_t solidFaceCount;
    float frameX0, frameX1, frameY0, frameHeight;
    float tabSize, tabSizeCopy;
    float fitScale, fitInverseWidth, fitInverseHeight;
    std::int32_t fitAxis;
    float frameCentreX, frameCentreY;
    float boundsMinX, boundsMaxX, boundsMinY, boundsMaxY;  // the fitted net box
    PolyKind kind;
    std::int32_t specialMapping;
    std::int32_t lonLatInterpolation;
    std::uint8_t mirrorXY;
    std::uint8_t mirrorX;
    PolyFamilySwitches flags;
    double sampleScale;
    double referencePoint[3];
    std::int32_t referenceFace;
    float faceOffsetX, faceOffsetY, faceZoom;
    std::uint8_t useFixedBox;
    float fixedBox[4];  // minX, maxX, minY, maxY
    PolyKind auxKind;
    std::int32_t pieceCount;      // pieces of the unfolded net (generated kinds)
    std::int32_t fullPieceCount;  // pieces with at least 6 faces attached to their start
    std::int32_t solidRowCount;   // rows in netSolidPositions
    std::int32_t netRowCount;     // rows in netPositions
    PolyCacheKey cacheKey;
    const void* filterData;
    OwnedSolidTables* ownedTables;
    PolyAllocator tablesAllocator;  // the allocator `ownedTables` came from
    PolyAllocator allocator;        // the allocator the model came from
};

// ---- lifetime ------------------------------------------------------------------

// A new model from `allocator` (null when it cannot be allocated), reset so
// that the next `preparePolyModel` builds.
PolyModel* createPolyModel(const PolyAllocator& allocator = defaultPolyAllocator()) noexcept;
// Frees the model and the tables it owns. Null is ignored.
void releasePolyModel(PolyModel* model) noexcept;
// Forgets the last request so that the next prepare always builds.
void resetPolyModel(PolyModel& model) noexcept;

// ---- building --------------------------------------------------------------------

// Builds the model for `id` unless the last build had the same request (id,
// frame height, tab size, param, angle, mode, flags and selected face).
// Returns the `buildPolyModel` status (0 when nothing had to be done, or when
// the id is not polyhedral). The caller sets `selectedFace` (and for a single
// face the offsets and zoom) first.
std::int32_t preparePolyModel(ProjectionId id, PolyModel& model, float frameHeight, float tabSize, std::uint32_t param,
                              float angle, std::uint32_t mode, std::uint8_t flagA, const PolyAllocator& allocator,
                              std::uint8_t flagB) noexcept;

// The build itself. A kind of -1 returns 0 at once and leaves the model as it
// was. Returns `errorCode` after the build.
std::int32_t buildPolyModel(PolyModel& model, PolyKind kind, std::uint16_t mode, std::uint32_t param, double angle,
                            std::uint8_t flagA, const PolyAllocator& allocator, std::uint8_t flagB) noexcept;

// Ear clipping of face `face` into `triangles`.
void triangulateFace(PolyModel& model, int face) noexcept;
// invDet and box of one triangle.
void prepareTriangle(PolyModel& model, int triangle) noexcept;
// One boundary loop of the net: marks alternate tabs; false when no
// unvisited boundary edge is left.
bool markTabEdges(PolyModel& model, std::int16_t loopNumber) noexcept;
// Four right-triangle marks in the corners of the net box.
void addCornerMarks(PolyModel& model) noexcept;
// Appends a mark triangle on three new vertices.
void addMarkTriangle(PolyModel& model, float x0, float y0, float x1, float y1, float x2, float y2, int face,
                     int tag) noexcept;
// Fits the used vertices into the frame (fit mode 0, 1 or 2).
void fitNetToFrame(PolyModel& model, std::uint32_t fitMode) noexcept;

// Net edge (a, b) helpers for readers: true when edge k of `face` carries a glue tab.
inline bool faceEdgeHasTab(const PolyFace& f, int k) noexcept { return f.tabMark[k] != 0; }

// ---- per-job lookups ----------------------------------------------------------------

struct SweepEvent {
    float key;
    std::int32_t delta;     // +1 start, -1 end, 0 sentinel
    std::int32_t triangle;  // -1 for the tail sentinel
    float minX;
    float maxX;
    std::int32_t count;  // intervals open at this key
};

// A job's clip rectangle in net coordinates (optional in buildSweepList).
struct SweepClip {
    float minX, maxX, minY, maxY;
    float margin;
};

// Per-job scratch: build once per job with `buildSweepList`, then hand to the
// per-sample functions. Never shared between threads.
struct PolyJobState {
    std::vector<SweepEvent> events;  // sorted; sentinels at both ends
    float rangeMinX = 100.0f;
    float rangeMaxX = -100.0f;
    std::int32_t cursor = 0;
    std::int32_t recent[3] = {-1, -1, -1};
    bool lastMissed = false;
    std::int32_t sampleMode = 0;  // 3: centred sampling (reference point subtracted)
    std::int32_t inverseRecent[2] = {-1, -1};
    std::uint32_t inverseHits = 0, inverseMisses = 0, inverseTried = 0;
};

void buildSweepList(const PolyModel& model, PolyJobState& job, const SweepClip* clip = nullptr);

enum class NetHitKind : std::uint8_t { kMiss = 0, kFace = 1, kMark = 2 };

struct NetHit {
    NetHitKind kind = NetHitKind::kMiss;
    std::int32_t triangle = -1;
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f;
    std::int16_t face = -1;
    std::int16_t loop = 0;
    std::int16_t attribute = 0;
    std::int16_t flagsWord = 0;
    std::int16_t markTag = -1;
    // The nearest side: 0 edge a-b, 1 edge b-c, 2 edge c-a; whether it is a
    // side of the face and whether it carries a glue tab.
    std::int8_t nearestEdge = -1;
    std::uint8_t nearestIsSide = 0;
    std::uint8_t nearestHasTab = 0;
};

// Finds the triangle under the net point (x, y). `hint` is tried first when
// the previous lookup of this job missed (-1 for none).
NetHit locateTriangle(const PolyModel& model, PolyJobState& job, float x, float y, int hint = -1) noexcept;

// The containment test of one triangle in 32-bit floats; true with weights.
bool triangleContains(const NetTriangle& t, const PolyModel& model, float x, float y, float& b0, float& b1,
                      float& b2) noexcept;

// The point on the solid for a located face triangle, normalised: a unit
// direction in the model's own frame ((0, 0, 1) for a zero point).
SphereDir triangleToSolid(const PolyModel& model, int triangle, float b0, float b1, float b2, float x, float y,
                          std::int32_t sampleMode = 0) noexcept;

// One sample of the output mapping: locate (x, y), and on a face hit carry it
// to the solid. Returns the hit; `dir` is set on a face hit only.
NetHit netPointToSphere(const PolyModel& model, PolyJobState& job, float x, float y, SphereDir& dir,
                        int hint = -1) noexcept;

// The inverse lookup: a direction to a net point.
struct InverseHit {
    std::int32_t triangle = -1;
    std::int32_t face = -1;
    float w0 = 0.0f, w1 = 0.0f, w2 = 0.0f;
    float netX = 0.0f, netY = 0.0f;
    float u = -1.0f, v = -1.0f;  // fractions of the fitted frame
};

// Finds the face triangle whose cone from the centre holds `d` (a direction in
// the model's stored frame) and the net point it lands on. `job` may be null
// (no recent hits, no statistics). Read-only on the model.
bool inverseLookup(const PolyModel& model, const SphereDir& d, PolyJobState* job, InverseHit& out) noexcept;

}  // namespace globaro
