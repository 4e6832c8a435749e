/*
 * sprite.cpp - ID3DXSprite (D3DXCreateSprite) and the device states a sprite batch sets.
 *
 * Between Begin and End, Draw queues one textured quad: the source rectangle of the texture
 * (all of it by default), its corner `pCenter` put at `pPosition`, through the sprite's
 * transform, tinted by the colour.  Flush (and End) draws the queue, sorted by texture or
 * by depth when Begin asked, in as few DrawPrimitiveUP calls as consecutive quads of one
 * texture allow.  In screen space the quads are pre-transformed: x and y in pixels, z the
 * depth, texels centred on pixels as Direct3D 9 places them; with D3DXSPRITE_OBJECTSPACE
 * they go through the device's world, view and projection.  D3DXSPRITE_BILLBOARD draws in
 * object space too, but turns each quad about its centre to lie parallel to the view plane
 * of the world and view given to SetWorldView.  Unless told otherwise, Begin records every
 * device state in a state block and sets the documented sprite states, and End puts the
 * recorded states back.
 */
#include "d3dx9_private.h"

#include <tavrok/com_object.h>
#include <tavrok/platform.h>

#include <algorithm>

namespace tavrok::d3dx9 {

std::array<BatchState, kBatchStateCount> SpriteBatchStates(bool alphaBlend, D3DTEXTUREFILTERTYPE filter)
{
    const DWORD blend = alphaBlend ? TRUE : FALSE;
    const DWORD mip = filter == D3DTEXF_POINT ? D3DTEXF_NONE : D3DTEXF_LINEAR;
    return {{
        {0, 0, D3DRS_ALPHABLENDENABLE, blend, 0},
        {0, 0, D3DRS_SRCBLEND, D3DBLEND_SRCALPHA, 0},
        {0, 0, D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA, 0},
        {0, 0, D3DRS_BLENDOP, D3DBLENDOP_ADD, 0},
        {0, 0, D3DRS_SEPARATEALPHABLENDENABLE, FALSE, 0},
        {0, 0, D3DRS_ALPHATESTENABLE, blend, 0},
        {0, 0, D3DRS_ALPHAFUNC, D3DCMP_GREATER, 0},
        {0, 0, D3DRS_ALPHAREF, 0, 0},
        {0, 0, D3DRS_CULLMODE, D3DCULL_NONE, 0},
        {0, 0, D3DRS_FILLMODE, D3DFILL_SOLID, 0},
        {0, 0, D3DRS_LIGHTING, FALSE, 0},
        {0, 0, D3DRS_FOGENABLE, FALSE, 0},
        {0, 0, D3DRS_STENCILENABLE, FALSE, 0},
        {0, 0, D3DRS_COLORWRITEENABLE, 0xF, 0},
        {0, 0, D3DRS_CLIPPLANEENABLE, 0, 0},
        {0, 0, D3DRS_SRGBWRITEENABLE, FALSE, 0},
        {1, 0, D3DTSS_COLOROP, D3DTOP_MODULATE, 0},
        {1, 0, D3DTSS_COLORARG1, D3DTA_TEXTURE, 0},
        {1, 0, D3DTSS_COLORARG2, D3DTA_DIFFUSE, 0},
        {1, 0, D3DTSS_ALPHAOP, D3DTOP_MODULATE, 0},
        {1, 0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE, 0},
        {1, 0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE, 0},
        {1, 0, D3DTSS_TEXCOORDINDEX, 0, 0},
        {1, 0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE, 0},
        {1, 1, D3DTSS_COLOROP, D3DTOP_DISABLE, 0},
        {1, 1, D3DTSS_ALPHAOP, D3DTOP_DISABLE, 0},
        {2, 0, D3DSAMP_MAGFILTER, DWORD(filter), 0},
        {2, 0, D3DSAMP_MINFILTER, DWORD(filter), 0},
        {2, 0, D3DSAMP_MIPFILTER, mip, 0},
        {2, 0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP, 0},
        {2, 0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP, 0},
    }};
}

namespace {

void SetBatchState(IDirect3DDevice9 *device, const BatchState &s, DWORD value)
{
    if (s.kind == 0)
        device->SetRenderState(D3DRENDERSTATETYPE(s.state), value);
    else if (s.kind == 1)
        device->SetTextureStageState(s.stage, D3DTEXTURESTAGESTATETYPE(s.state), value);
    else
        device->SetSamplerState(s.stage, D3DSAMPLERSTATETYPE(s.state), value);
}

}  // namespace

void ApplyBatchStates(IDirect3DDevice9 *device, BatchState *states, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        BatchState &s = states[i];
        if (s.kind == 0)
            device->GetRenderState(D3DRENDERSTATETYPE(s.state), &s.previous);
        else if (s.kind == 1)
            device->GetTextureStageState(s.stage, D3DTEXTURESTAGESTATETYPE(s.state), &s.previous);
        else
            device->GetSamplerState(s.stage, D3DSAMPLERSTATETYPE(s.state), &s.previous);
        SetBatchState(device, s, s.value);
    }
}

