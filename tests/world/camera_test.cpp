// The camera's update (moving, re-orthonormalising, turning by its rates, building the
// view) and the aiming of the follow camera.
#include "world/camera.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// One of the camera's vectors, read through its getter.
D3DXVECTOR3 Get(const CCamera &c, void (CCamera::*getter)(float *, float *, float *) const)
{
    D3DXVECTOR3 v;
    (c.*getter)(&v.x, &v.y, &v.z);
    return v;
}
D3DXVECTOR3 Look(const CCamera &c) { return Get(c, &CCamera::GetLook); }
D3DXVECTOR3 Right(const CCamera &c) { return Get(c, &CCamera::GetRight); }
D3DXVECTOR3 Up(const CCamera &c) { return Get(c, &CCamera::GetUp); }
D3DXVECTOR3 Position(const CCamera &c) { return Get(c, &CCamera::GetPosition); }

void ExpectVector(const D3DXVECTOR3 &v, float x, float y, float z)
{
    EXPECT_NEAR(v.x, x, 1e-5f);
    EXPECT_NEAR(v.y, y, 1e-5f);
    EXPECT_NEAR(v.z, z, 1e-5f);
}

TEST(Camera, ViewMatrixHasTheAxesAsColumnsAndMinusTheEyeOnThemInRowFour)
{
    CCamera camera;
    camera.SetPosition(0.0f, 0.0f, -5.0f);
    camera.SetLook(0.0f, 0.0f, 1.0f);
    camera.Update();
    const D3DXMATRIX &view = camera.GetViewMatrix();
    const float expected[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ((&view._11)[i], expected[i]) << i;

    // Turned a quarter about up: the columns are right (0,0,-1), up, look (1,0,0).
    camera.SetPosition(2.0f, 3.0f, 4.0f);
    camera.SetLook(1.0f, 0.0f, 0.0f);
    camera.Update();
    D3DXVECTOR3 ahead(5.0f, 3.0f, 4.0f), side(2.0f, 3.0f, 3.0f), out;
    D3DXVec3TransformCoord(&out, &ahead, &view);
    ExpectVector(out, 0.0f, 0.0f, 3.0f);
    D3DXVec3TransformCoord(&out, &side, &view);
    ExpectVector(out, 1.0f, 0.0f, 0.0f);
}

TEST(Camera, FirstUpdateAfterConstructionTurnsRightToMinusX)
{
    CCamera camera;
    camera.Update();
    ExpectVector(Right(camera), -1.0f, 0.0f, 0.0f);
    ExpectVector(Look(camera), 0.0f, 0.0f, -1.0f);
    ExpectVector(Up(camera), 0.0f, 1.0f, 0.0f);
    ExpectVector(Position(camera), 0.0f, 0.0f, -1.0f);
}

TEST(Camera, YawRateTurnsByTheSameAngleAtEveryUpdate)
{
    CCamera camera;
    camera.SetLook(0.0f, 0.0f, 1.0f);
    camera.SetYawRate(0.01f);
    for (int update = 1; update <= 50; ++update) {
        camera.Update();
        D3DXVECTOR3 look = Look(camera);
        // Left-handed: a positive turn about up takes the look from +z towards +x.
        EXPECT_NEAR(look.y, 0.0f, 1e-5f);
        EXPECT_NEAR(std::atan2(look.x, look.z), 0.01f * update, 1e-4f) << "update " << update;
        EXPECT_NEAR(D3DXVec3Length(&look), 1.0f, 1e-5f);
    }
}

TEST(Camera, PitchTurnsAboutTheTurnedRightAndRollAboutTheTurnedLook)
{
    const float quarter = 1.5707964f;
    // Yaw by a quarter first: look (1,0,0), right (0,0,-1).  A positive pitch about that
    // right then takes the look down: (cos 0.1, -sin 0.1, 0).
    CCamera camera;
    camera.SetLook(0.0f, 0.0f, 1.0f);
    camera.SetYawRate(quarter);
    camera.SetPitchRate(0.1f);
    camera.Update();
    ExpectVector(Look(camera), std::cos(0.1f), -std::sin(0.1f), 0.0f);
    ExpectVector(Right(camera), 0.0f, 0.0f, -1.0f);
    ExpectVector(Up(camera), std::sin(0.1f), std::cos(0.1f), 0.0f);

    // A pitch on its own, looking along +z: a positive one takes the look down, a negative
    // one up (the sign counts, not only the size).
    for (float rate : {0.1f, -0.1f}) {
        CCamera level;
        level.SetLook(0.0f, 0.0f, 1.0f);
        level.SetPitchRate(rate);
        level.Update();
        ExpectVector(Look(level), 0.0f, -std::sin(rate), std::cos(rate));
    }

    // A quarter roll about look (0,0,1) lays up along -x and right along +y.
    CCamera rolling;
    rolling.SetLook(0.0f, 0.0f, 1.0f);
    rolling.SetRollRate(quarter);
    rolling.Update();
    ExpectVector(Look(rolling), 0.0f, 0.0f, 1.0f);
    ExpectVector(Up(rolling), -1.0f, 0.0f, 0.0f);
    ExpectVector(Right(rolling), 0.0f, 1.0f, 0.0f);
}

TEST(Camera, MovesByTheSumOfRightUpAndLookBeforeTheAxesAreRebuilt)
{
    // The axes as set are used for the move (right here is not up x look).  The three
    // moves are summed in float, right first, and the sum added to the position: the x
    // parts (1e8, -1e8, 1) leave 1 only when right and up are summed before look; the z
    // parts (1e8, -1e8, 0) on a position of 1 leave 1 only when the sum is made before it
    // is added (one at a time, 1 + 1e8 would lose the 1).
    CCamera camera;
    camera.SetPosition(0.0f, 0.0f, 1.0f);
    camera.SetRight(1e8f, 0.0f, 1e8f);
    camera.SetUp(-1e8f, 0.0f, -1e8f);
    camera.SetLook(1.0f, 0.0f, 0.0f);
    camera.SetMovement(1.0f, 1.0f, 1.0f);
    camera.Update();
    D3DXVECTOR3 p = Position(camera);
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 0.0f);
    EXPECT_EQ(p.z, 1.0f);

    // The amounts are not used up: each update moves again, along the rebuilt axes.
    CCamera walking;
    walking.SetPosition(0.0f, 0.0f, 0.0f);
    walking.SetLook(0.0f, 0.0f, 1.0f);
    walking.SetMovement(0.0f, 0.0f, 0.5f);
    walking.Update();
    walking.Update();
    ExpectVector(Position(walking), 0.0f, 0.0f, 1.0f);
}

