/*
 * d3dx9math.cpp - the scalar definitions of the D3DX maths operations and the choice of
 * variant.
 *
 * Each operation is a straight-line computation without allocation.  Results are formed
 * in temporaries where the output may alias an input.  Sums run left to right in the
 * order the formulas give, so that the SSE2 variants, which add in the same order, give
 * bit-identical results.
 */
#include "math_variants.h"
#include <tavrok/half_float.h>

#include <d3d9.h>
#include <windows.h>

#include <float.h>
#include <stdio.h>

#include <initializer_list>

namespace {

const float kEpsilon = 1.1920929e-7f;        // single-precision machine epsilon
const float kMinSquaredLength = 1.1754944e-38f;  // smallest normal float

bool EqualWithinTolerance(float a, float b)
{
    float d = a - b;
    return d >= -kEpsilon && d <= kEpsilon;
}

D3DXMATRIX *ScalarMatrixMultiply(D3DXMATRIX *out, const D3DXMATRIX *m1, const D3DXMATRIX *m2)
{
    if (!out || !m1 || !m2)
        return nullptr;
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = m1->m[i][0] * m2->m[0][j] + m1->m[i][1] * m2->m[1][j] + m1->m[i][2] * m2->m[2][j] +
                        m1->m[i][3] * m2->m[3][j];
    *out = r;
    return out;
}

D3DXVECTOR3 *ScalarVec3TransformCoord(D3DXVECTOR3 *out, const D3DXVECTOR3 *v, const D3DXMATRIX *m)
{
    if (!out || !v || !m)
        return nullptr;
    float x = v->x * m->_11 + v->y * m->_21 + v->z * m->_31 + m->_41;
    float y = v->x * m->_12 + v->y * m->_22 + v->z * m->_32 + m->_42;
    float z = v->x * m->_13 + v->y * m->_23 + v->z * m->_33 + m->_43;
    float w = v->x * m->_14 + v->y * m->_24 + v->z * m->_34 + m->_44;
    if (!EqualWithinTolerance(w, 1.0f)) {
        float inv = 1.0f / w;
        x *= inv;
        y *= inv;
        z *= inv;
    }
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

D3DXVECTOR3 *ScalarVec3TransformNormal(D3DXVECTOR3 *out, const D3DXVECTOR3 *v, const D3DXMATRIX *m)
{
    if (!out || !v || !m)
        return nullptr;
    float x = v->x * m->_11 + v->y * m->_21 + v->z * m->_31;
    float y = v->x * m->_12 + v->y * m->_22 + v->z * m->_32;
    float z = v->x * m->_13 + v->y * m->_23 + v->z * m->_33;
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

D3DXVECTOR4 *ScalarVec4Transform(D3DXVECTOR4 *out, const D3DXVECTOR4 *v, const D3DXMATRIX *m)
{
    if (!out || !v || !m)
        return nullptr;
    D3DXVECTOR4 r;
    r.x = v->x * m->_11 + v->y * m->_21 + v->z * m->_31 + v->w * m->_41;
    r.y = v->x * m->_12 + v->y * m->_22 + v->z * m->_32 + v->w * m->_42;
    r.z = v->x * m->_13 + v->y * m->_23 + v->z * m->_33 + v->w * m->_43;
    r.w = v->x * m->_14 + v->y * m->_24 + v->z * m->_34 + v->w * m->_44;
    *out = r;
    return out;
}

D3DXVECTOR4 *ScalarVec4Normalize(D3DXVECTOR4 *out, const D3DXVECTOR4 *v)
{
    if (!out || !v)
        return nullptr;
    float l = v->x * v->x + v->y * v->y + v->z * v->z + v->w * v->w;
    if (EqualWithinTolerance(l, 1.0f)) {
        *out = *v;
    } else if (l < kMinSquaredLength) {
        *out = D3DXVECTOR4(0.0f, 0.0f, 0.0f, 0.0f);
    } else {
        float s = 1.0f / sqrtf(l);
        *out = D3DXVECTOR4(v->x * s, v->y * s, v->z * s, v->w * s);
    }
    return out;
}

// One processor-feature or registry value that forces the scalar variants.
bool RegistryFlagSet(const char *name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Direct3D", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD value = 0, type = 0, size = sizeof value;
    LSTATUS status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD && value != 0;
}

}  // namespace

const SMathOps g_scalarMathOps = {
    "x87", ScalarMatrixMultiply, ScalarVec3TransformCoord, ScalarVec3TransformNormal, ScalarVec4Transform,
    ScalarVec4Normalize,
};

namespace {

const SMathOps *SelectMathOps()
{
    const SMathOps *chosen = &g_scalarMathOps;
    const SMathOps *sse2 = Sse2MathOps();
    if (sse2 && !ProcessorVariantsDisabled())
        chosen = sse2;
    char line[64];
    snprintf(line, sizeof line, "(INFO) Using %s Instructions\n", chosen->name);
    OutputDebugStringA(line);
    return chosen;
}

// The table in use; null until the first operation chooses it.  The program is
// single-threaded, so a plain pointer suffices and the hot path is one load and a branch.
const SMathOps *g_activeOps = nullptr;

inline const SMathOps &Ops()
{
    if (__builtin_expect(g_activeOps == nullptr, 0))
        g_activeOps = SelectMathOps();
    return *g_activeOps;
}

}  // namespace

const SMathOps &ActiveMathOps() { return Ops(); }

bool ProcessorVariantsDisabled() { return RegistryFlagSet("DisablePSGP") || RegistryFlagSet("DisableD3DXPSGP"); }

D3DXVECTOR3 *WINAPI D3DXVec3Normalize(D3DXVECTOR3 *out, const D3DXVECTOR3 *v)
{
    if (!out || !v)
        return nullptr;
    float l = v->x * v->x + v->y * v->y + v->z * v->z;
    if (EqualWithinTolerance(l, 1.0f)) {
        *out = *v;
    } else if (l < kMinSquaredLength) {
        *out = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    } else {
        float s = 1.0f / sqrtf(l);
        *out = D3DXVECTOR3(v->x * s, v->y * s, v->z * s);
    }
    return out;
}

D3DXVECTOR4 *WINAPI D3DXVec4Normalize(D3DXVECTOR4 *out, const D3DXVECTOR4 *v)
{
    return Ops().Vec4Normalize(out, v);
}

D3DXVECTOR3 *WINAPI D3DXVec3TransformCoord(D3DXVECTOR3 *out, const D3DXVECTOR3 *v, const D3DXMATRIX *m)
{
    return Ops().Vec3TransformCoord(out, v, m);
}

D3DXVECTOR3 *WINAPI D3DXVec3TransformNormal(D3DXVECTOR3 *out, const D3DXVECTOR3 *v, const D3DXMATRIX *m)
{
    return Ops().Vec3TransformNormal(out, v, m);
}

D3DXVECTOR4 *WINAPI D3DXVec3Transform(D3DXVECTOR4 *out, const D3DXVECTOR3 *v, const D3DXMATRIX *m)
{
    if (!out || !v || !m)
        return nullptr;
    D3DXVECTOR4 v4(*v, 1.0f);
    return Ops().Vec4Transform(out, &v4, m);
}

D3DXVECTOR4 *WINAPI D3DXVec4Transform(D3DXVECTOR4 *out, const D3DXVECTOR4 *v, const D3DXMATRIX *m)
{
    return Ops().Vec4Transform(out, v, m);
}

D3DXMATRIX *WINAPI D3DXMatrixMultiply(D3DXMATRIX *out, const D3DXMATRIX *m1, const D3DXMATRIX *m2)
{
    return Ops().MatrixMultiply(out, m1, m2);
}

D3DXMATRIX *WINAPI D3DXMatrixTranspose(D3DXMATRIX *out, const D3DXMATRIX *m)
{
    if (!out || !m)
        return nullptr;
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = m->m[j][i];
    *out = r;
    return out;
}

namespace {

// The 2x2 minors of the lower two rows and the upper two rows, shared by the determinant
// and the adjugate (Laplace expansion by complementary minors).
struct Minors {
    float s[6], c[6];
    explicit Minors(const D3DXMATRIX &a)
    {
        s[0] = a._11 * a._22 - a._21 * a._12;
        s[1] = a._11 * a._23 - a._21 * a._13;
        s[2] = a._11 * a._24 - a._21 * a._14;
        s[3] = a._12 * a._23 - a._22 * a._13;
        s[4] = a._12 * a._24 - a._22 * a._14;
        s[5] = a._13 * a._24 - a._23 * a._14;
        c[5] = a._33 * a._44 - a._43 * a._34;
        c[4] = a._32 * a._44 - a._42 * a._34;
        c[3] = a._32 * a._43 - a._42 * a._33;
        c[2] = a._31 * a._44 - a._41 * a._34;
        c[1] = a._31 * a._43 - a._41 * a._33;
        c[0] = a._31 * a._42 - a._41 * a._32;
    }
    float Determinant() const
    {
        return s[0] * c[5] - s[1] * c[4] + s[2] * c[3] + s[3] * c[2] - s[4] * c[1] + s[5] * c[0];
    }
};

}  // namespace

FLOAT WINAPI D3DXMatrixDeterminant(const D3DXMATRIX *m)
{
    return m ? Minors(*m).Determinant() : 0.0f;
}

D3DXMATRIX *WINAPI D3DXMatrixInverse(D3DXMATRIX *out, FLOAT *determinant, const D3DXMATRIX *m)
{
    if (!out || !m)
        return nullptr;
    const D3DXMATRIX &a = *m;
    Minors mn(a);
    const float *s = mn.s, *c = mn.c;
    float det = mn.Determinant();
    if (determinant)
        *determinant = det;
    if (det == 0.0f)
        return nullptr;
    float inv = 1.0f / det;
    if (!isfinite(inv))
        return nullptr;
    D3DXMATRIX r;
    r._11 = (a._22 * c[5] - a._23 * c[4] + a._24 * c[3]) * inv;
    r._12 = (-a._12 * c[5] + a._13 * c[4] - a._14 * c[3]) * inv;
    r._13 = (a._42 * s[5] - a._43 * s[4] + a._44 * s[3]) * inv;
    r._14 = (-a._32 * s[5] + a._33 * s[4] - a._34 * s[3]) * inv;
    r._21 = (-a._21 * c[5] + a._23 * c[2] - a._24 * c[1]) * inv;
    r._22 = (a._11 * c[5] - a._13 * c[2] + a._14 * c[1]) * inv;
    r._23 = (-a._41 * s[5] + a._43 * s[2] - a._44 * s[1]) * inv;
    r._24 = (a._31 * s[5] - a._33 * s[2] + a._34 * s[1]) * inv;
    r._31 = (a._21 * c[4] - a._22 * c[2] + a._24 * c[0]) * inv;
    r._32 = (-a._11 * c[4] + a._12 * c[2] - a._14 * c[0]) * inv;
    r._33 = (a._41 * s[4] - a._42 * s[2] + a._44 * s[0]) * inv;
    r._34 = (-a._31 * s[4] + a._32 * s[2] - a._34 * s[0]) * inv;
    r._41 = (-a._21 * c[3] + a._22 * c[1] - a._23 * c[0]) * inv;
    r._42 = (a._11 * c[3] - a._12 * c[1] + a._13 * c[0]) * inv;
    r._43 = (-a._41 * s[3] + a._42 * s[1] - a._43 * s[0]) * inv;
    r._44 = (a._31 * s[3] - a._32 * s[1] + a._33 * s[0]) * inv;
    *out = r;
    return out;
}

D3DXMATRIX *WINAPI D3DXMatrixTranslation(D3DXMATRIX *out, FLOAT x, FLOAT y, FLOAT z)
{
    if (!D3DXMatrixIdentity(out))
        return nullptr;
    out->_41 = x;
    out->_42 = y;
    out->_43 = z;
    return out;
}

D3DXMATRIX *WINAPI D3DXMatrixScaling(D3DXMATRIX *out, FLOAT sx, FLOAT sy, FLOAT sz)
{
    if (!D3DXMatrixIdentity(out))
        return nullptr;
    out->_11 = sx;
    out->_22 = sy;
    out->_33 = sz;
    return out;
}

D3DXMATRIX *WINAPI D3DXMatrixRotationX(D3DXMATRIX *out, FLOAT angle)
{
    if (!D3DXMatrixIdentity(out))
        return nullptr;
    float c = cosf(angle), s = sinf(angle);
    out->_22 = c;
    out->_23 = s;
    out->_32 = -s;
    out->_33 = c;
    return out;
}

D3DXMATRIX *WINAPI D3DXMatrixRotationY(D3DXMATRIX *out, FLOAT angle)
{
    if (!D3DXMatrixIdentity(out))
        return nullptr;
    float c = cosf(angle), s = sinf(angle);
    out->_11 = c;
    out->_13 = -s;
    out->_31 = s;
    out->_33 = c;
    return out;
}

D3DXMATRIX *WINAPI D3DXMatrixRotationZ(D3DXMATRIX *out, FLOAT angle)
{
    if (!D3DXMatrixIdentity(out))
        return nullptr;
    float c = cosf(angle), s = sinf(angle);
    out->_11 = c;
    out->_12 = s;
    out->_21 = -s;
    out->_22 = c;
    return out;
}

D3DXMATRIX *WINAPI D3DXMatrixRotationAxis(D3DXMATRIX *out, const D3DXVECTOR3 *axis, FLOAT angle)
{
    if (!out || !axis)
        return nullptr;
    D3DXVECTOR3 n;
    D3DXVec3Normalize(&n, axis);
    float c = cosf(angle), s = sinf(angle), t = 1.0f - c;
    float x = n.x, y = n.y, z = n.z;
    *out = D3DXMATRIX(t * x * x + c, t * x * y + s * z, t * x * z - s * y, 0.0f,
                      t * x * y - s * z, t * y * y + c, t * y * z + s * x, 0.0f,
                      t * x * z + s * y, t * y * z - s * x, t * z * z + c, 0.0f,
                      0.0f, 0.0f, 0.0f, 1.0f);
    return out;
}

D3DXMATRIX *WINAPI D3DXMatrixRotationQuaternion(D3DXMATRIX *out, const D3DXQUATERNION *q)
{
    if (!out || !q)
        return nullptr;
    float x = q->x, y = q->y, z = q->z, w = q->w;
    *out = D3DXMATRIX(1.0f - 2.0f * y * y - 2.0f * z * z, 2.0f * x * y + 2.0f * z * w, 2.0f * x * z - 2.0f * y * w, 0.0f,
                      2.0f * x * y - 2.0f * z * w, 1.0f - 2.0f * x * x - 2.0f * z * z, 2.0f * y * z + 2.0f * x * w, 0.0f,
                      2.0f * x * z + 2.0f * y * w, 2.0f * y * z - 2.0f * x * w, 1.0f - 2.0f * x * x - 2.0f * y * y, 0.0f,
                      0.0f, 0.0f, 0.0f, 1.0f);
    return out;
}

D3DXQUATERNION *WINAPI D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION *out, FLOAT yaw, FLOAT pitch, FLOAT roll)
{
    if (!out)
        return nullptr;
    float sy = sinf(yaw * 0.5f), cy = cosf(yaw * 0.5f);
    float sp = sinf(pitch * 0.5f), cp = cosf(pitch * 0.5f);
    float sr = sinf(roll * 0.5f), cr = cosf(roll * 0.5f);
    out->x = cy * sp * cr + sy * cp * sr;
    out->y = sy * cp * cr - cy * sp * sr;
    out->z = cy * cp * sr - sy * sp * cr;
    out->w = cy * cp * cr + sy * sp * sr;
    return out;
}

D3DXMATRIX *WINAPI D3DXMatrixRotationYawPitchRoll(D3DXMATRIX *out, FLOAT yaw, FLOAT pitch, FLOAT roll)
{
    if (!out)
        return nullptr;
    D3DXQUATERNION q;
    D3DXQuaternionRotationYawPitchRoll(&q, yaw, pitch, roll);
    return D3DXMatrixRotationQuaternion(out, &q);
}

D3DXQUATERNION *WINAPI D3DXQuaternionSlerp(D3DXQUATERNION *out, const D3DXQUATERNION *q1,
                                           const D3DXQUATERNION *q2, FLOAT t)
{
    if (!out || !q1 || !q2)
        return nullptr;
    float d = q1->x * q2->x + q1->y * q2->y + q1->z * q2->z + q1->w * q2->w;
    float sign = d < 0.0f ? -1.0f : 1.0f;
    float cosTheta = sign * d;
    float w1, w2;
    if (1.0f - cosTheta <= kEpsilon) {
        // Nearly the same rotation: linear weights avoid dividing by a tiny sine.
        w1 = 1.0f - t;
        w2 = t;
    } else {
        float sinTheta = sqrtf(1.0f - cosTheta * cosTheta);
        float theta = atan2f(sinTheta, cosTheta);
        w1 = sinf((1.0f - t) * theta) / sinTheta;
        w2 = sinf(t * theta) / sinTheta;
    }
    w2 *= sign;
    D3DXQUATERNION r(w1 * q1->x + w2 * q2->x, w1 * q1->y + w2 * q2->y, w1 * q1->z + w2 * q2->z,
                     w1 * q1->w + w2 * q2->w);
    *out = r;
    return out;
}

D3DXQUATERNION *WINAPI D3DXQuaternionNormalize(D3DXQUATERNION *out, const D3DXQUATERNION *q)
{
    if (!out || !q)
        return nullptr;
    D3DXVECTOR4 v(q->x, q->y, q->z, q->w);
    ScalarVec4Normalize(&v, &v);
    *out = D3DXQUATERNION(v.x, v.y, v.z, v.w);
    return out;
}

D3DXQUATERNION *WINAPI D3DXQuaternionRotationAxis(D3DXQUATERNION *out, const D3DXVECTOR3 *axis, FLOAT angle)
{
    if (!out || !axis)
        return nullptr;
    D3DXVECTOR3 n;
    D3DXVec3Normalize(&n, axis);
    float s = sinf(angle * 0.5f);
    *out = D3DXQUATERNION(n.x * s, n.y * s, n.z * s, cosf(angle * 0.5f));
    return out;
}

D3DXQUATERNION *WINAPI D3DXQuaternionMultiply(D3DXQUATERNION *out, const D3DXQUATERNION *q1,
                                              const D3DXQUATERNION *q2)
{
    // D3DX order: the result rotates by q1 first, then by q2 (q2 * q1 in Hamilton terms).
    if (!out || !q1 || !q2)
        return nullptr;
    const D3DXQUATERNION &a = *q2, &b = *q1;
    D3DXQUATERNION r(a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
                     a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                     a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
                     a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z);
    *out = r;
    return out;
}

D3DXMATRIX *WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX *out, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf)
{
    if (!out || fovy == 0.0f || aspect == 0.0f || zf - zn == 0.0f)
        return nullptr;
    float h = cosf(fovy / 2.0f) / sinf(fovy / 2.0f);
    memset(static_cast<D3DMATRIX *>(out), 0, sizeof(D3DMATRIX));
    out->_11 = h / aspect;
    out->_22 = h;
    out->_33 = zf / (zf - zn);
    out->_34 = 1.0f;
    out->_43 = -zn * zf / (zf - zn);
    return out;
}

