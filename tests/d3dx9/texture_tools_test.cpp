// Textures made to the device's requirements, filled, filtered, loaded into 16-bit formats,
// and saved to files that load back to the same texels; cube, volume and DXT textures filled
// and filtered: the direction or coordinate each texel is asked at, the levels made from the
// one above, DXT levels decoded, filled and encoded (NULLREF device).
#include "d3dx9/device_fixture.h"
#include "d3dx9/image_files.h"

#include "support/stderr_capture.h"

#include <cmath>
#include <cstring>

namespace {

class TextureToolsTest : public NullDeviceTest {
protected:
    IDirect3DTexture9 *Make(UINT w, UINT h, UINT levels, D3DFORMAT format)
    {
        IDirect3DTexture9 *t = nullptr;
        EXPECT_EQ(D3DXCreateTexture(device_, w, h, levels, 0, format, D3DPOOL_MANAGED, &t), D3D_OK);
        return t;
    }
    // The file at its own size, one level, in `format`, unfiltered.
    IDirect3DTexture9 *LoadUnscaled(const std::string &path, D3DFORMAT format)
    {
        IDirect3DTexture9 *t = nullptr;
        EXPECT_EQ(D3DXCreateTextureFromFileExA(device_, path.c_str(), D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0,
                                               format, D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0, nullptr,
                                               nullptr, &t),
                  D3D_OK);
        return t;
    }
};

// Texel colours from the texture coordinates: red u, green v, blue one half.
VOID WINAPI Gradient(D3DXVECTOR4 *out, CONST D3DXVECTOR2 *at, CONST D3DXVECTOR2 *, LPVOID)
{
    *out = D3DXVECTOR4(at->x, at->y, 0.5f, 1.0f);
}

TEST_F(TextureToolsTest, RequirementsFollowTheDevice)
{
    UINT w = 0, h = D3DX_DEFAULT, levels = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    ASSERT_EQ(D3DXCheckTextureRequirements(device_, &w, &h, &levels, 0, &format, D3DPOOL_MANAGED), D3D_OK);
    EXPECT_EQ(std::vector<UINT>({w, h, levels}), std::vector<UINT>({256, 256, 9}));
    EXPECT_EQ(format, D3DFMT_A8R8G8B8);
    // One side given: the other follows it; too large: the device's largest; a format the
    // device cannot texture from: the 32-bit one with or without alpha.
    w = 64, h = 0, levels = 3, format = D3DFMT_R8G8B8;
    D3DXCheckTextureRequirements(device_, &w, &h, &levels, 0, &format, D3DPOOL_MANAGED);
    EXPECT_EQ(std::vector<UINT>({w, h, levels}), std::vector<UINT>({64, 64, 3}));
    EXPECT_EQ(format, D3DFMT_X8R8G8B8);
    D3DCAPS9 caps;
    device_->GetDeviceCaps(&caps);
    w = caps.MaxTextureWidth * 2, h = 4, levels = 100, format = D3DFMT_A4R4G4B4;
    D3DXCheckTextureRequirements(device_, &w, &h, &levels, 0, &format, D3DPOOL_MANAGED);
    EXPECT_EQ(w, caps.MaxTextureWidth);
    EXPECT_EQ(format, D3DFMT_A4R4G4B4) << "a format the device has stays";
    D3DSURFACE_DESC desc;
    IDirect3DTexture9 *t = Make(0, 0, 0, D3DFMT_A8L8);
    ASSERT_NE(t, nullptr);
    t->GetLevelDesc(0, &desc);
    EXPECT_EQ(std::vector<UINT>({desc.Width, desc.Height, t->GetLevelCount(), UINT(desc.Format)}),
              std::vector<UINT>({256, 256, 9, UINT(D3DFMT_A8L8)}));
    t->Release();
}

TEST_F(TextureToolsTest, FillAndFilterWriteEveryLevel)
{
    // Filled at each texel's centre: on a 4 x 4 level texel (1, 2) is at (0.375, 0.625).
    IDirect3DTexture9 *t = Make(4, 4, 3, D3DFMT_A8R8G8B8);
    ASSERT_EQ(D3DXFillTexture(t, Gradient, nullptr), D3D_OK);
    EXPECT_EQ(LevelTexels(t, 0)[2 * 4 + 1], D3DCOLOR_ARGB(255, 96, 159, 128));
    EXPECT_EQ(LevelTexels(t, 1)[0], D3DCOLOR_ARGB(255, 64, 64, 128)) << "each level its own size";
    EXPECT_EQ(LevelTexels(t, 2)[0], D3DCOLOR_ARGB(255, 128, 128, 128));

    // Level 0 of four blocks of 2 x 2 in which one texel differs; boxed, each texel below is
    // its block's mean; by points, its block's top-left texel.
    std::vector<uint32_t> top(16, 0xFF000000);
    top[0] = 0xFF40C080, top[5] = 0xFF0000FF;
    D3DLOCKED_RECT locked;
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 4; y++)
        memcpy(static_cast<uint8_t *>(locked.pBits) + y * locked.Pitch, &top[y * 4], 16);
    t->UnlockRect(0);
    ASSERT_EQ(D3DXFilterTexture(t, nullptr, 0, D3DX_FILTER_BOX), D3D_OK);
    EXPECT_EQ(LevelTexels(t, 1), (std::vector<uint32_t>{0xFF103060, 0xFF000000, 0xFF000000, 0xFF000000}));
    EXPECT_EQ(LevelTexels(t, 2), std::vector<uint32_t>{0xFF040C18});
    ASSERT_EQ(D3DXFilterTexture(t, nullptr, 0, D3DX_FILTER_POINT), D3D_OK);
    EXPECT_EQ(LevelTexels(t, 1)[0], 0xFF40C080u);
    EXPECT_EQ(LevelTexels(t, 2)[0], 0xFF40C080u);
    // From level 1 down only: level 1 stays.
    ASSERT_EQ(D3DXFilterTexture(t, nullptr, 1, D3DX_FILTER_BOX), D3D_OK);
    EXPECT_EQ(LevelTexels(t, 1)[0], 0xFF40C080u);
    EXPECT_EQ(LevelTexels(t, 2)[0], 0xFF103020u);
    testsupport::StderrOf([&] { EXPECT_EQ(D3DXFilterTexture(t, nullptr, 3, D3DX_FILTER_BOX), D3DERR_INVALIDCALL); });
    t->Release();
}

