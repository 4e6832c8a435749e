/*
 * scene_setup.cpp - scene set-up and tear-down.
 *
 * InitScene makes, in a fixed order, the device, the font, the frame counter, input, the
 * character with its animations and collision model, the cameras' starting places, the
 * level and the particle systems; only the device, the back buffer and input are
 * essential.  A model that fails to load leaves the scene without it.  Cleanup releases
 * whatever exists, everything made with the device before the device, and the device
 * before the Direct3D object, so it is safe after a set-up that stopped half way.
 */
#include "app/scene_setup.h"

#include "anim/animation.h"
#include "app/d3d_setup.h"
#include "app/frame.h"
#include "app/shell.h"
#include "app/timer.h"
#include "fx/particles.h"
#include "input/input.h"
#include "scene/scene_object.h"
#include "scene/xfile_loader.h"
#include "text/screen_text.h"
#include "world/camera.h"

#include <d3dx9.h>

#include <stdlib.h>

IDirect3DSurface9 *g_pBackBuffer = NULL;
SFrame *g_pCharacterFrameRoot = NULL;
SMeshContainer *g_pCharacterMeshes = NULL;
SFrame *g_pLevelFrameRoot = NULL;
SMeshContainer *g_pLevelMesh = NULL;
D3DXVECTOR3 g_cameraOffset(0.0f, 0.0f, 0.0f);

static const char *const kCharacterFile = "..\\Data\\Ninja.x";
static const char *const kCharacterTextures = "..\\Data\\";
static const char *const kLevelFile = "..\\Level01\\Level.x";
static const char *const kLevelTextures = "..\\Level01\\";
static const DWORD kParticleBatch = 32;

HRESULT InitScene(HWND hWnd)
{
    // Nothing below may run without a device.
    if (FAILED(InitD3D(&g_pD3D, &g_pd3dDevice, hWnd)))
        return E_FAIL;

    if (FAILED(g_pd3dDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &g_pBackBuffer))) {
        LogError("Couldnt get backbuffer");
        return E_FAIL;
    }

    CreateTextFont("Viner Hand ITC");
    srand(GetTickCount());
    InitFrameCounter();

    if (FAILED(InitInput())) {
        LogError("Unable to initialize input");
        return E_FAIL;
    }

    LoadSkinnedModel(&g_pCharacterMeshes, &g_pCharacterFrameRoot, g_pd3dDevice, kCharacterFile,
                     kCharacterTextures, 0, D3DXMESH_SYSTEMMEM);
    g_character.AddMeshContainer(g_pCharacterMeshes);
    g_character.collisionReach = 1.0f;
    g_character.BuildCollisionModel(g_pCharacterMeshes);

    g_animations.LoadFromFile(kCharacterFile);
    g_animations.BindToFrames(g_pCharacterFrameRoot);

    float x, y, z;
    g_character.GetPosition(&x, &y, &z);
    g_characterPos = D3DXVECTOR3(x, y, z);
    g_followCamera.SetPosition(x, y + 2.0f, z + 2.0f);
    g_freeCamera.SetPosition(x, y + 0.7f, z + 0.5f);
    g_cameraOffset = D3DXVECTOR3(0.0f, 2.0f, 2.0f);

    LoadLevelModel(&g_pLevelMesh, &g_pLevelFrameRoot, g_pd3dDevice, kLevelFile, kLevelTextures, 0,
                   D3DXMESH_SYSTEMMEM);
    g_level.AddMeshContainer(g_pLevelMesh);
    g_level.SetPosition(0.0f, 1.4f, 0.0f);
    g_level.rotation.y = -1.57f;  // pitch: the level is tipped a quarter turn less 0.0008 rad
    g_level.BuildCollisionModel(g_pLevelMesh);

    g_smokeParticles.Init(g_pd3dDevice, kParticleBatch);
    g_sparkParticles.Init(g_pd3dDevice, kParticleBatch);

    g_pd3dDevice->SetRenderState(D3DRS_LIGHTING, TRUE);
    g_pd3dDevice->SetRenderState(D3DRS_AMBIENT, 0xFFC8C8C8);
    return 1;
}

static void FreeContainer(SMeshContainer **container)
{
    if (!*container)
        return;
    FreeMeshContainer(*container);
    delete *container;
    *container = NULL;
}

void Cleanup()
{
    if (g_font)
        g_font->Release();
    g_smokeParticles.Release();
    g_sparkParticles.Release();
    g_animations.Clear();

    DeleteFrameTree(g_pCharacterFrameRoot);
    g_pCharacterFrameRoot = NULL;
    FreeContainer(&g_pCharacterMeshes);
    DeleteFrameTree(g_pLevelFrameRoot);
    g_pLevelFrameRoot = NULL;
    FreeContainer(&g_pLevelMesh);

    if (g_pBackBuffer) {
        g_pBackBuffer->Release();
        g_pBackBuffer = NULL;
    }
    ShutdownInput();
    if (g_pd3dDevice) {
        g_pd3dDevice->Release();
        g_pd3dDevice = NULL;
    }
    if (g_pD3D) {
        g_pD3D->Release();
        g_pD3D = NULL;
    }
}
