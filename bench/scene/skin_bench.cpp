// Software skinning: ID3DXSkinInfo::UpdateSkinnedMesh and SkinMeshContainer on a
// 10,000-vertex mesh with 30 bones and up to four influences per vertex, against a plain
// reference loop that skins bone by bone with the D3DX vector transforms; and each
// skinning kernel (scalar, SSE2, AVX2+FMA where the processor has it) on the same mesh.
#include <benchmark/benchmark.h>

#include <d3dx9.h>

#include "bench_device.h"
#include "scene/mesh_container.h"
#include "skin_kernels.h"

#include <random>
#include <vector>

namespace {

const DWORD kVertices = 10000, kBones = 30;
const DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

struct Vertex {
    D3DXVECTOR3 position, normal;
    float u, v;
};

// The same deterministic mesh, skin and pose for every benchmark.
struct Skinned {
    std::vector<Vertex> source, destination;
    ID3DXSkinInfo *skin = nullptr;
    std::vector<D3DXMATRIX> pose;
    std::vector<std::vector<std::pair<DWORD, float>>> byBone;  // for the reference loop

    Skinned()
    {
        std::mt19937 random(7);
        std::uniform_real_distribution<float> unit(-1, 1);
        source.resize(kVertices);
        destination.resize(kVertices);
        for (Vertex &v : source) {
            v.position = D3DXVECTOR3(unit(random), unit(random) * 2, unit(random));
            v.normal = D3DXVECTOR3(unit(random), unit(random), unit(random));
            D3DXVec3Normalize(&v.normal, &v.normal);
            v.u = v.v = 0;
        }
        byBone.resize(kBones);
        for (DWORD i = 0; i < kVertices; i++) {
            int count = 1 + int(random() % 4);
            float weights[4], sum = 0;
            for (int k = 0; k < count; k++)
                sum += weights[k] = 0.1f + (unit(random) + 1);
            DWORD first = random() % kBones;
            for (int k = 0; k < count; k++)
                byBone[(first + k * 7) % kBones].push_back({i, weights[k] / sum});
        }
        D3DXCreateSkinInfoFVF(kVertices, kFvf, kBones, &skin);
        for (DWORD b = 0; b < kBones; b++) {
            std::vector<DWORD> vertices;
            std::vector<float> weights;
            for (auto &vw : byBone[b]) {
                vertices.push_back(vw.first);
                weights.push_back(vw.second);
            }
            skin->SetBoneInfluence(b, DWORD(vertices.size()), vertices.data(), weights.data());
        }
        pose.resize(kBones);
        for (DWORD b = 0; b < kBones; b++) {
            D3DXMatrixRotationYawPitchRoll(&pose[b], 0.1f * b, 0.05f * b, -0.03f * b);
            pose[b]._41 = 0.01f * b;
        }
    }
    ~Skinned() { skin->Release(); }
};

Skinned &Data()
{
    static Skinned data;
    return data;
}

void BM_UpdateSkinnedMesh(benchmark::State &state)
{
    Skinned &d = Data();
    for (auto _ : state) {
        d.skin->UpdateSkinnedMesh(d.pose.data(), nullptr, d.source.data(), d.destination.data());
        benchmark::DoNotOptimize(d.destination.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kVertices);
}
BENCHMARK(BM_UpdateSkinnedMesh);

// The straightforward way: clear, then for each bone add each influenced vertex's
// transformed position and normal.
void BM_ReferenceLoop(benchmark::State &state)
{
    Skinned &d = Data();
    for (auto _ : state) {
        for (Vertex &v : d.destination) {
            v.position = D3DXVECTOR3(0, 0, 0);
            v.normal = D3DXVECTOR3(0, 0, 0);
        }
        for (DWORD b = 0; b < kBones; b++) {
            for (const auto &vw : d.byBone[b]) {
                const Vertex &s = d.source[vw.first];
                Vertex &t = d.destination[vw.first];
                D3DXVECTOR3 p, n;
                D3DXVec3TransformCoord(&p, &s.position, &d.pose[b]);
                D3DXVec3TransformNormal(&n, &s.normal, &d.pose[b]);
                t.position += p * vw.second;
                t.normal += n * vw.second;
            }
        }
        benchmark::DoNotOptimize(d.destination.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kVertices);
}
BENCHMARK(BM_ReferenceLoop);

// The whole per-frame step: bone matrices from frames, locks, skinning into the copy.
void BM_SkinMeshContainer(benchmark::State &state)
{
    Skinned &d = Data();
    IDirect3DDevice9 *device = BenchDevice();
    SMeshContainer c;
    D3DXCreateMeshFVF(kVertices / 2, kVertices, D3DXMESH_SYSTEMMEM, kFvf, device, &c.MeshData.pMesh);
    void *v = nullptr;
    c.MeshData.pMesh->LockVertexBuffer(0, &v);
    memcpy(v, d.source.data(), kVertices * sizeof(Vertex));
    c.MeshData.pMesh->UnlockVertexBuffer();
    c.MeshData.pMesh->CloneMeshFVF(0, kFvf, device, &c.pSkinnedMesh);
    d.skin->AddRef();
    c.pSkinInfo = d.skin;
    std::vector<SFrame> frames(kBones);
    c.ppBoneMatrixPtrs = new D3DXMATRIX *[kBones];
    c.pBoneMatrices = new D3DXMATRIX[kBones];
    for (DWORD b = 0; b < kBones; b++) {
        frames[b].CombinedMatrix = d.pose[b];
        c.ppBoneMatrixPtrs[b] = &frames[b].CombinedMatrix;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(SkinMeshContainer(&c));
    state.SetItemsProcessed(state.iterations() * kVertices);
    FreeMeshContainer(&c);
}
BENCHMARK(BM_SkinMeshContainer);

void BM_SkinKernel(benchmark::State &state, const tavrok::d3dx9mesh::SkinKernel *kernel)
{
    Skinned &d = Data();
    for (auto _ : state) {
        tavrok::d3dx9mesh::UpdateSkinnedMeshWith(*kernel, d.skin, d.pose.data(), nullptr, d.source.data(),
                                                 d.destination.data());
        benchmark::DoNotOptimize(d.destination.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kVertices);
}

}  // namespace

int main(int argc, char **argv)
{
    using namespace tavrok::d3dx9mesh;
    for (const SkinKernel *k : {&ScalarSkinKernel(), Sse2SkinKernel(), Avx2SkinKernel()})
        if (k)
            benchmark::RegisterBenchmark((std::string("BM_SkinKernel/") + k->name).c_str(), BM_SkinKernel, k);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