void RestoreBatchStates(IDirect3DDevice9 *device, const BatchState *states, size_t count)
{
    for (size_t i = count; i-- > 0;)
        SetBatchState(device, states[i], states[i].previous);
}

namespace {

constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr DWORD kObjectFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr DWORD kKnownFlags = D3DXSPRITE_DONOTSAVESTATE | D3DXSPRITE_DONOTMODIFY_RENDERSTATE |
                              D3DXSPRITE_OBJECTSPACE | D3DXSPRITE_BILLBOARD | D3DXSPRITE_ALPHABLEND |
                              D3DXSPRITE_SORT_TEXTURE | D3DXSPRITE_SORT_DEPTH_FRONTTOBACK |
                              D3DXSPRITE_SORT_DEPTH_BACKTOFRONT | D3DXSPRITE_DO_NOT_ADDREF_TEXTURE;

// Both layouts: screen space fills rhw, object space leaves it out of the stride.
struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
struct ObjectVertex {
    float x, y, z;
    D3DCOLOR color;
    float u, v;
};

struct Quad {
    IDirect3DTexture9 *texture;
    ScreenVertex corners[4];  // rhw unused in object space
    float depth;               // the sort key: z of the sprite's position in view space
    size_t order;
};

class Sprite final : public ComObject<ID3DXSprite, IID_ID3DXSprite> {
public:
    explicit Sprite(IDirect3DDevice9 *device) : device_(device)
    {
        device_->AddRef();
        D3DXMatrixIdentity(&transform_);
        D3DXMatrixIdentity(&world_);
        D3DXMatrixIdentity(&view_);
    }
    ~Sprite() override
    {
        Drop();
        device_->Release();
    }

    STDMETHODIMP GetDevice(LPDIRECT3DDEVICE9 *device) override
    {
        if (!device)
            return Invalid("GetDevice: null result pointer");
        device_->AddRef();
        *device = device_;
        return D3D_OK;
    }
    STDMETHODIMP GetTransform(D3DXMATRIX *transform) override
    {
        if (!transform)
            return Invalid("GetTransform: null result pointer");
        *transform = transform_;
        return D3D_OK;
    }
    STDMETHODIMP SetTransform(CONST D3DXMATRIX *transform) override
    {
        if (!transform)
            return Invalid("SetTransform: null matrix");
        transform_ = *transform;
        return D3D_OK;
    }
    // The world and view place the sprites for the depth sort (null is the identity); the
    // handedness changes nothing here, as only the view's z orders them.
    STDMETHODIMP SetWorldViewRH(CONST D3DXMATRIX *world, CONST D3DXMATRIX *view) override
    {
        return SetWorldViewLH(world, view);
    }
    STDMETHODIMP SetWorldViewLH(CONST D3DXMATRIX *world, CONST D3DXMATRIX *view) override
    {
        if (world)
            world_ = *world;
        else
            D3DXMatrixIdentity(&world_);
        if (view)
            view_ = *view;
        else
            D3DXMatrixIdentity(&view_);
        return D3D_OK;
    }

