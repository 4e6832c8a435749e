/*
 * mesh_tools.cpp - D3DXValidMesh, D3DXCleanMesh and D3DXWeldVertices.
 *
 * All three work on any ID3DXMesh through its buffers and declaration.
 *
 * A mesh is valid when every index names a vertex, every adjacency entry names another face
 * (or is 0xFFFFFFFF) and is returned by that face, no vertex is a bowtie (the shared apex of
 * two fans of faces that the adjacency does not join round it) and no two faces use the same
 * three vertices wound the opposite way (back to back).  A degenerate face (two corners on
 * one vertex) is only a warning.  The messages go, one line each, into a text buffer.
 *
 * Cleaning gives back-to-back faces and bowtie fans vertices of their own (copies appended
 * to the vertex buffer), so that the adjacency and what is derived from it stay sound.
 *
 * Welding merges vertices that the adjacency marks as one point (GenerateAdjacency with the
 * position epsilon when none is given) and whose components are each within the epsilon of
 * their usage; D3DXWELDEPSILONS_WELDALL merges them without comparing.  A vertex is merged
 * into the lowest kept vertex of its point that matches.  With WELDPARTIALMATCHES the
 * components within epsilon of the point's first vertex take its values even when others
 * differ; DONOTREMOVEVERTICES then keeps every vertex.  Unless DONOTSPLIT is given, vertices
 * used by faces of different attributes are not merged, so that each attribute's faces keep
 * vertices of their own.  Removing vertices compacts the vertex buffer (vertices no face uses
 * go too); faces keep their order.
 */
#include "mesh_private.h"

#include <tavrok/platform.h>
#include <tavrok/vertex_elements.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <numeric>
#include <string>

namespace {

using tavrok::Diagnostic;
using tavrok::d3dx9mesh::kLib;

constexpr DWORD kNone = 0xFFFFFFFF;

HRESULT Refuse(const char *caller, const std::string &why)
{
    Diagnostic(kLib, "", "", std::string(caller) + ": " + why);
    return D3DERR_INVALIDCALL;
}

// A mesh's geometry as plain arrays.
struct Geometry {
    std::vector<D3DVERTEXELEMENT9> elements;  // stream 0, end marker left out
    UINT stride = 0;
    DWORD faces = 0, vertices = 0;
    std::vector<DWORD> indices, attributes;
    std::vector<BYTE> data;  // the vertices
    int position = -1;       // offset of the three-float position

