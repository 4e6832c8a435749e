/*
 * skin_simd.cpp - the SSE2 and AVX2 skinning kernels.
 *
 * Both walk the groups of vertices with equal influence counts, so that the loop over a
 * vertex's influences has a length fixed for the whole group (unrolled for one to four
 * influences) and nothing mispredicts from one vertex to the next.
 *
 * SSE2: one vertex at a time, each matrix row one register.  The blend and the transform
 * multiply and add in the scalar loop's order, so the results equal it bit for bit.
 *
 * AVX2 with FMA: two vertices of a group at a time, one in each 128-bit half of a
 * register.  Each influence is four row loads per vertex and four fused multiply-adds for
 * both; the transform is three more.  Fused operations round once instead of twice, so
 * results differ from the scalar loop by a rounding step.  An odd last vertex of a group
 * is skinned alone.
 *
 * Positions and normals are written as three floats (never beyond them), so any stride
 * and in-place skinning (source equal to destination) work; they are read as four floats
 * when the vertex has room for the fourth, else as three.
 */
#include "skin_kernels.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include <cstring>
#include <type_traits>

namespace tavrok::d3dx9mesh {

#if defined(__SSE2__)
namespace {

inline __m128 Load3(const BYTE *p)
{
    __m128 xy = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double *>(p)));
    __m128 z = _mm_load_ss(reinterpret_cast<const float *>(p + 8));
    return _mm_movelh_ps(xy, z);
}

// Three floats, or four when the fourth is known to lie inside the vertex (its value is
// never used): one load instead of two and a shuffle.
inline __m128 Load3Or4(const BYTE *p, bool wide)
{
    return wide ? _mm_loadu_ps(reinterpret_cast<const float *>(p)) : Load3(p);
}

// Whether positions and normals can be read as four floats.
inline bool WideReads(const SkinBatch &b)
{
    return b.stride >= 16 && (b.normal < 0 || UINT(b.normal) + 16 <= b.stride);
}

inline void Store3(BYTE *p, __m128 v)
{
    _mm_store_sd(reinterpret_cast<double *>(p), _mm_castps_pd(v));
    _mm_store_ss(reinterpret_cast<float *>(p + 8), _mm_movehl_ps(v, v));
}

inline __m128 Row(const D3DXMATRIX &m, int r) { return _mm_loadu_ps(m.m[r]); }

template <int i>
inline __m128 Splat(__m128 v)
{
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(i, i, i, i));
}

struct Rows {
    __m128 r0, r1, r2, r3;
};

// Rows 0..(rows - 1) of the weighted sum of the bones' matrices.
template <int rows>
inline void Sse2Blend(Rows *m, const D3DXMATRIX *bones, const SkinInfluence *inf, DWORD count)
{
    const D3DXMATRIX &first = bones[inf[0].bone];
    __m128 w = _mm_set1_ps(inf[0].weight);
    m->r0 = _mm_mul_ps(Row(first, 0), w);
    m->r1 = _mm_mul_ps(Row(first, 1), w);
    m->r2 = _mm_mul_ps(Row(first, 2), w);
    if (rows == 4)
        m->r3 = _mm_mul_ps(Row(first, 3), w);
    for (DWORD i = 1; i < count; i++) {
        const D3DXMATRIX &b = bones[inf[i].bone];
        w = _mm_set1_ps(inf[i].weight);
        m->r0 = _mm_add_ps(m->r0, _mm_mul_ps(Row(b, 0), w));
        m->r1 = _mm_add_ps(m->r1, _mm_mul_ps(Row(b, 1), w));
        m->r2 = _mm_add_ps(m->r2, _mm_mul_ps(Row(b, 2), w));
        if (rows == 4)
            m->r3 = _mm_add_ps(m->r3, _mm_mul_ps(Row(b, 3), w));
    }
}

inline __m128 Sse2Linear(const Rows &m, __m128 v)
{
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(Splat<0>(v), m.r0), _mm_mul_ps(Splat<1>(v), m.r1)),
                      _mm_mul_ps(Splat<2>(v), m.r2));
}

// The vertices no bone moves keep their source position and normal.
void CopyUnmoved(const SkinBatch &b, const SkinGroup &g)
{
    if (b.src == b.dst)
        return;
    for (DWORD i = 0; i < g.numVertices; i++) {
        const size_t at = size_t(g.vertices[i]) * b.stride;
        memcpy(b.dst + at, b.src + at, 12);
        if (b.normal >= 0)
            memcpy(b.dst + at + b.normal, b.src + at + b.normal, 12);
    }
}

