/*
 * mesh_container.cpp - building, binding, skinning and freeing mesh containers.
 *
 * A container is built either from one Mesh data object of an X file (LoadMeshContainer,
 * used by the X-file walk) or from a whole file merged into one mesh (LoadMergedContainer,
 * the level).  Materials keep only their D3DMATERIAL9 part, with the ambient colour made
 * equal to the diffuse one; each named texture is loaded from the texture path joined to
 * the file name with no separator.  A skinned container also gets pSkinnedMesh, a copy
 * made before the attribute sort, so it keeps the face order of the file; SkinMeshContainer
 * rewrites its vertices once per frame from the bone frames' combined matrices.
 * Failures are reported only through the returned code; a texture that does not load is
 * left out silently.  Binding writes one line for each bone that names no frame.
 */
#include "scene/mesh_container.h"

#include <new>
#include <stdio.h>
#include <string.h>

#include "scene/xfile_loader.h"

SMeshContainer::SMeshContainer()
    : Name(NULL), pMaterials(NULL), pEffects(NULL), NumMaterials(0), pAdjacency(NULL), pSkinInfo(NULL),
      pNextMeshContainer(NULL), ppTextures(NULL), pSkinnedMesh(NULL), ppBoneMatrixPtrs(NULL), pBoneMatrices(NULL),
      pOwner(NULL), pNextInObject(NULL)
{
    MeshData.Type = (D3DXMESHDATATYPE)0;
    MeshData.pMesh = NULL;
}

// Copies the adjacency buffer into the container (left null when the buffer is empty) and
// releases it.
static void TakeAdjacency(SMeshContainer *pContainer, ID3DXBuffer *pAdjacency)
{
    if (!pAdjacency)
        return;
    DWORD size = pAdjacency->GetBufferSize();
    if (size != 0) {
        DWORD count = size / sizeof(DWORD);
        pContainer->pAdjacency = new DWORD[count];
        memcpy(pContainer->pAdjacency, pAdjacency->GetBufferPointer(), count * sizeof(DWORD));
    }
    pAdjacency->Release();
}

// Materials and textures, shared by both builders; releases the materials buffer.
static void LoadMaterials(SMeshContainer *pContainer, IDirect3DDevice9 *pDevice, ID3DXBuffer *pMaterialBuffer,
                          DWORD numMaterials, const char *texturePath)
{
    pContainer->NumMaterials = numMaterials;
    if (numMaterials == 0 || !pMaterialBuffer) {
        // A mesh without materials draws with one white material and no texture.
        pContainer->NumMaterials = 1;
        pContainer->pMaterials = new D3DXMATERIAL[1];
        memset(pContainer->pMaterials, 0, sizeof(D3DXMATERIAL));
        D3DMATERIAL9 &m = pContainer->pMaterials[0].MatD3D;
        m.Diffuse.r = m.Diffuse.g = m.Diffuse.b = m.Diffuse.a = 1.0f;
        m.Ambient = m.Diffuse;
        m.Specular = m.Diffuse;
        pContainer->ppTextures = new IDirect3DTexture9 *[1];
        pContainer->ppTextures[0] = NULL;
    } else {
        D3DXMATERIAL *pLoaded = (D3DXMATERIAL *)pMaterialBuffer->GetBufferPointer();
        pContainer->pMaterials = new D3DXMATERIAL[numMaterials];
        pContainer->ppTextures = new IDirect3DTexture9 *[numMaterials];
        for (DWORD i = 0; i < numMaterials; i++) {
            pContainer->pMaterials[i].MatD3D = pLoaded[i].MatD3D;
            pContainer->pMaterials[i].MatD3D.Ambient = pContainer->pMaterials[i].MatD3D.Diffuse;
            pContainer->pMaterials[i].pTextureFilename = NULL;
            pContainer->ppTextures[i] = NULL;
            if (pLoaded[i].pTextureFilename) {
                // The texture path ends in a backslash; nothing is put between the two.
                char path[MAX_PATH];
                snprintf(path, sizeof(path), "%s%s", texturePath, pLoaded[i].pTextureFilename);
                if (FAILED(D3DXCreateTextureFromFileA(pDevice, path, &pContainer->ppTextures[i])))
                    pContainer->ppTextures[i] = NULL;
            }
        }
    }
    if (pMaterialBuffer)
        pMaterialBuffer->Release();
}

