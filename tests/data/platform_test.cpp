/*
 * platform_test.cpp - the data files through our own platform libraries, the way the
 * program uses them: the particle shader assembles and makes a vertex shader, the level
 * merges into one mesh with 16-bit indices that the program's feet-level rays hit where
 * they should, and the ninja's Mesh object loads as a skinned mesh with all its bones.  Runs on a NULLREF device, no display.
 */
#include "support/null_device.h"

#include <d3dx9.h>
#include <dxfile.h>
#include <rmxfguid.h>
#include <rmxftmpl.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

std::string DataPath(const std::string &relative) { return std::string(TAVROK_DATA_RUN_DIR) + "/" + relative; }

using DataOnDevice = testsupport::NullDeviceTest;

// The first Mesh data object below `object` (depth first), with one reference, or null.
IDirectXFileData *FindMesh(IDirectXFileData *object)
{
    const GUID *type = nullptr;
    if (SUCCEEDED(object->GetType(&type)) && type && *type == TID_D3DRMMesh) {
        object->AddRef();
        return object;
    }
    IDirectXFileObject *child = nullptr;
    while (SUCCEEDED(object->GetNextObject(&child))) {
        IDirectXFileData *data = nullptr;
        IDirectXFileData *found = nullptr;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void **>(&data)))) {
            found = FindMesh(data);
            data->Release();
        }
        child->Release();
        if (found) return found;
    }
    return nullptr;
}

}  // namespace

TEST_F(DataOnDevice, ParticleShaderAssemblesIntoAVertexShader)
{
    ID3DXBuffer *code = nullptr, *errors = nullptr;
    HRESULT hr = D3DXAssembleShaderFromFileA(DataPath("Particle.vsh").c_str(), NULL, NULL, 0, &code, &errors);
    ASSERT_EQ(hr, D3D_OK) << (errors ? static_cast<const char *>(errors->GetBufferPointer()) : "");
    IDirect3DVertexShader9 *shader = nullptr;
    EXPECT_EQ(device_->CreateVertexShader(static_cast<const DWORD *>(code->GetBufferPointer()), &shader), D3D_OK);
    if (shader) shader->Release();
    code->Release();
    if (errors) errors->Release();
}

TEST_F(DataOnDevice, LevelMergesIntoOneMeshThatTheFeetRaysHitWhereExpected)
{
    ID3DXMesh *mesh = nullptr;
    ID3DXBuffer *materials = nullptr;
    DWORD count = 0;
    ASSERT_EQ(D3DXLoadMeshFromXA(DataPath("Level01/Level.x").c_str(), D3DXMESH_SYSTEMMEM, device_, NULL, &materials,
                                 NULL, &count, &mesh),
              D3D_OK);
    EXPECT_LT(mesh->GetNumVertices(), 65536u);
    EXPECT_EQ(mesh->GetOptions() & D3DXMESH_32BIT, 0u);
    EXPECT_EQ(mesh->GetFVF() & (D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1),
              DWORD(D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1));
    EXPECT_GE(count, 6u);
#ifdef TAVROK_HAVE_D3DXINTERSECT
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
    // 0.7 from each wall, the ray towards it hits at 0.7.
    const D3DXVECTOR3 towards[4] = {{1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1}};
    for (const D3DXVECTOR3 &d : towards) {
        float dist = 0;
        ASSERT_TRUE(cast(d * 7.3f + D3DXVECTOR3(0.37f * d.z, 0, 0.37f * d.x), d, &dist));
        EXPECT_NEAR(dist, 0.7f, 1e-3f);
    }
#endif
    materials->Release();
    mesh->Release();
}

TEST_F(DataOnDevice, NinjaMeshLoadsAsASkinWithEveryBone)
{
    IDirectXFile *file = nullptr;
    ASSERT_EQ(DirectXFileCreate(&file), DXFILE_OK);
    ASSERT_EQ(file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), DXFILE_OK);
    IDirectXFileEnumObject *en = nullptr;
    std::string path = DataPath("Data/Ninja.x");
    ASSERT_EQ(file->CreateEnumObject(const_cast<char *>(path.c_str()), DXFILELOAD_FROMFILE, &en), DXFILE_OK);
    IDirectXFileData *top = nullptr, *meshData = nullptr;
    while (!meshData && SUCCEEDED(en->GetNextDataObject(&top))) {
        meshData = FindMesh(top);
        top->Release();
    }
    ASSERT_NE(meshData, nullptr);
    ID3DXMesh *mesh = nullptr;
    ID3DXSkinInfo *skin = nullptr;
    ID3DXBuffer *materials = nullptr;
    DWORD count = 0;
    ASSERT_EQ(D3DXLoadSkinMeshFromXof(meshData, D3DXMESH_SYSTEMMEM, device_, NULL, &materials, NULL, &count, &skin, &mesh),
              D3D_OK);
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(skin->GetNumBones(), 18u);
    DWORD influences = 0;
    EXPECT_EQ(skin->GetMaxVertexInfluences(&influences), D3D_OK);
    EXPECT_GE(influences, 2u);
    EXPECT_LE(influences, 4u);
    EXPECT_GE(mesh->GetNumFaces(), 2000u);
    EXPECT_NE(mesh->GetFVF() & D3DFVF_DIFFUSE, 0u);
    EXPECT_GE(count, 2u);
    // Each material names a texture that sits in the texture folder.
    const D3DXMATERIAL *m = static_cast<const D3DXMATERIAL *>(materials->GetBufferPointer());
    for (DWORD i = 0; i < count; ++i) {
        ASSERT_NE(m[i].pTextureFilename, nullptr);
        IDirect3DTexture9 *tex = nullptr;
        EXPECT_EQ(D3DXCreateTextureFromFileA(device_, DataPath(std::string("Data/") + m[i].pTextureFilename).c_str(), &tex),
                  D3D_OK)
            << m[i].pTextureFilename;
        if (tex) tex->Release();
    }
    materials->Release();
    skin->Release();
    mesh->Release();
    meshData->Release();
    en->Release();
    file->Release();
}
