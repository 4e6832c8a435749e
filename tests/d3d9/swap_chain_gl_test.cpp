// Presentation on a real device, read back from the X windows themselves: rectangles of
// the back buffer shown in part of the window (the rest kept), another window named in
// Present, and additional swap chains drawn to and shown in their own windows.
#include "d3d9/pixel_fixture.h"
#include "d3d9/refused.h"

using namespace d3d9test;

namespace {

constexpr D3DCOLOR kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

class SwapChainTest : public PixelTest {
protected:
    void TearDown() override
    {
        if (second_)
            DestroyWindow(second_);
        PixelTest::TearDown();
    }

    // A second window of w x h beside the device's, so that neither covers the other.
    HWND SecondWindow(UINT w, UINT h)
    {
        second_ = testsupport::CreateTestWindow(w, h);
        if (second_)
            SDL_SetWindowPosition(tavrok::SdlWindowOf(second_), int(kSize) + 16, 0);
        return second_;
    }

    // The back buffer cleared to `left` on x < split and `right` from there.
    void ClearSplit(LONG split, D3DCOLOR left, D3DCOLOR right)
    {
        D3DRECT l = {0, 0, split, LONG(kSize)}, r = {split, 0, LONG(kSize), LONG(kSize)};
        device_->Clear(1, &l, D3DCLEAR_TARGET, 0xFF000000 | left, 1.0f, 0);
        device_->Clear(1, &r, D3DCLEAR_TARGET, 0xFF000000 | right, 1.0f, 0);
    }

    // What the desktop-sized front buffer of `chain` (null: the device's) holds at the
    // window's pixel x, y.
    D3DCOLOR FrontPixel(IDirect3DSwapChain9 *chain, HWND window, int x, int y)
    {
        D3DDISPLAYMODE desktop;
        d3d_->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop);
        IDirect3DSurface9 *front = nullptr;
        EXPECT_EQ(device_->CreateOffscreenPlainSurface(desktop.Width, desktop.Height, D3DFMT_A8R8G8B8,
                                                       D3DPOOL_SYSTEMMEM, &front, NULL),
                  D3D_OK);
        if (!front)
            return 0xDEADBEEF;
        EXPECT_EQ(chain ? chain->GetFrontBufferData(front) : device_->GetFrontBufferData(0, front), D3D_OK);
        int left = 0, top = 0;
        SDL_GetWindowPosition(tavrok::SdlWindowOf(window), &left, &top);
        const D3DCOLOR c = SurfacePixels(front)[size_t(top + y) * desktop.Width + size_t(left + x)];
        front->Release();
        return c & 0xFFFFFF;
    }

    HWND second_ = NULL;
};

// Pixel x, y of rows `width` wide (0xDEADBEEF when the window could not be read).
D3DCOLOR At(const std::vector<D3DCOLOR> &pixels, int x, int y, UINT width = kSize)
{
    const size_t at = size_t(y) * width + size_t(x);
    return at < pixels.size() ? pixels[at] : 0xDEADBEEF;
}

// A dirty region of one rectangle, laid out as a RGNDATA is: the header, then the rectangles.
struct OneRectRegion {
    RGNDATAHEADER rdh;
    RECT rect;
};

}  // namespace