TEST_F(TextureToolsTest, FilesLoadIntoSixteenBitFormatsAndSavedFilesLoadBack)
{
    ScratchFolder dir;
    std::vector<uint32_t> argb(8 * 4);
    for (int i = 0; i < 32; i++)
        argb[i] = 0xFF000000 | (i * 8) << 16 | (255 - i * 8) << 8 | (i / 8 * 60 + 7);  // smooth, for JPEG
    const std::string png = dir.Path() + "/in.png";
    WriteFileBytes(png, EncodePngRgba(argb, 8, 4));

    // Loaded as R5G6B5: each texel is the file's pixel with its low bits dropped.
    IDirect3DTexture9 *t = LoadUnscaled(png, D3DFMT_R5G6B5);
    ASSERT_NE(t, nullptr);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 8; x++) {
            uint32_t c = argb[y * 8 + x];
            uint16_t want = uint16_t(((c >> 19) & 31) << 11 | ((c >> 10) & 63) << 5 | (c >> 3 & 31));
            ASSERT_EQ(reinterpret_cast<const uint16_t *>(static_cast<uint8_t *>(locked.pBits) + y * locked.Pitch)[x],
                      want)
                << x << "," << y;
        }
    t->UnlockRect(0);
    t->Release();

    // Saved in each lossless format and loaded back: the same texels; JPEG close to them.
    ASSERT_NE(t = LoadUnscaled(png, D3DFMT_A8R8G8B8), nullptr);
    for (D3DXIMAGE_FILEFORMAT f : {D3DXIFF_BMP, D3DXIFF_PNG, D3DXIFF_TGA, D3DXIFF_DDS, D3DXIFF_JPG}) {
        SCOPED_TRACE(f);
        const std::string out = dir.Path() + "/out" + std::to_string(f);
        ASSERT_EQ(D3DXSaveTextureToFileA(out.c_str(), f, t, nullptr), D3D_OK);
        IDirect3DTexture9 *back = LoadUnscaled(out, D3DFMT_A8R8G8B8);
        ASSERT_NE(back, nullptr);
        std::vector<uint32_t> got = LevelTexels(back, 0);
        back->Release();
        ASSERT_EQ(got.size(), argb.size());
        int worst = 0, total = 0;
        for (size_t i = 0; i < got.size(); i++)
            for (int shift : {0, 8, 16, 24}) {
                const int d = std::abs(int(got[i] >> shift & 255) - int(argb[i] >> shift & 255));
                worst = std::max(worst, d), total += d;
            }
        if (f == D3DXIFF_JPG)
            EXPECT_LE(total / int(got.size() * 4), 8) << "the mean channel error of a lossy file";
        else
            EXPECT_EQ(worst, 0);
    }

    // A surface's rectangle alone; a folder that is not there, or a format not written, fail
    // with one line each.
    IDirect3DSurface9 *level = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(0, &level), D3D_OK);
    RECT r = {2, 1, 5, 3};
    const std::string part = dir.Path() + "/part.png";
    ASSERT_EQ(D3DXSaveSurfaceToFileA(part.c_str(), D3DXIFF_PNG, level, nullptr, &r), D3D_OK);
    D3DXIMAGE_INFO info;
    ASSERT_EQ(D3DXGetImageInfoFromFileA(part.c_str(), &info), D3D_OK);
    EXPECT_EQ(std::vector<UINT>({info.Width, info.Height}), std::vector<UINT>({3, 2}));
    // The in-memory forms give the bytes the files get.
    ID3DXBuffer *inMemory = nullptr;
    ASSERT_EQ(D3DXSaveSurfaceToFileInMemory(&inMemory, D3DXIFF_PNG, level, nullptr, &r), D3D_OK);
    const auto *first = static_cast<const uint8_t *>(inMemory->GetBufferPointer());
    EXPECT_EQ(std::vector<uint8_t>(first, first + inMemory->GetBufferSize()), ReadFileBytes(part));
    inMemory->Release();
    ASSERT_EQ(D3DXSaveTextureToFileInMemory(&inMemory, D3DXIFF_BMP, t, nullptr), D3D_OK);
    first = static_cast<const uint8_t *>(inMemory->GetBufferPointer());
    EXPECT_EQ(std::vector<uint8_t>(first, first + inMemory->GetBufferSize()),
              ReadFileBytes(dir.Path() + "/out" + std::to_string(D3DXIFF_BMP)));
    inMemory->Release();
    const std::string err = testsupport::StderrOf([&] {
        EXPECT_EQ(D3DXSaveTextureToFileInMemory(nullptr, D3DXIFF_PNG, t, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXSaveSurfaceToFileA((dir.Path() + "/none/x.png").c_str(), D3DXIFF_PNG, level, nullptr, nullptr),
                  D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXSaveSurfaceToFileA(part.c_str(), D3DXIFF_HDR, level, nullptr, nullptr), D3DERR_INVALIDCALL);
    });
    EXPECT_EQ(testsupport::CountLines(err), 3) << err;
    level->Release();
    t->Release();
}

