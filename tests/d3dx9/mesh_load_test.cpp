// D3DXLoadSkinMeshFromXof and D3DXLoadMeshFromXA on .x files written by the tests.
#include "d3dx9/mesh_test_util.h"

#include <algorithm>

using namespace meshtest;

namespace {

class MeshLoadTest : public meshtest::NullDeviceTest {};

const DWORD kNo = 0xFFFFFFFF;

// A quad and a triangle; the quad's corners face -z, the triangle's face +y, so vertices 1
// and 2, which both use, need a second copy.
const char *kSplitMesh = R"(
Mesh split {
 5;
 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;, 2;0;0;;
 2;
 4;0,1,2,3;,
 3;1,4,2;;
 MeshNormals {
  2;
  0;0;-1;, 0;1;0;;
  2;
  4;0,0,0,0;,
  3;1,1,1;;
 }
 %SKIN%
}
)";

std::string WithSkin(const char *mesh, const std::string &skin)
{
    std::string s = mesh;
    s.replace(s.find("%SKIN%"), 6, skin);
    return s;
}

TEST_F(MeshLoadTest, PolygonsBecomeFansAndCornersWithOtherNormalsSplitVertices)
{
    Loaded l = LoadFirstMesh(WriteX("split.x", WithSkin(kSplitMesh, "")));
    ASSERT_EQ(l.hr, D3D_OK);
    EXPECT_EQ(l.diagnostics, 0);
    ASSERT_NE(l.mesh, nullptr);
    EXPECT_EQ(l.mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL));
    ASSERT_EQ(l.mesh->GetNumFaces(), 3u);
    ASSERT_EQ(l.mesh->GetNumVertices(), 7u);
    // The quad's fan around its first corner, then the triangle on copies of 1 and 2.
    EXPECT_EQ(IndicesOf(l.mesh), (std::vector<DWORD>{0, 1, 2, 0, 2, 3, 5, 4, 6}));
    const std::vector<BYTE> bytes = VerticesOf(l.mesh);
    const BYTE *v = bytes.data();
    EXPECT_VEC3_NEAR(Vec3At(v, 24, 1, 12), 0, 0, -1, 0);
    EXPECT_VEC3_NEAR(Vec3At(v, 24, 4, 12), 0, 1, 0, 0);
    EXPECT_VEC3_NEAR(Vec3At(v, 24, 5), 1, 0, 0, 0);
    EXPECT_VEC3_NEAR(Vec3At(v, 24, 5, 12), 0, 1, 0, 0);
    EXPECT_VEC3_NEAR(Vec3At(v, 24, 6), 1, 1, 0, 0);
    EXPECT_VEC3_NEAR(Vec3At(v, 24, 6, 12), 0, 1, 0, 0);
    // The copies still join the quad across the edge 1-2.
    ASSERT_NE(l.adjacency, nullptr);
    ASSERT_EQ(l.adjacency->GetBufferSize(), 9u * 4);
    DWORD *adj = static_cast<DWORD *>(l.adjacency->GetBufferPointer());
    EXPECT_EQ(std::vector<DWORD>(adj, adj + 9), (std::vector<DWORD>{kNo, 2, 1, 0, kNo, kNo, kNo, kNo, 0}));
    // No material list: no materials; no skin data: skin information without bones.
    EXPECT_EQ(l.numMaterials, 0u);
    EXPECT_EQ(l.materials, nullptr);
    ASSERT_NE(l.skin, nullptr);
    EXPECT_EQ(l.skin->GetNumBones(), 0u);
    l.Release();

    Loaded wide = LoadFirstMesh(dir_ + "/split.x", D3DXMESH_32BIT | D3DXMESH_MANAGED);
    ASSERT_EQ(wide.hr, D3D_OK);
    EXPECT_EQ(IndicesOf(wide.mesh), (std::vector<DWORD>{0, 1, 2, 0, 2, 3, 5, 4, 6}));
    wide.Release();

    // Corners of two faces that meet with the same normal keep sharing their vertex.
    Loaded shared = LoadFirstMesh(WriteX("shared.x", "Mesh s { 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; "
                                                     "2; 3;0,1,2;, 3;0,2,3;; MeshNormals { 1; 0;0;1;; "
                                                     "2; 3;0,0,0;, 3;0,0,0;; } }"));
    ASSERT_EQ(shared.hr, D3D_OK);
    EXPECT_EQ(shared.mesh->GetNumVertices(), 4u);
    shared.Release();
}

