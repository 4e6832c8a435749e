/*
 * controller.cpp - the character controller.
 *
 * Movement and turning are fixed steps per displayed frame, not scaled by time, and happen
 * only while exactly one arrow key is down.  Clips play at the elapsed time scaled per clip
 * (the 32-bit product wraps), looped, at full weight, on top of the rest pose the frame
 * restored.  Every key question reads the keyboard afresh.
 */
#include "anim/controller.h"

#include "anim/animation.h"
#include "app/frame.h"
#include "app/scene_setup.h"
#include "app/timer.h"
#include "fx/particles.h"
#include "input/input.h"
#include "scene/scene_object.h"
#include "world/camera.h"

#include <mmsystem.h>

float g_charX = 0.0f;
float g_charZ = 0.0f;
DWORD g_lastSparkTime = 0;

static const float kStepZ = 0.005f;
static const float kStepX = 0.003f;
static const float kSwingStep = 0.005f;
static const float kRiseStep = 0.004f;
static const float kTurnStep = 0.02f;
static const DWORD kSparkInterval = 980;

static bool Down(int key) { return g_keyboard.IsKeyDown(key) != 0; }

// True when `key` is down and none of the other action and arrow keys is.
static bool Alone(int key)
{
    static const int kKeys[] = {DIK_A, DIK_S, DIK_D, DIK_E, DIK_UP, DIK_DOWN, DIK_LEFT, DIK_RIGHT};
    if (!Down(key))
        return false;
    for (int other : kKeys)
        if (other != key && Down(other))
            return false;
    return true;
}

static void PlayWalk() { g_animations.Animate("camminata", g_elapsed * 2, 1, 1.0f); }

void SelectAction()
{
    if (Alone(DIK_S) && !g_inCollision) {
        g_animations.Animate("pugno", g_elapsed * 3, 1, 1.0f);
    } else if (Alone(DIK_D) && !g_inCollision) {
        g_animations.Animate("calcio", g_elapsed * 2, 1, 1.0f);
    } else if (Alone(DIK_A) && !g_inCollision) {
        g_animations.Animate("spada", g_elapsed * 3, 1, 1.0f);
        if (Down(DIK_A) && g_now - g_lastSparkTime >= kSparkInterval) {
            g_lastSparkTime = timeGetTime();
            D3DXVECTOR3 at(g_characterPos.x + 0.2f, g_characterPos.y + 0.8f, g_characterPos.z + 0.1f);
            g_sparkParticles.EmitSparks(&at, g_character.heading);
        }
    } else if (!Down(DIK_UP) && !Down(DIK_DOWN) && !Down(DIK_LEFT) && !Down(DIK_RIGHT) && !g_inCollision) {
        g_animations.Animate("idleTot", g_elapsed * 2, 1, 1.0f);
    }
}

// The camera offset's swing for one arrow key: the swing axis runs towards its end (-2 or
// +2), the cross axis settles at 0, and the height rises while the swing runs and sinks to
// about 1.3 once it has finished.
static void SwingCamera(float &swing, float &cross, bool lower, float upper, float floor)
{
    if (lower && swing > -2.0f)
        swing -= kSwingStep;
    else if (!lower && swing < 2.0f)
        swing += kSwingStep;

    if (cross >= -0.01f && cross <= 0.01f)
        cross = 0.0f;
    else if (cross > 0.0f)
        cross -= kSwingStep;
    else
        cross += kSwingStep;

    float &y = g_cameraOffset.y;
    bool swinging = lower ? swing > -2.0f : swing < 2.0f;
    if (swinging) {
        if (y >= 1.2f && y <= upper)
            y += kRiseStep;
    } else {
        if (y >= floor && y <= 2.0f)
            y -= kRiseStep;
    }
}