TEST_F(TextureToolsTest, SurfacesLoadFromFilesMemoryAndSurfacesIntoTheirRectangles)
{
    // A 4 x 2 image of distinct pixels, the third of them the colour key.
    std::vector<uint32_t> argb = {0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0,
                                  0xFF112233, 0xFF445566, 0xFF778899, 0xFFAABBCC};
    ScratchFolder dir;
    const std::string png = dir.Path() + "/s.png";
    WriteFileBytes(png, EncodePngRgba(argb, 4, 2));
    IDirect3DTexture9 *t = Make(8, 8, 1, D3DFMT_A8R8G8B8);
    IDirect3DSurface9 *s = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(0, &s), D3D_OK);

    // The file's right half into the 2 x 2 rectangle at (5, 6), the key made transparent.
    RECT from = {2, 0, 4, 2}, to = {5, 6, 7, 8};
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(D3DXLoadSurfaceFromFileA(s, nullptr, &to, png.c_str(), &from, D3DX_FILTER_NONE, 0xFF708090, &info),
              D3D_OK);
    EXPECT_EQ(info.Width, 4u);
    std::vector<uint32_t> texels = LevelTexels(t, 0);
    EXPECT_EQ(std::vector<uint32_t>({texels[6 * 8 + 5], texels[6 * 8 + 6], texels[7 * 8 + 5], texels[7 * 8 + 6]}),
              std::vector<uint32_t>({0, 0xFFA0B0C0, 0xFF778899, 0xFFAABBCC}));
    EXPECT_EQ(texels[0], 0u) << "outside the rectangle nothing is written";

    // Memory in A4R4G4B4, each texel widened; then the top-left 2 x 2 of the surface
    // scaled by points to a 4 x 4 block of the same surface.
    const uint16_t packed[4] = {0xF00F, 0xF0F0, 0xFF00, 0x8888};
    RECT two = {0, 0, 2, 2}, four = {0, 0, 4, 4};
    ASSERT_EQ(
        D3DXLoadSurfaceFromMemory(s, nullptr, &two, packed, D3DFMT_A4R4G4B4, 4, nullptr, &two, D3DX_FILTER_NONE, 0),
        D3D_OK);
    EXPECT_EQ(LevelTexels(t, 0)[8 + 1], 0x88888888u);
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(s, nullptr, &four, s, nullptr, &two, D3DX_FILTER_POINT, 0), D3D_OK);
    texels = LevelTexels(t, 0);
    EXPECT_EQ(std::vector<uint32_t>({texels[0], texels[1], texels[2], texels[3 * 8 + 3]}),
              std::vector<uint32_t>({0xFF0000FF, 0xFF0000FF, 0xFF00FF00, 0x88888888}));

    RECT outside = {6, 6, 9, 9};
    const std::string err = testsupport::StderrOf([&] {
        EXPECT_EQ(D3DXLoadSurfaceFromFileA(s, nullptr, &outside, png.c_str(), nullptr, D3DX_FILTER_NONE, 0, nullptr),
                  D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXLoadSurfaceFromFileA(s, nullptr, nullptr, (dir.Path() + "/none.png").c_str(), nullptr,
                                           D3DX_FILTER_NONE, 0, nullptr),
                  D3DXERR_INVALIDDATA);
    });
    EXPECT_EQ(testsupport::CountLines(err), 2) << err;
    s->Release();
    t->Release();
}

