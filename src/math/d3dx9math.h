/*
 * d3dx9math.h - single-precision vectors, matrices and quaternions with D3DX names.
 *
 * Conventions: row vectors (a point transforms as p * M, the translation sits in _41.._43,
 * and M1 * M2 applies M1 first), left-handed coordinates, angles in radians.  Every
 * function takes its output first and returns it; a null output or input makes it write
 * nothing and return null; the output may alias an input.
 *
 * The out-of-line operations pick a processor-specific variant on first use (announced on
 * the debugger output); every variant gives the scalar definitions' results within
 * single-precision rounding.
 */
#ifndef TAVROK_D3DX9MATH_H
#define TAVROK_D3DX9MATH_H

#include <d3d9types.h>
#include <objbase.h>

#include <math.h>

#define D3DX_PI ((FLOAT)3.141592654f)
#define D3DX_1BYPI ((FLOAT)0.318309886f)
#define D3DXToRadian(degree) ((degree) * (D3DX_PI / 180.0f))
#define D3DXToDegree(radian) ((radian) * (180.0f / D3DX_PI))

// A 16-bit float (1 sign, 5 exponent, 10 mantissa bits), converted to and from FLOAT by
// D3DXFloat32To16Array and D3DXFloat16To32Array: rounded to nearest even, overflow to
// infinity, denormals kept.
struct D3DXFLOAT16;
D3DXFLOAT16 *WINAPI D3DXFloat32To16Array(D3DXFLOAT16 *out, const FLOAT *in, UINT n);
FLOAT *WINAPI D3DXFloat16To32Array(FLOAT *out, const D3DXFLOAT16 *in, UINT n);

struct D3DXFLOAT16 {
    WORD value;
    D3DXFLOAT16() {}
    D3DXFLOAT16(FLOAT f) { D3DXFloat32To16Array(this, &f, 1); }
    D3DXFLOAT16(const D3DXFLOAT16 &f) = default;
    D3DXFLOAT16 &operator=(const D3DXFLOAT16 &f) = default;
    operator FLOAT() const
    {
        FLOAT f;
        D3DXFloat16To32Array(&f, this, 1);
        return f;
    }
    // Bit equality, except that +0 equals -0 (and a NaN equals its own bits).
    bool operator==(const D3DXFLOAT16 &f) const
    {
        return value == f.value || ((value | f.value) & 0x7FFF) == 0;
    }
    bool operator!=(const D3DXFLOAT16 &f) const { return !(*this == f); }
};

// Vectors of 16-bit floats, as vertex data stores them (D3DDECLTYPE_FLOAT16_2, _4).
struct D3DXVECTOR2_16F {
    D3DXFLOAT16 x, y;
    D3DXVECTOR2_16F() {}
    D3DXVECTOR2_16F(const FLOAT *f) : x(f[0]), y(f[1]) {}
    D3DXVECTOR2_16F(const D3DXFLOAT16 *f) : x(f[0]), y(f[1]) {}
    D3DXVECTOR2_16F(const D3DXFLOAT16 &fx, const D3DXFLOAT16 &fy) : x(fx), y(fy) {}
    operator D3DXFLOAT16 *() { return &x; }
    operator const D3DXFLOAT16 *() const { return &x; }
    bool operator==(const D3DXVECTOR2_16F &v) const { return x == v.x && y == v.y; }
    bool operator!=(const D3DXVECTOR2_16F &v) const { return !(*this == v); }
};

struct D3DXVECTOR3_16F {
    D3DXFLOAT16 x, y, z;
    D3DXVECTOR3_16F() {}
    D3DXVECTOR3_16F(const FLOAT *f) : x(f[0]), y(f[1]), z(f[2]) {}
    D3DXVECTOR3_16F(const D3DXFLOAT16 *f) : x(f[0]), y(f[1]), z(f[2]) {}
    D3DXVECTOR3_16F(const D3DXFLOAT16 &fx, const D3DXFLOAT16 &fy, const D3DXFLOAT16 &fz) : x(fx), y(fy), z(fz) {}
    operator D3DXFLOAT16 *() { return &x; }
    operator const D3DXFLOAT16 *() const { return &x; }
    bool operator==(const D3DXVECTOR3_16F &v) const { return x == v.x && y == v.y && z == v.z; }
    bool operator!=(const D3DXVECTOR3_16F &v) const { return !(*this == v); }
};

struct D3DXVECTOR4_16F {
    D3DXFLOAT16 x, y, z, w;
    D3DXVECTOR4_16F() {}
    D3DXVECTOR4_16F(const FLOAT *f) : x(f[0]), y(f[1]), z(f[2]), w(f[3]) {}
    D3DXVECTOR4_16F(const D3DXFLOAT16 *f) : x(f[0]), y(f[1]), z(f[2]), w(f[3]) {}
    D3DXVECTOR4_16F(const D3DXFLOAT16 &fx, const D3DXFLOAT16 &fy, const D3DXFLOAT16 &fz, const D3DXFLOAT16 &fw) : x(fx), y(fy), z(fz), w(fw) {}
    operator D3DXFLOAT16 *() { return &x; }
    operator const D3DXFLOAT16 *() const { return &x; }
    bool operator==(const D3DXVECTOR4_16F &v) const { return x == v.x && y == v.y && z == v.z && w == v.w; }
    bool operator!=(const D3DXVECTOR4_16F &v) const { return !(*this == v); }
};

struct D3DXVECTOR2 {
    FLOAT x, y;
    D3DXVECTOR2() {}
    D3DXVECTOR2(const FLOAT *f) : x(f[0]), y(f[1]) {}
    D3DXVECTOR2(const D3DXFLOAT16 *f) : x(f[0]), y(f[1]) {}
    D3DXVECTOR2(FLOAT fx, FLOAT fy) : x(fx), y(fy) {}
    operator FLOAT *() { return &x; }
    operator const FLOAT *() const { return &x; }
    D3DXVECTOR2 &operator+=(const D3DXVECTOR2 &v) { x += v.x; y += v.y; return *this; }
    D3DXVECTOR2 &operator-=(const D3DXVECTOR2 &v) { x -= v.x; y -= v.y; return *this; }
    D3DXVECTOR2 &operator*=(FLOAT f) { x *= f; y *= f; return *this; }
    D3DXVECTOR2 &operator/=(FLOAT f) { FLOAT inv = 1.0f / f; x *= inv; y *= inv; return *this; }
    D3DXVECTOR2 operator+() const { return *this; }
    D3DXVECTOR2 operator-() const { return D3DXVECTOR2(-x, -y); }
    D3DXVECTOR2 operator+(const D3DXVECTOR2 &v) const { return D3DXVECTOR2(x + v.x, y + v.y); }
    D3DXVECTOR2 operator-(const D3DXVECTOR2 &v) const { return D3DXVECTOR2(x - v.x, y - v.y); }
    D3DXVECTOR2 operator*(FLOAT f) const { return D3DXVECTOR2(x * f, y * f); }
    D3DXVECTOR2 operator/(FLOAT f) const { FLOAT inv = 1.0f / f; return D3DXVECTOR2(x * inv, y * inv); }
    friend D3DXVECTOR2 operator*(FLOAT f, const D3DXVECTOR2 &v) { return D3DXVECTOR2(f * v.x, f * v.y); }
    bool operator==(const D3DXVECTOR2 &v) const { return x == v.x && y == v.y; }
    bool operator!=(const D3DXVECTOR2 &v) const { return !(*this == v); }
};

