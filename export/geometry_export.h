#pragma once
// The solid of a net-like output as 3D geometry: a Wavefront OBJ file with its
// material (MTL) file and texture, and an ASCII STL file. The writers are
// pure: they turn a built polyhedron model into the text of each file; the
// caller renders the texture (the net with no glue tabs) and puts the files
// in place.
//
// The model's solid coordinates are the directions its net shows (a mirror
// of a solid's tables is applied when the model is built). Every written
// position is that point centred on the origin and scaled so that the
// largest extent spans -1..1, with y pointing down and x negated with it: a
// half turn, so that each face seen from outside shows its picture as the
// net does. The corners of every triangle go round anticlockwise seen from
// outside, so every normal points out.

#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "export/export_job.h"
#include "geometry/projection_id.h"

namespace globaro {

struct PolyModel;

// The projection a geometry export builds its model and texture from: a
// few outputs are exported through a sibling that shows the same solid,
// where the catalogue holds that sibling; every other output as itself.
ProjectionId geometryExportProjection(ProjectionId output) noexcept;

// The name the files call each other by: the OBJ path's file name without
// its extension (cut at the last "."), with the character rules applied.
std::string geometryBaseName(std::string_view objPath);

// The three files named after the OBJ file: its path with the extension
// replaced.
struct GeometryPaths {
    std::string obj, mtl, stl, texture;
};
GeometryPaths geometryPaths(const std::string& objPath);

// The model a geometry export of output `id` reads: the solid alone, its net
// fitted into a unit square as a square render of the net lays it out (so
// that the net positions are the texture's coordinates). Null when it cannot
// be allocated.
struct GeometryModelRelease {
    void operator()(PolyModel* model) const noexcept;
};
using GeometryModel = std::unique_ptr<PolyModel, GeometryModelRelease>;
GeometryModel buildGeometryModel(ProjectionId id);

// The number of triangles the files describe (the model's face triangles;
// corner marks and glue tabs are not part of the solid).
int geometryTriangleCount(const PolyModel& model) noexcept;

// The OBJ text for `model` (null: the one-line error comment), naming its
// material file and material by `baseName`, dated `when` (local time).
std::string writeObj(const PolyModel* model, std::string_view baseName, const std::tm& when);

// The MTL text: one material whose diffuse map is the texture.
std::string writeMtl(std::string_view baseName);

// The ASCII STL text for `model`, moved so that every coordinate is
// non-negative, the solid named after `projectionName`. Null: empty.
std::string writeStl(const PolyModel* model, std::string_view projectionName);

}  // namespace globaro
