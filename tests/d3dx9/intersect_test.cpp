// Ray queries: the hierarchy against brute force on random triangle soups, D3DXIntersect
// on real meshes, including a write to the mesh after the first query, one subset of a
// mesh, and the triangle, box and sphere probes (grazing, parallel and degenerate cases).
#include "../../platform/d3dx9/ray_bvh.h"

#include <d3dx9.h>

#include "d3dx9/mesh_test_util.h"

#include <gtest/gtest.h>

#include <random>

using tavrok::d3dx9::RayBvh;
using tavrok::d3dx9::RayHit;

namespace {

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

// A grid of n x n unit quads on the plane z = 0, two triangles each.
ID3DXMesh *MakeGrid(IDirect3DDevice9 *device, int n, DWORD fvf)
{
    const DWORD stride = D3DXGetFVFVertexSize(fvf);
    std::vector<BYTE> vertices(size_t(n + 1) * (n + 1) * stride, 0);
    std::vector<DWORD> indices;
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) {
            const D3DXVECTOR3 p(float(x), float(y), 0.0f);
            memcpy(&vertices[stride * (y * (n + 1) + x)], &p, sizeof p);
            if (x < n && y < n) {
                DWORD a = DWORD(y * (n + 1) + x), b = a + 1, c = a + n + 1, d = c + 1;
                indices.insert(indices.end(), {a, c, b, b, c, d});
            }
        }
    return meshtest::MeshFrom(device, fvf, vertices, indices);
}

class IntersectMesh : public testsupport::NullDeviceTest {};