TEST_F(MeshLoadTest, TextureCoordinatesColoursAndMaterials)
{
    const char *file = R"(
Material Red {
 1;0;0;0.5;;
 8;
 1;1;1;;
 0;0;0;;
 TextureFilename { "red.bmp"; }
}
Mesh coloured {
 4;
 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;
 3;
 3;0,1,2;, 3;0,2,3;, 3;0,1,3;;
 MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; }
 MeshVertexColors { 2; 0;1;0;0;1;;, 3;0;0;1;0.5;;; }
 MeshMaterialList {
  2;
  2;
  1, 0;;
  { Red }
  Material { 0;1;0;1;; 2; 0;0;0;; 0.5;0.5;0.5;; }
 }
}
)";
    Loaded l = LoadFirstMesh(WriteX("coloured.x", file));
    ASSERT_EQ(l.hr, D3D_OK);
    EXPECT_EQ(l.diagnostics, 0);
    ASSERT_EQ(l.mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1));
    const std::vector<BYTE> v = VerticesOf(l.mesh);
    ASSERT_EQ(v.size(), 4u * 24);
    EXPECT_EQ(At<D3DCOLOR>(v.data(), 24, 0, 12), 0xFFFF0000u);
    EXPECT_EQ(At<D3DCOLOR>(v.data(), 24, 1, 12), 0xFFFFFFFFu) << "a vertex without a colour is white";
    EXPECT_EQ(At<D3DCOLOR>(v.data(), 24, 3, 12), 0x800000FFu);
    EXPECT_EQ(At<UV>(v.data(), 24, 2, 16), (UV{1, 1}));
    // Two face indexes for three faces: the last one carries on.
    EXPECT_EQ(AttributesOf(l.mesh), (std::vector<DWORD>{1, 0, 0}));

    ASSERT_EQ(l.numMaterials, 2u);
    ASSERT_NE(l.materials, nullptr);
    const BYTE *begin = static_cast<const BYTE *>(l.materials->GetBufferPointer());
    const BYTE *end = begin + l.materials->GetBufferSize();
    const D3DXMATERIAL *m = reinterpret_cast<const D3DXMATERIAL *>(begin);
    EXPECT_EQ(m[0].MatD3D.Diffuse.r, 1.0f);
    EXPECT_EQ(m[0].MatD3D.Diffuse.a, 0.5f);
    EXPECT_EQ(m[0].MatD3D.Power, 8.0f);
    EXPECT_EQ(m[0].MatD3D.Specular.g, 1.0f);
    EXPECT_EQ(m[0].MatD3D.Ambient.r, 0.0f) << "the file gives no ambient colour";
    EXPECT_STREQ(m[0].pTextureFilename, "red.bmp");
    EXPECT_TRUE((const BYTE *)m[0].pTextureFilename >= begin && (const BYTE *)m[0].pTextureFilename < end)
        << "the file name lives in the materials buffer";
    EXPECT_EQ(m[1].MatD3D.Diffuse.g, 1.0f);
    EXPECT_EQ(m[1].MatD3D.Emissive.b, 0.5f);
    EXPECT_EQ(m[1].pTextureFilename, nullptr);
    l.Release();
}

TEST_F(MeshLoadTest, SkinWeightsFollowSplitVertices)
{
    const char *skin = R"(
 XSkinMeshHeader { 2; 3; 2; }
 SkinWeights {
  "upper";
  2;
  1, 2;
  0.25, 0.75;
  1,0,0,0, 0,1,0,0, 0,0,1,0, 0,-1,0,1;;
 }
 SkinWeights {
  "unused";
  0;
  ;
  ;
  1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;;
 }
)";
    Loaded l = LoadFirstMesh(WriteX("skinned.x", WithSkin(kSplitMesh, skin), true));
    ASSERT_EQ(l.hr, D3D_OK);
    EXPECT_EQ(l.diagnostics, 0);
    ASSERT_NE(l.skin, nullptr);
    ASSERT_EQ(l.skin->GetNumBones(), 2u);
    EXPECT_STREQ(l.skin->GetBoneName(0), "upper");
    EXPECT_STREQ(l.skin->GetBoneName(1), "unused");
    EXPECT_EQ(l.skin->GetFVF(), l.mesh->GetFVF());
    EXPECT_EQ(l.skin->GetBoneOffsetMatrix(0)->_42, -1.0f);
    EXPECT_EQ(l.skin->GetNumBoneInfluences(1), 0u) << "a bone with no weights is kept";
    // Vertex 1 and its copy 5 weigh 0.25; vertex 2 and its copy 6 weigh 0.75.
    ASSERT_EQ(l.skin->GetNumBoneInfluences(0), 4u);
    DWORD vertices[4];
    float weights[4];
    l.skin->GetBoneInfluence(0, vertices, weights);
    std::vector<std::pair<DWORD, float>> got;
    for (int i = 0; i < 4; i++)
        got.push_back({vertices[i], weights[i]});
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::pair<DWORD, float>>{{1, 0.25f}, {2, 0.75f}, {5, 0.25f}, {6, 0.75f}}));
    l.Release();
}

