// DDS files through the texture loaders on a NULLREF device: DXT1 in its four- and
// three-colour modes, DXT3's explicit alpha, DXT5's interpolated alpha in both modes,
// uncompressed pixels by bit masks, blocks that hang over the image's edge, the file's own
// mip levels, DXT and float files kept in their formats, cube maps (whole and partial) and volumes,
// and files that are refused with one diagnostic line.  The expected texels follow the
// S3TC block rules worked out by hand.
#include "d3dx9/dds_builder.h"
#include "d3dx9/device_fixture.h"

#include "support/stderr_capture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

using testsupport::CountLines;
using testsupport::StderrOf;

const uint32_t kArgbMasks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
constexpr uint32_t kFace[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFFFF00FF, 0xFF00FFFF};

// The rows of blocks (or texels) of one locked image as bytes.
std::vector<uint8_t> LockedBytes(const void *bits, INT pitch, UINT rowBytes, UINT rows)
{
    std::vector<uint8_t> out;
    for (UINT y = 0; y < rows; ++y) {
        const uint8_t *row = static_cast<const uint8_t *>(bits) + size_t(y) * pitch;
        out.insert(out.end(), row, row + rowBytes);
    }
    return out;
}

// Bytes 0, 1, 2 ... as DXT blocks: distinct, so that a block out of place shows.
std::vector<uint8_t> Counting(size_t n, uint8_t from)
{
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = uint8_t(from + i);
    return out;
}

// Face f's colour at level i of SolidCube: kFace[f] with its red halved per level.
uint32_t FaceLevelColour(UINT f, UINT i)
{
    return (kFace[f] & 0xFF00FFFFu) | ((kFace[f] >> 16 & 255) >> i) << 16;
}

// An A8R8G8B8 cube map of `edge` with the faces `faces` (bits 0..5), each level one colour.
std::vector<uint8_t> SolidCube(UINT edge, UINT levels, uint32_t faces)
{
    std::vector<uint8_t> file = Header(edge, edge, nullptr, 32, kArgbMasks);
    Put32(file, 28, levels);
    Put32(file, 112, 0x200 | faces << 10);
    for (UINT f = 0; f < 6; ++f)
        for (UINT i = 0; (faces >> f & 1) && i < levels; ++i)
            for (UINT t = 0; t < (edge >> i) * (edge >> i); ++t)
                Put32(file, file.size(), FaceLevelColour(f, i));
    return file;
}

// A 4 x 4 A8R8G8B8 file whose levels are each one colour, unlike what halving would make.
std::vector<uint8_t> SolidLevels(std::initializer_list<uint32_t> colours)
{
    std::vector<uint8_t> file = Header(4, 4, nullptr, 32, kArgbMasks);
    Put32(file, 28, uint32_t(colours.size()));
    UINT side = 4;
    for (uint32_t colour : colours) {
        for (UINT i = 0; i < side * side; ++i)
            Put32(file, file.size(), colour);
        side = std::max(1u, side / 2);
    }
    return file;
}

enum class As { Texture, Cube, Volume };

class DdsTest : public NullDeviceTest {
protected:
    // Loads the bytes at their own size as A8R8G8B8 (DXT blocks decoded), one level, no
    // filtering; the texels of level 0.
    std::vector<uint32_t> Load(const std::vector<uint8_t> &file, D3DXIMAGE_INFO *info = nullptr)
    {
        IDirect3DTexture9 *texture = nullptr;
        HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(device_, file.data(), UINT(file.size()), D3DX_DEFAULT,
                                                         D3DX_DEFAULT, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                                         D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0, info, NULL, &texture);
        EXPECT_EQ(hr, D3D_OK);
        if (!texture)
            return {};
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
        std::vector<uint32_t> texels = LevelTexels(texture, 0, &width_);
        texture->Release();
        return texels;
    }
    uint32_t At(const std::vector<uint32_t> &t, UINT x, UINT y) const { return t[size_t(y) * width_ + x]; }

    // Loads the first `size` bytes of `file` as a texture, cube or volume with the loader's
    // defaults; the result, with what was said on stderr in *said.  A refused load leaves
    // no object.
    HRESULT LoadAs(As kind, const std::vector<uint8_t> &file, size_t size, std::string *said)
    {
        HRESULT hr = E_FAIL;
        IUnknown *made = nullptr;
        *said = StderrOf([&] {
            const UINT n = UINT(size);
            if (kind == As::Texture) {
                IDirect3DTexture9 *t = reinterpret_cast<IDirect3DTexture9 *>(1);
                hr = D3DXCreateTextureFromFileInMemory(device_, file.data(), n, &t);
                made = t;
            } else if (kind == As::Cube) {
                IDirect3DCubeTexture9 *t = reinterpret_cast<IDirect3DCubeTexture9 *>(1);
                hr = D3DXCreateCubeTextureFromFileInMemory(device_, file.data(), n, &t);
                made = t;
            } else {
                IDirect3DVolumeTexture9 *t = reinterpret_cast<IDirect3DVolumeTexture9 *>(1);
                hr = D3DXCreateVolumeTextureFromFileInMemory(device_, file.data(), n, &t);
                made = t;
            }
        });
        if (SUCCEEDED(hr))
            made->Release();
        else
            EXPECT_EQ(made, nullptr);
        return hr;
    }

    // A cube map in the file's format with `levels` levels and the default filters.
    IDirect3DCubeTexture9 *Cube(const std::vector<uint8_t> &file, UINT levels)
    {
        IDirect3DCubeTexture9 *cube = nullptr;
        EXPECT_EQ(D3DXCreateCubeTextureFromFileInMemoryEx(device_, file.data(), UINT(file.size()), 0, levels, 0,
                                                          D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT,
                                                          0, nullptr, nullptr, &cube),
                  D3D_OK);
        return cube;
    }
    // The first `bytes` bytes of a texture level or of a face's top level.
    static std::vector<uint8_t> LevelBytes(IDirect3DTexture9 *texture, UINT level, UINT rowBytes, UINT rows = 1)
    {
        D3DLOCKED_RECT r;
        EXPECT_EQ(texture->LockRect(level, &r, NULL, D3DLOCK_READONLY), D3D_OK);
        std::vector<uint8_t> bytes = LockedBytes(r.pBits, r.Pitch, rowBytes, rows);
        texture->UnlockRect(level);
        return bytes;
    }
    static std::vector<uint8_t> FaceBytes(IDirect3DCubeTexture9 *cube, UINT face, UINT bytes)
    {
        D3DLOCKED_RECT r;
        EXPECT_EQ(cube->LockRect(D3DCUBEMAP_FACES(face), 0, &r, NULL, D3DLOCK_READONLY), D3D_OK);
        std::vector<uint8_t> out = LockedBytes(r.pBits, r.Pitch, bytes, 1);
        cube->UnlockRect(D3DCUBEMAP_FACES(face), 0);
        return out;
    }
    // True when every texel of the list is `colour` (and there are some).
    static bool AllAre(const std::vector<uint32_t> &texels, uint32_t colour)
    {
        return !texels.empty() && std::all_of(texels.begin(), texels.end(), [&](uint32_t t) { return t == colour; });
    }
    UINT width_ = 0;
};

