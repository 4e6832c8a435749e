// D3DXLoadMeshFromXA on files shaped the way modelling tools write them: no template
// declarations, other spellings of template names, unnamed frames and meshes, polygons,
// shared materials referenced by name, vertex data in declaration form, every encoding.
#include "d3dx9/image_files.h"
#include "d3dx9/mesh_test_util.h"
#include "xwriter.h"

#include <sys/stat.h>

#include <cstring>

using namespace meshtest;

namespace {

class MeshExporterTest : public meshtest::NullDeviceTest {
protected:
    std::string WriteRaw(const std::string &name, const std::vector<uint8_t> &bytes)
    {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), long(bytes.size()));
        return path;
    }
};

// A file's text read by the file reader and written again: binary with 32-bit floats, with
// 64-bit floats, and compressed.
std::vector<std::vector<uint8_t>> Encodings(const std::string &text)
{
    tavrok::dxfile::TemplateSet templates;
    tavrok::dxfile::AddStandardTemplates(templates, true);
    tavrok::dxfile::Document doc;
    std::vector<uint8_t> bytes(text.begin(), text.end());
    tavrok::dxfile::LoadDocument(bytes.data(), bytes.size(), templates, doc);
    return {tavrok::dxfile::Encode(doc, tavrok::dxfile::OutFormat::Binary32),
            tavrok::dxfile::Encode(doc, tavrok::dxfile::OutFormat::Binary64),
            tavrok::dxfile::Encode(doc, tavrok::dxfile::OutFormat::BinaryZip)};
}

// Three meshes: one at the top level, an unnamed one in an unnamed frame without a
// transform (a quad and a pentagon on two shared materials), one in a moved frame whose
// normals and texture coordinates come as DeclData (float bit patterns as DWORDs, as
// exporters write them: 0.25, 0.75, -1 and 1).  Nothing is declared.
const char *kExporterBody = R"(
// written the way exporters write
AnimTicksPerSecond { 30; }
Material Red-Paint { 1.0;0.0;0.0;1.0;; 8.0; 0.5;0.5;0.5;; 0.0;0.0;0.0;; TextureFileName { "Maps\\Red-Paint.BMP"; } }
Material Blank { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TEXTUREFILENAME { ""; } }
Mesh Loose {
 3; 0;0;0;, 1;0;0;, 0;1;0;;
 1; 3;0,1,2;;
}
Frame Scene-Root {
 Frame {
  Mesh {
   9;
   0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;,
   2;0;0;, 3;0;0;, 3.5;1;0;, 3;2;0;, 2;2;0;;
   2;
   4;0,1,2,3;,
   5;4,5,6,7,8;;
   MeshMaterialList { 2; 2; 1, 0;; { Red-Paint } { Blank } }
   XSkinMeshHeader { 1; 1; 1; }
   SkinWeights { "Scene-Root"; 2; 0, 1; 1.0, 1.0; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
  }
 }
 Frame Arm-L {
  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,5,1;; }
  Mesh Arm-Mesh {
   3; 0;0;0;, 1;0;0;, 0;1;0;;
   1; 3;0,1,2;;
   MeshMaterialList { 1; 1; 0;; Material { 0;0;1;1;; 0; 0;0;0;; 0;0;0;;
    EffectInstance { "arm.fx"; EffectParamDWord { "Passes"; 1; } } } }
   DeclData { 2; 1;0;5;0;, 2;0;3;0;; 15;
    0, 1048576000, 0, 0, 3212836864,
    1065353216, 1048576000, 0, 0, 3212836864,
    0, 1061158912, 0, 0, 3212836864; }
  }
 }
}
AnimationSet Walk { Animation { AnimationKey { 2; 2; 0;3;0,0,0;;, 30;3;0,1,0;;; } { Arm-L } } }
)";

}  // namespace