namespace {

// The view from `eye` towards `at`; a right-handed view looks down its -z, so its z axis
// runs from the target back to the eye.
D3DXMATRIX *LookAt(D3DXMATRIX *out, const D3DXVECTOR3 *eye, const D3DXVECTOR3 *at, const D3DXVECTOR3 *up, bool right)
{
    if (!out || !eye || !at || !up)
        return nullptr;
    D3DXVECTOR3 zaxis = right ? *eye - *at : *at - *eye, xaxis, yaxis;
    D3DXVec3Normalize(&zaxis, &zaxis);
    D3DXVec3Cross(&xaxis, up, &zaxis);
    D3DXVec3Normalize(&xaxis, &xaxis);
    D3DXVec3Cross(&yaxis, &zaxis, &xaxis);
    *out = D3DXMATRIX(xaxis.x, yaxis.x, zaxis.x, 0.0f, xaxis.y, yaxis.y, zaxis.y, 0.0f, xaxis.z, yaxis.z, zaxis.z,
                      0.0f, -D3DXVec3Dot(&xaxis, eye), -D3DXVec3Dot(&yaxis, eye), -D3DXVec3Dot(&zaxis, eye), 1.0f);
    return out;
}

}  // namespace

D3DXMATRIX *WINAPI D3DXMatrixLookAtLH(D3DXMATRIX *out, const D3DXVECTOR3 *eye, const D3DXVECTOR3 *at,
                                      const D3DXVECTOR3 *up)
{
    return LookAt(out, eye, at, up, false);
}

