// Tests of the D3DX maths: hand-computed values, the degenerate cases, aliasing, and
// properties checked on random inputs (products, inverses, rotations).
#include <d3d9.h>
#include <d3dx9math.h>

#include "support/stderr_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

const float kEps = 1.1920929e-7f;

void ExpectMatrixNear(const D3DXMATRIX &a, const D3DXMATRIX &b, float tol)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(a.m[i][j], b.m[i][j], tol) << "element " << i + 1 << j + 1;
}

D3DXMATRIX Identity()
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

D3DXMATRIX RandomMatrix(std::mt19937 &rng)
{
    std::uniform_real_distribution<float> d(-2.0f, 2.0f);
    D3DXMATRIX m;
    for (int i = 0; i < 16; ++i)
        m.m[i / 4][i % 4] = d(rng);
    return m;
}

bool SameBits(const void *a, const void *b, size_t n) { return memcmp(a, b, n) == 0; }

TEST(Normalize, UnitLengthIsCopiedBitForBitOthersScaledTinyOnesZeroed)
{
    // Squared length 1 - 2^-23: within the tolerance, so no division may happen.
    D3DXVECTOR3 v(1.0f, 0.0f, 0.0f);
    v.x = std::nextafter(1.0f, 0.0f);
    D3DXVECTOR3 out;
    ASSERT_EQ(&out, D3DXVec3Normalize(&out, &v));
    EXPECT_TRUE(SameBits(&out, &v, sizeof v));

    D3DXVECTOR4 v4(0.6f, 0.8f, 0.0f, 0.0f);  // 0.36 + 0.64 rounds to 1 within tolerance
    D3DXVECTOR4 out4;
    D3DXVec4Normalize(&out4, &v4);
    EXPECT_TRUE(SameBits(&out4, &v4, sizeof v4));

    // Other vectors are scaled.
    v = D3DXVECTOR3(3.0f, 0.0f, 4.0f);
    D3DXVec3Normalize(&out, &v);
    EXPECT_FLOAT_EQ(out.x, 0.6f);
    EXPECT_FLOAT_EQ(out.z, 0.8f);

    // Zero, and a squared length below the smallest normal float, give zero: no huge result.
    const D3DXVECTOR3 zero(0.0f, 0.0f, 0.0f);
    for (const D3DXVECTOR3 &v3 : {zero, D3DXVECTOR3(1e-20f, 0.0f, 0.0f)})
        EXPECT_EQ(*D3DXVec3Normalize(&out, &v3), zero) << v3.x;
    D3DXVECTOR4 tiny4(0.0f, 0.0f, 0.0f, 1e-20f), four(2.0f, 2.0f, 2.0f, 2.0f);
    EXPECT_EQ(*D3DXVec4Normalize(&out4, &tiny4), D3DXVECTOR4(0, 0, 0, 0));
    EXPECT_EQ(*D3DXVec4Normalize(&out4, &four), D3DXVECTOR4(0.5f, 0.5f, 0.5f, 0.5f));

    // In place.
    D3DXVec3Normalize(&v, &v);
    EXPECT_FLOAT_EQ(v.x, 0.6f);
}

TEST(Transform, CoordProjectsOnlyWhenWIsNotOne)
{
    D3DXMATRIX t;
    D3DXMatrixTranslation(&t, 1.0f, 2.0f, 3.0f);
    D3DXVECTOR3 p(1.0f, 1.0f, 1.0f), out;
    EXPECT_EQ(*D3DXVec3TransformCoord(&out, &p, &t), D3DXVECTOR3(2.0f, 3.0f, 4.0f));

    // w = 2: every component divided by 2.
    D3DXMATRIX s = Identity();
    s._44 = 2.0f;
    EXPECT_EQ(*D3DXVec3TransformCoord(&out, &p, &s), D3DXVECTOR3(0.5f, 0.5f, 0.5f));

    // w = 1 + epsilon counts as 1: the coordinates stay undivided.
    s._44 = 1.0f + kEps;
    D3DXVECTOR3 q(3.0f, 5.0f, 7.0f);
    EXPECT_EQ(*D3DXVec3TransformCoord(&out, &q, &s), q);

    // The normal transform ignores the fourth row.
    D3DXVECTOR3 n(0.0f, 1.0f, 0.0f);
    D3DXMATRIX r;
    D3DXMatrixRotationZ(&r, D3DX_PI / 2);
    r._41 = 100.0f;
    D3DXVec3TransformNormal(&out, &n, &r);
    EXPECT_NEAR(out.x, -1.0f, 1e-6f);
    EXPECT_NEAR(out.y, 0.0f, 1e-6f);
    EXPECT_EQ(out.z, 0.0f);
}

TEST(Multiply, HandComputedProductAndAliasing)
{
    D3DXMATRIX a(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    D3DXMATRIX b(2, 0, 0, 1, 0, 3, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1);
    D3DXMATRIX expected(5, 6, 3, 5, 17, 18, 7, 13, 29, 30, 11, 21, 41, 42, 15, 29);
    D3DXMATRIX out;
    EXPECT_EQ(*D3DXMatrixMultiply(&out, &a, &b), expected);

    D3DXMATRIX a2 = a, b2 = b;
    D3DXMatrixMultiply(&a2, &a2, &b);
    EXPECT_EQ(a2, expected);
    D3DXMatrixMultiply(&b2, &a, &b2);
    EXPECT_EQ(b2, expected);
    EXPECT_EQ(a * b, expected);
}

TEST(Inverse, RandomMatricesTimesTheirInverseGiveIdentity)
{
    std::mt19937 rng(1234);
    int inverted = 0;
    for (int i = 0; i < 500; ++i) {
        D3DXMATRIX a = RandomMatrix(rng), inv, product;
        float det = 0.0f;
        if (!D3DXMatrixInverse(&inv, &det, &a))
            continue;
        ++inverted;
        EXPECT_NEAR(det, D3DXMatrixDeterminant(&a), 1e-4f * std::max(1.0f, std::fabs(det)));
        if (std::fabs(det) < 0.05f)
            continue;  // badly conditioned: the tolerance below would not hold
        D3DXMatrixMultiply(&product, &a, &inv);
        ExpectMatrixNear(product, Identity(), 2e-4f);
        // In place gives the same result.
        D3DXMATRIX copy = a;
        ASSERT_EQ(&copy, D3DXMatrixInverse(&copy, nullptr, &copy));
        EXPECT_EQ(copy, inv);
    }
    EXPECT_GT(inverted, 450);
}

TEST(Inverse, SingularMatrixReturnsNullLeavesOutputAndReportsZero)
{
    D3DXMATRIX singular(1, 2, 3, 4, 2, 4, 6, 8, 0, 0, 1, 0, 0, 0, 0, 1);
    D3DXMATRIX out(9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9), before = out;
    float det = 42.0f;
    EXPECT_EQ(nullptr, D3DXMatrixInverse(&out, &det, &singular));
    EXPECT_EQ(out, before);
    EXPECT_EQ(det, 0.0f);
    // A determinant whose reciprocal overflows is singular too.
    D3DXMATRIX tiny;
    D3DXMatrixScaling(&tiny, 1e-13f, 1e-13f, 1e-13f);
    EXPECT_EQ(nullptr, D3DXMatrixInverse(&out, &det, &tiny));
    EXPECT_EQ(out, before);
    // Known inverse of a scale and translation.
    D3DXMATRIX st(2, 0, 0, 0, 0, 4, 0, 0, 0, 0, 8, 0, 1, 2, 3, 1), inv;
    ASSERT_NE(nullptr, D3DXMatrixInverse(&inv, &det, &st));
    EXPECT_EQ(det, 64.0f);
    ExpectMatrixNear(inv, D3DXMATRIX(0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, 0.125f, 0, -0.5f, -0.5f, -0.375f, 1), 1e-7f);
}

TEST(Rotation, AxisMatricesMatchTheirDefinitions)
{
    const float a = 0.3f, c = std::cos(a), s = std::sin(a);
    D3DXMATRIX r;
    D3DXMatrixRotationX(&r, a);
    ExpectMatrixNear(r, D3DXMATRIX(1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1), 1e-7f);
    D3DXMatrixRotationY(&r, a);
    ExpectMatrixNear(r, D3DXMATRIX(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1), 1e-7f);
    D3DXMatrixRotationZ(&r, a);
    ExpectMatrixNear(r, D3DXMATRIX(c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1), 1e-7f);

    // Left-handed: a quarter turn about y takes +z to +x.
    D3DXMatrixRotationY(&r, D3DX_PI / 2);
    D3DXVECTOR3 z(0, 0, 1), out;
    D3DXVec3TransformNormal(&out, &z, &r);
    EXPECT_NEAR(out.x, 1.0f, 1e-6f);
}

TEST(Rotation, ArbitraryAxisQuaternionAndYawPitchRollAgree)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> d(-3.0f, 3.0f);
    for (int i = 0; i < 200; ++i) {
        float yaw = d(rng), pitch = d(rng), roll = d(rng);
        D3DXMATRIX ypr, rx, ry, rz, zx, zxy;
        D3DXMatrixRotationYawPitchRoll(&ypr, yaw, pitch, roll);
        D3DXMatrixRotationX(&rx, pitch);
        D3DXMatrixRotationY(&ry, yaw);
        D3DXMatrixRotationZ(&rz, roll);
        D3DXMatrixMultiply(&zx, &rz, &rx);
        D3DXMatrixMultiply(&zxy, &zx, &ry);
        ExpectMatrixNear(ypr, zxy, 2e-6f);

        // Orthonormal with determinant 1.
        D3DXMATRIX t, product;
        D3DXMatrixTranspose(&t, &ypr);
        D3DXMatrixMultiply(&product, &ypr, &t);
        ExpectMatrixNear(product, Identity(), 2e-6f);
        EXPECT_NEAR(D3DXMatrixDeterminant(&ypr), 1.0f, 4e-6f);

        // The axis form with an unnormalised axis equals the quaternion form.
        D3DXVECTOR3 axis(d(rng), d(rng), d(rng)), before = axis;
        float angle = d(rng);
        D3DXMATRIX fromAxis, fromQuat;
        D3DXMatrixRotationAxis(&fromAxis, &axis, angle);
        EXPECT_EQ(axis, before);  // the caller's axis is not normalised in place
        D3DXQUATERNION q;
        D3DXQuaternionRotationAxis(&q, &axis, angle);
        D3DXMatrixRotationQuaternion(&fromQuat, &q);
        ExpectMatrixNear(fromAxis, fromQuat, 3e-6f);
        // The axis itself is left where it is.
        D3DXVECTOR3 unit, turned;
        D3DXVec3Normalize(&unit, &axis);
        D3DXVec3TransformNormal(&turned, &unit, &fromAxis);
        EXPECT_LT(D3DXVec3Length(&(turned -= unit)), 4e-6f);
    }
}

