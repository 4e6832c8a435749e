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
 * When the caller asks for a controller and the file holds AnimationSet objects, each set
 * becomes a keyframed animation set (looping, in the file's AnimTicksPerSecond, 4800 when
 * the file gives none) registered in file order, with one animation per Animation, named
 * after the frame it refers to; rotation keys (type 0, written w, x, y, z), scale keys (1)
 * and position keys (2) are taken as they are, matrix keys (3, and 4 as exporters write
 * them) are split into scale, rotation and translation at each key's time.  The controller
 * has every named frame's TransformationMatrix as an output, two tracks, room for 30
 * events, and the first set on track 0.  A file without animation sets gives no
 * controller.  A key block with a wrong number of values, an unknown key type, or an
 * Animation that refers to no named frame fails the load with D3DXERR_INVALIDDATA and one
 * line.  D3DXFrameCalculateBoundingSphere is here too.
 *
 * Not done: the user data loader is never called.
 */
#include "mesh_private.h"

#include <d3dx9anim.h>
#include <rmxfguid.h>
#include <rmxftmpl.h>
#include <tavrok/platform.h>

#include <algorithm>
#include <cmath>
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

// The keys of one Animation, gathered from its AnimationKey blocks.
struct AnimationKeys {
    std::string frame;
    std::vector<D3DXKEY_VECTOR3> scale, translation;
    std::vector<D3DXKEY_QUATERNION> rotation;
    bool hasScale = false, hasRotation = false, hasTranslation = false;
};

// How many values a key of this type carries; 0 for a type that is not a key type.
DWORD ValuesOfKeyType(DWORD type)
{
    switch (type) {
    case 0: return 4;   // rotation, w x y z
    case 1: return 3;   // scale
    case 2: return 3;   // position
    case 3: return 16;  // matrix, as the template's description numbers it
    case 4: return 16;  // matrix, as exporters write it
    default: return 0;
    }
}

// One AnimationKey block into `keys`; D3DXERR_INVALIDDATA with one line when it is damaged.
HRESULT ReadKeyBlock(IDirectXFileData *object, const std::string &file, const std::string &where,
                     AnimationKeys *keys)
{
    DWORD size = 0;
    void *data = nullptr;
    if (FAILED(object->GetData(nullptr, &size, &data)) || !data || size < 8) {
        FileDiagnostic(kLib, file, where, "D3DXLoadMeshHierarchyFromX: an AnimationKey without its type and count");
        return D3DXERR_INVALIDDATA;
    }
    const DWORD *words = static_cast<const DWORD *>(data);
    const size_t total = size / sizeof(DWORD);
    const DWORD type = words[0], count = words[1];
    const DWORD values = ValuesOfKeyType(type);
    if (values == 0) {
        FileDiagnostic(kLib, file, where,
                       "D3DXLoadMeshHierarchyFromX: AnimationKey type " + std::to_string(type) +
                           " is none of 0 (rotation), 1 (scale), 2 (position), 3 or 4 (matrix)");
        return D3DXERR_INVALIDDATA;
    }
    size_t at = 2;
    for (DWORD k = 0; k < count; ++k) {
        if (at + 2 > total || words[at + 1] != values || at + 2 + values > total) {
            FileDiagnostic(kLib, file, where,
                           "D3DXLoadMeshHierarchyFromX: key " + std::to_string(k) + " of an AnimationKey of type " +
                               std::to_string(type) + " has " +
                               (at + 2 > total ? std::string("no values") : std::to_string(words[at + 1]) + " values") +
                               " where " + std::to_string(values) + " belong");
            return D3DXERR_INVALIDDATA;
        }
        const float time = float(words[at]);
        float v[16];
        memcpy(v, words + at + 2, values * sizeof(float));
        at += 2 + values;
        switch (type) {
        case 0:
            keys->rotation.push_back({time, D3DXQUATERNION(v[1], v[2], v[3], v[0])});
            break;
        case 1:
            keys->scale.push_back({time, D3DXVECTOR3(v[0], v[1], v[2])});
            break;
        case 2:
            keys->translation.push_back({time, D3DXVECTOR3(v[0], v[1], v[2])});
            break;
        default: {
            D3DXMATRIX m(v);
            D3DXVECTOR3 scale, translation;
            D3DXQUATERNION rotation;
            if (FAILED(D3DXMatrixDecompose(&scale, &rotation, &translation, &m))) {
                FileDiagnostic(kLib, file, where,
                               "D3DXLoadMeshHierarchyFromX: matrix key " + std::to_string(k) +
                                   " is not a scale, rotation and translation");
                return D3DXERR_INVALIDDATA;
            }
            keys->scale.push_back({time, scale});
            keys->rotation.push_back({time, rotation});
            keys->translation.push_back({time, translation});
            break;
        }
        }
    }
    if (type == 0 || type >= 3)
        keys->hasRotation = true;
    if (type == 1 || type >= 3)
        keys->hasScale = true;
    if (type == 2 || type >= 3)
        keys->hasTranslation = true;
    return D3D_OK;
}