D3DXMATRIX *WINAPI D3DXMatrixOrthoOffCenterLH(D3DXMATRIX *out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn,
                                              FLOAT zf)
{
    if (!D3DXMatrixIdentity(out))
        return nullptr;
    out->_11 = 2.0f / (r - l);
    out->_22 = 2.0f / (t - b);
    out->_33 = 1.0f / (zf - zn);
    out->_41 = (l + r) / (l - r);
    out->_42 = (t + b) / (b - t);
    out->_43 = zn / (zn - zf);
    return out;
}

D3DXMATRIX *WINAPI D3DXMatrixLookAtRH(D3DXMATRIX *out, const D3DXVECTOR3 *eye, const D3DXVECTOR3 *at,
                                      const D3DXVECTOR3 *up)
{
    return LookAt(out, eye, at, up, true);
}

namespace {

// A perspective projection with the given x and y scales; right-handed ones look down -z.
D3DXMATRIX *Perspective(D3DXMATRIX *out, FLOAT xs, FLOAT ys, FLOAT zn, FLOAT zf, bool right)
{
    if (!out || zf == zn)
        return nullptr;
    memset(static_cast<D3DMATRIX *>(out), 0, sizeof(D3DMATRIX));
    out->_11 = xs;
    out->_22 = ys;
    out->_33 = right ? zf / (zn - zf) : zf / (zf - zn);
    out->_34 = right ? -1.0f : 1.0f;
    out->_43 = right ? zn * zf / (zn - zf) : -zn * zf / (zf - zn);
    return out;
}

D3DXMATRIX *Ortho(D3DXMATRIX *out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf, bool right)
{
    if (!out || l == r || b == t || zn == zf || !D3DXMatrixOrthoOffCenterLH(out, l, r, b, t, zn, zf))
        return nullptr;
    if (right)
        out->_33 = 1.0f / (zn - zf);
    return out;
}

}  // namespace

