/*
 * support/wall_mesh.h - a one-square mesh standing for a wall, for the ray and collision
 * tests: positions only, two faces, centred on a point and facing a direction.
 */
#ifndef TAVROK_TESTS_SUPPORT_WALL_MESH_H
#define TAVROK_TESTS_SUPPORT_WALL_MESH_H

#include <d3dx9.h>

#include <math.h>
#include <string.h>

namespace testsupport {

// A square of side 2 * half in the plane through `centre` normal to `normal`; null when
// the mesh cannot be made.
inline ID3DXMesh *CreateWallMesh(IDirect3DDevice9 *device, D3DXVECTOR3 centre, D3DXVECTOR3 normal,
                                 float half = 50.0f)
{
    D3DXVec3Normalize(&normal, &normal);
    D3DXVECTOR3 helper(0, 1, 0), a, b;
    if (fabsf(normal.y) > 0.9f)
        helper = D3DXVECTOR3(1, 0, 0);
    D3DXVec3Cross(&a, &helper, &normal);
    D3DXVec3Normalize(&a, &a);
    D3DXVec3Cross(&b, &normal, &a);
    ID3DXMesh *mesh = NULL;
    if (FAILED(D3DXCreateMeshFVF(2, 4, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, device, &mesh)))
        return NULL;
    D3DXVECTOR3 *v = NULL;
    mesh->LockVertexBuffer(0, (void **)&v);
    v[0] = centre - a * half - b * half;
    v[1] = centre + a * half - b * half;
    v[2] = centre - a * half + b * half;
    v[3] = centre + a * half + b * half;
    mesh->UnlockVertexBuffer();
    WORD *i = NULL;
    mesh->LockIndexBuffer(0, (void **)&i);
    const WORD faces[6] = {0, 2, 1, 1, 2, 3};
    memcpy(i, faces, sizeof faces);
    mesh->UnlockIndexBuffer();
    return mesh;
}

}  // namespace testsupport

#endif
