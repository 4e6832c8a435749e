/*
 * mesh_hierarchy.cpp - D3DXLoadMeshHierarchyFromX / FromXInMemory and the frame tree
 * functions (D3DXFrameDestroy, D3DXFrameAppendChild, D3DXFrameFind,
 * D3DXFrameNumNamedMatrices).
 *
 * The file is read through the DirectX File interfaces with the retained-mode and extension
 * templates registered, the whole of it before any callback, so that a file the reader
 * rejects fails with the reader's code and line and the caller's allocator is never called.
 * Each Frame becomes a D3DXFRAME from the caller's CreateFrame (the file's name, or null
 * for an unnamed frame), its FrameTransformMatrix its TransformationMatrix, its child
 * frames linked in file order through pFrameFirstChild and pFrameSibling.  Each Mesh is
 * read and built by the mesh loader (mesh_load_xof.cpp) and handed to CreateMeshContainer
 * with its materials (none for a mesh without a material list), one empty effect instance
 * per material, its adjacency and, for a skinned mesh, its ID3DXSkinInfo (bones named after
 * the file's SkinWeights frames); the allocator keeps its own references, the loader drops
 * its own afterwards.  A frame's meshes are chained in file order.  A file whose top level
 * is exactly one Frame has that frame as the root; otherwise an unnamed root with an
 * identity matrix holds every top-level frame as a child and every top-level mesh as a
 * container.  Meshes without faces are left out (the reader says so).  When building fails
 * half way, everything made so far goes back through D3DXFrameDestroy, so the caller's
 * callbacks stay balanced.
 *
 * Not done: no animation controller is built (*ppAnimController is set to null, with one
 * line when the file holds animation sets), and the user data loader is never called.
 */
#include "mesh_private.h"

#include <d3dx9anim.h>
#include <rmxfguid.h>
#include <rmxftmpl.h>
#include <tavrok/platform.h>

#include <cstring>

namespace tavrok::dxfile {
extern const unsigned char kExtensionTemplates[];
extern const size_t kExtensionTemplatesSize;
}  // namespace tavrok::dxfile

namespace tavrok::d3dx9mesh {
namespace {

std::string ObjectName(IDirectXFileObject *object)
{
    DWORD len = 0;
    if (FAILED(object->GetName(nullptr, &len)) || len == 0)
        return {};
    std::string name(len, '\0');
    if (FAILED(object->GetName(&name[0], &len)))
        return {};
    name.resize(strnlen(name.c_str(), name.size()));
    return name;
}

void ReleaseAll(std::vector<IDirectXFileData *> &objects)
{
    for (IDirectXFileData *o : objects)
        o->Release();
    objects.clear();
}

class HierarchyBuilder {
public:
    HierarchyBuilder(std::string file, DWORD options, IDirect3DDevice9 *device, ID3DXAllocateHierarchy *alloc)
        : file_(std::move(file)), options_(options), device_(device), alloc_(alloc)
    {
    }

    // Makes a frame for `name` with no matrix, meshes or relatives yet and puts it in *slot.
    HRESULT NewFrame(const std::string &name, D3DXFRAME **slot)
    {
        D3DXFRAME *frame = nullptr;
        HRESULT hr = alloc_->CreateFrame(name.empty() ? nullptr : name.c_str(), &frame);
        if (SUCCEEDED(hr) && !frame)
            hr = E_OUTOFMEMORY;
        if (FAILED(hr)) {
            Diagnostic(kLib, file_, name, "D3DXLoadMeshHierarchyFromX: CreateFrame failed");
            return hr;
        }
        D3DXMatrixIdentity(&frame->TransformationMatrix);
        frame->pMeshContainer = nullptr;
        frame->pFrameSibling = nullptr;
        frame->pFrameFirstChild = nullptr;
        *slot = frame;
        return D3D_OK;
    }

