/*
 * mesh_concat.cpp - D3DXConcatenateMeshes: several meshes made into one.
 *
 * The vertex format is the declaration given or, without one, the union of the inputs'
 * stream-0 elements (one per usage and usage index, the position first, a float element as
 * wide as its widest input), laid out one after another.  Each input is copied into that
 * format (components it lacks become zero, a missing diffuse colour white), its positions
 * transformed by its geometry matrix, its normals, tangents and binormals by the matrix's
 * inverse transpose (and renormalised), and its two-float texture coordinates by its texture
 * matrix.  Vertices, faces and attributes follow one another in input order, indices shifted
 * by the vertices before them; the attribute table is the inputs' tables shifted the same
 * way (none when an input has none).
 */
#include "mesh_private.h"

#include <tavrok/platform.h>
#include <tavrok/vertex_elements.h>

#include <algorithm>
#include <cstring>

namespace {

using tavrok::Diagnostic;
using tavrok::d3dx9mesh::kLib;

HRESULT Refuse(const std::string &why)
{
    Diagnostic(kLib, "", "", "D3DXConcatenateMeshes: " + why);
    return D3DERR_INVALIDCALL;
}

std::vector<D3DVERTEXELEMENT9> UnionOf(ID3DXMesh **meshes, UINT count)
{
    std::vector<D3DVERTEXELEMENT9> out;
    for (UINT m = 0; m < count; m++) {
        D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
        if (FAILED(meshes[m]->GetDeclaration(decl)))
            continue;
        for (int i = 0; i < MAX_FVF_DECL_SIZE && decl[i].Stream != 0xFF; i++) {
            if (decl[i].Stream != 0)
                continue;
            auto same = std::find_if(out.begin(), out.end(), [&](const D3DVERTEXELEMENT9 &e) {
                return e.Usage == decl[i].Usage && e.UsageIndex == decl[i].UsageIndex;
            });
            if (same == out.end())
                out.push_back(decl[i]);
            else if (same->Type <= D3DDECLTYPE_FLOAT4 && decl[i].Type <= D3DDECLTYPE_FLOAT4 && decl[i].Type > same->Type)
                same->Type = decl[i].Type;
        }
    }
    std::stable_partition(out.begin(), out.end(), [](const D3DVERTEXELEMENT9 &e) {
        return e.Usage == D3DDECLUSAGE_POSITION && e.UsageIndex == 0;
    });
    WORD offset = 0;
    for (D3DVERTEXELEMENT9 &e : out) {
        e.Offset = offset;
        e.Method = D3DDECLMETHOD_DEFAULT;
        offset = WORD(offset + tavrok::d3d9::DeclTypeSize(e.Type));
    }
    out.push_back(D3DDECL_END());
    return out;
}

void TransformElements(const std::vector<D3DVERTEXELEMENT9> &decl, BYTE *v, const D3DXMATRIX *geometry,
                       const D3DXMATRIX &normalMatrix, const D3DXMATRIX *texture)
{
    for (size_t i = 0; i + 1 < decl.size(); i++) {
        const D3DVERTEXELEMENT9 &e = decl[i];
        BYTE *at = v + e.Offset;
        if (geometry && e.Type == D3DDECLTYPE_FLOAT3) {
            D3DXVECTOR3 x;
            memcpy(&x, at, sizeof x);
            if (e.Usage == D3DDECLUSAGE_POSITION) {
                D3DXVec3TransformCoord(&x, &x, geometry);
            } else if (e.Usage == D3DDECLUSAGE_NORMAL || e.Usage == D3DDECLUSAGE_TANGENT ||
                       e.Usage == D3DDECLUSAGE_BINORMAL) {
                D3DXVec3TransformNormal(&x, &x, &normalMatrix);
                if (D3DXVec3Length(&x) > 0)
                    D3DXVec3Normalize(&x, &x);
            } else {
                continue;
            }
            memcpy(at, &x, sizeof x);
        } else if (texture && e.Usage == D3DDECLUSAGE_TEXCOORD && e.Type == D3DDECLTYPE_FLOAT2) {
            D3DXVECTOR2 t;
            memcpy(&t, at, sizeof t);
            D3DXVec2TransformCoord(&t, &t, texture);
            memcpy(at, &t, sizeof t);
        }
    }
}

}  // namespace

