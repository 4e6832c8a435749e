/*
 * null_fixture.h - a NULLREF device for the unit tests: every call is checked and every
 * state and resource kept, nothing is drawn and no display is needed.  The back buffer is
 * 64 x 32 so that a width and a height mixed up show.
 */
#ifndef TAVROK_TESTS_D3D9_NULL_FIXTURE_H
#define TAVROK_TESTS_D3D9_NULL_FIXTURE_H

#include "surface_pixels.h"

#include "support/device_setup.h"
#include "support/stderr_capture.h"

#include <tavrok/d3d9_debug.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace d3d9test {

using testsupport::WindowedParameters;

class NullDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        liveBefore_ = tavrok::d3d9::LiveObjectCount();
        ASSERT_EQ(testsupport::CreateNullDevice(&d3d_, &device_, NULL, 64, 32), D3D_OK);
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

// How many diagnostic lines `call` writes on stderr.
template <class F>
int StderrLines(F &&call)
{
    return testsupport::CountLines(testsupport::StderrOf(call));
}

// An answer and the number of diagnostic lines beside it, readable in a failure message.
inline std::string Answer(HRESULT hr, int lines)
{
    std::ostringstream out;
    out << "HRESULT 0x" << std::hex << ULONG(hr) << std::dec << " with " << lines << " line(s) on stderr";
    return out.str();
}

template <class F>
std::string AnswerOf(F &&call)
{
    HRESULT hr = S_OK;
    const int lines = StderrLines([&] { hr = call(); });
    return Answer(hr, lines);
}

}  // namespace d3d9test

// `call` is refused with D3DERR_INVALIDCALL and one line on stderr saying why.
#define EXPECT_REFUSED(call)                                                                                           \
    EXPECT_EQ(d3d9test::AnswerOf([&] { return HRESULT(call); }), d3d9test::Answer(D3DERR_INVALIDCALL, 1)) << #call

namespace d3d9test {

}  // namespace d3d9test

#endif
