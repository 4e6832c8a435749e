/*
 * support/null_device.h - the NULLREF device the program-module tests share.
 *
 * A NULLREF device accepts every call, keeps states and resources in memory and draws
 * nothing, so no display is needed.  CreateNullDevice makes one the way the program's
 * graphics set-up does (windowed, lockable back buffer, 16-bit depth); NullDeviceTest
 * holds one for a test and checks at the end that nothing made with it still holds it.
 */
#ifndef TAVROK_TESTS_SUPPORT_NULL_DEVICE_H
#define TAVROK_TESTS_SUPPORT_NULL_DEVICE_H

#include <d3d9.h>

#include <gtest/gtest.h>

namespace testsupport {

// Makes *d3d and a NULLREF *device with a back buffer of width x height on `window`
// (none is needed).  D3D_OK, or the failure with both pointers left null.
inline HRESULT CreateNullDevice(IDirect3D9 **d3d, IDirect3DDevice9 **device, HWND window = NULL,
                                UINT width = 64, UINT height = 64)
{
    *device = NULL;
    *d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!*d3d)
        return E_FAIL;
    D3DPRESENT_PARAMETERS pp = {};
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    HRESULT hr = (*d3d)->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_NULLREF, window,
                                      D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, device);
    if (FAILED(hr)) {
        (*d3d)->Release();
        *d3d = NULL;
        *device = NULL;
    }
    return hr;
}

class NullDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CreateNullDevice(&d3d_, &device_), D3D_OK); }
    void TearDown() override
    {
        if (device_) {
            EXPECT_EQ(device_->Release(), 0u) << "something made by the test still holds the device";
        }
        if (d3d_)
            d3d_->Release();
        device_ = NULL;
        d3d_ = NULL;
    }

    IDirect3D9 *d3d_ = NULL;
    IDirect3DDevice9 *device_ = NULL;
};

}  // namespace testsupport

#endif
