/*
 * app_bench.cpp - the demo's own costs, on the program's scene over a NULLREF device.
 *
 *  - FrameLogic: one whole frame (clocks, controller, particles, skinning, collision
 *    tests, text, camera, draw calls into the NULLREF device), idle and walking; its rate
 *    is the frame rate the program would reach with free drawing.
 *  - LevelRay/Hierarchy and LevelRay/BruteForce: the level ray test's query, a ray against
 *    the level mesh, through D3DXIntersect (its hierarchy) and by testing every triangle.
 *  - CollideModels: one test of the character's collision model against the level's.
 *  - FrameAllocations: heap allocations per frame, idle, walking (a walk emits smoke,
 *    whose particles are born on the heap) and fighting (the three attacks in turn, the
 *    sword's sparks), counted by the allocator stand-ins of alloc_count.cpp, beside the
 *    particles born per frame: what is left over is the frame's own allocations.
 *  - SkinNinja/<kernel>: the character's skinning step alone (UpdateSkinnedMesh with the
 *    pose of the last frame) through each skinning kernel the processor can run.
 */
#include "app/demo_scene.h"

#include "app/d3d_setup.h"
#include "app/frame.h"
#include "app/scene_setup.h"
#include "fx/particles.h"
#include "scene/scene_object.h"

#include <d3dx9.h>
#include <dinput.h>

#include "alloc_count.h"
#include "ray_bvh.h"
#include "skin_kernels.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <math.h>
#include <stdlib.h>
#include <stdio.h>
#include <vector>

namespace {

demotest::DemoScene g_scene;

void FrameLogic(benchmark::State &state)
{
    g_scene.ResetCharacter();
    g_scene.ReleaseAll();
    if (state.range(0))
        g_scene.Press(DIK_DOWN);
    int frames = 0;
    for (auto _ : state) {
        g_scene.Frame();
        // Keep the walk inside the courtyard: back to the start now and then.
        if (++frames % 500 == 0)
            g_scene.ResetCharacter();
    }
    g_scene.ReleaseAll();
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(FrameLogic)->Arg(0)->Arg(1)->ArgName("walking")->Unit(benchmark::kMicrosecond)->UseRealTime();

// The particles alive now, in address order, into a list whose room is made beforehand so
// that taking it allocates nothing.
void LiveParticles(std::vector<const Particle *> *out)
{
    out->clear();
    for (const CParticleSystem *system : {&g_smokeParticles, &g_sparkParticles})
        for (const Particle *p = system->GetParticles(); p && out->size() < out->capacity(); p = p->next)
            out->push_back(p);
    std::sort(out->begin(), out->end());
}

// The keys of frame `frame` of a fight: sword, punch and kick in turn, each held a moment.
void FightKeys(long frame)
{
    static const int kAttacks[] = {DIK_A, DIK_S, DIK_D};
    const int attack = kAttacks[(frame / 60) % 3];
    if (frame % 60 == 0)
        g_scene.Press(attack);
    else if (frame % 60 == 10)
        g_scene.Release(attack);
}

void FrameAllocations(benchmark::State &state)
{
    const long mode = state.range(0);  // 0 idle, 1 walking, 2 fighting
    g_scene.ResetCharacter();
    g_scene.ReleaseAll();
    if (mode == 1)
        g_scene.Press(DIK_DOWN);
    for (int i = 0; i < 50; i++)  // past the first frames of the walk
        g_scene.Frame();
    long allocations = 0, frames = 0, births = 0;
    std::vector<const Particle *> before, after;
    before.reserve(1 << 16);
    after.reserve(1 << 16);
    LiveParticles(&before);
    for (auto _ : state) {
        if (mode == 2)
            FightKeys(frames);
        long count = benchalloc::Allocations();
        // TAVROK_BENCH_ALLOC_TRACE=1: the call stacks of one frame's allocations.
        benchalloc::Tracing(frames == 100 && getenv("TAVROK_BENCH_ALLOC_TRACE"));
        g_scene.Frame();
        benchalloc::Tracing(false);
        allocations += benchalloc::Allocations() - count;
        // Born this frame: alive now and not before (a freed particle's address may be
        // taken again by one born in the same frame, which then goes uncounted).
        LiveParticles(&after);
        for (const Particle *p : after)
            births += !std::binary_search(before.begin(), before.end(), p);
        std::swap(before, after);
        if (++frames % 500 == 0) {
            state.PauseTiming();
            g_scene.ResetCharacter();
            state.ResumeTiming();
        }
    }
    g_scene.ReleaseAll();
    state.counters["allocs/frame"] = frames ? double(allocations) / double(frames) : 0.0;
    state.counters["births/frame"] = frames ? double(births) / double(frames) : 0.0;
}
BENCHMARK(FrameAllocations)->Arg(0)->Arg(1)->Arg(2)->ArgName("idle0_walk1_fight2")->Unit(benchmark::kMicrosecond)->Iterations(2000);

// Rays as the level test casts them: from points round the start, horizontally, in the
// level mesh's model space.
struct Ray {
    D3DXVECTOR3 origin, direction;
};

std::vector<Ray> LevelRays()
{
    D3DXMATRIX world, inverse, transpose;
    g_pd3dDevice->GetTransform(D3DTS_WORLD, &world);
    D3DXMatrixInverse(&inverse, NULL, &world);
    D3DXMatrixTranspose(&transpose, &world);
    std::vector<Ray> rays;
    for (int i = 0; i < 64; ++i) {
        float a = i * 0.37f;
        D3DXVECTOR3 o(0.8f * cosf(a * 1.3f), 0.0f, 0.8f * sinf(a * 0.7f)), d(cosf(a), 0.0f, sinf(a));
        Ray r;
        D3DXVec3TransformCoord(&r.origin, &o, &inverse);
        D3DXVec3TransformNormal(&r.direction, &d, &transpose);
        rays.push_back(r);
    }
    return rays;
}

void LevelRayHierarchy(benchmark::State &state)
{
    ID3DXMesh *mesh = g_pLevelMesh->MeshData.pMesh;
    std::vector<Ray> rays = LevelRays();
    size_t i = 0;
    for (auto _ : state) {
        const Ray &r = rays[i++ % rays.size()];
        BOOL hit = FALSE;
        float distance = 0;
        D3DXIntersect(mesh, &r.origin, &r.direction, &hit, NULL, NULL, NULL, &distance, NULL, NULL);
        benchmark::DoNotOptimize(distance);
    }
    state.counters["triangles"] = mesh->GetNumFaces();
}
BENCHMARK(LevelRayHierarchy)->Name("LevelRay/Hierarchy")->Unit(benchmark::kMicrosecond);

// The level mesh's triangles, for the brute-force reference.
tavrok::d3dx9::RayBvh *LevelTriangles()
{
    ID3DXMesh *mesh = g_pLevelMesh->MeshData.pMesh;
    std::vector<D3DXVECTOR3> positions(mesh->GetNumVertices());
    std::vector<uint32_t> indices(mesh->GetNumFaces() * 3);
    DWORD stride = mesh->GetNumBytesPerVertex();
    BYTE *vertices = NULL;
    void *raw = NULL;
    if (FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, (void **)&vertices)))
        return nullptr;
    for (size_t v = 0; v < positions.size(); ++v)
        positions[v] = *reinterpret_cast<const D3DXVECTOR3 *>(vertices + v * stride);
    mesh->UnlockVertexBuffer();
    if (FAILED(mesh->LockIndexBuffer(D3DLOCK_READONLY, &raw)))
        return nullptr;
    bool wide = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
    for (size_t k = 0; k < indices.size(); ++k)
        indices[k] = wide ? static_cast<const uint32_t *>(raw)[k] : static_cast<const uint16_t *>(raw)[k];
    mesh->UnlockIndexBuffer();
    return new tavrok::d3dx9::RayBvh(std::move(positions), std::move(indices));
}

