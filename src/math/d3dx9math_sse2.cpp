/*
 * d3dx9math_sse2.cpp - SSE2 variants of the hottest maths operations.
 *
 * A matrix row times a matrix is four broadcasts and three additions in the order the
 * scalar definition adds (((a0*B0 + a1*B1) + a2*B2) + a3*B3), and the build keeps
 * multiply and add separate (no fused multiply-add), so the results equal the scalar ones
 * bit for bit.  On processors without SSE2 this file offers no table.
 */
#include "math_variants.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace {

const float kEpsilon = 1.1920929e-7f;
const float kMinSquaredLength = 1.1754944e-38f;

inline __m128 Row(const D3DXMATRIX *m, int i) { return _mm_loadu_ps(m->m[i]); }

// (x, y, z, w) * M as one row: ((x*R0 + y*R1) + z*R2) + w*R3.
inline __m128 TransformRow(float x, float y, float z, float w, const D3DXMATRIX *m)
{
    __m128 r = _mm_mul_ps(_mm_set1_ps(x), Row(m, 0));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(y), Row(m, 1)));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(z), Row(m, 2)));
    return _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(w), Row(m, 3)));
}

D3DXMATRIX *Sse2MatrixMultiply(D3DXMATRIX *out, const D3DXMATRIX *m1, const D3DXMATRIX *m2)
{
    if (!out || !m1 || !m2)
        return nullptr;
    __m128 r[4];
    for (int i = 0; i < 4; ++i)
        r[i] = TransformRow(m1->m[i][0], m1->m[i][1], m1->m[i][2], m1->m[i][3], m2);
    for (int i = 0; i < 4; ++i)
        _mm_storeu_ps(out->m[i], r[i]);
    return out;
}

D3DXVECTOR3 *Sse2Vec3TransformCoord(D3DXVECTOR3 *out, const D3DXVECTOR3 *v, const D3DXMATRIX *m)
{
    if (!out || !v || !m)
        return nullptr;
    // The scalar form adds the fourth row last without multiplying it; 1*R3 is exact.
    __m128 r = _mm_mul_ps(_mm_set1_ps(v->x), Row(m, 0));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(v->y), Row(m, 1)));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(v->z), Row(m, 2)));
    r = _mm_add_ps(r, Row(m, 3));
    alignas(16) float f[4];
    _mm_store_ps(f, r);
    float d = f[3] - 1.0f;
    if (!(d >= -kEpsilon && d <= kEpsilon)) {
        float inv = 1.0f / f[3];
        r = _mm_mul_ps(r, _mm_set1_ps(inv));
        _mm_store_ps(f, r);
    }
    out->x = f[0];
    out->y = f[1];
    out->z = f[2];
    return out;
}

D3DXVECTOR3 *Sse2Vec3TransformNormal(D3DXVECTOR3 *out, const D3DXVECTOR3 *v, const D3DXMATRIX *m)
{
    if (!out || !v || !m)
        return nullptr;
    __m128 r = _mm_mul_ps(_mm_set1_ps(v->x), Row(m, 0));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(v->y), Row(m, 1)));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(v->z), Row(m, 2)));
    alignas(16) float f[4];
    _mm_store_ps(f, r);
    out->x = f[0];
    out->y = f[1];
    out->z = f[2];
    return out;
}

D3DXVECTOR4 *Sse2Vec4Transform(D3DXVECTOR4 *out, const D3DXVECTOR4 *v, const D3DXMATRIX *m)
{
    if (!out || !v || !m)
        return nullptr;
    _mm_storeu_ps(&out->x, TransformRow(v->x, v->y, v->z, v->w, m));
    return out;
}

D3DXVECTOR4 *Sse2Vec4Normalize(D3DXVECTOR4 *out, const D3DXVECTOR4 *v)
{
    if (!out || !v)
        return nullptr;
    __m128 x = _mm_loadu_ps(&v->x);
    float l = v->x * v->x + v->y * v->y + v->z * v->z + v->w * v->w;
    float d = l - 1.0f;
    if (d >= -kEpsilon && d <= kEpsilon) {
        _mm_storeu_ps(&out->x, x);
    } else if (l < kMinSquaredLength) {
        _mm_storeu_ps(&out->x, _mm_setzero_ps());
    } else {
        float s = 1.0f / _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(l)));
        _mm_storeu_ps(&out->x, _mm_mul_ps(x, _mm_set1_ps(s)));
    }
    return out;
}

const SMathOps kSse2Ops = {
    "SSE2", Sse2MatrixMultiply, Sse2Vec3TransformCoord, Sse2Vec3TransformNormal, Sse2Vec4Transform, Sse2Vec4Normalize,
};

}  // namespace

const SMathOps *Sse2MathOps() { return __builtin_cpu_supports("sse2") ? &kSse2Ops : nullptr; }

#else

const SMathOps *Sse2MathOps() { return nullptr; }

#endif
