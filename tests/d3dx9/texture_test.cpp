// Textures from image files: content and orientation, the colour key, sizes and the mip
// chain (made when first needed), Windows paths, image information, and refused files (null
// texture, the D3DX error code and exactly one diagnostic line).
#include "d3dx9/device_fixture.h"
#include "d3dx9/image_files.h"
#include "support/stderr_capture.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;
constexpr uint32_t kMagenta = 0xFFFF00FF, kBlack = 0xFF000000;

using testsupport::CountLines;
using testsupport::StderrOf;

class TextureTest : public NullDeviceTest {
protected:
    std::string Write(const std::string &name, const std::vector<uint8_t> &bytes)
    {
        std::string path = folder_.Path() + "/" + name;
        WriteFileBytes(path, bytes);
        return path;
    }
    ScratchFolder folder_;
};

TEST_F(TextureTest, ColourKeyTurnsExactMatchesIntoTransparentBlack)
{
    std::vector<uint32_t> image = {kMagenta, kRed, 0xFFFE00FF, kMagenta};
    std::string path = Write("keyed.bmp", EncodeBmp24(image, 2, 2));
    IDirect3DTexture9 *texture = nullptr;
    D3DXIMAGE_INFO info = {};
    ASSERT_EQ(D3DXCreateTextureFromFileExA(device_, path.c_str(), D3DX_DEFAULT, D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN,
                                           D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_FILTER_NONE, kMagenta, &info, NULL,
                                           &texture),
              D3D_OK);
    std::vector<uint32_t> pixels = LevelTexels(texture, 0);
    // Only the exact key goes; a near miss (0xFE red) stays opaque.
    EXPECT_EQ(pixels, (std::vector<uint32_t>{0x00000000, kRed, 0xFFFE00FF, 0x00000000}));
    EXPECT_EQ(texture->GetLevelCount(), 1u);
    EXPECT_EQ(info.Width, 2u);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_BMP);
    EXPECT_EQ(info.Format, D3DFMT_R8G8B8);
    texture->Release();

    // The key is compared with alpha: a key with zero alpha matches no opaque pixel.
    ASSERT_EQ(D3DXCreateTextureFromFileExA(device_, path.c_str(), 0, 0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                           D3DX_DEFAULT, D3DX_DEFAULT, 0x00FF00FF, NULL, NULL, &texture),
              D3D_OK);
    EXPECT_EQ(LevelTexels(texture, 0)[0], kMagenta);
    texture->Release();
}

TEST_F(TextureTest, SizesRoundUpToPowersOfTwoUnlessAskedOtherwise)
{
    std::vector<uint32_t> image(5 * 3, kGreen);
    std::string path = Write("odd.bmp", EncodeBmp24(image, 5, 3));
    IDirect3DTexture9 *texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(device_, path.c_str(), &texture), D3D_OK);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    const UINT expected[][2] = {{8, 4}, {4, 2}, {2, 1}, {1, 1}};
    ASSERT_EQ(texture->GetLevelCount(), 4u);
    for (UINT level = 0; level < 4; ++level) {
        UINT w, h;
        std::vector<uint32_t> pixels = LevelTexels(texture, level, &w, &h);
        EXPECT_EQ(w, expected[level][0]);
        EXPECT_EQ(h, expected[level][1]);
        for (uint32_t p : pixels)  // a uniform image stays uniform when scaled and filtered
            ASSERT_EQ(p, kGreen) << "level " << level;
    }
    texture->Release();

    ASSERT_EQ(D3DXCreateTextureFromFileExA(device_, path.c_str(), D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 0, 0,
                                           D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, D3DX_DEFAULT, D3DX_DEFAULT, 0, NULL,
                                           NULL, &texture),
              D3D_OK);
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 5u);
    EXPECT_EQ(desc.Height, 3u);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(texture->GetLevelCount(), 3u);  // 5x3, 2x1, 1x1
    texture->Release();

    // An explicit size and level count are kept.
    ASSERT_EQ(D3DXCreateTextureFromFileExA(device_, path.c_str(), 16, 2, 2, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                           D3DX_FILTER_POINT, D3DX_DEFAULT, 0, NULL, NULL, &texture),
              D3D_OK);
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 16u);
    EXPECT_EQ(desc.Height, 2u);
    EXPECT_EQ(texture->GetLevelCount(), 2u);
    texture->Release();
}

