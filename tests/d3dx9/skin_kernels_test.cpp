/*
 * skin_kernels_test.cpp - every skinning kernel against a double-precision reference that
 * skins bone by bone (transform, then weight and sum), on a generated mesh whose vertices
 * have 0 to 6 influences in every neighbouring combination; and the choice of kernel.  The
 * generated character is skinned against assimp in the scene tests.
 */
#include "skin_kernels.h"

#include "support/child_process.h"

#include <d3dx9.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace tavrok::d3dx9mesh;

namespace {

std::vector<const SkinKernel *> AllKernels()
{
    std::vector<const SkinKernel *> all = {&ScalarSkinKernel()};
    if (const SkinKernel *k = Sse2SkinKernel())
        all.push_back(k);
    if (const SkinKernel *k = Avx2SkinKernel())
        all.push_back(k);
    return all;
}

// Vertex v skinned bone by bone in double precision: sum of w * (p * M) for the position,
// sum of w * (n * N) for the normal (N: the normal matrix, else M), over the weights from
// the skin's minimum influence up; untouched without influences.
struct Reference {
    std::vector<double> position, normal;  // three per vertex
};

Reference Skin(ID3DXSkinInfo *skin, DWORD numVertices, const BYTE *src, UINT stride, int normalOffset,
               const D3DXMATRIX *bones, const D3DXMATRIX *normalBones)
{
    Reference r;
    r.position.assign(size_t(numVertices) * 3, 0.0);
    r.normal.assign(size_t(numVertices) * 3, 0.0);
    std::vector<bool> touched(numVertices, false);
    for (DWORD b = 0; b < skin->GetNumBones(); b++) {
        DWORD count = skin->GetNumBoneInfluences(b);
        std::vector<DWORD> vertices(count);
        std::vector<float> weights(count);
        if (count)
            skin->GetBoneInfluence(b, vertices.data(), weights.data());
        const D3DXMATRIX &m = bones[b], &nm = normalBones ? normalBones[b] : bones[b];
        for (DWORD i = 0; i < count; i++) {
            if (weights[i] == 0.0f || weights[i] < skin->GetMinBoneInfluence())
                continue;
            const DWORD v = vertices[i];
            const float *p = reinterpret_cast<const float *>(src + size_t(v) * stride);
            const float *n = reinterpret_cast<const float *>(src + size_t(v) * stride + normalOffset);
            touched[v] = true;
            for (int c = 0; c < 3; c++) {
                r.position[3 * v + c] += weights[i] * (double(p[0]) * m.m[0][c] + double(p[1]) * m.m[1][c] +
                                                       double(p[2]) * m.m[2][c] + m.m[3][c]);
                if (normalOffset >= 0)
                    r.normal[3 * v + c] += weights[i] * (double(n[0]) * nm.m[0][c] + double(n[1]) * nm.m[1][c] +
                                                         double(n[2]) * nm.m[2][c]);
            }
        }
    }
    for (DWORD v = 0; v < numVertices; v++) {
        if (touched[v])
            continue;
        const float *p = reinterpret_cast<const float *>(src + size_t(v) * stride);
        for (int c = 0; c < 3; c++) {
            r.position[3 * v + c] = p[c];
            if (normalOffset >= 0)
                r.normal[3 * v + c] = p[c + normalOffset / 4];
        }
    }
    return r;
}

// Compares the kernel's output with the reference; every other byte of each vertex must be
// the source's.  Returns the number of mismatching vertices (and reports the first few).
int Compare(const char *what, const std::vector<BYTE> &out, const std::vector<BYTE> &src, const Reference &ref,
            DWORD numVertices, UINT stride, int normalOffset, double tolerance)
{
    int bad = 0;
    for (DWORD v = 0; v < numVertices; v++) {
        const BYTE *o = out.data() + size_t(v) * stride, *s = src.data() + size_t(v) * stride;
        bool ok = true;
        for (int c = 0; c < 3; c++) {
            float p, n;
            memcpy(&p, o + 4 * c, 4);
            ok = ok && std::fabs(p - ref.position[3 * v + c]) <= tolerance * (1 + std::fabs(ref.position[3 * v + c]));
            if (normalOffset >= 0) {
                memcpy(&n, o + normalOffset + 4 * c, 4);
                ok = ok && std::fabs(n - ref.normal[3 * v + c]) <= tolerance * (1 + std::fabs(ref.normal[3 * v + c]));
            }
        }
        for (UINT byte = 12; byte < stride; byte++)
            if (normalOffset < 0 || byte < UINT(normalOffset) || byte >= UINT(normalOffset) + 12)
                ok = ok && o[byte] == s[byte];
        if (!ok && bad++ < 3)
            ADD_FAILURE() << what << ": vertex " << v << " differs from the reference";
    }
    return bad;
}

D3DXMATRIX Pose(DWORD bone, float scale)
{
    D3DXMATRIX m, s;
    D3DXMatrixRotationYawPitchRoll(&m, 0.37f * bone - 1.0f, 0.21f * bone, -0.13f * bone + 0.4f);
    D3DXMatrixScaling(&s, scale, scale * 0.9f, scale * 1.1f);
    D3DXMatrixMultiply(&m, &s, &m);
    m._41 = 0.05f * bone - 0.3f;
    m._42 = 0.02f * bone;
    m._43 = -0.04f * bone + 0.1f;
    return m;
}

struct Vertex {  // D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1
    float x, y, z, nx, ny, nz;
    DWORD colour;
    float u, v;
};
const DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// Vertices with 0 to 4 influences in a shifting pattern, and every thirteenth with 6 (the
// kernels' loop for counts beyond four); with 101 vertices some counts have an odd number
// of vertices, so that a vertex is left without a partner.  Weights are uneven and do not
// always sum to one.
ID3DXSkinInfo *MakeMixedSkin(DWORD fvf, DWORD numVertices, DWORD numBones, std::vector<BYTE> *vertices, UINT stride)
{
    ID3DXSkinInfo *skin = nullptr;
    EXPECT_EQ(D3DXCreateSkinInfoFVF(numVertices, fvf, numBones, &skin), D3D_OK);
    if (!skin)
        return nullptr;
    vertices->assign(size_t(numVertices) * stride, 0);
    for (DWORD v = 0; v < numVertices; v++) {
        BYTE *p = vertices->data() + size_t(v) * stride;
        for (UINT byte = 0; byte < stride; byte++)
            p[byte] = BYTE(v * 31 + byte * 7);  // recognisable bytes in what skinning leaves alone
        float f[6] = {std::sin(v * 0.7f) * 2, std::cos(v * 0.3f) * 3 - 1, v * 0.01f - 0.5f,
                      std::sin(v * 1.1f), std::cos(v * 0.9f), 0.3f};
        memcpy(p, f, 12);
        if (stride >= 24 && (fvf & D3DFVF_NORMAL))
            memcpy(p + 12, f + 3, 12);
    }
    std::vector<std::vector<DWORD>> verts(numBones);
    std::vector<std::vector<float>> weights(numBones);
    for (DWORD v = 0; v < numVertices; v++) {
        DWORD count = v % 13 == 12 ? 6 : (v + v / 7) % 5;
        for (DWORD k = 0; k < count; k++) {
            DWORD bone = (v * 3 + k * 5) % numBones;
            verts[bone].push_back(v);
            weights[bone].push_back(0.15f + 0.1f * k + 0.01f * (v % 11));
        }
    }
    for (DWORD b = 0; b < numBones; b++)
        EXPECT_EQ(skin->SetBoneInfluence(b, DWORD(verts[b].size()), verts[b].data(), weights[b].data()), D3D_OK);
    return skin;
}

TEST(SkinKernels, EveryKernelMatchesTheReferenceOnMixedInfluenceCounts)
{
    const DWORD kVertices = 101, kBones = 9;
    std::vector<BYTE> src;
    ID3DXSkinInfo *skin = MakeMixedSkin(kFvf, kVertices, kBones, &src, sizeof(Vertex));
    ASSERT_NE(skin, nullptr);
    DWORD most = 0;
    ASSERT_EQ(skin->GetMaxVertexInfluences(&most), D3D_OK);
    ASSERT_EQ(most, 6u);
    std::vector<D3DXMATRIX> bones(kBones), normals(kBones);
    for (DWORD b = 0; b < kBones; b++) {
        bones[b] = Pose(b, 1.0f + 0.1f * b);
        D3DXMATRIX inverse;
        D3DXMatrixInverse(&inverse, nullptr, &bones[b]);
        D3DXMatrixTranspose(&normals[b], &inverse);
    }
    const int normal = offsetof(Vertex, nx);
    const Reference plain = Skin(skin, kVertices, src.data(), sizeof(Vertex), normal, bones.data(), nullptr);
    const Reference inverse = Skin(skin, kVertices, src.data(), sizeof(Vertex), normal, bones.data(), normals.data());
    for (const SkinKernel *k : AllKernels()) {
        SCOPED_TRACE(k->name);
        std::vector<BYTE> out(src.size(), 0xEE);
        // Bytes other than positions and normals are left as they were in the destination.
        for (size_t v = 0; v < kVertices; v++)
            memcpy(out.data() + v * sizeof(Vertex) + 24, src.data() + v * sizeof(Vertex) + 24, sizeof(Vertex) - 24);
        ASSERT_EQ(UpdateSkinnedMeshWith(*k, skin, bones.data(), nullptr, src.data(), out.data()), D3D_OK);
        EXPECT_EQ(Compare("bone matrices", out, src, plain, kVertices, sizeof(Vertex), normal, 2e-6), 0);
        ASSERT_EQ(UpdateSkinnedMeshWith(*k, skin, bones.data(), normals.data(), src.data(), out.data()), D3D_OK);
        EXPECT_EQ(Compare("normal matrices", out, src, inverse, kVertices, sizeof(Vertex), normal, 2e-6), 0);
        // In place, over the source itself.
        std::vector<BYTE> same = src;
        ASSERT_EQ(UpdateSkinnedMeshWith(*k, skin, bones.data(), normals.data(), same.data(), same.data()), D3D_OK);
        EXPECT_EQ(Compare("in place", same, src, inverse, kVertices, sizeof(Vertex), normal, 2e-6), 0);
    }
    // A minimum influence drops the lighter weights in every kernel.
    skin->SetMinBoneInfluence(0.3f);
    const Reference heavy = Skin(skin, kVertices, src.data(), sizeof(Vertex), normal, bones.data(), nullptr);
    for (const SkinKernel *k : AllKernels()) {
        SCOPED_TRACE(k->name);
        std::vector<BYTE> out = src;
        ASSERT_EQ(UpdateSkinnedMeshWith(*k, skin, bones.data(), nullptr, src.data(), out.data()), D3D_OK);
        EXPECT_EQ(Compare("minimum influence", out, src, heavy, kVertices, sizeof(Vertex), normal, 2e-6), 0);
    }
    skin->Release();
}

TEST(SkinKernels, PositionOnlyVerticesAreWrittenWithinTheirTwelveBytes)
{
    // Tightly packed three-float positions: a kernel that wrote or read a fourth float would
    // change the guard after the last vertex or the next vertex's x.
    const DWORD kVertices = 7, kBones = 3;
    std::vector<BYTE> src;
    ID3DXSkinInfo *skin = MakeMixedSkin(D3DFVF_XYZ, kVertices, kBones, &src, 12);
    ASSERT_NE(skin, nullptr);
    std::vector<D3DXMATRIX> bones(kBones);
    for (DWORD b = 0; b < kBones; b++)
        bones[b] = Pose(b, 1.0f);
    const Reference ref = Skin(skin, kVertices, src.data(), 12, -1, bones.data(), nullptr);
    for (const SkinKernel *k : AllKernels()) {
        SCOPED_TRACE(k->name);
        std::vector<BYTE> out(src.size() + 16, 0xA5);
        ASSERT_EQ(UpdateSkinnedMeshWith(*k, skin, bones.data(), nullptr, src.data(), out.data()), D3D_OK);
        for (size_t i = src.size(); i < out.size(); i++)
            EXPECT_EQ(out[i], 0xA5) << "guard byte " << i - src.size();
        out.resize(src.size());
        EXPECT_EQ(Compare("positions", out, src, ref, kVertices, 12, -1, 2e-6), 0);
    }
    skin->Release();
}

// The kernel a fresh process chooses with the given registry file contents.
std::string ChosenWith(const std::string &registryText)
{
    return testsupport::RunWithRegistry(TAVROK_SKIN_PROBE, registryText.c_str(), false);
}

TEST(SkinKernels, DisablingProcessorVariantsSelectsTheScalarLoop)
{
    const std::string bestLine = std::string(SelectSkinKernel(false).name) + "\n";
    const std::string key = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Direct3D]\n";
    EXPECT_EQ(ChosenWith("REGEDIT4\n"), bestLine);
    EXPECT_EQ(ChosenWith(key + "\"DisablePSGP\"=dword:1\n"), "scalar\n");
    EXPECT_EQ(ChosenWith(key + "\"DisableD3DXPSGP\"=dword:1\n"), "scalar\n");
    EXPECT_EQ(ChosenWith(key + "\"DisableD3DXPSGP\"=dword:0\n"), bestLine);

    EXPECT_EQ(&SelectSkinKernel(true), &ScalarSkinKernel());
    const SkinKernel &best = SelectSkinKernel(false);
    if (Avx2SkinKernel())
        EXPECT_STREQ(best.name, "AVX2+FMA");
    else if (Sse2SkinKernel())
        EXPECT_STREQ(best.name, "SSE2");
    else
        EXPECT_EQ(&best, &ScalarSkinKernel());
    // With nothing in the registry, UpdateSkinnedMesh uses the best one.
    EXPECT_EQ(&ActiveSkinKernel(), &best);
}

}  // namespace