struct D3DXVECTOR3 : public D3DVECTOR {
    D3DXVECTOR3() {}
    D3DXVECTOR3(const FLOAT *f) { x = f[0]; y = f[1]; z = f[2]; }
    D3DXVECTOR3(const D3DXFLOAT16 *f) { x = f[0]; y = f[1]; z = f[2]; }
    D3DXVECTOR3(const D3DVECTOR &v) { x = v.x; y = v.y; z = v.z; }
    D3DXVECTOR3(FLOAT fx, FLOAT fy, FLOAT fz) { x = fx; y = fy; z = fz; }
    operator FLOAT *() { return &x; }
    operator const FLOAT *() const { return &x; }
    D3DXVECTOR3 &operator+=(const D3DXVECTOR3 &v) { x += v.x; y += v.y; z += v.z; return *this; }
    D3DXVECTOR3 &operator-=(const D3DXVECTOR3 &v) { x -= v.x; y -= v.y; z -= v.z; return *this; }
    D3DXVECTOR3 &operator*=(FLOAT f) { x *= f; y *= f; z *= f; return *this; }
    D3DXVECTOR3 &operator/=(FLOAT f) { FLOAT inv = 1.0f / f; x *= inv; y *= inv; z *= inv; return *this; }
    D3DXVECTOR3 operator+() const { return *this; }
    D3DXVECTOR3 operator-() const { return D3DXVECTOR3(-x, -y, -z); }
    D3DXVECTOR3 operator+(const D3DXVECTOR3 &v) const { return D3DXVECTOR3(x + v.x, y + v.y, z + v.z); }
    D3DXVECTOR3 operator-(const D3DXVECTOR3 &v) const { return D3DXVECTOR3(x - v.x, y - v.y, z - v.z); }
    D3DXVECTOR3 operator*(FLOAT f) const { return D3DXVECTOR3(x * f, y * f, z * f); }
    D3DXVECTOR3 operator/(FLOAT f) const { FLOAT inv = 1.0f / f; return D3DXVECTOR3(x * inv, y * inv, z * inv); }
    friend D3DXVECTOR3 operator*(FLOAT f, const D3DXVECTOR3 &v) { return D3DXVECTOR3(f * v.x, f * v.y, f * v.z); }
    bool operator==(const D3DXVECTOR3 &v) const { return x == v.x && y == v.y && z == v.z; }
    bool operator!=(const D3DXVECTOR3 &v) const { return !(*this == v); }
};

struct D3DXVECTOR4 {
    FLOAT x, y, z, w;
    D3DXVECTOR4() {}
    D3DXVECTOR4(const FLOAT *f) : x(f[0]), y(f[1]), z(f[2]), w(f[3]) {}
    D3DXVECTOR4(const D3DXFLOAT16 *f) : x(f[0]), y(f[1]), z(f[2]), w(f[3]) {}
    D3DXVECTOR4(const D3DVECTOR &v, FLOAT fw) : x(v.x), y(v.y), z(v.z), w(fw) {}
    D3DXVECTOR4(FLOAT fx, FLOAT fy, FLOAT fz, FLOAT fw) : x(fx), y(fy), z(fz), w(fw) {}
    operator FLOAT *() { return &x; }
    operator const FLOAT *() const { return &x; }
    D3DXVECTOR4 &operator+=(const D3DXVECTOR4 &v) { x += v.x; y += v.y; z += v.z; w += v.w; return *this; }
    D3DXVECTOR4 &operator-=(const D3DXVECTOR4 &v) { x -= v.x; y -= v.y; z -= v.z; w -= v.w; return *this; }
    D3DXVECTOR4 &operator*=(FLOAT f) { x *= f; y *= f; z *= f; w *= f; return *this; }
    D3DXVECTOR4 &operator/=(FLOAT f) { return *this *= 1.0f / f; }
    D3DXVECTOR4 operator+() const { return *this; }
    D3DXVECTOR4 operator-() const { return D3DXVECTOR4(-x, -y, -z, -w); }
    D3DXVECTOR4 operator+(const D3DXVECTOR4 &v) const { return D3DXVECTOR4(x + v.x, y + v.y, z + v.z, w + v.w); }
    D3DXVECTOR4 operator-(const D3DXVECTOR4 &v) const { return D3DXVECTOR4(x - v.x, y - v.y, z - v.z, w - v.w); }
    D3DXVECTOR4 operator*(FLOAT f) const { return D3DXVECTOR4(x * f, y * f, z * f, w * f); }
    D3DXVECTOR4 operator/(FLOAT f) const { return *this * (1.0f / f); }
    friend D3DXVECTOR4 operator*(FLOAT f, const D3DXVECTOR4 &v) { return v * f; }
    bool operator==(const D3DXVECTOR4 &v) const { return x == v.x && y == v.y && z == v.z && w == v.w; }
    bool operator!=(const D3DXVECTOR4 &v) const { return !(*this == v); }
};

struct D3DXQUATERNION {
    FLOAT x, y, z, w;
    D3DXQUATERNION() {}
    D3DXQUATERNION(const FLOAT *f) : x(f[0]), y(f[1]), z(f[2]), w(f[3]) {}
    D3DXQUATERNION(const D3DXFLOAT16 *f) : x(f[0]), y(f[1]), z(f[2]), w(f[3]) {}
    D3DXQUATERNION(FLOAT fx, FLOAT fy, FLOAT fz, FLOAT fw) : x(fx), y(fy), z(fz), w(fw) {}
    operator FLOAT *() { return &x; }
    operator const FLOAT *() const { return &x; }
    D3DXQUATERNION &operator+=(const D3DXQUATERNION &q) { x += q.x; y += q.y; z += q.z; w += q.w; return *this; }
    D3DXQUATERNION &operator-=(const D3DXQUATERNION &q) { x -= q.x; y -= q.y; z -= q.z; w -= q.w; return *this; }
    // Products as D3DXQuaternionMultiply(this, q): the rotation of this, then that of q.
    D3DXQUATERNION &operator*=(const D3DXQUATERNION &q);
    D3DXQUATERNION &operator*=(FLOAT f) { x *= f; y *= f; z *= f; w *= f; return *this; }
    D3DXQUATERNION &operator/=(FLOAT f) { return *this *= 1.0f / f; }
    D3DXQUATERNION operator+() const { return *this; }
    D3DXQUATERNION operator-() const { return D3DXQUATERNION(-x, -y, -z, -w); }
    D3DXQUATERNION operator+(const D3DXQUATERNION &q) const { return D3DXQUATERNION(x + q.x, y + q.y, z + q.z, w + q.w); }
    D3DXQUATERNION operator-(const D3DXQUATERNION &q) const { return D3DXQUATERNION(x - q.x, y - q.y, z - q.z, w - q.w); }
    D3DXQUATERNION operator*(const D3DXQUATERNION &q) const;
    D3DXQUATERNION operator*(FLOAT f) const { return D3DXQUATERNION(x * f, y * f, z * f, w * f); }
    D3DXQUATERNION operator/(FLOAT f) const { return *this * (1.0f / f); }
    friend D3DXQUATERNION operator*(FLOAT f, const D3DXQUATERNION &q) { return q * f; }
    bool operator==(const D3DXQUATERNION &q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }
    bool operator!=(const D3DXQUATERNION &q) const { return !(*this == q); }
};