D3DXMATRIX *WINAPI D3DXMatrixPerspectiveFovRH(D3DXMATRIX *out, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf)
{
    if (fovy == 0.0f || aspect == 0.0f)
        return nullptr;
    float h = cosf(fovy / 2.0f) / sinf(fovy / 2.0f);
    return Perspective(out, h / aspect, h, zn, zf, true);
}

D3DXMATRIX *WINAPI D3DXMatrixPerspectiveLH(D3DXMATRIX *out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf)
{
    return w == 0.0f || h == 0.0f ? nullptr : Perspective(out, 2.0f * zn / w, 2.0f * zn / h, zn, zf, false);
}

D3DXMATRIX *WINAPI D3DXMatrixPerspectiveRH(D3DXMATRIX *out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf)
{
    return w == 0.0f || h == 0.0f ? nullptr : Perspective(out, 2.0f * zn / w, 2.0f * zn / h, zn, zf, true);
}

D3DXMATRIX *WINAPI D3DXMatrixOrthoLH(D3DXMATRIX *out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf)
{
    return Ortho(out, -w / 2, w / 2, -h / 2, h / 2, zn, zf, false);
}

D3DXMATRIX *WINAPI D3DXMatrixOrthoRH(D3DXMATRIX *out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf)
{
    return Ortho(out, -w / 2, w / 2, -h / 2, h / 2, zn, zf, true);
}

D3DXMATRIX *WINAPI D3DXMatrixOrthoOffCenterRH(D3DXMATRIX *out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn,
                                              FLOAT zf)
{
    return Ortho(out, l, r, b, t, zn, zf, true);
}

namespace {

// world x view x projection, null matrices skipped.
D3DXMATRIX Chain(const D3DXMATRIX *projection, const D3DXMATRIX *view, const D3DXMATRIX *world)
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    for (const D3DXMATRIX *next : {world, view, projection})
        if (next)
            D3DXMatrixMultiply(&m, &m, next);
    return m;
}

}  // namespace

namespace {

// v through m (the chain of world, view and projection) and then the viewport.
D3DXVECTOR3 ProjectThrough(const D3DXMATRIX &m, const D3DVIEWPORT9 *viewport, const D3DXVECTOR3 &v)
{
    D3DXVECTOR3 p;
    D3DXVec3TransformCoord(&p, &v, &m);
    if (viewport) {
        p.x = float(viewport->X) + (1.0f + p.x) * float(viewport->Width) / 2.0f;
        p.y = float(viewport->Y) + (1.0f - p.y) * float(viewport->Height) / 2.0f;
        p.z = viewport->MinZ + p.z * (viewport->MaxZ - viewport->MinZ);
    }
    return p;
}

// A viewport point back through the viewport and then `inverse`, the chain's inverse.
D3DXVECTOR3 UnprojectThrough(const D3DXMATRIX &inverse, const D3DVIEWPORT9 *viewport, const D3DXVECTOR3 &v)
{
    D3DXVECTOR3 p = v, out;
    if (viewport) {
        p.x = 2.0f * (p.x - float(viewport->X)) / float(viewport->Width) - 1.0f;
        p.y = 1.0f - 2.0f * (p.y - float(viewport->Y)) / float(viewport->Height);
        p.z = (p.z - viewport->MinZ) / (viewport->MaxZ - viewport->MinZ);
    }
    D3DXVec3TransformCoord(&out, &p, &inverse);
    return out;
}

}  // namespace

D3DXVECTOR3 *WINAPI D3DXVec3Project(D3DXVECTOR3 *out, const D3DXVECTOR3 *v, const D3DVIEWPORT9 *viewport,
                                    const D3DXMATRIX *projection, const D3DXMATRIX *view, const D3DXMATRIX *world)
{
    if (!out || !v)
        return nullptr;
    *out = ProjectThrough(Chain(projection, view, world), viewport, *v);
    return out;
}

D3DXVECTOR3 *WINAPI D3DXVec3Unproject(D3DXVECTOR3 *out, const D3DXVECTOR3 *v, const D3DVIEWPORT9 *viewport,
                                      const D3DXMATRIX *projection, const D3DXMATRIX *view, const D3DXMATRIX *world)
{
    if (!out || !v)
        return nullptr;
    D3DXMATRIX m = Chain(projection, view, world);
    if (!D3DXMatrixInverse(&m, nullptr, &m))
        return nullptr;
    *out = UnprojectThrough(m, viewport, *v);
    return out;
}

FLOAT WINAPI D3DXPlaneDotCoord(const D3DXPLANE *p, const D3DXVECTOR3 *v)
{
    return p && v ? p->a * v->x + p->b * v->y + p->c * v->z + p->d : 0.0f;
}

FLOAT WINAPI D3DXPlaneDotNormal(const D3DXPLANE *p, const D3DXVECTOR3 *v)
{
    return p && v ? p->a * v->x + p->b * v->y + p->c * v->z : 0.0f;
}

FLOAT WINAPI D3DXPlaneDot(const D3DXPLANE *p, const D3DXVECTOR4 *v)
{
    return p && v ? p->a * v->x + p->b * v->y + p->c * v->z + p->d * v->w : 0.0f;
}

D3DXPLANE *WINAPI D3DXPlaneNormalize(D3DXPLANE *out, const D3DXPLANE *p)
{
    if (!out || !p)
        return nullptr;
    float length = sqrtf(p->a * p->a + p->b * p->b + p->c * p->c);
    float scale = length > 0.0f ? 1.0f / length : 0.0f;
    *out = D3DXPLANE(p->a * scale, p->b * scale, p->c * scale, p->d * scale);
    return out;
}

D3DXPLANE *WINAPI D3DXPlaneFromPointNormal(D3DXPLANE *out, const D3DXVECTOR3 *point, const D3DXVECTOR3 *normal)
{
    if (!out || !point || !normal)
        return nullptr;
    *out = D3DXPLANE(normal->x, normal->y, normal->z, -D3DXVec3Dot(point, normal));
    return out;
}

D3DXPLANE *WINAPI D3DXPlaneFromPoints(D3DXPLANE *out, const D3DXVECTOR3 *v1, const D3DXVECTOR3 *v2,
                                      const D3DXVECTOR3 *v3)
{
    if (!out || !v1 || !v2 || !v3)
        return nullptr;
    D3DXVECTOR3 e1 = *v2 - *v1, e2 = *v3 - *v1, n;
    D3DXVec3Cross(&n, &e1, &e2);
    D3DXVec3Normalize(&n, &n);
    return D3DXPlaneFromPointNormal(out, v1, &n);
}

D3DXVECTOR3 *WINAPI D3DXPlaneIntersectLine(D3DXVECTOR3 *out, const D3DXPLANE *p, const D3DXVECTOR3 *v1,
                                           const D3DXVECTOR3 *v2)
{
    if (!out || !p || !v1 || !v2)
        return nullptr;
    D3DXVECTOR3 direction = *v2 - *v1;
    float along = D3DXPlaneDotNormal(p, &direction);
    if (along == 0.0f)
        return nullptr;
    *out = *v1 + direction * (-D3DXPlaneDotCoord(p, v1) / along);
    return out;
}

