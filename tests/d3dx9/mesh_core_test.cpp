// ID3DXMesh and the vertex-format helpers, on a NULLREF device.
#include "d3dx9/mesh_test_util.h"

#include <tavrok/d3d9_debug.h>

#include <deque>
#include <numeric>
#include <random>
#include <set>

using namespace meshtest;

namespace {

class MeshTest : public meshtest::NullDeviceTest {
protected:
    // A mesh of `faces` triangles over `vertices` vertices, vertex i at (i, 2i, 3i), face f
    // using vertices (f, f+1, f+2) and carrying attribute attributes[f].
    ID3DXMesh *MakeMesh(DWORD fvf, DWORD options, const std::vector<DWORD> &attributes)
    {
        const DWORD faces = DWORD(attributes.size()), stride = D3DXGetFVFVertexSize(fvf);
        std::vector<BYTE> vertices(size_t(faces + 2) * stride, 0);
        std::vector<DWORD> indices;
        for (DWORD i = 0; i < faces + 2; i++) {
            const float p[3] = {float(i), float(2 * i), float(3 * i)};
            memcpy(&vertices[i * stride], p, sizeof p);
        }
        for (DWORD f = 0; f < faces; f++)
            indices.insert(indices.end(), {f, f + 1, f + 2});
        return meshtest::MeshFrom(device_, fvf, vertices, indices, attributes, options);
    }
    // The draw calls DrawSubset makes.
    std::vector<std::string> Draws(ID3DXMesh *mesh, DWORD subset)
    {
        device_->BeginScene();
        tavrok::d3d9::StartCallTrace(device_);
        EXPECT_EQ(mesh->DrawSubset(subset), D3D_OK);
        std::vector<std::string> all = tavrok::d3d9::TakeCallTrace(device_), draws;
        tavrok::d3d9::StopCallTrace(device_);
        device_->EndScene();
        for (const std::string &call : all)
            if (call.rfind("Draw", 0) == 0)
                draws.push_back(call);
        return draws;
    }
};

TEST(FvfTest, SizesAndDeclarationsFromVertexFormats)
{
    // 28 (position + 4 weights) + 12 + 4 + 4 + 8 (set 0) + 12 (set 1, three floats)
    EXPECT_EQ(D3DXGetFVFVertexSize(D3DFVF_XYZB4 | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2 |
                                   D3DFVF_TEXCOORDSIZE3(1)),
              68u);
    EXPECT_EQ(D3DXGetFVFVertexSize(D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE1(0)), 20u);
    EXPECT_EQ(D3DXGetFVFVertexSize(0x00e | 0x4000), 0u) << "an undefined position type has no size";
    // (usage, usage index, type, offset) of each element up to the end marker.
    auto elements = [](DWORD fvf) {
        D3DVERTEXELEMENT9 d[MAX_FVF_DECL_SIZE];
        std::vector<std::vector<int>> out;
        EXPECT_EQ(D3DXDeclaratorFromFVF(fvf, d), D3D_OK);
        for (int i = 0; d[i].Stream != 0xFF && i < MAX_FVF_DECL_SIZE; i++)
            out.push_back({d[i].Usage, d[i].UsageIndex, d[i].Type, d[i].Offset});
        return out;
    };
    using E = std::vector<std::vector<int>>;
    EXPECT_EQ(elements(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1),
              (E{{D3DDECLUSAGE_POSITION, 0, D3DDECLTYPE_FLOAT3, 0},
                 {D3DDECLUSAGE_NORMAL, 0, D3DDECLTYPE_FLOAT3, 12},
                 {D3DDECLUSAGE_COLOR, 0, D3DDECLTYPE_D3DCOLOR, 24},
                 {D3DDECLUSAGE_TEXCOORD, 0, D3DDECLTYPE_FLOAT2, 28}}));
    // Three betas, the last holding byte indices: two weights, then the indices at 20.
    EXPECT_EQ(elements(D3DFVF_XYZB3 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE1(1)),
              (E{{D3DDECLUSAGE_POSITION, 0, D3DDECLTYPE_FLOAT3, 0},
                 {D3DDECLUSAGE_BLENDWEIGHT, 0, D3DDECLTYPE_FLOAT2, 12},
                 {D3DDECLUSAGE_BLENDINDICES, 0, D3DDECLTYPE_UBYTE4, 20},
                 {D3DDECLUSAGE_TEXCOORD, 0, D3DDECLTYPE_FLOAT2, 24},
                 {D3DDECLUSAGE_TEXCOORD, 1, D3DDECLTYPE_FLOAT1, 32}}));
    D3DVERTEXELEMENT9 d[MAX_FVF_DECL_SIZE];
    ASSERT_EQ(D3DXDeclaratorFromFVF(D3DFVF_XYZ, d), D3D_OK);
    EXPECT_EQ(d[1].Type, D3DDECLTYPE_UNUSED) << "the end marker";
    EXPECT_EQ(D3DXDeclaratorFromFVF(D3DFVF_XYZRHW | 0x001, d), D3DERR_INVALIDCALL);
}

TEST(FvfTest, BoundingVolumesOfStridedPositions)
{
    struct V {
        float x, y, z, pad;
    } v[3] = {{1, -2, 3, 99}, {-1, 4, 0, 99}, {0, 1, -3, 99}};
    D3DXVECTOR3 lo, hi, centre;
    float radius = 0;
    ASSERT_EQ(D3DXComputeBoundingBox((D3DXVECTOR3 *)v, 3, sizeof(V), &lo, &hi), D3D_OK);
    EXPECT_VEC3_NEAR(lo, -1, -2, -3, 0);
    EXPECT_VEC3_NEAR(hi, 1, 4, 3, 0);
    ASSERT_EQ(D3DXComputeBoundingSphere((D3DXVECTOR3 *)v, 3, sizeof(V), &centre, &radius), D3D_OK);
    EXPECT_VEC3_NEAR(centre, 0, 1, 0, 1e-6f);
    EXPECT_NEAR(radius, sqrtf(1 + 9 + 9), 1e-5f);
    EXPECT_EQ(D3DXComputeBoundingBox((D3DXVECTOR3 *)v, 0, sizeof(V), &lo, &hi), D3DERR_INVALIDCALL);
}

TEST_F(MeshTest, CreationChoosesIndexSizePoolAndUsage)
{
    ID3DXMesh *small = MakeMesh(D3DFVF_XYZ | D3DFVF_NORMAL, D3DXMESH_SYSTEMMEM, {0, 0});
    ASSERT_NE(small, nullptr);
    IDirect3DIndexBuffer9 *ib = nullptr;
    IDirect3DVertexBuffer9 *vb = nullptr;
    ASSERT_EQ(small->GetIndexBuffer(&ib), D3D_OK);
    ASSERT_EQ(small->GetVertexBuffer(&vb), D3D_OK);
    D3DINDEXBUFFER_DESC id;
    D3DVERTEXBUFFER_DESC vd;
    ib->GetDesc(&id);
    vb->GetDesc(&vd);
    EXPECT_EQ(id.Format, D3DFMT_INDEX16);
    EXPECT_EQ(id.Size, 2u * 3 * 2);
    EXPECT_EQ(id.Pool, D3DPOOL_SYSTEMMEM);
    EXPECT_EQ(vd.Pool, D3DPOOL_SYSTEMMEM);
    EXPECT_EQ(vd.Size, 4u * 24);
    ib->Release();
    vb->Release();
    small->Release();

    ID3DXMesh *wide = MakeMesh(D3DFVF_XYZ, D3DXMESH_32BIT | D3DXMESH_MANAGED | D3DXMESH_WRITEONLY, {0});
    ASSERT_NE(wide, nullptr);
    ASSERT_EQ(wide->GetIndexBuffer(&ib), D3D_OK);
    ib->GetDesc(&id);
    EXPECT_EQ(id.Format, D3DFMT_INDEX32);
    EXPECT_EQ(id.Pool, D3DPOOL_MANAGED);
    EXPECT_TRUE(id.Usage & D3DUSAGE_WRITEONLY);
    ib->Release();
    EXPECT_EQ(IndicesOf(wide), (std::vector<DWORD>{0, 1, 2}));
    wide->Release();

    // Too many vertices for 16-bit indices, no faces, no device, no position: refused.
    ID3DXMesh *none = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(D3DXCreateMeshFVF(1, 70000, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, device_, &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateMeshFVF(0, 3, 0, D3DFVF_XYZ, device_, &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateMeshFVF(1, 3, 0, D3DFVF_XYZ, nullptr, &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateMeshFVF(1, 3, 0, D3DFVF_NORMAL, device_, &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(meshtest::CountLines(testing::internal::GetCapturedStderr()), 4);
    EXPECT_EQ(none, nullptr);
}

TEST_F(MeshTest, CloneConvertsTheVertexFormatAndKeepsFacesAndAttributes)
{
    ID3DXMesh *mesh = MakeMesh(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, D3DXMESH_SYSTEMMEM, {3, 1, 2});
    ASSERT_NE(mesh, nullptr);
    BYTE *v = nullptr;
    ASSERT_EQ(mesh->LockVertexBuffer(0, (void **)&v), D3D_OK);
    for (DWORD i = 0; i < 5; i++) {
        float n[3] = {0, 1, 0}, uv[2] = {0.25f * i, 1.0f - 0.25f * i};
        memcpy(v + i * 32 + 12, n, 12);
        memcpy(v + i * 32 + 24, uv, 8);
    }
    mesh->UnlockVertexBuffer();

    ID3DXMesh *clone = nullptr;
    ASSERT_EQ(mesh->CloneMeshFVF(D3DXMESH_32BIT, D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, device_, &clone), D3D_OK);
    ASSERT_EQ(clone->GetNumBytesPerVertex(), 24u);
    std::vector<BYTE> cloned = VerticesOf(clone);
    for (DWORD i = 0; i < 5; i++) {
        EXPECT_VEC3_NEAR(Vec3At(cloned.data(), 24, i), float(i), float(2 * i), float(3 * i), 0);
        EXPECT_EQ(At<D3DCOLOR>(cloned.data(), 24, i, 12), 0xFFFFFFFFu) << "a colour the source lacks is white";
        EXPECT_EQ(At<UV>(cloned.data(), 24, i, 16), (UV{0.25f * i, 1.0f - 0.25f * i})) << i;
    }
    EXPECT_EQ(IndicesOf(clone), IndicesOf(mesh));
    EXPECT_EQ(AttributesOf(clone), (std::vector<DWORD>{3, 1, 2}));

    // And back: the normal the clone lacked comes back as zero.
    ID3DXMesh *back = nullptr;
    ASSERT_EQ(clone->CloneMeshFVF(0, D3DFVF_XYZ | D3DFVF_NORMAL, device_, &back), D3D_OK);
    cloned = VerticesOf(back);
    ASSERT_EQ(cloned.size(), 5u * 24);
    EXPECT_VEC3_NEAR(Vec3At(cloned.data(), 24, 4), 4, 8, 12, 0);
    EXPECT_VEC3_NEAR(Vec3At(cloned.data(), 24, 4, 12), 0, 0, 0, 0);
    EXPECT_EQ(IndicesOf(back), IndicesOf(mesh));
    back->Release();
    clone->Release();
    mesh->Release();
}

TEST_F(MeshTest, AttributeSortIsStableAndBuildsTheTable)
{
    ID3DXMesh *mesh = MakeMesh(D3DFVF_XYZ, D3DXMESH_SYSTEMMEM, {2, 0, 1, 0, 2});
    ASSERT_NE(mesh, nullptr);
    DWORD size = 99;
    ASSERT_EQ(mesh->GetAttributeTable(nullptr, &size), D3D_OK);
    EXPECT_EQ(size, 0u) << "no table before a sort";
    std::vector<DWORD> before = IndicesOf(mesh);

    DWORD remap[5], adjacency[15];
    ID3DXBuffer *vertexRemap = nullptr;
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, adjacency, remap, &vertexRemap), D3D_OK);
    EXPECT_EQ(std::vector<DWORD>(remap, remap + 5), (std::vector<DWORD>{1, 3, 2, 0, 4}));
    EXPECT_EQ(AttributesOf(mesh), (std::vector<DWORD>{0, 0, 1, 2, 2}));
    std::vector<DWORD> after = IndicesOf(mesh);
    for (int n = 0; n < 5; n++)
        for (int c = 0; c < 3; c++)
            EXPECT_EQ(after[n * 3 + c], before[remap[n] * 3 + c]);
    ASSERT_NE(vertexRemap, nullptr);
    DWORD *vr = static_cast<DWORD *>(vertexRemap->GetBufferPointer());
    EXPECT_EQ(std::vector<DWORD>(vr, vr + 7), (std::vector<DWORD>{0, 1, 2, 3, 4, 5, 6})) << "vertices stay";
    vertexRemap->Release();

    ASSERT_EQ(mesh->GetAttributeTable(nullptr, &size), D3D_OK);
    ASSERT_EQ(size, 3u);
    D3DXATTRIBUTERANGE table[3];
    ASSERT_EQ(mesh->GetAttributeTable(table, &size), D3D_OK);
    // Attribute 0: old faces 1 and 3 (vertices 1..5); 1: old face 2 (2..4); 2: old 0 and 4 (0..6).
    const DWORD expected[3][5] = {{0, 0, 2, 1, 5}, {1, 2, 1, 2, 3}, {2, 3, 2, 0, 7}};
    for (int i = 0; i < 3; i++)
        EXPECT_EQ((std::vector<DWORD>{table[i].AttribId, table[i].FaceStart, table[i].FaceCount, table[i].VertexStart,
                                      table[i].VertexCount}),
                  std::vector<DWORD>(expected[i], expected[i] + 5))
            << "range " << i;

    // Consecutive faces of the strip share an edge; adjacency follows the new face order:
    // new face 0 (old 1: 1,2,3) touches old 0 (now 3) across 1-2 and old 2 (now 2) across 2-3.
    EXPECT_EQ(adjacency[0], 3u);
    EXPECT_EQ(adjacency[1], 2u);
    EXPECT_EQ(adjacency[2], 0xFFFFFFFFu);

    // Writing the attributes makes the table stale.
    DWORD *a = nullptr;
    ASSERT_EQ(mesh->LockAttributeBuffer(0, &a), D3D_OK);
    mesh->UnlockAttributeBuffer();
    ASSERT_EQ(mesh->GetAttributeTable(nullptr, &size), D3D_OK);
    EXPECT_EQ(size, 0u);

    testing::internal::CaptureStderr();
    EXPECT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER, nullptr, nullptr, nullptr,
                                    nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_IGNOREVERTS, nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(meshtest::CountLines(testing::internal::GetCapturedStderr()), 2);
    mesh->Release();
}

// Average vertices transformed per face through a first-in first-out cache of 16 entries,
// a different model from the one the optimiser assumes.
double TransformsPerFace(const std::vector<DWORD> &indices)
{
    std::deque<DWORD> cache;
    size_t misses = 0;
    for (DWORD v : indices)
        if (std::find(cache.begin(), cache.end(), v) == cache.end()) {
            misses++;
            cache.push_back(v);
            if (cache.size() > 16)
                cache.pop_front();
        }
    return double(misses) / double(indices.size() / 3);
}

// How many consecutive faces share an edge (two corners).
size_t SharedEdges(const std::vector<DWORD> &indices)
{
    size_t shared = 0;
    for (size_t f = 1; f < indices.size() / 3; f++) {
        int common = 0;
        for (int a = 0; a < 3; a++)
            for (int b = 0; b < 3; b++)
                common += indices[f * 3 + a] == indices[(f - 1) * 3 + b];
        shared += common >= 2;
    }
    return shared;
}

TEST_F(MeshTest, CacheStripAndCompactPassesKeepTheMeshAndItsSubsets)
{
    // A 20 x 20 grid of quads whose faces come in a scrambled order, the left half with
    // attribute 0 and the right half with 1, and four vertices no face uses at the front.
    const DWORD n = 20, unused = 4, vertices = (n + 1) * (n + 1) + unused, faces = 2 * n * n;
    std::vector<DWORD> indices, attributes;
    for (DWORD y = 0; y < n; y++)
        for (DWORD x = 0; x < n; x++) {
            DWORD v = unused + y * (n + 1) + x;
            for (DWORD i : {v, v + n + 1, v + 1, v + 1, v + n + 1, v + n + 2})
                indices.push_back(i);
            attributes.insert(attributes.end(), 2, x >= n / 2);
        }
    std::vector<DWORD> order(faces);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    std::vector<DWORD> scrambled, scrambledAttributes;
    for (DWORD f : order) {
        scrambled.insert(scrambled.end(), indices.begin() + f * 3, indices.begin() + f * 3 + 3);
        scrambledAttributes.push_back(attributes[f]);
    }
    std::vector<D3DXVECTOR3> positions(vertices, D3DXVECTOR3(0, 0, 0));
    for (DWORD v = 0; v < vertices; v++)
        positions[v].x = float(v);  // x names the vertex
    auto make = [&] {
        return meshtest::MeshFrom(device_, D3DFVF_XYZ, positions, scrambled, scrambledAttributes, D3DXMESH_MANAGED);
    };
    // Face n of the result is face remap[n] of the source, over the same vertices (found by
    // their x) and with its attribute; after a sort, each attribute's faces are together.
    auto expectSameMesh = [&](ID3DXMesh *mesh, const std::vector<DWORD> &remap, const char *pass,
                              bool sortedByAttribute) {
        std::vector<BYTE> bytes = VerticesOf(mesh);
        std::vector<DWORD> after = IndicesOf(mesh), afterAttributes = AttributesOf(mesh);
        std::vector<DWORD> sorted = remap, all(faces);
        std::sort(sorted.begin(), sorted.end());
        std::iota(all.begin(), all.end(), 0);
        ASSERT_EQ(sorted, all) << pass << ": every face once";
        for (DWORD f = 0; f < faces; f++) {
            for (int c = 0; c < 3; c++)
                ASSERT_EQ(At<float>(bytes.data(), 12, after[f * 3 + c]), float(scrambled[remap[f] * 3 + c])) << pass;
            ASSERT_EQ(afterAttributes[f], scrambledAttributes[remap[f]]) << pass;
            if (sortedByAttribute && f > 0) {
                ASSERT_LE(afterAttributes[f - 1], afterAttributes[f]) << pass << ": attribute groups are whole";
            }
        }
        // Unsorted, faces move only within their run of one attribute.
        if (!sortedByAttribute) {
            EXPECT_EQ(afterAttributes, scrambledAttributes) << pass;
        }
    };
    const double scrambledCost = TransformsPerFace(scrambled);

    ID3DXMesh *mesh = make();
    std::vector<DWORD> remap(faces);
    ID3DXBuffer *vertexRemap = nullptr;
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE, nullptr, nullptr, remap.data(),
                                    &vertexRemap),
              D3D_OK);
    expectSameMesh(mesh, remap, "vertex cache", true);
    std::vector<DWORD> cached = IndicesOf(mesh);
    EXPECT_GT(scrambledCost, 2.0);
    EXPECT_LT(TransformsPerFace(cached), 0.8) << "scrambled: " << scrambledCost;
    // Without COMPACT every vertex stays, numbered as the faces first use them: the unused
    // four come last.
    ASSERT_EQ(mesh->GetNumVertices(), vertices);
    DWORD highest = 0;
    for (DWORD i : cached) {
        ASSERT_LE(i, highest + 1);
        highest = std::max(highest, i);
    }
    DWORD *vr = static_cast<DWORD *>(vertexRemap->GetBufferPointer());
    ASSERT_EQ(vertexRemap->GetBufferSize(), vertices * 4);
    EXPECT_EQ(std::vector<DWORD>(vr + vertices - unused, vr + vertices), (std::vector<DWORD>{0, 1, 2, 3}));
    vertexRemap->Release();
    D3DXATTRIBUTERANGE table[2];
    DWORD size = 2;
    ASSERT_EQ(mesh->GetAttributeTable(table, &size), D3D_OK);
    ASSERT_EQ(size, 2u);
    EXPECT_EQ(table[0].FaceCount + table[1].FaceCount, faces);
    mesh->Release();

    // Strips: nearly every face shares an edge with the one before it.
    mesh = make();
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_STRIPREORDER | D3DXMESHOPT_COMPACT, nullptr,
                                    nullptr, remap.data(), nullptr),
              D3D_OK);
    expectSameMesh(mesh, remap, "strips", true);
    EXPECT_LT(SharedEdges(scrambled), faces / 20);
    EXPECT_GT(SharedEdges(IndicesOf(mesh)), faces * 9 / 10);
    EXPECT_EQ(mesh->GetNumVertices(), vertices - unused) << "compacted";
    mesh->Release();