// The plane a x + b y + c z + d = 0; (a, b, c) is its normal.
struct D3DXPLANE {
    FLOAT a, b, c, d;
    D3DXPLANE() {}
    D3DXPLANE(const FLOAT *f) : a(f[0]), b(f[1]), c(f[2]), d(f[3]) {}
    D3DXPLANE(const D3DXFLOAT16 *f) : a(f[0]), b(f[1]), c(f[2]), d(f[3]) {}
    D3DXPLANE(FLOAT fa, FLOAT fb, FLOAT fc, FLOAT fd) : a(fa), b(fb), c(fc), d(fd) {}
    operator FLOAT *() { return &a; }
    operator const FLOAT *() const { return &a; }
    D3DXPLANE &operator*=(FLOAT f) { a *= f; b *= f; c *= f; d *= f; return *this; }
    D3DXPLANE &operator/=(FLOAT f) { return *this *= 1.0f / f; }
    D3DXPLANE operator+() const { return *this; }
    D3DXPLANE operator-() const { return D3DXPLANE(-a, -b, -c, -d); }
    D3DXPLANE operator*(FLOAT f) const { return D3DXPLANE(a * f, b * f, c * f, d * f); }
    D3DXPLANE operator/(FLOAT f) const { return *this * (1.0f / f); }
    friend D3DXPLANE operator*(FLOAT f, const D3DXPLANE &p) { return p * f; }
    bool operator==(const D3DXPLANE &p) const { return a == p.a && b == p.b && c == p.c && d == p.d; }
    bool operator!=(const D3DXPLANE &p) const { return !(*this == p); }
};

struct D3DXMATRIX : public D3DMATRIX {
    D3DXMATRIX() {}
    D3DXMATRIX(const FLOAT *f) { memcpy(&_11, f, sizeof(D3DMATRIX)); }
    D3DXMATRIX(const D3DXFLOAT16 *f) { D3DXFloat16To32Array(&_11, f, 16); }
    D3DXMATRIX(const D3DMATRIX &mat) { memcpy(&_11, &mat, sizeof(D3DMATRIX)); }
    D3DXMATRIX(FLOAT f11, FLOAT f12, FLOAT f13, FLOAT f14, FLOAT f21, FLOAT f22, FLOAT f23, FLOAT f24,
               FLOAT f31, FLOAT f32, FLOAT f33, FLOAT f34, FLOAT f41, FLOAT f42, FLOAT f43, FLOAT f44)
    {
        _11 = f11; _12 = f12; _13 = f13; _14 = f14;
        _21 = f21; _22 = f22; _23 = f23; _24 = f24;
        _31 = f31; _32 = f32; _33 = f33; _34 = f34;
        _41 = f41; _42 = f42; _43 = f43; _44 = f44;
    }
    FLOAT &operator()(UINT row, UINT col) { return m[row][col]; }
    FLOAT operator()(UINT row, UINT col) const { return m[row][col]; }
    operator FLOAT *() { return &_11; }
    operator const FLOAT *() const { return &_11; }
    D3DXMATRIX &operator*=(const D3DXMATRIX &mat);
    D3DXMATRIX &operator+=(const D3DXMATRIX &mat)
    {
        for (int i = 0; i < 16; ++i)
            m[i >> 2][i & 3] += mat.m[i >> 2][i & 3];
        return *this;
    }
    D3DXMATRIX &operator-=(const D3DXMATRIX &mat)
    {
        for (int i = 0; i < 16; ++i)
            m[i >> 2][i & 3] -= mat.m[i >> 2][i & 3];
        return *this;
    }
    D3DXMATRIX &operator*=(FLOAT f)
    {
        for (int i = 0; i < 16; ++i)
            m[i >> 2][i & 3] *= f;
        return *this;
    }
    D3DXMATRIX &operator/=(FLOAT f) { return *this *= 1.0f / f; }
    D3DXMATRIX operator+() const { return *this; }
    D3DXMATRIX operator-() const { return *this * -1.0f; }
    D3DXMATRIX operator*(const D3DXMATRIX &mat) const;
    D3DXMATRIX operator+(const D3DXMATRIX &mat) const { return D3DXMATRIX(*this) += mat; }
    D3DXMATRIX operator-(const D3DXMATRIX &mat) const { return D3DXMATRIX(*this) -= mat; }
    D3DXMATRIX operator*(FLOAT f) const { return D3DXMATRIX(*this) *= f; }
    D3DXMATRIX operator/(FLOAT f) const { return D3DXMATRIX(*this) /= f; }
    friend D3DXMATRIX operator*(FLOAT f, const D3DXMATRIX &mat) { return mat * f; }
    bool operator==(const D3DXMATRIX &mat) const { return memcmp(this, &mat, sizeof(D3DXMATRIX)) == 0; }
    bool operator!=(const D3DXMATRIX &mat) const { return !(*this == mat); }
};

