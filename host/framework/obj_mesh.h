#pragma once
// The vertices and faces of a Wavefront OBJ file, vertices in file order. Coordinates are
// parsed exactly (shortest round-trip text reads back bit for bit); normals, texture
// coordinates, groups and materials are skipped.

#include <cstdint>
#include <string>
#include <vector>

#include "KxTypes.h"

namespace ostrivel {

struct ObjMesh {
    std::vector<KxPoint> vertices;
    std::vector<std::vector<int32_t>> faces;  // 0-based vertex indices, in the order written
};

// Throws HostError naming the file (and line) when it cannot be read.
ObjMesh readObjMesh(const std::string& path);

// OBJ text: one "v" line per vertex in the shortest form that reads back exactly, then the
// faces (1-based), so a mesh written and read again is bit for bit the same.
std::string objText(const std::vector<KxPoint>& vertices, const std::vector<std::vector<int32_t>>& faces,
                    const std::string& comment = "");

// Writes objText atomically (temporary name, then rename); throws HostError.
void writeObjMesh(const std::string& path, const std::vector<KxPoint>& vertices,
                  const std::vector<std::vector<int32_t>>& faces, const std::string& comment = "");

}  // namespace ostrivel
