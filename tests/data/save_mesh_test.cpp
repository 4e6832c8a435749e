/*
 * save_mesh_test.cpp - D3DXSaveMeshToX checked by two readers.  A mesh made here (a quad
 * and a triangle with normals, texture coordinates, vertex colours and two materials, one
 * textured) is saved as text, binary and compressed binary; our loader must give back the
 * same vertices, faces, attributes and materials, and assimp must read the same positions,
 * faces, normals, texture coordinates, colours and materials.
 */
#include "d3dx9/mesh_test_util.h"
#include "data_support.h"

#include <d3dx9.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

struct Vertex {
    D3DXVECTOR3 p, n;
    D3DCOLOR c;
    float u, v;
};
const DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

const std::vector<Vertex> kVertices = {
    {{0, 0, 0}, {0, 0, -1}, 0xFFFF0000, 0, 1},        {{0, 1, 0}, {0, 0, -1}, 0xFF00FF00, 0, 0},
    {{1, 1, 0}, {0, 0, -1}, 0xFF0000FF, 1, 0},        {{1, 0, 0}, {0, 0, -1}, 0x80FFFFFF, 1, 1},
    {{2, 0, 0.5f}, {0.6f, 0, -0.8f}, 0xFF336699, 0.25f, 0.5f},
};
const std::vector<DWORD> kIndices = {0, 1, 2, 0, 2, 3, 3, 2, 4};
const std::vector<DWORD> kAttributes = {0, 0, 1};

class SaveMeshTest : public testsupport::NullDeviceTest {
protected:
    ID3DXMesh *Make() { return meshtest::MeshFrom(device_, kFvf, kVertices, kIndices, kAttributes); }
    std::vector<D3DXMATERIAL> Materials()
    {
        D3DXMATERIAL m[2] = {};
        m[0].MatD3D.Diffuse = {1, 0.5f, 0.25f, 1};
        m[0].MatD3D.Specular = {0.1f, 0.2f, 0.3f, 1};
        m[0].MatD3D.Power = 8;
        m[1].MatD3D.Diffuse = {0, 0, 1, 0.5f};
        m[1].MatD3D.Emissive = {0.5f, 0, 0, 1};
        m[1].pTextureFilename = const_cast<char *>("tiles.png");
        return {m[0], m[1]};
    }
};

// A face as its corners from the smallest on, the winding kept.
std::vector<int> Canonical(std::vector<int> face)
{
    std::rotate(face.begin(), std::min_element(face.begin(), face.end()), face.end());
    return face;
}

