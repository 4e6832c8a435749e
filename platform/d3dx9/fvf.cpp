/*
 * fvf.cpp - flexible vertex formats: sizes, component offsets, conversion between formats,
 * bounding volumes, and adjacency from point representatives.
 *
 * Relies on the FVF bit layout of d3d9types.h.  An FVF code translates into a vertex
 * declaration (D3DXDeclaratorFromFVF), and a declaration back into the code when it is
 * exactly the one the code stands for (D3DXFVFFromDeclarator).  A declaration no code
 * expresses still gives the offsets of the components a code could name, so that meshes
 * made from it convert to FVF formats.
 */
#include "mesh_private.h"

#include <tavrok/platform.h>
#include <tavrok/vertex_elements.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace tavrok::d3dx9mesh {

namespace {

// Bytes of the position block (position plus blend weights) for each position type;
// 0 for a type that is not defined.
UINT PositionBytes(DWORD fvf)
{
    switch (fvf & D3DFVF_POSITION_MASK) {
    case 0: return 0;
    case D3DFVF_XYZ: return 12;
    case D3DFVF_XYZRHW: return 16;
    case D3DFVF_XYZB1: return 16;
    case D3DFVF_XYZB2: return 20;
    case D3DFVF_XYZB3: return 24;
    case D3DFVF_XYZB4: return 28;
    case D3DFVF_XYZB5: return 32;
    case D3DFVF_XYZW: return 16;
    default: return ~0u;
    }
}

// Bytes of texture coordinate set i, from its two format bits.
UINT TexCoordBytes(DWORD fvf, UINT set)
{
    switch ((fvf >> (16 + set * 2)) & 3) {
    case D3DFVF_TEXTUREFORMAT2: return 8;
    case D3DFVF_TEXTUREFORMAT3: return 12;
    case D3DFVF_TEXTUREFORMAT4: return 16;
    default: return 4;  // D3DFVF_TEXTUREFORMAT1
    }
}

}  // namespace

FvfLayout LayoutOfFvf(DWORD fvf)
{
    FvfLayout l;
    UINT pos = PositionBytes(fvf);
    if (pos == ~0u || (fvf & D3DFVF_RESERVED0))
        return l;
    UINT at = pos;
    l.positionBytes = pos;
    if (fvf & D3DFVF_NORMAL) {
        l.normal = int(at);
        at += 12;
    }
    if (fvf & D3DFVF_PSIZE) {
        l.psize = int(at);
        at += 4;
    }
    if (fvf & D3DFVF_DIFFUSE) {
        l.diffuse = int(at);
        at += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        l.specular = int(at);
        at += 4;
    }
    l.texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (l.texCount > 8)
        return l;
    for (UINT i = 0; i < l.texCount; i++) {
        l.tex[i] = int(at);
        l.texBytes[i] = TexCoordBytes(fvf, i);
        at += l.texBytes[i];
    }
    l.stride = at;
    l.valid = at > 0;
    return l;
}

