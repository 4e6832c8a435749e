// D3DXWeldVertices, D3DXValidMesh, D3DXCleanMesh and D3DXConcatenateMeshes on small meshes
// built by hand on a NULLREF device.
#include "d3dx9/mesh_test_util.h"

using namespace meshtest;

namespace {

const DWORD kNo = 0xFFFFFFFF;
const DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

struct Vertex {
    D3DXVECTOR3 p, n;
    float u, v;
};

class MeshToolsTest : public meshtest::NullDeviceTest {
protected:
    ID3DXMesh *Make(const std::vector<Vertex> &vertices, const std::vector<DWORD> &indices,
                    const std::vector<DWORD> &attributes = {})
    {
        return meshtest::MeshFrom(device_, kFvf, vertices, indices, attributes);
    }
    static std::string Text(ID3DXBuffer *b) { return b ? static_cast<const char *>(b->GetBufferPointer()) : ""; }
};

// A unit quad in z = 0 cut into two triangles that each have their own three vertices; the
// two on the shared diagonal are copies (vertices 3 and 5 of 0 and 2).
std::vector<Vertex> SplitQuad()
{
    const D3DXVECTOR3 n(0, 0, -1);
    return {{{0, 0, 0}, n, 0, 1}, {{0, 1, 0}, n, 0, 0}, {{1, 1, 0}, n, 1, 0},
            {{0, 0, 0}, n, 0, 1}, {{1, 1, 0}, n, 1, 0}, {{1, 0, 0}, n, 1, 1}};
}
const std::vector<DWORD> kSplitQuadIndices = {0, 1, 2, 3, 4, 5};

TEST_F(MeshToolsTest, WeldMergesCopiesWithinEpsilonAndReportsTheRemaps)
{
    // Equal copies merge: 4 vertices left, faces in place, neighbours across the diagonal.
    ID3DXMesh *mesh = Make(SplitQuad(), kSplitQuadIndices);
    DWORD adjacency[6], faceRemap[2] = {9, 9};
    ID3DXBuffer *remap = nullptr;
    ASSERT_EQ(D3DXWeldVertices(mesh, 0, nullptr, nullptr, adjacency, faceRemap, &remap), D3D_OK);
    ASSERT_EQ(mesh->GetNumVertices(), 4u);
    EXPECT_EQ(IndicesOf(mesh), (std::vector<DWORD>{0, 1, 2, 0, 2, 3}));
    ASSERT_NE(remap, nullptr);
    ASSERT_EQ(remap->GetBufferSize(), 4u * sizeof(DWORD));
    const DWORD *r = static_cast<const DWORD *>(remap->GetBufferPointer());
    EXPECT_EQ(std::vector<DWORD>(r, r + 4), (std::vector<DWORD>{0, 1, 2, 5}));
    remap->Release();
    EXPECT_EQ(faceRemap[0], 0u);
    EXPECT_EQ(faceRemap[1], 1u);
    EXPECT_EQ(std::count(adjacency, adjacency + 3, 1u), 1);
    EXPECT_EQ(std::count(adjacency + 3, adjacency + 6, 0u), 1);
    EXPECT_EQ(std::count(adjacency, adjacency + 6, kNo), 4);
    std::vector<BYTE> v = VerticesOf(mesh);
    EXPECT_VEC3_NEAR(Vec3At(v.data(), 32, 3), 1, 0, 0, 0);
    EXPECT_EQ((At<UV>(v.data(), 32, 3, 24)), (UV{1, 1}));
    mesh->Release();

    // A seam: the copies' texture coordinates differ by more than their epsilon, so they stay;
    // a larger epsilon for that set merges them.
    std::vector<Vertex> seam = SplitQuad();
    seam[3].u = 0.25f;
    seam[4].v = 0.001f;
    mesh = Make(seam, kSplitQuadIndices);
    D3DXWELDEPSILONS eps{};
    eps.Position = 1e-4f;
    ASSERT_EQ(D3DXWeldVertices(mesh, 0, &eps, nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(mesh->GetNumVertices(), 6u);
    eps.Texcoord[0] = 0.01f;
    ASSERT_EQ(D3DXWeldVertices(mesh, 0, &eps, nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(mesh->GetNumVertices(), 5u) << "vertex 4 is within 0.01 of vertex 2, vertex 3 is not of 0";
    mesh->Release();

    // WELDALL merges the copies whatever their other components are.
    seam[3].n = D3DXVECTOR3(0, 1, 0);
    mesh = Make(seam, kSplitQuadIndices);
    ASSERT_EQ(D3DXWeldVertices(mesh, D3DXWELDEPSILONS_WELDALL, &eps, nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(mesh->GetNumVertices(), 4u);
    v = VerticesOf(mesh);
    EXPECT_EQ(Vec3At(v.data(), 32, 0, 12), D3DXVECTOR3(0, 0, -1)) << "the kept vertex is the first";
    mesh->Release();

    // The position is compared too: copies the adjacency joins but that lie apart stay apart.
    std::vector<Vertex> apart = SplitQuad();
    apart[3].p.x = 0.001f;
    mesh = Make(apart, kSplitQuadIndices);
    // The diagonal is shared: edge 2 of face 0 (2 to 0) and edge 0 of face 1 (3 to 4).
    const DWORD joined[6] = {kNo, kNo, 1, 0, kNo, kNo};
    ASSERT_EQ(D3DXWeldVertices(mesh, 0, &eps, joined, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(mesh->GetNumVertices(), 5u) << "vertex 4 merges into 2; vertex 3 is 0.001 from 0";
    mesh->Release();
}

TEST_F(MeshToolsTest, WeldPartialMatchesAttributesAndKeptVertices)
{
    // Partial matching: the copy's normal is within epsilon and takes the first vertex's
    // value; its texture coordinate is not, so it stays a vertex of its own.
    std::vector<Vertex> seam = SplitQuad();
    seam[3].u = 0.5f;
    seam[3].n = D3DXVECTOR3(0, 0.001f, -1);
    ID3DXMesh *mesh = Make(seam, kSplitQuadIndices);
    D3DXWELDEPSILONS eps{};
    eps.Position = 1e-4f;
    eps.Normal = 0.01f;
    ASSERT_EQ(D3DXWeldVertices(mesh, D3DXWELDEPSILONS_WELDPARTIALMATCHES, &eps, nullptr, nullptr, nullptr, nullptr),
              D3D_OK);
    ASSERT_EQ(mesh->GetNumVertices(), 5u);
    std::vector<BYTE> v = VerticesOf(mesh);
    EXPECT_EQ(Vec3At(v.data(), 32, 3, 12), D3DXVECTOR3(0, 0, -1)) << "the normal was not made equal";
    EXPECT_EQ((At<UV>(v.data(), 32, 3, 24)), (UV{0.5f, 1}));
    mesh->Release();

    // DONOTREMOVEVERTICES with partial matching: every vertex stays, the copies made equal.
    seam = SplitQuad();
    seam[4].n = D3DXVECTOR3(0.001f, 0, -1);
    mesh = Make(seam, kSplitQuadIndices);
    ID3DXBuffer *remap = nullptr;
    ASSERT_EQ(D3DXWeldVertices(mesh, D3DXWELDEPSILONS_WELDPARTIALMATCHES | D3DXWELDEPSILONS_DONOTREMOVEVERTICES,
                               &eps, nullptr, nullptr, nullptr, &remap),
              D3D_OK);
    EXPECT_EQ(mesh->GetNumVertices(), 6u);
    EXPECT_EQ(IndicesOf(mesh), kSplitQuadIndices);
    ASSERT_NE(remap, nullptr);
    EXPECT_EQ(remap->GetBufferSize(), 6u * sizeof(DWORD));
    remap->Release();
    v = VerticesOf(mesh);
    EXPECT_EQ(Vec3At(v.data(), 32, 4, 12), D3DXVECTOR3(0, 0, -1));
    mesh->Release();

    // Faces of two attributes keep their own vertices unless DONOTSPLIT is given.
    mesh = Make(SplitQuad(), kSplitQuadIndices, {0, 1});
    ASSERT_EQ(D3DXWeldVertices(mesh, 0, nullptr, nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(mesh->GetNumVertices(), 6u);
    ASSERT_EQ(D3DXWeldVertices(mesh, D3DXWELDEPSILONS_DONOTSPLIT, nullptr, nullptr, nullptr, nullptr, nullptr),
              D3D_OK);
    EXPECT_EQ(mesh->GetNumVertices(), 4u);
    EXPECT_EQ(AttributesOf(mesh), (std::vector<DWORD>{0, 1}));
    mesh->Release();
}

// Two triangles that meet only at vertex 0: a bowtie.
std::vector<Vertex> Bowtie()
{
    const D3DXVECTOR3 n(0, 0, -1);
    return {{{0, 0, 0}, n, 0, 0},  {{-1, 1, 0}, n, 0, 0}, {{-1, -1, 0}, n, 0, 0},
            {{1, -1, 0}, n, 0, 0}, {{1, 1, 0}, n, 0, 0}};
}
const std::vector<DWORD> kBowtieIndices = {0, 1, 2, 0, 3, 4};

TEST_F(MeshToolsTest, ValidMeshFindsBowtiesBackToBackFacesAndBadAdjacency)
{
    // A sound quad: valid, nothing to say.
    ID3DXMesh *quad = Make(SplitQuad(), {0, 1, 2, 0, 2, 5});
    DWORD adjacency[6];
    ASSERT_EQ(quad->GenerateAdjacency(0, adjacency), D3D_OK);
    ID3DXBuffer *said = reinterpret_cast<ID3DXBuffer *>(1);
    EXPECT_EQ(D3DXValidMesh(quad, adjacency, &said), D3D_OK);
    EXPECT_EQ(said, nullptr);

    // An adjacency that one face does not return, or that names a face the mesh lacks.
    DWORD oneWay[6] = {adjacency[0], adjacency[1], adjacency[2], kNo, kNo, kNo};
    EXPECT_EQ(D3DXValidMesh(quad, oneWay, &said), D3DXERR_INVALIDMESH);
    EXPECT_NE(Text(said).find("not back"), std::string::npos) << Text(said);
    said->Release();
    DWORD outside[6] = {7, kNo, kNo, kNo, kNo, kNo};
    EXPECT_EQ(D3DXValidMesh(quad, outside, nullptr), D3DXERR_INVALIDMESH);
    quad->Release();

    // The bowtie.
    ID3DXMesh *bowtie = Make(Bowtie(), kBowtieIndices);
    ASSERT_EQ(bowtie->GenerateAdjacency(0, adjacency), D3D_OK);
    EXPECT_EQ(D3DXValidMesh(bowtie, adjacency, &said), D3DXERR_INVALIDMESH);
    EXPECT_NE(Text(said).find("vertex 0 is a bowtie"), std::string::npos) << Text(said);
    EXPECT_EQ(meshtest::CountLines(Text(said)), 1) << Text(said);
    said->Release();

    // Cleaning it gives the second fan a vertex of its own; the result is valid.
    ID3DXMesh *clean = nullptr;
    DWORD cleanAdjacency[6];
    ASSERT_EQ(D3DXCleanMesh(D3DXCLEAN_BOWTIES, bowtie, adjacency, &clean, cleanAdjacency, &said), D3D_OK);
    ASSERT_NE(clean, nullptr);
    EXPECT_NE(Text(said).find("bowtie"), std::string::npos);
    if (said)
        said->Release();
    ASSERT_EQ(clean->GetNumVertices(), 6u);
    EXPECT_EQ(IndicesOf(clean), (std::vector<DWORD>{0, 1, 2, 5, 3, 4}));
    std::vector<BYTE> v = VerticesOf(clean);
    EXPECT_EQ(Vec3At(v.data(), 32, 5), D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(D3DXValidMesh(clean, cleanAdjacency, nullptr), D3D_OK);
    clean->Release();
    // Back-facing cleaning alone leaves the bowtie, which the result must not have.
    const std::string err = StderrOf([&] {
        EXPECT_EQ(D3DXCleanMesh(D3DXCLEAN_BACKFACING, bowtie, adjacency, &clean, nullptr, nullptr),
                  D3DXERR_INVALIDMESH);
    });
    EXPECT_EQ(clean, nullptr);
    EXPECT_EQ(meshtest::CountLines(err), 1) << err;
    bowtie->Release();

    // Two faces back to back on the same three vertices.
    ID3DXMesh *card = Make(Bowtie(), {0, 1, 2, 0, 2, 1});
    ASSERT_EQ(card->GenerateAdjacency(0, adjacency), D3D_OK);
    EXPECT_EQ(D3DXValidMesh(card, adjacency, &said), D3DXERR_INVALIDMESH);
    EXPECT_NE(Text(said).find("faces 0 and 1 are back to back"), std::string::npos) << Text(said);
    said->Release();
    ASSERT_EQ(D3DXCleanMesh(D3DXCLEAN_SIMPLIFICATION, card, adjacency, &clean, cleanAdjacency, nullptr), D3D_OK);
    EXPECT_EQ(clean->GetNumVertices(), 8u);
    EXPECT_EQ(IndicesOf(clean), (std::vector<DWORD>{0, 1, 2, 5, 6, 7}));
    EXPECT_EQ(std::count(cleanAdjacency, cleanAdjacency + 6, kNo), 6);
    EXPECT_EQ(D3DXValidMesh(clean, cleanAdjacency, nullptr), D3D_OK);
    clean->Release();
    card->Release();
}

TEST_F(MeshToolsTest, ConcatenationTransformsEachMeshIntoTheUnionFormat)
{
    // A 1 x 1 x 1 box (position and normal) scaled by 2 along x; the textured quad (position
    // and texture coordinates only) moved by 10 along x with u halved, its faces attribute 3.
    ID3DXMesh *box = nullptr, *quadWithNormals = Make(SplitQuad(), {0, 1, 2, 0, 2, 5}, {3, 3}), *quad = nullptr;
    ASSERT_EQ(D3DXCreateBox(device_, 1, 1, 1, &box, nullptr), D3D_OK);
    ASSERT_EQ(quadWithNormals->CloneMeshFVF(D3DXMESH_SYSTEMMEM, D3DFVF_XYZ | D3DFVF_TEX1, device_, &quad), D3D_OK);
    quadWithNormals->Release();
    ID3DXMesh *parts[2] = {box, quad};
    D3DXMATRIX geometry[2], texture[2];
    D3DXMatrixScaling(&geometry[0], 2, 1, 1);
    D3DXMatrixTranslation(&geometry[1], 10, 0, 0);
    D3DXMatrixIdentity(&texture[0]);
    D3DXMatrixScaling(&texture[1], 0.5f, 1, 1);
    ID3DXMesh *all = nullptr;
    ASSERT_EQ(D3DXConcatenateMeshes(parts, 2, D3DXMESH_SYSTEMMEM, geometry, texture, nullptr, device_, &all), D3D_OK);
    EXPECT_EQ(all->GetFVF(), kFvf) << "the union of the two formats";
    ASSERT_EQ(all->GetNumVertices(), 24u + 6u);
    ASSERT_EQ(all->GetNumFaces(), 12u + 2u);
    std::vector<BYTE> v = VerticesOf(all), boxV = VerticesOf(box);
    for (DWORD i = 0; i < 24; i++) {
        const D3DXVECTOR3 p = Vec3At(boxV.data(), 24, i), n = Vec3At(boxV.data(), 24, i, 12);
        EXPECT_EQ(Vec3At(v.data(), 32, i), D3DXVECTOR3(2 * p.x, p.y, p.z));
        EXPECT_EQ(Vec3At(v.data(), 32, i, 12), n) << "an axis normal keeps its direction and length";
        EXPECT_EQ((At<UV>(v.data(), 32, i, 24)), (UV{0, 0}));
    }
    const std::vector<Vertex> q = SplitQuad();
    for (DWORD i = 0; i < 6; i++) {
        EXPECT_EQ(Vec3At(v.data(), 32, 24 + i), q[i].p + D3DXVECTOR3(10, 0, 0));
        EXPECT_EQ(Vec3At(v.data(), 32, 24 + i, 12), D3DXVECTOR3(0, 0, 0));
        EXPECT_EQ((At<UV>(v.data(), 32, 24 + i, 24)), (UV{q[i].u / 2, q[i].v}));
    }
    std::vector<DWORD> ix = IndicesOf(all), boxIx = IndicesOf(box);
    EXPECT_EQ(std::vector<DWORD>(ix.begin(), ix.begin() + 36), boxIx);
    EXPECT_EQ(std::vector<DWORD>(ix.begin() + 36, ix.end()), (std::vector<DWORD>{24, 25, 26, 24, 26, 29}));
    std::vector<DWORD> attributes = AttributesOf(all);
    EXPECT_EQ(std::count(attributes.begin(), attributes.begin() + 12, 0u), 12);
    EXPECT_EQ(attributes[12], 3u);
    EXPECT_EQ(attributes[13], 3u);
    DWORD entries = 9;
    all->GetAttributeTable(nullptr, &entries);
    EXPECT_EQ(entries, 0u) << "the box has no attribute table, so neither has the whole";
    all->Release();

    // With tables on both, the whole has both, shifted; a 32-bit result on request.
    ASSERT_EQ(box->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(quad->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(D3DXConcatenateMeshes(parts, 2, D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, nullptr, nullptr, nullptr, device_,
                                    &all),
              D3D_OK);
    EXPECT_TRUE(all->GetOptions() & D3DXMESH_32BIT);
    all->GetAttributeTable(nullptr, &entries);
    ASSERT_EQ(entries, 2u);
    D3DXATTRIBUTERANGE table[2];
    all->GetAttributeTable(table, &entries);
    EXPECT_EQ(table[1].AttribId, 3u);
    EXPECT_EQ(table[1].FaceStart, 12u);
    EXPECT_EQ(table[1].FaceCount, 2u);
    EXPECT_EQ(table[1].VertexStart, 24u);
    all->Release();

    // A slanted normal under a stretch keeps perpendicular to the stretched surface: it is
    // transformed by the inverse transpose, (1, 1, 0) by diag(2, 1, 1) becoming (0.5, 1, 0).
    std::vector<Vertex> slanted = SplitQuad();
    const D3DXVECTOR3 diagonal(1, 1, 0), stretched(0.5f, 1, 0);
    D3DXVec3Normalize(&slanted[0].n, &diagonal);
    ID3DXMesh *one = Make(slanted, kSplitQuadIndices);
    ASSERT_EQ(D3DXConcatenateMeshes(&one, 1, D3DXMESH_SYSTEMMEM, geometry, nullptr, nullptr, device_, &all), D3D_OK);
    D3DXVECTOR3 want;
    D3DXVec3Normalize(&want, &stretched);
    v = VerticesOf(all);
    EXPECT_VEC3_NEAR(Vec3At(v.data(), 32, 0, 12), want.x, want.y, want.z, 1e-5f);
    all->Release();
    one->Release();

    // A null mesh in the list, no meshes.
    ID3DXMesh *withNull[2] = {box, nullptr}, *out = reinterpret_cast<ID3DXMesh *>(1);
    const std::string err = StderrOf([&] {
        EXPECT_EQ(D3DXConcatenateMeshes(withNull, 2, D3DXMESH_SYSTEMMEM, nullptr, nullptr, nullptr, device_, &out),
                  D3DERR_INVALIDCALL);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(D3DXConcatenateMeshes(parts, 0, D3DXMESH_SYSTEMMEM, nullptr, nullptr, nullptr, device_, &out),
                  D3DERR_INVALIDCALL);
    });
    EXPECT_EQ(meshtest::CountLines(err), 2) << err;
    box->Release();
    quad->Release();
}

TEST_F(MeshToolsTest, BadArgumentsAreRefusedWithOneLineEach)
{
    ID3DXMesh *mesh = Make(SplitQuad(), kSplitQuadIndices);
    DWORD adjacency[6];
    ASSERT_EQ(mesh->GenerateAdjacency(0, adjacency), D3D_OK);
    DWORD outside[6] = {2, kNo, kNo, kNo, kNo, kNo};
    ID3DXMesh *out = reinterpret_cast<ID3DXMesh *>(1);
    const std::string err = StderrOf([&] {
        EXPECT_EQ(D3DXWeldVertices(nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXWeldVertices(mesh, 0x100, nullptr, nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXWeldVertices(mesh, 0, nullptr, outside, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXValidMesh(nullptr, adjacency, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXValidMesh(mesh, nullptr, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXCleanMesh(D3DXCLEAN_BOWTIES, mesh, nullptr, &out, nullptr, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(D3DXCleanMesh(D3DXCLEAN_BOWTIES, mesh, outside, &out, nullptr, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXCleanMesh(D3DXCLEANTYPE(8), mesh, adjacency, &out, nullptr, nullptr), D3DERR_INVALIDCALL);
    });
    EXPECT_EQ(meshtest::CountLines(err), 8) << err;
    EXPECT_EQ(mesh->GetNumVertices(), 6u) << "a refused weld changed the mesh";
    mesh->Release();
}

}  // namespace
