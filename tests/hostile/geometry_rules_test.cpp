// The shared geometry rule, case by case, and the consumers that must ask it: the picture
// draws no curve that fails it (the kernel's arrays hold eight basis values).

#include <gtest/gtest.h>

#include <cmath>

#include <cstring>

#include "GeometryRules.h"
#include "finite_points.h"
#include "picture.h"
#include "scene_run.h"
#include "test_support.h"

namespace {

CurveData cubic() {
    CurveData curve;
    curve.degree = 3;
    curve.knots = {0, 0, 0, 0, 1, 1, 1, 1};
    curve.cvs = {{0, 0, 0}, {0.33, 0.3, 0}, {0.67, 0.3, 0}, {1, 0, 0}};
    return curve;
}

TEST(GeometryRules, EachCurveProblemIsNamedWithItsField) {
    const std::tuple<std::function<void(CurveData&)>, std::string, std::string> cases[] = {
        {[](CurveData&) {}, "", ""},
        {[](CurveData& c) { c.degree = 0; }, "degree", "degree 0 is outside 1..7"},
        {[](CurveData& c) { c.degree = 8; c.knots.resize(13, 1.0f); }, "degree", "degree 8 is outside 1..7"},
        {[](CurveData& c) { c.knots.pop_back(); }, "knots", "expected 8 knots (4 cvs + degree 3 + 1), got 7"},
        // Found by the evaluation fuzz target: the kernel read past the control points.
        {[](CurveData& c) { c.cvs.resize(2); c.knots.resize(6); }, "cvs",
         "expected at least degree + 1 = 4 control points, got 2"},
        {[](CurveData& c) { c.knots[2] = NAN; }, "knots[2]", "knots[2] is not finite"},
        {[](CurveData& c) { c.knots = {0, 0, 0, 0.5, 0.2, 1, 1, 1}; }, "knots[4]", "knots decrease at index 4"},
        {[](CurveData& c) { c.knots.assign(8, 0.0f); }, "knots[4]", "knots repeat a value more than 4 times at index 4"},
        {[](CurveData& c) { c.degree = 1; c.cvs.resize(2); c.knots = {0, 0.5, 0.5, 1}; }, "knots",
         "knot domain is empty"},
        {[](CurveData& c) { c.cvs[1].y = NAN; }, "cvs[1]", "not finite"},
        {[](CurveData& c) { c.cvs[3].z = -INFINITY; }, "cvs[3]", "not finite"},
    };
    for (const auto& [change, field, text] : cases) {
        CurveData curve = cubic();
        change(curve);
        const geometry_rules::Problem problem = geometry_rules::curveProblem(curve);
        EXPECT_EQ(problem.field, field) << text;
        EXPECT_EQ(problem.text, text);
    }
    // The node's own check asks only for the shape its kernel needs.
    CurveData unordered = cubic();
    unordered.knots = {1, 0, 0, 0, 1, 1, 1, 1};
    EXPECT_TRUE(geometry_rules::curveShapeProblem(unordered).ok());
}

TEST(GeometryRules, ThePictureSkipsACurveOfDegreeEightInsteadOfOverrunningTheKernel) {
    testing_support::quietLog();
    ostrivel::SceneRun run(std::string(SCENE_DATA_DIR) + "/plane.json", ostrivel::PluginLibrary::defaultPath());
    CurveData degreeEight;
    degreeEight.degree = 8;
    degreeEight.knots.assign(9, 0.0f);
    degreeEight.knots.resize(18, 1.0f);
    for (int k = 0; k < 9; ++k) degreeEight.cvs.push_back({k / 8.0, 0.2, 0.0});
    run.node().setCurve("curve", degreeEight);
    const std::string svg = ostrivel::renderRunPicture(run, ostrivel::PictureOptions{});
    EXPECT_NE(svg.find("<svg"), std::string::npos);
}

// The output check and the copy run on several tasks for a large scene: the check must still
// name the first offender, not the first one a task finds, and let every finite value pass.
TEST(FinitePoints, TheFirstNonFinitePointIsNamedWhereverTheTasksSplit) {
    std::vector<KxPoint> points(100000, KxPoint{1.5, -0.0, 1e308});
    points[17].x = 4.9e-324;  // the smallest subnormal is finite
    EXPECT_NO_THROW(ostrivel::refuseNonFinitePoints(points, "n"));
    points[90001].z = INFINITY;
    points[70000].y = NAN;
    try {
        ostrivel::refuseNonFinitePoints(points, "n");
        FAIL() << "no error";
    } catch (const ostrivel::NonFiniteOutput& error) {
        EXPECT_STREQ(error.what(), "n: deformed point 70000 is not finite (1.5, nan, 1e+308); nothing written");
    }

    std::vector<KxPoint> copy(3);  // another size: reallocated
    ostrivel::copyPoints(points, copy);
    ASSERT_EQ(copy.size(), points.size());
    EXPECT_EQ(std::memcmp(copy.data(), points.data(), points.size() * sizeof(KxPoint)), 0);
    points[99999].x = 2.0;  // the same size: copied in place
    ostrivel::copyPoints(points, copy);
    EXPECT_EQ(std::memcmp(copy.data(), points.data(), points.size() * sizeof(KxPoint)), 0);
}

}  // namespace