HRESULT LoadMeshContainer(SMeshContainer **ppContainer, IDirect3DDevice9 *pDevice, IDirectXFileData *pMeshData,
                          const char *texturePath, DWORD cloneFVF, DWORD meshOptions)
{
    if (!ppContainer || !pDevice || !pMeshData || !texturePath)
        return E_FAIL;

    DWORD loadOptions = cloneFVF ? (DWORD)D3DXMESH_SYSTEMMEM : meshOptions;
    ID3DXBuffer *pAdjacency = NULL;
    ID3DXBuffer *pMaterials = NULL;
    DWORD numMaterials = 0;
    ID3DXSkinInfo *pSkinInfo = NULL;
    ID3DXMesh *pMesh = NULL;
    HRESULT hr = D3DXLoadSkinMeshFromXof(pMeshData, loadOptions, pDevice, &pAdjacency, &pMaterials, NULL,
                                         &numMaterials, &pSkinInfo, &pMesh);
    if (FAILED(hr))
        return hr;

    if (pSkinInfo && pSkinInfo->GetNumBones() == 0) {
        pSkinInfo->Release();
        pSkinInfo = NULL;
    }

    if (cloneFVF) {
        ID3DXMesh *pCloned = NULL;
        hr = pMesh->CloneMeshFVF(meshOptions, cloneFVF, pDevice, &pCloned);
        pMesh->Release();
        if (FAILED(hr)) {
            if (pSkinInfo)
                pSkinInfo->Release();
            if (pMaterials)
                pMaterials->Release();
            if (pAdjacency)
                pAdjacency->Release();
            return hr;
        }
        pMesh = pCloned;
    }

    SMeshContainer *pContainer = new SMeshContainer;
    *ppContainer = pContainer;
    pContainer->Name = GetXObjectName(pMeshData);
    pContainer->MeshData.Type = D3DXMESHTYPE_MESH;
    pContainer->MeshData.pMesh = pMesh;
    pContainer->pSkinInfo = pSkinInfo;

    TakeAdjacency(pContainer, pAdjacency);

    if (pSkinInfo)
        pMesh->CloneMeshFVF(0, pMesh->GetFVF(), pDevice, &pContainer->pSkinnedMesh);

    LoadMaterials(pContainer, pDevice, pMaterials, numMaterials, texturePath);

    // After the skinned copy was made, so that the copy keeps the file's face order.
    pMesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, NULL, NULL, NULL, NULL);
    return S_OK;
}

HRESULT LoadMergedContainer(SMeshContainer **ppContainer, IDirect3DDevice9 *pDevice, const char *fileName,
                            const char *texturePath, DWORD cloneFVF, DWORD meshOptions)
{
    if (!ppContainer || !pDevice || !fileName || !texturePath)
        return E_FAIL;

    DWORD loadOptions = cloneFVF ? (DWORD)D3DXMESH_SYSTEMMEM : meshOptions;
    ID3DXBuffer *pAdjacency = NULL;
    ID3DXBuffer *pMaterials = NULL;
    DWORD numMaterials = 0;
    ID3DXMesh *pMesh = NULL;
    HRESULT hr = D3DXLoadMeshFromXA(fileName, loadOptions, pDevice, &pAdjacency, &pMaterials, NULL, &numMaterials,
                                    &pMesh);
    if (FAILED(hr))
        return hr;

    if (cloneFVF) {
        ID3DXMesh *pCloned = NULL;
        hr = pMesh->CloneMeshFVF(meshOptions, cloneFVF, pDevice, &pCloned);
        if (FAILED(hr)) {
            if (pAdjacency)
                pAdjacency->Release();
            if (pMaterials)
                pMaterials->Release();
            pMesh->Release();
            return hr;
        }
        pMesh->Release();
        pMesh = pCloned;
    }

    SMeshContainer *pContainer = new SMeshContainer;
    size_t length = strlen(fileName);
    pContainer->Name = new char[length + 1];
    memcpy(pContainer->Name, fileName, length + 1);
    pContainer->MeshData.Type = D3DXMESHTYPE_MESH;
    pContainer->MeshData.pMesh = pMesh;
    TakeAdjacency(pContainer, pAdjacency);
    LoadMaterials(pContainer, pDevice, pMaterials, numMaterials, texturePath);
    pMesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, NULL, NULL, NULL, NULL);
    *ppContainer = pContainer;
    return S_OK;
}

// One line for a bone whose name no frame bears (exporters write such bones): the file,
// the mesh and the bone.  The bone stays unbound and skins with its offset matrix alone.
static void ReportUnboundBone(const char *fileName, const char *meshName, const char *boneName)
{
    char line[768];
    snprintf(line, sizeof line, "scene: %s%smesh '%.200s': bone '%.200s' names no frame; not bound\n",
             fileName ? fileName : "", fileName ? ": " : "", meshName ? meshName : "", boneName ? boneName : "");
    OutputDebugStringA(line);
}

