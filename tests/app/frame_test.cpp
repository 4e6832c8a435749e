// The frame sequence on a NULLREF device: the device calls of one frame in their order, the
// collision tests reading the previous frame's world, the two collision outcomes, the camera
// toggle's pace, the character kept on the ground; and the set-up's failure paths.
#include "app/demo_scene.h"

#include "anim/controller.h"
#include "app/d3d_setup.h"
#include "app/frame.h"
#include "app/scene_setup.h"
#include "app/shell.h"
#include "input/input.h"
#include "scene/scene_object.h"
#include "text/screen_text.h"

#include "support/device_setup.h"
#include "support/wall_mesh.h"

#include <CD.h>

#include <mmsystem.h>
#include <tavrok/d3d9_debug.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <math.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

using Trace = std::vector<std::string>;

std::string Call(const char *name, long a) { return std::string(name) + " " + std::to_string(a); }
std::string State(long state, long value) { return "SetRenderState " + std::to_string(state) + " " + std::to_string(value); }

// A pattern is a call with its leading arguments ("SetTransform 2" matches
// "SetTransform 2" but not "SetTransform 256"), or a name start ending in '*'.
bool Matches(const std::string &entry, const std::string &pattern)
{
    if (!pattern.empty() && pattern.back() == '*')
        return entry.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
    return entry == pattern || entry.compare(0, pattern.size() + 1, pattern + " ") == 0;
}

// Index of the first entry at or after `from` that matches; npos if none.
size_t Find(const Trace &t, const std::string &pattern, size_t from = 0)
{
    for (size_t i = from; i < t.size(); ++i)
        if (Matches(t[i], pattern))
            return i;
    return std::string::npos;
}

size_t CountBetween(const Trace &t, const std::string &pattern, size_t from, size_t to)
{
    size_t n = 0;
    for (size_t i = from; i < to && i < t.size(); ++i)
        n += Matches(t[i], pattern);
    return n;
}

std::string Dump(const Trace &t)
{
    std::string s;
    for (size_t i = 0; i < t.size(); ++i)
        s += std::to_string(i) + ": " + t[i] + "\n";
    return s;
}

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(scene_.Open(&why)) << why;
        // A first frame fixes the clocks and leaves the world transform of its drawing.
        scene_.Frame();
    }
    void TearDown() override { scene_.Close(); }

    Trace TraceOneFrame()
    {
        tavrok::d3d9::StartCallTrace(g_pd3dDevice);
        scene_.Frame();
        Trace t = tavrok::d3d9::TakeCallTrace(g_pd3dDevice);
        tavrok::d3d9::StopCallTrace(g_pd3dDevice);
        return t;
    }

    demotest::DemoScene scene_;
};

TEST_F(FrameTest, DeviceCallsOfOneFrameComeInTheFrameOrder)
{
    Trace t = TraceOneFrame();
    SCOPED_TRACE(Dump(t));
    ASSERT_FALSE(t.empty());

    // Clear first, of colour and depth, outside the scene.
    EXPECT_EQ(t.front(), Call("Clear", D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER));
    size_t begin = Find(t, "BeginScene");
    ASSERT_NE(begin, std::string::npos);
    EXPECT_EQ(Find(t, "Draw*"), Find(t, "Draw*", begin)) << "a draw before BeginScene";

    // The collision world is read back before anything in the scene sets a transform.
    size_t readWorld = Find(t, Call("GetTransform", D3DTS_WORLD), begin);
    ASSERT_NE(readWorld, std::string::npos);
    EXPECT_EQ(Find(t, "SetTransform*", begin), Find(t, "SetTransform*", readWorld));

    // The text is drawn next, before the identity world and the view of the camera.
    size_t setWorld = Find(t, Call("SetTransform", D3DTS_WORLD), readWorld);
    size_t setView = Find(t, Call("SetTransform", D3DTS_VIEW), readWorld);
    ASSERT_NE(setWorld, std::string::npos);
    ASSERT_NE(setView, std::string::npos);
    EXPECT_LT(setWorld, setView);
    EXPECT_GE(CountBetween(t, "Draw*", readWorld, setWorld), 4u) << "four text lines";

    // The models after the view; the projection is read back after them.
    size_t readProjection = Find(t, Call("GetTransform", D3DTS_PROJECTION), setView);
    ASSERT_NE(readProjection, std::string::npos);
    EXPECT_GE(CountBetween(t, "DrawIndexedPrimitive", setView, readProjection), 2u) << "character and level";

    // The particle pass: its states in their order, additive blending before its draws,
    // alpha test and blending off again, then EndScene and Present last.
    const std::vector<std::string> pass = {
        State(D3DRS_LIGHTING, FALSE),         State(D3DRS_ALPHATESTENABLE, TRUE),
        State(D3DRS_ALPHAREF, 8),             State(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL),
        "SetVertexShaderConstantF",           State(D3DRS_ALPHABLENDENABLE, TRUE),
        State(D3DRS_SRCBLEND, D3DBLEND_ONE),  State(D3DRS_DESTBLEND, D3DBLEND_ONE),
        State(D3DRS_ALPHATESTENABLE, FALSE),  State(D3DRS_ALPHABLENDENABLE, FALSE),
        "EndScene",                           "Present"};
    size_t at = readProjection;
    for (const std::string &step : pass) {
        size_t next = Find(t, step, at);
        ASSERT_NE(next, std::string::npos) << "missing or out of order: " << step;
        at = next + 1;
    }
    EXPECT_EQ(t.back(), "Present");
    EXPECT_EQ(std::count(t.begin(), t.end(), "BeginScene"), 1);
    EXPECT_EQ(std::count(t.begin(), t.end(), "EndScene"), 1);
}