TEST_F(SwapChainTest, RectanglesShowPartOfTheBackBufferScaledAndTheRestOfTheWindowStays)
{
    // The window keeps its picture from the first Present into part of it on.
    RECT quarter = {0, 0, 32, 32}, bottomRight = {32, 32, 64, 64};
    ASSERT_EQ(device_->Present(NULL, &bottomRight, NULL, NULL), D3D_OK);
    Clear(0xFF000000 | kRed);
    ASSERT_EQ(device_->Present(NULL, NULL, NULL, NULL), D3D_OK);

    // The green top-left quarter into the bottom-right quarter, unscaled.
    ClearSplit(32, kGreen, kBlue);
    ASSERT_EQ(device_->Present(&quarter, &bottomRight, NULL, NULL), D3D_OK);
    std::vector<D3DCOLOR> shown = ReadWindow();
    EXPECT_EQ(At(shown, 32, 32), kGreen);
    EXPECT_EQ(At(shown, 63, 63), kGreen);
    EXPECT_EQ(At(shown, 31, 63), kRed);
    EXPECT_EQ(At(shown, 63, 31), kRed);
    EXPECT_EQ(At(shown, 0, 0), kRed);

    // A 32 x 64 strip across the split stretched into the 64 x 32 top half: green on its
    // left, blue on its right; the bottom half as it was.
    RECT strip = {16, 0, 48, 64}, topHalf = {0, 0, 64, 32};
    ASSERT_EQ(device_->Present(&strip, &topHalf, NULL, NULL), D3D_OK);
    shown = ReadWindow();
    EXPECT_EQ(At(shown, 4, 16), kGreen);
    EXPECT_EQ(At(shown, 60, 16), kBlue);
    EXPECT_EQ(At(shown, 16, 48), kRed);
    EXPECT_EQ(At(shown, 48, 48), kGreen);

    // A destination running off the window is cut to it: the whole back buffer in the
    // 16 x 16 corner that remains.  The front buffer says the same as the window.
    RECT offWindow = {48, -10, 200, 16};
    ASSERT_EQ(device_->Present(NULL, &offWindow, NULL, NULL), D3D_OK);
    shown = ReadWindow();
    EXPECT_EQ(At(shown, 50, 8), kGreen);
    EXPECT_EQ(At(shown, 62, 8), kBlue);
    EXPECT_EQ(At(shown, 40, 8), kBlue);  // the stretched strip's, untouched
    EXPECT_EQ(FrontPixel(nullptr, window_, 50, 8), kGreen);
    EXPECT_EQ(FrontPixel(nullptr, window_, 16, 48), kRed);

    // A source rectangle alone fills the whole window; a dirty region is a hint, the whole
    // rectangle is shown.
    OneRectRegion dirty = {{sizeof(RGNDATAHEADER), RDH_RECTANGLES, 1, sizeof(RECT), {0, 0, 4, 4}}, {0, 0, 4, 4}};
    RECT blueHalf = {32, 0, 64, 64};
    ASSERT_EQ(device_->Present(&blueHalf, NULL, NULL, reinterpret_cast<RGNDATA *>(&dirty)), D3D_OK);
    shown = ReadWindow();
    EXPECT_EQ(At(shown, 0, 0), kBlue);
    EXPECT_EQ(At(shown, 63, 63), kBlue);

    // What cannot be shown: an empty or reversed rectangle, a region of another kind,
    // Present of the target being drawn to inside a scene.
    RECT reversed = {10, 10, 5, 20};
    EXPECT_REFUSED(device_->Present(&reversed, NULL, NULL, NULL));
    EXPECT_REFUSED(device_->Present(NULL, &reversed, NULL, NULL));
    dirty.rdh.iType = 2;
    EXPECT_REFUSED(device_->Present(NULL, NULL, NULL, reinterpret_cast<RGNDATA *>(&dirty)));
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_REFUSED(device_->Present(NULL, NULL, NULL, NULL));
    ASSERT_EQ(device_->EndScene(), D3D_OK);

    // A swap chain that discards its buffers takes no rectangles and no region.
    D3DPRESENT_PARAMETERS discard = testsupport::WindowedParameters(kSize, kSize);
    discard.SwapEffect = D3DSWAPEFFECT_DISCARD;
    discard.Flags = 0;
    ASSERT_EQ(device_->Reset(&discard), D3D_OK);
    EXPECT_REFUSED(device_->Present(&quarter, NULL, NULL, NULL));
    EXPECT_REFUSED(device_->Present(NULL, &bottomRight, NULL, NULL));
    dirty.rdh.iType = RDH_RECTANGLES;
    EXPECT_REFUSED(device_->Present(NULL, NULL, NULL, reinterpret_cast<RGNDATA *>(&dirty)));
    EXPECT_EQ(device_->Present(NULL, NULL, NULL, NULL), D3D_OK);
}