    STDMETHODIMP Begin(DWORD flags) override
    {
        if (begun_)
            return Invalid("Begin: already between Begin and End");
        if (flags & ~kKnownFlags)
            return Invalid("Begin: unknown flags 0x" + Hex(flags & ~kKnownFlags));
        if (!(flags & D3DXSPRITE_DONOTSAVESTATE)) {
            HRESULT hr = saved_.Save(device_);
            if (FAILED(hr))
                return hr;
        }
        flags_ = flags;
        begun_ = true;
        if (!(flags & D3DXSPRITE_DONOTMODIFY_RENDERSTATE)) {
            std::array<BatchState, kBatchStateCount> states =
                SpriteBatchStates((flags & D3DXSPRITE_ALPHABLEND) != 0, D3DTEXF_LINEAR);
            ApplyBatchStates(device_, states.data(), states.size());
        }
        return D3D_OK;
    }

    STDMETHODIMP Draw(LPDIRECT3DTEXTURE9 texture, CONST RECT *source, CONST D3DXVECTOR3 *center,
                      CONST D3DXVECTOR3 *position, D3DCOLOR color) override
    {
        if (!begun_)
            return Invalid("Draw: outside Begin and End");
        D3DSURFACE_DESC desc;
        if (!texture || FAILED(texture->GetLevelDesc(0, &desc)) || desc.Width == 0 || desc.Height == 0)
            return Invalid("Draw: no texture");
        RECT r = source ? *source : RECT{0, 0, LONG(desc.Width), LONG(desc.Height)};
        const D3DXVECTOR3 c = center ? *center : D3DXVECTOR3(0, 0, 0);
        const D3DXVECTOR3 p = position ? *position : D3DXVECTOR3(0, 0, 0);
        const float w = float(r.right - r.left), h = float(r.bottom - r.top);
        const float u0 = float(r.left) / float(desc.Width), u1 = float(r.right) / float(desc.Width);
        const float v0 = float(r.top) / float(desc.Height), v1 = float(r.bottom) / float(desc.Height);
        Quad q{texture, {}, 0, quads_.size()};
        const float corner[4][4] = {{0, 0, u0, v0}, {w, 0, u1, v0}, {0, h, u0, v1}, {w, h, u1, v1}};
        if (flags_ & D3DXSPRITE_BILLBOARD) {
            // The centre goes to the position through the sprite transform as usual; the
            // corners' offsets from it are read as view-space offsets and taken back through
            // the inverse world-view, so after the device's world and view the quad faces
            // the viewer, its x along the view's x and its y along the view's y.
            D3DXMATRIX toObject = world_ * view_;
            if (!D3DXMatrixInverse(&toObject, nullptr, &toObject))
                return Invalid("Draw: the billboard's world-view matrix has no inverse");
            D3DXVECTOR3 anchor;
            D3DXVec3TransformCoord(&anchor, &p, &transform_);
            for (int i = 0; i < 4; i++) {
                D3DXVECTOR3 offset(corner[i][0] - c.x, corner[i][1] - c.y, 0);
                D3DXVec3TransformNormal(&offset, &offset, &transform_);
                D3DXVec3TransformNormal(&offset, &offset, &toObject);
                const D3DXVECTOR3 out = anchor + offset;
                q.corners[i] = {out.x, out.y, out.z, 1.0f, color, corner[i][2], corner[i][3]};
            }
        } else {
            for (int i = 0; i < 4; i++) {
                D3DXVECTOR3 local(corner[i][0] - c.x + p.x, corner[i][1] - c.y + p.y, p.z - c.z), out;
                D3DXVec3TransformCoord(&out, &local, &transform_);
                q.corners[i] = {out.x, out.y, out.z, 1.0f, color, corner[i][2], corner[i][3]};
            }
        }
        // The sort key: the position's depth in view space.
        const D3DXMATRIX toView = transform_ * world_ * view_;
        D3DXVECTOR3 at;
        D3DXVec3TransformCoord(&at, &p, &toView);
        q.depth = at.z;
        if (!(flags_ & D3DXSPRITE_DO_NOT_ADDREF_TEXTURE))
            texture->AddRef();
        quads_.push_back(q);
        return D3D_OK;
    }