// Each group of the batch through `group(count, b, g)`, with the usual influence counts
// (1 to 4) fixed at compile time and 0 for any other; unmoved vertices are copied.
template <class Group>
void ForEachGroup(const SkinBatch &b, Group group)
{
    for (DWORD i = 0; i < b.numGroups; i++) {
        const SkinGroup &g = b.groups[i];
        switch (g.count) {
        case 0: CopyUnmoved(b, g); break;
        case 1: group(std::integral_constant<DWORD, 1>{}, b, g); break;
        case 2: group(std::integral_constant<DWORD, 2>{}, b, g); break;
        case 3: group(std::integral_constant<DWORD, 3>{}, b, g); break;
        case 4: group(std::integral_constant<DWORD, 4>{}, b, g); break;
        default: group(std::integral_constant<DWORD, 0>{}, b, g); break;
        }
    }
}

// Count: the group's influence count when fixed at compile time, 0 to read it.
template <DWORD Count>
void Sse2Group(const SkinBatch &b, const SkinGroup &g)
{
    const DWORD count = Count ? Count : g.count;
    const int normal = b.normal;
    const bool wide = WideReads(b);
    const SkinInfluence *inf = g.influences;
    for (DWORD i = 0; i < g.numVertices; i++, inf += count) {
        const size_t at = size_t(g.vertices[i]) * b.stride;
        const BYTE *src = b.src + at;
        BYTE *dst = b.dst + at;
        const __m128 p = Load3Or4(src, wide);
        const __m128 n = normal >= 0 ? Load3Or4(src + normal, wide) : _mm_setzero_ps();
        Rows m;
        Sse2Blend<4>(&m, b.bones, inf, count);
        Store3(dst, _mm_add_ps(Sse2Linear(m, p), m.r3));
        if (normal < 0)
            continue;
        if (b.normalBones)
            Sse2Blend<3>(&m, b.normalBones, inf, count);
        Store3(dst + normal, Sse2Linear(m, n));
    }
}

void Sse2Skin(const SkinBatch &b)
{
    ForEachGroup(b, [](auto count, const SkinBatch &b, const SkinGroup &g) { Sse2Group<count>(b, g); });
}

const SkinKernel kSse2 = {"SSE2", Sse2Skin};

}  // namespace

const SkinKernel *Sse2SkinKernel() { return &kSse2; }

#else

const SkinKernel *Sse2SkinKernel() { return nullptr; }

#endif

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define TAVROK_SKIN_AVX2 1
namespace {

#define AVX2_FMA __attribute__((target("avx2,fma")))

struct Rows2 {
    __m256 r0, r1, r2, r3;
};

AVX2_FMA inline __m256 RowPair(const D3DXMATRIX &a, const D3DXMATRIX &b, int r)
{
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(a.m[r])), _mm_loadu_ps(b.m[r]), 1);
}

AVX2_FMA inline __m256 Halves(__m128 low, __m128 high)
{
    return _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1);
}

// Rows 0..(rows - 1) of the blended matrices of two vertices with `count` influences each.
template <int rows>
AVX2_FMA inline void PairBlend(Rows2 *m, const D3DXMATRIX *bones, const SkinInfluence *a, const SkinInfluence *c,
                               DWORD count)
{
    __m256 w = Halves(_mm_set1_ps(a[0].weight), _mm_set1_ps(c[0].weight));
    const D3DXMATRIX *ma = &bones[a[0].bone], *mc = &bones[c[0].bone];
    m->r0 = _mm256_mul_ps(RowPair(*ma, *mc, 0), w);
    m->r1 = _mm256_mul_ps(RowPair(*ma, *mc, 1), w);
    m->r2 = _mm256_mul_ps(RowPair(*ma, *mc, 2), w);
    if (rows == 4)
        m->r3 = _mm256_mul_ps(RowPair(*ma, *mc, 3), w);
    for (DWORD k = 1; k < count; k++) {
        w = Halves(_mm_set1_ps(a[k].weight), _mm_set1_ps(c[k].weight));
        ma = &bones[a[k].bone];
        mc = &bones[c[k].bone];
        m->r0 = _mm256_fmadd_ps(RowPair(*ma, *mc, 0), w, m->r0);
        m->r1 = _mm256_fmadd_ps(RowPair(*ma, *mc, 1), w, m->r1);
        m->r2 = _mm256_fmadd_ps(RowPair(*ma, *mc, 2), w, m->r2);
        if (rows == 4)
            m->r3 = _mm256_fmadd_ps(RowPair(*ma, *mc, 3), w, m->r3);
    }
}

// x * r0 + y * r1 + z * r2 (+ add) in each half.
AVX2_FMA inline __m256 PairTransform(const Rows2 &m, __m256 v, __m256 add)
{
    __m256 r = _mm256_fmadd_ps(_mm256_permute_ps(v, 0xAA), m.r2, add);
    r = _mm256_fmadd_ps(_mm256_permute_ps(v, 0x55), m.r1, r);
    return _mm256_fmadd_ps(_mm256_permute_ps(v, 0x00), m.r0, r);
}