TEST(Rotation, QuaternionIsNotNormalisedFirst)
{
    D3DXQUATERNION q(0.0f, 0.0f, 0.0f, 2.0f);  // length 2: only the x, y, z terms count
    D3DXMATRIX m;
    EXPECT_EQ(*D3DXMatrixRotationQuaternion(&m, &q), Identity());
    D3DXQUATERNION q2(1.0f, 0.0f, 0.0f, 0.0f);
    const D3DXMATRIX halfTurnAboutX(1, 0, 0, 0, 0, -1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1);
    EXPECT_EQ(*D3DXMatrixRotationQuaternion(&m, &q2), halfTurnAboutX);
}

TEST(Slerp, InterpolatesAlongTheShorterArcWithoutRenormalising)
{
    D3DXQUATERNION a, b, out;
    D3DXVECTOR3 y(0, 1, 0);
    D3DXQuaternionRotationAxis(&a, &y, 0.0f);
    D3DXQuaternionRotationAxis(&b, &y, 1.0f);
    D3DXQuaternionSlerp(&out, &a, &b, 0.25f);
    D3DXQUATERNION expected;
    D3DXQuaternionRotationAxis(&expected, &y, 0.25f);
    EXPECT_NEAR(out.y, expected.y, 1e-6f);
    EXPECT_NEAR(out.w, expected.w, 1e-6f);

    // q and -q are the same rotation: the result is q for every t.
    D3DXQUATERNION q(0.1f, 0.7f, -0.2f, 0.6782f);
    D3DXQuaternionNormalize(&q, &q);
    D3DXQUATERNION minus = -q;
    for (float t : {0.0f, 0.3f, 0.5f, 1.0f}) {
        D3DXQuaternionSlerp(&out, &q, &minus, t);
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR((&out.x)[c], (&q.x)[c], 1e-6f) << "t " << t << ", component " << c;
    }

    // Nearly identical: linear weights, never a division by a tiny sine.
    D3DXQUATERNION n1(0, 0, 0, 1), n2(0, 0, 1e-5f, 1.0f);
    D3DXQuaternionSlerp(&out, &n1, &n2, 0.5f);
    EXPECT_TRUE(std::isfinite(out.z));
    EXPECT_FLOAT_EQ(out.z, 0.5e-5f);
    EXPECT_FLOAT_EQ(out.w, 1.0f);

    // Not renormalised: slerp between unnormalised inputs keeps their scale at the ends.
    D3DXQUATERNION big(0, 0, 0, 2.0f), big2(0, 0, 0, 2.0f);
    D3DXQuaternionSlerp(&out, &big, &big2, 0.5f);
    EXPECT_FLOAT_EQ(out.w, 2.0f);
}

TEST(Perspective, MatchesTheLeftHandedFormAndRejectsDegenerateInput)
{
    D3DXMATRIX p;
    const float fovy = 0.7853982f, aspect = 1024.0f / 768.0f;
    ASSERT_NE(nullptr, D3DXMatrixPerspectiveFovLH(&p, fovy, aspect, 1.0f, 10000.0f));
    float h = std::cos(fovy / 2) / std::sin(fovy / 2);
    EXPECT_FLOAT_EQ(p._11, h / aspect);
    EXPECT_FLOAT_EQ(p._22, h);
    EXPECT_FLOAT_EQ(p._33, 10000.0f / 9999.0f);
    EXPECT_EQ(p._34, 1.0f);
    EXPECT_FLOAT_EQ(p._43, -10000.0f / 9999.0f);
    EXPECT_EQ(p._44, 0.0f);
    EXPECT_EQ(p._12, 0.0f);

    D3DXMATRIX out(7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7), before = out;
    EXPECT_EQ(nullptr, D3DXMatrixPerspectiveFovLH(&out, fovy, aspect, 5.0f, 5.0f));
    EXPECT_EQ(nullptr, D3DXMatrixPerspectiveFovLH(&out, 0.0f, aspect, 1.0f, 2.0f));
    EXPECT_EQ(nullptr, D3DXMatrixPerspectiveFovLH(&out, fovy, 0.0f, 1.0f, 2.0f));
    EXPECT_EQ(out, before);
}

TEST(NullArguments, WriteNothingAndReturnNull)
{
    D3DXMATRIX m = Identity();
    D3DXVECTOR3 v(1, 2, 3);
    D3DXQUATERNION q(0, 0, 0, 1);
    EXPECT_EQ(nullptr, D3DXMatrixMultiply(nullptr, &m, &m));
    EXPECT_EQ(nullptr, D3DXMatrixMultiply(&m, nullptr, &m));
    EXPECT_EQ(nullptr, D3DXMatrixInverse(&m, nullptr, nullptr));
    EXPECT_EQ(nullptr, D3DXVec3Normalize(nullptr, &v));
    EXPECT_EQ(nullptr, D3DXVec3TransformCoord(&v, &v, nullptr));
    EXPECT_EQ(nullptr, D3DXVec3TransformNormal(&v, nullptr, &m));
    EXPECT_EQ(nullptr, D3DXMatrixRotationAxis(&m, nullptr, 1.0f));
    EXPECT_EQ(nullptr, D3DXMatrixRotationQuaternion(&m, nullptr));
    EXPECT_EQ(nullptr, D3DXQuaternionSlerp(&q, &q, nullptr, 0.5f));
    EXPECT_EQ(nullptr, D3DXMatrixTranspose(nullptr, &m));
    EXPECT_EQ(m, Identity());
    EXPECT_EQ(v, D3DXVECTOR3(1, 2, 3));
}