TEST_F(MeshLoadTest, BadMeshesFailAndBadPartsAreSkippedWithOneLineEach)
{
    const std::string tri = "Mesh t { 3; 0;0;0;, 1;0;0;, 0;1;0;; 2; 3;0,1,2;, 3;0,2,1;;\n";
    const std::string identity = "1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;;";
    const std::string far = "SkinWeights { \"far\"; 2; 1, 7; 1.0, 0.5; " + identity + " }\n";
    const std::string near = "SkinWeights { \"near\"; 1; 2; 1.0; " + identity + " }\n";
    // A face index beyond the vertices, a face with two corners, skin weights naming a
    // vertex the mesh lacks (whichever bone it is): the mesh fails and nothing is handed out.
    const std::string failing[] = {"Mesh bad { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,3;; }",
                                   "Mesh bad { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 2;0,1;; }", tri + far + near + "}",
                                   tri + near + far + "}"};
    Loaded l;
    for (const std::string &body : failing) {
        l = LoadFirstMesh(WriteX("failing.x", body, true));
        EXPECT_EQ(l.hr, D3DXERR_INVALIDDATA) << body;
        EXPECT_EQ(l.diagnostics, 1) << body;
        EXPECT_TRUE(!l.mesh && !l.skin && !l.materials && !l.adjacency) << body;
        l.Release();
    }

    // A file whose own SkinWeights template gives the two arrays different counts.
    const std::string oddTemplate = R"(
template SkinWeights {
 <6F0D123B-BAD2-4167-A0D0-80224F25FABB>
 STRING transformNodeName;
 DWORD nWeights;
 DWORD nOther;
 array DWORD vertexIndices[nWeights];
 array FLOAT weights[nOther];
 Matrix4x4 matrixOffset;
}
)";
    l = LoadFirstMesh(
        WriteX("odd.x", oddTemplate + tri + "SkinWeights { \"odd\"; 2; 3; 0, 1; 1.0, 0.5, 0.25; " + identity + " } }"));
    ASSERT_EQ(l.hr, D3D_OK);
    EXPECT_EQ(l.diagnostics, 1);
    EXPECT_EQ(l.skin->GetNumBones(), 0u);
    l.Release();

    // More materials announced than given: the missing ones are white.
    l = LoadFirstMesh(
        WriteX("short.x", tri + "MeshMaterialList { 3; 2; 2, 0;; Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; } } }"));
    ASSERT_EQ(l.hr, D3D_OK);
    EXPECT_EQ(l.diagnostics, 1);
    ASSERT_EQ(l.numMaterials, 3u);
    const D3DXMATERIAL *m = static_cast<const D3DXMATERIAL *>(l.materials->GetBufferPointer());
    EXPECT_EQ(m[0].MatD3D.Diffuse.g, 0.0f);
    EXPECT_EQ(m[2].MatD3D.Diffuse.g, 1.0f);
    EXPECT_EQ(AttributesOf(l.mesh), (std::vector<DWORD>{2, 0}));
    l.Release();

    // A damaged count far beyond the faces and the given materials: the list is ignored.
    l = LoadFirstMesh(WriteX(
        "huge.x", tri + "MeshMaterialList { 4000000000; 2; 0, 0;; Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; } } }"));
    ASSERT_EQ(l.hr, D3D_OK);
    EXPECT_EQ(l.diagnostics, 1);
    EXPECT_EQ(l.numMaterials, 0u);
    l.Release();

    // A face using a material the list lacks: the list is ignored.
    l = LoadFirstMesh(
        WriteX("badlist.x", tri + "MeshMaterialList { 1; 2; 0, 4;; Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; } } }"));
    ASSERT_EQ(l.hr, D3D_OK);
    EXPECT_EQ(l.diagnostics, 1);
    EXPECT_EQ(l.numMaterials, 0u);
    EXPECT_EQ(AttributesOf(l.mesh), (std::vector<DWORD>{0, 0}));
    l.Release();

    // Normals for the wrong number of faces, a colour for a vertex that does not exist.
    l = LoadFirstMesh(WriteX("normals.x", tri + "MeshNormals { 1; 0;0;1;; 1; 3;0,0,0;; }\n" +
                                              "MeshVertexColors { 1; 9;1;1;1;1;;; } }"));
    ASSERT_EQ(l.hr, D3D_OK);
    EXPECT_EQ(l.diagnostics, 2);
    EXPECT_EQ(l.mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_DIFFUSE));
    l.Release();

    // A SkinWeights whose text gives fewer weights than its count does not parse; whatever
    // the reader makes of it, nothing crashes.
    std::string broken = WriteX("broken.x", tri + "SkinWeights { \"b\"; 3; 0, 1; 1.0; " + identity + " } }", true);
    std::vector<IDirectXFileData *> meshes;
    StderrOf([&] { meshes = TopLevelMeshes(broken); });
    for (IDirectXFileData *mesh : meshes) {
        ID3DXMesh *out = nullptr;
        StderrOf([&] { D3DXLoadSkinMeshFromXof(mesh, 0, device_, nullptr, nullptr, nullptr, nullptr, nullptr, &out); });
        if (out)
            out->Release();
        mesh->Release();
    }
}