#define EXPECT_ARGB_NEAR(actual, expected)                                                                             \
    do {                                                                                                               \
        uint32_t a_ = (actual), e_ = (expected);                                                                       \
        for (int s_ = 0; s_ < 32; s_ += 8)                                                                             \
            EXPECT_LE(std::abs(int((a_ >> s_) & 255) - int((e_ >> s_) & 255)), 1)                                      \
                << std::hex << "actual 0x" << a_ << ", expected 0x" << e_;                                             \
    } while (0)

TEST_F(DdsTest, Dxt1FourAndThreeColourBlocks)
{
    // Block 0: red over blue, the four-colour mode; block 1: blue not above green, the
    // three-colour mode with transparent black.  Row 0 of each uses indices 0 1 2 3,
    // the other rows index 1.
    const int row0[16] = {0, 1, 2, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    std::vector<uint8_t> file = Header(8, 4, "DXT1");
    ColourBlock(file, 0xF800, 0x001F, row0);
    ColourBlock(file, 0x001F, 0x07E0, row0);
    D3DXIMAGE_INFO info{};
    auto t = Load(file, &info);
    ASSERT_EQ(t.size(), 32u);
    EXPECT_EQ(info.Width, 8u);
    EXPECT_EQ(info.Height, 4u);
    EXPECT_EQ(info.Format, D3DFMT_DXT1);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_DDS);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_TEXTURE);
    EXPECT_ARGB_NEAR(At(t, 0, 0), 0xFFFF0000u);
    EXPECT_ARGB_NEAR(At(t, 1, 0), 0xFF0000FFu);
    EXPECT_ARGB_NEAR(At(t, 2, 0), 0xFFAA0055u);  // two thirds red, one third blue
    EXPECT_ARGB_NEAR(At(t, 3, 0), 0xFF5500AAu);
    EXPECT_ARGB_NEAR(At(t, 3, 3), 0xFF0000FFu);
    EXPECT_ARGB_NEAR(At(t, 4, 0), 0xFF0000FFu);
    EXPECT_ARGB_NEAR(At(t, 5, 0), 0xFF00FF00u);
    EXPECT_ARGB_NEAR(At(t, 6, 0), 0xFF007F7Fu);  // the mean
    EXPECT_EQ(At(t, 7, 0), 0x00000000u);         // transparent black
    EXPECT_ARGB_NEAR(At(t, 7, 2), 0xFF00FF00u);
}

TEST_F(DdsTest, Dxt3AndDxt5Alpha)
{
    // DXT3: explicit 4-bit alpha 0, 5, 10, 15 along row 0 over white, 8 elsewhere.
    std::vector<uint8_t> dxt3 = Header(4, 4, "DXT3");
    Append(dxt3, {0x50, 0xF0 | 0xA, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88});
    const int zeros[16] = {};
    ColourBlock(dxt3, 0xFFFF, 0xFFFF, zeros);
    auto t = Load(dxt3);
    ASSERT_EQ(t.size(), 16u);
    EXPECT_EQ(At(t, 0, 0), 0x00FFFFFFu);
    EXPECT_EQ(At(t, 1, 0), 0x55FFFFFFu);
    EXPECT_EQ(At(t, 2, 0), 0xAAFFFFFFu);
    EXPECT_EQ(At(t, 3, 0), 0xFFFFFFFFu);
    EXPECT_EQ(At(t, 2, 2), 0x88FFFFFFu);

    // DXT5, 8 x 4: block 0 with 255 above 0 (eight steps), block 1 with 0 below 100 (six
    // steps, then 0 and 255).  The colour is green throughout.
    const int idx[16] = {0, 1, 2, 7, 6, 5, 4, 3, 0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> dxt5 = Header(8, 4, "DXT5");
    AlphaBlock(dxt5, 255, 0, idx);
    ColourBlock(dxt5, 0x07E0, 0x07E0, zeros);
    AlphaBlock(dxt5, 0, 100, idx);
    ColourBlock(dxt5, 0x07E0, 0x07E0, zeros);
    D3DXIMAGE_INFO info{};
    t = Load(dxt5, &info);
    ASSERT_EQ(t.size(), 32u);
    EXPECT_EQ(info.Format, D3DFMT_DXT5);
    // {x, y, alpha, tolerance}: the ends and the fixed 0 and 255 exactly, the blends (here
    // (8 - i) * 255 / 7 for index i, or (i - 1) * 100 / 5 of the six steps) to within the rounding,
    // which is left open.
    const int expected[][4] = {{0, 0, 255, 0}, {1, 0, 0, 0},  {2, 0, 218, 1}, {3, 0, 36, 1}, {0, 1, 72, 1},
                               {3, 1, 182, 1}, {4, 0, 0, 0},  {5, 0, 100, 0}, {6, 0, 20, 1}, {7, 0, 255, 0},
                               {4, 1, 0, 0},   {5, 1, 80, 1}, {7, 1, 40, 1}};
    for (const auto &e : expected)
        EXPECT_NEAR(int(At(t, e[0], e[1]) >> 24), e[2], e[3]) << "texel " << e[0] << ", " << e[1];
    EXPECT_EQ(At(t, 6, 3) & 0x00FFFFFFu, 0x0000FF00u);
}

TEST_F(DdsTest, UncompressedPixelsAndBlocksOverTheEdge)
{
    // 32-bit with alpha, masks in the usual A8R8G8B8 places; then 16-bit 5:6:5.
    std::vector<uint8_t> file = Header(2, 1, nullptr, 32, kArgbMasks);
    Append(file, {0x10, 0x20, 0x30, 0x40, 0x01, 0x02, 0x03, 0x04});
    D3DXIMAGE_INFO info{};
    auto t = Load(file, &info);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(t[0], 0x40302010u);
    EXPECT_EQ(t[1], 0x04030201u);
    const uint32_t rgb565[4] = {0xF800, 0x07E0, 0x001F, 0};
    file = Header(2, 1, nullptr, 16, rgb565);
    Append(file, {0x00, 0xF8, 0xE0, 0x07});  // red, green
    t = Load(file, &info);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(info.Format, D3DFMT_R5G6B5);
    EXPECT_EQ(t[0], 0xFFFF0000u);
    EXPECT_EQ(t[1], 0xFF00FF00u);

    // A 2 x 2 DXT1 image is one block; only its top-left corner is the image.  The
    // texture is the image's own size.
    const int idx[16] = {0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    file = Header(2, 2, "DXT1");
    ColourBlock(file, 0xF800, 0x001F, idx);
    t = Load(file);
    ASSERT_EQ(t.size(), 4u);
    EXPECT_ARGB_NEAR(At(t, 0, 0), 0xFFFF0000u);
    EXPECT_ARGB_NEAR(At(t, 1, 0), 0xFF0000FFu);
    EXPECT_ARGB_NEAR(At(t, 0, 1), 0xFF0000FFu);
    EXPECT_ARGB_NEAR(At(t, 1, 1), 0xFFFF0000u);
}

TEST_F(DdsTest, RefusedFilesSayWhereAndWhyInOneLine)
{
    const int idx[16] = {};
    std::vector<uint8_t> good = Header(8, 8, "DXT1");
    for (int i = 0; i < 4; ++i)
        ColourBlock(good, 0xF800, 0x001F, idx);
    std::vector<uint8_t> cut(good.begin(), good.end() - 1), header(good.begin(), good.begin() + 60);
    std::vector<uint8_t> ati2 = good, faceless = good, badSize = good, tooManyLevels = good, lowerLevelsCut = good;
    Put32(ati2, 84, 0x32495441);                              // "ATI2"
    Put32(faceless, 112, 0x200);                              // a cube map without any of its faces
    Put32(badSize, 4, 100);                                   // the header's size
    Put32(tooManyLevels, 28, 5);                              // an 8 x 8 image has 4 levels
    Put32(lowerLevelsCut, 28, 4);                             // counted, but the file holds the top level alone
    const std::vector<uint8_t> cube = SolidCube(2, 1, 0x3F);  // 128 + 6 faces of 16 bytes
    std::vector<uint8_t> cubeCut(cube.begin(), cube.end() - 4), noFaces = cube, oblong = cube, unknown = cube;
    Put32(noFaces, 112, 0x200);
    Put32(oblong, 16, 4);  // 4 wide, 2 high
    Put32(unknown, 80, 0x4);
    Put32(unknown, 84, 0x31495441);  // "ATI1"
    std::vector<uint8_t> flatDepth = Header(2, 2, "DXT1");
    Put32(flatDepth, 112, 0x200000);  // a volume of depth 0
    Append(flatDepth, {0, 0, 0, 0, 0, 0, 0, 0});
    std::vector<uint8_t> volume = flatDepth;
    Put32(volume, 24, 1);
    const struct {
        const std::vector<uint8_t> *bytes;
        As kind;
        const char *reason, *position;  // no position: the line need not give one
    } cases[] = {
        {&cut, As::Texture, "cut off", nullptr},
        {&ati2, As::Texture, "DXT1 to DXT5", nullptr},
        {&faceless, As::Texture, "none of its six faces", nullptr},
        {&header, As::Texture, "header", nullptr},
        {&badSize, As::Texture, "124", nullptr},
        {&tooManyLevels, As::Texture, "mip count 5", nullptr},
        {&lowerLevelsCut, As::Texture, "cut off", nullptr},
        {&cubeCut, As::Cube, "cut off in face 5, in mip level 0 (220 of 224 bytes)", "byte 220"},
        {&noFaces, As::Cube, "none of its six faces", "byte 112"},
        {&oblong, As::Cube, "not square", "byte 12"},
        {&unknown, As::Cube, "neither DXT1 to DXT5 nor a format the device has", "byte 84"},
        {&flatDepth, As::Volume, "depth 0", "byte 24"},
        {&cube, As::Volume, "cube map is not a volume", "byte 112"},
        {&volume, As::Cube, "volume texture is not a cube map", "byte 112"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reason);
        std::string said;
        EXPECT_EQ(LoadAs(c.kind, *c.bytes, c.bytes->size(), &said), D3DXERR_INVALIDDATA);
        EXPECT_EQ(CountLines(said), 1) << said;
        EXPECT_EQ(said.rfind("d3dx9: (memory):", 0), 0u) << said;
        EXPECT_NE(said.find(c.reason), std::string::npos) << said;
        if (c.position) {
            EXPECT_NE(said.find(std::string("(memory):") + c.position + ":"), std::string::npos) << said;
        }
    }
    // The complete file loads, with a full mip chain by default.
    IDirect3DTexture9 *texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device_, good.data(), UINT(good.size()), &texture), D3D_OK);
    EXPECT_EQ(texture->GetLevelCount(), 4u);
    texture->Release();

    // Read from a named file, the line names it as the caller gave it.
    char path[] = "/tmp/dds_test_cube_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, cubeCut.data(), cubeCut.size()), ssize_t(cubeCut.size()));
    close(fd);
    IDirect3DCubeTexture9 *fromFile = nullptr;
    std::string said =
        StderrOf([&] { EXPECT_EQ(D3DXCreateCubeTextureFromFileA(device_, path, &fromFile), D3DXERR_INVALIDDATA); });
    unlink(path);
    EXPECT_EQ(CountLines(said), 1) << said;
    EXPECT_NE(said.find(std::string(path) + ":byte 220: file is cut off in face 5"), std::string::npos) << said;
}