// Right-handed coordinates are left-handed ones with z negated: each right-handed matrix is
// the left-handed one after that mirror (and, for views, before it).
TEST(Handedness, RightHandedMatricesAreTheLeftHandedOnesThroughAZMirror)
{
    D3DXMATRIX flip, lh, rh, want;
    D3DXMatrixScaling(&flip, 1, 1, -1);
    D3DXMatrixPerspectiveFovLH(&lh, 0.9f, 1.3f, 0.5f, 40.0f);
    D3DXMatrixPerspectiveFovRH(&rh, 0.9f, 1.3f, 0.5f, 40.0f);
    ExpectMatrixNear(rh, flip * lh, 1e-5f);
    D3DXMatrixPerspectiveLH(&lh, 2, 1.5f, 1, 10);
    D3DXMatrixPerspectiveRH(&rh, 2, 1.5f, 1, 10);
    ExpectMatrixNear(rh, flip * lh, 1e-6f);
    D3DXMatrixOrthoLH(&lh, 4, 3, 1, 9);
    D3DXMatrixOrthoRH(&rh, 4, 3, 1, 9);
    ExpectMatrixNear(rh, flip * lh, 1e-6f);
    D3DXMatrixOrthoOffCenterLH(&lh, -1, 3, -2, 5, 0.5f, 7);
    D3DXMatrixOrthoOffCenterRH(&rh, -1, 3, -2, 5, 0.5f, 7);
    ExpectMatrixNear(rh, flip * lh, 1e-6f);
    // The box's corners go to the clip box's: (l, b, zn) to (-1, -1, 0), (r, t, zf) to (1, 1, 1).
    D3DXVECTOR3 low(-1, -2, 0.5f), high(3, 5, 7), clipLow, clipHigh;
    D3DXVec3TransformCoord(&clipLow, &low, &lh);
    D3DXVec3TransformCoord(&clipHigh, &high, &lh);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(clipLow[i], i < 2 ? -1.0f : 0.0f, 1e-6f) << i;
        EXPECT_NEAR(clipHigh[i], 1.0f, 1e-6f) << i;
    }
    // A width-by-height perspective is the field-of-view one whose near plane is that big.
    D3DXMatrixPerspectiveLH(&lh, 2 * 0.5f * tanf(0.45f) * 1.3f, 2 * 0.5f * tanf(0.45f), 0.5f, 40.0f);
    D3DXMatrixPerspectiveFovLH(&want, 0.9f, 1.3f, 0.5f, 40.0f);
    ExpectMatrixNear(lh, want, 1e-5f);
    // The right-handed view of mirrored points is the mirror of the left-handed view.
    D3DXVECTOR3 eye(1, 2, -5), at(0, 1, 3), up(0, 1, 0), meye(1, 2, 5), mat(0, 1, -3);
    D3DXMatrixLookAtLH(&lh, &eye, &at, &up);
    D3DXMatrixLookAtRH(&rh, &meye, &mat, &up);
    ExpectMatrixNear(rh, flip * lh * flip, 1e-5f);
    EXPECT_EQ(D3DXMatrixPerspectiveRH(&rh, 0, 1, 1, 2), nullptr);
}