    // Compaction alone drops the unused vertices and keeps the order of the rest; with
    // IGNOREVERTS the vertices stay as they are.
    mesh = make();
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_COMPACT, nullptr, nullptr, remap.data(), &vertexRemap), D3D_OK);
    ASSERT_EQ(mesh->GetNumVertices(), vertices - unused);
    vr = static_cast<DWORD *>(vertexRemap->GetBufferPointer());
    for (DWORD v = 0; v < vertices - unused; v++)
        ASSERT_EQ(vr[v], v + unused);
    vertexRemap->Release();
    expectSameMesh(mesh, remap, "compact", false);
    mesh->Release();
    mesh = make();
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_IGNOREVERTS, nullptr, nullptr, remap.data(),
                                    nullptr),
              D3D_OK);
    EXPECT_EQ(mesh->GetNumVertices(), vertices);
    EXPECT_EQ(At<float>(VerticesOf(mesh).data(), 12, 5), 5.0f);
    expectSameMesh(mesh, remap, "faces only", false);
    mesh->Release();

    // The free functions order a plain index list the same ways.
    std::vector<WORD> wide(scrambled.begin(), scrambled.end());
    std::vector<DWORD> faceRemap(faces), vertexOrder(vertices);
    ASSERT_EQ(D3DXOptimizeFaces(wide.data(), faces, vertices, FALSE, faceRemap.data()), D3D_OK);
    std::vector<DWORD> reordered;
    for (DWORD f : faceRemap)
        reordered.insert(reordered.end(), scrambled.begin() + f * 3, scrambled.begin() + f * 3 + 3);
    EXPECT_LT(TransformsPerFace(reordered), 0.8);
    ASSERT_EQ(D3DXOptimizeVertices(reordered.data(), faces, vertices, TRUE, vertexOrder.data()), D3D_OK);
    EXPECT_EQ(vertexOrder[0], reordered[0]);
    EXPECT_EQ(std::vector<DWORD>(vertexOrder.end() - unused, vertexOrder.end()), (std::vector<DWORD>{0, 1, 2, 3}));

    // A face naming a vertex past the end is refused with one line.
    wide[7] = WORD(vertices);
    testing::internal::CaptureStderr();
    EXPECT_EQ(D3DXOptimizeFaces(wide.data(), faces, vertices, FALSE, faceRemap.data()), D3DERR_INVALIDCALL);
    EXPECT_EQ(meshtest::CountLines(testing::internal::GetCapturedStderr()), 1);
}

