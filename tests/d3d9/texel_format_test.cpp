/*
 * texel_format_test.cpp - the wide, signed and float colour formats: their texels bit by
 * bit as the format tables of the SDK lay them out, what a sampler reads for the channels a
 * format lacks, and their use on the NULLREF device (locks, copies and fills between
 * formats, the formats offered as targets and back buffers).
 */
#include "d3d9/null_fixture.h"

#include <tavrok/half_float.h>
#include <tavrok/texture_storage.h>

#include <cmath>
#include <cstring>

namespace d3d9test {
namespace {

using tavrok::d3d9::DecodeTexel;
using tavrok::d3d9::EncodeTexel;

uint64_t Encoded(D3DFORMAT f, float r, float g, float b, float a)
{
    const float c[4] = {r, g, b, a};
    uint8_t texel[16] = {};
    EncodeTexel(f, c, texel);
    uint64_t word;
    memcpy(&word, texel, sizeof word);
    return word;
}

std::vector<float> Decoded(D3DFORMAT f, uint64_t word)
{
    uint8_t texel[16] = {};
    memcpy(texel, &word, sizeof word);
    float c[4];
    DecodeTexel(f, texel, c);
    return {c[0], c[1], c[2], c[3]};
}

void ExpectNear(const std::vector<float> &actual, const std::vector<float> &expected, const char *what)
{
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(actual[i], expected[i], 1e-6) << what << " channel " << i;
}

TEST(TexelFormatTest, PackedFormatsPutEachChannelWhereTheFormatNamesIt)
{
    // Names list channels from the most significant bits down: A2R10G10B10 has blue in
    // the low ten bits, A2B10G10R10 and A8B8G8R8 have red there.
    EXPECT_EQ(Encoded(D3DFMT_A2R10G10B10, 1, 0.5f, 0, 1 / 3.0f), 0x7FF80000u);
    EXPECT_EQ(Encoded(D3DFMT_A2B10G10R10, 1, 0.5f, 0, 1 / 3.0f), 0x400803FFu);
    EXPECT_EQ(Encoded(D3DFMT_A8B8G8R8, 1, 0.2f, 0, 0.6f), 0x990033FFu);
    EXPECT_EQ(Encoded(D3DFMT_G16R16, 0.25f, 1, 0.5f, 0.5f), 0xFFFF4000u);
    EXPECT_EQ(Encoded(D3DFMT_A16B16G16R16, 0, 1, 0.5f, 1), 0xFFFF8000FFFF0000ull);
    EXPECT_EQ(Encoded(D3DFMT_R3G3B2, 1, 0, 1, 0) & 0xFF, 0xE3u);
    // X bits are written as ones, whatever alpha was asked for.
    EXPECT_EQ(Encoded(D3DFMT_X8B8G8R8, 0, 0, 1, 0), 0xFFFF0000u);
    EXPECT_EQ(Encoded(D3DFMT_X4R4G4B4, 1, 0, 0, 0) & 0xFFFF, 0xFF00u);
    // Out-of-range values clamp; NaN stores as 0.
    EXPECT_EQ(Encoded(D3DFMT_G16R16, 7, -3, 0, 0), 0x0000FFFFu);
    EXPECT_EQ(Encoded(D3DFMT_A8B8G8R8, NAN, 0, 0, 1), 0xFF000000u);

    ExpectNear(Decoded(D3DFMT_A2R10G10B10, 0x7FF80000u), {1, 512 / 1023.0f, 0, 1 / 3.0f}, "A2R10G10B10");
    ExpectNear(Decoded(D3DFMT_A16B16G16R16, 0xFFFF8000FFFF0000ull), {0, 1, 32768 / 65535.0f, 1}, "A16B16G16R16");
}

TEST(TexelFormatTest, MissingChannelsReadAsOneAndLuminanceAsGrey)
{
    ExpectNear(Decoded(D3DFMT_G16R16, 0xFFFF4000u), {16384 / 65535.0f, 1, 1, 1}, "G16R16");
    ExpectNear(Decoded(D3DFMT_X8B8G8R8, 0x00302010u), {16 / 255.0f, 32 / 255.0f, 48 / 255.0f, 1}, "X8B8G8R8");
    ExpectNear(Decoded(D3DFMT_L16, 0x8000u), {32768 / 65535.0f, 32768 / 65535.0f, 32768 / 65535.0f, 1}, "L16");
    ExpectNear(Decoded(D3DFMT_R16F, 0x3E00u), {1.5f, 1, 1, 1}, "R16F");
    ExpectNear(Decoded(D3DFMT_G32R32F, 0), {0, 0, 1, 1}, "G32R32F");
    ExpectNear(Decoded(D3DFMT_V8U8, 0x7F81u), {-1, 1, 1, 1}, "V8U8");
    // The 8-bit formats keep the readings they always had: alpha-only A8 is black.
    ExpectNear(Decoded(D3DFMT_A8, 0x80u), {0, 0, 0, 128 / 255.0f}, "A8");
    ExpectNear(Decoded(D3DFMT_A8R8G8B8, 0x80402010u), {64 / 255.0f, 32 / 255.0f, 16 / 255.0f, 128 / 255.0f},
               "A8R8G8B8");
}

TEST(TexelFormatTest, SignedAndFloatFormatsKeepTheirRangeAndPrecision)
{
    // Signed channels: -1 is the code one above the lowest, which also reads as -1.
    EXPECT_EQ(Encoded(D3DFMT_Q8W8V8U8, -1, 1, 0.5f, 0), 0x00407F81u);
    ExpectNear(Decoded(D3DFMT_Q8W8V8U8, 0x00407F80u), {-1, 1, 64 / 127.0f, 0}, "Q8W8V8U8");
    EXPECT_EQ(Encoded(D3DFMT_V16U16, -0.5f, 0, 0, 0), 0x0000C000u);

    // Halves round to nearest even and overflow to infinity; floats are stored as given.
    EXPECT_EQ(Encoded(D3DFMT_R16F, 1.5f, 0, 0, 0) & 0xFFFF, 0x3E00u);
    EXPECT_EQ(Encoded(D3DFMT_G16R16F, -2, 1e6f, 0, 0), 0x7C00C000u);
    EXPECT_EQ(Encoded(D3DFMT_A16B16G16R16F, 1 + 1 / 2048.0f, 0, 0, 65504), 0x7BFF000000003C00ull);
    const float wide[4] = {2.5f, -1, 0.125f, 100};
    uint8_t texel[16];
    EncodeTexel(D3DFMT_A32B32G32R32F, wide, texel);
    EXPECT_EQ(memcmp(texel, wide, 16), 0);
    float back[4];
    DecodeTexel(D3DFMT_A32B32G32R32F, texel, back);
    EXPECT_EQ(memcmp(back, wide, 16), 0);

    // Through a D3DCOLOR the values clamp to 0..1 and round to 8 bits.
    uint16_t halves[4] = {tavrok::FloatToHalf(2), tavrok::FloatToHalf(-1), tavrok::FloatToHalf(0.5f),
                          tavrok::FloatToHalf(1)};
    EXPECT_EQ(tavrok::d3d9::UnpackArgb(D3DFMT_A16B16G16R16F, reinterpret_cast<uint8_t *>(halves)), 0xFFFF0080u);
    float red;
    tavrok::d3d9::PackArgb(D3DFMT_R32F, 0x80FF0000u, reinterpret_cast<uint8_t *>(&red));
    EXPECT_EQ(red, 1.0f);
}

using TexelFormatDeviceTest = NullDeviceTest;

TEST_F(TexelFormatDeviceTest, WideFormatsAreOfferedForTexturesAndTargetsButNotBackBuffers)
{
    const struct {
        D3DFORMAT format;
        UINT bytes;
        bool target;
    } formats[] = {
        {D3DFMT_A8B8G8R8, 4, true},      {D3DFMT_X8B8G8R8, 4, true},       {D3DFMT_A2R10G10B10, 4, true},
        {D3DFMT_A2B10G10R10, 4, true},   {D3DFMT_G16R16, 4, true},         {D3DFMT_A16B16G16R16, 8, true},
        {D3DFMT_X4R4G4B4, 2, true},      {D3DFMT_R3G3B2, 1, false},        {D3DFMT_L16, 2, false},
        {D3DFMT_Q8W8V8U8, 4, false},     {D3DFMT_V16U16, 4, false},        {D3DFMT_Q16W16V16U16, 8, false},
        {D3DFMT_R16F, 2, true},          {D3DFMT_G16R16F, 4, true},        {D3DFMT_A16B16G16R16F, 8, true},
        {D3DFMT_R32F, 4, true},          {D3DFMT_G32R32F, 8, true},        {D3DFMT_A32B32G32R32F, 16, true},
    };
    for (const auto &f : formats) {
        EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_NULLREF, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, f.format), D3D_OK)
            << f.format;
        EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_NULLREF, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET,
                                          D3DRTYPE_TEXTURE, f.format),
                  f.target ? D3D_OK : D3DERR_NOTAVAILABLE)
            << f.format;
        EXPECT_EQ(d3d_->CheckDeviceType(0, D3DDEVTYPE_NULLREF, D3DFMT_X8R8G8B8, f.format, TRUE), D3DERR_NOTAVAILABLE)
            << f.format;
        // A level of 3 texels locks with the format's own pitch.
        IDirect3DTexture9 *t = Keep(Texture(3, 2, 1, 0, f.format, D3DPOOL_MANAGED));
        ASSERT_NE(t, nullptr);
        D3DLOCKED_RECT r;
        ASSERT_EQ(t->LockRect(0, &r, NULL, 0), D3D_OK);
        EXPECT_EQ(r.Pitch, INT(3 * f.bytes)) << f.format;
        t->UnlockRect(0);
    }
    D3DPRESENT_PARAMETERS pp = WindowedParameters(64, 32);
    pp.BackBufferFormat = D3DFMT_A16B16G16R16F;
    EXPECT_EQ(device_->Reset(&pp), D3DERR_INVALIDCALL);
}

