// ID3DXSkinInfo's conversions to meshes for the device's vertex blending: the structure of
// both kinds of blended mesh, the picture the device draws from them against software
// skinning, and the refusals.
#include "d3d9/pixel_fixture.h"
#include "d3dx9/mesh_test_util.h"
#include "support/null_device.h"
#include "support/stderr_capture.h"

#include <d3dx9.h>

#include <climits>
#include <cmath>
#include <map>
#include <numeric>

namespace {

struct Vertex {  // D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1
    float x, y, z, nx, ny, nz, u, v;
};
const DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
using Weights = std::map<DWORD, float>;  // bone -> weight

// A strip of six quads along x over five bones.  Column c holds vertices 2c (bottom) and
// 2c + 1 (top); its faces need 1, 2, 3 and 4 bones, and two vertices have 3 and 4.  The
// first quad has attribute 1, the others 0, so the faces are reordered.
const Weights kColumn[7][2] = {
    {{{0, 1.0f}}, {{0, 1.0f}}},
    {{{0, 1.0f}}, {{0, 1.0f}}},
    {{{0, 0.5f}, {1, 0.5f}}, {{0, 0.5f}, {1, 0.5f}}},
    {{{1, 0.6f}, {2, 0.4f}}, {{0, 0.1f}, {1, 0.5f}, {2, 0.3f}, {3, 0.1f}}},
    {{{2, 0.5f}, {3, 0.5f}}, {{2, 0.5f}, {3, 0.5f}}},
    {{{3, 0.3f}, {4, 0.7f}}, {{1, 0.1f}, {3, 0.4f}, {4, 0.5f}}},
    {{{4, 1.0f}}, {{4, 1.0f}}},
};
const float kJoint[5] = {-1.0f, -0.5f, 0.0f, 0.5f, 1.0f};

Weights Original(DWORD v)
{
    return kColumn[v / 2][v % 2];
}
Vertex StripVertex(int i)
{
    return {-1.5f + 0.5f * (i / 2), i % 2 ? 0.25f : -0.25f, 0.5f, 0, 0, -1, i / 12.0f, float(i % 2)};
}
// Corner k of face f: quad q = f / 2 is (2q, 2q + 1, 2q + 2) and (2q + 1, 2q + 3, 2q + 2).
DWORD Corner(DWORD f, int k)
{
    return f & 1 ? f - 1 + DWORD("132"[k] - '0') : f + DWORD(k);
}

// The strip in kFvf, or `declared` by a declaration no FVF code expresses (the texture
// coordinates before the normal).
void MakeStrip(IDirect3DDevice9 *device, ID3DXMesh **mesh, ID3DXSkinInfo **skin, bool declared = false)
{
    const D3DVERTEXELEMENT9 declaration[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        {0, 20, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
        D3DDECL_END()};
    std::vector<Vertex> v;
    std::vector<DWORD> indices, attributes;
    for (int i = 0; i < 14; i++) {
        const Vertex s = StripVertex(i);
        v.push_back(declared ? Vertex{s.x, s.y, s.z, s.u, s.v, s.nx, s.ny, s.nz} : s);
    }
    for (DWORD f = 0; f < 36; f++)
        indices.push_back(Corner(f / 3, f % 3));
    for (DWORD f = 0; f < 12; f++)
        attributes.push_back(f < 2);
    *mesh = declared ? meshtest::MeshFrom(device, declaration, v, indices, attributes, D3DXMESH_MANAGED)
                     : meshtest::MeshFrom(device, kFvf, v, indices, attributes, D3DXMESH_MANAGED);
    ASSERT_NE(*mesh, nullptr);
    ASSERT_EQ(declared ? D3DXCreateSkinInfo(14, declaration, 5, skin) : D3DXCreateSkinInfoFVF(14, kFvf, 5, skin),
              D3D_OK);
    std::vector<DWORD> vertices[5];
    std::vector<float> weights[5];
    for (DWORD i = 0; i < 14; i++)
        for (auto [bone, weight] : Original(i))
            vertices[bone].push_back(i), weights[bone].push_back(weight);
    for (DWORD bone = 0; bone < 5; bone++) {
        (*skin)->SetBoneInfluence(bone, DWORD(vertices[bone].size()), vertices[bone].data(), weights[bone].data());
        D3DXMATRIX offset;
        (*skin)->SetBoneOffsetMatrix(bone, D3DXMatrixTranslation(&offset, -kJoint[bone], 0, 0));
    }
}

// One conversion's results, released at the end.
struct Blended {
    ID3DXMesh *mesh = nullptr;
    ID3DXBuffer *remap = nullptr, *table = nullptr;
    DWORD most = 0, count = 0, slots = 0;
    std::vector<DWORD> faceRemap = std::vector<DWORD>(12), adjacency = std::vector<DWORD>(36);
    HRESULT hr = E_FAIL;
    Blended(ID3DXSkinInfo *skin, ID3DXMesh *source, DWORD palette,  // palette 0: by weights
            DWORD options = D3DXMESH_MANAGED)
    {
        hr = palette ? skin->ConvertToIndexedBlendedMesh(source, options, palette, nullptr, adjacency.data(),
                                                         faceRemap.data(), &remap, &most, &count, &table, &mesh)
                     : skin->ConvertToBlendedMesh(source, options, nullptr, adjacency.data(), faceRemap.data(), &remap,
                                                  &most, &count, &table, &mesh);
        slots = palette ? palette : most;
    }
    ~Blended()
    {
        for (IUnknown *u : {(IUnknown *)mesh, (IUnknown *)remap, (IUnknown *)table})
            if (u)
                u->Release();
    }
    const D3DXBONECOMBINATION &Combination(DWORD i) const
    {
        return static_cast<const D3DXBONECOMBINATION *>(table->GetBufferPointer())[i];
    }
    // The last BoneId slot in use: the blend weights the device reads for the combination.
    DWORD LastSlot(DWORD i) const
    {
        DWORD last = 0;
        for (DWORD s = 0; s < slots; s++)
            last = Combination(i).BoneId[s] != UINT_MAX ? s : last;
        return last;
    }
};

}  // namespace

class SkinConvertTest : public testsupport::NullDeviceTest {};

TEST_F(SkinConvertTest, CombinationsCoverEveryFaceOnceWithTheOriginalWeights)
{
    ID3DXMesh *source = nullptr;
    ID3DXSkinInfo *skin = nullptr;
    MakeStrip(device_, &source, &skin);
    ASSERT_NE(skin, nullptr);
    // The strip's faces in a scrambled order, so that the passes have something to reorder:
    // face f of the source is face kOrder[f] of the strip.
    const DWORD kOrder[12] = {5, 0, 9, 2, 11, 7, 1, 10, 3, 8, 4, 6};
    WORD *faces = nullptr;
    DWORD *attributes = nullptr;
    source->LockIndexBuffer(0, (void **)&faces);
    source->LockAttributeBuffer(0, &attributes);
    for (DWORD f = 0; f < 12; f++) {
        for (int k = 0; k < 3; k++)
            faces[f * 3 + k] = WORD(Corner(kOrder[f], k));
        attributes[f] = kOrder[f] < 2;
    }
    source->UnlockAttributeBuffer();
    source->UnlockIndexBuffer();
    std::vector<DWORD> sourceAdjacency(36);
    source->GenerateAdjacency(0, sourceAdjacency.data());
    IDirect3DIndexBuffer9 *ib = nullptr;
    DWORD mostPerFace = 0;
    source->GetIndexBuffer(&ib);
    EXPECT_EQ(skin->GetMaxFaceInfluences(ib, 12, &mostPerFace), D3D_OK);
    EXPECT_EQ(mostPerFace, 4u);
    ib->Release();

    // By weights, three per vertex; indexed with palettes that split one attribute or not;
    // with each combination's faces and vertices left in order, reordered for the vertex
    // cache, or into strips and compacted.
    for (DWORD palette : {0u, 4u, 5u})
        for (DWORD passes :
             {DWORD(0), DWORD(D3DXMESHOPT_VERTEXCACHE), DWORD(D3DXMESHOPT_STRIPREORDER | D3DXMESHOPT_COMPACT)}) {
            SCOPED_TRACE(palette);
            SCOPED_TRACE(passes);
            Blended out(skin, source, palette, D3DXMESH_MANAGED | passes);
            ASSERT_EQ(out.hr, D3D_OK);
            EXPECT_EQ(out.most, 4u);
            EXPECT_EQ(out.mesh->GetFVF(),
                      (palette ? D3DFVF_XYZB4 | D3DFVF_LASTBETA_UBYTE4 : D3DFVF_XYZB3) | D3DFVF_NORMAL | D3DFVF_TEX1);
            EXPECT_EQ(out.count, palette == 5 ? 2u : 3u) << "bones 0-4 fit one palette of 5, not of 4";
            const DWORD nv = out.mesh->GetNumVertices(), weights = 3, stride = out.mesh->GetNumBytesPerVertex();
            const DWORD *remap = static_cast<const DWORD *>(out.remap->GetBufferPointer());
            const BYTE *to = nullptr;
            const WORD *ix = nullptr;
            DWORD tableSize = 8;
            D3DXATTRIBUTERANGE table[8];
            out.mesh->GetAttributeTable(table, &tableSize);
            ASSERT_EQ(tableSize, out.count);
            out.mesh->LockVertexBuffer(D3DLOCK_READONLY, (void **)&to);
            out.mesh->LockIndexBuffer(D3DLOCK_READONLY, (void **)&ix);
            std::vector<int> seen(12, 0);
            for (DWORD c = 0; c < out.count; c++) {
                const D3DXBONECOMBINATION &bc = out.Combination(c);
                EXPECT_EQ(table[c].AttribId, c) << "DrawSubset(i) draws combination i";
                EXPECT_EQ(memcmp(&table[c].FaceStart, &bc.FaceStart, 4 * sizeof(DWORD)), 0)
                    << "the table is the combinations'";
                for (DWORD f = bc.FaceStart; f < bc.FaceStart + bc.FaceCount; f++) {
                    const DWORD old = out.faceRemap[f];
                    ASSERT_LT(old, 12u);
                    seen[old]++;
                    EXPECT_EQ(kOrder[old] < 2 ? 1u : 0u, bc.AttribId);
                    for (int k = 0; k < 3; k++) {
                        const DWORD n = ix[f * 3 + k];
                        ASSERT_GE(n, bc.VertexStart);
                        ASSERT_LT(n, bc.VertexStart + bc.VertexCount) << "each combination's vertices are its own";
                        EXPECT_EQ(remap[n], Corner(kOrder[old], k));
                        const DWORD adj = out.adjacency[f * 3 + k], was = sourceAdjacency[old * 3 + k];
                        EXPECT_EQ(adj == 0xFFFFFFFF ? adj : out.faceRemap[adj], was) << "face " << f << " edge " << k;
                    }
                }
                // Every vertex of the combination gives back its original weights per bone.
                for (DWORD n = bc.VertexStart; n < bc.VertexStart + bc.VertexCount; n++) {
                    const BYTE *p = to + n * stride;
                    const Vertex o = StripVertex(int(remap[n]));
                    EXPECT_TRUE(!memcmp(p, &o.x, 12) && !memcmp(p + stride - 20, &o.nx, 20))
                        << "the rest of the vertex follows";
                    float w[4];
                    memcpy(w, p + 12, 12);
                    const DWORD last = palette ? weights : out.LastSlot(c);
                    w[last] = 1 - (last > 0 ? w[0] : 0) - (last > 1 ? w[1] : 0) - (last > 2 ? w[2] : 0);
                    Weights got;
                    for (DWORD s = 0; s <= last; s++) {
                        const DWORD slot = palette ? p[12 + 4 * weights + s] : s;
                        ASSERT_LT(slot, out.slots);
                        if (std::fabs(w[s]) > 1e-6f)
                            got[bc.BoneId[slot]] += w[s];
                    }
                    Weights want = Original(remap[n]);
                    ASSERT_EQ(got.size(), want.size()) << "vertex " << remap[n];
                    for (auto &[bone, weight] : want)
                        EXPECT_NEAR(got[bone], weight, 1e-6f) << "vertex " << remap[n] << " bone " << bone;
                }
                EXPECT_LE(std::count_if(bc.BoneId, bc.BoneId + out.slots, [](DWORD b) { return b != UINT_MAX; }),
                          palette ? long(palette) : 4);
            }
            EXPECT_EQ(seen, std::vector<int>(12, 1)) << "every face exactly once";
            EXPECT_GT(nv, 14u) << "vertices shared by two combinations are copied";
            out.mesh->UnlockIndexBuffer();
            out.mesh->UnlockVertexBuffer();
        }
    skin->Release();
    source->Release();
}

TEST_F(SkinConvertTest, InfluencesPastFourKeepTheHeaviest)
{
    // One face over six bones: vertex 0 has five (bone 0 the lightest), vertex 1 only bone
    // 5, vertex 2 bones 0 and 5.
    ID3DXMesh *source =
        meshtest::MeshFrom(device_, D3DFVF_XYZ, std::vector<D3DXVECTOR3>(3), {0, 1, 2}, {}, D3DXMESH_MANAGED);
    ID3DXSkinInfo *skin = nullptr;
    ASSERT_EQ(D3DXCreateSkinInfoFVF(3, D3DFVF_XYZ, 6, &skin), D3D_OK);
    const std::vector<std::pair<DWORD, float>> influences[6] = {
        {{0, 0.05f}, {2, 0.6f}}, {{0, 0.1f}}, {{0, 0.15f}}, {{0, 0.3f}}, {{0, 0.4f}}, {{1, 1.0f}, {2, 0.4f}}};
    for (DWORD bone = 0; bone < 6; bone++) {
        std::vector<DWORD> vertices;
        std::vector<float> weights;
        for (auto [v, w] : influences[bone])
            vertices.push_back(v), weights.push_back(w);
        skin->SetBoneInfluence(bone, DWORD(vertices.size()), vertices.data(), weights.data());
    }
    {
        // Each corner's heaviest bone (4, 5 and 0) stays, then the heaviest summed: 3.
        Blended out(skin, source, 0);
        ASSERT_EQ(out.hr, D3D_OK);
        ASSERT_EQ(out.count, 1u);
        EXPECT_EQ(out.most, 4u);
        std::vector<DWORD> bones(out.Combination(0).BoneId, out.Combination(0).BoneId + 4);
        std::sort(bones.begin(), bones.end());
        EXPECT_EQ(bones, (std::vector<DWORD>{0, 3, 4, 5}));
    }
    {
        // Indexed, vertex 0 keeps bones 1 to 4, their weights scaled to its whole weight.
        Blended out(skin, source, 6);
        ASSERT_EQ(out.hr, D3D_OK);
        EXPECT_EQ(out.most, 4u);
        const DWORD *remap = static_cast<const DWORD *>(out.remap->GetBufferPointer());
        const BYTE *v = nullptr;
        out.mesh->LockVertexBuffer(D3DLOCK_READONLY, (void **)&v);
        const DWORD n = DWORD(std::find(remap, remap + out.mesh->GetNumVertices(), 0u) - remap);
        const BYTE *p = v + n * out.mesh->GetNumBytesPerVertex();
        float w[3];
        memcpy(w, p + 12, sizeof w);
        const float want[4] = {0.1f / 0.95f, 0.15f / 0.95f, 0.3f / 0.95f, 0.4f / 0.95f};
        for (int s = 0; s < 4; s++) {
            EXPECT_EQ(out.Combination(0).BoneId[p[24 + s]], DWORD(s + 1)) << "slot " << s;
            EXPECT_NEAR(s < 3 ? w[s] : 1 - w[0] - w[1] - w[2], want[s], 1e-6f) << "slot " << s;
        }
        out.mesh->UnlockVertexBuffer();
    }
    testsupport::StderrOf(
        [&] { EXPECT_EQ(Blended(skin, source, 5).hr, D3DERR_INVALIDCALL) << "six bones, palette 5"; });
    skin->Release();
    source->Release();
}

TEST_F(SkinConvertTest, BadInputIsRefusedWithOneLine)
{
    ID3DXMesh *source = nullptr, *other = nullptr, *out = nullptr;
    ID3DXSkinInfo *skin = nullptr;
    MakeStrip(device_, &source, &skin);
    ASSERT_NE(skin, nullptr);
    ASSERT_EQ(D3DXCreateMeshFVF(1, 3, D3DXMESH_MANAGED, kFvf, device_, &other), D3D_OK);
    DWORD n = 0;
    ID3DXBuffer *table = nullptr;
    auto weights = [&](ID3DXMesh *m, ID3DXMesh **o) {
        return skin->ConvertToBlendedMesh(m, 0, nullptr, nullptr, nullptr, nullptr, &n, &n, &table, o);
    };
    auto indexed = [&](ID3DXMesh *m, DWORD palette, ID3DXMesh **o) {
        return skin->ConvertToIndexedBlendedMesh(m, 0, palette, nullptr, nullptr, nullptr, nullptr, &n, &n, &table, o);
    };
    auto refused = [&](auto &&call, const char *what) {
        HRESULT hr = S_OK;
        const std::string err = testsupport::StderrOf([&] { hr = call(); });
        EXPECT_EQ(hr, D3DERR_INVALIDCALL) << what;
        EXPECT_EQ(testsupport::CountLines(err), 1) << what << ": " << err;
        EXPECT_EQ(err.rfind("d3dx9: ", 0), 0u) << what << ": " << err;
        EXPECT_TRUE(out == nullptr && table == nullptr) << what;
    };
    refused([&] { return weights(nullptr, &out); }, "no mesh");
    refused([&] { return indexed(source, 4, nullptr); }, "no result");
    refused([&] { return weights(other, &out); }, "a mesh of 3 vertices for a skin of 14");
    refused([&] { return indexed(source, 0, &out); }, "a palette of 0");
    refused([&] { return indexed(source, 3, &out); }, "faces of 4 bones for a palette of 3");
    refused([&] { return skin->GetMaxFaceInfluences(nullptr, 12, &n); }, "no index buffer");
    refused([&] { return skin->SetDeclaration(nullptr); }, "no declaration");
    other->Release();
    skin->Release();
    source->Release();
}

class SkinConvertPixelTest : public d3d9test::PixelTest {
protected:
    // The 64 x 64 picture of the strip with every joint bent by `angle`, skinned in software
    // (palette ~0), or drawn combination by combination with the device's blending
    // (palette 0: by weights).
    std::vector<D3DCOLOR> Draw(ID3DXSkinInfo *skin, ID3DXMesh *source, DWORD palette, float angle = 0.2f)
    {
        // Bone i turns about its joint after its parent: combined(i) = Rz * T(joint step) *
        // combined(i - 1); the bone matrix is offset * combined.
        D3DXMATRIX bones[5], combined, turn, step, identity;
        D3DXMatrixIdentity(&combined);
        for (int i = 0; i < 5; i++) {
            D3DXMatrixTranslation(&step, kJoint[i] - (i ? kJoint[i - 1] : 0), 0, 0);
            combined = *D3DXMatrixRotationZ(&turn, angle) * step * combined;
            bones[i] = *skin->GetBoneOffsetMatrix(i) * combined;
        }
        device_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1, 0);
        device_->BeginScene();
        if (palette == ~0u) {
            // The world matrix is D3DTS_WORLDMATRIX(0), which blending sets.
            device_->SetTransform(D3DTS_WORLD, D3DXMatrixIdentity(&identity));
            ID3DXMesh *posed = nullptr;
            D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
            source->GetDeclaration(declaration);
            EXPECT_EQ(source->CloneMesh(D3DXMESH_MANAGED, declaration, device_, &posed), D3D_OK);
            void *from = nullptr, *to = nullptr;
            source->LockVertexBuffer(D3DLOCK_READONLY, &from);
            posed->LockVertexBuffer(0, &to);
            EXPECT_EQ(skin->UpdateSkinnedMesh(bones, nullptr, from, to), D3D_OK);
            posed->UnlockVertexBuffer();
            source->UnlockVertexBuffer();
            posed->DrawSubset(0);
            posed->DrawSubset(1);
            posed->Release();
        } else {
            Blended out(skin, source, palette);
            EXPECT_EQ(out.hr, D3D_OK);
            EXPECT_EQ(out.mesh->GetFVF() == 0, source->GetFVF() == 0) << "a layout no FVF code expresses stays one";
            device_->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, palette != 0);
            for (DWORD c = 0; c < out.count; c++) {
                for (DWORD s = 0; s < out.slots; s++)
                    if (out.Combination(c).BoneId[s] != UINT_MAX)
                        device_->SetTransform(D3DTS_WORLDMATRIX(s), &bones[out.Combination(c).BoneId[s]]);
                const DWORD blend = palette ? out.most - 1 : out.LastSlot(c);
                device_->SetRenderState(D3DRS_VERTEXBLEND, blend ? blend : DWORD(D3DVBF_0WEIGHTS));
                EXPECT_EQ(out.mesh->DrawSubset(c), D3D_OK);
            }
            device_->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
            device_->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE);
        }
        device_->EndScene();
        return ReadBack();
    }
};