TEST(Camera, AimingLooksAtTheTargetLiftedAndUpdateNormalisesIt)
{
    g_followCamera = CCamera();
    g_followCamera.SetPosition(0.0f, 1.0f, 3.0f);
    AimFollowCamera(D3DXVECTOR3(0.0f, 1.0f, 0.0f));  // straight ahead, same height
    ExpectVector(Look(g_followCamera), 0.0f, 0.2f, -1.0f);
    ExpectVector(Right(g_followCamera), 1.0f, 0.0f, 0.0f);  // (0,-1,0) x d
    ExpectVector(Up(g_followCamera), 0.0f, 1.0f, 0.0f);     // right x d
    g_followCamera.Update();
    const float length = std::sqrt(1.0f + 0.04f);
    ExpectVector(Look(g_followCamera), 0.0f, 0.2f / length, -1.0f / length);
    ExpectVector(Up(g_followCamera), 0.0f, 1.0f / length, 0.2f / length);

    // A target off to the side and below: the look points at it before the lift.
    g_followCamera.SetPosition(1.0f, 2.0f, 1.0f);
    AimFollowCamera(D3DXVECTOR3(4.0f, -2.0f, 1.0f));
    ExpectVector(Look(g_followCamera), 0.6f, -0.8f + 0.2f, 0.0f);
    ExpectVector(Right(g_followCamera), 0.0f, 0.0f, 1.0f);
}

}  // namespace