D3DXVECTOR2 *WINAPI D3DXVec2Normalize(D3DXVECTOR2 *out, const D3DXVECTOR2 *v)
{
    if (!out || !v)
        return nullptr;
    D3DXVECTOR3 v3(v->x, v->y, 0.0f);
    D3DXVec3Normalize(&v3, &v3);
    *out = D3DXVECTOR2(v3.x, v3.y);
    return out;
}

D3DXVECTOR4 *WINAPI D3DXVec2Transform(D3DXVECTOR4 *out, const D3DXVECTOR2 *v, const D3DXMATRIX *m)
{
    if (!out || !v || !m)
        return nullptr;
    D3DXVECTOR4 v4(v->x, v->y, 0.0f, 1.0f);
    return D3DXVec4Transform(out, &v4, m);
}

D3DXVECTOR2 *WINAPI D3DXVec2TransformCoord(D3DXVECTOR2 *out, const D3DXVECTOR2 *v, const D3DXMATRIX *m)
{
    if (!out || !v || !m)
        return nullptr;
    D3DXVECTOR3 v3(v->x, v->y, 0.0f);
    D3DXVec3TransformCoord(&v3, &v3, m);
    *out = D3DXVECTOR2(v3.x, v3.y);
    return out;
}

D3DXVECTOR2 *WINAPI D3DXVec2TransformNormal(D3DXVECTOR2 *out, const D3DXVECTOR2 *v, const D3DXMATRIX *m)
{
    if (!out || !v || !m)
        return nullptr;
    D3DXVECTOR3 v3(v->x, v->y, 0.0f);
    D3DXVec3TransformNormal(&v3, &v3, m);
    *out = D3DXVECTOR2(v3.x, v3.y);
    return out;
}

namespace {

// The curves are defined per component; these run them over 2 or 3 floats.
template <int N> void BaryCentric(float *out, const float *v1, const float *v2, const float *v3, float f, float g)
{
    for (int i = 0; i < N; ++i)
        out[i] = v1[i] + f * (v2[i] - v1[i]) + g * (v3[i] - v1[i]);
}

template <int N>
void CatmullRom(float *out, const float *v0, const float *v1, const float *v2, const float *v3, float s)
{
    float s2 = s * s, s3 = s2 * s;
    for (int i = 0; i < N; ++i)
        out[i] = 0.5f * (2.0f * v1[i] + (v2[i] - v0[i]) * s + (2.0f * v0[i] - 5.0f * v1[i] + 4.0f * v2[i] - v3[i]) * s2 +
                         (3.0f * v1[i] - v0[i] - 3.0f * v2[i] + v3[i]) * s3);
}

template <int N> void Hermite(float *out, const float *v1, const float *t1, const float *v2, const float *t2, float s)
{
    float s2 = s * s, s3 = s2 * s;
    float h1 = 2.0f * s3 - 3.0f * s2 + 1.0f, h2 = s3 - 2.0f * s2 + s, h3 = -2.0f * s3 + 3.0f * s2, h4 = s3 - s2;
    for (int i = 0; i < N; ++i)
        out[i] = h1 * v1[i] + h2 * t1[i] + h3 * v2[i] + h4 * t2[i];
}

}  // namespace

D3DXVECTOR2 *WINAPI D3DXVec2BaryCentric(D3DXVECTOR2 *out, const D3DXVECTOR2 *v1, const D3DXVECTOR2 *v2,
                                        const D3DXVECTOR2 *v3, FLOAT f, FLOAT g)
{
    if (!out || !v1 || !v2 || !v3)
        return nullptr;
    BaryCentric<2>(*out, *v1, *v2, *v3, f, g);
    return out;
}

D3DXVECTOR3 *WINAPI D3DXVec3BaryCentric(D3DXVECTOR3 *out, const D3DXVECTOR3 *v1, const D3DXVECTOR3 *v2,
                                        const D3DXVECTOR3 *v3, FLOAT f, FLOAT g)
{
    if (!out || !v1 || !v2 || !v3)
        return nullptr;
    BaryCentric<3>(*out, *v1, *v2, *v3, f, g);
    return out;
}

D3DXVECTOR2 *WINAPI D3DXVec2CatmullRom(D3DXVECTOR2 *out, const D3DXVECTOR2 *v0, const D3DXVECTOR2 *v1,
                                       const D3DXVECTOR2 *v2, const D3DXVECTOR2 *v3, FLOAT s)
{
    if (!out || !v0 || !v1 || !v2 || !v3)
        return nullptr;
    CatmullRom<2>(*out, *v0, *v1, *v2, *v3, s);
    return out;
}

D3DXVECTOR3 *WINAPI D3DXVec3CatmullRom(D3DXVECTOR3 *out, const D3DXVECTOR3 *v0, const D3DXVECTOR3 *v1,
                                       const D3DXVECTOR3 *v2, const D3DXVECTOR3 *v3, FLOAT s)
{
    if (!out || !v0 || !v1 || !v2 || !v3)
        return nullptr;
    CatmullRom<3>(*out, *v0, *v1, *v2, *v3, s);
    return out;
}

D3DXVECTOR2 *WINAPI D3DXVec2Hermite(D3DXVECTOR2 *out, const D3DXVECTOR2 *v1, const D3DXVECTOR2 *t1,
                                    const D3DXVECTOR2 *v2, const D3DXVECTOR2 *t2, FLOAT s)
{
    if (!out || !v1 || !t1 || !v2 || !t2)
        return nullptr;
    Hermite<2>(*out, *v1, *t1, *v2, *t2, s);
    return out;
}

D3DXVECTOR3 *WINAPI D3DXVec3Hermite(D3DXVECTOR3 *out, const D3DXVECTOR3 *v1, const D3DXVECTOR3 *t1,
                                    const D3DXVECTOR3 *v2, const D3DXVECTOR3 *t2, FLOAT s)
{
    if (!out || !v1 || !t1 || !v2 || !t2)
        return nullptr;
    Hermite<3>(*out, *v1, *t1, *v2, *t2, s);
    return out;
}

namespace {

template <typename T> T *Step(T *p, UINT stride, UINT i)
{
    return reinterpret_cast<T *>(reinterpret_cast<char *>(p) + size_t(stride) * i);
}
template <typename T> const T *Step(const T *p, UINT stride, UINT i)
{
    return reinterpret_cast<const T *>(reinterpret_cast<const char *>(p) + size_t(stride) * i);
}

// out[i] = op(in[i]) for n elements `outStride` and `inStride` bytes apart.
template <typename Out, typename In, typename Op>
Out *Strided(Out *out, UINT outStride, const In *in, UINT inStride, UINT n, Op op)
{
    for (UINT i = 0; i < n; ++i)
        op(Step(out, outStride, i), Step(in, inStride, i));
    return out;
}

// The strided form of a one-element transform F(out, in, m).
template <auto F, typename Out, typename In>
Out *TransformArray(Out *out, UINT outStride, const In *in, UINT inStride, const D3DXMATRIX *m, UINT n)
{
    if (!out || !in || !m)
        return nullptr;
    return Strided(out, outStride, in, inStride, n, [m](Out *o, const In *i) { F(o, i, m); });
}

}  // namespace

