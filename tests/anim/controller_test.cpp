// The character controller driven key by key, frame by frame, through the real keyboard
// device: which clip each key combination plays, movement only with exactly one arrow,
// the follow camera's swing, the turn towards each direction and the yaw wrap, the sword
// spark pace, and the step back after running into the level.
#include "app/demo_scene.h"

#include "anim/animation.h"
#include "anim/controller.h"
#include "app/frame.h"
#include "app/scene_setup.h"
#include "app/timer.h"
#include "fx/particles.h"
#include "input/input.h"
#include "scene/scene_object.h"
#include "world/camera.h"

#include <mmsystem.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using demotest::PoseOf;

int CountParticles(const CParticleSystem &system)
{
    int n = 0;
    for (Particle *p = system.GetParticles(); p; p = p->next)
        ++n;
    return n;
}

class ControllerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string why;
        scene_ = new demotest::DemoScene;
        opened_ = scene_->Open(&why);
        why_ = why;
    }
    static void TearDownTestSuite()
    {
        if (opened_)
            scene_->Close();
        delete scene_;
    }
    void SetUp() override
    {
        ASSERT_TRUE(opened_) << why_;
        scene_->ReleaseAll();
        scene_->ResetCharacter();
        g_elapsed = 1234;
        g_now = timeGetTime();
        g_frameDelta = 20;
    }

    // One controller step as the frame makes it, from the rest pose; returns the pose.
    std::vector<float> Step()
    {
        ResetFrameMatrices(g_pCharacterFrameRoot);
        SelectAction();
        UpdateCharacter();
        return PoseOf(g_pCharacterFrameRoot);
    }
    // The pose of one named clip alone at this time.
    static std::vector<float> ClipPose(const char *clip, DWORD time)
    {
        ResetFrameMatrices(g_pCharacterFrameRoot);
        g_animations.Animate(clip, time, 1, 1.0f);
        return PoseOf(g_pCharacterFrameRoot);
    }
    static std::vector<float> RestPose()
    {
        ResetFrameMatrices(g_pCharacterFrameRoot);
        return PoseOf(g_pCharacterFrameRoot);
    }

    static demotest::DemoScene *scene_;
    static bool opened_;
    static std::string why_;
};

demotest::DemoScene *ControllerTest::scene_ = nullptr;
bool ControllerTest::opened_ = false;
std::string ControllerTest::why_;

TEST_F(ControllerTest, ActionKeysPickTheirClipOnlyWhenAlone)
{
    // The clips differ from one another and from the rest pose, or nothing below means much.
    const std::vector<float> idle = ClipPose("idleTot", g_elapsed * 2);
    const std::vector<float> punch = ClipPose("pugno", g_elapsed * 3);
    const std::vector<float> kick = ClipPose("calcio", g_elapsed * 2);
    const std::vector<float> slash = ClipPose("spada", g_elapsed * 3);
    const std::vector<float> rest = RestPose();
    ASSERT_NE(idle, rest);
    ASSERT_NE(punch, idle);
    ASSERT_NE(kick, idle);
    ASSERT_NE(slash, idle);
    ASSERT_NE(punch, kick);

    // Each key alone plays its clip; two action keys, or E with one, block the attacks (idle
    // with no arrow down); an attack key with an arrow only walks; while in collision
    // SelectAction chooses nothing at all.
    const std::vector<float> walk = ClipPose("camminata", g_elapsed * 2);
    const struct {
        std::vector<int> keys;
        bool colliding;
        const std::vector<float> &pose;
        const char *what;
    } rows[] = {{{}, false, idle, "no key: idle"},
                {{DIK_S}, false, punch, "S alone: punch at three times the elapsed time"},
                {{DIK_D}, false, kick, "D alone: kick at twice the elapsed time"},
                {{DIK_A}, false, slash, "A alone: slash at three times the elapsed time"},
                {{DIK_A, DIK_S}, false, idle, "A and S"},
                {{DIK_E, DIK_D}, false, idle, "E and D"},
                {{DIK_S, DIK_DOWN}, false, walk, "S with the down arrow"},
                {{DIK_S}, true, rest, "S while colliding"},
                {{}, true, rest, "no key while colliding"}};
    for (const auto &row : rows) {
        scene_->ReleaseAll();
        for (int key : row.keys)
            scene_->Press(key);
        g_inCollision = row.colliding;
        EXPECT_EQ(Step(), row.pose) << row.what;
    }
}

