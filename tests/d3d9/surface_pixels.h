/*
 * surface_pixels.h - the 32-bit pixels of a lockable surface read and written whole, rows
 * top first, for the unit and the pixel tests.
 */
#ifndef TAVROK_TESTS_D3D9_SURFACE_PIXELS_H
#define TAVROK_TESTS_D3D9_SURFACE_PIXELS_H

#include <d3d9.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace d3d9test {

// Width x height words, zero where the surface could not be locked.
inline std::vector<DWORD> SurfacePixels(IDirect3DSurface9 *s)
{
    D3DSURFACE_DESC d = {};
    s->GetDesc(&d);
    std::vector<DWORD> out(size_t(d.Width) * d.Height);
    D3DLOCKED_RECT r = {};
    EXPECT_EQ(s->LockRect(&r, NULL, D3DLOCK_READONLY), D3D_OK);
    if (!r.pBits)
        return out;
    for (UINT y = 0; y < d.Height; y++)
        memcpy(&out[size_t(y) * d.Width], static_cast<BYTE *>(r.pBits) + y * r.Pitch, d.Width * 4);
    s->UnlockRect();
    return out;
}

inline void FillSurface(IDirect3DSurface9 *s, const std::vector<DWORD> &pixels)
{
    D3DSURFACE_DESC d = {};
    s->GetDesc(&d);
    ASSERT_EQ(pixels.size(), size_t(d.Width) * d.Height);
    D3DLOCKED_RECT r;
    ASSERT_EQ(s->LockRect(&r, NULL, 0), D3D_OK);
    for (UINT y = 0; y < d.Height; y++)
        memcpy(static_cast<BYTE *>(r.pBits) + y * r.Pitch, &pixels[size_t(y) * d.Width], d.Width * 4);
    s->UnlockRect();
}

}  // namespace d3d9test

#endif