TEST_F(DdsTest, TheFileMipLevelsAreUsedAsTheyStand)
{
    const uint32_t red = 0xFFFF0000, green = 0xFF00FF00, blue = 0xFF0000FF;
    // The colour of each level of a texture loaded with the given sizes, level count and filters.
    auto levels = [&](const std::vector<uint8_t> &file, UINT side, UINT mipLevels, DWORD mipFilter) {
        IDirect3DTexture9 *texture = nullptr;
        HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(device_, file.data(), UINT(file.size()), side, side, mipLevels,
                                                         0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_POINT,
                                                         mipFilter, 0, nullptr, nullptr, &texture);
        std::vector<std::string> colours;
        if (FAILED(hr))
            return colours;
        for (UINT i = 0; i < texture->GetLevelCount(); ++i) {
            UINT w = 0, h = 0;
            const uint32_t first = LevelTexels(texture, i, &w, &h)[0];
            char text[32];
            snprintf(text, sizeof text, "%ux%u:%08X", w, h, first);
            colours.push_back(text);
        }
        texture->Release();
        return colours;
    };
    using V = std::vector<std::string>;
    const auto all = SolidLevels({red, green, blue}), twoOfThree = SolidLevels({red, green});
    EXPECT_EQ(levels(all, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT),
              (V{"4x4:FFFF0000", "2x2:FF00FF00", "1x1:FF0000FF"}));
    // The level the file lacks is made from the last one it has.
    EXPECT_EQ(levels(twoOfThree, D3DX_DEFAULT, D3DX_FROM_FILE, D3DX_DEFAULT), (V{"4x4:FFFF0000", "2x2:FF00FF00"}));
    EXPECT_EQ(levels(twoOfThree, D3DX_DEFAULT, 0, D3DX_FILTER_BOX),
              (V{"4x4:FFFF0000", "2x2:FF00FF00", "1x1:FF00FF00"}));
    // Skipping the largest level starts the texture one level down the file's chain.
    EXPECT_EQ(levels(all, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_SKIP_DDS_MIP_LEVELS(1, D3DX_FILTER_BOX)),
              (V{"2x2:FF00FF00", "1x1:FF0000FF"}));
    // A texture of another size cannot use the file's levels: they are made from the top.
    EXPECT_EQ(levels(all, 8, 2, D3DX_FILTER_BOX), (V{"8x8:FFFF0000", "4x4:FFFF0000"}));
}

