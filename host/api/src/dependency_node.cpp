#include <maya/MArrayDataBuilder.h>
#include <maya/MArrayDataHandle.h>
#include <maya/MDataHandle.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MPlug.h>

#include "hostapi/objects.h"

#include <algorithm>
#include <map>

using hostapi::DependencyNode;
using hostapi::PlugValue;

MFnDependencyNode::MFnDependencyNode(const MObject& object, MStatus* status) {
    const MStatus result = setObject(object);
    if (status) *status = result;
}

MStatus MFnDependencyNode::setObject(const MObject& object) {
    object_ = object;
    return hostapi::asDependencyNode(object) ? MStatus::kSuccess : MStatus::kInvalidParameter;
}

MString MFnDependencyNode::name(MStatus* status) const {
    const DependencyNode* node = hostapi::asDependencyNode(object_);
    if (status) *status = node ? MStatus::kSuccess : MStatus::kFailure;
    return node ? MString(node->name) : MString();
}

MPlug MFnDependencyNode::findPlug(const MString& attributeName, bool, MStatus* status) const {
    const DependencyNode* node = hostapi::asDependencyNode(object_);
    const int index = node ? node->findPlug(attributeName.asChar()) : -1;
    if (status) *status = index >= 0 ? MStatus::kSuccess : MStatus::kInvalidParameter;
    if (index < 0) return MPlug();
    return MPlug(object_.hostObject(), index);
}

// ---- plugs -------------------------------------------------------------------------

namespace {
hostapi::Plug* plugOf(const std::shared_ptr<hostapi::HostObject>& node, int attribute) {
    auto* dependencyNode = dynamic_cast<DependencyNode*>(node.get());
    if (!dependencyNode || attribute < 0 || attribute >= static_cast<int>(dependencyNode->plugs.size())) return nullptr;
    return &dependencyNode->plugs[attribute];
}
}  // namespace

MString MPlug::name() const {
    const hostapi::Plug* plug = plugOf(node_, attribute_);
    if (!plug) return MString();
    return MString(std::string(MFnDependencyNode(MObject(node_)).name().asChar()) + "." + plug->shortName);
}

MDataHandle MPlug::asMDataHandle(MStatus* status) const {
    const hostapi::Plug* plug = plugOf(node_, attribute_);
    if (status) *status = plug ? MStatus::kSuccess : MStatus::kFailure;
    return plug ? MDataHandle(std::make_shared<PlugValue>(plug->value), -1) : MDataHandle();
}

MStatus MPlug::setMDataHandle(MDataHandle handle) {
    hostapi::Plug* plug = plugOf(node_, attribute_);
    if (!plug || handle.isNull()) return MStatus::kFailure;
    plug->value = *handle.data();
    ++plug->revision;
    return MStatus::kSuccess;
}

void MPlug::destructHandle(MDataHandle& handle) const { handle = MDataHandle(); }

// ---- element positions ---------------------------------------------------------------

namespace hostapi {

size_t ElementPositions::find(int32_t logical) const {
    if (logical >= 0 && static_cast<size_t>(logical) < dense_.size() && dense_[static_cast<size_t>(logical)] != kAbsent)
        return dense_[static_cast<size_t>(logical)];
    if (sparse_.empty()) return kAbsent;
    const auto found = sparse_.find(logical);
    return found == sparse_.end() ? kAbsent : found->second;
}

// The table grows to an index only while it stays within twice the elements it holds, so
// a stray huge index costs a map entry, not memory.
void ElementPositions::set(int32_t logical, size_t position) {
    const auto at = static_cast<size_t>(logical);
    if (logical >= 0 && at <= 2 * (dense_.size() + sparse_.size()) + 1024) {
        if (at >= dense_.size()) dense_.resize(std::max(at + 1, dense_.size() * 2), kAbsent);
        dense_[at] = position;
        if (!sparse_.empty()) sparse_.erase(logical);
        return;
    }
    sparse_[logical] = position;
}

}  // namespace hostapi

// ---- data handles --------------------------------------------------------------------

