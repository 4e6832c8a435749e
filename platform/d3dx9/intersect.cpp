/*
 * intersect.cpp - D3DXIntersect: the nearest hit of a ray on a mesh.
 *
 * The mesh's triangles go into a bounding-volume hierarchy the first time a ray is cast at
 * it; the hierarchy is kept for that mesh until its vertex or index data is written again
 * (the mesh reports a new write generation) or the mesh is released.  Both sides of every
 * face count; the distance is the ray parameter of the hit.
 */
#include "mesh_private.h"
#include "ray_bvh.h"

#include <tavrok/platform.h>

#include <memory>
#include <unordered_map>

using tavrok::d3dx9::RayBvh;
using tavrok::d3dx9::RayHit;

namespace {

struct CachedHierarchy {
    uint64_t generation;
    std::unique_ptr<RayBvh> bvh;
};

std::unordered_map<const ID3DXBaseMesh *, CachedHierarchy> &Cache()
{
    static std::unordered_map<const ID3DXBaseMesh *, CachedHierarchy> cache;
    return cache;
}

// Reads the mesh's positions and triangles; null when the buffers cannot be locked.
std::unique_ptr<RayBvh> BuildHierarchy(ID3DXBaseMesh *mesh)
{
    DWORD numVertices = mesh->GetNumVertices(), numFaces = mesh->GetNumFaces();
    DWORD stride = mesh->GetNumBytesPerVertex();
    bool wide = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
    BYTE *vertices = nullptr;
    void *indices = nullptr;
    if (stride < sizeof(D3DXVECTOR3) || FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, (void **)&vertices)))
        return nullptr;
    if (FAILED(mesh->LockIndexBuffer(D3DLOCK_READONLY, &indices))) {
        mesh->UnlockVertexBuffer();
        return nullptr;
    }
    std::vector<D3DXVECTOR3> positions(numVertices);
    for (DWORD i = 0; i < numVertices; ++i)
        memcpy(&positions[i], vertices + size_t(i) * stride, sizeof(D3DXVECTOR3));
    std::vector<uint32_t> triangles(size_t(numFaces) * 3);
    for (size_t i = 0; i < triangles.size(); ++i)
        triangles[i] = wide ? static_cast<const DWORD *>(indices)[i] : static_cast<const WORD *>(indices)[i];
    mesh->UnlockIndexBuffer();
    mesh->UnlockVertexBuffer();
    // A face naming a vertex the mesh does not have cannot be hit.
    for (size_t f = 0; f < triangles.size(); f += 3) {
        if (triangles[f] >= numVertices || triangles[f + 1] >= numVertices || triangles[f + 2] >= numVertices)
            triangles[f] = triangles[f + 1] = triangles[f + 2] = 0;
    }
    return std::make_unique<RayBvh>(std::move(positions), std::move(triangles));
}

}  // namespace

namespace tavrok::d3dx9mesh {

void ForgetRayHierarchy(const ID3DXBaseMesh *mesh) { Cache().erase(mesh); }

}  // namespace tavrok::d3dx9mesh

HRESULT WINAPI D3DXIntersect(LPD3DXBASEMESH mesh, CONST D3DXVECTOR3 *rayPos, CONST D3DXVECTOR3 *rayDir,
                                          BOOL *hit, DWORD *faceIndex, FLOAT *u, FLOAT *v, FLOAT *dist,
                                          LPD3DXBUFFER *allHits, DWORD *countOfHits)
{
    if (!mesh || !rayPos || !rayDir || !hit)
        return D3DERR_INVALIDCALL;
    uint64_t generation = tavrok::d3dx9mesh::WriteGeneration(mesh);
    CachedHierarchy &entry = Cache()[mesh];
    if (!entry.bvh || entry.generation != generation) {
        entry.bvh = BuildHierarchy(mesh);
        entry.generation = generation;
        if (!entry.bvh) {
            Cache().erase(mesh);
            tavrok::Diagnostic("d3dx9", "", "", "D3DXIntersect: cannot read the mesh's buffers");
            return D3DERR_INVALIDCALL;
        }
    }
    RayHit nearest = entry.bvh->Nearest(*rayPos, *rayDir);
    *hit = nearest.hit ? TRUE : FALSE;
    if (faceIndex) *faceIndex = nearest.face;
    if (u) *u = nearest.u;
    if (v) *v = nearest.v;
    if (dist) *dist = nearest.t;

    if (allHits || countOfHits) {
        std::vector<RayHit> all = entry.bvh->All(*rayPos, *rayDir);
        if (countOfHits)
            *countOfHits = DWORD(all.size());
        if (allHits) {
            *allHits = nullptr;
            if (!all.empty()) {
                if (FAILED(D3DXCreateBuffer(DWORD(all.size() * sizeof(D3DXINTERSECTINFO)), allHits)))
                    return E_OUTOFMEMORY;
                auto *info = static_cast<D3DXINTERSECTINFO *>((*allHits)->GetBufferPointer());
                for (size_t i = 0; i < all.size(); ++i)
                    info[i] = D3DXINTERSECTINFO{all[i].face, all[i].u, all[i].v, all[i].t};
            }
        }
    }
    return D3D_OK;
}