TEST_F(MeshLoadTest, WholeFileIsMergedThroughFrameMatrices)
{
    const char *file = R"(
Mesh top {
 3; 0;0;0;, 1;0;0;, 0;1;0;;
 1; 3;0,1,2;;
}
Frame Outer {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 10,0,0,1;; }
 Frame Inner {
  FrameTransformMatrix { 0,1,0,0, -1,0,0,0, 0,0,1,0, 0,5,0,1;; }
  Mesh inner {
   3; 0;0;0;, 1;0;0;, 0;1;0;;
   1; 3;0,1,2;;
   MeshNormals { 1; 1;0;0;; 1; 3;0,0,0;; }
   MeshMaterialList { 1; 1; 0;; Material { 0;0;1;1;; 1; 0;0;0;; 0;0;0;; TextureFilename { "wall.png"; } } }
  }
 }
 { top }
}
AnimationSet ignored { }
)";
    WriteX("Merge.x", file);
    // A Windows path with another spelling of the name finds the file.
    Loaded whole = LoadWhole(dir_ + "\\MERGE.X");
    ASSERT_EQ(whole.hr, D3D_OK) << whole.err;
    ID3DXMesh *mesh = whole.mesh;
    ASSERT_EQ(mesh->GetNumVertices(), 9u);
    ASSERT_EQ(mesh->GetNumFaces(), 3u);
    EXPECT_EQ(mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL));
    const std::vector<BYTE> bytes = VerticesOf(mesh);
    const BYTE *v = bytes.data();
    // The top-level mesh as it is.
    EXPECT_VEC3_NEAR(Vec3At(v, 24, 1), 1, 0, 0, 0);
    EXPECT_VEC3_NEAR(Vec3At(v, 24, 1, 12), 0, 0, 0, 0);
    // The inner mesh: turned a quarter about z and lifted by Inner, then moved by Outer.
    EXPECT_VEC3_NEAR(Vec3At(v, 24, 3), 10, 5, 0, 1e-6f);
    EXPECT_VEC3_NEAR(Vec3At(v, 24, 4), 10, 6, 0, 1e-6f);
    EXPECT_VEC3_NEAR(Vec3At(v, 24, 5), 9, 5, 0, 1e-6f);
    EXPECT_VEC3_NEAR(Vec3At(v, 24, 4, 12), 0, 1, 0, 1e-6f);
    // The reference places the top-level mesh once more, under Outer only.
    EXPECT_VEC3_NEAR(Vec3At(v, 24, 7), 11, 0, 0, 1e-6f);
    EXPECT_EQ(IndicesOf(mesh), (std::vector<DWORD>{0, 1, 2, 3, 4, 5, 6, 7, 8}));

    // Materials concatenated; the parts without any get white.
    ASSERT_EQ(whole.numMaterials, 3u);
    const D3DXMATERIAL *m = whole.Material(0);
    EXPECT_EQ(m[0].MatD3D.Diffuse.r, 1.0f);
    EXPECT_EQ(m[1].MatD3D.Diffuse.r, 0.0f);
    EXPECT_EQ(m[1].MatD3D.Diffuse.b, 1.0f);
    EXPECT_STREQ(m[1].pTextureFilename, "wall.png");
    EXPECT_EQ(m[2].MatD3D.Diffuse.g, 1.0f);
    EXPECT_EQ(AttributesOf(mesh), (std::vector<DWORD>{0, 1, 2}));
    EXPECT_EQ(whole.adjacency->GetBufferSize(), 9u * 4);
    whole.Release();

    // A file that does not exist.
    std::string said = StderrOf([&] {
        EXPECT_LT(
            D3DXLoadMeshFromXA((dir_ + "/missing.x").c_str(), 0, device_, nullptr, nullptr, nullptr, nullptr, &mesh),
            0);
    });
    EXPECT_EQ(meshtest::CountLines(said), 1) << said;
    EXPECT_EQ(mesh, nullptr);
}