TEST_F(DdsTest, DxtFilesStayDxtWhenTheFormatIsLeftToTheFile)
{
    // 8 x 8 DXT1 with its whole chain: 4 blocks, then 1 block for each of 4 x 4, 2 x 2 and 1 x 1.
    std::vector<uint8_t> file = Header(8, 8, "DXT1");
    Put32(file, 28, 4);
    const std::vector<uint8_t> blocks = Counting(4 * 8 + 3 * 8, 1);
    file.insert(file.end(), blocks.begin(), blocks.end());
    IDirect3DTexture9 *texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device_, file.data(), UINT(file.size()), &texture), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 4u);
    size_t at = 0;
    for (UINT i = 0; i < 4; ++i) {
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(i, &desc);
        EXPECT_EQ(desc.Format, D3DFMT_DXT1);
        EXPECT_EQ(desc.Width, 8u >> i);
        const UINT row = i == 0 ? 16 : 8, rows = i == 0 ? 2 : 1;
        EXPECT_EQ(LevelBytes(texture, i, row, rows),
                  std::vector<uint8_t>(blocks.begin() + at, blocks.begin() + at + row * rows))
            << "level " << i;
        at += row * rows;
    }
    texture->Release();

    // Asked by name, and with D3DFMT_FROM_FILE, the same; at another size too (encoded
    // from the scaled image).
    auto formatOf = [&](const std::vector<uint8_t> &bytes, D3DFORMAT asked, UINT side) {
        IDirect3DTexture9 *t = nullptr;
        D3DSURFACE_DESC desc{};
        desc.Format = D3DFMT_UNKNOWN;
        if (SUCCEEDED(D3DXCreateTextureFromFileInMemoryEx(device_, bytes.data(), UINT(bytes.size()), side, side,
                                                          D3DX_DEFAULT, 0, asked, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                          D3DX_DEFAULT, 0, nullptr, nullptr, &t))) {
            t->GetLevelDesc(0, &desc);
            t->Release();
        }
        return desc.Format;
    };
    EXPECT_EQ(formatOf(file, D3DFMT_DXT1, D3DX_DEFAULT), D3DFMT_DXT1);
    EXPECT_EQ(formatOf(file, D3DFMT_FROM_FILE, D3DX_DEFAULT), D3DFMT_DXT1);
    EXPECT_EQ(formatOf(file, D3DFMT_UNKNOWN, 16), D3DFMT_DXT1);
    EXPECT_EQ(formatOf(file, D3DFMT_A8R8G8B8, D3DX_DEFAULT), D3DFMT_A8R8G8B8);
    EXPECT_EQ(formatOf(SolidLevels({0xFFFF0000}), D3DFMT_UNKNOWN, D3DX_DEFAULT), D3DFMT_A8R8G8B8);
}

TEST_F(DdsTest, FloatFilesKeepTheirTexelsWhenTheFormatIsLeftToTheFile)
{
    // A 2 x 2 D3DFMT_A16B16G16R16F file (FourCC 113) with its 1 x 1 level: halves beyond
    // 0..1 both ways.
    const uint16_t halves[5][4] = {{0x4100, 0xBC00, 0x3800, 0x3C00},  // 2.5, -1, 0.5, 1
                                   {0x3400, 0x4400, 0x0000, 0x3C00},  // 0.25, 4, 0, 1
                                   {0, 0, 0, 0},
                                   {0x3C00, 0x3C00, 0x3C00, 0x3C00},
                                   {0x3800, 0x3800, 0x3800, 0x3800}};  // level 1: 0.5
    std::vector<uint8_t> file = Header(2, 2, "DXT1");
    Put32(file, 84, 113);
    Put32(file, 28, 2);
    const uint8_t *raw = reinterpret_cast<const uint8_t *>(halves);
    file.insert(file.end(), raw, raw + sizeof halves);
    IDirect3DTexture9 *texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device_, file.data(), UINT(file.size()), &texture), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 2u);
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A16B16G16R16F);
    EXPECT_EQ(LevelBytes(texture, 0, 16, 2), std::vector<uint8_t>(raw, raw + 32));
    EXPECT_EQ(LevelBytes(texture, 1, 8), std::vector<uint8_t>(raw + 32, raw + 40));
    texture->Release();
    // Asked for A8R8G8B8, the texels are clamped to 0..1 and rounded.
    const std::vector<uint32_t> argb = Load(file);
    ASSERT_EQ(argb.size(), 4u);
    EXPECT_EQ(At(argb, 0, 0), 0xFFFF0080u);
    EXPECT_EQ(At(argb, 1, 0), 0xFF40FF00u);

    // A cube map of 1 x 1 A32B32G32R32F faces (FourCC 116), each face its own floats.
    std::vector<uint8_t> cube = Header(1, 1, "DXT1");
    Put32(cube, 84, 116);
    Put32(cube, 112, 0x200 | 63 << 10);
    float faces[6][4];
    for (int f = 0; f < 6; ++f)
        for (int c = 0; c < 4; ++c)
            faces[f][c] = float(f) * 10 + float(c) - 1.5f;
    const uint8_t *faceBytes = reinterpret_cast<const uint8_t *>(faces);
    cube.insert(cube.end(), faceBytes, faceBytes + sizeof faces);
    IDirect3DCubeTexture9 *made = Cube(cube, 1);
    ASSERT_NE(made, nullptr);
    for (UINT f = 0; f < 6; ++f)
        EXPECT_EQ(FaceBytes(made, f, 16), std::vector<uint8_t>(faceBytes + 16 * f, faceBytes + 16 * f + 16)) << f;
    made->Release();

    // The image sizes follow the format: one byte short is cut off.
    std::string said;
    EXPECT_EQ(LoadAs(As::Cube, cube, cube.size() - 1, &said), D3DXERR_INVALIDDATA);
    EXPECT_NE(said.find("cut off in face 5"), std::string::npos) << said;
}

TEST_F(DdsTest, DxtLevelsTheFileLacksAreMadeAndEncoded)
{
    // A single-level 8 x 8 DXT1 file of solid blue blocks: with the default full chain, the
    // file's level is copied and the three below it are solid blue blocks too.
    std::vector<uint8_t> file = Header(8, 8, "DXT1");
    const int zeros[16] = {};
    for (int b = 0; b < 4; ++b)
        ColourBlock(file, 0x001F, 0x001F, zeros);
    IDirect3DTexture9 *texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device_, file.data(), UINT(file.size()), &texture), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 4u);
    const std::vector<uint8_t> blue = {0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0};
    for (UINT i = 0; i < 4; ++i)
        EXPECT_EQ(LevelBytes(texture, i, 8), blue) << "level " << i;
    texture->Release();

    // A DXT5 texture asked of an A8R8G8B8 file: solid opaque red encodes as both colour
    // ends 0xF800 and both alpha ends 255, every index 0.
    const std::vector<uint8_t> red = SolidLevels({0xFFFF0000});
    ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, red.data(), UINT(red.size()), 0, 0, 1, 0, D3DFMT_DXT5,
                                                  D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr,
                                                  &texture),
              D3D_OK);
    EXPECT_EQ(LevelBytes(texture, 0, 16),
              (std::vector<uint8_t>{255, 255, 0, 0, 0, 0, 0, 0, 0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0}));
    texture->Release();

    // A colour key makes the keyed texel of a DXT1 file transparent: the block is
    // re-encoded in the three-colour mode (first end not above the second) with the keyed
    // texel at index 3.  Texel 0 is red, the rest blue; the key is the red.
    std::vector<uint8_t> keyed = Header(4, 4, "DXT1");
    const int firstRed[16] = {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    ColourBlock(keyed, 0xF800, 0x001F, firstRed);
    ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, keyed.data(), UINT(keyed.size()), 0, 0, 1, 0, D3DFMT_UNKNOWN,
                                                  D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0xFFFF0000, nullptr,
                                                  nullptr, &texture),
              D3D_OK);
    const std::vector<uint8_t> block = LevelBytes(texture, 0, 8);
    texture->Release();
    const uint32_t c0 = block[0] | block[1] << 8, c1 = block[2] | block[3] << 8;
    EXPECT_LE(c0, c1);           // the three-colour mode
    EXPECT_EQ(block[4] & 3, 3);  // texel 0: transparent black
    const uint32_t blueIndex = (block[4] >> 2) & 3;
    EXPECT_EQ(blueIndex == 0 ? c0 : c1, 0x001Fu);
    for (int i = 2; i < 16; ++i)
        EXPECT_EQ((block[4 + i / 4] >> (2 * (i % 4))) & 3, blueIndex) << "texel " << i;
}