FvfLayout LayoutOfDeclaration(const D3DVERTEXELEMENT9 *elements)
{
    FvfLayout l;
    const UINT n = D3DXGetDeclLength(elements);
    const D3DVERTEXELEMENT9 *sets[8] = {};
    for (UINT i = 0; i < n; i++) {
        const D3DVERTEXELEMENT9 &e = elements[i];
        if (e.Stream != 0)
            continue;
        const bool isFloat = e.Type <= D3DDECLTYPE_FLOAT4, isColor = e.Type == D3DDECLTYPE_D3DCOLOR;
        if ((e.Usage == D3DDECLUSAGE_POSITION || e.Usage == D3DDECLUSAGE_POSITIONT) && e.UsageIndex == 0 &&
            e.Offset == 0)
            l.positionBytes = tavrok::d3d9::DeclTypeSize(e.Type);
        else if (e.Usage == D3DDECLUSAGE_NORMAL && e.UsageIndex == 0 && e.Type == D3DDECLTYPE_FLOAT3)
            l.normal = e.Offset;
        else if (e.Usage == D3DDECLUSAGE_PSIZE && e.UsageIndex == 0 && e.Type == D3DDECLTYPE_FLOAT1)
            l.psize = e.Offset;
        else if (e.Usage == D3DDECLUSAGE_COLOR && e.UsageIndex < 2 && isColor)
            (e.UsageIndex == 0 ? l.diffuse : l.specular) = e.Offset;
        else if (e.Usage == D3DDECLUSAGE_TEXCOORD && e.UsageIndex < 8 && isFloat)
            sets[e.UsageIndex] = &e;
    }
    // Texture coordinate sets count from 0 without a gap, as in an FVF code.
    while (l.texCount < 8 && sets[l.texCount]) {
        l.tex[l.texCount] = sets[l.texCount]->Offset;
        l.texBytes[l.texCount] = tavrok::d3d9::DeclTypeSize(sets[l.texCount]->Type);
        l.texCount++;
    }
    l.stride = D3DXGetDeclVertexSize(elements, 0);
    l.valid = l.stride > 0;
    return l;
}

void ConvertVertex(const FvfLayout &from, const BYTE *src, const FvfLayout &to, BYTE *dst)
{
    memset(dst, 0, to.stride);
    memcpy(dst, src, std::min(from.positionBytes, to.positionBytes));
    auto copy = [&](int f, int t, UINT bytes) {
        if (f >= 0 && t >= 0)
            memcpy(dst + t, src + f, bytes);
    };
    copy(from.normal, to.normal, 12);
    copy(from.psize, to.psize, 4);
    copy(from.specular, to.specular, 4);
    if (to.diffuse >= 0) {
        if (from.diffuse >= 0) {
            memcpy(dst + to.diffuse, src + from.diffuse, 4);
        } else {
            const D3DCOLOR white = 0xFFFFFFFF;
            memcpy(dst + to.diffuse, &white, 4);
        }
    }
    for (UINT i = 0; i < to.texCount && i < from.texCount; i++)
        memcpy(dst + to.tex[i], src + from.tex[i], std::min(from.texBytes[i], to.texBytes[i]));
}

void AdjacencyFromPointReps(const DWORD *indices, DWORD numFaces, const DWORD *pointReps, DWORD *adjacency)
{
    // Each edge of the point representatives, whichever way it runs, records the first two
    // faces that hold it; a face's neighbour across the edge is the other of the two.  The
    // edges are kept in one open-addressed table with linear probing, which costs no
    // allocation per edge: it has more slots than the faces have edges, and about four times
    // as many as a closed mesh has (each of its edges is shared by two faces).
    const DWORD kNoFace = 0xFFFFFFFF;
    const uint64_t kNoEdge = ~0ull;  // an empty slot, and a collapsed edge, which joins nothing
    struct Edge {
        uint64_t key;
        DWORD first, second;
    };
    int bits = 4;
    while ((size_t(1) << bits) <= size_t(numFaces) * 3)
        bits++;
    const size_t mask = (size_t(1) << bits) - 1;
    std::vector<Edge> table(mask + 1, Edge{kNoEdge, kNoFace, kNoFace});
    auto slot = [&](uint64_t k) -> size_t {
        size_t i = size_t((k * 0x9E3779B97F4A7C15ull) >> (64 - bits));  // Fibonacci hashing
        while (table[i].key != k && table[i].key != kNoEdge)
            i = (i + 1) & mask;
        return i;
    };
    auto rep = [&](DWORD v) { return pointReps ? pointReps[v] : v; };
    auto key = [&](DWORD f, int e) -> uint64_t {
        uint64_t a = rep(indices[f * 3 + e]), b = rep(indices[f * 3 + (e + 1) % 3]);
        if (a == b)
            return kNoEdge;
        return a < b ? (a << 32) | b : (b << 32) | a;
    };
    // The slot of each face's edge, found once: the second pass reads its two faces there.
    const size_t kCollapsed = ~size_t(0);
    std::vector<size_t> slots;
    slots.reserve(size_t(numFaces) * 3);
    for (DWORD f = 0; f < numFaces; f++) {
        for (int e = 0; e < 3; e++) {
            uint64_t k = key(f, e);
            if (k == kNoEdge) {
                slots.push_back(kCollapsed);
                continue;
            }
            const size_t at = slot(k);
            slots.push_back(at);
            Edge &edge = table[at];
            if (edge.key == kNoEdge) {
                edge.key = k;
                edge.first = f;
            } else if (edge.first != f && edge.second == kNoFace) {
                edge.second = f;
            }
        }
    }
    for (DWORD f = 0; f < numFaces; f++) {
        for (int e = 0; e < 3; e++) {
            const size_t at = slots[size_t(f) * 3 + e];
            DWORD other = kNoFace;
            if (at != kCollapsed) {
                const Edge &two = table[at];
                other = two.first == f ? two.second : two.first;
            }
            adjacency[f * 3 + e] = other;
        }
    }
}

