// The camera's update (re-orthonormalising, turning by its rates, building the view) and
// the aiming of the follow camera.
#include "world/camera.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

D3DXVECTOR3 Look(const CCamera &c)
{
    D3DXVECTOR3 v;
    c.GetLook(&v.x, &v.y, &v.z);
    return v;
}
D3DXVECTOR3 Right(const CCamera &c)
{
    D3DXVECTOR3 v;
    c.GetRight(&v.x, &v.y, &v.z);
    return v;
}
D3DXVECTOR3 Up(const CCamera &c)
{
    D3DXVECTOR3 v;
    c.GetUp(&v.x, &v.y, &v.z);
    return v;
}

void ExpectVector(const D3DXVECTOR3 &v, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

TEST(Camera, ViewMatrixHasTheAxesAsColumnsAndTheEyeInRowFour)
{
    CCamera camera;
    camera.SetPosition(0.0f, 0.0f, -5.0f);
    camera.SetLook(0.0f, 0.0f, 1.0f);
    camera.SetUp(0.0f, 1.0f, 0.0f);
    camera.Update();
    const D3DXMATRIX &view = camera.GetViewMatrix();
    EXPECT_FLOAT_EQ(view._41, 0.0f);
    EXPECT_FLOAT_EQ(view._42, 0.0f);
    EXPECT_FLOAT_EQ(view._43, 5.0f);
    EXPECT_FLOAT_EQ(view._44, 1.0f);
    // A point straight ahead lands on the view's +z axis, one to the right on +x.
    D3DXVECTOR3 ahead(0.0f, 0.0f, 3.0f), side(1.0f, 0.0f, -5.0f), out;
    D3DXVec3TransformCoord(&out, &ahead, &view);
    ExpectVector(out, 0.0f, 0.0f, 8.0f);
    D3DXVec3TransformCoord(&out, &side, &view);
    ExpectVector(out, 1.0f, 0.0f, 0.0f);

    // Off the axes, row four is minus the eye projected on each axis.
    camera.SetPosition(2.0f, 3.0f, 4.0f);
    camera.Update();
    EXPECT_NEAR(view._41, -2.0f, 1e-6f);
    EXPECT_NEAR(view._42, -3.0f, 1e-6f);
    EXPECT_NEAR(view._43, -4.0f, 1e-6f);
    EXPECT_FLOAT_EQ(view._14, 0.0f);
    EXPECT_FLOAT_EQ(view._24, 0.0f);
    EXPECT_FLOAT_EQ(view._34, 0.0f);
}

TEST(Camera, FirstUpdateAfterConstructionTurnsRightToMinusX)
{
    CCamera camera;
    ExpectVector(Right(camera), 1.0f, 0.0f, 0.0f);  // as constructed
    camera.Update();
    ExpectVector(Right(camera), -1.0f, 0.0f, 0.0f);
    ExpectVector(Look(camera), 0.0f, 0.0f, -1.0f);
    ExpectVector(Up(camera), 0.0f, 1.0f, 0.0f);
    float x, y, z;
    camera.GetPosition(&x, &y, &z);
    ExpectVector(D3DXVECTOR3(x, y, z), 0.0f, 0.0f, -1.0f);
}

TEST(Camera, YawRateTurnsByTheSameAngleAtEveryUpdate)
{
    CCamera camera;
    camera.SetLook(0.0f, 0.0f, 1.0f);
    camera.SetYawRate(0.01f);
    for (int update = 1; update <= 50; ++update) {
        camera.Update();
        D3DXVECTOR3 look = Look(camera);
        // Turning about up keeps the look level; its heading grows by 0.01 each time.
        EXPECT_NEAR(look.y, 0.0f, 1e-5f);
        EXPECT_NEAR(std::atan2(look.x, look.z), 0.01f * update, 1e-4f) << "update " << update;
        EXPECT_NEAR(D3DXVec3Length(&look), 1.0f, 1e-5f);
    }
    EXPECT_FLOAT_EQ(camera.GetYawRate(), 0.01f);  // rates are not used up
}

TEST(Camera, PitchTurnsAboutTheTurnedRightAndRollAboutTheTurnedLook)
{
    CCamera camera;
    camera.SetLook(0.0f, 0.0f, 1.0f);
    const float quarter = 1.5707964f;
    // Yaw by a quarter turn first: the pitch must then use the new right (0,0,-1).
    camera.SetYawRate(quarter);
    camera.SetPitchRate(0.1f);
    camera.Update();
    D3DXVECTOR3 look = Look(camera);
    EXPECT_NEAR(look.x, std::cos(0.1f), 1e-5f);
    EXPECT_NEAR(std::fabs(look.y), std::sin(0.1f), 1e-5f);
    EXPECT_NEAR(look.z, 0.0f, 1e-5f);
    ExpectVector(Right(camera), 0.0f, 0.0f, -1.0f);

    CCamera rolling;
    rolling.SetLook(0.0f, 0.0f, 1.0f);
    rolling.SetRollRate(quarter);
    rolling.Update();
    ExpectVector(Look(rolling), 0.0f, 0.0f, 1.0f);       // roll keeps the look
    EXPECT_NEAR(std::fabs(Up(rolling).x), 1.0f, 1e-5f);  // and lays up on its side
    D3DXVECTOR3 up = Up(rolling), right = Right(rolling);
    EXPECT_NEAR(D3DXVec3Dot(&up, &right), 0.0f, 1e-5f);
}

TEST(Camera, MovementAppliesAlongTheCameraAxesAtEveryUpdate)
{
    CCamera camera;
    camera.SetPosition(0.0f, 0.0f, 0.0f);
    camera.SetLook(0.0f, 0.0f, 1.0f);
    camera.SetMovement(0.0f, 0.0f, 0.5f);
    camera.Update();
    camera.Update();
    float x, y, z;
    camera.GetPosition(&x, &y, &z);
    ExpectVector(D3DXVECTOR3(x, y, z), 0.0f, 0.0f, 1.0f);
    // Right as constructed (1,0,0) is used for the move before it is rebuilt.
    CCamera sideways;
    sideways.SetPosition(0.0f, 0.0f, 0.0f);
    sideways.SetMovement(2.0f, 1.0f, 0.0f);
    sideways.Update();
    sideways.GetPosition(&x, &y, &z);
    ExpectVector(D3DXVECTOR3(x, y, z), 2.0f, 1.0f, 0.0f);
}

TEST(Camera, AimingLooksAtTheTargetLiftedAndUpdateNormalisesIt)
{
    g_followCamera = CCamera();
    g_followCamera.SetPosition(0.0f, 1.0f, 3.0f);
    AimFollowCamera(D3DXVECTOR3(0.0f, 1.0f, 0.0f));  // straight ahead, same height
    ExpectVector(Look(g_followCamera), 0.0f, 0.2f, -1.0f);
    // right = (0,-1,0) x d and up = right x d; Update rebuilds right as up x look.
    ExpectVector(Right(g_followCamera), 1.0f, 0.0f, 0.0f);
    ExpectVector(Up(g_followCamera), 0.0f, 1.0f, 0.0f);

    g_followCamera.Update();
    D3DXVECTOR3 look = Look(g_followCamera);
    float length = std::sqrt(1.0f + 0.04f);
    ExpectVector(look, 0.0f, 0.2f / length, -1.0f / length);
    D3DXVECTOR3 right = Right(g_followCamera), up = Up(g_followCamera);
    EXPECT_NEAR(D3DXVec3Dot(&look, &right), 0.0f, 1e-5f);
    EXPECT_NEAR(D3DXVec3Dot(&look, &up), 0.0f, 1e-5f);
    EXPECT_GT(up.y, 0.9f);

    // A target off to the side and below: the look points at it before the lift.
    g_followCamera.SetPosition(1.0f, 2.0f, 1.0f);
    AimFollowCamera(D3DXVECTOR3(4.0f, -2.0f, 1.0f));
    ExpectVector(Look(g_followCamera), 0.6f, -0.8f + 0.2f, 0.0f);
}

}  // namespace
