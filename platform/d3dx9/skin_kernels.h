/*
 * skin_kernels.h - the inner loops of software skinning, one per instruction set.
 *
 * ID3DXSkinInfo regroups its influences per vertex (and, for the SIMD kernels, into groups
 * of vertices with the same number of influences) and hands one SkinBatch to the kernel
 * in use.  The
 * kernel is chosen once, on first use, like the maths variants: AVX2 with fused
 * multiply-add where the processor has both, else SSE2, and the scalar loop whenever
 * DisablePSGP or DisableD3DXPSGP is set.  Every kernel is reachable here so that tests and
 * benchmarks can run them side by side on the same skin.  Private to platform/d3dx9.
 */
#ifndef TAVROK_D3DX9_SKIN_KERNELS_H
#define TAVROK_D3DX9_SKIN_KERNELS_H

#include <d3dx9mesh.h>

#include <vector>

namespace tavrok::d3dx9mesh {

struct SkinInfluence {
    DWORD bone;
    float weight;
};

// The vertices that have exactly `count` influences, in vertex order, with their
// influences: vertex vertices[i] has influences[i * count .. (i + 1) * count).  With every
// vertex of a group taking the same number of steps, the SIMD kernels run loops of a fixed
// length (no mispredicted branches between vertices) and can pair any two vertices.
struct SkinGroup {
    DWORD count;
    DWORD numVertices;
    const DWORD *vertices;
    const SkinInfluence *influences;
};

struct SkinBatch {
    const D3DXMATRIX *bones;        // one per bone
    const D3DXMATRIX *normalBones;  // one per bone for the normals, or null: the bones
    const BYTE *src;
    BYTE *dst;                      // may equal src
    UINT stride;
    int normal;                     // byte offset of the normal, -1 without one
    DWORD numVertices;
    // Vertex v's influences are influences[start[v] .. start[v + 1]).
    const DWORD *start;
    const SkinInfluence *influences;
    // The same influences by count, counts ascending (count 0: the vertices no bone moves).
    const SkinGroup *groups;
    DWORD numGroups;
};

struct SkinKernel {
    const char *name;  // "scalar", "SSE2", "AVX2+FMA"
    void (*skin)(const SkinBatch &batch);
};

// The storage of the groups of SkinBatch, built from the per-vertex runs.
struct SkinGroups {
    std::vector<DWORD> vertices;
    std::vector<SkinInfluence> influences;
    std::vector<SkinGroup> groups;
};
void BuildSkinGroups(DWORD numVertices, const DWORD *start, const SkinInfluence *influences, SkinGroups *out);

const SkinKernel &ScalarSkinKernel();
// Null when this build has no SSE2.
const SkinKernel *Sse2SkinKernel();
// Null when this build or the processor has no AVX2 and FMA.
const SkinKernel *Avx2SkinKernel();
// The fastest kernel available, or the scalar one when processor variants are disabled.
const SkinKernel &SelectSkinKernel(bool processorVariantsDisabled);
// The kernel UpdateSkinnedMesh uses, chosen on the first call from the registry.
const SkinKernel &ActiveSkinKernel();

// UpdateSkinnedMesh of a skin made by D3DXCreateSkinInfoFVF (or loaded), through the given
// kernel instead of the active one.
HRESULT UpdateSkinnedMeshWith(const SkinKernel &kernel, ID3DXSkinInfo *skin, const D3DXMATRIX *bones,
                              const D3DXMATRIX *normalBones, LPCVOID src, PVOID dst);

}  // namespace tavrok::d3dx9mesh

#endif
