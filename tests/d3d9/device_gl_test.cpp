// Pixel tests of the OpenGL device: small scenes drawn on llvmpipe, read back through the
// back buffer and compared channel by channel with a tolerance.
#include "d3d9/pixel_fixture.h"
#include "d3d9/shader_tokens.h"
#include "support/stderr_capture.h"

#include <cmath>
#include <cstring>

using namespace d3d9test;

// (Clearing the whole target is what every pixel test starts with.)
TEST_F(PixelTest, ARectangleListClearsOnlyInsideTheRectangles)
{
    EXPECT_EQ(device_->Clear(0, NULL, D3DCLEAR_TARGET, 0xFF336699, 1.0f, 0), D3D_OK);
    D3DRECT r = {10, 20, 30, 40};
    EXPECT_EQ(device_->Clear(1, &r, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    EXPECT_COLOR_NEAR(Pixel(10, 20), 0xFFFF0000u, 1);
    EXPECT_COLOR_NEAR(Pixel(29, 39), 0xFFFF0000u, 1);
    EXPECT_COLOR_NEAR(Pixel(30, 39), 0xFF336699u, 1);
    EXPECT_COLOR_NEAR(Pixel(9, 20), 0xFF336699u, 1);
}

TEST_F(PixelTest, TransformsAreRowMajorAndLeftHanded)
{
    // A perspective projection like D3DXMatrixPerspectiveFovLH(pi/2, 1, 1, 100) and a
    // view that moves the camera to z = -5 and halves x; a square moved by the world to
    // x = +2.5 is seen at x = 1.25, five eighths across (the view applied first would
    // leave it at 2.5, three quarters across).
    float zn = 1, zf = 100;
    D3DMATRIX proj = {};
    proj._11 = 1, proj._22 = 1, proj._33 = zf / (zf - zn), proj._34 = 1, proj._43 = -zn * zf / (zf - zn);
    D3DMATRIX view = Identity();
    view._43 = 5;
    view._11 = 0.5f;
    D3DMATRIX world = Identity();
    world._41 = 2.5f;  // translation in the fourth row: row vectors
    device_->SetTransform(D3DTS_PROJECTION, &proj);
    device_->SetTransform(D3DTS_VIEW, &view);
    device_->SetTransform(D3DTS_WORLD, &world);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    struct Vertex {
        float x, y, z;
    };
    Vertex square[4] = {{-0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}, {-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}};
    DrawUP(D3DFVF_XYZ, D3DPT_TRIANGLESTRIP, 2, square, sizeof(Vertex));
    // x: 1.25 / 5 = 0.25 in NDC, i.e. pixel 40; the square is 6.4 pixels wide.
    EXPECT_COLOR_NEAR(Pixel(40, 32), 0xFFFFFFFFu, 1);
    EXPECT_COLOR_NEAR(Pixel(48, 32), 0xFF000000u, 1);
    EXPECT_COLOR_NEAR(Pixel(32, 32), 0xFF000000u, 1);
}

TEST_F(PixelTest, VertexShaderFromHandBuiltTokens)
{
    // vs_1_1: dcl_position v0, dcl_texcoord v1; mad r0, v1.x, c4, v0 (centre + corner x *
    // right); mad r0, v1.y, c5, r0 (+ corner y * up); m4x4 oPos, r0, c0; mov oD0, c6.
    // clang-format off
    std::vector<DWORD> tokens = {
        D3DVS_VERSION(1, 1),
        D3DSIO_DCL, Dcl(D3DDECLUSAGE_POSITION), Dst(D3DSPR_INPUT, 0),
        D3DSIO_DCL, Dcl(D3DDECLUSAGE_TEXCOORD), Dst(D3DSPR_INPUT, 1),
        D3DSIO_MAD, Dst(D3DSPR_TEMP, 0), Src(D3DSPR_INPUT, 1, 0), Src(D3DSPR_CONST, 4), Src(D3DSPR_INPUT, 0),
        D3DSIO_MAD, Dst(D3DSPR_TEMP, 0), Src(D3DSPR_INPUT, 1, 0x55 << 16), Src(D3DSPR_CONST, 5), Src(D3DSPR_TEMP, 0),
        D3DSIO_M4x4, Dst(D3DSPR_RASTOUT, D3DSRO_POSITION), Src(D3DSPR_TEMP, 0), Src(D3DSPR_CONST, 0),
        D3DSIO_MOV, Dst(D3DSPR_ATTROUT, 0), Src(D3DSPR_CONST, 6),
        D3DVS_END(),
    };
    // clang-format on
    UseVertexShader(tokens);
    D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                    {0, 12, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
                                    D3DDECL_END()};
    IDirect3DVertexDeclaration9 *decl = nullptr;
    ASSERT_EQ(device_->CreateVertexDeclaration(elements, &decl), D3D_OK);
    device_->SetVertexDeclaration(Keep(decl));
    device_->SetFVF(0);  // keeps the declaration
    // c0..c3: a transposed matrix that scales by 0.5 and moves right by 0.5 (NDC).
    float c[8][4] = {{0.5f, 0, 0, 0.5f}, {0, 0.5f, 0, 0}, {0, 0, 1, 0},           {0, 0, 0, 1},
                     {1, 0, 0, 0},       {0, 1, 0, 0},    {1.0f, 0.5f, 0.25f, 1}, {1, -1, 0.5f, 0}};
    ASSERT_EQ(device_->SetVertexShaderConstantF(0, &c[0][0], 8), D3D_OK);
    // One billboard: centre at the origin, corners +-0.5.
    float quad[4][5] = {
        {0, 0, 0.5f, -0.5f, 0.5f}, {0, 0, 0.5f, 0.5f, 0.5f}, {0, 0, 0.5f, -0.5f, -0.5f}, {0, 0, 0.5f, 0.5f, -0.5f}};
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    auto draw = [&] {
        device_->BeginScene();
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
        device_->EndScene();
    };
    draw();
    // The quad spans NDC x 0.25..0.75 (pixels 40..56) and y -0.25..0.25 (pixels 24..40).
    EXPECT_COLOR_NEAR(Pixel(48, 32), D3DCOLOR_XRGB(255, 128, 64), 2);
    EXPECT_COLOR_NEAR(Pixel(36, 32), 0xFF000000u, 1);
    EXPECT_COLOR_NEAR(Pixel(48, 20), 0xFF000000u, 1);

    // The fixed-function stage still shades what the shader outputs: oT0.xy = corner *
    // (1, -1) + 0.5 (u right, v down) samples a 2 x 2 texture that MODULATE multiplies
    // with oD0.
    tokens.insert(tokens.end() - 1,
                  {D3DSIO_MAD, Dst(D3DSPR_TEXCRDOUT, 0, D3DSP_WRITEMASK_0 | D3DSP_WRITEMASK_1), Src(D3DSPR_INPUT, 1),
                   Src(D3DSPR_CONST, 7), Src(D3DSPR_CONST, 7, D3DVS_Z_Z | D3DVS_Y_Z | D3DVS_X_Z | D3DVS_W_Z)});
    UseVertexShader(tokens);
    device_->SetTexture(0, ArgbTexture(2, 2, {0xFFFFFFFF, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}));
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    Clear();
    draw();
    EXPECT_COLOR_NEAR(Pixel(44, 28), D3DCOLOR_XRGB(255, 128, 64), 3);  // top left texel: white
    EXPECT_COLOR_NEAR(Pixel(52, 28), D3DCOLOR_XRGB(0, 128, 0), 3);     // top right: green
    EXPECT_COLOR_NEAR(Pixel(44, 36), D3DCOLOR_XRGB(0, 0, 64), 3);      // bottom left: blue
    // With D3DTTFF_PROJECTED the pixel stage divides by the w the shader writes (2 here):
    // the whole quad then reads the top left quarter, white.
    tokens.insert(tokens.end() - 1, {D3DSIO_MOV, Dst(D3DSPR_TEXCRDOUT, 0, D3DSP_WRITEMASK_3), Src(D3DSPR_CONST, 8)});
    UseVertexShader(tokens);
    const float two[4] = {0, 0, 0, 2};
    device_->SetVertexShaderConstantF(8, two, 1);
    device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_PROJECTED);
    draw();
    EXPECT_COLOR_NEAR(Pixel(52, 28), D3DCOLOR_XRGB(255, 128, 64), 3);
    EXPECT_COLOR_NEAR(Pixel(44, 36), D3DCOLOR_XRGB(255, 128, 64), 3);
}

TEST_F(PixelTest, DynamicBufferRefilledWithDiscardBetweenDraws)
{
    IDirect3DVertexBuffer9 *vb = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(4 * sizeof(TLVertex), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0,
                                          D3DPOOL_DEFAULT, &vb, NULL),
              D3D_OK);
    device_->SetFVF(kTLFvf);
    device_->SetStreamSource(0, Keep(vb), 0, sizeof(TLVertex));
    device_->BeginScene();
    for (int i = 0; i < 4; i++) {
        TLVertex *v;
        ASSERT_EQ(vb->Lock(0, 0, reinterpret_cast<void **>(&v), D3DLOCK_DISCARD), D3D_OK);
        float x0 = i * 16.0f, x1 = x0 + 16;
        D3DCOLOR c = D3DCOLOR_XRGB(64 * i + 63, 255 - 64 * i, 0);
        v[0] = {x0, 0, 0.5f, 1, c, 0, 0};
        v[1] = {x1, 0, 0.5f, 1, c, 0, 0};
        v[2] = {x0, 64, 0.5f, 1, c, 0, 0};
        v[3] = {x1, 64, 0.5f, 1, c, 0, 0};
        vb->Unlock();
        EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    }
    device_->EndScene();
    // Every draw kept the contents it was given, though the buffer was rewritten.
    EXPECT_COLORS_NEAR(Quarters(), (std::vector<D3DCOLOR>{0xFF3FFF00, 0xFF7FBF00, 0xFFBF7F00, 0xFFFF3F00}), 1);
}