    STDMETHODIMP Flush() override
    {
        if (!begun_)
            return Invalid("Flush: outside Begin and End");
        if (quads_.empty())
            return D3D_OK;
        if (flags_ & D3DXSPRITE_SORT_TEXTURE)
            std::stable_sort(quads_.begin(), quads_.end(),
                             [](const Quad &a, const Quad &b) { return a.texture < b.texture; });
        if (flags_ & D3DXSPRITE_SORT_DEPTH_BACKTOFRONT)
            std::stable_sort(quads_.begin(), quads_.end(), [](const Quad &a, const Quad &b) { return a.depth > b.depth; });
        else if (flags_ & D3DXSPRITE_SORT_DEPTH_FRONTTOBACK)
            std::stable_sort(quads_.begin(), quads_.end(), [](const Quad &a, const Quad &b) { return a.depth < b.depth; });

        const bool screen = !(flags_ & (D3DXSPRITE_OBJECTSPACE | D3DXSPRITE_BILLBOARD));
        device_->SetVertexShader(nullptr);
        device_->SetPixelShader(nullptr);
        device_->SetFVF(screen ? kScreenFvf : kObjectFvf);
        for (size_t first = 0; first < quads_.size();) {
            size_t end = first;
            screenBatch_.clear();
            objectBatch_.clear();
            for (; end < quads_.size() && quads_[end].texture == quads_[first].texture; end++) {
                for (int i : {0, 1, 2, 1, 3, 2}) {
                    ScreenVertex v = quads_[end].corners[i];
                    if (screen) {
                        // Pixel centres are at whole coordinates in Direct3D 9.
                        v.x -= 0.5f, v.y -= 0.5f;
                        screenBatch_.push_back(v);
                    } else {
                        objectBatch_.push_back({v.x, v.y, v.z, v.color, v.u, v.v});
                    }
                }
            }
            device_->SetTexture(0, quads_[first].texture);
            UINT triangles = UINT(end - first) * 2;
            if (screen)
                device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, triangles, screenBatch_.data(), sizeof(ScreenVertex));
            else
                device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, triangles, objectBatch_.data(), sizeof(ObjectVertex));
            first = end;
        }
        device_->SetTexture(0, nullptr);
        Drop();
        return D3D_OK;
    }

    STDMETHODIMP End() override
    {
        if (!begun_)
            return Invalid("End: without Begin");
        HRESULT hr = Flush();
        saved_.Restore();
        begun_ = false;
        return hr;
    }

    // The saved states are all the sprite holds of the device between frames.
    STDMETHODIMP OnLostDevice() override
    {
        if (begun_)
            End();
        return D3D_OK;
    }
    STDMETHODIMP OnResetDevice() override { return D3D_OK; }

private:
    HRESULT Invalid(const std::string &why)
    {
        Diagnostic(kLibrary, "", "", "ID3DXSprite::" + why);
        return D3DERR_INVALIDCALL;
    }
    static std::string Hex(DWORD v)
    {
        char buf[16];
        snprintf(buf, sizeof buf, "%X", unsigned(v));
        return buf;
    }
    // Lets go of the queued quads and the textures they hold.
    void Drop()
    {
        if (!(flags_ & D3DXSPRITE_DO_NOT_ADDREF_TEXTURE))
            for (const Quad &q : quads_)
                q.texture->Release();
        quads_.clear();
    }

    IDirect3DDevice9 *device_;
    D3DXMATRIX transform_, world_, view_;
    SavedDeviceState saved_;
    DWORD flags_ = 0;
    bool begun_ = false;
    std::vector<Quad> quads_;
    std::vector<ScreenVertex> screenBatch_;
    std::vector<ObjectVertex> objectBatch_;
};

}  // namespace
}  // namespace tavrok::d3dx9

HRESULT WINAPI D3DXCreateSprite(LPDIRECT3DDEVICE9 pDevice, LPD3DXSPRITE *ppSprite)
{
    if (ppSprite)
        *ppSprite = nullptr;
    if (!pDevice || !ppSprite) {
        tavrok::Diagnostic(tavrok::d3dx9::kLibrary, "", "", "D3DXCreateSprite: null device or result pointer");
        return D3DERR_INVALIDCALL;
    }
    *ppSprite = new tavrok::d3dx9::Sprite(pDevice);
    return D3D_OK;
}