// One AnimationSet as a keyframed set in *out.
HRESULT BuildAnimationSet(IDirectXFileData *object, double ticksPerSecond, const std::string &file,
                          ID3DXKeyframedAnimationSet **out)
{
    *out = nullptr;
    const std::string setName = ObjectName(object);
    std::vector<AnimationKeys> animations;
    std::vector<IDirectXFileData *> children = ChildrenOf(object);
    HRESULT hr = D3D_OK;
    for (IDirectXFileData *c : children) {
        if (FAILED(hr) || !IsType(c, TID_D3DRMAnimation))
            continue;
        const std::string animationName = ObjectName(c);
        const std::string where = setName + (animationName.empty() ? "" : "/" + animationName);
        AnimationKeys keys;
        bool unresolved = false;
        std::vector<IDirectXFileData *> parts = ChildrenOf(c, &unresolved);
        if (unresolved)
            hr = D3DXERR_INVALIDDATA;  // a reference to a frame the file lacks: the reader has said so
        for (IDirectXFileData *p : parts) {
            if (FAILED(hr))
                break;
            if (IsType(p, TID_D3DRMFrame)) {
                if (keys.frame.empty())
                    keys.frame = ObjectName(p);
            } else if (IsType(p, TID_D3DRMAnimationKey)) {
                // Keys of a kind already read replace the earlier ones, as a later block
                // overrides an earlier one.
                AnimationKeys block;
                hr = ReadKeyBlock(p, file, where, &block);
                if (block.hasScale)
                    keys.scale = std::move(block.scale), keys.hasScale = true;
                if (block.hasRotation)
                    keys.rotation = std::move(block.rotation), keys.hasRotation = true;
                if (block.hasTranslation)
                    keys.translation = std::move(block.translation), keys.hasTranslation = true;
            }
        }
        ReleaseAll(parts);
        if (SUCCEEDED(hr) && keys.frame.empty()) {
            FileDiagnostic(kLib, file, where, "D3DXLoadMeshHierarchyFromX: an Animation that refers to no named frame");
            hr = D3DXERR_INVALIDDATA;
        }
        if (SUCCEEDED(hr))
            animations.push_back(std::move(keys));
    }
    ReleaseAll(children);
    if (FAILED(hr))
        return hr;
    ID3DXKeyframedAnimationSet *set = nullptr;
    hr = D3DXCreateKeyframedAnimationSet(setName.c_str(), ticksPerSecond, D3DXPLAY_LOOP, UINT(animations.size()), 0,
                                         nullptr, &set);
    if (FAILED(hr))
        return hr;
    for (const AnimationKeys &a : animations) {
        hr = set->RegisterAnimationSRTKeys(a.frame.c_str(), UINT(a.scale.size()), UINT(a.rotation.size()),
                                           UINT(a.translation.size()), a.scale.data(), a.rotation.data(),
                                           a.translation.data(), nullptr);
        if (FAILED(hr)) {
            set->Release();
            return hr;
        }
    }
    *out = set;
    return D3D_OK;
}