struct D3DXCOLOR {
    FLOAT r, g, b, a;
    D3DXCOLOR() {}
    D3DXCOLOR(DWORD argb)
    {
        const FLOAT f = 1.0f / 255.0f;
        r = f * (FLOAT)(BYTE)(argb >> 16);
        g = f * (FLOAT)(BYTE)(argb >> 8);
        b = f * (FLOAT)(BYTE)(argb >> 0);
        a = f * (FLOAT)(BYTE)(argb >> 24);
    }
    D3DXCOLOR(const D3DCOLORVALUE &c) : r(c.r), g(c.g), b(c.b), a(c.a) {}
    D3DXCOLOR(FLOAT fr, FLOAT fg, FLOAT fb, FLOAT fa) : r(fr), g(fg), b(fb), a(fa) {}
    // Each channel clamped to 0..1 and rounded to the nearest of 256 levels.
    operator DWORD() const
    {
        DWORD dr = r >= 1.0f ? 0xff : r <= 0.0f ? 0x00 : (DWORD)(r * 255.0f + 0.5f);
        DWORD dg = g >= 1.0f ? 0xff : g <= 0.0f ? 0x00 : (DWORD)(g * 255.0f + 0.5f);
        DWORD db = b >= 1.0f ? 0xff : b <= 0.0f ? 0x00 : (DWORD)(b * 255.0f + 0.5f);
        DWORD da = a >= 1.0f ? 0xff : a <= 0.0f ? 0x00 : (DWORD)(a * 255.0f + 0.5f);
        return (da << 24) | (dr << 16) | (dg << 8) | db;
    }
    operator D3DCOLORVALUE() const { D3DCOLORVALUE c = {r, g, b, a}; return c; }
    D3DXCOLOR &operator+=(const D3DXCOLOR &c) { r += c.r; g += c.g; b += c.b; a += c.a; return *this; }
    D3DXCOLOR &operator-=(const D3DXCOLOR &c) { r -= c.r; g -= c.g; b -= c.b; a -= c.a; return *this; }
    D3DXCOLOR &operator*=(FLOAT f) { r *= f; g *= f; b *= f; a *= f; return *this; }
    D3DXCOLOR operator+(const D3DXCOLOR &c) const { return D3DXCOLOR(r + c.r, g + c.g, b + c.b, a + c.a); }
    D3DXCOLOR operator-(const D3DXCOLOR &c) const { return D3DXCOLOR(r - c.r, g - c.g, b - c.b, a - c.a); }
    D3DXCOLOR operator*(FLOAT f) const { return D3DXCOLOR(r * f, g * f, b * f, a * f); }
    friend D3DXCOLOR operator*(FLOAT f, const D3DXCOLOR &c) { return c * f; }
    bool operator==(const D3DXCOLOR &c) const { return r == c.r && g == c.g && b == c.b && a == c.a; }
    bool operator!=(const D3DXCOLOR &c) const { return !(*this == c); }
    operator FLOAT *() { return &r; }
    operator const FLOAT *() const { return &r; }
};

/* Inline operations (header-only in the SDK as well). */

inline FLOAT D3DXVec3Length(const D3DXVECTOR3 *v) { return v ? sqrtf(v->x * v->x + v->y * v->y + v->z * v->z) : 0.0f; }
inline FLOAT D3DXVec3LengthSq(const D3DXVECTOR3 *v) { return v ? v->x * v->x + v->y * v->y + v->z * v->z : 0.0f; }
inline FLOAT D3DXVec3Dot(const D3DXVECTOR3 *a, const D3DXVECTOR3 *b)
{
    return (a && b) ? a->x * b->x + a->y * b->y + a->z * b->z : 0.0f;
}
inline D3DXVECTOR3 *D3DXVec3Cross(D3DXVECTOR3 *out, const D3DXVECTOR3 *a, const D3DXVECTOR3 *b)
{
    if (!out || !a || !b)
        return 0;
    D3DXVECTOR3 r(a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x);
    *out = r;
    return out;
}
inline D3DXVECTOR3 *D3DXVec3Add(D3DXVECTOR3 *out, const D3DXVECTOR3 *a, const D3DXVECTOR3 *b)
{
    if (!out || !a || !b)
        return 0;
    out->x = a->x + b->x; out->y = a->y + b->y; out->z = a->z + b->z;
    return out;
}
inline D3DXVECTOR3 *D3DXVec3Subtract(D3DXVECTOR3 *out, const D3DXVECTOR3 *a, const D3DXVECTOR3 *b)
{
    if (!out || !a || !b)
        return 0;
    out->x = a->x - b->x; out->y = a->y - b->y; out->z = a->z - b->z;
    return out;
}
inline D3DXVECTOR3 *D3DXVec3Scale(D3DXVECTOR3 *out, const D3DXVECTOR3 *v, FLOAT s)
{
    if (!out || !v)
        return 0;
    out->x = v->x * s; out->y = v->y * s; out->z = v->z * s;
    return out;
}
inline D3DXVECTOR3 *D3DXVec3Lerp(D3DXVECTOR3 *out, const D3DXVECTOR3 *a, const D3DXVECTOR3 *b, FLOAT s)
{
    if (!out || !a || !b)
        return 0;
    out->x = a->x + s * (b->x - a->x); out->y = a->y + s * (b->y - a->y); out->z = a->z + s * (b->z - a->z);
    return out;
}
inline D3DXVECTOR3 *D3DXVec3Minimize(D3DXVECTOR3 *out, const D3DXVECTOR3 *a, const D3DXVECTOR3 *b)
{
    if (!out || !a || !b)
        return 0;
    out->x = a->x < b->x ? a->x : b->x; out->y = a->y < b->y ? a->y : b->y; out->z = a->z < b->z ? a->z : b->z;
    return out;
}
inline D3DXVECTOR3 *D3DXVec3Maximize(D3DXVECTOR3 *out, const D3DXVECTOR3 *a, const D3DXVECTOR3 *b)
{
    if (!out || !a || !b)
        return 0;
    out->x = a->x > b->x ? a->x : b->x; out->y = a->y > b->y ? a->y : b->y; out->z = a->z > b->z ? a->z : b->z;
    return out;
}
inline FLOAT D3DXVec4Dot(const D3DXVECTOR4 *a, const D3DXVECTOR4 *b)
{
    return (a && b) ? a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w : 0.0f;
}
inline FLOAT D3DXVec4Length(const D3DXVECTOR4 *v) { return v ? sqrtf(D3DXVec4Dot(v, v)) : 0.0f; }
inline FLOAT D3DXQuaternionDot(const D3DXQUATERNION *a, const D3DXQUATERNION *b)
{
    return (a && b) ? a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w : 0.0f;
}
inline D3DXQUATERNION *D3DXQuaternionIdentity(D3DXQUATERNION *out)
{
    if (!out)
        return 0;
    out->x = out->y = out->z = 0.0f;
    out->w = 1.0f;
    return out;
}
inline D3DXMATRIX *D3DXMatrixIdentity(D3DXMATRIX *out)
{
    if (!out)
        return 0;
    memset(static_cast<D3DMATRIX *>(out), 0, sizeof(D3DMATRIX));
    out->_11 = out->_22 = out->_33 = out->_44 = 1.0f;
    return out;
}
inline BOOL D3DXMatrixIsIdentity(const D3DXMATRIX *m)
{
    if (!m)
        return FALSE;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (m->m[r][c] != (r == c ? 1.0f : 0.0f))
                return FALSE;
    return TRUE;
}

/* Two-component vectors, four-component vectors, quaternions and colours: the small ones. */

