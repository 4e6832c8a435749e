/*
 * ray_bvh.h - nearest-hit ray queries against a triangle soup, through a bounding-volume
 * hierarchy.
 *
 * Built once from positions and triangle indices (binned surface-area split, 4 triangles
 * per leaf at most); queried with a ray origin and an unnormalised direction.  Both sides
 * of every triangle count.  The distance reported is the ray parameter t of the hit
 * (point = origin + t * direction), as D3DXIntersect reports it.
 */
#ifndef TAVROK_D3DX9_RAY_BVH_H
#define TAVROK_D3DX9_RAY_BVH_H

#include <d3dx9math.h>

#include <cstdint>
#include <vector>

namespace tavrok::d3dx9 {

struct RayHit {
    bool hit = false;
    uint32_t face = 0;
    float u = 0, v = 0;  // barycentric weights of the second and third corners
    float t = 0;
};

// Moller-Trumbore intersection of one ray with one triangle, both sides; t >= 0 only.
bool IntersectTriangle(const D3DXVECTOR3 &origin, const D3DXVECTOR3 &dir, const D3DXVECTOR3 &a,
                       const D3DXVECTOR3 &b, const D3DXVECTOR3 &c, float *t, float *u, float *v);

class RayBvh {
public:
    // indices: three per triangle, each below positions.size().
    RayBvh(std::vector<D3DXVECTOR3> positions, std::vector<uint32_t> indices);

    RayHit Nearest(const D3DXVECTOR3 &origin, const D3DXVECTOR3 &dir) const;
    // Every hit along the ray, in face order (for the all-hits buffer).
    std::vector<RayHit> All(const D3DXVECTOR3 &origin, const D3DXVECTOR3 &dir) const;
    // The same answer by testing every triangle: the reference the hierarchy must equal.
    RayHit BruteForce(const D3DXVECTOR3 &origin, const D3DXVECTOR3 &dir) const;

    size_t NodeCount() const { return nodes_.size(); }

private:
    struct Node {
        D3DXVECTOR3 lo, hi;
        uint32_t first;  // leaf: first entry in order_; inner: index of the left child
        uint32_t count;  // leaf: number of triangles; inner: 0
    };
    uint32_t Build(uint32_t begin, uint32_t end, int depth);
    void Triangle(uint32_t face, D3DXVECTOR3 *a, D3DXVECTOR3 *b, D3DXVECTOR3 *c) const;

    std::vector<D3DXVECTOR3> positions_;
    std::vector<uint32_t> indices_;
    std::vector<uint32_t> order_;  // faces, grouped by leaf
    std::vector<D3DXVECTOR3> centroids_;
    std::vector<Node> nodes_;
};

}  // namespace tavrok::d3dx9

#endif
