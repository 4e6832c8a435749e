/*
 * mesh_tangents.cpp - D3DXComputeTangentFrameEx and D3DXComputeTangent: per-vertex partial
 * derivatives of the position with respect to a texture coordinate set.
 *
 * Each face gives dP/du and dP/dv from its edges and its corners' (u, v); with
 * D3DXTANGENT_WRAP_U / _V a corner's coordinate is moved by whole units to lie within half a
 * unit of the first corner's, the shortest way round a wrapped texture.  A vertex sums the
 * values of the faces that name it, weighted by the face's angle at that corner (the
 * default), its area (WEIGHT_BY_AREA) or equally (WEIGHT_EQUAL).  Faces whose texture
 * coordinates span no area give nothing.  The normal is the mesh's own unless
 * CALCULATE_NORMALS asks for it to be computed from the faces the same way (corners the
 * adjacency joins pool their sums); the face normal is edge1 x edge2 for clockwise faces
 * (WIND_CW) and the opposite for counter-clockwise ones.  Then, unless
 * DONT_ORTHOGONALIZE, the u derivative is made perpendicular to the normal and the v
 * derivative is the normal's cross product with it, turned to the side of the summed v
 * derivative (ORTHOGONALIZE_FROM_V does the same from v).  The vectors are unit length
 * unless DONT_NORMALIZE_PARTIALS, when they keep the length of the weighted sum.
 *
 * The results go into the declaration's elements of the named usages (three floats each;
 * a usage of D3DX_DEFAULT is not written): into the mesh itself with GENERATE_IN_PLACE,
 * else into a copy handed out.  Vertices are never split, so the vertex mapping is the
 * identity; the edge and singular-point thresholds, which would govern splitting, are
 * accepted and checked for range only.
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

HRESULT Refuse(const char *caller, const std::string &why)
{
    Diagnostic(kLib, "", "", std::string(caller) + ": " + why);
    return D3DERR_INVALIDCALL;
}

// The element of usage/index in stream 0, or null.
const D3DVERTEXELEMENT9 *Find(const D3DVERTEXELEMENT9 *decl, DWORD usage, DWORD index)
{
    for (int i = 0; i < MAX_FVF_DECL_SIZE && decl[i].Stream != 0xFF; i++)
        if (decl[i].Stream == 0 && decl[i].Usage == usage && decl[i].UsageIndex == index)
            return &decl[i];
    return nullptr;
}

D3DXVECTOR3 Read3(const BYTE *data, UINT stride, DWORD v, int offset)
{
    D3DXVECTOR3 p;
    memcpy(&p, data + size_t(v) * stride + offset, sizeof p);
    return p;
}

float Angle(const D3DXVECTOR3 &a, const D3DXVECTOR3 &b)
{
    const float la = D3DXVec3Length(&a), lb = D3DXVec3Length(&b);
    if (la == 0 || lb == 0)
        return 0;
    return acosf(std::clamp(D3DXVec3Dot(&a, &b) / (la * lb), -1.0f, 1.0f));
}

// Moves `x` by whole units to within half a unit of `ref`.
float Wrapped(float x, float ref)
{
    return x - std::round(x - ref);
}

D3DXVECTOR3 Unit(const D3DXVECTOR3 &v)
{
    D3DXVECTOR3 out = v;
    if (D3DXVec3Length(&v) > 0)
        D3DXVec3Normalize(&out, &v);
    return out;
}

// `from` made perpendicular to n (unit), with the length asked for.
D3DXVECTOR3 Perpendicular(const D3DXVECTOR3 &from, const D3DXVECTOR3 &n)
{
    return from - n * D3DXVec3Dot(&from, &n);
}

}  // namespace

using namespace tavrok::d3dx9mesh;

HRESULT WINAPI D3DXComputeTangentFrameEx(ID3DXMesh *pMesh, DWORD dwTextureInSemantic, DWORD dwTextureInIndex,
                                         DWORD dwUPartialOutSemantic, DWORD dwUPartialOutIndex,
                                         DWORD dwVPartialOutSemantic, DWORD dwVPartialOutIndex,
                                         DWORD dwNormalOutSemantic, DWORD dwNormalOutIndex, DWORD dwOptions,
                                         CONST DWORD *pdwAdjacency, FLOAT fPartialEdgeThreshold,
                                         FLOAT fSingularPointThreshold, FLOAT fNormalEdgeThreshold,
                                         ID3DXMesh **ppMeshOut, ID3DXBuffer **ppVertexMapping)
{
    const char *who = "D3DXComputeTangentFrameEx";
    if (ppMeshOut)
        *ppMeshOut = nullptr;
    if (ppVertexMapping)
        *ppVertexMapping = nullptr;
    const bool inPlace = dwOptions & D3DXTANGENT_GENERATE_IN_PLACE;
    const DWORD orthogonal =
        dwOptions & (D3DXTANGENT_DONT_ORTHOGONALIZE | D3DXTANGENT_ORTHOGONALIZE_FROM_U | D3DXTANGENT_ORTHOGONALIZE_FROM_V);
    if (!pMesh)
        return Refuse(who, "null mesh");
    if (!inPlace && !ppMeshOut)
        return Refuse(who, "no output mesh pointer and not D3DXTANGENT_GENERATE_IN_PLACE");
    if (dwOptions & ~DWORD(0x7FF))
        return Refuse(who, "unknown options " + std::to_string(dwOptions & ~DWORD(0x7FF)));
    if (orthogonal & (orthogonal - 1))
        return Refuse(who, "more than one orthogonalisation option");
    if ((dwOptions & D3DXTANGENT_WEIGHT_BY_AREA) && (dwOptions & D3DXTANGENT_WEIGHT_EQUAL))
        return Refuse(who, "D3DXTANGENT_WEIGHT_BY_AREA and D3DXTANGENT_WEIGHT_EQUAL exclude each other");
    if (fPartialEdgeThreshold < 0 || fSingularPointThreshold < 0 || fNormalEdgeThreshold < 0)
        return Refuse(who, "a negative threshold");

    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    HRESULT hr = pMesh->GetDeclaration(decl);
    if (FAILED(hr))
        return hr;
    const D3DVERTEXELEMENT9 *position = Find(decl, D3DDECLUSAGE_POSITION, 0);
    const D3DVERTEXELEMENT9 *tex = Find(decl, dwTextureInSemantic, dwTextureInIndex);
    if (!position || position->Type != D3DDECLTYPE_FLOAT3)
        return Refuse(who, "the mesh has no three-float position");
    if (!tex || (tex->Type != D3DDECLTYPE_FLOAT2 && tex->Type != D3DDECLTYPE_FLOAT3 && tex->Type != D3DDECLTYPE_FLOAT4))
        return Refuse(who, "the mesh has no texture coordinates of two or more floats at the given usage");
    const D3DVERTEXELEMENT9 *outs[3] = {nullptr, nullptr, nullptr};
    const DWORD semantics[3] = {dwUPartialOutSemantic, dwVPartialOutSemantic, dwNormalOutSemantic};
    const DWORD indices3[3] = {dwUPartialOutIndex, dwVPartialOutIndex, dwNormalOutIndex};
    const char *names[3] = {"u partial", "v partial", "normal"};
    for (int k = 0; k < 3; k++) {
        if (semantics[k] == DWORD(D3DX_DEFAULT))
            continue;
        outs[k] = Find(decl, semantics[k], indices3[k]);
        if (!outs[k] || outs[k]->Type != D3DDECLTYPE_FLOAT3)
            return Refuse(who, std::string("the declaration has no three-float element for the ") + names[k]);
    }
    const D3DVERTEXELEMENT9 *normalIn = outs[2] ? outs[2] : Find(decl, D3DDECLUSAGE_NORMAL, 0);
    const bool ownNormals = !(dwOptions & D3DXTANGENT_CALCULATE_NORMALS) && normalIn && normalIn->Type == D3DDECLTYPE_FLOAT3;

    const DWORD faces = pMesh->GetNumFaces(), vertices = pMesh->GetNumVertices();
    const UINT stride = pMesh->GetNumBytesPerVertex();
    std::vector<DWORD> indices;
    if (FAILED(hr = ReadMeshIndices(pMesh, indices)))
        return hr;
    if (!IndicesInRange(who, indices.data(), faces, vertices))
        return D3DERR_INVALIDCALL;
    std::vector<DWORD> point(vertices);
    std::iota(point.begin(), point.end(), 0);
    if (pdwAdjacency && !PointRepsFromAdjacency(indices.data(), faces, vertices, pdwAdjacency, point.data()))
        return Refuse(who, "the adjacency names a face the mesh lacks");

    // The mesh written: the input itself, or a copy of it.
    ID3DXMesh *target = pMesh;
    if (!inPlace) {
        IDirect3DDevice9 *device = nullptr;
        if (FAILED(hr = pMesh->GetDevice(&device)))
            return hr;
        hr = pMesh->CloneMesh(pMesh->GetOptions(), decl, device, &target);
        device->Release();
        if (FAILED(hr))
            return hr;
    }
    BYTE *data = nullptr;
    if (FAILED(hr = target->LockVertexBuffer(0, reinterpret_cast<void **>(&data)))) {
        if (target != pMesh)
            target->Release();
        return hr;
    }

    std::vector<D3DXVECTOR3> du(vertices, D3DXVECTOR3(0, 0, 0)), dv = du, normals = du;
    for (DWORD f = 0; f < faces; f++) {
        const DWORD *c = &indices[size_t(f) * 3];
        D3DXVECTOR3 q[3];
        float uv[3][2];
        for (int k = 0; k < 3; k++) {
            q[k] = Read3(data, stride, c[k], position->Offset);
            memcpy(uv[k], data + size_t(c[k]) * stride + tex->Offset, sizeof uv[k]);
        }
        for (int k = 1; k < 3; k++) {
            if (dwOptions & D3DXTANGENT_WRAP_U)
                uv[k][0] = Wrapped(uv[k][0], uv[0][0]);
            if (dwOptions & D3DXTANGENT_WRAP_V)
                uv[k][1] = Wrapped(uv[k][1], uv[0][1]);
        }
        const D3DXVECTOR3 e1 = q[1] - q[0], e2 = q[2] - q[0];
        D3DXVECTOR3 n;
        if (dwOptions & D3DXTANGENT_WIND_CW)
            D3DXVec3Cross(&n, &e1, &e2);
        else
            D3DXVec3Cross(&n, &e2, &e1);
        const float area = D3DXVec3Length(&n) / 2;
        if (area == 0)
            continue;  // a degenerate face has no direction to give
        n /= 2 * area;
        const float du1 = uv[1][0] - uv[0][0], dv1 = uv[1][1] - uv[0][1];
        const float du2 = uv[2][0] - uv[0][0], dv2 = uv[2][1] - uv[0][1];
        const float det = du1 * dv2 - du2 * dv1;
        D3DXVECTOR3 fu(0, 0, 0), fv(0, 0, 0);
        if (det != 0) {
            fu = (e1 * dv2 - e2 * dv1) / det;
            fv = (e2 * du1 - e1 * du2) / det;
        }
        for (int k = 0; k < 3; k++) {
            float w = 1;
            if (dwOptions & D3DXTANGENT_WEIGHT_BY_AREA)
                w = area;
            else if (!(dwOptions & D3DXTANGENT_WEIGHT_EQUAL))
                w = Angle(q[(k + 1) % 3] - q[k], q[(k + 2) % 3] - q[k]);
            du[c[k]] += fu * w;
            dv[c[k]] += fv * w;
            normals[point[c[k]]] += n * w;
        }
    }

    const bool normalise = !(dwOptions & D3DXTANGENT_DONT_NORMALIZE_PARTIALS);
    for (DWORD v = 0; v < vertices; v++) {
        BYTE *row = data + size_t(v) * stride;
        const D3DXVECTOR3 n = ownNormals ? Unit(Read3(data, stride, v, normalIn->Offset)) : Unit(normals[point[v]]);
        D3DXVECTOR3 u = du[v], w = dv[v];
        const float lu = D3DXVec3Length(&u), lw = D3DXVec3Length(&w);
        if (!(dwOptions & D3DXTANGENT_DONT_ORTHOGONALIZE)) {
            if (dwOptions & D3DXTANGENT_ORTHOGONALIZE_FROM_V) {
                const D3DXVECTOR3 vv = Unit(Perpendicular(w, n));
                D3DXVECTOR3 uu;
                D3DXVec3Cross(&uu, &vv, &n);
                if (D3DXVec3Dot(&uu, &u) < 0)
                    uu = -uu;
                u = uu;
                w = vv;
            } else {
                const D3DXVECTOR3 uu = Unit(Perpendicular(u, n));
                D3DXVECTOR3 vv;
                D3DXVec3Cross(&vv, &n, &uu);
                if (D3DXVec3Dot(&vv, &w) < 0)
                    vv = -vv;
                u = uu;
                w = vv;
            }
            if (!normalise) {
                u *= lu;
                w *= lw;
            }
        } else if (normalise) {
            u = Unit(u);
            w = Unit(w);
        }
        if (outs[0])
            memcpy(row + outs[0]->Offset, &u, sizeof u);
        if (outs[1])
            memcpy(row + outs[1]->Offset, &w, sizeof w);
        if (outs[2])
            memcpy(row + outs[2]->Offset, &n, sizeof n);
    }
    target->UnlockVertexBuffer();

    if (ppVertexMapping) {
        if (FAILED(hr = D3DXCreateBuffer(vertices * sizeof(DWORD), ppVertexMapping))) {
            if (target != pMesh)
                target->Release();
            return hr;
        }
        DWORD *m = static_cast<DWORD *>((*ppVertexMapping)->GetBufferPointer());
        std::iota(m, m + vertices, 0);
    }
    if (!inPlace)
        *ppMeshOut = target;
    else if (ppMeshOut)
        *ppMeshOut = nullptr;
    return D3D_OK;
}

HRESULT WINAPI D3DXComputeTangent(LPD3DXMESH Mesh, DWORD TexStageIndex, DWORD TangentIndex, DWORD BinormIndex,
                                  DWORD Wrap, CONST DWORD *pAdjacency)
{
    const DWORD none = DWORD(D3DX_DEFAULT);
    return D3DXComputeTangentFrameEx(
        Mesh, D3DDECLUSAGE_TEXCOORD, TexStageIndex, TangentIndex == none ? none : DWORD(D3DDECLUSAGE_TANGENT),
        TangentIndex, BinormIndex == none ? none : DWORD(D3DDECLUSAGE_BINORMAL), BinormIndex, none, 0,
        D3DXTANGENT_GENERATE_IN_PLACE | (Wrap ? D3DXTANGENT_WRAP_UV : 0), pAdjacency, 0.01f, 0.25f, 0.01f, nullptr,
        nullptr);
}