TEST_F(MeshExporterTest, UndeclaredExporterFileMergesInEveryEncodingAndHeader)
{
    const std::string text = "xof 0303txt 0032" + std::string(kExporterBody);
    Loaded w = LoadWhole(WriteRaw("Exporter.x", std::vector<uint8_t>(text.begin(), text.end())));
    ASSERT_EQ(w.hr, D3D_OK) << w.err;
    EXPECT_EQ(w.diagnostics, 0) << w.err;
    ASSERT_EQ(w.mesh->GetNumVertices(), 15u);
    ASSERT_EQ(w.mesh->GetNumFaces(), 7u);
    ASSERT_EQ(w.mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    const UINT stride = 32;
    const std::vector<BYTE> vertices = VerticesOf(w.mesh);
    const BYTE *v = vertices.data();
    EXPECT_VEC3_NEAR(Vec3At(v, stride, 1), 1, 0, 0, 0);
    EXPECT_VEC3_NEAR(Vec3At(v, stride, 9), 3.5f, 1, 0, 0);
    // The arm: moved by its frame; normal and coordinates from its DeclData.
    EXPECT_VEC3_NEAR(Vec3At(v, stride, 13), 1, 0, 5, 0);
    EXPECT_VEC3_NEAR(Vec3At(v, stride, 13, 12), 0, 0, -1, 1e-6f);
    EXPECT_EQ(At<UV>(v, stride, 14, 24), (UV{0, 0.75f}));
    // Meshes without normals get zero ones in the merged format.
    EXPECT_VEC3_NEAR(Vec3At(v, stride, 5, 12), 0, 0, 0, 0);
    // The quad and the pentagon become fans around their first corners.
    const std::vector<DWORD> indices = IndicesOf(w.mesh);
    EXPECT_EQ(indices, (std::vector<DWORD>{0, 1, 2, 3, 4, 5, 3, 5, 6, 7, 8, 9, 7, 9, 10, 7, 10, 11, 12, 13, 14}));
    // White for the loose mesh, then the two shared materials in list order, then blue.
    EXPECT_EQ(AttributesOf(w.mesh), (std::vector<DWORD>{0, 2, 2, 1, 1, 1, 3}));
    ASSERT_EQ(w.numMaterials, 4u);
    EXPECT_EQ(w.Material(0)->MatD3D.Diffuse.g, 1.0f);
    EXPECT_EQ(w.Material(0)->pTextureFilename, nullptr);
    EXPECT_EQ(w.Material(1)->MatD3D.Power, 8.0f);
    EXPECT_STREQ(w.Material(1)->pTextureFilename, "Maps\\\\Red-Paint.BMP");
    EXPECT_STREQ(w.Material(2)->pTextureFilename, "");
    EXPECT_EQ(w.Material(3)->MatD3D.Diffuse.b, 1.0f);
    EXPECT_EQ(w.Material(3)->pTextureFilename, nullptr);

    // The texture name, with its Windows separators and another spelling, finds the file
    // beside the model.
    mkdir((dir_ + "/maps").c_str(), 0755);
    WriteFileBytes(dir_ + "/maps/red-paint.bmp", EncodeBmp24({0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}, 2, 2));
    IDirect3DTexture9 *texture = nullptr;
    std::string texturePath = dir_ + "\\" + w.Material(1)->pTextureFilename;
    EXPECT_EQ(D3DXCreateTextureFromFileA(device_, texturePath.c_str(), &texture), D3D_OK) << texturePath;
    if (texture)
        texture->Release();
    w.Release();

    // The same file in binary, with 64-bit floats, and compressed under a name without the
    // .x extension: the same mesh, byte for byte.  (That every encoding gives the same tree
    // and data is the file reader's own test.)
    const std::vector<std::vector<uint8_t>> encoded = Encodings(text);
    const char *names[] = {"bin32.x", "bin64.x", "model.dat"};
    for (int e = 0; e < 3; ++e) {
        SCOPED_TRACE(names[e]);
        Loaded other = LoadWhole(WriteRaw(names[e], encoded[e]));
        ASSERT_EQ(other.hr, D3D_OK) << other.err;
        EXPECT_EQ(other.diagnostics, 0);
        EXPECT_EQ(VerticesOf(other.mesh), vertices);
        EXPECT_EQ(IndicesOf(other.mesh), indices);
        ASSERT_EQ(other.numMaterials, 4u);
        EXPECT_STREQ(other.Material(2)->pTextureFilename, "");
        other.Release();
    }
}

TEST_F(MeshExporterTest, ReaderErrorsComeThroughAsTheyAreAndMateriallessFilesAreGrey)
{
    // A damaged object after a good mesh: the reader's code and its one line, which names
    // the file and the line.
    std::string path = WriteX("broken.x", "Mesh a { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n"
                                          "Frame B {\n Mesh { 3; 1.0; }\n}\n");
    Loaded w = LoadWhole(path);
    EXPECT_EQ(w.hr, DXFILEERR_PARSEERROR);
    EXPECT_EQ(w.mesh, nullptr);
    EXPECT_EQ(w.diagnostics, 1) << w.err;
    EXPECT_NE(w.err.find(path + ":4:"), std::string::npos) << w.err;
    EXPECT_EQ(w.err.find("no mesh"), std::string::npos) << w.err;

    // An object of a template nobody declared.
    w = LoadWhole(WriteX("unknown.x", "Gizmo { 1; }\nMesh a { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n"));
    EXPECT_EQ(w.hr, DXFILEERR_NOTEMPLATE);
    EXPECT_EQ(w.diagnostics, 1) << w.err;
    EXPECT_NE(w.err.find("Gizmo"), std::string::npos) << w.err;

    // A template a tool declares for itself is read and passed over.
    w = LoadWhole(WriteX("own.x", "template Gizmo { <01020304-0506-0708-090A-0B0C0D0E0F10> DWORD size; }\n"
                                  "Gizmo { 1; }\nFrame F { Gizmo { 2; }\n"
                                  " Mesh a { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }\n"));
    EXPECT_EQ(w.hr, D3D_OK) << w.err;
    EXPECT_EQ(w.diagnostics, 0) << w.err;
    w.Release();

    // Neither mesh has materials: one mid-grey material for everything.
    w = LoadWhole(WriteX("plain.x", "Mesh a { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n"
                                    "Frame F { Mesh { 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 1; 4;0,1,2,3;; } }\n"));
    ASSERT_EQ(w.hr, D3D_OK) << w.err;
    ASSERT_EQ(w.numMaterials, 1u);
    EXPECT_EQ(w.Material(0)->MatD3D.Diffuse.r, 0.5f);
    EXPECT_EQ(w.Material(0)->MatD3D.Diffuse.g, 0.5f);
    EXPECT_EQ(w.Material(0)->MatD3D.Diffuse.b, 0.5f);
    EXPECT_EQ(w.Material(0)->MatD3D.Diffuse.a, 1.0f);
    EXPECT_EQ(w.Material(0)->pTextureFilename, nullptr);
    EXPECT_EQ(AttributesOf(w.mesh), (std::vector<DWORD>{0, 0, 0}));
    w.Release();

    // A file holding only animation sets has no mesh to give.
    w = LoadWhole(WriteX("anim.x", "AnimationSet A { Animation { AnimationKey { 0; 1; 0;4;1,0,0,0;;; } } }\n"));
    EXPECT_EQ(w.hr, D3DXERR_LOADEDMESHASNODATA);
    EXPECT_EQ(w.diagnostics, 1);
}

TEST_F(MeshExporterTest, DuplicatedVerticesJoinForAdjacencyButKeepTheirOwnCoordinates)
{
    // Two triangles meeting along a seam: vertices 3 and 4 repeat 1 and 2 with other
    // texture coordinates.
    const std::string templates = R"(
template VertexDuplicationIndices {
 <B8D65549-D7C9-4995-89CF-53A9A8B031E3>
 DWORD nIndices;
 DWORD nOriginalVertices;
 array DWORD indices[nIndices];
}
)";
    const std::string mesh = R"(
Mesh seam {
 6; 0;0;0;, 1;0;0;, 0;1;0;, 1;0;0;, 0;1;0;, 1;1;0;;
 2; 3;0,1,2;, 3;4,3,5;;
 MeshTextureCoords { 6; 0;0;, 0.5;0;, 0;0.5;, 0.75;0;, 0;0.75;, 1;1;; }
 %VDI%
}
)";
    for (bool withIndices : {false, true}) {
        SCOPED_TRACE(withIndices);
        std::string body = mesh;
        body.replace(body.find("%VDI%"), 5, withIndices ? "VertexDuplicationIndices { 6; 4; 0, 1, 2, 1, 2, 5; }" : "");
        Loaded l = LoadFirstMesh(WriteX("seam.x", templates + body));
        ASSERT_EQ(l.hr, D3D_OK);
        EXPECT_EQ(l.diagnostics, 0);
        const DWORD *adjacency = static_cast<const DWORD *>(l.adjacency->GetBufferPointer());
        // Face 0's edge 1-2 meets face 1's edge 4-3 only when they are known to be one.
        EXPECT_EQ(adjacency[1], withIndices ? 1u : 0xFFFFFFFFu);
        EXPECT_EQ(adjacency[3], withIndices ? 0u : 0xFFFFFFFFu);
        EXPECT_EQ(At<UV>(VerticesOf(l.mesh).data(), 20, 3, 12)[0], 0.75f);
        l.Release();
    }

    // Indices that name later vertices or miscount: ignored, with one line.
    std::string body = mesh;
    body.replace(body.find("%VDI%"), 5, "VertexDuplicationIndices { 6; 4; 0, 1, 2, 5, 2, 5; }");
    Loaded l = LoadFirstMesh(WriteX("seam.x", templates + body));
    ASSERT_EQ(l.hr, D3D_OK);
    EXPECT_EQ(l.diagnostics, 1);
    l.Release();
}

