#include "nurbs_patch_tree.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace hostapi::nurbs {

namespace {

// A piece is split while its tangent may turn by more than about this angle (radians): the
// second differences of a degree-n net, times n (n - 1), bound the second derivative, and
// strongly varying weights bend a rational piece further. Within such a piece the distance
// has one minimum and the hull is thin. A bilinear net is split while it twists by more than
// kTwist of its size.
constexpr double kTurn = 0.9;
constexpr double kTwist = 0.15;
constexpr int kMaxSplitsPerDirection = 5;  // at most 32 x 32 pieces per patch
// Control nets up to this size are kept for the half-space test of a query.
constexpr size_t kMaxHullSize = 36;

double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec3 add(const Vec3& a, const Vec3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
Vec3 scale(const Vec3& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
double norm(const Vec3& a) { return std::sqrt(dot(a, a)); }
Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// What building needs of a piece: its control net in space and its mean tangent directions.
struct PieceNet {
    std::vector<Vec3> points;
    Vec3 alongU, alongV;  // sums of the net's end-to-end legs in each direction
};

// The frame of the oriented box: the normal of the summed tangents, or the world axes where
// the tangents cancel out (closed or strongly curved regions).
void chooseAxes(const Vec3& alongU, const Vec3& normal, double normalScale, double axes[3][3]) {
    const double length = norm(normal);
    Vec3 e3{0.0, 0.0, 1.0}, e1{1.0, 0.0, 0.0};
    if (length > 1e-3 * normalScale && length > 0.0) {
        e3 = scale(normal, 1.0 / length);
        Vec3 t = sub(alongU, scale(e3, dot(alongU, e3)));
        if (!(norm(t) > 1e-9 * norm(alongU))) t = std::abs(e3[0]) < 0.9 ? Vec3{1.0, 0.0, 0.0} : Vec3{0.0, 1.0, 0.0};
        t = sub(t, scale(e3, dot(t, e3)));
        e1 = scale(t, 1.0 / norm(t));
    }
    const Vec3 e2 = cross(e3, e1);
    for (int c = 0; c < 3; ++c) {
        axes[0][c] = e1[c];
        axes[1][c] = e2[c];
        axes[2][c] = e3[c];
    }
}

// Bounds of a point set, widened by a hair so that rounding in the net never lets the
// surface poke out.
void fitBound(const std::vector<const PieceNet*>& nets, const Vec3& alongU, const Vec3& normal, double normalScale,
              PatchBound& bound) {
    chooseAxes(alongU, normal, normalScale, bound.axes);
    for (int c = 0; c < 3; ++c) {
        bound.low[c] = std::numeric_limits<double>::infinity();
        bound.high[c] = -std::numeric_limits<double>::infinity();
    }
    double size = 0.0;
    for (const PieceNet* net : nets) {
        for (const Vec3& p : net->points) {
            for (int c = 0; c < 3; ++c) {
                const double x = bound.axes[c][0] * p[0] + bound.axes[c][1] * p[1] + bound.axes[c][2] * p[2];
                bound.low[c] = std::min(bound.low[c], x);
                bound.high[c] = std::max(bound.high[c], x);
                size = std::max(size, std::abs(p[c]));
            }
        }
    }
    const double margin = 1e-12 * size;
    for (int c = 0; c < 3; ++c) {
        bound.low[c] -= margin;
        bound.high[c] += margin;
    }
}

struct HeapEntry {
    double bound;
    uint32_t node;
    bool operator>(const HeapEntry& other) const { return bound > other.bound; }
};

}  // namespace

double PatchBound::distance2(const Vec3& p) const {
    double sum = 0.0;
    for (int c = 0; c < 3; ++c) {
        const double x = axes[c][0] * p[0] + axes[c][1] * p[1] + axes[c][2] * p[2];
        const double gap = std::max(low[c] - x, x - high[c]);
        if (gap > 0.0) sum += gap * gap;
    }
    return sum;
}

PatchTree::PatchTree(const PreparedSurface& surface)
    : patches_(surface),
      rangeU_(surface.endU - surface.startU),
      rangeV_(surface.endV - surface.startV),
      startU_(surface.startU),
      startV_(surface.startV) {
    const int p = patches_.degreeU, q = patches_.degreeV;
    const size_t rowLength = static_cast<size_t>(q + 1);
    const size_t netSize = netSize_ = static_cast<size_t>(p + 1) * rowLength;
    std::vector<PieceNet> nets;

    // Splits [s0, s1] x [t0, t1] of a patch (local parameters) until its net is flat.
    std::vector<Hom> column(netSize), net(netSize);
    std::function<void(uint32_t, double, double, double, double, int, int)> split =
        [&](uint32_t index, double s0, double s1, double t0, double t1, int splitsU, int splitsV) {
            const BezierPatch& patch = patches_.patches[index];
            const Hom* cv = patches_.controlPoints(patch);
            for (size_t j = 0; j <= static_cast<size_t>(q); ++j) restrictBezier(cv + j, p, rowLength, s0, s1, column.data() + j);
            for (size_t i = 0; i <= static_cast<size_t>(p); ++i)
                restrictBezier(column.data() + i * rowLength, q, 1, t0, t1, net.data() + i * rowLength);
            PieceNet piece;
            double lightest = net[0][3], heaviest = net[0][3];
            for (const Hom& h : net) {
                piece.points.push_back({h[0] / h[3], h[1] / h[3], h[2] / h[3]});
                lightest = std::min(lightest, h[3]);
                heaviest = std::max(heaviest, h[3]);
            }
            auto at = [&](int i, int j) { return piece.points[static_cast<size_t>(i) * rowLength + j]; };
            double bendU = 0.0, bendV = 0.0, size = 0.0;
            piece.alongU = piece.alongV = {0.0, 0.0, 0.0};
            for (int j = 0; j <= q; ++j) {
                piece.alongU = add(piece.alongU, sub(at(p, j), at(0, j)));
                size = std::max(size, norm(sub(at(p, j), at(0, j))));
                for (int i = 1; i < p; ++i) bendU = std::max(bendU, norm(add(sub(at(i - 1, j), scale(at(i, j), 2.0)), at(i + 1, j))));
            }
            for (int i = 0; i <= p; ++i) {
                piece.alongV = add(piece.alongV, sub(at(i, q), at(i, 0)));
                size = std::max(size, norm(sub(at(i, q), at(i, 0))));
                for (int j = 1; j < q; ++j) bendV = std::max(bendV, norm(add(sub(at(i, j - 1), scale(at(i, j), 2.0)), at(i, j + 1))));
            }
            const double twist = norm(sub(add(at(0, 0), at(p, q)), add(at(p, 0), at(0, q))));
            const bool canU = splitsU < kMaxSplitsPerDirection, canV = splitsV < kMaxSplitsPerDirection;
            const double weighting = (heaviest / lightest) * (heaviest / lightest);
            bendU *= p * (p - 1) * weighting;
            bendV *= q * (q - 1) * weighting;
            const double limit = kTurn * size, twisted = kTwist * size;
            const bool bentU = canU && (bendU > limit || (twist > twisted && bendU >= bendV));
            const bool bentV = canV && (bendV > limit || (twist > twisted && bendV > bendU));
            if (bentU && (!bentV || bendU >= bendV)) {
                const double m = 0.5 * (s0 + s1);
                split(index, s0, m, t0, t1, splitsU + 1, splitsV);
                split(index, m, s1, t0, t1, splitsU + 1, splitsV);
                return;
            }
            if (bentV) {
                const double m = 0.5 * (t0 + t1);
                split(index, s0, s1, t0, m, splitsU, splitsV + 1);
                split(index, s0, s1, m, t1, splitsU, splitsV + 1);
                return;
            }
            // Local parameters back to the surface's: the patch's own ends stay exact knots.
            auto global = [](double a, double b, double s) { return s == 0.0 ? a : s == 1.0 ? b : a + (b - a) * s; };
            Piece made{};
            made.rect = {global(patch.u0, patch.u1, s0), global(patch.u0, patch.u1, s1),
                         global(patch.v0, patch.v1, t0), global(patch.v0, patch.v1, t1)};
            made.patch = index;
            made.hull = kNoHull;
            made.corners[0] = at(0, 0);
            made.corners[1] = at(p, 0);
            made.corners[2] = at(0, q);
            made.corners[3] = at(p, q);
            made.collapsed = 0;
            auto isPoint = [&](int i0, int i1, int j0, int j1) {
                for (int i = i0; i <= i1; ++i)
                    for (int j = j0; j <= j1; ++j)
                        if (norm(sub(at(i, j), at(i0, j0))) > 1e-12 * size) return false;
                return true;
            };
            if (isPoint(0, 0, 0, q)) made.collapsed |= 1u;
            if (isPoint(p, p, 0, q)) made.collapsed |= 2u;
            if (isPoint(0, p, 0, 0)) made.collapsed |= 4u;
            if (isPoint(0, p, q, q)) made.collapsed |= 8u;
            if (netSize <= kMaxHullSize) {
                made.hull = static_cast<uint32_t>(hullPoints_.size());
                hullPoints_.insert(hullPoints_.end(), piece.points.begin(), piece.points.end());
            }
            made.centreU = 0.5 * (made.rect.u0 + made.rect.u1);
            made.centreV = 0.5 * (made.rect.v0 + made.rect.v1);
            const SurfaceDerivatives d = patches_.derivatives(patch, made.centreU, made.centreV);
            made.origin = d.point;
            // Rows of the pseudo-inverse of [du dv]; zero where the tangents degenerate.
            const double a = dot(d.du, d.du), b = dot(d.du, d.dv), c = dot(d.dv, d.dv);
            const double det = a * c - b * b;
            made.rowU = made.rowV = {0.0, 0.0, 0.0};
            if (det > 1e-12 * a * c && std::isfinite(det)) {
                made.rowU = scale(sub(scale(d.du, c), scale(d.dv, b)), 1.0 / det);
                made.rowV = scale(sub(scale(d.dv, a), scale(d.du, b)), 1.0 / det);
            }
            pieces_.push_back(made);
            nets.push_back(std::move(piece));
        };
    for (uint32_t k = 0; k < patches_.patches.size(); ++k) split(k, 0.0, 1.0, 0.0, 1.0, 0, 0);

    // The tree: split each set of pieces at the median of their centres along the longest
    // axis of those centres.
    std::vector<Vec3> centres(pieces_.size());
    for (size_t k = 0; k < pieces_.size(); ++k) {
        Vec3 sum{0.0, 0.0, 0.0};
        for (const Vec3& pt : nets[k].points) sum = add(sum, pt);
        centres[k] = scale(sum, 1.0 / static_cast<double>(nets[k].points.size()));
    }
    std::vector<uint32_t> order(pieces_.size());
    for (uint32_t k = 0; k < order.size(); ++k) order[k] = k;
    nodes_.reserve(2 * pieces_.size());
    nodes_.emplace_back();
    std::function<void(size_t, size_t, size_t)> build = [&](size_t nodeIndex, size_t first, size_t last) {
        std::vector<const PieceNet*> members;
        Vec3 alongU{0.0, 0.0, 0.0}, normal{0.0, 0.0, 0.0};
        double normalScale = 0.0;
        for (size_t k = first; k < last; ++k) {
            const PieceNet& n = nets[order[k]];
            members.push_back(&n);
            const Vec3 pieceNormal = cross(n.alongU, n.alongV);
            alongU = add(alongU, n.alongU);
            normal = add(normal, pieceNormal);
            normalScale += norm(pieceNormal);
        }
        fitBound(members, alongU, normal, normalScale, nodes_[nodeIndex].bound);
        if (last - first == 1) {
            nodes_[nodeIndex].piece = static_cast<int32_t>(order[first]);
            nodes_[nodeIndex].firstChild = 0;
            return;
        }
        Vec3 low = centres[order[first]], high = low;
        for (size_t k = first; k < last; ++k)
            for (int c = 0; c < 3; ++c) {
                low[c] = std::min(low[c], centres[order[k]][c]);
                high[c] = std::max(high[c], centres[order[k]][c]);
            }
        int axis = 0;
        for (int c = 1; c < 3; ++c)
            if (high[c] - low[c] > high[axis] - low[axis]) axis = c;
        const size_t middle = (first + last) / 2;
        std::nth_element(order.begin() + first, order.begin() + middle, order.begin() + last,
                         [&](uint32_t a, uint32_t b) { return centres[a][axis] < centres[b][axis]; });
        const size_t child = nodes_.size();
        nodes_[nodeIndex].piece = -1;
        nodes_[nodeIndex].firstChild = static_cast<uint32_t>(child);
        nodes_.emplace_back();
        nodes_.emplace_back();
        build(child, first, middle);
        build(child + 1, middle, last);
    };
    build(0, 0, pieces_.size());
}

LocalMinimum PatchTree::closest(const Vec3& target) const {
    // Each node enters the heap at most once, so a per-thread buffer of the node count never
    // grows during a query; raw pointers keep the thread-local lookup out of the loop.
    thread_local std::vector<HeapEntry> scratch;
    std::vector<HeapEntry>& buffer = scratch;
    if (buffer.size() < nodes_.size()) buffer.resize(nodes_.size());
    HeapEntry* const heap = buffer.data();
    size_t heapSize = 0;
    const auto nearestOnTop = std::greater<HeapEntry>();
    LocalMinimum best{startU_, startV_, std::numeric_limits<double>::infinity(), {0.0, 0.0, 0.0}};
    bool found = false;
    // The half-space through the best point so far that faces the target: a piece whose
    // whole net lies at least the best distance behind it cannot hold a closer point.
    Vec3 facing{0.0, 0.0, 0.0};
    double facingTarget = 0.0, bestDistance = std::numeric_limits<double>::infinity();
    // An opened node goes on with its nearer child directly while that is still the nearest
    // candidate: the same order as popping it, without the heap round trip.
    HeapEntry current{nodes_[0].bound.distance2(target), 0};
    bool haveCurrent = true;
    while (true) {
        if (!haveCurrent) {
            if (heapSize == 0) break;
            std::pop_heap(heap, heap + heapSize, nearestOnTop);
            current = heap[--heapSize];
        }
        haveCurrent = false;
        const HeapEntry entry = current;
        if (found && !(entry.bound < best.d2)) break;
        const Node& node = nodes_[entry.node];
        if (node.piece < 0) {
            const uint32_t a = node.firstChild, b = a + 1;
            const double boundA = nodes_[a].bound.distance2(target), boundB = nodes_[b].bound.distance2(target);
            const bool aNearer = !(boundB < boundA);
            const HeapEntry nearer{aNearer ? boundA : boundB, aNearer ? a : b};
            const HeapEntry farther{aNearer ? boundB : boundA, aNearer ? b : a};
            if (!found || farther.bound < best.d2) {
                heap[heapSize++] = farther;
                std::push_heap(heap, heap + heapSize, nearestOnTop);
            }
            if (!found || nearer.bound < best.d2) {
                if (heapSize > 0 && heap[0].bound < nearer.bound) {
                    heap[heapSize++] = nearer;
                    std::push_heap(heap, heap + heapSize, nearestOnTop);
                } else {
                    current = nearer;
                    haveCurrent = true;
                }
            }
            continue;
        }
        const Piece& piece = pieces_[static_cast<size_t>(node.piece)];
        if (found && piece.hull != kNoHull && bestDistance > 0.0) {
            double support = -std::numeric_limits<double>::infinity();
            const Vec3* net = &hullPoints_[piece.hull];
            for (size_t k = 0; k < netSize_; ++k) support = std::max(support, dot(facing, net[k]));
            if (facingTarget - support >= bestDistance) continue;
        }
        const ParameterRect& r = piece.rect;
        double u, v;
        if (found && std::abs(std::clamp(best.u, r.u0, r.u1) - best.u) <= r.u1 - r.u0 &&
            std::abs(std::clamp(best.v, r.v0, r.v1) - best.v) <= r.v1 - r.v0) {
            // Beside the best point so far: the minimum here is usually on the shared edge,
            // a step or two from its nearest parameters.
            u = std::clamp(best.u, r.u0, r.u1);
            v = std::clamp(best.v, r.v0, r.v1);
        } else {
            const Vec3 offset = sub(target, piece.origin);
            u = std::clamp(piece.centreU + dot(piece.rowU, offset), r.u0, r.u1);
            v = std::clamp(piece.centreV + dot(piece.rowV, offset), r.v0, r.v1);
            if (!(u == u && v == v)) u = piece.centreU, v = piece.centreV;
        }
        const BezierPatch& patch = patches_.patches[piece.patch];
        LocalMinimum m = descend(patches_, patch, r, rangeU_, rangeV_, target, u, v);
        // A piece's distance can have a second minimum at a corner (a far target seen across
        // an arched edge); a corner nearer than the descent's end starts one more descent.
        int nearest = -1;
        double nearest2 = m.d2;
        for (int k = 0; k < 4; ++k) {
            const Vec3 offset = sub(target, piece.corners[k]);
            const double d2 = dot(offset, offset);
            if (d2 < nearest2) nearest = k, nearest2 = d2;
        }
        if (nearest >= 0) {
            const LocalMinimum again = descend(patches_, patch, r, rangeU_, rangeV_, target, nearest & 1 ? r.u1 : r.u0,
                                               nearest & 2 ? r.v1 : r.v0);
            if (again.d2 < m.d2) m = again;
        }
        // Stalled on a pole: every corner off it starts a descent, which can slide along the
        // piece's edges to the minimum next to the pole.
        const bool onPole = ((piece.collapsed & 1u) && m.u == r.u0) || ((piece.collapsed & 2u) && m.u == r.u1) ||
                            ((piece.collapsed & 4u) && m.v == r.v0) || ((piece.collapsed & 8u) && m.v == r.v1);
        for (int k = 0; onPole && k < 4; ++k) {
            const LocalMinimum again =
                descend(patches_, patch, r, rangeU_, rangeV_, target, k & 1 ? r.u1 : r.u0, k & 2 ? r.v1 : r.v0);
            if (again.d2 < m.d2) m = again;
        }
        if (!found || m.d2 < best.d2) {
            best = m;
            bestDistance = std::sqrt(best.d2);
            const Vec3 toTarget = sub(target, best.point);
            facing = bestDistance > 0.0 ? scale(toTarget, 1.0 / bestDistance) : Vec3{0.0, 0.0, 0.0};
            facingTarget = dot(facing, target);
        }
        found = true;
    }
    return best;
}

}  // namespace hostapi::nurbs