inline FLOAT D3DXVec2Length(const D3DXVECTOR2 *v) { return v ? sqrtf(v->x * v->x + v->y * v->y) : 0.0f; }
inline FLOAT D3DXVec2LengthSq(const D3DXVECTOR2 *v) { return v ? v->x * v->x + v->y * v->y : 0.0f; }
inline FLOAT D3DXVec2Dot(const D3DXVECTOR2 *a, const D3DXVECTOR2 *b) { return (a && b) ? a->x * b->x + a->y * b->y : 0.0f; }
// The z of the 3D cross product: positive when b lies counter-clockwise of a.
inline FLOAT D3DXVec2CCW(const D3DXVECTOR2 *a, const D3DXVECTOR2 *b) { return (a && b) ? a->x * b->y - a->y * b->x : 0.0f; }
inline D3DXVECTOR2 *D3DXVec2Add(D3DXVECTOR2 *out, const D3DXVECTOR2 *a, const D3DXVECTOR2 *b)
{
    if (!out || !a || !b)
        return 0;
    out->x = a->x + b->x; out->y = a->y + b->y;
    return out;
}
inline D3DXVECTOR2 *D3DXVec2Subtract(D3DXVECTOR2 *out, const D3DXVECTOR2 *a, const D3DXVECTOR2 *b)
{
    if (!out || !a || !b)
        return 0;
    out->x = a->x - b->x; out->y = a->y - b->y;
    return out;
}
inline D3DXVECTOR2 *D3DXVec2Minimize(D3DXVECTOR2 *out, const D3DXVECTOR2 *a, const D3DXVECTOR2 *b)
{
    if (!out || !a || !b)
        return 0;
    out->x = a->x < b->x ? a->x : b->x; out->y = a->y < b->y ? a->y : b->y;
    return out;
}
inline D3DXVECTOR2 *D3DXVec2Maximize(D3DXVECTOR2 *out, const D3DXVECTOR2 *a, const D3DXVECTOR2 *b)
{
    if (!out || !a || !b)
        return 0;
    out->x = a->x > b->x ? a->x : b->x; out->y = a->y > b->y ? a->y : b->y;
    return out;
}
inline D3DXVECTOR2 *D3DXVec2Scale(D3DXVECTOR2 *out, const D3DXVECTOR2 *v, FLOAT s)
{
    if (!out || !v)
        return 0;
    out->x = v->x * s; out->y = v->y * s;
    return out;
}
inline D3DXVECTOR2 *D3DXVec2Lerp(D3DXVECTOR2 *out, const D3DXVECTOR2 *a, const D3DXVECTOR2 *b, FLOAT s)
{
    if (!out || !a || !b)
        return 0;
    out->x = a->x + s * (b->x - a->x); out->y = a->y + s * (b->y - a->y);
    return out;
}
inline FLOAT D3DXVec4LengthSq(const D3DXVECTOR4 *v) { return D3DXVec4Dot(v, v); }
inline D3DXVECTOR4 *D3DXVec4Add(D3DXVECTOR4 *out, const D3DXVECTOR4 *a, const D3DXVECTOR4 *b)
{
    if (!out || !a || !b)
        return 0;
    out->x = a->x + b->x; out->y = a->y + b->y; out->z = a->z + b->z; out->w = a->w + b->w;
    return out;
}
inline D3DXVECTOR4 *D3DXVec4Subtract(D3DXVECTOR4 *out, const D3DXVECTOR4 *a, const D3DXVECTOR4 *b)
{
    if (!out || !a || !b)
        return 0;
    out->x = a->x - b->x; out->y = a->y - b->y; out->z = a->z - b->z; out->w = a->w - b->w;
    return out;
}
inline D3DXVECTOR4 *D3DXVec4Scale(D3DXVECTOR4 *out, const D3DXVECTOR4 *v, FLOAT s)
{
    if (!out || !v)
        return 0;
    out->x = v->x * s; out->y = v->y * s; out->z = v->z * s; out->w = v->w * s;
    return out;
}
inline D3DXVECTOR4 *D3DXVec4Lerp(D3DXVECTOR4 *out, const D3DXVECTOR4 *a, const D3DXVECTOR4 *b, FLOAT s)
{
    if (!out || !a || !b)
        return 0;
    out->x = a->x + s * (b->x - a->x); out->y = a->y + s * (b->y - a->y);
    out->z = a->z + s * (b->z - a->z); out->w = a->w + s * (b->w - a->w);
    return out;
}
inline FLOAT D3DXQuaternionLengthSq(const D3DXQUATERNION *q) { return D3DXQuaternionDot(q, q); }
inline FLOAT D3DXQuaternionLength(const D3DXQUATERNION *q) { return sqrtf(D3DXQuaternionDot(q, q)); }
inline D3DXQUATERNION *D3DXQuaternionConjugate(D3DXQUATERNION *out, const D3DXQUATERNION *q)
{
    if (!out || !q)
        return 0;
    out->x = -q->x; out->y = -q->y; out->z = -q->z; out->w = q->w;
    return out;
}
inline D3DXCOLOR *D3DXColorAdd(D3DXCOLOR *out, const D3DXCOLOR *a, const D3DXCOLOR *b)
{
    if (!out || !a || !b)
        return 0;
    out->r = a->r + b->r; out->g = a->g + b->g; out->b = a->b + b->b; out->a = a->a + b->a;
    return out;
}
inline D3DXCOLOR *D3DXColorSubtract(D3DXCOLOR *out, const D3DXCOLOR *a, const D3DXCOLOR *b)
{
    if (!out || !a || !b)
        return 0;
    out->r = a->r - b->r; out->g = a->g - b->g; out->b = a->b - b->b; out->a = a->a - b->a;
    return out;
}
inline D3DXCOLOR *D3DXColorScale(D3DXCOLOR *out, const D3DXCOLOR *c, FLOAT s)
{
    if (!out || !c)
        return 0;
    out->r = c->r * s; out->g = c->g * s; out->b = c->b * s; out->a = c->a * s;
    return out;
}
inline D3DXCOLOR *D3DXColorModulate(D3DXCOLOR *out, const D3DXCOLOR *a, const D3DXCOLOR *b)
{
    if (!out || !a || !b)
        return 0;
    out->r = a->r * b->r; out->g = a->g * b->g; out->b = a->b * b->b; out->a = a->a * b->a;
    return out;
}
inline D3DXCOLOR *D3DXColorLerp(D3DXCOLOR *out, const D3DXCOLOR *a, const D3DXCOLOR *b, FLOAT s)
{
    if (!out || !a || !b)
        return 0;
    out->r = a->r + s * (b->r - a->r); out->g = a->g + s * (b->g - a->g);
    out->b = a->b + s * (b->b - a->b); out->a = a->a + s * (b->a - a->a);
    return out;
}
// 1 - each colour channel; alpha is kept.
inline D3DXCOLOR *D3DXColorNegative(D3DXCOLOR *out, const D3DXCOLOR *c)
{
    if (!out || !c)
        return 0;
    out->r = 1.0f - c->r; out->g = 1.0f - c->g; out->b = 1.0f - c->b; out->a = c->a;
    return out;
}
inline D3DXPLANE *D3DXPlaneScale(D3DXPLANE *out, const D3DXPLANE *p, FLOAT s)
{
    if (!out || !p)
        return 0;
    out->a = p->a * s; out->b = p->b * s; out->c = p->c * s; out->d = p->d * s;
    return out;
}

/* Out-of-line operations. */