TEST_F(TextureTest, PngKeepsItsAlphaAndWindowsPathsAreFound)
{
    std::vector<uint32_t> image = {0x80FF0000, 0x00000000, kBlue, 0x40FFFFFF};
    std::filesystem::create_directory(folder_.Path() + "/Data");
    Write("Data/Smoke.png", EncodePngRgba(image, 2, 2));
    // A Windows path with other letter case and backslashes reaches the same file.
    std::string windowsPath = folder_.Path() + "\\DATA\\smoke.PNG";
    IDirect3DTexture9 *texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(device_, windowsPath.c_str(), &texture), D3D_OK);
    EXPECT_EQ(LevelTexels(texture, 0), image);
    texture->Release();

    D3DXIMAGE_INFO info = {};
    ASSERT_EQ(D3DXGetImageInfoFromFileA(windowsPath.c_str(), &info), D3D_OK);
    EXPECT_EQ(info.Width, 2u);
    EXPECT_EQ(info.Height, 2u);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_TEXTURE);
}

TEST_F(TextureTest, BadFilesGiveNoTextureTheErrorCodeAndOneLine)
{
    // (Cut-off files of every length are the next test's.)
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        bool write;
    } cases[] = {
        {"missing.bmp", {}, false},
        {"empty.bmp", {}, true},
        {"text.bmp", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'}, true},
        {"gif.gif", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'}, true},
    };
    for (const Case &c : cases) {
        std::string path = folder_.Path() + "/" + c.name;
        if (c.write)
            WriteFileBytes(path, c.bytes);
        IDirect3DTexture9 *texture = reinterpret_cast<IDirect3DTexture9 *>(1);
        std::string said = StderrOf([&] {
            EXPECT_EQ(D3DXCreateTextureFromFileA(device_, path.c_str(), &texture), D3DXERR_INVALIDDATA) << c.name;
        });
        EXPECT_EQ(texture, nullptr) << c.name;
        EXPECT_EQ(CountLines(said), 1) << c.name << ": " << said;
        EXPECT_EQ(said.rfind("d3dx9: " + path, 0), 0u) << "names the library and the file: " << said;
    }
    IDirect3DTexture9 *texture = nullptr;
    EXPECT_EQ(D3DXCreateTextureFromFileA(NULL, "x.bmp", &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTextureFromFileA(device_, NULL, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTextureFromFileA(device_, "x.bmp", NULL), D3DERR_INVALIDCALL);
}

TEST_F(TextureTest, EveryCutAndCorruptedImageIsLoadedOrRefusedCleanly)
{
    std::vector<uint32_t> image(6 * 5);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = 0xFF000000u | uint32_t(i * 0x0A0B0C);
    const std::vector<uint8_t> files[] = {EncodeBmp24(image, 6, 5), EncodePngRgba(image, 6, 5),
                                          EncodeJpeg(image, 6, 5)};
    // Loaded, or refused with no texture and one line; true when loaded.
    auto load = [&](const std::vector<uint8_t> &bytes, size_t size) {
        IDirect3DTexture9 *texture = nullptr;
        HRESULT hr = E_FAIL;
        std::string said =
            StderrOf([&] { hr = D3DXCreateTextureFromFileInMemory(device_, bytes.data(), UINT(size), &texture); });
        if (hr == D3D_OK && texture) {
            texture->Release();
            return true;
        }
        EXPECT_EQ(hr, D3DXERR_INVALIDDATA) << size << " of " << bytes.size() << " bytes";
        EXPECT_EQ(texture, nullptr);
        EXPECT_EQ(CountLines(said), 1) << said;
        return false;
    };
    for (const std::vector<uint8_t> &file : files) {
        // Every proper prefix is a cut-off file: refused, with one line each time.
        for (size_t n = 1; n < file.size(); ++n)
            ASSERT_FALSE(load(file, n)) << n << " of " << file.size() << " bytes";
        // Single corrupted bytes either still decode or are refused; nothing else happens.
        for (size_t at = 0; at < file.size(); ++at) {
            std::vector<uint8_t> bad = file;
            bad[at] ^= 0xA5;
            load(bad, bad.size());
        }
    }
}

// The JPEG decoder trusts a Huffman table's code counts and a scan's table selectors, and
// goes outside its arrays when they lie: such files are refused before they reach it.
TEST_F(TextureTest, JpegTablesAndScansTheDecoderCannotTrustAreRefused)
{
    std::vector<uint32_t> image(16 * 8, kRed);
    std::fill(image.begin() + 64, image.end(), kBlue);  // the bottom half
    const std::vector<uint8_t> good = EncodeJpeg(image, 16, 8);
    auto segment = [&](uint8_t marker) {  // where the first segment of that kind starts
        for (size_t at = 2; at + 1 < good.size(); at += 2 + (good[at + 2] << 8 | good[at + 3]))
            if (good[at + 1] == marker)
                return at;
        return size_t(0);
    };
    const size_t dht = segment(0xC4), sos = segment(0xDA);
    ASSERT_TRUE(dht && sos);
    IDirect3DTexture9 *texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device_, good.data(), UINT(good.size()), &texture), D3D_OK);
    std::vector<uint32_t> pixels = LevelTexels(texture, 0);
    texture->Release();
    EXPECT_NEAR(int(pixels[0] >> 16 & 255), 255, 8);
    EXPECT_NEAR(int(pixels[15 * 8 + 3] & 255), 255, 8);

    std::vector<uint8_t> overfull = good, undefined = good;
    overfull[dht + 5 + 8] = 255;  // the first table's count of 9-bit codes
    undefined[sos + 6] = 0x33;    // the first component's DC and AC tables: slot 3, never defined
    for (const auto &[file, reason] : {std::pair{&overfull, "codes (at most 256)"}, {&undefined, "not defined"}}) {
        const std::vector<uint8_t> *bytes = file;  // a lambda may not capture a structured binding
        texture = nullptr;
        std::string said = StderrOf([&] {
            EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device_, bytes->data(), UINT(bytes->size()), &texture),
                      D3DXERR_INVALIDDATA);
        });
        EXPECT_EQ(texture, nullptr);
        EXPECT_EQ(CountLines(said), 1) << said;
        EXPECT_NE(said.find(reason), std::string::npos) << said;
    }
}

