/*
 * collision_model.cpp - the scene objects' collision models in the collision library.
 *
 * Each model is built once from the triangles of the object's mesh and asked each frame
 * whether it touches another.  Vertices are read at the mesh's own vertex size (which a
 * mesh made from a vertex declaration has even without an FVF code), so the model's
 * corners are the mesh's corners whatever else each vertex carries.
 */
#include "scene/scene_object.h"

#include "scene/mesh_container.h"

#include <d3dx9.h>

#include <string.h>

HRESULT CSceneObject::BuildCollisionModel(SMeshContainer *container)
{
    pCollision = newCollisionObject();
    // A model file that failed to load leaves no container: the model stays empty.
    if (!container || !container->MeshData.pMesh)
        return 0;
    ID3DXMesh *mesh = container->MeshData.pMesh;
    pCollisionMesh = mesh;
    numVertices = mesh->GetNumVertices();
    numFaces = mesh->GetNumFaces();

    BYTE *vertices = NULL;
    if (FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, (void **)&vertices)))
        return 0;
    void *indices = NULL;
    if (FAILED(mesh->LockIndexBuffer(D3DLOCK_READONLY, &indices))) {
        mesh->UnlockVertexBuffer();
        return 0;
    }
    const UINT stride = mesh->GetNumBytesPerVertex();
    const bool wide = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
    for (DWORD f = 0; f < numFaces; ++f) {
        D3DXVECTOR3 corner[3];
        for (int k = 0; k < 3; ++k) {
            DWORD i = wide ? ((const DWORD *)indices)[3 * f + k] : ((const WORD *)indices)[3 * f + k];
            memcpy(&corner[k], vertices + stride * i, sizeof(D3DXVECTOR3));
        }
        pCollision->AddTriangle(corner[0], corner[1], corner[2]);
    }
    pCollision->Finalize();
    mesh->UnlockIndexBuffer();
    mesh->UnlockVertexBuffer();
    return 0;
}

bool CSceneObject::TestCollision(CSceneObject *other, int mode)
{
    if (!pCollision || !other)
        return false;
    bool r = pCollision->Collide(other->pCollision, mode);
    collided = collided || r;
    other->collided = other->collided || r;
    return r;
}