    // A Frame object and its subtree, linked into *slot as soon as it exists.
    HRESULT BuildFrame(IDirectXFileData *object, D3DXFRAME **slot)
    {
        HRESULT hr = NewFrame(ObjectName(object), slot);
        if (FAILED(hr))
            return hr;
        D3DXFRAME *frame = *slot;
        std::vector<IDirectXFileData *> children = ChildrenOf(object);
        D3DXFRAME **nextChild = &frame->pFrameFirstChild;
        D3DXMESHCONTAINER **nextMesh = &frame->pMeshContainer;
        for (IDirectXFileData *c : children) {
            if (FAILED(hr))
                break;
            if (IsType(c, TID_D3DRMFrameTransformMatrix)) {
                DWORD size = 0;
                void *data = nullptr;
                if (SUCCEEDED(c->GetData(nullptr, &size, &data)) && size >= sizeof(float) * 16)
                    memcpy(&frame->TransformationMatrix._11, data, sizeof(float) * 16);
            } else if (IsType(c, TID_D3DRMFrame)) {
                hr = BuildFrame(c, nextChild);
                while (*nextChild)
                    nextChild = &(*nextChild)->pFrameSibling;
            } else if (IsType(c, TID_D3DRMMesh)) {
                hr = BuildMesh(c, nextMesh);
                while (*nextMesh)
                    nextMesh = &(*nextMesh)->pNextMeshContainer;
            }
        }
        ReleaseAll(children);
        return hr;
    }

    // A Mesh object as a mesh container in *slot (left empty for a mesh without faces).
    HRESULT BuildMesh(IDirectXFileData *object, D3DXMESHCONTAINER **slot)
    {
        MeshData data;
        HRESULT hr = ReadMeshObject(object, &data, file_);
        if (hr == D3DXERR_LOADEDMESHASNODATA)
            return D3D_OK;  // left out; the reader has said so
        if (FAILED(hr))
            return hr;
        LoadedMesh loaded;
        if (FAILED(hr = BuildLoadedMesh(data, options_, device_, true, true, true, &loaded)))
            return hr;
        ID3DXSkinInfo *skin = nullptr;
        if ((data.hasSkin || !data.bones.empty()) && FAILED(hr = CreateSkinInfoFromData(data, loaded.mesh, &skin))) {
            loaded.Release();
            return hr;
        }
        D3DXMESHDATA meshData;
        meshData.Type = D3DXMESHTYPE_MESH;
        meshData.pMesh = loaded.mesh;
        const D3DXMATERIAL *materials =
            loaded.materials ? static_cast<const D3DXMATERIAL *>(loaded.materials->GetBufferPointer()) : nullptr;
        const DWORD materialCount = materials ? loaded.materialCount : 0;
        D3DXMESHCONTAINER *container = nullptr;
        hr = alloc_->CreateMeshContainer(
            data.name.empty() ? nullptr : data.name.c_str(), &meshData, materials,
            static_cast<const D3DXEFFECTINSTANCE *>(loaded.effects->GetBufferPointer()), materialCount,
            static_cast<const DWORD *>(loaded.adjacency->GetBufferPointer()), skin, &container);
        if (skin)
            skin->Release();
        loaded.Release();
        if (FAILED(hr)) {
            Diagnostic(kLib, file_, data.name, "D3DXLoadMeshHierarchyFromX: CreateMeshContainer failed");
            return hr;
        }
        if (container) {
            container->pNextMeshContainer = nullptr;
            *slot = container;
        }
        return D3D_OK;
    }

