/*
 * cube_texture.cpp - IDirect3DCubeTexture9 with its face surfaces, IDirect3DVolumeTexture9
 * and IDirect3DVolume9.
 *
 * Both keep their levels in memory in the Direct3D layout, as the 2D texture does
 * (texture.cpp, whose level locking and box filter they share): a cube texture six square
 * chains, one per D3DCUBEMAP_FACES value in that order (+X, -X, +Y, -Y, +Z, -Z); a volume
 * texture a chain of boxes, slices front first, each slice's rows top first, with
 * RowPitch = width x bytes per pixel and SlicePitch = RowPitch x height.  The back end uploads
 * them as GL cube-map and 3D textures when their revision changes.  Levels = 0 asks for
 * the full chain.  A cube texture keeps its faces in the level chains it shares with the 2D
 * texture (texture.cpp), so a face level is the same kind of surface as a 2D texture's level,
 * made once and kept, whose container is the cube.  Render-target cube textures
 * (D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT) keep their pixels in the back end, like 2D ones.
 * Not offered: depth-stencil cube textures, render-target, depth-stencil and automatic-mipmap
 * volumes, dirty regions (a change re-uploads the whole texture).
 */
#include "d3d9_private.h"

#include <tavrok/platform.h>
#include <tavrok/texture_storage.h>

#include <algorithm>

namespace tavrok::d3d9 {

namespace {

HRESULT Refuse(const std::string &what)
{
    Diagnostic(kLib, "", "", what);
    return D3DERR_INVALIDCALL;
}

// One level of a volume texture: its locks go to the texture.
class Volume final : public ComObject<IDirect3DVolume9> {
public:
    Volume(VolumeTexture *texture, UINT level) : texture_(AddRefed(texture)), level_(level) {}
    ~Volume() override { texture_->Release(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDirect3DVolume9) {
            *ppv = AddRefed(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9 **out) override { return texture_->GetDevice(out); }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, CONST void *, DWORD, DWORD) override { return NoPrivateData(); }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, void *, DWORD *) override { return NoPrivateData(); }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID) override { return NoPrivateData(); }
    HRESULT STDMETHODCALLTYPE GetContainer(REFIID riid, void **out) override
    {
        if (!out)
            return D3DERR_INVALIDCALL;
        *out = nullptr;
        return texture_->QueryInterface(riid, out);
    }
    HRESULT STDMETHODCALLTYPE GetDesc(D3DVOLUME_DESC *desc) override { return texture_->GetLevelDesc(level_, desc); }
    HRESULT STDMETHODCALLTYPE LockBox(D3DLOCKED_BOX *out, CONST D3DBOX *box, DWORD flags) override
    {
        return texture_->LockBox(level_, out, box, flags);
    }
    HRESULT STDMETHODCALLTYPE UnlockBox() override { return texture_->UnlockBox(level_); }

private:
    VolumeTexture *texture_;  // holds a reference
    UINT level_;
};

}  // namespace

// --- cube textures -----------------------------------------------------------------------

CubeTexture::CubeTexture(Device *device, UINT edge, UINT levelCount, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : LevelChains(device, 6, edge, edge, levelCount, usage, format, pool)
{
}

HRESULT CubeTexture::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DBaseTexture9 ||
        riid == IID_IDirect3DCubeTexture9) {
        *ppv = AddRefed(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

DWORD CubeTexture::GetLevelCount() { return (usage & D3DUSAGE_AUTOGENMIPMAP) ? 1 : LevelTotal(); }

HRESULT CubeTexture::SetAutoGenFilterType(D3DTEXTUREFILTERTYPE type)
{
    if (type == D3DTEXF_LINEAR || type == D3DTEXF_POINT)
        return D3D_OK;
    Unsupported(kLib, "SetAutoGenFilterType with a filter other than point or linear");
    return D3DERR_INVALIDCALL;
}

void CubeTexture::GenerateMipSubLevels()
{
    if (usage & D3DUSAGE_RENDERTARGET) {
        targetMipsStale = true;  // its levels are the back end's: made there when next sampled
        return;
    }
    for (UINT f = 0; f < 6; f++)
        for (UINT i = 1; i < LevelTotal(); i++)
            Downsample(format, Level(f, i - 1), Level(f, i));
    core.revision++;
}

HRESULT CubeTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC *desc)
{
    return DescribeLevel(level, desc, "IDirect3DCubeTexture9::GetLevelDesc");
}

HRESULT CubeTexture::GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9 **out)
{
    return SurfaceOf(UINT(face), level, out, "IDirect3DCubeTexture9::GetCubeMapSurface");
}

HRESULT CubeTexture::LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT *out, CONST RECT *rect, DWORD flags)
{
    return LockChecked(UINT(face), level, out, rect, flags, "IDirect3DCubeTexture9::LockRect");
}

HRESULT CubeTexture::UnlockRect(D3DCUBEMAP_FACES face, UINT level)
{
    HRESULT hr = UnlockChecked(UINT(face), level, "IDirect3DCubeTexture9::UnlockRect");
    if (SUCCEEDED(hr) && level == 0 && (usage & D3DUSAGE_AUTOGENMIPMAP))
        for (UINT i = 1; i < LevelTotal(); i++)
            Downsample(format, Level(UINT(face), i - 1), Level(UINT(face), i));
    return hr;
}

