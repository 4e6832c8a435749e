/*
 * mesh_optimize.cpp - face and vertex orders for drawing: D3DXOptimizeFaces,
 * D3DXOptimizeVertices and the passes of ID3DXMesh::OptimizeInplace that reorder faces.
 *
 * The vertex-cache order is a greedy walk that scores every vertex by where it sits in a
 * simulated least-recently-used cache and by how many of its faces are still to be drawn
 * (few left: draw them soon, so the vertex can leave the cache for good), then draws the
 * face of highest total score among those touching the cache.  The strip order walks from
 * face to neighbouring face across shared edges, preferring the neighbour with the fewest
 * neighbours left, so that consecutive faces share an edge as long as the mesh allows.
 * Both work on a subset of the faces (one attribute group) and keep others where they are.
 */
#include "mesh_private.h"

#include <tavrok/platform.h>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tavrok::d3dx9mesh {
namespace {

constexpr DWORD kNone = 0xFFFFFFFF;

// The score of a vertex at cache position `position` (-1: not cached) with `remaining`
// faces still to draw.  The three corners of the face drawn last score a little lower than
// the next places, as their reuse by the very next face is already certain on any cache.
float VertexScore(int position, DWORD remaining, UINT cacheSize)
{
    if (remaining == 0)
        return -1.0f;
    float score = 0.0f;
    if (position >= 0) {
        if (position < 3)
            score = 0.75f;
        else
            score = powf(1.0f - float(position - 3) / float(cacheSize - 3), 1.5f);
    }
    return score + 2.0f / sqrtf(float(remaining));
}

}  // namespace

std::vector<DWORD> CacheOrder(const DWORD *indices, const std::vector<DWORD> &faces, DWORD numVertices,
                              UINT cacheSize)
{
    const size_t n = faces.size();
    cacheSize = std::max(cacheSize, 4u);
    // The faces of each vertex, in compressed rows; `remaining` counts those not drawn yet,
    // which are kept at the front of the vertex's row.
    std::vector<DWORD> start(size_t(numVertices) + 1, 0), remaining(numVertices, 0);
    for (DWORD f : faces)
        for (int c = 0; c < 3; c++)
            remaining[indices[f * 3 + c]]++;
    for (DWORD v = 0; v < numVertices; v++)
        start[v + 1] = start[v] + remaining[v];
    std::vector<DWORD> rows(start[numVertices]), fill(start.begin(), start.end() - 1);
    for (DWORD i = 0; i < n; i++)
        for (int c = 0; c < 3; c++)
            rows[fill[indices[faces[i] * 3 + c]]++] = i;

    std::vector<int> position(numVertices, -1);
    std::vector<float> vertexScore(numVertices), faceScore(n, 0.0f);
    for (DWORD v = 0; v < numVertices; v++)
        vertexScore[v] = VertexScore(-1, remaining[v], cacheSize);
    for (DWORD i = 0; i < n; i++)
        for (int c = 0; c < 3; c++)
            faceScore[i] += vertexScore[indices[faces[i] * 3 + c]];

    std::vector<bool> drawn(n, false);
    std::vector<DWORD> cache, next, order;
    order.reserve(n);
    DWORD best = kNone, cursor = 0;
    while (order.size() < n) {
        if (best == kNone) {
            // Nothing in the cache has faces left: start afresh at the next undrawn face.
            while (drawn[cursor])
                cursor++;
            best = cursor;
        }
        drawn[best] = true;
        order.push_back(faces[best]);
        const DWORD *corners = indices + faces[best] * 3;
        for (int c = 0; c < 3; c++) {
            DWORD v = corners[c];
            DWORD *row = rows.data() + start[v];
            DWORD at = DWORD(std::find(row, row + remaining[v], best) - row);
            if (at < remaining[v])
                std::swap(row[at], row[--remaining[v]]);
        }
        // The drawn face's corners move to the front of the cache; what falls off the end
        // loses its place (and is rescored below with the rest).
        next.clear();
        for (int c = 0; c < 3; c++)
            if (std::find(next.begin(), next.end(), corners[c]) == next.end())
                next.push_back(corners[c]);
        for (DWORD v : cache)
            if (std::find(next.begin(), next.end(), v) == next.end())
                next.push_back(v);
        for (size_t i = 0; i < next.size(); i++)
            position[next[i]] = i < cacheSize ? int(i) : -1;
        for (DWORD v : next) {
            float updated = VertexScore(position[v], remaining[v], cacheSize);
            float delta = updated - vertexScore[v];
            vertexScore[v] = updated;
            for (DWORD k = 0; k < remaining[v]; k++)
                faceScore[rows[start[v] + k]] += delta;
        }
        if (next.size() > cacheSize)
            next.resize(cacheSize);
        cache.swap(next);

        best = kNone;
        float bestScore = -1.0f;
        for (DWORD v : cache)
            for (DWORD k = 0; k < remaining[v]; k++) {
                DWORD face = rows[start[v] + k];
                if (faceScore[face] > bestScore) {
                    bestScore = faceScore[face];
                    best = face;
                }
            }
    }
    return order;
}

