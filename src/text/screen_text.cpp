/*
 * screen_text.cpp - the screen-text font and the drawing of text lines.
 *
 * One font is made at set-up, its character height the point size at the screen's
 * vertical resolution; each line is drawn at a pixel position without a sprite and without
 * clipping.  Relies on the graphics device and the frame counter; draws nothing while the
 * font is missing.
 */
#include "text/screen_text.h"

#include "app/timer.h"

#include <stdio.h>

// The device made by the graphics set-up.
extern LPDIRECT3DDEVICE9 g_pd3dDevice;

LPD3DXFONT g_font = NULL;
int g_fontPointSize = 14;
char g_frameRateText[12];
HRESULT g_lastResult = S_OK;

HRESULT CreateTextFont(const char *faceName)
{
    HDC hDC = GetDC(NULL);
    // Negative: a character height, not a cell height, of the point size.
    int height = -MulDiv(g_fontPointSize, GetDeviceCaps(hDC, LOGPIXELSY), 72);
    ReleaseDC(NULL, hDC);

    g_lastResult = D3DXCreateFontA(g_pd3dDevice, height, 0, FW_BOLD, 0, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                   ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, faceName, &g_font);
    if (FAILED(g_lastResult)) {
        OutputDebugStringA("Impossibile caricare il font necessario");
        OutputDebugStringA("\n");
        return E_FAIL;
    }
    return S_OK;
}

static DWORD ChannelByte(float c)
{
    if (c >= 1.0f)
        return 0xff;
    if (c <= 0.0f)
        return 0x00;
    return (DWORD)(c * 255.0f + 0.5f);
}

D3DCOLOR ColourWord(const D3DXCOLOR &colour)
{
    return D3DCOLOR_ARGB(ChannelByte(colour.a), ChannelByte(colour.r), ChannelByte(colour.g), ChannelByte(colour.b));
}

INT DrawScreenText(int x, int y, const char *text, D3DXCOLOR colour)
{
    if (!g_font)
        return 0;
    // An empty rectangle: with DT_NOCLIP it only anchors the top-left corner.
    RECT rect;
    rect.left = x;
    rect.top = y;
    rect.right = 0;
    rect.bottom = 0;
    return g_font->DrawTextA(NULL, text, -1, &rect, DT_NOCLIP, ColourWord(colour));
}

INT DrawFrameRate(int x, int y, char *buffer, D3DXCOLOR colour)
{
    snprintf(g_frameRateText, sizeof(g_frameRateText), "%d", g_framesPerSecond);
    return DrawScreenText(x, y, g_frameRateText, colour);
}
