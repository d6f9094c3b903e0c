#pragma once
// The host's side of the API stand-in: the objects behind MObject handles, their plugs,
// and the message log. The framework host and the tests use this header; the plug-in
// never includes it.

#include <any>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <maya/MObject.h>

namespace hostapi {

struct NurbsSurfaceGeometry;
class SurfaceProjector;

class HostObject {
public:
    virtual ~HostObject() = default;
};

// The value of one plug. Scalars and enums live in `number`; an array plug holds its
// elements as (logical index, value) pairs in the order they were given, so that what a
// scene file says reaches the node unchanged; geometry lives in `object`, anything else
// the framework host keeps for the attribute in `payload`.
struct PlugValue {
    double number = 0.0;
    std::vector<int32_t> indices;
    std::vector<float> values;
    MObject object;
    std::any payload;
};

struct Plug {
    std::string shortName;
    std::string longName;
    PlugValue value;
    uint64_t revision = 0;  // counts every store, so readers can tell a changed value
};

// Where each logical index of an array being rebuilt sits in its element list: a table for
// the usual dense indices 0, 1, 2..., a map for the others.
class ElementPositions {
public:
    static constexpr size_t kAbsent = static_cast<size_t>(-1);
    size_t find(int32_t logical) const;
    void set(int32_t logical, size_t position);

private:
    std::vector<size_t> dense_;  // by logical index; kAbsent where none
    std::unordered_map<int32_t, size_t> sparse_;
};

// An array being rebuilt through MArrayDataBuilder: a copy of the plug's elements and
// where each logical index sits in it.
struct ArrayBuild {
    std::shared_ptr<PlugValue> value;
    ElementPositions position;
};

class DependencyNode : public HostObject {
public:
    explicit DependencyNode(std::string nodeName) : name(std::move(nodeName)) {}
    std::string name;
    std::vector<Plug> plugs;

    // Index of the plug with this short or long name, or -1.
    int findPlug(const std::string& attributeName) const;
    Plug& addPlug(std::string shortName, std::string longName);
    Plug& plug(int index) { return plugs[static_cast<size_t>(index)]; }
};

// Surface data never changes once made: a new shape is a new object. So the closest-point
// search tree is built once per object, on the first query.
class NurbsSurfaceObject : public HostObject {
public:
    explicit NurbsSurfaceObject(std::shared_ptr<const NurbsSurfaceGeometry> surfaceGeometry);
    ~NurbsSurfaceObject() override;
    std::shared_ptr<const NurbsSurfaceGeometry> geometry;
    const SurfaceProjector& projector() const;

private:
    mutable std::once_flag projectorOnce_;
    mutable std::unique_ptr<SurfaceProjector> projector_;
    mutable std::atomic<const SurfaceProjector*> built_{nullptr};
};

MObject makeDependencyNode(const std::string& name);
DependencyNode* asDependencyNode(const MObject& object);

// The geometry must be valid (validateGeometry returns empty); otherwise this throws
// std::invalid_argument with the reason.
MObject makeNurbsSurface(const NurbsSurfaceGeometry& geometry);
const NurbsSurfaceGeometry* asNurbsSurface(const MObject& object);
const NurbsSurfaceObject* asNurbsSurfaceObject(const MObject& object);

// Every line shown through MGlobal, in order, one log per process.
struct LoggedMessage {
    enum class Kind { Error, Info };
    Kind kind;
    std::string text;
};
const std::vector<LoggedMessage>& messageLog();
void clearMessageLog();
// When false (the default is true) displays are recorded but not printed to stderr.
void setEchoMessages(bool echo);
// While held, echoed lines wait (a progress line is on the terminal) and print on release.
void holdEchoedMessages(bool hold);

}  // namespace hostapi