static void Turn(int key)
{
    float &yaw = g_character.facingYaw;
    switch (key) {
    case DIK_DOWN:
        if ((yaw >= 0.0f && yaw <= 3.15f) || (yaw >= -6.35f && yaw <= -3.15f))
            yaw += kTurnStep;
        if ((yaw > -3.15f && yaw < 0.0f) || (yaw > 3.15f && yaw < 6.35f))
            yaw -= kTurnStep;
        break;
    case DIK_UP:
        if ((yaw >= 0.0f && yaw <= 3.15f) || (yaw >= -6.35f && yaw <= -3.15f))
            yaw -= kTurnStep;
        if ((yaw > -3.15f && yaw < 0.0f) || (yaw > 3.15f && yaw < 6.35f))
            yaw += kTurnStep;
        break;
    case DIK_LEFT:
        if (yaw >= -6.35f && yaw < -1.6f)
            yaw += kTurnStep;
        if (yaw >= -1.6f && yaw <= 4.75f)
            yaw -= kTurnStep;
        break;
    case DIK_RIGHT:
        if (yaw >= -1.6f && yaw <= 1.5f)
            yaw += kTurnStep;
        if ((yaw > 1.5f && yaw < 4.75f) || (yaw > -4.75f && yaw < -1.6f))
            yaw -= kTurnStep;
        break;
    }
}

void UpdateCharacter()
{
    bool up = Down(DIK_UP), down = Down(DIK_DOWN), left = Down(DIK_LEFT), right = Down(DIK_RIGHT);
    int held = up + down + left + right;
    if (held == 1) {
        int key = down ? DIK_DOWN : up ? DIK_UP : left ? DIK_LEFT : DIK_RIGHT;
        switch (key) {
        case DIK_DOWN:
            g_charZ += kStepZ;
            SwingCamera(g_cameraOffset.z, g_cameraOffset.x, true, 1.994f, 1.304f);
            g_character.heading = 360.0f;
            break;
        case DIK_UP:
            g_charZ -= kStepZ;
            SwingCamera(g_cameraOffset.z, g_cameraOffset.x, false, 1.996f, 1.3f);
            g_character.heading = 180.0f;
            break;
        case DIK_LEFT:
            g_charX += kStepX;
            SwingCamera(g_cameraOffset.x, g_cameraOffset.z, true, 1.994f, 1.304f);
            g_character.heading = 270.0f;
            break;
        case DIK_RIGHT:
            g_charX -= kStepX;
            SwingCamera(g_cameraOffset.x, g_cameraOffset.z, false, 1.996f, 1.3f);
            g_character.heading = 90.0f;
            break;
        }
        Turn(key);

        // The walk clip plays unless another arrow key is down by now.
        bool other = false;
        switch (key) {
        case DIK_DOWN: other = Down(DIK_UP); break;
        case DIK_UP: other = Down(DIK_DOWN); break;
        case DIK_LEFT: other = Down(DIK_UP) || Down(DIK_DOWN) || Down(DIK_RIGHT); break;
        case DIK_RIGHT: other = Down(DIK_UP) || Down(DIK_DOWN) || Down(DIK_LEFT); break;
        }
        if (!other)
            PlayWalk();
    }

    g_followCamera.SetPosition(g_characterPos.x + g_cameraOffset.x, g_characterPos.y + g_cameraOffset.y,
                               g_characterPos.z + g_cameraOffset.z);

    if (Down(DIK_UP) || Down(DIK_RIGHT) || Down(DIK_DOWN) || Down(DIK_LEFT))
        g_smokeParticles.EmitSmoke(&g_characterPos, g_frameDelta);

    float &yaw = g_character.facingYaw;
    if ((yaw >= 6.1f && yaw <= 6.3f) || (yaw >= -6.5f && yaw <= -6.2f))
        yaw = 0.0f;
}

void PushBack()
{
    float &heading = g_character.heading;
    if (heading == 360.0f) {
        g_charZ -= 0.01f;
        heading = 180.0f;
        if (!Down(DIK_UP) && g_inCollision)
            PlayWalk();
    }
    if (heading == 180.0f) {
        g_charZ += 0.005f;
        heading = 360.0f;
        if (!Down(DIK_DOWN) && g_inCollision)
            PlayWalk();
    }
    if (heading == 90.0f) {
        g_charX += 0.006f;
        heading = 270.0f;
        if (!Down(DIK_UP) && !Down(DIK_DOWN) && !Down(DIK_LEFT) && g_inCollision)
            PlayWalk();
    }
    if (heading == 270.0f) {
        g_charX -= 0.003f;
        heading = 90.0f;
        if (!Down(DIK_UP) && !Down(DIK_DOWN) && !Down(DIK_RIGHT) && g_inCollision)
            PlayWalk();
    }
}
