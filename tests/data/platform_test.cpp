/*
 * platform_test.cpp - the data files through our own platform libraries, the way the
 * program uses them: the level merges into one mesh with 16-bit indices, and from the start
 * point none of the program's feet-level rays hits a wall within its reach.  (The
 * character's skin, as the program loads it, is checked by the scene tests; the particle
 * shader by the particle tests.)  Runs on a NULLREF device, no display.
 */
#include "data_support.h"
#include "support/null_device.h"

#include <d3dx9.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using DataOnDevice = testsupport::NullDeviceTest;

}  // namespace

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
