#include "scene_geometry.h"

#include <limits>
#include <stdexcept>

#include <hostapi/objects.h>

#include "GeometryRules.h"
#include "nurbs_geometry.h"

namespace ostrivel::fields {

namespace {

constexpr int64_t kIntMax = std::numeric_limits<int32_t>::max();

int count(const Json& object, const char* key, const std::string& field) {
    return static_cast<int>(wholeNumber(require(object, key, field), member(field, key), 0, kIntMax));
}

std::vector<double> knotList(const Json& value, const std::string& field) {
    std::vector<double> knots;
    for (size_t k = 0; k < array(value, field).size(); ++k) knots.push_back(number(value[k], indexed(field, k)));
    return knots;
}

void checkSize(size_t got, int64_t expected, const std::string& field, const std::string& what,
               const std::string& why) {
    if (static_cast<int64_t>(got) != expected)
        throw FieldError(field, "expected " + std::to_string(expected) + " " + what + " (" + why + "), got " +
                                    std::to_string(got));
}

}  // namespace

MObject surface(const Json& value, const std::string& field) {
    if (value.is_null()) return MObject();
    object(value, field);
    refuseUnknownKeys(value, {"degreeU", "degreeV", "cvCountU", "cvCountV", "knotsU", "knotsV", "cvs"}, field);
    hostapi::NurbsSurfaceGeometry geometry;
    geometry.degreeU = count(value, "degreeU", field);
    geometry.degreeV = count(value, "degreeV", field);
    geometry.cvCountU = count(value, "cvCountU", field);
    geometry.cvCountV = count(value, "cvCountV", field);
    geometry.knotsU = knotList(require(value, "knotsU", field), member(field, "knotsU"));
    geometry.knotsV = knotList(require(value, "knotsV", field), member(field, "knotsV"));

    const std::string cvsField = member(field, "cvs");
    const Json& cvs = array(require(value, "cvs", field), cvsField);
    for (size_t k = 0; k < cvs.size(); ++k) {
        const Json& cv = cvs[k];
        if (!cv.is_array() || cv.size() < 3 || cv.size() > 4)
            throw FieldError(indexed(cvsField, k), "expected three or four numbers");
        std::array<double, 4> xyzw{0.0, 0.0, 0.0, 1.0};
        for (size_t c = 0; c < cv.size(); ++c) xyzw[c] = number(cv[c], indexed(indexed(cvsField, k), c));
        geometry.cvs.push_back(xyzw);
    }

    const int64_t cvCountU = geometry.cvCountU, cvCountV = geometry.cvCountV;
    const int64_t degreeU = geometry.degreeU, degreeV = geometry.degreeV;
    checkSize(geometry.cvs.size(), cvCountU * cvCountV, cvsField, "control points",
              "cvCountU " + std::to_string(cvCountU) + " x cvCountV " + std::to_string(cvCountV));
    checkSize(geometry.knotsU.size(), cvCountU + degreeU - 1, member(field, "knotsU"), "knots",
              "cvCountU " + std::to_string(cvCountU) + " + degreeU " + std::to_string(degreeU) + " - 1");
    checkSize(geometry.knotsV.size(), cvCountV + degreeV - 1, member(field, "knotsV"), "knots",
              "cvCountV " + std::to_string(cvCountV) + " + degreeV " + std::to_string(degreeV) + " - 1");
    try {
        return hostapi::makeNurbsSurface(geometry);
    } catch (const std::invalid_argument& rejected) {
        throw FieldError(field, rejected.what());
    }
}

CurveData curve(const Json& value, const std::string& field) {
    object(value, field);
    refuseUnknownKeys(value, {"degree", "knots", "cvs"}, field);
    CurveData data;
    data.degree = count(value, "degree", field);
    const std::string knotsField = member(field, "knots");
    const Json& knots = array(require(value, "knots", field), knotsField);
    for (size_t k = 0; k < knots.size(); ++k) data.knots.push_back(floatNumber(knots[k], indexed(knotsField, k)));
    data.cvs = points(require(value, "cvs", field), member(field, "cvs"));
    // An empty curve is the node's to judge; a filled one must pass the curve rule that
    // every consumer of curves shares (degree, knot count and order, finite values).
    if (!data.empty()) {
        const geometry_rules::Problem problem = geometry_rules::curveProblem(data);
        if (!problem.ok()) throw FieldError(member(field, problem.field), problem.text);
    }
    return data;
}

std::vector<KxPoint> points(const Json& value, const std::string& field) {
    std::vector<KxPoint> result;
    array(value, field);
    result.reserve(value.size());
    for (size_t k = 0; k < value.size(); ++k) {
        const Json& entry = value[k];
        if (!entry.is_array() || entry.size() != 3 || !entry[0].is_number() || !entry[1].is_number() ||
            !entry[2].is_number())
            throw FieldError(indexed(field, k), "expected three numbers");
        result.push_back(KxPoint{entry[0].get<double>(), entry[1].get<double>(), entry[2].get<double>()});
        if (!geometry_rules::isFinitePoint(result.back())) throw FieldError(indexed(field, k), "not finite");
    }
    return result;
}

}  // namespace ostrivel::fields