D3DXVECTOR4 *WINAPI D3DXVec2TransformArray(D3DXVECTOR4 *out, UINT outStride, const D3DXVECTOR2 *v, UINT inStride,
                                           const D3DXMATRIX *m, UINT n)
{
    return TransformArray<D3DXVec2Transform>(out, outStride, v, inStride, m, n);
}

D3DXVECTOR2 *WINAPI D3DXVec2TransformCoordArray(D3DXVECTOR2 *out, UINT outStride, const D3DXVECTOR2 *v,
                                                UINT inStride, const D3DXMATRIX *m, UINT n)
{
    return TransformArray<D3DXVec2TransformCoord>(out, outStride, v, inStride, m, n);
}

D3DXVECTOR2 *WINAPI D3DXVec2TransformNormalArray(D3DXVECTOR2 *out, UINT outStride, const D3DXVECTOR2 *v,
                                                 UINT inStride, const D3DXMATRIX *m, UINT n)
{
    return TransformArray<D3DXVec2TransformNormal>(out, outStride, v, inStride, m, n);
}

D3DXVECTOR4 *WINAPI D3DXVec3TransformArray(D3DXVECTOR4 *out, UINT outStride, const D3DXVECTOR3 *v, UINT inStride,
                                           const D3DXMATRIX *m, UINT n)
{
    return TransformArray<D3DXVec3Transform>(out, outStride, v, inStride, m, n);
}

D3DXVECTOR3 *WINAPI D3DXVec3TransformCoordArray(D3DXVECTOR3 *out, UINT outStride, const D3DXVECTOR3 *v,
                                                UINT inStride, const D3DXMATRIX *m, UINT n)
{
    return TransformArray<D3DXVec3TransformCoord>(out, outStride, v, inStride, m, n);
}

D3DXVECTOR3 *WINAPI D3DXVec3TransformNormalArray(D3DXVECTOR3 *out, UINT outStride, const D3DXVECTOR3 *v,
                                                 UINT inStride, const D3DXMATRIX *m, UINT n)
{
    return TransformArray<D3DXVec3TransformNormal>(out, outStride, v, inStride, m, n);
}

D3DXVECTOR4 *WINAPI D3DXVec4TransformArray(D3DXVECTOR4 *out, UINT outStride, const D3DXVECTOR4 *v, UINT inStride,
                                           const D3DXMATRIX *m, UINT n)
{
    return TransformArray<D3DXVec4Transform>(out, outStride, v, inStride, m, n);
}

D3DXVECTOR3 *WINAPI D3DXVec3ProjectArray(D3DXVECTOR3 *out, UINT outStride, const D3DXVECTOR3 *v, UINT inStride,
                                         const D3DVIEWPORT9 *viewport, const D3DXMATRIX *projection,
                                         const D3DXMATRIX *view, const D3DXMATRIX *world, UINT n)
{
    if (!out || !v)
        return nullptr;
    const D3DXMATRIX m = Chain(projection, view, world);
    return Strided(out, outStride, v, inStride, n,
                   [&](D3DXVECTOR3 *o, const D3DXVECTOR3 *i) { *o = ProjectThrough(m, viewport, *i); });
}

D3DXVECTOR3 *WINAPI D3DXVec3UnprojectArray(D3DXVECTOR3 *out, UINT outStride, const D3DXVECTOR3 *v, UINT inStride,
                                           const D3DVIEWPORT9 *viewport, const D3DXMATRIX *projection,
                                           const D3DXMATRIX *view, const D3DXMATRIX *world, UINT n)
{
    if (!out || !v)
        return nullptr;
    D3DXMATRIX m = Chain(projection, view, world);
    if (!D3DXMatrixInverse(&m, nullptr, &m))
        return nullptr;
    return Strided(out, outStride, v, inStride, n,
                   [&](D3DXVECTOR3 *o, const D3DXVECTOR3 *i) { *o = UnprojectThrough(m, viewport, *i); });
}

D3DXVECTOR4 *WINAPI D3DXVec4Cross(D3DXVECTOR4 *out, const D3DXVECTOR4 *v1, const D3DXVECTOR4 *v2,
                                  const D3DXVECTOR4 *v3)
{
    if (!out || !v1 || !v2 || !v3)
        return nullptr;
    // The 2x2 minors of the last two vectors, then the cofactor expansion along the first.
    float a = v2->x * v3->y - v2->y * v3->x, b = v2->x * v3->z - v2->z * v3->x, c = v2->x * v3->w - v2->w * v3->x;
    float d = v2->y * v3->z - v2->z * v3->y, e = v2->y * v3->w - v2->w * v3->y, f = v2->z * v3->w - v2->w * v3->z;
    D3DXVECTOR4 r(v1->y * f - v1->z * e + v1->w * d, -v1->x * f + v1->z * c - v1->w * b,
                  v1->x * e - v1->y * c + v1->w * a, -v1->x * d + v1->y * b - v1->z * a);
    *out = r;
    return out;
}

namespace {

// Off-centre perspective; right-handed ones look down -z.
D3DXMATRIX *PerspectiveOffCenter(D3DXMATRIX *out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf, bool right)
{
    if (!out || l == r || b == t || zn == zf)
        return nullptr;
    memset(static_cast<D3DMATRIX *>(out), 0, sizeof(D3DMATRIX));
    out->_11 = 2.0f * zn / (r - l);
    out->_22 = 2.0f * zn / (t - b);
    out->_31 = right ? (l + r) / (r - l) : (l + r) / (l - r);
    out->_32 = right ? (t + b) / (t - b) : (t + b) / (b - t);
    out->_33 = right ? zf / (zn - zf) : zf / (zf - zn);
    out->_34 = right ? -1.0f : 1.0f;
    out->_43 = zn * zf / (zn - zf);
    return out;
}

}  // namespace

D3DXMATRIX *WINAPI D3DXMatrixPerspectiveOffCenterLH(D3DXMATRIX *out, FLOAT l, FLOAT r, FLOAT b, FLOAT t,
                                                    FLOAT zn, FLOAT zf)
{
    return PerspectiveOffCenter(out, l, r, b, t, zn, zf, false);
}

D3DXMATRIX *WINAPI D3DXMatrixPerspectiveOffCenterRH(D3DXMATRIX *out, FLOAT l, FLOAT r, FLOAT b, FLOAT t,
                                                    FLOAT zn, FLOAT zf)
{
    return PerspectiveOffCenter(out, l, r, b, t, zn, zf, true);
}

D3DXMATRIX *WINAPI D3DXMatrixMultiplyTranspose(D3DXMATRIX *out, const D3DXMATRIX *m1, const D3DXMATRIX *m2)
{
    if (!D3DXMatrixMultiply(out, m1, m2))
        return nullptr;
    return D3DXMatrixTranspose(out, out);
}

D3DXMATRIX *WINAPI D3DXMatrixReflect(D3DXMATRIX *out, const D3DXPLANE *plane)
{
    if (!out || !plane)
        return nullptr;
    D3DXPLANE p;
    D3DXPlaneNormalize(&p, plane);
    float a = p.a, b = p.b, c = p.c, d = p.d;
    *out = D3DXMATRIX(1.0f - 2.0f * a * a, -2.0f * b * a, -2.0f * c * a, 0.0f,
                      -2.0f * a * b, 1.0f - 2.0f * b * b, -2.0f * c * b, 0.0f,
                      -2.0f * a * c, -2.0f * b * c, 1.0f - 2.0f * c * c, 0.0f,
                      -2.0f * a * d, -2.0f * b * d, -2.0f * c * d, 1.0f);
    return out;
}