D3DXVECTOR3 *WINAPI D3DXVec3Normalize(D3DXVECTOR3 *out, const D3DXVECTOR3 *v);
D3DXVECTOR4 *WINAPI D3DXVec4Normalize(D3DXVECTOR4 *out, const D3DXVECTOR4 *v);
D3DXVECTOR3 *WINAPI D3DXVec3TransformCoord(D3DXVECTOR3 *out, const D3DXVECTOR3 *v, const D3DXMATRIX *m);
D3DXVECTOR3 *WINAPI D3DXVec3TransformNormal(D3DXVECTOR3 *out, const D3DXVECTOR3 *v, const D3DXMATRIX *m);
D3DXVECTOR4 *WINAPI D3DXVec3Transform(D3DXVECTOR4 *out, const D3DXVECTOR3 *v, const D3DXMATRIX *m);
D3DXVECTOR4 *WINAPI D3DXVec4Transform(D3DXVECTOR4 *out, const D3DXVECTOR4 *v, const D3DXMATRIX *m);
D3DXMATRIX *WINAPI D3DXMatrixMultiply(D3DXMATRIX *out, const D3DXMATRIX *m1, const D3DXMATRIX *m2);
D3DXMATRIX *WINAPI D3DXMatrixTranspose(D3DXMATRIX *out, const D3DXMATRIX *m);
D3DXMATRIX *WINAPI D3DXMatrixInverse(D3DXMATRIX *out, FLOAT *determinant, const D3DXMATRIX *m);
FLOAT WINAPI D3DXMatrixDeterminant(const D3DXMATRIX *m);
D3DXMATRIX *WINAPI D3DXMatrixTranslation(D3DXMATRIX *out, FLOAT x, FLOAT y, FLOAT z);
D3DXMATRIX *WINAPI D3DXMatrixScaling(D3DXMATRIX *out, FLOAT sx, FLOAT sy, FLOAT sz);
D3DXMATRIX *WINAPI D3DXMatrixRotationX(D3DXMATRIX *out, FLOAT angle);
D3DXMATRIX *WINAPI D3DXMatrixRotationY(D3DXMATRIX *out, FLOAT angle);
D3DXMATRIX *WINAPI D3DXMatrixRotationZ(D3DXMATRIX *out, FLOAT angle);
D3DXMATRIX *WINAPI D3DXMatrixRotationAxis(D3DXMATRIX *out, const D3DXVECTOR3 *axis, FLOAT angle);
D3DXMATRIX *WINAPI D3DXMatrixRotationQuaternion(D3DXMATRIX *out, const D3DXQUATERNION *q);
D3DXMATRIX *WINAPI D3DXMatrixRotationYawPitchRoll(D3DXMATRIX *out, FLOAT yaw, FLOAT pitch, FLOAT roll);
D3DXMATRIX *WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX *out, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf);
D3DXMATRIX *WINAPI D3DXMatrixLookAtLH(D3DXMATRIX *out, const D3DXVECTOR3 *eye, const D3DXVECTOR3 *at,
                                      const D3DXVECTOR3 *up);
D3DXMATRIX *WINAPI D3DXMatrixOrthoOffCenterLH(D3DXMATRIX *out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn,
                                              FLOAT zf);
D3DXQUATERNION *WINAPI D3DXQuaternionSlerp(D3DXQUATERNION *out, const D3DXQUATERNION *q1,
                                           const D3DXQUATERNION *q2, FLOAT t);
D3DXQUATERNION *WINAPI D3DXQuaternionNormalize(D3DXQUATERNION *out, const D3DXQUATERNION *q);
D3DXQUATERNION *WINAPI D3DXQuaternionRotationAxis(D3DXQUATERNION *out, const D3DXVECTOR3 *axis, FLOAT angle);
D3DXQUATERNION *WINAPI D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION *out, FLOAT yaw, FLOAT pitch,
                                                          FLOAT roll);
D3DXQUATERNION *WINAPI D3DXQuaternionMultiply(D3DXQUATERNION *out, const D3DXQUATERNION *q1,
                                              const D3DXQUATERNION *q2);

/* Right-handed views and projections, the remaining left-handed projections, projecting
   points to and from a viewport, and planes. */
D3DXMATRIX *WINAPI D3DXMatrixLookAtRH(D3DXMATRIX *out, const D3DXVECTOR3 *eye, const D3DXVECTOR3 *at,
                                      const D3DXVECTOR3 *up);