bool PointRepsFromAdjacency(const DWORD *indices, DWORD numFaces, DWORD numVertices, const DWORD *adjacency,
                            DWORD *pointReps)
{
    // Union-find over the vertices: across each edge two neighbours hold, the corners at
    // either end are one point.  The edge of the neighbour g that leads back to face f runs
    // the other way round (both faces wind alike), so f's corner e meets g's corner e' + 1.
    std::vector<DWORD> parent(numVertices);
    for (DWORD v = 0; v < numVertices; v++)
        parent[v] = v;
    auto find = [&](DWORD v) {
        while (parent[v] != v)
            v = parent[v] = parent[parent[v]];
        return v;
    };
    auto join = [&](DWORD a, DWORD b) {
        a = find(a), b = find(b);
        if (a != b)
            parent[std::max(a, b)] = std::min(a, b);
    };
    for (DWORD f = 0; f < numFaces; f++)
        for (int e = 0; e < 3; e++) {
            DWORD g = adjacency[f * 3 + e];
            if (g == 0xFFFFFFFF)
                continue;
            if (g >= numFaces)
                return false;
            for (int back = 0; back < 3; back++)
                if (adjacency[g * 3 + back] == f) {
                    join(indices[f * 3 + e], indices[g * 3 + (back + 1) % 3]);
                    join(indices[f * 3 + (e + 1) % 3], indices[g * 3 + back]);
                    break;
                }
        }
    for (DWORD v = 0; v < numVertices; v++)
        pointReps[v] = find(v);
    return true;
}

}  // namespace tavrok::d3dx9mesh

using namespace tavrok::d3dx9mesh;

