/*
 * d3d_setup.cpp - graphics device set-up.
 *
 * InitD3D asks whether to run full screen, creates the Direct3D object and the one
 * device of the program (a 1024 x 768 full-screen mode, or a window whose client area is
 * made exactly 1024 x 768), installs the projection and the first render, texture-stage
 * and sampler states.  There is no reset and no lost-device handling.
 */
#include "app/d3d_setup.h"

#include <d3dx9math.h>

#include <stdio.h>

IDirect3D9 *g_pD3D = NULL;
IDirect3DDevice9 *g_pd3dDevice = NULL;
D3DPRESENT_PARAMETERS g_d3dpp;

// The display the program asks for; the depth figure only appears in the question.
static const int g_screenWidth = 1024;
static const int g_screenHeight = 768;
static const int g_screenDepth = 16;

HRESULT InitD3D(IDirect3D9 **ppD3D, IDirect3DDevice9 **ppDevice, HWND hWnd)
{
    // The question is ANSI text in the Windows-1252 code page: 0xE0 is the accented a.
    char question[128];
    sprintf(question, "Modalit\xE0 schermo-intero? (%dx%dx%d)", g_screenWidth, g_screenHeight, g_screenDepth);

    if (ppD3D == NULL || ppDevice == NULL || hWnd == NULL)
        return E_FAIL;

    IDirect3D9 *pD3D = Direct3DCreate9(31);
    if (pD3D == NULL)
        return E_FAIL;
    // Stored at once, so that the tear-down releases it even if a later step fails.
    *ppD3D = pD3D;

    int answer = MessageBoxA(hWnd, question, "Apertura Applicazione", MB_YESNO | MB_ICONQUESTION);

    ZeroMemory(&g_d3dpp, sizeof(g_d3dpp));
    if (answer == IDYES) {
        // Full screen always asks for a 32-bit mode, whatever the question says.
        g_d3dpp.BackBufferFormat = D3DFMT_A8R8G8B8;
        g_d3dpp.Windowed = FALSE;
    } else {
        // The window keeps its top-left corner and grows by its frame, so that the
        // client area is exactly the back buffer's size.
        RECT client, frame;
        GetClientRect(hWnd, &client);
        GetWindowRect(hWnd, &frame);
        MoveWindow(hWnd, frame.left, frame.top, g_screenWidth + (frame.right - frame.left) - client.right,
                   g_screenHeight + (frame.bottom - frame.top) - client.bottom, TRUE);

        D3DDISPLAYMODE mode;
        ZeroMemory(&mode, sizeof(mode));
        pD3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
        g_d3dpp.BackBufferFormat = mode.Format;
        g_d3dpp.Windowed = TRUE;
    }
    g_d3dpp.BackBufferWidth = g_screenWidth;
    g_d3dpp.BackBufferHeight = g_screenHeight;
    g_d3dpp.BackBufferCount = 1;
    g_d3dpp.MultiSampleType = D3DMULTISAMPLE_NONE;
    g_d3dpp.MultiSampleQuality = 0;
    g_d3dpp.SwapEffect = D3DSWAPEFFECT_COPY;
    g_d3dpp.hDeviceWindow = NULL;
    g_d3dpp.EnableAutoDepthStencil = TRUE;
    g_d3dpp.AutoDepthStencilFormat = D3DFMT_D16;
    g_d3dpp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    g_d3dpp.FullScreen_RefreshRateInHz = 0;
    // Never wait for the retrace: the main loop runs as fast as the device presents.
    g_d3dpp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;

    IDirect3DDevice9 *pDevice = NULL;
    HRESULT hr = pD3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hWnd, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                    &g_d3dpp, &pDevice);
    if (FAILED(hr))
        return hr;
    *ppDevice = pDevice;

    // The aspect ratio comes from the back buffer, not from the window.
    D3DXMATRIX projection;
    float aspect = (float)((double)g_d3dpp.BackBufferWidth / (double)g_d3dpp.BackBufferHeight);
    D3DXMatrixPerspectiveFovLH(&projection, D3DX_PI / 4, aspect, 1.0f, 10000.0f);
    pDevice->SetTransform(D3DTS_PROJECTION, &projection);

    pDevice->SetRenderState(D3DRS_LIGHTING, FALSE);
    pDevice->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    pDevice->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);

    // Texture colour times the lit vertex colour.
    pDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    pDevice->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    pDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);

    pDevice->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    pDevice->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    return S_OK;
}
