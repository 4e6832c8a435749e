/*
 * skin_kernels.cpp - the scalar skinning loop, the pair layout and the choice of kernel.
 *
 * The scalar loop is the definition the others are measured against: each skinned
 * position is the position transformed by the weighted sum of its bones' matrices (their
 * first three columns; the fourth of an affine matrix carries nothing a point or normal
 * needs), summed in influence order; normals likewise by the normal matrices, or by the
 * bone matrices when there are none, and not renormalised.  A vertex that no bone
 * influences keeps its source position and normal.
 */
#include "skin_kernels.h"

#include "math_variants.h"

#include <algorithm>
#include <cstring>

namespace tavrok::d3dx9mesh {
namespace {

struct Blend {
    float m[4][3];
};

void BlendBones(Blend *out, const D3DXMATRIX *bones, const SkinInfluence *inf, DWORD count)
{
    const D3DXMATRIX &first = bones[inf[0].bone];
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 3; c++)
            out->m[r][c] = inf[0].weight * first.m[r][c];
    for (DWORD i = 1; i < count; i++) {
        const D3DXMATRIX &b = bones[inf[i].bone];
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 3; c++)
                out->m[r][c] = out->m[r][c] + inf[i].weight * b.m[r][c];
    }
}

void ScalarSkin(const SkinBatch &b)
{
    const BYTE *src = b.src;
    BYTE *dst = b.dst;
    for (DWORD v = 0; v < b.numVertices; v++, src += b.stride, dst += b.stride) {
        const DWORD begin = b.start[v], count = b.start[v + 1] - begin;
        float p[3], n[3] = {0, 0, 0};
        memcpy(p, src, sizeof p);
        if (b.normal >= 0)
            memcpy(n, src + b.normal, sizeof n);
        if (count == 0) {
            if (src != dst) {
                memcpy(dst, p, sizeof p);
                if (b.normal >= 0)
                    memcpy(dst + b.normal, n, sizeof n);
            }
            continue;
        }
        Blend m;
        BlendBones(&m, b.bones, b.influences + begin, count);
        float out[3];
        for (int c = 0; c < 3; c++)
            out[c] = p[0] * m.m[0][c] + p[1] * m.m[1][c] + p[2] * m.m[2][c] + m.m[3][c];
        memcpy(dst, out, sizeof out);
        if (b.normal < 0)
            continue;
        if (b.normalBones)
            BlendBones(&m, b.normalBones, b.influences + begin, count);
        for (int c = 0; c < 3; c++)
            out[c] = n[0] * m.m[0][c] + n[1] * m.m[1][c] + n[2] * m.m[2][c];
        memcpy(dst + b.normal, out, sizeof out);
    }
}

const SkinKernel kScalar = {"scalar", ScalarSkin};

}  // namespace

void BuildSkinGroups(DWORD numVertices, const DWORD *start, const SkinInfluence *influences, SkinGroups *out)
{
    DWORD most = 0;
    for (DWORD v = 0; v < numVertices; v++)
        most = std::max(most, start[v + 1] - start[v]);
    std::vector<DWORD> members(size_t(most) + 1, 0);
    for (DWORD v = 0; v < numVertices; v++)
        members[start[v + 1] - start[v]]++;
    out->vertices.clear();
    out->influences.clear();
    out->vertices.reserve(numVertices);
    out->influences.reserve(start[numVertices]);
    // First the group offsets, then (the vectors no longer moving) the pointers.
    std::vector<std::pair<size_t, size_t>> offsets;
    for (DWORD count = 0; count <= most; count++) {
        if (!members[count])
            continue;
        offsets.push_back({out->vertices.size(), out->influences.size()});
        for (DWORD v = 0; v < numVertices; v++) {
            if (start[v + 1] - start[v] != count)
                continue;
            out->vertices.push_back(v);
            out->influences.insert(out->influences.end(), influences + start[v], influences + start[v + 1]);
        }
    }
    out->groups.clear();
    size_t g = 0;
    for (DWORD count = 0; count <= most; count++) {
        if (!members[count])
            continue;
        out->groups.push_back(SkinGroup{count, members[count], out->vertices.data() + offsets[g].first,
                                        out->influences.data() + offsets[g].second});
        g++;
    }
}

const SkinKernel &ScalarSkinKernel() { return kScalar; }

const SkinKernel &SelectSkinKernel(bool processorVariantsDisabled)
{
    if (!processorVariantsDisabled) {
        if (const SkinKernel *k = Avx2SkinKernel())
            return *k;
        if (const SkinKernel *k = Sse2SkinKernel())
            return *k;
    }
    return kScalar;
}

const SkinKernel &ActiveSkinKernel()
{
    // The program is single-threaded; after the first call this is one load and a branch.
    static const SkinKernel *active = nullptr;
    if (__builtin_expect(active == nullptr, 0))
        active = &SelectSkinKernel(ProcessorVariantsDisabled());
    return *active;
}

}  // namespace tavrok::d3dx9mesh