D3DXMATRIX *WINAPI D3DXMatrixShadow(D3DXMATRIX *out, const D3DXVECTOR4 *light, const D3DXPLANE *plane)
{
    if (!out || !light || !plane)
        return nullptr;
    // p * M = (p . P) L - (P . L) p: the point where the ray from the light through p meets
    // the plane, in homogeneous form.
    D3DXPLANE p;
    D3DXPlaneNormalize(&p, plane);
    const D3DXVECTOR4 l = *light;
    float d = -D3DXPlaneDot(&p, &l);
    const float pp[4] = {p.a, p.b, p.c, p.d}, ll[4] = {l.x, l.y, l.z, l.w};
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = pp[i] * ll[j] + (i == j ? d : 0.0f);
    *out = r;
    return out;
}

D3DXMATRIX *WINAPI D3DXMatrixAffineTransformation(D3DXMATRIX *out, FLOAT scaling, const D3DXVECTOR3 *rotationCenter,
                                                  const D3DXQUATERNION *rotation, const D3DXVECTOR3 *translation)
{
    D3DXVECTOR3 s(scaling, scaling, scaling);
    return D3DXMatrixTransformation(out, nullptr, nullptr, &s, rotationCenter, rotation, translation);
}

D3DXMATRIX *WINAPI D3DXMatrixTransformation(D3DXMATRIX *out, const D3DXVECTOR3 *scalingCenter,
                                            const D3DXQUATERNION *scalingRotation, const D3DXVECTOR3 *scaling,
                                            const D3DXVECTOR3 *rotationCenter, const D3DXQUATERNION *rotation,
                                            const D3DXVECTOR3 *translation)
{
    if (!out)
        return nullptr;
    // Msc^-1 Msr^-1 Ms Msr Msc Mrc^-1 Mr Mrc Mt, each factor left out when its part is null.
    D3DXMATRIX m, f;
    D3DXMatrixIdentity(&m);
    const D3DXVECTOR3 zero(0.0f, 0.0f, 0.0f);
    const D3DXVECTOR3 &sc = scalingCenter ? *scalingCenter : zero;
    const D3DXVECTOR3 &rc = rotationCenter ? *rotationCenter : zero;
    D3DXMATRIX sr, srInverse;
    D3DXMatrixIdentity(&sr);
    if (scalingRotation)
        D3DXMatrixRotationQuaternion(&sr, scalingRotation);
    D3DXMatrixTranspose(&srInverse, &sr);
    m = *D3DXMatrixTranslation(&f, -sc.x, -sc.y, -sc.z) * srInverse;
    if (scaling)
        m *= *D3DXMatrixScaling(&f, scaling->x, scaling->y, scaling->z);
    m *= sr;
    m *= *D3DXMatrixTranslation(&f, sc.x - rc.x, sc.y - rc.y, sc.z - rc.z);
    if (rotation)
        m *= *D3DXMatrixRotationQuaternion(&f, rotation);
    m *= *D3DXMatrixTranslation(&f, rc.x, rc.y, rc.z);
    if (translation)
        m *= *D3DXMatrixTranslation(&f, translation->x, translation->y, translation->z);
    *out = m;
    return out;
}

HRESULT WINAPI D3DXMatrixDecompose(D3DXVECTOR3 *outScale, D3DXQUATERNION *outRotation, D3DXVECTOR3 *outTranslation,
                                   const D3DXMATRIX *m)
{
    if (!outScale || !outRotation || !outTranslation || !m)
        return D3DERR_INVALIDCALL;
    // The rows of the upper 3x3 are the scaled axes; their lengths are the scales.
    D3DXVECTOR3 rows[3] = {D3DXVECTOR3(m->_11, m->_12, m->_13), D3DXVECTOR3(m->_21, m->_22, m->_23),
                           D3DXVECTOR3(m->_31, m->_32, m->_33)};
    D3DXVECTOR3 scale(D3DXVec3Length(&rows[0]), D3DXVec3Length(&rows[1]), D3DXVec3Length(&rows[2]));
    if (scale.x == 0.0f || scale.y == 0.0f || scale.z == 0.0f)
        return D3DERR_INVALIDCALL;
    D3DXMATRIX r;
    D3DXMatrixIdentity(&r);
    for (int i = 0; i < 3; ++i) {
        float inv = 1.0f / scale[i];
        r.m[i][0] = rows[i].x * inv;
        r.m[i][1] = rows[i].y * inv;
        r.m[i][2] = rows[i].z * inv;
    }
    *outTranslation = D3DXVECTOR3(m->_41, m->_42, m->_43);
    *outScale = scale;
    D3DXQuaternionRotationMatrix(outRotation, &r);
    return S_OK;
}

D3DXPLANE *WINAPI D3DXPlaneTransform(D3DXPLANE *out, const D3DXPLANE *plane, const D3DXMATRIX *m)
{
    if (!out || !plane || !m)
        return nullptr;
    D3DXVECTOR4 v(plane->a, plane->b, plane->c, plane->d);
    D3DXVec4Transform(&v, &v, m);
    *out = D3DXPLANE(v.x, v.y, v.z, v.w);
    return out;
}

D3DXPLANE *WINAPI D3DXPlaneTransformArray(D3DXPLANE *out, UINT outStride, const D3DXPLANE *p, UINT inStride,
                                          const D3DXMATRIX *m, UINT n)
{
    return TransformArray<D3DXPlaneTransform>(out, outStride, p, inStride, m, n);
}

D3DXQUATERNION *WINAPI D3DXQuaternionInverse(D3DXQUATERNION *out, const D3DXQUATERNION *q)
{
    if (!out || !q)
        return nullptr;
    float lengthSq = D3DXQuaternionLengthSq(q);
    if (lengthSq == 0.0f)
        return nullptr;
    float inv = 1.0f / lengthSq;
    *out = D3DXQUATERNION(-q->x * inv, -q->y * inv, -q->z * inv, q->w * inv);
    return out;
}

D3DXQUATERNION *WINAPI D3DXQuaternionRotationMatrix(D3DXQUATERNION *out, const D3DXMATRIX *m)
{
    if (!out || !m)
        return nullptr;
    // The inverse of D3DXMatrixRotationQuaternion, taken from the largest of w, x, y, z so
    // that the division is by at least half.
    float trace = m->_11 + m->_22 + m->_33;
    D3DXQUATERNION q;
    if (trace > 0.0f) {
        float s = 2.0f * sqrtf(trace + 1.0f);
        q = D3DXQUATERNION((m->_23 - m->_32) / s, (m->_31 - m->_13) / s, (m->_12 - m->_21) / s, 0.25f * s);
    } else if (m->_11 >= m->_22 && m->_11 >= m->_33) {
        float s = 2.0f * sqrtf(1.0f + m->_11 - m->_22 - m->_33);
        q = D3DXQUATERNION(0.25f * s, (m->_12 + m->_21) / s, (m->_13 + m->_31) / s, (m->_23 - m->_32) / s);
    } else if (m->_22 >= m->_33) {
        float s = 2.0f * sqrtf(1.0f + m->_22 - m->_11 - m->_33);
        q = D3DXQUATERNION((m->_12 + m->_21) / s, 0.25f * s, (m->_23 + m->_32) / s, (m->_31 - m->_13) / s);
    } else {
        float s = 2.0f * sqrtf(1.0f + m->_33 - m->_11 - m->_22);
        q = D3DXQUATERNION((m->_13 + m->_31) / s, (m->_23 + m->_32) / s, 0.25f * s, (m->_12 - m->_21) / s);
    }
    *out = q;
    return out;
}