TEST_F(FrameTest, CollisionTestsSeeThePreviousFramesWorldTransform)
{
    // A world the frame itself never sets: only the read-back can bring it in.
    D3DXMATRIX marker;
    D3DXMatrixTranslation(&marker, 3.0f, -2.0f, 7.5f);
    g_pd3dDevice->SetTransform(D3DTS_WORLD, &marker);
    scene_.Frame();
    EXPECT_EQ(memcmp(&g_collisionWorld, &marker, sizeof marker), 0);

    // Without interference it is what the last frame's drawing left: the level's world.
    D3DXMATRIX leftOver;
    ASSERT_EQ(g_pd3dDevice->GetTransform(D3DTS_WORLD, &leftOver), D3D_OK);
    scene_.Frame();
    EXPECT_EQ(memcmp(&g_collisionWorld, &leftOver, sizeof leftOver), 0);
    EXPECT_NE(memcmp(&g_collisionWorld, &marker, sizeof marker), 0);
}

TEST_F(FrameTest, HeldCameraKeyTogglesOnceHalfASecondHasPassed)
{
    scene_.Press(DIK_C);
    // Toggled a moment ago: not yet.
    g_lastCameraToggleTime = timeGetTime();
    scene_.Frame();
    EXPECT_TRUE(g_useFollowCamera);
    // 500 ms ago: toggled, and the toggle time taken afresh.
    g_lastCameraToggleTime = timeGetTime() - 500;
    scene_.Frame();
    EXPECT_FALSE(g_useFollowCamera);
    EXPECT_LT(timeGetTime() - g_lastCameraToggleTime, 500u);
    // The difference is unsigned: a toggle time ahead of the clock counts as long ago.
    g_lastCameraToggleTime = timeGetTime() + 1000;
    scene_.Frame();
    EXPECT_TRUE(g_useFollowCamera);
    // Released, the camera stays as it is however long ago the last toggle was.
    scene_.Release(DIK_C);
    g_lastCameraToggleTime = timeGetTime() - 5000;
    scene_.Frame();
    EXPECT_TRUE(g_useFollowCamera);
}

// The draws between the collision world's read-back and the identity world: the text.
size_t TextDraws(const Trace &t)
{
    size_t read = Find(t, Call("GetTransform", D3DTS_WORLD));
    size_t world = Find(t, Call("SetTransform", D3DTS_WORLD), read);
    return CountBetween(t, "Draw*", read, world);
}