TEST_F(TexelFormatDeviceTest, CopiesAndFillsConvertBetweenFormatsAtFullPrecision)
{
    IDirect3DSurface9 *wide = Keep(Target(2, 1, D3DFMT_A32B32G32R32F));
    IDirect3DSurface9 *half = Keep(Target(1, 1, D3DFMT_A16B16G16R16F));
    IDirect3DSurface9 *same = Keep(Target(2, 1, D3DFMT_A32B32G32R32F));
    ASSERT_TRUE(wide && half && same);
    const float texels[2][4] = {{1, 2, -4, 0.5f}, {3, 2, 4, 0.25f}};
    D3DLOCKED_RECT r;
    ASSERT_EQ(wide->LockRect(&r, NULL, 0), D3D_OK);
    memcpy(r.pBits, texels, sizeof texels);
    wide->UnlockRect();

    // Two texels filtered into one: their means, beyond 0..1 and negative.
    ASSERT_EQ(device_->StretchRect(wide, NULL, half, NULL, D3DTEXF_LINEAR), D3D_OK);
    ASSERT_EQ(half->LockRect(&r, NULL, D3DLOCK_READONLY), D3D_OK);
    uint16_t h[4];
    memcpy(h, r.pBits, sizeof h);
    half->UnlockRect();
    EXPECT_EQ(tavrok::HalfToFloat(h[0]), 2.0f);
    EXPECT_EQ(tavrok::HalfToFloat(h[1]), 2.0f);
    EXPECT_EQ(tavrok::HalfToFloat(h[2]), 0.0f);
    EXPECT_EQ(tavrok::HalfToFloat(h[3]), 0.375f);

    // A copy within one float format changes no bit.
    ASSERT_EQ(device_->StretchRect(wide, NULL, same, NULL, D3DTEXF_POINT), D3D_OK);
    ASSERT_EQ(same->LockRect(&r, NULL, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(memcmp(r.pBits, texels, sizeof texels), 0);
    same->UnlockRect();

    // ColorFill writes the colour in the target's format.
    IDirect3DSurface9 *red = Keep(Target(2, 2, D3DFMT_R16F));
    IDirect3DSurface9 *packed = Keep(Target(1, 1, D3DFMT_A2B10G10R10));
    ASSERT_TRUE(red && packed);
    ASSERT_EQ(device_->ColorFill(red, NULL, 0xFF808080), D3D_OK);
    ASSERT_EQ(device_->ColorFill(packed, NULL, 0x00FF0000), D3D_OK);
    ASSERT_EQ(red->LockRect(&r, NULL, D3DLOCK_READONLY), D3D_OK);
    uint16_t reds[2];
    memcpy(reds, static_cast<uint8_t *>(r.pBits) + r.Pitch, sizeof reds);
    red->UnlockRect();
    EXPECT_EQ(reds[0], tavrok::FloatToHalf(128 / 255.0f));
    EXPECT_EQ(reds[1], reds[0]);
    ASSERT_EQ(packed->LockRect(&r, NULL, D3DLOCK_READONLY), D3D_OK);
    uint32_t word;
    memcpy(&word, r.pBits, 4);
    packed->UnlockRect();
    EXPECT_EQ(word, 0x3FFu);
}

}  // namespace
}  // namespace d3d9test
