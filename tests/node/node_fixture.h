#pragma once
// A node driven through the framework host on small exact scenes: a plane x = 2u, y = 2v
// (degree 1 in both directions, so every evaluation is exact), linear profile curves
// whose difference is a constant displacement, and points bound at chosen parameters.

#include <gtest/gtest.h>

#include <regex>

#include <hostapi/objects.h>

#include "../framework/test_support.h"
#include "nurbs_geometry.h"
#include "quelvarn.h"

namespace node_testing {

// x = scale * u, y = scale * v, z = height over host knots {0, 0.5, 1} (or `knots`).
inline hostapi::NurbsSurfaceGeometry planeGeometry(std::vector<double> knots = {0.0, 0.5, 1.0}, double scale = 2.0,
                                                   double height = 0.0) {
    hostapi::NurbsSurfaceGeometry plane;
    plane.degreeU = plane.degreeV = 1;
    plane.cvCountU = plane.cvCountV = 3;
    plane.knotsU = plane.knotsV = knots;
    for (int iu = 0; iu < 3; ++iu) {
        for (int iv = 0; iv < 3; ++iv) plane.cvs.push_back({scale * knots[iu], scale * knots[iv], height, 1.0});
    }
    return plane;
}

// Order 11 in u: more than the node's fixed evaluation scratch holds.
inline hostapi::NurbsSurfaceGeometry orderElevenGeometry() {
    hostapi::NurbsSurfaceGeometry surface = planeGeometry();
    surface.degreeU = 10;
    surface.cvCountU = 11;
    surface.knotsU.assign(10, 0.0);
    surface.knotsU.resize(20, 1.0);
    surface.cvs.clear();
    for (int iu = 0; iu < 11; ++iu)
        for (int iv = 0; iv < 3; ++iv) surface.cvs.push_back({iu / 5.0, iv * 1.0, 0.0, 1.0});
    return surface;
}

// Degree-1 curves from (0,0,0) to (1,0,0), the driver shifted by `d` at both ends.
inline CurveData lineCurve(KxPoint d = {}) {
    CurveData curve;
    curve.degree = 1;
    curve.knots = {0.0f, 0.0f, 1.0f, 1.0f};
    curve.cvs = {{d.x, d.y, d.z}, {1.0 + d.x, d.y, d.z}};
    return curve;
}

class NodeFixture : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::quietLog();
        host = std::make_unique<ostrivel::DeformerNode>(testing_support::plugin(), "quelvarn1");
        setSurface(planeGeometry());
        host->setCurve("curve", lineCurve());
        host->setCurve("curveBase", lineCurve());
    }

    MyNode& node() { return static_cast<MyNode&>(host->node()); }

    void setSurface(const hostapi::NurbsSurfaceGeometry& geometry) {
        const MObject surface = hostapi::makeNurbsSurface(geometry);
        host->setSurface("surface", surface);
        host->setSurface("surfaceBase", surface);
    }

    // Points on the plane (plus `lift` in z) at stored parameters, bound there.
    void bindAt(const std::vector<std::pair<float, float>>& params, double lift = 0.0, double scale = 2.0) {
        std::vector<float> us, vs;
        record.points.clear();
        for (const auto& [u, v] : params) {
            us.push_back(u);
            vs.push_back(v);
            record.points.push_back({scale * u, scale * v, lift});
        }
        host->setDenseArray("uparams", us);
        host->setDenseArray("vparams", vs);
        record.weights.assign(params.size(), 1.0f);
        record.indices.resize(params.size());
        for (size_t k = 0; k < params.size(); ++k) record.indices[k] = static_cast<int32_t>(k);
    }

    int deform() { return host->deform(settings, record); }

    // The whole evaluation map as the host builds it, for tests that break it by hand.
    AttributeMap evaluationMap() { return host->evaluationMap(settings); }

    std::vector<std::string> shown() const { return testing_support::shownMessages(); }

    // A call that failed with 1 and showed one assertion line: its text after file and line.
    // The log is cleared for the next call.
    std::string failedAssertion(int status) {
        static const std::regex format(R"(error: quelvarn1: ASSERT error \((?:.*/)?quelvarn\.cpp:\d+\): (.*))");
        EXPECT_EQ(status, 1);
        const std::vector<std::string> lines = shown();
        testing_support::quietLog();
        std::smatch text;
        EXPECT_TRUE(lines.size() == 1 && std::regex_match(lines[0], text, format)) << ::testing::PrintToString(lines);
        return text.empty() ? std::string() : text[1].str();
    }

    std::unique_ptr<ostrivel::DeformerNode> host;
    ostrivel::EvaluationSettings settings;
    DeformAttributes record;
};

}  // namespace node_testing
