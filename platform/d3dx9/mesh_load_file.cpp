/*
 * mesh_load_file.cpp - D3DXLoadMeshFromXA and D3DXLoadMeshFromXInMemory: every mesh of a .x
 * file (or of the same bytes in memory) merged into one mesh.
 *
 * Opens the file through the DirectX File interfaces with the retained-mode and the
 * extension templates registered, so that files using the skinning templates without
 * declaring them still read (the reader resolves the Windows path); a file the reader
 * rejects fails with the reader's own code and line.  It walks the top-level objects: a Mesh
 * at top level is taken as it is, a Mesh inside Frames (inline or through a reference) is
 * transformed by the product of the FrameTransformMatrix of its frame and of every
 * enclosing frame (positions as points, normals by the inverse transpose and
 * renormalised).  The parts are concatenated in the order met: vertices, faces, and
 * materials, whose attribute ids are shifted to follow the earlier parts' materials; a part
 * without materials gets one white material when another part has some, and a file where no
 * part has any gets one mid-grey material for the whole mesh.  The merged vertex
 * format holds every component any part has; parts lacking one get zero (white for the
 * diffuse colour).  Meshes without faces are left out (one line each).  Skin weights and
 * animation data are ignored.
 */
#include "mesh_private.h"

#include <rmxfguid.h>
#include <rmxftmpl.h>
#include <tavrok/platform.h>

#include <algorithm>
#include <cstring>

namespace tavrok::dxfile {
// The extension template block of the DirectX File library (skinning, vertex data,
// animation timing, effect instances).
extern const unsigned char kExtensionTemplates[];
extern const size_t kExtensionTemplatesSize;
}  // namespace tavrok::dxfile

namespace tavrok::d3dx9mesh {

bool IsType(IDirectXFileData *object, const GUID &type)
{
    const GUID *t = nullptr;
    return SUCCEEDED(object->GetType(&t)) && t && IsEqualGUID(*t, type);
}

// The data children of an object, references resolved, each holding one reference.
std::vector<IDirectXFileData *> ChildrenOf(IDirectXFileData *object, bool *unresolved)
{
    std::vector<IDirectXFileData *> out;
    IDirectXFileObject *child = nullptr;
    while (SUCCEEDED(object->GetNextObject(&child)) && child) {
        IDirectXFileData *data = nullptr;
        IDirectXFileDataReference *ref = nullptr;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, reinterpret_cast<void **>(&ref)))) {
            if (FAILED(ref->Resolve(&data))) {
                data = nullptr;
                if (unresolved)
                    *unresolved = true;
            }
            ref->Release();
        } else if (FAILED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void **>(&data)))) {
            data = nullptr;
        }
        child->Release();
        child = nullptr;
        if (data)
            out.push_back(data);
    }
    return out;
}

namespace {

template <class T>
void SafeRelease(T *&p)
{
    if (p) {
        p->Release();
        p = nullptr;
    }
}

class FileWalker {
public:
    explicit FileWalker(std::string file) : file_(std::move(file)) {}
    std::vector<MeshData> parts;
    int emptyMeshes = 0;

    HRESULT Walk(IDirectXFileData *object, const D3DXMATRIX &parent)
    {
        if (IsType(object, TID_D3DRMMesh))
            return AddMesh(object, parent);
        if (!IsType(object, TID_D3DRMFrame))
            return D3D_OK;
        std::vector<IDirectXFileData *> children = ChildrenOf(object);
        D3DXMATRIX local;
        D3DXMatrixIdentity(&local);
        for (IDirectXFileData *c : children) {
            DWORD size = 0;
            void *data = nullptr;
            if (IsType(c, TID_D3DRMFrameTransformMatrix) && SUCCEEDED(c->GetData(nullptr, &size, &data)) &&
                size >= sizeof(float) * 16)
                memcpy(&local._11, data, sizeof(float) * 16);
        }
        D3DXMATRIX combined = local * parent;
        HRESULT hr = D3D_OK;
        for (IDirectXFileData *c : children) {
            if (SUCCEEDED(hr))
                hr = Walk(c, combined);
            c->Release();
        }
        return hr;
    }

private:
    HRESULT AddMesh(IDirectXFileData *object, const D3DXMATRIX &m)
    {
        MeshData part;
        HRESULT hr = ReadMeshObject(object, &part, file_);
        if (hr == D3DXERR_LOADEDMESHASNODATA) {
            emptyMeshes++;  // left out; the reader has said so
            return D3D_OK;
        }
        if (FAILED(hr))
            return hr;
        if (!D3DXMatrixIsIdentity(&m)) {
            D3DXMATRIX inverse, normalMatrix;
            if (!D3DXMatrixInverse(&inverse, nullptr, &m))
                D3DXMatrixIdentity(&inverse);
            D3DXMatrixTranspose(&normalMatrix, &inverse);
            for (D3DXVECTOR3 &p : part.positions)
                D3DXVec3TransformCoord(&p, &p, &m);
            for (D3DXVECTOR3 &n : part.normals) {
                D3DXVec3TransformNormal(&n, &n, &normalMatrix);
                D3DXVec3Normalize(&n, &n);
            }
        }
        parts.push_back(std::move(part));
        return D3D_OK;
    }

