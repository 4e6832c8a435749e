/*
 * frame.cpp - the frame function.
 *
 * One fixed sequence per frame: clocks, pose reset, the character's clip and step,
 * particle ageing, frame matrices and skinning, the collision tests and the push-back, the
 * text lines, the character's placement, the camera, the two models, the particles and
 * the present.  Several steps read what an earlier step of the same frame, or the previous
 * frame, left behind; the order below is what they rely on.
 */
#include "app/frame.h"

#include "anim/animation.h"
#include "anim/controller.h"
#include "app/d3d_setup.h"
#include "app/scene_setup.h"
#include "app/shell.h"
#include "app/timer.h"
#include "fx/particles.h"
#include "input/input.h"
#include "scene/mesh_container.h"
#include "scene/scene_object.h"
#include "text/screen_text.h"
#include "world/camera.h"

#include <mmsystem.h>

bool g_useFollowCamera = true;
DWORD g_lastCameraToggleTime = 0;
bool g_inCollision = false;
D3DXVECTOR3 g_characterPos(0.0f, 0.0f, 0.0f);
D3DXVECTOR3 g_cameraTarget(0.0f, 0.0f, 0.0f);
D3DXMATRIX g_collisionWorld(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
D3DXMATRIX g_matProj(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);

static const DWORD kCameraToggleInterval = 500;

// Components above 1 clamp to 1 when the colour is converted: this is opaque white.
static const D3DXCOLOR kTextColour(255.0f, 255.0f, 255.0f, 1.0f);

static void ReadCharacterPosition(D3DXVECTOR3 *out) { g_character.GetPosition(&out->x, &out->y, &out->z); }

void Render()
{
    UpdateFrameClocks();

    // The clip of this frame poses the character from the matrices of the file.
    if (g_pCharacterFrameRoot)
        ResetFrameMatrices(g_pCharacterFrameRoot);

    ReadCharacterPosition(&g_characterPos);

    g_pd3dDevice->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);

    if (g_keyboard.IsKeyDown(DIK_C) && g_now - g_lastCameraToggleTime >= kCameraToggleInterval) {
        g_useFollowCamera = !g_useFollowCamera;
        g_lastCameraToggleTime = timeGetTime();
    }

    SelectAction();
    UpdateCharacter();
    g_character.rotation.x = g_character.facingYaw;

    g_sparkParticles.Update(g_frameDelta);
    g_smokeParticles.Update(g_frameDelta);

    // Each root is combined with its own matrix as the parent: the root's matrix applies twice.
    if (g_pCharacterFrameRoot)
        UpdateFrameMatrices(g_pCharacterFrameRoot, &g_pCharacterFrameRoot->TransformationMatrix);
    if (g_pLevelFrameRoot)
        UpdateFrameMatrices(g_pLevelFrameRoot, &g_pLevelFrameRoot->TransformationMatrix);
    SkinMeshContainer(g_pCharacterMeshes);
    SkinMeshContainer(g_pLevelMesh);

    g_pd3dDevice->BeginScene();

    // The collision tests see the position of the previous frame and the world transform
    // the previous frame's drawing left on the device (the level's).
    g_character.CollideWithLevel(g_level);
    g_pd3dDevice->GetTransform(D3DTS_WORLD, &g_collisionWorld);
    if (g_character.pCollision)
        g_character.pCollision->SetMatrix(&g_collisionWorld);
    if (g_level.pCollision)
        g_level.pCollision->SetMatrix(&g_collisionWorld);

    if (g_character.IsColliding() == 1) {
        g_inCollision = true;
        if (g_character.TestCollision(&g_level, 0) == 1) {
            DrawScreenText(30, 60, "COLLISIONE!!!", kTextColour);
            PushBack();
        }
    } else {
        g_inCollision = false;
    }

    const int W = g_windowWidth, H = g_windowHeight;
    DrawScreenText(W * 8 / 100, H * 4 / 100, "Frame Rate:", kTextColour);
    DrawFrameRate(W * 20 / 100, H * 4 / 100, g_frameRateText, kTextColour);
    DrawScreenText(W * 80 / 100, H * 4 / 100, "ESC to exit", kTextColour);
    DrawScreenText(W * 80 / 100, H * 90 / 100, "TNX to Velmor", kTextColour);

    // The character stands on the ground whatever else moved it.
    g_character.SetPosition(g_charX, 0.0f, g_charZ);
    ReadCharacterPosition(&g_characterPos);

    D3DXMATRIX world;
    D3DXMatrixRotationYawPitchRoll(&world, 0.0f, 0.0f, 0.0f);
    g_pd3dDevice->SetTransform(D3DTS_WORLD, &world);

    ReadCharacterPosition(&g_cameraTarget);
    AimFollowCamera(g_cameraTarget);
    D3DXMatrixInverse(g_followCamera.GetView(), NULL, g_followCamera.GetView());
    if (g_useFollowCamera)
        g_followCamera.Update();
    else
        g_freeCamera.Update();

    g_character.Render();
    g_level.Render();

    g_pd3dDevice->GetTransform(D3DTS_PROJECTION, &g_matProj);

    g_pd3dDevice->SetRenderState(D3DRS_LIGHTING, FALSE);
    g_pd3dDevice->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    g_pd3dDevice->SetRenderState(D3DRS_ALPHAREF, 8);
    g_pd3dDevice->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    g_smokeParticles.SetShaderConstants(&g_followCamera.GetViewMatrix(), &g_matProj);
    g_pd3dDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    g_pd3dDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    g_pd3dDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    g_smokeParticles.Render();
    g_sparkParticles.Render();
    g_smokeParticles.EndRender();
    g_pd3dDevice->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    g_pd3dDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);

    g_pd3dDevice->EndScene();
    g_pd3dDevice->Present(NULL, NULL, NULL, NULL);
}
