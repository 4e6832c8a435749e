/*
 * ray_bvh.cpp - the bounding-volume hierarchy behind D3DXIntersect.
 *
 * Construction splits each node along its longest centroid axis at the best of 12 binned
 * surface-area candidates; traversal visits the nearer child first and skips any box that
 * starts beyond the best hit so far.  A query allocates nothing.
 */
#include "ray_bvh.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace tavrok::d3dx9 {
namespace {

constexpr uint32_t kLeafSize = 4;
constexpr int kBins = 12;
// Deeper nodes become leaves, so that a traversal stack of kMaxDepth + 1 entries suffices.
constexpr int kMaxDepth = 60;

D3DXVECTOR3 Min(const D3DXVECTOR3 &a, const D3DXVECTOR3 &b)
{
    return D3DXVECTOR3(std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z));
}
D3DXVECTOR3 Max(const D3DXVECTOR3 &a, const D3DXVECTOR3 &b)
{
    return D3DXVECTOR3(std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z));
}
float Axis(const D3DXVECTOR3 &v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }
float HalfArea(const D3DXVECTOR3 &lo, const D3DXVECTOR3 &hi)
{
    D3DXVECTOR3 d = hi - lo;
    return d.x * d.y + d.y * d.z + d.z * d.x;
}

// Entry distance of the ray into a box, or +infinity when it misses or starts beyond tMax.
float EnterBox(const D3DXVECTOR3 &lo, const D3DXVECTOR3 &hi, const D3DXVECTOR3 &origin, const D3DXVECTOR3 &inv,
               float tMax)
{
    float t0 = 0.0f, t1 = tMax;
    for (int a = 0; a < 3; ++a) {
        float o = Axis(origin, a), i = Axis(inv, a);
        float tNear = (Axis(lo, a) - o) * i, tFar = (Axis(hi, a) - o) * i;
        if (tNear > tFar)
            std::swap(tNear, tFar);
        // A ray parallel to a slab gives NaN or infinities; NaN compares false and keeps t0/t1.
        if (tNear > t0) t0 = tNear;
        if (tFar < t1) t1 = tFar;
        if (t0 > t1)
            return INFINITY;
    }
    return t0;
}

}  // namespace

bool IntersectTriangle(const D3DXVECTOR3 &origin, const D3DXVECTOR3 &dir, const D3DXVECTOR3 &a,
                       const D3DXVECTOR3 &b, const D3DXVECTOR3 &c, float *t, float *u, float *v)
{
    D3DXVECTOR3 e1 = b - a, e2 = c - a, p, q;
    D3DXVec3Cross(&p, &dir, &e2);
    float det = D3DXVec3Dot(&e1, &p);
    if (det == 0.0f || !std::isfinite(det))
        return false;
    float inv = 1.0f / det;
    D3DXVECTOR3 s = origin - a;
    float uu = D3DXVec3Dot(&s, &p) * inv;
    if (uu < 0.0f || uu > 1.0f)
        return false;
    D3DXVec3Cross(&q, &s, &e1);
    float vv = D3DXVec3Dot(&dir, &q) * inv;
    if (vv < 0.0f || uu + vv > 1.0f)
        return false;
    float tt = D3DXVec3Dot(&e2, &q) * inv;
    if (tt < 0.0f)
        return false;
    *t = tt;
    *u = uu;
    *v = vv;
    return true;
}

RayBvh::RayBvh(std::vector<D3DXVECTOR3> positions, std::vector<uint32_t> indices)
    : positions_(std::move(positions)), indices_(std::move(indices))
{
    uint32_t faces = uint32_t(indices_.size() / 3);
    order_.resize(faces);
    centroids_.resize(faces);
    for (uint32_t f = 0; f < faces; ++f) {
        order_[f] = f;
        D3DXVECTOR3 a, b, c;
        Triangle(f, &a, &b, &c);
        centroids_[f] = (a + b + c) * (1.0f / 3.0f);
    }
    nodes_.reserve(faces ? 2 * faces / kLeafSize + 1 : 1);
    if (faces)
        Build(0, faces, 0);
    centroids_.clear();
    centroids_.shrink_to_fit();
}

void RayBvh::Triangle(uint32_t face, D3DXVECTOR3 *a, D3DXVECTOR3 *b, D3DXVECTOR3 *c) const
{
    *a = positions_[indices_[3 * face]];
    *b = positions_[indices_[3 * face + 1]];
    *c = positions_[indices_[3 * face + 2]];
}

