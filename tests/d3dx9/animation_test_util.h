/*
 * animation_test_util.h - what the animation tests share: a rotation about y, and
 * vectors and rotations compared within a tolerance (q and -q are the same rotation).
 */
#ifndef TAVROK_TESTS_D3DX9_ANIMATION_TEST_UTIL_H
#define TAVROK_TESTS_D3DX9_ANIMATION_TEST_UTIL_H

#include <d3dx9.h>

#include <gtest/gtest.h>

#include <cmath>

namespace animtest {

inline D3DXQUATERNION AboutY(float degrees)
{
    D3DXQUATERNION q;
    D3DXVECTOR3 y(0, 1, 0);
    D3DXQuaternionRotationAxis(&q, &y, D3DXToRadian(degrees));
    return q;
}

inline void ExpectNear(const D3DXVECTOR3 &a, const D3DXVECTOR3 &b, float tol)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

inline void ExpectSameRotation(const D3DXQUATERNION &a, const D3DXQUATERNION &b, float tol = 1e-5f)
{
    EXPECT_NEAR(std::fabs(D3DXQuaternionDot(&a, &b)), 1.0f, tol)
        << a.x << " " << a.y << " " << a.z << " " << a.w << " vs " << b.x << " " << b.y << " " << b.z << " " << b.w;
}

}  // namespace animtest

#endif
