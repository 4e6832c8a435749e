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

D3DXVECTOR3 *WINAPI D3DXVec3Project(D3DXVECTOR3 *out, const D3DXVECTOR3 *v, const D3DVIEWPORT9 *viewport,
                                    const D3DXMATRIX *projection, const D3DXMATRIX *view, const D3DXMATRIX *world)
{
    if (!out || !v)
        return nullptr;
    D3DXMATRIX m = Chain(projection, view, world);
    D3DXVECTOR3 p;
    D3DXVec3TransformCoord(&p, v, &m);
    if (viewport) {
        p.x = float(viewport->X) + (1.0f + p.x) * float(viewport->Width) / 2.0f;
        p.y = float(viewport->Y) + (1.0f - p.y) * float(viewport->Height) / 2.0f;
        p.z = viewport->MinZ + p.z * (viewport->MaxZ - viewport->MinZ);
    }
    *out = p;
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
    D3DXVECTOR3 p = *v;
    if (viewport) {
        p.x = 2.0f * (p.x - float(viewport->X)) / float(viewport->Width) - 1.0f;
        p.y = 1.0f - 2.0f * (p.y - float(viewport->Y)) / float(viewport->Height);
        p.z = (p.z - viewport->MinZ) / (viewport->MaxZ - viewport->MinZ);
    }
    D3DXVec3TransformCoord(out, &p, &m);
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