TEST(Viewport, ProjectedPointsComeBackThroughUnproject)
{
    D3DVIEWPORT9 vp = {10, 20, 640, 480, 0.0f, 1.0f};
    D3DXMATRIX proj, view, world;
    D3DXVECTOR3 eye(0, 0, -10), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixPerspectiveFovLH(&proj, D3DX_PI / 3, 4.0f / 3, 1, 100);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixTranslation(&world, 1, 0, 0);
    // The world origin moved to (1, 0, 0) is right of the centre, on the middle row.
    D3DXVECTOR3 origin(0, 0, 0), screen, back;
    ASSERT_NE(D3DXVec3Project(&screen, &origin, &vp, &proj, &view, &world), nullptr);
    EXPECT_GT(screen.x, 10 + 320.0f);
    EXPECT_NEAR(screen.y, 20 + 240.0f, 1e-3f);
    EXPECT_GT(screen.z, 0.0f);
    EXPECT_LT(screen.z, 1.0f);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> d(-3.0f, 3.0f);
    for (int i = 0; i < 20; ++i) {
        D3DXVECTOR3 p(d(rng), d(rng), d(rng));
        D3DXVec3Project(&screen, &p, &vp, &proj, &view, &world);
        ASSERT_NE(D3DXVec3Unproject(&back, &screen, &vp, &proj, &view, &world), nullptr);
        EXPECT_NEAR(back.x, p.x, 1e-3f);
        EXPECT_NEAR(back.y, p.y, 1e-3f);
        EXPECT_NEAR(back.z, p.z, 1e-3f);
    }
    // Without a viewport the point stays in clip space; null matrices are identities.
    D3DXVECTOR3 q(0.5f, -0.25f, 0.75f);
    D3DXVec3Project(&screen, &q, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(screen, q);
}

TEST(Plane, PlanesHoldTheirPointsAndMeetLines)
{
    D3DXVECTOR3 a(1, 0, 0), b(0, 2, 0), c(0, 0, 3), hit;
    D3DXPLANE p;
    ASSERT_NE(D3DXPlaneFromPoints(&p, &a, &b, &c), nullptr);
    for (const D3DXVECTOR3 &v : {a, b, c})
        EXPECT_NEAR(D3DXPlaneDotCoord(&p, &v), 0.0f, 1e-6f);
    EXPECT_NEAR(p.a * p.a + p.b * p.b + p.c * p.c, 1.0f, 1e-6f);
    D3DXVECTOR3 origin(0, 0, 0), far(2, 2, 2);
    EXPECT_LT(D3DXPlaneDotCoord(&p, &origin), 0.0f) << "clockwise points seen from the origin face away from it";
    ASSERT_NE(D3DXPlaneIntersectLine(&hit, &p, &origin, &far), nullptr);
    EXPECT_NEAR(D3DXPlaneDotCoord(&p, &hit), 0.0f, 1e-6f);
    EXPECT_NEAR(hit.x, hit.y, 1e-6f);
    D3DXVECTOR3 along = a + (b - a) * 2.0f;
    EXPECT_EQ(D3DXPlaneIntersectLine(&hit, &p, &a, &along), nullptr) << "a line in the plane";
    D3DXPLANE big(0, 0, 4, -8), unit;
    EXPECT_EQ(*D3DXPlaneNormalize(&unit, &big), D3DXPLANE(0, 0, 1, -2));
    D3DXVECTOR4 w(0, 0, 2, 1);
    EXPECT_EQ(D3DXPlaneDot(&unit, &w), 0.0f);
    D3DXVECTOR3 n(0, 1, 0), at(5, 3, 5);
    EXPECT_EQ(*D3DXPlaneFromPointNormal(&p, &at, &n), D3DXPLANE(0, 1, 0, -3));
}

void ExpectQuatNearUpToSign(const D3DXQUATERNION &a, const D3DXQUATERNION &b, float tol)
{
    float sign = D3DXQuaternionDot(&a, &b) < 0.0f ? -1.0f : 1.0f;
    EXPECT_NEAR(a.x, sign * b.x, tol);
    EXPECT_NEAR(a.y, sign * b.y, tol);
    EXPECT_NEAR(a.z, sign * b.z, tol);
    EXPECT_NEAR(a.w, sign * b.w, tol);
}

TEST(Curves, PassThroughTheirControlPointsWithTheirTangents)
{
    D3DXVECTOR3 p0(0, 0, 0), p1(1, 2, 0), p2(3, 2, 1), p3(4, 0, 5), out, a, b;
    // Catmull-Rom: v1 at 0, v2 at 1, and the tangent at v1 is (v2 - v0) / 2.
    EXPECT_EQ(*D3DXVec3CatmullRom(&out, &p0, &p1, &p2, &p3, 0.0f), p1);
    EXPECT_EQ(*D3DXVec3CatmullRom(&out, &p0, &p1, &p2, &p3, 1.0f), p2);
    const float h = 1e-3f;
    D3DXVec3CatmullRom(&a, &p0, &p1, &p2, &p3, h);
    D3DXVec3CatmullRom(&b, &p0, &p1, &p2, &p3, -h);
    D3DXVECTOR3 slope = (a - b) / (2 * h), want = (p2 - p0) * 0.5f;
    EXPECT_LT(D3DXVec3Length(&(slope -= want)), 2e-2f);
    // Hermite: the end points, and a cubic with matching tangents is a straight line.
    D3DXVECTOR3 t1(1, 0, 0), t2(0, 1, 0);
    EXPECT_EQ(*D3DXVec3Hermite(&out, &p1, &t1, &p2, &t2, 0.0f), p1);
    EXPECT_EQ(*D3DXVec3Hermite(&out, &p1, &t1, &p2, &t2, 1.0f), p2);
    D3DXVECTOR3 chord = p2 - p1;
    D3DXVec3Hermite(&out, &p1, &chord, &p2, &chord, 0.25f);
    D3DXVECTOR3 line = p1 + chord * 0.25f;
    EXPECT_LT(D3DXVec3Length(&(out -= line)), 1e-6f);
    D3DXVec3Hermite(&a, &p1, &t1, &p2, &t2, h);
    D3DXVec3Hermite(&b, &p1, &t1, &p2, &t2, -h);
    slope = (a - b) / (2 * h);
    EXPECT_LT(D3DXVec3Length(&(slope -= t1)), 1e-2f);
    // Barycentric: the corners and the centroid; the 2D forms agree with the 3D ones.
    EXPECT_EQ(*D3DXVec3BaryCentric(&out, &p0, &p1, &p2, 1.0f, 0.0f), p1);
    EXPECT_EQ(*D3DXVec3BaryCentric(&out, &p0, &p1, &p2, 0.0f, 1.0f), p2);
    D3DXVec3BaryCentric(&out, &p1, &p2, &p3, 1.0f / 3, 1.0f / 3);
    D3DXVECTOR3 centroid = (p1 + p2 + p3) / 3.0f;
    EXPECT_LT(D3DXVec3Length(&(out -= centroid)), 1e-6f);
    D3DXVECTOR2 q0(0, 0), q1(1, 2), q2(3, 2), q3(4, 0), o2;
    D3DXVec2CatmullRom(&o2, &q0, &q1, &q2, &q3, 0.4f);
    D3DXVECTOR3 p3flat(4, 0, 0);  // z does not affect x and y
    D3DXVec3CatmullRom(&out, &p0, &p1, &p2, &p3flat, 0.4f);
    EXPECT_FLOAT_EQ(o2.x, out.x);
    EXPECT_FLOAT_EQ(o2.y, out.y);
    D3DXVECTOR2 u1(1, 0), u2(0, 1);
    D3DXVec2Hermite(&o2, &q1, &u1, &q2, &u2, 1.0f);
    EXPECT_EQ(o2.x, 3.0f);
    D3DXVec2BaryCentric(&o2, &q0, &q1, &q3, 0.5f, 0.5f);
    EXPECT_EQ(o2.x, 2.5f);
    EXPECT_EQ(nullptr, D3DXVec3Hermite(&out, &p1, nullptr, &p2, &t2, 0.5f));
}

TEST(Vectors, TwoAndFourComponentOperations)
{
    D3DXVECTOR2 a(3, 4), b(-1, 2), out;
    EXPECT_EQ(D3DXVec2Length(&a), 5.0f);
    EXPECT_EQ(D3DXVec2Dot(&a, &b), 5.0f);
    EXPECT_GT(D3DXVec2CCW(&a, &b), 0.0f) << "b is counter-clockwise of a";
    EXPECT_LT(D3DXVec2CCW(&b, &a), 0.0f);
    D3DXVec2Normalize(&out, &a);
    EXPECT_FLOAT_EQ(out.x, 0.6f);
    EXPECT_EQ(*D3DXVec2Minimize(&out, &a, &b), D3DXVECTOR2(-1, 2));
    EXPECT_EQ(*D3DXVec2Maximize(&out, &a, &b), D3DXVECTOR2(3, 4));
    EXPECT_EQ(*D3DXVec2Lerp(&out, &a, &b, 0.5f), D3DXVECTOR2(1, 3));
    // A 2D point is (x, y, 0, 1); a normal ignores the translation.
    D3DXMATRIX m;
    D3DXMatrixRotationZ(&m, D3DX_PI / 2);
    m._41 = 10;
    m._44 = 2;
    D3DXVECTOR2 x(1, 0);
    D3DXVECTOR4 o4;
    D3DXVec2Transform(&o4, &x, &m);
    EXPECT_NEAR(o4.x, 10.0f, 1e-6f);
    EXPECT_NEAR(o4.y, 1.0f, 1e-6f);
    EXPECT_EQ(o4.w, 2.0f);
    D3DXVec2TransformCoord(&out, &x, &m);
    EXPECT_NEAR(out.x, 5.0f, 1e-6f);
    EXPECT_NEAR(out.y, 0.5f, 1e-6f);
    D3DXVec2TransformNormal(&out, &x, &m);
    EXPECT_NEAR(out.x, 0.0f, 1e-6f);
    EXPECT_NEAR(out.y, 1.0f, 1e-6f);

    // The four-dimensional cross product is perpendicular to all three inputs and, on the
    // first three axes, gives the fourth.
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> d(-2.0f, 2.0f);
    for (int i = 0; i < 20; ++i) {
        D3DXVECTOR4 u(d(rng), d(rng), d(rng), d(rng)), v(d(rng), d(rng), d(rng), d(rng)),
            w(d(rng), d(rng), d(rng), d(rng)), c;
        D3DXVec4Cross(&c, &u, &v, &w);
        for (const D3DXVECTOR4 *p : {&u, &v, &w})
            EXPECT_NEAR(D3DXVec4Dot(&c, p), 0.0f, 1e-4f);
    }
    D3DXVECTOR4 ex(1, 0, 0, 0), ey(0, 1, 0, 0), ez(0, 0, 1, 0), c;
    D3DXVec4Cross(&c, &ex, &ey, &ez);
    EXPECT_EQ(std::fabs(c.w), 1.0f);
    D3DXVECTOR4 p(1, 2, 3, 4), q(4, 3, 2, 1);
    EXPECT_EQ(*D3DXVec4Add(&c, &p, &q), D3DXVECTOR4(5, 5, 5, 5));
    EXPECT_EQ(*D3DXVec4Subtract(&c, &p, &q), D3DXVECTOR4(-3, -1, 1, 3));
    EXPECT_EQ(*D3DXVec4Scale(&c, &p, 2), D3DXVECTOR4(2, 4, 6, 8));
    EXPECT_EQ(*D3DXVec4Lerp(&c, &p, &q, 0.5f), D3DXVECTOR4(2.5f, 2.5f, 2.5f, 2.5f));
    EXPECT_EQ(D3DXVec4LengthSq(&p), 30.0f);
}

TEST(MatrixBuilders, ReflectShadowAndOffCentrePerspective)
{
    // The plane x + y = 2 (unnormalised): a point and its mirror straddle it at equal distance.
    D3DXPLANE plane(3, 3, 0, -6), unit;
    D3DXPlaneNormalize(&unit, &plane);
    D3DXMATRIX reflect, twice;
    ASSERT_NE(nullptr, D3DXMatrixReflect(&reflect, &plane));
    D3DXVECTOR3 p(4, 1, -2), mirrored, back;
    D3DXVec3TransformCoord(&mirrored, &p, &reflect);
    EXPECT_NEAR(D3DXPlaneDotCoord(&unit, &mirrored), -D3DXPlaneDotCoord(&unit, &p), 1e-5f);
    D3DXVECTOR3 mid = (p + mirrored) * 0.5f;
    EXPECT_NEAR(D3DXPlaneDotCoord(&unit, &mid), 0.0f, 1e-5f);
    EXPECT_NEAR(mirrored.z, p.z, 1e-6f);
    twice = reflect * reflect;
    ExpectMatrixNear(twice, Identity(), 1e-6f);

    // Shadows from a point light and from a directional light land on the plane, on the
    // line from the light through the point.
    D3DXMATRIX shadow;
    D3DXPLANE ground(0, 2, 0, 0);  // y = 0, unnormalised
    D3DXVECTOR4 lamp(1, 10, 2, 1), sun(0.3f, -1, 0.2f, 0);
    D3DXVECTOR3 points[] = {D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(2, 3, -1), D3DXVECTOR3(-4, 0.5f, 3)};
    for (const D3DXVECTOR4 &light : {lamp, sun}) {
        ASSERT_NE(nullptr, D3DXMatrixShadow(&shadow, &light, &ground));
        for (const D3DXVECTOR3 &q : points) {
            D3DXVECTOR3 s;
            D3DXVec3TransformCoord(&s, &q, &shadow);
            EXPECT_NEAR(D3DXPlaneDotCoord(&ground, &s), 0.0f, 1e-5f) << "light w " << light.w;
            D3DXVECTOR3 dir = light.w != 0 ? q - D3DXVECTOR3(light.x, light.y, light.z)
                                           : D3DXVECTOR3(light.x, light.y, light.z) * -1.0f;
            D3DXVECTOR3 toShadow = s - q, cross;
            D3DXVec3Cross(&cross, &dir, &toShadow);
            EXPECT_LT(D3DXVec3Length(&cross), 1e-4f) << "the shadow lies on the light's ray";
        }
    }
    // A tilted plane: the shadow still satisfies its equation.
    D3DXPLANE tilted(1, 2, 0.5f, -1);
    D3DXMatrixShadow(&shadow, &lamp, &tilted);
    D3DXVECTOR3 s;
    D3DXVec3TransformCoord(&s, &points[1], &shadow);
    EXPECT_NEAR(D3DXPlaneDotCoord(&tilted, &s), 0.0f, 1e-5f);

    // A centred off-centre perspective is the width-by-height one; right-handed is the z mirror.
    D3DXMATRIX lh, rh, want, flip;
    D3DXMatrixPerspectiveOffCenterLH(&lh, -1, 1, -0.75f, 0.75f, 1, 50);
    D3DXMatrixPerspectiveLH(&want, 2, 1.5f, 1, 50);
    ExpectMatrixNear(lh, want, 1e-6f);
    D3DXMatrixScaling(&flip, 1, 1, -1);
    D3DXMatrixPerspectiveOffCenterLH(&lh, -1, 3, -2, 0.5f, 0.5f, 20);
    D3DXMatrixPerspectiveOffCenterRH(&rh, -1, 3, -2, 0.5f, 0.5f, 20);
    ExpectMatrixNear(rh, flip * lh, 1e-6f);
    // The near rectangle's corners map to the clip square's corners at depth 0.
    D3DXVECTOR3 corner(3, 0.5f, 0.5f), clip;
    D3DXVec3TransformCoord(&clip, &corner, &lh);
    EXPECT_NEAR(clip.x, 1.0f, 1e-6f);
    EXPECT_NEAR(clip.y, 1.0f, 1e-6f);
    EXPECT_NEAR(clip.z, 0.0f, 1e-6f);
    EXPECT_EQ(nullptr, D3DXMatrixPerspectiveOffCenterLH(&lh, 1, 1, 0, 1, 1, 2));

    D3DXMATRIX a(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16), b, t;
    D3DXMatrixRotationYawPitchRoll(&b, 0.3f, 0.2f, 0.1f);
    D3DXMatrixMultiplyTranspose(&t, &a, &b);
    D3DXMATRIX ab = a * b;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(t.m[i][j], ab.m[j][i]);
}

TEST(MatrixBuilders, DecomposeGivesBackTheTransformationsParts)
{
    std::mt19937 rng(21);
    std::uniform_real_distribution<float> d(-3.0f, 3.0f), pos(0.2f, 3.0f);
    for (int i = 0; i < 50; ++i) {
        D3DXVECTOR3 scale(pos(rng), pos(rng), pos(rng)), centre(d(rng), d(rng), d(rng)),
            move(d(rng), d(rng), d(rng)), axis(d(rng), d(rng), d(rng));
        D3DXQUATERNION rot, gotRot;
        D3DXQuaternionRotationAxis(&rot, &axis, d(rng));
        D3DXMATRIX m;
        ASSERT_NE(nullptr, D3DXMatrixTransformation(&m, nullptr, nullptr, &scale, &centre, &rot, &move));
        // The rotation centre stays put apart from the translation when unscaled parts line up.
        D3DXVECTOR3 gotScale, gotMove;
        ASSERT_EQ(S_OK, D3DXMatrixDecompose(&gotScale, &gotRot, &gotMove, &m));
        EXPECT_LT(D3DXVec3Length(&(gotScale -= scale)), 1e-5f);
        ExpectQuatNearUpToSign(gotRot, rot, 1e-5f);
        // Translation: centre - centre * R + move.
        D3DXMATRIX r;
        D3DXMatrixRotationQuaternion(&r, &rot);
        D3DXVECTOR3 turned;
        D3DXVec3TransformNormal(&turned, &centre, &r);
        D3DXVECTOR3 want = centre - turned + move;
        EXPECT_LT(D3DXVec3Length(&(gotMove -= want)), 1e-4f);
    }
    // The rotation centre is a fixed point of the scale-free rotation.
    D3DXVECTOR3 centre(1, 2, 3), y(0, 1, 0), out;
    D3DXQUATERNION q;
    D3DXQuaternionRotationAxis(&q, &y, 1.0f);
    D3DXMATRIX m;
    D3DXMatrixAffineTransformation(&m, 1.0f, &centre, &q, nullptr);
    D3DXVec3TransformCoord(&out, &centre, &m);
    EXPECT_LT(D3DXVec3Length(&(out -= centre)), 1e-6f);
    // Scaling about a centre along turned axes: the centre stays, and a point along the
    // turned x axis moves by that axis's scale.
    D3DXQUATERNION axes;
    D3DXVECTOR3 z(0, 0, 1), scale(3, 1, 1), sc(5, 0, 0);
    D3DXQuaternionRotationAxis(&axes, &z, D3DX_PI / 2);  // x axis turned onto y
    D3DXMatrixTransformation(&m, &sc, &axes, &scale, nullptr, nullptr, nullptr);
    D3DXVec3TransformCoord(&out, &sc, &m);
    EXPECT_LT(D3DXVec3Length(&(out -= sc)), 1e-6f);
    D3DXVECTOR3 above(5, 1, 0);
    D3DXVec3TransformCoord(&out, &above, &m);
    EXPECT_NEAR(out.x, 5.0f, 1e-5f);
    EXPECT_NEAR(out.y, 3.0f, 1e-5f);
    // A zero scale cannot be decomposed.
    D3DXMATRIX flat;
    D3DXMatrixScaling(&flat, 1, 0, 1);
    D3DXVECTOR3 s3, t3;
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXMatrixDecompose(&s3, &q, &t3, &flat));
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXMatrixDecompose(&s3, &q, &t3, nullptr));
}