// The controller of the file's animation sets, in *out (none when the file has no sets).
HRESULT BuildController(const std::vector<IDirectXFileData *> &top, D3DXFRAME *root, const std::string &file,
                        ID3DXAnimationController **out)
{
    *out = nullptr;
    double ticksPerSecond = 4800.0;
    std::vector<IDirectXFileData *> setObjects;
    for (IDirectXFileData *o : top) {
        if (IsType(o, TID_D3DRMAnimationSet)) {
            setObjects.push_back(o);
        } else if (IsType(o, DXFILEOBJ_AnimTicksPerSecond)) {
            DWORD size = 0;
            void *data = nullptr;
            if (SUCCEEDED(o->GetData(nullptr, &size, &data)) && data && size >= sizeof(DWORD)) {
                DWORD ticks = *static_cast<const DWORD *>(data);
                if (ticks > 0)
                    ticksPerSecond = double(ticks);
                else
                    FileDiagnostic(kLib, file, "", "D3DXLoadMeshHierarchyFromX: AnimTicksPerSecond 0 ignored (4800 used)");
            }
        }
    }
    if (setObjects.empty())
        return D3D_OK;
    std::vector<ID3DXKeyframedAnimationSet *> sets;
    HRESULT hr = D3D_OK;
    for (IDirectXFileData *o : setObjects) {
        ID3DXKeyframedAnimationSet *set = nullptr;
        if (FAILED(hr = BuildAnimationSet(o, ticksPerSecond, file, &set)))
            break;
        sets.push_back(set);
    }
    ID3DXAnimationController *controller = nullptr;
    if (SUCCEEDED(hr))
        hr = D3DXCreateAnimationController(std::max(1u, D3DXFrameNumNamedMatrices(root)), UINT(sets.size()), 2, 30,
                                           &controller);
    if (SUCCEEDED(hr))
        hr = D3DXFrameRegisterNamedMatrices(root, controller);
    for (ID3DXKeyframedAnimationSet *set : sets) {
        if (SUCCEEDED(hr))
            hr = controller->RegisterAnimationSet(set);
        set->Release();
    }
    if (SUCCEEDED(hr)) {
        ID3DXAnimationSet *first = nullptr;
        if (SUCCEEDED(hr = controller->GetAnimationSet(0, &first))) {
            hr = controller->SetTrackAnimationSet(0, first);
            first->Release();
        }
    }
    if (FAILED(hr)) {
        if (controller)
            controller->Release();
        return hr;
    }
    *out = controller;
    return D3D_OK;
}

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
        if (SUCCEEDED(hr) && controllerOut) {
            hr = BuildController(top, *rootOut, file, controllerOut);
            if (FAILED(hr)) {
                D3DXFrameDestroy(*rootOut, alloc);
                *rootOut = nullptr;
            }
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

namespace {

struct Sphere {
    D3DXVECTOR3 center{0.0f, 0.0f, 0.0f};
    float radius = -1.0f;  // none yet
};

// The smallest sphere around both.
void Enclose(Sphere *all, const D3DXVECTOR3 &center, float radius)
{
    if (all->radius < 0.0f) {
        all->center = center;
        all->radius = radius;
        return;
    }
    D3DXVECTOR3 d = center - all->center;
    const float distance = D3DXVec3Length(&d);
    if (distance + radius <= all->radius)
        return;  // inside already
    if (distance + all->radius <= radius) {
        all->center = center;
        all->radius = radius;
        return;
    }
    const float grown = (distance + all->radius + radius) * 0.5f;
    all->center += d * ((grown - all->radius) / distance);
    all->radius = grown;
}

HRESULT SphereOfFrames(const D3DXFRAME *frame, const D3DXMATRIX &parent, Sphere *all)
{
    for (; frame; frame = frame->pFrameSibling) {
        D3DXMATRIX world;
        D3DXMatrixMultiply(&world, &frame->TransformationMatrix, &parent);
        // The longest of the three axes: how much the frames stretch a radius.
        float stretch = 0.0f;
        for (int r = 0; r < 3; ++r)
            stretch = std::max(stretch, sqrtf(world.m[r][0] * world.m[r][0] + world.m[r][1] * world.m[r][1] +
                                              world.m[r][2] * world.m[r][2]));
        for (const D3DXMESHCONTAINER *mc = frame->pMeshContainer; mc; mc = mc->pNextMeshContainer) {
            ID3DXMesh *mesh = mc->MeshData.Type == D3DXMESHTYPE_MESH ? mc->MeshData.pMesh : nullptr;
            if (!mesh || mesh->GetNumVertices() == 0)
                continue;
            void *vertices = nullptr;
            HRESULT hr = mesh->LockVertexBuffer(D3DLOCK_READONLY, &vertices);
            if (FAILED(hr))
                return hr;
            D3DXVECTOR3 center;
            float radius = 0.0f;
            hr = D3DXComputeBoundingSphere(static_cast<const D3DXVECTOR3 *>(vertices), mesh->GetNumVertices(),
                                           mesh->GetNumBytesPerVertex(), &center, &radius);
            mesh->UnlockVertexBuffer();
            if (FAILED(hr))
                return hr;
            D3DXVECTOR3 placed;
            D3DXVec3TransformCoord(&placed, &center, &world);
            Enclose(all, placed, radius * stretch);
        }
        HRESULT hr = SphereOfFrames(frame->pFrameFirstChild, world, all);
        if (FAILED(hr))
            return hr;
    }
    return D3D_OK;
}

}  // namespace

HRESULT WINAPI D3DXFrameCalculateBoundingSphere(CONST D3DXFRAME *pFrameRoot, D3DXVECTOR3 *pObjectCenter,
                                                FLOAT *pObjectRadius)
{
    if (!pFrameRoot || !pObjectCenter || !pObjectRadius) {
        tavrok::Diagnostic(kLib, "", "", "D3DXFrameCalculateBoundingSphere: a frame, a centre and a radius are needed");
        return D3DERR_INVALIDCALL;
    }
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    Sphere all;
    HRESULT hr = SphereOfFrames(pFrameRoot, identity, &all);
    if (FAILED(hr))
        return hr;
    *pObjectCenter = all.center;
    *pObjectRadius = std::max(all.radius, 0.0f);
    return D3D_OK;
}
