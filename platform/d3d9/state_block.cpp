/*
 * state_block.cpp - IDirect3DStateBlock9: recorded device states, captured and applied.
 *
 * A block made by CreateStateBlock holds the states its type names (D3DSBT_ALL, the
 * pixel states or the vertex states, as the SDK lists them) with their values at that
 * moment; one made by BeginStateBlock/EndStateBlock holds exactly the states set in
 * between, and those settings reach the block, not the device.  Capture reads the held
 * states from the device again; Apply sets them through the device's own setters, so the
 * values are checked and bound objects referenced as if the program had set them.
 * Covered: render, texture-stage and sampler states, transforms, viewport, scissor
 * rectangle, clip planes, material, lights and their enables, textures, streams, indices,
 * FVF or declaration, the vertex shader and its float, integer and boolean constants,
 * the pixel shader and its float constants (a pixel-state block holds those).
 */
#include "d3d9_private.h"

#include <algorithm>
#include <cstring>

namespace tavrok::d3d9 {

namespace {

// The render states of the pixel pipeline; those of the vertex pipeline follow.
constexpr D3DRENDERSTATETYPE kPixelRenderStates[] = {
    D3DRS_ZENABLE, D3DRS_FILLMODE, D3DRS_SHADEMODE, D3DRS_ZWRITEENABLE, D3DRS_ALPHATESTENABLE, D3DRS_LASTPIXEL,
    D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_ZFUNC, D3DRS_ALPHAREF, D3DRS_ALPHAFUNC, D3DRS_DITHERENABLE,
    D3DRS_FOGSTART, D3DRS_FOGEND, D3DRS_FOGDENSITY, D3DRS_ALPHABLENDENABLE, D3DRS_DEPTHBIAS, D3DRS_STENCILENABLE,
    D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS, D3DRS_STENCILFUNC, D3DRS_STENCILREF,
    D3DRS_STENCILMASK, D3DRS_STENCILWRITEMASK, D3DRS_TEXTUREFACTOR, D3DRS_WRAP0, D3DRS_WRAP1, D3DRS_WRAP2,
    D3DRS_WRAP3, D3DRS_WRAP4, D3DRS_WRAP5, D3DRS_WRAP6, D3DRS_WRAP7, D3DRS_WRAP8, D3DRS_WRAP9, D3DRS_WRAP10,
    D3DRS_WRAP11, D3DRS_WRAP12, D3DRS_WRAP13, D3DRS_WRAP14, D3DRS_WRAP15, D3DRS_COLORWRITEENABLE,
    D3DRS_BLENDOP, D3DRS_SCISSORTESTENABLE, D3DRS_SLOPESCALEDEPTHBIAS, D3DRS_ANTIALIASEDLINEENABLE,
    D3DRS_TWOSIDEDSTENCILMODE, D3DRS_CCW_STENCILFAIL, D3DRS_CCW_STENCILZFAIL, D3DRS_CCW_STENCILPASS,
    D3DRS_CCW_STENCILFUNC, D3DRS_COLORWRITEENABLE1, D3DRS_COLORWRITEENABLE2, D3DRS_COLORWRITEENABLE3,
    D3DRS_BLENDFACTOR, D3DRS_SRGBWRITEENABLE, D3DRS_SEPARATEALPHABLENDENABLE, D3DRS_SRCBLENDALPHA,
    D3DRS_DESTBLENDALPHA, D3DRS_BLENDOPALPHA,
};
constexpr D3DRENDERSTATETYPE kVertexRenderStates[] = {
    D3DRS_CULLMODE, D3DRS_FOGENABLE, D3DRS_FOGCOLOR, D3DRS_FOGTABLEMODE, D3DRS_FOGSTART, D3DRS_FOGEND,
    D3DRS_FOGDENSITY, D3DRS_RANGEFOGENABLE, D3DRS_AMBIENT, D3DRS_COLORVERTEX, D3DRS_FOGVERTEXMODE,
    D3DRS_CLIPPING, D3DRS_LIGHTING, D3DRS_NORMALIZENORMALS, D3DRS_LOCALVIEWER, D3DRS_EMISSIVEMATERIALSOURCE,
    D3DRS_AMBIENTMATERIALSOURCE, D3DRS_DIFFUSEMATERIALSOURCE, D3DRS_SPECULARMATERIALSOURCE,
    D3DRS_VERTEXBLEND, D3DRS_CLIPPLANEENABLE, D3DRS_POINTSIZE, D3DRS_POINTSIZE_MIN, D3DRS_POINTSPRITEENABLE,
    D3DRS_POINTSCALEENABLE, D3DRS_POINTSCALE_A, D3DRS_POINTSCALE_B, D3DRS_POINTSCALE_C,
    D3DRS_MULTISAMPLEANTIALIAS, D3DRS_MULTISAMPLEMASK, D3DRS_PATCHEDGESTYLE, D3DRS_POINTSIZE_MAX,
    D3DRS_INDEXEDVERTEXBLENDENABLE, D3DRS_TWEENFACTOR, D3DRS_POSITIONDEGREE, D3DRS_NORMALDEGREE,
    D3DRS_MINTESSELLATIONLEVEL, D3DRS_MAXTESSELLATIONLEVEL, D3DRS_ADAPTIVETESS_X, D3DRS_ADAPTIVETESS_Y,
    D3DRS_ADAPTIVETESS_Z, D3DRS_ADAPTIVETESS_W, D3DRS_ENABLEADAPTIVETESSELLATION, D3DRS_SPECULARENABLE,
};

bool IsVertexStageState(DWORD t) { return t == D3DTSS_TEXCOORDINDEX || t == D3DTSS_TEXTURETRANSFORMFLAGS; }

}  // namespace

StateBlock::StateBlock(Device *device) : device(AddRefed(device))
{
    // The values start as the device's, so that a recorded block that sets only some of
    // a light's fields, or reads a default, reads what the device holds.
    values = device->state;
    // Render targets and depth surfaces are not state-block state: the block holds none.
    values.renderTarget = values.depthStencil = nullptr;
    for (Surface *&more : values.moreTargets)
        more = nullptr;
    for (auto &t : values.textures)
        AddRefed(t);
    for (auto &s : values.streams)
        AddRefed(s.buffer);
    AddRefed(values.indices);
    AddRefed(values.declaration);
    AddRefed(values.vertexShader);
    AddRefed(values.pixelShader);
}

StateBlock::~StateBlock()
{
    for (auto &t : values.textures)
        Assign(t, static_cast<IDirect3DBaseTexture9 *>(nullptr));
    for (auto &s : values.streams)
        Assign(s.buffer, static_cast<VertexBuffer *>(nullptr));
    Assign(values.indices, static_cast<IndexBuffer *>(nullptr));
    Assign(values.declaration, static_cast<VertexDeclaration *>(nullptr));
    Assign(values.vertexShader, static_cast<VertexShader *>(nullptr));
    Assign(values.pixelShader, static_cast<PixelShader *>(nullptr));
    device->Release();
}

HRESULT StateBlock::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DStateBlock9) {
        *ppv = AddRefed(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT StateBlock::GetDevice(IDirect3DDevice9 **out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = AddRefed(static_cast<IDirect3DDevice9 *>(device));
    return D3D_OK;
}

int StateBlock::TransformIndex(D3DTRANSFORMSTATETYPE t)
{
    if (t == D3DTS_WORLD)
        return 0;
    if (t == D3DTS_VIEW)
        return 1;
    if (t == D3DTS_PROJECTION)
        return 2;
    if (t >= D3DTS_TEXTURE0 && t <= D3DTS_TEXTURE7)
        return 3 + (t - D3DTS_TEXTURE0);
    if (t > D3DTS_WORLD && t < D3DTS_WORLDMATRIX(kMaxBlendMatrices))
        return 3 + kMaxStages + (t - D3DTS_WORLDMATRIX(1));
    return -1;
}

void StateBlock::Select(D3DSTATEBLOCKTYPE type, const DeviceState &current)
{
    const bool all = type == D3DSBT_ALL;
    const bool pixel = all || type == D3DSBT_PIXELSTATE, vertex = all || type == D3DSBT_VERTEXSTATE;
    if (all) {
        std::fill(std::begin(render), std::end(render), true);
        std::fill(std::begin(transform), std::end(transform), true);
        std::fill(std::begin(texture), std::end(texture), true);
        std::fill(std::begin(stream), std::end(stream), true);
        std::fill(std::begin(clipPlane), std::end(clipPlane), true);
        material = viewport = scissor = indices = true;
    }
    if (pixel)
        for (D3DRENDERSTATETYPE r : kPixelRenderStates)
            render[r] = true;
    if (vertex)
        for (D3DRENDERSTATETYPE r : kVertexRenderStates)
            render[r] = true;
    for (int s = 0; s < kMaxStages; ++s)
        for (int t = 1; t < kStageStates; ++t)
            stage[s][t] = IsVertexStageState(DWORD(t)) ? vertex : pixel;
    for (int s = 0; s < kMaxSamplers; ++s)
        for (int t = 1; t < kSamplerStates; ++t)
            sampler[s][t] = t == D3DSAMP_DMAPOFFSET ? vertex : pixel;
    if (pixel) {
        pixelShader = true;
        std::fill(std::begin(psConstF), std::end(psConstF), true);
        std::fill(std::begin(psConstI), std::end(psConstI), true);
        std::fill(std::begin(psConstB), std::end(psConstB), true);
    }
    if (vertex) {
        vertexFormat = vertexShader = true;
        std::fill(std::begin(vsConstF), std::end(vsConstF), true);
        std::fill(std::begin(vsConstI), std::end(vsConstI), true);
        std::fill(std::begin(vsConstB), std::end(vsConstB), true);
        // The lights that exist now.
        for (const auto &entry : current.lights) {
            light.insert(entry.first);
            lightEnable.insert(entry.first);
        }
    }
}

HRESULT StateBlock::Capture()
{
    if (device->recording == this)
        return D3DERR_INVALIDCALL;
    const DeviceState &s = device->state;
    for (int i = 0; i < kRenderStates; ++i)
        if (render[i])
            values.render[i] = s.render[i];
    for (int st = 0; st < kMaxStages; ++st)
        for (int t = 0; t < kStageStates; ++t)
            if (stage[st][t])
                values.stage[st][t] = s.stage[st][t];
    for (int sm = 0; sm < kMaxSamplers; ++sm)
        for (int t = 0; t < kSamplerStates; ++t)
            if (sampler[sm][t])
                values.sampler[sm][t] = s.sampler[sm][t];
    if (transform[0])
        values.world = s.world;
    if (transform[1])
        values.view = s.view;
    if (transform[2])
        values.projection = s.projection;
    for (int i = 0; i < kMaxStages; ++i)
        if (transform[3 + i])
            values.textureMatrix[i] = s.textureMatrix[i];
    for (int i = 0; i < kMaxBlendMatrices - 1; ++i)
        if (transform[3 + kMaxStages + i])
            values.moreWorlds[i] = s.moreWorlds[i];
    if (material)
        values.material = s.material;
    if (viewport)
        values.viewport = s.viewport;
    if (scissor)
        values.scissor = s.scissor;
    for (int i = 0; i < 6; ++i)
        if (clipPlane[i])
            memcpy(values.clipPlanes[i], s.clipPlanes[i], sizeof values.clipPlanes[i]);
    // A light the device does not have (any more) is kept as it was recorded.
    for (DWORD i : light) {
        const auto found = s.lights.find(i);
        if (found != s.lights.end())
            values.lights[i].light = found->second.light;
    }
    for (DWORD i : lightEnable) {
        const auto found = s.lights.find(i);
        if (found != s.lights.end())
            values.lights[i].enabled = found->second.enabled;
    }
    for (int i = 0; i < kMaxSamplers; ++i)
        if (texture[i])
            Assign(values.textures[i], s.textures[i]);
    for (int i = 0; i < kMaxStreams; ++i)
        if (stream[i]) {
            Assign(values.streams[i].buffer, s.streams[i].buffer);
            values.streams[i].offset = s.streams[i].offset;
            values.streams[i].stride = s.streams[i].stride;
            values.streams[i].freq = s.streams[i].freq;
        }
    if (indices)
        Assign(values.indices, s.indices);
    if (vertexFormat) {
        Assign(values.declaration, s.declaration);
        values.fvf = s.fvf;
    }
    if (vertexShader)
        Assign(values.vertexShader, s.vertexShader);
    for (int i = 0; i < kVsConstants; ++i)
        if (vsConstF[i])
            memcpy(values.vsConstF[i], s.vsConstF[i], sizeof values.vsConstF[i]);
    for (int i = 0; i < 16; ++i) {
        if (vsConstI[i])
            memcpy(values.vsConstI[i], s.vsConstI[i], sizeof values.vsConstI[i]);
        if (vsConstB[i])
            values.vsConstB[i] = s.vsConstB[i];
    }
    if (pixelShader)
        Assign(values.pixelShader, s.pixelShader);
    for (int i = 0; i < kPsConstants; ++i)
        if (psConstF[i])
            memcpy(values.psConstF[i], s.psConstF[i], sizeof values.psConstF[i]);
    for (int i = 0; i < 16; ++i) {
        if (psConstI[i])
            memcpy(values.psConstI[i], s.psConstI[i], sizeof values.psConstI[i]);
        if (psConstB[i])
            values.psConstB[i] = s.psConstB[i];
    }
    return D3D_OK;
}

HRESULT StateBlock::Apply()
{
    if (device->recording == this)
        return D3DERR_INVALIDCALL;
    Device &d = *device;
    const DeviceState &v = values;
    for (int i = 0; i < kRenderStates; ++i)
        if (render[i] && d.state.render[i] != v.render[i])
            d.SetRenderState(D3DRENDERSTATETYPE(i), v.render[i]);
    for (int st = 0; st < kMaxStages; ++st)
        for (int t = 1; t < kStageStates; ++t)
            if (stage[st][t] && d.state.stage[st][t] != v.stage[st][t])
                d.SetTextureStageState(DWORD(st), D3DTEXTURESTAGESTATETYPE(t), v.stage[st][t]);
    for (int sm = 0; sm < kMaxSamplers; ++sm)
        for (int t = 1; t < kSamplerStates; ++t)
            if (sampler[sm][t] && d.state.sampler[sm][t] != v.sampler[sm][t])
                d.SetSamplerState(DWORD(sm), D3DSAMPLERSTATETYPE(t), v.sampler[sm][t]);
    if (transform[0])
        d.SetTransform(D3DTS_WORLD, &v.world);
    if (transform[1])
        d.SetTransform(D3DTS_VIEW, &v.view);
    if (transform[2])
        d.SetTransform(D3DTS_PROJECTION, &v.projection);
    for (int i = 0; i < kMaxStages; ++i)
        if (transform[3 + i])
            d.SetTransform(D3DTRANSFORMSTATETYPE(D3DTS_TEXTURE0 + i), &v.textureMatrix[i]);
    for (int i = 0; i < kMaxBlendMatrices - 1; ++i)
        if (transform[3 + kMaxStages + i])
            d.SetTransform(D3DTS_WORLDMATRIX(i + 1), &v.moreWorlds[i]);
    if (material)
        d.SetMaterial(&v.material);
    if (viewport)
        d.SetViewport(&v.viewport);
    if (scissor)
        d.SetScissorRect(&v.scissor);
    for (int i = 0; i < 6; ++i)
        if (clipPlane[i])
            d.SetClipPlane(DWORD(i), v.clipPlanes[i]);
    for (DWORD i : light) {
        const auto found = v.lights.find(i);
        if (found != v.lights.end() && found->second.light.Type != 0)
            d.SetLight(i, &found->second.light);
    }
    for (DWORD i : lightEnable) {
        const auto found = v.lights.find(i);
        if (found != v.lights.end())
            d.LightEnable(i, found->second.enabled);
    }
    for (int i = 0; i < kMaxSamplers; ++i)
        if (texture[i])
            d.SetTexture(DWORD(i), v.textures[i]);
    for (int i = 0; i < kMaxStreams; ++i)
        if (stream[i])
        {
            d.SetStreamSource(UINT(i), v.streams[i].buffer, v.streams[i].offset, v.streams[i].stride);
            d.SetStreamSourceFreq(UINT(i), v.streams[i].freq);
        }
    if (indices)
        d.SetIndices(v.indices);
    if (vertexFormat) {
        if (v.fvf)
            d.SetFVF(v.fvf);
        else
            d.SetVertexDeclaration(v.declaration);
    }
    if (vertexShader)
        d.SetVertexShader(v.vertexShader);
    for (int i = 0; i < kVsConstants;) {
        if (!vsConstF[i]) {
            ++i;
            continue;
        }
        int end = i;
        while (end < kVsConstants && vsConstF[end])
            ++end;
        d.SetVertexShaderConstantF(UINT(i), v.vsConstF[i], UINT(end - i));
        i = end;
    }
    for (int i = 0; i < 16; ++i) {
        if (vsConstI[i])
            d.SetVertexShaderConstantI(UINT(i), v.vsConstI[i], 1);
        if (vsConstB[i])
            d.SetVertexShaderConstantB(UINT(i), &v.vsConstB[i], 1);
    }
    if (pixelShader)
        d.SetPixelShader(v.pixelShader);
    for (int i = 0; i < kPsConstants;) {
        if (!psConstF[i]) {
            ++i;
            continue;
        }
        int end = i;
        while (end < kPsConstants && psConstF[end])
            ++end;
        d.SetPixelShaderConstantF(UINT(i), v.psConstF[i], UINT(end - i));
        i = end;
    }
    for (int i = 0; i < 16; ++i) {
        if (psConstI[i])
            d.SetPixelShaderConstantI(UINT(i), v.psConstI[i], 1);
        if (psConstB[i])
            d.SetPixelShaderConstantB(UINT(i), &v.psConstB[i], 1);
    }
    return D3D_OK;
}

}  // namespace tavrok::d3d9