D3DXMATRIX *WINAPI D3DXMatrixPerspectiveFovRH(D3DXMATRIX *out, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf);
D3DXMATRIX *WINAPI D3DXMatrixPerspectiveLH(D3DXMATRIX *out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
D3DXMATRIX *WINAPI D3DXMatrixPerspectiveRH(D3DXMATRIX *out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
D3DXMATRIX *WINAPI D3DXMatrixOrthoLH(D3DXMATRIX *out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
D3DXMATRIX *WINAPI D3DXMatrixOrthoRH(D3DXMATRIX *out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
D3DXMATRIX *WINAPI D3DXMatrixOrthoOffCenterRH(D3DXMATRIX *out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn,
                                              FLOAT zf);
// Null matrices count as identities; a null viewport leaves the point in clip space.
D3DXVECTOR3 *WINAPI D3DXVec3Project(D3DXVECTOR3 *out, const D3DXVECTOR3 *v, const D3DVIEWPORT9 *viewport,
                                    const D3DXMATRIX *projection, const D3DXMATRIX *view, const D3DXMATRIX *world);
D3DXVECTOR3 *WINAPI D3DXVec3Unproject(D3DXVECTOR3 *out, const D3DXVECTOR3 *v, const D3DVIEWPORT9 *viewport,
                                      const D3DXMATRIX *projection, const D3DXMATRIX *view, const D3DXMATRIX *world);
FLOAT WINAPI D3DXPlaneDotCoord(const D3DXPLANE *p, const D3DXVECTOR3 *v);
FLOAT WINAPI D3DXPlaneDotNormal(const D3DXPLANE *p, const D3DXVECTOR3 *v);
FLOAT WINAPI D3DXPlaneDot(const D3DXPLANE *p, const D3DXVECTOR4 *v);
D3DXPLANE *WINAPI D3DXPlaneNormalize(D3DXPLANE *out, const D3DXPLANE *p);
D3DXPLANE *WINAPI D3DXPlaneFromPointNormal(D3DXPLANE *out, const D3DXVECTOR3 *point, const D3DXVECTOR3 *normal);
D3DXPLANE *WINAPI D3DXPlaneFromPoints(D3DXPLANE *out, const D3DXVECTOR3 *v1, const D3DXVECTOR3 *v2,
                                      const D3DXVECTOR3 *v3);
// Where the line through v1 and v2 meets the plane; null when it runs parallel to it.
D3DXVECTOR3 *WINAPI D3DXPlaneIntersectLine(D3DXVECTOR3 *out, const D3DXPLANE *p, const D3DXVECTOR3 *v1,
                                           const D3DXVECTOR3 *v2);

/* Curves through points, arrays of points, the remaining matrix builders, plane and
   quaternion operations, and colour adjustments. */
D3DXVECTOR2 *WINAPI D3DXVec2Normalize(D3DXVECTOR2 *out, const D3DXVECTOR2 *v);
D3DXVECTOR4 *WINAPI D3DXVec2Transform(D3DXVECTOR4 *out, const D3DXVECTOR2 *v, const D3DXMATRIX *m);
D3DXVECTOR2 *WINAPI D3DXVec2TransformCoord(D3DXVECTOR2 *out, const D3DXVECTOR2 *v, const D3DXMATRIX *m);
D3DXVECTOR2 *WINAPI D3DXVec2TransformNormal(D3DXVECTOR2 *out, const D3DXVECTOR2 *v, const D3DXMATRIX *m);
// v1 + f (v2 - v1) + g (v3 - v1).
D3DXVECTOR2 *WINAPI D3DXVec2BaryCentric(D3DXVECTOR2 *out, const D3DXVECTOR2 *v1, const D3DXVECTOR2 *v2,
                                        const D3DXVECTOR2 *v3, FLOAT f, FLOAT g);
D3DXVECTOR3 *WINAPI D3DXVec3BaryCentric(D3DXVECTOR3 *out, const D3DXVECTOR3 *v1, const D3DXVECTOR3 *v2,
                                        const D3DXVECTOR3 *v3, FLOAT f, FLOAT g);
// The Catmull-Rom spline through v1 (s = 0) and v2 (s = 1), shaped by v0 and v3.
D3DXVECTOR2 *WINAPI D3DXVec2CatmullRom(D3DXVECTOR2 *out, const D3DXVECTOR2 *v0, const D3DXVECTOR2 *v1,
                                       const D3DXVECTOR2 *v2, const D3DXVECTOR2 *v3, FLOAT s);
D3DXVECTOR3 *WINAPI D3DXVec3CatmullRom(D3DXVECTOR3 *out, const D3DXVECTOR3 *v0, const D3DXVECTOR3 *v1,
                                       const D3DXVECTOR3 *v2, const D3DXVECTOR3 *v3, FLOAT s);
// The cubic from v1 with tangent t1 (s = 0) to v2 with tangent t2 (s = 1).
D3DXVECTOR2 *WINAPI D3DXVec2Hermite(D3DXVECTOR2 *out, const D3DXVECTOR2 *v1, const D3DXVECTOR2 *t1,
                                    const D3DXVECTOR2 *v2, const D3DXVECTOR2 *t2, FLOAT s);
D3DXVECTOR3 *WINAPI D3DXVec3Hermite(D3DXVECTOR3 *out, const D3DXVECTOR3 *v1, const D3DXVECTOR3 *t1,
                                    const D3DXVECTOR3 *v2, const D3DXVECTOR3 *t2, FLOAT s);
// The strided array forms: n elements `outStride` and `inStride` bytes apart, each as the
// function of one element does it; the projections compute their matrix chain once.
D3DXVECTOR4 *WINAPI D3DXVec2TransformArray(D3DXVECTOR4 *out, UINT outStride, const D3DXVECTOR2 *v, UINT inStride,
                                           const D3DXMATRIX *m, UINT n);
D3DXVECTOR2 *WINAPI D3DXVec2TransformCoordArray(D3DXVECTOR2 *out, UINT outStride, const D3DXVECTOR2 *v,
                                                UINT inStride, const D3DXMATRIX *m, UINT n);
D3DXVECTOR2 *WINAPI D3DXVec2TransformNormalArray(D3DXVECTOR2 *out, UINT outStride, const D3DXVECTOR2 *v,
                                                 UINT inStride, const D3DXMATRIX *m, UINT n);
D3DXVECTOR4 *WINAPI D3DXVec3TransformArray(D3DXVECTOR4 *out, UINT outStride, const D3DXVECTOR3 *v, UINT inStride,
                                           const D3DXMATRIX *m, UINT n);
D3DXVECTOR4 *WINAPI D3DXVec4TransformArray(D3DXVECTOR4 *out, UINT outStride, const D3DXVECTOR4 *v, UINT inStride,
                                           const D3DXMATRIX *m, UINT n);
D3DXVECTOR3 *WINAPI D3DXVec3ProjectArray(D3DXVECTOR3 *out, UINT outStride, const D3DXVECTOR3 *v, UINT inStride,
                                         const D3DVIEWPORT9 *viewport, const D3DXMATRIX *projection,
                                         const D3DXMATRIX *view, const D3DXMATRIX *world, UINT n);
D3DXVECTOR3 *WINAPI D3DXVec3UnprojectArray(D3DXVECTOR3 *out, UINT outStride, const D3DXVECTOR3 *v, UINT inStride,
                                           const D3DVIEWPORT9 *viewport, const D3DXMATRIX *projection,
                                           const D3DXMATRIX *view, const D3DXMATRIX *world, UINT n);
D3DXVECTOR3 *WINAPI D3DXVec3TransformCoordArray(D3DXVECTOR3 *out, UINT outStride, const D3DXVECTOR3 *v,
                                                UINT inStride, const D3DXMATRIX *m, UINT n);
D3DXVECTOR3 *WINAPI D3DXVec3TransformNormalArray(D3DXVECTOR3 *out, UINT outStride, const D3DXVECTOR3 *v,
                                                 UINT inStride, const D3DXMATRIX *m, UINT n);
// The four-dimensional vector perpendicular to v1, v2 and v3.
D3DXVECTOR4 *WINAPI D3DXVec4Cross(D3DXVECTOR4 *out, const D3DXVECTOR4 *v1, const D3DXVECTOR4 *v2,
                                  const D3DXVECTOR4 *v3);
D3DXMATRIX *WINAPI D3DXMatrixPerspectiveOffCenterLH(D3DXMATRIX *out, FLOAT l, FLOAT r, FLOAT b, FLOAT t,
                                                    FLOAT zn, FLOAT zf);
D3DXMATRIX *WINAPI D3DXMatrixPerspectiveOffCenterRH(D3DXMATRIX *out, FLOAT l, FLOAT r, FLOAT b, FLOAT t,
                                                    FLOAT zn, FLOAT zf);
// The transpose of m1 * m2, as shader constants want it.
D3DXMATRIX *WINAPI D3DXMatrixMultiplyTranspose(D3DXMATRIX *out, const D3DXMATRIX *m1, const D3DXMATRIX *m2);
// The mirror in the plane (normalised first).
D3DXMATRIX *WINAPI D3DXMatrixReflect(D3DXMATRIX *out, const D3DXPLANE *plane);
// Flattens geometry onto the plane along rays from the light: w = 0 a direction, w = 1 a point.
D3DXMATRIX *WINAPI D3DXMatrixShadow(D3DXMATRIX *out, const D3DXVECTOR4 *light, const D3DXPLANE *plane);
// scaling, then rotation about rotationCenter, then translation; null parts are identities.
D3DXMATRIX *WINAPI D3DXMatrixAffineTransformation(D3DXMATRIX *out, FLOAT scaling, const D3DXVECTOR3 *rotationCenter,
                                                  const D3DXQUATERNION *rotation, const D3DXVECTOR3 *translation);
// Scaling about scalingCenter along axes turned by scalingRotation, then rotation about
// rotationCenter, then translation; null parts are identities.
D3DXMATRIX *WINAPI D3DXMatrixTransformation(D3DXMATRIX *out, const D3DXVECTOR3 *scalingCenter,
                                            const D3DXQUATERNION *scalingRotation, const D3DXVECTOR3 *scaling,
                                            const D3DXVECTOR3 *rotationCenter, const D3DXQUATERNION *rotation,
                                            const D3DXVECTOR3 *translation);
// Splits scale * rotation * translation; D3DERR_INVALIDCALL when a scale is zero.
HRESULT WINAPI D3DXMatrixDecompose(D3DXVECTOR3 *outScale, D3DXQUATERNION *outRotation, D3DXVECTOR3 *outTranslation,
                                   const D3DXMATRIX *m);
// The plane as a row vector times m: pass the inverse transpose of the points' transform.
D3DXPLANE *WINAPI D3DXPlaneTransform(D3DXPLANE *out, const D3DXPLANE *plane, const D3DXMATRIX *m);
D3DXPLANE *WINAPI D3DXPlaneTransformArray(D3DXPLANE *out, UINT outStride, const D3DXPLANE *p, UINT inStride,
                                          const D3DXMATRIX *m, UINT n);
// The conjugate divided by the squared length.
D3DXQUATERNION *WINAPI D3DXQuaternionInverse(D3DXQUATERNION *out, const D3DXQUATERNION *q);
D3DXQUATERNION *WINAPI D3DXQuaternionRotationMatrix(D3DXQUATERNION *out, const D3DXMATRIX *m);
// The axis is q's vector part, not normalised; the angle is 2 acos(w).
void WINAPI D3DXQuaternionToAxisAngle(const D3DXQUATERNION *q, D3DXVECTOR3 *axis, FLOAT *angle);
// Exp takes a pure quaternion (w ignored); Ln takes a unit one and gives a pure one.
D3DXQUATERNION *WINAPI D3DXQuaternionExp(D3DXQUATERNION *out, const D3DXQUATERNION *q);
D3DXQUATERNION *WINAPI D3DXQuaternionLn(D3DXQUATERNION *out, const D3DXQUATERNION *q);
// Slerp(Slerp(q1, q2, f + g), Slerp(q1, q3, f + g), g / (f + g)).
D3DXQUATERNION *WINAPI D3DXQuaternionBaryCentric(D3DXQUATERNION *out, const D3DXQUATERNION *q1,
                                                 const D3DXQUATERNION *q2, const D3DXQUATERNION *q3, FLOAT f,
                                                 FLOAT g);
// Slerp(Slerp(q1, c, t), Slerp(a, b, t), 2t(1 - t)).
D3DXQUATERNION *WINAPI D3DXQuaternionSquad(D3DXQUATERNION *out, const D3DXQUATERNION *q1, const D3DXQUATERNION *a,
                                           const D3DXQUATERNION *b, const D3DXQUATERNION *c, FLOAT t);
// The control points a, b and c that make Squad(q1, a, b, c, t) run from Q1 to Q2 with the
// same tangent at each key as the neighbouring segments (Q0..Q1, Q2..Q3).
void WINAPI D3DXQuaternionSquadSetup(D3DXQUATERNION *aOut, D3DXQUATERNION *bOut, D3DXQUATERNION *cOut,
                                     const D3DXQUATERNION *q0, const D3DXQUATERNION *q1, const D3DXQUATERNION *q2,
                                     const D3DXQUATERNION *q3);
// Moves each channel towards (s < 1) or away from its grey level; alpha is kept.
D3DXCOLOR *WINAPI D3DXColorAdjustSaturation(D3DXCOLOR *out, const D3DXCOLOR *c, FLOAT s);
// Moves each channel towards (c < 1) or away from 0.5; alpha is kept.
D3DXCOLOR *WINAPI D3DXColorAdjustContrast(D3DXCOLOR *out, const D3DXCOLOR *c, FLOAT contrast);
// The share of unpolarised light a surface of relative refraction index n reflects, for
// light arriving at angle theta to the normal (cosTheta = cos theta).
FLOAT WINAPI D3DXFresnelTerm(FLOAT cosTheta, FLOAT n);

inline D3DXMATRIX &D3DXMATRIX::operator*=(const D3DXMATRIX &mat)
{
    D3DXMatrixMultiply(this, this, &mat);
    return *this;
}
inline D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX &mat) const
{
    D3DXMATRIX r;
    D3DXMatrixMultiply(&r, this, &mat);
    return r;
}
inline D3DXQUATERNION &D3DXQUATERNION::operator*=(const D3DXQUATERNION &q)
{
    D3DXQuaternionMultiply(this, this, &q);
    return *this;
}
inline D3DXQUATERNION D3DXQUATERNION::operator*(const D3DXQUATERNION &q) const
{
    D3DXQUATERNION r;
    D3DXQuaternionMultiply(&r, this, &q);
    return r;
}

// A stack of matrices for hierarchies drawn by hand: Push copies the top, Pop drops it (the
// last matrix stays: popping it is refused); the plain forms multiply the new transform on
// the right of the top (about the world origin), the Local forms on the left (about the
// object's own origin).  A new stack holds the identity.
DEFINE_GUID(IID_ID3DXMatrixStack, 0xc7885ba7, 0xf990, 0x4fe7, 0x92, 0x2d, 0x85, 0x15, 0xe4, 0x77, 0xdd, 0x85);

interface ID3DXMatrixStack : public IUnknown {
    STDMETHOD(Pop)() PURE;
    STDMETHOD(Push)() PURE;
    STDMETHOD(LoadIdentity)() PURE;
    STDMETHOD(LoadMatrix)(const D3DXMATRIX *pM) PURE;
    STDMETHOD(MultMatrix)(const D3DXMATRIX *pM) PURE;
    STDMETHOD(MultMatrixLocal)(const D3DXMATRIX *pM) PURE;
    STDMETHOD(RotateAxis)(const D3DXVECTOR3 *pV, FLOAT Angle) PURE;
    STDMETHOD(RotateAxisLocal)(const D3DXVECTOR3 *pV, FLOAT Angle) PURE;
    STDMETHOD(RotateYawPitchRoll)(FLOAT Yaw, FLOAT Pitch, FLOAT Roll) PURE;
    STDMETHOD(RotateYawPitchRollLocal)(FLOAT Yaw, FLOAT Pitch, FLOAT Roll) PURE;
    STDMETHOD(Scale)(FLOAT x, FLOAT y, FLOAT z) PURE;
    STDMETHOD(ScaleLocal)(FLOAT x, FLOAT y, FLOAT z) PURE;
    STDMETHOD(Translate)(FLOAT x, FLOAT y, FLOAT z) PURE;
    STDMETHOD(TranslateLocal)(FLOAT x, FLOAT y, FLOAT z) PURE;
    STDMETHOD_(D3DXMATRIX *, GetTop)() PURE;
};
typedef interface ID3DXMatrixStack *LPD3DXMATRIXSTACK;

// Flags must be 0.
HRESULT WINAPI D3DXCreateMatrixStack(DWORD Flags, LPD3DXMATRIXSTACK *ppStack);

#endif