TEST_F(IntersectMesh, NearestHitDistanceFaceAndRebuildAfterAWrite)
{
    ID3DXMesh *mesh = MakeGrid(device_, 20, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    ASSERT_NE(mesh, nullptr);
    BOOL hit = FALSE;
    DWORD face = 0, count = 0;
    float u, v, dist = 0;
    D3DXVECTOR3 origin(3.25f, 4.5f, -2.0f), dir(0, 0, 0.5f);
    ASSERT_EQ(D3DXIntersect(mesh, &origin, &dir, &hit, &face, &u, &v, &dist, NULL, NULL), D3D_OK);
    EXPECT_TRUE(hit);
    EXPECT_FLOAT_EQ(dist, 4.0f);  // the ray parameter with a direction of length 0.5
    EXPECT_EQ(face / 2, DWORD(4 * 20 + 3));

    // From behind the plane it hits too (both sides count); away from it, nothing.
    D3DXVECTOR3 behind(3.25f, 4.5f, 1.0f), back(0, 0, -1), away(0, 0, 1);
    D3DXIntersect(mesh, &behind, &back, &hit, NULL, NULL, NULL, &dist, NULL, NULL);
    EXPECT_TRUE(hit);
    EXPECT_FLOAT_EQ(dist, 1.0f);
    D3DXIntersect(mesh, &behind, &away, &hit, NULL, NULL, NULL, &dist, NULL, NULL);
    EXPECT_FALSE(hit);

    // All hits: a ray through a shared edge meets both faces.
    ID3DXBuffer *all = NULL;
    D3DXVECTOR3 corner(5.0f, 5.0f, -1.0f), along(0, 0, 1);
    D3DXIntersect(mesh, &corner, &along, &hit, NULL, NULL, NULL, &dist, &all, &count);
    EXPECT_TRUE(hit);
    EXPECT_GE(count, 2u);
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(all->GetBufferSize(), count * sizeof(D3DXINTERSECTINFO));
    all->Release();

    // Moving the vertices after a query: the next query sees the new geometry.
    BYTE *vb = nullptr;
    DWORD stride = mesh->GetNumBytesPerVertex();
    mesh->LockVertexBuffer(0, (void **)&vb);
    for (DWORD i = 0; i < mesh->GetNumVertices(); ++i)
        ((D3DXVECTOR3 *)(vb + i * stride))->z = 3.0f;
    mesh->UnlockVertexBuffer();
    D3DXIntersect(mesh, &origin, &dir, &hit, NULL, NULL, NULL, &dist, NULL, NULL);
    EXPECT_TRUE(hit);
    EXPECT_FLOAT_EQ(dist, 10.0f);

    EXPECT_EQ(D3DXIntersect(NULL, &origin, &dir, &hit, NULL, NULL, NULL, &dist, NULL, NULL), D3DERR_INVALIDCALL);
    mesh->Release();
}

// Two quads facing the ray, the near one (z = 1) in subset 0, the far one (z = 2) in subset 1.
TEST_F(IntersectMesh, ASubsetIsHitThroughTheFacesOfItsAttributeOnly)
{
    std::vector<D3DXVECTOR3> p;
    for (int q = 0; q < 2; ++q)
        for (int i = 0; i < 4; ++i)
            p.push_back(D3DXVECTOR3(float(i & 1), float(i >> 1), float(q + 1)));
    const WORD quads[12] = {0, 2, 1, 1, 2, 3, 4, 6, 5, 5, 6, 7};
    ID3DXMesh *mesh = meshtest::MeshFrom(device_, D3DFVF_XYZ, p, std::vector<DWORD>(quads, quads + 12), {0, 0, 1, 1});
    ASSERT_NE(mesh, nullptr);
    WORD *idx = nullptr;
    DWORD *attributes = nullptr;
    const D3DXVECTOR3 origin(0.75f, 0.6f, 0), dir(0, 0, 1);
    BOOL hit = FALSE;
    DWORD face = 99, count = 0;
    float u = 0, v = 0, dist = 0;
    ASSERT_EQ(D3DXIntersect(mesh, &origin, &dir, &hit, &face, &u, &v, &dist, NULL, &count), D3D_OK);
    EXPECT_TRUE(hit);
    EXPECT_EQ(count, 2u);
    EXPECT_FLOAT_EQ(dist, 1.0f);
    const DWORD nearFace = face;
    EXPECT_LT(nearFace, 2u);
    ID3DXBuffer *all = nullptr;
    ASSERT_EQ(D3DXIntersectSubset(mesh, 1, &origin, &dir, &hit, &face, &u, &v, &dist, &all, &count), D3D_OK);
    EXPECT_TRUE(hit);
    EXPECT_FLOAT_EQ(dist, 2.0f);
    EXPECT_EQ(face, nearFace + 2) << "the far quad's face, numbered as in the mesh";
    EXPECT_EQ(count, 1u);
    ASSERT_NE(all, nullptr);
    const auto *info = static_cast<const D3DXINTERSECTINFO *>(all->GetBufferPointer());
    EXPECT_EQ(info[0].FaceIndex, face);
    EXPECT_FLOAT_EQ(info[0].Dist, 2.0f);
    all->Release();
    // The hit point rebuilt from the barycentric weights of the far face is on the ray.
    D3DXVECTOR3 corner[3];
    for (int k = 0; k < 3; ++k)
        corner[k] = D3DXVECTOR3(float(quads[3 * face + k] & 1), float((quads[3 * face + k] & 3) >> 1), 2.0f);
    const D3DXVECTOR3 at = corner[0] + (corner[1] - corner[0]) * u + (corner[2] - corner[0]) * v;
    EXPECT_NEAR(at.x, 0.75f, 1e-6f);
    EXPECT_NEAR(at.y, 0.6f, 1e-6f);
    // No face of subset 2; a subset's faces behind the origin do not count.
    ASSERT_EQ(D3DXIntersectSubset(mesh, 2, &origin, &dir, &hit, NULL, NULL, NULL, NULL, NULL, &count), D3D_OK);
    EXPECT_FALSE(hit);
    EXPECT_EQ(count, 0u);
    const D3DXVECTOR3 between(0.5f, 0.5f, 1.5f);
    D3DXIntersectSubset(mesh, 0, &between, &dir, &hit, NULL, NULL, NULL, NULL, NULL, NULL);
    EXPECT_FALSE(hit);
    // With the far quad's faces first and both quads in one subset, the nearest still wins.
    ASSERT_EQ(mesh->LockIndexBuffer(0, (void **)&idx), D3D_OK);
    memcpy(idx, quads + 6, 6 * sizeof(WORD));
    memcpy(idx + 6, quads, 6 * sizeof(WORD));
    mesh->UnlockIndexBuffer();
    ASSERT_EQ(mesh->LockAttributeBuffer(0, &attributes), D3D_OK);
    memset(attributes, 0, 4 * sizeof(DWORD));
    mesh->UnlockAttributeBuffer();
    D3DXIntersectSubset(mesh, 0, &origin, &dir, &hit, &face, NULL, NULL, &dist, NULL, &count);
    EXPECT_FLOAT_EQ(dist, 1.0f);
    EXPECT_EQ(face, nearFace + 2);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(D3DXIntersectSubset(NULL, 0, &origin, &dir, &hit, NULL, NULL, NULL, NULL, NULL, NULL),
              D3DERR_INVALIDCALL);
    mesh->Release();
}

TEST(RayProbes, TriangleBoxAndSphere)
{
    // D3DXIntersectTri: U weighs p1 and V weighs p2; the distance is the ray parameter.
    const D3DXVECTOR3 p0(0, 0, 4), p1(2, 0, 4), p2(0, 2, 4);
    const D3DXVECTOR3 from(0.5f, 1.0f, 0), dir(0, 0, 2);
    float u = -1, v = -1, dist = -1;
    ASSERT_TRUE(D3DXIntersectTri(&p0, &p1, &p2, &from, &dir, &u, &v, &dist));
    EXPECT_FLOAT_EQ(u, 0.25f);
    EXPECT_FLOAT_EQ(v, 0.5f);
    EXPECT_FLOAT_EQ(dist, 2.0f);
    // From behind the triangle it is hit too; beside it, away from it, along its plane and
    // on a degenerate triangle it is not.
    const D3DXVECTOR3 behind(0.5f, 1.0f, 5), beside(1.5f, 1.5f, 0), back(0, 0, -1), along(1, 0, 0);
    ASSERT_TRUE(D3DXIntersectTri(&p0, &p1, &p2, &behind, &back, &u, &v, &dist));
    EXPECT_FLOAT_EQ(dist, 1.0f);
    EXPECT_FALSE(D3DXIntersectTri(&p0, &p1, &p2, &beside, &dir, &u, &v, &dist));
    EXPECT_FALSE(D3DXIntersectTri(&p0, &p1, &p2, &from, &back, &u, &v, &dist));
    const D3DXVECTOR3 inPlane(-1, 0.5f, 4);
    EXPECT_FALSE(D3DXIntersectTri(&p0, &p1, &p2, &inPlane, &along, &u, &v, &dist));
    EXPECT_FALSE(D3DXIntersectTri(&p0, &p0, &p1, &from, &dir, &u, &v, &dist));
    EXPECT_FALSE(D3DXIntersectTri(NULL, &p1, &p2, &from, &dir, &u, &v, &dist));

    // Boxes: from outside towards, away and past; from inside any way; a ray along a face's
    // plane direction needs its origin within that slab.
    const D3DXVECTOR3 lo(-1, -1, -1), hi(1, 1, 1);
    auto box = [&](D3DXVECTOR3 o, D3DXVECTOR3 d) { return D3DXBoxBoundProbe(&lo, &hi, &o, &d) != FALSE; };
    EXPECT_TRUE(box({-5, 0.5f, 0.5f}, {1, 0, 0}));
    EXPECT_FALSE(box({-5, 0.5f, 0.5f}, {-1, 0, 0}));
    EXPECT_FALSE(box({-5, 1.5f, 0}, {1, 0, 0}));
    EXPECT_TRUE(box({0, 0, 0}, {0, -3, 0}));
    EXPECT_TRUE(box({-3, -3, -3}, {1, 1, 1}));
    EXPECT_FALSE(box({-3, -3, -3}, {1, 1, -1}));
    EXPECT_TRUE(box({-3, 4.9f, 0}, {1, -1, 0}));  // x + y = 1.9 cuts the corner x + y = 2
    EXPECT_FALSE(box({-3, 5.1f, 0}, {1, -1, 0}));

    // Spheres: the same cases, with an unnormalised direction.
    const D3DXVECTOR3 c(1, 2, 3);
    auto sphere = [&](D3DXVECTOR3 o, D3DXVECTOR3 d) { return D3DXSphereBoundProbe(&c, 2, &o, &d) != FALSE; };
    EXPECT_TRUE(sphere({1, 2, -10}, {0, 0, 5}));
    EXPECT_FALSE(sphere({1, 2, -10}, {0, 0, -5}));
    EXPECT_TRUE(sphere({2.9f, 2, -10}, {0, 0, 3}));
    EXPECT_FALSE(sphere({3.1f, 2, -10}, {0, 0, 3}));
    EXPECT_TRUE(sphere({1.5f, 2, 3}, {0, 1, 0}));
    EXPECT_TRUE(sphere({2.9f, 2, 3}, {1, 0, 0})) << "inside, near the surface, heading out";
    EXPECT_FALSE(sphere({1, 2, 10}, {0, 0, 1}));
}

}  // namespace