TEST_F(MeshLoadTest, ADamagedFileIsNamedAsTheCallerSpelledItInOneLineOnce)
{
    // The reader's own line is the only one, under the Windows name the caller gave: no
    // second line saying the file holds no mesh, and no slashed spelling.
    WriteX("Garbage.x", "\nhello world {{{\n");
    std::string windowsName = dir_ + "\\GARBAGE.x";
    std::replace(windowsName.begin(), windowsName.end(), '/', '\\');
    ID3DXMesh *mesh = reinterpret_cast<ID3DXMesh *>(1);
    testing::internal::CaptureStderr();
    EXPECT_LT(D3DXLoadMeshFromXA(windowsName.c_str(), 0, device_, nullptr, nullptr, nullptr, nullptr, &mesh), 0);
    EXPECT_EQ(mesh, nullptr);
    // Loaded again: it fails the same way and is not reported again.
    EXPECT_LT(D3DXLoadMeshFromXA(windowsName.c_str(), 0, device_, nullptr, nullptr, nullptr, nullptr, &mesh), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "dxfile: " + windowsName + ":3: 'hello' is not a known template\n");
}

// Damaged copies of a skinned, textured mesh file: whatever the reader accepts, the mesh
// that comes out is consistent (every index names a vertex, every attribute a material,
// every influence a vertex), and nothing crashes or reads out of bounds.
TEST_F(MeshLoadTest, DamagedFilesLoadConsistentlyOrFail)
{
    const std::string good = std::string(meshtest::kSkinTemplates) + R"(
Mesh damaged {
 5;
 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;, 2;0;0;;
 2;
 4;0,1,2,3;,
 3;1,4,2;;
 MeshNormals { 2; 0;0;-1;, 0;1;0;; 2; 4;0,0,0,0;, 3;1,1,1;; }
 MeshTextureCoords { 5; 0;0;, 1;0;, 1;1;, 0;1;, 2;0;; }
 MeshVertexColors { 1; 4;1;0;0;1;;; }
 MeshMaterialList { 2; 2; 0, 1;; Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { "a.bmp"; } }
  Material { 0;1;0;1;; 0; 0;0;0;; 0;0;0;; } }
 XSkinMeshHeader { 2; 2; 2; }
 SkinWeights { "One"; 3; 0, 1, 2; 1.0, 0.5, 0.5; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
 SkinWeights { "Two"; 2; 1, 2; 0.5, 0.5; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
}
)";
    uint32_t state = 12345;
    auto next = [&] { return state = state * 1664525u + 1013904223u; };
    const char digits[] = "0123456789;,-{}";
    int loaded = 0, refused = 0;
    for (int round = 0; round < 1000; round++) {
        std::string text = good;
        for (int edits = 1 + next() % 3; edits > 0; edits--) {
            size_t at = 17 + next() % (text.size() - 17);  // after the header
            switch (next() % 3) {
            case 0: text[at] = digits[next() % (sizeof digits - 1)]; break;
            case 1: text.erase(at, 1 + next() % 4); break;
            default: text.insert(at, 1, digits[next() % (sizeof digits - 1)]); break;
            }
        }
        std::string path = dir_ + "/damaged.x";
        std::ofstream(path, std::ios::binary) << "xof 0302txt 0032\n" << text;
        std::vector<IDirectXFileData *> meshes;
        StderrOf([&] { meshes = TopLevelMeshes(path, true); });
        for (IDirectXFileData *object : meshes) {
            Loaded l = LoadXof(object);
            object->Release();
            if (FAILED(l.hr)) {
                refused++;
                EXPECT_EQ(l.mesh, nullptr);
                continue;
            }
            loaded++;
            const DWORD vertices = l.mesh->GetNumVertices();
            for (DWORD i : IndicesOf(l.mesh))
                ASSERT_LT(i, vertices) << text;
            for (DWORD a : AttributesOf(l.mesh))
                ASSERT_LT(a, std::max<DWORD>(l.numMaterials, 1)) << text;
            for (DWORD b = 0; b < l.skin->GetNumBones(); b++) {
                std::vector<DWORD> v(l.skin->GetNumBoneInfluences(b) + 1);
                std::vector<float> w(v.size());
                l.skin->GetBoneInfluence(b, v.data(), w.data());
                for (size_t k = 0; k + 1 < v.size(); k++)
                    ASSERT_LT(v[k], vertices) << text;
            }
            if (l.materials) {
                ASSERT_GE(l.materials->GetBufferSize(), l.numMaterials * sizeof(D3DXMATERIAL));
            }
            l.Release();
        }
    }
    // Most damage stops the file reader; enough gets through to reach the mesh reader, and
    // some of it is refused there.
    EXPECT_GT(loaded, 30);
    EXPECT_GT(refused, 0);
}

