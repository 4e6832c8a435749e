/*
 * scene_setup.cpp - scene set-up and tear-down.
 *
 * The graphics device, input, models and effects join this sequence as they are built;
 * until then the scene is empty and set-up succeeds.
 */
#include "app/scene_setup.h"

HRESULT InitScene(HWND hWnd)
{
    return 1;
}

void Cleanup()
{
}
