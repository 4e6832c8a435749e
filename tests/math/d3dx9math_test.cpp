// Tests of the D3DX maths: hand-computed values, the degenerate cases, aliasing, and
// properties checked on random inputs (products, inverses, rotations).
#include <d3dx9math.h>

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

TEST(Normalize, UnitLengthWithinToleranceIsCopiedBitForBit)
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
}

TEST(Normalize, ScalesOtherVectorsAndZeroesTinyOnes)
{
    D3DXVECTOR3 v(3.0f, 0.0f, 4.0f), out;
    D3DXVec3Normalize(&out, &v);
    EXPECT_FLOAT_EQ(out.x, 0.6f);
    EXPECT_FLOAT_EQ(out.z, 0.8f);

    // Zero, and a squared length below the smallest normal float, give zero: no huge result.
    const D3DXVECTOR3 zero(0.0f, 0.0f, 0.0f);
    for (const D3DXVECTOR3 &v3 : {zero, D3DXVECTOR3(1e-20f, 0.0f, 0.0f)})
        EXPECT_EQ(*D3DXVec3Normalize(&out, &v3), zero) << v3.x;
    D3DXVECTOR4 tiny4(0.0f, 0.0f, 0.0f, 1e-20f), out4;
    D3DXVec4Normalize(&out4, &tiny4);
    EXPECT_EQ(out4, D3DXVECTOR4(0, 0, 0, 0));
    D3DXVECTOR4 four(2.0f, 2.0f, 2.0f, 2.0f);
    D3DXVec4Normalize(&out4, &four);
    EXPECT_EQ(out4, D3DXVECTOR4(0.5f, 0.5f, 0.5f, 0.5f));

    // In place.
    D3DXVec3Normalize(&v, &v);
    EXPECT_FLOAT_EQ(v.x, 0.6f);
}

TEST(Transform, CoordProjectsOnlyWhenWIsNotOne)
{
    D3DXMATRIX t;
    D3DXMatrixTranslation(&t, 1.0f, 2.0f, 3.0f);
    D3DXVECTOR3 p(1.0f, 1.0f, 1.0f), out;
    D3DXVec3TransformCoord(&out, &p, &t);
    EXPECT_EQ(out, D3DXVECTOR3(2.0f, 3.0f, 4.0f));

    // w = 2: every component divided by 2.
    D3DXMATRIX s = Identity();
    s._44 = 2.0f;
    D3DXVec3TransformCoord(&out, &p, &s);
    EXPECT_EQ(out, D3DXVECTOR3(0.5f, 0.5f, 0.5f));

    // w = 1 + epsilon counts as 1: the coordinates stay undivided.
    s._44 = 1.0f + kEps;
    D3DXVECTOR3 q(3.0f, 5.0f, 7.0f);
    D3DXVec3TransformCoord(&out, &q, &s);
    EXPECT_EQ(out, q);

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
    D3DXMatrixMultiply(&out, &a, &b);
    EXPECT_EQ(out, expected);

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
    D3DXMatrixRotationQuaternion(&m, &q);
    EXPECT_EQ(m, Identity());
    D3DXQUATERNION q2(1.0f, 0.0f, 0.0f, 0.0f);
    D3DXMatrixRotationQuaternion(&m, &q2);
    EXPECT_EQ(m, D3DXMATRIX(1, 0, 0, 0, 0, -1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1));
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

}  // namespace

namespace {

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
    D3DXPlaneNormalize(&unit, &big);
    EXPECT_EQ(unit, D3DXPLANE(0, 0, 1, -2));
    D3DXVECTOR4 w(0, 0, 2, 1);
    EXPECT_EQ(D3DXPlaneDot(&unit, &w), 0.0f);
    D3DXVECTOR3 n(0, 1, 0), at(5, 3, 5);
    D3DXPlaneFromPointNormal(&p, &at, &n);
    EXPECT_EQ(p, D3DXPLANE(0, 1, 0, -3));
}

}  // namespace