TEST_F(ControllerTest, TwoArrowsHeldNeitherMoveNorTurnButPlaceTheCameraAndRaiseDust)
{
    g_characterPos = D3DXVECTOR3(0.5f, 0.0f, -0.25f);
    scene_->Press(DIK_UP);
    scene_->Press(DIK_LEFT);
    int dustBefore = CountParticles(g_smokeParticles);
    const std::vector<float> rest = RestPose();
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(Step(), rest) << "no clip with two arrows";
    EXPECT_EQ(g_charX, 0.0f);
    EXPECT_EQ(g_charZ, 0.0f);
    EXPECT_EQ(g_character.facingYaw, 0.0f);
    EXPECT_EQ(g_character.heading, 0.0f);
    EXPECT_EQ(g_cameraOffset.x, 0.0f);
    EXPECT_EQ(g_cameraOffset.y, 2.0f);
    EXPECT_EQ(g_cameraOffset.z, 2.0f);
    float cx, cy, cz;
    g_followCamera.GetPosition(&cx, &cy, &cz);
    EXPECT_FLOAT_EQ(cx, 0.5f);
    EXPECT_FLOAT_EQ(cy, 2.0f);
    EXPECT_FLOAT_EQ(cz, 1.75f);
    // 20 frames of 20 ms: dust every 200 ms or so.
    EXPECT_GE(CountParticles(g_smokeParticles) - dustBefore, 1);

    // One arrow alone moves one step a frame and walks.
    scene_->Release(DIK_LEFT);
    EXPECT_EQ(Step(), ClipPose("camminata", g_elapsed * 2));
    EXPECT_FLOAT_EQ(g_charZ, -0.005f);
    EXPECT_EQ(g_character.heading, 180.0f);
}

TEST_F(ControllerTest, DownArrowSwingsTheCameraRoundInAboutEightHundredFrames)
{
    g_cameraOffset.x = 0.3f;  // the cross axis settles at 0
    scene_->Press(DIK_DOWN);
    int frames = 0;
    while (g_cameraOffset.z > -2.0f && frames < 2000) {
        UpdateCharacter();
        ++frames;
        if (g_cameraOffset.z > -2.0f) {
            ASSERT_EQ(g_cameraOffset.y, 2.0f) << "the height holds while the swing runs (frame " << frames << ")";
        }
    }
    EXPECT_GE(frames, 795);
    EXPECT_LE(frames, 805);
    EXPECT_EQ(g_cameraOffset.x, 0.0f);
    EXPECT_NEAR(g_charZ, frames * 0.005f, 1e-3);

    // Then it sinks by 0.004 a frame to the first value below 1.304 and stays there.
    float last = g_cameraOffset.y;
    int sinking = 0;
    for (int i = 0; i < 400; ++i) {
        UpdateCharacter();
        if (g_cameraOffset.y != last) {
            EXPECT_NEAR(last - g_cameraOffset.y, 0.004f, 1e-5);
            ++sinking;
        }
        last = g_cameraOffset.y;
    }
    EXPECT_LT(g_cameraOffset.y, 1.304f);
    EXPECT_GT(g_cameraOffset.y, 1.299f);
    EXPECT_NEAR(sinking, (2.0f - 1.304f) / 0.004f, 2.0f);
    EXPECT_LE(g_cameraOffset.z, -2.0f);
    EXPECT_GT(g_cameraOffset.z, -2.006f);
}

TEST_F(ControllerTest, EachArrowTurnsTheCharacterTowardsItsDirection)
{
    struct Case {
        int key;
        float settle;
        float heading;
    } cases[] = {{DIK_DOWN, 3.15f, 360.0f}, {DIK_LEFT, -1.6f, 270.0f}, {DIK_RIGHT, 1.5f, 90.0f}};
    for (const Case &c : cases) {
        scene_->ResetCharacter();
        scene_->ReleaseAll();
        scene_->Press(c.key);
        for (int i = 0; i < 400; ++i)
            UpdateCharacter();
        EXPECT_NEAR(g_character.facingYaw, c.settle, 0.05f) << "key " << c.key;
        EXPECT_EQ(g_character.heading, c.heading);
    }
    // Up from a turned character goes back to 0.
    scene_->ReleaseAll();
    g_character.facingYaw = 1.0f;
    scene_->Press(DIK_UP);
    for (int i = 0; i < 100; ++i)
        UpdateCharacter();
    EXPECT_NEAR(g_character.facingYaw, 0.0f, 0.03f);
}

