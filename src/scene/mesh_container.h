/*
 * mesh_container.h - mesh containers: one mesh with its materials and textures and, when
 * skinned, its skin information, the bones bound to frames and the copy that skinning
 * rewrites.
 *
 * The first fields are those of the D3DX mesh-container record; the program's own follow.
 * The list a loader hands out (linked by pNextMeshContainer) owns its containers; frames
 * and scene objects only point at them.
 */
#ifndef TAVROK_SCENE_MESH_CONTAINER_H
#define TAVROK_SCENE_MESH_CONTAINER_H

#include <d3dx9.h>
#include <dxfile.h>

#include "scene/frame.h"

class CSceneObject;

struct SMeshContainer {
    LPSTR Name;
    D3DXMESHDATA MeshData;
    D3DXMATERIAL *pMaterials;
    D3DXEFFECTINSTANCE *pEffects;
    DWORD NumMaterials;
    DWORD *pAdjacency;
    ID3DXSkinInfo *pSkinInfo;
    SMeshContainer *pNextMeshContainer;

    IDirect3DTexture9 **ppTextures;
    ID3DXMesh *pSkinnedMesh;
    D3DXMATRIX **ppBoneMatrixPtrs;
    D3DXMATRIX *pBoneMatrices;
    CSceneObject *pOwner;
    SMeshContainer *pNextInObject;

    SMeshContainer();
};

HRESULT LoadMeshContainer(SMeshContainer **ppContainer, IDirect3DDevice9 *pDevice, IDirectXFileData *pMeshData,
                          const char *texturePath, DWORD cloneFVF, DWORD meshOptions);
HRESULT LoadMergedContainer(SMeshContainer **ppContainer, IDirect3DDevice9 *pDevice, const char *fileName,
                            const char *texturePath, DWORD cloneFVF, DWORD meshOptions);
// Binds every skinned container's bones to the frames bearing their names; a bone that names
// no frame stays unbound, with one line naming the file (when given), the mesh and the bone.
void BindBones(SMeshContainer *pContainerList, SFrame *pFrameRoot, const char *fileName = NULL);
HRESULT SkinMeshContainer(SMeshContainer *pContainer);
void FreeMeshContainer(SMeshContainer *pContainer);

#endif
