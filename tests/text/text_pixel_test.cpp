// Screen text on llvmpipe: white text drawn at (81, 30) on black lands just right of and
// below that corner, stands as tall as the capitals of a 14-point (19-pixel) face, and has
// antialiased (grey) edge pixels and no coloured ones.
#include "text/screen_text.h"

#include "support/device_setup.h"

#include <gtest/gtest.h>

#include <algorithm>

extern LPDIRECT3DDEVICE9 g_pd3dDevice;

TEST(ScreenTextPixels, WhiteTextLandsAtItsCornerAntialiasedAndGrey)
{
    HWND window = testsupport::CreateTestWindow(320, 120);
    ASSERT_NE(window, (HWND)NULL);
    IDirect3D9 *d3d = NULL;
    ASSERT_EQ(testsupport::CreateDevice(D3DDEVTYPE_HAL, &d3d, &g_pd3dDevice, window, 320, 120), D3D_OK);
    ASSERT_EQ(CreateTextFont("Viner Hand ITC"), S_OK);
    g_pd3dDevice->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    g_pd3dDevice->BeginScene();
    DrawScreenText(81, 30, "TNX to Velmor", D3DXCOLOR(255.0f, 255.0f, 255.0f, 1.0f));
    g_pd3dDevice->EndScene();

    IDirect3DSurface9 *back = NULL;
    D3DLOCKED_RECT locked;
    ASSERT_EQ(g_pd3dDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    ASSERT_EQ(back->LockRect(&locked, NULL, D3DLOCK_READONLY), D3D_OK);
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, partial = 0, full = 0, coloured = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 320; ++x) {
            DWORD p = ((const DWORD *)((const BYTE *)locked.pBits + y * locked.Pitch))[x];
            int r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
            if (r == 0 && g == 0 && b == 0)
                continue;
            coloured += r != g || g != b;
            (r == 255 ? full : partial) += 1;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
    back->UnlockRect();
    back->Release();
    EXPECT_GE(left, 81);
    EXPECT_LE(left, 84);
    EXPECT_GE(top, 31) << "the cell top 30 plus the internal leading";
    EXPECT_LE(top, 37);
    EXPECT_GE(bottom - top + 1, 13);
    EXPECT_LE(bottom - top + 1, 18);
    EXPECT_GE(right - left + 1, 100);
    EXPECT_LE(right - left + 1, 200);
    EXPECT_GT(partial, 20) << "antialiased edge pixels";
    EXPECT_GT(full, 50) << "fully white pixels";
    EXPECT_EQ(coloured, 0) << "white text has no coloured pixels";

    g_font->Release();
    g_font = NULL;
    EXPECT_EQ(g_pd3dDevice->Release(), 0u);
    g_pd3dDevice = NULL;
    d3d->Release();
    DestroyWindow(window);
}