    D3DXVECTOR3 Position(DWORD v) const
    {
        D3DXVECTOR3 p;
        memcpy(&p, &data[size_t(v) * stride + position], sizeof p);
        return p;
    }
};

HRESULT ReadGeometry(const char *caller, ID3DXMesh *mesh, Geometry *g)
{
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    HRESULT hr = mesh->GetDeclaration(decl);
    if (FAILED(hr))
        return hr;
    for (int i = 0; i < MAX_FVF_DECL_SIZE && decl[i].Stream != 0xFF; i++) {
        if (decl[i].Stream != 0)
            continue;
        g->elements.push_back(decl[i]);
        if (decl[i].Usage == D3DDECLUSAGE_POSITION && decl[i].UsageIndex == 0 && decl[i].Type == D3DDECLTYPE_FLOAT3)
            g->position = decl[i].Offset;
    }
    if (g->position < 0)
        return Refuse(caller, "the mesh has no three-float position");
    g->stride = mesh->GetNumBytesPerVertex();
    g->faces = mesh->GetNumFaces();
    g->vertices = mesh->GetNumVertices();
    if (FAILED(hr = tavrok::d3dx9mesh::ReadMeshIndices(mesh, g->indices)))
        return hr;
    void *p = nullptr;
    DWORD *a = nullptr;
    if (FAILED(hr = mesh->LockAttributeBuffer(D3DLOCK_READONLY, &a)))
        return hr;
    g->attributes.assign(a, a + g->faces);
    mesh->UnlockAttributeBuffer();
    g->data.resize(size_t(g->vertices) * g->stride);
    if (FAILED(hr = mesh->LockVertexBuffer(D3DLOCK_READONLY, &p)))
        return hr;
    memcpy(g->data.data(), p, g->data.size());
    mesh->UnlockVertexBuffer();
    return D3D_OK;
}

// The faces round each vertex, split into the fans the adjacency joins across edges that
// end at the vertex.  fans[v] holds one list of faces per fan.
std::vector<std::vector<std::vector<DWORD>>> FansOf(const Geometry &g, const DWORD *adjacency)
{
    std::vector<std::vector<DWORD>> around(g.vertices);
    for (DWORD f = 0; f < g.faces; f++)
        for (int c = 0; c < 3; c++) {
            const DWORD v = g.indices[f * 3 + c];
            if (v < g.vertices && (around[v].empty() || around[v].back() != f))
                around[v].push_back(f);
        }
    std::vector<std::vector<std::vector<DWORD>>> fans(g.vertices);
    std::map<DWORD, DWORD> group;  // face -> union-find parent, per vertex
    for (DWORD v = 0; v < g.vertices; v++) {
        group.clear();
        for (DWORD f : around[v])
            group[f] = f;
        auto find = [&](DWORD f) {
            while (group[f] != f)
                f = group[f] = group[group[f]];
            return f;
        };
        for (DWORD f : around[v])
            for (int e = 0; e < 3; e++) {
                // Edge e runs from corner e to corner e + 1; it ends at v when either is v.
                if (g.indices[f * 3 + e] != v && g.indices[f * 3 + (e + 1) % 3] != v)
                    continue;
                const DWORD n = adjacency[f * 3 + e];
                if (n < g.faces && group.count(n))
                    group[find(f)] = find(n);
            }
        std::map<DWORD, std::vector<DWORD>> byRoot;
        for (DWORD f : around[v])
            byRoot[find(f)].push_back(f);
        for (auto &[root, faces] : byRoot)
            fans[v].push_back(std::move(faces));
    }
    return fans;
}

bool SameCorners(const DWORD *a, const DWORD *b)
{
    DWORD x[3] = {a[0], a[1], a[2]}, y[3] = {b[0], b[1], b[2]};
    std::sort(x, x + 3);
    std::sort(y, y + 3);
    return std::equal(x, x + 3, y);
}

// Whether face b is face a wound the other way round.
bool BackToBack(const DWORD *a, const DWORD *b)
{
    if (!SameCorners(a, b) || a[0] == a[1] || a[1] == a[2] || a[0] == a[2])
        return false;
    for (int r = 0; r < 3; r++)
        if (a[0] == b[r] && a[1] == b[(r + 2) % 3] && a[2] == b[(r + 1) % 3])
            return true;
    return false;
}

// The pairs of back-to-back faces, each pair once (lower face first).
std::vector<std::pair<DWORD, DWORD>> BackToBackPairs(const Geometry &g)
{
    std::map<std::array<DWORD, 3>, std::vector<DWORD>> byCorners;
    for (DWORD f = 0; f < g.faces; f++) {
        std::array<DWORD, 3> k = {g.indices[f * 3], g.indices[f * 3 + 1], g.indices[f * 3 + 2]};
        std::sort(k.begin(), k.end());
        byCorners[k].push_back(f);
    }
    std::vector<std::pair<DWORD, DWORD>> pairs;
    for (auto &[k, faces] : byCorners)
        for (size_t i = 0; i < faces.size(); i++)
            for (size_t j = i + 1; j < faces.size(); j++)
                if (BackToBack(&g.indices[faces[i] * 3], &g.indices[faces[j] * 3]))
                    pairs.emplace_back(faces[i], faces[j]);
    return pairs;
}

// The checks D3DXValidMesh makes; false when the mesh cannot be used.  Adds one line per
// finding to `report`.  Stops after the index and adjacency checks when those fail, since
// the later ones rely on them.
bool Validate(const Geometry &g, const DWORD *adjacency, std::string *report)
{
    bool ok = true;
    auto say = [&](const std::string &line, bool error) {
        *report += (error ? "error: " : "warning: ") + line + "\n";
        ok = ok && !error;
    };
    for (DWORD f = 0; f < g.faces; f++) {
        const DWORD *c = &g.indices[f * 3];
        for (int k = 0; k < 3; k++)
            if (c[k] >= g.vertices)
                say("face " + std::to_string(f) + " uses vertex " + std::to_string(c[k]) + " of " +
                        std::to_string(g.vertices),
                    true);
        if (c[0] == c[1] || c[1] == c[2] || c[0] == c[2])
            say("face " + std::to_string(f) + " is degenerate", false);
        for (int e = 0; e < 3; e++) {
            const DWORD n = adjacency[f * 3 + e];
            if (n == kNone)
                continue;
            if (n >= g.faces || n == f) {
                say("face " + std::to_string(f) + " edge " + std::to_string(e) + " names face " + std::to_string(n),
                    true);
                continue;
            }
            if (std::find(&adjacency[n * 3], &adjacency[n * 3 + 3], f) == &adjacency[n * 3 + 3])
                say("face " + std::to_string(f) + " names face " + std::to_string(n) + " as neighbour but not back",
                    true);
        }
    }
    if (!ok)
        return false;
    std::vector<std::vector<std::vector<DWORD>>> fans = FansOf(g, adjacency);
    for (DWORD v = 0; v < g.vertices; v++)
        if (fans[v].size() > 1)
            say("vertex " + std::to_string(v) + " is a bowtie (the apex of " + std::to_string(fans[v].size()) +
                    " separate fans)",
                true);
    for (auto &[a, b] : BackToBackPairs(g))
        say("faces " + std::to_string(a) + " and " + std::to_string(b) + " are back to back", true);
    return ok;
}

HRESULT GiveText(const std::string &text, ID3DXBuffer **out)
{
    if (!out)
        return D3D_OK;
    *out = nullptr;
    if (text.empty())
        return D3D_OK;
    HRESULT hr = D3DXCreateBuffer(DWORD(text.size() + 1), out);
    if (FAILED(hr))
        return hr;
    memcpy((*out)->GetBufferPointer(), text.c_str(), text.size() + 1);
    return D3D_OK;
}

bool AdjacencyInRange(const DWORD *adjacency, DWORD faces)
{
    for (size_t i = 0; i < size_t(faces) * 3; i++)
        if (adjacency[i] != kNone && adjacency[i] >= faces)
            return false;
    return true;
}

// The epsilon of an element for welding.
float EpsilonOf(const D3DXWELDEPSILONS &e, const D3DVERTEXELEMENT9 &el)
{
    switch (el.Usage) {
    case D3DDECLUSAGE_POSITION:
        return e.Position;
    case D3DDECLUSAGE_BLENDWEIGHT:
        return e.BlendWeights;
    case D3DDECLUSAGE_NORMAL:
        return e.Normal;
    case D3DDECLUSAGE_PSIZE:
        return e.PSize;
    case D3DDECLUSAGE_COLOR:
        return el.UsageIndex == 0 ? e.Diffuse : e.Specular;
    case D3DDECLUSAGE_TEXCOORD:
        return el.UsageIndex < 8 ? e.Texcoord[el.UsageIndex] : 0;
    case D3DDECLUSAGE_TANGENT:
        return e.Tangent;
    case D3DDECLUSAGE_BINORMAL:
        return e.Binormal;
    case D3DDECLUSAGE_TESSFACTOR:
        return e.TessFactor;
    default:
        return 0;  // blend indices and the like match only when equal
    }
}

// Whether one element of two vertices is within epsilon: floats per component, colours
// per channel in units of 1/255, anything else only when its bytes are equal.
bool ElementMatches(const D3DVERTEXELEMENT9 &el, const BYTE *a, const BYTE *b, float eps)
{
    a += el.Offset;
    b += el.Offset;
    const UINT size = tavrok::d3d9::DeclTypeSize(el.Type);
    if (el.Type <= D3DDECLTYPE_FLOAT4) {
        for (UINT i = 0; i < size / 4; i++) {
            float x, y;
            memcpy(&x, a + i * 4, 4);
            memcpy(&y, b + i * 4, 4);
            if (!(std::fabs(x - y) <= eps))
                return false;
        }
        return true;
    }
    if (el.Type == D3DDECLTYPE_D3DCOLOR || el.Type == D3DDECLTYPE_UBYTE4N) {
        for (UINT i = 0; i < 4; i++)
            if (!(std::fabs(float(a[i]) - float(b[i])) / 255.0f <= eps))
                return false;
        return true;
    }
    return memcmp(a, b, size) == 0;
}

HRESULT WriteGeometry(ID3DXMesh *mesh, const Geometry &g)
{
    void *p = nullptr;
    HRESULT hr = mesh->LockVertexBuffer(0, &p);
    if (FAILED(hr))
        return hr;
    memcpy(p, g.data.data(), g.data.size());
    mesh->UnlockVertexBuffer();
    if (FAILED(hr = mesh->LockIndexBuffer(0, &p)))
        return hr;
    for (size_t i = 0; i < g.indices.size(); i++) {
        if (mesh->GetOptions() & D3DXMESH_32BIT)
            static_cast<DWORD *>(p)[i] = g.indices[i];
        else
            static_cast<WORD *>(p)[i] = WORD(g.indices[i]);
    }
    mesh->UnlockIndexBuffer();
    DWORD *a = nullptr;
    if (FAILED(hr = mesh->LockAttributeBuffer(0, &a)))
        return hr;
    std::copy(g.attributes.begin(), g.attributes.end(), a);
    return mesh->UnlockAttributeBuffer();
}

}  // namespace