void MDataHandle::setFloat(float value) {
    if (!data_) return;
    if (element_ < 0) {
        data_->number = value;
    } else {
        data_->values[static_cast<size_t>(element_)] = value;
    }
}

float MDataHandle::asFloat() const {
    if (!data_) return 0.0f;
    if (element_ < 0) return static_cast<float>(data_->number);
    return data_->values[static_cast<size_t>(element_)];
}

MArrayDataHandle::MArrayDataHandle(const MDataHandle& handle, MStatus* status) : handle_(handle) {
    if (status) *status = handle.isNull() ? MStatus::kFailure : MStatus::kSuccess;
}

// The builder starts from the elements already present. Unpaired entries (an index list
// longer than the value list or the reverse) cannot be elements and are dropped here.
MArrayDataBuilder MArrayDataHandle::builder(MStatus* status) {
    if (status) *status = handle_.isNull() ? MStatus::kFailure : MStatus::kSuccess;
    if (handle_.isNull()) return MArrayDataBuilder();
    auto build = std::make_shared<hostapi::ArrayBuild>();
    build->value = std::make_shared<PlugValue>();
    const PlugValue& source = *handle_.data();
    const size_t paired = std::min(source.indices.size(), source.values.size());
    build->value->indices.assign(source.indices.begin(), source.indices.begin() + paired);
    build->value->values.assign(source.values.begin(), source.values.begin() + paired);
    for (size_t k = 0; k < paired; ++k) build->position.set(source.indices[k], k);  // the later entry is the element
    return MArrayDataBuilder(build);
}

// An array plug holds one element per logical index, in index order, as readers iterate it;
// of entries that named one index twice, the later is the element.
MStatus MArrayDataHandle::set(const MArrayDataBuilder& builder) {
    if (handle_.isNull() || !builder.build()) return MStatus::kFailure;
    const PlugValue& built = *builder.build()->value;
    PlugValue& target = *handle_.data();
    const size_t count = built.values.size();
    bool ordered = true;  // the usual case, elements added in index order: nothing to sort
    for (size_t k = 1; k < count && ordered; ++k) ordered = built.indices[k - 1] < built.indices[k];
    if (ordered) {
        target.indices.assign(built.indices.begin(), built.indices.begin() + static_cast<long>(count));
        target.values.assign(built.values.begin(), built.values.end());
        return MStatus::kSuccess;
    }
    std::vector<size_t> order(count);
    for (size_t k = 0; k < count; ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return built.indices[a] < built.indices[b]; });
    target.indices.clear();
    target.values.clear();
    for (size_t k = 0; k < count; ++k) {
        if (k + 1 < count && built.indices[order[k + 1]] == built.indices[order[k]]) continue;
        target.indices.push_back(built.indices[order[k]]);
        target.values.push_back(built.values[order[k]]);
    }
    return MStatus::kSuccess;
}

unsigned int MArrayDataHandle::elementCount(MStatus* status) const {
    if (status) *status = handle_.isNull() ? MStatus::kFailure : MStatus::kSuccess;
    return handle_.isNull() ? 0u : static_cast<unsigned int>(handle_.data()->values.size());
}

MDataHandle MArrayDataBuilder::addElement(unsigned int index, MStatus* status) {
    if (status) *status = build_ ? MStatus::kSuccess : MStatus::kFailure;
    if (!build_) return MDataHandle();
    const auto logical = static_cast<int32_t>(index);
    size_t found = build_->position.find(logical);
    if (found == hostapi::ElementPositions::kAbsent) {
        PlugValue& value = *build_->value;
        value.indices.push_back(logical);
        value.values.push_back(0.0f);
        found = value.values.size() - 1;
        build_->position.set(logical, found);
    }
    return MDataHandle(build_->value, static_cast<long>(found));
}

unsigned int MArrayDataBuilder::elementCount(MStatus* status) const {
    if (status) *status = build_ ? MStatus::kSuccess : MStatus::kFailure;
    return build_ ? static_cast<unsigned int>(build_->value->values.size()) : 0u;
}
