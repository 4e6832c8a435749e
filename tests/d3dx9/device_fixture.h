// A NULLREF device for the D3DX tests: it keeps resources in memory and draws nothing.
#ifndef TAVROK_TESTS_D3DX9_DEVICE_FIXTURE_H
#define TAVROK_TESTS_D3DX9_DEVICE_FIXTURE_H

#include <d3dx9.h>

#include <gtest/gtest.h>

class NullDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS pp = {};
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.BackBufferWidth = 64;
        pp.BackBufferHeight = 64;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_NULLREF, NULL,
                                     D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device_),
                  D3D_OK);
    }
    void TearDown() override
    {
        if (device_) {
            EXPECT_EQ(device_->Release(), 0u) << "something made by the test still holds the device";
        }
        if (d3d_)
            d3d_->Release();
    }
    IDirect3D9 *d3d_ = nullptr;
    IDirect3DDevice9 *device_ = nullptr;
};

#endif