// Pixels whose colours differ by more than `tolerance`.
int Differing(const std::vector<D3DCOLOR> &a, const std::vector<D3DCOLOR> &b, int tolerance = 0)
{
    int n = 0;
    for (size_t i = 0; i < a.size(); i++)
        n += d3d9test::Distance(a[i], b[i]) > tolerance;
    return n;
}

TEST_F(SkinConvertPixelTest, DeviceBlendingDrawsWhatSoftwareSkinningDraws)
{
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    D3DXMATRIX view, projection;  // x and y from -2 to 2 across the picture, z from 0 to 10
    device_->SetTransform(D3DTS_VIEW, D3DXMatrixIdentity(&view));
    device_->SetTransform(D3DTS_PROJECTION, D3DXMatrixScaling(&projection, 0.5f, 0.5f, 0.1f));
    for (bool declared : {false, true}) {
        SCOPED_TRACE(declared ? "declaration" : "FVF");
        ID3DXMesh *source = nullptr;
        ID3DXSkinInfo *skin = nullptr;
        MakeStrip(device_, &source, &skin, declared);
        ASSERT_NE(skin, nullptr);
        const std::vector<D3DCOLOR> software = Draw(skin, source, ~0u);
        EXPECT_GT(Differing(software, Draw(skin, source, ~0u, 0)), 300) << "the pose moves it well away from its rest";
        for (DWORD palette : {0u, 4u})
            EXPECT_LE(Differing(software, Draw(skin, source, palette), 64), 4)
                << "palette " << palette << ": only pixels on the edges may round the other way";
        skin->Release();
        source->Release();
    }
}