// The float bits of a value, for comparing texels bit for bit.
uint32_t Bits(float v)
{
    uint32_t b;
    memcpy(&b, &v, 4);
    return b;
}

// Float files scaled, colour-keyed or short of levels are worked on in floats, HDR values
// kept: the levels they lack are means of their floats (worked out by hand) in 2D
// textures, cube faces and volumes, and surfaces load from them at full precision.
TEST_F(DdsTest, FloatFilesAreScaledKeyedAndHalvedOnFloats)
{
    // 2 x 2 A32B32G32R32F: means (0.75, 2.5, 4, 0.75); (1, 0, 8, 1) is A8R8G8B8 0xFFFF00FF.
    std::vector<uint8_t> file = Header(2, 2, "DXT1");
    Put32(file, 84, 116);  // D3DFMT_A32B32G32R32F
    const float texels[4][4] = {{4, 10, 0, 1}, {-2.5f, 0, 0, 1}, {1, 0, 8, 1}, {0.5f, 0, 8, 0}};
    const uint8_t *raw = reinterpret_cast<const uint8_t *>(texels);
    file.insert(file.end(), raw, raw + sizeof texels);
    auto floatsOf = [](const std::vector<uint8_t> &bytes) {
        std::vector<float> v(bytes.size() / 4);
        memcpy(v.data(), bytes.data(), bytes.size());
        return v;
    };
    const std::vector<float> all(&texels[0][0], &texels[0][0] + 16);
    std::vector<float> keyed = all;
    std::fill(keyed.begin() + 8, keyed.begin() + 12, 0.0f);
    const struct {
        const char *what;
        UINT side, levels;
        D3DCOLOR key;
        UINT level, texels;                 // the level looked at, and how many of its texels
        std::vector<float> want;
    } loads[] = {
        {"a level the file lacks", 2, 2, 0, 1, 1, {0.75f, 2.5f, 4, 0.75f}},
        {"a colour key", 2, 1, 0xFFFF00FF, 0, 4, keyed},
        {"the keyed texel transparent black in the mean", 2, 2, 0xFFFF00FF, 1, 1, {0.5f, 2.5f, 2, 0.5f}},
        {"scaled by points", 4, 1, 0, 0, 4,
         {4, 10, 0, 1, 4, 10, 0, 1, -2.5f, 0, 0, 1, -2.5f, 0, 0, 1}},
    };
    for (const auto &l : loads) {
        SCOPED_TRACE(l.what);
        IDirect3DTexture9 *texture = nullptr;
        ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, file.data(), UINT(file.size()), l.side, l.side, l.levels,
                                                      0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_POINT,
                                                      D3DX_FILTER_BOX, l.key, nullptr, nullptr, &texture),
                  D3D_OK);
        ASSERT_EQ(texture->GetLevelCount(), l.levels);
        EXPECT_EQ(floatsOf(LevelBytes(texture, l.level, 16 * l.texels)), l.want);
        texture->Release();
    }

    // Into an R32F surface, scaled by points: the reds, each twice.
    IDirect3DSurface9 *surface = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 4, D3DFMT_R32F, D3DPOOL_SYSTEMMEM, &surface, nullptr), D3D_OK);
    ASSERT_EQ(D3DXLoadSurfaceFromFileInMemory(surface, nullptr, nullptr, file.data(), UINT(file.size()), nullptr,
                                              D3DX_FILTER_POINT, 0, nullptr),
              D3D_OK);
    D3DLOCKED_RECT r;
    ASSERT_EQ(surface->LockRect(&r, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(floatsOf(LockedBytes(r.pBits, r.Pitch, 16, 1)), (std::vector<float>{4, 4, -2.5f, -2.5f}));
    surface->UnlockRect();
    surface->Release();

    // An R32F cube of edge 2, face f of 4f + 4, -2, 10 and 0: its level below f + 3.
    std::vector<uint8_t> cube = Header(2, 2, "DXT1");
    Put32(cube, 84, 114);  // D3DFMT_R32F
    Put32(cube, 112, 0x200 | 63 << 10);
    for (UINT f = 0; f < 6; ++f)
        for (float v : {4.0f * f + 4, -2.0f, 10.0f, 0.0f})
            Put32(cube, cube.size(), Bits(v));
    IDirect3DCubeTexture9 *made = Cube(cube, 2);
    ASSERT_NE(made, nullptr);
    for (UINT f = 0; f < 6; ++f) {
        D3DLOCKED_RECT face;
        ASSERT_EQ(made->LockRect(D3DCUBEMAP_FACES(f), 1, &face, nullptr, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(*static_cast<const float *>(face.pBits), float(f) + 3) << "face " << f;
        made->UnlockRect(D3DCUBEMAP_FACES(f), 1);
    }
    made->Release();

    // An R32F volume 2 x 2 x 2 of 1 to 7 and -20: its level below 1.
    std::vector<uint8_t> volume = Header(2, 2, "DXT1");
    Put32(volume, 84, 114);
    Put32(volume, 8, 0x1 | 0x2 | 0x4 | 0x1000 | 0x800000);  // with DDSD_DEPTH
    Put32(volume, 24, 2);
    Put32(volume, 112, 0x200000);
    for (float v : {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f, -20.0f})
        Put32(volume, volume.size(), Bits(v));
    IDirect3DVolumeTexture9 *v = nullptr;
    ASSERT_EQ(D3DXCreateVolumeTextureFromFileInMemoryEx(device_, volume.data(), UINT(volume.size()), 0, 0, 0, 2, 0,
                                                        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                        nullptr, nullptr, &v),
              D3D_OK);
    ASSERT_EQ(v->GetLevelCount(), 2u);
    EXPECT_EQ(VolumeTexel(v, 1, 0, 0, 0), Bits(1.0f));
    v->Release();
}

// Float and wide textures and surfaces saved as DDS name their format in the FourCC and
// load back in it bit for bit (denormal halves and floats among the counted bytes); a
// rectangle outside the surface is refused in one line.
TEST_F(DdsTest, SurfacesAndTexturesSavedAsDdsKeepTheirFormatBitForBit)
{
    // Formats without masks are named by their number in the FourCC, the others described by
    // bit masks (FourCC 0); either way the loader takes the format back from the file.
    const struct {
        D3DFORMAT format;
        UINT bytes;  // a texel's
        uint32_t fourCC;
    } formats[] = {{D3DFMT_R16F, 2, 111},         {D3DFMT_G32R32F, 8, 115}, {D3DFMT_A32B32G32R32F, 16, 116},
                   {D3DFMT_A16B16G16R16, 8, 36}, {D3DFMT_G16R16, 4, 0},    {D3DFMT_A2B10G10R10, 4, 0},
                   {D3DFMT_A4R4G4B4, 2, 0},       {D3DFMT_L8, 1, 0},        {D3DFMT_A8, 1, 0},
                   {D3DFMT_X1R5G5B5, 2, 0}};
    for (const auto &f : formats) {
        SCOPED_TRACE(f.format);
        IDirect3DTexture9 *texture = nullptr, *loaded = nullptr;
        ASSERT_EQ(device_->CreateTexture(3, 2, 1, 0, f.format, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
        const std::vector<uint8_t> texels = Counting(6 * f.bytes, 1);
        D3DLOCKED_RECT r;
        ASSERT_EQ(texture->LockRect(0, &r, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < 2; ++y)
            memcpy(static_cast<uint8_t *>(r.pBits) + y * r.Pitch, &texels[y * 3 * f.bytes], 3 * f.bytes);
        texture->UnlockRect(0);

        // The whole texture, then the surface's right two columns.
        ID3DXBuffer *saved = nullptr, *part = nullptr;
        ASSERT_EQ(D3DXSaveTextureToFileInMemory(&saved, D3DXIFF_DDS, texture, nullptr), D3D_OK);
        IDirect3DSurface9 *surface = nullptr;
        texture->GetSurfaceLevel(0, &surface);
        const RECT right = {1, 0, 3, 2}, outside = {1, 0, 4, 2};
        ASSERT_EQ(D3DXSaveSurfaceToFileInMemory(&part, D3DXIFF_DDS, surface, nullptr, &right), D3D_OK);
        const std::string said = StderrOf([&] {
            ID3DXBuffer *none = nullptr;
            EXPECT_EQ(D3DXSaveSurfaceToFileInMemory(&none, D3DXIFF_DDS, surface, nullptr, &outside),
                      D3DERR_INVALIDCALL);
            EXPECT_EQ(none, nullptr);
        });
        EXPECT_EQ(CountLines(said), 1) << said;
        surface->Release();
        texture->Release();

        const struct {
            ID3DXBuffer *file;
            UINT width, from;  // texels a row, the first column
        } files[] = {{saved, 3, 0}, {part, 2, 1}};
        for (const auto &file : files) {
            const auto *bytes = static_cast<const uint8_t *>(file.file->GetBufferPointer());
            ASSERT_GE(file.file->GetBufferSize(), 128u + 2 * file.width * f.bytes);
            uint32_t fourCC;
            memcpy(&fourCC, bytes + 84, 4);
            EXPECT_EQ(fourCC, f.fourCC);
            ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, bytes, file.file->GetBufferSize(),
                                                          D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0,
                                                          D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_NONE,
                                                          D3DX_FILTER_NONE, 0, nullptr, nullptr, &loaded),
                      D3D_OK);
            D3DSURFACE_DESC desc;
            loaded->GetLevelDesc(0, &desc);
            EXPECT_EQ(std::vector<UINT>({desc.Width, desc.Height, UINT(desc.Format)}),
                      std::vector<UINT>({file.width, 2, UINT(f.format)}));
            std::vector<uint8_t> want;
            for (UINT y = 0; y < 2; ++y)
                want.insert(want.end(), &texels[(y * 3 + file.from) * f.bytes],
                            &texels[(y * 3 + file.from + file.width) * f.bytes]);
            std::vector<uint8_t> got = LevelBytes(loaded, 0, file.width * f.bytes, 2);
            EXPECT_EQ(got, want);
            loaded->Release();
            file.file->Release();
        }
    }
}

TEST_F(DdsTest, CubeMapFacesWithTheirChains)
{
    const std::vector<uint8_t> file = SolidCube(4, 2, 0x3F);
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(D3DXGetImageInfoFromFileInMemory(file.data(), UINT(file.size()), &info), D3D_OK);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_CUBETEXTURE);
    EXPECT_EQ(info.Width, 4u);
    EXPECT_EQ(info.Height, 4u);
    EXPECT_EQ(info.Depth, 1u);
    EXPECT_EQ(info.MipLevels, 2u);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
    // The full chain by default: the file's two levels, and the 1 x 1 halved from the 2 x 2.
    IDirect3DCubeTexture9 *cube = nullptr;
    ASSERT_EQ(D3DXCreateCubeTextureFromFileInMemory(device_, file.data(), UINT(file.size()), &cube), D3D_OK);
    ASSERT_EQ(cube->GetLevelCount(), 3u);
    for (UINT f = 0; f < 6; ++f) {
        EXPECT_TRUE(AllAre(FaceTexels(cube, f, 0), FaceLevelColour(f, 0))) << "face " << f;
        EXPECT_TRUE(AllAre(FaceTexels(cube, f, 1), FaceLevelColour(f, 1))) << "face " << f;
        EXPECT_TRUE(AllAre(FaceTexels(cube, f, 2), FaceLevelColour(f, 1))) << "face " << f;
    }
    cube->Release();

    // A partial cube: +X and -Z only.  The other faces stay as created (zero).
    const std::vector<uint8_t> partial = SolidCube(2, 1, 0x01 | 0x20);
    ASSERT_NE(cube = Cube(partial, D3DX_FROM_FILE), nullptr);
    EXPECT_EQ(cube->GetLevelCount(), 1u);
    for (UINT f = 0; f < 6; ++f)
        EXPECT_TRUE(AllAre(FaceTexels(cube, f, 0), f == 0 || f == 5 ? kFace[f] : 0u)) << "face " << f;
    cube->Release();
    // As a 2D texture, a cube file gives its first face.
    IDirect3DTexture9 *flat = nullptr;
    const std::vector<uint8_t> minusZ = SolidCube(2, 1, 0x20);
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device_, minusZ.data(), UINT(minusZ.size()), &flat), D3D_OK);
    EXPECT_TRUE(AllAre(LevelTexels(flat, 0), kFace[5]));
    flat->Release();

    // A 2D file goes on every face.
    const std::vector<uint8_t> plain = SolidLevels({0xFF123456});
    ASSERT_EQ(D3DXCreateCubeTextureFromFileInMemory(device_, plain.data(), UINT(plain.size()), &cube), D3D_OK);
    EXPECT_EQ(cube->GetLevelCount(), 3u);
    for (UINT f = 0; f < 6; ++f)
        EXPECT_TRUE(AllAre(FaceTexels(cube, f, 0), 0xFF123456u)) << "face " << f;
    cube->Release();

    // A DXT1 cube map keeps its blocks, face by face.
    std::vector<uint8_t> dxt = Header(4, 4, "DXT1");
    Put32(dxt, 112, 0x200 | 0xFC00);
    const std::vector<uint8_t> blocks = Counting(6 * 8, 7);
    dxt.insert(dxt.end(), blocks.begin(), blocks.end());
    ASSERT_NE(cube = Cube(dxt, D3DX_FROM_FILE), nullptr);
    D3DSURFACE_DESC desc;
    cube->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_DXT1);
    for (UINT f = 0; f < 6; ++f)
        EXPECT_EQ(FaceBytes(cube, f, 8), std::vector<uint8_t>(blocks.begin() + 8 * f, blocks.begin() + 8 * f + 8))
            << "face " << f;
    cube->Release();
    // A 2D DXT1 file puts its one block on every face.
    std::vector<uint8_t> flatDxt = Header(4, 4, "DXT1");
    flatDxt.insert(flatDxt.end(), blocks.begin(), blocks.begin() + 8);
    ASSERT_NE(cube = Cube(flatDxt, 1), nullptr);
    for (UINT f = 0; f < 6; ++f)
        EXPECT_EQ(FaceBytes(cube, f, 8), std::vector<uint8_t>(blocks.begin(), blocks.begin() + 8)) << "face " << f;
    cube->Release();
}