void WINAPI D3DXQuaternionToAxisAngle(const D3DXQUATERNION *q, D3DXVECTOR3 *axis, FLOAT *angle)
{
    if (!q)
        return;
    if (axis)
        *axis = D3DXVECTOR3(q->x, q->y, q->z);
    if (angle)
        *angle = 2.0f * acosf(q->w > 1.0f ? 1.0f : q->w < -1.0f ? -1.0f : q->w);
}

D3DXQUATERNION *WINAPI D3DXQuaternionExp(D3DXQUATERNION *out, const D3DXQUATERNION *q)
{
    if (!out || !q)
        return nullptr;
    float theta = sqrtf(q->x * q->x + q->y * q->y + q->z * q->z);
    float s = theta > 0.0f ? sinf(theta) / theta : 1.0f;
    *out = D3DXQUATERNION(q->x * s, q->y * s, q->z * s, cosf(theta));
    return out;
}

D3DXQUATERNION *WINAPI D3DXQuaternionLn(D3DXQUATERNION *out, const D3DXQUATERNION *q)
{
    if (!out || !q)
        return nullptr;
    float sinTheta = sqrtf(q->x * q->x + q->y * q->y + q->z * q->z);
    float theta = atan2f(sinTheta, q->w);
    float s = sinTheta > 0.0f ? theta / sinTheta : 1.0f;
    *out = D3DXQUATERNION(q->x * s, q->y * s, q->z * s, 0.0f);
    return out;
}

D3DXQUATERNION *WINAPI D3DXQuaternionBaryCentric(D3DXQUATERNION *out, const D3DXQUATERNION *q1,
                                                 const D3DXQUATERNION *q2, const D3DXQUATERNION *q3, FLOAT f,
                                                 FLOAT g)
{
    if (!out || !q1 || !q2 || !q3)
        return nullptr;
    float fg = f + g;
    if (fg == 0.0f) {
        *out = *q1;
        return out;
    }
    D3DXQUATERNION a, b;
    D3DXQuaternionSlerp(&a, q1, q2, fg);
    D3DXQuaternionSlerp(&b, q1, q3, fg);
    return D3DXQuaternionSlerp(out, &a, &b, g / fg);
}

D3DXQUATERNION *WINAPI D3DXQuaternionSquad(D3DXQUATERNION *out, const D3DXQUATERNION *q1, const D3DXQUATERNION *a,
                                           const D3DXQUATERNION *b, const D3DXQUATERNION *c, FLOAT t)
{
    if (!out || !q1 || !a || !b || !c)
        return nullptr;
    D3DXQUATERNION outer, inner;
    D3DXQuaternionSlerp(&outer, q1, c, t);
    D3DXQuaternionSlerp(&inner, a, b, t);
    return D3DXQuaternionSlerp(out, &outer, &inner, 2.0f * t * (1.0f - t));
}

// Shoemake's inner quadrangle points.  Q0, Q2 and Q3 are first negated where that brings
// them nearer their neighbour, so the curve takes the short way round; then the point after
// Q1 is Q1 times exp(-(ln(Q1^-1 Q2) + ln(Q1^-1 Q0)) / 4), and likewise for Q2.  With the
// inverse (the conjugate of a unit quaternion) the curve's tangent is the same on both
// sides of each key.
void WINAPI D3DXQuaternionSquadSetup(D3DXQUATERNION *aOut, D3DXQUATERNION *bOut, D3DXQUATERNION *cOut,
                                     const D3DXQUATERNION *q0, const D3DXQUATERNION *q1, const D3DXQUATERNION *q2,
                                     const D3DXQUATERNION *q3)
{
    if (!aOut || !bOut || !cOut || !q0 || !q1 || !q2 || !q3)
        return;
    // |q + to| < |q - to| exactly when q . to < 0.
    auto nearer = [](const D3DXQUATERNION &q, const D3DXQUATERNION &to) {
        return D3DXQuaternionDot(&q, &to) < 0.0f ? -q : q;
    };
    const D3DXQUATERNION p1 = *q1;
    const D3DXQUATERNION p0 = nearer(*q0, p1);
    const D3DXQUATERNION p2 = nearer(*q2, p1);
    const D3DXQUATERNION p3 = nearer(*q3, p2);
    auto inner = [](const D3DXQUATERNION &prev, const D3DXQUATERNION &at, const D3DXQUATERNION &next) {
        D3DXQUATERNION inv, toNext, toPrev, lnNext, lnPrev, e, out;
        D3DXQuaternionConjugate(&inv, &at);
        D3DXQuaternionMultiply(&toNext, &inv, &next);
        D3DXQuaternionMultiply(&toPrev, &inv, &prev);
        D3DXQuaternionLn(&lnNext, &toNext);
        D3DXQuaternionLn(&lnPrev, &toPrev);
        D3DXQUATERNION sum(-0.25f * (lnNext.x + lnPrev.x), -0.25f * (lnNext.y + lnPrev.y),
                           -0.25f * (lnNext.z + lnPrev.z), 0.0f);
        D3DXQuaternionExp(&e, &sum);
        return *D3DXQuaternionMultiply(&out, &at, &e);
    };
    *aOut = inner(p0, p1, p2);
    *bOut = inner(p1, p2, p3);
    *cOut = p2;
}

D3DXCOLOR *WINAPI D3DXColorAdjustSaturation(D3DXCOLOR *out, const D3DXCOLOR *c, FLOAT s)
{
    if (!out || !c)
        return nullptr;
    // The luminance weights of the standard high-definition primaries.
    float grey = c->r * 0.2125f + c->g * 0.7154f + c->b * 0.0721f;
    *out = D3DXCOLOR(grey + s * (c->r - grey), grey + s * (c->g - grey), grey + s * (c->b - grey), c->a);
    return out;
}

D3DXCOLOR *WINAPI D3DXColorAdjustContrast(D3DXCOLOR *out, const D3DXCOLOR *c, FLOAT contrast)
{
    if (!out || !c)
        return nullptr;
    *out = D3DXCOLOR(0.5f + contrast * (c->r - 0.5f), 0.5f + contrast * (c->g - 0.5f), 0.5f + contrast * (c->b - 0.5f),
                     c->a);
    return out;
}

FLOAT WINAPI D3DXFresnelTerm(FLOAT cosTheta, FLOAT n)
{
    // The mean of the s- and p-polarised reflectances, in the form with g = sqrt(n^2 + c^2 - 1):
    // at c = 1 it is ((n - 1) / (n + 1))^2, at c = 0 one.
    const float c = cosTheta;
    const float g = std::sqrt(n * n + c * c - 1.0f);
    const float a = (g - c) / (g + c), b = (c * (g + c) - 1.0f) / (c * (g - c) + 1.0f);
    return 0.5f * a * a * (1.0f + b * b);
}

D3DXFLOAT16 *WINAPI D3DXFloat32To16Array(D3DXFLOAT16 *out, const FLOAT *in, UINT n)
{
    if (!out || !in)
        return nullptr;
    for (UINT i = 0; i < n; ++i)
        out[i].value = tavrok::FloatToHalf(in[i]);
    return out;
}

FLOAT *WINAPI D3DXFloat16To32Array(FLOAT *out, const D3DXFLOAT16 *in, UINT n)
{
    if (!out || !in)
        return nullptr;
    for (UINT i = 0; i < n; ++i)
        out[i] = tavrok::HalfToFloat(in[i].value);
    return out;
}
