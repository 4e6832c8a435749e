/*
 * pixel_fixture.h - a real device on a real window for the pixel tests.
 *
 * Opens a window through the Win32 layer, creates a HAL device on it with the shared
 * set-up (support/device_setup.h), and reads pixels back through the back buffer surface.  Needs a display
 * (the tests run under xvfb-run).
 */
#ifndef TAVROK_TESTS_D3D9_PIXEL_FIXTURE_H
#define TAVROK_TESTS_D3D9_PIXEL_FIXTURE_H

#include <d3d9.h>

#include "surface_pixels.h"

#include "support/device_setup.h"

#include <tavrok/d3d9_debug.h>
#include <tavrok/platform.h>

#include <gtest/gtest.h>

// After gtest: X11's headers define None, which gtest uses as a name.
#include <SDL_syswm.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace d3d9test {

constexpr UINT kSize = 64;

struct TLVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kTLFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

class PixelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window_ = testsupport::CreateTestWindow(kSize, kSize);
        ASSERT_NE(window_, nullptr);
        ASSERT_EQ(testsupport::CreateDevice(D3DDEVTYPE_HAL, &d3d_, &device_, window_, kSize, kSize), D3D_OK);
        device_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    }

    void TearDown() override
    {
        if (device_) {
            for (DWORD s = 0; s < 8; s++)
                device_->SetTexture(s, NULL);
            device_->SetPixelShader(NULL);
            device_->SetVertexShader(NULL);
            device_->SetVertexDeclaration(NULL);
            device_->SetIndices(NULL);
            for (UINT s = 0; s < 2; s++)
                device_->SetStreamSource(s, NULL, 0, 0);
            for (DWORD i = 1; i < 4; i++)
                device_->SetRenderTarget(i, NULL);
            BackToBackBuffer();
            for (auto o = kept_.rbegin(); o != kept_.rend(); ++o)
                (*o)->Release();
            for (IDirect3DTexture9 *t : textures_)
                t->Release();
            EXPECT_EQ(device_->Release(), 0u);
        }
        if (d3d_) {
            EXPECT_EQ(d3d_->Release(), 0u);
        }
        if (window_)
            DestroyWindow(window_);
        EXPECT_EQ(tavrok::d3d9::LiveObjectCount(), 0);
    }

    // The back buffer as ARGB words, rows top first; its size in *width and *height.
    std::vector<D3DCOLOR> ReadBack(UINT *width = nullptr, UINT *height = nullptr)
    {
        IDirect3DSurface9 *surface = nullptr;
        EXPECT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
        if (!surface)
            return std::vector<D3DCOLOR>(kSize * kSize);
        D3DSURFACE_DESC desc;
        surface->GetDesc(&desc);
        std::vector<D3DCOLOR> pixels = SurfacePixels(surface);
        surface->Release();
        if (width)
            *width = desc.Width;
        if (height)
            *height = desc.Height;
        return pixels;
    }
    // A render target's pixels through GetRenderTargetData, rows top first.
    std::vector<D3DCOLOR> ReadTarget(IDirect3DSurface9 *target)
    {
        D3DSURFACE_DESC d;
        target->GetDesc(&d);
        IDirect3DSurface9 *sys = nullptr;
        EXPECT_EQ(device_->CreateOffscreenPlainSurface(d.Width, d.Height, d.Format, D3DPOOL_SYSTEMMEM, &sys, NULL),
                  D3D_OK);
        if (!sys)
            return std::vector<D3DCOLOR>(size_t(d.Width) * d.Height);
        EXPECT_EQ(device_->GetRenderTargetData(target, sys), D3D_OK);
        std::vector<D3DCOLOR> pixels = SurfacePixels(sys);
        sys->Release();
        return pixels;
    }

    // A render target's texels as bytes in its own layout (`texelBytes` each), rows top first.
    std::vector<uint8_t> TargetBytes(IDirect3DSurface9 *target, UINT texelBytes)
    {
        D3DSURFACE_DESC d;
        target->GetDesc(&d);
        std::vector<uint8_t> bytes(size_t(d.Width) * d.Height * texelBytes);
        IDirect3DSurface9 *sys = nullptr;
        EXPECT_EQ(device_->CreateOffscreenPlainSurface(d.Width, d.Height, d.Format, D3DPOOL_SYSTEMMEM, &sys, NULL),
                  D3D_OK);
        D3DLOCKED_RECT r = {};
        if (sys && device_->GetRenderTargetData(target, sys) == D3D_OK &&
            sys->LockRect(&r, NULL, D3DLOCK_READONLY) == D3D_OK) {
            for (UINT y = 0; y < d.Height; y++)
                memcpy(&bytes[size_t(y) * d.Width * texelBytes], static_cast<uint8_t *>(r.pBits) + y * r.Pitch,
                       size_t(d.Width) * texelBytes);
            sys->UnlockRect();
        }
        EXPECT_NE(r.pBits, nullptr) << "format " << d.Format << " read back";
        if (sys)
            sys->Release();
        return bytes;
    }

    // What `window` (null: the device's) shows, as XRGB words with the top `width` x
    // `height` pixels, rows top first; empty when it cannot be read.  The window is read
    // over the X connection the GL context draws through, so the read comes after the last
    // swap's image.
    std::vector<D3DCOLOR> ReadWindow(HWND window = NULL, UINT width = kSize, UINT height = kSize)
    {
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (!SDL_GetWindowWMInfo(tavrok::SdlWindowOf(window ? window : window_), &info) ||
            info.subsystem != SDL_SYSWM_X11)
            return {};
        XImage *image = XGetImage(info.info.x11.display, info.info.x11.window, 0, 0, width, height, AllPlanes, ZPixmap);
        if (!image)
            return {};
        std::vector<D3DCOLOR> pixels;
        if (image->red_mask == 0xFF0000ul && image->blue_mask == 0xFFul)
            for (UINT y = 0; y < height; y++)
                for (UINT x = 0; x < width; x++)
                    pixels.push_back(D3DCOLOR(XGetPixel(image, int(x), int(y)) & 0xFFFFFF));
        XDestroyImage(image);
        return pixels;
    }

    D3DCOLOR Pixel(int x, int y) { return ReadBack()[y * kSize + x]; }
    // A render state or a stage 0 state read back (0xDEADBEEF should the read fail).
    DWORD Render(D3DRENDERSTATETYPE state)
    {
        DWORD v = 0xDEADBEEF;
        device_->GetRenderState(state, &v);
        return v;
    }
    DWORD Stage0(D3DTEXTURESTAGESTATETYPE type)
    {
        DWORD v = 0xDEADBEEF;
        device_->GetTextureStageState(0, type, &v);
        return v;
    }
    // Stage s's colour operation and arguments, or with `alpha` its alpha ones.
    void SetStage(DWORD s, DWORD op, DWORD arg1, DWORD arg2, bool alpha = false)
    {
        EXPECT_EQ(device_->SetTextureStageState(s, alpha ? D3DTSS_ALPHAOP : D3DTSS_COLOROP, op), D3D_OK);
        device_->SetTextureStageState(s, alpha ? D3DTSS_ALPHAARG1 : D3DTSS_COLORARG1, arg1);
        device_->SetTextureStageState(s, alpha ? D3DTSS_ALPHAARG2 : D3DTSS_COLORARG2, arg2);
    }
    // The middles of the four 16-pixel columns across the middle row (or of the four rows
    // down the middle column).
    std::vector<D3DCOLOR> Quarters(bool down = false)
    {
        std::vector<D3DCOLOR> px = ReadBack(), q;
        for (int i = 0; i < 4; ++i)
            q.push_back(down ? px[(i * 16 + 8) * kSize + 32] : px[32 * kSize + i * 16 + 8]);
        return q;
    }

    void Clear(D3DCOLOR color = 0xFF000000, float z = 1.0f)
    {
        device_->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, z, 0);
    }
    // Draws `count` primitives from user memory in a scene of their own, with vertices of `fvf`.
    void DrawUP(DWORD fvf, D3DPRIMITIVETYPE type, UINT count, const void *vertices, UINT stride)
    {
        device_->SetFVF(fvf);
        device_->BeginScene();
        EXPECT_EQ(device_->DrawPrimitiveUP(type, count, vertices, stride), D3D_OK);
        device_->EndScene();
    }

    // Draws a screen-space rectangle with one colour and texture coordinates u0..u1, v0..v1.
    void DrawRect(float x0, float y0, float x1, float y1, D3DCOLOR color, float z = 0.5f, float u0 = 0, float v0 = 0,
                  float u1 = 1, float v1 = 1)
    {
        TLVertex v[4] = {{x0, y0, z, 1, color, u0, v0},
                         {x1, y0, z, 1, color, u1, v0},
                         {x0, y1, z, 1, color, u0, v1},
                         {x1, y1, z, 1, color, u1, v1}};
        device_->SetFVF(kTLFvf);
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TLVertex)), D3D_OK);
    }
    // The same rectangle in a scene of its own.
    void DrawRectScene(float x0, float y0, float x1, float y1, D3DCOLOR color, float z = 0.5f, float u0 = 0,
                       float v0 = 0, float u1 = 1, float v1 = 1)
    {
        device_->BeginScene();
        DrawRect(x0, y0, x1, y1, color, z, u0, v0, u1, v1);
        device_->EndScene();
    }

    // An A8R8G8B8 texture of one level from ARGB words, rows top first; the fixture unbinds
    // and releases it after the test.
    IDirect3DTexture9 *ArgbTexture(UINT w, UINT h, const std::vector<D3DCOLOR> &texels)
    {
        IDirect3DTexture9 *texture = nullptr;
        EXPECT_EQ(device_->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, NULL), D3D_OK);
        if (!texture)
            return nullptr;
        D3DLOCKED_RECT r;
        EXPECT_EQ(texture->LockRect(0, &r, NULL, 0), D3D_OK);
        for (UINT y = 0; y < h; y++)
            memcpy(static_cast<BYTE *>(r.pBits) + y * r.Pitch, &texels[y * w], w * 4);
        texture->UnlockRect(0);
        textures_.push_back(texture);
        return texture;
    }

    // An object released after the test (textures and shaders unbound first).
    template <class T>
    T *Keep(T *o)
    {
        if (o)
            kept_.push_back(o);
        return o;
    }

    // Render target 0 back on the back buffer.
    void BackToBackBuffer()
    {
        IDirect3DSurface9 *back = nullptr;
        ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        EXPECT_EQ(device_->SetRenderTarget(0, back), D3D_OK);
        back->Release();
    }
    // Level 0 of a new w x h render-target texture of `format` (the texture in *texture),
    // both kept.
    IDirect3DSurface9 *TargetTexture(D3DFORMAT format, UINT w, UINT h, IDirect3DTexture9 **texture = nullptr,
                                     DWORD usage = D3DUSAGE_RENDERTARGET)
    {
        IDirect3DTexture9 *t = nullptr;
        IDirect3DSurface9 *level = nullptr;
        EXPECT_EQ(device_->CreateTexture(w, h, usage & D3DUSAGE_AUTOGENMIPMAP ? 0 : 1, usage, format,
                                         D3DPOOL_DEFAULT, &t, NULL),
                  D3D_OK)
            << format;
        if (texture)
            *texture = t;
        if (!t)
            return nullptr;
        EXPECT_EQ(Keep(t)->GetSurfaceLevel(0, &level), D3D_OK);
        return Keep(level);
    }
    // A vertex or index buffer of the managed pool holding `bytes` of `data`, kept.
    IDirect3DVertexBuffer9 *VertexBuffer(const void *data, UINT bytes, DWORD fvf = 0)
    {
        IDirect3DVertexBuffer9 *b = nullptr;
        EXPECT_EQ(device_->CreateVertexBuffer(bytes, 0, fvf, D3DPOOL_MANAGED, &b, NULL), D3D_OK);
        return Fill(b, data, bytes);
    }
    IDirect3DIndexBuffer9 *IndexBuffer(const void *data, UINT bytes, D3DFORMAT format = D3DFMT_INDEX16)
    {
        IDirect3DIndexBuffer9 *b = nullptr;
        EXPECT_EQ(device_->CreateIndexBuffer(bytes, 0, format, D3DPOOL_MANAGED, &b, NULL), D3D_OK);
        return Fill(b, data, bytes);
    }
    // Shaders from tokens, set on the device and kept.
    void UsePixelShader(const std::vector<DWORD> &tokens)
    {
        IDirect3DPixelShader9 *shader = nullptr;
        ASSERT_EQ(device_->CreatePixelShader(tokens.data(), &shader), D3D_OK);
        ASSERT_EQ(device_->SetPixelShader(Keep(shader)), D3D_OK);
    }
    void UseVertexShader(const std::vector<DWORD> &tokens)
    {
        IDirect3DVertexShader9 *shader = nullptr;
        ASSERT_EQ(device_->CreateVertexShader(tokens.data(), &shader), D3D_OK);
        ASSERT_EQ(device_->SetVertexShader(Keep(shader)), D3D_OK);
    }

    template <class B>
    B *Fill(B *buffer, const void *data, UINT bytes)
    {
        void *p = nullptr;
        if (buffer && buffer->Lock(0, 0, &p, 0) == D3D_OK) {
            memcpy(p, data, bytes);
            buffer->Unlock();
        }
        return Keep(buffer);
    }

    HWND window_ = nullptr;
    IDirect3D9 *d3d_ = nullptr;
    IDirect3DDevice9 *device_ = nullptr;
    std::vector<IDirect3DTexture9 *> textures_;  // released after the test
    std::vector<IUnknown *> kept_;
};