// Damaged copies of the exporter file in text, binary and compressed form: every load
// either gives a consistent mesh or fails, and says so in at most one line (a texture name
// or a material count bent by the damage may cost one line on a mesh that still loads).
TEST_F(MeshExporterTest, DamagedFilesInEveryEncodingFailWithOneLineOrLoadConsistently)
{
    const std::string text = "xof 0303txt 0032" + std::string(kExporterBody);
    const std::vector<std::vector<uint8_t>> encoded = Encodings(text);
    const std::vector<std::vector<uint8_t>> sources = {std::vector<uint8_t>(text.begin(), text.end()), encoded[0],
                                                       encoded[2]};
    uint32_t state = 777;
    auto next = [&] { return state = state * 1664525u + 1013904223u; };
    int loaded = 0, failed = 0;
    for (size_t s = 0; s < sources.size(); ++s) {
        for (int round = 0; round < 150; ++round) {
            std::vector<uint8_t> damaged = sources[s];
            for (int edits = 1 + next() % 3; edits > 0; edits--) {
                size_t at = 16 + next() % (damaged.size() - 16);
                switch (next() % 3) {
                case 0: damaged[at] = uint8_t(next()); break;
                case 1:
                    damaged.erase(damaged.begin() + long(at),
                                  damaged.begin() + long(std::min(damaged.size(), at + 1 + next() % 8)));
                    break;
                default: damaged.resize(at); break;
                }
            }
            // A name of its own for each file: the same line about the same file is said once a run.
            Loaded w =
                LoadWhole(WriteRaw("damaged_" + std::to_string(s) + "_" + std::to_string(round) + ".x", damaged));
            int lines = w.diagnostics;
            if (FAILED(w.hr)) {
                failed++;
                EXPECT_EQ(w.mesh, nullptr);
                EXPECT_EQ(lines, 1) << "source " << s << " round " << round << ":\n" << w.err;
                continue;
            }
            loaded++;
            EXPECT_LE(lines, 1) << "source " << s << " round " << round << ":\n" << w.err;
            const DWORD vertices = w.mesh->GetNumVertices();
            for (DWORD i : IndicesOf(w.mesh))
                ASSERT_LT(i, vertices);
            for (DWORD a : AttributesOf(w.mesh))
                ASSERT_LT(a, w.numMaterials);
            w.Release();
        }
    }
    EXPECT_GT(failed, 100);
    EXPECT_GT(loaded, 5);
}

