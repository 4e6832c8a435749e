/*
 * scene_object.cpp - placing and drawing a scene object.
 *
 * The world matrix is built from the three angles and the position (turned about z, then x,
 * then y, then moved) and set on the device; Render then draws each container's subsets
 * with their materials and textures.  A material whose diffuse alpha is not exactly 1
 * switches to additive-style blending (ONE, DESTCOLOR); an opaque one switches blending
 * off; the saved blend states come back only when the final blend state differs from the
 * saved one.  The level contact and collision operations live in src/world.
 */
#include "scene/scene_object.h"

extern LPDIRECT3DDEVICE9 g_pd3dDevice;

CSceneObject::CSceneObject()
    : collisionReach(0.0f), facingYaw(0.0f), position(0.0f, 0.0f, 0.0f), pMeshList(NULL), pCollision(NULL),
      collided(0), heading(0.0f), numFaces(0), numVertices(0), rotation(0.0f, 0.0f, 0.0f), pCollisionMesh(NULL)
{
    D3DXMatrixIdentity(&matWorld);
    D3DXMatrixIdentity(&matLocal);
}

HRESULT CSceneObject::AddMeshContainer(SMeshContainer *pContainer)
{
    if (!pContainer)
        return E_FAIL;
    pContainer->pOwner = this;
    if (!pMeshList) {
        pMeshList = pContainer;
    } else {
        SMeshContainer *pLast = pMeshList;
        while (pLast->pNextInObject)
            pLast = pLast->pNextInObject;
        pLast->pNextInObject = pContainer;
    }
    return S_OK;
}

void CSceneObject::UpdateTransform()
{
    D3DXMATRIX matTranslation, matPitch, matYaw, matRoll;
    D3DXMatrixTranslation(&matTranslation, position.x, position.y, position.z);
    D3DXMatrixRotationX(&matPitch, rotation.y);
    D3DXMatrixRotationY(&matYaw, rotation.x);
    D3DXMatrixRotationZ(&matRoll, rotation.z);
    // Row vectors: turned about z first, then about x, then about y, then moved.
    matLocal = matRoll * matPitch * matYaw * matTranslation;
    matWorld = matLocal;
    if (g_pd3dDevice)
        g_pd3dDevice->SetTransform(D3DTS_WORLD, &matWorld);
}

HRESULT CSceneObject::Render()
{
    UpdateTransform();
    if (!pMeshList)
        return S_OK;
    if (g_pd3dDevice)
        g_pd3dDevice->SetTransform(D3DTS_WORLD, &matWorld);

    for (SMeshContainer *pContainer = pMeshList; pContainer; pContainer = pContainer->pNextInObject) {
        if (!pContainer->MeshData.pMesh || pContainer->NumMaterials == 0 || !pContainer->pMaterials)
            continue;
        IDirect3DDevice9 *pDevice = NULL;
        if (FAILED(pContainer->MeshData.pMesh->GetDevice(&pDevice)) || !pDevice)
            continue;
        pDevice->SetVertexShader(NULL);
        pDevice->SetVertexDeclaration(NULL);

        DWORD savedBlend = 0, savedSrcBlend = 0, savedDestBlend = 0;
        pDevice->GetRenderState(D3DRS_ALPHABLENDENABLE, &savedBlend);
        pDevice->GetRenderState(D3DRS_SRCBLEND, &savedSrcBlend);
        pDevice->GetRenderState(D3DRS_DESTBLEND, &savedDestBlend);
        DWORD blending = savedBlend;

        ID3DXMesh *pDrawMesh = pContainer->pSkinnedMesh ? pContainer->pSkinnedMesh : pContainer->MeshData.pMesh;
        for (DWORD i = 0; i < pContainer->NumMaterials; i++) {
            pDevice->SetMaterial(&pContainer->pMaterials[i].MatD3D);
            pDevice->SetTexture(0, pContainer->ppTextures ? pContainer->ppTextures[i] : NULL);
            if (pContainer->pMaterials[i].MatD3D.Diffuse.a != 1.0f) {
                if (blending != 1) {
                    pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
                    pDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
                    pDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_DESTCOLOR);
                    blending = 1;
                }
            } else if (blending != 0) {
                pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
                blending = 0;
            }
            pDrawMesh->DrawSubset(i);
        }

        if (blending != savedBlend) {
            pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, savedBlend);
            pDevice->SetRenderState(D3DRS_SRCBLEND, savedSrcBlend);
            pDevice->SetRenderState(D3DRS_DESTBLEND, savedDestBlend);
        }
        pDevice->Release();
    }
    return S_OK;
}

void CSceneObject::GetPosition(float *x, float *y, float *z)
{
    *x = position.x;
    *y = position.y;
    *z = position.z;
}

void CSceneObject::SetPosition(float x, float y, float z)
{
    position.x = x;
    position.y = y;
    position.z = z;
}

BYTE CSceneObject::IsColliding()
{
    return collided;
}
