/*
 * intersect.cpp - rays against meshes, triangles, boxes and spheres: D3DXIntersect,
 * D3DXIntersectSubset, D3DXIntersectTri, D3DXBoxBoundProbe and D3DXSphereBoundProbe.
 *
 * For D3DXIntersect the mesh's triangles go into a bounding-volume hierarchy the first
 * time a ray is cast at it; the hierarchy is kept for that mesh until its vertex or index
 * data is written again (the mesh reports a new write generation) or the mesh is
 * released.  A subset is tested face by face.  Both sides of every face count; the
 * distance is the ray parameter of the hit (point = origin + t * direction), never
 * negative.
 */
#include "mesh_private.h"
#include "ray_bvh.h"

#include <tavrok/platform.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <unordered_map>

using tavrok::d3dx9::IntersectTriangle;
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

// Reads the mesh's positions and triangles (a face naming a vertex the mesh does not have
// becomes degenerate, so it is never hit); false when the buffers cannot be locked.
bool ReadTriangles(ID3DXBaseMesh *mesh, std::vector<D3DXVECTOR3> &positions, std::vector<uint32_t> &triangles)
{
    DWORD numVertices = mesh->GetNumVertices(), numFaces = mesh->GetNumFaces();
    DWORD stride = mesh->GetNumBytesPerVertex();
    bool wide = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
    BYTE *vertices = nullptr;
    void *indices = nullptr;
    if (stride < sizeof(D3DXVECTOR3) || FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, (void **)&vertices)))
        return false;
    if (FAILED(mesh->LockIndexBuffer(D3DLOCK_READONLY, &indices))) {
        mesh->UnlockVertexBuffer();
        return false;
    }
    positions.resize(numVertices);
    for (DWORD i = 0; i < numVertices; ++i)
        memcpy(&positions[i], vertices + size_t(i) * stride, sizeof(D3DXVECTOR3));
    triangles.resize(size_t(numFaces) * 3);
    for (size_t i = 0; i < triangles.size(); ++i)
        triangles[i] = wide ? static_cast<const DWORD *>(indices)[i] : static_cast<const WORD *>(indices)[i];
    mesh->UnlockIndexBuffer();
    mesh->UnlockVertexBuffer();
    for (size_t f = 0; f < triangles.size(); f += 3) {
        if (triangles[f] >= numVertices || triangles[f + 1] >= numVertices || triangles[f + 2] >= numVertices)
            triangles[f] = triangles[f + 1] = triangles[f + 2] = 0;
    }
    return true;
}

std::unique_ptr<RayBvh> BuildHierarchy(ID3DXBaseMesh *mesh)
{
    std::vector<D3DXVECTOR3> positions;
    std::vector<uint32_t> triangles;
    if (!ReadTriangles(mesh, positions, triangles))
        return nullptr;
    return std::make_unique<RayBvh>(std::move(positions), std::move(triangles));
}

// Writes a query's answer: the nearest hit to the scalar outputs, every hit (in face
// order) to the all-hits buffer and its count.
HRESULT Report(const RayHit &nearest, const std::vector<RayHit> &all, BOOL *hit, DWORD *faceIndex, FLOAT *u,
               FLOAT *v, FLOAT *dist, LPD3DXBUFFER *allHits, DWORD *countOfHits)
{
    *hit = nearest.hit ? TRUE : FALSE;
    if (faceIndex) *faceIndex = nearest.face;
    if (u) *u = nearest.u;
    if (v) *v = nearest.v;
    if (dist) *dist = nearest.t;
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
    return D3D_OK;
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
    std::vector<RayHit> all;
    if (allHits || countOfHits)
        all = entry.bvh->All(*rayPos, *rayDir);
    return Report(nearest, all, hit, faceIndex, u, v, dist, allHits, countOfHits);
}