TEST_F(DdsTest, VolumeSlicesLevelByLevel)
{
    // 2 x 2 x 2: slice 0 red, slice 1 blue; level 1 (1 x 1 x 1) green.
    std::vector<uint8_t> file = Header(2, 2, nullptr, 32, kArgbMasks);
    Put32(file, 8, 0x1 | 0x2 | 0x4 | 0x1000 | 0x800000);  // with DDSD_DEPTH
    Put32(file, 24, 2);
    Put32(file, 28, 2);
    Put32(file, 112, 0x200000);
    for (uint32_t colour : {0xFFFF0000u, 0xFF0000FFu})
        for (int t = 0; t < 4; ++t)
            Put32(file, file.size(), colour);
    Put32(file, file.size(), 0xFF00FF00u);
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(D3DXGetImageInfoFromFileInMemory(file.data(), UINT(file.size()), &info), D3D_OK);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_VOLUMETEXTURE);
    EXPECT_EQ(info.Depth, 2u);
    EXPECT_EQ(info.MipLevels, 2u);
    IDirect3DVolumeTexture9 *volume = nullptr;
    ASSERT_EQ(D3DXCreateVolumeTextureFromFileInMemory(device_, file.data(), UINT(file.size()), &volume), D3D_OK);
    ASSERT_EQ(volume->GetLevelCount(), 2u);
    D3DVOLUME_DESC desc;
    volume->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Depth, 2u);
    EXPECT_EQ(VolumeTexel(volume, 0, 0, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(VolumeTexel(volume, 0, 0, 0, 1), 0xFF0000FFu);
    EXPECT_EQ(VolumeTexel(volume, 1, 0, 0, 0), 0xFF00FF00u);
    volume->Release();
    // With the file's top level only, the lower level is the mean of the 2 x 2 x 2 above.
    Put32(file, 28, 1);
    file.resize(file.size() - 4);
    ASSERT_EQ(D3DXCreateVolumeTextureFromFileInMemory(device_, file.data(), UINT(file.size()), &volume), D3D_OK);
    ASSERT_EQ(volume->GetLevelCount(), 2u);
    EXPECT_EQ(VolumeTexel(volume, 1, 0, 0, 0), 0xFF800080u);
    volume->Release();

    // A DXT3 volume keeps its blocks: 4 x 4 x 3, one block a slice.
    std::vector<uint8_t> dxt = Header(4, 4, "DXT3");
    Put32(dxt, 24, 3);
    Put32(dxt, 112, 0x200000);
    const std::vector<uint8_t> blocks = Counting(3 * 16, 3);
    dxt.insert(dxt.end(), blocks.begin(), blocks.end());
    ASSERT_EQ(D3DXCreateVolumeTextureFromFileInMemoryEx(device_, dxt.data(), UINT(dxt.size()), 0, 0, 0, D3DX_FROM_FILE,
                                                        0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT,
                                                        0, nullptr, nullptr, &volume),
              D3D_OK);
    volume->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_DXT3);
    D3DLOCKED_BOX b;
    ASSERT_EQ(volume->LockBox(0, &b, NULL, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(LockedBytes(b.pBits, b.SlicePitch, 16, 3), blocks);
    volume->UnlockBox(0);
    volume->Release();

    // A 2D file is a volume of one slice.
    const std::vector<uint8_t> plain = SolidLevels({0xFF123456});
    ASSERT_EQ(D3DXCreateVolumeTextureFromFileInMemory(device_, plain.data(), UINT(plain.size()), &volume), D3D_OK);
    volume->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Depth, 1u);
    EXPECT_EQ(desc.Width, 4u);
    EXPECT_EQ(VolumeTexel(volume, 0, 0, 0, 0), 0xFF123456u);
    volume->Release();
}

TEST_F(DdsTest, SurfacesOfDxtTexturesLoadAndAreLoadedFrom)
{
    // An 8 x 8 DXT1 texture of solid blue blocks, written with index 1 throughout (an
    // encoder would write 0); red texels loaded into its top-right block re-encode that
    // block alone, and the others keep their bytes.
    IDirect3DTexture9 *texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &texture, NULL), D3D_OK);
    D3DLOCKED_RECT r;
    const uint8_t blue[8] = {0x1F, 0x00, 0x1F, 0x00, 0x55, 0x55, 0x55, 0x55},
                  red[8] = {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0};
    ASSERT_EQ(texture->LockRect(0, &r, NULL, 0), D3D_OK);
    for (int b = 0; b < 4; ++b)
        memcpy(static_cast<uint8_t *>(r.pBits) + (b / 2) * r.Pitch + (b % 2) * 8, blue, 8);
    texture->UnlockRect(0);
    IDirect3DSurface9 *surface = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), D3D_OK);
    const std::vector<uint32_t> reds(16, 0xFFFF0000u);
    const RECT source = {0, 0, 4, 4}, into = {4, 0, 8, 4};
    ASSERT_EQ(D3DXLoadSurfaceFromMemory(surface, nullptr, &into, reds.data(), D3DFMT_A8R8G8B8, 16, nullptr, &source,
                                        D3DX_FILTER_NONE, 0),
              D3D_OK);
    ASSERT_EQ(texture->LockRect(0, &r, NULL, D3DLOCK_READONLY), D3D_OK);
    for (int b = 0; b < 4; ++b)
        EXPECT_EQ(memcmp(static_cast<uint8_t *>(r.pBits) + (b / 2) * r.Pitch + (b % 2) * 8, b == 1 ? red : blue, 8), 0)
            << "block " << b;
    texture->UnlockRect(0);

    // Read from: the blocks decoded into an A8R8G8B8 surface.
    IDirect3DSurface9 *plain = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(8, 8, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &plain, NULL), D3D_OK);
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(plain, nullptr, nullptr, surface, nullptr, nullptr, D3DX_FILTER_NONE, 0),
              D3D_OK);
    ASSERT_EQ(plain->LockRect(&r, NULL, D3DLOCK_READONLY), D3D_OK);
    auto at = [&](UINT x, UINT y) {
        return reinterpret_cast<const uint32_t *>(static_cast<uint8_t *>(r.pBits) + y * r.Pitch)[x];
    };
    EXPECT_EQ(at(0, 0), 0xFF0000FFu);
    EXPECT_EQ(at(5, 3), 0xFFFF0000u);
    EXPECT_EQ(at(5, 4), 0xFF0000FFu);
    plain->UnlockRect();
    plain->Release();
    surface->Release();
    texture->Release();
}

