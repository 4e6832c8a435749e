// text_pixel_probe: draws white screen text at (81, 30) on black through a real device
// (OpenGL, under Xvfb in the tests), reads the back buffer back and reports where the
// lit pixels are and how they are shaded; then presents and waits to be closed, so the
// window can be photographed too.
#include "text/screen_text.h"

#include <stdio.h>

extern LPDIRECT3DDEVICE9 g_pd3dDevice;

static LRESULT CALLBACK ProbeProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

static void DrawFrame()
{
    g_pd3dDevice->Clear(0, NULL, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    g_pd3dDevice->BeginScene();
    DrawScreenText(81, 30, "TNX to Velmor", D3DXCOLOR(255.0f, 255.0f, 255.0f, 1.0f));
    g_pd3dDevice->EndScene();
}

int main()
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ProbeProc;
    wc.hInstance = instance;
    wc.lpszClassName = "TextProbe";
    RegisterClassExA(&wc);
    HWND hWnd = CreateWindowExA(0, "TextProbe", "text probe", WS_CAPTION, 0, 0, 320, 120, NULL, NULL, instance, NULL);
    if (!hWnd)
        return 1;
    ShowWindow(hWnd, SW_SHOWNORMAL);

    IDirect3D9 *d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp = {};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferFormat = D3DFMT_UNKNOWN;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;  // read back below
    if (!d3d || FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, hWnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                                         &g_pd3dDevice))) {
        printf("no device\n");
        return 2;
    }
    if (FAILED(CreateTextFont("Viner Hand ITC")))
        return 3;

    DrawFrame();
    IDirect3DSurface9 *back = NULL;
    D3DLOCKED_RECT locked;
    if (FAILED(g_pd3dDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back)) ||
        FAILED(back->LockRect(&locked, NULL, D3DLOCK_READONLY))) {
        printf("no back buffer\n");
        return 4;
    }
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, partial = 0, full = 0, grey = 1;
    int fullX = -1, fullY = -1;
    for (int y = 0; y < int(pp.BackBufferHeight); ++y)
        for (int x = 0; x < int(pp.BackBufferWidth); ++x) {
            DWORD p = ((DWORD *)((BYTE *)locked.pBits + y * locked.Pitch))[x];
            int r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
            if (r == 0 && g == 0 && b == 0)
                continue;
            if (r != g || g != b)
                grey = 0;
            if (r == 255) {
                full++;
                if (fullX < 0)
                    fullX = x, fullY = y;
            } else {
                partial++;
            }
            if (x < left) left = x;
            if (y < top) top = y;
            if (x > right) right = x;
            if (y > bottom) bottom = y;
        }
    back->UnlockRect();
    back->Release();
    printf("lit %d %d %d %d partial %d full %d grey %d white-at %d %d\n", left, top, right, bottom, partial, full,
           grey, fullX, fullY);
    fflush(stdout);

    // Keep presenting until the window is closed, so that a screenshot sees the text.
    MSG msg;
    for (;;) {
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                break;
            DispatchMessageA(&msg);
            continue;
        }
        DrawFrame();
        g_pd3dDevice->Present(NULL, NULL, NULL, NULL);
        Sleep(20);
    }
    g_font->Release();
    g_pd3dDevice->Release();
    d3d->Release();
    return 0;
}
