/*
 * input.cpp - the DirectInput object, set-up and tear-down of input, and the mouse's
 * turning of the free camera.
 *
 * Relies on the application shell for the instance and window handles and the error
 * report, and on the free camera.  The devices themselves belong to g_keyboard and
 * g_mouse, which release them when they are destroyed at exit, after ShutdownInput.
 */
#include "input/input.h"

#include "app/shell.h"
#include "world/camera.h"

LPDIRECTINPUT8A g_directInput = NULL;

// One mickey turns the free camera by 0.2 * 0.01 = 0.002 radians per tick.
static const float kMouseSensitivity = 0.2f;
static const float kMouseToRadians = 0.01f;

HRESULT InitInput()
{
    if (g_directInput)
        g_directInput->Release();

    HRESULT hr = DirectInput8Create(g_hInstance, DIRECTINPUT_VERSION, IID_IDirectInput8A, (void **)&g_directInput,
                                    NULL);
    if (FAILED(hr)) {
        LogError("Failed to create DirectInput");
        return E_FAIL;
    }
    if (FAILED(g_keyboard.Init())) {
        LogError("Failed to initialize keyboard");
        return E_FAIL;
    }
    if (FAILED(g_mouse.Init())) {
        LogError("Unable to initialize mouse");
        return E_FAIL;
    }
    return S_OK;
}

void ShutdownInput()
{
    if (g_directInput) {
        g_directInput->Release();
        g_directInput = NULL;
    }
}

int UpdateInput()
{
    LONG dx, dy;
    g_mouse.GetMovement(&dx, &dy);
    // Set, not added: a tick without movement stops the turn.
    g_freeCamera.SetYawRate(dx * kMouseSensitivity * kMouseToRadians);
    g_freeCamera.SetPitchRate(dy * kMouseSensitivity * kMouseToRadians);
    return 0;
}