TEST_F(DdsTest, EveryCutOfACubeOrVolumeFileIsRefusedInOneLine)
{
    // A DXT1 cube of 8 x 8 faces with two levels, and a 4 x 4 x 4 A8R8G8B8 volume with
    // three: cut at every length short of the whole, each is refused with one line.
    std::vector<uint8_t> cube = Header(8, 8, "DXT1");
    Put32(cube, 28, 2);
    Put32(cube, 112, 0x200 | 0xFC00);
    const std::vector<uint8_t> blocks = Counting(6 * (4 + 1) * 8, 0);
    cube.insert(cube.end(), blocks.begin(), blocks.end());
    std::vector<uint8_t> volume = Header(4, 4, nullptr, 32, kArgbMasks);
    Put32(volume, 24, 4);
    Put32(volume, 28, 3);
    Put32(volume, 112, 0x200000);
    const std::vector<uint8_t> texels = Counting((64 + 8 + 1) * 4, 0);
    volume.insert(volume.end(), texels.begin(), texels.end());
    for (const std::vector<uint8_t> *whole : {&cube, &volume}) {
        SCOPED_TRACE(whole == &cube ? "cube" : "volume");
        for (size_t n = 1; n <= whole->size(); ++n) {
            std::string said;
            const HRESULT hr = LoadAs(whole == &cube ? As::Cube : As::Volume, *whole, n, &said);
            if (n == whole->size()) {
                EXPECT_EQ(hr, D3D_OK);
                EXPECT_EQ(said, "");
            } else {
                EXPECT_EQ(hr, D3DXERR_INVALIDDATA) << n << " bytes";
                EXPECT_EQ(CountLines(said), 1) << n << " bytes: " << said;
            }
        }
    }
}