// FVFData carries a point size, a specular colour and a second coordinate set (float bit
// patterns as DWORDs); the mesh's own coordinates stay the first set.  A block whose size
// does not fit its format is left out.
TEST_F(MeshLoadTest, FvfDataAddsItsComponentsAndABadOneIsLeftOut)
{
    // Format 0x2A0: point size, specular, two sets of two values; six DWORDs a vertex.
    // Vertex 1: size 4.0f, specular 0xFF336699, sets (1.0f, 1.0f) and (0.5f, 2.0f).
    const char *file = R"(
template FVFData { <B6E70A0E-8EF9-4E83-94AD-ECC8B0C04897> DWORD dwFVF; DWORD nDWords; array DWORD data[nDWords]; }
Mesh extra {
 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;
 MeshTextureCoords { 3; 0;0;, 1;0;, 0;1;; }
 FVFData { 672; 18; 0,0,0,0,0,0, 1082130432,4281558681,1065353216,1065353216,1056964608,1073741824,
  0,0,0,0,0,0; }
}
Mesh bad {
 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;
 FVFData { 512; 11; 0,0,0,0, 0,0,0,0, 0,0,0; }
}
)";
    Loaded l = LoadFirstMesh(WriteX("fvfdata.x", file));
    ASSERT_EQ(l.hr, D3D_OK);
    EXPECT_EQ(l.diagnostics, 0);
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_SPECULAR | D3DFVF_TEX2;
    ASSERT_EQ(l.mesh->GetFVF(), fvf);
    ASSERT_EQ(l.mesh->GetNumBytesPerVertex(), 36u);
    const std::vector<BYTE> v = VerticesOf(l.mesh);
    ASSERT_EQ(v.size(), 3u * 36);
    EXPECT_EQ(At<float>(v.data(), 36, 1, 12), 4.0f);
    EXPECT_EQ(At<DWORD>(v.data(), 36, 1, 16), 0xFF336699u);
    EXPECT_EQ(At<UV>(v.data(), 36, 1, 20), (UV{1, 0})) << "the mesh's own coordinates are the first set";
    EXPECT_EQ(At<UV>(v.data(), 36, 1, 28), (UV{0.5f, 2}));
    l.Release();

    // The whole file: the bad part loads without its FVFData, with one line.
    l = LoadWhole(dir_ + "/fvfdata.x", true);
    ASSERT_EQ(l.hr, D3D_OK);
    EXPECT_EQ(l.diagnostics, 1) << l.err;
    EXPECT_NE(l.err.find("FVFData: 11 values for 3 vertices"), std::string::npos) << l.err;
    EXPECT_EQ(l.mesh->GetNumVertices(), 6u);
    EXPECT_EQ(l.mesh->GetFVF(), fvf);
    l.Release();
}

