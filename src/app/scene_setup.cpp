/*
 * scene_setup.cpp - scene set-up and tear-down.
 *
 * InitScene creates the device and takes the back buffer, and ends by switching the
 * lighting on with the ambient grey that stays for the whole run; input, models and
 * effects join this sequence as they are built.  Cleanup releases what exists, every
 * object made with the device before the device, and the device before Direct3D.
 */
#include "app/scene_setup.h"

#include "app/d3d_setup.h"
#include "app/shell.h"

IDirect3DSurface9 *g_pBackBuffer = NULL;

HRESULT InitScene(HWND hWnd)
{
    // Nothing below may run without a device.
    if (FAILED(InitD3D(&g_pD3D, &g_pd3dDevice, hWnd)))
        return E_FAIL;

    if (FAILED(g_pd3dDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &g_pBackBuffer))) {
        LogError("Couldnt get backbuffer");
        return E_FAIL;
    }

    g_pd3dDevice->SetRenderState(D3DRS_LIGHTING, TRUE);
    g_pd3dDevice->SetRenderState(D3DRS_AMBIENT, 0xFFC8C8C8);
    return 1;
}

void Cleanup()
{
    if (g_pBackBuffer) {
        g_pBackBuffer->Release();
        g_pBackBuffer = NULL;
    }
    if (g_pd3dDevice) {
        g_pd3dDevice->Release();
        g_pd3dDevice = NULL;
    }
    if (g_pD3D) {
        g_pD3D->Release();
        g_pD3D = NULL;
    }
}