template <int rows>
AVX2_FMA inline void FmaBlend(Rows *m, const D3DXMATRIX *bones, const SkinInfluence *inf, DWORD count)
{
    const D3DXMATRIX &first = bones[inf[0].bone];
    __m128 w = _mm_set1_ps(inf[0].weight);
    m->r0 = _mm_mul_ps(Row(first, 0), w);
    m->r1 = _mm_mul_ps(Row(first, 1), w);
    m->r2 = _mm_mul_ps(Row(first, 2), w);
    if (rows == 4)
        m->r3 = _mm_mul_ps(Row(first, 3), w);
    for (DWORD i = 1; i < count; i++) {
        const D3DXMATRIX &b = bones[inf[i].bone];
        w = _mm_set1_ps(inf[i].weight);
        m->r0 = _mm_fmadd_ps(Row(b, 0), w, m->r0);
        m->r1 = _mm_fmadd_ps(Row(b, 1), w, m->r1);
        m->r2 = _mm_fmadd_ps(Row(b, 2), w, m->r2);
        if (rows == 4)
            m->r3 = _mm_fmadd_ps(Row(b, 3), w, m->r3);
    }
}

AVX2_FMA inline __m128 FmaTransform(const Rows &m, __m128 v, __m128 add)
{
    __m128 r = _mm_fmadd_ps(Splat<2>(v), m.r2, add);
    r = _mm_fmadd_ps(Splat<1>(v), m.r1, r);
    return _mm_fmadd_ps(Splat<0>(v), m.r0, r);
}

AVX2_FMA inline void FmaSkinOne(const SkinBatch &b, DWORD v, const SkinInfluence *inf, DWORD count)
{
    const size_t at = size_t(v) * b.stride;
    const BYTE *src = b.src + at;
    BYTE *dst = b.dst + at;
    const int normal = b.normal;
    const bool wide = WideReads(b);
    const __m128 p = Load3Or4(src, wide);
    const __m128 n = normal >= 0 ? Load3Or4(src + normal, wide) : _mm_setzero_ps();
    Rows m;
    FmaBlend<4>(&m, b.bones, inf, count);
    Store3(dst, FmaTransform(m, p, m.r3));
    if (normal < 0)
        return;
    if (b.normalBones)
        FmaBlend<3>(&m, b.normalBones, inf, count);
    Store3(dst + normal, FmaTransform(m, n, _mm_setzero_ps()));
}

template <DWORD Count>
AVX2_FMA void Avx2Group(const SkinBatch &b, const SkinGroup &g)
{
    const DWORD count = Count ? Count : g.count;
    const int normal = b.normal;
    const bool wide = WideReads(b);
    const SkinInfluence *inf = g.influences;
    DWORD i = 0;
    for (; i + 1 < g.numVertices; i += 2, inf += 2 * count) {
        const size_t atA = size_t(g.vertices[i]) * b.stride, atB = size_t(g.vertices[i + 1]) * b.stride;
        const BYTE *srcA = b.src + atA, *srcB = b.src + atB;
        BYTE *dstA = b.dst + atA, *dstB = b.dst + atB;
        const __m256 pos = Halves(Load3Or4(srcA, wide), Load3Or4(srcB, wide));
        const __m256 nrm =
            normal >= 0 ? Halves(Load3Or4(srcA + normal, wide), Load3Or4(srcB + normal, wide)) : _mm256_setzero_ps();
        Rows2 m;
        PairBlend<4>(&m, b.bones, inf, inf + count, count);
        const __m256 out = PairTransform(m, pos, m.r3);
        Store3(dstA, _mm256_castps256_ps128(out));
        Store3(dstB, _mm256_extractf128_ps(out, 1));
        if (normal < 0)
            continue;
        if (b.normalBones)
            PairBlend<3>(&m, b.normalBones, inf, inf + count, count);
        const __m256 outN = PairTransform(m, nrm, _mm256_setzero_ps());
        Store3(dstA + normal, _mm256_castps256_ps128(outN));
        Store3(dstB + normal, _mm256_extractf128_ps(outN, 1));
    }
    if (i < g.numVertices)
        FmaSkinOne(b, g.vertices[i], inf, count);
}

void Avx2Skin(const SkinBatch &b)
{
    ForEachGroup(b, [](auto count, const SkinBatch &b, const SkinGroup &g) { Avx2Group<count>(b, g); });
}

const SkinKernel kAvx2 = {"AVX2+FMA", Avx2Skin};

}  // namespace

const SkinKernel *Avx2SkinKernel()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? &kAvx2 : nullptr;
}

#else

const SkinKernel *Avx2SkinKernel() { return nullptr; }

#endif

}  // namespace tavrok::d3dx9mesh