TEST_F(SwapChainTest, AnotherWindowNamedInPresentShowsTheFrameAndTheDeviceWindowKeepsItsOwn)
{
    HWND other = SecondWindow(kSize, kSize);
    ASSERT_NE(other, nullptr);
    Clear(0xFF000000 | kRed);
    ASSERT_EQ(device_->Present(NULL, NULL, NULL, NULL), D3D_OK);
    Clear(0xFF000000 | kGreen);
    ASSERT_EQ(device_->Present(NULL, NULL, other, NULL), D3D_OK);
    EXPECT_EQ(At(ReadWindow(other), 32, 32), kGreen);
    EXPECT_EQ(At(ReadWindow(), 32, 32), kRed);

    Clear(0xFF000000 | kBlue);
    ASSERT_EQ(device_->Present(NULL, NULL, NULL, NULL), D3D_OK);
    EXPECT_EQ(At(ReadWindow(), 32, 32), kBlue);
    EXPECT_EQ(At(ReadWindow(other), 32, 32), kGreen);

    DestroyWindow(other);
    second_ = NULL;
    EXPECT_REFUSED(device_->Present(NULL, NULL, other, NULL));
}

TEST_F(SwapChainTest, AnAdditionalChainIsDrawnToAndShownInItsOwnWindow)
{
    HWND view = SecondWindow(32, 48);
    ASSERT_NE(view, nullptr);
    Clear(0xFF000000 | kRed);
    ASSERT_EQ(device_->Present(NULL, NULL, NULL, NULL), D3D_OK);

    // Size 0 takes the window's client area, an unknown format the device's.
    D3DPRESENT_PARAMETERS pp = {};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    pp.hDeviceWindow = view;
    IDirect3DSwapChain9 *chain = nullptr;
    ASSERT_EQ(device_->CreateAdditionalSwapChain(&pp, &chain), D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, 32u);
    EXPECT_EQ(pp.BackBufferHeight, 48u);
    EXPECT_EQ(pp.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(pp.BackBufferCount, 1u);

    IDirect3DSurface9 *back = nullptr, *deviceBack = nullptr;
    ASSERT_EQ(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    EXPECT_REFUSED(chain->GetBackBuffer(1, D3DBACKBUFFER_TYPE_MONO, &deviceBack));
    void *container = nullptr;
    ASSERT_EQ(back->GetContainer(IID_IDirect3DSwapChain9, &container), D3D_OK);
    EXPECT_EQ(container, chain);
    static_cast<IDirect3DSwapChain9 *>(container)->Release();

    // Drawn to as a render target: a white band over the left half, then shown.  Inside
    // the device's scene the chain may be shown, the device's own buffer not.
    ASSERT_EQ(device_->GetRenderTarget(0, &deviceBack), D3D_OK);
    ASSERT_EQ(device_->SetRenderTarget(0, back), D3D_OK);
    device_->Clear(0, NULL, D3DCLEAR_TARGET, 0xFF000000 | kBlue, 1.0f, 0);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    DrawRectScene(0, 0, 16, 48, 0xFFFFFFFF);
    ASSERT_EQ(device_->SetRenderTarget(0, deviceBack), D3D_OK);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    ASSERT_EQ(chain->Present(NULL, NULL, NULL, NULL, 0), D3D_OK);
    EXPECT_REFUSED(device_->Present(NULL, NULL, NULL, NULL));
    ASSERT_EQ(device_->EndScene(), D3D_OK);

    const std::vector<D3DCOLOR> shown = ReadWindow(view, 32, 48);
    EXPECT_EQ(At(shown, 8, 40, 32), 0xFFFFFFu);
    EXPECT_EQ(At(shown, 24, 40, 32), kBlue);
    EXPECT_EQ(FrontPixel(chain, view, 8, 8), 0xFFFFFFu);
    EXPECT_EQ(FrontPixel(chain, view, 31, 47), kBlue);
    EXPECT_EQ(At(ReadWindow(), 32, 32), kRed);   // the device's window as it was
    EXPECT_EQ(FrontPixel(nullptr, window_, 32, 32), kRed);

    // While the chain lives the device cannot be reset; once it is gone it can.
    D3DPRESENT_PARAMETERS again = testsupport::WindowedParameters(kSize, kSize);
    deviceBack->Release();
    back->Release();
    EXPECT_REFUSED(device_->Reset(&again));
    EXPECT_EQ(chain->Release(), 0u);
    EXPECT_EQ(device_->Reset(&again), D3D_OK);

    // A device has one full-screen chain, its own.
    pp.Windowed = FALSE;
    EXPECT_REFUSED(device_->CreateAdditionalSwapChain(&pp, &chain));
    EXPECT_EQ(chain, nullptr);
}
