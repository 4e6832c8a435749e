// Ray queries: the hierarchy against brute force on random triangle soups and on grazing,
// parallel and degenerate cases, and D3DXIntersect on real meshes, including a write to
// the mesh after the first query.
#include "../../platform/d3dx9/ray_bvh.h"

#include <d3dx9.h>

#include "device_fixture.h"

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
    ASSERT_TRUE(IntersectTriangle(D3DXVECTOR3(0.25f, 0.125f, -1), D3DXVECTOR3(0, 0, 2), a, b, c, &t, &u, &v));
    EXPECT_FLOAT_EQ(t, 0.5f);
    EXPECT_FLOAT_EQ(u, 0.25f);  // the weight of b
    EXPECT_FLOAT_EQ(v, 0.125f);  // the weight of c
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

// A grid of quads on the plane z = 0, two triangles each, in a mesh of the device.
ID3DXMesh *MakeGrid(IDirect3DDevice9 *device, int n, DWORD fvf)
{
    ID3DXMesh *mesh = nullptr;
    DWORD vertices = DWORD((n + 1) * (n + 1)), faces = DWORD(2 * n * n);
    if (FAILED(D3DXCreateMeshFVF(faces, vertices, D3DXMESH_SYSTEMMEM, fvf, device, &mesh)))
        return nullptr;
    DWORD stride = D3DXGetFVFVertexSize(fvf);
    BYTE *v = nullptr;
    mesh->LockVertexBuffer(0, (void **)&v);
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) {
            D3DXVECTOR3 p(float(x), float(y), 0.0f);
            memcpy(v + stride * (y * (n + 1) + x), &p, sizeof p);
        }
    mesh->UnlockVertexBuffer();
    WORD *idx = nullptr;
    mesh->LockIndexBuffer(0, (void **)&idx);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            WORD a = WORD(y * (n + 1) + x), b = WORD(a + 1), c = WORD(a + n + 1), d = WORD(c + 1);
            WORD quad[6] = {a, c, b, b, c, d};
            memcpy(idx, quad, sizeof quad);
            idx += 6;
        }
    mesh->UnlockIndexBuffer();
    return mesh;
}

class IntersectMesh : public NullDeviceTest {};

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

}  // namespace