TEST_F(TextureTest, HeadersWithoutPixelsOrWithHugeSidesAreRefusedBeforeDecoding)
{
    std::vector<uint32_t> image(4 * 3, kRed);
    auto refused = [&](const std::vector<uint8_t> &file) {
        IDirect3DTexture9 *texture = nullptr;
        HRESULT hr = E_FAIL;
        std::string said = StderrOf(
            [&] { hr = D3DXCreateTextureFromFileInMemory(device_, file.data(), UINT(file.size()), &texture); });
        EXPECT_EQ(hr, D3DXERR_INVALIDDATA);
        EXPECT_EQ(texture, nullptr);
        return said;
    };
    auto put32 = [](std::vector<uint8_t> &file, size_t at, uint32_t v, bool bigEndian) {
        for (int i = 0; i < 4; ++i)
            file[at + i] = uint8_t(v >> (bigEndian ? 24 - 8 * i : 8 * i));
    };
    // A bitmap whose height is 0: its pixel data is complete (none), the decoder takes the
    // header, and there is nothing to scale to the texture.
    std::vector<uint8_t> bmp = EncodeBmp24(image, 4, 3);
    put32(bmp, 18, 196612, false);
    put32(bmp, 22, 0, false);
    EXPECT_EQ(refused(bmp), "d3dx9: (memory): the image has no pixels (196612 x 0)\n");
    // PNG headers asking for a side or a whole larger than the loader reads.
    std::vector<uint8_t> png = EncodePngRgba(image, 4, 3);
    put32(png, 16, 20000, true);
    put32(png, 20, 100, true);
    EXPECT_EQ(refused(png), "d3dx9: (memory): the image is too large (20000 x 100; at most 16384 pixels a "
                            "side and 67108864 in all)\n");
    // A run-length encoded TGA cannot be shorter than one count byte and one pixel per 128
    // pixels: this 39-byte header asks for 8196 x 1155, which the decoder would make up.
    std::vector<uint8_t> tga = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x04, 0x20, 0x83, 0x04, 8, 0};
    tga.resize(39, 0x4D);
    EXPECT_EQ(refused(tga), "d3dx9: (memory):byte 39: file is cut off (39 of at least 147932 bytes)\n");
    // 16384 x 8192 is within the side limit but over the total.
    put32(png, 16, 16384, true);
    put32(png, 20, 8192, true);
    EXPECT_NE(refused(png).find("too large (16384 x 8192;"), std::string::npos);
}