HRESULT WINAPI D3DXIntersectSubset(LPD3DXBASEMESH mesh, DWORD attribId, CONST D3DXVECTOR3 *rayPos,
                                   CONST D3DXVECTOR3 *rayDir, BOOL *hit, DWORD *faceIndex, FLOAT *u, FLOAT *v,
                                   FLOAT *dist, LPD3DXBUFFER *allHits, DWORD *countOfHits)
{
    if (!mesh || !rayPos || !rayDir || !hit)
        return D3DERR_INVALIDCALL;
    // The attribute of each face lives in the mesh's attribute buffer.
    ID3DXMesh *full = nullptr;
    if (FAILED(mesh->QueryInterface(IID_ID3DXMesh, (void **)&full))) {
        tavrok::Diagnostic("d3dx9", "", "", "D3DXIntersectSubset: the mesh has no attribute buffer");
        return D3DERR_INVALIDCALL;
    }
    std::vector<D3DXVECTOR3> positions;
    std::vector<uint32_t> triangles;
    DWORD *attributes = nullptr;
    if (!ReadTriangles(mesh, positions, triangles) || FAILED(full->LockAttributeBuffer(D3DLOCK_READONLY, &attributes))) {
        full->Release();
        tavrok::Diagnostic("d3dx9", "", "", "D3DXIntersectSubset: cannot read the mesh's buffers");
        return D3DERR_INVALIDCALL;
    }
    RayHit nearest;
    std::vector<RayHit> all;
    for (uint32_t f = 0; f < triangles.size() / 3; ++f) {
        if (attributes[f] != attribId)
            continue;
        RayHit h;
        if (!IntersectTriangle(*rayPos, *rayDir, positions[triangles[3 * f]], positions[triangles[3 * f + 1]],
                               positions[triangles[3 * f + 2]], &h.t, &h.u, &h.v))
            continue;
        h.hit = true;
        h.face = f;
        if (!nearest.hit || h.t < nearest.t)
            nearest = h;
        if (allHits || countOfHits)
            all.push_back(h);
    }
    full->UnlockAttributeBuffer();
    full->Release();
    return Report(nearest, all, hit, faceIndex, u, v, dist, allHits, countOfHits);
}

BOOL WINAPI D3DXIntersectTri(CONST D3DXVECTOR3 *p0, CONST D3DXVECTOR3 *p1, CONST D3DXVECTOR3 *p2,
                             CONST D3DXVECTOR3 *rayPos, CONST D3DXVECTOR3 *rayDir, FLOAT *u, FLOAT *v, FLOAT *dist)
{
    if (!p0 || !p1 || !p2 || !rayPos || !rayDir)
        return FALSE;
    float t, a, b;
    if (!IntersectTriangle(*rayPos, *rayDir, *p0, *p1, *p2, &t, &a, &b))
        return FALSE;
    if (u) *u = a;
    if (v) *v = b;
    if (dist) *dist = t;
    return TRUE;
}

// The ray against the solid box: the slab of each axis cuts the ray's parameter range
// [0, infinity) down; an origin inside the box hits.
BOOL WINAPI D3DXBoxBoundProbe(CONST D3DXVECTOR3 *boxMin, CONST D3DXVECTOR3 *boxMax, CONST D3DXVECTOR3 *rayPos,
                              CONST D3DXVECTOR3 *rayDir)
{
    if (!boxMin || !boxMax || !rayPos || !rayDir)
        return FALSE;
    float enter = 0.0f, leave = INFINITY;
    for (int i = 0; i < 3; ++i) {
        const float o = (*rayPos)[i], d = (*rayDir)[i], lo = (*boxMin)[i], hi = (*boxMax)[i];
        if (d == 0.0f) {
            if (o < lo || o > hi)
                return FALSE;
            continue;
        }
        float t0 = (lo - o) / d, t1 = (hi - o) / d;
        if (t0 > t1)
            std::swap(t0, t1);
        enter = std::max(enter, t0);
        leave = std::min(leave, t1);
        if (enter > leave)
            return FALSE;
    }
    return TRUE;
}

// The ray against the solid sphere: an origin inside hits; from outside, the ray must
// head towards the centre and pass within the radius.
BOOL WINAPI D3DXSphereBoundProbe(CONST D3DXVECTOR3 *center, FLOAT radius, CONST D3DXVECTOR3 *rayPos,
                                 CONST D3DXVECTOR3 *rayDir)
{
    if (!center || !rayPos || !rayDir)
        return FALSE;
    const D3DXVECTOR3 m = *rayPos - *center;
    const float b = D3DXVec3Dot(&m, rayDir), c = D3DXVec3Dot(&m, &m) - radius * radius;
    if (c <= 0.0f)
        return TRUE;
    if (b > 0.0f)
        return FALSE;
    return b * b - D3DXVec3Dot(rayDir, rayDir) * c >= 0.0f ? TRUE : FALSE;
}