std::vector<DWORD> StripOrder(const DWORD *adjacency, const std::vector<DWORD> &faces, DWORD numFaces)
{
    // Local numbers of the faces in the group; neighbours outside it do not count.
    std::vector<DWORD> local(numFaces, kNone);
    for (DWORD i = 0; i < faces.size(); i++)
        local[faces[i]] = i;
    auto neighbour = [&](DWORD i, int edge) {
        DWORD a = adjacency[faces[i] * 3 + edge];
        return a < numFaces ? local[a] : kNone;
    };
    std::vector<bool> drawn(faces.size(), false);
    auto openEdges = [&](DWORD i) {
        int count = 0;
        for (int e = 0; e < 3; e++) {
            DWORD a = neighbour(i, e);
            count += a != kNone && !drawn[a];
        }
        return count;
    };
    std::vector<DWORD> order;
    order.reserve(faces.size());
    for (DWORD first = 0; first < faces.size(); first++) {
        for (DWORD face = first; face != kNone && !drawn[face];) {
            drawn[face] = true;
            order.push_back(faces[face]);
            DWORD step = kNone;
            int fewest = 4;
            for (int e = 0; e < 3; e++) {
                DWORD a = neighbour(face, e);
                if (a != kNone && !drawn[a] && openEdges(a) < fewest) {
                    fewest = openEdges(a);
                    step = a;
                }
            }
            face = step;
        }
    }
    return order;
}

std::vector<DWORD> FirstUseOrder(const DWORD *indices, DWORD numFaces, DWORD numVertices)
{
    std::vector<DWORD> order, seen(numVertices, 0);
    order.reserve(numVertices);
    for (size_t i = 0; i < size_t(numFaces) * 3; i++)
        if (!seen[indices[i]]++)
            order.push_back(indices[i]);
    return order;
}

bool IndicesInRange(const char *caller, const DWORD *indices, DWORD numFaces, DWORD numVertices)
{
    for (size_t i = 0; i < size_t(numFaces) * 3; i++)
        if (indices[i] >= numVertices) {
            Diagnostic(kLib, "", "",
                       std::string(caller) + ": face " + std::to_string(i / 3) + " names vertex " +
                           std::to_string(indices[i]) + " of " + std::to_string(numVertices));
            return false;
        }
    return true;
}

HRESULT ReadMeshIndices(ID3DXBaseMesh *mesh, std::vector<DWORD> &out)
{
    const DWORD faces = mesh->GetNumFaces();
    out.resize(size_t(faces) * 3);
    void *p = nullptr;
    HRESULT hr = mesh->LockIndexBuffer(D3DLOCK_READONLY, &p);
    if (FAILED(hr))
        return hr;
    const bool wide = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
    for (size_t i = 0; i < out.size(); i++)
        out[i] = wide ? static_cast<const DWORD *>(p)[i] : static_cast<const WORD *>(p)[i];
    mesh->UnlockIndexBuffer();
    return D3D_OK;
}

namespace {

// The caller's indices widened to 32 bits, or nothing after a diagnostic line.
bool ReadCallerIndices(const char *caller, LPCVOID indices, UINT numFaces, UINT numVertices, BOOL indices32,
                       const void *out, std::vector<DWORD> *wide)
{
    if (!indices || !out || numFaces == 0) {
        Diagnostic(kLib, "", "", std::string(caller) + ": null indices or result, or no faces");
        return false;
    }
    wide->resize(size_t(numFaces) * 3);
    for (size_t i = 0; i < wide->size(); i++)
        (*wide)[i] = indices32 ? static_cast<const DWORD *>(indices)[i] : static_cast<const WORD *>(indices)[i];
    return IndicesInRange(caller, wide->data(), numFaces, numVertices);
}

}  // namespace
}  // namespace tavrok::d3dx9mesh

using namespace tavrok::d3dx9mesh;

HRESULT WINAPI D3DXOptimizeFaces(LPCVOID pIndices, UINT NumFaces, UINT NumVertices, BOOL Indices32Bit,
                                 DWORD *pFaceRemap)
{
    std::vector<DWORD> indices;
    if (!ReadCallerIndices("D3DXOptimizeFaces", pIndices, NumFaces, NumVertices, Indices32Bit, pFaceRemap, &indices))
        return D3DERR_INVALIDCALL;
    std::vector<DWORD> faces(NumFaces);
    std::iota(faces.begin(), faces.end(), 0);
    std::vector<DWORD> order = CacheOrder(indices.data(), faces, NumVertices, kVertexCacheSize);
    std::copy(order.begin(), order.end(), pFaceRemap);
    return D3D_OK;
}

HRESULT WINAPI D3DXOptimizeVertices(LPCVOID pIndices, UINT NumFaces, UINT NumVertices, BOOL Indices32Bit,
                                    DWORD *pVertexRemap)
{
    std::vector<DWORD> indices;
    if (!ReadCallerIndices("D3DXOptimizeVertices", pIndices, NumFaces, NumVertices, Indices32Bit, pVertexRemap,
                           &indices))
        return D3DERR_INVALIDCALL;
    // Vertices in the order the faces first use them; those no face uses go to the end.
    std::vector<DWORD> order = FirstUseOrder(indices.data(), NumFaces, NumVertices);
    std::vector<bool> used(NumVertices, false);
    for (DWORD v : order)
        used[v] = true;
    for (DWORD v = 0; v < NumVertices; v++)
        if (!used[v])
            order.push_back(v);
    std::copy(order.begin(), order.end(), pVertexRemap);
    return D3D_OK;
}
