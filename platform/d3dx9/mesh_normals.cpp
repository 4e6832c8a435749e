/*
 * mesh_normals.cpp - D3DXComputeNormals: smooth vertex normals from a mesh's faces.
 *
 * Each face's unit normal (clockwise front faces, left-handed coordinates) is added to its
 * corners weighted by the angle the face makes there, so a vertex's normal does not depend
 * on how its neighbourhood is cut into triangles.  With adjacency, corners that are one point
 * across shared edges (replicated vertices, as a loader splits them for texture seams) pool
 * their sums and get one normal; without it each vertex sums only the faces that name it.
 * Works on any ID3DXBaseMesh through its buffers and declaration.
 */
#include "mesh_private.h"

#include <tavrok/platform.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace {

using tavrok::Diagnostic;
using tavrok::d3dx9mesh::kLib;

// The offset of a three-float element of `usage` (usage index 0) in stream 0, or -1.
int Float3Element(const D3DVERTEXELEMENT9 *elements, BYTE usage)
{
    for (int i = 0; i < MAX_FVF_DECL_SIZE && elements[i].Stream != 0xFF; i++)
        if (elements[i].Stream == 0 && elements[i].Usage == usage && elements[i].UsageIndex == 0)
            return elements[i].Type == D3DDECLTYPE_FLOAT3 ? elements[i].Offset : -1;
    return -1;
}

D3DXVECTOR3 Read3(const BYTE *vertices, UINT stride, DWORD v, int offset)
{
    D3DXVECTOR3 p;
    memcpy(&p, vertices + size_t(v) * stride + offset, sizeof p);
    return p;
}

float Angle(const D3DXVECTOR3 &a, const D3DXVECTOR3 &b)
{
    float la = D3DXVec3Length(&a), lb = D3DXVec3Length(&b);
    if (la == 0 || lb == 0)
        return 0;
    return acosf(std::clamp(D3DXVec3Dot(&a, &b) / (la * lb), -1.0f, 1.0f));
}

HRESULT Refuse(const std::string &why)
{
    Diagnostic(kLib, "", "", "D3DXComputeNormals: " + why);
    return D3DERR_INVALIDCALL;
}

}  // namespace

HRESULT WINAPI D3DXComputeNormals(LPD3DXBASEMESH pMesh, CONST DWORD *pAdjacency)
{
    if (!pMesh)
        return Refuse("null mesh");
    D3DVERTEXELEMENT9 elements[MAX_FVF_DECL_SIZE];
    HRESULT hr = pMesh->GetDeclaration(elements);
    if (FAILED(hr))
        return hr;
    const int position = Float3Element(elements, D3DDECLUSAGE_POSITION);
    const int normal = Float3Element(elements, D3DDECLUSAGE_NORMAL);
    if (position < 0 || normal < 0)
        return Refuse("the mesh needs a three-float position and normal");
    const DWORD faces = pMesh->GetNumFaces(), vertices = pMesh->GetNumVertices();
    const UINT stride = pMesh->GetNumBytesPerVertex();

    std::vector<DWORD> indices;
    if (FAILED(hr = tavrok::d3dx9mesh::ReadMeshIndices(pMesh, indices)))
        return hr;
    if (!tavrok::d3dx9mesh::IndicesInRange("D3DXComputeNormals", indices.data(), faces, vertices))
        return D3DERR_INVALIDCALL;
    std::vector<DWORD> point(vertices);
    std::iota(point.begin(), point.end(), 0);
    if (pAdjacency && !tavrok::d3dx9mesh::PointRepsFromAdjacency(indices.data(), faces, vertices, pAdjacency, point.data()))
        return Refuse("the adjacency names a face the mesh lacks");

    BYTE *data = nullptr;
    if (FAILED(hr = pMesh->LockVertexBuffer(0, reinterpret_cast<void **>(&data))))
        return hr;
    std::vector<D3DXVECTOR3> sums(vertices, D3DXVECTOR3(0, 0, 0));
    for (DWORD f = 0; f < faces; f++) {
        const DWORD *corner = &indices[size_t(f) * 3];
        D3DXVECTOR3 q[3] = {Read3(data, stride, corner[0], position), Read3(data, stride, corner[1], position),
                            Read3(data, stride, corner[2], position)};
        D3DXVECTOR3 e1 = q[1] - q[0], e2 = q[2] - q[0], n;
        D3DXVec3Cross(&n, &e1, &e2);
        if (D3DXVec3Length(&n) == 0)
            continue;  // a degenerate face has no direction to give
        D3DXVec3Normalize(&n, &n);
        for (int c = 0; c < 3; c++)
            sums[point[corner[c]]] += n * Angle(q[(c + 1) % 3] - q[c], q[(c + 2) % 3] - q[c]);
    }
    for (DWORD v = 0; v < vertices; v++) {
        D3DXVECTOR3 n = sums[point[v]];
        if (D3DXVec3Length(&n) > 0)
            D3DXVec3Normalize(&n, &n);
        memcpy(data + size_t(v) * stride + normal, &n, sizeof n);
    }
    return pMesh->UnlockVertexBuffer();
}
