// ID3DXSkinInfo: bones, influences and software skinning.
#include "d3dx9/mesh_test_util.h"

#include <atomic>
#include <cstdlib>
#include <new>

// The replacement pair below allocates with malloc and frees with free; GCC cannot see
// that they match.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

// Counts every allocation of the process, so that a test can show that skinning makes none.
static std::atomic<long> g_allocations{0};
void *operator new(size_t n)
{
    g_allocations++;
    if (void *p = malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void *operator new[](size_t n) { return operator new(n); }
void *operator new(size_t n, const std::nothrow_t &) noexcept
{
    g_allocations++;
    return malloc(n ? n : 1);
}
void *operator new[](size_t n, const std::nothrow_t &) noexcept { return operator new(n, std::nothrow); }
void operator delete(void *p) noexcept { free(p); }
void operator delete(void *p, size_t) noexcept { free(p); }
void operator delete[](void *p) noexcept { free(p); }
void operator delete[](void *p, size_t) noexcept { free(p); }

namespace {

struct Vertex {  // D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1
    float x, y, z, nx, ny, nz, u, v;
};
const DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

D3DXMATRIX Translation(float x, float y, float z)
{
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

// A strip of ten vertices along x from 0 to 2 (pairs at y = -0.1 and +0.1), normals up.
// Bone 0 holds x <= 0.5, bone 1 (jointed at x = 1) holds x >= 1.5, and the pair at the
// joint belongs half to each.
ID3DXSkinInfo *MakeStripSkin(std::vector<Vertex> *vertices)
{
    vertices->clear();
    for (int i = 0; i < 5; i++)
        for (float y : {-0.1f, 0.1f})
            vertices->push_back(Vertex{0.5f * i, y, 0, 0, 1, 0, 0.25f * i, y});
    ID3DXSkinInfo *skin = nullptr;
    EXPECT_EQ(D3DXCreateSkinInfoFVF(10, kFvf, 2, &skin), D3D_OK);
    const DWORD root[] = {0, 1, 2, 3, 4, 5};
    const float rootWeights[] = {1, 1, 1, 1, 0.5f, 0.5f};
    const DWORD tip[] = {4, 5, 6, 7, 8, 9};
    const float tipWeights[] = {0.5f, 0.5f, 1, 1, 1, 1};
    EXPECT_EQ(skin->SetBoneInfluence(0, 6, root, rootWeights), D3D_OK);
    EXPECT_EQ(skin->SetBoneInfluence(1, 6, tip, tipWeights), D3D_OK);
    skin->SetBoneName(0, "root");
    skin->SetBoneName(1, "tip");
    D3DXMATRIX offset = Translation(-1, 0, 0);  // the tip bone sits at x = 1 in the bind pose
    skin->SetBoneOffsetMatrix(1, &offset);
    return skin;
}

TEST(SkinInfoTest, TwoBoneStripBentNinetyDegrees)
{
    std::vector<Vertex> src;
    ID3DXSkinInfo *skin = MakeStripSkin(&src);
    ASSERT_NE(skin, nullptr);

    // Pose: the root stays, the tip turns a quarter turn about z at its joint.  Bone matrix
    // = offset * combined = T(-1, 0, 0) * Rz(90) * T(1, 0, 0).
    D3DXMATRIX turn, bones[2];
    D3DXMatrixRotationZ(&turn, D3DX_PI / 2);
    D3DXMatrixIdentity(&bones[0]);
    bones[1] = *skin->GetBoneOffsetMatrix(1) * turn * Translation(1, 0, 0);

    std::vector<Vertex> dst(src.size());
    ASSERT_EQ(skin->UpdateSkinnedMesh(bones, nullptr, src.data(), dst.data()), D3D_OK);

    // Hand-computed: under Rz(90) a row vector (x, y) becomes (-y, x).
    const float expected[10][3] = {
        {0.0f, -0.1f, 0}, {0.0f, 0.1f, 0},   // root only
        {0.5f, -0.1f, 0}, {0.5f, 0.1f, 0},   // root only
        {1.05f, -0.05f, 0}, {0.95f, 0.05f, 0},  // half (1, y), half (1 - y, 0)
        {1.1f, 0.5f, 0}, {0.9f, 0.5f, 0},    // (1 - y, 0.5)
        {1.1f, 1.0f, 0}, {0.9f, 1.0f, 0},    // (1 - y, 1)
    };
    const float normals[10][3] = {{0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {-0.5f, 0.5f, 0},
                                  {-0.5f, 0.5f, 0}, {-1, 0, 0}, {-1, 0, 0}, {-1, 0, 0}, {-1, 0, 0}};
    for (int i = 0; i < 10; i++) {
        SCOPED_TRACE(i);
        EXPECT_VEC3_NEAR(D3DXVECTOR3(&dst[i].x), expected[i][0], expected[i][1], expected[i][2], 1e-5f);
        EXPECT_VEC3_NEAR(D3DXVECTOR3(&dst[i].nx), normals[i][0], normals[i][1], normals[i][2], 1e-5f);
    }
    // Texture coordinates are not skinned and not written.
    for (Vertex &v : dst)
        EXPECT_EQ(v.u, 0.0f);

    skin->Release();
}

TEST(SkinInfoTest, SkinningAllocatesNothingOnceTheInfluencesAreSet)
{
    std::vector<Vertex> src;
    ID3DXSkinInfo *skin = MakeStripSkin(&src);
    ASSERT_NE(skin, nullptr);
    D3DXMATRIX bones[2];
    D3DXMatrixIdentity(&bones[0]);
    D3DXMatrixRotationY(&bones[1], 0.3f);
    std::vector<Vertex> dst(src.size());
    ASSERT_EQ(skin->UpdateSkinnedMesh(bones, nullptr, src.data(), dst.data()), D3D_OK);
    long before = g_allocations.load();
    for (int i = 0; i < 100; i++)
        skin->UpdateSkinnedMesh(bones, nullptr, src.data(), dst.data());
    EXPECT_EQ(g_allocations.load(), before);

    // Changing a weight is seen by the next skinning.
    ASSERT_EQ(skin->SetBoneVertexInfluence(0, 0, 0.0f), D3D_OK);
    ASSERT_EQ(skin->UpdateSkinnedMesh(bones, nullptr, src.data(), dst.data()), D3D_OK);
    // A vertex left without influence keeps its source position.
    EXPECT_VEC3_NEAR(D3DXVECTOR3(dst[0].x, dst[0].y, dst[0].z), 0, -0.1f, 0, 0);
    skin->Release();
}

TEST(SkinInfoTest, BonesInfluencesAndNames)
{
    std::vector<Vertex> src;
    ID3DXSkinInfo *skin = MakeStripSkin(&src);
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(skin->GetBoneName(2), nullptr);
    EXPECT_EQ(skin->GetBoneOffsetMatrix(2), nullptr);
    DWORD most = 0, index = 0;
    ASSERT_EQ(skin->GetMaxVertexInfluences(&most), D3D_OK);
    EXPECT_EQ(most, 2u);
    ASSERT_EQ(skin->FindBoneVertexInfluenceIndex(1, 7, &index), D3D_OK);
    EXPECT_EQ(index, 3u);
    EXPECT_EQ(skin->FindBoneVertexInfluenceIndex(1, 0, &index), D3DERR_INVALIDCALL);

    // A vertex beyond the skin's count is refused with one line; the bone keeps its weights.
    const DWORD bad = 10;
    const float w = 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(skin->SetBoneInfluence(0, 1, &bad, &w), D3DERR_INVALIDCALL);
    EXPECT_EQ(meshtest::CountLines(testing::internal::GetCapturedStderr()), 1);
    EXPECT_EQ(skin->GetNumBoneInfluences(0), 6u);

    // Remap: new vertex 10 is a copy of old vertex 9; the copy gets the same weights.
    DWORD remap[11];
    for (DWORD i = 0; i < 10; i++)
        remap[i] = i;
    remap[10] = 9;
    ASSERT_EQ(skin->Remap(11, remap), D3D_OK);
    ASSERT_EQ(skin->GetNumBoneInfluences(1), 7u);
    DWORD after[7];
    float afterWeights[7];
    skin->GetBoneInfluence(1, after, afterWeights);
    EXPECT_EQ(std::count(after, after + 7, 10u), 1);

    // A clone is independent of its source.
    ID3DXSkinInfo *copy = nullptr;
    ASSERT_EQ(skin->Clone(&copy), D3D_OK);
    skin->SetBoneName(1, "renamed");
    EXPECT_STREQ(copy->GetBoneName(1), "tip");
    copy->Release();
    skin->Release();
}

}  // namespace