HRESULT WINAPI D3DXConcatenateMeshes(LPD3DXMESH *ppMeshes, UINT NumMeshes, DWORD Options,
                                     CONST D3DXMATRIX *pGeomXForms, CONST D3DXMATRIX *pTextureXForms,
                                     CONST D3DVERTEXELEMENT9 *pDecl, LPDIRECT3DDEVICE9 pD3DDevice,
                                     LPD3DXMESH *ppMeshOut)
{
    if (ppMeshOut)
        *ppMeshOut = nullptr;
    if (!ppMeshes || !NumMeshes || !pD3DDevice || !ppMeshOut)
        return Refuse("no meshes, no device or no result pointer");
    DWORD faces = 0, vertices = 0;
    for (UINT m = 0; m < NumMeshes; m++) {
        if (!ppMeshes[m])
            return Refuse("mesh " + std::to_string(m) + " is null");
        faces += ppMeshes[m]->GetNumFaces();
        vertices += ppMeshes[m]->GetNumVertices();
    }
    if (vertices > 0xFFFF && !(Options & D3DXMESH_32BIT))
        return Refuse(std::to_string(vertices) + " vertices need D3DXMESH_32BIT");
    std::vector<D3DVERTEXELEMENT9> decl;
    if (pDecl) {
        const UINT length = D3DXGetDeclLength(pDecl);
        decl.assign(pDecl, pDecl + length + 1);
    } else {
        decl = UnionOf(ppMeshes, NumMeshes);
    }
    ID3DXMesh *out = nullptr;
    HRESULT hr = D3DXCreateMesh(faces, vertices, Options, decl.data(), pD3DDevice, &out);
    if (FAILED(hr))
        return hr;
    const UINT stride = out->GetNumBytesPerVertex();
    BYTE *vb = nullptr;
    void *ib = nullptr;
    DWORD *ab = nullptr;
    std::vector<D3DXATTRIBUTERANGE> table;
    bool allTables = true;
    DWORD vertexBase = 0, faceBase = 0;
    out->LockVertexBuffer(0, reinterpret_cast<void **>(&vb));
    out->LockIndexBuffer(0, &ib);
    out->LockAttributeBuffer(0, &ab);
    for (UINT m = 0; m < NumMeshes && SUCCEEDED(hr); m++) {
        ID3DXMesh *in = ppMeshes[m], *copy = nullptr;
        if (FAILED(hr = in->CloneMesh(D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, decl.data(), pD3DDevice, &copy)))
            break;
        const DWORD nv = copy->GetNumVertices(), nf = copy->GetNumFaces();
        D3DXMATRIX normalMatrix;
        if (pGeomXForms) {
            D3DXMATRIX inverse;
            if (!D3DXMatrixInverse(&inverse, nullptr, &pGeomXForms[m]))
                D3DXMatrixIdentity(&inverse);
            D3DXMatrixTranspose(&normalMatrix, &inverse);
        }
        void *p = nullptr;
        copy->LockVertexBuffer(D3DLOCK_READONLY, &p);
        memcpy(vb + size_t(vertexBase) * stride, p, size_t(nv) * stride);
        copy->UnlockVertexBuffer();
        for (DWORD v = 0; v < nv; v++)
            TransformElements(decl, vb + size_t(vertexBase + v) * stride, pGeomXForms ? &pGeomXForms[m] : nullptr,
                              normalMatrix, pTextureXForms ? &pTextureXForms[m] : nullptr);
        copy->LockIndexBuffer(D3DLOCK_READONLY, &p);
        for (DWORD i = 0; i < nf * 3; i++) {
            const DWORD index = static_cast<const DWORD *>(p)[i] + vertexBase;
            if (Options & D3DXMESH_32BIT)
                static_cast<DWORD *>(ib)[size_t(faceBase) * 3 + i] = index;
            else
                static_cast<WORD *>(ib)[size_t(faceBase) * 3 + i] = WORD(index);
        }
        copy->UnlockIndexBuffer();
        DWORD *a = nullptr;
        copy->LockAttributeBuffer(D3DLOCK_READONLY, &a);
        std::copy(a, a + nf, ab + faceBase);
        copy->UnlockAttributeBuffer();
        DWORD entries = 0;
        in->GetAttributeTable(nullptr, &entries);
        if (entries == 0) {
            allTables = false;
        } else {
            std::vector<D3DXATTRIBUTERANGE> own(entries);
            in->GetAttributeTable(own.data(), &entries);
            for (D3DXATTRIBUTERANGE r : own) {
                r.FaceStart += faceBase;
                r.VertexStart += vertexBase;
                table.push_back(r);
            }
        }
        copy->Release();
        vertexBase += nv;
        faceBase += nf;
    }
    out->UnlockAttributeBuffer();
    out->UnlockIndexBuffer();
    out->UnlockVertexBuffer();
    if (SUCCEEDED(hr) && allTables)
        hr = out->SetAttributeTable(table.data(), DWORD(table.size()));
    if (FAILED(hr)) {
        out->Release();
        return hr;
    }
    *ppMeshOut = out;
    return D3D_OK;
}
