/*
 * d3dx9anim.h - D3DX frame hierarchies loaded from .x files.
 *
 * D3DXLoadMeshHierarchyFromX reads a file's frames into D3DXFRAME records and its meshes
 * into D3DXMESHCONTAINER records, both made by the caller's ID3DXAllocateHierarchy, and
 * D3DXFrameDestroy hands them back to it.  Implemented in platform/d3dx9/mesh_hierarchy.cpp.
 * The animation controller is declared only as a type: the loader does not build one yet
 * (it returns none and says so when the file holds animation sets), and user data loaders
 * are accepted and not called.
 */
#ifndef TAVROK_D3DX9ANIM_H
#define TAVROK_D3DX9ANIM_H

#include <d3dx9.h>

/* One mesh of a frame: the mesh, its materials, effect instances, adjacency (three DWORDs
   a face) and skin, as the allocator chose to keep them; further meshes of the same frame
   follow through pNextMeshContainer. */
typedef struct _D3DXMESHCONTAINER {
    LPSTR Name;
    D3DXMESHDATA MeshData;
    LPD3DXMATERIAL pMaterials;
    LPD3DXEFFECTINSTANCE pEffects;
    DWORD NumMaterials;
    DWORD *pAdjacency;
    LPD3DXSKININFO pSkinInfo;
    struct _D3DXMESHCONTAINER *pNextMeshContainer;
} D3DXMESHCONTAINER, *LPD3DXMESHCONTAINER;

/* One frame: its name, its matrix relative to its parent, its meshes, its next sibling and
   its first child. */
typedef struct _D3DXFRAME {
    LPSTR Name;
    D3DXMATRIX TransformationMatrix;
    LPD3DXMESHCONTAINER pMeshContainer;
    struct _D3DXFRAME *pFrameSibling;
    struct _D3DXFRAME *pFrameFirstChild;
} D3DXFRAME, *LPD3DXFRAME;

interface ID3DXAllocateHierarchy;
interface ID3DXLoadUserData;
interface ID3DXFileData;
interface ID3DXAnimationController;
typedef interface ID3DXAllocateHierarchy *LPD3DXALLOCATEHIERARCHY;
typedef interface ID3DXLoadUserData *LPD3DXLOADUSERDATA;
typedef interface ID3DXFileData *LPD3DXFILEDATA;
typedef interface ID3DXAnimationController *LPD3DXANIMATIONCONTROLLER;

/* The application's allocator of frames and mesh containers. */
interface ID3DXAllocateHierarchy {
    STDMETHOD(CreateFrame)(LPCSTR Name, LPD3DXFRAME *ppNewFrame) PURE;
    STDMETHOD(CreateMeshContainer)(LPCSTR Name, CONST D3DXMESHDATA *pMeshData, CONST D3DXMATERIAL *pMaterials,
                                   CONST D3DXEFFECTINSTANCE *pEffectInstances, DWORD NumMaterials,
                                   CONST DWORD *pAdjacency, LPD3DXSKININFO pSkinInfo,
                                   LPD3DXMESHCONTAINER *ppNewMeshContainer) PURE;
    STDMETHOD(DestroyFrame)(LPD3DXFRAME pFrameToFree) PURE;
    STDMETHOD(DestroyMeshContainer)(LPD3DXMESHCONTAINER pMeshContainerToFree) PURE;
};

/* The application's reader of data objects the loader does not know. */
interface ID3DXLoadUserData {
    STDMETHOD(LoadTopLevelData)(LPD3DXFILEDATA pXofChildData) PURE;
    STDMETHOD(LoadFrameChildData)(LPD3DXFRAME pFrame, LPD3DXFILEDATA pXofChildData) PURE;
    STDMETHOD(LoadMeshChildData)(LPD3DXMESHCONTAINER pMeshContainer, LPD3DXFILEDATA pXofChildData) PURE;
};

#ifdef __cplusplus
extern "C" {
#endif

HRESULT WINAPI D3DXLoadMeshHierarchyFromXA(LPCSTR Filename, DWORD MeshOptions, LPDIRECT3DDEVICE9 pDevice,
                                           LPD3DXALLOCATEHIERARCHY pAlloc, LPD3DXLOADUSERDATA pUserDataLoader,
                                           LPD3DXFRAME *ppFrameHierarchy,
                                           LPD3DXANIMATIONCONTROLLER *ppAnimController);
#define D3DXLoadMeshHierarchyFromX D3DXLoadMeshHierarchyFromXA
HRESULT WINAPI D3DXLoadMeshHierarchyFromXInMemory(LPCVOID Memory, DWORD SizeOfMemory, DWORD MeshOptions,
                                                  LPDIRECT3DDEVICE9 pDevice, LPD3DXALLOCATEHIERARCHY pAlloc,
                                                  LPD3DXLOADUSERDATA pUserDataLoader,
                                                  LPD3DXFRAME *ppFrameHierarchy,
                                                  LPD3DXANIMATIONCONTROLLER *ppAnimController);
/* Gives every mesh container and frame of the tree back to the allocator. */
HRESULT WINAPI D3DXFrameDestroy(LPD3DXFRAME pFrameRoot, LPD3DXALLOCATEHIERARCHY pAlloc);
/* Makes pFrameChild the last child of pFrameParent. */
HRESULT WINAPI D3DXFrameAppendChild(LPD3DXFRAME pFrameParent, CONST D3DXFRAME *pFrameChild);
/* The first frame of the tree (the root, its children and its siblings) with that name. */
LPD3DXFRAME WINAPI D3DXFrameFind(CONST D3DXFRAME *pFrameRoot, LPCSTR Name);
/* How many frames of the tree have a name. */
UINT WINAPI D3DXFrameNumNamedMatrices(CONST D3DXFRAME *pFrameRoot);

#ifdef __cplusplus
}
#endif

#endif