// What is written through a lock of the back buffer is what the window shows after Present,
// pixel for pixel (no flip, shift, channel swap or filtering), and what GetFrontBufferData
// gives afterwards: a desktop-sized surface with the frame where the window is and black
// around it, the last presented frame rather than what the back buffer holds since.
TEST_F(PixelTest, PresentShowsTheBackBufferUnchangedInTheWindowAndTheFrontBuffer)
{
    D3DDISPLAYMODE desktop;
    ASSERT_EQ(d3d_->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop), D3D_OK);
    ASSERT_TRUE(desktop.Width > kSize || desktop.Height > kSize) << "the desktop is larger than the window";
    IDirect3DSurface9 *front = nullptr, *small = nullptr, *wrongFormat = nullptr, *back = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(desktop.Width, desktop.Height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                   &front, NULL),
              D3D_OK);
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(kSize, kSize, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &small, NULL),
              D3D_OK);
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(desktop.Width, desktop.Height, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                   &wrongFormat, NULL),
              D3D_OK);
    ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    for (IDirect3DSurface9 *s : {front, small, wrongFormat, back})
        Keep(s);
    int left = 0, top = 0;
    SDL_GetWindowPosition(tavrok::SdlWindowOf(window_), &left, &top);

    for (int frameNumber : {0, 1}) {
        SCOPED_TRACE("frame " + std::to_string(frameNumber));
        auto shade = [&](UINT x, UINT y) { return D3DCOLOR_XRGB(x * 4, y * 4 + frameNumber, (x * 7 + y * 3) & 0xFF); };
        std::vector<D3DCOLOR> written(kSize * kSize);
        for (UINT y = 0; y < kSize; y++)
            for (UINT x = 0; x < kSize; x++)
                written[y * kSize + x] = shade(x, y);
        FillSurface(back, written);
        ASSERT_EQ(device_->Present(NULL, NULL, NULL, NULL), D3D_OK);
        const std::vector<D3DCOLOR> shown = ReadWindow();
        ASSERT_EQ(shown.size(), written.size());
        int wrong = 0;
        for (size_t i = 0; i < shown.size(); i++)
            if (shown[i] != (written[i] & 0xFFFFFF) && wrong++ < 3)
                ADD_FAILURE() << "window pixel " << i % kSize << "," << i / kSize << " is " << std::hex << shown[i]
                              << ", written " << written[i];
        EXPECT_EQ(wrong, 0);
        if (frameNumber == 1)
            Clear(0xFF0000FF);  // the next frame begins: the back buffer changes, the front does not

        ASSERT_EQ(device_->GetFrontBufferData(0, front), D3D_OK);
        const std::vector<D3DCOLOR> got = SurfacePixels(front);
        int frame = 0;
        wrong = 0;
        for (UINT y = 0; y < desktop.Height; y++)
            for (UINT x = 0; x < desktop.Width; x++) {
                const UINT fx = x - UINT(left), fy = y - UINT(top);
                const bool inside = fx < kSize && fy < kSize;
                const D3DCOLOR want = inside ? shade(fx, fy) | 0xFF000000 : 0xFF000000;
                frame += inside;
                if (got[y * desktop.Width + x] != want && wrong++ < 3)
                    ADD_FAILURE() << "front pixel " << x << "," << y << " is " << std::hex
                                  << got[y * desktop.Width + x] << ", not " << want;
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(frame, int(kSize * kSize)) << "the whole window lies on the desktop";
    }

    testing::internal::CaptureStderr();
    EXPECT_EQ(device_->GetFrontBufferData(1, front), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetFrontBufferData(0, small), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetFrontBufferData(0, wrongFormat), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetFrontBufferData(0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(testsupport::CountLines(testing::internal::GetCapturedStderr()), 4);
}