TEST_F(MeshTest, DrawSubsetBindsTheMeshAndDrawsEachRunOfTheSubset)
{
    // Without an attribute table, one call per run of consecutive faces of the subset, in
    // face order; the runs are kept between draws and follow a rewrite of the attributes.
    ID3DXMesh *mesh = MakeMesh(D3DFVF_XYZ | D3DFVF_NORMAL, D3DXMESH_MANAGED, {0, 0, 1, 1, 1, 0});
    ASSERT_NE(mesh, nullptr);
    using Calls = std::vector<std::string>;
    EXPECT_EQ(Draws(mesh, 0), (Calls{"DrawIndexedPrimitive 2", "DrawIndexedPrimitive 1"}));
    EXPECT_EQ(Draws(mesh, 1), (Calls{"DrawIndexedPrimitive 3"}));
    EXPECT_EQ(Draws(mesh, 0), (Calls{"DrawIndexedPrimitive 2", "DrawIndexedPrimitive 1"}));  // again, unchanged
    EXPECT_EQ(Draws(mesh, 2), Calls{});

    DWORD fvf = 0;
    device_->GetFVF(&fvf);
    EXPECT_EQ(fvf, DWORD(D3DFVF_XYZ | D3DFVF_NORMAL));
    IDirect3DVertexBuffer9 *bound = nullptr, *own = nullptr;
    UINT offset = 1, stride = 0;
    ASSERT_EQ(device_->GetStreamSource(0, &bound, &offset, &stride), D3D_OK);
    mesh->GetVertexBuffer(&own);
    EXPECT_EQ(bound, own);
    EXPECT_EQ(offset, 0u);
    EXPECT_EQ(stride, 24u);
    IDirect3DIndexBuffer9 *indices = nullptr, *ownIndices = nullptr;
    ASSERT_EQ(device_->GetIndices(&indices), D3D_OK);
    mesh->GetIndexBuffer(&ownIndices);
    EXPECT_EQ(indices, ownIndices);
    for (IUnknown *p : std::initializer_list<IUnknown *>{bound, own, indices, ownIndices})
        if (p)
            p->Release();
    device_->SetStreamSource(0, nullptr, 0, 0);
    device_->SetIndices(nullptr);

    DWORD *a = nullptr;
    ASSERT_EQ(mesh->LockAttributeBuffer(0, &a), D3D_OK);
    const DWORD rewritten[] = {1, 0, 0, 0, 1, 1};
    std::copy(rewritten, rewritten + 6, a);
    testing::internal::CaptureStderr();
    EXPECT_EQ(mesh->DrawSubset(0), D3DERR_INVALIDCALL) << "not while the attributes are locked";
    EXPECT_EQ(mesh->LockAttributeBuffer(0, &a), D3DERR_INVALIDCALL) << "locked twice";
    EXPECT_EQ(mesh->UnlockAttributeBuffer(), D3D_OK);
    EXPECT_EQ(mesh->UnlockAttributeBuffer(), D3DERR_INVALIDCALL) << "unlocked twice";
    EXPECT_EQ(meshtest::CountLines(testing::internal::GetCapturedStderr()), 3);
    EXPECT_EQ(Draws(mesh, 0), (Calls{"DrawIndexedPrimitive 3"}));
    EXPECT_EQ(Draws(mesh, 1), (Calls{"DrawIndexedPrimitive 1", "DrawIndexedPrimitive 2"}));
    // A read-only lock changes nothing.
    ASSERT_EQ(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &a), D3D_OK);
    mesh->UnlockAttributeBuffer();
    EXPECT_EQ(Draws(mesh, 1), (Calls{"DrawIndexedPrimitive 1", "DrawIndexedPrimitive 2"}));
    mesh->Release();
}