    std::string file_;
};

// The point size, specular colour and texture sets of either format, each set as wide as the
// wider of the two.
DWORD UnionOfExtras(DWORD a, DWORD b)
{
    const FvfLayout la = LayoutOfFvf(a), lb = LayoutOfFvf(b);
    const UINT sets = std::max(la.texCount, lb.texCount);
    DWORD out = ((a | b) & (D3DFVF_PSIZE | D3DFVF_SPECULAR)) | (sets << D3DFVF_TEXCOUNT_SHIFT);
    for (UINT i = 0; i < sets; i++) {
        const UINT bytes = std::max(i < la.texCount ? la.texBytes[i] : 0, i < lb.texCount ? lb.texBytes[i] : 0);
        const DWORD format = bytes == 4    ? D3DFVF_TEXTUREFORMAT1
                             : bytes == 12 ? D3DFVF_TEXTUREFORMAT3
                             : bytes == 16 ? D3DFVF_TEXTUREFORMAT4
                                           : D3DFVF_TEXTUREFORMAT2;
        out |= format << (16 + 2 * i);
    }
    return out;
}

// Concatenates the parts into one MeshData.
MeshData Merge(std::vector<MeshData> &parts)
{
    MeshData all;
    bool anyMaterials = false;
    for (const MeshData &p : parts) {
        all.fvf |= p.fvf & (D3DFVF_NORMAL | D3DFVF_DIFFUSE);
        all.extraFvf = UnionOfExtras(all.extraFvf, p.extraFvf);
        anyMaterials = anyMaterials || !p.materials.empty();
    }
    all.fvf |= all.extraFvf;
    const FvfLayout extra = LayoutOfFvf(all.extraFvf);
    if (!anyMaterials) {
        MeshMaterial grey{};
        grey.material.Diffuse = {0.5f, 0.5f, 0.5f, 1.0f};
        all.materials.push_back(grey);
    }
    for (MeshData &p : parts) {
        DWORD base = DWORD(all.positions.size());
        DWORD attributeBase = DWORD(all.materials.size());
        size_t n = p.positions.size();
        all.positions.insert(all.positions.end(), p.positions.begin(), p.positions.end());
        if (all.fvf & D3DFVF_NORMAL) {
            if (p.normals.empty())
                p.normals.assign(n, D3DXVECTOR3(0, 0, 0));
            all.normals.insert(all.normals.end(), p.normals.begin(), p.normals.end());
        }
        if (all.fvf & D3DFVF_DIFFUSE) {
            if (p.colors.empty())
                p.colors.assign(n, 0xFFFFFFFF);
            all.colors.insert(all.colors.end(), p.colors.begin(), p.colors.end());
        }
        if (all.extraFvf) {
            const FvfLayout own = LayoutOfFvf(p.extraFvf);
            all.extra.resize(all.extra.size() + n * extra.stride);
            BYTE *row = &all.extra[all.extra.size() - n * extra.stride];
            for (size_t v = 0; v < n; v++, row += extra.stride) {
                if (p.extra.empty())
                    memset(row, 0, extra.stride);
                else
                    ConvertVertex(own, &p.extra[v * own.stride], extra, row);
            }
        }
        for (DWORD r : p.pointReps)
            all.pointReps.push_back(base + r);
        for (DWORD i : p.indices)
            all.indices.push_back(base + i);
        if (anyMaterials && p.materials.empty()) {
            MeshMaterial white{};
            white.material.Diffuse = {1, 1, 1, 1};
            p.materials.push_back(white);
        }
        for (DWORD a : p.attributes)
            all.attributes.push_back(anyMaterials ? attributeBase + a : 0);
        all.materials.insert(all.materials.end(), p.materials.begin(), p.materials.end());
    }
    return all;
}

}  // namespace
}  // namespace tavrok::d3dx9mesh

using namespace tavrok::d3dx9mesh;