    // The tree of the file's top-level objects, in *root (null when building failed).
    HRESULT Build(const std::vector<IDirectXFileData *> &top, D3DXFRAME **root)
    {
        *root = nullptr;
        std::vector<IDirectXFileData *> parts;
        for (IDirectXFileData *o : top)
            if (IsType(o, TID_D3DRMFrame) || IsType(o, TID_D3DRMMesh))
                parts.push_back(o);
        HRESULT hr = D3D_OK;
        if (parts.size() == 1 && IsType(parts[0], TID_D3DRMFrame)) {
            hr = BuildFrame(parts[0], root);
        } else if (!parts.empty()) {
            hr = NewFrame("", root);
            D3DXFRAME **nextChild = root && *root ? &(*root)->pFrameFirstChild : nullptr;
            D3DXMESHCONTAINER **nextMesh = root && *root ? &(*root)->pMeshContainer : nullptr;
            for (IDirectXFileData *o : parts) {
                if (FAILED(hr))
                    break;
                if (IsType(o, TID_D3DRMFrame)) {
                    hr = BuildFrame(o, nextChild);
                    while (*nextChild)
                        nextChild = &(*nextChild)->pFrameSibling;
                } else {
                    hr = BuildMesh(o, nextMesh);
                    while (*nextMesh)
                        nextMesh = &(*nextMesh)->pNextMeshContainer;
                }
            }
        }
        if (SUCCEEDED(hr) && !*root) {
            FileDiagnostic(kLib, file_, "", "D3DXLoadMeshHierarchyFromX: the file holds no frame and no mesh");
            hr = D3DXERR_LOADEDMESHASNODATA;
        }
        if (FAILED(hr) && *root) {
            D3DXFrameDestroy(*root, alloc_);
            *root = nullptr;
        }
        return hr;
    }

private:
    std::string file_;
    DWORD options_;
    IDirect3DDevice9 *device_;
    ID3DXAllocateHierarchy *alloc_;
};

// Both loaders: `source` as CreateEnumObject takes it with `loadOptions`; `file` names the
// source in diagnostics.
HRESULT LoadHierarchy(void *source, DWORD loadOptions, const std::string &file, DWORD options,
                      IDirect3DDevice9 *device, ID3DXAllocateHierarchy *alloc, D3DXFRAME **rootOut,
                      ID3DXAnimationController **controllerOut)
{
    if (controllerOut)
        *controllerOut = nullptr;
    if (rootOut)
        *rootOut = nullptr;
    if (!device || !alloc || !rootOut) {
        Diagnostic(kLib, file, "", "D3DXLoadMeshHierarchyFromX: a device, an allocator and a frame pointer are needed");
        return D3DERR_INVALIDCALL;
    }
    IDirectXFile *xfile = nullptr;
    IDirectXFileEnumObject *objects = nullptr;
    HRESULT hr = DirectXFileCreate(&xfile);
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = xfile->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES)) ||
        FAILED(hr = xfile->RegisterTemplates(const_cast<unsigned char *>(tavrok::dxfile::kExtensionTemplates),
                                             DWORD(tavrok::dxfile::kExtensionTemplatesSize))) ||
        FAILED(hr = xfile->CreateEnumObject(source, loadOptions, &objects))) {
        xfile->Release();
        return hr;
    }
    std::vector<IDirectXFileData *> top;
    for (;;) {
        IDirectXFileData *object = nullptr;
        HRESULT next = objects->GetNextDataObject(&object);
        if (next == DXFILEERR_NOMOREOBJECTS)
            break;
        if (FAILED(next) || !object) {
            hr = FAILED(next) ? next : E_FAIL;  // the reader has said why
            break;
        }
        top.push_back(object);
    }
    objects->Release();
    xfile->Release();
    if (SUCCEEDED(hr)) {
        hr = HierarchyBuilder(file, options, device, alloc).Build(top, rootOut);
        if (SUCCEEDED(hr) && controllerOut)
            for (IDirectXFileData *o : top)
                if (IsType(o, TID_D3DRMAnimationSet)) {
                    Unsupported(kLib, "D3DXLoadMeshHierarchyFromX: animation sets (no animation controller is built)");
                    break;
                }
    }
    ReleaseAll(top);
    return hr;
}

}  // namespace
}  // namespace tavrok::d3dx9mesh

using namespace tavrok::d3dx9mesh;

HRESULT WINAPI D3DXLoadMeshHierarchyFromXA(LPCSTR Filename, DWORD MeshOptions, LPDIRECT3DDEVICE9 pDevice,
                                           LPD3DXALLOCATEHIERARCHY pAlloc, LPD3DXLOADUSERDATA,
                                           LPD3DXFRAME *ppFrameHierarchy,
                                           LPD3DXANIMATIONCONTROLLER *ppAnimController)
{
    if (!Filename) {
        if (ppFrameHierarchy)
            *ppFrameHierarchy = nullptr;
        if (ppAnimController)
            *ppAnimController = nullptr;
        tavrok::Diagnostic(kLib, "", "", "D3DXLoadMeshHierarchyFromX: no file name");
        return D3DERR_INVALIDCALL;
    }
    return LoadHierarchy(const_cast<char *>(Filename), DXFILELOAD_FROMFILE, Filename, MeshOptions, pDevice, pAlloc,
                         ppFrameHierarchy, ppAnimController);
}