HRESULT CubeTexture::AddDirtyRect(D3DCUBEMAP_FACES face, CONST RECT *)
{
    if (DWORD(face) > 5)
        return Refuse("IDirect3DCubeTexture9::AddDirtyRect: face " + std::to_string(face) + " outside the cube");
    core.revision++;
    return D3D_OK;
}

// --- volume textures ---------------------------------------------------------------------

VolumeTexture::VolumeTexture(Device *device, UINT width, UINT height, UINT depth, UINT levelCount, DWORD usage,
                             D3DFORMAT format, D3DPOOL pool)
    : TextureCommon(device, format, usage, pool)
{
    UINT full = FullChainLength(width, height, depth);
    UINT n = (levelCount == 0 || levelCount > full) ? full : levelCount;
    for (UINT i = 0; i < n; i++) {
        VolumeLevel level;
        level.width = std::max(1u, width >> i);
        level.height = std::max(1u, height >> i);
        level.depth = std::max(1u, depth >> i);
        level.rowPitch = RowPitch(format, level.width);  // a row of blocks when compressed
        level.slicePitch = level.rowPitch * RowCount(format, level.height);
        levels.push_back(std::move(level));
    }
}

HRESULT VolumeTexture::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DBaseTexture9 ||
        riid == IID_IDirect3DVolumeTexture9) {
        *ppv = AddRefed(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT VolumeTexture::SetAutoGenFilterType(D3DTEXTUREFILTERTYPE)
{
    Unsupported(kLib, "automatic mipmaps of volume textures");
    return D3DERR_INVALIDCALL;
}

VolumeLevel &VolumeTexture::Level(UINT i)
{
    VolumeLevel &l = levels[i];
    if (l.data.empty())
        l.data.assign(size_t(l.slicePitch) * l.depth, 0);
    return l;
}

HRESULT VolumeTexture::GetLevelDesc(UINT level, D3DVOLUME_DESC *desc)
{
    if (!desc || level >= levels.size())
        return Refuse("IDirect3DVolumeTexture9::GetLevelDesc: null result or level past the chain");
    desc->Format = format;
    desc->Type = D3DRTYPE_VOLUME;
    desc->Usage = usage;
    desc->Pool = pool;
    desc->Width = levels[level].width;
    desc->Height = levels[level].height;
    desc->Depth = levels[level].depth;
    return D3D_OK;
}

HRESULT VolumeTexture::GetVolumeLevel(UINT level, IDirect3DVolume9 **out)
{
    if (!out)
        return Refuse("IDirect3DVolumeTexture9::GetVolumeLevel: null result pointer");
    *out = nullptr;
    if (level >= levels.size())
        return Refuse("IDirect3DVolumeTexture9::GetVolumeLevel: level " + std::to_string(level) + " of " +
                      std::to_string(levels.size()));
    *out = new Volume(this, level);
    return D3D_OK;
}

HRESULT VolumeTexture::LockBox(UINT level, D3DLOCKED_BOX *out, CONST D3DBOX *box, DWORD flags)
{
    if (level >= levels.size())
        return Refuse("IDirect3DVolumeTexture9::LockBox: level " + std::to_string(level) + " of " +
                      std::to_string(levels.size()));
    if (!out)
        return Refuse("IDirect3DVolumeTexture9::LockBox: null D3DLOCKED_BOX");
    VolumeLevel &l = Level(level);
    if (l.locked)
        return Refuse("IDirect3DVolumeTexture9::LockBox: already locked");
    UINT x = 0, y = 0, z = 0;
    if (box) {
        if (box->Left >= box->Right || box->Top >= box->Bottom || box->Front >= box->Back || box->Right > l.width ||
            box->Bottom > l.height || box->Back > l.depth)
            return Refuse("IDirect3DVolumeTexture9::LockBox: box outside the volume");
        x = box->Left, y = box->Top, z = box->Front;
        // Compressed slices are locked in whole 4 x 4 blocks.
        if (IsCompressedFormat(format) && (x % 4 || y % 4 || (box->Right % 4 && box->Right != l.width) ||
                                           (box->Bottom % 4 && box->Bottom != l.height)))
            return Refuse("IDirect3DVolumeTexture9::LockBox: box not aligned to the 4 x 4 blocks of the format");
    }
    l.locked = true;
    out->RowPitch = INT(l.rowPitch);
    out->SlicePitch = INT(l.slicePitch);
    // Offsets in rows of blocks and blocks for a compressed format.
    const UINT block = CompressedBlockBytes(format);
    const size_t row = block ? y / 4 : y, column = block ? size_t(x / 4) * block : size_t(x) * BytesPerPixel(format);
    out->pBits = l.data.data() + size_t(z) * l.slicePitch + row * l.rowPitch + column;
    if (!(flags & D3DLOCK_READONLY))
        core.revision++;
    return D3D_OK;
}

HRESULT VolumeTexture::UnlockBox(UINT level)
{
    if (level >= levels.size() || !levels[level].locked)
        return Refuse("IDirect3DVolumeTexture9::UnlockBox: level " + std::to_string(level) + " is not locked");
    levels[level].locked = false;
    return D3D_OK;
}

HRESULT VolumeTexture::AddDirtyBox(CONST D3DBOX *)
{
    core.revision++;
    return D3D_OK;
}

}  // namespace tavrok::d3d9
