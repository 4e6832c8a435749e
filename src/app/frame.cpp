/*
 * frame.cpp - the frame function.
 *
 * Runs the clock step, clears the target, draws the scene between BeginScene and
 * EndScene and presents; the scene's update and drawing join it as the models are built.
 */
#include "app/frame.h"

#include "app/d3d_setup.h"
#include "app/timer.h"

void Render()
{
    UpdateFrameClocks();

    g_pd3dDevice->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);

    g_pd3dDevice->BeginScene();

    g_pd3dDevice->EndScene();
    g_pd3dDevice->Present(NULL, NULL, NULL, NULL);
}