using namespace tavrok::d3dx9mesh;

HRESULT WINAPI D3DXValidMesh(LPD3DXMESH pMeshIn, CONST DWORD *pAdjacency, LPD3DXBUFFER *ppErrorsAndWarnings)
{
    if (ppErrorsAndWarnings)
        *ppErrorsAndWarnings = nullptr;
    if (!pMeshIn || !pAdjacency)
        return Refuse("D3DXValidMesh", !pMeshIn ? "null mesh" : "null adjacency");
    Geometry g;
    HRESULT hr = ReadGeometry("D3DXValidMesh", pMeshIn, &g);
    if (FAILED(hr))
        return hr;
    std::string report;
    const bool ok = Validate(g, pAdjacency, &report);
    if (FAILED(hr = GiveText(report, ppErrorsAndWarnings)))
        return hr;
    return ok ? D3D_OK : D3DXERR_INVALIDMESH;
}

HRESULT WINAPI D3DXCleanMesh(D3DXCLEANTYPE CleanType, LPD3DXMESH pMeshIn, CONST DWORD *pAdjacencyIn,
                             LPD3DXMESH *ppMeshOut, DWORD *pAdjacencyOut, LPD3DXBUFFER *ppErrorsAndWarnings)
{
    const char *who = "D3DXCleanMesh";
    if (ppMeshOut)
        *ppMeshOut = nullptr;
    if (ppErrorsAndWarnings)
        *ppErrorsAndWarnings = nullptr;
    if (!pMeshIn || !pAdjacencyIn || !ppMeshOut)
        return Refuse(who, !pMeshIn ? "null mesh" : !pAdjacencyIn ? "null adjacency" : "null result pointer");
    if (CleanType & ~DWORD(D3DXCLEAN_BACKFACING | D3DXCLEAN_BOWTIES))
        return Refuse(who, "unknown clean type " + std::to_string(CleanType));
    Geometry g;
    HRESULT hr = ReadGeometry(who, pMeshIn, &g);
    if (FAILED(hr))
        return hr;
    if (!tavrok::d3dx9mesh::IndicesInRange(who, g.indices.data(), g.faces, g.vertices))
        return D3DERR_INVALIDCALL;
    if (!AdjacencyInRange(pAdjacencyIn, g.faces))
        return Refuse(who, "the adjacency names a face the mesh lacks");

    std::vector<DWORD> adjacency(pAdjacencyIn, pAdjacencyIn + size_t(g.faces) * 3);
    std::string report;
    auto copyVertex = [&](DWORD v) {
        const std::vector<BYTE> one(g.data.begin() + size_t(v) * g.stride, g.data.begin() + size_t(v + 1) * g.stride);
        g.data.insert(g.data.end(), one.begin(), one.end());
        return g.vertices++;
    };
    // Back-to-back faces: the second of each pair gets copies of its corners, and the two
    // faces stop being each other's neighbours.
    if (CleanType & D3DXCLEAN_BACKFACING) {
        for (auto &[a, b] : BackToBackPairs(g)) {
            for (int c = 0; c < 3; c++)
                g.indices[b * 3 + c] = copyVertex(g.indices[b * 3 + c]);
            for (int e = 0; e < 3; e++) {
                if (adjacency[a * 3 + e] == b)
                    adjacency[a * 3 + e] = kNone;
                if (adjacency[b * 3 + e] == a)
                    adjacency[b * 3 + e] = kNone;
            }
            report += "warning: faces " + std::to_string(a) + " and " + std::to_string(b) +
                      " were back to back; face " + std::to_string(b) + " now has vertices of its own\n";
        }
    }
    // Bowties: every fan but the first round a vertex gets a copy of it.
    if (CleanType & D3DXCLEAN_BOWTIES) {
        std::vector<std::vector<std::vector<DWORD>>> fans = FansOf(g, adjacency.data());
        const DWORD before = g.vertices;
        for (DWORD v = 0; v < before; v++) {
            for (size_t k = 1; k < fans[v].size(); k++) {
                const DWORD copy = copyVertex(v);
                for (DWORD f : fans[v][k])
                    for (int c = 0; c < 3; c++)
                        if (g.indices[f * 3 + c] == v)
                            g.indices[f * 3 + c] = copy;
            }
            if (fans[v].size() > 1)
                report += "warning: vertex " + std::to_string(v) + " was a bowtie of " +
                          std::to_string(fans[v].size()) + " fans; it has been split\n";
        }
    }
    std::string left;
    const bool ok = Validate(g, adjacency.data(), &left);
    if (!ok) {
        GiveText(report + left, ppErrorsAndWarnings);
        Diagnostic(kLib, "", "", std::string(who) + ": the mesh is still not valid after cleaning");
        return D3DXERR_INVALIDMESH;
    }

    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    if (FAILED(hr = pMeshIn->GetDeclaration(decl)))
        return hr;
    IDirect3DDevice9 *device = nullptr;
    if (FAILED(hr = pMeshIn->GetDevice(&device)))
        return hr;
    DWORD options = pMeshIn->GetOptions();
    if (g.vertices > 0xFFFF)
        options |= D3DXMESH_32BIT;
    ID3DXMesh *out = nullptr;
    hr = D3DXCreateMesh(g.faces, g.vertices, options, decl, device, &out);
    device->Release();
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = WriteGeometry(out, g))) {
        out->Release();
        return hr;
    }
    if (FAILED(hr = GiveText(report + left, ppErrorsAndWarnings))) {
        out->Release();
        return hr;
    }
    if (pAdjacencyOut)
        std::copy(adjacency.begin(), adjacency.end(), pAdjacencyOut);
    *ppMeshOut = out;
    return D3D_OK;
}