TEST(Plane, TransformedByTheInverseTransposeHoldsTheTransformedPoints)
{
    D3DXVECTOR3 a(1, 0, 0), b(0, 2, 0), c(0, 0, 3);
    D3DXPLANE p, planes[2], moved[2];
    D3DXPlaneFromPoints(&p, &a, &b, &c);
    D3DXMATRIX m, inv, it;
    D3DXVECTOR3 scale(2, 1, 0.5f), move(1, -2, 4);
    D3DXMatrixTransformation(&m, nullptr, nullptr, &scale, nullptr, nullptr, &move);
    D3DXMatrixRotationYawPitchRoll(&inv, 0.4f, -0.3f, 1.1f);
    m *= inv;
    D3DXMatrixInverse(&inv, nullptr, &m);
    D3DXMatrixTranspose(&it, &inv);
    planes[0] = p;
    planes[1] = -p;
    ASSERT_EQ(moved, D3DXPlaneTransformArray(moved, sizeof(D3DXPLANE), planes, sizeof(D3DXPLANE), &it, 2));
    for (const D3DXVECTOR3 &v : {a, b, c}) {
        D3DXVECTOR3 w;
        D3DXVec3TransformCoord(&w, &v, &m);
        EXPECT_NEAR(D3DXPlaneDotCoord(&moved[0], &w), 0.0f, 1e-4f);
        EXPECT_NEAR(D3DXPlaneDotCoord(&moved[1], &w), 0.0f, 1e-4f);
    }
    D3DXPLANE single;
    EXPECT_EQ(*D3DXPlaneTransform(&single, &p, &it), moved[0]);
    EXPECT_EQ(*D3DXPlaneScale(&single, &p, -1.0f), -p);
}

