/*
 * xfile_loader.cpp - walking a .x file into frames and mesh containers.
 *
 * The walk registers only the standard retained-mode templates; files that use the
 * skinning templates declare them themselves.  Frames are put at the head of their parent's
 * child list (or of the top-level chain) and containers at the head of the loader's list.
 * A parent slot is the address of the pointer through which the enclosing frame was linked
 * in, so that it designates that frame while its children are parsed.  Objects reached
 * through a reference never create frames or containers: a referenced Mesh only links the
 * enclosing frame to the container of the same name.  No step reports an error; what
 * cannot be used is skipped.
 */
#include "scene/xfile_loader.h"

#include <rmxfguid.h>
#include <rmxftmpl.h>
#include <string.h>

CXFileLoader::CXFileLoader()
    : device(NULL), texturePath(NULL), cloneFVF(0), meshOptions(0), flags(0), meshList(NULL), frameRoot(NULL)
{
}

CXFileLoader::~CXFileLoader()
{
    if (meshList) {
        FreeMeshContainer(meshList);
        delete meshList;
        meshList = NULL;
    }
    DeleteFrameTree(frameRoot);
    frameRoot = NULL;
}

char *GetXObjectName(IDirectXFileObject *object)
{
    DWORD length = 0;
    if (FAILED(object->GetName(NULL, &length)) || length == 0)
        return NULL;
    char *name = new char[length];
    if (FAILED(object->GetName(name, &length))) {
        delete[] name;
        return NULL;
    }
    return name;
}

SMeshContainer *FindMeshContainer(SMeshContainer *container, const char *name)
{
    for (; container; container = container->pNextMeshContainer) {
        if (container->Name && name && strcmp(container->Name, name) == 0)
            return container;
    }
    return NULL;
}

bool CXFileLoader::ParseXFile(const char *fileName, SFrame **parentSlot)
{
    if (!fileName)
        return false;
    IDirectXFile *pFile = NULL;
    if (FAILED(DirectXFileCreate(&pFile)))
        return false;
    if (FAILED(pFile->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES))) {
        pFile->Release();
        return false;
    }
    IDirectXFileEnumObject *pEnum = NULL;
    if (FAILED(pFile->CreateEnumObject((LPVOID)fileName, DXFILELOAD_FROMFILE, &pEnum))) {
        pFile->Release();
        return false;
    }
    IDirectXFileData *pObject = NULL;
    while (SUCCEEDED(pEnum->GetNextDataObject(&pObject))) {
        bool goOn = ParseXObject(pObject, NULL, 0, parentSlot, false);
        pObject->Release();
        pObject = NULL;
        if (!goOn)
            break;
    }
    pEnum->Release();
    pFile->Release();
    return true;
}

bool CXFileLoader::ParseXObject(IDirectXFileData *object, IDirectXFileData *parentObject, DWORD depth,
                                SFrame **parentSlot, bool reference)
{
    const GUID *type = NULL;
    if (FAILED(object->GetType(&type)) || !type)
        return ParseXChildren(object, depth, parentSlot, reference);

    SFrame **childSlot = parentSlot;
    SFrame *parentFrame = parentSlot ? *parentSlot : NULL;

    if (*type == TID_D3DRMFrame && (flags & XLOAD_FRAMES) && !reference) {
        SFrame *frame = new SFrame;
        frame->Name = GetXObjectName(object);
        if (!parentSlot) {
            frame->pFrameSibling = frameRoot;
            frameRoot = frame;
            childSlot = &frameRoot;
        } else {
            frame->pFrameSibling = parentFrame->pFrameFirstChild;
            parentFrame->pFrameFirstChild = frame;
            childSlot = &parentFrame->pFrameFirstChild;
        }
    } else if (*type == TID_D3DRMFrameTransformMatrix && (flags & XLOAD_FRAMES) && !reference && parentFrame) {
        DWORD size = 0;
        void *data = NULL;
        if (SUCCEEDED(object->GetData(NULL, &size, &data)) && size >= sizeof(D3DXMATRIX)) {
            memcpy(&parentFrame->TransformationMatrix, data, sizeof(D3DXMATRIX));
            parentFrame->RestMatrix = parentFrame->TransformationMatrix;
        }
    } else if (*type == TID_D3DRMMesh && (flags & XLOAD_MESHES)) {
        if (!reference) {
            SMeshContainer *container = NULL;
            if (SUCCEEDED(LoadMeshContainer(&container, device, object, texturePath, cloneFVF, meshOptions))) {
                container->pNextMeshContainer = meshList;
                meshList = container;
                // A later mesh of the same frame replaces an earlier one.
                if ((flags & XLOAD_FRAMES) && parentFrame)
                    parentFrame->pMeshContainer = container;
            }
        } else if ((flags & XLOAD_FRAMES) && meshList && parentFrame) {
            char *name = GetXObjectName(object);
            if (name) {
                parentFrame->pMeshContainer = FindMeshContainer(meshList, name);
                delete[] name;
            }
        }
    }
    return ParseXChildren(object, depth, childSlot, reference);
}