TEST_F(TextureTest, AFileAskedForAgainIsReportedOnceAndInItsCallersSpelling)
{
    std::vector<uint8_t> bytes = EncodeBmp24(std::vector<uint32_t>(4, kRed), 2, 2);
    bytes.resize(40);
    std::string path = Write("cut.bmp", bytes);
    std::string windowsName = path;
    std::replace(windowsName.begin(), windowsName.end(), '/', '\\');
    testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i) {
        IDirect3DTexture9 *texture = nullptr;
        EXPECT_EQ(D3DXCreateTextureFromFileA(device_, windowsName.c_str(), &texture), D3DXERR_INVALIDDATA);
        EXPECT_EQ(texture, nullptr);
        D3DXIMAGE_INFO info;
        EXPECT_EQ(D3DXGetImageInfoFromFileA(windowsName.c_str(), &info), D3DXERR_INVALIDDATA);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "d3dx9: " + windowsName + ":byte 40: file is cut off (40 of 70 bytes)\n");
    // A missing file is reported once too; memory blocks are not files and say it each time.
    std::string missing = windowsName + "x";
    testing::internal::CaptureStderr();
    for (int i = 0; i < 2; ++i) {
        IDirect3DTexture9 *texture = nullptr;
        EXPECT_EQ(D3DXCreateTextureFromFileA(device_, missing.c_str(), &texture), D3DXERR_INVALIDDATA);
        EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device_, bytes.data(), UINT(bytes.size()), &texture),
                  D3DXERR_INVALIDDATA);
    }
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "d3dx9: " + missing +
                        ": cannot open: No such file or directory\n"
                        "d3dx9: (memory):byte 40: file is cut off (40 of 70 bytes)\n"
                        "d3dx9: (memory):byte 40: file is cut off (40 of 70 bytes)\n");
}

// A plain 2 x 2 mean per channel, rounded, the last row and column repeated.
std::vector<uint32_t> Halve(const std::vector<uint32_t> &p, UINT w, UINT h, UINT &hw, UINT &hh)
{
    hw = w > 1 ? w / 2 : 1, hh = h > 1 ? h / 2 : 1;
    std::vector<uint32_t> out(size_t(hw) * hh);
    for (UINT y = 0; y < hh; ++y)
        for (UINT x = 0; x < hw; ++x) {
            uint32_t pixel = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                uint32_t sum = 2;
                for (UINT dy = 0; dy < 2; ++dy)
                    for (UINT dx = 0; dx < 2; ++dx)
                        sum += p[std::min(2 * y + dy, h - 1) * w + std::min(2 * x + dx, w - 1)] >> shift & 0xFF;
                pixel |= (sum / 4) << shift;
            }
            out[size_t(y) * hw + x] = pixel;
        }
    return out;
}