HRESULT WINAPI D3DXLoadMeshHierarchyFromXInMemory(LPCVOID Memory, DWORD SizeOfMemory, DWORD MeshOptions,
                                                  LPDIRECT3DDEVICE9 pDevice, LPD3DXALLOCATEHIERARCHY pAlloc,
                                                  LPD3DXLOADUSERDATA, LPD3DXFRAME *ppFrameHierarchy,
                                                  LPD3DXANIMATIONCONTROLLER *ppAnimController)
{
    if (!Memory || SizeOfMemory == 0) {
        if (ppFrameHierarchy)
            *ppFrameHierarchy = nullptr;
        if (ppAnimController)
            *ppAnimController = nullptr;
        tavrok::Diagnostic(kLib, "", "", "D3DXLoadMeshHierarchyFromXInMemory: no memory to read");
        return D3DERR_INVALIDCALL;
    }
    DXFILELOADMEMORY memory;
    memory.lpMemory = const_cast<void *>(Memory);
    memory.dSize = SizeOfMemory;
    return LoadHierarchy(&memory, DXFILELOAD_FROMMEMORY, "(memory)", MeshOptions, pDevice, pAlloc, ppFrameHierarchy,
                         ppAnimController);
}

HRESULT WINAPI D3DXFrameDestroy(LPD3DXFRAME pFrameRoot, LPD3DXALLOCATEHIERARCHY pAlloc)
{
    if (!pFrameRoot || !pAlloc)
        return D3DERR_INVALIDCALL;
    // Siblings in a loop, children by recursion: a long sibling list costs no stack.
    for (D3DXFRAME *frame = pFrameRoot; frame;) {
        D3DXFRAME *sibling = frame->pFrameSibling;
        if (frame->pFrameFirstChild)
            D3DXFrameDestroy(frame->pFrameFirstChild, pAlloc);
        for (D3DXMESHCONTAINER *mc = frame->pMeshContainer; mc;) {
            D3DXMESHCONTAINER *next = mc->pNextMeshContainer;
            pAlloc->DestroyMeshContainer(mc);
            mc = next;
        }
        pAlloc->DestroyFrame(frame);
        frame = sibling;
    }
    return D3D_OK;
}

HRESULT WINAPI D3DXFrameAppendChild(LPD3DXFRAME pFrameParent, CONST D3DXFRAME *pFrameChild)
{
    if (!pFrameParent || !pFrameChild) {
        tavrok::Diagnostic(kLib, "", "", "D3DXFrameAppendChild: a parent and a child are needed");
        return D3DERR_INVALIDCALL;
    }
    D3DXFRAME **slot = &pFrameParent->pFrameFirstChild;
    while (*slot)
        slot = &(*slot)->pFrameSibling;
    *slot = const_cast<D3DXFRAME *>(pFrameChild);
    return D3D_OK;
}

LPD3DXFRAME WINAPI D3DXFrameFind(CONST D3DXFRAME *pFrameRoot, LPCSTR Name)
{
    for (const D3DXFRAME *frame = pFrameRoot; frame; frame = frame->pFrameSibling) {
        if (frame->Name && Name && strcmp(frame->Name, Name) == 0)
            return const_cast<D3DXFRAME *>(frame);
        if (!frame->Name && !Name)
            return const_cast<D3DXFRAME *>(frame);
        if (D3DXFRAME *found = D3DXFrameFind(frame->pFrameFirstChild, Name))
            return found;
    }
    return nullptr;
}

UINT WINAPI D3DXFrameNumNamedMatrices(CONST D3DXFRAME *pFrameRoot)
{
    UINT count = 0;
    for (const D3DXFRAME *frame = pFrameRoot; frame; frame = frame->pFrameSibling)
        count += (frame->Name ? 1 : 0) + D3DXFrameNumNamedMatrices(frame->pFrameFirstChild);
    return count;
}