TEST_F(MeshTest, AdjacencyJoinsFacesThroughCoincidentPositions)
{
    // Two triangles of a square that share their diagonal through copies of its two corners
    // (as a normal split makes), and a third triangle far away.
    ID3DXMesh *mesh = meshtest::MeshFrom(
        device_, D3DFVF_XYZ,
        std::vector<D3DXVECTOR3>{
            {0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}, {1, 1, 0}, {0, 1, 0}, {5, 5, 5}, {6, 5, 5}, {5, 6, 5}},
        {0, 1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_NE(mesh, nullptr);
    DWORD adjacency[9];
    ASSERT_EQ(mesh->GenerateAdjacency(0.0f, adjacency), D3D_OK);
    EXPECT_EQ(
        std::vector<DWORD>(adjacency, adjacency + 9),
        (std::vector<DWORD>{0xFFFFFFFF, 0xFFFFFFFF, 1, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}));
    // Without point representatives the copies are different vertices: nothing joins.
    ASSERT_EQ(mesh->ConvertPointRepsToAdjacency(nullptr, adjacency), D3D_OK);
    EXPECT_EQ(adjacency[2], 0xFFFFFFFFu);
    const DWORD reps[9] = {0, 1, 2, 0, 2, 5, 6, 7, 8};
    ASSERT_EQ(mesh->ConvertPointRepsToAdjacency(reps, adjacency), D3D_OK);
    EXPECT_EQ(adjacency[2], 1u);
    EXPECT_EQ(adjacency[3], 0u);
    mesh->Release();
}

const D3DVERTEXELEMENT9 kEnd = D3DDECL_END();

TEST_F(MeshTest, CreationFromADeclaration)
{
    // Declarations an FVF code stands for give that code back, with its vertex size.
    const DWORD codes[] = {D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1,
                           D3DFVF_XYZB3 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE1(1),
                           D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0)};
    for (DWORD fvf : codes) {
        SCOPED_TRACE(testing::Message() << "fvf 0x" << std::hex << fvf);
        D3DVERTEXELEMENT9 d[MAX_FVF_DECL_SIZE], back[MAX_FVF_DECL_SIZE];
        ASSERT_EQ(D3DXDeclaratorFromFVF(fvf, d), D3D_OK);
        ID3DXMesh *mesh = nullptr;
        ASSERT_EQ(D3DXCreateMesh(1, 3, D3DXMESH_SYSTEMMEM, d, device_, &mesh), D3D_OK);
        EXPECT_EQ(mesh->GetFVF(), fvf);
        EXPECT_EQ(mesh->GetNumBytesPerVertex(), D3DXGetFVFVertexSize(fvf));
        ASSERT_EQ(mesh->GetDeclaration(back), D3D_OK);
        EXPECT_EQ(memcmp(back, d, (D3DXGetDeclLength(d) + 1) * sizeof *d), 0);
        mesh->Release();
    }

    // Position, tangent, texture coordinates: no FVF code has a tangent.  The vertex size
    // and declaration are the declaration's, the device draws by it, and a clone to an FVF
    // format keeps the components both have.
    const D3DVERTEXELEMENT9 tangent[] = {{0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                         {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0},
                                         {0, 24, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
                                         kEnd};
    ID3DXMesh *mesh = nullptr;
    ASSERT_EQ(D3DXCreateMesh(2, 4, D3DXMESH_MANAGED, tangent, device_, &mesh), D3D_OK);
    EXPECT_EQ(mesh->GetFVF(), 0u);
    ASSERT_EQ(mesh->GetNumBytesPerVertex(), 32u);
    D3DVERTEXELEMENT9 back[MAX_FVF_DECL_SIZE];
    ASSERT_EQ(mesh->GetDeclaration(back), D3D_OK);
    EXPECT_EQ(memcmp(back, tangent, sizeof tangent), 0);
    float *v = nullptr;
    ASSERT_EQ(mesh->LockVertexBuffer(0, (void **)&v), D3D_OK);
    for (int i = 0; i < 4; i++) {
        const float vertex[8] = {float(i), 2.0f * i, 3.0f * i, 9, 9, 9, 0.5f * i, 1.0f - 0.5f * i};
        memcpy(v + 8 * i, vertex, sizeof vertex);
    }
    mesh->UnlockVertexBuffer();

    device_->BeginScene();
    EXPECT_EQ(mesh->DrawSubset(0), D3D_OK);
    device_->EndScene();
    IDirect3DVertexDeclaration9 *bound = nullptr;
    ASSERT_EQ(device_->GetVertexDeclaration(&bound), D3D_OK);
    ASSERT_NE(bound, nullptr);
    D3DVERTEXELEMENT9 drawn[MAX_FVF_DECL_SIZE];
    UINT count = 0;
    ASSERT_EQ(bound->GetDeclaration(drawn, &count), D3D_OK);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(memcmp(drawn, tangent, sizeof tangent), 0);
    bound->Release();
    IDirect3DVertexBuffer9 *stream = nullptr;
    UINT offset = 1, stride = 0;
    ASSERT_EQ(device_->GetStreamSource(0, &stream, &offset, &stride), D3D_OK);
    EXPECT_EQ(stride, 32u);
    stream->Release();
    device_->SetStreamSource(0, nullptr, 0, 0);
    device_->SetIndices(nullptr);
    device_->SetVertexDeclaration(nullptr);

    ID3DXMesh *clone = nullptr;
    ASSERT_EQ(mesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, D3DFVF_XYZ | D3DFVF_TEX1, device_, &clone), D3D_OK);
    std::vector<BYTE> cloned = VerticesOf(clone);
    ASSERT_EQ(cloned.size(), 4u * 20);
    EXPECT_VEC3_NEAR(Vec3At(cloned.data(), 20, 3), 3, 6, 9, 0);
    EXPECT_EQ(At<UV>(cloned.data(), 20, 3, 12), (UV{1.5f, -0.5f}));
    clone->Release();
    // A clone to another declaration takes each element from the one of the same usage:
    // the tangent kept, the texture coordinates widened with a zero, the normal it lacks
    // zero and the diffuse colour it lacks white.
    const D3DVERTEXELEMENT9 wider[] = {{0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                       {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
                                       {0, 24, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
                                       {0, 36, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0},
                                       {0, 48, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
                                       kEnd};
    ASSERT_EQ(mesh->CloneMesh(D3DXMESH_SYSTEMMEM, wider, device_, &clone), D3D_OK);
    EXPECT_EQ(clone->GetFVF(), 0u);
    ASSERT_EQ(clone->GetNumBytesPerVertex(), 52u);
    cloned = VerticesOf(clone);
    EXPECT_VEC3_NEAR(Vec3At(cloned.data(), 52, 3, 0), 3, 6, 9, 0);
    EXPECT_VEC3_NEAR(Vec3At(cloned.data(), 52, 3, 12), 0, 0, 0, 0);
    EXPECT_VEC3_NEAR(Vec3At(cloned.data(), 52, 3, 24), 1.5f, -0.5f, 0, 0);
    EXPECT_VEC3_NEAR(Vec3At(cloned.data(), 52, 3, 36), 9, 9, 9, 0);
    EXPECT_EQ(At<D3DCOLOR>(cloned.data(), 52, 3, 48), 0xFFFFFFFFu);
    // New semantics over the same bytes: the tangent read as a binormal; a declaration of
    // another vertex size is refused.
    D3DVERTEXELEMENT9 renamed[6];
    memcpy(renamed, wider, sizeof renamed);
    renamed[3].Usage = D3DDECLUSAGE_BINORMAL;
    ASSERT_EQ(clone->UpdateSemantics(renamed), D3D_OK);
    ASSERT_EQ(clone->GetDeclaration(back), D3D_OK);
    EXPECT_EQ(back[3].Usage, D3DDECLUSAGE_BINORMAL);
    D3DVERTEXELEMENT9 shorter[6];
    memcpy(shorter, wider, sizeof shorter);
    shorter[4] = kEnd;
    EXPECT_EQ(clone->UpdateSemantics(shorter), D3DERR_INVALIDCALL);
    EXPECT_EQ(clone->GetNumBytesPerVertex(), 52u);
    clone->Release();
    // An optimised copy keeps the declaration.
    ID3DXMesh *sorted = nullptr;
    ASSERT_EQ(mesh->Optimize(D3DXMESHOPT_ATTRSORT, nullptr, nullptr, nullptr, nullptr, &sorted), D3D_OK);
    EXPECT_EQ(sorted->GetNumBytesPerVertex(), 32u);
    ASSERT_EQ(sorted->GetDeclaration(back), D3D_OK);
    EXPECT_EQ(memcmp(back, tangent, sizeof tangent), 0);
    sorted->Release();
    mesh->Release();

    // The FVF components, but the texture coordinates before the normal: no code lays a
    // vertex out so.
    const D3DVERTEXELEMENT9 reordered[] = {{0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                           {0, 12, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
                                           {0, 20, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
                                           kEnd};
    ASSERT_EQ(D3DXCreateMesh(1, 3, D3DXMESH_SYSTEMMEM, reordered, device_, &mesh), D3D_OK);
    EXPECT_EQ(mesh->GetFVF(), 0u);
    EXPECT_EQ(mesh->GetNumBytesPerVertex(), 32u);
    mesh->Release();

    // No position first, a second stream, no declaration: refused, one line each.
    const D3DVERTEXELEMENT9 noPosition[] = {{0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
                                            kEnd};
    const D3DVERTEXELEMENT9 twoStreams[] = {{0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                            {1, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
                                            kEnd};
    mesh = reinterpret_cast<ID3DXMesh *>(this);
    testing::internal::CaptureStderr();
    EXPECT_EQ(D3DXCreateMesh(1, 3, 0, noPosition, device_, &mesh), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateMesh(1, 3, 0, twoStreams, device_, &mesh), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateMesh(1, 3, 0, nullptr, device_, &mesh), D3DERR_INVALIDCALL);
    EXPECT_EQ(meshtest::CountLines(testing::internal::GetCapturedStderr()), 3);
    EXPECT_EQ(mesh, nullptr);
}

TEST_F(MeshTest, NormalsFromFacesAreAngleWeightedAndSmoothedAcrossAdjacency)
{
    // A cube of side 2 with four vertices per side, as a loader splits it: no vertex is
    // shared between sides.  Each side is two triangles, so a corner gets one 90-degree
    // angle from one side and two 45-degree ones from another.  Its normals are scribbled
    // over before they are computed.
    ID3DXMesh *mesh = nullptr;
    ASSERT_EQ(D3DXCreateBox(device_, 2, 2, 2, &mesh, nullptr), D3D_OK);
    std::vector<D3DXVECTOR3> sideNormal;
    float *v = nullptr;
    ASSERT_EQ(mesh->LockVertexBuffer(0, (void **)&v), D3D_OK);
    for (DWORD i = 0; i < 24; i++) {
        sideNormal.push_back(D3DXVECTOR3(v + i * 6 + 3));
        v[i * 6 + 3] = v[i * 6 + 4] = v[i * 6 + 5] = 7;
    }
    mesh->UnlockVertexBuffer();
    auto normal = [&](DWORD i) { return Vec3At(VerticesOf(mesh).data(), 24, i, 12); };

    // Alone, each vertex takes its own side's normal.
    ASSERT_EQ(D3DXComputeNormals(mesh, nullptr), D3D_OK);
    for (DWORD i = 0; i < 24; i++) {
        SCOPED_TRACE(i);
        EXPECT_VEC3_NEAR(normal(i), sideNormal[i].x, sideNormal[i].y, sideNormal[i].z, 1e-6f);
    }

    // Through the adjacency the three vertices at a corner are one point, and their normal
    // is the corner's diagonal exactly: each side weighs in by its 90 degrees.
    DWORD adjacency[36], reps[24];
    ASSERT_EQ(mesh->GenerateAdjacency(0.0f, adjacency), D3D_OK);
    ASSERT_EQ(mesh->ConvertAdjacencyToPointReps(adjacency, reps), D3D_OK);
    std::vector<BYTE> bytes = VerticesOf(mesh);
    std::set<DWORD> points(reps, reps + 24);
    EXPECT_EQ(points.size(), 8u);
    for (DWORD i = 0; i < 24; i++) {
        EXPECT_LE(reps[i], i);
        EXPECT_EQ(Vec3At(bytes.data(), 24, reps[i]), Vec3At(bytes.data(), 24, i)) << i;
    }
    ASSERT_EQ(D3DXComputeNormals(mesh, adjacency), D3D_OK);
    const float d = 1.0f / sqrtf(3.0f);
    for (DWORD i = 0; i < 24; i++) {
        SCOPED_TRACE(i);
        D3DXVECTOR3 p = Vec3At(VerticesOf(mesh).data(), 24, i);
        EXPECT_VEC3_NEAR(normal(i), p.x * d, p.y * d, p.z * d, 1e-5f);
    }

    // A mesh without normals, and adjacency naming a face past the end, are refused.
    ID3DXMesh *bare = MakeMesh(D3DFVF_XYZ, D3DXMESH_SYSTEMMEM, {0});
    adjacency[4] = 12;
    testing::internal::CaptureStderr();
    EXPECT_EQ(D3DXComputeNormals(bare, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXComputeNormals(mesh, adjacency), D3DERR_INVALIDCALL);
    EXPECT_EQ(mesh->ConvertAdjacencyToPointReps(adjacency, reps), D3DERR_INVALIDCALL);
    EXPECT_EQ(meshtest::CountLines(testing::internal::GetCapturedStderr()), 3);
    bare->Release();
    mesh->Release();
}

}  // namespace
