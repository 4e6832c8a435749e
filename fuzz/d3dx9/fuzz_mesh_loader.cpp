// libFuzzer target for the .x mesh loaders: any bytes, read as a .x file, every Mesh object
// (at top level or inside frames) loaded with D3DXLoadSkinMeshFromXof, and the whole file
// once more with D3DXLoadMeshFromXA, on a NULLREF device.  Besides the sanitizers' checks, it
// aborts when a loaded mesh breaks what a caller relies on: every index names a vertex,
// every attribute a material, adjacency names faces, skin influences name vertices.
#include <d3d9.h>
#include <d3dx9.h>
#include <dxfile.h>
#include <rmxfguid.h>
#include <rmxftmpl.h>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tavrok::dxfile {
extern const unsigned char kExtensionTemplates[];
extern const size_t kExtensionTemplatesSize;
}  // namespace tavrok::dxfile

#include "fuzz_device.h"

namespace {

void Require(bool ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "loaded mesh breaks its contract: %s\n", what);
        abort();
    }
}

void CheckMesh(ID3DXMesh *mesh, ID3DXBuffer *adjacency, DWORD materials, ID3DXSkinInfo *skin)
{
    const DWORD faces = mesh->GetNumFaces(), vertices = mesh->GetNumVertices();
    Require(faces > 0 && vertices > 0, "an empty mesh was handed out");
    void *indices = nullptr;
    Require(SUCCEEDED(mesh->LockIndexBuffer(D3DLOCK_READONLY, &indices)), "index buffer lock");
    const bool wide = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
    for (DWORD i = 0; i < faces * 3; ++i) {
        DWORD v = wide ? static_cast<DWORD *>(indices)[i] : static_cast<WORD *>(indices)[i];
        Require(v < vertices, "an index past the vertices");
    }
    mesh->UnlockIndexBuffer();
    DWORD *attributes = nullptr;
    Require(SUCCEEDED(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &attributes)), "attribute lock");
    for (DWORD f = 0; f < faces; ++f)
        Require(attributes[f] < (materials ? materials : 1), "an attribute past the materials");
    mesh->UnlockAttributeBuffer();
    if (adjacency) {
        Require(adjacency->GetBufferSize() == faces * 3 * sizeof(DWORD), "adjacency size");
        const DWORD *adj = static_cast<const DWORD *>(adjacency->GetBufferPointer());
        for (DWORD i = 0; i < faces * 3; ++i)
            Require(adj[i] == 0xFFFFFFFF || adj[i] < faces, "adjacency past the faces");
    }
    if (!skin)
        return;
    DWORD vs[4096];
    float ws[4096];
    for (DWORD b = 0; b < skin->GetNumBones(); ++b) {
        DWORD n = skin->GetNumBoneInfluences(b);
        if (n > 4096)
            continue;
        Require(SUCCEEDED(skin->GetBoneInfluence(b, vs, ws)), "bone influences");
        for (DWORD i = 0; i < n; ++i)
            Require(vs[i] < vertices && std::isfinite(ws[i]), "an influence past the vertices");
    }
}

void Release(IUnknown *p)
{
    if (p)
        p->Release();
}

// Loads each Mesh object met in a frame tree; references are not followed.
void LoadMeshes(IDirectXFileData *data, int depth)
{
    const GUID *type = nullptr;
    if (FAILED(data->GetType(&type)) || !type || depth > 64)
        return;
    if (*type == TID_D3DRMMesh) {
        ID3DXBuffer *adjacency = nullptr, *materials = nullptr, *effects = nullptr;
        ID3DXSkinInfo *skin = nullptr;
        ID3DXMesh *mesh = nullptr;
        DWORD count = 0;
        if (SUCCEEDED(D3DXLoadSkinMeshFromXof(data, D3DXMESH_SYSTEMMEM, FuzzDevice(), &adjacency, &materials,
                                              &effects, &count, &skin, &mesh)))
            CheckMesh(mesh, adjacency, count, skin);
        for (IUnknown *p : {(IUnknown *)adjacency, (IUnknown *)materials, (IUnknown *)effects, (IUnknown *)skin,
                            (IUnknown *)mesh})
            Release(p);
        return;
    }
    IDirectXFileObject *child = nullptr;
    while (SUCCEEDED(data->GetNextObject(&child))) {
        IDirectXFileData *childData = nullptr;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, (void **)&childData))) {
            LoadMeshes(childData, depth + 1);
            childData->Release();
        }
        child->Release();
    }
}

// D3DXLoadMeshFromXA reads a file: the input goes to a scratch file of this process.
const std::string &ScratchFile()
{
    static const std::string path = "/tmp/fuzz_mesh_loader_" + std::to_string(getpid()) + ".x";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static IDirectXFile *file = [] {
        IDirectXFile *f = nullptr;
        if (FAILED(DirectXFileCreate(&f)) || FAILED(f->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES)) ||
            FAILED(f->RegisterTemplates(const_cast<unsigned char *>(tavrok::dxfile::kExtensionTemplates),
                                        DWORD(tavrok::dxfile::kExtensionTemplatesSize))))
            abort();
        return f;
    }();
    std::string copy(reinterpret_cast<const char *>(data), size);  // exact size for ASan
    DXFILELOADMEMORY memory{copy.data(), DWORD(copy.size())};
    IDirectXFileEnumObject *objects = nullptr;
    if (SUCCEEDED(file->CreateEnumObject(&memory, DXFILELOAD_FROMMEMORY, &objects))) {
        IDirectXFileData *top = nullptr;
        while (SUCCEEDED(objects->GetNextDataObject(&top)) && top) {
            LoadMeshes(top, 0);
            top->Release();
            top = nullptr;
        }
        objects->Release();
    }

    FILE *out = fopen(ScratchFile().c_str(), "wb");
    if (!out)
        abort();
    fwrite(data, 1, size, out);
    fclose(out);
    ID3DXBuffer *adjacency = nullptr, *materials = nullptr;
    ID3DXMesh *mesh = nullptr;
    DWORD count = 0;
    if (SUCCEEDED(D3DXLoadMeshFromXA(ScratchFile().c_str(), D3DXMESH_SYSTEMMEM, FuzzDevice(), &adjacency, &materials,
                                     nullptr, &count, &mesh)))
        CheckMesh(mesh, adjacency, count, nullptr);
    for (IUnknown *p : {(IUnknown *)adjacency, (IUnknown *)materials, (IUnknown *)mesh})
        Release(p);
    return 0;
}