// `count` vertices of `stride` bytes cut down to the byte ranges `fields` ({offset, size}
// each) in that order: a smaller vertex format from one vertex struct.
inline std::vector<BYTE> Packed(const void *vertices, UINT count, UINT stride,
                                const std::vector<std::pair<UINT, UINT>> &fields)
{
    std::vector<BYTE> out;
    for (UINT i = 0; i < count; ++i)
        for (const auto &[at, size] : fields) {
            const BYTE *b = static_cast<const BYTE *>(vertices) + i * stride + at;
            out.insert(out.end(), b, b + size);
        }
    return out;
}

inline D3DMATRIX Identity()
{
    D3DMATRIX m = {};
    m._11 = m._22 = m._33 = m._44 = 1;
    return m;
}

// Channel distance: the largest difference of the four 8-bit channels (alpha ignored
// unless asked).
inline int Distance(D3DCOLOR a, D3DCOLOR b, bool alpha = false)
{
    int d = 0;
    for (int shift = 0; shift < (alpha ? 32 : 24); shift += 8)
        d = std::max(d, std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)));
    return d;
}

}  // namespace d3d9test

// Each colour of `actual` within `tolerance` of the one of `expected` at the same place.
#define EXPECT_COLORS_NEAR(actual, expected, tolerance)                                                                \
    do {                                                                                                               \
        const std::vector<D3DCOLOR> a_ = (actual), e_ = (expected);                                                    \
        ASSERT_EQ(a_.size(), e_.size());                                                                               \
        for (size_t i_ = 0; i_ < a_.size(); ++i_)                                                                      \
            EXPECT_COLOR_NEAR(a_[i_], e_[i_], tolerance) << " at " << i_;                                              \
    } while (0)

#define EXPECT_COLOR_NEAR(actual, expected, tolerance)                                                                 \
    EXPECT_LE(d3d9test::Distance((actual), (expected)), (tolerance))                                                   \
        << std::hex << "actual 0x" << (actual) << ", expected 0x" << (expected)

#endif