TEST_F(MeshExporterTest, EmptyHelperMeshesAreLeftOutAndMeshLinesNameTheFile)
{
    // An exporter's empty helper mesh beside a real one: the real one loads, one line says
    // which mesh of which file was left out.
    std::string path = WriteX("helpers.x", "Frame Helper { Mesh Locator { 0;; 0;; } }\n"
                                           "Frame Body { Mesh Torso { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }\n");
    Loaded w = LoadWhole(path);
    ASSERT_EQ(w.hr, D3D_OK) << w.err;
    EXPECT_EQ(w.mesh->GetNumFaces(), 1u);
    EXPECT_EQ(w.diagnostics, 1) << w.err;
    EXPECT_NE(w.err.find("d3dx9: " + path + ":Mesh 'Locator': "), std::string::npos) << w.err;
    w.Release();

    // Only empty meshes: no mesh, still one line.
    w = LoadWhole(WriteX("empty_only.x", "Mesh { 0;; 0;; }\n"));
    EXPECT_EQ(w.hr, D3DXERR_LOADEDMESHASNODATA);
    EXPECT_EQ(w.diagnostics, 1) << w.err;

    // Through D3DXLoadSkinMeshFromXof, which knows no file, the line names the mesh.
    Loaded l = LoadFirstMesh(WriteX("empty_xof.x", "Mesh Locator { 0;; 0;; }\n"));
    EXPECT_EQ(l.hr, D3DXERR_LOADEDMESHASNODATA);
    EXPECT_EQ(l.mesh, nullptr);
    EXPECT_EQ(l.diagnostics, 1);
}