namespace {

// Loads the .x data `source` names (a file path or a DXFILELOADMEMORY, as `loadOptions`
// says); `name` is what diagnostics call it.
HRESULT LoadMeshFromSource(const char *caller, void *source, DXFILELOADOPTIONS loadOptions, const char *name,
                           DWORD Options, LPDIRECT3DDEVICE9 pD3D, LPD3DXBUFFER *ppAdjacency, LPD3DXBUFFER *ppMaterials,
                           LPD3DXBUFFER *ppEffectInstances, DWORD *pNumMaterials, LPD3DXMESH *ppMesh)
{
    for (LPD3DXBUFFER *b : {ppAdjacency, ppMaterials, ppEffectInstances})
        if (b)
            *b = nullptr;
    if (ppMesh)
        *ppMesh = nullptr;
    if (pNumMaterials)
        *pNumMaterials = 0;
    if (!source || !pD3D || !ppMesh) {
        tavrok::Diagnostic(kLib, "", "", std::string(caller) + ": no data to read, no device or no result pointer");
        return D3DERR_INVALIDCALL;
    }
    const char *pFilename = name;

    IDirectXFile *file = nullptr;
    IDirectXFileEnumObject *objects = nullptr;
    HRESULT hr = DirectXFileCreate(&file);
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES)) ||
        FAILED(hr = file->RegisterTemplates(const_cast<unsigned char *>(tavrok::dxfile::kExtensionTemplates),
                                            DWORD(tavrok::dxfile::kExtensionTemplatesSize))) ||
        FAILED(hr = file->CreateEnumObject(source, loadOptions, &objects))) {
        file->Release();
        return hr;
    }
    // The whole file is read before any mesh is: a file the reader rejects fails with the
    // reader's line alone, not with what its damage did to the meshes before it.
    std::vector<IDirectXFileData *> top;
    HRESULT walked = D3D_OK;
    for (;;) {
        IDirectXFileData *object = nullptr;
        HRESULT next = objects->GetNextDataObject(&object);
        if (next == DXFILEERR_NOMOREOBJECTS)
            break;
        if (FAILED(next) || !object) {
            walked = FAILED(next) ? next : E_FAIL;  // the reader has said why
            break;
        }
        top.push_back(object);
    }
    FileWalker walker(pFilename);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    for (IDirectXFileData *object : top) {
        if (SUCCEEDED(walked))
            walked = walker.Walk(object, identity);
        object->Release();
    }
    objects->Release();
    file->Release();
    if (FAILED(walked))
        return walked;
    if (walker.parts.empty()) {
        if (walker.emptyMeshes == 0)
            tavrok::FileDiagnostic(kLib, pFilename, "", std::string(caller) + ": the file holds no mesh");
        return D3DXERR_LOADEDMESHASNODATA;
    }

    MeshData merged = Merge(walker.parts);
    LoadedMesh loaded;
    if (FAILED(hr = BuildLoadedMesh(merged, Options, pD3D, ppAdjacency, ppMaterials, ppEffectInstances, &loaded)))
        return hr;
    loaded.HandOut(ppAdjacency, ppMaterials, ppEffectInstances, pNumMaterials, ppMesh);
    return D3D_OK;
}

}  // namespace

HRESULT WINAPI D3DXLoadMeshFromXA(LPCSTR pFilename, DWORD Options, LPDIRECT3DDEVICE9 pD3D,
                                  LPD3DXBUFFER *ppAdjacency, LPD3DXBUFFER *ppMaterials,
                                  LPD3DXBUFFER *ppEffectInstances, DWORD *pNumMaterials, LPD3DXMESH *ppMesh)
{
    return LoadMeshFromSource("D3DXLoadMeshFromX", const_cast<char *>(pFilename), DXFILELOAD_FROMFILE,
                              pFilename ? pFilename : "", Options, pD3D, ppAdjacency, ppMaterials, ppEffectInstances,
                              pNumMaterials, ppMesh);
}

HRESULT WINAPI D3DXLoadMeshFromXInMemory(LPCVOID Memory, DWORD SizeOfMemory, DWORD Options,
                                         LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXBUFFER *ppAdjacency,
                                         LPD3DXBUFFER *ppMaterials, LPD3DXBUFFER *ppEffectInstances,
                                         DWORD *pNumMaterials, LPD3DXMESH *ppMesh)
{
    DXFILELOADMEMORY memory;
    memory.lpMemory = const_cast<void *>(Memory);
    memory.dSize = SizeOfMemory;
    return LoadMeshFromSource("D3DXLoadMeshFromXInMemory", Memory && SizeOfMemory ? &memory : nullptr, DXFILELOAD_FROMMEMORY,
                              "(memory)", Options, pD3DDevice, ppAdjacency, ppMaterials, ppEffectInstances,
                              pNumMaterials, ppMesh);
}
