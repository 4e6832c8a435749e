/*
 * gdi.cpp - the device-context calls a program uses to size its fonts.
 *
 * There is no GDI drawing: a window's DC is a token that answers GetDeviceCaps.  The
 * logical resolution is 96 dots per inch, Windows' default, so point sizes turn into the
 * same pixel heights as on a Windows desktop at 100 % scale.
 */
#include "win32_private.h"

#include <tavrok/platform.h>

#include <cstdlib>

using namespace tavrok::win32;

extern "C" HDC WINAPI GetDC(HWND hWnd)
{
    static int screenDc;
    if (hWnd && !FromHandle(hWnd))
        return nullptr;
    return reinterpret_cast<HDC>(&screenDc);
}

extern "C" int WINAPI ReleaseDC(HWND, HDC hdc) { return hdc ? 1 : 0; }

extern "C" int WINAPI GetDeviceCaps(HDC hdc, int index)
{
    if (!hdc)
        return 0;
    switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY:
        return 96;
    case BITSPIXEL:
        return 32;
    case HORZRES:
        return GetSystemMetrics(SM_CXSCREEN);
    case VERTRES:
        return GetSystemMetrics(SM_CYSCREEN);
    default:
        tavrok::Unsupported("win32", "GetDeviceCaps index " + std::to_string(index));
        return 0;
    }
}

extern "C" int WINAPI MulDiv(int number, int numerator, int denominator)
{
    // (number * numerator) / denominator in 64 bits, rounded half away from zero; -1 when
    // the denominator is 0 or the result does not fit in 32 bits, as on Windows.
    if (denominator == 0)
        return -1;
    int64_t product = int64_t(number) * numerator;
    int64_t half = std::llabs(int64_t(denominator)) / 2;
    bool negative = (product < 0) != (denominator < 0);
    int64_t magnitude = (std::llabs(product) + half) / std::llabs(int64_t(denominator));
    int64_t result = negative ? -magnitude : magnitude;
    if (result > INT32_MAX || result < INT32_MIN)
        return -1;
    return int(result);
}
