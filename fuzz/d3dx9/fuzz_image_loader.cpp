// libFuzzer target for the image loader: any bytes, read as an image file into a texture
// on a NULLREF device.  Besides the sanitizers' checks, it aborts when a call breaks its
// contract: a refused file gives no texture, an accepted one a texture whose top level has
// the size the loader is documented to choose, and the information query agrees with the
// loader on which files are images.  The same bytes go to the cube and volume loaders, whose
// textures must have the sizes of the file (a cube its width, a volume its depth too).
#include <d3d9.h>
#include <d3dx9.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "fuzz_device.h"

namespace {

// The size the loader gives a texture when the library chooses: the file's, rounded up to
// a power of two, no larger than the device allows (8192).
UINT ChosenSize(UINT fromFile)
{
    UINT p = 1;
    while (p < fromFile && p < 8192)
        p <<= 1;
    return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    D3DXIMAGE_INFO info{}, queried{};
    HRESULT infoHr = D3DXGetImageInfoFromFileInMemory(data, UINT(size), &queried);

    // Library-chosen sizes, the full mip chain, a colour key: the program's own call.
    IDirect3DTexture9 *texture = reinterpret_cast<IDirect3DTexture9 *>(1);
    HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(FuzzDevice(), data, UINT(size), D3DX_DEFAULT, D3DX_DEFAULT,
                                                     D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                                     D3DX_DEFAULT, D3DX_DEFAULT, 0xFF000000, &info, nullptr,
                                                     &texture);
    if (FAILED(hr)) {
        if (texture)
            abort();
        return 0;
    }
    if (!texture || FAILED(infoHr) || info.Width != queried.Width || info.Height != queried.Height)
        abort();
    D3DSURFACE_DESC desc;
    if (FAILED(texture->GetLevelDesc(0, &desc)) || desc.Width != ChosenSize(info.Width) ||
        desc.Height != ChosenSize(info.Height) || texture->GetLevelCount() == 0)
        abort();
    texture->Release();

    IDirect3DCubeTexture9 *cube = reinterpret_cast<IDirect3DCubeTexture9 *>(1);
    hr = D3DXCreateCubeTextureFromFileInMemory(FuzzDevice(), data, UINT(size), &cube);
    if (FAILED(hr) ? cube != nullptr : (!cube || info.ResourceType == D3DRTYPE_VOLUMETEXTURE))
        abort();
    if (cube) {
        if (FAILED(cube->GetLevelDesc(0, &desc)) || desc.Width != std::min<UINT>(info.Width, 8192))
            abort();
        cube->Release();
    }
    IDirect3DVolumeTexture9 *volume = reinterpret_cast<IDirect3DVolumeTexture9 *>(1);
    hr = D3DXCreateVolumeTextureFromFileInMemory(FuzzDevice(), data, UINT(size), &volume);
    if (FAILED(hr) ? volume != nullptr : (!volume || info.ResourceType == D3DRTYPE_CUBETEXTURE))
        abort();
    if (volume) {
        D3DVOLUME_DESC box;
        if (FAILED(volume->GetLevelDesc(0, &box)) || box.Width != info.Width || box.Depth != info.Depth)
            abort();
        volume->Release();
    }
    return 0;
}
