/*
 * support/null_device.h - the NULLREF device fixture the program-module tests share.
 *
 * A NULLREF device accepts every call, keeps states and resources in memory and draws
 * nothing, so no display is needed.  NullDeviceTest holds one (made by device_setup.h
 * the way the program's graphics set-up does) for a test and checks at the end that
 * nothing made with it still holds it.
 */
#ifndef TAVROK_TESTS_SUPPORT_NULL_DEVICE_H
#define TAVROK_TESTS_SUPPORT_NULL_DEVICE_H

#include "support/device_setup.h"

#include <gtest/gtest.h>

namespace testsupport {

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
