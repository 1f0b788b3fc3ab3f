#pragma once
// Reads back the OBJ and ASCII STL text the geometry export writes: the
// vertices, texture corners, normals and triangles (indexes one-based).

#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/vec_math.h"

namespace globaro::testing {

struct ObjText {
    std::vector<Vec3d> v, vn, stlVertices;
    std::vector<Vec2d> vt;
    std::vector<std::array<int, 9>> f;  // v/vt/vn of the three corners
};

inline ObjText readObjText(const std::string& text) {
    ObjText o;
    std::istringstream lines(text);
    for (std::string l; std::getline(lines, l);) {
        Vec3d p;
        Vec2d t;
        std::array<int, 9> f;
        const char* s = l.c_str();
        if (std::sscanf(s, "v %lf %lf %lf", &p.x, &p.y, &p.z) == 3) o.v.push_back(p);
        if (std::sscanf(s, "vn %lf %lf %lf", &p.x, &p.y, &p.z) == 3) o.vn.push_back(p);
        if (std::sscanf(s, " vertex %lf %lf %lf", &p.x, &p.y, &p.z) == 3) o.stlVertices.push_back(p);
        if (std::sscanf(s, "vt %lf %lf", &t.x, &t.y) == 2) o.vt.push_back(t);
        if (std::sscanf(s, "f %d/%d/%d %d/%d/%d %d/%d/%d", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7],
                        &f[8]) == 9)
            o.f.push_back(f);
    }
    return o;
}

}  // namespace globaro::testing