TEST_F(SaveMeshTest, SavedFilesReadBackTheSameInOurLoaderAndInAssimp)
{
    ID3DXMesh *mesh = Make();
    std::vector<D3DXMATERIAL> materials = Materials();
    struct Format {
        DWORD code;
        const char *name;
    } formats[] = {{D3DXF_FILEFORMAT_TEXT, "text"},
                   {D3DXF_FILEFORMAT_BINARY, "binary"},
                   {D3DXF_FILEFORMAT_COMPRESSED, "compressed"}};
    for (const Format &f : formats) {
        SCOPED_TRACE(f.name);
        const std::string path = testing::TempDir() + "/saved_" + f.name + ".x";
        ASSERT_EQ(D3DXSaveMeshToX(path.c_str(), mesh, nullptr, materials.data(), nullptr, 2, f.code), D3D_OK);

        // Our loader: the same vertex bytes, faces, attributes and materials.
        ID3DXMesh *back = nullptr;
        ID3DXBuffer *mats = nullptr;
        DWORD count = 0;
        ASSERT_EQ(D3DXLoadMeshFromXA(path.c_str(), D3DXMESH_SYSTEMMEM, device_, nullptr, &mats, nullptr, &count, &back),
                  D3D_OK);
        ASSERT_EQ(back->GetFVF(), kFvf);
        ASSERT_EQ(back->GetNumVertices(), 5u);
        ASSERT_EQ(back->GetNumFaces(), 3u);
        const BYTE *written = reinterpret_cast<const BYTE *>(kVertices.data());
        EXPECT_EQ(meshtest::VerticesOf(back),
                  std::vector<BYTE>(written, written + kVertices.size() * sizeof(Vertex)));
        EXPECT_EQ(meshtest::IndicesOf(back), kIndices);
        EXPECT_EQ(meshtest::AttributesOf(back), kAttributes);
        ASSERT_EQ(count, 2u);
        const D3DXMATERIAL *m = static_cast<const D3DXMATERIAL *>(mats->GetBufferPointer());
        EXPECT_EQ(m[0].MatD3D.Diffuse.g, 0.5f);
        EXPECT_EQ(m[0].MatD3D.Specular.b, 0.3f);
        EXPECT_EQ(m[0].MatD3D.Power, 8.0f);
        EXPECT_EQ(m[0].pTextureFilename, nullptr);
        EXPECT_EQ(m[1].MatD3D.Diffuse.a, 0.5f);
        EXPECT_EQ(m[1].MatD3D.Emissive.r, 0.5f);
        EXPECT_STREQ(m[1].pTextureFilename, "tiles.png");
        mats->Release();
        back->Release();

        // assimp: it splits the mesh by material; every corner it reads must be one of ours
        // with its position, normal, texture coordinates (assimp turns v upside down) and
        // colour, and the faces must be ours, wound the same way.
        datatest::Loaded l = datatest::Load(path);
        ASSERT_NE(l.scene, nullptr) << l.error;
        ASSERT_EQ(l.scene->mNumMaterials, 2u);
        aiColor4D diffuse;
        std::set<float> blues;
        for (unsigned i = 0; i < 2; i++)
            if (l.scene->mMaterials[i]->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse) == AI_SUCCESS)
                blues.insert(diffuse.b);
        EXPECT_EQ(blues, (std::set<float>{0.25f, 1.0f}));
        std::multiset<std::vector<int>> ours, theirs;
        for (int fi = 0; fi < 3; fi++)
            ours.insert(Canonical(std::vector<int>(kIndices.begin() + fi * 3, kIndices.begin() + fi * 3 + 3)));
        auto which = [&](const aiVector3D &p) {
            for (int v = 0; v < 5; v++)
                if ((p - aiVector3D(kVertices[v].p.x, kVertices[v].p.y, kVertices[v].p.z)).Length() < 1e-5f)
                    return v;
            return -1;
        };
        unsigned corners = 0;
        for (unsigned mi = 0; mi < l.scene->mNumMeshes; mi++) {
            const aiMesh *am = l.scene->mMeshes[mi];
            ASSERT_TRUE(am->HasNormals());
            ASSERT_TRUE(am->HasTextureCoords(0));
            ASSERT_TRUE(am->HasVertexColors(0));
            for (unsigned fi = 0; fi < am->mNumFaces; fi++) {
                ASSERT_EQ(am->mFaces[fi].mNumIndices, 3u);
                std::vector<int> face;
                for (int c = 0; c < 3; c++) {
                    const unsigned k = am->mFaces[fi].mIndices[c];
                    const int v = which(am->mVertices[k]);
                    ASSERT_GE(v, 0) << "assimp read a position we did not write";
                    const Vertex &w = kVertices[v];
                    EXPECT_LT((am->mNormals[k] - aiVector3D(w.n.x, w.n.y, w.n.z)).Length(), 1e-5f);
                    EXPECT_NEAR(am->mTextureCoords[0][k].x, w.u, 1e-5f);
                    EXPECT_NEAR(am->mTextureCoords[0][k].y, 1 - w.v, 1e-5f);
                    const aiColor4D &c4 = am->mColors[0][k];
                    const float got[4] = {c4.r, c4.g, c4.b, c4.a};
                    for (int i = 0; i < 4; ++i)  // r, g, b from bits 16, 8, 0; a from 24
                        EXPECT_NEAR(got[i], ((w.c >> (i < 3 ? 16 - 8 * i : 24)) & 0xFF) / 255.0f, 1e-5f) << i;
                    face.push_back(v);
                    corners++;
                }
                theirs.insert(Canonical(face));
            }
        }
        EXPECT_EQ(corners, 9u);
        EXPECT_EQ(theirs, ours);
        std::remove(path.c_str());
    }
    mesh->Release();
}

TEST_F(SaveMeshTest, BadArgumentsAndUnwritableFilesAreRefusedWithOneLineEach)
{
    ID3DXMesh *mesh = Make();
    std::vector<D3DXMATERIAL> materials = Materials();
    const std::string ok = testing::TempDir() + "/saved_ok.x";
    const DWORD badAdjacency[9] = {7, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF,
                                   0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    const std::string err = testsupport::StderrOf([&] {
        EXPECT_EQ(D3DXSaveMeshToX(nullptr, mesh, nullptr, nullptr, nullptr, 0, D3DXF_FILEFORMAT_TEXT),
                  D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXSaveMeshToX(ok.c_str(), nullptr, nullptr, nullptr, nullptr, 0, D3DXF_FILEFORMAT_TEXT),
                  D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXSaveMeshToX("/nonexistent-folder/out.x", mesh, nullptr, nullptr, nullptr, 0,
                                  D3DXF_FILEFORMAT_TEXT),
                  D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXSaveMeshToX(ok.c_str(), mesh, nullptr, materials.data(), nullptr, 1, D3DXF_FILEFORMAT_TEXT),
                  D3DERR_INVALIDCALL);  // face 2 uses material 1
        EXPECT_EQ(D3DXSaveMeshToX(ok.c_str(), mesh, badAdjacency, nullptr, nullptr, 0, D3DXF_FILEFORMAT_TEXT),
                  D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXSaveMeshToX(ok.c_str(), mesh, nullptr, nullptr, nullptr, 0, 7), D3DERR_INVALIDCALL);
    });
    EXPECT_EQ(testsupport::CountLines(err), 6) << err;
    EXPECT_NE(err.find("/nonexistent-folder/out.x"), std::string::npos) << err;

    // Without materials the file has no material list, and loads with the default one.
    ASSERT_EQ(D3DXSaveMeshToX(ok.c_str(), mesh, nullptr, nullptr, nullptr, 0, D3DXF_FILEFORMAT_TEXT), D3D_OK);
    ID3DXMesh *back = nullptr;
    DWORD count = 9;
    ASSERT_EQ(D3DXLoadMeshFromXA(ok.c_str(), D3DXMESH_SYSTEMMEM, device_, nullptr, nullptr, nullptr, &count, &back),
              D3D_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(back->GetNumFaces(), 3u);
    back->Release();
    mesh->Release();
    std::remove(ok.c_str());
}

}  // namespace
