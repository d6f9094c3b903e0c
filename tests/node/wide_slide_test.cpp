// Every wide slide build this processor runs gives, byte for byte, the plain per-point
// slide's results and rest frames, on varied scenes: surface and curve degrees, knot
// layouts, both methods and parameter types, window edges, weights below the threshold,
// partial maps, out-of-range indices and point counts that fill no whole lane group.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "curve_dispatch.h"
#include "line_aligned.h"
#include "slide.h"
#include "slide_kernel.h"
#include "surface_frame.h"

namespace {

using quelvarn::kernels::SlideBuild;

const char* buildName(SlideBuild build) { return build == SlideBuild::avx2 ? "avx2" : "avx512"; }

// narrowEnds: the first and last interior knots lie closer to the domain ends than the
// chord step, so chord points step into the next span (forward at the start, backward at
// the end) and across several spans.
enum class Knots { clampedUniform, nonUniform, repeatedInterior, decreasing, narrowEnds };

// A direction of order `order` with `cvCount` points over the domain [start, start + span].
void fillDirection(SurfaceDirection& d, int order, int cvCount, Knots layout, float start, float span) {
    d.order = order;
    d.cvCount = cvCount;
    d.knots.assign(static_cast<size_t>(cvCount + order), 0.0f);
    const int interior = cvCount - order;  // knots strictly inside the domain
    for (int k = 0; k < cvCount + order; ++k) {
        const int step = std::min(std::max(k - (order - 1), 0), interior + 1);
        float x = static_cast<float>(step) / static_cast<float>(interior + 1);
        if (layout == Knots::nonUniform) x = x * x * 0.7f + x * 0.3f;
        if (layout == Knots::repeatedInterior && step == 1 && interior >= 2) x = 2.0f / static_cast<float>(interior + 1);
        if (layout == Knots::narrowEnds && step == 1) x = 0.003f;
        if (layout == Knots::narrowEnds && step == interior && interior >= 2) x = 0.996f;
        d.knots[static_cast<size_t>(k)] = start + span * x;
    }
    if (layout == Knots::decreasing) std::swap(d.knots[static_cast<size_t>(order)], d.knots.back());
    d.domainStart = d.knots[static_cast<size_t>(order - 1)];
    d.domainEnd = d.knots[static_cast<size_t>(cvCount)];
}

// A wavy sheet; `scale` shrinks it (tiny scales give normals that need the careful length,
// zero collapses it to a point). Its control points are single-precision values, as the
// node's surface reader leaves them, unless `doubleCvs` asks for arbitrary doubles.
SurfaceData makeSurface(int orderU, int orderV, int cvU, int cvV, Knots layout, unsigned seed, double scale = 1.0,
                        bool doubleCvs = false) {
    SurfaceData s;
    fillDirection(s.uDirection, orderU, cvU, layout, 0.0f, 1.0f);
    fillDirection(s.vDirection, orderV, cvV, layout == Knots::decreasing ? Knots::nonUniform : layout, 0.0f, 2.0f);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> jitter(-0.2, 0.2);
    for (int j = 0; j < cvV; ++j) {
        for (int i = 0; i < cvU; ++i) {
            const double x = i + jitter(random), y = j + jitter(random), z = std::sin(0.7 * i) * std::cos(0.4 * j);
            const auto stored = [doubleCvs](double value) {
                volatile float single = static_cast<float>(value);  // a round trip GCC may not fold away
                return doubleCvs ? value : static_cast<double>(single);
            };
            s.cvs.push_back({stored(scale * x), stored(scale * y), stored(scale * z)});
        }
    }
    return s;
}

// A profile curve of `degree` over [0, 1] with `cvCount` points whose y and z wave with `amplitude`.
CurveData makeCurve(int degree, int cvCount, double amplitude, bool uniform, unsigned seed) {
    CurveData c;
    c.degree = degree;
    const int interior = cvCount - degree - 1;
    for (int k = 0; k < cvCount + degree + 1; ++k) {
        const int step = std::min(std::max(k - degree, 0), interior + 1);
        const float x = static_cast<float>(step) / static_cast<float>(interior + 1);
        c.knots.push_back(uniform ? x : x * x);
    }
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> wave(-amplitude, amplitude);
    for (int k = 0; k < cvCount; ++k) c.cvs.push_back({k / (cvCount - 1.0) + wave(random), wave(random), wave(random)});
    return c;
}

struct Case {
    std::string name;
    int orderU, orderV, cvU, cvV;
    Knots layout;
    int curveDegree;
    bool curvesShareKnots;
    SlideSettings settings;
    int points;
    double scale = 1.0;     // surface size
    bool restDiffers = false;  // a rest surface of other orders and control points
    bool doubleCvs = false;    // control points beyond single precision (not from the node's reader)
    bool alongUOnly = false;   // the curves' x coordinates agree: no left/right slide, v stays
};

SlideSettings settingsWith(int method, int paramType, float start, float end, float udFactor, float lrFactor,
                           float lrCenter, float push, float envelope = 1.0f) {
    return SlideSettings{envelope, paramType, start, end, lrCenter, udFactor, lrFactor, push, method};
}

// Everything a slide reads, owned in one place.
struct Scene {
    SurfaceData surface, rest;
    CurveData curve, curveBase;
    std::vector<float> weights, uparams, vparams;
    std::vector<int32_t> indices;
    std::vector<Imath::M44d> inverses;
    std::vector<float> maps[kMapSlotCount];
    std::vector<KxPoint> points;
    SlideSettings settings;

