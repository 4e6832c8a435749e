/*
 * mesh_test_util.h - what the mesh, skinning and mesh-loading tests share: a NULLREF
 * device, .x files written into a private folder and the Mesh objects of such a file.
 */
#ifndef TAVROK_TESTS_D3DX9_MESH_TEST_UTIL_H
#define TAVROK_TESTS_D3DX9_MESH_TEST_UTIL_H

#include <d3dx9.h>
#include <dxfile.h>
#include <rmxfguid.h>
#include <rmxftmpl.h>

#include "support/null_device.h"
#include "support/stderr_capture.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <string>
#include <vector>

namespace meshtest {

// The skinning templates, as model files declare them.
inline const char *kSkinTemplates = R"(
template XSkinMeshHeader {
 <3CF169CE-FF7C-44ab-93C0-F78F62D172E2>
 WORD nMaxSkinWeightsPerVertex;
 WORD nMaxSkinWeightsPerFace;
 WORD nBones;
}
template SkinWeights {
 <6F0D123B-BAD2-4167-A0D0-80224F25FABB>
 STRING transformNodeName;
 DWORD nWeights;
 array DWORD vertexIndices[nWeights];
 array FLOAT weights[nWeights];
 Matrix4x4 matrixOffset;
}
)";

using testsupport::CountLines;
using testsupport::StderrOf;

class NullDeviceTest : public testsupport::NullDeviceTest {
protected:
    void SetUp() override
    {
        testsupport::NullDeviceTest::SetUp();
        char pattern[] = "/tmp/meshtestXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override
    {
        testsupport::NullDeviceTest::TearDown();
        if (!dir_.empty())
            system(("rm -rf '" + dir_ + "'").c_str());
    }

    // Writes a text .x file (header added) and returns its path.
    std::string WriteX(const std::string &name, const std::string &body, bool skinTemplates = false)
    {
        std::string path = dir_ + "/" + name;
        std::ofstream out(path, std::ios::binary);
        out << "xof 0302txt 0032\n" << (skinTemplates ? kSkinTemplates : "") << body;
        return path;
    }

    // Every Mesh data object at the top level of a file (each holds one reference); none
    // for a file the reader refuses, which fails the test unless it may be `damaged`.
    std::vector<IDirectXFileData *> TopLevelMeshes(const std::string &path, bool damaged = false)
    {
        std::vector<IDirectXFileData *> meshes;
        IDirectXFile *file = nullptr;
        EXPECT_EQ(DirectXFileCreate(&file), DXFILE_OK);
        if (!file)
            return meshes;
        EXPECT_EQ(file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), DXFILE_OK);
        IDirectXFileEnumObject *objects = nullptr;
        HRESULT opened = file->CreateEnumObject((void *)path.c_str(), DXFILELOAD_FROMFILE, &objects);
        if (!damaged) {
            EXPECT_EQ(opened, DXFILE_OK);
        }
        IDirectXFileData *object = nullptr;
        while (objects && SUCCEEDED(objects->GetNextDataObject(&object))) {
            const GUID *type = nullptr;
            if (SUCCEEDED(object->GetType(&type)) && *type == TID_D3DRMMesh)
                meshes.push_back(object);
            else
                object->Release();
        }
        if (objects)
            objects->Release();
        file->Release();
        return meshes;
    }

    // A Mesh object, or the first top-level one of a file, loaded with D3DXLoadSkinMeshFromXof;
    // or a whole file loaded with D3DXLoadMeshFromXA.  What the load wrote on stderr in `err`.
    struct Loaded {
        HRESULT hr = E_FAIL;
        ID3DXMesh *mesh = nullptr;
        ID3DXBuffer *adjacency = nullptr;
        ID3DXBuffer *materials = nullptr;
        DWORD numMaterials = 0;
        ID3DXSkinInfo *skin = nullptr;
        std::string err;
        int diagnostics = 0;
        const D3DXMATERIAL *Material(DWORD i) const
        {
            return static_cast<const D3DXMATERIAL *>(materials->GetBufferPointer()) + i;
        }
        void Release()
        {
            for (IUnknown *p : std::initializer_list<IUnknown *>{mesh, adjacency, materials, skin})
                if (p)
                    p->Release();
            mesh = nullptr;
            adjacency = materials = nullptr;
            skin = nullptr;
        }
    };
    Loaded LoadXof(IDirectXFileData *object, DWORD options = D3DXMESH_SYSTEMMEM)
    {
        Loaded l;
        l.err = StderrOf([&] {
            l.hr = D3DXLoadSkinMeshFromXof(object, options, device_, &l.adjacency, &l.materials, NULL, &l.numMaterials,
                                           &l.skin, &l.mesh);
        });
        l.diagnostics = CountLines(l.err);
        return l;
    }
    // With `meshOnly`, the mesh is all that is asked for.
    Loaded LoadWhole(const std::string &path, bool meshOnly = false)
    {
        Loaded l;
        l.err = StderrOf([&] {
            l.hr = D3DXLoadMeshFromXA(path.c_str(), D3DXMESH_SYSTEMMEM, device_, meshOnly ? NULL : &l.adjacency,
                                      meshOnly ? NULL : &l.materials, NULL, meshOnly ? NULL : &l.numMaterials, &l.mesh);
        });
        l.diagnostics = CountLines(l.err);
        return l;
    }
    Loaded LoadFirstMesh(const std::string &path, DWORD options = D3DXMESH_SYSTEMMEM)
    {
        std::vector<IDirectXFileData *> meshes = TopLevelMeshes(path);
        EXPECT_FALSE(meshes.empty());
        Loaded l = meshes.empty() ? Loaded() : LoadXof(meshes[0], options);
        for (IDirectXFileData *m : meshes)
            m->Release();
        return l;
    }