TEST_F(DdsTest, TexturesSavedAsDdsKeepTheirFormatAndEveryLevelFaceAndSlice)
{
    // Every image is filled with counting bytes in the order a DDS file lays them out (each
    // face's chain in turn, a volume level's slices one after another), so the file's body
    // must be those bytes; loaded back with everything left to the file and saved again,
    // the file must come out the same.
    const struct {
        D3DFORMAT format;
        UINT unit, block;  // bytes of a texel or block, and the block's side
        D3DRESOURCETYPE type;
        uint32_t pixelFlags, fourCC, caps2;
    } cases[] = {
        {D3DFMT_A4R4G4B4, 2, 1, D3DRTYPE_TEXTURE, 0x41, 0, 0},  // RGB and alpha masks
        {D3DFMT_A16B16G16R16, 8, 1, D3DRTYPE_TEXTURE, 0x4, 36, 0},  // by its number
        {D3DFMT_DXT1, 8, 4, D3DRTYPE_CUBETEXTURE, 0x4, MAKEFOURCC('D', 'X', 'T', '1'), 0xFE00},
        {D3DFMT_L8, 1, 1, D3DRTYPE_VOLUMETEXTURE, 0x20000, 0, 0x200000},  // a luminance mask
    };
    const UINT side = 4, depth = 2, levels = 3;  // the full chains: nothing for the loader to add
    auto u32 = [](const uint8_t *p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); };
    auto save = [](IDirect3DBaseTexture9 *t) {
        ID3DXBuffer *file = nullptr;
        EXPECT_EQ(D3DXSaveTextureToFileInMemory(&file, D3DXIFF_DDS, t, nullptr), D3D_OK);
        if (!file)
            return std::vector<uint8_t>();
        const auto *p = static_cast<const uint8_t *>(file->GetBufferPointer());
        std::vector<uint8_t> bytes(p, p + file->GetBufferSize());
        file->Release();
        return bytes;
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.format);
        std::vector<uint8_t> body;
        auto fill = [&](void *bits, INT pitch, UINT w, UINT h) {
            const UINT rowBytes = (w + c.block - 1) / c.block * c.unit, rows = (h + c.block - 1) / c.block;
            for (UINT y = 0; y < rows; y++)
                for (UINT x = 0; x < rowBytes; x++) {
                    body.push_back(uint8_t(body.size() * 7 + 1));
                    static_cast<uint8_t *>(bits)[size_t(y) * pitch + x] = body.back();
                }
        };
        IDirect3DBaseTexture9 *made = nullptr;
        if (c.type == D3DRTYPE_VOLUMETEXTURE) {
            IDirect3DVolumeTexture9 *v = nullptr;
            ASSERT_EQ(device_->CreateVolumeTexture(side, side, depth, levels, 0, c.format, D3DPOOL_MANAGED, &v, nullptr),
                      D3D_OK);
            for (UINT level = 0; level < levels; level++) {
                D3DLOCKED_BOX box;
                ASSERT_EQ(v->LockBox(level, &box, nullptr, 0), D3D_OK);
                for (UINT z = 0; z < std::max(1u, depth >> level); z++)
                    fill(static_cast<uint8_t *>(box.pBits) + z * box.SlicePitch, box.RowPitch, side >> level,
                         side >> level);
                v->UnlockBox(level);
            }
            made = v;
        } else {
            IDirect3DTexture9 *t = nullptr;
            IDirect3DCubeTexture9 *cube = nullptr;
            if (c.type == D3DRTYPE_CUBETEXTURE)
                ASSERT_EQ(device_->CreateCubeTexture(side, levels, 0, c.format, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
            else
                ASSERT_EQ(device_->CreateTexture(side, side, levels, 0, c.format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
            for (UINT face = 0; face < (cube ? 6u : 1u); face++)
                for (UINT level = 0; level < levels; level++) {
                    D3DLOCKED_RECT r;
                    ASSERT_EQ(cube ? cube->LockRect(D3DCUBEMAP_FACES(face), level, &r, nullptr, 0)
                                   : t->LockRect(level, &r, nullptr, 0),
                              D3D_OK);
                    fill(r.pBits, r.Pitch, side >> level, side >> level);
                    cube ? cube->UnlockRect(D3DCUBEMAP_FACES(face), level) : t->UnlockRect(level);
                }
            made = cube ? static_cast<IDirect3DBaseTexture9 *>(cube) : t;
        }
        const std::vector<uint8_t> file = save(made);
        made->Release();
        ASSERT_EQ(file.size(), 128 + body.size());
        EXPECT_TRUE(std::equal(body.begin(), body.end(), file.begin() + 128)) << "the images, in the file's order";
        EXPECT_EQ(u32(&file[28]), levels);
        EXPECT_EQ(u32(&file[80]), c.pixelFlags);
        EXPECT_EQ(u32(&file[84]), c.fourCC);
        EXPECT_EQ(u32(&file[112]), c.caps2);
        EXPECT_EQ(u32(&file[24]), c.type == D3DRTYPE_VOLUMETEXTURE ? depth : 0);

        IDirect3DBaseTexture9 *loaded = nullptr;
        if (c.type == D3DRTYPE_VOLUMETEXTURE) {
            IDirect3DVolumeTexture9 *v = nullptr;
            ASSERT_EQ(D3DXCreateVolumeTextureFromFileInMemory(device_, file.data(), UINT(file.size()), &v), D3D_OK);
            loaded = v;
        } else if (c.type == D3DRTYPE_CUBETEXTURE) {
            IDirect3DCubeTexture9 *cube = nullptr;
            ASSERT_EQ(D3DXCreateCubeTextureFromFileInMemory(device_, file.data(), UINT(file.size()), &cube), D3D_OK);
            loaded = cube;
        } else {
            IDirect3DTexture9 *t = nullptr;
            ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device_, file.data(), UINT(file.size()), &t), D3D_OK);
            loaded = t;
        }
        EXPECT_EQ(save(loaded), file) << "saved, loaded and saved again";
        loaded->Release();
    }
}

}  // namespace
