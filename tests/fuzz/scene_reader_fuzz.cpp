// The scene reader on any bytes: as a JSON scene (first byte even) or as the OBJ mesh a
// fixed scene names (first byte odd). It may only accept, or refuse with one HostError
// line; an accepted scene must hold finite points and curves that pass the curve rule.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "GeometryRules.h"
#include "deformer_node.h"
#include "scene.h"

namespace {

const std::vector<AttributeSpec>& declarations() {
    static auto library = std::make_shared<ostrivel::PluginLibrary>(ostrivel::PluginLibrary::defaultPath());
    static ostrivel::DeformerNode node(library, "declarations");
    return node.declarations();
}

std::string scratch(const char* name) {
    static const std::filesystem::path folder = [] {
        auto path = std::filesystem::temp_directory_path() / ("scene_reader_fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return (folder / name).string();
}

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// A complete scene that takes its points from mesh.obj beside it.
const char kObjScene[] = R"({"surface": {"degreeU": 1, "degreeV": 1, "cvCountU": 2, "cvCountV": 2,
  "knotsU": [0, 1], "knotsV": [0, 1], "cvs": [[0,0,0],[0,1,0],[1,0,0],[1,1,0]]},
  "curve": {"degree": 1, "knots": [0, 0, 1, 1], "cvs": [[0,0,0],[1,0,0]]}, "points": "mesh.obj"})";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool obj = data[0] & 1;
    const std::string scene = scratch("scene.json");
    if (obj) {
        writeFile(scratch("mesh.obj"), data + 1, size - 1);
        writeFile(scene, reinterpret_cast<const uint8_t*>(kObjScene), sizeof kObjScene - 1);
    } else {
        writeFile(scene, data + 1, size - 1);
    }
    try {
        const ostrivel::Scene read = ostrivel::readScene(scene, declarations());
        for (const KxPoint& point : read.points)
            if (!geometry_rules::isFinitePoint(point)) std::abort();
        for (const CurveData* curve : {&read.curve, &read.curveBase})
            if (!curve->empty() && !geometry_rules::curveProblem(*curve).ok()) std::abort();
    } catch (const ostrivel::HostError& refused) {
        const std::string line = refused.what();
        if (line.empty() || line.find('\n') != std::string::npos) std::abort();  // one line
    }
    return 0;
}
