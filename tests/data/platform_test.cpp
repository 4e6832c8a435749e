/*
 * platform_test.cpp - the data files through our own platform libraries on a NULLREF device.
 * As the program uses them: the level merges into one mesh with 16-bit indices, and from the
 * start point none of the program's feet-level rays hits a wall within its reach.  (The
 * character's skin is checked by the scene tests, the particle shader by the particle tests.)
 * As another program writes them: assimp's own .x exporter lays a file out its own way (a
 * root frame of its own, every template declared, materials inline, vertex colours, no
 * skin); D3DXLoadMeshFromXA on that file must give the faces assimp reads back from it,
 * wound the same way, and the materials of the original.
 */
#include "d3dx9/mesh_test_util.h"
#include "data_support.h"

#include <assimp/Exporter.hpp>
#include <d3dx9.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace {

using Corner = std::array<long, 3>;
using Face = std::array<Corner, 3>;

Corner Key(float x, float y, float z)
{
    return {std::lround(x * 1e3f), std::lround(y * 1e3f), std::lround(z * 1e3f)};
}

// The face with its smallest corner first and its winding kept.
Face Canonical(Face f)
{
    std::rotate(f.begin(), std::min_element(f.begin(), f.end()), f.end());
    return f;
}

std::multiset<Face> AssimpFaces(const aiScene *scene)
{
    std::multiset<Face> out;
    for (const datatest::Tri &t : datatest::WorldTriangles(scene, aiMatrix4x4()))
        out.insert(Canonical({Key(t.a.x, t.a.y, t.a.z), Key(t.b.x, t.b.y, t.b.z), Key(t.c.x, t.c.y, t.c.z)}));
    return out;
}

std::multiset<Face> MeshFaces(ID3DXMesh *mesh)
{
    std::multiset<Face> out;
    const DWORD stride = mesh->GetNumBytesPerVertex();
    const std::vector<BYTE> vertices = meshtest::VerticesOf(mesh);
    const std::vector<DWORD> indices = meshtest::IndicesOf(mesh);
    for (size_t f = 0; f + 2 < indices.size(); f += 3) {
        Face face;
        for (int k = 0; k < 3; ++k) {
            const D3DXVECTOR3 p = meshtest::Vec3At(vertices.data(), stride, indices[f + k]);
            face[k] = Key(p.x, p.y, p.z);
        }
        out.insert(Canonical(face));
    }
    return out;
}

std::vector<std::string> TextureNames(ID3DXBuffer *materials, DWORD count)
{
    std::vector<std::string> names;
    const auto *m = static_cast<const D3DXMATERIAL *>(materials->GetBufferPointer());
    for (DWORD i = 0; i < count; ++i)
        names.push_back(m[i].pTextureFilename ? m[i].pTextureFilename : "(null)");
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

using OtherExporter = testsupport::NullDeviceTest;
using DataOnDevice = testsupport::NullDeviceTest;

}  // namespace

TEST_F(OtherExporter, ItsFilesLoadWithTheFacesItReadsBackAndOurMaterials)
{
    for (const char *model : {"Level01/Level.x", "Data/Ninja.x"}) {
        SCOPED_TRACE(model);
        const std::string original = datatest::DataPath(model);
        const std::string written = testing::TempDir() + "/exported_" + std::string(model).substr(0, 4) + ".x";
        {
            Assimp::Importer importer;
            const aiScene *scene = importer.ReadFile(original, 0);
            ASSERT_NE(scene, nullptr) << importer.GetErrorString();
            Assimp::Exporter exporter;
            ASSERT_EQ(exporter.Export(scene, "x", written), AI_SUCCESS) << exporter.GetErrorString();
        }
        datatest::Loaded back = datatest::Load(written);
        ASSERT_NE(back.scene, nullptr) << back.error;
        const std::multiset<Face> want = AssimpFaces(back.scene);
        ASSERT_GT(want.size(), 1000u);

        auto load = [&](const std::string &path, ID3DXMesh **mesh, ID3DXBuffer **materials, DWORD *count) {
            testing::internal::CaptureStderr();
            HRESULT hr = D3DXLoadMeshFromXA(path.c_str(), D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, device_, nullptr,
                                            materials, nullptr, count, mesh);
            const std::string err = testing::internal::GetCapturedStderr();
            EXPECT_EQ(err.find(':'), std::string::npos) << "a diagnostic: " << err;
            return hr;
        };
        ID3DXMesh *mesh = nullptr, *ours = nullptr;
        ID3DXBuffer *materials = nullptr, *ourMaterials = nullptr;
        DWORD count = 0, ourCount = 0;
        ASSERT_EQ(load(written, &mesh, &materials, &count), D3D_OK);
        ASSERT_EQ(load(original, &ours, &ourMaterials, &ourCount), D3D_OK);
        EXPECT_EQ(mesh->GetNumFaces(), want.size());
        EXPECT_TRUE(MeshFaces(mesh) == want) << "the faces differ from assimp's reading of the same file";
        EXPECT_EQ(TextureNames(materials, count), TextureNames(ourMaterials, ourCount));
        mesh->Release();
        materials->Release();
        ours->Release();
        ourMaterials->Release();
    }
}

TEST_F(DataOnDevice, LevelMergesIntoOneMeshAndTheStartLeavesTheFeetRaysFree)
{
    ID3DXMesh *mesh = nullptr;
    ID3DXBuffer *materials = nullptr;
    DWORD count = 0;
    ASSERT_EQ(D3DXLoadMeshFromXA(datatest::DataPath("Level01/Level.x").c_str(), D3DXMESH_SYSTEMMEM, device_, NULL,
                                 &materials, NULL, &count, &mesh),
              D3D_OK);
    EXPECT_LT(mesh->GetNumVertices(), 65536u);
    EXPECT_EQ(mesh->GetOptions() & D3DXMESH_32BIT, 0u);
    EXPECT_EQ(mesh->GetFVF() & (D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1),
              DWORD(D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1));
    EXPECT_GE(count, 6u);
    // The program's placement and its way of bringing a world ray into the model.
    D3DXMATRIX rot, move, world, inverse, transpose;
    D3DXMatrixRotationX(&rot, -1.57f);
    D3DXMatrixTranslation(&move, 0.0f, 1.4f, 0.0f);
    D3DXMatrixMultiply(&world, &rot, &move);
    D3DXMatrixInverse(&inverse, NULL, &world);
    D3DXMatrixTranspose(&transpose, &world);
    auto cast = [&](D3DXVECTOR3 o, D3DXVECTOR3 d, float *dist) {
        D3DXVECTOR3 mo, md;
        D3DXVec3TransformCoord(&mo, &o, &inverse);
        D3DXVec3TransformNormal(&md, &d, &transpose);
        BOOL hit = FALSE;
        EXPECT_EQ(D3DXIntersect(mesh, &mo, &md, &hit, NULL, NULL, NULL, dist, NULL, NULL), D3D_OK);
        return hit == TRUE;
    };
    // From the start, no heading's ray fires.
    for (float heading : {0.0f, 90.0f, 180.0f, 270.0f, 360.0f}) {
        float dist = 0;
        float reach = (heading == 0 || heading == 270) ? 1.0f : 0.6f;
        if (cast(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(cosf(heading), 0, sinf(heading)), &dist)) {
            EXPECT_GE(dist, reach) << "heading " << heading;
        }
    }
    materials->Release();
    mesh->Release();
}