TEST_F(ControllerTest, YawNearAFullTurnWrapsToZero)
{
    // Up turns 6.2 to 6.22 and -6.3 to -6.32, inside the wrap bands; the wrap applies
    // without any key too, but not to 6.0.
    const struct {
        bool up;
        float yaw, after;
    } rows[] = {{true, 6.2f, 0.0f}, {true, -6.3f, 0.0f}, {false, 6.15f, 0.0f}, {false, 6.0f, 6.0f}};
    for (const auto &row : rows) {
        scene_->ReleaseAll();
        if (row.up)
            scene_->Press(DIK_UP);
        g_character.facingYaw = row.yaw;
        UpdateCharacter();
        EXPECT_FLOAT_EQ(g_character.facingYaw, row.after) << row.yaw;
    }
}

TEST_F(ControllerTest, SwordSparksComeAtOnceAndThenAtMostEvery980Milliseconds)
{
    g_characterPos = D3DXVECTOR3(1.0f, 0.0f, 2.0f);
    g_character.heading = 360.0f;
    scene_->Press(DIK_A);
    int before = CountParticles(g_sparkParticles);
    SelectAction();
    int first = CountParticles(g_sparkParticles);
    ASSERT_GT(first, before) << "the first slash frame emits";
    EXPECT_NE(g_lastSparkTime, 0u);
    // The burst sits round the character's position plus (0.2, 0.8, 0.1).
    Particle *p = g_sparkParticles.GetParticles();
    EXPECT_NEAR(p->position.x, 1.2f, 0.11f);
    EXPECT_NEAR(p->position.y, 0.8f, 0.11f);
    EXPECT_NEAR(p->position.z, 2.1f, 0.11f);

    DWORD last = g_lastSparkTime;
    g_now = last + 979;
    SelectAction();
    EXPECT_EQ(CountParticles(g_sparkParticles), first) << "979 ms later: no burst";
    EXPECT_EQ(g_lastSparkTime, last);
    g_now = last + 980;
    SelectAction();
    EXPECT_GT(CountParticles(g_sparkParticles), first) << "980 ms later: a burst";

    // No sparks from a slash blocked by another key.
    int now = CountParticles(g_sparkParticles);
    g_now = g_lastSparkTime + 5000;
    scene_->Press(DIK_D);
    SelectAction();
    EXPECT_EQ(CountParticles(g_sparkParticles), now);
}

TEST_F(ControllerTest, PushBackUndoesOneStepOfTheLastDirection)
{
    struct Case {
        float heading;
        float dx, dz;
        float after;
    } cases[] = {{360.0f, 0.0f, -0.005f, 360.0f},
                 {180.0f, 0.0f, 0.005f, 360.0f},
                 {90.0f, 0.003f, 0.0f, 90.0f},
                 {270.0f, -0.003f, 0.0f, 90.0f},
                 {0.0f, 0.0f, 0.0f, 0.0f}};
    for (const Case &c : cases) {
        g_charX = 1.0f;
        g_charZ = 1.0f;
        g_character.heading = c.heading;
        PushBack();
        EXPECT_NEAR(g_charX - 1.0f, c.dx, 1e-6) << "heading " << c.heading;
        EXPECT_NEAR(g_charZ - 1.0f, c.dz, 1e-6) << "heading " << c.heading;
        EXPECT_EQ(g_character.heading, c.after) << "heading " << c.heading;
    }

    // Walking into a wall and being pushed back leaves the character where it was.
    g_charX = g_charZ = 0.0f;
    scene_->Press(DIK_UP);
    UpdateCharacter();
    PushBack();
    EXPECT_NEAR(g_charZ, 0.0f, 1e-6);
}

}  // namespace
