/*
 * screen_text.h - the font of the lines of text drawn over the scene, and their drawing.
 */
#ifndef TAVROK_TEXT_SCREEN_TEXT_H
#define TAVROK_TEXT_SCREEN_TEXT_H

#include <d3dx9.h>

extern LPD3DXFONT g_font;
extern int g_fontPointSize;
// Holds any signed 32-bit value in decimal: 11 characters and the terminator.
extern char g_frameRateText[12];
// The program's last result: the font creation leaves its HRESULT here for the set-up.
extern HRESULT g_lastResult;

HRESULT CreateTextFont(const char *faceName);
// Draws one line with its top-left corner at (x, y); returns the text height.
INT DrawScreenText(int x, int y, const char *text, D3DXCOLOR colour);
// Draws the current frame rate, always formatted into g_frameRateText.
INT DrawFrameRate(int x, int y, char *buffer, D3DXCOLOR colour);

// The D3DCOLOR (ARGB) word of a colour: each channel clamped to 0..1 and rounded.
D3DCOLOR ColourWord(const D3DXCOLOR &colour);

#endif