TEST(Quaternion, MatrixRoundTripInverseLogarithmAndInterpolation)
{
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> d(-3.0f, 3.0f);
    for (int i = 0; i < 200; ++i) {
        // Angles up to 3 reach every branch of the matrix-to-quaternion conversion.
        D3DXVECTOR3 axis(d(rng), d(rng), d(rng));
        D3DXQUATERNION q, back, inv, product;
        D3DXQuaternionRotationAxis(&q, &axis, d(rng));
        D3DXMATRIX m;
        D3DXMatrixRotationQuaternion(&m, &q);
        D3DXQuaternionRotationMatrix(&back, &m);
        ExpectQuatNearUpToSign(back, q, 2e-5f);
        // Inverse: q times its inverse is the identity, also for an unnormalised q.
        D3DXQUATERNION big(q.x * 3, q.y * 3, q.z * 3, q.w * 3);
        D3DXQuaternionInverse(&inv, &big);
        D3DXQuaternionMultiply(&product, &big, &inv);
        ExpectQuatNearUpToSign(product, D3DXQUATERNION(0, 0, 0, 1), 1e-5f);
        // Exp undoes Ln.
        D3DXQuaternionLn(&back, &q);
        EXPECT_EQ(back.w, 0.0f);
        D3DXQuaternionExp(&back, &back);
        ExpectQuatNearUpToSign(back, q, 1e-5f);
    }
    // The logarithm of a rotation by angle about a unit axis is half the angle times the axis.
    D3DXVECTOR3 y(0, 1, 0), axis;
    D3DXQUATERNION q, out, c;
    D3DXQuaternionRotationAxis(&q, &y, 1.2f);
    D3DXQuaternionLn(&out, &q);
    EXPECT_NEAR(out.y, 0.6f, 1e-6f);
    float angle = 0;
    D3DXQuaternionToAxisAngle(&q, &axis, &angle);
    EXPECT_NEAR(angle, 1.2f, 1e-6f);
    EXPECT_NEAR(axis.y, sinf(0.6f), 1e-6f);
    D3DXQuaternionConjugate(&c, &q);
    EXPECT_TRUE(c.y == -q.y && c.w == q.w);
    EXPECT_NEAR(D3DXQuaternionLength(&q), 1.0f, 1e-6f);
    D3DXQUATERNION zero(0, 0, 0, 0);
    EXPECT_EQ(nullptr, D3DXQuaternionInverse(&out, &zero));

    // Squad and the barycentric blend hit their end points; Squad with all four equal to a
    // slerp's ends follows the slerp's arc.
    D3DXQUATERNION q1, q2, q3;
    D3DXVECTOR3 x(1, 0, 0);
    D3DXQuaternionRotationAxis(&q1, &y, 0.2f);
    D3DXQuaternionRotationAxis(&q2, &x, 1.0f);
    D3DXQuaternionRotationAxis(&q3, &y, -1.3f);
    D3DXQuaternionSquad(&out, &q1, &q2, &q3, &q3, 0.0f);
    ExpectQuatNearUpToSign(out, q1, 1e-6f);
    D3DXQuaternionSquad(&out, &q1, &q2, &q3, &q3, 1.0f);
    ExpectQuatNearUpToSign(out, q3, 1e-6f);
    D3DXQUATERNION slerp;
    D3DXQuaternionSquad(&out, &q1, &q1, &q3, &q3, 0.3f);
    D3DXQuaternionSlerp(&slerp, &q1, &q3, 0.3f);
    ExpectQuatNearUpToSign(out, slerp, 1e-5f);
    D3DXQuaternionBaryCentric(&out, &q1, &q2, &q3, 0.0f, 0.0f);
    ExpectQuatNearUpToSign(out, q1, 0.0f);
    D3DXQuaternionBaryCentric(&out, &q1, &q2, &q3, 1.0f, 0.0f);
    ExpectQuatNearUpToSign(out, q2, 1e-6f);
    D3DXQuaternionBaryCentric(&out, &q1, &q2, &q3, 0.0f, 1.0f);
    ExpectQuatNearUpToSign(out, q3, 1e-6f);
}

// Squad through SquadSetup's points runs from key to key, and two neighbouring segments
// meet with the same tangent.  Keys on one axis at even angles need no bending: the inner
// points are the keys themselves.  Which sign a key is given in does not change the curve.
TEST(Quaternion, SquadSetupJoinsSegmentsSmoothly)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    for (int round = 0; round < 20; ++round) {
        D3DXQUATERNION k[5];
        D3DXQuaternionRotationYawPitchRoll(&k[0], d(rng), d(rng), d(rng));
        for (int i = 1; i < 5; ++i) {
            D3DXQUATERNION step;
            D3DXQuaternionRotationYawPitchRoll(&step, 0.6f * d(rng), 0.6f * d(rng), 0.6f * d(rng));
            D3DXQuaternionMultiply(&k[i], &k[i - 1], &step);
        }
        // Keys 2 and 3 in the sign furthest from key 1: SquadSetup must pick the short way.
        k[2] = -k[2];
        k[3] = -k[3];
        D3DXQUATERNION a1, b1, c1, a2, b2, c2;
        D3DXQuaternionSquadSetup(&a1, &b1, &c1, &k[0], &k[1], &k[2], &k[3]);
        D3DXQuaternionSquadSetup(&a2, &b2, &c2, &k[1], &k[2], &k[3], &k[4]);
        auto first = [&](float t) {
            D3DXQUATERNION q;
            return *D3DXQuaternionSquad(&q, &k[1], &a1, &b1, &c1, t);
        };
        auto second = [&](float t) {
            D3DXQUATERNION q;
            return *D3DXQuaternionSquad(&q, &k[2], &a2, &b2, &c2, t);
        };
        ExpectQuatNearUpToSign(first(0.0f), k[1], 1e-5f);
        ExpectQuatNearUpToSign(first(1.0f), k[2], 1e-5f);
        ExpectQuatNearUpToSign(second(0.0f), k[2], 1e-5f);
        // The short way: no point of the first segment is further than 90 degrees of
        // rotation from both of its ends.
        for (float t = 0.1f; t < 1.0f; t += 0.2f) {
            D3DXQUATERNION q = first(t);
            EXPECT_GT(std::max(fabsf(D3DXQuaternionDot(&q, &k[1])), fabsf(D3DXQuaternionDot(&q, &k[2]))), 0.7f);
        }
        const float h = 1e-2f;
        D3DXQUATERNION e1 = first(1.0f), b = first(1.0f - h), s2 = second(0.0f), f = second(h);
        const float s = D3DXQuaternionDot(&e1, &s2) < 0 ? -1.0f : 1.0f;
        for (int c = 0; c < 4; ++c) {
            float left = (e1[c] - b[c]) / h, right = s * (f[c] - s2[c]) / h;
            EXPECT_NEAR(left, right, 0.05f) << "round " << round << " component " << c;
        }
    }

    D3DXVECTOR3 z(0, 0, 1);
    D3DXQUATERNION k[4], a, b, c;
    for (int i = 0; i < 4; ++i)
        D3DXQuaternionRotationAxis(&k[i], &z, 0.4f * i);
    D3DXQuaternionSquadSetup(&a, &b, &c, &k[0], &k[1], &k[2], &k[3]);
    ExpectQuatNearUpToSign(a, k[1], 1e-6f);
    ExpectQuatNearUpToSign(b, k[2], 1e-6f);
    EXPECT_EQ(c, k[2]);
}