void LevelRayBruteForce(benchmark::State &state)
{
    static tavrok::d3dx9::RayBvh *triangles = LevelTriangles();
    if (!triangles) {
        state.SkipWithError("cannot read the level mesh");
        return;
    }
    std::vector<Ray> rays = LevelRays();
    // Both ways must agree, or the comparison means nothing.
    for (const Ray &r : rays) {
        BOOL hit = FALSE;
        float distance = 0;
        D3DXIntersect(g_pLevelMesh->MeshData.pMesh, &r.origin, &r.direction, &hit, NULL, NULL, NULL, &distance,
                      NULL, NULL);
        tavrok::d3dx9::RayHit brute = triangles->BruteForce(r.origin, r.direction);
        if (bool(hit) != brute.hit || (hit && fabsf(distance - brute.t) > 1e-3f * (1.0f + distance))) {
            state.SkipWithError("hierarchy and brute force disagree");
            return;
        }
    }
    size_t i = 0;
    for (auto _ : state) {
        const Ray &r = rays[i++ % rays.size()];
        benchmark::DoNotOptimize(triangles->BruteForce(r.origin, r.direction));
    }
}
BENCHMARK(LevelRayBruteForce)->Name("LevelRay/BruteForce")->Unit(benchmark::kMicrosecond);

void CollideModels(benchmark::State &state)
{
    if (!g_character.pCollision || !g_level.pCollision) {
        state.SkipWithError("no collision models");
        return;
    }
    D3DXMATRIX world;
    g_pd3dDevice->GetTransform(D3DTS_WORLD, &world);
    g_character.pCollision->SetMatrix(&world);
    g_level.pCollision->SetMatrix(&world);
    int contacts = 0;
    for (auto _ : state)
        contacts += g_character.TestCollision(&g_level, 0);
    state.counters["contact"] = contacts > 0;
}
BENCHMARK(CollideModels)->Unit(benchmark::kMicrosecond);

void SkinNinja(benchmark::State &state, const tavrok::d3dx9mesh::SkinKernel *kernel)
{
    SMeshContainer *c = g_pCharacterMeshes;
    if (!c || !c->pSkinInfo || !c->pSkinnedMesh) {
        state.SkipWithError("no skinned character");
        return;
    }
    void *src = NULL, *dst = NULL;
    c->MeshData.pMesh->LockVertexBuffer(D3DLOCK_READONLY, &src);
    c->pSkinnedMesh->LockVertexBuffer(0, &dst);
    for (auto _ : state) {
        tavrok::d3dx9mesh::UpdateSkinnedMeshWith(*kernel, c->pSkinInfo, c->pBoneMatrices, NULL, src, dst);
        benchmark::ClobberMemory();
    }
    c->pSkinnedMesh->UnlockVertexBuffer();
    c->MeshData.pMesh->UnlockVertexBuffer();
    state.counters["vertices"] = c->MeshData.pMesh->GetNumVertices();
}

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    std::string why;
    if (!g_scene.Open(&why)) {
        fprintf(stderr, "app_bench: %s\n", why.c_str());
        return 1;
    }
    g_scene.Frame();
    using namespace tavrok::d3dx9mesh;
    for (const SkinKernel *k : {&ScalarSkinKernel(), Sse2SkinKernel(), Avx2SkinKernel()})
        if (k)
            benchmark::RegisterBenchmark((std::string("SkinNinja/") + k->name).c_str(), SkinNinja, k)
                ->Unit(benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    g_scene.Close();
    benchmark::Shutdown();
    return 0;
}