TEST_F(MeshLoadTest, LoadingFromMemoryGivesWhatTheFileGives)
{
    const std::string body = R"(
Frame F {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 3,0,0,1;; }
 Mesh quad {
  4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;
  2; 3;0,1,2;, 3;0,2,3;;
  MeshNormals { 1; 0;0;-1;; 2; 3;0,0,0;, 3;0,0,0;; }
  MeshTextureCoords { 4; 0;1;, 1;1;, 1;0;, 0;0;; }
  MeshMaterialList { 2; 2; 0, 1;;
   Material { 1;0;0;1;; 1; 0;0;0;; 0;0;0;; }
   Material { 0;1;0;1;; 1; 0;0;0;; 0;0;0;; TextureFilename { "grass.png"; } } }
 }
}
)";
    const std::string path = WriteX("quad.x", body);
    Loaded fromFile = LoadWhole(path);
    ASSERT_EQ(fromFile.hr, D3D_OK) << fromFile.err;
    const std::string bytes = "xof 0302txt 0032\n" + body;
    Loaded fromMemory;
    fromMemory.err = StderrOf([&] {
        fromMemory.hr = D3DXLoadMeshFromXInMemory(bytes.data(), DWORD(bytes.size()), D3DXMESH_SYSTEMMEM, device_,
                                                  &fromMemory.adjacency, &fromMemory.materials, nullptr,
                                                  &fromMemory.numMaterials, &fromMemory.mesh);
    });
    ASSERT_EQ(fromMemory.hr, D3D_OK) << fromMemory.err;
    EXPECT_EQ(fromMemory.err, "");
    ASSERT_EQ(fromMemory.mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    ASSERT_EQ(fromFile.mesh->GetFVF(), fromMemory.mesh->GetFVF());
    EXPECT_EQ(VerticesOf(fromMemory.mesh), VerticesOf(fromFile.mesh));
    EXPECT_EQ(IndicesOf(fromMemory.mesh), IndicesOf(fromFile.mesh));
    EXPECT_EQ(AttributesOf(fromMemory.mesh), (std::vector<DWORD>{0, 1}));
    ASSERT_EQ(fromMemory.adjacency->GetBufferSize(), fromFile.adjacency->GetBufferSize());
    EXPECT_EQ(memcmp(fromMemory.adjacency->GetBufferPointer(), fromFile.adjacency->GetBufferPointer(),
                     fromFile.adjacency->GetBufferSize()),
              0);
    ASSERT_EQ(fromMemory.numMaterials, 2u);
    EXPECT_EQ(fromMemory.Material(0)[0].MatD3D.Diffuse.r, 1.0f);
    EXPECT_EQ(fromMemory.Material(0)[1].MatD3D.Diffuse.g, 1.0f);
    EXPECT_STREQ(fromMemory.Material(0)[1].pTextureFilename, "grass.png");
    EXPECT_EQ(fromMemory.Material(0)[0].pTextureFilename, nullptr);
    fromMemory.Release();
    fromFile.Release();

    // No memory, no bytes, bytes cut short, no device: refused with one line each.
    ID3DXMesh *mesh = reinterpret_cast<ID3DXMesh *>(1);
    const std::string said = StderrOf([&] {
        EXPECT_EQ(D3DXLoadMeshFromXInMemory(nullptr, 10, 0, device_, nullptr, nullptr, nullptr, nullptr, &mesh),
                  D3DERR_INVALIDCALL);
        EXPECT_EQ(mesh, nullptr);
        EXPECT_EQ(D3DXLoadMeshFromXInMemory(bytes.data(), 0, 0, device_, nullptr, nullptr, nullptr, nullptr, &mesh),
                  D3DERR_INVALIDCALL);
        EXPECT_LT(D3DXLoadMeshFromXInMemory(bytes.data(), DWORD(bytes.size() / 2), 0, device_, nullptr, nullptr,
                                            nullptr, nullptr, &mesh),
                  0);
        EXPECT_EQ(mesh, nullptr);
        EXPECT_EQ(D3DXLoadMeshFromXInMemory(bytes.data(), DWORD(bytes.size()), 0, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, &mesh),
                  D3DERR_INVALIDCALL);
    });
    EXPECT_EQ(meshtest::CountLines(said), 4) << said;
}

}  // namespace
