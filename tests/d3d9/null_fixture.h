/*
 * null_fixture.h - a NULLREF device for the unit tests: every call is checked and every
 * state and resource kept, nothing is drawn and no display is needed.
 */
#ifndef TAVROK_TESTS_D3D9_NULL_FIXTURE_H
#define TAVROK_TESTS_D3D9_NULL_FIXTURE_H

#include <d3d9.h>

#include <tavrok/d3d9_debug.h>

#include <gtest/gtest.h>

#include <string>

namespace d3d9test {

inline D3DPRESENT_PARAMETERS NullParameters(bool depth = true)
{
    D3DPRESENT_PARAMETERS pp = {};
    pp.BackBufferWidth = 64;
    pp.BackBufferHeight = 32;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = depth;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return pp;
}

class NullDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        liveBefore_ = tavrok::d3d9::LiveObjectCount();
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS pp = NullParameters();
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_NULLREF, NULL,
                                     D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device_),
                  D3D_OK);
    }

    void TearDown() override
    {
        if (device_) {
            EXPECT_EQ(device_->Release(), 0u);
        }
        if (d3d_) {
            EXPECT_EQ(d3d_->Release(), 0u);
        }
        EXPECT_EQ(tavrok::d3d9::LiveObjectCount(), liveBefore_) << "objects left alive";
    }

    IDirect3D9 *d3d_ = nullptr;
    IDirect3DDevice9 *device_ = nullptr;
    long liveBefore_ = 0;
};

// Runs `call`, returning how many lines it wrote on stderr.
template <class F>
int StderrLines(F call, std::string *text = nullptr)
{
    ::testing::internal::CaptureStderr();
    call();
    std::string out = ::testing::internal::GetCapturedStderr();
    if (text)
        *text = out;
    int lines = 0;
    for (char c : out)
        lines += c == '\n';
    return lines;
}

}  // namespace d3d9test

#endif