bool CXFileLoader::ParseXChildren(IDirectXFileData *object, DWORD depth, SFrame **parentSlot, bool reference)
{
    IDirectXFileObject *pChild = NULL;
    while (SUCCEEDED(object->GetNextObject(&pChild))) {
        bool goOn = true;
        IDirectXFileDataReference *pReference = NULL;
        IDirectXFileData *pData = NULL;
        if (SUCCEEDED(pChild->QueryInterface(IID_IDirectXFileDataReference, (void **)&pReference))) {
            IDirectXFileData *pResolved = NULL;
            if (SUCCEEDED(pReference->Resolve(&pResolved))) {
                goOn = ParseXObject(pResolved, object, depth + 1, parentSlot, true);
                pResolved->Release();
            }
            pReference->Release();
        } else if (SUCCEEDED(pChild->QueryInterface(IID_IDirectXFileData, (void **)&pData))) {
            goOn = ParseXObject(pData, object, depth + 1, parentSlot, reference);
            pData->Release();
        }
        pChild->Release();
        pChild = NULL;
        if (!goOn)
            return false;
    }
    return true;
}

HRESULT LoadSkinnedModel(SMeshContainer **ppMeshList, SFrame **ppFrameRoot, IDirect3DDevice9 *pDevice,
                         const char *fileName, const char *texturePath, DWORD cloneFVF, DWORD meshOptions)
{
    if (!pDevice || !fileName || !texturePath)
        return E_FAIL;

    CXFileLoader loader;
    loader.device = pDevice;
    loader.texturePath = texturePath;
    loader.cloneFVF = cloneFVF;
    loader.meshOptions = meshOptions;
    loader.flags = (ppMeshList ? XLOAD_MESHES : 0) | (ppFrameRoot ? XLOAD_FRAMES : 0);
    loader.ParseXFile(fileName, NULL);

    if (ppMeshList) {
        if (ppFrameRoot && loader.meshList && loader.frameRoot)
            BindBones(loader.meshList, loader.frameRoot, fileName);
        *ppMeshList = loader.meshList;
        loader.meshList = NULL;
    }
    if (ppFrameRoot) {
        *ppFrameRoot = loader.frameRoot;
        loader.frameRoot = NULL;
    }
    return S_OK;
}

HRESULT LoadLevelModel(SMeshContainer **ppContainer, SFrame **ppFrameRoot, IDirect3DDevice9 *pDevice,
                       const char *fileName, const char *texturePath, DWORD cloneFVF, DWORD meshOptions)
{
    if (!ppContainer || !pDevice || !fileName || !texturePath)
        return E_FAIL;

    // The walk builds only the frame tree.  One container per Mesh object (each loading its
    // textures) would be replaced by the merged container below and never read, so those
    // are not built: the container output holds no list before the merge.
    *ppContainer = NULL;
    if (ppFrameRoot) {
        CXFileLoader loader;
        loader.device = pDevice;
        loader.texturePath = texturePath;
        loader.cloneFVF = cloneFVF;
        loader.meshOptions = meshOptions;
        loader.flags = XLOAD_FRAMES;
        loader.ParseXFile(fileName, NULL);
        *ppFrameRoot = loader.frameRoot;
        loader.frameRoot = NULL;
    }

    // The merged container picks D3DXMESH_SYSTEMMEM itself when a conversion is asked for.
    SMeshContainer *pMerged = NULL;
    HRESULT hr = LoadMergedContainer(&pMerged, pDevice, fileName, texturePath, cloneFVF, meshOptions);
    if (FAILED(hr))
        return hr;
    *ppContainer = pMerged;
    return S_OK;
}
