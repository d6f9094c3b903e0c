#include "obj_mesh.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "atomic_file.h"
#include "plugin_library.h"

namespace ostrivel {

namespace {

bool parseDouble(const std::string& token, double& value) {
    const char* first = token.data();
    const char* last = first + token.size();
    if (first != last && *first == '+') ++first;  // from_chars takes no plus sign
    const auto parsed = std::from_chars(first, last, value);
    return parsed.ec == std::errc() && parsed.ptr == last;
}

// "7", "7/2", "7//3" or "7/2/3": the vertex reference is the part before the first slash.
// Negative references count back from the latest vertex; positive ones may name vertices
// written further down, so their upper bound is checked once the file is read.
bool parseVertexReference(const std::string& token, size_t vertexCount, int32_t& index) {
    const std::string reference = token.substr(0, token.find('/'));
    int32_t value = 0;
    const auto parsed = std::from_chars(reference.data(), reference.data() + reference.size(), value);
    if (parsed.ec != std::errc() || parsed.ptr != reference.data() + reference.size() || value == 0) return false;
    const int64_t resolved = value > 0 ? int64_t{value} - 1 : static_cast<int64_t>(vertexCount) + value;
    if (resolved < 0) return false;
    index = static_cast<int32_t>(resolved);
    return true;
}

}  // namespace

ObjMesh readObjMesh(const std::string& path) {
    std::ifstream file(path);
    if (!file) throw HostError("cannot open " + path + ": " + std::strerror(errno));
    ObjMesh mesh;
    std::vector<size_t> faceLines;
    std::string line;
    for (size_t lineNumber = 1; std::getline(file, line); ++lineNumber) {
        const size_t comment = line.find('#');
        if (comment != std::string::npos) line.erase(comment);
        std::istringstream tokens(line);
        std::string keyword;
        if (!(tokens >> keyword)) continue;
        const std::string where = path + ":" + std::to_string(lineNumber) + ": ";
        if (keyword == "v") {
            // x y z, then an optional w or vertex colour that points do not use.
            double xyz[3];
            std::string token;
            for (double& coordinate : xyz) {
                if (!(tokens >> token) || !parseDouble(token, coordinate))
                    throw HostError(where + "expected three numbers after 'v'");
                if (!std::isfinite(coordinate)) throw HostError(where + "vertex coordinate '" + token + "' is not finite");
            }
            mesh.vertices.push_back(KxPoint{xyz[0], xyz[1], xyz[2]});
        } else if (keyword == "f") {
            std::vector<int32_t> face;
            std::string token;
            while (tokens >> token) {
                int32_t index = 0;
                if (!parseVertexReference(token, mesh.vertices.size(), index))
                    throw HostError(where + "bad face vertex '" + token + "'");
                face.push_back(index);
            }
            if (face.size() < 3) throw HostError(where + "a face needs at least three vertices");
            mesh.faces.push_back(std::move(face));
            faceLines.push_back(lineNumber);
        }
    }
    if (file.bad()) throw HostError("cannot read " + path + ": " + std::strerror(errno));
    // Whatever else a file holds, a mesh without a single vertex is not one to deform.
    if (mesh.vertices.empty()) throw HostError(path + ": no vertices (is it an OBJ mesh?)");
    for (size_t f = 0; f < mesh.faces.size(); ++f) {
        for (int32_t index : mesh.faces[f]) {
            if (static_cast<size_t>(index) >= mesh.vertices.size())
                throw HostError(path + ":" + std::to_string(faceLines[f]) + ": face vertex " +
                                std::to_string(index + 1) + " is past the last of " +
                                std::to_string(mesh.vertices.size()) + " vertices");
        }
    }
    return mesh;
}

namespace {
void appendShortest(std::string& text, double value) {
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    text.append(buffer, written.ptr);
}
}  // namespace

std::string objText(const std::vector<KxPoint>& vertices, const std::vector<std::vector<int32_t>>& faces,
                    const std::string& comment) {
    std::string text;
    if (!comment.empty()) text += "# " + comment + "\n";
    for (const KxPoint& vertex : vertices) {
        text += "v ";
        appendShortest(text, vertex.x);
        text += ' ';
        appendShortest(text, vertex.y);
        text += ' ';
        appendShortest(text, vertex.z);
        text += '\n';
    }
    for (const auto& face : faces) {
        text += 'f';
        for (int32_t index : face) text += ' ' + std::to_string(index + 1);
        text += '\n';
    }
    return text;
}

void writeObjMesh(const std::string& path, const std::vector<KxPoint>& vertices,
                  const std::vector<std::vector<int32_t>>& faces, const std::string& comment) {
    writeFileAtomically(path, objText(vertices, faces, comment));
}

}  // namespace ostrivel