TEST_F(FrameTest, RayHitAloneSetsTheFlagWithoutTextOrPushBack)
{
    // A wall just ahead of the character's ray (heading 270, full reach 1.0), with the
    // world the ray goes through set to the identity.
    const float heading = 270.0f;
    const D3DXVECTOR3 d(cosf(heading), 0.0f, sinf(heading));
    ID3DXMesh *wall = testsupport::CreateWallMesh(g_pd3dDevice, d * 0.5f, -d);
    ASSERT_NE(wall, nullptr);
    SMeshContainer wallContainer;
    wallContainer.MeshData.pMesh = wall;
    SMeshContainer *levelMeshes = g_level.pMeshList;
    CCollisionObject *levelModel = g_level.pCollision;
    g_level.pMeshList = &wallContainer;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);

    // Models that cannot touch (an empty one) and models that must (the character's own
    // triangles).
    CSceneObject emptyLevel, sameAsCharacter;
    emptyLevel.BuildCollisionModel(NULL);
    sameAsCharacter.BuildCollisionModel(g_pCharacterMeshes);

    struct Case {
        CCollisionObject *model;
        bool pushed;
    } cases[] = {{emptyLevel.pCollision, false}, {sameAsCharacter.pCollision, true}};
    size_t draws[2] = {};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i == 0 ? "ray hit alone" : "both tests hit");
        scene_.ResetCharacter();
        g_charX = 0.5f;
        g_character.heading = heading;
        g_level.pCollision = cases[i].model;
        g_pd3dDevice->SetTransform(D3DTS_WORLD, &identity);
        Trace t = TraceOneFrame();
        EXPECT_TRUE(g_inCollision);
        EXPECT_EQ(g_character.heading, cases[i].pushed ? 90.0f : heading);
        EXPECT_FLOAT_EQ(g_charX, cases[i].pushed ? 0.5f - 0.003f : 0.5f);
        draws[i] = TextDraws(t);
    }
    // Without any hit: no flag, and the same text as for a ray hit alone.
    scene_.ResetCharacter();
    g_level.pMeshList = levelMeshes;
    g_level.pCollision = levelModel;
    g_charX = 0.5f;
    g_character.heading = heading;
    g_inCollision = true;
    g_pd3dDevice->SetTransform(D3DTS_WORLD, &identity);
    Trace quiet = TraceOneFrame();
    EXPECT_FALSE(g_inCollision);
    EXPECT_EQ(TextDraws(quiet), draws[0]) << "a ray hit alone draws no warning";
    EXPECT_GT(draws[1], draws[0]) << "both hits draw the warning";

    emptyLevel.pCollision->Release();
    sameAsCharacter.pCollision->Release();
    wall->Release();
}

TEST_F(FrameTest, CharacterStandsOnTheGroundAndFollowsTheControllerPosition)
{
    g_character.SetPosition(1.0f, 5.0f, -1.0f);
    g_charX = 0.25f;
    g_charZ = -0.5f;
    scene_.Frame();
    float x, y, z;
    g_character.GetPosition(&x, &y, &z);
    EXPECT_FLOAT_EQ(x, 0.25f);
    EXPECT_FLOAT_EQ(y, 0.0f);
    EXPECT_FLOAT_EQ(z, -0.5f);
    EXPECT_FLOAT_EQ(g_cameraTarget.x, 0.25f);
    EXPECT_FLOAT_EQ(g_cameraTarget.z, -0.5f);
}

// --- set-up failure ----------------------------------------------------------------------

TEST(SetupFailure, TearDownAfterAFailedInputStepReleasesWhatExists)
{
    setenv("TAVROK_MSGBOX_ANSWER", "no", 1);
    HWND window = testsupport::CreateTestWindow(1024, 768);
    ASSERT_NE(window, (HWND)NULL);
    long before = tavrok::d3d9::LiveObjectCount();

    // The devices are made on the given window; the input devices on g_hWnd, which is
    // left without a window so that the keyboard cannot take it.
    g_hInstance = GetModuleHandleA(NULL);
    g_hWnd = NULL;
    EXPECT_LT(InitScene(window), 0);
    EXPECT_NE(g_pd3dDevice, nullptr);
    EXPECT_NE(g_pBackBuffer, nullptr);
    EXPECT_NE(g_directInput, nullptr);
    EXPECT_EQ(g_pCharacterMeshes, nullptr) << "nothing after the input step may be made";
    EXPECT_EQ(g_pLevelMesh, nullptr);
    EXPECT_GT(tavrok::d3d9::LiveObjectCount(), before);

    Cleanup();
    EXPECT_EQ(g_pd3dDevice, nullptr);
    EXPECT_EQ(g_pD3D, nullptr);
    EXPECT_EQ(g_pBackBuffer, nullptr);
    EXPECT_EQ(g_directInput, nullptr);
    EXPECT_EQ(tavrok::d3d9::LiveObjectCount(), before) << "objects left alive by the tear-down";
    // The tear-down releases the font without forgetting it; the program never runs it twice.
    g_font = NULL;
    DestroyWindow(window);
}

TEST(SetupFailure, NoDeviceStopsTheSetUpAndTheTearDownHasNothingToRelease)
{
    long before = tavrok::d3d9::LiveObjectCount();
    EXPECT_LT(InitScene(NULL), 0);
    EXPECT_EQ(g_pD3D, nullptr);
    EXPECT_EQ(g_pd3dDevice, nullptr);
    Cleanup();
    EXPECT_EQ(tavrok::d3d9::LiveObjectCount(), before);
}

}  // namespace