uint32_t RayBvh::Build(uint32_t begin, uint32_t end, int depth)
{
    uint32_t index = uint32_t(nodes_.size());
    nodes_.push_back(Node{});
    D3DXVECTOR3 lo(FLT_MAX, FLT_MAX, FLT_MAX), hi(-FLT_MAX, -FLT_MAX, -FLT_MAX);
    D3DXVECTOR3 clo = lo, chi = hi;
    for (uint32_t i = begin; i < end; ++i) {
        D3DXVECTOR3 a, b, c;
        Triangle(order_[i], &a, &b, &c);
        lo = Min(lo, Min(a, Min(b, c)));
        hi = Max(hi, Max(a, Max(b, c)));
        clo = Min(clo, centroids_[order_[i]]);
        chi = Max(chi, centroids_[order_[i]]);
    }
    nodes_[index].lo = lo;
    nodes_[index].hi = hi;

    uint32_t count = end - begin;
    D3DXVECTOR3 extent = chi - clo;
    int axis = extent.x >= extent.y && extent.x >= extent.z ? 0 : extent.y >= extent.z ? 1 : 2;
    float span = Axis(extent, axis);
    if (count <= kLeafSize || span <= 0.0f || depth >= kMaxDepth) {
        nodes_[index].first = begin;
        nodes_[index].count = count;
        return index;
    }

    // Binned surface-area heuristic along the chosen axis.
    struct Bin {
        D3DXVECTOR3 lo{FLT_MAX, FLT_MAX, FLT_MAX}, hi{-FLT_MAX, -FLT_MAX, -FLT_MAX};
        uint32_t count = 0;
    } bins[kBins];
    float base = Axis(clo, axis), scale = kBins / span;
    auto binOf = [&](uint32_t face) {
        int b = int((Axis(centroids_[face], axis) - base) * scale);
        return std::min(std::max(b, 0), kBins - 1);
    };
    for (uint32_t i = begin; i < end; ++i) {
        D3DXVECTOR3 a, b, c;
        Triangle(order_[i], &a, &b, &c);
        Bin &bin = bins[binOf(order_[i])];
        bin.lo = Min(bin.lo, Min(a, Min(b, c)));
        bin.hi = Max(bin.hi, Max(a, Max(b, c)));
        ++bin.count;
    }
    float bestCost = FLT_MAX;
    int bestSplit = -1;
    for (int split = 1; split < kBins; ++split) {
        Bin left, right;
        for (int b = 0; b < split; ++b) {
            left.lo = Min(left.lo, bins[b].lo);
            left.hi = Max(left.hi, bins[b].hi);
            left.count += bins[b].count;
        }
        for (int b = split; b < kBins; ++b) {
            right.lo = Min(right.lo, bins[b].lo);
            right.hi = Max(right.hi, bins[b].hi);
            right.count += bins[b].count;
        }
        if (!left.count || !right.count)
            continue;
        float cost = left.count * HalfArea(left.lo, left.hi) + right.count * HalfArea(right.lo, right.hi);
        if (cost < bestCost) {
            bestCost = cost;
            bestSplit = split;
        }
    }
    uint32_t mid;
    if (bestSplit < 0) {
        mid = begin + count / 2;
        std::nth_element(order_.begin() + begin, order_.begin() + mid, order_.begin() + end,
                         [&](uint32_t x, uint32_t y) { return Axis(centroids_[x], axis) < Axis(centroids_[y], axis); });
    } else {
        mid = uint32_t(std::partition(order_.begin() + begin, order_.begin() + end,
                                      [&](uint32_t f) { return binOf(f) < bestSplit; }) -
                       order_.begin());
    }
    Build(begin, mid, depth + 1);  // the left child always follows its parent
    uint32_t right = Build(mid, end, depth + 1);
    nodes_[index].first = right;
    nodes_[index].count = 0;
    return index;
}

RayHit RayBvh::Nearest(const D3DXVECTOR3 &origin, const D3DXVECTOR3 &dir) const
{
    RayHit best;
    if (nodes_.empty())
        return best;
    D3DXVECTOR3 inv(1.0f / dir.x, 1.0f / dir.y, 1.0f / dir.z);
    float bestT = INFINITY;
    uint32_t stack[kMaxDepth + 2];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        const Node &node = nodes_[stack[--top]];
        if (EnterBox(node.lo, node.hi, origin, inv, bestT) == INFINITY)
            continue;
        if (node.count > 0) {
            for (uint32_t i = node.first; i < node.first + node.count; ++i) {
                uint32_t face = order_[i];
                D3DXVECTOR3 a, b, c;
                Triangle(face, &a, &b, &c);
                float t, u, v;
                // Ties go to the lower face index, as a scan in face order would give.
                if (IntersectTriangle(origin, dir, a, b, c, &t, &u, &v) &&
                    (t < bestT || (t == bestT && face < best.face))) {
                    bestT = t;
                    best = RayHit{true, face, u, v, t};
                }
            }
            continue;
        }
        uint32_t leftIndex = uint32_t(&node - nodes_.data()) + 1, rightIndex = node.first;
        float tl = EnterBox(nodes_[leftIndex].lo, nodes_[leftIndex].hi, origin, inv, bestT);
        float tr = EnterBox(nodes_[rightIndex].lo, nodes_[rightIndex].hi, origin, inv, bestT);
        // Push the farther child first so that the nearer one is visited first.
        if (tl <= tr) {
            if (tr != INFINITY) stack[top++] = rightIndex;
            if (tl != INFINITY) stack[top++] = leftIndex;
        } else {
            if (tl != INFINITY) stack[top++] = leftIndex;
            if (tr != INFINITY) stack[top++] = rightIndex;
        }
    }
    return best;
}

std::vector<RayHit> RayBvh::All(const D3DXVECTOR3 &origin, const D3DXVECTOR3 &dir) const
{
    std::vector<RayHit> hits;
    uint32_t faces = uint32_t(indices_.size() / 3);
    for (uint32_t f = 0; f < faces; ++f) {
        D3DXVECTOR3 a, b, c;
        Triangle(f, &a, &b, &c);
        float t, u, v;
        if (IntersectTriangle(origin, dir, a, b, c, &t, &u, &v))
            hits.push_back(RayHit{true, f, u, v, t});
    }
    return hits;
}

RayHit RayBvh::BruteForce(const D3DXVECTOR3 &origin, const D3DXVECTOR3 &dir) const
{
    RayHit best;
    for (const RayHit &h : All(origin, dir))
        if (!best.hit || h.t < best.t)
            best = h;
    return best;
}

}  // namespace tavrok::d3dx9
