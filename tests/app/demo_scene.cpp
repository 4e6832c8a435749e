/*
 * demo_scene.cpp - the program's scene on a NULLREF device (see demo_scene.h).
 *
 * The steps mirror the scene set-up after its device step: back buffer, font, frame
 * counter, input, character with clips and collision model, camera places, level with
 * its placement and collision model, particles, and the first lighting states.
 */
#include "app/demo_scene.h"

#include "anim/animation.h"
#include "anim/controller.h"
#include "app/d3d_setup.h"
#include "app/frame.h"
#include "app/scene_setup.h"
#include "app/shell.h"
#include "app/timer.h"
#include "fx/particles.h"
#include "input/input.h"
#include "scene/scene_object.h"
#include "scene/xfile_loader.h"
#include "text/screen_text.h"
#include "world/camera.h"

#include "support/null_device.h"

#include <d3dx9.h>
#include <tavrok/dinput8_debug.h>

#include <string.h>
#include <unistd.h>

namespace demotest {

static const char *const kClass = "TavrokDemoScene";

bool DemoScene::Open(std::string *why)
{
    if (chdir(TAVROK_TEST_BIN_DIR) != 0) {
        *why = "no run folder " TAVROK_TEST_BIN_DIR;
        return false;
    }
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = kClass;
    RegisterClassExA(&wc);
    window_ = CreateWindowExA(0, kClass, "demo scene", WS_CAPTION | WS_SYSMENU, 0, 0, 1024, 768, NULL, NULL,
                              wc.hInstance, NULL);
    if (!window_) {
        *why = "no window (is there a display?)";
        return false;
    }
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    g_hWnd = window_;
    g_hInstance = wc.hInstance;

    if (FAILED(testsupport::CreateNullDevice(&g_pD3D, &g_pd3dDevice, window_, 1024, 768))) {
        *why = "no NULLREF device";
        return false;
    }
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, D3DX_PI / 4, 1024.0f / 768.0f, 1.0f, 10000.0f);
    g_pd3dDevice->SetTransform(D3DTS_PROJECTION, &projection);
    g_pd3dDevice->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);

    if (FAILED(g_pd3dDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &g_pBackBuffer))) {
        *why = "no back buffer";
        return false;
    }
    CreateTextFont("Viner Hand ITC");
    InitFrameCounter();

    tavrok::dinput8::SetKeyboardStateOverride(keys_);
    if (FAILED(InitInput())) {
        *why = "input did not start (no keyboard focus?)";
        return false;
    }

    if (FAILED(LoadSkinnedModel(&g_pCharacterMeshes, &g_pCharacterFrameRoot, g_pd3dDevice, "..\\Data\\Ninja.x",
                                "..\\Data\\", 0, D3DXMESH_SYSTEMMEM))) {
        *why = "the character did not load";
        return false;
    }
    // A scene opened before in this process left its freed meshes listed.
    g_character.pMeshList = NULL;
    g_level.pMeshList = NULL;
    g_character.AddMeshContainer(g_pCharacterMeshes);
    g_character.collisionReach = 1.0f;
    g_character.BuildCollisionModel(g_pCharacterMeshes);
    g_animations.LoadFromFile("..\\Data\\Ninja.x");
    g_animations.BindToFrames(g_pCharacterFrameRoot);

    if (FAILED(LoadLevelModel(&g_pLevelMesh, &g_pLevelFrameRoot, g_pd3dDevice, "..\\Level01\\Level.x",
                              "..\\Level01\\", 0, D3DXMESH_SYSTEMMEM))) {
        *why = "the level did not load";
        return false;
    }
    g_level.AddMeshContainer(g_pLevelMesh);
    g_level.SetPosition(0.0f, 1.4f, 0.0f);
    g_level.rotation.y = -1.57f;
    g_level.BuildCollisionModel(g_pLevelMesh);

    g_smokeParticles.Init(g_pd3dDevice, 32);
    g_sparkParticles.Init(g_pd3dDevice, 32);
    g_pd3dDevice->SetRenderState(D3DRS_LIGHTING, TRUE);
    g_pd3dDevice->SetRenderState(D3DRS_AMBIENT, 0xFFC8C8C8);
    ResetCharacter();
    return true;
}

void DemoScene::ReleaseAll() { memset(keys_, 0, sizeof(keys_)); }

void DemoScene::ResetCharacter()
{
    g_charX = g_charZ = 0.0f;
    g_character.heading = 0.0f;
    g_character.facingYaw = 0.0f;
    g_character.rotation = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    g_character.SetPosition(0.0f, 0.0f, 0.0f);
    g_characterPos = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    g_cameraOffset = D3DXVECTOR3(0.0f, 2.0f, 2.0f);
    g_followCamera.SetPosition(0.0f, 2.0f, 2.0f);
    g_freeCamera.SetPosition(0.0f, 0.7f, 0.5f);
    g_inCollision = false;
    g_useFollowCamera = true;
    g_lastSparkTime = 0;
    g_lastCameraToggleTime = 0;
}

void DemoScene::Frame()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    FrameTick();
}

void DemoScene::Close()
{
    Cleanup();
    // The tear-down releases the font without forgetting it.
    g_font = NULL;
    tavrok::dinput8::SetKeyboardStateOverride(nullptr);
    if (window_)
        DestroyWindow(window_);
    window_ = NULL;
}

static void CollectPose(SFrame *frame, std::vector<float> *out)
{
    for (; frame; frame = frame->pFrameSibling) {
        const float *m = &frame->TransformationMatrix._11;
        out->insert(out->end(), m, m + 16);
        CollectPose(frame->pFrameFirstChild, out);
    }
}

std::vector<float> PoseOf(SFrame *root)
{
    std::vector<float> pose;
    CollectPose(root, &pose);
    return pose;
}

}  // namespace demotest