// Float texels: copied as they are into their own format, converted at full precision
// into another float format, and only clamped into an 8-bit one.
TEST_F(TextureToolsTest, FloatTexelsLoadFromMemoryAndSurfacesAtFullPrecision)
{
    const float texels[2][4] = {{2.5f, -1, 0.25f, 4}, {1e5f, 0.5f, 0, 1}};
    RECT source = {0, 0, 2, 1}, into = {1, 2, 3, 3};
    IDirect3DTexture9 *wide = Make(4, 4, 1, D3DFMT_A32B32G32R32F), *half = Make(4, 4, 1, D3DFMT_A16B16G16R16F);
    IDirect3DTexture9 *bytes = Make(4, 4, 1, D3DFMT_A8R8G8B8);
    ASSERT_TRUE(wide && half && bytes);
    IDirect3DSurface9 *w = nullptr, *h = nullptr, *b = nullptr;
    wide->GetSurfaceLevel(0, &w), half->GetSurfaceLevel(0, &h), bytes->GetSurfaceLevel(0, &b);
    ASSERT_EQ(D3DXLoadSurfaceFromMemory(w, nullptr, &into, texels, D3DFMT_A32B32G32R32F, sizeof texels, nullptr,
                                        &source, D3DX_DEFAULT, 0),
              D3D_OK);
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(h, nullptr, nullptr, w, nullptr, nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(b, nullptr, nullptr, w, nullptr, nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    D3DLOCKED_RECT r;
    ASSERT_EQ(wide->LockRect(0, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(memcmp(static_cast<uint8_t *>(r.pBits) + 2 * r.Pitch + 16, texels, sizeof texels), 0);
    wide->UnlockRect(0);
    ASSERT_EQ(half->LockRect(0, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
    uint16_t halves[8];
    memcpy(halves, static_cast<uint8_t *>(r.pBits) + 2 * r.Pitch + 8, sizeof halves);
    half->UnlockRect(0);
    // 2.5, -1, 0.25, 4; then 100000 past the largest half (infinity), 0.5, 0, 1.
    EXPECT_EQ(std::vector<uint16_t>(halves, halves + 8),
              (std::vector<uint16_t>{0x4100, 0xBC00, 0x3400, 0x4400, 0x7C00, 0x3800, 0x0000, 0x3C00}));
    const std::vector<uint32_t> argb = LevelTexels(bytes, 0);
    EXPECT_EQ(argb[2 * 4 + 1], 0xFFFF0040u);
    EXPECT_EQ(argb[2 * 4 + 2], 0xFFFF8000u);
    EXPECT_EQ(argb[0], 0u) << "outside the loaded rectangle the source was zero";
    b->Release(), h->Release(), w->Release();
    bytes->Release(), half->Release(), wide->Release();

    UINT side = 16, levels = 1;
    D3DFORMAT format = D3DFMT_G32R32F;
    ASSERT_EQ(D3DXCheckTextureRequirements(device_, &side, &side, &levels, 0, &format, D3DPOOL_MANAGED), D3D_OK);
    EXPECT_EQ(format, D3DFMT_G32R32F) << "a float format the device has stays";
}

// The texels of a 2D texture's level written from, or read as, values of type T, rows one
// after another.
template <class T>
void PutLevel(IDirect3DTexture9 *t, UINT level, const std::vector<T> &values)
{
    D3DSURFACE_DESC desc;
    D3DLOCKED_RECT r;
    ASSERT_EQ(t->GetLevelDesc(level, &desc), D3D_OK);
    ASSERT_EQ(t->LockRect(level, &r, nullptr, 0), D3D_OK);
    const size_t rowBytes = values.size() * sizeof(T) / desc.Height;
    for (UINT y = 0; y < desc.Height; y++)
        memcpy(static_cast<uint8_t *>(r.pBits) + y * r.Pitch,
               reinterpret_cast<const uint8_t *>(values.data()) + y * rowBytes, rowBytes);
    t->UnlockRect(level);
}

template <class T>
std::vector<T> GetLevel(IDirect3DTexture9 *t, UINT level, UINT perTexel = 1)
{
    D3DSURFACE_DESC desc;
    D3DLOCKED_RECT r;
    EXPECT_EQ(t->GetLevelDesc(level, &desc), D3D_OK);
    if (FAILED(t->LockRect(level, &r, nullptr, D3DLOCK_READONLY)))
        return {};
    std::vector<T> values(size_t(desc.Width) * desc.Height * perTexel);
    const size_t rowBytes = size_t(desc.Width) * perTexel * sizeof(T);
    for (UINT y = 0; y < desc.Height; y++)
        memcpy(reinterpret_cast<uint8_t *>(values.data()) + y * rowBytes, static_cast<uint8_t *>(r.pBits) + y * r.Pitch,
               rowBytes);
    t->UnlockRect(level);
    return values;
}

// Levels of float textures below the top are means of floats, beyond 0..1 both ways and
// never rounded to 8 bits; by points, each block's first texel.  Worked out by hand.
TEST_F(TextureToolsTest, FloatLevelsAreFilteredOnFloatsBeyondZeroToOne)
{
    // R16F 2 x 2 of 4, -2.5, 1 and 0.5: boxed 0.75, by points 4.
    const struct {
        DWORD filter;
        uint16_t below;
    } r16[] = {{D3DX_FILTER_BOX, 0x3A00}, {D3DX_FILTER_POINT, 0x4400}, {D3DX_FILTER_TRIANGLE, 0x3A00}};
    for (const auto &c : r16) {
        IDirect3DTexture9 *t = Make(2, 2, 2, D3DFMT_R16F);
        ASSERT_NE(t, nullptr);
        PutLevel<uint16_t>(t, 0, {0x4400, 0xC100, 0x3C00, 0x3800});
        ASSERT_EQ(D3DXFilterTexture(t, nullptr, 0, c.filter), D3D_OK);
        EXPECT_EQ(GetLevel<uint16_t>(t, 1), std::vector<uint16_t>{c.below}) << c.filter;
        t->Release();
    }

    // A32B32G32R32F 4 x 2: the left block means (3, -1, 4, 1), the right (0, 10, 0.25, 0);
    // the 1 x 1 level below the mean of those two.
    IDirect3DTexture9 *t = Make(4, 2, 3, D3DFMT_A32B32G32R32F);
    ASSERT_NE(t, nullptr);
    PutLevel<float>(t, 0, {4, -2.5f, 0, 1, 4, -2.5f, 0, 1, -2.5f, 10, 0.25f, 0, 1.5f, 10, 0.25f, 0,  // row 0
                           2, 0.5f, 8, 1, 2, 0.5f, 8, 1, -2.5f, 10, 0.25f, 0, 3.5f, 10, 0.25f, 0});  // row 1
    ASSERT_EQ(D3DXFilterTexture(t, nullptr, D3DX_DEFAULT, D3DX_DEFAULT), D3D_OK);
    EXPECT_EQ(GetLevel<float>(t, 1, 4), (std::vector<float>{3, -1, 4, 1, 0, 10, 0.25f, 0}));
    EXPECT_EQ(GetLevel<float>(t, 2, 4), (std::vector<float>{1.5f, 4.5f, 2.125f, 0.5f}));
    t->Release();

    // A16B16G16R16F: (8, -4, 2, 1) and three opaque blacks mean (2, -1, 0.5, 1).
    ASSERT_NE(t = Make(2, 2, 2, D3DFMT_A16B16G16R16F), nullptr);
    PutLevel<uint16_t>(t, 0, {0x4800, 0xC400, 0x4000, 0x3C00, 0, 0, 0, 0x3C00, 0, 0, 0, 0x3C00, 0, 0, 0, 0x3C00});
    ASSERT_EQ(D3DXFilterTexture(t, nullptr, 0, D3DX_FILTER_BOX), D3D_OK);
    EXPECT_EQ(GetLevel<uint16_t>(t, 1, 4), (std::vector<uint16_t>{0x4000, 0xBC00, 0x3800, 0x3C00}));
    t->Release();

    // An R32F cube, face f of 4f, -f, 0.5 and 100: each face's own mean (3f + 100.5) / 4.
    IDirect3DCubeTexture9 *cube = nullptr;
    ASSERT_EQ(D3DXCreateCubeTexture(device_, 2, 2, 0, D3DFMT_R32F, D3DPOOL_MANAGED, &cube), D3D_OK);
    for (UINT f = 0; f < 6; f++) {
        D3DLOCKED_RECT r;
        ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACES(f), 0, &r, nullptr, 0), D3D_OK);
        const float rows[2][2] = {{4.0f * f, -float(f)}, {0.5f, 100}};
        for (int y = 0; y < 2; y++)
            memcpy(static_cast<uint8_t *>(r.pBits) + y * r.Pitch, rows[y], sizeof rows[y]);
        cube->UnlockRect(D3DCUBEMAP_FACES(f), 0);
    }
    ASSERT_EQ(D3DXFilterTexture(cube, nullptr, 0, D3DX_FILTER_BOX), D3D_OK);
    for (UINT f = 0; f < 6; f++) {
        D3DLOCKED_RECT r;
        ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACES(f), 1, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(*static_cast<float *>(r.pBits), (3.0f * f + 100.5f) / 4) << "face " << f;
        cube->UnlockRect(D3DCUBEMAP_FACES(f), 1);
    }
    cube->Release();

    // A G32R32F volume 2 x 2 x 2: red 1 to 8 means 4.5; green -16 once, else 0, means -2.
    IDirect3DVolumeTexture9 *volume = nullptr;
    ASSERT_EQ(D3DXCreateVolumeTexture(device_, 2, 2, 2, 2, 0, D3DFMT_G32R32F, D3DPOOL_MANAGED, &volume), D3D_OK);
    D3DLOCKED_BOX box;
    ASSERT_EQ(volume->LockBox(0, &box, nullptr, 0), D3D_OK);
    for (int i = 0; i < 8; i++) {
        const float texel[2] = {float(i + 1), i == 5 ? -16.0f : 0.0f};
        memcpy(static_cast<uint8_t *>(box.pBits) + (i / 4) * box.SlicePitch + (i / 2 % 2) * box.RowPitch + (i % 2) * 8,
               texel, sizeof texel);
    }
    volume->UnlockBox(0);
    ASSERT_EQ(D3DXFilterTexture(volume, nullptr, 0, D3DX_FILTER_BOX), D3D_OK);
    ASSERT_EQ(volume->LockBox(1, &box, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(std::vector<float>(static_cast<float *>(box.pBits), static_cast<float *>(box.pBits) + 2),
              (std::vector<float>{4.5f, -2}));
    volume->UnlockBox(1);
    volume->Release();
}

// Scaled or colour-keyed loads into or from the float and wide formats keep their
// precision: G16R16 interpolated in 16 bits, floats beyond 0..1 kept, and a colour key
// matching the source texel as the A8R8G8B8 colour it converts to.
TEST_F(TextureToolsTest, ScaledAndKeyedLoadsOfWideTexelsKeepTheirPrecision)
{
    // Two G16R16 texels stretched linearly over four: the ends, then a quarter and three
    // quarters of the way (8 bits would give multiples of 257).
    const uint32_t wide[2] = {1000, 3000 | 40000u << 16};
    const RECT two = {0, 0, 2, 1};
    IDirect3DTexture9 *g16 = Make(4, 1, 1, D3DFMT_G16R16), *bytes = Make(4, 1, 1, D3DFMT_A8R8G8B8);
    IDirect3DTexture9 *floats = Make(4, 1, 1, D3DFMT_A32B32G32R32F), *source = Make(2, 1, 1, D3DFMT_A32B32G32R32F);
    ASSERT_TRUE(g16 && bytes && floats && source);
    IDirect3DSurface9 *g = nullptr, *b = nullptr, *f = nullptr, *s = nullptr;
    g16->GetSurfaceLevel(0, &g), bytes->GetSurfaceLevel(0, &b), floats->GetSurfaceLevel(0, &f);
    source->GetSurfaceLevel(0, &s);
    ASSERT_EQ(D3DXLoadSurfaceFromMemory(g, nullptr, nullptr, wide, D3DFMT_G16R16, sizeof wide, nullptr, &two,
                                        D3DX_FILTER_LINEAR, 0),
              D3D_OK);
    EXPECT_EQ(GetLevel<uint32_t>(g16, 0),
              (std::vector<uint32_t>{1000, 1500 | 10000u << 16, 2500 | 30000u << 16, 3000 | 40000u << 16}));

    // (1, 0, 0, 1) is A8R8G8B8 0xFFFF0000; (4, -2.5, 0.5, 1) converts to 0xFFFF0080.
    const float hdr[2][4] = {{1, 0, 0, 1}, {4, -2.5f, 0.5f, 1}};
    PutLevel<float>(source, 0, {1, 0, 0, 1, 4, -2.5f, 0.5f, 1});
    // From a surface by points: each texel twice; into A8R8G8B8 clamped and rounded.
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(b, nullptr, nullptr, s, nullptr, nullptr, D3DX_FILTER_POINT, 0), D3D_OK);
    EXPECT_EQ(LevelTexels(bytes, 0), (std::vector<uint32_t>{0xFFFF0000, 0xFFFF0000, 0xFFFF0080, 0xFFFF0080}));
    const std::vector<float> none(4, 0.0f), first(hdr[0], hdr[0] + 4), second(hdr[1], hdr[1] + 4);
    const struct {
        D3DCOLOR key;
        std::vector<float> left, right;
    } keys[] = {
        {0xFFFF0000, none, second},   // the key matches the first texel
        {0xFFFF0080, first, none},    // ... the second, as its clamped colour
        {0xFFFF0081, first, second},  // no texel
        {0x00FF0000, first, second},  // alpha counts
    };
    for (const auto &k : keys) {
        SCOPED_TRACE(k.key);
        ASSERT_EQ(D3DXLoadSurfaceFromMemory(f, nullptr, nullptr, hdr, D3DFMT_A32B32G32R32F, sizeof hdr, nullptr, &two,
                                            D3DX_FILTER_POINT, k.key),
                  D3D_OK);
        std::vector<float> want;
        for (const auto *half : {&k.left, &k.left, &k.right, &k.right})
            want.insert(want.end(), half->begin(), half->end());
        EXPECT_EQ(GetLevel<float>(floats, 0, 4), want);
    }
    s->Release(), f->Release(), b->Release(), g->Release();
    source->Release(), floats->Release(), bytes->Release(), g16->Release();
}

// D3DXCreateCubeTexture and D3DXCreateVolumeTexture: defaults filled in, the full chain
// for D3DX_DEFAULT levels, and a null result refused with one line.
TEST_F(TextureToolsTest, CubeAndVolumeTexturesAreMadeWithDefaults)
{
    IDirect3DCubeTexture9 *cube = nullptr;
    ASSERT_EQ(D3DXCreateCubeTexture(device_, 16, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, &cube), D3D_OK);
    EXPECT_EQ(cube->GetLevelCount(), 5u);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(cube->GetLevelDesc(1, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 8u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    cube->Release();
    IDirect3DVolumeTexture9 *volume = nullptr;
    ASSERT_EQ(D3DXCreateVolumeTexture(device_, 8, 4, 2, D3DX_DEFAULT, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &volume),
              D3D_OK);
    EXPECT_EQ(volume->GetLevelCount(), 4u);
    D3DVOLUME_DESC vdesc;
    ASSERT_EQ(volume->GetLevelDesc(0, &vdesc), D3D_OK);
    EXPECT_EQ(vdesc.Depth, 2u);
    EXPECT_EQ(vdesc.Format, D3DFMT_R5G6B5);
    volume->Release();
    HRESULT hr = S_OK;
    EXPECT_EQ(testsupport::CountLines(testsupport::StderrOf(
                  [&] { hr = D3DXCreateCubeTexture(device_, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, nullptr); })),
              1);
    EXPECT_EQ(hr, D3DERR_INVALIDCALL);
}

struct Asked {
    D3DXVECTOR3 texel{0, 0, 0};
    int calls = 0;
};

// Writes the direction as a colour, -1..1 as 0..1.
VOID WINAPI DirectionColour(D3DXVECTOR4 *out, CONST D3DXVECTOR3 *at, CONST D3DXVECTOR3 *texel, LPVOID data)
{
    auto *asked = static_cast<Asked *>(data);
    asked->texel = *texel;
    asked->calls++;
    *out = D3DXVECTOR4(at->x * 0.5f + 0.5f, at->y * 0.5f + 0.5f, at->z * 0.5f + 0.5f, 1);
}

VOID WINAPI CoordinateColour(D3DXVECTOR4 *out, CONST D3DXVECTOR3 *at, CONST D3DXVECTOR3 *, LPVOID)
{
    *out = D3DXVECTOR4(at->x, at->y, at->z, 1);
}

VOID WINAPI SolidBlue(D3DXVECTOR4 *out, CONST D3DXVECTOR2 *, CONST D3DXVECTOR2 *, LPVOID)
{
    *out = D3DXVECTOR4(0, 0, 1, 1);
}

// The texel (x, y) of a face's level.
uint32_t FaceTexel(IDirect3DCubeTexture9 *cube, UINT face, UINT level, UINT x, UINT y)
{
    UINT width = 0;
    const std::vector<uint32_t> texels = FaceTexels(cube, face, level, &width);
    return texels.empty() ? 0xDEADBEEF : texels[y * width + x];
}

TEST_F(TextureToolsTest, CubeFillAsksTheUnitDirectionThroughEachTexel)
{
    IDirect3DCubeTexture9 *cube = nullptr;
    ASSERT_EQ(D3DXCreateCubeTexture(device_, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube), D3D_OK);
    Asked asked;
    ASSERT_EQ(D3DXFillCubeTexture(cube, DirectionColour, &asked), D3D_OK);
    EXPECT_EQ(asked.calls, 6 * 4);
    EXPECT_FLOAT_EQ(asked.texel.x, 1.0f);  // 2 / edge: a face spans -1..1
    // Texel (0, 0) of each face, the top left seen from inside the cube, lies towards
    // these signs (the face's own axis first); texel (1, 1) towards the opposite ones
    // across the face.
    const int sign[6][3] = {{1, 1, 1}, {-1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {-1, 1, 1}, {1, 1, -1}};
    const int axis[6] = {0, 0, 1, 1, 2, 2};
    for (UINT f = 0; f < 6; ++f)
        for (UINT corner = 0; corner < 2; ++corner) {
            const uint32_t t = FaceTexel(cube, f, 0, corner, corner);
            float d[3], length = 0;
            for (int c = 0; c < 3; ++c) {
                d[c] = float((t >> (16 - 8 * c)) & 255) / 255.0f * 2 - 1;
                length += d[c] * d[c];
            }
            EXPECT_NEAR(std::sqrt(length), 1.0f, 0.02f) << "face " << f;
            for (int c = 0; c < 3; ++c) {
                const int want = c == axis[f] || corner == 0 ? sign[f][c] : -sign[f][c];
                EXPECT_EQ(d[c] > 0 ? 1 : -1, want) << "face " << f << " texel " << corner << " channel " << c;
            }
            // The face's axis dominates: (1, 0.5, 0.5) normalised is 0.82 along it.
            EXPECT_NEAR(std::fabs(d[axis[f]]), 0.816f, 0.02f);
        }
    cube->Release();
}

TEST_F(TextureToolsTest, VolumeFillAsksEachTexelsCentre)
{
    IDirect3DVolumeTexture9 *volume = nullptr;
    ASSERT_EQ(D3DXCreateVolumeTexture(device_, 2, 2, 2, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume), D3D_OK);
    ASSERT_EQ(D3DXFillVolumeTexture(volume, CoordinateColour, nullptr), D3D_OK);
    // Centres at 0.25 and 0.75 of each side: 64 and 191 of 255.
    for (UINT z = 0; z < 2; ++z)
        for (UINT y = 0; y < 2; ++y)
            for (UINT x = 0; x < 2; ++x) {
                const uint32_t want = 0xFF000000u | (x ? 191u : 64u) << 16 | (y ? 191u : 64u) << 8 | (z ? 191u : 64u);
                EXPECT_EQ(VolumeTexel(volume, 0, x, y, z), want) << x << y << z;
            }
    EXPECT_EQ(VolumeTexel(volume, 1, 0, 0, 0), 0xFF808080u);  // the 1 x 1 x 1 level's centre is 0.5
    volume->Release();
}

TEST_F(TextureToolsTest, FilteringCubesAndVolumesMakesEachLevelFromTheOneAbove)
{
    IDirect3DCubeTexture9 *cube = nullptr;
    ASSERT_EQ(D3DXCreateCubeTexture(device_, 4, 3, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube), D3D_OK);
    // Level 0 of each face: its left half black, right half the face's colour.
    const uint32_t colour[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFFFF00FF, 0xFF00FFFF};
    for (UINT f = 0; f < 6; ++f) {
        D3DLOCKED_RECT r;
        ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACES(f), 0, &r, NULL, 0), D3D_OK);
        for (UINT y = 0; y < 4; ++y)
            for (UINT x = 0; x < 4; ++x)
                reinterpret_cast<uint32_t *>(static_cast<uint8_t *>(r.pBits) + y * r.Pitch)[x] =
                    x < 2 ? 0xFF000000u : colour[f];
        cube->UnlockRect(D3DCUBEMAP_FACES(f), 0);
    }
    ASSERT_EQ(D3DXFilterTexture(cube, nullptr, 0, D3DX_FILTER_BOX), D3D_OK);
    for (UINT f = 0; f < 6; ++f) {
        EXPECT_EQ(FaceTexel(cube, f, 1, 0, 0), 0xFF000000u) << "face " << f;
        EXPECT_EQ(FaceTexel(cube, f, 1, 1, 1), colour[f]) << "face " << f;
        // The 1 x 1 level: half black, half colour.
        const uint32_t half = 0xFF000000u | (((colour[f] & 0x00FEFEFEu) >> 1) + (colour[f] & 0x00010101u));
        EXPECT_EQ(FaceTexel(cube, f, 2, 0, 0), half) << "face " << f;
    }
    cube->Release();

    IDirect3DVolumeTexture9 *volume = nullptr;
    ASSERT_EQ(D3DXCreateVolumeTexture(device_, 2, 2, 2, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume), D3D_OK);
    D3DLOCKED_BOX b;
    ASSERT_EQ(volume->LockBox(0, &b, NULL, 0), D3D_OK);
    for (UINT z = 0; z < 2; ++z)
        for (UINT i = 0; i < 4; ++i)
            memcpy(static_cast<uint8_t *>(b.pBits) + z * b.SlicePitch + (i / 2) * b.RowPitch + (i % 2) * 4,
                   z ? "\xFF\x00\x00\xFF" : "\x00\x00\xFF\xFF", 4);  // slice 0 red, slice 1 blue
    volume->UnlockBox(0);
    ASSERT_EQ(D3DXFilterTexture(volume, nullptr, 0, D3DX_FILTER_BOX), D3D_OK);
    EXPECT_EQ(VolumeTexel(volume, 1, 0, 0, 0), 0xFF800080u);  // the mean of the two slices
    ASSERT_EQ(D3DXFilterTexture(volume, nullptr, 0, D3DX_FILTER_POINT), D3D_OK);
    EXPECT_EQ(VolumeTexel(volume, 1, 0, 0, 0), 0xFFFF0000u);  // the first texel
    volume->Release();
}

TEST_F(TextureToolsTest, DxtTexturesAreFilledAndFilteredThroughTheirBlocks)
{
    IDirect3DTexture9 *texture = Make(8, 8, 0, D3DFMT_DXT1);
    ASSERT_NE(texture, nullptr);
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    ASSERT_EQ(desc.Format, D3DFMT_DXT1);
    ASSERT_EQ(D3DXFillTexture(texture, SolidBlue, nullptr), D3D_OK);
    // Solid blue: both ends 0x001F, every index 0, at every level.
    const uint8_t blue[8] = {0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0};
    for (UINT i = 0; i < texture->GetLevelCount(); ++i) {
        D3DLOCKED_RECT r;
        ASSERT_EQ(texture->LockRect(i, &r, NULL, 0), D3D_OK);
        EXPECT_EQ(memcmp(r.pBits, blue, 8), 0) << "level " << i;
        if (i > 0)
            memset(r.pBits, 0, 8);  // black, for the filter to overwrite
        texture->UnlockRect(i);
    }
    ASSERT_EQ(D3DXFilterTexture(texture, nullptr, 0, D3DX_DEFAULT), D3D_OK);
    for (UINT i = 1; i < texture->GetLevelCount(); ++i) {
        D3DLOCKED_RECT r;
        ASSERT_EQ(texture->LockRect(i, &r, NULL, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(memcmp(r.pBits, blue, 8), 0) << "level " << i;
        texture->UnlockRect(i);
    }
    texture->Release();
}

}  // namespace
