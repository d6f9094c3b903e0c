#include "hostapi/objects.h"

#include <stdexcept>

#include "nurbs_geometry.h"

namespace hostapi {

int DependencyNode::findPlug(const std::string& attributeName) const {
    for (size_t k = 0; k < plugs.size(); ++k) {
        if (plugs[k].shortName == attributeName || plugs[k].longName == attributeName) return static_cast<int>(k);
    }
    return -1;
}

Plug& DependencyNode::addPlug(std::string shortName, std::string longName) {
    plugs.push_back(Plug{std::move(shortName), std::move(longName), PlugValue{}});
    return plugs.back();
}

MObject makeDependencyNode(const std::string& name) { return MObject(std::make_shared<DependencyNode>(name)); }

DependencyNode* asDependencyNode(const MObject& object) {
    return dynamic_cast<DependencyNode*>(object.hostObject().get());
}

MObject makeNurbsSurface(const NurbsSurfaceGeometry& geometry) {
    const std::string problem = validateGeometry(geometry);
    if (!problem.empty()) throw std::invalid_argument(problem);
    return MObject(std::make_shared<NurbsSurfaceObject>(std::make_shared<const NurbsSurfaceGeometry>(geometry)));
}

NurbsSurfaceObject::NurbsSurfaceObject(std::shared_ptr<const NurbsSurfaceGeometry> surfaceGeometry)
    : geometry(std::move(surfaceGeometry)) {}

NurbsSurfaceObject::~NurbsSurfaceObject() = default;

// Binding asks once per point: after the first build a query costs one atomic load.
const SurfaceProjector& NurbsSurfaceObject::projector() const {
    if (const SurfaceProjector* built = built_.load(std::memory_order_acquire)) return *built;
    std::call_once(projectorOnce_, [this] {
        projector_ = std::make_unique<SurfaceProjector>(*geometry);
        built_.store(projector_.get(), std::memory_order_release);
    });
    return *projector_;
}

const NurbsSurfaceObject* asNurbsSurfaceObject(const MObject& object) {
    return dynamic_cast<const NurbsSurfaceObject*>(object.hostObject().get());
}

const NurbsSurfaceGeometry* asNurbsSurface(const MObject& object) {
    const NurbsSurfaceObject* surface = asNurbsSurfaceObject(object);
    return surface ? surface->geometry.get() : nullptr;
}

}  // namespace hostapi
