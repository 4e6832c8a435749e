/*
 * xfile_loader.h - the X-file scene loader: frames and mesh containers from a .x file.
 *
 * CXFileLoader is a context for one load.  It walks the file's data objects with the
 * DirectX File interfaces, turns Frame objects into SFrame records (each new frame at the
 * head of its parent's children, so siblings stand in reverse file order), Mesh objects
 * into mesh containers (each new one at the head of the list) and references to meshes into
 * frame-to-container links.  The two entry points wrap it for the character and the level;
 * the level keeps the walk's frame tree and one container merged from the whole file.
 */
#ifndef TAVROK_SCENE_XFILE_LOADER_H
#define TAVROK_SCENE_XFILE_LOADER_H

#include <d3dx9.h>
#include <dxfile.h>

#include "scene/frame.h"
#include "scene/mesh_container.h"

// What a load builds (CXFileLoader::flags).
#define XLOAD_MESHES 0x1
#define XLOAD_FRAMES 0x2

class CXFileLoader {
public:
    IDirect3DDevice9 *device;
    const char *texturePath;
    DWORD cloneFVF;
    DWORD meshOptions;
    DWORD flags;
    SMeshContainer *meshList;
    SFrame *frameRoot;

    CXFileLoader();
    ~CXFileLoader();

    bool ParseXFile(const char *fileName, SFrame **parentSlot);
    bool ParseXObject(IDirectXFileData *object, IDirectXFileData *parentObject, DWORD depth, SFrame **parentSlot,
                      bool reference);
    bool ParseXChildren(IDirectXFileData *object, DWORD depth, SFrame **parentSlot, bool reference);
};

// Heap copy (new[]) of a data object's name, or NULL when it has none.
char *GetXObjectName(IDirectXFileObject *object);

SMeshContainer *FindMeshContainer(SMeshContainer *container, const char *name);

HRESULT LoadSkinnedModel(SMeshContainer **ppMeshList, SFrame **ppFrameRoot, IDirect3DDevice9 *pDevice,
                         const char *fileName, const char *texturePath, DWORD cloneFVF, DWORD meshOptions);
HRESULT LoadLevelModel(SMeshContainer **ppContainer, SFrame **ppFrameRoot, IDirect3DDevice9 *pDevice,
                       const char *fileName, const char *texturePath, DWORD cloneFVF, DWORD meshOptions);

#endif