// The C++ operators of the types agree with the functions of the same meaning.
TEST(Operators, AgreeWithTheFunctions)
{
    D3DXVECTOR2 a2(1, 2), b2(3, -4);
    D3DXVECTOR2 sum2 = a2 + b2, want2;
    EXPECT_EQ(sum2, *D3DXVec2Add(&want2, &a2, &b2));
    EXPECT_EQ(a2 - b2, *D3DXVec2Subtract(&want2, &a2, &b2));
    EXPECT_EQ(2.0f * a2, *D3DXVec2Scale(&want2, &a2, 2));
    EXPECT_EQ(a2 / 2.0f, D3DXVECTOR2(0.5f, 1));
    EXPECT_EQ(-a2, D3DXVECTOR2(-1, -2));
    D3DXVECTOR2 acc = a2;
    acc += b2;
    acc *= 2;
    acc -= a2;
    acc /= 4;
    EXPECT_EQ(acc, D3DXVECTOR2(1.75f, -1.5f));

    D3DXVECTOR4 a4(1, 2, 3, 4), w4;
    EXPECT_EQ(a4 / 2.0f, D3DXVECTOR4(0.5f, 1, 1.5f, 2));
    EXPECT_EQ(-a4 * 2.0f, *D3DXVec4Scale(&w4, &a4, -2));
    w4 = a4;
    w4 += a4;
    w4 -= D3DXVECTOR4(1, 1, 1, 1);
    w4 /= 2;
    EXPECT_EQ(w4, D3DXVECTOR4(0.5f, 1.5f, 2.5f, 3.5f));

    // Quaternion products are D3DXQuaternionMultiply: this rotation first, then q's.
    D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0);
    D3DXQUATERNION qx, qy, product;
    D3DXQuaternionRotationAxis(&qx, &x, 0.7f);
    D3DXQuaternionRotationAxis(&qy, &y, -0.4f);
    D3DXQuaternionMultiply(&product, &qx, &qy);
    EXPECT_EQ(qx * qy, product);
    D3DXQUATERNION q = qx;
    q *= qy;
    EXPECT_EQ(q, product);
    EXPECT_EQ((qx + qy) - qy, qx);
    EXPECT_EQ(qx * 2.0f / 2.0f, qx);
    EXPECT_EQ(2.0f * qx, qx + qx);

    // Matrices: element-wise sums and scales (the product: the Multiply test).
    D3DXMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16), twice;
    twice = m + m;
    EXPECT_EQ(twice, 2.0f * m);
    EXPECT_EQ(twice - m, m);
    EXPECT_EQ(twice / 2.0f, m);
    EXPECT_EQ(-m + m, D3DXMATRIX(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(twice._43, 30.0f);

    D3DXPLANE p(1, 2, 3, 4);
    EXPECT_TRUE(p * 2.0f == D3DXPLANE(2, 4, 6, 8) && p / 2.0f == 0.5f * p);
}

// 16-bit floats: exact values both ways, rounding to nearest even, overflow to infinity,
// denormals, signed zero and NaN.
TEST(Float16, ConvertsAsIeeeHalfPrecision)
{
    const struct {
        float f;
        WORD h;
    } exact[] = {{0.0f, 0x0000}, {-0.0f, 0x8000}, {1.0f, 0x3C00}, {-2.0f, 0xC000}, {0.5f, 0x3800},
                 {65504.0f, 0x7BFF}, {6.103515625e-05f, 0x0400}, {5.9604645e-08f, 0x0001},
                 {0.333251953125f, 0x3555}, {INFINITY, 0x7C00}, {-INFINITY, 0xFC00}};
    for (const auto &e : exact) {
        D3DXFLOAT16 h;
        D3DXFloat32To16Array(&h, &e.f, 1);
        EXPECT_EQ(h.value, e.h) << e.f;
        float back = 0;
        D3DXFloat16To32Array(&back, &h, 1);
        EXPECT_EQ(back, e.f) << std::hex << e.h;
        EXPECT_EQ(std::signbit(back), std::signbit(e.f));
    }
    auto half = [](float f) { return D3DXFLOAT16(f).value; };
    // Halfway between 1 and the next half (1 + 2^-10): ties go to the even mantissa.
    EXPECT_EQ(half(1.0f + 0.5f / 1024), 0x3C00);
    EXPECT_EQ(half(1.0f + 1.5f / 1024), 0x3C02);
    EXPECT_EQ(half(1.0f + 0.5f / 1024 + 1e-6f), 0x3C01);
    // Past the largest half: 65520 is the tie with 65536, which rounds to infinity.
    EXPECT_EQ(half(65519.0f), 0x7BFF);
    EXPECT_EQ(half(65520.0f), 0x7C00);
    EXPECT_EQ(half(-1e9f), 0xFC00);
    EXPECT_EQ(half(100000.0f), 0x7C00);
    // Denormals round too: 1.5 and 2.5 times the smallest go to 2 and 2; a quarter of it to 0.
    EXPECT_EQ(half(1.5f * 5.9604645e-08f), 0x0002);
    EXPECT_EQ(half(2.5f * 5.9604645e-08f), 0x0002);
    EXPECT_EQ(half(0.25f * 5.9604645e-08f), 0x0000);
    EXPECT_EQ(half(-1e-30f), 0x8000);
    // The largest denormal rounds up into the smallest normal.
    EXPECT_EQ(half(6.102e-05f), 0x0400);
    EXPECT_EQ(half(6.099e-05f), 0x03FF);
    const float nan = NAN;
    const WORD hn = D3DXFLOAT16(nan).value;
    EXPECT_EQ(hn & 0x7C00, 0x7C00);
    EXPECT_NE(hn & 0x3FF, 0);
    EXPECT_TRUE(std::isnan(float(D3DXFLOAT16(nan))));
    // A NaN whose payload lies only in the bits a half drops stays a NaN.
    const uint32_t lowPayload = 0x7F800001;
    float low;
    memcpy(&low, &lowPayload, sizeof low);
    EXPECT_TRUE(std::isnan(float(D3DXFLOAT16(low))));
    // Every half converts to a float that converts back to it.
    for (uint32_t bits = 0; bits < 0x10000; ++bits) {
        if ((bits & 0x7C00) == 0x7C00 && (bits & 0x3FF))
            continue;  // NaNs
        D3DXFLOAT16 h;
        h.value = WORD(bits);
        EXPECT_EQ(D3DXFLOAT16(float(h)).value, bits);
    }
    EXPECT_TRUE(D3DXFLOAT16(0.0f) == D3DXFLOAT16(-0.0f));
    // Vectors of halves convert through their components.
    D3DXVECTOR3_16F packed(D3DXVECTOR3(1, -2, 0.5f));
    EXPECT_EQ(packed.y.value, 0xC000);
    EXPECT_EQ(D3DXVECTOR3(packed), D3DXVECTOR3(1, -2, 0.5f));
    const float sixteen[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    D3DXFLOAT16 m16[16];
    D3DXFloat32To16Array(m16, sixteen, 16);
    EXPECT_EQ(D3DXMATRIX(m16), D3DXMATRIX(sixteen));
    EXPECT_EQ(nullptr, D3DXFloat32To16Array(NULL, sixteen, 1));
}

template <class V>
struct Padded {
    V v;
    float pad = -1;
};

// Each strided array form gives what its one-element function gives, element by element,
// and leaves the bytes between elements alone.
TEST(StridedArrays, MatchTheOneElementFunctions)
{
    D3DXMATRIX m;
    const D3DXVECTOR3 scale(1, 2, 3), move(4, 5, 6);
    D3DXMatrixTransformation(&m, NULL, NULL, &scale, NULL, NULL, &move);
    D3DXMATRIX persp;
    D3DXMatrixPerspectiveFovLH(&persp, 1.0f, 1.5f, 0.5f, 50.0f);
    m *= persp;
    // Elements padded with a float that the array forms must step over and leave alone.
    Padded<D3DXVECTOR4> in[3] = {{{1, 2, 3, 1}, 7}, {{-1, 0.5f, 2, 0}, 7}, {{0.25f, -3, 9, 2}, 7}};
    Padded<D3DXVECTOR4> out4[3];
    Padded<D3DXVECTOR3> out3[3];
    Padded<D3DXVECTOR2> out2[3];
    const UINT si = sizeof in[0], s4 = sizeof out4[0], s3 = sizeof out3[0], s2 = sizeof out2[0];
    auto v2 = [&](int i) { return reinterpret_cast<const D3DXVECTOR2 *>(&in[i].v); };
    auto v3 = [&](int i) { return reinterpret_cast<const D3DXVECTOR3 *>(&in[i].v); };
    D3DXVECTOR4 w4;
    D3DXVECTOR3 w3;
    D3DXVECTOR2 w2;
    ASSERT_EQ(D3DXVec2TransformArray(&out4[0].v, s4, v2(0), si, &m, 3), &out4[0].v);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(out4[i].v, *D3DXVec2Transform(&w4, v2(i), &m)) << i;
    D3DXVec3TransformArray(&out4[0].v, s4, v3(0), si, &m, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(out4[i].v, *D3DXVec3Transform(&w4, v3(i), &m)) << i;
    D3DXVec4TransformArray(&out4[0].v, s4, &in[0].v, si, &m, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(out4[i].v, *D3DXVec4Transform(&w4, &in[i].v, &m)) << i;
    D3DXVec3TransformCoordArray(&out3[0].v, s3, v3(0), si, &m, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(out3[i].v, *D3DXVec3TransformCoord(&w3, v3(i), &m)) << i;
    D3DXVec3TransformNormalArray(&out3[0].v, s3, v3(0), si, &m, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(out3[i].v, *D3DXVec3TransformNormal(&w3, v3(i), &m)) << i;
    D3DXVec2TransformCoordArray(&out2[0].v, s2, v2(0), si, &m, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(out2[i].v, *D3DXVec2TransformCoord(&w2, v2(i), &m)) << i;
    D3DXVec2TransformNormalArray(&out2[0].v, s2, v2(0), si, &m, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(out2[i].v, *D3DXVec2TransformNormal(&w2, v2(i), &m)) << i;

    D3DVIEWPORT9 vp = {10, 20, 640, 480, 0.25f, 0.75f};
    D3DXMATRIX view, world;
    D3DXMatrixTranslation(&view, 0, 0, 10);
    D3DXMatrixRotationY(&world, 0.3f);
    D3DXVec3ProjectArray(&out3[0].v, s3, v3(0), si, &vp, &persp, &view, &world, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(out3[i].v, *D3DXVec3Project(&w3, v3(i), &vp, &persp, &view, &world)) << i;
        D3DXVECTOR3 back;
        D3DXVec3UnprojectArray(&back, sizeof back, &out3[i].v, s3, &vp, &persp, &view, &world, 1);
        EXPECT_NEAR(back.x, v3(i)->x, 1e-4f);
        EXPECT_NEAR(back.z, v3(i)->z, 1e-3f);
    }
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(out4[i].pad == -1 && out3[i].pad == -1 && out2[i].pad == -1) << i;
    // In place: each element is read before it is written.
    const D3DXVECTOR3 second = *v3(1);
    D3DXVECTOR3 *inPlace = reinterpret_cast<D3DXVECTOR3 *>(&in[0].v);
    ASSERT_EQ(D3DXVec3TransformCoordArray(inPlace, si, inPlace, si, &m, 3), inPlace);
    EXPECT_EQ(*v3(1), *D3DXVec3TransformCoord(&w3, &second, &m));
    EXPECT_EQ(in[1].pad, 7.0f);
    D3DXMATRIX singular(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(nullptr, D3DXVec3UnprojectArray(&out3[0].v, s3, v3(0), si, &vp, &singular, NULL, NULL, 3));
    EXPECT_EQ(nullptr, D3DXVec4TransformArray(NULL, 16, &in[0].v, si, &m, 3));
}

// A matrix stack drawing a two-level hierarchy: the plain transforms act about the world
// origin (after the top), the Local ones about the object's (before it); Push and Pop keep
// the parent's matrix for the next child.
TEST(MatrixStack, WorldAndLocalOrderPushAndPop)
{
    ID3DXMatrixStack *stack = nullptr;
    ASSERT_EQ(D3DXCreateMatrixStack(0, &stack), D3D_OK);
    D3DXMATRIX identity, t, r, s, want;
    D3DXMatrixIdentity(&identity);
    EXPECT_EQ(*stack->GetTop(), identity);
    D3DXMatrixTranslation(&t, 1, 2, 3);
    D3DXMatrixRotationYawPitchRoll(&r, 0.5f, 0.25f, -0.75f);
    D3DXMatrixScaling(&s, 2, 3, 4);

    stack->Translate(1, 2, 3);
    stack->RotateYawPitchRoll(0.5f, 0.25f, -0.75f);  // top = T * R: rotated about the world origin
    EXPECT_EQ(*stack->GetTop(), t * r);
    stack->ScaleLocal(2, 3, 4);  // top = S * T * R: scaled in the object's own frame
    const D3DXMATRIX parent = s * t * r;
    EXPECT_EQ(*stack->GetTop(), parent);

    ASSERT_EQ(stack->Push(), D3D_OK);
    stack->TranslateLocal(0, 1, 0);
    D3DXMATRIX up;
    D3DXMatrixTranslation(&up, 0, 1, 0);
    EXPECT_EQ(*stack->GetTop(), up * parent);
    const D3DXVECTOR3 axis(0, 0, 1);
    stack->RotateAxisLocal(&axis, 0.3f);
    D3DXMATRIX spin;
    D3DXMatrixRotationAxis(&spin, &axis, 0.3f);
    EXPECT_EQ(*stack->GetTop(), spin * up * parent);
    stack->MultMatrix(&t);
    EXPECT_EQ(*stack->GetTop(), spin * up * parent * t);
    stack->MultMatrixLocal(&s);
    EXPECT_EQ(*stack->GetTop(), s * spin * up * parent * t);
    stack->RotateAxis(&axis, 0.3f);
    stack->Scale(2, 3, 4);
    stack->Translate(1, 2, 3);
    EXPECT_EQ(*stack->GetTop(), s * spin * up * parent * t * spin * s * t);
    ASSERT_EQ(stack->Pop(), D3D_OK);
    EXPECT_EQ(*stack->GetTop(), parent) << "the parent's matrix is back for the next child";

    stack->LoadMatrix(&r);
    EXPECT_EQ(*stack->GetTop(), r);
    stack->RotateYawPitchRollLocal(0.5f, 0.25f, -0.75f);
    EXPECT_EQ(*stack->GetTop(), r * r);
    stack->LoadIdentity();
    EXPECT_EQ(*stack->GetTop(), identity);
    // The last matrix stays: popping it is refused with one line.
    EXPECT_EQ(testsupport::CountLines(testsupport::StderrOf([&] { EXPECT_EQ(stack->Pop(), D3DERR_INVALIDCALL); })), 1);
    EXPECT_EQ(*stack->GetTop(), identity);
    EXPECT_EQ(stack->LoadMatrix(NULL), D3DERR_INVALIDCALL);
    EXPECT_EQ(stack->RotateAxis(NULL, 1), D3DERR_INVALIDCALL);

    IUnknown *unknown = nullptr;
    ASSERT_EQ(stack->QueryInterface(IID_IUnknown, (void **)&unknown), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(stack->Release(), 0u);
    ID3DXMatrixStack *none = reinterpret_cast<ID3DXMatrixStack *>(1);
    EXPECT_EQ(D3DXCreateMatrixStack(1, &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);
}

TEST(Colour, ArithmeticAndAdjustments)
{
    D3DXCOLOR a(0.2f, 0.4f, 0.6f, 0.5f), b(0.5f, 0.5f, 1.0f, 1.0f), out;
    EXPECT_TRUE(*D3DXColorModulate(&out, &a, &b) == D3DXCOLOR(0.1f, 0.2f, 0.6f, 0.5f));
    D3DXColorNegative(&out, &a);
    EXPECT_FLOAT_EQ(out.r, 0.8f);
    EXPECT_EQ(out.a, 0.5f) << "alpha is not negated";
    EXPECT_TRUE(*D3DXColorLerp(&out, &a, &b, 1.0f) == b);
    EXPECT_TRUE(*D3DXColorAdd(&out, &a, &b) == a + b);
    EXPECT_TRUE(*D3DXColorSubtract(&out, &b, &a) == b - a);
    EXPECT_TRUE(*D3DXColorScale(&out, &a, 2.0f) == 2.0f * a);
    EXPECT_EQ(DWORD(D3DXCOLOR(1, 0, 0, 1) + D3DXCOLOR(0, 0, 1, 0)), 0xffff00ffu);
    // Saturation 0 gives grey, 1 the colour; pure grey is unchanged by any saturation.
    D3DXColorAdjustSaturation(&out, &a, 0.0f);
    EXPECT_FLOAT_EQ(out.r, out.g);
    EXPECT_FLOAT_EQ(out.g, out.b);
    EXPECT_EQ(out.a, a.a);
    D3DXColorAdjustSaturation(&out, &a, 1.0f);
    EXPECT_NEAR(out.r, a.r, 1e-6f);
    D3DXCOLOR grey(0.3f, 0.3f, 0.3f, 1.0f);
    D3DXColorAdjustSaturation(&out, &grey, 3.0f);
    EXPECT_NEAR(out.b, 0.3f, 1e-6f);
    // Green weighs most in the grey level.
    D3DXCOLOR green(0, 1, 0, 1), blue(0, 0, 1, 1), g0, b0;
    D3DXColorAdjustSaturation(&g0, &green, 0.0f);
    D3DXColorAdjustSaturation(&b0, &blue, 0.0f);
    EXPECT_GT(g0.r, 0.5f);
    EXPECT_LT(b0.r, 0.1f);
    // Contrast 0 gives mid grey, 1 the colour, 2 doubles the distance from 0.5.
    EXPECT_TRUE(*D3DXColorAdjustContrast(&out, &a, 0.0f) == D3DXCOLOR(0.5f, 0.5f, 0.5f, 0.5f));
    D3DXColorAdjustContrast(&out, &a, 2.0f);
    EXPECT_NEAR(out.r, -0.1f, 1e-6f);
    EXPECT_NEAR(out.b, 0.7f, 1e-6f);
    EXPECT_EQ(nullptr, D3DXColorAdjustContrast(nullptr, &a, 1.0f));
}

// Head on, glass (n = 1.5) reflects ((n - 1) / (n + 1))^2 = 4%; at grazing angles all of it;
// in between the share grows as the angle flattens, and at 60 degrees it is the textbook 8.9%.
TEST(Fresnel, RunsFromTheHeadOnReflectanceToOneAtGrazingAngles)
{
    EXPECT_NEAR(D3DXFresnelTerm(1.0f, 1.5f), 0.04f, 1e-6f);
    EXPECT_NEAR(D3DXFresnelTerm(0.0f, 1.5f), 1.0f, 1e-6f);
    EXPECT_NEAR(D3DXFresnelTerm(0.5f, 1.5f), 0.0892f, 5e-4f);
    float last = 0.0f;
    for (float c = 1.0f; c >= 0.0f; c -= 0.125f) {
        const float f = D3DXFresnelTerm(c, 1.5f);
        EXPECT_GT(f, last) << c;
        last = f;
    }
}

}  // namespace
