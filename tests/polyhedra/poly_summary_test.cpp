// Summaries of built models: counts and net pieces.

#include "polyhedra/poly_summary.h"

#include <gtest/gtest.h>

#include "poly_test_util.h"

namespace globaro {
namespace {

using testing::build;
using testing::newModel;

TEST(PolySummary, CountsOfTheTetrahedron) {
    PolyModelSummary s;
    ASSERT_TRUE(summarisePolyOutput(6, 0.5f, s));
    EXPECT_EQ(s.kind, 16);
    EXPECT_EQ(s.faces, 4);
    EXPECT_EQ(s.netVertices, 6);
    EXPECT_EQ(s.triangles, 4);
    EXPECT_EQ(s.markTriangles, 0);
    EXPECT_EQ(s.pieces, 1);
    EXPECT_EQ(s.errorCode, kPolyOk);
    // Plain mode adds the four corner marks.
    auto m = newModel();
    build(*m, 16, kPolyModePlain);
    const PolyModelSummary plain = summarisePolyModel(*m);
    EXPECT_EQ(plain.triangles, 8);
    EXPECT_EQ(plain.markTriangles, 4);
}

TEST(PolySummary, NonPolyhedralOutputsHaveNone) {
    PolyModelSummary s;
    EXPECT_FALSE(summarisePolyOutput(1, 0.5f, s));     // equirectangular
    EXPECT_FALSE(summarisePolyOutput(1045, 0.5f, s));  // replaced by its inner projection first
    EXPECT_FALSE(summarisePolyOutput(-3, 0.5f, s));
    EXPECT_EQ(s.faces, 0);
    // An empty model summarises to zeros.
    auto m = newModel();
    const PolyModelSummary empty = summarisePolyModel(*m);
    EXPECT_EQ(empty.faces, 0);
    EXPECT_EQ(empty.pieces, 0);
}

}  // namespace
}  // namespace globaro
