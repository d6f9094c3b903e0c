#pragma once
// The per-point slide: one plain function over structure-of-arrays inputs, so that the
// parallel CPU loop, a wide CPU path and a device kernel can all sit beside it.

#include <cstddef>
#include <cstdint>

#include <Imath/ImathMatrix.h>

#include "KxTypes.h"
#include "slide_kernel.h"
#include "surface_data.h"

// The thirteen dense per-point weight caches, in the node's slot order.
enum MapSlot : int {
    kPushMapSlot,
    kUMapSlot,
    kDMapSlot,
    kLMapSlot,
    kRMapSlot,
    kUPushInSlot,
    kDPushInSlot,
    kLPushInSlot,
    kRPushInSlot,
    kUPushOutSlot,
    kDPushOutSlot,
    kLPushOutSlot,
    kRPushOutSlot,
    kMapSlotCount
};

// The scalar attributes of one evaluation.
struct SlideSettings {
    float envelope = 1.0f;
    int32_t paramType = 0;      // 0 "U": the window runs along v; otherwise "V": along u
    float startParam = 0.0f;
    float endParam = 1.0f;
    float lrCenter = 0.5f;
    float udFactor = 0.0f;
    float lrFactor = 0.0f;
    float pushCoeff = 1.0f;
    int32_t slidingMethod = 0;  // 0 "vector": keep the offset; otherwise "matrix": carry through frames
};

// Everything the slide of one point reads. Arrays indexed by the point's position i:
// the first weight test, the caches and the rest frames; arrays indexed by j = indices[i]:
// the blend weight and the stored parameters.
struct SlideInputs {
    const float* weights = nullptr;
    std::size_t weightCount = 0;
    const int32_t* indices = nullptr;
    std::size_t indexCount = 0;
    const float* uparams = nullptr;
    const float* vparams = nullptr;
    std::size_t paramCount = 0;  // entries of both parameter arrays
    const SurfaceData* surface = nullptr;
    const SurfaceData* restSurface = nullptr;
    const Imath::M44d* restFrameInverses = nullptr;
    const float* maps[kMapSlotCount] = {};
    std::size_t cacheCount = 0;  // entries of the rest frames and of every map cache
    const CurveData* curve = nullptr;
    const CurveData* curveBase = nullptr;
    SlideSettings settings;
};

enum class SlideOutcome {
    Unchanged,    // nothing was written
    Moved,        // `point` holds the new position
    EmptyWindow,  // endParam - startParam is not positive in single precision
};

// Slides the point at position i, whose current position is `point`.
SlideOutcome slidePoint(const SlideInputs& in, int i, KxPoint& point);

// Views of the node's records for the wide slide kernels.
quelvarn::kernels::KernelSurface kernelSurface(const SurfaceData& surface);
quelvarn::kernels::KernelSlideInputs kernelSlideInputs(const SlideInputs& in);