HRESULT WINAPI D3DXWeldVertices(LPD3DXMESH pMesh, DWORD Flags, CONST D3DXWELDEPSILONS *pEpsilons,
                                CONST DWORD *pAdjacencyIn, DWORD *pAdjacencyOut, DWORD *pFaceRemap,
                                LPD3DXBUFFER *ppVertexRemap)
{
    const char *who = "D3DXWeldVertices";
    if (ppVertexRemap)
        *ppVertexRemap = nullptr;
    if (!pMesh)
        return Refuse(who, "null mesh");
    const DWORD known = D3DXWELDEPSILONS_WELDALL | D3DXWELDEPSILONS_WELDPARTIALMATCHES |
                        D3DXWELDEPSILONS_DONOTREMOVEVERTICES | D3DXWELDEPSILONS_DONOTSPLIT;
    if (Flags & ~known)
        return Refuse(who, "unknown flags " + std::to_string(Flags & ~known));
    D3DXWELDEPSILONS eps;
    if (pEpsilons) {
        eps = *pEpsilons;
    } else {
        eps.Position = eps.BlendWeights = eps.Normal = eps.PSize = eps.Specular = eps.Diffuse = eps.Tangent =
            eps.Binormal = eps.TessFactor = 1.0e-6f;
        std::fill(eps.Texcoord, eps.Texcoord + 8, 1.0e-6f);
    }
    Geometry g;
    HRESULT hr = ReadGeometry(who, pMesh, &g);
    if (FAILED(hr))
        return hr;
    if (!tavrok::d3dx9mesh::IndicesInRange(who, g.indices.data(), g.faces, g.vertices))
        return D3DERR_INVALIDCALL;
    std::vector<DWORD> adjacency(size_t(g.faces) * 3);
    if (pAdjacencyIn) {
        if (!AdjacencyInRange(pAdjacencyIn, g.faces))
            return Refuse(who, "the adjacency names a face the mesh lacks");
        std::copy(pAdjacencyIn, pAdjacencyIn + adjacency.size(), adjacency.begin());
    } else if (FAILED(hr = pMesh->GenerateAdjacency(std::max(eps.Position, 0.0f), adjacency.data()))) {
        return hr;
    }
    std::vector<DWORD> point(g.vertices);
    if (!PointRepsFromAdjacency(g.indices.data(), g.faces, g.vertices, adjacency.data(), point.data()))
        return Refuse(who, "the adjacency names a face the mesh lacks");

    // The attribute of each vertex's faces: kNone when unused, kMixed when several.
    const DWORD kMixed = 0xFFFFFFFE;
    std::vector<DWORD> attributeOf(g.vertices, kNone);
    for (DWORD f = 0; f < g.faces; f++)
        for (int c = 0; c < 3; c++) {
            DWORD &a = attributeOf[g.indices[f * 3 + c]];
            a = a == kNone ? g.attributes[f] : a == g.attributes[f] ? a : kMixed;
        }

    const bool all = Flags & D3DXWELDEPSILONS_WELDALL, partial = Flags & D3DXWELDEPSILONS_WELDPARTIALMATCHES;
    const bool keepAll = partial && (Flags & D3DXWELDEPSILONS_DONOTREMOVEVERTICES);
    std::vector<DWORD> into(g.vertices);
    std::iota(into.begin(), into.end(), 0);
    std::map<DWORD, std::vector<DWORD>> kept;  // point -> its kept vertices, lowest first
    for (DWORD v = 0; v < g.vertices; v++) {
        std::vector<DWORD> &others = kept[point[v]];
        BYTE *mine = &g.data[size_t(v) * g.stride];
        bool merged = false;
        for (DWORD u : others) {
            const bool mayJoin = (Flags & D3DXWELDEPSILONS_DONOTSPLIT) || attributeOf[u] == kNone ||
                                 attributeOf[v] == kNone || (attributeOf[u] == attributeOf[v] && attributeOf[u] != kMixed);
            if (!mayJoin)
                continue;
            const BYTE *theirs = &g.data[size_t(u) * g.stride];
            bool match = true;
            for (const D3DVERTEXELEMENT9 &el : g.elements) {
                const bool near = all || ElementMatches(el, theirs, mine, EpsilonOf(eps, el));
                if (near && partial)
                    memcpy(mine + el.Offset, theirs + el.Offset, tavrok::d3d9::DeclTypeSize(el.Type));
                match = match && near;
            }
            if (match && !keepAll) {
                into[v] = u;
                if (attributeOf[v] != kNone)
                    attributeOf[u] = attributeOf[u] == kNone ? attributeOf[v] : attributeOf[u];
                merged = true;
                break;
            }
            if (partial)
                break;  // the partial match is made with the point's first vertex only
        }
        if (!merged)
            others.push_back(v);
    }
    for (DWORD &i : g.indices)
        i = into[i];
    if (FAILED(hr = WriteGeometry(pMesh, g)))
        return hr;

    // Dropping the vertices no face uses any more; the remap lists each kept one's old index.
    std::vector<DWORD> order(g.vertices);
    std::iota(order.begin(), order.end(), 0);
    const bool removed = std::any_of(order.begin(), order.end(), [&](DWORD v) { return into[v] != v; });
    if (removed) {
        ID3DXBuffer *remap = nullptr;
        if (FAILED(hr = pMesh->OptimizeInplace(D3DXMESHOPT_COMPACT, nullptr, nullptr, nullptr, &remap)))
            return hr;
        const DWORD *r = static_cast<const DWORD *>(remap->GetBufferPointer());
        order.assign(r, r + remap->GetBufferSize() / sizeof(DWORD));
        remap->Release();
    }
    if (pFaceRemap)
        std::iota(pFaceRemap, pFaceRemap + g.faces, 0);
    if (pAdjacencyOut) {
        // The welded mesh's points: each old point is represented by its lowest new vertex.
        std::vector<DWORD> newIndex(g.vertices, kNone);
        for (DWORD n = 0; n < order.size(); n++)
            newIndex[order[n]] = n;
        std::map<DWORD, DWORD> lowest;
        for (DWORD n = 0; n < order.size(); n++)
            lowest.emplace(point[order[n]], n);
        std::vector<DWORD> reps(order.size());
        for (DWORD n = 0; n < order.size(); n++)
            reps[n] = lowest[point[order[n]]];
        std::vector<DWORD> indices = g.indices;
        for (DWORD &i : indices)
            i = newIndex[i];
        AdjacencyFromPointReps(indices.data(), g.faces, reps.data(), pAdjacencyOut);
    }
    if (ppVertexRemap) {
        if (FAILED(hr = D3DXCreateBuffer(DWORD(order.size() * sizeof(DWORD)), ppVertexRemap)))
            return hr;
        std::copy(order.begin(), order.end(), static_cast<DWORD *>((*ppVertexRemap)->GetBufferPointer()));
    }
    return D3D_OK;
}