void BindBones(SMeshContainer *pContainerList, SFrame *pFrameRoot, const char *fileName)
{
    for (SMeshContainer *pContainer = pContainerList; pContainer; pContainer = pContainer->pNextMeshContainer) {
        if (!pContainer->pSkinInfo)
            continue;
        DWORD numBones = pContainer->pSkinInfo->GetNumBones();
        pContainer->ppBoneMatrixPtrs = new D3DXMATRIX *[numBones];
        pContainer->pBoneMatrices = new (std::nothrow) D3DXMATRIX[numBones];
        for (DWORD i = 0; i < numBones; i++) {
            const char *boneName = pContainer->pSkinInfo->GetBoneName(i);
            SFrame *pFrame = FindFrame(pFrameRoot, boneName);
            pContainer->ppBoneMatrixPtrs[i] = pFrame ? &pFrame->CombinedMatrix : NULL;
            if (!pFrame)
                ReportUnboundBone(fileName, pContainer->Name, boneName);
        }
    }
}

HRESULT SkinMeshContainer(SMeshContainer *pContainer)
{
    if (!pContainer || !pContainer->MeshData.pMesh || !pContainer->pSkinnedMesh || !pContainer->pSkinInfo ||
        !pContainer->pBoneMatrices || !pContainer->ppBoneMatrixPtrs)
        return E_FAIL;

    for (DWORD i = 0; i < pContainer->pSkinInfo->GetNumBones(); i++) {
        pContainer->pBoneMatrices[i] = *pContainer->pSkinInfo->GetBoneOffsetMatrix(i);
        // A bone that no frame bears keeps its bare offset matrix.
        if (pContainer->ppBoneMatrixPtrs[i])
            D3DXMatrixMultiply(&pContainer->pBoneMatrices[i], &pContainer->pBoneMatrices[i],
                               pContainer->ppBoneMatrixPtrs[i]);
    }

    void *pSource = NULL;
    void *pDestination = NULL;
    pContainer->MeshData.pMesh->LockVertexBuffer(D3DLOCK_READONLY, &pSource);
    pContainer->pSkinnedMesh->LockVertexBuffer(0, &pDestination);
    pContainer->pSkinInfo->UpdateSkinnedMesh(pContainer->pBoneMatrices, NULL, pSource, pDestination);
    pContainer->pSkinnedMesh->UnlockVertexBuffer();
    pContainer->MeshData.pMesh->UnlockVertexBuffer();
    return S_OK;
}

// Releases and frees what one container holds, leaving every field null.
static void FreeContainerFields(SMeshContainer *pContainer)
{
    if (pContainer->ppTextures) {
        for (DWORD i = 0; i < pContainer->NumMaterials; i++) {
            if (pContainer->ppTextures[i]) {
                pContainer->ppTextures[i]->Release();
                pContainer->ppTextures[i] = NULL;
            }
        }
    }
    delete[] pContainer->ppTextures;
    pContainer->ppTextures = NULL;
    pContainer->NumMaterials = 0;

    delete[] pContainer->Name;
    pContainer->Name = NULL;
    delete[] pContainer->pMaterials;
    pContainer->pMaterials = NULL;
    delete[] pContainer->pEffects;
    pContainer->pEffects = NULL;
    delete[] pContainer->pAdjacency;
    pContainer->pAdjacency = NULL;
    delete[] pContainer->ppBoneMatrixPtrs;
    pContainer->ppBoneMatrixPtrs = NULL;
    delete[] pContainer->pBoneMatrices;
    pContainer->pBoneMatrices = NULL;

    if (pContainer->MeshData.pMesh) {
        pContainer->MeshData.pMesh->Release();
        pContainer->MeshData.pMesh = NULL;
    }
    if (pContainer->pSkinInfo) {
        pContainer->pSkinInfo->Release();
        pContainer->pSkinInfo = NULL;
    }
    if (pContainer->pSkinnedMesh) {
        pContainer->pSkinnedMesh->Release();
        pContainer->pSkinnedMesh = NULL;
    }
    pContainer->pOwner = NULL;
    pContainer->pNextInObject = NULL;
}

void FreeMeshContainer(SMeshContainer *pContainer)
{
    if (!pContainer)
        return;
    FreeContainerFields(pContainer);
    // The head is freed by the caller; the rest of the list belongs to it.
    SMeshContainer *pNext = pContainer->pNextMeshContainer;
    pContainer->pNextMeshContainer = NULL;
    while (pNext) {
        SMeshContainer *pAfter = pNext->pNextMeshContainer;
        FreeContainerFields(pNext);
        delete pNext;
        pNext = pAfter;
    }
}