HRESULT WINAPI D3DXDeclaratorFromFVF(DWORD FVF, D3DVERTEXELEMENT9 pDeclarator[MAX_FVF_DECL_SIZE])
{
    FvfLayout l = LayoutOfFvf(FVF);
    if (!pDeclarator || !l.valid)
        return D3DERR_INVALIDCALL;
    UINT n = 0;
    auto add = [&](UINT offset, BYTE type, BYTE usage, BYTE index) {
        pDeclarator[n++] = D3DVERTEXELEMENT9{0, WORD(offset), type, D3DDECLMETHOD_DEFAULT, usage, index};
    };
    DWORD position = FVF & D3DFVF_POSITION_MASK;
    if (position == D3DFVF_XYZRHW) {
        add(0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0);
    } else if (position == D3DFVF_XYZW) {
        add(0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION, 0);
    } else if (position != 0) {
        add(0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        // Blend weights follow; with a "last beta" flag the last one holds the indices.
        UINT betas = (l.positionBytes - 12) / 4;
        bool indices = betas > 0 && (FVF & (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR));
        UINT weights = betas - (indices ? 1 : 0);
        if (weights > 0)
            add(12, BYTE(D3DDECLTYPE_FLOAT1 + weights - 1), D3DDECLUSAGE_BLENDWEIGHT, 0);
        if (indices)
            add(12 + 4 * weights, (FVF & D3DFVF_LASTBETA_UBYTE4) ? D3DDECLTYPE_UBYTE4 : D3DDECLTYPE_D3DCOLOR,
                D3DDECLUSAGE_BLENDINDICES, 0);
    }
    if (l.normal >= 0)
        add(l.normal, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
    if (l.psize >= 0)
        add(l.psize, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
    if (l.diffuse >= 0)
        add(l.diffuse, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    if (l.specular >= 0)
        add(l.specular, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
    for (UINT i = 0; i < l.texCount; i++)
        add(l.tex[i], BYTE(D3DDECLTYPE_FLOAT1 + l.texBytes[i] / 4 - 1), D3DDECLUSAGE_TEXCOORD, BYTE(i));
    pDeclarator[n] = D3DVERTEXELEMENT9 D3DDECL_END();
    return D3D_OK;
}

HRESULT WINAPI D3DXFVFFromDeclarator(CONST D3DVERTEXELEMENT9 *pDeclarator, DWORD *pFVF)
{
    if (!pDeclarator || !pFVF)
        return D3DERR_INVALIDCALL;
    *pFVF = 0;
    const UINT n = D3DXGetDeclLength(pDeclarator);
    if (n > MAXD3DDECLLENGTH)
        return D3DERR_INVALIDCALL;
    // The code each element asks for; whether the code stands for exactly these elements
    // (offsets and order included) is checked by translating it back.
    static const DWORD kTexFormat[4] = {D3DFVF_TEXTUREFORMAT1, D3DFVF_TEXTUREFORMAT2, D3DFVF_TEXTUREFORMAT3,
                                        D3DFVF_TEXTUREFORMAT4};
    DWORD fvf = 0;
    UINT weights = 0, indices = 0, texCount = 0;
    for (UINT i = 0; i < n; i++) {
        const D3DVERTEXELEMENT9 &e = pDeclarator[i];
        switch (e.Usage) {
        case D3DDECLUSAGE_POSITION: fvf |= e.Type == D3DDECLTYPE_FLOAT4 ? D3DFVF_XYZW : D3DFVF_XYZ; break;
        case D3DDECLUSAGE_POSITIONT: fvf |= D3DFVF_XYZRHW; break;
        case D3DDECLUSAGE_BLENDWEIGHT: weights = e.Type - D3DDECLTYPE_FLOAT1 + 1u; break;
        case D3DDECLUSAGE_BLENDINDICES:
            indices = 1;
            fvf |= e.Type == D3DDECLTYPE_UBYTE4 ? D3DFVF_LASTBETA_UBYTE4 : D3DFVF_LASTBETA_D3DCOLOR;
            break;
        case D3DDECLUSAGE_NORMAL: fvf |= D3DFVF_NORMAL; break;
        case D3DDECLUSAGE_PSIZE: fvf |= D3DFVF_PSIZE; break;
        case D3DDECLUSAGE_COLOR: fvf |= e.UsageIndex ? D3DFVF_SPECULAR : D3DFVF_DIFFUSE; break;
        case D3DDECLUSAGE_TEXCOORD:
            if (e.UsageIndex >= 8 || e.Type > D3DDECLTYPE_FLOAT4)
                return D3DERR_INVALIDCALL;
            texCount = std::max(texCount, e.UsageIndex + 1u);
            fvf |= kTexFormat[e.Type] << (16 + 2 * e.UsageIndex);
            break;
        default: return D3DERR_INVALIDCALL;
        }
    }
    const UINT betas = weights + indices;
    if (betas > 5 || (betas > 0 && (fvf & D3DFVF_POSITION_MASK) != D3DFVF_XYZ))
        return D3DERR_INVALIDCALL;
    if (betas > 0)
        fvf = (fvf & ~D3DFVF_POSITION_MASK) | (D3DFVF_XYZB1 + 2 * (betas - 1));
    fvf |= texCount << D3DFVF_TEXCOUNT_SHIFT;

    D3DVERTEXELEMENT9 back[MAX_FVF_DECL_SIZE];
    if (FAILED(D3DXDeclaratorFromFVF(fvf, back)) || D3DXGetDeclLength(back) != n)
        return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < n; i++) {
        const D3DVERTEXELEMENT9 &a = pDeclarator[i], &b = back[i];
        if (a.Stream != b.Stream || a.Offset != b.Offset || a.Type != b.Type || a.Method != b.Method ||
            a.Usage != b.Usage || a.UsageIndex != b.UsageIndex)
            return D3DERR_INVALIDCALL;
    }
    *pFVF = fvf;
    return D3D_OK;
}

UINT WINAPI D3DXGetDeclLength(CONST D3DVERTEXELEMENT9 *pDecl)
{
    // Elements before D3DDECL_END(); MAX_FVF_DECL_SIZE when the marker does not come in time.
    UINT n = 0;
    while (pDecl && n < MAX_FVF_DECL_SIZE && pDecl[n].Stream != 0xFF)
        n++;
    return n;
}

UINT WINAPI D3DXGetDeclVertexSize(CONST D3DVERTEXELEMENT9 *pDecl, DWORD Stream)
{
    UINT size = 0;
    for (UINT i = 0, n = std::min<UINT>(D3DXGetDeclLength(pDecl), MAXD3DDECLLENGTH); i < n; i++)
        if (pDecl[i].Stream == Stream)
            size = std::max(size, pDecl[i].Offset + tavrok::d3d9::DeclTypeSize(pDecl[i].Type));
    return size;
}

UINT WINAPI D3DXGetFVFVertexSize(DWORD FVF)
{
    FvfLayout l = LayoutOfFvf(FVF);
    return l.valid ? l.stride : 0;
}

HRESULT WINAPI D3DXComputeBoundingBox(CONST D3DXVECTOR3 *pFirstPosition, DWORD NumVertices, DWORD dwStride,
                                      D3DXVECTOR3 *pMin, D3DXVECTOR3 *pMax)
{
    if (!pFirstPosition || !pMin || !pMax || NumVertices == 0)
        return D3DERR_INVALIDCALL;
    const BYTE *p = reinterpret_cast<const BYTE *>(pFirstPosition);
    D3DXVECTOR3 lo, hi;
    memcpy(&lo, p, sizeof lo);
    hi = lo;
    for (DWORD i = 1; i < NumVertices; i++) {
        D3DXVECTOR3 v;
        memcpy(&v, p + size_t(i) * dwStride, sizeof v);
        D3DXVec3Minimize(&lo, &lo, &v);
        D3DXVec3Maximize(&hi, &hi, &v);
    }
    *pMin = lo;
    *pMax = hi;
    return D3D_OK;
}

HRESULT WINAPI D3DXComputeBoundingSphere(CONST D3DXVECTOR3 *pFirstPosition, DWORD NumVertices, DWORD dwStride,
                                         D3DXVECTOR3 *pCenter, FLOAT *pRadius)
{
    if (!pFirstPosition || !pCenter || !pRadius || NumVertices == 0)
        return D3DERR_INVALIDCALL;
    // The centre is the mean of the positions; the radius reaches the farthest one.
    const BYTE *p = reinterpret_cast<const BYTE *>(pFirstPosition);
    double sx = 0, sy = 0, sz = 0;
    for (DWORD i = 0; i < NumVertices; i++) {
        D3DXVECTOR3 v;
        memcpy(&v, p + size_t(i) * dwStride, sizeof v);
        sx += v.x;
        sy += v.y;
        sz += v.z;
    }
    D3DXVECTOR3 c(float(sx / NumVertices), float(sy / NumVertices), float(sz / NumVertices));
    float r2 = 0;
    for (DWORD i = 0; i < NumVertices; i++) {
        D3DXVECTOR3 v;
        memcpy(&v, p + size_t(i) * dwStride, sizeof v);
        D3DXVECTOR3 d = v - c;
        r2 = std::max(r2, D3DXVec3LengthSq(&d));
    }
    *pCenter = c;
    *pRadius = sqrtf(r2);
    return D3D_OK;
}