// The mip levels of a texture loaded from a file are made only when first needed: whatever
// is locked first, and whatever is written to level 0 afterwards, every level reads as the
// box-filtered chain of the loaded image.  Fresh device textures read zero.
TEST_F(TextureTest, MipLevelsAreTheChainOfTheLoadedImageWhateverIsTouchedFirst)
{
    // 7 x 5 with varied colours and alpha, so that odd sides and every channel count.
    const UINT w = 7, h = 5;
    std::vector<uint32_t> image(w * h);
    for (UINT i = 0; i < w * h; ++i)
        image[i] = 0x10000000u * (i % 16) + 0x00FF0000u * (i % 2) + 0x00003700u * (i % 5) + 0x29u * (i % 7);
    const std::vector<uint8_t> png = EncodePngRgba(image, int(w), int(h));

    for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8}) {
        SCOPED_TRACE(format);
        // The expected chain, from the image as the format keeps it.
        std::vector<std::vector<uint32_t>> chain{image};
        for (uint32_t &p : chain[0])
            p |= format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0;
        for (UINT cw = w, ch = h; cw > 1 || ch > 1;)
            chain.push_back(Halve(chain.back(), cw, ch, cw, ch));
        ASSERT_EQ(chain.size(), 3u);  // 7x5, 3x2, 1x1

        for (int order = 0; order < 3; ++order) {
            SCOPED_TRACE(order);
            IDirect3DTexture9 *t = nullptr;
            ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(
                          device_, png.data(), UINT(png.size()), D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2,
                          D3DX_DEFAULT, 0, format, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, NULL, NULL, &t),
                      D3D_OK);
            ASSERT_EQ(t->GetLevelCount(), 3u);
            if (order == 0) {
                // Level 0 overwritten first: the lower levels still come from the image.
                D3DLOCKED_RECT locked;
                ASSERT_EQ(t->LockRect(0, &locked, NULL, 0), D3D_OK);
                for (UINT y = 0; y < h; ++y)
                    std::fill_n(reinterpret_cast<uint32_t *>(static_cast<uint8_t *>(locked.pBits) + y * locked.Pitch),
                                w, 0xFFFFFFFFu);
                t->UnlockRect(0);
                EXPECT_EQ(LevelTexels(t, 0), std::vector<uint32_t>(w * h, 0xFFFFFFFFu));
            } else {
                // The smallest level first, or the top level read (not written) first.
                EXPECT_EQ(LevelTexels(t, order == 1 ? 2 : 0), chain[order == 1 ? 2 : 0]);
            }
            for (UINT level = 1; level < 3; ++level)
                EXPECT_EQ(LevelTexels(t, level), chain[level]) << "level " << level;
            t->Release();
        }
    }

    // A texture made by the device reads zero in every level, and a rectangle written to
    // level 0 leaves the rest of it zero.
    IDirect3DTexture9 *fresh = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &fresh, NULL), D3D_OK);
    ASSERT_EQ(fresh->GetLevelCount(), 4u);
    EXPECT_EQ(LevelTexels(fresh, 3), std::vector<uint32_t>(1, 0u));
    RECT r = {2, 1, 3, 2};
    D3DLOCKED_RECT locked;
    ASSERT_EQ(fresh->LockRect(0, &locked, &r, 0), D3D_OK);
    *static_cast<uint32_t *>(locked.pBits) = 0x12345678u;
    fresh->UnlockRect(0);
    std::vector<uint32_t> top(32, 0u);
    top[1 * 8 + 2] = 0x12345678u;
    EXPECT_EQ(LevelTexels(fresh, 0), top);
    EXPECT_EQ(LevelTexels(fresh, 1), std::vector<uint32_t>(8, 0u));
    fresh->Release();
}

TEST(Buffer, HoldsZeroedBytesUntilTheLastRelease)
{
    ID3DXBuffer *buffer = nullptr;
    ASSERT_EQ(D3DXCreateBuffer(64, &buffer), D3D_OK);
    ASSERT_EQ(buffer->GetBufferSize(), 64u);
    uint8_t *bytes = static_cast<uint8_t *>(buffer->GetBufferPointer());
    ASSERT_NE(bytes, nullptr);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(bytes[i], 0);
    bytes[63] = 7;  // the whole block is writable
    ID3DXBuffer *same = nullptr;
    ASSERT_EQ(buffer->QueryInterface(IID_ID3DXBuffer, reinterpret_cast<void **>(&same)), S_OK);
    EXPECT_EQ(same, buffer);
    EXPECT_EQ(same->Release(), 1u);
    EXPECT_EQ(static_cast<uint8_t *>(buffer->GetBufferPointer())[63], 7);
    EXPECT_EQ(buffer->Release(), 0u);
    EXPECT_EQ(D3DXCreateBuffer(4, NULL), D3DERR_INVALIDCALL);
}

}  // namespace