    SlideInputs inputs() const {
        SlideInputs in;
        in.weights = weights.data();
        in.weightCount = weights.size();
        in.indices = indices.data();
        in.indexCount = indices.size();
        in.uparams = uparams.data();
        in.vparams = vparams.data();
        in.paramCount = uparams.size();
        in.surface = &surface;
        in.restSurface = &rest;
        in.restFrameInverses = inverses.data();
        for (int slot = 0; slot < kMapSlotCount; ++slot) in.maps[slot] = maps[slot].data();
        in.cacheCount = inverses.size();
        in.curve = &curve;
        in.curveBase = &curveBase;
        in.settings = settings;
        return in;
    }
};

Scene makeScene(const Case& c, unsigned seed) {
    Scene s;
    s.surface = makeSurface(c.orderU, c.orderV, c.cvU, c.cvV, c.layout, seed, c.scale, c.doubleCvs);
    s.rest = c.restDiffers
                 ? makeSurface(c.orderV, c.orderU, c.cvV + 1, c.cvU, Knots::nonUniform, seed + 1, c.scale, c.doubleCvs)
                 : makeSurface(c.orderU, c.orderV, c.cvU, c.cvV, c.layout, seed + 7, c.scale, c.doubleCvs);
    s.curve = makeCurve(c.curveDegree, c.curveDegree + 3, 0.3, true, seed);
    s.curveBase = makeCurve(c.curveDegree, c.curveDegree + 3, 0.02, c.curvesShareKnots, seed + 3);
    if (c.alongUOnly)
        for (size_t k = 0; k < s.curve.cvs.size(); ++k) s.curveBase.cvs[k].x = s.curve.cvs[k].x;
    s.settings = c.settings;

    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const int n = c.points;
    // Parameters: random, plus the window edges, the domain ends, knots and outside values.
    // 0.66 is just below the double knot of the repeated-interior layout: the chords from
    // there skip its empty span (it is point 16's u and point 3's v).
    const float special[] = {0.0f, 1.0f, c.settings.startParam, 0.66f, c.settings.endParam, 0.5f, 0.995f,
                             0.9999f, -0.05f, 1.1f, 0.25f, 0.75f};
    for (int k = 0; k < n; ++k) {
        const bool edge = k % 5 == 1;
        s.uparams.push_back(edge ? special[(k / 5) % 12] : unit(random));
        s.vparams.push_back(k % 7 == 3 ? special[(k / 7 + 3) % 12] : unit(random));
        if (c.alongUOnly && k % 3 == 0) {
            // Just below an interior v knot: the v chord crosses into the next span.
            const SurfaceDirection& d = s.surface.vDirection;
            const float knot = d.knots[static_cast<size_t>(d.order + (k / 3) % (d.cvCount - d.order))];
            s.vparams.back() = (knot - 0.004f - d.domainStart) / d.domainEnd;
        }
        s.points.push_back({unit(random) * 4.0 * c.scale, unit(random) * 2.0 * c.scale, (unit(random) - 0.5) * c.scale});
        // Weights below the threshold, envelope products below it, partial weights.
        const float weightChoices[] = {1.0f, 0.6f, 0.0f, 9e-6f, 1.2e-5f, 1.0f, 0.3f};
        s.weights.push_back(weightChoices[k % 7]);
        s.indices.push_back(k % 11 == 4 ? (k % 3 == 0 ? -1 : n + 2) : n - 1 - k);  // some out of range
    }
    s.inverses.resize(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) s.inverses[static_cast<size_t>(k)] = restFrameInverse(s.rest, s.uparams[k], s.vparams[k]);
    // Partial maps: defaults for most points, painted values (zeros included) for some.
    const float defaults[kMapSlotCount] = {0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int slot = 0; slot < kMapSlotCount; ++slot) {
        s.maps[slot].assign(static_cast<size_t>(n), defaults[slot]);
        for (int k = slot % 3; k < n; k += 2 + slot % 4) s.maps[slot][static_cast<size_t>(k)] = unit(random) * (k % 4 == 0 ? 0.0f : 1.0f);
    }
    return s;
}

std::vector<KxPoint> plainSlide(const Scene& scene) {
    std::vector<KxPoint> points = scene.points;
    const SlideInputs in = scene.inputs();
    for (int i = 0; i < static_cast<int>(points.size()); ++i) slidePoint(in, i, points[static_cast<size_t>(i)]);
    return points;
}

std::vector<KxPoint> wideSlide(const Scene& scene, SlideBuild build, int split) {
    std::vector<KxPoint> points = scene.points;
    const SlideInputs in = scene.inputs();
    const quelvarn::kernels::KernelSlideInputs wide = kernelSlideInputs(in);
    const int n = static_cast<int>(points.size());
    double* raw = reinterpret_cast<double*>(points.data());
    // Two ranges, as two parallel tasks would get them: lane groups start mid-array.
    quelvarn::kernels::slideRange(build, wide, 0, std::min(split, n), raw);
    if (split < n) quelvarn::kernels::slideRange(build, wide, split, n, raw);
    return points;
}

size_t movedCount(const std::vector<KxPoint>& before, const std::vector<KxPoint>& after) {
    size_t moved = 0;
    for (size_t k = 0; k < before.size(); ++k) moved += std::memcmp(&before[k], &after[k], sizeof(KxPoint)) != 0;
    return moved;
}

const Case kCases[] = {
    {"bicubic vector U", 4, 4, 8, 7, Knots::clampedUniform, 3, true, settingsWith(0, 0, 0.0f, 1.0f, 0.3f, 0.2f, 0.5f, 0.7f), 45},
    {"bicubic matrix V", 4, 4, 8, 7, Knots::nonUniform, 3, false, settingsWith(1, 1, 0.0f, 1.0f, 0.3f, 0.2f, 0.5f, 1.3f), 45},
    {"window edges", 4, 4, 6, 6, Knots::clampedUniform, 3, true, settingsWith(0, 0, 0.25f, 0.75f, -0.4f, 0.6f, 0.6f, 0.55f), 61},
    {"narrow window V matrix", 4, 4, 6, 6, Knots::repeatedInterior, 2, true, settingsWith(1, 1, 0.3f, 0.6f, 0.5f, -0.3f, 0.4f, 2.0f), 37},
    {"biquadratic", 3, 3, 5, 6, Knots::nonUniform, 5, false, settingsWith(0, 1, 0.0f, 1.0f, 0.2f, 0.2f, 0.0f, 0.9f), 29},
    {"bilinear", 2, 2, 3, 4, Knots::clampedUniform, 1, true, settingsWith(1, 0, 0.0f, 1.0f, 0.8f, 0.8f, 1.0f, 1.0f), 23},
    {"mixed orders 5x3", 5, 3, 7, 5, Knots::nonUniform, 7, false, settingsWith(0, 0, 0.1f, 0.9f, 0.3f, 0.3f, 0.5f, 1.0f), 51},
    // 16 knots are read from a padded copy, 17 are gathered; the curves have 16 knots.
    {"16 and 17 knots", 4, 5, 12, 12, Knots::nonUniform, 6, false, settingsWith(0, 0, 0.0f, 1.0f, 0.3f, 0.2f, 0.5f, 1.0f), 43},
    {"narrow end spans", 4, 4, 8, 7, Knots::narrowEnds, 3, true, settingsWith(0, 1, 0.0f, 1.0f, 0.3f, 0.4f, 0.5f, 1.0f), 53},
    {"narrow end spans, other slide", 3, 4, 7, 8, Knots::narrowEnds, 3, true, settingsWith(0, 0, 0.0f, 1.0f, -0.4f, -0.3f, 0.5f, 1.0f), 53},
    {"order 10", 10, 6, 12, 8, Knots::clampedUniform, 4, true, settingsWith(1, 1, 0.0f, 1.0f, 0.3f, 0.2f, 0.5f, 1.0f), 19},
    {"knots out of order", 4, 4, 8, 7, Knots::decreasing, 3, true, settingsWith(0, 0, 0.0f, 1.0f, 0.3f, 0.2f, 0.5f, 1.0f), 33},
    {"rest surface of other orders", 3, 4, 6, 7, Knots::nonUniform, 3, true,
     settingsWith(1, 0, 0.0f, 1.0f, 0.1f, 0.1f, 0.5f, 1.0f), 40, 1.0, true},
    {"no pushes, half envelope", 4, 4, 8, 7, Knots::clampedUniform, 3, true, settingsWith(0, 1, 0.0f, 1.0f, 0.3f, 0.2f, 0.5f, 0.0f, 0.5f), 17},
    // Control points in double precision take the general evaluation: its first level may
    // not be fused. (A tiny surface has no single-precision form.)
    {"bicubic, double control points", 4, 4, 8, 7, Knots::clampedUniform, 3, true,
     settingsWith(0, 1, 0.0f, 1.0f, 0.3f, 0.2f, 0.5f, 0.7f), 45, 1.0, false, true},
    {"biquadratic matrix, double control points", 3, 3, 5, 6, Knots::nonUniform, 2, false,
     settingsWith(1, 0, 0.0f, 1.0f, 0.2f, 0.3f, 0.5f, 0.9f), 29, 1.0, false, true},
    {"tiny surface", 4, 4, 6, 6, Knots::clampedUniform, 3, true, settingsWith(1, 0, 0.0f, 1.0f, 0.3f, 0.2f, 0.5f, 1.0f), 26, 1e-160,
     false, true},
    {"collapsed surface", 4, 4, 6, 6, Knots::clampedUniform, 3, true, settingsWith(0, 0, 0.0f, 1.0f, 0.3f, 0.2f, 0.5f, 1.0f), 26, 0.0},
    // Whole groups keep their v: the attachment and a refresh's slide take the columns of the
    // frame beside them (the same, or one span over in u; chords crossing spans near the ends).
    {"slide along u alone", 4, 4, 8, 7, Knots::clampedUniform, 3, true,
     settingsWith(0, 0, 0.0f, 1.0f, 0.4f, 0.2f, 0.5f, 0.7f), 67, 1.0, false, false, true},
    {"slide along u alone, narrow end spans", 4, 4, 9, 8, Knots::narrowEnds, 3, true,
     settingsWith(0, 0, 0.0f, 1.0f, -1.5f, 0.2f, 0.5f, 0.7f), 67, 1.0, false, false, true},
    {"biquadratic along u alone", 3, 3, 6, 6, Knots::nonUniform, 2, true,
     settingsWith(0, 0, 0.0f, 1.0f, 1.2f, 0.2f, 0.5f, 0.7f), 41, 1.0, false, false, true},
    {"bilinear along u alone", 2, 2, 5, 5, Knots::clampedUniform, 1, true,
     settingsWith(0, 0, 0.0f, 1.0f, 0.5f, 0.2f, 0.5f, 0.7f), 41, 1.0, false, false, true},
};

// Runs over every wide build the running processor can execute, and only where there is one.
class WideSlide : public ::testing::Test {
protected:
    void SetUp() override {
        const int level = quelvarn::kernels::processorIsaLevel();
        if (level >= 3) builds.push_back(SlideBuild::avx2);
        if (level >= 4) builds.push_back(SlideBuild::avx512);
        if (builds.empty()) GTEST_SKIP() << "no wide build runs on this processor";
    }
    std::vector<SlideBuild> builds;
};

TEST_F(WideSlide, EveryBuildMatchesThePlainSlideByteForByte) {
    size_t movedInAll = 0;
    for (const Case& c : kCases) {
        for (unsigned seed : {1u, 2u, 3u, 4u}) {
            Scene scene = makeScene(c, seed);
            // Seed 3: the rest surface is the current one, whose frame then lends the
            // attachment its control points wherever both lie in the same patch. Seed 4:
            // the current one with its first interior u knot moved, which must not.
            if (seed >= 3) scene.rest = scene.surface;
            if (seed == 4) {
                std::vector<float>& knots = scene.rest.uDirection.knots;
                const size_t at = static_cast<size_t>(scene.rest.uDirection.order);
                knots[at] = 0.5f * (knots[at] + knots[at - 1]);
            }
            const std::vector<KxPoint> expected = plainSlide(scene);
            const size_t moved = movedCount(scene.points, expected);
            EXPECT_GT(moved, 2u) << c.name << ", seed " << seed;  // every scene really slides points
            movedInAll += moved;
            for (SlideBuild build : builds) {
                for (int split : {0, 5, 13}) {
                    const std::vector<KxPoint> actual = wideSlide(scene, build, split);
                    for (size_t k = 0; k < expected.size(); ++k) {
                        EXPECT_EQ(std::memcmp(&expected[k], &actual[k], sizeof(KxPoint)), 0)
                            << c.name << ", seed " << seed << ", " << buildName(build) << ", split " << split
                            << ", point " << k << ": " << expected[k].x << " " << expected[k].y << " " << expected[k].z
                            << " vs " << actual[k].x << " " << actual[k].y << " " << actual[k].z;
                    }
                }
            }
        }
    }
    EXPECT_GT(movedInAll, 250u);
}

TEST_F(WideSlide, RestFrameInversesMatchThePlainInverseByteForByte) {
    for (const Case& c : kCases) {
        const Scene scene = makeScene(c, 5);
        const int n = static_cast<int>(scene.uparams.size());
        const quelvarn::kernels::KernelSurface rest = kernelSurface(scene.rest);
        // The collapsed surface's frames are singular everywhere: their inverse is the identity.
        for (const Imath::M44d& m : scene.inverses) EXPECT_TRUE(c.scale != 0.0 || m == Imath::M44d()) << c.name;
        for (SlideBuild build : builds) {
            // On line-aligned storage whole groups stream their matrices out; 16 bytes off
            // the line they are stored as usual.
            for (int offset : {0, 2}) {
                std::vector<double, LineAligned<double>> storage(16 * static_cast<size_t>(n) + 2, -1.0);
                double* raw = storage.data() + offset;
                quelvarn::kernels::restFrameInverses(build, rest, scene.uparams.data(), scene.vparams.data(), 0, 3, raw);
                quelvarn::kernels::restFrameInverses(build, rest, scene.uparams.data(), scene.vparams.data(), 3, n, raw);
                for (int k = 0; k < n; ++k) {
                    EXPECT_EQ(std::memcmp(raw + 16 * k, &scene.inverses[static_cast<size_t>(k)], sizeof(Imath::M44d)), 0)
                        << c.name << ", " << buildName(build) << ", offset " << offset << ", point " << k;
                }
            }
        }
    }
}

// A refresh evaluation: the rest surface is the current one, the rest frames of the points
// below a split are already built (by the task beside the map scatter) and those points only
// slide; the sweep from the split on builds the rest and slides. Wherever the split falls,
// points and rest frames are the plain ones, byte for byte. Points read their own parameters
// (the rest frame then lends the slide its point and, at the same v, its columns) or others'.
TEST_F(WideSlide, RefreshingSweepFromAnySplitGivesThePlainPointsAndRestFrames) {
    for (const Case& c : kCases) for (bool ownParameters : {false, true}) {
        Scene scene = makeScene(c, 9);
        scene.rest = scene.surface;
        if (ownParameters)
            for (size_t k = 0; k < scene.indices.size(); ++k)
                if (scene.indices[k] >= 0 && scene.indices[k] < static_cast<int32_t>(scene.indices.size()))
                    scene.indices[k] = static_cast<int32_t>(k);
        const int n = static_cast<int>(scene.uparams.size());
        for (int k = 0; k < n; ++k)
            scene.inverses[static_cast<size_t>(k)] = restFrameInverse(scene.rest, scene.uparams[k], scene.vparams[k]);
        const std::vector<KxPoint> expected = plainSlide(scene);
        for (SlideBuild build : builds) {
            for (int split : {0, 5, 8, 16, 33, n}) {
                if (split > n) continue;
                Scene wide = scene;
                wide.inverses.assign(static_cast<size_t>(n), Imath::M44d(0.0));  // nothing left from elsewhere
                const quelvarn::kernels::KernelSlideInputs in = kernelSlideInputs(wide.inputs());
                double* inverses = reinterpret_cast<double*>(wide.inverses.data());
                double* points = reinterpret_cast<double*>(wide.points.data());
                quelvarn::kernels::restFrameInverses(build, kernelSurface(wide.rest), wide.uparams.data(),
                                                     wide.vparams.data(), 0, split, inverses);
                quelvarn::kernels::slideRange(build, in, 0, split, points);
                quelvarn::kernels::refreshAndSlideRange(build, in, inverses, split, n, points);
                for (int k = 0; k < n; ++k) {
                    const size_t at = static_cast<size_t>(k);
                    EXPECT_EQ(std::memcmp(&wide.points[at], &expected[at], sizeof(KxPoint)), 0)
                        << c.name << (ownParameters ? ", own" : "") << ", " << buildName(build) << ", split " << split
                        << ", point " << k;
                    EXPECT_EQ(std::memcmp(&wide.inverses[at], &scene.inverses[at], sizeof(Imath::M44d)), 0)
                        << c.name << ", " << buildName(build) << ", split " << split << ", frame " << k;
                }
            }
        }
    }
}

}  // namespace