    std::string dir_;
};

// Vertex i's value of type T at byte offset `at` of a vertex buffer.
template <class T>
inline T At(const void *vertices, UINT stride, DWORD i, UINT at = 0)
{
    T v;
    memcpy(&v, static_cast<const BYTE *>(vertices) + size_t(i) * stride + at, sizeof v);
    return v;
}
inline D3DXVECTOR3 Vec3At(const void *vertices, UINT stride, DWORD i, UINT at = 0)
{
    return At<D3DXVECTOR3>(vertices, stride, i, at);
}
using UV = std::array<float, 2>;  // a pair of texture coordinates, for At<UV>

// `mesh` given `vertices` (T laid out as the mesh's vertices), faces of three `indices` and
// their `attributes` (all 0 when none are given).
template <class T>
inline ID3DXMesh *Filled(ID3DXMesh *mesh, const std::vector<T> &vertices, const std::vector<DWORD> &indices,
                         const std::vector<DWORD> &attributes = {})
{
    if (!mesh)
        return nullptr;
    EXPECT_EQ(vertices.size() * sizeof(T), size_t(mesh->GetNumVertices()) * mesh->GetNumBytesPerVertex());
    void *p = nullptr;
    EXPECT_EQ(mesh->LockVertexBuffer(0, &p), D3D_OK);
    memcpy(p, vertices.data(), vertices.size() * sizeof(T));
    mesh->UnlockVertexBuffer();
    EXPECT_EQ(mesh->LockIndexBuffer(0, &p), D3D_OK);
    for (size_t i = 0; i < indices.size(); i++) {
        if (mesh->GetOptions() & D3DXMESH_32BIT)
            static_cast<DWORD *>(p)[i] = indices[i];
        else
            static_cast<WORD *>(p)[i] = WORD(indices[i]);
    }
    mesh->UnlockIndexBuffer();
    DWORD *a = nullptr;
    EXPECT_EQ(mesh->LockAttributeBuffer(0, &a), D3D_OK);
    for (size_t f = 0; f < indices.size() / 3; f++)
        a[f] = attributes.empty() ? 0 : attributes[f];
    mesh->UnlockAttributeBuffer();
    return mesh;
}
// A mesh of vertices in the format `fvf` (their count from the bytes given).
template <class T>
inline ID3DXMesh *MeshFrom(IDirect3DDevice9 *device, DWORD fvf, const std::vector<T> &vertices,
                           const std::vector<DWORD> &indices, const std::vector<DWORD> &attributes = {},
                           DWORD options = D3DXMESH_SYSTEMMEM)
{
    ID3DXMesh *mesh = nullptr;
    EXPECT_EQ(D3DXCreateMeshFVF(DWORD(indices.size() / 3),
                                DWORD(vertices.size() * sizeof(T) / D3DXGetFVFVertexSize(fvf)), options, fvf, device,
                                &mesh),
              D3D_OK);
    return Filled(mesh, vertices, indices, attributes);
}
// The same with the vertices laid out by a declaration.
template <class T>
inline ID3DXMesh *MeshFrom(IDirect3DDevice9 *device, const D3DVERTEXELEMENT9 *declaration,
                           const std::vector<T> &vertices, const std::vector<DWORD> &indices,
                           const std::vector<DWORD> &attributes = {}, DWORD options = D3DXMESH_SYSTEMMEM)
{
    ID3DXMesh *mesh = nullptr;
    EXPECT_EQ(D3DXCreateMesh(DWORD(indices.size() / 3),
                             DWORD(vertices.size() * sizeof(T) / D3DXGetDeclVertexSize(declaration, 0)), options,
                             declaration, device, &mesh),
              D3D_OK);
    return Filled(mesh, vertices, indices, attributes);
}

// A copy of a mesh's vertex buffer.
inline std::vector<BYTE> VerticesOf(ID3DXMesh *mesh)
{
    void *p = nullptr;
    if (FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, &p)))
        return {};
    const BYTE *bytes = static_cast<const BYTE *>(p);
    std::vector<BYTE> out(bytes, bytes + size_t(mesh->GetNumVertices()) * mesh->GetNumBytesPerVertex());
    mesh->UnlockVertexBuffer();
    return out;
}

// All indices of a mesh widened to 32 bits.
inline std::vector<DWORD> IndicesOf(ID3DXMesh *mesh)
{
    std::vector<DWORD> out(mesh->GetNumFaces() * 3);
    void *p = nullptr;
    if (FAILED(mesh->LockIndexBuffer(D3DLOCK_READONLY, &p)))
        return {};
    for (size_t i = 0; i < out.size(); i++)
        out[i] = (mesh->GetOptions() & D3DXMESH_32BIT) ? static_cast<DWORD *>(p)[i] : static_cast<WORD *>(p)[i];
    mesh->UnlockIndexBuffer();
    return out;
}

inline std::vector<DWORD> AttributesOf(ID3DXMesh *mesh)
{
    DWORD *p = nullptr;
    if (FAILED(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &p)))
        return {};
    std::vector<DWORD> out(p, p + mesh->GetNumFaces());
    mesh->UnlockAttributeBuffer();
    return out;
}

}  // namespace meshtest

#define EXPECT_VEC3_NEAR(actual, ex, ey, ez, tol)                                                                      \
    do {                                                                                                               \
        D3DXVECTOR3 v_ = (actual);                                                                                     \
        EXPECT_NEAR(v_.x, (ex), (tol));                                                                                \
        EXPECT_NEAR(v_.y, (ey), (tol));                                                                                \
        EXPECT_NEAR(v_.z, (ez), (tol));                                                                                \
    } while (0)

#endif
